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

// The message pump: call once per frame; -1 once the window has gone (stop then).
int PumpWindowMessagesLocked();
int PumpWindowMessages();
// Waits ms milliseconds, pumping messages until the last 4 ms, which are a busy wait.
int WaitMilliseconds(int ms);

// Window modes and options (windowed mode is off until ChangeWindowMode(1)).
int ChangeWindowMode(int windowed);
int IsWindowedMode();
int SetWindowResizeOptions(int resizable, int scalePicture);
int SetWindowScale(double x, double y);  // y of 0 or less means y = x
double GetWindowScale(double* x, double* y);
int SetWindowStartPosition(int x, int y);

// Window settings and services.
int SetWindowTitleText(const char* text);  // at most 255 characters are kept
int ApplyWindowIcon(int resourceId);
int SetRunWhileInactive(int flag);
int IsRunWhileInactive();
int AllowMultipleInstances(int flag);
int IsWindowActive();
int IsWindowClosing();
int GetWindowTopLeft(int* x, int* y);
int EnableAsyncLoading(int flag);
int IsAsyncLoadingEnabled();
// With a null buffer: the size a caller must provide; else copies at most bufferSize - 1
// characters, always terminated. -1 without clipboard text.
int ReadClipboardText(char* buffer, int bufferSize);
int WriteClipboardText(const char* text);
int SetCursorVisible(int flag);  // -1 re-applies the current setting
int GetMousePosition(int* x, int* y);
