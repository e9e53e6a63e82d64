// The device state cache: every Direct3D state the library sets goes through a setter here that
// compares with the value last sent, flushes the vertex batch before a change, sends and
// caches. Blend-related states are deferred and applied in one pass by ApplyBlendStageStates.
#pragma once
#include <d3d9.h>

#include "graphics/device/d3d_calls.h"

struct STATE_FLAGS {
  int forceSend;            // send and re-cache even unchanged values
  int stateChanged;         // cleared by PrepareDrawStates
  int blendStatesChanged;   // the deferred group changed
  int textureChanged;
  int sceneOpen;
  int programmableShaders;  // shader constants reach the device only while set
  int skipDraw;             // the flush discards vertices
};

struct STAGE_CACHE {
  IDirect3DBaseTexture9* texture;
  int texCoordIndex;
  int resultTemp;
  short alphaArg1, alphaArg2, alphaOp, colorArg1, colorArg2, colorOp;
};

struct SAMPLER_CACHE {
  int address[3];  // U, V, W
  int magFilter, minFilter, mipFilter;
  int maxAnisotropy;
};

struct DEVICE_STATE_CACHE {
  IDirect3DSurface9* renderTargets[16];
  int viewportX, viewportY, viewportWidth, viewportHeight;
  float viewportMinZ, viewportMaxZ;
  RECT scissor;
  int zEnable, zWrite, zFunc, depthBias, fillMode, shadeMode, cullMode;
  int lighting, specular, diffuseSource, specularSource;
  float ambient[4];
  SAMPLER_CACHE samplers[8];
  int filterMode, maxAnisotropy, samplersInUse;
  STAGE_CACHE stages[8];
  int textureTransformEnabled[8];
  D3DMATRIX textureTransforms[8];
  // Blend states as sent.
  int alphaTestEnable, alphaRef, alphaFunc, alphaBlendEnable;
  DWORD textureFactor;
  int sourceBlend, destBlend, blendOp;
  float textureFactorFloats[4];
  // The deferred group.
  IDirect3DBaseTexture9* texture;
  IDirect3DBaseTexture9* blendGraphTexture;
  float blendGraphWidth, blendGraphHeight, blendGraphInvWidth, blendGraphInvHeight;
  int blendGraphType, blendGraphParam, blendGraphBorderParam, blendGraphBorderRange;
  int colorModulation, alphaModulation, blendMode, textureAlphaBlend, textureAlphaTest;
  int userAlphaFunc, userAlphaRef;  // function -1: derived from the blend mode
  int extraBlendFlag, blendSwitch;
  // Fog.
  int fogEnable, fogMode;
  DWORD fogColor;
  float fogStart, fogEnd, fogDensity;
  D3DMATERIAL9 material;
  // Shaders and vertex format.
  IDirect3DVertexShader9* vertexShader;
  IDirect3DPixelShader9* pixelShader;
  int builtInPixelShader;
  DWORD fvf;
  IDirect3DVertexDeclaration9* declaration;
  DWORD packedDiffuse;
  // What PrepareDrawStates last prepared (cleared when a scene begins).
  IDirect3DBaseTexture9* lastTexture;
  int lastFlags;
  int lastWord;
  unsigned char filterBlock[256];  // reserved for the graph filters
};

extern STATE_FLAGS StateFlags;
extern DEVICE_STATE_CACHE DeviceStateCache;

// The change marks that PrepareDrawStates reads, and the modes other modules switch. Inline:
// the 2D draw path sets them per draw.
inline void MarkDrawStatesChanged() { StateFlags.stateChanged = 1; }
inline void MarkBlendStatesChanged() { StateFlags.blendStatesChanged = 1; }
// The bound texture changed: the draw states, the blend group and the stage textures.
inline void MarkTextureStatesChanged() {
  StateFlags.textureChanged = 1;
  StateFlags.stateChanged = 1;
  StateFlags.blendStatesChanged = 1;
}
// Sets force-send and returns the setting it replaces, to be given back afterwards.
inline int SetForceSend(int on) {
  int previous = StateFlags.forceSend;
  StateFlags.forceSend = on;
  return previous;
}
inline void SetSceneOpen(int open) { StateFlags.sceneOpen = open; }
inline void SetProgrammableShaders(int on) { StateFlags.programmableShaders = on; }
// A scene begins: its first draw prepares the device states whatever was prepared before.
inline void ForgetPreparedDraw() {
  DeviceStateCache.lastTexture = nullptr;
  DeviceStateCache.lastFlags = 0;
  DeviceStateCache.lastWord = 0;
}
// The draw path's fixed vertex format: sent only when it differs (force-send or not) and
// marking no change; it replaces the device's vertex declaration. SetDeviceFVF below is the
// full setter.
inline void SendFVFIfChanged(DWORD fvf) {
  if (DeviceStateCache.fvf == fvf) return;
  DeviceCalls.DeviceSetFVF(fvf);
  DeviceStateCache.fvf = fvf;
  DeviceStateCache.declaration = nullptr;
}

int SetDeviceZEnable(int value);
int SetDeviceZWrite(int value);
int SetDeviceZFunc(int func);
int SetDeviceDepthBias(int bias);
int SetDeviceFillMode(int mode);
int SetDeviceShadeMode(int mode);
int SetDeviceCullMode(int mode);
int SetDeviceLighting(int flag);
int SetDeviceSpecular(int flag);
int SetDeviceDiffuseSource(int flag);
int SetDeviceSpecularSource(int flag);
int SetDeviceAmbient(DWORD color);
int SetDeviceMaterial(const D3DMATERIAL9* material);
int SetDeviceFogEnable(int flag);
int SetDeviceFogMode(int mode);
int SetDeviceFogColor(DWORD color);
int SetDeviceFogRange(float start, float end);
int SetDeviceFogDensity(float density);
int SetDeviceAddressMode(int mode, int sampler);
int SetDeviceAddressU(int mode, int sampler);
int SetDeviceAddressV(int mode, int sampler);
int SetDeviceAddressW(int mode, int sampler);
int ApplySamplerFilterMode(int mode);
int SetDeviceMaxAnisotropy(int value);
int SetDeviceTextureTransform(int stage, int enable, const D3DMATRIX* matrix);
int ResetTextureCoordIndices();
int SetDeviceViewport(int x, int y, int width, int height, float minZ, float maxZ);
int SetDeviceViewportRect(int x1, int y1, int x2, int y2);
// Sends the viewport even when the cache holds the same one.
int ForceDeviceViewport(int x, int y, int width, int height, float minZ, float maxZ);
int SetDeviceScissorRect(const RECT* rect);
int SetDeviceRenderTarget(IDirect3DSurface9* surface, int slot);
int SetDeviceTexture(IDirect3DBaseTexture9* texture);
int SetDeviceBlendGraphTexture(IDirect3DBaseTexture9* texture, int width, int height);
int SetDeviceBlendGraphParams(const int* params, int type);
int SetDeviceColorModulation(int flag);
int SetDeviceAlphaModulation(int flag);
int SetDeviceBlendState(int mode, int textureAlphaBlend, int textureAlphaTest);
int SetDeviceAlphaTest(int func, int reference);
int SetDeviceExtraBlendFlag(int flag);
int SetDeviceBlendSwitch(int value);
int SetDeviceVertexShader(IDirect3DVertexShader9* shader);
int SetDevicePixelShader(IDirect3DPixelShader9* shader);
// The fixed vertex format (which replaces a vertex declaration) unless cached.
int SetDeviceFVF(DWORD fvf);

int InitDeviceStates();
int ResendDeviceStates();
// After a device reset: every cached state and the camera re-sent under force-send.
int RestoreDeviceStates();
int ResetBasicDeviceStates();

// Device creation forgets the bound shaders, declaration and FVF and presets the material
// sources so the next setting of each is sent.
void ForgetShaderBindings();
// Takes both shaders off the device and out of the cache.
void UnbindDeviceShaders();
// A shader object about to be released leaves the cache.
void ForgetCachedShader(const void* shader);
void ForgetCachedDeclaration();
// Binds a shader handle's object unless it is bound already (or force-send is on).
void BindShaderIfChanged(IDirect3DVertexShader9* shader);
void BindShaderIfChanged(IDirect3DPixelShader9* shader);
// Clears every cached pointer to an object of the device (called when it is released).
void ForgetCachedDeviceObjects();
// Sends one render state with the flush-unless-force-send rule, caching nothing.
void SendRenderStateNow(D3DRENDERSTATETYPE state, DWORD value);
