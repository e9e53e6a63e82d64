// The per-call records handed to the CPU renderer's inner loops.
#pragma once
#include <windows.h>
#include <cstdint>

// Per-call values the pixel rule reads.
struct BLEND_CONTEXT {
  int param;               // blend parameter p
  int tint[3];             // tint bytes for blue, green, red
  const uint8_t* weights;  // blend-graph weight table
  uint32_t transparent;    // transparent colour or index
  const void* palette;     // palette in the target layout
};

// A rectangle of work: target rows and the source (and blend graph) rows under them.
struct BLIT_JOB {
  uint8_t* target;
  int targetPitch;
  const uint8_t* source;
  int sourcePitch;
  const uint8_t* graph;  // null without blend graph
  int graphPitch;
  int width, height;
  const uint8_t* runs;  // run path: the first run byte of the source's first row
  BLEND_CONTEXT context;
};
using BLIT_LOOP = void (*)(const BLIT_JOB&);

// A clipped rectangle of a stretched blit, sampled by two 16.16 accumulators. The loop walks
// the column accumulator once per call into columns (width entries, the caller's buffer) and
// then reads every row through that table.
struct STRETCH_JOB {
  uint8_t* target;  // first target pixel of the clipped rectangle
  int targetPitch;
  int width, height;  // clipped size
  const uint8_t* source;  // source pixel (0, 0) of the view
  int sourcePitch;
  const uint8_t* graph;
  int graphPitch;
  int firstColumn, firstRow, xdir, ydir;
  int32_t xstep, ystep, xstart, ystart;  // steps and starting accumulators
  int* columns;
  BLEND_CONTEXT context;
};
using STRETCH_LOOP = void (*)(const STRETCH_JOB&);

// One side of a triangle in 14.18 fixed point: the current x, its step per row, the rows left
// in the current segment, and the segment that follows when it is not the last one.
struct TRIANGLE_EDGE {
  int32_t x, slope;
  int rows;
  int last;
  int32_t nextX, nextSlope;
  int nextRows;
};

// 14.18 to whole pixels, rounding down (an arithmetic shift), so that positions left of or
// above pixel 0 keep their own column or row.
inline int FloorPixels(int32_t v) { return v >> 18; }

// A piece of a triangle's row whose texels all lie inside the source: count target pixels
// from target on, the first drawn from the texel at (u, v) in 14.18, each next one (ux, vx)
// further. The coordinates fit 32 bits: the span loops serve sources of at most 16384
// texels each way.
struct TRIANGLE_SPAN {
  uint8_t* target;
  const uint8_t* source;  // texel (0, 0) of the source view
  int sourcePitch;
  const uint8_t* graph;  // null without blend graph
  int graphPitch;
  uint32_t u, v;
  int32_t ux, vx;
  int count;
};
using TRIANGLE_SPAN_LOOP = void (*)(const TRIANGLE_SPAN&, const BLEND_CONTEXT&);

// A triangle set up for its span loop. Texture coordinates are 14.18 values held in 64 bits
// along each span, from the anchor's coordinates (ua, va) and the 32-bit gradients, so that
// they never wrap: a coordinate left of or above the source is negative, whatever the
// source's size. The anchor (xa, ya) is the pixel they are measured from.
struct TRIANGLE_JOB {
  uint8_t* target;  // pixel (0, 0) of the target view
  int targetPitch;
  const uint8_t* source;  // texel (0, 0) of the source view; null for a flat triangle
  int sourcePitch;
  const uint8_t* graph;  // null without blend graph
  int graphPitch;
  int64_t uLimit, vLimit;  // source width and height in 14.18
  int64_t ua, va;
  int32_t ux, vx, uy, vy;
  int xa, ya;
  TRIANGLE_EDGE left, right;
  int row, middleRow;  // first row; the row the left edge's second segment starts on
  RECT clip;
  uint32_t colour;  // flat triangles: the tinted colour
  BLEND_CONTEXT context;
  TRIANGLE_SPAN_LOOP spanLoop;  // the span loops: the SSE2 loop of the combination, or null
};
using TRIANGLE_LOOP = void (*)(const TRIANGLE_JOB&);

// The loop of one combination: flat (sourceKind -1) or textured by source kind, for a drawing
// mode of SelectDrawMode and the variants; textured, the span loops (spans) or the per-pixel
// loops. Null for a pixel type without kernels.
TRIANGLE_LOOP SelectTriangleLoop(int pixelType, int sourceKind, int mode, bool graph, bool tint, bool trans,
                                 bool spans);

// The loops that use MMX instructions (only for 32-bit pixels, plain or palette sources,
// no blend graph, no tint): the blit's short cuts of mode 1 at p = 128 and modes 2 and 3 at
// p = 255, and the stretched blit's subtract at p = 255.
BLIT_LOOP SelectMmxBlitLoop(int sourceKind, int mode, bool trans);
STRETCH_LOOP SelectMmxStretchLoop(int sourceKind, bool trans);

// The SSE2 loops: plain and palette sources without blend graph, for both pixel types (a
// MEMIMG pixel type), every drawing mode (the blit's untinted opaque copy of plain pixels
// excepted: a block copy); null where the plain loops serve. They draw the same pixels as the
// plain loops; context is the call's, whose coefficients choose between two forms of the
// loops.
BLIT_LOOP SelectSse2BlitLoop(int pixelType, int sourceKind, int mode, bool tint, bool trans,
                             const BLEND_CONTEXT& context);
STRETCH_LOOP SelectSse2StretchLoop(int pixelType, int sourceKind, int mode, bool tint, bool trans,
                                   const BLEND_CONTEXT& context);
TRIANGLE_SPAN_LOOP SelectSse2TriangleSpanLoop(int pixelType, int sourceKind, int mode, bool tint, bool trans,
                                              const BLEND_CONTEXT& context);
