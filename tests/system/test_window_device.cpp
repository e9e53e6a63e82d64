// The window with Wine's real Direct3D 9 device behind it: the switch to fullscreen and back,
// the window messages that look at the screen and the device, the inactive wait during a
// flip, and the layered-window output, read back from the back buffer and the screen.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "core/winapi.h"
#include "graphics/device/d3d_calls.h"
#include "graphics/device/draw_settings.h"
#include "graphics/draw/draw_target.h"
#include "graphics/draw/mask.h"
#include "graphics/device/screen.h"
#include "graphics/lifecycle/screen_mode.h"
#include "image/color_format.h"
#include "korvel.h"
#include "read_back.h"
#include "real_device.h"
#include "graphics/device/layered_present.h"
#include "system/base/layered_window.h"
#include "system/base/pump.h"
#include "system/base/window_state.h"
#include "test_support.h"

namespace {
const uint32_t kRed = 0xFF0000, kGreen = 0x00FF00, kBlue = 0x0000FF;

class WindowDevice : public ::testing::Test {
 protected:
  void SetUp() override {
    SetScreenMode(640, 480, 32, 0);
    StartRealDevice();
  }
  void TearDown() override {
    EndRealDevice();
    SetSmallScreenEmulation(0);
    ScreenState.softwareOnly = 0;
    SetLayeredWindow(0);
    ChangeWindowMode(1);
    SetWindowScale(1, 1);
  }
};

int CountOf(const std::string& text, const std::string& part) {
  int n = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) n++;
  return n;
}

// Draws a box on a cleared back screen and flips.
void DrawFrame(uint32_t color, int x1, int y1, int x2, int y2) {
  SelectDrawTarget(-2);
  int width, height;
  QueryMainScreenSize(&width, &height);
  SetDrawClipArea(0, 0, width, height);
  ClearDrawTarget(nullptr);
  DrawRectangle(x1, y1, x2, y2, Packed(color), 1);
  EXPECT_EQ(FlipScreenBuffers(), 0);
}

// The window as the screen shows it, once the window is on top and the frame presented.
PICTURE ReadShownWindow(uint32_t color, int x, int y) {
  PICTURE shown;
  for (int attempt = 0; attempt < 5; attempt++) {
    SetWindowPos(WindowState.mainWindow, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_SHOWWINDOW);
    PumpWindowMessages();
    EXPECT_EQ(FlipScreenBuffers(), 0);
    shown = ReadWindow();
    if (shown.width > x && shown.height > y && shown.At(x, y) == color) break;
    Sleep(200);
  }
  return shown;
}

// Fullscreen on Wine's Xvfb display is the display's own size, its one listed mode: the
// window becomes a topmost popup over the whole screen with a fullscreen device, and back.
TEST_F(WindowDevice, SwitchesToFullscreenAndBackWithTheDeviceMadeAgain) {
  DeleteFileA("Log.txt");
  int desktopWidth = GetSystemMetrics(SM_CXSCREEN), desktopHeight = GetSystemMetrics(SM_CYSCREEN);
  ASSERT_EQ(HasDisplayMode(640, 480, 32), 0) << "the display lists only its own size";
  EXPECT_EQ(ChangeWindowMode(0), -1) << "640 x 480 is not a display mode here";
  EXPECT_EQ(IsWindowedMode(), 1);
  ASSERT_EQ(HasDisplayMode(desktopWidth, desktopHeight, 32), 1);
  ASSERT_EQ(SetScreenMode(desktopWidth, desktopHeight, 32, 0), 0);

  ASSERT_EQ(ChangeWindowMode(0), 0);
  EXPECT_EQ(IsFullScreenMode(), 1);
  ASSERT_TRUE(HasDirect3DDevice());
  ASSERT_EQ(ScreenState.hardwareRendering, 1);
  LONG style = GetWindowLongA(WindowState.mainWindow, GWL_STYLE);
  EXPECT_TRUE(style & WS_POPUP);
  EXPECT_FALSE(style & WS_CAPTION);
  EXPECT_TRUE(GetWindowLongA(WindowState.mainWindow, GWL_EXSTYLE) & WS_EX_TOPMOST);
  RECT frame;
  GetWindowRect(WindowState.mainWindow, &frame);
  EXPECT_EQ(frame.left, 0);
  EXPECT_EQ(frame.top, 0);
  EXPECT_EQ(frame.right, desktopWidth);
  EXPECT_EQ(frame.bottom, desktopHeight);
  EXPECT_EQ(WindowState.modeChanging, 0);
  DrawFrame(kRed, 100, 50, 300, 150);
  PICTURE back = ReadBackBuffer();
  ASSERT_EQ(back.width, desktopWidth);
  EXPECT_EQ(Mismatches(back, kRed, 0, 0, back.width, back.height,
                       [](int x, int y) { return x >= 100 && x < 300 && y >= 50 && y < 150; }),
            "");
  PICTURE shown = ReadShownWindow(kRed, 200, 100);
  ASSERT_EQ(shown.width, desktopWidth);
  EXPECT_EQ(shown.Count(kRed, 0, 0, shown.width, shown.height), 200 * 100);
  EXPECT_EQ(shown.At(99, 100), 0u);

  // Back in a window, at half scale: Wine shows nothing of a windowed device whose window is
  // as large as the screen, so the window is kept smaller than the screen.
  SetWindowScale(0.5, 0.5);
  ASSERT_EQ(ChangeWindowMode(1), 0);
  EXPECT_EQ(IsWindowedMode(), 1);
  ASSERT_TRUE(HasDirect3DDevice());
  style = GetWindowLongA(WindowState.mainWindow, GWL_STYLE);
  EXPECT_TRUE(style & WS_CAPTION);
  EXPECT_FALSE(GetWindowLongA(WindowState.mainWindow, GWL_EXSTYLE) & WS_EX_TOPMOST);
  RECT client;
  GetClientRect(WindowState.mainWindow, &client);
  EXPECT_EQ(client.right, desktopWidth / 2);
  EXPECT_EQ(client.bottom, desktopHeight / 2);
  DrawFrame(kBlue, 20, 30, 60, 40);
  back = ReadBackBuffer();
  ASSERT_EQ(back.width, desktopWidth);
  EXPECT_EQ(Mismatches(back, kBlue, 0, 0, back.width, back.height,
                       [](int x, int y) { return x >= 20 && x < 60 && y >= 30 && y < 40; }),
            "");
  EXPECT_EQ(back.Count(kRed, 0, 0, back.width, back.height), 0);
  shown = ReadShownWindow(kBlue, 20, 17);
  ASSERT_EQ(shown.width, desktopWidth / 2);
  EXPECT_EQ(Mismatches(shown, kBlue, 0, 0, shown.width, shown.height,
                       [](int x, int y) { return x >= 10 && x < 30 && y >= 15 && y < 20; }),
            "");
  std::string log = ReadLogWithoutStamps();
  EXPECT_EQ(CountOf(log, "ウインドウスタイルをフルスクリーンモード用に変更します... 完了\r\n"), 1) << log;
  EXPECT_EQ(CountOf(log, "画面モード変更処理は正常に終了しました\r\n"), 3) << log;
}

// 320 x 240 is not listed, yet a device emulates it on 640 x 480, so the switch takes it while
// hardware rendering is wanted; with software rendering only it is refused.
TEST_F(WindowDevice, FullscreenAt320x240IsEmulatedOnlyWithHardwareRendering) {
  ASSERT_EQ(SetScreenMode(320, 240, 32, 0), 0);
  ScreenState.softwareOnly = 1;
  EXPECT_EQ(ChangeWindowMode(0), -1);
  EXPECT_EQ(IsWindowedMode(), 1);
  EXPECT_EQ(IsSmallScreenEmulated(), 0);
  ScreenState.softwareOnly = 0;
  EXPECT_EQ(ChangeWindowMode(0), 0);
  EXPECT_EQ(IsFullScreenMode(), 1);
  EXPECT_EQ(IsSmallScreenEmulated(), 1);
  EXPECT_EQ(ScreenState.deviceWidth, 640);
  EXPECT_EQ(ScreenState.deviceHeight, 480);
  int width, height;
  QueryMainScreenSize(&width, &height);
  EXPECT_EQ(width, 320);
  EXPECT_EQ(height, 240);
  // No 640 x 480 mode to change to here: the device stays; going back makes it again.
  EXPECT_EQ(ChangeWindowMode(1), 0);
  EXPECT_EQ(IsWindowedMode(), 1);
  EXPECT_TRUE(HasDirect3DDevice());
}

struct PRESENT_WATCH {
  DEVICE_CALL_TABLE below;
  int waitNeeded;
};
PRESENT_WATCH presentWatch;

// While the screen is being flipped nothing waits for the window, inactive as it may be.
TEST_F(WindowDevice, NoInactiveWaitDuringAFlip) {
  presentWatch.below = DeviceCalls;
  presentWatch.waitNeeded = -1;
  DeviceCalls.SwapChainPresent = [](IDirect3DSwapChain9* chain, const RECT* source, const RECT* dest, HWND window,
                                    const RGNDATA* region, DWORD flags) {
    presentWatch.waitNeeded = IsInactiveWaitNeeded();
    return presentWatch.below.SwapChainPresent(chain, source, dest, window, region, flags);
  };
  SetRunWhileInactive(0);
  WindowState.active = 0;
  EXPECT_EQ(IsInactiveWaitNeeded(), 1);
  FlipScreenBuffers();
  WindowState.active = 1;
  SetRunWhileInactive(1);
  DeviceCalls = presentWatch.below;
  EXPECT_EQ(presentWatch.waitNeeded, 0);
}

TEST_F(WindowDevice, TopRowsAnswerMenuInFullscreenWithADevice) {
  struct CASE {
    int windowed, hardware, y;
    bool menu;
  } cases[] = {{0, 1, 0, true}, {0, 1, 7, true}, {0, 1, -3, true}, {0, 1, 8, false},
               {1, 1, 0, false}, {0, 0, 0, false}};
  for (const CASE& c : cases) {
    WindowState.windowedMode = c.windowed;
    ScreenState.hardwareRendering = c.hardware;
    LRESULT hit = SendMessageA(WindowState.mainWindow, WM_NCHITTEST, 0, MAKELPARAM(100, (short)c.y));
    EXPECT_EQ(hit == HTMENU, c.menu) << "windowed " << c.windowed << " hardware " << c.hardware << " y " << c.y;
  }
  WindowState.windowedMode = 1;
  ScreenState.hardwareRendering = 1;
}

// The screen is 640 x 480 at 32 bits: a desktop that cannot show it any more closes the window.
TEST_F(WindowDevice, DisplayChangeClosesTheWindowWhenTheDesktopCannotShowTheScreen) {
  struct CASE {
    int windowed, modeChanging, bits, width, height;
    bool closes;
  } cases[] = {
      {1, 0, 32, 640, 480, false},  {1, 0, 32, 1024, 768, false}, {1, 0, 16, 1024, 768, false},
      {1, 0, 24, 1024, 768, true},  {1, 0, 8, 1024, 768, true},   {1, 0, 32, 600, 768, true},
      {1, 0, 32, 1024, 400, true},  {0, 0, 24, 1024, 768, false}, {1, 1, 24, 1024, 768, false},
  };
  const std::string lines =
      "復元関数が登録されていないためか画面が２４ビットカラーに変更されたため終了します\r\n"
      "またはスクリーンが小さすぎるためか色ビット数の違いが大きいためか終了します\r\n";
  for (const CASE& c : cases) {
    std::string row = std::to_string(c.width) + "x" + std::to_string(c.height) + "x" + std::to_string(c.bits) +
                      " windowed " + std::to_string(c.windowed) + " changing " + std::to_string(c.modeChanging);
    int before = CountOf(ReadLogWithoutStamps(), lines);
    WindowState.windowedMode = c.windowed;
    WindowState.modeChanging = c.modeChanging;
    SendMessageA(WindowState.mainWindow, WM_DISPLAYCHANGE, c.bits, MAKELPARAM(c.width, c.height));
    WindowState.windowedMode = 1;
    WindowState.modeChanging = 0;
    MSG close;
    bool posted = PeekMessageA(&close, WindowState.mainWindow, WM_CLOSE, WM_CLOSE, PM_REMOVE) != 0;
    EXPECT_EQ(posted, c.closes) << row;
    EXPECT_EQ(WindowState.closing, c.closes ? 1 : 0) << row;
    EXPECT_EQ(CountOf(ReadLogWithoutStamps(), lines) - before, c.closes ? 1 : 0) << row;
    WindowState.closing = 0;
  }
  // Once closing, a second refusal logs but posts nothing more.
  WindowState.closing = 1;
  SendMessageA(WindowState.mainWindow, WM_DISPLAYCHANGE, 24, MAKELPARAM(1024, 768));
  MSG close;
  EXPECT_EQ(PeekMessageA(&close, WindowState.mainWindow, WM_CLOSE, WM_CLOSE, PM_REMOVE), FALSE);
  WindowState.closing = 0;
}

struct TARGET_WATCH {
  DEVICE_CALL_TABLE below;
  int calls;
};
TARGET_WATCH targetWatch;

// Moving the window while drawing on the front screen switches mask drawing off and on again,
// so that the device draws into the mask screen anew; on the back screen nothing happens.
TEST_F(WindowDevice, MoveRefreshesMaskDrawingOnTheFrontScreen) {
  ASSERT_EQ(CreateMaskScreen(1), 0);
  targetWatch.below = DeviceCalls;
  DeviceCalls.DeviceSetRenderTarget = [](DWORD index, IDirect3DSurface9* surface) {
    targetWatch.calls++;
    return targetWatch.below.DeviceSetRenderTarget(index, surface);
  };
  for (int target : {-4, -2}) {
    SelectDrawTarget(target);
    ASSERT_EQ(EnableMaskDrawing(1), 0);
    targetWatch.calls = 0;
    SendMessageA(WindowState.mainWindow, WM_MOVE, 0,
                 MAKELPARAM(WindowState.clientRect.left, WindowState.clientRect.top));
    EXPECT_EQ(targetWatch.calls, target == -4 ? 2 : 0) << "target " << target;
    EXPECT_EQ(IsMaskDrawingEnabled(), 1) << "target " << target;
    EnableMaskDrawing(0);
  }
  DeviceCalls = targetWatch.below;
}

struct COMPOSITION_WATCH {
  int calls;
  UINT last;
};
COMPOSITION_WATCH compositionWatch;

// Stands in for DwmEnableComposition (stdcall, like every entry of the WinApi table).
HRESULT WINAPI WatchComposition(UINT enable) {
  compositionWatch.calls++;
  compositionWatch.last = enable;
  return S_OK;
}

// Device creation switches the desktop composition off; deactivating a fullscreen window gives
// it back. A windowed window leaves it as it is.
TEST_F(WindowDevice, DeactivatedFullscreenWindowSwitchesCompositionBackOn) {
  HRESULT(WINAPI * saved)(UINT) = WinApi.dwmapi.DwmEnableComposition;
  WinApi.dwmapi.DwmEnableComposition = WatchComposition;
  for (int windowed : {1, 0}) {
    compositionWatch = {0, 99};
    WindowState.compositionOff = 1;
    WindowState.active = 1;
    WindowState.windowedMode = windowed;
    SendMessageA(WindowState.mainWindow, WM_ACTIVATE, WA_INACTIVE, 0);
    WindowState.windowedMode = 1;
    EXPECT_EQ(WindowState.active, 0) << "windowed " << windowed;
    EXPECT_EQ(compositionWatch.calls, windowed ? 0 : 1) << "windowed " << windowed;
    EXPECT_EQ(WindowState.compositionOff, windowed ? 1 : 0) << "windowed " << windowed;
    if (!windowed) {
      EXPECT_EQ(compositionWatch.last, 1u);
      EXPECT_FALSE(HasDirect3DDevice()) << "the fullscreen device goes at deactivation";
    }
  }
  WinApi.dwmapi.DwmEnableComposition = saved;
  WindowState.compositionOff = 0;
  ShowWindow(WindowState.mainWindow, SW_RESTORE);
  SendMessageA(WindowState.mainWindow, WM_ACTIVATE, WA_ACTIVE, 0);
}

// The layered-window output: the picture is premultiplied into the window's DIB section,
// pixels of the transparent colour and of alpha 0 fully transparent.
TEST_F(WindowDevice, LayeredWindowImageIsPremultipliedWithItsTransparentPixelsCleared) {
  ASSERT_NE(WindowState.updateLayeredWindow, nullptr) << "looked up at window start";
  SetLayeredWindow(1);
  EXPECT_TRUE(GetWindowLongA(WindowState.mainWindow, GWL_EXSTYLE) & WS_EX_LAYERED);
  StoreTransparentColor(0, 0, 0);
  RASTER_IMAGE image = {};
  InitARGB8Format(&image.format);
  uint32_t pixels[4] = {0xFFFF0000, 0x80FF0000, 0x00FFFFFF, 0xFF000000};
  image.width = 4;
  image.height = 1;
  image.pitch = 16;
  image.pixels = pixels;
  struct CASE {
    int perPixelAlpha, alphaTest;
    uint32_t expected[4];
  } cases[] = {
      {1, 1, {0xFFFF0000, 0x80800000, 0, 0}},
      {1, 0, {0xFFFF0000, 0x80800000, 0, 0xFF000000}},
      {0, 1, {0xFFFF0000, 0xFFFF0000, 0xFFFFFFFF, 0}},
      {0, 0, {0xFFFF0000, 0xFFFF0000, 0xFFFFFFFF, 0xFF000000}},
  };
  for (const CASE& c : cases) {
    EXPECT_EQ(PresentImageToLayeredWindow(&image, nullptr, c.perPixelAlpha, c.alphaTest), 0);
    ASSERT_NE(WindowState.layeredBits, nullptr);
    for (int i = 0; i < 4; i++)
      EXPECT_EQ(WindowState.layeredBits[i], c.expected[i])
          << "pixel " << i << " alpha " << c.perPixelAlpha << " test " << c.alphaTest;
  }
  // From a source DC, at the image's size: the DIB section is made again for the new size.
  HDC screen = GetDC(nullptr);
  HDC source = CreateCompatibleDC(screen);
  HBITMAP bitmap = CreateCompatibleBitmap(screen, 8, 2);
  ReleaseDC(nullptr, screen);
  HGDIOBJ old = SelectObject(source, bitmap);
  RECT all = {0, 0, 8, 2};
  HBRUSH green = CreateSolidBrush(RGB(0, 255, 0));
  FillRect(source, &all, green);
  image.width = 8;
  image.height = 2;
  EXPECT_EQ(PresentImageToLayeredWindow(&image, source, 0, 1), 0);
  EXPECT_EQ(WindowState.layeredWidth, 8);
  EXPECT_EQ(WindowState.layeredHeight, 2);
  EXPECT_EQ(WindowState.layeredBits[15], 0xFF00FF00u);
  SelectObject(source, old);
  DeleteObject(green);
  DeleteObject(bitmap);
  DeleteDC(source);
  EndRealDevice();
  EXPECT_EQ(WindowState.layeredBitmap, nullptr) << "the window's end deletes it";
}

// A flip of a layered window goes through UpdateLayeredWindow: the picture is on the screen,
// and the pixels of the transparent colour are holes that show what lies beneath.
TEST_F(WindowDevice, FlipOfALayeredWindowShowsThePictureWithHoles) {
  // A green window beneath the library's.
  WNDCLASSA wc = {};
  wc.lpfnWndProc = DefWindowProcA;
  wc.hInstance = GetModuleHandleA(nullptr);
  wc.hbrBackground = CreateSolidBrush(RGB(0, 255, 0));
  wc.lpszClassName = "KorvelTestBeneath";
  RegisterClassA(&wc);
  RECT client = WindowState.clientRect;
  HWND beneath = CreateWindowExA(0, wc.lpszClassName, "", WS_POPUP | WS_VISIBLE, client.left, client.top, 640, 480,
                                 nullptr, nullptr, wc.hInstance, nullptr);
  ASSERT_NE(beneath, nullptr);
  UpdateWindow(beneath);
  SetLayeredWindow(1);
  StoreTransparentColor(0, 0, 0);
  DrawFrame(kRed, 100, 100, 200, 150);
  PICTURE shown = ReadShownWindow(kRed, 150, 125);
  EXPECT_EQ(shown.Count(kRed, 0, 0, shown.width, shown.height), 100 * 50);
  EXPECT_EQ(shown.At(50, 50), kGreen) << "a transparent pixel shows the window beneath";
  EXPECT_NE(WindowState.layeredBits, nullptr);
  DestroyWindow(beneath);
  UnregisterClassA(wc.lpszClassName, wc.hInstance);
  DeleteObject(wc.hbrBackground);
}
}  // namespace
