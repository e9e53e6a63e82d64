// Texture splits, image-set texture grids, graph pieces and the standard texture formats.
#include <gtest/gtest.h>

#include <vector>

#include "graphics/graphs/graph_formats.h"
#include "graphics/graphs/graph_layout.h"

namespace {
const TEXTURE_LIMITS kPow2Device = {2048, 1, 0, 0};

std::vector<int> Split(const TEXTURE_LIMITS& limits, int max, int n, int pow2) {
  int count = SplitTextureLengthWithLimits(&limits, max, n, nullptr, pow2);
  std::vector<int> sizes(count, -1);
  EXPECT_EQ(SplitTextureLengthWithLimits(&limits, max, n, sizes.data(), pow2), count);
  return sizes;
}

TEST(SplitTextureLength, Cases) {
  const TEXTURE_LIMITS anySize = {2048, 0, 0, 0}, conditional = {2048, 1, 1, 0};
  struct Case {
    const char* name;
    const TEXTURE_LIMITS* limits;
    int max, n, pow2;
    std::vector<int> sizes;
  } cases[] = {
      {"700 fits one 1024", &kPow2Device, 0, 700, 1, {1024}},
      {"3000 takes 2048 and 1024", &kPow2Device, 0, 3000, 1, {2048, 1024}},
      {"2100 takes ever smaller pieces", &kPow2Device, 2048, 2100, 1, {2048, 32, 16, 4}},
      {"exact power of two", &kPow2Device, 0, 512, 1, {512}},
      {"length 1", &kPow2Device, 0, 1, 1, {1}},
      {"length 0 counts as 1", &kPow2Device, 0, 0, 1, {1}},
      {"exactly the maximum", &kPow2Device, 0, 2048, 1, {2048}},
      {"rest close to the size doubles the last piece", &kPow2Device, 0, 2048 + 1900, 1, {2048, 2048}},
      {"many maximum pieces", &kPow2Device, 256, 1000, 1, {256, 256, 256, 256}},
      {"a smaller maximum given", &kPow2Device, 256, 300, 1, {256, 32, 8, 4}},
      {"any size when allowed", &anySize, 0, 700, 0, {700}},
      {"conditional non-power-of-two", &conditional, 0, 700, 0, {700}},
      {"power-of-two device", &kPow2Device, 0, 700, 0, {1024}},
      {"any size but above the maximum", &anySize, 0, 3000, 0, {2048, 1024}},
  };
  for (const Case& c : cases) EXPECT_EQ(Split(*c.limits, c.max, c.n, c.pow2), c.sizes) << c.name;
}

struct Set {
  GRAPH_IMAGE_SET set = {};
  std::vector<GRAPH_TEXTURE> textures;
  Set(const TEXTURE_LIMITS& limits, int w, int h) {
    int count = LayoutImageSetTextures(&limits, 0, w, h, 1, nullptr);
    textures.resize(count);
    LayoutImageSetTextures(&limits, 0, w, h, 1, textures.data());
    set.width = w;
    set.height = h;
    set.textureCount = count;
    set.textures = textures.data();
  }
  std::vector<GRAPH_PIECE> Pieces(int x, int y, int w, int h) {
    std::vector<GRAPH_PIECE> pieces(LayoutGraphPieces(&set, x, y, w, h, nullptr));
    LayoutGraphPieces(&set, x, y, w, h, pieces.data());
    return pieces;
  }
};

TEST(GraphLayout, OneTextureHoldsA700x300Image) {
  Set s(kPow2Device, 700, 300);
  ASSERT_EQ(s.set.textureCount, 1);
  EXPECT_EQ(s.textures[0].width, 1024);
  EXPECT_EQ(s.textures[0].height, 512);
  EXPECT_EQ(s.textures[0].usedWidth, 700);
  EXPECT_EQ(s.textures[0].usedHeight, 300);
  auto pieces = s.Pieces(0, 0, 700, 300);
  ASSERT_EQ(pieces.size(), 1u);
  const GRAPH_CORNER& br = pieces[0].corners[GRAPH_CORNER_BOTTOM_RIGHT];
  EXPECT_FLOAT_EQ(br.x, 700.0f);
  EXPECT_FLOAT_EQ(br.y, 300.0f);
  EXPECT_FLOAT_EQ(br.u, 700.0f / 1024);
  EXPECT_FLOAT_EQ(br.v, 300.0f / 512);
  EXPECT_FLOAT_EQ(pieces[0].corners[GRAPH_CORNER_TOP_LEFT].u, 0.0f);
  // Corner flags: on or above the diagonal from bottom-left to top-right.
  EXPECT_EQ(pieces[0].cornerFlags[GRAPH_CORNER_TOP_LEFT], 1);
  EXPECT_EQ(pieces[0].cornerFlags[GRAPH_CORNER_TOP_RIGHT], 1);
  EXPECT_EQ(pieces[0].cornerFlags[GRAPH_CORNER_BOTTOM_LEFT], 1);
  EXPECT_EQ(pieces[0].cornerFlags[GRAPH_CORNER_BOTTOM_RIGHT], 0);
}

TEST(GraphLayout, WideImageAndDerivedRectangles) {
  Set s(kPow2Device, 3000, 100);
  ASSERT_EQ(s.set.textureCount, 2);
  EXPECT_EQ(s.textures[0].width, 2048);
  EXPECT_EQ(s.textures[1].x, 2048);
  EXPECT_EQ(s.textures[1].width, 1024);
  EXPECT_EQ(s.textures[1].usedWidth, 952);
  auto pieces = s.Pieces(2000, 10, 100, 50);
  ASSERT_EQ(pieces.size(), 2u);
  EXPECT_EQ(pieces[0].graphX, 0);
  EXPECT_EQ(pieces[0].textureX, 2000);
  EXPECT_EQ(pieces[0].width, 48);
  EXPECT_EQ(pieces[0].textureY, 10);
  EXPECT_EQ(pieces[1].graphX, 48);
  EXPECT_EQ(pieces[1].textureX, 0);
  EXPECT_EQ(pieces[1].width, 52);
  EXPECT_EQ(pieces[1].texture, &s.textures[1]);
  EXPECT_FLOAT_EQ(pieces[1].corners[GRAPH_CORNER_TOP_RIGHT].u, 52.0f / 1024);
  EXPECT_EQ(s.Pieces(100, 0, 200, 100).size(), 1u);
}

TEST(GraphLayout, SquareOnlyDevice) {
  const TEXTURE_LIMITS square = {2048, 1, 0, 1};
  Set s(square, 256, 64);
  ASSERT_EQ(s.set.textureCount, 4);
  for (int i = 0; i < 4; i++) {
    EXPECT_EQ(s.textures[i].x, 64 * i);
    EXPECT_EQ(s.textures[i].width, 64);
    EXPECT_EQ(s.textures[i].height, 64);
  }
  // Squares beyond the image's right edge hold no pixel and are left out.
  Set narrow(square, 150, 64);
  EXPECT_EQ(narrow.set.textureCount, 3);
  EXPECT_EQ(narrow.textures[2].usedWidth, 22);
}

TEST(GraphLayout, ManyPiecesAreAllLaidOut) {
  const TEXTURE_LIMITS small = {64, 1, 0, 0};
  Set s(small, 320, 320);  // 5 x 5 textures
  EXPECT_EQ(s.set.textureCount, 25);
  auto pieces = s.Pieces(0, 0, 320, 320);
  EXPECT_EQ(pieces.size(), 25u);
  EXPECT_GT(GraphRecordSize(25), GraphRecordSize(4));
  EXPECT_EQ(GraphRecordSize(25) - GraphRecordSize(24), (int)sizeof(GRAPH_PIECE));
  EXPECT_EQ(GraphRecordSize(1), (int)sizeof(GRAPH_RECORD));
}

TEST(TextureFormats, Classification) {
  auto desc = [](int bits, int alpha, int alphaTest) {
    TEXTURE_DESC d = {};
    d.colorBits = (uint8_t)bits;
    d.alpha = (uint8_t)alpha;
    d.alphaTest = (uint8_t)alphaTest;
    return d;
  };
  struct Case {
    const char* name;
    TEXTURE_DESC d;
    int index;
  } cases[] = {
      {"16-bit alpha-test", desc(16, 0, 1), 4},  {"16-bit alpha", desc(16, 1, 0), 2},
      {"32-bit alpha-test", desc(32, 0, 1), 5},  {"32-bit alpha", desc(32, 1, 0), 3},
      {"16-bit plain", desc(16, 0, 0), 0},       {"32-bit plain", desc(32, 0, 0), 1},
  };
  for (const Case& c : cases) EXPECT_EQ(ClassifyTextureDesc(&c.d), c.index) << c.name;
  TEXTURE_DESC d = desc(32, 0, 0);
  d.compressedKind = 1;
  EXPECT_EQ(ClassifyTextureDesc(&d), 6);
  d = desc(32, 0, 0);
  d.drawable = 1;
  EXPECT_EQ(ClassifyTextureDesc(&d), 12);
  d.alpha = 1;
  EXPECT_EQ(ClassifyTextureDesc(&d), 13);
  d = desc(128, 0, 0);
  d.floatChannels = 1;
  EXPECT_EQ(ClassifyTextureDesc(&d), 16);
  d.channelCount = 1;
  d.channelBits = 16;
  EXPECT_EQ(ClassifyTextureDesc(&d), 19);
  d.floatChannels = 0;
  d.channelCount = 2;
  d.channelBits = 8;
  EXPECT_EQ(ClassifyTextureDesc(&d), 21);
  EXPECT_EQ(GetTextureColorFormat(25), nullptr);
  EXPECT_EQ(GetTextureColorFormat(2)->alphaMask, 0xF000u);
  EXPECT_EQ(GetTextureColorFormat(7)->kind, 2);
  EXPECT_EQ(GetTextureColorFormat(14)->bytesPerPixel, 8);
  EXPECT_EQ(PickTextureColorFormat(0, 1, 0, 0), GetTextureColorFormat(4));
  EXPECT_EQ(PickTextureColorFormat(1, 0, 1, 0), GetTextureColorFormat(3));
}
}  // namespace
