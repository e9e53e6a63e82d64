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
  int desktopWidth;      // noted at window start, read by GetDesktopMode after it
  int desktopHeight;
  int desktopColorBits;

  // System information written by LogSystemInfo at start-up; kept across window-state resets.
  char osDescription[512];
  char processorName[256];
  int processorMhz;
  int logicalProcessorCount;
  int directXVersion;    // always 0x70000
  int osCode;            // OS_CODE_*; 0 when the version is not one the library knows
  int mmx;
  int sse;
  int sse2;
  int timeStampCounter;
  long long timeStampTicksPerSecond;
};

// Windows versions as LogSystemInfo codes them.
enum {
  OS_CODE_WIN32S = 0, OS_CODE_WIN95 = 1, OS_CODE_WIN98 = 2, OS_CODE_WINME = 3,
  OS_CODE_NT351 = 0x104, OS_CODE_NT40 = 0x105, OS_CODE_WIN2000 = 0x106, OS_CODE_WINXP = 0x107,
  OS_CODE_VISTA = 0x108, OS_CODE_WIN7 = 0x109, OS_CODE_WIN8 = 0x10A
};

extern WINDOW_STATE WindowState;
