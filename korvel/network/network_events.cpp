#include "core/log.h"
#include "network_internal.h"

namespace {
// Connections the per-frame pump ends: those in error, and closed ones that asked for it.
bool IsDeletedByPump(const NETWORK_HANDLE_RECORD* r) {
  if (r->valid != 1) return false;
  return r->error == 1 || (r->connected == 0 && r->closeWord == 1 && r->autoDelete == 1);
}

NETWORK_HANDLE_RECORD* FindRecordOfSocket(SOCKET socket) {
  int cursor = -1;
  while (HANDLE_HEAD* head = NextHandleRecord(HANDLE_TYPE_NETWORK, &cursor)) {
    NETWORK_HANDLE_RECORD* r = (NETWORK_HANDLE_RECORD*)head;
    if (r->socket == socket) return r;
  }
  return nullptr;
}
}  // namespace

int PumpNetworkMessages(int deleteClosed) {
  if (NetworkState.window == nullptr || !NetworkState.initialised) return 0;
  int locked = EnterNetworkLock();
  if (deleteClosed == 1) {
    int cursor = -1;
    while (HANDLE_HEAD* head = NextHandleRecord(HANDLE_TYPE_NETWORK, &cursor)) {
      if (IsDeletedByPump((NETWORK_HANDLE_RECORD*)head) && NetworkState.initialised)
        DeleteHandle(head->handle);
    }
  }
  MSG msg;
  while (PeekMessageA(&msg, NetworkState.window, 0, 0, PM_REMOVE)) {
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
  LeaveNetworkLock(locked);
  return 0;
}

int DispatchSocketEvent(HWND, UINT, WPARAM socket, LPARAM event) {
  int locked = EnterNetworkLock();
  NETWORK_HANDLE_RECORD* r = FindRecordOfSocket((SOCKET)socket);
  if (r == nullptr) {
    LeaveNetworkLock(locked);
    WriteLogText("通信エラー No.1\n");
    return 0;
  }
  int code = WSAGETSELECTEVENT(event), error = WSAGETSELECTERROR(event);
  int result = 1;
  if (r->busy) {
    if (code == FD_READ) r->readEventPending = 1;
    if (code == FD_WRITE) r->writeEventPending = 1;
  } else {
    switch (code) {
      case FD_READ: RecvSocket(r->head.handle); break;
      case FD_WRITE: SendSocket(r->head.handle); break;
      case FD_ACCEPT: result = AcceptNetWork(); break;
      case FD_CONNECT:
        if (error == 0) {
          r->connected = 1;
          r->connecting = 0;
        }
        break;
      case FD_CLOSE:
        r->connected = 0;
        r->closeWord = 0;
        break;
      default: break;
    }
  }
  LeaveNetworkLock(locked);
  return result;
}
