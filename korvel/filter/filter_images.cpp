#include "filter/filter_images.h"

#include <cstring>

#include "graphics/draw/screen_lock.h"
#include "graphics/graphs/graph_handles.h"
#include "graphics/graphs/graph_textures.h"

namespace {
// Locks one rectangle (texture coordinates, or graph coordinates for a software graph) and
// copies it into the image at (x, y).
int CopyLockedRect(HANDLE_VALUE graph, int textureIndex, const RECT& rect, RASTER_IMAGE* image, int x, int y) {
  RASTER_IMAGE locked;
  if (LockDrawScreenImage(&rect, &locked, graph, 1, textureIndex) != 0) return -1;
  int result = CopyImageRect(0, 0, locked.width, locked.height, x, y, &locked, image);
  UnlockDrawScreenImage();
  return result;
}

bool Intersect(RECT* out, const RECT& a, const RECT& b) {
  out->left = a.left > b.left ? a.left : b.left;
  out->top = a.top > b.top ? a.top : b.top;
  out->right = a.right < b.right ? a.right : b.right;
  out->bottom = a.bottom < b.bottom ? a.bottom : b.bottom;
  return out->left < out->right && out->top < out->bottom;
}
}  // namespace

int ReadGraphToBaseImage(HANDLE_VALUE graph, RASTER_IMAGE* image, const RECT* rect) {
  memset(image, 0, sizeof(*image));
  GRAPH_RECORD* g = GetGraphRecord(graph, 0);
  if (g == nullptr || g->imageSet == nullptr) return -1;
  RECT whole = {0, 0, g->width, g->height};
  RECT r = rect != nullptr ? *rect : whole;
  int width = r.right - r.left, height = r.bottom - r.top;
  if (width <= 0 || height <= 0 || AllocARGB8Image(width, height, image) != 0) return -1;
  memset(image->pixels, 0, (size_t)image->pitch * height);
  RECT inside;
  if (!Intersect(&inside, r, whole)) return 0;
  const GRAPH_IMAGE_SET* set = g->imageSet;
  int result = 0;
  if (!set->desc.heldAsTextures) {
    result = CopyLockedRect(graph, 0, inside, image, inside.left - r.left, inside.top - r.top);
  } else {
    // Each texture piece holds part of the graph: its part of the rectangle is read from its
    // texture, moved by the piece's offset there.
    for (int i = 0; i < g->pieceCount && result == 0; i++) {
      const GRAPH_PIECE& p = g->pieces[i];
      RECT area = {p.graphX, p.graphY, p.graphX + p.width, p.graphY + p.height}, part;
      if (!Intersect(&part, inside, area)) continue;
      RECT texel = {p.textureX + part.left - p.graphX, p.textureY + part.top - p.graphY, 0, 0};
      texel.right = texel.left + part.right - part.left;
      texel.bottom = texel.top + part.bottom - part.top;
      result = CopyLockedRect(graph, (int)(p.texture - set->textures), texel, image, part.left - r.left,
                              part.top - r.top);
    }
  }
  if (result != 0) {
    DisposeImage(image);
    return -1;
  }
  return 0;
}

int LoadFilterBaseImages(FILTER_PASS_RECORD* record, int blankDest, int width, int height) {
  if (width < 0 || height < 0) {
    width = record->x2 - record->x1;
    height = record->y2 - record->y1;
  }
  record->workWidth = width;
  record->workHeight = height;
  memset(&record->sourceImage, 0, sizeof(RASTER_IMAGE));
  memset(&record->blendImage, 0, sizeof(RASTER_IMAGE));
  memset(&record->destImage, 0, sizeof(RASTER_IMAGE));
  RECT source = {record->x1, record->y1, record->x2, record->y2};
  RECT dest = {record->destX, record->destY, record->destX + width, record->destY + height};
  bool ok = ReadGraphToBaseImage(record->passSource, &record->sourceImage, &source) == 0 &&
            (!record->blend || ReadGraphToBaseImage(record->blendGraph, &record->blendImage, &source) == 0) &&
            (blankDest ? AllocARGB8Image(width, height, &record->destImage) == 0
                       : ReadGraphToBaseImage(record->passDestination, &record->destImage, &dest) == 0);
  if (ok) return 0;
  DisposeImage(&record->sourceImage);
  DisposeImage(&record->blendImage);
  DisposeImage(&record->destImage);
  return -1;
}

int StoreFilterResultImage(FILTER_PASS_RECORD* record) {
  DisposeImage(&record->sourceImage);
  DisposeImage(&record->blendImage);
  if (record->destImage.pixels == nullptr) return 0;
  RECT whole = {0, 0, record->workWidth, record->workHeight};
  int result = CopyImageIntoGraph(record->passDestination, nullptr, nullptr, nullptr, &whole, record->destX,
                                  record->destY, 0, &record->destImage, nullptr, 0, 0, 0, 0);
  DisposeImage(&record->destImage);
  return result < 0 ? -1 : 0;
}
