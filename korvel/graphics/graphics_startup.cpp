#include "graphics/graphics_startup.h"

#include <windows.h>

#include "core/log.h"
#include "core/maths.h"
#include "graphics/d3d_calls.h"
#include "graphics/device.h"
#include "graphics/draw_settings.h"
#include "graphics/lights.h"
#include "graphics/present.h"
#include "graphics/screen.h"
#include "graphics/screen_mode.h"
#include "graphics/shader_constants.h"
#include "graphics/state_cache.h"
#include "graphics/vertex_batch.h"
#include "korvel.h"
#include "system/sysinfo.h"
#include "system/window_state.h"

namespace {
// Windows Vista and later: the emulated small screen needs a GDI display-mode change of its own.
int IsVistaOrLater() { return WindowState.osCode >= OS_CODE_VISTA ? 1 : 0; }

// A Direct3D start that failed part-way: everything it made goes, and drawing falls back to
// the software renderer.
void DropDirect3D() {
  ReleaseDirect3DDevice();
  StateFlags.sceneOpen = 0;
  ReleaseDirect3D();
}

int TryHardwareRendering() {
  if (!WindowState.windowedMode && IsVistaOrLater() && IsSmallScreenEmulated() && ChangeDisplayMode() != 0) return -1;
  int result;
  do {
    if (CreateDirect3DObject() != 0) return -1;
    result = SetUpDirect3DDevice();
  } while (result == -2);
  if (result != 0) return -1;
  ScreenState.hardwareRendering = 1;
  return 0;
}
}  // namespace

void SetDefaultScreenImageType(int bits) {
  // The screen images follow the depth once the CPU renderer's images exist.
  (void)bits;
}

int StartDirect3D() {
  if (LoadDirect3D9Library() != 0) return -1;
  if (CreateDirectDrawObject() != 0) {
    FreeDirect3D9Library();
    return -1;
  }
  ScreenState.hardwareRendering = 0;
  if (!ScreenState.softwareOnly) {
    if (TryHardwareRendering() == 0) {
      MeasureRefreshPeriod();
      return 0;
    }
    DropDirect3D();
  }
  if (!WindowState.windowedMode && ChangeDisplayMode() != 0) return -1;
  MeasureRefreshPeriod();
  return 0;
}

int EndDirect3D() {
  // The display mode goes back where ChangeDisplayMode changed it. A windowed software
  // screen never changed it, and resetting the display then would disturb the desktop.
  if (!ScreenState.hardwareRendering || (IsVistaOrLater() && IsSmallScreenEmulated())) RestoreDisplayMode();
  ReleaseSubBackBuffer();
  ReleaseDirect3DDevice();
  StateFlags.sceneOpen = 0;
  ReleaseDirect3D();
  ReleaseDirectDrawObject();
  FreeDirect3D9Library();
  FreeDisplayModeList();
  ScreenState.hardwareRendering = 0;
  return 0;
}

int StartUpGraphics() {
  if (ScreenState.graphicsStarted) return 0;
  if (ScreenState.deviceWidth == 0 || ScreenState.deviceHeight == 0) StoreMainScreenSize(640, 480);
  if (ScreenState.colorBits == 0) {
    ScreenState.colorBits = 16;
    SetDefaultScreenImageType(16);
  }
  if (!WindowState.windowedMode && ScreenState.deviceWidth == 320 && ScreenState.deviceHeight == 240) {
    DeviceSettings.autoSmallScreen = 1;
    StoreMainScreenSize(640, 480);
  }
  InitShaderConstantSets(&ShaderConstants);
  SelectShaderConstantSets(&ShaderConstants, 1);
  if (StartDirect3D() != 0) {
    ShutDownGraphics();
    return -1;
  }
  ScreenState.graphicsStarted = 1;
  if (ScreenState.hardwareRendering) InitDeviceStates();
  InitDrawSettings();
  if (ScreenState.hardwareRendering) ResendDeviceStates();
  return 0;
}

int ShutDownGraphics() {
  if (ScreenState.graphicsStarted) {
    FlushVertexBatch(0);
    RemoveEveryLight();
    EndDirect3D();
    ScreenState.graphicsStarted = 0;
  }
  return 0;
}
