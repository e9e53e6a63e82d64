// A sound file held in memory with a stream source over it, for one converter, reading a
// converter to its end, hand-made RIFF pieces, and the pages of an Ogg file with their CRC.
#pragma once
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "core/memory.h"
#include "sound/sound_convert.h"
#include "sound_test_util.h"

class MemorySoundFile {
 public:
  explicit MemorySoundFile(const std::string& bytes) : bytes_(bytes) {
    memory_ = OpenMemoryStream(bytes_.data(), (uint32_t)bytes_.size());
    source_ = {*GetMemoryStreamOps(), (uintptr_t)memory_};
  }
  ~MemorySoundFile() { CloseMemoryStream(memory_); }
  MemorySoundFile(const MemorySoundFile&) = delete;
  MemorySoundFile& operator=(const MemorySoundFile&) = delete;
  STREAM_SOURCE* source() { return &source_; }
  int Tell() { return TellMemoryStream(memory_); }

 private:
  std::string bytes_;
  MEMORY_STREAM* memory_;
  STREAM_SOURCE source_;
};

inline std::string SoundFixtureBytes(const char* name) {
  std::string bytes = ReadWholeFile(SoundFixture(name));
  EXPECT_FALSE(bytes.empty()) << name;
  return bytes;
}

// Everything left to read, in reads of `piece` bytes.
inline std::vector<uint8_t> ReadToEnd(SOUND_CONVERT_STATE* state, int piece = 7000) {
  std::vector<uint8_t> out;
  std::vector<uint8_t> buffer((size_t)piece);
  for (;;) {
    int got = ReadSoundConverter(state, buffer.data(), piece);
    if (got <= 0) break;
    out.insert(out.end(), buffer.begin(), buffer.begin() + got);
  }
  return out;
}

inline double Rms16(const uint8_t* pcm, size_t bytes) {
  double sum = 0;
  size_t n = bytes / 2;
  for (size_t i = 0; i < n; i++) {
    int16_t v;
    memcpy(&v, pcm + i * 2, 2);
    sum += (double)v * v;
  }
  return n ? std::sqrt(sum / n) : 0;
}

// Little-endian pieces of a hand-made RIFF file.
inline std::string Le16(unsigned v) { return std::string{(char)(v & 0xFF), (char)((v >> 8) & 0xFF)}; }
inline std::string Le32(uint32_t v) { return Le16(v & 0xFFFF) + Le16(v >> 16); }
inline std::string Chunk(const char* id, const std::string& body, uint32_t declared = 0xFFFFFFFF) {
  std::string out = std::string(id, 4) + Le32(declared != 0xFFFFFFFF ? declared : (uint32_t)body.size()) + body;
  if (body.size() & 1) out.push_back('\0');
  return out;
}
inline std::string Riff(const std::string& chunks) { return "RIFF" + Le32((uint32_t)chunks.size() + 4) + "WAVE" + chunks; }
// A format chunk body: 16 bytes, or 18 and more with the extra size and extra bytes.
inline std::string FormatBody(unsigned tag, unsigned channels, uint32_t rate, uint32_t average, unsigned align,
                              unsigned bits, int extraSize = -1, const std::string& extra = "") {
  std::string f = Le16(tag) + Le16(channels) + Le32(rate) + Le32(average) + Le16(align) + Le16(bits);
  if (extraSize >= 0) f += Le16((unsigned)extraSize) + extra;
  return f;
}

// Format bodies of the codecs the WAVE tests use.
inline std::string MsAdpcmExtra(unsigned samplesPerBlock, unsigned coefficients = 7) {
  const int standard[7][2] = {{256, 0}, {512, -256}, {0, 0}, {192, 64}, {240, 0}, {460, -208}, {392, -232}};
  std::string extra = Le16(samplesPerBlock) + Le16(coefficients);
  for (unsigned i = 0; i < coefficients; i++)
    extra += Le16((unsigned)(uint16_t)standard[i % 7][0]) + Le16((unsigned)(uint16_t)standard[i % 7][1]);
  return extra;
}
inline std::string MsAdpcm(unsigned channels, unsigned align, unsigned samplesPerBlock, unsigned coefficients = 7,
                    int extraSize = -1) {
  std::string extra = MsAdpcmExtra(samplesPerBlock, coefficients);
  return FormatBody(2, channels, 22050, 11155, align, 4, extraSize >= 0 ? extraSize : (int)extra.size(), extra);
}
inline std::string ImaAdpcm(unsigned channels, unsigned align, unsigned samplesPerBlock, unsigned bits = 4) {
  return FormatBody(0x11, channels, 22050, 11100, align, bits, 2, Le16(samplesPerBlock));
}

// A guid of the extensible layout's base with the plain tag in front.
inline std::string SubFormat(unsigned tag) {
  return Le16(tag) + std::string("\x00\x00\x00\x00\x10\x00\x80\x00\x00\xAA\x00\x38\x9B\x71", 14);
}
inline std::string Extensible(unsigned channels, uint32_t rate, unsigned container, unsigned valid, uint32_t mask,
                       const std::string& subFormat, int extraSize = 22) {
  unsigned align = channels * container / 8;
  return FormatBody(0xFFFE, channels, rate, rate * align, align, container, extraSize,
                    Le16(valid) + Le32(mask) + subFormat);
}

// The pages of an Ogg file: offset and length of each, as far as whole pages go.
struct OGG_PAGE {
  size_t at, length;
};
inline std::vector<OGG_PAGE> OggPages(const std::string& file) {
  std::vector<OGG_PAGE> pages;
  size_t at = 0;
  while (at + 27 <= file.size() && file.compare(at, 4, "OggS") == 0) {
    size_t segments = (uint8_t)file[at + 26];
    size_t length = 27 + segments;
    for (size_t i = 0; i < segments && at + 27 + i < file.size(); i++) length += (uint8_t)file[at + 27 + i];
    if (at + length > file.size()) break;
    pages.push_back({at, length});
    at += length;
  }
  return pages;
}
// Writes the page's CRC again after a change (the Ogg CRC: polynomial 0x04C11DB7, no
// reflection, over the page with its CRC field zero).
inline void RepairOggPage(std::string& file, const OGG_PAGE& page) {
  for (int i = 0; i < 4; i++) file[page.at + 22 + i] = 0;
  uint32_t crc = 0;
  for (size_t i = 0; i < page.length; i++) {
    crc ^= (uint32_t)(uint8_t)file[page.at + i] << 24;
    for (int bit = 0; bit < 8; bit++) crc = crc & 0x80000000u ? (crc << 1) ^ 0x04C11DB7u : crc << 1;
  }
  for (int i = 0; i < 4; i++) file[page.at + 22 + i] = (char)(crc >> (8 * i));
}

// Tests of the ACM-backed readers: the ACM entry points loaded once per suite, the test log
// started, and no tracked block left behind by a test.
class AcmSoundTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { LoadAcmFunctions(); }
  static void TearDownTestSuite() { UnloadAcmFunctions(); }
  void SetUp() override {
    StartTestLog();
    blocks_ = GetAllocBlockCount();
  }
  void TearDown() override { EXPECT_EQ(GetAllocBlockCount(), blocks_) << "a tracked block was left"; }
  int blocks_ = 0;
};
