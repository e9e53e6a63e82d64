// Threads and locks: the start protocol of launched threads (suspended by themselves until
// their owner resumes them), resume failures, priorities and recursive locks.
#include <gtest/gtest.h>
#include <windows.h>

#include "core/threads.h"

namespace {
struct Probe {
  THREAD_RECORD record;  // first, as in the records that embed it
  volatile LONG runs;
  volatile LONG afterSelfSuspend;
  int seenUserValue;
};

void CountRun(THREAD_RECORD* record, int userValue) {
  Probe* probe = (Probe*)record;
  probe->seenUserValue = userValue;
  InterlockedIncrement(&probe->runs);
}

void SuspendThenCount(THREAD_RECORD* record, int) {
  Probe* probe = (Probe*)record;
  InterlockedIncrement(&probe->runs);
  SuspendSelf();
  InterlockedIncrement(&probe->afterSelfSuspend);
}

// A new thread runs the DLL thread-attach notifications under the loader lock before it
// reaches its start routine; holding that lock keeps a launched thread short of its
// self-suspend for as long as the test needs.
struct LoaderLockHold {
  typedef LONG(NTAPI* LockFn)(ULONG, ULONG*, ULONG_PTR*);
  typedef LONG(NTAPI* UnlockFn)(ULONG, ULONG_PTR);
  LoaderLockHold() {
    HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    lock = (LockFn)(void*)GetProcAddress(ntdll, "LdrLockLoaderLock");
    unlock = (UnlockFn)(void*)GetProcAddress(ntdll, "LdrUnlockLoaderLock");
    if (lock != nullptr && unlock != nullptr) held = lock(0, nullptr, &cookie) == 0;
  }
  void Release() {
    if (held) unlock(0, cookie);
    held = false;
  }
  ~LoaderLockHold() { Release(); }
  LockFn lock = nullptr;
  UnlockFn unlock = nullptr;
  ULONG_PTR cookie = 0;
  bool held = false;
};

// Resumes until the thread reports it was suspended (1); a 0 means "not suspended yet".
int ResumeWhenSuspended(THREAD_RECORD* record) {
  for (int i = 0; i < 2000; i++) {
    int r = ResumeThreadRecord(record);
    if (r != 0) return r;
    Sleep(1);
  }
  return 0;
}

TEST(Threads, ResumeBeforeSelfSuspendIsLostAndALaterOneRuns) {
  Probe probe = {};
  LoaderLockHold hold;
  ASSERT_TRUE(hold.held) << "loader lock not available";
  ASSERT_EQ(LaunchThread(&probe.record, CountRun, 42), 0);
  EXPECT_EQ(IsThreadCreated(&probe.record), 1);
  EXPECT_NE(GetThreadRecordId(&probe.record), 0u);
  // The thread cannot have suspended itself yet: this resume finds it running and is lost.
  EXPECT_EQ(ResumeThreadRecord(&probe.record), 0);
  hold.Release();
  Sleep(200);
  EXPECT_EQ(probe.runs, 0) << "the thread must stay suspended until a later resume";
  EXPECT_EQ(ResumeWhenSuspended(&probe.record), 1);
  ASSERT_EQ(WaitForSingleObject(probe.record.thread, 5000), WAIT_OBJECT_0);
  EXPECT_EQ(probe.runs, 1);
  EXPECT_EQ(probe.seenUserValue, 42);
  DWORD code = 99;
  GetExitCodeThread(probe.record.thread, &code);
  EXPECT_EQ(code, 0u);
  CloseThreadHandle(&probe.record);
  EXPECT_EQ(IsThreadCreated(&probe.record), 0);
}

TEST(Threads, ASelfSuspendedBodyWaitsForItsOwner) {
  Probe probe = {};
  ASSERT_EQ(LaunchThread(&probe.record, SuspendThenCount, 0), 0);
  ASSERT_EQ(ResumeWhenSuspended(&probe.record), 1);
  while (probe.runs == 0) Sleep(1);
  Sleep(100);
  EXPECT_EQ(probe.afterSelfSuspend, 0);
  EXPECT_EQ(ResumeWhenSuspended(&probe.record), 1);
  ASSERT_EQ(WaitForSingleObject(probe.record.thread, 5000), WAIT_OBJECT_0);
  EXPECT_EQ(probe.afterSelfSuspend, 1);
  CloseThreadHandle(&probe.record);
}

TEST(Threads, AFailedResumeIsReportedApartFromNotYetSuspended) {
  THREAD_RECORD none = {};
  EXPECT_EQ(ResumeThreadRecord(&none), THREAD_RESUME_FAILED);
  THREAD_RECORD bogus = {};
  bogus.thread = (HANDLE)(ULONG_PTR)0x7FF0;  // not a handle of this process
  EXPECT_EQ(ResumeThreadRecord(&bogus), THREAD_RESUME_FAILED);
  // Once the owner has closed the handle there is nothing left to resume.
  Probe probe = {};
  ASSERT_EQ(LaunchThread(&probe.record, CountRun, 0), 0);
  ASSERT_EQ(ResumeWhenSuspended(&probe.record), 1);
  ASSERT_EQ(WaitForSingleObject(probe.record.thread, 5000), WAIT_OBJECT_0);
  CloseThreadHandle(&probe.record);
  EXPECT_EQ(ResumeThreadRecord(&probe.record), THREAD_RESUME_FAILED);
}

TEST(Threads, PriorityLevels) {
  Probe probe = {};
  ASSERT_EQ(LaunchThread(&probe.record, CountRun, 0), 0);
  struct Row { int level; int priority; } rows[] = {
      {0, THREAD_PRIORITY_LOWEST}, {1, THREAD_PRIORITY_BELOW_NORMAL}, {2, THREAD_PRIORITY_NORMAL},
      {3, THREAD_PRIORITY_HIGHEST}, {4, THREAD_PRIORITY_HIGHEST}, {-1, THREAD_PRIORITY_HIGHEST},
  };
  for (const Row& r : rows) {
    SetThreadPriorityLevel(&probe.record, r.level);
    EXPECT_EQ(GetThreadPriority(probe.record.thread), r.priority) << "level " << r.level;
  }
  ASSERT_EQ(ResumeWhenSuspended(&probe.record), 1);
  WaitForSingleObject(probe.record.thread, 5000);
  CloseThreadHandle(&probe.record);
}

CRITICAL_SECTION sharedLock;
DWORD WINAPI TryTakeLock(LPVOID) { return TryEnterCriticalSection(&sharedLock) ? 1 : 0; }

TEST(Locks, AreRecursiveAndExclusive) {
  EXPECT_EQ(InitLock(&sharedLock), 0);
  EXPECT_EQ(EnterLock(&sharedLock), 0);
  EXPECT_EQ(EnterLock(&sharedLock), 0);  // the holder may enter again
  auto otherThreadGets = [] {
    HANDLE t = CreateThread(nullptr, 0, TryTakeLock, nullptr, 0, nullptr);
    WaitForSingleObject(t, 5000);
    DWORD got = 0;
    GetExitCodeThread(t, &got);
    CloseHandle(t);
    return got;
  };
  EXPECT_EQ(LeaveLock(&sharedLock), 0);
  EXPECT_EQ(otherThreadGets(), 0u);  // still held once
  EXPECT_EQ(LeaveLock(&sharedLock), 0);
  EXPECT_EQ(otherThreadGets(), 1u);  // that thread ended holding it; the section is abandoned
  EXPECT_EQ(DeleteLock(&sharedLock), 0);
}

}  // namespace
