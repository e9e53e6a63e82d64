#include "system/base/api_lock.h"

#include "core/threads.h"
#include "system/base/window_state.h"

namespace {
API_LOCK& Lock() { return WindowState.apiLock; }

void CreateLockResources() {
  API_LOCK& lock = Lock();
  lock.eventsCreated = 1;
  for (int i = 0; i < API_LOCK_SLOTS; i++) lock.waiterEvent[i] = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  InitLock(&lock.guard);
}

void TakeLock(DWORD self) {
  API_LOCK& lock = Lock();
  lock.recursion++;
  lock.locked = 1;
  lock.owner = self;
  LeaveLock(&lock.guard);
}

int FindWaiter(DWORD self) {
  API_LOCK& lock = Lock();
  for (int i = 0; i < lock.waiterCount; i++)
    if (lock.waiterThread[i] == self) return i;
  return -1;
}

// The oldest waiter leaves the FIFO; its event goes to the last occupied slot.
void RemoveOldestWaiter() {
  API_LOCK& lock = Lock();
  HANDLE event = lock.waiterEvent[0];
  int last = lock.waiterCount - 1;
  for (int i = 0; i < last; i++) {
    lock.waiterThread[i] = lock.waiterThread[i + 1];
    lock.waiterEvent[i] = lock.waiterEvent[i + 1];
  }
  lock.waiterEvent[last] = event;
  lock.waiterThread[last] = 0;
  lock.waiterCount--;
}
}  // namespace

void EnterApiLock() {
  API_LOCK& lock = Lock();
  if (!lock.eventsCreated) CreateLockResources();
  DWORD self = GetCurrentThreadId();
  for (;;) {
    EnterLock(&lock.guard);
    if ((lock.locked && lock.owner == self) || (!lock.locked && lock.waiterCount == 0)) {
      TakeLock(self);
      return;
    }
    int slot = FindWaiter(self);
    if (!lock.locked && slot == 0) {
      RemoveOldestWaiter();
      TakeLock(self);
      return;
    }
    // A thread already queued (woken early) waits again in its own slot; it never queues twice.
    if (slot < 0) {
      if (lock.waiterCount >= API_LOCK_SLOTS) {
        LeaveLock(&lock.guard);
        Sleep(1);
        continue;
      }
      slot = lock.waiterCount;
      if (lock.waiterEvent[slot] == nullptr) lock.waiterEvent[slot] = CreateEventA(nullptr, TRUE, FALSE, nullptr);
      if (lock.waiterEvent[slot] == nullptr) {
        // No event to sleep on: poll instead of joining the FIFO.
        LeaveLock(&lock.guard);
        Sleep(1);
        continue;
      }
      lock.waiterThread[slot] = self;
      lock.waiterCount++;
    }
    HANDLE event = lock.waiterEvent[slot];
    LeaveLock(&lock.guard);
    WaitForSingleObject(event, INFINITE);
    ResetEvent(event);
  }
}

void LeaveApiLock() {
  API_LOCK& lock = Lock();
  EnterLock(&lock.guard);
  HANDLE wake = nullptr;
  if (lock.recursion == 1) {
    lock.locked = 0;
    lock.owner = (DWORD)-1;
    if (lock.waiterCount > 0) wake = lock.waiterEvent[0];
  }
  lock.recursion--;
  LeaveLock(&lock.guard);
  if (wake != nullptr) {
    SetEvent(wake);
    Sleep(0);
  }
}

void ReleaseApiLockResources() {
  API_LOCK& lock = Lock();
  if (!lock.eventsCreated) return;
  lock.eventsCreated = 0;
  for (int i = 0; i < API_LOCK_SLOTS; i++) {
    if (lock.waiterEvent[i] != nullptr) CloseHandle(lock.waiterEvent[i]);
    lock.waiterEvent[i] = nullptr;
  }
  DeleteLock(&lock.guard);
}
