// The WAVE readers: the chunk walk and the format checks (tables of hand-made files, each
// codec's block layout, the extensible layout), PCM read with the bytes the file really
// holds, float samples turned into 16-bit PCM, IMA ADPCM decoded through the Audio
// Compression Manager and sought backwards to the same bytes, and no file converted into
// nothing. Mutated files are in test_sound_fuzz.
#include <gtest/gtest.h>

#include <algorithm>
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
// The block is a second of sound, or the whole data when that is shorter; the set-up reads
// the first block.
TEST_F(SoundWave, ShortPcmFormatTakesItsWidthFromTheBlockAlign) {
  for (int bytes : {40000, 64}) {
    MemorySoundFile file(Riff(Chunk("fmt ", FormatBody(1, 2, 8000, 32000, 4, 9)) + Chunk("data", Samples(bytes))));
    SOUND_CONVERT_STATE state;
    ASSERT_EQ(SetUpSoundConverter(&state, file.source(), 0, 2, 0), 0);
    EXPECT_EQ(state.format.wBitsPerSample, 16);
    EXPECT_EQ(state.format.cbSize, 0);
    EXPECT_EQ(state.blockSize, bytes < 32000 ? bytes : 32000);
    EXPECT_EQ(state.blockHeld, state.blockSize);
    EXPECT_EQ(file.Tell(), state.dataStart + state.blockSize);
    EndSoundConverter(&state);
  }
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
    EXPECT_EQ(state.blockSize, std::min(size, (int)format.nAvgBytesPerSec)) << name;
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
  // The set-up decodes the first block.
  MemorySoundFile file(bytes);
  SOUND_CONVERT_STATE state;
  ASSERT_EQ(SetUpSoundConverter(&state, file.source(), 0x01, 2, 0), 0);
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
  EXPECT_EQ(state.acm.acmSourceUsed, 4096);
  EXPECT_EQ(state.blockHeld, (int)perBlock * 4);
  EndSoundConverter(&state);
}

// ---- format blocks checked before any codec sees them ----

// Each known codec's block must fit its layout before the Audio Compression Manager sees it:
// Wine's MS ADPCM codec divides by the samples per block, and Wine's IMA ADPCM codec given
// more samples per block than the block holds decodes what lies past it (two decodes of the
// same file then differ). Good blocks of silence decode; the
// common fields (channels, rates, widths) are checked for every file.
TEST_F(SoundWave, FormatBlocksAreCheckedBeforeAnyCodec) {
  ASSERT_TRUE(AcmFunctionsReady());
  struct CASE {
    const char* what;
    std::string format;
    int blocks;  // bytes of silence: blocks x block align
    bool accepted;
  } cases[] = {
      {"MS ADPCM, mono", MsAdpcm(1, 256, 500), 4, true},
      {"MS ADPCM, stereo", MsAdpcm(2, 512, 500), 4, true},
      {"MS ADPCM, no samples per block", MsAdpcm(1, 256, 0), 4, false},
      {"MS ADPCM, more samples than the block holds", MsAdpcm(1, 256, 4000), 4, false},
      {"MS ADPCM, fewer samples than the block holds", MsAdpcm(1, 256, 100), 4, false},
      {"MS ADPCM, no coefficients", MsAdpcm(1, 256, 500, 0), 4, false},
      {"MS ADPCM, coefficients past the extra size", MsAdpcm(1, 256, 500, 7, 8), 4, false},
      {"MS ADPCM, three channels", MsAdpcm(3, 768, 500), 4, false},
      {"MS ADPCM, a block of headers only", MsAdpcm(1, 7, 2), 4, false},
      {"IMA ADPCM, mono", ImaAdpcm(1, 256, 505), 4, true},
      {"IMA ADPCM, stereo", ImaAdpcm(2, 1024, 1017), 4, true},
      {"IMA ADPCM, 40 samples more than the block holds", ImaAdpcm(1, 256, 545), 4, false},
      {"IMA ADPCM, five times the samples the block holds", ImaAdpcm(2, 512, 2505), 4, false},
      {"IMA ADPCM, 8 samples more than the block holds", ImaAdpcm(1, 256, 513), 4, false},
      {"IMA ADPCM, no samples per block", ImaAdpcm(1, 256, 0), 4, false},
      {"IMA ADPCM, stereo block of broken words", ImaAdpcm(2, 1022, 1015), 4, false},
      {"IMA ADPCM, 3 bits", ImaAdpcm(1, 256, 505, 3), 4, false},
      {"IMA ADPCM, no extra bytes", FormatBody(0x11, 1, 22050, 11100, 256, 4, 0), 4, false},
      {"mu-law", FormatBody(7, 2, 8000, 16000, 2, 8, 0), 100, true},
      {"mu-law, frames wider than the channels", FormatBody(7, 1, 8000, 16000, 2, 8, 0), 100, false},
      {"A-law of 16 bits", FormatBody(6, 1, 8000, 16000, 2, 16, 0), 100, false},
      {"GSM 6.10, no samples per block", FormatBody(0x31, 1, 8000, 1625, 65, 0, 2, Le16(0)), 10, false},
      {"PCM, frames not whole samples", FormatBody(1, 2, 8000, 24000, 3, 16, 0), 100, false},
      {"PCM of 40 bits", FormatBody(1, 1, 8000, 40000, 5, 40, 0), 100, false},
      {"a rate of 500 Hz", FormatBody(7, 1, 500, 500, 1, 8, 0), 100, false},
      {"a rate of 1 MHz", FormatBody(7, 1, 1000000, 1000000, 1, 8, 0), 100, false},
      {"40 channels", FormatBody(7, 40, 8000, 320000, 40, 8, 0), 100, false},
  };
  for (const CASE& c : cases) {
    uint16_t align = (uint8_t)c.format[12] | (uint8_t)c.format[13] << 8;
    std::string file = Riff(Chunk("fmt ", c.format) + Chunk("data", std::string((size_t)c.blocks * align, '\0')));
    // The ACM reader alone, then every reader but the MP3 ones.
    for (int disable : {0x1D, 0x18}) {
      MemorySoundFile source(file);
      SOUND_CONVERT_STATE state;
      int result = SetUpSoundConverter(&state, source.source(), disable, 2, 0);
      EXPECT_EQ(result, c.accepted ? 0 : -1) << c.what << " " << disable;
      if (result != 0) continue;
      std::vector<uint8_t> pcm = ReadToEnd(&state);
      EXPECT_GT(pcm.size(), 0u) << c.what;
      EXPECT_EQ(pcm.size() % state.format.nBlockAlign, 0u) << c.what;
      EXPECT_EQ(EndSoundConverter(&state), 0);
    }
  }
}

// ADPCM blocks carry table indexes in their headers (the MS ADPCM predictor, the IMA ADPCM
// step index) that a codec follows without a check: the sound ends before the first block
// whose index is past its table, so every decode of the same file gives the same sound.
TEST_F(SoundWave, AdpcmSoundEndsBeforeABlockItsCodecCannotDecode) {
  struct CASE {
    const char* what;
    std::string format;
    size_t indexAt;  // in a block
    char bad;
    int framesPerBlock;
  } cases[] = {{"MS ADPCM predictor", MsAdpcm(1, 256, 500), 0, 9, 500},
               {"IMA ADPCM step index", ImaAdpcm(1, 256, 505), 2, 89, 505}};
  for (const CASE& c : cases) {
    std::string data(4 * 256, '\0');
    for (size_t i = 0; i < data.size(); i++) data[i] = (char)(i % 256 >= 8 ? i * 37 : 0);
    data[2 * 256 + c.indexAt] = c.bad;  // the third block
    std::string file = Riff(Chunk("fmt ", c.format) + Chunk("data", data));
    std::vector<uint8_t> first;
    for (int pass = 0; pass < 2; pass++) {
      MemorySoundFile source(file);
      SOUND_CONVERT_STATE state;
      ASSERT_EQ(SetUpSoundConverter(&state, source.source(), 0x1D, 2, 0), 0) << c.what;
      EXPECT_EQ(state.dataSize, 2 * 256) << c.what;
      std::vector<uint8_t> pcm = ReadToEnd(&state);
      EXPECT_EQ(pcm.size(), 2u * c.framesPerBlock * 2) << c.what;
      if (pass == 0) first = pcm;
      EXPECT_EQ(pcm, first) << c.what;
      EndSoundConverter(&state);
    }
    // A bad first block leaves no sound: refused.
    data[c.indexAt] = c.bad;
    MemorySoundFile source(Riff(Chunk("fmt ", c.format) + Chunk("data", data)));
    SOUND_CONVERT_STATE state;
    EXPECT_EQ(SetUpSoundConverter(&state, source.source(), 0x1D, 2, 0), -1) << c.what;
  }
}

// Files of the extensible layout (what most tools write for more than 16 bits, more than two
// channels or more than 48 kHz) with a PCM or IEEE-float sub-format are PCM and float files:
// both WAVE readers take them as such. Other sub-formats are refused.
TEST_F(SoundWave, ExtensibleLayoutIsReadAsPcmOrFloat) {
  std::string data = Samples(6 * 3 * 50);
  struct CASE {
    const char* what;
    std::string format;
    int channels, rate, bits;  // of the output; 0: refused
    bool throughAcm;           // the ACM reader alone takes it too
  } cases[] = {
      {"24-bit stereo at 96 kHz", Extensible(2, 96000, 24, 24, 3, SubFormat(1)), 2, 96000, 24, false},
      {"20 bits in 24", Extensible(2, 48000, 24, 20, 3, SubFormat(1)), 2, 48000, 24, false},
      {"16-bit 5.1", Extensible(6, 48000, 16, 16, 0x3F, SubFormat(1)), 6, 48000, 16, false},
      {"16-bit stereo", Extensible(2, 44100, 16, 16, 3, SubFormat(1)), 2, 44100, 16, true},
      {"32-bit PCM mono", Extensible(1, 44100, 32, 32, 4, SubFormat(1)), 1, 44100, 32, false},
      {"valid bits past the container", Extensible(2, 48000, 16, 24, 3, SubFormat(1)), 0, 0, 0, false},
      {"an MS ADPCM sub-format", Extensible(2, 48000, 16, 16, 3, SubFormat(2)), 0, 0, 0, false},
      {"a sub-format of another base", Extensible(2, 48000, 16, 16, 3, Le16(1) + std::string(14, '\x11')), 0, 0, 0,
       false},
      {"no room for the sub-format", Extensible(2, 48000, 16, 16, 3, SubFormat(1), 6), 0, 0, 0, false},
  };
  for (const CASE& c : cases) {
    std::string file = Riff(Chunk("fmt ", c.format) + Chunk("data", data));
    for (int disable : {0x1E, 0x1D}) {
      MemorySoundFile source(file);
      SOUND_CONVERT_STATE state;
      int result = SetUpSoundConverter(&state, source.source(), disable, 2, 0);
      bool expected = c.channels != 0 && (disable == 0x1E || c.throughAcm);
      if (!expected) {
        // The ACM reader may take more than asked here only through a codec of the system.
        if (c.channels == 0) {
          EXPECT_EQ(result, -1) << c.what << " " << disable;
        }
        if (result == 0) EndSoundConverter(&state);
        continue;
      }
      ASSERT_EQ(result, 0) << c.what << " " << disable;
      const WAVEFORMATEX& f = state.format;
      EXPECT_EQ(f.wFormatTag, WAVE_FORMAT_PCM) << c.what;
      EXPECT_EQ(f.nChannels, c.channels) << c.what;
      EXPECT_EQ((int)f.nSamplesPerSec, c.rate) << c.what;
      EXPECT_EQ(f.wBitsPerSample, c.bits) << c.what;
      EXPECT_EQ(f.nBlockAlign, c.channels * c.bits / 8) << c.what;
      EXPECT_EQ(f.nAvgBytesPerSec, f.nBlockAlign * f.nSamplesPerSec) << c.what;
      EXPECT_EQ(f.cbSize, 0) << c.what;
      std::vector<uint8_t> pcm = ReadToEnd(&state);
      size_t whole = data.size() / f.nBlockAlign * f.nBlockAlign;
      ASSERT_EQ(pcm.size(), whole) << c.what << " " << disable;
      EXPECT_EQ(memcmp(pcm.data(), data.data(), whole), 0) << c.what << " " << disable;
      EXPECT_EQ(EndSoundConverter(&state), 0);
    }
  }
  // Float: the samples become 16-bit PCM as for the plain tag.
  std::string floats;
  for (float v : {0.5f, -0.5f, 1.0f, -1.0f}) {
    uint32_t bits;
    memcpy(&bits, &v, 4);
    floats += Le32(bits);
  }
  MemorySoundFile source(Riff(Chunk("fmt ", Extensible(2, 48000, 32, 32, 3, SubFormat(3))) + Chunk("data", floats)));
  SOUND_CONVERT_STATE state;
  ASSERT_EQ(SetUpSoundConverter(&state, source.source(), 0x1E, 2, 0), 0);
  EXPECT_EQ(state.format.wBitsPerSample, 16);
  EXPECT_EQ(state.format.nBlockAlign, 4);
  std::vector<uint8_t> pcm = ReadToEnd(&state);
  ASSERT_EQ(pcm.size(), 8u);
  const int16_t expected[4] = {16384, -16384, 32767, -32768};
  EXPECT_EQ(memcmp(pcm.data(), expected, 8), 0);
  EndSoundConverter(&state);
}

// A data chunk that ends inside a frame: the partial frame is dropped, so every reader and the
// whole conversion deliver whole frames.
TEST_F(SoundWave, PartialFrameAtTheEndIsDropped) {
  std::string data = Samples(4 * 100 + 3);
  MemorySoundFile source(Riff(Chunk("fmt ", kPcmFormat) + Chunk("data", data)));
  SOUND_CONVERT_STATE state;
  ASSERT_EQ(SetUpSoundConverter(&state, source.source(), 0, 2, 0), 0);
  EXPECT_EQ(GetSoundConverterSize(&state), 400);
  void* pcm = nullptr;
  int size = 0;
  WAVEFORMATEX format;
  ASSERT_EQ(ConvertSoundToPcm(&state, &format, &pcm, &size), 0);
  EXPECT_EQ(size, 400);
  EXPECT_EQ(memcmp(pcm, data.data(), 400), 0);
  FreeTracked(pcm);
  EndSoundConverter(&state);
}

// The same through the Audio Compression Manager: a stereo A-law or mu-law data chunk cut
// inside its last frame (the codec turns the lone byte into one sample). Block reads from the
// set-up, block reads after a rewind and a read of the last frame after a seek give the whole
// conversion's bytes, never the half frame.
TEST_F(SoundWave, AcmCodecCutInsideItsLastFrameGivesWholeFrames) {
  ASSERT_TRUE(AcmFunctionsReady());
  std::string data;
  for (int i = 0; i < 2001; i++) data.push_back((char)(i * 13 + 5));
  for (unsigned tag : {6u, 7u}) {
    std::string bytes = Riff(Chunk("fmt ", FormatBody(tag, 2, 8000, 16000, 2, 8, 0)) + Chunk("data", data));
    MemorySoundFile file(bytes), again(bytes);
    SOUND_CONVERT_STATE state, second;
    ASSERT_EQ(SetUpSoundConverter(&state, file.source(), 0x18, 2, 0), 0) << tag;
    ASSERT_EQ(state.method, SOUND_METHOD_ACM) << tag;
    ASSERT_EQ(state.format.nBlockAlign, 4) << tag;
    void* pcm = nullptr;
    int size = 0;
    WAVEFORMATEX format;
    ASSERT_EQ(ConvertSoundToPcm(&state, &format, &pcm, &size), 0) << tag;
    std::vector<uint8_t> whole((uint8_t*)pcm, (uint8_t*)pcm + size);
    FreeTracked(pcm);
    EXPECT_EQ(size, 4000) << tag;

    ASSERT_EQ(SetUpSoundConverter(&second, again.source(), 0x18, 2, 0), 0) << tag;
    std::vector<uint8_t> blocks = ReadToEnd(&second, 999);
    EXPECT_TRUE(blocks == whole) << tag << ": block reads from the set-up gave " << blocks.size() << " bytes";
    EndSoundConverter(&second);
    EXPECT_EQ(RewindSoundConverter(&state, 0), 0) << tag;
    std::vector<uint8_t> rewound = ReadToEnd(&state, 1234);
    EXPECT_TRUE(rewound == whole) << tag << ": block reads after a rewind gave " << rewound.size() << " bytes";
    EXPECT_EQ(RewindSoundConverter(&state, 999), 0) << tag;
    std::vector<uint8_t> last = ReadToEnd(&state);
    EXPECT_TRUE(last == std::vector<uint8_t>(whole.end() - 4, whole.end())) << tag << ": the last frame gave " << last.size();
    EndSoundConverter(&state);
  }
}

// A file a reader takes always gives sound: one whose codec makes nothing of its data (GSM
// without a GSM codec, a data chunk of no whole block) is refused, never converted into
// nothing.
TEST_F(SoundWave, NoFileConvertsIntoNothing) {
  struct CASE {
    const char* what;
    std::string file;
  } cases[] = {
      {"GSM 6.10", Riff(Chunk("fmt ", FormatBody(0x31, 1, 8000, 1625, 65, 0, 2, Le16(320))) +
                        Chunk("data", std::string(650, '\0')))},
      {"IMA ADPCM with less than a block", Riff(Chunk("fmt ", ImaAdpcm(1, 256, 505)) + Chunk("data", std::string(100, '\0')))},
      {"PCM with less than a frame", Riff(Chunk("fmt ", kPcmFormat) + Chunk("data", "abc"))},
      {"PCM with no data", Riff(Chunk("fmt ", kPcmFormat) + Chunk("data", ""))},
  };
  for (const CASE& c : cases) {
    for (int disable : {0x00, 0x10}) {
      MemorySoundFile source(c.file);
      SOUND_CONVERT_STATE state;
      if (SetUpSoundConverter(&state, source.source(), disable, 2, 0) != 0) continue;
      void* pcm = nullptr;
      int size = 0;
      WAVEFORMATEX format;
      int result = ConvertSoundToPcm(&state, &format, &pcm, &size);
      EXPECT_EQ(result, 0) << c.what << " " << disable;
      EXPECT_GT(size, 0) << c.what << " " << disable;
      if (result == 0) FreeTracked(pcm);
      EndSoundConverter(&state);
    }
  }
}
}  // namespace
