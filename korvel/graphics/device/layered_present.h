// An image shown in a layered main window (system/base/layered_window.h holds the window's
// DIB section and UpdateLayeredWindow).
#pragma once
#include <windows.h>

#include "image/raster_image.h"

// Shows an image in the layered window: the image's pixels, or with a source DC the DC's
// pixels of the image's size. With perPixelAlpha the image's alpha is used (alpha 0 fully
// transparent, the rest premultiplied), else every pixel is opaque; with alphaTest pixels of
// the transparent colour are fully transparent. -> 0, -1 without a window, entry point or DIB.
int PresentImageToLayeredWindow(const RASTER_IMAGE* image, HDC source, int perPixelAlpha, int alphaTest);
