// The CPU kernels: blit paths and refusals, stretched-blit sampling, fills and lines.
#include <algorithm>
#include <climits>
#include <memory>
#include <vector>

#include "softrender_fixture.h"

namespace {

// A 32-bit source whose pixel (x, y) holds x in blue and y in green.
std::unique_ptr<TestImage> CoordinateSource(int w, int h) {
  auto s = std::make_unique<TestImage>(MEMIMG_TYPE_32BIT, w, h);
  for (int y = 0; y < h; y++)
    for (int x = 0; x < w; x++) s->Set(x, y, (uint32_t)(x | y << 8 | 0x10000));
  return s;
}

struct Sampled {
  std::vector<int> columns, rows;
};

// Stretches a coordinate source onto a black 16 x 12 target and reads back which source
// column each target column of the first drawn row took, and which row each target row took.
// Copy loops: mode 0; blending loops: mode 2 at p = 255 (an add onto black gives the source).
Sampled Stretch(int sw, int sh, RECT corners, bool copyLoops, RECT* clip = nullptr) {
  auto source = CoordinateSource(sw, sh);
  TestImage target(MEMIMG_TYPE_32BIT, 16, 12);
  ResetDrawState(target, copyLoops ? 0 : 2, 255);
  if (clip) SetMemImgClipRect(clip);
  MEMIMGStretchBlit(&target.m, &source->m, &corners, 0, nullptr);
  Sampled out;
  int firstRow = -1, firstColumn = -1;
  for (int y = 0; y < 12 && firstRow < 0; y++)
    for (int x = 0; x < 16; x++)
      if (target.Get(x, y)) {
        firstRow = y;
        firstColumn = x;
        break;
      }
  if (firstRow < 0) return out;
  for (int x = firstColumn; x < 16 && target.Get(x, firstRow); x++) out.columns.push_back(target.Get(x, firstRow) & 0xFF);
  for (int y = firstRow; y < 12 && target.Get(firstColumn, y); y++) out.rows.push_back(target.Get(firstColumn, y) >> 8 & 0xFF);
  return out;
}

using V = std::vector<int>;

TEST(StretchBlit, SourceIndexSequences) {
  struct Case {
    const char* name;
    int sw, sh;
    RECT corners;
    bool copy;
    V columns, rows;
  } cases[] = {
      {"4x3 into (2,1,10,7)", 4, 3, {2, 1, 10, 7}, true, {0, 0, 1, 1, 2, 2, 3, 3}, {0, 0, 1, 1, 2, 2}},
      {"4x3 into (2,1,10,7) blending", 4, 3, {2, 1, 10, 7}, false, {0, 0, 1, 1, 2, 2, 3, 3}, {0, 0, 1, 1, 2, 2}},
      {"3 wide into 7", 3, 1, {0, 0, 7, 1}, true, {0, 0, 0, 1, 1, 2, 2}, {0}},
      {"5 wide into 3", 5, 1, {0, 0, 3, 1}, true, {0, 1, 3}, {0}},
      {"mirrored both axes", 4, 3, {10, 7, 2, 1}, true, {3, 3, 2, 2, 1, 1, 0, 0}, {2, 2, 1, 1, 0, 0}},
      {"8x6 into 4x3 copy", 8, 6, {0, 0, 4, 3}, true, {0, 1, 3, 5}, {0, 1, 3}},
      {"8x6 into 4x3 blending", 8, 6, {0, 0, 4, 3}, false, {0, 2, 4, 6}, {0, 2, 4}},
      {"4x4 mirrored at its own size", 4, 4, {4, 0, 0, 4}, true, {3, 2, 1, 0}, {0, 1, 2, 3}},
      {"4x4 mirrored blending", 4, 4, {4, 0, 0, 4}, false, {3, 2, 1, 0}, {0, 1, 2, 3}},
  };
  for (const Case& c : cases) {
    Sampled s = Stretch(c.sw, c.sh, c.corners, c.copy);
    EXPECT_EQ(s.columns, c.columns) << c.name;
    EXPECT_EQ(s.rows, c.rows) << c.name;
  }
  RECT clip = {3, 0, 16, 12};
  Sampled s = Stretch(3, 1, {0, 0, 7, 1}, true, &clip);
  EXPECT_EQ(s.columns, (V{1, 1, 2, 2})) << "left three columns clipped away";
}

// A 16.16 step truncated for a source wider or taller than 65536 pixels would sample past its
// last column or row (100000 wide into 3 columns: column 131072): such sources are refused,
// while 65536 still samples inside.
TEST(StretchBlit, SourcesBeyond65536PixelsAreRefused) {
  struct Case {
    int sw, sh;
    RECT corners;
    bool drawn;
  } cases[] = {
      {100000, 1, {0, 0, 3, 1}, false}, {1, 100000, {0, 0, 1, 3}, false}, {65537, 1, {0, 0, 3, 1}, false},
      {65536, 1, {0, 0, 3, 1}, true},   {1, 65536, {0, 0, 1, 3}, true},
  };
  for (const Case& c : cases) {
    TestImage source(MEMIMG_TYPE_32BIT, c.sw, c.sh), target(MEMIMG_TYPE_32BIT, 4, 4);
    for (int i = 0; i < c.sw * c.sh; i++) source.Set(i % c.sw, i / c.sw, 0x00100000u | (uint32_t)i);
    ResetDrawState(target);
    MEMIMGStretchBlit(&target.m, &source.m, &c.corners, 0, nullptr);
    for (int i = 0; i < 3; i++) {
      const int x = c.sw > 1 ? i : 0, y = c.sw > 1 ? 0 : i;
      EXPECT_EQ(target.Get(x, y), c.drawn ? 0x00100000u | (uint32_t)(i * 21845) : 0u) << c.sw << " x " << c.sh;
    }
  }
}

TEST(StretchBlit, OwnSizeGoesToTheBlitAndPaletteTargetIsRefused) {
  auto source = CoordinateSource(4, 4);
  TestImage a(MEMIMG_TYPE_32BIT, 8, 8), b(MEMIMG_TYPE_32BIT, 8, 8);
  ResetDrawState(a, 1, 128);  // the blit's halving short cut shows which kernel ran
  a.Fill(0x00FFFFFF);
  b.Fill(0x00FFFFFF);
  RECT same = {2, 2, 6, 6};
  MEMIMGStretchBlit(&a.m, &source->m, &same, 0, nullptr);
  MEMIMGBlit(&b.m, &source->m, 2, 2, 0, nullptr);
  for (int i = 0; i < 64; i++) ASSERT_EQ(a.Get(i % 8, i / 8), b.Get(i % 8, i / 8)) << i;

  // Mode 1 at p = 128 in the stretched blit is the general alpha rule: (255*256 + (1-255)*128) >> 8.
  RECT bigger = {0, 0, 8, 8};
  a.Fill(0x00FFFFFF);
  MEMIMGStretchBlit(&a.m, &source->m, &bigger, 0, nullptr);
  EXPECT_EQ(a.Get(2, 2) & 0xFF, 128u);  // source (1, 1): blue 1
  EXPECT_EQ(b.Get(3, 3) & 0xFF, 127u);  // the blit's halving: (1 >> 1) + (255 >> 1)

  TestImage palette(MEMIMG_TYPE_32BIT, 8, 8, 1);
  ResetDrawState(palette);
  MEMIMGStretchBlit(&palette.m, &source->m, &bigger, 0, nullptr);
  for (int i = 0; i < 64; i++) ASSERT_EQ(palette.Get(i % 8, i / 8), 0u);
}

TEST(Blit, RefusalsAndClipping) {
  auto source = CoordinateSource(9, 2);
  TestImage target(MEMIMG_TYPE_32BIT, 8, 4), paletted(MEMIMG_TYPE_32BIT, 8, 4, 1), alpha(MEMIMG_TYPE_32BIT, 8, 4, 0, 1),
      other(MEMIMG_TYPE_RGB565, 8, 4);
  ResetDrawState(target);
  for (TestImage* t : {&paletted, &alpha, &other}) {
    MEMIMGBlit(&t->m, &source->m, 0, 0, 0, nullptr);
    for (int i = 0; i < 32; i++) ASSERT_EQ(t->Get(i % 8, i / 8), 0u);
  }
  MEMIMGBlit(&target.m, &source->m, -3, 1, 0, nullptr);
  for (int x = 0; x < 8; x++) EXPECT_EQ(target.Get(x, 1), x < 6 ? (uint32_t)((x + 3) | 0x10000) : 0u) << x;
  // Far positions near the int limits draw nothing and do not overflow.
  MEMIMGBlit(&target.m, &source->m, INT_MAX - 2, 0, 0, nullptr);
  MEMIMGBlit(&target.m, &source->m, INT_MIN + 2, 0, 0, nullptr);
  EXPECT_EQ(target.Get(0, 0), 0u);
}

// Builds a source of the given kind with transparent pixels, a run table and random content.
std::unique_ptr<TestImage> RandomSource(int type, int kind, int w, int h, TestRandom& rnd) {
  const uint32_t key = type == MEMIMG_TYPE_32BIT ? 0x00123456 : 0x1234;
  auto s = std::make_unique<TestImage>(type, w, h, kind == 1, kind == 2, kind == 1 ? 3 : key, 1);
  if (kind == 1)
    for (int i = 0; i < 256; i++) s->SetPalette(i, rnd.Next() & (type == MEMIMG_TYPE_32BIT ? 0xFFFFFFFF : 0xFFFF));
  for (int y = 0; y < h; y++)
    for (int x = 0; x < w; x++) {
      uint32_t v = rnd.Next();
      if (kind == 1) v = rnd.Below(4) == 0 ? 3 : v & 0xFF;
      else if (kind == 2) {
        uint32_t a = rnd.Below(3) == 0 ? 0 : rnd.Below(3) == 0 ? 255 : rnd.Below(256);
        v = type == MEMIMG_TYPE_32BIT ? (v & 0xFFFFFF) | a << 24 : (v & 0xFFFF) | a << 16;
      } else {
        v = rnd.Below(4) == 0 ? key : v & (type == MEMIMG_TYPE_32BIT ? 0xFFFFFFFF : 0xFFFF);
      }
      s->Set(x, y, v);
    }
  EXPECT_EQ(BuildMemImgRunTable(&s->m), 0);
  return s;
}

// The run path and the per-pixel path give the same pixels wherever no short cut of the
// per-pixel path applies.
TEST(Blit, RunPathMatchesPerPixelPath) {
  TestRandom rnd(99);
  const int w = 70, h = 6;  // longer than one 64-pixel run
  struct Setting {
    int mode, param;
    uint32_t tint;
    bool graph;
  } settings[] = {{0, 0, 0xFFFFFF, false}, {0, 0, 0x80FF40, false}, {1, 100, 0xFFFFFF, false}, {1, 100, 0xC0C0C0, false},
                  {2, 100, 0xFFFFFF, false}, {3, 77, 0xFFFFFF, false}, {4, 0, 0xFFFFFF, false}, {10, 90, 0x7F7F7F, false},
                  {11, 200, 0xFFFFFF, false}, {0, 0, 0xFFFFFF, true}, {2, 255, 0xFFFFFF, true}, {11, 60, 0x405060, true},
                  {1, 128, 0xFFFFFE, false}};
  TestImage graph(MEMIMG_TYPE_CHANNEL8, w, h);
  for (int i = 0; i < w * h; i++) graph.Set(i % w, i / w, rnd.Below(256));
  for (int type : {MEMIMG_TYPE_32BIT, MEMIMG_TYPE_RGB565})
    for (int kind : {0, 1, 2}) {
      auto source = RandomSource(type, kind, w, h, rnd);
      std::vector<uint32_t> start(w * h);
      for (auto& v : start) v = rnd.Next() & (type == MEMIMG_TYPE_32BIT ? 0xFFFFFFFF : 0xFFFF);
      for (const Setting& s : settings) {
        // RGB565 mode 1 of plain and palette sources without tint uses the mix table per pixel.
        if (type == MEMIMG_TYPE_RGB565 && s.mode == 1 && s.tint == 0xFFFFFF && kind != 2) continue;
        std::unique_ptr<TestImage> out[2];
        for (int path = 0; path < 2; path++) {
          out[path] = std::make_unique<TestImage>(type, w, h);
          for (int i = 0; i < w * h; i++) out[path]->Set(i % w, i / w, start[i]);
          ResetDrawState(*out[path], s.mode, s.param);
          SetMemImgTint(s.tint);
          BuildBlendGraphWeights(100, 80);
          source->m.store->runTableValid = path == 0;
          MEMIMGBlit(&out[path]->m, &source->m, 0, 0, 1, s.graph ? &graph.m : nullptr);
        }
        for (int i = 0; i < w * h; i++)
          ASSERT_EQ(out[0]->Get(i % w, i / w), out[1]->Get(i % w, i / w))
              << "type " << type << " kind " << kind << " mode " << s.mode << " p=" << s.param << " pixel " << i;
      }
    }
}

// Which path a blit takes, seen through a run table that no longer matches the pixels: the
// run path skips a pixel the table calls transparent, the per-pixel path draws it.
TEST(Blit, RunPathSelection) {
  TestImage source(MEMIMG_TYPE_32BIT, 4, 2, 0, 0, 0xFF, 1);
  source.Fill(0xFF);  // all transparent
  ASSERT_EQ(BuildMemImgRunTable(&source.m), 0);
  source.Set(1, 1, 0xABCDEF);  // now opaque, the table still says transparent
  auto drawn = [&](int x, int y, int trans, const MEMIMG* src) {
    TestImage target(MEMIMG_TYPE_32BIT, 8, 8);
    ResetDrawState(target);
    MEMIMGBlit(&target.m, src, x, y, trans, nullptr);
    return target.Get(x + 1, y + 1) == 0xABCDEF;
  };
  EXPECT_FALSE(drawn(2, 2, 1, &source.m)) << "inside the clip: run path";
  EXPECT_TRUE(drawn(5, 2, 1, &source.m)) << "over the clip edge: per-pixel path";
  EXPECT_TRUE(drawn(2, 2, 2, &source.m)) << "TransFlag 2: per-pixel path";
  MEMIMG part = {};
  ASSERT_EQ(DeriveMemImg(&part, &source.m, 0, 0, 3, 2), 0);
  EXPECT_TRUE(drawn(2, 2, 1, &part)) << "a view of part of the store: per-pixel path";
  ReleaseMemImg(&part);
}

std::vector<POINT> DrawnPixels(const TestImage& t) {
  std::vector<POINT> out;
  for (int y = 0; y < t.m.height; y++)
    for (int x = 0; x < t.m.width; x++)
      if (t.Get(x, y)) out.push_back({x, y});
  return out;
}

TEST(Line, ExactPixels) {
  TestImage t(MEMIMG_TYPE_32BIT, 12, 6);
  ResetDrawState(t);
  MEMIMGLine(&t.m, 1, 1, 9, 5, 0xFFFFFF);
  std::vector<POINT> want = {{1, 1}, {2, 1}, {3, 2}, {4, 2}, {5, 3}, {6, 3}, {7, 4}, {8, 4}};
  std::vector<POINT> got = DrawnPixels(t);
  std::sort(want.begin(), want.end(), [](POINT a, POINT b) { return a.y != b.y ? a.y < b.y : a.x < b.x; });
  ASSERT_EQ(got.size(), want.size());
  for (size_t i = 0; i < got.size(); i++) EXPECT_TRUE(got[i].x == want[i].x && got[i].y == want[i].y) << i;

  TestImage u(MEMIMG_TYPE_RGB565, 12, 6);
  ResetDrawState(u);
  MEMIMGLine(&u.m, 3, 3, 3, 3, 0xFFFF);
  EXPECT_TRUE(DrawnPixels(u).empty());
  MEMIMGLine(&u.m, 0, 2, 12, 2, 0xFFFF);
  EXPECT_EQ(DrawnPixels(u).size(), 12u);
  for (int x = 0; x < 12; x++) EXPECT_EQ(u.Get(x, 2), 0xFFFFu);
  MEMIMGLine(&u.m, -9, 0, -2, 5, 0xFFFF);  // both ends left: rejected
  EXPECT_EQ(DrawnPixels(u).size(), 12u);

  TestImage paletted(MEMIMG_TYPE_32BIT, 12, 6, 1);
  MEMIMGLine(&paletted.m, 1, 1, 9, 5, 0xFF);
  EXPECT_TRUE(DrawnPixels(paletted).empty());
}

TEST(Line, NeverLeavesTheClipRectangle) {
  TestRandom rnd(7);
  TestImage t(MEMIMG_TYPE_32BIT, 40, 30);
  ResetDrawState(t);
  RECT clip = {5, 4, 33, 25};
  SetMemImgClipRect(&clip);
  const int extremes[] = {INT_MIN, INT_MIN + 1, -100000000, -50, 0, 50, 100000000, INT_MAX - 1, INT_MAX};
  for (int i = 0; i < 4000; i++) {
    int c[4];
    for (int& v : c) v = rnd.Below(3) == 0 ? extremes[rnd.Below(9)] : rnd.Below(60) - 10;
    MEMIMGLine(&t.m, c[0], c[1], c[2], c[3], 0xFFFFFFFF);
  }
  int inside = 0;
  for (int y = 0; y < 30; y++)
    for (int x = 0; x < 40; x++) {
      bool in = x >= 5 && x < 33 && y >= 4 && y < 25;
      if (!in) {
        ASSERT_EQ(t.Get(x, y), 0u) << x << "," << y;
      }
      inside += in && t.Get(x, y);
    }
  EXPECT_GT(inside, 100);

  // A line from far outside through the clip rectangle starts at the clip edge.
  TestImage u(MEMIMG_TYPE_32BIT, 40, 30);
  ResetDrawState(u);
  SetMemImgClipRect(&clip);
  MEMIMGLine(&u.m, -1000, 10, 1000, 10, 0xFF);
  for (int x = 0; x < 40; x++) EXPECT_EQ(u.Get(x, 10), x >= 5 && x < 33 ? 0xFFu : 0u) << x;
}

TEST(Line, ListDrawsEachRecordInOrder) {
  TestImage t(MEMIMG_TYPE_32BIT, 10, 10);
  ResetDrawState(t, 2, 255);  // adds, so order and overlap both show
  MEMIMG_LINE box[4] = {{1, 1, 8, 1, 0x10, 0}, {8, 1, 8, 8, 0x20, 0}, {8, 8, 1, 8, 0x40, 0}, {1, 8, 1, 1, 0x80, 0}};
  MEMIMGLineList(&t.m, box, 0);
  EXPECT_TRUE(DrawnPixels(t).empty());
  MEMIMGLineList(&t.m, box, 4);
  EXPECT_EQ(t.Get(1, 1), 0x10u);
  EXPECT_EQ(t.Get(8, 1), 0x20u);
  EXPECT_EQ(t.Get(8, 8), 0x40u);
  EXPECT_EQ(t.Get(1, 8), 0x80u);
  EXPECT_EQ(t.Get(4, 8), 0x40u);
  EXPECT_EQ(DrawnPixels(t).size(), 28u);
}

TEST(Fill, CornersTintAndEveryMode) {
  TestImage a(MEMIMG_TYPE_32BIT, 12, 8), b(MEMIMG_TYPE_32BIT, 12, 8);
  ResetDrawState(a);
  RECT r1 = {9, 6, 2, 1}, r2 = {2, 1, 9, 6}, empty = {5, 5, 5, 9};
  MEMIMGFillRect(&a.m, &r1, 0xAA112233);
  MEMIMGFillRect(&b.m, &r2, 0xAA112233);
  MEMIMGFillRect(&a.m, &empty, 0xFF);
  for (int i = 0; i < 96; i++) ASSERT_EQ(a.Get(i % 12, i / 12), b.Get(i % 12, i / 12)) << i;
  EXPECT_EQ(a.Get(2, 1), 0xAA112233u);  // all four bytes in mode 0
  EXPECT_EQ(a.Get(9, 1), 0u);

  SetMemImgTint(0x80FF80);
  MEMIMGFillRect(&a.m, nullptr, 0x00FFFFFF);
  EXPECT_EQ(a.Get(0, 0), 0x007FFE7Fu);

  struct Case {
    int bits, mode;
    uint32_t target, colour, expected;
  } cases[] = {
      {32, 0, 0xAB35C8F5, 0x7A5CE14A, 0x7A5CE14A}, {32, 1, 0xAB35C8F5, 0x7A5CE14A, 0xAB44D1B2},
      {32, 2, 0xAB35C8F5, 0x7A5CE14A, 0x0059FFFF}, {32, 3, 0xAB35C8F5, 0x7A5CE14A, 0x001171D8},
      {32, 4, 0xAB35C8F5, 0x7A5CE14A, 0xAB13AF46}, {32, 10, 0xAB35C8F5, 0x7A5CE14A, 0xAB5F85DC},
      {32, 11, 0xAB35C8F5, 0x7A5CE14A, 0xAB27BEB0}, {565, 0, 0x9A6B, 0x4CF5, 0x4CF5},
      {565, 1, 0x9A6B, 0x4CF5, 0x834E},             {565, 2, 0x9A6B, 0x4CF5, 0xAC33},
      {565, 3, 0x9A6B, 0x4CF5, 0x8883},             {565, 4, 0x9A6B, 0x4CF5, 0x2967},
      {565, 10, 0x9A6B, 0x4CF5, 0xA28B},            {565, 11, 0x9A6B, 0x4CF5, 0x720A},
  };
  for (const Case& c : cases) {
    const int type = c.bits == 32 ? MEMIMG_TYPE_32BIT : MEMIMG_TYPE_RGB565;
    TestImage fill(type, 3, 2), line(type, 3, 1);
    fill.Fill(c.target);
    line.Fill(c.target);
    ResetDrawState(fill, c.mode, 100);
    MEMIMGFillRect(&fill.m, nullptr, c.colour);
    MEMIMGLine(&line.m, 0, 0, 3, 0, c.colour);  // a line's pixels take the same rule
    for (int i = 0; i < 6; i++) EXPECT_EQ(fill.Get(i % 3, i / 3), c.expected) << c.bits << "-bit fill mode " << c.mode;
    for (int i = 0; i < 3; i++) EXPECT_EQ(line.Get(i, 0), c.expected) << c.bits << "-bit line mode " << c.mode;
  }
}

}  // namespace

namespace {

// A clip rectangle reaching past the target (here a view inside a larger store) draws only
// inside the target; a stretch too small to sample draws nothing.
TEST(Kernels, NothingOutsideTheTarget) {
  TestImage store(MEMIMG_TYPE_32BIT, 8, 8);
  MEMIMG view = {};
  ASSERT_EQ(DeriveMemImg(&view, &store.m, 2, 2, 4, 4), 0);
  auto source = CoordinateSource(6, 6);
  ResetDrawState(store, 2, 255);
  RECT huge = {-100, -100, 100, 100};
  SetMemImgClipRect(&huge);
  MEMIMGFillRect(&view, &huge, 0x01);
  MEMIMGLine(&view, -50, 1, 50, 1, 0x02);
  MEMIMGBlit(&view, &source->m, -1, -1, 0, nullptr);
  RECT big = {-3, -3, 20, 20};
  MEMIMGStretchBlit(&view, &source->m, &big, 0, nullptr);
  for (int y = 0; y < 8; y++)
    for (int x = 0; x < 8; x++) {
      bool inside = x >= 2 && x < 6 && y >= 2 && y < 6;
      EXPECT_EQ(store.Get(x, y) != 0, inside) << x << "," << y;
    }
  ReleaseMemImg(&view);

  TestImage wide(MEMIMG_TYPE_RGB565, 70000, 1), target(MEMIMG_TYPE_RGB565, 4, 4);
  wide.Fill(0xFFFF);
  ResetDrawState(target);
  RECT one = {0, 0, 1, 1};
  MEMIMGStretchBlit(&target.m, &wide.m, &one, 0, nullptr);
  EXPECT_EQ(target.Get(0, 0), 0u);
}

}  // namespace
