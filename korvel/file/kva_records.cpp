#include "file/kva_records.h"

#include "core/strings.h"

// Every record is looked up through these, which return null (or false) when the record
// does not lie wholly inside the header block, or the data inside the archive.
// Every record is looked up through these, which return null when the record does not lie
// wholly inside the header block.
const uint8_t* GetKvaBlockRange(const KVA_ARCHIVE* a, uint64_t offset, uint64_t size) {
  if (a->headerBlock == nullptr || offset + size > a->header.headerBlockSize) return nullptr;
  return a->headerBlock + offset;
}

namespace {
uint32_t GetArchiveEntrySize(const KVA_ARCHIVE* a) { return GetKvaEntrySize(a->header.version); }
}  // namespace

const KVA_FILE_ENTRY* GetKvaEntryAt(const KVA_ARCHIVE* a, uint64_t offset) {
  return (const KVA_FILE_ENTRY*)GetKvaBlockRange(a, (uint64_t)a->header.fileTableOffset + offset, GetArchiveEntrySize(a));
}

const KVA_DIRECTORY* GetKvaDirectoryAt(const KVA_ARCHIVE* a, uint64_t offset) {
  return (const KVA_DIRECTORY*)GetKvaBlockRange(a, (uint64_t)a->header.directoryTableOffset + offset, KVA_DIRECTORY_SIZE);
}

const KVA_DIRECTORY* GetKvaRoot(const KVA_ARCHIVE* a) { return GetKvaDirectoryAt(a, 0); }

const KVA_FILE_ENTRY* GetKvaDirectoryEntry(const KVA_ARCHIVE* a, const KVA_DIRECTORY* d, uint32_t index) {
  if (index >= d->entryCount) return nullptr;
  return GetKvaEntryAt(a, (uint64_t)d->firstEntryOffset + (uint64_t)index * GetArchiveEntrySize(a));
}

bool IsKvaDirectoryEntry(const KVA_FILE_ENTRY* e) { return (e->attributes & KVA_ATTRIBUTE_DIRECTORY) != 0; }

// The name entry: upper-cased half (units * 4 bytes) then the own-case half.
const uint8_t* GetKvaNameAt(const KVA_ARCHIVE* a, uint32_t offset, uint32_t* units) {
  const uint8_t* head = GetKvaBlockRange(a, offset, 4);
  if (head == nullptr) return nullptr;
  *units = head[0] | (head[1] << 8);
  if (GetKvaBlockRange(a, (uint64_t)offset + 4, (uint64_t)*units * 8) == nullptr) return nullptr;
  return head;
}

// Copies one half of a name, bounded by its units and by the output size.
void CopyKvaName(const uint8_t* half, uint32_t units, char* out, int outSize) {
  int i = 0;
  for (; i < outSize - 1 && (uint32_t)i < units * 4 && half[i] != 0; i++) out[i] = (char)half[i];
  out[i] = 0;
}

bool IsKvaNameMatch(const KVA_ARCHIVE* a, const KVA_FILE_ENTRY* e, const KVA_NAME_KEY* key) {
  uint32_t units;
  const uint8_t* name = GetKvaNameAt(a, e->nameOffset, &units);
  if (name == nullptr || units != key->units) return false;
  if ((uint16_t)(name[2] | (name[3] << 8)) != key->check) return false;
  return CompareBytes(name + 4, key->bytes, units * 4u) == 0;
}

bool IsKvaCompressed(const KVA_ARCHIVE* a, const KVA_FILE_ENTRY* e) {
  return a->header.version >= 2 && e->storedSize != KVA_NOT_COMPRESSED;
}

// Where an entry's stored bytes lie in the archive; false when they do not lie inside it.
bool GetKvaDataRange(const KVA_ARCHIVE* a, const KVA_FILE_ENTRY* e, uint32_t* offset, uint32_t* stored) {
  uint64_t start = (uint64_t)a->header.dataOffset + e->dataOffset;
  uint64_t length = IsKvaCompressed(a, e) ? e->storedSize : e->size;
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

int IsKvaLeadByte(unsigned char byte, int codePageClass) {
  return IsDoubleByteLead(byte, codePageClass == 0 ? CHARSET_SHIFTJIS : codePageClass);
}

bool IsKvaLeadAt(const KVA_ARCHIVE* a, const char* p) { return IsKvaLeadByte((unsigned char)p[0], a->codePageClass) && p[1] != 0; }

bool IsKvaSeparator(char c) { return c == '\\' || c == '/'; }

bool WaitKvaPendingLoad(KVA_ARCHIVE* a) {
  while (FinishKvaAsyncOpen(a) == 0) Sleep(0);
  return true;
}
