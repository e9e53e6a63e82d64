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
