#include "threads.h"

DWORD WINAPI RunThreadEntry(LPVOID param) {
  THREAD_RECORD* record = (THREAD_RECORD*)param;
  SuspendThread(GetCurrentThread());
  record->function(record, record->userValue);
  ExitThread(0);
  return 0;
}

int LaunchThread(THREAD_RECORD* record, THREAD_FUNCTION function, int userValue) {
  record->function = function;
  record->userValue = userValue;
  record->thread = CreateThread(nullptr, 0, RunThreadEntry, record, 0, &record->threadId);
  return record->thread != nullptr ? 0 : -1;
}

// 1 when the thread had suspended itself and now runs; 0 when it had not suspended yet (the
// caller tries again later); THREAD_RESUME_FAILED when there is no thread or ResumeThread
// itself failed, which no retry will mend.
int ResumeThreadRecord(THREAD_RECORD* record) {
  if (record->thread == nullptr) return THREAD_RESUME_FAILED;
  DWORD previous = ResumeThread(record->thread);
  if (previous == (DWORD)-1) return THREAD_RESUME_FAILED;
  return previous != 0 ? 1 : 0;
}

void SuspendSelf() { SuspendThread(GetCurrentThread()); }

void SetThreadPriorityLevel(THREAD_RECORD* record, int level) {
  static const int priorities[4] = {THREAD_PRIORITY_LOWEST, THREAD_PRIORITY_BELOW_NORMAL, THREAD_PRIORITY_NORMAL,
                                    THREAD_PRIORITY_HIGHEST};
  if (level < 0 || level > 3) return;
  SetThreadPriority(record->thread, priorities[level]);
}

int IsThreadCreated(const THREAD_RECORD* record) { return record->thread != nullptr ? 1 : 0; }

void CloseThreadHandle(THREAD_RECORD* record) {
  if (record->thread != nullptr) CloseHandle(record->thread);
  record->thread = nullptr;
}

DWORD GetThreadRecordId(const THREAD_RECORD* record) { return record->threadId; }
void SleepMs(int milliseconds) { Sleep((DWORD)milliseconds); }

int InitLock(CRITICAL_SECTION* lock) { InitializeCriticalSection(lock); return 0; }
int DeleteLock(CRITICAL_SECTION* lock) { DeleteCriticalSection(lock); return 0; }
int EnterLock(CRITICAL_SECTION* lock) { EnterCriticalSection(lock); return 0; }
int LeaveLock(CRITICAL_SECTION* lock) { LeaveCriticalSection(lock); return 0; }
