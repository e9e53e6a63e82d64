// The CPU kernels that blit, stretch, fill, draw lines and triangles into MEMIMG images under the
// options of MEMIMG_DRAW_STATE. Blend modes: 0 copy, 1 alpha, 2 add, 3 subtract,
// 4 multiply, 10 alpha blend of the inverted source, 11 alpha blend of source x target;
// every other number draws nothing. Main thread only.
#pragma once
#include <windows.h>
#include <cstdint>

#include "image/memimg.h"

// One line of a line list: colour in the target's pixel layout; the blend parameter is
// carried for callers and not read by the kernel.
struct MEMIMG_LINE {
  int x1, y1, x2, y2;
  uint32_t color;
  int blendParam;
};

// One corner of a triangle: x, y in target pixels, u, v in source texels.
struct MEMIMG_VERTEX {
  int x, y, u, v;
};

void MEMIMGBlit(MEMIMG* target, const MEMIMG* source, int x, int y, int TransFlag, const MEMIMG* blendGraph);
void MEMIMGStretchBlit(MEMIMG* target, const MEMIMG* source, const RECT* corners, int TransFlag,
                       const MEMIMG* blendGraph);
void MEMIMGFillRect(MEMIMG* target, const RECT* rect, uint32_t color);
void MEMIMGLine(MEMIMG* target, int x1, int y1, int x2, int y2, uint32_t color);
void MEMIMGLineList(MEMIMG* target, const MEMIMG_LINE* lines, int count);
// One triangle: affine-textured from source (u, v of each corner), or filled with color (in
// the target's pixel layout) when source is null. Both ends of every span and the top row are
// drawn, the bottom vertex's row is not; so two triangles that share an edge both draw it.
void MEMIMGTriangle(MEMIMG* target, const MEMIMG* source, const MEMIMG_VERTEX vertices[3], int TransFlag,
                    const MEMIMG* blendGraph, uint32_t color);
