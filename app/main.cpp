// Quillmere: the grid viewer.
#include <windows.h>

#include "korvel.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  if (InitLibrary() == -1) return -1;
  EndLibrary();
  return 0;
}
