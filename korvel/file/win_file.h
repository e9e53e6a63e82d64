// WIN_FILE: the library's read-only Win32 file, read directly on the caller's thread or
// through its own lowest-priority reader thread (optionally with a 128 KB read-ahead cache
// and asynchronous reads). Also the Win32 find functions and temporary files.
#pragma once
#include <windows.h>

#include <cstdint>

#include "korvel.h"

enum { WIN_FILE_CACHE_SIZE = 0x20000, FILE_PATH_SIZE = MAX_PATH };

struct WIN_FILE {
  HANDLE directHandle;
  int threaded;
  int useCache;
  int asyncRead;
  int eof;
  int64_t position;  // the caller's position (never negative)
  uint32_t size;     // taken at open time
  // Reader thread part.
  DWORD threadId;
  HANDLE thread;
  HANDLE threadHandle;  // the thread's own file handle, 0 when closed
  HANDLE commandEvent;
  HANDLE doneEvent;
  volatile int command;  // 0 open, 1 close the handle, 2 read, 3 seek, 4 close and exit
  volatile int ended;
  volatile int openFailed;
  char path[FILE_PATH_SIZE];
  uint8_t* readBuffer;
  uint32_t readPosition;
  uint32_t readCount;  // bytes asked; the thread stores the bytes it delivered
  uint32_t seekTarget;
  uint8_t* cache;
  uint32_t cachePosition;
  uint32_t cacheFill;
};

WIN_FILE* OpenWinFile(const char* path, int useCache, int unused, int asyncRead);
int CloseWinFile(WIN_FILE* file);
int TellWinFile(WIN_FILE* file);
int SeekWinFile(WIN_FILE* file, int offset, int origin);
int ReadWinFile(void* buffer, int size, int count, WIN_FILE* file);
int IsWinFileEof(WIN_FILE* file);
int IsWinFileIdle(WIN_FILE* file);
int SetWinCurrentDir(const char* path);
int GetWinCurrentDir(char* buffer);
HANDLE FindFirstWinFile(const char* pattern, FILE_FIND_DATA* data);
int FindNextWinFile(HANDLE find, FILE_FIND_DATA* data);
int CloseWinFind(HANDLE find);
void FillFindDataFromWin32(FILE_FIND_DATA* data, const WIN32_FIND_DATAA* found);
HANDLE CreateTempFile(char* pathOut);
DWORD WINAPI RunFileReadThread(LPVOID file);
