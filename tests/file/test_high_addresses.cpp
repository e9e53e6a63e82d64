// Every tracked block placed at the top of the address space (above 4 GB in a 64-bit process):
// a pointer kept in a 32-bit handle anywhere on the road would be cut and fault.
#include <windows.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "core/memory.h"
#include "file/file_access.h"
#include "gtest/gtest.h"
#include "test_support.h"

namespace {
// Each block gets pages of its own from the top of the address space.
void* TopAlloc(size_t size) { return VirtualAlloc(nullptr, size, MEM_RESERVE | MEM_COMMIT | MEM_TOP_DOWN, PAGE_READWRITE); }
void TopFree(void* block) {
  if (block != nullptr) VirtualFree(block, 0, MEM_RELEASE);
}
void* TopReallocZeroed(void* block, size_t size) {
  void* moved = TopAlloc(size);
  if (moved == nullptr || block == nullptr) return moved;
  MEMORY_BASIC_INFORMATION info;
  VirtualQuery(block, &info, sizeof info);
  // The old pages past the block's bytes are zero (fresh pages), so copying them zero-fills.
  memcpy(moved, block, info.RegionSize < size ? info.RegionSize : size);
  TopFree(block);
  return moved;
}
const ALLOC_HEAP_FUNCTIONS kTopDown = {TopAlloc, TopReallocZeroed, TopFree};

class HighAddresses : public ::testing::Test {
 protected:
  void SetUp() override { SetAllocHeapFunctions(&kTopDown); }
  void TearDown() override {
    EXPECT_EQ(GetAllocBlockCount(), 0) << "every block freed before the heap is put back";
    SetAllocHeapFunctions(nullptr);
  }
};

TEST_F(HighAddresses, BlocksReallyLieHigh) {
  void* block = AllocTracked(100, "", 0);
  ASSERT_NE(block, nullptr);
  if (sizeof(void*) == 8) {
    EXPECT_GT((uint64_t)(uintptr_t)block, 0xFFFFFFFFull) << "the test would prove nothing";
  }
  block = ReallocTracked(block, 100000, "", 0);
  ASSERT_NE(block, nullptr);
  FreeTracked(block);
}

TEST_F(HighAddresses, PlainAndArchiveFileSetsReadTheirFiles) {
  ASSERT_TRUE(WriteWholeFile("high.txt", "read through a high block"));
  for (int plain = 0; plain <= 1; plain++) {
    SetPlainFilesSwitch(plain);
    InstallFileAccessTable(nullptr);
    for (int cached = 0; cached <= 1; cached++) {
      // Several files at once, so that handles of live files are told apart.
      std::vector<uint32_t> handles;
      for (int n = 0; n < 3; n++) {
        uint32_t h = OpenFileStream("high.txt", cached, 0, 0);
        ASSERT_NE(h, 0u) << "plain " << plain << " cached " << cached;
        handles.push_back(h);
      }
      for (uint32_t h : handles) {
        char text[64] = {};
        EXPECT_EQ(SeekFileStream(h, 5, 0), 0);
        EXPECT_EQ(ReadFileStream(text, 1, sizeof text, h), 20);
        EXPECT_STREQ(text, "through a high block");
        EXPECT_EQ(TellFileStream(h), 25);
      }
      for (uint32_t h : handles) EXPECT_EQ(CloseFileStream(h), 0);
      EXPECT_EQ(CloseFileStream(handles[0]), -1) << "a closed handle names no file";
    }
  }
  SetPlainFilesSwitch(0);
  InstallFileAccessTable(nullptr);
}
}  // namespace
