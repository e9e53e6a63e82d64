// The device buffers of models: per base, its triangle lists grouped by vertex format into
// shared write-only vertex and 16-bit index buffers in the default pool; per model, dynamic
// vertex buffers for the triangle lists of meshes with per-model vertices. Default-pool buffers
// die with the device: all are released before it goes and built again afterwards.
#pragma once
#include "core/handles.h"
#include "model/model_records.h"

// The key of a group: vertex kind, tangent frame (0/1) and texture-coordinate sets.
struct MODEL_GROUP_KEY {
  int kind, tangent, sets;
};

// Calls f with every group key in the key order: kind, then tangent frame, then sets.
template <typename F>
void ForEachKey(F f) {
  for (int kind = 0; kind < MODEL_VERTEX_KINDS; kind++)
    for (int tangent = 0; tangent < 2; tangent++)
      for (int sets = 0; sets <= MODEL_TEXCOORD_SETS_MAX; sets++) f(MODEL_GROUP_KEY{kind, tangent, sets});
}

enum {
  // A group takes lists until one would bring it to this many indices or vertices.
  MODEL_GROUP_INDEX_LIMIT = 0xC0000,
  MODEL_GROUP_VERTEX_LIMIT = 0x60000,
};

// Sorts the base's triangle lists into groups by key (vertex kind, tangent frame, texture-
// coordinate sets) within the limits; a list beyond the limits alone keeps a group of its own,
// and groups left without vertices or indices are dropped. Lists of other kinds get none.
// -> 0, -1 when a group record cannot be allocated.
int SortModelTriangleLists(MODEL_BASE_RECORD* base);
// Groups, buffers and contents of a base, then the dynamic buffers of its models; the flag is
// kept in the base. -> 0 (also without a device that can use them, or when already set up),
// -1 for an invalid base or a failed buffer (then nothing is left of the groups).
int SetupModelBaseVertexBuffers(HANDLE_VALUE base, int flag, int async);
// Every base (after a device re-creation). -> 0, -1 when the base type is not set up.
int SetupAllModelBaseVertexBuffers(int async);
// The model's dynamic buffers for its per-model meshes. -> 0, -1 for an invalid model.
int CreateModelDynamicVertexBuffers(HANDLE_VALUE model, int async);

// The model's dynamic buffers. -> 0, -1 for an invalid model.
int ReleaseModelDynamicVertexBuffers(HANDLE_VALUE model);
// The base's groups with their buffers, and the dynamic buffers of its models. -> 0 (also when
// not set up), -1 for an invalid base.
int ReleaseModelBaseVertexBuffers(HANDLE_VALUE base);
// Every base's and every model's buffers (the Direct3D end). -> 0.
int ReleaseAllModelVertexBuffers();
