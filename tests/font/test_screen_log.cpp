// The on-screen log: when it may start, its font's life (lost, re-created, ended), the lines a
// screen height shows, and its draw reaching the font layer (seen in the font's glyph cache).
#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

#include "core/handles.h"
#include "font/screen_log.h"
#include "font/font_handles.h"
#include "graphics/device/d3d_calls.h"
#include "graphics/device/draw_settings.h"
#include "graphics/device/screen.h"
#include "korvel.h"
#include "system/base/window_state.h"
#include "test_support.h"

namespace {
// Runs first: nothing of the display is up yet.
TEST(ScreenLogWithoutWindow, StartFailsAndDrawDoesNothing) {
  StartTestLog();
  ASSERT_EQ(WindowState.mainWindow, nullptr);
  EXPECT_EQ(CanStartScreenLog(), 0);
  EXPECT_EQ(StartScreenLog(), -1);
  EXPECT_EQ(DrawScreenLog(), 0);
  EXPECT_EQ(CreateScreenLogFont(), 0);
  EXPECT_EQ(ScreenLogState.started, 0);
  EXPECT_EQ(ScreenLogState.font, -1);
  EXPECT_EQ(EndScreenLog(), 0);
}

class ScreenLog : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    DeleteFileA("Log.txt");
    AllowMultipleInstances(1);
    SetRunWhileInactive(1);
    ChangeWindowMode(1);
    ASSERT_EQ(InitLibrary(), 0);
    ASSERT_NE(WindowState.mainWindow, nullptr);
    // The start-up starts the log once the display is up; each test begins with it stopped.
    EXPECT_EQ(ScreenLogState.started, 1);
    EndScreenLog();
  }
  static void TearDownTestSuite() {
    ASSERT_EQ(StartScreenLog(), 0);
    HANDLE_VALUE font = ScreenLogState.font;
    EndLibrary();
    // The shut-down ended the log and deleted its font.
    EXPECT_EQ(ScreenLogState.started, 0);
    EXPECT_EQ(IsFontHandleValid(font), 0);
  }
  void SetUp() override { ScreenState.mainHeight = 480; }
  void TearDown() override {
    EndScreenLog();
    HANDLE_TYPE_MANAGER* m = &HandleManagers[HANDLE_TYPE_FONT];
    for (int slot = 0; slot < FONT_MAX_COUNT; slot++) {
      HANDLE_HEAD* record = m->slots[slot];
      if (record != nullptr && record->handle != GetDefaultFontHandle()) DeleteHandle(record->handle);
    }
  }
  static int LiveFonts() { return HandleManagers[HANDLE_TYPE_FONT].count; }
  static int IsCached(HANDLE_VALUE font, char c) {
    FONT_RECORD* record = GetFontRecord(font);
    return record != nullptr && record->codes[(unsigned char)c].cached ? 1 : 0;
  }
  static HANDLE_VALUE MakePlainFont() {
    FONT_CREATE_OPTIONS options = {0, 0, 0};
    return MakeFontHandle(&options, nullptr, 12, -1, 0, -1, -1, 0, -1, 0);
  }
};

TEST_F(ScreenLog, StartMakesItsFontAndClearsTheText) {
  memset(ScreenLogState.text, 'x', sizeof(ScreenLogState.text));
  ScreenLogState.shown = 1;
  int before = LiveFonts();
  ASSERT_EQ(StartScreenLog(), 0);
  EXPECT_EQ(ScreenLogState.started, 1);
  EXPECT_EQ(ScreenLogState.fontDeleted, 0);
  EXPECT_EQ(IsScreenLogShown(), 0);
  EXPECT_EQ(LiveFonts(), before + 1);
  FONT_RECORD* font = GetFontRecord(ScreenLogState.font);
  ASSERT_NE(font, nullptr);
  EXPECT_EQ(font->size, 16);
  EXPECT_EQ(font->thickness, 4);
  EXPECT_EQ(font->fontType & FONT_TYPE_EDGE, FONT_TYPE_EDGE);
  for (int i = 0; i < SCREEN_LOG_LINES; i++)
    for (int j = 0; j < SCREEN_LOG_LINE_BYTES; j++) ASSERT_EQ(ScreenLogState.text[i][j], 0) << "line " << i;

  // A second start changes nothing.
  HANDLE_VALUE first = ScreenLogState.font;
  EXPECT_EQ(StartScreenLog(), 0);
  EXPECT_EQ(ScreenLogState.font, first);
  EXPECT_EQ(LiveFonts(), before + 1);

  EXPECT_EQ(EndScreenLog(), 0);
  EXPECT_EQ(ScreenLogState.started, 0);
  EXPECT_EQ(ScreenLogState.font, -1);
  EXPECT_EQ(ScreenLogState.fontDeleted, 1);
  EXPECT_EQ(IsFontHandleValid(first), 0);
  EXPECT_EQ(LiveFonts(), before);
  EXPECT_EQ(EndScreenLog(), 0);
}

TEST_F(ScreenLog, FirstDrawStartsTheLog) {
  ASSERT_EQ(ScreenLogState.started, 0);
  EXPECT_EQ(DrawScreenLog(), 0);
  EXPECT_EQ(ScreenLogState.started, 1);
  EXPECT_EQ(IsFontHandleValid(ScreenLogState.font), 1);
}

TEST_F(ScreenLog, LinesPerScreenHeight) {
  struct Row {
    int height, lines;
  } rows[] = {{0, 0}, {15, 0}, {16, 1}, {240, 15}, {479, 29}, {480, 30}, {1279, 79}, {1280, 80}, {4096, 80}, {-16, 0}};
  for (const Row& row : rows) EXPECT_EQ(CountScreenLogLines(row.height), row.lines) << "height " << row.height;
}

// Each line's text goes to the font layer with the log's font: the characters of the lines
// drawn enter its glyph cache, those of the lines below the screen do not.
TEST_F(ScreenLog, DrawHandsTheScreenLinesToTheFont) {
  struct Row {
    int height;
    int lastLine;  // the last line drawn
  } rows[] = {{240, 14}, {480, 29}, {1280, 79}, {2000, 79}};
  for (const Row& row : rows) {
    ASSERT_EQ(StartScreenLog(), 0);
    ScreenState.mainHeight = row.height;
    strcpy(ScreenLogState.text[0], "F");
    strcpy(ScreenLogState.text[row.lastLine], "A");
    if (row.lastLine + 1 < SCREEN_LOG_LINES) strcpy(ScreenLogState.text[row.lastLine + 1], "B");
    ASSERT_EQ(DrawScreenLog(), 0);
    EXPECT_EQ(IsCached(ScreenLogState.font, 'F'), 1) << "height " << row.height;
    EXPECT_EQ(IsCached(ScreenLogState.font, 'A'), 1) << "height " << row.height;
    EXPECT_EQ(IsCached(ScreenLogState.font, 'B'), 0) << "height " << row.height;
    EndScreenLog();
  }
}

TEST_F(ScreenLog, LostFontIsMadeAgainByTheNextDraw) {
  struct Row {
    const char* name;
    void (*lose)(HANDLE_VALUE font);
  } rows[] = {
      {"its handle deleted", [](HANDLE_VALUE font) { DeleteHandle(font); }},
      {"all fonts deleted", [](HANDLE_VALUE) { ResetFontHandles(0); }},
  };
  for (const Row& row : rows) {
    ASSERT_EQ(StartScreenLog(), 0);
    HANDLE_VALUE old = ScreenLogState.font;
    row.lose(old);
    EXPECT_EQ(ScreenLogState.fontDeleted, 1) << row.name;
    EXPECT_EQ(IsFontHandleValid(old), 0) << row.name;
    strcpy(ScreenLogState.text[0], "Q");
    ASSERT_EQ(DrawScreenLog(), 0);
    EXPECT_EQ(ScreenLogState.fontDeleted, 0) << row.name;
    EXPECT_EQ(IsFontHandleValid(ScreenLogState.font), 1) << row.name;
    EXPECT_EQ(IsCached(ScreenLogState.font, 'Q'), 1) << row.name;
    // The new font is watched like the first: losing it is seen again.
    HANDLE_VALUE again = ScreenLogState.font;
    DeleteHandle(again);
    EXPECT_EQ(ScreenLogState.fontDeleted, 1) << row.name;
    EndScreenLog();
  }
}

TEST_F(ScreenLog, FontKeepsItsHandleAcrossRecreation) {
  ASSERT_EQ(StartScreenLog(), 0);
  HANDLE_VALUE font = ScreenLogState.font;
  int before = LiveFonts();
  ASSERT_EQ(RecreateAllFonts(), 0);
  EXPECT_EQ(ScreenLogState.font, font);
  EXPECT_EQ(ScreenLogState.fontDeleted, 0);
  EXPECT_EQ(IsFontHandleValid(font), 1);
  ASSERT_EQ(DrawScreenLog(), 0);
  EXPECT_EQ(ScreenLogState.font, font);
  EXPECT_EQ(LiveFonts(), before);
  // Still watched after its re-creation.
  DeleteHandle(font);
  EXPECT_EQ(ScreenLogState.fontDeleted, 1);
}

// Ending after the font was lost deletes nothing: a font made since keeps living.
TEST_F(ScreenLog, EndAfterLossLeavesOtherFontsAlone) {
  ASSERT_EQ(StartScreenLog(), 0);
  DeleteHandle(ScreenLogState.font);
  HANDLE_VALUE other = MakePlainFont();
  ASSERT_NE(other, -1);
  EXPECT_EQ(EndScreenLog(), 0);
  EXPECT_EQ(IsFontHandleValid(other), 1);
}

// No room for another font: the log starts without one, its draws neither use nor later delete
// handle -1, and the first draw after room is made creates the font.
TEST_F(ScreenLog, FontThatCannotBeMadeIsTriedAgain) {
  std::vector<HANDLE_VALUE> filler;
  for (HANDLE_VALUE f; LiveFonts() < FONT_MAX_COUNT && (f = MakePlainFont()) != -1;) filler.push_back(f);
  ASSERT_EQ(LiveFonts(), FONT_MAX_COUNT);
  std::string logBefore = ReadLogWithoutStamps();
  ASSERT_EQ(StartScreenLog(), 0);
  EXPECT_EQ(ScreenLogState.started, 1);
  EXPECT_EQ(ScreenLogState.font, -1);
  EXPECT_EQ(ScreenLogState.fontDeleted, 1);
  strcpy(ScreenLogState.text[0], "Z");
  EXPECT_EQ(DrawScreenLog(), 0);
  EXPECT_EQ(ScreenLogState.font, -1);
  std::string added = ReadLogWithoutStamps().substr(logBefore.size());
  EXPECT_EQ(added.find("フォントハンドル値が異常です"), std::string::npos) << added;

  DeleteHandle(filler.back());
  ASSERT_EQ(DrawScreenLog(), 0);
  EXPECT_EQ(IsFontHandleValid(ScreenLogState.font), 1);
  EXPECT_EQ(IsCached(ScreenLogState.font, 'Z'), 1);
}
}  // namespace
