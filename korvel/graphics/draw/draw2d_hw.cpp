#include "graphics/draw/draw2d_hw.h"

#include <d3d9.h>

#include "core/maths.h"
#include "graphics/device/d3d_calls.h"
#include "graphics/device/draw_prepare.h"
#include "graphics/device/draw_settings.h"
#include "graphics/device/present.h"
#include "graphics/device/state_cache.h"
#include "korvel.h"

namespace {
const int kUntexturedFlags = DRAW_MODULATE_COLOR;

// Opens the scene and brings the device states in line for an untextured draw. The outline
// and the line also unbind a stage-0 texture left by an earlier draw.
void PrepareUntextured(int unbindTexture) {
  if (!StateFlags.sceneOpen) BeginDeviceScene();
  if (unbindTexture && DeviceStateCache.texture != nullptr) {
    if (!StateFlags.forceSend) FlushVertexBatch(0);
    SetDeviceTexture(nullptr);
    MarkTextureStatesChanged();
  }
  if (StateFlags.stateChanged || DeviceStateCache.lastTexture != nullptr ||
      DeviceStateCache.lastFlags != kUntexturedFlags)
    PrepareDrawStates(nullptr, kUntexturedFlags);
  // Untextured vertices go to the untextured buffer whatever the last set-up chose.
  if (VertexBatch.vertexType != 0) {
    FlushVertexBatch(0);
    SelectBatchVertexType(0);
  }
}

// Writes one quad (L,T), (R,T), (L,B), (R,B), (L,B), (R,T) with the colour on the first
// vertex of each triangle.
void WriteQuad(VERTEX_2D* v, float left, float top, float right, float bottom, float z, DWORD color) {
  const float xs[6] = {left, right, left, right, left, right};
  const float ys[6] = {top, top, bottom, bottom, bottom, top};
  for (int i = 0; i < 6; i++) {
    v[i].x = xs[i];
    v[i].y = ys[i];
    v[i].z = z;
  }
  v[0].diffuse = color;
  v[3].diffuse = color;
}

// x / 255 truncated for 0 <= x <= 255 * 255, by a multiply and a shift.
DWORD DivideBy255(DWORD x) { return (x * 0x8081u) >> 23; }

}  // namespace

DWORD MakeUntexturedColor(unsigned int color) {
  int red = 0, green = 0, blue = 0;
  UnpackScreenColor(color, &red, &green, &blue);
  DWORD d = PackedDiffuseColor;
  DWORD r = (d >> 16) & 0xFF, g = (d >> 8) & 0xFF, b = d & 0xFF;
  return (d & 0xFF000000) | DivideBy255(r * (DWORD)red) << 16 | DivideBy255(g * (DWORD)green) << 8 |
         DivideBy255(b * (DWORD)blue);
}

int FillBoxHardware(int x1, int y1, int x2, int y2, unsigned int color) {
  if (!HasDirect3DDevice()) return -1;
  RECT box = {x1 < x2 ? x1 : x2, y1 < y2 ? y1 : y2, x1 < x2 ? x2 : x1, y1 < y2 ? y2 : y1};
  ClipRectToRect(&box, &DrawSettings.drawArea);
  if (box.left >= box.right || box.top >= box.bottom) return 0;
  PrepareUntextured(0);
  DWORD diffuse = MakeUntexturedColor(color);
  VERTEX_2D* v = (VERTEX_2D*)ReserveBatchVertices(0, D3DPT_TRIANGLELIST, 6);
  WriteQuad(v, (float)box.left, (float)box.top, (float)box.right, (float)box.bottom, DrawSettings.z2DValue, diffuse);
  CommitBatchVertices(6);
  return 0;
}

int DrawBoxOutlineHardware(int x1, int y1, int x2, int y2, unsigned int color) {
  if (!HasDirect3DDevice()) return -1;
  int l = x1 < x2 ? x1 : x2, r = x1 < x2 ? x2 : x1;
  int t = y1 < y2 ? y1 : y2, b = y1 < y2 ? y2 : y1;
  PrepareUntextured(1);
  DWORD diffuse = MakeUntexturedColor(color);
  float z = DrawSettings.z2DValue;
  VERTEX_2D* v = (VERTEX_2D*)ReserveBatchVertices(0, D3DPT_TRIANGLELIST, 24);
  WriteQuad(v, (float)l, (float)t, (float)r, (float)(t + 1), z, diffuse);                // top
  WriteQuad(v + 6, (float)(r - 1), (float)(t + 1), (float)r, (float)b, z, diffuse);      // right
  WriteQuad(v + 12, (float)l, (float)(t + 1), (float)(l + 1), (float)b, z, diffuse);     // left
  WriteQuad(v + 18, (float)(l + 1), (float)(b - 1), (float)(r - 1), (float)b, z, diffuse);  // bottom
  CommitBatchVertices(24);
  return 0;
}

int DrawLineHardware(int x1, int y1, int x2, int y2, unsigned int color) {
  if (!HasDirect3DDevice()) return -1;
  if (x1 == x2 && y1 == y2) return 0;
  PrepareUntextured(1);
  DWORD diffuse = MakeUntexturedColor(color);
  float endX = (float)x2, endY = (float)y2;
  // The last pixel of an axis-aligned line is left out, as the device's line rule does for
  // diagonal ones: pulling the end back keeps the rasteriser from rounding it in.
  if (x1 == x2) endY = y1 < y2 ? endY - 0.1f : endY + 0.1f;
  if (y1 == y2) endX = x1 < x2 ? endX - 0.1f : endX + 0.1f;
  VERTEX_2D* v = (VERTEX_2D*)ReserveBatchVertices(0, D3DPT_LINELIST, 2);
  v[0].x = (float)x1;
  v[0].y = (float)y1;
  v[1].x = endX;
  v[1].y = endY;
  v[0].z = v[1].z = DrawSettings.z2DValue;
  v[0].diffuse = v[1].diffuse = diffuse;
  CommitBatchVertices(2);
  return 0;
}

int DrawVertices2DDirect(int piece, int z3, const GRAPH_RECORD* graph, const VERTEX_2D_TEX* vertices, int n, int type,
                         int flags, int fill, int mirror) {
  (void)mirror;  // only the quad fill, which no caller asks for, reads it
  if (!HasDirect3DDevice()) return -1;
  IDirect3DBaseTexture9* texture = nullptr;
  if (graph != nullptr) {
    if (piece < 0 || piece >= graph->pieceCount) return -1;
    texture = graph->pieces[piece].texture->texture;
    if (graph->imageSet->desc.alpha) flags |= DRAW_TEXTURE_ALPHA;
    if (graph->imageSet->desc.alphaTest) flags |= DRAW_TEXTURE_ALPHA_TEST;
  }
  FlushVertexBatch(0);
  if (!StateFlags.sceneOpen) BeginDeviceScene();
  if (DeviceStateCache.blendGraphTexture != nullptr) SetDeviceBlendGraphTexture(nullptr, 0, 0);
  if (z3) flags |= DRAW_FOG | DRAW_3D;
  flags |= fill == 1 ? DRAW_USER_ADDRESS : 0x5078;
  if (StateFlags.stateChanged || DeviceStateCache.lastTexture != texture || DeviceStateCache.lastFlags != flags)
    PrepareDrawStates(texture, flags);
  // The set-up above may have left a pending batch of another kind; it goes first.
  FlushVertexBatch(0);
  const DWORD fvf = D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1;
  SendFVFIfChanged(fvf);
  int count = CountPrimitives(type, n);
  if (count <= 0) return 0;
  DeviceCalls.DeviceDrawPrimitiveUP((D3DPRIMITIVETYPE)type, count, vertices, sizeof(VERTEX_2D_TEX));
  return 0;
}
