// Mutated Theora movies go through the library's Theora reader: Ogg page fields and bodies
// changed with the page checksum repaired (so that libogg passes the page on), fields of the
// identification header, bytes changed with the checksum left wrong, and cuts. Each file opens
// or is refused; an opened one presents its first frame, steps, seeks and presents again, and
// closes. Nothing crashes, every call returns (a mutation whose calls do not end fails the
// test), no tracked block is left and no guard of one is damaged.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "core/log.h"
#include "movie_fixture.h"

namespace {
using namespace movie_test;

// Sets the checksum of the page that starts at the offset, for the lengths its (possibly
// changed) header gives, when the page lies inside the file.
void RepairPageAt(std::string& file, size_t offset) {
  if (offset + 27 > file.size()) return;
  size_t segments = (uint8_t)file[offset + 26], body = 0;
  if (offset + 27 + segments > file.size()) return;
  for (size_t i = 0; i < segments; i++) body += (uint8_t)file[offset + 27 + i];
  if (offset + 27 + segments + body > file.size()) return;
  RepairPageChecksum(file, {offset, 27 + segments, body});
}

// A value for a header field: small, zero, all ones or random bits.
uint32_t FieldValue(Random& rnd, uint32_t small) {
  switch (rnd.Below(4)) {
    case 0: return 0;
    case 1: return 0xFFFFFFFFu;
    case 2: return (uint32_t)rnd.Below((int)small + 1);
    default: return rnd.Next();
  }
}

// The identification header's fields: offset in the packet and width in bytes, and a bound for
// small values (frame sizes stay small or pass the library's limit, so that no mutation makes
// the reader build frames of hundreds of megabytes).
struct ID_FIELD {
  int at, bytes;
  uint32_t small;
};
const ID_FIELD kIdFields[] = {
    {7, 1, 4},  {8, 1, 4},  {9, 1, 4},                    // version
    {10, 2, 40}, {12, 2, 40},                             // frame size in macroblocks
    {14, 3, 700}, {17, 3, 700}, {20, 1, 40}, {21, 1, 40},  // picture size and offset
    {22, 4, 60}, {26, 4, 60},                             // frame rate
    {30, 3, 4}, {33, 3, 4}, {36, 1, 3},                   // aspect, colour space
    {37, 3, 1000}, {40, 1, 255}, {41, 1, 255},            // bit rate, quality, shift, pixel format
};

void MutateIdentificationHeader(std::string& file, const std::vector<OGG_PAGE_AT>& pages, Random& rnd) {
  if (pages.empty() || pages[0].bodyLength < 42) return;
  size_t body = pages[0].offset + pages[0].headerLength;
  const ID_FIELD& f = kIdFields[rnd.Below((int)(sizeof kIdFields / sizeof kIdFields[0]))];
  uint32_t value = FieldValue(rnd, f.small);
  if (f.at == 10 || f.at == 12) {
    // Frame sizes beyond the limit are refused whole; within it they stay small.
    if (value > f.small && value < 0x400) value = f.small;
  }
  std::string field = file.substr(body + f.at, f.bytes);
  PutBigEndian(field, 0, f.bytes, value);
  file.replace(body + f.at, f.bytes, field);
  RepairPageAt(file, pages[0].offset);
}

std::string Mutate(const std::string& seed, Random& rnd, int depth = 0) {
  std::string s = seed;
  std::vector<OGG_PAGE_AT> pages = OggPages(s);
  if (pages.empty()) return s;
  // Mostly the first pages: the headers and the first frames.
  const OGG_PAGE_AT& page = pages[rnd.Below(2) ? rnd.Below(std::min<int>((int)pages.size(), 6)) : rnd.Below((int)pages.size())];
  switch (rnd.Below(7)) {
    case 0:  // a cut, anywhere or just behind a page start
      return s.substr(0, rnd.Below(2) ? (size_t)rnd.Below((int)s.size()) : page.offset + rnd.Below(64));
    case 1: {  // a field of the page header, the checksum repaired
      static const int kAt[] = {4, 5, 6, 13, 14, 17, 18, 21, 26};
      size_t at = page.offset + kAt[rnd.Below(9)];
      if (rnd.Below(3) == 0 && page.headerLength > 27) at = page.offset + 27 + rnd.Below((int)page.headerLength - 27);
      s[at] = rnd.Below(2) ? (char)rnd.Next() : (char)(s[at] ^ (1 << rnd.Below(8)));
      RepairPageAt(s, page.offset);
      break;
    }
    case 2:
    case 3: {  // bytes of a page body, the checksum repaired
      if (page.bodyLength == 0) break;
      int changes = 1 + rnd.Below(4);
      for (int i = 0; i < changes; i++) {
        size_t at = page.offset + page.headerLength + rnd.Below((int)std::min<size_t>(page.bodyLength, 64));
        if (rnd.Below(2)) at = page.offset + page.headerLength + rnd.Below((int)page.bodyLength);
        s[at] = rnd.Below(2) ? (char)rnd.Next() : (char)(s[at] ^ (1 << rnd.Below(8)));
      }
      RepairPageAt(s, page.offset);
      break;
    }
    case 4:
      MutateIdentificationHeader(s, pages, rnd);
      break;
    case 5: {  // bytes anywhere, checksums left wrong
      int changes = 1 + rnd.Below(3);
      for (int i = 0; i < changes; i++) s[rnd.Below((int)s.size())] ^= (char)(1 << rnd.Below(8));
      break;
    }
    default:
      if (depth < 2) return Mutate(Mutate(s, rnd, depth + 1), rnd, depth + 1);
  }
  return s;
}

// Reads every pixel of the image, as a caller copying the frame would.
uint32_t SumImage(const RASTER_IMAGE* image) {
  uint32_t sum = 0;
  for (int y = 0; y < image->height; y++)
    for (int x = 0; x < image->width * 4; x++) sum += ((const uint8_t*)image->pixels)[(size_t)y * image->pitch + x];
  return sum;
}

// Opens the file and, when it opens, moves through it as a player would. -> true when it opened.
bool Exercise(const std::string& file, Random& rnd) {
  uint32_t handle = AddMemoryFile(file);
  THEORA_DECODER* d = OpenTheoraDecoder(MemoryFileTable(), handle, rnd.Below(4) == 0 ? 3 : 10, 0);
  bool opened = d != nullptr;
  if (opened) {
    THEORA_MOVIE_INFO info = {};
    GetTheoraInfo(d, &info);
    int frames = info.frameCount > 0 ? info.frameCount : 1;
    PresentTheoraFrame(d, 1, 0, 0);
    StepTheoraFrames(d, 1 + rnd.Below(2 * frames));
    PresentTheoraFrame(d, 1, 0, 0);
    SeekTheoraFrame(d, rnd.Below(frames + 2));
    PresentTheoraFrame(d, 1, 0, 0);
    StepTheoraFrames(d, frames - 1);
    PresentTheoraFrame(d, 1, 0, 0);
    SumImage(GetTheoraImage(d));
    CloseTheoraDecoder(d);
  }
  FileOf(handle).bytes = std::string();
  return opened;
}

TEST(TheoraFuzz, MutatedMoviesOpenOrAreRefusedAndNeverHang) {
  StartTestLog();
  BuildYuvToRgbTables();
  freopen("NUL", "w", stderr);  // libtheora's and libogg's own complaints say nothing here
  const char* seeds[] = {"basic.ogv", "multi.ogv", "span.ogv", "yuv422.ogv", "hole.ogv", "frames11.ogv"};
  const int perSeed = 100;  // each opening starts a decode thread: about 20 ms under Wine
  Random rnd{0x7E0A0001u};
  for (const char* name : seeds) {
    std::string seed = MovieBytes(name);
    {
      Random probe{1};
      ASSERT_TRUE(Exercise(seed, probe)) << "seed " << name;
    }
    int blocks = GetAllocBlockCount(), opened = 0, done = -1;
    std::string failure;
    DWORD started = GetTickCount();
    bool ended = RunWithin(
        [&] {
          for (int i = 0; i < perSeed && failure.empty(); i++) {
            std::string file = Mutate(seed, rnd);
            done = i;
            opened += Exercise(file, rnd) ? 1 : 0;
            if (CheckAllAllocBlocks() != 0) failure = "damaged block after mutation " + std::to_string(i);
            else if (GetAllocBlockCount() != blocks) failure = "block left by mutation " + std::to_string(i);
          }
        },
        120000);  // a few seconds on an idle machine
    ASSERT_TRUE(ended) << name << ": mutation " << done << " never finished";
    EXPECT_EQ(failure, "") << name;
    // Both outcomes happen for every seed: the mutations reach the decoder, not only the headers.
    EXPECT_GT(opened, 0) << name;
    EXPECT_LT(opened, perSeed) << name;
    printf("%s: %d of %d mutations opened (%lu ms)\n", name, opened, perSeed, GetTickCount() - started);
  }
}
}  // namespace
