#include "graphics/device/screen.h"

#include "korvel.h"

SCREEN_STATE ScreenState;

int GetScreenColorBits() { return ScreenState.colorBits == 0 ? 16 : ScreenState.colorBits; }

int QueryMainScreenSize(int* width, int* height) {
  if (width != nullptr) *width = ScreenState.mainWidth == 0 ? 640 : ScreenState.mainWidth;
  if (height != nullptr) *height = ScreenState.mainHeight == 0 ? 480 : ScreenState.mainHeight;
  return 0;
}
