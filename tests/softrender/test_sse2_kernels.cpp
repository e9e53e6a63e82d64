// The SSE2 loops of the blit and the stretched blit against the plain loops they stand in for:
// every drawing mode, parameter class, pixel type, source kind, tint and transparency, at every
// width from 1 to 17 and two longer ones (rows that take two vectors per step, then one, then
// single pixels), at odd target and source offsets, mirrored and clipped.
#include <string>
#include <vector>

#include "softrender/kernel_jobs.h"
#include "softrender_fixture.h"

namespace {

struct COMBINATION {
  int type, kind, mode, param;
  bool tint;
  int trans;
  std::string Name() const {
    return std::string(type == MEMIMG_TYPE_32BIT ? "32-bit" : "RGB565") + (kind == 1 ? " palette" : " plain") +
           " mode " + std::to_string(mode) + " p=" + std::to_string(param) + (tint ? " tinted" : "") +
           " trans " + std::to_string(trans);
  }
};

const int kKinds[] = {0, 1};  // plain, palette (the source kinds of kernel_jobs.h)
const int kModes[] = {0, 1, 2, 3, 4, 10, 11};
const int kParams[] = {1, 100, 128, 200, 254, 255};

// Random source, palette and key, shared by the draws of one combination.
struct SOURCE_SET {
  int type, kind;
  TestImage image;
  SOURCE_SET(int type, int kind, int width, int height, uint32_t key, TestRandom& rnd)
      : type(type), kind(kind), image(type, width, height, kind == 1, 0, key) {
    const uint32_t mask = type == MEMIMG_TYPE_32BIT ? 0xFFFFFFFFu : 0xFFFFu;
    if (kind == 1)
      for (int i = 0; i < 256; i++) image.SetPalette(i, rnd.Next() & mask);
    for (int y = 0; y < height; y++)
      for (int x = 0; x < width; x++) {
        uint32_t v = kind == 1 ? (uint32_t)rnd.Below(16) : rnd.Next() & mask;
        image.Set(x, y, rnd.Below(5) == 0 ? key : v);
      }
  }
};

// Draws with the SSE2 loops on and off onto the same random target; fails on the first pixel
// that differs.
template <class DRAW>
void ExpectSameWithAndWithoutSse2(const COMBINATION& c, int width, int height, uint32_t seed, DRAW draw,
                                  const std::string& what) {
  std::vector<uint32_t> results[2];
  for (int sse2 : {0, 1}) {
    TestImage target(c.type, width, height);
    TestRandom rnd(seed);
    for (int y = 0; y < height; y++)
      for (int x = 0; x < width; x++) target.Set(x, y, rnd.Next());
    ResetDrawState(target, c.mode, c.param);
    // A tint byte of 255 takes the loops' exact form of the coefficients, tints below it the
    // reciprocal form.
    if (c.tint) SetMemImgTint(seed & 1 ? 0x80C0FF : 0x80C0FE - (seed & 0x3F3F3F));
    ForceSoftRenderSse2(sse2);
    draw(target.m);
    ForceSoftRenderSse2(1);
    for (int y = 0; y < height; y++)
      for (int x = 0; x < width; x++) results[sse2].push_back(target.Get(x, y));
  }
  for (size_t i = 0; i < results[0].size(); i++)
    ASSERT_EQ(results[1][i], results[0][i]) << c.Name() << ", " << what << ": pixel (" << i % width << ", "
                                            << i / width << ")";
}

template <class F>
void ForEachCombination(F f) {
  for (int type : {MEMIMG_TYPE_32BIT, MEMIMG_TYPE_RGB565})
    for (int kind : kKinds)
      for (int mode : kModes)
        for (int param : kParams)
          for (bool tint : {false, true})
            for (int trans : {0, 1}) f(COMBINATION{type, kind, mode, param, tint, trans});
}

TEST(Sse2Kernels, BlitMatchesThePlainLoops) {
  int served = 0;
  ForEachCombination([&](const COMBINATION& c) {
    if (::testing::Test::HasFatalFailure()) return;
    const int mode = c.mode == 1 && c.param == 255 ? 0 : c.mode;
    BLEND_CONTEXT context = {};
    context.param = c.param;
    served += SelectSse2BlitLoop(c.type, c.kind, mode, c.tint, c.trans != 0, context) != nullptr;
    TestRandom rnd(c.mode * 7919 + c.param * 31 + c.type * 3 + c.kind);
    const uint32_t key = c.kind == 1 ? 3 : c.type == MEMIMG_TYPE_32BIT ? 0x00123456 : 0x1234;
    for (int width : {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 29, 37}) {
      SOURCE_SET source(c.type, c.kind, width, 3, key, rnd);
      for (int x : {-1, 0, 1, 3}) {  // odd source offsets (clipped on the left) and odd target offsets
        ExpectSameWithAndWithoutSse2(c, 44, 4, rnd.Next(), [&](MEMIMG& target) {
          MEMIMGBlit(&target, &source.image.m, x, 1, c.trans, nullptr);
        }, "width " + std::to_string(width) + " at x " + std::to_string(x));
        if (::testing::Test::HasFatalFailure()) return;
      }
    }
  });
  EXPECT_GT(served, 0);
}

TEST(Sse2Kernels, StretchedBlitMatchesThePlainLoops) {
  ForEachCombination([&](const COMBINATION& c) {
    if (::testing::Test::HasFatalFailure()) return;
    TestRandom rnd(c.mode * 104729 + c.param * 37 + c.type * 5 + c.kind);
    const uint32_t key = c.kind == 1 ? 5 : c.type == MEMIMG_TYPE_32BIT ? 0x00ABCDEF : 0xABCD;
    for (int width : {1, 2, 3, 5, 8, 13, 17}) {
      SOURCE_SET source(c.type, c.kind, width, 5, key, rnd);
      const RECT corners[] = {
          {1, 0, 1 + 2 * width + 1, 9},    // enlarged
          {3, 1, 3 + width / 2 + 1, 4},    // shrunk
          {2 * width + 6, 8, 5, 1},        // enlarged and mirrored on both axes
          {-3, -2, width + 9, 7},          // clipped on the left and the top
          {40, 0, 40 - width - 17, 9},     // mirrored, clipped on the right
      };
      for (const RECT& r : corners) {
        ExpectSameWithAndWithoutSse2(c, 44, 10, rnd.Next(), [&](MEMIMG& target) {
          MEMIMGStretchBlit(&target, &source.image.m, &r, c.trans, nullptr);
        }, "width " + std::to_string(width) + " into (" + std::to_string(r.left) + ", " + std::to_string(r.top) +
               ", " + std::to_string(r.right) + ", " + std::to_string(r.bottom) + ")");
        if (::testing::Test::HasFatalFailure()) return;
      }
    }
  });
}

// The transparent key of an RGB565 source only ever matches as a whole value: a key above
// 16 bits leaves every pixel drawn, in both loops.
TEST(Sse2Kernels, Rgb565KeyAboveSixteenBitsMatchesNothing) {
  TestRandom rnd(77);
  SOURCE_SET source(MEMIMG_TYPE_RGB565, 0, 21, 2, 0x1234, rnd);
  source.image.m.store->transparentColor = 0x11234;
  for (int mode : {0, 1}) {
    COMBINATION c{MEMIMG_TYPE_RGB565, 0, mode, 100, false, 1};
    ExpectSameWithAndWithoutSse2(c, 24, 3, 99, [&](MEMIMG& target) {
      MEMIMGBlit(&target, &source.image.m, 1, 0, 1, nullptr);
    }, "key 0x11234");
    TestImage target(MEMIMG_TYPE_RGB565, 24, 3);
    ResetDrawState(target, mode, 255);
    MEMIMGBlit(&target.m, &source.image.m, 1, 0, 1, nullptr);
    for (int x = 0; x < 21; x++) EXPECT_EQ(target.Get(x + 1, 0), source.image.Get(x, 0)) << "mode " << mode;
  }
}

}  // namespace
