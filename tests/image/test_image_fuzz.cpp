// Thousands of mutated files of every format go through the loader table: each loads or is
// refused, never crashes, leaves no block allocated, and writes nothing outside its blocks
// (a damaged guard of the tracked allocator stops the program when the block is freed).
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdio>
#include <vector>

#include "image/dxt.h"
#include "image_builders.h"
#include "image_test_util.h"
#include "seeded_random.h"

namespace {
// Changes a few bytes (mostly in the headers), cuts the file short or lengthens it.
std::string Mutate(const std::string& seed, Random& rnd) {
  std::string s = seed;
  int kind = rnd.Below(10);
  if (kind == 0) return s.substr(0, rnd.Below((int)s.size()));
  if (kind == 1) s += std::string(rnd.Below(64), (char)rnd.Next());
  int changes = 1 + rnd.Below(4);
  for (int i = 0; i < changes && !s.empty(); i++) {
    int limit = rnd.Below(2) == 0 && s.size() > 64 ? 64 : (int)s.size();
    int at = rnd.Below(limit);
    int what = rnd.Below(4);
    if (what == 0) s[at] = (char)rnd.Next();
    else if (what == 1) s[at] ^= (char)(1 << rnd.Below(8));
    else if (what == 2) s[at] = (char)(rnd.Below(2) == 0 ? 0 : 0xFF);
    else s[at] = (char)(s[at] + 1 - 2 * rnd.Below(2));
  }
  return s;
}

// Reads every row of a loaded image, as a caller would.
uint32_t SumPixels(const RASTER_IMAGE& img) {
  uint32_t sum = 0;
  const uint8_t* p = (const uint8_t*)img.pixels;
  for (int y = 0; y < img.height; y++)
    for (int x = 0; x < img.width * img.format.bytesPerPixel; x++) sum += p[(size_t)y * img.pitch + x];
  return sum;
}

struct Seed {
  const char* name;
  std::string bytes;
};

std::vector<Seed> Seeds() {
  std::string px24;
  for (int i = 0; i < 8 * 6 * 3; i++) px24 += (char)(i * 7);
  std::string table = MakeColorTable(256), table16 = MakeColorTable(16);
  const uint32_t masks[4] = {0xFF0000, 0xFF00, 0xFF, 0xFF000000u};
  std::string dxt5;
  for (int i = 0; i < 43704 / 8; i++) dxt5 += Bytes({i & 255, (i * 3) & 255, 7, 0x42, 0x1F, 0xF8, 0xE4, 0x1B});
  return {
      {"bmp24", MakeBmp(8, 6, 24, 0, "", px24)},
      {"bmp32", MakeBmp(4, -3, 32, 0, "", px24.substr(0, 48))},
      {"bmp8", MakeBmp(8, 6, 8, 0, table, px24.substr(0, 48))},
      {"bmp4", MakeBmp(7, 5, 4, 0, table16, px24.substr(0, 20))},
      {"bmp rle8", MakeBmp(8, 4, 8, 1, table, Bytes({3, 7, 0, 0, 0, 3, 1, 2, 3, 0, 0, 2, 1, 1, 2, 9, 0, 0, 8, 4, 0, 1}))},
      {"bmp rle4", MakeBmp(8, 3, 4, 2, table16, Bytes({3, 0x12, 0, 0, 0, 5, 0x45, 0x67, 0x80, 0, 0, 0, 8, 0x9A, 0, 1}))},
      {"bmp16 gdi", MakeBmp(5, 3, 16, 0, "", px24.substr(0, 36))},
      {"bmp1 gdi", MakeBmp(9, 3, 1, 0, Bytes({0, 0, 0, 0, 255, 255, 255, 0}), px24.substr(0, 12))},
      {"png rgb", Fixture("rgb.png")},
      {"png rgba", Fixture("rgba.png")},
      {"png palette", Fixture("pal2.png")},
      {"png gray alpha", Fixture("graya.png")},
      {"jpeg rgb", Fixture("rgb.jpg")},
      {"jpeg gray", Fixture("gray.jpg")},
      {"bgra8", MakeBgra(0x08080808, 4, 3, px24.substr(0, 48))},
      {"bgra16", MakeBgra(0x10101010, 3, 2, px24.substr(0, 48))},
      {"tga2", MakeTga(2, 4, 3, 24, 0x00, px24.substr(0, 36), 0, 0, 0, "", "id", true)},
      {"tga10", MakeTga(10, 6, 2, 32, 0x10, Bytes({0x83, 1, 2, 3, 4, 0x01, 5, 6, 7, 8, 9, 10, 11, 12, 0x85, 1, 1, 1, 1}))},
      {"tga1", MakeTga(1, 4, 2, 8, 0x30, Bytes({16, 17, 18, 19, 16, 17, 18, 19}), 16, 4, 24, px24.substr(0, 12))},
      {"tga9", MakeTga(9, 4, 2, 8, 0x20, Bytes({0x83, 2, 0x03, 0, 1, 2, 3}), 0, 4, 16, px24.substr(0, 8), "", true)},
      {"dds dxt1", MakeDds(8, 8, 0, 0, 0, 0x4, FourCCOf("DXT1"), 0, nullptr, 0, dxt5.substr(0, 32))},
      {"dds dxt5 chain", MakeDds(8, 8, DDS_MIP_FLAG, 0, 4, 0x4, FourCCOf("DXT5"), 0, nullptr, 0x400008,
                                 dxt5.substr(0, 64 + 16 + 16 + 16))},
      {"dds dxt2", MakeDds(6, 5, 0, 0, 0, 0x4, FourCCOf("DXT2"), 0, nullptr, 0, dxt5.substr(0, 64))},
      {"dds masks", MakeDds(3, 2, DDS_PITCH_FLAG, 12, 0, 0x41, 0, 32, masks, 0, px24.substr(0, 24))},
      {"dds numeric", MakeDds(3, 2, DDS_PITCH_FLAG, 6, 0, 0x4, 23, 0, nullptr, 0, px24.substr(0, 12))},
  };
}

TEST(ImageFuzz, MutatedFilesLoadOrAreRefused) {
  StartTestLog();
  // libpng and libjpeg print their diagnostics: thousands of them say nothing here.
  freopen("NUL", "w", stderr);
  Random rnd{0x12345u};
  // 3200 mutations per format, shared among its seeds (the name's first word is the format).
  std::vector<Seed> seeds = Seeds();
  auto format = [](const Seed& s) { return std::string(s.name).substr(0, 3); };
  for (const Seed& seed : seeds) {
    int sameFormat = 0;
    for (const Seed& other : seeds) sameFormat += format(other) == format(seed) ? 1 : 0;
    const int perSeed = 3200 / sameFormat;
    {
      ImageGuard g;
      ASSERT_EQ(LoadFromBytes(seed.bytes, &g.image), 0) << "seed " << seed.name;
    }
    int loaded = 0, blocks = GetAllocBlockCount();
    DWORD started = GetTickCount();
    for (int i = 0; i < perSeed; i++) {
      std::string file = Mutate(seed.bytes, rnd);
      RASTER_IMAGE img;
      if (LoadFromBytes(file, &img, i & 1) == 0) {
        loaded++;
        ASSERT_GT(img.width, 0) << seed.name << " " << i;
        ASSERT_GT(img.height, 0) << seed.name << " " << i;
        ASSERT_EQ(DecompressDxtImage(&img), 0);
        SumPixels(img);
      } else {
        ASSERT_EQ(img.pixels, nullptr) << seed.name << " " << i;
      }
      DisposeImage(&img);
      ASSERT_EQ(CheckAllAllocBlocks(), 0) << seed.name << " " << i;
      ASSERT_EQ(GetAllocBlockCount(), blocks) << "block left by " << seed.name << " mutation " << i;
    }
    // Both outcomes happen for every seed: the mutations reach the decoders, not only the headers.
    EXPECT_GT(loaded, 0) << seed.name;
    EXPECT_LT(loaded, perSeed) << seed.name;
    printf("%s: %d of %d mutations loaded (%lu ms)\n", seed.name, loaded, perSeed, GetTickCount() - started);
  }
}
}  // namespace
