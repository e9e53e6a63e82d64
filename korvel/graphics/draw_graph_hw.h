// The hardware back end of graph draws: every texture piece of a graph becomes one textured
// quad of six vertices in the vertex batch, clamped to the draw area when the graph crosses it.
#pragma once
#include "graphics/graph_records.h"

// The graph's top-left at (x, y); the floats place it, the ints decide the clipping.
int DrawGraphHardware(GRAPH_RECORD* blend, int x, int y, float xf, float yf, GRAPH_RECORD* graph, int flags);
// The graph stretched to (x1, y1)-(x2, y2); a corner pair in reverse order mirrors that axis.
int DrawGraphStretchedHardware(int x1, int y1, int x2, int y2, float x1f, float y1f, float x2f, float y2f,
                               GRAPH_RECORD* graph, GRAPH_RECORD* blend, int transparent, int integerCall);
