// Font handles (type 8): one GDI font per handle with the glyph cache that the text drawing
// fills from it, the library's default font, and the start and end of the font layer.
#pragma once
#include <windows.h>

#include "core/handles.h"
#include "image/raster_image.h"
#include "korvel.h"

enum {
  FONT_MAX_COUNT = 40,
  GLYPH_SLOT_COUNT = 2025,    // one more than the largest capacity: the slot after the last is marked -1
  GLYPH_CACHE_MAX = 2024,
  GLYPH_CODE_COUNT = 65536,   // lead byte in the low 8 bits, trail byte in the high 8 bits
  FONT_FACE_SIZE = 256,
  FONT_ENUM_NAME_SIZE = 64,
};

// Font type bits.
enum {
  FONT_TYPE_EDGE = 0x01,
  FONT_TYPE_ANTIALIASED = 0x02,
  FONT_TYPE_OVERSAMPLE4 = 0x10,
  FONT_TYPE_OVERSAMPLE8 = 0x20,
};

struct GLYPH_CODE_ENTRY;

struct GLYPH_CACHE_SLOT {
  unsigned char inUse;
  short offsetX;  // pen position to the glyph image's left edge
  short offsetY;  // line top to the glyph image's top edge
  short advance;  // before the font's spacing
  int cellIndex;  // slot i owns cell i
  short width;
  short height;
  GLYPH_CODE_ENTRY* codeEntry;
};

struct GLYPH_CODE_ENTRY {
  int cached;
  GLYPH_CACHE_SLOT* slot;
};

// One character of a string as the cache sees it: lead byte, trail byte (0 for a single
// byte), 0.
struct GLYPH_CHAR {
  unsigned char lead;
  unsigned char trail;
  unsigned char zero;
};

struct FONT_RECORD {
  HANDLE_HEAD head;
  int* deletedFlag;  // receives 1 when the record is released

  // The glyph cache.
  GLYPH_CACHE_SLOT slots[GLYPH_SLOT_COUNT];
  GLYPH_CODE_ENTRY codes[GLYPH_CODE_COUNT];
  int nextSlot;
  int capacity;
  unsigned char* memoryCache;
  int memoryPitch;
  int memoryBits;  // 1 or 8

  char faceName[FONT_FACE_SIZE];  // empty when the default face was used
  int thickness;
  int size;
  int charHeight;  // the line height that measuring reports
  int topOffset;
  int italic;
  int spacing;
  int cellSize;
  HFONT font;
  int fontType;
  int charSetIndex;
  int edgeSize;
  int cacheWidth;
  int cacheHeight;
  int rows;
  HANDLE_VALUE cacheGraph;
  HANDLE_VALUE edgeGraph;
  int cacheTextureLost;
  RASTER_IMAGE cacheBaseImage;  // the CPU copy glyphs are composed in before they go to the cache graph
  int cacheBits;     // 16 or 32
  int textureCache;  // 1: glyphs live in the cache graph; 0: in the memory cache
};

// The library-wide creation options (no setter in this program: all 0).
extern FONT_CREATE_OPTIONS FontCreateOptions;

struct FONT_DEFAULT_SETTINGS {
  char face[128];  // empty: the library's default face
  int size;
  int thickness;
  int fontType;
  int charSetIndex;
  int edgeSize;
  int italic;
  int spacing;
  HANDLE_VALUE handle;  // -1 when none; the handle manager clears it when the font goes
};

extern FONT_DEFAULT_SETTINGS FontDefaults;
// Entry i: the number of set bits of i.
extern unsigned char BitCountTable[256];

int InitFontSystem();
int EndFontSystem();
int IsFontSystemStarted();
int CreateFontToHandle(int size, const FONT_CREATE_OPTIONS* options, HANDLE_VALUE handle, const char* face,
                       int thickness, int fontType, int charSetIndex, int edgeSize, int italic, int async);
int RecreateAllFonts();
int RefreshDefaultFont();
int ResetFontHandles(int ending);
FONT_RECORD* GetFontRecord(HANDLE_VALUE handle);
FONT_RECORD* GetFontRecordEx(HANDLE_VALUE handle, int acceptPending);
void CopyFontCreateOptions(FONT_CREATE_OPTIONS* out);
void InitFontRecord(HANDLE_HEAD* record);
int ReleaseFontRecord(HANDLE_HEAD* record);

// The GDI character set of a library character-set index (0-4); DEFAULT_CHARSET outside.
int GetFontCharSet(int index);
