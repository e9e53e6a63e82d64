#include "filter/filter_quad.h"

#include "filter/filter_resources.h"
#include "graphics/device/d3d_calls.h"
#include "graphics/device/draw_prepare.h"
#include "graphics/device/draw_settings.h"
#include "graphics/device/present.h"
#include "graphics/device/shader_constants.h"
#include "graphics/device/shader_handles.h"
#include "graphics/device/state_cache.h"
#include "graphics/device/vertex_batch.h"
#include "graphics/graphs/graph_handles.h"
#include "graphics/graphs/texture_transfer.h"
#include "korvel.h"

namespace {
const int kPixelFloatFile = 3;
const int kFilterConstantSet = 1;
const DWORD kQuadFormat2D = D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_SPECULAR | D3DFVF_TEX2;  // 0x2C4
const DWORD kQuadFormat3D = D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_DIFFUSE | D3DFVF_SPECULAR | D3DFVF_TEX2;

// The texture a stage graph is sampled from: its first piece's.
IDirect3DBaseTexture9* StageTexture(HANDLE_VALUE graph) {
  GRAPH_RECORD* g = GetGraphRecord(graph, 0);
  if (g == nullptr || g->pieceCount < 1 || g->pieces[0].texture == nullptr) return nullptr;
  return g->pieces[0].texture->texture;
}

// The texture coordinates (left, top, right, bottom) of the graph rectangle at (x, y) of size
// w x h in the texture of the graph's first piece; false when the graph has none. Computed in
// double precision: a blend position may lie anywhere in the int range.
bool PieceCoords(HANDLE_VALUE graph, int x, int y, int w, int h, float* out) {
  GRAPH_RECORD* g = GetGraphRecord(graph, 0);
  if (g == nullptr || g->pieceCount < 1 || g->pieces[0].texture == nullptr) return false;
  const GRAPH_PIECE& p = g->pieces[0];
  double tw = p.texture->width, th = p.texture->height;
  double u = (double)p.textureX + x - p.graphX, v = (double)p.textureY + y - p.graphY;
  out[0] = (float)(u / tw), out[1] = (float)(v / th), out[2] = (float)((u + w) / tw), out[3] = (float)((v + h) / th);
  return true;
}

// The texture coordinates of the graph's first piece as a whole, from its own corners.
bool WholePieceCoords(HANDLE_VALUE graph, float* out) {
  GRAPH_RECORD* g = GetGraphRecord(graph, 0);
  if (g == nullptr || g->pieceCount < 1 || g->pieces[0].texture == nullptr) return false;
  const GRAPH_PIECE& p = g->pieces[0];
  out[0] = p.corners[GRAPH_CORNER_TOP_LEFT].u, out[1] = p.corners[GRAPH_CORNER_TOP_LEFT].v;
  out[2] = p.corners[GRAPH_CORNER_TOP_RIGHT].u, out[3] = p.corners[GRAPH_CORNER_BOTTOM_LEFT].v;
  return true;
}

GRAPH_TEXTURE* FirstTexture(GRAPH_RECORD* g) {
  if (g == nullptr || g->imageSet == nullptr || !g->imageSet->desc.heldAsTextures || g->imageSet->textureCount < 1)
    return nullptr;
  return &g->imageSet->textures[0];
}
}  // namespace

int SetFilterShaderState(int drawFlags, int flat2D, int constantSets) {
  drawFlags |= DRAW_KEEP_SHADERS | DRAW_USER_ADDRESS | DRAW_SPECULAR | DRAW_KEEP_BLENDING;
  if (!flat2D) drawFlags |= DRAW_CULLING;
  if (StateFlags.stateChanged || DeviceStateCache.lastTexture != nullptr || DeviceStateCache.lastFlags != drawFlags)
    PrepareDrawStates(nullptr, drawFlags);
  SelectShaderConstantSets(&ShaderConstants, constantSets ? 3 : 9);
  if (DrawSettings.alphaTestMode != DeviceStateCache.userAlphaFunc ||
      DrawSettings.alphaTestRef != DeviceStateCache.userAlphaRef)
    SetDeviceAlphaTest(DrawSettings.alphaTestMode, DrawSettings.alphaTestRef);

  // The alpha test below gives way to the cached one just sent (which passes every pixel
  // during a filter run); the blend factors are those of the current blend mode.
  CALLER_STAGE_SETUP setup = {};
  setup.alphaTestEnable = 1;
  setup.alphaRef = 8;
  setup.alphaFunc = D3DCMP_GREATER;
  int mode = DrawSettings.blendMode >= 0 && DrawSettings.blendMode < 17 ? DrawSettings.blendMode : 0;
  setup.alphaBlendEnable = mode != 0 && mode != 6;
  setup.textureFactor = 0xFFFFFFFF;
  setup.sourceBlend = BlendTable[mode].source;
  setup.destBlend = BlendTable[mode].destination;
  setup.blendOp = BlendTable[mode].operation;
  for (int s = 0; s < 8; s++) {
    HANDLE_VALUE graph = ShaderSelection.stageTextures[s];
    if (graph <= 0) continue;
    setup.stageCount = s + 1;
    setup.stages[s].texture = (UINT_PTR)StageTexture(graph);
  }
  for (int s = 0; s < setup.stageCount; s++) setup.stages[s].stage = {s, -1, -1, -1, -1, -1, -1, -1};
  ApplyStageSetupRecord(&setup, 1, 0);
  ResetTextureCoordIndices();

  // The quad is pre-transformed: no vertex shader may run over it.
  if (DeviceStateCache.vertexShader != nullptr) SetDeviceVertexShader(nullptr);
  SetDeviceFVF(flat2D ? kQuadFormat2D : kQuadFormat3D);
  return BindPixelShaderHandle(ShaderSelection.pixelShader);
}

int DrawFilterQuad(FILTER_PASS_RECORD* record, int divisor) {
  if (divisor < 1) divisor = 1;
  GRAPH_TEXTURE* target = FirstTexture(GetGraphRecord(record->passDestination, 0));
  if (target == nullptr || FirstTexture(GetGraphRecord(record->passSource, 0)) == nullptr) return -1;
  int multiSampled = IsGraphMultiSampled(record->passDestination);
  SetDeviceRenderTarget(multiSampled ? target->multiSampleSurface : target->surface, 0);
  // The viewport may still be a draw area when the target was bound already.
  SetDeviceViewport(0, 0, target->width, target->height, 0.0f, 1.0f);

  int w = record->x2 - record->x1, h = record->y2 - record->y1;
  int sx = record->passIndex == 0 ? record->x1 : record->destX;
  int sy = record->passIndex == 0 ? record->y1 : record->destY;
  float left = (float)record->destX - 0.5f, top = (float)record->destY - 0.5f;
  float right = (float)(record->destX + w / divisor) - 0.5f, bottom = (float)(record->destY + h / divisor) - 0.5f;
  // A divided pass reads only whole d x d blocks, as its CPU path does.
  float a[4];  // left, top, right, bottom of the first coordinate set
  // A source without a texture piece has no coordinates to read it by: nothing is drawn.
  if (!PieceCoords(record->passSource, sx, sy, w / divisor * divisor, h / divisor * divisor, a)) return -1;
  float b[4] = {0.0f, 0.0f, 0.0f, 0.0f};  // the same of the second set, for blends
  HANDLE_VALUE stage0 = record->passSource, stage1 = -1;
  if (record->blend) {
    // The blend graph at the blend position with the rectangle's size (the position is not
    // clipped: the sampler's addressing decides what lies beyond the graph), or its first
    // piece stretched over the rectangle.
    stage1 = record->blendGraph;
    if (!IsGraphHandleValid(stage1) || FirstTexture(GetGraphRecord(stage1, 0)) == nullptr) return -1;
    bool placed = record->useBlendPosition ? PieceCoords(stage1, record->blendX, record->blendY, w, h, b)
                                           : WholePieceCoords(stage1, b);
    if (!placed) return -1;
    // A shader that reads the blend graph's channels at stage 0: the graphs and their
    // coordinates change stages together.
    if (record->blendOnStage0) {
      HANDLE_VALUE graph = stage0;
      stage0 = stage1, stage1 = graph;
      for (int i = 0; i < 4; i++) {
        float t = a[i];
        a[i] = b[i], b[i] = t;
      }
    }
  }
  VERTEX_2D_TEX2 quad[4] = {
      {left, top, 0.0f, 1.0f, 0xFFFFFFFF, 0, a[0], a[1], b[0], b[1]},
      {right, top, 0.0f, 1.0f, 0xFFFFFFFF, 0, a[2], a[1], b[2], b[1]},
      {left, bottom, 0.0f, 1.0f, 0xFFFFFFFF, 0, a[0], a[3], b[0], b[3]},
      {right, bottom, 0.0f, 1.0f, 0xFFFFFFFF, 0, a[2], a[3], b[2], b[3]},
  };
  if (stage1 > 0) SetShaderTextureSlot(1, stage1);
  SetShaderTextureSlot(0, stage0);
  FlushVertexBatch(0);
  BeginDeviceScene();
  SetFilterShaderState(0, 1, 1);
  DeviceCalls.DeviceDrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, quad, sizeof(VERTEX_2D_TEX2));
  if (multiSampled) {
    EndDeviceScene();
    ResolveMultiSampleTexture(target);
  }
  return 0;
}

int RunFilterShaderPass(FILTER_PASS_RECORD* record, int shader, const float* constants, int registers,
                        int pointSampling, int divisor, HANDLE_VALUE stage1Graph) {
  if (pointSampling) SetDrawFilterMode(0);
  HANDLE_VALUE handle = GetFilterShader(shader);
  if (handle < 0) return -1;
  return DrawFilterShaderQuad(record, handle, constants, registers, divisor, stage1Graph);
}

int DrawFilterShaderQuad(FILTER_PASS_RECORD* record, HANDLE_VALUE handle, const float* constants, int registers,
                         int divisor, HANDLE_VALUE stage1Graph) {
  SAVED_SHADER_SELECTION saved;
  SaveShaderSelection(&saved, record->blend || stage1Graph > 0 ? 2 : 1);
  if (registers > 0)
    WriteShaderConstants(&ShaderConstants, kPixelFloatFile, kFilterConstantSet, 0, constants, registers, 0);
  SelectPixelShader(handle);
  if (stage1Graph > 0) SetShaderTextureSlot(1, stage1Graph);
  int result = DrawFilterQuad(record, divisor);
  RestoreShaderSelection(&saved);
  if (registers > 0) ClearShaderConstants(&ShaderConstants, kPixelFloatFile, kFilterConstantSet, 0, registers);
  return result;
}
