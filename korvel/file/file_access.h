// The file access table behind every file access of the library, the stream sources that
// image, sound and movie readers read through (over files or memory blocks), and the
// full-path routine.
#pragma once
#include <cstdint>

#include "core/handles.h"
#include "korvel.h"

enum { FILE_PATH_CHARS = 260 };

// Six stream functions; the handle is a file stream handle or a MEMORY_STREAM pointer.
struct STREAM_OPS {
  int (*tell)(uintptr_t handle);
  int (*seek)(uintptr_t handle, int offset, int origin);
  int (*read)(void* buffer, int size, int count, uintptr_t handle);
  int (*eof)(uintptr_t handle);  // non-zero at the end (-1 file streams, 1 memory streams)
  int (*idle)(uintptr_t handle);
  int (*close)(uintptr_t handle);
};

struct STREAM_SOURCE {
  STREAM_OPS ops;
  uintptr_t handle;
};

struct MEMORY_STREAM {
  const uint8_t* data;  // not owned
  uint32_t size;
  uint32_t position;
  int eof;
};

const STREAM_OPS* GetFileStreamOps();
const STREAM_OPS* GetMemoryStreamOps();

MEMORY_STREAM* OpenMemoryStream(const void* data, uint32_t size);
int CloseMemoryStream(MEMORY_STREAM* stream);
int TellMemoryStream(MEMORY_STREAM* stream);
int SeekMemoryStream(MEMORY_STREAM* stream, int offset, int origin);
int ReadMemoryStream(void* buffer, int size, int count, MEMORY_STREAM* stream);
int IsMemoryStreamEof(MEMORY_STREAM* stream);
int IsMemoryStreamIdle();

// File handles (type 17): a handle record holding one stream handle (0 = none). Nothing in
// the library creates them; the type is set up with the main window and ended with it.
struct FILE_HANDLE_RECORD {
  HANDLE_HEAD head;
  uint32_t stream;
};
int InitFileHandles();
int EndFileHandles();
int CloseFileHandleStream(HANDLE_HEAD* record);

// 1 selects the plain Win32 set when InstallFileAccessTable gets no table (default 0).
void SetPlainFilesSwitch(int flag);

// The full path of path (null: the current folder) into output (FILE_PATH_CHARS characters)
// against current (null: the current folder through the file table). Returns 0, or -1 when
// the result would not fit (output is then empty).
int MakeFullPath(const char* path, char* output, const char* current);
int ToFullPath(const char* path, char* output, const char* current);
// The same, upper-casing the current folder and every component (archive lookups).
int MakeUpperFullPath(char* output, const char* path);
