// The network layer on real loopback connections: a listener on 127.0.0.1 whose accept events
// reach AcceptNetWork, peers in the same program on non-blocking sockets, and the events that
// WinSock posts to the network window. Last, the library's own pump, window procedure and end
// call the layer.
#include <tuple>
#include <vector>

#include "korvel.h"
#include "network_loopback.h"
#include "system/base/pump.h"
#include "system/base/window_state.h"

using namespace network_test;

namespace {
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

// Two connections that receive at once both complete, their read events taking turns in the
// window's queue.
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
    // An event of a connection the shut-down closes, still queued when it closes the window.
    PostMessageA(networkWindow, NETWORK_SOCKET_MESSAGE, (WPARAM)ra->socket, FD_READ);
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
