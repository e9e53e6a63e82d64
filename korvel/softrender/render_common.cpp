// Helpers shared by the CPU kernels.
#include "softrender/render_common.h"

#include <cpuid.h>

#include "image/memimg_draw_state.h"

namespace {

struct RENDER_COMMON_STATE {
  int mmxDetected;  // -1 until asked
  int mmxForced;    // -1: as detected
};
RENDER_COMMON_STATE renderCommon = {-1, -1};

int DetectMmx() {
  unsigned a, b, c, d;
  if (!__get_cpuid(1, &a, &b, &c, &d)) return 0;
  return (d >> 23) & 1;
}

long long ClampLong(long long v, long long lo, long long hi) { return v > hi ? hi : v < lo ? lo : v; }

}  // namespace

int ClipToDrawArea(const MEMIMG* target, long long left, long long top, long long right, long long bottom,
                   RECT* out) {
  const RECT& clip = MemImgDrawState.clipRect;
  long long cl = clip.left > 0 ? clip.left : 0, ct = clip.top > 0 ? clip.top : 0;
  long long cr = clip.right < target->width ? clip.right : target->width;
  long long cb = clip.bottom < target->height ? clip.bottom : target->height;
  if (cr < cl) cr = cl;
  if (cb < ct) cb = ct;
  if (right < left) right = left;
  if (bottom < top) bottom = top;
  out->bottom = (LONG)ClampLong(bottom, ct, cb);
  out->top = (LONG)ClampLong(top, ct, cb);
  out->right = (LONG)ClampLong(right, cl, cr);
  out->left = (LONG)ClampLong(left, cl, cr);
  return out->right > out->left && out->bottom > out->top;
}

int SelectDrawMode(int mode, int param, bool subtractAtZero) {
  switch (mode) {
    case 0: return 0;
    case 1: return param == 255 ? 0 : param == 0 ? -1 : 1;
    case 2: return param == 0 ? -1 : 2;
    case 3: return param == 0 && !subtractAtZero ? -1 : 3;
    case 4: case 10: case 11: return mode;
  }
  return -1;
}

int GetDrawParam() {
  int p = MemImgDrawState.blendParam;
  return p < 0 ? 0 : p > 255 ? 255 : p;
}

int IsTintOn() { return (MemImgDrawState.tint & 0xFFFFFF) != 0xFFFFFF; }

BLEND_CONTEXT MakeBlendContext(const MEMIMG_STORE* source) {
  BLEND_CONTEXT c;
  c.param = GetDrawParam();
  c.tint[0] = (int)(MemImgDrawState.tint & 0xFF);
  c.tint[1] = (int)(MemImgDrawState.tint >> 8 & 0xFF);
  c.tint[2] = (int)(MemImgDrawState.tint >> 16 & 0xFF);
  c.weights = MemImgDrawState.BLEND_GRAPH_WEIGHT_TABLE;
  c.transparent = source ? source->transparentColor : 0;
  c.palette = source ? source->paletteBlock : nullptr;
  return c;
}

int IsSoftRenderMmxOn() {
  if (renderCommon.mmxForced >= 0) return renderCommon.mmxForced;
  if (renderCommon.mmxDetected < 0) renderCommon.mmxDetected = DetectMmx();
  return renderCommon.mmxDetected;
}

void ForceSoftRenderMmx(int flag) { renderCommon.mmxForced = flag < 0 ? -1 : flag ? 1 : 0; }
