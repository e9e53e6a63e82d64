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
    if (!NeedsSend(DeviceStateCache.samplers[s].address[which] == mode)) continue;
    DeviceCalls.DeviceSetSamplerState(s, kStates[which], mode);
    DeviceStateCache.samplers[s].address[which] = mode;
    StateFlags.stateChanged = 1;
  }
  return 0;
}

void SendFilters(int sampler, const int filters[3]) {
  static const D3DSAMPLERSTATETYPE kStates[3] = {D3DSAMP_MAGFILTER, D3DSAMP_MINFILTER, D3DSAMP_MIPFILTER};
  int* cached[3] = {&DeviceStateCache.samplers[sampler].magFilter, &DeviceStateCache.samplers[sampler].minFilter,
                    &DeviceStateCache.samplers[sampler].mipFilter};
  for (int i = 0; i < 3; i++) {
    if (!StateFlags.forceSend && *cached[i] == filters[i]) continue;
    DeviceCalls.DeviceSetSamplerState(sampler, kStates[i], filters[i]);
    *cached[i] = filters[i];
  }
}

int SamplersInUse() { return DeviceStateCache.samplersInUse > 4 ? DeviceStateCache.samplersInUse : 4; }

void WriteFogConstant() {
  float range = DeviceStateCache.fogEnd - DeviceStateCache.fogStart;
  float values[4] = {range != 0.0f ? DeviceStateCache.fogEnd / range : 0.0f, range != 0.0f ? -1.0f / range : 0.0f,
                     DeviceStateCache.fogDensity, 2.7182817f};
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

int SetDeviceZEnable(int value) { return SendCachedState(DeviceStateCache.zEnable, value, D3DRS_ZENABLE, value == 1); }
int SetDeviceZWrite(int value) { return SendCachedState(DeviceStateCache.zWrite, value, D3DRS_ZWRITEENABLE, value); }
int SetDeviceZFunc(int func) { return SendCachedState(DeviceStateCache.zFunc, func, D3DRS_ZFUNC, func); }
int SetDeviceDepthBias(int bias) { return SendCachedState(DeviceStateCache.depthBias, bias, D3DRS_DEPTHBIAS, bias); }
int SetDeviceFillMode(int mode) { return SendCachedState(DeviceStateCache.fillMode, mode, D3DRS_FILLMODE, mode); }
int SetDeviceShadeMode(int mode) {
  HRESULT hr = S_OK;
  int result = SendCachedState(DeviceStateCache.shadeMode, mode, D3DRS_SHADEMODE, mode, &hr);
  return result == 0 && FAILED(hr) ? -1 : result;
}
int SetDeviceCullMode(int mode) {
  DWORD sent = mode == 0 ? D3DCULL_NONE : mode == 2 ? D3DCULL_CW : D3DCULL_CCW;
  return SendCachedState(DeviceStateCache.cullMode, mode, D3DRS_CULLMODE, sent);
}
int SetDeviceLighting(int flag) {
  if (!HasDirect3DDevice()) return 0;
  if (!StateFlags.forceSend && DeviceStateCache.lighting == flag) return 0;
  DeviceCalls.DeviceSetRenderState(D3DRS_LIGHTING, flag);
  DeviceStateCache.lighting = flag;
  StateFlags.stateChanged = 1;
  ComputeLightShaderVariants();
  return 0;
}
int SetDeviceSpecular(int flag) { return SendCachedState(DeviceStateCache.specular, flag, D3DRS_SPECULARENABLE, flag); }
int SetDeviceDiffuseSource(int flag) {
  return SendCachedState(DeviceStateCache.diffuseSource, flag, D3DRS_DIFFUSEMATERIALSOURCE,
                         flag ? D3DMCS_COLOR1 : D3DMCS_MATERIAL);
}
int SetDeviceSpecularSource(int flag) {
  return SendCachedState(DeviceStateCache.specularSource, flag, D3DRS_SPECULARMATERIALSOURCE,
                         flag ? D3DMCS_COLOR2 : D3DMCS_MATERIAL);
}

int SetDeviceAmbient(DWORD color) {
  if (!HasDirect3DDevice()) return -1;
  FlushVertexBatch(0);
  DeviceCalls.DeviceSetRenderState(D3DRS_AMBIENT, color);
  DeviceStateCache.ambient[0] = (float)(color >> 16 & 0xFF) / 255.0f;
  DeviceStateCache.ambient[1] = (float)(color >> 8 & 0xFF) / 255.0f;
  DeviceStateCache.ambient[2] = (float)(color & 0xFF) / 255.0f;
  DeviceStateCache.ambient[3] = (float)(color >> 24 & 0xFF) / 255.0f;
  UpdateLightingConstants();
  StateFlags.stateChanged = 1;
  return 0;
}

int SetDeviceMaterial(const D3DMATERIAL9* material) {
  if (!HasDirect3DDevice()) return -1;
  if (!NeedsSend(memcmp(&DeviceStateCache.material, material, sizeof(D3DMATERIAL9)) == 0)) return 0;
  DeviceStateCache.material = *material;
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

// The fog setters also renumber the built-in shader variants, which depend on the fog.
int SetDeviceFogEnable(int flag) {
  int result = SendCachedState(DeviceStateCache.fogEnable, flag, D3DRS_FOGENABLE, flag);
  ComputeLightShaderVariants();
  return result;
}

int SetDeviceFogMode(int mode) {
  int result = SendCachedState(DeviceStateCache.fogMode, mode, D3DRS_FOGVERTEXMODE, mode);
  if (result == 0 && StateFlags.programmableShaders) {
    int flags[4] = {mode == D3DFOG_LINEAR, mode == D3DFOG_EXP, mode == D3DFOG_EXP2, mode != D3DFOG_NONE};
    WriteVertexConstantB(0, flags, 4);
  }
  ComputeLightShaderVariants();
  return result;
}

int SetDeviceFogColor(DWORD color) {
  if (!HasDirect3DDevice()) return -1;
  if (!NeedsSend(DeviceStateCache.fogColor == color)) return 0;
  DeviceCalls.DeviceSetRenderState(D3DRS_FOGCOLOR, color);
  DeviceStateCache.fogColor = color;
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
  if (StateFlags.forceSend || DeviceStateCache.fogStart != start) {
    DeviceCalls.DeviceSetRenderState(D3DRS_FOGSTART, FloatBits(start));
    DeviceStateCache.fogStart = start;
    WriteFogConstant();
  }
  if (StateFlags.forceSend || DeviceStateCache.fogEnd != end) {
    DeviceCalls.DeviceSetRenderState(D3DRS_FOGEND, FloatBits(end));
    DeviceStateCache.fogEnd = end;
    WriteFogConstant();
  }
  StateFlags.stateChanged = 1;
  return 0;
}

int SetDeviceFogDensity(float density) {
  if (!HasDirect3DDevice()) return -1;
  if (!NeedsSend(DeviceStateCache.fogDensity == density)) return 0;
  DeviceCalls.DeviceSetRenderState(D3DRS_FOGDENSITY, FloatBits(density));
  DeviceStateCache.fogDensity = density;
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
  if (!NeedsSend(mode == DeviceStateCache.filterMode)) return 0;
  for (int s = 0; s < SamplersInUse() && s < 8; s++) SendFilters(s, kFilters[mode]);
  DeviceStateCache.filterMode = mode;
  StateFlags.stateChanged = 1;
  return 0;
}

int SetDeviceMaxAnisotropy(int value) {
  if (!HasDirect3DDevice()) return -1;
  if (value <= 0) value = 1;
  for (int s = 0; s < SamplersInUse() && s < 8; s++) {
    if (!NeedsSend(DeviceStateCache.samplers[s].maxAnisotropy == value)) continue;
    DeviceCalls.DeviceSetSamplerState(s, D3DSAMP_MAXANISOTROPY, value);
    DeviceStateCache.samplers[s].maxAnisotropy = value;
    StateFlags.stateChanged = 1;
  }
  DeviceStateCache.maxAnisotropy = value;
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
        DeviceStateCache.textureTransforms[s] = *matrix;
      } else {
        DeviceCalls.DeviceSetTextureStageState(s, D3DTSS_TEXTURETRANSFORMFLAGS, D3DTTFF_DISABLE);
      }
      DeviceStateCache.textureTransformEnabled[s] = enable;
    }
    StateFlags.stateChanged = 1;
    return 0;
  }
  if (!DeviceStateCache.textureTransformEnabled[stage] && !enable) return 0;
  FlushVertexBatch(0);
  if (enable == 1) {
    if (!DeviceStateCache.textureTransformEnabled[stage])
      DeviceCalls.DeviceSetTextureStageState(stage, D3DTSS_TEXTURETRANSFORMFLAGS, D3DTTFF_COUNT3);
    DeviceCalls.DeviceSetTransform((D3DTRANSFORMSTATETYPE)(D3DTS_TEXTURE0 + stage), matrix);
    DeviceStateCache.textureTransforms[stage] = *matrix;
  } else {
    DeviceCalls.DeviceSetTextureStageState(stage, D3DTSS_TEXTURETRANSFORMFLAGS, D3DTTFF_DISABLE);
  }
  DeviceStateCache.textureTransformEnabled[stage] = enable;
  StateFlags.stateChanged = 1;
  return 0;
}

int ResetTextureCoordIndices() {
  if (!HasDirect3DDevice()) return -1;
  for (int s = 0; s < 8; s++) {
    if (!NeedsSend(DeviceStateCache.stages[s].texCoordIndex == s)) continue;
    DeviceCalls.DeviceSetTextureStageState(s, D3DTSS_TEXCOORDINDEX, s);
    DeviceStateCache.stages[s].texCoordIndex = s;
    StateFlags.stateChanged = 1;
  }
  return 0;
}

int SetDeviceViewport(int x, int y, int width, int height, float minZ, float maxZ) {
  if (!HasDirect3DDevice()) return -1;
  int equal = DeviceStateCache.viewportX == x && DeviceStateCache.viewportY == y &&
              DeviceStateCache.viewportWidth == width && DeviceStateCache.viewportHeight == height;
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
  DeviceStateCache.viewportX = x, DeviceStateCache.viewportY = y, DeviceStateCache.viewportWidth = width,
  DeviceStateCache.viewportHeight = height;
  DeviceStateCache.viewportMinZ = minZ, DeviceStateCache.viewportMaxZ = maxZ;
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
  int equal = DeviceStateCache.scissor.left == rect->left && DeviceStateCache.scissor.top == rect->top &&
              DeviceStateCache.scissor.right == rect->right && DeviceStateCache.scissor.bottom == rect->bottom;
  if (!NeedsSend(equal)) return 0;
  if (HasDirect3D() && StateFlags.sceneOpen) {
    DeviceCalls.DeviceEndScene();
    StateFlags.sceneOpen = 0;
  }
  DeviceCalls.DeviceSetScissorRect(rect);
  DeviceStateCache.scissor = *rect;
  StateFlags.stateChanged = 1;
  return 0;
}

int SetDeviceRenderTarget(IDirect3DSurface9* surface, int slot) {
  if (slot < 0 || slot > 15) return -1;
  if (!HasDirect3DDevice()) return -1;
  if (!NeedsSend(DeviceStateCache.renderTargets[slot] == surface)) return 0;
  DeviceCalls.DeviceSetRenderTarget(slot, surface);
  DeviceStateCache.renderTargets[slot] = surface;
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
  if (!NeedsSend(DeviceStateCache.texture == texture)) return 0;
  if ((DeviceStateCache.texture == nullptr) != (texture == nullptr)) StateFlags.blendStatesChanged = 1;
  DeviceStateCache.texture = texture;
  StateFlags.textureChanged = 1;
  StateFlags.stateChanged = 1;
  return 0;
}

int SetDeviceBlendGraphTexture(IDirect3DBaseTexture9* texture, int width, int height) {
  if (!HasDirect3DDevice()) return -1;
  if (!NeedsSend(DeviceStateCache.blendGraphTexture == texture && DeviceStateCache.blendGraphWidth == (float)width &&
                 DeviceStateCache.blendGraphHeight == (float)height))
    return 0;
  if ((DeviceStateCache.blendGraphTexture == nullptr) != (texture == nullptr)) StateFlags.blendStatesChanged = 1;
  DeviceStateCache.blendGraphTexture = texture;
  DeviceStateCache.blendGraphWidth = (float)width;
  DeviceStateCache.blendGraphHeight = (float)height;
  DeviceStateCache.blendGraphInvWidth = width != 0 ? 1.0f / (float)width : 0.0f;
  DeviceStateCache.blendGraphInvHeight = height != 0 ? 1.0f / (float)height : 0.0f;
  StateFlags.textureChanged = 1;
  StateFlags.stateChanged = 1;
  return 0;
}

int SetDeviceBlendGraphParams(const int* params, int type) {
  if (!HasDirect3DDevice()) return -1;
  int equal = DeviceStateCache.blendGraphType == type;
  if (equal && type == 0) equal = DeviceStateCache.blendGraphParam == params[0];
  if (equal && type == 1)
    equal = DeviceStateCache.blendGraphBorderParam == params[0] && DeviceStateCache.blendGraphBorderRange == params[1];
  if (!NeedsSend(equal)) return 0;
  DeviceStateCache.blendGraphType = type;
  if (type == 0) DeviceStateCache.blendGraphParam = params[0];
  if (type == 1) DeviceStateCache.blendGraphBorderParam = params[0], DeviceStateCache.blendGraphBorderRange = params[1];
  StateFlags.blendStatesChanged = 1;
  StateFlags.stateChanged = 1;
  return 0;
}

int SetDeviceColorModulation(int flag) {
  return Defer(DeviceStateCache.colorModulation, flag, &StateFlags.blendStatesChanged);
}
int SetDeviceAlphaModulation(int flag) {
  return Defer(DeviceStateCache.alphaModulation, flag, &StateFlags.blendStatesChanged);
}

int SetDeviceBlendState(int mode, int textureAlphaBlend, int textureAlphaTest) {
  if (!HasDirect3DDevice()) return -1;
  int equal = DeviceStateCache.blendMode == mode && DeviceStateCache.textureAlphaBlend == textureAlphaBlend &&
              DeviceStateCache.textureAlphaTest == textureAlphaTest;
  if (!NeedsSend(equal)) return 0;
  DeviceStateCache.blendMode = mode;
  DeviceStateCache.textureAlphaBlend = textureAlphaBlend;
  DeviceStateCache.textureAlphaTest = textureAlphaTest;
  StateFlags.blendStatesChanged = 1;
  StateFlags.stateChanged = 1;
  return 0;
}

int SetDeviceAlphaTest(int func, int reference) {
  if (!HasDirect3DDevice()) return -1;
  if (!NeedsSend(DeviceStateCache.userAlphaFunc == func && DeviceStateCache.userAlphaRef == reference)) return 0;
  DeviceStateCache.userAlphaFunc = func;
  DeviceStateCache.userAlphaRef = reference;
  StateFlags.blendStatesChanged = 1;
  StateFlags.stateChanged = 1;
  return 0;
}

int SetDeviceExtraBlendFlag(int flag) {
  return Defer(DeviceStateCache.extraBlendFlag, flag, &StateFlags.blendStatesChanged);
}
int SetDeviceBlendSwitch(int value) {
  return Defer(DeviceStateCache.blendSwitch, value, &StateFlags.blendStatesChanged);
}

int SetDeviceVertexShader(IDirect3DVertexShader9* shader) {
  if (!HasDirect3DDevice()) return -1;
  DeviceCalls.DeviceSetVertexShader(shader);
  DeviceStateCache.vertexShader = shader;
  if (shader == nullptr) {
    DeviceStateCache.declaration = nullptr;
    DeviceStateCache.fvf = 0;
  }
  StateFlags.stateChanged = 1;
  return 0;
}

int SetDevicePixelShader(IDirect3DPixelShader9* shader) {
  if (!HasDirect3DDevice()) return -1;
  DeviceCalls.DeviceSetPixelShader(shader);
  DeviceStateCache.pixelShader = shader;
  DeviceStateCache.builtInPixelShader = 0;
  StateFlags.stateChanged = 1;
  return 0;
}

int SetDeviceFVF(DWORD fvf) {
  if (!HasDirect3DDevice()) return -1;
  if (!NeedsSend(DeviceStateCache.fvf == fvf && DeviceStateCache.declaration == nullptr)) return 0;
  DeviceCalls.DeviceSetFVF(fvf);
  DeviceStateCache.fvf = fvf;
  DeviceStateCache.declaration = nullptr;
  StateFlags.stateChanged = 1;
  return 0;
}

void UnbindDeviceShaders() {
  DeviceCalls.DeviceSetVertexShader(nullptr);
  DeviceCalls.DeviceSetPixelShader(nullptr);
  DeviceStateCache.vertexShader = nullptr;
  DeviceStateCache.pixelShader = nullptr;
  DeviceStateCache.builtInPixelShader = 0;
}

void ForgetCachedShader(const void* shader) {
  if ((const void*)DeviceStateCache.vertexShader == shader) DeviceStateCache.vertexShader = nullptr;
  if ((const void*)DeviceStateCache.pixelShader == shader) DeviceStateCache.pixelShader = nullptr;
}

void ForgetCachedDeclaration() { DeviceStateCache.declaration = nullptr; }

void BindShaderIfChanged(IDirect3DVertexShader9* shader) {
  if (DeviceStateCache.vertexShader == shader || StateFlags.forceSend) return;
  DeviceStateCache.vertexShader = shader;
  DeviceCalls.DeviceSetVertexShader(shader);
  StateFlags.stateChanged = 1;
}

void BindShaderIfChanged(IDirect3DPixelShader9* shader) {
  if (DeviceStateCache.pixelShader == shader || StateFlags.forceSend) return;
  DeviceStateCache.pixelShader = shader;
  DeviceCalls.DeviceSetPixelShader(shader);
  DeviceStateCache.builtInPixelShader = 0;
  StateFlags.stateChanged = 1;
}

void ForgetShaderBindings() {
  DeviceStateCache.vertexShader = nullptr;
  DeviceStateCache.pixelShader = nullptr;
  DeviceStateCache.builtInPixelShader = 0;
  DeviceStateCache.declaration = nullptr;
  DeviceStateCache.fvf = 0;
  DeviceStateCache.diffuseSource = 255;
  DeviceStateCache.specularSource = 255;
  StateFlags.stateChanged = 1;
}

void ForgetCachedDeviceObjects() {
  memset(DeviceStateCache.renderTargets, 0, sizeof(DeviceStateCache.renderTargets));
  for (STAGE_CACHE& stage : DeviceStateCache.stages) stage.texture = nullptr;
  DeviceStateCache.texture = nullptr;
  DeviceStateCache.blendGraphTexture = nullptr;
  DeviceStateCache.lastTexture = nullptr;
  DeviceStateCache.vertexShader = nullptr;
  DeviceStateCache.pixelShader = nullptr;
  DeviceStateCache.builtInPixelShader = 0;
  DeviceStateCache.declaration = nullptr;
}

int ResetBasicDeviceStates() {
  if (!HasDirect3DDevice()) return -1;
  if (!StateFlags.forceSend) FlushVertexBatch(0);
  for (int s = 0; s < 4; s++) {
    DeviceCalls.DeviceSetSamplerState(s, D3DSAMP_ADDRESSU, DeviceStateCache.samplers[s].address[0]);
    DeviceCalls.DeviceSetSamplerState(s, D3DSAMP_ADDRESSV, DeviceStateCache.samplers[s].address[1]);
  }
  static const int kCoordIndices[4] = {0, 1, 1, 0};
  for (int s = 0; s < 4; s++) {
    DeviceCalls.DeviceSetTextureStageState(s, D3DTSS_TEXCOORDINDEX, kCoordIndices[s]);
    DeviceStateCache.stages[s].texCoordIndex = kCoordIndices[s];
  }
  if (DeviceCaps.stageTempRegister)
    for (int s = 0; s < 4; s++) {
      DeviceCalls.DeviceSetTextureStageState(s, D3DTSS_RESULTARG, D3DTA_CURRENT);
      DeviceStateCache.stages[s].resultTemp = 0;
    }
  DeviceCalls.DeviceSetRenderState(D3DRS_SHADEMODE, DeviceStateCache.shadeMode);
  DeviceCalls.DeviceSetRenderState(D3DRS_LIGHTING, DeviceStateCache.lighting);
  DeviceCalls.DeviceSetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
  DeviceCalls.DeviceSetRenderState(D3DRS_DITHERENABLE, FALSE);
  const float vertexZero[4] = {0.0f, 1.0f, 0.0f, 0.0f};
  const float pixelZero[4] = {0.0f, 0.5f, 1.0f, 2.0f};
  WriteVertexConstantF(0, vertexZero, 1);
  WritePixelConstantF(0, pixelZero, 1);
  if (DeviceStateCache.vertexShader != nullptr) SetDeviceVertexShader(nullptr);
  if (DeviceStateCache.pixelShader != nullptr) SetDevicePixelShader(nullptr);
  DeviceStateCache.declaration = nullptr;
  DeviceStateCache.builtInPixelShader = 0;
  DeviceStateCache.fvf = 0;
  return 0;
}

int ResendDeviceStates() {
  if (!HasDirect3DDevice()) return 0;
  StateFlags.forceSend = 1;
  StateFlags.stateChanged = 1;
  SetDeviceViewport(DeviceStateCache.viewportX, DeviceStateCache.viewportY, DeviceStateCache.viewportWidth,
                    DeviceStateCache.viewportHeight, DeviceStateCache.viewportMinZ, DeviceStateCache.viewportMaxZ);
  RECT scissor = DeviceStateCache.scissor;
  SetDeviceScissorRect(&scissor);
  SetDeviceTexture(DeviceStateCache.texture);
  ResetBasicDeviceStates();
  ApplySamplerFilterMode(
      DeviceStateCache.filterMode < 0 || DeviceStateCache.filterMode > 2 ? 0 : DeviceStateCache.filterMode);
  ApplyBlendStageStates(1, nullptr, 0);
  SetDeviceZEnable(DeviceStateCache.zEnable);
  SetDeviceZWrite(DeviceStateCache.zWrite);
  SetDeviceZFunc(DeviceStateCache.zFunc);
  SetDeviceDepthBias(DeviceStateCache.depthBias);
  SetDeviceFillMode(DeviceStateCache.fillMode);
  SetDeviceCullMode(DeviceStateCache.cullMode);
  SetDeviceShadeMode(DeviceStateCache.shadeMode);
  D3DMATERIAL9 material = DeviceStateCache.material;
  SetDeviceMaterial(&material);
  SetDeviceSpecular(DeviceStateCache.specular);
  SetDeviceDiffuseSource(DeviceStateCache.diffuseSource);
  SetDeviceSpecularSource(DeviceStateCache.specularSource);
  ResendAllShaderConstants(&ShaderConstants);
  StateFlags.forceSend = 0;
  return 0;
}

int RestoreDeviceStates() {
  if (!HasDirect3DDevice()) return -1;
  DeviceCalls.DeviceSetRenderState(D3DRS_DITHERENABLE, FALSE);
  DeviceStateCache.texture = nullptr;
  DiscardBatchVertices();
  StateFlags.forceSend = 1;
  StateFlags.blendStatesChanged = 1;
  int graphParams[2] = {
      DeviceStateCache.blendGraphType == 0 ? DeviceStateCache.blendGraphParam : DeviceStateCache.blendGraphBorderParam,
      DeviceStateCache.blendGraphBorderRange};
  SetDeviceBlendGraphParams(graphParams, DeviceStateCache.blendGraphType);
  SetDeviceBlendState(DeviceStateCache.blendMode, DeviceStateCache.textureAlphaBlend,
                      DeviceStateCache.textureAlphaTest);
  SetDeviceBlendSwitch(DeviceStateCache.blendSwitch);
  SetDeviceCullMode(DeviceStateCache.cullMode);
  ApplySamplerFilterMode(
      DeviceStateCache.filterMode < 0 || DeviceStateCache.filterMode > 2 ? 0 : DeviceStateCache.filterMode);
  SetDeviceShadeMode(DeviceStateCache.shadeMode);
  SetDeviceMaxAnisotropy(DeviceStateCache.maxAnisotropy);
  SetDeviceCullMode(DeviceStateCache.cullMode);
  for (int s = 0; s < 8; s++)
    for (int which = 0; which < 3; which++) SendAddress(which, DeviceStateCache.samplers[s].address[which], s);
  for (int s = 0; s < 8; s++) {
    D3DMATRIX matrix = DeviceStateCache.textureTransforms[s];
    SetDeviceTextureTransform(s, DeviceStateCache.textureTransformEnabled[s], &matrix);
  }
  SetDeviceFogEnable(DeviceStateCache.fogEnable);
  SetDeviceFogMode(DeviceStateCache.fogMode);
  SetDeviceFogColor(DeviceStateCache.fogColor);
  SetDeviceFogRange(DeviceStateCache.fogStart, DeviceStateCache.fogEnd);
  SetDeviceFogDensity(DeviceStateCache.fogDensity);
  SetDeviceZEnable(DeviceStateCache.zEnable);
  SetDeviceZWrite(DeviceStateCache.zWrite);
  SetDeviceZFunc(DeviceStateCache.zFunc);
  SetDeviceDepthBias(DeviceStateCache.depthBias);
  SetDeviceFillMode(DeviceStateCache.fillMode);
  const CAMERA_STATE& camera = DrawSettings.camera;
  SetWorldMatrix(camera.world);
  SetViewMatrix(camera.view);
  SetProjectionMatrix(camera.projection);
  SetViewportMatrix(camera.viewport);
  D3DMATERIAL9 material = DeviceStateCache.material;
  SetDeviceMaterial(&material);
  SetDeviceSpecular(DeviceStateCache.specular);
  SetDeviceDiffuseSource(DeviceStateCache.diffuseSource);
  SetDeviceSpecularSource(DeviceStateCache.specularSource);
  DWORD ambient = 0;
  for (int i = 0; i < 4; i++) {
    static const int kShift[4] = {16, 8, 0, 24};
    ambient |= (DWORD)(DeviceStateCache.ambient[i] * 255.0f + 0.5f) << kShift[i];
  }
  SetDeviceAmbient(ambient);
  SetDeviceLighting(DeviceStateCache.lighting);
  ResendDeviceLights();
  const RECT& area = DrawSettings.drawArea;
  SetDeviceViewport(area.left, area.top, area.right - area.left, area.bottom - area.top, 0.0f, 1.0f);
  RECT scissor = DeviceStateCache.scissor;
  SetDeviceScissorRect(&scissor);
  ResetTextureCoordIndices();
  ApplyBlendStageStates(1, nullptr, 0);
  ResendDeviceStates();
  StateFlags.forceSend = 0;
  return 0;
}

int InitDeviceStates() {
  if (!HasDirect3DDevice()) return -1;
  memset(DeviceStateCache.filterBlock, 0xFF, sizeof(DeviceStateCache.filterBlock));
  PrepareVertexBatchBuffers();
  DefaultAddressModesToClamp();

  static const int kInitialFilters[3][3] = {{1, 1, 1}, {2, 2, 2}, {3, 3, 2}};
  int mode = DrawSettings.filterMode < 0 || DrawSettings.filterMode > 2 ? 0 : DrawSettings.filterMode;
  for (int s = 0; s < 8; s++) {
    DeviceCalls.DeviceSetSamplerState(s, D3DSAMP_ADDRESSU, DrawSettings.addressU[s]);
    DeviceCalls.DeviceSetSamplerState(s, D3DSAMP_ADDRESSV, DrawSettings.addressV[s]);
    DeviceCalls.DeviceSetSamplerState(s, D3DSAMP_ADDRESSW, DrawSettings.addressW[s]);
    DeviceCalls.DeviceSetSamplerState(s, D3DSAMP_MAGFILTER, kInitialFilters[mode][0]);
    DeviceCalls.DeviceSetSamplerState(s, D3DSAMP_MINFILTER, kInitialFilters[mode][1]);
    DeviceCalls.DeviceSetSamplerState(s, D3DSAMP_MIPFILTER, kInitialFilters[mode][2]);
    DeviceStateCache.samplers[s].magFilter = kInitialFilters[mode][0];
    DeviceStateCache.samplers[s].minFilter = kInitialFilters[mode][1];
    DeviceStateCache.samplers[s].mipFilter = kInitialFilters[mode][2];
    DeviceStateCache.samplers[s].maxAnisotropy = 1;
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
  DeviceCalls.DeviceGetMaterial(&DeviceStateCache.material);
  ForgetDeviceLights();

  // The cache as the device now stands (nothing more is sent here).
  DeviceStateCache.alphaTestEnable = DeviceStateCache.alphaRef = DeviceStateCache.alphaFunc =
      DeviceStateCache.alphaBlendEnable = 0;
  DeviceStateCache.textureFactor = 0;
  DeviceStateCache.sourceBlend = DeviceStateCache.destBlend = DeviceStateCache.blendOp = 0;
  for (STAGE_CACHE& stage : DeviceStateCache.stages) {
    stage.texture = nullptr;
    stage.resultTemp = 0;
    stage.alphaOp = D3DTOP_DISABLE, stage.alphaArg1 = D3DTA_TEXTURE, stage.alphaArg2 = D3DTA_DIFFUSE;
    stage.colorOp = D3DTOP_DISABLE, stage.colorArg1 = D3DTA_TEXTURE, stage.colorArg2 = D3DTA_DIFFUSE;
  }
  DeviceStateCache.samplersInUse = 0;
  DeviceStateCache.packedDiffuse = 0xFFFFFFFF;
  DeviceStateCache.userAlphaFunc = -1;
  DeviceStateCache.viewportMinZ = 0.0f, DeviceStateCache.viewportMaxZ = 1.0f;
  DeviceStateCache.viewportWidth = ScreenState.deviceWidth, DeviceStateCache.viewportHeight = ScreenState.deviceHeight;
  for (int s = 0; s < 8; s++) {
    DeviceStateCache.samplers[s].address[0] = DrawSettings.addressU[s];
    DeviceStateCache.samplers[s].address[1] = DrawSettings.addressV[s];
    DeviceStateCache.samplers[s].address[2] = DrawSettings.addressW[s];
  }
  DeviceStateCache.zEnable = 1, DeviceStateCache.zWrite = 0, DeviceStateCache.zFunc = D3DCMP_LESSEQUAL,
  DeviceStateCache.depthBias = 0, DeviceStateCache.fillMode = D3DFILL_SOLID;
  DeviceStateCache.blendSwitch = 0, DeviceStateCache.extraBlendFlag = 0;
  StateFlags.blendStatesChanged = 1, StateFlags.textureChanged = 0, StateFlags.skipDraw = 0;
  DeviceStateCache.cullMode = 0, DeviceStateCache.specular = 1, DeviceStateCache.viewportX = 0,
  DeviceStateCache.viewportY = 0;
  DeviceStateCache.fogDensity = 0.0f, DeviceStateCache.fogStart = 0.0f, DeviceStateCache.lighting = 1;
  DeviceStateCache.filterMode = 3;  // so that the first real mode differs
  DeviceStateCache.fogEnd = 1.0f, DeviceStateCache.maxAnisotropy = 1;
  memset(DeviceStateCache.renderTargets, 0, sizeof(DeviceStateCache.renderTargets));
  DeviceStateCache.renderTargets[0] = GetScreenSurface();
  StateFlags.sceneOpen = 0;
  DeviceStateCache.blendGraphTexture = nullptr, DeviceStateCache.blendGraphType = 0, DeviceStateCache.texture = nullptr;
  DeviceStateCache.shadeMode = D3DSHADE_FLAT, DeviceStateCache.fogEnable = 0, DeviceStateCache.fogColor = 0,
  DeviceStateCache.fogMode = D3DFOG_NONE;

  ResendDeviceStates();
  if (HasDirect3D() && !StateFlags.sceneOpen) BeginDeviceScene();
  PrepareDrawStates(nullptr, 0);

  // One textured point left pending; the write position advances by that vertex type's stride.
  FlushVertexBatch(0);
  VERTEX_2D_TEX* point = (VERTEX_2D_TEX*)RestartBatch(0, 1, D3DPT_POINTLIST);
  point->x = point->y = point->z = 0.0f;
  CommitBatchVertices(1);
  return 0;
}
