#include "system/base/layered_window.h"

#include "system/base/window_state.h"

namespace {
// The DIB section of the given size, made again when the size changed. False without one.
bool PrepareLayeredImage(int width, int height) {
  if (WindowState.layeredBitmap != nullptr && WindowState.layeredWidth == width && WindowState.layeredHeight == height)
    return true;
  ReleaseLayeredWindowImage();
  BITMAPINFO info = {};
  info.bmiHeader.biSize = sizeof(info.bmiHeader);
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  HDC screen = GetDC(nullptr);
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  HDC dc = bitmap != nullptr ? CreateCompatibleDC(screen) : nullptr;
  ReleaseDC(nullptr, screen);
  if (dc == nullptr) {
    if (bitmap != nullptr) DeleteObject(bitmap);
    return false;
  }
  WindowState.layeredOldBitmap = SelectObject(dc, bitmap);
  WindowState.layeredBitmap = bitmap;
  WindowState.layeredDc = dc;
  WindowState.layeredBits = (uint32_t*)bits;
  WindowState.layeredWidth = width;
  WindowState.layeredHeight = height;
  return true;
}

// Transparent pixels become 0; the others get their alpha (255 without per-pixel alpha) and
// colour channels multiplied by it, as UpdateLayeredWindow expects.
void PremultiplyLayeredImage(int perPixelAlpha, int alphaTest, uint32_t transparentColor) {
  uint32_t key = transparentColor & 0xFFFFFF;
  uint32_t* p = WindowState.layeredBits;
  for (size_t i = 0, n = (size_t)WindowState.layeredWidth * WindowState.layeredHeight; i < n; i++) {
    uint32_t pixel = p[i];
    uint32_t alpha = perPixelAlpha ? pixel >> 24 : 255;
    if (alpha == 0 || (alphaTest && (pixel & 0xFFFFFF) == key)) {
      p[i] = 0;
      continue;
    }
    uint32_t red = (pixel >> 16 & 0xFF) * alpha / 255, green = (pixel >> 8 & 0xFF) * alpha / 255,
             blue = (pixel & 0xFF) * alpha / 255;
    p[i] = alpha << 24 | red << 16 | green << 8 | blue;
  }
}
}  // namespace

void LookUpUpdateLayeredWindow() {
  HMODULE user32 = LoadLibraryA("user32");
  WindowState.updateLayeredWindow =
      user32 != nullptr ? (UPDATE_LAYERED_WINDOW)(void*)GetProcAddress(user32, "UpdateLayeredWindow") : nullptr;
  // user32 stays loaded: the program links it.
  if (user32 != nullptr) FreeLibrary(user32);
}

int SetLayeredWindow(int flag) {
  WindowState.layeredWindow = flag != 0 ? 1 : 0;
  HWND window = WindowState.mainWindow;
  if (window == nullptr) return 0;
  LONG_PTR style = GetWindowLongPtrA(window, GWL_EXSTYLE);
  SetWindowLongPtrA(window, GWL_EXSTYLE,
                    WindowState.layeredWindow ? style | WS_EX_LAYERED : style & ~(LONG_PTR)WS_EX_LAYERED);
  return 0;
}

DWORD GetLayeredExStyle() { return WindowState.layeredWindow ? WS_EX_LAYERED : 0; }

uint32_t* BeginLayeredWindowImage(int width, int height, HDC source) {
  if (WindowState.mainWindow == nullptr || WindowState.updateLayeredWindow == nullptr || width <= 0 || height <= 0)
    return nullptr;
  if (!PrepareLayeredImage(width, height)) return nullptr;
  if (source != nullptr) {
    BitBlt(WindowState.layeredDc, 0, 0, width, height, source, 0, 0, SRCCOPY);
    GdiFlush();
  }
  return WindowState.layeredBits;
}

int EndLayeredWindowImage(int perPixelAlpha, int alphaTest, uint32_t transparentColor) {
  if (WindowState.layeredBits == nullptr) return -1;
  PremultiplyLayeredImage(perPixelAlpha, alphaTest, transparentColor);
  SIZE size = {WindowState.layeredWidth, WindowState.layeredHeight};
  POINT origin = {0, 0};
  BLENDFUNCTION blend = {AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
  HDC screen = GetDC(nullptr);
  BOOL shown = WindowState.updateLayeredWindow(WindowState.mainWindow, screen, nullptr, &size, WindowState.layeredDc,
                                               &origin, 0, &blend, ULW_ALPHA);
  ReleaseDC(nullptr, screen);
  return shown ? 0 : -1;
}

void ReleaseLayeredWindowImage() {
  if (WindowState.layeredDc != nullptr) {
    SelectObject(WindowState.layeredDc, WindowState.layeredOldBitmap);
    DeleteDC(WindowState.layeredDc);
  }
  if (WindowState.layeredBitmap != nullptr) DeleteObject(WindowState.layeredBitmap);
  WindowState.layeredDc = nullptr;
  WindowState.layeredBitmap = nullptr;
  WindowState.layeredOldBitmap = nullptr;
  WindowState.layeredBits = nullptr;
  WindowState.layeredWidth = WindowState.layeredHeight = 0;
}
