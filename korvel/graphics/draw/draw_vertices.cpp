// Caller vertex arrays drawn at once: their colours scaled by the draw brightness and the
// blend parameter, textured with a graph's first piece or untextured, inside the draw frame.
#include <d3d9.h>

#include <cmath>

#include "core/memory.h"
#include "graphics/draw/draw2d.h"
#include "graphics/draw/draw2d_hw.h"
#include "graphics/device/draw_prepare.h"
#include "graphics/device/draw_settings.h"
#include "graphics/graphs/graph_handles.h"
#include "graphics/device/screen.h"
#include "graphics/graphs/movie_graph_hooks.h"
#include "korvel.h"
#include "system/base/pump.h"
#include "system/base/window_state.h"

namespace {
// Grown when a call needs more; kept until graphics shut down.
VERTEX_2D_TEX* workVertices;
int workCapacity;

// The graph of a caller-vertex draw: none for -5, else a valid, finished graph (-1 otherwise).
int LookUpVertexGraph(int graph, GRAPH_RECORD** record) {
  *record = nullptr;
  if (graph == -5) return 0;
  *record = GetGraphRecord(graph, 0);
  return *record != nullptr ? 0 : -1;
}

// Waits while the window is inactive (the wait runs window procedures, which may delete the
// graph, so it is looked up again), then brings a movie graph to its frame due now.
int WaitAndLookUpAgain(int graph, GRAPH_RECORD** record) {
  if (!WindowState.active) {
    WaitWhileInactive();
    if (LookUpVertexGraph(graph, record) != 0) return -1;
  }
  if (*record != nullptr && (*record)->movieHandle != -1) AdvanceGraphMovieFrame((*record)->movieHandle);
  return 0;
}

// Whether caller colours are scaled: a tinting brightness, or a blend parameter below full.
int ColorsNeedScaling() {
  return (DrawSettings.brightness & 0xFFFFFF) != 0xFFFFFF ||
         (DrawSettings.blendMode != 0 && DrawSettings.blendParam != 255);
}

// 0xAARRGGBB with each colour channel times the brightness channel / 255 and, in a blend
// mode, the alpha times the blend parameter / 255.
DWORD ScaleColor(DWORD color) {
  DWORD b = DrawSettings.brightness;
  DWORD red = (color >> 16 & 0xFF) * (b >> 16 & 0xFF) / 255, green = (color >> 8 & 0xFF) * (b >> 8 & 0xFF) / 255;
  DWORD blue = (color & 0xFF) * (b & 0xFF) / 255, alpha = color >> 24;
  if (DrawSettings.blendMode != 0) alpha = alpha * (DWORD)DrawSettings.blendParam / 255;
  return alpha << 24 | red << 16 | green << 8 | blue;
}

// Draws prepared vertices inside the masking and subtraction frame over `affected`.
int DrawFramed(const RECT& affected, const GRAPH_RECORD* graph, const VERTEX_2D_TEX* v, int n, int type,
               int transparent) {
  int flags = transparent ? DRAW_TRANSPARENT : 0;
  return RunMaskedAndEmulated(affected, NeedsSubtractEmulation(1),
                              [&]() { return DrawVertices2DDirect(0, 0, graph, v, n, type, flags, 0, 0); });
}
}  // namespace

int DrawUserVertices2D(const VERTEX_2D_UV* vertices, int n, int type, int graph, int transparent, int fit) {
  GRAPH_RECORD* g = nullptr;
  if (LookUpVertexGraph(graph, &g) != 0) return -1;
  if (g == nullptr && !ScreenState.hardwareRendering) return 0;
  if (DrawSettings.emptyDrawArea || n <= 0 || vertices == nullptr) return 0;
  if (WaitAndLookUpAgain(graph, &g) != 0) return -1;
  // Caller vertices are a device matter: a graph not held as textures draws none.
  if (g != nullptr && !g->imageSet->desc.heldAsTextures) return 0;
  const GRAPH_PIECE* piece = g != nullptr ? &g->pieces[0] : nullptr;
  if (piece == nullptr ||
      (g->pieceCount == 1 && piece->width == piece->texture->width && piece->height == piece->texture->height))
    fit = 0;
  VERTEX_2D_TEX* block = (VERTEX_2D_TEX*)AllocTracked((size_t)n * sizeof(VERTEX_2D_TEX), "", 0);
  if (block == nullptr) return -1;
  int scale = ColorsNeedScaling();
  float minX = vertices[0].x, minY = vertices[0].y, maxX = minX, maxY = minY;
  for (int i = 0; i < n; i++) {
    const VERTEX_2D_UV& in = vertices[i];
    VERTEX_2D_TEX& out = block[i];
    out.x = in.x, out.y = in.y, out.z = DrawSettings.z2DValue, out.rhw = 1.0f;
    DWORD color = (DWORD)in.alpha << 24 | (DWORD)in.red << 16 | (DWORD)in.green << 8 | in.blue;
    out.diffuse = scale ? ScaleColor(color) : color;
    out.u = in.u, out.v = in.v;
    if (fit) {
      float w = (float)piece->texture->width, h = (float)piece->texture->height;
      out.u = piece->textureX / w + in.u * (piece->width / w);
      out.v = piece->textureY / h + in.v * (piece->height / h);
    }
    minX = fminf(minX, in.x), maxX = fmaxf(maxX, in.x);
    minY = fminf(minY, in.y), maxY = fmaxf(maxY, in.y);
  }
  RECT affected = {(LONG)(minX - 1), (LONG)(minY - 1), (LONG)(maxX + 1), (LONG)(maxY + 1)};
  int result = DrawFramed(affected, g, block, n, type, transparent);
  FreeTracked(block);
  return result;
}

int DrawGraphVertices2D(const VERTEX_2D_TEX* vertices, int n, int type, int graph, int transparent) {
  GRAPH_RECORD* g = nullptr;
  if (LookUpVertexGraph(graph, &g) != 0) return -1;
  if (DrawSettings.emptyDrawArea || n <= 0 || vertices == nullptr) return 0;
  if (WaitAndLookUpAgain(graph, &g) != 0) return -1;
  // Caller vertices are a device matter: a software graph, or no graph on a software
  // screen, draws none.
  if (g != nullptr ? !g->imageSet->desc.heldAsTextures : !ScreenState.hardwareRendering) return 0;
  const VERTEX_2D_TEX* drawn = vertices;
  if (ColorsNeedScaling()) {
    if (n > workCapacity) {
      FreeTracked(workVertices);
      workCapacity = 0;
      workVertices = (VERTEX_2D_TEX*)AllocTracked((size_t)n * sizeof(VERTEX_2D_TEX), "", 0);
      if (workVertices == nullptr) return -1;
      workCapacity = n;
    }
    for (int i = 0; i < n; i++) {
      workVertices[i] = vertices[i];
      workVertices[i].diffuse = ScaleColor(vertices[i].diffuse);
    }
    drawn = workVertices;
  }
  return DrawFramed(DrawSettings.drawArea, g, drawn, n, type, transparent);
}

void ReleaseGraphVerticesWork() {
  if (workVertices != nullptr) FreeTracked(workVertices);
  workVertices = nullptr;
  workCapacity = 0;
}
