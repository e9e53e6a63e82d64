// The mask screen on Wine's real device: boxes drawn between a begin and an end reach the
// back buffer only where the mask byte is 0 (or, reversed, not 0); nesting acts at the outer
// pair only; stray ends do nothing; mask handles free their bytes.
#include <gtest/gtest.h>

#include <string>

#include "core/memory.h"
#include "graphics/device/draw_prepare.h"
#include "graphics/draw/mask.h"
#include "graphics/device/present.h"
#include "graphics/draw/screen_lock.h"
#include "graphics/software/software_screen.h"
#include "read_back.h"
#include "real_device.h"

namespace {
int StretchCount;
DEVICE_CALL_TABLE SavedCalls;

class Mask : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { StartRealDevice(); }
  static void TearDownTestSuite() { EndRealDevice(); }
  void SetUp() override {
    SavedCalls = DeviceCalls;
    StretchCount = 0;
    DeviceCalls.DeviceStretchRect = [](IDirect3DSurface9* s, const RECT* sr, IDirect3DSurface9* d, const RECT* dr,
                                       D3DTEXTUREFILTERTYPE f) {
      StretchCount++;
      return SavedCalls.DeviceStretchRect(s, sr, d, dr, f);
    };
    // Every test starts with a fresh mask system, not the one the library start-up made.
    EndMaskSystem();
    ASSERT_EQ(InitMaskHandleType(), 0);
  }
  void TearDown() override {
    EndMaskSystem();
    DeviceCalls = SavedCalls;
  }
};

// A masked box: the bracket every drawing function puts around its work.
void DrawMaskedBox(int x1, int y1, int x2, int y2, DWORD color) {
  RECT r = {x1, y1, x2, y2};
  BeginMaskedDrawing(&r);
  BeginDeviceScene();
  AppendRawBox(x1, y1, x2, y2, color, 1);
  EndMaskedDrawing(&r);
}

// The back buffer's pixel colours along row y at the given columns.
std::string ReadRow(int y, const int* xs, int count) {
  RASTER_IMAGE image;
  RECT rect = {0, 0, 640, 480};
  std::string out;
  if (LockDrawScreenImage(&rect, &image, -4, 1, 0) != 0) return "lock failed";
  for (int i = 0; i < count; i++) {
    DWORD p = *(const DWORD*)((const char*)image.pixels + y * image.pitch + xs[i] * 4) & 0xFFFFFF;
    char text[16];
    snprintf(text, sizeof text, "%06lX ", (unsigned long)p);
    out += text;
  }
  UnlockDrawScreenImage();
  return out;
}

void ClearBackBuffer() {
  BeginDeviceScene();
  DeviceCalls.DeviceClear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000, 1.0f, 0);
}

TEST_F(Mask, DrawingShowsOnlyWhereTheMaskAllows) {
  EXPECT_EQ(EnableMaskDrawing(1), -1) << "no mask screen yet";
  ASSERT_EQ(CreateMaskScreen(1), 0);
  ASSERT_NE(MaskState.screenSurface, nullptr);
  RECT column = {20, 0, 40, 480};
  ASSERT_EQ(FillMaskScreenRect(&column, 1), 0);

  const int xs[] = {0, 19, 20, 39, 40, 99, 100};
  for (int reverse = 0; reverse <= 1; reverse++) {
    MaskState.reverse = reverse;
    ClearBackBuffer();
    ASSERT_EQ(EnableMaskDrawing(1), 0);
    EXPECT_EQ(IsMaskDrawingEnabled(), 1);
    DrawMaskedBox(0, 0, 100, 100, 0xFFFF0000);
    EXPECT_EQ(MaskState.nesting, 0);
    EnableMaskDrawing(0);
    std::string expected = reverse ? "000000 000000 FF0000 FF0000 000000 000000 000000 "
                                   : "FF0000 FF0000 000000 000000 FF0000 FF0000 000000 ";
    EXPECT_EQ(ReadRow(50, xs, 7), expected) << "reverse " << reverse;
    EXPECT_EQ(ReadRow(100, xs, 7), "000000 000000 000000 000000 000000 000000 000000 ") << "below the box";
  }
  MaskState.reverse = 0;

  // Without mask drawing the brackets change nothing.
  ClearBackBuffer();
  DrawMaskedBox(0, 0, 100, 100, 0xFF0000FF);
  EXPECT_EQ(ReadRow(50, xs, 7), "0000FF 0000FF 0000FF 0000FF 0000FF 0000FF 000000 ");
}

// With a sub back buffer the screen's drawing goes there: the masked region is read from and
// written back into it, and the present shows the masked box.
TEST_F(Mask, ASubBackBufferIsTheRealTarget) {
  ASSERT_EQ(CreateMaskScreen(1), 0);
  RECT column = {20, 0, 40, 480};
  ASSERT_EQ(FillMaskScreenRect(&column, 1), 0);
  ASSERT_EQ(CreateSubBackBuffer(), 0);
  ASSERT_EQ(SelectDrawTarget(-2), 0);
  ClearBackBuffer();
  ASSERT_EQ(EnableMaskDrawing(1), 0);
  DrawMaskedBox(0, 0, 100, 100, 0xFFFF0000);
  EnableMaskDrawing(0);
  PICTURE p = FlipAndRead();
  ReleaseSubBackBuffer();
  SelectDrawTarget(-2);
  ASSERT_EQ(p.width, 640);
  const int xs[] = {0, 19, 20, 39, 40, 99, 100};
  const uint32_t want[] = {0xFF0000, 0xFF0000, 0, 0, 0xFF0000, 0xFF0000, 0};
  for (int i = 0; i < 7; i++) EXPECT_EQ(p.At(xs[i], 50), want[i]) << xs[i];
}

TEST_F(Mask, NestedBracketsActOnceAndStrayEndsDoNothing) {
  ASSERT_EQ(CreateMaskScreen(1), 0);
  ASSERT_EQ(EnableMaskDrawing(1), 0);
  RECT r = {0, 0, 50, 50};
  StretchCount = 0;
  BeginMaskedDrawing(&r);
  BeginMaskedDrawing(&r);
  EXPECT_EQ(MaskState.nesting, 2);
  EXPECT_EQ(StretchCount, 1) << "only the outer begin copies the target";
  EndMaskedDrawing(&r);
  EndMaskedDrawing(&r);
  EXPECT_EQ(MaskState.nesting, 0);
  EndMaskedDrawing(&r);
  EXPECT_EQ(MaskState.nesting, 0) << "never below zero";
  BeginMaskedDrawing(&r);
  EXPECT_EQ(MaskState.nesting, 1);
  RECT outside = {700, 500, 800, 600};
  int draws = 0;
  SavedCalls.DeviceDrawPrimitiveUP = DeviceCalls.DeviceDrawPrimitiveUP;
  static int* drawCounter;
  drawCounter = &draws;
  DeviceCalls.DeviceDrawPrimitiveUP = [](D3DPRIMITIVETYPE t, UINT n, const void* d, UINT s) {
    (*drawCounter)++;
    return SavedCalls.DeviceDrawPrimitiveUP(t, n, d, s);
  };
  EndMaskedDrawing(&outside);
  EXPECT_EQ(draws, 0) << "an end outside the draw area draws nothing";
  EXPECT_EQ(MaskState.nesting, 0);
  EnableMaskDrawing(0);
}

TEST_F(Mask, SoftwareRegionsCopyBackWhereTheMaskAllows) {
  ScreenState.hardwareRendering = 0;
  ASSERT_EQ(CreateMaskScreen(1), 0);
  ASSERT_EQ(MaskState.softwareImageValid, 1);
  MEMIMG real = {};
  ASSERT_EQ(CreateScreenMemImg(&real, 640, 480, -1), 0);
  RECT all = {0, 0, 640, 480};
  FillMemImgRectRaw(&real, &all, 0x1111);
  RECT column = {20, 0, 40, 480};
  FillMaskScreenRect(&column, 1);
  SetSoftwareRealTarget(&real);
  ASSERT_EQ(EnableMaskDrawing(1), 0);
  const int xs[] = {0, 19, 20, 39, 40, 99, 100};
  for (int reverse = 0; reverse <= 1; reverse++) {
    MaskState.reverse = reverse;
    FillMemImgRectRaw(&real, &all, 0x1111);
    RECT box = {0, 0, 100, 100};
    BeginMaskedDrawing(&box);
    FillMemImgRectRaw(&MaskState.softwareImage, &box, 0x7777);  // what a draw does while masking
    EndMaskedDrawing(&box);
    int bytes = real.store->format->colorBits / 8;
    std::string row;
    for (int x : xs) {
      uint32_t p = 0;
      memcpy(&p, real.pixels + 50 * real.store->pitch + x * bytes, (size_t)bytes);
      row += std::to_string(p & 0xFFFF) + " ";
    }
    EXPECT_EQ(row, reverse ? "4369 4369 30583 30583 4369 4369 4369 " : "30583 30583 4369 4369 30583 30583 4369 ")
        << "reverse " << reverse;
  }
  MaskState.reverse = 0;
  EnableMaskDrawing(0);
  SetSoftwareRealTarget(nullptr);
  ReleaseMemImg(&real);
  ScreenState.hardwareRendering = 1;
}

TEST_F(Mask, HandlesAndTheSystemFreeWhatTheyHold) {
  int blocks = GetAllocBlockCount();
  int a = MakeMask(32, 8);
  ASSERT_NE(a, -1);
  EXPECT_EQ(GetHandleType(a), HANDLE_TYPE_MASK);
  EXPECT_EQ(MakeMask(0, 8), -1);
  EXPECT_EQ(DeleteMask(a), 0);
  EXPECT_EQ(DeleteMask(a), -1);
  EXPECT_EQ(GetAllocBlockCount(), blocks);
  MakeMask(4, 4);
  CreateMaskScreen(1);
  EXPECT_EQ(InitMaskHandleType(), -1);
  EXPECT_EQ(EndMaskSystem(), 0);
  EXPECT_EQ(EndMaskSystem(), -1);
  EXPECT_EQ(GetAllocBlockCount(), blocks - 1) << "mask bytes, handles, their bytes and the type's slot table freed";
  EXPECT_EQ(MaskState.imageTexture, nullptr);
  InitMaskHandleType();
}
}  // namespace
