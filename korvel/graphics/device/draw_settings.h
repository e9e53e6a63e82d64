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
// Unset (0) texture address modes of the eight samplers become clamp.
void DefaultAddressModesToClamp();
// The draw brightness (0x00RRGGBB): a change marks the draw states and, on the hardware path,
// renews the packed vertex colour. 1 when it changed.
int StoreDrawBrightness(DWORD brightness);

// The fields the draw-target, camera and restore functions keep here. Each only stores (the
// callers bring the device in line); inline, since a graph draw narrows the area per draw.
inline void StoreDrawTarget(int target, int width, int height) {
  DrawSettings.drawTarget = target;
  DrawSettings.targetWidth = width;
  DrawSettings.targetHeight = height;
}
inline void StoreRequestedDrawArea(const RECT& requested) { DrawSettings.requestedArea = requested; }
// The clamped draw area, with its float copy for the vertex clamps.
inline void StoreDrawArea(const RECT& area) {
  DrawSettings.drawArea = area;
  DrawSettings.drawAreaF[0] = (float)area.left;
  DrawSettings.drawAreaF[1] = (float)area.top;
  DrawSettings.drawAreaF[2] = (float)area.right;
  DrawSettings.drawAreaF[3] = (float)area.bottom;
}
inline void StoreEmptyDrawArea(int empty) { DrawSettings.emptyDrawArea = empty; }
inline void StoreRenderTargetSlot(int slot, int graph) { DrawSettings.renderTargetSlots[slot] = graph; }
inline void StoreDepthBufferGraph(int graph) { DrawSettings.depthBufferGraph = graph; }
// Sets the blend graph without marking a change and returns the one it replaces: text drawing
// switches it off around each glyph and gives it back.
inline int SwapBlendGraph(int graph) {
  int previous = DrawSettings.blendGraph;
  DrawSettings.blendGraph = graph;
  return previous;
}
inline void StoreRestoreCallback(int (*callback)()) { DrawSettings.restoreCallback = callback; }
// Projection choices; the camera rebuilds its matrix from them. Kind 0 perspective, 1
// orthographic, 2 the program's own matrix.
inline void StoreProjectionKind(int kind) { DrawSettings.projectionKind = kind; }
inline void StoreNearFar(float nearZ, float farZ) {
  DrawSettings.nearZ = nearZ;
  DrawSettings.farZ = farZ;
}
inline void StoreFieldOfView(float fieldOfView) { DrawSettings.fieldOfView = fieldOfView; }
inline void StoreAspectScale(float scale) { DrawSettings.aspectScale = scale; }
