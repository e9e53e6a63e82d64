// Output to a layered main window: the picture is put together in a 32-bit top-down DIB
// section with premultiplied alpha and shown with UpdateLayeredWindow.
#pragma once
#include <windows.h>

#include "image/raster_image.h"

// Looks up UpdateLayeredWindow in user32 for the window start (null where it is missing).
void LookUpUpdateLayeredWindow();
// The layered-window option: with a window, the window takes or drops WS_EX_LAYERED at once.
int SetLayeredWindow(int flag);
// WS_EX_LAYERED while the option is on, else 0: part of every extended style the window gets.
DWORD GetLayeredExStyle();
// Shows an image in the layered window: the image's pixels, or with a source DC the DC's
// pixels of the image's size. With perPixelAlpha the image's alpha is used (alpha 0 fully
// transparent, the rest premultiplied), else every pixel is opaque; with alphaTest pixels of
// the transparent colour are fully transparent. -> 0, -1 without a window, entry point or DIB.
int PresentImageToLayeredWindow(const RASTER_IMAGE* image, HDC source, int perPixelAlpha, int alphaTest);
// Deletes the DIB section (the window's end).
void ReleaseLayeredWindowImage();
