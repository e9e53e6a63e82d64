// Colour-format records: building layouts, packing and unpacking colour codes.
#include <gtest/gtest.h>

#include <cstring>

#include "image/color_format.h"

namespace {
COLOR_FORMAT Packed(int bits, uint32_t r, uint32_t g, uint32_t b, uint32_t a) {
  COLOR_FORMAT f;
  InitColorFormat(&f, bits, r, g, b, a, 0, 0, 0);
  return f;
}

TEST(ColorFormat, InitColorFormatMeasuresMasks) {
  struct Case {
    const char* name;
    int bits;
    uint32_t r, g, b, a;
    int widths[4], shifts[4], bytes;
    uint32_t unused;
    int unusedShift, unusedWidth;
  } cases[] = {
      {"XRGB8", 32, 0xFF0000, 0xFF00, 0xFF, 0, {8, 8, 8, 0}, {16, 8, 0, 0}, 4, 0xFF000000u, 24, 8},
      {"RGB565", 16, 0xF800, 0x7E0, 0x1F, 0, {5, 6, 5, 0}, {11, 5, 0, 0}, 2, 0, 0, 0},
      {"X1R5G5B5", 16, 0x7C00, 0x3E0, 0x1F, 0, {5, 5, 5, 0}, {10, 5, 0, 0}, 2, 0x8000, 15, 1},
      {"A4R4G4B4", 16, 0xF00, 0xF0, 0xF, 0xF000, {4, 4, 4, 4}, {8, 4, 0, 12}, 2, 0, 0, 0},
  };
  for (const Case& c : cases) {
    COLOR_FORMAT f = Packed(c.bits, c.r, c.g, c.b, c.a);
    int widths[4] = {f.redWidth, f.greenWidth, f.blueWidth, f.alphaWidth};
    int shifts[4] = {f.redShift, f.greenShift, f.blueShift, f.alphaShift};
    for (int i = 0; i < 4; i++) {
      EXPECT_EQ(widths[i], c.widths[i]) << c.name << " channel " << i;
      EXPECT_EQ(shifts[i], c.shifts[i]) << c.name << " channel " << i;
    }
    EXPECT_EQ(f.bytesPerPixel, c.bytes) << c.name;
    EXPECT_EQ(f.unusedMask, c.unused) << c.name;
    EXPECT_EQ(f.unusedShift, c.unusedShift) << c.name;
    EXPECT_EQ(f.unusedWidth, c.unusedWidth) << c.name;
  }
}

TEST(ColorFormat, PerChannelLayoutHasNoMasks) {
  COLOR_FORMAT f;
  InitColorFormat(&f, 0, 0xFF, 0xFF, 0xFF, 0xFF, 4, 16, 0);
  EXPECT_EQ(f.bytesPerPixel, 8);
  EXPECT_EQ(f.channelCount, 4);
  EXPECT_EQ(f.redMask | f.greenMask | f.blueMask | f.alphaMask | f.unusedMask, 0u);
  EXPECT_EQ(f.colorBits, 0);
}

TEST(ColorFormat, CommonLayoutsKeepUnusedFieldsAndPalette) {
  COLOR_FORMAT f;
  memset(&f, 0x5A, sizeof(f));
  InitARGB8Format(&f);
  EXPECT_EQ(f.alphaMask, 0xFF000000u);
  EXPECT_EQ(f.unusedMask, 0u);
  EXPECT_EQ(f.unusedShift, 0x5A);  // left as it was
  EXPECT_EQ(f.palette[7][0], 0x5A);
  InitXRGB8Format(&f);
  EXPECT_EQ(f.unusedShift, 24);
  EXPECT_EQ(f.unusedWidth, 8);
  EXPECT_EQ(f.alphaWidth, 0);
  InitGray8Format(&f);
  EXPECT_EQ(f.bytesPerPixel, 1);
  EXPECT_EQ(f.palette[200][0], 200);
  EXPECT_EQ(f.palette[200][2], 200);
  EXPECT_EQ(f.palette[200][3], 0);
  InitRGB24Format(&f);
  EXPECT_EQ(f.bytesPerPixel, 3);
  EXPECT_EQ(f.unusedMask, 0u);
}

TEST(ColorFormat, UpdateUnusedBitsMask) {
  COLOR_FORMAT f = Packed(16, 0x7C00, 0x3E0, 0x1F, 0);
  f.alphaMask = 0x8000;
  f.alphaWidth = 1;
  EXPECT_EQ(UpdateUnusedBitsMask(&f)->unusedMask, 0u);
  f.alphaMask = 0;
  f.alphaWidth = 0;
  EXPECT_EQ(UpdateUnusedBitsMask(&f)->unusedMask, 0x8000u);
}

TEST(ColorFormat, PackColorCode) {
  COLOR_FORMAT xrgb, argb, rgb565, x555;
  InitXRGB8Format(&xrgb);
  InitARGB8Format(&argb);
  rgb565 = Packed(16, 0xF800, 0x7E0, 0x1F, 0);
  x555 = Packed(16, 0x7C00, 0x3E0, 0x1F, 0);
  struct Case {
    const char* name;
    const COLOR_FORMAT* f;
    unsigned r, g, b, a;
    uint32_t code;
  } cases[] = {
      {"XRGB8 ignores alpha, sets unused", &xrgb, 255, 128, 0, 77, 0xFFFF8000u},
      {"ARGB8", &argb, 1, 2, 3, 4, 0x04010203u},
      {"RGB565 white", &rgb565, 255, 255, 255, 0, 0xFFFF},
      {"RGB565 truncates", &rgb565, 7, 3, 7, 0, 0},
      {"X1R5G5B5 carries unused bit", &x555, 0, 0, 0, 0, 0x8000},
  };
  for (const Case& c : cases) EXPECT_EQ(PackColorCode(c.f, c.r, c.g, c.b, c.a), c.code) << c.name;
}

TEST(ColorFormat, PaletteMatchTakesFirstNearestEntry) {
  COLOR_FORMAT pal;
  memset(&pal, 0, sizeof(pal));
  InitPaletteFormat(&pal);
  for (int i = 0; i < 256; i++) pal.palette[i][0] = pal.palette[i][1] = pal.palette[i][2] = 255;
  pal.palette[3][2] = 100;  // red 100
  pal.palette[9][2] = 100;
  pal.palette[12][2] = 90;
  EXPECT_EQ(PackColorCode(&pal, 100, 255, 255, 0), 3u);
  EXPECT_EQ(PackColorCode(&pal, 91, 255, 255, 0), 12u);
}

TEST(ColorFormat, UnpackColorCode) {
  COLOR_FORMAT rgb565 = Packed(16, 0xF800, 0x7E0, 0x1F, 0), xrgb, a4 = Packed(16, 0xF00, 0xF0, 0xF, 0xF000);
  InitXRGB8Format(&xrgb);
  unsigned r = 1, g = 1, b = 1, a = 99;
  UnpackColorCode(&rgb565, 0xFFFF, &r, &g, &b, &a);
  EXPECT_EQ(r, 255u);
  EXPECT_EQ(g, 255u);
  EXPECT_EQ(b, 255u);
  EXPECT_EQ(a, 0u);
  UnpackColorCode(&rgb565, 30u << 11, &r, nullptr, nullptr, nullptr);
  EXPECT_EQ(r, 246u);
  a = 99;
  UnpackColorCode(&xrgb, 0x12345678, &r, &g, &b, &a);
  EXPECT_EQ(r, 0x34u);
  EXPECT_EQ(g, 0x56u);
  EXPECT_EQ(b, 0x78u);
  EXPECT_EQ(a, 99u);  // no alpha channel: left untouched
  UnpackColorCode(&a4, 0x8F00, &r, &g, &b, &a);
  EXPECT_EQ(r, 255u);
  EXPECT_EQ(a, 136u);
}
}  // namespace
