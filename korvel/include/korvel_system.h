// Library life cycle, log switch and quit request.
#pragma once

int InitLibrary();
int EndLibrary();
int EnableLogFile(int flag);  // 0 switches the log off (before start-up: no file at all)
int ClearQuitRequest();
int SetQuitRequest();
int IsQuitRequested();
[[noreturn]] void ExitWithFatalError(const char* message);
[[noreturn]] void ExitWithFatalErrorFormat(const char* format, ...);
