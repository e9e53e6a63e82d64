#include "async_load.h"

#include "core/handles.h"
#include "core/log.h"
#include "core/memory.h"
#include "core/strings.h"
#include "korvel.h"
#include "system/base/timers.h"

namespace {
struct ASYNC_LOAD_WORKER {
  THREAD_RECORD thread;  // first, so the thread record leads to the worker
  volatile int ended;
  int busy;
  int waiting;
  int suspended;
  int suspendTime;
  ASYNC_LOAD_TASK* currentTask;
};

struct ASYNC_LOAD_QUEUE {
  int initialised;
  DWORD mainThreadId;
  volatile LONG endRequest;
  int threadCount;
  int maxRunning;
  ASYNC_LOAD_WORKER workers[ASYNC_LOAD_WORKER_COUNT];
  int runningCount;
  CRITICAL_SECTION lock;
  MAIN_THREAD_REQUEST* requests[ASYNC_LOAD_WORKER_COUNT];
  int requestCount;
  ASYNC_LOAD_TASK* tasks[ASYNC_LOAD_MAX_TASKS];
  int taskCount;
  int endIndex;
};
ASYNC_LOAD_QUEUE queue = {};

const char* const kNotFromWorker = "非同期読み込みスレッド以外からメインスレッドへの処理依頼が行われました";

int Now() { return GetMillisecondCount(); }

void PutU16(void* area, int offset, int value) {
  uint8_t* p = (uint8_t*)area + offset;
  p[0] = (uint8_t)value;
  p[1] = (uint8_t)(value >> 8);
}

int GetU16(const void* area, int offset) {
  const uint8_t* p = (const uint8_t*)area + offset;
  return p[0] | (p[1] << 8);
}

// Picks the worker to resume: first a suspended busy worker whose request has been served
// (oldest task first), else the idle worker suspended longest; -1 when none.
int PickWorker() {
  int best = -1;
  for (int i = 0; i < queue.threadCount; i++) {
    ASYNC_LOAD_WORKER& w = queue.workers[i];
    if (w.ended || !w.suspended || !w.busy || w.waiting || w.currentTask == nullptr) continue;
    if (best < 0 || w.currentTask->timeAdded < queue.workers[best].currentTask->timeAdded) best = i;
  }
  if (best >= 0) return best;
  for (int i = 0; i < queue.threadCount; i++) {
    ASYNC_LOAD_WORKER& w = queue.workers[i];
    if (w.ended || !w.suspended || w.waiting) continue;
    if (best < 0 || w.suspendTime < queue.workers[best].suspendTime) best = i;
  }
  return best;
}

void SuspendWorker(ASYNC_LOAD_WORKER& w) {
  w.suspended = 1;
  w.suspendTime = Now();
  queue.runningCount--;
}

void RunAsyncLoadWorker(ASYNC_LOAD_WORKER& w) {
  while (queue.endRequest != 1) {
    if (queue.endIndex != 0) {
      EnterLock(&queue.lock);
      ASYNC_LOAD_TASK* task = nullptr;
      for (int i = 0; i < queue.endIndex; i++) {
        ASYNC_LOAD_TASK* t = queue.tasks[i];
        if (t == nullptr || t->running) continue;
        if (task == nullptr || t->timeAdded <= task->timeAdded) task = t;
      }
      if (task != nullptr) {
        task->running = 1;
        w.busy = 1;
        w.currentTask = task;
        LeaveLock(&queue.lock);
        task->process(task);
        EnterLock(&queue.lock);
        RemoveAsyncLoadTask(task->slot, 0);
        w.busy = 0;
        w.currentTask = nullptr;
        LeaveLock(&queue.lock);
        continue;
      }
      LeaveLock(&queue.lock);
      WakeAsyncLoadWorker(1);
    }
    EnterLock(&queue.lock);
    SuspendWorker(w);
    LeaveLock(&queue.lock);
    SuspendSelf();
  }
  EnterLock(&queue.lock);
  w.ended = 1;
  queue.runningCount--;
  LeaveLock(&queue.lock);
}
}  // namespace

int InitAsyncLoad(DWORD mainThreadId) {
  if (queue.initialised) return -1;
  FillBytes(&queue, 0, sizeof(queue));
  queue.mainThreadId = mainThreadId;
  InitLock(&queue.lock);
  queue.initialised = 1;
  const HANDLE_LOAD_HOOKS hooks = {RemoveAsyncLoadTask, ServeMainThreadRequests};
  SetHandleLoadHooks(&hooks);
  return 0;
}

int StartAsyncLoadWorkers(int logicalProcessors) {
  if (!queue.initialised) return -1;
  queue.threadCount = ASYNC_LOAD_WORKER_COUNT;
  queue.maxRunning = logicalProcessors - 1 < 1 ? 1 : logicalProcessors - 1;
  for (int i = 0; i < queue.threadCount; i++) {
    ASYNC_LOAD_WORKER& w = queue.workers[i];
    if (LaunchThread(&w.thread, EnterAsyncLoadWorker, i) != 0) return -1;
    SetThreadPriorityLevel(&w.thread, 0);
    w.suspended = 1;
    w.suspendTime = Now();
  }
  Sleep(16);
  return 0;
}

int StopAsyncLoadWorkers() {
  if (!queue.initialised) return 0;
  InterlockedExchange(&queue.endRequest, 1);
  for (int i = 0; i < ASYNC_LOAD_WORKER_COUNT; i++) {
    ASYNC_LOAD_WORKER& w = queue.workers[i];
    if (!IsThreadCreated(&w.thread)) continue;
    while (!w.ended) {
      ServeMainThreadRequests();
      EnterLock(&queue.lock);
      bool noneRunning = queue.runningCount <= 0;
      LeaveLock(&queue.lock);
      if (noneRunning) WakeAsyncLoadWorker(0);
      Sleep(1);
    }
    // The loop has returned; wait for the thread itself before its handle goes.
    WaitForSingleObject(w.thread.thread, INFINITE);
    CloseThreadHandle(&w.thread);
  }
  return 0;
}

int EndAsyncLoad() {
  if (!queue.initialised) return -1;
  for (int i = 0; i < queue.endIndex; i++)
    if (queue.tasks[i] != nullptr) FreeTracked(queue.tasks[i]);
  DeleteLock(&queue.lock);
  queue.initialised = 0;
  return 0;
}

ASYNC_LOAD_TASK* AllocAsyncLoadTask(int parameterBytes) {
  int bytes = parameterBytes < 0 ? 0 : parameterBytes;
  ASYNC_LOAD_TASK* task = (ASYNC_LOAD_TASK*)AllocTrackedZeroed(sizeof(ASYNC_LOAD_TASK) + (size_t)bytes, "", 0);
  if (task == nullptr) AddLogLineFormat("非同期読み込みデータを格納するメモリ領域 %dByte の確保に失敗しました", parameterBytes);
  return task;
}

int PackAsyncParamBlock(void* area, int* offset, const void* data, int size) {
  if (size < 0 || size > ASYNC_PARAM_MAX_ITEM) return -1;
  if (area != nullptr) {
    PutU16(area, *offset, size + 2);
    CopyMemoryBytes((uint8_t*)area + *offset + 2, data, (size_t)size);
  }
  *offset += 2 + size;
  return 0;
}

int PackAsyncParamInt(void* area, int* offset, int value) {
  if (area != nullptr) CopyMemoryBytes((uint8_t*)area + *offset, &value, 4);
  *offset += 4;
  return 0;
}

int PackAsyncParamString(void* area, int* offset, const char* text) {
  if (text == nullptr) {
    if (area != nullptr) PutU16(area, *offset, 2);
    *offset += 2;
    return 0;
  }
  size_t length = 0;
  while (text[length] != 0 && length <= ASYNC_PARAM_MAX_ITEM) length++;
  if (length + 1 > ASYNC_PARAM_MAX_ITEM) return -1;
  return PackAsyncParamBlock(area, offset, text, (int)length + 1);
}

const void* UnpackAsyncParamBlock(const void* area, int* offset) {
  int stored = GetU16(area, *offset);
  const void* bytes = (const uint8_t*)area + *offset + 2;
  *offset += stored;
  return bytes;
}

int UnpackAsyncParamInt(const void* area, int* offset) {
  int value;
  CopyMemoryBytes(&value, (const uint8_t*)area + *offset, 4);
  *offset += 4;
  return value;
}

const char* UnpackAsyncParamString(const void* area, int* offset) {
  int stored = GetU16(area, *offset);
  const char* text = stored == 2 ? nullptr : (const char*)area + *offset + 2;
  *offset += stored;
  return text;
}

int QueueAsyncLoadTask(ASYNC_LOAD_TASK* task) {
  EnterLock(&queue.lock);
  if (queue.taskCount == ASYNC_LOAD_MAX_TASKS) {
    LeaveLock(&queue.lock);
    ExitWithFatalError("非同期読み込みデータの数が許容量を越えました終了します");
  }
  int slot = queue.endIndex;
  if (slot == ASYNC_LOAD_MAX_TASKS) {
    slot = 0;
    while (queue.tasks[slot] != nullptr) slot++;
  }
  task->slot = slot;
  task->running = 0;
  task->timeAdded = Now();
  if (slot == queue.endIndex) queue.endIndex++;
  queue.tasks[slot] = task;
  queue.taskCount++;
  WakeAsyncLoadWorker(0);
  LeaveLock(&queue.lock);
  return slot;
}

int QueueHandleLoadTask(ASYNC_LOAD_TASK* task, HANDLE_VALUE handle) {
  // Counted before any worker can see the task; the slot is known only once it is queued (the
  // task may have run and be gone by then, so its slot is not read from it).
  if (BeginHandleAsyncLoad(handle, -1) < 0) return -1;
  int slot = QueueAsyncLoadTask(task);
  if (slot < 0) {
    EndHandleAsyncLoad(handle);
    return -1;
  }
  SetHandleAsyncLoadTask(handle, slot);
  return 0;
}

int RemoveAsyncLoadTask(int slot, int keepIfRunning) {
  if (slot < 0 || slot >= ASYNC_LOAD_MAX_TASKS) return -1;
  EnterLock(&queue.lock);
  ASYNC_LOAD_TASK* task = queue.tasks[slot];
  int result = 0;
  if (task == nullptr) {
    result = -1;
  } else if (task->running && keepIfRunning) {
    result = -2;
  } else {
    queue.taskCount--;
    if (slot == queue.endIndex - 1) {
      int end = slot;
      if (queue.taskCount != 0)
        while (end > 0 && queue.tasks[end - 1] == nullptr) end--;
      else
        end = 0;
      queue.endIndex = end;
    }
    FreeTracked(task);
    queue.tasks[slot] = nullptr;
  }
  LeaveLock(&queue.lock);
  return result;
}

int GetAsyncLoadTaskCount() {
  if (!queue.initialised) return 0;
  EnterLock(&queue.lock);
  int count = queue.taskCount;
  LeaveLock(&queue.lock);
  return count;
}

int WakeAsyncLoadWorker(int extraAllowance) {
  int result = 0;
  EnterLock(&queue.lock);
  if (queue.runningCount < queue.maxRunning + extraAllowance) {
    for (;;) {
      int index = PickWorker();
      if (index < 0) break;
      ASYNC_LOAD_WORKER& w = queue.workers[index];
      int resumed = ResumeThreadRecord(&w.thread);
      if (resumed == 1) {
        w.suspended = 0;
        queue.runningCount++;
        break;
      }
      // A thread that cannot be resumed at all will never run again: its handle is let go and
      // the worker counts as ended, so that later wakes and the stop pass it by; this wake fails.
      if (resumed == THREAD_RESUME_FAILED) {
        CloseThreadHandle(&w.thread);
        w.ended = 1;
        result = -1;
        break;
      }
      // The worker has set its flag but not suspended itself yet: try again.
      Sleep(0);
    }
  }
  LeaveLock(&queue.lock);
  return result;
}

int RequestMainThreadCall(MAIN_THREAD_REQUEST* request) {
  if (!queue.initialised) ExitWithFatalError(kNotFromWorker);
  EnterLock(&queue.lock);
  if (queue.requestCount == ASYNC_LOAD_WORKER_COUNT) {
    LeaveLock(&queue.lock);
    ExitWithFatalError("非同期読み込みスレッドからメインスレッドへの処理依頼数が許容量を越えました終了します");
  }
  queue.requests[queue.requestCount] = request;
  request->result = 0;
  DWORD self = GetCurrentThreadId();
  int index = -1;
  for (int i = 0; i < queue.threadCount; i++)
    if (IsThreadCreated(&queue.workers[i].thread) && GetThreadRecordId(&queue.workers[i].thread) == self) index = i;
  if (index < 0) {
    LeaveLock(&queue.lock);
    ExitWithFatalError(kNotFromWorker);
  }
  request->workerIndex = index;
  ASYNC_LOAD_WORKER& w = queue.workers[index];
  w.waiting = 1;
  queue.requestCount++;
  WakeAsyncLoadWorker(1);
  SuspendWorker(w);
  LeaveLock(&queue.lock);
  SuspendSelf();
  return request->result;
}

int ServeMainThreadRequests() {
  if (!queue.initialised) return 0;
  if (GetCurrentThreadId() != queue.mainThreadId) return -1;
  EnterLock(&queue.lock);
  if (queue.requestCount > 0) {
    int start = Now();
    int served = 0;
    while (served < queue.requestCount && Now() - start <= 2) {
      MAIN_THREAD_REQUEST* request = queue.requests[served++];
      request->result = request->function(request);
      queue.workers[request->workerIndex].waiting = 0;
      WakeAsyncLoadWorker(0);
    }
    for (int i = served; i < queue.requestCount; i++) queue.requests[i - served] = queue.requests[i];
    queue.requestCount -= served;
  }
  int target = queue.maxRunning - 1 == 0 ? 1 : queue.maxRunning - 1;
  if (target > queue.taskCount) target = queue.taskCount;
  if (queue.taskCount > 0 && queue.runningCount < target)
    for (int i = queue.runningCount; i < target; i++) WakeAsyncLoadWorker(0);
  LeaveLock(&queue.lock);
  return 0;
}

void EnterAsyncLoadWorker(THREAD_RECORD* record, int userValue) {
  (void)userValue;
  RunAsyncLoadWorker(*(ASYNC_LOAD_WORKER*)record);
}
