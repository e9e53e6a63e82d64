// The grid viewer's screens as draw lists: colour map, legend, arrows, whole frames and the
// issue screen.
#include "viewer_fixture.h"

namespace {

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

TEST_F(Viewer, GridFileStartSetsTheSmallFontAndClears) {
  VIEWER.backgroundColor = 0x123456;
  BuildGridFileStart(&list);
  ASSERT_EQ(list.count, 2);
  EXPECT_EQ(list.items[0].kind, DRAW_FONT);
  EXPECT_EQ(list.items[0].x1, 9);
  EXPECT_EQ(list.items[0].y1, 1);
  EXPECT_EQ(list.items[1].kind, DRAW_BOX);
  EXPECT_EQ(list.items[1].color, 0x123456u);
}

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

}  // namespace
