// The library-wide API lock (the record lives in WINDOW_STATE): recursive for its owner and
// handed over in strict arrival order.
#pragma once

void EnterApiLock();
void LeaveApiLock();
// Closes the waiters' events and deletes the guard; the next EnterApiLock makes them again.
void ReleaseApiLockResources();
