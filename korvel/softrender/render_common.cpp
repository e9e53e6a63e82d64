// Helpers shared by the CPU kernels.
#include "softrender/render_common.h"

#include <climits>

#include "core/maths.h"
#include "image/memimg_draw_state.h"
#include "system/base/sysinfo.h"

namespace {

struct RENDER_COMMON_STATE {
  int mmxForced;  // -1: the system information's flag
  int sse2Off;
  int spansOff;
};
RENDER_COMMON_STATE renderCommon = {-1, 0, 0};

LONG ClampToLong(long long v) { return v > LONG_MAX ? LONG_MAX : v < LONG_MIN ? LONG_MIN : (LONG)v; }

}  // namespace

RECT GetDrawBounds(const MEMIMG* target) {
  RECT bounds = MemImgDrawState.clipRect;
  RECT view = {0, 0, target->width, target->height};
  ClipRectToRect(&bounds, &view);
  return bounds;
}

int ClipToDrawArea(const MEMIMG* target, long long left, long long top, long long right, long long bottom,
                   RECT* out) {
  RECT bounds = GetDrawBounds(target);
  *out = {ClampToLong(left), ClampToLong(top), ClampToLong(right), ClampToLong(bottom)};
  ClipRectToRect(out, &bounds);
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

int IsSoftRenderMmxOn() { return renderCommon.mmxForced >= 0 ? renderCommon.mmxForced : IsMmxEnabled(); }

void ForceSoftRenderMmx(int flag) { renderCommon.mmxForced = flag < 0 ? -1 : flag ? 1 : 0; }

int IsSoftRenderSse2On() { return !renderCommon.sse2Off; }

void ForceSoftRenderSse2(int flag) { renderCommon.sse2Off = flag == 0; }

int IsSoftRenderSpansOn() { return !renderCommon.spansOff; }

void ForceSoftRenderSpans(int flag) { renderCommon.spansOff = flag == 0; }
