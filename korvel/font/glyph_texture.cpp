#include "font/glyph_texture.h"

#include <cstring>

#include "core/log.h"
#include "core/memory.h"
#include "font/glyph_cache.h"
#include "graphics/graphs/graph_create.h"
#include "graphics/graphs/graph_formats.h"
#include "graphics/graphs/graph_handles.h"
#include "graphics/graphs/graph_textures.h"

namespace {
uint32_t White(const COLOR_FORMAT* f) { return f->redMask | f->greenMask | f->blueMask; }

uint32_t WhiteWithAlpha(const COLOR_FORMAT* f, uint32_t alpha) {
  return White(f) | ((alpha << f->alphaShift) & f->alphaMask);
}

// An edged grey texel of coverage x: x * 255 / M in an 8-bit alpha, x - 1 in a 4-bit one;
// no coverage stays transparent.
uint32_t EdgedGreyTexel(const COLOR_FORMAT* f, int x, int levels) {
  if (x <= 0) return White(f);
  if (x >= levels) return White(f) | f->alphaMask;
  uint32_t alpha = f->alphaWidth >= 8 ? (uint32_t)(x * 255 / levels) : (uint32_t)(x - 1);
  return WhiteWithAlpha(f, alpha);
}

void PutTexel(RASTER_IMAGE* image, int x, int y, uint32_t texel) {
  unsigned char* p = (unsigned char*)image->pixels + (size_t)y * image->pitch + (size_t)x * image->format.bytesPerPixel;
  if (image->format.bytesPerPixel == 4) {
    memcpy(p, &texel, 4);
  } else {
    uint16_t t = (uint16_t)texel;
    memcpy(p, &t, 2);
  }
}

void FillBaseRect(RASTER_IMAGE* image, int x, int y, int w, int h, uint32_t texel) {
  for (int j = 0; j < h; j++)
    for (int i = 0; i < w; i++) PutTexel(image, x + i, y + j, texel);
}

// Sends a rectangle of the CPU copy to the same place of the cache graph; a loader thread
// hands the device work to the main thread.
int UploadRect(FONT_RECORD* font, int x, int y, int w, int h, int onWorker = 0) {
  RECT rect = {x, y, x + w, y + h};
  return CopyImageIntoGraph(font->cacheGraph, nullptr, nullptr, nullptr, &rect, x, y, 0, &font->cacheBaseImage, nullptr,
                            0, 1, 0, onWorker);
}

int HasEdge(const FONT_RECORD* font) { return (font->fontType & FONT_TYPE_EDGE) != 0; }

// The whole CPU copy white at alpha 0, sent to the graph: every texel that holds nothing is
// transparent white.
void BlankCacheTexture(FONT_RECORD* font, int onWorker) {
  RASTER_IMAGE* image = &font->cacheBaseImage;
  if (image->pixels == nullptr || font->cacheGraph == -1) return;
  FillBaseRect(image, 0, 0, image->width, image->height, White(&image->format));
  UploadRect(font, 0, 0, image->width, image->height, onWorker);
}

void DeleteCacheGraphs(FONT_RECORD* font) {
  if (font->edgeGraph != -1) DeleteGraphHandle(font->edgeGraph, 0);
  if (font->cacheGraph != -1) DeleteGraphHandle(font->cacheGraph, 0);
  font->edgeGraph = -1;
  font->cacheGraph = -1;
}

// Makes the cache graph (and the edge graph of edged types) and empties the cache.
int MakeCacheGraph(FONT_RECORD* font, int onWorker) {
  font->cacheTextureLost = 0;
  DeleteCacheGraphs(font);
  int antialiased = (font->fontType & FONT_TYPE_ANTIALIASED) != 0;
  GRAPH_CREATE_PARAM param;
  CaptureGraphCreateParam(&param);
  param.blankAlpha = antialiased;
  param.alphaTestFormat = !antialiased;
  param.colorBits = antialiased ? font->cacheBits : 16;
  int width = font->cacheWidth * (HasEdge(font) ? 2 : 1);
  HANDLE_VALUE graph = CreateBlankGraph(&param, width, font->cacheHeight, 0, 0, onWorker);
  if (graph == -1) return -1;
  font->cacheGraph = graph;
  if (HasEdge(font)) {
    font->edgeGraph = CreateDerivedGraphEx(font->cacheWidth, 0, font->cacheWidth, font->cacheHeight, graph, 1);
    if (font->edgeGraph == -1) {
      DeleteCacheGraphs(font);
      return -1;
    }
  }
  AttachGraphLostFlag(graph, &font->cacheTextureLost);
  BlankCacheTexture(font, onWorker);
  ClearGlyphCacheOf(font);
  return 0;
}
}  // namespace

uint32_t ConvertGlyphTexel(const COLOR_FORMAT* f, int v, int levels) {
  if (v <= 0) return White(f);
  if (levels == 1) return White(f) | f->alphaMask;
  uint32_t alpha;
  if (levels == 64)
    alpha = f->alphaWidth >= 6 ? (uint32_t)(v - 1) << (f->alphaWidth - 6) : (uint32_t)(v - 1) >> (6 - f->alphaWidth);
  else
    alpha = f->alphaWidth >= 4 ? ((uint32_t)v << (f->alphaWidth - 4)) - 1 : (uint32_t)(v - 1) >> (4 - f->alphaWidth);
  return WhiteWithAlpha(f, alpha);
}

void ConvertEdgedTexels(const COLOR_FORMAT* f, int v, int a, int levels, uint32_t* glyph, uint32_t* edge) {
  if (levels == 1) {
    *glyph = v ? White(f) | f->alphaMask : White(f);
    *edge = (!v && a) ? White(f) | f->alphaMask : White(f);
    return;
  }
  if (v >= levels) {
    *glyph = White(f) | f->alphaMask;
    *edge = White(f);
    return;
  }
  *glyph = EdgedGreyTexel(f, v, levels);
  *edge = EdgedGreyTexel(f, a, levels);
}

void GetCellCorner(const FONT_RECORD* font, int cell, int* x, int* y) {
  *x = (cell / font->rows) * font->cellSize;
  *y = (cell % font->rows) * font->cellSize;
}

int CreateFontCacheTexture(FONT_RECORD* font, int onWorker) {
  if (MakeCacheGraph(font, onWorker) == -1) return -1;
  int antialiased = (font->fontType & FONT_TYPE_ANTIALIASED) != 0;
  const COLOR_FORMAT* format = PickTextureColorFormat(antialiased, !antialiased, font->cacheBits == 32, 0);
  RASTER_IMAGE* image = &font->cacheBaseImage;
  image->format = *format;
  image->width = font->cacheWidth * (HasEdge(font) ? 2 : 1);
  image->height = font->cacheHeight;
  image->pitch = format->bytesPerPixel * image->width;
  image->mipLevels = 0;
  image->pixels = AllocTrackedZeroed((size_t)image->pitch * image->height, "", 0);
  if (image->pixels == nullptr) {
    WriteLogText("文字キャッシュ基本イメージ用のメモリの確保に失敗しました\n");
    return -2;
  }
  BlankCacheTexture(font, onWorker);
  return 0;
}

void ReleaseFontCacheTexture(FONT_RECORD* font) {
  DeleteCacheGraphs(font);
  if (font->cacheBaseImage.pixels != nullptr) FreeTracked(font->cacheBaseImage.pixels);
  memset(&font->cacheBaseImage, 0, sizeof(font->cacheBaseImage));
  font->cacheTextureLost = 0;
}

int RebuildFontCacheTexture(HANDLE_VALUE handle, int acceptPending) {
  FONT_RECORD* font = GetFontRecordEx(handle, acceptPending);
  if (font == nullptr) return -1;
  if (!font->textureCache || !font->cacheTextureLost) return 0;
  return MakeCacheGraph(font, 0);
}

void ClearTextureCell(FONT_RECORD* font, int cell) {
  RASTER_IMAGE* image = &font->cacheBaseImage;
  if (image->pixels == nullptr) return;
  int x, y;
  GetCellCorner(font, cell, &x, &y);
  uint32_t blank = White(&image->format);
  FillBaseRect(image, x, y, font->cellSize, font->cellSize, blank);
  if (HasEdge(font)) FillBaseRect(image, font->cacheWidth + x, y, font->cellSize, font->cellSize, blank);
}

void WriteGlyphToTextureCell(FONT_RECORD* font, int cell, const GLYPH_IMAGE* glyph, int e, int* outWidth,
                             int* outHeight) {
  RASTER_IMAGE* image = &font->cacheBaseImage;
  *outWidth = *outHeight = 0;
  if (image->pixels == nullptr) return;
  const COLOR_FORMAT* f = &image->format;
  GLYPH_PLANES planes =
      MakeGlyphPlanes(glyph, e, 1, glyph->levels == 1 ? EDGE_GATHER_MAX : EDGE_GATHER_ACCUMULATE);
  const int w = planes.width, h = planes.height;
  const unsigned char *glyphPlane = planes.glyph, *edgePlane = planes.edge;
  // The glyph sits one pixel in from its cell's corner and never reaches past the cell.
  int room = font->cellSize - 1;
  int cw = w < room ? w : room, ch = h < room ? h : room;
  int x0, y0;
  GetCellCorner(font, cell, &x0, &y0);
  for (int y = 0; y < ch; y++)
    for (int x = 0; x < cw; x++) {
      int v = glyphPlane[y * w + x];
      if (edgePlane == nullptr) {
        PutTexel(image, x0 + 1 + x, y0 + 1 + y, ConvertGlyphTexel(f, v, glyph->levels));
        continue;
      }
      uint32_t glyphTexel, edgeTexel;
      ConvertEdgedTexels(f, v, edgePlane[y * w + x], glyph->levels, &glyphTexel, &edgeTexel);
      PutTexel(image, x0 + 1 + x, y0 + 1 + y, glyphTexel);
      PutTexel(image, font->cacheWidth + x0 + 1 + x, y0 + 1 + y, edgeTexel);
    }
  FreeGlyphPlanes(&planes);
  // The whole cell goes up, margin included, and for edged types the same cell of the edge half.
  UploadRect(font, x0, y0, font->cellSize, font->cellSize);
  if (HasEdge(font)) UploadRect(font, font->cacheWidth + x0, y0, font->cellSize, font->cellSize);
  *outWidth = cw;
  *outHeight = ch;
}
