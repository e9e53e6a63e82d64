// The CPU triangle kernel: coverage of flat triangles in every vertex order, rows above and
// columns left of the target, the clip guards, texel placement on a 4 x 4 image and on
// sources wider than the 14.18 word holds, the worked pixel cases of every mode on both pixel
// types, RGB565 alpha sources beside the blit, the kernel selection, and every mode and
// variant against a per-pixel reference written here from the pixel rules.
#include <algorithm>
#include <climits>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "softrender_fixture.h"

namespace {

enum { PLAIN, PALETTE, ALPHA };

MEMIMG_VERTEX Vx(int x, int y, int u = 0, int v = 0) { return MEMIMG_VERTEX{x, y, u, v}; }

void Triangle(TestImage& target, const TestImage* source, MEMIMG_VERTEX a, MEMIMG_VERTEX b, MEMIMG_VERTEX c,
              int trans = 0, const TestImage* graph = nullptr, uint32_t colour = 0) {
  const MEMIMG_VERTEX v[3] = {a, b, c};
  MEMIMGTriangle(&target.m, source ? &source->m : nullptr, v, trans, graph ? &graph->m : nullptr, colour);
}

// A whole source mapped onto four corners as the graphics layer does: (TL, TR, BL), (TR, BL, BR).
void Quad(TestImage& target, const TestImage& source, POINT tl, POINT tr, POINT bl, POINT br, int trans = 0,
          const TestImage* graph = nullptr) {
  const int w = source.m.width, h = source.m.height;
  const MEMIMG_VERTEX TL = Vx(tl.x, tl.y, 0, 0), TR = Vx(tr.x, tr.y, w, 0), BL = Vx(bl.x, bl.y, 0, h),
                      BR = Vx(br.x, br.y, w, h);
  Triangle(target, &source, TL, TR, BL, trans, graph);
  Triangle(target, &source, TR, BL, BR, trans, graph);
}

// The picture of a flat triangle added once onto a black 32-bit target: '.' untouched, '#'
// drawn once, '2' drawn twice; one line per row.
std::string Coverage(int width, int height, const MEMIMG_VERTEX v[3], const RECT* clip = nullptr) {
  TestImage t(MEMIMG_TYPE_32BIT, width, height);
  ResetDrawState(t, 2, 255);
  if (clip) SetMemImgClipRect(clip);
  Triangle(t, nullptr, v[0], v[1], v[2], 0, nullptr, 1);
  std::string out;
  for (int y = 0; y < height; y++) {
    for (int x = 0; x < width; x++) {
      uint32_t p = t.Get(x, y);
      out += p == 0 ? '.' : p == 1 ? '#' : '2';
    }
    out += '\n';
  }
  return out;
}

std::string Lines(std::initializer_list<const char*> rows) {
  std::string out;
  for (const char* r : rows) out += std::string(r) + "\n";
  return out;
}

TEST(TriangleSetUp, FlatCoverageInEveryVertexOrder) {
  struct Case {
    const char* name;
    MEMIMG_VERTEX v[3];
    int width, height;
    std::string picture;
  } cases[] = {
      {"flat top, the worked case", {Vx(0, 0), Vx(4, 0), Vx(0, 4)}, 6, 6,
       Lines({"#####.", "####..", "###...", "##....", "......", "......"})},
      {"flat bottom", {Vx(3, 0), Vx(0, 4), Vx(6, 4)}, 8, 6,
       Lines({"...#....", "..###...", "..####..", ".#####..", "........", "........"})},
      {"middle vertex right of the long edge", {Vx(1, 0), Vx(7, 3), Vx(2, 6)}, 9, 8,
       Lines({".#.......", ".###.....", ".#####...", ".#######.", "..####...", "..###....", ".........",
              "........."})},
      {"middle vertex left of the long edge", {Vx(6, 0), Vx(0, 3), Vx(5, 6)}, 8, 8,
       Lines({"......#.", "....###.", "..#####.", "#######.", "..####..", "...###..", "........", "........"})},
      {"top above row 0, middle vertex left", {Vx(3, -2), Vx(0, 2), Vx(6, 4)}, 8, 6,
       Lines({"..###...", ".#####..", "######..", "...####.", "........", "........"})},
      {"vertex at x = -1", {Vx(-1, 1), Vx(5, 0), Vx(3, 5)}, 7, 7,
       Lines({".....#.", "######.", "#####..", ".####..", "..##...", ".......", "......."})},
      {"thin", {Vx(0, 0), Vx(9, 2), Vx(2, 3)}, 11, 5,
       Lines({"#..........", ".#####.....", ".#########.", "...........", "..........."})},
      // Columns round down like rows: a right edge at x = -0.5 ends its span in column -1.
      {"wholly left of column 0", {Vx(-5, 0), Vx(-1, 0), Vx(-5, 4)}, 4, 5,
       Lines({"....", "....", "....", "....", "...."})},
      {"right corner at x = 0", {Vx(-5, 0), Vx(0, 0), Vx(-5, 4)}, 4, 5,
       Lines({"#...", "....", "....", "....", "...."})},
  };
  for (const Case& c : cases) {
    int order[3] = {0, 1, 2};
    do {
      const MEMIMG_VERTEX v[3] = {c.v[order[0]], c.v[order[1]], c.v[order[2]]};
      EXPECT_EQ(Coverage(c.width, c.height, v), c.picture)
          << c.name << ", order " << order[0] << order[1] << order[2];
    } while (std::next_permutation(order, order + 3));
  }
}

TEST(TriangleSetUp, CollinearAndCoincidentVerticesDrawNothing) {
  const std::string empty = Lines({"......", "......", "......", "......"});
  const MEMIMG_VERTEX cases[][3] = {
      {Vx(0, 0), Vx(2, 1), Vx(4, 2)}, {Vx(1, 1), Vx(1, 1), Vx(4, 3)}, {Vx(2, 2), Vx(2, 2), Vx(2, 2)},
      {Vx(0, 3), Vx(5, 3), Vx(2, 3)}, {Vx(3, 0), Vx(3, 3), Vx(3, 1)}};
  for (const auto& v : cases) EXPECT_EQ(Coverage(6, 4, v), empty) << v[0].x << "," << v[0].y;
}

// A triangle whose top lies above row 0 covers the rows it would cover lower down: the first
// row rounds down, so no row is drawn twice and the bottom vertex's row is not drawn.
TEST(TriangleSetUp, RowsAboveTheTargetKeepTheirPlace) {
  const MEMIMG_VERTEX shapes[][3] = {{Vx(3, 0), Vx(0, 4), Vx(7, 7)},  // middle vertex left
                                     {Vx(3, 0), Vx(8, 3), Vx(1, 7)},  // middle vertex right
                                     {Vx(0, 0), Vx(6, 0), Vx(3, 6)},  // flat top
                                     {Vx(4, 0), Vx(0, 5), Vx(8, 5)}};  // flat bottom
  for (const auto& s : shapes)
    for (int up = 1; up <= 5; up++) {
      const MEMIMG_VERTEX moved[3] = {Vx(s[0].x, s[0].y - up), Vx(s[1].x, s[1].y - up), Vx(s[2].x, s[2].y - up)};
      const std::string low = Coverage(10, 10, s), high = Coverage(10, 10, moved);
      EXPECT_EQ(high.substr(0, (size_t)(10 - up) * 11), low.substr((size_t)up * 11)) << "up " << up << "\n" << high;
    }
}

// Vertices are 14.18 words that wrap: a triangle moved by 16384 pixels (2^32 in 14.18) draws
// as the unmoved one, and corners far beyond the range still draw only inside the clip.
TEST(TriangleSetUp, CoordinatesWrapAndTheClipHolds) {
  const MEMIMG_VERTEX base[3] = {Vx(1, 0), Vx(7, 3), Vx(2, 6)};
  const std::string want = Coverage(9, 8, base);
  for (int dx : {0, 16384, -16384})
    for (int dy : {16384, -16384, 32768}) {
      const MEMIMG_VERTEX moved[3] = {Vx(1 + dx, 0 + dy), Vx(7 + dx, 3 + dy), Vx(2 + dx, 6 + dy)};
      EXPECT_EQ(Coverage(9, 8, moved), want) << dx << "," << dy;
    }

  // A view inside a larger store: the border shows any write outside the view or the clip.
  TestImage store(MEMIMG_TYPE_32BIT, 40, 40);
  MEMIMG view = {};
  ASSERT_EQ(DeriveMemImg(&view, &store.m, 10, 12, 16, 14), 0);
  const RECT clips[] = {{-100, -100, 1000, 1000}, {0, 0, 16, 14}, {3, 2, 11, 9}, {5, 5, 5, 9}, {20, 20, 30, 30}};
  const MEMIMG_VERTEX distant[][3] = {
      {Vx(-100000, -100000), Vx(100000, -90000), Vx(0, 100000)},
      {Vx(INT_MIN, INT_MIN), Vx(INT_MAX, 0), Vx(0, INT_MAX)},
      {Vx(-4000, -4000), Vx(4000, -3900), Vx(-50, 4000)},
      {Vx(-3, -3), Vx(30, -2), Vx(4, 40)},
      {Vx(8000, 7000), Vx(-8000, 7100), Vx(0, -7900)},
  };
  for (const RECT& clip : clips)
    for (const auto& v : distant) {
      store.Fill(0);
      ResetDrawState(store, 0, 255);
      SetMemImgClipRect(&clip);
      MEMIMGTriangle(&view, nullptr, v, 0, nullptr, 0xFFFFFF);
      RECT inside = clip;
      const RECT bounds = {0, 0, 16, 14};
      inside.left = std::max(inside.left, bounds.left), inside.top = std::max(inside.top, bounds.top);
      inside.right = std::min(inside.right, bounds.right), inside.bottom = std::min(inside.bottom, bounds.bottom);
      for (int y = 0; y < 40; y++)
        for (int x = 0; x < 40; x++) {
          const int vx = x - 10, vy = y - 12;
          const bool allowed = vx >= inside.left && vx < inside.right && vy >= inside.top && vy < inside.bottom;
          if (!allowed) {
            ASSERT_EQ(store.Get(x, y), 0u) << "clip " << clip.left << "," << clip.top << " pixel " << x << "," << y;
          }
        }
    }
  // Corners near the ends of the range (differences below 8192 pixels) are exact: the
  // triangle covers the whole clip.
  store.Fill(0);
  ResetDrawState(store, 0, 255);
  const RECT clip = {3, 2, 11, 9};
  SetMemImgClipRect(&clip);
  MEMIMGTriangle(&view, nullptr, distant[2], 0, nullptr, 0xFFFFFF);
  for (int y = 2; y < 9; y++)
    for (int x = 3; x < 11; x++) EXPECT_EQ(store.Get(10 + x, 12 + y), 0xFFFFFFu) << x << "," << y;
  ReleaseMemImg(&view);
}

// A 4 x 4 source whose texel (u, v) is 0x100 + 16v + u, for 32-bit and RGB565 pixels.
uint32_t TexelCode(int u, int v) { return 0x100u + (uint32_t)(16 * v + u); }

std::unique_ptr<TestImage> CodedSource(int type) {
  auto s = std::make_unique<TestImage>(type, 4, 4);
  for (int v = 0; v < 4; v++)
    for (int u = 0; u < 4; u++) s->Set(u, v, TexelCode(u, v));
  return s;
}

// The texel each target pixel took ("u,v"), "-" where it was not drawn.
std::vector<std::string> TexelMap(const TestImage& t) {
  std::vector<std::string> rows;
  for (int y = 0; y < t.m.height; y++) {
    std::string r;
    for (int x = 0; x < t.m.width; x++) {
      uint32_t p = t.Get(x, y);
      char cell[8];
      if (p == 0) snprintf(cell, sizeof cell, " -- ");
      else snprintf(cell, sizeof cell, " %d%d ", (int)(p - 0x100) % 16, (int)(p - 0x100) / 16);
      r += cell;
    }
    rows.push_back(r);
  }
  return rows;
}

TEST(TriangleTexels, PlacementOnAFourByFourImage) {
  struct Case {
    const char* name;
    POINT tl, tr, bl, br;
    // The texel expected at target pixel (x, y), or u < 0 for an untouched pixel.
    void (*want)(int x, int y, int* u, int* v);
  } cases[] = {
      {"own size at (2, 1)", {2, 1}, {6, 1}, {2, 5}, {6, 5},
       [](int x, int y, int* u, int* v) { *u = x >= 2 && x < 6 && y >= 1 && y < 5 ? x - 2 : -1, *v = y - 1; }},
      {"twice the size", {0, 0}, {8, 0}, {0, 8}, {8, 8},
       [](int x, int y, int* u, int* v) { *u = x < 8 && y < 8 ? x / 2 : -1, *v = y / 2; }},
      {"turned a quarter clockwise", {4, 0}, {4, 4}, {0, 0}, {0, 4},
       [](int x, int y, int* u, int* v) { *u = x >= 1 && x <= 4 && y < 4 ? y : -1, *v = 4 - x; }},
      {"mirrored", {4, 0}, {0, 0}, {4, 4}, {0, 4},
       [](int x, int y, int* u, int* v) { *u = x >= 1 && x <= 4 && y < 4 ? 4 - x : -1, *v = y; }},
      {"top two rows above the target", {1, -2}, {5, -2}, {1, 2}, {5, 2},
       [](int x, int y, int* u, int* v) { *u = x >= 1 && x < 5 && y < 2 ? x - 1 : -1, *v = y + 2; }},
      // Left of column 0 the texels keep their columns too: the image is cut, not moved.
      {"left corners at x = -1", {-1, 1}, {3, 1}, {-1, 5}, {3, 5},
       [](int x, int y, int* u, int* v) { *u = x < 3 && y >= 1 && y < 5 ? x + 1 : -1, *v = y - 1; }},
      {"left corners at x = -2", {-2, 0}, {2, 0}, {-2, 4}, {2, 4},
       [](int x, int y, int* u, int* v) { *u = x < 2 && y < 4 ? x + 2 : -1, *v = y; }},
      {"left corners at x = -3, twice the size", {-3, 0}, {5, 0}, {-3, 8}, {5, 8},
       [](int x, int y, int* u, int* v) { *u = x < 5 && y < 8 ? (x + 3) / 2 : -1, *v = y / 2; }},
  };
  for (int type : {MEMIMG_TYPE_32BIT, MEMIMG_TYPE_RGB565}) {
    auto source = CodedSource(type);
    for (const Case& c : cases) {
      TestImage t(type, 10, 10);
      ResetDrawState(t, 0, 255);
      Quad(t, *source, c.tl, c.tr, c.bl, c.br);
      for (int y = 0; y < 10; y++)
        for (int x = 0; x < 10; x++) {
          int u, v;
          c.want(x, y, &u, &v);
          EXPECT_EQ(t.Get(x, y), u < 0 ? 0u : TexelCode(u, v))
              << c.name << " type " << type << " pixel " << x << "," << y << "\n"
              << ::testing::PrintToString(TexelMap(t));
        }
    }
  }
  // Texel coordinates outside the source (negative ones too) leave their pixels alone while
  // the coordinates go on across them: u runs -2..6 over columns 0..8.
  auto source = CodedSource(MEMIMG_TYPE_32BIT);
  TestImage t(MEMIMG_TYPE_32BIT, 10, 4);
  ResetDrawState(t, 0, 255);
  Triangle(t, source.get(), Vx(0, 0, -2, 0), Vx(8, 0, 6, 0), Vx(0, 4, -2, 4));
  for (int x = 0; x < 10; x++) {
    const int u = x - 2;
    EXPECT_EQ(t.Get(x, 0), u >= 0 && u < 4 ? TexelCode(u, 0) : 0u) << x;
  }
}

// Texel coordinates are not words that wrap: left of a source of any width they stay
// negative and draw nothing, and texels beyond 8192 or 16384 columns are reached exactly.
TEST(TriangleTexels, WideSourcesNeitherWrapNorLoseTexels) {
  for (int width : {12000, 16383, 16384, 20000}) {
    TestImage source(MEMIMG_TYPE_32BIT, width, 2);
    for (int v = 0; v < 2; v++)
      for (int u = 0; u < width; u++) source.Set(u, v, 0x01000000u | (uint32_t)(u + 1));
    // u starts at u0 in column 0 and grows by one texel per column.
    for (int u0 : {-3, -1, 12000 - 16384 - 2, width - 5, 9000}) {
      TestImage t(MEMIMG_TYPE_32BIT, 10, 2);
      ResetDrawState(t, 0, 255);
      Triangle(t, &source, Vx(0, 0, u0, 0), Vx(10, 0, u0 + 10, 0), Vx(0, 2, u0, 2));
      for (int x = 0; x < 10; x++) {
        const int u = u0 + x;
        EXPECT_EQ(t.Get(x, 0), u >= 0 && u < width ? 0x01000000u | (uint32_t)(u + 1) : 0u)
            << "width " << width << " u " << u;
      }
    }
  }
}

// ---- The worked pixel cases -----------------------------------------------------------------

struct PixelCase {
  const char* name;
  int type;          // MEMIMG_TYPE_32BIT or MEMIMG_TYPE_RGB565
  int kind;          // -1 flat, PLAIN, PALETTE or ALPHA
  int mode, param;
  uint32_t tint;
  int weight;        // blend-graph byte (the weights are the identity), -1 without blend graph
  int trans;
  uint32_t transparent;
  uint32_t target, texel;  // texel: raw word, palette index or the flat colour
  uint32_t expected;
};

// Palette sources: entry i is 0x1234 (RGB565) or 0x00123456 (32-bit) at 5 and 9, white at 7.
const PixelCase kPixelCases[] = {
    // RGB565 textured.
    {"copy", MEMIMG_TYPE_RGB565, PLAIN, 0, 255, 0xFFFFFF, -1, 0, 0, 0, 0x1234, 0x1234},
    {"copy palette", MEMIMG_TYPE_RGB565, PALETTE, 0, 255, 0xFFFFFF, -1, 0, 0, 0, 5, 0x1234},
    {"transparent index", MEMIMG_TYPE_RGB565, PALETTE, 0, 255, 0xFFFFFF, -1, 1, 5, 0x0F0F, 5, 0x0F0F},
    {"same colour, other index", MEMIMG_TYPE_RGB565, PALETTE, 0, 255, 0xFFFFFF, -1, 1, 5, 0x0F0F, 9, 0x1234},
    {"index without the flag", MEMIMG_TYPE_RGB565, PALETTE, 0, 255, 0xFFFFFF, -1, 0, 5, 0x0F0F, 5, 0x1234},
    {"transparent texel", MEMIMG_TYPE_RGB565, PLAIN, 0, 255, 0xFFFFFF, -1, 1, 0x1234, 0x0F0F, 0x1234, 0x0F0F},
    {"transparent above 0xFFFF", MEMIMG_TYPE_RGB565, PLAIN, 0, 255, 0xFFFFFF, -1, 1, 0x11234, 0x0F0F, 0x1234, 0x1234},
    {"alpha 255 opaque", MEMIMG_TYPE_RGB565, ALPHA, 0, 255, 0xFFFFFF, -1, 1, 0, 0, 0xFFFFFF, 0xFFFF},
    {"alpha 255 as weight", MEMIMG_TYPE_RGB565, ALPHA, 0, 255, 0xFFFFFF, -1, 0, 0, 0, 0xFFFFFF, 0xF7DE},
    {"alpha blend 128 up", MEMIMG_TYPE_RGB565, PLAIN, 1, 128, 0xFFFFFF, -1, 0, 0, 0, 0xFFFF, 0x7BEF},
    {"alpha blend 128 down", MEMIMG_TYPE_RGB565, PLAIN, 1, 128, 0xFFFFFF, -1, 0, 0, 0xFFFF, 0, 0x8410},
    // The difference table (24), not the blit's 6-bit mix weight (25).
    {"alpha blend 100, green", MEMIMG_TYPE_RGB565, PLAIN, 1, 100, 0xFFFFFF, -1, 0, 0, 0, 0x07E0, 24 << 5},
    {"blend graph 128", MEMIMG_TYPE_RGB565, PLAIN, 0, 255, 0xFFFFFF, 128, 0, 0, 0, 0xFFFF, 0x7BEF},
    {"grey tint", MEMIMG_TYPE_RGB565, PLAIN, 0, 255, 0x808080, -1, 0, 0, 0, 0xFFFF, 0x7BEF},
    {"red tint", MEMIMG_TYPE_RGB565, PLAIN, 0, 255, 0xFF0000, -1, 0, 0, 0, 0xFFFF, 0xF800},
    {"add, blue saturates", MEMIMG_TYPE_RGB565, PLAIN, 2, 255, 0xFFFFFF, -1, 0, 0, 0x0001, 0x001F, 0x003F},
    {"add, low green bits", MEMIMG_TYPE_RGB565, PLAIN, 2, 255, 0xFFFFFF, -1, 0, 0, 0x0020, 0x0020, 0x0020},
    {"add, all carry", MEMIMG_TYPE_RGB565, PLAIN, 2, 255, 0xFFFFFF, -1, 0, 0, 0x8410, 0x8410, 0xFFFF},
    {"add, red saturates", MEMIMG_TYPE_RGB565, PLAIN, 2, 255, 0xFFFFFF, -1, 0, 0, 0xF800, 0xF800, 0xF800},
    {"subtract white", MEMIMG_TYPE_RGB565, PLAIN, 3, 255, 0xFFFFFF, -1, 0, 0, 0xFFFF, 0xFFFF, 0x0800},
    {"subtract nothing from green", MEMIMG_TYPE_RGB565, PLAIN, 3, 255, 0xFFFFFF, -1, 0, 0, 0x07E0, 0, 0x0FC0},
    {"subtract nothing from black", MEMIMG_TYPE_RGB565, PLAIN, 3, 255, 0xFFFFFF, -1, 0, 0, 0, 0, 0x0800},
    {"palette subtract at 0", MEMIMG_TYPE_RGB565, PALETTE, 3, 0, 0xFFFFFF, -1, 0, 0, 0x1234, 7, 0x1A14},
    {"palette subtract at 0, white", MEMIMG_TYPE_RGB565, PALETTE, 3, 0, 0xFFFFFF, -1, 0, 0, 0xFFFF, 7, 0xFFDF},
    {"direct subtract at 0", MEMIMG_TYPE_RGB565, PLAIN, 3, 0, 0xFFFFFF, -1, 0, 0, 0x1234, 0xFFFF, 0x1234},
    {"multiply white", MEMIMG_TYPE_RGB565, PLAIN, 4, 255, 0xFFFFFF, -1, 0, 0, 0xFFFF, 0xFFFF, 0xF7DE},
    {"multiply by alpha 0", MEMIMG_TYPE_RGB565, ALPHA, 4, 255, 0xFFFFFF, -1, 1, 0, 0x1234, 0x00FFFF, 0},
    {"multiply by weight 0", MEMIMG_TYPE_RGB565, PLAIN, 4, 255, 0xFFFFFF, 0, 0, 0, 0x1234, 0xFFFF, 0},
    {"inverted white", MEMIMG_TYPE_RGB565, PLAIN, 10, 254, 0xFFFFFF, -1, 0, 0, 0x1234, 0xFFFF, 0x0821},
    {"product white", MEMIMG_TYPE_RGB565, PLAIN, 11, 254, 0xFFFFFF, -1, 0, 0, 0x1234, 0xFFFF, 0x1234},
    {"alpha 0 copy", MEMIMG_TYPE_RGB565, ALPHA, 0, 255, 0xFFFFFF, -1, 1, 0, 0x1234, 0x00FFFF, 0x1234},
    {"alpha 0 blend", MEMIMG_TYPE_RGB565, ALPHA, 1, 100, 0xFFFFFF, -1, 1, 0, 0x1234, 0x00FFFF, 0x1234},
    {"alpha 0 add", MEMIMG_TYPE_RGB565, ALPHA, 2, 255, 0xFFFFFF, -1, 1, 0, 0x1234, 0x00FFFF, 0x1234},
    {"alpha 0 subtract", MEMIMG_TYPE_RGB565, ALPHA, 3, 255, 0xFFFFFF, -1, 1, 0, 0x1234, 0x00FFFF, 0x1234},
    {"alpha 0 inverted", MEMIMG_TYPE_RGB565, ALPHA, 10, 255, 0xFFFFFF, -1, 1, 0, 0x1234, 0x000000, 0x1234},
    // 32-bit textured.
    {"copy word", MEMIMG_TYPE_32BIT, PLAIN, 0, 255, 0xFFFFFF, -1, 0, 0, 0xAB000000, 0x5A123456, 0x5A123456},
    {"alpha 255 copies the word", MEMIMG_TYPE_32BIT, ALPHA, 0, 255, 0xFFFFFF, -1, 1, 0, 0xAB102030, 0xFF123456,
     0xFF123456},
    {"alpha 0 skipped", MEMIMG_TYPE_32BIT, ALPHA, 0, 255, 0xFFFFFF, -1, 1, 0, 0xAB102030, 0x00123456, 0xAB102030},
    {"alpha 255 as weight", MEMIMG_TYPE_32BIT, ALPHA, 0, 255, 0xFFFFFF, -1, 0, 0, 0xAB102030, 0xFF123456,
     0xAB113355},
    {"alpha 0 as weight", MEMIMG_TYPE_32BIT, ALPHA, 0, 255, 0xFFFFFF, -1, 0, 0, 0xAB102030, 0x00123456, 0xAB102030},
    {"multiply alpha 0", MEMIMG_TYPE_32BIT, ALPHA, 4, 255, 0xFFFFFF, -1, 1, 0, 0xAB102030, 0x00FFFFFF, 0xAB000000},
    {"multiply alpha 0, no flag", MEMIMG_TYPE_32BIT, ALPHA, 4, 255, 0xFFFFFF, -1, 0, 0, 0xAB102030, 0x00FFFFFF,
     0xAB000000},
    {"alpha byte counts in the key", MEMIMG_TYPE_32BIT, PLAIN, 0, 255, 0xFFFFFF, -1, 1, 0x00123456, 0, 0x01123456,
     0x01123456},
    {"key matches", MEMIMG_TYPE_32BIT, PLAIN, 0, 255, 0xFFFFFF, -1, 1, 0x00123456, 7, 0x00123456, 7},
    {"palette index skipped", MEMIMG_TYPE_32BIT, PALETTE, 0, 255, 0xFFFFFF, -1, 1, 5, 0xAB000000, 5, 0xAB000000},
    {"palette same colour drawn", MEMIMG_TYPE_32BIT, PALETTE, 0, 255, 0xFFFFFF, -1, 1, 5, 0xAB000000, 9, 0x00123456},
    {"inverted with black tint", MEMIMG_TYPE_32BIT, PLAIN, 10, 128, 0x000000, -1, 0, 0, 0xABC8C8C8, 0x00FFFFFF,
     0xAB646464},
    {"weight 0 copy", MEMIMG_TYPE_32BIT, PLAIN, 0, 255, 0xFFFFFF, 0, 0, 0, 0xAB102030, 0xFF, 0xAB102030},
    {"weight 0 blend", MEMIMG_TYPE_32BIT, PLAIN, 1, 100, 0xFFFFFF, 0, 0, 0, 0xAB102030, 0xFF, 0xAB102030},
    {"weight 0 inverted", MEMIMG_TYPE_32BIT, PLAIN, 10, 100, 0xFFFFFF, 0, 0, 0, 0xAB102030, 0xFF, 0xAB102030},
    {"weight 0 product", MEMIMG_TYPE_32BIT, PLAIN, 11, 100, 0xFFFFFF, 0, 0, 0, 0xAB102030, 0xFF, 0xAB102030},
    {"weight 0 multiply", MEMIMG_TYPE_32BIT, PLAIN, 4, 100, 0xFFFFFF, 0, 0, 0, 0xAB102030, 0xFF, 0xAB000000},
    {"weight 0 add", MEMIMG_TYPE_32BIT, PLAIN, 2, 100, 0xFFFFFF, 0, 0, 0, 0xAB102030, 0xFF, 0x00102030},
    {"weight 0 subtract", MEMIMG_TYPE_32BIT, PLAIN, 3, 100, 0xFFFFFF, 0, 0, 0, 0xAB102030, 0xFF, 0x00112130},
    {"palette subtract at 0", MEMIMG_TYPE_32BIT, PALETTE, 3, 0, 0xFFFFFF, -1, 0, 0, 0xAB102030, 7, 0x00112130},
    // Flat colour.
    {"flat blend 255 copies", MEMIMG_TYPE_32BIT, -1, 1, 255, 0xFFFFFF, -1, 0, 0, 0x11223344, 0xAB123456, 0xAB123456},
    {"flat blend 0", MEMIMG_TYPE_32BIT, -1, 1, 0, 0xFFFFFF, -1, 0, 0, 0x11223344, 0xAB123456, 0x11223344},
    {"flat inverted 0", MEMIMG_TYPE_32BIT, -1, 10, 0, 0xFFFFFF, -1, 0, 0, 0x11223344, 0xAB123456, 0x11223344},
    {"flat product 0", MEMIMG_TYPE_32BIT, -1, 11, 0, 0xFFFFFF, -1, 0, 0, 0x11223344, 0xAB123456, 0x11223344},
    {"flat inverted black 255", MEMIMG_TYPE_32BIT, -1, 10, 255, 0xFFFFFF, -1, 0, 0, 0x77000000, 0, 0x77FEFEFE},
    {"flat add white", MEMIMG_TYPE_32BIT, -1, 2, 255, 0xFFFFFF, -1, 0, 0, 0x00FFFFFF, 0x00FFFFFF, 0x01FFFFFF},
    {"flat subtract itself", MEMIMG_TYPE_32BIT, -1, 3, 255, 0xFFFFFF, -1, 0, 0, 0x55123456, 0x00123456, 0x00010100},
    {"flat black tint", MEMIMG_TYPE_32BIT, -1, 0, 255, 0x000000, -1, 0, 0, 0x11223344, 0xAB123456, 0xAB000000},
    {"flat grey tint", MEMIMG_TYPE_32BIT, -1, 0, 255, 0x808080, -1, 0, 0, 0, 0xAB40FF02, 0xAB208001},
    {"flat 565 multiply white", MEMIMG_TYPE_RGB565, -1, 4, 255, 0xFFFFFF, -1, 0, 0, 0x1234, 0xFFFF, 0x0A13},
    {"flat 565 blend 255", MEMIMG_TYPE_RGB565, -1, 1, 255, 0xFFFFFF, -1, 0, 0, 0x1234, 0xF00F, 0xF00F},
    {"flat 565 black tint", MEMIMG_TYPE_RGB565, -1, 0, 255, 0x000000, -1, 0, 0, 0x1234, 0xFFFF, 0},
    {"flat 565 colour above 16 bits", MEMIMG_TYPE_RGB565, -1, 0, 255, 0x808080, -1, 0, 0, 0, 0xFFFFFFFF, 0x7BEF},
    {"flat 565 high bits ignored", MEMIMG_TYPE_RGB565, -1, 1, 128, 0xFFFFFF, -1, 0, 0, 0, 0xFFFF0000, 0},
};

void SetUpSource(TestImage& s, const PixelCase& c) {
  if (c.kind == PALETTE) {
    for (int i = 0; i < 256; i++) s.SetPalette(i, 0);
    const uint32_t entry = c.type == MEMIMG_TYPE_32BIT ? 0x00123456 : 0x1234;
    s.SetPalette(5, entry);
    s.SetPalette(9, entry);
    s.SetPalette(7, c.type == MEMIMG_TYPE_32BIT ? 0x00FFFFFF : 0xFFFF);
  }
  s.m.store->transparentColor = c.transparent;
  s.Fill(c.texel);
}

TEST(TrianglePixels, WorkedCasesOfEveryModeOnBothPixelTypes) {
  for (const PixelCase& c : kPixelCases) {
    TestImage t(c.type, 4, 4);
    TestImage s(c.type, 4, 4, c.kind == PALETTE, c.kind == ALPHA);
    TestImage g(MEMIMG_TYPE_32BIT, 4, 4);  // read as one byte per texel
    ResetDrawState(t, c.mode, c.param);
    SetMemImgTint(c.tint);
    BuildBlendGraphWeights(128, 255);  // weight = graph byte
    t.Fill(c.target);
    if (c.kind >= 0) SetUpSource(s, c);
    for (int y = 0; y < 4; y++) memset(g.m.pixels + y * g.m.store->pitch, c.weight < 0 ? 0 : c.weight, 4);
    const TestImage* graph = c.weight >= 0 ? &g : nullptr;
    if (c.kind < 0) {
      Triangle(t, nullptr, Vx(0, 0), Vx(4, 0), Vx(0, 4), 0, nullptr, c.texel);
    } else {
      Quad(t, s, {0, 0}, {4, 0}, {0, 4}, {4, 4}, c.trans, graph);
    }
    EXPECT_EQ(t.Get(1, 1), c.expected) << c.name << (c.type == MEMIMG_TYPE_32BIT ? " (32-bit)" : " (RGB565)");
  }
}

// RGB565 sources with alpha follow the blit's general rule, drawn 1:1: the only differences
// are the blit's raw copy of such a source (mode 0 without tint, blend graph or transparent
// flag, where the triangle blends by the alpha) and its skip of clear texels in the multiply
// with the transparent flag (where the triangle multiplies by 0).
TEST(TrianglePixels, Rgb565AlphaSourcesFollowTheBlitsGeneralRule) {
  const int N = 16;
  TestImage source(MEMIMG_TYPE_RGB565, N, N, 0, 1), graph(MEMIMG_TYPE_32BIT, N, N);
  TestRandom random(1565);
  std::vector<uint32_t> before(N * N);
  for (int i = 0; i < N * N; i++) {
    const int r = random.Below(4);
    const uint32_t a = r == 0 ? 0 : r == 1 ? 255 : random.Below(256);
    source.Set(i % N, i / N, (random.Next() & 0xFF00FFFF) | a << 16);
    graph.m.pixels[(i / N) * graph.m.store->pitch + i % N] = (uint8_t)random.Next();
    before[i] = random.Next() & 0xFFFF;
  }
  for (int mode : {0, 1, 2, 3, 4, 10, 11})
    for (int p : {1, 100, 254, 255})
      for (uint32_t tint : {0xFFFFFFu, 0x40C880u})
        for (int g = 0; g < 2; g++)
          for (int trans = 0; trans < 2; trans++) {
            const bool rawCopy = (mode == 0 || (mode == 1 && p == 255)) && tint == 0xFFFFFF && !g && !trans;
            if (rawCopy) continue;
            TestImage blit(MEMIMG_TYPE_RGB565, N, N), triangle(MEMIMG_TYPE_RGB565, N, N);
            for (int i = 0; i < N * N; i++) blit.Set(i % N, i / N, before[i]), triangle.Set(i % N, i / N, before[i]);
            ResetDrawState(blit, mode, p);
            SetMemImgTint(tint);
            BuildBlendGraphWeights(128, 255);
            MEMIMGBlit(&blit.m, &source.m, 0, 0, trans, g ? &graph.m : nullptr);
            Triangle(triangle, &source, Vx(0, 0, 0, 0), Vx(N, 0, N, 0), Vx(0, N, 0, N), trans, g ? &graph : nullptr);
            int wrong = 0;
            for (int y = 0; y < N; y++)
              for (int x = 0; x < N && x + y <= N && wrong < 3; x++) {
                const bool clear = (source.Get(x, y) >> 16 & 0xFF) == 0;
                if (mode == 4 && trans && clear) continue;
                if (triangle.Get(x, y) != blit.Get(x, y)) {
                  wrong++;
                  ADD_FAILURE() << "mode " << mode << " p " << p << " tint " << std::hex << tint << std::dec
                                << " graph " << g << " trans " << trans << " pixel " << x << "," << y;
                }
              }
          }
}

// The mode entry: mode 1 at 255 is a copy; 5 to 9, 12 and -1 draw nothing; p = 0 draws
// nothing in modes 1, 2 and 3, except a subtract from a palette source.
TEST(TriangleSelection, ModesParametersAndRefusals) {
  for (int type : {MEMIMG_TYPE_32BIT, MEMIMG_TYPE_RGB565}) {
    auto source = CodedSource(type);
    TestImage palette(type, 4, 4, 1);
    palette.Fill(3);
    palette.SetPalette(3, 0x0F);
    auto draw = [&](int mode, int param, const TestImage* s) {
      TestImage t(type, 6, 6);
      ResetDrawState(t, mode, param);
      t.Fill(0x1234);
      if (s) Quad(t, *s, {0, 0}, {4, 0}, {0, 4}, {4, 4});
      else Triangle(t, nullptr, Vx(0, 0), Vx(4, 0), Vx(0, 4), 0, nullptr, 0x0F);
      return t.Get(1, 1);
    };
    for (const TestImage* s : {(const TestImage*)source.get(), (const TestImage*)nullptr}) {
      EXPECT_EQ(draw(1, 255, s), draw(0, 0, s)) << type;
      EXPECT_NE(draw(0, 0, s), 0x1234u) << type;
      for (int mode : {5, 6, 7, 8, 9, 12, -1, 1000}) EXPECT_EQ(draw(mode, 128, s), 0x1234u) << type << " mode " << mode;
      for (int mode : {1, 2, 3}) EXPECT_EQ(draw(mode, 0, s), 0x1234u) << type << " mode " << mode;
    }
    EXPECT_NE(draw(3, 0, &palette), 0x1234u) << type;
  }
  // Refused targets and sources: palette or alpha targets, mixed pixel types.
  TestImage s32(MEMIMG_TYPE_32BIT, 4, 4), s565(MEMIMG_TYPE_RGB565, 4, 4);
  s32.Fill(0xFFFFFF);
  s565.Fill(0xFFFF);
  struct Target {
    int type, palette, alpha;
    const TestImage* source;
  } refused[] = {{MEMIMG_TYPE_32BIT, 1, 0, nullptr}, {MEMIMG_TYPE_32BIT, 0, 1, nullptr},
                 {MEMIMG_TYPE_RGB565, 0, 1, &s565}, {MEMIMG_TYPE_RGB565, 0, 0, &s32},
                 {MEMIMG_TYPE_32BIT, 0, 0, &s565},  {MEMIMG_TYPE_32BIT, 0, 1, &s32}};
  for (const Target& r : refused) {
    TestImage t(r.type, 6, 6, r.palette, r.alpha);
    ResetDrawState(t, 0, 255);
    if (r.source) Quad(t, *r.source, {0, 0}, {4, 0}, {0, 4}, {4, 4});
    else Triangle(t, nullptr, Vx(0, 0), Vx(4, 0), Vx(0, 4), 0, nullptr, 0xFF);
    EXPECT_EQ(t.Get(1, 1), 0u) << r.type << r.palette << r.alpha;
  }
}

// Without a source the blend graph, the transparent flag and u, v change nothing; with one,
// a blend graph smaller than the source draws nothing (it is read at the source's texels).
TEST(TriangleSelection, FlatIgnoresTexturingAndSmallBlendGraphsAreRefused) {
  TestImage graph(MEMIMG_TYPE_32BIT, 4, 4);
  graph.Fill(0x40404040);
  auto flat = [&](int trans, const TestImage* g, int u) {
    TestImage t(MEMIMG_TYPE_32BIT, 8, 8);
    ResetDrawState(t, 1, 100);
    t.Fill(0x00808080);
    Triangle(t, nullptr, Vx(0, 0, u, u), Vx(7, 1, 3 * u, 0), Vx(2, 7, 0, -u), trans, g, 0x00FF2040);
    std::vector<uint32_t> pixels;
    for (int y = 0; y < 8; y++)
      for (int x = 0; x < 8; x++) pixels.push_back(t.Get(x, y));
    return pixels;
  };
  EXPECT_EQ(flat(1, &graph, 5), flat(0, nullptr, 0));

  auto source = CodedSource(MEMIMG_TYPE_32BIT);
  for (int size : {4, 5, 3}) {
    TestImage g(MEMIMG_TYPE_32BIT, size, size);
    for (int y = 0; y < size; y++) memset(g.m.pixels + y * g.m.store->pitch, 255, (size_t)size * 4);
    TestImage t(MEMIMG_TYPE_32BIT, 6, 6);
    ResetDrawState(t, 0, 255);
    BuildBlendGraphWeights(128, 255);
    Quad(t, *source, {0, 0}, {4, 0}, {0, 4}, {4, 4}, 0, &g);
    EXPECT_EQ(t.Get(2, 3) != 0, size >= 4) << "blend graph " << size;
  }
}

// ---- Every mode and variant against a reference --------------------------------------------

int P(int k, int n) { return k * n / 255; }
long long FloorDiv(long long a, long long b) { return a >= 0 ? a / b : -((-a + b - 1) / b); }
// d moved toward x by the weight w over 2^(8n).
int Toward(int d, int x, long long w, int n) { return d + (int)FloorDiv((long long)(x - d) * w, 1LL << (8 * n)); }

// Saturating add and clamped subtract of the three channels, as the packed word operations
// come out channel by channel: blue whole, the upper bits of green and red with the carry or
// borrow from below, and their lowest bits ORed in (add) or as the guards leave them.
void PackedAddChannels(const int* s, const int* d, const int* bits, int* out, int* carryOut) {
  int carry = 0;
  for (int i = 0; i < 3; i++) {
    const int top = (1 << bits[i]) - 1;
    const int sum = i == 0 ? s[0] + d[0] : (s[i] & ~1) + (d[i] & ~1) + carry;
    const int low = i == 0 ? 0 : (s[i] | d[i]) & 1;
    const bool over = sum > top;
    if (!over) out[i] = sum | low;
    else if (i == 1 && bits[1] == 6) out[i] = 0x3E | carry | low;  // RGB565 green: its lowest bit is not saturated
    else out[i] = top;
    carry = over;
  }
  *carryOut = carry;
}

void PackedSubtractChannels(const int* s, const int* d, const int* bits, int* out) {
  int borrow = 0;
  for (int i = 0; i < 3; i++) {
    const int v = i == 0 ? d[0] - s[0] : (d[i] | 1) - (s[i] & ~1) - borrow;
    borrow = v < 0;
    out[i] = borrow ? 0 : (i == 1 && bits[1] == 6) ? v & 0x3E : v;
  }
}

struct RefCase {
  int type, kind, mode, p;
  uint32_t tint;
  bool graph;
  bool trans;
  uint32_t transparent;
  const uint32_t* palette;
};

// What one visited pixel with an in-bounds texel becomes, from the rules of the two formats.
uint32_t Reference(const RefCase& c, uint32_t raw, int w, uint32_t d) {
  const bool is565 = c.type == MEMIMG_TYPE_RGB565;
  int mode = c.mode;
  if (mode == 1 && c.p == 255) mode = 0;
  if ((mode == 1 || mode == 2) && c.p == 0) return d;
  if (mode == 3 && c.p == 0 && c.kind != PALETTE) return d;
  const int p = c.p;

  uint32_t colour = raw;
  int a = 255;
  if (c.kind == PALETTE) colour = c.palette[raw];
  if (c.kind == ALPHA) {
    colour = is565 ? raw & 0xFFFF : raw;
    a = is565 ? (int)(raw >> 16 & 0xFF) : (int)(raw >> 24);
  }
  bool useA = c.kind == ALPHA;
  if (c.trans && c.kind != ALPHA && raw == c.transparent) return d;
  if (c.trans && c.kind == ALPHA) {
    const bool skipsClear = mode <= 3 || (is565 && mode == 10);
    if (a == 0 && skipsClear) return d;
    if (a == 255) useA = false;
  }

  const int bits[3] = {is565 ? 5 : 8, is565 ? 6 : 8, is565 ? 5 : 8};
  const int shift[3] = {0, is565 ? 5 : 8, is565 ? 11 : 16};
  const int tint[3] = {(int)(c.tint & 0xFF), (int)(c.tint >> 8 & 0xFF), (int)(c.tint >> 16 & 0xFF)};
  const bool tinted = (c.tint & 0xFFFFFF) != 0xFFFFFF;
  int s[3], dc[3], out[3];
  for (int i = 0; i < 3; i++) {
    s[i] = (int)(colour >> shift[i]) & ((1 << bits[i]) - 1);
    dc[i] = (int)(d >> shift[i]) & ((1 << bits[i]) - 1);
  }
  const uint32_t high = is565 ? 0 : d & 0xFF000000;
  auto pack = [&](const int* v) {
    return (uint32_t)v[0] << shift[0] | (uint32_t)v[1] << shift[1] | (uint32_t)v[2] << shift[2];
  };

  if (mode == 2 || mode == 3) {
    int s2[3];
    for (int i = 0; i < 3; i++) {
      int x = s[i];
      if (is565) {
        if (useA && !c.graph) x = x * a >> 8;
        if (tinted) x = P(tint[i], x);
        if (c.graph) x = useA ? x * w * a >> 16 : x * w >> 8;
        s2[i] = P(p, x);
      } else {
        if (tinted) x = P(tint[i], x);
        long long W = p;
        int n = 1;
        if (c.graph) W *= w, n++;
        if (useA) W *= a, n++;
        s2[i] = n == 1 ? P(p, x) : (int)((x * W) >> (8 * n));
      }
    }
    if (mode == 2) {
      int carry;
      PackedAddChannels(s2, dc, bits, out, &carry);
      return pack(out) | (is565 ? 0 : (uint32_t)carry << 24);
    }
    PackedSubtractChannels(s2, dc, bits, out);
    return pack(out);
  }

  // Weight factors: blend graph, alpha, and p for the blending modes.
  long long W = 1;
  int n = 0;
  if (c.graph) W *= w, n++;
  if (useA) W *= a, n++;
  const bool blends = mode == 1 || mode == 10 || mode == 11;
  if (mode == 0 && n == 0 && !tinted) return is565 ? colour & 0xFFFF : colour;
  for (int i = 0; i < 3; i++) {
    const int top = (1 << bits[i]) - 1;
    int x = mode == 10 ? top - s[i] : s[i];
    if (tinted) x = P(tint[i], x);
    if (mode == 0) {
      out[i] = n == 0 ? x : Toward(dc[i], x, W, n);
    } else if (mode == 4) {
      out[i] = (int)(((long long)x * W * dc[i]) >> (bits[i] + 8 * n));
    } else if (blends) {
      if (mode == 11) x = x * dc[i] >> bits[i];
      if (is565 && n == 0) {
        out[i] = dc[i] + (x - dc[i]) * p / 255;  // toward zero
      } else if (is565 && mode == 11 && i == 1 && useA && !c.graph && !tinted) {
        const int q = s[1] * dc[1] / 2;
        out[i] = (int)FloorDiv((long long)dc[1] * (1 << 21) + (long long)(q - 32 * dc[1]) * a * p, 1 << 21);
      } else {
        out[i] = Toward(dc[i], x, W * p, n + 1);
      }
    }
  }
  return high | pack(out);
}

// The flat colour in the target's layout after the tint; an RGB565 colour keeps 16 bits.
uint32_t FlatReferenceColour(int type, uint32_t colour, uint32_t tint) {
  const int t[3] = {(int)(tint & 0xFF), (int)(tint >> 8 & 0xFF), (int)(tint >> 16 & 0xFF)};
  if (type == MEMIMG_TYPE_RGB565) {
    colour &= 0xFFFF;
    return (uint32_t)P(t[2], colour >> 11) << 11 | (uint32_t)P(t[1], colour >> 5 & 63) << 5 |
           (uint32_t)P(t[0], colour & 31);
  }
  return (colour & 0xFF000000) | (uint32_t)P(t[2], colour >> 16 & 0xFF) << 16 |
         (uint32_t)P(t[1], colour >> 8 & 0xFF) << 8 | (uint32_t)P(t[0], colour & 0xFF);
}

const MEMIMG_VERTEX kShape[3] = {Vx(-2, 1, -3, 0), Vx(13, 3, 9, 2), Vx(4, 14, 3, 9)};
const int kSize = 14, kSource = 8;

// Which source texel each target pixel of kShape takes (-1: not drawn), through a copy from
// a source whose texels name their coordinates; for a flat triangle 0 where it draws.
std::vector<int> ProbeTexels(int type, bool flat) {
  TestImage probe(type, kSource, kSource), t(type, kSize, kSize);
  for (int v = 0; v < kSource; v++)
    for (int u = 0; u < kSource; u++) probe.Set(u, v, 0x8000u | (uint32_t)(v * kSource + u));
  ResetDrawState(t, 0, 255);
  Triangle(t, flat ? nullptr : &probe, kShape[0], kShape[1], kShape[2], 0, nullptr, 0x8000);
  std::vector<int> out;
  for (int y = 0; y < kSize; y++)
    for (int x = 0; x < kSize; x++) out.push_back(t.Get(x, y) ? (int)(t.Get(x, y) & 0x7FFF) : -1);
  return out;
}

TEST(TriangleKernels, EveryModeAndVariantMatchesTheReference) {
  const int modes[] = {0, 1, 2, 3, 4, 10, 11};
  const int params[] = {0, 1, 100, 254, 255};
  const uint32_t tints[] = {0xFFFFFF, 0x40C880};
  int checked = 0;
  for (int type : {MEMIMG_TYPE_32BIT, MEMIMG_TYPE_RGB565}) {
    const bool is565 = type == MEMIMG_TYPE_RGB565;
    const std::vector<int> flatCover = ProbeTexels(type, true);
    const std::vector<int> texelCover = ProbeTexels(type, false);  // also resets the draw state
    BuildBlendGraphWeights(128, 255);
    int drawn = 0, outOfSource = 0;
    for (size_t i = 0; i < texelCover.size(); i++) drawn += texelCover[i] >= 0, outOfSource += flatCover[i] > texelCover[i];
    ASSERT_GT(drawn, 40);
    ASSERT_GT(outOfSource, 5);
    TestRandom random(is565 ? 565 : 32);
    std::vector<uint32_t> before(kSize * kSize);
    for (uint32_t& v : before) v = is565 ? random.Next() & 0xFFFF : random.Next();
    uint32_t palette[256];
    for (uint32_t& e : palette) e = is565 ? random.Next() & 0xFFFF : random.Next();
    palette[9] = palette[7];
    TestImage graph(MEMIMG_TYPE_32BIT, kSource, kSource);  // read one byte per texel
    std::vector<uint8_t> weights(kSource * kSource);
    for (int i = 0; i < kSource * kSource; i++) {
      const int r = random.Below(4);
      weights[i] = (uint8_t)(r == 0 ? 0 : r == 1 ? 255 : random.Below(256));
      graph.m.pixels[(i / kSource) * graph.m.store->pitch + i % kSource] = weights[i];
    }

    for (int kind : {-1, (int)PLAIN, (int)PALETTE, (int)ALPHA}) {
      TestImage source(type, kSource, kSource, kind == PALETTE, kind == ALPHA);
      std::vector<uint32_t> raw(kSource * kSource);
      const uint32_t transparent = kind == PALETTE ? 7 : is565 ? 0x1234 : 0x00123456;
      for (int i = 0; i < kSource * kSource; i++) {
        const int r = random.Below(5);
        uint32_t v;
        if (kind == PALETTE) v = r == 0 ? 7 : r == 1 ? 9 : random.Below(256);
        else if (r == 0) v = transparent;
        else v = is565 ? random.Next() & 0xFFFF : random.Next();
        if (kind == ALPHA) {
          const uint32_t a = r == 1 ? 0 : r == 2 ? 255 : random.Below(256);
          v = is565 ? (random.Next() & 0xFF000000) | a << 16 | (v & 0xFFFF) : (v & 0xFFFFFF) | a << 24;
        }
        raw[i] = v;
        if (kind >= 0) source.Set(i % kSource, i / kSource, v);
      }
      if (kind == PALETTE)
        for (int e = 0; e < 256; e++) source.SetPalette(e, palette[e]);
      source.m.store->transparentColor = transparent;
      const uint32_t flatColour = is565 ? 0xFFFF0000 | 0xA5C3 : 0x7F3A91C4;

      const std::vector<int>& texelOf = kind < 0 ? flatCover : texelCover;
      for (int mode : modes)
        for (int p : params)
          for (uint32_t tint : tints)
            for (int g = 0; g < (kind < 0 ? 1 : 2); g++)
              for (int trans = 0; trans < (kind < 0 ? 1 : 2); trans++) {
                TestImage t(type, kSize, kSize);
                SetMemImgBlendMode(mode, p);
                SetMemImgTint(tint);
                for (int i = 0; i < kSize * kSize; i++) t.Set(i % kSize, i / kSize, before[i]);
                if (kind < 0) Triangle(t, nullptr, kShape[0], kShape[1], kShape[2], 0, nullptr, flatColour);
                else Triangle(t, &source, kShape[0], kShape[1], kShape[2], trans, g ? &graph : nullptr);

                const RefCase rc = {type, kind < 0 ? PLAIN : kind, mode, p, kind < 0 ? 0xFFFFFF : tint, g != 0,
                                    trans != 0, transparent, palette};
                int wrong = 0;
                for (int i = 0; i < kSize * kSize && wrong < 3; i++) {
                  uint32_t want = before[i];
                  if (texelOf[i] >= 0) {
                    if (kind < 0) want = Reference(rc, FlatReferenceColour(type, flatColour, tint), 0, before[i]);
                    else want = Reference(rc, raw[texelOf[i]], weights[texelOf[i]], before[i]);
                  }
                  if (t.Get(i % kSize, i / kSize) != want) {
                    wrong++;
                    ADD_FAILURE() << (is565 ? "RGB565" : "32-bit") << " kind " << kind << " mode " << mode << " p " << p
                                  << " tint " << std::hex << tint << std::dec << " graph " << g << " trans " << trans
                                  << " pixel " << i % kSize << "," << i / kSize << ": got " << std::hex
                                  << t.Get(i % kSize, i / kSize) << " want " << want << " texel "
                                  << (texelOf[i] >= 0 ? raw[texelOf[i]] : 0);
                  }
                }
                checked++;
              }
    }
  }
  EXPECT_EQ(checked, 2 * 7 * 5 * 2 * (1 + 3 * 4));
}

}  // namespace
