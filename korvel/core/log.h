// The log: "Log.txt" in the log folder, each line stamped with the milliseconds since the log
// started and indented with TABs; every piece also goes to OutputDebugStringA. Texts are the
// system's CP932 bytes, written as they are.
#pragma once

int StartLog();
int CreateLogFile();
int WriteLogText(const char* text);  // always -1, which failure paths return as their own result
int AddLogText(const char* text);
int AddLogLineFormat(const char* format, ...);
int AddLogLineFormatW(const wchar_t* format, ...);
int IndentLog();
int UnindentLog();
#include "korvel.h"  // EnableLogFile

// The log folder (260 characters); the library start-up sets it from the start-up folder
// when it is still empty.
const char* GetLogFolder();
void SetLogFolderIfEmpty(const char* folder);
