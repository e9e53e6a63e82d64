// Graphics' calls up to the layers above it: the on-screen log (font), the layered main window
// and the window's style (the system's top room). The library's start sets them; unset, the
// flip draws no log, a layered window shows nothing and a mode change leaves the window as it is.
#pragma once
#include <windows.h>

#include "image/raster_image.h"

struct GRAPHICS_HOOKS {
  // 1 while the on-screen log is shown; draws it over the finished frame.
  int (*isScreenLogShown)();
  int (*drawScreenLog)();
  // Shows an image in the layered main window (see PresentImageToLayeredWindow).
  int (*presentToLayeredWindow)(const RASTER_IMAGE* image, HDC source, int perPixelAlpha, int alphaTest);
  // Gives the window the style and size of the current screen mode after a mode change.
  int (*applyWindowStyle)();
};
// Null clears the table.
void SetGraphicsHooks(const GRAPHICS_HOOKS* hooks);

// The hooks as graphics calls them: 0 (not shown) or -1 (nothing done) while unset.
int IsScreenLogShownByHook();
int DrawScreenLogByHook();
int PresentToLayeredWindowByHook(const RASTER_IMAGE* image, HDC source, int perPixelAlpha, int alphaTest);
int ApplyWindowStyleByHook();
