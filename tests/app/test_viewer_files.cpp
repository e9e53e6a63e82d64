// The grid viewer's input and window geometry: "grid.txt", the data files and their
// orientation, the layout and the title.
#include "viewer_fixture.h"

namespace {

// --- "grid.txt" ---

TEST_F(Viewer, GridFileLastBlockWinsAndNumbersAreTruncated) {
  WriteGridFile(
      "file1 a.bin\nfile2 b.bin\nfile3 c.bin\nW 10\nR 20\noffset 8\nmode 1\n"
      "file1 d.bin  trailing words\nfile2 e.bin\nfile3 f.bin\nW 100.9\nR 50.2\noffset 16.7\nmode 2.9\n");
  ASSERT_EQ(ReadGridSettings("grid.txt"), 0);
  EXPECT_STREQ(VIEWER.grid.dataPath[0], "d.bin");
  EXPECT_STREQ(VIEWER.grid.dataPath[1], "e.bin");
  EXPECT_STREQ(VIEWER.grid.dataPath[2], "f.bin");
  EXPECT_EQ(VIEWER.grid.width, 100);
  EXPECT_EQ(VIEWER.grid.rows, 50);
  EXPECT_EQ(VIEWER.grid.byteOffset, 16);
  EXPECT_EQ(VIEWER.grid.orientation, 2);
  EXPECT_EQ(HasIssueLines(), 0);
}

TEST_F(Viewer, GridFileCutShortKeepsWhatItDidNotReach) {
  struct Row {
    const char* name;
    const char* text;
    const char* path1;
    const char* path3;
    int w, r, offset, mode;
  } rows[] = {
      {"paths only", "k a.bin\nk b.bin\nk c.bin\n", "a.bin", "c.bin", 64, 32, 0, 0},
      {"empty file", "", "", "", 64, 32, 0, 0},
      {"up to R", "k a\nk b\nk c\nW 7\nR 9\n", "a", "c", 7, 9, 0, 0},
      {"second block cut after its first path",
       "k a\nk b\nk c\nW 7\nR 9\nO 8\nM 3\nk x\n", "x", "c", 7, 9, 8, 3},
      {"no line end at the end", "k a\nk b\nk c\nW 7\nR 9\nO 8\nM 1", "a", "c", 7, 9, 8, 1},
  };
  for (const Row& row : rows) {
    SetViewerDefaults();
    WriteGridFile(row.text);
    ASSERT_EQ(ReadGridSettings("grid.txt"), 0) << row.name;
    EXPECT_STREQ(VIEWER.grid.dataPath[0], row.path1) << row.name;
    EXPECT_STREQ(VIEWER.grid.dataPath[2], row.path3) << row.name;
    EXPECT_EQ(VIEWER.grid.width, row.w) << row.name;
    EXPECT_EQ(VIEWER.grid.rows, row.r) << row.name;
    EXPECT_EQ(VIEWER.grid.byteOffset, row.offset) << row.name;
    EXPECT_EQ(VIEWER.grid.orientation, row.mode) << row.name;
  }
}

TEST_F(Viewer, GridFileAtMost99BlocksAreRead) {
  std::string text;
  for (int b = 1; b <= 120; ++b)
    text += "k p" + std::to_string(b) + "\nk q\nk r\nW " + std::to_string(b) + "\nR 4\nO 0\nM 0\n";
  WriteGridFile(text);
  ASSERT_EQ(ReadGridSettings("grid.txt"), 0);
  EXPECT_STREQ(VIEWER.grid.dataPath[0], "p99");
  EXPECT_EQ(VIEWER.grid.width, 99);
}

TEST_F(Viewer, GridFileUnusableSizesAreRefusedWithAnIssueLine) {
  struct Row {
    const char* w;
    const char* r;
    const char* issue;
  } rows[] = {
      {"0", "10", GRID_SIZE_REFUSED_TEXT},      {"10", "0.5", GRID_SIZE_REFUSED_TEXT},
      {"-3", "10", GRID_SIZE_REFUSED_TEXT},     {"nan", "10", GRID_SIZE_REFUSED_TEXT},
      {"10", "inf", GRID_SIZE_REFUSED_TEXT},    {"1e12", "2", GRID_SIZE_REFUSED_TEXT},
      {"100000", "100000", GRID_TOO_LARGE_TEXT}, {"4096", "1025", GRID_TOO_LARGE_TEXT},
  };
  for (const Row& row : rows) {
    SetViewerDefaults();
    WriteGridFile(std::string("k a\nk b\nk c\nW ") + row.w + "\nR " + row.r + "\nO 0\nM 0\n");
    ASSERT_EQ(ReadGridSettings("grid.txt"), 0);
    EXPECT_EQ(VIEWER.grid.width, 64) << row.w << " x " << row.r;
    EXPECT_EQ(VIEWER.grid.rows, 32) << row.w << " x " << row.r;
    EXPECT_STREQ(VIEWER.issueLine[1], row.issue) << row.w << " x " << row.r;
    EXPECT_EQ(HasIssueLines(), 1);
  }
  // The largest grid that is taken.
  SetViewerDefaults();
  WriteGridFile("k a\nk b\nk c\nW 4096\nR 1024\nO 0\nM 0\n");
  ASSERT_EQ(ReadGridSettings("grid.txt"), 0);
  EXPECT_EQ(VIEWER.grid.width, 4096);
  EXPECT_EQ(HasIssueLines(), 0);
}

TEST_F(Viewer, GridFileLongWordsAreCutToTheirBuffers) {
  // Words that just fit: a 103-character key and a 299-character path.
  const std::string key(103, 'K'), path(299, 'p');
  WriteGridFile(key + " " + path + "\nk b\nk c\nW 5\nR 6\nO 0\nM 0\n");
  ASSERT_EQ(ReadGridSettings("grid.txt"), 0);
  EXPECT_EQ(std::string(VIEWER.grid.dataPath[0]), path);
  EXPECT_EQ(VIEWER.grid.width, 5);
  EXPECT_EQ(VIEWER.grid.rows, 6);

  // Longer words are cut; whatever the rest of the file then gives, no buffer overflows.
  const std::string longKey(150, 'K'), longPath(700, 'q');
  WriteGridFile(longKey + " " + longPath + "\n" + longKey + " " + longPath + "\nk c\nW 5\n");
  SetViewerDefaults();
  ASSERT_EQ(ReadGridSettings("grid.txt"), 0);
  for (const char* p : VIEWER.grid.dataPath) EXPECT_LE(strlen(p), 299u);
}

TEST_F(Viewer, MissingGridFileSetsIssueLineOneAndKeepsDefaults) {
  EXPECT_EQ(ReadGridSettings("no-such-grid.txt"), -1);
  EXPECT_STREQ(VIEWER.issueLine[0], "Cannot find grid file in the root directory (loadcont)\n");
  EXPECT_EQ(VIEWER.grid.width, 64);
  EXPECT_EQ(VIEWER.grid.rows, 32);
  EXPECT_STREQ(VIEWER.grid.dataPath[0], "");
}

// --- data files ---

TEST_F(Viewer, ArraysStartAtZero) {
  MakeGrid(7, 5);
  for (double* a : {VIEWER.data1, VIEWER.data2, VIEWER.data3, VIEWER.u, VIEWER.v, VIEWER.scratch})
    for (int i = 0; i < 35; ++i) ASSERT_EQ(a[i], 0.0);
}

TEST_F(Viewer, OrientationModesOnAThreeByTwoGrid) {
  struct Row {
    int mode, w, r;
    std::vector<double> shown;
  } rows[] = {
      {0, 3, 2, {1, 2, 3, 4, 5, 6}},
      {1, 3, 2, {3, 2, 1, 6, 5, 4}},
      {2, 3, 2, {4, 5, 6, 1, 2, 3}},
      {3, 2, 3, {3, 6, 2, 5, 1, 4}},
      {7, 3, 2, {1, 2, 3, 4, 5, 6}},
  };
  ASSERT_TRUE(WriteWholeFile("data.bin", Bytes({1, 2, 3, 4, 5, 6})));
  for (const Row& row : rows) {
    SetViewerDefaults();
    MakeGrid(row.w, row.r);
    for (char* p : VIEWER.grid.dataPath) strcpy(p, "data.bin");
    VIEWER.grid.orientation = row.mode;
    LoadGridData();
    for (double* a : {VIEWER.data1, VIEWER.data2, VIEWER.data3})
      for (int i = 0; i < 6; ++i) EXPECT_EQ(a[i], row.shown[i]) << "mode " << row.mode << " cell " << i;
    EXPECT_EQ(VIEWER.vectorsAvailable, 1);
  }
}

TEST_F(Viewer, ByteOffsetShortFilesAndMissingFiles) {
  ASSERT_TRUE(WriteWholeFile("long.bin", Bytes({9, 9, 1, 2, 3, 4})));
  ASSERT_TRUE(WriteWholeFile("short.bin", Bytes({7})));
  MakeGrid(2, 2);
  strcpy(VIEWER.grid.dataPath[0], "long.bin");
  strcpy(VIEWER.grid.dataPath[1], "short.bin");
  strcpy(VIEWER.grid.dataPath[2], "missing.bin");
  VIEWER.grid.byteOffset = 16;
  LoadGridData();
  EXPECT_EQ(VIEWER.data1[0], 1);
  EXPECT_EQ(VIEWER.data1[3], 4);
  EXPECT_EQ(VIEWER.vectorsAvailable, 0);
  // The second file is shorter than the offset: nothing is read, the array keeps its values.
  EXPECT_EQ(VIEWER.data2[0], 0);

  // A negative offset skips every file; arrays keep what they held.
  VIEWER.grid.byteOffset = -8;
  strcpy(VIEWER.grid.dataPath[2], "long.bin");
  LoadGridData();
  EXPECT_EQ(VIEWER.data1[0], 1);
  EXPECT_EQ(VIEWER.vectorsAvailable, 0);

  // No offset: the short file fills the start of its array.
  VIEWER.grid.byteOffset = 0;
  LoadGridData();
  EXPECT_EQ(VIEWER.data1[0], 9);
  EXPECT_EQ(VIEWER.data2[0], 7);
  EXPECT_EQ(VIEWER.data2[1], 0);
  EXPECT_EQ(VIEWER.vectorsAvailable, 1);
}

// --- geometry and title ---

TEST_F(Viewer, LayoutFollowsTheGrid) {
  struct Row {
    int w, r, offset, width, height, winX, winY;
  } rows[] = {
      {100, 50, 156, 516, 132, 100, 178},  // (288 - 132) / 2 = 78 lower
      {300, 10, 0, 604, 52, 56, 218},      // (516 - 604) / 2 = -44
      {64, 32, 192, 516, 96, 100, 196},
      {1, 1, 255, 516, 34, 100, 227},
      {255, 200, 1, 516, 432, 100, 28},
      {256, 300, 0, 516, 632, 100, 5},  // y at least 5
  };
  for (const Row& row : rows) {
    SetViewerDefaults();
    VIEWER.grid.width = row.w;
    VIEWER.grid.rows = row.r;
    ComputeViewerLayout();
    EXPECT_EQ(VIEWER.cellSize, 2);
    EXPECT_EQ(VIEWER.mapOffsetX, row.offset) << row.w << " x " << row.r;
    EXPECT_EQ(VIEWER.screenWidth, row.width) << row.w << " x " << row.r;
    EXPECT_EQ(VIEWER.screenHeight, row.height) << row.w << " x " << row.r;
    int x, y;
    ComputeWindowPosition(100, 100, &x, &y);
    EXPECT_EQ(x, row.winX) << row.w << " x " << row.r;
    EXPECT_EQ(y, row.winY) << row.w << " x " << row.r;
  }
}

TEST_F(Viewer, WindowTitleNamesThePathAndFitsItsBuffer) {
  strcpy(VIEWER.grid.dataPath[0], "a.bin");
  ComposeWindowTitle();
  EXPECT_STREQ(VIEWER.windowTitle, "Quillmere 1.0 - file: a.bin");

  memset(VIEWER.grid.dataPath[0], 'x', 200);
  VIEWER.grid.dataPath[0][200] = '\0';
  ComposeWindowTitle();
  EXPECT_EQ(strlen(VIEWER.windowTitle), 79u);
  EXPECT_EQ(std::string(VIEWER.windowTitle), "Quillmere 1.0 - file: " + std::string(57, 'x'));

  // A double-byte character that would be cut in half is left out whole.
  std::string path = std::string(56, 'x') + "\x82\xA0";
  strcpy(VIEWER.grid.dataPath[0], path.c_str());
  ComposeWindowTitle();
  EXPECT_EQ(std::string(VIEWER.windowTitle), "Quillmere 1.0 - file: " + std::string(56, 'x'));
}

}  // namespace
