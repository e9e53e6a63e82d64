// Helpers shared by the files of the network layer.
#pragma once
#include "network.h"

// Takes the type-10 lock when the type is set up; the result is passed to LeaveNetworkLock.
int EnterNetworkLock();
void LeaveNetworkLock(int entered);
// The record of a live network handle without a pending load, else null.
NETWORK_HANDLE_RECORD* FindNetworkRecord(HANDLE_VALUE handle);
// Most bytes a connection holds each way (received and not yet taken, queued and not yet sent).
int NetworkHeldLimit();
// Puts a live connection whose send ring holds more than the limit into error, with its log
// line. -> 0, or -1 when it did.
int LimitHeldBytes(NETWORK_HANDLE_RECORD* r);
// The peer has closed (FD_CLOSE, or a read of 0 bytes): not connected, close word 0.
void CloseNetworkConnection(NETWORK_HANDLE_RECORD* r);
// Work was left for the next pump: a message to the network window wakes an owner that waits
// for one (posted once until the next pump).
void WakeNetworkPump();
