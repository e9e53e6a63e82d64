#include "graphics/draw/draw2d.h"

#include <d3d9.h>

#include <cmath>

#include "core/memory.h"
#include "graphics/device/d3d_calls.h"
#include "graphics/device/device.h"
#include "graphics/draw/draw2d_hw.h"
#include "graphics/device/draw_prepare.h"
#include "graphics/device/draw_settings.h"
#include "graphics/device/screen.h"
#include "graphics/software/software_draw.h"
#include "graphics/device/state_cache.h"
#include "korvel.h"
#include "system/base/pump.h"
#include "system/base/window_state.h"

namespace {
enum SHAPE { SHAPE_FILL, SHAPE_OUTLINE, SHAPE_LINE };

int savedBrightness;
int savedBlendParam;

// The back end of one shape: the vertex batch with a device, the CPU kernels without.
int DrawShape(SHAPE shape, int x1, int y1, int x2, int y2, unsigned int color) {
  if (!ScreenState.hardwareRendering) {
    switch (shape) {
      case SHAPE_FILL: return FillBoxSoftware(x1, y1, x2, y2, color);
      case SHAPE_OUTLINE: return DrawBoxOutlineSoftware(x1, y1, x2, y2, color);
      case SHAPE_LINE: return DrawLineSoftware(x1, y1, x2, y2, color);
    }
    return -1;
  }
  switch (shape) {
    case SHAPE_FILL: return FillBoxHardware(x1, y1, x2, y2, color);
    case SHAPE_OUTLINE: return DrawBoxOutlineHardware(x1, y1, x2, y2, color);
    case SHAPE_LINE: return DrawLineHardware(x1, y1, x2, y2, color);
  }
  return -1;
}

// Draws a white box of the rectangle in blend mode 3, which inverts what lies under it.
void InvertRect(const RECT* rect) {
  savedBrightness = (int)DrawSettings.brightness;
  StoreDrawBrightness(0x00FFFFFF);
  SelectBlendMode(3, 255);
  FillBoxHardware(rect->left, rect->top, rect->right, rect->bottom, PackScreenColor(255, 255, 255));
  StoreDrawBrightness((DWORD)savedBrightness);
}

// The frame shared by boxes and lines: nothing in an empty area, a wait while the window is
// inactive, then the masked region and the subtractive-blend emulation around the draw.
int RunShapeFrame(SHAPE shape, int x1, int y1, int x2, int y2, unsigned int color, const RECT& affected) {
  if (DrawSettings.emptyDrawArea) return 0;
  if (!WindowState.active) WaitWhileInactive();
  return RunMaskedAndEmulated(affected, NeedsSubtractEmulation(ScreenState.hardwareRendering),
                              [&]() { return DrawShape(shape, x1, y1, x2, y2, color); });
}

int Min(int a, int b) { return a < b ? a : b; }
int Max(int a, int b) { return a < b ? b : a; }

// Toward zero, kept inside the long range (a float beyond it has no integer meaning).
LONG TruncateToLong(float value) {
  if (!(value > -2147483000.0f)) return -2147483000;
  return value < 2147483000.0f ? (LONG)value : 2147483000;
}
}  // namespace

int NeedsSubtractEmulation(int reachesDevice) {
  return DrawSettings.blendMode == 3 && !DeviceCaps.blendOperation && reachesDevice;
}

int BeginSubtractBlendEmulation(const RECT* rect) {
  savedBlendParam = DrawSettings.blendParam;
  InvertRect(rect);
  SelectBlendMode(5, savedBlendParam);
  return 0;
}

int EndSubtractBlendEmulation(const RECT* rect) {
  int param = savedBlendParam;
  InvertRect(rect);
  SelectBlendMode(3, param);
  return 0;
}

int DrawRectangle(int x1, int y1, int x2, int y2, unsigned int color, int fill) {
  return fill ? DrawFilledBox(x1, y1, x2, y2, color) : DrawBoxOutline(x1, y1, x2, y2, color);
}

int DrawFilledBox(int x1, int y1, int x2, int y2, unsigned int color) {
  RECT affected = {x1, y1, x2, y2};
  return RunShapeFrame(SHAPE_FILL, x1, y1, x2, y2, color, affected);
}

int DrawBoxOutline(int x1, int y1, int x2, int y2, unsigned int color) {
  RECT affected = {x1, y1, x2, y2};
  return RunShapeFrame(SHAPE_OUTLINE, x1, y1, x2, y2, color, affected);
}

int DrawLineSegment(int x1, int y1, int x2, int y2, unsigned int color, int thickness) {
  if (thickness > 1) return DrawThickLine(color, x1, y1, x2, y2, thickness);
  RECT affected = {Min(x1, x2), Min(y1, y2), Max(x1, x2) + 1, Max(y1, y2) + 1};
  return RunShapeFrame(SHAPE_LINE, x1, y1, x2, y2, color, affected);
}

int DrawThickLine(unsigned int color, int x1, int y1, int x2, int y2, int thickness) {
  if (thickness <= 1) return DrawLineSegment(x1, y1, x2, y2, color, 1);
  int half = thickness / 2;
  if (thickness % 2 == 1) {
    if (x1 == x2) return DrawFilledBox(x1 - half, y1, x1 + thickness - half, y2, color);
    if (y1 == y2) return DrawFilledBox(x1, y1 - half, x2, y1 + thickness - half, color);
  }
  // A line of no length has no direction to widen it along: nothing to draw.
  if (x1 == x2 && y1 == y2) return 0;
  double length = std::sqrt((double)(x2 - x1) * (x2 - x1) + (double)(y2 - y1) * (y2 - y1));
  float scale = (float)(thickness * 0.5 / length);
  float ox = (float)(y2 - y1) * scale, oy = -(float)(x2 - x1) * scale;
  const float px[4] = {x1 + ox, x2 + ox, x1 - ox, x2 - ox};
  const float py[4] = {y1 + oy, y2 + oy, y1 - oy, y2 - oy};
  if (!ScreenState.hardwareRendering) {
    // The quad as two flat triangles of the CPU renderer, framed as the other shapes are.
    POINT quad[4];
    for (int i = 0; i < 4; i++) quad[i] = {TruncateToLong(px[i]), TruncateToLong(py[i])};
    RECT affected = {quad[0].x, quad[0].y, quad[0].x + 1, quad[0].y + 1};
    for (const POINT& p : quad) {
      affected.left = Min(affected.left, p.x), affected.top = Min(affected.top, p.y);
      affected.right = Max(affected.right, p.x + 1), affected.bottom = Max(affected.bottom, p.y + 1);
    }
    if (DrawSettings.emptyDrawArea) return 0;
    if (!WindowState.active) WaitWhileInactive();
    return RunMaskedAndEmulated(affected, 0, [&]() { return DrawQuadSoftware(quad, color, 1); });
  }
  int red = 0, green = 0, blue = 0;
  UnpackScreenColor(color, &red, &green, &blue);
  VERTEX_2D_UV quad[4];
  for (int i = 0; i < 4; i++) {
    quad[i].x = px[i];
    quad[i].y = py[i];
    quad[i].u = quad[i].v = 0.0f;
    quad[i].red = (unsigned char)red;
    quad[i].green = (unsigned char)green;
    quad[i].blue = (unsigned char)blue;
    quad[i].alpha = 255;
  }
  return DrawUserVertices2D(quad, 4, D3DPT_TRIANGLESTRIP, -5, 0, 0);
}
