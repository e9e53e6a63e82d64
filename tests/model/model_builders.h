// Model bases and models built through the library's own records, as a loader would fill them:
// a base with its reference count, models linked into its list holding one reference each, and
// tracked blocks for the records to own.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <vector>

#include "core/handles.h"
#include "core/memory.h"
#include "model/model_records.h"

inline MODEL_BASE_RECORD* BaseRecord(HANDLE_VALUE handle) {
  return GetHandleType(handle) == HANDLE_TYPE_MODEL_BASE ? (MODEL_BASE_RECORD*)LookupHandleRecord(handle) : nullptr;
}
inline MODEL_RECORD* ModelRecord(HANDLE_VALUE handle) {
  return GetHandleType(handle) == HANDLE_TYPE_MODEL ? (MODEL_RECORD*)LookupHandleRecord(handle) : nullptr;
}

// A zeroed tracked block the records may own.
inline void* TestBlock(size_t size = 16) { return AllocTrackedZeroed(size, "model test", 0); }
template <typename T>
T* TestArray(int count) {
  return (T*)AllocTrackedZeroed(sizeof(T) * (count > 0 ? count : 1), "model test", 0);
}

// A base held by its creator alone.
inline HANDLE_VALUE NewTestBase() {
  HANDLE_VALUE handle = NewHandle(HANDLE_TYPE_MODEL_BASE, -1);
  if (handle != -1) BaseRecord(handle)->referenceCount = 1;
  return handle;
}

// A model of the base, appended to the base's list, with one reference on the base and its
// per-frame, per-triangle-list and per-texture arrays (owned by the model's owned block's
// owner: the test frees them through the records where the model part does).
inline HANDLE_VALUE NewTestModel(HANDLE_VALUE baseHandle) {
  HANDLE_VALUE handle = NewHandle(HANDLE_TYPE_MODEL, -1);
  if (handle == -1) return -1;
  MODEL_RECORD* model = ModelRecord(handle);
  MODEL_BASE_RECORD* base = BaseRecord(baseHandle);
  model->baseHandle = baseHandle;
  model->base = base;
  model->previousModel = base->lastModel;
  if (base->lastModel != nullptr) base->lastModel->nextModel = model;
  else base->firstModel = model;
  base->lastModel = model;
  base->modelCount++;
  base->referenceCount++;
  return handle;
}

// One triangle list of a test base, in a mesh of its own (all meshes in one frame).
struct TEST_LIST_SPEC {
  int kind;
  int tangentFrame;
  int texCoordSets;
  int vertexCount;
  int indexCountA;
  int indexCountB;
  int dynamicVertices = 0;  // the mesh gets per-model buffers
};

// The data behind a test base's records, owned by the test (no owned flags are set, so the
// releases leave it alone). With data 0 only the counts are filled (for the grouping).
struct TEST_BASE_DATA {
  std::vector<TEST_LIST_SPEC> specs;
  MODEL_FRAME frame = {};
  std::vector<MODEL_MESH> meshes;
  std::vector<MODEL_MATERIAL> materials;
  std::vector<MODEL_TRIANGLE_LIST> lists;
  std::vector<MODEL_NORMAL> normals;
  std::vector<std::vector<uint8_t>> sources, skins;
  std::vector<std::vector<uint32_t>> sourceIndices;
  std::vector<std::vector<uint16_t>> indicesA, indicesB;
};

inline void PutFloats(uint8_t* at, std::initializer_list<float> values) {
  for (float v : values) {
    memcpy(at, &v, 4);
    at += 4;
  }
}

// Fills the records of the base from the specs. Vertex v of list l: source vertex v (stored in
// reverse order, so the per-vertex indices matter) with normal index v, diffuse 0xFF000000 |
// l << 16 | v, specular 0x00110000 + v, set i (u, v) = (l + i, v + 0.5); normal v = (v, 1, 2),
// tangent (3, v, 4), binormal (5, 6, v); skin: position (v, l, 7), weights 0.1 x (k + 1), bone
// indices 1, 2, 3, 100 then 4, 5, 6, 90. Index lists count 0, 1, 2, ... (A) and 100, 101, ... (B).
inline void FillTestBase(MODEL_BASE_RECORD* base, TEST_BASE_DATA* d, int data = 1) {
  size_t n = d->specs.size();
  d->meshes.assign(n, MODEL_MESH{});
  d->materials.assign(n, MODEL_MATERIAL{});
  d->lists.assign(n, MODEL_TRIANGLE_LIST{});
  d->sources.assign(n, {});
  d->skins.assign(n, {});
  d->sourceIndices.assign(n, {});
  d->indicesA.assign(n, {});
  d->indicesB.assign(n, {});
  int maxVertices = 0;
  for (const TEST_LIST_SPEC& s : d->specs) maxVertices = s.vertexCount > maxVertices ? s.vertexCount : maxVertices;
  if (data) {
    d->normals.assign(maxVertices, MODEL_NORMAL{});
    for (int v = 0; v < maxVertices; v++)
      d->normals[v] = {{(float)v, 1, 2}, {3, (float)v, 4}, {5, 6, (float)v}};
  }
  d->frame.meshCount = (int)n;
  d->frame.meshes = d->meshes.data();
  d->frame.normals = d->normals.data();
  d->frame.dynamicFlag = 1;
  for (size_t l = 0; l < n; l++) {
    const TEST_LIST_SPEC& s = d->specs[l];
    MODEL_MESH& mesh = d->meshes[l];
    MODEL_TRIANGLE_LIST& list = d->lists[l];
    d->materials[l].tangentFrame = s.tangentFrame ? 0x100 : 0;
    mesh.frame = &d->frame;
    mesh.material = &d->materials[l];
    mesh.triangleListCount = 1;
    mesh.triangleLists = &list;
    mesh.dynamicVertices = (uint8_t)s.dynamicVertices;
    mesh.texCoordSets = s.texCoordSets;
    mesh.sourceStride = 20 + 8 * s.texCoordSets + 4;  // a spare word at the end
    list.mesh = &mesh;
    list.kind = (uint16_t)s.kind;
    list.vertexCount = s.vertexCount;
    list.indexCountA = (uint16_t)s.indexCountA;
    list.indexCountB = (uint16_t)s.indexCountB;
    if (!data) continue;
    std::vector<uint8_t>& src = d->sources[l];
    src.assign((size_t)mesh.sourceStride * s.vertexCount, 0);
    d->sourceIndices[l].resize(s.vertexCount);
    int skinSize = s.kind == 0 ? 32 : s.kind == 1 ? 48 : 64;
    d->skins[l].assign((size_t)skinSize * s.vertexCount + 32, 0);
    // The block starts 4 bytes past a 16-byte boundary, so its entries start at the next one.
    uint8_t* aligned = (uint8_t*)(((uintptr_t)d->skins[l].data() + 15) & ~(uintptr_t)15);
    list.skinData = aligned + 4;
    uint8_t* skin = aligned + 16;
    for (int v = 0; v < s.vertexCount; v++) {
      int slot = s.vertexCount - 1 - v;
      d->sourceIndices[l][v] = (uint32_t)slot;
      uint8_t* at = src.data() + (size_t)slot * mesh.sourceStride;
      uint32_t words[5] = {0xDEAD, (uint32_t)v, 0xFF000000u | (uint32_t)l << 16 | (uint32_t)v, 0x00110000u + v, 0xBEEF};
      memcpy(at, words, 20);
      for (int i = 0; i < s.texCoordSets; i++) PutFloats(at + 20 + 8 * i, {(float)(l + i), v + 0.5f});
      uint8_t* e = skin + (size_t)v * skinSize;
      const uint8_t bonesLow[4] = {1, 2, 3, 100}, bonesHigh[4] = {4, 5, 6, 90};
      if (s.kind == 0) {
        PutFloats(e, {(float)v, (float)l, 7});
      } else if (s.kind == 1) {
        PutFloats(e, {0.1f, 0.2f, 0.3f, 0.4f, (float)v, (float)l, 7});
        memcpy(e + 44, bonesLow, 4);
      } else {
        PutFloats(e, {0.1f, 0.2f, 0.3f, 0.4f, 0.5f, 0.6f, 0.7f, 0.8f});
        memcpy(e + 44, bonesLow, 4);
        PutFloats(e + 48, {(float)v, (float)l, 7});
        memcpy(e + 60, bonesHigh, 4);
      }
    }
    list.sourceIndices = d->sourceIndices[l].data();
    for (int i = 0; i < s.indexCountA; i++) d->indicesA[l].push_back((uint16_t)i);
    for (int i = 0; i < s.indexCountB; i++) d->indicesB[l].push_back((uint16_t)(100 + i));
    list.indicesA = d->indicesA[l].data();
    list.indicesB = d->indicesB[l].data();
  }
  if (data)
    for (size_t l = 0; l < n; l++) d->meshes[l].sourceVertices = d->sources[l].data();
  base->frameCount = 1;
  base->frames = &d->frame;
  base->meshCount = (int)n;
  base->meshes = d->meshes.data();
  base->triangleListCount = (int)n;
  base->triangleLists = d->lists.data();
}
