// Library life cycle, log switch, quit request, clocks and system information.
#pragma once

int InitLibrary();
int EndLibrary();
int EnableLogFile(int flag);  // 0 switches the log off (before start-up: no file at all)
int ClearQuitRequest();
int SetQuitRequest();
int IsQuitRequested();
[[noreturn]] void ExitWithFatalError(const char* message);
[[noreturn]] void ExitWithFatalErrorFormat(const char* format, ...);

// Clocks: -1 when the multimedia timer DLL is not loaded.
int GetMillisecondCount();         // never negative otherwise (31 bits)
long long GetMicrosecondCount();

// Year, month, day, hour, minute, second.
struct LOCAL_DATE_TIME {
  int year;
  int month;
  int day;
  int hour;
  int minute;
  int second;
};
int GetLocalDateTime(LOCAL_DATE_TIME* out);
// The desktop's width, height and colour bits (live before start-up, as noted by the window
// start after it); each pointer may be null.
int GetDesktopMode(int* width, int* height, int* colorBits);
