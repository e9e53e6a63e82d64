// Sound conversion to PCM through the Ogg Vorbis reader: formats and lengths of the build's
// fixtures, block reads, seeks (and the small-distance rule), the end of the data, disable
// bits, 8-bit output, a Theora-first file's Vorbis track, and every block given back.
#include <gtest/gtest.h>
#include <windows.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "core/memory.h"
#include "sound/sound_convert.h"
#include "sound_source_util.h"

namespace {
struct FIXTURE {
  const char* name;
  int channels, rate, frames;
  bool silent;
};
const FIXTURE kFixtures[] = {
    {"tone_44k_stereo_2s.ogg", 2, 44100, 88200, false},
    {"tone_44k_stereo_half.ogg", 2, 44100, 22050, false},
    {"tone_22k_mono_1s.ogg", 1, 22050, 22050, false},
    {"tiny_44k_stereo_3f.ogg", 2, 44100, 3, false},
    {"silence_22k_stereo_half.ogg", 2, 22050, 11025, true},
    {"theora_first_22k.ogg", 2, 22050, 22050, false},  // the Vorbis track behind a Theora stream
};

// A file held in memory with a stream source over it, for one converter.
class OggSource {
 public:
  explicit OggSource(const std::string& bytes) : bytes_(bytes) {
    memory_ = OpenMemoryStream(bytes_.data(), (uint32_t)bytes_.size());
    source_ = {*GetMemoryStreamOps(), (uintptr_t)memory_};
  }
  ~OggSource() { CloseMemoryStream(memory_); }
  STREAM_SOURCE* source() { return &source_; }

 private:
  std::string bytes_;
  MEMORY_STREAM* memory_;
  STREAM_SOURCE source_;
};

std::string Fixture(const char* name) {
  std::string bytes = ReadWholeFile(SoundFixture(name));
  EXPECT_FALSE(bytes.empty()) << name;
  return bytes;
}

double Rms16(const std::vector<uint8_t>& pcm) {
  double sum = 0;
  size_t n = pcm.size() / 2;
  for (size_t i = 0; i < n; i++) {
    int16_t v;
    memcpy(&v, &pcm[i * 2], 2);
    sum += (double)v * v;
  }
  return n ? std::sqrt(sum / n) : 0;
}

std::vector<uint8_t> ReadAll(SOUND_CONVERT_STATE* state, int total) {
  std::vector<uint8_t> pcm((size_t)total + 64, 0xCD);
  int got = ReadSoundConverter(state, pcm.data(), total + 64);
  pcm.resize(got > 0 ? (size_t)got : 0);
  return pcm;
}

class SoundConvert : public ::testing::Test {
 protected:
  void SetUp() override {
    StartTestLog();
    blocks_ = GetAllocBlockCount();
  }
  void TearDown() override { EXPECT_EQ(GetAllocBlockCount(), blocks_) << "a tracked block was left"; }
  int blocks_ = 0;
};

TEST_F(SoundConvert, FixturesGiveTheirFormatLengthAndSound) {
  for (const FIXTURE& f : kFixtures) {
    for (int bytes : {2, 1}) {
      OggSource file(Fixture(f.name));
      SOUND_CONVERT_STATE state;
      ASSERT_EQ(SetUpSoundConverter(&state, file.source(), 0, bytes, 0), 0) << f.name;
      EXPECT_EQ(state.method, SOUND_METHOD_OGG_VORBIS);
      WAVEFORMATEX format;
      GetSoundConverterFormat(&state, &format);
      int align = f.channels * bytes;
      EXPECT_EQ(format.wFormatTag, WAVE_FORMAT_PCM) << f.name;
      EXPECT_EQ(format.nChannels, f.channels) << f.name;
      EXPECT_EQ((int)format.nSamplesPerSec, f.rate) << f.name;
      EXPECT_EQ(format.wBitsPerSample, 8 * bytes) << f.name;
      EXPECT_EQ(format.nBlockAlign, align) << f.name;
      EXPECT_EQ((int)format.nAvgBytesPerSec, align * f.rate) << f.name;
      EXPECT_EQ(format.cbSize, 0) << f.name;
      EXPECT_EQ(GetSoundConverterSize(&state), f.frames * align) << f.name << " " << bytes;
      EXPECT_EQ(state.dataSize, f.frames * align) << f.name;

      void* pcm = nullptr;
      int size = 0;
      WAVEFORMATEX converted;
      ASSERT_EQ(ConvertSoundToPcm(&state, &converted, &pcm, &size), 0) << f.name;
      EXPECT_EQ(size, f.frames * align) << f.name << " " << bytes;
      EXPECT_EQ(memcmp(&converted, &format, sizeof(format)), 0);
      std::vector<uint8_t> data((uint8_t*)pcm, (uint8_t*)pcm + size);
      FreeTracked(pcm);
      if (bytes == 2 && f.frames > 100) {
        // A sine of amplitude 0.5 has an RMS of about 0.35 of full scale.
        double rms = Rms16(data);
        if (f.silent) {
          EXPECT_EQ(rms, 0.0) << f.name;
        } else {
          EXPECT_NEAR(rms, 0.354 * 32767, 0.05 * 32767) << f.name;
        }
      }
      if (bytes == 1 && f.silent) {
        for (uint8_t b : data) ASSERT_EQ(b, 0x80) << "8-bit silence is unsigned";
      }
      EXPECT_EQ(EndSoundConverter(&state), 0);
    }
  }
}

// Each block holds at most 4096 bytes; the last one fewer, then the end. The set-up decoded
// the first block already (a file must give sound to be taken), and holds it.
TEST_F(SoundConvert, BlocksAreAtMost4096Bytes) {
  OggSource file(Fixture("tone_44k_stereo_2s.ogg"));
  SOUND_CONVERT_STATE state;
  ASSERT_EQ(SetUpSoundConverter(&state, file.source(), 0, 2, 1), 0);
  EXPECT_EQ(state.vorbisSelector, 1);
  EXPECT_EQ(state.position, 0);
  ASSERT_GT(state.blockHeld, 0);
  ASSERT_LE(state.blockHeld, 4096);
  int total = state.blockHeld, last = 0;
  while (ReadOggVorbisBlock(&state) == 0) {
    ASSERT_GT(state.blockHeld, 0);
    ASSERT_LE(state.blockHeld, 4096);
    last = state.blockHeld;
    total += last;
  }
  EXPECT_EQ(total, 88200 * 4);
  EXPECT_LT(last, 4096);
  EXPECT_EQ(ReadOggVorbisBlock(&state), -1);
  EndSoundConverter(&state);
}

TEST_F(SoundConvert, SeeksLandOnTheSameSamplesAsAWholeRead) {
  OggSource file(Fixture("tone_44k_stereo_2s.ogg"));
  SOUND_CONVERT_STATE state;
  ASSERT_EQ(SetUpSoundConverter(&state, file.source(), 0, 2, 0), 0);
  std::vector<uint8_t> whole = ReadAll(&state, GetSoundConverterSize(&state));
  ASSERT_EQ(whole.size(), 352800u);
  for (int sample : {22050, 1, 44100, 88199, 0}) {
    ASSERT_EQ(SeekSoundConverter(&state, sample), 0);
    EXPECT_EQ(state.position, sample * 4) << sample;
    uint8_t piece[400];
    int want = (int)std::min<size_t>(sizeof(piece), whole.size() - sample * 4);
    ASSERT_EQ(ReadSoundConverter(&state, piece, want), want) << sample;
    EXPECT_EQ(memcmp(piece, &whole[sample * 4], want), 0) << sample;
  }
  EndSoundConverter(&state);
}

// A seek within 15 bytes of the read position changes nothing, not even the end flag.
TEST_F(SoundConvert, SeeksWithinFifteenBytesAreSkipped) {
  OggSource file(Fixture("tone_44k_stereo_2s.ogg"));
  SOUND_CONVERT_STATE state;
  ASSERT_EQ(SetUpSoundConverter(&state, file.source(), 0, 2, 0), 0);
  uint8_t piece[100];
  ASSERT_EQ(ReadSoundConverter(&state, piece, 100), 100);
  int held = state.blockHeld;
  EXPECT_EQ(SeekSoundConverter(&state, 28), 0);  // 112 bytes: 12 away
  EXPECT_EQ(state.position, 100);
  EXPECT_EQ(state.blockHeld, held);
  EXPECT_EQ(SeekSoundConverter(&state, 22), 0);  // 88 bytes: 12 back
  EXPECT_EQ(state.position, 100);
  EXPECT_EQ(SeekSoundConverter(&state, 29), 0);  // 116 bytes: 16 away
  EXPECT_EQ(state.position, 116);

  // At the end, a skipped seek leaves reads at 0; a real one brings data back.
  std::vector<uint8_t> rest = ReadAll(&state, 352800);
  EXPECT_EQ(rest.size(), 352800u - 116);
  EXPECT_EQ(state.endReached, 1);
  SeekSoundConverter(&state, 88200 - 2);
  EXPECT_EQ(ReadSoundConverter(&state, piece, 4), 0);
  EXPECT_EQ(RewindSoundConverter(&state, 88200 - 2), 0);
  EXPECT_EQ(ReadSoundConverter(&state, piece, 100), 8);
  EndSoundConverter(&state);
}

TEST_F(SoundConvert, ReadsPastTheEndGiveWhatIsLeftThenNothing) {
  OggSource file(Fixture("tone_44k_stereo_half.ogg"));
  SOUND_CONVERT_STATE state;
  ASSERT_EQ(SetUpSoundConverter(&state, file.source(), 0, 2, 0), 0);
  std::vector<uint8_t> buffer(100000, 0xAB);
  EXPECT_EQ(ReadSoundConverter(&state, buffer.data(), 100000), 88200);
  std::vector<uint8_t> untouched(100, 0xAB);
  EXPECT_EQ(ReadSoundConverter(&state, untouched.data(), 100), 0);
  EXPECT_EQ(untouched, std::vector<uint8_t>(100, 0xAB));
  EXPECT_EQ(SeekSoundConverter(&state, 0), 0);
  EXPECT_EQ(state.endReached, 0);
  EXPECT_EQ(ReadSoundConverter(&state, buffer.data(), 100), 100);
  EXPECT_EQ(ReadSoundConverter(&state, buffer.data(), 0), 0);
  EndSoundConverter(&state);
}

TEST_F(SoundConvert, RefusalsLeaveNothingToEnd) {
  const std::string wave = Riff(Chunk("fmt ", FormatBody(1, 2, 8000, 32000, 4, 16)) + Chunk("data", std::string(400, 'w')));
  struct CASE {
    const char* what;
    std::string bytes;
    int disableBits, bytesPerSample;
    int acceptedWith;  // other disable bits that take the same file, -1 for none
  } cases[] = {
      {"every reader off", Fixture("tone_22k_mono_1s.ogg"), 0x1F, 2, 0},
      {"Ogg off", Fixture("tone_22k_mono_1s.ogg"), SOUND_CONVERT_DISABLE_OGG, 2, 0},
      {"three bytes per sample", Fixture("tone_22k_mono_1s.ogg"), 0, 3, -1},
      {"a WAVE file for the Ogg-only movie setting", wave, (int)0xFFFFFFFB, 2, 0},
      {"an Ogg file of no sound", Fixture("empty_44k_stereo.ogg"), 0, 2, -1},
      {"noise", std::string(5000, '\x5A'), 0, 2, -1},
      {"nothing", std::string(), 0, 2, -1},
  };
  for (const CASE& c : cases) {
    if (c.acceptedWith >= 0) {
      // The refusal comes from the disable bits, not from the file.
      OggSource file(c.bytes);
      SOUND_CONVERT_STATE state;
      EXPECT_EQ(SetUpSoundConverter(&state, file.source(), c.acceptedWith, 2, 0), 0) << c.what;
      EndSoundConverter(&state);
    }
    OggSource file(c.bytes);
    SOUND_CONVERT_STATE state;
    EXPECT_EQ(SetUpSoundConverter(&state, file.source(), c.disableBits, c.bytesPerSample, 0), -1) << c.what;
    EXPECT_EQ(state.valid, 0) << c.what;
    EXPECT_EQ(EndSoundConverter(&state), -1) << c.what;
    uint8_t piece[8];
    EXPECT_EQ(ReadSoundConverter(&state, piece, 8), -1) << c.what;
    void* pcm = nullptr;
    int size = 0;
    WAVEFORMATEX format;
    EXPECT_EQ(ConvertSoundToPcm(&state, &format, &pcm, &size), -1) << c.what;
  }
  // The movie's setting takes an Ogg Vorbis file.
  OggSource ogg(Fixture("tone_22k_mono_1s.ogg"));
  SOUND_CONVERT_STATE state;
  EXPECT_EQ(SetUpSoundConverter(&state, ogg.source(), (int)0xFFFFFFFB, 2, 1), 0);
  EXPECT_EQ(EndSoundConverter(&state), 0);
  EXPECT_EQ(EndSoundConverter(&state), -1);
  EXPECT_EQ(CloseOggVorbisConverter(&state), 0);
}

// A source that fails its reads is no data, never a count of bytes.
TEST_F(SoundConvert, FailingReadsOfTheSourceAreNoData) {
  static const STREAM_OPS* memoryOps = GetMemoryStreamOps();
  STREAM_OPS failing = *memoryOps;
  failing.read = [](void*, int, int, uintptr_t) { return -1; };
  std::string bytes = Fixture("tone_22k_mono_1s.ogg");
  MEMORY_STREAM* memory = OpenMemoryStream(bytes.data(), (uint32_t)bytes.size());
  STREAM_SOURCE source = {failing, (uintptr_t)memory};
  SOUND_CONVERT_STATE state;
  EXPECT_EQ(SetUpSoundConverter(&state, &source, 0, 2, 0), -1);
  CloseMemoryStream(memory);
}

// One byte of an Ogg page changed, the page's CRC written again: the decoder, not the framing,
// meets the damage.
std::string WithPageByte(std::string file, size_t page, size_t offset, char value) {
  std::vector<OGG_PAGE> pages = OggPages(file);
  EXPECT_LT(page, pages.size());
  if (page >= pages.size() || offset >= pages[page].length) return file;
  file[pages[page].at + offset] = value;
  RepairOggPage(file, pages[page]);
  return file;
}

// After the decoder reports an error (here a broken set-up header, which vorbisfile only
// notices when the link's decoding starts: a bad link), that decoder is not read again:
// seeking back and decoding once more with it would make libvorbis divide by zero. A file that
// fails at once gives no sound and is refused; one that fails after some sound keeps that
// sound, and a seek opens the file anew: back at the start it plays that sound again, before
// the error it lands on the same samples, past it it fails and reads nothing.
TEST_F(SoundConvert, DecoderErrorEndsThePassNotTheSound) {
  {
    OggSource file(WithPageByte(Fixture("tone_44k_stereo_half.ogg"), 1, 696, 1));
    SOUND_CONVERT_STATE state;
    int result = SetUpSoundConverter(&state, file.source(), 0, 2, 0);
    if (result == 0) {
      ReadAll(&state, 88200);
      RewindSoundConverter(&state, 0);
      ReadAll(&state, 88200);
      EndSoundConverter(&state);
    }
    EXPECT_EQ(result, -1) << "a file whose first block fails is taken";
  }
  // The second link of a chained file is broken: the first plays, then nothing more.
  std::string broken = WithPageByte(Fixture("chain_44k_stereo_twice.ogg"), 4, 145, 0);
  OggSource file(broken);
  SOUND_CONVERT_STATE state;
  ASSERT_EQ(SetUpSoundConverter(&state, file.source(), 0, 2, 0), 0);
  std::vector<uint8_t> first = ReadAll(&state, 200000);
  EXPECT_EQ(first.size(), 88200u);
  EXPECT_EQ(state.ogg.oggFailed, 1);
  struct SEEK {
    int sample;
    bool lands;
  } seeks[] = {{0, true}, {100, true}, {22049, true}, {22050, false}, {30000, false}, {0, true}};
  for (const SEEK& seek : seeks) {
    EXPECT_EQ(RewindSoundConverter(&state, seek.sample), seek.lands ? 0 : -1) << seek.sample;
    EXPECT_EQ(state.position, seek.sample * 4);
    std::vector<uint8_t> rest = ReadAll(&state, 200000);
    size_t at = seek.lands ? (size_t)seek.sample * 4 : first.size();
    EXPECT_TRUE(rest == std::vector<uint8_t>(first.begin() + at, first.end())) << seek.sample << ": " << rest.size();
  }
  EndSoundConverter(&state);
  // The whole conversion of such a file holds the sound before the error.
  OggSource again(broken);
  ASSERT_EQ(SetUpSoundConverter(&state, again.source(), 0, 2, 0), 0);
  void* pcm = nullptr;
  int size = 0;
  WAVEFORMATEX format;
  ASSERT_EQ(ConvertSoundToPcm(&state, &format, &pcm, &size), 0);
  ASSERT_EQ(size, 88200);
  EXPECT_EQ(memcmp(pcm, first.data(), (size_t)size), 0);
  FreeTracked(pcm);
  EndSoundConverter(&state);
}

// Chained files: links of the first link's format follow each other (the first link whole,
// even when its sound sits in one page); a link of another channel count or rate ends the
// sound, with a line in the log, and the total counts only what comes before it.
TEST_F(SoundConvert, ChainedLinksPlayOnUntilTheFormatChanges) {
  struct CASE {
    const char* name;
    int frames;
    bool logged;
  } cases[] = {{"chain_44k_stereo_twice.ogg", 22050 + 11025, false}, {"chain_44k_stereo_then_22k_mono.ogg", 22050, true}};
  for (const CASE& c : cases) {
    StartTestLog();
    OggSource file(Fixture(c.name));
    SOUND_CONVERT_STATE state;
    ASSERT_EQ(SetUpSoundConverter(&state, file.source(), 0, 2, 0), 0) << c.name;
    EXPECT_EQ(state.format.nChannels, 2) << c.name;
    EXPECT_EQ(state.format.nSamplesPerSec, 44100u) << c.name;
    EXPECT_EQ(GetSoundConverterSize(&state), c.frames * 4) << c.name;
    void* pcm = nullptr;
    int size = 0;
    WAVEFORMATEX format;
    ASSERT_EQ(ConvertSoundToPcm(&state, &format, &pcm, &size), 0) << c.name;
    EXPECT_EQ(size, c.frames * 4) << c.name;
    std::vector<uint8_t> whole((uint8_t*)pcm, (uint8_t*)pcm + size);
    FreeTracked(pcm);
    // The first link's tone from its first sample: a sine starts near 0.
    int16_t firstSample = 0;
    memcpy(&firstSample, whole.data(), 2);
    EXPECT_LT(std::abs(firstSample), 2000) << c.name;
    EXPECT_NEAR(Rms16(std::vector<uint8_t>(whole.begin(), whole.begin() + 88200)), 0.354 * 32767, 0.05 * 32767)
        << c.name;
    // Seeks land where the whole read has the same samples.
    for (int sample : {c.frames - 10, c.frames / 2, 5}) {
      ASSERT_EQ(SeekSoundConverter(&state, sample), 0);
      uint8_t piece[40];
      ASSERT_EQ(ReadSoundConverter(&state, piece, 40), 40) << c.name << " " << sample;
      EXPECT_EQ(memcmp(piece, &whole[(size_t)sample * 4], 40), 0) << c.name << " " << sample;
    }
    EXPECT_EQ(ReadLogWithoutStamps().find("チャンネル数かサンプリングレートが変わる") != std::string::npos, c.logged)
        << c.name;
    EndSoundConverter(&state);
  }
}

// The largest block the tracked allocator asks its heap for while recording.
size_t& LargestRequest() {
  static size_t largest = 0;
  return largest;
}
const ALLOC_HEAP_FUNCTIONS kRecordingHeap = {
    [](size_t size) -> void* {
      if (size - ALLOC_OVERHEAD > LargestRequest()) LargestRequest() = size - ALLOC_OVERHEAD;
      return HeapAlloc(GetProcessHeap(), 0, size);
    },
    [](void* block, size_t size) -> void* {
      if (size - ALLOC_OVERHEAD > LargestRequest()) LargestRequest() = size - ALLOC_OVERHEAD;
      return block == nullptr ? HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, size)
                              : HeapReAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, block, size);
    },
    [](void* block) { HeapFree(GetProcessHeap(), 0, block); }};

// The granule position of a page: the sample count its file claims.
std::string WithGranule(std::string file, size_t page, int64_t granule) {
  std::vector<OGG_PAGE> pages = OggPages(file);
  EXPECT_LT(page, pages.size());
  if (page >= pages.size()) return file;
  for (int i = 0; i < 8; i++) file[pages[page].at + 6 + i] = (char)(granule >> (8 * i));
  RepairOggPage(file, pages[page]);
  return file;
}

// The whole conversion follows the data, not the length the file claims: a claim of 3 frames
// does not cut it short, a claim of two billion frames for a 5 KB file allocates no more than
// a first guess. Either way it delivers what block reads from the start deliver.
TEST_F(SoundConvert, WholeConversionFollowsTheDataNotTheClaim) {
  struct CASE {
    const char* what;
    std::string file;
  } cases[] = {
      {"a claim of 3 frames", WithGranule(Fixture("chain_44k_stereo_then_22k_mono.ogg"), 2, 3)},
      {"a claim of two billion frames", WithGranule(Fixture("tone_44k_stereo_2s.ogg"), 3, 0x7FFFFFF0)},
  };
  for (const CASE& c : cases) {
    OggSource blocks(c.file);
    SOUND_CONVERT_STATE state;
    ASSERT_EQ(SetUpSoundConverter(&state, blocks.source(), 0, 2, 0), 0) << c.what;
    std::vector<uint8_t> read = ReadAll(&state, 4000000);
    int claimed = GetSoundConverterSize(&state);
    EndSoundConverter(&state);
    ASSERT_GT(read.size(), 1000u) << c.what;
    EXPECT_NE((size_t)claimed, read.size()) << c.what;

    OggSource whole(c.file);
    ASSERT_EQ(SetUpSoundConverter(&state, whole.source(), 0, 2, 0), 0) << c.what;
    void* pcm = nullptr;
    int size = 0;
    WAVEFORMATEX format;
    LargestRequest() = 0;
    SetAllocHeapFunctions(&kRecordingHeap);
    int result = ConvertSoundToPcm(&state, &format, &pcm, &size);
    SetAllocHeapFunctions(nullptr);
    ASSERT_EQ(result, 0) << c.what;
    EXPECT_EQ((size_t)size, read.size()) << c.what;
    EXPECT_EQ(memcmp(pcm, read.data(), read.size()), 0) << c.what;
    EXPECT_LE(LargestRequest(), (size_t)(4 << 20)) << c.what;
    FreeTracked(pcm);
    EndSoundConverter(&state);
  }
}
// A page of an Ogg file set in twice, the copy (which comes first) with a granule position of
// its own.
std::string WithPageTwice(const std::string& file, size_t page, int64_t granule) {
  std::vector<OGG_PAGE> pages = OggPages(file);
  EXPECT_LT(page, pages.size());
  if (page >= pages.size()) return file;
  std::string copy = file.substr(pages[page].at, pages[page].length);
  for (int i = 0; i < 8; i++) copy[6 + i] = (char)(granule >> (8 * i));
  RepairOggPage(copy, {0, copy.size()});
  return file.substr(0, pages[page].at) + copy + file.substr(pages[page].at);
}

// Damaged files: every pass from the first sample gives what the whole conversion gave (a
// looping stream sound does not fall silent after its first pass, nor plays another sound),
// and a seek to a third of the sound lands where there is sound to read, or fails and reads
// nothing (past the length the file claims). A Vorbis track behind Theora, read as a stream of
// pages, is sought by decoding up to the sample.
TEST_F(SoundConvert, DamagedFilesPlayEveryPassAlikeAndSeeksLandOnSound) {
  const std::string tone = Fixture("tone_44k_stereo_2s.ogg"), half = Fixture("tone_44k_stereo_half.ogg");
  std::vector<OGG_PAGE> pages = OggPages(tone);
  ASSERT_EQ(pages.size(), 4u);
  std::string missing = tone;
  missing.erase(pages[2].at, pages[2].length);
  struct CASE {
    const char* what;
    std::string file;
    bool thirdLands;
  } cases[] = {
      {"a broken second link", WithPageByte(Fixture("chain_44k_stereo_twice.ogg"), 4, 145, 0), true},
      {"a claim of two billion frames", WithGranule(tone, 3, 0x7FFFFFF0), true},
      {"a claim of 3 frames", WithGranule(Fixture("chain_44k_stereo_then_22k_mono.ogg"), 2, 3), false},
      {"a first audio page that claims no samples", WithGranule(tone, 2, 0), true},
      {"a first audio page that claims too many", WithGranule(tone, 2, 80000), true},
      {"the first audio page missing", missing, true},
      {"the sound's page twice, first with a granule far below zero", WithPageTwice(half, 2, -2051056924920621534LL), true},
      {"a Vorbis track behind Theora", Fixture("theora_first_22k.ogg"), true},
  };
  for (const CASE& c : cases) {
    OggSource file(c.file);
    SOUND_CONVERT_STATE state;
    ASSERT_EQ(SetUpSoundConverter(&state, file.source(), 0, 2, 0), 0) << c.what;
    void* pcm = nullptr;
    int size = 0;
    WAVEFORMATEX format;
    ASSERT_EQ(ConvertSoundToPcm(&state, &format, &pcm, &size), 0) << c.what;
    std::vector<uint8_t> whole((uint8_t*)pcm, (uint8_t*)pcm + size);
    FreeTracked(pcm);
    int align = state.format.nBlockAlign, third = size / align / 3;
    for (int pass = 1; pass <= 2; pass++) {
      EXPECT_EQ(RewindSoundConverter(&state, 0), 0) << c.what;
      std::vector<uint8_t> again = ReadAll(&state, size);
      EXPECT_TRUE(again == whole) << c.what << ": pass " << pass << " gave " << again.size() << " bytes of " << size;
    }
    EXPECT_EQ(RewindSoundConverter(&state, third), c.thirdLands ? 0 : -1) << c.what;
    uint8_t piece[400];
    int got = ReadSoundConverter(&state, piece, (int)sizeof(piece));
    EXPECT_EQ(got > 0, c.thirdLands) << c.what << ": " << got << " bytes at a third";
    EndSoundConverter(&state);
  }
}
}  // namespace
