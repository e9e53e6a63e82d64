// The pure rules of font creation: type normalisation, the height correction for leading,
// the cell and line height, and the sizing of the glyph cache.
#pragma once

// The type after the creation rules (an edge size above 1 asks for an edge; an 8-bit screen
// has no antialiasing); -1 for a type value that is not defined.
int NormalizeFontType(int fontType, int edgeSize, int screenBits);
// 1, 4 or 8 by the type's oversampling bits.
int GetOversampleFactor(int fontType);
// The GDI height of the second trial font for a first font with this leading and text-metric
// height; 0 when the first font stays (no leading, or a leading that leaves no height).
int CorrectFontHeight(int height, int leading, int tmHeight);

struct FONT_CELL_METRICS {
  int cellSize;    // side of the square cache cell
  int charHeight;  // the line height
};
void ComputeFontCell(int maxCharWidth, int tmHeight, int factor, int edgeSize, FONT_CELL_METRICS* out);

struct FONT_CACHE_LAYOUT {
  int width;     // pixels of one cache image half
  int height;
  int capacity;  // cells in use, at most 2,024
  int rows;      // cells per column
  int pitch;     // memory cache: bytes per row
  int bitsPerPixel;
};
// A cache texture for a cell size and a wanted glyph count (0 = automatic).
void ComputeTextureCacheLayout(int cellSize, int count, FONT_CACHE_LAYOUT* out);
// A memory cache: one column of cells, 1 bit per pixel for type 0, else 8.
void ComputeMemoryCacheLayout(int cellSize, int count, int fontType, FONT_CACHE_LAYOUT* out);
