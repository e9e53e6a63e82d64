// Shared pieces of the movie tests: the build's test movies read through a file table over
// memory (so a test can cut a file short after opening, or count the seeks), the identity of a
// decoded frame from its luma, bounded waits for the decode thread, and a heap that refuses
// blocks of one size.
#pragma once
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdint>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "core/memory.h"
#include "movie/theora_decoder.h"
#include "movie/yuv_tables.h"
#include "test_support.h"

namespace movie_test {
// Frame k of every test movie is a flat picture of this luma (tools/theoramake), Cb 100, Cr 160.
inline int FrameLuma(int k) { return 20 + 4 * (k % 50); }
const int kMovieCb = 100, kMovieCr = 160;
// The identity (k modulo 50) of a luma value, or -1 when none is near.
inline int IdentityOfLuma(int luma) {
  int k = (luma - 20 + 2) / 4;
  if (luma < 18 || k < 0 || k >= 50 || abs(FrameLuma(k) - luma) > 2) return -1;
  return k;
}

inline std::string MoviePath(const std::string& name) { return "../../fixtures/movie/" + name; }
inline std::string MovieBytes(const std::string& name) {
  std::string bytes = ReadWholeFile(MoviePath(name));
  EXPECT_FALSE(bytes.empty()) << name;
  return bytes;
}

// Files held in memory behind a file table; the handle is the index + 1. Seeks are counted.
struct MEMORY_FILE {
  std::string bytes;
  size_t position = 0;
  bool atEnd = false;
  int seeks = 0;
};
inline std::vector<MEMORY_FILE>& MemoryFiles() {
  static std::vector<MEMORY_FILE> files;
  return files;
}
inline MEMORY_FILE& FileOf(uint32_t handle) { return MemoryFiles()[handle - 1]; }
inline const FILE_ACCESS_TABLE* MemoryFileTable() {
  static FILE_ACCESS_TABLE table = {};
  table.read = [](void* buffer, int size, int count, uint32_t handle) -> int {
    MEMORY_FILE& f = FileOf(handle);
    size_t want = (size_t)size * count, left = f.position < f.bytes.size() ? f.bytes.size() - f.position : 0;
    size_t n = want < left ? want : left;
    memcpy(buffer, f.bytes.data() + f.position, n);
    f.position += n;
    f.atEnd = n < want;
    return size > 0 ? (int)(n / size) : 0;
  };
  table.seek = [](uint32_t handle, int offset, int origin) -> int {
    MEMORY_FILE& f = FileOf(handle);
    f.seeks++;
    f.position = origin == 0 ? offset : origin == 1 ? f.position + offset : f.bytes.size() + offset;
    f.atEnd = false;
    return 0;
  };
  table.eof = [](uint32_t handle) -> int { return FileOf(handle).atEnd ? 1 : 0; };
  table.tell = [](uint32_t handle) -> int { return (int)FileOf(handle).position; };
  return &table;
}
inline uint32_t AddMemoryFile(const std::string& bytes) {
  MemoryFiles().push_back({bytes});
  return (uint32_t)MemoryFiles().size();
}

inline THEORA_DECODER* OpenMemoryMovie(const std::string& bytes, uint32_t* handle = nullptr, int stock = 10) {
  uint32_t h = AddMemoryFile(bytes);
  if (handle != nullptr) *handle = h;
  return OpenTheoraDecoder(MemoryFileTable(), h, stock, 0);
}

// Polls until done() or the time is up.
inline bool WaitFor(const std::function<bool()>& done, int timeoutMs = 10000) {
  for (DWORD start = GetTickCount(); !done();) {
    if ((int)(GetTickCount() - start) > timeoutMs) return false;
    Sleep(1);
  }
  return true;
}

// The current frame's stock entry once the thread has made it (null after the timeout or when
// the thread can give it no more).
inline THEORA_STOCK_FRAME* WaitForCurrentFrame(THEORA_DECODER* d, int timeoutMs = 10000) {
  THEORA_STOCK_FRAME* frame = nullptr;
  WaitFor(
      [&] {
        if (LoadSharedWord(&d->seekRequest) || LoadSharedWord(&d->state) == THEORA_STATE_SEEKING) return false;
        frame = FindTheoraStockFrame(d, GetTheoraCurrentFrame(d));
        return frame != nullptr || LoadSharedWord(&d->endOfData) || LoadSharedWord(&d->state) == THEORA_STATE_ENDED;
      },
      timeoutMs);
  return frame;
}

// The identity of the current frame after presenting it into the image (-1: none within the
// time, or its luma names no frame). The luma is read inside the picture, away from its edges.
inline int PresentedIdentity(THEORA_DECODER* d) {
  THEORA_STOCK_FRAME* frame = WaitForCurrentFrame(d);
  if (frame == nullptr) return -1;
  PresentTheoraFrame(d, 1, 0, 0);
  return IdentityOfLuma(frame->y[4 * frame->yStride + 4]);
}

// A heap over the process heap that refuses every block (new or grown) of one size.
inline size_t& RefusedBlockSize() {
  static size_t size = 0;
  return size;
}
inline const ALLOC_HEAP_FUNCTIONS* RefusingHeap(size_t userSize) {
  RefusedBlockSize() = userSize + ALLOC_OVERHEAD;
  static const ALLOC_HEAP_FUNCTIONS heap = {
      [](size_t size) -> void* {
        return size == RefusedBlockSize() ? nullptr : HeapAlloc(GetProcessHeap(), 0, size);
      },
      [](void* block, size_t size) -> void* {
        if (size == RefusedBlockSize()) return nullptr;
        return block == nullptr ? HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, size)
                                : HeapReAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, block, size);
      },
      [](void* block) { HeapFree(GetProcessHeap(), 0, block); }};
  return &heap;
}
}  // namespace movie_test
