// The library flags every subsystem reads (started, starting, the start-up options, the quit
// request); the library's start and end in system/top set them.
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
