// The KVA archive format: records, key, cipher and name keys. This file and kva_format.cpp,
// kva_lz.h and kva_lz.cpp use only the C++ standard library: they are compiled both into the
// library (reader) and into the native archive writer of tools/kvapack, so both sides share
// one definition of the key, the cipher and the record layouts.
#pragma once
#include <cstdint>

enum {
  KVA_SIGNATURE = 0x564B,  // "KV"
  KVA_MAX_VERSION = 5,
  KVA_KEY_SIZE = 12,
  KVA_HEADER_SIZE_V1 = 24,  // versions 1 to 3
  KVA_HEADER_SIZE_V4 = 28,  // version 4 and up: the code page follows
  KVA_DIRECTORY_SIZE = 16,
  KVA_NAME_MAX = 1024,           // longest name (bytes) a name key holds
  KVA_NAME_KEY_UNITS = KVA_NAME_MAX / 4 + 1,
  KVA_ATTRIBUTE_DIRECTORY = 0x10,
};
static const uint32_t KVA_NOT_COMPRESSED = 0xFFFFFFFFu;
static const uint32_t KVA_NO_PARENT = 0xFFFFFFFFu;

#pragma pack(push, 1)
struct KVA_HEADER {
  uint16_t signature;
  uint16_t version;
  uint32_t headerBlockSize;
  uint32_t dataOffset;         // data area, from the start of the archive
  uint32_t headerBlockOffset;  // from the start of the archive
  uint32_t fileTableOffset;    // within the header block
  uint32_t directoryTableOffset;
  uint32_t codePage;           // version 4 and up
};

// One file or directory record (40 bytes below version 2, 44 from version 2).
struct KVA_FILE_ENTRY {
  uint32_t nameOffset;  // of its KVA_NAME_ENTRY in the name table
  uint32_t attributes;
  uint64_t creationTime;
  uint64_t accessTime;
  uint64_t writeTime;
  uint32_t dataOffset;  // in the data area; a directory: its KVA_DIRECTORY in the directory table
  uint32_t size;
  uint32_t storedSize;  // version 2 and up: compressed size, or KVA_NOT_COMPRESSED
};

struct KVA_DIRECTORY {
  uint32_t fileEntryOffset;  // its own KVA_FILE_ENTRY
  uint32_t parentOffset;     // KVA_NO_PARENT for the root
  uint32_t entryCount;
  uint32_t firstEntryOffset;
};
#pragma pack(pop)

// One path component prepared for comparison with a name entry's first half.
struct KVA_NAME_KEY {
  uint8_t bytes[KVA_NAME_KEY_UNITS * 4];  // upper-cased name, zero-filled to whole units
  uint16_t check;                         // byte sum modulo 65536
  uint16_t units;                         // length in 4-byte units
};

// The lead-byte test for names: the reader passes the library's IsDoubleByteLead, the writer
// its own copy of the same ranges. The argument is the code-page class (0 = Shift-JIS ranges).
typedef int (*KVA_LEAD_BYTE_TEST)(unsigned char byte, int codePageClass);

void MakeKvaKey(const char* keyString, uint8_t key[KVA_KEY_SIZE]);
void MakeKvaSecondKey(uint8_t key[KVA_KEY_SIZE]);
// XORs count bytes in place starting at the given key position; returns the position after
// the last byte (mod 12). Enciphering and deciphering are the same operation.
uint32_t CipherKvaBytes(uint32_t count, void* buffer, uint32_t position, const uint8_t key[KVA_KEY_SIZE]);

int GetKvaCodePageClass(uint32_t codePage);
uint32_t GetKvaEntrySize(int version);
uint32_t GetKvaHeaderSize(int version);

// Builds the name key of the text up to its first '\', '/' or terminator; returns the bytes
// taken, or -1 when the component is longer than KVA_NAME_MAX bytes.
int BuildKvaNameKey(const char* text, KVA_NAME_KEY* key, int codePageClass, KVA_LEAD_BYTE_TEST isLead);
