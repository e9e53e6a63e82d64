// The extra render-target slots of the device and the graph whose depth surface serves drawing.
#include "graphics/device/d3d_calls.h"
#include "graphics/device/device.h"
#include "graphics/device/device_resources.h"
#include "graphics/device/draw_settings.h"
#include "graphics/draw/draw_target.h"
#include "graphics/graphs/graph_handles.h"
#include "graphics/device/present.h"
#include "graphics/device/screen.h"
#include "graphics/device/state_cache.h"
#include "graphics/graphs/texture_transfer.h"
#include "graphics/device/vertex_batch.h"
#include "korvel.h"
#include "system/base/library_flags.h"
#include "system/base/pump.h"
#include "system/base/window_state.h"

int SetRenderTargetSlot(int slot, int target) {
  // Slot 0 is the draw target and exists on every device.
  int count = DeviceCaps.renderTargetCount > 1 ? DeviceCaps.renderTargetCount : 1;
  if (slot < 0 || slot >= count) return -1;
  if (slot == 0) return DrawSettings.drawTarget == target ? 0 : SelectDrawTarget(target);
  if (DrawSettings.renderTargetSlots[slot] == target) return 0;
  if (!ScreenState.hardwareRendering || !StateFlags.programmableShaders || !HasDirect3DDevice()) return -1;
  GRAPH_RECORD* graph = GetGraphRecord(target, 0);
  if (graph != nullptr && GetDrawableGraph(target) == nullptr) return -1;
  FlushVertexBatch(0);
  EndDeviceScene();
  UnbindStageTexture();
  GRAPH_RECORD* previous = GetDrawableGraph(DrawSettings.renderTargetSlots[slot]);
  if (previous != nullptr && previous->imageSet->textureCount > 0)
    ResolveMultiSampleTexture(&previous->imageSet->textures[0]);
  // Anything that is not a drawable graph empties the slot.
  if (graph == nullptr || !graph->imageSet->desc.heldAsTextures) {
    StoreRenderTargetSlot(slot, 0);
    SetDeviceRenderTarget(nullptr, slot);
    return 0;
  }
  StoreRenderTargetSlot(slot, target);
  SetDeviceRenderTarget(GetGraphTargetSurface(graph), slot);
  return 0;
}

int SelectDepthBufferGraph(int graph) { return SelectDepthBufferGraphEx(graph, 1); }

int SelectDepthBufferGraphEx(int graph, int waitWhileInactive) {
  if (!ScreenState.graphicsStarted) return -1;
  if (waitWhileInactive && !WindowState.active && !LibraryFlags.starting) WaitWhileInactive();
  GRAPH_RECORD* record = GetGraphRecord(graph, 0);
  if (record != nullptr) {
    GRAPH_RECORD* drawable = GetDrawableGraph(graph);
    if (drawable == nullptr || !drawable->imageSet->desc.heldAsTextures ||
        drawable->imageSet->textures[0].depthSurface == nullptr)
      return -1;
  }
  // Any other value is kept and counts as no depth-buffer graph.
  StoreDepthBufferGraph(graph);
  FlushVertexBatch(0);
  SetDepthStencilForTarget();
  return 0;
}

void ForgetDeletedDrawTarget(int graph) {
  if (!ScreenState.graphicsStarted) return;
  // This runs inside the graph type's lock: waiting here for the window to become active would
  // hold every loader thread that needs the lock (and a device re-creation at the activation
  // waits for those loaders), so the replacements are made at once.
  if (DrawSettings.drawTarget == graph) SelectDrawTargetEx(-4, 0);
  int count = DeviceCaps.renderTargetCount < 16 ? DeviceCaps.renderTargetCount : 16;
  for (int slot = 1; slot < count; slot++) {
    if (DrawSettings.renderTargetSlots[slot] != graph) continue;
    // Without a device to tell, the slot is only emptied.
    if (SetRenderTargetSlot(slot, -1) != 0) StoreRenderTargetSlot(slot, 0);
  }
  if (DrawSettings.depthBufferGraph == graph) SelectDepthBufferGraphEx(-2, 0);
}
