// The loader table, the alpha companion, the reverse flag and the DIB mode; the BMP, PNG, JPEG
// and BGRA loaders on small files built here or made by ImageMagick (tests/image/fixtures).
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdio>
#include <vector>

#include "core/memory.h"
#include "file/vfs.h"
#include "image/bgra.h"
#include "image/bmp.h"
#include "image/image_stream.h"
#include "image/png.h"
#include "image_builders.h"
#include "image_test_util.h"

namespace {
class ImageLoad : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    StartTestLog();
    InitVfs();
    InstallFileAccessTable(nullptr);
  }
};

// The fixture pixels, as make_fixtures.py writes them.
int FixRed(int x, int) { return x * 50 + 5; }
int FixGreen(int, int y) { return y * 80 + 10; }
int FixBlue(int x, int y) { return (x * y * 30 + 7) & 255; }
int FixAlpha(int x, int y) { return (x + y) * 40 + 15; }
int FixGray(int x, int y) { return x * 50 + y * 20; }
const int kThree[3][3] = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}};

TEST_F(ImageLoad, ModuleStartedFlag) {
  EXPECT_EQ(EndImageModule(), -1);
  EXPECT_EQ(StartImageModule(), 0);
  EXPECT_EQ(StartImageModule(), -1);
  EXPECT_EQ(EndImageModule(), 0);
  EXPECT_EQ(EndImageModule(), -1);
}

TEST_F(ImageLoad, AlphaFileNames) {
  struct Row {
    const char* name;
    const char* expected;
  } rows[] = {{"pic.png", "pic_a.png"}, {"data/pic.tga", "data/pic_a.tga"}, {"readme", "readme_a"},
              {"dir.x/pic", "dir_a.x/pic"}, {"", "_a"}, {"a.b.c", "a.b_a.c"}};
  for (const Row& r : rows) {
    char out[260];
    EXPECT_EQ(MakeAlphaFileName(out, sizeof out, r.name), 0) << r.name;
    EXPECT_STREQ(out, r.expected) << r.name;
  }
  // The buffer is never overrun: a name that does not fit with "_a" is refused.
  char small[8];
  EXPECT_EQ(MakeAlphaFileName(small, sizeof small, "abcd.ef"), -1);
  EXPECT_STREQ(small, "");
  EXPECT_EQ(MakeAlphaFileName(small, sizeof small, "ab.ef"), 0);
  EXPECT_STREQ(small, "ab_a.ef");
}

int userLoaderCalls = 0;
int CountingLoader(STREAM_SOURCE* stream, RASTER_IMAGE*) {
  userLoaderCalls++;
  EXPECT_EQ(stream->ops.tell(stream->handle), 0);
  stream->ops.seek(stream->handle, 3, 0);  // the next loader still starts at 0
  return -1;
}

TEST_F(ImageLoad, LoaderTableOrderAndRefusal) {
  ImageGuard g;
  IMAGE_LOAD_PARAMS params;
  FillImageLoadParams(&params);
  EXPECT_EQ(params.userLoaderCount, 0);
  params.userLoaders[0] = CountingLoader;
  params.userLoaders[1] = CountingLoader;
  params.userLoaderCount = 2;
  std::string png = Fixture("rgb.png");
  ASSERT_EQ(LoadImageFromSource(&params, nullptr, png.data(), (int)png.size(), 1, 0, 0, &g.image, nullptr, nullptr), 0);
  EXPECT_EQ(userLoaderCalls, 2);
  EXPECT_EQ(g.image.width, 5);
  EXPECT_EQ(g.image.format.colorBits, 24);
  // Nothing recognises these bytes: -1 and an all-zero image.
  RASTER_IMAGE none;
  memset(&none, 0x5A, sizeof none);
  std::string junk = "not an image at all, just text";
  EXPECT_EQ(LoadFromBytes(junk, &none), -1);
  std::string zero(sizeof none, '\0');
  EXPECT_EQ(std::string((const char*)&none, sizeof none), zero);
  EXPECT_EQ(LoadImageSimple("no such file.bmp", nullptr, 0, 0, &none, 0), -1);
}

TEST_F(ImageLoad, ReverseFlagMirrorsRows) {
  ImageGuard g;
  std::string bgra = MakeBgra(0x08080808, 2, 1, Bytes({1, 2, 3, 4, 5, 6, 7, 8}));
  ASSERT_EQ(LoadFromBytes(bgra, &g.image, 1), 0);
  EXPECT_EQ(PixelAt(g.image, 0, 0), Bytes({5, 6, 7, 8}));
  EXPECT_EQ(PixelAt(g.image, 1, 0), Bytes({1, 2, 3, 4}));
}

TEST_F(ImageLoad, AlphaCompanionFromFileAndMemory) {
  std::string main24 = MakeBmp(1, 1, 24, 0, "", Bytes({10, 20, 30, 0}));
  std::string alpha24 = MakeBmp(1, 1, 24, 0, "", Bytes({99, 98, 97, 0}));
  ASSERT_TRUE(WriteWholeFile("a.bmp", main24));
  ASSERT_TRUE(WriteWholeFile("a_a.bmp", alpha24));
  ASSERT_TRUE(WriteWholeFile("b.bmp", main24));
  struct Row {
    const char* name;
    int mode;
    int expected;
  } rows[] = {{"a.bmp", 0, 0}, {"b.bmp", 0, 1}, {"a.bmp", 2, 1}};
  for (const Row& r : rows) {
    ImageGuard g;
    EXPECT_EQ(LoadImageAndAlpha(r.name, nullptr, 0, 0, nullptr, 0, r.mode, &g.image, &g.alpha, 0), r.expected)
        << r.name << " mode " << r.mode;
    EXPECT_EQ(PixelAt(g.image, 0, 0), Bytes({10, 20, 30})) << r.name;
    if (r.expected == 0) EXPECT_EQ(PixelAt(g.alpha, 0, 0), Bytes({99, 98, 97})) << r.name;
    else EXPECT_EQ(g.alpha.pixels, nullptr) << r.name;
  }
  ImageGuard g;
  EXPECT_EQ(LoadImageAndAlpha(nullptr, main24.data(), (int)main24.size(), 1, alpha24.data(), (int)alpha24.size(), 1,
                              &g.image, &g.alpha, 0),
            0);
  EXPECT_EQ(PixelAt(g.alpha, 0, 0), Bytes({99, 98, 97}));
  RASTER_IMAGE none, noneAlpha;
  EXPECT_EQ(LoadImageAndAlpha("missing.bmp", nullptr, 0, 0, nullptr, 0, 0, &none, &noneAlpha, 0), -1);
}

TEST_F(ImageLoad, DibModeHandsOutOwnPixelsWhenAligned) {
  int blocks = GetAllocBlockCount();
  std::string bmp8 = MakeBmp(4, -2, 8, 0, MakeColorTable(256), Bytes({1, 2, 3, 4, 5, 6, 7, 8}));
  BITMAPINFO* info = nullptr;
  void* bits = nullptr;
  RASTER_IMAGE unused;
  ASSERT_EQ(LoadImageOrDib(nullptr, bmp8.data(), (int)bmp8.size(), 1, 1, 0, &unused, &info, &bits), 0);
  EXPECT_EQ(info->bmiHeader.biBitCount, 8);
  EXPECT_EQ(info->bmiHeader.biHeight, -2);
  EXPECT_EQ(info->bmiColors[7].rgbRed, 21);
  EXPECT_EQ(std::string((const char*)bits, 8), Bytes({1, 2, 3, 4, 5, 6, 7, 8}));
  // The bits are the image's own block (4-byte aligned rows): one block for them, one for the header.
  EXPECT_EQ(GetAllocBlockCount(), blocks + 2);
  FreeTracked(bits);
  FreeTracked(info);
  // A 24-bit image of width 3 (pitch 9 when loaded from "BGRA"-converted data) gets a copy.
  RASTER_IMAGE rgb;
  InitRGB24Format(&rgb.format);
  rgb.width = 3;
  rgb.height = 1;
  rgb.pitch = 9;
  uint8_t px[9] = {1, 2, 3, 4, 5, 6, 7, 8, 9};
  rgb.pixels = px;
  uint8_t block[DIB_INFO_BLOCK_SIZE];
  EXPECT_EQ(ConvertImageToDib(&rgb, (BITMAPINFO*)block, &bits, 0, 0), 1);
  EXPECT_EQ(std::string((const char*)bits, 12), Bytes({1, 2, 3, 4, 5, 6, 7, 8, 9, 0, 0, 0}));
  FreeTracked(bits);
  rgb.width = 4;
  rgb.pitch = 12;
  EXPECT_EQ(ConvertImageToDib(&rgb, (BITMAPINFO*)block, &bits, 0, 0), 0);
  EXPECT_EQ(bits, (void*)px);
  EXPECT_EQ(GetAllocBlockCount(), blocks);
}

TEST_F(ImageLoad, BmpLayoutsDecodeToExactPixels) {
  std::string row0 = Bytes({1, 2, 3, 4, 5, 6, 7, 8, 9, 0, 0, 0}), row1 = Bytes({11, 12, 13, 14, 15, 16, 17, 18, 19, 0, 0, 0});
  {  // 24-bit bottom-up, width 3: pitch 12, rows top-down
    ImageGuard g;
    ASSERT_EQ(LoadFromBytes(MakeBmp(3, 2, 24, 0, "", row0 + row1), &g.image), 0);
    EXPECT_EQ(g.image.pitch, 12);
    EXPECT_EQ(PixelAt(g.image, 0, 0), Bytes({11, 12, 13}));
    EXPECT_EQ(PixelAt(g.image, 2, 1), Bytes({7, 8, 9}));
  }
  {  // 24-bit top-down keeps the stored order
    ImageGuard g;
    ASSERT_EQ(LoadFromBytes(MakeBmp(3, -2, 24, 0, "", row0 + row1), &g.image), 0);
    EXPECT_EQ(PixelAt(g.image, 0, 0), Bytes({1, 2, 3}));
  }
  {  // 32-bit: ARGB8 with the fourth byte as alpha even when 0
    ImageGuard g;
    ASSERT_EQ(LoadFromBytes(MakeBmp(1, 1, 32, 0, "", Bytes({1, 2, 3, 0})), &g.image), 0);
    EXPECT_EQ(g.image.format.alphaMask, 0xFF000000u);
    EXPECT_EQ(PixelAt(g.image, 0, 0), Bytes({1, 2, 3, 0}));
  }
  {  // 8-bit palette
    ImageGuard g;
    ASSERT_EQ(LoadFromBytes(MakeBmp(2, 1, 8, 0, MakeColorTable(256), Bytes({5, 200, 0, 0})), &g.image), 0);
    EXPECT_EQ(PixelAt(g.image, 1, 0), Bytes({(char)200}));
    EXPECT_EQ(g.image.format.palette[5][2], 15);
    EXPECT_EQ(g.image.format.palette[5][3], 0);
  }
  {  // 4-bit width 5: pitch 8, high nibble first
    ImageGuard g;
    ASSERT_EQ(LoadFromBytes(MakeBmp(5, 1, 4, 0, MakeColorTable(16), Bytes({0x12, 0x34, 0x5F, 0})), &g.image), 0);
    EXPECT_EQ(g.image.pitch, 8);
    EXPECT_EQ(std::string((const char*)g.image.pixels, 5), Bytes({1, 2, 3, 4, 5}));
    EXPECT_EQ(g.image.format.palette[15][1], 30);
  }
  {  // RLE8: (3,7) (0,0) (2,1) (0,1) on a 4 x 2 bottom-up image
    ImageGuard g;
    ASSERT_EQ(LoadFromBytes(MakeBmp(4, 2, 8, 1, MakeColorTable(256), Bytes({3, 7, 0, 0, 2, 1, 0, 1})), &g.image), 0);
    EXPECT_EQ(std::string((const char*)g.image.pixels, 8), Bytes({1, 1, 0, 0, 7, 7, 7, 0}));
  }
  {  // RLE8 absolute run of 3 with its pad byte, then a delta
    ImageGuard g;
    std::string rle = Bytes({0, 3, 9, 8, 7, 0, 0, 0, 0, 2, 1, 0, 1, 5, 0, 1});
    ASSERT_EQ(LoadFromBytes(MakeBmp(4, 2, 8, 1, MakeColorTable(256), rle), &g.image), 0);
    EXPECT_EQ(std::string((const char*)g.image.pixels, 8), Bytes({0, 5, 0, 0, 9, 8, 7, 0}));
  }
  {  // Rows that carry their padding as pixels (3 wide, runs of 4) are cut at the row's end
    ImageGuard g;
    std::string rle = Bytes({4, 7, 0, 0, 0, 4, 1, 2, 3, 9, 0, 0, 0, 1});
    ASSERT_EQ(LoadFromBytes(MakeBmp(3, 2, 8, 1, MakeColorTable(256), rle), &g.image), 0);
    EXPECT_EQ(std::string((const char*)g.image.pixels, 3), Bytes({1, 2, 3}));
    EXPECT_EQ(std::string((const char*)g.image.pixels + g.image.pitch, 3), Bytes({7, 7, 7}));
  }
  {  // the same in RLE4: 3 wide, an encoded run of 4 and an absolute run of 4
    ImageGuard g;
    std::string rle = Bytes({4, 0x12, 0, 0, 0, 4, 0x34, 0x5F, 0, 1});
    ASSERT_EQ(LoadFromBytes(MakeBmp(3, 2, 4, 2, MakeColorTable(16), rle), &g.image), 0);
    EXPECT_EQ(std::string((const char*)g.image.pixels, 3), Bytes({3, 4, 5}));
    EXPECT_EQ(std::string((const char*)g.image.pixels + g.image.pitch, 3), Bytes({1, 2, 1}));
  }
  {  // RLE4: an encoded run alternates nibbles; an absolute run takes them in order
    ImageGuard g;
    std::string rle = Bytes({3, 0x12, 0, 0, 0, 3, 0x45, 0x60, 0, 1});
    ASSERT_EQ(LoadFromBytes(MakeBmp(4, 2, 4, 2, MakeColorTable(16), rle), &g.image), 0);
    EXPECT_EQ(std::string((const char*)g.image.pixels, 8), Bytes({4, 5, 6, 0, 1, 2, 1, 0}));
    EXPECT_EQ(g.image.format.palette[4][0], 4);
  }
  {  // 16-bit (X1R5G5B5) through GDI into RGB24
    ImageGuard g;
    ASSERT_EQ(LoadFromBytes(MakeBmp(2, 1, 16, 0, "", Bytes({0x00, 0x7C, 0x1F, 0x00})), &g.image), 0);
    EXPECT_EQ(g.image.format.colorBits, 24);
    EXPECT_EQ(PixelAt(g.image, 0, 0), Bytes({0, 0, (char)255}));
    EXPECT_EQ(PixelAt(g.image, 1, 0), Bytes({(char)255, 0, 0}));
  }
  {  // 1-bit through GDI
    ImageGuard g;
    std::string table = Bytes({0, 0, 0, 0, 10, 20, 30, 0});
    ASSERT_EQ(LoadFromBytes(MakeBmp(3, 1, 1, 0, table, Bytes({0xA0, 0, 0, 0})), &g.image), 0);
    EXPECT_EQ(PixelAt(g.image, 0, 0), Bytes({10, 20, 30}));
    EXPECT_EQ(PixelAt(g.image, 1, 0), Bytes({0, 0, 0}));
    EXPECT_EQ(PixelAt(g.image, 2, 0), Bytes({10, 20, 30}));
  }
}

TEST_F(ImageLoad, BmpRefusesWhatDoesNotFit) {
  std::string table = MakeColorTable(256);
  struct Row {
    const char* what;
    std::string file;
  } rows[] = {
      {"RLE8 absolute run past the data", MakeBmp(4, 2, 8, 1, table, Bytes({0, 4, 1, 2}))},
      {"RLE8 delta past the image", MakeBmp(4, 2, 8, 1, table, Bytes({0, 2, 2, 2, 1, 1, 0, 1}))},
      {"RLE8 run below the last row", MakeBmp(4, 1, 8, 1, table, Bytes({0, 0, 2, 1, 0, 1}))},
      {"RLE8 data ending early", MakeBmp(4, 2, 8, 1, table, Bytes({2, 1}))},
      {"24-bit short rows", MakeBmp(3, 2, 24, 0, "", std::string(20, 'x'))},
      {"8-bit short rows", MakeBmp(4, 4, 8, 0, table, std::string(15, 'x'))},
      {"16-bit short rows for GDI", MakeBmp(4, 4, 16, 0, "", std::string(31, 'x'))},
      {"zero width", MakeBmp(0, 2, 24, 0, "", std::string(24, 'x'))},
      {"zero height", MakeBmp(2, 0, 24, 0, "", std::string(24, 'x'))},
      {"overflowing sides", MakeBmp(0x10000, 0x10000, 24, 0, "", std::string(24, 'x'))},
      {"pixel offset past the end", MakeBmp(1, 1, 24, 0, "", "").substr(0, 54)},
      {"short colour table", MakeBmp(1, 1, 8, 0, "", "").substr(0, 60)},
      {"no BM", std::string("XM") + MakeBmp(1, 1, 24, 0, "", Bytes({1, 2, 3, 0})).substr(2)},
  };
  for (const Row& r : rows) {
    ImageGuard g;
    EXPECT_EQ(LoadFromBytes(r.file, &g.image), -1) << r.what;
  }
}

TEST_F(ImageLoad, DibToImage) {
  uint8_t block[DIB_INFO_BLOCK_SIZE] = {};
  BITMAPINFO* info = (BITMAPINFO*)block;
  info->bmiHeader.biSize = 40;
  info->bmiHeader.biWidth = 1;
  info->bmiHeader.biHeight = -1;
  info->bmiHeader.biPlanes = 1;
  info->bmiHeader.biBitCount = 24;
  uint8_t bits[4] = {1, 2, 3, 0};
  RASTER_IMAGE img;
  EXPECT_EQ(ConvertDibToImage(info, bits, &img, 0), 0);
  EXPECT_EQ(img.pixels, (void*)bits);
  info->bmiHeader.biHeight = 1;  // bottom-up goes through GDI
  int blocks = GetAllocBlockCount();
  EXPECT_EQ(ConvertDibToImage(info, bits, &img, 0), 1);
  EXPECT_EQ(PixelAt(img, 0, 0), Bytes({1, 2, 3}));
  DisposeImage(&img);
  EXPECT_EQ(GetAllocBlockCount(), blocks);
  info->bmiHeader.biHeight = -1;
  info->bmiHeader.biBitCount = 32;
  EXPECT_EQ(ConvertDibToImage(info, bits, &img, 0), -1);
  // A DIB GDI draws no line of (an unknown compression) is a failure, not a black image.
  info->bmiHeader.biHeight = 1;
  info->bmiHeader.biCompression = 77;
  EXPECT_EQ(ConvertDibToImage(info, bits, &img, 0), -1);
  EXPECT_EQ(GetAllocBlockCount(), blocks);
}

// A caller's description is read no further than it declares: a 1-bit DIB whose header and
// two colours end where readable memory ends converts, with its own two colours.
TEST_F(ImageLoad, DibDescriptionIsReadOnlyAsFarAsItDeclares) {
  SYSTEM_INFO system;
  GetSystemInfo(&system);
  const size_t page = system.dwPageSize;
  uint8_t* pages = (uint8_t*)VirtualAlloc(nullptr, 2 * page, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
  ASSERT_NE(pages, nullptr);
  DWORD old;
  ASSERT_TRUE(VirtualProtect(pages + page, page, PAGE_NOACCESS, &old));
  const size_t size = 40 + 2 * 4;
  BITMAPINFO* info = (BITMAPINFO*)(pages + page - size);
  memset(info, 0, size);
  info->bmiHeader.biSize = 40;
  info->bmiHeader.biWidth = 2;
  info->bmiHeader.biHeight = 1;  // bottom-up: through GDI
  info->bmiHeader.biPlanes = 1;
  info->bmiHeader.biBitCount = 1;
  info->bmiHeader.biClrUsed = 2;
  info->bmiColors[0] = {10, 20, 30, 0};
  info->bmiColors[1] = {40, 50, 60, 0};
  uint8_t bits[4] = {0x40, 0, 0, 0};  // pixel 0 colour 0, pixel 1 colour 1
  RASTER_IMAGE img;
  EXPECT_EQ(ConvertDibToImage(info, bits, &img, 0), 1);
  EXPECT_EQ(PixelAt(img, 0, 0), Bytes({10, 20, 30}));
  EXPECT_EQ(PixelAt(img, 1, 0), Bytes({40, 50, 60}));
  DisposeImage(&img);
  VirtualFree(pages, 0, MEM_RELEASE);
}

TEST_F(ImageLoad, BgraFiles) {
  {
    ImageGuard g;
    std::string wide = MakeBgra(0x10101010, 1, 1, Bytes({0x34, 0x12, 0x78, 0x56, 0xBC, 0x9A, 0xF0, 0xDE}));
    ASSERT_EQ(LoadFromBytes(wide, &g.image), 0);
    EXPECT_EQ(PixelAt(g.image, 0, 0), Bytes({0x12, 0x56, 0x9A, 0xDE}));
    EXPECT_EQ(g.image.pitch, 4);
    EXPECT_EQ(g.image.format.alphaMask, 0xFF000000u);
  }
  struct Row {
    const char* what;
    std::string file;
  } rows[] = {{"channel bits", MakeBgra(0x08080810, 1, 1, "abcd")},
              {"short pixels", MakeBgra(0x08080808, 2, 2, std::string(15, 'x'))},
              {"overflowing sides", MakeBgra(0x08080808, 0x40000000, 4, std::string(16, 'x'))},
              {"zero width", MakeBgra(0x08080808, 0, 4, std::string(16, 'x'))}};
  for (const Row& r : rows) {
    ImageGuard g;
    EXPECT_EQ(LoadFromBytes(r.file, &g.image), -1) << r.what;
  }
}

TEST_F(ImageLoad, PngFixtures) {
  {
    ImageGuard g;
    ASSERT_EQ(LoadFromBytes(Fixture("rgb.png"), &g.image), 0);
    EXPECT_EQ(g.image.pitch, 15);
    for (int y = 0; y < 3; y++)
      for (int x = 0; x < 5; x++)
        EXPECT_EQ(PixelAt(g.image, x, y), Bytes({FixBlue(x, y), FixGreen(x, y), FixRed(x, y)})) << x << "," << y;
  }
  {
    ImageGuard g;
    ASSERT_EQ(LoadFromBytes(Fixture("rgb16.png"), &g.image), 0);
    EXPECT_EQ(g.image.format.colorBits, 24);
    EXPECT_EQ(PixelAt(g.image, 4, 2), Bytes({FixBlue(4, 2), FixGreen(4, 2), FixRed(4, 2)}));
  }
  {
    ImageGuard g;
    ASSERT_EQ(LoadFromBytes(Fixture("rgba.png"), &g.image), 0);
    EXPECT_EQ(g.image.format.alphaMask, 0xFF000000u);
    for (int y = 0; y < 3; y++)
      for (int x = 0; x < 5; x++)
        EXPECT_EQ(PixelAt(g.image, x, y), Bytes({FixBlue(x, y), FixGreen(x, y), FixRed(x, y), FixAlpha(x, y)}))
            << x << "," << y;
  }
  {
    ImageGuard g;
    ASSERT_EQ(LoadFromBytes(Fixture("graya.png"), &g.image), 0);
    EXPECT_EQ(g.image.pitch, 10);
    EXPECT_EQ(g.image.format.colorBits, 16);
    EXPECT_EQ(g.image.format.redMask, 0xFFu);
    EXPECT_EQ(g.image.format.alphaWidth, 0);
    EXPECT_EQ(g.image.format.unusedMask, 0xFF00u);
    EXPECT_EQ(PixelAt(g.image, 3, 1), Bytes({FixGray(3, 1), FixAlpha(3, 1)}));
  }
  {
    ImageGuard g;
    ASSERT_EQ(LoadFromBytes(Fixture("gray1.png"), &g.image), 0);
    EXPECT_EQ(g.image.format.bytesPerPixel, 1);
    for (int x = 0; x < 5; x++) EXPECT_EQ(PixelAt(g.image, x, 1), Bytes({(x + 1) % 2 ? 255 : 0})) << x;
  }
  {
    ImageGuard g;
    ASSERT_EQ(LoadFromBytes(Fixture("pal2.png"), &g.image), 0);
    EXPECT_EQ(g.image.pitch, 5);
    // ImageMagick writes a fourth (unused) palette entry; every entry past the file's palette is 0.
    for (int i = 4; i < 256; i++) EXPECT_EQ(GetLE32(g.image.format.palette[i]), 0u) << i;
    for (int y = 0; y < 3; y++)
      for (int x = 0; x < 5; x++) {
        const uint8_t* e = g.image.format.palette[(uint8_t)PixelAt(g.image, x, y)[0]];
        const int* c = kThree[(x + y) % 3];
        EXPECT_EQ(Bytes({e[0], e[1], e[2], e[3]}), Bytes({c[2], c[1], c[0], 0})) << x << "," << y;
      }
  }
  {
    ImageGuard g;
    ASSERT_EQ(LoadFromBytes(Fixture("paltrns.png"), &g.image), 0);
    EXPECT_EQ(g.image.format.alphaMask, 0xFF000000u);
    for (int y = 0; y < 3; y++)
      for (int x = 0; x < 5; x++) {
        std::string p = PixelAt(g.image, x, y);
        const int* c = kThree[(x + y) % 3];
        if ((x + y) % 3 == 0) EXPECT_EQ((uint8_t)p[3], 0) << x << "," << y;
        else EXPECT_EQ(p, Bytes({c[2], c[1], c[0], 255})) << x << "," << y;
      }
  }
  {  // a PNG cut short is refused (libpng's error comes back as -1, nothing left allocated)
    ImageGuard g;
    std::string png = Fixture("rgba.png");
    EXPECT_EQ(LoadFromBytes(png.substr(0, png.size() - 40), &g.image), -1);
  }
}

// The requests the tracked allocator makes of its heap while recording: how many, the largest.
struct HEAP_RECORD {
  int requests = 0;
  size_t largest = 0;
};
HEAP_RECORD& HeapRecord() {
  static HEAP_RECORD record;
  return record;
}
void NoteRequest(size_t size) {
  HeapRecord().requests++;
  if (size - ALLOC_OVERHEAD > HeapRecord().largest) HeapRecord().largest = size - ALLOC_OVERHEAD;
}
const ALLOC_HEAP_FUNCTIONS kRecordingHeap = {
    [](size_t size) -> void* {
      NoteRequest(size);
      return HeapAlloc(GetProcessHeap(), 0, size);
    },
    [](void* block, size_t size) -> void* {
      NoteRequest(size);
      return block == nullptr ? HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, size)
                              : HeapReAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, block, size);
    },
    [](void* block) { HeapFree(GetProcessHeap(), 0, block); }};

// PNG chunks whose length claims far more than the file holds: libpng would allocate what a
// text, palette or profile chunk claims (its length limit only warns), so every ancillary
// chunk but tRNS is skipped unread and the file is refused at its end, having asked the
// allocator for no more than a small image's worth. libpng's own memory goes through the
// tracked allocator, so that is measured and no block of it is left.
TEST_F(ImageLoad, PngChunksClaimingHugeLengthsAllocateNothingForThem) {
  freopen("NUL", "w", stderr);  // libpng's warnings
  auto be32 = [](uint32_t v) { return Bytes({(int)(v >> 24), (int)(v >> 16) & 255, (int)(v >> 8) & 255, (int)v & 255}); };
  const std::string png = Fixture("rgb.png");
  const size_t afterHeader = 33;  // the signature and IHDR
  const size_t beforeEnd = png.size() - 12;  // IEND
  {
    // A good file: the loader's own blocks and libpng's (its structures, zlib, rows).
    ImageGuard g;
    HeapRecord() = HEAP_RECORD();
    SetAllocHeapFunctions(&kRecordingHeap);
    ASSERT_EQ(LoadFromBytes(png, &g.image), 0);
    SetAllocHeapFunctions(nullptr);
    EXPECT_GT(HeapRecord().requests, 4) << "libpng allocates through the tracked allocator";
  }
  for (const char* type : {"tEXt", "zTXt", "iTXt", "pCAL", "sPLT", "iCCP", "eXIf", "sCAL", "hIST", "abCD"}) {
    for (size_t at : {afterHeader, beforeEnd}) {
      std::string file = png.substr(0, at) + be32(0x7FFFFFF0u) + type + std::string(300, 'a') + png.substr(at);
      ImageGuard g;
      HeapRecord() = HEAP_RECORD();
      SetAllocHeapFunctions(&kRecordingHeap);
      EXPECT_EQ(LoadFromBytes(file, &g.image), -1) << type << " at " << at;
      SetAllocHeapFunctions(nullptr);
      EXPECT_LT(HeapRecord().largest, (size_t)0x100000) << type << " at " << at;
    }
  }
  // An ancillary chunk of its true length is skipped and the image loads.
  ImageGuard g;
  std::string chunk = std::string("tEXtTitle", 9) + std::string(1, '\0') + "abc";
  uint32_t crc = 0xFFFFFFFFu;
  for (unsigned char b : chunk) {
    crc ^= b;
    for (int bit = 0; bit < 8; bit++) crc = crc & 1 ? (crc >> 1) ^ 0xEDB88320u : crc >> 1;
  }
  std::string text = be32(9) + chunk + be32(~crc);
  ASSERT_EQ(LoadFromBytes(png.substr(0, afterHeader) + text + png.substr(afterHeader), &g.image), 0);
  EXPECT_EQ(PixelAt(g.image, 0, 0), Bytes({FixBlue(0, 0), FixGreen(0, 0), FixRed(0, 0)}));
}

TEST_F(ImageLoad, JpegFixtures) {
  {
    ImageGuard g;
    ASSERT_EQ(LoadFromBytes(Fixture("rgb.jpg"), &g.image), 0);
    std::string raw = Fixture("rgb.jpg.raw");
    ASSERT_EQ(raw.size(), 45u);
    EXPECT_EQ(g.image.pitch, 15);
    EXPECT_EQ(g.image.format.colorBits, 24);
    for (int i = 0; i < 15; i++)
      EXPECT_EQ(PixelAt(g.image, i % 5, i / 5), Bytes({raw[i * 3 + 2], raw[i * 3 + 1], raw[i * 3]})) << i;
  }
  {
    ImageGuard g;
    ASSERT_EQ(LoadFromBytes(Fixture("gray.jpg"), &g.image), 0);
    EXPECT_EQ(g.image.format.bytesPerPixel, 1);
    EXPECT_EQ(std::string((const char*)g.image.pixels, 15), Fixture("gray.jpg.raw"));
  }
  {  // CMYK is refused by every loader
    ImageGuard g;
    EXPECT_EQ(LoadFromBytes(Fixture("cmyk.jpg"), &g.image), -1);
  }
  {  // cut short: decoded with the data present
    ImageGuard g;
    std::string jpg = Fixture("rgb.jpg");
    EXPECT_EQ(LoadFromBytes(jpg.substr(0, jpg.size() - 30), &g.image), 0);
    EXPECT_EQ(g.image.width, 5);
  }
  {  // only the start-of-image marker: refused
    ImageGuard g;
    EXPECT_EQ(LoadFromBytes(Bytes({0xFF, 0xD8}), &g.image), -1);
  }
}
}  // namespace
