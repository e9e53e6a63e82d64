// Graph draws on Wine's real Direct3D 9 device: graphs of numbered texels drawn at points,
// stretched, mirrored, cut to regions and clipped by the draw area, then read back from the
// presented back buffer pixel by pixel.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>

#include "core/handles.h"
#include "graphics/device/device.h"
#include "graphics/draw/draw2d.h"
#include "graphics/device/draw_settings.h"
#include "graphics/graphs/graph_create.h"
#include "graphics/graphs/graph_handles.h"
#include "graphics/graphs/graph_textures.h"
#include "graphics/device/screen.h"
#include "graphics/device/state_cache.h"
#include "graphics/graphs/texture_transfer.h"
#include "graphics/device/vertex_batch.h"
#include "image/memimg_draw_state.h"
#include "korvel.h"
#include "blend_graph_cases.h"
#include "read_back.h"
#include "real_device.h"
#include "system/base/window_state.h"

namespace {
// The colour of texel (x, y) of every test graph: red 0x40, green y, blue x.
uint32_t Texel(int x, int y) { return 0x400000u | (uint32_t)y << 8 | (uint32_t)x; }

// A graph of width x height numbered texels; maxTexture > 0 cuts it into textures of at most
// that side.
int MakeNumberedGraph(int width, int height, int maxTexture = 0) {
  RASTER_IMAGE img = {};
  if (AllocARGB8Image(width, height, &img) != 0) return -1;
  for (int y = 0; y < height; y++) {
    uint32_t* row = (uint32_t*)((uint8_t*)img.pixels + y * img.pitch);
    for (int x = 0; x < width; x++) row[x] = 0xFF000000u | Texel(x, y);
  }
  GRAPH_LOAD_SETTINGS settings;
  CaptureGraphLoadSettings(&settings);
  settings.create.maxTextureSize = maxTexture;
  int graph = NewGraphHandle();
  if (graph != -1 && BuildGraphFromImages(&settings, 0, graph, &img, nullptr, 0, 0) != 0) {
    DeleteGraphHandle(graph, 0);
    graph = -1;
  }
  DisposeImage(&img);
  return graph;
}

// Where a screen pixel takes its texel from; false for a pixel the draw must leave alone.
typedef std::function<bool(int px, int py, int* tx, int* ty)> SOURCE;

// Lists the pixels that differ from the texel they should show (or from the black background
// where nothing should be drawn), at most 12 of them.
std::string WrongPixels(const PICTURE& p, const SOURCE& source) {
  std::string wrong;
  int n = 0;
  for (int y = 0; y < p.height; y++)
    for (int x = 0; x < p.width; x++) {
      int tx = 0, ty = 0;
      uint32_t want = source(x, y, &tx, &ty) ? Texel(tx, ty) : 0;
      if (p.At(x, y) == want) continue;
      if (n++ < 12) {
        char line[80];
        snprintf(line, sizeof line, "(%d,%d)=%06X want %06X ", x, y, p.At(x, y), want);
        wrong += line;
      }
    }
  return n == 0 ? "" : std::to_string(n) + " wrong: " + wrong;
}

// The graph's texels shown one to one with its top-left at (gx, gy), cut to a rectangle.
SOURCE Placed(int gx, int gy, int w, int h, RECT cut = {0, 0, 640, 480}) {
  return [=](int px, int py, int* tx, int* ty) {
    if (px < cut.left || px >= cut.right || py < cut.top || py >= cut.bottom) return false;
    *tx = px - gx, *ty = py - gy;
    return *tx >= 0 && *tx < w && *ty >= 0 && *ty < h;
  };
}

class DrawGraph : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    StartRealDevice();
    ASSERT_EQ(ScreenState.hardwareRendering, 1);
    small = MakeNumberedGraph(100, 100);
    pieces = MakeNumberedGraph(100, 100, 64);
    ASSERT_NE(small, -1);
    ASSERT_NE(pieces, -1);
  }
  static void TearDownTestSuite() { EndRealDevice(); }
  void SetUp() override { ResetDrawing(); }
  static int small, pieces;
};
int DrawGraph::small, DrawGraph::pieces;

TEST_F(DrawGraph, TheTestGraphsHaveOneAndNinePieces) {
  EXPECT_EQ(GetGraphRecord(small, 0)->pieceCount, 1);
  EXPECT_EQ(GetGraphRecord(pieces, 0)->pieceCount, 9);  // columns and rows of 64, 32 and 4
}

TEST_F(DrawGraph, AGraphAtAPointShowsEachTexelOnItsPixel) {
  struct CASE {
    int x, y;
    const char* where;
  } cases[] = {
      {10, 10, "inside"},
      {-10, 20, "across the left edge"},
      {30, -37, "across the top edge"},
      {590, 420, "across right and bottom"},
      {-60, -70, "across the top-left corner"},
  };
  for (int graph : {small, pieces}) {
    for (const CASE& c : cases) {
      SetUp();
      EXPECT_EQ(DrawGraphAt(c.x, c.y, graph, 0), 0);
      EXPECT_EQ(WrongPixels(FlipAndRead(), Placed(c.x, c.y, 100, 100)), "")
          << c.where << (graph == pieces ? ", nine pieces" : ", one piece");
    }
  }
}

TEST_F(DrawGraph, TheDrawAreaClipsTexelExact) {
  for (int graph : {small, pieces}) {
    SetUp();
    SetDrawClipArea(50, 40, 120, 90);
    EXPECT_EQ(DrawGraphAt(40, 30, graph, 0), 0);
    EXPECT_EQ(DrawGraphStretched(100, 80, 300, 280, graph, 0), 0);
    PICTURE p = FlipAndRead();
    EXPECT_EQ(WrongPixels(p,
                          [](int px, int py, int* tx, int* ty) {
                            if (px < 50 || px >= 120 || py < 40 || py >= 90) return false;
                            if (px >= 100 && py >= 80) {
                              *tx = (px - 100) / 2, *ty = (py - 80) / 2;
                              return true;
                            }
                            return Placed(40, 30, 100, 100)(px, py, tx, ty);
                          }),
              "")
        << (graph == pieces ? "nine pieces" : "one piece");
  }
}

TEST_F(DrawGraph, StretchedAndMirroredDrawsPickTheNearestTexel) {
  struct CASE {
    const char* name;
    std::function<int(int graph)> draw;
    SOURCE source;
  } cases[] = {
      {"doubled", [](int g) { return DrawGraphStretched(20, 30, 220, 230, g, 0); },
       [](int px, int py, int* tx, int* ty) {
         *tx = (px - 20) >> 1, *ty = (py - 30) >> 1;
         return px >= 20 && px < 220 && py >= 30 && py < 230;
       }},
      {"doubled across the left edge", [](int g) { return DrawGraphStretched(-31, 0, 169, 200, g, 0); },
       [](int px, int py, int* tx, int* ty) {
         *tx = (px + 31) >> 1, *ty = py >> 1;
         return px < 169 && py < 200;
       }},
      {"mirrored", [](int g) { return DrawGraphMirrored(300, 50, g, 0); },
       [](int px, int py, int* tx, int* ty) {
         *tx = 399 - px, *ty = py - 50;
         return px >= 300 && px < 400 && py >= 50 && py < 150;
       }},
      {"mirrored across the right edge", [](int g) { return DrawGraphMirrored(580, 50, g, 0); },
       [](int px, int py, int* tx, int* ty) {
         *tx = 679 - px, *ty = py - 50;
         return px >= 580 && py >= 50 && py < 150;
       }},
      {"upside down", [](int g) { return DrawGraphStretched(100, 300, 200, 200, g, 0); },
       [](int px, int py, int* tx, int* ty) {
         *tx = px - 100, *ty = 299 - py;
         return px >= 100 && px < 200 && py >= 200 && py < 300;
       }},
      {"float corners", [](int g) { return DrawGraphStretchedF(10.0f, 10.0f, 110.0f, 210.0f, g, 0); },
       [](int px, int py, int* tx, int* ty) {
         *tx = px - 10, *ty = (py - 10) >> 1;
         return px >= 10 && px < 110 && py >= 10 && py < 210;
       }},
      {"source rectangle stretched",
       [](int g) { return DrawGraphRectStretchedF(400.0f, 300.0f, 460.0f, 340.0f, g, 30, 40, 30, 20, 0); },
       [](int px, int py, int* tx, int* ty) {
         *tx = 30 + ((px - 400) >> 1), *ty = 40 + ((py - 300) >> 1);
         return px >= 400 && px < 460 && py >= 300 && py < 340;
       }},
  };
  for (int graph : {small, pieces}) {
    for (const CASE& c : cases) {
      SetUp();
      EXPECT_EQ(c.draw(graph), 0) << c.name;
      EXPECT_EQ(WrongPixels(FlipAndRead(), c.source), "") << c.name << (graph == pieces ? ", nine pieces" : "");
    }
  }
}

struct AREA_COPY {
  RECT area, clip;
  float areaF[4];
};

AREA_COPY CopyArea() {
  AREA_COPY a;
  a.area = DrawSettings.drawArea;
  a.clip = MemImgDrawState.clipRect;
  for (int i = 0; i < 4; i++) a.areaF[i] = DrawSettings.drawAreaF[i];
  return a;
}

bool SameArea(const AREA_COPY& a, const AREA_COPY& b) {
  return EqualRect(&a.area, &b.area) && EqualRect(&a.clip, &b.clip) && memcmp(a.areaF, b.areaF, sizeof a.areaF) == 0;
}

TEST_F(DrawGraph, ARegionDrawsItsSourceRectangleAndLeavesTheAreaAsItWas) {
  struct CASE {
    int x, y, sx, sy, w, h, mirror;
  } cases[] = {
      {200, 100, 20, 10, 30, 15, 0},
      {200, 100, 20, 10, 30, 15, 1},
      {-5, 3, 90, 0, 10, 100, 0},   // across the left edge
      {630, 470, 0, 0, 40, 40, 1},  // across the right and bottom edges
  };
  for (int graph : {small, pieces}) {
    for (const CASE& c : cases) {
      SetUp();
      SetDrawClipArea(0, 0, 640, 480);
      AREA_COPY before = CopyArea();
      EXPECT_EQ(DrawGraphRegion(c.x, c.y, c.sx, c.sy, c.w, c.h, graph, 0, c.mirror), 0);
      EXPECT_TRUE(SameArea(CopyArea(), before));
      EXPECT_EQ(WrongPixels(FlipAndRead(),
                            [&](int px, int py, int* tx, int* ty) {
                              int i = px - c.x, j = py - c.y;
                              *tx = c.mirror ? c.sx + c.w - 1 - i : c.sx + i;
                              *ty = c.sy + j;
                              return i >= 0 && i < c.w && j >= 0 && j < c.h;
                            }),
                "")
          << c.x << "," << c.y << " mirror " << c.mirror << (graph == pieces ? ", nine pieces" : "");
    }
  }
  // Failed draws restore the area too, and a narrower area than the screen is kept.
  SetUp();
  SetDrawClipArea(10, 20, 300, 200);
  AREA_COPY before = CopyArea();
  int deleted = MakeNumberedGraph(8, 8);
  DeleteGraphHandle(deleted, 0);
  for (int mirror : {0, 1}) {
    EXPECT_EQ(DrawGraphRegion(50, 50, 0, 0, 10, 10, deleted, 0, mirror), -1) << mirror;
    EXPECT_TRUE(SameArea(CopyArea(), before)) << mirror;
    EXPECT_EQ(DrawGraphRegion(50, 50, 0, 0, 10, 10, -1, 0, mirror), -1) << mirror;
    EXPECT_TRUE(SameArea(CopyArea(), before)) << mirror;
  }
  EXPECT_EQ(DrawGraphRegion(50, 50, 0, 0, 0, 10, small, 0, 0), -1);
  EXPECT_EQ(DrawGraphRegion(50, 50, 0, 0, 10, -1, small, 0, 0), -1);
  // A region outside the area draws nothing; the next draw has the whole area again.
  EXPECT_EQ(DrawGraphRegion(400, 300, 0, 0, 20, 20, small, 0, 0), 0);
  EXPECT_TRUE(SameArea(CopyArea(), before));
  EXPECT_EQ(DrawGraphAt(0, 0, small, 0), 0);
  EXPECT_EQ(WrongPixels(FlipAndRead(), Placed(0, 0, 100, 100, {10, 20, 300, 200})), "");
}

TEST_F(DrawGraph, BadGraphsFailAndGraphsOutsideDrawNothing) {
  int deleted = MakeNumberedGraph(8, 8);
  DeleteGraphHandle(deleted, 0);
  int loading = MakeNumberedGraph(8, 8);
  ASSERT_EQ(BeginHandleAsyncLoad(loading, 0), 0);
  struct CASE {
    const char* name;
    std::function<int(int)> draw;
  } draws[] = {
      {"at", [](int g) { return DrawGraphAt(5, 5, g, 0); }},
      {"stretched", [](int g) { return DrawGraphStretched(5, 5, 50, 50, g, 0); }},
      {"stretched float", [](int g) { return DrawGraphStretchedF(5, 5, 50, 50, g, 1); }},
      {"mirrored", [](int g) { return DrawGraphMirrored(5, 5, g, 0); }},
      {"region", [](int g) { return DrawGraphRegion(5, 5, 0, 0, 4, 4, g, 0, 0); }},
      {"source rectangle", [](int g) { return DrawGraphRectStretchedF(5, 5, 50, 50, g, 0, 0, 4, 4, 0); }},
  };
  for (const CASE& d : draws) {
    for (int bad : {-1, 0, 12345, deleted, loading}) EXPECT_EQ(d.draw(bad), -1) << d.name << " " << bad;
  }
  EndHandleAsyncLoad(loading);
  EXPECT_EQ(DrawGraphAt(5, 5, loading, 0), 0) << "loaded now";
  DeleteGraphHandle(loading, 0);
  SetUp();
  struct OUTSIDE {
    int x, y;
  } outside[] = {{5000, 5000}, {-100, 10}, {10, -100}, {640, 0}, {0, 480}};
  for (const OUTSIDE& o : outside) {
    for (int graph : {small, pieces}) {
      EXPECT_EQ(DrawGraphAt(o.x, o.y, graph, 0), 0) << o.x << "," << o.y;
      EXPECT_EQ(VertexBatch.count, 0) << o.x << "," << o.y;
      EXPECT_EQ(DrawGraphStretched(o.x, o.y, o.x + 100, o.y + 100, graph, 0), 0) << o.x << "," << o.y;
      EXPECT_EQ(VertexBatch.count, 0) << o.x << "," << o.y;
    }
  }
  EXPECT_EQ(DrawGraphStretched(50, 5, 50, 60, small, 0), -1) << "no width";
  EXPECT_EQ(DrawGraphStretched(5, 50, 60, 50, small, 0), -1) << "no height";
  EXPECT_EQ(DrawGraphRectStretchedF(5, 5, 50, 50, small, 0, 0, 0, 4, 0), -1);
  SetDrawClipArea(10, 10, 10, 50);
  EXPECT_EQ(DrawGraphAt(0, 0, small, 0), 0) << "empty area";
  EXPECT_EQ(DrawGraphStretched(0, 0, 300, 300, small, 0), 0) << "empty area";
  EXPECT_EQ(FlipAndRead().Count(0, 0, 0, 640, 480), 640 * 480);
}

// The vertices of the graph's quad as they wait in the batch.
const VERTEX_2D_TEX* BatchQuad() {
  EXPECT_EQ(VertexBatch.vertexType, 1);
  EXPECT_EQ(VertexBatch.count, 6);
  return (const VERTEX_2D_TEX*)VertexBatch.starts[1];
}

TEST_F(DrawGraph, QuadVerticesSitHalfAPixelUpLeftAndClampWithTheirTexel) {
  FlushVertexBatch(0);
  DrawGraphAt(10, 10, small, 0);
  const VERTEX_2D_TEX* v = BatchQuad();
  const float right = 100.0f / 128;
  const float expected[6][4] = {{9.5f, 9.5f, 0, 0},       {109.5f, 9.5f, right, 0},
                                {9.5f, 109.5f, 0, right}, {109.5f, 109.5f, right, right},
                                {9.5f, 109.5f, 0, right}, {109.5f, 9.5f, right, 0}};
  for (int i = 0; i < 6; i++) {
    EXPECT_FLOAT_EQ(v[i].x, expected[i][0]) << i;
    EXPECT_FLOAT_EQ(v[i].y, expected[i][1]) << i;
    EXPECT_FLOAT_EQ(v[i].u, expected[i][2]) << i;
    EXPECT_FLOAT_EQ(v[i].v, expected[i][3]) << i;
    EXPECT_FLOAT_EQ(v[i].z, DrawSettings.z2DValue) << i;
  }
  EXPECT_EQ(v[0].diffuse, PackedDiffuseColor);
  EXPECT_EQ(v[3].diffuse, PackedDiffuseColor);
  FlushVertexBatch(0);
  // Across the left edge the left vertices move to x = 0 and their u grows by 10.5 texels.
  DrawGraphAt(-10, 10, small, 0);
  v = BatchQuad();
  for (int i : {0, 2, 4}) {
    EXPECT_FLOAT_EQ(v[i].x, 0.0f) << i;
    EXPECT_FLOAT_EQ(v[i].u, 10.5f / 128) << i;
  }
  EXPECT_FLOAT_EQ(v[1].x, 89.5f);
  EXPECT_FLOAT_EQ(v[1].u, right);
  FlushVertexBatch(0);
  // Stretched draws clamp half a pixel outside the area, at the scaled texel rate.
  DrawGraphStretched(-10, 10, 190, 110, small, 0);
  v = BatchQuad();
  EXPECT_FLOAT_EQ(v[0].x, -0.5f);
  EXPECT_FLOAT_EQ(v[0].u, 5.0f / 128);
  EXPECT_FLOAT_EQ(v[1].x, 189.5f);
  FlushVertexBatch(0);
}

TEST_F(DrawGraph, SubtractionWithoutTheDeviceOperationIsEmulated) {
  int saved = DeviceCaps.blendOperation;
  DeviceCaps.blendOperation = 0;
  DrawFilledBox(0, 0, 640, 480, Packed(0x808080));
  SelectBlendMode(3, 255);
  EXPECT_EQ(DrawGraphAt(10, 10, small, 0), 0);
  SelectBlendMode(0, 0);
  DeviceCaps.blendOperation = saved;
  PICTURE p = FlipAndRead();
  std::string wrong;
  for (int y = 0; y < 480; y += 7)
    for (int x = 0; x < 640; x += 3) {
      uint32_t want = 0x808080;
      if (x >= 10 && x < 110 && y >= 10 && y < 110) {
        uint32_t t = Texel(x - 10, y - 10);
        auto sub = [](uint32_t d, uint32_t s) { return d > s ? d - s : 0; };
        want = sub(0x80, t >> 16 & 0xFF) << 16 | sub(0x80, t >> 8 & 0xFF) << 8 | sub(0x80, t & 0xFF);
      }
      if (p.At(x, y) != want && wrong.size() < 200) wrong += std::to_string(x) + "," + std::to_string(y) + " ";
    }
  EXPECT_EQ(wrong, "");
}
}  // namespace

namespace {
// Selects a blend graph of type 0 with its parameter.
void SetBlendGraph(int handle, int param) { ASSERT_EQ(SelectBlendGraph(handle, 0, &param), 0); }

// A border blend graph read back from the presented frame.
TEST_F(DrawGraph, ABorderBlendGraphShowsTheGraphWhereItReachesTheBorder) {
  PICTURE frame;
  ExpectBorderBlends(
      [this, &frame]() {
        SetUp();
        frame = PICTURE();
      },
                     [&frame](int x, int y) {
                       if (frame.width == 0) frame = FlipAndRead();
                       return frame.At(x, y);
                     });
}

TEST_F(DrawGraph, ABlendGraphIsReadUnderEachGraphPixelFromItsOwnPart) {
  int sheet = MakeNumberedGraph(128, 128);
  int blend = CreateDerivedGraph(20, 10, 110, 110, sheet);
  int narrow = CreateDerivedGraph(0, 0, 50, 128, sheet);
  ASSERT_NE(blend, -1);
  // At parameter 0 the draw shows the blend graph alone: texel (20 + i, 10 + j) of the sheet
  // under graph pixel (i, j).
  for (int graph : {small, pieces}) {
    SetUp();
    SetBlendGraph(blend, 0);
    EXPECT_EQ(DrawGraphAt(-7, 30, graph, 0), 0);
    if (graph == small) {
      ASSERT_EQ(VertexBatch.vertexType, 2);
      const VERTEX_2D_TEX2* v = (const VERTEX_2D_TEX2*)VertexBatch.starts[2];
      EXPECT_FLOAT_EQ(v[0].x, 0.0f);
      EXPECT_FLOAT_EQ(v[0].u1, 7.5f / 128);
      EXPECT_FLOAT_EQ(v[0].u2, 27.5f / 128) << "the blend pair is clamped with the position";
      EXPECT_FLOAT_EQ(v[0].v2, 10.0f / 128);
    }
    PICTURE p = FlipAndRead();
    SetBlendGraph(-1, 0);
    EXPECT_EQ(WrongPixels(p,
                          [](int px, int py, int* tx, int* ty) {
                            *tx = px + 7 + 20, *ty = py - 30 + 10;
                            return px < 93 && py >= 30 && py < 130;
                          }),
              "")
        << (graph == pieces ? "nine pieces" : "one piece");
  }
  // A blend graph narrower than the graph, or gone, refuses the draw.
  for (int bad : {narrow, 12345}) {
    SetBlendGraph(narrow, 0);
    DrawSettings.blendGraph = bad;
    EXPECT_EQ(DrawGraphAt(0, 0, small, 0), -1) << bad;
    EXPECT_EQ(DrawGraphStretched(0, 0, 10, 10, small, 0), -1) << bad;
  }
  SetBlendGraph(-1, 0);
  EXPECT_EQ(DrawGraphAt(0, 0, small, 0), 0);
  for (int g : {blend, narrow, sheet}) DeleteGraphHandle(g, 0);
}
}  // namespace

namespace {
TEST_F(DrawGraph, QuadsOnPixelEdgesShowEachTexelOnItsPixel) {
  struct CASE {
    const char* name;
    std::function<int(int graph)> draw;
    SOURCE source;
  } cases[] = {
      {"rectangle",
       [](int g) { return DrawGraphQuad(g, 9.5f, 9.5f, 109.5f, 9.5f, 109.5f, 109.5f, 9.5f, 109.5f, 0, 0); },
       Placed(10, 10, 100, 100)},
      {"mirrored",
       [](int g) { return DrawGraphQuadF(309.5f, 9.5f, 209.5f, 9.5f, 209.5f, 109.5f, 309.5f, 109.5f, g, 0); },
       [](int px, int py, int* tx, int* ty) {
         *tx = 309 - px, *ty = py - 10;
         return px >= 210 && px < 310 && py >= 10 && py < 110;
       }},
      {"doubled across the top edge",
       [](int g) { return DrawGraphQuad(g, 19.5f, -20.5f, 219.5f, -20.5f, 219.5f, 179.5f, 19.5f, 179.5f, 0, 0); },
       [](int px, int py, int* tx, int* ty) {
         *tx = (px - 20) >> 1, *ty = (py + 20) >> 1;
         return px >= 20 && px < 220 && py < 180;
       }},
  };
  for (int graph : {small, pieces}) {
    for (const CASE& c : cases) {
      SetUp();
      EXPECT_EQ(c.draw(graph), 0) << c.name;
      EXPECT_EQ(WrongPixels(FlipAndRead(), c.source), "") << c.name << (graph == pieces ? ", nine pieces" : "");
    }
  }
}

TEST_F(DrawGraph, QuadVerticesKeepTheirCornersAndStayInsideThePiece) {
  FlushVertexBatch(0);
  for (int mirrored = 0; mirrored < 2; mirrored++) {
    float l = mirrored ? 110.0f : 10.0f, r = mirrored ? 10.0f : 110.0f;
    EXPECT_EQ(DrawGraphQuad(small, l, 20, r, 20, r, 120, l, 120, 0, 0), 0);
    const VERTEX_2D_TEX* v = BatchQuad();
    const float in = 0.0625f / 128, edge = 100.0f / 128;
    // Sent TL, TR, BL, BR, BL, TR; a mirrored quad as TL, BL, TR, BR, TR, BL.
    const float normal[6][4] = {{l, 20, in, in},         {r, 20, edge - in, in},
                                {l, 120, in, edge - in}, {r, 120, edge - in, edge - in},
                                {l, 120, in, edge - in}, {r, 20, edge - in, in}};
    const int order[2][6] = {{0, 1, 2, 3, 4, 5}, {0, 2, 1, 3, 5, 4}};
    for (int i = 0; i < 6; i++) {
      const float* want = normal[order[mirrored][i]];
      EXPECT_FLOAT_EQ(v[i].x, want[0]) << mirrored << " vertex " << i;
      EXPECT_FLOAT_EQ(v[i].y, want[1]) << mirrored << " vertex " << i;
      EXPECT_FLOAT_EQ(v[i].u, want[2]) << mirrored << " vertex " << i;
      EXPECT_FLOAT_EQ(v[i].v, want[3]) << mirrored << " vertex " << i;
    }
    FlushVertexBatch(0);
  }
}

TEST_F(DrawGraph, QuadsOfOtherShapesDrawOnlyGraphTexelsInsideTheirBounds) {
  int sheet = MakeNumberedGraph(128, 128);
  int blend = CreateDerivedGraph(0, 0, 110, 110, sheet);
  for (int withBlend = 0; withBlend < 2; withBlend++) {
    for (int graph : {small, pieces}) {
      SetUp();
      if (withBlend) SetBlendGraph(blend, 0);
      // A trapezoid (drawn as a grid) and a sheared parallelogram.
      EXPECT_EQ(DrawGraphQuad(graph, 40, 20, 140, 20, 180, 120, 0, 120, 0, 0), 0);
      EXPECT_EQ(DrawGraphQuad(graph, 300, 200, 400, 220, 420, 320, 320, 300, 0, 0), 0);
      PICTURE p = FlipAndRead();
      SetBlendGraph(-1, 0);
      int lit = 0, stray = 0;
      for (int y = 0; y < 480; y++)
        for (int x = 0; x < 640; x++) {
          uint32_t c = p.At(x, y);
          if (c == 0) continue;
          bool inBounds = (x >= 0 && x < 180 && y >= 20 && y < 120) || (x >= 300 && x < 420 && y >= 200 && y < 320);
          if (inBounds && (c >> 16) == 0x40 && (c & 0xFF) < 110 && (c >> 8 & 0xFF) < 110)
            lit++;
          else
            stray++;
        }
      EXPECT_EQ(stray, 0) << "blend " << withBlend << (graph == pieces ? ", nine pieces" : "");
      // The trapezoid covers 14000 pixels, the parallelogram 10000 less its slant.
      EXPECT_GT(lit, 20000) << "blend " << withBlend << (graph == pieces ? ", nine pieces" : "");
      EXPECT_LT(lit, 25000) << "blend " << withBlend << (graph == pieces ? ", nine pieces" : "");
    }
  }
  DeleteGraphHandle(blend, 0);
  DeleteGraphHandle(sheet, 0);
}
}  // namespace

namespace {
// A strip over (9.5, 9.5)-(109.5, 109.5) with texture coordinates 0 to `edge`, in white.
void FillStrip(VERTEX_2D_UV quad[4], float edge) {
  for (int i = 0; i < 4; i++) {
    quad[i].x = i % 2 ? 109.5f : 9.5f, quad[i].y = i / 2 ? 109.5f : 9.5f;
    quad[i].u = i % 2 ? edge : 0.0f, quad[i].v = i / 2 ? edge : 0.0f;
    quad[i].red = quad[i].green = quad[i].blue = quad[i].alpha = 255;
  }
}

TEST_F(DrawGraph, CallerVerticesTakeTheGraphsTexels) {
  int sheet = MakeNumberedGraph(128, 128);
  int part = CreateDerivedGraph(20, 10, 100, 100, sheet);
  VERTEX_2D_UV quad[4];
  struct CASE {
    const char* name;
    int graph, fit;
    float edge;
    int dx, dy;  // the texel shown at (10, 10)
  } cases[] = {
      {"fitted", small, 1, 1.0f, 0, 0},
      {"as given", small, 0, 100.0f / 128, 0, 0},
      {"fitted to a part of the texture", part, 1, 1.0f, 20, 10},
  };
  for (const CASE& c : cases) {
    SetUp();
    FillStrip(quad, c.edge);
    EXPECT_EQ(DrawUserVertices2D(quad, 4, D3DPT_TRIANGLESTRIP, c.graph, 0, c.fit), 0) << c.name;
    EXPECT_EQ(WrongPixels(FlipAndRead(), Placed(10 - c.dx, 10 - c.dy, 200, 200, {10, 10, 110, 110})), "") << c.name;
  }
  // The pre-transformed form, plain and with the brightness scaling the colours.
  VERTEX_2D_TEX v[4];
  for (int i = 0; i < 4; i++) {
    FillStrip(quad, 100.0f / 128);
    v[i] = {quad[i].x, quad[i].y, 0.0f, 1.0f, 0xFFFFFFFF, quad[i].u, quad[i].v};
  }
  SetUp();
  EXPECT_EQ(DrawGraphVertices2D(v, 4, D3DPT_TRIANGLESTRIP, small, 0), 0);
  EXPECT_EQ(WrongPixels(FlipAndRead(), Placed(10, 10, 100, 100)), "");
  SetUp();
  SelectDrawBrightness(128, 255, 255);
  EXPECT_EQ(DrawGraphVertices2D(v, 4, D3DPT_TRIANGLESTRIP, small, 0), 0);
  SelectDrawBrightness(255, 255, 255);
  PICTURE p = FlipAndRead();
  EXPECT_NEAR((int)(p.At(50, 50) >> 16), 0x20, 1);
  EXPECT_EQ(p.At(50, 50) & 0xFFFF, Texel(40, 40) & 0xFFFF);
  EXPECT_EQ(v[0].diffuse, 0xFFFFFFFFu) << "the caller's vertices stay as they were";
  // Bad graphs fail; -5 draws untextured.
  for (int bad : {-1, 12345}) {
    EXPECT_EQ(DrawUserVertices2D(quad, 4, D3DPT_TRIANGLESTRIP, bad, 0, 1), -1) << bad;
    EXPECT_EQ(DrawGraphVertices2D(v, 4, D3DPT_TRIANGLESTRIP, bad, 0), -1) << bad;
  }
  SetUp();
  EXPECT_EQ(DrawGraphVertices2D(v, 4, D3DPT_TRIANGLESTRIP, -5, 0), 0);
  EXPECT_EQ(FlipAndRead().Count(0xFFFFFF, 0, 0, 640, 480), 100 * 100);
  DeleteGraphHandle(part, 0);
  DeleteGraphHandle(sheet, 0);
}
}  // namespace

namespace {
TEST_F(DrawGraph, MaskDrawingKeepsGraphsOffMaskedPixels) {
  ASSERT_EQ(CreateMaskScreen(1), 0);
  RECT column = {20, 0, 40, 480};
  ASSERT_EQ(FillMaskScreenRect(&column, 1), 0);
  ASSERT_EQ(EnableMaskDrawing(1), 0);
  EXPECT_EQ(DrawGraphAt(10, 10, small, 0), 0);
  EXPECT_EQ(DrawGraphStretched(10, 200, 210, 400, pieces, 0), 0);
  EXPECT_EQ(MaskState.nesting, 0);
  EnableMaskDrawing(0);
  FillMaskScreenRect(&column, 0);
  EXPECT_EQ(WrongPixels(FlipAndRead(),
                        [](int px, int py, int* tx, int* ty) {
                          if (px >= 20 && px < 40) return false;
                          if (py >= 200) {
                            *tx = (px - 10) >> 1, *ty = (py - 200) >> 1;
                            return px >= 10 && px < 210 && py < 400;
                          }
                          return Placed(10, 10, 100, 100)(px, py, tx, ty);
                        }),
            "");
}
}  // namespace
