// The grid viewer's state: the settings read from "grid.txt", the layout of the window, the
// data arrays and the values the colour map hands to the legend.
#pragma once

// What "grid.txt" gives: three data paths (the scalar field, then the two components of a
// vector field), the grid width and row count, the bytes skipped at the start of every data
// file and the orientation mode of the files.
struct GRID_SETTINGS {
  char dataPath[3][300];
  int width;        // W, cells per row
  int rows;         // R
  int byteOffset;
  int orientation;  // 1 mirrored rows, 2 rows reversed, 3 rotated, other: as stored
};

struct VIEWER_STATE {
  GRID_SETTINGS grid;
  int leftMargin, rightMargin, topMargin, legendHeight;
  int cellSize;
  int mapOffsetX;
  int screenWidth, screenHeight;
  unsigned backgroundColor;  // a packed screen colour
  const char* shortTitle;
  char windowTitle[80];
  const char* issueLine[3];  // "\n" when no issue is set
  // R x W float64 values each, row-major.
  double* data1;    // the scalar field
  double* data2;    // vector component 1 as read
  double* data3;    // vector component 2 as read
  double* u;        // the vector field as drawn
  double* v;
  double* scratch;
  int arrayCells;        // cells each array holds (0: not allocated)
  int vectorsAvailable;  // 1 when data files 2 and 3 were both read in the last load
  double interiorMin, interiorMax;
};

extern VIEWER_STATE VIEWER;

// The start-up values: margins 2, legend band 30, a 64 x 32 grid, cell size 8, 516 x 288.
void SetViewerDefaults();

// The largest grid the viewer takes (six arrays of float64 per cell must fit in memory).
const int MAX_GRID_CELLS = 1 << 22;

// Cell size 2, the map's x offset and the screen size for the grid in VIEWER.grid.
void ComputeViewerLayout();

// Where the window goes after the resize so that it keeps the centre the 516 x 288 start
// window had: (oldX, oldY) is the window's top-left corner before the resize.
void ComputeWindowPosition(int oldX, int oldY, int* x, int* y);

// "Quillmere 1.0 - file: " and data path 1, cut to the title buffer.
void ComposeWindowTitle();

// The six arrays for the current grid, all zero. -1 when they cannot be allocated.
int AllocateGridArrays();
void FreeGridArrays();
