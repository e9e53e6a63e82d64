// MEMIMGTriangle: one flat or affine-textured triangle into a MEMIMG. The set-up works in
// 14.18 fixed point (one pixel = 262144): it refuses what cannot be drawn, orders the
// vertices, computes the texture gradients and the two edges, and hands the triangle to the
// span loop chosen once for its pixel type, source kind, mode and variant.
//
// Positions are 32-bit words that wrap as unsigned values: vertices within +-8191 pixels are
// exact, farther ones give a wrong but bounded picture, still drawn only inside the clip
// rectangle. Texel coordinates are followed in 64 bits (kernel_jobs.h), so every texel of a
// source of any size is reached and nothing outside the source is ever drawn from it.
// Positions convert to whole pixels rounding down, columns and rows alike.
#include <climits>
#include <utility>

#include "core/strings.h"
#include "image/memimg_draw_state.h"
#include "softrender/blend_rule.h"
#include "softrender/kernel_jobs.h"
#include "softrender/render_common.h"
#include "softrender/softrender.h"

namespace {

const uint32_t kOne = 262144;  // one pixel in 14.18
const uint32_t kHalf = 131072;

int32_t Wrap(uint32_t v) { return (int32_t)v; }
int32_t Sub(int32_t a, int32_t b) { return Wrap((uint32_t)a - (uint32_t)b); }
// a1 x b2 - a2 x b1
int32_t Cross(int32_t a1, int32_t b2, int32_t a2, int32_t b1) {
  return Wrap((uint32_t)a1 * (uint32_t)b2 - (uint32_t)a2 * (uint32_t)b1);
}

// 262144 x n / d truncated toward zero; quotients beyond the int range saturate.
int32_t Gradient(int32_t n, int32_t d) {
  const double q = 262144.0 * (double)n / (double)d;
  if (q >= 2147483648.0) return INT_MAX;
  if (q <= -2147483649.0) return INT_MIN;
  return TruncDoubleToInt(q);
}

// The colour of a flat triangle tinted through the product table, in the target's layout; an
// RGB565 colour keeps its low 16 bits.
uint32_t TintFlatColour(uint32_t colour, int pixelType) {
  const uint32_t t = MemImgDrawState.tint;
  const int tb = t & 0xFF, tg = t >> 8 & 0xFF, tr = t >> 16 & 0xFF;
  if (pixelType == MEMIMG_TYPE_RGB565) {
    colour &= 0xFFFF;
    return (uint32_t)Product(tr, colour >> 11) << 11 | (uint32_t)Product(tg, colour >> 5 & 63) << 5 |
           (uint32_t)Product(tb, colour & 31);
  }
  return (colour & 0xFF000000) | (uint32_t)Product(tr, colour >> 16 & 0xFF) << 16 |
         (uint32_t)Product(tg, colour >> 8 & 0xFF) << 8 | (uint32_t)Product(tb, colour & 0xFF);
}

struct TRIANGLE_CORNERS {
  int32_t X[3], Y[3];  // pixel centres in 14.18
};

int Rows(const TRIANGLE_CORNERS& c, int a, int b) { return (int)(((uint32_t)c.Y[b] - (uint32_t)c.Y[a]) / kOne); }

int32_t Slope(const TRIANGLE_CORNERS& c, int a, int b, int32_t start) { return Sub(c.X[b], start) / Rows(c, a, b); }

TRIANGLE_EDGE OneSegment(const TRIANGLE_CORNERS& c, int from, int to, int32_t start) {
  return TRIANGLE_EDGE{start, Slope(c, from, to, start), Rows(c, from, to), 1, 0, 0, 0};
}

TRIANGLE_EDGE TwoSegments(const TRIANGLE_CORNERS& c, int top, int middle, int bottom, int32_t secondStart) {
  TRIANGLE_EDGE e = OneSegment(c, top, middle, c.X[top]);
  e.last = 0;
  e.nextX = secondStart;
  e.nextSlope = Slope(c, middle, bottom, secondStart);
  e.nextRows = Rows(c, middle, bottom);
  return e;
}

// The left and right edges from the top (T), middle (M) and bottom (B) vertices.
void SetUpEdges(const TRIANGLE_CORNERS& c, int T, int M, int B, TRIANGLE_EDGE* left, TRIANGLE_EDGE* right) {
  if (c.Y[T] == c.Y[M]) {  // flat top
    const int topLeft = c.X[M] < c.X[T] ? M : T, topRight = topLeft == T ? M : T;
    *left = OneSegment(c, topLeft, B, c.X[topLeft]);
    *right = OneSegment(c, topRight, B, c.X[topRight]);
  } else if (c.Y[M] == c.Y[B]) {  // flat bottom
    const int bottomLeft = c.X[B] < c.X[M] ? B : M, bottomRight = bottomLeft == M ? B : M;
    *left = OneSegment(c, T, bottomLeft, c.X[T]);
    *right = OneSegment(c, T, bottomRight, c.X[T]);
  } else {
    const double s1 = (double)Sub(c.X[M], c.X[T]) / Rows(c, T, M);
    const double s2 = (double)Sub(c.X[B], c.X[T]) / Rows(c, T, B);
    if (s1 < s2) {  // the middle vertex lies left of the long edge
      *left = TwoSegments(c, T, M, B, c.X[M]);
      *right = OneSegment(c, T, B, c.X[T]);
    } else {
      *left = OneSegment(c, T, B, c.X[T]);
      *right = TwoSegments(c, T, M, B, Wrap((uint32_t)c.X[M] + 1));
    }
  }
}

}  // namespace

void MEMIMGTriangle(MEMIMG* target, const MEMIMG* source, const MEMIMG_VERTEX vertices[3], int TransFlag,
                    const MEMIMG* blendGraph, uint32_t color) {
  if (!vertices || !IsMemImgValid(target)) return;
  const MEMIMG_STORE* ts = target->store;
  if (ts->paletteFlag || ts->alphaFlag) return;
  const MEMIMG_STORE* ss = nullptr;
  if (source) {
    if (!IsMemImgValid(source)) return;
    ss = source->store;
    if (ss->pixelType != ts->pixelType) return;
    // The blend graph is read at the source's texel coordinates: it must cover the source.
    if (blendGraph && (!IsMemImgValid(blendGraph) || blendGraph->width < source->width ||
                       blendGraph->height < source->height))
      return;
  } else {
    blendGraph = nullptr;
  }

  TRIANGLE_CORNERS c;
  int32_t x[3], y[3], u[3], v[3];
  for (int i = 0; i < 3; i++) {
    x[i] = vertices[i].x, y[i] = vertices[i].y, u[i] = vertices[i].u, v[i] = vertices[i].v;
    c.X[i] = Wrap((uint32_t)x[i] * kOne + kHalf);
    c.Y[i] = Wrap((uint32_t)y[i] * kOne + kHalf);
  }

  // One pass of an exchange sort by x and by y; equal keys keep their order.
  int xo[3] = {0, 1, 2}, yo[3] = {0, 1, 2};
  for (int i = 0; i < 3; i++)
    for (int j = i + 1; j < 3; j++) {
      if (c.X[xo[i]] > c.X[xo[j]]) std::swap(xo[i], xo[j]);
      if (c.Y[yo[i]] > c.Y[yo[j]]) std::swap(yo[i], yo[j]);
    }

  // Twice the signed area over whole pixels, in x order; both windings draw.
  const int P0 = xo[0], P1 = xo[1], P2 = xo[2];
  const int32_t x01 = Sub(x[P1], x[P0]), x02 = Sub(x[P2], x[P0]), y01 = Sub(y[P1], y[P0]), y02 = Sub(y[P2], y[P0]);
  const int32_t D = Cross(y01, x02, y02, x01);
  if (D == 0) return;
  const int32_t tu01 = Sub(u[P1], u[P0]), tu02 = Sub(u[P2], u[P0]);
  const int32_t tv01 = Sub(v[P1], v[P0]), tv02 = Sub(v[P2], v[P0]);

  TRIANGLE_JOB job;
  job.ux = Gradient(Cross(y01, tu02, y02, tu01), D);
  job.uy = Gradient(Cross(tu01, x02, x01, tu02), D);
  job.vx = Gradient(Cross(y01, tv02, y02, tv01), D);
  job.vy = Gradient(Cross(tv01, x02, x01, tv02), D);
  // The anchor is the leftmost vertex (the first of equals), in the pixel that holds its centre.
  job.xa = FloorPixels(c.X[P0]);
  job.ya = FloorPixels(c.Y[P0]);
  job.ua = (int64_t)u[P0] * kOne;
  job.va = (int64_t)v[P0] * kOne;

  const int T = yo[0], M = yo[1], B = yo[2];
  if (c.Y[T] == c.Y[B]) return;  // only reachable when the rows wrapped past 2^32
  SetUpEdges(c, T, M, B, &job.left, &job.right);
  job.row = FloorPixels(c.Y[T]);
  job.middleRow = FloorPixels(c.Y[M]);

  // The kernel: flat or by source kind, then mode (with the parameter short cuts) and variant.
  const int param = GetDrawParam();
  const bool palette = ss && ss->paletteFlag;
  const int mode = SelectDrawMode(MemImgDrawState.blendMode, param, palette);
  if (mode < 0) return;
  const int kind = !ss ? -1 : palette ? SOURCE_PALETTE : ss->alphaFlag ? SOURCE_ALPHA : SOURCE_PLAIN;
  const bool graph = blendGraph != nullptr, tint = IsTintOn() != 0, trans = TransFlag != 0;
  // The span loops follow texel coordinates in 32 bits, which hold 16384 texels.
  const bool spans = ss && IsSoftRenderSpansOn() && source->width <= 16384 && source->height <= 16384;
  TRIANGLE_LOOP loop = SelectTriangleLoop(ts->pixelType, kind, mode, graph, tint, trans, spans);
  if (!loop) return;

  job.target = target->pixels;
  job.targetPitch = ts->pitch;
  job.clip = GetDrawBounds(target);
  job.context = MakeBlendContext(ss);
  job.colour = ss ? 0 : TintFlatColour(color, ts->pixelType);
  job.source = ss ? source->pixels : nullptr;
  job.sourcePitch = ss ? ss->pitch : 0;
  job.graph = blendGraph ? blendGraph->pixels : nullptr;
  job.graphPitch = blendGraph ? blendGraph->store->pitch : 0;
  job.uLimit = ss ? (int64_t)source->width * kOne : 0;
  job.vLimit = ss ? (int64_t)source->height * kOne : 0;
  job.spanLoop = spans && !graph && IsSoftRenderSse2On()
                     ? SelectSse2TriangleSpanLoop(ts->pixelType, kind, mode, tint, trans, job.context)
                     : nullptr;
  loop(job);
}
