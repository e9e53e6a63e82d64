#include "system/top/window_start.h"

#include <cstddef>

#include "core/log.h"
#include "core/random.h"
#include "core/strings.h"
#include "core/winapi.h"
#include "file/async_load.h"
#include "file/file_access.h"
#include "input/key_input.h"
#include "input/text_input.h"
#include "korvel.h"
#include "system/base/layered_window.h"
#include "system/base/sysinfo.h"
#include "system/base/timers.h"
#include "system/base/window_mode.h"
#include "system/base/window_services.h"
#include "system/base/window_state.h"
#include "system/top/window_proc.h"

namespace {
const char* const kDefaultClassName = "K123987V";
const char* const kDefaultTitle = "Korvel";
const int kTimerTestChanges = 60;
const int kTimerTestSpan = 1000;

// Every field becomes 0 except what a program set before start-up and what the earlier
// start-up steps found. The API lock is never touched: the start-up runs inside it.
void ResetWindowState() {
  static WINDOW_STATE saved;
  CopyMemoryBytes(&saved, &WindowState, offsetof(WINDOW_STATE, apiLock));
  FillBytes(&WindowState, 0, offsetof(WINDOW_STATE, apiLock));
  WINDOW_STATE& w = WindowState;
  w.totalMemory = saved.totalMemory;
  w.availableMemory = saved.availableMemory;
  CopyMemoryBytes(w.osDescription, saved.osDescription, sizeof(w.osDescription));
  CopyMemoryBytes(w.processorName, saved.processorName, sizeof(w.processorName));
  w.processorMhz = saved.processorMhz;
  w.logicalProcessorCount = saved.logicalProcessorCount;
  w.directXVersion = saved.directXVersion;
  w.osCode = saved.osCode;
  w.mmx = saved.mmx;
  w.sse = saved.sse;
  w.sse2 = saved.sse2;
  w.timeStampCounter = saved.timeStampCounter;
  w.timeStampTicksPerSecond = saved.timeStampTicksPerSecond;
  w.windowedMode = saved.windowedMode;
  w.runWhileInactive = saved.runWhileInactive;
  w.styleMode = saved.styleMode;
  w.region = saved.region;
  w.menu = saved.menu;
  w.menuInUse = saved.menuInUse;
  w.menuUserHidden = saved.menuUserHidden;
  w.layeredWindow = saved.layeredWindow;
  w.dragAcceptFiles = saved.dragAcceptFiles;
  w.iconId = saved.iconId;
  w.userIcon = saved.userIcon;
  w.comStarted = saved.comStarted;
  w.allowMultipleInstances = saved.allowMultipleInstances;
  w.userPositionX = saved.userPositionX;
  w.userPositionY = saved.userPositionY;
  w.userPositionInUse = saved.userPositionInUse;
  w.resizable = saved.resizable;
  w.keepClientSize = saved.keepClientSize;
  w.scaleX = saved.scaleX;
  w.scaleY = saved.scaleY;
  w.mainWindow = saved.mainWindow;
  CopyMemoryBytes(w.startupFolder, saved.startupFolder, sizeof(w.startupFolder));
  CopyMemoryBytes(w.windowTitle, saved.windowTitle, sizeof(w.windowTitle));
  CopyMemoryBytes(w.className, saved.className, sizeof(w.className));
}

int FailWindowStart() {
  WindowState.windowQuit = 1;
  SetQuitRequest();
  return -1;
}

void LogMemory() {
  typedef BOOL(WINAPI * MemoryStatusEx)(LPMEMORYSTATUSEX);
  if (WindowState.osCode >= OS_CODE_WIN2000) {
    MemoryStatusEx query = (MemoryStatusEx)(void*)GetProcAddress(GetModuleHandleA("Kernel32.dll"), "GlobalMemoryStatusEx");
    MEMORYSTATUSEX status = {};
    status.dwLength = sizeof(status);
    if (query != nullptr && query(&status)) {
      WindowState.totalMemory = status.ullTotalPhys;
      WindowState.availableMemory = status.ullAvailPhys;
      AddLogLineFormat("メモリ総量:%.2fMB  空きメモリ領域:%.2fMB ", status.ullTotalPhys / 1048576.0,
                       status.ullAvailPhys / 1048576.0);
    }
  }
  if (WindowState.availableMemory == 0) {
    MEMORYSTATUS status = {};
    status.dwLength = sizeof(status);
    GlobalMemoryStatus(&status);
    WindowState.totalMemory = status.dwTotalPhys;
    WindowState.availableMemory = status.dwAvailPhys;
    AddLogLineFormat("メモリ総量:%.2fMB  空きメモリ領域:%.2fMB ", status.dwTotalPhys / 1048576.0,
                     status.dwAvailPhys / 1048576.0);
  }
}

// Begins the finest multimedia timer period and picks the clock that changes more often.
void ChooseTimer() {
  LARGE_INTEGER frequency;
  QueryPerformanceFrequency(&frequency);
  WindowState.counterFrequency = frequency;
  WindowState.usePerformanceCounter = frequency.QuadPart != 0 ? 1 : 0;
  TIMECAPS caps = {};
  if (WinApi.winmm.timeGetDevCaps != nullptr && WinApi.winmm.timeBeginPeriod != nullptr &&
      WinApi.winmm.timeGetDevCaps(&caps, sizeof(caps)) == 0) {
    WinApi.winmm.timeBeginPeriod(caps.wPeriodMin);
    WindowState.timerPeriod = caps.wPeriodMin;
  }
  // Without winmm there is no multimedia timer to compare against.
  if (!WindowState.usePerformanceCounter || WinApi.winmm.timeGetTime == nullptr) return;
  WriteLogText("タイマーの精度を検査します\n");
  DWORD start = WinApi.winmm.timeGetTime(), lastTime = start;
  LARGE_INTEGER lastCount;
  QueryPerformanceCounter(&lastCount);
  int timeChanges = 0, counterChanges = 0;
  while (timeChanges < kTimerTestChanges && counterChanges < kTimerTestChanges) {
    DWORD time = WinApi.winmm.timeGetTime();
    LARGE_INTEGER count;
    QueryPerformanceCounter(&count);
    if (time != lastTime) timeChanges++;
    if (count.QuadPart != lastCount.QuadPart) counterChanges++;
    lastTime = time;
    lastCount = count;
    if (time - start >= (DWORD)kTimerTestSpan) break;
  }
  AddLogLineFormat("精度結果 更新回数 マルチメディアタイマー：%d  パフォーマンスカウンター：%d", timeChanges, counterChanges);
  WriteLogText(" ");
  if (timeChanges > counterChanges) {
    AddLogLineFormat("Multi Media Timer を使用します Timer 精度 : %d.00 ms ", (int)caps.wPeriodMin);
    WindowState.usePerformanceCounter = 0;
  } else {
    AddLogLineFormat("パフォーマンスカウンターを使用します タイマー精度 : %lf KHz ", frequency.QuadPart / 1000.0);
  }
  WriteLogText(" ");
}

void ChooseCharSet() {
  if (GetCharSetCode() != 0) return;
  int code = CHARSET_SHIFTJIS, page = 0;
  switch (GetOEMCP()) {
    case 932: code = CHARSET_SHIFTJIS; page = 932; break;
    case 936: code = CHARSET_SIMPLIFIED_CHINESE; page = 936; break;
    case 949: code = CHARSET_KOREAN; page = 949; break;
    case 950: code = CHARSET_TRADITIONAL_CHINESE; page = 950; break;
    default: break;
  }
  SetCharSetCode(code);
  SetCharCodePage(page);
}

// 0 when this instance may go on.
int CheckSecondInstance() {
  WriteLogText("ソフトの二重起動検査... ");
  if (FindWindowA(WindowState.className, nullptr) == nullptr) {
    WriteLogText("二重起動はされていませんでした\n");
    return 0;
  }
  if (WindowState.allowMultipleInstances == 0) {
    WriteLogText("二重起動されています、ソフトを終了します\n");
    return -1;
  }
  WriteLogText("二重起動されていますが続行します\n");
  return 0;
}

void RegisterWindowClass() {
  WNDCLASSEXA wc = {};
  wc.cbSize = sizeof(wc);
  wc.style = CS_HREDRAW | CS_VREDRAW;
  wc.lpfnWndProc = LibraryWindowProc;
  wc.hInstance = WindowState.instance;
  wc.hIcon = WindowState.iconId != 0 ? LoadIconA(WindowState.instance, MAKEINTRESOURCEA(WindowState.iconId))
                                     : LoadIconA(nullptr, IDI_APPLICATION);
  wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
  wc.hbrBackground = (HBRUSH)GetStockObject(NULL_BRUSH);
  wc.lpszClassName = WindowState.className;
  WriteLogText("ウインドウクラスを登録します... ");
  if (RegisterClassExA(&wc) != 0) {
    WriteLogText("登録に成功しました\n");
  } else {
    // The creation below is still tried; the first pump then reports the end.
    WindowState.windowQuit = 1;
    SetQuitRequest();
  }
}

HWND CreateMainWindow(int baseWidth, int baseHeight) {
  if (!WindowState.windowedMode) {
    WriteLogText("フルスクリーンモード用のウインドウを作成します\n");
    WindowState.cursorShown = 0;
    return CreateWindowExA(WS_EX_TOPMOST | GetLayeredExStyle(), WindowState.className, WindowState.windowTitle,
                           WS_POPUP, 0, 0, baseWidth, baseHeight, nullptr, nullptr, WindowState.instance, nullptr);
  }
  WriteLogText("ウインドウモード起動用のウインドウを作成します\n");
  DWORD style = GetWindowedStyle();
  DWORD exStyle = GetWindowStyleRow(WindowState.styleMode).windowedExStyle | GetLayeredExStyle();
  WindowState.cursorShown = 1;
  double sx, sy;
  GetWindowScale(&sx, &sy);
  RECT frame = {0, 0, (int)(baseWidth * sx), (int)(baseHeight * sy)};
  AdjustWindowRectEx(&frame, style, FALSE, exStyle);
  WindowState.captionHeight = -frame.top;
  int width = frame.right - frame.left, height = frame.bottom - frame.top;
  int x = (GetSystemMetrics(SM_CXSCREEN) - width) / 2 + frame.left;
  int y = (GetSystemMetrics(SM_CYSCREEN) - height) / 2 + frame.top;
  if (WindowState.userPositionInUse) {
    x = WindowState.userPositionX;
    y = WindowState.userPositionY;
  }
  return CreateWindowExA(exStyle, WindowState.className, WindowState.windowTitle, style, x, y, width, height, nullptr,
                         nullptr, WindowState.instance, nullptr);
}
}  // namespace

int InitMainWindow() {
  ResetWindowState();
  WindowState.instance = GetModuleHandleA(nullptr);
  WindowState.mainThreadId = GetCurrentThreadId();
  InitAsyncLoad(WindowState.mainThreadId);
  InitFileHandles();
  LookUpUpdateLayeredWindow();
  // A quit left in this thread's queue by the previous window's end would end the new
  // window at its first pump.
  MSG stale;
  while (PeekMessageA(&stale, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
  }
  if (WindowState.className[0] == 0)
    CopyStringN(WindowState.className, WindowState.windowTitle[0] != 0 ? WindowState.windowTitle : kDefaultClassName,
                255);
  LogMemory();
  WindowState.desktopWidth = GetSystemMetrics(SM_CXSCREEN);
  WindowState.desktopHeight = GetSystemMetrics(SM_CYSCREEN);
  WindowState.desktopColorBits = ReadDesktopColorBits();
  int baseWidth, baseHeight;
  GetWindowBaseSize(&baseWidth, &baseHeight);
  ChooseTimer();
  SeedRandomNumbers((uint32_t)GetMillisecondCount());

  BOOL saverActive = FALSE;
  SystemParametersInfoA(SPI_GETSCREENSAVEACTIVE, 0, &saverActive, 0);
  WindowState.screenSaverWasActive = saverActive ? 1 : 0;
  SystemParametersInfoA(SPI_SETSCREENSAVEACTIVE, FALSE, nullptr, SPIF_SENDWININICHANGE);
  ChooseCharSet();

  if (CheckSecondInstance() != 0) return FailWindowStart();
  WindowState.creatingWindow = 1;
  RegisterWindowClass();
  if (WindowState.windowTitle[0] == 0) CopyStringN(WindowState.windowTitle, kDefaultTitle, 255);
  HWND window = CreateMainWindow(baseWidth, baseHeight);
  if (window == nullptr) {
    FailWindowStart();
    WriteLogText("ウインドウの作成に失敗しました\n");
    return -1;
  }
  WindowState.mainWindow = window;
  WriteLogText("ウインドウの作成に成功しました\n");
  WriteLogText("ウインドウを表示します\n");
  ShowWindow(window, SW_SHOW);
  UpdateWindow(window);
  WindowState.closing = 0;
  WindowState.windowDestroyed = 0;
  WindowState.active = 1;
  if (!WindowState.windowedMode) {
    WriteLogText("カーソルを不可視にしました\n");
    SetCursor(nullptr);
  }
  WriteLogText("ＩＭＥを無効にしました\n");
  if (!TextInput.ime.enabled && WinApi.user32.WINNLSEnableIME != nullptr)
    WinApi.user32.WINNLSEnableIME(window, FALSE);
  if (WindowState.windowedMode) UpdateClientScreenRect(window);
  SetCursorVisible(WindowState.cursorShown);
  WindowState.ending = 0;
  BringWindowToTop(window);
  FitWindowToScreen();
  WindowState.creatingWindow = 0;
  if (StartAsyncLoadWorkers(WindowState.logicalProcessorCount) < 0) {
    WriteLogText("非同期読み込み処理を行うスレッドの立ち上げに失敗しました\n");
    return FailWindowStart();
  }
  return 0;
}

namespace {
const DWORD kClosePumpLimitMs = 5000;
}  // namespace

int CloseMainWindow() {
  HWND window = WindowState.mainWindow;
  if (window == nullptr) return 0;
  // The screen saver goes back to what it was at window start.
  SystemParametersInfoA(SPI_SETSCREENSAVEACTIVE, WindowState.screenSaverWasActive ? TRUE : FALSE, nullptr,
                        SPIF_SENDWININICHANGE);
  if (WinApi.user32.WINNLSEnableIME != nullptr) WinApi.user32.WINNLSEnableIME(window, TRUE);
  WindowState.cursorShown = 1;
  if (WindowState.cursorDisplayed != 1) {
    while (ShowCursor(TRUE) < 0) {
    }
    PostMessageA(window, WM_SETCURSOR, (WPARAM)window, 0);
    WindowState.cursorDisplayed = 1;
  }
  if (WindowState.region != nullptr) {
    DeleteObject(WindowState.region);
    WindowState.region = nullptr;
  }
  if (WindowState.menu != nullptr) {
    SetMenu(window, nullptr);
    DestroyMenu(WindowState.menu);
    WindowState.menu = nullptr;
    WindowState.menuInUse = 0;
  }
  if (!WindowState.closing) {
    WindowState.closing = 1;
    PostMessageA(window, WM_CLOSE, 0, 0);
  }
  // The close is bounded: a window that has not gone within the limit is destroyed by the
  // library's end (its DestroyWindow loop).
  DWORD start = GetTickCount();
  while (PumpWindowMessages() == 0 && !WindowState.windowDestroyed && GetTickCount() - start < kClosePumpLimitMs) {
  }
  UnregisterClassA(WindowState.className, WindowState.instance);
  DeleteAllKeyInputHandles();
  ClearDroppedFiles();
  StopAsyncLoadWorkers();
  EndFileHandles();
  EndAsyncLoad();
  if (WindowState.timerPeriod != 0 && WinApi.winmm.timeEndPeriod != nullptr) {
    WinApi.winmm.timeEndPeriod(WindowState.timerPeriod);
    WindowState.timerPeriod = 0;
  }
  ReleaseLayeredWindowImage();
  return 0;
}
