#include "graphics/device/shader_handles.h"

#include <cstring>

#include "core/log.h"
#include "core/memory.h"
#include "file/async_load.h"
#include "graphics/device/d3d_calls.h"
#include "graphics/device/device_resources.h"
#include "graphics/device/main_thread_calls.h"
#include "graphics/device/screen.h"
#include "graphics/device/shader_constants.h"
#include "graphics/device/state_cache.h"
#include "korvel.h"

SHADER_SELECTION ShaderSelection;

namespace {
SHADER_HANDLE* LookupShader(int handle, int kind) {
  if (handle <= 0 || GetHandleType(handle) != HANDLE_TYPE_SHADER) return nullptr;
  SHADER_HANDLE* record = (SHADER_HANDLE*)LookupHandleRecord(handle);
  if (record == nullptr || record->head.pendingLoads != 0) return nullptr;
  if (kind != -1 && record->kind != kind) return nullptr;
  return record;
}

// The constant table follows the version token when the next token is a comment.
void FindConstantTable(SHADER_HANDLE* record, int size) {
  const unsigned char* code = (const unsigned char*)record->code;
  record->constantCount = 0;
  record->constantTable = nullptr;
  if (size < 40 || code[4] != 0xFE || code[5] != 0xFF) return;
  int count;
  memcpy(&count, code + 24, 4);
  record->constantCount = count;
  record->constantTable = code + 40;
}

int InitShaderHandle(int handle, int anyState, const void* code, int size, int vertex, int freeAfter) {
  SHADER_HANDLE* record = (SHADER_HANDLE*)LookupHandleRecord(handle);
  if (record == nullptr || (!anyState && record->head.pendingLoads != 0)) return -1;
  // On a loader thread (any-state) the device shader is made on the main thread.
  IUnknown* object = nullptr;
  HRESULT hr = vertex ? CreateVertexShaderOnMainThread((const DWORD*)code, (IDirect3DVertexShader9**)&object, anyState)
                      : CreatePixelShaderOnMainThread((const DWORD*)code, (IDirect3DPixelShader9**)&object, anyState);
  void* copy = nullptr;
  if (FAILED(hr) || object == nullptr) {
    WriteLogText("頂点シェーダーの作成に失敗しました\n");
  } else {
    copy = AllocTracked(size, "", 0);
    if (copy == nullptr) WriteLogText("メモリの確保に失敗しました");
  }
  if (copy == nullptr) {
    if (object != nullptr) ReleaseComObjectOnMainThread(object, anyState);
    if (freeAfter) FreeTracked((void*)code);
    return -1;
  }
  memcpy(copy, code, size);
  record->kind = vertex ? 1 : 0;
  record->code = copy;
  record->object = object;
  FindConstantTable(record, size);
  if (freeAfter) FreeTracked((void*)code);
  return 0;
}

// The packed creation (handle, vertex flag, code address, size, free flag) on a loader thread;
// the handle stops counting as loading, and goes when the creation failed.
int PackShaderTask(void* area, int handle, int vertex, const void* code, int size, int freeAfter) {
  int offset = 0;
  PackAsyncParamInt(area, &offset, handle);
  PackAsyncParamInt(area, &offset, vertex);
  PackAsyncParamBlock(area, &offset, &code, sizeof(code));
  PackAsyncParamInt(area, &offset, size);
  PackAsyncParamInt(area, &offset, freeAfter);
  return offset;
}

int RunShaderCreateTask(ASYNC_LOAD_TASK* task) {
  int offset = 0;
  int handle = UnpackAsyncParamInt(task->parameters, &offset);
  int vertex = UnpackAsyncParamInt(task->parameters, &offset);
  const void* code;
  memcpy(&code, UnpackAsyncParamBlock(task->parameters, &offset), sizeof(code));
  int size = UnpackAsyncParamInt(task->parameters, &offset);
  int freeAfter = UnpackAsyncParamInt(task->parameters, &offset);
  int result = InitShaderHandle(handle, 1, code, size, vertex, freeAfter);
  EndHandleAsyncLoad(handle);
  if (result != 0) DeleteHandle(handle);
  return result;
}

int QueueShaderTask(int handle, int vertex, const void* code, int size, int freeAfter) {
  ASYNC_LOAD_TASK* task = AllocAsyncLoadTask(PackShaderTask(nullptr, handle, vertex, code, size, freeAfter));
  if (task == nullptr) return -1;
  task->process = RunShaderCreateTask;
  PackShaderTask(task->parameters, handle, vertex, code, size, freeAfter);
  if (QueueHandleLoadTask(task, handle) < 0) {
    FreeTracked(task);
    return -1;
  }
  return 0;
}
}  // namespace

int RegisterShaderHandleType() {
  return InitHandleType(HANDLE_TYPE_SHADER, sizeof(SHADER_HANDLE), 4096, nullptr, TerminateShaderHandle,
                        "シェーダー");
}

int CreateShaderHandle(int vertex, const void* code, int size, int freeAfter, int async, int anyState) {
  if (!HasDirect3DDevice() || !StateFlags.programmableShaders || !ScreenState.graphicsStarted) return -1;
  if (code == nullptr || size < 4) return -1;
  int handle = NewHandle(HANDLE_TYPE_SHADER, -1);
  if (handle == -1) return -1;
  if (async && !anyState) {
    if (QueueShaderTask(handle, vertex, code, size, freeAfter) != 0) {
      DeleteHandle(handle);
      return -1;
    }
    return handle;
  }
  if (InitShaderHandle(handle, anyState, code, size, vertex, freeAfter) != 0) {
    DeleteHandle(handle);
    return -1;
  }
  return handle;
}

int CreatePixelShaderFromBytes(const void* code, int size) {
  return CreateShaderHandle(0, code, size, 0, IsAsyncLoadingEnabled(), 0);
}

// The byte code is used in place inside the filter-shader archive's decoded image (opened
// by the first Direct3D start with the other built-in shader code).
int LoadFilterShader(const char* name, int vertex) {
  if (name == nullptr || !BuiltInShaderCode.loaded) return -1;
  const unsigned char* image = (const unsigned char*)GetKvaMemoryImage(&BuiltInShaderCode.archiveFilter);
  int offset = 0, size = 0;
  if (image == nullptr || GetKvaFileLocation(&BuiltInShaderCode.archiveFilter, name, &offset, &size) != 0) return -1;
  return CreateShaderHandle(vertex ? 1 : 0, image + offset, size, 0, 0, 0);
}

int TerminateShaderHandle(HANDLE_HEAD* head) {
  SHADER_HANDLE* record = (SHADER_HANDLE*)head;
  if (ShaderSelection.vertexShader == head->handle) ShaderSelection.vertexShader = 0;
  if (ShaderSelection.pixelShader == head->handle) ShaderSelection.pixelShader = 0;
  if (record->code != nullptr) FreeTracked(record->code);
  record->code = nullptr;
  if (record->object != nullptr) {
    // A bound shader must not stay in the cache once released.
    ForgetCachedShader(record->object);
    DeviceCalls.ReleaseComObject(record->object);
  }
  record->object = nullptr;
  return 0;
}

int SetShaderTextureSlot(int slot, int graph) {
  if (slot < 0 || slot > 15) return -1;
  if (graph == -1) {
    ShaderSelection.stageTextures[slot] = 0;
    return 0;
  }
  if (graph <= 0 || GetHandleType(graph) != HANDLE_TYPE_GRAPH || IsHandleLoading(graph) != 0) return -1;
  ShaderSelection.stageTextures[slot] = graph;
  return 0;
}

int SelectVertexShader(int handle) {
  if (handle <= 0) {
    ShaderSelection.vertexShader = 0;
    return 0;
  }
  if (LookupShader(handle, 1) == nullptr) return -1;
  ShaderSelection.vertexShader = handle;
  return 0;
}

int SelectPixelShader(int handle) {
  if (handle <= 0) {
    ShaderSelection.pixelShader = 0;
    return 0;
  }
  if (LookupShader(handle, 0) == nullptr) return -1;
  ShaderSelection.pixelShader = handle;
  return 0;
}

void SaveShaderSelection(SAVED_SHADER_SELECTION* record, int count) {
  if (count < 0) count = 0;
  if (count > 8) count = 8;
  record->vertexShader = ShaderSelection.vertexShader;
  record->pixelShader = ShaderSelection.pixelShader;
  for (int i = 0; i < count; i++) record->stageTextures[i] = ShaderSelection.stageTextures[i];
  record->count = count;
  SelectShaderConstantSets(&ShaderConstants, 3);
}

void RestoreShaderSelection(const SAVED_SHADER_SELECTION* record) {
  int count = record->count < 0 ? 0 : record->count > 8 ? 8 : record->count;
  for (int i = 0; i < count; i++)
    SetShaderTextureSlot(i, record->stageTextures[i] == 0 ? -1 : record->stageTextures[i]);
  SelectVertexShader(record->vertexShader);
  SelectPixelShader(record->pixelShader);
}

int BindVertexShaderHandle(int handle) {
  SHADER_HANDLE* record = LookupShader(handle, 1);
  if (record == nullptr) return -1;
  BindShaderIfChanged((IDirect3DVertexShader9*)record->object);
  return 0;
}

int BindPixelShaderHandle(int handle) {
  SHADER_HANDLE* record = LookupShader(handle, 0);
  if (record == nullptr) return -1;
  BindShaderIfChanged((IDirect3DPixelShader9*)record->object);
  return 0;
}
