// Sound buffers: locks, clamps, steps and shared PCM in software mode; the XAudio2 voice
// callback's pieces, loops and ends against a recording voice; real XAudio2 voices (2.8 and
// 2.7, plain and 3D with their reverb) that replay from the start after their end; and the
// DirectSound buffers that cannot be duplicated.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "core/memory.h"
#include "sound/sound_buffer.h"
#include "sound_fakes.h"
#include "sound_test_util.h"

using namespace sound_fakes;

namespace {
WAVEFORMATEX PcmFormat(int channels, int rate) {
  WAVEFORMATEX f = {};
  f.wFormatTag = WAVE_FORMAT_PCM;
  f.nChannels = (WORD)channels;
  f.nSamplesPerSec = (DWORD)rate;
  f.wBitsPerSample = 16;
  f.nBlockAlign = (WORD)(channels * 2);
  f.nAvgBytesPerSec = (DWORD)(rate * channels * 2);
  return f;
}

DSBUFFERDESC Describe(WAVEFORMATEX* format, DWORD bytes, DWORD flags = DSBCAPS_GLOBALFOCUS | DSBCAPS_CTRLVOLUME |
                                                                      DSBCAPS_CTRLPAN | DSBCAPS_CTRLFREQUENCY |
                                                                      DSBCAPS_STATIC) {
  DSBUFFERDESC desc = {};
  desc.dwSize = sizeof(desc);
  desc.dwFlags = flags;
  desc.dwBufferBytes = bytes;
  desc.lpwfxFormat = format;
  return desc;
}

class SoundBuffers : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { ASSERT_EQ(StartSoundTestLibrary(), 0); }
  static void TearDownTestSuite() {
    RestartSound({});
    EndLibrary();
  }
  // A new buffer of 16-bit PCM in software mode.
  static void MakeSoftwareBuffer(SOUNDBUFFER* b, int channels, int rate, DWORD bytes) {
    SOUND_TEST_SWITCHES s;
    s.softwareMode = 1;
    ASSERT_EQ(RestartSound(s), 0);
    WAVEFORMATEX format = PcmFormat(channels, rate);
    DSBUFFERDESC desc = Describe(&format, bytes);
    ASSERT_EQ(SetUpSoundBuffer(b, &desc, nullptr, 0), 0);
  }
  // A valid buffer on a recording voice (XAudio2 runs), with PCM when frames are given.
  static void MakeRecordedBuffer(SOUNDBUFFER* b, RECORDING_VOICE* voice, int channels, int frames) {
    *b = SOUNDBUFFER();
    b->valid = 1;
    b->deviceBuffer = voice;
    b->format = PcmFormat(channels, 44100);
    b->length = frames;
    if (frames > 0) b->pcmBlock = NewSoundPcmBlock(frames * b->format.nBlockAlign);
  }
};

TEST_F(SoundBuffers, SoftwareLocksWrapAtTheEnd) {
  SOUNDBUFFER b = {};
  MakeSoftwareBuffer(&b, 2, 44100, 4000);
  EXPECT_EQ(b.length, 1000);
  EXPECT_EQ(b.frequency, -1);
  WAVEFORMATEX format = PcmFormat(2, 44100);
  DSBUFFERDESC desc = Describe(&format, 4000);
  EXPECT_EQ(SetUpSoundBuffer(&b, &desc, nullptr, 0), -1);
  struct CASE {
    uint32_t offset, count;
    int result;
    uint32_t at1, size1, size2;
  } cases[] = {
      {3600, 800, 0, 3600, 400, 400}, {0, 4000, 0, 0, 4000, 0}, {1000, 400, 0, 1000, 400, 0},
      {3998, 4, 0, 3998, 2, 2},       {4000, 4, -1, 0, 0, 0},   {0, 4004, -1, 0, 0, 0},
  };
  for (const CASE& c : cases) {
    void* r1 = nullptr;
    void* r2 = nullptr;
    uint32_t s1 = 0, s2 = 0;
    ASSERT_EQ(LockSoundBuffer(&b, c.offset, c.count, &r1, &s1, &r2, &s2), c.result) << c.offset << "+" << c.count;
    if (c.result < 0) continue;
    EXPECT_EQ((uint8_t*)r1 - b.pcmBlock->data, (ptrdiff_t)c.at1) << c.offset;
    EXPECT_EQ(s1, c.size1) << c.offset;
    EXPECT_EQ(s2, c.size2) << c.offset;
    EXPECT_EQ(r2, c.size2 ? (void*)b.pcmBlock->data : nullptr) << c.offset;
    EXPECT_EQ(UnlockSoundBuffer(&b, r1, s1, r2, s2), 0);
  }
  EXPECT_EQ((uintptr_t)b.pcmBlock->data % 16, 0u);
  ReleaseSoundBuffer(&b);
}

TEST_F(SoundBuffers, SoftwareSettingsAreClampedAndStepped) {
  SOUNDBUFFER b = {};
  MakeSoftwareBuffer(&b, 2, 44100, 4000);
  struct VOLUME {
    int in, stored, step;
  } volumes[] = {{100, 0, 256}, {0, 0, 256}, {-20000, -10000, 0}, {-10000, -10000, 0}, {-1000, -1000, 25}};
  for (const VOLUME& v : volumes) {
    EXPECT_EQ(SetSoundBufferVolume(&b, v.in), 0);
    EXPECT_EQ(b.volume, v.stored) << v.in;
    EXPECT_EQ(b.softVolume, v.step) << v.in;
  }
  struct PAN {
    int in, stored, step;
  } pans[] = {{20000, 10000, 256}, {-10000, -10000, -256}, {0, 0, 0}, {-30000, -10000, -256}};
  for (const PAN& p : pans) {
    EXPECT_EQ(SetSoundBufferPan(&b, p.in), 0);
    EXPECT_EQ(b.pan, p.stored) << p.in;
    EXPECT_EQ(b.softPan, p.step) << p.in;
  }
  EXPECT_EQ(SetSoundBufferFrequency(&b, 0), 0);
  EXPECT_EQ(b.frequency, -1);
  EXPECT_EQ(SetSoundBufferFrequency(&b, 22050), 0);
  EXPECT_EQ(b.frequency, 22050);
  uint32_t status = 7, play = 0, write = 0;
  EXPECT_EQ(GetSoundBufferStatus(&b, &status), 0);
  EXPECT_EQ(status, 0u);
  EXPECT_EQ(PlaySoundBuffer(&b, 1), 0);
  GetSoundBufferStatus(&b, &status);
  EXPECT_EQ(status, 1u);
  EXPECT_EQ(b.loop, 1);
  EXPECT_EQ(SetSoundBufferPosition(&b, 1002), 0);
  GetSoundBufferPosition(&b, &play, &write);
  EXPECT_EQ(play, 1000u);
  EXPECT_EQ(write, 1000u);
  StopSoundBuffer(&b);
  GetSoundBufferStatus(&b, &status);
  EXPECT_EQ(status, 0u);
  EXPECT_FLOAT_EQ(DecibelsToGain(-20.0f), 0.1f);
  ReleaseSoundBuffer(&b);
  // A released buffer refuses everything.
  EXPECT_EQ(PlaySoundBuffer(&b, 0), -1);
  EXPECT_EQ(SetSoundBufferVolume(&b, 0), -1);
  EXPECT_EQ(GetSoundBufferStatus(&b, &status), -1);
  EXPECT_EQ(ReleaseSoundBuffer(&b), -1);
}

// A duplicate shares its source's PCM, which lives until the last of them is released.
TEST_F(SoundBuffers, DuplicatesShareThePcmUntilTheLastRelease) {
  SOUNDBUFFER source = {}, copy = {};
  MakeSoftwareBuffer(&source, 1, 22050, 2000);
  int blocks = GetAllocBlockCount() - 1;
  SetSoundBufferVolume(&source, -500);
  ASSERT_EQ(SetUpSoundBuffer(&copy, nullptr, &source, 0), 0);
  EXPECT_EQ(copy.pcmBlock, source.pcmBlock);
  EXPECT_EQ(source.pcmBlock->references, 2);
  EXPECT_EQ(copy.volume, -500);
  EXPECT_EQ(copy.length, 1000);
  ReleaseSoundBuffer(&source);
  EXPECT_EQ(copy.pcmBlock->references, 1);
  EXPECT_EQ(GetAllocBlockCount(), blocks + 1);
  ReleaseSoundBuffer(&copy);
  EXPECT_EQ(GetAllocBlockCount(), blocks);
}

// The voice callback against a recording voice: pieces of at most a sixtieth of a second cut
// to the request, loops from frame 0, and a stop at the end that leaves the voice at its start.
TEST_F(SoundBuffers, VoiceCallbackSubmitsPiecesCutToTheRequest) {
  ASSERT_EQ(RestartSound({}), 0);
  ASSERT_EQ(IsXAudio2Mode(), 1);
  struct CASE {
    const char* what;
    int loop;
    std::vector<uint32_t> requests;
    std::vector<uint32_t> pieceFrames;
    bool playingAfter;
  } cases[] = {
      {"two passes of a non-looping buffer", 0, {2940, 2940}, {735, 265}, false},
      {"one large request", 0, {1000000}, {735, 265}, false},
      {"requests below a piece (each cut to the whole request)", 0, {400, 402}, {100, 100, 100}, true},
      {"less than a frame", 0, {3, 0}, {}, true},
      {"a loop", 1, {4000, 4000}, {735, 265, 735, 265}, true},
  };
  for (const CASE& c : cases) {
    RECORDING_VOICE voice;
    SOUNDBUFFER b;
    MakeRecordedBuffer(&b, &voice, 2, 1000);
    Korvel::SOUNDBUFFER_CALLBACK callback(&b);
    PlaySoundBuffer(&b, c.loop);
    for (uint32_t request : c.requests) callback.OnVoiceProcessingPassStart(request);
    std::vector<uint32_t> frames;
    for (const XAUDIO2_BUFFER& piece : voice.pieces) {
      frames.push_back(piece.AudioBytes / 4);
      EXPECT_EQ(piece.pContext, &b) << c.what;
    }
    EXPECT_EQ(frames, c.pieceFrames) << c.what;
    uint32_t status = 9;
    GetSoundBufferStatus(&b, &status);
    EXPECT_EQ(status == 1, c.playingAfter) << c.what;
    if (!c.playingAfter) {
      EXPECT_EQ(b.submittedPos, 0) << c.what;
      uint32_t play = 1;
      GetSoundBufferPosition(&b, &play, nullptr);
      EXPECT_EQ(play, 0u) << c.what;
    }
    ReleaseSoundPcmBlock(b.pcmBlock);
  }
}

// After its end a non-looping voice plays again from its first frame, like a DirectSound
// buffer, with nothing of the old pass left queued.
TEST_F(SoundBuffers, FinishedVoiceReplaysFromItsStart) {
  ASSERT_EQ(RestartSound({}), 0);
  RECORDING_VOICE voice;
  SOUNDBUFFER b;
  MakeRecordedBuffer(&b, &voice, 2, 1000);
  Korvel::SOUNDBUFFER_CALLBACK callback(&b);
  PlaySoundBuffer(&b, 0);
  callback.OnVoiceProcessingPassStart(1000000);
  callback.OnBufferEnd(&b);
  ASSERT_EQ(b.playing, 0);
  voice.pieces.clear();
  EXPECT_EQ(PlaySoundBuffer(&b, 0), 0);
  EXPECT_EQ(voice.flushes, 1);
  callback.OnVoiceProcessingPassStart(2940);
  ASSERT_EQ(voice.pieces.size(), 1u);
  EXPECT_EQ(voice.pieces[0].pAudioData, b.pcmBlock->data);
  EXPECT_EQ(voice.pieces[0].AudioBytes, 2940u);
  callback.OnBufferEnd(&b);
  EXPECT_EQ(b.playedPos, 735);
  ReleaseSoundPcmBlock(b.pcmBlock);
}

TEST_F(SoundBuffers, VoiceVolumePanAndFrequency) {
  ASSERT_EQ(RestartSound({}), 0);
  struct CASE {
    int channels, volume, pan;
    std::vector<float> expected;
  } cases[] = {
      {2, 0, -10000, {1.0f, 1e-5f}},
      {2, 0, 10000, {1e-5f, 1.0f}},
      {2, -2000, 0, {0.1f, 0.1f}},
      {2, -2000, 2000, {0.01f, 0.1f}},
      {1, -2000, -10000, {0.1f}},
  };
  for (const CASE& c : cases) {
    RECORDING_VOICE voice;
    SOUNDBUFFER b;
    MakeRecordedBuffer(&b, &voice, c.channels, 0);
    SetSoundBufferVolume(&b, c.volume);
    SetSoundBufferPan(&b, c.pan);
    ASSERT_EQ(voice.channelVolumes.size(), c.expected.size()) << c.volume << " " << c.pan;
    for (size_t i = 0; i < c.expected.size(); i++)
      EXPECT_NEAR(voice.channelVolumes[i], c.expected[i], c.expected[i] * 1e-4) << c.volume << " " << c.pan;
  }
  RECORDING_VOICE voice;
  SOUNDBUFFER b;
  MakeRecordedBuffer(&b, &voice, 2, 0);
  SetSoundBufferFrequency(&b, 22050);
  EXPECT_FLOAT_EQ(voice.ratio, 0.5f);
  SetSoundBufferFrequency(&b, 0);
  EXPECT_FLOAT_EQ(voice.ratio, 1.0f);
  EXPECT_EQ(b.frequency, -1);
}

// Real voices of both XAudio2 versions, plain and 3D: a second of PCM plays to its end, stands
// at its start, and plays through again when started again.
TEST_F(SoundBuffers, RealVoicesPlayToTheEndAndAgain) {
  for (bool version27 : {false, true}) {
    for (int is3D : {0, 1}) {
      {
        ShutDownSoundSystem();
        SetSoundUseDirectSound(0);
        HIDDEN_MODULES hidden(version27 ? std::vector<std::string>{"XAudio2_8.dll"} : std::vector<std::string>{});
        ASSERT_EQ(SetUpSoundSystem(), 0);
      }
      ASSERT_EQ(version27 ? IsXAudio27Running() : IsXAudio28Running(), 1);
      WAVEFORMATEX format = PcmFormat(2, 44100);
      DSBUFFERDESC desc = Describe(&format, 176400);
      SOUNDBUFFER b = {};
      ASSERT_EQ(SetUpSoundBuffer(&b, &desc, nullptr, is3D), 0) << version27 << is3D;
      EXPECT_EQ(b.submixVoice != nullptr, is3D == 1);
      EXPECT_EQ(b.reverbEffect != nullptr, is3D == 1);
      for (int round = 0; round < 2; round++) {
        ASSERT_EQ(PlaySoundBuffer(&b, 0), 0);
        uint32_t status = 1, play = 0;
        bool sawMiddle = false;
        DWORD start = GetTickCount();
        while (GetSoundBufferStatus(&b, &status) == 0 && (status & 1) && GetTickCount() - start < 10000) {
          GetSoundBufferPosition(&b, &play, nullptr);
          if (play > 0 && play < 176400) sawMiddle = true;
          Sleep(1);
        }
        EXPECT_EQ(status & 1, 0u) << "still playing " << version27 << is3D << round;
        EXPECT_TRUE(sawMiddle) << version27 << is3D << round;
        GetSoundBufferPosition(&b, &play, nullptr);
        EXPECT_EQ(play, 0u) << version27 << is3D << round;
      }
      EXPECT_EQ(ReleaseSoundBuffer(&b), 0);
    }
  }
}

TEST_F(SoundBuffers, DirectSoundBuffersCannotBeDuplicated) {
  SOUND_TEST_SWITCHES s;
  s.useDirectSound = 1;
  ASSERT_EQ(RestartSound(s), 0);
  WAVEFORMATEX format = PcmFormat(2, 44100);
  DSBUFFERDESC desc = Describe(&format, 4000);
  SOUNDBUFFER source = {}, copy = {};
  ASSERT_EQ(SetUpSoundBuffer(&source, &desc, nullptr, 0), 0);
  EXPECT_EQ(source.pcmBlock, nullptr);
  EXPECT_EQ(SetUpSoundBuffer(&copy, nullptr, &source, 0), -1);
  EXPECT_EQ(copy.valid, 0);
  void* r1 = nullptr;
  void* r2 = nullptr;
  uint32_t s1 = 0, s2 = 0;
  ASSERT_EQ(LockSoundBuffer(&source, 3600, 800, &r1, &s1, &r2, &s2), 0);
  EXPECT_EQ(s1 + s2, 800u);
  EXPECT_EQ(UnlockSoundBuffer(&source, r1, s1, r2, s2), 0);
  EXPECT_EQ(SetSoundBufferVolume(&source, -20000), 0);
  EXPECT_EQ(source.volume, -10000);
  EXPECT_EQ(PlaySoundBuffer(&source, 1), 0);
  uint32_t status = 0;
  EXPECT_EQ(GetSoundBufferStatus(&source, &status), 0);
  EXPECT_TRUE(status & DSBSTATUS_PLAYING);
  EXPECT_TRUE(status & DSBSTATUS_LOOPING);
  StopSoundBuffer(&source);
  ReleaseSoundBuffer(&source);
}
}  // namespace
