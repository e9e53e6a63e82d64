#include "system/base/pump.h"

#include "korvel.h"
#include "system/base/api_lock.h"
#include "system/base/library_flags.h"
#include "system/base/system_hooks.h"
#include "system/base/timers.h"
#include "system/base/window_state.h"

namespace {
const int kMessagesPerCall = 5;
const int kEndingPassLimit = 10;
const int kRedrawInterval = 64;

bool IsWaiting() {
  return (WindowState.active == 0 || WindowState.minimised == 1) && WindowState.runWhileInactive == 0;
}

// A pending partial repaint is finished while the pump waits for the window.
void FinishPendingRedraw() {
  if (WindowState.redrawPending != 1) return;
  int now = GetMillisecondCount();
  if (now - WindowState.lastRedrawTime <= kRedrawInterval) return;
  WindowState.lastRedrawTime = now;
  WindowState.redrawPending = 0;
  RefreshWindowHook();
}

bool TakeMessage(MSG* msg) {
  if (PeekMessageA(msg, nullptr, 0, 0, PM_NOREMOVE) && PeekMessageA(msg, nullptr, 0, 0, PM_REMOVE)) return true;
  if (PeekMessageA(msg, (HWND)-1, 0, 0, PM_REMOVE)) return true;
  return PeekMessageA(msg, WindowState.mainWindow, 0, 0, PM_REMOVE) != 0;
}

// The message loop: at most five messages per call while active; while waiting for the
// window it keeps passing (and sleeping) until the window is back or the window has gone.
void RunPasses() {
  int passes = 0, stopAfterPass = 0, messageCount = 0;
  for (;;) {
    bool waiting = IsWaiting();
    if (WindowState.closing || WindowState.deferred.count > 0 || !waiting) {
      if (stopAfterPass == 1 || WindowState.windowQuit) return;
    }
    stopAfterPass = 1;
    if (waiting) {
      Sleep(1);
      FinishPendingRedraw();
    }
    MSG msg;
    while (TakeMessage(&msg)) {
      if (msg.message == WM_ACTIVATEAPP && WindowState.windowedMode) WindowState.active = LOWORD(msg.wParam);
      if (WindowState.windowQuit) return;
      if (msg.message == WM_QUIT) {
        WindowState.windowQuit = 1;
        SetQuitRequest();
      }
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
      if (++messageCount == kMessagesPerCall) {
        messageCount = 0;
        stopAfterPass = 1;
        break;
      }
      stopAfterPass = 0;
    }
    if (IsWaiting()) {
      RunWaitServicesHook();
      Sleep(24);
    }
    if (WindowState.windowQuit || GetCurrentThreadId() != WindowState.mainThreadId) return;
    passes++;
    if (WindowState.ending && passes >= kEndingPassLimit) return;
  }
}
}  // namespace

int PumpWindowMessages() {
  if (LibraryFlags.pumpReentryGuard) return 0;
  WindowState.inPump = 1;
  if (WindowState.mainWindow != nullptr) {
    RunPasses();
    RunFrameServicesHook();
  }
  int result = WindowState.windowQuit == 1 ? -1 : 0;
  WindowState.inPump = 0;
  return result;
}

int PumpWindowMessagesLocked() {
  EnterApiLock();
  int result = PumpWindowMessages();
  LeaveApiLock();
  return result;
}

int IsInactiveWaitNeeded() {
  // A flip under way and a repaint finish their drawing first.
  if (IsFlipInProgressHook() || WindowState.inPaint) return 0;
  return ((WindowState.active == 0 || WindowState.minimised == 1) && WindowState.runWhileInactive == 0) ? 1 : 0;
}

void WaitWhileInactive() {
  if (!IsInactiveWaitNeeded() || WindowState.windowQuit || WindowState.mainWindow == nullptr) return;
  while (PumpWindowMessages() == 0)
    if (WindowState.active && !WindowState.minimised) return;
}

int WaitMilliseconds(int ms) {
  long long start = GetMicrosecondCount();
  if (start < 0) {  // no multimedia timer: a plain sleep
    Sleep((DWORD)(ms > 0 ? ms : 0));
    return 0;
  }
  int span = ms * 1000;
  if (span > 4000) {
    int pumped = PumpWindowMessagesLocked();
    while (GetMicrosecondCount() < start + span - 4000 && pumped == 0) {
      Sleep(1);
      pumped = PumpWindowMessagesLocked();
    }
  }
  while (GetMicrosecondCount() < start + span) {
  }
  return 0;
}
