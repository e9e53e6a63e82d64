// KVA archives: LZ blocks, key and names, and the reader against archives made by the
// writer (every version, every way of opening), the build tool's fixtures, and damaged
// archives and blocks.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "core/memory.h"
#include "core/strings.h"
#include "core/winapi.h"
#include "file/kva_archive.h"
#include "file/kva_lz.h"
#include "kva_lz_encode.h"
#include "kva_test_tree.h"
#include "kva_writer.h"
#include "test_support.h"

namespace {
std::vector<uint8_t> Bytes(const std::string& s) { return std::vector<uint8_t>(s.begin(), s.end()); }

std::string Decode(const std::vector<uint8_t>& block, int* result = nullptr) {
  int size = DecodeKvaLz(block.data(), (uint32_t)block.size(), nullptr, 0);
  std::string out(size > 0 ? size : 0, 0);
  int r = size < 0 ? -1 : DecodeKvaLz(block.data(), (uint32_t)block.size(), &out[0], (uint32_t)out.size() + (size == 0));
  if (result != nullptr) *result = r;
  return r < 0 ? std::string() : out;
}

// The code byte of a back-reference whose packed value is codeValue under the escape.
uint8_t Code(int codeValue, uint8_t escape) { return (uint8_t)(codeValue < escape ? codeValue : codeValue + 1); }

std::vector<uint8_t> Block(uint32_t decoded, uint8_t escape, std::vector<uint8_t> code) {
  std::vector<uint8_t> b(9);
  uint32_t encoded = 9 + (uint32_t)code.size();
  memcpy(&b[0], &decoded, 4);
  memcpy(&b[4], &encoded, 4);
  b[8] = escape;
  for (uint8_t c : code) b.push_back(c);
  return b;
}

void DecodeGuarded(const std::vector<uint8_t>& block, uint32_t outputSize, const std::string& what);

TEST(KvaLz, DecodesTheFormsOfTheFormat) {
  struct Case { const char* name; std::vector<uint8_t> block; std::string expected; } cases[] = {
      {"empty code stream", Block(0, 0x10, {}), ""},
      {"escaped escape 0x00", Block(1, 0x00, {0x00, 0x00}), std::string(1, '\0')},
      {"distance 1 length 8", Block(9, 0x10, {0x41, 0x10, Code(4 << 3, 0x10), 0x00}), std::string(9, 'A')},
      // c = 0x11 > E = 0x10: c' = 0x10 -> length 6, one distance byte.
      {"code above escape", Block(8, 0x10, {'x', 'y', 0x10, 0x11, 0x01}), "xyxyxyxy"},
      {"extended length", Block(1 + 40, 0x00, {'q', 0x00, Code((36 & 31) << 3 | 4, 0x00), (uint8_t)(36 >> 5), 0x00}),
       std::string(41, 'q')},
      {"two-byte distance", Block(4 + 4, 0xFF, {'a', 'b', 'c', 'd', 0xFF, 0x01, 0x03, 0x00}), "abcdabcd"},
      {"three-byte distance", Block(4 + 4, 0xFF, {'a', 'b', 'c', 'd', 0xFF, 0x02, 0x03, 0x00, 0x00}), "abcdabcd"},
      {"selector 3 refused", Block(8, 0xFF, {'a', 'b', 'c', 'd', 0xFF, 0x03}), ""},
      {"literal runs around an escaped escape", Block(6, 0x10, {'a', 'b', 'c', 0x10, 0x10, 'd', 'e'}),
       "abc\x10" "de"},
      {"literal run longer than the decoded size", Block(3, 0x10, {'a', 'b', 'c', 'd'}), ""},
  };
  for (auto& c : cases) {
    int result;
    std::string out = Decode(c.block, &result);
    EXPECT_EQ(result, c.expected.empty() && c.block[0] != 0 ? -1 : (int)c.expected.size()) << c.name;
    EXPECT_EQ(out, c.expected) << c.name;
  }
  // A block of encoded size 9 returns its header's size even with nothing to write... but
  // only a size-0 block is whole; a larger decoded size with no code is refused.
  std::vector<uint8_t> shortBlock = Block(5, 0, {});
  EXPECT_EQ(DecodeKvaLz(shortBlock.data(), 9, nullptr, 0), 5);
  char out[5];
  EXPECT_EQ(DecodeKvaLz(shortBlock.data(), 9, out, 5), -1);
  // A run of literals past the decoded size writes nothing beyond the output.
  DecodeGuarded(Block(3, 0x10, {'a', 'b', 'c', 'd', 'e', 'f'}), 3, "long literal run");
}

TEST(KvaLz, EncoderRoundTripsEveryKindOfData) {
  std::string longRun(100000, 'z');
  std::string farRepeat = RandomBytes(70000, 3);
  farRepeat += farRepeat.substr(0, 9000);  // a reference beyond 65536 bytes, longer than 8195
  struct Case { const char* name; std::string data; } cases[] = {
      {"empty", ""},          {"one byte", "k"},         {"random", RandomBytes(50000, 4)},
      {"text", RepetitiveBytes(60000)}, {"long run", longRun}, {"far repeat", farRepeat},
      {"all escapes", std::string(3000, '\0') + std::string(3000, '\xFF')},
  };
  for (auto& c : cases) {
    std::vector<uint8_t> block = EncodeKvaLz((const uint8_t*)c.data.data(), c.data.size());
    int result;
    EXPECT_EQ(Decode(block, &result), c.data) << c.name;
    EXPECT_EQ(result, (int)c.data.size()) << c.name;
  }
}

// Decodes into a buffer with guard bytes on both sides and checks they are untouched.
void DecodeGuarded(const std::vector<uint8_t>& block, uint32_t outputSize, const std::string& what) {
  const size_t guard = 64;
  std::vector<uint8_t> out(outputSize + 2 * guard, 0xCD);
  int r = DecodeKvaLz(block.data(), (uint32_t)block.size(), out.data() + guard, outputSize);
  for (size_t i = 0; i < guard; i++) {
    ASSERT_EQ(out[i], 0xCD) << what;
    ASSERT_EQ(out[guard + outputSize + i], 0xCD) << what;
  }
  ASSERT_LE(r, (int)outputSize) << what;
}

TEST(KvaLz, RefusesTruncatedAndCorruptedBlocksWithoutOverrun) {
  std::string data = RepetitiveBytes(3000) + RandomBytes(500, 5) + RepetitiveBytes(2000);
  std::vector<uint8_t> block = EncodeKvaLz((const uint8_t*)data.data(), data.size());
  for (size_t n = 0; n < block.size(); n++) {
    std::vector<uint8_t> cut(block.begin(), block.begin() + n);
    EXPECT_EQ(DecodeKvaLz(cut.data(), (uint32_t)n, &data[0], (uint32_t)data.size()), -1) << "cut at " << n;
    if (n >= 9) {  // the same cut with a header that claims it
      uint32_t encoded = (uint32_t)n;
      memcpy(&cut[4], &encoded, 4);
      std::string out(data.size(), 0);
      EXPECT_EQ(DecodeKvaLz(cut.data(), (uint32_t)n, &out[0], (uint32_t)out.size()), -1) << "cut and claimed at " << n;
    }
  }
  std::mt19937 random(11);
  for (int trial = 0; trial < 4000; trial++) {
    std::vector<uint8_t> bad = block;
    int changes = 1 + random() % 4;
    for (int k = 0; k < changes; k++) bad[random() % bad.size()] = (uint8_t)random();
    uint32_t claimed;
    memcpy(&claimed, bad.data(), 4);
    uint32_t outputSize = claimed <= 200000 ? claimed : (uint32_t)data.size();
    DecodeGuarded(bad, outputSize, "trial " + std::to_string(trial));
  }
}

TEST(KvaFormat, KeyCipherAndNameKeys) {
  uint8_t key[12], again[12], second[12], other[12];
  MakeKvaKey(nullptr, key);
  MakeKvaKey(nullptr, again);
  MakeKvaSecondKey(second);
  MakeKvaKey("abc", other);
  EXPECT_EQ(memcmp(key, again, 12), 0);
  EXPECT_NE(memcmp(key, second, 12), 0);
  EXPECT_NE(memcmp(key, other, 12), 0);
  std::vector<uint8_t> text = Bytes(RandomBytes(100, 6)), copy = text;
  EXPECT_EQ(CipherKvaBytes(100, text.data(), 5, key), (5 + 100) % 12u);
  EXPECT_EQ(text[0], copy[0] ^ key[5]);
  CipherKvaBytes(100, text.data(), 5, key);
  EXPECT_EQ(text, copy);

  KVA_NAME_KEY nameKey;
  EXPECT_EQ(BuildKvaNameKey("abCd\\rest", &nameKey, 0, IsDoubleByteLead), 4);
  EXPECT_EQ(nameKey.units, 2);
  EXPECT_EQ(memcmp(nameKey.bytes, "ABCD\0\0\0\0", 8), 0);
  EXPECT_EQ(nameKey.check, 'A' + 'B' + 'C' + 'D');
  // A Shift-JIS character whose trail byte is 0x5C is one component, not upper-cased.
  EXPECT_EQ(BuildKvaNameKey("\x95\x5C" "a", &nameKey, 1, IsDoubleByteLead), 3);
  EXPECT_EQ(memcmp(nameKey.bytes, "\x95\x5C" "A", 3), 0);
  std::string longest(1024, 'n'), tooLong(1025, 'n');
  EXPECT_EQ(BuildKvaNameKey(longest.c_str(), &nameKey, 0, IsDoubleByteLead), 1024);
  EXPECT_EQ(BuildKvaNameKey(tooLong.c_str(), &nameKey, 0, IsDoubleByteLead), -1);
}

TEST(KvaFormat, VersionFiveDataIsCipheredFromTheFileSize) {
  KVA_WRITER_OPTIONS options;
  options.version = 5;
  std::vector<uint8_t> image = WriteKvaImage(MakeTestTree(), options);
  ASSERT_FALSE(image.empty());
  KVA_ARCHIVE archive;
  ClearKvaArchive(&archive);
  std::vector<uint8_t> work = image;
  ASSERT_EQ(OpenKvaFromMemory(&archive, work.data(), (uint32_t)work.size(), nullptr), 0);
  int offset = 0, size = 0;
  ASSERT_EQ(GetKvaFileLocation(&archive, "THIRTEEN.BIN", &offset, &size), 0);
  EXPECT_EQ(size, 13);
  uint8_t key[12];
  MakeKvaKey(nullptr, key);
  EXPECT_EQ(image[offset] ^ key[1], '0');
  EXPECT_EQ(work[offset], '0');
  CloseKvaArchive(&archive);
}

// ---- Reading archives ----

class KvaReader : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { LoadWinApiTable(); }

  static std::string WriteImage(const std::vector<uint8_t>& image, const std::string& name) {
    WriteWholeFile(name, std::string(image.begin(), image.end()));
    return name;
  }

  // Reads the whole entry through every access pattern and compares with the source.
  // An asynchronous read's bytes are deciphered when the stream is next used or polled.
  static int Read(KVA_STREAM* s, void* buffer, uint32_t n) {
    int got = ReadKvaEntryStream(s, buffer, n);
    while (FinishKvaStreamRead(s) == 0) Sleep(1);
    return got;
  }

  static void CheckStream(KVA_ARCHIVE* archive, const std::string& path, const std::string& expected, int async,
                          const std::string& what) {
    KVA_STREAM s;
    ASSERT_EQ(OpenKvaEntryStream(&s, archive, path.c_str(), async), 0) << what << " " << path;
    std::string whole(expected.size() + 10, 0);
    EXPECT_EQ(Read(&s, &whole[0], (uint32_t)whole.size()), (int)expected.size()) << what << path;
    whole.resize(expected.size());
    EXPECT_TRUE(whole == expected) << what << " whole " << path;
    EXPECT_EQ(Read(&s, &whole[0], 1), 0);
    EXPECT_EQ(IsKvaEntryStreamEof(&s), -1);

    SeekKvaEntryStream(&s, 0, 0);
    std::string chunks;
    char buffer[1000];
    for (int step = 7;; step = step * 3 % 997 + 1) {
      int n = Read(&s, buffer, (uint32_t)step);
      if (n == 0) break;
      chunks.append(buffer, n);
    }
    EXPECT_TRUE(chunks == expected) << what << " chunks " << path;

    std::mt19937 random(9);
    for (int k = 0; k < 20 && !expected.empty(); k++) {
      int at = (int)(random() % expected.size());
      int n = (int)(random() % 500) + 1;
      if (k % 3 == 0) SeekKvaEntryStream(&s, at - (int)expected.size(), 2);
      else if (k % 3 == 1) SeekKvaEntryStream(&s, at - TellKvaEntryStream(&s), 1);
      else SeekKvaEntryStream(&s, at, 0);
      ASSERT_EQ(TellKvaEntryStream(&s), at);
      std::string got(n, 0);
      got.resize(Read(&s, &got[0], (uint32_t)n));
      EXPECT_TRUE(got == expected.substr(at, n)) << what << " seek " << path << " at " << at;
    }
    SeekKvaEntryStream(&s, 10, 2);
    EXPECT_EQ(TellKvaEntryStream(&s), (int)expected.size());
    EXPECT_EQ(Read(&s, buffer, 4), 0);
    EXPECT_EQ(IsKvaEntryStreamEof(&s), -1);
    SeekKvaEntryStream(&s, -5, 0);
    EXPECT_EQ(TellKvaEntryStream(&s), 0);
    CloseKvaEntryStream(&s);
  }

  // In a caller's image entries are reached through their location.
  static void CheckLocation(KVA_ARCHIVE* archive, const std::string& path, const std::string& expected,
                            const std::string& what) {
    int offset = -1, size = -1;
    ASSERT_EQ(GetKvaFileLocation(archive, path.c_str(), &offset, &size), 0) << what << path;
    ASSERT_EQ(size, (int)expected.size());
    const KVA_FILE_ENTRY* e = FindKvaFileEntry(path.c_str(), archive);
    ASSERT_NE(e, nullptr);
    const uint8_t* data = (const uint8_t*)GetKvaMemoryImage(archive) + offset;
    if (archive->header.version >= 2 && e->storedSize != KVA_NOT_COMPRESSED) {
      std::string out(expected.size() + 1, 0);
      EXPECT_EQ(DecodeKvaLz(data, e->storedSize, &out[0], (uint32_t)out.size()), (int)expected.size()) << what << path;
      out.resize(expected.size());
      EXPECT_TRUE(out == expected) << what << path;
    } else {
      EXPECT_TRUE(std::string((const char*)data, expected.size()) == expected) << what << path;
    }
  }
};

std::string Upper(std::string s) {
  for (char& c : s) {
    if (c >= 'a' && c <= 'z') c = (char)(c - 32);
    if (c == '/') c = '\\';
  }
  return s;
}

TEST_F(KvaReader, EveryVersionReadsIdenticallyInEveryMode) {
  const std::vector<KVA_WRITER_ENTRY> tree = MakeTestTree();
  for (int version : {1, 2, 3, 4, 5}) {
    for (int compression : {0, 1, 2}) {
      for (int secondKey : {0, 1}) {
        KVA_WRITER_OPTIONS options;
        options.version = version;
        options.compression = compression;
        options.secondKey = secondKey != 0;
        std::vector<uint8_t> image = WriteKvaImage(tree, options);
        ASSERT_FALSE(image.empty());
        std::string what = "v" + std::to_string(version) + " c" + std::to_string(compression) + " k" +
                           std::to_string(secondKey);
        std::string file = WriteImage(image, "round.kva");

        KVA_ARCHIVE fileMode, loaded, loadedAsync, caller;
        ClearKvaArchive(&fileMode);
        ClearKvaArchive(&loaded);
        ClearKvaArchive(&loadedAsync);
        ClearKvaArchive(&caller);
        ASSERT_EQ(OpenKvaFile(&fileMode, file.c_str(), nullptr), 0) << what;
        ASSERT_EQ(LoadKvaIntoMemory(&loaded, file.c_str(), nullptr, 0), 0) << what;
        ASSERT_EQ(LoadKvaIntoMemory(&loadedAsync, file.c_str(), nullptr, 1), 0) << what;
        std::vector<uint8_t> callerImage = image;
        ASSERT_EQ(OpenKvaFromMemory(&caller, callerImage.data(), (uint32_t)callerImage.size(), nullptr), 0) << what;
        for (const KVA_WRITER_ENTRY& e : tree) {
          if (e.directory) continue;
          for (const std::string& path : {e.path, Upper(e.path)}) {
            CheckStream(&fileMode, path, e.data, 0, what + " file");
            CheckStream(&fileMode, path, e.data, 1, what + " file async");
            CheckStream(&loaded, path, e.data, 0, what + " loaded");
            CheckStream(&loadedAsync, path, e.data, 1, what + " loaded async");
            CheckLocation(&caller, path, e.data, what + " caller");
          }
        }
        KVA_STREAM s;
        EXPECT_EQ(OpenKvaEntryStream(&s, &caller, "readme.txt", 0), -1) << "a caller's image has no file";
        CloseKvaArchive(&fileMode);
        CloseKvaArchive(&loaded);
        ReleaseKvaArchive(&loadedAsync);
        CloseKvaArchive(&caller);
        EXPECT_TRUE(callerImage == image) << what << ": the caller's image is given back enciphered";
      }
    }
  }
  EXPECT_EQ(GetAllocBlockCount(), 0);
}

TEST_F(KvaReader, ToolFixturesMatchTheirSourceFiles) {
  const char* files[] = {"readme.txt", "empty.bin", "data/img/a.png", "data/img/deep/pattern.dat",
                         "data/img/deep/one.txt", "docs/Mixed Case Name.TXT", "data/x.bmp"};
  const char* archives[] = {"tree_v1_stored", "tree_v2_stored", "tree_v2_lz", "tree_v2_auto", "tree_v4_stored",
                            "tree_v4_lz", "tree_v4_auto", "tree_v5_stored", "tree_v5_lz", "tree_v5_auto"};
  for (const char* name : archives) {
    std::string path = std::string("../../fixtures/") + name + ".kva";
    KVA_ARCHIVE archive, loaded;
    ClearKvaArchive(&archive);
    ClearKvaArchive(&loaded);
    ASSERT_EQ(OpenKvaFile(&archive, path.c_str(), nullptr), 0) << path;
    ASSERT_EQ(LoadKvaIntoMemory(&loaded, path.c_str(), nullptr, 0), 0) << path;
    for (const char* file : files) {
      std::string expected = ReadWholeFile(SourcePath(std::string("tests/file/fixture_tree/") + file));
      ASSERT_TRUE(!expected.empty() || std::string(file) == "empty.bin") << file;
      CheckStream(&archive, file, expected, 0, name);
      CheckStream(&loaded, file, expected, 1, name);
    }
    CloseKvaArchive(&archive);
    CloseKvaArchive(&loaded);
  }
}

TEST_F(KvaReader, ToolBlockDecodesToItsSource) {
  std::string block = ReadWholeFile("../../fixtures/pattern.lz");
  std::string expected = ReadWholeFile(SourcePath("tests/file/fixture_tree/data/img/deep/pattern.dat"));
  ASSERT_FALSE(block.empty());
  ASSERT_FALSE(expected.empty());
  EXPECT_LT(block.size(), expected.size() / 2) << "the pattern compresses";
  int result;
  EXPECT_TRUE(Decode(Bytes(block), &result) == expected);
  EXPECT_EQ(result, (int)expected.size());
}

TEST_F(KvaReader, DirectoriesLookupsAndEnumeration) {
  KVA_WRITER_OPTIONS options;
  std::vector<KVA_WRITER_ENTRY> tree = MakeTestTree();
  KVA_WRITER_ENTRY x;
  x.path = "X";
  x.data = "a file named X";
  tree.push_back(x);
  std::vector<uint8_t> image = WriteKvaImage(tree, options);
  KVA_ARCHIVE a;
  ClearKvaArchive(&a);
  ASSERT_EQ(OpenKvaFromMemory(&a, image.data(), (uint32_t)image.size(), nullptr), 0);
  const KVA_DIRECTORY* root = a.currentDirectory;

  EXPECT_EQ(FindKvaFileEntry("img", &a), nullptr) << "a directory is not a file";
  EXPECT_EQ(FindKvaFileEntry("img/", &a), nullptr);
  EXPECT_EQ(FindKvaFileEntry("X/y", &a), nullptr) << "a missing folder finds nothing";
  EXPECT_EQ(FindKvaFileEntry("nofolder/X", &a), nullptr);
  EXPECT_NE(FindKvaFileEntry("X", &a), nullptr);
  EXPECT_NE(FindKvaFileEntry("\\img\\a.png", &a), nullptr);
  std::string longName = "img/" + std::string(1100, 'a');
  EXPECT_EQ(FindKvaFileEntry(longName.c_str(), &a), nullptr);
  EXPECT_EQ(a.currentDirectory, root);

  EXPECT_EQ(ChangeKvaDirectory(&a, "img/deep/", 1, nullptr), 0);
  EXPECT_NE(FindKvaFileEntry("er/leaf.dat", &a), nullptr) << "relative to the current folder";
  EXPECT_EQ(ChangeKvaDirectory(&a, "..", 1, nullptr), 0);
  EXPECT_EQ(ChangeKvaDirectory(&a, "/", 1, nullptr), 0);
  EXPECT_EQ(a.currentDirectory, root);
  EXPECT_EQ(ChangeKvaDirectory(&a, "..", 1, nullptr), -1);
  EXPECT_EQ(ChangeKvaDirectory(&a, "img/x/deep", 1, nullptr), -1);
  EXPECT_EQ(a.currentDirectory, root) << "restored after a failure";

  struct Case { const char* pattern; std::vector<std::string> names; } cases[] = {
      {"*", {".", "readme.txt", "empty.bin", "img", "Mixed", "thirteen.bin", "nothing_here", "X"}},
      {"img\\*", {".", "..", "a.png", "b.PNG", "deep"}},
      {"img/*.png", {"a.png", "b.PNG"}},
      {"*.BIN", {"empty.bin", "thirteen.bin"}},
      {"N*", {"nothing_here"}},
      {"?", {".", "X"}},
      {"nothing_here\\*", {".", ".."}},
      {"img\\deep\\er\\l*f.*", {"leaf.dat"}},
  };
  for (auto& c : cases) {
    FILE_FIND_DATA data;
    std::vector<std::string> names;
    KVA_FIND* find = FindFirstKvaEntry(&a, c.pattern, &data);
    ASSERT_NE(find, nullptr) << c.pattern;
    do names.push_back(data.name);
    while (NextKvaFindEntry(find, &data) == 0 && ++find->nextIndex);
    FreeTracked(find);
    EXPECT_EQ(names, c.names) << c.pattern;
  }
  FILE_FIND_DATA data;
  EXPECT_EQ(FindFirstKvaEntry(&a, "X*", &data), nullptr) << "a trailing * needs one more character";
  KVA_FIND* find = FindFirstKvaEntry(&a, "img/deep/er/leaf.dat", &data);
  ASSERT_NE(find, nullptr);
  EXPECT_EQ(data.directory, 0);
  EXPECT_EQ(data.sizeLow, 70300u);
  EXPECT_EQ(data.lastWriteTime.year, 2012);
  FreeTracked(find);
  EXPECT_EQ(FindFirstKvaEntry(&a, "none/*", &data), nullptr);
  EXPECT_EQ(FindFirstKvaEntry(&a, "*.xyz", &data), nullptr);
  CloseKvaArchive(&a);
}

TEST(KvaWildcard, MatchesWithoutBacktracking) {
  KVA_ARCHIVE a;
  ClearKvaArchive(&a);
  struct Case { const char* name; const char* pattern; int result; } cases[] = {
      {"A.PNG", "*.PNG", 0}, {"BANANA", "*A", -1}, {"A", "A*", -1},    {"A", "A**", -1},   {"AB", "A*", 0},
      {"A", "A?", -1},       {"AB", "A?", 0},      {"ABC", "A?", -1},  {"", "*", 0},      {"ABC", "*", 0},
      {"ABC", "ABC", 0},     {"ABC", "ABD", -1},   {"AB", "ABC", -1},  {"ABC", "*C", 0},  {"\x95\x5C", "\x95\x5C", 0},
      {"AB", "A*B*", -1},    {"AB", "?*", 0},      {"A", "?*", -1},
  };
  for (auto& c : cases) EXPECT_EQ(MatchKvaWildcard(c.name, c.pattern, &a), c.result) << c.name << " ~ " << c.pattern;
}

// Walks every entry of an archive, reading each file, with a bounded depth.
void WalkArchive(KVA_ARCHIVE* a, const std::string& folder, int depth, bool streams) {
  if (depth > 6) return;
  FILE_FIND_DATA data;
  KVA_FIND* find = FindFirstKvaEntry(a, (folder + "*").c_str(), &data);
  if (find == nullptr) return;
  int guard = 0;
  do {
    std::string name = data.name;
    if (name == "." || name == ".." || name.empty()) continue;
    std::string path = folder + name;
    if (data.directory) {
      WalkArchive(a, path + "\\", depth + 1, streams);
    } else if (streams) {
      KVA_STREAM s;
      if (OpenKvaEntryStream(&s, a, path.c_str(), guard % 2) == 0) {
        std::vector<char> buffer(4096);
        while (ReadKvaEntryStream(&s, buffer.data(), (uint32_t)buffer.size()) > 0) {}
        CloseKvaEntryStream(&s);
      }
    } else {
      int offset, size;
      GetKvaFileLocation(a, path.c_str(), &offset, &size);
    }
  } while (++guard < 50 && NextKvaFindEntry(find, &data) == 0 && ++find->nextIndex);
  FreeTracked(find);
}

TEST_F(KvaReader, DamagedArchivesAreRefusedOrReadWithinBounds) {
  std::mt19937 random(21);
  std::vector<KVA_WRITER_ENTRY> tree = MakeTestTree();
  for (auto& e : tree) e.data = e.data.substr(0, 700);  // small, so that each trial is quick
  for (int version : {1, 2, 4, 5}) {
    KVA_WRITER_OPTIONS options;
    options.version = version;
    options.compression = 2;
    const std::vector<uint8_t> image = WriteKvaImage(tree, options);
    KVA_HEADER header;
    for (int trial = 0; trial < 700; trial++) {
      std::vector<uint8_t> bad = image;
      // Mostly in the header and the header block (at the end), sometimes anywhere.
      int changes = 1 + random() % 3;
      for (int k = 0; k < changes; k++) {
        size_t at = random() % 4 == 0 ? random() % bad.size() : random() % 2 ? random() % 28
                                                                             : bad.size() - 1 - random() % 400;
        bad[at] = (uint8_t)random();
      }
      const size_t guard = 32;
      std::vector<uint8_t> guarded(bad.size() + guard, 0xEE);
      memcpy(guarded.data(), bad.data(), bad.size());
      KVA_ARCHIVE a;
      ClearKvaArchive(&a);
      if (OpenKvaFromMemory(&a, guarded.data(), (uint32_t)bad.size(), nullptr) == 0) {
        WalkArchive(&a, "", 0, false);
        CloseKvaArchive(&a);
      }
      ASSERT_EQ(GetAllocBlockCount(), 0) << "blocks left after trial, v" << version << " " << trial;
      for (size_t i = 0; i < guard; i++) ASSERT_EQ(guarded[bad.size() + i], 0xEE) << "v" << version << " " << trial;
      ASSERT_TRUE(std::equal(bad.begin(), bad.end(), guarded.begin())) << "image given back, v" << version << " " << trial;
      if (trial % 4 == 0) {
        WriteImage(bad, "bad.kva");
        ClearKvaArchive(&a);
        if (OpenKvaFile(&a, "bad.kva", nullptr) == 0) {
          WalkArchive(&a, "", 0, true);
          CloseKvaArchive(&a);
        }
        ASSERT_EQ(GetAllocBlockCount(), 0) << "blocks left after file trial, v" << version << " " << trial;
        ClearKvaArchive(&a);
        if (LoadKvaIntoMemory(&a, "bad.kva", nullptr, 0) == 0) {
          WalkArchive(&a, "", 0, true);
          CloseKvaArchive(&a);
        }
      }
    }
    (void)header;
    // A version above 5 is refused even with a good signature.
    std::vector<uint8_t> v6 = image;
    uint8_t key[12];
    MakeKvaKey(nullptr, key);
    CipherKvaBytes(4, v6.data(), 0, key);
    v6[2] = 6;
    CipherKvaBytes(4, v6.data(), 0, key);
    KVA_ARCHIVE a;
    ClearKvaArchive(&a);
    std::vector<uint8_t> copy = v6;
    EXPECT_EQ(OpenKvaFromMemory(&a, copy.data(), (uint32_t)copy.size(), nullptr), -1);
    EXPECT_TRUE(copy == v6);
    WriteImage(v6, "v6.kva");
    EXPECT_EQ(OpenKvaFile(&a, "v6.kva", nullptr), -1);
  }
  EXPECT_EQ(GetAllocBlockCount(), 0);
}
}  // namespace
