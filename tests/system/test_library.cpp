// Library start-up and shut-down: flags, order, repeated starts and the live-block dump.
#include <gtest/gtest.h>
#include <windows.h>

#include "core/memory.h"
#include "graphics/device/d3d_calls.h"
#include "graphics/draw/draw2d.h"
#include "graphics/lifecycle/device_restore.h"
#include "korvel.h"
#include "system/top/library.h"
#include "test_support.h"

namespace {
// Runs first: nothing has started the library yet.
TEST(Library, EndBeforeStartTouchesNothing) {
  DeleteFileA("Log.txt");
  EXPECT_EQ(EndLibrary(), 0);
  EXPECT_EQ(GetFileAttributesA("Log.txt"), INVALID_FILE_ATTRIBUTES);
}

TEST(Library, SecondStartReturnsZeroAndLogsNothing) {
  ASSERT_EQ(InitLibrary(), 0);
  EXPECT_EQ(LibraryFlags.started, 1);
  EXPECT_EQ(LibraryFlags.starting, 0);
  std::string before = ReadLog();
  EXPECT_NE(before.find("ＣＯＭの初期化... 成功しました\r\n"), std::string::npos) << before;
  EXPECT_EQ(InitLibrary(), 0);
  EXPECT_EQ(ReadLog(), before);
  EXPECT_EQ(EndLibrary(), 0);
  EXPECT_EQ(LibraryFlags.started, 0);
  EXPECT_NE(ReadLog().find("ＣＯＭを終了... 完了\r\n"), std::string::npos);
}

// The modules start in the fixed order and end in the reverse one, the memory dump last.
TEST(Library, ModulesStartAndEndInTheirOrder) {
  ASSERT_EQ(InitLibrary(), 0);
  ASSERT_EQ(EndLibrary(), 0);
  std::string log = ReadLogWithoutStamps();
  const char* const order[] = {"システムの情報を出力します", "ＣＯＭの初期化... 成功しました",
                               "ウインドウクラスを登録します", "DirectInput関係初期化処理",
                               "ＣＯＭを終了... 完了", "Alloc memory dump"};
  size_t at = 0;
  for (const char* marker : order) {
    size_t found = log.find(marker, at);
    ASSERT_NE(found, std::string::npos) << "missing or out of order: " << marker;
    at = found;
  }
}

TEST(Library, StartEndTwiceEndsWithNoLiveBlocks) {
  for (int round = 0; round < 2; round++) {
    ASSERT_EQ(InitLibrary(), 0) << round;
    ASSERT_EQ(EndLibrary(), 0) << round;
  }
  std::string log = ReadLogWithoutStamps();
  size_t dump = log.rfind("Alloc memory dump\r\n");
  ASSERT_NE(dump, std::string::npos) << log;
  EXPECT_NE(log.find("Alloc num:0\r\n", dump), std::string::npos) << log.substr(dump);
}

// The work buffer of tinted caller-vertex draws goes with the graphics.
TEST(Library, VertexDrawWorkBufferIsFreedAtTheEnd) {
  ChangeWindowMode(1);
  SetRunWhileInactive(1);
  ASSERT_EQ(InitLibrary(), 0);
  ASSERT_TRUE(HasDirect3DDevice());
  SelectDrawBrightness(128, 128, 128);
  VERTEX_2D_TEX v[3] = {};
  for (int i = 0; i < 3; i++) v[i] = {(float)(10 + 20 * (i & 1)), (float)(10 + 20 * (i >> 1)), 0.2f, 1.0f, 0xFFFFFFFF, 0, 0};
  EXPECT_EQ(DrawGraphVertices2D(v, 3, D3DPT_TRIANGLELIST, -5, 0), 0);
  ASSERT_EQ(EndLibrary(), 0);
  std::string log = ReadLogWithoutStamps();
  size_t dump = log.rfind("Alloc memory dump\r\n");
  ASSERT_NE(dump, std::string::npos) << log;
  EXPECT_NE(log.find("Alloc num:0\r\n", dump), std::string::npos) << log.substr(dump);
}

TEST(Library, EndRestoresTheStartupFolder) {
  char start[MAX_PATH], now[MAX_PATH];
  GetCurrentDirectoryA(MAX_PATH, start);
  ASSERT_EQ(InitLibrary(), 0);
  CreateDirectoryA("elsewhere", nullptr);
  SetCurrentDirectoryA("elsewhere");
  EndLibrary();
  GetCurrentDirectoryA(MAX_PATH, now);
  EXPECT_STREQ(now, start);
}

TEST(Library, QuitRequestIsClearedByStart) {
  SetQuitRequest();
  EXPECT_EQ(IsQuitRequested(), 1);
  ASSERT_EQ(InitLibrary(), 0);
  EXPECT_EQ(IsQuitRequested(), 0);
  EndLibrary();
}

int restoreCalls = 0;
int CountRestore() {
  restoreCalls++;
  return 0;
}

// A program's graphics restore handler lasts until the library ends: every start puts the
// built-in graph restore back.
TEST(Library, StartPutsTheBuiltInGraphRestoreBack) {
  restoreCalls = 0;
  SetGraphicsRestoreHandler(CountRestore);
  ASSERT_EQ(InitLibrary(), 0);
  RestoreGraphicsContent();
  EXPECT_EQ(restoreCalls, 0) << "set before the start";
  SetGraphicsRestoreHandler(CountRestore);
  RestoreGraphicsContent();
  EXPECT_EQ(restoreCalls, 1);
  ASSERT_EQ(EndLibrary(), 0);
  ASSERT_EQ(InitLibrary(), 0);
  RestoreGraphicsContent();
  EXPECT_EQ(restoreCalls, 1) << "left from the library's earlier run";
  EndLibrary();
}

TEST(Library, FatalErrorLogsRunsTheShutDownAndExitsWithMinusOne) {
  EXPECT_EXIT(
      {
        InitLibrary();
        ExitWithFatalErrorFormat("fatal %d", 7);
      },
      ::testing::ExitedWithCode(-1), "");
  std::string log = ReadLogWithoutStamps();
  size_t at = log.find("fatal 7\r\n");
  ASSERT_NE(at, std::string::npos) << log;
  EXPECT_NE(log.find("ＣＯＭを終了... 完了\r\n", at), std::string::npos);
  EXPECT_NE(log.find("Alloc memory dump", at), std::string::npos);
}
}  // namespace
