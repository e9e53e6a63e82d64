// Draw targets, the draw area with its device viewport and scissor, clearing, and the flip
// that ends a frame.
#pragma once
#include <windows.h>
#include <d3d9.h>

#include "graphics/graphs/graph_records.h"
#include "graphics/graphs/graph_textures.h"  // GetGraphOrScreenSize

#include "korvel.h"

int CopyBackBufferToSubBackBuffer();
int RefreshWindowFromBackBuffer();
int FlipScreenBuffersEx(const RECT* rect);
// 1 while a flip runs (the inactive-window wait lets it finish).
int IsFlipInProgress();
// The graph of a handle when it is finished and can be drawn into; else null.
GRAPH_RECORD* GetDrawableGraph(int handle);
// The surface a drawable graph with device textures is drawn into: its multisample surface,
// else its first texture's level 0.
IDirect3DSurface9* GetGraphTargetSurface(GRAPH_RECORD* graph);
// The surface screen targets draw into: the sub back buffer once it exists, else the back buffer.
IDirect3DSurface9* ScreenTargetSurface();
// Unbinds the stage-0 texture before a render-target change.
void UnbindStageTexture();
// SelectDrawTarget and SelectDepthBufferGraph, with the wait while the window is inactive only
// when waitWhileInactive is set.
int SelectDrawTargetEx(int target, int waitWhileInactive);
int SelectDepthBufferGraphEx(int graph, int waitWhileInactive);
// A graph about to be deleted stops being drawn into: as the draw target the front screen
// (-4) takes its place, render-target slots holding it are emptied, and as the depth-buffer
// graph it gives way to -2, all without waiting for an inactive window (the caller holds the
// graph type's lock).
void ForgetDeletedDrawTarget(int graph);
