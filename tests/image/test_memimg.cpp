// MEMIMG views and stores, the transparent-run table, raw fills, and the draw state's tables.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "core/memory.h"
#include "image/memimg.h"
#include "image/memimg_draw_state.h"

namespace {

struct PitchCase {
  int width, height, type, pitch, shift;
};

TEST(MemImg, PitchAndPitchShift) {
  const PitchCase cases[] = {{100, 10, 1, 400, -1}, {256, 16, 1, 1024, 10}, {100, 4, 0, 208, -1}, {8, 2, 0, 16, 4}};
  for (const PitchCase& c : cases) {
    MEMIMG m = {};
    ASSERT_EQ(CreateScreenMemImg(&m, c.width, c.height, c.type), 0) << c.width;
    EXPECT_EQ(m.store->pitch, c.pitch) << c.width << "x" << c.height;
    EXPECT_EQ(m.store->pitchShift, c.shift) << c.width << "x" << c.height;
    EXPECT_EQ(IsMemImgValid(&m), 1);
    ReleaseMemImg(&m);
    EXPECT_EQ(IsMemImgValid(&m), 0);
  }
}

TEST(MemImg, SetupOnValidViewChangesNothing) {
  MEMIMG m = {};
  ASSERT_EQ(SetupMemImg(&m, 4, 4, -1, 0, 1, 0, 0, 0, nullptr), 0);
  MEMIMG before = m;
  EXPECT_EQ(SetupMemImg(&m, 8, 8, -1, 0, 0, 0, 0, 0, nullptr), -1);
  EXPECT_EQ(memcmp(&before, &m, sizeof m), 0);
  EXPECT_EQ(m.store->width, 4);
  ReleaseMemImg(&m);
}

TEST(MemImg, PaletteClearsAlphaAndChannelTypesClearBoth) {
  MEMIMG a = {}, b = {};
  ASSERT_EQ(SetupMemImg(&a, 4, 4, -1, 0, 1, 1, 1, 0, nullptr), 0);
  EXPECT_EQ(a.store->paletteFlag, 1);
  EXPECT_EQ(a.store->alphaFlag, 0);
  EXPECT_EQ(a.store->secondPalette, a.store->paletteBlock + 1024);
  ASSERT_EQ(SetupMemImg(&b, 4, 4, -1, 0, 3, 1, 1, 0, nullptr), 0);
  EXPECT_EQ(b.store->paletteFlag, 0);
  EXPECT_EQ(b.store->alphaFlag, 0);
  EXPECT_EQ(b.store->pitch, 16);
  ReleaseMemImg(&a);
  ReleaseMemImg(&b);
}

TEST(MemImg, FailedSetupFreesWhatItMade) {
  int blocks = GetAllocBlockCount();
  MEMIMG m = {};
  // A pitch that cannot hold the rows, and a size whose pixel block cannot be allocated.
  EXPECT_EQ(SetupMemImg(&m, 100, 10, 64, 0, 1, 1, 0, 1, nullptr), -1);
  EXPECT_EQ(SetupMemImg(&m, 30000, 30000, -1, 0, 1, 0, 0, 1, nullptr), -1);
  EXPECT_EQ(IsMemImgValid(&m), 0);
  EXPECT_EQ(m.store, nullptr);
  EXPECT_EQ(GetAllocBlockCount(), blocks);
  // The view can be set up again afterwards.
  EXPECT_EQ(SetupMemImg(&m, 10, 10, -1, 0, 1, 0, 0, 1, nullptr), 0);
  ReleaseMemImg(&m);
  EXPECT_EQ(GetAllocBlockCount(), blocks);
}

TEST(MemImg, DeriveChecksTheRectangleAndSharesTheStore) {
  MEMIMG parent = {}, child = {}, bad = {};
  ASSERT_EQ(SetupMemImg(&parent, 100, 20, -1, 0, 1, 0, 0, 0, nullptr), 0);
  struct {
    int x, y, w, h;
  } refused[] = {{95, 0, 10, 10}, {-1, 0, 5, 5}, {0, -1, 5, 5}, {0, 0, -3, 5}, {0, 0, 5, -3}, {0, 15, 10, 10},
                 {0x7FFFFFF0, 0, 0x20, 1}};
  for (auto& r : refused) {
    EXPECT_EQ(DeriveMemImg(&bad, &parent, r.x, r.y, r.w, r.h), -1) << r.x << "," << r.y << " " << r.w << "x" << r.h;
    EXPECT_EQ(IsMemImgValid(&bad), 0);
  }
  EXPECT_EQ(parent.store->referenceCount, 1);
  MEMIMG invalid = {};
  EXPECT_EQ(DeriveMemImg(&bad, &invalid, 0, 0, 1, 1), -1);

  ASSERT_EQ(DeriveMemImg(&child, &parent, 90, 2, 10, 10), 0);
  EXPECT_EQ(parent.store->referenceCount, 2);
  EXPECT_EQ(child.pixels, parent.pixels + 90 * 4 + 2 * 400);
  // Deriving into a view that still holds a store would lose its reference.
  EXPECT_EQ(DeriveMemImg(&child, &parent, 0, 0, 1, 1), -1);
  EXPECT_EQ(parent.store->referenceCount, 2);

  MEMIMG_STORE* store = parent.store;
  ReleaseMemImg(&parent);
  EXPECT_EQ(store->referenceCount, 1);
  child.pixels[0] = 7;  // the store is still alive for the derived view
  ReleaseMemImg(&child);
  ReleaseMemImg(&child);  // an invalid view is left alone
}

// Builds the run table of a one-row image and returns the bytes of that row.
std::vector<uint8_t> RunsOfRow(int type, int alpha, const std::vector<uint32_t>& row, uint32_t transparent) {
  MEMIMG m = {};
  EXPECT_EQ(SetupMemImg(&m, (int)row.size(), 1, -1, transparent, type, 0, alpha, 1, nullptr), 0);
  int bytes = GetMemImgPixelBytes(m.store);
  for (size_t i = 0; i < row.size(); i++) memcpy(m.pixels + i * bytes, &row[i], bytes);
  EXPECT_EQ(BuildMemImgRunTable(&m), 0);
  EXPECT_EQ(m.store->runTableValid, 1);
  std::vector<uint8_t> out;
  for (const uint8_t* p = m.store->runTable;; p++) {
    out.push_back(*p);
    if (*p == TRANS_RUN_ROW_END) break;
  }
  ReleaseMemImg(&m);
  return out;
}

TEST(MemImg, RunTableBytes) {
  std::vector<uint32_t> alphaRow;
  for (uint32_t a : {0u, 0u, 255u, 128u, 128u, 255u}) alphaRow.push_back(a << 24 | 0x123456);
  EXPECT_EQ(RunsOfRow(1, 1, alphaRow, 0), (std::vector<uint8_t>{0x01, 0x40, 0x81, 0x40, 0xC0}));
  // RGB565 with alpha keeps alpha in byte 2.
  std::vector<uint32_t> alpha565;
  for (uint32_t a : {0u, 0u, 255u, 128u, 128u, 255u}) alpha565.push_back(a << 16 | 0x1234);
  EXPECT_EQ(RunsOfRow(0, 1, alpha565, 0), (std::vector<uint8_t>{0x01, 0x40, 0x81, 0x40, 0xC0}));
  EXPECT_EQ(RunsOfRow(1, 0, std::vector<uint32_t>(70, 0xFF), 0), (std::vector<uint8_t>{0x7F, 0x45, 0xC0}));
  EXPECT_EQ(RunsOfRow(0, 0, {5, 5, 9, 5}, 5), (std::vector<uint8_t>{0x01, 0x40, 0x00, 0xC0}));
}

TEST(MemImg, RunTableOnlyForAViewOfTheWholeStore) {
  MEMIMG whole = {}, part = {};
  ASSERT_EQ(SetupMemImg(&whole, 8, 4, -1, 0, 1, 0, 0, 1, nullptr), 0);
  ASSERT_EQ(DeriveMemImg(&part, &whole, 2, 1, 4, 2), 0);
  memset(whole.store->runTable, 0xEE, 12);
  EXPECT_EQ(BuildMemImgRunTable(&part), -1);
  EXPECT_EQ(whole.store->runTableValid, 0);
  EXPECT_EQ(whole.store->runTable[0], 0xEE);
  EXPECT_EQ(BuildMemImgRunTable(&whole), 0);
  EXPECT_EQ(whole.store->runTableValid, 1);
  ReleaseMemImg(&part);
  ReleaseMemImg(&whole);
}

TEST(MemImg, FillRectRawWritesOnlyInsideTheView) {
  MEMIMG m = {};
  ASSERT_EQ(SetupMemImg(&m, 6, 4, -1, 0, 0, 0, 0, 0, nullptr), 0);
  memset(m.pixels, 0, m.store->pitch * 4);
  RECT r = {4, 2, 20, 20};
  FillMemImgRectRaw(&m, &r, 0xABCD);
  for (int y = 0; y < 4; y++)
    for (int x = 0; x < 6; x++) {
      uint16_t v;
      memcpy(&v, m.pixels + y * m.store->pitch + x * 2, 2);
      EXPECT_EQ(v, (x >= 4 && y >= 2) ? 0xABCD : 0) << x << "," << y;
    }
  EXPECT_EQ(m.pixels[m.store->pitch * 3 + 12], 0);  // padding after the row untouched
  ReleaseMemImg(&m);
}

TEST(MemImg, SharedFormats) {
  EXPECT_EQ(GetMemImgColorFormat(4, 0, 0), nullptr);
  EXPECT_EQ(GetMemImgColorFormat(0, 0, 0)->bytesPerPixel, 2);
  EXPECT_EQ(GetMemImgColorFormat(0, 1, 0)->alphaMask, 0xFF0000u);
  EXPECT_EQ(GetMemImgColorFormat(1, 0, 1)->bytesPerPixel, 1);
  EXPECT_EQ(GetMemImgColorFormat(2, 0, 0)->redMask, 0xFFu);
  EXPECT_EQ(GetMemImgColorFormat(3, 0, 0)->bytesPerPixel, 2);
  MEMIMG m = {};
  ASSERT_EQ(SetupMemImg(&m, 2, 2, -1, 0, 1, 0, 1, 0, nullptr), 0);
  EXPECT_EQ(m.store->format, GetMemImgColorFormat(1, 1, 0));
  ReleaseMemImg(&m);
}

TEST(MemImg, ImportRebuildsTheRunTableOnlyForAFullImport) {
  RASTER_IMAGE image = {};
  ASSERT_EQ(AllocARGB8Image(6, 1, &image), 0);
  const uint32_t alphas[6] = {0, 0, 255, 128, 128, 255};
  for (int i = 0; i < 6; i++) ((uint32_t*)image.pixels)[i] = alphas[i] << 24 | 0x102030;
  MEMIMG m = {};
  ASSERT_EQ(SetupMemImg(&m, 6, 1, -1, 0, 1, 0, 1, 1, nullptr), 0);
  memset(m.store->runTable, 0xEE, 11);
  EXPECT_GE(ImportImageToMemImg(&image, nullptr, &m, 0, 0, 3, 1, 0, 0, 0), 0);
  EXPECT_EQ(m.store->runTableValid, 0);
  EXPECT_EQ(m.store->runTable[0], 0xEE);
  EXPECT_GE(ImportImageToMemImg(&image, nullptr, &m, 0, 0, 6, 1, 0, 0, 0), 0);
  EXPECT_EQ(m.store->runTableValid, 1);
  EXPECT_EQ(std::vector<uint8_t>(m.store->runTable, m.store->runTable + 5), (std::vector<uint8_t>{0x01, 0x40, 0x81, 0x40, 0xC0}));
  uint32_t p;
  memcpy(&p, m.pixels + 12, 4);
  EXPECT_EQ(p, 128u << 24 | 0x102030);

  // A copy into an RGB565 view converts the layout.
  MEMIMG r = {};
  ASSERT_EQ(SetupMemImg(&r, 6, 1, -1, 0, 0, 0, 0, 0, nullptr), 0);
  RECT one = {2, 0, 3, 1};
  CopyMemImgRect(&r, &m, &one, 0, 0);
  uint16_t v;
  memcpy(&v, r.pixels, 2);
  EXPECT_EQ(v, (0x10 >> 3) << 11 | (0x20 >> 2) << 5 | 0x30 >> 3);
  ReleaseMemImg(&r);
  ReleaseMemImg(&m);
  DisposeImage(&image);
}

TEST(MemImgDrawState, ProductTables) {
  ASSERT_EQ(BuildMemImgTables(), 0);
  const BLEND_PRODUCT_TABLES& t = BlendProductTables;
  EXPECT_EQ(t.product[255 * 256 + 255], 255);
  EXPECT_EQ(t.product[128 * 256 + 255], 128);
  EXPECT_EQ(t.product[1 * 256 + 254], 0);
  EXPECT_EQ(BlendDifference(255, -255), -255);
  EXPECT_EQ(BlendDifference(128, -1), 0);
  EXPECT_EQ(BlendDifference(128, -255), -128);
  EXPECT_EQ(BlendDifference(100, 63), 24);
  EXPECT_EQ(t.difference[3 * 512 + 511], 0);
  for (int m = 0; m < 64; m += 7)
    for (int n = 0; n < 64; n += 5) {
      EXPECT_EQ(t.mix[63 * 4096 + m * 64 + n], m);
      EXPECT_EQ(t.mix[0 * 4096 + m * 64 + n], n);
    }
  EXPECT_EQ(t.mix[32 * 4096 + 63 * 64 + 0], 32);
}

TEST(MemImgDrawState, BlendGraphWeights) {
  uint8_t* w = MemImgDrawState.BLEND_GRAPH_WEIGHT_TABLE;
  BuildBlendGraphWeights(0, 255);
  for (int i = 0; i < 256; i++) ASSERT_EQ(w[i], 255) << i;
  BuildBlendGraphWeights(128, 255);
  for (int i = 0; i < 256; i++) ASSERT_EQ(w[i], i) << i;
  BuildBlendGraphWeights(255, 255);
  for (int i = 0; i < 255; i++) ASSERT_EQ(w[i], 0) << i;
  EXPECT_EQ(w[255], 1);
  BuildBlendGraphWeights(128, 0);
  for (int i = 0; i < 128; i++) ASSERT_EQ(w[i], 0) << i;
  EXPECT_EQ(w[128], 128);
  for (int i = 129; i < 256; i++) ASSERT_EQ(w[i], 255) << i;
  BuildBlendGraphWeights(255, 0);
  for (int i = 0; i < 255; i++) ASSERT_EQ(w[i], 0) << i;
  EXPECT_EQ(w[255], 1);
}

TEST(MemImgDrawState, SettersStoreTheirValues) {
  RECT r = {1, 2, 30, 40};
  SetMemImgClipRect(&r);
  EXPECT_EQ(memcmp(&MemImgDrawState.clipRect, &r, sizeof r), 0);
  SetMemImgBlendMode(11, 77);
  EXPECT_EQ(MemImgDrawState.blendMode, 11);
  EXPECT_EQ(MemImgDrawState.blendParam, 77);
  SetMemImgTint(0xFFFFFE);
  EXPECT_EQ(MemImgDrawState.tint, 0xFFFFFEu);
}

}  // namespace
