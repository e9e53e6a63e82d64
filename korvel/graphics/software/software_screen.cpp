#include "graphics/software/software_screen.h"

#include "graphics/device/draw_settings.h"
#include "graphics/graphs/graph_handles.h"
#include "graphics/draw/mask.h"  // upward: the software target follows the mask image while masking
#include "graphics/device/screen.h"
#include "graphics/software/software_draw.h"
#include "korvel.h"
#include "system/base/window_state.h"

namespace {
const char* const kNoPrimaryImage = "プライマリサーフェス用の MEMIMG の作成に失敗しました\n";

struct SOFTWARE_SCREEN {
  MEMIMG primary;
  MEMIMG work;
  MEMIMG workAlpha;
  // The image drawing reaches when no mask is in the way (the draw-target graph's or the
  // primary image).
  MEMIMG* realTarget;
};
SOFTWARE_SCREEN softwareScreen;

uint32_t PackBackground(const MEMIMG* m) {
  return PackColorCode(m->store->format, (unsigned)ScreenState.backgroundRed & 0xFF,
                       (unsigned)ScreenState.backgroundGreen & 0xFF, (unsigned)ScreenState.backgroundBlue & 0xFF, 0);
}

// A DIB header describing the primary image: its rows are a whole pitch wide, top-down, with
// the channel masks of its colour format.
struct SCREEN_BITMAP_INFO {
  BITMAPINFOHEADER header;
  DWORD masks[3];
};

SCREEN_BITMAP_INFO DescribeImage(const MEMIMG* m) {
  const MEMIMG_STORE* store = m->store;
  int bytes = GetMemImgPixelBytes(store);
  SCREEN_BITMAP_INFO info = {};
  info.header.biSize = sizeof(BITMAPINFOHEADER);
  info.header.biWidth = store->pitch / bytes;
  info.header.biHeight = -ScreenState.deviceHeight;
  info.header.biPlanes = 1;
  info.header.biBitCount = (WORD)(bytes * 8);
  info.header.biCompression = BI_BITFIELDS;
  info.masks[0] = store->format->redMask;
  info.masks[1] = store->format->greenMask;
  info.masks[2] = store->format->blueMask;
  return info;
}
}  // namespace

int CreateSoftwareScreenImages() {
  int width = ScreenState.deviceWidth, height = ScreenState.deviceHeight;
  int type = GetScreenColorBits() == 16 ? MEMIMG_TYPE_RGB565 : MEMIMG_TYPE_32BIT;
  ReleaseSoftwareScreenImages();
  if (CreateScreenMemImg(&softwareScreen.primary, width, height, type) < 0) ExitWithFatalError(kNoPrimaryImage);
  SetupMemImg(&softwareScreen.work, width, height, -1, 0, type, 0, 0, 0, nullptr);
  SetupMemImg(&softwareScreen.workAlpha, width, height, -1, 0, type, 0, 1, 0, nullptr);
  FillMemImgRectRaw(&softwareScreen.primary, nullptr, PackBackground(&softwareScreen.primary));
  softwareScreen.realTarget = &softwareScreen.primary;
  FollowMaskInSoftwareTarget();
  return 0;
}

void ReleaseSoftwareScreenImages() {
  if (SoftwareTarget == &softwareScreen.primary) SoftwareTarget = nullptr;
  if (softwareScreen.realTarget == &softwareScreen.primary) softwareScreen.realTarget = nullptr;
  ReleaseMemImg(&softwareScreen.primary);
  ReleaseMemImg(&softwareScreen.work);
  ReleaseMemImg(&softwareScreen.workAlpha);
}

MEMIMG* GetScreenMemImg() { return &softwareScreen.primary; }

MEMIMG* GetSoftwareRealTarget() { return softwareScreen.realTarget; }

void SetSoftwareRealTarget(MEMIMG* image) { softwareScreen.realTarget = image; }

void ForgetSoftwareImage(const MEMIMG* image) {
  if (SoftwareTarget == image) SoftwareTarget = GetScreenMemImg();
  if (softwareScreen.realTarget == image) softwareScreen.realTarget = GetScreenMemImg();
  if (SoftwareBlendSource == image) SoftwareBlendSource = nullptr;
}

MEMIMG* GetScreenWorkMemImg(int withAlpha) { return withAlpha ? &softwareScreen.workAlpha : &softwareScreen.work; }

int SelectSoftwareTarget(int target) {
  MEMIMG* real = &softwareScreen.primary;
  if (target >= 0) {
    GRAPH_RECORD* g = GetGraphRecord(target, 0);
    if (g == nullptr || !IsMemImgValid(&g->memImg) || g->memImg.store->alphaFlag) return -1;
    real = &g->memImg;
  }
  softwareScreen.realTarget = real;
  FollowMaskInSoftwareTarget();
  return 0;
}

void FollowMaskInSoftwareTarget() {
  MEMIMG* mask = &MaskState.softwareImage;
  if (softwareScreen.realTarget == nullptr && SoftwareTarget != mask) softwareScreen.realTarget = SoftwareTarget;
  SoftwareTarget = MaskState.active && MaskState.softwareImageValid ? mask : softwareScreen.realTarget;
}

int ClearSoftwareTarget(const RECT* rect) {
  MEMIMG* m = &softwareScreen.primary;
  GRAPH_RECORD* g = DrawSettings.drawTarget >= 0 ? GetGraphRecord(DrawSettings.drawTarget, 0) : nullptr;
  if (g != nullptr && IsMemImgValid(&g->memImg)) m = &g->memImg;
  if (!IsMemImgValid(m)) return 0;
  // The raw fill cuts the rectangle to the image, so no rectangle writes outside it.
  FillMemImgRectRaw(m, rect, PackBackground(m));
  return 0;
}

int BlitScreenMemImgToWindow(const RECT* rect, RECT mapped, RECT dest, int small) {
  const MEMIMG* m = &softwareScreen.primary;
  if (!IsMemImgValid(m)) return 0;
  HWND window = WindowState.mainWindow;
  HDC dc = window != nullptr ? GetDC(window) : nullptr;
  if (dc == nullptr) return 0;
  SCREEN_BITMAP_INFO info = DescribeImage(m);
  const BITMAPINFO* bitmap = (const BITMAPINFO*)&info;
  int deviceWidth = ScreenState.deviceWidth, deviceHeight = ScreenState.deviceHeight;
  if (small) {
    StretchDIBits(dc, 0, 0, 640, 480, 0, 240, 320, 240, m->pixels, bitmap, DIB_RGB_COLORS, SRCCOPY);
  } else if (rect != nullptr) {
    StretchDIBits(dc, rect->left, rect->top, rect->right - rect->left, rect->bottom - rect->top, mapped.left,
                  deviceHeight - mapped.bottom, mapped.right - mapped.left, mapped.bottom - mapped.top, m->pixels,
                  bitmap, DIB_RGB_COLORS, SRCCOPY);
  } else {
    int width = dest.right - dest.left, height = dest.bottom - dest.top;
    if (width == deviceWidth && height == deviceHeight)
      SetDIBitsToDevice(dc, 0, 0, (DWORD)width, (DWORD)height, 0, 0, 0, (UINT)height, m->pixels, bitmap,
                        DIB_RGB_COLORS);
    else
      StretchDIBits(dc, 0, 0, width, height, 0, 0, deviceWidth, deviceHeight, m->pixels, bitmap, DIB_RGB_COLORS,
                    SRCCOPY);
  }
  ReleaseDC(window, dc);
  return 0;
}
