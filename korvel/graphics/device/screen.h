// The screen: its size, colour depth, refresh rate and period, background colour and whether
// a Direct3D device draws it.
#pragma once
#include <windows.h>

struct SCREEN_STATE {
  int graphicsStarted;
  int deviceWidth, deviceHeight;  // back-buffer and display-mode size
  int mainWidth, mainHeight;      // the size the program sees
  int colorBits;                  // 0 unset (treated as 16), else 8, 16 or 32
  int refreshRate;
  int backgroundRed, backgroundGreen, backgroundBlue;
  int hardwareRendering;  // 1 while a Direct3D device draws the screen
  int softwareOnly;       // Direct3D is never started
  // A mode change re-creates the device in the new mode, keeping every handle, instead of
  // restarting graphics. No function of the library sets it.
  int modeChangeInPlace;
  long long refreshPeriod;      // microseconds, -1 until measured
  long long lastVerticalBlank;  // microsecond clock at the last vertical-blank wait
  RECT lastSourceRect, lastDestRect;  // of the last whole-screen present
};

extern SCREEN_STATE ScreenState;

// Device size = (width, height); the main size follows, 320 x 240 while a small screen is
// emulated on 640 x 480.
void StoreMainScreenSize(int width, int height);
// 1 while a 320 x 240 screen is drawn on a 640 x 480 device.
int IsSmallScreenEmulated();
