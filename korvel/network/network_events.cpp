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

// Receive rings keep their storage from one message to the next, but when the storage of all
// of them has gone beyond the receive budget, those larger than this that their owners have
// emptied give it back, so that memory follows what the connections hold, not what they once
// held.
const int kKeptRingBytes = 64 << 10;

// Walks the connections before any message: what their owners have taken, the storage of the
// receive rings, limits and the automatic delete.
void CheckConnections(int deleteClosed) {
  bool release = NetworkState.receiveStorage > NetworkReceiveBudget();
  long long storage = 0;
  int cursor = -1;
  while (HANDLE_HEAD* head = NextHandleRecord(HANDLE_TYPE_NETWORK, &cursor)) {
    NETWORK_HANDLE_RECORD* r = (NETWORK_HANDLE_RECORD*)head;
    CountReceivedBytes(r);
    if (release && r->receiveRing.held == 0 && r->receiveRing.size > kKeptRingBytes) FreeRingBuffer(&r->receiveRing);
    LimitHeldBytes(r);
    if (deleteClosed == 1 && IsDeletedByPump(r) && NetworkState.initialised) DeleteHandle(head->handle);
    else storage += r->receiveRing.size;
  }
  NetworkState.receiveStorage = storage;
}

// Goes on, while the pump's budget lasts, with the sends that stopped at their byte limit and
// the receives that stopped for room and have room now, starting after the connection taken
// up last, so that each gets its turn.
void ResumePasses(const PUMP_BUDGET& budget) {
  int first = NetworkState.resumeSlot, cursor = first;
  for (bool wrapped = false;;) {
    HANDLE_HEAD* head = NextHandleRecord(HANDLE_TYPE_NETWORK, &cursor);
    if (head == nullptr && !wrapped) {
      wrapped = true;
      cursor = -1;
      continue;
    }
    if (head == nullptr || (wrapped && cursor > first)) return;
    NETWORK_HANDLE_RECORD* r = (NETWORK_HANDLE_RECORD*)head;
    bool send = r->sendResume != 0, receive = r->receiveWaiting && ReceiveRoom(r) > 0;
    if (!send && !receive) continue;
    if (!PumpBudgetLeft(budget)) {
      WakeNetworkPump();
      return;
    }
    NetworkState.resumeSlot = cursor;
    if (send) SendSocket(head->handle);
    if (receive) RecvSocket(head->handle);
  }
}

// Events of a socket no connection holds, or of an earlier connection of a socket that a new
// one holds now, come late: they are dropped, and only the first of a burst is logged, so
// that peers opening and closing connections cannot fill the log.
int DropLateEvent() {
  NETWORK_STATE& s = NetworkState;
  DWORD now = GetTickCount();
  bool newBurst = !s.unknownBurst || now - s.unknownEventTick >= (DWORD)NETWORK_UNKNOWN_BURST_MILLISECONDS;
  s.unknownBurst = 1;
  s.unknownEventTick = now;
  if (newBurst) WriteLogText("通信エラー No.1\n");
  return 0;
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
  if (s.acceptResume) AcceptWaitingConnections();
  ResumePasses(budget);
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
  int code = WSAGETSELECTEVENT(event), error = WSAGETSELECTERROR(event);
  int locked = EnterNetworkLock();
  NETWORK_HANDLE_RECORD* r = FindRecordOfSocket((SOCKET)socket);
  if (code == NETWORK_FRESH_SOCKET_EVENT) {
    // The marker an accept posted: what follows for this socket is the new connection's.
    if (r != nullptr && r->markerAwaited == error) r->markerAwaited = 0;
    LeaveNetworkLock(locked);
    return r != nullptr ? 1 : 0;
  }
  if (r == nullptr || r->markerAwaited != 0) {
    LeaveNetworkLock(locked);
    return DropLateEvent();
  }
  int result = 1;
  if (r->busy) {
    if (code == FD_READ) r->readEventPending = 1;
    if (code == FD_WRITE) r->writeEventPending = 1;
  } else {
    switch (code) {
      case FD_READ: RecvSocket(r->head.handle); break;
      case FD_WRITE: SendSocket(r->head.handle); break;
      case FD_ACCEPT: result = AcceptWaitingConnections(); break;
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
