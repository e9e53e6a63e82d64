// The grid viewer's pure parts: settings file, data files, geometry, title, and the draw
// lists of colour map, legend, arrows and issue screen.
#include <gtest/gtest.h>
#include <windows.h>

#include <math.h>
#include <string.h>

#include <string>
#include <vector>

#include "test_support.h"
#include "viewer_draw.h"
#include "viewer_files.h"
#include "viewer_state.h"

namespace {

const double NaN = nan("");

class Viewer : public ::testing::Test {
 protected:
  void SetUp() override { SetViewerDefaults(); }
  void TearDown() override {
    FreeDrawList(&list);
    FreeGridArrays();
  }
  // A w x r grid laid out and allocated as WinMain does it.
  void MakeGrid(int w, int r) {
    VIEWER.grid.width = w;
    VIEWER.grid.rows = r;
    ComputeViewerLayout();
    ASSERT_EQ(AllocateGridArrays(), 0);
  }
  std::vector<DRAW_ITEM> ItemsOfKind(int kind) const {
    std::vector<DRAW_ITEM> out;
    for (int i = 0; i < list.count; ++i)
      if (list.items[i].kind == kind) out.push_back(list.items[i]);
    return out;
  }
  std::string TextOf(const DRAW_ITEM& item) const { return list.texts[item.text]; }
  DRAW_LIST list = {};
};

std::string Bytes(const std::vector<double>& values) {
  return std::string((const char*)values.data(), values.size() * sizeof(double));
}

void WriteGridFile(const std::string& text) { ASSERT_TRUE(WriteWholeFile("grid.txt", text)); }

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

// --- colour map ---

TEST_F(Viewer, RampColours) {
  struct Row {
    int m;
    unsigned rgb;
  } rows[] = {{-1, 0x0000FF},  {0, 0x0000FF},   {100, 0x0064FF}, {255, 0x00FFFF}, {256, 0x01FFFE},
              {300, 0x2DFFD2}, {382, 0x7FFF80}, {510, 0xFFFF00}, {511, 0xFFFE00}, {765, 0xFF0000},
              {766, 0xFF0000}};
  for (const Row& row : rows) EXPECT_EQ(RampColor(row.m), row.rgb) << "m = " << row.m;
}

// The colour of the cell at (column, row) in a built colour map.
unsigned CellColor(const DRAW_LIST& list, int column, int row) {
  return list.items[row * VIEWER.grid.width + column].color;
}

TEST_F(Viewer, ColorMapOfAFieldWhoseInteriorRunsFrom0To100) {
  MakeGrid(100, 50);
  // Interior 0..100; the probe values sit on the border, outside the interior.
  for (int i = 0; i < 100 * 50; ++i) VIEWER.data1[i] = 50;
  VIEWER.data1[1 * 100 + 1] = 0;
  VIEWER.data1[2 * 100 + 2] = 100;
  struct Row {
    double value;
    unsigned rgb;
  } rows[] = {{50, 0x7FFF80}, {5, 0x0000FF},   {4, 0x0000FF},   {-1e300, 0x0000FF},
              {95, 0xFF0000}, {1e300, 0xFF0000}, {NaN, 0x0000FF}, {-INFINITY, 0x0000FF},
              {INFINITY, 0xFF0000}};
  const int n = sizeof rows / sizeof rows[0];
  for (int k = 0; k < n; ++k) VIEWER.data1[k] = rows[k].value;  // row 0, columns 0..n-1
  BuildColorMap(&list);
  ASSERT_EQ(list.count, 100 * 50);
  EXPECT_EQ(VIEWER.interiorMin, 0);
  EXPECT_EQ(VIEWER.interiorMax, 100);
  for (int k = 0; k < n; ++k) EXPECT_EQ(CellColor(list, k, 0), rows[k].rgb) << "value " << rows[k].value;
  // Cells are 2 x 2 from (158, 2).
  const DRAW_ITEM& first = list.items[0];
  EXPECT_EQ(first.kind, DRAW_BOX);
  EXPECT_EQ(first.x1, 158);
  EXPECT_EQ(first.y1, 2);
  EXPECT_EQ(first.x2, 160);
  EXPECT_EQ(first.y2, 4);
  const DRAW_ITEM& last = list.items[100 * 50 - 1];
  EXPECT_EQ(last.x1, 158 + 198);
  EXPECT_EQ(last.y2, 102);
}

TEST_F(Viewer, ColorMapUsesTheTrueInteriorRange) {
  // A field wholly above 1e8: interior 2e8..3e8, NaN in the interior is passed over.
  MakeGrid(5, 4);
  for (int i = 0; i < 20; ++i) VIEWER.data1[i] = 2.5e8;
  VIEWER.data1[1 * 5 + 1] = 2e8;
  VIEWER.data1[2 * 5 + 3] = 3e8;
  VIEWER.data1[1 * 5 + 2] = NaN;
  BuildColorMap(&list);
  EXPECT_EQ(VIEWER.interiorMin, 2e8);
  EXPECT_EQ(VIEWER.interiorMax, 3e8);
  EXPECT_EQ(CellColor(list, 0, 0), 0x7FFF80u);  // the middle value
  EXPECT_EQ(CellColor(list, 1, 1), 0x0000FFu);
  EXPECT_EQ(CellColor(list, 3, 2), 0xFF0000u);

  // No interior (2 x 2): the extremes stay 1e8 and -1e8.
  SetViewerDefaults();
  ClearDrawList(&list);
  MakeGrid(2, 2);
  VIEWER.data1[0] = 1e9;
  VIEWER.data1[1] = -1e9;
  BuildColorMap(&list);
  EXPECT_EQ(VIEWER.interiorMin, 1e8);
  EXPECT_EQ(VIEWER.interiorMax, -1e8);
  // lo = 9e7 and hi = -9e7: a large value scales below 0 (blue), a small one above (red).
  EXPECT_EQ(CellColor(list, 0, 0), 0x0000FFu);
  EXPECT_EQ(CellColor(list, 1, 0), 0xFF0000u);

  // A flat field: 0 / 0 at every cell, all blue.
  SetViewerDefaults();
  ClearDrawList(&list);
  MakeGrid(4, 4);
  BuildColorMap(&list);
  for (int i = 0; i < 16; ++i) EXPECT_EQ(list.items[i].color, 0x0000FFu) << i;
}

// --- legend ---

TEST_F(Viewer, LegendValuesPrintWithATwoDigitExponent) {
  struct Row {
    double value;
    const char* text;
  } rows[] = {{1e8, "1.000e+08 "},    {-1e8, "-1.000e+08 "}, {0, "0.000e+00 "},
              {123.456, "1.235e+02 "}, {1.5e-300, "1.500e-300 "}, {-2.5e-7, "-2.500e-07 "}};
  char text[64];
  for (const Row& row : rows) {
    FormatLegendValue(row.value, text, sizeof text);
    EXPECT_STREQ(text, row.text);
  }
}

TEST_F(Viewer, LegendPlacesBarLabelsTitleAndHint) {
  struct Row {
    int w, r, left;
  } rows[] = {{100, 50, 2}, {300, 10, 46}};
  for (const Row& row : rows) {
    SetViewerDefaults();
    ClearDrawList(&list);
    MakeGrid(row.w, row.r);
    VIEWER.interiorMin = 0;
    VIEWER.interiorMax = 100;
    VIEWER.backgroundColor = 0x12345678;
    BuildLegend(&list);
    const int bottom = 2 + 2 * row.r, y = VIEWER.screenHeight - 14;
    ASSERT_GE(list.count, 2);
    EXPECT_EQ(list.items[0].kind, DRAW_FONT);
    EXPECT_EQ(list.items[0].x1, 12);
    EXPECT_EQ(list.items[0].y1, 4);
    const DRAW_ITEM& clear = list.items[1];
    EXPECT_EQ(clear.kind, DRAW_BOX);
    EXPECT_EQ(clear.colorIsPacked, 1);
    EXPECT_EQ(clear.color, 0x12345678u);
    EXPECT_EQ(clear.y1, bottom + 1);
    EXPECT_EQ(clear.x2, VIEWER.screenWidth);
    EXPECT_EQ(clear.y2, VIEWER.screenHeight);

    std::vector<DRAW_ITEM> bar = ItemsOfKind(DRAW_LINE);
    ASSERT_EQ(bar.size(), 180u);
    EXPECT_EQ(bar[0].x1, row.left + 25);
    EXPECT_EQ(bar[0].y1, bottom + 3);
    EXPECT_EQ(bar[0].y2, bottom + 13);
    EXPECT_EQ(bar[179].x1, row.left + 25 + 179);
    EXPECT_EQ(bar[60].color, 0x2DFFD2u);
    EXPECT_EQ(bar[152].color, 0xFF0500u);
    for (int i = 153; i < 180; ++i) EXPECT_EQ(bar[i].color, 0xFF0000u) << i;

    std::vector<DRAW_ITEM> texts = ItemsOfKind(DRAW_TEXT);
    ASSERT_EQ(texts.size(), 5u);
    struct Text {
      int dx, dy;
      unsigned rgb;
      const char* text;
    } expected[] = {{0, 0, 0xB4B4B4, "0.000e+00 "},
                    {90, 0, 0xB4B4B4, "5.000e+01 "},
                    {180, 0, 0xB4B4B4, "1.000e+02 "},
                    {428, 0, 0xC8C8C8, "Quillmere 1.0"},
                    {280, -7, 0xC8C8C8, "Click to reload files."}};
    for (int k = 0; k < 5; ++k) {
      EXPECT_EQ(texts[k].x1, row.left + expected[k].dx) << expected[k].text;
      EXPECT_EQ(texts[k].y1, y + expected[k].dy) << expected[k].text;
      EXPECT_EQ(texts[k].color, expected[k].rgb) << expected[k].text;
      EXPECT_EQ(TextOf(texts[k]), expected[k].text);
    }
  }
}

TEST_F(Viewer, LegendOfAGridWithoutInterior) {
  MakeGrid(2, 2);
  BuildColorMap(&list);
  BuildLegend(&list);
  std::vector<DRAW_ITEM> texts = ItemsOfKind(DRAW_TEXT);
  ASSERT_EQ(texts.size(), 5u);
  EXPECT_EQ(TextOf(texts[0]), "1.000e+08 ");
  EXPECT_EQ(TextOf(texts[1]), "0.000e+00 ");
  EXPECT_EQ(TextOf(texts[2]), "-1.000e+08 ");
}

// --- arrows ---

// A w x r vector field given as the two components read from the files.
void FillVectors(int cells, double u, double v3) {
  for (int i = 0; i < cells; ++i) {
    VIEWER.data2[i] = u;
    VIEWER.data3[i] = v3;
  }
}

TEST_F(Viewer, ArrowsOfAUniformField) {
  MakeGrid(16, 10);
  FillVectors(160, 1, 0);
  BuildVectorArrows(&list);
  // Sample points: columns 3, 9, 15; rows 3, 9; columns outer. Shaft and two head strokes each.
  ASSERT_EQ(list.count, 3 * 2 * 3);
  const int columns[] = {3, 3, 9, 9, 15, 15}, rows[] = {3, 9, 3, 9, 3, 9};
  for (int k = 0; k < 6; ++k) {
    const int x = VIEWER.mapOffsetX + 2 + 2 * columns[k], y = 2 + 2 * rows[k];
    const DRAW_ITEM* a = &list.items[3 * k];
    for (int s = 0; s < 3; ++s) EXPECT_EQ(a[s].color, 0u);
    EXPECT_EQ(a[0].x1, x - 6) << k;
    EXPECT_EQ(a[0].y1, y) << k;
    EXPECT_EQ(a[0].x2, x + 6) << k;
    EXPECT_EQ(a[0].y2, y) << k;
    EXPECT_EQ(a[1].x1, x + 6);
    EXPECT_EQ(a[1].x2, x + 6 - 2);
    EXPECT_EQ(a[1].y2, y + 2);
    EXPECT_EQ(a[2].x2, x + 6 - 2);
    EXPECT_EQ(a[2].y2, y - 2);
  }
}

TEST_F(Viewer, ArrowsPointUpForAPositiveSecondComponent) {
  MakeGrid(4, 4);
  FillVectors(16, 0, 2);  // screen y grows downward: V = -2
  BuildVectorArrows(&list);
  ASSERT_EQ(list.count, 3);
  const int x = VIEWER.mapOffsetX + 2 + 6, y = 2 + 6;
  EXPECT_EQ(list.items[0].y1, y + 6);
  EXPECT_EQ(list.items[0].y2, y - 6);
  EXPECT_EQ(list.items[0].x2, x);
}

TEST_F(Viewer, ArrowsOfAZeroFieldAreHeadlessPoints) {
  MakeGrid(10, 10);
  BuildVectorArrows(&list);
  ASSERT_EQ(list.count, 4);
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(list.items[i].x1, list.items[i].x2);
    EXPECT_EQ(list.items[i].y1, list.items[i].y2);
  }
  // No sample point at all below 4 x 4.
  SetViewerDefaults();
  ClearDrawList(&list);
  MakeGrid(3, 30);
  FillVectors(90, 1, 1);
  BuildVectorArrows(&list);
  EXPECT_EQ(list.count, 0);
}

TEST_F(Viewer, NonFiniteVectorSamplesAreSkipped) {
  MakeGrid(10, 4);
  FillVectors(40, 1, 0);
  VIEWER.data2[3 * 10 + 3] = INFINITY;  // the first sample: not drawn, not the largest
  VIEWER.data3[3 * 10 + 9] = 0;
  BuildVectorArrows(&list);
  ASSERT_EQ(list.count, 3);
  EXPECT_EQ(list.items[0].x2 - list.items[0].x1, 12);

  ClearDrawList(&list);
  FillVectors(40, NaN, 0);
  BuildVectorArrows(&list);
  EXPECT_EQ(list.count, 0);
}

TEST_F(Viewer, ArrowsOnlyWhereAVectorFieldIsGiven) {
  ASSERT_TRUE(WriteWholeFile("u.bin", Bytes(std::vector<double>(64, 1.0))));
  ASSERT_TRUE(WriteWholeFile("s.bin", Bytes(std::vector<double>(64, 0.5))));
  MakeGrid(8, 8);
  strcpy(VIEWER.grid.dataPath[0], "s.bin");
  strcpy(VIEWER.grid.dataPath[1], "u.bin");
  strcpy(VIEWER.grid.dataPath[2], "u.bin");
  // Map, legend (font, clear, 180 bar strokes, 5 texts) and one arrow of three strokes.
  BuildViewerFrame(&list);
  EXPECT_EQ(VIEWER.vectorsAvailable, 1);
  EXPECT_EQ(ItemsOfKind(DRAW_LINE).size(), 180u + 3u);
  EXPECT_EQ(list.count, 64 + 1 + 1 + 180 + 5 + 3);
  // The second component's file is missing: the same frame without the arrow.
  strcpy(VIEWER.grid.dataPath[2], "gone.bin");
  BuildViewerFrame(&list);
  EXPECT_EQ(VIEWER.vectorsAvailable, 0);
  EXPECT_EQ(ItemsOfKind(DRAW_LINE).size(), 180u);
  EXPECT_EQ(list.count, 64 + 1 + 1 + 180 + 5);
}

TEST_F(Viewer, EveryFrameRereadsTheDataFiles) {
  // Interior 0..100 with the probe value at the border cell 0.
  std::vector<double> field(16, 50.0);
  field[5] = 0;
  field[6] = 100;
  MakeGrid(4, 4);
  strcpy(VIEWER.grid.dataPath[0], "field.bin");
  ASSERT_TRUE(WriteWholeFile("field.bin", Bytes(field)));
  BuildViewerFrame(&list);
  EXPECT_EQ(list.items[0].color, 0x7FFF80u);
  field[0] = 100;
  ASSERT_TRUE(WriteWholeFile("field.bin", Bytes(field)));
  BuildViewerFrame(&list);
  EXPECT_EQ(list.items[0].color, 0xFF0000u);
}

// --- issue screen ---

TEST_F(Viewer, IssueScreenAtTheStartSize) {
  VIEWER.backgroundColor = 0xABCDEF;
  VIEWER.issueLine[0] = GRID_FILE_MISSING_TEXT;
  VIEWER.issueLine[1] = "100% %s %n\n";  // drawn as it is, never as a format
  BuildIssueScreen(&list);
  ASSERT_EQ(list.count, 8);
  EXPECT_EQ(list.items[0].kind, DRAW_FONT);
  EXPECT_EQ(list.items[0].x1, 13);
  EXPECT_EQ(list.items[0].y1, 6);
  EXPECT_EQ(list.items[1].kind, DRAW_BOX);
  EXPECT_EQ(list.items[1].x2, 516);
  EXPECT_EQ(list.items[1].y2, 288);
  EXPECT_EQ(list.items[1].color, 0xABCDEFu);
  EXPECT_EQ(list.items[1].colorIsPacked, 1);
  const int lineY[] = {132, 152, 172};
  const char* lineText[] = {GRID_FILE_MISSING_TEXT, "100% %s %n\n", "\n"};
  for (int k = 0; k < 3; ++k) {
    EXPECT_EQ(list.items[2 + k].x1, 20);
    EXPECT_EQ(list.items[2 + k].y1, lineY[k]);
    EXPECT_EQ(list.items[2 + k].color, 0xFF0000u);
    EXPECT_EQ(TextOf(list.items[2 + k]), lineText[k]);
  }
  EXPECT_EQ(list.items[5].x1, 16);
  EXPECT_EQ(list.items[6].y1, 82);
  EXPECT_EQ(TextOf(list.items[6]), "Simulation will not be started for following issue(s).");
  EXPECT_EQ(list.items[7].y1, 102);
  EXPECT_EQ(TextOf(list.items[7]), "[Enter] to return");
  EXPECT_EQ(list.items[7].color, 0xC8C8C8u);
}

// --- the program ---

TEST(ViewerProgram, CarriesItsIconAsResource101) {
  // Tests run in build/testrun/<name>; the program lies in build.
  HMODULE program = LoadLibraryExA("..\\..\\Quillmere.exe", nullptr, LOAD_LIBRARY_AS_DATAFILE);
  ASSERT_NE(program, nullptr);
  EXPECT_NE(FindResourceA(program, MAKEINTRESOURCEA(101), (LPCSTR)RT_GROUP_ICON), nullptr);
  HICON icon = (HICON)LoadImageA(program, MAKEINTRESOURCEA(101), IMAGE_ICON, 32, 32, 0);
  EXPECT_NE(icon, nullptr);
  if (icon) DestroyIcon(icon);
  FreeLibrary(program);
}

// Starts the program in a folder, waits for its window with the given title, closes it and
// returns the program's exit code (or a test failure).
void RunProgramUntilClosed(const char* folder, const char* title, DWORD* exitCode) {
  std::string command = "..\\..\\Quillmere.exe";
  char full[MAX_PATH];
  ASSERT_NE(GetFullPathNameA(command.c_str(), MAX_PATH, full, nullptr), 0u);
  STARTUPINFOA start = {};
  start.cb = sizeof start;
  PROCESS_INFORMATION process = {};
  ASSERT_TRUE(CreateProcessA(full, nullptr, nullptr, nullptr, FALSE, 0, nullptr, folder, &start, &process));
  HWND window = nullptr;
  for (int i = 0; i < 200 && !window; ++i) {
    HWND found = FindWindowA(nullptr, title);
    DWORD owner = 0;
    if (found) GetWindowThreadProcessId(found, &owner);
    if (found && owner == process.dwProcessId) window = found;
    else Sleep(50);
  }
  EXPECT_NE(window, nullptr) << "no window titled " << title;
  if (window) PostMessageA(window, WM_CLOSE, 0, 0);
  else TerminateProcess(process.hProcess, 99);
  EXPECT_EQ(WaitForSingleObject(process.hProcess, 20000), WAIT_OBJECT_0);
  GetExitCodeProcess(process.hProcess, exitCode);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
}

TEST(ViewerProgram, TitleNamesTheFirstPathAndClosingReturnsMinusOne) {
  CreateDirectoryA("run", nullptr);
  ASSERT_TRUE(WriteWholeFile("run\\grid.txt", "f a.bin\nf b.bin\nf c.bin\nW 100\nR 50\nO 0\nM 0\n"));
  ASSERT_TRUE(WriteWholeFile("run\\a.bin", Bytes(std::vector<double>(5000, 1.0))));
  DWORD code = 0;
  RunProgramUntilClosed("run", "Quillmere 1.0 - file: a.bin", &code);
  EXPECT_EQ(code, 0xFFFFFFFFu);
}

}  // namespace
