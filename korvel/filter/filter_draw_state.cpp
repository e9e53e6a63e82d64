#include "filter/filter_draw_state.h"

#include <cstring>

#include "graphics/device/d3d_calls.h"
#include "graphics/device/device.h"
#include "graphics/device/draw_settings.h"
#include "graphics/device/lights.h"
#include "graphics/device/state_cache.h"
#include "korvel.h"

namespace {
// The blend mode that copies the source as it is: factors ONE and ZERO, operation ADD.
const int kSourceCopyBlend = 14;

int RenderTargetSlots() {
  int count = DeviceCaps.renderTargetCount;
  return count < 1 ? 1 : count > 16 ? 16 : count;
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
  SetLightingEnabled(0);
  SelectBlendMode(kSourceCopyBlend, 0);
  SetDrawFilterMode(1);
  SelectAlphaTest(D3DCMP_ALWAYS, 0);
  // No program setting turns fog on (so there is none to put back); the device's own fog
  // state is cleared should it be on.
  if (device && DeviceStateCache.fogEnable) SetDeviceFogEnable(0);
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
  SelectAlphaTest(saved->alphaTestMode, saved->alphaTestRef);
  SetDrawFilterMode(saved->filterMode);
  SelectBlendMode(saved->blendMode, saved->blendParam);
  SetDepthTest3D(saved->zEnable3D);
}
