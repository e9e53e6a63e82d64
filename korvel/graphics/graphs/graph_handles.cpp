#include "graphics/graphs/graph_handles.h"

#include "core/log.h"
#include "core/memory.h"
#include "graphics/graphs/graph_layout.h"
#include "graphics/graphs/graph_reload.h"
#include "graphics/graphs/graph_textures.h"
#include "graphics/draw/draw_target.h"  // upward: a deleted graph stops being a draw target
#include "graphics/graphs/movie_graph_hooks.h"
#include "graphics/software/software_screen.h"  // upward: a released graph leaves the software target

const char* const kGraphHandleTypeName = "グラフィック";

namespace {
const char* const kNoPieces = "テクスチャ描画情報の作成に失敗しました\n";
const char* const kNoPieceMemory = "画像描画情報格納用メモリの確保に失敗しました\n";
}  // namespace

HANDLE_VALUE NewGraphHandle() { return NewHandle(HANDLE_TYPE_GRAPH, -1); }

void InitGraphRecord(HANDLE_HEAD* record) { ((GRAPH_RECORD*)record)->movieHandle = -1; }

GRAPH_IMAGE_SET* AllocGraphImageSet(int textureCount) {
  if (textureCount < 0) return nullptr;
  size_t size = sizeof(GRAPH_IMAGE_SET) + sizeof(GRAPH_TEXTURE) * (size_t)textureCount;
  GRAPH_IMAGE_SET* set = (GRAPH_IMAGE_SET*)AllocTrackedZeroed(size, "", 0);
  if (set == nullptr) return nullptr;
  set->textureCount = textureCount;
  set->textures = (GRAPH_TEXTURE*)(set + 1);
  return set;
}

void ReleaseGraphImageSet(GRAPH_IMAGE_SET* set) {
  if (set == nullptr || --set->refCount > 0) return;
  ReleaseImageSetTextures(set);
  ReleaseMemImg(&set->memImg);
  FreeTracked(set);
}

int ReleaseGraphRecord(HANDLE_HEAD* head) {
  GRAPH_RECORD* g = (GRAPH_RECORD*)head;
  // The movie the graph shows goes with it (-1, no movie, is refused there).
  DeleteGraphMovie(g->movieHandle);
  g->movieHandle = -1;
  ForgetDeletedDrawTarget(head->handle);
  // The software renderer never keeps drawing into or blending from a released image.
  ForgetSoftwareImage(&g->memImg);
  ReleaseMemImg(&g->memImg);
  ReleaseGraphImageSet(g->imageSet);
  g->imageSet = nullptr;
  ReleaseReloadSource(g->reloadSource);
  g->reloadSource = nullptr;
  g->pieceCount = 0;
  if (g->lostFlag != nullptr) *g->lostFlag = 1;
  return 0;
}

GRAPH_RECORD* GetGraphRecord(HANDLE_VALUE handle, int anyState) {
  if (handle < 0 || GetHandleType(handle) != HANDLE_TYPE_GRAPH) return nullptr;
  GRAPH_RECORD* g = (GRAPH_RECORD*)LookupHandleRecord(handle);
  if (g == nullptr || (!anyState && g->head.pendingLoads != 0)) return nullptr;
  return g;
}

int IsGraphHandleValid(HANDLE_VALUE handle) { return GetGraphRecord(handle, 0) != nullptr ? 1 : 0; }

int DeleteGraphHandle(HANDLE_VALUE handle, int) { return DeleteHandle(handle); }

int AttachGraphLostFlag(HANDLE_VALUE handle, int* flag) {
  GRAPH_RECORD* g = GetGraphRecord(handle, 0);
  if (g == nullptr) return -1;
  g->lostFlag = flag;
  if (flag != nullptr) *flag = 0;
  return 0;
}

int QueryGraphTextureSize(HANDLE_VALUE handle, int* width, int* height) {
  GRAPH_RECORD* g = GetGraphRecord(handle, 0);
  if (g == nullptr || g->imageSet == nullptr) return -1;
  const GRAPH_IMAGE_SET* set = g->imageSet;
  bool textures = set->desc.heldAsTextures && set->textureCount > 0;
  if (width) *width = textures ? set->textures[0].width : g->width;
  if (height) *height = textures ? set->textures[0].height : g->height;
  return 0;
}

HANDLE_VALUE CreateDerivedGraphEx(int x, int y, int width, int height, HANDLE_VALUE parent, int anyState) {
  HANDLE_VALUE child = NewGraphHandle();
  if (child == -1) return -1;
  if (DeriveGraphInto(child, x, y, width, height, parent, anyState) < 0) {
    DeleteGraphHandle(child, 0);
    return -1;
  }
  return child;
}

HANDLE_VALUE CreateDerivedGraph(int x, int y, int width, int height, HANDLE_VALUE parent) {
  return CreateDerivedGraphEx(x, y, width, height, parent, 0);
}

int DeriveGraphInto(HANDLE_VALUE child, int x, int y, int width, int height, HANDLE_VALUE parent, int anyState) {
  GRAPH_RECORD* p = GetGraphRecord(parent, anyState);
  if (p == nullptr || x < 0 || y < 0 || x >= p->width || y >= p->height) return -1;
  // An empty or negative size would give a graph without pieces: refused.
  if (width <= 0 || height <= 0) return -1;
  if (width > p->width - x) width = p->width - x;
  if (height > p->height - y) height = p->height - y;
  return LinkDerivedGraph(parent, child, x, y, width, height, anyState);
}

int LinkDerivedGraph(HANDLE_VALUE parent, HANDLE_VALUE child, int x, int y, int width, int height, int anyState) {
  GRAPH_RECORD* p = GetGraphRecord(parent, anyState);
  GRAPH_RECORD* c = GetGraphRecord(child, anyState);
  if (p == nullptr || c == nullptr || p->imageSet == nullptr || p == c) return -1;
  GRAPH_IMAGE_SET* set = p->imageSet;
  set->refCount++;
  ReleaseGraphImageSet(c->imageSet);
  c->imageSet = set;
  c->reloadX = p->reloadX + x;
  c->reloadY = p->reloadY + y;
  c->x = p->x + x;
  c->y = p->y + y;
  c->width = width;
  c->height = height;
  // The derived graph restores from its parent's source, at its own offset.
  SetReloadSourceFile(child, nullptr, 0, parent, anyState);
  return BuildGraphPieces(child, anyState);
}

int BuildGraphPieces(HANDLE_VALUE handle, int anyState) {
  GRAPH_RECORD* g = GetGraphRecord(handle, anyState);
  if (g == nullptr || g->imageSet == nullptr) return -1;
  if (!g->imageSet->desc.heldAsTextures) {
    // A software graph draws from a view of its rectangle of the set's image.
    ReleaseMemImg(&g->memImg);
    g->pieceCount = 0;
    return DeriveMemImg(&g->memImg, &g->imageSet->memImg, g->x, g->y, g->width, g->height);
  }
  int count = LayoutGraphPieces(g->imageSet, g->x, g->y, g->width, g->height, nullptr);
  if (count == 0) {
    WriteLogText(kNoPieces);
    return -1;
  }
  if (count > GRAPH_BASE_PIECES) {
    // Room for every piece of the split, however many the image set was cut into.
    if (ResizeHandleRecord(handle, GraphRecordSize(count)) < 0) {
      WriteLogText(kNoPieceMemory);
      return -1;
    }
    g = GetGraphRecord(handle, anyState);
  }
  g->pieceCount = LayoutGraphPieces(g->imageSet, g->x, g->y, g->width, g->height, g->pieces);
  return 0;
}
