// Wine's real Direct3D 9 device: the creation log, the state cache, the vertex batch and the
// draw preparation seen through a recording layer, and pixels read back from the back buffer.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "call_recorder.h"
#include "graphics/device/d3d_calls.h"
#include "graphics/device/device.h"
#include "graphics/device/draw_prepare.h"
#include "graphics/device/draw_settings.h"
#include "graphics/device/present.h"
#include "graphics/device/screen.h"
#include "graphics/device/shader_handles.h"
#include "graphics/device/shader_constants.h"
#include "graphics/device/state_cache.h"
#include "graphics/device/vertex_batch.h"
#include "graphics/graphs/graph_create.h"
#include "graphics/graphs/graph_handles.h"
#include "korvel.h"
#include "system/base/window_state.h"
#include "read_back.h"
#include "real_device.h"
#include "test_support.h"

namespace {
class Device : public ::testing::Test {
 protected:
  // 16 bits asked for: the windowed device still takes the desktop's format.
  static void SetUpTestSuite() { StartRealDevice(16); }
  static void TearDownTestSuite() { EndRealDevice(); }
  void TearDown() override {
    StopRecording();
    FlushVertexBatch(0);
  }
};

TEST_F(Device, CreationLogsEachStepInOrderAndTakesTheDesktopFormat) {
  std::string log = ReadLogWithoutStamps();
  const char* expected[] = {
      "DirectDraw オブジェクトの取得を行います....  成功\r\n",
      "引き続き初期化処理... 初期化に成功しました\r\n",
      "IDirect3D9Ex オブジェクトを取得します.... 成功\r\n",
      "IDirect3DDevice9Ex オブジェクトを取得します.... ハードウエア頂点演算を使用します\r\n",
      "成功\r\n",
      "Driver:",
      "画面のフォーマットは D3DFMT_X8R8G8B8 です\r\n",
      "Ｚバッファのフォーマットは D3DFMT_D16 です\r\n",
      "16bit カラーフォーマットは D3DFMT_R5G6B5 です\r\n",
      "32bit カラーフォーマットは D3DFMT_X8R8G8B8 です\r\n",
      "アルファ付き 16bit カラーフォーマットは D3DFMT_A4R4G4B4 です\r\n",
      "アルファ付き 32bit カラーフォーマットは D3DFMT_A8R8G8B8 です\r\n",
      "アルファテスト用 16bit カラーフォーマットは D3DFMT_A1R5G5B5 です\r\n",
      "アルファテスト用 32bit カラーフォーマットは D3DFMT_A8R8G8B8 です\r\n",
      "ＤＸＴ１テクスチャフォーマットは",
      "ＤＸＴ５テクスチャフォーマットは",
      "描画用 16bit カラーフォーマットは ",
      "描画用 32bit カラーフォーマットは D3DFMT_X8R8G8B8 です\r\n",
      "描画用２チャンネル浮動小数点32ビット型",
      "一度に描画できるプリミティブの最大数:",
      "対応している最大頂点インデックス:",
      "同時にレンダリングできるバッファの数:",
      "最大テクスチャサイズ　幅:",
      "テクスチャステージテンポラリレジスタ：",
      "減算合成のハードウェア対応：",
      "ハードウェア頂点シェーダーバージョンコード：",
      "エミュレーション頂点シェーダーバージョンコード：エミュレーション無し\r\n",
      "ピクセルシェーダーバージョンコード：300\r\n",
      "バックバッファロック転送の時間:",
  };
  size_t at = 0;
  for (const char* line : expected) {
    size_t found = log.find(line, at);
    ASSERT_NE(found, std::string::npos) << "missing or out of order: " << line << "\n" << log;
    at = found + 1;
  }
  EXPECT_NE(log.find("バックバッファロックを使用", at), std::string::npos) << log;
  EXPECT_EQ(GetScreenColorBits(), 32);
  EXPECT_EQ(DeviceCaps.backBufferFormat, D3DFMT_X8R8G8B8);
  EXPECT_EQ(HasDirect3D9Ex(), 1);
  EXPECT_EQ(DeviceSettings.shaderModel2, 1);
  EXPECT_EQ(DeviceCaps.textureFormats[25], DeviceCaps.textureFormats[12]);
  EXPECT_EQ(DeviceCaps.textureFormats[26], DeviceCaps.textureFormats[5]);
}

TEST_F(Device, RepeatedStateIsSentOnceAndAChangeFlushesFirst) {
  SetDeviceZFunc(D3DCMP_LESSEQUAL);
  StartRecording();
  AppendRawBox(0, 0, 4, 4, 0xFFFFFFFF, 0);
  SetDeviceZFunc(D3DCMP_LESSEQUAL);
  EXPECT_EQ(RecordedCalls().size(), 0u) << "an unchanged state sends nothing and keeps the batch";
  SetDeviceZFunc(D3DCMP_GREATER);
  SetDeviceZFunc(D3DCMP_GREATER);
  std::vector<std::string> order;
  for (const RECORDED_CALL& call : RecordedCalls())
    if (call.name != "SetFVF") order.push_back(call.name);
  ASSERT_EQ(order, (std::vector<std::string>{"DrawPrimitiveUP", "SetRenderState"}));
  EXPECT_EQ(LastRenderState(D3DRS_ZFUNC), D3DCMP_GREATER);
  EXPECT_EQ(VertexBatch.count, 0);

  // Force-send re-sends an unchanged value without flushing.
  RecordedCalls().clear();
  AppendRawBox(0, 0, 4, 4, 0xFFFFFFFF, 0);
  StateFlags.forceSend = 1;
  SetDeviceFillMode(D3DFILL_SOLID);
  StateFlags.forceSend = 0;
  EXPECT_EQ(CountCalls("SetRenderState"), 1);
  EXPECT_EQ(CountCalls("DrawPrimitiveUP"), 0);
  EXPECT_EQ(VertexBatch.count, 6);
  SetDeviceZFunc(D3DCMP_LESSEQUAL);
}

TEST_F(Device, CacheSettersRefuseIndicesOutsideTheirArrays) {
  StartRecording();
  EXPECT_EQ(SetDeviceAddressMode(3, 8), -1);
  EXPECT_EQ(SetDeviceAddressMode(3, -2), -1);
  EXPECT_EQ(SetDeviceAddressU(1, -5), -1);
  EXPECT_EQ(SetDeviceRenderTarget(nullptr, -1), -1);
  EXPECT_EQ(SetDeviceRenderTarget(nullptr, 16), -1);
  EXPECT_EQ(SetDeviceTextureTransform(-2, 1, nullptr), -1);
  EXPECT_EQ(SetDeviceTextureTransform(8, 0, nullptr), -1);
  EXPECT_EQ(ApplySamplerFilterMode(3), -1);
  EXPECT_EQ(RecordedCalls().size(), 0u);
  SetDeviceCullMode(1);
  EXPECT_EQ(LastRenderState(D3DRS_CULLMODE), D3DCULL_CCW);
  SetDeviceCullMode(7);
  EXPECT_EQ(LastRenderState(D3DRS_CULLMODE), D3DCULL_CCW);
  SetDeviceCullMode(0);
  EXPECT_EQ(LastRenderState(D3DRS_CULLMODE), D3DCULL_NONE);
}

TEST_F(Device, FiveHundredThirtySevenBoxesGoInOneDrawAndTheNextFlushesFirst) {
  PrepareDrawStates(nullptr, 0);
  FlushVertexBatch(0);
  StartRecording();
  for (int i = 0; i < 537; i++) AppendRawBox(i % 600, 0, i % 600 + 1, 1, 0xFF000000, 0);
  EXPECT_EQ(CountCalls("DrawPrimitiveUP"), 0);
  EXPECT_EQ(VertexBatch.count, 3222);
  AppendRawBox(0, 0, 1, 1, 0xFF000000, 0);
  ASSERT_EQ(CountCalls("DrawPrimitiveUP"), 1);
  const RECORDED_CALL& draw = RecordedCalls().back().name == "DrawPrimitiveUP" ? RecordedCalls().back()
                                                                                : RecordedCalls()[0];
  EXPECT_EQ(draw.a, (unsigned)D3DPT_TRIANGLELIST);
  EXPECT_EQ(draw.b, 1074u);
  EXPECT_EQ(draw.c, 20u);
  EXPECT_EQ(VertexBatch.count, 6);
  FlushVertexBatch(0);
  EXPECT_EQ(CountCalls("DrawPrimitiveUP"), 2);
  FlushVertexBatch(0);
  EXPECT_EQ(CountCalls("DrawPrimitiveUP"), 2) << "an empty batch makes no call";
}

TEST_F(Device, FilledBoxLightsExactlyItsPixelsInThePackedColour) {
  DeviceCalls.DeviceClear(0, nullptr, D3DCLEAR_TARGET, 0, 1.0f, 0);
  SelectBlendMode(0, 0);
  SelectDrawBrightness(255, 255, 255);
  PrepareDrawStates(nullptr, 0);
  unsigned color = PackScreenColor(255, 128, 0);
  EXPECT_EQ(color, 0xFFFF8000u);
  AppendRawBox(10, 10, 20, 20, color, 0);
  EndDeviceScene();
  std::vector<uint32_t> pixels = ReadBackBuffer().pixels;
  ASSERT_EQ(pixels.size(), 640u * 480u);
  for (int y = 0; y < 30; y++)
    for (int x = 0; x < 30; x++) {
      bool inside = x >= 10 && x <= 19 && y >= 10 && y <= 19;
      EXPECT_EQ(pixels[y * 640 + x] & 0xFFFFFF, inside ? 0xFF8000u : 0u) << "pixel " << x << "," << y;
    }
  BeginDeviceScene();
}

struct BLEND_CASE {
  int mode;
  int blendEnable;
  long long source, destination, operation;  // -1: not sent by this preparation
};

TEST_F(Device, UntexturedDrawPreparationFollowsTheBlendTable) {
  const BLEND_CASE cases[] = {
      {1, 1, D3DBLEND_SRCALPHA, D3DBLEND_INVSRCALPHA, D3DBLENDOP_ADD},
      {2, 1, D3DBLEND_SRCALPHA, D3DBLEND_ONE, -1},
      {4, 1, D3DBLEND_ZERO, D3DBLEND_SRCCOLOR, -1},
      {9, 1, D3DBLEND_INVDESTCOLOR, D3DBLEND_ZERO, -1},
      {16, 1, D3DBLEND_SRCALPHA, D3DBLEND_ONE, D3DBLENDOP_REVSUBTRACT},
      {15, 1, D3DBLEND_ONE, D3DBLEND_INVSRCALPHA, D3DBLENDOP_ADD},
      {0, 0, -1, -1, -1},
  };
  // The fixed-function stages are checked: the built-in pixel shaders stay out of it.
  int programmable = StateFlags.programmableShaders;
  StateFlags.programmableShaders = 0;
  for (const BLEND_CASE& c : cases) {
    StartRecording();
    SelectBlendMode(c.mode, 128);
    PrepareDrawStates(nullptr, 0);
    EXPECT_EQ(DeviceStateCache.alphaBlendEnable, c.blendEnable) << "mode " << c.mode;
    EXPECT_EQ(DeviceStateCache.alphaTestEnable, 0) << "mode " << c.mode;
    if (c.source != -1) { EXPECT_EQ(DeviceStateCache.sourceBlend, c.source) << "mode " << c.mode; }
    if (c.destination != -1) { EXPECT_EQ(DeviceStateCache.destBlend, c.destination) << "mode " << c.mode; }
    if (c.operation != -1) { EXPECT_EQ(DeviceStateCache.blendOp, c.operation) << "mode " << c.mode; }
    EXPECT_EQ(DeviceStateCache.stages[0].colorOp, D3DTOP_SELECTARG1) << "mode " << c.mode;
    EXPECT_EQ(DeviceStateCache.stages[0].colorArg1, D3DTA_DIFFUSE) << "mode " << c.mode;
    EXPECT_EQ(DeviceStateCache.stages[1].colorOp, D3DTOP_DISABLE) << "mode " << c.mode;
    StopRecording();
  }
  // Mode 3: reverse subtraction where the blender has it, else the inverted-destination pair.
  for (int capable = 0; capable < 2; capable++) {
    int saved = DeviceCaps.blendOperation;
    DeviceCaps.blendOperation = capable;
    SelectBlendMode(3, 255);
    PrepareDrawStates(nullptr, 0);
    EXPECT_EQ(DeviceStateCache.destBlend, capable ? D3DBLEND_ONE : D3DBLEND_ZERO) << capable;
    EXPECT_EQ(DeviceStateCache.sourceBlend, capable ? D3DBLEND_SRCALPHA : D3DBLEND_INVDESTCOLOR) << capable;
    EXPECT_EQ(DeviceStateCache.blendOp, capable ? D3DBLENDOP_REVSUBTRACT : D3DBLENDOP_ADD) << capable;
    SelectBlendMode(0, 0);
    PrepareDrawStates(nullptr, 0);
    DeviceCaps.blendOperation = saved;
  }
  // Mode 0 again with nothing changed: the preparation sends nothing.
  StartRecording();
  PrepareDrawStates(nullptr, 0);
  EXPECT_EQ(RecordedCalls().size(), 0u);
  StateFlags.programmableShaders = programmable;
  StateFlags.stateChanged = 1;
}

TEST_F(Device, TexturedDrawPreparationDerivesTheAlphaFromTheFlags) {
  IDirect3DTexture9* texture = nullptr;
  ASSERT_EQ(DeviceCalls.DeviceCreateTexture(4, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT, &texture, nullptr), S_OK);
  SelectBlendMode(0, 0);
  SelectAlphaTest(-1, 0);
  // Bilinear filtering without the pixel-exact flag: blending by the texture alpha.
  SetDrawFilterMode(1);
  PrepareDrawStates(texture, 0x8001);
  EXPECT_EQ(DeviceStateCache.alphaBlendEnable, 1);
  EXPECT_EQ(DeviceStateCache.destBlend, D3DBLEND_INVSRCALPHA);
  EXPECT_EQ(DeviceStateCache.sourceBlend, D3DBLEND_SRCALPHA);
  EXPECT_EQ(DeviceStateCache.alphaTestEnable, 1);
  EXPECT_EQ(DeviceStateCache.alphaFunc, D3DCMP_GREATER);
  EXPECT_EQ(DeviceStateCache.alphaRef, 0);
  EXPECT_EQ(VertexBatch.vertexType, 1);
  EXPECT_EQ(DeviceStateCache.stages[0].texture, texture);
  // Pixel-exact and nearest: only the alpha-test format asks for a test at 16, no blending.
  SetDrawFilterMode(0);
  PrepareDrawStates(texture, 0x10003);
  EXPECT_EQ(DeviceStateCache.alphaBlendEnable, 0);
  EXPECT_EQ(DeviceStateCache.alphaTestEnable, 1);
  EXPECT_EQ(DeviceStateCache.alphaRef, 16);
  // A user alpha test overrides the derived one.
  SelectAlphaTest(D3DCMP_LESS, 300);
  PrepareDrawStates(texture, 0x10003);
  EXPECT_EQ(DeviceStateCache.alphaFunc, D3DCMP_LESS);
  EXPECT_EQ(DeviceStateCache.alphaRef, 255);
  SelectAlphaTest(-1, 0);
  PrepareDrawStates(nullptr, 0);
  DeviceCalls.ReleaseComObject(texture);
}

TEST_F(Device, ConstantSetsLayerAndUploadOnlyChangedRegisters) {
  StateFlags.programmableShaders = 1;
  StartRecording();
  float set0[4][4] = {{1}, {2}, {3}, {4}};
  float set1[4][4] = {{11}, {12}, {13}, {14}};
  WriteShaderConstants(&ShaderConstants, 0, 0, 102, set0, 4, 1);  // c102-c105
  SelectShaderConstantSets(&ShaderConstants, 3);
  RecordedCalls().clear();
  WriteShaderConstants(&ShaderConstants, 0, 1, 104, set1, 4, 1);  // c104-c107
  ASSERT_EQ(CountCalls("VertexConstantF"), 4);
  EXPECT_EQ(ShaderConstants.uploaded[0][103][0], FloatWord(2.0f));
  EXPECT_EQ(ShaderConstants.uploaded[0][104][0], FloatWord(11.0f));
  EXPECT_EQ(ShaderConstants.uploaded[0][107][0], FloatWord(14.0f));
  // Set 0 writing under set 1 changes only what set 0 owns.
  RecordedCalls().clear();
  WriteShaderConstants(&ShaderConstants, 0, 0, 102, set0, 4, 1);
  EXPECT_EQ(ShaderConstants.uploaded[0][104][0], FloatWord(11.0f));
  // Clearing set 1 gives c104 and c105 back to set 0; c106 and c107 stay on the device.
  RecordedCalls().clear();
  ClearShaderConstants(&ShaderConstants, 0, 1, 104, 4);
  ASSERT_EQ(CountCalls("VertexConstantF"), 2);
  EXPECT_EQ(RecordedCalls()[0].a, 104u);
  EXPECT_EQ(RecordedCalls()[0].b, FloatWord(3.0f));
  EXPECT_EQ(RecordedCalls()[1].b, FloatWord(4.0f));
  EXPECT_EQ(ShaderConstants.uploaded[0][106][0], FloatWord(13.0f));
  // Selecting set 0 alone after both keeps what only set 1 used.
  WriteShaderConstants(&ShaderConstants, 0, 1, 110, set1, 1, 1);
  RecordedCalls().clear();
  SelectShaderConstantSets(&ShaderConstants, 1);
  EXPECT_EQ(CountCalls("VertexConstantF"), 0);
  EXPECT_EQ(ShaderConstants.uploaded[0][110][0], FloatWord(11.0f));
  StopRecording();
  StateFlags.programmableShaders = 0;
}

TEST_F(Device, RestoreResendsTheCachedStatesAndKeepsThem) {
  SetDeviceZFunc(D3DCMP_GREATEREQUAL);
  SetDeviceFogColor(0xFF102030);
  StartRecording();
  ASSERT_EQ(RestoreDeviceStates(), 0);
  EXPECT_EQ(StateFlags.forceSend, 0);
  EXPECT_EQ(LastRenderState(D3DRS_ZFUNC), D3DCMP_GREATEREQUAL);
  EXPECT_EQ(LastRenderState(D3DRS_FOGCOLOR), 0xFF102030);
  EXPECT_EQ(LastRenderState(D3DRS_DITHERENABLE), FALSE);
  EXPECT_GE(CountCalls("SetTextureStageState"), 8 * 6) << "every stage is programmed under force-send";
  EXPECT_EQ(DeviceStateCache.zFunc, D3DCMP_GREATEREQUAL);
  RecordedCalls().clear();
  SetDeviceZFunc(D3DCMP_GREATEREQUAL);
  EXPECT_EQ(RecordedCalls().size(), 0u);
  SetDeviceZFunc(D3DCMP_LESSEQUAL);
}

TEST_F(Device, InitialisationLeavesOneTexturedPointOfItsOwnStride) {
  ASSERT_EQ(InitDeviceStates(), 0);
  EXPECT_EQ(VertexBatch.dimension, 0);
  EXPECT_EQ(VertexBatch.vertexType, 1);
  EXPECT_EQ(VertexBatch.primitive, D3DPT_POINTLIST);
  EXPECT_EQ(VertexBatch.count, 1);
  EXPECT_EQ(VertexBatch.writePosition - VertexBatch.starts[1], (int)sizeof(VERTEX_2D_TEX));
  EXPECT_EQ(StateFlags.forceSend, 0);
  EXPECT_EQ(StateFlags.sceneOpen, 1);
  EXPECT_EQ(DeviceStateCache.renderTargets[0], GetScreenSurface());
  StartRecording();
  FlushVertexBatch(0);
  ASSERT_EQ(CountCalls("DrawPrimitiveUP"), 1);
  EXPECT_EQ(RecordedCalls().back().c, 28u);
}

// Tiny shaders of our own, hand-assembled: ps_2_0 "mov oC0, c0" (the second with a constant
// table comment after the version token) and vs_2_0 "dcl_position v0; mov oPos, v0".
const DWORD kPixelShader[] = {0xFFFF0200, 0x02000001, 0x800F0800, 0xA0E40000, 0x0000FFFF};
const DWORD kPixelShaderWithTable[] = {0xFFFF0200, 0x0007FFFE, 0x42415443, 28, 0, 0xFFFF0200, 2, 28, 0,
                                       0x02000001, 0x800F0800, 0xA0E40000, 0x0000FFFF};
const DWORD kVertexShader[] = {0xFFFE0200, 0x0200001F, 0x80000000, 0x900F0000,
                               0x02000001, 0xC00F0000, 0x90E40000, 0x0000FFFF};

TEST_F(Device, ShaderHandlesCreateSelectAndBind) {
  ScreenState.graphicsStarted = 1;
  StateFlags.programmableShaders = 1;
  int pixel = CreateShaderHandle(0, kPixelShader, sizeof(kPixelShader), 0, 0, 0);
  int table = CreateShaderHandle(0, kPixelShaderWithTable, sizeof(kPixelShaderWithTable), 0, 0, 0);
  int vertex = CreateShaderHandle(1, kVertexShader, sizeof(kVertexShader), 0, 0, 0);
  ASSERT_NE(pixel, -1);
  ASSERT_NE(table, -1);
  ASSERT_NE(vertex, -1);
  SHADER_HANDLE* plain = (SHADER_HANDLE*)LookupHandleRecord(pixel);
  EXPECT_EQ(plain->constantTable, nullptr);
  SHADER_HANDLE* withTable = (SHADER_HANDLE*)LookupHandleRecord(table);
  EXPECT_EQ(withTable->constantCount, 2);
  EXPECT_EQ((const char*)withTable->constantTable - (const char*)withTable->code, 40);

  EXPECT_EQ(SelectPixelShader(vertex), -1);
  EXPECT_EQ(ShaderSelection.pixelShader, 0);
  EXPECT_EQ(SelectPixelShader(pixel), 0);
  EXPECT_EQ(SelectVertexShader(vertex), 0);
  EXPECT_EQ(SelectVertexShader(0), 0);
  EXPECT_EQ(ShaderSelection.vertexShader, 0);
  EXPECT_EQ(SetShaderTextureSlot(16, -1), -1);
  EXPECT_EQ(SetShaderTextureSlot(-1, -1), -1);

  StartRecording();
  StateFlags.forceSend = 1;
  EXPECT_EQ(BindPixelShaderHandle(pixel), 0);
  StateFlags.forceSend = 0;
  EXPECT_EQ(DeviceStateCache.pixelShader, nullptr) << "nothing is bound under force-send";
  EXPECT_EQ(BindPixelShaderHandle(pixel), 0);
  EXPECT_EQ(DeviceStateCache.pixelShader, (IDirect3DPixelShader9*)plain->object);
  EXPECT_EQ(BindPixelShaderHandle(vertex), -1);
  // Deleting the bound, selected shader forgets it everywhere.
  EXPECT_EQ(DeleteHandle(pixel), 0);
  EXPECT_EQ(ShaderSelection.pixelShader, 0);
  EXPECT_EQ(DeviceStateCache.pixelShader, nullptr);
  PrepareDrawStates(nullptr, 0);
  DeleteHandle(table);
  DeleteHandle(vertex);
  StateFlags.programmableShaders = 0;
}

// An asynchronous creation returns the handle at once, loading; a loader thread then has the
// device shader made on the main thread. A creation that fails deletes its handle.
DEVICE_CALL_TABLE shaderCallsBelow;
DWORD shaderCreatorThread;

TEST_F(Device, AsynchronousShaderCreationGoesThroughALoaderThread) {
  ScreenState.graphicsStarted = 1;
  StateFlags.programmableShaders = 1;
  shaderCallsBelow = DeviceCalls;
  shaderCreatorThread = 0;
  DeviceCalls.DeviceCreatePixelShader = [](const DWORD* code, IDirect3DPixelShader9** out) {
    shaderCreatorThread = GetCurrentThreadId();
    return shaderCallsBelow.DeviceCreatePixelShader(code, out);
  };
  auto waitFor = [](int handle) {
    DWORD start = GetTickCount();
    while (IsHandleLoading(handle) > 0 && GetTickCount() - start < 10000) PumpWindowMessages();
  };
  int handle = CreateShaderHandle(0, kPixelShader, sizeof(kPixelShader), 0, 1, 0);
  ASSERT_NE(handle, -1);
  EXPECT_EQ(IsHandleLoading(handle), 1) << "the loader thread waits for the main thread";
  EXPECT_EQ(SelectPixelShader(handle), -1) << "still loading";
  waitFor(handle);
  EXPECT_EQ(IsHandleLoading(handle), 0);
  EXPECT_EQ(shaderCreatorThread, GetCurrentThreadId());
  SHADER_HANDLE* record = (SHADER_HANDLE*)LookupHandleRecord(handle);
  ASSERT_NE(record, nullptr);
  EXPECT_NE(record->object, nullptr);
  EXPECT_EQ(SelectPixelShader(handle), 0);
  SelectPixelShader(0);
  DeleteHandle(handle);

  DeviceCalls.DeviceCreatePixelShader = [](const DWORD*, IDirect3DPixelShader9**) { return (HRESULT)E_FAIL; };
  int failing = CreateShaderHandle(0, kPixelShader, sizeof(kPixelShader), 0, 1, 0);
  ASSERT_NE(failing, -1);
  waitFor(failing);
  EXPECT_EQ(LookupHandleRecord(failing), nullptr);
  DeviceCalls = shaderCallsBelow;
  StateFlags.programmableShaders = 0;
}

// A caller's stage record may name graphs: with the lookup flag each handle becomes its
// graph's first texture, and a handle that names no graph becomes no texture.
TEST_F(Device, CallerStageRecordsLookGraphHandlesUp) {
  GRAPH_CREATE_PARAM param;
  CaptureGraphCreateParam(&param);
  HANDLE_VALUE graph = CreateBlankGraph(&param, 16, 16, 0, 0, 0);
  ASSERT_NE(graph, -1);
  IDirect3DTexture9* texture = GetGraphRecord(graph, 0)->imageSet->textures[0].texture;
  ASSERT_NE(texture, nullptr);
  CALLER_STAGE_SETUP record = {};
  record.sourceBlend = D3DBLEND_ONE;
  record.destBlend = D3DBLEND_ZERO;
  record.blendOp = D3DBLENDOP_ADD;
  record.stageCount = 2;
  record.stages[0].texture = (UINT_PTR)graph;
  record.stages[1].texture = (UINT_PTR)0x7FFF0001;  // no graph
  for (int s = 0; s < 2; s++) {
    record.stages[s].stage.colorOp = s == 0 ? D3DTOP_SELECTARG1 : D3DTOP_DISABLE;
    record.stages[s].stage.colorArg1 = D3DTA_TEXTURE;
    record.stages[s].stage.alphaOp = s == 0 ? D3DTOP_SELECTARG1 : D3DTOP_DISABLE;
    record.stages[s].stage.alphaArg1 = D3DTA_TEXTURE;
  }
  ASSERT_EQ(ApplyStageSetupRecord(&record, 0, 1), 0);
  IDirect3DBaseTexture9* bound = nullptr;
  ASSERT_EQ(Direct3DObjects.device->GetTexture(0, &bound), S_OK);
  EXPECT_EQ(bound, (IDirect3DBaseTexture9*)texture);
  if (bound != nullptr) bound->Release();
  bound = nullptr;
  ASSERT_EQ(Direct3DObjects.device->GetTexture(1, &bound), S_OK);
  EXPECT_EQ(bound, nullptr);
  if (bound != nullptr) bound->Release();
  ApplyStageSetupRecord(nullptr, 0, 0);
  DeleteGraphHandle(graph, 0);
}

// Runs last: the objects the cache held go with the device.
TEST_F(Device, ZzReleasingTheDeviceClearsEveryCachedObject) {
  ASSERT_NE(DeviceStateCache.renderTargets[0], nullptr);
  ReleaseDirect3DDevice();
  EXPECT_EQ(DeviceStateCache.renderTargets[0], nullptr);
  for (int s = 0; s < 8; s++) EXPECT_EQ(DeviceStateCache.stages[s].texture, nullptr) << s;
  EXPECT_EQ(DeviceStateCache.texture, nullptr);
  EXPECT_EQ(GetScreenSurface(), nullptr);
  EXPECT_EQ(HasDirect3DDevice(), 0);
  EXPECT_EQ(Direct3DObjects.deviceEx, nullptr);
  EXPECT_EQ(Direct3DObjects.swapChain, nullptr);
  EXPECT_NE(ReadLog().find("Direct3DDevice9 の解放 2"), std::string::npos);
}
}  // namespace
