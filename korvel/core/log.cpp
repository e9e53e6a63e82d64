#include "log.h"

#include <windows.h>

#include <cstdarg>
#include <cstring>

#include "memory.h"
#include "strings.h"
#include "winapi.h"

namespace {
struct LogState {
  int fileDisabled;
  char folder[MAX_PATH];
  int datedName;  // no setter in this system
  char fileName[256];
  int noTimeStamp;  // no setter in this system
  int startTime;
  int indent;
  int continuation;  // the last text did not end in a line feed
};
LogState logState;

void BuildPath(char* path, size_t size) {
  size_t len = strlen(logState.folder);
  const char* sep = (len > 0 && logState.folder[len - 1] == '\\') ? "" : "\\";
  FormatString(path, size, "%s%s%s", logState.folder, sep, logState.fileName);
}

void WriteAndEcho(HANDLE file, const char* text, size_t length) {
  DWORD written;
  WriteFile(file, text, (DWORD)length, &written, nullptr);
  OutputDebugStringA(text);
}

// Converts each lone "\n" into "\r\n" until a "\n" that already has its "\r" is met; the rest
// is copied unchanged. out holds twice the text plus the terminator.
void ConvertLineEnds(const char* text, char* out) {
  const char* p = text;
  char* o = out;
  for (;;) {
    const char* lf = FindCharInString(p, '\n');
    if (lf == nullptr || (lf != text && lf[-1] == '\r')) break;
    memcpy(o, p, (size_t)(lf - p));
    o += lf - p;
    *o++ = '\r';
    *o++ = '\n';
    p = lf + 1;
  }
  strcpy(o, p);
}
}  // namespace

int CreateLogFile() {
  if (logState.fileDisabled) return 0;
  if (logState.datedName) {
    SYSTEMTIME t;
    GetLocalTime(&t);
    FormatString(logState.fileName, sizeof(logState.fileName), "Log%d_%d_%d_%d_%d_%d.txt", t.wYear, t.wMonth, t.wDay,
                 t.wHour, t.wMinute, t.wSecond);
  } else {
    CopyString(logState.fileName, "Log.txt");
  }
  char path[MAX_PATH + 256];
  BuildPath(path, sizeof(path));
  DeleteFileA(path);
  HANDLE file = CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
  return 0;
}

int StartLog() {
  if (CreateLogFile() < 0) return -1;
  logState.indent = 0;
  logState.continuation = 0;
  logState.startTime = GetMillisecondCount();
  return 0;
}

int WriteLogText(const char* text) {
  if (WinApi.winmm.module == nullptr || WinApi.winmm.timeGetTime == nullptr) return -1;
  size_t length = strlen(text);
  char small[512];
  char* converted = small;
  if (length >= 256) {
    converted = (char*)AllocTracked(length * 2 + 1, nullptr, -1);
    if (converted == nullptr) return -1;
  }
  ConvertLineEnds(text, converted);

  if (!logState.fileDisabled && logState.folder[0] != 0) {
    char path[MAX_PATH + 256];
    BuildPath(path, sizeof(path));
    HANDLE file = CreateFileA(path, GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
      SetFilePointer(file, 0, nullptr, FILE_END);
      if (logState.continuation == 0) {
        if (!logState.noTimeStamp) {
          // The stamp wraps within 31 bits, like the millisecond clock.
          char stamp[16];
          unsigned elapsed = (WinApi.winmm.timeGetTime() - (unsigned)logState.startTime) & 0x7FFFFFFFu;
          FormatString(stamp, sizeof(stamp), "%d:", (int)elapsed);
          WriteAndEcho(file, stamp, strlen(stamp));
        }
        char tabs[64];
        memset(tabs, '\t', sizeof(tabs));
        for (int left = logState.indent; left > 0; left -= 63) {
          int n = left < 63 ? left : 63;
          tabs[n] = 0;
          WriteAndEcho(file, tabs, (size_t)n);
          tabs[n] = '\t';
        }
      }
      size_t convertedLength = strlen(converted);
      WriteAndEcho(file, converted, convertedLength);
      logState.continuation = (convertedLength == 0 || converted[convertedLength - 1] != '\n') ? 1 : 0;
      CloseHandle(file);
    }
  }
  if (converted != small) FreeTracked(converted);
  return -1;
}

int AddLogText(const char* text) { return WriteLogText(text); }

int AddLogLineFormat(const char* format, ...) {
  char buffer[1024];
  va_list args;
  va_start(args, format);
  FormatStringV(buffer, sizeof(buffer) - 1, format, args);
  va_end(args);
  AppendString(buffer, "\n");
  return WriteLogText(buffer);
}

int AddLogLineFormatW(const wchar_t* format, ...) {
  wchar_t wide[1024];
  va_list args;
  va_start(args, format);
  FormatWideStringV(wide, 1023, format, args);
  va_end(args);
  // Each UTF-16 unit becomes at most two CP932 bytes.
  char converted[2 * sizeof(wide) / sizeof(wide[0])];
  if (WideCharToMultiByte(932, 0, wide, -1, converted, sizeof(converted), nullptr, nullptr) == 0) converted[0] = 0;
  // A line longer than the buffer is cut before the first character that does not fit, and
  // keeps its line feed, as the narrow form does.
  char buffer[1024];
  int length = 0;
  for (int i = 0; converted[i] != 0;) {
    int size = IsDoubleByteLead((unsigned char)converted[i], CHARSET_SHIFTJIS) && converted[i + 1] != 0 ? 2 : 1;
    if (length + size > (int)sizeof(buffer) - 2) break;
    CopyMemoryBytes(buffer + length, converted + i, (size_t)size);
    length += size;
    i += size;
  }
  buffer[length++] = '\n';
  buffer[length] = 0;
  return WriteLogText(buffer);
}

int IndentLog() {
  logState.indent++;
  return 0;
}

int UnindentLog() {
  if (logState.indent > 0) logState.indent--;
  return 0;
}

int EnableLogFile(int flag) {
  logState.fileDisabled = flag == 0 ? 1 : 0;
  return 0;
}

const char* GetLogFolder() { return logState.folder; }

void SetLogFolderIfEmpty(const char* folder) {
  if (logState.folder[0] == 0) CopyStringN(logState.folder, folder, MAX_PATH - 1);
}
