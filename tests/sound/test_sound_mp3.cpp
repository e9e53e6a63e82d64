// MPEG audio: the frame-header table, the ID3 tag offsets and the frame walk, decoding through
// the Audio Compression Manager with backward seeks, and the whole-file decoding through a
// DirectShow graph of the system (memory reader, MPEG parser and decoder, sample grabber, Null
// Renderer) with free-format files, its failures, what reaches it, its bounded wait and its
// bounded release. Mutated files are in test_sound_fuzz.
#include "../dshow/dshow_test_filters.h"

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "core/memory.h"
#include "sound/mp3_dshow.h"
#include "sound/sound_convert.h"
#include "sound_fakes.h"
#include "sound_source_util.h"
#include "system/base/window_state.h"

namespace {

::testing::Environment* const com = ::testing::AddGlobalTestEnvironment(new ComEnvironment);

TEST(Mp3FrameHeader, ParsesTheTable) {
  struct CASE {
    uint8_t b[4];
    int result;
    int layer, lsf, channels;
    uint32_t rate, kbps, length, samples;
  } cases[] = {
      {{0xFF, 0xFB, 0x90, 0x64}, 0, 2, 0, 2, 44100, 128, 417, 1152},  // MPEG-1 Layer III, joint stereo
      {{0xFF, 0xFB, 0x92, 0x64}, 0, 2, 0, 2, 44100, 128, 418, 1152},  // padded
      {{0xFF, 0xF3, 0xE0, 0xC0}, 0, 2, 1, 1, 22050, 160, 522, 576},   // MPEG-2 Layer III, mono
      {{0xFF, 0xF5, 0xD0, 0x00}, 0, 1, 1, 2, 22050, 144, 940, 1152},  // MPEG-2 Layer II, index 13
      {{0xFF, 0xF3, 0xD4, 0x00}, 0, 2, 1, 2, 24000, 144, 432, 576},   // MPEG-2 Layer III, index 13
      {{0xFF, 0xFF, 0x18, 0x00}, 0, 0, 0, 2, 32000, 32, 48, 384},     // MPEG-1 Layer I
      {{0xFF, 0xFD, 0xE4, 0x40}, 0, 1, 0, 2, 48000, 384, 1152, 1152}, // MPEG-1 Layer II
      {{0xFF, 0xE3, 0x90, 0x64}, -2, 0, 0, 0, 0, 0, 0, 0},            // MPEG 2.5 sync is no frame start
      {{0xFE, 0xFB, 0x90, 0x64}, -2, 0, 0, 0, 0, 0, 0, 0},
      {{0xFF, 0xF9, 0x90, 0x64}, -1, 0, 0, 0, 0, 0, 0, 0},            // reserved layer
      {{0xFF, 0xFB, 0xF0, 0x64}, -1, 0, 0, 0, 0, 0, 0, 0},            // bit-rate index 15
      {{0xFF, 0xFB, 0x00, 0x64}, -1, 0, 0, 0, 0, 0, 0, 0},            // bit-rate index 0: free format
      {{0xFF, 0xFB, 0x9C, 0x64}, -1, 0, 0, 0, 0, 0, 0, 0},            // sample-rate index 3
  };
  for (const CASE& c : cases) {
    MP3_FRAME_INFO info = {};
    char name[32];
    snprintf(name, sizeof(name), "%02X %02X %02X %02X", c.b[0], c.b[1], c.b[2], c.b[3]);
    ASSERT_EQ(ParseMp3FrameHeader(c.b, &info), c.result) << name;
    if (c.result != 0) continue;
    EXPECT_EQ(info.layer, c.layer) << name;
    EXPECT_EQ(info.lowSamplingFrequency, c.lsf) << name;
    EXPECT_EQ(info.channels, c.channels) << name;
    EXPECT_EQ(info.sampleRate, c.rate) << name;
    EXPECT_EQ(info.bitRate, c.kbps) << name;
    EXPECT_EQ(info.frameLength, c.length) << name;
    EXPECT_EQ(info.samplesPerFrame, c.samples) << name;
  }
}

class Mp3Acm : public AcmSoundTest {};

std::string Id3v2(uint8_t major, uint8_t flags, const uint8_t size[4], size_t bodyBytes) {
  std::string tag = "ID3";
  tag += (char)major;
  tag += '\0';
  tag += (char)flags;
  for (int i = 0; i < 4; i++) tag += (char)size[i];
  return tag + std::string(bodyBytes, '\0');
}

// Frames of the fixture behind a prefix and before a suffix: where the reader puts the data.
TEST_F(Mp3Acm, TagsAndGarbageAroundTheFrames) {
  ASSERT_TRUE(AcmFunctionsReady());
  const std::string frames = SoundFixtureBytes("tone_44k_stereo_2s.mp3");
  const uint8_t size257[4] = {0x00, 0x00, 0x02, 0x01};
  std::string v1 = "TAG" + std::string(125, 'x');
  struct CASE {
    const char* what;
    std::string prefix, suffix;
    int dataStart;  // -1: refused
    int cutAtTag;
  } cases[] = {
      {"bare frames", "", "", 0, 0},
      {"ID3v2.4 with footer", Id3v2(4, 0x10, size257, 267), "", 277, 0},
      {"ID3v2.3 (no footer flag)", Id3v2(3, 0x10, size257, 257), "", 267, 0},
      {"ID3v1 at the end", "", v1, 0, 1},
      {"both tags", Id3v2(4, 0, size257, 257), v1, 267, 1},
      {"garbage before the first frame", std::string(100, '\x11') + std::string("\xFF\x12\x11", 3), "", 103, 0},
      {"a false sync in the garbage", std::string(50, '\x11') + "\xFF\xF9\x90\x64", "", -1, 0},
  };
  for (const CASE& c : cases) {
    std::string file = c.prefix + frames + c.suffix;
    MemorySoundFile source(file);
    SOUND_CONVERT_STATE state;
    int result = SetUpSoundConverter(&state, source.source(), 0x17, 2, 0);
    if (c.dataStart < 0) {
      EXPECT_EQ(result, -1) << c.what;
      continue;
    }
    ASSERT_EQ(result, 0) << c.what;
    EXPECT_EQ(state.dataStart, c.dataStart) << c.what;
    int end = (int)file.size() - (c.cutAtTag ? 128 : 0);
    EXPECT_EQ(state.dataStart + state.dataSize, end) << c.what;
    EXPECT_EQ(state.acm.totalSamples % 1152, 0) << c.what;
    EndSoundConverter(&state);
  }
  // Files of 128 bytes or less hold no frame outside a tag.
  for (size_t n : {0, 4, 128}) {
    MemorySoundFile source(frames.substr(0, n));
    SOUND_CONVERT_STATE state;
    EXPECT_EQ(SetUpSoundConverter(&state, source.source(), 0x17, 2, 0), -1) << n;
  }
}

TEST_F(Mp3Acm, DecodesTheFixturesAndSeeksBackIdentically) {
  struct CASE {
    const char* name;
    int channels, rate, frames;
  } cases[] = {{"tone_44k_stereo_2s.mp3", 2, 44100, 88200}, {"tone_22k_mono_1s.mp3", 1, 22050, 22050}};
  for (const CASE& c : cases) {
    MemorySoundFile source(SoundFixtureBytes(c.name));
    SOUND_CONVERT_STATE state;
    ASSERT_EQ(SetUpSoundConverter(&state, source.source(), 0x17, 2, 0), 0) << c.name;
    EXPECT_EQ(state.method, SOUND_METHOD_ACM);
    const WAVEFORMATEX& f = state.format;
    EXPECT_EQ(f.wFormatTag, WAVE_FORMAT_PCM);
    EXPECT_EQ(f.nChannels, c.channels) << c.name;
    EXPECT_EQ((int)f.nSamplesPerSec, c.rate) << c.name;
    EXPECT_EQ(f.wBitsPerSample, 16);
    int align = c.channels * 2;
    EXPECT_EQ(state.blockSize, (int)((uint64_t)f.nAvgBytesPerSec * 4 / 3)) << c.name;
    // The frames hold the tone and the encoder's padding on both ends.
    EXPECT_GE(state.acm.totalSamples, c.frames) << c.name;
    EXPECT_LE(state.acm.totalSamples, c.frames + 3 * 1152) << c.name;
    EXPECT_EQ(GetSoundConverterSize(&state), state.acm.totalSamples * align);
    std::vector<uint8_t> whole = ReadToEnd(&state, 9000);
    EXPECT_GE((int)whole.size(), c.frames * align) << c.name;
    EXPECT_LE((int)whole.size(), state.acm.totalSamples * align) << c.name;
    // The tone's middle part.
    size_t from = whole.size() / 4 / align * align;
    EXPECT_NEAR(Rms16(&whole[from], whole.size() / 2), 0.354 * 32767 * (c.channels == 2 ? 1.0 : 1.0), 0.05 * 32767)
        << c.name;
    for (int sample : {c.frames / 2, 3000, 0, c.frames - 100}) {
      ASSERT_EQ(SeekSoundConverter(&state, sample), 0) << sample;
      std::vector<uint8_t> piece(2000);
      int want = (int)std::min<size_t>(piece.size(), whole.size() - (size_t)sample * align);
      ASSERT_EQ(ReadSoundConverter(&state, piece.data(), want), want) << c.name << " " << sample;
      EXPECT_EQ(memcmp(piece.data(), &whole[(size_t)sample * align], want), 0) << c.name << " " << sample;
    }
    EndSoundConverter(&state);
  }
}

// ---- through DirectShow ----

class Mp3DirectShow : public Mp3Acm {};

TEST_F(Mp3DirectShow, DecodesTheWholeFileIntoMemory) {
  std::string bytes = SoundFixtureBytes("tone_44k_stereo_2s.mp3");
  MemorySoundFile source(bytes);
  SOUND_CONVERT_STATE state;
  // Every other reader off, so that the ACM does not take the file first.
  int result = SetUpSoundConverter(&state, source.source(), 0x0F, 2, 0);
  std::string log = ReadLogWithoutStamps();
  ASSERT_EQ(result, 0) << log;
  EXPECT_EQ(state.method, SOUND_METHOD_PCM_MEMORY);
  const WAVEFORMATEX& f = state.format;
  EXPECT_EQ(f.wFormatTag, WAVE_FORMAT_PCM);
  EXPECT_EQ(f.nChannels, 2);
  EXPECT_EQ(f.nSamplesPerSec, 44100u);
  EXPECT_EQ(f.wBitsPerSample, 16);
  EXPECT_EQ(f.nBlockAlign, 4);
  EXPECT_EQ(state.blockSize, 176400);
  int size = GetSoundConverterSize(&state);
  EXPECT_GE(size, 88200 * 4);
  EXPECT_LE(size, (88200 + 4 * 1152) * 4);
  // The PCM outgrew ten times the file (a 128 kbit/s MP3 is about an eleventh of its PCM).
  EXPECT_GT(state.memory.pcmCapacity, 10 * (int)bytes.size());
  std::vector<uint8_t> whole = ReadToEnd(&state, 10000);
  ASSERT_EQ((int)whole.size(), size);
  EXPECT_NEAR(Rms16(&whole[size / 4 / 4 * 4], size / 2), 0.354 * 32767, 0.05 * 32767);
  ASSERT_EQ(SeekSoundConverter(&state, 20000), 0);
  EXPECT_EQ(state.memory.pcmReadPos, 80000);
  uint8_t piece[400];
  ASSERT_EQ(ReadSoundConverter(&state, piece, 400), 400);
  EXPECT_EQ(memcmp(piece, &whole[80000], 400), 0);
  EXPECT_EQ(EndSoundConverter(&state), 0);
}

// A free-format file (bit-rate index 0 in every header) goes to DirectShow, alone or after
// the ACM reader, which cannot size its frames and refuses it.
TEST_F(Mp3DirectShow, DecodesFreeFormatFiles) {
  for (int disableBits : {0x0F, 0x07}) {
    MemorySoundFile source(SoundFixtureBytes("tone_44k_stereo_1s_free.mp3"));
    SOUND_CONVERT_STATE state;
    ASSERT_EQ(SetUpSoundConverter(&state, source.source(), disableBits, 2, 0), 0) << ReadLogWithoutStamps();
    EXPECT_EQ(state.method, SOUND_METHOD_PCM_MEMORY);
    EXPECT_EQ(state.format.nChannels, 2);
    EXPECT_EQ(state.format.nSamplesPerSec, 44100u);
    int size = GetSoundConverterSize(&state);
    EXPECT_GE(size, 44100 * 4);
    EXPECT_LE(size, (44100 + 4 * 1152) * 4);
    std::vector<uint8_t> whole = ReadToEnd(&state);
    ASSERT_EQ((int)whole.size(), size);
    EXPECT_NEAR(Rms16(&whole[size / 4 / 4 * 4], size / 2), 0.354 * 32767, 0.05 * 32767);
    EXPECT_EQ(EndSoundConverter(&state), 0);
  }
}

// Only files that hold MPEG audio frames reach the system's parsers: a movie (with its sound
// track or without one) or any other container is refused before a graph is built, since
// the parsers could deliver sound of their own from it, or never end.
TEST_F(Mp3DirectShow, FailuresAreLoggedAndLeaveNothing) {
  struct CASE {
    const char* what;
    std::string bytes;
    int quit;
    const char* message;
  } cases[] = {
      {"not MPEG audio", std::string(20000, '\x33'), 0, "MPEGオーディオのフレームが見つかりません"},
      {"a Theora movie with a Vorbis track", ReadWholeFile("../../fixtures/movie/basic.ogv"), 0,
       "MPEGオーディオのフレームが見つかりません"},
      {"a Theora movie without sound", ReadWholeFile("../../fixtures/movie/multi.ogv"), 0,
       "MPEGオーディオのフレームが見つかりません"},
      {"an Ogg Vorbis file", SoundFixtureBytes("tone_44k_stereo_2s.ogg"), 0, "MPEGオーディオのフレームが見つかりません"},
      {"a quit request", SoundFixtureBytes("tone_22k_mono_1s.mp3"), 1, "MP3変換の途中でソフトが終了しました"},
  };
  for (const CASE& c : cases) {
    ASSERT_GT(c.bytes.size(), 1000u) << c.what;
    StartTestLog();
    MemorySoundFile source(c.bytes);
    SOUND_CONVERT_STATE state;
    WindowState.windowQuit = c.quit;
    EXPECT_EQ(SetUpSoundConverter(&state, source.source(), 0x0F, 2, 0), -1) << c.what;
    WindowState.windowQuit = 0;
    EXPECT_NE(ReadLogWithoutStamps().find(c.message), std::string::npos) << c.what << "\n" << ReadLogWithoutStamps();
    EXPECT_EQ(EndSoundConverter(&state), -1);
  }
}

// The MPEG audio test of the DirectShow reader: two frames in a row of one stream, MPEG 2.5
// included, between the tags.
TEST(Mp3Frames, MpegAudioIsTwoFramesOfOneStreamInARow) {
  const std::string mp3 = SoundFixtureBytes("tone_44k_stereo_2s.mp3");
  // MPEG 2.5 Layer III, 8 kbit/s at 8000 Hz: frames of 72 bytes (no parser of the ACM reader
  // takes them).
  const std::string frame25 = std::string("\xFF\xE3\x18\xC4", 4) + std::string(68, '\0');
  const std::string frame1 = mp3.substr(0, 4) + std::string(413, '\0');  // 128 kbit/s at 44100 Hz: 417 bytes
  const uint8_t size20[4] = {0, 0, 0, 20};
  // Free format (bit-rate index 0), MPEG-1 Layer III at 44100 Hz: a frame runs to the next
  // header of its stream; a padded one is a byte longer.
  auto freeFrame = [](int length, bool padded) {
    return std::string(padded ? "\xFF\xFB\x02\x64" : "\xFF\xFB\x00\x64", 4) + std::string((size_t)length - 4, '\0');
  };
  const std::string free300 = freeFrame(300, false), free301 = freeFrame(301, true);
  struct CASE {
    const char* what;
    std::string bytes;
    int holds;
  } cases[] = {
      {"an MP3 file", mp3, 1},
      {"MPEG 2.5 frames", frame25 + frame25, 1},
      {"behind an ID3v2 tag", Id3v2(3, 0, size20, 20) + frame1 + frame1, 1},
      {"behind garbage", std::string(3000, '\x11') + frame1 + frame1, 1},
      {"one frame", frame1 + std::string(600, '\x11'), 0},
      {"frames of two streams", frame1 + frame25, 0},
      {"before an ID3v1 tag", frame1 + frame1 + "TAG" + std::string(125, 'x'), 1},
      {"one frame before an ID3v1 tag", frame1 + "TAG" + std::string(125, 'x'), 0},
      {"nothing", std::string(), 0},
      {"an Ogg Vorbis file", SoundFixtureBytes("tone_44k_stereo_2s.ogg"), 0},
      {"a Theora movie", ReadWholeFile("../../fixtures/movie/basic.ogv"), 0},
      {"a free-format MP3 file", SoundFixtureBytes("tone_44k_stereo_1s_free.mp3"), 1},
      {"free-format frames", free300 + free300 + free300, 1},
      {"free-format frames, the second padded", free300 + free301 + free300, 1},
      {"two free-format frames to the end", free300 + free301, 1},
      {"two free-format frames before an ID3v1 tag", free300 + free300 + "TAG" + std::string(125, 'x'), 1},
      {"free-format frames of other lengths", free300 + freeFrame(200, false) + free300, 0},
      {"one free-format frame", free300 + std::string(600, '\x11'), 0},
      {"a free-format frame and the start of another", free300 + free300.substr(0, 200), 0},
      {"free-format frames of two streams", free300 + freeFrame(300, false).replace(3, 1, "\xC4") + free300, 0},
  };
  for (const CASE& c : cases) {
    EXPECT_EQ(HoldsMpegAudioFrames(reinterpret_cast<const uint8_t*>(c.bytes.data()), (int)c.bytes.size()), c.holds)
        << c.what;
  }
}

// A renderer that takes audio and never reports the end of its stream: a graph with it in
// place of the Null Renderer never completes.
class NeverEndingRenderer : public K_CBaseRenderer {
 public:
  NeverEndingRenderer() : K_CBaseRenderer(TEST_CLSID, "Never-ending renderer", nullptr, &created) {}
  HRESULT CheckMediaType(const K_CMediaType* type) override {
    return type != nullptr && type->majortype == MEDIATYPE_Audio ? S_OK : E_FAIL;
  }
  HRESULT DoRenderSample(IMediaSample*) override { return S_OK; }
  HRESULT EndOfStream() override { return S_OK; }
  HRESULT created = S_OK;
};

HRESULT MakeNeverEndingRenderer(REFIID interfaceId, void** object) {
  NeverEndingRenderer* renderer = new NeverEndingRenderer;
  renderer->AddRef();
  HRESULT hr = renderer->QueryInterface(interfaceId, object);
  renderer->Release();
  return hr;
}

// A graph that does not end is given up once no sound arrives for a while (or after a time
// in all), with every block given back.
TEST_F(Mp3DirectShow, GraphThatNeverEndsIsGivenUp) {
  const GUID nullRenderer = {0xC1F400A4, 0x3F08, 0x11D3, {0x9F, 0x0B, 0x00, 0x60, 0x08, 0x03, 0x9E, 0x37}};
  sound_fakes::SCRIPTED_CLASSES classes({{nullRenderer, MakeNeverEndingRenderer}});
  const MP3_DECODE_LIMITS limits = {500, 20000, 0, 10000};
  SetMp3DecodeLimits(&limits);
  MemorySoundFile source(SoundFixtureBytes("tone_22k_mono_1s.mp3"));
  SOUND_CONVERT_STATE state;
  EXPECT_EQ(SetUpSoundConverter(&state, source.source(), 0x0F, 2, 0), -1);
  SetMp3DecodeLimits(nullptr);
  EXPECT_TRUE(LogHasInOrder(ReadLogWithoutStamps(), {"MP3変換が制限時間内に終わりませんでした"}));
  EXPECT_EQ(EndSoundConverter(&state), -1);
}

// Waits (bounded) until the worker has let the stand-in graph go and given back every block.
::testing::AssertionResult GraphLetGo(int blocks) {
  if (WaitForSingleObject(sound_fakes::GatedGraph().gone, 30000) != WAIT_OBJECT_0)
    return ::testing::AssertionFailure() << "the graph was never released";
  for (DWORD start = GetTickCount(); GetAllocBlockCount() != blocks; Sleep(5))
    if (GetTickCount() - start > 30000) return ::testing::AssertionFailure() << "a tracked block was left";
  return ::testing::AssertionSuccess();
}

// A graph whose stop does not return: the decoding returns anyway with the whole sound, the
// graph stays with the thread that releases it (logged), and once the stop returns that
// thread gives back everything, the converter long gone.
TEST_F(Mp3DirectShow, GraphWhoseStopDoesNotReturnIsLeftToItsThread) {
  sound_fakes::ArmGatedGraph();
  const MP3_DECODE_LIMITS limits = {10000, 60000, 10000, 300};
  SetMp3DecodeLimits(&limits);
  {
    MemorySoundFile source(SoundFixtureBytes("tone_22k_mono_1s.mp3"));
    SOUND_CONVERT_STATE state;
    int result;
    {
      sound_fakes::SCRIPTED_CLASSES classes({{CLSID_FilterGraph, sound_fakes::AnswerGatedGraph}});
      result = SetUpSoundConverter(&state, source.source(), 0x0F, 2, 0);
    }
    SetMp3DecodeLimits(nullptr);
    ASSERT_EQ(result, 0) << ReadLogWithoutStamps();
    // The stop was called and is still waiting.
    EXPECT_EQ(sound_fakes::GatedGraph().stopsCalled, 1);
    EXPECT_EQ(sound_fakes::GatedGraph().stopsWaiting, 1);
    EXPECT_TRUE(LogHasInOrder(ReadLogWithoutStamps(), {"MP3変換用グラフの停止が制限時間内に終わりません"}));
    EXPECT_EQ(state.method, SOUND_METHOD_PCM_MEMORY);
    int size = GetSoundConverterSize(&state);
    EXPECT_GE(size, 22050 * 2);
    EXPECT_LE(size, (22050 + 4 * 1152) * 2);
    std::vector<uint8_t> whole = ReadToEnd(&state);
    ASSERT_EQ((int)whole.size(), size);
    EXPECT_NEAR(Rms16(&whole[size / 4 / 2 * 2], size / 2), 0.354 * 32767, 0.05 * 32767);
    EXPECT_EQ(EndSoundConverter(&state), 0);
  }
  sound_fakes::OpenGatedGraph();
  EXPECT_TRUE(GraphLetGo(blocks_));
}
}  // namespace
