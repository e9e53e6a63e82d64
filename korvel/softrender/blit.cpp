// MEMIMGBlit: a whole MEMIMG drawn unscaled at a target position, by the run path over the
// transparent-run table or by the per-pixel path.
#include "image/memimg_draw_state.h"
#include "softrender/kernel_loops.h"
#include "softrender/render_common.h"
#include "softrender/softrender.h"

namespace {

template <class PX>
BLIT_LOOP SelectRunLoop(int kind, int mode, bool graph, bool tint) {
  return WithSourceKind(kind, [&](auto k) {
    return WithMode(mode, [&](auto m) {
      return WithBool(graph, [&](auto g) {
        return WithBool(tint, [&](auto t) -> BLIT_LOOP {
          return &RunRows<LOOP_CONFIG<PX, k.value, m.value, g.value, t.value, true, PATH_GENERAL>>;
        });
      });
    });
  });
}

template <class PX>
BLIT_LOOP SelectPixelLoop(int kind, int mode, bool graph, bool tint, bool trans) {
  return WithSourceKind(kind, [&](auto k) {
    return WithMode(mode, [&](auto m) {
      return WithBool(graph, [&](auto g) {
        return WithBool(tint, [&](auto t) {
          return WithBool(trans, [&](auto tr) -> BLIT_LOOP {
            return &BlitRows<LOOP_CONFIG<PX, k.value, m.value, g.value, t.value, tr.value, PATH_BLIT>>;
          });
        });
      });
    });
  });
}

// The short cuts of the per-pixel path (no blend graph, no tint, no alpha source).
template <class PX, class SHORT>
BLIT_LOOP SelectShortLoop(int kind, bool trans) {
  return WithBool(kind == SOURCE_PALETTE, [&](auto palette) {
    return WithBool(trans, [&](auto tr) -> BLIT_LOOP {
      constexpr int k = palette.value ? SOURCE_PALETTE : SOURCE_PLAIN;
      return &BlitRows<LOOP_CONFIG<PX, k, 0, false, false, tr.value, PATH_BLIT, SHORT>>;
    });
  });
}

template <class PX>
BLIT_LOOP SelectBlitLoop(int kind, int mode, int param, bool graph, bool tint, bool trans,
                         const BLEND_CONTEXT& context) {
  if (!graph && !tint && kind != SOURCE_ALPHA) {
    bool halve = mode == 1 && param == 128, add = mode == 2 && param == 255, sub = mode == 3 && param == 255;
    if ((halve || add || sub) && PX::kBytes == 4 && IsSoftRenderMmxOn()) return SelectMmxBlitLoop(kind, mode, trans);
    if (halve) return SelectShortLoop<PX, SHORT_HALVE>(kind, trans);
    if (add) return SelectShortLoop<PX, SHORT_ADD>(kind, trans);
    if (sub) return SelectShortLoop<PX, SHORT_SUBTRACT>(kind, trans);
  }
  if (!graph && kind != SOURCE_ALPHA && IsSoftRenderSse2On()) {
    BLIT_LOOP loop = SelectSse2BlitLoop(PX::kBytes == 4 ? MEMIMG_TYPE_32BIT : MEMIMG_TYPE_RGB565, kind, mode, tint,
                                        trans, context);
    if (loop) return loop;
  }
  return SelectPixelLoop<PX>(kind, mode, graph, tint, trans);
}

}  // namespace

void MEMIMGBlit(MEMIMG* target, const MEMIMG* source, int x, int y, int TransFlag, const MEMIMG* blendGraph) {
  if (!IsMemImgValid(target) || !IsMemImgValid(source)) return;
  const MEMIMG_STORE* ts = target->store;
  const MEMIMG_STORE* ss = source->store;
  if (ss->pixelType != ts->pixelType || ts->paletteFlag || ts->alphaFlag) return;
  if (ts->pixelType != MEMIMG_TYPE_RGB565 && ts->pixelType != MEMIMG_TYPE_32BIT) return;
  if (blendGraph && !IsMemImgValid(blendGraph)) return;

  RECT r;
  if (!ClipToDrawArea(target, x, y, (long long)x + source->width, (long long)y + source->height, &r)) return;
  const int w = r.right - r.left, h = r.bottom - r.top;
  const int sx = r.left - x, sy = r.top - y;

  const int param = GetDrawParam();
  const int mode = SelectDrawMode(MemImgDrawState.blendMode, param, ss->paletteFlag != 0);
  if (mode < 0) return;
  const int kind = ss->paletteFlag ? SOURCE_PALETTE : ss->alphaFlag ? SOURCE_ALPHA : SOURCE_PLAIN;
  const bool tint = IsTintOn() != 0, graph = blendGraph != nullptr;

  const int targetBytes = ts->pixelType == MEMIMG_TYPE_32BIT ? 4 : 2;
  const int sourceBytes = GetMemImgPixelBytes(ss);
  BLIT_JOB job;
  job.target = target->pixels + r.top * ts->pitch + r.left * targetBytes;
  job.targetPitch = ts->pitch;
  job.source = source->pixels + sy * ss->pitch + sx * sourceBytes;
  job.sourcePitch = ss->pitch;
  job.graph = graph ? blendGraph->pixels + sy * blendGraph->store->pitch + sx : nullptr;
  job.graphPitch = graph ? blendGraph->store->pitch : 0;
  job.width = w;
  job.height = h;
  job.runs = ss->runTable;
  job.context = MakeBlendContext(ss);

  // The run table describes the whole store, so it serves only an unclipped view of all of it.
  const bool runPath = TransFlag == 1 && ss->runTableValid && ss->runTable && w == source->width &&
                       h == source->height && source->width == ss->width && source->height == ss->height &&
                       source->pixels == ss->pixels;
  BLIT_LOOP loop;
  if (ts->pixelType == MEMIMG_TYPE_32BIT) {
    loop = runPath ? SelectRunLoop<PIXEL_32>(kind, mode, graph, tint)
                   : SelectBlitLoop<PIXEL_32>(kind, mode, param, graph, tint, TransFlag != 0, job.context);
  } else {
    loop = runPath ? SelectRunLoop<PIXEL_565>(kind, mode, graph, tint)
                   : SelectBlitLoop<PIXEL_565>(kind, mode, param, graph, tint, TransFlag != 0, job.context);
  }
  loop(job);
}
