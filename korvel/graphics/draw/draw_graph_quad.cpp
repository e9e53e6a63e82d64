// Graphs mapped onto quadrilaterals on the device: parallelogram pieces as one quad of the
// batch, other shapes as a grid of vertices, and blend-graph quads as two triangles per piece.
#include <d3d9.h>

#include <cmath>

#include "graphics/device/d3d_calls.h"
#include "graphics/draw/draw_graph_hw.h"
#include "graphics/device/draw_prepare.h"
#include "graphics/device/draw_settings.h"
#include "graphics/device/present.h"
#include "graphics/device/state_cache.h"
#include "graphics/device/vertex_batch.h"

namespace {
enum {
  TL = GRAPH_CORNER_TOP_LEFT,
  TR = GRAPH_CORNER_TOP_RIGHT,
  BL = GRAPH_CORNER_BOTTOM_LEFT,
  BR = GRAPH_CORNER_BOTTOM_RIGHT
};

float Cross(QUAD_POINT o, QUAD_POINT a, QUAD_POINT b) { return (a.x - o.x) * (b.y - o.y) - (a.y - o.y) * (b.x - o.x); }

QUAD_POINT Lerp(QUAD_POINT a, QUAD_POINT b, float t) { return {a.x + (b.x - a.x) * t, a.y + (b.y - a.y) * t}; }

// The point of the quad at the graph-relative fraction (fx, fy), placed bilinearly.
QUAD_POINT PlaceBilinear(const QUAD_POINT q[4], float fx, float fy) {
  return Lerp(Lerp(q[TL], q[BL], fy), Lerp(q[TR], q[BR], fy), fx);
}

// An 8 x 8 grid over the piece, placed bilinearly, drawn at once. Texture edges inside the
// texture move inward by a thousandth of a pixel so that the grid never samples a neighbour.
int DrawPieceGrid(const GRAPH_PIECE& piece, const QUAD_POINT q[4]) {
  static VERTEX_2D_TEX grid[64];
  const GRAPH_TEXTURE& t = *piece.texture;
  float uL = piece.corners[TL].u, uR = piece.corners[TR].u, vT = piece.corners[TL].v, vB = piece.corners[BL].v;
  const float du = 0.001f / t.width, dv = 0.001f / t.height;
  if (uL >= 1e-6f) uL += du;
  if (uR <= 0.99999f) uR -= du;
  if (vT >= 1e-6f) vT += dv;
  if (vB <= 0.99999f) vB -= dv;
  for (int r = 0; r < 8; r++) {
    QUAD_POINT left = Lerp(q[TL], q[BL], r / 7.0f), right = Lerp(q[TR], q[BR], r / 7.0f);
    for (int c = 0; c < 8; c++) {
      VERTEX_2D_TEX& v = grid[r * 8 + c];
      QUAD_POINT p = Lerp(left, right, c / 7.0f);
      v.x = p.x, v.y = p.y, v.z = DrawSettings.z2DValue, v.rhw = 1.0f, v.diffuse = PackedDiffuseColor;
      v.u = uL + c * (uR - uL) / 7, v.v = vT + r * (vB - vT) / 7;
    }
  }
  return DrawIndexedGrid(8, grid, 8);
}

// Maps a graph corner through the triangle it belongs to: the top-left one (TL, TR, BL) for
// corners on or above the diagonal, else the bottom-right one (BR, BL, TR).
QUAD_POINT MapAffine(const GRAPH_RECORD* graph, const GRAPH_PIECE& piece, int k, const POINT q[4]) {
  const GRAPH_CORNER& c = piece.corners[k];
  float w = (float)graph->width, h = (float)graph->height;
  if (piece.cornerFlags[k])
    return {q[TL].x - 0.5f + c.x * (q[TR].x - q[TL].x) / w + c.y * (q[BL].x - q[TL].x) / h,
            q[TL].y - 0.5f + c.x * (q[TR].y - q[TL].y) / w + c.y * (q[BL].y - q[TL].y) / h};
  return {q[BR].x - 0.5f + (c.x - w) * (q[BR].x - q[BL].x) / w + (c.y - h) * (q[BR].x - q[TR].x) / h,
          q[BR].y - 0.5f + (c.x - w) * (q[BR].y - q[BL].y) / w + (c.y - h) * (q[BR].y - q[TR].y) / h};
}

// One piece as a strip of two triangles with both texture pairs, drawn at once.
void DrawAffinePiece(const GRAPH_RECORD* graph, const GRAPH_PIECE& piece, const GRAPH_PIECE& blend, const POINT q[4]) {
  BindPieceTextures(piece, &blend);
  VERTEX_2D_TEX2 v[4];
  QUAD_POINT at[4];
  const GRAPH_CORNER& b = blend.corners[TL];
  for (int k = 0; k < 4; k++) {
    at[k] = MapAffine(graph, piece, k, q);
    const GRAPH_CORNER& c = piece.corners[k];
    v[k].x = at[k].x, v[k].y = at[k].y, v[k].z = DrawSettings.z2DValue, v[k].rhw = 1.0f;
    v[k].diffuse = PackedDiffuseColor, v[k].specular = 0xFFFFFFFF;
    v[k].u1 = c.u, v[k].v1 = c.v;
    v[k].u2 = b.u + (c.x - b.x) / blend.texture->width, v[k].v2 = b.v + (c.y - b.y) / blend.texture->height;
  }
  float p = (at[BL].y - at[TL].y) * (at[TR].x - at[TL].x) - (at[TR].y - at[TL].y) * (at[BL].x - at[TL].x);
  float s = (at[TR].y - at[BR].y) * (at[BL].x - at[BR].x) - (at[BL].y - at[BR].y) * (at[TR].x - at[BR].x);
  if (p < 0 || (p == 0 && s <= 0)) {
    VERTEX_2D_TEX2 swap = v[TR];
    v[TR] = v[BL];
    v[BL] = swap;
  }
  const DWORD fvf = D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_SPECULAR | D3DFVF_TEX2;
  SendFVFIfChanged(fvf);
  if (!StateFlags.skipDraw) DeviceCalls.DeviceDrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, v, sizeof(VERTEX_2D_TEX2));
}
}  // namespace

int DrawGraphPieceQuad(const GRAPH_PIECE& piece, const QUAD_POINT q[4], int gridOff) {
  BindPieceTextures(piece, nullptr);
  int parallelogram = std::fabs((q[TR].x - q[TL].x) - (q[BR].x - q[BL].x)) < 1 &&
                      std::fabs((q[TR].y - q[TL].y) - (q[BR].y - q[BL].y)) < 1 &&
                      std::fabs((q[BL].x - q[TL].x) - (q[BR].x - q[TR].x)) < 1 &&
                      std::fabs((q[BL].y - q[TL].y) - (q[BR].y - q[TR].y)) < 1;
  if (!parallelogram && !gridOff) return DrawPieceGrid(piece, q);
  // Texture coordinates move inward by a sixteenth of a texel so that a quad's edge never
  // samples the texel beyond the piece.
  const float du = 0.0625f / piece.texture->width, dv = 0.0625f / piece.texture->height;
  const float inU[4] = {du, -du, du, -du}, inV[4] = {dv, dv, -dv, -dv};
  SENT_CORNER c[4];
  for (int k = 0; k < 4; k++)
    c[k] = {q[k].x, q[k].y, piece.corners[k].u + inU[k], piece.corners[k].v + inV[k], 0.0f, 0.0f};
  int mirrored = Cross(q[TL], q[TR], q[BL]) <= 0 && Cross(q[BR], q[BL], q[TR]) <= 0;
  AppendSentQuad(c, 0, mirrored);
  return 0;
}

int DrawGraphQuadHardware(const QUAD_POINT q[4], GRAPH_RECORD* graph, GRAPH_RECORD* blend, int transparent, int extra) {
  if (!HasDirect3DDevice()) return -1;
  if (blend != nullptr) {
    POINT corners[4];
    for (int k = 0; k < 4; k++) corners[k] = {(LONG)q[k].x, (LONG)q[k].y};
    return DrawGraphQuadAffine(graph, corners, blend, transparent ? DRAW_TRANSPARENT : 0, extra);
  }
  PrepareGraphDraw(graph, transparent ? DRAW_TRANSPARENT : 0);
  if (graph->pieceCount == 1) return DrawGraphPieceQuad(graph->pieces[0], q, 0);
  for (int i = 0; i < graph->pieceCount; i++) {
    const GRAPH_PIECE& piece = graph->pieces[i];
    QUAD_POINT placed[4];
    for (int k = 0; k < 4; k++)
      placed[k] = PlaceBilinear(q, piece.corners[k].x / graph->width, piece.corners[k].y / graph->height);
    DrawGraphPieceQuad(piece, placed, 0);
  }
  return 0;
}

int DrawGraphQuadAffine(GRAPH_RECORD* graph, const POINT q[4], GRAPH_RECORD* blend, int flags, int extra) {
  if (q[TL].x == q[BL].x && q[TR].x == q[BR].x && q[TL].y == q[TR].y && q[BL].y == q[BR].y)
    return DrawGraphStretchedHardware(q[TL].x, q[TL].y, q[BR].x, q[BR].y, (float)q[TL].x, (float)q[TL].y,
                                      (float)q[BR].x, (float)q[BR].y, graph, blend, flags & DRAW_TRANSPARENT, 1);
  if (blend == nullptr) {
    QUAD_POINT corners[4];
    for (int k = 0; k < 4; k++) corners[k] = {(float)q[k].x, (float)q[k].y};
    return DrawGraphQuadHardware(corners, graph, nullptr, flags & DRAW_TRANSPARENT, extra);
  }
  if (!HasDirect3DDevice()) return -1;
  FlushVertexBatch(0);
  PrepareGraphDraw(graph, flags | DRAW_PIXEL_EXACT);
  for (int i = 0; i < graph->pieceCount; i++)
    DrawAffinePiece(graph, graph->pieces[i], blend->pieces[blend->pieceCount == graph->pieceCount ? i : 0], q);
  return 0;
}
