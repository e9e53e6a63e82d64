// Quillmere: the grid viewer. Reads "grid.txt", sizes the window to the grid and shows the
// scalar field as a colour map with a legend and, when a vector field is given, arrows; every
// key, pad button or click inside the window re-reads the data files and redraws.
#include <windows.h>

#include <stdlib.h>

#include "korvel.h"
#include "viewer_draw.h"
#include "viewer_files.h"
#include "viewer_render.h"
#include "viewer_state.h"

// The screens are computed as draw lists (viewer_draw.h) and drawn item by item
// (viewer_render.h) onto the back screen, which the flip shows.
namespace {

const int KEY_ENTER = 0x1C;

DRAW_LIST SCREEN_LIST;

// The issue screen, then a wait for Enter. Closing the window there ends the process.
void ShowIssueScreen() {
  ClearDrawList(&SCREEN_LIST);
  BuildIssueScreen(&SCREEN_LIST);
  DrawDrawList(&SCREEN_LIST);
  ClearIssueLines();
  FlipScreenBuffers();
  while (!IsKeyDown(KEY_ENTER)) {
    if (PumpWindowMessagesLocked() == -1) break;
  }
  WaitMilliseconds(100);
  if (PumpWindowMessagesLocked() == -1) {
    EndLibrary();
    exit(1);
  }
}

// "grid.txt" into the settings; the issue screen when it is missing or unusable.
void ReadGridFile() {
  ClearDrawList(&SCREEN_LIST);
  BuildGridFileStart(&SCREEN_LIST);
  DrawDrawList(&SCREEN_LIST);
  ReadGridSettings("grid.txt");
  if (HasIssueLines()) ShowIssueScreen();
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  SetViewerDefaults();
  SetWindowTitleText(VIEWER.shortTitle);
  ChangeWindowMode(1);
  ApplyWindowIcon(101);
  SetScreenMode(VIEWER.screenWidth, VIEWER.screenHeight, 16, 60);
  EnableLogFile(0);
  SetWindowResizeOptions(1, 1);
  SetRunWhileInactive(1);
  AllowMultipleInstances(1);
  if (InitLibrary() == -1) return -1;

  // Packed once the library has started, in the format of its screen.
  VIEWER.backgroundColor = PackScreenColor(6, 6, 12);
  SelectDrawTarget(-2);
  StoreTransparentColor(255, 0, 0);
  ReadGridFile();
  VIEWER.backgroundColor = PackScreenColor(12, 12, 24);

  ComposeWindowTitle();
  SetWindowTitleText(VIEWER.windowTitle);

  ComputeViewerLayout();
  int oldX = 0, oldY = 0, x, y;
  GetWindowTopLeft(&oldX, &oldY);
  SetScreenMode(VIEWER.screenWidth, VIEWER.screenHeight, 16, 60);
  ComputeWindowPosition(oldX, oldY, &x, &y);
  SetWindowStartPosition(x, y);
  SelectDrawTarget(-2);

  if (AllocateGridArrays() != 0) return -1;
  do {
    BuildViewerFrame(&SCREEN_LIST);
    DrawDrawList(&SCREEN_LIST);
    FlipScreenBuffers();
    WaitForAnyInput();
  } while (PumpWindowMessagesLocked() != -1);
  return -1;
}
