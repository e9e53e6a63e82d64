// Full paths: a path made absolute against a current folder, "." and ".." resolved, all
// separators written as backslashes; double-byte characters are kept whole, so a trail byte 0x5C is
// never a separator. Results never exceed FILE_PATH_CHARS characters.
#include "file/file_access.h"

#include "core/strings.h"

namespace {
bool IsSeparator(char c) { return c == '\\' || c == '/'; }

struct PathBuilder {
  char* out;
  int length;
  bool overflow;
  void Append(const char* text, int n) {
    if (length + n > FILE_PATH_CHARS - 1) {
      overflow = true;
      return;
    }
    CopyMemoryBytes(out + length, text, (size_t)n);
    length += n;
    out[length] = 0;
  }
  // Removes the last component: back to the last '\' or '/' (which goes too) or past the
  // last ':' (the drive stays), stepping over double-byte characters whole.
  void RemoveLast() {
    int cut = -1;
    bool afterColon = false;
    for (int i = 0; i < length; i++) {
      if (IsDoubleByteLead((unsigned char)out[i], GetCharSetCode()) && i + 1 < length) {
        i++;
      } else if (IsSeparator(out[i])) {
        cut = i;
        afterColon = false;
      } else if (out[i] == ':') {
        cut = i;
        afterColon = true;
      }
    }
    if (cut < 0) return;
    length = afterColon ? cut + 1 : cut;
    out[length] = 0;
  }
};

void UpperAscii(char* text, int n) {
  for (int i = 0; i < n; i++) {
    if (IsDoubleByteLead((unsigned char)text[i], GetCharSetCode()) && i + 1 < n) {
      i++;
    } else if (text[i] >= 'a' && text[i] <= 'z') {
      text[i] = (char)(text[i] - 'a' + 'A');
    }
  }
}

int BuildFullPath(const char* path, char* output, const char* current, bool upper) {
  char here[FILE_PATH_CHARS];
  if (current == nullptr) {
    here[0] = 0;
    if (upper) {
      DWORD n = GetCurrentDirectoryA(FILE_PATH_CHARS, here);
      if (n == 0 || n >= FILE_PATH_CHARS) here[0] = 0;
      UpperAscii(here, GetStringLength(here));
    } else {
      GetFileStreamDirectory(here);
    }
    current = here;
  }
  PathBuilder result{output, 0, false};
  output[0] = 0;
  if (path == nullptr) {
    result.Append(current, GetStringLength(current));
    if (result.overflow) output[0] = 0;
    return result.overflow ? -1 : 0;
  }
  const char* p = path;
  if (IsSeparator(path[0]) && path[1] == path[0]) {
    result.Append("\\", 1);
    p = path + 2;
  } else if (IsSeparator(path[0])) {
    result.Append(current, current[0] != 0 && current[1] != 0 ? 2 : GetStringLength(current));
    p = path + 1;
  } else if (path[0] != 0 && path[1] == ':') {
    char drive[2] = {path[0], ':'};
    if (upper) UpperAscii(drive, 1);
    result.Append(drive, 2);
    p = path + 2;
    if (upper ? *p == '\\' : IsSeparator(*p)) p++;
  } else {
    int n = GetStringLength(current);
    if (n > 0 && IsSeparator(current[n - 1])) n--;
    result.Append(current, n);
  }
  // Components.
  while (*p != 0 && !result.overflow) {
    const char* start = p;
    while (*p != 0 && !IsSeparator(*p)) p += IsDoubleByteLead((unsigned char)*p, GetCharSetCode()) && p[1] != 0 ? 2 : 1;
    int n = (int)(p - start);
    bool last = *p == 0;
    if (!last) p++;
    if (n == 0) continue;
    if (!last && n == 1 && start[0] == '.') continue;
    if (!last && n == 2 && start[0] == '.' && start[1] == '.') {
      result.RemoveLast();
      continue;
    }
    int at = result.length;
    result.Append("\\", 1);
    result.Append(start, n);
    if (upper && !result.overflow) UpperAscii(output + at, n + 1);
  }
  if (result.overflow) {
    output[0] = 0;
    return -1;
  }
  return 0;
}
}  // namespace

int MakeFullPath(const char* path, char* output, const char* current) { return BuildFullPath(path, output, current, false); }
int ToFullPath(const char* path, char* output, const char* current) { return BuildFullPath(path, output, current, false); }
int MakeUpperFullPath(char* output, const char* path) { return BuildFullPath(path, output, nullptr, true); }
