// The draw state around a filter run: saved and set to the filter state (no lighting, fog, 3D
// Z test or depth surface, source-copy blending, bilinear sampling, an alpha test that passes
// everything, render target 0 alone), and put back afterwards.
#pragma once
#include <d3d9.h>

struct FILTER_SAVED_DRAW_STATE {
  IDirect3DSurface9* renderTargets[16];
  IDirect3DSurface9* depthStencil;  // a reference of its own, released by the restore
  int blendMode, blendParam;
  int alphaTestMode, alphaTestRef;
  int zEnable3D;
  int filterMode;
  int fog;  // the program's fog setting
  int lighting;
};

void SaveFilterDrawState(FILTER_SAVED_DRAW_STATE* saved);
void RestoreFilterDrawState(FILTER_SAVED_DRAW_STATE* saved);
