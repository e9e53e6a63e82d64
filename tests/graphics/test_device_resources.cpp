// Device resources on Wine's real Direct3D 9 device: the built-in shaders decoded from the
// embedded blobs, the programmable path drawing the same pixels as the fixed-function path in
// every blend mode, the depth buffer sizes, the brightest colour, and device objects of shader
// handles surviving a device re-creation.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "core/handles.h"
#include "graphics/device/d3d_calls.h"
#include "graphics/device/device.h"
#include "graphics/device/device_resources.h"
#include "graphics/lifecycle/device_restore.h"
#include "graphics/device/draw_prepare.h"
#include "graphics/device/draw_settings.h"
#include "graphics/graphs/graph_create.h"
#include "graphics/graphs/graph_handles.h"
#include "graphics/graphs/graph_load.h"
#include "graphics/device/present.h"
#include "graphics/device/screen.h"
#include "graphics/device/shader_constants.h"
#include "graphics/device/shader_handles.h"
#include "graphics/device/state_cache.h"
#include "graphics/graphs/texture_transfer.h"
#include "graphics/device/vertex_batch.h"
#include "korvel.h"
#include "system/top/library.h"
#include "system/base/window_state.h"
#include "../image/image_builders.h"
#include "read_back.h"
#include "real_device.h"
#include "test_support.h"

namespace {
const DWORD kGrey = 0xFF808080;

// Creates the device and what start-up makes right after it.
void StartDevice() {
  ASSERT_EQ(SetUpDirect3DDevice(), 0);
  ScreenState.hardwareRendering = 1;
  ASSERT_EQ(CreateDepthBuffer(), 0);
  ASSERT_EQ(LoadBuiltInShaders(), 0);
  if (StateFlags.programmableShaders) {
    CreateVertexDeclarations();
    CreateBrightestColorVolumeTexture();
  }
  ASSERT_EQ(InitDeviceStates(), 0);
  ResendDeviceStates();
}

void EndDevice() {
  ReleaseVertexDeclarations();
  ReleaseBuiltInShaders();
  ReleaseDepthBuffer();
  ReleaseBrightestColorVolumeTexture();
  ReleaseDirect3DDevice();
  StateFlags.sceneOpen = 0;
}

class DeviceResourcesTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { StartRealDevice(); }
  static void TearDownTestSuite() { EndRealDevice(); }
};

// A 64 x 64 texture whose colour and alpha vary over it (dynamic: a 9Ex device has no
// managed pool).
IDirect3DTexture9* MakePatternTexture() {
  IDirect3DTexture9* texture = nullptr;
  if (FAILED(DeviceCalls.DeviceCreateTexture(64, 64, 1, D3DUSAGE_DYNAMIC, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT, &texture,
                                             nullptr)))
    return nullptr;
  D3DLOCKED_RECT locked;
  if (SUCCEEDED(DeviceCalls.TextureLockRect(texture, 0, &locked, nullptr, 0))) {
    for (int y = 0; y < 64; y++) {
      DWORD* row = (DWORD*)((char*)locked.pBits + y * locked.Pitch);
      for (int x = 0; x < 64; x++)
        row[x] = (DWORD)(x * 4) << 24 | (DWORD)(255 - y * 3) << 16 | (DWORD)(x * 2 + y) << 8 | (DWORD)(40 + x * 3);
    }
    DeviceCalls.TextureUnlockRect(texture, 0);
  }
  return texture;
}

// One box of two triangles; textured boxes map the texture's top-left 1:1 onto the pixels.
void DrawBox(IDirect3DBaseTexture9* texture, int flags, int x, int y, int w, int h, DWORD color) {
  PrepareDrawStates(texture, flags);
  int twoTextures = texture != nullptr && DeviceStateCache.blendGraphTexture != nullptr;
  ASSERT_EQ(VertexBatch.vertexType, twoTextures ? 2 : texture != nullptr ? 1 : 0);
  const float xs[6] = {0, 1, 0, 1, 1, 0}, ys[6] = {0, 0, 1, 0, 1, 1};
  if (twoTextures) {
    // The blend graph is read with the second coordinates, mirrored so the two differ.
    VERTEX_2D_TEX2* v = (VERTEX_2D_TEX2*)ReserveBatchVertices(0, D3DPT_TRIANGLELIST, 6);
    for (int i = 0; i < 6; i++)
      v[i] = {x + xs[i] * w - 0.5f, y + ys[i] * h - 0.5f, 0.2f, 1.0f, color, 0xFFFFFFFF, xs[i] * w / 64.0f,
              ys[i] * h / 64.0f, (1 - xs[i]) * w / 64.0f, (1 - ys[i]) * h / 64.0f};
  } else if (texture == nullptr) {
    VERTEX_2D* v = (VERTEX_2D*)ReserveBatchVertices(0, D3DPT_TRIANGLELIST, 6);
    for (int i = 0; i < 6; i++)
      v[i] = {x + xs[i] * w, y + ys[i] * h, 0.2f, 1.0f, color};
  } else {
    VERTEX_2D_TEX* v = (VERTEX_2D_TEX*)ReserveBatchVertices(0, D3DPT_TRIANGLELIST, 6);
    for (int i = 0; i < 6; i++)
      v[i] = {x + xs[i] * w - 0.5f, y + ys[i] * h - 0.5f, 0.2f, 1.0f, color, xs[i] * w / 64.0f, ys[i] * h / 64.0f};
  }
  CommitBatchVertices(6);
  FlushVertexBatch(0);
}

// Every blend mode in one row over a grey background: an untextured box, a textured box with
// its alpha and the vertex colour, one with the alpha and a white vertex colour, and an opaque
// one. Returns the back buffer.
std::vector<uint32_t> DrawBlendModeChart(IDirect3DTexture9* texture) {
  DeviceCalls.DeviceClear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, kGrey, 1.0f, 0);
  for (int mode = 0; mode < 17; mode++) {
    DrawSettings.blendMode = mode;
    int y = 4 + mode * 26;
    DrawBox(nullptr, 0, 4, y, 64, 22, 0xB0C08040);
    DrawBox(texture, DRAW_TRANSPARENT | DRAW_TEXTURE_ALPHA | DRAW_PIXEL_EXACT | DRAW_MODULATE_COLOR, 80, y, 64, 22,
            0xC0FFE0A0);
    DrawBox(texture, DRAW_TRANSPARENT | DRAW_TEXTURE_ALPHA | DRAW_PIXEL_EXACT, 160, y, 64, 22, 0xD0FFFFFF);
    DrawBox(texture, DRAW_PIXEL_EXACT | DRAW_MODULATE_COLOR, 240, y, 64, 22, 0xFF60A0FF);
  }
  DrawSettings.blendMode = 0;
  EndDeviceScene();
  return ReadBackBuffer().pixels;
}

// Textured boxes through the two blend graph types the stages and the shaders compute alike
// (cross-fade by the parameter, alpha times the graph), in several blend modes.
std::vector<uint32_t> DrawBlendGraphChart(IDirect3DTexture9* texture, IDirect3DTexture9* graph) {
  DeviceCalls.DeviceClear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, kGrey, 1.0f, 0);
  const int modes[] = {0, 1, 2, 4, 10, 12};
  const int types[] = {0, 2};
  SetDeviceBlendGraphTexture(graph, 64, 64);
  for (int t = 0; t < 2; t++) {
    int params[2] = {96, 0};
    SetDeviceBlendGraphParams(params, types[t]);
    for (int m = 0; m < 6; m++) {
      DrawSettings.blendMode = modes[m];
      int y = 4 + (t * 6 + m) * 26;
      DrawBox(texture, DRAW_TRANSPARENT | DRAW_TEXTURE_ALPHA | DRAW_PIXEL_EXACT | DRAW_MODULATE_COLOR, 80, y, 64, 22,
              0xC0FFE0A0);
      DrawBox(texture, DRAW_TRANSPARENT | DRAW_TEXTURE_ALPHA | DRAW_PIXEL_EXACT, 160, y, 64, 22, 0xD0FFFFFF);
      DrawBox(texture, DRAW_PIXEL_EXACT | DRAW_MODULATE_COLOR, 240, y, 64, 22, 0xFF60A0FF);
    }
  }
  SetDeviceBlendGraphTexture(nullptr, 0, 0);
  DrawSettings.blendMode = 0;
  EndDeviceScene();
  return ReadBackBuffer().pixels;
}

// Pixels that differ by more than 1 in a channel, reported with their chart row.
void ExpectSamePixels(const std::vector<uint32_t>& fixed, const std::vector<uint32_t>& shaded, const char* chart) {
  ASSERT_EQ(fixed.size(), 640u * 480u);
  ASSERT_EQ(shaded.size(), fixed.size());
  int failures = 0;
  for (int y = 0; y < 480 && failures < 8; y++)
    for (int x = 0; x < 640 && failures < 8; x++) {
      DWORD a = fixed[y * 640 + x], b = shaded[y * 640 + x];
      for (int shift = 0; shift < 24; shift += 8) {
        int d = abs((int)(a >> shift & 0xFF) - (int)(b >> shift & 0xFF));
        if (d > 1) {
          ADD_FAILURE() << chart << " row " << (y - 4) / 26 << " box " << x / 80 << " pixel (" << x << ", " << y
                        << "): fixed " << std::hex << a << " shader " << b;
          failures++;
          break;
        }
      }
    }
}

// A 24-bit BMP of 7 x 5 pixels whose colours differ everywhere.
std::string PatternBmp() {
  std::string px;
  for (int y = 4; y >= 0; y--) {
    for (int x = 0; x < 7; x++) px += std::string{(char)(x * y * 9), (char)(40 * y + 5), (char)(30 * x + 3)};
    px += std::string(3, '\0');  // rows padded to 24 bytes
  }
  return MakeBmp(7, 5, 24, 0, "", px);
}

// Switches between the paths the way a device start decides them.
void UseFixedFunction(int fixed) {
  DeviceResources.forceFixedFunction = fixed;
  LoadBuiltInShaders();
  StateFlags.blendStatesChanged = 1;
  ResendDeviceStates();
}

TEST_F(DeviceResourcesTest, WineDeviceUsesTheBuiltInShaders) {
  std::string log = ReadLogWithoutStamps();
  EXPECT_NE(log.find("プログラマブルシェーダーを使用します\r\n"), std::string::npos);
  EXPECT_EQ(log.find("プログラマブルシェーダーを使用しません"), std::string::npos);
  EXPECT_EQ(StateFlags.programmableShaders, 1);
  EXPECT_EQ(BuiltInShaderCode.loaded, 1);
  for (int i = 0; i < 4; i++) EXPECT_NE(DeviceResources.untexturedShaders[i], nullptr) << i;
  for (int i = 0; i < 64; i++) EXPECT_NE(DeviceResources.blendShaders[i], nullptr) << i;
  EXPECT_NE(DeviceResources.maskShader, nullptr);
  EXPECT_NE(DeviceResources.modelVertexShaders[TEST_MODEL_VERTEX_SHADER], nullptr);
  EXPECT_NE(DeviceResources.modelPixelShaders[TEST_MODEL_PIXEL_SHADER], nullptr);
  // The code tables hold exactly what the build put there: the RGBA-mix pack has all its 256
  // entries, one after the other, each short enough to be read as a signed 16-bit size.
  const uint8_t* next = BuiltInShaderCode.blockRgbaMix + 512;
  for (int e = 0; e < 64; e++)
    for (int s = 0; s < 4; s++) {
      EXPECT_EQ(BuiltInShaderCode.rgbaMixCode[e][s], next) << e << "," << s;
      EXPECT_GT(BuiltInShaderCode.rgbaMixSizes[e][s], 0) << e << "," << s;
      EXPECT_LE(BuiltInShaderCode.rgbaMixSizes[e][s], 32767) << e << "," << s;
      next += BuiltInShaderCode.rgbaMixSizes[e][s];
    }
  for (int i = 0; i < 54; i++) EXPECT_NE(DeviceResources.modelDeclarations[i], nullptr) << i;
  EXPECT_NE(DeviceResources.fixedDeclarations[0], nullptr);
  EXPECT_NE(DeviceResources.fixedDeclarations[1], nullptr);
  EXPECT_NE(DeviceResources.brightestColorTexture, nullptr);
  // The filter archive opens but holds no shader yet.
  EXPECT_EQ(LoadFilterShader("none.pso", 0), -1);
}

TEST_F(DeviceResourcesTest, ForcedFixedFunctionDecodesNothingAndSaysSo) {
  ReleaseBuiltInShaders();
  EXPECT_EQ(FreeBuiltInShaderCode(), 1);
  UseFixedFunction(1);
  EXPECT_EQ(BuiltInShaderCode.loaded, 0);
  EXPECT_EQ(BuiltInShaderCode.block2D, nullptr);
  EXPECT_EQ(StateFlags.programmableShaders, 0);
  EXPECT_EQ(DeviceResources.blendShaders[0], nullptr);
  EXPECT_NE(ReadLogWithoutStamps().find("プログラマブルシェーダーを使用しません\r\n"), std::string::npos);
  UseFixedFunction(0);
  EXPECT_EQ(BuiltInShaderCode.loaded, 1);
  EXPECT_EQ(StateFlags.programmableShaders, 1);
  EXPECT_NE(DeviceResources.blendShaders[63], nullptr);
}

int pixelShadersAllowed;
HRESULT LimitedCreatePixelShader(const DWORD* code, IDirect3DPixelShader9** out) {
  if (pixelShadersAllowed-- <= 0) return E_FAIL;
  return RealDeviceCalls.DeviceCreatePixelShader(code, out);
}

// A shader that cannot be made switches the programmable path off, with the step's message.
TEST_F(DeviceResourcesTest, FailedShaderCreationFallsBackToFixedFunction) {
  struct ROW {
    int allowed;
    const char* message;
  } rows[] = {{0, "ピクセルシェーダーオブジェクトの作成に失敗しました\r\n"},
              {3, "基本シェーダーオブジェクトの作成に失敗しました\r\n"},
              {69, "マスク処理用シェーダーオブジェクトの作成に失敗しました\r\n"}};
  for (const ROW& row : rows) {
    DeleteFileA("Log.txt");
    pixelShadersAllowed = row.allowed;
    DeviceCalls.DeviceCreatePixelShader = LimitedCreatePixelShader;
    EXPECT_EQ(LoadBuiltInShaders(), 0);
    DeviceCalls = RealDeviceCalls;
    std::string log = ReadLogWithoutStamps();
    EXPECT_NE(log.find(row.message), std::string::npos) << row.allowed;
    EXPECT_NE(log.find("プログラマブルシェーダーを使用しません\r\n"), std::string::npos) << row.allowed;
    EXPECT_EQ(StateFlags.programmableShaders, 0) << row.allowed;
    EXPECT_EQ(DeviceResources.untexturedShaders[0], nullptr) << "made shaders are released again";
  }
  UseFixedFunction(0);
  EXPECT_EQ(StateFlags.programmableShaders, 1);
}

TEST_F(DeviceResourcesTest, EveryBlendModeDrawsTheSamePixelsOnBothPaths) {
  IDirect3DTexture9* texture = MakePatternTexture();
  ASSERT_NE(texture, nullptr);
  UseFixedFunction(1);
  std::vector<uint32_t> fixed = DrawBlendModeChart(texture);
  EXPECT_EQ(DeviceStateCache.builtInPixelShader, 0);
  UseFixedFunction(0);
  std::vector<uint32_t> shaded = DrawBlendModeChart(texture);
  EXPECT_EQ(DeviceStateCache.builtInPixelShader, 1);
  DeviceCalls.ReleaseComObject(texture);
  // The chart really shows something: the alpha-blended row is not all grey.
  ASSERT_EQ(fixed.size(), 640u * 480u);
  int drawn = 0;
  for (int x = 4; x < 304; x++) drawn += (fixed[(4 + 26 + 10) * 640 + x] & 0xFFFFFF) != (kGrey & 0xFFFFFF);
  EXPECT_GT(drawn, 200);
  ExpectSamePixels(fixed, shaded, "blend mode");
}

TEST_F(DeviceResourcesTest, BlendGraphsDrawTheSamePixelsOnBothPaths) {
  IDirect3DTexture9* texture = MakePatternTexture();
  IDirect3DTexture9* graph = MakePatternTexture();
  ASSERT_NE(texture, nullptr);
  ASSERT_NE(graph, nullptr);
  UseFixedFunction(1);
  std::vector<uint32_t> fixed = DrawBlendGraphChart(texture, graph);
  UseFixedFunction(0);
  std::vector<uint32_t> shaded = DrawBlendGraphChart(texture, graph);
  DeviceCalls.ReleaseComObject(texture);
  DeviceCalls.ReleaseComObject(graph);
  ExpectSamePixels(fixed, shaded, "blend graph (type 0 rows 0-5, type 2 rows 6-11)");
}

TEST_F(DeviceResourcesTest, DepthBufferSizes) {
  struct ROW {
    int deviceWidth, deviceHeight, preset, presetWidth, presetHeight, width, height;
  } rows[] = {
      {640, 480, 0, 0, 0, 1024, 512},    {800, 600, 0, 0, 0, 1024, 1024}, {1024, 768, 0, 0, 0, 1024, 1024},
      {320, 240, 0, 0, 0, 512, 256},     {512, 512, 0, 0, 0, 512, 512},   {640, 480, 1, 300, 200, 300, 200},
      {640, 480, 1, 300, 0, 1024, 512},  {640, 480, 0, 300, 200, 1024, 512},
  };
  for (const ROW& row : rows) {
    ScreenState.deviceWidth = row.deviceWidth, ScreenState.deviceHeight = row.deviceHeight;
    DeviceResources.presetDepthSize = row.preset;
    DeviceResources.presetDepthWidth = row.presetWidth, DeviceResources.presetDepthHeight = row.presetHeight;
    std::string name = std::to_string(row.deviceWidth) + "x" + std::to_string(row.deviceHeight) + " preset " +
                       std::to_string(row.preset) + " " + std::to_string(row.presetWidth) + "x" +
                       std::to_string(row.presetHeight);
    ASSERT_EQ(CreateDepthBuffer(), 0) << name;
    D3DSURFACE_DESC desc;
    ASSERT_EQ(DeviceCalls.SurfaceGetDesc(DeviceResources.depthBuffer, &desc), D3D_OK) << name;
    EXPECT_EQ((int)desc.Width, row.width) << name;
    EXPECT_EQ((int)desc.Height, row.height) << name;
    EXPECT_EQ(DeviceResources.depthWidth, row.width) << name;
    EXPECT_EQ(desc.Format, DeviceCaps.depthFormat) << name;
  }
  ScreenState.deviceWidth = 640, ScreenState.deviceHeight = 480;
  DeviceResources.presetDepthSize = 0;
  ASSERT_EQ(CreateDepthBuffer(), 0);
  EXPECT_NE(ReadLogWithoutStamps().find("Ｚバッファを作成します.... 成功\r\n"), std::string::npos);
}

// The depth surface the device gets for the screen and for graph targets that fit the depth
// buffer or not.
TEST_F(DeviceResourcesTest, DepthSurfaceFollowsTheDrawTarget) {
  GRAPH_CREATE_PARAM param;
  CaptureGraphCreateParam(&param);
  HANDLE_VALUE small = CreateBlankGraph(&param, 200, 100, 0, 0, 0);
  HANDLE_VALUE wide = CreateBlankGraph(&param, 1500, 64, 0, 0, 0);
  ASSERT_NE(small, -1);
  ASSERT_NE(wide, -1);
  auto current = [] {
    IDirect3DSurface9* surface = nullptr;
    DeviceCalls.DeviceGetDepthStencil(&surface);
    if (surface != nullptr) DeviceCalls.ReleaseComObject(surface);
    return surface;
  };
  const int savedTarget = DrawSettings.drawTarget;
  struct ROW {
    const char* name;
    int target;
    IDirect3DSurface9* expected;
  } rows[] = {{"screen", -2, DeviceResources.depthBuffer},
              {"graph inside the depth buffer", small, DeviceResources.depthBuffer},
              {"graph wider than the depth buffer", wide, nullptr}};
  for (const ROW& row : rows) {
    DrawSettings.drawTarget = row.target;
    EXPECT_EQ(SetDepthStencilForTarget(), 0);
    EXPECT_EQ(current(), row.expected) << row.name;
  }
  DrawSettings.drawTarget = savedTarget;
  SetDepthStencilForTarget();
  ReleaseTextureCache();
}

TEST_F(DeviceResourcesTest, BrightestColorCases) {
  struct ROW {
    int r, g, b, outR, outG, outB;
  } rows[] = {
      {0, 0, 0, 255, 255, 255},       {10, 10, 10, 255, 255, 255},   {255, 255, 255, 255, 255, 255},
      {128, 64, 0, 255, 127, 0},      {128, 0, 64, 255, 0, 127},     {0, 128, 64, 0, 255, 127},
      {64, 128, 0, 127, 255, 0},      {0, 64, 128, 0, 127, 255},     {64, 0, 128, 127, 0, 255},
      {100, 50, 50, 255, 128, 128},   {255, 255, 0, 255, 255, 0},    {0, 255, 255, 0, 255, 255},
      {300, 0, 0, 255, 0, 0},         {200, 100, 100, 255, 128, 128}, {50, 100, 100, 128, 255, 255},
      {100, 100, 50, 255, 255, 128},
  };
  for (const ROW& row : rows) {
    int r = -1, g = -1, b = -1;
    ComputeBrightestColor(row.r, row.g, row.b, &r, &g, &b);
    EXPECT_EQ(r, row.outR) << row.r << "," << row.g << "," << row.b;
    EXPECT_EQ(g, row.outG) << row.r << "," << row.g << "," << row.b;
    EXPECT_EQ(b, row.outB) << row.r << "," << row.g << "," << row.b;
  }
}

// A drawn frame, a graph and a shader handle across a device thrown away and made again: the
// handles stay, their device objects are new, and the same drawing gives the same pixels.
TEST_F(DeviceResourcesTest, HandlesAndDrawingSurviveDeviceRecreation) {
  GRAPH_CREATE_PARAM param;
  CaptureGraphCreateParam(&param);
  HANDLE_VALUE graph = CreateBlankGraph(&param, 100, 50, 0, 0, 0);
  ASSERT_NE(graph, -1);
  std::string bmp = PatternBmp();
  GRAPH_LOAD_PARAM loadParam;
  CaptureGraphLoadParam(&loadParam);
  HANDLE_VALUE loaded = LoadGraphFromImageBytes(&loadParam, 0, -1, bmp.data(), (int)bmp.size(), nullptr, 0, 0, 0, 0);
  ASSERT_NE(loaded, -1);
  std::vector<uint32_t> loadedPixels = ReadGraphTexture(loaded);
  ASSERT_EQ(loadedPixels.size(), 35u);
  EXPECT_EQ(loadedPixels[8] & 0xFFFFFF, (DWORD)(33 << 16 | 45 << 8 | 9));
  ASSERT_NE(GetGraphRecord(graph, 0)->imageSet->textures[0].texture, nullptr);
  ASSERT_GE(AcquireSystemTexture(64, 64, 1, 1, 0), 0);
  int poolEntries = 0;
  for (const SYSTEM_TEXTURE_ENTRY& e : SystemTexturePool.entries) poolEntries += e.inUse;
  ASSERT_GT(poolEntries, 0);
  const int slot = MODEL_VERTEX_SHADER_SLOTS + TEST_MODEL_PIXEL_SHADER;
  const uint8_t* code = BuiltInShaderCode.modelCode[slot];
  ASSERT_NE(code, nullptr);
  const uint8_t* size = BuiltInShaderCode.blockModel + slot * 2;
  int handle = CreatePixelShaderFromBytes(code, size[0] | size[1] << 8);
  ASSERT_NE(handle, -1);
  IDirect3DTexture9* texture = MakePatternTexture();
  ASSERT_NE(texture, nullptr);
  std::vector<uint32_t> before = DrawBlendModeChart(texture);
  DeviceCalls.ReleaseComObject(texture);

  ReleaseDeviceObjects();
  SHADER_HANDLE* record = (SHADER_HANDLE*)LookupHandleRecord(handle);
  ASSERT_NE(record, nullptr);
  EXPECT_EQ(record->object, nullptr);
  EXPECT_EQ(GetGraphRecord(graph, 0)->imageSet->textures[0].texture, nullptr);
  for (const SYSTEM_TEXTURE_ENTRY& e : SystemTexturePool.entries) EXPECT_EQ(e.texture, nullptr);
  EndDevice();
  EXPECT_EQ(DeviceStateCache.pixelShader, nullptr);
  EXPECT_EQ(DeviceStateCache.renderTargets[0], nullptr);
  StartDevice();
  ASSERT_EQ(RecreateDeviceResources(), 0);
  EXPECT_NE(ReadGraphTexture(loaded), loadedPixels) << "new textures start without the graph's pixels";
  ASSERT_EQ(RestoreGraphicsContent(), 0);
  EXPECT_EQ(IsGraphHandleValid(loaded), 1);
  EXPECT_EQ(ReadGraphTexture(loaded), loadedPixels) << "the graph is reloaded from its source";
  record = (SHADER_HANDLE*)LookupHandleRecord(handle);
  ASSERT_NE(record, nullptr);
  EXPECT_NE(record->object, nullptr);
  EXPECT_EQ(BindPixelShaderHandle(handle), 0);
  EXPECT_EQ(IsGraphHandleValid(graph), 1);
  EXPECT_NE(GetGraphRecord(graph, 0)->imageSet->textures[0].texture, nullptr);
  for (const SYSTEM_TEXTURE_ENTRY& e : SystemTexturePool.entries) {
    if (e.inUse) {
      EXPECT_NE(e.texture, nullptr);
    }
  }
  EXPECT_EQ(DeviceStateCache.pixelShader, (IDirect3DPixelShader9*)record->object);

  texture = MakePatternTexture();
  ASSERT_NE(texture, nullptr);
  std::vector<uint32_t> after = DrawBlendModeChart(texture);
  DeviceCalls.ReleaseComObject(texture);
  ASSERT_EQ(after.size(), before.size());
  int differing = 0;
  for (size_t i = 0; i < after.size(); i++) differing += (after[i] & 0xFFFFFF) != (before[i] & 0xFFFFFF);
  EXPECT_EQ(differing, 0);
  ReleaseTextureCache();
}
}  // namespace

namespace {
int asyncSeenByHandler = -1;
int RecordingRestoreHandler() {
  asyncSeenByHandler = LibraryFlags.useAsyncLoading;
  return 0;
}

TEST_F(DeviceResourcesTest, ContentRestoreRunsTheHandlerWithAsynchronousLoadingOff) {
  LibraryFlags.useAsyncLoading = 1;
  EXPECT_EQ(SetGraphicsRestoreHandler(RecordingRestoreHandler), 0);
  EXPECT_EQ(HasGraphicsRestoreCallback(), 1);
  EXPECT_EQ(RestoreGraphicsContent(), 0);
  EXPECT_EQ(asyncSeenByHandler, 0);
  EXPECT_EQ(LibraryFlags.useAsyncLoading, 1);
  SetGraphicsRestoreHandler(nullptr);
  LibraryFlags.useAsyncLoading = 0;
}
}  // namespace
