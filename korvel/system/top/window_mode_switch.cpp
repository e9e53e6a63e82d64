#include "system/top/window_mode_switch.h"

#include "core/log.h"
#include "graphics/device/screen.h"
#include "graphics/lifecycle/screen_mode.h"
#include "korvel.h"
#include "system/base/window_mode.h"
#include "system/base/window_state.h"

namespace {
// True when the display-mode list holds this width and height (any depth and refresh).
bool IsDisplaySizeListed(int width, int height) {
  for (int i = 0, n = CountDisplayModes(); i < n; i++) {
    DISPLAY_MODE mode = GetDisplayModeRecord(i);
    if (mode.width == width && mode.height == height) return true;
  }
  return false;
}
}  // namespace

// The window shows the main screen, or the 640 x 480 that an emulated small screen is drawn on.
void GetShownScreenSize(int* width, int* height) {
  if (IsSmallScreenEmulated()) {
    *width = 640;
    *height = 480;
    return;
  }
  QueryMainScreenSize(width, height);
}

int ChangeWindowMode(int windowed) {
  WriteLogText("ChangeWindowMode実行 \n");
  windowed = windowed != 0 ? 1 : 0;
  if (windowed == WindowState.windowedMode) return 0;
  if (windowed == 0 && WindowState.mainWindow != nullptr) {
    int width, height;
    QueryMainScreenSize(&width, &height);
    bool small = width == 320 && height == 240;
    // A size the display does not list is refused, but for 320 x 240, which a device
    // emulates on 640 x 480.
    if (!IsDisplaySizeListed(width, height) && !(small && IsHardwareRenderingWanted())) return -1;
    if (small) {
      SetSmallScreenEmulation(1);
      StoreMainScreenSize(640, 480);
    }
  }
  WindowState.shownOnce = 1;
  SetWindowedFlag(windowed);
  if (WindowState.mainWindow == nullptr) return 0;
  WindowState.modeChanging = 1;
  ApplyWindowStyleForMode();
  // Graphics start again in the new mode with the same size, depth and refresh rate.
  int result = ChangeScreenMode(-1, -1, -1, 1, -1);
  WindowState.modeChanging = 0;
  return result;
}
