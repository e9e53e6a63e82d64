// The tracked allocator: block layout, list, log lines and the guard check.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>

#include "core/log.h"
#include "core/memory.h"
#include "core/winapi.h"
#include "test_support.h"

namespace {
class Allocator : public ::testing::Test {
 protected:
  void SetUp() override {
    StartTestLog();
  }
  static ALLOC_BLOCK_HEAD* Head(void* p) { return (ALLOC_BLOCK_HEAD*)((char*)p - ALLOC_HEADER_SIZE); }
};

TEST_F(Allocator, BlockCarriesDescriptorAndTwoGuards) {
  unsigned char* p = (unsigned char*)AllocTracked(10, "file.cpp", 77);
  ASSERT_NE(p, nullptr);
  ALLOC_BLOCK_HEAD* head = Head(p);
  EXPECT_STREQ(head->name, "file.cpp");
  EXPECT_EQ((unsigned char)head->name[15], 0xA5);
  EXPECT_EQ(head->line, 77);
  EXPECT_EQ(head->size, 10u);
  // The descriptor is 32 bytes in the 32-bit build and 40 with 64-bit pointers.
  EXPECT_EQ(ALLOC_GUARD_SIZE, sizeof(void*) == 4 ? 32 : 40);
  EXPECT_EQ(ALLOC_HEADER_SIZE % 16, 0);  // the caller's bytes keep the heap's alignment
  EXPECT_EQ(memcmp(head, (char*)head + ALLOC_GUARD_SIZE, ALLOC_GUARD_SIZE), 0);
  EXPECT_EQ(memcmp(head, p + 10, ALLOC_GUARD_SIZE), 0);
  FreeTracked(p);
}

TEST_F(Allocator, SourceNameKeepsItsLastFifteenCharacters) {
  struct Case { const char* name; const char* kept; } cases[] = {
      {"abcdefghijklmn", "abcdefghijklmn"},      // 14: all of it
      {"abcdefghijklmno", "abcdefghijklmno"},    // 15: all of it
      {"0123abcdefghijklmno", "abcdefghijklmno"},  // longer: the last 15
      {nullptr, ""},
  };
  for (const Case& c : cases) {
    void* p = AllocTracked(4, c.name, 0);
    EXPECT_STREQ(Head(p)->name, c.kept) << (c.name ? c.name : "(null)");
    FreeTracked(p);
  }
}

TEST_F(Allocator, TotalsFollowAllocationsAndFrees) {
  uint32_t size0 = GetAllocTotalSize();
  int count0 = GetAllocBlockCount();
  void* a = AllocTracked(100, "", 0);
  void* b = AllocTrackedZeroed(50, "", 0);
  EXPECT_EQ(((unsigned char*)b)[49], 0);
  EXPECT_EQ(GetAllocTotalSize(), size0 + 150);
  EXPECT_EQ(GetAllocBlockCount(), count0 + 2);
  b = ReallocTracked(b, 500, "", 0);
  EXPECT_EQ(GetAllocTotalSize(), size0 + 600);
  EXPECT_EQ(GetAllocBlockCount(), count0 + 2);
  FreeTracked(a);
  FreeTracked(b);
  EXPECT_EQ(GetAllocTotalSize(), size0);
  EXPECT_EQ(GetAllocBlockCount(), count0);
}

TEST_F(Allocator, ReallocToSameSizeKeepsAddressWithNewId) {
  void* p = AllocTracked(32, "", 0);
  uint16_t id = Head(p)->id;
  void* q = ReallocTracked(p, 32, "", 0);
  EXPECT_EQ(p, q);
  EXPECT_NE(Head(q)->id, id);
  FreeTracked(q);
}

TEST_F(Allocator, ReallocOfNullAllocatesAndGrowthKeepsContents) {
  char* p = (char*)ReallocTracked(nullptr, 8, "", 0);
  ASSERT_NE(p, nullptr);
  memcpy(p, "korvel!", 8);
  p = (char*)ReallocTracked(p, 100000, "", 0);
  ASSERT_NE(p, nullptr);
  EXPECT_STREQ(p, "korvel!");
  EXPECT_EQ(memcmp(Head(p), p + 100000, ALLOC_GUARD_SIZE), 0);
  FreeTracked(p);
}

TEST_F(Allocator, SizesThatWouldWrapAreRefused) {
  EXPECT_EQ(AllocTracked(0xFFFFFFFFu, "", 0), nullptr);
  EXPECT_EQ(AllocTracked(0xFFFFFFFFu - 50, "", 0), nullptr);
  void* p = AllocTracked(16, "", 0);
  EXPECT_EQ(ReallocTracked(p, 0xFFFFFFF0u, "", 0), nullptr);
  FreeTracked(p);
}

TEST_F(Allocator, ZeroSizeBlocksAreLoggedWithEmptyData) {
  StartLog();
  void* p = AllocTracked(0, "", 0);
  void* q = AllocTracked(0, "", 0);
  EXPECT_NE(p, q);
  FreeTracked(p);
  FreeTracked(q);
  FreeTracked(nullptr);  // logs nothing
  std::string log = ReadLogWithoutStamps();
  char addr[24];  // the whole address: 8 hex digits in the 32-bit build, 16 in the 64-bit one
  sprintf(addr, "%0*llx", (int)(2 * sizeof(void*)), (unsigned long long)(uintptr_t)p);
  std::string line = std::string("\tsize:         0(     0.000kb)  file:                            line:0      ID:") ;
  EXPECT_EQ(log.find("mem alloc  " + line), 0u) << log;
  EXPECT_NE(log.find(std::string("addr:") + addr + "  data:<> ]\r\n"), std::string::npos) << log;
  EXPECT_NE(log.find("mem free  " + line), std::string::npos) << log;
  size_t lines = 0;
  for (char c : log) lines += c == '\n';
  EXPECT_EQ(lines, 4u) << log;
}

TEST_F(Allocator, DataPartShowsPrintableBytesAndHex) {
  StartLog();
  char* p = (char*)AllocTracked(20, "", 0);
  memcpy(p, "AB\x01\x80xyz0123456789abcdefgh", 20);
  LogAllocBlock(Head(p), 1);
  std::string log = ReadLogWithoutStamps();
  EXPECT_NE(log.find("  data:<AB..xyz012345678> [41 42 01 80 78 79 7a 30 31 32 33 34 35 36 37 38]\r\n"),
            std::string::npos)
      << log;
  FreeTracked(p);
}

TEST_F(Allocator, DumpWithNoLiveBlocksShowsZeroTotals) {
  if (GetAllocBlockCount() != 0) GTEST_SKIP() << "blocks from other tests are alive";
  StartLog();
  DumpAllocatedBlocks();
  EXPECT_EQ(ReadLogWithoutStamps(), "\r\nAlloc memory dump\r\n\tTotal size:0(0.000kb)  Alloc num:0\r\n\r\n");
}

TEST_F(Allocator, OverwrittenGuardIsReportedAndStopsTheProcess) {
  EXPECT_EXIT(
      {
        StartLog();
        char* p = (char*)AllocTracked(8, "", 0);
        p[8] = 0x55;  // one byte past the end
        FreeTracked(p);
      },
      ::testing::ExitedWithCode(ALLOC_CORRUPTION_EXIT_CODE), "");
  std::string log = ReadLogWithoutStamps();
  size_t at = log.find("以下のメモリ確保情報が破損しました、強制終了します\r\n");
  ASSERT_NE(at, std::string::npos) << log;
  std::string rest = log.substr(at);
  EXPECT_NE(rest.find("\r\nHEAD  BASE:"), std::string::npos);
  EXPECT_NE(rest.find("\r\nHEAD TEMP1:"), std::string::npos);
  EXPECT_NE(rest.find("\r\nHEAD TEMP2:55 "), std::string::npos) << rest;
  size_t lines = 0;
  for (char c : rest) lines += c == '\n';
  EXPECT_EQ(lines, 7u) << rest;  // message, three hex lines, three block lines
}
}  // namespace
