#include "win_file.h"

#include "core/log.h"
#include "core/memory.h"
#include "core/strings.h"
#include "file/file_access.h"
#include "system/base/sysinfo.h"

namespace {
enum { COMMAND_OPEN = 0, COMMAND_CLOSE = 1, COMMAND_READ = 2, COMMAND_SEEK = 3, COMMAND_EXIT = 4 };

HANDLE OpenForReading(const char* path) {
  return CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
}

// Copies at most size - 1 characters and terminates; -1 when the text did not fit.
int CopyBounded(char* dest, const char* src, int size) {
  int i = 0;
  for (; src[i] != 0; i++) {
    if (i == size - 1) {
      dest[i] = 0;
      return -1;
    }
    dest[i] = src[i];
  }
  dest[i] = 0;
  return 0;
}

// Waits until the thread has taken the previous command, then hands it the next one.
void PostCommand(WIN_FILE* file, int command) {
  WaitForSingleObject(file->doneEvent, INFINITE);
  file->command = command;
  ResetEvent(file->doneEvent);
  SetEvent(file->commandEvent);
}

void WaitThreadExit(HANDLE thread, int sleepMs) {
  DWORD code = STILL_ACTIVE;
  while (GetExitCodeThread(thread, &code) && code == STILL_ACTIVE) Sleep(sleepMs);
}

void ReleaseThreadPart(WIN_FILE* file) {
  if (file->cache != nullptr) FreeTracked(file->cache);
  file->cache = nullptr;
  if (file->commandEvent != nullptr) CloseHandle(file->commandEvent);
  if (file->doneEvent != nullptr) CloseHandle(file->doneEvent);
  file->commandEvent = file->doneEvent = nullptr;
}

// The read command: bytes the cache holds at the request's position first, the rest from
// the file; readCount becomes the bytes delivered.
void ServeRead(WIN_FILE* file) {
  uint8_t* buffer = file->readBuffer;
  uint32_t position = file->readPosition;
  uint32_t left = file->readCount;
  uint32_t delivered = 0;
  if (file->cache != nullptr && position == file->cachePosition && file->cacheFill > 0) {
    uint32_t n = left < file->cacheFill ? left : file->cacheFill;
    CopyMemoryBytes(buffer, file->cache, n);
    buffer += n;
    position += n;
    left -= n;
    delivered += n;
    file->cachePosition += n;
    file->cacheFill -= n;
    MoveBytes(file->cache, file->cache + n, file->cacheFill);
  }
  if (left > 0) {
    DWORD got = 0;
    if (SetFilePointer(file->threadHandle, (LONG)position, nullptr, FILE_BEGIN) != INVALID_SET_FILE_POINTER &&
        !ReadFile(file->threadHandle, buffer, left, &got, nullptr))
      got = 0;
    delivered += got;
    if (file->cache != nullptr) {
      file->cachePosition = position + got;
      file->cacheFill = 0;
    }
  }
  file->readCount = delivered;
}

// Tops the read-ahead cache up from where the last read ended.
void FillCache(WIN_FILE* file) {
  if (file->threadHandle == nullptr || file->cacheFill >= WIN_FILE_CACHE_SIZE) return;
  DWORD got = 0;
  if (SetFilePointer(file->threadHandle, (LONG)(file->cachePosition + file->cacheFill), nullptr, FILE_BEGIN) ==
      INVALID_SET_FILE_POINTER)
    return;
  if (ReadFile(file->threadHandle, file->cache + file->cacheFill, WIN_FILE_CACHE_SIZE - file->cacheFill, &got, nullptr))
    file->cacheFill += got;
}
}  // namespace

DWORD WINAPI RunFileReadThread(LPVOID param) {
  WIN_FILE* file = (WIN_FILE*)param;
  for (;;) {
    DWORD waited = WaitForSingleObject(file->commandEvent, file->cache != nullptr ? 100 : INFINITE);
    if (waited == WAIT_TIMEOUT) {
      FillCache(file);
      continue;
    }
    ResetEvent(file->commandEvent);
    ResetEvent(file->doneEvent);
    switch (file->command) {
      case COMMAND_OPEN:
        file->threadHandle = OpenForReading(file->path);
        if (file->threadHandle == INVALID_HANDLE_VALUE) {
          file->threadHandle = nullptr;
          file->openFailed = 1;
          file->ended = 1;
          SetEvent(file->doneEvent);
          ExitThread(1);
        }
        break;
      case COMMAND_CLOSE:
        if (file->threadHandle != nullptr) CloseHandle(file->threadHandle);
        file->threadHandle = nullptr;
        break;
      case COMMAND_READ:
        ServeRead(file);
        break;
      case COMMAND_SEEK:
        SetFilePointer(file->threadHandle, (LONG)file->seekTarget, nullptr, FILE_BEGIN);
        if (file->cache != nullptr) {
          file->cacheFill = 0;
          file->cachePosition = file->seekTarget;
        }
        break;
      case COMMAND_EXIT:
        if (file->threadHandle != nullptr) CloseHandle(file->threadHandle);
        file->threadHandle = nullptr;
        file->ended = 1;
        SetEvent(file->doneEvent);
        ExitThread(1);
      default:
        break;
    }
    SetEvent(file->doneEvent);
  }
}

WIN_FILE* OpenWinFile(const char* path, int useCache, int unused, int asyncRead) {
  (void)unused;
  if (path == nullptr) return nullptr;
  WIN_FILE* file = (WIN_FILE*)AllocTrackedZeroed(sizeof(WIN_FILE), "", 0);
  if (file == nullptr) return nullptr;
  HANDLE handle = OpenForReading(path);
  if (handle == INVALID_HANDLE_VALUE) {
    FreeTracked(file);
    return nullptr;
  }
  file->size = GetFileSize(handle, nullptr);
  if (!useCache && !asyncRead) {
    file->directHandle = handle;
    return file;
  }
  CloseHandle(handle);
  file->threaded = 1;
  file->useCache = useCache ? 1 : 0;
  file->asyncRead = asyncRead ? 1 : 0;
  if (CopyBounded(file->path, path, FILE_PATH_SIZE) != 0) {
    FreeTracked(file);
    return nullptr;
  }
  if (useCache) {
    file->cache = (uint8_t*)AllocTracked(WIN_FILE_CACHE_SIZE, "", 0);
    if (file->cache == nullptr) {
      WriteLogText("ファイル読み込みキャッシュ用メモリの確保に失敗しました\n");
      FreeTracked(file);
      return nullptr;
    }
  }
  file->commandEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  file->doneEvent = CreateEventA(nullptr, TRUE, TRUE, nullptr);
  file->thread = file->commandEvent != nullptr && file->doneEvent != nullptr
                     ? CreateThread(nullptr, 0, RunFileReadThread, file, 0, &file->threadId)
                     : nullptr;
  if (file->thread == nullptr) {
    ReleaseThreadPart(file);
    WriteLogText("ファイルアクセス専用スレッドの作成に失敗しました\n");
    FreeTracked(file);
    return nullptr;
  }
  SetThreadPriority(file->thread, THREAD_PRIORITY_LOWEST);
  PostCommand(file, COMMAND_OPEN);
  WaitForSingleObject(file->doneEvent, INFINITE);
  if (file->openFailed) {
    ReleaseThreadPart(file);
    WaitThreadExit(file->thread, 0);
    CloseHandle(file->thread);
    WriteLogText("ファイルのオープンに失敗しました\n");
    FreeTracked(file);
    return nullptr;
  }
  return file;
}

int CloseWinFile(WIN_FILE* file) {
  if (file == nullptr) return -1;
  if (!file->threaded) {
    CloseHandle(file->directHandle);
  } else {
    PostCommand(file, COMMAND_EXIT);
    WaitForSingleObject(file->doneEvent, INFINITE);
    WaitThreadExit(file->thread, 1);
    CloseHandle(file->thread);
    ReleaseThreadPart(file);
  }
  FreeTracked(file);
  return 0;
}

int TellWinFile(WIN_FILE* file) { return (int)file->position; }

// Targets before the start are refused in both modes; targets past the end are allowed
// (the next read then reports the end).
int SeekWinFile(WIN_FILE* file, int offset, int origin) {
  int64_t target = origin == 0 ? offset : origin == 1 ? file->position + offset : origin == 2 ? (int64_t)file->size + offset : 0;
  if (target < 0 || target > 0x7FFFFFFF) return -1;
  if (file->threaded) {
    file->seekTarget = (uint32_t)target;
    PostCommand(file, COMMAND_SEEK);
  } else if (SetFilePointer(file->directHandle, (LONG)target, nullptr, FILE_BEGIN) == INVALID_SET_FILE_POINTER) {
    return -1;
  }
  file->position = target;
  file->eof = 0;
  return 0;
}

int ReadWinFile(void* buffer, int size, int count, WIN_FILE* file) {
  if (size <= 0 || count <= 0) return 0;
  if (file->position >= (int64_t)file->size) {
    file->eof = 1;
    return 0;
  }
  uint64_t left = file->size - (uint64_t)file->position;
  if ((uint64_t)size * (uint64_t)count > left) {
    count = (int)(left / (uint64_t)size);
    if (count == 0) {
      file->eof = 1;
      return 0;
    }
  }
  uint32_t bytes = (uint32_t)size * (uint32_t)count;
  if (file->threaded) {
    WaitForSingleObject(file->doneEvent, INFINITE);
    file->readBuffer = (uint8_t*)buffer;
    file->readPosition = (uint32_t)file->position;
    file->readCount = bytes;
    PostCommand(file, COMMAND_READ);
    if (file->asyncRead) {
      file->position += bytes;
      return count;
    }
    WaitForSingleObject(file->doneEvent, INFINITE);
    bytes = file->readCount;
  } else {
    DWORD got = 0;
    if (!ReadFile(file->directHandle, buffer, bytes, &got, nullptr)) got = 0;
    bytes = got;
  }
  file->position += bytes;
  return (int)(bytes / (uint32_t)size);
}

int IsWinFileEof(WIN_FILE* file) { return file->eof ? -1 : 0; }

int IsWinFileIdle(WIN_FILE* file) {
  if (!file->threaded) return 1;
  return WaitForSingleObject(file->doneEvent, 0) == WAIT_OBJECT_0 ? 1 : 0;
}

int SetWinCurrentDir(const char* path) { return SetCurrentDirectoryA(path) ? 0 : -1; }

int GetWinCurrentDir(char* buffer) {
  DWORD n = GetCurrentDirectoryA(FILE_PATH_SIZE, buffer);
  if (n == 0 || n >= FILE_PATH_SIZE) {
    buffer[0] = 0;
    return -1;
  }
  return 0;
}

void FillFindDataFromWin32(FILE_FIND_DATA* data, const WIN32_FIND_DATAA* found) {
  FillBytes(data, 0, sizeof(*data));
  CopyBounded(data->name, found->cFileName, sizeof(data->name));
  data->directory = (found->dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ? 1 : 0;
  data->sizeLow = found->nFileSizeLow;
  data->sizeHigh = found->nFileSizeHigh;
  FileTimeToLocalDateTime(&found->ftCreationTime, &data->creationTime);
  FileTimeToLocalDateTime(&found->ftLastWriteTime, &data->lastWriteTime);
}

HANDLE FindFirstWinFile(const char* pattern, FILE_FIND_DATA* data) {
  WIN32_FIND_DATAA found;
  HANDLE find = FindFirstFileA(pattern, &found);
  if (find != INVALID_HANDLE_VALUE && data != nullptr) FillFindDataFromWin32(data, &found);
  return find;
}

int FindNextWinFile(HANDLE find, FILE_FIND_DATA* data) {
  WIN32_FIND_DATAA found;
  if (!FindNextFileA(find, &found)) return -1;
  if (data != nullptr) FillFindDataFromWin32(data, &found);
  return 0;
}

int CloseWinFind(HANDLE find) { return FindClose(find) ? 0 : -1; }

HANDLE CreateTempFile(char* pathOut) {
  char folder[FILE_PATH_SIZE];
  char name[FILE_PATH_SIZE];
  char full[FILE_PATH_SIZE];
  DWORD n = GetTempPathA(256, folder);
  if (n == 0 || n >= 256) return nullptr;
  if (folder[n - 1] != '\\') {
    folder[n] = '\\';
    folder[n + 1] = 0;
  }
  if (GetTempFileNameA(folder, "tmp", 0, name) == 0) return nullptr;
  if (ToFullPath(name, full, nullptr) != 0) return nullptr;
  DeleteFileA(full);
  HANDLE handle = CreateFileA(full, GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (pathOut != nullptr) CopyBounded(pathOut, full, FILE_PATH_SIZE);
  return handle;
}
