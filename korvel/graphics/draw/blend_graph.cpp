// The blend graph: a graph whose pixels weight each pixel a graph draw writes, selected for
// the device (its first texture and the type's parameters) or for the software renderer (its
// MEMIMG and the border weight table), and the check that it covers the graph drawn.
#include "graphics/draw/blend_graph.h"

#include <cstdarg>

#include "graphics/device/d3d_calls.h"
#include "graphics/device/draw_settings.h"
#include "graphics/device/screen.h"
#include "graphics/device/state_cache.h"
#include "graphics/graphs/graph_handles.h"
#include "graphics/software/software_draw.h"
#include "image/memimg_draw_state.h"
#include "korvel.h"
#include "system/base/pump.h"

namespace {
int Clamp255(int value) { return value < 0 ? 0 : value > 255 ? 255 : value; }

}  // namespace

int SelectBlendGraph(int graph, int type, const int* parameters) {
  GRAPH_RECORD* record = nullptr;
  if (graph > 0) {
    record = GetGraphRecord(graph, 0);
    if (record == nullptr) return -1;
    DrawSettings.blendGraph = graph;
  } else {
    DrawSettings.blendGraph = -1;
  }
  WaitWhileInactive();
  int values[2] = {0, 0};
  if (record != nullptr && parameters != nullptr) {
    if (type == 0) {
      values[0] = Clamp255(parameters[0]);
    } else if (type == 1) {
      values[0] = DrawSettings.borderParam = Clamp255(parameters[0]);
      values[1] = DrawSettings.borderRange = Clamp255(parameters[1]);
      if (!ScreenState.hardwareRendering) BuildBlendGraphWeights(values[0], values[1]);
    }
  }
  if (!ScreenState.hardwareRendering) {
    SoftwareBlendSource = record != nullptr ? &record->memImg : nullptr;
    return 0;
  }
  if (!HasDirect3DDevice()) return -1;
  const GRAPH_IMAGE_SET* set = record != nullptr ? record->imageSet : nullptr;
  if (set != nullptr && set->desc.heldAsTextures && set->textureCount > 0) {
    const GRAPH_TEXTURE& texture = set->textures[0];
    SetDeviceBlendGraphTexture(texture.texture, texture.width, texture.height);
    SetDeviceBlendGraphParams(values, type);
    return 0;
  }
  // No texture to blend with: the device forgets its blend graph (flushing what was drawn
  // with it first).
  DrawSettings.blendGraph = -1;
  if (DeviceStateCache.blendGraphTexture != nullptr) SetDeviceBlendGraphTexture(nullptr, 0, 0);
  return 0;
}

int SelectBlendGraphArgs(int graph, int type, ...) {
  int parameters[2] = {0, 0};
  va_list args;
  va_start(args, type);
  int count = type == 1 ? 2 : type == 0 ? 1 : 0;
  for (int i = 0; i < count; i++) parameters[i] = va_arg(args, int);
  va_end(args);
  return SelectBlendGraph(graph, type, parameters);
}

int SetBlendGraphWithBorder(int graph, int borderParam, int borderRange) {
  return SelectBlendGraphArgs(graph, 1, borderParam, borderRange);
}

int CheckBlendGraphCoverage(const GRAPH_RECORD* graph) {
  const GRAPH_RECORD* blend = DrawSettings.blendGraph == -1 ? nullptr : GetGraphRecord(DrawSettings.blendGraph, 0);
  if (blend == nullptr || graph == nullptr) return -1;
  return blend->width >= graph->width && blend->height >= graph->height ? 0 : -1;
}
