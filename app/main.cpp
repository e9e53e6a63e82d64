// Quillmere: the grid viewer. Reads "grid.txt", sizes the window to the grid and shows the
// scalar field as a colour map with a legend and, when a vector field is given, arrows.
#include <windows.h>

#include "korvel.h"
#include "viewer_draw.h"
#include "viewer_files.h"
#include "viewer_state.h"

namespace {

// One frame: the data files re-read, then map, legend and arrows.
void BuildFrame(DRAW_LIST* frame) {
  ClearDrawList(frame);
  LoadGridData();
  BuildColorMap(frame);
  BuildLegend(frame);
  if (VIEWER.vectorsAvailable == 1) BuildVectorArrows(frame);
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  SetViewerDefaults();
  // Settings before start-up. Still to come with the window services and screen modes:
  // SetWindowTitleText, ChangeWindowMode(1), ApplyWindowIcon(101), SetScreenMode(516, 288,
  // 16, 60), SetWindowResizeOptions(1, 1), SetRunWhileInactive(1), AllowMultipleInstances(1).
  EnableLogFile(0);
  if (InitLibrary() == -1) return -1;

  ReadGridSettings("grid.txt");
  ComposeWindowTitle();
  ComputeViewerLayout();
  if (AllocateGridArrays() != 0) return -1;

  DRAW_LIST frame = {};
  BuildFrame(&frame);
  FreeDrawList(&frame);
  return -1;
}
