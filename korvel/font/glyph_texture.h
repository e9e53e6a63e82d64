// The texture side of the glyph cache: the cache graph, its CPU copy, and glyph pixels in
// texture formats.
#pragma once
#include "font/font_handles.h"
#include "font/glyph_raster.h"

void ClearTextureCell(FONT_RECORD* font, int cell);
void WriteGlyphToTextureCell(FONT_RECORD* font, int cell, const GLYPH_IMAGE* glyph, int edgeSize, int* outWidth,
                             int* outHeight);
