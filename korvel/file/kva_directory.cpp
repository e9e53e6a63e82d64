// Names, directories, lookups and enumeration inside an open archive.
#include "kva_archive.h"

#include "core/memory.h"
#include "core/strings.h"
#include "file/kva_records.h"
#include "system/base/sysinfo.h"

namespace {
// Position of the last component separator ('\', '/' or ':' outside double-byte
// characters), or -1.
int LastSeparator(const char* path, const KVA_ARCHIVE* a) {
  int last = -1;
  for (int i = 0; path[i] != 0; i++) {
    if (IsKvaLeadAt(a, path + i)) i++;
    else if (IsKvaSeparator(path[i]) || path[i] == ':') last = i;
  }
  return last;
}
}  // namespace

int PackKvaName(const char* text, KVA_NAME_KEY* key, KVA_ARCHIVE* archive, int* consumed) {
  int n = BuildKvaNameKey(text, key, archive->codePageClass, IsKvaLeadByte);
  if (consumed != nullptr) *consumed = n;
  return n < 0 ? -1 : 0;
}

int FindKvaSubdirectory(KVA_ARCHIVE* archive, const KVA_NAME_KEY* key) {
  const KVA_DIRECTORY* d = archive->currentDirectory;
  if (d == nullptr) return -1;
  for (uint32_t i = 0; i < d->entryCount; i++) {
    const KVA_FILE_ENTRY* e = GetKvaDirectoryEntry(archive, d, i);
    if (e == nullptr) return -1;
    if (!IsKvaDirectoryEntry(e) || !IsKvaNameMatch(archive, e, key)) continue;
    const KVA_DIRECTORY* found = GetKvaDirectoryAt(archive, e->dataOffset);
    if (found == nullptr) return -1;
    archive->currentDirectory = found;
    return 0;
  }
  return -1;
}

int ChangeKvaDirectory(KVA_ARCHIVE* archive, const char* path, int restoreOnFailure, KVA_NAME_KEY* keyOut) {
  WaitKvaPendingLoad(archive);
  const KVA_DIRECTORY* saved = archive->currentDirectory;
  if (saved == nullptr) return -1;
  if (CompareStringExact(path, ".") == 0) return 0;
  if (CompareStringExact(path, "\\") == 0 || CompareStringExact(path, "/") == 0) {
    archive->currentDirectory = GetKvaRoot(archive);
    return 0;
  }
  if (CompareStringExact(path, "..") == 0) {
    if (saved->parentOffset == KVA_NO_PARENT) return -1;
    const KVA_DIRECTORY* parent = GetKvaDirectoryAt(archive, saved->parentOffset);
    if (parent == nullptr) return -1;
    archive->currentDirectory = parent;
    return 0;
  }
  KVA_NAME_KEY key;
  const char* p = path;
  for (;;) {
    int n;
    if (PackKvaName(p, &key, archive, &n) != 0) break;
    if (n == 0 && IsKvaSeparator(*p)) {
      archive->currentDirectory = GetKvaRoot(archive);
    } else if (FindKvaSubdirectory(archive, &key) != 0) {
      break;
    }
    p += n;
    if (IsKvaSeparator(*p) && p[1] != 0) {
      p++;
      continue;
    }
    if (keyOut != nullptr) *keyOut = key;
    return 0;
  }
  if (restoreOnFailure == 1) archive->currentDirectory = saved;
  if (keyOut != nullptr) *keyOut = key;
  return -1;
}

// The file's directory part must exist as a whole ("X\Y" finds nothing without a folder X)
// and the name is looked up among the files of that directory only.
const KVA_FILE_ENTRY* FindKvaFileEntry(const char* path, KVA_ARCHIVE* archive) {
  WaitKvaPendingLoad(archive);
  const KVA_DIRECTORY* saved = archive->currentDirectory;
  if (saved == nullptr) return nullptr;
  int split = -1;
  for (int i = 0; path[i] != 0; i++) {
    if (IsKvaLeadAt(archive, path + i)) i++;
    else if (IsKvaSeparator(path[i])) split = i;
  }
  const KVA_FILE_ENTRY* result = nullptr;
  KVA_NAME_KEY key;
  if (split >= 0) {
    char folder[KVA_PATH_SIZE];
    if (split >= KVA_PATH_SIZE - 1) return nullptr;
    CopyMemoryBytes(folder, path, (size_t)split);
    folder[split] = 0;
    int ok = split == 0 ? (archive->currentDirectory = GetKvaRoot(archive), 0) : ChangeKvaDirectory(archive, folder, 0, nullptr);
    if (ok != 0) {
      archive->currentDirectory = saved;
      return nullptr;
    }
  }
  const char* name = path + split + 1;
  const KVA_DIRECTORY* d = archive->currentDirectory;
  if (name[0] != 0 && PackKvaName(name, &key, archive, nullptr) == 0) {
    for (uint32_t i = 0; i < d->entryCount; i++) {
      const KVA_FILE_ENTRY* e = GetKvaDirectoryEntry(archive, d, i);
      if (e == nullptr) break;
      if (!IsKvaDirectoryEntry(e) && IsKvaNameMatch(archive, e, &key)) {
        result = e;
        break;
      }
    }
  }
  archive->currentDirectory = saved;
  return result;
}

int SplitKvaPath(const char* path, KVA_ARCHIVE* archive, char* filePart, char* directoryPart) {
  int split = LastSeparator(path, archive);
  int length = GetStringLength(path);
  if (filePart != nullptr) {
    int n = length - (split + 1);
    if (n > FILE_PATH_SIZE - 1) n = FILE_PATH_SIZE - 1;
    CopyMemoryBytes(filePart, path + split + 1, (size_t)n);
    filePart[n] = 0;
  }
  if (directoryPart != nullptr) {
    int n = split < 0 ? 0 : split;
    if (n > FILE_PATH_SIZE - 1) n = FILE_PATH_SIZE - 1;
    CopyMemoryBytes(directoryPart, path, (size_t)n);
    directoryPart[n] = 0;
  }
  return 0;
}

int MatchKvaWildcard(const char* name, const char* pattern, KVA_ARCHIVE* archive) {
  const char* n = name;
  const char* p = pattern;
  for (;;) {
    if (*p == 0) return *n == 0 ? 0 : -1;
    if (IsKvaLeadAt(archive, p)) {
      if (n[0] != p[0] || n[1] != p[1]) return -1;
      n += 2;
      p += 2;
    } else if (*p == '*') {
      while (*p == '*') p++;
      if (*p == 0) return 0;
      while (*n != 0 && *n != *p) n++;
      if (*n == 0) return -1;
      n++;
      p++;
    } else if (*p == '?') {
      if (*n == 0) return -1;
      n++;
      p++;
    } else {
      if (*n != *p) return -1;
      n++;
      p++;
    }
    // A pattern with more to come needs more name: "A*" does not match "A".
    if (*p == 0) return *n == 0 ? 0 : -1;
    if (*n == 0) return -1;
  }
}

int GetKvaFileLocation(KVA_ARCHIVE* archive, const char* path, int* offset, int* size) {
  const KVA_FILE_ENTRY* e = FindKvaFileEntry(path, archive);
  uint32_t start, stored;
  if (e == nullptr || !GetKvaDataRange(archive, e, &start, &stored)) return -1;
  if (offset != nullptr) *offset = (int)start;
  if (size != nullptr) *size = (int)e->size;
  return 0;
}

KVA_FIND* FindFirstKvaEntry(KVA_ARCHIVE* archive, const char* pattern, FILE_FIND_DATA* data) {
  WaitKvaPendingLoad(archive);
  if (GetStringLength(pattern) >= FILE_PATH_SIZE) return nullptr;
  KVA_FIND* find = (KVA_FIND*)AllocTrackedZeroed(sizeof(KVA_FIND), "", 0);
  if (find == nullptr) return nullptr;
  char folder[FILE_PATH_SIZE];
  SplitKvaPath(pattern, archive, find->pattern, folder);
  UpperCaseString(find->pattern);
  UpperCaseString(folder);
  find->archive = archive;
  find->directory = archive->currentDirectory;
  if (folder[0] != 0 || LastSeparator(pattern, archive) == 0) {
    const KVA_DIRECTORY* saved = archive->currentDirectory;
    int ok = folder[0] == 0 ? (archive->currentDirectory = GetKvaRoot(archive), 0) : ChangeKvaDirectory(archive, folder, 0, nullptr);
    find->directory = archive->currentDirectory;
    archive->currentDirectory = saved;
    if (ok != 0) {
      FreeTracked(find);
      return nullptr;
    }
  }
  find->nextIndex = 0;
  if (find->directory == nullptr || NextKvaFindEntry(find, data) != 0) {
    FreeTracked(find);
    return nullptr;
  }
  find->nextIndex++;
  return find;
}

int NextKvaFindEntry(KVA_FIND* find, FILE_FIND_DATA* data) {
  KVA_ARCHIVE* a = find->archive;
  const KVA_DIRECTORY* d = find->directory;
  const uint32_t pseudo = d->parentOffset == KVA_NO_PARENT ? 1 : 2;
  const uint64_t total = (uint64_t)pseudo + d->entryCount;
  for (uint64_t index = find->nextIndex; index < total; index++) {
    char upper[FILE_PATH_SIZE];
    const KVA_FILE_ENTRY* e = nullptr;
    const uint8_t* name = nullptr;
    uint32_t units = 0;
    if (index < pseudo) {
      CopyString(upper, index == 0 ? "." : "..");
    } else {
      e = GetKvaDirectoryEntry(a, d, (uint32_t)(index - pseudo));
      if (e == nullptr || (name = GetKvaNameAt(a, e->nameOffset, &units)) == nullptr) break;
      CopyKvaName(name + 4, units, upper, FILE_PATH_SIZE);
    }
    if (MatchKvaWildcard(upper, find->pattern, a) != 0) continue;
    find->nextIndex = (uint32_t)index;
    if (data != nullptr) {
      FillBytes(data, 0, sizeof(*data));
      if (e == nullptr) {
        CopyString(data->name, upper);
        data->directory = 1;
      } else {
        CopyKvaName(name + 4 + units * 4, units, data->name, sizeof(data->name));
        data->directory = IsKvaDirectoryEntry(e) ? 1 : 0;
        data->sizeLow = e->size;
        FILETIME created, written;
        created.dwLowDateTime = (DWORD)e->creationTime;
        created.dwHighDateTime = (DWORD)(e->creationTime >> 32);
        written.dwLowDateTime = (DWORD)e->writeTime;
        written.dwHighDateTime = (DWORD)(e->writeTime >> 32);
        FileTimeToLocalDateTime(&created, &data->creationTime);
        FileTimeToLocalDateTime(&written, &data->lastWriteTime);
      }
    }
    return 0;
  }
  find->nextIndex = (uint32_t)(total > 0xFFFFFFFFu ? 0xFFFFFFFFu : total);
  return -1;
}
