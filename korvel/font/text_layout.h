// Measuring and drawing strings with a font: the walk over a string's glyphs that both share.
#pragma once
#include <windows.h>

#include <cstdarg>

#include "font/font_handles.h"

struct MEMIMG;

// draw 0 measures only. Returns the total advance in pixels (the pen truncated), or -1.
// sizeOut: horizontal {advance, line height}, vertical {line height, advance}.
int LayoutAndDrawText(int draw, int x, int y, int scaled, double scaleX, double scaleY, const char* text,
                      unsigned int color, MEMIMG* target, const RECT* clip, int transparent, HANDLE_VALUE font,
                      unsigned int edgeColor, int byteCount, int vertical, int sizeOut[2]);
// Formats into a buffer of size bytes: the result is cut to fit, never inside a double-byte
// character. Returns the length.
int FormatTextForDrawing(char* buffer, int size, const char* format, va_list args);

// A text colour as drawing uses it: the packed colour scaled by the draw brightness (alpha
// bits removed) and the same channels as an opaque 0xFFRRGGBB tint.
struct TEXT_COLOR {
  unsigned int packed;
  unsigned int tint;
};
void ScaleTextColor(unsigned int color, unsigned int brightness, TEXT_COLOR* out);
// Where a glyph lands for pen position pen from (x, y): horizontal at the pen plus the slot's
// offsets; vertical turned a quarter clockwise inside a column charHeight wide.
void PlaceGlyph(int x, int y, double pen, const GLYPH_CACHE_SLOT* slot, int charHeight, int vertical, RECT* out);
