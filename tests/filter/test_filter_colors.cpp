// The per-pixel colour filters on Wine's real device: each filter's CPU cases as a table (the
// CPU path forced on the device, exact) and the same rows by the pixel shaders (within 2 per
// channel), the shaders against the CPU path on 16 x 16 patterns, and the cases that keep or
// refuse pixels.
#include <gtest/gtest.h>

#include <vector>

#include "filter/filter_resources.h"
#include "filter_test_graphs.h"
#include "graphics/device/screen.h"
#include "real_device.h"

namespace {
class FilterColorsTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { StartRealDevice(); }
  static void TearDownTestSuite() { EndRealDevice(); }
  void SetUp() override { ASSERT_EQ(FilterShadersUsable(), 1); }
  void TearDown() override { SetGraphFilterCpuOnly(0); }
};

enum { MONO = 0, BRIGHT_CLIP = 3, INVERT = 5, TWO_COLOR = 7, PREMULTIPLIED = 9 };
const uint32_t kColor1 = 0x0A141E, kColor2 = 0xC89664, kGreen = 0x00FF00;

struct COLOR_CASE {
  const char* name;
  int type;
  std::vector<int> params;
  unsigned colorParams;  // bit i: parameter i is an RGB colour, packed for the screen
  uint32_t in, out;      // 0xAARRGGBB
};

uint32_t Gray(int v, int a = 255) { return Argb(a, v, v, v); }

const COLOR_CASE kCases[] = {
    {"Mono without chroma: white", MONO, {0, 0}, 0, 0xFFFFFFFF, Gray(254)},
    {"Mono without chroma: black keeps its alpha", MONO, {0, 0}, 0, Gray(0, 0x40), Gray(0, 0x40)},
    {"Mono Cb 255: blue up, green down", MONO, {255, 0}, 0, Gray(100), Argb(255, 99, 56, 255)},
    {"Mono Cb 400 clamps as 255", MONO, {400, 0}, 0, Gray(100), Argb(255, 99, 56, 255)},
    {"Mono Cb -255", MONO, {-255, 0}, 0, Gray(100), Argb(255, 99, 143, 0)},
    {"Mono Cr 255", MONO, {0, 255}, 0, Gray(100, 0x80), Argb(0x80, 255, 8, 99)},
    {"Mono Cb 128, Cr 60", MONO, {128, 60}, 0, Argb(200, 90, 120, 30), Argb(200, 142, 57, 214)},
    {"Invert keeps alpha", INVERT, {}, 0, Argb(77, 10, 200, 255), Argb(77, 245, 55, 0)},
    {"PremultipliedAlpha: opaque white", PREMULTIPLIED, {}, 0, 0xFFFFFFFF, Gray(254)},
    {"PremultipliedAlpha: alpha 0", PREMULTIPLIED, {}, 0, Argb(0, 200, 100, 50), 0},
    {"PremultipliedAlpha: alpha 128", PREMULTIPLIED, {}, 0, Argb(128, 200, 100, 50), Argb(128, 100, 50, 25)},
    {"TwoColor threshold 0: colour 2", TWO_COLOR, {0, (int)kColor1, 40, (int)kColor2, 250}, 0xA, Gray(0),
     Argb(250, 200, 150, 100)},
    {"TwoColor threshold 256: colour 1", TWO_COLOR, {256, (int)kColor1, 40, (int)kColor2, 250}, 0xA, Gray(255),
     Argb(40, 10, 20, 30)},
    {"TwoColor threshold 128: bright", TWO_COLOR, {128, (int)kColor1, 40, (int)kColor2, 250}, 0xA, Gray(200),
     Argb(250, 200, 150, 100)},
    {"TwoColor threshold 128: dark", TWO_COLOR, {128, (int)kColor1, 40, (int)kColor2, 250}, 0xA, Gray(50, 9),
     Argb(40, 10, 20, 30)},
    {"BrightClip less, fill: dark filled", BRIGHT_CLIP, {2, 128, 1, (int)kGreen, 255}, 0x8, Gray(50),
     Argb(255, 0, 255, 0)},
    {"BrightClip less, fill: bright copied", BRIGHT_CLIP, {2, 128, 1, (int)kGreen, 255}, 0x8, Gray(200), Gray(200)},
    {"BrightClip greater, fill flag 2: bright filled", BRIGHT_CLIP, {5, 128, 2, (int)kGreen, 200}, 0x8, Gray(200),
     Argb(200, 0, 255, 0)},
    {"BrightClip greater, fill flag 2: dark copied", BRIGHT_CLIP, {5, 128, 2, (int)kGreen, 200}, 0x8, Gray(50),
     Gray(50)},
    {"BrightClip greater 300 clamps: nothing clipped", BRIGHT_CLIP, {5, 300, 1, (int)kGreen, 200}, 0x8, Gray(250),
     Gray(250)},
};

// The parameters with the marked ones packed as screen colours.
std::vector<int> PackParams(std::vector<int> p, unsigned colorParams) {
  for (size_t i = 0; i < p.size(); i++)
    if (colorParams >> i & 1) p[i] = PackedColor((uint32_t)p[i]);
  return p;
}
std::vector<int> Params(const COLOR_CASE& c) { return PackParams(c.params, c.colorParams); }

// Below the level on the CPU path's luminance.
bool DarkerThan(uint32_t c, int level) {
  return 1224 * Channel(c, 16) + 2404 * Channel(c, 8) + 466 * Channel(c, 0) < level * 4096;
}

TEST_F(FilterColorsTest, EachRowOnTheCpuPathExactlyAndByItsShaderWithinTwo) {
  for (int shader = 0; shader < 2; shader++) {
    SetGraphFilterCpuOnly(!shader);
    for (const COLOR_CASE& c : kCases) {
      int graph = MakeGraph(4, 4, [&](int, int) { return c.in; });
      ASSERT_GE(graph, 0) << c.name;
      EXPECT_EQ(ApplyWithParams(graph, c.type, Params(c)), 0) << c.name;
      EXPECT_EQ(Compare(ReadGraph(graph), [&](int, int) { return c.out; }, shader ? 2 : 0), "")
          << c.name << (shader ? " (shader)" : " (CPU)");
      DeleteGraphHandle(graph, 0);
    }
  }
}

// Colour, alpha and luminance vary over the 16 x 16 pattern.
uint32_t Pattern(int x, int y) {
  return Argb(255 - (x + y) * 8, x * 17, y * 17, (x * y * 7 + 40) & 0xFF);
}
double ShaderLuminance(uint32_t c) {
  return 0.299 * Channel(c, 16) + 0.587 * Channel(c, 8) + 0.114 * Channel(c, 0);
}

struct PATTERN_CASE {
  const char* name;
  int type;
  std::vector<int> params;
  unsigned colorParams;
  int threshold;  // the two paths may part where the luminance is this close to it; -1 none
};

const PATTERN_CASE kPatternCases[] = {
    {"Mono", MONO, {60, -90}, 0, -1},
    {"Invert", INVERT, {}, 0, -1},
    {"PremultipliedAlpha", PREMULTIPLIED, {}, 0, -1},
    {"TwoColor", TWO_COLOR, {120, (int)kColor1, 40, (int)kColor2, 250}, 0xA, 120},
    {"BrightClip less with fill", BRIGHT_CLIP, {2, 100, 1, (int)kGreen, 128}, 0x8, 100},
    {"BrightClip greater with fill", BRIGHT_CLIP, {5, 150, 1, (int)kGreen, 128}, 0x8, 150},
    {"BrightClip less without fill", BRIGHT_CLIP, {2, 100, 0}, 0, 100},
    {"BrightClip greater without fill", BRIGHT_CLIP, {5, 150, 0}, 0, 150},
};

TEST_F(FilterColorsTest, ShadersMatchTheCpuPathOnPatterns) {
  // Drawable graphs are filtered in place; texture graphs go through work targets.
  for (int drawable = 1; drawable >= 0; drawable--)
    for (const PATTERN_CASE& c : kPatternCases) {
      std::vector<int> params = PackParams(c.params, c.colorParams);
      int cpu = MakeGraph(16, 16, Pattern, drawable), gpu = MakeGraph(16, 16, Pattern, drawable);
      ASSERT_TRUE(cpu >= 0 && gpu >= 0) << c.name;
      SetGraphFilterCpuOnly(1);
      ASSERT_EQ(ApplyWithParams(cpu, c.type, params), 0) << c.name;
      SetGraphFilterCpuOnly(0);
      ASSERT_EQ(ApplyWithParams(gpu, c.type, params), 0) << c.name;
      PIXELS want = ReadGraph(cpu);
      auto clear = [&](int x, int y) {
        return c.threshold < 0 || std::abs(ShaderLuminance(Pattern(x, y)) - c.threshold) > 1.5;
      };
      EXPECT_EQ(Compare(ReadGraph(gpu), [&](int x, int y) { return want.At(x, y); }, 2, true, clear), "")
          << c.name << (drawable ? " (drawable)" : " (texture)");
      DeleteGraphHandle(cpu, 0);
      DeleteGraphHandle(gpu, 0);
    }
}

TEST_F(FilterColorsTest, InvertTwiceRestoresTheImageAndNeverTouchesAlpha) {
  for (int shader = 0; shader < 2; shader++) {
    SetGraphFilterCpuOnly(!shader);
    int graph = MakeGraph(16, 16, Pattern);
    ASSERT_EQ(ApplyGraphFilter(graph, INVERT), 0);
    EXPECT_EQ(Compare(ReadGraph(graph), [](int x, int y) { return Pattern(x, y) ^ 0x00FFFFFF; }, 0), "") << shader;
    ASSERT_EQ(ApplyGraphFilter(graph, INVERT), 0);
    EXPECT_EQ(Compare(ReadGraph(graph), Pattern, 0), "") << shader;
    DeleteGraphHandle(graph, 0);
  }
}

TEST_F(FilterColorsTest, BrightClipWithoutFillLeavesClippedPixelsAsTheDestinationHadThem) {
  const uint32_t marker = Argb(255, 1, 2, 3);
  for (int shader = 0; shader < 2; shader++)
    for (int drawable = 1; drawable >= 0; drawable--) {
      SetGraphFilterCpuOnly(!shader);
      int source = MakeGraph(16, 16, Pattern), dest = MakeGraph(16, 16, [&](int, int) { return marker; }, drawable);
      ASSERT_EQ(ExecuteGraphFilter(0, source, -1, dest, 0, BRIGHT_CLIP, 0, 0, 16, 16, 0, 0, 0, 0, 0, 2, 128, 0), 0);
      auto asked = [](int x, int y) { return std::abs(ShaderLuminance(Pattern(x, y)) - 128) > 1.5; };
      EXPECT_EQ(Compare(ReadGraph(dest), [&](int x, int y) { return DarkerThan(Pattern(x, y), 128) ? marker : Pattern(x, y); },
                        shader ? 2 : 0, true, asked),
                "")
          << "shader " << shader << ", drawable " << drawable;
      DeleteGraphHandle(source, 0);
      DeleteGraphHandle(dest, 0);
    }
}

TEST_F(FilterColorsTest, BrightClipRefusesAnotherCompareModeAndDrawsNothing) {
  for (int shader = 0; shader < 2; shader++) {
    SetGraphFilterCpuOnly(!shader);
    int graph = MakeGraph(8, 8, Pattern);
    EXPECT_EQ(ApplyGraphFilter(graph, BRIGHT_CLIP, 3, 128, 1, PackedColor(kGreen), 255), -1) << shader;
    EXPECT_EQ(Compare(ReadGraph(graph), Pattern, 0), "") << shader;
    DeleteGraphHandle(graph, 0);
  }
}
}  // namespace

namespace {
// Runs after the device suite has ended the library: software graphs, CPU passes only.
TEST(FilterColorsSoftware, CpuRowsHoldOnSoftwareGraphs) {
  ASSERT_EQ(SetHardwareRenderingWanted(0), 0);
  SetRunWhileInactive(1);
  ChangeWindowMode(1);
  SetScreenMode(640, 480, 32, 0);
  ASSERT_EQ(InitLibrary(), 0);
  ASSERT_EQ(ScreenState.hardwareRendering, 0);
  EXPECT_EQ(FilterShadersUsable(), 0);
  EXPECT_EQ(IsFilterInPlace(), 0);  // the self-test runs only where shaders do
  for (int drawable = 1; drawable >= 0; drawable--)
    for (const COLOR_CASE& c : kCases) {
      int graph = MakeGraph(4, 4, [&](int, int) { return c.in; }, drawable);
      ASSERT_GE(graph, 0) << c.name;
      EXPECT_EQ(ApplyWithParams(graph, c.type, Params(c)), 0) << c.name;
      EXPECT_EQ(Compare(ReadGraph(graph), [&](int, int) { return c.out; }, 0), "") << c.name << " " << drawable;
      DeleteGraphHandle(graph, 0);
    }
  // A moved rectangle within one graph, and BrightClip keeping the destination's pixels.
  int graph = MakeGraph(16, 16, Pattern);
  ASSERT_EQ(ExecuteGraphFilter(0, graph, -1, graph, 0, INVERT, 8, 8, 16, 16, 0, 0, 0, 2, 4), 0);
  EXPECT_EQ(Compare(ReadGraph(graph),
                    [](int x, int y) {
                      bool in = x >= 2 && x < 10 && y >= 4 && y < 12;
                      return in ? Pattern(x + 6, y + 4) ^ 0x00FFFFFF : Pattern(x, y);
                    },
                    0),
            "");
  int source = MakeGraph(16, 16, Pattern), dest = MakeGraph(16, 16, [](int, int) { return 0xFF010203u; });
  ASSERT_EQ(ExecuteGraphFilter(0, source, -1, dest, 0, BRIGHT_CLIP, 0, 0, 16, 16, 0, 0, 0, 0, 0, 2, 128, 0), 0);
  EXPECT_EQ(Compare(ReadGraph(dest),
                    [](int x, int y) { return DarkerThan(Pattern(x, y), 128) ? 0xFF010203u : Pattern(x, y); },
                    0),
            "");
  DeleteGraphHandle(source, 0);
  DeleteGraphHandle(graph, 0);
  DeleteGraphHandle(dest, 0);
  EndLibrary();
}
}  // namespace
