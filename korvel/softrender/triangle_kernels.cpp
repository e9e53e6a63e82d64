// The span loops of MEMIMGTriangle: one walk over the rows and spans of a set-up triangle,
// instantiated for every pixel type, source kind, drawing mode and variant with the pixel rule
// of the blits (blend_rule.h) inside.
#include "image/memimg.h"
#include "softrender/kernel_loops.h"

namespace {

inline int32_t Step(int32_t x, int32_t by) { return (int32_t)((uint32_t)x + (uint32_t)by); }

// Moves an edge one row down; 0 when its last segment has ended, which ends the triangle.
inline int NextEdgeRow(TRIANGLE_EDGE& e) {
  e.x = Step(e.x, e.slope);
  if (--e.rows != 0) return 1;
  if (e.last) return 0;
  e.x = e.nextX, e.slope = e.nextSlope, e.rows = e.nextRows, e.last = 1;
  return 2;
}

// Both ends of a span are drawn; texels outside the source leave their pixel alone while the
// coordinates still advance across them.
template <class C, bool TEXTURED>
void TriangleRows(const TRIANGLE_JOB& job) {
  using Word = typename C::PX::Word;
  using SRC = typename C::SRC;
  TRIANGLE_EDGE left = job.left, right = job.right;
  const RECT clip = job.clip;
  int row = job.row;
  for (;;) {
    int first = FloorPixels(left.x);
    int n = FloorPixels(right.x) - first;
    if (first < clip.left) {
      n -= clip.left - first;
      first = clip.left;
    }
    n += 1;
    if (row >= clip.top && row < clip.bottom && first < clip.right && n > 0) {
      if (n > clip.right - first) n = clip.right - first;
      Word* d = (Word*)(job.target + (intptr_t)row * job.targetPitch) + first;
      if constexpr (TEXTURED) {
        int64_t u = job.ua + (int64_t)(first - job.xa) * job.ux + (int64_t)(row - job.ya) * job.uy;
        int64_t v = job.va + (int64_t)(first - job.xa) * job.vx + (int64_t)(row - job.ya) * job.vy;
        for (; n > 0; n--, d++, u += job.ux, v += job.vx) {
          if ((uint64_t)u >= (uint64_t)job.uLimit || (uint64_t)v >= (uint64_t)job.vLimit) continue;
          const size_t tu = (size_t)(u >> 18), tv = (size_t)(v >> 18);
          DrawSourcePixel<C>(d, job.source + (size_t)tv * job.sourcePitch + tu * SRC::kBytes,
                             C::kGraph ? job.graph + (size_t)tv * job.graphPitch + tu : nullptr, job.context);
        }
      } else {
        for (; n > 0; n--, d++) *d = (Word)BlendPixel<C>(*d, job.colour, 0, false, 0, job.context);
      }
    }
    row++;
    const int leftState = NextEdgeRow(left);
    if (leftState == 0) return;
    if (leftState == 2) row = job.middleRow;
    if (NextEdgeRow(right) == 0) return;
  }
}

template <class PX>
TRIANGLE_LOOP SelectFor(int kind, int mode, bool graph, bool tint, bool trans) {
  if (kind < 0) {
    return WithMode(mode, [](auto m) -> TRIANGLE_LOOP {
      return &TriangleRows<LOOP_CONFIG<PX, SOURCE_PLAIN, m.value, false, false, false, PATH_TRIANGLE>, false>;
    });
  }
  return WithSourceKind(kind, [&](auto k) {
    return WithMode(mode, [&](auto m) {
      return WithBool(graph, [&](auto g) {
        return WithBool(tint, [&](auto t) {
          return WithBool(trans, [&](auto tr) -> TRIANGLE_LOOP {
            return &TriangleRows<LOOP_CONFIG<PX, k.value, m.value, g.value, t.value, tr.value, PATH_TRIANGLE>, true>;
          });
        });
      });
    });
  });
}

}  // namespace

TRIANGLE_LOOP SelectTriangleLoop(int pixelType, int sourceKind, int mode, bool graph, bool tint, bool trans) {
  if (pixelType == MEMIMG_TYPE_32BIT) return SelectFor<PIXEL_32>(sourceKind, mode, graph, tint, trans);
  if (pixelType == MEMIMG_TYPE_RGB565) return SelectFor<PIXEL_565>(sourceKind, mode, graph, tint, trans);
  return nullptr;
}
