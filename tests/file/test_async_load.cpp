// Asynchronous loading: tasks on the worker threads, main-thread requests, removal of a
// queued task, the parameter packer; and the file handle type.
#include <gtest/gtest.h>
#include <windows.h>
#include <tlhelp32.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <string>
#include <vector>

#include "core/handles.h"
#include "core/memory.h"
#include "file/async_load.h"
#include "file/file_access.h"
#include "korvel.h"
#include "test_support.h"

namespace {
class AsyncLoad : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { StartTestLog(); }
  void Start(int processors) {
    ASSERT_EQ(InitAsyncLoad(GetCurrentThreadId()), 0);
    EXPECT_EQ(InitAsyncLoad(GetCurrentThreadId()), -1);
    ASSERT_EQ(StartAsyncLoadWorkers(processors), 0);
  }
  void Stop() {
    EXPECT_EQ(StopAsyncLoadWorkers(), 0);
    EXPECT_EQ(EndAsyncLoad(), 0);
    EXPECT_EQ(EndAsyncLoad(), -1);
  }
  // Serves the workers' requests until every task has run.
  static void Drain() {
    DWORD start = GetTickCount();
    while (GetAsyncLoadTaskCount() > 0 && GetTickCount() - start < 60000) {
      ServeMainThreadRequests();
      Sleep(1);
    }
  }
};

DWORD mainThread;
int results[100];
std::atomic<int> mainThreadRuns{0}, otherThreadRuns{0}, ran{0};

// A main-thread request: doubles its argument and notes where it ran.
int DoubleOnMainThread(MAIN_THREAD_REQUEST* request) {
  (GetCurrentThreadId() == mainThread ? mainThreadRuns : otherThreadRuns)++;
  return (int)request->arguments[0] * 2;
}

// A load: unpacks its parameters, asks the main thread, stores the answer.
int RunTestTask(ASYNC_LOAD_TASK* task) {
  int offset = 0;
  int index = UnpackAsyncParamInt(task->parameters, &offset);
  const char* name = UnpackAsyncParamString(task->parameters, &offset);
  const char* none = UnpackAsyncParamString(task->parameters, &offset);
  MAIN_THREAD_REQUEST request = {};
  request.function = DoubleOnMainThread;
  request.arguments[0] = (uint32_t)index;
  int doubled = RequestMainThreadCall(&request);
  bool unpacked = std::string(name) == "task " + std::to_string(index) && none == nullptr;
  results[index] = unpacked ? doubled : -1;
  ran++;
  return 0;
}

ASYNC_LOAD_TASK* MakeTask(int index, ASYNC_LOAD_PROCESS process) {
  std::string name = "task " + std::to_string(index);
  int size = 0;
  PackAsyncParamInt(nullptr, &size, index);
  PackAsyncParamString(nullptr, &size, name.c_str());
  PackAsyncParamString(nullptr, &size, nullptr);
  ASYNC_LOAD_TASK* task = AllocAsyncLoadTask(size);
  task->process = process;
  int offset = 0;
  PackAsyncParamInt(task->parameters, &offset, index);
  PackAsyncParamString(task->parameters, &offset, name.c_str());
  PackAsyncParamString(task->parameters, &offset, nullptr);
  EXPECT_EQ(offset, size);
  return task;
}

TEST_F(AsyncLoad, HundredTasksHandTheirRequestsToTheMainThread) {
  mainThread = GetCurrentThreadId();
  Start(4);
  memset(results, 0, sizeof(results));
  for (int i = 0; i < 100; i++) QueueAsyncLoadTask(MakeTask(i, RunTestTask));
  Drain();
  EXPECT_EQ(GetAsyncLoadTaskCount(), 0);
  EXPECT_EQ(ran, 100);
  EXPECT_EQ(mainThreadRuns, 100);
  EXPECT_EQ(otherThreadRuns, 0);
  for (int i = 0; i < 100; i++) EXPECT_EQ(results[i], 2 * i) << "task " << i;
  Stop();
  EXPECT_EQ(GetAllocBlockCount(), 0);
}

HANDLE blockerStarted, releaseBlocker;
std::atomic<int> targetRuns{0};
int RunBlocker(ASYNC_LOAD_TASK*) {
  SetEvent(blockerStarted);
  WaitForSingleObject(releaseBlocker, INFINITE);
  return 0;
}
int RunTarget(ASYNC_LOAD_TASK*) {
  targetRuns++;
  return 0;
}

TEST_F(AsyncLoad, TaskRemovedWhileQueuedNeverRuns) {
  blockerStarted = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  releaseBlocker = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  Start(2);  // one worker may run at a time
  ASYNC_LOAD_TASK* blocker = MakeTask(0, RunBlocker);
  QueueAsyncLoadTask(blocker);
  ASSERT_EQ(WaitForSingleObject(blockerStarted, 10000), WAIT_OBJECT_0);
  int blockerSlot = blocker->slot;
  EXPECT_EQ(RemoveAsyncLoadTask(blockerSlot, 1), -2) << "a running task is kept";
  ASYNC_LOAD_TASK* target = MakeTask(1, RunTarget);
  QueueAsyncLoadTask(target);
  int slot = target->slot;
  EXPECT_EQ(GetAsyncLoadTaskCount(), 2);
  EXPECT_EQ(RemoveAsyncLoadTask(slot, 1), 0);
  EXPECT_EQ(RemoveAsyncLoadTask(slot, 1), -1) << "the slot is empty now";
  SetEvent(releaseBlocker);
  Drain();
  Sleep(50);
  EXPECT_EQ(targetRuns, 0);
  EXPECT_EQ(GetAsyncLoadTaskCount(), 0);
  Stop();
  CloseHandle(blockerStarted);
  CloseHandle(releaseBlocker);
}

std::vector<DWORD> ProcessThreadIds() {
  std::vector<DWORD> ids;
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
  THREADENTRY32 entry = {};
  entry.dwSize = sizeof(entry);
  for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry))
    if (entry.th32OwnerProcessID == GetCurrentProcessId()) ids.push_back(entry.th32ThreadID);
  CloseHandle(snapshot);
  return ids;
}

// The handles this process holds on the given threads, found by trying every handle value.
std::vector<HANDLE> HandlesOfThreads(const std::vector<DWORD>& threads) {
  std::vector<HANDLE> handles;
  for (uintptr_t value = 4; value < 0x10000; value += 4) {
    DWORD id = GetThreadId((HANDLE)value);
    if (id != 0 && std::find(threads.begin(), threads.end(), id) != threads.end()) handles.push_back((HANDLE)value);
  }
  return handles;
}

struct WAKE_RUN {
  int failures;
  int lastResult;
};
DWORD WINAPI QueueAndWake(LPVOID parameter) {
  WAKE_RUN* run = (WAKE_RUN*)parameter;
  QueueAsyncLoadTask(MakeTask(2, RunTarget));
  for (int i = 0; i < 200; i++) {
    run->lastResult = WakeAsyncLoadWorker(0);
    if (run->lastResult == -1) run->failures++;
    Sleep(5);
  }
  return 0;
}

// A worker whose thread cannot be resumed (its handle closed behind the library's back)
// fails the wake instead of being retried for ever under the queue lock; it is given up, and
// the worker that still works runs the queue's task. The stop does not wait for the others.
TEST_F(AsyncLoad, WorkerThatCannotBeResumedFailsTheWakeAndIsGivenUp) {
  std::vector<DWORD> before = ProcessThreadIds();
  Start(2);
  std::vector<DWORD> workers;
  for (DWORD id : ProcessThreadIds())
    if (std::find(before.begin(), before.end(), id) == before.end()) workers.push_back(id);
  std::vector<HANDLE> handles = HandlesOfThreads(workers);
  ASSERT_EQ(handles.size(), (size_t)ASYNC_LOAD_WORKER_COUNT);
  // Made before the handles go, so that no thread handle of the test takes a closed value.
  WAKE_RUN run = {0, 0};
  HANDLE waker = CreateThread(nullptr, 0, QueueAndWake, &run, CREATE_SUSPENDED, nullptr);
  ASSERT_NE(waker, nullptr);
  targetRuns = 0;
  for (size_t i = 0; i + 1 < handles.size(); i++) CloseHandle(handles[i]);
  ResumeThread(waker);
  if (WaitForSingleObject(waker, 20000) != WAIT_OBJECT_0) {
    ADD_FAILURE() << "the wake never returned";
    fflush(stdout);
    TerminateProcess(GetCurrentProcess(), 1);
  }
  CloseHandle(waker);
  // The queue's own wake may have given up one of them before the loop.
  EXPECT_GE(run.failures, ASYNC_LOAD_WORKER_COUNT - 2);
  EXPECT_LE(run.failures, ASYNC_LOAD_WORKER_COUNT - 1);
  EXPECT_EQ(run.lastResult, 0) << "the worker left is woken again";
  EXPECT_EQ(targetRuns, 1);
  EXPECT_EQ(GetAsyncLoadTaskCount(), 0);
  Stop();
}

// DeleteHandle of a record whose load is running waits for it, serving the main-thread
// request the loader is suspended on; a load still queued is taken off the queue instead.
const int kLoadType = 21;
HANDLE_VALUE loadingHandle;
std::atomic<int> handleLoadDone{0};
int RunHandleLoad(ASYNC_LOAD_TASK* task) {
  SetEvent(blockerStarted);
  Sleep(100);  // the main thread is in DeleteHandle by now
  RunTestTask(task);
  EndHandleAsyncLoad(loadingHandle);
  handleLoadDone++;
  return 0;
}

TEST_F(AsyncLoad, DeleteHandleWaitsForARunningLoadAndRemovesAQueuedOne) {
  mainThread = GetCurrentThreadId();
  blockerStarted = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  ASSERT_EQ(InitHandleType(kLoadType, sizeof(HANDLE_HEAD), 16, nullptr, nullptr, "test"), 0);
  Start(2);  // one worker may run at a time
  loadingHandle = NewHandle(kLoadType, -1);
  HANDLE_VALUE queuedHandle = NewHandle(kLoadType, -1);
  ASSERT_EQ(QueueHandleLoadTask(MakeTask(7, RunHandleLoad), loadingHandle), 0);
  ASSERT_EQ(QueueHandleLoadTask(MakeTask(8, RunTarget), queuedHandle), 0);
  ASSERT_EQ(WaitForSingleObject(blockerStarted, 10000), WAIT_OBJECT_0);
  targetRuns = 0;
  EXPECT_EQ(DeleteHandle(queuedHandle), 0);
  EXPECT_EQ(DeleteHandle(loadingHandle), 0);
  EXPECT_EQ(handleLoadDone, 1) << "the running load finished before its record went";
  EXPECT_EQ(results[7], 14) << "its main-thread request was served";
  EXPECT_EQ(LookupHandleRecord(loadingHandle), nullptr);
  EXPECT_EQ(DeleteHandle(loadingHandle), -1);
  Drain();
  EXPECT_EQ(targetRuns, 0);
  Stop();
  EndHandleType(kLoadType);
  CloseHandle(blockerStarted);
}

// A handle's load is counted before any worker can take its task: the task always finds its
// handle loading. A handle that is not valid queues nothing.
const int kCountedType = 22;
std::atomic<int> sawLoading{0}, sawNotLoading{0};
int CheckHandleLoading(ASYNC_LOAD_TASK* task) {
  int offset = 0;
  HANDLE_VALUE handle = UnpackAsyncParamInt(task->parameters, &offset);
  (IsHandleLoading(handle) == 1 ? sawLoading : sawNotLoading)++;
  EndHandleAsyncLoad(handle);
  return 0;
}

TEST_F(AsyncLoad, HandleCountsAsLoadingBeforeItsTaskCanRun) {
  ASSERT_EQ(InitHandleType(kCountedType, sizeof(HANDLE_HEAD), 512, nullptr, nullptr, "test"), 0);
  Start(8);
  std::vector<HANDLE_VALUE> handles;
  for (int i = 0; i < 300; i++) {
    HANDLE_VALUE h = NewHandle(kCountedType, -1);
    handles.push_back(h);
    int size = 0;
    PackAsyncParamInt(nullptr, &size, h);
    ASYNC_LOAD_TASK* task = AllocAsyncLoadTask(size);
    task->process = CheckHandleLoading;
    int offset = 0;
    PackAsyncParamInt(task->parameters, &offset, h);
    ASSERT_EQ(QueueHandleLoadTask(task, h), 0);
  }
  Drain();
  EXPECT_EQ(sawLoading, 300);
  EXPECT_EQ(sawNotLoading, 0);
  for (HANDLE_VALUE h : handles) EXPECT_EQ(IsHandleLoading(h), 0);
  // Not valid: refused, nothing queued.
  ASYNC_LOAD_TASK* task = AllocAsyncLoadTask(4);
  task->process = CheckHandleLoading;
  EXPECT_EQ(QueueHandleLoadTask(task, -1), -1);
  EXPECT_EQ(GetAsyncLoadTaskCount(), 0);
  FreeTracked(task);
  Stop();
  EndHandleType(kCountedType);
}

TEST_F(AsyncLoad, PackerRefusesItemsOverItsLengthField) {
  std::string fits(65532, 's'), tooLong(65533, 's');
  int offset = 0;
  EXPECT_EQ(PackAsyncParamString(nullptr, &offset, fits.c_str()), 0);
  EXPECT_EQ(offset, 65535);
  offset = 0;
  EXPECT_EQ(PackAsyncParamString(nullptr, &offset, tooLong.c_str()), -1);
  EXPECT_EQ(offset, 0);
  EXPECT_EQ(PackAsyncParamBlock(nullptr, &offset, tooLong.data(), 65534), -1);
  std::string area(70000, 0);
  EXPECT_EQ(PackAsyncParamString(&area[0], &offset, ""), 0);
  EXPECT_EQ(PackAsyncParamBlock(&area[0], &offset, "abc", 3), 0);
  EXPECT_EQ(PackAsyncParamString(&area[0], &offset, fits.c_str()), 0);
  offset = 0;
  EXPECT_STREQ(UnpackAsyncParamString(area.data(), &offset), "");
  EXPECT_EQ(memcmp(UnpackAsyncParamBlock(area.data(), &offset), "abc", 3), 0);
  EXPECT_EQ(UnpackAsyncParamString(area.data(), &offset), fits);
  EXPECT_EQ(offset, 3 + 5 + 65535);
  EXPECT_EQ(ServeMainThreadRequests(), 0) << "nothing to do before start-up";
}

TEST(AsyncLoadDeathTest, RequestFromOutsideTheWorkersEndsTheProgram) {
  StartTestLog();
  MAIN_THREAD_REQUEST request = {};
  request.function = DoubleOnMainThread;
  EXPECT_EXIT(
      {
        InitAsyncLoad(GetCurrentThreadId());
        RequestMainThreadCall(&request);
      },
      ::testing::ExitedWithCode(-1), "");
  EXPECT_EXIT(RequestMainThreadCall(&request), ::testing::ExitedWithCode(-1), "");
  EXPECT_NE(ReadLogWithoutStamps().find("非同期読み込みスレッド以外からメインスレッドへの処理依頼が行われました"),
            std::string::npos);
}

TEST(FileHandles, TypeSeventeenClosesItsStreams) {
  StartTestLog();
  ASSERT_EQ(InitFileHandles(), 0);
  EXPECT_EQ(InitFileHandles(), -1);
  ASSERT_TRUE(WriteWholeFile("held.txt", "held"));
  HANDLE_VALUE h = NewHandle(HANDLE_TYPE_FILE, -1);
  ASSERT_NE(h, -1);
  FILE_HANDLE_RECORD* record = (FILE_HANDLE_RECORD*)LookupHandleRecord(h);
  ASSERT_NE(record, nullptr);
  record->stream = OpenFileStream("held.txt", 0, 0, 0);
  ASSERT_NE(record->stream, 0u);
  EXPECT_EQ(EndFileHandles(), 0);
  EXPECT_EQ(EndFileHandles(), -1);
  EXPECT_EQ(GetAllocBlockCount(), 0) << "the stream was closed with its handle";
}
}  // namespace

namespace {
int seenOnThread = 0;
int NoteMainThread(MAIN_THREAD_REQUEST* request) {
  seenOnThread = (int)GetCurrentThreadId();
  return (int)request->arguments[0] + 1;
}
int libraryTaskResult = 0;
int RunLibraryTask(ASYNC_LOAD_TASK*) {
  MAIN_THREAD_REQUEST request = {};
  request.function = NoteMainThread;
  request.arguments[0] = 41;
  libraryTaskResult = RequestMainThreadCall(&request);
  return 0;
}

// The library's start runs the workers and the file handle type with the main window; the
// message pump serves the workers' requests; the end stops them and frees everything.
TEST(AsyncLoadInLibrary, PumpServesWorkersBetweenStartAndEnd) {
  AllowMultipleInstances(1);
  SetRunWhileInactive(1);
  ChangeWindowMode(1);
  ASSERT_EQ(InitLibrary(), 0);
  EXPECT_EQ(InitFileHandles(), -1) << "started by the main window";
  ASYNC_LOAD_TASK* task = AllocAsyncLoadTask(0);
  task->process = RunLibraryTask;
  QueueAsyncLoadTask(task);
  DWORD start = GetTickCount();
  while (GetAsyncLoadTaskCount() > 0 && GetTickCount() - start < 20000) PumpWindowMessages();
  EXPECT_EQ(libraryTaskResult, 42);
  EXPECT_EQ(seenOnThread, (int)GetCurrentThreadId());
  ASSERT_EQ(EndLibrary(), 0);
  EXPECT_EQ(InitFileHandles(), 0) << "ended with the main window";
  EXPECT_EQ(EndFileHandles(), 0);
  EXPECT_EQ(GetAllocBlockCount(), 0);
}
}  // namespace
