#include "filter/filter_draw_state.h"

#include <cstring>

#include "graphics/device/d3d_calls.h"
#include "graphics/device/device.h"
#include "graphics/device/draw_settings.h"
#include "graphics/device/lights.h"
#include "graphics/device/screen.h"
#include "graphics/device/state_cache.h"
#include "graphics/device/vertex_batch.h"
#include "korvel.h"

namespace {
// The blend mode that copies the source as it is: factors ONE and ZERO, operation ADD.
const int kSourceCopyBlend = 14;

int RenderTargetSlots() {
  int count = DeviceCaps.renderTargetCount;
  return count < 1 ? 1 : count > 16 ? 16 : count;
}

// The program's fog setting and, on a device, the device's fog state, both brought to `on`
// (the device's at once, since the filter's quads are drawn without the draw preparation that
// would otherwise send it).
void SetFog(int on) {
  int hardware = ScreenState.hardwareRendering;
  if (DrawSettings.fogEnabled != on || (hardware && DeviceStateCache.fogEnable != on)) {
    FlushVertexBatch(0);
    DrawSettings.fogEnabled = on;
    MarkDrawStatesChanged();
  }
  if (hardware && HasDirect3DDevice() && (DeviceStateCache.fogEnable != on || StateFlags.forceSend)) {
    FlushVertexBatch(0);
    MarkDrawStatesChanged();
    SetDeviceFogEnable(on);
  }
}
}  // namespace

void SaveFilterDrawState(FILTER_SAVED_DRAW_STATE* saved) {
  memset(saved, 0, sizeof(*saved));
  int device = HasDirect3DDevice();
  if (device) {
    for (int slot = 0; slot < RenderTargetSlots(); slot++) {
      saved->renderTargets[slot] = DeviceStateCache.renderTargets[slot];
      // Slot 0 stays until the first pass binds its own target.
      if (slot > 0 && saved->renderTargets[slot] != nullptr) SetDeviceRenderTarget(nullptr, slot);
    }
  }
  saved->zEnable3D = DrawSettings.z3D.enable;
  saved->blendMode = DrawSettings.blendMode;
  saved->blendParam = DrawSettings.blendParam;
  saved->filterMode = DrawSettings.filterMode;
  saved->alphaTestMode = DrawSettings.alphaTestMode;
  saved->alphaTestRef = DrawSettings.alphaTestRef;
  saved->lighting = !DrawSettings.lights.lightingOff;
  saved->fog = DrawSettings.fogEnabled;
  SetLightingEnabled(0);
  SelectBlendMode(kSourceCopyBlend, 0);
  SetDrawFilterMode(1);
  SelectAlphaTest(D3DCMP_ALWAYS, 0);
  // Fog would colour the filter's pre-transformed quads (their fog factor is 0).
  SetFog(0);
  SetDepthTest3D(0);
  if (device) {
    DeviceCalls.DeviceGetDepthStencil(&saved->depthStencil);
    DeviceCalls.DeviceSetDepthStencil(nullptr);
  }
}

void RestoreFilterDrawState(FILTER_SAVED_DRAW_STATE* saved) {
  if (HasDirect3DDevice()) {
    DeviceCalls.DeviceSetDepthStencil(saved->depthStencil);
    for (int slot = 0; slot < RenderTargetSlots(); slot++)
      if (saved->renderTargets[slot] != nullptr) SetDeviceRenderTarget(saved->renderTargets[slot], slot);
    const RECT& area = DrawSettings.drawArea;
    ForceDeviceViewport(area.left, area.top, area.right - area.left, area.bottom - area.top, 0.0f, 1.0f);
  }
  if (saved->depthStencil != nullptr) ReleaseComObject(saved->depthStencil);
  saved->depthStencil = nullptr;
  SetLightingEnabled(saved->lighting);
  SetFog(saved->fog);
  SelectAlphaTest(saved->alphaTestMode, saved->alphaTestRef);
  SetDrawFilterMode(saved->filterMode);
  SelectBlendMode(saved->blendMode, saved->blendParam);
  SetDepthTest3D(saved->zEnable3D);
}
