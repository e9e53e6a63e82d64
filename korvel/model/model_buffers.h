// The device buffers of models: per base, its triangle lists grouped by vertex format into
// shared write-only vertex and 16-bit index buffers in the default pool; per model, dynamic
// vertex buffers for the triangle lists of meshes with per-model vertices. Default-pool buffers
// die with the device: all are released before it goes and built again afterwards.
#pragma once
#include "core/handles.h"

// The model's dynamic buffers. -> 0, -1 for an invalid model.
int ReleaseModelDynamicVertexBuffers(HANDLE_VALUE model);
// The base's groups with their buffers, and the dynamic buffers of its models. -> 0 (also when
// not set up), -1 for an invalid base.
int ReleaseModelBaseVertexBuffers(HANDLE_VALUE base);
// Every base's and every model's buffers (the Direct3D end). -> 0.
int ReleaseAllModelVertexBuffers();
