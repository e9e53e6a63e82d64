#include "graphics/graphs/graph_layout.h"

#include <cstddef>

#include "core/memory.h"

namespace {
void Put(int* sizes, int index, int value) {
  if (sizes != nullptr) sizes[index] = value;
}

int Smaller(int a, int b) { return a < b ? a : b; }

// Overlap of a texture span [start, start + used) with the graph span [origin, origin + length):
// where the piece starts in the graph and in the texture, and its length (0: no overlap).
void OverlapSpan(int start, int used, int origin, int length, int* graphPos, int* texturePos, int* size) {
  bool overlaps = (start > origin && start < origin + length) || (start <= origin && origin < start + used);
  if (!overlaps) {
    *size = 0;
    return;
  }
  if (start > origin) {
    *graphPos = start - origin;
    *texturePos = 0;
    *size = Smaller(used, origin + length - start);
  } else {
    *graphPos = 0;
    *texturePos = origin - start;
    *size = Smaller(used - *texturePos, length);
  }
}
}  // namespace

int GraphRecordSize(int pieceCount) {
  int size = (int)offsetof(GRAPH_RECORD, pieces) + pieceCount * (int)sizeof(GRAPH_PIECE);
  return size < (int)sizeof(GRAPH_RECORD) ? (int)sizeof(GRAPH_RECORD) : size;
}

int SplitTextureLengthWithLimits(const TEXTURE_LIMITS* limits, int maxSize, int n, int* sizes, int pow2) {
  int m = maxSize != 0 ? maxSize : limits->maxSize;
  if (m < 1) m = 1;
  if (!pow2 && (!limits->powerOfTwoOnly || limits->nonPowerOfTwoConditional) && n <= m) {
    Put(sizes, 0, n);
    return 1;
  }
  if (n <= 1) {
    Put(sizes, 0, 1);
    return 1;
  }
  int e = m;
  while (e > 1 && e > n) e >>= 1;
  if (2 * e <= m) {
    Put(sizes, 0, e < n ? 2 * e : e);
    return 1;
  }
  // Several pieces: whole textures of the largest size, then ever smaller ones for the rest,
  // or one doubled texture when the rest is close to the current size.
  int count = 0, last = 0, previous = 0;
  for (;;) {
    previous = last;
    last = e;
    Put(sizes, count++, e);
    n -= e;
    if (n <= 0) break;
    if (n <= e * 3 / 4 || e >= m) {
      while (e > n && e > 1) e >>= 1;
      continue;
    }
    last = 2 * e;
    Put(sizes, count - 1, last);
    break;
  }
  if (count >= 2 && previous == last && 2 * last <= m) {
    count--;
    Put(sizes, count - 1, 2 * last);
  }
  return count;
}

int LayoutImageSetTextures(const TEXTURE_LIMITS* limits, int maxSize, int width, int height, int pow2,
                           GRAPH_TEXTURE* out) {
  int columns = SplitTextureLengthWithLimits(limits, maxSize, width, nullptr, pow2);
  int rows = SplitTextureLengthWithLimits(limits, maxSize, height, nullptr, pow2);
  int* columnWidths = (int*)AllocTracked(sizeof(int) * (size_t)(columns + rows), "", 0);
  if (columnWidths == nullptr) return -1;
  int* rowHeights = columnWidths + columns;
  SplitTextureLengthWithLimits(limits, maxSize, width, columnWidths, pow2);
  SplitTextureLengthWithLimits(limits, maxSize, height, rowHeights, pow2);
  int count = 0;
  for (int r = 0, y = 0; r < rows; y += rowHeights[r], r++) {
    for (int c = 0, x = 0; c < columns; x += columnWidths[c], c++) {
      int w = columnWidths[c], h = rowHeights[r];
      // Square-only devices: squares of the short side along the long side.
      int side = limits->squareOnly && w != h ? Smaller(w, h) : 0;
      int parts = side != 0 ? (w > h ? w : h) / side : 1;
      for (int k = 0; k < parts; k++) {
        GRAPH_TEXTURE t = {};
        t.x = x + (side != 0 && w > h ? k * side : 0);
        t.y = y + (side != 0 && h > w ? k * side : 0);
        t.width = side != 0 ? side : w;
        t.height = side != 0 ? side : h;
        t.usedWidth = Smaller(t.width, width - t.x);
        t.usedHeight = Smaller(t.height, height - t.y);
        if (t.usedWidth <= 0 || t.usedHeight <= 0) continue;
        if (out != nullptr) out[count] = t;
        count++;
      }
    }
  }
  FreeTracked(columnWidths);
  return count;
}

int LayoutGraphPieces(const GRAPH_IMAGE_SET* set, int x, int y, int width, int height, GRAPH_PIECE* out) {
  int count = 0;
  for (int i = 0; i < set->textureCount; i++) {
    GRAPH_TEXTURE* t = &set->textures[i];
    GRAPH_PIECE p = {};
    OverlapSpan(t->x, t->usedWidth, x, width, &p.graphX, &p.textureX, &p.width);
    OverlapSpan(t->y, t->usedHeight, y, height, &p.graphY, &p.textureY, &p.height);
    if (p.width <= 0 || p.height <= 0) continue;
    p.texture = t;
    float left = (float)p.graphX, right = (float)(p.graphX + p.width);
    float top = (float)p.graphY, bottom = (float)(p.graphY + p.height);
    float u0 = (float)p.textureX / t->width, u1 = (float)(p.textureX + p.width) / t->width;
    float v0 = (float)p.textureY / t->height, v1 = (float)(p.textureY + p.height) / t->height;
    p.corners[GRAPH_CORNER_TOP_LEFT] = {left, top, u0, v0};
    p.corners[GRAPH_CORNER_TOP_RIGHT] = {right, top, u1, v0};
    p.corners[GRAPH_CORNER_BOTTOM_LEFT] = {left, bottom, u0, v1};
    p.corners[GRAPH_CORNER_BOTTOM_RIGHT] = {right, bottom, u1, v1};
    for (int c = 0; c < 4; c++) {
      double cx = p.corners[c].x, cy = p.corners[c].y;
      p.cornerFlags[c] = cy <= (double)height - cx * height / width ? 1 : 0;
    }
    if (out != nullptr) out[count] = p;
    count++;
  }
  return count;
}
