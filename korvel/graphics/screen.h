// The screen: its size, colour depth, background colour and whether a Direct3D device draws
// it. Only the fields the device, the draw settings and the packed colour need so far; the
// screen-mode start-up and changes complete it.
#pragma once

struct SCREEN_STATE {
  int graphicsStarted;
  int deviceWidth, deviceHeight;  // back-buffer and display-mode size
  int mainWidth, mainHeight;      // the size the program sees
  int colorBits;                  // 0 unset (treated as 16), else 8, 16 or 32
  int refreshRate;
  int backgroundRed, backgroundGreen, backgroundBlue;
  int hardwareRendering;  // 1 while a Direct3D device draws the screen
};

extern SCREEN_STATE ScreenState;
