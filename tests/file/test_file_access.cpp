// The file access table, memory streams, full paths and Win32 files (direct and threaded).
#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <random>
#include <string>

#include "core/log.h"
#include "core/memory.h"
#include "core/winapi.h"
#include "file/file_access.h"
#include "file/win_file.h"
#include "test_support.h"

namespace {
class FileAccess : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    StartTestLog();
  }
};

std::string Pattern(size_t n) {
  std::mt19937 random(5);
  std::string s(n, 0);
  for (char& c : s) c = (char)(random() & 0xFF);
  return s;
}

TEST_F(FileAccess, MemoryStreamReadsWholeElementsThenTheRest) {
  char data[13];
  for (int i = 0; i < 13; i++) data[i] = (char)i;
  MEMORY_STREAM* s = OpenMemoryStream(data, sizeof(data));
  ASSERT_NE(s, nullptr);
  char out[64] = {};
  EXPECT_EQ(ReadMemoryStream(out, 4, 0, s), 0) << "zero elements read nothing";
  EXPECT_EQ(ReadMemoryStream(out, 0, 4, s), 0);
  EXPECT_EQ(TellMemoryStream(s), 0);
  EXPECT_EQ(ReadMemoryStream(out, 4, 10, s), 3);
  EXPECT_EQ(memcmp(out, data, 12), 0);
  EXPECT_EQ(ReadMemoryStream(out, 4, 1, s), 1);
  EXPECT_EQ(out[0], 12);
  EXPECT_EQ(IsMemoryStreamEof(s), 0);
  EXPECT_EQ(ReadMemoryStream(out, 4, 1, s), 0);
  EXPECT_EQ(IsMemoryStreamEof(s), 1);
  // 64-bit size x count: a huge request is cut to what remains, never wrapped.
  SeekMemoryStream(s, 0, 0);
  EXPECT_EQ(ReadMemoryStream(out, 0x10000, 0x10001, s), 1);
  EXPECT_EQ(TellMemoryStream(s), 13);

  struct Case { int offset, origin, expected; } cases[] = {{-5, 0, 0}, {10, 2, 13}, {3, 7, 0}, {-3, 2, 10}, {4, 0, 4}};
  for (auto& c : cases) {
    SeekMemoryStream(s, 2, 0);
    SeekMemoryStream(s, c.offset, c.origin);
    EXPECT_EQ(TellMemoryStream(s), c.expected) << c.offset << "," << c.origin;
    EXPECT_EQ(IsMemoryStreamEof(s), 0);
  }
  const STREAM_OPS* ops = GetMemoryStreamOps();
  SeekMemoryStream(s, 0, 0);
  EXPECT_EQ(ops->read(out, 1, 5, (uintptr_t)s), 5);
  EXPECT_EQ(ops->tell((uintptr_t)s), 5);
  EXPECT_EQ(ops->idle((uintptr_t)s), 1);
  EXPECT_EQ(ops->close((uintptr_t)s), 0);
}

TEST_F(FileAccess, FullPaths) {
  struct Case { const char* current; const char* path; const char* expected; } cases[] = {
      {"C:\\game\\bin", "..\\data\\a.png", "C:\\game\\data\\a.png"},
      {"D:\\work", "\\tmp\\x", "D:\\tmp\\x"},
      {"C:\\", "a/./b", "C:\\a\\b"},
      {"C:\\", "a/b/..", "C:\\a\\b\\.."},
      {"C:\\x", "E:y\\z", "E:\\y\\z"},
      {"C:\\x", "E:\\y//z", "E:\\y\\z"},
      {"C:\\x", "\\\\server\\share\\f", "\\\\server\\share\\f"},
      {"C:\\a", "..\\..\\..\\b", "C:\\b"},
      {"C:\\a", "\x95\x5C\\..\\c", "C:\\a\\c"},
      {"C:\\a", "\x95\x5C\\d", "C:\\a\\\x95\x5C\\d"},
  };
  for (auto& c : cases) {
    char out[FILE_PATH_CHARS];
    EXPECT_EQ(MakeFullPath(c.path, out, c.current), 0) << c.path;
    EXPECT_STREQ(out, c.expected) << c.current << " + " << c.path;
  }
  char out[FILE_PATH_CHARS];
  std::string longPath(300, 'p');
  EXPECT_EQ(MakeFullPath(longPath.c_str(), out, "C:\\"), -1) << "a result over 260 characters is refused";
  EXPECT_STREQ(out, "");
  char here[FILE_PATH_CHARS];
  GetCurrentDirectoryA(FILE_PATH_CHARS, here);
  EXPECT_EQ(MakeFullPath(nullptr, out, nullptr), 0);
  EXPECT_STREQ(out, here);
  EXPECT_EQ(MakeUpperFullPath(out, "sub/Name.png"), 0);
  std::string expected = std::string(here) + "\\SUB\\NAME.PNG";
  for (char& ch : expected)
    if (ch >= 'a' && ch <= 'z') ch = (char)(ch - 32);
  EXPECT_STREQ(out, expected.c_str());
}

TEST_F(FileAccess, WinFileReadsSeeksAndEnds) {
  ASSERT_TRUE(WriteWholeFile("ten.bin", "0123456789"));
  for (int mode = 0; mode < 3; mode++) {  // direct, threaded, threaded with cache
    WIN_FILE* f = OpenWinFile("ten.bin", mode == 2, 0, mode == 1);
    ASSERT_NE(f, nullptr) << mode;
    char out[16] = {};
    EXPECT_EQ(ReadWinFile(out, 4, 0, f), 0);
    EXPECT_EQ(ReadWinFile(out, 4, 3, f), 2) << mode;
    while (!IsWinFileIdle(f)) Sleep(1);
    EXPECT_EQ(memcmp(out, "01234567", 8), 0) << mode;
    EXPECT_EQ(TellWinFile(f), 8);
    EXPECT_EQ(ReadWinFile(out, 4, 1, f), 0);
    EXPECT_EQ(IsWinFileEof(f), -1);
    EXPECT_EQ(SeekWinFile(f, -1, 0), -1) << "negative seek refused, mode " << mode;
    EXPECT_EQ(SeekWinFile(f, -11, 2), -1);
    EXPECT_EQ(SeekWinFile(f, -20, 1), -1);
    EXPECT_EQ(TellWinFile(f), 8);
    EXPECT_EQ(SeekWinFile(f, 5, 2), 0) << "past the end is allowed";
    EXPECT_EQ(IsWinFileEof(f), 0);
    EXPECT_EQ(ReadWinFile(out, 1, 1, f), 0);
    EXPECT_EQ(IsWinFileEof(f), -1) << mode;
    EXPECT_EQ(SeekWinFile(f, -3, 2), 0);
    EXPECT_EQ(ReadWinFile(out, 1, 3, f), 3);
    while (!IsWinFileIdle(f)) Sleep(1);
    EXPECT_EQ(memcmp(out, "789", 3), 0);
    EXPECT_EQ(ReadWinFile(out, 0x10000, 0x10001, f), 0) << "64-bit request size";
    CloseWinFile(f);
  }
  EXPECT_EQ(OpenWinFile("missing.bin", 1, 0, 0), nullptr);
  EXPECT_EQ(ReadLogWithoutStamps().find("ファイルのオープンに失敗しました"), std::string::npos)
      << "a missing file is refused without a message";
}

TEST_F(FileAccess, ThreadedFileWithCacheMatchesDirectUnderRandomSeeks) {
  const std::string content = Pattern(600000);
  ASSERT_TRUE(WriteWholeFile("big.bin", content));
  WIN_FILE* direct = OpenWinFile("big.bin", 0, 0, 0);
  WIN_FILE* cached = OpenWinFile("big.bin", 1, 0, 0);
  WIN_FILE* async = OpenWinFile("big.bin", 1, 0, 1);
  ASSERT_TRUE(direct && cached && async);
  std::mt19937 random(3);
  std::string a(70000, 0), b(70000, 0), c(70000, 0);
  for (int k = 0; k < 300; k++) {
    if (k % 3 != 0) {  // sequential reads in between let the cache serve
      int at = (int)(random() % (content.size() + 100));
      ASSERT_EQ(SeekWinFile(direct, at, 0), 0);
      ASSERT_EQ(SeekWinFile(cached, at, 0), 0);
      ASSERT_EQ(SeekWinFile(async, at - (int)content.size(), 2), 0);
    }
    if (k % 50 == 0) Sleep(120);  // the reader thread tops its cache up while idle
    int n = (int)(random() % 70000) + 1;
    int got1 = ReadWinFile(&a[0], 1, n, direct);
    int got2 = ReadWinFile(&b[0], 1, n, cached);
    int got3 = ReadWinFile(&c[0], 1, n, async);
    while (!IsWinFileIdle(async)) Sleep(0);
    ASSERT_EQ(got1, got2) << k;
    ASSERT_EQ(got1, got3) << k;
    ASSERT_EQ(memcmp(&a[0], &b[0], got1), 0) << k;
    ASSERT_EQ(memcmp(&a[0], &c[0], got1), 0) << k;
    ASSERT_EQ(TellWinFile(direct), TellWinFile(cached));
  }
  CloseWinFile(direct);
  CloseWinFile(cached);
  CloseWinFile(async);
}

TEST_F(FileAccess, SynchronousThreadedReadReturnsBytesReallyRead) {
  ASSERT_TRUE(WriteWholeFile("short.bin", Pattern(1000)));
  for (int cache = 0; cache < 2; cache++) {
    WIN_FILE* t = OpenWinFile("short.bin", cache, 0, 1 - cache);
    ASSERT_NE(t, nullptr);
    t->asyncRead = 0;
    // The size taken at open time promises more than the file holds (it shrank meanwhile).
    t->size = 5000;
    std::string out(1000, 0);
    EXPECT_EQ(SeekWinFile(t, 900, 0), 0);
    EXPECT_EQ(ReadWinFile(&out[0], 100, 10, t), 1) << "100 bytes were really read, cache " << cache;
    EXPECT_EQ(TellWinFile(t), 1000);
    CloseWinFile(t);
  }
}

TEST_F(FileAccess, TableForwardsAndInstallsSets) {
  ASSERT_TRUE(WriteWholeFile("plain.txt", "plain text"));
  InstallFileAccessTable(nullptr);
  uint32_t h = OpenFileStream("plain.txt", 0, 0, 0);
  ASSERT_NE(h, 0u);
  char out[32] = {};
  EXPECT_EQ(ReadFileStream(out, 1, 32, h), 10);
  EXPECT_STREQ(out, "plain text");
  EXPECT_EQ(IsFileStreamEof(h), 0);
  EXPECT_EQ(ReadFileStream(out, 1, 1, h), 0);
  EXPECT_EQ(IsFileStreamEof(h), -1);
  EXPECT_EQ(SeekFileStream(h, 6, 0), 0);
  EXPECT_EQ(TellFileStream(h), 6);
  EXPECT_EQ(SeekFileStream(h, -7, 1), -1);
  EXPECT_EQ(IsFileStreamIdle(h), 1);
  const STREAM_OPS* ops = GetFileStreamOps();
  EXPECT_EQ(ops->read(out, 1, 4, h), 4);
  EXPECT_EQ(memcmp(out, "text", 4), 0);
  EXPECT_EQ(ops->close(h), 0);

  // A program's own table replaces the twelve functions.
  static int opens = 0;
  FILE_ACCESS_TABLE own = *GetFileAccessTable();
  own.open = [](const char*, int, int, int) -> uint32_t { opens++; return 0; };
  InstallFileAccessTable(&own);
  EXPECT_EQ(OpenFileStream("plain.txt", 0, 0, 0), 0u);
  EXPECT_EQ(opens, 1);
  SetPlainFilesSwitch(1);
  InstallFileAccessTable(nullptr);
  h = OpenFileStream("plain.txt", 1, 0, 0);
  EXPECT_NE(h, 0u);
  EXPECT_EQ(h & 0xF0000000u, 0u) << "the plain set hands out its own handles";
  EXPECT_EQ(ReadFileStream(out, 5, 1, h), 1);
  EXPECT_EQ(CloseFileStream(h), 0);
  SetPlainFilesSwitch(0);
  InstallFileAccessTable(nullptr);

  FILE_FIND_DATA data;
  intptr_t find = GetFileAccessTable()->findFirst("plain.*", &data);
  ASSERT_NE(find, -1);
  EXPECT_STREQ(data.name, "plain.txt");
  EXPECT_EQ(data.sizeLow, 10u);
  EXPECT_EQ(data.directory, 0);
  EXPECT_GE(data.lastWriteTime.year, 2020);
  EXPECT_EQ(GetFileAccessTable()->findNext(find, &data), -1);
  EXPECT_EQ(GetFileAccessTable()->findClose(find), 0);

  char path[MAX_PATH];
  HANDLE temp = CreateTempFile(path);
  ASSERT_NE(temp, INVALID_HANDLE_VALUE);
  CloseHandle(temp);
  EXPECT_NE(strstr(path, "tmp"), nullptr) << path;
  EXPECT_TRUE(DeleteFileA(path));
}
}  // namespace
