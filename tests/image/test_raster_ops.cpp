// Raster image operations: pixel access, mirroring, turning, zeroing, mip halving, scaling.
#include <gtest/gtest.h>

#include <cstring>

#include "image/raster_ops.h"

namespace {
uint32_t* Px(RASTER_IMAGE& img, int x, int y) { return (uint32_t*)((uint8_t*)img.pixels + y * img.pitch) + x; }

void FillNumbered(RASTER_IMAGE& img) {
  for (int y = 0; y < img.height; y++)
    for (int x = 0; x < img.width; x++) *Px(img, x, y) = (uint32_t)(y * 16 + x);
}

TEST(RasterOps, MirrorAndRotate) {
  RASTER_IMAGE img = {};
  ASSERT_EQ(AllocXRGB8Image(3, 3, &img), 0);
  FillNumbered(img);
  ASSERT_EQ(RotateImage180(&img), 0);
  for (int y = 0; y < 3; y++)
    for (int x = 0; x < 3; x++) EXPECT_EQ(*Px(img, x, y), (uint32_t)((2 - y) * 16 + (2 - x))) << x << "," << y;
  FillNumbered(img);
  ASSERT_EQ(MirrorImageHorizontally(&img), 0);
  EXPECT_EQ(*Px(img, 0, 1), 0x12u);
  EXPECT_EQ(*Px(img, 1, 1), 0x11u);
  EXPECT_EQ(*Px(img, 2, 1), 0x10u);
  DisposeImage(&img);

  RASTER_IMAGE rgb24 = {};
  COLOR_FORMAT f;
  InitRGB24Format(&f);
  ASSERT_EQ(AllocImageWithFormat(2, 2, &f, &rgb24), 0);
  uint8_t* p = (uint8_t*)rgb24.pixels;
  const uint8_t row0[6] = {1, 2, 3, 4, 5, 6}, row1[6] = {7, 8, 9, 10, 11, 12};
  memcpy(p, row0, 6);
  memcpy(p + rgb24.pitch, row1, 6);
  ASSERT_EQ(RotateImage180(&rgb24), 0);
  const uint8_t want0[6] = {10, 11, 12, 7, 8, 9}, want1[6] = {4, 5, 6, 1, 2, 3};
  EXPECT_EQ(memcmp(p, want0, 6), 0);
  EXPECT_EQ(memcmp(p + rgb24.pitch, want1, 6), 0);
  DisposeImage(&rgb24);

  RASTER_IMAGE empty = {};
  InitXRGB8Format(&empty.format);
  empty.height = 4;
  EXPECT_EQ(MirrorImageHorizontally(&empty), -1);
  empty.format.kind = COLOR_KIND_DXT1;
  EXPECT_EQ(RotateImage180(&empty), -1);
}

TEST(RasterOps, ZeroImageRectStaysInside) {
  RASTER_IMAGE img = {};
  ASSERT_EQ(AllocXRGB8Image(4, 4, &img), 0);
  memset(img.pixels, 0x11, 64);
  EXPECT_EQ(ZeroImageRect(&img, 1, 1, 2, 2), 0);
  EXPECT_EQ(*Px(img, 1, 1), 0u);
  EXPECT_EQ(*Px(img, 2, 2), 0u);
  EXPECT_EQ(*Px(img, 3, 2), 0x11111111u);
  EXPECT_EQ(*Px(img, 1, 3), 0x11111111u);
  EXPECT_EQ(ZeroImageRect(&img, 3, 3, 10, 10), 0);  // cut at the image edge
  EXPECT_EQ(*Px(img, 3, 3), 0u);
  DisposeImage(&img);
}

TEST(RasterOps, HalveImageRect) {
  COLOR_FORMAT argb, rgb24;
  InitARGB8Format(&argb);
  InitRGB24Format(&rgb24);
  uint32_t src[2][4] = {{0x10203040, 0x30405060, 0xFF000000, 0x01010101}, {0x10203040, 0x30405060, 0, 0x03030303}};
  uint32_t dest[2] = {0xDEAD, 0xDEAD};
  ASSERT_EQ(HalveImageRect(&argb, dest, 8, src, 16, 0, 0, 0, 0, 4, 2), 0);
  EXPECT_EQ(dest[0], 0x20304050u);
  EXPECT_EQ(dest[1], 0x40010101u);  // (0xFF + 1 + 0 + 3) >> 2 = 0x40
  // A side of 1 averages pairs; a 1 x 1 source is copied.
  uint32_t column[2] = {0x00000010, 0x00000030}, out = 0;
  ASSERT_EQ(HalveImageRect(&argb, &out, 4, column, 4, 0, 0, 0, 0, 1, 2), 0);
  EXPECT_EQ(out, 0x20u);
  ASSERT_EQ(HalveImageRect(&argb, &out, 4, src, 16, 0, 0, 1, 0, 1, 1), 0);
  EXPECT_EQ(out, 0x30405060u);
  EXPECT_EQ(HalveImageRect(&argb, dest, 8, src, 16, 0, 0, 0, 0, 3, 2), -1);
  EXPECT_EQ(HalveImageRect(&rgb24, dest, 8, src, 16, 0, 0, 0, 0, 2, 2), -1);
  out = 7;
  EXPECT_EQ(HalveImageRect(&rgb24, &out, 4, src, 16, 0, 0, 0, 0, 1, 1), 0);
  EXPECT_EQ(out, 7u);
}

TEST(RasterOps, PixelAccess) {
  RASTER_IMAGE img = {};
  COLOR_FORMAT rgb565;
  InitColorFormat(&rgb565, 16, 0xF800, 0x7E0, 0x1F, 0, 0, 0, 0);
  ASSERT_EQ(AllocImageWithFormat(2, 1, &rgb565, &img), 0);
  EXPECT_EQ(WriteImagePixel(&img, 1, 0, 255, 0, 8, 0), 0);
  EXPECT_EQ(((uint16_t*)img.pixels)[1], 0xF801);
  EXPECT_EQ(ReadImagePixelCode(&img, 1, 0), 0x00F80008u);
  unsigned r = 0, g = 0, b = 0;
  EXPECT_EQ(ReadImagePixel(&img, 1, 0, &r, &g, &b, nullptr), 0);
  EXPECT_EQ(r, 255u);
  EXPECT_EQ(b, 8u);
  EXPECT_EQ(ReadImagePixel(&img, -1, 0, &r, nullptr, nullptr, nullptr), -1);
  EXPECT_EQ(WriteImagePixel(&img, 2, 0, 0, 0, 0, 0), -1);
  DisposeImage(&img);

  COLOR_FORMAT pal;
  memset(&pal, 0, sizeof(pal));
  InitPaletteFormat(&pal);
  pal.palette[3][0] = 1;
  pal.palette[3][1] = 2;
  pal.palette[3][2] = 3;
  pal.palette[3][3] = 4;
  ASSERT_EQ(AllocImageWithFormat(1, 1, &pal, &img), 0);
  ASSERT_EQ(WriteImagePixel(&img, 0, 0, 3, 2, 1, 0), 0);  // nearest entry
  EXPECT_EQ(*(uint8_t*)img.pixels, 3);
  unsigned a = 0;
  ASSERT_EQ(ReadImagePixel(&img, 0, 0, &r, &g, &b, &a), 0);
  EXPECT_EQ(r, 3u);
  EXPECT_EQ(g, 2u);
  EXPECT_EQ(b, 1u);
  EXPECT_EQ(a, 4u);
  EXPECT_EQ(ReadImagePixelCode(&img, 0, 0), 0u);  // 1-byte pixels read as 0
  DisposeImage(&img);

  COLOR_FORMAT a4;
  InitColorFormat(&a4, 16, 0xF00, 0xF0, 0xF, 0xF000, 0, 0, 0);
  ASSERT_EQ(AllocImageWithFormat(1, 1, &a4, &img), 0);
  *(uint16_t*)img.pixels = 0x9ABC;
  EXPECT_EQ(ReadImagePixelCode(&img, 0, 0), 0x90A0B0C0u);
  DisposeImage(&img);
}

TEST(RasterOps, ScaleImageRect) {
  RASTER_IMAGE src = {}, dest = {};
  ASSERT_EQ(AllocARGB8Image(2, 2, &src), 0);
  ASSERT_EQ(AllocARGB8Image(4, 4, &dest), 0);
  *Px(src, 0, 0) = 0xFF000000;
  *Px(src, 1, 0) = 0xFFFFFFFF;
  *Px(src, 0, 1) = 0xFF000000;
  *Px(src, 1, 1) = 0xFFFFFFFF;
  ASSERT_EQ(ScaleImageRect(0, 0, 2, 2, &src, 0, 0, 4, 4, &dest, 0), 0);
  EXPECT_EQ(*Px(dest, 1, 0), 0xFF000000u);
  EXPECT_EQ(*Px(dest, 2, 3), 0xFFFFFFFFu);
  ASSERT_EQ(ScaleImageRect(0, 0, 2, 2, &src, 0, 0, 4, 4, &dest, 1), 0);
  // Halfway between black and white; the last column mixes the edge pixel with itself.
  EXPECT_EQ(*Px(dest, 1, 0) & 0xFF, 127u);
  EXPECT_EQ(*Px(dest, 3, 3), 0xFEFEFEFEu);
  EXPECT_EQ(*Px(dest, 0, 3) & 0xFFFFFF, 0u);
  EXPECT_EQ(ScaleImageRect(0, 0, 3, 2, &src, 0, 0, 4, 4, &dest, 0), -1);
  EXPECT_EQ(ScaleImageRect(1, 0, 1, 2, &src, 0, 0, 4, 4, &dest, 0), -1);
  // Equal sizes are a plain copy.
  ASSERT_EQ(ScaleImageRect(0, 0, 2, 2, &src, 2, 2, 4, 4, &dest, 1), 0);
  EXPECT_EQ(*Px(dest, 3, 3), 0xFFFFFFFFu);
  DisposeImage(&src);
  DisposeImage(&dest);
}
}  // namespace
