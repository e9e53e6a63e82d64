// The public graph draws: the frame every one of them shares (nothing drawn in an empty area,
// the graph and blend-graph checks, the inactive-window wait, masking and the subtraction
// emulation) around the hardware back end for graphs held as textures and the CPU kernels
// for graphs held as MEMIMG images.
#include <windows.h>

#include "core/maths.h"
#include "graphics/draw/blend_graph.h"
#include "graphics/draw/draw2d.h"
#include "graphics/draw/draw_graph_hw.h"
#include "graphics/device/draw_prepare.h"
#include "graphics/device/draw_settings.h"
#include "graphics/graphs/graph_handles.h"
#include "graphics/device/screen.h"
#include "graphics/graphs/movie_graph_hooks.h"
#include "graphics/software/software_draw.h"
#include "image/memimg_draw_state.h"
#include "korvel.h"
#include "system/base/pump.h"
#include "system/base/window_state.h"

namespace {
enum GRAPH_DRAW_KIND { DRAW_AT, DRAW_STRETCHED, DRAW_QUAD };

// One graph draw: at a point (x1, y1), stretched between two corners, or onto four corners.
struct GRAPH_DRAW {
  GRAPH_DRAW_KIND kind;
  int x1, y1, x2, y2;
  float x1f, y1f, x2f, y2f;
  int transparent;
  int integerCall;  // the extra flag of the quad
  QUAD_POINT quad[4];
};

// The graph's record and, when a blend graph is set, the blend graph's, which must cover the
// graph. -1 when either is invalid or still loading.
int LookUpGraphs(int graph, GRAPH_RECORD** record, GRAPH_RECORD** blend) {
  *record = GetGraphRecord(graph, 0);
  if (*record == nullptr) return -1;
  *blend = nullptr;
  if (DrawSettings.blendGraph > 0) {
    if (CheckBlendGraphCoverage(*record) != 0) return -1;
    *blend = GetGraphRecord(DrawSettings.blendGraph, 0);
  }
  return 0;
}

// A coordinate truncated toward zero and kept in [low, high] (also far-off or invalid ones).
int TruncateInto(float value, int low, int high) {
  if (!(value > (float)low)) return low;
  return value < (float)high ? (int)value : high;
}

int DrawOnDevice(const GRAPH_DRAW& d, GRAPH_RECORD* graph, GRAPH_RECORD* blend) {
  if (d.kind == DRAW_AT)
    return DrawGraphHardware(blend, d.x1, d.y1, d.x1f, d.y1f, graph, d.transparent | DRAW_PIXEL_EXACT);
  if (d.kind == DRAW_QUAD) return DrawGraphQuadHardware(d.quad, graph, blend, d.transparent, d.integerCall);
  return DrawGraphStretchedHardware(d.x1, d.y1, d.x2, d.y2, d.x1f, d.y1f, d.x2f, d.y2f, graph, blend, d.transparent,
                                    d.integerCall);
}

int DrawInSoftware(const GRAPH_DRAW& d, GRAPH_RECORD* graph) {
  if (d.kind == DRAW_AT) return BlitGraphSoftware(d.x1, d.y1, graph, d.transparent);
  if (d.kind == DRAW_STRETCHED) return StretchGraphSoftware(d.x1, d.y1, d.x2, d.y2, graph, d.transparent);
  const float corners[8] = {d.quad[0].x, d.quad[0].y, d.quad[1].x, d.quad[1].y,
                            d.quad[2].x, d.quad[2].y, d.quad[3].x, d.quad[3].y};
  return DrawGraphQuadSoftware(corners, graph, d.transparent);
}

int RunGraphFrame(const GRAPH_DRAW& d, int graph) {
  if (DrawSettings.emptyDrawArea) return 0;
  GRAPH_RECORD* record = nullptr;
  GRAPH_RECORD* blend = nullptr;
  if (LookUpGraphs(graph, &record, &blend) != 0) return -1;
  if (!WindowState.active) {
    WaitWhileInactive();
    // The wait ran window procedures, which may have deleted either graph.
    if (LookUpGraphs(graph, &record, &blend) != 0) return -1;
  }
  // The movie's frame due now goes into the graph before it is drawn.
  if (record->movieHandle != -1) AdvanceGraphMovieFrame(record->movieHandle);
  const int onDevice = record->imageSet->desc.heldAsTextures;
  RECT affected = {d.x1, d.y1, d.x1 + record->width, d.y1 + record->height};
  if (d.kind != DRAW_AT) {
    affected = {d.x1 < d.x2 ? d.x1 : d.x2, d.y1 < d.y2 ? d.y1 : d.y2, d.x1 < d.x2 ? d.x2 : d.x1,
                d.y1 < d.y2 ? d.y2 : d.y1};
  }
  return RunMaskedAndEmulated(affected, NeedsSubtractEmulation(onDevice), [&]() {
    return onDevice ? DrawOnDevice(d, record, blend) : DrawInSoftware(d, record);
  });
}
}  // namespace

int DrawGraphAt(int x, int y, int graph, int transparent) {
  if (!ScreenState.graphicsStarted) return -1;
  GRAPH_DRAW d = {DRAW_AT, x, y, x, y, (float)x, (float)y, (float)x, (float)y, transparent ? 1 : 0, 1};
  return RunGraphFrame(d, graph);
}

int DrawGraphStretched(int x1, int y1, int x2, int y2, int graph, int transparent) {
  GRAPH_DRAW d = {DRAW_STRETCHED,      x1, y1, x2, y2, (float)x1, (float)y1, (float)x2, (float)y2,
                  transparent ? 1 : 0, 1,  {}};
  return RunGraphFrame(d, graph);
}

int DrawGraphStretchedF(float x1, float y1, float x2, float y2, int graph, int transparent) {
  GRAPH_DRAW d = {DRAW_STRETCHED, (int)x1, (int)y1, (int)x2, (int)y2, x1, y1, x2, y2, transparent ? 1 : 0, 0, {}};
  return RunGraphFrame(d, graph);
}

int DrawGraphQuad(int graph, float x1, float y1, float x2, float y2, float x3, float y3, float x4, float y4,
                  int transparent, int extra) {
  // Stored top-left, top-right, bottom-left, bottom-right.
  GRAPH_DRAW d = {
      DRAW_QUAD, 0, 0, 0, 0, 0, 0, 0, 0, transparent ? 1 : 0, extra, {{x1, y1}, {x2, y2}, {x4, y4}, {x3, y3}}};
  // The affected rectangle: the corners' bounding box truncated toward zero, kept inside the
  // range the mask and the emulation take.
  float left = x1, top = y1, right = x1, bottom = y1;
  for (const QUAD_POINT& p : d.quad) {
    left = p.x < left ? p.x : left, right = p.x > right ? p.x : right;
    top = p.y < top ? p.y : top, bottom = p.y > bottom ? p.y : bottom;
  }
  d.x1 = TruncateInto(left, -0xFFFFFF, 0xFFFFFF);
  d.y1 = TruncateInto(top, -0xFFFFFF, 0xFFFFFF);
  d.x2 = TruncateInto(right, 0, 0xFFFFFF);
  d.y2 = TruncateInto(bottom, 0, 0xFFFFFF);
  return RunGraphFrame(d, graph);
}

int DrawGraphQuadF(float x1, float y1, float x2, float y2, float x3, float y3, float x4, float y4, int graph,
                   int transparent) {
  return DrawGraphQuad(graph, x1, y1, x2, y2, x3, y3, x4, y4, transparent, 0);
}

int DrawGraphMirrored(int x, int y, int graph, int transparent) {
  GRAPH_RECORD* record = GetGraphRecord(graph, 0);
  if (record == nullptr) return -1;
  return DrawGraphStretched(x + record->width, y, x, y + record->height, graph, transparent);
}

int DrawGraphRegion(int x, int y, int srcX, int srcY, int width, int height, int graph, int transparent, int mirror) {
  if (width <= 0 || height <= 0) return -1;
  // The draw area narrows to the destination rectangle for this one draw; the device keeps
  // its viewport and scissor, the vertices are clamped to the narrowed area.
  const RECT savedArea = DrawSettings.drawArea;
  const RECT savedClip = MemImgDrawState.clipRect;
  RECT area = {x, y, x + width, y + height};
  ClipRectToRect(&area, &savedArea);
  StoreDrawArea(area);
  SetMemImgClipRect(&area);
  int result;
  if (!mirror) {
    result = DrawGraphAt(x - srcX, y - srcY, graph, transparent);
  } else {
    GRAPH_RECORD* record = GetGraphRecord(graph, 0);
    result = record == nullptr ? -1 : DrawGraphMirrored(x + srcX + width - record->width, y - srcY, graph, transparent);
  }
  StoreDrawArea(savedArea);
  SetMemImgClipRect(&savedClip);
  return result;
}

int DrawGraphRectStretchedF(float x1, float y1, float x2, float y2, int graph, int srcX, int srcY, int width,
                            int height, int transparent) {
  if (width <= 0 || height <= 0) return -1;
  int part = CreateDerivedGraph(srcX, srcY, width, height, graph);
  if (part == -1) return -1;
  int result = DrawGraphStretchedF(x1, y1, x2, y2, part, transparent);
  DeleteGraphHandle(part, 0);
  return result;
}
