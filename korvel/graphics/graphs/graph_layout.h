// How an image is cut into device textures and how a graph's rectangle maps onto them:
// the split of one side into texture lengths, the texture grid of an image set, and the
// pieces (one per overlapped texture) that a graph draws.
#pragma once
#include "graphics/graphs/graph_records.h"

// Texture lengths along one axis for a length n under the given limits; maxSize 0 takes the
// limits' maximum. Returns the number of pieces; sizes (may be null) receives them.
int SplitTextureLengthWithLimits(const TEXTURE_LIMITS* limits, int maxSize, int n, int* sizes, int pow2);
// The textures of a width x height image set, row by row, each row left to right; on a
// square-only device each non-square texture becomes squares of its short side. Textures
// that would hold no image pixel are left out. Returns the count; out (may be null) receives them.
int LayoutImageSetTextures(const TEXTURE_LIMITS* limits, int maxSize, int width, int height, int pow2,
                           GRAPH_TEXTURE* out);
// The pieces of a graph at (x, y) of size (width, height) in an image set: one per texture
// that overlaps the rectangle, in texture order. Returns the count; out (may be null) receives them.
int LayoutGraphPieces(const GRAPH_IMAGE_SET* set, int x, int y, int width, int height, GRAPH_PIECE* out);
