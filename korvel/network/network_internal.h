// Helpers shared by the files of the network layer.
#pragma once
#include "network.h"

// Takes the type-10 lock when the type is set up; the result is passed to LeaveNetworkLock.
int EnterNetworkLock();
void LeaveNetworkLock(int entered);
// The record of a live network handle without a pending load, else null.
NETWORK_HANDLE_RECORD* FindNetworkRecord(HANDLE_VALUE handle);
