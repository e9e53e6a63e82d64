// Thin wrappers over Win32 threads and critical sections. A thread started through
// LaunchThread suspends itself before running the caller's code, so its owner finishes
// setting it up and decides when it first runs.
#pragma once
#include <windows.h>

struct THREAD_RECORD;
typedef void (*THREAD_FUNCTION)(THREAD_RECORD* record, int userValue);

struct THREAD_RECORD {
  THREAD_FUNCTION function;
  int userValue;
  HANDLE thread;  // null when no thread exists
  DWORD threadId;
};

// ResumeThreadRecord's result when the thread cannot be resumed at all.
enum { THREAD_RESUME_FAILED = -1 };

int LaunchThread(THREAD_RECORD* record, THREAD_FUNCTION function, int userValue);
// The start routine of every launched thread: suspends itself, then runs the function.
DWORD WINAPI RunThreadEntry(LPVOID record);
// 1 resumed, 0 not suspended yet (try later), THREAD_RESUME_FAILED.
int ResumeThreadRecord(THREAD_RECORD* record);
void SuspendSelf();
void SetThreadPriorityLevel(THREAD_RECORD* record, int level);
int IsThreadCreated(const THREAD_RECORD* record);
void CloseThreadHandle(THREAD_RECORD* record);
DWORD GetThreadRecordId(const THREAD_RECORD* record);
void SleepMs(int milliseconds);

int InitLock(CRITICAL_SECTION* lock);
int DeleteLock(CRITICAL_SECTION* lock);
int EnterLock(CRITICAL_SECTION* lock);
int LeaveLock(CRITICAL_SECTION* lock);
