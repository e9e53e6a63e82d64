// The frame around every 2D draw (empty area, inactive window, subtractive-blend emulation)
// and the caller-vertex draws the public functions share.
#pragma once
#include <windows.h>

// Caller vertex of DrawUserVertices2D: x, y, u, v, then the colour as blue, green, red, alpha.
struct VERTEX_2D_UV {
  float x, y, u, v;
  unsigned char blue, green, red, alpha;
};

int DrawUserVertices2D(const VERTEX_2D_UV* vertices, int n, int type, int graph, int transparent, int fit);
int BeginSubtractBlendEmulation(const RECT* rect);
int EndSubtractBlendEmulation(const RECT* rect);
