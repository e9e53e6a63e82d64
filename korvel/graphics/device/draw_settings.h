// The program's drawing choices (DRAW_SETTINGS): the public setters only store them and raise
// the state-changed flag; PrepareDrawStates brings the device in line before the next draw.
#pragma once
#include <windows.h>

#include "graphics/device/camera.h"
#include "graphics/device/lights.h"

struct Z_SETTINGS {
  int enable, write, func, depthBias;
};

struct DRAW_SETTINGS {
  int (*restoreCallback)();
  // Draw target and area (kept by the draw-target module).
  int drawTarget;  // render-target slot 0
  int renderTargetSlots[16];  // slots 1-15: extra render targets (graph handles, none 0)
  int depthBufferGraph;       // graph whose depth surface serves drawing; any other value: none
  int targetWidth, targetHeight;
  RECT requestedArea;  // the four values last passed to SetDrawClipArea, as given
  RECT drawArea;
  float drawAreaF[4];
  int emptyDrawArea;
  // Projection settings (the camera keeps the matrices).
  int projectionKind;
  float nearZ, farZ, aspectScale, fieldOfView, orthoHeight, centreScale;
  Z_SETTINGS z2D, z3D;
  int fillMode;
  int cullMode;
  int addressU[8], addressV[8], addressW[8];
  int fogEnabled, fogMode;
  DWORD fogColor;
  float fogStart, fogEnd;
  float z2DValue;
  int filterMode, maxAnisotropy;
  int blendMode, blendParam;
  int blendGraph, borderParam, borderRange;
  int alphaTestMode, alphaTestRef;
  DWORD brightness;  // 0x00RRGGBB
  DWORD transparentColor;
  int noVSyncWait, startupVSyncWait, smallScreenEmulation;
  CAMERA_STATE camera;
  LIGHT_TABLE lights;
};

extern DRAW_SETTINGS DrawSettings;
// The vertex colour of 2D draws, kept equal to MakeDiffuseColor() on the hardware path.
extern DWORD PackedDiffuseColor;

int InitDrawSettings();
DWORD MakeDiffuseColor();
struct GRAPH_RECORD;
// 0 when a valid, finished blend graph is set and covers the graph's width and height; else -1.
int CheckBlendGraphCoverage(const GRAPH_RECORD* graph);
