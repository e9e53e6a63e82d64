// What one viewer screen draws, as a list: the colour map, the legend, the arrows and the
// issue screen are computed here as rectangles, lines, texts and font changes with their
// colours and positions; drawing a list is one call per item.
#pragma once

enum DRAW_ITEM_KIND {
  DRAW_FONT,  // default font size x1, thickness y1
  DRAW_BOX,   // filled rectangle (x1, y1)-(x2, y2)
  DRAW_LINE,  // line (x1, y1)-(x2, y2), thickness 1
  DRAW_TEXT,  // text number `text` at (x1, y1), drawn through "%s"
};

struct DRAW_ITEM {
  int kind;
  int x1, y1, x2, y2;
  unsigned color;     // 0xRRGGBB, or a packed screen colour when colorIsPacked is 1
  int colorIsPacked;
  int text;
};

const int DRAW_TEXT_COUNT = 8;
const int DRAW_TEXT_BYTES = 128;

struct DRAW_LIST {
  DRAW_ITEM* items;
  int count;
  int capacity;
  char texts[DRAW_TEXT_COUNT][DRAW_TEXT_BYTES];
  int textCount;
};

// Empties a list (keeps its storage) / frees its storage.
void ClearDrawList(DRAW_LIST* list);
void FreeDrawList(DRAW_LIST* list);

// The ramp shared by the map and the colour bar, as 0xRRGGBB: blue below 0, blue to cyan,
// cyan over yellow-green to yellow, yellow to red, red above 765.
unsigned RampColor(int m);

// The ramp index of a value on the scale lo..hi: 0 at lo, 765 at hi. A result above the int
// range is above every ramp index (red); below it, or NaN, is below 0 (blue).
int ScaleToRamp(double value, double lo, double hi);

// "%.3e " of a legend value, always with a two-digit exponent at least ("1.000e+08 ").
void FormatLegendValue(double value, char* text, int size);

// The scalar field as 2 x 2 cells; sets VIEWER.interiorMin and interiorMax.
void BuildColorMap(DRAW_LIST* list);
// The band below the map: clear, 180 bar strokes, three values, title and reload hint.
void BuildLegend(DRAW_LIST* list);
// Black arrows at every sixth cell from the third (U = data 2, V = minus data 3).
void BuildVectorArrows(DRAW_LIST* list);
// The issue screen: clear, the three issue lines in red, the heading and the Enter hint.
void BuildIssueScreen(DRAW_LIST* list);
// One frame of the viewer: the data files re-read, then map, legend and, when both vector
// files were read, arrows. The list is emptied first.
void BuildViewerFrame(DRAW_LIST* list);
// The whole window cleared in the background colour.
void BuildClearScreen(DRAW_LIST* list);
// Before "grid.txt" is read: the default font at size 9, thickness 1, and the window cleared.
void BuildGridFileStart(DRAW_LIST* list);
