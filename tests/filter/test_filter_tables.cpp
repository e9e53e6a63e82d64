// HSB, Level, GradientMap and DownScale on Wine's real device: each filter's CPU cases as a
// table (the CPU path forced on the device, exact) and the same rows by the pixel shaders, the
// shaders against the CPU path on patterns, the tables kept between runs, the empty input
// range, refused gradients, and DownScale's sizes.
#include <gtest/gtest.h>

#include <algorithm>

#include <vector>

#include "filter/filter_level.h"
#include "filter/filter_resources.h"
#include "filter_test_graphs.h"
#include "graphics/device/shader_handles.h"
#include "graphics/graphs/texture_transfer.h"
#include "read_back.h"
#include "real_device.h"

namespace {
class FilterTablesTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { StartRealDevice(); }
  static void TearDownTestSuite() { EndRealDevice(); }
  void SetUp() override { ASSERT_EQ(FilterShadersUsable(), 1); }
  void TearDown() override { SetGraphFilterCpuOnly(0); }
};

enum { DOWN_SCALE = 2, HSB = 4, LEVEL = 6, GRADIENT_MAP = 8 };

uint32_t Gray(int v, int a = 255) { return Argb(a, v, v, v); }

struct PIXEL_CASE {
  const char* name;
  int type;
  std::vector<int> params;
  uint32_t in, out;  // 0xAARRGGBB
  int shaderTolerance;
};

const PIXEL_CASE kCases[] = {
    {"HSB identity: white", HSB, {0, 0, 0, 0}, 0xFFFFFFFF, Gray(254), 2},
    {"HSB identity keeps alpha", HSB, {0, 0, 0, 0}, Argb(0x40, 255, 0, 0), Argb(0x40, 253, 0, 0), 2},
    {"HSB hue 120: red to green", HSB, {0, 120, 0, 0}, Argb(255, 255, 0, 0), Argb(255, 0, 253, 0), 2},
    {"HSB hue 240 clamps to 180", HSB, {0, 240, 0, 0}, Argb(255, 255, 0, 0), Argb(255, 0, 253, 253), 2},
    {"HSB hue -120: red to blue", HSB, {0, -120, 0, 0}, Argb(255, 255, 0, 0), Argb(255, 0, 0, 253), 2},
    {"HSB mode 1, hue 360 is red", HSB, {1, 360, 0, 0}, Argb(255, 0, 255, 0), Argb(255, 253, 0, 0), 2},
    {"HSB mode 1, hue 60: yellow", HSB, {1, 60, 0, 0}, Argb(255, 0, 0, 255), Argb(255, 253, 253, 0), 2},
    {"HSB saturation -255 greys", HSB, {0, 0, -255, 0}, Argb(255, 255, 0, 0), Gray(127), 2},
    {"HSB saturation 255 saturates", HSB, {0, 0, 255, 0}, Argb(255, 160, 96, 96), Argb(255, 255, 0, 0), 2},
    {"HSB brightness 255: white", HSB, {0, 0, 0, 255}, Argb(255, 10, 90, 200), Gray(254), 2},
    {"HSB brightness -255: black", HSB, {0, 0, 0, -255}, Argb(255, 10, 90, 200), Gray(0), 2},
    {"HSB brightness 1000 as 255", HSB, {0, 0, 0, 1000}, Argb(255, 10, 90, 200), Gray(254), 2},
    {"HSB brightness -1000 as -255", HSB, {2, 0, 0, -1000}, Argb(255, 10, 90, 200), Gray(0), 2},
    {"Level identity lowers by one", LEVEL, {0, 255, 100, 0, 255}, Argb(0x80, 255, 128, 0), Argb(0x80, 254, 127, 0),
     1},
    {"Level gamma 200", LEVEL, {0, 255, 200, 0, 255}, Gray(64), Gray(126), 1},
    {"Level output range", LEVEL, {0, 255, 100, 50, 150}, Argb(255, 255, 0, 128), Argb(255, 149, 50, 100), 1},
    {"Level input range", LEVEL, {100, 200, 100, 0, 255}, Argb(255, 50, 150, 250), Argb(255, 0, 127, 254), 1},
    {"Level min above max: step, low", LEVEL, {200, 100, 100, 0, 255}, Gray(100), Gray(0), 0},
    {"Level min above max: step, high", LEVEL, {200, 100, 100, 0, 255}, Gray(101), Gray(254), 0},
    {"Level empty range: step", LEVEL, {30, 30, 100, 10, 240}, Argb(7, 29, 30, 31), Argb(7, 10, 10, 239), 0},
};

TEST_F(FilterTablesTest, EachRowOnTheCpuPathExactlyAndByItsShaderWithinItsTolerance) {
  for (int shader = 0; shader < 2; shader++) {
    SetGraphFilterCpuOnly(!shader);
    for (const PIXEL_CASE& c : kCases) {
      int graph = MakeGraph(4, 4, [&](int, int) { return c.in; });
      ASSERT_GE(graph, 0) << c.name;
      EXPECT_EQ(ApplyWithParams(graph, c.type, c.params), 0) << c.name;
      EXPECT_EQ(Compare(ReadGraph(graph), [&](int, int) { return c.out; }, shader ? c.shaderTolerance : 0), "")
          << c.name << (shader ? " (shader)" : " (CPU)");
      DeleteGraphHandle(graph, 0);
    }
  }
}

// Colour, alpha and luminance vary over the 16 x 16 pattern.
uint32_t Pattern(int x, int y) { return Argb(255 - (x + y) * 8, x * 17, y * 17, (x * y * 7 + 40) & 0xFF); }

struct PATTERN_CASE {
  const char* name;
  int type;
  std::vector<int> params;
  int tolerance;
};

const PATTERN_CASE kPatternCases[] = {
    {"HSB shift", HSB, {0, 77, 40, 30}, 4},
    {"HSB shift back, desaturated, darker", HSB, {0, -150, -100, -60}, 4},
    {"HSB hue lock", HSB, {1, 200, 120, -20}, 4},
    {"HSB mode 2", HSB, {2, 300, 0, 0}, 4},
    {"Level", LEVEL, {20, 230, 70, 10, 250}, 1},
    {"Level, strong gamma", LEVEL, {0, 255, 300, 0, 255}, 1},
    {"Level, empty range", LEVEL, {120, 120, 100, 0, 255}, 1},
};

TEST_F(FilterTablesTest, ShadersMatchTheCpuPathOnPatterns) {
  // Drawable graphs are filtered in place; texture graphs go through work targets.
  for (int drawable = 1; drawable >= 0; drawable--)
    for (const PATTERN_CASE& c : kPatternCases) {
      int cpu = MakeGraph(16, 16, Pattern, drawable), gpu = MakeGraph(16, 16, Pattern, drawable);
      ASSERT_TRUE(cpu >= 0 && gpu >= 0) << c.name;
      SetGraphFilterCpuOnly(1);
      ASSERT_EQ(ApplyWithParams(cpu, c.type, c.params), 0) << c.name;
      SetGraphFilterCpuOnly(0);
      ASSERT_EQ(ApplyWithParams(gpu, c.type, c.params), 0) << c.name;
      PIXELS want = ReadGraph(cpu);
      EXPECT_EQ(Compare(ReadGraph(gpu), [&](int x, int y) { return want.At(x, y); }, c.tolerance), "")
          << c.name << (drawable ? " (drawable)" : " (texture)");
      DeleteGraphHandle(cpu, 0);
      DeleteGraphHandle(gpu, 0);
    }
}

TEST_F(FilterTablesTest, HsbShadersAgainstTheCpuPathOverManyColours) {
  // 64 x 64 colours spread over the RGB cube, with alpha. Mode 1 runs in one pass and matches
  // the CPU path exactly; the other modes pass the hue through an 8-bit intermediate image.
  auto colours = [](int x, int y) {
    return Argb((x * 5 + y * 3) & 0xFF, x * 4 + (y & 3), y * 4 + (x & 3), ((x ^ y) * 4 + (x * y)) & 0xFF);
  };
  struct CASE {
    std::vector<int> params;
    int tolerance;
  } cases[] = {
      {{1, 200, 120, -20}, 0}, {{1, 0, 0, 0}, 0},      {{1, 359, -255, 90}, 0},  {{1, 77, 255, -255}, 0},
      {{0, 77, 40, 30}, 4},    {{0, -150, -100, -60}, 4}, {{0, 0, 0, 0}, 4},     {{2, 300, 255, 255}, 4},
  };
  for (const CASE& c : cases) {
    int cpu = MakeGraph(64, 64, colours), gpu = MakeGraph(64, 64, colours);
    SetGraphFilterCpuOnly(1);
    ASSERT_EQ(ApplyWithParams(cpu, HSB, c.params), 0);
    SetGraphFilterCpuOnly(0);
    ASSERT_EQ(ApplyWithParams(gpu, HSB, c.params), 0);
    PIXELS want = ReadGraph(cpu);
    EXPECT_EQ(Compare(ReadGraph(gpu), [&](int x, int y) { return want.At(x, y); }, c.tolerance), "")
        << c.params[0] << " " << c.params[1] << " " << c.params[2] << " " << c.params[3];
    DeleteGraphHandle(cpu, 0);
    DeleteGraphHandle(gpu, 0);
  }
}

TEST_F(FilterTablesTest, EachPathBuildsItsGammaTableOnceAGamma) {
  int graph = MakeGraph(4, 4, Pattern);
  for (int shader = 0; shader < 2; shader++) {
    SetGraphFilterCpuOnly(!shader);
    ASSERT_EQ(ApplyGraphFilter(graph, LEVEL, 0, 255, 137, 0, 255), 0);
    int builds = CountLevelTableBuilds(shader);
    ASSERT_EQ(ApplyGraphFilter(graph, LEVEL, 0, 255, 137, 0, 255), 0);
    EXPECT_EQ(CountLevelTableBuilds(shader), builds) << shader;
    ASSERT_EQ(ApplyGraphFilter(graph, LEVEL, 0, 255, 138, 0, 255), 0);
    EXPECT_EQ(CountLevelTableBuilds(shader), builds + 1) << shader;
  }
  // The gamma graph is a slot: deleted, it is made and filled again.
  DeleteGraphHandle(FilterState.shaders.levelGammaGraph, 0);
  EXPECT_EQ(FilterState.shaders.levelGammaGraph, -1);
  int other = MakeGraph(4, 4, [](int, int) { return Gray(64); });
  ASSERT_EQ(ApplyGraphFilter(other, LEVEL, 0, 255, 200, 0, 255), 0);
  EXPECT_EQ(Compare(ReadGraph(other), [](int, int) { return Gray(126); }, 1), "");
  DeleteGraphHandle(graph, 0);
  DeleteGraphHandle(other, 0);
}

TEST_F(FilterTablesTest, TablePassesLeaveTheProgramsStageOneGraphSelected) {
  int graph = MakeGraph(8, 8, Pattern), mine = MakeGraph(4, 4, Pattern), gradient = MakeGraph(2, 1, Pattern);
  ASSERT_EQ(SetShaderTextureSlot(1, mine), 0);
  ASSERT_EQ(ApplyGraphFilter(graph, LEVEL, 10, 240, 150, 0, 255), 0);
  EXPECT_EQ(ShaderSelection.stageTextures[1], mine);
  ASSERT_EQ(ApplyGraphFilter(graph, GRADIENT_MAP, gradient, 0), 0);
  EXPECT_EQ(ShaderSelection.stageTextures[1], mine);
  SetShaderTextureSlot(1, 0);
  for (int g : {graph, mine, gradient}) DeleteGraphHandle(g, 0);
}

// A gradient row of the width: opaque or translucent colours far apart.
uint32_t GradientPixel(int x, int) { return Argb(x % 2 ? 0x80 : 0xFF, 40 + x * 50, 200 - x * 30, 90 + x * 7); }

TEST_F(FilterTablesTest, GradientMapPicksTheColumnOfTheLuminanceAlphaIncluded) {
  int gradient = MakeGraph(2, 1, GradientPixel);
  struct CASE {
    uint32_t in;
    int reverse, column;
  } cases[] = {
      {Gray(100, 7), 0, 0}, {Gray(200), 0, 1}, {Gray(100), 1, 1}, {Gray(200, 0), 1, 0},
      {0xFFFFFFFF, 0, 1},   {Gray(0), 0, 0},   {Gray(0), 1, 1},   {Argb(255, 255, 0, 0), 0, 0},
  };
  for (int shader = 0; shader < 2; shader++) {
    SetGraphFilterCpuOnly(!shader);
    for (const CASE& c : cases) {
      int graph = MakeGraph(4, 4, [&](int, int) { return c.in; });
      ASSERT_EQ(ApplyGraphFilter(graph, GRADIENT_MAP, gradient, c.reverse), 0);
      EXPECT_EQ(Compare(ReadGraph(graph), [&](int, int) { return GradientPixel(c.column, 0); }, 0), "")
          << std::hex << c.in << " reverse " << c.reverse << " shader " << shader;
      DeleteGraphHandle(graph, 0);
    }
  }
  // A wide gradient at an offset of its parent's texture, against the CPU path on a pattern.
  int parent = MakeGraph(64, 8, [](int x, int y) { return Argb(255 - x, x * 4, y * 30, 255 - x * 4); }, 0);
  int wide = CreateDerivedGraph(0, 3, 64, 4, parent);
  for (int reverse = 0; reverse < 2; reverse++) {
    int cpu = MakeGraph(16, 16, Pattern), gpu = MakeGraph(16, 16, Pattern);
    SetGraphFilterCpuOnly(1);
    ASSERT_EQ(ApplyGraphFilter(cpu, GRADIENT_MAP, wide, reverse), 0);
    SetGraphFilterCpuOnly(0);
    ASSERT_EQ(ApplyGraphFilter(gpu, GRADIENT_MAP, wide, reverse), 0);
    PIXELS want = ReadGraph(cpu);
    // Neighbouring columns differ by 4 at most: a luminance on a column's edge may fall either way.
    EXPECT_EQ(Compare(ReadGraph(gpu), [&](int x, int y) { return want.At(x, y); }, 4), "") << reverse;
    DeleteGraphHandle(cpu, 0);
    DeleteGraphHandle(gpu, 0);
  }
  for (int g : {gradient, wide, parent}) DeleteGraphHandle(g, 0);
}

TEST_F(FilterTablesTest, GradientMapWithoutALiveGradientIsRefusedOnBothPaths) {
  int gone = MakeGraph(2, 1, GradientPixel);
  DeleteGraphHandle(gone, 0);
  for (int shader = 0; shader < 2; shader++) {
    SetGraphFilterCpuOnly(!shader);
    int graph = MakeGraph(8, 8, Pattern);
    for (int gradient : {gone, -1, 0, -2}) {
      EXPECT_EQ(ApplyGraphFilter(graph, GRADIENT_MAP, gradient, 0), -1) << gradient << " shader " << shader;
      EXPECT_EQ(Compare(ReadGraph(graph), Pattern, 0), "") << gradient << " shader " << shader;
    }
    DeleteGraphHandle(graph, 0);
  }
}

TEST_F(FilterTablesTest, AMultiSampledGradientThatIsTheDrawTargetIsResolvedFirst) {
  GRAPH_CREATE_PARAM param;
  CaptureGraphCreateParam(&param);
  param.drawable = 1;
  param.colorBits = 32;
  param.multiSampleCount = 4;
  int gradient = CreateBlankGraph(&param, 4, 4, 0, 0, 0);
  ASSERT_GE(gradient, 0);
  ASSERT_EQ(SelectDrawTarget(gradient), 0);
  ClearDrawTarget(nullptr);
  ASSERT_EQ(DrawRectangle(-2, -2, 8, 8, Packed(0x20C040), 1), 0);
  ASSERT_EQ(IsGraphMultiSampled(gradient), 1);
  int graph = MakeGraph(4, 4, Pattern);
  ASSERT_EQ(ApplyGraphFilter(graph, GRADIENT_MAP, gradient, 0), 0);
  SelectDrawTarget(-2);
  // Unresolved, the gradient's texture would still be black. Its first row is an edge of the
  // drawn box (partly covered samples), and every pixel took one of its colours.
  PIXELS row = ReadGraph(gradient), got = ReadGraph(graph);
  ASSERT_EQ(got.argb.size(), 16u);
  for (int i = 0; i < 16; i++) {
    uint32_t c = got.argb[i] & 0xFFFFFF;
    EXPECT_NE(c, 0u) << i;
    bool found = false;
    for (int x = 0; x < 4; x++) found = found || (row.At(x, 0) & 0xFFFFFF) == c;
    EXPECT_TRUE(found) << i << ": " << std::hex << c;
  }
  DeleteGraphHandle(graph, 0);
  DeleteGraphHandle(gradient, 0);
}

// DownScale: the mean of each d x d block; which graph pixels are written.
TEST_F(FilterTablesTest, DownScaleAveragesWholeBlocksAndWritesOnlyTheReducedRectangle) {
  auto block = [](int x, int y) { return (x + y) % 2 ? 0xFFFFFFFFu : 0u; };
  struct CASE {
    const char* name;
    int divisor, size;  // a size x size source at (0, 0) into a 16 x 16 marked destination at (2, 1)
    int written;        // side of the written square
  } cases[] = {
      {"2 x 2 checks by 2", 2, 2, 1},   {"divisor 0 as 2", 0, 8, 4},     {"divisor 1 as 2", 1, 8, 4},
      {"divisor 3 as 4", 3, 8, 2},      {"10 x 10 by 4", 4, 10, 2},      {"divisor 100 as 8", 100, 16, 2},
      {"3 wide by 4: nothing", 4, 3, 0},
  };
  const uint32_t marker = 0xFF010203;
  for (int shader = 0; shader < 2; shader++) {
    SetGraphFilterCpuOnly(!shader);
    for (const CASE& c : cases) {
      int source = MakeGraph(16, 16, block), dest = MakeGraph(16, 16, [&](int, int) { return marker; });
      ASSERT_EQ(ExecuteGraphFilter(0, source, -1, dest, 0, DOWN_SCALE, 0, 0, c.size, c.size, 0, 0, 0, 2, 1, c.divisor),
                0)
          << c.name;
      // Every block holds as many white as black pixels: 510 x (d x d / 2) >> log2(d x d) = 127.
      auto want = [&](int x, int y) {
        return x >= 2 && x < 2 + c.written && y >= 1 && y < 1 + c.written ? 0x7F7F7F7Fu : marker;
      };
      EXPECT_EQ(Compare(ReadGraph(dest), want, shader ? 1 : 0), "") << c.name << (shader ? " (shader)" : " (CPU)");
      DeleteGraphHandle(source, 0);
      DeleteGraphHandle(dest, 0);
    }
  }
}

TEST_F(FilterTablesTest, DownScaleGivesEachBlockItsOwnMean) {
  // Every block of every divisor has its own mean in each channel, so a block read in the wrong
  // place, or a wrong shift, shows.
  auto source = [](int x, int y) {
    return Argb((x * 37 + y * 11) & 0xFF, (x * x + y * 53) & 0xFF, (x * 7 + y * y * 3) & 0xFF, (x * y + x + 5) & 0xFF);
  };
  const uint32_t marker = 0xFF010203;
  for (int shader = 0; shader < 2; shader++) {
    SetGraphFilterCpuOnly(!shader);
    for (int d : {2, 4, 8}) {
      // The 40 x 24 rectangle at (3, 5) of a 48 x 32 graph, reduced into a marked graph at (1, 2).
      int from = MakeGraph(48, 32, source), to = MakeGraph(48, 32, [&](int, int) { return marker; });
      ASSERT_EQ(ExecuteGraphFilter(0, from, -1, to, 0, DOWN_SCALE, 3, 5, 43, 29, 0, 0, 0, 1, 2, d), 0) << d;
      int shift = d == 2 ? 2 : d == 4 ? 4 : 6, w = 40 / d, h = 24 / d;
      auto want = [&](int x, int y) {
        int i = x - 1, j = y - 2;
        if (i < 0 || i >= w || j < 0 || j >= h) return marker;
        uint32_t out = 0;
        for (int channel = 0; channel < 32; channel += 8) {
          int sum = 0;
          for (int by = 0; by < d; by++)
            for (int bx = 0; bx < d; bx++) sum += Channel(source(3 + i * d + bx, 5 + j * d + by), channel);
          out |= (uint32_t)(sum >> shift) << channel;
        }
        return out;
      };
      PIXELS got = ReadGraph(to);
      EXPECT_EQ(Compare(got, want, shader ? 1 : 0), "") << "divisor " << d << (shader ? " (shader)" : " (CPU)");
      // The means do differ from block to block.
      std::vector<uint32_t> seen;
      for (int j = 0; j < h; j++)
        for (int i = 0; i < w; i++) seen.push_back(want(i + 1, j + 2));
      std::sort(seen.begin(), seen.end());
      EXPECT_EQ(std::unique(seen.begin(), seen.end()) - seen.begin(), (long)seen.size()) << d;
      DeleteGraphHandle(from, 0);
      DeleteGraphHandle(to, 0);
    }
  }
}

TEST_F(FilterTablesTest, DownScaleInPlaceAndOnPatternsMatchesTheCpuPath) {
  auto smooth = [](int x, int y) { return Argb(255 - x * 3, x * 4, y * 4, (x * y) & 0xFF); };
  for (int d : {2, 4, 8}) {
    int cpu = MakeGraph(64, 64, smooth), gpu = MakeGraph(64, 64, smooth);
    SetGraphFilterCpuOnly(1);
    ASSERT_EQ(ApplyGraphFilter(cpu, DOWN_SCALE, d), 0);
    SetGraphFilterCpuOnly(0);
    ASSERT_EQ(ApplyGraphFilter(gpu, DOWN_SCALE, d), 0);
    PIXELS want = ReadGraph(cpu);
    // Outside the reduced rectangle the graph keeps its pixels.
    for (int y = 0; y < 64; y++)
      for (int x = 0; x < 64; x++) {
        if (x >= 64 / d || y >= 64 / d) {
          ASSERT_EQ(want.At(x, y), smooth(x, y)) << x << "," << y;
        }
      }
    EXPECT_EQ(Compare(ReadGraph(gpu), [&](int x, int y) { return want.At(x, y); }, 1), "") << d;
    DeleteGraphHandle(cpu, 0);
    DeleteGraphHandle(gpu, 0);
  }
}
}  // namespace

namespace {
// Runs after the device suite has ended the library: software graphs, CPU passes only.
TEST(FilterTablesSoftware, CpuRowsHoldOnSoftwareGraphs) {
  ASSERT_EQ(SetHardwareRenderingWanted(0), 0);
  SetRunWhileInactive(1);
  ChangeWindowMode(1);
  SetScreenMode(640, 480, 32, 0);
  ASSERT_EQ(InitLibrary(), 0);
  EXPECT_EQ(FilterShadersUsable(), 0);
  for (const PIXEL_CASE& c : kCases) {
    int graph = MakeGraph(4, 4, [&](int, int) { return c.in; });
    ASSERT_GE(graph, 0) << c.name;
    EXPECT_EQ(ApplyWithParams(graph, c.type, c.params), 0) << c.name;
    EXPECT_EQ(Compare(ReadGraph(graph), [&](int, int) { return c.out; }, 0), "") << c.name;
    DeleteGraphHandle(graph, 0);
  }
  EndLibrary();
}
}  // namespace
