// Putting one cached glyph on a target: its pixels from the memory cache written into a
// MEMIMG (the software path).
#pragma once
#include <windows.h>

#include "font/font_handles.h"
#include "image/memimg.h"

// Writes the glyph of slot, placed at dest (unclipped; turned a quarter clockwise when
// vertical), into target within clip. text and edge are packed colours of the target's
// layout; pixels the glyph does not cover are kept with transparent set, else cleared to 0.
void WriteGlyphToMemImg(const FONT_RECORD* font, const GLYPH_CACHE_SLOT* slot, const RECT* dest, const RECT* clip,
                        int vertical, MEMIMG* target, unsigned int text, unsigned int edge, int transparent);
