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
  r->receiveWaiting = r->messageWaiting = r->countedBytes = r->markerAwaited = 0;
  if (!r->framed) return;
  InitRingBuffer(&r->receiveRing);
  InitRingBuffer(&r->sendRing);
  r->bytesExpected = r->messageSize = r->totalReceived = 0;
  r->lengthHeld = 0;
  r->sendBytesLeft = 0;
  r->headerUnsent = 0;
  r->sendResume = 0;
}

// A connection accepted on the listening socket, with the peer's address and port as they come.
struct ACCEPTED_PEER {
  SOCKET socket;
  union {
    sockaddr_in v4;
    sockaddr_in6 v6;
  } address;
};

bool AcceptPeer(ACCEPTED_PEER* peer, const NETWORK_HANDLE_RECORD* listener) {
  *peer = ACCEPTED_PEER{};
  int length = listener->ipv6 ? (int)sizeof(sockaddr_in6) : (int)sizeof(sockaddr_in);
  peer->socket = WinApi.ws2.accept(listener->socket, (sockaddr*)&peer->address, &length);
  return peer->socket != INVALID_SOCKET;
}

void KeepPeer(NETWORK_HANDLE_RECORD* r, const ACCEPTED_PEER& peer) {
  r->socket = peer.socket;
  if (r->ipv6) {
    memcpy(r->peerAddress6, &peer.address.v6.sin6_addr, sizeof(r->peerAddress6));
    r->peerPort = peer.address.v6.sin6_port;
  } else {
    memcpy(r->peerAddress4, &peer.address.v4.sin_addr, sizeof(r->peerAddress4));
    r->peerPort = peer.address.v4.sin_port;
  }
}

// WinSock announces the next connection only after an accept call, and not after one that
// failed inside it: selecting the accept event again announces a connection still waiting.
void RearmListener(const NETWORK_HANDLE_RECORD* listener) {
  WinApi.ws2.WSAAsyncSelect(listener->socket, NetworkState.window, NETWORK_SOCKET_MESSAGE, FD_ACCEPT);
}

// The socket's value may have been an earlier connection's, whose events can still wait in the
// window's queue: a marker posted behind them (before the new socket is selected, so before any
// event of its own) tells the dispatcher where the new connection's events begin.
void PostFreshSocketMarker(NETWORK_HANDLE_RECORD* r) {
  int serial = NetworkState.markerSerial % 0xFFFF + 1;
  NetworkState.markerSerial = serial;
  if (PostMessageA(NetworkState.window, NETWORK_SOCKET_MESSAGE, (WPARAM)r->socket,
                   WSAMAKESELECTREPLY(NETWORK_FRESH_SOCKET_EVENT, serial)))
    r->markerAwaited = serial;
}

// accept() comes first, whatever follows: a connection that no handle can take is closed
// again, so that the listener goes on announcing the next ones. -> 1, -1, or 0 when asked to
// stay quiet and no connection was waiting.
int AcceptLocked(bool quietWhenNoneWaits) {
  NETWORK_HANDLE_RECORD* listener = FindNetworkRecord(NetworkState.listenHandle);
  if (listener == nullptr) return -1;
  ACCEPTED_PEER peer;
  if (!AcceptPeer(&peer, listener)) {
    if (quietWhenNoneWaits && WinApi.ws2.WSAGetLastError != nullptr && WinApi.ws2.WSAGetLastError() == WSAEWOULDBLOCK)
      return 0;
    LogNetworkError("acceptに失敗しました");
    RearmListener(listener);
    return -1;
  }
  HANDLE_VALUE handle = NewHandle(HANDLE_TYPE_NETWORK, -1);
  NETWORK_HANDLE_RECORD* r = FindNetworkRecord(handle);
  if (r == nullptr) {
    WriteLogText("accept 用のハンドル作成に失敗しました \n");
    if (handle != -1) DeleteHandle(handle);
    WinApi.ws2.closesocket(peer.socket);
    return -1;
  }
  FillAcceptedRecord(r, listener);
  KeepPeer(r, peer);
  PostFreshSocketMarker(r);
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
  int result = AcceptLocked(false);
  LeaveNetworkLock(locked);
  return result;
}

// One accept event takes in every connection waiting, not one: under a flood of connections
// the next accept event would wait behind every event queued meanwhile. The batch is bounded
// by a count and the pump's time; when it stops there, the next pump goes on with it before
// any queued event.
int AcceptWaitingConnections() {
  if (!NetworkState.initialised) return -1;
  int locked = EnterNetworkLock();
  NetworkState.acceptResume = 0;
  int result = -1, one = 1;
  DWORD start = GetTickCount();
  for (int n = 0; n < NETWORK_ACCEPTS_PER_EVENT && one == 1; n++) {
    one = AcceptLocked(true);
    if (one == 1) result = 1;
    if (one == 1 && GetTickCount() - start >= (DWORD)NETWORK_PUMP_MILLISECONDS) break;
  }
  if (one == 1) {
    NetworkState.acceptResume = 1;
    WakeNetworkPump();
  }
  LeaveNetworkLock(locked);
  return result;
}
