#include "graphics/software/software_draw.h"

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

// Toward zero, kept inside the int range (a float beyond it has no integer meaning).
int TruncateCorner(float value) {
  if (!(value > -2147483000.0f)) return -2147483000;
  return value < 2147483000.0f ? (int)value : 2147483000;
}

MEMIMG_VERTEX Corner(const POINT& p, int u, int v) { return MEMIMG_VERTEX{(int)p.x, (int)p.y, u, v}; }

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
  for (int i = 0; i < 4; i++) points[i] = {TruncateCorner(corners[i * 2]), TruncateCorner(corners[i * 2 + 1])};
  return DrawGraphTrianglesSoftware(graph, points, transparent);
}

// Two textured triangles (TL, TR, BL) and (TR, BL, BR) over the whole graph.
int DrawGraphTrianglesSoftware(GRAPH_RECORD* graph, const POINT corners[4], int transparent) {
  const int w = graph->width, h = graph->height;
  const MEMIMG_VERTEX tl = Corner(corners[0], 0, 0), tr = Corner(corners[1], w, 0), bl = Corner(corners[2], 0, h),
                      br = Corner(corners[3], w, h);
  const MEMIMG_VERTEX first[3] = {tl, tr, bl}, second[3] = {tr, bl, br};
  MEMIMGTriangle(SoftwareTarget, &graph->memImg, first, transparent, SoftwareBlendSource, 0);
  MEMIMGTriangle(SoftwareTarget, &graph->memImg, second, transparent, SoftwareBlendSource, 0);
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
    const MEMIMG_VERTEX first[3] = {Corner(corners[0], 0, 0), Corner(corners[1], 0, 0), Corner(corners[2], 0, 0)};
    const MEMIMG_VERTEX second[3] = {Corner(corners[3], 0, 0), Corner(corners[2], 0, 0), Corner(corners[1], 0, 0)};
    MEMIMGTriangle(SoftwareTarget, nullptr, first, 0, SoftwareBlendSource, color);
    MEMIMGTriangle(SoftwareTarget, nullptr, second, 0, SoftwareBlendSource, color);
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
  SetMemImgTint(value);
  StoreDrawBrightness(value);
  return 0;
}
