// The ring buffer: growth sizes and order, peeking and reading, refusal of lengths that cannot
// be held, and random operations checked against a plain queue.
#include <gtest/gtest.h>
#include <windows.h>

#include <climits>
#include <deque>
#include <random>
#include <vector>

#include "core/log.h"
#include "core/memory.h"
#include "core/ring_buffer.h"
#include "core/winapi.h"
#include "test_support.h"

namespace {
// The writer protocol the network and soft-sound code follow.
int WriteRing(RING_BUFFER* ring, const unsigned char* bytes, int n) {
  if (ReserveRingBuffer(ring, n) != 0) return -1;
  if (ring->writePosition == ring->size) ring->writePosition = 0;
  int first = ring->writePosition + n > ring->size ? ring->size - ring->writePosition : n;
  memcpy(ring->data + ring->writePosition, bytes, (size_t)first);
  memcpy(ring->data, bytes + first, (size_t)(n - first));
  ring->writePosition += n;
  if (ring->writePosition > ring->size) ring->writePosition -= ring->size;
  ring->held += n;
  return 0;
}

std::vector<unsigned char> Sequence(int n, int start) {
  std::vector<unsigned char> v((size_t)n);
  for (int i = 0; i < n; i++) v[(size_t)i] = (unsigned char)(start + i * 7);
  return v;
}

class RingBuffer : public ::testing::Test {
 protected:
  void SetUp() override {
    StartTestLog();
    InitRingBuffer(&ring);
  }
  void TearDown() override { FreeRingBuffer(&ring); }
  RING_BUFFER ring;
};

TEST_F(RingBuffer, GrowthSizesKeepTheBytesInOrder) {
  ASSERT_EQ(ReserveRingBuffer(&ring, 100), 0);
  EXPECT_EQ(ring.size, 1100);
  // Reach size 1100 holding 800 bytes from read position 900 (the bytes wrap at the end).
  std::vector<unsigned char> filler = Sequence(900, 0), held = Sequence(800, 3), out(900);
  ASSERT_EQ(WriteRing(&ring, filler.data(), 900), 0);
  ASSERT_EQ(ReadRingBuffer(&ring, out.data(), 900, 0), 0);
  ASSERT_EQ(WriteRing(&ring, held.data(), 800), 0);
  ASSERT_EQ(ring.size, 1100);
  ASSERT_EQ(ring.readPosition, 900);
  ASSERT_EQ(ring.held, 800);

  ASSERT_EQ(ReserveRingBuffer(&ring, 400), 0);
  EXPECT_EQ(ring.size, 800 * 3 / 2 + 400 + 1000);
  EXPECT_EQ(ring.readPosition, 0);
  EXPECT_EQ(ring.writePosition, 800);
  EXPECT_EQ(std::vector<unsigned char>(ring.data, ring.data + 800), held);
  ASSERT_EQ(ReserveRingBuffer(&ring, 400), 0);  // fits now: nothing moves
  EXPECT_EQ(ring.size, 2600);
}

TEST_F(RingBuffer, PeekReadAndEmptyReads) {
  std::vector<unsigned char> bytes = Sequence(10, 1);
  ASSERT_EQ(WriteRing(&ring, bytes.data(), 10), 0);
  unsigned char a[4], b[4];
  ASSERT_EQ(ReadRingBuffer(&ring, a, 4, 1), 0);
  ASSERT_EQ(ReadRingBuffer(&ring, b, 4, 1), 0);
  EXPECT_EQ(memcmp(a, b, 4), 0);
  EXPECT_EQ(ring.held, 10);
  ASSERT_EQ(ReadRingBuffer(&ring, b, 4, 0), 0);
  EXPECT_EQ(memcmp(a, bytes.data(), 4), 0);
  EXPECT_EQ(memcmp(b, bytes.data(), 4), 0);
  unsigned char untouched = 0xEE;
  EXPECT_EQ(ReadRingBuffer(&ring, &untouched, 0, 0), 0);
  EXPECT_EQ(untouched, 0xEE);
  unsigned char rest[7];
  EXPECT_EQ(ReadRingBuffer(&ring, rest, 7, 0), -1);  // only 6 held: nothing copied
  EXPECT_EQ(ring.held, 6);
  ASSERT_EQ(ReadRingBuffer(&ring, rest, 6, 0), 0);
  EXPECT_EQ(ring.held, 0);
  EXPECT_EQ(ring.readPosition, ring.writePosition);
}

TEST_F(RingBuffer, LengthsThatCannotBeHeldAreRefused) {
  std::vector<unsigned char> bytes = Sequence(50, 9), out(50);
  ASSERT_EQ(WriteRing(&ring, bytes.data(), 50), 0);
  RING_BUFFER before = ring;
  // A peer's announced length: the growth sum would pass 32 bits. The held bytes stay.
  EXPECT_EQ(ReserveRingBuffer(&ring, INT_MAX), -1);
  EXPECT_EQ(ReserveRingBuffer(&ring, INT_MAX - 1000), -1);
  EXPECT_EQ(ReserveRingBuffer(&ring, -1), -1);
  EXPECT_EQ(memcmp(&ring, &before, sizeof(ring)), 0);
  ASSERT_EQ(ReadRingBuffer(&ring, out.data(), 50, 0), 0);
  EXPECT_EQ(out, bytes);
  EXPECT_NE(ReadLogWithoutStamps().find("リングバッファの再確保に失敗しました(確保しようとしたサイズ 2147484722 byte)"),
            std::string::npos)
      << ReadLogWithoutStamps();
}

// The process heap, refusing blocks of 256 MB and more (a 64-bit process could have them).
void* SmallBlocksOnly(size_t size) { return size >= 0x10000000 ? nullptr : HeapAlloc(GetProcessHeap(), 0, size); }
void* SmallReallocZeroed(void* block, size_t size) {
  return size >= 0x10000000 ? nullptr : HeapReAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, block, size);
}
void ProcessHeapFree(void* block) { HeapFree(GetProcessHeap(), 0, block); }

TEST_F(RingBuffer, AFailedAllocationEmptiesTheRingAndNamesTheSize) {
  std::vector<unsigned char> bytes = Sequence(50, 9);
  ASSERT_EQ(WriteRing(&ring, bytes.data(), 50), 0);
  int blocks = GetAllocBlockCount();
  // Fits 32 bits, but the heap cannot give it.
  const ALLOC_HEAP_FUNCTIONS smallHeap = {SmallBlocksOnly, SmallReallocZeroed, ProcessHeapFree};
  SetAllocHeapFunctions(&smallHeap);
  EXPECT_EQ(ReserveRingBuffer(&ring, 0x7FF00000), -1);
  SetAllocHeapFunctions(nullptr);
  EXPECT_EQ(ring.data, nullptr);
  EXPECT_EQ(ring.size, 0);
  EXPECT_EQ(ring.held, 0);
  EXPECT_EQ(GetAllocBlockCount(), blocks - 1);
  EXPECT_NE(ReadLogWithoutStamps().find("(確保しようとしたサイズ 2146436147 byte)"), std::string::npos);
}

TEST_F(RingBuffer, RandomOperationsMatchAQueue) {
  std::mt19937 random(12345);
  std::deque<unsigned char> model;
  unsigned char next = 0;
  for (int step = 0; step < 20000; step++) {
    int n = (int)(random() % 700);
    int kind = (int)(random() % 3);
    if (kind == 0) {
      std::vector<unsigned char> bytes((size_t)n);
      for (auto& b : bytes) model.push_back(b = next++);
      ASSERT_EQ(WriteRing(&ring, bytes.data(), n), 0) << step;
    } else {
      std::vector<unsigned char> out((size_t)n);
      int peek = kind == 2 && (random() & 1);
      int result = ReadRingBuffer(&ring, out.data(), n, peek);
      if ((size_t)n > model.size()) {
        ASSERT_EQ(result, -1) << step;
      } else {
        ASSERT_EQ(result, 0) << step;
        ASSERT_TRUE(std::equal(out.begin(), out.end(), model.begin())) << "step " << step;
        if (!peek) model.erase(model.begin(), model.begin() + n);
      }
    }
    ASSERT_EQ(ring.held, (int)model.size()) << step;
    ASSERT_LE(ring.held, ring.size) << step;
    ASSERT_EQ(ring.writePosition % (ring.size ? ring.size : 1),
              (ring.readPosition + ring.held) % (ring.size ? ring.size : 1))
        << step;
  }
  EXPECT_EQ(FreeRingBuffer(&ring), 0);
  EXPECT_EQ(ring.data, nullptr);
  EXPECT_EQ(ring.size, 0);
}
}  // namespace
