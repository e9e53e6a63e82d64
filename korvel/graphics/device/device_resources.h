// Device resources: the objects made right after the device and released with it (depth
// buffer, built-in shaders from the embedded shader code, vertex declarations of the model
// path, the brightest-colour volume texture) and the release of every device object before
// the device is thrown away.
#pragma once
#include <d3d9.h>
#include <cstdint>

#include "file/kva_archive.h"

enum {
  MODEL_VERTEX_SHADER_SLOTS = 0x4000 * 6,
  MODEL_PIXEL_SHADER_SLOTS = 0x5100 * 6,
  RGBA_MIX_ENTRIES = 64,
  MODEL_DECLARATION_COUNT = 54,
  BUILT_IN_BLEND_SHADER_COUNT = 64,
  // The shaders start-up creates from the model table as a test of the programmable path.
  TEST_MODEL_VERTEX_SHADER = 32774,
  TEST_MODEL_PIXEL_SHADER = 2454,
};

// The decoded built-in shader code; kept from the first Direct3D start to graphics shut-down.
struct BUILT_IN_SHADER_CODE {
  int loaded;
  KVA_ARCHIVE archive2D, archiveFilter;  // opened over the decoded blocks
  uint8_t* block2D;
  uint8_t* blockFilter;
  uint8_t* blockModel;
  uint8_t* blockRgbaMix;
  const uint8_t* rgbaMixCode[RGBA_MIX_ENTRIES][4];
  uint16_t rgbaMixSizes[RGBA_MIX_ENTRIES][4];
  // Model code by flat slot: the vertex slots, then the pixel slots.
  const uint8_t* modelCode[MODEL_VERTEX_SHADER_SLOTS + MODEL_PIXEL_SHADER_SLOTS];
};

struct DEVICE_RESOURCES {
  IDirect3DSurface9* depthBuffer;
  int depthWidth, depthHeight;
  int presetDepthSize, presetDepthWidth, presetDepthHeight;  // nothing sets them
  IDirect3DVolumeTexture9* brightestColorTexture;
  IDirect3DPixelShader9* untexturedShaders[4];  // by colour kind
  // By blend graph variant x 16 + colour kind x 4 + ignore colour x 2 + ignore texture alpha.
  IDirect3DPixelShader9* blendShaders[BUILT_IN_BLEND_SHADER_COUNT];
  IDirect3DPixelShader9* maskShader;
  IDirect3DVertexShader9* modelVertexShaders[MODEL_VERTEX_SHADER_SLOTS];  // filled lazily
  IDirect3DPixelShader9* modelPixelShaders[MODEL_PIXEL_SHADER_SLOTS];
  IDirect3DVertexDeclaration9* modelDeclarations[MODEL_DECLARATION_COUNT];
  IDirect3DVertexDeclaration9* fixedDeclarations[2];
  // The library's own switch: 1 keeps the fixed-function path even on a shader 2.0 device.
  int forceFixedFunction;
};

extern DEVICE_RESOURCES DeviceResources;
extern BUILT_IN_SHADER_CODE BuiltInShaderCode;

int CreateDepthBuffer();
int ReleaseDepthBuffer();
int SetDepthStencilForTarget();
int LoadBuiltInShaderCode();
int FreeBuiltInShaderCode();
int LoadBuiltInShaders();
int ReleaseBuiltInShaders();
int CreateVertexDeclarations();
int ReleaseVertexDeclarations();
int CreateBrightestColorVolumeTexture();
int ReleaseBrightestColorVolumeTexture();
void ComputeBrightestColor(int r, int g, int b, int* outR, int* outG, int* outB);
int ReleaseDeviceObjects();

// Index of a textured built-in pixel shader.
inline int BlendShaderIndex(int graphVariant, int kind, int ignoreColor, int ignoreTextureAlpha) {
  return graphVariant * 16 + kind * 4 + ignoreColor * 2 + ignoreTextureAlpha;
}
