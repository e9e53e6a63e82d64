// Opening and closing archives in their three modes, and the ciphering of their contents.
#include "kva_archive.h"

#include "core/memory.h"
#include "core/strings.h"
#include "file/kva_records.h"

namespace {
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
  a->currentDirectory = GetKvaRoot(a);
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
    const KVA_FILE_ENTRY* e = GetKvaDirectoryEntry(a, d, i);
    if (e == nullptr) return;
    if (IsKvaDirectoryEntry(e)) {
      CipherTree(a, GetKvaDirectoryAt(a, e->dataOffset), depth + 1, budget);
      continue;
    }
    uint32_t offset, stored;
    if (e->size > 0 && GetKvaDataRange(a, e, &offset, &stored)) CipherKvaBytes(stored, a->image + offset, e->size, a->key);
  }
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
  if (!async) WaitKvaPendingLoad(archive);
  return 0;
}

int FinishKvaAsyncOpen(KVA_ARCHIVE* archive) {
  if (!archive->wholeLoadPending) return 1;
  if (!IsWinFileIdle(archive->pendingFile)) return 0;
  CloseWinFile(archive->pendingFile);
  archive->pendingFile = nullptr;
  archive->wholeLoadPending = 0;
  if (archive->header.version < 5) CipherKvaBytes(archive->imageSize, archive->image, 0, archive->key);
  else CipherKvaFileData(archive, GetKvaRoot(archive));
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
  if (version >= 5) CipherKvaFileData(archive, GetKvaRoot(archive));
  return 0;
}

int CloseKvaArchive(KVA_ARCHIVE* archive) {
  if (archive->file == nullptr && archive->image == nullptr && archive->pendingFile == nullptr) return 0;
  WaitKvaPendingLoad(archive);
  if (archive->file != nullptr) {
    CloseWinFile(archive->file);
    FreeTracked(archive->headerBlock);
  } else if (!archive->callerImage) {
    FreeTracked(archive->headerBlock);
    FreeTracked(archive->image);
  } else if (archive->header.version < 5) {
    CipherKvaBytes(archive->imageSize, archive->image, 0, archive->key);
  } else {
    CipherKvaFileData(archive, GetKvaRoot(archive));
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
  WaitKvaPendingLoad(archive);
  return archive->image;
}

int CipherKvaFileData(KVA_ARCHIVE* archive, const KVA_DIRECTORY* directory) {
  if (!archive->memoryImage) return -1;
  if (archive->header.version < 5) return 0;
  uint32_t budget = (archive->header.headerBlockSize - archive->header.directoryTableOffset) / KVA_DIRECTORY_SIZE;
  CipherTree(archive, directory, 0, &budget);
  return 0;
}
