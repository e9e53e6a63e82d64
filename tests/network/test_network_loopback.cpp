// The network layer on real loopback connections: a listener on 127.0.0.1 whose accept events
// reach AcceptNetWork, peers in the same program on non-blocking sockets, and the events that
// WinSock posts to the network window. Last, the library's own pump, window procedure and end
// call the layer.
#include <ws2tcpip.h>

#include <tuple>
#include <vector>

#include "korvel.h"
#include "network_fixture.h"
#include "system/pump.h"
#include "system/window_state.h"

using namespace network_test;

namespace {
// WinSock functions only the tests use, from the module the library loaded.
struct PEER_CALLS {
  int(WSAAPI* getsockname)(SOCKET, sockaddr*, int*);
  int(WSAAPI* ioctlsocket)(SOCKET, long, u_long*);
};

PEER_CALLS PeerCalls() {
  PEER_CALLS calls{};
  calls.getsockname = (decltype(calls.getsockname))(void*)GetProcAddress(WinApi.ws2.module, "getsockname");
  calls.ioctlsocket = (decltype(calls.ioctlsocket))(void*)GetProcAddress(WinApi.ws2.module, "ioctlsocket");
  return calls;
}

sockaddr_in Loopback(u_short port) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = WinApi.ws2.inet_addr("127.0.0.1");
  address.sin_port = port;
  return address;
}

bool WouldBlock() { return WinApi.ws2.WSAGetLastError() == WSAEWOULDBLOCK; }

class LoopbackNetwork : public NetworkLayerTest {
 protected:
  void SetUp() override {
    NetworkLayerTest::SetUp();
    calls = PeerCalls();
    ASSERT_NE(calls.getsockname, nullptr);
    ASSERT_NE(calls.ioctlsocket, nullptr);
    SOCKET listener = WinApi.ws2.socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    ASSERT_NE(listener, INVALID_SOCKET);
    sockaddr_in address = Loopback(0);
    int length = sizeof(address);
    ASSERT_EQ(WinApi.ws2.bind(listener, (sockaddr*)&address, sizeof(address)), 0);
    ASSERT_EQ(WinApi.ws2.listen(listener, 8), 0);
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

  // A peer connected to the listener (non-blocking), the handle its accept made and its record.
  bool Connect(SOCKET* peer, HANDLE_VALUE* accepted, NETWORK_HANDLE_RECORD** record) {
    *accepted = -1;
    *record = nullptr;
    *peer = WinApi.ws2.socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (*peer == INVALID_SOCKET) return false;
    peers.push_back(*peer);
    sockaddr_in address = Loopback(port);
    if (WinApi.ws2.connect(*peer, (sockaddr*)&address, sizeof(address)) != 0) return false;
    u_long nonBlocking = 1;
    calls.ioctlsocket(*peer, FIONBIO, &nonBlocking);
    HANDLE_VALUE before = NewestConnection();
    if (!PumpUntil([&] { return NewestConnection() != before; })) return false;
    *accepted = NewestConnection();
    *record = RecordOf(*accepted);
    return *record != nullptr;
  }

  // Sends everything, serving the network window whenever the peer's socket is full.
  bool PeerSend(SOCKET s, const std::string& bytes) {
    size_t at = 0;
    for (DWORD start = GetTickCount(); at < bytes.size(); PumpNetworkMessages(0)) {
      if (GetTickCount() - start > kWaitLimitMs) return false;
      int sent = WinApi.ws2.send(s, bytes.data() + at, (int)std::min<size_t>(bytes.size() - at, 1 << 20), 0);
      if (sent > 0) at += (size_t)sent;
      else if (!WouldBlock()) return false;
    }
    return true;
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

TEST_F(OneConnection, AcceptedConnectionKnowsItsPeer) {
  EXPECT_EQ(r->valid, 1);
  EXPECT_EQ(r->connected, 1);
  EXPECT_EQ(r->framed, 1);
  EXPECT_EQ(r->autoDelete, 1);
  EXPECT_EQ(memcmp(r->peerAddress4, "\x7F\x00\x00\x01", 4), 0);
  sockaddr_in local{};
  int length = sizeof(local);
  ASSERT_EQ(calls.getsockname(peer, (sockaddr*)&local, &length), 0);
  EXPECT_EQ(r->peerPort, (int)local.sin_port) << "the port stays in network order";
}

// Two messages that arrived back to back are both read by one read event.
TEST_F(OneConnection, TwoMessagesReadByOneEvent) {
  std::string wire = Framed("hello") + Framed("abc");
  ASSERT_EQ(WinApi.ws2.send(peer, wire.data(), (int)wire.size(), 0), (int)wire.size());
  for (DWORD start = GetTickCount(); Waiting(r->socket) < wire.size() && GetTickCount() - start < kWaitLimitMs;)
    Sleep(1);
  ASSERT_EQ(Waiting(r->socket), wire.size());
  EXPECT_EQ(DispatchSocketEvent(window, NETWORK_SOCKET_MESSAGE, r->socket, FD_READ), 1);
  EXPECT_EQ(r->totalReceived, 8);
  EXPECT_EQ(TakeBytes(&r->receiveRing), "helloabc");
}

// After an empty message WinSock reports the rest with a new read event.
TEST_F(OneConnection, EmptyMessageThenAnother) {
  ASSERT_TRUE(PeerSend(peer, Framed("") + Framed("abc")));
  EXPECT_TRUE(PumpUntil([&] { return r->totalReceived == 3; }));
  EXPECT_EQ(TakeBytes(&r->receiveRing), "abc");
}

// Large messages cross in pieces both ways: the receive completes over many read events and
// counts only when whole; the send stops when the socket is full and resumes on write events.
TEST_F(OneConnection, LargeMessagesCrossInPieces) {

  const size_t kSize = 32u << 20;
  std::string inbound = Pattern(kSize, 5);
  int partsSeen = 0;
  bool countedEarly = false;
  std::string wire = Framed(inbound);
  size_t at = 0;
  for (DWORD start = GetTickCount(); r->totalReceived == 0 && GetTickCount() - start < 4 * kWaitLimitMs;) {
    if (at < wire.size()) {
      int sent = WinApi.ws2.send(peer, wire.data() + at, (int)std::min<size_t>(wire.size() - at, 1 << 20), 0);
      if (sent > 0) at += (size_t)sent;
    }
    int held = r->receiveRing.held;
    PumpNetworkMessages(0);
    if (r->receiveRing.held != held && r->totalReceived == 0) partsSeen++;
    if (r->totalReceived != 0 && r->receiveRing.held != (int)kSize) countedEarly = true;
  }
  EXPECT_EQ(r->totalReceived, (int)kSize);
  EXPECT_FALSE(countedEarly);
  EXPECT_GT(partsSeen, 1) << "the message arrived in one piece";
  EXPECT_TRUE(TakeBytes(&r->receiveRing) == inbound);

  std::string outbound = Pattern(kSize, 6);
  QueueBytes(&r->sendRing, outbound);
  EXPECT_EQ(SendSocket(h), 0);
  EXPECT_GT(r->sendRing.held, 0) << "the socket took the whole message at once";
  std::string got = PeerReceive(peer, kSize + 4);
  EXPECT_EQ(r->sendRing.held, 0);
  EXPECT_EQ(r->sendBytesLeft, 0u);
  EXPECT_TRUE(got == Framed(outbound)) << got.size() << " bytes";
}

// Several queue operations leave as one message; an empty ring sends nothing, not even a length.
TEST_F(OneConnection, QueuedBytesLeaveAsOneMessage) {
  EXPECT_EQ(SendSocket(h), 0);
  QueueBytes(&r->sendRing, "one ");
  QueueBytes(&r->sendRing, "two");
  EXPECT_EQ(SendSocket(h), 0);
  EXPECT_EQ(PeerReceive(peer, 11), Framed("one two"));
}

// A hostile length leaves the program running and the connection in error; the next automatic
// delete ends it and the peer sees its socket closed.
TEST_F(LoopbackNetwork, HostileLengthsPutTheConnectionInError) {
  const uint32_t lengths[] = {0xFFFFFFFFu, 0x80000000u};
  for (uint32_t length : lengths) {
    SCOPED_TRACE(length);
    SOCKET peer;
    HANDLE_VALUE h;
    NETWORK_HANDLE_RECORD* r;
    ASSERT_TRUE(Connect(&peer, &h, &r));
    size_t mark = LogMark();
    ASSERT_TRUE(PeerSend(peer, std::string((const char*)&length, 4) + "more"));
    ASSERT_TRUE(PumpUntil([&] { return r->error == 1; }));
    EXPECT_NE(LogSince(mark).find("受信データを保存するリングバッファのリサイズに失敗しました(データサイズ " +
                                  std::to_string(length) + " byte)\r\n"),
              std::string::npos);
    EXPECT_EQ(r->receiveRing.data, nullptr);
    EXPECT_EQ(RecvSocket(h), -1);
    EXPECT_EQ(PumpNetworkMessages(1), 0);
    EXPECT_EQ(LookupHandleRecord(h), nullptr);
    EXPECT_TRUE(PeerSeesClose(peer));
  }
}

// A peer that sends part of a length and goes: the partial length stays in the socket,
// nothing is stored or expected however often the read event comes back, and the other
// connections go on. WinSock reports the close only once those bytes are taken, so the
// connection waits for its owner to end it.
TEST_F(LoopbackNetwork, PartialLengthThenClose) {
  SOCKET peer, other;
  HANDLE_VALUE h, otherHandle;
  NETWORK_HANDLE_RECORD *r, *otherRecord;
  ASSERT_TRUE(Connect(&peer, &h, &r));
  ASSERT_TRUE(Connect(&other, &otherHandle, &otherRecord));
  ASSERT_TRUE(PeerSend(peer, std::string("\x10\x00", 2)));
  WinApi.ws2.closesocket(peer);
  peers.erase(peers.begin());
  ASSERT_TRUE(PeerSend(other, Framed("still served")));
  EXPECT_TRUE(PumpUntil([&] { return otherRecord->totalReceived == 12; }));
  PumpUntil([] { return false; }, 200);
  EXPECT_EQ(Waiting(r->socket), 2u);
  EXPECT_EQ(r->bytesExpected, 0);
  EXPECT_EQ(r->receiveRing.held, 0);
  EXPECT_EQ(r->receiveRing.data, nullptr);
  EXPECT_EQ(r->totalReceived, 0);
  EXPECT_EQ(DeleteHandle(h), 0);
}

// Two connections that receive at once both complete: an event of one that arrives while the
// other's receive pumps the window is not lost.
TEST_F(LoopbackNetwork, TwoConnectionsReceiveAtOnce) {
  SOCKET a, b;
  HANDLE_VALUE ha, hb;
  NETWORK_HANDLE_RECORD *ra, *rb;
  ASSERT_TRUE(Connect(&a, &ha, &ra));
  ASSERT_TRUE(Connect(&b, &hb, &rb));
  const size_t kSize = 8u << 20;
  std::string wireA = Framed(Pattern(kSize, 7)), wireB = Framed(Pattern(kSize, 8));
  size_t atA = 0, atB = 0;
  auto done = [&] { return ra->totalReceived == (int)kSize && rb->totalReceived == (int)kSize; };
  for (DWORD start = GetTickCount(); !done() && GetTickCount() - start < 4 * kWaitLimitMs;) {
    for (auto [s, wire, at] : {std::tie(a, wireA, atA), std::tie(b, wireB, atB)}) {
      if (at == wire.size()) continue;
      int sent = WinApi.ws2.send(s, wire.data() + at, (int)std::min<size_t>(wire.size() - at, 1 << 16), 0);
      if (sent > 0) at += (size_t)sent;
    }
    PumpNetworkMessages(0);
  }
  ASSERT_TRUE(done());
  EXPECT_TRUE(TakeBytes(&ra->receiveRing) == Pattern(kSize, 7));
  EXPECT_TRUE(TakeBytes(&rb->receiveRing) == Pattern(kSize, 8));
}

// A network thread that ends on request, and one that has gone without answering.
DWORD WINAPI AnsweringThread(LPVOID) {
  for (DWORD start = GetTickCount(); !NetworkState.threadEndRequest && GetTickCount() - start < kWaitLimitMs;) Sleep(1);
  NetworkState.threadEnded = 1;
  return 0;
}
DWORD WINAPI SilentThread(LPVOID) { return 0; }

int cleanupCalls = 0;
int(WSAAPI* realCleanup)() = nullptr;
int WSAAPI CountingCleanup() {
  cleanupCalls++;
  return realCleanup();
}

// The shut-down ends every connection, the thread and the window, and WinSock. The peers keep
// WinSock going with a start of their own.
class LoopbackShutDown : public LoopbackNetwork {
 protected:
  void ShutDownWithThread(LPTHREAD_START_ROUTINE threadFunction) {
    WSADATA data;
    ASSERT_EQ(WinApi.ws2.WSAStartup(MAKEWORD(2, 2), &data), 0);
    realCleanup = WinApi.ws2.WSACleanup;
    WinApi.ws2.WSACleanup = CountingCleanup;
    cleanupCalls = 0;
    SOCKET peerA, peerB;
    HANDLE_VALUE a, b;
    NETWORK_HANDLE_RECORD *ra, *rb;
    ASSERT_TRUE(Connect(&peerA, &a, &ra));
    ASSERT_TRUE(Connect(&peerB, &b, &rb));
    NetworkState.thread = CreateThread(nullptr, 0, threadFunction, nullptr, 0, nullptr);
    HWND networkWindow = window;
    size_t mark = LogMark();
    EXPECT_EQ(ShutDownNetwork(), 0);
    EXPECT_EQ(LogSince(mark), "ネットワーク関連の終了処理を行います \r\nネットワーク関連の終了処理は完了しました\r\n");
    EXPECT_FALSE(HandleManagers[HANDLE_TYPE_NETWORK].initialised);
    EXPECT_FALSE(IsWindow(networkWindow));
    EXPECT_EQ(NetworkState.initialised, 0);
    EXPECT_EQ(NetworkState.window, nullptr);
    EXPECT_EQ(NetworkState.thread, nullptr);
    EXPECT_EQ(cleanupCalls, 1);
    EXPECT_TRUE(PeerSeesClose(peerA));
    EXPECT_TRUE(PeerSeesClose(peerB));
    for (SOCKET s : peers) WinApi.ws2.closesocket(s);
    peers.clear();
    realCleanup();
  }
};

TEST_F(LoopbackShutDown, WithAThreadThatAnswers) { ShutDownWithThread(AnsweringThread); }
TEST_F(LoopbackShutDown, WithAThreadThatHasGone) { ShutDownWithThread(SilentThread); }

// The library calls the layer: its window procedure hands 0x505 to the dispatcher, its pump
// runs the automatic delete, and its end shuts the layer down.
class LibraryNetwork : public NetworkLayerTest {
 protected:
  void SetUp() override {
    ChangeWindowMode(1);
    SetRunWhileInactive(1);
    ASSERT_EQ(InitLibrary(), 0);
    NetworkLayerTest::SetUp();
  }
  void TearDown() override {
    EndLibrary();
    savedWs2 = WinApi.ws2;  // the end freed the table
    NetworkLayerTest::TearDown();
  }
};

TEST_F(LibraryNetwork, PumpWindowProcedureAndEndCallTheLayer) {
  HANDLE_VALUE failed = MakeConnection(WinApi.ws2.socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
  RecordOf(failed)->error = 1;
  HANDLE_VALUE kept = MakeConnection(WinApi.ws2.socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
  EXPECT_EQ(PumpWindowMessages(), 0);
  EXPECT_EQ(LookupHandleRecord(failed), nullptr);
  EXPECT_NE(LookupHandleRecord(kept), nullptr);

  size_t mark = LogMark();
  EXPECT_EQ(SendMessageA(WindowState.mainWindow, NETWORK_SOCKET_MESSAGE, 0x7FF1, FD_READ), 0);
  EXPECT_EQ(LogSince(mark), "通信エラー No.1\r\n");

  HWND networkWindow = window;
  EXPECT_EQ(EndLibrary(), 0);
  std::string log = LogSince(mark);
  size_t begin = log.find("ネットワーク関連の終了処理を行います \r\n");
  size_t end = log.find("ネットワーク関連の終了処理は完了しました\r\n");
  size_t com = log.find("ＣＯＭを終了... 完了\r\n");
  ASSERT_NE(begin, std::string::npos) << log;
  EXPECT_LT(begin, end);
  EXPECT_LT(end, com);
  EXPECT_EQ(NetworkState.initialised, 0);
  EXPECT_FALSE(HandleManagers[HANDLE_TYPE_NETWORK].initialised);
  EXPECT_FALSE(IsWindow(networkWindow));
}
}  // namespace
