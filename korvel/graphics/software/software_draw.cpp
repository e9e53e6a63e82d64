#include "graphics/software/software_draw.h"

#include <utility>

#include "graphics/device/d3d_calls.h"
#include "graphics/device/draw_settings.h"
#include "graphics/graphs/graph_handles.h"
#include "graphics/device/main_thread_calls.h"
#include "graphics/device/screen.h"
#include "graphics/device/state_cache.h"
#include "image/memimg_draw_state.h"
#include "softrender/render_common.h"
#include "softrender/softrender.h"

MEMIMG* SoftwareTarget;
const MEMIMG* SoftwareBlendSource;

namespace {
int Clamp255(int value) { return value < 0 ? 0 : value > 255 ? 255 : value; }

// Corners this far from the origin keep the edge arithmetic below inside 64 bits.
const LONG kTriangleLimit = 1 << 28;

long long FloorDiv(long long n, long long d) { return n >= 0 ? n / d : -((-n + d - 1) / d); }

// The first pixel column whose centre lies at or right of the edge a-b on row y (a above b):
// ceil(edge x at y + 0.5, minus 0.5), in exact integers so that both triangles of a shared
// edge split its pixels the same way.
long long EdgeColumn(const POINT& a, const POINT& b, int y) {
  long long dy = (long long)b.y - a.y, dx = (long long)b.x - a.x;
  long long n = 2 * (long long)a.x * dy + (2LL * y + 1 - 2LL * a.y) * dx - dy;
  return -FloorDiv(-n, 2 * dy);
}

// A flat triangle as rows of the fill kernel, which applies the clip, blend mode and tint: a
// pixel is drawn when its centre lies inside, or on a left or top edge, so two triangles that
// share an edge never draw a pixel twice.
void FillFlatTriangle(POINT p0, POINT p1, POINT p2, unsigned int color) {
  for (const POINT& p : {p0, p1, p2})
    if (p.x < -kTriangleLimit || p.x > kTriangleLimit || p.y < -kTriangleLimit || p.y > kTriangleLimit) return;
  if (!IsMemImgValid(SoftwareTarget)) return;
  // Sorted top to bottom (then left to right, so that a shared edge is always walked alike).
  auto above = [](const POINT& a, const POINT& b) { return a.y < b.y || (a.y == b.y && a.x < b.x); };
  if (above(p1, p0)) std::swap(p0, p1);
  if (above(p2, p1)) std::swap(p1, p2);
  if (above(p1, p0)) std::swap(p0, p1);
  RECT bounds = GetDrawBounds(SoftwareTarget);
  int top = p0.y > bounds.top ? p0.y : bounds.top;
  int bottom = p2.y < bounds.bottom ? p2.y : bounds.bottom;
  for (int y = top; y < bottom; y++) {
    long long a = EdgeColumn(p0, p2, y);
    long long b = y < p1.y ? EdgeColumn(p0, p1, y) : EdgeColumn(p1, p2, y);
    long long left = a < b ? a : b, right = a < b ? b : a;
    if (left < bounds.left) left = bounds.left;
    if (right > bounds.right) right = bounds.right;
    if (left >= right) continue;
    const RECT row = {(LONG)left, y, (LONG)right, y + 1};
    MEMIMGFillRect(SoftwareTarget, &row, color);
  }
}

MEMIMG_LINE MakeLine(int x1, int y1, int x2, int y2, unsigned int color) {
  return MEMIMG_LINE{x1, y1, x2, y2, color, DrawSettings.blendParam};
}
}  // namespace

int BlitGraphSoftware(int x, int y, GRAPH_RECORD* graph, int transparent) {
  MEMIMGBlit(SoftwareTarget, &graph->memImg, x, y, transparent, SoftwareBlendSource);
  return 0;
}

int StretchGraphSoftware(int x1, int y1, int x2, int y2, GRAPH_RECORD* graph, int transparent) {
  const RECT corners = {x1, y1, x2, y2};
  MEMIMGStretchBlit(SoftwareTarget, &graph->memImg, &corners, transparent, SoftwareBlendSource);
  return 0;
}

int DrawGraphQuadSoftware(const float corners[8], GRAPH_RECORD* graph, int transparent) {
  POINT points[4];
  for (int i = 0; i < 4; i++) points[i] = {(LONG)corners[i * 2], (LONG)corners[i * 2 + 1]};
  return DrawGraphTrianglesSoftware(graph, points, transparent);
}

// Two textured triangles (TL, TR, BL) and (TR, BL, BR) need the CPU triangle kernel, which
// is not part of this build: the quad draws nothing, as a kernel that refuses it would.
int DrawGraphTrianglesSoftware(GRAPH_RECORD* graph, const POINT corners[4], int transparent) {
  (void)graph, (void)corners, (void)transparent;
  return 0;
}

int FillBoxSoftware(int x1, int y1, int x2, int y2, unsigned int color) {
  const RECT rect = {x1, y1, x2, y2};
  MEMIMGFillRect(SoftwareTarget, &rect, color);
  return 0;
}

int DrawLineSoftware(int x1, int y1, int x2, int y2, unsigned int color) {
  MEMIMGLine(SoftwareTarget, x1, y1, x2, y2, color);
  return 0;
}

int DrawBoxOutlineSoftware(int x1, int y1, int x2, int y2, unsigned int color) {
  // End points inclusive, corners as given: each corner pixel ends two of the lines.
  const MEMIMG_LINE lines[4] = {MakeLine(x1, y1, x2 - 1, y1, color), MakeLine(x2 - 1, y1, x2 - 1, y2 - 1, color),
                                MakeLine(x2 - 1, y2 - 1, x1, y2 - 1, color), MakeLine(x1, y2 - 1, x1, y1, color)};
  MEMIMGLineList(SoftwareTarget, lines, 4);
  return 0;
}

int DrawQuadSoftware(const POINT corners[4], unsigned int color, int filled) {
  if (filled) {
    FillFlatTriangle(corners[0], corners[1], corners[2], color);
    FillFlatTriangle(corners[3], corners[2], corners[1], color);
    return 0;
  }
  MEMIMG_LINE lines[4];
  for (int i = 0; i < 4; i++) {
    const POINT& a = corners[i];
    const POINT& b = corners[(i + 1) % 4];
    lines[i] = MakeLine(a.x, a.y, b.x, b.y, color);
  }
  MEMIMGLineList(SoftwareTarget, lines, 4);
  return 0;
}

int FillGraphWithColor(HANDLE_VALUE handle, int red, int green, int blue, int alpha, int onWorker) {
  GRAPH_RECORD* g = GetGraphRecord(handle, onWorker);
  if (g == nullptr || g->imageSet == nullptr) return -1;
  red = Clamp255(red), green = Clamp255(green), blue = Clamp255(blue), alpha = Clamp255(alpha);
  GRAPH_IMAGE_SET* set = g->imageSet;
  if (!set->desc.heldAsTextures) {
    // The colour is packed in the graph's own pixel format, which need not be the screen's, and
    // the whole graph is written as it is (no draw area, blend or brightness), as the device's
    // colour fill of a texture graph does.
    if (!IsMemImgValid(&g->memImg)) return -1;
    const MEMIMG_STORE* store = g->memImg.store;
    FillMemImgRectRaw(&g->memImg, nullptr,
                      PackColorCode(store->format, (unsigned)red, (unsigned)green, (unsigned)blue, (unsigned)alpha));
    return 0;
  }
  if (!HasDirect3DDevice()) return -1;
  if (!set->desc.drawable) return 0;
  D3DCOLOR color = (D3DCOLOR)alpha << 24 | (D3DCOLOR)red << 16 | (D3DCOLOR)green << 8 | (D3DCOLOR)blue;
  for (int i = 0; i < g->pieceCount; i++) {
    const GRAPH_PIECE& p = g->pieces[i];
    if (p.texture == nullptr || p.texture->surface == nullptr) continue;
    RECT rect = {p.textureX, p.textureY, p.textureX + p.width, p.textureY + p.height};
    ColorFillOnMainThread(p.texture->surface, &rect, color, onWorker);
  }
  return 0;
}

int SetDrawBrightPacked(DWORD value) {
  value &= 0x00FFFFFF;
  if (value == DrawSettings.brightness) return 0;
  DrawSettings.brightness = value;
  SetMemImgTint(value);
  StateFlags.stateChanged = 1;
  if (ScreenState.hardwareRendering) PackedDiffuseColor = MakeDiffuseColor();
  return 0;
}
