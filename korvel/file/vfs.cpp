#include "vfs.h"

#include "core/log.h"
#include "core/memory.h"
#include "core/strings.h"
#include "core/threads.h"
#include "file/file_access.h"

namespace {
struct VFS_FILE {
  int inArchive;
  WIN_FILE* file;
  int cacheIndex;
  KVA_STREAM stream;
};

struct VFS_FIND {
  int inArchive;
  int cacheIndex;
  KVA_FIND* kvaFind;
  HANDLE winFind;
};

struct KVA_CACHE_ENTRY {
  int references;
  KVA_ARCHIVE archive;
  char path[FILE_PATH_CHARS];
};

struct VFS_STATE {
  VFS_FILE* files[VFS_MAX_FILES];
  int openCount;
  CRITICAL_SECTION lock;
  int lockCreated;
  int started;
  KVA_CACHE_ENTRY* cache[VFS_MAX_ARCHIVES];
  int cacheCount;
  // The archive of the last successful prefix search.
  char rememberedPath[FILE_PATH_CHARS];
  int rememberedLength;  // of its directory prefix; 0 = nothing remembered
  int rememberedIndex;
  // Settings (nothing in this system changes them).
  char extension[16];
  int fileFirst;
  int useKeyString;
  char keyString[64];
};
VFS_STATE vfs = {};

const char* KeyString() { return vfs.useKeyString == 1 ? vfs.keyString : nullptr; }
const char* Extension() { return vfs.extension[0] != 0 ? vfs.extension : "KVA"; }

void EnsureLock() {
  if (vfs.lockCreated) return;
  InitLock(&vfs.lock);
  vfs.lockCreated = 1;
  SweepKvaCache();
}

VFS_FILE* FileOf(uint32_t handle) {
  uint32_t slot = handle & 0x0FFFFFFFu;
  return slot < VFS_MAX_FILES ? vfs.files[slot] : nullptr;
}

void ReleaseArchive(int index) {
  if (index >= 0 && index < VFS_MAX_ARCHIVES && vfs.cache[index] != nullptr && vfs.cache[index]->references > 0)
    vfs.cache[index]->references--;
}

bool IsSeparator(char c) { return c == '\\' || c == '/'; }
}  // namespace

KVA_ARCHIVE* GetCachedKva(int index) {
  if (index < 0 || index >= VFS_MAX_ARCHIVES || vfs.cache[index] == nullptr) return nullptr;
  return &vfs.cache[index]->archive;
}

int InitVfs() {
  if (vfs.started) return -1;
  EnsureLock();
  vfs.started = 1;
  return 0;
}

int EndVfs() {
  if (!vfs.started) return -1;
  SweepKvaCache();
  DeleteLock(&vfs.lock);
  vfs.lockCreated = 0;
  vfs.started = 0;
  return 0;
}

void SweepKvaCache() {
  for (int i = 0; i < VFS_MAX_ARCHIVES && vfs.cacheCount > 0; i++) {
    KVA_CACHE_ENTRY* entry = vfs.cache[i];
    if (entry == nullptr || entry->references > 0) continue;
    CloseKvaArchive(&entry->archive);
    FreeTracked(entry);
    vfs.cache[i] = nullptr;
    vfs.cacheCount--;
  }
}

int OpenCachedKva(int hint, const char* archivePath, int loadWhole, int async) {
  if (hint >= 0 && hint < VFS_MAX_ARCHIVES && vfs.cache[hint] != nullptr &&
      lstrcmpA(vfs.cache[hint]->path, archivePath) == 0) {
    vfs.cache[hint]->references++;
    return hint;
  }
  int seen = 0, freeSlot = -1;
  for (int i = 0; i < VFS_MAX_ARCHIVES && seen < vfs.cacheCount; i++) {
    if (vfs.cache[i] == nullptr) {
      freeSlot = i;
      continue;
    }
    seen++;
    if (lstrcmpA(vfs.cache[i]->path, archivePath) == 0) {
      vfs.cache[i]->references++;
      return i;
    }
  }
  if (vfs.cacheCount == VFS_MAX_ARCHIVES) {
    SweepKvaCache();
    if (vfs.cacheCount == VFS_MAX_ARCHIVES) return -1;
    freeSlot = -1;
  }
  if (freeSlot < 0)
    for (int i = 0; i < VFS_MAX_ARCHIVES; i++)
      if (vfs.cache[i] == nullptr) {
        freeSlot = i;
        break;
      }
  if (freeSlot < 0 || GetStringLength(archivePath) >= FILE_PATH_CHARS) return -1;
  KVA_ARCHIVE archive;
  ClearKvaArchive(&archive);
  int opened = loadWhole == 1 ? LoadKvaIntoMemory(&archive, archivePath, KeyString(), async)
                              : OpenKvaFile(&archive, archivePath, KeyString());
  if (opened != 0) return -1;
  KVA_CACHE_ENTRY* entry = (KVA_CACHE_ENTRY*)AllocTrackedZeroed(sizeof(KVA_CACHE_ENTRY), "", 0);
  if (entry == nullptr) {
    CloseKvaArchive(&archive);
    return -1;
  }
  entry->archive = archive;
  entry->references = 1;
  CopyString(entry->path, archivePath);
  vfs.cache[freeSlot] = entry;
  vfs.cacheCount++;
  return freeSlot;
}

int FindArchiveForPath(const char* path, int* cacheIndex, char* archivePath, char* innerPath) {
  char full[FILE_PATH_CHARS];
  if (MakeUpperFullPath(full, path) != 0) return -1;
  int index = -1;
  const char* inner = nullptr;
  int n = vfs.rememberedLength;
  if (n > 0 && CompareStringPrefix(full, vfs.rememberedPath, n) == 0 && IsSeparator(full[n])) {
    index = OpenCachedKva(vfs.rememberedIndex, vfs.rememberedPath, 0, 0);
    if (index < 0) return -1;
    vfs.rememberedIndex = index;
    inner = full + n + 1;
  } else {
    char candidate[FILE_PATH_CHARS];
    int at = 0;
    if (IsSeparator(full[0]) && IsSeparator(full[1])) at = 2;
    for (;;) {
      int start = at;
      while (full[at] != 0 && !IsSeparator(full[at]))
        at += IsDoubleByteLead((unsigned char)full[at], GetCharSetCode()) && full[at + 1] != 0 ? 2 : 1;
      if (full[at] == 0 || at == start) return -1;  // the last component is never an archive
      if (at + 1 + GetStringLength(Extension()) >= FILE_PATH_CHARS) return -1;
      FormatString(candidate, sizeof(candidate), "%.*s.%s", at, full, Extension());
      index = OpenCachedKva(-1, candidate, 0, 0);
      if (index >= 0) {
        CopyString(vfs.rememberedPath, candidate);
        vfs.rememberedLength = at;
        vfs.rememberedIndex = index;
        inner = full + at + 1;
        break;
      }
      at++;
    }
  }
  *cacheIndex = index;
  if (archivePath != nullptr) CopyString(archivePath, vfs.rememberedPath);
  if (innerPath != nullptr) CopyString(innerPath, inner);
  return 0;
}

uint32_t OpenVfsFile(const char* path, int useCache, int unused, int asyncRead) {
  (void)unused;
  EnsureLock();
  EnterLock(&vfs.lock);
  if (vfs.openCount >= VFS_MAX_FILES) {
    LeaveLock(&vfs.lock);
    WriteLogText("同時に開けるファイルの数が限界を超えました\n");
    return 0;
  }
  int slot = 0;
  while (slot < VFS_MAX_FILES && vfs.files[slot] != nullptr) slot++;
  VFS_FILE* file = slot < VFS_MAX_FILES ? (VFS_FILE*)AllocTrackedZeroed(sizeof(VFS_FILE), "", 0) : nullptr;
  if (file == nullptr) {
    LeaveLock(&vfs.lock);
    WriteLogText("ファイルの情報を格納するメモリの確保に失敗しました\n");
    return 0;
  }
  vfs.files[slot] = file;
  bool opened = false;
  for (int pass = 0; pass < 2 && !opened; pass++) {
    bool archiveWay = (pass == 0) == (vfs.fileFirst == 0);
    if (archiveWay) {
      char inner[FILE_PATH_CHARS];
      int index;
      if (FindArchiveForPath(path, &index, nullptr, inner) == 0) {
        file->inArchive = 1;
        file->cacheIndex = index;
        opened = OpenKvaEntryStream(&file->stream, GetCachedKva(index), inner, asyncRead) == 0;
        if (!opened) ReleaseArchive(index);
        if (vfs.fileFirst == 0) break;  // a path under an archive never falls back to the disk
      }
    } else {
      file->inArchive = 0;
      file->file = OpenWinFile(path, useCache, 1, asyncRead);
      opened = file->file != nullptr;
    }
  }
  if (!opened) {
    FreeTracked(file);
    vfs.files[slot] = nullptr;
    LeaveLock(&vfs.lock);
    return 0;
  }
  vfs.openCount++;
  LeaveLock(&vfs.lock);
  return (uint32_t)slot | VFS_HANDLE_TAG;
}

int CloseVfsFile(uint32_t handle) {
  EnsureLock();
  EnterLock(&vfs.lock);
  VFS_FILE* file = FileOf(handle);
  if (file == nullptr) {
    LeaveLock(&vfs.lock);
    return -1;
  }
  if (file->inArchive) {
    ReleaseArchive(file->cacheIndex);
    CloseKvaEntryStream(&file->stream);
  } else {
    CloseWinFile(file->file);
  }
  FreeTracked(file);
  vfs.files[handle & 0x0FFFFFFFu] = nullptr;
  vfs.openCount--;
  LeaveLock(&vfs.lock);
  return 0;
}

int TellVfsFile(uint32_t handle) {
  VFS_FILE* file = FileOf(handle);
  if (file == nullptr) return -1;
  return file->inArchive ? TellKvaEntryStream(&file->stream) : TellWinFile(file->file);
}

int SeekVfsFile(uint32_t handle, int offset, int origin) {
  VFS_FILE* file = FileOf(handle);
  if (file == nullptr) return -1;
  return file->inArchive ? SeekKvaEntryStream(&file->stream, offset, origin) : SeekWinFile(file->file, offset, origin);
}

int ReadVfsFile(void* buffer, int size, int count, uint32_t handle) {
  VFS_FILE* file = FileOf(handle);
  if (file == nullptr) return -1;
  if (!file->inArchive) return ReadWinFile(buffer, size, count, file->file);
  if (size <= 0 || count <= 0) return 0;
  uint64_t bytes = (uint64_t)size * (uint64_t)count;
  if (bytes > 0xFFFFFFFFu) bytes = 0xFFFFFFFFu;
  return ReadKvaEntryStream(&file->stream, buffer, (uint32_t)bytes) / size;
}

int IsVfsFileEof(uint32_t handle) {
  VFS_FILE* file = FileOf(handle);
  if (file == nullptr) return -1;
  return file->inArchive ? IsKvaEntryStreamEof(&file->stream) : IsWinFileEof(file->file);
}

int IsVfsFileIdle(uint32_t handle) {
  VFS_FILE* file = FileOf(handle);
  if (file == nullptr) return -1;
  return file->inArchive ? FinishKvaStreamRead(&file->stream) : IsWinFileIdle(file->file);
}

int SetVfsCurrentDir(const char* path) { return SetCurrentDirectoryA(path) ? 0 : -1; }

int GetVfsCurrentDir(char* buffer) {
  DWORD n = GetCurrentDirectoryA(256, buffer);
  if (n == 0 || n >= 256) {
    buffer[0] = 0;
    return -1;
  }
  return 0;
}

// The find functions change the archive cache and the archive's current directory, so they
// run inside the layer's lock like the opens.
intptr_t FindFirstVfsFile(const char* pattern, FILE_FIND_DATA* data) {
  EnsureLock();
  EnterLock(&vfs.lock);
  VFS_FIND* find = (VFS_FIND*)AllocTrackedZeroed(sizeof(VFS_FIND), "", 0);
  intptr_t result = -1;
  if (find != nullptr) {
    char inner[FILE_PATH_CHARS];
    int index;
    if (FindArchiveForPath(pattern, &index, nullptr, inner) != 0) {
      find->inArchive = 0;
      find->winFind = FindFirstWinFile(pattern, data);
      if (find->winFind != INVALID_HANDLE_VALUE) result = (intptr_t)find;
    } else {
      find->inArchive = 1;
      find->cacheIndex = index;
      find->kvaFind = FindFirstKvaEntry(GetCachedKva(index), inner, data);
      if (find->kvaFind != nullptr) result = (intptr_t)find;
      else ReleaseArchive(index);
    }
    if (result == -1) FreeTracked(find);
  }
  LeaveLock(&vfs.lock);
  return result;
}

int FindNextVfsFile(intptr_t handle, FILE_FIND_DATA* data) {
  if (handle == -1 || handle == 0) return -1;
  VFS_FIND* find = (VFS_FIND*)handle;
  EnsureLock();
  EnterLock(&vfs.lock);
  int result;
  if (find->inArchive) {
    result = NextKvaFindEntry(find->kvaFind, data);
    if (result == 0) find->kvaFind->nextIndex++;
  } else {
    result = FindNextWinFile(find->winFind, data);
  }
  LeaveLock(&vfs.lock);
  return result;
}

int CloseVfsFind(intptr_t handle) {
  if (handle == -1 || handle == 0) return -1;
  VFS_FIND* find = (VFS_FIND*)handle;
  EnsureLock();
  EnterLock(&vfs.lock);
  if (find->inArchive) {
    FreeTracked(find->kvaFind);
    ReleaseArchive(find->cacheIndex);
  } else {
    CloseWinFind(find->winFind);
  }
  FreeTracked(find);
  LeaveLock(&vfs.lock);
  return 0;
}
