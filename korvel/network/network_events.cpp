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

// What one pump call may still do: bytes moved by passes and time, counted from its start.
struct PUMP_BUDGET {
  uint32_t startBytes;
  LONGLONG deadline;  // performance counter
};

PUMP_BUDGET StartPumpBudget() {
  LARGE_INTEGER now, frequency;
  QueryPerformanceCounter(&now);
  QueryPerformanceFrequency(&frequency);
  return {NetworkState.movedBytes, now.QuadPart + frequency.QuadPart * NETWORK_PUMP_MILLISECONDS / 1000};
}

bool PumpBudgetLeft(const PUMP_BUDGET& budget) {
  if (NetworkState.movedBytes - budget.startBytes >= (uint32_t)NETWORK_PUMP_BYTES) return false;
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  return now.QuadPart < budget.deadline;
}

// Walks the connections before any message: limits and the automatic delete.
void CheckConnections(int deleteClosed) {
  int cursor = -1;
  while (HANDLE_HEAD* head = NextHandleRecord(HANDLE_TYPE_NETWORK, &cursor)) {
    NETWORK_HANDLE_RECORD* r = (NETWORK_HANDLE_RECORD*)head;
    LimitHeldBytes(r);
    if (deleteClosed == 1 && IsDeletedByPump(r) && NetworkState.initialised) DeleteHandle(head->handle);
  }
}

// Goes on with the sends that stopped at their byte limit while the pump's budget lasts,
// starting after the connection resumed last, so that each gets its turn.
void ResumeSends(const PUMP_BUDGET& budget) {
  int first = NetworkState.resumeSlot, cursor = first;
  for (bool wrapped = false;;) {
    HANDLE_HEAD* head = NextHandleRecord(HANDLE_TYPE_NETWORK, &cursor);
    if (head == nullptr && !wrapped) {
      wrapped = true;
      cursor = -1;
      continue;
    }
    if (head == nullptr || (wrapped && cursor > first)) return;
    if (!((NETWORK_HANDLE_RECORD*)head)->sendResume) continue;
    if (!PumpBudgetLeft(budget)) {
      WakeNetworkPump();
      return;
    }
    NetworkState.resumeSlot = cursor;
    SendSocket(head->handle);
  }
}
}  // namespace

void WakeNetworkPump() {
  if (NetworkState.wakePosted || NetworkState.window == nullptr) return;
  NetworkState.wakePosted = 1;
  PostMessageA(NetworkState.window, WM_NULL, 0, 0);
}

void CloseNetworkConnection(NETWORK_HANDLE_RECORD* r) {
  r->connected = 0;
  r->closeWord = 0;
}

// Passes never pump, and a pump entered again from a window procedure it dispatched returns at
// once: the stack does not grow with the number of connections or events.
int PumpNetworkMessages(int deleteClosed) {
  NETWORK_STATE& s = NetworkState;
  if (s.window == nullptr || !s.initialised) return 0;
  int locked = EnterNetworkLock();
  if (s.pumpRunning) {
    LeaveNetworkLock(locked);
    return 0;
  }
  s.pumpRunning = 1;
  HWND window = s.window;
  PUMP_BUDGET budget = StartPumpBudget();
  s.wakePosted = 0;
  CheckConnections(deleteClosed);
  ResumeSends(budget);
  // At least one message per call, whatever the budget, so that every call makes progress.
  MSG msg;
  for (int count = 0; count < NETWORK_PUMP_MESSAGES && (count == 0 || PumpBudgetLeft(budget)) &&
                      PeekMessageA(&msg, window, 0, 0, PM_REMOVE);
       count++) {
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
  s.pumpRunning = 0;
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
      case FD_CLOSE: CloseNetworkConnection(r); break;
      default: break;
    }
  }
  LeaveNetworkLock(locked);
  return result;
}
