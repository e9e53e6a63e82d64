#include "handles.h"

#include <cstring>

#include "log.h"
#include "memory.h"
#include "threads.h"

HANDLE_TYPE_MANAGER HandleManagers[HANDLE_TYPE_COUNT];

namespace {
HANDLE_LOAD_HOOKS loadHooks;

// Takes a handle's queued load off the loader's queue: -2 when the load is already running
// (it is left to finish), else the queue's answer; with no loader there is nothing to take.
int RemovePendingLoad(const HANDLE_HEAD* record) {
  return loadHooks.removeLoad != nullptr ? loadHooks.removeLoad(record->loadTaskIndex, 1) : -1;
}

HANDLE_TYPE_MANAGER* ManagerOf(int type) {
  if (type <= 0 || type >= HANDLE_TYPE_COUNT) return nullptr;
  HANDLE_TYPE_MANAGER* m = &HandleManagers[type];
  return m->initialised ? m : nullptr;
}

HANDLE_TYPE_MANAGER* ManagerOfHandle(HANDLE_VALUE handle) {
  if (handle < 0) return nullptr;
  return ManagerOf(GetHandleType(handle));
}

// The full validity test: set-up type, non-negative value of that type, slot in range and in
// use, and the record's check value matching the handle's.
HANDLE_HEAD* Validate(HANDLE_TYPE_MANAGER* m, HANDLE_VALUE handle) {
  if (m == nullptr || handle < 0) return nullptr;
  if ((handle & HANDLE_TYPE_MASK_BITS) != m->typeMask) return nullptr;
  int slot = handle & HANDLE_SLOT_MASK;
  if (slot >= m->maxCount) return nullptr;
  HANDLE_HEAD* record = m->slots[slot];
  if (record == nullptr) return nullptr;
  if ((record->id << HANDLE_ID_SHIFT) != (handle & HANDLE_ID_MASK)) return nullptr;
  return record;
}

// Slot choice for a new record: the wanted slot when it is free, else slot 0 for an empty
// type, else above the highest, else below the lowest, else the first free slot.
int ChooseSlot(HANDLE_TYPE_MANAGER* m, HANDLE_VALUE wanted) {
  if (wanted != -1 && m->slots[wanted & HANDLE_SLOT_MASK] == nullptr) return wanted & HANDLE_SLOT_MASK;
  if (m->count == 0) return 0;
  if (m->highestSlot + 1 < m->maxCount) return m->highestSlot + 1;
  if (m->lowestSlot - 1 >= 1) return m->lowestSlot - 1;
  for (int slot = 0; slot < m->maxCount; slot++)
    if (m->slots[slot] == nullptr) return slot;
  return -1;
}

void ClearManagerKeepingId(HANDLE_TYPE_MANAGER* m) {
  int nextId = m->nextId;
  memset(m, 0, sizeof(*m));
  m->nextId = nextId;
}
}  // namespace

void InitNodeList(HANDLE_LIST_NODE* head, HANDLE_LIST_NODE* tail) {
  head->handle = tail->handle = -1;
  head->data = tail->data = nullptr;
  head->previous = nullptr;
  head->next = tail;
  tail->previous = head;
  tail->next = nullptr;
}

void InsertListNode(HANDLE_LIST_NODE* head, HANDLE_LIST_NODE* node, HANDLE_VALUE handle, void* data) {
  node->handle = handle;
  node->data = data;
  node->previous = head;
  node->next = head->next;
  head->next->previous = node;
  head->next = node;
}

void UnlinkListNode(HANDLE_LIST_NODE* node) {
  node->previous->next = node->next;
  node->next->previous = node->previous;
}

int IsHandleTypeReady(int type) { return ManagerOf(type) != nullptr ? 1 : 0; }

HANDLE_HEAD* NextHandleRecord(int type, int* cursor) {
  HANDLE_TYPE_MANAGER* m = ManagerOf(type);
  if (m == nullptr || m->slots == nullptr) return nullptr;
  int slot = *cursor + 1;
  if (slot < m->lowestSlot) slot = m->lowestSlot;
  for (; m->count > 0 && slot <= m->highestSlot; slot++) {
    if (m->slots[slot] == nullptr) continue;
    *cursor = slot;
    return m->slots[slot];
  }
  return nullptr;
}

void LockHandleType(int type) {
  if (type > 0 && type < HANDLE_TYPE_COUNT) EnterLock(&HandleManagers[type].lock);
}

void UnlockHandleType(int type) {
  if (type > 0 && type < HANDLE_TYPE_COUNT) LeaveLock(&HandleManagers[type].lock);
}

void SetHandleLoadHooks(const HANDLE_LOAD_HOOKS* hooks) {
  if (hooks != nullptr) loadHooks = *hooks;
  else loadHooks = HANDLE_LOAD_HOOKS{};
}

int InitHandleType(int type, int recordSize, int maxCount, HANDLE_INIT_FUNCTION init,
                   HANDLE_TERMINATE_FUNCTION terminate, const char* name) {
  if (type <= 0 || type >= HANDLE_TYPE_COUNT || maxCount <= 0 || maxCount > 0x10000) return -1;
  HANDLE_TYPE_MANAGER* m = &HandleManagers[type];
  if (m->initialised) return -1;
  ClearManagerKeepingId(m);
  m->slots = (HANDLE_HEAD**)AllocTrackedZeroed(sizeof(HANDLE_HEAD*) * (size_t)maxCount, "", 0);
  if (m->slots == nullptr) return -1;
  m->typeMask = type << HANDLE_TYPE_SHIFT;
  m->recordSize = recordSize;
  m->maxCount = maxCount;
  m->init = init;
  m->terminate = terminate;
  m->name = name;
  InitNodeList(&m->listHead, &m->listTail);
  InitLock(&m->lock);
  m->initialised = 1;
  return 0;
}

HANDLE_VALUE NewHandle(int type, HANDLE_VALUE wanted) {
  HANDLE_TYPE_MANAGER* m = ManagerOf(type);
  if (m == nullptr) return -1;
  // A wanted value that is not a handle of this type with a slot in range counts as none.
  if (wanted != -1 &&
      (wanted < 0 || (wanted & HANDLE_TYPE_MASK_BITS) != m->typeMask || (wanted & HANDLE_SLOT_MASK) >= m->maxCount))
    wanted = -1;
  EnterLock(&m->lock);
  if (m->count == m->maxCount) {
    LeaveLock(&m->lock);
    AddLogLineFormat("%sハンドルの数が限界数( %d )に達していて新たなハンドルを作成できません", m->name, m->maxCount);
    return -1;
  }
  int slot = ChooseSlot(m, wanted);
  HANDLE_HEAD* record = (HANDLE_HEAD*)AllocTrackedZeroed((size_t)m->recordSize, "", 0);
  if (slot < 0 || record == nullptr) {
    FreeTracked(record);
    LeaveLock(&m->lock);
    AddLogLineFormat("%sハンドルのデータを格納するメモリ領域の確保に失敗しました", m->name);
    return -1;
  }
  m->slots[slot] = record;
  int id;
  if (wanted != -1) {
    id = (wanted & HANDLE_ID_MASK) >> HANDLE_ID_SHIFT;
  } else {
    id = m->nextId + 1;
    if (id >= 1023) id = 0;
    m->nextId = id;
  }
  record->id = id;
  record->recordSize = m->recordSize;
  record->handle = (id << HANDLE_ID_SHIFT) | m->typeMask | slot;
  m->count++;
  if (m->count == 1) {
    m->lowestSlot = m->highestSlot = slot;
  } else {
    if (slot > m->highestSlot) m->highestSlot = slot;
    if (slot < m->lowestSlot) m->lowestSlot = slot;
  }
  InsertListNode(&m->listHead, &record->node, record->handle, record);
  if (m->init != nullptr) m->init(record);
  LeaveLock(&m->lock);
  return record->handle;
}

int DeleteHandle(HANDLE_VALUE handle) {
  HANDLE_TYPE_MANAGER* m = ManagerOfHandle(handle);
  if (m == nullptr) return -1;
  EnterLock(&m->lock);
  HANDLE_HEAD* record = Validate(m, handle);
  if (record == nullptr) {
    LeaveLock(&m->lock);
    return -1;
  }
  if (record->deleteFlag != nullptr) *record->deleteFlag = -1;
  if (record->pendingLoads != 0 && RemovePendingLoad(record) == -2) {
    // The load is running: let it finish without holding the type lock, serving the
    // main-thread requests it may be suspended on. Another thread may delete the handle
    // meanwhile, so it is checked again afterwards.
    LeaveLock(&m->lock);
    while (LookupHandleRecord(handle) == record && record->pendingLoads != 0) {
      if (loadHooks.serveWhileWaiting != nullptr) loadHooks.serveWhileWaiting();
      Sleep(0);
    }
    EnterLock(&m->lock);
    record = Validate(m, handle);
    if (record == nullptr) {
      LeaveLock(&m->lock);
      return -1;
    }
  }
  if (m->terminate != nullptr && m->terminate(record) == 1) {
    LeaveLock(&m->lock);
    return 0;
  }
  int slot = handle & HANDLE_SLOT_MASK;
  UnlinkListNode(&record->node);
  FreeTracked(record);
  m->slots[slot] = nullptr;
  m->count--;
  if (m->count == 0) {
    m->lowestSlot = m->highestSlot = 0;
  } else if (slot == m->highestSlot) {
    while (m->highestSlot > 0 && m->slots[m->highestSlot] == nullptr) m->highestSlot--;
  } else if (slot == m->lowestSlot) {
    while (m->lowestSlot < m->maxCount - 1 && m->slots[m->lowestSlot] == nullptr) m->lowestSlot++;
  }
  LeaveLock(&m->lock);
  return 0;
}

int DeleteHandlesOfType(int type, HANDLE_FILTER_FUNCTION filter) {
  HANDLE_TYPE_MANAGER* m = ManagerOf(type);
  if (m == nullptr) return -1;
  // Queued loads of the selected records are taken off the queue first; running ones are
  // left to finish (DeleteHandle waits for them).
  EnterLock(&m->lock);
  for (int slot = m->lowestSlot; m->count > 0 && slot <= m->highestSlot; slot++) {
    HANDLE_HEAD* record = m->slots[slot];
    if (record == nullptr || record->pendingLoads == 0) continue;
    if (filter != nullptr && filter(record) != 0) continue;
    if (RemovePendingLoad(record) != -2) record->pendingLoads = 0;
  }
  LeaveLock(&m->lock);
  // The bounds are read again at each step, since deletions move them.
  for (int slot = m->lowestSlot; m->count > 0 && slot <= m->highestSlot; slot++) {
    HANDLE_HEAD* record = m->slots[slot];
    if (record == nullptr) continue;
    if (filter != nullptr && filter(record) != 0) continue;
    DeleteHandle(record->handle);
  }
  return 0;
}

int EndHandleType(int type) {
  HANDLE_TYPE_MANAGER* m = ManagerOf(type);
  if (m == nullptr) return -1;
  DeleteHandlesOfType(type, nullptr);
  FreeTracked(m->slots);
  DeleteLock(&m->lock);
  ClearManagerKeepingId(m);
  return 0;
}

HANDLE_HEAD* LookupHandleRecord(HANDLE_VALUE handle) { return Validate(ManagerOfHandle(handle), handle); }

int IsHandleLoading(HANDLE_VALUE handle) {
  HANDLE_HEAD* record = LookupHandleRecord(handle);
  if (record == nullptr) return -1;
  return record->pendingLoads != 0 ? 1 : 0;
}

// The loading count and task of a record change under the type's lock: the thread that
// queues a load and the worker that ends it may change them at the same time.
static int ChangeHandleLoad(HANDLE_VALUE handle, int countChange, int setTask, int taskIndex) {
  HANDLE_TYPE_MANAGER* m = ManagerOfHandle(handle);
  if (m == nullptr) return -1;
  EnterLock(&m->lock);
  HANDLE_HEAD* record = Validate(m, handle);
  if (record != nullptr) {
    record->pendingLoads += countChange;
    if (setTask) record->loadTaskIndex = taskIndex;
  }
  LeaveLock(&m->lock);
  return record != nullptr ? 0 : -1;
}

int BeginHandleAsyncLoad(HANDLE_VALUE handle, int taskIndex) { return ChangeHandleLoad(handle, 1, 1, taskIndex); }

int SetHandleAsyncLoadTask(HANDLE_VALUE handle, int taskIndex) { return ChangeHandleLoad(handle, 0, 1, taskIndex); }

int EndHandleAsyncLoad(HANDLE_VALUE handle) { return ChangeHandleLoad(handle, -1, 0, 0); }

int SetHandleDeleteFlag(HANDLE_VALUE handle, int* flag) {
  HANDLE_HEAD* record = LookupHandleRecord(handle);
  if (record == nullptr) return -1;
  record->deleteFlag = flag;
  return 0;
}

// The head's record size keeps the created size (graph records only grow from it).
int ResizeHandleRecord(HANDLE_VALUE handle, int newSize) {
  HANDLE_TYPE_MANAGER* m = ManagerOfHandle(handle);
  HANDLE_HEAD* record = Validate(m, handle);
  if (record == nullptr || newSize <= 0) return -1;
  if (newSize == record->recordSize) return 0;
  EnterLock(&m->lock);
  HANDLE_HEAD* moved = (HANDLE_HEAD*)ReallocTracked(record, (size_t)newSize, "", 0);
  if (moved == nullptr) {
    LeaveLock(&m->lock);
    return -1;
  }
  if (moved != record) {
    m->slots[handle & HANDLE_SLOT_MASK] = moved;
    moved->node.data = moved;
    moved->node.previous->next = &moved->node;
    moved->node.next->previous = &moved->node;
  }
  LeaveLock(&m->lock);
  return 0;
}
