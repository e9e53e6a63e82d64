#include "system/base/library_flags.h"

#include "korvel.h"

LIBRARY_FLAGS LibraryFlags;

int ClearQuitRequest() {
  LibraryFlags.quitRequest = 0;
  return 0;
}

int SetQuitRequest() {
  LibraryFlags.quitRequest = 1;
  return 0;
}

int IsQuitRequested() { return LibraryFlags.quitRequest; }
