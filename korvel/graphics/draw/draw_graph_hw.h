// The hardware back end of graph draws: every texture piece of a graph becomes one textured
// quad of six vertices in the vertex batch, clamped to the draw area when the graph crosses it.
#pragma once
#include "graphics/graphs/graph_records.h"

// The graph's top-left at (x, y); the floats place it, the ints decide the clipping.
int DrawGraphHardware(GRAPH_RECORD* blend, int x, int y, float xf, float yf, GRAPH_RECORD* graph, int flags);
// The graph stretched to (x1, y1)-(x2, y2); a corner pair in reverse order mirrors that axis.
int DrawGraphStretchedHardware(int x1, int y1, int x2, int y2, float x1f, float y1f, float x2f, float y2f,
                               GRAPH_RECORD* graph, GRAPH_RECORD* blend, int transparent, int integerCall);

// Corners are given top-left, top-right, bottom-left, bottom-right as (x, y) pairs.
struct QUAD_POINT {
  float x, y;
};
// The graph mapped onto a quadrilateral.
int DrawGraphQuadHardware(const QUAD_POINT corners[4], GRAPH_RECORD* graph, GRAPH_RECORD* blend, int transparent,
                          int extra);
// The same with integer corners; with a blend graph each piece is drawn at once as two triangles.
int DrawGraphQuadAffine(GRAPH_RECORD* graph, const POINT corners[4], GRAPH_RECORD* blend, int flags, int extra);
// One piece onto a quadrilateral: one quad for a parallelogram, else an 8 x 8 grid.
int DrawGraphPieceQuad(const GRAPH_PIECE& piece, const QUAD_POINT corners[4], int gridOff);

// What the graph draws share.
// One corner as sent: position, the piece's texture coordinates and the blend graph's.
struct SENT_CORNER {
  float x, y, u, v, blendU, blendV;
};
// Appends the quad of four corners (TL, TR, BL, BR) as the six vertices TL, TR, BL, BR, BL, TR
// (mirrored: TL, BL, TR, BR, TR, BL) in the batch's vertex type, one texture or two with the
// blend pair, the draw colour on the first vertex of each triangle; other types append nothing.
void AppendSentQuad(const SENT_CORNER corners[4], int blended, int mirrored);
// Binds the piece's texture (and the blend piece's) where the device holds others; a change
// flushes what the batch holds for the previous ones.
void BindPieceTextures(const GRAPH_PIECE& piece, const GRAPH_PIECE* blend);
// Opens the scene and prepares the device for the graph's first texture and its alpha.
void PrepareGraphDraw(const GRAPH_RECORD* graph, int flags);
