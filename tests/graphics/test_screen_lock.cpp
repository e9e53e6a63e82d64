// The draw-screen lock on Wine's real device: boxes drawn through the vertex batch read back
// through the back-buffer lock and through the temporary surfaces, the rectangle checks, one
// lock at a time, a drawable graph's texture, and the software view of a MEMIMG.
#include <gtest/gtest.h>

#include <string>

#include "graphics/device/draw_prepare.h"
#include "graphics/graphs/graph_create.h"
#include "graphics/graphs/graph_handles.h"
#include "graphics/device/present.h"
#include "graphics/draw/screen_lock.h"
#include "read_back.h"
#include "real_device.h"
#include "test_support.h"

namespace {
DEVICE_CALL_TABLE SavedCalls;

class ScreenLockTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { StartRealDevice(); }
  static void TearDownTestSuite() { EndRealDevice(); }
  void SetUp() override { SavedCalls = DeviceCalls; }
  void TearDown() override {
    UnlockDrawScreenImage();
    DeviceCalls = SavedCalls;
    DeviceSettings.backBufferLock = 1;
  }
};

DWORD PixelAt(const RASTER_IMAGE& image, int x, int y) {
  return *(const DWORD*)((const char*)image.pixels + y * image.pitch + x * 4) & 0xFFFFFF;
}

void DrawScene() {
  BeginDeviceScene();
  DeviceCalls.DeviceClear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000, 1.0f, 0);
  AppendRawBox(10, 10, 30, 20, 0xFFFF0000, 1);
  AppendRawBox(600, 400, 640, 480, 0xFF00FF00, 1);
  // Left open on purpose: the lock flushes the batch and ends the scene itself.
}

TEST_F(ScreenLockTest, WhatWasDrawnReadsBackOnBothLockPaths) {
  for (int direct = 1; direct >= 0; direct--) {
    DeviceSettings.backBufferLock = direct;
    DrawScene();
    RASTER_IMAGE image;
    RECT rect = {5, 5, 640, 480};
    ASSERT_EQ(LockDrawScreenImage(&rect, &image, -1, 1, 0), 0) << "direct " << direct;
    EXPECT_EQ(StateFlags.sceneOpen, 0);
    EXPECT_EQ(VertexBatch.count, 0);
    EXPECT_EQ(image.width, 635);
    EXPECT_EQ(image.height, 475);
    EXPECT_EQ(image.format.colorBits, 32);
    EXPECT_EQ(direct ? ScreenLock.lockedSurface != nullptr : ScreenLock.temporarySurface != nullptr, true);
    struct {
      int x, y;
      DWORD color;
    } rows[] = {{10, 10, 0xFF0000}, {29, 19, 0xFF0000}, {30, 10, 0},      {10, 20, 0},
                {9, 9, 0},          {600, 400, 0x00FF00}, {639, 479, 0x00FF00}, {599, 400, 0}};
    for (const auto& row : rows)
      EXPECT_EQ(PixelAt(image, row.x - 5, row.y - 5), row.color)
          << "direct " << direct << " at " << row.x << "," << row.y;
    EXPECT_EQ(UnlockDrawScreenImage(), 0);
    EXPECT_EQ(ScreenLock.locked, 0);
  }
}

// With a sub back buffer, a lock of the screen reads what was drawn into it.
TEST_F(ScreenLockTest, TheSubBackBufferIsTheScreenThatIsLocked) {
  ASSERT_EQ(CreateSubBackBuffer(), 0);
  ASSERT_EQ(SelectDrawTarget(-2), 0);
  DrawScene();
  RASTER_IMAGE image;
  RECT rect = {0, 0, 640, 480};
  ASSERT_EQ(LockDrawScreenImage(&rect, &image, -1, 1, 0), 0);
  EXPECT_EQ(PixelAt(image, 15, 15), 0xFF0000u);
  EXPECT_EQ(PixelAt(image, 620, 450), 0x00FF00u);
  EXPECT_EQ(PixelAt(image, 100, 100), 0u);
  UnlockDrawScreenImage();
  ReleaseSubBackBuffer();
  SelectDrawTarget(-2);
}

TEST_F(ScreenLockTest, RectanglesAreCheckedAndOnlyOneLockIsHeld) {
  struct {
    RECT rect;
    int result;
  } rows[] = {{{0, 0, 640, 480}, 0},  {{0, 0, 641, 480}, -1}, {{0, 0, 640, 481}, -1}, {{-1, 0, 10, 10}, -1},
              {{0, -1, 10, 10}, -1},  {{5, 0, 5, 10}, -1},    {{0, 7, 10, 7}, -1},    {{9, 0, 8, 10}, -1},
              {{639, 479, 640, 480}, 0}};
  for (const auto& row : rows) {
    RASTER_IMAGE image;
    const RECT& r = row.rect;
    EXPECT_EQ(LockDrawScreenImage(&r, &image, -1, 1, 0), row.result)
        << r.left << "," << r.top << "," << r.right << "," << r.bottom;
    UnlockDrawScreenImage();
  }
  RASTER_IMAGE first, second;
  RECT rect = {0, 0, 8, 8};
  ASSERT_EQ(LockDrawScreenImage(&rect, &first, -1, 1, 0), 0);
  EXPECT_EQ(LockDrawScreenImage(&rect, &second, -1, 1, 0), -1) << "a second lock";
  UnlockDrawScreenImage();
  EXPECT_EQ(LockDrawScreenImage(&rect, &second, -1, 1, 0), 0);
}

TEST_F(ScreenLockTest, AFailedTemporarySurfaceLogsAndLeavesNothingLocked) {
  DeviceSettings.backBufferLock = 0;
  DeviceCalls.DeviceCreateOffscreenSurface = [](UINT, UINT, D3DFORMAT, D3DPOOL, IDirect3DSurface9**, HANDLE*) {
    return (HRESULT)D3DERR_OUTOFVIDEOMEMORY;
  };
  RASTER_IMAGE image;
  RECT rect = {0, 0, 16, 16};
  EXPECT_EQ(LockDrawScreenImage(&rect, &image, -1, 1, 0), -1);
  EXPECT_EQ(ScreenLock.locked, 0);
  EXPECT_NE(ReadLogWithoutStamps().find("バックバッファロック用システムメモリサーフェスの作成に失敗しました\r\n"),
            std::string::npos);
  DeviceCalls = SavedCalls;
  DeviceCalls.DeviceCreateRenderTarget = [](UINT, UINT, D3DFORMAT, D3DMULTISAMPLE_TYPE, DWORD, BOOL,
                                            IDirect3DSurface9**, HANDLE*) { return (HRESULT)D3DERR_NOTAVAILABLE; };
  EXPECT_EQ(LockDrawScreenImage(&rect, &image, -1, 1, 0), -1);
  EXPECT_NE(ReadLogWithoutStamps().find("バックバッファロック用描画可能サーフェスの作成に失敗しました\r\n"),
            std::string::npos);
  EXPECT_EQ(ScreenLock.locked, 0);
}

TEST_F(ScreenLockTest, ADrawableGraphsTextureIsReadAndItsSizeBoundsTheRectangle) {
  GRAPH_CREATE_PARAM param;
  CaptureGraphCreateParam(&param);
  param.drawable = 1;
  param.colorBits = 32;
  int graph = CreateBlankGraph(&param, 16, 16, 0, 0, 0);
  ASSERT_NE(graph, -1);
  GRAPH_RECORD* record = GetGraphRecord(graph, 0);
  ASSERT_NE(record, nullptr);
  IDirect3DSurface9* surface = record->imageSet->textures[0].surface;
  ASSERT_NE(surface, nullptr);
  RECT box = {4, 4, 8, 6};
  ASSERT_EQ(DeviceCalls.DeviceColorFill(surface, nullptr, 0xFF000000), S_OK);
  ASSERT_EQ(DeviceCalls.DeviceColorFill(surface, &box, 0xFF0000FF), S_OK);
  for (int direct = 1; direct >= 0; direct--) {
    DeviceSettings.backBufferLock = direct;
    RASTER_IMAGE image;
    RECT rect = {0, 0, 16, 16};
    ASSERT_EQ(LockDrawScreenImage(&rect, &image, graph, 1, 0), 0) << "direct " << direct;
    EXPECT_EQ(PixelAt(image, 4, 4), 0x0000FFu) << "direct " << direct;
    EXPECT_EQ(PixelAt(image, 7, 5), 0x0000FFu) << "direct " << direct;
    EXPECT_EQ(PixelAt(image, 8, 5), 0u) << "direct " << direct;
    UnlockDrawScreenImage();
  }
  RASTER_IMAGE image;
  RECT outside = {0, 0, 17, 16};
  EXPECT_EQ(LockDrawScreenImage(&outside, &image, graph, 1, 0), -1) << "past the graph's texture";
  RECT rect = {0, 0, 4, 4};
  EXPECT_EQ(LockDrawScreenImage(&rect, &image, graph, 1, 1), -1) << "no second texture";
  DeleteHandle(graph);
}

TEST(ScreenLockSoftware, TheViewOfAMemImgPointsIntoItsPixels) {
  MEMIMG image = {};
  ASSERT_EQ(CreateScreenMemImg(&image, 40, 30, 1), 0);
  RASTER_IMAGE view;
  RECT rect = {3, 2, 40, 30};
  ASSERT_EQ(FillImageFromMemImg(&image, &rect, &view), 0);
  EXPECT_EQ(view.width, 37);
  EXPECT_EQ(view.height, 28);
  EXPECT_EQ(view.pitch, image.store->pitch);
  EXPECT_EQ((uint8_t*)view.pixels, image.pixels + 3 * 4 + 2 * image.store->pitch);
  *(DWORD*)view.pixels = 0x123456;  // writes through the view reach the image
  EXPECT_EQ(*(DWORD*)(image.pixels + 12 + 2 * image.store->pitch), 0x123456u);
  RECT outside = {0, 0, 41, 30};
  EXPECT_EQ(FillImageFromMemImg(&image, &outside, &view), -1);
  ReleaseMemImg(&image);
}
}  // namespace
