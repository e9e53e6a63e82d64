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
// Most received bytes all connections hold together, and the longest message let in.
int NetworkReceiveBudget();
int LongestReceivedMessage();
// Brings the connection's count of received bytes (and the network state's sum) up to date;
// the forget form takes it out of the sum when the connection ends.
void CountReceivedBytes(NETWORK_HANDLE_RECORD* r);
void ForgetReceivedBytes(NETWORK_HANDLE_RECORD* r);
// Bytes the connection may still take in beyond its count, under its limit and the budget.
int FreeReceiveRoom(NETWORK_HANDLE_RECORD* r);
// Bytes the next read of the connection may take: the rest of the message let in (a waiting
// message is let in now when all of it fits) and the free room; 0 while it must wait.
int ReceiveRoom(NETWORK_HANDLE_RECORD* r);
// Takes in the connections waiting on the listening socket, within the bounds of one event.
// -> 1 when one or more were accepted, -1 otherwise.
int AcceptWaitingConnections();
// Puts a live connection whose send ring holds more than the limit into error, with its log
// line. -> 0, or -1 when it did.
int LimitHeldBytes(NETWORK_HANDLE_RECORD* r);
// The peer has closed (FD_CLOSE, or a read of 0 bytes): not connected, close word 0.
void CloseNetworkConnection(NETWORK_HANDLE_RECORD* r);
// Work was left for the next pump: a message to the network window wakes an owner that waits
// for one (posted once until the next pump).
void WakeNetworkPump();
