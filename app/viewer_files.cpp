// "grid.txt" and the data files, read with the standard buffered stream functions.
#include "viewer_files.h"

#include <math.h>
#include <stdio.h>
#include <string.h>

#include "viewer_state.h"

const char* const GRID_FILE_MISSING_TEXT = "Cannot find grid file in the root directory (loadcont)\n";
const char* const GRID_SIZE_REFUSED_TEXT =
    "Grid width or row count in grid.txt is below 1 or not a number: 64 x 32 is used\n";
const char* const GRID_TOO_LARGE_TEXT = "Grid in grid.txt is too large for memory: 64 x 32 is used\n";

namespace {

const int MAX_BLOCKS = 99;
const int LINE_REST_BYTES = 100;

// True when d truncated toward zero is an int.
bool FitsInt(double d) { return d > -2147483649.0 && d < 2147483648.0; }

int TruncateOr(double d, int fallback) { return FitsInt(d) ? (int)d : fallback; }

void SkipRestOfLine(FILE* f) {
  char rest[LINE_REST_BYTES];
  fgets(rest, sizeof rest, f);
}

// One "key value" line whose value is a word of at most 299 characters.
void ReadPathLine(FILE* f, char* path) {
  char key[104];
  fscanf(f, "%103s %299s", key, path);
  SkipRestOfLine(f);
}

void ReadNumberLine(FILE* f, double* value) {
  char key[104];
  fscanf(f, "%103s %lf", key, value);
  SkipRestOfLine(f);
}

// Width and row count: both taken, or both left at the default with an issue line.
void TakeGridSize(double width, double rows) {
  if (!(width >= 1) || !(rows >= 1) || !FitsInt(width) || !FitsInt(rows)) {
    VIEWER.issueLine[1] = GRID_SIZE_REFUSED_TEXT;
    VIEWER.grid.width = 64;
    VIEWER.grid.rows = 32;
    return;
  }
  if ((long long)width * (long long)rows > MAX_GRID_CELLS) {
    VIEWER.issueLine[1] = GRID_TOO_LARGE_TEXT;
    VIEWER.grid.width = 64;
    VIEWER.grid.rows = 32;
    return;
  }
  VIEWER.grid.width = (int)width;
  VIEWER.grid.rows = (int)rows;
}

// Reads one data file into an array; 0 when it was read (fully or in part).
int ReadDataFile(const char* path, double* array) {
  const int offset = VIEWER.grid.byteOffset;
  if (offset < 0) return -1;
  FILE* f = fopen(path, "rb");
  if (!f) return -1;
  if (offset != 0 && fseek(f, offset, SEEK_SET) != 0) {
    fclose(f);
    return -1;
  }
  fread(array, sizeof(double), (size_t)VIEWER.grid.width * VIEWER.grid.rows, f);
  fclose(f);
  return 0;
}

}  // namespace

void ClearIssueLines() {
  for (const char*& line : VIEWER.issueLine) line = "\n";
}

int ReadGridSettings(const char* path) {
  ClearIssueLines();
  FILE* f = fopen(path, "r");
  if (!f) {
    VIEWER.issueLine[0] = GRID_FILE_MISSING_TEXT;
    return -1;
  }
  // The numbers start at the current settings, so a file that ends early keeps them.
  double width = VIEWER.grid.width, rows = VIEWER.grid.rows;
  double offset = VIEWER.grid.byteOffset, mode = VIEWER.grid.orientation;
  for (int block = 0; block < MAX_BLOCKS && !feof(f); ++block) {
    for (char* p : VIEWER.grid.dataPath) ReadPathLine(f, p);
    ReadNumberLine(f, &width);
    ReadNumberLine(f, &rows);
    ReadNumberLine(f, &offset);
    ReadNumberLine(f, &mode);
  }
  fclose(f);
  TakeGridSize(width, rows);
  // An offset that is no int cannot be sought: it makes every data file unreadable.
  VIEWER.grid.byteOffset = TruncateOr(offset, -1);
  VIEWER.grid.orientation = TruncateOr(mode, 0);
  return 0;
}

int HasIssueLines() {
  for (const char* line : VIEWER.issueLine)
    if (strcmp(line, "\n") != 0) return 1;
  return 0;
}

void LoadGridData() {
  double* arrays[3] = {VIEWER.data1, VIEWER.data2, VIEWER.data3};
  if (!arrays[0] || VIEWER.arrayCells < VIEWER.grid.width * VIEWER.grid.rows) return;
  VIEWER.vectorsAvailable = 1;
  for (int k = 0; k < 3; ++k) {
    if (ReadDataFile(VIEWER.grid.dataPath[k], arrays[k]) != 0 && k > 0) VIEWER.vectorsAvailable = 0;
  }
  for (double* a : arrays) ReorientGrid(a);
}

void ReorientGrid(double* grid) {
  const int w = VIEWER.grid.width, r = VIEWER.grid.rows;
  double* s = VIEWER.scratch;
  switch (VIEWER.grid.orientation) {
    case 1:
      for (int y = 0; y < r; ++y)
        for (int x = 0; x < w; ++x) s[y * w + x] = grid[y * w + (w - 1 - x)];
      break;
    case 2:
      for (int y = 0; y < r; ++y)
        for (int x = 0; x < w; ++x) s[y * w + x] = grid[(r - 1 - y) * w + x];
      break;
    case 3:
      for (int i = 0; i < r; ++i)
        for (int j = 0; j < w; ++j) s[i * w + j] = grid[j * r + (r - 1 - i)];
      break;
    default:
      return;
  }
  memcpy(grid, s, sizeof(double) * w * r);
}
