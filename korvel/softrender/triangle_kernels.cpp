// The span loops of MEMIMGTriangle: one walk over the rows and spans of a set-up triangle,
// instantiated for every pixel type, source kind, drawing mode and variant with the pixel rule
// of the blits (blend_rule.h) inside.
//
// A textured span is drawn in one of two ways with the same result: pixel by pixel, each
// texel coordinate tested against the source (the per-pixel loops), or cut once to the
// pixels whose texels lie inside the source and drawn without tests, by the SSE2 span loops
// (blend_sse2.cpp) where they serve the combination, else by the plain one below.
#include <algorithm>

#include "image/memimg.h"
#include "softrender/kernel_loops.h"

namespace {

const int32_t kOne = 262144;  // one pixel or texel in 14.18

inline int32_t Step(int32_t x, int32_t by) { return (int32_t)((uint32_t)x + (uint32_t)by); }

// Moves an edge one row down; 0 when its last segment has ended, which ends the triangle.
inline int NextEdgeRow(TRIANGLE_EDGE& e) {
  e.x = Step(e.x, e.slope);
  if (--e.rows != 0) return 1;
  if (e.last) return 0;
  e.x = e.nextX, e.slope = e.nextSlope, e.rows = e.nextRows, e.last = 1;
  return 2;
}

// Walks the rows of the triangle and calls span(row, first, n) for the part of each row
// inside the clip rectangle: n pixels from column first. Both ends of a span are drawn.
template <class SPAN>
KORVEL_RULE_INLINE void WalkTriangle(const TRIANGLE_JOB& job, SPAN span) {
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
      span(row, first, n);
    }
    row++;
    const int leftState = NextEdgeRow(left);
    if (leftState == 0) return;
    if (leftState == 2) row = job.middleRow;
    if (NextEdgeRow(right) == 0) return;
  }
}

// The texel coordinates of the span's first pixel, exact.
inline void SpanStart(const TRIANGLE_JOB& job, int row, int first, int64_t* u, int64_t* v) {
  *u = job.ua + (int64_t)(first - job.xa) * job.ux + (int64_t)(row - job.ya) * job.uy;
  *v = job.va + (int64_t)(first - job.xa) * job.vx + (int64_t)(row - job.ya) * job.vy;
}

template <class PX>
inline typename PX::Word* TargetRow(const TRIANGLE_JOB& job, int row, int first) {
  return (typename PX::Word*)(job.target + (intptr_t)row * job.targetPitch) + first;
}

// The per-pixel loops: texels outside the source leave their pixel alone while the
// coordinates still advance across them.
template <class C, bool TEXTURED>
void TriangleRows(const TRIANGLE_JOB& job) {
  using Word = typename C::PX::Word;
  using SRC = typename C::SRC;
  WalkTriangle(job, [&](int row, int first, int n) {
    Word* d = TargetRow<typename C::PX>(job, row, first);
    if constexpr (TEXTURED) {
      int64_t u, v;
      SpanStart(job, row, first, &u, &v);
      for (; n > 0; n--, d++, u += job.ux, v += job.vx) {
        if ((uint64_t)u >= (uint64_t)job.uLimit || (uint64_t)v >= (uint64_t)job.vLimit) continue;
        const size_t tu = (size_t)(u >> 18), tv = (size_t)(v >> 18);
        DrawSourcePixel<C>(d, job.source + tv * job.sourcePitch + tu * SRC::kBytes,
                           C::kGraph ? job.graph + tv * job.graphPitch + tu : nullptr, job.context);
      }
    } else {
      for (; n > 0; n--, d++) *d = (Word)BlendPixel<C>(*d, job.colour, 0, false, 0, job.context);
    }
  });
}

// The first i in [0, n] at which a + i * s, s > 0, reaches t (n when no i below n does).
int FirstReaching(int64_t a, int64_t s, int64_t t, int n) {
  if (a >= t) return 0;
  if (a + (n - 1) * s < t) return n;
  int64_t i = (int64_t)((double)(t - a) / (double)s);  // within one of the answer
  i = std::min<int64_t>(std::max<int64_t>(i, 0), n);
  while (i > 0 && a + (i - 1) * s >= t) i--;
  while (i < n && a + i * s < t) i++;
  return (int)i;
}

// Narrows [*lo, *hi) to the pixels i of an n-pixel span whose coordinate a + i * s lies in
// [0, limit): an interval, since the coordinate moves one way along the span.
void KeepInside(int64_t a, int32_t s, int64_t limit, int n, int* lo, int* hi) {
  int first = 0, end = n;
  if (s > 0) {
    first = FirstReaching(a, s, 0, n);
    end = FirstReaching(a, s, limit, n);
  } else if (s < 0) {  // a + i * s < limit and >= 0, as -a + i * -s >= 1 - limit and < 1
    first = FirstReaching(-a, -(int64_t)s, 1 - limit, n);
    end = FirstReaching(-a, -(int64_t)s, 1, n);
  } else if (a < 0 || a >= limit) {
    end = 0;
  }
  *lo = std::max(*lo, first);
  *hi = std::min(*hi, end);
}

inline bool IsInside(int64_t a, int64_t limit) { return (uint64_t)a < (uint64_t)limit; }

// A span of the raw copy whose texels follow each other along a source row, one per pixel:
// a block copy.
template <class PX>
inline void CopySpan(const TRIANGLE_SPAN& span) {
  memcpy(span.target, span.source + (size_t)(span.v >> 18) * span.sourcePitch + (span.u >> 18) * PX::kBytes,
         (size_t)span.count * PX::kBytes);
}

// The plain span loop: every pixel of the span has its texel inside the source.
template <class C>
void DrawSpan(const TRIANGLE_SPAN& span, const BLEND_CONTEXT& context) {
  using PX = typename C::PX;
  using SRC = typename C::SRC;
  typename PX::Word* d = (typename PX::Word*)span.target;
  uint32_t u = span.u, v = span.v;
  for (int i = 0; i < span.count; i++, u += span.ux, v += span.vx) {
    const size_t tu = u >> 18, tv = v >> 18;
    DrawSourcePixel<C>(d + i, span.source + tv * span.sourcePitch + tu * SRC::kBytes,
                       C::kGraph ? span.graph + tv * span.graphPitch + tu : nullptr, context);
  }
}

// The span loops: each span is cut to the pixels whose texels lie inside the source, which
// are drawn by the job's SSE2 span loop or the plain one. The source is at most 16384
// texels wide and high, so the coordinates of those pixels fit 32 bits.
template <class C>
void TriangleSpans(const TRIANGLE_JOB& job) {
  WalkTriangle(job, [&](int row, int first, int n) {
    int64_t u, v;
    SpanStart(job, row, first, &u, &v);
    int lo = 0, hi = n;
    const int64_t uLast = u + (int64_t)(n - 1) * job.ux, vLast = v + (int64_t)(n - 1) * job.vx;
    if (!IsInside(u, job.uLimit) || !IsInside(uLast, job.uLimit) || !IsInside(v, job.vLimit) ||
        !IsInside(vLast, job.vLimit)) {  // both ends inside: every pixel between them too
      KeepInside(u, job.ux, job.uLimit, n, &lo, &hi);
      KeepInside(v, job.vx, job.vLimit, n, &lo, &hi);
      if (lo >= hi) return;
    }
    TRIANGLE_SPAN span;
    span.target = (uint8_t*)(TargetRow<typename C::PX>(job, row, first) + lo);
    span.source = job.source;
    span.sourcePitch = job.sourcePitch;
    span.graph = job.graph;
    span.graphPitch = job.graphPitch;
    span.u = (uint32_t)(u + (int64_t)lo * job.ux);
    span.v = (uint32_t)(v + (int64_t)lo * job.vx);
    span.ux = job.ux;
    span.vx = job.vx;
    span.count = hi - lo;
    if (IsRawCopy<C>() && span.ux == kOne && span.vx == 0) CopySpan<typename C::PX>(span);
    else if (job.spanLoop) job.spanLoop(span, job.context);
    else DrawSpan<C>(span, job.context);
  });
}

template <class PX>
TRIANGLE_LOOP SelectFor(int kind, int mode, bool graph, bool tint, bool trans, bool spans) {
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
            using C = LOOP_CONFIG<PX, k.value, m.value, g.value, t.value, tr.value, PATH_TRIANGLE>;
            return spans ? &TriangleSpans<C> : &TriangleRows<C, true>;
          });
        });
      });
    });
  });
}

}  // namespace

TRIANGLE_LOOP SelectTriangleLoop(int pixelType, int sourceKind, int mode, bool graph, bool tint, bool trans,
                                 bool spans) {
  if (pixelType == MEMIMG_TYPE_32BIT) return SelectFor<PIXEL_32>(sourceKind, mode, graph, tint, trans, spans);
  if (pixelType == MEMIMG_TYPE_RGB565) return SelectFor<PIXEL_565>(sourceKind, mode, graph, tint, trans, spans);
  return nullptr;
}
