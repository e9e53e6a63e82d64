#include "graphics/device/draw_prepare.h"

#include <cstring>

#include "graphics/device/d3d_calls.h"
#include "graphics/device/device.h"
#include "graphics/device/device_resources.h"
#include "graphics/device/draw_settings.h"
#include "graphics/device/lights.h"
#include "graphics/device/shader_constants.h"
#include "graphics/device/state_cache.h"
#include "graphics/device/vertex_batch.h"
#include "graphics/graphs/graph_handles.h"  // upward: caller records may name graphs instead of textures

const BLEND_ROW BlendTable[17] = {
    {-1, -1, 0, 1}, {6, 5, 0, 1}, {2, 5, 0, 1}, {1, 10, 0, 1}, {3, 1, 0, 1}, {2, 5, 0, 1},
    {-1, -1, 0, 1}, {-1, -1, 0, 1}, {2, 1, 0, 1}, {1, 10, 0, 1}, {6, 5, 2, 1}, {3, 1, 1, 1},
    {6, 5, 3, 1}, {2, 5, 3, 1}, {1, 2, 0, 1}, {6, 2, 0, 1}, {2, 5, 0, 3},
};

namespace {
const short TEX = D3DTA_TEXTURE, DIF = D3DTA_DIFFUSE, CUR = D3DTA_CURRENT, TF = D3DTA_TFACTOR,
            COMP = D3DTA_COMPLEMENT;

STAGE_SETUP stageTable[192];
int stageTableBuilt;

CALLER_STAGE_SETUP overrideRecord;
int overrideOn;
float sentConstant6 = -1.0f;  // c6.x as last written

STAGE_ENTRY Entry(int coord, short colorOp, short colorArg1, short colorArg2, short alphaOp, short alphaArg1,
                  short alphaArg2) {
  STAGE_ENTRY e;
  e.texCoordIndex = coord;
  e.resultTemp = 0;
  e.colorOp = colorOp, e.colorArg1 = colorArg1, e.colorArg2 = colorArg2;
  e.alphaOp = alphaOp, e.alphaArg1 = alphaArg1, e.alphaArg2 = alphaArg2;
  return e;
}

// The colour of the drawn texture by colour kind and modulation.
void TextureColor(STAGE_ENTRY* e, int kind, int modulate, short source) {
  e->colorArg1 = kind == 2 ? (short)(source | COMP) : source;
  e->colorArg2 = source == TEX ? DIF : TEX;
  e->colorOp = kind == 3 ? D3DTOP_MODULATE4X : modulate ? D3DTOP_MODULATE : D3DTOP_SELECTARG1;
}

void BuildStageSetup(int kind, int graph, int d, int b, int e, STAGE_SETUP* out) {
  memset(out, 0, sizeof(*out));
  if (kind == 1 && graph != 0) return;  // no blend-graph set-up for this kind
  int n = 0;
  STAGE_ENTRY* s = out->stages;
  // Alpha of the texture stage: the vertex alpha, the texture's, or their product.
  short alphaOp = e == 0 ? D3DTOP_SELECTARG2 : b ? D3DTOP_MODULATE : D3DTOP_SELECTARG1;
  switch (graph) {
    case 0:
      s[n] = Entry(0, 0, 0, 0, alphaOp, TEX, DIF);
      TextureColor(&s[n++], kind, d, TEX);
      if (kind == 1) s[n++] = Entry(-1, D3DTOP_BLENDCURRENTALPHA, CUR, TF, D3DTOP_SELECTARG1, CUR, DIF);
      break;
    case 1:  // cross-fade of the texture over the blend graph by the factor alpha
      s[n++] = Entry(1, D3DTOP_SELECTARG1, TEX, DIF, D3DTOP_SELECTARG1, TEX, DIF);
      s[n++] = Entry(0, D3DTOP_BLENDFACTORALPHA, TEX, CUR, e == 0 ? D3DTOP_SELECTARG2 : D3DTOP_SELECTARG1, TEX, DIF);
      s[n] = Entry(-1, 0, 0, 0, b && e != 0 ? D3DTOP_MODULATE : D3DTOP_SELECTARG1, CUR, DIF);
      TextureColor(&s[n++], kind, d, CUR);
      s[n - 1].colorArg2 = DIF;
      break;
    case 2:  // border: blend-graph value plus or minus the factor alpha, scaled (ops set when applied)
      s[n++] = Entry(1, D3DTOP_SELECTARG1, DIF, TEX, D3DTOP_ADD, TEX, TF);
      if (e == 1) {
        s[n++] = Entry(-1, D3DTOP_SELECTARG1, CUR, DIF, D3DTOP_MODULATE4X, CUR, DIF);
        s[n] = Entry(0, 0, 0, 0, D3DTOP_MODULATE, CUR, TEX);
      } else {
        s[n] = Entry(0, 0, 0, 0, D3DTOP_MODULATE4X, CUR, DIF);
      }
      TextureColor(&s[n++], kind, d, TEX);
      break;
    case 3:  // colour from the texture, alpha multiplied by the blend graph
      s[n] = Entry(0, 0, 0, 0, alphaOp, TEX, DIF);
      TextureColor(&s[n++], kind, d, TEX);
      s[n++] = Entry(1, D3DTOP_SELECTARG1, CUR, TEX, D3DTOP_MODULATE, CUR, TEX);
      break;
  }
  s[n] = Entry(-1, D3DTOP_DISABLE, TEX, CUR, D3DTOP_DISABLE, TEX, CUR);
  out->count = n;
}

void BuildStageTable() {
  if (stageTableBuilt) return;
  for (int k = 0; k < 4; k++)
    for (int g = 0; g < 4; g++)
      for (int d = 0; d < 2; d++)
        for (int b = 0; b < 2; b++)
          for (int e = 0; e < 3; e++) BuildStageSetup(k, g, d, b, e, &stageTable[StageSetupIndex(k, g, d, b, e)]);
  stageTableBuilt = 1;
}

// The set-up one pass of ApplyBlendStageStates sends.
struct BLEND_PLAN {
  int alphaTestEnable, alphaRef, alphaFunc, alphaBlendEnable;
  DWORD textureFactor;
  int sourceBlend, destBlend, blendOp;
  float constant5[4];
  int explicitConstant5;
  int stageCount;
  STAGE_ENTRY stages[8];
  IDirect3DBaseTexture9* textures[8];
  int shaderMode;                 // a built-in pixel shader does the stages' work
  int alphaModulation;            // -1: leave the shaders' switch c6 alone
  IDirect3DPixelShader9* shader;  // bound at stage 0 in shader mode
};

void SendStateIfChanged(int& cache, int value, D3DRENDERSTATETYPE state) {
  if (!StateFlags.forceSend && cache == value) return;
  DeviceCalls.DeviceSetRenderState(state, (DWORD)value);
  cache = value;
}

void SendBlendFactor(int& cache, int value, D3DRENDERSTATETYPE state) {
  if (value != -1) {
    SendStateIfChanged(cache, value, state);
  } else if (StateFlags.forceSend && cache > 1) {
    DeviceCalls.DeviceSetRenderState(state, (DWORD)cache);
  }
}

void SendStageState(short& cache, short value, int stage, D3DTEXTURESTAGESTATETYPE type) {
  if (value == -1 || (!StateFlags.forceSend && cache == value)) return;
  DeviceCalls.DeviceSetTextureStageState(stage, type, (DWORD)(unsigned short)value);
  cache = value;
}

// Binds a built-in pixel shader (or, with null, takes a bound one off the device).
void BindBuiltInPixelShader(IDirect3DPixelShader9* shader) {
  if (shader == nullptr) {
    if (!DeviceStateCache.builtInPixelShader) return;
    DeviceCalls.DeviceSetPixelShader(nullptr);
    DeviceStateCache.pixelShader = nullptr;
    DeviceStateCache.builtInPixelShader = 0;
    StateFlags.stateChanged = 1;
    return;
  }
  if (StateFlags.forceSend || DeviceStateCache.pixelShader != shader) {
    DeviceCalls.DeviceSetPixelShader(shader);
    DeviceStateCache.pixelShader = shader;
  }
  DeviceStateCache.builtInPixelShader = 1;
  StateFlags.stateChanged = 1;
}

void ProgramStage(int s, IDirect3DBaseTexture9* texture, const STAGE_ENTRY& e, int value, const BLEND_PLAN* plan) {
  STAGE_CACHE& sc = DeviceStateCache.stages[s];
  if (StateFlags.forceSend || sc.texture != texture) {
    DeviceCalls.DeviceSetTexture(s, texture);
    sc.texture = texture;
  }
  int shaderMode = plan != nullptr && plan->shaderMode;
  if (!shaderMode && e.texCoordIndex != -1 && (StateFlags.forceSend || sc.texCoordIndex != e.texCoordIndex)) {
    DeviceCalls.DeviceSetTextureStageState(s, D3DTSS_TEXCOORDINDEX, e.texCoordIndex);
    sc.texCoordIndex = e.texCoordIndex;
  }
  if (value != 0) return;
  if (shaderMode) {
    if (s == 0) BindBuiltInPixelShader(plan->shader);
    return;
  }
  if (DeviceCaps.stageTempRegister && e.resultTemp != -1 && (StateFlags.forceSend || sc.resultTemp != e.resultTemp)) {
    DeviceCalls.DeviceSetTextureStageState(s, D3DTSS_RESULTARG, e.resultTemp ? D3DTA_TEMP : D3DTA_CURRENT);
    sc.resultTemp = e.resultTemp;
  }
  SendStageState(sc.alphaOp, e.alphaOp, s, D3DTSS_ALPHAOP);
  SendStageState(sc.alphaArg1, e.alphaArg1, s, D3DTSS_ALPHAARG1);
  SendStageState(sc.alphaArg2, e.alphaArg2, s, D3DTSS_ALPHAARG2);
  SendStageState(sc.colorOp, e.colorOp, s, D3DTSS_COLOROP);
  SendStageState(sc.colorArg1, e.colorArg1, s, D3DTSS_COLORARG1);
  SendStageState(sc.colorArg2, e.colorArg2, s, D3DTSS_COLORARG2);
}

void SendPlan(BLEND_PLAN& plan, int value) {
  if (DeviceStateCache.userAlphaFunc != -1) {
    plan.alphaTestEnable = 1;
    plan.alphaFunc = DeviceStateCache.userAlphaFunc;
    plan.alphaRef = DeviceStateCache.userAlphaRef;
  }
  SendStateIfChanged(DeviceStateCache.alphaFunc, plan.alphaFunc, D3DRS_ALPHAFUNC);
  SendStateIfChanged(DeviceStateCache.alphaRef, plan.alphaRef, D3DRS_ALPHAREF);
  SendStateIfChanged(DeviceStateCache.alphaTestEnable, plan.alphaTestEnable, D3DRS_ALPHATESTENABLE);
  SendStateIfChanged(DeviceStateCache.alphaBlendEnable, plan.alphaBlendEnable, D3DRS_ALPHABLENDENABLE);
  // In shader mode the factor reaches the shader as c5 only (but is cached all the same).
  if (StateFlags.forceSend || DeviceStateCache.textureFactor != plan.textureFactor) {
    if (!plan.shaderMode) DeviceCalls.DeviceSetRenderState(D3DRS_TEXTUREFACTOR, plan.textureFactor);
    DeviceStateCache.textureFactor = plan.textureFactor;
  }
  if (!plan.explicitConstant5) {
    DWORD f = plan.textureFactor;
    plan.constant5[0] = (float)(f & 0xFF) / 255.0f;
    plan.constant5[1] = (float)(f >> 8 & 0xFF) / 255.0f;
    plan.constant5[2] = (float)(f >> 16 & 0xFF) / 255.0f;
    plan.constant5[3] = (float)(f >> 24 & 0xFF) / 255.0f;
  }
  if (StateFlags.forceSend ||
      memcmp(DeviceStateCache.textureFactorFloats, plan.constant5, sizeof(plan.constant5)) != 0) {
    memcpy(DeviceStateCache.textureFactorFloats, plan.constant5, sizeof(plan.constant5));
    WritePixelConstantF(5, plan.constant5, 1);
  }
  // The built-in textured shaders take the vertex alpha in only with alpha modulation.
  if (plan.alphaModulation != -1) {
    float c6[4] = {plan.alphaModulation ? 0.0f : 1.0f, 0.0f, 0.0f, 0.0f};
    if (StateFlags.forceSend || c6[0] != sentConstant6) {
      sentConstant6 = c6[0];
      WritePixelConstantF(6, c6, 1);
    }
  }
  SendBlendFactor(DeviceStateCache.sourceBlend, plan.sourceBlend, D3DRS_SRCBLEND);
  SendBlendFactor(DeviceStateCache.destBlend, plan.destBlend, D3DRS_DESTBLEND);
  SendBlendFactor(DeviceStateCache.blendOp, plan.blendOp, D3DRS_BLENDOP);

  if (!plan.shaderMode && value == 0) BindBuiltInPixelShader(nullptr);
  int count = StateFlags.forceSend ? 8 : plan.stageCount;
  for (int s = 0; s < count; s++) {
    // A disabled stage ends the fixed-function cascade; a plan that sets textures only (value
    // non-zero, as for a caller's own pixel shader) still sets every stage's texture.
    if (!StateFlags.forceSend && s > 0 && !plan.shaderMode && value == 0 &&
        DeviceStateCache.stages[s - 1].colorOp == D3DTOP_DISABLE)
      break;
    if (!StateFlags.forceSend && s >= 2 && plan.shaderMode) break;
    if (s < plan.stageCount) {
      ProgramStage(s, plan.textures[s], plan.stages[s], value, &plan);
    } else {
      STAGE_ENTRY off = Entry(0, D3DTOP_DISABLE, 0, 0, D3DTOP_DISABLE, 0, 0);
      ProgramStage(s, nullptr, off, value, &plan);
    }
  }
}

// Textures by stage for the current blend graph set-up (the built-in shaders of the border
// type read the texture at stage 1 whatever its alpha).
void PlaceTextures(IDirect3DBaseTexture9* textures[8], int textureAlphaBlended) {
  if (StateFlags.programmableShaders) textureAlphaBlended = 0;
  memset(textures, 0, sizeof(IDirect3DBaseTexture9*) * 8);
  if (DeviceStateCache.blendGraphTexture == nullptr) {
    textures[0] = DeviceStateCache.texture;
  } else if (DeviceStateCache.blendGraphType == 0) {
    textures[0] = DeviceStateCache.blendGraphTexture;
    textures[1] = textures[3] = DeviceStateCache.texture;
  } else if (DeviceStateCache.blendGraphType == 1) {
    textures[0] = DeviceStateCache.blendGraphTexture;
    textures[textureAlphaBlended ? 2 : 1] = DeviceStateCache.texture;
  } else {
    textures[0] = DeviceStateCache.texture;
    textures[1] = DeviceStateCache.blendGraphTexture;
  }
}

// Border blend graph (type 1): alpha offset, its operation and the scale by the border range.
void PlanBorder(BLEND_PLAN& plan, int textureAlpha) {
  int n = DeviceStateCache.blendGraphBorderParam, r = DeviceStateCache.blendGraphBorderRange;
  StateFlags.skipDraw = n == 255;
  int offset = 0, add = 1;
  short scaleOp = D3DTOP_MODULATE;
  float scale = 1.0f;
  if (r <= 1) {
    plan.alphaTestEnable = 1;
    plan.alphaRef = n == 0 && textureAlpha ? 1 : n;
    plan.alphaFunc = D3DCMP_GREATEREQUAL;
    plan.textureFactor = 0x00FFFFFF;
    plan.explicitConstant5 = 1;
    plan.constant5[0] = plan.constant5[1] = plan.constant5[3] = 0.0f;
    plan.constant5[2] = 1.0f;
    return;
  }
  if (r <= 64) {
    int n2 = n * 1280 / 255;
    add = n2 < 257;
    offset = add ? ((256 - n2) * 64) / 256 : 255 - (326400 - 255 * n2) / 1024;
    scaleOp = D3DTOP_MODULATE4X, scale = 4.0f;
  } else if (r <= 128) {
    int n2 = n * 768 / 255;
    add = n2 < 257;
    offset = add ? ((256 - n2) * 128) / 256 : 255 - (195840 - 255 * n2) / 512;
    scaleOp = D3DTOP_MODULATE2X, scale = 2.0f;
  } else {
    int x = n * 512 / 255, r2 = 512 - x;
    add = r2 >= 256;
    offset = add ? (r2 - 256) * 255 / 256 : 255 - r2 * 255 / 256;
  }
  if (offset < 0) offset = 0;
  if (offset > 255) offset = 255;
  plan.textureFactor = (DWORD)offset << 24 | 0xFFFFFF;
  plan.stages[0].alphaOp = add ? D3DTOP_ADD : D3DTOP_SUBTRACT;
  for (int s = 1; s < plan.stageCount; s++)
    if (plan.stages[s].alphaOp == D3DTOP_MODULATE4X) plan.stages[s].alphaOp = scaleOp;
  plan.explicitConstant5 = 1;
  plan.constant5[0] = plan.constant5[1] = 0.0f;
  plan.constant5[2] = scale;
  plan.constant5[3] = (add ? 1.0f : -1.0f) * (float)offset / 255.0f;
}

void CopySetup(BLEND_PLAN& plan, const STAGE_SETUP& setup) {
  int n = setup.count + 1;  // with the terminator
  if (n > 7) n = 7;
  plan.stageCount = n;
  memcpy(plan.stages, setup.stages, n * sizeof(STAGE_ENTRY));
}

void UpdateSamplersInUse(int stages) {
  if (stages == DeviceStateCache.samplersInUse) return;
  DeviceStateCache.samplersInUse = stages;
  int force = StateFlags.forceSend;
  StateFlags.forceSend = 1;
  int mode = DeviceStateCache.filterMode;
  if (mode >= 0 && mode <= 2) ApplySamplerFilterMode(mode);
  SetDeviceMaxAnisotropy(DeviceStateCache.maxAnisotropy);
  StateFlags.forceSend = force;
}

// A graph handle's first texture; none for an invalid handle or a graph without textures.
IDirect3DBaseTexture9* GraphFirstTexture(int handle) {
  GRAPH_RECORD* graph = GetGraphRecord(handle, 0);
  if (graph == nullptr || graph->imageSet == nullptr || graph->imageSet->textureCount < 1) return nullptr;
  return graph->imageSet->textures[0].texture;
}

int ApplyCallerRecord(int lookup, const CALLER_STAGE_SETUP* record, int value) {
  BLEND_PLAN plan;
  memset(&plan, 0, sizeof(plan));
  plan.alphaModulation = -1;
  plan.alphaTestEnable = record->alphaTestEnable;
  plan.alphaRef = record->alphaRef;
  plan.alphaFunc = record->alphaFunc;
  plan.alphaBlendEnable = record->alphaBlendEnable;
  plan.textureFactor = record->textureFactor;
  plan.sourceBlend = record->sourceBlend;
  plan.destBlend = record->destBlend;
  plan.blendOp = record->blendOp;
  plan.stageCount = record->stageCount < 0 ? 0 : record->stageCount > 8 ? 8 : record->stageCount;
  for (int s = 0; s < plan.stageCount; s++) {
    plan.stages[s] = record->stages[s].stage;
    plan.textures[s] = lookup ? GraphFirstTexture((int)record->stages[s].texture)
                              : (IDirect3DBaseTexture9*)record->stages[s].texture;
  }
  SendPlan(plan, value);
  return 0;
}
}  // namespace

int StageSetupIndex(int kind, int graphVariant, int colorModulation, int alphaModulation, int alphaSource) {
  return alphaSource + 3 * (alphaModulation + 2 * (colorModulation + 2 * graphVariant) + 16 * kind);
}

const STAGE_SETUP* GetStageSetup(int index) {
  BuildStageTable();
  return index >= 0 && index < 192 ? &stageTable[index] : nullptr;
}

int ApplyBlendStageStates(int lookup, const CALLER_STAGE_SETUP* record, int value) {
  if (!HasDirect3DDevice()) return -1;
  BuildStageTable();
  if (record == nullptr && overrideOn) record = &overrideRecord;
  if (record != nullptr) return ApplyCallerRecord(lookup, record, value);

  int textureAlpha = DeviceStateCache.textureAlphaBlend || DeviceStateCache.textureAlphaTest;
  if (!StateFlags.forceSend && !StateFlags.blendStatesChanged) {
    if (!StateFlags.textureChanged) return -1;
    IDirect3DBaseTexture9* textures[8];
    PlaceTextures(textures, DeviceStateCache.textureAlphaBlend);
    for (int s = 0; s < 4; s++)
      if (DeviceStateCache.stages[s].texture != textures[s]) {
        DeviceCalls.DeviceSetTexture(s, textures[s]);
        DeviceStateCache.stages[s].texture = textures[s];
      }
    StateFlags.textureChanged = 0;
    StateFlags.stateChanged = 1;
    return 0;
  }

  int mode = DeviceStateCache.blendMode >= 0 && DeviceStateCache.blendMode < 17 ? DeviceStateCache.blendMode : 0;
  BLEND_ROW row = BlendTable[mode];
  if (mode == 3 && DeviceCaps.blendOperation) row = {2, 5, 0, 3};
  BLEND_PLAN plan;
  memset(&plan, 0, sizeof(plan));
  plan.shaderMode = StateFlags.programmableShaders;
  plan.alphaModulation = DeviceStateCache.alphaModulation;
  plan.textureFactor = 0xFFFFFFFF;
  plan.destBlend = row.destination;
  plan.sourceBlend = row.source;
  plan.blendOp = row.operation;
  plan.alphaRef = DeviceStateCache.alphaRef;
  plan.alphaFunc = DeviceStateCache.alphaFunc;
  StateFlags.textureChanged = 0;
  StateFlags.blendStatesChanged = 0;
  int blending = mode != 0 && mode != 6;
  int a = DeviceStateCache.textureAlphaBlend, t = DeviceStateCache.textureAlphaTest;

  if (DeviceStateCache.texture == nullptr) {
    StateFlags.skipDraw = 0;
    SelectBatchVertexType(0);
    int kind = row.colorKind;
    STAGE_ENTRY& s = plan.stages[0];
    if (mode == 3 && !DeviceCaps.blendOperation)
      s = Entry(0, D3DTOP_SELECTARG1, DIF, TEX, D3DTOP_SELECTARG2, TEX, DIF);
    else if (kind == 1)
      s = Entry(0, D3DTOP_BLENDDIFFUSEALPHA, DIF, TF, D3DTOP_SELECTARG1, DIF, TEX);
    else if (kind == 2)
      s = Entry(0, D3DTOP_SELECTARG1, (short)(DIF | COMP), TEX, D3DTOP_SELECTARG1, DIF, TEX);
    else if (kind == 3)  // the vertex colour times four (a white operand)
      s = Entry(0, D3DTOP_MODULATE4X, DIF, TF, D3DTOP_SELECTARG1, DIF, TEX);
    else
      s = Entry(0, D3DTOP_SELECTARG1, DIF, TEX, D3DTOP_SELECTARG1, DIF, TEX);
    plan.stages[1] = Entry(-1, D3DTOP_DISABLE, TEX, CUR, D3DTOP_DISABLE, TEX, CUR);
    plan.stageCount = 1;
    plan.shader = DeviceResources.untexturedShaders[kind];
    plan.alphaTestEnable = 0;
    plan.alphaBlendEnable = blending;
    plan.textureFactor = kind == 1 || kind == 3 ? 0xFFFFFFFF : DeviceStateCache.textureFactor;
  } else if (DeviceStateCache.blendGraphTexture == nullptr) {
    StateFlags.skipDraw = 0;
    SelectBatchVertexType(1);
    int e = a ? 1 : t || DeviceStateCache.zEnable ? 2 : 0;
    CopySetup(plan, stageTable[StageSetupIndex(row.colorKind, 0, DeviceStateCache.colorModulation,
                                               DeviceStateCache.alphaModulation, e)]);
    plan.stageCount--;  // counted without the terminator until the samplers are updated
    plan.shader =
        DeviceResources.blendShaders[BlendShaderIndex(0, row.colorKind, !DeviceStateCache.colorModulation, e == 0)];
    if (plan.shaderMode) plan.stageCount = 1;
    if (t) {
      plan.alphaTestEnable = 1, plan.alphaRef = 16, plan.alphaFunc = D3DCMP_GREATER;
    } else if (blending || a) {
      plan.alphaTestEnable = 1, plan.alphaRef = 0, plan.alphaFunc = D3DCMP_GREATER;
    }
    if (a && !blending) plan.destBlend = D3DBLEND_INVSRCALPHA, plan.sourceBlend = D3DBLEND_SRCALPHA;
    plan.alphaBlendEnable = a || blending;
  } else {
    SelectBatchVertexType(2);
    int kind = mode == 12 || mode == 13 ? 3 : mode == 10 ? 2 : 0;
    int e = a ? 1 : t ? 2 : 0;
    CopySetup(plan, stageTable[StageSetupIndex(kind, DeviceStateCache.blendGraphType + 1,
                                               DeviceStateCache.colorModulation, DeviceStateCache.alphaModulation, e)]);
    plan.stageCount--;
    plan.shader = DeviceResources.blendShaders[BlendShaderIndex(DeviceStateCache.blendGraphType + 1, kind,
                                                                !DeviceStateCache.colorModulation, e == 0)];
    if (plan.shaderMode) plan.stageCount = 2;
    StateFlags.skipDraw = 0;
    if (DeviceStateCache.blendGraphType == 0) {
      plan.textureFactor = (DWORD)DeviceStateCache.blendGraphParam << 24;
      if (textureAlpha || blending) {
        plan.alphaTestEnable = 1, plan.alphaRef = 0, plan.alphaFunc = D3DCMP_GREATER;
        if (!blending) plan.destBlend = D3DBLEND_INVSRCALPHA, plan.sourceBlend = D3DBLEND_SRCALPHA;
      }
    } else if (DeviceStateCache.blendGraphType == 1) {
      PlanBorder(plan, textureAlpha);
    } else {
      plan.textureFactor = 0x00FFFFFF;
    }
    plan.alphaBlendEnable = a || blending;
  }
  PlaceTextures(plan.textures, a);

  UpdateSamplersInUse(plan.stageCount);
  if (plan.stageCount < 8) plan.stageCount++;
  SendPlan(plan, 0);
  StateFlags.stateChanged = 1;
  return 0;
}

int SetStageSetupOverride(const CALLER_STAGE_SETUP* record, int value) {
  (void)value;
  FlushVertexBatch(0);
  if (record == nullptr) {
    overrideOn = 0;
    return 0;
  }
  overrideRecord = *record;
  overrideOn = 1;
  StateFlags.stateChanged = StateFlags.blendStatesChanged = StateFlags.textureChanged = 1;
  ApplyBlendStageStates(1, nullptr, 0);
  return 0;
}

int ApplyStageSetupRecord(const CALLER_STAGE_SETUP* record, int value, int lookup) {
  FlushVertexBatch(0);
  ApplyBlendStageStates(lookup, record, value);
  StateFlags.blendStatesChanged = StateFlags.textureChanged = StateFlags.stateChanged = 1;
  return 0;
}

int PrepareDrawStates(IDirect3DBaseTexture9* texture, int flags) {
  StateFlags.stateChanged = 0;
  if (!(flags & DRAW_KEEP_SHADERS)) {
    if (DeviceStateCache.vertexShader != nullptr) SetDeviceVertexShader(nullptr);
    if (DeviceStateCache.pixelShader != nullptr && !DeviceStateCache.builtInPixelShader) SetDevicePixelShader(nullptr);
  }

  LIGHT_TABLE& lights = DrawSettings.lights;
  if ((flags & DRAW_LIGHTING) && !lights.lightingOff) {
    if (lights.lightsChanged)
      UpdateDeviceLights();
    else if (!DeviceStateCache.lighting)
      SetDeviceLighting(1);
    if (lights.materialChanged) {
      lights.materialChanged = 0;
      SetDeviceMaterial(&lights.material);
    }
    if (DeviceStateCache.diffuseSource != 1) SetDeviceDiffuseSource(1);
    if (DeviceStateCache.specularSource != 1) SetDeviceSpecularSource(1);
  } else if (DeviceStateCache.lighting) {
    SetDeviceLighting(0);
  }
  int specular = (flags & DRAW_SPECULAR) ? 1 : 0;
  if (DeviceStateCache.specular != specular) SetDeviceSpecular(specular);

  const Z_SETTINGS& z = (flags & DRAW_3D) ? DrawSettings.z3D : DrawSettings.z2D;
  if (z.enable != 0) {
    if (DeviceStateCache.zEnable != z.enable) SetDeviceZEnable(z.enable);
    if (DeviceStateCache.zWrite != z.write) SetDeviceZWrite(z.write);
    if (DeviceStateCache.zFunc != z.func) SetDeviceZFunc(z.func);
    if (DeviceStateCache.depthBias != z.depthBias) SetDeviceDepthBias(z.depthBias);
  } else if (DeviceStateCache.zEnable) {
    SendRenderStateNow(D3DRS_ZENABLE, FALSE);
    DeviceStateCache.zEnable = 0;
    if (!(flags & DRAW_3D) && DeviceStateCache.zWrite) SetDeviceZWrite(0);
  }
  if (DeviceStateCache.fillMode != DrawSettings.fillMode) SetDeviceFillMode(DrawSettings.fillMode);
  int fog = (flags & DRAW_FOG) ? DrawSettings.fogEnabled : 0;
  if (DeviceStateCache.fogEnable != fog) SetDeviceFogEnable(fog);

  if (!(flags & DRAW_KEEP_BLENDING)) {
    int t = 0, a = 0;
    if (texture != nullptr && (flags & DRAW_TRANSPARENT) && (flags & (DRAW_TEXTURE_ALPHA | DRAW_TEXTURE_ALPHA_TEST))) {
      if (DrawSettings.blendMode != 0 && DrawSettings.blendMode != 8) {
        a = 1;
      } else if (!(flags & DRAW_PIXEL_EXACT) && DrawSettings.filterMode == 1) {
        a = 1;
      } else {
        t = (flags & DRAW_TEXTURE_ALPHA_TEST) != 0;
        a = (flags & DRAW_TEXTURE_ALPHA) != 0;
      }
    }
    int colorModulation = (flags & DRAW_MODULATE_COLOR) || DrawSettings.brightness != 0xFFFFFF;
    int alphaModulation = (flags & DRAW_MODULATE_ALPHA) || DrawSettings.blendMode != 0;
    if (DeviceStateCache.colorModulation != colorModulation) SetDeviceColorModulation(colorModulation);
    if (DeviceStateCache.alphaModulation != alphaModulation) SetDeviceAlphaModulation(alphaModulation);
    if (DeviceStateCache.texture != texture) SetDeviceTexture(texture);
    if (DeviceStateCache.blendMode != DrawSettings.blendMode || DeviceStateCache.textureAlphaBlend != a ||
        DeviceStateCache.textureAlphaTest != t)
      SetDeviceBlendState(DrawSettings.blendMode, a, t);
    int extra = (flags & DRAW_EXTRA_SWITCH) ? 1 : 0;
    if (DeviceStateCache.extraBlendFlag != extra) SetDeviceExtraBlendFlag(extra);
    if (DeviceStateCache.userAlphaFunc != DrawSettings.alphaTestMode ||
        DeviceStateCache.userAlphaRef != DrawSettings.alphaTestRef)
      SetDeviceAlphaTest(DrawSettings.alphaTestMode, DrawSettings.alphaTestRef);
    // With programmable shaders the whole set-up runs again while no built-in pixel shader is
    // bound (a program's shader was unbound above): the stages were never programmed in
    // shader mode, so a draw without the shader would show stale stage states.
    if (StateFlags.programmableShaders && !DeviceStateCache.builtInPixelShader) StateFlags.blendStatesChanged = 1;
    if (StateFlags.blendStatesChanged || StateFlags.textureChanged) ApplyBlendStageStates(1, nullptr, 0);
  }

  int shade = (flags & DRAW_GOURAUD) ? D3DSHADE_GOURAUD : D3DSHADE_FLAT;
  if (DeviceStateCache.shadeMode != shade) SetDeviceShadeMode(shade);
  if (DeviceStateCache.filterMode != DrawSettings.filterMode) ApplySamplerFilterMode(DrawSettings.filterMode);
  if (DeviceStateCache.maxAnisotropy != DrawSettings.maxAnisotropy) SetDeviceMaxAnisotropy(DrawSettings.maxAnisotropy);

  if (flags & DRAW_CULLING) {
    if (DeviceStateCache.cullMode != DrawSettings.cullMode) SetDeviceCullMode(DrawSettings.cullMode);
  } else if (DeviceStateCache.cullMode != 0) {
    SendRenderStateNow(D3DRS_CULLMODE, D3DCULL_NONE);
    DeviceStateCache.cullMode = 0;
  }

  if (flags & DRAW_USER_ADDRESS) {
    for (int s = 0; s < 8; s++) {
      if (DeviceStateCache.samplers[s].address[0] != DrawSettings.addressU[s])
        SetDeviceAddressU(DrawSettings.addressU[s], s);
      if (DeviceStateCache.samplers[s].address[1] != DrawSettings.addressV[s])
        SetDeviceAddressV(DrawSettings.addressV[s], s);
    }
  } else {
    for (int s = 0; s < 4; s++)
      if (DeviceStateCache.samplers[s].address[0] != D3DTADDRESS_CLAMP ||
          DeviceStateCache.samplers[s].address[1] != D3DTADDRESS_CLAMP)
        SetDeviceAddressMode(D3DTADDRESS_CLAMP, s);
  }
  DeviceStateCache.lastTexture = texture;
  DeviceStateCache.lastFlags = flags;
  return 0;
}
