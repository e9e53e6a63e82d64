// The six vertex formats of the model buffers and the writer that converts a triangle list's
// source data into them. Every texture-coordinate set is written as (u, v, 1, 1); bone bytes
// are the bone index x 3, kept to 8 bits.
#pragma once
#include <d3d9.h>

#include <cstdint>

#include "model/model_records.h"

enum {
  MODEL_FIXED_FVF_BASE = D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_DIFFUSE | D3DFVF_SPECULAR,  // 0xD2
};

struct MODEL_VERTEX_FORMAT {
  int stride;  // bytes per vertex in the group's buffer
  DWORD fvf;   // 0 for the formats drawn with the library's vertex shaders
};

// kind 0 to 2, tangent frame 0 or 1, texture-coordinate sets 0 to 8.
MODEL_VERTEX_FORMAT GetModelVertexFormat(int kind, int tangentFrame, int texCoordSets);
// The tangent-frame flag of a triangle list: 1 when its mesh's material asks for one.
int GetTriangleListTangentFrame(const MODEL_TRIANGLE_LIST* list);
// Bytes of one skin entry of a vertex kind, and the entries' start inside their block.
int GetModelSkinEntrySize(int kind);
const uint8_t* GetModelSkinEntries(const void* block);
// Writes the list's vertices one after another, stride bytes apart, in the format of its key.
void WriteModelVertices(const MODEL_TRIANGLE_LIST* list, uint8_t* dest, int stride);
