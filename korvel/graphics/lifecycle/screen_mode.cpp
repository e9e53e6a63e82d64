#include "graphics/lifecycle/screen_mode.h"

#include <windows.h>

#include "core/log.h"
#include "font/font_handles.h"
#include "core/maths.h"
#include "graphics/device/d3d_calls.h"
#include "graphics/device/device.h"
#include "graphics/device/draw_settings.h"
#include "system/base/window_mode.h"
#include "graphics/draw/draw_target.h"
#include "graphics/lifecycle/device_restore.h"
#include "graphics/lifecycle/graphics_startup.h"
#include "graphics/device/screen.h"
#include "graphics/device/state_cache.h"
#include "graphics/device/vertex_batch.h"
#include "korvel.h"
#include "system/base/library_flags.h"
#include "system/base/window_services.h"
#include "system/base/window_state.h"

namespace {
// The display-mode list lives on the process heap: it is built before the tracked allocator
// has anything to report and is freed with Direct3D.
struct DISPLAY_MODE_LIST {
  int count;
  DISPLAY_MODE* modes;
};
DISPLAY_MODE_LIST displayModes;
int dialogBoxMode;
int displayModeChanged;  // ChangeDisplayMode set a mode that has not been given back yet

void EnsureDisplayModeList() {
  if (displayModes.modes == nullptr) BuildDisplayModeList();
}

// One screen mode to try when graphics restart.
struct SCREEN_REQUEST {
  int deviceWidth, deviceHeight, bits, refresh;
};

// The main size that goes with a 640 x 480 fall-back device.
void StoreFallbackSize() {
  StoreMainScreenSize(640, 480);
}

void StoreRequest(int width, int height, int bits, int refresh) {
  StoreMainScreenSize(width, height);
  ScreenState.colorBits = bits;
  ScreenState.refreshRate = refresh;
  SetDefaultScreenImageType(bits);
}

// Restarts graphics in the first mode of the fall-back chain that starts. Ends the process
// when not even 640 x 480 at 32 bits can be set.
void RestartGraphicsInMode(int width, int height, int bits, int refresh, const SCREEN_REQUEST& previous) {
  if (ScreenState.graphicsStarted) ShutDownGraphics();
  StoreRequest(width, height, bits, refresh);
  if (StartUpGraphics() == 0) return;
  if (ScreenState.deviceWidth == 320 && ScreenState.deviceHeight == 240) {
    StoreFallbackSize();
    SetSmallScreenEmulation(1);
    if (StartUpGraphics() == 0) return;
  }
  StoreRequest(previous.deviceWidth, previous.deviceHeight, previous.bits, previous.refresh);
  if (StartUpGraphics() == 0) return;
  StoreFallbackSize();
  ScreenState.colorBits = 16;
  ScreenState.refreshRate = 0;
  SetDefaultScreenImageType(16);
  if (StartUpGraphics() == 0) return;
  ScreenState.colorBits = 32;
  SetDefaultScreenImageType(32);
  if (StartUpGraphics() == 0) return;
  ExitWithFatalError("予期せぬ画面モード変更不能現象が起きました2\n");
}

// A mode change that keeps graphics running: the device is made again in the new mode and
// every graph, shader, buffer and font handle survives. A window larger than the desktop is
// not asked for.
int ChangeModeInPlace(int width, int height, int bits, int refresh) {
  int desktopWidth = 0, desktopHeight = 0;
  GetDesktopMode(&desktopWidth, &desktopHeight, nullptr);
  if (WindowState.windowedMode && (desktopWidth < width || desktopHeight < height)) {
    UnindentLog();
    return 0;
  }
  RecreateGraphicsDeviceInMode(bits, width, height, refresh, 1);
  if (WindowState.windowedMode) ApplyWindowStyleForMode();
  UnindentLog();
  WriteLogText("画面モード変更処理は正常に終了しました\n");
  ApplyDragAcceptFiles();
  return 0;
}

// The last steps of a successful mode change; the default font comes back as it was.
int FinishModeChange(const FONT_DEFAULT_SETTINGS* font) {
  if (WindowState.windowedMode) ApplyWindowStyleForMode();
  if (font != nullptr) ChangeDefaultFontSettings(font->face, font->size, font->thickness);
  UnindentLog();
  WriteLogText("画面モード変更処理は正常に終了しました\n");
  PumpWindowMessages();
  SelectDrawTarget(DrawSettings.drawTarget);
  ApplyDragAcceptFiles();
  return 0;
}
}  // namespace

int SetHardwareRenderingWanted(int flag) {
  if (LibraryFlags.started) return -1;
  ScreenState.softwareOnly = !flag;
  return 0;
}

int IsHardwareRenderingWanted() { return ScreenState.softwareOnly ? 0 : 1; }

int GetScreenSizeAndBits(int* width, int* height, int* bits) {
  int w = ScreenState.deviceWidth, h = ScreenState.deviceHeight;
  if (IsSmallScreenEmulated()) w = 320, h = 240;
  if (width != nullptr) *width = w;
  if (height != nullptr) *height = h;
  if (bits != nullptr) *bits = GetScreenColorBits();
  return 0;
}

int IsFullScreenMode() { return WindowState.windowedMode ? 0 : 1; }

int BuildDisplayModeList() {
  FreeDisplayModeList();
  DEVMODEA mode;
  int count = 0;
  for (DWORD i = 0;; i++) {
    ZeroMemory(&mode, sizeof(mode));
    mode.dmSize = sizeof(mode);
    if (!EnumDisplaySettingsA(nullptr, i, &mode)) break;
    if (mode.dmBitsPerPel >= 16) count++;
  }
  displayModes.count = 0;
  if (count == 0) return 0;
  displayModes.modes = (DISPLAY_MODE*)HeapAlloc(GetProcessHeap(), 0, (SIZE_T)count * sizeof(DISPLAY_MODE));
  if (displayModes.modes == nullptr) return 0;
  // The second walk may meet more modes than the first counted: the list keeps the first ones.
  int filled = 0;
  for (DWORD i = 0; filled < count; i++) {
    ZeroMemory(&mode, sizeof(mode));
    mode.dmSize = sizeof(mode);
    if (!EnumDisplaySettingsA(nullptr, i, &mode)) break;
    if (mode.dmBitsPerPel < 16) continue;
    displayModes.modes[filled++] = {(int)mode.dmPelsWidth, (int)mode.dmPelsHeight, (int)mode.dmBitsPerPel,
                                    (int)mode.dmDisplayFrequency};
  }
  displayModes.count = filled;
  return 0;
}

void FreeDisplayModeList() {
  if (displayModes.modes != nullptr) HeapFree(GetProcessHeap(), 0, displayModes.modes);
  displayModes.modes = nullptr;
}

int CountDisplayModes() {
  EnsureDisplayModeList();
  return displayModes.count;
}

DISPLAY_MODE GetDisplayModeRecord(int index) {
  EnsureDisplayModeList();
  if (index < 0 || index >= displayModes.count || displayModes.modes == nullptr) return {-1, -1, -1, -1};
  return displayModes.modes[index];
}

int HasDisplayMode(int width, int height, int bits) {
  EnsureDisplayModeList();
  for (int i = 0; i < displayModes.count && displayModes.modes != nullptr; i++) {
    const DISPLAY_MODE& m = displayModes.modes[i];
    if (m.width == width && m.height == height && m.bits == bits) return 1;
  }
  return 0;
}

int SetScreenMode(int width, int height, int bits, int refresh) {
  if (width <= 0 || height <= 0 || (bits != 8 && bits != 16 && bits != 32)) return -1;
  if (!LibraryFlags.started) {
    StoreMainScreenSize(width, height);
    ScreenState.colorBits = bits;
    ScreenState.refreshRate = refresh;
    SetDefaultScreenImageType(bits);
    return 0;
  }
  int oldWidth = ScreenState.deviceWidth, oldHeight = ScreenState.deviceHeight;
  int oldBits = GetScreenColorBits(), oldRefresh = ScreenState.refreshRate;
  ChangeScreenMode(width, height, bits, 0, refresh);
  int newBits = GetScreenColorBits();
  if (ScreenState.deviceWidth == width && ScreenState.deviceHeight == height) {
    if (!WindowState.windowedMode) return 0;
    if (newBits == bits && ScreenState.refreshRate == refresh) return 0;
  }
  int changed = ScreenState.deviceWidth != oldWidth || ScreenState.deviceHeight != oldHeight || newBits != oldBits ||
                ScreenState.refreshRate != oldRefresh;
  int isDefault = ScreenState.deviceWidth == 640 && ScreenState.deviceHeight == 480 &&
                  (!WindowState.windowedMode || (newBits == 16 && ScreenState.refreshRate == 0));
  return changed && isDefault ? -2 : -1;
}

int ChangeScreenMode(int width, int height, int bits, int force, int refresh) {
  FlushVertexBatch(0);
  if (!WindowState.windowedMode && width == 320 && height == 240) {
    DeviceSettings.autoSmallScreen = 1;
    width = 640;
    height = 480;
  } else {
    if (WindowState.windowedMode && force == 1 && DeviceSettings.autoSmallScreen && ScreenState.deviceWidth == 640 &&
        ScreenState.deviceHeight == 480)
      width = 320, height = 240;
    DeviceSettings.autoSmallScreen = 0;
    if (width == -1) width = ScreenState.deviceWidth;
    if (height == -1) height = ScreenState.deviceHeight;
  }
  if (bits == -1) bits = GetScreenColorBits();
  if (refresh == -1) refresh = ScreenState.refreshRate;
  if (width == ScreenState.deviceWidth && height == ScreenState.deviceHeight && bits == GetScreenColorBits() &&
      refresh == ScreenState.refreshRate && force == 0)
    return 0;

  WriteLogText("画面モード変更処理を開始します\n");
  IndentLog();
  // The restart ends the font system; the default font's face, size and thickness survive it.
  FONT_DEFAULT_SETTINGS font = FontDefaults;
  int keepFont = ScreenState.graphicsStarted && FontDefaults.handle != -1;
  if (!LibraryFlags.starting && !LibraryFlags.started) {
    UnindentLog();
    return 0;
  }
  if (!WindowState.windowedMode && !HasDisplayMode(width, height, bits)) {
    UnindentLog();
    return 0;
  }
  // In place only once graphics run: before that there is no device to make again.
  if (ScreenState.modeChangeInPlace && ScreenState.graphicsStarted)
    return ChangeModeInPlace(width, height, bits, refresh);
  SCREEN_REQUEST previous = {ScreenState.deviceWidth, ScreenState.deviceHeight, GetScreenColorBits(),
                             ScreenState.refreshRate};
  RestartGraphicsInMode(width, height, bits, refresh, previous);
  return FinishModeChange(keepFont ? &font : nullptr);
}

int ChangeDisplayMode() {
  AddLogLineFormat("画面モードの変更処理を開始します %u x %u  %u bit ", (unsigned)ScreenState.deviceWidth,
                   (unsigned)ScreenState.deviceHeight, (unsigned)GetScreenColorBits());
  IndentLog();
  int bits = GetScreenColorBits();
  if (bits != 16 && bits != 32) {
    UnindentLog();
    return -1;
  }
  WriteLogText("画面解像度を変更します... ");
  DEVMODEA mode;
  ZeroMemory(&mode, sizeof(mode));
  mode.dmSize = 156;
  mode.dmBitsPerPel = bits;
  mode.dmPelsWidth = ScreenState.deviceWidth;
  mode.dmPelsHeight = ScreenState.deviceHeight;
  mode.dmFields = DM_BITSPERPEL | DM_PELSWIDTH | DM_PELSHEIGHT;
  if (ScreenState.refreshRate != 0) {
    mode.dmDisplayFrequency = ScreenState.refreshRate;
    mode.dmFields |= DM_DISPLAYFREQUENCY;
  }
  int changed = ChangeDisplaySettingsA(&mode, CDS_FULLSCREEN) == DISP_CHANGE_SUCCESSFUL;
  if (!changed) {
    ScreenState.refreshRate = 0;
    mode.dmDisplayFrequency = 0;
    mode.dmFields &= ~DM_DISPLAYFREQUENCY;
    changed = ChangeDisplaySettingsA(&mode, 0) == DISP_CHANGE_SUCCESSFUL;
  }
  if (!changed && ScreenState.deviceWidth == 320 && ScreenState.deviceHeight == 240) {
    StoreMainScreenSize(640, 480);
    SetSmallScreenEmulation(1);
    mode.dmPelsWidth = ScreenState.deviceWidth;
    mode.dmPelsHeight = ScreenState.deviceHeight;
    changed = ChangeDisplaySettingsA(&mode, 0) == DISP_CHANGE_SUCCESSFUL;
    if (changed) ApplyWindowStyleForMode();
  }
  if (!changed) {
    WriteLogText("画面モードの変更に失敗しました\n");
    UnindentLog();
    return -1;
  }
  displayModeChanged = 1;
  WriteLogText("成功しました\n");
  UnindentLog();
  return 0;
}

void RestoreDisplayMode() {
  if (!displayModeChanged) return;
  ChangeDisplaySettingsA(nullptr, 0);
  displayModeChanged = 0;
}

int ResetDialogBoxMode(int flag) {
  dialogBoxMode = flag;
  if (ScreenState.hardwareRendering && HasDirect3DDevice()) {
    DeviceCalls.DeviceSetDialogBoxMode(FALSE);
    if (flag) DeviceCalls.DeviceSetDialogBoxMode(TRUE);
  }
  return 0;
}

int GetDialogBoxModeFlag() { return dialogBoxMode; }

int SetDeviceDialogBoxMode(int flag) {
  if (!HasDirect3DDevice()) return 0;
  if (StateFlags.sceneOpen) {
    DeviceCalls.DeviceEndScene();
    SetSceneOpen(0);
  }
  DeviceCalls.DeviceSetDialogBoxMode(flag ? TRUE : FALSE);
  return 0;
}
