// Raster images and ConvertPixelRect: every conversion path in its order, the direct
// conversions, the alpha rules, both dithers, palette matching, clipped copies and sizes.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "core/memory.h"
#include "image/color_format.h"
#include "image/pixel_convert.h"
#include "image/raster_image.h"

namespace {
COLOR_FORMAT Packed(int bits, uint32_t r, uint32_t g, uint32_t b, uint32_t a) {
  COLOR_FORMAT f;
  InitColorFormat(&f, bits, r, g, b, a, 0, 0, 0);
  return f;
}

struct Formats {
  COLOR_FORMAT pal, gray, farPal, rgb565, x555, a555, argb4444, rgb24, xrgb, argb;
  Formats() {
    memset(this, 0, sizeof(*this));
    InitPaletteFormat(&pal);
    SetEntry(&pal, 1, 0xFF8008);
    SetEntry(&pal, 2, 0x102030);
    InitGray8Format(&gray);
    // A palette far from most colours but for black at 5 and white at 6.
    InitPaletteFormat(&farPal);
    for (int i = 0; i < 256; i++) SetEntry(&farPal, i, 0xFF00FF);
    SetEntry(&farPal, 5, 0x000000);
    SetEntry(&farPal, 6, 0xFFFFFF);
    rgb565 = Packed(16, 0xF800, 0x7E0, 0x1F, 0);
    x555 = Packed(16, 0x7C00, 0x3E0, 0x1F, 0);
    a555 = Packed(16, 0x7C00, 0x3E0, 0x1F, 0x8000);
    argb4444 = Packed(16, 0xF00, 0xF0, 0xF, 0xF000);
    InitRGB24Format(&rgb24);
    InitXRGB8Format(&xrgb);
    InitARGB8Format(&argb);
  }
  static void SetEntry(COLOR_FORMAT* f, int i, uint32_t rgb) {
    f->palette[i][0] = (uint8_t)rgb;
    f->palette[i][1] = (uint8_t)(rgb >> 8);
    f->palette[i][2] = (uint8_t)(rgb >> 16);
    f->palette[i][3] = 0;
  }
};
const Formats& F() {
  static Formats formats;
  return formats;
}

// One row of pixels of a format, stored little-endian at the format's size.
std::vector<uint8_t> Row(const COLOR_FORMAT& f, const std::vector<uint32_t>& values) {
  std::vector<uint8_t> bytes(values.size() * f.bytesPerPixel);
  for (size_t i = 0; i < values.size(); i++) {
    for (int k = 0; k < f.bytesPerPixel; k++) bytes[i * f.bytesPerPixel + k] = (uint8_t)(values[i] >> (8 * k));
  }
  return bytes;
}
std::vector<uint32_t> Values(const COLOR_FORMAT& f, const std::vector<uint8_t>& bytes) {
  std::vector<uint32_t> values(bytes.size() / f.bytesPerPixel);
  for (size_t i = 0; i < values.size(); i++) {
    for (int k = 0; k < f.bytesPerPixel; k++) values[i] |= (uint32_t)bytes[i * f.bytesPerPixel + k] << (8 * k);
  }
  return values;
}

struct Options {
  int mirror = 0, keyToAlpha = 0;
  unsigned key = 0;
  int dither = 0, clear = 0, alphaFromRed = 0, skipKey = 0, remap = 0;
  const COLOR_FORMAT* alphaFormat = nullptr;
  std::vector<uint32_t> alpha;
};

struct Case {
  const char* name;
  const COLOR_FORMAT* src;
  const COLOR_FORMAT* dest;
  std::vector<uint32_t> in;
  std::vector<uint32_t> out;
  Options options;
  int result;
};

// Converts one row (4 rows of it for the dither cases) into a destination filled with 0xAA.
void RunCase(const Case& c, int rows = 1) {
  std::vector<uint8_t> src = Row(*c.src, c.in), alpha;
  const Options& o = c.options;
  if (o.alphaFormat) alpha = Row(*o.alphaFormat, o.alpha);
  int width = (int)c.in.size();
  std::vector<uint8_t> dest(width * c.dest->bytesPerPixel * rows, 0xAA);
  for (int y = 0; y < rows; y++) {
    RECT rect = {0, 0, width, 1};
    int result = ConvertPixelRect(dest.data() + y * width * c.dest->bytesPerPixel, 0, c.dest, src.data(), 0, c.src,
                                  o.alphaFormat ? alpha.data() : nullptr, 0, o.alphaFormat, 0, 0, &rect, o.mirror,
                                  o.keyToAlpha, o.key, o.dither, o.clear, o.alphaFromRed, o.skipKey, o.remap);
    if (y == 0) {
      EXPECT_EQ(result, c.result) << c.name;
    }
  }
  std::vector<uint32_t> got = Values(*c.dest, dest);
  got.resize(c.out.size());
  EXPECT_EQ(got, c.out) << c.name;
}

Options KeyToAlpha(unsigned key) {
  Options o;
  o.keyToAlpha = 1;
  o.key = key;
  return o;
}

TEST(ConvertPixelRect, DirectConversions) {
  const Formats& f = F();
  const Case cases[] = {
      {"palette to RGB565", &f.pal, &f.rgb565, {1}, {0xFC01}, {}, 0},
      {"palette to X1R5G5B5", &f.pal, &f.x555, {1}, {0xFE01}, {}, 0},
      {"palette to XRGB8", &f.pal, &f.xrgb, {1}, {0xFFFF8008}, {}, 0},
      {"RGB24 to RGB565", &f.rgb24, &f.rgb565, {0xFF8008}, {0xFC01}, {}, 0},
      {"RGB24 to X1R5G5B5", &f.rgb24, &f.x555, {0xFF8008}, {0xFE01}, {}, 0},
      {"RGB24 to ARGB8", &f.rgb24, &f.argb, {0xFF8008}, {0xFFFF8008}, {}, 0},
      {"RGB24 to XRGB8", &f.rgb24, &f.xrgb, {0xFF8008}, {0xFFFF8008}, {}, 0},
      {"XRGB8 to RGB565", &f.xrgb, &f.rgb565, {0x12FF8008}, {0xFC01}, {}, 0},
      {"RGB565 to RGB24", &f.rgb565, &f.rgb24, {0xFFFF}, {0xF8FCF8}, {}, 0},
      {"RGB565 white to XRGB8 shifts in zeros", &f.rgb565, &f.xrgb, {0xFFFF}, {0x00F8FCF8}, {}, 0},
      {"RGB565 to X1R5G5B5", &f.rgb565, &f.x555, {0xFFFF, 0x07E0}, {0x7FFF, 0x03E0}, {}, 0},
      {"X1R5G5B5 to RGB565", &f.x555, &f.rgb565, {0x8421, 0xFFFF}, {0x0861, 0xFFFF}, {}, 0},
      {"key: palette to A1R5G5B5", &f.pal, &f.a555, {1, 2}, {0xFE01, 0x0886}, KeyToAlpha(0x102030), 0},
      {"key: palette to ARGB8", &f.pal, &f.argb, {1, 2}, {0xFFFF8008, 0x00102030}, KeyToAlpha(0x102030), 0},
      {"key: RGB24 to A1R5G5B5", &f.rgb24, &f.a555, {0xFF8008, 0x102030}, {0xFE01, 0x0886}, KeyToAlpha(0x102030), 0},
      {"key: RGB24 to ARGB8", &f.rgb24, &f.argb, {0xFF8008, 0x102030}, {0xFFFF8008, 0x00102030},
       KeyToAlpha(0x102030), 0},
      {"key: RGB565 to A1R5G5B5 compares 5-5-5", &f.rgb565, &f.a555, {0x1106, 0x1126, 0xFFFF},
       {0x0886, 0x0886, 0xFFFF}, KeyToAlpha(0x102030), 0},
      {"key: RGB565 to ARGB8 compares 5-6-5", &f.rgb565, &f.argb, {0x1106, 0x1126},
       {0x00102030, 0xFF102430}, KeyToAlpha(0x102030), 0},
  };
  for (const Case& c : cases) RunCase(c);
}

TEST(ConvertPixelRect, PathsInTheirOrder) {
  const Formats& f = F();
  Options remap;
  remap.remap = 1;
  Options withAlphaImage;
  withAlphaImage.alphaFormat = &f.gray;
  withAlphaImage.alpha = {0x80};
  Options skip;
  skip.skipKey = 1;
  skip.key = 0x11102030;
  Options skip565 = skip;
  skip565.key = 0xFFFF;
  Options skipIndex = skip;
  skipIndex.key = 1;
  Options mirror;
  mirror.mirror = 1;
  Options mirrorSkip = skip;
  mirrorSkip.mirror = 1;
  Options key = KeyToAlpha(0x102030);
  key.mirror = 1;
  const Case cases[] = {
      {"remap between different palettes", &f.gray, &f.farPal, {10, 250}, {5, 6}, remap, 0},
      {"equal palettes fall through to the copy", &f.farPal, &f.farPal, {7, 200, 3}, {7, 200, 3}, remap, 200},
      {"palette copy returns the largest index", &f.gray, &f.farPal, {9, 4}, {9, 4}, {}, 9},
      {"into a palette from RGB24", &f.rgb24, &f.farPal, {0xF0F0F0, 0x101010}, {6, 5}, {}, 0},
      {"into a palette: 16-bit fields widened first", &f.rgb565, &f.farPal, {0xFFFF}, {6}, {}, 0},
      {"same layout keeps every bit", &f.xrgb, &f.xrgb, {0x12345678}, {0x12345678}, {}, 0},
      {"same layout with skip-key", &f.xrgb, &f.xrgb, {0x11102030, 0x22102030}, {0xAAAAAAAA, 0x22102030}, skip, 0},
      {"same layout mirrored", &f.rgb24, &f.rgb24, {1, 2, 3}, {3, 2, 1}, mirror, 0},
      {"mirror clears skip-key", &f.xrgb, &f.xrgb, {0x11102030, 5}, {5, 0x11102030}, mirrorSkip, 0},
      {"skip-key XRGB8 to ARGB8 compares 24 bits", &f.xrgb, &f.argb, {0x00102030, 0x00102031},
       {0xAAAAAAAA, 0xFF102031}, skip, 0},
      {"skip-key of a palette source compares the index", &f.pal, &f.argb, {1, 2}, {0xAAAAAAAA, 0xFF102030},
       skipIndex, 0},
      {"skip-key otherwise converts in general", &f.rgb565, &f.xrgb, {0xFFFF, 0x001F}, {0xAAAAAAAA, 0xFF0000FF},
       skip565, 0},
      {"key to alpha on an equal layout, mirrored", &f.xrgb, &f.argb, {0x00102030, 0x00FF8008},
       {0xFFFF8008, 0x00102030}, key, 0},
      {"an alpha image sends RGB565 through the general path", &f.rgb565, &f.xrgb, {0xFFFF}, {0xFFFFFFFF},
       withAlphaImage, 0},
  };
  for (const Case& c : cases) RunCase(c);
}

TEST(ConvertPixelRect, GeneralConversionAlphaRules) {
  const Formats& f = F();
  Options alphaImage;
  alphaImage.alphaFormat = &f.gray;
  alphaImage.alpha = {0x80, 0xFF};
  Options clear;
  clear.clear = 1;
  Options fromRed;
  fromRed.alphaFromRed = 1;
  Options mirror;
  mirror.mirror = 1;
  const Case cases[] = {
      {"alpha from an image", &f.rgb24, &f.argb, {0x102030, 0xFF8008}, {0x80102030, 0xFFFF8008}, alphaImage, 0},
      {"alpha from an image, narrowed", &f.rgb24, &f.argb4444, {0xFF8008, 0}, {0x8F80, 0xF000}, alphaImage, 0},
      {"source alpha narrowed", &f.argb, &f.argb4444, {0x80FF8008}, {0x8F80}, {}, 0},
      {"source alpha widened", &f.a555, &f.argb, {0x8000, 0x7FFF}, {0xFF000000, 0x00FFFFFF}, {}, 0},
      {"no source alpha gives full alpha", &f.rgb565, &f.argb4444, {0xFFFF, 0}, {0xFFFF, 0xF000}, {}, 0},
      {"key to alpha in general", &f.rgb24, &f.argb4444, {0x102030, 0xFF8008}, {0x0123, 0xFF80},
       KeyToAlpha(0x102030), 0},
      {"key to alpha from a palette source", &f.pal, &f.argb4444, {2, 1}, {0x0123, 0xFF80}, KeyToAlpha(0x102030), 0},
      {"clear colour keeps only alpha", &f.argb, &f.argb4444, {0x80FF8008}, {0x8000}, clear, 0},
      {"alpha from red", &f.xrgb, &f.argb, {0x00FF8008, 0x00408008}, {0xFFFF8008, 0x40408008}, fromRed, 0},
      {"palette source mirrored in general", &f.pal, &f.argb, {1, 2}, {0xFF102030, 0xFFFF8008}, mirror, 0},
  };
  for (const Case& c : cases) RunCase(c);
}

TEST(ConvertPixelRect, Dithers) {
  const Formats& f = F();
  Options ordered;
  ordered.dither = DITHER_ORDERED;
  Options remainder;
  remainder.dither = DITHER_REMAINDER;
  // Red 4 loses 3 bits into 5-bit red; the ordered thresholds of row 0 are 0, 4, 1, 5.
  RunCase({"ordered 4x4", &f.xrgb, &f.rgb565, {0x040000, 0x040000, 0x040000, 0x040000, 0xFF0000},
           {0x0800, 0, 0x0800, 0, 0xF800}, ordered, 0});
  RunCase({"running remainder", &f.xrgb, &f.rgb565, {0x040000, 0x040000, 0x040000, 0x040000},
           {0, 0x0800, 0, 0x0800}, remainder, 0});
  // Ordered rows 1 to 3 use thresholds 6 2 7 3 / 1 5 0 4 / 7 3 6 2: red 4 (lost 4) steps where
  // the threshold is below 4.
  std::vector<uint8_t> src = Row(f.xrgb, {0x040000, 0x040000, 0x040000, 0x040000});
  uint16_t dest[4][4];
  RECT rect = {0, 0, 4, 4};
  ConvertPixelRect(dest, 8, &f.rgb565, src.data(), 0, &f.xrgb, nullptr, 0, nullptr, 0, 0, &rect, 0, 0, 0,
                   DITHER_ORDERED, 0, 0, 0, 0);
  const int steps[4][4] = {{1, 0, 1, 0}, {0, 1, 0, 1}, {1, 0, 1, 0}, {0, 1, 0, 1}};
  for (int y = 0; y < 4; y++)
    for (int x = 0; x < 4; x++) EXPECT_EQ(dest[y][x], steps[y][x] ? 0x0800 : 0) << x << "," << y;
}

TEST(ConvertPixelRect, RectangleAndAddressing) {
  const Formats& f = F();
  uint8_t src[24] = {};
  src[15] = 0xFF;  // pixel 5 of the row: blue 255 at byte 15
  src[16] = 0xFF;
  src[17] = 0xFF;
  uint8_t dest[4] = {0xAA, 0xAA, 0xAA, 0xAA};
  RECT rect = {5, 0, 6, 1};
  EXPECT_EQ(ConvertPixelRect(dest, 4, &f.farPal, src, 24, &f.rgb24, nullptr, 0, nullptr, 2, 0, &rect, 0, 0, 0, 0, 0,
                             0, 0, 0),
            0);
  EXPECT_EQ(dest[2], 6);
  EXPECT_EQ(dest[1], 0xAA);
  RECT empty = {3, 0, 3, 1};
  EXPECT_EQ(ConvertPixelRect(dest, 4, &f.farPal, src, 24, &f.rgb24, nullptr, 0, nullptr, 0, 0, &empty, 0, 0, 0, 0, 0,
                             0, 0, 0),
            -1);
}

TEST(RasterImage, AllocationAndSizes) {
  const Formats& f = F();
  RASTER_IMAGE img = {};
  ASSERT_EQ(AllocImageWithFormat(3, 2, &f.rgb24, &img), 0);
  EXPECT_EQ(img.pitch, 12);
  EXPECT_EQ(ComputeImageDataSize(&img), 24);
  DisposeImage(&img);
  EXPECT_EQ(img.pixels, nullptr);
  EXPECT_EQ(img.width, 0);
  ASSERT_EQ(AllocImageWithFormat(1, 1, &f.gray, &img), 0);
  EXPECT_EQ(img.pitch, 4);
  DisposeImage(&img);
  ASSERT_EQ(AllocARGB8Image(5, 5, &img), 0);
  EXPECT_EQ(img.format.alphaMask, 0xFF000000u);
  EXPECT_EQ(img.pitch, 20);
  DisposeImage(&img);

  RASTER_IMAGE plain = {};
  plain.format = f.rgb24;
  plain.width = 100;
  plain.height = 10;
  plain.pitch = 300;
  EXPECT_EQ(ComputeImageDataSize(&plain), 3000);
  plain.format.kind = 7;
  EXPECT_EQ(ComputeImageDataSize(&plain), -1);
}

TEST(RasterImage, MipLevelSizesForDxtAndNonSquareImages) {
  RASTER_IMAGE img = {};
  InitARGB8Format(&img.format);
  img.format.kind = COLOR_KIND_DXT1;
  img.width = img.height = 256;
  EXPECT_EQ(ComputeImageDataSize(&img), 32768);
  img.mipLevels = 9;
  // 32768 8192 2048 512 128 32 and three levels of one block.
  EXPECT_EQ(ComputeImageDataSize(&img), 32768 + 8192 + 2048 + 512 + 128 + 32 + 8 * 3);
  // A non-square DXT5 chain: 256x64 ... 1x1, blocks counted per level, not by quartering.
  img.format.kind = COLOR_KIND_DXT5;
  img.height = 64;
  const int expected[9] = {64 * 16 * 16, 32 * 8 * 16, 16 * 4 * 16, 8 * 2 * 16, 4 * 1 * 16, 2 * 1 * 16, 16, 16, 16};
  int total = 0;
  for (int level = 0; level < 9; level++) {
    MIP_LEVEL_LAYOUT layout;
    ASSERT_EQ(GetMipLevelLayout(&img.format, 256, 64, 0, level, &layout), 0);
    EXPECT_EQ(layout.size, expected[level]) << "level " << level;
    EXPECT_EQ(GetMipLevelOffset(&img.format, 256, 64, 0, level), total) << "level " << level;
    total += expected[level];
  }
  EXPECT_EQ(ComputeImageDataSize(&img), total);
  // Plain levels after the first are packed rows of their own width.
  COLOR_FORMAT xrgb;
  InitXRGB8Format(&xrgb);
  MIP_LEVEL_LAYOUT layout;
  GetMipLevelLayout(&xrgb, 256, 64, 1100, 0, &layout);
  EXPECT_EQ(layout.rowBytes, 1100);
  GetMipLevelLayout(&xrgb, 256, 64, 1100, 7, &layout);
  EXPECT_EQ(layout.width, 2);
  EXPECT_EQ(layout.height, 1);
  EXPECT_EQ(layout.rowBytes, 8);
}

TEST(RasterImage, CopyImageRectClips) {
  RASTER_IMAGE src = {}, dest = {};
  ASSERT_EQ(AllocXRGB8Image(4, 4, &src), 0);
  ASSERT_EQ(AllocXRGB8Image(4, 4, &dest), 0);
  for (int y = 0; y < 4; y++)
    for (int x = 0; x < 4; x++) ((uint32_t*)src.pixels)[y * 4 + x] = (uint32_t)(y * 16 + x);
  struct Clip {
    const char* name;
    int sx, sy, w, h, dx, dy;
    int firstX, firstY;  // where source (0..) lands; -1 for nothing copied
    uint32_t firstValue;
  } cases[] = {
      {"negative source x moves the destination", -1, 0, 3, 1, 0, 0, 1, 0, 0},
      {"negative destination y moves the source", 0, 0, 2, 3, 1, -2, 1, 0, 32},
      {"cut at the destination edge", 0, 0, 4, 4, 3, 3, 3, 3, 0},
      {"nothing left", 0, 0, 4, 4, 4, 0, -1, -1, 0},
  };
  for (const Clip& c : cases) {
    memset(dest.pixels, 0xEE, 64);
    EXPECT_EQ(CopyImageRect(c.sx, c.sy, c.w, c.h, c.dx, c.dy, &src, &dest), 0) << c.name;
    uint32_t* d = (uint32_t*)dest.pixels;
    if (c.firstX < 0) {
      for (int i = 0; i < 16; i++) EXPECT_EQ(d[i], 0xEEEEEEEEu) << c.name;
    } else {
      EXPECT_EQ(d[c.firstY * 4 + c.firstX], c.firstValue) << c.name;
      if (c.firstX > 0) {
        EXPECT_EQ(d[c.firstY * 4 + c.firstX - 1], 0xEEEEEEEEu) << c.name;
      }
    }
  }
  EXPECT_EQ(CopyWholeImage(0, 0, &src, &dest), 0);
  EXPECT_EQ(memcmp(src.pixels, dest.pixels, 64), 0);
  DisposeImage(&src);
  DisposeImage(&dest);
}

TEST(RasterImage, ConstDxtSourceIsNeverChanged) {
  RASTER_IMAGE dxt = {}, dest = {};
  InitARGB8Format(&dxt.format);
  dxt.format.kind = COLOR_KIND_DXT1;
  dxt.format.colorBits = 4;
  dxt.width = dxt.height = 4;
  uint8_t block[8] = {0xFF, 0xFF, 0, 0, 0xAA, 0xAA, 0xAA, 0xAA};
  dxt.pixels = block;
  RASTER_IMAGE before = dxt;
  ASSERT_EQ(AllocXRGB8Image(4, 4, &dest), 0);
  CopyImageRect(0, 0, 4, 4, 0, 0, &dxt, &dest);
  EXPECT_EQ(memcmp(&before, &dxt, sizeof(dxt)), 0);
  EXPECT_EQ(dxt.pixels, (void*)block);
  EXPECT_EQ(block[4], 0xAA);
  DisposeImage(&dest);
}
}  // namespace
