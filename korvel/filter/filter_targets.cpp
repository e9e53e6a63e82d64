#include "filter/filter_targets.h"

#include "core/log.h"
#include "filter/filter_resources.h"
#include "graphics/device/d3d_calls.h"
#include "graphics/device/draw_prepare.h"
#include "graphics/device/state_cache.h"
#include "graphics/device/vertex_batch.h"
#include "graphics/draw/draw2d_hw.h"
#include "graphics/graphs/graph_handles.h"
#include "korvel.h"

namespace {
int Larger(int a, int b) { return a > b ? a : b; }

// A graph that is all of one texture from its top-left texel: sampled and rendered into in
// its own coordinates.
bool IsWholeTexture(const GRAPH_RECORD* g) {
  return g->imageSet != nullptr && g->imageSet->desc.heldAsTextures && g->pieceCount == 1 &&
         g->pieces[0].textureX == 0 && g->pieces[0].textureY == 0;
}

// Draws every piece of the graph into the work graph at its place, pixel for pixel (the filter
// draw state copies the source, alpha included).
void DrawGraphIntoWorkTarget(const GRAPH_RECORD* source, HANDLE_VALUE work) {
  GRAPH_RECORD* w = GetGraphRecord(work, 0);
  SetDeviceRenderTarget(w->imageSet->textures[0].surface, 0);
  SetDeviceViewport(0, 0, w->imageSet->textures[0].width, w->imageSet->textures[0].height, 0.0f, 1.0f);
  static const int kCorners[4] = {GRAPH_CORNER_TOP_LEFT, GRAPH_CORNER_TOP_RIGHT, GRAPH_CORNER_BOTTOM_LEFT,
                                  GRAPH_CORNER_BOTTOM_RIGHT};
  for (int i = 0; i < source->pieceCount; i++) {
    VERTEX_2D_TEX v[4];
    for (int c = 0; c < 4; c++) {
      const GRAPH_CORNER& corner = source->pieces[i].corners[kCorners[c]];
      v[c] = {corner.x - 0.5f, corner.y - 0.5f, 0.0f, 1.0f, 0xFFFFFFFF, corner.u, corner.v};
    }
    DrawVertices2DDirect(i, 0, source, v, 4, D3DPT_TRIANGLESTRIP, DRAW_TRANSPARENT, 0, 0);
  }
}
}  // namespace

HANDLE_VALUE GetFilterWorkTargetCovering(int length, int slot) {
  int k = FilterWorkSizeIndex(length);
  if (k < 0) {
    AddLogLineFormat("作業用描画可能テクスチャの作成に失敗しました Size:%dx%d", length, length);
    return -1;
  }
  return GetFilterWorkTarget(k, slot);
}

int PrepareFilterPassTargets(FILTER_PASS_RECORD* record, int passCount, int work, HANDLE_VALUE* running,
                             HANDLE_VALUE* target) {
  GRAPH_RECORD* source = GetGraphRecord(record->passSource, 0);
  GRAPH_RECORD* dest = GetGraphRecord(record->passDestination, 0);
  if (source == nullptr || dest == nullptr) return -1;
  if (!FilterShadersUsable()) {
    *target = record->passDestination;
    return 0;
  }
  // A destination that is not a plain render target, or an in-place run that may not render
  // into the graph it reads, goes through a work target. With work targets the passes
  // alternate so that the last one lands in the destination where it can.
  int needWork = (work && record->passSource == record->passDestination) || !dest->imageSet->desc.drawable ||
                 !IsWholeTexture(dest);
  int alternate = work && record->passIndex % 2 == passCount % 2;
  int copySource = record->passIndex == 0 && !IsWholeTexture(source);
  int copySlot = 0;
  if (!needWork && !alternate) {
    *target = record->passDestination;
  } else {
    int length = source->width, height = source->height;
    if (!copySource) QueryGraphTextureSize(record->passSource, &length, &height);
    // The pass renders at the destination point, and a later pass reads there.
    length = Larger(Larger(length, height), Larger(record->destX + record->x2 - record->x1,
                                                   record->destY + record->y2 - record->y1));
    *target = GetFilterWorkTargetCovering(length, alternate ? 0 : 1);
    if (*target < 0) return -1;
    copySlot = alternate ? 1 : 0;
    // The result is copied back from the last work target whole: pixels that pass leaves
    // unwritten must hold the destination's own values there, as they do on the CPU path. A
    // last pass that reads the work target it renders into keeps what the pass before left.
    if (record->passIndex == passCount - 1 && *target != *running) DrawGraphIntoWorkTarget(dest, *target);
  }
  if (copySource) {
    HANDLE_VALUE copy = GetFilterWorkTargetCovering(Larger(source->width, source->height), copySlot);
    if (copy < 0) return -1;
    DrawGraphIntoWorkTarget(source, copy);
    *running = copy;
  }
  return 0;
}

int CopyFilterResultToGraph(FILTER_PASS_RECORD* record, HANDLE_VALUE lastTarget, int work, int lastResult,
                            int width, int height) {
  if (lastResult < 0 || !FilterShadersUsable() || width <= 0 || height <= 0) return 0;
  if (lastTarget == record->passDestination && !(work && record->passSource == record->passDestination)) return 0;
  int x = record->destX, y = record->destY;
  return CopyScreenRectToGraph(lastTarget, x, y, x + width, y + height, x, y, record->passDestination) < 0 ? -1 : 0;
}
