#include "file_access.h"

#include "core/log.h"
#include "core/memory.h"
#include "core/strings.h"
#include "core/threads.h"
#include "file/vfs.h"
#include "file/win_file.h"

namespace {
// The plain set hands out its 32-bit stream handles as indices into a table of WIN_FILE
// pointers (slot + 1, 0 = no file): a pointer placed above 4 GB in a 64-bit process would not
// survive being cut to 32 bits.
struct PLAIN_FILE_TABLE {
  CRITICAL_SECTION lock;
  WIN_FILE* files[VFS_MAX_FILES];
  int nextSlot;  // where the search for a free slot starts
};
PLAIN_FILE_TABLE& PlainFiles() {
  static PLAIN_FILE_TABLE* table = [] {
    static PLAIN_FILE_TABLE store = {};
    InitLock(&store.lock);
    return &store;
  }();
  return *table;
}

uint32_t PlainOpen(const char* path, int useCache, int unused, int asyncRead) {
  WIN_FILE* file = OpenWinFile(path, useCache, unused, asyncRead);
  if (file == nullptr) return 0;
  PLAIN_FILE_TABLE& table = PlainFiles();
  EnterLock(&table.lock);
  for (int n = 0; n < VFS_MAX_FILES; n++) {
    int slot = (table.nextSlot + n) % VFS_MAX_FILES;
    if (table.files[slot] != nullptr) continue;
    table.files[slot] = file;
    table.nextSlot = (slot + 1) % VFS_MAX_FILES;
    LeaveLock(&table.lock);
    return (uint32_t)slot + 1;
  }
  LeaveLock(&table.lock);
  CloseWinFile(file);
  WriteLogText("同時に開けるファイルの数が限界を超えました\n");
  return 0;
}
// The file of a handle, or null for 0 and values that name no open file.
WIN_FILE* PlainFile(uint32_t handle) {
  if (handle == 0 || handle > VFS_MAX_FILES) return nullptr;
  PLAIN_FILE_TABLE& table = PlainFiles();
  EnterLock(&table.lock);
  WIN_FILE* file = table.files[handle - 1];
  LeaveLock(&table.lock);
  return file;
}
int PlainClose(uint32_t h) {
  if (h == 0 || h > VFS_MAX_FILES) return -1;
  PLAIN_FILE_TABLE& table = PlainFiles();
  EnterLock(&table.lock);
  WIN_FILE* file = table.files[h - 1];
  table.files[h - 1] = nullptr;
  LeaveLock(&table.lock);
  return file != nullptr ? CloseWinFile(file) : -1;
}
int PlainTell(uint32_t h) {
  WIN_FILE* file = PlainFile(h);
  return file != nullptr ? TellWinFile(file) : -1;
}
int PlainSeek(uint32_t h, int offset, int origin) {
  WIN_FILE* file = PlainFile(h);
  return file != nullptr ? SeekWinFile(file, offset, origin) : -1;
}
int PlainRead(void* buffer, int size, int count, uint32_t h) {
  WIN_FILE* file = PlainFile(h);
  return file != nullptr ? ReadWinFile(buffer, size, count, file) : -1;
}
int PlainEof(uint32_t h) {
  WIN_FILE* file = PlainFile(h);
  return file != nullptr ? IsWinFileEof(file) : -1;
}
int PlainIdle(uint32_t h) {
  WIN_FILE* file = PlainFile(h);
  return file != nullptr ? IsWinFileIdle(file) : -1;
}
intptr_t PlainFindFirst(const char* pattern, FILE_FIND_DATA* data) { return (intptr_t)FindFirstWinFile(pattern, data); }
int PlainFindNext(intptr_t find, FILE_FIND_DATA* data) { return FindNextWinFile((HANDLE)find, data); }
int PlainFindClose(intptr_t find) { return CloseWinFind((HANDLE)find); }

const FILE_ACCESS_TABLE kDefaultSet = {OpenVfsFile,      CloseVfsFile,      TellVfsFile,     SeekVfsFile,
                                       ReadVfsFile,      IsVfsFileEof,      IsVfsFileIdle,   SetVfsCurrentDir,
                                       GetVfsCurrentDir, FindFirstVfsFile, FindNextVfsFile, CloseVfsFind};
const FILE_ACCESS_TABLE kPlainSet = {PlainOpen,        PlainClose,     PlainTell,     PlainSeek,
                                     PlainRead,        PlainEof,       PlainIdle,     SetWinCurrentDir,
                                     GetWinCurrentDir, PlainFindFirst, PlainFindNext, PlainFindClose};

struct FILE_ACCESS_STATE {
  FILE_ACCESS_TABLE table = kDefaultSet;
  int plainFiles = 0;
};
FILE_ACCESS_STATE fileAccess;

int StreamTellFile(uintptr_t h) { return TellFileStream((uint32_t)h); }
int StreamSeekFile(uintptr_t h, int offset, int origin) { return SeekFileStream((uint32_t)h, offset, origin); }
int StreamReadFile(void* buffer, int size, int count, uintptr_t h) { return ReadFileStream(buffer, size, count, (uint32_t)h); }
int StreamEofFile(uintptr_t h) { return IsFileStreamEof((uint32_t)h); }
int StreamIdleFile(uintptr_t h) { return IsFileStreamIdle((uint32_t)h); }
int StreamCloseFile(uintptr_t h) { return CloseFileStream((uint32_t)h); }
MEMORY_STREAM* Memory(uintptr_t h) { return (MEMORY_STREAM*)h; }
int StreamTellMemory(uintptr_t h) { return TellMemoryStream(Memory(h)); }
int StreamSeekMemory(uintptr_t h, int offset, int origin) { return SeekMemoryStream(Memory(h), offset, origin); }
int StreamReadMemory(void* buffer, int size, int count, uintptr_t h) { return ReadMemoryStream(buffer, size, count, Memory(h)); }
int StreamEofMemory(uintptr_t h) { return IsMemoryStreamEof(Memory(h)); }
int StreamIdleMemory(uintptr_t) { return IsMemoryStreamIdle(); }
int StreamCloseMemory(uintptr_t h) { return CloseMemoryStream(Memory(h)); }
const STREAM_OPS kFileStreamOps = {StreamTellFile, StreamSeekFile, StreamReadFile,
                                   StreamEofFile,  StreamIdleFile, StreamCloseFile};
const STREAM_OPS kMemoryStreamOps = {StreamTellMemory, StreamSeekMemory, StreamReadMemory,
                                     StreamEofMemory,  StreamIdleMemory, StreamCloseMemory};

}  // namespace

int InstallFileAccessTable(const FILE_ACCESS_TABLE* table) {
  if (table != nullptr) fileAccess.table = *table;
  else fileAccess.table = fileAccess.plainFiles == 1 ? kPlainSet : kDefaultSet;
  return 0;
}

void SetPlainFilesSwitch(int flag) { fileAccess.plainFiles = flag; }
const FILE_ACCESS_TABLE* GetFileAccessTable() { return &fileAccess.table; }
const STREAM_OPS* GetFileStreamOps() { return &kFileStreamOps; }
const STREAM_OPS* GetMemoryStreamOps() { return &kMemoryStreamOps; }

uint32_t OpenFileStream(const char* path, int useCache, int unused, int asyncRead) {
  return fileAccess.table.open(path, useCache, unused, asyncRead);
}
int CloseFileStream(uint32_t handle) { return fileAccess.table.close(handle); }
int TellFileStream(uint32_t handle) { return fileAccess.table.tell(handle); }
int SeekFileStream(uint32_t handle, int offset, int origin) { return fileAccess.table.seek(handle, offset, origin); }
int ReadFileStream(void* buffer, int size, int count, uint32_t handle) {
  return fileAccess.table.read(buffer, size, count, handle);
}
int IsFileStreamEof(uint32_t handle) { return fileAccess.table.eof(handle); }
int IsFileStreamIdle(uint32_t handle) { return fileAccess.table.idle(handle); }
int SetFileStreamDirectory(const char* path) { return fileAccess.table.setCurrentDir(path); }
int GetFileStreamDirectory(char* buffer) { return fileAccess.table.getCurrentDir(buffer); }

int InitFileHandles() {
  return InitHandleType(HANDLE_TYPE_FILE, sizeof(FILE_HANDLE_RECORD), 0x8000, nullptr, CloseFileHandleStream, "ファイル");
}

int EndFileHandles() {
  if (!IsHandleTypeReady(HANDLE_TYPE_FILE)) return -1;
  return EndHandleType(HANDLE_TYPE_FILE);
}

int CloseFileHandleStream(HANDLE_HEAD* record) {
  FILE_HANDLE_RECORD* file = (FILE_HANDLE_RECORD*)record;
  if (file->stream != 0) fileAccess.table.close(file->stream);
  file->stream = 0;
  return 0;
}

MEMORY_STREAM* OpenMemoryStream(const void* data, uint32_t size) {
  MEMORY_STREAM* stream = (MEMORY_STREAM*)AllocTracked(sizeof(MEMORY_STREAM), "", 0);
  if (stream == nullptr) return nullptr;
  stream->data = (const uint8_t*)data;
  stream->size = size;
  stream->position = 0;
  stream->eof = 0;
  return stream;
}

int CloseMemoryStream(MEMORY_STREAM* stream) {
  FreeTracked(stream);
  return 0;
}

int TellMemoryStream(MEMORY_STREAM* stream) { return (int)stream->position; }
int IsMemoryStreamEof(MEMORY_STREAM* stream) { return stream->eof; }
int IsMemoryStreamIdle() { return 1; }

int SeekMemoryStream(MEMORY_STREAM* stream, int offset, int origin) {
  int64_t target = origin == 0 ? offset : origin == 1 ? (int64_t)stream->position + offset
                                        : origin == 2 ? (int64_t)stream->size + offset : 0;
  if (target < 0) target = 0;
  if (target > stream->size) target = stream->size;
  stream->position = (uint32_t)target;
  stream->eof = 0;
  return 0;
}

int ReadMemoryStream(void* buffer, int size, int count, MEMORY_STREAM* stream) {
  if (size <= 0 || count <= 0) return 0;
  if (stream->position >= stream->size) {
    stream->eof = 1;
    return 0;
  }
  uint64_t left = stream->size - stream->position;
  uint64_t want = (uint64_t)size * (uint64_t)count;
  if (want > left) count = (int)(left / (uint64_t)size);
  stream->eof = 0;
  if (count == 0) {
    // Less than one element remains: its bytes are delivered as one element.
    CopyMemoryBytes(buffer, stream->data + stream->position, (size_t)left);
    stream->position = stream->size;
    return 1;
  }
  uint32_t bytes = (uint32_t)size * (uint32_t)count;
  CopyMemoryBytes(buffer, stream->data + stream->position, bytes);
  stream->position += bytes;
  return count;
}

