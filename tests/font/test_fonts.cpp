// Fonts: creation rules, the glyph cache's bookkeeping and memory cells, and measuring.
// Expected metrics come from GDI at run time (under Wine the faces are FreeType substitutes).
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdarg>
#include <cstring>
#include <string>
#include <vector>

#include "core/handles.h"
#include "core/strings.h"
#include "file/async_load.h"
#include "font/font_handles.h"
#include "font/font_metrics.h"
#include "font/glyph_cache.h"
#include "font/glyph_raster.h"
#include "font/text_layout.h"
#include "graphics/device/draw_settings.h"
#include "graphics/device/screen.h"
#include "image/memimg.h"
#include "korvel.h"
#include "test_support.h"

namespace {
class Fonts : public ::testing::Test {
 protected:
  // The font layer over a display that is up without a device: glyphs live in memory.
  static void SetUpTestSuite() {
    StartTestLog();
    ScreenState.graphicsStarted = 1;
    ScreenState.colorBits = 32;
    InitDrawSettings();
    ASSERT_EQ(InitFontSystem(), 0);
  }
  static void TearDownTestSuite() {
    EndFontSystem();
    ScreenState.graphicsStarted = 0;
  }
  void TearDown() override {
    // Every font but the default one goes after each test.
    HANDLE_TYPE_MANAGER* m = &HandleManagers[HANDLE_TYPE_FONT];
    for (int slot = 0; slot < FONT_MAX_COUNT; slot++) {
      HANDLE_HEAD* record = m->slots[slot];
      if (record != nullptr && record->handle != GetDefaultFontHandle()) DeleteHandle(record->handle);
    }
  }
  static HANDLE_VALUE Make(int type, int size = 16, int edge = -1, int count = 0) {
    FONT_CREATE_OPTIONS options = {0, 0, count};
    return MakeFontHandle(&options, nullptr, size, -1, type, -1, edge, 0, -1, 0);
  }
  static int LiveFonts() { return HandleManagers[HANDLE_TYPE_FONT].count; }
  static TEXTMETRICA MetricsOf(const FONT_RECORD* font) {
    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(dc, font->font);
    TEXTMETRICA tm;
    GetTextMetricsA(dc, &tm);
    SelectObject(dc, old);
    DeleteDC(dc);
    return tm;
  }
  static int Measure(HANDLE_VALUE font, const char* text, int size[2] = nullptr, int vertical = 0) {
    return LayoutAndDrawText(0, 0, 0, 0, 1.0, 1.0, text, 0, nullptr, nullptr, 1, font, 0, -1, vertical, size);
  }
};

TEST(FontRules, CacheSizing) {
  struct Row {
    const char* name;
    int texture, cell, count, type;
    int width, height, capacity, rows, pitch, bits;
  } rows[] = {
      {"texture cell 24 automatic", 1, 24, 0, 0, 512, 512, 441, 21, 0, 0},
      {"texture cell 200 doubles once", 1, 200, 0, 0, 1024, 512, 10, 2, 0, 0},
      {"texture count 100 cell 16", 1, 16, 100, 0, 256, 256, 256, 16, 0, 0},
      {"texture cell 8 limited to 2024", 1, 8, 0, 0, 512, 512, 2024, 64, 0, 0},
      {"texture count 3 cell 2 smallest side 8", 1, 2, 3, 0, 8, 8, 16, 4, 0, 0},
      {"memory cell 16 one bit", 0, 16, 0, 0, 16, 1280 * 16, 1280, 1280, 2, 1},
      {"memory cell 16 grey", 0, 16, 0, 2, 16, 1280 * 16, 1280, 1280, 16, 8},
      {"memory cell 200 raised to 20", 0, 200, 0, 1, 200, 4000, 20, 20, 200, 8},
      {"memory cell 8 limited to 2024", 0, 8, 0, 0, 8, 2024 * 8, 2024, 2024, 1, 1},
      {"memory explicit count 5 raised to 20", 0, 16, 5, 3, 16, 320, 20, 20, 16, 8},
      {"memory explicit count 30", 0, 24, 30, 0, 24, 720, 30, 30, 3, 1},
  };
  for (const Row& r : rows) {
    FONT_CACHE_LAYOUT layout;
    if (r.texture) ComputeTextureCacheLayout(r.cell, r.count, &layout);
    else ComputeMemoryCacheLayout(r.cell, r.count, r.type, &layout);
    EXPECT_EQ(layout.width, r.width) << r.name;
    EXPECT_EQ(layout.height, r.height) << r.name;
    EXPECT_EQ(layout.capacity, r.capacity) << r.name;
    EXPECT_EQ(layout.rows, r.rows) << r.name;
    if (!r.texture) {
      EXPECT_EQ(layout.pitch, r.pitch) << r.name;
      EXPECT_EQ(layout.bitsPerPixel, r.bits) << r.name;
    }
  }
}

TEST(FontRules, TypesHeightsAndCells) {
  struct TypeRow {
    int type, edge, bits, expected;
  } types[] = {
      {0, 1, 32, 0},   {0, 2, 32, 1},  {2, 3, 32, 3},   {18, 1, 32, 18}, {19, 1, 16, 19}, {34, 1, 32, 34},
      {35, 1, 32, 35}, {2, 1, 8, 0},   {3, 1, 8, 1},    {18, 1, 8, 0},   {35, 1, 8, 1},   {4, 1, 32, -1},
      {16, 1, 32, -1}, {17, 1, 32, -1}, {36, 1, 32, -1}, {-2, 1, 32, -1}, {255, 1, 32, -1},
  };
  for (const TypeRow& r : types)
    EXPECT_EQ(NormalizeFontType(r.type, r.edge, r.bits), r.expected)
        << "type " << r.type << " edge " << r.edge << " bits " << r.bits;
  EXPECT_EQ(GetOversampleFactor(3), 1);
  EXPECT_EQ(GetOversampleFactor(19), 4);
  EXPECT_EQ(GetOversampleFactor(34), 8);

  struct HeightRow {
    int height, leading, tmHeight, expected;
  } heights[] = {
      {16, 3, 20, 18},  // truncate(16 / (1 - 3/20))
      {16, 0, 20, 0}, {16, -1, 20, 0}, {16, 20, 20, 0}, {16, 25, 20, 0}, {16, 3, 0, 0}, {64, 8, 64, 73},
  };
  for (const HeightRow& r : heights)
    EXPECT_EQ(CorrectFontHeight(r.height, r.leading, r.tmHeight), r.expected)
        << r.height << " leading " << r.leading << " of " << r.tmHeight;

  struct CellRow {
    int maxWidth, tmHeight, factor, edge, cell, charHeight;
  } cells[] = {
      {8, 16, 1, 0, 18, 18},    // 8 + 4 -> 16, but the line height 17 -> 18 is larger
      {20, 16, 1, 0, 24, 18},   // 24 already a multiple of 8
      {21, 16, 1, 0, 32, 18},
      {8, 16, 1, 2, 22, 22},    // edge 2: cell 16 -> 16, line 21 -> 22 -> cell 22
      {64, 64, 4, 1, 24, 20},   // 16 + 4 + 2 = 22 -> 24; 16 + 1 + 2 = 19 -> 20
      {128, 136, 8, 0, 24, 18},
  };
  for (const CellRow& r : cells) {
    FONT_CELL_METRICS m;
    ComputeFontCell(r.maxWidth, r.tmHeight, r.factor, r.edge, &m);
    EXPECT_EQ(m.cellSize, r.cell) << r.maxWidth << "/" << r.tmHeight << "/" << r.factor << "/" << r.edge;
    EXPECT_EQ(m.charHeight, r.charHeight) << r.maxWidth << "/" << r.tmHeight << "/" << r.factor << "/" << r.edge;
  }
}

// The bit-count table is built by the font start, so this runs in the started fixture.
TEST_F(Fonts, ResamplingAndBrushes) {
  // An 8 x 8 block of set bits, f = 8: one pixel of 64, or 16 with 17 levels.
  unsigned char full8[8] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
  unsigned char out[8];
  ResampleGlyphBits(full8, 1, 8, 0, 8, 64, 1, 1, out);
  EXPECT_EQ(out[0], 64);
  ResampleGlyphBits(full8, 1, 8, 0, 8, 16, 1, 1, out);
  EXPECT_EQ(out[0], 16);
  // f = 4, rows of 0xF0 (left nibble set): left pixel 16, right 0; 65 levels scale by 4.
  unsigned char left4[4] = {0xF0, 0xF0, 0xF0, 0xF0};
  ResampleGlyphBits(left4, 1, 4, 0, 4, 16, 2, 1, out);
  EXPECT_EQ(out[0], 16);
  EXPECT_EQ(out[1], 0);
  ResampleGlyphBits(left4, 1, 4, 0, 4, 64, 2, 1, out);
  EXPECT_EQ(out[0], 64);
  // Phase 3: the grid starts three rows above the glyph; the 4 rows split 1 + 3.
  ResampleGlyphBits(left4, 1, 4, 3, 4, 16, 1, 2, out);
  EXPECT_EQ(out[0], 4);
  EXPECT_EQ(out[1], 12);

  EXPECT_TRUE(IsInEdgeBrush(1, 1, 0, 0));
  EXPECT_FALSE(IsInEdgeBrush(1, 1, 1, 0));
  EXPECT_TRUE(IsInEdgeBrush(1, 1, 1, 1));
  EXPECT_FALSE(IsInEdgeBrush(1, 0, 0, 1));
  EXPECT_FALSE(IsInEdgeBrush(2, -2, -2, 0));
  EXPECT_TRUE(IsInEdgeBrush(2, -1, -2, 0));
  EXPECT_FALSE(IsInEdgeBrush(3, -3, -2, 0));
  EXPECT_TRUE(IsInEdgeBrush(3, 0, 3, 0));
  EXPECT_FALSE(IsInEdgeBrush(4, 4, 3, 0));
  EXPECT_TRUE(IsInEdgeBrush(4, 4, 2, 0));
  EXPECT_TRUE(IsInEdgeBrush(5, 5, 5, 0));
  EXPECT_FALSE(IsInEdgeBrush(5, 6, 0, 0));
}

std::string Format(int size, const char* format, ...) {
  std::vector<char> buffer(size + 8, 'Z');
  va_list args;
  va_start(args, format);
  int length = FormatTextForDrawing(buffer.data(), size, format, args);
  va_end(args);
  EXPECT_EQ(length, (int)strlen(buffer.data()));
  for (int i = size; i < size + 8; i++) EXPECT_EQ(buffer[i], 'Z') << "byte " << i << " written past the buffer";
  return std::string(buffer.data());
}

TEST(FontRules, FormattedTextIsCutOnACharacterBoundary) {
  std::string wide;
  for (int i = 0; i < 1500; i++) wide += "あ";
  EXPECT_EQ(Format(2048, "%s", wide.c_str()).size(), 2046u);
  EXPECT_EQ(Format(2048, "x%s", wide.c_str()).size(), 2047u);
  EXPECT_EQ(Format(2048, "xx%s", wide.c_str()).size(), 2046u);
  EXPECT_EQ(Format(2048, "%d %s", 12, "ok"), "12 ok");
  EXPECT_EQ(Format(4, "%s", "あいう"), "あ");
}

TEST_F(Fonts, DefaultFontAndCreationRules) {
  HANDLE_VALUE def = GetDefaultFontHandle();
  ASSERT_NE(def, -1);
  FONT_RECORD* font = GetFontRecord(def);
  ASSERT_NE(font, nullptr);
  EXPECT_EQ(font->size, 16);
  EXPECT_EQ(font->thickness, 6);
  EXPECT_EQ(font->fontType, 0);
  EXPECT_STREQ(font->faceName, "");
  TEXTMETRICA tm = MetricsOf(font);
  FONT_CELL_METRICS cell;
  ComputeFontCell(tm.tmMaxCharWidth, tm.tmHeight, 1, 0, &cell);
  EXPECT_EQ(font->charHeight, cell.charHeight);
  EXPECT_EQ(font->cellSize, cell.cellSize);
  EXPECT_EQ(font->charHeight % 2, 0);
  EXPECT_GE(font->charHeight, tm.tmHeight + 1);
  EXPECT_EQ(font->textureCache, 0);
  EXPECT_EQ(font->memoryBits, 1);

  HANDLE_VALUE edged = Make(0, 16, 2);
  ASSERT_NE(edged, -1);
  EXPECT_EQ(GetFontRecord(edged)->fontType, 1);
  EXPECT_EQ(GetFontRecord(edged)->edgeSize, 2);
  EXPECT_EQ(GetFontRecord(edged)->memoryBits, 8);

  int before = LiveFonts();
  for (int type : {4, 5, 16, 17, 20, 33, 36, 99})
    EXPECT_EQ(Make(type), -1) << "type " << type;
  EXPECT_EQ(MakeFontHandle(nullptr, nullptr, 0, -1, 0, -1, -1, 0, -1, 0), -1);
  EXPECT_EQ(LiveFonts(), before) << "a refused creation leaves no handle";

  std::string longFace(300, 'Q');
  HANDLE_VALUE named = MakeFontHandle(nullptr, longFace.c_str(), 12, -1, 0, -1, -1, 0, -1, 0);
  ASSERT_NE(named, -1);
  char face[FONT_FACE_SIZE + 16];
  memset(face, 'Z', sizeof(face));
  int size = 0, thickness = 0;
  EXPECT_EQ(GetFontHandleState(face, &size, &thickness, named), 0);
  EXPECT_EQ(strlen(face), (size_t)FONT_FACE_SIZE - 1);
  EXPECT_EQ(face[FONT_FACE_SIZE], 'Z');
  EXPECT_EQ(size, 12);
  EXPECT_EQ(thickness, 6);
  EXPECT_EQ(GetFontHandleSize(named), 12);
  EXPECT_EQ(GetFontHandleSize(-1), -1);
  EXPECT_EQ(IsFontHandleValid(named), 1);
  DeleteHandle(named);
  EXPECT_EQ(IsFontHandleValid(named), 0);
}

TEST_F(Fonts, FortyFontsAtMost) {
  std::vector<HANDLE_VALUE> made;
  while (LiveFonts() < FONT_MAX_COUNT) {
    HANDLE_VALUE h = Make(0, 10);
    ASSERT_NE(h, -1);
    made.push_back(h);
  }
  EXPECT_EQ(Make(0, 10), -1);
  EXPECT_NE(ReadLog().find("フォントハンドルの数が限界数( 40 )に達していて新たなハンドルを作成できません"), std::string::npos);
}

TEST_F(Fonts, DefaultFontIsMadeAgainOnlyWhenItsSettingsChange) {
  HANDLE_VALUE first = GetDefaultFontHandle();
  ASSERT_EQ(RefreshDefaultFont(), 0);
  ASSERT_EQ(RefreshDefaultFont(), 0);
  EXPECT_EQ(GetDefaultFontHandle(), first);
  EXPECT_EQ(IsFontHandleValid(first), 1);

  ASSERT_EQ(ChangeDefaultFontSize(20), 0);
  HANDLE_VALUE second = GetDefaultFontHandle();
  EXPECT_NE(second, first);
  EXPECT_EQ(IsFontHandleValid(first), 0);
  EXPECT_EQ(GetFontHandleSize(second), 20);
  ASSERT_EQ(ChangeDefaultFontSize(20), 0);
  EXPECT_EQ(GetDefaultFontHandle(), second);

  ASSERT_EQ(ChangeDefaultFontThickness(3), 0);
  HANDLE_VALUE third = GetDefaultFontHandle();
  EXPECT_NE(third, second);
  int thickness = 0;
  GetFontHandleState(nullptr, nullptr, &thickness, third);
  EXPECT_EQ(thickness, 3);

  ASSERT_EQ(ChangeDefaultFontSettings(nullptr, -1, -1), 0);
  HANDLE_VALUE fourth = GetDefaultFontHandle();
  EXPECT_EQ(GetFontHandleSize(fourth), 16);
  ASSERT_EQ(ChangeDefaultFontSettings("", 16, 6), 0);
  EXPECT_EQ(GetDefaultFontHandle(), fourth);
  EXPECT_EQ(LiveFonts(), 1);
}

TEST_F(Fonts, FormattedTextMakesTheDefaultFontOnlyAfterAChange) {
  HANDLE_VALUE before = GetDefaultFontHandle();
  EXPECT_EQ(DrawFormattedText(0, 0, 0, "%.3e ", 1.5), 0);
  EXPECT_EQ(GetDefaultFontHandle(), before);
  ChangeDefaultFontSize(22);
  HANDLE_VALUE changed = GetDefaultFontHandle();
  EXPECT_NE(changed, before);
  EXPECT_EQ(DrawFormattedText(0, 0, 0, "%s", "Click to reload files."), 0);
  EXPECT_EQ(GetDefaultFontHandle(), changed);
  // Settings changed behind the font's back (as a mode change leaves them) are caught by the
  // next formatted draw.
  FontDefaults.size = 16;
  EXPECT_EQ(DrawFormattedText(0, 0, 0, "x"), 0);
  EXPECT_NE(GetDefaultFontHandle(), changed);
  EXPECT_EQ(GetFontHandleSize(GetDefaultFontHandle()), 16);
  EXPECT_EQ(LiveFonts(), 1);

  EXPECT_EQ(DrawTextWithFont(0, 0, "abc", 0, -1, 0, 0), -1);
  EXPECT_NE(ReadLog().find("フォントハンドル値が異常です"), std::string::npos);
  EXPECT_EQ(DrawTextWithFont(0, 0, "", 0, -1, 0, 0), 0);
}

// With nothing to draw (no text, empty text, an empty draw area) the call returns 0 before
// the handle is looked at: an invalid handle is then neither refused nor logged.
TEST_F(Fonts, NothingToDrawReturnsZeroWhateverTheHandle) {
  HANDLE_VALUE font = Make(0);
  ASSERT_NE(font, -1);
  struct {
    const char* name;
    const char* text;
    int emptyArea;
  } rows[] = {{"null text", nullptr, 0}, {"empty text", "", 0}, {"empty draw area", "abc", 1}};
  for (const auto& row : rows) {
    for (HANDLE_VALUE handle : {font, (HANDLE_VALUE)-1, (HANDLE_VALUE)0x7FFFFFFF}) {
      size_t logged = ReadLog().size();
      if (row.emptyArea) SetDrawClipArea(10, 10, 10, 50);
      EXPECT_EQ(DrawTextWithFont(0, 0, row.text, 0, handle, 0, 0), 0) << row.name << " " << handle;
      EXPECT_EQ(ReadLog().find("フォントハンドル値が異常です", logged), std::string::npos) << row.name << " " << handle;
      SetDrawClipArea(0, 0, 640, 480);
    }
  }
  EXPECT_EQ(DrawSettings.emptyDrawArea, 0);
  EXPECT_EQ(DrawTextWithFont(0, 0, "abc", 0, -1, 0, 0), -1);
}

TEST_F(Fonts, RecreatedFontsKeepHandlesSpacingAndWatchers) {
  HANDLE_VALUE def = GetDefaultFontHandle();
  HANDLE_VALUE a = Make(2, 14);
  HANDLE_VALUE b = Make(19, 18);
  ASSERT_NE(a, -1);
  ASSERT_NE(b, -1);
  SetFontCharSpacing(3, a);
  int watched = -5;
  ASSERT_EQ(SetFontDeletedFlag(b, &watched), 0);
  EXPECT_EQ(watched, 0);
  CacheTextGlyphs(-1, "abc", a, nullptr, nullptr);
  int live = LiveFonts();
  // Far more rounds than the 40-font limit: no round may spend a handle.
  for (int round = 0; round < 60; round++) ASSERT_EQ(RecreateAllFonts(), 0) << "round " << round;
  EXPECT_EQ(LiveFonts(), live);
  EXPECT_EQ(GetDefaultFontHandle(), def);
  EXPECT_EQ(IsFontHandleValid(def), 1);
  EXPECT_EQ(IsFontHandleValid(a), 1);
  EXPECT_EQ(IsFontHandleValid(b), 1);
  EXPECT_EQ(GetFontRecord(a)->spacing, 3);
  EXPECT_EQ(GetFontRecord(a)->fontType, 2);
  EXPECT_EQ(GetFontRecord(b)->fontType, 19);
  EXPECT_EQ(GetFontHandleSize(b), 18);
  EXPECT_EQ(watched, 0);
  GLYPH_CHAR c = {'a', 0, 0};
  EXPECT_EQ(FindGlyphSlot(GetFontRecord(a), &c), nullptr) << "a re-created font starts with an empty cache";
  DeleteHandle(b);
  EXPECT_EQ(watched, 1);
  // The default font still answers a settings check without being made again.
  RefreshDefaultFont();
  EXPECT_EQ(GetDefaultFontHandle(), def);
}

TEST_F(Fonts, AsynchronousCreationOnALoaderThread) {
  ASSERT_EQ(InitAsyncLoad(GetCurrentThreadId()), 0);
  ASSERT_EQ(StartAsyncLoadWorkers(2), 0);
  FONT_CREATE_OPTIONS options = {0, 0, 0};
  HANDLE_VALUE handle = MakeFontHandle(&options, nullptr, 24, 3, 2, -1, -1, 0, -1, 1);
  ASSERT_NE(handle, -1);
  for (int i = 0; i < 500 && !IsFontHandleValid(handle); i++) {
    ServeMainThreadRequests();
    Sleep(10);
  }
  ASSERT_EQ(IsFontHandleValid(handle), 1);
  EXPECT_EQ(GetFontHandleSize(handle), 24);
  EXPECT_EQ(GetFontRecord(handle)->fontType, 2);
  EXPECT_GT(Measure(handle, "abc"), 0);
  // A creation that fails on the worker leaves no handle behind.
  int before = LiveFonts();
  HANDLE_VALUE failing = MakeFontHandle(&options, nullptr, 24, 3, 5, -1, -1, 0, -1, 1);
  ASSERT_NE(failing, -1);
  for (int i = 0; i < 500 && LiveFonts() == before + 1; i++) Sleep(10);
  EXPECT_EQ(LiveFonts(), before);
  StopAsyncLoadWorkers();
  EndAsyncLoad();
}

TEST_F(Fonts, RepeatedTextAsksGdiForNoNewGlyph) {
  HANDLE_VALUE font = Make(0);
  ASSERT_NE(font, -1);
  const char* text = "Click to reload files.";
  int first = Measure(font, text);
  int calls = CountGlyphOutlineCalls();
  EXPECT_EQ(Measure(font, text), first);
  EXPECT_EQ(CacheTextGlyphs(-1, text, font, nullptr, nullptr), 0);
  EXPECT_EQ(CountGlyphOutlineCalls(), calls);
  // One new character costs GDI calls for that character only.
  Measure(font, "Click!");
  int added = CountGlyphOutlineCalls() - calls;
  EXPECT_GE(added, 1);
  EXPECT_LE(added, 2);
}

TEST_F(Fonts, CapacityPlusOneCharactersEvictTheFirst) {
  HANDLE_VALUE handle = Make(2, 16, -1, 20);
  ASSERT_NE(handle, -1);
  FONT_RECORD* font = GetFontRecord(handle);
  ASSERT_EQ(font->capacity, 20);
  std::vector<GLYPH_CHAR> chars;
  for (int i = 0; i <= font->capacity; i++) chars.push_back({(unsigned char)('A' + i), 0, 0});
  for (int i = 0; i < font->capacity; i++) {
    char text[2] = {(char)chars[i].lead, 0};
    ASSERT_EQ(CacheTextGlyphs(-1, text, handle, nullptr, nullptr), 0);
    GLYPH_CACHE_SLOT* slot = FindGlyphSlot(font, &chars[i]);
    ASSERT_NE(slot, nullptr);
    EXPECT_EQ(slot->cellIndex, i);
  }
  GLYPH_CACHE_SLOT* firstSlot = FindGlyphSlot(font, &chars[0]);
  char last[2] = {(char)chars[font->capacity].lead, 0};
  ASSERT_EQ(CacheTextGlyphs(-1, last, handle, nullptr, nullptr), 0);
  EXPECT_EQ(FindGlyphSlot(font, &chars[0]), nullptr) << "the oldest glyph goes first";
  EXPECT_EQ(FindGlyphSlot(font, &chars[font->capacity]), firstSlot);
  EXPECT_EQ(firstSlot->cellIndex, 0);
  EXPECT_NE(FindGlyphSlot(font, &chars[1]), nullptr);
  EXPECT_EQ(font->nextSlot, 1);

  // One string with more new characters than the cache holds: the first capacity of them
  // are cached in the call, the rest come one at a time while measuring.
  ClearGlyphCache(handle, 0);
  std::string many;
  for (int i = 0; i < 30; i++) many += (char)('a' + (i % 26) + (i >= 26 ? -32 : 0));
  int calls = CountGlyphOutlineCalls();
  int width = Measure(handle, many.c_str());
  EXPECT_GT(width, 0);
  EXPECT_GE(CountGlyphOutlineCalls() - calls, 30);
}

TEST_F(Fonts, MeasuringSumsAdvancesAndSpacing) {
  HANDLE_VALUE handle = Make(0);
  ASSERT_NE(handle, -1);
  FONT_RECORD* font = GetFontRecord(handle);
  HDC dc = CreateCompatibleDC(nullptr);
  HGDIOBJ old = SelectObject(dc, font->font);
  const MAT2 identity = {{0, 1}, {0, 0}, {0, 0}, {0, 1}};
  int sum = 0;
  for (char c : std::string("abc")) {
    GLYPHMETRICS gm;
    ASSERT_NE(GetGlyphOutlineA(dc, (UINT)c, GGO_METRICS, &gm, 0, nullptr, &identity), GDI_ERROR);
    sum += gm.gmCellIncX;
  }
  SelectObject(dc, old);
  DeleteDC(dc);
  int size[2] = {0, 0};
  EXPECT_EQ(Measure(handle, "abc", size), sum);
  EXPECT_EQ(size[0], sum);
  EXPECT_EQ(size[1], font->charHeight);
  SetFontCharSpacing(2, handle);
  EXPECT_EQ(Measure(handle, "abc"), sum + 6);
  EXPECT_EQ(Measure(handle, "abc", size, 1), sum + 6);
  EXPECT_EQ(size[0], font->charHeight);
  EXPECT_EQ(size[1], sum + 6);
  EXPECT_EQ(Measure(handle, ""), 0);
  EXPECT_EQ(Measure(handle, nullptr), 0);
  EXPECT_EQ(Measure(-1, "abc"), -1);
  EXPECT_EQ(LayoutAndDrawText(0, 0, 0, 0, 1.0, 1.0, "abc", 0, nullptr, nullptr, 1, handle, 0, 2, 0, nullptr),
            Measure(handle, "ab"));

  // A line feed is one more glyph on the same line, with whatever image and advance GDI
  // gives it.
  SetFontCharSpacing(0, handle);
  int withFeed = Measure(handle, "a\nb");
  GLYPH_CHAR feed = {'\n', 0, 0};
  GLYPH_CACHE_SLOT* slot = FindGlyphSlot(font, &feed);
  ASSERT_NE(slot, nullptr);
  EXPECT_EQ(withFeed, Measure(handle, "ab") + slot->advance);

  // Spaces take a slot with a 0 x 0 image and an advance; so does the double-byte space.
  for (const char* space : {" ", "\x81\x40"}) {
    EXPECT_GT(Measure(handle, space), 0) << "space " << (int)(unsigned char)space[0];
    GLYPH_CHAR c = {(unsigned char)space[0], (unsigned char)space[1], 0};
    slot = FindGlyphSlot(font, &c);
    ASSERT_NE(slot, nullptr);
    EXPECT_EQ(slot->width, 0);
    EXPECT_EQ(slot->height, 0);
  }
  // A lead byte cut off by the byte count stands alone.
  int characters = 0;
  GLYPH_CHAR split[4];
  EXPECT_EQ(SplitTextCharacters("\x82\xa0", 1, 1, split), 1);
  characters = SplitTextCharacters("a\x82\xa0z", 4, 1, split);
  EXPECT_EQ(characters, 3);
  EXPECT_EQ(split[1].lead, 0x82);
  EXPECT_EQ(split[1].trail, 0xa0);
}

TEST_F(Fonts, EmptyBitmapsAreCachedAsEmptyGlyphs) {
  HANDLE_VALUE handle = Make(2);
  ASSERT_NE(handle, -1);
  FONT_RECORD* font = GetFontRecord(handle);
  // Whatever characters this system's font draws as nothing (size 0 from GDI).
  HDC dc = CreateCompatibleDC(nullptr);
  HGDIOBJ old = SelectObject(dc, font->font);
  const MAT2 identity = {{0, 1}, {0, 0}, {0, 0}, {0, 1}};
  std::vector<std::pair<int, int>> empty;  // byte, advance
  for (int c = 1; c < 0x100; c++) {
    if (c == ' ' || IsDoubleByteLead((unsigned char)c, font->charSetIndex)) continue;
    GLYPHMETRICS gm;
    if (GetGlyphOutlineA(dc, (UINT)c, GGO_GRAY4_BITMAP, &gm, 0, nullptr, &identity) == 0) empty.push_back({c, gm.gmCellIncX});
  }
  SelectObject(dc, old);
  DeleteDC(dc);
  if (empty.empty()) GTEST_SKIP() << "no character of this font has an empty bitmap";
  for (auto [c, advance] : empty) {
    char text[2] = {(char)c, 0};
    EXPECT_EQ(Measure(handle, text), advance) << "byte " << c;
    GLYPH_CHAR g = {(unsigned char)c, 0, 0};
    GLYPH_CACHE_SLOT* slot = FindGlyphSlot(font, &g);
    ASSERT_NE(slot, nullptr) << "byte " << c;
    EXPECT_EQ(slot->width, 0) << "byte " << c;
    EXPECT_EQ(slot->height, 0) << "byte " << c;
  }
}

TEST_F(Fonts, MemoryCellsHoldTheGdiBitmap) {
  HANDLE_VALUE handle = Make(0, 16);
  ASSERT_NE(handle, -1);
  FONT_RECORD* font = GetFontRecord(handle);
  ASSERT_EQ(CacheTextGlyphs(-1, "A", handle, nullptr, nullptr), 0);
  GLYPH_CHAR a = {'A', 0, 0};
  GLYPH_CACHE_SLOT* slot = FindGlyphSlot(font, &a);
  ASSERT_NE(slot, nullptr);

  HDC dc = CreateCompatibleDC(nullptr);
  HGDIOBJ old = SelectObject(dc, font->font);
  const MAT2 identity = {{0, 1}, {0, 0}, {0, 0}, {0, 1}};
  GLYPHMETRICS gm;
  DWORD size = GetGlyphOutlineA(dc, 'A', GGO_BITMAP, &gm, 0, nullptr, &identity);
  ASSERT_NE(size, GDI_ERROR);
  std::vector<unsigned char> bits(size);
  GetGlyphOutlineA(dc, 'A', GGO_BITMAP, &gm, size, bits.data(), &identity);
  TEXTMETRICA tm;
  GetTextMetricsA(dc, &tm);
  SelectObject(dc, old);
  DeleteDC(dc);

  EXPECT_EQ(slot->width, (int)gm.gmBlackBoxX);
  EXPECT_EQ(slot->height, (int)gm.gmBlackBoxY);
  EXPECT_EQ(slot->offsetX, gm.gmptGlyphOrigin.x);
  EXPECT_EQ(slot->offsetY, tm.tmAscent - gm.gmptGlyphOrigin.y);
  EXPECT_EQ(slot->advance, gm.gmCellIncX);
  int pitch = ((gm.gmBlackBoxX + 31) / 32) * 4;
  const unsigned char* cell = font->memoryCache + slot->cellIndex * font->cellSize * font->memoryPitch;
  for (int y = 0; y < font->cellSize; y++)
    for (int x = 0; x < font->cellSize; x++) {
      int want = (x < (int)gm.gmBlackBoxX && y < (int)gm.gmBlackBoxY) ? (bits[y * pitch + x / 8] >> (7 - x % 8)) & 1 : 0;
      int have = (cell[y * font->memoryPitch + x / 8] >> (7 - x % 8)) & 1;
      ASSERT_EQ(have, want) << "pixel " << x << "," << y;
    }
}

TEST_F(Fonts, EdgesAndGreyLevelsInMemoryCells) {
  struct Row {
    int type;
  } rows[] = {{1}, {3}, {19}, {35}, {2}, {18}, {34}};
  for (const Row& r : rows) {
    HANDLE_VALUE handle = Make(r.type, 20);
    ASSERT_NE(handle, -1) << "type " << r.type;
    FONT_RECORD* font = GetFontRecord(handle);
    ASSERT_EQ(CacheTextGlyphs(-1, "O", handle, nullptr, nullptr), 0);
    GLYPH_CHAR o = {'O', 0, 0};
    GLYPH_CACHE_SLOT* slot = FindGlyphSlot(font, &o);
    ASSERT_NE(slot, nullptr) << "type " << r.type;
    const unsigned char* cell = font->memoryCache + slot->cellIndex * font->cellSize * font->memoryPitch;
    int glyph = 0, edge = 0, strongest = 0, outside = 0;
    for (int y = 0; y < font->cellSize; y++)
      for (int x = 0; x < font->cellSize; x++) {
        int v = cell[y * font->memoryPitch + x];
        if (x >= slot->width || y >= slot->height) outside |= v;
        if (r.type == 1) {
          EXPECT_LE(v, 2) << "type 1 pixel " << x << "," << y;
          glyph += v == 1;
          edge += v == 2;
        } else {
          glyph += (v & 15) != 0;
          edge += (v >> 4) != 0;
          if ((v & 15) > strongest) strongest = v & 15;
        }
      }
    EXPECT_EQ(outside, 0) << "type " << r.type << ": nothing beyond the glyph's size";
    EXPECT_GT(glyph, 0) << "type " << r.type;
    if (r.type & 1) EXPECT_GT(edge, 0) << "type " << r.type;
    else EXPECT_EQ(edge, 0) << "type " << r.type;
    if (r.type != 1) {
      EXPECT_EQ(strongest, 15) << "type " << r.type << ": full coverage is level 15";
    }
    DeleteHandle(handle);
  }
}

TEST_F(Fonts, AGlyphLargerThanItsCellIsClippedToTheCell) {
  HANDLE_VALUE handle = Make(1, 32, -1, 20);
  ASSERT_NE(handle, -1);
  FONT_RECORD* font = GetFontRecord(handle);
  size_t total = (size_t)font->memoryPitch * font->cacheHeight;
  memset(font->memoryCache, 0xEE, total);
  int small = 6;
  font->cellSize = small;  // far below the glyph's size
  ASSERT_EQ(CacheTextGlyphs(-1, "W", handle, nullptr, nullptr), 0);
  GLYPH_CHAR w = {'W', 0, 0};
  GLYPH_CACHE_SLOT* slot = FindGlyphSlot(font, &w);
  ASSERT_NE(slot, nullptr);
  EXPECT_LE(slot->width, small);
  EXPECT_LE(slot->height, small);
  for (size_t i = (size_t)small * font->memoryPitch; i < total; i++)
    ASSERT_EQ(font->memoryCache[i], 0xEE) << "byte " << i << " outside cell 0 was written";
  for (int y = 0; y < small; y++)
    for (int x = small; x < font->memoryPitch; x++)
      ASSERT_EQ(font->memoryCache[y * font->memoryPitch + x], 0) << "row " << y << " beyond the cell was not cleared only";
}

TEST_F(Fonts, FaceEnumerationStopsAtCapacity) {
  int all = EnumFontFaces(nullptr, 0, "", -1);
  ASSERT_GE(all, 3) << "the display lists fonts";
  char names[3][64];
  memset(names, 'Z', sizeof(names));
  EXPECT_EQ(EnumFontFaces(names, 2, "", -1), 2);
  EXPECT_EQ(names[2][0], 'Z');
  EXPECT_EQ(names[2][63], 'Z');
  EXPECT_NE(strcmp(names[0], names[1]), 0);
  EXPECT_EQ(EnumFontFaces(names, 0, "", -1), 0);
  EXPECT_EQ(names[0][0] == 'Z' || names[0][0] != 0, true);
  EXPECT_EQ(EnumFontFaces(nullptr, 1, "", -1), 1);
}
}  // namespace

namespace {
// The box of the pixels of a 32-bit image that differ from its fill.
struct INK {
  int left = 1 << 30, top = 1 << 30, right = -1, bottom = -1, count = 0;
};
INK FindInk(const MEMIMG& m, uint32_t fill) {
  INK ink;
  for (int y = 0; y < m.height; y++)
    for (int x = 0; x < m.width; x++) {
      uint32_t v;
      memcpy(&v, m.pixels + (size_t)y * m.store->pitch + x * 4, 4);
      if (v == fill) continue;
      ink.count++;
      if (x < ink.left) ink.left = x;
      if (y < ink.top) ink.top = y;
      if (x + 1 > ink.right) ink.right = x + 1;
      if (y + 1 > ink.bottom) ink.bottom = y + 1;
    }
  return ink;
}

class SoftwareText : public Fonts {
 protected:
  void SetUp() override {
    ASSERT_EQ(SetupMemImg(&image, 320, 120, -1, 0, MEMIMG_TYPE_32BIT, 0, 0, 0, nullptr), 0);
    Clear(kFill);
  }
  void TearDown() override {
    ReleaseMemImg(&image);
    Fonts::TearDown();
  }
  void Clear(uint32_t value) {
    RECT all = {0, 0, image.width, image.height};
    FillMemImgRectRaw(&image, &all, value);
  }
  int Draw(HANDLE_VALUE font, int x, int y, const char* text, unsigned color, unsigned edge, int vertical,
           const RECT* clip = nullptr, int transparent = 1) {
    RECT all = {0, 0, image.width, image.height};
    return LayoutAndDrawText(1, x, y, 0, 1.0, 1.0, text, color, &image, clip != nullptr ? clip : &all, transparent, font,
                             edge, -1, vertical, nullptr);
  }
  uint32_t At(int x, int y) const {
    uint32_t v;
    memcpy(&v, image.pixels + (size_t)y * image.store->pitch + x * 4, 4);
    return v;
  }
  static constexpr uint32_t kFill = 0x00102030;
  MEMIMG image;
};

TEST_F(SoftwareText, DrawnTextLiesInsideTheMeasuredBox) {
  const char* texts[] = {"Click to reload files.", "1.234e+05 ", "Wjgq|", "AB\x82\xa0" "CD"};
  for (int type : {0, 1, 2, 3, 18, 35}) {
    HANDLE_VALUE font = Make(type, 16);
    ASSERT_NE(font, -1);
    for (const char* text : texts) {
      for (int vertical : {0, 1}) {
        Clear(kFill);
        int size[2];
        int measured = LayoutAndDrawText(0, 0, 0, 0, 1.0, 1.0, text, 0, nullptr, nullptr, 1, font, 0, -1, vertical, size);
        // The line is moved up (vertical: left) by half the font's top offset.
        int x = 20, y = 10, shift = GetFontRecord(font)->topOffset / 2;
        int drawn = Draw(font, x + (vertical ? shift : 0), y + (vertical ? 0 : shift), text, PackScreenColor(255, 255, 255),
                         PackScreenColor(255, 0, 0), vertical);
        EXPECT_EQ(drawn, measured) << "type " << type << " '" << text << "' vertical " << vertical;
        INK ink = FindInk(image, kFill);
        ASSERT_GT(ink.count, 0) << "type " << type << " '" << text << "'";
        EXPECT_GE(ink.left, x) << "type " << type << " '" << text << "' vertical " << vertical;
        EXPECT_GE(ink.top, y) << "type " << type << " '" << text << "' vertical " << vertical;
        // An edge may reach past the last glyph's advance by its width.
        int edge = (type & FONT_TYPE_EDGE) ? GetFontRecord(font)->edgeSize : 0;
        EXPECT_LE(ink.right, x + size[0] + edge) << "type " << type << " '" << text << "' vertical " << vertical;
        EXPECT_LE(ink.bottom, y + size[1] + edge) << "type " << type << " '" << text << "' vertical " << vertical;
      }
    }
    DeleteHandle(font);
  }
}

TEST_F(SoftwareText, PixelsTakeTheTextAndEdgeColours) {
  unsigned white = PackScreenColor(255, 255, 255), red = PackScreenColor(255, 0, 0);
  HANDLE_VALUE plain = Make(0, 16);
  Draw(plain, 0, 0, "H", white, red, 0);
  INK ink = FindInk(image, kFill);
  ASSERT_GT(ink.count, 0);
  for (int y = ink.top; y < ink.bottom; y++)
    for (int x = ink.left; x < ink.right; x++)
      if (At(x, y) != kFill) { ASSERT_EQ(At(x, y) & 0xFFFFFF, 0xFFFFFFu) << x << "," << y; }

  // Edged: both colours appear, the edge around the glyph.
  Clear(kFill);
  HANDLE_VALUE edged = Make(1, 16);
  Draw(edged, 0, 0, "H", white, red, 0);
  int whites = 0, reds = 0;
  for (int y = 0; y < 40; y++)
    for (int x = 0; x < 40; x++) {
      whites += (At(x, y) & 0xFFFFFF) == 0xFFFFFF;
      reds += (At(x, y) & 0xFFFFFF) == 0xFF0000;
    }
  EXPECT_GT(whites, 0);
  EXPECT_GT(reds, whites / 2);

  // Not transparent: the glyph's uncovered pixels inside its image are cleared to 0.
  Clear(kFill);
  Draw(plain, 0, 0, "H", white, red, 0, nullptr, 0);
  int zeros = 0;
  for (int y = 0; y < 40; y++)
    for (int x = 0; x < 40; x++) zeros += At(x, y) == 0;
  EXPECT_GT(zeros, 0);

  // The draw brightness scales the colour.
  Clear(kFill);
  SelectDrawBrightness(128, 255, 0);
  Draw(plain, 0, 0, "H", white, red, 0);
  SelectDrawBrightness(255, 255, 255);
  ink = FindInk(image, kFill);
  EXPECT_EQ(At(ink.left, ink.top) == kFill ? 0u : 1u, 1u);
  bool seen = false;
  for (int y = ink.top; y < ink.bottom && !seen; y++)
    for (int x = ink.left; x < ink.right && !seen; x++)
      if (At(x, y) != kFill) {
        EXPECT_EQ(At(x, y) & 0xFFFFFF, 0x80FF00u);
        seen = true;
      }
  EXPECT_TRUE(seen);
}

TEST_F(SoftwareText, GreyLevelsBecomeAlphaInTheAlphaImage) {
  MEMIMG alpha;
  ASSERT_EQ(SetupMemImg(&alpha, 64, 40, -1, 0, MEMIMG_TYPE_32BIT, 0, 1, 0, nullptr), 0);
  RECT all = {0, 0, 64, 40};
  FillMemImgRectRaw(&alpha, &all, 0);
  HANDLE_VALUE font = Make(2, 20);
  LayoutAndDrawText(1, 0, 0, 0, 1.0, 1.0, "O", PackScreenColor(0, 0, 255), &alpha, &all, 1, font, 0, -1, 0, nullptr);
  int partial = 0, strongest = 0;
  for (int y = 0; y < 40; y++)
    for (int x = 0; x < 64; x++) {
      uint32_t v;
      memcpy(&v, alpha.pixels + (size_t)y * alpha.store->pitch + x * 4, 4);
      int a = (int)(v >> 24);
      if (v == 0) continue;
      EXPECT_EQ(v & 0xFFFFFF, 0x0000FFu);
      EXPECT_EQ(a % 16, 0) << "alpha 16 x level";
      if (a > strongest) strongest = a;
      partial += a > 0 && a < 240;
    }
  EXPECT_EQ(strongest, 240);
  EXPECT_GT(partial, 0);
  ReleaseMemImg(&alpha);
}

TEST_F(SoftwareText, GlyphsAreClippedToTheClipRectangle) {
  HANDLE_VALUE font = Make(0, 16);
  RECT clip = {30, 12, 50, 20};
  Draw(font, 20, 5, "MMMM", PackScreenColor(255, 255, 255), 0, 0, &clip);
  INK ink = FindInk(image, kFill);
  ASSERT_GT(ink.count, 0);
  EXPECT_GE(ink.left, clip.left);
  EXPECT_GE(ink.top, clip.top);
  EXPECT_LE(ink.right, clip.right);
  EXPECT_LE(ink.bottom, clip.bottom);
  // Far off the image: nothing is written, no fault.
  Clear(kFill);
  Draw(font, -500, -500, "MMMM", PackScreenColor(255, 255, 255), 0, 1);
  Draw(font, 5000, 5000, "MMMM", PackScreenColor(255, 255, 255), 0, 0);
  EXPECT_EQ(FindInk(image, kFill).count, 0);
}
}  // namespace
