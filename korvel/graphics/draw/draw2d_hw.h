// The hardware back end of 2D drawing: rectangles, outlines and lines become untextured
// vertices appended to the vertex batch; caller vertex arrays are drawn at once.
#pragma once
#include <windows.h>
#include <d3d9.h>

#include "graphics/graphs/graph_records.h"
#include "graphics/device/vertex_batch.h"

int FillBoxHardware(int x1, int y1, int x2, int y2, unsigned int color);
int DrawBoxOutlineHardware(int x1, int y1, int x2, int y2, unsigned int color);
int DrawLineHardware(int x1, int y1, int x2, int y2, unsigned int color);
// Draws n caller vertices of one primitive type straight to the device (not batched),
// textured with the given piece of the graph, or untextured without a graph.
int DrawVertices2DDirect(int piece, int z3, const GRAPH_RECORD* graph, const VERTEX_2D_TEX* vertices, int n, int type,
                         int flags, int fill, int mirror);
// The vertex colour of an untextured draw: the packed screen colour scaled by the draw
// brightness, with the blend alpha of the packed diffuse colour.
DWORD MakeUntexturedColor(unsigned int color);
