// One glyph from GDI: GetGlyphOutlineA, oversampling by block counts, and the spread of an
// edge around the glyph.
#pragma once
#include <windows.h>

// A glyph as a plane of levels, one byte per pixel, 0 (nothing) to levels (full).
struct GLYPH_IMAGE {
  int width;
  int height;
  int offsetX;
  int offsetY;
  int advance;
  int levels;              // 1 for one-bit glyphs, else 16 or 64
  unsigned char* pixels;   // width x height, owned by the caller after FetchGlyphImage (FreeTracked)
};

// How the edge plane gathers the glyph: the largest neighbouring level (memory cache), or
// coverage accumulated a + (M - a) x v / M (grey glyphs in a texture).
enum { EDGE_GATHER_MAX = 0, EDGE_GATHER_ACCUMULATE = 1 };

// Fetches one character with the font selected into dc: levels 1 for the one-bit types, else
// the grey range (16 or 64). A space (0x20, 0x81 0x40) and a glyph with an empty bitmap
// give a 0 x 0 image with its advance. -1 when GDI fails (logged).
int FetchGlyphImage(HDC dc, const TEXTMETRICA* metrics, int fontType, int levels, int lead, int trail,
                    GLYPH_IMAGE* out);
// Resamples a one-bit glyph (pitch bytes per row, rows rows, the block grid starting phase
// rows above the first) into f x f block counts scaled to the grey range.
void ResampleGlyphBits(const unsigned char* bits, int pitch, int rows, int phase, int factor, int levels,
                       int width, int height, unsigned char* out);
// 1 when the brush of edge size e covers the offset (dx, dy) from its centre; eightNeighbours
// picks the texture cache's brush for e = 1.
int IsInEdgeBrush(int edgeSize, int dx, int dy, int eightNeighbours);
// Spreads a glyph of w x h levels into planes of (w + 2e) x (h + 2e): glyph levels moved by
// (e, e), and the edge gathered by the brush as the mode says.
void ComposeEdgePlanes(const GLYPH_IMAGE* glyph, int edgeSize, int eightNeighbours, int gather,
                       unsigned char* glyphPlane, unsigned char* edgePlane);
// The planes a cache cell is written from, (w + 2e) x (h + 2e): without an edge the glyph's
// own levels and no edge plane; with one, both planes composed into a tracked block (the
// process ends when it cannot be had). FreeGlyphPlanes gives the block back.
struct GLYPH_PLANES {
  unsigned char* glyph;
  unsigned char* edge;
  int width, height;
};
GLYPH_PLANES MakeGlyphPlanes(const GLYPH_IMAGE* glyph, int edgeSize, int eightNeighbours, int gather);
void FreeGlyphPlanes(GLYPH_PLANES* planes);
// GetGlyphOutlineA calls made so far (measuring and fetching), for tests.
int CountGlyphOutlineCalls();
