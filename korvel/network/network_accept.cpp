#include <ws2tcpip.h>

#include <cstring>

#include "core/log.h"
#include "core/winapi.h"
#include "network_internal.h"

namespace {
// A new connection: live, connected, framed and auto-deleted as the settings say.
void FillAcceptedRecord(NETWORK_HANDLE_RECORD* r, const NETWORK_HANDLE_RECORD* listener) {
  r->busy = 0;
  r->ipv6 = listener->ipv6;
  r->error = 0;
  r->valid = 1;
  r->connecting = 0;
  r->connected = 1;
  r->closeWord = 0;
  r->acceptWords[0] = 0;
  r->acceptWords[1] = 1;
  r->framed = NetworkState.noFraming == 0 ? 1 : 0;
  r->autoDelete = NetworkState.noAutoDelete == 0 ? 1 : 0;
  r->socket = INVALID_SOCKET;
  if (!r->framed) return;
  InitRingBuffer(&r->receiveRing);
  InitRingBuffer(&r->sendRing);
  r->bytesExpected = r->messageSize = r->totalReceived = 0;
  r->sendBytesLeft = 0;
  r->headerUnsent = 0;
}

// Accepts on the listening socket and keeps the peer's address and port as they come.
bool AcceptPeer(NETWORK_HANDLE_RECORD* r, const NETWORK_HANDLE_RECORD* listener) {
  union {
    sockaddr_in v4;
    sockaddr_in6 v6;
  } address{};
  int length = r->ipv6 ? (int)sizeof(sockaddr_in6) : (int)sizeof(sockaddr_in);
  r->socket = WinApi.ws2.accept(listener->socket, (sockaddr*)&address, &length);
  if (r->socket == INVALID_SOCKET) return false;
  if (r->ipv6) {
    memcpy(r->peerAddress6, &address.v6.sin6_addr, sizeof(r->peerAddress6));
    r->peerPort = address.v6.sin6_port;
  } else {
    memcpy(r->peerAddress4, &address.v4.sin_addr, sizeof(r->peerAddress4));
    r->peerPort = address.v4.sin_port;
  }
  return true;
}

int AcceptLocked() {
  NETWORK_HANDLE_RECORD* listener = FindNetworkRecord(NetworkState.listenHandle);
  if (listener == nullptr) return -1;
  HANDLE_VALUE handle = NewHandle(HANDLE_TYPE_NETWORK, -1);
  NETWORK_HANDLE_RECORD* r = FindNetworkRecord(handle);
  if (r == nullptr) {
    WriteLogText("accept 用のハンドル作成に失敗しました \n");
    return -1;
  }
  FillAcceptedRecord(r, listener);
  if (!AcceptPeer(r, listener)) {
    LogNetworkError("acceptに失敗しました");
    DeleteHandle(handle);
    return -1;
  }
  if (WinApi.ws2.WSAAsyncSelect(r->socket, NetworkState.window, NETWORK_SOCKET_MESSAGE, FD_READ | FD_WRITE | FD_CLOSE) ==
      SOCKET_ERROR) {
    LogNetworkError("WSAAsyncSelectのエラー in AcceptNetWork");
    DeleteHandle(handle);
    return -1;
  }
  return 1;
}
}  // namespace

// The lock is held across the whole accept and released on every path.
int AcceptNetWork() {
  if (!NetworkState.initialised) return -1;
  int locked = EnterNetworkLock();
  PumpNetworkMessages(0);
  int result = AcceptLocked();
  LeaveNetworkLock(locked);
  return result;
}
