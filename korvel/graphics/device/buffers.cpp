#include "graphics/device/buffers.h"

#include <cstring>
#include <initializer_list>

#include "core/log.h"
#include "core/memory.h"
#include "graphics/device/d3d_calls.h"
#include "korvel.h"

namespace {
struct BUFFER_KIND {
  int type;
  const char* lockFailed;
  const char* createFailed;
};

const BUFFER_KIND kVertexKind = {HANDLE_TYPE_VERTEX_BUFFER, "頂点バッファのロックに失敗しました\n",
                                 "頂点バッファの作成に失敗しました\n"};
const BUFFER_KIND kIndexKind = {HANDLE_TYPE_INDEX_BUFFER, "インデックスバッファのロックに失敗しました\n",
                                "インデックスバッファの作成に失敗しました\n"};

const BUFFER_KIND& KindOf(int type) { return type == HANDLE_TYPE_INDEX_BUFFER ? kIndexKind : kVertexKind; }

BUFFER_HANDLE* FindBuffer(int handle, int type) {
  if (handle < 0 || GetHandleType(handle) != type) return nullptr;
  return (BUFFER_HANDLE*)LookupHandleRecord(handle);
}

// Creates the device buffer of a record (with a device), logging a failure.
int CreateDeviceBuffer(BUFFER_HANDLE* record, int type) {
  if (!HasDirect3DDevice() || record->buffer != nullptr) return 0;
  UINT length = (UINT)(record->elementSize * record->elementCount);
  HRESULT hr;
  if (type == HANDLE_TYPE_INDEX_BUFFER) {
    IDirect3DIndexBuffer9* buffer = nullptr;
    hr = DeviceCalls.DeviceCreateIndexBuffer(length, D3DUSAGE_WRITEONLY, D3DFMT_INDEX16, D3DPOOL_DEFAULT, &buffer,
                                             nullptr);
    record->buffer = SUCCEEDED(hr) ? buffer : nullptr;
  } else {
    IDirect3DVertexBuffer9* buffer = nullptr;
    hr = DeviceCalls.DeviceCreateVertexBuffer(length, D3DUSAGE_WRITEONLY, VERTEX_BUFFER_FVF, D3DPOOL_DEFAULT,
                                              &buffer, nullptr);
    record->buffer = SUCCEEDED(hr) ? buffer : nullptr;
  }
  if (record->buffer == nullptr) {
    WriteLogText(KindOf(type).createFailed);
    return -1;
  }
  return 0;
}

// Writes elements first..first+count-1 into the device buffer (when there is one) and then
// into the system copy. A zero count writes nothing and locks nothing.
int WriteBufferRange(BUFFER_HANDLE* record, int type, int first, const void* data, int count) {
  if (count < 0 || first < 0 || first > record->elementCount || count > record->elementCount - first) return -1;
  if (count == 0) return 0;
  if (data == nullptr) return -1;
  UINT offset = (UINT)(first * record->elementSize);
  UINT size = (UINT)(count * record->elementSize);
  if (record->buffer != nullptr) {
    void* locked = nullptr;
    if (FAILED(DeviceCalls.BufferLock(record->buffer, offset, size, &locked, 0)) || locked == nullptr) {
      WriteLogText(KindOf(type).lockFailed);
      return -1;
    }
    memcpy(locked, data, size);
    DeviceCalls.BufferUnlock(record->buffer);
  }
  memcpy(record->systemCopy + offset, data, size);
  return 0;
}

int SetBufferData(int type, int first, const void* data, int count, int handle) {
  BUFFER_HANDLE* record = FindBuffer(handle, type);
  if (record == nullptr || record->head.pendingLoads != 0) return -1;
  return WriteBufferRange(record, type, first, data, count);
}

int CreateBuffer(int type, int elementSize, int elementCount) {
  if (elementSize <= 0 || elementCount <= 0 || elementCount > 0x7FFFFFFF / elementSize) return -1;
  int handle = NewHandle(type, -1);
  if (handle == -1) return -1;
  BUFFER_HANDLE* record = (BUFFER_HANDLE*)LookupHandleRecord(handle);
  record->elementSize = elementSize;
  record->elementCount = elementCount;
  record->systemCopy = (unsigned char*)AllocTrackedZeroed((size_t)elementSize * (size_t)elementCount, "", 0);
  if (record->systemCopy == nullptr || CreateDeviceBuffer(record, type) == -1) {
    DeleteHandle(handle);
    return -1;
  }
  return handle;
}

int DeleteBuffer(int type, int handle) {
  if (FindBuffer(handle, type) == nullptr) return -1;
  return DeleteHandle(handle);
}

// Runs a function over every record of one buffer type.
template <typename F>
void ForEachBuffer(int type, F function) {
  int cursor = -1;
  while (BUFFER_HANDLE* buffer = (BUFFER_HANDLE*)NextHandleRecord(type, &cursor)) function(buffer);
}
}  // namespace

int InitBufferHandleTypes() {
  if (InitHandleType(HANDLE_TYPE_VERTEX_BUFFER, sizeof(BUFFER_HANDLE), BUFFER_HANDLE_MAX, nullptr,
                     TerminateBufferHandle, "頂点バッファ") == -1)
    return -1;
  if (InitHandleType(HANDLE_TYPE_INDEX_BUFFER, sizeof(BUFFER_HANDLE), BUFFER_HANDLE_MAX, nullptr,
                     TerminateBufferHandle, "インデックスバッファ") == -1) {
    EndHandleType(HANDLE_TYPE_VERTEX_BUFFER);
    return -1;
  }
  return 0;
}

int EndBufferHandleTypes() {
  EndHandleType(HANDLE_TYPE_VERTEX_BUFFER);
  EndHandleType(HANDLE_TYPE_INDEX_BUFFER);
  return 0;
}

int ReleaseBufferObject(HANDLE_HEAD* head) {
  BUFFER_HANDLE* record = (BUFFER_HANDLE*)head;
  if (record->buffer != nullptr) {
    ReleaseComObject(record->buffer);
    record->buffer = nullptr;
  }
  return 0;
}

int TerminateBufferHandle(HANDLE_HEAD* head) {
  BUFFER_HANDLE* record = (BUFFER_HANDLE*)head;
  ReleaseBufferObject(head);
  FreeTracked(record->systemCopy);
  record->systemCopy = nullptr;
  return 0;
}

int ReleaseAllBufferObjects() {
  ForEachBuffer(HANDLE_TYPE_VERTEX_BUFFER, [](BUFFER_HANDLE* r) { ReleaseBufferObject(&r->head); });
  ForEachBuffer(HANDLE_TYPE_INDEX_BUFFER, [](BUFFER_HANDLE* r) { ReleaseBufferObject(&r->head); });
  return 0;
}

int RecreateAllBufferObjects() {
  for (int type : {(int)HANDLE_TYPE_VERTEX_BUFFER, (int)HANDLE_TYPE_INDEX_BUFFER})
    ForEachBuffer(type, [type](BUFFER_HANDLE* r) {
      if (CreateDeviceBuffer(r, type) == 0) WriteBufferRange(r, type, 0, r->systemCopy, r->elementCount);
    });
  return 0;
}

int CreateVertexBuffer(int vertexSize, int vertexCount) {
  return CreateBuffer(HANDLE_TYPE_VERTEX_BUFFER, vertexSize, vertexCount);
}
int CreateIndexBuffer(int indexCount) { return CreateBuffer(HANDLE_TYPE_INDEX_BUFFER, 2, indexCount); }
int SetVertexBufferData(int first, const void* data, int count, int handle) {
  return SetBufferData(HANDLE_TYPE_VERTEX_BUFFER, first, data, count, handle);
}
int SetIndexBufferData(int first, const void* data, int count, int handle) {
  return SetBufferData(HANDLE_TYPE_INDEX_BUFFER, first, data, count, handle);
}
int DeleteVertexBuffer(int handle) { return DeleteBuffer(HANDLE_TYPE_VERTEX_BUFFER, handle); }
int DeleteIndexBuffer(int handle) { return DeleteBuffer(HANDLE_TYPE_INDEX_BUFFER, handle); }
