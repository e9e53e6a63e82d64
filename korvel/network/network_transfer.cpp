// Receiving and sending framed messages. A pass goes on until a socket call would block (or
// the peer has closed), so that WinSock announces the next read or write: it posts a read
// event only for bytes that arrive after a receive call and a write event only after a send
// that would block, and the events it posts while a pass pumps the network window are refused
// by that pass's guard. Between passes the place inside the current message is kept (bytes
// expected, header bytes unsent, send bytes left).
#include <climits>

#include "core/log.h"
#include "core/winapi.h"
#include "network_internal.h"

namespace {
// What tells receive and send apart in the checks they share.
struct SOCKET_PASS {
  int NETWORK_HANDLE_RECORD::*running;  // guard against a nested pass of one connection
  const char* notValidText;
  const char* inErrorText;
  int (*transfer)(NETWORK_HANDLE_RECORD* r);
};

int Recv(NETWORK_HANDLE_RECORD* r, void* at, int count, int flags) {
  return WinApi.ws2.recv(r->socket, (char*)at, count, flags);
}

int Send(NETWORK_HANDLE_RECORD* r, const void* at, int count) {
  return WinApi.ws2.send(r->socket, (const char*)at, count, 0);
}

// Reads the next length word. It is peeked first, so that a length that has not fully arrived
// stays in the socket, and it is taken as the message's only after the real 4-byte receive and
// a ring reserve for the whole message: a partial header never leaves a length behind.
// -> 1 with a message under way, 0 to stop the pass, -1 for a length that cannot be held.
int ReceiveLength(NETWORK_HANDLE_RECORD* r) {
  uint32_t length = 0;
  if (Recv(r, &length, NETWORK_HEADER_SIZE, MSG_PEEK) < NETWORK_HEADER_SIZE) return 0;
  if (Recv(r, &length, NETWORK_HEADER_SIZE, 0) < NETWORK_HEADER_SIZE) return 0;
  if (length > (uint32_t)INT_MAX || ReserveRingBuffer(&r->receiveRing, (int)length) != 0) {
    AddLogLineFormat("受信データを保存するリングバッファのリサイズに失敗しました(データサイズ %u byte)", length);
    r->error = 1;
    return -1;
  }
  r->messageSize = (int)length;
  r->bytesExpected = (int)length;
  return 1;
}

int ReceiveInto(NETWORK_HANDLE_RECORD* r, unsigned char* at, int count) { return Recv(r, at, count, 0); }
int SendFrom(NETWORK_HANDLE_RECORD* r, unsigned char* at, int count) { return Send(r, at, count); }

// Moves count bytes between the socket and the ring at its position (the write position for a
// receive, the read position for a send), in two calls across the end of the storage.
// -> the bytes moved (0 when the peer has closed), or -1 when the first call failed.
int TransferPiece(NETWORK_HANDLE_RECORD* r, RING_BUFFER* ring, int* position, int count,
                  int (*call)(NETWORK_HANDLE_RECORD*, unsigned char*, int)) {
  WrapRingBufferPositions(ring);
  if ((long long)*position + count <= ring->size) {
    int n = call(r, ring->data + *position, count);
    if (n == SOCKET_ERROR) return -1;
    *position += n;
    return n;
  }
  int tail = ring->size - *position;
  int first = call(r, ring->data + *position, tail);
  if (first == SOCKET_ERROR) return -1;
  if (first < tail) {
    *position += first;
    return first;
  }
  int second = call(r, ring->data, count - first);
  if (second == SOCKET_ERROR) {
    *position = 0;
    return first;
  }
  *position = second;
  return first + second;
}

// Receives lengths and data while the socket gives bytes.
int ReceiveMessages(NETWORK_HANDLE_RECORD* r) {
  for (;;) {
    if (r->bytesExpected == 0) {
      int header = ReceiveLength(r);
      if (header <= 0) return header;
    }
    int n = 0;
    if (r->bytesExpected > 0)
      n = TransferPiece(r, &r->receiveRing, &r->receiveRing.writePosition, r->bytesExpected, ReceiveInto);
    if (n > 0) {
      r->receiveRing.held += n;
      r->bytesExpected -= n;
    }
    // A length or data were taken in this step; the message may be complete.
    if (r->bytesExpected == 0) r->totalReceived += r->messageSize;
    if (n < 0 || (n == 0 && r->bytesExpected > 0)) return 0;
    if (PumpNetworkMessages(0) != 0) return 0;
  }
}

// The rest of a length word that went out in part. -> the bytes sent, or -1.
int SendHeaderRest(NETWORK_HANDLE_RECORD* r) {
  int sent = Send(r, (const char*)&r->sendBytesLeft + NETWORK_HEADER_SIZE - r->headerUnsent, r->headerUnsent);
  if (sent == SOCKET_ERROR) return -1;
  r->headerUnsent -= sent;
  return sent;
}

// A new message is everything the send ring holds. -> the bytes of its length word sent, or -1.
int SendHeader(NETWORK_HANDLE_RECORD* r) {
  r->sendBytesLeft = (uint32_t)r->sendRing.held;
  int sent = Send(r, &r->sendBytesLeft, NETWORK_HEADER_SIZE);
  if (sent == SOCKET_ERROR) {
    r->sendBytesLeft = 0;
    return -1;
  }
  r->headerUnsent = NETWORK_HEADER_SIZE - sent;
  return sent;
}

// Sends the rest of a length word, a new length word or data, one step at a time, while the
// socket takes bytes and the ring holds any.
int SendMessages(NETWORK_HANDLE_RECORD* r) {
  while (r->sendRing.held > 0) {
    int n;
    if (r->headerUnsent > 0) {
      n = SendHeaderRest(r);
    } else if (r->sendBytesLeft == 0) {
      n = SendHeader(r);
    } else {
      n = TransferPiece(r, &r->sendRing, &r->sendRing.readPosition, (int)r->sendBytesLeft, SendFrom);
      if (n > 0) {
        r->sendRing.held -= n;
        r->sendBytesLeft -= (uint32_t)n;
      }
    }
    if (n <= 0 || PumpNetworkMessages(0) != 0) return 0;
  }
  return 0;
}

const SOCKET_PASS ReceivePass = {&NETWORK_HANDLE_RECORD::receiveRunning,
                                 "有効なネットワークハンドルではありません in RecvSocket\n",
                                 "このネットワークハンドルにはエラーが発生しています in RecvSocket\n", ReceiveMessages};
const SOCKET_PASS SendPass = {&NETWORK_HANDLE_RECORD::sendRunning,
                              "有効なネットワークハンドルではありません in SendSocket\n",
                              "このネットワークハンドルにはエラーが発生しています in SendSocket\n", SendMessages};

// The checks and the guard that receive and send share, under the type-10 lock.
int RunSocketPass(const SOCKET_PASS& pass, HANDLE_VALUE handle) {
  if (!NetworkState.initialised) return -1;
  int locked = EnterNetworkLock();
  NETWORK_HANDLE_RECORD* r = FindNetworkRecord(handle);
  if (r == nullptr || r->busy || r->*pass.running) {
    LeaveNetworkLock(locked);
    return -1;
  }
  r->*pass.running = 1;
  PumpNetworkMessages(0);
  int result;
  if (r->valid == 0) {
    result = WriteLogText(pass.notValidText);
  } else if (r->error == 1) {
    result = WriteLogText(pass.inErrorText);
  } else if (!r->framed) {
    result = 0;
  } else {
    result = pass.transfer(r);
  }
  r->*pass.running = 0;
  LeaveNetworkLock(locked);
  return result;
}
}  // namespace

int RecvSocket(HANDLE_VALUE handle) { return RunSocketPass(ReceivePass, handle); }

int SendSocket(HANDLE_VALUE handle) { return RunSocketPass(SendPass, handle); }
