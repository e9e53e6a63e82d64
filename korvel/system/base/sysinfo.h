// System information written to the log at start-up (version, processors, Windows version,
// processor features) and kept in WINDOW_STATE; date and text-conversion helpers.
#pragma once
#include <windows.h>

#include "korvel.h"  // LOCAL_DATE_TIME, GetLocalDateTime, GetDesktopMode

int LogSystemInfo();
int IsMmxEnabled();
// The desktop's colour bits as the screen shows them now.
int ReadDesktopColorBits();

// The name ("Windows" plus its suffix) and OS code of a version record; *osCode is left as
// it is for a version the library does not know. A version newer than the newest known one
// counts as that one.
void DescribeOsVersion(const OSVERSIONINFOA* version, char* name, int nameSize, int* osCode);
// Time-stamp ticks over at least 100 ms of the millisecond clock; -1 when that clock is not
// available (no multimedia timer), so nothing is measured.
long long MeasureTimeStampTicks();

int FileTimeToLocalDateTime(const FILETIME* time, LOCAL_DATE_TIME* out);
int ConvertWideToMultiByte(int codePage, const wchar_t* text, char* buffer, int bufferSize);
int ConvertMultiByteToWide(int codePage, const char* text, wchar_t* buffer, int count);
