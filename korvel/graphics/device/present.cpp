#include "graphics/device/present.h"

#include "core/log.h"
#include "graphics/device/d3d_calls.h"
#include "graphics/device/device.h"
#include "graphics/device/draw_settings.h"
#include "graphics/device/layered_present.h"
#include "graphics/draw/draw_target.h"  // upward: the window refresh and the draw-target switch of a layered present
#include "graphics/device/screen.h"
#include "graphics/draw/screen_lock.h"          // upward: the screen image a layered window shows
#include "graphics/software/software_screen.h"  // upward: the GDI present of the software screen
#include "graphics/device/state_cache.h"
#include "graphics/device/vertex_batch.h"
#include "korvel.h"
#include "system/base/window_state.h"

int BeginDeviceScene() {
  if (!HasDirect3D() || !HasDirect3DDevice() || StateFlags.sceneOpen) return 0;
  DeviceCalls.DeviceBeginScene();
  SetSceneOpen(1);
  ForgetPreparedDraw();
  return 0;
}

int EndDeviceScene() {
  if (!HasDirect3DDevice() || !StateFlags.sceneOpen) return 0;
  FlushVertexBatch(0);
  DeviceCalls.DeviceEndScene();
  SetSceneOpen(0);
  return 0;
}

namespace {
const UINT_PTR kFrontScreenTimer = 0x7FFF;
const UINT kFrontScreenPeriod = 32;
IDirect3DSurface9* subBackBuffer;

long long Now() { return GetMicrosecondCount(); }

// One vertical-blank wait. Without a DirectDraw object there is nothing to wait on: the
// caller's sleeps are the whole pacing.
void WaitForBlank() {
  IDirectDraw7* directDraw = GetDirectDrawObject();
  if (directDraw != nullptr) DeviceCalls.DirectDrawWaitForVerticalBlank(directDraw, DDWAITVB_BLOCKBEGIN);
}

int Width(const RECT& r) { return r.right - r.left; }
int Height(const RECT& r) { return r.bottom - r.top; }

void CALLBACK FrontScreenTimerProc(HWND window, UINT message, UINT_PTR id, DWORD time) {
  (void)message, (void)id, (void)time;
  KillTimer(window, kFrontScreenTimer);
  if (DrawSettings.drawTarget != -4 || WindowState.layeredWindow) return;
  if (WindowState.active) RefreshWindowFromBackBuffer();
  SetTimer(window, kFrontScreenTimer, kFrontScreenPeriod, FrontScreenTimerProc);
}

// The destination of a whole-screen present in the window's client area.
RECT WholeScreenDestination() {
  RECT dest = {0, 0, ScreenState.deviceWidth, ScreenState.deviceHeight};
  if (!WindowState.windowedMode) return dest;
  if (IsSmallScreenEmulated() && ScreenState.deviceWidth == 640 && ScreenState.deviceHeight == 480) {
    dest = {0, 0, ScreenState.mainWidth, ScreenState.mainHeight};
  } else {
    double sx = 1, sy = 1;
    GetWindowScale(&sx, &sy);
    dest = {0, 0, (int)(ScreenState.mainWidth * sx), (int)(ScreenState.mainHeight * sy)};
  }
  if (WindowState.toolbar != nullptr && WindowState.mainWindow != nullptr) {
    RECT client;
    GetClientRect(WindowState.mainWindow, &client);
    int height = Height(dest);
    dest.top = client.bottom - height;
    dest.bottom = client.bottom;
  }
  return dest;
}

// A layered window shows the back screen through a read-only lock of it.
int PresentToLayeredWindow() {
  if (!DrawSettings.noVSyncWait) WaitForVerticalBlankPaced();
  int target = DrawSettings.drawTarget;
  SelectDrawTarget(-2);
  RECT whole = {0, 0, ScreenState.deviceWidth, ScreenState.deviceHeight};
  RASTER_IMAGE image;
  int result = LockDrawScreenImage(&whole, &image, -1, 1, 0);
  if (result == 0) {
    PresentImageToLayeredWindow(&image, nullptr, image.format.alphaWidth != 0, 1);
    UnlockDrawScreenImage();
  }
  SelectDrawTarget(target);
  return result;
}

// The software screen image is copied to the window with GDI; without one there is nothing
// to show.
int PresentSoftware(const RECT* rect, RECT mapped, RECT dest, int small) {
  if (!IsMemImgValid(GetScreenMemImg())) return 0;
  if (!DrawSettings.noVSyncWait) WaitForVerticalBlankPaced();
  if (WindowState.layeredWindow) return PresentToLayeredWindow();
  if (small) {
    ScreenState.lastSourceRect = {0, 0, 640, 480};
    ScreenState.lastDestRect = {0, 0, 640, 480};
  } else if (rect == nullptr) {
    ScreenState.lastSourceRect = {0, 0, Width(dest), Height(dest)};
  }
  return BlitScreenMemImgToWindow(rect, mapped, dest, small);
}

int PresentHardware(const RECT* rect, RECT source, RECT dest, int small) {
  FlushVertexBatch(0);
  EndDeviceScene();
  if (WindowState.layeredWindow) return PresentToLayeredWindow();
  if (small) {
    dest = {0, 0, 640, 480};
    source = {0, 0, 320, 240};
  }
  if (subBackBuffer != nullptr && GetScreenSurface() != nullptr &&
      FAILED(DeviceCalls.DeviceStretchRect(subBackBuffer, nullptr, GetScreenSurface(), nullptr, D3DTEXF_NONE)))
    return -1;
  if (Direct3DObjects.swapChain == nullptr) return 0;
  long long start = Now();
  if (!WindowState.minimised) {
    HRESULT hr;
    IDirect3DSwapChain9* chain = Direct3DObjects.swapChain;
    HWND window = WindowState.mainWindow;
    if (WindowState.windowedMode && rect == nullptr) {
      ScreenState.lastSourceRect = source;
      ScreenState.lastDestRect = dest;
      hr = DeviceCalls.SwapChainPresent(chain, &source, &dest, window, nullptr, 0);
    } else if (WindowState.windowedMode) {
      RECT part = {rect->left * ScreenState.deviceWidth / Width(dest) + dest.left,
                   rect->top * ScreenState.deviceHeight / Height(dest) + dest.top,
                   rect->right * ScreenState.deviceWidth / Width(dest) + dest.left,
                   rect->bottom * ScreenState.deviceHeight / Height(dest) + dest.top};
      hr = DeviceCalls.SwapChainPresent(chain, &part, rect, window, nullptr, 0);
    } else if (small) {
      hr = DeviceCalls.SwapChainPresent(chain, &source, &dest, window, nullptr, 0);
    } else {
      hr = DeviceCalls.SwapChainPresent(chain, nullptr, nullptr, window, nullptr, 0);
    }
    if (FAILED(hr)) return -1;
  }
  if (WindowState.runWhileInactive && !DrawSettings.noVSyncWait && Now() - start < 500) WaitForVerticalBlankPaced();
  return 0;
}
}  // namespace

void WaitForVerticalBlankPaced() {
  long long period = ScreenState.refreshPeriod;
  long long threshold = period < 0 ? 4000 : period - 3000;
  long long elapsed = Now() - ScreenState.lastVerticalBlank;
  if (elapsed >= threshold) {
    WaitForBlank();
    ScreenState.lastVerticalBlank = Now();
    Sleep(0);
    return;
  }
  Sleep(0);
  while (Now() - ScreenState.lastVerticalBlank < threshold) Sleep(1);
  WaitForBlank();
  ScreenState.lastVerticalBlank = Now();
}

void MeasureRefreshPeriod() {
  ScreenState.refreshPeriod = -1;
  if (GetDirectDrawObject() != nullptr) {
    WaitForBlank();
    long long previous = Now();
    long long previousInterval = 0;
    int sum = 0, count = 0;
    for (int i = 0; i < 60; i++) {
      WaitForBlank();
      long long now = Now();
      long long interval = now - previous;
      previous = now;
      long long change = previousInterval - interval;
      if (change < 1000 && change > -1000) {
        sum += (int)interval;
        count++;
      } else {
        sum = 0;
        count = 0;
      }
      previousInterval = interval;
      if (count >= 10) {
        ScreenState.refreshPeriod = sum / count;
        break;
      }
      Sleep(5);
    }
  }
  WaitForVerticalBlankPaced();
}

int CreateSubBackBuffer() {
  if (!HasDirect3DDevice()) return -1;
  ReleaseSubBackBuffer();
  if (FAILED(DeviceCalls.DeviceCreateRenderTarget(
          ScreenState.deviceWidth, ScreenState.deviceHeight, DeviceCaps.backBufferFormat,
          (D3DMULTISAMPLE_TYPE)DeviceSettings.multiSampleType, DeviceSettings.multiSampleQuality, FALSE,
          &subBackBuffer, nullptr))) {
    subBackBuffer = nullptr;
    WriteLogText("サブバックバッファの作成に失敗しました\n");
    return -1;
  }
  return 0;
}

void ReleaseSubBackBuffer() {
  if (subBackBuffer != nullptr) DeviceCalls.ReleaseComObject(subBackBuffer);
  subBackBuffer = nullptr;
}

IDirect3DSurface9* GetSubBackBuffer() { return subBackBuffer; }

int StartFrontScreenTimer(int flag) {
  if (flag && WindowState.mainWindow != nullptr)
    SetTimer(WindowState.mainWindow, kFrontScreenTimer, kFrontScreenPeriod, FrontScreenTimerProc);
  return 0;
}

int PresentScreen(const RECT* rect) {
  RECT mapped = {0, 0, 0, 0};
  if (rect != nullptr) {
    // A partial present maps window coordinates through the last whole-screen present;
    // before there was one there is nothing to map through.
    const RECT& s = ScreenState.lastSourceRect;
    if (Width(s) <= 0 || Height(s) <= 0) return -1;
    mapped = {rect->left * ScreenState.deviceWidth / Width(s) + s.left,
              rect->top * ScreenState.deviceHeight / Height(s) + s.top,
              rect->right * ScreenState.deviceWidth / Width(s) + s.left,
              rect->bottom * ScreenState.deviceHeight / Height(s) + s.top};
    if (Width(mapped) == 0 || Height(mapped) == 0) return -1;
  }
  RECT source = {0, 0, ScreenState.deviceWidth, ScreenState.deviceHeight};
  int small = 0;
  if (IsSmallScreenEmulated() && ScreenState.deviceWidth == 640 && ScreenState.deviceHeight == 480) {
    source = {0, 0, 320, 240};
    small = 1;
  }
  RECT dest = WholeScreenDestination();
  if (ScreenState.hardwareRendering) return PresentHardware(rect, source, dest, small);
  return PresentSoftware(rect, mapped, dest, small);
}
