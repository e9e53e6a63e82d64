#include "test_support.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>

#include "core/log.h"
#include "core/winapi.h"

std::string ReadWholeFile(const std::string& path) {
  std::string bytes;
  FILE* f = fopen(path.c_str(), "rb");
  if (f == nullptr) return bytes;
  char buffer[4096];
  size_t n;
  while ((n = fread(buffer, 1, sizeof(buffer), f)) > 0) bytes.append(buffer, n);
  fclose(f);
  return bytes;
}

bool WriteWholeFile(const std::string& path, const std::string& bytes) {
  FILE* f = fopen(path.c_str(), "wb");
  if (f == nullptr) return false;
  bool ok = fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  return fclose(f) == 0 && ok;
}

std::string SourcePath(const std::string& relative) {
  const char* root = getenv("KORVEL_SOURCE_DIR");
  std::string base = root != nullptr ? root : ".";
  return base + "/" + relative;
}

void StartTestLog() {
  LoadWinApiTable();
  char folder[MAX_PATH];
  GetCurrentDirectoryA(MAX_PATH, folder);
  SetLogFolderIfEmpty(folder);
  StartLog();
}

std::string ReadLog() { return ReadWholeFile("Log.txt"); }

std::string ReadLogWithoutStamps() {
  std::string log = ReadLog(), out;
  bool lineStart = true;
  for (size_t i = 0; i < log.size(); i++) {
    if (lineStart) {
      size_t j = i;
      while (j < log.size() && log[j] >= '0' && log[j] <= '9') j++;
      if (j > i && j < log.size() && log[j] == ':') i = j + 1;
      if (i >= log.size()) break;
    }
    out += log[i];
    lineStart = log[i] == '\n';
  }
  return out;
}
