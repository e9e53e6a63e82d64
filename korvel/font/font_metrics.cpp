#include "font/font_metrics.h"

#include <cmath>

#include "core/maths.h"
#include "font/font_handles.h"

int NormalizeFontType(int fontType, int edgeSize, int screenBits) {
  switch (fontType) {
    case 0: case 1: case 2: case 3: case 18: case 19: case 34: case 35: break;
    default: return -1;
  }
  if (edgeSize > 1) fontType |= FONT_TYPE_EDGE;
  // Without antialiasing an oversampled glyph has no use: the type falls back to the plain
  // one-bit type of the same edge.
  if (screenBits == 8) fontType &= FONT_TYPE_EDGE;
  return fontType;
}

int GetOversampleFactor(int fontType) {
  if (fontType == 18 || fontType == 19) return 4;
  if (fontType == 34 || fontType == 35) return 8;
  return 1;
}

int CorrectFontHeight(int height, int leading, int tmHeight) {
  if (leading <= 0 || tmHeight <= 0 || leading >= tmHeight) return 0;
  float quotient = (float)((double)height / (1.0 - (double)leading / (double)tmHeight));
  return (int)quotient;
}

void ComputeFontCell(int maxCharWidth, int tmHeight, int factor, int edgeSize, FONT_CELL_METRICS* out) {
  int cell = maxCharWidth / factor + 4 + 2 * edgeSize;
  cell = (cell + 7) & ~7;
  int charHeight = tmHeight / factor + 1 + 2 * edgeSize;
  charHeight = (charHeight + 1) & ~1;
  if (cell < charHeight) cell = charHeight;
  out->cellSize = cell;
  out->charHeight = charHeight;
}

void ComputeTextureCacheLayout(int cellSize, int count, FONT_CACHE_LAYOUT* out) {
  int width, height, capacity;
  if (count <= 0) {
    width = height = 512;
    capacity = (512 / cellSize) * (512 / cellSize);
    while (capacity < 10) {
      if (width <= height) width *= 2;
      else height *= 2;
      capacity = (height / cellSize) * (width / cellSize);
    }
  } else {
    int side = ((int)std::sqrt((double)count) + 1) * cellSize;
    int texture = PowerOfTwoAtLeast(side < 8 ? 8 : side);
    width = height = texture;
    capacity = (texture / cellSize) * (texture / cellSize);
  }
  if (capacity > GLYPH_CACHE_MAX) capacity = GLYPH_CACHE_MAX;
  out->width = width;
  out->height = height;
  out->capacity = capacity;
  out->rows = height / cellSize;
  out->bitsPerPixel = 0;
  out->pitch = 0;
}

void ComputeMemoryCacheLayout(int cellSize, int count, int fontType, FONT_CACHE_LAYOUT* out) {
  int bits = fontType == 0 ? 1 : 8;
  int capacity = count > 0 ? count : 0x50000 / (cellSize * cellSize);
  if (capacity < 20) capacity = 20;
  if (capacity > GLYPH_CACHE_MAX) capacity = GLYPH_CACHE_MAX;
  out->width = cellSize;
  out->height = capacity * cellSize;
  out->capacity = capacity;
  out->rows = capacity;
  out->bitsPerPixel = bits;
  out->pitch = (cellSize * bits + 7) / 8;
}
