// The handle manager: every resource is named by a HANDLE_VALUE packing its type (bits 26-30),
// a check value (bits 16-25, cycling 1..1022, 0) and a slot index (bits 0-15). Per type the
// manager keeps a slot table, a list of live records, a lock and two callbacks.
#pragma once
#include <windows.h>

typedef int HANDLE_VALUE;

enum HANDLE_TYPE {
  HANDLE_TYPE_GRAPH = 1,
  HANDLE_TYPE_SOFT_IMAGE = 2,
  HANDLE_TYPE_SOUND = 3,
  HANDLE_TYPE_SOFT_SOUND = 4,
  HANDLE_TYPE_MUSIC = 5,
  HANDLE_TYPE_MOVIE = 6,
  HANDLE_TYPE_MASK = 7,
  HANDLE_TYPE_FONT = 8,
  HANDLE_TYPE_KEY_INPUT = 9,
  HANDLE_TYPE_NETWORK = 10,
  HANDLE_TYPE_LIGHT = 11,
  HANDLE_TYPE_SHADER = 12,
  HANDLE_TYPE_MODEL_BASE = 13,
  HANDLE_TYPE_MODEL = 14,
  HANDLE_TYPE_VERTEX_BUFFER = 15,
  HANDLE_TYPE_INDEX_BUFFER = 16,
  HANDLE_TYPE_FILE = 17,
  HANDLE_TYPE_COUNT = 32,
};

enum {
  HANDLE_TYPE_SHIFT = 26,
  HANDLE_ID_SHIFT = 16,
  HANDLE_TYPE_MASK_BITS = 0x7C000000,
  HANDLE_ID_MASK = 0x03FF0000,
  HANDLE_SLOT_MASK = 0x0000FFFF,
};

struct HANDLE_LIST_NODE {
  HANDLE_VALUE handle;  // -1 in the sentinels
  void* data;           // the record, null in the sentinels
  HANDLE_LIST_NODE* previous;
  HANDLE_LIST_NODE* next;
};

struct HANDLE_HEAD {
  int id;  // check value
  HANDLE_VALUE handle;
  int recordSize;
  int* deleteFlag;  // receives -1 when the handle is deleted
  int pendingLoads;
  int loadTaskIndex;
  HANDLE_LIST_NODE node;
};

typedef void (*HANDLE_INIT_FUNCTION)(HANDLE_HEAD* record);
typedef int (*HANDLE_TERMINATE_FUNCTION)(HANDLE_HEAD* record);  // 1 keeps the record
typedef int (*HANDLE_FILTER_FUNCTION)(HANDLE_HEAD* record);     // 0 selects the record

struct HANDLE_TYPE_MANAGER {
  int initialised;
  HANDLE_HEAD** slots;
  HANDLE_LIST_NODE listHead;
  HANDLE_LIST_NODE listTail;
  int typeMask;
  int recordSize;
  int maxCount;
  int count;
  int lowestSlot;
  int highestSlot;
  int nextId;  // kept across the end of the type
  CRITICAL_SECTION lock;
  HANDLE_INIT_FUNCTION init;
  HANDLE_TERMINATE_FUNCTION terminate;
  const char* name;
};

extern HANDLE_TYPE_MANAGER HandleManagers[HANDLE_TYPE_COUNT];

// The asynchronous loader's part in deleting a handle whose load is pending, registered by the
// loader when it starts. removeLoad(taskIndex, keepIfRunning) takes a queued load off the
// queue and returns -2 when the load is already running; serveWhileWaiting runs while
// DeleteHandle waits for a running load to finish (it serves the requests the load may be
// suspended on). Without a loader no load is pending and neither is called.
struct HANDLE_LOAD_HOOKS {
  int (*removeLoad)(int taskIndex, int keepIfRunning);
  int (*serveWhileWaiting)();
};
void SetHandleLoadHooks(const HANDLE_LOAD_HOOKS* hooks);

int InitHandleType(int type, int recordSize, int maxCount, HANDLE_INIT_FUNCTION init,
                   HANDLE_TERMINATE_FUNCTION terminate, const char* name);
HANDLE_VALUE NewHandle(int type, HANDLE_VALUE wanted);
int DeleteHandle(HANDLE_VALUE handle);
int DeleteHandlesOfType(int type, HANDLE_FILTER_FUNCTION filter);
int EndHandleType(int type);
HANDLE_HEAD* LookupHandleRecord(HANDLE_VALUE handle);
// 1 when the type is set up (between InitHandleType and EndHandleType).
int IsHandleTypeReady(int type);
// Walks the live records of a set-up type in slot order: start with *cursor = -1; each call
// returns the next record and leaves its slot in *cursor, null at the end. The bounds are read
// again at each call, so the walker may delete the record it was given.
HANDLE_HEAD* NextHandleRecord(int type, int* cursor);
// The type's lock, for code that must keep the type's records still across several calls.
void LockHandleType(int type);
void UnlockHandleType(int type);
int IsHandleLoading(HANDLE_VALUE handle);
int BeginHandleAsyncLoad(HANDLE_VALUE handle, int taskIndex);
// The queued task of a load already counted by BeginHandleAsyncLoad.
int SetHandleAsyncLoadTask(HANDLE_VALUE handle, int taskIndex);
int EndHandleAsyncLoad(HANDLE_VALUE handle);
int SetHandleDeleteFlag(HANDLE_VALUE handle, int* flag);
int ResizeHandleRecord(HANDLE_VALUE handle, int newSize);
void InitNodeList(HANDLE_LIST_NODE* head, HANDLE_LIST_NODE* tail);
void InsertListNode(HANDLE_LIST_NODE* head, HANDLE_LIST_NODE* node, HANDLE_VALUE handle, void* data);
void UnlinkListNode(HANDLE_LIST_NODE* node);

// The type of a handle value (bits 26-30).
inline int GetHandleType(HANDLE_VALUE handle) { return (int)(((unsigned)handle & HANDLE_TYPE_MASK_BITS) >> HANDLE_TYPE_SHIFT); }
