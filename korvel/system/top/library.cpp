#include "system/top/library.h"

#include <windows.h>

#include <cstdarg>

#include "core/log.h"
#include "core/memory.h"
#include "font/screen_log.h"
#include "core/strings.h"
#include "core/winapi.h"
#include "file/file_access.h"
#include "file/vfs.h"
#include "graphics/device/graphics_hooks.h"
#include "graphics/graphs/movie_graph_hooks.h"
#include "graphics/lifecycle/graphics_startup.h"
#include "graphics/device/screen.h"
#include "graphics/draw/draw_target.h"
#include "graphics/lifecycle/screen_mode.h"
#include "image/image_load.h"
#include "input/input_devices.h"
#include "sound/music.h"
#include "sound/sound_convert.h"
#include "sound/sound_system.h"
#include "system/base/sysinfo.h"
#include "system/base/api_lock.h"
#include "image/soft_image.h"
#include "input/text_input.h"
#include "movie/movie_graph.h"
#include "movie/movie_handles.h"
#include "movie/yuv_tables.h"
#include "korvel.h"
#include "model/model_system.h"
#include "network/network.h"
#include "system/base/system_hooks.h"
#include "system/top/pump_services.h"
#include "system/top/window_mode_switch.h"
#include "system/top/window_start.h"
#include "system/base/window_services.h"
#include "system/base/window_state.h"

namespace {
const char* const kRefuse24Bit = "Korvelは２４ビットカラーモードに対応していません\n";
// A window that will not go away is asked this many times before the shut-down goes on. The
// loop asks after this process's own window: with several instances running, a search by
// class name may find another instance's window first.
const int kDestroyAttempts = 20;
// The end pumps until the window is gone, for at most this long.
const DWORD kEndPumpLimitMs = 5000;
// Graphics' calls up to the layers above it: the on-screen log drawn at each flip, and the
// movies that movie graphs show.
const GRAPHICS_HOOKS kGraphicsHooks = {IsScreenLogShown, DrawScreenLog};
const MOVIE_GRAPH_HOOKS kMovieGraphHooks = {AdvanceMovieFrame, MarkMovieOverlayLost, DeleteMovieHandle,
                                            GetMovieLoadOption, LoadGraphAsMovie};

// A fullscreen request must name a mode the display lists. 640 x 480 at 16 bits may move to
// 32 bits, 320 x 240 is emulated on 640 x 480 while hardware rendering is wanted, and any
// other unlisted mode starts in a window instead.
void CheckFullscreenScreenMode() {
  for (;;) {
    int bits = GetScreenColorBits(), width = 0, height = 0;
    QueryMainScreenSize(&width, &height);
    AddLogLineFormat("設定されている画面設定 %dx%d %dbit color", width, height, bits);
    int found = 0;
    for (int i = 0, n = CountDisplayModes(); i < n && !found; i++) {
      DISPLAY_MODE mode = GetDisplayModeRecord(i);
      found = mode.width == width && mode.height == height && mode.bits == bits;
    }
    if (found) break;
    WriteLogText("対応している画面モードなし\n");
    if (width == 640 && height == 480 && bits == 16) {
      SetScreenMode(640, 480, 32, ScreenState.refreshRate);
      continue;
    }
    if (!(width == 320 && height == 240 && IsHardwareRenderingWanted())) ChangeWindowMode(1);
    break;
  }
  int width = 0, height = 0;
  QueryMainScreenSize(&width, &height);
  if (width == 320 && height == 240 && !WindowState.windowedMode) {
    SetSmallScreenEmulation(1);
    StoreMainScreenSize(640, 480);
  }
}

// What the base room's pump, wait and window styling reach up to (system/base/system_hooks.h).
void SetPumpAndWindowHooks() {
  SYSTEM_HOOKS hooks = {};
  hooks.frameServices = RunPumpFrameServices;
  hooks.waitServices = RunPumpWaitServices;
  hooks.refreshWindow = RefreshWindowFromBackBuffer;
  hooks.isFlipInProgress = IsFlipInProgress;
  hooks.windowBaseSize = GetShownScreenSize;
  SetSystemHooks(&hooks);
}

int FailStart() {
  LibraryFlags.starting = 0;
  return -1;
}
}  // namespace

int InitLibrary() {
  if (LibraryFlags.started == 1) return 0;
  EnterApiLock();
  int result = InitLibraryCore();
  LeaveApiLock();
  return result;
}

int EndLibrary() {
  if (LibraryFlags.started == 0) return 0;
  EnterApiLock();
  int result = EndLibraryCore();
  LeaveApiLock();
  ReleaseApiLockResources();
  return result;
}

int InitLibraryCore() {
  if (LibraryFlags.started == 1) return 0;
  LibraryFlags.starting = 1;
  SetPumpAndWindowHooks();
  ClearQuitRequest();
  WindowState.mainThreadId = GetCurrentThreadId();
  SetGraphicsHooks(&kGraphicsHooks);
  SetMovieGraphHooks(&kMovieGraphHooks);

  LoadWinApiTable();
  BuildYuvToRgbTables();
  InitVfs();
  InstallFileAccessTable(nullptr);

  GetFileStreamDirectory(WindowState.startupFolder);
  SetLogFolderIfEmpty(WindowState.startupFolder);
  StartLog();

  if (!WindowState.windowedMode) CheckFullscreenScreenMode();

  if (!LibraryFlags.noWindow && WindowState.windowedMode == 1 && ReadDesktopColorBits() == 24) {
    WriteLogText(kRefuse24Bit);
    return FailStart();
  }

  QueryPerformanceFrequency(&WindowState.counterFrequency);
  WindowState.usePerformanceCounter = WindowState.counterFrequency.QuadPart != 0 ? 1 : 0;

  LogSystemInfo();

  // The built-in graph restore after device loss, whatever an earlier run left.
  SetGraphicsRestoreHandler(nullptr);

  StartCom();

  if (InitMainWindow() == -1) return FailStart();
  if (!LibraryFlags.inputOff && StartInputDevices() == -1) return FailStart();
  if (!LibraryFlags.soundOff) {
    LoadAcmFunctions();
    SetUpSoundSystem();
  }
  if (!LibraryFlags.graphicsOff) {
    StartImageModule();
    StartSoftImageHandleType();
    SetUpMovieHandles();
  }
  if (!LibraryFlags.graphicsOff && StartUpGraphics() < 0) return FailStart();
  InitTextInput();

  LibraryFlags.started = 1;
  if (!WindowState.windowedMode) ForceForegroundWindow(WindowState.mainWindow, 1);
  StartScreenLog();
  SelectDrawTarget(-2);
  SelectDrawTarget(-4);
  if (!LibraryFlags.graphicsOff) InitModelSystem();
  LibraryFlags.starting = 0;
  return 0;
}

int EndLibraryCore() {
  if (LibraryFlags.started == 0) return 0;
  WindowState.ending = 1;

  DeleteAllSoftImages();
  EndScreenLog();
  ShutDownNetwork();
  StopBackgroundMusic();
  TerminateModelSystem();
  ShutDownGraphics();
  EndImageModule();
  EndSoftImageHandleType();
  ShutDownMovieHandles();
  ShutDownInputDevices();
  ShutDownSoundSystem();
  UnloadAcmFunctions();
  CloseMainWindow();
  EndCom();

  LibraryFlags.started = 0;

  if (!LibraryFlags.noWindow)
    for (DWORD start = GetTickCount(); PumpWindowMessages() == 0 && !WindowState.windowQuit &&
                                       !WindowState.windowDestroyed && GetTickCount() - start < kEndPumpLimitMs;) {
    }
  UnregisterClassA(WindowState.className, WindowState.instance);
  if (!LibraryFlags.noWindow && WindowState.mainWindow != nullptr)
    for (int i = 0; i < kDestroyAttempts && IsWindow(WindowState.mainWindow); i++) {
      DestroyWindow(WindowState.mainWindow);
      Sleep(100);
      // The class could not go while its window lived; unregister it now so that the next
      // start can register it again.
      UnregisterClassA(WindowState.className, WindowState.instance);
    }

  SetFileStreamDirectory(WindowState.startupFolder);
  EndVfs();
  DumpAllocatedBlocks();
  FreeWinApiTable();
  return 0;
}

[[noreturn]] void ExitWithFatalError(const char* message) {
  WriteLogText(message);
  WriteLogText("\n");
  // The shut-down pumps the main window and stops the loader threads, so it runs only on the
  // main thread; a fatal error on another thread ends the process without it rather than
  // wait for itself.
  if (WindowState.mainThreadId == 0 || GetCurrentThreadId() == WindowState.mainThreadId) EndLibraryCore();
  ReleaseApiLockResources();
  ExitProcess((UINT)-1);
}

[[noreturn]] void ExitWithFatalErrorFormat(const char* format, ...) {
  char buffer[1024];
  va_list args;
  va_start(args, format);
  FormatStringV(buffer, sizeof(buffer), format, args);
  va_end(args);
  ExitWithFatalError(buffer);
}

int StartCom() {
  if (WindowState.comStarted) return -1;
  WriteLogText("ＣＯＭの初期化... ");
  HRESULT hr = WinApi.ole32.CoInitializeEx != nullptr ? WinApi.ole32.CoInitializeEx(nullptr, 0) : E_FAIL;
  if (FAILED(hr)) {
    WriteLogText("ＣＯＭの初期化に失敗しました\n");
    return -1;
  }
  WriteLogText("成功しました\n");
  WindowState.comStarted = 1;
  return 0;
}

int EndCom() {
  if (!WindowState.comStarted) return -1;
  if (WinApi.ole32.CoUninitialize != nullptr) WinApi.ole32.CoUninitialize();
  WriteLogText("ＣＯＭを終了... 完了\n");
  WindowState.comStarted = 0;
  return 0;
}
