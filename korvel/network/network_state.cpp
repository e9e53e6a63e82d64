#include <cstdarg>

#include "core/log.h"
#include "core/strings.h"
#include "core/threads.h"
#include "core/winapi.h"
#include "network_internal.h"

NETWORK_STATE NetworkState;

namespace {
const DWORD kShutDownWaitMs = 2000;  // the longest the shut-down waits for the thread, and for the window

// The optional network thread sets its ended flag once it sees the end request; a thread
// that has gone without setting it is not waited for, nor one that does not answer in time.
void StopNetworkThread() {
  NETWORK_STATE& s = NetworkState;
  s.threadEndRequest = 1;
  for (DWORD start = GetTickCount(); !s.threadEnded && GetTickCount() - start < kShutDownWaitMs;) {
    if (WaitForSingleObject(s.thread, 0) != WAIT_TIMEOUT) break;
    Sleep(1);
  }
  CloseHandle(s.thread);
  s.thread = nullptr;
}

// The window closes on the WM_CLOSE posted to it; the pump dispatches a bounded number of
// messages per call, so it is pumped until the window has gone or the time is up (not from
// inside a pump, where a pump returns at once).
void CloseNetworkWindow() {
  NETWORK_STATE& s = NetworkState;
  // Every socket is closed by now: socket events still queued for the window are of
  // connections that have gone, and are dropped rather than reported as unknown sockets.
  MSG msg;
  for (int n = 0; n < 65536 && PeekMessageA(&msg, s.window, NETWORK_SOCKET_MESSAGE, NETWORK_SOCKET_MESSAGE, PM_REMOVE); n++) {
  }
  PostMessageA(s.window, WM_CLOSE, 0, 0);
  for (DWORD start = GetTickCount(); !s.pumpRunning; Sleep(1)) {
    PumpNetworkMessages(0);
    if (s.windowClosed || !IsWindow(s.window) || GetTickCount() - start >= kShutDownWaitMs) break;
  }
}
}  // namespace

int EnterNetworkLock() {
  if (!IsHandleTypeReady(HANDLE_TYPE_NETWORK)) return 0;
  LockHandleType(HANDLE_TYPE_NETWORK);
  return 1;
}

void LeaveNetworkLock(int entered) {
  if (entered) UnlockHandleType(HANDLE_TYPE_NETWORK);
}

NETWORK_HANDLE_RECORD* FindNetworkRecord(HANDLE_VALUE handle) {
  if (handle < 0 || GetHandleType(handle) != HANDLE_TYPE_NETWORK) return nullptr;
  HANDLE_HEAD* head = LookupHandleRecord(handle);
  if (head == nullptr || head->pendingLoads != 0) return nullptr;
  return (NETWORK_HANDLE_RECORD*)head;
}

int LogNetworkError(const char* format, ...) {
  int code = WinApi.ws2.WSAGetLastError != nullptr ? WinApi.ws2.WSAGetLastError() : 0;
  char text[1024];
  va_list args;
  va_start(args, format);
  FormatStringV(text, sizeof(text), format, args);
  va_end(args);
  AddLogLineFormat("ネットワークログ。%s[%d]", text, code);
  return -1;
}

int TerminateNetworkHandle(HANDLE_HEAD* head) {
  NETWORK_HANDLE_RECORD* record = (NETWORK_HANDLE_RECORD*)head;
  if (record->socket != INVALID_SOCKET && WinApi.ws2.closesocket != nullptr) WinApi.ws2.closesocket(record->socket);
  record->socket = INVALID_SOCKET;
  ForgetReceivedBytes(record);
  FreeRingBuffer(&record->receiveRing);
  FreeRingBuffer(&record->sendRing);
  return 0;
}

int ShutDownNetwork() {
  NETWORK_STATE& s = NetworkState;
  if (!s.initialised) return 0;
  WriteLogText("ネットワーク関連の終了処理を行います \n");
  if (s.thread != nullptr) StopNetworkThread();
  EndHandleType(HANDLE_TYPE_NETWORK);
  if (s.window != nullptr) CloseNetworkWindow();
  s = NETWORK_STATE{};
  if (WinApi.ws2.WSACleanup != nullptr) WinApi.ws2.WSACleanup();
  WriteLogText("ネットワーク関連の終了処理は完了しました\n");
  return 0;
}
