// Quillmere: the grid viewer. Reads "grid.txt", sizes the window to the grid and shows the
// scalar field as a colour map with a legend and, when a vector field is given, arrows; every
// key, pad button or click inside the window re-reads the data files and redraws.
#include <windows.h>

#include "korvel.h"
#include "viewer_draw.h"
#include "viewer_files.h"
#include "viewer_state.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  SetViewerDefaults();
  SetWindowTitleText(VIEWER.shortTitle);
  ChangeWindowMode(1);
  ApplyWindowIcon(101);
  EnableLogFile(0);
  SetWindowResizeOptions(1, 1);
  SetRunWhileInactive(1);
  AllowMultipleInstances(1);
  if (InitLibrary() == -1) return -1;

  ReadGridSettings("grid.txt");
  ComposeWindowTitle();
  SetWindowTitleText(VIEWER.windowTitle);

  ComputeViewerLayout();
  int oldX = 0, oldY = 0, x, y;
  GetWindowTopLeft(&oldX, &oldY);
  ComputeWindowPosition(oldX, oldY, &x, &y);
  SetWindowStartPosition(x, y);

  if (AllocateGridArrays() != 0) return -1;
  DRAW_LIST frame = {};
  do {
    BuildViewerFrame(&frame);
  } while (PumpWindowMessagesLocked() != -1);
  return -1;
}
