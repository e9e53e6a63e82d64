// The set-up the network layer expects of its owner, built by the tests: WinSock started,
// handle type 10 with the layer's terminate function, a message window that hands 0x505 to
// the dispatcher, and the initialised flag. Every wait is bounded.
#pragma once
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "core/handles.h"
#include "core/ring_buffer.h"
#include "core/threads.h"
#include "core/winapi.h"
#include "network/network.h"
#include "test_support.h"

namespace network_test {

const int kMaxConnections = 8;
const DWORD kWaitLimitMs = 5000;

inline LRESULT CALLBACK NetworkWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == NETWORK_SOCKET_MESSAGE) return DispatchSocketEvent(window, message, wParam, lParam);
  if (message == WM_DESTROY) NetworkState.windowClosed = 1;
  return DefWindowProcA(window, message, wParam, lParam);
}

inline HWND CreateNetworkWindow() {
  WNDCLASSA wc{};
  wc.lpfnWndProc = NetworkWindowProc;
  wc.hInstance = GetModuleHandleA(nullptr);
  wc.lpszClassName = "KorvelNetworkTestWindow";
  RegisterClassA(&wc);  // fails harmlessly when already registered
  return CreateWindowExA(0, wc.lpszClassName, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance, nullptr);
}

// Pumps the network window (without the automatic delete) until the condition holds or the
// time is up; whether it held.
template <class CONDITION>
bool PumpUntil(CONDITION condition, DWORD limitMs = kWaitLimitMs) {
  for (DWORD start = GetTickCount();; Sleep(1)) {
    PumpNetworkMessages(0);
    if (condition()) return true;
    if (GetTickCount() - start > limitMs) return false;
  }
}

inline NETWORK_HANDLE_RECORD* RecordOf(HANDLE_VALUE handle) {
  return (NETWORK_HANDLE_RECORD*)LookupHandleRecord(handle);
}

inline int ConnectionCount() { return HandleManagers[HANDLE_TYPE_NETWORK].count; }

// The live network handles other than the listening one, newest first.
inline HANDLE_VALUE NewestConnection() {
  const HANDLE_TYPE_MANAGER& m = HandleManagers[HANDLE_TYPE_NETWORK];
  if (!m.initialised) return -1;
  for (HANDLE_LIST_NODE* node = m.listHead.next; node->next != nullptr; node = node->next)
    if (node->handle != NetworkState.listenHandle) return node->handle;
  return -1;
}

// Queues bytes in a ring the way a writer does: reserve, copy at the write position (split at
// the end of the storage), advance.
inline void QueueBytes(RING_BUFFER* ring, const std::string& bytes) {
  int n = (int)bytes.size();
  ASSERT_EQ(ReserveRingBuffer(ring, n), 0);
  WrapRingBufferPositions(ring);
  int first = n;
  if (ring->writePosition + n > ring->size) first = ring->size - ring->writePosition;
  memcpy(ring->data + ring->writePosition, bytes.data(), (size_t)first);
  memcpy(ring->data, bytes.data() + first, (size_t)(n - first));
  ring->writePosition += n;
  if (ring->writePosition > ring->size) ring->writePosition -= ring->size;
  ring->held += n;
}

// Takes every held byte out of a ring.
inline std::string TakeBytes(RING_BUFFER* ring) {
  std::string out((size_t)ring->held, '\0');
  if (ring->held > 0) {
    EXPECT_EQ(ReadRingBuffer(ring, &out[0], ring->held, 0), 0);
  }
  return out;
}

// A framed message as it travels: the 32-bit little-endian length, then the data.
inline std::string Framed(const std::string& data) {
  uint32_t length = (uint32_t)data.size();
  return std::string((const char*)&length, 4) + data;
}

inline std::string Pattern(size_t size, int seed) {
  std::string s(size, '\0');
  for (size_t i = 0; i < size; i++) s[i] = (char)((i * 7 + (size_t)seed * 31 + i / 251) & 0xFF);
  return s;
}

// The log (without its time stamps) written since a mark taken with LogMark().
inline size_t LogMark() { return ReadLogWithoutStamps().size(); }
inline std::string LogSince(size_t mark) {
  std::string log = ReadLogWithoutStamps();
  return mark < log.size() ? log.substr(mark) : std::string();
}

// Starts WinSock, registers type 10, makes the network window and marks the layer up; the
// tear-down ends whatever is still up. The table of WinSock functions is restored after each
// test, so tests may put scripted entries into it. A test that clears the initialised flag
// sets it again before it ends.
class NetworkLayerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    static bool logStarted = false;
    if (!logStarted) {
      StartTestLog();
      logStarted = true;
    }
    LoadWinApiTable();
    ASSERT_NE(WinApi.ws2.module, nullptr);
    savedWs2 = WinApi.ws2;
    WSADATA data;
    ASSERT_EQ(WinApi.ws2.WSAStartup(MAKEWORD(2, 2), &data), 0);
    ASSERT_EQ(InitHandleType(HANDLE_TYPE_NETWORK, sizeof(NETWORK_HANDLE_RECORD), maxConnections, nullptr,
                             TerminateNetworkHandle, "ネットワーク"),
              0);
    window = CreateNetworkWindow();
    ASSERT_NE(window, nullptr);
    NetworkState = NETWORK_STATE{};
    NetworkState.listenHandle = -1;
    NetworkState.window = window;
    NetworkState.initialised = 1;
  }

  // Scripted entries stay in place through the shut-down: it closes the scripted sockets.
  void TearDown() override {
    if (NetworkState.initialised) ShutDownNetwork();
    WinApi.ws2 = savedWs2;
    if (HandleManagers[HANDLE_TYPE_NETWORK].initialised) EndHandleType(HANDLE_TYPE_NETWORK);
    if (IsWindow(window)) DestroyWindow(window);
    NetworkState = NETWORK_STATE{};
  }

  // A record made by hand, as a connection of the given socket.
  HANDLE_VALUE MakeConnection(SOCKET socket) {
    HANDLE_VALUE handle = NewHandle(HANDLE_TYPE_NETWORK, -1);
    NETWORK_HANDLE_RECORD* r = RecordOf(handle);
    if (r == nullptr) return -1;
    r->valid = 1;
    r->connected = 1;
    r->framed = 1;
    r->autoDelete = 1;
    r->socket = socket;
    return handle;
  }

  decltype(WinApi.ws2) savedWs2{};  // the real WinSock functions
  HWND window = nullptr;
  int maxConnections = kMaxConnections;  // size of the handle table, set before SetUp
};

}  // namespace network_test
