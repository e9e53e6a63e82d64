#include "file_access.h"

#include <windows.h>

int GetFileStreamDirectory(char* buffer) {
  DWORD n = GetCurrentDirectoryA(MAX_PATH, buffer);
  if (n == 0 || n >= MAX_PATH) {
    buffer[0] = 0;
    return -1;
  }
  return 0;
}

int SetFileStreamDirectory(const char* path) { return SetCurrentDirectoryA(path) ? 0 : -1; }
