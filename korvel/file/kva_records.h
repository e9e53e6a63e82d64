// Checked access to an open archive's records, shared by the reader's modules: every
// offset, size and count read from the archive is checked here against the header block it
// lies in, or against the archive itself for file data.
#pragma once
#include <cstdint>

#include "file/kva_archive.h"

const uint8_t* GetKvaBlockRange(const KVA_ARCHIVE* a, uint64_t offset, uint64_t size);
const KVA_FILE_ENTRY* GetKvaEntryAt(const KVA_ARCHIVE* a, uint64_t offset);
const KVA_DIRECTORY* GetKvaDirectoryAt(const KVA_ARCHIVE* a, uint64_t offset);
const KVA_DIRECTORY* GetKvaRoot(const KVA_ARCHIVE* a);
const KVA_FILE_ENTRY* GetKvaDirectoryEntry(const KVA_ARCHIVE* a, const KVA_DIRECTORY* d, uint32_t index);
bool IsKvaDirectoryEntry(const KVA_FILE_ENTRY* e);
const uint8_t* GetKvaNameAt(const KVA_ARCHIVE* a, uint32_t offset, uint32_t* units);
void CopyKvaName(const uint8_t* half, uint32_t units, char* out, int outSize);
bool IsKvaNameMatch(const KVA_ARCHIVE* a, const KVA_FILE_ENTRY* e, const KVA_NAME_KEY* key);
bool IsKvaCompressed(const KVA_ARCHIVE* a, const KVA_FILE_ENTRY* e);
bool GetKvaDataRange(const KVA_ARCHIVE* a, const KVA_FILE_ENTRY* e, uint32_t* offset, uint32_t* stored);
int IsKvaLeadByte(unsigned char byte, int codePageClass);
bool IsKvaLeadAt(const KVA_ARCHIVE* a, const char* p);
bool IsKvaSeparator(char c);
bool WaitKvaPendingLoad(KVA_ARCHIVE* a);
