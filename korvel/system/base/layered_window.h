// Output to a layered main window: the picture is put together in a 32-bit top-down DIB
// section with premultiplied alpha and shown with UpdateLayeredWindow.
#pragma once
#include <windows.h>

#include <cstdint>

// Looks up UpdateLayeredWindow in user32 for the window start (null where it is missing).
void LookUpUpdateLayeredWindow();
// The layered-window option: with a window, the window takes or drops WS_EX_LAYERED at once.
int SetLayeredWindow(int flag);
// WS_EX_LAYERED while the option is on, else 0: part of every extended style the window gets.
DWORD GetLayeredExStyle();
// Showing a picture takes two calls. The begin readies the DIB section for width x height
// pixels (made again when the size changed) and, with a source DC, copies the DC's pixels
// into it; it gives the DIB's pixels (ARGB, top-down, width * 4 bytes a row) for the caller
// to write, or null without a window, entry point or DIB. The end shows the DIB: with
// perPixelAlpha its alpha is used (alpha 0 fully transparent, the rest premultiplied), else
// every pixel is opaque; with alphaTest pixels of transparentColor are fully transparent.
// -> 0, -1 when nothing was shown. graphics/device/layered_present.h shows an image with them.
uint32_t* BeginLayeredWindowImage(int width, int height, HDC source);
int EndLayeredWindowImage(int perPixelAlpha, int alphaTest, uint32_t transparentColor);
// Deletes the DIB section (the window's end).
void ReleaseLayeredWindowImage();
