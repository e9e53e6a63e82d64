// Real loopback connections for the network tests: a listener on 127.0.0.1 whose accept
// events reach AcceptNetWork, and peers in the same program on non-blocking sockets.
#pragma once
#include <ws2tcpip.h>

#include <algorithm>
#include <vector>

#include "network_fixture.h"

namespace network_test {

// WinSock functions only the tests use, from the module the library loaded.
struct PEER_CALLS {
  int(WSAAPI* getsockname)(SOCKET, sockaddr*, int*);
  int(WSAAPI* ioctlsocket)(SOCKET, long, u_long*);
  void(WSAAPI* WSASetLastError)(int);
};

inline PEER_CALLS PeerCalls() {
  PEER_CALLS calls{};
  calls.getsockname = (decltype(calls.getsockname))(void*)GetProcAddress(WinApi.ws2.module, "getsockname");
  calls.ioctlsocket = (decltype(calls.ioctlsocket))(void*)GetProcAddress(WinApi.ws2.module, "ioctlsocket");
  calls.WSASetLastError = (decltype(calls.WSASetLastError))(void*)GetProcAddress(WinApi.ws2.module, "WSASetLastError");
  return calls;
}

inline sockaddr_in Loopback(u_short port) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = WinApi.ws2.inet_addr("127.0.0.1");
  address.sin_port = port;
  return address;
}

inline bool WouldBlock() { return WinApi.ws2.WSAGetLastError() == WSAEWOULDBLOCK; }

class LoopbackNetwork : public NetworkLayerTest {
 protected:
  void SetUp() override {
    NetworkLayerTest::SetUp();
    calls = PeerCalls();
    ASSERT_NE(calls.getsockname, nullptr);
    ASSERT_NE(calls.ioctlsocket, nullptr);
    ASSERT_NE(calls.WSASetLastError, nullptr);
    SOCKET listener = WinApi.ws2.socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    ASSERT_NE(listener, INVALID_SOCKET);
    sockaddr_in address = Loopback(0);
    int length = sizeof(address);
    ASSERT_EQ(WinApi.ws2.bind(listener, (sockaddr*)&address, sizeof(address)), 0);
    ASSERT_EQ(WinApi.ws2.listen(listener, 64), 0);
    ASSERT_EQ(calls.getsockname(listener, (sockaddr*)&address, &length), 0);
    port = address.sin_port;
    HANDLE_VALUE handle = NewHandle(HANDLE_TYPE_NETWORK, -1);
    NETWORK_HANDLE_RECORD* r = RecordOf(handle);
    ASSERT_NE(r, nullptr);
    r->socket = listener;
    r->valid = 1;
    ASSERT_EQ(WinApi.ws2.WSAAsyncSelect(listener, window, NETWORK_SOCKET_MESSAGE, FD_ACCEPT), 0);
    NetworkState.listenHandle = handle;
  }

  void TearDown() override {
    for (SOCKET s : peers) WinApi.ws2.closesocket(s);
    NetworkLayerTest::TearDown();
  }

  // A peer connected to the listener (non-blocking), before the layer has accepted it.
  SOCKET ConnectPeer() {
    SOCKET peer = WinApi.ws2.socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (peer == INVALID_SOCKET) return peer;
    peers.push_back(peer);
    sockaddr_in address = Loopback(port);
    if (WinApi.ws2.connect(peer, (sockaddr*)&address, sizeof(address)) != 0) return INVALID_SOCKET;
    u_long nonBlocking = 1;
    calls.ioctlsocket(peer, FIONBIO, &nonBlocking);
    return peer;
  }

  // A peer connected to the listener, the handle its accept made and its record; the marker
  // its accept posted has come through the queue, so that events dispatched by the test
  // directly are taken as the new connection's.
  bool Connect(SOCKET* peer, HANDLE_VALUE* accepted, NETWORK_HANDLE_RECORD** record) {
    *accepted = -1;
    *record = nullptr;
    HANDLE_VALUE before = NewestConnection();
    *peer = ConnectPeer();
    if (*peer == INVALID_SOCKET) return false;
    if (!PumpUntil([&] { return NewestConnection() != before && RecordOf(NewestConnection())->markerAwaited == 0; }))
      return false;
    *accepted = NewestConnection();
    *record = RecordOf(*accepted);
    return *record != nullptr;
  }

  // Closes a peer's socket.
  void ClosePeer(SOCKET s) {
    WinApi.ws2.closesocket(s);
    peers.erase(std::find(peers.begin(), peers.end(), s));
  }

  // Sends everything, serving the network window whenever the peer's socket is full; gives up
  // early (with false) once stop() holds.
  template <class STOP>
  bool PeerSend(SOCKET s, const std::string& bytes, STOP stop) {
    size_t at = 0;
    for (DWORD start = GetTickCount(); at < bytes.size(); PumpNetworkMessages(0)) {
      if (GetTickCount() - start > kWaitLimitMs || stop()) return false;
      int sent = WinApi.ws2.send(s, bytes.data() + at, (int)std::min<size_t>(bytes.size() - at, 1 << 20), 0);
      if (sent > 0) at += (size_t)sent;
      else if (!WouldBlock()) return false;
    }
    return true;
  }
  bool PeerSend(SOCKET s, const std::string& bytes) {
    return PeerSend(s, bytes, [] { return false; });
  }

  // Receives count bytes (or until the other side closes), serving the network window.
  std::string PeerReceive(SOCKET s, size_t count) {
    std::string got;
    std::vector<char> buffer(1 << 16);
    for (DWORD start = GetTickCount(); got.size() < count && GetTickCount() - start < kWaitLimitMs;) {
      int n = WinApi.ws2.recv(s, buffer.data(), (int)std::min(buffer.size(), count - got.size()), 0);
      if (n > 0) got.append(buffer.data(), (size_t)n);
      else if (n == 0 || !WouldBlock()) break;
      else PumpNetworkMessages(0);
    }
    return got;
  }

  // Whether the peer sees the connection closed (the layer closed its socket).
  bool PeerSeesClose(SOCKET s) {
    char byte;
    for (DWORD start = GetTickCount(); GetTickCount() - start < kWaitLimitMs; Sleep(1)) {
      int n = WinApi.ws2.recv(s, &byte, 1, 0);
      if (n == 0 || (n == SOCKET_ERROR && !WouldBlock())) return true;
    }
    return false;
  }

  // Bytes waiting in a socket, without taking them.
  u_long Waiting(SOCKET s) {
    u_long n = 0;
    calls.ioctlsocket(s, FIONREAD, &n);
    return n;
  }

  PEER_CALLS calls{};
  u_short port = 0;
  std::vector<SOCKET> peers;
};

// One peer connected before each test.
class OneConnection : public LoopbackNetwork {
 protected:
  void SetUp() override {
    LoopbackNetwork::SetUp();
    ASSERT_TRUE(Connect(&peer, &h, &r));
  }
  SOCKET peer = INVALID_SOCKET;
  HANDLE_VALUE h = -1;
  NETWORK_HANDLE_RECORD* r = nullptr;
};

}  // namespace network_test
