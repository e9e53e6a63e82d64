// The texture side of the glyph cache: the cache graph, its CPU copy, and glyph pixels in
// texture formats.
#pragma once
#include <cstdint>

#include "font/font_handles.h"
#include "font/glyph_raster.h"

void ClearTextureCell(FONT_RECORD* font, int cell);
void WriteGlyphToTextureCell(FONT_RECORD* font, int cell, const GLYPH_IMAGE* glyph, int edgeSize, int* outWidth,
                             int* outHeight);
// The texel of a glyph level v of levels (1, 16 or 64) without an edge; nothing is white at
// alpha 0.
uint32_t ConvertGlyphTexel(const COLOR_FORMAT* format, int v, int levels);
// The glyph and edge texels of an edged glyph at glyph level v and edge coverage a.
void ConvertEdgedTexels(const COLOR_FORMAT* format, int v, int a, int levels, uint32_t* glyph, uint32_t* edge);
// Where a cache cell starts in the cache image.
void GetCellCorner(const FONT_RECORD* font, int cell, int* x, int* y);
