// The software draw path under Wine: the library started with hardware rendering switched
// off draws boxes, outlines, lines and graphs with the CPU kernels into the screen MEMIMG,
// and the flip copies it to the window with GDI; the window is read back pixel by pixel and
// compared with the pixels the hardware path lights for the same calls.
#include <gtest/gtest.h>
#include <windows.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "core/handles.h"
#include "core/maths.h"
#include "font/font_handles.h"
#include "font/text_layout.h"
#include "graphics/device/draw_settings.h"
#include "graphics/graphs/graph_create.h"
#include "graphics/graphs/graph_handles.h"
#include "graphics/draw/mask.h"
#include "graphics/device/screen.h"
#include "graphics/draw/screen_lock.h"
#include "graphics/software/software_draw.h"
#include "graphics/software/software_screen.h"
#include "graphics/device/state_cache.h"
#include "image/memimg_draw_state.h"
#include "korvel.h"
#include "system/base/window_state.h"
#include "blend_graph_cases.h"
#include "read_back.h"
#include "test_support.h"

namespace {
const uint32_t kRed = 0xFF0000, kGreen = 0x00FF00, kBlue = 0x0000FF, kWhite = 0xFFFFFF, kYellow = 0xFFFF00;

// Every differing pixel of a region as "x,y:got/want", empty when the two agree.
std::string Differences(const PICTURE& got, const PICTURE& want, int x1, int y1, int x2, int y2) {
  std::string out;
  int count = 0;
  for (int y = y1; y < y2; y++)
    for (int x = x1; x < x2; x++)
      if (got.At(x, y) != want.At(x, y) && count++ < 40) {
        char text[64];
        snprintf(text, sizeof text, "%d,%d:%06X/%06X ", x, y, got.At(x, y), want.At(x, y));
        out += text;
      }
  return out;
}

// The pixels the hardware path lights (device rules: a box covers [L, R) x [T, B); a 4-sided
// outline its one-pixel border; an axis-aligned line its start up to the pixel before its end).
struct EXPECTED {
  PICTURE picture;
  RECT area;
  EXPECTED(int width, int height) : area{0, 0, width, height} {
    picture.width = width;
    picture.height = height;
    picture.pixels.assign((size_t)width * height, 0);
  }
  void Lit(int x, int y, uint32_t c) {
    if (x >= area.left && x < area.right && y >= area.top && y < area.bottom) picture.Set(x, y, c);
  }
  void Box(int x1, int y1, int x2, int y2, uint32_t c) {
    for (int y = std::min(y1, y2); y < std::max(y1, y2); y++)
      for (int x = std::min(x1, x2); x < std::max(x1, x2); x++) Lit(x, y, c);
  }
  void Outline(int x1, int y1, int x2, int y2, uint32_t c) {
    for (int y = y1; y < y2; y++)
      for (int x = x1; x < x2; x++)
        if (x == x1 || x == x2 - 1 || y == y1 || y == y2 - 1) Lit(x, y, c);
  }
  void AxisLine(int x1, int y1, int x2, int y2, uint32_t c) {
    int sx = x2 > x1 ? 1 : x2 < x1 ? -1 : 0, sy = y2 > y1 ? 1 : y2 < y1 ? -1 : 0;
    for (int x = x1, y = y1; x != x2 || y != y2; x += sx, y += sy) Lit(x, y, c);
  }
};

// The 16 x 8 test graph's texel (x, y): a colour of its own, and black (the transparent colour)
// at (3, 2).
uint32_t GraphTexel(int x, int y) {
  return (x == 3 && y == 2) ? 0 : 0x200000u * (uint32_t)(y + 1) | 0x1000u * (uint32_t)(x + 1) | 0x40;
}

// A 16 x 8 graph of GraphTexel; -1 when it cannot be made.
HANDLE_VALUE MakeTexelGraph() {
  RASTER_IMAGE image;
  if (AllocXRGB8Image(16, 8, &image) != 0) return -1;
  for (int y = 0; y < 8; y++)
    for (int x = 0; x < 16; x++) ((uint32_t*)((uint8_t*)image.pixels + y * image.pitch))[x] = 0xFF000000u | GraphTexel(x, y);
  HANDLE_VALUE graph = BuildGraphFromBaseImage(&image, nullptr, 0);
  DisposeImage(&image);
  return graph;
}

// Graph handles (type 1) for the tests; 1 when registered here, 0 when graphics start-up
// already did.
bool RegisterGraphType() {
  return InitHandleType(HANDLE_TYPE_GRAPH, sizeof(GRAPH_RECORD), GRAPH_HANDLE_MAX, InitGraphRecord,
                        ReleaseGraphRecord, kGraphHandleTypeName) == 0;
}

class SoftwareDraw : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    DeleteFileA("Log.txt");
    AllowMultipleInstances(1);
    SetRunWhileInactive(1);
    ChangeWindowMode(1);
    ASSERT_EQ(SetHardwareRenderingWanted(0), 0);
    ASSERT_EQ(SetScreenMode(640, 480, 32, 0), 0);
    ASSERT_EQ(InitLibrary(), 0);
    ownsGraphType = RegisterGraphType();
  }
  static void TearDownTestSuite() {
    if (ownsGraphType) EndHandleType(HANDLE_TYPE_GRAPH);
    EndLibrary();
  }
  static bool ownsGraphType;
  void SetUp() override {
    ASSERT_EQ(ScreenState.hardwareRendering, 0);
    SelectDrawTarget(-2);
    SetDrawClipArea(0, 0, 640, 480);
    SelectBlendMode(0, 0);
    SelectDrawBrightness(255, 255, 255);
    ClearDrawTarget(nullptr);
  }

  // The screen MEMIMG's 32-bit pixel at (x, y).
  static uint32_t ScreenPixel(int x, int y) {
    const MEMIMG* m = GetScreenMemImg();
    uint32_t v;
    memcpy(&v, m->pixels + y * m->store->pitch + x * 4, 4);
    return v & 0xFFFFFF;
  }
};
bool SoftwareDraw::ownsGraphType;

TEST_F(SoftwareDraw, StartsInSoftwareModeWithA32BitScreenImage) {
  EXPECT_FALSE(IsHardwareRenderingWanted());
  const MEMIMG* screen = GetScreenMemImg();
  ASSERT_TRUE(IsMemImgValid(screen));
  EXPECT_EQ(screen->width, 640);
  EXPECT_EQ(screen->height, 480);
  EXPECT_EQ(screen->store->pixelType, MEMIMG_TYPE_32BIT);
  EXPECT_EQ(SoftwareTarget, screen);
  // The blend tables are built at start-up: product [255][255] = 255, [128][255] = 128.
  EXPECT_EQ(BlendProductTables.product[255 * 256 + 255], 255);
  EXPECT_EQ(BlendProductTables.product[128 * 256 + 255], 128);
}

// In software mode a lock is a view straight into the screen image: what the drawing put
// there is read through it, and what is written through it is on the screen.
TEST_F(SoftwareDraw, LockViewsTheScreenImageItself) {
  DrawFilledBox(10, 20, 30, 40, PackScreenColor(0, 255, 0));
  RECT rect = {10, 20, 30, 40};
  RASTER_IMAGE image;
  ASSERT_EQ(LockDrawScreenImage(&rect, &image, -1, 0, 0), 0);
  EXPECT_EQ(image.width, 20);
  EXPECT_EQ(image.height, 20);
  uint32_t first;
  memcpy(&first, image.pixels, 4);
  EXPECT_EQ(first & 0xFFFFFF, 0x00FF00u);
  const uint32_t red = 0xFFFF0000u;
  memcpy((uint8_t*)image.pixels + 5 * image.pitch + 3 * 4, &red, 4);
  EXPECT_EQ(LockDrawScreenImage(&rect, &image, -1, 0, 0), -1) << "one lock at a time";
  EXPECT_EQ(UnlockDrawScreenImage(), 0);
  EXPECT_EQ(ScreenPixel(13, 25), 0xFF0000u);
  RECT outside = {630, 470, 641, 480};
  EXPECT_EQ(LockDrawScreenImage(&outside, &image, -1, 1, 0), -1);
}

// Boxes (corners in either order), outlines and axis-aligned lines, read back from the window
// after the GDI flip, light exactly the pixels of the hardware rules in the packed colours.
TEST_F(SoftwareDraw, BoxesOutlinesAndLinesReadBackFromTheWindow) {
  EXPECTED want(640, 480);
  auto fill = [&](int x1, int y1, int x2, int y2, uint32_t c) {
    EXPECT_EQ(DrawRectangle(x1, y1, x2, y2, Packed(c), 1), 0);
    want.Box(x1, y1, x2, y2, c);
  };
  auto outline = [&](int x1, int y1, int x2, int y2, uint32_t c) {
    EXPECT_EQ(DrawRectangle(x1, y1, x2, y2, Packed(c), 0), 0);
    want.Outline(x1, y1, x2, y2, c);
  };
  auto line = [&](int x1, int y1, int x2, int y2, uint32_t c) {
    EXPECT_EQ(DrawLineSegment(x1, y1, x2, y2, Packed(c), 1), 0);
    want.AxisLine(x1, y1, x2, y2, c);
  };
  fill(10, 10, 40, 30, kRed);
  fill(90, 30, 50, 10, kGreen);  // corners in reverse order
  fill(10, 10, 10, 20, kWhite);  // zero width: nothing
  fill(630, 470, 700, 520, kBlue);  // cut at the screen's edge
  outline(100, 10, 104, 14, kWhite);  // the 12 border pixels of a 4 x 4 square
  outline(120, 10, 150, 30, kBlue);
  outline(160, 10, 162, 12, kYellow);  // 2 x 2: all four pixels
  outline(170, 10, 171, 15, kYellow);  // one pixel wide
  line(10, 50, 60, 50, kRed);
  line(60, 55, 10, 55, kGreen);
  line(80, 40, 80, 90, kBlue);
  line(90, 90, 90, 40, kWhite);
  line(5, 5, 5, 5, kWhite);  // no length: nothing
  // Thickness 3 on an axis is the box around the line: (0, 9)-(100, 12) for y = 10.
  EXPECT_EQ(DrawLineSegment(200, 100, 300, 100, Packed(kYellow), 3), 0);
  want.Box(200, 99, 300, 102, kYellow);

  // A draw area clips every draw; an empty one draws nothing.
  ASSERT_EQ(SetDrawClipArea(400, 200, 450, 240), 0);
  want.area = {400, 200, 450, 240};
  fill(380, 190, 420, 220, kRed);
  outline(430, 230, 470, 260, kGreen);
  line(390, 235, 460, 235, kBlue);
  line(440, 180, 440, 260, kWhite);
  ASSERT_EQ(SetDrawClipArea(500, 300, 500, 350), 0);
  want.area = {0, 0, 0, 0};
  fill(0, 0, 640, 480, kRed);
  line(0, 0, 639, 0, kRed);
  ASSERT_EQ(SetDrawClipArea(0, 0, 640, 480), 0);

  ASSERT_EQ(FlipScreenBuffers(), 0);
  PICTURE got = ReadWindow(WindowState.mainWindow, READ_FROM_WINDOW_DC);
  ASSERT_GE(got.width, 640);
  ASSERT_GE(got.height, 480);
  EXPECT_EQ(Differences(got, want.picture, 0, 0, 640, 480), "");
}

// The line kernel's pixels for a diagonal, as the CPU renderer defines them: (1, 1)-(9, 5)
// lights eight pixels and not its end; a line from far outside stays in the draw area.
TEST_F(SoftwareDraw, DiagonalLinesFollowTheKernelSteps) {
  EXPECT_EQ(DrawLineSegment(201, 101, 209, 105, Packed(kWhite), 1), 0);
  ASSERT_EQ(SetDrawClipArea(300, 300, 340, 330), 0);
  EXPECT_EQ(DrawLineSegment(-100000, -90000, 100000, 110000, Packed(kGreen), 1), 0);
  ASSERT_EQ(SetDrawClipArea(0, 0, 640, 480), 0);
  ASSERT_EQ(FlipScreenBuffers(), 0);
  PICTURE got = ReadWindow(WindowState.mainWindow, READ_FROM_WINDOW_DC);
  const POINT steps[8] = {{1, 1}, {2, 1}, {3, 2}, {4, 2}, {5, 3}, {6, 3}, {7, 4}, {8, 4}};
  EXPECTED want(640, 480);
  for (const POINT& p : steps) want.Lit(200 + p.x, 100 + p.y, kWhite);
  EXPECT_EQ(Differences(got, want.picture, 195, 95, 215, 110), "");
  int inside = 0;
  for (int y = 0; y < 480; y++)
    for (int x = 0; x < 640; x++)
      if (got.At(x, y) == kGreen) {
        EXPECT_TRUE(x >= 300 && x < 340 && y >= 300 && y < 330) << x << "," << y;
        inside++;
      }
  EXPECT_GT(inside, 0);
}

// The software outline uses its corners as given; each corner pixel is the end of two lines
// and is drawn once.
TEST_F(SoftwareDraw, OutlineKernelCallLightsTheBorderOnce) {
  SelectBlendMode(2, 255);  // additive: a pixel drawn twice would come out brighter
  EXPECT_EQ(DrawBoxOutlineSoftware(0, 0, 4, 4, PackScreenColor(0x40, 0x40, 0x40)), 0);
  SelectBlendMode(0, 0);
  for (int y = 0; y < 6; y++)
    for (int x = 0; x < 6; x++) {
      bool border = x < 4 && y < 4 && (x == 0 || x == 3 || y == 0 || y == 3);
      EXPECT_EQ(ScreenPixel(x, y), border ? 0x404040u : 0u) << x << "," << y;
    }
}

// Graphs held as MEMIMGs go through the public graph draws to the kernels: blitted,
// stretched, mirrored and cut to a region, the transparent colour skipped, clipped by the
// draw area, and read back from the window texel for texel.
TEST_F(SoftwareDraw, GraphsDrawIntoTheWindowThroughThePublicCalls) {
  const auto texel = GraphTexel;
  HANDLE_VALUE graph = MakeTexelGraph();
  ASSERT_NE(graph, -1);
  GRAPH_RECORD* g = GetGraphRecord(graph, 0);
  ASSERT_NE(g, nullptr);
  ASSERT_FALSE(g->imageSet->desc.heldAsTextures);
  EXPECT_EQ(g->imageSet->formatIndex, 29);  // 32-bit without alpha
  ASSERT_TRUE(IsMemImgValid(&g->memImg));

  // A derived graph is a view of its parent's pixels.
  HANDLE_VALUE part = CreateDerivedGraph(4, 2, 8, 4, graph);
  ASSERT_NE(part, -1);

  DrawFilledBox(0, 200, 640, 300, Packed(kWhite));
  EXPECT_EQ(DrawGraphAt(10, 210, graph, 0), 0);
  EXPECT_EQ(DrawGraphAt(40, 210, graph, 1), 0);
  EXPECT_EQ(DrawGraphAt(70, 210, part, 0), 0);
  EXPECT_EQ(DrawGraphStretched(100, 210, 132, 226, graph, 0), 0);
  EXPECT_EQ(DrawGraphMirrored(180, 210, graph, 0), 0);
  EXPECT_EQ(DrawGraphRegion(300, 210, 2, 1, 5, 3, graph, 0, 0), 0);
  EXPECT_EQ(DrawGraphAt(630, 295, graph, 0), 0);  // cut at the screen's edges
  // Cut at every edge of a draw area that lies inside the graph.
  ASSERT_EQ(SetDrawClipArea(403, 212, 410, 215), 0);
  EXPECT_EQ(DrawGraphAt(400, 210, graph, 0), 0);
  ASSERT_EQ(SetDrawClipArea(500, 250, 500, 260), 0);  // empty: nothing
  EXPECT_EQ(DrawGraphAt(500, 250, graph, 0), 0);
  ASSERT_EQ(SetDrawClipArea(0, 0, 640, 480), 0);
  EXPECT_EQ(DrawGraphAt(450, 210, -1, 0), -1);
  // Four corners go to the triangle back end: compared below on their own rows.
  EXPECT_EQ(DrawGraphQuadF(500.0f, 400.0f, 532.0f, 404.0f, 530.0f, 420.0f, 498.0f, 416.0f, graph, 1), 0);
  ASSERT_EQ(FlipScreenBuffers(), 0);
  PICTURE got = ReadWindow(WindowState.mainWindow, READ_FROM_WINDOW_DC);

  EXPECTED want(640, 480);
  want.Box(0, 200, 640, 300, kWhite);
  for (int y = 0; y < 8; y++)
    for (int x = 0; x < 16; x++) {
      want.Lit(10 + x, 210 + y, texel(x, y));
      if (texel(x, y) != 0) want.Lit(40 + x, 210 + y, texel(x, y));
      want.Lit(195 - x, 210 + y, texel(x, y));
      want.Lit(630 + x, 295 + y, texel(x, y));
      if (x >= 3 && x < 10 && y >= 2 && y < 5) want.Lit(400 + x, 210 + y, texel(x, y));
    }
  for (int y = 0; y < 4; y++)
    for (int x = 0; x < 8; x++) want.Lit(70 + x, 210 + y, texel(4 + x, 2 + y));
  for (int y = 0; y < 3; y++)
    for (int x = 0; x < 5; x++) want.Lit(300 + x, 210 + y, texel(2 + x, 1 + y));
  for (int y = 0; y < 16; y++)
    for (int x = 0; x < 32; x++) want.Lit(100 + x, 210 + y, texel(x / 2, y / 2));
  EXPECT_EQ(Differences(got, want.picture, 0, 195, 640, 305), "");
  // The quad's rows: its pixels show texels of the graph (never its transparent black, which
  // leaves the cleared black screen), only inside the quad's bounds, and they fill most of its
  // 32 x 16 area. Its centre shows a texel near the middle of the graph.
  int quadLit = 0, strays = 0;
  for (int y = 305; y < 480; y++)
    for (int x = 0; x < 640; x++) {
      uint32_t v = got.At(x, y);
      if (v == 0) continue;
      bool texelColour = false;
      for (int ty = 0; ty < 8; ty++)
        for (int tx = 0; tx < 16; tx++) texelColour |= v == (texel(tx, ty) & 0xFFFFFF);
      bool inBounds = x >= 497 && x <= 533 && y >= 399 && y <= 421;
      if (texelColour && inBounds) quadLit++;
      else if (strays++ < 5) ADD_FAILURE() << "quad row pixel " << x << "," << y << " " << std::hex << v;
    }
  EXPECT_GT(quadLit, 400);
  bool middle = false;
  for (int ty = 3; ty <= 5; ty++)
    for (int tx = 6; tx <= 9; tx++) middle |= got.At(515, 410) == (texel(tx, ty) & 0xFFFFFF);
  EXPECT_TRUE(middle) << std::hex << got.At(515, 410);

  // Deleting the graph that is the draw target leaves the renderer on the screen image.
  EXPECT_EQ(SelectSoftwareTarget(graph), 0);
  EXPECT_EQ(SoftwareTarget, &GetGraphRecord(graph, 0)->memImg);
  EXPECT_EQ(DeleteGraphHandle(graph, 0), 0);
  EXPECT_EQ(SoftwareTarget, GetScreenMemImg());
  // The derived graph keeps the shared pixels alive.
  ASSERT_NE(GetGraphRecord(part, 0), nullptr);
  uint32_t first;
  memcpy(&first, GetGraphRecord(part, 0)->memImg.pixels, 4);
  EXPECT_EQ(first & 0xFFFFFF, texel(4, 2));
  EXPECT_EQ(DeleteGraphHandle(part, 0), 0);
}

// Thick lines off the axes are quads of two flat triangles of the CPU triangle kernel, whose
// corners truncate toward zero and whose spans draw both their ends: every pixel whose centre
// lies more than a pixel inside the quad is lit, none more than two pixels outside it, and
// only inside the draw area. Corners stay within the kernel's range (differences below 8192).
TEST_F(SoftwareDraw, ThickLinesCoverTheirQuad) {
  struct ROW {
    int x1, y1, x2, y2, thickness;
    RECT area;
  };
  const ROW rows[] = {
      {0, 10, 100, 10, 2, {0, 0, 640, 480}},      // the quad from y = 9 to y = 11
      {20, 30, 20, 90, 4, {0, 0, 640, 480}},      // vertical, even width
      {50, 50, 150, 110, 5, {0, 0, 640, 480}},    // diagonal
      {300, 300, 200, 250, 9, {0, 0, 640, 480}},  // backwards
      {400, 100, 600, 300, 12, {450, 150, 520, 200}},
      {-3000, -3000, 3000, 3000, 6, {200, 200, 240, 230}},  // far beyond the screen
      {600, -40, 560, 470, 7, {0, 0, 640, 480}},  // steep, from above the screen
  };
  const uint32_t grey = 0x404040;
  for (const ROW& r : rows) {
    ClearDrawTarget(nullptr);
    ASSERT_EQ(SetDrawClipArea(r.area.left, r.area.top, r.area.right, r.area.bottom), 0);
    EXPECT_EQ(DrawLineSegment(r.x1, r.y1, r.x2, r.y2, Packed(grey), r.thickness), 0);
    double dx = r.x2 - r.x1, dy = r.y2 - r.y1, length = std::sqrt(dx * dx + dy * dy);
    int lit = 0, wrong = 0;
    for (int y = 0; y < 480; y++)
      for (int x = 0; x < 640; x++) {
        uint32_t v = ScreenPixel(x, y);
        double cx = x + 0.5 - r.x1, cy = y + 0.5 - r.y1;
        double along = (cx * dx + cy * dy) / length, across = std::fabs(cx * dy - cy * dx) / length;
        bool inArea = x >= r.area.left && x < r.area.right && y >= r.area.top && y < r.area.bottom;
        bool inside = along > 1 && along < length - 1 && across < r.thickness * 0.5 - 1;
        bool outside = along < -2 || along > length + 2 || across > r.thickness * 0.5 + 2;
        if (v != 0) lit++;
        if ((v != 0 && v != grey) || (v != 0 && (!inArea || outside)) || (v == 0 && inArea && inside)) {
          if (wrong++ < 5) ADD_FAILURE() << "row " << r.x1 << "," << r.y1 << " pixel " << x << "," << y << " " << v;
        }
      }
    EXPECT_GT(lit, 0) << "row " << r.x1 << "," << r.y1;
  }
  // The first row is the box (0, 9)-(101, 11): the spans' right ends reach one column past
  // the device's box (0, 9)-(100, 11), and the bottom row is not drawn.
  ClearDrawTarget(nullptr);
  SetDrawClipArea(0, 0, 640, 480);
  DrawLineSegment(0, 10, 100, 10, Packed(grey), 2);
  for (int y = 7; y < 14; y++)
    for (int x = 0; x < 103; x++)
      ASSERT_EQ(ScreenPixel(x, y), (x <= 100 && y >= 9 && y < 11) ? grey : 0u) << x << "," << y;
  // An empty draw area draws nothing.
  SetDrawClipArea(10, 10, 10, 50);
  EXPECT_EQ(DrawLineSegment(0, 0, 50, 30, Packed(grey), 5), 0);
  SetDrawClipArea(0, 0, 640, 480);
  EXPECT_EQ(ScreenPixel(10, 6), 0u);
}

// A graph on four corners is two textured triangles: turned a quarter clockwise, mirrored
// and at its own size every texel lands on its own pixel, the transparent colour is skipped
// and the blend mode applies; a thick line beside it covers its quad. Read back from the window.
TEST_F(SoftwareDraw, RotatedGraphAndThickLineReadBackFromTheWindow) {
  const auto texel = GraphTexel;
  HANDLE_VALUE graph = MakeTexelGraph();
  ASSERT_NE(graph, -1);
  ASSERT_FALSE(GetGraphRecord(graph, 0)->imageSet->desc.heldAsTextures);

  DrawFilledBox(0, 80, 640, 200, Packed(kWhite));
  // Corners in the public order: top-left, top-right, bottom-right, bottom-left.
  EXPECT_EQ(DrawGraphQuad(graph, 108, 100, 108, 116, 100, 116, 100, 100, 1, 0), 0);  // a quarter turn
  EXPECT_EQ(DrawGraphQuad(graph, 146, 100, 130, 100, 130, 108, 146, 108, 0, 0), 0);  // mirrored
  EXPECT_EQ(DrawGraphQuadF(160.0f, 100.9f, 176.7f, 100.0f, 176.0f, 108.0f, 160.0f, 108.5f, graph, 0), 0);
  SelectBlendMode(1, 128);
  EXPECT_EQ(DrawGraphQuad(graph, 200, 100, 216, 100, 216, 108, 200, 108, 0, 0), 0);
  SelectBlendMode(0, 0);
  EXPECT_EQ(DrawLineSegment(300, 100, 340, 170, Packed(kGreen), 7), 0);
  ASSERT_EQ(FlipScreenBuffers(), 0);
  PICTURE got = ReadWindow(WindowState.mainWindow, READ_FROM_WINDOW_DC);

  EXPECTED want(640, 480);
  want.Box(0, 80, 640, 200, kWhite);
  for (int y = 0; y < 8; y++)
    for (int x = 0; x < 16; x++) {
      if (texel(x, y) != 0) want.Lit(108 - y, 100 + x, texel(x, y));  // u = row, v = 108 - column
      want.Lit(146 - x, 100 + y, texel(x, y));
      want.Lit(160 + x, 100 + y, texel(x, y));
      // Alpha blend at 128 onto white, channel by channel; both triangles draw the pixels of
      // their shared edge (from (216, 100) to (200, 108)), which blend twice.
      const bool shared = x + 2 * y == 16;
      uint32_t blended = 0;
      for (int shift = 0; shift < 24; shift += 8) {
        int d = 255;
        for (int pass = 0; pass < (shared ? 2 : 1); pass++) d = (d * 256 + ((int)(texel(x, y) >> shift & 0xFF) - d) * 128) >> 8;
        blended |= (uint32_t)d << shift;
      }
      want.Lit(200 + x, 100 + y, blended);
    }
  EXPECT_EQ(Differences(got, want.picture, 90, 90, 230, 125), "");
  int wrong = 0, lit = 0;
  const double dx = 40, dy = 70, length = std::sqrt(dx * dx + dy * dy);
  for (int y = 90; y < 180; y++)
    for (int x = 280; x < 360; x++) {
      const double cx = x + 0.5 - 300, cy = y + 0.5 - 100;
      const double along = (cx * dx + cy * dy) / length, across = std::fabs(cx * dy - cy * dx) / length;
      const bool inside = along > 1 && along < length - 1 && across < 2.5;
      const bool outside = along < -2 || along > length + 2 || across > 5.5;
      const uint32_t v = got.At(x, y);
      lit += v == kGreen;
      if ((inside && v != kGreen) || (outside && v == kGreen) || (v != kGreen && v != kWhite))
        if (wrong++ < 5) ADD_FAILURE() << "line pixel " << x << "," << y << " " << std::hex << v;
    }
  EXPECT_GT(lit, 400);
  EXPECT_EQ(DeleteGraphHandle(graph, 0), 0);
}

// Text in software mode: the default font's glyphs come from its memory cache and are
// written into the screen image, straight or through the work image when blended, only
// inside the measured box and the draw area, covering the same pixels in every blend mode.
TEST_F(SoftwareDraw, TextLightsPixelsOnlyInsideItsBox) {
  const char* text = "Wjg 123";
  const uint32_t background = 0x204060;
  struct ROW {
    const char* name;
    int mode, param;
    RECT area;
    uint32_t color;
    int vertical;
  };
  const RECT all = {0, 0, 640, 480}, cut = {105, 45, 125, 52};
  const ROW rows[] = {
      {"copy", 0, 0, all, kWhite, 0},
      {"alpha 255", 1, 255, all, kWhite, 0},
      {"half alpha", 1, 128, all, kWhite, 0},
      {"add", 2, 255, all, kWhite, 0},
      {"black at half alpha", 1, 128, all, 0x000000, 0},  // black is the work image's first key
      {"cut by the area", 0, 0, cut, kWhite, 0},
      {"blended, cut by the area", 1, 128, cut, kWhite, 0},
      {"vertical", 0, 0, all, kWhite, 1},
      {"vertical at half alpha", 1, 128, all, kWhite, 1},
  };
  int fullCount[2] = {-1, -1};  // horizontal, vertical
  for (const ROW& r : rows) {
    SelectBlendMode(0, 0);
    ClearDrawTarget(nullptr);
    DrawFilledBox(0, 0, 640, 480, Packed(background));
    ASSERT_EQ(SetDrawClipArea(r.area.left, r.area.top, r.area.right, r.area.bottom), 0);
    SelectBlendMode(r.mode, r.param);
    if (r.vertical) EXPECT_EQ(DrawTextWithFont(100, 40, text, Packed(r.color), GetDefaultFontHandle(), 0, 1), 0);
    else EXPECT_EQ(DrawFormattedText(100, 40, Packed(r.color), "%s", text), 0) << r.name;
    SelectBlendMode(0, 0);
    SetDrawClipArea(0, 0, 640, 480);
    const FONT_RECORD* font = GetFontRecord(GetDefaultFontHandle());
    ASSERT_NE(font, nullptr);
    ASSERT_EQ(font->textureCache, 0);
    int size[2];
    int width = LayoutAndDrawText(0, 0, 0, 0, 1.0, 1.0, text, 0, nullptr, nullptr, 1, GetDefaultFontHandle(), 0, -1,
                                  r.vertical, size);
    ASSERT_GT(width, 20);
    // The line moves up (vertical: left) by half the font's top offset.
    int half = font->topOffset / 2;
    RECT box = r.vertical ? RECT{100 - half, 40, 100 - half + size[0], 40 + size[1]}
                          : RECT{100, 40 - half, 100 + size[0], 40 - half + size[1]};
    ClipRectToRect(&box, &r.area);
    int changed = 0, full = 0;
    for (int y = 0; y < 120; y++)
      for (int x = 0; x < 300; x++) {
        uint32_t v = ScreenPixel(x, y);
        if (v == background) continue;
        changed++;
        full += v == r.color;
        bool inside = x >= box.left && x < box.right && y >= box.top && y < box.bottom;
        ASSERT_TRUE(inside) << r.name << ": " << x << "," << y;
      }
    EXPECT_GT(changed, 0) << r.name;
    if (r.mode != 1 || r.param == 255) EXPECT_EQ(full, changed) << r.name;
    else EXPECT_EQ(full, 0) << r.name;  // blended at half: never the whole text colour
    // The whole string lights the same pixels whatever the blend mode.
    if (r.area.right == 640) {
      if (fullCount[r.vertical] < 0) fullCount[r.vertical] = changed;
      EXPECT_EQ(changed, fullCount[r.vertical]) << r.name;
    }
  }
}

// An antialiased font is blended through the alpha work image: grey levels give pixels
// between the background and the text colour, and nothing lands outside the box.
TEST_F(SoftwareDraw, AntialiasedTextBlendsItsGreyLevels) {
  FONT_CREATE_OPTIONS options = {0, 0, 0};
  HANDLE_VALUE font = MakeFontHandle(&options, nullptr, 20, -1, 2, -1, -1, 0, -1, 0);
  ASSERT_NE(font, -1);
  DrawFilledBox(0, 0, 640, 480, Packed(0x000000));
  EXPECT_EQ(DrawTextWithFont(50, 50, "Osa", Packed(kWhite), font, 0, 0), 0);
  int size[2];
  int width = LayoutAndDrawText(0, 0, 0, 0, 1.0, 1.0, "Osa", 0, nullptr, nullptr, 1, font, 0, -1, 0, size);
  int top = 50 - GetFontRecord(font)->topOffset / 2;
  int partial = 0, solid = 0;
  for (int y = 0; y < 120; y++)
    for (int x = 0; x < 200; x++) {
      uint32_t v = ScreenPixel(x, y);
      if (v == 0) continue;
      ASSERT_TRUE(x >= 50 && x < 50 + width && y >= top && y < top + size[1]) << x << "," << y;
      EXPECT_EQ(v & 0xFF, v >> 16 & 0xFF) << "grey: " << x << "," << y;
      if ((v & 0xFF) >= 0xEE) solid++;
      else partial++;
    }
  EXPECT_GT(solid, 0);
  EXPECT_GT(partial, 0);
  EXPECT_EQ(DeleteHandle(font), 0);
}

// With mask drawing on, software draws go to the mask image and come back to the screen only
// where the mask byte is 0: a closed column keeps its pixels under boxes, thick lines, graphs
// and text (plain and blended).
TEST_F(SoftwareDraw, MaskedDrawingLeavesClosedPixelsAlone) {
  ASSERT_EQ(CreateMaskScreen(1), 0);
  const RECT all = {0, 0, 640, 480}, closed = {50, 0, 60, 480};
  FillMaskScreenRect(&all, 0);
  FillMaskScreenRect(&closed, 1);
  ASSERT_EQ(EnableMaskDrawing(1), 0);
  EXPECT_EQ(SoftwareTarget, &MaskState.softwareImage);
  RASTER_IMAGE image;
  ASSERT_EQ(AllocXRGB8Image(30, 10, &image), 0);
  for (int y = 0; y < 10; y++)
    for (int x = 0; x < 30; x++) ((uint32_t*)((uint8_t*)image.pixels + y * image.pitch))[x] = 0xFF0000FFu;
  HANDLE_VALUE graph = BuildGraphFromBaseImage(&image, nullptr, 0);
  DisposeImage(&image);
  ASSERT_NE(graph, -1);
  EXPECT_EQ(DrawFilledBox(40, 10, 70, 20, Packed(kRed)), 0);
  EXPECT_EQ(DrawLineSegment(40, 30, 70, 50, Packed(kGreen), 4), 0);
  EXPECT_EQ(DrawGraphAt(40, 55, graph, 0), 0);
  EXPECT_EQ(DrawFormattedText(40, 80, Packed(kWhite), "MMMMMM"), 0);
  SelectBlendMode(1, 128);
  EXPECT_EQ(DrawFormattedText(40, 110, Packed(kWhite), "MMMMMM"), 0);
  SelectBlendMode(0, 0);
  EXPECT_EQ(EnableMaskDrawing(0), 0);
  EXPECT_EQ(SoftwareTarget, GetScreenMemImg());
  FillMaskScreenRect(&all, 0);
  EXPECT_EQ(DeleteGraphHandle(graph, 0), 0);

  EXPECT_EQ(ScreenPixel(45, 15), kRed);
  EXPECT_EQ(ScreenPixel(65, 15), kRed);
  EXPECT_EQ(ScreenPixel(45, 60), kBlue);
  EXPECT_EQ(ScreenPixel(65, 60), kBlue);
  int open[4] = {0, 0, 0, 0};  // lit pixels of the line and the two texts left or right of the column
  for (int y = 0; y < 140; y++)
    for (int x = 30; x < 120; x++) {
      uint32_t v = ScreenPixel(x, y);
      if (x >= closed.left && x < closed.right) {
        ASSERT_EQ(v, 0u) << x << "," << y;
        continue;
      }
      if (v == 0) continue;
      if (y >= 25 && y < 55) open[0]++;
      else if (y >= 70 && y < 100) open[1]++;
      else if (y >= 100) open[2]++;
    }
  EXPECT_GT(open[0], 0);
  EXPECT_GT(open[1], 0);
  EXPECT_GT(open[2], 0);
}

// A software graph is filled in its own pixel format, whatever the screen's: an RGB565 graph
// on a 32-bit screen gets the RGB565 code of the colour over all of it, and the draw area,
// blend mode and brightness do not touch the fill.
TEST_F(SoftwareDraw, FillGraphWithColorPacksInTheGraphsOwnFormat) {
  GRAPH_CREATE_PARAM param;
  CaptureGraphCreateParam(&param);
  param.colorBits = 16;
  HANDLE_VALUE graph = CreateBlankGraph(&param, 20, 10, 0, 0, 0);
  ASSERT_NE(graph, -1);
  GRAPH_RECORD* g = GetGraphRecord(graph, 0);
  ASSERT_EQ(g->memImg.store->pixelType, MEMIMG_TYPE_RGB565);
  EXPECT_EQ(g->imageSet->formatIndex, 27);
  SetDrawClipArea(0, 0, 2, 2);
  SelectBlendMode(1, 128);
  SelectDrawBrightness(10, 10, 10);
  EXPECT_EQ(FillGraphWithColor(graph, 300, -5, 128, 64, 0), 0);
  for (int y = 0; y < 10; y++)
    for (int x = 0; x < 20; x++) {
      uint16_t v;
      memcpy(&v, g->memImg.pixels + y * g->memImg.store->pitch + x * 2, 2);
      ASSERT_EQ(v, 0xF810) << x << "," << y;  // (255, 0, 128) as RGB565
    }
  EXPECT_EQ(FillGraphWithColor(-1, 0, 0, 0, 0, 0), -1);
  EXPECT_EQ(DeleteGraphHandle(graph, 0), 0);
}

// A palette graph hides the palette index of the transparent colour (black) and nothing else,
// whether the blit is whole (run table) or cut by the draw area (pixel by pixel): index 255
// shows.
TEST_F(SoftwareDraw, PaletteGraphsHideTheKeyIndexWholeAndClipped) {
  RASTER_IMAGE image = {};
  InitPaletteFormat(&image.format);
  memset(image.format.palette, 0, sizeof image.format.palette);
  for (int i = 0; i < 256; i++) {  // red i, blue 1: no entry but the key is black
    image.format.palette[i][2] = (uint8_t)i;
    image.format.palette[i][0] = 1;
  }
  image.format.palette[3][2] = image.format.palette[3][0] = 0;  // the key: black
  image.format.palette[255][1] = 255;                            // yellow
  image.format.palette[255][0] = 0;
  image.width = 16, image.height = 4, image.pitch = 16;
  std::vector<uint8_t> pixels(64);
  for (int y = 0; y < 4; y++)
    for (int x = 0; x < 16; x++) pixels[(size_t)y * 16 + x] = (uint8_t)(x % 4 == 0 ? 3 : x % 4 == 1 ? 255 : 7);
  image.pixels = pixels.data();
  HANDLE_VALUE graph = BuildGraphFromBaseImage(&image, nullptr, 0);
  ASSERT_NE(graph, -1);
  ASSERT_EQ(GetGraphRecord(graph, 0)->memImg.store->paletteFlag, 1);
  auto want = [](int x) { return x % 4 == 0 ? kWhite : x % 4 == 1 ? kYellow : 0x070001u; };

  DrawFilledBox(0, 0, 640, 480, Packed(kWhite));
  EXPECT_EQ(DrawGraphAt(10, 10, graph, 1), 0);
  ASSERT_EQ(SetDrawClipArea(42, 0, 640, 480), 0);  // cuts the first two columns
  EXPECT_EQ(DrawGraphAt(40, 10, graph, 1), 0);
  ASSERT_EQ(SetDrawClipArea(0, 0, 640, 480), 0);
  for (int y = 0; y < 4; y++)
    for (int x = 0; x < 16; x++) {
      EXPECT_EQ(ScreenPixel(10 + x, 10 + y), want(x)) << "whole " << x << "," << y;
      EXPECT_EQ(ScreenPixel(40 + x, 10 + y), x < 2 ? kWhite : want(x)) << "clipped " << x << "," << y;
    }
  EXPECT_EQ(DeleteGraphHandle(graph, 0), 0);
}

// A border blend graph in software: its weight table decides per pixel, read from the screen.
TEST_F(SoftwareDraw, ABorderBlendGraphShowsTheGraphWhereItReachesTheBorder) {
  ExpectBorderBlends([this]() { SetUp(); }, [](int x, int y) { return ScreenPixel(x, y); });
}

// Clearing in software mode cuts the rectangle to the target image and fills the rest of it.
TEST_F(SoftwareDraw, ClearDrawTargetClipsItsRectangle) {
  DrawFilledBox(0, 0, 640, 480, Packed(kRed));
  const RECT beyond = {600, 400, 5000, 5000};
  EXPECT_EQ(ClearDrawTarget(&beyond), 0);
  EXPECT_EQ(ScreenPixel(599, 479), kRed);
  EXPECT_EQ(ScreenPixel(600, 400), 0u);
  EXPECT_EQ(ScreenPixel(639, 479), 0u);
  EXPECT_EQ(ScreenPixel(639, 399), kRed);
  const RECT negative = {-5, 0, 10, 10};  // a negative corner means the whole target
  EXPECT_EQ(ClearDrawTarget(&negative), 0);
  EXPECT_EQ(ScreenPixel(300, 300), 0u);
}

// The packed brightness setter keeps 24 bits, tints the renderer and flags a change only when
// the value differs.
TEST_F(SoftwareDraw, PackedBrightnessReachesTheRenderer) {
  StateFlags.stateChanged = 0;
  EXPECT_EQ(SetDrawBrightPacked(0xAB808080), 0);
  EXPECT_EQ(DrawSettings.brightness, 0x808080u);
  EXPECT_EQ(MemImgDrawState.tint, 0x808080u);
  EXPECT_EQ(StateFlags.stateChanged, 1);
  StateFlags.stateChanged = 0;
  EXPECT_EQ(SetDrawBrightPacked(0x00808080), 0);
  EXPECT_EQ(StateFlags.stateChanged, 0);
  DrawFilledBox(0, 0, 2, 2, Packed(kWhite));
  EXPECT_EQ(ScreenPixel(0, 0), 0x7F7F7Fu);  // 255 x 128 >> 8 on each channel
  EXPECT_EQ(SetDrawBrightPacked(0xFFFFFF), 0);
  EXPECT_EQ(MemImgDrawState.tint, 0xFFFFFFu);
}
}  // namespace

// A graph as the software draw target: drawing and clearing reach its image only, a graph
// with an alpha channel is refused leaving the target, and a rectangle of the target copies
// into another graph's image.
TEST_F(SoftwareDraw, GraphTargetsDrawClearAndCopy) {
  GRAPH_CREATE_PARAM param;
  CaptureGraphCreateParam(&param);
  param.drawable = 1;
  HANDLE_VALUE graph = CreateBlankGraph(&param, 40, 30, 0, 0, 0), dest = CreateBlankGraph(&param, 20, 10, 0, 0, 0);
  param.drawableAlpha = 1;
  HANDLE_VALUE withAlpha = CreateBlankGraph(&param, 40, 30, 0, 0, 0);
  ASSERT_NE(graph, -1);
  ASSERT_NE(dest, -1);
  ASSERT_NE(withAlpha, -1);
  auto pixel = [](HANDLE_VALUE handle, int x, int y) {
    const MEMIMG& m = GetGraphRecord(handle, 0)->memImg;
    uint32_t v;
    memcpy(&v, m.pixels + y * m.store->pitch + x * 4, 4);
    return v & 0xFFFFFF;
  };
  DrawFilledBox(0, 0, 640, 480, Packed(kGreen));
  ASSERT_EQ(SelectDrawTarget(graph), 0);
  EXPECT_EQ(DrawSettings.drawArea.right, 40);
  EXPECT_EQ(DrawSettings.drawArea.bottom, 30);
  DrawFilledBox(0, 0, 40, 30, Packed(kBlue));
  DrawFilledBox(5, 5, 15, 10, Packed(kRed));
  EXPECT_EQ(SelectDrawTarget(withAlpha), -1);
  EXPECT_EQ(DrawSettings.drawTarget, graph);
  const RECT part = {30, 20, 40, 30};
  EXPECT_EQ(ClearDrawTarget(&part), 0);
  struct {
    int x, y;
    uint32_t color;
  } rows[] = {{5, 5, kRed}, {14, 9, kRed}, {15, 9, kBlue}, {4, 5, kBlue}, {29, 19, kBlue}, {30, 20, 0}, {39, 29, 0}};
  for (const auto& row : rows) EXPECT_EQ(pixel(graph, row.x, row.y), row.color) << row.x << "," << row.y;
  EXPECT_EQ(ScreenPixel(5, 5), kGreen);
  EXPECT_EQ(ScreenPixel(39, 29), kGreen);
  // The red box with a blue column either side lands at (2, 3) of the destination.
  EXPECT_EQ(CopyScreenRectToGraph(graph, 4, 5, 16, 10, 2, 3, dest), 0);
  EXPECT_EQ(CopyScreenRectToGraph(graph, 4, 5, 16, 10, 9, 3, dest), -1);  // past the width
  EXPECT_EQ(CopyScreenRectToGraph(graph, 4, 5, 41, 10, 0, 0, dest), -1);  // past the source
  for (int x = 0; x < 20; x++) {
    uint32_t want = x == 2 || x == 13 ? kBlue : x > 2 && x < 13 ? kRed : 0;
    EXPECT_EQ(pixel(dest, x, 5), want) << x;
  }
  EXPECT_EQ(pixel(dest, 5, 2), 0u);
  EXPECT_EQ(pixel(dest, 5, 8), 0u);
  ASSERT_EQ(SelectDrawTarget(-2), 0);
  EXPECT_EQ(DrawSettings.drawArea.right, 640);
  DeleteGraphHandle(graph, 0);
  DeleteGraphHandle(dest, 0);
  DeleteGraphHandle(withAlpha, 0);
}
