// The blends on Wine's real device: the basic modes' CPU cases as a table (exact on the CPU
// path, within one level by their shaders), every mode's shader against the CPU path, where
// each path reads the blend graph (the blend position and its switch), and the RGBA mix: its
// choice of shader as a pure table, its CPU copies, its shaders against them, refused
// selectors and pack entries.
#include <gtest/gtest.h>

#include <climits>
#include <functional>
#include <string>
#include <vector>

#include "filter/filter_blend.h"
#include "filter/filter_resources.h"
#include "filter/filter_rgba_mix.h"
#include "filter_test_graphs.h"
#include "graphics/device/d3d_calls.h"
#include "graphics/device/device_resources.h"
#include "graphics/device/vertex_batch.h"
#include "real_device.h"
#include "test_support.h"

namespace {
class FilterBlendTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { StartRealDevice(); }
  static void TearDownTestSuite() { EndRealDevice(); }
  void SetUp() override { ASSERT_EQ(FilterShadersUsable(), 1); }
  void TearDown() override { SetGraphFilterCpuOnly(0); }
};

uint32_t Gray(int v, int a = 255) { return Argb(a, v, v, v); }

// A blend of the whole of a 4 x 4 source with a 4 x 4 blend graph into a marked destination.
int Blend(int type, int ratio, int source, int blend, int dest, std::vector<int> selectors = {}) {
  selectors.resize(4);
  return ExecuteGraphFilter(1, source, blend, dest, ratio, type, 0, 0, 4, 4, 0, 0, 0, 0, 0, selectors[0],
                            selectors[1], selectors[2], selectors[3]);
}

struct BLEND_CASE {
  const char* name;
  int type, ratio;
  uint32_t source, blend, out;
};

const BLEND_CASE kCases[] = {
    {"ratio 0 keeps the source: Normal", BLEND_NORMAL, 0, Gray(90, 77), Gray(200), Gray(90, 77)},
    {"ratio 0 keeps the source: Burn", BLEND_BURN, 0, Gray(90, 77), Gray(20), Gray(90, 77)},
    {"ratio 0 keeps the alpha: Multiple_AOnly", BLEND_MULTIPLE_ALPHA_ONLY, 0, Gray(90, 77), Gray(20, 3), Gray(90, 77)},
    {"Normal 255: 0 under 255", BLEND_NORMAL, 255, Gray(0), Gray(255), Gray(254)},
    {"Normal 255: 255 under 0", BLEND_NORMAL, 255, Gray(255), Gray(0), Gray(0)},
    {"Normal 128: half, truncated", BLEND_NORMAL, 128, Gray(0), Gray(255), Gray(127)},
    {"Normal keeps the source alpha", BLEND_NORMAL, 255, Gray(0, 30), Gray(255), Gray(254, 30)},
    {"a transparent blend pixel keeps the source", BLEND_OVERLAY, 255, Gray(90), Gray(200, 0), Gray(90)},
    {"Multiple 255 x 255", BLEND_MULTIPLE, 255, Gray(255), Gray(255), Gray(254)},
    {"Difference never below 0", BLEND_DIFFERENCE, 255, Gray(10), Gray(50), Gray(0)},
    {"Difference 50 - 10", BLEND_DIFFERENCE, 255, Gray(50), Gray(10), Gray(40)},
    {"Add saturates", BLEND_ADD, 255, Gray(200), Gray(100), Gray(254)},
    {"Screen of 0 and 0", BLEND_SCREEN, 255, Gray(0), Gray(0), Gray(0)},
    {"Screen of 128 and 128", BLEND_SCREEN, 255, Gray(128), Gray(128), Gray(191)},
    {"Overlay, dark source", BLEND_OVERLAY, 255, Gray(100), Gray(200), Gray(155)},
    {"Overlay, bright source", BLEND_OVERLAY, 255, Gray(200), Gray(100), Gray(188)},
    {"Dodge under 255", BLEND_DODGE, 255, Gray(10), Gray(255), Gray(254)},
    {"Dodge", BLEND_DODGE, 255, Gray(60), Gray(128), Gray(119)},
    {"Burn of 255", BLEND_BURN, 255, Gray(255), Gray(7), Gray(255)},
    {"Burn", BLEND_BURN, 255, Gray(200), Gray(100), Gray(116)},
    {"Darken", BLEND_DARKEN, 255, Gray(100), Gray(200), Gray(100)},
    {"Lighten", BLEND_LIGHTEN, 255, Gray(100), Gray(200), Gray(199)},
    {"SoftLight, dark blend", BLEND_SOFT_LIGHT, 255, Gray(100), Gray(64), Gray(62)},
    {"HardLight, bright blend", BLEND_HARD_LIGHT, 255, Gray(100), Gray(200), Gray(187)},
    {"Exclusion", BLEND_EXCLUSION, 255, Gray(100), Gray(200), Gray(142)},
    {"Normal_AlphaCh, both opaque", BLEND_NORMAL_ALPHA, 255, Gray(100), Gray(200), Gray(199)},
    {"Normal_AlphaCh, transparent source", BLEND_NORMAL_ALPHA, 255, Gray(100, 0), Gray(200), Gray(200)},
    {"Normal_AlphaCh, both transparent: 0", BLEND_NORMAL_ALPHA, 255, Gray(100, 0), Gray(200, 0), 0},
    {"Add_AlphaCh", BLEND_ADD_ALPHA, 255, Gray(100, 128), Gray(200), Gray(250)},
    {"Add_AlphaCh, both transparent: 0", BLEND_ADD_ALPHA, 200, Gray(100, 0), Gray(200, 0), 0},
    {"Multiple_AOnly, blend alpha 128", BLEND_MULTIPLE_ALPHA_ONLY, 255, Gray(100), Gray(9, 128), Gray(100, 127)},
    {"Multiple_AOnly, blend alpha 255", BLEND_MULTIPLE_ALPHA_ONLY, 255, Gray(100), Gray(9), Gray(100, 254)},
    {"ratio 300 runs as 255", BLEND_NORMAL, 300, Gray(0), Gray(255), Gray(254)},
    {"ratio -5 runs as 0", BLEND_NORMAL, -5, Gray(0), Gray(255), Gray(0)},
};

TEST_F(FilterBlendTest, EachRowOnTheCpuPathExactlyAndByItsShaderWithinOne) {
  for (int shader = 0; shader < 2; shader++) {
    SetGraphFilterCpuOnly(!shader);
    for (const BLEND_CASE& c : kCases) {
      int source = MakeGraph(4, 4, [&](int, int) { return c.source; });
      int blend = MakeGraph(4, 4, [&](int, int) { return c.blend; });
      int dest = MakeGraph(4, 4, [](int, int) { return 0xFF010203u; });
      EXPECT_EQ(Blend(c.type, c.ratio, source, blend, dest), 0) << c.name;
      EXPECT_EQ(Compare(ReadGraph(dest), [&](int, int) { return c.out; }, shader), "")
          << c.name << (shader ? " (shader)" : " (CPU)");
      for (int g : {source, blend, dest}) DeleteGraphHandle(g, 0);
    }
  }
}

// Colour, alpha and luminance vary over both 16 x 16 patterns.
uint32_t SourcePattern(int x, int y) { return Argb(255 - (x + y) * 8, x * 17, y * 17, (x * y * 7 + 40) & 0xFF); }
uint32_t BlendPattern(int x, int y) { return Argb((x * 16 + y * 5) & 0xFF, 255 - y * 16, (x * 23 + 9) & 0xFF, y * 13); }

TEST_F(FilterBlendTest, EveryModesShaderMatchesItsCpuRuleOnPatterns) {
  for (int type = 0; type <= BLEND_MULTIPLE_ALPHA_ONLY; type++) {
    if (type == BLEND_RGBA_MIX) continue;
    for (int ratio : {0, 100, 255}) {
      int source = MakeGraph(16, 16, SourcePattern), blend = MakeGraph(16, 16, BlendPattern);
      int cpu = MakeGraph(16, 16, [](int, int) { return 0u; }), gpu = MakeGraph(16, 16, [](int, int) { return 0u; });
      SetGraphFilterCpuOnly(1);
      ASSERT_EQ(ExecuteGraphFilter(1, source, blend, cpu, ratio, type, 0, 0, 16, 16, 0, 0, 0, 0, 0), 0);
      SetGraphFilterCpuOnly(0);
      ASSERT_EQ(ExecuteGraphFilter(1, source, blend, gpu, ratio, type, 0, 0, 16, 16, 0, 0, 0, 0, 0), 0);
      PIXELS want = ReadGraph(cpu);
      EXPECT_EQ(Compare(ReadGraph(gpu), [&](int x, int y) { return want.At(x, y); }, type == BLEND_SOFT_LIGHT ? 2 : 1),
                "")
          << GetFilterShaderFileName(FILTER_SHADER_BLEND_NORMAL + (type ? type - 1 : 0)) << " ratio " << ratio;
      for (int g : {source, blend, cpu, gpu}) DeleteGraphHandle(g, 0);
    }
  }
}

// The RGBA mix of a selection from a source and a blend pixel (0xAARRGGBB).
uint32_t Mix(const std::vector<int>& selectors, uint32_t source, uint32_t blend) {
  const int shift[4] = {16, 8, 0, 24};  // red, green, blue, alpha
  uint32_t out = 0;
  for (int i = 0; i < 4; i++)
    out |= (uint32_t)Channel(selectors[i] >= 4 ? blend : source, shift[selectors[i] & 3]) << shift[i];
  return out;
}

// One blend request and, after clipping, the rectangle (x1, y1, w x h), the blend position and
// the destination point.
struct PLACE_CASE {
  const char* name;
  int x1, y1, x2, y2, blendX, blendY, useBlendPosition, destX, destY;
  int cx1, cy1, w, h, cBlendX, cBlendY, cDestX, cDestY;
};

const PLACE_CASE kPlaces[] = {
    {"at the blend position", 3, 2, 11, 12, 7, 1, 1, 4, 5, 3, 2, 8, 10, 7, 1, 4, 5},
    {"the position moves with a clipped source", -2, 0, 6, 4, 3, 3, 1, 0, 0, 0, 0, 6, 4, 5, 3, 2, 0},
    {"the position moves with a clipped destination", 0, 1, 8, 9, 4, 6, 1, -3, 0, 3, 1, 5, 8, 7, 6, 0, 0},
    {"switch 0 stretches the graph whatever the position", 2, 2, 18, 18, 9, 9, 0, 1, 3, 2, 2, 16, 16, 9, 9, 1, 3},
};

TEST_F(FilterBlendTest, TheShaderPathReadsTheBlendGraphAtTheBlendPositionOrStretchedAndTheCpuPathAtTheSource) {
  // The blend graph's 20 x 20 pixels, as a graph of its own and as part of a larger texture.
  auto blendPixel = [](int x, int y) { return BlendPattern(x + 6, y + 9); };
  int parent = MakeGraph(32, 32, BlendPattern, 0), part = CreateDerivedGraph(6, 9, 20, 20, parent);
  int plain = MakeGraph(20, 20, blendPixel);
  int source = MakeGraph(20, 20, SourcePattern);
  // Selections that read the blend graph at stage 1, or (remapped) at stage 0.
  const std::vector<int> selections[] = {{4, 5, 6, 7}, {0, 5, 2, 7}, {4, 5, 6, 3}};
  for (int shader = 0; shader < 2; shader++)
    for (const PLACE_CASE& c : kPlaces)
      for (int blend : {plain, part})
        for (const std::vector<int>& s : selections) {
          SetGraphFilterCpuOnly(!shader);
          int dest = MakeGraph(24, 24, [](int, int) { return 0xFF010203u; });
          ASSERT_EQ(ExecuteGraphFilter(1, source, blend, dest, 255, BLEND_RGBA_MIX, c.x1, c.y1, c.x2, c.y2, c.blendX,
                                       c.blendY, c.useBlendPosition, c.destX, c.destY, s[0], s[1], s[2], s[3]),
                    0);
          auto want = [&](int x, int y) {
            int i = x - c.cDestX, j = y - c.cDestY;
            if (i < 0 || i >= c.w || j < 0 || j >= c.h) return 0xFF010203u;
            int bx = c.cx1 + i, by = c.cy1 + j;  // the CPU path: the source rectangle's own place
            if (shader && c.useBlendPosition) bx = c.cBlendX + i, by = c.cBlendY + j;
            // Stretched and point-sampled: the blend pixel under the destination pixel's centre.
            if (shader && !c.useBlendPosition) bx = (2 * i + 1) * 20 / (2 * c.w), by = (2 * j + 1) * 20 / (2 * c.h);
            return Mix(s, SourcePattern(c.cx1 + i, c.cy1 + j), blendPixel(bx, by));
          };
          EXPECT_EQ(Compare(ReadGraph(dest), want, 0), "")
              << c.name << (shader ? " (shader)" : " (CPU)") << (blend == part ? ", part of a texture" : "")
              << ", selectors " << s[0] << s[1] << s[2] << s[3];
          DeleteGraphHandle(dest, 0);
        }
  for (int g : {source, plain, part, parent}) DeleteGraphHandle(g, 0);
}

TEST_F(FilterBlendTest, ABasicBlendAtABlendPositionAndBeyondTheBlendGraph) {
  // The blend graph black but for columns 16 to 27; Normal at full ratio over black.
  int blend = MakeGraph(32, 16, [](int x, int) { return x >= 16 && x < 28 ? 0xFFFFFFFFu : 0xFF000000u; });
  int source = MakeGraph(16, 16, [](int, int) { return 0xFF000000u; });
  struct CASE {
    const char* name;
    int shader, blendX, width;
    std::function<int(int)> level;  // the result's grey level at column x
  } cases[] = {
      {"shader: the white columns at (16, 0)", 1, 16, 16, [](int x) { return x < 12 ? 254 : 0; }},
      {"CPU: the source rectangle's place, black", 0, 16, 16, [](int) { return 0; }},
      // Not moved back into the blend graph: beyond its edge the sampler repeats the last column.
      {"shader: reaching beyond the blend graph", 1, 24, 16, [](int x) { return x < 4 ? 254 : 0; }},
  };
  for (const CASE& c : cases) {
    SetGraphFilterCpuOnly(!c.shader);
    int dest = MakeGraph(16, 16, [](int, int) { return 0xFF010203u; });
    ASSERT_EQ(ExecuteGraphFilter(1, source, blend, dest, 255, BLEND_NORMAL, 0, 0, c.width, 16, c.blendX, 0, 1, 0, 0),
              0);
    EXPECT_EQ(Compare(ReadGraph(dest), [&](int x, int) { return Gray(c.level(x)); }, c.shader), "") << c.name;
    DeleteGraphHandle(dest, 0);
  }
  for (int g : {source, blend}) DeleteGraphHandle(g, 0);
}

// A blend position moved past INT_MAX with the source lies beyond the blend graph's right edge
// (moved past INT_MIN, beyond its left edge); it does not wrap around to the other side. Read
// from the blend coordinates of the quad sent to the device: so far outside a graph the sampler
// gives no position away.
DEVICE_CALL_TABLE passedCalls;
float quadBlendU[2];

TEST_F(FilterBlendTest, ABlendPositionMovedPastTheIntRangeIsReadBeyondTheEdgeItPassed) {
  int blend = MakeGraph(32, 16, [](int x, int) { return x >= 16 ? 0xFFFFFFFFu : 0xFF000000u; });
  int source = MakeGraph(16, 16, [](int, int) { return 0xFF000000u; });
  passedCalls = DeviceCalls;
  DeviceCalls.DeviceDrawPrimitiveUP = [](D3DPRIMITIVETYPE type, UINT count, const void* data, UINT stride) {
    if (stride == sizeof(VERTEX_2D_TEX2)) {
      const VERTEX_2D_TEX2* v = (const VERTEX_2D_TEX2*)data;
      quadBlendU[0] = v[0].u2, quadBlendU[1] = v[1].u2;  // top-left, top-right
    }
    return passedCalls.DeviceDrawPrimitiveUP(type, count, data, stride);
  };
  struct CASE {
    const char* name;
    int x1, destX, blendX;
    float lowest, highest;  // the range both blend u must lie in
  } cases[] = {
      {"inside the graph", 0, 0, 8, 0.25f, 0.75f},
      {"source and destination at INT_MIN move the blend position past INT_MAX", INT_MIN, INT_MIN, 0, 1.0e7f, 1.0e9f},
      {"one pixel moves a blend position at INT_MAX past it", -1, -1, INT_MAX, 1.0e7f, 1.0e9f},
      {"a blend position at INT_MIN stays beyond the left edge", 0, 0, INT_MIN, -1.0e9f, -1.0e7f},
  };
  for (const CASE& c : cases) {
    int dest = MakeGraph(16, 16, [](int, int) { return 0xFF010203u; });
    quadBlendU[0] = quadBlendU[1] = 0.5f;
    EXPECT_EQ(ExecuteGraphFilter(1, source, blend, dest, 255, BLEND_NORMAL, c.x1, 0, 16, 16, c.blendX, 0, 1, c.destX, 0),
              0)
        << c.name;
    for (float u : quadBlendU) {
      EXPECT_GE(u, c.lowest) << c.name;
      EXPECT_LE(u, c.highest) << c.name;
    }
    DeleteGraphHandle(dest, 0);
  }
  DeviceCalls = passedCalls;
  for (int g : {source, blend}) DeleteGraphHandle(g, 0);
}

struct CHOICE_CASE {
  std::vector<int> selectors;
  int kind, index, swap;
  std::vector<int> remapped;
  const char* name;
};

const CHOICE_CASE kChoices[] = {
    {{2, 1, 0, 3}, RGBA_MIX_PACK, 147, 0, {2, 1, 0, 3}, ""},
    {{0, 1, 2, 3}, RGBA_MIX_PACK, 27, 0, {0, 1, 2, 3}, ""},
    {{4, 5, 6, 7}, RGBA_MIX_PACK, 27, 1, {0, 1, 2, 3}, ""},
    {{7, 7, 4, 5}, RGBA_MIX_PACK, 3 * 64 + 3 * 16 + 0 + 1, 1, {3, 3, 0, 1}, ""},
    {{0, 1, 2, 7}, RGBA_MIX_NAMED, 3, 0, {0, 1, 2, 7}, "RGBAMix_SRSGSBBA.pso"},
    {{4, 5, 6, 3}, RGBA_MIX_NAMED, 3, 1, {0, 1, 2, 7}, "RGBAMix_SRSGSBBA.pso"},
    {{5, 5, 5, 0}, RGBA_MIX_NAMED, 2 * 4 + 0, 1, {1, 1, 1, 4}, "RGBAMix_SGSGSGBR.pso"},
    {{2, 2, 2, 6}, RGBA_MIX_NAMED, 3 * 4 + 2, 0, {2, 2, 2, 6}, "RGBAMix_SBSBSBBB.pso"},
    {{0, 0, 0, 5}, RGBA_MIX_NAMED, 1 * 4 + 1, 0, {0, 0, 0, 5}, "RGBAMix_SRSRSRBG.pso"},
    {{3, 3, 3, 7}, RGBA_MIX_GENERAL, -1, 0, {3, 3, 3, 7}, "RGBAMix_Base.pso"},
    {{0, 4, 1, 5}, RGBA_MIX_GENERAL, -1, 0, {0, 4, 1, 5}, "RGBAMix_Base.pso"},
    {{7, 7, 7, 0}, RGBA_MIX_GENERAL, -1, 0, {7, 7, 7, 0}, "RGBAMix_Base.pso"},
    {{0, 1, 6, 4}, RGBA_MIX_GENERAL, -1, 0, {0, 1, 6, 4}, "RGBAMix_Base.pso"},
};

TEST(FilterRgbaMixChoice, SelectionsMapToTheirShadersAndRemapping) {
  for (const CHOICE_CASE& c : kChoices) {
    RGBA_MIX_CHOICE choice;
    std::string row = std::to_string(c.selectors[0]) + std::to_string(c.selectors[1]) +
                      std::to_string(c.selectors[2]) + std::to_string(c.selectors[3]);
    ASSERT_EQ(ChooseRgbaMixShader(c.selectors.data(), &choice), 0) << row;
    EXPECT_EQ(choice.kind, c.kind) << row;
    EXPECT_EQ(choice.index, c.index) << row;
    EXPECT_EQ(choice.swap, c.swap) << row;
    EXPECT_EQ(std::vector<int>(choice.selectors, choice.selectors + 4), c.remapped) << row;
    EXPECT_STREQ(choice.name, c.name) << row;
  }
  // Every selection of selectors 0-7 has a shader; each named file is one of the sixteen.
  std::vector<int> namedSeen(RGBA_MIX_NAMED_COUNT, 0);
  for (int i = 0; i < 8 * 8 * 8 * 8; i++) {
    const int s[4] = {i >> 9 & 7, i >> 6 & 7, i >> 3 & 7, i & 7};
    RGBA_MIX_CHOICE choice;
    ASSERT_EQ(ChooseRgbaMixShader(s, &choice), 0) << i;
    if (choice.kind == RGBA_MIX_PACK) {
      ASSERT_TRUE(choice.index >= 0 && choice.index < 256) << i;
    }
    if (choice.kind == RGBA_MIX_NAMED) {
      ASSERT_TRUE(choice.index >= 0 && choice.index < RGBA_MIX_NAMED_COUNT) << i;
      namedSeen[choice.index]++;
    }
  }
  for (int i = 0; i < RGBA_MIX_NAMED_COUNT; i++) EXPECT_GT(namedSeen[i], 0) << i;
  for (std::vector<int> bad : {std::vector<int>{8, 0, 0, 0}, {0, -1, 0, 0}, {0, 0, 100, 0}, {0, 0, 0, 9}}) {
    RGBA_MIX_CHOICE choice;
    EXPECT_EQ(ChooseRgbaMixShader(bad.data(), &choice), -1);
  }
}

TEST_F(FilterBlendTest, RgbaMixCopiesChannelsOnTheCpuPathWhateverTheRatio) {
  const uint32_t s = Argb(0x11, 0x22, 0x33, 0x44), b = Argb(0x55, 0x66, 0x77, 0x88);
  struct CASE {
    std::vector<int> selectors;
    uint32_t out;
  } cases[] = {
      {{2, 1, 0, 3}, Argb(0x11, 0x44, 0x33, 0x22)}, {{4, 5, 6, 7}, b},
      {{0, 1, 2, 7}, Argb(0x55, 0x22, 0x33, 0x44)}, {{5, 5, 5, 0}, Argb(0x22, 0x77, 0x77, 0x77)},
      {{3, 3, 3, 7}, Argb(0x55, 0x11, 0x11, 0x11)}, {{0, 4, 1, 5}, Argb(0x77, 0x22, 0x66, 0x33)},
  };
  for (int shader = 0; shader < 2; shader++)
    for (int ratio : {0, 128, 255})
      for (const CASE& c : cases) {
        SetGraphFilterCpuOnly(!shader);
        int source = MakeGraph(4, 4, [&](int, int) { return s; }), blend = MakeGraph(4, 4, [&](int, int) { return b; });
        int dest = MakeGraph(4, 4, [](int, int) { return 0u; });
        ASSERT_EQ(Blend(BLEND_RGBA_MIX, ratio, source, blend, dest, c.selectors), 0);
        EXPECT_EQ(Compare(ReadGraph(dest), [&](int, int) { return c.out; }, 0), "")
            << c.selectors[0] << c.selectors[1] << c.selectors[2] << c.selectors[3] << " ratio " << ratio << " shader "
            << shader;
        for (int g : {source, blend, dest}) DeleteGraphHandle(g, 0);
      }
}

TEST_F(FilterBlendTest, RgbaMixShadersOfEveryKindMatchTheCpuPathOnPatterns) {
  int rows = 0;
  // A spread of selections (every 61st of the 4096), into one destination each on both paths.
  int source = MakeGraph(8, 8, SourcePattern), blend = MakeGraph(8, 8, BlendPattern);
  for (int i = 0; i < 8 * 8 * 8 * 8; i += 61) {
    std::vector<int> s = {i >> 9 & 7, i >> 6 & 7, i >> 3 & 7, i & 7};
    rows++;
    int cpu = MakeGraph(8, 8, [](int, int) { return 0u; }), gpu = MakeGraph(8, 8, [](int, int) { return 0u; });
    SetGraphFilterCpuOnly(1);
    ASSERT_EQ(ExecuteGraphFilter(1, source, blend, cpu, 99, BLEND_RGBA_MIX, 0, 0, 8, 8, 0, 0, 0, 0, 0, s[0], s[1], s[2],
                                 s[3]),
              0);
    SetGraphFilterCpuOnly(0);
    ASSERT_EQ(ExecuteGraphFilter(1, source, blend, gpu, 99, BLEND_RGBA_MIX, 0, 0, 8, 8, 0, 0, 0, 0, 0, s[0], s[1], s[2],
                                 s[3]),
              0);
    PIXELS want = ReadGraph(cpu);
    EXPECT_EQ(Compare(ReadGraph(gpu), [&](int x, int y) { return want.At(x, y); }, 0), "")
        << s[0] << s[1] << s[2] << s[3];
    DeleteGraphHandle(cpu, 0);
    DeleteGraphHandle(gpu, 0);
  }
  DeleteGraphHandle(source, 0);
  DeleteGraphHandle(blend, 0);
  // The fixed selections of every kind, swapped or not.
  for (const CHOICE_CASE& c : kChoices) {
    int source = MakeGraph(8, 8, SourcePattern), blend = MakeGraph(8, 8, BlendPattern);
    int cpu = MakeGraph(8, 8, [](int, int) { return 0u; }), gpu = MakeGraph(8, 8, [](int, int) { return 0u; });
    const std::vector<int>& s = c.selectors;
    SetGraphFilterCpuOnly(1);
    ASSERT_EQ(ExecuteGraphFilter(1, source, blend, cpu, 0, 1, 0, 0, 8, 8, 0, 0, 0, 0, 0, s[0], s[1], s[2], s[3]), 0);
    SetGraphFilterCpuOnly(0);
    ASSERT_EQ(ExecuteGraphFilter(1, source, blend, gpu, 0, 1, 0, 0, 8, 8, 0, 0, 0, 0, 0, s[0], s[1], s[2], s[3]), 0);
    PIXELS want = ReadGraph(cpu);
    EXPECT_EQ(Compare(ReadGraph(gpu), [&](int x, int y) { return want.At(x, y); }, 0), "") << c.name;
    for (int g : {source, blend, cpu, gpu}) DeleteGraphHandle(g, 0);
  }
  EXPECT_GT(rows, 60);
}

TEST_F(FilterBlendTest, RgbaMixRefusesSelectorsOutsideZeroToSevenAndDrawsNothing) {
  for (int shader = 0; shader < 2; shader++) {
    SetGraphFilterCpuOnly(!shader);
    int source = MakeGraph(4, 4, SourcePattern), blend = MakeGraph(4, 4, BlendPattern);
    int dest = MakeGraph(4, 4, [](int, int) { return 0xFF010203u; });
    for (std::vector<int> bad : {std::vector<int>{8, 0, 0, 0}, {0, -1, 0, 0}, {0, 0, 0, 1000}}) {
      EXPECT_EQ(Blend(BLEND_RGBA_MIX, 255, source, blend, dest, bad), -1) << shader;
      EXPECT_EQ(Compare(ReadGraph(dest), [](int, int) { return 0xFF010203u; }, 0), "") << shader;
    }
    for (int g : {source, blend, dest}) DeleteGraphHandle(g, 0);
  }
}

TEST_F(FilterBlendTest, APackEntryTooLongOrMissingIsRefusedWithItsMessage) {
  // Entry 0 * 64 + 0 * 16 + 0 * 4 + 1: red, red, red, green of the source.
  const int index = 1;
  int source = MakeGraph(4, 4, SourcePattern), blend = MakeGraph(4, 4, BlendPattern);
  int dest = MakeGraph(4, 4, [](int, int) { return 0xFF010203u; });
  if (FilterState.shaders.rgbaMix[index] >= 0) DeleteHandle(FilterState.shaders.rgbaMix[index]);
  uint16_t& size = BuiltInShaderCode.rgbaMixSizes[index / 4][index % 4];
  const uint8_t*& code = BuiltInShaderCode.rgbaMixCode[index / 4][index % 4];
  const uint16_t realSize = size;
  const uint8_t* realCode = code;
  size = 32768;
  EXPECT_EQ(Blend(BLEND_RGBA_MIX, 255, source, blend, dest, {0, 0, 0, 1}), -1);
  EXPECT_NE(ReadLog().find("RGBAMixS フィルター用シェーダーの作成に失敗しました"), std::string::npos);
  size = realSize, code = nullptr;
  EXPECT_EQ(Blend(BLEND_RGBA_MIX, 255, source, blend, dest, {0, 0, 0, 1}), -1);
  EXPECT_EQ(Compare(ReadGraph(dest), [](int, int) { return 0xFF010203u; }, 0), "");
  code = realCode;
  ASSERT_EQ(Blend(BLEND_RGBA_MIX, 255, source, blend, dest, {0, 0, 0, 1}), 0);
  EXPECT_GE(FilterState.shaders.rgbaMix[index], 0);
  EXPECT_EQ(Compare(ReadGraph(dest),
                    [](int x, int y) {
                      uint32_t s = SourcePattern(x, y);
                      return Argb(Channel(s, 8), Channel(s, 16), Channel(s, 16), Channel(s, 16));
                    },
                    0),
            "");
  for (int g : {source, blend, dest}) DeleteGraphHandle(g, 0);
}
}  // namespace
