// Receiving and sending framed messages. A pass runs its socket calls only: it never pumps the
// window, so events of other connections wait in the queue and the stack stays flat however
// many connections there are. A pass moves at most NETWORK_PASS_BYTES.
//
// Receiving takes every byte it reads into the connection: the bytes of a length word into
// its own length word (a cut length word stays there, not in the socket, so WinSock does not
// announce the same bytes again and again), data into the receive ring, which grows with
// what has arrived (to the whole of a long message once its first megabyte is in). A read
// takes no more than the connection has room for under its limit and the receive budget
// (network_budget.cpp). Lengths come in through a stage of the pass; the data of a long message
// go straight into the ring's free room. A pass makes one read (in two calls across the
// ring's end): WinSock announces bytes left in the socket, or arriving later, with a new read
// event, and a pass that read on would mostly find nothing more. A read of 0 bytes is the
// peer's end of sending: the connection closes as on FD_CLOSE, and WinSock announces nothing
// further.
//
// Sending puts the length word and the start of the data into one call, then sends from the
// ring, until the socket would block (WinSock announces the next write only after that), the
// ring is empty or the pass's bytes are spent; in the last case the next pump goes on.
// Between passes the place inside the current message is kept (bytes expected, the length
// word received so far, header bytes unsent, send bytes left).
#include <cstring>

#include "core/log.h"
#include "core/winapi.h"
#include "network_internal.h"

namespace {
const int kStageBytes = 64 << 10;
const int kWholeMessageAfter = 1 << 20;  // bytes of a long message before its ring grows to hold all of it

// Working room of the passes: what one socket call receives before it is taken apart, and a
// length word with the start of its data. Passes do not pump, so no other pass runs while a
// stage is in use.
unsigned char ReceiveStage[kStageBytes];
unsigned char SendStage[kStageBytes];

// What tells receive and send apart in the checks they share.
struct SOCKET_PASS {
  int NETWORK_HANDLE_RECORD::*running;  // guard against a nested pass of one connection
  const char* notValidText;
  const char* inErrorText;
  int (*transfer)(NETWORK_HANDLE_RECORD* r);
};

int ReceiveInto(NETWORK_HANDLE_RECORD* r, unsigned char* at, int count) {
  return WinApi.ws2.recv(r->socket, (char*)at, count, 0);
}
int SendFrom(NETWORK_HANDLE_RECORD* r, unsigned char* at, int count) {
  return WinApi.ws2.send(r->socket, (const char*)at, count, 0);
}

void CountMoved(int n) { NetworkState.movedBytes += (uint32_t)n; }

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

void RefuseLength(NETWORK_HANDLE_RECORD* r, uint32_t length) {
  AddLogLineFormat("受信データを保存するリングバッファのリサイズに失敗しました(データサイズ %u byte)", length);
  r->error = 1;
}

void CompleteMessage(NETWORK_HANDLE_RECORD* r) {
  r->totalReceived = (int)((uint32_t)r->totalReceived + (uint32_t)r->messageSize);
}

// A whole length word: the message starts. One longer than a connection may ever hold is
// refused; one that does not fit yet waits (its bytes already read are kept, no more are
// read) until its owner has taken enough. Nothing is reserved for it yet. -> 0, or -1
// (refused, in error).
int StartMessage(NETWORK_HANDLE_RECORD* r) {
  uint32_t length;
  memcpy(&length, r->lengthBytes, sizeof(length));
  r->lengthHeld = 0;
  if (length > (uint32_t)LongestReceivedMessage()) {
    RefuseLength(r, length);
    return -1;
  }
  r->messageSize = r->bytesExpected = (int)length;
  r->messageWaiting = 1;
  ReceiveRoom(r);
  if (length == 0) CompleteMessage(r);
  return 0;
}

// Appends count data bytes of the current message to the receive ring. -> 0, or -1 when the
// ring cannot grow (in error).
int StoreData(NETWORK_HANDLE_RECORD* r, const unsigned char* bytes, int count) {
  RING_BUFFER* ring = &r->receiveRing;
  if (ReserveRingBuffer(ring, count) != 0) {
    RefuseLength(r, (uint32_t)r->messageSize);
    return -1;
  }
  WrapRingBufferPositions(ring);
  int first = count;
  if (ring->writePosition + count > ring->size) first = ring->size - ring->writePosition;
  memcpy(ring->data + ring->writePosition, bytes, (size_t)first);
  memcpy(ring->data, bytes + first, (size_t)(count - first));
  ring->writePosition += count;
  if (ring->writePosition > ring->size) ring->writePosition -= ring->size;
  ring->held += count;
  r->bytesExpected -= count;
  if (r->bytesExpected == 0) CompleteMessage(r);
  return 0;
}

// Takes count bytes that arrived apart: length words and data. -> 0, or -1 (in error).
int TakeArrived(NETWORK_HANDLE_RECORD* r, const unsigned char* bytes, int count) {
  while (count > 0) {
    int take;
    if (r->bytesExpected == 0) {
      take = count < NETWORK_HEADER_SIZE - r->lengthHeld ? count : NETWORK_HEADER_SIZE - r->lengthHeld;
      memcpy(r->lengthBytes + r->lengthHeld, bytes, (size_t)take);
      r->lengthHeld += take;
      if (r->lengthHeld == NETWORK_HEADER_SIZE && StartMessage(r) != 0) return -1;
    } else {
      take = count < r->bytesExpected ? count : r->bytesExpected;
      if (StoreData(r, bytes, take) != 0) return -1;
    }
    bytes += take;
    count -= take;
  }
  return 0;
}

// Growing the ring copies what it holds, inside one pass: a ring growing step by step with a
// message of tens of MB would copy most of them at its last step. Once the first megabyte of
// a long message has arrived, the ring grows to hold the rest of it at once, so that growth
// never copies more than about that megabyte (and what earlier messages left in the ring).
// The message was let in, so its whole length is already counted under the budget; nothing
// is allocated on a length word alone. -> 0, or -1 when the ring cannot grow (in error).
int GrowForLongMessage(NETWORK_HANDLE_RECORD* r) {
  RING_BUFFER* ring = &r->receiveRing;
  if (r->bytesExpected < kStageBytes || ring->size - ring->held >= kStageBytes ||
      r->messageSize - r->bytesExpected < kWholeMessageAfter)
    return 0;
  if (ReserveRingBuffer(ring, r->bytesExpected) == 0) return 0;
  RefuseLength(r, (uint32_t)r->messageSize);
  return -1;
}

// One read of at most budget bytes (two calls across the ring's end): straight into the ring's
// free room when a stage or more of the current message's data is still to come and fits
// there, else through the stage. -> the bytes read, 0 when the peer has finished sending,
// SOCKET_ERROR, or -2 when the connection went into error.
int ReceiveOnce(NETWORK_HANDLE_RECORD* r, int budget) {
  RING_BUFFER* ring = &r->receiveRing;
  if (GrowForLongMessage(r) != 0) return -2;
  int room = ring->size - ring->held;
  if (r->bytesExpected >= kStageBytes && room >= kStageBytes) {
    int count = r->bytesExpected;
    if (count > room) count = room;
    if (count > budget) count = budget;
    int n = TransferPiece(r, ring, &ring->writePosition, count, ReceiveInto);
    if (n > 0) {
      ring->held += n;
      r->bytesExpected -= n;
      if (r->bytesExpected == 0) CompleteMessage(r);
    }
    return n < 0 ? SOCKET_ERROR : n;
  }
  int n = ReceiveInto(r, ReceiveStage, budget < kStageBytes ? budget : kStageBytes);
  if (n > 0 && TakeArrived(r, ReceiveStage, n) != 0) return -2;
  return n;
}

// One read per event: WinSock announces what is left in the socket after it with a new event.
// The read takes no more than there is room for; with none, the connection is not read (so
// WinSock announces nothing more) until the pump finds room for it again.
int ReceiveMessages(NETWORK_HANDLE_RECORD* r) {
  int room = ReceiveRoom(r);
  r->receiveWaiting = room == 0;
  if (room == 0) return 0;
  int n = ReceiveOnce(r, room < NETWORK_PASS_BYTES ? room : NETWORK_PASS_BYTES);
  if (n == -2) return -1;
  if (n == 0) CloseNetworkConnection(r);
  if (n > 0) CountMoved(n);
  r->receiveWaiting = n > 0 && ReceiveRoom(r) == 0;
  return 0;
}

// Skips count sent bytes of the send ring.
void DropSent(NETWORK_HANDLE_RECORD* r, int count) {
  RING_BUFFER* ring = WrapRingBufferPositions(&r->sendRing);
  ring->readPosition += count;
  if (ring->readPosition > ring->size) ring->readPosition -= ring->size;
  ring->held -= count;
  r->sendBytesLeft -= (uint32_t)count;
}

// The unsent bytes of the length word and, in the same call, the start of the data.
// -> the bytes sent, or SOCKET_ERROR.
int SendWithHeader(NETWORK_HANDLE_RECORD* r, int budget) {
  int header = r->headerUnsent;
  memcpy(SendStage, (const unsigned char*)&r->sendBytesLeft + NETWORK_HEADER_SIZE - header, (size_t)header);
  int data = kStageBytes - header;
  if ((uint32_t)data > r->sendBytesLeft) data = (int)r->sendBytesLeft;
  if (data > budget) data = budget;
  ReadRingBuffer(&r->sendRing, SendStage + header, data, 1);
  int sent = SendFrom(r, SendStage, header + data);
  if (sent == SOCKET_ERROR) return SOCKET_ERROR;
  int headerSent = sent < header ? sent : header;
  r->headerUnsent -= headerSent;
  if (sent > headerSent) DropSent(r, sent - headerSent);
  return sent;
}

// Sends the rest of a length word, a new length word or data while the socket takes bytes,
// the ring holds any and the pass's bytes last.
int SendMessages(NETWORK_HANDLE_RECORD* r) {
  int budget = NETWORK_PASS_BYTES;
  while (r->sendRing.held > 0) {
    if (budget <= 0) {
      r->sendResume = 1;
      WakeNetworkPump();
      return 0;
    }
    int n;
    if (r->headerUnsent == 0 && r->sendBytesLeft == 0) {
      // A new message is everything the send ring holds; its length word is sent whole again
      // when not one byte of it went.
      r->sendBytesLeft = (uint32_t)r->sendRing.held;
      r->headerUnsent = NETWORK_HEADER_SIZE;
    }
    if (r->headerUnsent > 0) {
      n = SendWithHeader(r, budget);
      if (n == SOCKET_ERROR && r->headerUnsent == NETWORK_HEADER_SIZE) {
        r->headerUnsent = 0;
        r->sendBytesLeft = 0;
      }
    } else {
      int count = r->sendBytesLeft < (uint32_t)budget ? (int)r->sendBytesLeft : budget;
      n = TransferPiece(r, &r->sendRing, &r->sendRing.readPosition, count, SendFrom);
      if (n > 0) {
        r->sendRing.held -= n;
        r->sendBytesLeft -= (uint32_t)n;
      }
    }
    if (n <= 0) return 0;
    CountMoved(n);
    budget -= n;
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
  if (pass.transfer == SendMessages) r->sendResume = 0;
  int result;
  if (r->valid == 0) {
    result = WriteLogText(pass.notValidText);
  } else if (r->error == 1) {
    result = WriteLogText(pass.inErrorText);
  } else if (LimitHeldBytes(r) != 0) {
    result = -1;
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

int LimitHeldBytes(NETWORK_HANDLE_RECORD* r) {
  if (r->valid != 1 || r->error == 1 || r->sendRing.held <= NetworkHeldLimit()) return 0;
  AddLogLineFormat("送信データを保存するリングバッファが上限を超えました(データサイズ %d byte)", r->sendRing.held);
  r->error = 1;
  return -1;
}

int RecvSocket(HANDLE_VALUE handle) { return RunSocketPass(ReceivePass, handle); }

int SendSocket(HANDLE_VALUE handle) { return RunSocketPass(SendPass, handle); }
