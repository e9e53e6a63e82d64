// Drawing strings: the public text calls and the two back ends (glyphs from the cache
// texture drawn as textured quads, or glyph pixels written into the screen image).
#pragma once
#include "font/font_handles.h"

int DrawTextFromTextureCache(HANDLE_VALUE font, int x, int y, const char* text, unsigned int color,
                             unsigned int edgeColor, int vertical);
int DrawTextFromMemoryCache(HANDLE_VALUE font, int x, int y, const char* text, unsigned int color,
                            unsigned int edgeColor, int vertical);
