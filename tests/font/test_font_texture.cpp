// The glyph cache in a texture on Wine's real Direct3D 9 device: the cache graph and its CPU
// copy, texel contents, the upload of whole cells, reuse in turn, and the graph lost and made
// again.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

#include "core/handles.h"
#include "file/async_load.h"
#include "graphics/device/d3d_calls.h"
#include "graphics/device/device.h"
#include "graphics/device/draw_settings.h"
#include "graphics/graphs/graph_formats.h"
#include "graphics/graphs/graph_handles.h"
#include "graphics/device/screen.h"
#include "graphics/graphs/texture_transfer.h"
#include "font/font_handles.h"
#include "font/glyph_cache.h"
#include "font/font_metrics.h"
#include "font/glyph_raster.h"
#include "font/glyph_texture.h"
#include "font/text_draw.h"
#include "font/text_layout.h"
#include "korvel.h"
#include "system/base/window_state.h"
#include "read_back.h"
#include "real_device.h"
#include "test_support.h"

namespace {
class FontTexture : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { StartRealDevice(); }
  static void TearDownTestSuite() { EndRealDevice(); }
  void TearDown() override {
    HANDLE_TYPE_MANAGER* m = &HandleManagers[HANDLE_TYPE_FONT];
    for (int slot = 0; slot < FONT_MAX_COUNT; slot++) {
      HANDLE_HEAD* record = m->slots[slot];
      if (record != nullptr && record->handle != GetDefaultFontHandle()) DeleteHandle(record->handle);
    }
  }
  static HANDLE_VALUE Make(int type, int size = 16, int count = 0) {
    FONT_CREATE_OPTIONS options = {0, 0, count};
    return MakeFontHandle(&options, nullptr, size, -1, type, -1, -1, 0, -1, 0);
  }
  static int LiveGraphs() { return HandleManagers[HANDLE_TYPE_GRAPH].count; }
};

// The texels of a graph's first texture, as 32-bit values (16-bit texels widened).
struct TEXELS {
  int width = 0, height = 0, bytes = 0;
  std::vector<uint32_t> pixels;
  uint32_t At(int x, int y) const { return pixels[(size_t)y * width + x]; }
};

// A default-pool texture cannot be locked: its texels are read from the system-memory texture
// of the same size and format through which every transfer into it went (it keeps what the
// last transfer wrote at each place).
TEXELS ReadGraphTexels(HANDLE_VALUE graph) {
  TEXELS t;
  GRAPH_RECORD* g = GetGraphRecord(graph, 0);
  if (g == nullptr || g->imageSet == nullptr || g->imageSet->textureCount < 1) return t;
  const GRAPH_TEXTURE& gt = g->imageSet->textures[0];
  IDirect3DTexture9* texture = nullptr;
  for (const SYSTEM_TEXTURE_ENTRY& e : SystemTexturePool.entries)
    if (e.inUse && e.width == gt.width && e.height == gt.height && e.formatIndex == g->imageSet->formatIndex)
      texture = e.texture;
  if (texture == nullptr) return t;
  D3DSURFACE_DESC desc;
  IDirect3DSurface9* surface = nullptr;
  DeviceCalls.TextureGetSurfaceLevel(texture, 0, &surface);
  DeviceCalls.SurfaceGetDesc(surface, &desc);
  DeviceCalls.ReleaseComObject(surface);
  t.bytes = (desc.Format == D3DFMT_A8R8G8B8 || desc.Format == D3DFMT_X8R8G8B8) ? 4 : 2;
  D3DLOCKED_RECT locked;
  if (FAILED(DeviceCalls.TextureLockRect(texture, 0, &locked, nullptr, D3DLOCK_READONLY))) return t;
  t.width = (int)desc.Width;
  t.height = (int)desc.Height;
  for (int y = 0; y < t.height; y++)
    for (int x = 0; x < t.width; x++) {
      const uint8_t* p = (const uint8_t*)locked.pBits + y * locked.Pitch + x * t.bytes;
      uint32_t v = 0;
      memcpy(&v, p, t.bytes);
      t.pixels.push_back(v);
    }
  DeviceCalls.TextureUnlockRect(texture, 0);
  return t;
}

uint32_t BaseTexel(const FONT_RECORD* font, int x, int y) {
  const RASTER_IMAGE& image = font->cacheBaseImage;
  uint32_t v = 0;
  memcpy(&v, (const uint8_t*)image.pixels + (size_t)y * image.pitch + x * image.format.bytesPerPixel,
         image.format.bytesPerPixel);
  return v;
}

// Every texel of a cell in the texture equals the CPU copy; with an edge also in the right half.
void ExpectCellUploaded(const FONT_RECORD* font, int cell, const char* what) {
  TEXELS t = ReadGraphTexels(font->cacheGraph);
  ASSERT_GT(t.width, 0) << what;
  int x0, y0;
  GetCellCorner(font, cell, &x0, &y0);
  int halves = (font->fontType & FONT_TYPE_EDGE) ? 2 : 1;
  for (int half = 0; half < halves; half++)
    for (int y = y0; y < y0 + font->cellSize; y++)
      for (int x = x0; x < x0 + font->cellSize; x++) {
        int tx = x + half * font->cacheWidth;
        ASSERT_EQ(t.At(tx, y), BaseTexel(font, tx, y)) << what << ": texel " << tx << "," << y;
      }
}

TEST_F(FontTexture, FontsKeepTheirGlyphsInACacheGraph) {
  struct Row {
    int type, bits, alpha;
  } rows[] = {{0, 16, 0}, {1, 16, 0}, {2, 32, 1}, {3, 32, 1}, {19, 32, 1}, {34, 32, 1}};
  for (const Row& r : rows) {
    HANDLE_VALUE handle = Make(r.type);
    ASSERT_NE(handle, -1) << "type " << r.type;
    FONT_RECORD* font = GetFontRecord(handle);
    EXPECT_EQ(font->textureCache, 1) << "type " << r.type;
    EXPECT_EQ(font->cacheBits, r.type & 2 ? 32 : 16) << "type " << r.type;
    EXPECT_EQ(IsGraphHandleValid(font->cacheGraph), 1) << "type " << r.type;
    EXPECT_EQ(IsGraphHandleValid(font->edgeGraph), (r.type & 1) ? 1 : 0) << "type " << r.type;
    EXPECT_EQ(font->cacheBaseImage.width, font->cacheWidth * ((r.type & 1) ? 2 : 1));
    EXPECT_EQ(font->cacheBaseImage.format.bytesPerPixel * 8, r.bits) << "type " << r.type;
    EXPECT_EQ(font->cacheBaseImage.format.alphaWidth > 0, true) << "type " << r.type;
    FONT_CACHE_LAYOUT layout;
    ComputeTextureCacheLayout(font->cellSize, 0, &layout);
    EXPECT_EQ(font->capacity, layout.capacity);
    EXPECT_EQ(font->memoryCache, nullptr);
  }
}

TEST_F(FontTexture, EmptyTexelsAreTransparentWhiteAndCellsGoUpWhole) {
  for (int type : {0, 1, 2, 3, 18, 19, 35}) {
    HANDLE_VALUE handle = Make(type, 20);
    ASSERT_NE(handle, -1);
    FONT_RECORD* font = GetFontRecord(handle);
    const COLOR_FORMAT& f = font->cacheBaseImage.format;
    uint32_t white = f.redMask | f.greenMask | f.blueMask;
    // Fresh: the whole texture is white at alpha 0.
    TEXELS fresh = ReadGraphTexels(font->cacheGraph);
    ASSERT_GT(fresh.width, 0) << "type " << type;
    for (uint32_t v : fresh.pixels) ASSERT_EQ(v, white) << "type " << type;

    ASSERT_EQ(CacheTextGlyphs(-1, "Ag@", handle, nullptr, nullptr), 0);
    for (char c : std::string("Ag@")) {
      GLYPH_CHAR g = {(unsigned char)c, 0, 0};
      GLYPH_CACHE_SLOT* slot = FindGlyphSlot(font, &g);
      ASSERT_NE(slot, nullptr);
      EXPECT_LE(slot->width, font->cellSize - 1);
      EXPECT_LE(slot->height, font->cellSize - 1);
      std::string what = "type " + std::to_string(type) + " '" + c + "'";
      ExpectCellUploaded(font, slot->cellIndex, what.c_str());
      int x0, y0, opaque = 0;  // the strongest alpha
      GetCellCorner(font, slot->cellIndex, &x0, &y0);
      for (int y = y0; y < y0 + font->cellSize; y++)
        for (int x = x0; x < x0 + font->cellSize; x++) {
          uint32_t v = BaseTexel(font, x, y);
          ASSERT_EQ(v & white, white) << what << " texels are white";
          bool inGlyph = x >= x0 + 1 && x < x0 + 1 + slot->width && y >= y0 + 1 && y < y0 + 1 + slot->height;
          if (!inGlyph) { ASSERT_EQ(v, white) << what << ": outside the glyph at " << x << "," << y; }
          uint32_t a = (v & f.alphaMask) >> f.alphaShift;
          if ((int)a > opaque) opaque = (int)a;
        }
      // Full coverage is (nearly) opaque: 65 levels without an edge reach 252 of 255.
      EXPECT_GE(opaque, (int)((f.alphaMask >> f.alphaShift) * 63 / 64)) << what;
    }
    DeleteHandle(handle);
  }
}

TEST_F(FontTexture, EdgeTexelsSurroundTheGlyph) {
  HANDLE_VALUE handle = Make(19, 24);
  FONT_RECORD* font = GetFontRecord(handle);
  ASSERT_EQ(CacheTextGlyphs(-1, "H", handle, nullptr, nullptr), 0);
  GLYPH_CHAR h = {'H', 0, 0};
  GLYPH_CACHE_SLOT* slot = FindGlyphSlot(font, &h);
  ASSERT_NE(slot, nullptr);
  const COLOR_FORMAT& f = font->cacheBaseImage.format;
  int x0, y0, edgeOnly = 0, fullUnderEdge = 0;
  GetCellCorner(font, slot->cellIndex, &x0, &y0);
  for (int y = y0 + 1; y < y0 + 1 + slot->height; y++)
    for (int x = x0 + 1; x < x0 + 1 + slot->width; x++) {
      uint32_t glyph = BaseTexel(font, x, y) & f.alphaMask, edge = BaseTexel(font, font->cacheWidth + x, y) & f.alphaMask;
      if (glyph == f.alphaMask) fullUnderEdge += edge == 0;
      edgeOnly += glyph == 0 && edge != 0;
    }
  EXPECT_GT(edgeOnly, 0) << "an edge around the glyph";
  EXPECT_GT(fullUnderEdge, 0) << "fully covered glyph texels leave the edge texel transparent";
  // The edge's last column and row (the glyph rectangle reaches the margin) are in the texture.
  ExpectCellUploaded(font, slot->cellIndex, "edge glyph");
}

// While drawing is suppressed (an empty draw area) no glyph is rasterised into the cache.
TEST_F(FontTexture, SuppressedDrawingRasterisesNothing) {
  HANDLE_VALUE handle = Make(2, 16);
  ASSERT_NE(handle, -1);
  FONT_RECORD* font = GetFontRecord(handle);
  GLYPH_CHAR q = {'Q', 0, 0};
  ASSERT_EQ(SetDrawClipArea(10, 10, 10, 40), 0);
  EXPECT_EQ(RasterizeGlyphsToCache(handle, 1, &q), nullptr);
  EXPECT_EQ(FindGlyphSlot(font, &q), nullptr);
  ASSERT_EQ(SetDrawClipArea(0, 0, 640, 480), 0);
  EXPECT_NE(RasterizeGlyphsToCache(handle, 1, &q), nullptr);
  EXPECT_NE(FindGlyphSlot(font, &q), nullptr);
  DeleteHandle(handle);
}

TEST_F(FontTexture, CapacityPlusOneReusesTheFirstCell) {
  HANDLE_VALUE handle = Make(2, 16, 3);
  FONT_RECORD* font = GetFontRecord(handle);
  ASSERT_GE(font->capacity, 3);
  int capacity = font->capacity;
  std::vector<GLYPH_CHAR> chars;
  for (int i = 0; i <= capacity; i++) chars.push_back({(unsigned char)(0x21 + i), 0, 0});
  for (int i = 0; i < capacity; i++) {
    char text[2] = {(char)chars[i].lead, 0};
    CacheTextGlyphs(-1, text, handle, nullptr, nullptr);
  }
  GLYPH_CACHE_SLOT* first = FindGlyphSlot(font, &chars[0]);
  ASSERT_NE(first, nullptr);
  char last[2] = {(char)chars[capacity].lead, 0};
  CacheTextGlyphs(-1, last, handle, nullptr, nullptr);
  EXPECT_EQ(FindGlyphSlot(font, &chars[0]), nullptr);
  EXPECT_EQ(FindGlyphSlot(font, &chars[capacity]), first);
  EXPECT_EQ(first->cellIndex, 0);
  ExpectCellUploaded(font, 0, "reused cell");
}

TEST_F(FontTexture, ALostCacheGraphIsMadeAgainAndTheCacheEmptied) {
  HANDLE_VALUE handle = Make(3);
  FONT_RECORD* font = GetFontRecord(handle);
  CacheTextGlyphs(-1, "abc", handle, nullptr, nullptr);
  int graphs = LiveGraphs();
  DeleteGraphHandle(font->edgeGraph, 0);
  DeleteGraphHandle(font->cacheGraph, 0);
  EXPECT_EQ(font->cacheTextureLost, 1);
  ASSERT_EQ(RebuildFontCacheTexture(handle, 0), 0);
  EXPECT_EQ(font->cacheTextureLost, 0);
  EXPECT_EQ(IsGraphHandleValid(font->cacheGraph), 1);
  EXPECT_EQ(IsGraphHandleValid(font->edgeGraph), 1);
  EXPECT_EQ(LiveGraphs(), graphs);
  GLYPH_CHAR a = {'a', 0, 0};
  EXPECT_EQ(FindGlyphSlot(font, &a), nullptr);
  int calls = CountGlyphOutlineCalls();
  EXPECT_GT(LayoutAndDrawText(0, 0, 0, 0, 1.0, 1.0, "abc", 0, nullptr, nullptr, 1, handle, 0, -1, 0, nullptr), 0);
  EXPECT_GT(CountGlyphOutlineCalls(), calls) << "every glyph is fetched anew";
  EXPECT_EQ(RebuildFontCacheTexture(handle, 0), 0) << "nothing to do while the graph lives";
}

// The library's loader workers run since the window start; the device work of the cache
// graph comes back to this thread through the main-thread requests.
TEST_F(FontTexture, ATextureFontMadeOnALoaderThread) {
  FONT_CREATE_OPTIONS options = {0, 0, 0};
  HANDLE_VALUE handle = MakeFontHandle(&options, nullptr, 18, -1, 3, -1, -1, 0, -1, 1);
  ASSERT_NE(handle, -1);
  for (int i = 0; i < 1000 && !IsFontHandleValid(handle); i++) {
    ServeMainThreadRequests();
    Sleep(5);
  }
  ASSERT_EQ(IsFontHandleValid(handle), 1);
  FONT_RECORD* font = GetFontRecord(handle);
  EXPECT_EQ(font->textureCache, 1);
  EXPECT_EQ(IsGraphHandleValid(font->cacheGraph), 1);
  TEXELS fresh = ReadGraphTexels(font->cacheGraph);
  ASSERT_GT(fresh.width, 0);
  const COLOR_FORMAT& f = font->cacheBaseImage.format;
  for (uint32_t v : fresh.pixels) ASSERT_EQ(v, f.redMask | f.greenMask | f.blueMask);
}

TEST_F(FontTexture, MeasuringATextureFontUsesTheScaleGiven) {
  HANDLE_VALUE handle = Make(0);
  SetFontCharSpacing(2, handle);
  int plain = LayoutAndDrawText(0, 0, 0, 0, 1.0, 1.0, "abc", 0, nullptr, nullptr, 1, handle, 0, -1, 0, nullptr);
  int size[2];
  EXPECT_EQ(LayoutAndDrawText(0, 0, 0, 1, 2.0, 1.0, "abc", 0, nullptr, nullptr, 1, handle, 0, -1, 0, size), 2 * plain);
  EXPECT_EQ(size[0], 2 * plain);
  EXPECT_EQ(LayoutAndDrawText(0, 0, 0, 1, 1.0, 3.0, "abc", 0, nullptr, nullptr, 1, handle, 0, -1, 1, nullptr), 3 * plain);
}

TEST_F(FontTexture, RecreatedFontsKeepHandlesWithoutSpendingGraphs) {
  HANDLE_VALUE def = GetDefaultFontHandle();
  HANDLE_VALUE a = Make(3, 20);
  SetFontCharSpacing(1, a);
  int fonts = HandleManagers[HANDLE_TYPE_FONT].count, graphs = LiveGraphs();
  for (int round = 0; round < 45; round++) ASSERT_EQ(RecreateAllFonts(), 0);
  EXPECT_EQ(HandleManagers[HANDLE_TYPE_FONT].count, fonts);
  EXPECT_EQ(LiveGraphs(), graphs);
  EXPECT_EQ(GetDefaultFontHandle(), def);
  EXPECT_EQ(IsFontHandleValid(a), 1);
  EXPECT_EQ(GetFontRecord(a)->spacing, 1);
  EXPECT_EQ(IsGraphHandleValid(GetFontRecord(a)->cacheGraph), 1);
}
}  // namespace

namespace {
TEST(FontTexels, EmptyIsNeverOpaque) {
  COLOR_FORMAT argb8, argb4;
  InitColorFormat(&argb8, 32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000u, 0, 0, 0);
  InitColorFormat(&argb4, 16, 0x0F00, 0x00F0, 0x000F, 0xF000, 0, 0, 0);
  struct Row {
    const char* name;
    const COLOR_FORMAT* format;
    int v, levels;
    uint32_t texel;
  } rows[] = {
      {"32-bit, 65 levels, empty", &argb8, 0, 64, 0x00FFFFFFu},
      {"32-bit, 65 levels, level 1", &argb8, 1, 64, 0x00FFFFFFu},
      {"32-bit, 65 levels, full", &argb8, 64, 64, 0xFCFFFFFFu},
      {"32-bit, 17 levels, empty", &argb8, 0, 16, 0x00FFFFFFu},
      {"32-bit, 17 levels, full", &argb8, 16, 16, 0xFFFFFFFFu},
      {"32-bit, 17 levels, half", &argb8, 8, 16, 0x7FFFFFFFu},
      {"16-bit, 17 levels, empty", &argb4, 0, 16, 0x0FFFu},
      {"16-bit, 17 levels, level 1", &argb4, 1, 16, 0x0FFFu},
      {"16-bit, 17 levels, full", &argb4, 16, 16, 0xFFFFu},
      {"one bit, empty", &argb4, 0, 1, 0x0FFFu},
      {"one bit, set", &argb4, 1, 1, 0xFFFFu},
  };
  for (const Row& r : rows) EXPECT_EQ(ConvertGlyphTexel(r.format, r.v, r.levels), r.texel) << r.name;

  struct EdgeRow {
    const char* name;
    const COLOR_FORMAT* format;
    int v, a, levels;
    uint32_t glyph, edge;
  } edges[] = {
      {"32-bit nothing", &argb8, 0, 0, 64, 0x00FFFFFFu, 0x00FFFFFFu},
      {"32-bit edge only", &argb8, 0, 32, 64, 0x00FFFFFFu, 0x7FFFFFFFu},
      {"32-bit full glyph hides the edge", &argb8, 64, 64, 64, 0xFFFFFFFFu, 0x00FFFFFFu},
      {"16-bit nothing", &argb4, 0, 0, 16, 0x0FFFu, 0x0FFFu},
      {"16-bit half", &argb4, 8, 12, 16, 0x7FFFu, 0xBFFFu},
      {"one bit glyph", &argb4, 1, 1, 1, 0xFFFFu, 0x0FFFu},
      {"one bit edge", &argb4, 0, 1, 1, 0x0FFFu, 0xFFFFu},
  };
  for (const EdgeRow& r : edges) {
    uint32_t glyph, edge;
    ConvertEdgedTexels(r.format, r.v, r.a, r.levels, &glyph, &edge);
    EXPECT_EQ(glyph, r.glyph) << r.name;
    EXPECT_EQ(edge, r.edge) << r.name;
  }
}
// Text on the screen: the default font's glyphs drawn from its cache texture light pixels in
// the text colour inside the box that measuring gives, and none outside it; a plain and an
// edged font alike, the edged one with its edge colour around the glyphs.
TEST_F(FontTexture, TextLandsOnTheScreenInsideItsMeasuredBox) {
  struct Row {
    int fontType, vertical;
    const char* name;
  } const rows[] = {{0, 0, "plain"}, {FONT_TYPE_EDGE, 0, "edged"}, {0, 1, "vertical"}, {FONT_TYPE_EDGE, 1, "vertical edged"}};
  const char* const text = "Korvel 123";
  const int x = 40, y = 60;
  for (const Row& row : rows) {
    ChangeDefaultFontSettings(nullptr, 16, 6);
    FontDefaults.fontType = row.fontType;
    RefreshDefaultFont();
    HANDLE_VALUE font = GetDefaultFontHandle();
    FONT_RECORD* record = GetFontRecord(font);
    ASSERT_NE(record, nullptr) << row.name;
    ASSERT_EQ(record->textureCache, 1) << row.name;
    // A blue ground, so that the edge's black shows.
    DrawFilledBox(0, 0, 640, 480, PackScreenColor(0, 0, 128));
    ASSERT_EQ(DrawTextWithFont(x, y, text, PackScreenColor(255, 255, 0), font, 0, row.vertical), 0) << row.name;
    FlipScreenBuffers();
    PICTURE p = ReadBackBuffer();
    ASSERT_GT(p.width, 0);
    int length = LayoutAndDrawText(0, x, y, 0, 1.0, 1.0, text, 0, nullptr, nullptr, 1, font, 0, -1, 0, nullptr);
    // A vertical line runs down a column one line high, moved left by half the top offset.
    int shift = record->topOffset / 2;
    RECT box = row.vertical ? RECT{x - shift - 1, y - 1, x - shift + record->charHeight + 1, y + length + 1}
                            : RECT{x - 1, y - shift - 1, x + length + 1, y - shift + record->charHeight + 1};
    int inside = 0, outside = 0;
    for (int py = 0; py < p.height; py++)
      for (int px = 0; px < p.width; px++) {
        if (p.At(px, py) == 0x000080) continue;
        bool in = px >= box.left && px < box.right && py >= box.top && py < box.bottom;
        (in ? inside : outside)++;
        if (!in && outside <= 3) ADD_FAILURE() << row.name << ": lit pixel " << px << "," << py << " outside the box";
      }
    EXPECT_GT(p.Count(0xFFFF00, box.left, box.top, box.right, box.bottom), 30) << row.name;
    EXPECT_EQ(outside, 0) << row.name;
    if (row.fontType == FONT_TYPE_EDGE) {
      EXPECT_GT(inside, p.Count(0xFFFF00, box.left, box.top, box.right, box.bottom)) << "edge pixels around the glyphs";
    }
  }
  FontDefaults.fontType = 0;
  RefreshDefaultFont();
}
}  // namespace
