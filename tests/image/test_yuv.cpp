// YUV frames to 32-bit pixels and the decoder's lookup tables.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "image/yuv.h"

namespace {
struct Bgra {
  int b, g, r, a;
};
Bgra At(const RASTER_IMAGE& img, int x, int y) {
  const uint8_t* p = (const uint8_t*)img.pixels + y * img.pitch + x * 4;
  return {p[0], p[1], p[2], p[3]};
}

TEST(Yuv, FormulaCases) {
  struct Case {
    const char* name;
    int y, u, v;
    Bgra want;
  } cases[] = {
      {"white", 255, 128, 128, {255, 255, 255, 255}},
      {"black", 0, 128, 128, {0, 0, 0, 255}},
      {"red clamped", 128, 128, 255, {128, 37, 255, 255}},
      {"all zero", 0, 0, 0, {0, 135, 0, 255}},
  };
  RASTER_IMAGE img = {};
  ASSERT_EQ(AllocXRGB8Image(2, 1, &img), 0);
  for (const Case& c : cases) {
    const uint8_t frame[4] = {(uint8_t)c.y, (uint8_t)c.u, (uint8_t)c.y, (uint8_t)c.v};
    DecodeYUY2Frame(frame, 2, 1, &img);
    for (int x = 0; x < 2; x++) {
      Bgra got = At(img, x, 0);
      EXPECT_EQ(got.b, c.want.b) << c.name;
      EXPECT_EQ(got.g, c.want.g) << c.name;
      EXPECT_EQ(got.r, c.want.r) << c.name;
      EXPECT_EQ(got.a, 255) << c.name;
    }
  }
  DisposeImage(&img);
}

// Each layout carries luma 255 at pixel 0 and 0 elsewhere, with chroma U = 0 (no V shift)
// for the pair covering pixel 0, so that the planes and byte orders are each checked.
TEST(Yuv, LayoutsReadTheirPlanes) {
  RASTER_IMAGE img = {};
  ASSERT_EQ(AllocXRGB8Image(4, 2, &img), 0);
  auto check = [&](const char* name, Bgra p0, Bgra p1) {
    Bgra a = At(img, 0, 0), b = At(img, 1, 0);
    EXPECT_TRUE(a.b == p0.b && a.g == p0.g && a.r == p0.r) << name << " pixel 0: " << a.b << " " << a.g << " " << a.r;
    EXPECT_TRUE(b.b == p1.b && b.g == p1.g && b.r == p1.r) << name << " pixel 1: " << b.b << " " << b.g << " " << b.r;
  };
  // Y 255 with U 0, V 128: blue (255 x 32768 - 58064 x 128) >> 15 = 28, green and red 255;
  // Y 0 with U 0: green 11272 x 128 >> 15 = 44.
  const Bgra lit = {28, 255, 255, 255}, darkU0 = {0, 44, 0, 255};
  {
    std::vector<uint8_t> f(4 * 2 + 2 * 2, 128);  // YV12: Y, then V, then U
    memset(f.data(), 0, 8);
    f[0] = 255;
    f[8 + 2] = 0;  // U of the first pair
    DecodeYV12Frame(f.data(), 4, 2, &img);
    check("YV12", lit, darkU0);
  }
  {
    std::vector<uint8_t> f(8 + 4, 128);  // NV12: Y, then U V pairs
    memset(f.data(), 0, 8);
    f[0] = 255;
    f[8] = 0;
    DecodeNV12Frame(f.data(), 4, 2, &img);
    check("NV12", lit, darkU0);
  }
  {
    std::vector<uint8_t> f(8 + 4, 128);  // NV11: one pair per 4 x 1
    memset(f.data(), 0, 8);
    f[0] = 255;
    f[8] = 0;
    DecodeNV11Frame(f.data(), 4, 2, &img);
    check("NV11", lit, darkU0);
    Bgra row1 = At(img, 0, 1);
    EXPECT_EQ(row1.g, 0) << "NV11 second row has its own pair";
  }
  const uint8_t yuy2[8] = {255, 0, 0, 128, 0, 128, 0, 128}, uyvy[8] = {0, 255, 128, 0, 128, 0, 128, 0},
                yvyu[8] = {255, 128, 0, 0, 0, 128, 0, 128};
  DecodeYUY2Frame(yuy2, 4, 1, &img);
  check("YUY2", lit, darkU0);
  DecodeUYVYFrame(uyvy, 4, 1, &img);
  check("UYVY", lit, darkU0);
  DecodeYVYUFrame(yvyu, 4, 1, &img);
  check("YVYU", lit, darkU0);
  DisposeImage(&img);
}

TEST(Yuv, DestinationsThatCannotHoldTheFrameAreRefused) {
  typedef int (*DECODER)(const void*, int, int, RASTER_IMAGE*);
  const DECODER decoders[6] = {DecodeYV12Frame, DecodeNV11Frame, DecodeNV12Frame,
                               DecodeYUY2Frame, DecodeUYVYFrame, DecodeYVYUFrame};
  std::vector<uint8_t> frame(8 * 8 * 2, 128);
  RASTER_IMAGE small = {}, wide = {}, empty = {};
  ASSERT_EQ(AllocXRGB8Image(4, 4, &small), 0);
  ASSERT_EQ(AllocXRGB8Image(8, 8, &wide), 0);
  for (int d = 0; d < 6; d++) {
    memset(small.pixels, 0x5A, small.pitch * 4);
    EXPECT_EQ(decoders[d](frame.data(), 8, 4, &small), -1) << "decoder " << d << " too narrow";
    EXPECT_EQ(decoders[d](frame.data(), 4, 8, &small), -1) << "decoder " << d << " too low";
    EXPECT_EQ(((uint8_t*)small.pixels)[0], 0x5A) << "decoder " << d << " wrote into a refused image";
    EXPECT_EQ(decoders[d](frame.data(), 4, 4, &empty), -1) << "decoder " << d << " no pixels";
    EXPECT_EQ(decoders[d](nullptr, 4, 4, &small), -1) << "decoder " << d << " no frame";
    EXPECT_EQ(decoders[d](frame.data(), 4, 4, &small), 0) << "decoder " << d;
    EXPECT_EQ(decoders[d](frame.data(), 8, 8, &wide), 0) << "decoder " << d;
  }
  DisposeImage(&small);
  DisposeImage(&wide);
}

TEST(Yuv, OddWidthLeavesTheLastColumn) {
  RASTER_IMAGE img = {};
  ASSERT_EQ(AllocXRGB8Image(3, 1, &img), 0);
  memset(img.pixels, 0x77, 12);
  const uint8_t frame[6] = {255, 128, 255, 128, 255, 128};
  DecodeYUY2Frame(frame, 3, 1, &img);
  EXPECT_EQ(At(img, 1, 0).r, 255);
  EXPECT_EQ(At(img, 2, 0).r, 0x77);
  EXPECT_EQ(At(img, 2, 0).a, 0x77);
  DisposeImage(&img);
}
}  // namespace
