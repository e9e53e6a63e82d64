// The triangle's span loops (each span cut once to its texels inside the source, drawn by the
// SSE2 span loops or the plain one) against the per-pixel loops that test every texel: the
// same bytes for many triangles (1:1, mirrored, turned, shrunk, enlarged, partly outside the
// source, clipped), on both pixel types, every source kind, drawing mode, parameter class,
// tint, blend graph and transparency, from source views with narrow and wide pitches.
#include <string>
#include <vector>

#include "softrender_fixture.h"

namespace {

enum { PLAIN, PALETTE, ALPHA };

struct SHAPE {
  const char* name;
  MEMIMG_VERTEX v[3];
};

// Over a 40 x 32 target from a 24 x 20 source; u, v in texels.
const SHAPE kShapes[] = {
    {"1:1 half", {{4, 3, 0, 0}, {28, 3, 24, 0}, {4, 23, 0, 20}}},
    {"1:1 other half", {{28, 3, 24, 0}, {4, 23, 0, 20}, {28, 23, 24, 20}}},
    {"1:1 beyond the source", {{-6, -2, -3, -4}, {36, -2, 39, -4}, {-6, 30, -3, 28}}},
    {"1:1 from the right edge", {{10, 0, 12, 0}, {40, 0, 42, 0}, {10, 32, 12, 32}}},
    {"mirrored", {{30, 2, 0, 0}, {6, 2, 24, 0}, {30, 22, 0, 20}}},
    {"upside down", {{3, 25, 0, 0}, {27, 25, 24, 0}, {3, 5, 0, 20}}},
    {"turned a little", {{6, 1, 0, 0}, {32, 4, 24, 0}, {3, 27, 0, 20}}},
    {"turned a quarter", {{30, 3, 0, 0}, {30, 27, 24, 0}, {10, 3, 0, 20}}},
    {"turned and shrunk", {{12, 2, 0, 0}, {26, 9, 24, 0}, {5, 16, 0, 20}}},
    {"shrunk to a few pixels", {{2, 2, 0, 0}, {5, 3, 24, 0}, {1, 6, 0, 20}}},
    {"enlarged", {{-30, -20, 2, 3}, {70, -15, 9, 3}, {-25, 60, 2, 11}}},
    {"thin", {{0, 0, 0, 0}, {39, 2, 23, 5}, {1, 3, 2, 19}}},
    {"texels left of and above the source", {{0, 0, -7, -5}, {39, 0, 30, -5}, {0, 31, -7, 26}}},
    {"gradients of many texels", {{0, 0, 0, 0}, {39, 1, 2000, -900}, {2, 31, -700, 1500}}},
};

struct DRAW_CASE {
  int type, kind, mode, param;
  uint32_t tint;
  bool graph;
  int trans;
  std::string Name() const {
    return std::string(type == MEMIMG_TYPE_32BIT ? "32-bit" : "RGB565") +
           (kind == PALETTE ? " palette" : kind == ALPHA ? " alpha" : " plain") + " mode " + std::to_string(mode) +
           " p=" + std::to_string(param) + " tint " + std::to_string(tint) + (graph ? " graph" : "") + " trans " +
           std::to_string(trans);
  }
};

// A source view at an odd place of a larger store (its pitch is the store's), with random
// texels, a quarter of them the transparent key (alpha 0, 255 or between for alpha sources).
struct SOURCE_VIEW {
  TestImage store;
  MEMIMG view = {};
  SOURCE_VIEW(int type, int kind, int storeWidth, int width, int height, TestRandom& rnd)
      : store(type, storeWidth, height + 5, kind == PALETTE, kind == ALPHA) {
    const uint32_t mask = type == MEMIMG_TYPE_32BIT ? 0xFFFFFFFFu : kind == ALPHA ? 0xFFFFFFu : 0xFFFFu;
    const uint32_t key = kind == PALETTE ? 7 : rnd.Next() & mask;
    store.m.store->transparentColor = key;
    if (kind == PALETTE)
      for (int i = 0; i < 256; i++) store.SetPalette(i, rnd.Next() & (type == MEMIMG_TYPE_32BIT ? ~0u : 0xFFFFu));
    for (int y = 0; y < height + 5; y++)
      for (int x = 0; x < storeWidth; x++) {
        uint32_t t = kind == PALETTE ? rnd.Below(16) : rnd.Next() & mask;
        if (rnd.Below(4) == 0) t = key;
        if (kind == ALPHA) {
          const int r = rnd.Below(4);
          const uint32_t a = r == 0 ? 0 : r == 1 ? 255 : rnd.Below(256);
          t = type == MEMIMG_TYPE_32BIT ? (t & 0xFFFFFF) | a << 24 : (t & 0xFF00FFFF) | a << 16;
        }
        store.Set(x, y, t);
      }
    EXPECT_EQ(DeriveMemImg(&view, &store.m, 3, 2, width, height), 0);
  }
  ~SOURCE_VIEW() { ReleaseMemImg(&view); }
};

// The target after one triangle, drawn by the per-pixel loops (spans 0) or the span loops
// with the SSE2 span loops on or off; the target reaches to the clip's right and bottom.
std::vector<uint32_t> Draw(const DRAW_CASE& c, const MEMIMG& source, const MEMIMG* graph, const MEMIMG_VERTEX v[3],
                           const RECT& clip, int spans, int sse2) {
  const int width = clip.right, height = clip.bottom;
  TestImage target(c.type, width, height);
  TestRandom rnd(99);
  for (int y = 0; y < height; y++)
    for (int x = 0; x < width; x++) target.Set(x, y, rnd.Next());
  ResetDrawState(target, c.mode, c.param);
  SetMemImgTint(c.tint);
  SetMemImgClipRect(&clip);
  ForceSoftRenderSpans(spans);
  ForceSoftRenderSse2(sse2);
  MEMIMGTriangle(&target.m, &source, v, c.trans, graph, 0);
  ForceSoftRenderSpans(1);
  ForceSoftRenderSse2(1);
  std::vector<uint32_t> out;
  for (int y = 0; y < height; y++)
    for (int x = 0; x < width; x++) out.push_back(target.Get(x, y));
  return out;
}

void ExpectSpansMatchPerPixel(const DRAW_CASE& c, const MEMIMG& source, const MEMIMG* graph,
                              const MEMIMG_VERTEX v[3], const RECT& clip, const std::string& what) {
  const std::vector<uint32_t> reference = Draw(c, source, graph, v, clip, 0, 1);
  for (int sse2 : {0, 1}) {
    const std::vector<uint32_t> spans = Draw(c, source, graph, v, clip, 1, sse2);
    for (size_t i = 0; i < reference.size(); i++)
      ASSERT_EQ(spans[i], reference[i]) << c.Name() << ", " << what << (sse2 ? ", SSE2" : ", plain") << ": pixel ("
                                        << i % clip.right << ", " << i / clip.right << ")";
  }
}

TEST(TriangleSpans, EveryCombinationMatchesThePerPixelLoops) {
  const RECT clips[] = {{0, 0, 40, 32}, {5, 3, 40, 32}};
  TestRandom rnd(4242);
  TestImage graph(MEMIMG_TYPE_32BIT, 32, 28);  // read one byte per texel at the source's texels
  for (int y = 0; y < 28; y++)
    for (int x = 0; x < 32 * 4; x++) graph.m.pixels[y * graph.m.store->pitch + x] = (uint8_t)rnd.Next();
  for (int type : {MEMIMG_TYPE_32BIT, MEMIMG_TYPE_RGB565})
    for (int kind : {PLAIN, PALETTE, ALPHA}) {
      SOURCE_VIEW source(type, kind, 29, 24, 20, rnd);
      for (int mode : {0, 1, 2, 3, 4, 10, 11})
        for (int param : {0, 100, 128, 255})
          for (uint32_t tint : {0xFFFFFFu, 0x80C0FEu, 0xFF40FFu})
            for (int g = 0; g < 2; g++)
              for (int trans = 0; trans < 2; trans++) {
                const DRAW_CASE c = {type, kind, mode, param, tint, g != 0, trans};
                BuildBlendGraphWeights(128, 255);
                // Each combination takes a few of the shapes, every shape comes round often.
                const int pick = rnd.Below(1000);
                for (int s = 0; s < 3; s++) {
                  const SHAPE& shape = kShapes[(pick + s * 5) % (sizeof kShapes / sizeof kShapes[0])];
                  ExpectSpansMatchPerPixel(c, source.view, g ? &graph.m : nullptr, shape.v, clips[s & 1], shape.name);
                  if (HasFatalFailure()) return;
                }
              }
    }
}

// Random triangles of every size and slope, from a source whose pitch needs more than 15
// bits (the SSE2 offsets take another way there) and from one of exactly 16384 texels, the
// widest the span loops serve.
TEST(TriangleSpans, RandomTrianglesAndWideSources) {
  TestRandom rnd(777);
  for (int type : {MEMIMG_TYPE_32BIT, MEMIMG_TYPE_RGB565})
    for (int width : {24, 9000, 16384, 16385}) {
      SOURCE_VIEW source(type, PLAIN, width + 6, width, 6, rnd);
      for (int mode : {0, 1, 4}) {
        const DRAW_CASE c = {type, PLAIN, mode, 100, 0xFFFFFF, false, 0};
        for (int i = 0; i < 60; i++) {
          MEMIMG_VERTEX v[3];
          for (MEMIMG_VERTEX& p : v) {
            p.x = rnd.Below(60) - 10, p.y = rnd.Below(50) - 9;
            p.u = width - 30 + rnd.Below(60) - (i % 3 == 0 ? width - 30 : 0);
            p.v = rnd.Below(12) - 3;
          }
          const RECT clip = {0, 0, 40, 32};
          ExpectSpansMatchPerPixel(c, source.view, nullptr, v, clip, "random " + std::to_string(i));
          if (HasFatalFailure()) return;
        }
      }
    }
}

// Spans longer than the pieces the SSE2 loops gather at a time (256 texels).
TEST(TriangleSpans, LongSpans) {
  TestRandom rnd(600);
  const RECT clip = {0, 0, 700, 5};
  const MEMIMG_VERTEX shapes[][3] = {{{0, 0, 0, 0}, {700, 1, 690, 0}, {2, 9, 0, 8}},  // turned and shrunk
                                     {{-3, -1, 0, 0}, {697, -1, 700, 0}, {-3, 7, 0, 8}}};  // 1:1
  for (int type : {MEMIMG_TYPE_32BIT, MEMIMG_TYPE_RGB565})
    for (int kind : {PLAIN, PALETTE}) {
      SOURCE_VIEW source(type, kind, 705, 700, 8, rnd);
      for (int mode : {0, 1, 3})
        for (int trans = 0; trans < 2; trans++)
          for (const auto& v : shapes) {
            const DRAW_CASE c = {type, kind, mode, 100, 0xFFFFFF, false, trans};
            ExpectSpansMatchPerPixel(c, source.view, nullptr, v, clip, "long");
            if (HasFatalFailure()) return;
          }
    }
}

}  // namespace
