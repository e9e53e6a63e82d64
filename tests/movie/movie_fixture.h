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
#include "seeded_random.h"

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

// The Ogg pages of a file, as far as whole pages reach.
struct OGG_PAGE_AT {
  size_t offset, headerLength, bodyLength;
};
inline std::vector<OGG_PAGE_AT> OggPages(const std::string& file) {
  std::vector<OGG_PAGE_AT> pages;
  size_t at = 0;
  while (at + 27 <= file.size() && file.compare(at, 4, "OggS") == 0) {
    size_t segments = (uint8_t)file[at + 26], body = 0;
    if (at + 27 + segments > file.size()) break;
    for (size_t i = 0; i < segments; i++) body += (uint8_t)file[at + 27 + i];
    if (at + 27 + segments + body > file.size()) break;
    pages.push_back({at, 27 + segments, body});
    at += 27 + segments + body;
  }
  return pages;
}

// Sets the page's checksum for its present bytes (libogg's own computation).
inline void RepairPageChecksum(std::string& file, const OGG_PAGE_AT& p) {
  ogg_page page;
  page.header = (unsigned char*)&file[p.offset];
  page.header_len = (long)p.headerLength;
  page.body = (unsigned char*)&file[p.offset + p.headerLength];
  page.body_len = (long)p.bodyLength;
  ogg_page_checksum_set(&page);
}

inline void PutBigEndian(std::string& bytes, size_t at, int count, uint32_t value) {
  for (int i = 0; i < count; i++) bytes[at + i] = (char)(value >> (8 * (count - 1 - i)));
}

// The file with the Theora identification header (the body of its first page) edited in place
// and the page's checksum repaired.
inline std::string WithIdentificationHeader(std::string file, const std::function<void(std::string&)>& edit) {
  std::vector<OGG_PAGE_AT> pages = OggPages(file);
  if (pages.empty()) return file;
  std::string id = file.substr(pages[0].offset + pages[0].headerLength, pages[0].bodyLength);
  EXPECT_EQ(id.substr(0, 7), "\x80theora");
  edit(id);
  file.replace(pages[0].offset + pages[0].headerLength, id.size(), id);
  RepairPageChecksum(file, pages[0]);
  return file;
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
// time, or its luma names no frame). The luma is read inside the picture, away from its edges,
// from the stock entry held as PresentTheoraFrame holds it.
inline int PresentedIdentity(THEORA_DECODER* d) {
  if (WaitForCurrentFrame(d) == nullptr) return -1;
  PresentTheoraFrame(d, 1, 0, 0);
  THEORA_STOCK_FRAME* frame = HoldTheoraStockFrame(d, GetTheoraCurrentFrame(d));
  if (frame == nullptr) return -1;
  int identity = IdentityOfLuma(frame->y[4 * frame->yStride + 4]);
  ReleaseTheoraStockFrame(d);
  return identity;
}

// The colour the library's tables give a frame of the test movies (luma FrameLuma(k)), as
// 0xRRGGBB.
inline uint32_t FrameColor(int k) {
  const YUV_TO_RGB_TABLES& t = YuvToRgbTables;
  int32_t y = t.luma[FrameLuma(k)];
  int r = ClampYuvChannel(y, t.crToRed[kMovieCr]);
  int g = ClampYuvChannel(y, t.cbToGreen[kMovieCb] + t.crToGreen[kMovieCr]);
  int b = ClampYuvChannel(y, t.cbToBlue[kMovieCb]);
  return (uint32_t)(r << 16 | g << 8 | b);
}

// The frame identity (0-49) whose colour is nearest to a pixel, and how far it is.
inline int NearestIdentity(uint32_t c, int* distance = nullptr) {
  int best = -1, bestDistance = 1 << 30;
  for (int k = 0; k < 50; k++) {
    uint32_t e = FrameColor(k);
    int d = abs((int)(c >> 16 & 0xFF) - (int)(e >> 16 & 0xFF)) + abs((int)(c >> 8 & 0xFF) - (int)(e >> 8 & 0xFF)) +
            abs((int)(c & 0xFF) - (int)(e & 0xFF));
    if (d < bestDistance) best = k, bestDistance = d;
  }
  if (distance != nullptr) *distance = bestDistance;
  return best;
}

// The identity of the picture in an XRGB8 image of a 4:2:0 test movie (-1: no frame's colour).
inline int ImageIdentity(const RASTER_IMAGE* image) {
  if (image->pixels == nullptr || image->width < 8 || image->height < 8) return -1;
  const uint8_t* p = (const uint8_t*)image->pixels + 4 * image->pitch + 4 * 4;
  int distance = 0, k = NearestIdentity((uint32_t)(p[2] << 16 | p[1] << 8 | p[0]), &distance);
  return distance <= 8 ? k : -1;
}


// Runs a job on a thread of its own and waits for it at most timeoutMs: false when it did not
// end in time (it is then left running: whatever it holds stays allocated).
inline bool RunWithin(const std::function<void()>& job, int timeoutMs) {
  struct CALL {
    std::function<void()> job;
    static DWORD WINAPI Run(LPVOID p) {
      ((CALL*)p)->job();
      return 0;
    }
  };
  CALL* call = new CALL{job};
  HANDLE thread = CreateThread(nullptr, 0, CALL::Run, call, 0, nullptr);
  if (thread == nullptr) return false;
  bool ended = WaitForSingleObject(thread, (DWORD)timeoutMs) == WAIT_OBJECT_0;
  CloseHandle(thread);
  if (ended) delete call;
  return ended;
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
