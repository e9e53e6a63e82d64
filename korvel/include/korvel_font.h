// Fonts: font handles over GDI fonts, the default font, and text drawing.
#pragma once

// Creation options copied into every font creation.
struct FONT_CREATE_OPTIONS {
  int memoryCache;  // 1: never keep glyphs in a texture
  int cache16Bit;   // 1: antialiased fonts get a 16-bit cache texture instead of 32-bit
  int cachedCount;  // glyphs the cache holds; 0 = automatic
};

// -1 in size, thickness, font type, character set or edge size asks for the default.
// Font types: 0 plain, 1 edged, 2 antialiased, 3 antialiased and edged, 18/19 four-times and
// 34/35 eight-times oversampled (without/with edge).
int MakeFontHandle(const FONT_CREATE_OPTIONS* options, const char* face, int size, int thickness, int fontType,
                   int charSetIndex, int edgeSize, int italic, int wantedHandle, int async);
int SetFontCharSpacing(int pixels, int font);
int SetFontDeletedFlag(int font, int* flag);
int GetFontHandleState(char* face, int* size, int* thickness, int font);  // face: 256 bytes
int GetFontHandleSize(int font);
int IsFontHandleValid(int font);
int GetDefaultFontHandle();
int ChangeDefaultFontSettings(const char* face, int size, int thickness);
int ChangeDefaultFontSize(int size);
int ChangeDefaultFontThickness(int thickness);
// names: room for maxCount names of 64 bytes, or null to count; returns the number found.
int EnumFontFaces(char (*names)[64], int maxCount, const char* face, int charSetIndex);

// Colours are packed screen colours. 0; -1 (logged) for an invalid or still loading font
// handle. With nothing to draw (null or empty text, an empty draw area) 0 at once, whatever
// the handle.
int DrawTextWithFont(int x, int y, const char* text, unsigned int color, int font, unsigned int edgeColor, int vertical);
// printf-style text (cut to 2,047 bytes) drawn with the default font.
int DrawFormattedText(int x, int y, unsigned int color, const char* format, ...);
