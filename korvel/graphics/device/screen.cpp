#include "graphics/device/screen.h"

#include "core/maths.h"
#include "graphics/device/device.h"
#include "graphics/device/draw_settings.h"
#include "korvel.h"

SCREEN_STATE ScreenState;

int GetScreenColorBits() { return ScreenState.colorBits == 0 ? 16 : ScreenState.colorBits; }

int QueryMainScreenSize(int* width, int* height) {
  if (width != nullptr) *width = ScreenState.mainWidth == 0 ? 640 : ScreenState.mainWidth;
  if (height != nullptr) *height = ScreenState.mainHeight == 0 ? 480 : ScreenState.mainHeight;
  return 0;
}

int IsSmallScreenEmulated() { return DrawSettings.smallScreenEmulation || DeviceSettings.autoSmallScreen; }

void StoreMainScreenSize(int width, int height) {
  ScreenState.deviceWidth = width;
  ScreenState.deviceHeight = height;
  if (IsSmallScreenEmulated() && width == 640) {
    ScreenState.mainWidth = height == 480 ? 320 : 640;
    ScreenState.mainHeight = height == 480 ? 240 : height == 0 ? 480 : height;
  } else {
    ScreenState.mainWidth = width == 0 ? 640 : width;
    ScreenState.mainHeight = height == 0 ? 480 : height;
  }
  SetAspectScreenSize(ScreenState.mainWidth, ScreenState.mainHeight);
}
