// The archive-aware file layer: paths under an archive are read from it and never from the
// disk; other paths are real files.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "core/log.h"
#include "core/memory.h"
#include "core/winapi.h"
#include "file/file_access.h"
#include "file/vfs.h"
#include "kva_test_tree.h"
#include "kva_writer.h"
#include "test_support.h"

namespace {
class Vfs : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    StartTestLog();
    InitVfs();
    InstallFileAccessTable(nullptr);
    // data.KVA beside a real folder data\ that holds files of the same names.
    std::vector<KVA_WRITER_ENTRY> tree;
    auto add = [&](const char* path, const std::string& data) {
      KVA_WRITER_ENTRY e;
      e.path = path;
      e.data = data;
      tree.push_back(e);
    };
    add("IMG/A.PNG", RandomBytes(5000, 8));
    add("X.BMP", RepetitiveBytes(9000));
    add("img/sub/Deep.txt", "deep");
    KVA_WRITER_OPTIONS options;
    options.version = 5;
    std::vector<uint8_t> image = WriteKvaImage(tree, options);
    WriteWholeFile("data.KVA", std::string(image.begin(), image.end()));
    CreateDirectoryA("data", nullptr);
    CreateDirectoryA("data\\img", nullptr);
    WriteWholeFile("data\\missing.png", "a real file under an archive's folder");
    WriteWholeFile("data\\img\\a.png", "the real a.png");
    WriteWholeFile("loose.txt", "not in any archive");
  }
  static void TearDownTestSuite() { EndVfs(); }

  static std::string ReadAll(uint32_t h) {
    std::string out;
    char buffer[777];
    int n;
    while ((n = ReadFileStream(buffer, 1, sizeof(buffer), h)) > 0) out.append(buffer, n);
    return out;
  }
};

TEST_F(Vfs, PathsUnderAnArchiveAreReadFromIt) {
  uint32_t h = OpenFileStream("data\\img\\a.png", 0, 0, 0);
  ASSERT_NE(h, 0u);
  EXPECT_EQ(h & 0xF0000000u, 0xF0000000u);
  EXPECT_TRUE(ReadAll(h) == RandomBytes(5000, 8)) << "read from entry IMG\\A.PNG";
  EXPECT_EQ(IsFileStreamEof(h), -1);
  EXPECT_EQ(SeekFileStream(h, 10, 0), 0);
  EXPECT_EQ(TellFileStream(h), 10);
  EXPECT_EQ(SeekFileStream(h, 0, 0), 0);
  // The tag is not needed: the slot index alone finds the file.
  EXPECT_EQ(TellFileStream(h & 0x0FFFFFFF), 0);
  EXPECT_EQ(CloseFileStream(h), 0);
  EXPECT_EQ(CloseFileStream(h), -1) << "a closed handle is bad";
  EXPECT_EQ(TellFileStream(0xF0000000u | 0x8000u), -1);

  EXPECT_EQ(OpenFileStream("data\\missing.png", 0, 0, 0), 0u) << "never read from the disk under an archive";
  EXPECT_EQ(OpenFileStream("data/missing.png", 1, 0, 1), 0u);

  // Found again through the remembered archive; any case, either separator, async reads.
  h = OpenFileStream("DATA/x.bmp", 0, 0, 1);
  ASSERT_NE(h, 0u);
  std::string x(9000, 0);
  EXPECT_EQ(ReadFileStream(&x[0], 9, 1000, h), 1000);
  while (IsFileStreamIdle(h) != 1) Sleep(1);
  EXPECT_TRUE(x == RepetitiveBytes(9000));
  CloseFileStream(h);
  h = OpenFileStream("data\\IMG\\SUB\\deep.TXT", 0, 0, 0);
  ASSERT_NE(h, 0u);
  EXPECT_EQ(ReadAll(h), "deep");
  CloseFileStream(h);
  h = OpenFileStream("sub\\..\\data\\img\\sub\\deep.txt", 0, 0, 0);
  EXPECT_NE(h, 0u);
  CloseFileStream(h);
  EXPECT_EQ(ReadLogWithoutStamps().find("ファイル"), std::string::npos) << "no message for missing files";
}

TEST_F(Vfs, OtherPathsAreRealFiles) {
  uint32_t h = OpenFileStream("loose.txt", 1, 0, 0);
  ASSERT_NE(h, 0u);
  EXPECT_EQ(ReadAll(h), "not in any archive");
  EXPECT_EQ(SeekFileStream(h, -1, 0), -1);
  CloseFileStream(h);
  EXPECT_EQ(OpenFileStream("nothing.txt", 0, 0, 0), 0u);
  std::string longPath(400, 'q');
  EXPECT_EQ(OpenFileStream(longPath.c_str(), 0, 0, 0), 0u);
}

// (The 0x8000-file limit itself cannot be reached here: the machine allows a process about
// 20000 open descriptors, and Wine keeps one per open file.)
TEST_F(Vfs, ClosedSlotsAreUsedAgain) {
  uint32_t h[3];
  for (uint32_t& x : h) ASSERT_NE(x = OpenFileStream("data\\img\\sub\\deep.txt", 0, 0, 0), 0u);
  EXPECT_EQ(h[1], h[0] + 1);
  EXPECT_EQ(CloseFileStream(h[1]), 0);
  uint32_t again = OpenFileStream("data\\x.bmp", 0, 0, 0);
  EXPECT_EQ(again, h[1]) << "the lowest free slot is used again";
  EXPECT_EQ(CloseFileStream(again), 0);
  EXPECT_EQ(CloseFileStream(h[0]), 0);
  EXPECT_EQ(CloseFileStream(h[2]), 0);
}

TEST_F(Vfs, FindsListArchiveFolders) {
  const FILE_ACCESS_TABLE* t = GetFileAccessTable();
  struct Case { const char* pattern; std::vector<std::string> names; } cases[] = {
      {"data\\img\\*", {".", "..", "A.PNG", "sub"}},
      {"data\\*.BMP", {"X.BMP"}},
      {"loose.*", {"loose.txt"}},
  };
  for (auto& c : cases) {
    FILE_FIND_DATA data;
    intptr_t find = t->findFirst(c.pattern, &data);
    ASSERT_NE(find, -1) << c.pattern;
    std::vector<std::string> names;
    do names.push_back(data.name);
    while (t->findNext(find, &data) == 0);
    EXPECT_EQ(t->findClose(find), 0);
    EXPECT_EQ(names, c.names) << c.pattern;
  }
  EXPECT_EQ(t->findFirst("data\\none\\*", nullptr), -1);
}
}  // namespace
