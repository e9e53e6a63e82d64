// Draw targets on Wine's real device: drawing into drawable graphs read back by drawing the
// graph onto the back screen, the draw area following the target's size, refused targets,
// clearing a graph target, and the rectangle copies into graphs with their bounds checks.
#include <gtest/gtest.h>

#include <string>

#include "graphics/device/device_resources.h"
#include "graphics/draw/draw_target.h"
#include "graphics/graphs/graph_create.h"
#include "graphics/graphs/graph_handles.h"
#include "graphics/draw/screen_lock.h"
#include "graphics/lifecycle/device_restore.h"
#include "read_back.h"
#include "real_device.h"

namespace {
const uint32_t kRed = 0xFF0000, kGreen = 0x00FF00, kBlue = 0x0000FF;

class DrawTargetTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { StartRealDevice(); }
  static void TearDownTestSuite() { EndRealDevice(); }
  void SetUp() override { ResetDrawing(); }
  void TearDown() override {
    UnlockDrawScreenImage();
    ResetDrawing();
  }
};

int MakeGraph(int width, int height, int drawable, int depth = 0, int samples = 0) {
  GRAPH_CREATE_PARAM param;
  CaptureGraphCreateParam(&param);
  param.drawable = drawable;
  param.depthBuffer = depth;
  param.colorBits = 32;
  param.multiSampleCount = samples;
  return CreateBlankGraph(&param, width, height, 0, 0, 0);
}

// Fills a graph with a colour by drawing into it as the target.
void FillGraph(int graph, int width, int height, uint32_t color) {
  ASSERT_EQ(SelectDrawTarget(graph), 0);
  ASSERT_EQ(DrawRectangle(0, 0, width, height, Packed(color), 1), 0);
}

// The graph drawn at (x, y) on the cleared back screen, presented and read back.
PICTURE ShowGraph(int graph, int x, int y) {
  ResetDrawing();
  EXPECT_EQ(DrawGraphAt(x, y, graph, 0), 0);
  return FlipAndRead();
}

TEST_F(DrawTargetTest, BoxDrawnIntoGraphReadsBackExactly) {
  // A plain drawable graph and a multisampled one, which is resolved when the target changes.
  for (int samples : {0, 4}) {
    int graph = MakeGraph(64, 32, 1, 0, samples);
    ASSERT_GE(graph, 0) << samples;
    FillGraph(graph, 64, 32, kBlue);
    EXPECT_EQ(DrawSettings.drawTarget, graph);
    ASSERT_EQ(DrawRectangle(10, 5, 30, 15, Packed(kRed), 1), 0);
    PICTURE p = ShowGraph(graph, 100, 200);
    ASSERT_EQ(p.width, 640);
    auto box = [](int x, int y) { return x >= 110 && x < 130 && y >= 205 && y < 215; };
    if (samples == 0) {
      EXPECT_EQ(Mismatches(p, kRed, 90, 190, 180, 250, box), "");
      EXPECT_EQ(p.Count(kBlue, 100, 200, 164, 232), 64 * 32 - 20 * 10);
    } else {
      // Multisampled edges run through pixel centres and blend on every side (the box's
      // ring 110-130 x 205-215 and the graph's border); the rest is exact.
      EXPECT_EQ(p.Count(kRed, 111, 206, 130, 215), 19 * 9);
      EXPECT_EQ(p.Count(kBlue, 101, 201, 163, 231), 62 * 30 - 21 * 11);
    }
    EXPECT_EQ(p.Count(0, 0, 0, 640, 480), 640 * 480 - 64 * 32) << samples;
    DeleteGraphHandle(graph, 0);
  }
}

TEST_F(DrawTargetTest, DrawAreaFollowsTargetSize) {
  int a = MakeGraph(256, 256, 1), b = MakeGraph(256, 256, 1);
  ASSERT_GE(a, 0);
  ASSERT_GE(b, 0);
  ASSERT_EQ(SelectDrawTarget(a), 0);
  EXPECT_EQ(DrawSettings.targetWidth, 256);
  EXPECT_EQ(DrawSettings.drawArea.right, 256);
  EXPECT_EQ(DrawSettings.drawArea.bottom, 256);
  SetDrawClipArea(10, 20, 100, 120);
  ASSERT_EQ(SelectDrawTarget(b), 0);  // same size: the area is kept
  EXPECT_EQ(DrawSettings.drawArea.left, 10);
  EXPECT_EQ(DrawSettings.drawArea.top, 20);
  EXPECT_EQ(DrawSettings.drawArea.right, 100);
  EXPECT_EQ(DrawSettings.drawArea.bottom, 120);
  // The kept area clips what is drawn into the second graph.
  ASSERT_EQ(DrawRectangle(0, 0, 256, 256, Packed(kGreen), 1), 0);
  ASSERT_EQ(SelectDrawTarget(-2), 0);
  EXPECT_EQ(DrawSettings.drawArea.right, 640);
  EXPECT_EQ(DrawSettings.drawArea.bottom, 480);
  PICTURE p = ShowGraph(b, 0, 0);
  EXPECT_EQ(Mismatches(p, kGreen, 0, 0, 300, 300, [](int x, int y) { return x >= 10 && x < 100 && y >= 20 && y < 120; }),
            "");
  DeleteGraphHandle(a, 0);
  DeleteGraphHandle(b, 0);
}

TEST_F(DrawTargetTest, RefusedTargetsKeepTargetAndArea) {
  int drawable = MakeGraph(32, 32, 1), plain = MakeGraph(32, 32, 0), loading = MakeGraph(16, 16, 1);
  ASSERT_GE(drawable, 0);
  ASSERT_GE(plain, 0);
  ASSERT_GE(loading, 0);
  GRAPH_RECORD* record = GetGraphRecord(loading, 0);
  ASSERT_NE(record, nullptr);
  record->head.pendingLoads = 1;
  int deleted = MakeGraph(8, 8, 1);
  DeleteGraphHandle(deleted, 0);
  ASSERT_EQ(SelectDrawTarget(drawable), 0);
  SetDrawClipArea(2, 3, 20, 21);
  struct {
    const char* name;
    int handle;
  } rows[] = {{"not drawable", plain}, {"still loading", loading}, {"deleted", deleted},
              {"invalid value", 12345}, {"-1", -1},              {"-6", -6}};
  for (const auto& row : rows) {
    EXPECT_EQ(SelectDrawTarget(row.handle), -1) << row.name;
    EXPECT_EQ(DrawSettings.drawTarget, drawable) << row.name;
    EXPECT_EQ(DrawSettings.targetWidth, 32) << row.name;
    RECT area = DrawSettings.drawArea;
    EXPECT_EQ(std::to_string(area.left) + "," + std::to_string(area.top) + "," + std::to_string(area.right) + "," +
                  std::to_string(area.bottom),
              "2,3,20,21")
        << row.name;
  }
  // Drawing still reaches the old target.
  ASSERT_EQ(DrawRectangle(0, 0, 32, 32, Packed(kRed), 1), 0);
  PICTURE p = ShowGraph(drawable, 0, 0);
  EXPECT_EQ(Mismatches(p, kRed, 0, 0, 40, 40, [](int x, int y) { return x >= 2 && x < 20 && y >= 3 && y < 21; }), "");
  record->head.pendingLoads = 0;
  DeleteGraphHandle(drawable, 0);
  DeleteGraphHandle(plain, 0);
  DeleteGraphHandle(loading, 0);
}

TEST_F(DrawTargetTest, ClearingGraphTargetClearsOnlyTheGraph) {
  // Multisampled: the clear reaches the surface drawn into, which the resolve copies out.
  for (int samples : {0, 4}) {
    int graph = MakeGraph(32, 32, 1, 0, samples);
    ASSERT_GE(graph, 0);
    ResetDrawing();
    ASSERT_EQ(DrawRectangle(0, 0, 640, 480, Packed(kGreen), 1), 0);
    FillGraph(graph, 32, 32, kRed);
    RECT part = {8, 8, 16, 24};
    ASSERT_EQ(ClearDrawTarget(&part), 0);
    ASSERT_EQ(SelectDrawTarget(-2), 0);
    ASSERT_EQ(DrawGraphAt(100, 100, graph, 0), 0);
    PICTURE p = FlipAndRead();
    auto inCleared = [](int x, int y) { return x >= 108 && x < 116 && y >= 108 && y < 124; };
    EXPECT_EQ(Mismatches(p, 0, 102, 102, 130, 130, inCleared), "") << samples;
    EXPECT_EQ(Mismatches(p, kRed, 102, 102, 130, 130, [&](int x, int y) { return !inCleared(x, y); }), "") << samples;
    EXPECT_EQ(p.Count(kGreen, 0, 0, 640, 480), 640 * 480 - 32 * 32) << samples;
    // The whole graph.
    ASSERT_EQ(SelectDrawTarget(graph), 0);
    ASSERT_EQ(ClearDrawTarget(nullptr), 0);
    p = ShowGraph(graph, 100, 100);
    EXPECT_EQ(p.Count(0, 0, 0, 640, 480), 640 * 480) << samples;
    DeleteGraphHandle(graph, 0);
  }
}

// A 64 x 48 source graph: four 32 x 24 quarters red, green, blue and white.
int MakeQuarteredSource() {
  int graph = MakeGraph(64, 48, 1);
  if (graph < 0) return -1;
  SelectDrawTarget(graph);
  DrawRectangle(0, 0, 32, 24, Packed(kRed), 1);
  DrawRectangle(32, 0, 64, 24, Packed(kGreen), 1);
  DrawRectangle(0, 24, 32, 48, Packed(kBlue), 1);
  DrawRectangle(32, 24, 64, 48, Packed(0xFFFFFF), 1);
  return graph;
}

TEST_F(DrawTargetTest, CopiesIntoDrawableAndPlainGraphsReadBackExactly) {
  int source = MakeQuarteredSource();
  ASSERT_GE(source, 0);
  for (int drawable = 1; drawable >= 0; drawable--) {
    int dest = MakeGraph(40, 40, drawable);
    ASSERT_GE(dest, 0);
    // The rectangle across the four quarters, placed at (4, 6).
    ASSERT_EQ(CopyScreenRectToGraph(source, 24, 16, 40, 32, 4, 6, dest), 0) << "drawable " << drawable;
    PICTURE p = ShowGraph(dest, 200, 100);
    for (int y = 0; y < 40; y++)
      for (int x = 0; x < 40; x++) {
        int sx = x - 4 + 24, sy = y - 6 + 16;
        bool copied = x >= 4 && x < 20 && y >= 6 && y < 22;
        uint32_t want = !copied ? 0 : sy < 24 ? (sx < 32 ? kRed : kGreen) : (sx < 32 ? kBlue : 0xFFFFFF);
        ASSERT_EQ(p.At(200 + x, 100 + y), want) << "drawable " << drawable << " at " << x << "," << y;
      }
    DeleteGraphHandle(dest, 0);
  }
  // From the back screen through the current-target capture.
  int dest = MakeGraph(20, 10, 1);
  ASSERT_GE(dest, 0);
  ResetDrawing();
  ASSERT_EQ(DrawRectangle(300, 200, 310, 210, Packed(kRed), 1), 0);
  ASSERT_EQ(CaptureDrawTargetToGraph(290, 200, 310, 210, dest), 0);
  PICTURE p = ShowGraph(dest, 0, 0);
  EXPECT_EQ(Mismatches(p, kRed, 0, 0, 40, 20, [](int x, int y) { return x >= 10 && x < 20 && y < 10; }), "");
  EXPECT_EQ(CaptureDrawTargetToGraph(290, 200, 311, 210, dest), -1);  // not the graph's size
  DeleteGraphHandle(dest, 0);
  DeleteGraphHandle(source, 0);
}

TEST_F(DrawTargetTest, BadRectanglesAreRefusedAndCopyNothing) {
  int source = MakeQuarteredSource();
  ASSERT_GE(source, 0);
  struct {
    const char* name;
    int x1, y1, x2, y2, tx, ty;
  } rows[] = {
      {"x2 = x1", 4, 4, 4, 8, 0, 0},          {"y2 = y1", 4, 4, 8, 4, 0, 0},
      {"x2 < x1", 8, 4, 4, 8, 0, 0},          {"y2 < y1", 4, 8, 8, 4, 0, 0},
      {"negative x1", -1, 0, 4, 4, 0, 0},     {"negative y1", 0, -1, 4, 4, 0, 0},
      {"x2 past source", 60, 0, 65, 4, 0, 0}, {"y2 past source", 0, 44, 4, 49, 0, 0},
      {"negative tx", 0, 0, 4, 4, -1, 0},     {"negative ty", 0, 0, 4, 4, 0, -1},
      {"past dest width", 0, 0, 4, 4, 13, 0}, {"past dest height", 0, 0, 4, 4, 0, 13},
      {"wider than dest", 0, 0, 17, 4, 0, 0},
  };
  for (int drawable = 1; drawable >= 0; drawable--) {
    int dest = MakeGraph(16, 16, drawable);
    ASSERT_GE(dest, 0);
    ResetDrawing();
    for (const auto& row : rows)
      EXPECT_EQ(CopyScreenRectToGraph(source, row.x1, row.y1, row.x2, row.y2, row.tx, row.ty, dest), -1)
          << row.name << " drawable " << drawable;
    // A rectangle that fits exactly at the far corner is accepted; nothing else was copied.
    EXPECT_EQ(CopyScreenRectToGraph(source, 0, 0, 4, 4, 12, 12, dest), 0) << "drawable " << drawable;
    PICTURE p = ShowGraph(dest, 0, 0);
    EXPECT_EQ(Mismatches(p, kRed, 0, 0, 32, 32, [](int x, int y) { return x >= 12 && x < 16 && y >= 12 && y < 16; }),
              "")
        << "drawable " << drawable;
    DeleteGraphHandle(dest, 0);
  }
  EXPECT_EQ(CopyScreenRectToGraph(source, 0, 0, 4, 4, 0, 0, 12345), -1);
  DeleteGraphHandle(source, 0);
}

// The depth surface the device draws with now.
IDirect3DSurface9* CurrentDepthSurface() {
  IDirect3DSurface9* surface = nullptr;
  DeviceCalls.DeviceGetDepthStencil(&surface);
  if (surface != nullptr) DeviceCalls.ReleaseComObject(surface);
  return surface;
}

TEST_F(DrawTargetTest, ExtraSlotsAndDepthBufferGraph) {
  int drawable = MakeGraph(32, 32, 1), plain = MakeGraph(32, 32, 0), withDepth = MakeGraph(64, 64, 1, 1);
  ASSERT_GE(drawable, 0);
  ASSERT_GE(plain, 0);
  ASSERT_GE(withDepth, 0);
  EXPECT_EQ(SetRenderTargetSlot(-1, drawable), -1);
  EXPECT_EQ(SetRenderTargetSlot(DeviceCaps.renderTargetCount, drawable), -1);
  EXPECT_EQ(SetRenderTargetSlot(0, drawable), 0);
  EXPECT_EQ(DrawSettings.drawTarget, drawable);
  EXPECT_EQ(SetRenderTargetSlot(0, -2), 0);
  if (DeviceCaps.renderTargetCount > 1 && StateFlags.programmableShaders) {
    EXPECT_EQ(SetRenderTargetSlot(1, plain), -1);
    EXPECT_EQ(SetRenderTargetSlot(1, drawable), 0);
    EXPECT_EQ(DrawSettings.renderTargetSlots[1], drawable);
    EXPECT_EQ(DeviceStateCache.renderTargets[1], GetGraphTargetSurface(GetGraphRecord(drawable, 0)));
    // A valid graph that cannot be drawn into is refused and leaves the slot as it was.
    EXPECT_EQ(SetRenderTargetSlot(1, plain), -1);
    EXPECT_EQ(DrawSettings.renderTargetSlots[1], drawable);
    EXPECT_EQ(DeviceStateCache.renderTargets[1], GetGraphTargetSurface(GetGraphRecord(drawable, 0)));
    EXPECT_EQ(SetRenderTargetSlot(1, -2), 0);  // not a graph: the slot is emptied
    EXPECT_EQ(DrawSettings.renderTargetSlots[1], 0);
    EXPECT_EQ(DeviceStateCache.renderTargets[1], nullptr);
  }
  IDirect3DSurface9* graphDepth = GetGraphRecord(withDepth, 0)->imageSet->textures[0].depthSurface;
  ASSERT_NE(graphDepth, nullptr);
  struct {
    const char* name;
    int graph, result;
  } rows[] = {{"not drawable", plain, -1}, {"no depth surface", drawable, -1}, {"with depth", withDepth, 0}};
  for (const auto& row : rows) EXPECT_EQ(SelectDepthBufferGraph(row.graph), row.result) << row.name;
  EXPECT_EQ(DrawSettings.depthBufferGraph, withDepth);
  // It serves a target it covers; the larger screen keeps the default depth buffer.
  ASSERT_EQ(SelectDrawTarget(drawable), 0);
  EXPECT_EQ(CurrentDepthSurface(), graphDepth);
  ASSERT_EQ(SelectDrawTarget(-2), 0);
  EXPECT_EQ(CurrentDepthSurface(), DeviceResources.depthBuffer);
  EXPECT_EQ(SelectDepthBufferGraph(-2), 0);
  ASSERT_EQ(SelectDrawTarget(drawable), 0);
  EXPECT_NE(CurrentDepthSurface(), graphDepth);
  DeleteGraphHandle(drawable, 0);
  DeleteGraphHandle(plain, 0);
  DeleteGraphHandle(withDepth, 0);
}
// Deleting a graph that drawing still points at: as the draw target the front screen takes
// its place, a render-target slot holding it is emptied, and as the depth-buffer graph it gives
// way to -2. Drawing then reaches the screen, and a device re-creation selects no dead handle.
TEST_F(DrawTargetTest, DeletedTargetGraphsHandDrawingBackToTheScreen) {
  int target = MakeGraph(64, 32, 1, 1), slotted = MakeGraph(64, 32, 1);
  ASSERT_NE(target, -1);
  ASSERT_NE(slotted, -1);
  ASSERT_EQ(SelectDrawTarget(target), 0);
  ASSERT_EQ(SelectDepthBufferGraph(target), 0);
  int slots = DeviceCaps.renderTargetCount > 1 && StateFlags.programmableShaders;
  if (slots) {
    ASSERT_EQ(SetRenderTargetSlot(1, slotted), 0);
  }
  ASSERT_EQ(DeleteGraphHandle(target, 0), 0);
  EXPECT_EQ(DrawSettings.drawTarget, -4);
  EXPECT_EQ(DrawSettings.depthBufferGraph, -2);
  EXPECT_EQ(DrawSettings.drawArea.right, 640);
  EXPECT_EQ(DrawSettings.drawArea.bottom, 480);
  ASSERT_EQ(DeleteGraphHandle(slotted, 0), 0);
  if (slots) {
    EXPECT_EQ(DrawSettings.renderTargetSlots[1], 0);
    IDirect3DSurface9* second = nullptr;
    Direct3DObjects.device->GetRenderTarget(1, &second);
    EXPECT_EQ(second, nullptr);
    if (second != nullptr) second->Release();
  }
  ASSERT_EQ(RecreateGraphicsDevice(), 0);
  EXPECT_EQ(DrawSettings.drawTarget, -4);
  ASSERT_EQ(SelectDrawTarget(-2), 0);
  ASSERT_EQ(DrawRectangle(10, 10, 20, 20, Packed(kGreen), 1), 0);
  PICTURE p = FlipAndRead();
  ASSERT_GT(p.width, 0);
  EXPECT_EQ(p.At(15, 15), kGreen);
}

// Deleting the draw target and depth-buffer graph while the window is inactive (and the
// program does not run while inactive): the front screen and the default depth buffer take
// their places at once. The deletion holds the graph type's lock meanwhile, so waiting there
// for an activation would hold every loader thread that needs the lock, and a device
// re-creation at the activation would wait for those loaders for ever. A watchdog activates
// the window should the deletion wait after all.
struct WATCHDOG {
  HANDLE done;
  volatile LONG fired;
};
DWORD WINAPI ActivateWhenTheDeletionHangs(void* parameter) {
  WATCHDOG* watchdog = (WATCHDOG*)parameter;
  if (WaitForSingleObject(watchdog->done, 5000) == WAIT_TIMEOUT) {
    InterlockedExchange(&watchdog->fired, 1);
    WindowState.active = 1;
  }
  return 0;
}

TEST_F(DrawTargetTest, DeletingTheTargetOfAnInactiveWindowWaitsForNothing) {
  int target = MakeGraph(64, 32, 1, 1);
  ASSERT_NE(target, -1);
  ASSERT_EQ(SelectDrawTarget(target), 0);
  ASSERT_EQ(SelectDepthBufferGraph(target), 0);
  int runWhileInactive = WindowState.runWhileInactive;
  WindowState.runWhileInactive = 0;
  WindowState.active = 0;
  WATCHDOG watchdog = {CreateEventA(nullptr, TRUE, FALSE, nullptr), 0};
  HANDLE thread = CreateThread(nullptr, 0, ActivateWhenTheDeletionHangs, &watchdog, 0, nullptr);
  ASSERT_NE(thread, nullptr);
  EXPECT_EQ(DeleteGraphHandle(target, 0), 0);
  SetEvent(watchdog.done);
  WaitForSingleObject(thread, INFINITE);
  CloseHandle(thread);
  CloseHandle(watchdog.done);
  WindowState.active = 1;
  WindowState.runWhileInactive = runWhileInactive;
  EXPECT_EQ(watchdog.fired, 0) << "the deletion waited for the window to become active";
  EXPECT_EQ(DrawSettings.drawTarget, -4);
  EXPECT_EQ(DrawSettings.depthBufferGraph, -2);
  EXPECT_EQ(CurrentDepthSurface(), DeviceResources.depthBuffer);
  ASSERT_EQ(SelectDrawTarget(-2), 0);
  ASSERT_EQ(DrawRectangle(4, 4, 8, 8, Packed(kRed), 1), 0);
  PICTURE p = FlipAndRead();
  ASSERT_GT(p.width, 0);
  EXPECT_EQ(p.At(5, 5), kRed);
}
}  // namespace
