// The software back end of 2D drawing: with no Direct3D device every draw becomes one call of
// a CPU kernel into the software target MEMIMG, under the options of MEMIMG_DRAW_STATE.
// Also the two helpers both paths share: filling a whole graph with one colour and setting
// the draw brightness from one packed value.
#pragma once
#include <windows.h>

#include "graphics/graphs/graph_records.h"
#include "image/memimg.h"

// The MEMIMG the kernels draw into (the screen's, a graph's or the mask screen's), and the
// blend graph's MEMIMG or null.
extern MEMIMG* SoftwareTarget;
extern const MEMIMG* SoftwareBlendSource;

int BlitGraphSoftware(int x, int y, GRAPH_RECORD* graph, int transparent);
// Swapped corners mirror.
int StretchGraphSoftware(int x1, int y1, int x2, int y2, GRAPH_RECORD* graph, int transparent);
// Corners top-left, top-right, bottom-left, bottom-right as x, y pairs.
int DrawGraphQuadSoftware(const float corners[8], GRAPH_RECORD* graph, int transparent);
int DrawGraphTrianglesSoftware(GRAPH_RECORD* graph, const POINT corners[4], int transparent);
int FillBoxSoftware(int x1, int y1, int x2, int y2, unsigned int color);
int DrawLineSoftware(int x1, int y1, int x2, int y2, unsigned int color);
int DrawBoxOutlineSoftware(int x1, int y1, int x2, int y2, unsigned int color);
int DrawQuadSoftware(const POINT corners[4], unsigned int color, int filled);
int FillGraphWithColor(HANDLE_VALUE graph, int red, int green, int blue, int alpha, int onWorker);
int SetDrawBrightPacked(DWORD value);
