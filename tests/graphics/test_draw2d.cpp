// The 2D drawing road on Wine's real Direct3D 9 device: boxes, outlines, lines and thick
// lines drawn through the public functions, flipped, and read back from the back buffer and
// from the window, pixel by pixel.
#include <gtest/gtest.h>
#include <windows.h>

#include <cmath>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "core/log.h"
#include "graphics/device/d3d_calls.h"
#include "graphics/device/device.h"
#include "graphics/device/draw_settings.h"
#include "graphics/draw/draw_target.h"
#include "graphics/device/present.h"
#include "graphics/device/screen.h"
#include "graphics/lifecycle/screen_mode.h"
#include "graphics/device/state_cache.h"
#include "graphics/device/vertex_batch.h"
#include "korvel.h"
#include "read_back.h"
#include "system/base/window_state.h"
#include "test_support.h"

namespace {
const uint32_t kRed = 0xFF0000, kGreen = 0x00FF00, kBlue = 0x0000FF, kWhite = 0xFFFFFF;

// Runs first, while the process has not asked for windowed mode: a fullscreen request the
// display does not list starts the library in a window.
TEST(Draw2DStartUp, UnlistedFullscreenModeStartsWindowed) {
  DeleteFileA("Log.txt");
  SetRunWhileInactive(1);
  ASSERT_EQ(IsWindowedMode(), 0);
  ASSERT_EQ(HasDisplayMode(800, 600, 32), 0);  // the display lists only its own size
  SetScreenMode(800, 600, 32, 0);
  ASSERT_EQ(InitLibrary(), 0);
  EXPECT_EQ(IsWindowedMode(), 1);
  EXPECT_EQ(IsFullScreenMode(), 0);
  RECT client;
  GetClientRect(WindowState.mainWindow, &client);
  EXPECT_EQ(client.right, 800);
  EXPECT_EQ(client.bottom, 600);
  EndLibrary();
  std::string log = ReadLogWithoutStamps();
  EXPECT_NE(log.find("設定されている画面設定 800x600 32bit color\r\n対応している画面モードなし\r\n"), std::string::npos);
}

int targetAfterStart;

class Draw2D : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    DeleteFileA("Log.txt");
    SetRunWhileInactive(1);
    ChangeWindowMode(1);
    SetScreenMode(640, 480, 32, 0);
    ASSERT_EQ(InitLibrary(), 0);
    ASSERT_EQ(ScreenState.hardwareRendering, 1);
    targetAfterStart = GetDrawTargetHandle();
  }
  static void TearDownTestSuite() { EndLibrary(); }
  void SetUp() override { ResetDrawing(); }
};

TEST_F(Draw2D, StartsWindowedWithTheRequestedScreen) {
  int w = 0, h = 0, bits = 0;
  GetScreenSizeAndBits(&w, &h, &bits);
  EXPECT_EQ(w, 640);
  EXPECT_EQ(h, 480);
  EXPECT_EQ(bits, 32);  // a windowed device takes the desktop's depth
  RECT client;
  GetClientRect(WindowState.mainWindow, &client);
  EXPECT_EQ(client.right, 640);
  EXPECT_EQ(client.bottom, 480);
  EXPECT_EQ(targetAfterStart, -4);
  EXPECT_EQ(SetScreenMode(640, 480, 24, 0), -1);
  DISPLAY_MODE none = GetDisplayModeRecord(-1);
  EXPECT_EQ(none.width, -1);
  EXPECT_EQ(none.refreshRate, -1);
  none = GetDisplayModeRecord(CountDisplayModes());
  EXPECT_EQ(none.height, -1);
  EXPECT_GT(CountDisplayModes(), 0);
  // Wine's vertical-blank wait returns at once: whatever period it gives, it was measured.
  EXPECT_NE(ScreenState.refreshPeriod, 0);
}

TEST_F(Draw2D, FilledBoxesCoverTheirHalfOpenRectangle) {
  struct CASE {
    int x1, y1, x2, y2;
    int left, top, right, bottom;  // the pixels expected, right and bottom exclusive
  } cases[] = {
      {10, 20, 30, 25, 10, 20, 30, 25},
      {120, 60, 100, 40, 100, 40, 120, 60},  // corners in any order
      {200, 200, 201, 201, 200, 200, 201, 201},
      {300, 10, 300, 50, 0, 0, 0, 0},  // no width: nothing
      {-5, -5, 3, 2, 0, 0, 3, 2},      // clipped by the draw area
      {630, 470, 700, 500, 630, 470, 640, 480},
  };
  uint32_t colors[] = {kRed, kGreen, kBlue, kWhite, 0x123456, 0x80FF40};
  for (int i = 0; i < 6; i++) {
    SetUp();
    EXPECT_EQ(DrawRectangle(cases[i].x1, cases[i].y1, cases[i].x2, cases[i].y2, Packed(colors[i]), 1), 0);
    PICTURE p = FlipAndRead();
    ASSERT_EQ(p.width, 640);
    const CASE& c = cases[i];
    EXPECT_EQ(Mismatches(p, colors[i], 0, 0, 640, 480,
                         [&](int x, int y) { return x >= c.left && x < c.right && y >= c.top && y < c.bottom; }),
              "")
        << "case " << i;
  }
}

TEST_F(Draw2D, OutlinesLightExactlyTheirBorder) {
  for (int reversed = 0; reversed < 2; reversed++) {
    SetUp();
    if (reversed)
      DrawRectangle(54, 54, 50, 50, Packed(kGreen), 0);
    else
      DrawRectangle(50, 50, 54, 54, Packed(kGreen), 0);
    DrawBoxOutline(100, 100, 140, 120, Packed(kRed));
    PICTURE p = FlipAndRead();
    EXPECT_EQ(p.Count(kGreen, 0, 0, 640, 480), 12) << "reversed " << reversed;
    EXPECT_EQ(Mismatches(p, kGreen, 40, 40, 64, 64,
                         [](int x, int y) {
                           bool inside = x >= 50 && x < 54 && y >= 50 && y < 54;
                           return inside && (x == 50 || x == 53 || y == 50 || y == 53);
                         }),
              "")
        << "reversed " << reversed;
    EXPECT_EQ(Mismatches(p, kRed, 90, 90, 150, 130,
                         [](int x, int y) {
                           bool inside = x >= 100 && x < 140 && y >= 100 && y < 120;
                           return inside && (x == 100 || x == 139 || y == 100 || y == 119);
                         }),
              "");
  }
}

TEST_F(Draw2D, LinesLightTheirPixelsWithoutTheLastOne) {
  struct CASE {
    int x1, y1, x2, y2;
  } cases[] = {
      {100, 100, 110, 100}, {110, 120, 100, 120}, {300, 50, 300, 60}, {320, 60, 320, 50},
      {200, 200, 210, 210}, {260, 200, 250, 210}, {400, 300, 430, 310},
  };
  for (const CASE& c : cases) {
    SetUp();
    EXPECT_EQ(DrawLineSegment(c.x1, c.y1, c.x2, c.y2, Packed(kWhite), 1), 0);
    PICTURE p = FlipAndRead();
    int steps = std::max(std::abs(c.x2 - c.x1), std::abs(c.y2 - c.y1));
    std::vector<std::pair<int, int>> expected;
    // The pixels a diamond-exit line lights: one per step of the major axis, end excluded.
    for (int i = 0; i < steps; i++) {
      double t = (double)i / steps;
      expected.push_back({(int)std::lround(c.x1 + t * (c.x2 - c.x1)), (int)std::lround(c.y1 + t * (c.y2 - c.y1))});
    }
    // Wine's GL rasteriser leaves out the start pixel of a vertical line drawn upward (the
    // pixel whose centre the line starts on); every other pixel is exact.
    bool startOptional = c.x1 == c.x2 && c.y1 > c.y2;
    EXPECT_EQ(Mismatches(p, kWhite, 0, 0, 640, 480,
                         [&](int x, int y) {
                           if (startOptional && x == c.x1 && y == c.y1) return p.At(x, y) == kWhite;
                           for (auto& e : expected)
                             if (e.first == x && e.second == y) return true;
                           return false;
                         }),
              "")
        << c.x1 << "," << c.y1 << "-" << c.x2 << "," << c.y2;
    if (!startOptional) { EXPECT_EQ(p.At(c.x1, c.y1), kWhite); }
    EXPECT_NE(p.At(c.x2, c.y2), kWhite);
  }
  SetUp();
  EXPECT_EQ(DrawLineSegment(5, 5, 5, 5, Packed(kWhite), 1), 0);
  EXPECT_EQ(FlipAndRead().Count(kWhite, 0, 0, 640, 480), 0);
}

// Whether a pixel centre lies inside the thick line's quad by more than a small margin (1),
// outside by more than it (0), or on its edge (-1: either is right).
int InsideQuad(double px, double py, int x1, int y1, int x2, int y2, int t) {
  double dx = x2 - x1, dy = y2 - y1, length = std::sqrt(dx * dx + dy * dy);
  double along = ((px - x1) * dx + (py - y1) * dy) / length;
  double across = std::fabs((px - x1) * dy - (py - y1) * dx) / length;
  const double margin = 0.01;
  if (along > margin && along < length - margin && across < t * 0.5 - margin) return 1;
  if (along < -margin || along > length + margin || across > t * 0.5 + margin) return 0;
  return -1;
}

TEST_F(Draw2D, ThickLinesCoverTheirQuad) {
  // Odd thickness on an axis is a filled box centred on the line.
  DrawLineSegment(0, 10, 100, 10, Packed(kRed), 3);
  DrawLineSegment(200, 100, 200, 150, Packed(kRed), 5);
  // Even thickness is the quad, from y = 9 to y = 11.
  DrawLineSegment(0, 40, 100, 40, Packed(kGreen), 2);
  PICTURE p = FlipAndRead();
  EXPECT_EQ(Mismatches(p, kRed, 0, 0, 300, 200,
                       [](int x, int y) {
                         return (x < 100 && y >= 9 && y < 12) || (x >= 198 && x < 203 && y >= 100 && y < 150);
                       }),
            "");
  EXPECT_EQ(Mismatches(p, kGreen, 0, 30, 120, 50, [](int x, int y) { return x < 100 && y >= 39 && y < 41; }), "");

  struct CASE {
    int x1, y1, x2, y2, t;
  } diagonals[] = {{100, 200, 180, 260, 4}, {400, 100, 350, 220, 7}, {300, 300, 380, 300, 6}};
  for (const CASE& c : diagonals) {
    SetUp();
    EXPECT_EQ(DrawThickLine(Packed(kBlue), c.x1, c.y1, c.x2, c.y2, c.t), 0);
    PICTURE q = FlipAndRead();
    std::string wrong;
    for (int y = 0; y < 480; y++)
      for (int x = 0; x < 640; x++) {
        int inside = InsideQuad(x, y, c.x1, c.y1, c.x2, c.y2, c.t);
        if (inside >= 0 && (q.At(x, y) == kBlue) != (inside == 1))
          wrong += std::to_string(x) + "," + std::to_string(y) + " ";
      }
    EXPECT_EQ(wrong, "") << c.x1 << "," << c.y1 << "-" << c.x2 << "," << c.y2 << " t " << c.t;
  }
}

TEST_F(Draw2D, EachTriangleKeepsItsOwnColour) {
  // Two rounds through the same batch slots with different colours: a vertex that kept an
  // old colour would show through under anything but flat shading from the first vertex.
  for (int round = 0; round < 2; round++) {
    uint32_t color = round == 0 ? kGreen : kRed;
    for (int i = 0; i < 40; i++) DrawFilledBox(i * 16, 0, i * 16 + 12, 200, Packed(color));
    for (int i = 0; i < 20; i++) DrawBoxOutline(i * 30, 220, i * 30 + 25, 260, Packed(color));
    DrawThickLine(Packed(color), 10, 300, 600, 400, 8);
    PICTURE p = FlipAndRead();
    int lit = p.Count(color, 0, 0, 640, 480), other = 0;
    for (uint32_t v : p.pixels)
      if ((v & 0xFFFFFF) != 0 && (v & 0xFFFFFF) != color) other++;
    EXPECT_GT(lit, 40 * 12 * 200);
    EXPECT_EQ(other, 0) << "round " << round;
    SetUp();
  }
}

TEST_F(Draw2D, TheDrawAreaClipsEveryDraw) {
  ASSERT_EQ(SetDrawClipArea(20, 20, 40, 40), 0);
  DrawFilledBox(0, 0, 30, 25, Packed(kRed));
  DrawBoxOutline(10, 30, 60, 60, Packed(kRed));
  DrawLineSegment(0, 35, 100, 35, Packed(kRed), 1);
  DrawLineSegment(25, 0, 25, 100, Packed(kRed), 1);
  DrawLineSegment(0, 0, 100, 100, Packed(kRed), 1);
  DrawThickLine(Packed(kRed), 0, 60, 60, 0, 4);
  DrawThickLine(Packed(kRed), 0, 38, 100, 38, 3);
  PICTURE p = FlipAndRead();
  int outside = 0;
  for (int y = 0; y < 480; y++)
    for (int x = 0; x < 640; x++)
      if (p.At(x, y) != 0 && !(x >= 20 && x < 40 && y >= 20 && y < 40)) outside++;
  EXPECT_EQ(outside, 0);
  // Inside, each draw left its mark.
  EXPECT_EQ(p.At(20, 20), kRed);  // box
  EXPECT_EQ(p.At(29, 24), kRed);
  EXPECT_EQ(p.At(30, 24), 0u);
  EXPECT_EQ(p.At(39, 33), 0u);
  EXPECT_EQ(p.At(10 + 1, 31), 0u);
  EXPECT_EQ(p.At(22, 30), kRed);  // outline's top edge
  EXPECT_EQ(p.At(38, 35), kRed);  // horizontal line
  EXPECT_EQ(p.At(25, 39), kRed);  // vertical line
  EXPECT_EQ(p.At(33, 33), kRed);  // diagonal line
  EXPECT_EQ(p.At(30, 29), kRed);  // diagonal thick line
  EXPECT_EQ(p.At(37, 38), kRed);  // thick line
  // A requested area is kept as given and the stored one ordered and clamped.
  SetDrawClipArea(700, 500, -10, -20);
  EXPECT_EQ(DrawSettings.drawArea.left, 0);
  EXPECT_EQ(DrawSettings.drawArea.right, 640);
  EXPECT_EQ(DrawSettings.drawArea.bottom, 480);
  EXPECT_EQ(DrawSettings.requestedArea.left, 700);
}

TEST_F(Draw2D, AnEmptyDrawAreaDrawsNothing) {
  ASSERT_EQ(SetDrawClipArea(10, 10, 10, 50), 0);
  EXPECT_EQ(DrawSettings.emptyDrawArea, 1);
  EXPECT_EQ(DrawRectangle(0, 0, 640, 480, Packed(kRed), 1), 0);
  EXPECT_EQ(DrawRectangle(0, 0, 640, 480, Packed(kRed), 0), 0);
  EXPECT_EQ(DrawLineSegment(0, 0, 639, 479, Packed(kRed), 1), 0);
  EXPECT_EQ(DrawLineSegment(0, 0, 639, 479, Packed(kRed), 4), 0);
  EXPECT_EQ(DrawLineSegment(0, 20, 639, 20, Packed(kRed), 3), 0);
  EXPECT_EQ(FlipAndRead().Count(kRed, 0, 0, 640, 480), 0);
  SetDrawClipArea(0, 0, 640, 480);
  EXPECT_EQ(DrawSettings.emptyDrawArea, 0);
}

TEST_F(Draw2D, ThickLineOfNoLengthDrawsNothing) {
  for (int t : {2, 3, 4}) {
    EXPECT_EQ(DrawLineSegment(50, 50, 50, 50, Packed(kRed), t), 0) << t;
    EXPECT_EQ(DrawThickLine(Packed(kRed), 80, 80, 80, 80, t), 0) << t;
  }
  // A following draw still lands where it should (no poisoned batch).
  DrawFilledBox(5, 5, 7, 7, Packed(kGreen));
  PICTURE p = FlipAndRead();
  EXPECT_EQ(p.Count(kRed, 0, 0, 640, 480), 0);
  EXPECT_EQ(p.Count(kGreen, 0, 0, 640, 480), 4);
}

TEST_F(Draw2D, DrawTargetsRefuseWhatTheyCannotDraw) {
  SelectDrawTarget(-4);
  SetDrawClipArea(10, 20, 30, 40);
  for (int bad : {0, 1, -1, -6, 123456}) {
    EXPECT_EQ(SelectDrawTarget(bad), -1) << bad;
    EXPECT_EQ(GetDrawTargetHandle(), -4) << bad;
    EXPECT_EQ(DrawSettings.drawArea.left, 10) << bad;
    EXPECT_EQ(DrawSettings.drawArea.bottom, 40) << bad;
  }
  // Same size: the area stays; the other screen codes get the main screen's size.
  for (int code : {-2, -3, -5}) {
    EXPECT_EQ(SelectDrawTarget(code), 0) << code;
    EXPECT_EQ(DrawSettings.targetWidth, 640) << code;
    EXPECT_EQ(DrawSettings.targetHeight, 480) << code;
    EXPECT_EQ(DrawSettings.drawArea.right, 30) << code;
  }
}

TEST_F(Draw2D, ClearFillsTheRectangleWithTheBackground) {
  DrawFilledBox(0, 0, 100, 100, Packed(kWhite));
  RECT part = {10, 10, 20, 30};
  EXPECT_EQ(ClearDrawTarget(&part), 0);
  PICTURE p = FlipAndRead();
  EXPECT_EQ(p.Count(0, 0, 0, 100, 100), 10 * 20);
  EXPECT_EQ(p.At(10, 10), 0u);
  EXPECT_EQ(p.At(20, 10), kWhite);
  RECT negative = {-1, 0, 5, 5};  // counts as the whole target
  EXPECT_EQ(ClearDrawTarget(&negative), 0);
  EXPECT_EQ(FlipAndRead().Count(kWhite, 0, 0, 640, 480), 0);
}

int presentCount;
HRESULT CountingPresent(IDirect3DSwapChain9* chain, const RECT* source, const RECT* dest, HWND window,
                        const RGNDATA* dirty, DWORD flags) {
  presentCount++;
  return RealDeviceCalls.SwapChainPresent(chain, source, dest, window, dirty, flags);
}

TEST_F(Draw2D, AFlipAfterAQuitRequestPresentsNothing) {
  DeviceCalls.SwapChainPresent = CountingPresent;
  presentCount = 0;
  DrawFilledBox(0, 0, 640, 480, Packed(kBlue));
  EXPECT_EQ(FlipScreenBuffers(), 0);
  EXPECT_EQ(presentCount, 1);
  DrawFilledBox(0, 0, 640, 480, Packed(kRed));
  SetQuitRequest();
  EXPECT_EQ(FlipScreenBuffers(), -1);
  ClearQuitRequest();
  DeviceCalls.SwapChainPresent = RealDeviceCalls.SwapChainPresent;
  EXPECT_EQ(presentCount, 1);
  // The red box never reached the device: the last frame stands as it was.
  PICTURE p = ReadBackBuffer();
  EXPECT_EQ(p.Count(kBlue, 0, 0, 640, 480), 640 * 480);
  FlushVertexBatch(0);
}

TEST_F(Draw2D, PartialPresentNeedsAWholePresentFirst) {
  RECT saved = ScreenState.lastSourceRect;
  ScreenState.lastSourceRect = {0, 0, 0, 0};
  RECT part = {0, 0, 10, 10};
  EXPECT_EQ(PresentScreen(&part), -1);
  ScreenState.lastSourceRect = saved;
  EXPECT_EQ(FlipScreenBuffers(), 0);
  EXPECT_EQ(ScreenState.lastSourceRect.right, 640);
  RECT thin = {5, 5, 5, 10};
  EXPECT_EQ(PresentScreen(&thin), -1);
  EXPECT_EQ(PresentScreen(&part), 0);
}

TEST_F(Draw2D, PacingWithoutDirectDrawOnlySleeps) {
  IDirectDraw7* saved = Direct3DObjects.directDraw;
  Direct3DObjects.directDraw = nullptr;
  long long start = GetMicrosecondCount();
  ScreenState.lastVerticalBlank = start;
  WaitForVerticalBlankPaced();
  long long waited = GetMicrosecondCount() - start;
  Direct3DObjects.directDraw = saved;
  long long threshold = ScreenState.refreshPeriod < 0 ? 4000 : ScreenState.refreshPeriod - 3000;
  EXPECT_GE(waited, threshold);
  EXPECT_LT(waited, threshold + 200000);
}

TEST_F(Draw2D, DisplayModeChangeAlwaysClosesItsIndent) {
  int saved = ScreenState.colorBits;
  ScreenState.colorBits = 8;
  EXPECT_EQ(ChangeDisplayMode(), -1);
  ScreenState.colorBits = saved;
  WriteLogText("after the mode change\n");
  WriteLogText("next line\n");
  std::string log = ReadLogWithoutStamps();
  EXPECT_NE(log.find("\nnext line\r\n"), std::string::npos) << log.substr(log.size() > 400 ? log.size() - 400 : 0);
}

TEST_F(Draw2D, SetScreenModeResizesTheClientArea) {
  EXPECT_EQ(SetScreenMode(800, 600, 32, 0), 0);
  RECT client;
  GetClientRect(WindowState.mainWindow, &client);
  EXPECT_EQ(client.right, 800);
  EXPECT_EQ(client.bottom, 600);
  EXPECT_EQ(ScreenState.hardwareRendering, 1);
  int w = 0, h = 0;
  QueryMainScreenSize(&w, &h);
  EXPECT_EQ(w, 800);
  EXPECT_EQ(DrawSettings.drawArea.right, 800);
  SelectDrawTarget(-2);
  ClearDrawTarget(nullptr);
  DrawFilledBox(700, 500, 800, 600, Packed(kGreen));
  DrawLineSegment(100, 100, 110, 100, Packed(kWhite), 1);
  EXPECT_EQ(FlipScreenBuffers(), 0);
  PICTURE p = ReadBackBuffer();
  EXPECT_EQ(p.Count(kWhite, 0, 0, 800, 600), 10);
  ASSERT_EQ(p.width, 800);
  EXPECT_EQ(p.Count(kGreen, 0, 0, 800, 600), 100 * 100);
  EXPECT_EQ(SetScreenMode(640, 480, 32, 0), 0);
  GetClientRect(WindowState.mainWindow, &client);
  EXPECT_EQ(client.right, 640);
  EXPECT_EQ(client.bottom, 480);
}

TEST_F(Draw2D, WindowScaleTwoShowsTheSamePictureDoubled) {
  // A 400 x 300 screen, so that the doubled window fits on the 1024 x 768 display.
  ASSERT_EQ(SetScreenMode(400, 300, 32, 0), 0);
  SetWindowScale(2, 2);
  for (int i = 0; i < 5; i++) PumpWindowMessages();
  RECT client;
  GetClientRect(WindowState.mainWindow, &client);
  EXPECT_EQ(client.right, 800);
  EXPECT_EQ(client.bottom, 600);
  SelectDrawTarget(-2);
  ClearDrawTarget(nullptr);
  DrawFilledBox(10, 20, 30, 25, Packed(kRed));
  DrawRectangle(50, 50, 54, 54, Packed(kGreen), 0);
  DrawLineSegment(100, 100, 110, 100, Packed(kWhite), 1);
  DrawThickLine(Packed(kBlue), 120, 100, 160, 130, 6);
  PICTURE back = ReadBackBuffer();
  PICTURE shown;
  // Other test programs share the display: the window is raised and the frame presented
  // again until the capture shows this window.
  for (int attempt = 0; attempt < 5; attempt++) {
    SetWindowPos(WindowState.mainWindow, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_SHOWWINDOW);
    PumpWindowMessages();
    EXPECT_EQ(FlipScreenBuffers(), 0);
    back = ReadBackBuffer();
    shown = ReadWindow();
    if (shown.At(40, 45) == kRed) break;
    Sleep(200);
  }
  SetWindowScale(1, 1);
  EXPECT_EQ(SetScreenMode(640, 480, 32, 0), 0);
  // The back buffer holds the picture at its own size, pixel for pixel as at scale 1.
  ASSERT_EQ(back.width, 400);
  EXPECT_EQ(back.Count(kRed, 0, 0, 400, 300), 20 * 5);
  EXPECT_EQ(Mismatches(back, kGreen, 0, 0, 400, 300,
                       [](int x, int y) {
                         bool inside = x >= 50 && x < 54 && y >= 50 && y < 54;
                         return inside && (x == 50 || x == 53 || y == 50 || y == 53);
                       }),
            "");
  EXPECT_EQ(Mismatches(back, kWhite, 0, 0, 400, 300, [](int x, int y) { return y == 100 && x >= 100 && x < 110; }),
            "");
  // The window shows it stretched to twice the size. The present may filter the stretch, so
  // each back-buffer pixel whose neighbours share its colour must fill its 2 x 2 block
  // exactly, and nothing may appear away from the doubled picture.
  ASSERT_EQ(shown.width, 800);
  std::string wrong;
  for (int y = 1; y < 299; y++)
    for (int x = 1; x < 399; x++) {
      uint32_t c = back.At(x, y);
      bool uniform = true;
      for (int dy = -1; dy <= 1; dy++)
        for (int dx = -1; dx <= 1; dx++) uniform = uniform && back.At(x + dx, y + dy) == c;
      if (!uniform) continue;
      for (int i = 0; i < 4; i++)
        if (shown.At(2 * x + i % 2, 2 * y + i / 2) != c) wrong += std::to_string(x) + "," + std::to_string(y) + " ";
    }
  EXPECT_EQ(wrong, "");
  int red = shown.Count(kRed, 0, 0, 800, 600);
  EXPECT_GE(red, 4 * 18 * 3);
  EXPECT_LE(red, 4 * 20 * 5);
  // Thin shapes show at least half their brightness on their doubled pixels.
  for (int x = 100; x < 110; x++) EXPECT_GE(shown.At(2 * x, 200) & 0xFF, 0x80u) << x;
  EXPECT_GE(shown.At(101, 100) >> 8 & 0xFF, 0x80u);
}
}  // namespace

namespace {
// Runs after the hardware suite has ended the library: a start without Direct3D.
TEST(Draw2DSoftware, StartsWithoutADeviceWhenHardwareIsNotWanted) {
  ASSERT_EQ(SetHardwareRenderingWanted(0), 0);
  EXPECT_EQ(IsHardwareRenderingWanted(), 0);
  SetRunWhileInactive(1);
  ChangeWindowMode(1);
  // Before start-up the mode is only stored, whatever the display can do.
  EXPECT_EQ(SetScreenMode(480, 360, 16, 0), 0);
  int w = 0, h = 0;
  QueryMainScreenSize(&w, &h);
  EXPECT_EQ(w, 480);
  EXPECT_EQ(h, 360);
  ASSERT_EQ(InitLibrary(), 0);
  RECT client;
  GetClientRect(WindowState.mainWindow, &client);
  EXPECT_EQ(client.right, 480);
  EXPECT_EQ(client.bottom, 360);
  EXPECT_EQ(GetScreenColorBits(), 16);
  EXPECT_EQ(SetHardwareRenderingWanted(1), -1);  // too late once started
  EXPECT_EQ(ScreenState.hardwareRendering, 0);
  EXPECT_EQ(HasDirect3DDevice(), 0);
  EXPECT_NE(GetDirectDrawObject(), nullptr);  // frame pacing still waits on it
  EXPECT_EQ(GetDrawTargetHandle(), -4);
  EXPECT_EQ(SetDrawClipArea(0, 0, 100, 100), 0);
  EXPECT_EQ(DrawFilledBox(0, 0, 10, 10, PackScreenColor(255, 0, 0)), 0);
  EXPECT_EQ(DrawLineSegment(0, 0, 10, 10, PackScreenColor(255, 0, 0), 4), 0);
  EXPECT_EQ(FlipScreenBuffers(), 0);
  EndLibrary();
  SetHardwareRenderingWanted(1);
}
}  // namespace
