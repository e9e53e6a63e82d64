// The filter dispatcher and its pass plumbing on Wine's real device, with Invert as the filter:
// the start-up self-test, refusals, clipping, work targets and where they are needed, the draw
// state around a run, failures that make a run fail, the pool and shader slots across deletion,
// device re-creation and a graphics restart.
#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

#include "../graphics/call_recorder.h"
#include "filter/filter_color.h"
#include "filter/filter_draw_state.h"
#include "filter/filter_images.h"
#include "filter/filter_resources.h"
#include "filter/filter_selftest.h"
#include "filter_test_graphs.h"
#include "graphics/device/device.h"
#include "graphics/device/draw_settings.h"
#include "graphics/device/shader_constants.h"
#include "graphics/device/shader_handles.h"
#include "graphics/device/state_cache.h"
#include "graphics/device/vertex_batch.h"
#include "graphics/graphs/texture_transfer.h"
#include "graphics/lifecycle/device_restore.h"
#include "real_device.h"
#include "read_back.h"
#include "test_support.h"

namespace {
enum { MONO = 0, INVERT = 5 };
const uint32_t kMarker = 0xFF010203;

uint32_t Pattern(int x, int y) { return Argb(255 - (x + y) * 4, x * 13, y * 11, (x * y * 5 + 60) & 0xFF); }
uint32_t Inverted(uint32_t c) { return c ^ 0x00FFFFFF; }
uint32_t InvertedPattern(int x, int y) { return Inverted(Pattern(x, y)); }
uint32_t Marker(int, int) { return kMarker; }

// The start-up self-test's read-back: the last 8 x 8 surface lock, its four diagonal pixels
// as they were when unlocked.
struct SELF_TEST_CAPTURE {
  IDirect3DSurface9* surface = nullptr;
  D3DLOCKED_RECT locked = {};
  uint32_t diagonal[4] = {};
  int captures = 0;
};
SELF_TEST_CAPTURE capture;
DEVICE_CALL_TABLE realCalls;

void InstallSelfTestCapture() {
  realCalls = DeviceCalls;
  DeviceCalls.SurfaceLockRect = [](IDirect3DSurface9* s, D3DLOCKED_RECT* l, const RECT* r, DWORD f) {
    HRESULT hr = realCalls.SurfaceLockRect(s, l, r, f);
    D3DSURFACE_DESC desc = {};
    realCalls.SurfaceGetDesc(s, &desc);
    int w = r != nullptr ? r->right - r->left : (int)desc.Width, h = r != nullptr ? r->bottom - r->top : (int)desc.Height;
    if (SUCCEEDED(hr) && w == 8 && h == 8) capture.surface = s, capture.locked = *l;
    return hr;
  };
  DeviceCalls.SurfaceUnlockRect = [](IDirect3DSurface9* s) {
    if (s == capture.surface) {
      for (int i = 0; i < 4; i++)
        capture.diagonal[i] = *(uint32_t*)((char*)capture.locked.pBits + i * capture.locked.Pitch + i * 4) & 0xFFFFFF;
      capture.captures++;
      capture.surface = nullptr;
    }
    return realCalls.SurfaceUnlockRect(s);
  };
}

// What a filter run must leave as it found it.
struct DRAW_STATE_SNAPSHOT {
  int blendMode, blendParam, alphaTestMode, alphaTestRef, filterMode, zEnable3D, fogEnabled, lightingOff;
  int drawTarget;
  RECT drawArea;
  int viewport[4];
  IDirect3DSurface9* renderTargets[4];
  IDirect3DSurface9* depthStencil;
  ULONG depthReferences;
  std::string Differences(const DRAW_STATE_SNAPSHOT& o) const {
    std::string d;
    auto field = [&](const char* name, long long a, long long b) {
      if (a != b) d += std::string(name) + " " + std::to_string(a) + " -> " + std::to_string(b) + "; ";
    };
    field("blend mode", blendMode, o.blendMode);
    field("blend parameter", blendParam, o.blendParam);
    field("alpha test", alphaTestMode, o.alphaTestMode);
    field("alpha reference", alphaTestRef, o.alphaTestRef);
    field("filter mode", filterMode, o.filterMode);
    field("3D Z", zEnable3D, o.zEnable3D);
    field("fog", fogEnabled, o.fogEnabled);
    field("lighting off", lightingOff, o.lightingOff);
    field("draw target", drawTarget, o.drawTarget);
    field("area left", drawArea.left, o.drawArea.left);
    field("area right", drawArea.right, o.drawArea.right);
    for (int i = 0; i < 4; i++) field("viewport", viewport[i], o.viewport[i]);
    for (int i = 0; i < 4; i++) field("render target", (long long)(UINT_PTR)renderTargets[i], (UINT_PTR)o.renderTargets[i]);
    field("depth surface", (long long)(UINT_PTR)depthStencil, (UINT_PTR)o.depthStencil);
    field("depth references", depthReferences, o.depthReferences);
    return d;
  }
};

DRAW_STATE_SNAPSHOT Snapshot() {
  DRAW_STATE_SNAPSHOT s;
  const DRAW_SETTINGS& d = DrawSettings;
  s.blendMode = d.blendMode, s.blendParam = d.blendParam, s.alphaTestMode = d.alphaTestMode;
  s.alphaTestRef = d.alphaTestRef, s.filterMode = d.filterMode, s.zEnable3D = d.z3D.enable;
  s.fogEnabled = d.fogEnabled, s.lightingOff = d.lights.lightingOff, s.drawTarget = d.drawTarget;
  s.drawArea = d.drawArea;
  const DEVICE_STATE_CACHE& c = DeviceStateCache;
  s.viewport[0] = c.viewportX, s.viewport[1] = c.viewportY, s.viewport[2] = c.viewportWidth;
  s.viewport[3] = c.viewportHeight;
  for (int i = 0; i < 4; i++) s.renderTargets[i] = c.renderTargets[i];
  s.depthStencil = nullptr;
  DeviceCalls.DeviceGetDepthStencil(&s.depthStencil);
  s.depthReferences = 0;
  if (s.depthStencil != nullptr) s.depthReferences = s.depthStencil->Release();
  return s;
}

class FilterRunTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    InstallSelfTestCapture();
    StartRealDevice();
    DeviceCalls = realCalls;
  }
  static void TearDownTestSuite() { EndRealDevice(); }
  void SetUp() override {
    ResetDrawing();
    SetFilterInPlace(1);
  }
  void TearDown() override {
    DeviceCalls = RealDeviceCalls;
    SetGraphFilterCpuOnly(0);
    SetFilterInPlace(1);
    ResetDrawing();
  }
};

TEST_F(FilterRunTest, SelfTestAtStartUpReadsItsColoursBackInvertedAndSetsTheInPlaceFlag) {
  const uint32_t colors[4] = {0xCCA850, 0x8064F5, 0x42DE8F, 0x22FF4E};
  ASSERT_GE(capture.captures, 1);
  for (int i = 0; i < 4; i++) {
    for (int shift = 0; shift < 24; shift += 8) {
      int sum = Channel(colors[i], shift) + Channel(capture.diagonal[i], shift);
      EXPECT_TRUE(sum >= 254 && sum <= 256) << "pixel " << i << " read " << std::hex << capture.diagonal[i];
    }
  }
  EXPECT_EQ(IsFilterInPlace(), 1);

  // A device that draws nothing fails the test: the flag stays clear; a working one sets it.
  DeviceCalls.DeviceDrawPrimitiveUP = [](D3DPRIMITIVETYPE, UINT, const void*, UINT) -> HRESULT { return S_OK; };
  EXPECT_EQ(RunFilterSelfTest(), 0);
  EXPECT_EQ(IsFilterInPlace(), 0);
  DeviceCalls = RealDeviceCalls;
  EXPECT_EQ(RunFilterSelfTest(), 0);
  EXPECT_EQ(IsFilterInPlace(), 1);
}

TEST_F(FilterRunTest, RefusedRequestsReturnMinusOneAndDrawNothing) {
  int graph = MakeGraph(8, 8, Pattern), other = MakeGraph(8, 8, Pattern);
  int gone = MakeGraph(8, 8, Pattern);
  DeleteGraphHandle(gone, 0);
  struct REFUSAL {
    const char* name;
    int blend, source, blendGraph, dest, type, x1, y1, x2, y2;
  } refusals[] = {
      {"deleted source", 0, gone, -1, graph, INVERT, 0, 0, 8, 8},
      {"deleted destination", 0, other, -1, gone, INVERT, 0, 0, 8, 8},
      {"screen as source", 0, -2, -1, graph, INVERT, 0, 0, 8, 8},
      {"empty width", 0, other, -1, graph, INVERT, 4, 0, 4, 8},
      {"reversed height", 0, other, -1, graph, INVERT, 0, 6, 8, 2},
      {"filter type 10", 0, other, -1, graph, 10, 0, 0, 8, 8},
      {"filter type -1", 0, other, -1, graph, -1, 0, 0, 8, 8},
      {"blend without a blend graph", 1, other, gone, graph, 0, 0, 0, 8, 8},
      {"blend type 17", 1, other, other, graph, 17, 0, 0, 8, 8},
  };
  for (const REFUSAL& r : refusals) {
    EXPECT_EQ(ExecuteGraphFilter(r.blend, r.source, r.blendGraph, r.dest, 0, r.type, r.x1, r.y1, r.x2, r.y2, 0, 0, 0,
                                 0, 0),
              -1)
        << r.name;
    EXPECT_EQ(Compare(ReadGraph(graph), Pattern, 0), "") << r.name;
  }
  // The whole-graph entry: a graph whose size cannot be had, and one still loading.
  EXPECT_EQ(ApplyGraphFilter(gone, INVERT), -1);
  EXPECT_EQ(ApplyGraphFilter(-2, INVERT), -1);
  ASSERT_EQ(BeginHandleAsyncLoad(graph, 0), 0);
  EXPECT_EQ(ApplyGraphFilter(graph, INVERT), -1);
  EndHandleAsyncLoad(graph);
  EXPECT_EQ(Compare(ReadGraph(graph), Pattern, 0), "");
  DeleteGraphHandle(graph, 0);
  DeleteGraphHandle(other, 0);
}

// One Invert from a 16 x 16 source into a 16 x 16 destination: the request, and where the
// result lands (dest pixel (x, y) = inverted source pixel (x + dx, y + dy) inside the box).
struct CLIP_CASE {
  const char* name;
  int x1, y1, x2, y2, destX, destY;
  RECT box;
  int dx, dy;
};

const CLIP_CASE kClipCases[] = {
    {"whole graph", 0, 0, 16, 16, 0, 0, {0, 0, 16, 16}, 0, 0},
    {"inner rectangle moved", 2, 3, 10, 12, 5, 1, {5, 1, 13, 10}, -3, 2},
    {"negative x1 moves the destination", -4, 0, 8, 8, 0, 0, {4, 0, 12, 8}, -4, 0},
    {"negative destination moves the source", 0, 0, 8, 8, -3, -2, {0, 0, 5, 6}, 3, 2},
    {"past the source's edge", 10, 10, 30, 30, 0, 0, {0, 0, 6, 6}, 10, 10},
    {"past the destination's edge", 0, 0, 16, 16, 12, 14, {12, 14, 16, 16}, -12, -14},
    {"emptied by clipping", -10, 0, 0, 10, 0, 0, {0, 0, 0, 0}, 0, 0},
    {"destination point outside", 0, 0, 4, 4, 16, 0, {0, 0, 0, 0}, 0, 0},
    {"rectangle beyond the source", 20, 0, 30, 5, 0, 0, {0, 0, 0, 0}, 0, 0},
    // Positions at the ends of the int range move without wrapping around.
    {"x1 at INT_MIN moves the destination past INT_MAX", INT_MIN, 0, 16, 16, 0, 0, {0, 0, 0, 0}, 0, 0},
    {"destination at INT_MIN moves the source past INT_MAX", 0, 0, 16, 16, INT_MIN, INT_MIN, {0, 0, 0, 0}, 0, 0},
    {"x1 at INT_MIN with the destination at INT_MAX", INT_MIN, 0, 8, 8, INT_MAX, 0, {0, 0, 0, 0}, 0, 0},
    {"y1 at INT_MIN with the destination at INT_MAX", 0, INT_MIN, 8, 8, 0, INT_MAX, {0, 0, 0, 0}, 0, 0},
    {"source and destination at INT_MIN both move to 0", INT_MIN, INT_MIN, 16, 16, INT_MIN, INT_MIN, {0, 0, 16, 16}, 0, 0},
    {"the far corner at INT_MAX", 4, 4, INT_MAX, INT_MAX, 0, 0, {0, 0, 12, 12}, 4, 4},
};

TEST_F(FilterRunTest, ClippingPlacesTheResultAndLeavesTheDrawStateAsItWas) {
  // A state far from the filter's own: blending, alpha test, anisotropic sampling, 3D Z test,
  // lighting off, a narrowed draw area on the back screen.
  SelectBlendMode(1, 100);
  SelectAlphaTest(D3DCMP_GREATER, 10);
  SetDrawFilterMode(2);
  SetDepthTest3D(1);
  SetLightingEnabled(0);
  SetDrawClipArea(10, 20, 300, 200);
  for (int shader = 0; shader < 2; shader++) {
    SetGraphFilterCpuOnly(!shader);
    for (const CLIP_CASE& c : kClipCases) {
      int source = MakeGraph(16, 16, Pattern), dest = MakeGraph(16, 16, Marker);
      DRAW_STATE_SNAPSHOT before = Snapshot();
      EXPECT_EQ(ExecuteGraphFilter(0, source, -1, dest, 0, INVERT, c.x1, c.y1, c.x2, c.y2, 0, 0, 0, c.destX, c.destY),
                0)
          << c.name;
      EXPECT_EQ(before.Differences(Snapshot()), "") << c.name;
      auto want = [&](int x, int y) {
        bool in = x >= c.box.left && x < c.box.right && y >= c.box.top && y < c.box.bottom;
        return in ? Inverted(Pattern(x + c.dx, y + c.dy)) : kMarker;
      };
      EXPECT_EQ(Compare(ReadGraph(dest), want, 0), "") << c.name << (shader ? " (shader)" : " (CPU)");
      DeleteGraphHandle(source, 0);
      DeleteGraphHandle(dest, 0);
    }
  }
  SetLightingEnabled(1);
}

TEST_F(FilterRunTest, InPlaceRunsRenderDirectlyOnlyWithTheFlagAndMovedRectanglesUseWorkTargets) {
  static int copies;
  realCalls = DeviceCalls;
  DeviceCalls.DeviceStretchRect = [](IDirect3DSurface9* s, const RECT* sr, IDirect3DSurface9* d, const RECT* dr,
                                     D3DTEXTUREFILTERTYPE f) {
    copies++;
    return realCalls.DeviceStretchRect(s, sr, d, dr, f);
  };
  struct CASE {
    const char* name;
    int inPlace, x1, y1, x2, y2, destX, destY;
    int copiesBack;  // the result reaches the graph through a copy from a work target
  } cases[] = {
      {"whole graph, in-place flag set", 1, 0, 0, 16, 16, 0, 0, 0},
      {"whole graph, in-place flag clear", 0, 0, 0, 16, 16, 0, 0, 1},
      {"moved rectangle, in-place flag set", 1, 10, 10, 16, 16, 0, 0, 1},
  };
  for (const CASE& c : cases) {
    SetFilterInPlace(c.inPlace);
    int graph = MakeGraph(16, 16, Pattern);
    copies = 0;
    ASSERT_EQ(ExecuteGraphFilter(0, graph, -1, graph, 0, INVERT, c.x1, c.y1, c.x2, c.y2, 0, 0, 0, c.destX, c.destY),
              0)
        << c.name;
    EXPECT_EQ(copies > 0, c.copiesBack == 1) << c.name;
    int w = c.x2 - c.x1, h = c.y2 - c.y1;
    auto want = [&](int x, int y) {
      bool in = x >= c.destX && x < c.destX + w && y >= c.destY && y < c.destY + h;
      return in ? Inverted(Pattern(x - c.destX + c.x1, y - c.destY + c.y1)) : Pattern(x, y);
    };
    EXPECT_EQ(Compare(ReadGraph(graph), want, 0), "") << c.name;
    DeleteGraphHandle(graph, 0);
  }
}

TEST_F(FilterRunTest, WorkTargetsCoverTheDestinationAndPieceSourcesAreCopiedFirst) {
  for (int shader = 0; shader < 2; shader++) {
    SetGraphFilterCpuOnly(!shader);
    // A plain texture destination far from the source's size: the work target must reach it.
    int source = MakeGraph(16, 16, Pattern), dest = MakeGraph(64, 64, Marker, 0);
    ASSERT_EQ(ExecuteGraphFilter(0, source, -1, dest, 0, INVERT, 0, 0, 16, 16, 0, 0, 0, 40, 40), 0) << shader;
    EXPECT_EQ(Compare(ReadGraph(dest),
                      [](int x, int y) {
                        return x >= 40 && x < 56 && y >= 40 && y < 56 ? Inverted(Pattern(x - 40, y - 40)) : kMarker;
                      },
                      0),
              "")
        << shader;
    // A graph at an offset of its parent's texture.
    int parent = MakeGraph(32, 32, Pattern, 0), part = CreateDerivedGraph(8, 4, 16, 16, parent);
    int target = MakeGraph(16, 16, Marker);
    ASSERT_GE(part, 0);
    ASSERT_EQ(ExecuteGraphFilter(0, part, -1, target, 0, INVERT, 0, 0, 16, 16, 0, 0, 0, 0, 0), 0) << shader;
    EXPECT_EQ(Compare(ReadGraph(target), [](int x, int y) { return Inverted(Pattern(x + 8, y + 4)); }, 0), "")
        << shader;
    // A destination that is part of a larger render target.
    int sheet = MakeGraph(32, 32, Marker), window = CreateDerivedGraph(8, 4, 16, 16, sheet);
    ASSERT_EQ(ExecuteGraphFilter(0, source, -1, window, 0, INVERT, 0, 0, 16, 16, 0, 0, 0, 0, 0), 0) << shader;
    EXPECT_EQ(Compare(ReadGraph(sheet),
                      [](int x, int y) {
                        return x >= 8 && x < 24 && y >= 4 && y < 20 ? Inverted(Pattern(x - 8, y - 4)) : kMarker;
                      },
                      0),
              "")
        << shader;
    for (int g : {source, dest, part, parent, target, window, sheet}) DeleteGraphHandle(g, 0);
  }
}

TEST_F(FilterRunTest, GraphsOfSeveralTexturesAreReadAndWrittenWhole) {
  // 40 x 24 graphs cut into textures of at most 16 x 16: a rectangle across every seam.
  struct CASE {
    const char* name;
    int sourceTiles, destTiles, destDrawable, inPlace;
  } cases[] = {
      {"a source of several textures", 16, 0, 1, 0},
      {"into a texture graph of several textures", 0, 16, 0, 0},
      {"into a render target of several textures", 0, 16, 1, 0},
      {"several textures on both sides", 16, 16, 0, 0},
      {"in place", 16, 16, 0, 1},
  };
  for (int shader = 0; shader < 2; shader++) {
    SetGraphFilterCpuOnly(!shader);
    for (const CASE& c : cases) {
      int source = MakeGraph(40, 24, Pattern, 0, 1, c.sourceTiles);
      int dest = c.inPlace ? source : MakeGraph(40, 24, Marker, c.destDrawable, 1, c.destTiles);
      ASSERT_GT(TextureCount(c.inPlace ? source : (c.destTiles ? dest : source)), 1) << c.name;
      ASSERT_EQ(ExecuteGraphFilter(0, source, -1, dest, 0, INVERT, 3, 2, 37, 22, 0, 0, 0, c.inPlace ? 3 : 2,
                                   c.inPlace ? 2 : 1),
                0)
          << c.name;
      auto want = [&](int x, int y) {
        int dx = c.inPlace ? 0 : 1, dy = c.inPlace ? 0 : 1;  // the destination point is (2, 1) when moved
        int sx = x + dx, sy = y + dy;
        bool in = sx >= 3 && sx < 37 && sy >= 2 && sy < 22;
        return in ? Inverted(Pattern(sx, sy)) : c.inPlace ? Pattern(x, y) : kMarker;
      };
      EXPECT_EQ(Compare(ReadGraph(dest), want, 0), "") << c.name << (shader ? " (shader)" : " (CPU)");
      DeleteGraphHandle(source, 0);
      if (!c.inPlace) DeleteGraphHandle(dest, 0);
    }
  }
}

TEST_F(FilterRunTest, AWorkTargetThatCannotBeMadeIsLoggedAndFailsTheRun) {
  // No render-target texture can be made: the pool's work target is refused, the run stops
  // with its message, the graph and the draw state stay as they were.
  static DEVICE_CALL_TABLE below;
  below = DeviceCalls;
  DeviceCalls.DeviceCreateTexture = [](UINT w, UINT h, UINT l, DWORD u, D3DFORMAT f, D3DPOOL p,
                                       IDirect3DTexture9** out, HANDLE* shared) -> HRESULT {
    if (u & D3DUSAGE_RENDERTARGET) return E_OUTOFMEMORY;
    return below.DeviceCreateTexture(w, h, l, u, f, p, out, shared);
  };
  for (auto& size : FilterState.pool.graphs)
    for (int& entry : size)
      if (IsGraphHandleValid(entry)) DeleteGraphHandle(entry, 0);
  int graph = MakeGraph(12, 12, Pattern, 0);
  ASSERT_GE(graph, 0);
  SelectBlendMode(1, 100);
  DRAW_STATE_SNAPSHOT before = Snapshot();
  EXPECT_EQ(ApplyGraphFilter(graph, INVERT), -1);
  EXPECT_NE(ReadLog().find("作業用描画可能テクスチャの作成に失敗しました Size:16x16"), std::string::npos);
  EXPECT_EQ(before.Differences(Snapshot()), "");
  DeviceCalls = below;
  EXPECT_EQ(Compare(ReadGraph(graph), Pattern, 0), "");
  // Once targets can be made again the same run works.
  ASSERT_EQ(ApplyGraphFilter(graph, INVERT), 0);
  EXPECT_EQ(Compare(ReadGraph(graph), InvertedPattern, 0), "");
  DeleteGraphHandle(graph, 0);
}

TEST_F(FilterRunTest, FogIsOffForTheRunAndBackAfterIt) {
  // A program's fog setting and the device's fog, both on: the filter's quad is drawn without
  // fog (it would take the fog colour) and both are on again afterwards.
  int graph = MakeGraph(8, 8, Pattern);
  FlushVertexBatch(0);
  DrawSettings.fogEnabled = 1;
  SetDeviceFogEnable(1);
  StartRecording();
  ASSERT_EQ(ApplyGraphFilter(graph, INVERT), 0);
  StopRecording();
  int fog = 1, foggedDraws = 0, draws = 0;
  for (const RECORDED_CALL& call : RecordedCalls()) {
    if (call.name == "SetRenderState" && call.a == D3DRS_FOGENABLE) fog = (int)call.b;
    if (call.name == "DrawPrimitiveUP") draws++, foggedDraws += fog;
  }
  EXPECT_GT(draws, 0);
  EXPECT_EQ(foggedDraws, 0);
  EXPECT_EQ(fog, 1);
  EXPECT_EQ(DrawSettings.fogEnabled, 1);
  EXPECT_EQ(DeviceStateCache.fogEnable, 1);
  EXPECT_EQ(Compare(ReadGraph(graph), InvertedPattern, 0), "");
  DrawSettings.fogEnabled = 0;
  SetDeviceFogEnable(0);
  DeleteGraphHandle(graph, 0);
}

TEST_F(FilterRunTest, AProgramsVertexShaderStaysSelectedButDoesNotRunOverTheQuad) {
  // vs_1_1: position in, position out.
  const DWORD code[] = {0xFFFE0101, 0x0000001F, 0x80000000, 0x900F0000, 0x00000001, 0xC00F0000, 0x90E40000, 0x0000FFFF};
  int vertexShader = CreateShaderHandle(1, code, sizeof(code), 0, 0, 0);
  ASSERT_GE(vertexShader, 0);
  ASSERT_EQ(SelectVertexShader(vertexShader), 0);
  int graph = MakeGraph(16, 16, Pattern);
  ASSERT_EQ(ApplyGraphFilter(graph, INVERT), 0);
  EXPECT_EQ(Compare(ReadGraph(graph), InvertedPattern, 0), "");
  EXPECT_EQ(ShaderSelection.vertexShader, vertexShader);
  SelectVertexShader(0);
  DeleteHandle(vertexShader);
  DeleteGraphHandle(graph, 0);
}

TEST_F(FilterRunTest, AFilterOfTheDrawTargetCoversItWholeWhateverTheDrawArea) {
  for (int shader = 0; shader < 2; shader++) {
    SetGraphFilterCpuOnly(!shader);
    int graph = MakeGraph(16, 16, Pattern);
    ASSERT_EQ(SelectDrawTarget(graph), 0);
    SetDrawClipArea(0, 0, 4, 4);
    DRAW_STATE_SNAPSHOT before = Snapshot();
    ASSERT_EQ(ApplyGraphFilter(graph, INVERT), 0);
    EXPECT_EQ(before.Differences(Snapshot()), "");
    SelectDrawTarget(-2);
    EXPECT_EQ(Compare(ReadGraph(graph), InvertedPattern, 0), "") << shader;
    DeleteGraphHandle(graph, 0);
  }
}

TEST_F(FilterRunTest, AMultiSampledDrawTargetIsResolvedBeforeItIsRead) {
  GRAPH_CREATE_PARAM param;
  CaptureGraphCreateParam(&param);
  param.drawable = 1;
  param.colorBits = 32;
  param.multiSampleCount = 4;
  int drawn = CreateBlankGraph(&param, 16, 16, 0, 0, 0), dest = MakeGraph(16, 16, Marker);
  ASSERT_GE(drawn, 0);
  ASSERT_EQ(SelectDrawTarget(drawn), 0);
  ClearDrawTarget(nullptr);
  ASSERT_EQ(DrawRectangle(0, 0, 16, 16, Packed(0x204080), 1), 0);
  ASSERT_EQ(IsGraphMultiSampled(drawn), 1);
  ASSERT_EQ(ExecuteGraphFilter(0, drawn, -1, dest, 0, INVERT, 0, 0, 16, 16, 0, 0, 0, 0, 0), 0);
  // The box's top and left edges run through pixel centres and are blended with the clear.
  auto inside = [](int x, int y) { return x > 0 && y > 0; };
  EXPECT_EQ(Compare(ReadGraph(dest), [](int, int) { return 0xDFBF7F; }, 0, false, inside), "");
  SelectDrawTarget(-2);
  DeleteGraphHandle(drawn, 0);
  DeleteGraphHandle(dest, 0);
}

TEST_F(FilterRunTest, AMissingShaderOrAFailedFinalCopyFailsTheRun) {
  int graph = MakeGraph(8, 8, Pattern);
  ASSERT_EQ(ApplyGraphFilter(graph, INVERT), 0);
  ASSERT_GE(FilterState.shaders.files[FILTER_SHADER_INVERT], 0);
  // Deleting the shader empties its slot; a creation that fails then fails the run.
  DeleteHandle(FilterState.shaders.files[FILTER_SHADER_INVERT]);
  EXPECT_EQ(FilterState.shaders.files[FILTER_SHADER_INVERT], -1);
  DeviceCalls.DeviceCreatePixelShader = [](const DWORD*, IDirect3DPixelShader9**) -> HRESULT { return E_FAIL; };
  EXPECT_EQ(ApplyGraphFilter(graph, INVERT), -1);
  EXPECT_NE(ReadLog().find("フィルター用シェーダーの作成に失敗しました Invert.pso"), std::string::npos);
  EXPECT_EQ(Compare(ReadGraph(graph), InvertedPattern, 0), "");
  DeviceCalls = RealDeviceCalls;
  ASSERT_EQ(ApplyGraphFilter(graph, INVERT), 0);
  EXPECT_EQ(Compare(ReadGraph(graph), Pattern, 0), "");

  // Through a work target (in-place flag clear), a copy back that fails fails the run.
  SetFilterInPlace(0);
  DeviceCalls.DeviceStretchRect = [](IDirect3DSurface9*, const RECT*, IDirect3DSurface9*, const RECT*,
                                     D3DTEXTUREFILTERTYPE) -> HRESULT { return E_FAIL; };
  EXPECT_EQ(ApplyGraphFilter(graph, INVERT), -1);
  DeviceCalls = RealDeviceCalls;
  EXPECT_EQ(Compare(ReadGraph(graph), Pattern, 0), "");
  DeleteGraphHandle(graph, 0);
}

TEST_F(FilterRunTest, ACpuResultThatCannotBeWrittenBackFailsTheRun) {
  // The write-back's system-memory surface is the last one a CPU Invert makes: counted in a
  // run that works, then refused.
  static int made, refuse;
  realCalls = DeviceCalls;
  DeviceCalls.DeviceCreateOffscreenSurface = [](UINT w, UINT h, D3DFORMAT f, D3DPOOL p, IDirect3DSurface9** out,
                                                HANDLE* shared) -> HRESULT {
    if (++made == refuse) return E_OUTOFMEMORY;
    return realCalls.DeviceCreateOffscreenSurface(w, h, f, p, out, shared);
  };
  SetGraphFilterCpuOnly(1);
  int graph = MakeGraph(8, 8, Pattern);
  made = 0, refuse = -1;
  ASSERT_EQ(ApplyGraphFilter(graph, INVERT), 0);
  ASSERT_GE(made, 1);
  refuse = made, made = 0;
  EXPECT_EQ(ApplyGraphFilter(graph, INVERT), -1);
  DeviceCalls = realCalls;
  EXPECT_EQ(Compare(ReadGraph(graph), InvertedPattern, 0), "");
  DeleteGraphHandle(graph, 0);
}

TEST_F(FilterRunTest, ReadsOutsideAGraphAreZero) {
  int graph = MakeGraph(8, 8, Pattern);
  RASTER_IMAGE image;
  RECT overlap = {-2, -3, 4, 5};
  ASSERT_EQ(ReadGraphToBaseImage(graph, &image, &overlap), 0);
  ASSERT_EQ(image.width, 6);
  ASSERT_EQ(image.height, 8);
  for (int y = 0; y < 8; y++)
    for (int x = 0; x < 6; x++) {
      uint32_t got = *(uint32_t*)((char*)image.pixels + y * image.pitch + x * 4);
      uint32_t want = x < 2 || y < 3 ? 0 : Pattern(x - 2, y - 3);
      EXPECT_EQ(got, want) << x << "," << y;
    }
  DisposeImage(&image);
  RECT outside = {20, 20, 24, 22};
  ASSERT_EQ(ReadGraphToBaseImage(graph, &image, &outside), 0);
  for (int y = 0; y < 2; y++)
    for (int x = 0; x < 4; x++) EXPECT_EQ(*(uint32_t*)((char*)image.pixels + y * image.pitch + x * 4), 0u);
  DisposeImage(&image);
  DeleteGraphHandle(graph, 0);
}

// A pass whose source holds textures but no piece (a graph whose pieces could not be laid out)
// has no coordinates to read it by: it draws nothing and fails.
TEST_F(FilterRunTest, APassOverASourceWithoutAPieceDrawsNothingAndFails) {
  int source = MakeGraph(16, 16, Pattern), dest = MakeGraph(16, 16, Marker);
  GetGraphRecord(source, 0)->pieceCount = 0;
  FILTER_PASS_RECORD record = {};
  record.type = INVERT;
  record.passSource = source;
  record.blendGraph = -1;
  record.passDestination = dest;
  record.x2 = record.y2 = 16;
  FILTER_SAVED_DRAW_STATE saved;
  SaveFilterDrawState(&saved);
  EXPECT_EQ(RunInvertFilter(&record), -1);
  RestoreFilterDrawState(&saved);
  EXPECT_EQ(Compare(ReadGraph(dest), Marker, 0), "");
  DeleteGraphHandle(source, 0);
  DeleteGraphHandle(dest, 0);
}

TEST_F(FilterRunTest, WorkSizesArePowersOfTwoUpTo32768) {
  const int cases[][2] = {{1, 0}, {2, 1}, {3, 2}, {16, 4}, {17, 5}, {640, 10}, {32768, 15}, {32769, -1}};
  for (const auto& c : cases) EXPECT_EQ(FilterWorkSizeIndex(c[0]), c[1]) << c[0];
}

TEST_F(FilterRunTest, ShaderConstantsGoToSetOneForTheDrawAndAreClearedAfterIt) {
  int graph = MakeGraph(8, 8, Pattern);
  StartRecording();
  ASSERT_EQ(ApplyGraphFilter(graph, MONO, 255, 0), 0);
  StopRecording();
  // c0 carries the luminance weights during the draw and the library's own (0, 0.5, 1, 2)
  // after it; c1 the red offset (0 for Cr 0).
  std::vector<unsigned> c0;
  for (const RECORDED_CALL& call : RecordedCalls())
    if (call.name == "PixelConstantF" && call.a == 0) c0.push_back(call.b);
  ASSERT_EQ(c0.size(), 2u);
  EXPECT_EQ(c0[0], FloatWord(0.299f));
  EXPECT_EQ(c0[1], FloatWord(0.0f));
  for (int r = 0; r < 3; r++) EXPECT_EQ(ShaderConstants.used[3][1][r], 0) << r;
  DeleteGraphHandle(graph, 0);
}

TEST_F(FilterRunTest, DeletedPoolGraphsAndShadersAreMadeAgainAndNeverAliasLaterGraphs) {
  SetFilterInPlace(0);
  int graph = MakeGraph(8, 8, Pattern);
  ASSERT_EQ(ApplyGraphFilter(graph, INVERT), 0);
  int& entry = FilterState.pool.graphs[3][1];
  int first = entry;
  ASSERT_TRUE(IsGraphHandleValid(first));
  DeleteGraphHandle(first, 0);
  EXPECT_EQ(entry, -1);
  // A new graph may take the deleted one's slot; the pool makes its own again.
  int later = MakeGraph(8, 8, Marker);
  ASSERT_EQ(ApplyGraphFilter(graph, INVERT), 0);
  EXPECT_TRUE(IsGraphHandleValid(entry));
  EXPECT_NE(entry, later);
  EXPECT_EQ(Compare(ReadGraph(later), Marker, 0), "");
  EXPECT_EQ(Compare(ReadGraph(graph), Pattern, 0), "");
  DeleteGraphHandle(graph, 0);
  DeleteGraphHandle(later, 0);
}

TEST_F(FilterRunTest, WithAsynchronousLoadingOnShadersAndWorkTargetsAreMadeAtOnce) {
  DeleteHandle(FilterState.shaders.files[FILTER_SHADER_INVERT]);
  DeleteGraphHandle(FilterState.pool.graphs[3][1], 0);
  int graph = MakeGraph(8, 8, Pattern);
  SetFilterInPlace(0);
  EnableAsyncLoading(1);
  EXPECT_EQ(ApplyGraphFilter(graph, INVERT), 0);
  EnableAsyncLoading(0);
  EXPECT_EQ(IsHandleLoading(FilterState.shaders.files[FILTER_SHADER_INVERT]), 0);
  EXPECT_EQ(IsHandleLoading(FilterState.pool.graphs[3][1]), 0);
  EXPECT_EQ(Compare(ReadGraph(graph), InvertedPattern, 0), "");
  DeleteGraphHandle(graph, 0);
}

TEST_F(FilterRunTest, FiltersRunOnARecreatedDevice) {
  int graph = MakeGraph(16, 16, Pattern);
  ASSERT_EQ(ApplyGraphFilter(graph, INVERT), 0);
  int shader = FilterState.shaders.files[FILTER_SHADER_INVERT];
  ASSERT_EQ(RecreateGraphicsDevice(), 0);
  ASSERT_TRUE(HasDirect3DDevice());
  int fresh = MakeGraph(16, 16, Pattern);
  for (int inPlace = 1; inPlace >= 0; inPlace--) {
    SetFilterInPlace(inPlace);
    ASSERT_EQ(ApplyGraphFilter(fresh, INVERT), 0);
    ASSERT_EQ(ApplyGraphFilter(fresh, INVERT), 0);
    EXPECT_EQ(Compare(ReadGraph(fresh), Pattern, 0), "") << inPlace;
  }
  EXPECT_EQ(FilterState.shaders.files[FILTER_SHADER_INVERT], shader);
  DeleteGraphHandle(graph, 0);
  DeleteGraphHandle(fresh, 0);
}

// Last: the library is ended and started again.
TEST_F(FilterRunTest, AGraphicsRestartEmptiesShaderSlotsAndThePoolAndTestsAgain) {
  SetFilterInPlace(0);
  int graph = MakeGraph(8, 8, Pattern);
  ASSERT_EQ(ApplyGraphFilter(graph, INVERT), 0);
  ASSERT_TRUE(IsGraphHandleValid(FilterState.pool.graphs[3][1]));
  EndRealDevice();
  for (int slot : FilterState.shaders.files) EXPECT_EQ(slot, -1);
  EXPECT_EQ(FilterState.pool.graphs[3][1], -1);
  // Slots no deletion reaches are preset by the start all the same.
  FilterState.shaders.rgbaMix[7] = 1234;
  FilterState.shaders.levelGammaGraph = 99;
  StartRealDevice();
  EXPECT_EQ(IsFilterInPlace(), 1);
  EXPECT_EQ(FilterState.shaders.rgbaMix[7], -1);
  EXPECT_EQ(FilterState.shaders.levelGammaGraph, -1);
  // The self-test has loaded Invert's shader, and only that.
  for (int i = 0; i < FILTER_SHADER_FILE_COUNT; i++)
    EXPECT_EQ(FilterState.shaders.files[i] >= 0, i == FILTER_SHADER_INVERT) << GetFilterShaderFileName(i);
  graph = MakeGraph(8, 8, Pattern);
  ASSERT_EQ(ApplyGraphFilter(graph, INVERT), 0);
  EXPECT_EQ(Compare(ReadGraph(graph), InvertedPattern, 0), "");
  DeleteGraphHandle(graph, 0);
}
}  // namespace
