#include "kva_archive.h"

#include "core/memory.h"
#include "core/strings.h"
#include "file/kva_lz.h"
#include "system/sysinfo.h"

namespace {
// ---- Checked access to the header block ----
// Every record is looked up through these, which return null when the record does not lie
// wholly inside the header block.
const uint8_t* BlockRange(const KVA_ARCHIVE* a, uint64_t offset, uint64_t size) {
  if (a->headerBlock == nullptr || offset + size > a->header.headerBlockSize) return nullptr;
  return a->headerBlock + offset;
}

uint32_t EntrySize(const KVA_ARCHIVE* a) { return GetKvaEntrySize(a->header.version); }

const KVA_FILE_ENTRY* EntryAt(const KVA_ARCHIVE* a, uint64_t offset) {
  return (const KVA_FILE_ENTRY*)BlockRange(a, (uint64_t)a->header.fileTableOffset + offset, EntrySize(a));
}

const KVA_DIRECTORY* DirectoryAt(const KVA_ARCHIVE* a, uint64_t offset) {
  return (const KVA_DIRECTORY*)BlockRange(a, (uint64_t)a->header.directoryTableOffset + offset, KVA_DIRECTORY_SIZE);
}

const KVA_DIRECTORY* Root(const KVA_ARCHIVE* a) { return DirectoryAt(a, 0); }

const KVA_FILE_ENTRY* DirectoryEntry(const KVA_ARCHIVE* a, const KVA_DIRECTORY* d, uint32_t index) {
  if (index >= d->entryCount) return nullptr;
  return EntryAt(a, (uint64_t)d->firstEntryOffset + (uint64_t)index * EntrySize(a));
}

bool IsDirectoryEntry(const KVA_FILE_ENTRY* e) { return (e->attributes & KVA_ATTRIBUTE_DIRECTORY) != 0; }

// The name entry: upper-cased half (units * 4 bytes) then the own-case half.
const uint8_t* NameAt(const KVA_ARCHIVE* a, uint32_t offset, uint32_t* units) {
  const uint8_t* head = BlockRange(a, offset, 4);
  if (head == nullptr) return nullptr;
  *units = head[0] | (head[1] << 8);
  if (BlockRange(a, (uint64_t)offset + 4, (uint64_t)*units * 8) == nullptr) return nullptr;
  return head;
}

// Copies one half of a name, bounded by its units and by the output size.
void CopyName(const uint8_t* half, uint32_t units, char* out, int outSize) {
  int i = 0;
  for (; i < outSize - 1 && (uint32_t)i < units * 4 && half[i] != 0; i++) out[i] = (char)half[i];
  out[i] = 0;
}

bool NameMatches(const KVA_ARCHIVE* a, const KVA_FILE_ENTRY* e, const KVA_NAME_KEY* key) {
  uint32_t units;
  const uint8_t* name = NameAt(a, e->nameOffset, &units);
  if (name == nullptr || units != key->units) return false;
  if ((uint16_t)(name[2] | (name[3] << 8)) != key->check) return false;
  return CompareBytes(name + 4, key->bytes, units * 4u) == 0;
}

bool IsCompressed(const KVA_ARCHIVE* a, const KVA_FILE_ENTRY* e) {
  return a->header.version >= 2 && e->storedSize != KVA_NOT_COMPRESSED;
}

// Where an entry's stored bytes lie in the archive; false when they do not lie inside it.
bool DataRange(const KVA_ARCHIVE* a, const KVA_FILE_ENTRY* e, uint32_t* offset, uint32_t* stored) {
  uint64_t start = (uint64_t)a->header.dataOffset + e->dataOffset;
  uint64_t length = IsCompressed(a, e) ? e->storedSize : e->size;
  if (start + length > a->archiveSize) return false;
  // In memory images the data is deciphered in place: it must not overlap the header or the
  // header block, or ciphering it would change the records being walked.
  if (a->memoryImage && length > 0) {
    uint64_t blockStart = a->header.headerBlockOffset, blockEnd = blockStart + a->header.headerBlockSize;
    if (start < GetKvaHeaderSize(a->header.version)) return false;
    if (start < blockEnd && blockStart < start + length) return false;
  }
  *offset = (uint32_t)start;
  *stored = (uint32_t)length;
  return true;
}

int LeadTest(unsigned char byte, int codePageClass) {
  return IsDoubleByteLead(byte, codePageClass == 0 ? CHARSET_SHIFTJIS : codePageClass);
}

bool IsLead(const KVA_ARCHIVE* a, const char* p) { return LeadTest((unsigned char)p[0], a->codePageClass) && p[1] != 0; }
bool IsSeparator(char c) { return c == '\\' || c == '/'; }

// The header fields a reader relies on, checked against the archive size.
bool HeaderIsSound(const KVA_ARCHIVE* a) {
  const KVA_HEADER& h = a->header;
  if (h.signature != KVA_SIGNATURE || h.version > KVA_MAX_VERSION) return false;
  if ((uint64_t)h.headerBlockOffset + h.headerBlockSize > a->archiveSize) return false;
  if (h.fileTableOffset > h.headerBlockSize) return false;
  if ((uint64_t)h.directoryTableOffset + KVA_DIRECTORY_SIZE > h.headerBlockSize) return false;
  if (h.dataOffset > a->archiveSize) return false;
  return true;
}

void SetUpTables(KVA_ARCHIVE* a) {
  a->codePageClass = a->header.version >= 4 ? GetKvaCodePageClass(a->header.codePage) : 0;
  a->currentDirectory = Root(a);
}

// Reads the first 8 header bytes at the start of the file and tries both keys.
bool ReadSignature(KVA_ARCHIVE* a, WIN_FILE* file, const char* keyString) {
  MakeKvaKey(keyString, a->key);
  for (int attempt = 0; attempt < 2; attempt++) {
    if (attempt == 1) MakeKvaSecondKey(a->key);
    if (SeekWinFile(file, 0, 0) != 0 || ReadKvaBytes(0, file, &a->header, 8, a->key) != 0) return false;
    if (a->header.signature == KVA_SIGNATURE) return a->header.version <= KVA_MAX_VERSION;
  }
  return false;
}

// Steps 1 to 4 of opening from a file: header and deciphered header block.
int OpenHeaderFromFile(KVA_ARCHIVE* a, const char* path, const char* keyString, WIN_FILE** fileOut) {
  if (a->file != nullptr || a->image != nullptr || a->pendingFile != nullptr) return -1;
  FillBytes(&a->header, 0, sizeof(a->header));
  int length = GetStringLength(path);
  if (length >= KVA_PATH_SIZE) return -1;
  WIN_FILE* file = OpenWinFile(path, 0, 1, 0);
  if (file == nullptr) return -1;
  CopyMemoryBytes(a->path, path, (size_t)length + 1);
  a->archiveSize = file->size;
  uint32_t rest = 0;
  if (!ReadSignature(a, file, keyString)) goto fail;
  rest = GetKvaHeaderSize(a->header.version) - 8;
  if (ReadKvaBytes(8, file, (uint8_t*)&a->header + 8, rest, a->key) != 0) goto fail;
  if (a->header.version < 4) a->header.codePage = 0;
  if (!HeaderIsSound(a)) goto fail;
  a->headerBlock = (uint8_t*)AllocTracked(a->header.headerBlockSize > 0 ? a->header.headerBlockSize : 1, "", 0);
  if (a->headerBlock == nullptr) goto fail;
  if (SeekWinFile(file, (int)a->header.headerBlockOffset, 0) != 0 ||
      ReadKvaBytes(a->header.version < 5 ? -1 : 0, file, a->headerBlock, a->header.headerBlockSize, a->key) != 0)
    goto fail;
  SetUpTables(a);
  a->memoryImage = 0;
  *fileOut = file;
  return 0;
fail:
  CloseWinFile(file);
  if (a->headerBlock != nullptr) FreeTracked(a->headerBlock);
  ClearKvaArchive(a);
  return -1;
}

// Walks the tree and ciphers each file's stored bytes in the image (version 5). The walk is
// bounded by the directory table's size, so a damaged tree with loops still ends, and it is
// the same walk both ways, so enciphering again restores the image.
void CipherTree(KVA_ARCHIVE* a, const KVA_DIRECTORY* d, int depth, uint32_t* budget) {
  if (d == nullptr || depth > 256 || *budget == 0) return;
  (*budget)--;
  for (uint32_t i = 0; i < d->entryCount; i++) {
    const KVA_FILE_ENTRY* e = DirectoryEntry(a, d, i);
    if (e == nullptr) return;
    if (IsDirectoryEntry(e)) {
      CipherTree(a, DirectoryAt(a, e->dataOffset), depth + 1, budget);
      continue;
    }
    uint32_t offset, stored;
    if (e->size > 0 && DataRange(a, e, &offset, &stored)) CipherKvaBytes(stored, a->image + offset, e->size, a->key);
  }
}

bool WaitPendingLoad(KVA_ARCHIVE* a) {
  while (FinishKvaAsyncOpen(a) == 0) Sleep(0);
  return true;
}

void WaitPendingStep(KVA_STREAM* s) {
  while (FinishKvaStreamRead(s) == 0) Sleep(1);
}

// Position of the last component separator ('\', '/' or ':' outside double-byte
// characters), or -1.
int LastSeparator(const char* path, const KVA_ARCHIVE* a) {
  int last = -1;
  for (int i = 0; path[i] != 0; i++) {
    if (IsLead(a, path + i)) i++;
    else if (IsSeparator(path[i]) || path[i] == ':') last = i;
  }
  return last;
}
}  // namespace

int ClearKvaArchive(KVA_ARCHIVE* archive) {
  FillBytes(archive, 0, sizeof(*archive));
  return 0;
}

int ReadKvaBytes(int64_t keyPosition, WIN_FILE* file, void* buffer, uint32_t size, const uint8_t* key) {
  if (size == 0) return 0;
  if (keyPosition < 0) keyPosition = TellWinFile(file);
  if (ReadWinFile(buffer, (int)size, 1, file) != 1) return -1;
  while (!IsWinFileIdle(file)) Sleep(1);
  CipherKvaBytes(size, buffer, (uint32_t)keyPosition, key);
  return 0;
}

int OpenKvaFile(KVA_ARCHIVE* archive, const char* path, const char* keyString) {
  WIN_FILE* file;
  if (OpenHeaderFromFile(archive, path, keyString, &file) != 0) return -1;
  archive->file = file;
  return 0;
}

int LoadKvaIntoMemory(KVA_ARCHIVE* archive, const char* path, const char* keyString, int async) {
  WIN_FILE* file;
  if (OpenHeaderFromFile(archive, path, keyString, &file) != 0) return -1;
  archive->image = (uint8_t*)AllocTracked(archive->archiveSize > 0 ? archive->archiveSize : 1, "", 0);
  if (archive->image == nullptr || SeekWinFile(file, 0, 0) != 0 ||
      ReadWinFile(archive->image, (int)archive->archiveSize, 1, file) != 1) {
    CloseWinFile(file);
    if (archive->image != nullptr) FreeTracked(archive->image);
    FreeTracked(archive->headerBlock);
    ClearKvaArchive(archive);
    return -1;
  }
  archive->imageSize = archive->archiveSize;
  archive->pendingFile = file;
  archive->wholeLoadPending = 1;
  archive->memoryImage = 1;
  archive->callerImage = 0;
  if (!async) WaitPendingLoad(archive);
  return 0;
}

int FinishKvaAsyncOpen(KVA_ARCHIVE* archive) {
  if (!archive->wholeLoadPending) return 1;
  if (!IsWinFileIdle(archive->pendingFile)) return 0;
  CloseWinFile(archive->pendingFile);
  archive->pendingFile = nullptr;
  archive->wholeLoadPending = 0;
  if (archive->header.version < 5) CipherKvaBytes(archive->imageSize, archive->image, 0, archive->key);
  else CipherKvaFileData(archive, Root(archive));
  return 1;
}

int OpenKvaFromMemory(KVA_ARCHIVE* archive, void* imageBytes, uint32_t imageSize, const char* keyString) {
  if (archive->file != nullptr || archive->image != nullptr || archive->pendingFile != nullptr) return -1;
  uint8_t* image = (uint8_t*)imageBytes;
  if (image == nullptr || imageSize < KVA_HEADER_SIZE_V1) return -1;
  MakeKvaKey(keyString, archive->key);
  KVA_HEADER header = {};
  for (int attempt = 0;; attempt++) {
    if (attempt == 2) return -1;
    if (attempt == 1) MakeKvaSecondKey(archive->key);
    CopyMemoryBytes(&header, image, 8);
    CipherKvaBytes(8, &header, 0, archive->key);
    if (header.signature == KVA_SIGNATURE) break;
  }
  const int version = header.version;
  if (version > KVA_MAX_VERSION) return -1;
  const uint32_t headerSize = GetKvaHeaderSize(version);
  if (imageSize < headerSize) return -1;
  if (version < 5) CipherKvaBytes(imageSize, image, 0, archive->key);
  CopyMemoryBytes(&header, image, headerSize);
  if (version >= 5) CipherKvaBytes(headerSize, &header, 0, archive->key);
  if (version < 4) header.codePage = 0;
  archive->header = header;
  archive->archiveSize = imageSize;
  archive->image = image;
  archive->imageSize = imageSize;
  archive->memoryImage = 1;
  archive->callerImage = 1;
  if (!HeaderIsSound(archive)) {
    if (version < 5) CipherKvaBytes(imageSize, image, 0, archive->key);
    ClearKvaArchive(archive);
    return -1;
  }
  archive->headerBlock = image + header.headerBlockOffset;
  if (version >= 5) CipherKvaBytes(header.headerBlockSize, archive->headerBlock, 0, archive->key);
  SetUpTables(archive);
  if (version >= 5) CipherKvaFileData(archive, Root(archive));
  return 0;
}

int CloseKvaArchive(KVA_ARCHIVE* archive) {
  if (archive->file == nullptr && archive->image == nullptr && archive->pendingFile == nullptr) return 0;
  WaitPendingLoad(archive);
  if (archive->file != nullptr) {
    CloseWinFile(archive->file);
    FreeTracked(archive->headerBlock);
  } else if (!archive->callerImage) {
    FreeTracked(archive->headerBlock);
    FreeTracked(archive->image);
  } else if (archive->header.version < 5) {
    CipherKvaBytes(archive->imageSize, archive->image, 0, archive->key);
  } else {
    CipherKvaFileData(archive, Root(archive));
    CipherKvaBytes(archive->header.headerBlockSize, archive->headerBlock, 0, archive->key);
  }
  ClearKvaArchive(archive);
  return 0;
}

int ReleaseKvaArchive(KVA_ARCHIVE* archive) {
  CloseKvaArchive(archive);
  return ClearKvaArchive(archive);
}

void* GetKvaMemoryImage(KVA_ARCHIVE* archive) {
  if (!archive->memoryImage) return nullptr;
  WaitPendingLoad(archive);
  return archive->image;
}

int CipherKvaFileData(KVA_ARCHIVE* archive, const KVA_DIRECTORY* directory) {
  if (!archive->memoryImage) return -1;
  if (archive->header.version < 5) return 0;
  uint32_t budget = (archive->header.headerBlockSize - archive->header.directoryTableOffset) / KVA_DIRECTORY_SIZE;
  CipherTree(archive, directory, 0, &budget);
  return 0;
}

// ---- Names and directories ----

int PackKvaName(const char* text, KVA_NAME_KEY* key, KVA_ARCHIVE* archive, int* consumed) {
  int n = BuildKvaNameKey(text, key, archive->codePageClass, LeadTest);
  if (consumed != nullptr) *consumed = n;
  return n < 0 ? -1 : 0;
}

int FindKvaSubdirectory(KVA_ARCHIVE* archive, const KVA_NAME_KEY* key) {
  const KVA_DIRECTORY* d = archive->currentDirectory;
  if (d == nullptr) return -1;
  for (uint32_t i = 0; i < d->entryCount; i++) {
    const KVA_FILE_ENTRY* e = DirectoryEntry(archive, d, i);
    if (e == nullptr) return -1;
    if (!IsDirectoryEntry(e) || !NameMatches(archive, e, key)) continue;
    const KVA_DIRECTORY* found = DirectoryAt(archive, e->dataOffset);
    if (found == nullptr) return -1;
    archive->currentDirectory = found;
    return 0;
  }
  return -1;
}

int ChangeKvaDirectory(KVA_ARCHIVE* archive, const char* path, int restoreOnFailure, KVA_NAME_KEY* keyOut) {
  WaitPendingLoad(archive);
  const KVA_DIRECTORY* saved = archive->currentDirectory;
  if (saved == nullptr) return -1;
  if (CompareStringExact(path, ".") == 0) return 0;
  if (CompareStringExact(path, "\\") == 0 || CompareStringExact(path, "/") == 0) {
    archive->currentDirectory = Root(archive);
    return 0;
  }
  if (CompareStringExact(path, "..") == 0) {
    if (saved->parentOffset == KVA_NO_PARENT) return -1;
    const KVA_DIRECTORY* parent = DirectoryAt(archive, saved->parentOffset);
    if (parent == nullptr) return -1;
    archive->currentDirectory = parent;
    return 0;
  }
  KVA_NAME_KEY key;
  const char* p = path;
  for (;;) {
    int n;
    if (PackKvaName(p, &key, archive, &n) != 0) break;
    if (n == 0 && IsSeparator(*p)) {
      archive->currentDirectory = Root(archive);
    } else if (FindKvaSubdirectory(archive, &key) != 0) {
      break;
    }
    p += n;
    if (IsSeparator(*p) && p[1] != 0) {
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
  WaitPendingLoad(archive);
  const KVA_DIRECTORY* saved = archive->currentDirectory;
  if (saved == nullptr) return nullptr;
  int split = -1;
  for (int i = 0; path[i] != 0; i++) {
    if (IsLead(archive, path + i)) i++;
    else if (IsSeparator(path[i])) split = i;
  }
  const KVA_FILE_ENTRY* result = nullptr;
  KVA_NAME_KEY key;
  if (split >= 0) {
    char folder[KVA_PATH_SIZE];
    if (split >= KVA_PATH_SIZE - 1) return nullptr;
    CopyMemoryBytes(folder, path, (size_t)split);
    folder[split] = 0;
    int ok = split == 0 ? (archive->currentDirectory = Root(archive), 0) : ChangeKvaDirectory(archive, folder, 0, nullptr);
    if (ok != 0) {
      archive->currentDirectory = saved;
      return nullptr;
    }
  }
  const char* name = path + split + 1;
  const KVA_DIRECTORY* d = archive->currentDirectory;
  if (name[0] != 0 && PackKvaName(name, &key, archive, nullptr) == 0) {
    for (uint32_t i = 0; i < d->entryCount; i++) {
      const KVA_FILE_ENTRY* e = DirectoryEntry(archive, d, i);
      if (e == nullptr) break;
      if (!IsDirectoryEntry(e) && NameMatches(archive, e, &key)) {
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
    if (IsLead(archive, p)) {
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
    if (*p == 0) return *n == 0 ? 0 : -1;
    if (*n == 0) {
      // Only '*' may match an empty rest of the name.
      while (*p == '*') p++;
      return *p == 0 ? 0 : -1;
    }
  }
}

int GetKvaFileLocation(KVA_ARCHIVE* archive, const char* path, int* offset, int* size) {
  const KVA_FILE_ENTRY* e = FindKvaFileEntry(path, archive);
  uint32_t start, stored;
  if (e == nullptr || !DataRange(archive, e, &start, &stored)) return -1;
  if (offset != nullptr) *offset = (int)start;
  if (size != nullptr) *size = (int)e->size;
  return 0;
}

// ---- Enumeration ----

KVA_FIND* FindFirstKvaEntry(KVA_ARCHIVE* archive, const char* pattern, FILE_FIND_DATA* data) {
  WaitPendingLoad(archive);
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
    int ok = folder[0] == 0 ? (archive->currentDirectory = Root(archive), 0) : ChangeKvaDirectory(archive, folder, 0, nullptr);
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
      e = DirectoryEntry(a, d, (uint32_t)(index - pseudo));
      if (e == nullptr || (name = NameAt(a, e->nameOffset, &units)) == nullptr) break;
      CopyName(name + 4, units, upper, FILE_PATH_SIZE);
    }
    if (MatchKvaWildcard(upper, find->pattern, a) != 0) continue;
    find->nextIndex = (uint32_t)index;
    if (data != nullptr) {
      FillBytes(data, 0, sizeof(*data));
      if (e == nullptr) {
        CopyString(data->name, upper);
        data->directory = 1;
      } else {
        CopyName(name + 4 + units * 4, units, data->name, sizeof(data->name));
        data->directory = IsDirectoryEntry(e) ? 1 : 0;
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

// ---- Streams ----

int OpenKvaEntryStream(KVA_STREAM* stream, KVA_ARCHIVE* archive, const char* path, int async) {
  FillBytes(stream, 0, sizeof(*stream));
  const KVA_FILE_ENTRY* e = FindKvaFileEntry(path, archive);
  uint32_t start, stored;
  if (e == nullptr || !DataRange(archive, e, &start, &stored)) return -1;
  WIN_FILE* file = OpenWinFile(archive->path, 0, 1, 0);
  if (file == nullptr) return -1;
  stream->archive = archive;
  stream->entry = e;
  stream->file = file;
  stream->async = async;
  if (!IsCompressed(archive, e)) return 0;

  stream->decoded = (uint8_t*)AllocTracked(e->size > 0 ? e->size : 1, "", 0);
  if (stream->decoded == nullptr) goto fail;
  if (archive->memoryImage) {
    if (DecodeKvaLz(archive->image + start, stored, stream->decoded, e->size) != (int)e->size) goto fail;
    return 0;
  }
  stream->compressed = (uint8_t*)AllocTracked(stored > 0 ? stored : 1, "", 0);
  if (stream->compressed == nullptr || SeekWinFile(file, (int)start, 0) != 0) goto fail;
  if (async) {
    stream->lastReadFilePosition = start;
    if (ReadWinFile(stream->compressed, (int)stored, 1, file) != 1) goto fail;
    stream->pendingStep = 1;
    return 0;
  }
  if (ReadKvaBytes(archive->header.version < 5 ? -1 : (int64_t)e->size, file, stream->compressed, stored, archive->key) != 0 ||
      DecodeKvaLz(stream->compressed, stored, stream->decoded, e->size) != (int)e->size)
    goto fail;
  FreeTracked(stream->compressed);
  stream->compressed = nullptr;
  return 0;
fail:
  if (stream->decoded != nullptr) FreeTracked(stream->decoded);
  if (stream->compressed != nullptr) FreeTracked(stream->compressed);
  CloseWinFile(file);
  FillBytes(stream, 0, sizeof(*stream));
  return -1;
}

int FinishKvaStreamRead(KVA_STREAM* stream) {
  if (!stream->async || stream->pendingStep == 0) return 1;
  if (!IsWinFileIdle(stream->file)) return 0;
  KVA_ARCHIVE* a = stream->archive;
  const KVA_FILE_ENTRY* e = stream->entry;
  const uint32_t dataStart = a->header.dataOffset + e->dataOffset;
  if (stream->pendingStep == 1) {
    CipherKvaBytes(e->storedSize, stream->compressed, a->header.version < 5 ? stream->lastReadFilePosition : e->size, a->key);
    if (DecodeKvaLz(stream->compressed, e->storedSize, stream->decoded, e->size) != (int)e->size) {
      // A damaged block reads as nothing: the stream is at its end.
      FreeTracked(stream->decoded);
      stream->decoded = nullptr;
      stream->eof = 1;
    }
    FreeTracked(stream->compressed);
    stream->compressed = nullptr;
  } else {
    uint32_t position = a->header.version < 5 ? stream->lastReadFilePosition
                                              : e->size + (stream->lastReadFilePosition - dataStart);
    CipherKvaBytes(stream->lastReadSize, stream->lastReadBuffer, position, a->key);
  }
  stream->pendingStep = 0;
  return 1;
}

int ReadKvaEntryStream(KVA_STREAM* stream, void* buffer, uint32_t bytes) {
  WaitPendingStep(stream);
  KVA_ARCHIVE* a = stream->archive;
  const KVA_FILE_ENTRY* e = stream->entry;
  if (stream->eof) return 0;
  if (stream->position >= e->size) {
    stream->eof = 1;
    return 0;
  }
  uint32_t n = bytes < e->size - stream->position ? bytes : e->size - stream->position;
  if (n == 0) return 0;
  const uint32_t dataStart = a->header.dataOffset + e->dataOffset;  // checked at open
  if (IsCompressed(a, e)) {
    if (stream->decoded == nullptr) return 0;
    CopyMemoryBytes(buffer, stream->decoded + stream->position, n);
  } else if (a->memoryImage) {
    CopyMemoryBytes(buffer, a->image + dataStart + stream->position, n);
  } else {
    uint32_t at = dataStart + stream->position;
    if ((uint32_t)TellWinFile(stream->file) != at && SeekWinFile(stream->file, (int)at, 0) != 0) return 0;
    if (stream->async) {
      if (ReadWinFile(buffer, (int)n, 1, stream->file) != 1) return 0;
      stream->lastReadFilePosition = at;
      stream->lastReadBuffer = (uint8_t*)buffer;
      stream->lastReadSize = n;
      stream->pendingStep = 2;
    } else if (ReadKvaBytes(a->header.version < 5 ? -1 : (int64_t)e->size + stream->position, stream->file, buffer, n,
                            a->key) != 0) {
      return 0;
    }
  }
  stream->position += n;
  stream->eof = 0;
  return (int)n;
}

int SeekKvaEntryStream(KVA_STREAM* stream, int offset, int origin) {
  WaitPendingStep(stream);
  int64_t target = origin == 1 ? (int64_t)stream->position + offset : origin == 2 ? (int64_t)stream->entry->size + offset : offset;
  if (target < 0) target = 0;
  if (target > stream->entry->size) target = stream->entry->size;
  stream->position = (uint32_t)target;
  stream->eof = 0;
  return 0;
}

int TellKvaEntryStream(KVA_STREAM* stream) {
  WaitPendingStep(stream);
  return (int)stream->position;
}

int IsKvaEntryStreamEof(KVA_STREAM* stream) {
  WaitPendingStep(stream);
  return stream->eof ? -1 : 0;
}

int CloseKvaEntryStream(KVA_STREAM* stream) {
  if (stream->file != nullptr) WaitPendingStep(stream);
  if (stream->decoded != nullptr) FreeTracked(stream->decoded);
  if (stream->compressed != nullptr) FreeTracked(stream->compressed);
  if (stream->file != nullptr) CloseWinFile(stream->file);
  FillBytes(stream, 0, sizeof(*stream));
  return 0;
}
