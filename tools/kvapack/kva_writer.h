// Builds a KVA archive image in memory: the archive writer of the build tools and of the
// tests. Uses the library's own key, cipher and record definitions (file/kva_format.h).
#pragma once
#include <cstdint>
#include <string>
#include <vector>

struct KVA_WRITER_ENTRY {
  std::string path;       // components separated by '/' or '\'; parents are made as needed
  std::string data;       // file contents (ignored for directories)
  bool directory = false;
  int compression = -1;   // -1 the archive's choice, 0 stored, 1 compressed
  uint64_t writeTime = 0; // FILETIME; also used as creation and access time
};

struct KVA_WRITER_OPTIONS {
  int version = 5;               // 1 to 5
  const char* keyString = nullptr;
  bool secondKey = false;        // encipher with the second built-in key instead
  uint32_t codePage = 932;       // written from version 4
  int compression = 2;           // 0 stored, 1 compressed, 2 whichever is smaller
};

// Returns the enciphered archive image, or an empty vector for a bad entry list (a path
// through a file, a duplicate name, a name longer than the format allows, a bad version).
std::vector<uint8_t> WriteKvaImage(const std::vector<KVA_WRITER_ENTRY>& entries, const KVA_WRITER_OPTIONS& options);
