#include "font/glyph_draw.h"

#include <cstring>

namespace {
int FloorDiv256(int value) { return value >= 0 ? value / 256 : -((-value + 255) / 256); }

// One cache pixel of a glyph: 0/1 from a one-bit cache, else the cache byte.
int ReadCachePixel(const FONT_RECORD* font, const GLYPH_CACHE_SLOT* slot, int x, int y) {
  const unsigned char* row = font->memoryCache + ((size_t)slot->cellIndex * font->cellSize + y) * font->memoryPitch;
  if (font->memoryBits == 1) return (row[x >> 3] >> (7 - (x & 7))) & 1;
  return row[x];
}

// Text over edge at glyph level g and edge level e of the edged grey types, channel by
// channel in the target's layout.
uint32_t MixEdgeColor(const COLOR_FORMAT* f, uint32_t text, uint32_t edge, int g, int a) {
  int t = (g << 12) / a;
  uint32_t masks[3] = {f->redMask, f->greenMask, f->blueMask};
  uint8_t shifts[3] = {f->redShift, f->greenShift, f->blueShift};
  uint32_t result = 0;
  for (int i = 0; i < 3; i++) {
    int tc = (int)((text & masks[i]) >> shifts[i]), ec = (int)((edge & masks[i]) >> shifts[i]);
    int c = ec + FloorDiv256((tc - ec) * t);
    result |= ((uint32_t)c << shifts[i]) & masks[i];
  }
  return result;
}

// The pixel a cache value becomes, with its coverage; 0 coverage leaves the target alone.
int ShadeCacheValue(const FONT_RECORD* font, const COLOR_FORMAT* f, int v, uint32_t text, uint32_t edge,
                    uint32_t* color, int* alpha) {
  switch (font->fontType) {
    case 0:
      *color = text, *alpha = 255;
      return v != 0;
    case 1:
      *color = v == 1 ? text : edge, *alpha = 255;
      return v != 0;
    case 2: case 18: case 34:
      *color = text, *alpha = 16 * v;
      return v != 0;
    default: {
      int g = v & 15, e = v >> 4;
      if (g == 0 && e == 0) return 0;
      if (g == 0) *color = edge, *alpha = 16 * e;
      else if (g == 15) *color = text, *alpha = 255;
      else {
        *alpha = 16 * g + (15 - g) * e;
        *color = MixEdgeColor(f, text, edge, g, *alpha);
      }
      return 1;
    }
  }
}

void PutPixel(uint8_t* p, int bytes, uint32_t value) {
  if (bytes == 4) memcpy(p, &value, 4);
  else if (bytes == 2) {
    uint16_t v = (uint16_t)value;
    memcpy(p, &v, 2);
  } else {
    *p = (uint8_t)value;
  }
}
}  // namespace

void WriteGlyphToMemImg(const FONT_RECORD* font, const GLYPH_CACHE_SLOT* slot, const RECT* dest, const RECT* clip,
                        int vertical, MEMIMG* target, unsigned int text, unsigned int edge, int transparent) {
  if (font->memoryCache == nullptr || !IsMemImgValid(target)) return;
  MEMIMG_STORE* store = target->store;
  const COLOR_FORMAT* f = store->format;
  int bytes = GetMemImgPixelBytes(store);
  RECT area = {dest->left, dest->top, dest->right, dest->bottom};
  if (clip != nullptr) {
    if (area.left < clip->left) area.left = clip->left;
    if (area.top < clip->top) area.top = clip->top;
    if (area.right > clip->right) area.right = clip->right;
    if (area.bottom > clip->bottom) area.bottom = clip->bottom;
  }
  if (area.left < 0) area.left = 0;
  if (area.top < 0) area.top = 0;
  if (area.right > target->width) area.right = target->width;
  if (area.bottom > target->height) area.bottom = target->height;
  uint32_t alphaMask = store->alphaFlag ? f->alphaMask : 0;
  for (int y = area.top; y < area.bottom; y++) {
    uint8_t* row = target->pixels + (size_t)y * store->pitch;
    for (int x = area.left; x < area.right; x++) {
      int gx = vertical ? y - dest->top : x - dest->left;
      int gy = vertical ? dest->right - 1 - x : y - dest->top;
      uint32_t color;
      int alpha;
      int v = ReadCachePixel(font, slot, gx, gy);
      if (!ShadeCacheValue(font, f, v, text, edge, &color, &alpha)) {
        if (!transparent) PutPixel(row + (size_t)x * bytes, bytes, 0);
        continue;
      }
      if (alphaMask) color = (color & ~alphaMask) | (((uint32_t)alpha << f->alphaShift) & alphaMask);
      PutPixel(row + (size_t)x * bytes, bytes, color);
    }
  }
}
