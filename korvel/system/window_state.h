// The main window's state record, shared by the window, pump and start-up modules.
#pragma once
#include <windows.h>

struct WINDOW_STATE {
  int windowedMode;      // 0 fullscreen (the default), 1 windowed
  int ending;            // set by the shut-down, read by the pump and the window procedure
  int windowQuit;        // the window start failed or the window ended
  int windowDestroyed;
  HWND mainWindow;
  char className[256];
  char startupFolder[MAX_PATH];
  DWORD mainThreadId;    // the thread that called InitLibrary
  int comStarted;        // kept across window-state resets
  LARGE_INTEGER counterFrequency;
  int usePerformanceCounter;
};

extern WINDOW_STATE WindowState;
