// The Gaussian blur on Wine's real device: kernel widths, the identity at strength 0, the
// fixed-point rounding of a uniform area, the weight cache kept between calls, edges, alpha,
// the shaders against the CPU path, where the two shader passes render, and an intermediate
// image that cannot be had.
#include <gtest/gtest.h>

#include <windows.h>

#include "core/memory.h"
#include "core/strings.h"
#include "filter/filter_gauss.h"
#include "filter/filter_gauss_cpu.h"
#include "filter/filter_resources.h"
#include "filter_test_graphs.h"
#include "real_device.h"

namespace {
class FilterGaussTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { StartRealDevice(); }
  static void TearDownTestSuite() { EndRealDevice(); }
  void SetUp() override { ASSERT_EQ(FilterShadersUsable(), 1); }
  void TearDown() override {
    SetGraphFilterCpuOnly(0);
    SetFilterInPlace(1);
  }
};

enum { GAUSS = 1 };

uint32_t Pattern(int x, int y) { return Argb(255 - (x + y) * 4, x * 8, y * 8, (x * y * 5 + 60) & 0xFF); }

TEST(FilterGaussWidths, PixelWidthsMapToThreeKernels) {
  const int cases[][2] = {{-5, 8}, {0, 8}, {8, 8}, {9, 16}, {16, 16}, {17, 32}, {100, 32}};
  for (const auto& c : cases) EXPECT_EQ(GaussKernelWidth(c[0]), c[1]) << c[0];
}

// The CPU kernel before it walked rows with SSE2: one line of pixels (len pixels, `step` bytes
// apart) blurred into another, taps beyond either end reading the end pixel. It defines the
// bytes the kernel must give.
template <int N>
void ReferenceLine(const uint8_t* in, int inStep, uint8_t* out, int outStep, int len, const int* k) {
  auto at = [&](int i) { return in + (size_t)(i < 0 ? 0 : i >= len ? len - 1 : i) * inStep; };
  for (int x = 0; x < len; x++) {
    const uint8_t* centre = at(x);
    const uint8_t* taps[N][4];
    for (int j = 1; j < N; j++) {
      taps[j][0] = at(x - 2 * j + 1), taps[j][1] = at(x - 2 * j);
      taps[j][2] = at(x + 2 * j - 1), taps[j][3] = at(x + 2 * j);
    }
    uint8_t* o = out + (size_t)x * outStep;
    for (int c = 0; c < 4; c++) {
      int32_t sides = 0;
      for (int j = 1; j < N; j++) sides += k[j] * (taps[j][0][c] + taps[j][1][c] + taps[j][2][c] + taps[j][3][c]);
      o[c] = (uint8_t)((centre[c] * k[0] + (sides >> 1)) >> 16);
    }
  }
}

template <int N>
void Reference(const RASTER_IMAGE& in, RASTER_IMAGE& out, int vertical, const int* k) {
  const uint8_t* src = (const uint8_t*)in.pixels;
  uint8_t* dst = (uint8_t*)out.pixels;
  if (!vertical)
    for (int y = 0; y < in.height; y++)
      ReferenceLine<N>(src + (size_t)y * in.pitch, 4, dst + (size_t)y * out.pitch, 4, in.width, k);
  else
    for (int x = 0; x < in.width; x++)
      ReferenceLine<N>(src + (size_t)x * 4, in.pitch, dst + (size_t)x * 4, out.pitch, in.height, k);
}

// The weights of a strength as the filter computes them (16.16 of the normalised weights).
std::vector<int> WeightsOf(int n, float p) {
  std::vector<float> w(n);
  float sum = 0.0f;
  for (int j = 0; j < n; j++) {
    w[j] = ExpFloat((float)(j * j) * -0.5f / p);
    sum = j == 0 ? sum + w[j] : sum + 2.0f * w[j];
  }
  std::vector<int> k(n);
  for (int j = 0; j < n; j++) k[j] = TruncFloatToInt(w[j] / sum * 65536.0f);
  return k;
}

TEST(FilterGaussKernel, RowsAndColumnsGiveTheBytesOfThePlainLoopsForEveryWidthAndSize) {
  uint32_t seed = 2024;
  auto next = [&seed]() { return seed = seed * 1664525u + 1013904223u; };
  for (int n : {4, 8, 16}) {
    int reach = 2 * (n - 1);
    std::vector<std::vector<int>> weightSets = {
        WeightsOf(n, 0.01f), WeightsOf(n, 1.0f), WeightsOf(n, 4.0f), WeightsOf(n, 25.0f), WeightsOf(n, 1000.0f)};
    // The largest side weight there can be; random weights that add up to 65536; weights the
    // filter never makes (beyond the vector lanes, over 65536 in all), which the plain loops take.
    std::vector<int> widest(n, 0), random(n, 0), outside(n, 0);
    widest[0] = 65536 - 2 * 21845, widest[1] = 21845;
    random[0] = 65536;
    for (int j = 1; j < n; j++) random[j] = (int)(next() >> 8) % (65536 / (2 * n)), random[0] -= 2 * random[j];
    outside = random, outside[n - 1] = 40000;
    weightSets.push_back(widest), weightSets.push_back(random), weightSets.push_back(outside);
    const int sizes[][2] = {{1, 1},  {1, 9},  {9, 1},  {3, 70}, {70, 3}, {2 * reach + 3, 5}, {2 * reach + 4, 5},
                            {2 * reach + 5, 7}, {2 * reach + 9, 2}, {67, 45}, {128, 33}, {5, 2 * reach + 6}};
    for (const auto& size : sizes)
      for (const std::vector<int>& k : weightSets) {
        // The kernel's images as the filter makes them: the intermediate one (its pitch moved
        // off multiples of 512 bytes for 128 pixels) as the rows' output and the columns' input.
        RASTER_IMAGE in, want, got;
        ASSERT_EQ(AllocGaussIntermediate(size[0], size[1], &in), 0);
        for (int y = 0; y < size[1]; y++)
          for (int x = 0; x < size[0] * 4; x++) ((uint8_t*)in.pixels)[y * in.pitch + x] = (uint8_t)(next() >> 24);
        ASSERT_EQ(AllocARGB8Image(size[0], size[1], &want), 0);
        ASSERT_EQ(AllocGaussIntermediate(size[0], size[1], &got), 0);
        for (int vertical = 0; vertical < 2; vertical++) {
          if (n == 4) Reference<4>(in, want, vertical, k.data());
          else if (n == 8) Reference<8>(in, want, vertical, k.data());
          else Reference<16>(in, want, vertical, k.data());
          if (vertical) BlurGaussColumns(&in, &got, n, k.data());
          else BlurGaussRows(&in, &got, n, k.data());
          for (int y = 0; y < size[1]; y++)
            ASSERT_EQ(memcmp((char*)want.pixels + y * want.pitch, (char*)got.pixels + y * got.pitch, size[0] * 4), 0)
                << "n " << n << ", " << size[0] << " x " << size[1] << ", row " << y << ", K[0] " << k[0]
                << (vertical ? ", columns" : ", rows");
        }
        for (RASTER_IMAGE* image : {&in, &want, &got}) DisposeImage(image);
      }
  }
}

TEST_F(FilterGaussTest, StrengthZeroOrBelowCopiesOnBothPaths) {
  for (int shader = 0; shader < 2; shader++)
    for (int strength : {0, -5}) {
      SetGraphFilterCpuOnly(!shader);
      int source = MakeGraph(32, 32, Pattern), dest = MakeGraph(32, 32, [](int, int) { return 0xFF010203u; });
      ASSERT_EQ(ExecuteGraphFilter(0, source, -1, dest, 0, GAUSS, 0, 0, 32, 32, 0, 0, 0, 0, 0, 16, strength), 0);
      EXPECT_EQ(Compare(ReadGraph(dest), Pattern, 0), "") << strength << " shader " << shader;
      DeleteGraphHandle(source, 0);
      DeleteGraphHandle(dest, 0);
    }
}

TEST_F(FilterGaussTest, CpuWeightsAndTheirRounding) {
  SetGraphFilterCpuOnly(1);
  struct CASE {
    int pixelWidth, strength;
    uint32_t uniform, out;  // a uniform graph and what it becomes
  } cases[] = {
      // The centre once and the rest twice add up to 65534: each direction loses a little,
      // 255 is 254 after the first and 253 after both.
      {8, 100, 0xFFFFFFFF, 0xFDFDFDFD},
      {8, 1, 0xFFFFFFFF, 0xFFFFFFFF},    // p = 0.01: the centre alone, 65536
      {32, 1, 0x80402010, 0x80402010},
  };
  for (const CASE& c : cases) {
    int graph = MakeGraph(16, 16, [&](int, int) { return c.uniform; });
    ASSERT_EQ(ApplyGraphFilter(graph, GAUSS, c.pixelWidth, c.strength), 0);
    EXPECT_EQ(Compare(ReadGraph(graph), [&](int, int) { return c.out; }, 0), "") << c.pixelWidth << "/" << c.strength;
    DeleteGraphHandle(graph, 0);
  }
  // W = 8, p = 1: the fixed-point weights of the centre once and the rest twice.
  ASSERT_EQ(GaussWeightCache.width, 32);
  int graph = MakeGraph(4, 4, Pattern);
  ASSERT_EQ(ApplyGraphFilter(graph, GAUSS, 8, 100), 0);
  int sum = 0;
  for (int j = 0; j < 4; j++) sum += (j ? 2 : 1) * (int)(GaussWeightCache.weights[j] * 65536.0f);
  EXPECT_EQ(sum, 65534);
  DeleteGraphHandle(graph, 0);
}

TEST_F(FilterGaussTest, TheWeightsAreComputedOnlyWhenStrengthOrWidthChange) {
  int graph = MakeGraph(8, 8, Pattern);
  for (int shader = 0; shader < 2; shader++) {
    SetGraphFilterCpuOnly(!shader);
    ASSERT_EQ(ApplyGraphFilter(graph, GAUSS, 16, 250), 0);
    int computed = GaussWeightCache.computations;
    ASSERT_EQ(ApplyGraphFilter(graph, GAUSS, 16, 250), 0);
    ASSERT_EQ(ApplyGraphFilter(graph, GAUSS, 10, 250), 0);  // the same kernel width
    EXPECT_EQ(GaussWeightCache.computations, computed) << shader;
    ASSERT_EQ(ApplyGraphFilter(graph, GAUSS, 16, 251), 0);
    EXPECT_EQ(GaussWeightCache.computations, computed + 1) << shader;
    ASSERT_EQ(ApplyGraphFilter(graph, GAUSS, 8, 251), 0);
    ASSERT_EQ(ApplyGraphFilter(graph, GAUSS, 16, 251), 0);
    EXPECT_EQ(GaussWeightCache.computations, computed + 3) << shader;
    // The identity computes nothing and leaves the cache as it was.
    ASSERT_EQ(ApplyGraphFilter(graph, GAUSS, 32, 0), 0);
    EXPECT_EQ(GaussWeightCache.computations, computed + 3) << shader;
    EXPECT_EQ(GaussWeightCache.width, 16);
  }
  DeleteGraphHandle(graph, 0);
}

TEST_F(FilterGaussTest, AOnePixelColumnBlursOnlyDownwardsAndAlphaBlursLikeColour) {
  SetGraphFilterCpuOnly(1);
  // A column: the upper half opaque white, the lower half transparent black.
  auto column = [](int, int y) { return y < 8 ? 0xFFFFFFFFu : 0u; };
  int graph = MakeGraph(4, 16, column);
  ASSERT_EQ(ExecuteGraphFilter(0, graph, -1, graph, 0, GAUSS, 1, 0, 2, 16, 0, 0, 0, 1, 0, 8, 300), 0);
  PIXELS got = ReadGraph(graph);
  for (int y = 0; y < 16; y++) {
    uint32_t p = got.At(1, y);
    // Grey levels equal in all four bytes, falling down the column, softest at the edge.
    EXPECT_TRUE(Channel(p, 0) == Channel(p, 24) && Channel(p, 8) == Channel(p, 24)) << y << " " << std::hex << p;
    if (y > 0) {
      EXPECT_LE(Channel(p, 24), Channel(got.At(1, y - 1), 24)) << y;
    }
    EXPECT_EQ(got.At(0, y), column(0, y)) << "outside the rectangle, row " << y;
  }
  EXPECT_GT(Channel(got.At(1, 7), 24), 128);
  EXPECT_LT(Channel(got.At(1, 7), 24), 250);
  EXPECT_LT(Channel(got.At(1, 8), 24), 128);
  EXPECT_GT(Channel(got.At(1, 8), 24), 5);
  EXPECT_GE(Channel(got.At(1, 0), 24), 252);
  DeleteGraphHandle(graph, 0);
}

TEST_F(FilterGaussTest, ShadersMatchTheCpuPath) {
  struct CASE {
    int width, strength, size;
  } cases[] = {{8, 100, 32}, {8, 400, 16}, {16, 900, 32}, {32, 2500, 64}, {32, 300, 32}};
  for (int drawable = 1; drawable >= 0; drawable--)
    for (const CASE& c : cases) {
      int cpu = MakeGraph(c.size, c.size, Pattern, drawable), gpu = MakeGraph(c.size, c.size, Pattern, drawable);
      SetGraphFilterCpuOnly(1);
      ASSERT_EQ(ApplyGraphFilter(cpu, GAUSS, c.width, c.strength), 0);
      SetGraphFilterCpuOnly(0);
      ASSERT_EQ(ApplyGraphFilter(gpu, GAUSS, c.width, c.strength), 0);
      PIXELS want = ReadGraph(cpu);
      EXPECT_EQ(Compare(ReadGraph(gpu), [&](int x, int y) { return want.At(x, y); }, 2), "")
          << c.width << "/" << c.strength << (drawable ? " drawable" : " texture");
      DeleteGraphHandle(cpu, 0);
      DeleteGraphHandle(gpu, 0);
    }
}

// Taps beyond the rectangle read its edge pixels on both paths: never the graph's pixels
// around it, a texture's padding or what an earlier blur left in the shared work target.
TEST_F(FilterGaussTest, ShadersReadTheRectanglesEdgeBeyondItAsTheCpuPathDoes) {
  struct CASE {
    const char* name;
    int width, height, drawable, inPlace;
    int x1, y1, x2, y2, destX, destY, kernel, strength;
  } cases[] = {
      {"a rectangle inside a larger graph", 64, 64, 1, 0, 10, 12, 40, 30, 10, 12, 32, 900},
      {"the same, in place", 64, 64, 1, 1, 10, 12, 40, 30, 10, 12, 16, 400},
      {"moved in place", 48, 40, 1, 1, 5, 20, 30, 33, 2, 3, 8, 200},
      {"a whole graph of 23 x 13", 23, 13, 1, 0, 0, 0, 23, 13, 0, 0, 16, 400},
      {"a whole texture graph of 50 x 37", 50, 37, 0, 0, 0, 0, 50, 37, 0, 0, 32, 2500},
      {"a texture graph of 50 x 37 in place", 50, 37, 0, 1, 3, 4, 47, 35, 3, 4, 32, 900},
      {"a rectangle at a texture graph's bottom right", 45, 30, 0, 0, 20, 10, 45, 30, 1, 2, 16, 900},
  };
  const uint32_t outside = 0xFFFF00FF, marker = 0xFF010203;
  for (const CASE& c : cases) {
    // The rectangle patterned, the rest of the source in a colour the blur must never reach.
    auto source = [&](int x, int y) {
      return x >= c.x1 && x < c.x2 && y >= c.y1 && y < c.y2 ? Pattern(x, y) : outside;
    };
    int results[2];
    for (int shader = 0; shader < 2; shader++) {
      SetGraphFilterCpuOnly(!shader);
      // An unrelated blur first leaves its own pixels in the shared work targets.
      int other = MakeGraph(c.width, c.height, [](int, int) { return 0xFF4DB200u; }, c.drawable);
      ASSERT_EQ(ApplyGraphFilter(other, GAUSS, c.kernel, 100), 0) << c.name;
      DeleteGraphHandle(other, 0);
      int from = MakeGraph(c.width, c.height, source, c.drawable);
      int to = c.inPlace ? from : MakeGraph(c.width, c.height, [&](int, int) { return marker; }, c.drawable);
      ASSERT_EQ(ExecuteGraphFilter(0, from, -1, to, 0, GAUSS, c.x1, c.y1, c.x2, c.y2, 0, 0, 0, c.destX, c.destY,
                                   c.kernel, c.strength),
                0)
          << c.name;
      results[shader] = to;
      if (!c.inPlace) DeleteGraphHandle(from, 0);
    }
    PIXELS want = ReadGraph(results[0]);
    EXPECT_EQ(Compare(ReadGraph(results[1]), [&](int x, int y) { return want.At(x, y); }, 2), "") << c.name;
    for (int g : results) DeleteGraphHandle(g, 0);
  }
}

TEST_F(FilterGaussTest, TheSecondPassRendersIntoADrawableDestinationAndOtherwiseIsCopied) {
  static int copies;
  static DEVICE_CALL_TABLE real;
  real = DeviceCalls;
  DeviceCalls.DeviceStretchRect = [](IDirect3DSurface9* s, const RECT* sr, IDirect3DSurface9* d, const RECT* dr,
                                     D3DTEXTUREFILTERTYPE f) {
    copies++;
    return real.DeviceStretchRect(s, sr, d, dr, f);
  };
  for (int drawable = 1; drawable >= 0; drawable--) {
    int source = MakeGraph(32, 32, Pattern), dest = MakeGraph(32, 32, [](int, int) { return 0u; }, drawable);
    int want = MakeGraph(32, 32, Pattern);
    SetGraphFilterCpuOnly(1);
    ASSERT_EQ(ApplyGraphFilter(want, GAUSS, 8, 200), 0);
    SetGraphFilterCpuOnly(0);
    copies = 0;
    ASSERT_EQ(ExecuteGraphFilter(0, source, -1, dest, 0, GAUSS, 0, 0, 32, 32, 0, 0, 0, 0, 0, 8, 200), 0);
    EXPECT_EQ(copies > 0, drawable == 0);
    PIXELS expected = ReadGraph(want);
    EXPECT_EQ(Compare(ReadGraph(dest), [&](int x, int y) { return expected.At(x, y); }, 2), "") << drawable;
    for (int g : {source, dest, want}) DeleteGraphHandle(g, 0);
  }
  DeviceCalls = real;
}

// Fails the tracked allocations of one size, counted from 1; the others go to the process heap.
struct FAILING_HEAP {
  static size_t size;
  static int count, failAt;
  static void* Alloc(size_t n) {
    if (n == size + ALLOC_OVERHEAD && ++count == failAt) return nullptr;
    return HeapAlloc(GetProcessHeap(), 0, n);
  }
  static void* Realloc(void* block, size_t n) { return HeapReAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, block, n); }
  static void Free(void* block) { HeapFree(GetProcessHeap(), 0, block); }
};
size_t FAILING_HEAP::size;
int FAILING_HEAP::count, FAILING_HEAP::failAt;

TEST_F(FilterGaussTest, AnImageThatCannotBeAllocatedFailsTheRunWithNothingWritten) {
  SetGraphFilterCpuOnly(1);
  const ALLOC_HEAP_FUNCTIONS failing = {FAILING_HEAP::Alloc, FAILING_HEAP::Realloc, FAILING_HEAP::Free};
  // The source, the destination and the intermediate image are the three of 23 x 13 pixels.
  FAILING_HEAP::size = 23 * 13 * 4;
  int graph = MakeGraph(32, 32, Pattern);
  for (int failAt = 1; failAt <= 3; failAt++) {
    FAILING_HEAP::count = 0, FAILING_HEAP::failAt = failAt;
    SetAllocHeapFunctions(&failing);
    int result = ExecuteGraphFilter(0, graph, -1, graph, 0, GAUSS, 3, 5, 26, 18, 0, 0, 0, 3, 5, 8, 300);
    SetAllocHeapFunctions(nullptr);
    EXPECT_EQ(result, -1) << failAt;
    EXPECT_GE(FAILING_HEAP::count, failAt);
    EXPECT_EQ(Compare(ReadGraph(graph), Pattern, 0), "") << failAt;
  }
  FAILING_HEAP::failAt = 0;
  ASSERT_EQ(ExecuteGraphFilter(0, graph, -1, graph, 0, GAUSS, 3, 5, 26, 18, 0, 0, 0, 3, 5, 8, 300), 0);
  EXPECT_NE(Compare(ReadGraph(graph), Pattern, 0), "");
  DeleteGraphHandle(graph, 0);
}
}  // namespace
