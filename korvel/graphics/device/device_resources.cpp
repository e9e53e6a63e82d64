#include "graphics/device/device_resources.h"

#include <cstring>

#include "core/handles.h"
#include "core/log.h"
#include "core/maths.h"
#include "core/memory.h"
#include "core/strings.h"
#include "file/kva_lz.h"
#include "graphics/device/d3d_calls.h"
#include "graphics/device/device.h"
#include "graphics/device/draw_settings.h"
// Upward: the depth buffer of the chosen depth-buffer graph, and the release of every device
// object, graph textures and the system texture pool among them.
#include "graphics/graphs/graph_handles.h"
#include "graphics/graphs/graph_records.h"
#include "graphics/graphs/graph_textures.h"
#include "graphics/device/screen.h"
#include "graphics/device/shader_blobs.h"
#include "graphics/device/shader_constants.h"
#include "graphics/device/shader_handles.h"
#include "graphics/device/state_cache.h"
#include "graphics/graphs/movie_graph_hooks.h"  // upward: a movie graph shows its frame again on a new device
#include "graphics/graphs/texture_transfer.h"  // upward: the system texture pool

DEVICE_RESOURCES DeviceResources;
BUILT_IN_SHADER_CODE BuiltInShaderCode;

namespace {
const uint32_t kModelTableHead = (MODEL_VERTEX_SHADER_SLOTS + MODEL_PIXEL_SHADER_SLOTS) * 2;  // 445,440
const uint32_t kRgbaMixHead = RGBA_MIX_ENTRIES * 4 * 2;                                        // 512

template <typename T>
void ReleaseObject(T*& object) {
  if (object != nullptr) DeviceCalls.ReleaseComObject(object);
  object = nullptr;
}

// Decodes one embedded LZ block into a tracked block; null on a damaged blob or no memory.
uint8_t* DecodeBlob(const unsigned char* blob, unsigned int blobSize, uint32_t* size) {
  int decoded = DecodeKvaLz(blob, blobSize, nullptr, 0);
  if (decoded < 0) return nullptr;
  uint8_t* block = (uint8_t*)AllocTracked(decoded > 0 ? decoded : 1, "", 0);
  if (block == nullptr) return nullptr;
  if (DecodeKvaLz(blob, blobSize, block, (uint32_t)decoded) != decoded) {
    FreeTracked(block);
    return nullptr;
  }
  *size = (uint32_t)decoded;
  return block;
}

inline uint16_t ReadU16(const uint8_t* p) { return (uint16_t)(p[0] | p[1] << 8); }

// A code table: `slots` u16 sizes, then the code blocks in slot order. Every block must lie in
// the decoded table; code pointers are set for the slots with code.
bool SplitCodeTable(const uint8_t* table, uint32_t size, int slots, const uint8_t** code, uint16_t* sizes) {
  uint32_t head = (uint32_t)slots * 2;
  if (size < head) return false;
  uint32_t offset = head;
  for (int i = 0; i < slots; i++) {
    uint16_t n = ReadU16(table + i * 2);
    if (sizes != nullptr) sizes[i] = n;
    code[i] = nullptr;
    if (n == 0) continue;
    if (n > size - offset) return false;
    code[i] = table + offset;
    offset += n;
  }
  return true;
}

IDirect3DPixelShader9* CreatePixelShaderFrom2DArchive(const char* name) {
  int offset = 0, size = 0;
  uint8_t* image = (uint8_t*)GetKvaMemoryImage(&BuiltInShaderCode.archive2D);
  if (image == nullptr || GetKvaFileLocation(&BuiltInShaderCode.archive2D, name, &offset, &size) != 0 || size < 4)
    return nullptr;
  IDirect3DPixelShader9* shader = nullptr;
  if (FAILED(DeviceCalls.DeviceCreatePixelShader((const DWORD*)(image + offset), &shader))) return nullptr;
  return shader;
}

// Creates the model shader of one flat slot from its code (the model path fills the rest).
bool CreateModelShader(int vertex, int slot) {
  const uint8_t* code = BuiltInShaderCode.modelCode[(vertex ? 0 : MODEL_VERTEX_SHADER_SLOTS) + slot];
  if (code == nullptr) return false;
  if (vertex) {
    ReleaseObject(DeviceResources.modelVertexShaders[slot]);
    return SUCCEEDED(
        DeviceCalls.DeviceCreateVertexShader((const DWORD*)code, &DeviceResources.modelVertexShaders[slot]));
  }
  ReleaseObject(DeviceResources.modelPixelShaders[slot]);
  return SUCCEEDED(DeviceCalls.DeviceCreatePixelShader((const DWORD*)code, &DeviceResources.modelPixelShaders[slot]));
}

D3DVERTEXELEMENT9 Element(int offset, int type, int usage, int index) {
  D3DVERTEXELEMENT9 e = {0, (WORD)offset, (BYTE)type, D3DDECLMETHOD_DEFAULT, (BYTE)usage, (BYTE)index};
  return e;
}

int ElementSize(int type) {
  switch (type) {
    case D3DDECLTYPE_FLOAT2: return 8;
    case D3DDECLTYPE_FLOAT3: return 12;
    case D3DDECLTYPE_FLOAT4: return 16;
    default: return 4;  // D3DCOLOR, UBYTE4
  }
}

// The elements of model declaration (tangent frame, kind, n extra texture coordinates).
int BuildModelDeclaration(int tangent, int kind, int n, D3DVERTEXELEMENT9* out) {
  struct PART { int type, usage, index; };
  PART parts[16];
  int count = 0;
  parts[count++] = {D3DDECLTYPE_FLOAT3, D3DDECLUSAGE_POSITION, 0};
  if (kind == 1) {
    parts[count++] = {D3DDECLTYPE_UBYTE4, D3DDECLUSAGE_BLENDINDICES, 0};
    parts[count++] = {D3DDECLTYPE_FLOAT4, D3DDECLUSAGE_BLENDWEIGHT, 0};
  } else if (kind == 2) {
    parts[count++] = {D3DDECLTYPE_UBYTE4, D3DDECLUSAGE_BLENDINDICES, 0};
    parts[count++] = {D3DDECLTYPE_UBYTE4, D3DDECLUSAGE_BLENDINDICES, 1};
    parts[count++] = {D3DDECLTYPE_FLOAT4, D3DDECLUSAGE_BLENDWEIGHT, 0};
    parts[count++] = {D3DDECLTYPE_FLOAT4, D3DDECLUSAGE_BLENDWEIGHT, 1};
  }
  if (tangent) {
    parts[count++] = {D3DDECLTYPE_FLOAT3, D3DDECLUSAGE_TANGENT, 0};
    parts[count++] = {D3DDECLTYPE_FLOAT3, D3DDECLUSAGE_BINORMAL, 0};
  }
  parts[count++] = {D3DDECLTYPE_FLOAT3, D3DDECLUSAGE_NORMAL, 0};
  parts[count++] = {D3DDECLTYPE_D3DCOLOR, D3DDECLUSAGE_COLOR, 0};
  parts[count++] = {D3DDECLTYPE_D3DCOLOR, D3DDECLUSAGE_COLOR, 1};
  int offset = 0, e = 0;
  for (int i = 0; i < count; i++) {
    out[e++] = Element(offset, parts[i].type, parts[i].usage, parts[i].index);
    offset += ElementSize(parts[i].type);
  }
  for (int i = 0; i < n; i++) out[e++] = Element(offset + 16 * i, D3DDECLTYPE_FLOAT4, D3DDECLUSAGE_TEXCOORD, i);
  out[e++] = D3DDECL_END();
  return offset;  // the base size
}
}  // namespace

int CreateDepthBuffer() {
  if (!HasDirect3DDevice()) return -1;
  ReleaseDepthBuffer();
  WriteLogText("Ｚバッファを作成します.... ");
  int width, height;
  if (DeviceResources.presetDepthSize && DeviceResources.presetDepthWidth > 0 &&
      DeviceResources.presetDepthHeight > 0) {
    width = DeviceResources.presetDepthWidth, height = DeviceResources.presetDepthHeight;
  } else {
    width = PowerOfTwoAtLeast(ScreenState.deviceWidth);
    height = PowerOfTwoAtLeast(ScreenState.deviceHeight);
  }
  DeviceResources.depthWidth = width, DeviceResources.depthHeight = height;
  if (FAILED(DeviceCalls.DeviceCreateDepthStencilSurface(
          width, height, DeviceCaps.depthFormat, (D3DMULTISAMPLE_TYPE)DeviceSettings.multiSampleType,
          DeviceSettings.multiSampleQuality, TRUE, &DeviceResources.depthBuffer, nullptr)) ||
      DeviceResources.depthBuffer == nullptr) {
    DeviceResources.depthBuffer = nullptr;
    WriteLogText("Ｚバッファの作成に失敗しました\n");
    return -1;
  }
  DeviceCalls.DeviceSetDepthStencil(DeviceResources.depthBuffer);
  DeviceCalls.DeviceClear(0, nullptr, D3DCLEAR_ZBUFFER, 0, 1.0f, 0);
  WriteLogText("成功\n");
  return 0;
}

int ReleaseDepthBuffer() {
  ReleaseObject(DeviceResources.depthBuffer);
  return 0;
}

// The depth surface for the current render target: the chosen depth-buffer graph's when it
// is at least as large as the target, else a drawable graph's own depth surface, else the
// depth buffer when the target fits in it, else none.
int SetDepthStencilForTarget() {
  if (!HasDirect3DDevice()) return 0;
  IDirect3DSurface9* depth = DeviceResources.depthBuffer;
  int target = DrawSettings.drawTarget;
  GRAPH_RECORD* t = target > 0 && GetHandleType(target) == HANDLE_TYPE_GRAPH ? GetGraphRecord(target, 0) : nullptr;
  int width = DrawSettings.targetWidth, height = DrawSettings.targetHeight;
  if (t != nullptr) width = t->width, height = t->height;
  int chosen = DrawSettings.depthBufferGraph;
  GRAPH_RECORD* d = chosen > 0 && GetHandleType(chosen) == HANDLE_TYPE_GRAPH ? GetGraphRecord(chosen, 0) : nullptr;
  IDirect3DSurface9* graphDepth = d != nullptr && d->imageSet != nullptr && d->imageSet->textureCount > 0
                                      ? d->imageSet->textures[0].depthSurface
                                      : nullptr;
  if (graphDepth != nullptr && d->width >= width && d->height >= height) {
    depth = graphDepth;
  } else if (t != nullptr && t->imageSet != nullptr && t->imageSet->textureCount > 0) {
    if (t->imageSet->textures[0].depthSurface != nullptr)
      depth = t->imageSet->textures[0].depthSurface;
    else if (t->width > DeviceResources.depthWidth || t->height > DeviceResources.depthHeight)
      depth = nullptr;
  }
  DeviceCalls.DeviceSetDepthStencil(depth);
  return 0;
}

void ComputeBrightestColor(int r, int g, int b, int* outR, int* outG, int* outB) {
  auto clamp = [](int v) { return v < 0 ? 0 : v > 255 ? 255 : v; };
  r = clamp(r), g = clamp(g), b = clamp(b);
  if (r == g && g == b) {
    *outR = *outG = *outB = 255;
    return;
  }
  // Which channel holds the largest (M), the middle (k) and the smallest (m) value.
  int* outs[3] = {outR, outG, outB};
  int values[3] = {r, g, b};
  int M, k, m;
  if (r > g && r > b) {
    if (b < g) M = 0, k = 1, m = 2;
    else M = 0, k = 2, m = 1;
  } else if (b >= r && r > g) {
    M = 2, k = 0, m = 1;
  } else if (g >= r && b < r) {
    M = 1, k = 0, m = 2;
  } else if (g >= r && b < g) {
    M = 1, k = 2, m = 0;
  } else {
    M = 2, k = 1, m = 0;
  }
  int vM = values[M], vk = values[k], vm = values[m];
  int d = (vM - vm) * 255 / vM;
  *outs[M] = 255;
  *outs[m] = 255 - d;
  *outs[k] = 255 - d * (255 - (vk - vm) * 255 / (vM - vm)) / 255;
}

int CreateBrightestColorVolumeTexture() {
  if (!HasDirect3DDevice()) return -1;
  ReleaseBrightestColorVolumeTexture();
  IDirect3DVolumeTexture9* source = nullptr;
  const char* failure = nullptr;
  if (FAILED(DeviceCalls.DeviceCreateVolumeTexture(128, 128, 128, 1, 0, D3DFMT_X8R8G8B8, D3DPOOL_DEFAULT,
                                                   &DeviceResources.brightestColorTexture, nullptr))) {
    DeviceResources.brightestColorTexture = nullptr;
    failure = "RGBカラーを輝度を最大にしたRGB値に変換するためのボリュームテクスチャの作成に失敗しました\n";
  } else if (FAILED(DeviceCalls.DeviceCreateVolumeTexture(128, 128, 128, 1, 0, D3DFMT_X8R8G8B8, D3DPOOL_SYSTEMMEM,
                                                          &source, nullptr))) {
    source = nullptr;
    failure = "RGBカラーを輝度を最大にしたRGB値に変換するための転送元用ボリュームテクスチャの作成に失敗しました\n";
  } else {
    D3DLOCKED_BOX box;
    if (FAILED(DeviceCalls.VolumeTextureLockBox(source, 0, &box, nullptr, 0))) {
      failure = "RGBカラーを輝度を最大にしたRGB値に変換するための転送元用ボリュームテクスチャのロックに失敗しました\n";
    } else {
      for (int z = 0; z < 128; z++)
        for (int y = 0; y < 128; y++) {
          DWORD* row = (DWORD*)((uint8_t*)box.pBits + z * box.SlicePitch + y * box.RowPitch);
          for (int x = 0; x < 128; x++) {
            int r = 255, g = 255, b = 255;
            if (x >= 8 || y >= 8 || z >= 8) ComputeBrightestColor(2 * x, 2 * y, 2 * z, &r, &g, &b);
            row[x] = 0xFF000000u | (DWORD)r << 16 | (DWORD)g << 8 | (DWORD)b;
          }
        }
      DeviceCalls.VolumeTextureUnlockBox(source, 0);
      DeviceCalls.DeviceUpdateTexture(source, DeviceResources.brightestColorTexture);
    }
  }
  ReleaseObject(source);
  if (failure == nullptr) return 0;
  WriteLogText(failure);
  ReleaseObject(DeviceResources.brightestColorTexture);
  return -1;
}

int ReleaseBrightestColorVolumeTexture() {
  ReleaseObject(DeviceResources.brightestColorTexture);
  return 0;
}

int LoadBuiltInShaderCode() {
  if (BuiltInShaderCode.loaded) return 1;
  uint32_t size = 0;
  bool ok =
      (BuiltInShaderCode.block2D = DecodeBlob(BuiltInShaderBlob2D, BuiltInShaderBlob2DSize, &size)) != nullptr &&
      OpenKvaFromMemory(&BuiltInShaderCode.archive2D, BuiltInShaderCode.block2D, size, BuiltInShaderArchiveKey) == 0;
  // The RGBA-mix table: every size checked against the decoded table.
  ok = ok &&
       (BuiltInShaderCode.blockRgbaMix = DecodeBlob(BuiltInShaderBlobRgbaMix, BuiltInShaderBlobRgbaMixSize, &size)) !=
           nullptr &&
       size >= kRgbaMixHead &&
       SplitCodeTable(BuiltInShaderCode.blockRgbaMix, size, RGBA_MIX_ENTRIES * 4, &BuiltInShaderCode.rgbaMixCode[0][0],
                      &BuiltInShaderCode.rgbaMixSizes[0][0]);
  ok = ok &&
       (BuiltInShaderCode.blockFilter = DecodeBlob(BuiltInShaderBlobFilter, BuiltInShaderBlobFilterSize, &size)) !=
           nullptr &&
       OpenKvaFromMemory(&BuiltInShaderCode.archiveFilter, BuiltInShaderCode.blockFilter, size,
                         BuiltInShaderArchiveKey) == 0;
  ok = ok &&
       (BuiltInShaderCode.blockModel = DecodeBlob(BuiltInShaderBlobModel, BuiltInShaderBlobModelSize, &size)) !=
           nullptr &&
       size >= kModelTableHead &&
       SplitCodeTable(BuiltInShaderCode.blockModel, size, MODEL_VERTEX_SHADER_SLOTS + MODEL_PIXEL_SHADER_SLOTS,
                      BuiltInShaderCode.modelCode, nullptr);
  if (!ok) {
    BuiltInShaderCode.loaded = 1;  // lets the release below run over what was made
    FreeBuiltInShaderCode();
    return 0;
  }
  BuiltInShaderCode.loaded = 1;
  return 1;
}

int FreeBuiltInShaderCode() {
  if (!BuiltInShaderCode.loaded) return 1;
  ReleaseKvaArchive(&BuiltInShaderCode.archive2D);
  ReleaseKvaArchive(&BuiltInShaderCode.archiveFilter);
  uint8_t** blocks[] = {&BuiltInShaderCode.block2D, &BuiltInShaderCode.blockFilter, &BuiltInShaderCode.blockModel,
                        &BuiltInShaderCode.blockRgbaMix};
  for (uint8_t** block : blocks) {
    if (*block != nullptr) FreeTracked(*block);
    *block = nullptr;
  }
  memset(BuiltInShaderCode.rgbaMixCode, 0, sizeof(BuiltInShaderCode.rgbaMixCode));
  memset(BuiltInShaderCode.rgbaMixSizes, 0, sizeof(BuiltInShaderCode.rgbaMixSizes));
  memset(BuiltInShaderCode.modelCode, 0, sizeof(BuiltInShaderCode.modelCode));
  BuiltInShaderCode.loaded = 0;
  return 1;
}

int LoadBuiltInShaders() {
  ReleaseBuiltInShaders();
  SetProgrammableShaders(0);
  if (DeviceSettings.vertexShader2 && DeviceSettings.pixelShader2 && !DeviceResources.forceFixedFunction) {
    bool ok = true;
    if (!BuiltInShaderCode.loaded && !LoadBuiltInShaderCode()) {
      WriteLogText("シェーダーコードを展開するメモリ領域の確保に失敗しました\n");
      ok = false;
    }
    if (ok) {
      if (!CreateModelShader(1, TEST_MODEL_VERTEX_SHADER)) {
        WriteLogText("頂点シェーダーオブジェクトの作成に失敗しました\n");
        ok = false;
      } else if (!CreateModelShader(0, TEST_MODEL_PIXEL_SHADER)) {
        WriteLogText("ピクセルシェーダーオブジェクトの作成に失敗しました\n");
        ok = false;
      }
    }
    char name[64];
    bool basic = true;
    for (int kind = 0; ok && basic && kind < 4; kind++) {
      FormatString(name, sizeof name, "ps_nonetex_type%d.pso", kind);
      basic = (DeviceResources.untexturedShaders[kind] = CreatePixelShaderFrom2DArchive(name)) != nullptr;
    }
    for (int i = 0; ok && basic && i < BUILT_IN_BLEND_SHADER_COUNT; i++) {
      FormatString(name, sizeof name, "ps_blend%d_type%d_igcolor%d_igtalpha%d.pso", i >> 4, i >> 2 & 3, i >> 1 & 1,
                   i & 1);
      basic = (DeviceResources.blendShaders[i] = CreatePixelShaderFrom2DArchive(name)) != nullptr;
    }
    if (ok && !basic) {
      WriteLogText("基本シェーダーオブジェクトの作成に失敗しました\n");
      ok = false;
    }
    if (ok && (DeviceResources.maskShader = CreatePixelShaderFrom2DArchive("ps_mask_blend.pso")) == nullptr) {
      WriteLogText("マスク処理用シェーダーオブジェクトの作成に失敗しました\n");
      ok = false;
    }
    if (ok) {
      SetProgrammableShaders(1);
      WriteLogText("プログラマブルシェーダーを使用します\n");
    } else {
      ReleaseBuiltInShaders();
      WriteLogText("プログラマブルシェーダーを使用しません\n");
    }
  } else {
    WriteLogText("プログラマブルシェーダーを使用しません\n");
  }
  const float vertexC0[4] = {0.0f, 1.0f, 0.0f, 0.0f};
  const float pixelC0[4] = {0.0f, 0.5f, 1.0f, 2.0f};
  WriteVertexConstantF(0, vertexC0, 1);
  WritePixelConstantF(0, pixelC0, 1);
  return 0;
}

int ReleaseBuiltInShaders() {
  if (!HasDirect3DDevice()) return 0;
  UnbindDeviceShaders();
  for (auto& shader : DeviceResources.untexturedShaders) ReleaseObject(shader);
  for (auto& shader : DeviceResources.blendShaders) ReleaseObject(shader);
  ReleaseObject(DeviceResources.maskShader);
  for (auto& shader : DeviceResources.modelVertexShaders) ReleaseObject(shader);
  for (auto& shader : DeviceResources.modelPixelShaders) ReleaseObject(shader);
  return 0;
}

int CreateVertexDeclarations() {
  ReleaseVertexDeclarations();
  if (!HasDirect3DDevice()) return 0;
  D3DVERTEXELEMENT9 elements[24];
  for (int tangent = 0; tangent < 2; tangent++)
    for (int kind = 0; kind < 3; kind++)
      for (int n = 0; n < 9; n++) {
        BuildModelDeclaration(tangent, kind, n, elements);
        int index = (tangent * 3 + kind) * 9 + n;
        if (FAILED(DeviceCalls.DeviceCreateVertexDeclaration(elements, &DeviceResources.modelDeclarations[index])))
          DeviceResources.modelDeclarations[index] = nullptr;
      }
  const D3DVERTEXELEMENT9 fixedA[] = {
      Element(0, D3DDECLTYPE_FLOAT3, D3DDECLUSAGE_POSITION, 0), Element(12, D3DDECLTYPE_FLOAT3, D3DDECLUSAGE_NORMAL, 0),
      Element(24, D3DDECLTYPE_D3DCOLOR, D3DDECLUSAGE_COLOR, 0), Element(28, D3DDECLTYPE_D3DCOLOR, D3DDECLUSAGE_COLOR, 1),
      Element(32, D3DDECLTYPE_FLOAT2, D3DDECLUSAGE_TEXCOORD, 0), Element(40, D3DDECLTYPE_FLOAT2, D3DDECLUSAGE_TEXCOORD, 1),
      D3DDECL_END()};
  const D3DVERTEXELEMENT9 fixedB[] = {
      Element(0, D3DDECLTYPE_FLOAT3, D3DDECLUSAGE_POSITION, 0), Element(12, D3DDECLTYPE_FLOAT4, D3DDECLUSAGE_POSITION, 1),
      Element(28, D3DDECLTYPE_FLOAT3, D3DDECLUSAGE_NORMAL, 0), Element(40, D3DDECLTYPE_FLOAT3, D3DDECLUSAGE_TANGENT, 0),
      Element(52, D3DDECLTYPE_FLOAT3, D3DDECLUSAGE_BINORMAL, 0), Element(64, D3DDECLTYPE_D3DCOLOR, D3DDECLUSAGE_COLOR, 0),
      Element(68, D3DDECLTYPE_D3DCOLOR, D3DDECLUSAGE_COLOR, 1), Element(72, D3DDECLTYPE_FLOAT2, D3DDECLUSAGE_TEXCOORD, 0),
      Element(80, D3DDECLTYPE_FLOAT2, D3DDECLUSAGE_TEXCOORD, 1), D3DDECL_END()};
  if (FAILED(DeviceCalls.DeviceCreateVertexDeclaration(fixedA, &DeviceResources.fixedDeclarations[0])))
    DeviceResources.fixedDeclarations[0] = nullptr;
  if (FAILED(DeviceCalls.DeviceCreateVertexDeclaration(fixedB, &DeviceResources.fixedDeclarations[1])))
    DeviceResources.fixedDeclarations[1] = nullptr;
  return 0;
}

int ReleaseVertexDeclarations() {
  if (!HasDirect3DDevice()) return 0;
  UnbindDeviceShaders();
  ForgetCachedDeclaration();
  for (auto& declaration : DeviceResources.modelDeclarations) ReleaseObject(declaration);
  for (auto& declaration : DeviceResources.fixedDeclarations) ReleaseObject(declaration);
  return 0;
}

// Before the device is thrown away: every device object held by the system texture pool and
// by a handle goes; the pool entries, the handles and their system-memory copies stay (shader
// handles keep their byte code for re-creation). Buffer objects go through their own module
// (ReleaseAllBufferObjects).
int ReleaseDeviceObjects() {
  // Movies first: a Theora movie's YUV overlay is released now and made again for the new device.
  int cursor = -1;
  while (GRAPH_RECORD* record = (GRAPH_RECORD*)NextHandleRecord(HANDLE_TYPE_GRAPH, &cursor))
    if (record->imageSet != nullptr && record->movieHandle != -1) MarkGraphMovieOverlayLost(record->movieHandle);
  for (SYSTEM_TEXTURE_ENTRY& e : SystemTexturePool.entries)
    if (e.inUse) ReleaseObject(e.texture);
  cursor = -1;
  while (GRAPH_RECORD* record = (GRAPH_RECORD*)NextHandleRecord(HANDLE_TYPE_GRAPH, &cursor))
    if (record->imageSet != nullptr) ReleaseImageSetTextures(record->imageSet);
  cursor = -1;
  while (SHADER_HANDLE* record = (SHADER_HANDLE*)NextHandleRecord(HANDLE_TYPE_SHADER, &cursor))
    if (record->object != nullptr) ReleaseObject(record->object);
  ForgetCachedDeviceObjects();  // the cached shaders among them
  return 0;
}
