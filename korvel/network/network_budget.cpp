// The bound on received bytes. Each connection counts what it holds of received messages not
// yet taken, plus the rest of the message under way once that message has been let in; the
// network state keeps the sum of the counts, which stays under the receive budget, and each
// count under the held limit. A message is let in only when all of it fits, so every message
// let in can complete, and connections waiting for room never hold room back from each other
// with halves of messages (beyond the start a read takes before a length is known). Owners take bytes out of the rings without telling the layer: a
// count is brought up to date whenever its connection is read and at every pump, and until
// then the sum is too high, never too low.
#include <climits>

#include "network_internal.h"

namespace {
// Most bytes a read takes beyond the message let in: the start of messages whose length is not
// known before they are read. Those of a message that turns out not to fit stay held while it
// waits, so this keeps waiting connections from taking all the room that others could use.
const int kBeyondBytes = 64 << 10;

int CountOf(const NETWORK_HANDLE_RECORD* r) {
  return r->receiveRing.held + (r->messageWaiting ? 0 : r->bytesExpected);
}

long long Smaller(long long a, long long b) { return a < b ? a : b; }
}  // namespace

int NetworkHeldLimit() { return NetworkState.heldLimit > 0 ? NetworkState.heldLimit : NETWORK_DEFAULT_HELD_LIMIT; }

int NetworkReceiveBudget() {
  return NetworkState.receiveBudget > 0 ? NetworkState.receiveBudget : NETWORK_DEFAULT_RECEIVE_BUDGET;
}

int LongestReceivedMessage() { return (int)Smaller(NetworkHeldLimit(), NetworkReceiveBudget()); }

void CountReceivedBytes(NETWORK_HANDLE_RECORD* r) {
  int now = CountOf(r);
  NetworkState.receiveCounted += now - r->countedBytes;
  r->countedBytes = now;
}

void ForgetReceivedBytes(NETWORK_HANDLE_RECORD* r) {
  NetworkState.receiveCounted -= r->countedBytes;
  r->countedBytes = 0;
}

int FreeReceiveRoom(NETWORK_HANDLE_RECORD* r) {
  CountReceivedBytes(r);
  long long own = (long long)NetworkHeldLimit() - r->countedBytes;
  long long shared = (long long)NetworkReceiveBudget() - NetworkState.receiveCounted;
  long long room = Smaller(own, shared);
  return room < 0 ? 0 : (int)room;
}

int ReceiveRoom(NETWORK_HANDLE_RECORD* r) {
  if (r->messageWaiting) {
    if (FreeReceiveRoom(r) < r->bytesExpected) return 0;
    r->messageWaiting = 0;
  }
  return (int)Smaller((long long)r->bytesExpected + Smaller(FreeReceiveRoom(r), kBeyondBytes), INT_MAX);
}
