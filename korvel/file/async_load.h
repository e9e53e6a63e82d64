// Asynchronous loading: 32 lowest-priority worker threads run queued load tasks, at most
// (logical processors - 1, at least 1) at a time. A worker that needs the main thread (every
// Direct3D call) hands it a MAIN_THREAD_REQUEST and suspends itself until the main thread
// has run it in ServeMainThreadRequests.
#pragma once
#include <windows.h>

#include <cstdint>

#include "core/handles.h"
#include "core/threads.h"

enum { ASYNC_LOAD_WORKER_COUNT = 32, ASYNC_LOAD_MAX_TASKS = 0x8000, ASYNC_PARAM_MAX_ITEM = 65533 };

struct MAIN_THREAD_REQUEST;
typedef int (*MAIN_THREAD_FUNCTION)(MAIN_THREAD_REQUEST* request);

// Lives on the requesting worker's stack until RequestMainThreadCall returns.
struct MAIN_THREAD_REQUEST {
  MAIN_THREAD_FUNCTION function;
  int workerIndex;  // filled in by RequestMainThreadCall
  int result;
  uintptr_t arguments[13];  // the call's own arguments, one pointer-sized word each
};
static_assert(sizeof(void*) != 4 || sizeof(MAIN_THREAD_REQUEST) == 64, "a request is 64 bytes in the 32-bit build");

struct ASYNC_LOAD_TASK;
typedef int (*ASYNC_LOAD_PROCESS)(ASYNC_LOAD_TASK* task);

struct ASYNC_LOAD_TASK {
  int slot;
  volatile int running;
  int timeAdded;
  ASYNC_LOAD_PROCESS process;
  uint8_t parameters[4];  // the packed parameters (the block is allocated to their size)
};

int InitAsyncLoad(DWORD mainThreadId);
int StartAsyncLoadWorkers(int logicalProcessors);
int StopAsyncLoadWorkers();
int EndAsyncLoad();

ASYNC_LOAD_TASK* AllocAsyncLoadTask(int parameterBytes);
// Each writes one item at *offset and advances it; a null area only advances (sizing pass).
// A block or string longer than ASYNC_PARAM_MAX_ITEM bytes is refused with -1.
int PackAsyncParamBlock(void* area, int* offset, const void* data, int size);
int PackAsyncParamInt(void* area, int* offset, int value);
int PackAsyncParamString(void* area, int* offset, const char* text);
const void* UnpackAsyncParamBlock(const void* area, int* offset);
int UnpackAsyncParamInt(const void* area, int* offset);
const char* UnpackAsyncParamString(const void* area, int* offset);

// Queues the task and wakes a worker; -> the task's slot.
int QueueAsyncLoadTask(ASYNC_LOAD_TASK* task);
// Queues the load of a handle, which counts as loading from before any worker can take the
// task; -1 (nothing queued, nothing counted) for a handle that is not valid.
int QueueHandleLoadTask(ASYNC_LOAD_TASK* task, HANDLE_VALUE handle);
// 0 removed and freed, -1 empty slot, -2 running and keepIfRunning set (nothing done).
int RemoveAsyncLoadTask(int slot, int keepIfRunning);
int GetAsyncLoadTaskCount();
int RequestMainThreadCall(MAIN_THREAD_REQUEST* request);
int ServeMainThreadRequests();
// Resumes one suspended worker while fewer than max running + extraAllowance run. -> 0, or -1
// when the worker picked cannot be resumed (it is given up; the queue stays usable).
int WakeAsyncLoadWorker(int extraAllowance);
void EnterAsyncLoadWorker(THREAD_RECORD* record, int userValue);
