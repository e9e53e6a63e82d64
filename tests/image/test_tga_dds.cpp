// TGA and DDS loaders and DXT decoding on files built here: exact pixels, orientations,
// packets, colour maps, the format numbers and mip chains, and the files they refuse.
#include <gtest/gtest.h>

#include "image/dds.h"
#include "image/dxt.h"
#include "image/pixel_convert.h"
#include "image/tga.h"
#include "image_builders.h"
#include "image_test_util.h"

namespace {
class TgaDds : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { StartTestLog(); }
};

std::string Px(int b, int g, int r) { return Bytes({b, g, r}); }

TEST_F(TgaDds, TgaOrientations) {
  std::string a = Px(1, 2, 3), b = Px(4, 5, 6), c = Px(7, 8, 9), d = Px(10, 11, 12);
  struct Row {
    int descriptor;
    std::string top, bottom;
  } rows[] = {{0x00, c + d, a + b}, {0x20, a + b, c + d}, {0x30, b + a, d + c}, {0x10, d + c, b + a}};
  for (const Row& r : rows) {
    ImageGuard g;
    ASSERT_EQ(LoadFromBytes(MakeTga(2, 2, 2, 24, r.descriptor, a + b + c + d), &g.image), 0) << r.descriptor;
    EXPECT_EQ(g.image.pitch, 6);
    EXPECT_EQ(std::string((const char*)g.image.pixels, 6), r.top) << "descriptor " << r.descriptor;
    EXPECT_EQ(std::string((const char*)g.image.pixels + 6, 6), r.bottom) << "descriptor " << r.descriptor;
  }
}

TEST_F(TgaDds, TgaPacketsMapsAndDepths) {
  std::string p = Px(1, 2, 3), q = Px(4, 5, 6), r = Px(7, 8, 9);
  for (bool footer : {false, true}) {  // run-length data ends at the footer when there is one
    ImageGuard g;
    std::string data = Bytes({0x82}) + p + Bytes({0x01}) + q + r;
    ASSERT_EQ(LoadFromBytes(MakeTga(10, 5, 1, 24, 0x20, data, 0, 0, 0, "", "", footer), &g.image), 0) << footer;
    EXPECT_EQ(std::string((const char*)g.image.pixels, 15), p + p + p + q + r) << footer;
  }
  {  // 16 bits: X1R5G5B5 with the top bit unused
    ImageGuard g;
    ASSERT_EQ(LoadFromBytes(MakeTga(2, 1, 1, 16, 0x20, Bytes({0x1F, 0x80})), &g.image), 0);
    EXPECT_EQ(g.image.format.redMask, 0x7C00u);
    EXPECT_EQ(g.image.format.unusedMask, 0x8000u);
    EXPECT_EQ(PixelAt(g.image, 0, 0), Bytes({0x1F, 0x80}));
  }
  {  // colour map from index 16, 4 entries; index 0 expands to zeros; an ID field of 10 bytes
    ImageGuard g;
    std::string map = p + q + r + Px(20, 21, 22);
    ASSERT_EQ(LoadFromBytes(MakeTga(1, 3, 1, 8, 0x20, Bytes({0, 17, 19}), 16, 4, 24, map, "0123456789"), &g.image), 0);
    EXPECT_EQ(std::string((const char*)g.image.pixels, 9), Px(0, 0, 0) + q + Px(20, 21, 22));
  }
  {  // type 9: run-length indices, 32-bit map, no footer, shorter than a footer would be
    ImageGuard g;
    std::string map = Bytes({1, 2, 3, 4, 5, 6, 7, 8});
    ASSERT_EQ(LoadFromBytes(MakeTga(9, 3, 1, 8, 0x20, Bytes({0x81, 1, 0x00, 0}), 0, 2, 32, map), &g.image), 0);
    EXPECT_EQ(std::string((const char*)g.image.pixels, 12), Bytes({5, 6, 7, 8, 5, 6, 7, 8, 1, 2, 3, 4}));
    EXPECT_EQ(g.image.format.alphaMask, 0xFF000000u);
  }
}

TEST_F(TgaDds, TgaRefusals) {
  std::string px = Px(1, 2, 3);
  std::string origin = MakeTga(2, 1, 1, 24, 0x20, px);
  origin[8] = 5;
  struct Row {
    const char* what;
    std::string file;
  } rows[] = {
      {"x origin 5", origin},
      {"gray type 3", MakeTga(3, 1, 1, 8, 0x20, Bytes({1}))},
      {"width 8193", MakeTga(2, 8193, 1, 24, 0x20, std::string(8193 * 3, 'x'))},
      {"15-bit depth", MakeTga(2, 1, 1, 15, 0x20, Bytes({1, 2}))},
      {"zero height", MakeTga(2, 1, 0, 24, 0x20, px)},
      {"map past entry 255", MakeTga(1, 1, 1, 8, 0x20, Bytes({0}), 250, 10, 24, std::string(30, 'm'))},
      {"map indices of 16 bits", MakeTga(1, 1, 1, 16, 0x20, Bytes({0, 0}), 0, 1, 24, px)},
      {"map cut short", MakeTga(1, 1, 1, 8, 0x20, "", 0, 200, 24, px)},
      {"packet past the image", MakeTga(10, 3, 1, 24, 0x20, Bytes({0x85}) + px)},
      {"raw packet past the image", MakeTga(10, 1, 1, 24, 0x20, Bytes({0x01}) + px + px)},
      {"packet past the data", MakeTga(10, 3, 1, 24, 0x20, Bytes({0x02}) + px)},
      {"index packet past the data", MakeTga(9, 3, 1, 8, 0x20, Bytes({0x02, 0}), 0, 1, 24, px)},
      {"raw pixels cut short", MakeTga(2, 2, 2, 24, 0x20, px + px + px)},
      {"raw indices cut short", MakeTga(1, 4, 1, 8, 0x20, Bytes({0, 0}), 0, 1, 24, px)},
      {"header cut short", MakeTga(2, 1, 1, 24, 0x20, px).substr(0, 17)},
  };
  for (const Row& r : rows) {
    ImageGuard g;
    EXPECT_EQ(LoadFromBytes(r.file, &g.image), -1) << r.what;
  }
}

std::string Block(std::initializer_list<int> bytes) { return Bytes(bytes); }
std::string DecodeOne(int kind, const std::string& block, int pixel) {
  uint8_t out[16][4];
  DecodeDxtBlock(kind, (const uint8_t*)block.data(), out);
  return std::string((const char*)out[pixel], 4);
}

TEST_F(TgaDds, DxtBlocks) {
  // DXT1: colour 0 > colour 1 gives the thirds; the other order the half and transparent black.
  EXPECT_EQ(DecodeOne(1, Block({0xFF, 0xFF, 0, 0, 0xAA, 0xAA, 0xAA, 0xAA}), 5), Bytes({170, 170, 170, 255}));
  EXPECT_EQ(DecodeOne(1, Block({0, 0, 0xFF, 0xFF, 0xAA, 0xAA, 0xAA, 0xAA}), 5), Bytes({127, 127, 127, 255}));
  EXPECT_EQ(DecodeOne(1, Block({0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}), 9), Bytes({0, 0, 0, 0}));
  std::string white = Block({0xFF, 0xFF, 0, 0, 0, 0, 0, 0});
  // DXT3: explicit alpha 15 -> 255, 1 -> 17.
  EXPECT_EQ(DecodeOne(3, Block({0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}) + white, 3)[3], (char)255);
  EXPECT_EQ(DecodeOne(3, Block({0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11}) + white, 3)[3], (char)17);
  // DXT5: alphas 255 and 0 give the eight values; pixel i takes index i.
  uint64_t bits = 0;
  for (int i = 0; i < 8; i++) bits |= (uint64_t)i << (3 * i);
  std::string a5 = Block({255, 0});
  for (int i = 0; i < 6; i++) a5 += (char)(bits >> (8 * i));
  const int expected[8] = {255, 0, 218, 182, 145, 109, 72, 36};
  for (int i = 0; i < 8; i++) EXPECT_EQ((uint8_t)DecodeOne(5, a5 + white, i)[3], expected[i]) << "index " << i;
  // Premultiplied kinds: alpha 0 gives black (no division by zero); quotients stop at 255.
  EXPECT_EQ(DecodeOne(2, std::string(8, '\0') + white, 0), Bytes({0, 0, 0, 0}));
  EXPECT_EQ(DecodeOne(4, std::string(8, '\0') + white, 0), Bytes({0, 0, 0, 0}));
  EXPECT_EQ(DecodeOne(2, std::string(8, '\x88') + white, 0), Bytes({255, 255, 255, 136}));
  EXPECT_EQ(DecodeOne(2, std::string(8, '\x88') + Block({0x10, 0x42, 0, 0, 0, 0, 0, 0}), 0),
            Bytes({16 * 255 / 31 * 255 / 136, 16 * 255 / 63 * 255 / 136, 8 * 255 / 31 * 255 / 136, 136}));
}

const uint32_t kDxtFlags = 0x4;

TEST_F(TgaDds, DdsFormatsAndChains) {
  {  // DXT1 256 x 256: 32768 bytes, no levels; with 9 levels the chain takes 43704 bytes
    ImageGuard g;
    ASSERT_EQ(LoadFromBytes(MakeDds(256, 256, 0, 0, 0, kDxtFlags, FourCCOf("DXT1"), 0, nullptr, 0, std::string(32768, 'x')),
                            &g.image),
              0);
    EXPECT_EQ(g.image.format.kind, 1);
    EXPECT_EQ(g.image.format.colorBits, 4);
    EXPECT_EQ(g.image.pitch, 0);
    EXPECT_EQ(g.image.mipLevels, 0);
    EXPECT_EQ(ComputeImageDataSize(&g.image), 32768);
  }
  std::string chain = MakeDds(256, 256, DDS_MIP_FLAG, 0, 9, kDxtFlags, FourCCOf("DXT1"), 0, nullptr, 0x400008,
                              std::string(43704, 'x'));
  {
    ImageGuard g;
    ASSERT_EQ(LoadFromBytes(chain, &g.image), 0);
    EXPECT_EQ(g.image.mipLevels, 9);
    EXPECT_EQ(ComputeImageDataSize(&g.image), 43704);
    ASSERT_EQ(DecompressDxtImage(&g.image), 0);
    EXPECT_EQ(g.image.mipLevels, 0);
    EXPECT_EQ(g.image.format.kind, 0);
    EXPECT_EQ(ComputeImageDataSize(&g.image), 256 * 4 * 256);
  }
  {  // the fourth signature byte is not checked; a numeric code with its table layout
    ImageGuard g;
    std::string f = MakeDds(2, 1, DDS_PITCH_FLAG, 4, 0, kDxtFlags, 23, 0, nullptr, 0, Bytes({0x1F, 0, 0, 0xF8}));
    f[3] = 'X';
    ASSERT_EQ(LoadFromBytes(f, &g.image), 0);
    EXPECT_EQ(g.image.format.redMask, 0xF800u);
    EXPECT_EQ(g.image.format.greenMask, 0x7E0u);
    EXPECT_EQ(g.image.format.colorBits, 16);
    EXPECT_EQ(g.image.pitch, 4);
    EXPECT_EQ(PixelAt(g.image, 1, 0), Bytes({0, 0xF8}));
  }
  {  // mask layout of 24 bits, width 3, no pitch flag: pitch 9
    ImageGuard g;
    const uint32_t masks[4] = {0xFF0000, 0xFF00, 0xFF, 0};
    ASSERT_EQ(LoadFromBytes(MakeDds(3, 1, 0, 0, 0, 0x40, 0, 24, masks, 0, std::string(9, 'x')), &g.image), 0);
    EXPECT_EQ(g.image.pitch, 9);
    EXPECT_EQ(g.image.format.bytesPerPixel, 3);
  }
  {  // the fourteen format numbers
    const int codes[14] = {20, 21, 22, 23, 24, 25, 26, 27, 29, 30, 31, 32, 33, 35};
    const int bits[14] = {24, 32, 32, 16, 16, 16, 16, 16, 16, 16, 32, 32, 32, 32};  // 8-bit R3G3B2 widened
    for (int i = 0; i < 14; i++) {
      ImageGuard g;
      int pitch = bits[i] / 8;
      EXPECT_EQ(LoadFromBytes(MakeDds(1, 1, DDS_PITCH_FLAG, pitch, 0, kDxtFlags, codes[i], 0, nullptr, 0,
                                      std::string(pitch, 'x')),
                              &g.image),
                0)
          << codes[i];
      EXPECT_EQ(g.image.format.colorBits, bits[i]) << codes[i];
    }
  }
}

// Eight-bit mask layouts convert by their masks (they are no palette images): R3G3B2 by its
// format number and by its masks, with a mip level of its own.
TEST_F(TgaDds, EightBitMaskLayoutsConvertByTheirMasks) {
  const uint32_t masks[4] = {0xE0, 0x1C, 0x3, 0};
  const std::string files[] = {
      MakeDds(4, 1, DDS_PITCH_FLAG, 4, 0, kDxtFlags, 27, 0, nullptr, 0, Bytes({0xE0, 0x1C, 0x03, 0xFF})),
      MakeDds(4, 1, DDS_MIP_FLAG, 0, 2, 0x40, 0, 8, masks, 0x400008, Bytes({0xE0, 0x1C, 0x03, 0xFF, 0x60, 0x0C})),
  };
  const uint32_t want[4] = {0xFF0000, 0x00FF00, 0x0000FF, 0xFFFFFF};
  for (const std::string& file : files) {
    ImageGuard g;
    ASSERT_EQ(LoadFromBytes(file, &g.image), 0);
    EXPECT_EQ(g.image.format.colorBits, 16);
    COLOR_FORMAT xrgb;
    InitXRGB8Format(&xrgb);
    uint32_t out[4] = {};
    RECT rect = {0, 0, 4, 1};
    ASSERT_GE(ConvertPixelRect(out, 16, &xrgb, g.image.pixels, g.image.pitch, &g.image.format, nullptr, 0, nullptr, 0, 0,
                               &rect, 0, 0, 0, DITHER_NONE, 0, 0, 0, 0),
              0);
    for (int x = 0; x < 4; x++) EXPECT_EQ(out[x] & 0xFFFFFF, want[x]) << x;
    if (g.image.mipLevels == 2) {  // the second level's two pixels follow the first level
      const uint16_t* level1 = (const uint16_t*)((const uint8_t*)g.image.pixels + 8);
      EXPECT_EQ(level1[0], 0x60);
      EXPECT_EQ(level1[1], 0x0C);
    }
  }
}

TEST_F(TgaDds, DdsRefusals) {
  const uint32_t masks[4] = {0xFF0000, 0xFF00, 0xFF, 0};
  struct Row {
    const char* what;
    std::string file;
  } rows[] = {
      {"unknown code", MakeDds(1, 1, DDS_PITCH_FLAG, 4, 0, kDxtFlags, 99, 0, nullptr, 0, "xxxx")},
      {"numeric code without a pitch", MakeDds(2, 1, 0, 0, 0, kDxtFlags, 23, 0, nullptr, 0, "xxxx")},
      {"pitch shorter than a row", MakeDds(3, 1, DDS_PITCH_FLAG, 5, 0, 0x40, 0, 24, masks, 0, std::string(9, 'x'))},
      {"data cut short", MakeDds(3, 2, 0, 0, 0, 0x40, 0, 24, masks, 0, std::string(17, 'x'))},
      {"DXT data cut short", MakeDds(8, 8, 0, 0, 0, kDxtFlags, FourCCOf("DXT5"), 0, nullptr, 0, std::string(63, 'x'))},
      {"too many levels", MakeDds(256, 256, DDS_MIP_FLAG, 0, 10, kDxtFlags, FourCCOf("DXT1"), 0, nullptr, 0x400008,
                                  std::string(50000, 'x'))},
      {"chain cut short", MakeDds(256, 256, DDS_MIP_FLAG, 0, 9, kDxtFlags, FourCCOf("DXT1"), 0, nullptr, 0x400008,
                                  std::string(43703, 'x'))},
      {"overflowing size", MakeDds(0x10000, 0x10000, 0, 0, 0, kDxtFlags, FourCCOf("DXT1"), 0, nullptr, 0, "xxxxxxxx")},
      {"overflowing pitch", MakeDds(2, 0x4000, DDS_PITCH_FLAG, 0x40000000, 0, 0x40, 0, 24, masks, 0, "xxxxxxxx")},
      {"zero width", MakeDds(0, 4, 0, 0, 0, kDxtFlags, FourCCOf("DXT1"), 0, nullptr, 0, "xxxxxxxx")},
      {"bit count 12", MakeDds(1, 1, DDS_PITCH_FLAG, 2, 0, 0x40, 0, 12, masks, 0, "xx")},
      {"no format flags", MakeDds(1, 1, DDS_PITCH_FLAG, 4, 0, 0, 0, 32, masks, 0, "xxxx")},
      {"not DDS", std::string("DDT ") + MakeDds(1, 1, 0, 0, 0, 0x40, 0, 32, masks, 0, "xxxx").substr(4)},
  };
  for (const Row& r : rows) {
    ImageGuard g;
    EXPECT_EQ(LoadFromBytes(r.file, &g.image), -1) << r.what;
  }
}

TEST_F(TgaDds, DxtImagePartialBlocksAndMirroring) {
  // A 6 x 5 DXT1 image holds 2 x 2 blocks; every pixel inside the image is decoded from its block.
  const int colors[4] = {0xF800, 0x07E0, 0x001F, 0xFFFF};
  std::string data;
  for (int c : colors) data += Block({c & 255, c >> 8, 0, 0, 0, 0, 0, 0});
  std::string file = MakeDds(6, 5, 0, 0, 0, kDxtFlags, FourCCOf("DXT1"), 0, nullptr, 0, data);
  {
    ImageGuard g;
    ASSERT_EQ(LoadFromBytes(file, &g.image), 0);
    ASSERT_EQ(DecompressDxtImage(&g.image), 0);
    EXPECT_EQ(PixelAt(g.image, 0, 0), Bytes({0, 0, 255, 255}));
    EXPECT_EQ(PixelAt(g.image, 5, 0), Bytes({0, 255, 0, 255}));
    EXPECT_EQ(PixelAt(g.image, 0, 4), Bytes({255, 0, 0, 255}));
    EXPECT_EQ(PixelAt(g.image, 5, 4), Bytes({255, 255, 255, 255}));
  }
  {  // copies and pixel reads of DXT data go through the decoder
    ImageGuard g;
    ASSERT_EQ(LoadFromBytes(file, &g.image), 0);
    RASTER_IMAGE dest;
    ASSERT_EQ(AllocARGB8Image(2, 2, &dest), 0);
    ASSERT_EQ(CopyImageRect(4, 3, 2, 2, 0, 0, &g.image, &dest), 0);
    EXPECT_EQ(PixelAt(dest, 1, 1), Bytes({255, 255, 255, 255}));
    EXPECT_EQ(PixelAt(dest, 0, 0), Bytes({0, 255, 0, 255}));
    DisposeImage(&dest);
    EXPECT_EQ(g.image.format.kind, 1) << "the source stays compressed";
  }
  {  // the reverse flag decodes first, then mirrors
    ImageGuard g;
    ASSERT_EQ(LoadFromBytes(file, &g.image, 1), 0);
    EXPECT_EQ(g.image.format.kind, 0);
    EXPECT_EQ(PixelAt(g.image, 0, 0), Bytes({0, 255, 0, 255}));
    EXPECT_EQ(PixelAt(g.image, 5, 0), Bytes({0, 0, 255, 255}));
  }
}
}  // namespace
