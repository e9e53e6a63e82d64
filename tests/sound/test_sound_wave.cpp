// The WAVE readers: the chunk walk and the format checks (a table of hand-made files), PCM
// read with the bytes the file really holds, float samples turned into 16-bit PCM, IMA ADPCM
// decoded through the Audio Compression Manager and sought backwards to the same bytes, and
// mutated files refused or decoded without a crash or a lost block.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "core/memory.h"
#include "sound/sound_convert.h"
#include "sound_source_util.h"

namespace {
class SoundWave : public AcmSoundTest {};

const std::string kPcmFormat = FormatBody(1, 2, 8000, 32000, 4, 16);
std::string Samples(int bytes) {
  std::string s;
  for (int i = 0; i < bytes; i++) s.push_back((char)(i * 7 + 1));
  return s;
}

TEST_F(SoundWave, ChunkWalkFindsTheFormatAndTheData) {
  const std::string data = Samples(400);
  struct CASE {
    const char* what;
    std::string file;
    int dataStart, dataSize;  // -1: refused by both WAVE readers
  } cases[] = {
      {"plain", Riff(Chunk("fmt ", kPcmFormat) + Chunk("data", data)), 44, 400},
      {"bext before fmt", Riff(Chunk("bext", std::string(10, 'b')) + Chunk("fmt ", kPcmFormat) + Chunk("data", data)),
       62, 400},
      {"LIST before fmt", Riff(Chunk("LIST", "INFOabcd") + Chunk("fmt ", kPcmFormat) + Chunk("data", data)), -1, 0},
      {"two bext before fmt",
       Riff(Chunk("bext", "ab") + Chunk("bext", "cd") + Chunk("fmt ", kPcmFormat) + Chunk("data", data)), -1, 0},
      {"odd chunk and its pad byte", Riff(Chunk("fmt ", kPcmFormat) + Chunk("junk", "abc") + Chunk("data", data)), 56,
       400},
      {"LIST after fmt", Riff(Chunk("fmt ", kPcmFormat) + Chunk("LIST", "INFOxy") + Chunk("data", data)), 58, 400},
      {"no data chunk", Riff(Chunk("fmt ", kPcmFormat) + Chunk("junk", data)), -1, 0},
      {"data declared past the file", Riff(Chunk("fmt ", kPcmFormat) + Chunk("data", data, 100000)), 44, 400},
      {"not RIFF", "RIFX" + Riff(Chunk("fmt ", kPcmFormat) + Chunk("data", data)).substr(4), -1, 0},
      {"not WAVE", Riff(Chunk("fmt ", kPcmFormat) + Chunk("data", data)).replace(8, 4, "AVI "), -1, 0},
      {"format chunk of 14 bytes", Riff(Chunk("fmt ", kPcmFormat.substr(0, 14)) + Chunk("data", data)), -1, 0},
      {"format chunk past the file", Riff(Chunk("fmt ", kPcmFormat, 5000)), -1, 0},
      {"no channels", Riff(Chunk("fmt ", FormatBody(1, 0, 8000, 32000, 4, 16)) + Chunk("data", data)), -1, 0},
      {"no block align", Riff(Chunk("fmt ", FormatBody(1, 2, 8000, 32000, 0, 16)) + Chunk("data", data)), -1, 0},
      {"no rate", Riff(Chunk("fmt ", FormatBody(1, 2, 0, 32000, 4, 16)) + Chunk("data", data)), -1, 0},
      {"no average rate", Riff(Chunk("fmt ", FormatBody(1, 2, 8000, 0, 4, 16)) + Chunk("data", data)), -1, 0},
      {"extra size past the chunk", Riff(Chunk("fmt ", FormatBody(1, 2, 8000, 32000, 4, 16, 6, "ab")) + Chunk("data", data)),
       -1, 0},
      {"extra size within the chunk",
       Riff(Chunk("fmt ", FormatBody(1, 2, 8000, 32000, 4, 16, 2, "ab")) + Chunk("data", data)), 48, 400},
      {"float of 24 bits", Riff(Chunk("fmt ", FormatBody(3, 2, 8000, 48000, 6, 24, 0)) + Chunk("data", data)), -1, 0},
      {"float frames narrower than the channels",
       Riff(Chunk("fmt ", FormatBody(3, 2, 8000, 32000, 4, 32, 0)) + Chunk("data", data)), -1, 0},
  };
  for (const CASE& c : cases) {
    // The direct reader, then the ACM reader alone (which takes PCM too).
    for (int disable : {0x1E, 0x1D}) {
      MemorySoundFile file(c.file);
      SOUND_CONVERT_STATE state;
      int result = SetUpSoundConverter(&state, file.source(), disable, 2, 0);
      if (c.dataStart < 0) {
        EXPECT_EQ(result, -1) << c.what << " " << disable;
        continue;
      }
      ASSERT_EQ(result, 0) << c.what << " " << disable;
      EXPECT_EQ(state.dataStart, c.dataStart) << c.what;
      EXPECT_EQ(state.dataSize, c.dataSize) << c.what;
      EXPECT_EQ(state.method, disable == 0x1E ? SOUND_METHOD_WAVE : SOUND_METHOD_ACM) << c.what;
      std::vector<uint8_t> pcm = ReadToEnd(&state);
      ASSERT_EQ(pcm.size(), 400u) << c.what << " " << disable;
      EXPECT_EQ(memcmp(pcm.data(), data.data(), 400), 0) << c.what << " " << disable;
      EXPECT_EQ(EndSoundConverter(&state), 0);
    }
  }
}

// A 16-byte PCM format names its width by block align and channels; the output has no extra.
TEST_F(SoundWave, ShortPcmFormatTakesItsWidthFromTheBlockAlign) {
  MemorySoundFile file(Riff(Chunk("fmt ", FormatBody(1, 2, 8000, 32000, 4, 9)) + Chunk("data", Samples(64))));
  SOUND_CONVERT_STATE state;
  ASSERT_EQ(SetUpSoundConverter(&state, file.source(), 0, 2, 0), 0);
  EXPECT_EQ(state.format.wBitsPerSample, 16);
  EXPECT_EQ(state.format.cbSize, 0);
  EXPECT_EQ(state.blockSize, 32000);
  EXPECT_EQ(file.Tell(), state.dataStart);
  EndSoundConverter(&state);
}

// A file whose data ends early: reads give the bytes that are there, then the end.
TEST_F(SoundWave, ReadsDeliverOnlyTheBytesReallyRead) {
  std::string whole = Riff(Chunk("fmt ", kPcmFormat) + Chunk("data", Samples(1000)));
  MemorySoundFile file(whole.substr(0, whole.size() - 300));
  SOUND_CONVERT_STATE state;
  ASSERT_EQ(SetUpSoundConverter(&state, file.source(), 0, 2, 0), 0);
  EXPECT_EQ(state.dataSize, 700);
  EXPECT_EQ(GetSoundConverterSize(&state), 700);
  void* pcm = nullptr;
  int size = 0;
  WAVEFORMATEX format;
  ASSERT_EQ(ConvertSoundToPcm(&state, &format, &pcm, &size), 0);
  EXPECT_EQ(size, 700);
  EXPECT_EQ(memcmp(pcm, Samples(700).data(), 700), 0);
  FreeTracked(pcm);
  EndSoundConverter(&state);
}

std::string FloatFile(const std::vector<float>& values, int channels, uint32_t rate) {
  std::string data;
  for (float v : values) {
    uint32_t bits;
    memcpy(&bits, &v, 4);
    data += Le32(bits);
  }
  return Riff(Chunk("fmt ", FormatBody(3, channels, rate, rate * channels * 4, channels * 4, 32, 0)) +
              Chunk("data", data));
}

TEST_F(SoundWave, FloatSamplesBecomeSixteenBitPcm) {
  struct CASE {
    float in;
    int16_t out;
  } cases[] = {{1.0f, 32767},     {-1.0f, -32768},   {0.5f, 16384},    {-0.5f, -16384}, {0.0f, 0},
               {2.0f, 32767},     {-3.0f, -32768},   {1e-5f, 0},       {-1e-5f, 0},     {0.25f, 8192},
               {-0.99999f, -32767}, {NAN, -32768},   {INFINITY, 32767}, {-INFINITY, -32768}};
  std::vector<float> values;
  for (const CASE& c : cases) values.push_back(c.in);
  if (values.size() & 1) values.push_back(0.0f);
  MemorySoundFile file(FloatFile(values, 2, 48000));
  SOUND_CONVERT_STATE state;
  ASSERT_EQ(SetUpSoundConverter(&state, file.source(), 0, 2, 0), 0);
  const WAVEFORMATEX& f = state.format;
  EXPECT_EQ(f.wFormatTag, WAVE_FORMAT_PCM);
  EXPECT_EQ(f.nChannels, 2);
  EXPECT_EQ(f.nSamplesPerSec, 48000u);
  EXPECT_EQ(f.wBitsPerSample, 16);
  EXPECT_EQ(f.nBlockAlign, 4);
  EXPECT_EQ(f.nAvgBytesPerSec, 192000u);
  EXPECT_EQ(GetSoundConverterSize(&state), (int)values.size() * 2);
  std::vector<uint8_t> pcm = ReadToEnd(&state);
  ASSERT_EQ(pcm.size(), values.size() * 2);
  for (size_t i = 0; i < sizeof(cases) / sizeof(cases[0]); i++) {
    int16_t v;
    memcpy(&v, &pcm[i * 2], 2);
    EXPECT_EQ(v, cases[i].out) << "float " << cases[i].in;
  }
  EndSoundConverter(&state);
}

TEST_F(SoundWave, FloatSeekReadsFromItsSourceFrame) {
  MemorySoundFile file(SoundFixtureBytes("tone_48k_stereo_float.wav"));
  SOUND_CONVERT_STATE state;
  ASSERT_EQ(SetUpSoundConverter(&state, file.source(), 0, 2, 0), 0);
  std::vector<uint8_t> whole = ReadToEnd(&state);
  ASSERT_EQ(whole.size(), 24000u * 4);
  EXPECT_NEAR(Rms16(whole.data(), whole.size()), 0.354 * 32767, 0.02 * 32767);
  ASSERT_EQ(SeekSoundConverter(&state, 1000), 0);
  EXPECT_EQ(state.position, 4000);
  EXPECT_EQ(file.Tell(), state.dataStart + 8000);
  uint8_t piece[64];
  ASSERT_EQ(ReadSoundConverter(&state, piece, 64), 64);
  EXPECT_EQ(memcmp(piece, &whole[4000], 64), 0);
  EndSoundConverter(&state);
}

TEST_F(SoundWave, PcmFixtureConvertsToItsDataChunk) {
  for (const char* name : {"tone_44k_stereo_1s.wav", "tone_22k_mono_half.wav"}) {
    std::string bytes = SoundFixtureBytes(name);
    MemorySoundFile file(bytes);
    SOUND_CONVERT_STATE state;
    ASSERT_EQ(SetUpSoundConverter(&state, file.source(), 0, 2, 0), 0) << name;
    void* pcm = nullptr;
    int size = 0;
    WAVEFORMATEX format;
    ASSERT_EQ(ConvertSoundToPcm(&state, &format, &pcm, &size), 0);
    EXPECT_EQ(size, (int)bytes.size() - 44) << name;
    EXPECT_EQ(memcmp(pcm, bytes.data() + 44, (size_t)size), 0) << name;
    EXPECT_EQ(state.blockSize, (int)format.nAvgBytesPerSec);
    FreeTracked(pcm);
    EndSoundConverter(&state);
  }
}

TEST_F(SoundWave, ImaAdpcmDecodesThroughTheAcmAndSeeksBackIdentically) {
  ASSERT_TRUE(AcmFunctionsReady());
  MemorySoundFile file(SoundFixtureBytes("tone_22k_stereo_ima.wav"));
  SOUND_CONVERT_STATE state;
  ASSERT_EQ(SetUpSoundConverter(&state, file.source(), 0, 2, 0), 0);
  EXPECT_EQ(state.method, SOUND_METHOD_ACM);
  EXPECT_EQ(state.acm.totalSamples, -1);
  const WAVEFORMATEX& f = state.format;
  EXPECT_EQ(f.wFormatTag, WAVE_FORMAT_PCM);
  EXPECT_EQ(f.nChannels, 2);
  EXPECT_EQ(f.nSamplesPerSec, 22050u);
  EXPECT_EQ(f.wBitsPerSample, 16);
  EXPECT_EQ(state.blockSize, 88200);
  std::vector<uint8_t> whole = ReadToEnd(&state, 5000);
  // 44100 frames in blocks of 1017; the last block is padded.
  EXPECT_GE(whole.size(), 44100u * 4);
  EXPECT_LE(whole.size(), 45 * 1017u * 4);
  EXPECT_GE(GetSoundConverterSize(&state), 44100 * 4);
  EXPECT_NEAR(Rms16(whole.data(), 44100 * 4), 0.354 * 32767, 0.03 * 32767);
  EXPECT_EQ(state.endReached, 1);

  for (int sample : {30000, 20000, 0, 12345, 44000, 5}) {
    ASSERT_EQ(SeekSoundConverter(&state, sample), 0) << sample;
    EXPECT_EQ(state.position, sample * 4);
    std::vector<uint8_t> piece(3000);
    int want = (int)std::min<size_t>(piece.size(), whole.size() - sample * 4);
    ASSERT_EQ(ReadSoundConverter(&state, piece.data(), want), want) << sample;
    EXPECT_EQ(memcmp(piece.data(), &whole[sample * 4], want), 0) << sample;
  }
  // A forward seek within the block only moves the offset.
  int offset = state.blockOffset, held = state.blockHeld, at = state.position / 4;
  ASSERT_GT(held, 400);
  ASSERT_EQ(SeekSoundConverter(&state, at + 100), 0);
  EXPECT_EQ(state.blockOffset, offset + 400);
  EXPECT_EQ(state.blockHeld, held - 400);
  EndSoundConverter(&state);
}

// An ACM source step is never smaller than the codec's block.
TEST_F(SoundWave, AcmStepsTakeWholeCodecBlocks) {
  std::string bytes = SoundFixtureBytes("tone_22k_stereo_ima.wav");
  ASSERT_GT(bytes.size(), 64u);
  // The same file with 4096-byte blocks (four of the original's per block would not decode;
  // this only needs the reader to hand whole blocks to the codec).
  MemorySoundFile file(bytes);
  SOUND_CONVERT_STATE state;
  ASSERT_EQ(SetUpSoundConverter(&state, file.source(), 0x01, 2, 0), 0);
  ASSERT_EQ(ReadAcmBlock(&state), 0);
  EXPECT_EQ(state.acm.acmSourceUsed, 2048);
  EndSoundConverter(&state);

  std::string wide = bytes;
  // Block align 4096 in the format chunk (offset 32) with the samples per block to match.
  wide[32] = 0x00;
  wide[33] = 0x10;
  unsigned perBlock = (4096 - 8) * 8 / 8 + 1;
  wide[38] = (char)(perBlock & 0xFF);
  wide[39] = (char)(perBlock >> 8);
  MemorySoundFile wideFile(wide);
  ASSERT_EQ(SetUpSoundConverter(&state, wideFile.source(), 0x01, 2, 0), 0);
  ASSERT_EQ(ReadAcmBlock(&state), 0);
  EXPECT_EQ(state.acm.acmSourceUsed, 4096);
  EXPECT_EQ(state.blockHeld, (int)perBlock * 4);
  EndSoundConverter(&state);
}

// Mutated files: each is refused, or set up, read to its end, sought and ended; nothing
// crashes and no tracked block is left.
TEST_F(SoundWave, MutatedFilesAreRefusedOrDecoded) {
  uint32_t seed = 12345;
  auto next = [&seed]() {
    seed = seed * 1103515245u + 12345u;
    return seed >> 8;
  };
  std::string pcm = Riff(Chunk("fmt ", kPcmFormat) + Chunk("LIST", "INFOab") + Chunk("data", Samples(3000)));
  std::string ima = SoundFixtureBytes("tone_22k_stereo_ima.wav").substr(0, 60 + 3 * 1024);
  std::string flt = FloatFile(std::vector<float>(600, 0.25f), 2, 8000);
  const std::string* bases[] = {&pcm, &ima, &flt};
  int accepted = 0;
  for (int round = 0; round < 3000; round++) {
    std::string file = *bases[round % 3];
    int changes = 1 + next() % 4;
    for (int i = 0; i < changes; i++) {
      // Mostly in the headers, where the sizes and the format are.
      size_t at = next() % 4 ? next() % 72 : next() % file.size();
      file[at] = (char)(next() % 3 == 0 ? 0xFF : next());
    }
    if (next() % 8 == 0) file.resize(next() % file.size());
    MemorySoundFile source(file);
    SOUND_CONVERT_STATE state;
    if (SetUpSoundConverter(&state, source.source(), 0x1C, 2, 0) != 0) continue;
    accepted++;
    int size = GetSoundConverterSize(&state);
    std::vector<uint8_t> all = ReadToEnd(&state, 4096);
    if (state.method == SOUND_METHOD_WAVE) {
      EXPECT_LE((int)all.size(), size) << round;
    }
    SeekSoundConverter(&state, 7);
    uint8_t piece[256];
    ReadSoundConverter(&state, piece, sizeof(piece));
    SeekSoundConverter(&state, 0);
    ReadSoundConverter(&state, piece, sizeof(piece));
    EXPECT_EQ(EndSoundConverter(&state), 0);
  }
  EXPECT_GT(accepted, 300);
}
}  // namespace
