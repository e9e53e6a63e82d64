// The releases of a model and of a model base: every block, buffer, graph handle and physics
// object the records own, in a fixed order.
#include "core/memory.h"
#include "graphics/graphs/graph_handles.h"
#include "model/model_buffers.h"
#include "model/model_physics.h"
#include "model/model_system.h"

namespace {
void FreeAndClear(void** block) {
  FreeTracked(*block);
  *block = nullptr;
}

template <typename T>
void FreeAndClear(T** block) {
  FreeTracked(*block);
  *block = nullptr;
}

template <typename T>
void FreeIfOwned(T** block, int owned) {
  if (owned) FreeAndClear(block);
}

// A model whose base is there; the attachment release also needs the model part up.
MODEL_RECORD* FindModelWithBase(HANDLE_VALUE handle, int needInitialised) {
  if (needInitialised && !ModelSystem.initialised) return nullptr;
  MODEL_RECORD* model = FindModelRecord(handle, 1);
  return model != nullptr && model->base != nullptr ? model : nullptr;
}

void ReleaseTextureOverrides(MODEL_RECORD* model) {
  if (model->textureOverrides == nullptr) return;
  for (int i = 0; i < model->base->textureCount; i++) {
    MODEL_TEXTURE_OVERRIDE& o = model->textureOverrides[i];
    if (!o.inUse) continue;
    FreeAndClear(&o.blocks0[0]);
    FreeAndClear(&o.blocks0[1]);
    FreeAndClear(&o.blocks1[0]);
    FreeAndClear(&o.blocks1[1]);
    FreeAndClear(&o.alphaFile);
    FreeAndClear(&o.colorFile);
    DeleteGraphHandle(o.graph, 0);
    o.graph = -1;
    o.inUse = 0;
  }
  FreeIfOwned(&model->textureOverrides, model->overridesOwned);
}

void UnlinkModelFromBase(MODEL_RECORD* model) {
  MODEL_BASE_RECORD* base = model->base;
  if (model->nextModel != nullptr) model->nextModel->previousModel = model->previousModel;
  if (model->previousModel != nullptr) model->previousModel->nextModel = model->nextModel;
  if (base->firstModel == model) base->firstModel = model->nextModel;
  if (base->lastModel == model) base->lastModel = model->previousModel;
}
}  // namespace

int ReleaseModelRecord(MODEL_RECORD* model) {
  MODEL_BASE_RECORD* base = model->base;
  if (base != nullptr) {
    HANDLE_VALUE handle = model->head.handle;
    for (int i = 0; i < model->attachmentCapacity; i++) ReleaseModelAttachment(handle, i);
    ReleaseModelDynamicVertexBuffers(handle);
    FreeAndClear(&model->attachments);
    FreeAndClear(&model->workBlocks[1]);
    FreeAndClear(&model->workBlocks[0]);
    for (int i = 0; i < base->frameCount; i++) {
      ReleaseModelFrameBlock(handle, i, 0);
      ReleaseModelFrameBlock(handle, i, 1);
    }
    ReleaseModelNodeBlock(handle, -1);
    for (int i = 0; i < base->frameCount; i++) ReleaseModelNodeBlock(handle, i);
    if (base->rigidBodyCount > 0) ReleaseModelPhysics(model);
    ReleaseTextureOverrides(model);
    UnlinkModelFromBase(model);
    base->modelCount--;
    // Drops the model's reference on the base; the last one frees it.
    DeleteHandle(model->baseHandle);
  }
  FreeAndClear(&model->ownedBlock);
  return 0;
}

int ReleaseModelBaseRecord(MODEL_BASE_RECORD* base) {
  if (--base->referenceCount > 0) return 1;
  ReleaseModelBaseVertexBuffers(base->head.handle);
  FreeAndClear(&base->sharedWork);
  for (int& word : base->sharedWorkWords) word = 0;
  for (int i = 0; i < base->textureCount && base->textures != nullptr; i++) {
    MODEL_TEXTURE& t = base->textures[i];
    FreeIfOwned(&t.block0, t.ownedFlag0);
    FreeIfOwned(&t.block1, t.ownedFlag1);
    FreeIfOwned(&t.block2, t.ownedFlag2);
    FreeAndClear(&t.colorFile);
    FreeAndClear(&t.alphaFile);
    DeleteGraphHandle(t.graph, 0);
  }
  FreeIfOwned(&base->textures, base->texturesOwned);
  for (int i = 0; i < base->blockEntryCount && base->blockEntries != nullptr; i++) FreeIfOwned(&base->blockEntries[i].block, base->blockEntries[i].owned);
  for (int i = 0; i < base->frameCount && base->frames != nullptr; i++) FreeIfOwned(&base->frames[i].normals, base->frames[i].normalsOwned);
  for (int i = 0; i < base->meshCount && base->meshes != nullptr; i++) FreeIfOwned(&base->meshes[i].sourceVertices, base->meshes[i].sourceOwned);
  for (int i = 0; i < base->triangleListCount && base->triangleLists != nullptr; i++) {
    MODEL_TRIANGLE_LIST& list = base->triangleLists[i];
    FreeAndClear(&list.ownedBlocks[0]);
    FreeAndClear(&list.ownedBlocks[1]);
    FreeIfOwned(&list.sourceIndices, list.sourceIndicesOwned);
    FreeIfOwned(&list.skinData, list.skinOwned);
  }
  for (int i = 0; i < base->blockPairCount && base->blockPairs != nullptr; i++) {
    MODEL_BLOCK_PAIR& pair = base->blockPairs[i];
    if (!pair.owned) continue;
    FreeAndClear(&pair.first);
    FreeAndClear(&pair.second);
  }
  for (MODEL_LIST_NODE* node = base->nodeList; node != nullptr;) {
    MODEL_LIST_NODE* next = node->next;
    FreeTracked(node);
    node = next;
  }
  base->nodeList = nullptr;
  FreeAndClear(&base->ownedBlock);
  return 0;
}

int ReleaseModelAttachment(HANDLE_VALUE handle, int index) {
  MODEL_RECORD* model = FindModelWithBase(handle, 1);
  if (model == nullptr || index < 0 || index >= model->attachmentCapacity) return -1;
  MODEL_ATTACHMENT& a = model->attachments[index];
  if (a.inUse) {
    FreeAndClear(&a.block);
    a.inUse = 0;
    if (model->attachmentFrames != nullptr)
      for (int f = 0; f < model->base->frameCount; f++) {
        MODEL_ATTACHMENT_FRAME_ENTRY& e = model->attachmentFrames[f * model->attachmentCapacity + index];
        e.flag = 0;
        e.word = 0;
      }
    model->attachmentsInUse--;
  }
  model->refresh = 0;
  model->refresh2 = 0;
  return 0;
}

int ReleaseModelNodeBlock(HANDLE_VALUE handle, int frame) {
  MODEL_RECORD* model = FindModelWithBase(handle, 0);
  if (model == nullptr || frame < -1 || frame >= model->base->frameCount) return -1;
  if (frame >= 0 && model->frameStates == nullptr) return 0;
  MODEL_NODE_BLOCK** slot = frame == -1 ? &model->nodeBlock : &model->frameStates[frame].nodeBlock;
  MODEL_NODE_BLOCK* block = *slot;
  *slot = nullptr;
  if (block == nullptr) return 0;
  for (MODEL_CHAIN_NODE* node = block->head != nullptr ? block->head->first : nullptr; node != nullptr;) {
    MODEL_CHAIN_NODE* next = node->next;
    FreeTracked(node);
    node = next;
  }
  FreeTracked(block);
  return 0;
}

int ReleaseModelFrameBlock(HANDLE_VALUE handle, int frame, int which) {
  MODEL_RECORD* model = FindModelWithBase(handle, 0);
  if (model == nullptr || frame < -1 || frame >= model->base->frameCount) return -1;
  if (frame >= 0 && model->frameStates == nullptr) return 0;
  void** blocks = frame == -1 ? model->workBlocks : model->frameStates[frame].workBlocks;
  FreeAndClear(&blocks[which != 0 ? 0 : 1]);
  return 0;
}
