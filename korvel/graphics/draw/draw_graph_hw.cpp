#include "graphics/draw/draw_graph_hw.h"

#include <d3d9.h>

#include "graphics/device/d3d_calls.h"
#include "graphics/device/draw_prepare.h"
#include "graphics/device/draw_settings.h"
#include "graphics/device/present.h"
#include "graphics/device/state_cache.h"
#include "graphics/device/vertex_batch.h"

namespace {
// Where a graph lands: screen position = origin + scale × graph-relative position. With
// clipping on, every corner is clamped to the bounds and its texture coordinates follow.
struct PLACEMENT {
  float originX, originY, scaleX, scaleY;
  int clip;
  float left, top, right, bottom;
};

// Moves a position into [low, high]; each texture coordinate moves by its rate per pixel.
void ClampAxis(float* p, float low, float high, float rate, float blendRate, float* t, float* blendT) {
  float q = *p < low ? low : *p > high ? high : *p;
  *t += (q - *p) * rate;
  *blendT += (q - *p) * blendRate;
  *p = q;
}

SENT_CORNER PlaceCorner(const GRAPH_PIECE& piece, int corner, const GRAPH_PIECE* blend, const PLACEMENT& at) {
  const GRAPH_CORNER& c = piece.corners[corner];
  SENT_CORNER s = {at.originX + at.scaleX * c.x, at.originY + at.scaleY * c.y, c.u, c.v, 0.0f, 0.0f};
  float blendWidth = 1.0f, blendHeight = 1.0f;
  if (blend != nullptr) {
    // The blend graph's pixel under each graph pixel, counted from its own first texel so
    // that a blend graph cut from a larger image reads its own part.
    const GRAPH_CORNER& b = blend->corners[GRAPH_CORNER_TOP_LEFT];
    blendWidth = (float)blend->texture->width;
    blendHeight = (float)blend->texture->height;
    s.blendU = b.u + (c.x - b.x) / blendWidth;
    s.blendV = b.v + (c.y - b.y) / blendHeight;
  }
  if (at.clip) {
    const GRAPH_TEXTURE& t = *piece.texture;
    ClampAxis(&s.x, at.left, at.right, 1.0f / (at.scaleX * t.width), 1.0f / (at.scaleX * blendWidth), &s.u, &s.blendU);
    ClampAxis(&s.y, at.top, at.bottom, 1.0f / (at.scaleY * t.height), 1.0f / (at.scaleY * blendHeight), &s.v,
              &s.blendV);
  }
  return s;
}

// Appends one piece placed and, on request, clamped.
void AppendPieceQuad(const GRAPH_PIECE& piece, const GRAPH_PIECE* blend, const PLACEMENT& at) {
  SENT_CORNER c[4];
  for (int k = 0; k < 4; k++) c[k] = PlaceCorner(piece, k, blend, at);
  AppendSentQuad(c, blend != nullptr, 0);
}

// Every piece in order; the blend graph's pieces advance with the graph's when both have as
// many, else its first piece serves all.
void AppendGraphPieces(const GRAPH_RECORD* graph, const GRAPH_RECORD* blend, const PLACEMENT& at) {
  for (int i = 0; i < graph->pieceCount; i++) {
    const GRAPH_PIECE* blendPiece = nullptr;
    if (blend != nullptr) blendPiece = &blend->pieces[blend->pieceCount == graph->pieceCount ? i : 0];
    BindPieceTextures(graph->pieces[i], blendPiece);
    AppendPieceQuad(graph->pieces[i], blendPiece, at);
  }
}

// Where the pixel rectangle [left, right) x [top, bottom) stands against the draw area:
// 1 inside, 0 crossing an edge, -1 entirely outside.
int PlaceAgainstArea(int left, int top, int right, int bottom) {
  const RECT& a = DrawSettings.drawArea;
  if (left >= a.left && top >= a.top && right <= a.right && bottom <= a.bottom) return 1;
  if (right <= a.left || left >= a.right || bottom <= a.top || top >= a.bottom) return -1;
  return 0;
}

// Draws the graph at the placement, clamped to the float draw area moved by `inset` when it
// crosses the area's edges.
int DrawPlacedGraph(const GRAPH_RECORD* graph, const GRAPH_RECORD* blend, PLACEMENT at, const RECT& pixels, int flags,
                    float inset) {
  int where = PlaceAgainstArea(pixels.left, pixels.top, pixels.right, pixels.bottom);
  if (where < 0) return 0;
  at.clip = where == 0;
  const float* area = DrawSettings.drawAreaF;
  at.left = area[0] + inset, at.top = area[1] + inset, at.right = area[2] + inset, at.bottom = area[3] + inset;
  PrepareGraphDraw(graph, flags);
  AppendGraphPieces(graph, blend, at);
  return 0;
}
}  // namespace

void AppendSentQuad(const SENT_CORNER corners[4], int blended, int mirrored) {
  int type = VertexBatch.vertexType;
  if (type != 1 && !(type == 2 && blended)) return;
  static const int kOrder[2][6] = {{GRAPH_CORNER_TOP_LEFT, GRAPH_CORNER_TOP_RIGHT, GRAPH_CORNER_BOTTOM_LEFT,
                                    GRAPH_CORNER_BOTTOM_RIGHT, GRAPH_CORNER_BOTTOM_LEFT, GRAPH_CORNER_TOP_RIGHT},
                                   {GRAPH_CORNER_TOP_LEFT, GRAPH_CORNER_BOTTOM_LEFT, GRAPH_CORNER_TOP_RIGHT,
                                    GRAPH_CORNER_BOTTOM_RIGHT, GRAPH_CORNER_TOP_RIGHT, GRAPH_CORNER_BOTTOM_LEFT}};
  const float z = DrawSettings.z2DValue;
  void* out = ReserveBatchVertices(0, D3DPT_TRIANGLELIST, 6);
  for (int i = 0; i < 6; i++) {
    const SENT_CORNER& s = corners[kOrder[mirrored ? 1 : 0][i]];
    if (type == 1) {
      VERTEX_2D_TEX& v = ((VERTEX_2D_TEX*)out)[i];
      v.x = s.x, v.y = s.y, v.z = z, v.u = s.u, v.v = s.v;
      if (i == 0 || i == 3) v.diffuse = PackedDiffuseColor;
    } else {
      // The blend set-up samples the graph's texture with the first pair and the blend
      // graph with the second, in the stage set-ups and the built-in shaders alike.
      VERTEX_2D_TEX2& v = ((VERTEX_2D_TEX2*)out)[i];
      v.x = s.x, v.y = s.y, v.z = z, v.u1 = s.u, v.v1 = s.v, v.u2 = s.blendU, v.v2 = s.blendV;
      if (i == 0 || i == 3) v.diffuse = PackedDiffuseColor;
    }
  }
  CommitBatchVertices(6);
}

void BindPieceTextures(const GRAPH_PIECE& piece, const GRAPH_PIECE* blend) {
  int changed = 0;
  if (DeviceStateCache.texture != piece.texture->texture) {
    SetDeviceTexture(piece.texture->texture);
    changed = 1;
  }
  if (blend != nullptr) {
    const GRAPH_TEXTURE& t = *blend->texture;
    if (DeviceStateCache.blendGraphTexture != t.texture || DeviceStateCache.blendGraphWidth != (float)t.width ||
        DeviceStateCache.blendGraphHeight != (float)t.height) {
      SetDeviceBlendGraphTexture(t.texture, t.width, t.height);
      changed = 1;
    }
  }
  if (changed) ApplyBlendStageStates(1, nullptr, 0);
}

void PrepareGraphDraw(const GRAPH_RECORD* graph, int flags) {
  if (!StateFlags.sceneOpen) BeginDeviceScene();
  if (graph->imageSet->desc.alpha) flags |= DRAW_TEXTURE_ALPHA;
  if (graph->imageSet->desc.alphaTest) flags |= DRAW_TEXTURE_ALPHA_TEST;
  IDirect3DBaseTexture9* first = graph->pieces[0].texture->texture;
  if (StateFlags.stateChanged || DeviceStateCache.lastTexture != first || DeviceStateCache.lastFlags != flags)
    PrepareDrawStates(first, flags);
}

int DrawGraphHardware(GRAPH_RECORD* blend, int x, int y, float xf, float yf, GRAPH_RECORD* graph, int flags) {
  if (!HasDirect3DDevice()) return -1;
  PLACEMENT at = {xf - 0.5f, yf - 0.5f, 1.0f, 1.0f, 0, 0, 0, 0, 0};
  RECT pixels = {x, y, x + graph->width, y + graph->height};
  return DrawPlacedGraph(graph, blend, at, pixels, flags, 0.0f);
}

int DrawGraphStretchedHardware(int x1, int y1, int x2, int y2, float x1f, float y1f, float x2f, float y2f,
                               GRAPH_RECORD* graph, GRAPH_RECORD* blend, int transparent, int integerCall) {
  if (x1 == x2 || y1 == y2) return -1;
  if (!HasDirect3DDevice()) return -1;
  int flags =
      (transparent ? DRAW_TRANSPARENT : 0) | (integerCall && DrawSettings.filterMode != 1 ? DRAW_PIXEL_EXACT : 0);
  // A negative scale mirrors: the corners run from the first point toward the second.
  PLACEMENT at = {x1f - 0.5f, y1f - 0.5f, (x2f - x1f) / graph->width, (y2f - y1f) / graph->height, 0, 0, 0, 0, 0};
  RECT pixels = {x1 < x2 ? x1 : x2, y1 < y2 ? y1 : y2, x1 < x2 ? x2 : x1, y1 < y2 ? y2 : y1};
  return DrawPlacedGraph(graph, blend, at, pixels, flags, -0.5f);
}
