// kvapack: the archive writer of the build (a native host program).
//   kvapack [--version N] [--compress stored|lz|auto] [--key TEXT] [--second-key] OUT.KVA FOLDER
//     packs every file and folder below FOLDER (names as they are on disk, sorted);
//   kvapack --lz IN OUT
//     writes one LZ block of the file IN (the form of data kept compressed in the program).
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "kva_lz_encode.h"
#include "kva_writer.h"

namespace fs = std::filesystem;

namespace {
bool ReadFileBytes(const fs::path& path, std::string& bytes) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return true;
}

bool WriteFileBytes(const std::string& path, const void* data, size_t size) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write((const char*)data, (std::streamsize)size);
  return (bool)out;
}

int Usage() {
  fprintf(stderr,
          "usage: kvapack [--version N] [--compress stored|lz|auto] [--key TEXT] [--second-key] OUT.KVA FOLDER\n"
          "       kvapack --lz IN OUT\n");
  return 2;
}
}  // namespace

int main(int argc, char** argv) {
  KVA_WRITER_OPTIONS options;
  int i = 1;
  for (; i < argc && strncmp(argv[i], "--", 2) == 0; i++) {
    std::string flag = argv[i];
    if (flag == "--lz" && i + 2 < argc) {
      std::string bytes;
      if (!ReadFileBytes(argv[i + 1], bytes)) return fprintf(stderr, "kvapack: cannot read %s\n", argv[i + 1]), 1;
      std::vector<uint8_t> block = EncodeKvaLz((const uint8_t*)bytes.data(), bytes.size());
      return WriteFileBytes(argv[i + 2], block.data(), block.size()) ? 0 : 1;
    } else if (flag == "--version" && i + 1 < argc) {
      options.version = atoi(argv[++i]);
    } else if (flag == "--compress" && i + 1 < argc) {
      std::string mode = argv[++i];
      options.compression = mode == "stored" ? 0 : mode == "lz" ? 1 : 2;
    } else if (flag == "--key" && i + 1 < argc) {
      options.keyString = argv[++i];
    } else if (flag == "--second-key") {
      options.secondKey = true;
    } else {
      return Usage();
    }
  }
  if (argc - i != 2) return Usage();
  const std::string output = argv[i];
  const fs::path folder = argv[i + 1];

  std::vector<fs::path> paths;
  std::error_code error;
  for (auto it = fs::recursive_directory_iterator(folder, error); !error && it != fs::recursive_directory_iterator();
       it.increment(error))
    paths.push_back(it->path());
  if (error) return fprintf(stderr, "kvapack: cannot list %s\n", folder.c_str()), 1;
  std::sort(paths.begin(), paths.end());

  std::vector<KVA_WRITER_ENTRY> entries;
  for (const fs::path& path : paths) {
    KVA_WRITER_ENTRY entry;
    entry.path = fs::relative(path, folder).generic_string();
    entry.directory = fs::is_directory(path);
    entry.writeTime = 132000000000000000ull;  // fixed, so that builds are reproducible
    if (!entry.directory && !ReadFileBytes(path, entry.data))
      return fprintf(stderr, "kvapack: cannot read %s\n", path.c_str()), 1;
    entries.push_back(entry);
  }
  std::vector<uint8_t> image = WriteKvaImage(entries, options);
  if (image.empty()) return fprintf(stderr, "kvapack: cannot pack %s\n", folder.c_str()), 1;
  return WriteFileBytes(output, image.data(), image.size()) ? 0 : 1;
}
