// Releasing the buffers of bases and models (the records and their system data stay).
#include "core/memory.h"
#include "graphics/device/main_thread_calls.h"
#include "model/model_buffers.h"
#include "model/model_system.h"

namespace {
template <typename T>
void ReleaseDeviceObject(T*& object) {
  if (object != nullptr) ReleaseComObjectOnMainThread(object, 0);
  object = nullptr;
}
}  // namespace

int ReleaseModelDynamicVertexBuffers(HANDLE_VALUE handle) {
  MODEL_RECORD* model = FindModelRecord(handle, 0);
  if (model == nullptr) return -1;
  if (model->base == nullptr || model->dynamicBufferEntries == nullptr) return 0;
  for (int i = 0; i < model->base->triangleListCount; i++) ReleaseDeviceObject(model->dynamicBufferEntries[i].buffer);
  return 0;
}

int ReleaseModelBaseVertexBuffers(HANDLE_VALUE handle) {
  MODEL_BASE_RECORD* base = FindModelBaseRecord(handle, 1);
  if (base == nullptr) return -1;
  if (!base->buffersSetUp) return 0;
  ForEachKey([&](const MODEL_GROUP_KEY& k) {
    for (MODEL_BUFFER_GROUP* group = base->groupHeads[k.kind][k.tangent][k.sets]; group != nullptr;) {
      MODEL_BUFFER_GROUP* next = group->next;
      ReleaseDeviceObject(group->vertexBuffer);
      ReleaseDeviceObject(group->indexBuffer);
      FreeTracked(group);
      group = next;
    }
    base->groupHeads[k.kind][k.tangent][k.sets] = base->groupTails[k.kind][k.tangent][k.sets] = nullptr;
    base->groupCounts[k.kind][k.tangent][k.sets] = 0;
  });
  base->groupTotal = 0;
  for (int i = 0; i < base->triangleListCount && base->triangleLists != nullptr; i++) {
    MODEL_TRIANGLE_LIST& list = base->triangleLists[i];
    list.group = nullptr;
    list.firstVertex = list.firstIndex = 0;
  }
  base->buffersSetUp = 0;
  for (MODEL_RECORD* model = base->firstModel; model != nullptr; model = model->nextModel)
    if (model->head.pendingLoads == 0) ReleaseModelDynamicVertexBuffers(model->head.handle);
  return 0;
}

int ReleaseAllModelVertexBuffers() {
  int cursor = -1;
  if (IsHandleTypeReady(HANDLE_TYPE_MODEL_BASE))
    while (HANDLE_HEAD* base = NextHandleRecord(HANDLE_TYPE_MODEL_BASE, &cursor))
      ReleaseModelBaseVertexBuffers(base->handle);
  cursor = -1;
  if (IsHandleTypeReady(HANDLE_TYPE_MODEL))
    while (HANDLE_HEAD* model = NextHandleRecord(HANDLE_TYPE_MODEL, &cursor))
      ReleaseModelDynamicVertexBuffers(model->handle);
  return 0;
}
