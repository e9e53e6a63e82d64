// The viewer's state record, its start-up values, the window geometry and the data arrays.
#include "viewer_state.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

VIEWER_STATE VIEWER;

namespace {

const char* const NO_ISSUE = "\n";

// A CP932 lead byte: the first byte of a double-byte character.
bool IsLeadByte(unsigned char c) { return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC); }

// Drops a lead byte left alone at the end of a cut text.
void DropCutCharacter(char* text) {
  size_t i = 0, last = 0;
  size_t n = strlen(text);
  while (i < n) {
    last = i;
    i += (IsLeadByte((unsigned char)text[i]) && i + 1 < n) ? 2 : 1;
  }
  if (n > 0 && last == n - 1 && IsLeadByte((unsigned char)text[last])) text[last] = '\0';
}

}  // namespace

void SetViewerDefaults() {
  FreeGridArrays();
  memset(&VIEWER, 0, sizeof VIEWER);
  VIEWER.grid.width = 64;
  VIEWER.grid.rows = 32;
  VIEWER.leftMargin = 2;
  VIEWER.rightMargin = 2;
  VIEWER.topMargin = 2;
  VIEWER.legendHeight = 30;
  VIEWER.cellSize = 8;
  VIEWER.screenWidth = 516;
  VIEWER.screenHeight = 288;
  VIEWER.shortTitle = "Quillmere 1.0";
  for (const char*& line : VIEWER.issueLine) line = NO_ISSUE;
  VIEWER.interiorMin = 1e8;
  VIEWER.interiorMax = -1e8;
}

void ComputeViewerLayout() {
  const int w = VIEWER.grid.width, r = VIEWER.grid.rows;
  VIEWER.cellSize = 2;
  VIEWER.mapOffsetX = 2 * w < 512 ? (512 - 2 * w) / 2 : 0;
  VIEWER.screenWidth = 2 * w + 2 * VIEWER.mapOffsetX + VIEWER.leftMargin + VIEWER.rightMargin;
  VIEWER.screenHeight = 2 * r + VIEWER.topMargin + VIEWER.legendHeight;
}

void ComputeWindowPosition(int oldX, int oldY, int* x, int* y) {
  *x = oldX + (516 - VIEWER.screenWidth) / 2;
  *y = oldY + (288 - VIEWER.screenHeight) / 2;
  if (*y < 5) *y = 5;
}

void ComposeWindowTitle() {
  snprintf(VIEWER.windowTitle, sizeof VIEWER.windowTitle, "%s - file: %s", VIEWER.shortTitle,
           VIEWER.grid.dataPath[0]);
  DropCutCharacter(VIEWER.windowTitle);
}

int AllocateGridArrays() {
  FreeGridArrays();
  const long long cells = (long long)VIEWER.grid.width * VIEWER.grid.rows;
  if (cells < 1 || cells > MAX_GRID_CELLS) return -1;
  double** arrays[6] = {&VIEWER.data1, &VIEWER.data2, &VIEWER.data3, &VIEWER.u, &VIEWER.v, &VIEWER.scratch};
  for (double** a : arrays) {
    *a = (double*)calloc((size_t)cells, sizeof(double));
    if (!*a) {
      FreeGridArrays();
      return -1;
    }
  }
  VIEWER.arrayCells = (int)cells;
  return 0;
}

void FreeGridArrays() {
  double** arrays[6] = {&VIEWER.data1, &VIEWER.data2, &VIEWER.data3, &VIEWER.u, &VIEWER.v, &VIEWER.scratch};
  for (double** a : arrays) {
    free(*a);
    *a = nullptr;
  }
  VIEWER.arrayCells = 0;
}
