#include "graphics/device/state_cache.h"

#include <cstring>

#include "core/log.h"
#include "graphics/device/d3d_calls.h"
#include "graphics/device/device.h"
#include "graphics/device/draw_prepare.h"
#include "graphics/device/draw_settings.h"
#include "graphics/device/lights.h"
#include "graphics/device/present.h"
#include "graphics/device/screen.h"
#include "graphics/device/shader_constants.h"
#include "graphics/device/vertex_batch.h"

STATE_FLAGS StateFlags;
DEVICE_STATE_CACHE DeviceStateCache;

namespace {
DEVICE_STATE_CACHE& C = DeviceStateCache;

// The common rule: compare (unless force-send), flush before a change. 1 when the caller must
// send and cache.
int NeedsSend(int equal) {
  if (StateFlags.forceSend) return 1;
  if (equal) return 0;
  FlushVertexBatch(0);
  return 1;
}

int SendCachedState(int& cache, int value, D3DRENDERSTATETYPE state, DWORD sent, HRESULT* result = nullptr) {
  if (!HasDirect3DDevice()) return -1;
  if (!NeedsSend(cache == value)) return 0;
  HRESULT hr = DeviceCalls.DeviceSetRenderState(state, sent);
  if (result != nullptr) *result = hr;
  cache = value;
  StateFlags.stateChanged = 1;
  return 0;
}

int ValidSampler(int sampler) { return sampler >= -1 && sampler <= 7; }

int SendAddress(int which, int mode, int sampler) {
  static const D3DSAMPLERSTATETYPE kStates[3] = {D3DSAMP_ADDRESSU, D3DSAMP_ADDRESSV, D3DSAMP_ADDRESSW};
  if (!HasDirect3DDevice()) return -1;
  if (!ValidSampler(sampler)) return -1;
  int first = sampler < 0 ? 0 : sampler, last = sampler < 0 ? 7 : sampler;
  for (int s = first; s <= last; s++) {
    if (!NeedsSend(C.samplers[s].address[which] == mode)) continue;
    DeviceCalls.DeviceSetSamplerState(s, kStates[which], mode);
    C.samplers[s].address[which] = mode;
    StateFlags.stateChanged = 1;
  }
  return 0;
}

void SendFilters(int sampler, const int filters[3]) {
  static const D3DSAMPLERSTATETYPE kStates[3] = {D3DSAMP_MAGFILTER, D3DSAMP_MINFILTER, D3DSAMP_MIPFILTER};
  int* cached[3] = {&C.samplers[sampler].magFilter, &C.samplers[sampler].minFilter, &C.samplers[sampler].mipFilter};
  for (int i = 0; i < 3; i++) {
    if (!StateFlags.forceSend && *cached[i] == filters[i]) continue;
    DeviceCalls.DeviceSetSamplerState(sampler, kStates[i], filters[i]);
    *cached[i] = filters[i];
  }
}

int SamplersInUse() { return C.samplersInUse > 4 ? C.samplersInUse : 4; }

void WriteFogConstant() {
  float range = C.fogEnd - C.fogStart;
  float values[4] = {range != 0.0f ? C.fogEnd / range : 0.0f, range != 0.0f ? -1.0f / range : 0.0f, C.fogDensity,
                     2.7182817f};
  WriteVertexConstantF(10, values, 1);
}

// A deferred setter: compare, flush, store, raise the flags; nothing is sent.
template <typename T>
int Defer(T& cache, T value, int* flag) {
  if (!HasDirect3DDevice()) return -1;
  if (!NeedsSend(cache == value)) return 0;
  cache = value;
  StateFlags.stateChanged = 1;
  *flag = 1;
  return 0;
}
}  // namespace

void SendRenderStateNow(D3DRENDERSTATETYPE state, DWORD value) {
  if (!StateFlags.forceSend) FlushVertexBatch(0);
  DeviceCalls.DeviceSetRenderState(state, value);
}

int SetDeviceZEnable(int value) { return SendCachedState(C.zEnable, value, D3DRS_ZENABLE, value == 1); }
int SetDeviceZWrite(int value) { return SendCachedState(C.zWrite, value, D3DRS_ZWRITEENABLE, value); }
int SetDeviceZFunc(int func) { return SendCachedState(C.zFunc, func, D3DRS_ZFUNC, func); }
int SetDeviceDepthBias(int bias) { return SendCachedState(C.depthBias, bias, D3DRS_DEPTHBIAS, bias); }
int SetDeviceFillMode(int mode) { return SendCachedState(C.fillMode, mode, D3DRS_FILLMODE, mode); }
int SetDeviceShadeMode(int mode) {
  HRESULT hr = S_OK;
  int result = SendCachedState(C.shadeMode, mode, D3DRS_SHADEMODE, mode, &hr);
  return result == 0 && FAILED(hr) ? -1 : result;
}
int SetDeviceCullMode(int mode) {
  DWORD sent = mode == 0 ? D3DCULL_NONE : mode == 2 ? D3DCULL_CW : D3DCULL_CCW;
  return SendCachedState(C.cullMode, mode, D3DRS_CULLMODE, sent);
}
int SetDeviceLighting(int flag) {
  if (!HasDirect3DDevice()) return 0;
  if (!StateFlags.forceSend && C.lighting == flag) return 0;
  DeviceCalls.DeviceSetRenderState(D3DRS_LIGHTING, flag);
  C.lighting = flag;
  StateFlags.stateChanged = 1;
  return 0;
}
int SetDeviceSpecular(int flag) { return SendCachedState(C.specular, flag, D3DRS_SPECULARENABLE, flag); }
int SetDeviceDiffuseSource(int flag) {
  return SendCachedState(C.diffuseSource, flag, D3DRS_DIFFUSEMATERIALSOURCE, flag ? D3DMCS_COLOR1 : D3DMCS_MATERIAL);
}
int SetDeviceSpecularSource(int flag) {
  return SendCachedState(C.specularSource, flag, D3DRS_SPECULARMATERIALSOURCE, flag ? D3DMCS_COLOR2 : D3DMCS_MATERIAL);
}

int SetDeviceAmbient(DWORD color) {
  if (!HasDirect3DDevice()) return -1;
  FlushVertexBatch(0);
  DeviceCalls.DeviceSetRenderState(D3DRS_AMBIENT, color);
  C.ambient[0] = (float)(color >> 16 & 0xFF) / 255.0f;
  C.ambient[1] = (float)(color >> 8 & 0xFF) / 255.0f;
  C.ambient[2] = (float)(color & 0xFF) / 255.0f;
  C.ambient[3] = (float)(color >> 24 & 0xFF) / 255.0f;
  UpdateLightingConstants();
  StateFlags.stateChanged = 1;
  return 0;
}

int SetDeviceMaterial(const D3DMATERIAL9* material) {
  if (!HasDirect3DDevice()) return -1;
  if (!NeedsSend(memcmp(&C.material, material, sizeof(D3DMATERIAL9)) == 0)) return 0;
  C.material = *material;
  float power[4] = {material->Power, 0, 0, 0};
  WriteVertexConstantF(11, &material->Diffuse.r, 1);
  WriteVertexConstantF(12, &material->Specular.r, 1);
  WriteVertexConstantF(13, power, 1);
  WritePixelConstantF(2, &material->Diffuse.r, 1);
  WritePixelConstantF(3, &material->Specular.r, 1);
  WritePixelConstantF(4, power, 1);
  UpdateLightingConstants();
  StateFlags.stateChanged = 1;
  return FAILED(DeviceCalls.DeviceSetMaterial(material)) ? -1 : 0;
}

int SetDeviceFogEnable(int flag) { return SendCachedState(C.fogEnable, flag, D3DRS_FOGENABLE, flag); }

int SetDeviceFogMode(int mode) {
  int result = SendCachedState(C.fogMode, mode, D3DRS_FOGVERTEXMODE, mode);
  if (result == 0 && StateFlags.programmableShaders) {
    int flags[4] = {mode == D3DFOG_LINEAR, mode == D3DFOG_EXP, mode == D3DFOG_EXP2, mode != D3DFOG_NONE};
    WriteVertexConstantB(0, flags, 4);
  }
  return result;
}

int SetDeviceFogColor(DWORD color) {
  if (!HasDirect3DDevice()) return -1;
  if (!NeedsSend(C.fogColor == color)) return 0;
  DeviceCalls.DeviceSetRenderState(D3DRS_FOGCOLOR, color);
  C.fogColor = color;
  float values[4] = {(float)(color >> 16 & 0xFF) / 255.0f, (float)(color >> 8 & 0xFF) / 255.0f,
                     (float)(color & 0xFF) / 255.0f, 1.0f};
  WritePixelConstantF(8, values, 1);
  StateFlags.stateChanged = 1;
  return 0;
}

static DWORD FloatBits(float value) {
  DWORD bits;
  memcpy(&bits, &value, 4);
  return bits;
}

int SetDeviceFogRange(float start, float end) {
  if (!HasDirect3DDevice()) return -1;
  FlushVertexBatch(0);
  if (StateFlags.forceSend || C.fogStart != start) {
    DeviceCalls.DeviceSetRenderState(D3DRS_FOGSTART, FloatBits(start));
    C.fogStart = start;
    WriteFogConstant();
  }
  if (StateFlags.forceSend || C.fogEnd != end) {
    DeviceCalls.DeviceSetRenderState(D3DRS_FOGEND, FloatBits(end));
    C.fogEnd = end;
    WriteFogConstant();
  }
  StateFlags.stateChanged = 1;
  return 0;
}

int SetDeviceFogDensity(float density) {
  if (!HasDirect3DDevice()) return -1;
  if (!NeedsSend(C.fogDensity == density)) return 0;
  DeviceCalls.DeviceSetRenderState(D3DRS_FOGDENSITY, FloatBits(density));
  C.fogDensity = density;
  WriteFogConstant();
  StateFlags.stateChanged = 1;
  return 0;
}

int SetDeviceAddressMode(int mode, int sampler) {
  if (!ValidSampler(sampler)) return -1;
  for (int which = 0; which < 3; which++)
    if (SendAddress(which, mode, sampler) != 0) return -1;
  return 0;
}
int SetDeviceAddressU(int mode, int sampler) { return SendAddress(0, mode, sampler); }
int SetDeviceAddressV(int mode, int sampler) { return SendAddress(1, mode, sampler); }
int SetDeviceAddressW(int mode, int sampler) { return SendAddress(2, mode, sampler); }

int ApplySamplerFilterMode(int mode) {
  static const int kFilters[3][3] = {{D3DTEXF_POINT, D3DTEXF_POINT, D3DTEXF_NONE},
                                     {D3DTEXF_LINEAR, D3DTEXF_LINEAR, D3DTEXF_NONE},
                                     {D3DTEXF_LINEAR, D3DTEXF_ANISOTROPIC, D3DTEXF_LINEAR}};
  if (mode < 0 || mode > 2) return -1;
  if (!HasDirect3DDevice()) return -1;
  if (!NeedsSend(mode == C.filterMode)) return 0;
  for (int s = 0; s < SamplersInUse() && s < 8; s++) SendFilters(s, kFilters[mode]);
  C.filterMode = mode;
  StateFlags.stateChanged = 1;
  return 0;
}

int SetDeviceMaxAnisotropy(int value) {
  if (!HasDirect3DDevice()) return -1;
  if (value <= 0) value = 1;
  for (int s = 0; s < SamplersInUse() && s < 8; s++) {
    if (!NeedsSend(C.samplers[s].maxAnisotropy == value)) continue;
    DeviceCalls.DeviceSetSamplerState(s, D3DSAMP_MAXANISOTROPY, value);
    C.samplers[s].maxAnisotropy = value;
    StateFlags.stateChanged = 1;
  }
  C.maxAnisotropy = value;
  return 0;
}

int SetDeviceTextureTransform(int stage, int enable, const D3DMATRIX* matrix) {
  if (!HasDirect3DDevice()) return -1;
  if (stage < -1 || stage > 7) return -1;
  if (stage == -1) {
    FlushVertexBatch(0);
    for (int s = 0; s < 4; s++) {
      if (enable == 1) {
        DeviceCalls.DeviceSetTextureStageState(s, D3DTSS_TEXTURETRANSFORMFLAGS, D3DTTFF_COUNT3);
        DeviceCalls.DeviceSetTransform((D3DTRANSFORMSTATETYPE)(D3DTS_TEXTURE0 + s), matrix);
        C.textureTransforms[s] = *matrix;
      } else {
        DeviceCalls.DeviceSetTextureStageState(s, D3DTSS_TEXTURETRANSFORMFLAGS, D3DTTFF_DISABLE);
      }
      C.textureTransformEnabled[s] = enable;
    }
    StateFlags.stateChanged = 1;
    return 0;
  }
  if (!C.textureTransformEnabled[stage] && !enable) return 0;
  FlushVertexBatch(0);
  if (enable == 1) {
    if (!C.textureTransformEnabled[stage])
      DeviceCalls.DeviceSetTextureStageState(stage, D3DTSS_TEXTURETRANSFORMFLAGS, D3DTTFF_COUNT3);
    DeviceCalls.DeviceSetTransform((D3DTRANSFORMSTATETYPE)(D3DTS_TEXTURE0 + stage), matrix);
    C.textureTransforms[stage] = *matrix;
  } else {
    DeviceCalls.DeviceSetTextureStageState(stage, D3DTSS_TEXTURETRANSFORMFLAGS, D3DTTFF_DISABLE);
  }
  C.textureTransformEnabled[stage] = enable;
  StateFlags.stateChanged = 1;
  return 0;
}

int ResetTextureCoordIndices() {
  if (!HasDirect3DDevice()) return -1;
  for (int s = 0; s < 8; s++) {
    if (!NeedsSend(C.stages[s].texCoordIndex == s)) continue;
    DeviceCalls.DeviceSetTextureStageState(s, D3DTSS_TEXCOORDINDEX, s);
    C.stages[s].texCoordIndex = s;
    StateFlags.stateChanged = 1;
  }
  return 0;
}

int SetDeviceViewport(int x, int y, int width, int height, float minZ, float maxZ) {
  if (!HasDirect3DDevice()) return -1;
  int equal = C.viewportX == x && C.viewportY == y && C.viewportWidth == width && C.viewportHeight == height;
  if (!NeedsSend(equal)) return 0;
  if (HasDirect3D() && StateFlags.sceneOpen) {
    DeviceCalls.DeviceEndScene();
    StateFlags.sceneOpen = 0;
  }
  D3DVIEWPORT9 viewport = {(DWORD)x, (DWORD)y, (DWORD)width, (DWORD)height, minZ, maxZ};
  HRESULT hr = DeviceCalls.DeviceSetViewport(&viewport);
  if (FAILED(hr)) {
    AddLogLineFormat("ビューポートのセットに失敗しました ErrorCode %x", (unsigned)hr);
    return -1;
  }
  C.viewportX = x, C.viewportY = y, C.viewportWidth = width, C.viewportHeight = height;
  C.viewportMinZ = minZ, C.viewportMaxZ = maxZ;
  StateFlags.stateChanged = 1;
  return 0;
}

int SetDeviceViewportRect(int x1, int y1, int x2, int y2) {
  return SetDeviceViewport(x1, y1, x2 - x1, y2 - y1, 0.0f, 1.0f);
}

int ForceDeviceViewport(int x, int y, int width, int height, float minZ, float maxZ) {
  int saved = StateFlags.forceSend;
  StateFlags.forceSend = 1;
  int result = SetDeviceViewport(x, y, width, height, minZ, maxZ);
  StateFlags.forceSend = saved;
  return result;
}

int SetDeviceScissorRect(const RECT* rect) {
  if (!HasDirect3DDevice()) return -1;
  int equal = C.scissor.left == rect->left && C.scissor.top == rect->top && C.scissor.right == rect->right &&
              C.scissor.bottom == rect->bottom;
  if (!NeedsSend(equal)) return 0;
  if (HasDirect3D() && StateFlags.sceneOpen) {
    DeviceCalls.DeviceEndScene();
    StateFlags.sceneOpen = 0;
  }
  DeviceCalls.DeviceSetScissorRect(rect);
  C.scissor = *rect;
  StateFlags.stateChanged = 1;
  return 0;
}

int SetDeviceRenderTarget(IDirect3DSurface9* surface, int slot) {
  if (slot < 0 || slot > 15) return -1;
  if (!HasDirect3DDevice()) return -1;
  if (!NeedsSend(C.renderTargets[slot] == surface)) return 0;
  DeviceCalls.DeviceSetRenderTarget(slot, surface);
  C.renderTargets[slot] = surface;
  StateFlags.stateChanged = 1;
  if (slot == 0 && surface != nullptr) {
    D3DSURFACE_DESC desc;
    memset(&desc, 0, sizeof(desc));
    DeviceCalls.SurfaceGetDesc(surface, &desc);
    SetDeviceViewportRect(0, 0, (int)desc.Width, (int)desc.Height);
  }
  return 0;
}

int SetDeviceTexture(IDirect3DBaseTexture9* texture) {
  if (!HasDirect3DDevice()) return -1;
  if (!NeedsSend(C.texture == texture)) return 0;
  if ((C.texture == nullptr) != (texture == nullptr)) StateFlags.blendStatesChanged = 1;
  C.texture = texture;
  StateFlags.textureChanged = 1;
  StateFlags.stateChanged = 1;
  return 0;
}

int SetDeviceBlendGraphTexture(IDirect3DBaseTexture9* texture, int width, int height) {
  if (!HasDirect3DDevice()) return -1;
  if (!NeedsSend(C.blendGraphTexture == texture && C.blendGraphWidth == (float)width &&
                 C.blendGraphHeight == (float)height))
    return 0;
  if ((C.blendGraphTexture == nullptr) != (texture == nullptr)) StateFlags.blendStatesChanged = 1;
  C.blendGraphTexture = texture;
  C.blendGraphWidth = (float)width;
  C.blendGraphHeight = (float)height;
  C.blendGraphInvWidth = width != 0 ? 1.0f / (float)width : 0.0f;
  C.blendGraphInvHeight = height != 0 ? 1.0f / (float)height : 0.0f;
  StateFlags.textureChanged = 1;
  StateFlags.stateChanged = 1;
  return 0;
}

int SetDeviceBlendGraphParams(const int* params, int type) {
  if (!HasDirect3DDevice()) return -1;
  int equal = C.blendGraphType == type;
  if (equal && type == 0) equal = C.blendGraphParam == params[0];
  if (equal && type == 1) equal = C.blendGraphBorderParam == params[0] && C.blendGraphBorderRange == params[1];
  if (!NeedsSend(equal)) return 0;
  C.blendGraphType = type;
  if (type == 0) C.blendGraphParam = params[0];
  if (type == 1) C.blendGraphBorderParam = params[0], C.blendGraphBorderRange = params[1];
  StateFlags.blendStatesChanged = 1;
  StateFlags.stateChanged = 1;
  return 0;
}

int SetDeviceColorModulation(int flag) { return Defer(C.colorModulation, flag, &StateFlags.blendStatesChanged); }
int SetDeviceAlphaModulation(int flag) { return Defer(C.alphaModulation, flag, &StateFlags.blendStatesChanged); }

int SetDeviceBlendState(int mode, int textureAlphaBlend, int textureAlphaTest) {
  if (!HasDirect3DDevice()) return -1;
  int equal = C.blendMode == mode && C.textureAlphaBlend == textureAlphaBlend && C.textureAlphaTest == textureAlphaTest;
  if (!NeedsSend(equal)) return 0;
  C.blendMode = mode;
  C.textureAlphaBlend = textureAlphaBlend;
  C.textureAlphaTest = textureAlphaTest;
  StateFlags.blendStatesChanged = 1;
  StateFlags.stateChanged = 1;
  return 0;
}

int SetDeviceAlphaTest(int func, int reference) {
  if (!HasDirect3DDevice()) return -1;
  if (!NeedsSend(C.userAlphaFunc == func && C.userAlphaRef == reference)) return 0;
  C.userAlphaFunc = func;
  C.userAlphaRef = reference;
  StateFlags.blendStatesChanged = 1;
  StateFlags.stateChanged = 1;
  return 0;
}

int SetDeviceExtraBlendFlag(int flag) { return Defer(C.extraBlendFlag, flag, &StateFlags.blendStatesChanged); }
int SetDeviceBlendSwitch(int value) { return Defer(C.blendSwitch, value, &StateFlags.blendStatesChanged); }

int SetDeviceVertexShader(IDirect3DVertexShader9* shader) {
  if (!HasDirect3DDevice()) return -1;
  DeviceCalls.DeviceSetVertexShader(shader);
  C.vertexShader = shader;
  if (shader == nullptr) {
    C.declaration = nullptr;
    C.fvf = 0;
  }
  StateFlags.stateChanged = 1;
  return 0;
}

int SetDevicePixelShader(IDirect3DPixelShader9* shader) {
  if (!HasDirect3DDevice()) return -1;
  DeviceCalls.DeviceSetPixelShader(shader);
  C.pixelShader = shader;
  C.builtInPixelShader = 0;
  StateFlags.stateChanged = 1;
  return 0;
}

int SetDeviceFVF(DWORD fvf) {
  if (!HasDirect3DDevice()) return -1;
  if (!NeedsSend(C.fvf == fvf && C.declaration == nullptr)) return 0;
  DeviceCalls.DeviceSetFVF(fvf);
  C.fvf = fvf;
  C.declaration = nullptr;
  StateFlags.stateChanged = 1;
  return 0;
}

void ForgetShaderBindings() {
  C.vertexShader = nullptr;
  C.pixelShader = nullptr;
  C.builtInPixelShader = 0;
  C.declaration = nullptr;
  C.fvf = 0;
  C.diffuseSource = 255;
  C.specularSource = 255;
  StateFlags.stateChanged = 1;
}

void ForgetCachedDeviceObjects() {
  memset(C.renderTargets, 0, sizeof(C.renderTargets));
  for (STAGE_CACHE& stage : C.stages) stage.texture = nullptr;
  C.texture = nullptr;
  C.blendGraphTexture = nullptr;
  C.lastTexture = nullptr;
  C.vertexShader = nullptr;
  C.pixelShader = nullptr;
  C.builtInPixelShader = 0;
  C.declaration = nullptr;
}

int ResetBasicDeviceStates() {
  if (!HasDirect3DDevice()) return -1;
  if (!StateFlags.forceSend) FlushVertexBatch(0);
  for (int s = 0; s < 4; s++) {
    DeviceCalls.DeviceSetSamplerState(s, D3DSAMP_ADDRESSU, C.samplers[s].address[0]);
    DeviceCalls.DeviceSetSamplerState(s, D3DSAMP_ADDRESSV, C.samplers[s].address[1]);
  }
  static const int kCoordIndices[4] = {0, 1, 1, 0};
  for (int s = 0; s < 4; s++) {
    DeviceCalls.DeviceSetTextureStageState(s, D3DTSS_TEXCOORDINDEX, kCoordIndices[s]);
    C.stages[s].texCoordIndex = kCoordIndices[s];
  }
  if (DeviceCaps.stageTempRegister)
    for (int s = 0; s < 4; s++) {
      DeviceCalls.DeviceSetTextureStageState(s, D3DTSS_RESULTARG, D3DTA_CURRENT);
      C.stages[s].resultTemp = 0;
    }
  DeviceCalls.DeviceSetRenderState(D3DRS_SHADEMODE, C.shadeMode);
  DeviceCalls.DeviceSetRenderState(D3DRS_LIGHTING, C.lighting);
  DeviceCalls.DeviceSetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
  DeviceCalls.DeviceSetRenderState(D3DRS_DITHERENABLE, FALSE);
  const float vertexZero[4] = {0.0f, 1.0f, 0.0f, 0.0f};
  const float pixelZero[4] = {0.0f, 0.5f, 1.0f, 2.0f};
  WriteVertexConstantF(0, vertexZero, 1);
  WritePixelConstantF(0, pixelZero, 1);
  if (C.vertexShader != nullptr) SetDeviceVertexShader(nullptr);
  if (C.pixelShader != nullptr) SetDevicePixelShader(nullptr);
  C.declaration = nullptr;
  C.builtInPixelShader = 0;
  C.fvf = 0;
  return 0;
}

int ResendDeviceStates() {
  if (!HasDirect3DDevice()) return 0;
  StateFlags.forceSend = 1;
  StateFlags.stateChanged = 1;
  SetDeviceViewport(C.viewportX, C.viewportY, C.viewportWidth, C.viewportHeight, C.viewportMinZ, C.viewportMaxZ);
  RECT scissor = C.scissor;
  SetDeviceScissorRect(&scissor);
  SetDeviceTexture(C.texture);
  ResetBasicDeviceStates();
  ApplySamplerFilterMode(C.filterMode < 0 || C.filterMode > 2 ? 0 : C.filterMode);
  ApplyBlendStageStates(1, nullptr, 0);
  SetDeviceZEnable(C.zEnable);
  SetDeviceZWrite(C.zWrite);
  SetDeviceZFunc(C.zFunc);
  SetDeviceDepthBias(C.depthBias);
  SetDeviceFillMode(C.fillMode);
  SetDeviceCullMode(C.cullMode);
  SetDeviceShadeMode(C.shadeMode);
  D3DMATERIAL9 material = C.material;
  SetDeviceMaterial(&material);
  SetDeviceSpecular(C.specular);
  SetDeviceDiffuseSource(C.diffuseSource);
  SetDeviceSpecularSource(C.specularSource);
  ResendAllShaderConstants(&ShaderConstants);
  StateFlags.forceSend = 0;
  return 0;
}

int RestoreDeviceStates() {
  if (!HasDirect3DDevice()) return -1;
  DeviceCalls.DeviceSetRenderState(D3DRS_DITHERENABLE, FALSE);
  C.texture = nullptr;
  VertexBatch.count = 0;
  VertexBatch.writePosition = VertexBatch.starts[VertexBatch.dimension * 3 + VertexBatch.vertexType];
  StateFlags.forceSend = 1;
  StateFlags.blendStatesChanged = 1;
  int graphParams[2] = {C.blendGraphType == 0 ? C.blendGraphParam : C.blendGraphBorderParam, C.blendGraphBorderRange};
  SetDeviceBlendGraphParams(graphParams, C.blendGraphType);
  SetDeviceBlendState(C.blendMode, C.textureAlphaBlend, C.textureAlphaTest);
  SetDeviceBlendSwitch(C.blendSwitch);
  SetDeviceCullMode(C.cullMode);
  ApplySamplerFilterMode(C.filterMode < 0 || C.filterMode > 2 ? 0 : C.filterMode);
  SetDeviceShadeMode(C.shadeMode);
  SetDeviceMaxAnisotropy(C.maxAnisotropy);
  SetDeviceCullMode(C.cullMode);
  for (int s = 0; s < 8; s++)
    for (int which = 0; which < 3; which++) SendAddress(which, C.samplers[s].address[which], s);
  for (int s = 0; s < 8; s++) {
    D3DMATRIX matrix = C.textureTransforms[s];
    SetDeviceTextureTransform(s, C.textureTransformEnabled[s], &matrix);
  }
  SetDeviceFogEnable(C.fogEnable);
  SetDeviceFogMode(C.fogMode);
  SetDeviceFogColor(C.fogColor);
  SetDeviceFogRange(C.fogStart, C.fogEnd);
  SetDeviceFogDensity(C.fogDensity);
  SetDeviceZEnable(C.zEnable);
  SetDeviceZWrite(C.zWrite);
  SetDeviceZFunc(C.zFunc);
  SetDeviceDepthBias(C.depthBias);
  SetDeviceFillMode(C.fillMode);
  const CAMERA_STATE& camera = DrawSettings.camera;
  SetWorldMatrix(camera.world);
  SetViewMatrix(camera.view);
  SetProjectionMatrix(camera.projection);
  SetViewportMatrix(camera.viewport);
  D3DMATERIAL9 material = C.material;
  SetDeviceMaterial(&material);
  SetDeviceSpecular(C.specular);
  SetDeviceDiffuseSource(C.diffuseSource);
  SetDeviceSpecularSource(C.specularSource);
  DWORD ambient = 0;
  for (int i = 0; i < 4; i++) {
    static const int kShift[4] = {16, 8, 0, 24};
    ambient |= (DWORD)(C.ambient[i] * 255.0f + 0.5f) << kShift[i];
  }
  SetDeviceAmbient(ambient);
  SetDeviceLighting(C.lighting);
  ResendDeviceLights();
  const RECT& area = DrawSettings.drawArea;
  SetDeviceViewport(area.left, area.top, area.right - area.left, area.bottom - area.top, 0.0f, 1.0f);
  RECT scissor = C.scissor;
  SetDeviceScissorRect(&scissor);
  ResetTextureCoordIndices();
  ApplyBlendStageStates(1, nullptr, 0);
  ResendDeviceStates();
  StateFlags.forceSend = 0;
  return 0;
}

int InitDeviceStates() {
  if (!HasDirect3DDevice()) return -1;
  memset(C.filterBlock, 0xFF, sizeof(C.filterBlock));
  PrepareVertexBatchBuffers();
  for (int i = 0; i < 8; i++) {
    if (DrawSettings.addressU[i] == 0) DrawSettings.addressU[i] = D3DTADDRESS_CLAMP;
    if (DrawSettings.addressV[i] == 0) DrawSettings.addressV[i] = D3DTADDRESS_CLAMP;
    if (DrawSettings.addressW[i] == 0) DrawSettings.addressW[i] = D3DTADDRESS_CLAMP;
  }

  static const int kInitialFilters[3][3] = {{1, 1, 1}, {2, 2, 2}, {3, 3, 2}};
  int mode = DrawSettings.filterMode < 0 || DrawSettings.filterMode > 2 ? 0 : DrawSettings.filterMode;
  for (int s = 0; s < 8; s++) {
    DeviceCalls.DeviceSetSamplerState(s, D3DSAMP_ADDRESSU, DrawSettings.addressU[s]);
    DeviceCalls.DeviceSetSamplerState(s, D3DSAMP_ADDRESSV, DrawSettings.addressV[s]);
    DeviceCalls.DeviceSetSamplerState(s, D3DSAMP_ADDRESSW, DrawSettings.addressW[s]);
    DeviceCalls.DeviceSetSamplerState(s, D3DSAMP_MAGFILTER, kInitialFilters[mode][0]);
    DeviceCalls.DeviceSetSamplerState(s, D3DSAMP_MINFILTER, kInitialFilters[mode][1]);
    DeviceCalls.DeviceSetSamplerState(s, D3DSAMP_MIPFILTER, kInitialFilters[mode][2]);
    C.samplers[s].magFilter = kInitialFilters[mode][0];
    C.samplers[s].minFilter = kInitialFilters[mode][1];
    C.samplers[s].mipFilter = kInitialFilters[mode][2];
    C.samplers[s].maxAnisotropy = 1;
  }

  static const struct {
    D3DRENDERSTATETYPE state;
    DWORD value;
  } kInitial[] = {
      {D3DRS_CULLMODE, 1}, {D3DRS_LIGHTING, 1}, {D3DRS_SHADEMODE, 1}, {D3DRS_DITHERENABLE, 0},
      {D3DRS_SPECULARENABLE, 1}, {D3DRS_AMBIENTMATERIALSOURCE, 0}, {D3DRS_NORMALIZENORMALS, 1},
      {D3DRS_FOGENABLE, 0}, {D3DRS_FOGVERTEXMODE, 0}, {D3DRS_FOGCOLOR, 0}, {D3DRS_FOGSTART, 0},
      {D3DRS_FOGEND, 0x3F800000},  // 1.0f
  };
  for (const auto& entry : kInitial) DeviceCalls.DeviceSetRenderState(entry.state, entry.value);
  DeviceCalls.DeviceGetMaterial(&C.material);
  ForgetDeviceLights();

  // The cache as the device now stands (nothing more is sent here).
  C.alphaTestEnable = C.alphaRef = C.alphaFunc = C.alphaBlendEnable = 0;
  C.textureFactor = 0;
  C.sourceBlend = C.destBlend = C.blendOp = 0;
  for (STAGE_CACHE& stage : C.stages) {
    stage.texture = nullptr;
    stage.resultTemp = 0;
    stage.alphaOp = D3DTOP_DISABLE, stage.alphaArg1 = D3DTA_TEXTURE, stage.alphaArg2 = D3DTA_DIFFUSE;
    stage.colorOp = D3DTOP_DISABLE, stage.colorArg1 = D3DTA_TEXTURE, stage.colorArg2 = D3DTA_DIFFUSE;
  }
  C.samplersInUse = 0;
  C.packedDiffuse = 0xFFFFFFFF;
  C.userAlphaFunc = -1;
  C.viewportMinZ = 0.0f, C.viewportMaxZ = 1.0f;
  C.viewportWidth = ScreenState.deviceWidth, C.viewportHeight = ScreenState.deviceHeight;
  for (int s = 0; s < 8; s++) {
    C.samplers[s].address[0] = DrawSettings.addressU[s];
    C.samplers[s].address[1] = DrawSettings.addressV[s];
    C.samplers[s].address[2] = DrawSettings.addressW[s];
  }
  C.zEnable = 1, C.zWrite = 0, C.zFunc = D3DCMP_LESSEQUAL, C.depthBias = 0, C.fillMode = D3DFILL_SOLID;
  C.blendSwitch = 0, C.extraBlendFlag = 0;
  StateFlags.blendStatesChanged = 1, StateFlags.textureChanged = 0, StateFlags.skipDraw = 0;
  C.cullMode = 0, C.specular = 1, C.viewportX = 0, C.viewportY = 0;
  C.fogDensity = 0.0f, C.fogStart = 0.0f, C.lighting = 1;
  C.filterMode = 3;  // so that the first real mode differs
  C.fogEnd = 1.0f, C.maxAnisotropy = 1;
  memset(C.renderTargets, 0, sizeof(C.renderTargets));
  C.renderTargets[0] = GetScreenSurface();
  StateFlags.sceneOpen = 0;
  C.blendGraphTexture = nullptr, C.blendGraphType = 0, C.texture = nullptr;
  C.shadeMode = D3DSHADE_FLAT, C.fogEnable = 0, C.fogColor = 0, C.fogMode = D3DFOG_NONE;

  ResendDeviceStates();
  if (HasDirect3D() && !StateFlags.sceneOpen) BeginDeviceScene();
  PrepareDrawStates(nullptr, 0);

  // One textured point left pending; the write position advances by that vertex type's stride.
  FlushVertexBatch(0);
  VertexBatch.dimension = 0;
  VertexBatch.vertexType = 1;
  VertexBatch.primitive = D3DPT_POINTLIST;
  VertexBatch.count = 0;
  VertexBatch.writePosition = VertexBatch.starts[1];
  VERTEX_2D_TEX* point = (VERTEX_2D_TEX*)VertexBatch.writePosition;
  point->x = point->y = point->z = 0.0f;
  CommitBatchVertices(1);
  return 0;
}
