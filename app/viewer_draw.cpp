// The viewer's screens as draw lists: colour map, legend, arrows and the issue screen.
#include "viewer_draw.h"

#include <math.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "viewer_files.h"
#include "viewer_state.h"

namespace {

const unsigned BLACK = 0x000000;
const unsigned RED = 0xFF0000;
const unsigned GREY_180 = 0xB4B4B4;
const unsigned GREY_200 = 0xC8C8C8;

int Reserve(DRAW_LIST* list, int more) {
  if (list->count + more <= list->capacity) return 0;
  int capacity = list->capacity ? list->capacity : 256;
  while (capacity < list->count + more) capacity *= 2;
  DRAW_ITEM* items = (DRAW_ITEM*)realloc(list->items, sizeof(DRAW_ITEM) * capacity);
  if (!items) return -1;
  list->items = items;
  list->capacity = capacity;
  return 0;
}

void AddItem(DRAW_LIST* list, int kind, int x1, int y1, int x2, int y2, unsigned color,
             int colorIsPacked = 0, int text = -1) {
  if (Reserve(list, 1) != 0) return;
  list->items[list->count++] = DRAW_ITEM{kind, x1, y1, x2, y2, color, colorIsPacked, text};
}

void AddFont(DRAW_LIST* list, int size, int thickness) {
  AddItem(list, DRAW_FONT, size, thickness, 0, 0, 0);
}

void AddBox(DRAW_LIST* list, int x1, int y1, int x2, int y2, unsigned color, int colorIsPacked = 0) {
  AddItem(list, DRAW_BOX, x1, y1, x2, y2, color, colorIsPacked);
}

void AddLine(DRAW_LIST* list, int x1, int y1, int x2, int y2, unsigned color) {
  AddItem(list, DRAW_LINE, x1, y1, x2, y2, color);
}

void AddText(DRAW_LIST* list, int x, int y, unsigned color, const char* text) {
  if (list->textCount >= DRAW_TEXT_COUNT) return;
  snprintf(list->texts[list->textCount], DRAW_TEXT_BYTES, "%s", text);
  AddItem(list, DRAW_TEXT, x, y, 0, 0, color, 0, list->textCount++);
}

void AddBackgroundBox(DRAW_LIST* list, int x1, int y1, int x2, int y2) {
  AddBox(list, x1, y1, x2, y2, VIEWER.backgroundColor, 1);
}

// The interior extremes of data 1 (rows and columns 1 to n - 2); NaN is passed over. Without
// an interior value the extremes are 1e8 and -1e8.
void FindInteriorRange() {
  const int w = VIEWER.grid.width, r = VIEWER.grid.rows;
  double lo = 1e8, hi = -1e8;
  bool found = false;
  for (int y = 1; y < r - 1; ++y) {
    for (int x = 1; x < w - 1; ++x) {
      const double v = VIEWER.scratch[y * w + x];
      if (isnan(v)) continue;
      if (!found || v < lo) lo = v;
      if (!found || v > hi) hi = v;
      found = true;
    }
  }
  VIEWER.interiorMin = lo;
  VIEWER.interiorMax = hi;
}

}  // namespace

void ClearDrawList(DRAW_LIST* list) {
  list->count = 0;
  list->textCount = 0;
}

void FreeDrawList(DRAW_LIST* list) {
  free(list->items);
  list->items = nullptr;
  list->capacity = 0;
  ClearDrawList(list);
}

unsigned RampColor(int m) {
  if (m < 0) return 0x0000FF;
  if (m <= 255) return (unsigned)m << 8 | 0xFF;
  if (m <= 510) return (unsigned)(m - 255) << 16 | 0xFF00 | (unsigned)(510 - m);
  if (m <= 765) return 0xFF0000 | (unsigned)(765 - m) << 8;
  return 0xFF0000;
}

int ScaleToRamp(double value, double lo, double hi) {
  const double m = (value - lo) * 765.0 / (hi - lo);
  if (m >= 2147483648.0) return 766;
  if (!(m > -2147483649.0)) return -1;
  return (int)m;
}

void FormatLegendValue(double value, char* text, int size) {
  snprintf(text, size, "%.3e ", value);
  // Some C runtimes print three exponent digits; the viewer shows at least two, as C does.
  char* e = strchr(text, 'e');
  if (e && (e[1] == '+' || e[1] == '-') && e[2] == '0' && e[3] >= '0' && e[3] <= '9' &&
      e[4] >= '0' && e[4] <= '9')
    memmove(e + 2, e + 3, strlen(e + 3) + 1);
}

void BuildColorMap(DRAW_LIST* list) {
  const int w = VIEWER.grid.width, r = VIEWER.grid.rows, cell = VIEWER.cellSize;
  if (!VIEWER.data1) return;
  memcpy(VIEWER.scratch, VIEWER.data1, sizeof(double) * w * r);
  FindInteriorRange();
  const double d = 0.05 * (VIEWER.interiorMax - VIEWER.interiorMin);
  const double lo = VIEWER.interiorMin + d, hi = VIEWER.interiorMax - d;
  if (Reserve(list, w * r) != 0) return;
  const int left = VIEWER.mapOffsetX + VIEWER.leftMargin, top = VIEWER.topMargin;
  for (int y = 0; y < r; ++y) {
    for (int x = 0; x < w; ++x) {
      const unsigned color = RampColor(ScaleToRamp(VIEWER.scratch[y * w + x], lo, hi));
      AddBox(list, left + cell * x, top + cell * y, left + cell * (x + 1), top + cell * (y + 1), color);
    }
  }
}

void BuildLegend(DRAW_LIST* list) {
  const int cell = VIEWER.cellSize, w = VIEWER.grid.width;
  const int mapBottom = VIEWER.topMargin + cell * VIEWER.grid.rows;
  AddFont(list, 12, 4);
  AddBackgroundBox(list, 0, mapBottom + 1, VIEWER.screenWidth, VIEWER.screenHeight);
  const int shift = cell * w > 512 ? (cell * w - 512) / 2 : 0;
  const int left = VIEWER.leftMargin + shift;
  for (int i = 0; i < 180; ++i)
    AddLine(list, left + 25 + i, mapBottom + 3, left + 25 + i, mapBottom + 13, RampColor(5 * i));

  const int y = mapBottom + VIEWER.legendHeight - 14;
  const double values[3] = {VIEWER.interiorMin, (VIEWER.interiorMax + VIEWER.interiorMin) * 0.5,
                            VIEWER.interiorMax};
  char text[64];
  for (int k = 0; k < 3; ++k) {
    FormatLegendValue(values[k], text, sizeof text);
    AddText(list, left + 90 * k, y, GREY_180, text);
  }
  AddText(list, left + 428, y, GREY_200, VIEWER.shortTitle);
  AddText(list, left + 280, y - 7, GREY_200, "Click to reload files.");
}

void BuildVectorArrows(DRAW_LIST* list) {
  const int w = VIEWER.grid.width, r = VIEWER.grid.rows, cell = VIEWER.cellSize;
  if (!VIEWER.data2) return;
  for (int i = 0; i < w * r; ++i) {
    VIEWER.u[i] = VIEWER.data2[i];
    VIEWER.v[i] = -VIEWER.data3[i];
  }
  // The largest magnitude over the sample points whose components are finite.
  double largest = -100;
  bool anySample = false;
  for (int x = 3; x < w; x += 6) {
    for (int y = 3; y < r; y += 6) {
      const double u = VIEWER.u[y * w + x], v = VIEWER.v[y * w + x];
      if (!isfinite(u) || !isfinite(v)) continue;
      const double length = sqrt(u * u + v * v);
      if (length > largest) largest = length;
      anySample = true;
    }
  }
  if (!anySample) return;
  const double scale = largest == 0 ? 1.0 : 0.1 * largest;
  const double headThreshold = 0.005 * scale;
  for (int x = 3; x < w; x += 6) {
    for (int y = 3; y < r; y += 6) {
      const double u = VIEWER.u[y * w + x], v = VIEWER.v[y * w + x];
      if (!isfinite(u) || !isfinite(v)) continue;
      double length = sqrt(u * u + v * v);
      int ax = u != 0 ? (int)(cell * 6 * u / scale) : 0;
      int ay = v != 0 ? (int)(cell * 6 * v / scale) : 0;
      if (length > scale) {
        ax = (int)(ax * scale / length);
        ay = (int)(ay * scale / length);
        length = scale;
      }
      const int cx = VIEWER.mapOffsetX + VIEWER.leftMargin + cell * x;
      const int cy = VIEWER.topMargin + cell * y;
      const int tx = cx + ax / 2, ty = cy + ay / 2;
      AddLine(list, cx - ax / 2, cy - ay / 2, tx, ty, BLACK);
      if (length > headThreshold) {
        const double n = sqrt((double)ax * ax + (double)ay * ay);
        const int p = n > 0 ? (int)(2 * ax / n) : 0;
        const int q = n > 0 ? (int)(2 * ay / n) : 0;
        AddLine(list, tx, ty, tx - p - q, ty - q + p, BLACK);
        AddLine(list, tx, ty, tx - p + q, ty - q - p, BLACK);
      }
    }
  }
}

void BuildClearScreen(DRAW_LIST* list) {
  AddBackgroundBox(list, 0, 0, VIEWER.screenWidth, VIEWER.screenHeight);
}

void BuildGridFileStart(DRAW_LIST* list) {
  AddFont(list, 9, 1);
  BuildClearScreen(list);
}

void BuildIssueScreen(DRAW_LIST* list) {
  const int quarter = VIEWER.screenHeight / 4;
  AddFont(list, 13, 6);
  BuildClearScreen(list);
  for (int k = 0; k < 3; ++k) AddText(list, 20, quarter + 60 + 20 * k, RED, VIEWER.issueLine[k]);
  AddFont(list, 16, 6);
  AddText(list, 20, quarter + 10, GREY_200, "Simulation will not be started for following issue(s).");
  AddText(list, 20, quarter + 30, GREY_200, "[Enter] to return");
}

void BuildViewerFrame(DRAW_LIST* list) {
  ClearDrawList(list);
  LoadGridData();
  BuildColorMap(list);
  BuildLegend(list);
  if (VIEWER.vectorsAvailable == 1) BuildVectorArrows(list);
}
