// A small archive tree shared by the archive tests: nested folders, stored, compressed and
// empty files, an empty folder.
#pragma once
#include <random>
#include <string>
#include <vector>

#include "kva_writer.h"

inline std::string RandomBytes(size_t n, unsigned seed) {
  std::mt19937 random(seed);
  std::string s(n, 0);
  for (char& c : s) c = (char)(random() & 0xFF);
  return s;
}

inline std::string RepetitiveBytes(size_t n) {
  std::string s;
  for (size_t i = 0; s.size() < n; i++) s += "row " + std::to_string(i % 97) + " of the grid;";
  s.resize(n);
  return s;
}

inline std::vector<KVA_WRITER_ENTRY> MakeTestTree() {
  std::vector<KVA_WRITER_ENTRY> e;
  auto add = [&](const char* path, std::string data, int compression = -1) {
    KVA_WRITER_ENTRY entry;
    entry.path = path;
    entry.data = data;
    entry.compression = compression;
    entry.writeTime = 130000000000000000ull;
    e.push_back(entry);
  };
  add("readme.txt", RepetitiveBytes(5000));
  add("empty.bin", "");
  add("img/a.png", RandomBytes(3001, 1), 0);
  add("img/b.PNG", RepetitiveBytes(20000), 1);
  add("img/deep/er/leaf.dat", RepetitiveBytes(70000) + RandomBytes(300, 2), 1);
  add("img/deep/empty.txt", "", 1);
  add("Mixed/Case.Txt", "abc", 1);
  add("thirteen.bin", "0123456789abc", 0);
  KVA_WRITER_ENTRY folder;
  folder.path = "nothing_here";
  folder.directory = true;
  e.push_back(folder);
  return e;
}
