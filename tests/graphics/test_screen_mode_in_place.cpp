// Screen-mode changes on Wine's real device with the mode-change-in-place setting: the device
// is made again in the new mode and graph, shader and buffer handles keep working with their
// contents; a window larger than the desktop is not asked for; without the setting a mode
// change restarts graphics and deletes those handles, as before.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

#include "core/handles.h"
#include "core/log.h"
#include "graphics/device/buffers.h"
#include "graphics/device/device_resources.h"
#include "graphics/device/shader_handles.h"
#include "graphics/draw/draw_target.h"
#include "graphics/graphs/graph_create.h"
#include "graphics/graphs/graph_handles.h"
#include "graphics/graphs/graph_load.h"
#include "graphics/lifecycle/screen_mode.h"
#include "../image/image_builders.h"
#include "read_back.h"
#include "real_device.h"
#include "test_support.h"

namespace {
const uint32_t kGreen = 0x00FF00, kBlue = 0x0000FF;
const char* const kStarted = "画面モード変更処理を開始します";
const char* const kFinished = "画面モード変更処理は正常に終了しました";
const char* const kWindowStyle = "ウインドウスタイルをウインドウモード用に変更します";

class ScreenModeInPlace : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { StartRealDevice(); }
  static void TearDownTestSuite() { EndRealDevice(); }
  void TearDown() override {
    ScreenState.modeChangeInPlace = 0;
    SetScreenMode(640, 480, 32, 0);
  }
};

// A 24-bit BMP of 6 x 4 pixels whose colours differ everywhere.
std::string PatternBmp() {
  std::string px;
  for (int y = 3; y >= 0; y--) {
    for (int x = 0; x < 6; x++) px += std::string{(char)(x * y * 11), (char)(50 * y + 7), (char)(40 * x + 1)};
    px += std::string(2, '\0');  // rows padded to 20 bytes
  }
  return MakeBmp(6, 4, 24, 0, "", px);
}

// The handles a program holds across a mode change, with what they should still give back.
struct HELD {
  int loaded = -1, derived = -1, target = -1, slotted = -1, shader = -1, vertices = -1, indices = -1;
  std::vector<uint32_t> loadedPixels, derivedPixels;
  std::vector<int> vertexWords;
  std::vector<uint16_t> indexWords;
};

void MakeHandles(HELD* h) {
  std::string bmp = PatternBmp();
  GRAPH_LOAD_PARAM load;
  CaptureGraphLoadParam(&load);
  h->loaded = LoadGraphFromImageBytes(&load, 0, -1, bmp.data(), (int)bmp.size(), nullptr, 0, 0, 0, 0);
  ASSERT_NE(h->loaded, -1);
  h->derived = CreateDerivedGraph(2, 1, 3, 3, h->loaded);
  ASSERT_NE(h->derived, -1);
  h->loadedPixels = ReadGraphTexture(h->loaded);
  h->derivedPixels = ReadGraphTexture(h->derived);
  ASSERT_EQ(h->loadedPixels.size(), 24u);
  ASSERT_EQ(h->derivedPixels.size(), 9u);
  GRAPH_CREATE_PARAM param;
  CaptureGraphCreateParam(&param);
  param.drawable = 1;
  param.colorBits = 32;
  h->target = CreateBlankGraph(&param, 64, 32, 0, 0, 0);
  h->slotted = CreateBlankGraph(&param, 64, 32, 0, 0, 0);
  ASSERT_NE(h->target, -1);
  ASSERT_NE(h->slotted, -1);
  const int slot = MODEL_VERTEX_SHADER_SLOTS + TEST_MODEL_PIXEL_SHADER;
  ASSERT_NE(BuiltInShaderCode.modelCode[slot], nullptr);
  const uint8_t* size = BuiltInShaderCode.blockModel + slot * 2;
  h->shader = CreatePixelShaderFromBytes(BuiltInShaderCode.modelCode[slot], size[0] | size[1] << 8);
  ASSERT_NE(h->shader, -1);
  h->vertices = CreateVertexBuffer(8, 6);
  h->indices = CreateIndexBuffer(10);
  ASSERT_NE(h->vertices, -1);
  ASSERT_NE(h->indices, -1);
  for (int i = 0; i < 12; i++) h->vertexWords.push_back(i * 1000 + 7);
  for (int i = 0; i < 10; i++) h->indexWords.push_back((uint16_t)(9 - i));
  ASSERT_EQ(SetVertexBufferData(0, h->vertexWords.data(), 6, h->vertices), 0);
  ASSERT_EQ(SetIndexBufferData(0, h->indexWords.data(), 10, h->indices), 0);
}

void DeleteHandles(const HELD& h) {
  for (int graph : {h.loaded, h.derived, h.target, h.slotted})
    if (graph != -1) DeleteGraphHandle(graph, 0);
  if (h.shader != -1) DeleteHandle(h.shader);
  if (h.vertices != -1) DeleteVertexBuffer(h.vertices);
  if (h.indices != -1) DeleteIndexBuffer(h.indices);
}

// The contents of a buffer handle's device buffer, read through a lock of the whole buffer.
std::vector<uint8_t> ReadDeviceBuffer(int handle, size_t bytes) {
  std::vector<uint8_t> out;
  BUFFER_HANDLE* record = (BUFFER_HANDLE*)LookupHandleRecord(handle);
  void* data = nullptr;
  if (record == nullptr || record->buffer == nullptr ||
      FAILED(DeviceCalls.BufferLock(record->buffer, 0, 0, &data, D3DLOCK_READONLY)))
    return out;
  out.assign((const uint8_t*)data, (const uint8_t*)data + bytes);
  DeviceCalls.BufferUnlock(record->buffer);
  return out;
}

std::vector<uint8_t> Bytes(const void* data, size_t bytes) {
  return std::vector<uint8_t>((const uint8_t*)data, (const uint8_t*)data + bytes);
}

RECT ClientRect() {
  RECT client = {};
  GetClientRect(WindowState.mainWindow, &client);
  return client;
}

// With the setting on, 640 x 480 to 800 x 600 makes a new device of the new size and keeps
// every handle: the graphs read back their pixels (restored from their sources), the shader
// has a device object that binds, the buffers hold their data, the drawable graph is still
// the draw target with its area, the extra render target is set again. The window gets its
// style and the new client size back.
TEST_F(ScreenModeInPlace, NewModeKeepsHandlesAndTheirContents) {
  HELD h;
  MakeHandles(&h);
  if (HasFatalFailure()) return DeleteHandles(h);
  ASSERT_EQ(SelectDrawTarget(h.target), 0);
  ASSERT_EQ(SetDrawClipArea(4, 4, 60, 30), 0);
  int slots = DeviceCaps.renderTargetCount > 1 && StateFlags.programmableShaders;
  if (slots) {
    ASSERT_EQ(SetRenderTargetSlot(1, h.slotted), 0);
  }
  // The style is spoilt first, so that the change is seen to put it back.
  SetWindowLongA(WindowState.mainWindow, GWL_STYLE, WS_POPUP | WS_VISIBLE);
  size_t logged = ReadLogWithoutStamps().size();

  ScreenState.modeChangeInPlace = 1;
  EXPECT_EQ(SetScreenMode(800, 600, 32, 0), 0);

  std::string log = ReadLogWithoutStamps().substr(logged);
  size_t started = log.find(kStarted), style = log.find(kWindowStyle), finished = log.find(kFinished);
  ASSERT_NE(started, std::string::npos) << log;
  ASSERT_NE(finished, std::string::npos) << log;
  EXPECT_LT(started, style);
  EXPECT_LT(style, finished) << "the window style is applied before the change ends";
  EXPECT_NE(log.find("グラフィックを復帰します"), std::string::npos) << log;
  EXPECT_EQ(ScreenState.deviceWidth, 800);
  EXPECT_EQ(ScreenState.deviceHeight, 600);
  EXPECT_EQ(ScreenState.hardwareRendering, 1);
  EXPECT_TRUE(HasDirect3DDevice());
  D3DSURFACE_DESC back = {};
  DeviceCalls.SurfaceGetDesc(GetScreenSurface(), &back);
  EXPECT_EQ(back.Width, 800u);
  EXPECT_EQ(back.Height, 600u);
  RECT client = ClientRect();
  EXPECT_EQ(client.right, 800);
  EXPECT_EQ(client.bottom, 600);
  LONG windowStyle = GetWindowLongA(WindowState.mainWindow, GWL_STYLE);
  EXPECT_EQ(windowStyle & WS_CAPTION, WS_CAPTION);

  EXPECT_EQ(IsGraphHandleValid(h.loaded), 1);
  EXPECT_EQ(IsGraphHandleValid(h.derived), 1);
  EXPECT_EQ(ReadGraphTexture(h.loaded), h.loadedPixels);
  EXPECT_EQ(ReadGraphTexture(h.derived), h.derivedPixels);
  SHADER_HANDLE* shader = (SHADER_HANDLE*)LookupHandleRecord(h.shader);
  ASSERT_NE(shader, nullptr);
  EXPECT_NE(shader->object, nullptr);
  EXPECT_EQ(BindPixelShaderHandle(h.shader), 0);
  EXPECT_EQ(ReadDeviceBuffer(h.vertices, 48), Bytes(h.vertexWords.data(), 48));
  EXPECT_EQ(ReadDeviceBuffer(h.indices, 20), Bytes(h.indexWords.data(), 20));
  EXPECT_EQ(DrawSettings.drawTarget, h.target);
  EXPECT_EQ(DrawSettings.drawArea.left, 4);
  EXPECT_EQ(DrawSettings.drawArea.right, 60);
  if (slots) {
    EXPECT_EQ(DrawSettings.renderTargetSlots[1], h.slotted);
    EXPECT_EQ(DeviceStateCache.renderTargets[1], GetGraphTargetSurface(GetGraphRecord(h.slotted, 0)));
    EXPECT_EQ(SetRenderTargetSlot(1, 0), 0);
  }

  // Drawing goes on: into the graph target, and on the whole new back screen.
  ASSERT_EQ(DrawRectangle(0, 0, 64, 32, Packed(kBlue), 1), 0);
  ASSERT_EQ(SelectDrawTarget(-2), 0);
  EXPECT_EQ(DrawSettings.drawArea.right, 800);
  EXPECT_EQ(DrawSettings.drawArea.bottom, 600);
  ClearDrawTarget(nullptr);
  ASSERT_EQ(DrawFilledBox(700, 500, 800, 600, Packed(kGreen)), 0);
  ASSERT_EQ(DrawGraphAt(10, 20, h.target, 0), 0);
  ASSERT_EQ(DrawGraphAt(100, 100, h.loaded, 0), 0);
  PICTURE p = FlipAndRead();
  ASSERT_EQ(p.width, 800);
  EXPECT_EQ(p.Count(kGreen, 0, 0, 800, 600), 100 * 100);
  EXPECT_EQ(p.Count(kBlue, 10, 20, 74, 52), 56 * 26) << "the area (4, 4)-(60, 30) of the graph target";
  for (int y = 0; y < 4; y++)
    for (int x = 0; x < 6; x++) EXPECT_EQ(p.At(100 + x, 100 + y), h.loadedPixels[y * 6 + x] & 0xFFFFFF) << x << "," << y;
  DeleteHandles(h);
}

// With the setting on, a windowed mode larger than the desktop is refused before anything
// changes: 0 from the change, nothing made again, the handles as they were.
TEST_F(ScreenModeInPlace, WindowLargerThanTheDesktopChangesNothing) {
  HELD h;
  MakeHandles(&h);
  if (HasFatalFailure()) return DeleteHandles(h);
  int desktopWidth = 0, desktopHeight = 0;
  GetDesktopMode(&desktopWidth, &desktopHeight, nullptr);
  ASSERT_GT(desktopWidth, 640);
  IDirect3DSurface9* backBuffer = GetScreenSurface();
  ScreenState.modeChangeInPlace = 1;
  struct {
    const char* name;
    int width, height;
  } rows[] = {{"wider", desktopWidth + 16, 480}, {"taller", 640, desktopHeight + 1}};
  for (const auto& row : rows) {
    size_t logged = ReadLogWithoutStamps().size();
    EXPECT_EQ(ChangeScreenMode(row.width, row.height, 32, 0, 0), 0) << row.name;
    std::string log = ReadLogWithoutStamps().substr(logged);
    EXPECT_NE(log.find(kStarted), std::string::npos) << row.name;
    EXPECT_EQ(log.find(kFinished), std::string::npos) << row.name << log;
    EXPECT_EQ(log.find("グラフィックを復帰します"), std::string::npos) << row.name;
    EXPECT_EQ(ScreenState.deviceWidth, 640) << row.name;
    EXPECT_EQ(ScreenState.deviceHeight, 480) << row.name;
    EXPECT_EQ(GetScreenSurface(), backBuffer) << row.name << ": the device is the same";
    EXPECT_EQ(ClientRect().right, 640) << row.name;
    EXPECT_EQ(ClientRect().bottom, 480) << row.name;
  }
  EXPECT_EQ(SetScreenMode(desktopWidth + 16, 480, 32, 0), -1);
  EXPECT_EQ(ReadGraphTexture(h.loaded), h.loadedPixels);
  EXPECT_EQ(IsGraphHandleValid(h.derived), 1);
  EXPECT_NE(LookupHandleRecord(h.shader), nullptr);
  // The log's indentation came back each time: the next line starts at the margin.
  WriteLogText("margin\n");
  EXPECT_NE(ReadLogWithoutStamps().find("\nmargin\r\n"), std::string::npos);
  DeleteHandles(h);
}

// Without the setting a mode change restarts graphics: every graph, shader and buffer handle
// is gone afterwards, and the new mode is in force with a fresh front screen target.
TEST_F(ScreenModeInPlace, WithoutTheSettingGraphicsRestartAndHandlesGo) {
  HELD h;
  MakeHandles(&h);
  if (HasFatalFailure()) return DeleteHandles(h);
  size_t logged = ReadLogWithoutStamps().size();
  EXPECT_EQ(SetScreenMode(800, 600, 32, 0), 0);
  std::string log = ReadLogWithoutStamps().substr(logged);
  EXPECT_NE(log.find(kFinished), std::string::npos);
  EXPECT_EQ(log.find("グラフィックを復帰します"), std::string::npos);
  EXPECT_EQ(ScreenState.deviceWidth, 800);
  EXPECT_EQ(ClientRect().right, 800);
  EXPECT_EQ(IsGraphHandleValid(h.loaded), 0);
  EXPECT_EQ(IsGraphHandleValid(h.target), 0);
  EXPECT_EQ(LookupHandleRecord(h.shader), nullptr);
  EXPECT_EQ(LookupHandleRecord(h.vertices), nullptr);
  EXPECT_EQ(LookupHandleRecord(h.indices), nullptr);
  EXPECT_EQ(DrawSettings.drawTarget, -4);
}
}  // namespace
