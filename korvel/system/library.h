// Library start-up and shut-down: the fixed order of every module's start and end, the
// library flags, the fatal exit and COM.
#pragma once

struct LIBRARY_FLAGS {
  int started;
  int starting;
  // Start-up options with no setter in this system (always 0).
  int noWindow;
  int graphicsOff;
  int soundOff;
  int inputOff;
  int quitRequest;
  int useAsyncLoading;
  int pumpReentryGuard;
};

extern LIBRARY_FLAGS LibraryFlags;

int InitLibraryCore();
int EndLibraryCore();
int StartCom();
int EndCom();
