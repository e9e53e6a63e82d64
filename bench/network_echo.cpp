// Echo speed of the network message layer beside a plain WinSock echo server, on the same
// loopback traffic from the same clients in this program. Each client connection sends a
// seeded sequence of framed messages one at a time and waits for each echo, which it checks
// byte for byte. Three kinds of traffic: messages of 1 byte to 1 MB, of 1 byte to 2 KB, and of
// 1 byte to 2 KB sent in pieces of 1 to 8 bytes (each piece its own send call).
//
// The library's echo server is a program on the layer as its owner builds it (the way the
// tests do): WinSock, handle type 10, a network window and a listener; its main loop waits for
// a message, pumps the layer and echoes each completed message from the receive ring through
// the send ring. The plain server is the same work on one thread without the layer: a select()
// loop over the connections that sends back whatever arrives. The two servers run one after the
// other, never at once, in alternating rounds; the figures are the medians. Sockets keep their
// default options, as the tests' set-up leaves them; with the argument "nodelay" every socket
// of both servers and of the clients sends at once (TCP_NODELAY).
// An empty message cannot be echoed through the layer (its owner sees complete bytes, and an
// empty send ring sends nothing), so the sizes start at 1.
// With the argument "growth" only the library's server runs, with two clients: one sends a
// single 60 MB message (its receive ring grows to hold it) while the other makes ping round
// trips of 1 to 64 bytes until that message has been sent; it prints the longest single
// PumpNetworkMessages call (and the bytes its passes moved) and the longest ping wait of each
// round.
// Run by hand: cd build && ./wine-run bench_network_echo.exe [nodelay | growth]
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "bench_clock.h"
#include "seeded_random.h"
#include "core/handles.h"
#include "core/ring_buffer.h"
#include "core/winapi.h"
#include "network/network.h"

namespace {
const int kConnections = 4;
const int kRounds = 5;

struct TRAFFIC {
  const char* name;
  int minSize;
  int maxSize;
  int messagesPerConnection;  // 0: until every client with a count has sent all of its messages
  int maxPiece;               // 0: each message in one send
};
const TRAFFIC kTraffic[] = {
    {"1 B to 1 MB", 1, 1 << 20, 60, 0},
    {"1 B to 2 KB", 1, 2048, 1000, 0},
    {"1 B to 2 KB in 1-8 byte pieces", 1, 2048, 40, 8},
};
// The "growth" run: a message long enough to grow a receive ring to tens of MB, beside pings.
const TRAFFIC kLongMessage = {"one 60 MB message", 60 << 20, 60 << 20, 1, 0};
const TRAFFIC kPing = {"pings of 1 to 64 B", 1, 64, 0, 0};

// WinSock functions the library's table does not hold.
int(WSAAPI* GetSocketName)(SOCKET, sockaddr*, int*);
int(WSAAPI* SetSocketOption)(SOCKET, int, int, const char*, int);
int(WSAAPI* IoControlSocket)(SOCKET, long, u_long*);
int(WSAAPI* SelectSockets)(int, fd_set*, fd_set*, fd_set*, const timeval*);

std::vector<unsigned char> Source;  // the bytes messages are cut from


bool NoDelay = false;  // the argument "nodelay": every socket sends at once (TCP_NODELAY)

void SendAtOnce(SOCKET s) {
  if (!NoDelay) return;
  BOOL on = TRUE;
  SetSocketOption(s, IPPROTO_TCP, TCP_NODELAY, (const char*)&on, sizeof(on));
}

bool SendAll(SOCKET s, const unsigned char* bytes, int count) {
  while (count > 0) {
    int n = WinApi.ws2.send(s, (const char*)bytes, count, 0);
    if (n <= 0) return false;
    bytes += n;
    count -= n;
  }
  return true;
}

bool ReceiveAll(SOCKET s, unsigned char* bytes, int count) {
  while (count > 0) {
    int n = WinApi.ws2.recv(s, (char*)bytes, count, 0);
    if (n <= 0) return false;
    bytes += n;
    count -= n;
  }
  return true;
}

// One client connection.
struct CLIENT {
  const TRAFFIC* traffic;
  u_short port;
  uint32_t seed;
  HANDLE start;             // set when every client is connected
  volatile LONG* connected;
  volatile LONG* finished;
  volatile LONG* sentAll;   // clients with a count of messages that have sent all of them
  LONG counted;             // clients with a count of messages
  long long bytes;          // message data echoed
  long long messages;       // messages echoed
  double longestWait;       // from the message's last byte sent to its whole echo, in seconds
  bool ok;
};

DWORD WINAPI ClientThread(LPVOID parameter) {
  CLIENT* c = (CLIENT*)parameter;
  c->ok = false;
  SOCKET s = WinApi.ws2.socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = WinApi.ws2.inet_addr("127.0.0.1");
  address.sin_port = c->port;
  bool up = s != INVALID_SOCKET && WinApi.ws2.connect(s, (sockaddr*)&address, sizeof(address)) == 0;
  if (up) SendAtOnce(s);
  InterlockedIncrement(c->connected);
  WaitForSingleObject(c->start, INFINITE);
  Random rnd{c->seed};
  std::vector<unsigned char> out(4 + (size_t)c->traffic->maxSize), back(out.size());
  bool ok = up;
  int count = c->traffic->messagesPerConnection;
  bool announced = count == 0;  // sentAll counts this client
  for (int i = 0; ok && (count > 0 ? i < count : *c->sentAll < c->counted); i++) {
    int size = c->traffic->minSize + rnd.Below(c->traffic->maxSize - c->traffic->minSize + 1);
    uint32_t length = (uint32_t)size;
    memcpy(out.data(), &length, 4);
    memcpy(out.data() + 4, Source.data() + rnd.Below((int)Source.size() - size), (size_t)size);
    if (c->traffic->maxPiece == 0) {
      ok = SendAll(s, out.data(), 4 + size);
    } else {
      for (int at = 0; ok && at < 4 + size;) {
        int piece = std::min(1 + rnd.Below(c->traffic->maxPiece), 4 + size - at);
        ok = SendAll(s, out.data() + at, piece);
        at += piece;
      }
    }
    double sent = Seconds();
    if (i + 1 == count) InterlockedIncrement(c->sentAll), announced = true;
    ok = ok && ReceiveAll(s, back.data(), 4 + size) && memcmp(out.data(), back.data(), 4 + (size_t)size) == 0;
    c->longestWait = std::max(c->longestWait, Seconds() - sent);
    if (ok) c->bytes += size, c->messages++;
  }
  if (!announced) InterlockedIncrement(c->sentAll);  // stopped early: the repeating clients stop too
  c->ok = ok;
  if (s != INVALID_SOCKET) WinApi.ws2.closesocket(s);
  InterlockedIncrement(c->finished);
  return 0;
}

struct RESULT {
  double seconds = 0;
  long long bytes = 0;
  long long messages = 0;
  double longestWait = 0;              // over all clients
  std::vector<double> clientWaits;     // each client's longest wait
  double longestPump = 0;              // the library's longest PumpNetworkMessages call
  uint32_t longestPumpBytes = 0;       // the bytes its passes moved
  bool ok = false;
};

// A listener on 127.0.0.1 at a free port.
SOCKET Listen(u_short* port) {
  SOCKET listener = WinApi.ws2.socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = WinApi.ws2.inet_addr("127.0.0.1");
  int length = sizeof(address);
  WinApi.ws2.bind(listener, (sockaddr*)&address, sizeof(address));
  WinApi.ws2.listen(listener, 16);
  GetSocketName(listener, (sockaddr*)&address, &length);
  *port = address.sin_port;
  SendAtOnce(listener);
  return listener;
}

// Starts one client per traffic; serve(connected, finished, start, clients, result) runs the
// server until every client has finished (and may add its own figures to result).
template <class SERVE>
RESULT RunClients(const std::vector<const TRAFFIC*>& traffics, u_short port, SERVE serve) {
  volatile LONG connected = 0, finished = 0, sentAll = 0;
  HANDLE start = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  int count = (int)traffics.size();
  LONG counted = 0;
  for (const TRAFFIC* t : traffics) counted += t->messagesPerConnection > 0;
  std::vector<CLIENT> clients((size_t)count);
  std::vector<HANDLE> threads((size_t)count);
  for (int i = 0; i < count; i++) {
    clients[i] = CLIENT{traffics[i], port, 0x9E3779B9u * (uint32_t)(i + 1), start, &connected, &finished, &sentAll, counted,
                        0, 0, 0, false};
    threads[i] = CreateThread(nullptr, 0, ClientThread, &clients[i], 0, nullptr);
  }
  RESULT result;
  result.seconds = serve(connected, finished, start, count, result);
  WaitForMultipleObjects((DWORD)count, threads.data(), TRUE, INFINITE);
  result.ok = true;
  for (int i = 0; i < count; i++) {
    CloseHandle(threads[i]);
    result.bytes += clients[i].bytes;
    result.messages += clients[i].messages;
    result.longestWait = std::max(result.longestWait, clients[i].longestWait);
    result.clientWaits.push_back(clients[i].longestWait);
    result.ok = result.ok && clients[i].ok;
  }
  if (!result.ok) result.messages = 0;
  CloseHandle(start);
  return result;
}

// The plain server: one thread, one select() loop over the connections, sending back whatever
// arrives (what a socket does not take at once waits for it to be writable).
struct PLAIN_SERVER {
  SOCKET listener;
  volatile LONG ready;
};

bool InSet(const fd_set& set, SOCKET s) {
  for (u_int i = 0; i < set.fd_count; i++)
    if (set.fd_array[i] == s) return true;
  return false;
}

DWORD WINAPI PlainEchoThread(LPVOID parameter) {
  PLAIN_SERVER* server = (PLAIN_SERVER*)parameter;
  SOCKET sockets[kConnections];
  std::string pending[kConnections];
  for (SOCKET& s : sockets) {
    s = WinApi.ws2.accept(server->listener, nullptr, nullptr);
    SendAtOnce(s);
    u_long nonBlocking = 1;
    IoControlSocket(s, FIONBIO, &nonBlocking);
  }
  server->ready = 1;
  std::vector<char> buffer(256 << 10);
  for (int open = kConnections; open > 0;) {
    fd_set readable, writable;
    readable.fd_count = writable.fd_count = 0;
    for (int i = 0; i < kConnections; i++) {
      if (sockets[i] == INVALID_SOCKET) continue;
      readable.fd_array[readable.fd_count++] = sockets[i];
      if (!pending[i].empty()) writable.fd_array[writable.fd_count++] = sockets[i];
    }
    timeval wait{1, 0};
    if (SelectSockets(0, &readable, &writable, nullptr, &wait) <= 0) continue;
    for (int i = 0; i < kConnections; i++) {
      SOCKET s = sockets[i];
      if (s == INVALID_SOCKET) continue;
      if (InSet(readable, s)) {
        int n = WinApi.ws2.recv(s, buffer.data(), (int)buffer.size(), 0);
        if (n <= 0 && !(n < 0 && WinApi.ws2.WSAGetLastError() == WSAEWOULDBLOCK)) {
          WinApi.ws2.closesocket(s);
          sockets[i] = INVALID_SOCKET;
          open--;
          continue;
        }
        if (n > 0) pending[i].append(buffer.data(), (size_t)n);
      }
      if (!pending[i].empty()) {
        int n = WinApi.ws2.send(s, pending[i].data(), (int)pending[i].size(), 0);
        if (n > 0) pending[i].erase(0, (size_t)n);
      }
    }
  }
  return 0;
}

RESULT RunPlain(const TRAFFIC& traffic) {
  u_short port;
  PLAIN_SERVER server{Listen(&port), 0};
  HANDLE thread = CreateThread(nullptr, 0, PlainEchoThread, &server, 0, nullptr);
  std::vector<const TRAFFIC*> traffics(kConnections, &traffic);
  RESULT result = RunClients(traffics, port, [&](volatile LONG& connected, volatile LONG& finished, HANDLE start, int clients,
                                                 RESULT&) {
    while (connected < clients || !server.ready) Sleep(1);
    double begin = Seconds();
    SetEvent(start);
    while (finished < clients) Sleep(1);
    return Seconds() - begin;
  });
  WaitForSingleObject(thread, INFINITE);
  CloseHandle(thread);
  WinApi.ws2.closesocket(server.listener);
  return result;
}

// The library's server: the layer set up as its owner does, and an owner that echoes every
// completed message once the previous echo has left.
LRESULT CALLBACK NetworkWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == NETWORK_SOCKET_MESSAGE) return DispatchSocketEvent(window, message, wParam, lParam);
  if (message == WM_DESTROY) NetworkState.windowClosed = 1;
  return DefWindowProcA(window, message, wParam, lParam);
}

void EchoCompleted(std::map<HANDLE_VALUE, uint32_t>& taken, std::vector<unsigned char>& buffer) {
  int cursor = -1;
  while (HANDLE_HEAD* head = NextHandleRecord(HANDLE_TYPE_NETWORK, &cursor)) {
    NETWORK_HANDLE_RECORD* r = (NETWORK_HANDLE_RECORD*)head;
    if (head->handle == NetworkState.listenHandle || r->sendRing.held > 0) continue;
    int complete = (int)((uint32_t)r->totalReceived - taken[head->handle]);
    if (complete <= 0) continue;
    taken[head->handle] += (uint32_t)complete;
    buffer.resize((size_t)complete);
    ReadRingBuffer(&r->receiveRing, buffer.data(), complete, 0);
    RING_BUFFER* ring = &r->sendRing;
    ReserveRingBuffer(ring, complete);
    WrapRingBufferPositions(ring);
    int first = std::min(complete, ring->size - ring->writePosition);
    memcpy(ring->data + ring->writePosition, buffer.data(), (size_t)first);
    memcpy(ring->data, buffer.data() + first, (size_t)(complete - first));
    ring->writePosition += complete;
    if (ring->writePosition > ring->size) ring->writePosition -= ring->size;
    ring->held += complete;
    SendSocket(head->handle);
  }
}

// Serves one client per traffic.
RESULT RunLibrary(const std::vector<const TRAFFIC*>& traffics) {
  WSADATA data;
  WinApi.ws2.WSAStartup(MAKEWORD(2, 2), &data);
  InitHandleType(HANDLE_TYPE_NETWORK, sizeof(NETWORK_HANDLE_RECORD), 64, nullptr, TerminateNetworkHandle, "ネットワーク");
  HWND window = CreateWindowExA(0, "KorvelBenchNetwork", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, GetModuleHandleA(nullptr),
                                nullptr);
  u_short port;
  SOCKET listener = Listen(&port);
  HANDLE_VALUE listenHandle = NewHandle(HANDLE_TYPE_NETWORK, -1);
  NETWORK_HANDLE_RECORD* l = (NETWORK_HANDLE_RECORD*)LookupHandleRecord(listenHandle);
  l->socket = listener;
  l->valid = 1;
  WinApi.ws2.WSAAsyncSelect(listener, window, NETWORK_SOCKET_MESSAGE, FD_ACCEPT);
  NetworkState = NETWORK_STATE{};
  NetworkState.listenHandle = listenHandle;
  NetworkState.window = window;
  NetworkState.initialised = 1;

  std::map<HANDLE_VALUE, uint32_t> taken;
  std::vector<unsigned char> buffer;
  RESULT result = RunClients(traffics, port, [&](volatile LONG& connected, volatile LONG& finished, HANDLE start, int clients,
                                                  RESULT& timed) {
    while (connected < clients || HandleManagers[HANDLE_TYPE_NETWORK].count < clients + 1) {
      MsgWaitForMultipleObjects(0, nullptr, FALSE, 1, QS_ALLINPUT);
      PumpNetworkMessages(1);
    }
    double begin = Seconds();
    SetEvent(start);
    while (finished < clients) {
      MsgWaitForMultipleObjectsEx(0, nullptr, 1, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
      double pumpStart = Seconds();
      uint32_t moved = NetworkState.movedBytes;
      PumpNetworkMessages(1);
      double pump = Seconds() - pumpStart;
      if (pump > timed.longestPump) timed.longestPump = pump, timed.longestPumpBytes = NetworkState.movedBytes - moved;
      EchoCompleted(taken, buffer);
    }
    return Seconds() - begin;
  });
  ShutDownNetwork();
  return result;
}

// The "growth" run: in each round the longest pump call and the longest ping wait while one
// connection's receive ring grows with a 60 MB message.
void RunGrowth() {
  std::printf("Library server, %s beside %s on another connection, until it has been sent;\n"
              "longest single PumpNetworkMessages call and longest ping wait (last byte sent to whole echo), in ms:\n\n",
              kLongMessage.name, kPing.name);
  std::printf("%6s %13s %11s %6s %9s\n", "round", "longest pump", "ping wait", "pings", "KB moved");
  std::vector<double> pumps, waits;
  for (int round = 0; round < kRounds; round++) {
    RESULT r = RunLibrary({&kLongMessage, &kPing});
    pumps.push_back(r.longestPump);
    waits.push_back(r.clientWaits[1]);
    std::printf("%6d %13.1f %11.1f %6lld %9u%s\n", round + 1, r.longestPump * 1000, r.clientWaits[1] * 1000, r.messages - 1,
                r.longestPumpBytes >> 10, r.ok ? "" : "  (ECHO FAILED)");
  }
  std::printf("%6s %13.1f %11.1f\n%6s %13.1f %11.1f\n", "median", Median(pumps) * 1000, Median(waits) * 1000, "max",
              *std::max_element(pumps.begin(), pumps.end()) * 1000, *std::max_element(waits.begin(), waits.end()) * 1000);
}

}  // namespace

int main(int argc, char** argv) {
  NoDelay = argc > 1 && strcmp(argv[1], "nodelay") == 0;
  bool growth = argc > 1 && strcmp(argv[1], "growth") == 0;
  LoadWinApiTable();
  if (WinApi.ws2.module == nullptr) {
    std::printf("no ws2_32\n");
    return 1;
  }
  GetSocketName = (decltype(GetSocketName))(void*)GetProcAddress(WinApi.ws2.module, "getsockname");
  SetSocketOption = (decltype(SetSocketOption))(void*)GetProcAddress(WinApi.ws2.module, "setsockopt");
  IoControlSocket = (decltype(IoControlSocket))(void*)GetProcAddress(WinApi.ws2.module, "ioctlsocket");
  SelectSockets = (decltype(SelectSockets))(void*)GetProcAddress(WinApi.ws2.module, "select");
  WSADATA data;
  WinApi.ws2.WSAStartup(MAKEWORD(2, 2), &data);
  WNDCLASSA wc{};
  wc.lpfnWndProc = NetworkWindowProc;
  wc.hInstance = GetModuleHandleA(nullptr);
  wc.lpszClassName = "KorvelBenchNetwork";
  RegisterClassA(&wc);
  Random rnd{12345};
  Source.resize(growth ? (size_t)kLongMessage.maxSize : 4 << 20);
  for (unsigned char& b : Source) b = (unsigned char)rnd.Next();
  if (growth) {
    RunGrowth();
    WinApi.ws2.WSACleanup();
    return 0;
  }

  std::printf("Echo over loopback, %d connections, each message waiting for its echo, %s; medians of\n"
              "%d alternating rounds (plain server, then library); share = library / plain; longest wait\n"
              "of an echo over all rounds, in ms:\n\n",
              kConnections, NoDelay ? "TCP_NODELAY on every socket" : "default socket options", kRounds);
  std::printf("%-31s %9s %9s %9s %9s %6s %11s\n", "", "MB/s", "", "msg/s", "", "", "longest wait");
  std::printf("%-31s %9s %9s %9s %9s %6s %5s %5s\n", "traffic", "plain", "library", "plain", "library", "share", "plain",
              "lib.");
  for (const TRAFFIC& traffic : kTraffic) {
    std::vector<double> plainRates, libraryRates, plainMessages, libraryMessages, shares;
    double plainWait = 0, libraryWait = 0;
    bool ok = true;
    for (int round = 0; round < kRounds; round++) {
      RESULT plain = RunPlain(traffic);
      RESULT library = RunLibrary(std::vector<const TRAFFIC*>(kConnections, &traffic));
      ok = ok && plain.ok && library.ok;
      plainRates.push_back(plain.bytes / plain.seconds / 1e6);
      libraryRates.push_back(library.bytes / library.seconds / 1e6);
      plainMessages.push_back(plain.messages / plain.seconds);
      libraryMessages.push_back(library.messages / library.seconds);
      shares.push_back(libraryRates.back() / plainRates.back());
      plainWait = std::max(plainWait, plain.longestWait);
      libraryWait = std::max(libraryWait, library.longestWait);
    }
    std::printf("%-31s %9.1f %9.1f %9.0f %9.0f %5.2fx %5.0f %5.0f%s\n", traffic.name, Median(plainRates),
                Median(libraryRates), Median(plainMessages), Median(libraryMessages), Median(shares), plainWait * 1000,
                libraryWait * 1000, ok ? "" : "  (ECHO FAILED)");
  }
  WinApi.ws2.WSACleanup();
  return 0;
}
