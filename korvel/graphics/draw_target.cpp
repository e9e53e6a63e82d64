#include "graphics/draw_target.h"

#include "graphics/camera.h"
#include "graphics/d3d_calls.h"
#include "graphics/device.h"
#include "graphics/draw_settings.h"
#include "graphics/screen.h"
#include "graphics/state_cache.h"
#include "graphics/vertex_batch.h"
#include "korvel.h"

namespace {
int IsScreen(int handle) { return handle == -2 || handle == -4; }
}  // namespace

int SelectDrawTarget(int target) {
  if (!IsScreen(target)) return -1;
  FlushVertexBatch(0);
  DrawSettings.drawTarget = target;
  GetGraphOrScreenSize(target, &DrawSettings.targetWidth, &DrawSettings.targetHeight);
  if (ScreenState.hardwareRendering && HasDirect3DDevice() && GetScreenSurface() != nullptr)
    SetDeviceRenderTarget(GetScreenSurface(), 0);
  SetDrawClipArea(0, 0, DrawSettings.targetWidth, DrawSettings.targetHeight);
  return ResetCameraForTarget(DrawSettings.targetWidth, DrawSettings.targetHeight);
}

int SetDrawClipArea(int x1, int y1, int x2, int y2) {
  if (x1 < 0) x1 = 0;
  if (y1 < 0) y1 = 0;
  if (x2 > DrawSettings.targetWidth) x2 = DrawSettings.targetWidth;
  if (y2 > DrawSettings.targetHeight) y2 = DrawSettings.targetHeight;
  DrawSettings.drawArea = {x1, y1, x2, y2};
  DrawSettings.drawAreaF[0] = (float)x1;
  DrawSettings.drawAreaF[1] = (float)y1;
  DrawSettings.drawAreaF[2] = (float)x2;
  DrawSettings.drawAreaF[3] = (float)y2;
  DrawSettings.emptyDrawArea = x1 >= x2 || y1 >= y2;
  return 0;
}
