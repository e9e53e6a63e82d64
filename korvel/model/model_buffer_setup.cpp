// Building the buffers of bases and models: the triangle lists sorted into groups, one vertex
// and one index buffer per group, filled once from the base's source data; dynamic vertex
// buffers for the models' per-model meshes.
#include <climits>
#include <cstring>

#include "core/memory.h"
#include "graphics/device/device.h"
#include "graphics/device/main_thread_calls.h"
#include "graphics/device/screen.h"
#include "graphics/device/state_cache.h"
#include "model/model_buffers.h"
#include "model/model_system.h"
#include "model/model_vertex_format.h"

namespace {
// Direct3D draws, and vertices can be processed for the fixed-function format.
int FixedFunctionBuffersUsable() {
  return ScreenState.hardwareRendering && (DeviceSettings.shaderModel2 || DeviceSettings.vertexShader2);
}
int ShadersReady() { return StateFlags.programmableShaders; }

// The key of a list, or 0 for a list that gets no buffers.
int GetListKey(const MODEL_TRIANGLE_LIST* list, MODEL_GROUP_KEY* key) {
  if (list->kind >= MODEL_VERTEX_KINDS || list->mesh == nullptr) return 0;
  int sets = list->mesh->texCoordSets;
  if (sets < 0 || sets > MODEL_TEXCOORD_SETS_MAX) return 0;
  *key = {list->kind, GetTriangleListTangentFrame(list), sets};
  return 1;
}

// The base's triangle lists (none without the array).
int ListCount(const MODEL_BASE_RECORD* base) { return base->triangleLists != nullptr ? base->triangleListCount : 0; }

int ListIndexCount(const MODEL_TRIANGLE_LIST* list) { return list->indexCountA + list->indexCountB; }

int GroupIsFull(const MODEL_BUFFER_GROUP* group) {
  return group->indexCount >= MODEL_GROUP_INDEX_LIMIT || group->vertexCount >= MODEL_GROUP_VERTEX_LIMIT;
}

void PutListInGroup(MODEL_TRIANGLE_LIST* list, MODEL_BUFFER_GROUP* group) {
  list->group = group;
  list->firstVertex = group->vertexCount;
  list->firstIndex = group->indexCount;
  group->vertexCount += list->vertexCount;
  group->indexCount += ListIndexCount(list);
}

void TakeListOut(MODEL_TRIANGLE_LIST* list, MODEL_BUFFER_GROUP* group) {
  group->vertexCount -= list->vertexCount;
  group->indexCount -= ListIndexCount(list);
  list->group = nullptr;
  list->firstVertex = list->firstIndex = 0;
}

// A new zeroed group at the tail of the key's list.
MODEL_BUFFER_GROUP* AppendGroup(MODEL_BASE_RECORD* base, const MODEL_GROUP_KEY& k) {
  MODEL_BUFFER_GROUP* group = (MODEL_BUFFER_GROUP*)AllocTrackedZeroed(sizeof(MODEL_BUFFER_GROUP), "model buffers", 0);
  if (group == nullptr) return nullptr;
  MODEL_BUFFER_GROUP*& tail = base->groupTails[k.kind][k.tangent][k.sets];
  group->previous = tail;
  if (tail != nullptr) tail->next = group;
  else base->groupHeads[k.kind][k.tangent][k.sets] = group;
  tail = group;
  base->groupCounts[k.kind][k.tangent][k.sets]++;
  base->groupTotal++;
  return group;
}

// Unlinks a group, clears the lists' references to it, releases what buffers it has and frees it.
void DropGroup(MODEL_BASE_RECORD* base, const MODEL_GROUP_KEY& k, MODEL_BUFFER_GROUP* group) {
  if (group->previous != nullptr) group->previous->next = group->next;
  else base->groupHeads[k.kind][k.tangent][k.sets] = group->next;
  if (group->next != nullptr) group->next->previous = group->previous;
  else base->groupTails[k.kind][k.tangent][k.sets] = group->previous;
  base->groupCounts[k.kind][k.tangent][k.sets]--;
  base->groupTotal--;
  for (int i = 0; i < ListCount(base); i++)
    if (base->triangleLists[i].group == group) TakeListOut(&base->triangleLists[i], group);
  if (group->vertexBuffer != nullptr) ReleaseComObjectOnMainThread(group->vertexBuffer, 0);
  if (group->indexBuffer != nullptr) ReleaseComObjectOnMainThread(group->indexBuffer, 0);
  FreeTracked(group);
}

// A failed set-up: every group goes with its buffers, unlocked first where locked.
void DropAllGroups(MODEL_BASE_RECORD* base, int async) {
  ForEachKey([&](const MODEL_GROUP_KEY& k) {
    while (MODEL_BUFFER_GROUP* group = base->groupHeads[k.kind][k.tangent][k.sets]) {
      if (group->lockedVertices != nullptr) UnlockBufferOnMainThread(group->vertexBuffer, async);
      if (group->lockedIndices != nullptr) UnlockBufferOnMainThread(group->indexBuffer, async);
      if (group->vertexBuffer != nullptr) ReleaseComObjectOnMainThread(group->vertexBuffer, async);
      if (group->indexBuffer != nullptr) ReleaseComObjectOnMainThread(group->indexBuffer, async);
      group->vertexBuffer = nullptr;
      group->indexBuffer = nullptr;
      DropGroup(base, k, group);
    }
  });
  for (int i = 0; i < ListCount(base); i++) base->triangleLists[i].group = nullptr;
}

// Both buffers of a group, created and locked whole. -> 0 / -1.
int CreateGroupBuffers(MODEL_BUFFER_GROUP* group, int async) {
  long long vertexBytes = (long long)group->vertexCount * group->stride, indexBytes = (long long)group->indexCount * 2;
  if (vertexBytes > UINT_MAX || indexBytes > UINT_MAX) return -1;
  void* vertices = nullptr;
  void* indices = nullptr;
  if (CreateVertexBufferOnMainThread((UINT)vertexBytes, D3DUSAGE_WRITEONLY, group->fvf, D3DPOOL_DEFAULT,
                                     &group->vertexBuffer, async) != 0) {
    group->vertexBuffer = nullptr;
    return -1;
  }
  if (LockBufferOnMainThread(group->vertexBuffer, 0, 0, &vertices, 0, async) != 0) return -1;
  group->lockedVertices = (uint8_t*)vertices;
  if (CreateIndexBufferOnMainThread((UINT)indexBytes, D3DUSAGE_WRITEONLY, D3DFMT_INDEX16, D3DPOOL_DEFAULT,
                                    &group->indexBuffer, async) != 0) {
    group->indexBuffer = nullptr;
    return -1;
  }
  if (LockBufferOnMainThread(group->indexBuffer, 0, 0, &indices, 0, async) != 0) return -1;
  group->lockedIndices = (uint16_t*)indices;
  return 0;
}

// Every group of a key from the head, in the key order kind, tangent frame, sets.
template <typename F>
int ForEachGroup(MODEL_BASE_RECORD* base, F f) {
  int result = 0;
  ForEachKey([&](const MODEL_GROUP_KEY& k) {
    for (MODEL_BUFFER_GROUP* group = base->groupHeads[k.kind][k.tangent][k.sets]; group != nullptr && result == 0;) {
      MODEL_BUFFER_GROUP* next = group->next;
      result = f(k, group);
      group = next;
    }
  });
  return result;
}
}  // namespace

int SortModelTriangleLists(MODEL_BASE_RECORD* base) {
  memset(base->groupCounts, 0, sizeof(base->groupCounts));
  memset(base->groupHeads, 0, sizeof(base->groupHeads));
  memset(base->groupTails, 0, sizeof(base->groupTails));
  base->groupTotal = 0;
  for (int i = 0; i < ListCount(base); i++) {
    MODEL_TRIANGLE_LIST* list = &base->triangleLists[i];
    list->group = nullptr;
    list->firstVertex = list->firstIndex = 0;
    MODEL_GROUP_KEY k;
    if (!GetListKey(list, &k)) continue;
    // The key's current group is its tail.
    MODEL_BUFFER_GROUP* group = base->groupTails[k.kind][k.tangent][k.sets];
    if (group == nullptr && (group = AppendGroup(base, k)) == nullptr) return -1;
    int held = group->vertexCount > 0 || group->indexCount > 0;
    PutListInGroup(list, group);
    // A full group passes the list on to a new one, unless the list is alone in it: a list
    // beyond the limits by itself keeps a group of its own, and no group is left empty.
    if (GroupIsFull(group) && held) {
      TakeListOut(list, group);
      if ((group = AppendGroup(base, k)) == nullptr) return -1;
      PutListInGroup(list, group);
    }
  }
  // A group without vertices or indices could get no buffer and would fail the set-up.
  return ForEachGroup(base, [&](const MODEL_GROUP_KEY& k, MODEL_BUFFER_GROUP* group) {
    if (group->vertexCount == 0 || group->indexCount == 0) DropGroup(base, k, group);
    return 0;
  });
}

int SetupModelBaseVertexBuffers(HANDLE_VALUE handle, int flag, int async) {
  if (!FixedFunctionBuffersUsable()) return 0;
  MODEL_BASE_RECORD* base = FindModelBaseRecord(handle, 1);
  if (base == nullptr) return -1;
  if (base->buffersSetUp) return 0;
  base->setupFlag = flag;
  if (SortModelTriangleLists(base) != 0) {
    DropAllGroups(base, async);
    return -1;
  }
  int shaders = ShadersReady();
  int failed = ForEachGroup(base, [&](const MODEL_GROUP_KEY& k, MODEL_BUFFER_GROUP* group) {
    MODEL_VERTEX_FORMAT format = GetModelVertexFormat(k.kind, k.tangent, k.sets);
    group->stride = format.stride;
    group->fvf = format.fvf;
    if (!(k.kind == 0 && k.tangent == 0) && !shaders) return 0;
    return CreateGroupBuffers(group, async);
  });
  if (failed) {
    DropAllGroups(base, async);
    return -1;
  }
  for (int i = 0; i < ListCount(base); i++) {
    MODEL_TRIANGLE_LIST* list = &base->triangleLists[i];
    MODEL_BUFFER_GROUP* group = list->group;
    if (group == nullptr || group->lockedVertices == nullptr || group->lockedIndices == nullptr) continue;
    WriteModelVertices(list, group->lockedVertices + (size_t)list->firstVertex * group->stride, group->stride);
    uint16_t* indices = group->lockedIndices + list->firstIndex;
    if (list->indexCountA > 0) memcpy(indices, list->indicesA, list->indexCountA * 2u);
    if (list->indexCountB > 0) memcpy(indices + list->indexCountA, list->indicesB, list->indexCountB * 2u);
  }
  ForEachGroup(base, [&](const MODEL_GROUP_KEY& k, MODEL_BUFFER_GROUP* group) {
    if (group->vertexBuffer != nullptr && group->indexBuffer != nullptr) {
      UnlockBufferOnMainThread(group->vertexBuffer, async);
      UnlockBufferOnMainThread(group->indexBuffer, async);
      group->lockedVertices = nullptr;
      group->lockedIndices = nullptr;
    } else {
      DropGroup(base, k, group);
    }
    return 0;
  });
  base->buffersSetUp = 1;
  int cursor = -1;
  while (MODEL_RECORD* model = (MODEL_RECORD*)NextHandleRecord(HANDLE_TYPE_MODEL, &cursor))
    if (model->head.pendingLoads == 0 && model->base == base) CreateModelDynamicVertexBuffers(model->head.handle, async);
  return 0;
}

int SetupAllModelBaseVertexBuffers(int async) {
  if (!IsHandleTypeReady(HANDLE_TYPE_MODEL_BASE)) return -1;
  int cursor = -1;
  while (HANDLE_HEAD* base = NextHandleRecord(HANDLE_TYPE_MODEL_BASE, &cursor))
    SetupModelBaseVertexBuffers(base->handle, 1, async);
  return 0;
}

int CreateModelDynamicVertexBuffers(HANDLE_VALUE handle, int async) {
  if (!ModelSystem.initialised) return -1;
  MODEL_RECORD* model = FindModelRecord(handle, async == 0);
  if (model == nullptr) return -1;
  int fixed = FixedFunctionBuffersUsable(), shaders = ShadersReady();
  MODEL_BASE_RECORD* base = model->base;
  if ((!fixed && !shaders) || base == nullptr || model->frameStates == nullptr) return 0;
  for (int f = 0; f < base->frameCount; f++) {
    const MODEL_FRAME& frame = base->frames[f];
    MODEL_MESH_STATE* meshStates = model->frameStates[f].meshStates;
    if (!frame.dynamicFlag || meshStates == nullptr) continue;
    for (int m = 0; m < frame.meshCount; m++) {
      const MODEL_MESH& mesh = frame.meshes[m];
      if (!mesh.dynamicVertices || meshStates[m].entries == nullptr) continue;
      for (int l = 0; l < mesh.triangleListCount; l++) {
        const MODEL_TRIANGLE_LIST& list = mesh.triangleLists[l];
        MODEL_DYNAMIC_BUFFER_ENTRY& entry = meshStates[m].entries[l];
        int usable = list.kind == 0 ? fixed : list.kind <= 2 ? shaders : 0;
        if (!usable || entry.buffer != nullptr || list.group == nullptr) continue;
        long long bytes = (long long)list.group->stride * list.vertexCount;
        // A creation that fails leaves the entry without a buffer.
        if (bytes > UINT_MAX || CreateVertexBufferOnMainThread((UINT)bytes, D3DUSAGE_DYNAMIC | D3DUSAGE_WRITEONLY,
                                                               list.group->fvf, D3DPOOL_DEFAULT, &entry.buffer,
                                                               async) != 0)
          entry.buffer = nullptr;
        model->dynamicBuffers = 1;
        if (entry.drawState != nullptr) entry.drawState->refresh = 1;
      }
    }
  }
  return 0;
}
