#include "model/model_vertex_format.h"

#include <cstring>

namespace {
// Bytes before the texture-coordinate sets, per [kind][tangent frame].
const int kFixedBytes[MODEL_VERTEX_KINDS][2] = {{64, 56}, {52, 76}, {72, 96}};

struct VERTEX_WRITER {
  uint8_t* at;
  void Bytes(const void* source, size_t size) {
    memcpy(at, source, size);
    at += size;
  }
  void Word(uint32_t value) { Bytes(&value, 4); }
  void Vector(const VEC3F& v) { Bytes(&v, sizeof(v)); }
  // Bone indices x 3, one byte each.
  void Bones(const uint8_t* bones) {
    for (int i = 0; i < 4; i++) *at++ = (uint8_t)(bones[i] * 3);
  }
};
}  // namespace

MODEL_VERTEX_FORMAT GetModelVertexFormat(int kind, int tangentFrame, int texCoordSets) {
  MODEL_VERTEX_FORMAT format = {kFixedBytes[kind][tangentFrame] + 16 * texCoordSets, 0};
  if (kind == 0 && tangentFrame == 0) {
    format.fvf = MODEL_FIXED_FVF_BASE | (DWORD)texCoordSets << D3DFVF_TEXCOUNT_SHIFT;
    for (int i = 0; i < texCoordSets; i++) format.fvf |= D3DFVF_TEXCOORDSIZE4(i);
  }
  return format;
}

int GetTriangleListTangentFrame(const MODEL_TRIANGLE_LIST* list) {
  const MODEL_MATERIAL* material = list->mesh->material;
  return material != nullptr && material->tangentFrame != 0 ? 1 : 0;
}

int GetModelSkinEntrySize(int kind) {
  return kind == 0 ? MODEL_SKIN_RIGID_SIZE : kind == 1 ? MODEL_SKIN_FOUR_SIZE : MODEL_SKIN_EIGHT_SIZE;
}

const uint8_t* GetModelSkinEntries(const void* block) {
  return (const uint8_t*)(((uintptr_t)block + 15) & ~(uintptr_t)15);
}

void WriteModelVertices(const MODEL_TRIANGLE_LIST* list, uint8_t* dest, int stride) {
  const MODEL_MESH* mesh = list->mesh;
  int kind = list->kind, tangent = GetTriangleListTangentFrame(list);
  int skinSize = GetModelSkinEntrySize(kind);
  const uint8_t* skin = GetModelSkinEntries(list->skinData);
  for (int v = 0; v < list->vertexCount; v++, skin += skinSize) {
    const uint8_t* source = mesh->sourceVertices + (size_t)list->sourceIndices[v] * mesh->sourceStride;
    MODEL_SOURCE_VERTEX head;
    memcpy(&head, source, offsetof(MODEL_SOURCE_VERTEX, texCoords));
    const MODEL_NORMAL& normal = mesh->frame->normals[head.normalIndex];
    VERTEX_WRITER out = {dest + (size_t)v * stride};
    // Position, then the bones and weights of the skinned kinds, from the skin entry.
    if (kind == 0) {
      out.Bytes(skin, 12);
    } else if (kind == 1) {
      out.Bytes(skin + 16, 12);  // position after the four weights
      out.Bones(skin + 44);
      out.Bytes(skin, 16);
    } else {
      out.Bytes(skin + 48, 12);  // position after the first four bone bytes
      out.Bones(skin + 44);
      out.Bones(skin + 60);
      out.Bytes(skin, 32);
    }
    if (tangent) {
      out.Vector(normal.tangent);
      out.Vector(normal.binormal);
    }
    out.Vector(normal.normal);
    out.Word(head.diffuse);
    out.Word(head.specular);
    const uint8_t* sets = source + offsetof(MODEL_SOURCE_VERTEX, texCoords);
    const float one = 1.0f;
    for (int i = 0; i < mesh->texCoordSets; i++) {
      out.Bytes(sets + 8 * i, 8);
      out.Bytes(&one, 4);
      out.Bytes(&one, 4);
    }
  }
}
