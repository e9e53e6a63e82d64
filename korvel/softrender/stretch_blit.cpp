// MEMIMGStretchBlit: a whole MEMIMG scaled into a target rectangle, mirrored when the corners
// come in reverse order, by nearest sampling with two 16.16 accumulators (the column one
// walked once per call into a table of source columns).
#include <utility>

#include "core/memory.h"
#include "image/memimg_draw_state.h"
#include "softrender/kernel_loops.h"
#include "softrender/render_common.h"
#include "softrender/softrender.h"

namespace {

template <class C>
void StretchLoop(const STRETCH_JOB& job) {
  StretchRows<C, StepsWhileNegative<C>()>(job);
}

template <class PX>
STRETCH_LOOP SelectStretchLoop(int kind, int mode, int param, bool graph, bool tint, bool trans,
                               const BLEND_CONTEXT& context) {
  if (mode == 3 && param == 255 && !graph && !tint && kind != SOURCE_ALPHA) {
    if (PX::kBytes == 4 && IsSoftRenderMmxOn()) return SelectMmxStretchLoop(kind, trans);
    return WithBool(kind == SOURCE_PALETTE, [&](auto palette) {
      return WithBool(trans, [&](auto tr) -> STRETCH_LOOP {
        constexpr int k = palette.value ? SOURCE_PALETTE : SOURCE_PLAIN;
        return &StretchLoop<LOOP_CONFIG<PX, k, 3, false, false, tr.value, PATH_GENERAL, SHORT_SUBTRACT_SINGLE>>;
      });
    });
  }
  if (!graph && kind != SOURCE_ALPHA && IsSoftRenderSse2On()) {
    STRETCH_LOOP loop = SelectSse2StretchLoop(PX::kBytes == 4 ? MEMIMG_TYPE_32BIT : MEMIMG_TYPE_RGB565, kind, mode,
                                              tint, trans, context);
    if (loop) return loop;
  }
  return WithSourceKind(kind, [&](auto k) {
    return WithMode(mode, [&](auto m) {
      return WithBool(graph, [&](auto g) {
        return WithBool(tint, [&](auto t) {
          return WithBool(trans, [&](auto tr) -> STRETCH_LOOP {
            return &StretchLoop<LOOP_CONFIG<PX, k.value, m.value, g.value, t.value, tr.value, PATH_GENERAL>>;
          });
        });
      });
    });
  });
}

// Splits the clipped-away part (in target pixels) into source steps and the accumulator's
// starting value.
void StartAccumulator(long long clipped, int32_t step, int* steps, int32_t* start) {
  long long scaled = clipped * 65536;
  *steps = (int)(scaled / step);
  *start = step - (int32_t)(scaled % step);
}

}  // namespace

void MEMIMGStretchBlit(MEMIMG* target, const MEMIMG* source, const RECT* corners, int TransFlag,
                       const MEMIMG* blendGraph) {
  if (!IsMemImgValid(target) || !IsMemImgValid(source) || !corners) return;
  if (blendGraph && !IsMemImgValid(blendGraph)) return;
  int xdir = 1, ydir = 1;
  long long left = corners->left, right = corners->right, top = corners->top, bottom = corners->bottom;
  if (left > right) { std::swap(left, right); xdir = -1; }
  if (top > bottom) { std::swap(top, bottom); ydir = -1; }
  const long long w = right - left, h = bottom - top;
  if (w == 0 || h == 0) return;
  if (w == source->width && h == source->height && xdir == 1 && ydir == 1) {
    MEMIMGBlit(target, source, (int)left, (int)top, TransFlag, blendGraph);
    return;
  }
  const MEMIMG_STORE* ts = target->store;
  const MEMIMG_STORE* ss = source->store;
  if (ss->pixelType != ts->pixelType || ts->paletteFlag || ts->alphaFlag) return;
  if (ts->pixelType != MEMIMG_TYPE_RGB565 && ts->pixelType != MEMIMG_TYPE_32BIT) return;
  if (source->width <= 0 || source->height <= 0) return;

  // A step that does not fit 32 bits or is 0 (a rectangle thousands of times smaller than the
  // source) cannot be sampled: nothing is drawn. Nor can a source wider or taller than 65536
  // pixels: its truncated 16.16 step would walk past its last column or row.
  if (source->width > 65536 || source->height > 65536) return;
  const long long xstep = w * 65536 / source->width, ystep = h * 65536 / source->height;
  if (xstep <= 0 || ystep <= 0 || xstep > 0x7FFFFFFF / 2 || ystep > 0x7FFFFFFF / 2) return;

  RECT r;
  if (!ClipToDrawArea(target, left, top, right, bottom, &r)) return;

  const int param = GetDrawParam();
  const int mode = SelectDrawMode(MemImgDrawState.blendMode, param, ss->paletteFlag != 0);
  if (mode < 0) return;
  const int kind = ss->paletteFlag ? SOURCE_PALETTE : ss->alphaFlag ? SOURCE_ALPHA : SOURCE_PLAIN;
  const bool tint = IsTintOn() != 0, graph = blendGraph != nullptr;

  STRETCH_JOB job;
  job.xstep = (int32_t)xstep;
  job.ystep = (int32_t)ystep;
  int qx, qy;
  StartAccumulator(r.left - left, job.xstep, &qx, &job.xstart);
  StartAccumulator(r.top - top, job.ystep, &qy, &job.ystart);
  if (qx >= source->width || qy >= source->height) return;
  const int targetBytes = ts->pixelType == MEMIMG_TYPE_32BIT ? 4 : 2;
  job.target = target->pixels + r.top * ts->pitch + r.left * targetBytes;
  job.targetPitch = ts->pitch;
  job.width = r.right - r.left;
  job.height = r.bottom - r.top;
  job.source = source->pixels;
  job.sourcePitch = ss->pitch;
  job.graph = graph ? blendGraph->pixels : nullptr;
  job.graphPitch = graph ? blendGraph->store->pitch : 0;
  job.xdir = xdir;
  job.ydir = ydir;
  job.firstColumn = xdir > 0 ? qx : source->width - 1 - qx;
  job.firstRow = ydir > 0 ? qy : source->height - 1 - qy;
  job.context = MakeBlendContext(ss);

  STRETCH_LOOP loop = ts->pixelType == MEMIMG_TYPE_32BIT
                          ? SelectStretchLoop<PIXEL_32>(kind, mode, param, graph, tint, TransFlag != 0, job.context)
                          : SelectStretchLoop<PIXEL_565>(kind, mode, param, graph, tint, TransFlag != 0, job.context);
  int columns[1024];
  job.columns = job.width <= 1024 ? columns : (int*)AllocTracked(sizeof(int) * (size_t)job.width, "", 0);
  if (!job.columns) return;
  loop(job);
  if (job.columns != columns) FreeTracked(job.columns);
}
