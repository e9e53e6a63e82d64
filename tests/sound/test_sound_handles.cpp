// Sound handles on the real back-ends: Ogg Vorbis and WAVE files loaded whole and as streams (the
// movie's setting on a Theora-first file included) with their lengths and play times, the
// 180-second rule, buffer counts, starts and restarts, the pause on deactivation, loading on
// a loader thread, failed loads, a shut-down during playback that leaves no block behind, and
// one while a DirectShow graph of an MP3 is still being released.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "core/memory.h"
#include "sound/mp3_dshow.h"
#include "sound/sound_handles.h"
#include "sound_fakes.h"
#include "sound_test_util.h"

namespace {
SOUND_LOAD_SETTINGS Settings(int streamKind) {
  SOUND_LOAD_SETTINGS s;
  FillSoundLoadDefaults(&s);
  s.streamKind = streamKind;
  return s;
}

// The movie's sound track: streamed from the open file, only the Ogg Vorbis reader.
SOUND_LOAD_SETTINGS MovieSettings() {
  SOUND_LOAD_SETTINGS s = Settings(STREAM_PART_OPEN_STREAM);
  s.disableBits = (int)0xFFFFFFFB;
  s.vorbisSelector = 1;
  return s;
}

int Load(const char* fixture, const SOUND_LOAD_SETTINGS& s, int count = 1) {
  return CreateSoundFromFile(&s, SoundFixture(fixture).c_str(), count, -1, 0, 0);
}

SOUND_RECORD* Record(int handle) { return LookupSoundRecord(handle, 0); }

bool WaitUntil(bool (*done)(int), int handle, DWORD limitMs = 10000) {
  for (DWORD start = GetTickCount(); GetTickCount() - start < limitMs; Sleep(2)) {
    PumpWindowMessages();
    if (done(handle)) return true;
  }
  return false;
}

class SoundHandles : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { ASSERT_EQ(StartSoundTestLibrary(), 0); }
  static void TearDownTestSuite() {
    RestartSound({});
    EndLibrary();
  }
  void SetUp() override { ASSERT_EQ(RestartSound({}), 0); }
  void TearDown() override { DeleteHandlesOfType(HANDLE_TYPE_SOUND, nullptr); }
};

TEST_F(SoundHandles, OggFilesLoadWholeAndAsStreamsWithTheirLengths) {
  struct CASE {
    const char* fixture;
    int frames, ms, rate;
  } cases[] = {
      {"tone_44k_stereo_2s.ogg", 88200, 2000, 44100},
      {"tone_22k_mono_1s.ogg", 22050, 1000, 22050},
      {"tiny_44k_stereo_3f.ogg", 3, 0, 44100},
      {"theora_first_22k.ogg", 22050, 1000, 22050},
      {"tone_44k_stereo_1s.wav", 44100, 1000, 44100},
      {"tone_22k_mono_half.wav", 11025, 500, 22050},
      {"tone_48k_stereo_float.wav", 24000, 500, 48000},
  };
  for (const CASE& c : cases) {
    for (int kind : {0, 2, 3}) {
      int h = Load(c.fixture, Settings(kind));
      ASSERT_NE(h, -1) << c.fixture << " kind " << kind;
      SOUND_RECORD* r = Record(h);
      EXPECT_EQ(r->kind, kind == 0 ? SOUND_KIND_MEMORY : SOUND_KIND_STREAM) << c.fixture << kind;
      EXPECT_EQ(GetSoundLengthSamples(h), c.frames) << c.fixture << kind;
      EXPECT_EQ(GetSoundHandleTotalTime(h), c.ms) << c.fixture << kind;
      EXPECT_EQ(r->frequency, c.rate) << c.fixture << kind;
      if (kind == 0) {
        EXPECT_EQ(r->pcmSize, c.frames * r->format.nBlockAlign) << c.fixture;
      } else {
        EXPECT_EQ(r->partOwnsStream[0], 1) << c.fixture;
      }
      EXPECT_EQ(DeleteHandle(h), 0);
    }
  }
}

// A movie's track: the Vorbis stream behind the Theora one, decoded from the open file.
TEST_F(SoundHandles, TheoraFirstFileGivesItsVorbisTrackToTheMovieSetting) {
  SOUND_LOAD_SETTINGS s = MovieSettings();
  int h = Load("theora_first_22k.ogg", s);
  ASSERT_NE(h, -1);
  SOUND_RECORD* r = Record(h);
  EXPECT_EQ(r->kind, SOUND_KIND_STREAM);
  EXPECT_EQ(r->parts[0].kind, STREAM_PART_OPEN_STREAM);
  EXPECT_EQ(r->parts[0].converter.vorbisSelector, 1);
  EXPECT_EQ(r->format.nChannels, 2);
  EXPECT_EQ((int)r->format.nSamplesPerSec, 22050);
  EXPECT_EQ(GetSoundHandleTotalTime(h), 1000);
  EXPECT_EQ(r->bufferSize, 88200);
  ASSERT_EQ(StartSoundHandle(h, SOUND_PLAY_RETURN, 1), 0);
  EXPECT_EQ(IsSoundHandlePlaying(h), 1);
  // The play time, the movie's clock, runs on and never passes the track's length.
  int last = 0;
  for (DWORD start = GetTickCount(); IsSoundHandlePlaying(h) == 1 && GetTickCount() - start < 10000; Sleep(2)) {
    PumpWindowMessages();
    int now = GetSoundHandlePlayTime(h);
    if (IsSoundHandlePlaying(h) != 1) break;
    EXPECT_GE(now, last);
    EXPECT_LE(now, 1000);
    last = now;
  }
  EXPECT_EQ(IsSoundHandlePlaying(h), 0);
  EXPECT_GT(last, 500);
  // A WAVE-only setting refuses the same file.
  s.disableBits = (int)0xFFFFFFFE;
  EXPECT_EQ(Load("theora_first_22k.ogg", s), -1);
}

// More than 180 seconds streams from the in-memory file image; exactly 180 stays in memory.
TEST_F(SoundHandles, LongSoundsAreStreamedInstead) {
  struct CASE {
    const char* fixture;
    int kind, settingsKind;
  } cases[] = {{"tone_8k_mono_180s.ogg", SOUND_KIND_MEMORY, 0}, {"tone_8k_mono_200s.ogg", SOUND_KIND_STREAM, 2}};
  for (const CASE& c : cases) {
    void* image = nullptr;
    int size = 0;
    ASSERT_EQ(LoadFileToMemory(SoundFixture(c.fixture).c_str(), &image, &size), 0);
    HANDLE_VALUE h = NewSoundHandle(0);
    SOUND_LOAD_SETTINGS s = Settings(0);
    EXPECT_EQ(LoadSoundFromMemory(h, &s, image, size, 1, -1, 0), 0) << c.fixture;
    FreeTracked(image);
    EXPECT_EQ(Record(h)->kind, c.kind) << c.fixture;
    EXPECT_EQ(s.streamKind, c.settingsKind) << c.fixture;
    if (c.kind == SOUND_KIND_STREAM) {
      EXPECT_EQ(Record(h)->parts[0].kind, STREAM_PART_FILE_COPY);
    }
    EXPECT_EQ(GetSoundLengthSamples(h), c.kind == SOUND_KIND_STREAM ? 1600000 : 1440000) << c.fixture;
    DeleteHandle(h);
  }
}

TEST_F(SoundHandles, BufferCountIsCutToTenAndDirectSoundMakesOne) {
  struct CASE {
    int useDirectSound, asked, made;
  } cases[] = {{0, 15, 10}, {0, 3, 3}, {1, 15, 1}, {1, 2, 1}};
  for (const CASE& c : cases) {
    SOUND_TEST_SWITCHES s;
    s.useDirectSound = c.useDirectSound;
    ASSERT_EQ(RestartSound(s), 0);
    int h = Load("tone_22k_mono_1s.ogg", Settings(0), c.asked);
    ASSERT_NE(h, -1);
    EXPECT_EQ(Record(h)->bufferCount, c.made) << c.useDirectSound << " " << c.asked;
    DeleteHandle(h);
    // Called directly, a count above ten is refused.
    void* image = nullptr;
    int size = 0;
    LoadFileToMemory(SoundFixture("tone_22k_mono_1s.ogg").c_str(), &image, &size);
    HANDLE_VALUE direct = NewSoundHandle(0);
    SOUND_LOAD_SETTINGS settings = Settings(0);
    EXPECT_EQ(LoadSoundFromMemory(direct, &settings, image, size, 11, -1, 0), -1);
    FreeTracked(image);
    DeleteHandle(direct);
  }
}

// Buffers are used in turn; a playing one is left alone unless the start restarts it.
TEST_F(SoundHandles, StartsUseTheBuffersInTurn) {
  int h = Load("tone_44k_stereo_2s.ogg", Settings(0), 2);
  ASSERT_NE(h, -1);
  SOUND_RECORD* r = Record(h);
  ASSERT_EQ(r->bufferCount, 2);
  uint32_t status = 0;
  ASSERT_EQ(StartSoundHandle(h, SOUND_PLAY_LOOP, 0), 0);
  EXPECT_EQ(r->currentBuffer, 1);
  ASSERT_EQ(StartSoundHandle(h, SOUND_PLAY_LOOP, 0), 0);
  EXPECT_EQ(r->currentBuffer, 0);
  for (int i = 0; i < 2; i++) {
    GetSoundBufferStatus(&r->buffers[i], &status);
    EXPECT_EQ(status & 1, 1u) << i;
  }
  // The third start finds buffer 1 playing and leaves it: its position goes on from where it
  // stood (a restart would put it back near 0).
  uint32_t before = 0, after = 0;
  for (DWORD start = GetTickCount(); before == 0 && GetTickCount() - start < 5000; Sleep(10))
    GetSoundBufferPosition(&r->buffers[1], &before, nullptr);
  ASSERT_GT(before, 0u) << "buffer 1 plays";
  ASSERT_EQ(StartSoundHandle(h, SOUND_PLAY_LOOP, 0), 0);
  EXPECT_EQ(r->currentBuffer, 1);
  GetSoundBufferPosition(&r->buffers[1], &after, nullptr);
  EXPECT_GE(after, before);
  // With restart it starts over from the beginning.
  ASSERT_EQ(StartSoundHandle(h, SOUND_PLAY_LOOP, 1), 0);
  EXPECT_EQ(r->currentBuffer, 0);
  GetSoundBufferPosition(&r->buffers[0], &after, nullptr);
  EXPECT_LT(after, 44100u * 4 / 10);
  EXPECT_EQ(StopSoundHandle(h), 0);
  EXPECT_EQ(IsSoundHandlePlaying(h), 0);
}

TEST_F(SoundHandles, StoppedSoundResumesWhereItStood) {
  int h = Load("tone_44k_stereo_2s.ogg", Settings(0));
  ASSERT_NE(h, -1);
  ASSERT_EQ(StartSoundHandle(h, SOUND_PLAY_RETURN, 1), 0);
  while (GetSoundHandlePlayTime(h) < 200) Sleep(1);
  StopSoundHandle(h);
  int stoppedAt = GetSoundHandlePlayTime(h);
  EXPECT_GE(stoppedAt, 200);
  ASSERT_EQ(StartSoundHandle(h, SOUND_PLAY_RETURN, 0), 0);
  EXPECT_GE(GetSoundHandlePlayTime(h), stoppedAt);
  StopSoundHandle(h);
  // Play type 0 returns when the sound has ended.
  ASSERT_EQ(StartSoundHandle(h, SOUND_PLAY_WAIT, 1), 0);
  EXPECT_EQ(IsSoundHandlePlaying(h), 0);
}

// In software mode the play time is the buffer position: frame 11025 at 22050 Hz is 500 ms.
TEST_F(SoundHandles, PlayTimeFollowsTheBufferPosition) {
  SOUND_TEST_SWITCHES s;
  s.softwareMode = 1;
  ASSERT_EQ(RestartSound(s), 0);
  int h = Load("tone_22k_mono_1s.ogg", Settings(0));
  ASSERT_NE(h, -1);
  SOUND_RECORD* r = Record(h);
  ASSERT_EQ(StartSoundHandle(h, SOUND_PLAY_RETURN, 1), 0);
  SetSoundBufferPosition(&r->buffers[r->currentBuffer], 11025 * 2);
  EXPECT_EQ(GetSoundHandlePlayTime(h), 500);
  EXPECT_EQ(SamplesToMilliseconds(0x7FFFFFFF, 1000), 0x7FFFFFFF);
  EXPECT_EQ(SamplesToMilliseconds(44100 * 3 / 2, 44100), 1500);
}

// Deactivation stops exactly the sounds that played; activation plays them again with their
// loop flags (through the window's activation messages).
TEST_F(SoundHandles, DeactivationPausesAndActivationResumesThePlayingSounds) {
  int looped = Load("tone_44k_stereo_2s.ogg", Settings(0));
  int once = Load("tone_8k_mono_180s.ogg", Settings(0));
  int idle = Load("tone_22k_mono_1s.ogg", Settings(0));
  int stream = Load("tone_8k_mono_200s.ogg", Settings(3));
  ASSERT_TRUE(looped != -1 && once != -1 && idle != -1 && stream != -1);
  ASSERT_EQ(StartSoundHandle(looped, SOUND_PLAY_LOOP, 1), 0);
  ASSERT_EQ(StartSoundHandle(once, SOUND_PLAY_RETURN, 1), 0);
  ASSERT_EQ(StartSoundHandle(stream, SOUND_PLAY_RETURN, 1), 0);
  // Programs running beside this one may have taken the focus: the window counts as active
  // first, so that the deactivation is a change.
  SendMessageA(WindowState.mainWindow, WM_ACTIVATE, WA_ACTIVE, 0);
  ASSERT_EQ(WindowState.active, 1);
  SetRunWhileInactive(0);
  SendMessageA(WindowState.mainWindow, WM_ACTIVATE, WA_INACTIVE, 0);
  EXPECT_EQ(WindowState.active, 0);
  for (int h : {looped, once, idle, stream}) EXPECT_EQ(IsSoundHandlePlaying(h), 0) << h;
  EXPECT_EQ(Record(looped)->resume[0], 1);
  EXPECT_EQ(Record(idle)->resume[0], 0);
  SendMessageA(WindowState.mainWindow, WM_ACTIVATE, WA_ACTIVE, 0);
  SetRunWhileInactive(1);
  EXPECT_EQ(IsSoundHandlePlaying(looped), 1);
  EXPECT_EQ(IsSoundHandlePlaying(once), 1);
  EXPECT_EQ(IsSoundHandlePlaying(stream), 1);
  EXPECT_EQ(IsSoundHandlePlaying(idle), 0);
  EXPECT_EQ(Record(looped)->buffers[0].loop, 1);
  EXPECT_EQ(Record(once)->buffers[0].loop, 0);
  EXPECT_EQ(Record(looped)->paused[0], 0);
  // Twice paused is paused once: the second call keeps the resume flags.
  EXPECT_EQ(SetSoundBuffersPaused(1), 0);
  EXPECT_EQ(SetSoundBuffersPaused(1), 0);
  EXPECT_EQ(Record(looped)->resume[0], 1);
  EXPECT_EQ(SetSoundBuffersPaused(0), 0);
  EXPECT_EQ(IsSoundHandlePlaying(looped), 1);
}

TEST_F(SoundHandles, LoaderThreadLoadsTheSound) {
  SOUND_LOAD_SETTINGS s = Settings(0);
  int h = CreateSoundFromFile(&s, SoundFixture("tone_44k_stereo_2s.ogg").c_str(), 1, -1, 1, 0);
  ASSERT_NE(h, -1);
  ASSERT_TRUE(WaitUntil([](int handle) { return IsHandleLoading(handle) == 0; }, h));
  EXPECT_EQ(GetSoundLengthSamples(h), 88200);
  EXPECT_EQ(StartSoundHandle(h, SOUND_PLAY_RETURN, 1), 0);
  // A file that fails to load takes its handle with it.
  int bad = CreateSoundFromFile(&s, "no such file.ogg", 1, -1, 1, 0);
  ASSERT_NE(bad, -1);
  EXPECT_TRUE(WaitUntil([](int handle) { return LookupHandleRecord(handle) == nullptr; }, bad));
}

// A PCM file whose data ends inside a frame loads on every back-end, without the partial
// frame (a buffer of whole frames cannot take it).
TEST_F(SoundHandles, PcmWithAPartialFrameLoadsOnEveryBackEnd) {
  std::string data(4 * 2205 + 2, '\0');
  for (size_t i = 0; i < data.size(); i++) data[i] = (char)(i * 5);
  std::string fmt = std::string("\x01\x00\x02\x00\x22\x56\x00\x00\x88\x58\x01\x00\x04\x00\x10\x00", 16);
  std::string body = "WAVEfmt " + std::string("\x10\0\0\0", 4) + fmt + "data" +
                     std::string{(char)(data.size() & 0xFF), (char)(data.size() >> 8), 0, 0} + data;
  WriteWholeFile("partial.wav", "RIFF" + std::string{(char)(body.size() & 0xFF), (char)(body.size() >> 8), 0, 0} + body);
  struct CASE {
    const char* what;
    int softwareMode, useDirectSound;
  } cases[] = {{"XAudio2", 0, 0}, {"software", 1, 0}, {"DirectSound", 0, 1}};
  for (const CASE& c : cases) {
    SOUND_TEST_SWITCHES s;
    s.softwareMode = c.softwareMode;
    s.useDirectSound = c.useDirectSound;
    ASSERT_EQ(RestartSound(s), 0) << c.what;
    SOUND_LOAD_SETTINGS settings = Settings(0);
    int h = CreateSoundFromFile(&settings, "partial.wav", 1, -1, 0, 0);
    ASSERT_NE(h, -1) << c.what;
    EXPECT_EQ(Record(h)->pcmSize, 4 * 2205) << c.what;
    EXPECT_EQ(GetSoundLengthSamples(h), 2205) << c.what;
    EXPECT_EQ(memcmp(Record(h)->pcmData, data.data(), 4 * 2205), 0) << c.what;
    EXPECT_EQ(StartSoundHandle(h, SOUND_PLAY_RETURN, 1), 0) << c.what;
    DeleteHandle(h);
  }
}

TEST_F(SoundHandles, FailedLoadsLogAndLeaveNoHandle) {
  WriteWholeFile("noise.bin", std::string(3000, '\x33'));
  struct CASE {
    const char* path;
    int kind;
    std::vector<std::string> log;
  } cases[] = {
      {"noise.bin", 0, {"音声ファイルのＰＣＭへの変換に失敗しました\r\n", "右記の音声ファイルのロードに失敗しました_2："}},
      {"missing.ogg", 0, {"右記のファイルのオープンに失敗しました：", "右記の音声ファイルのロードに失敗しました_1："}},
      {"noise.bin", 2, {"音声データのオープンに失敗しました\r\n", "右記のＷＡＶファイルのセットアップに失敗しました："}},
      {"noise.bin", 3, {"音声データのオープンに失敗しました\r\n", "右記のＷＡＶファイルのセットアップに失敗しました："}},
      {"missing.ogg", 3, {"右記のＷＡＶファイルのロードに失敗しました："}},
  };
  for (const CASE& c : cases) {
    int handles = HandleManagers[HANDLE_TYPE_SOUND].count;
    int blocks = GetAllocBlockCount();
    size_t before = ReadLogWithoutStamps().size();
    SOUND_LOAD_SETTINGS s = Settings(c.kind);
    EXPECT_EQ(CreateSoundFromFile(&s, c.path, 1, -1, 0, 0), -1) << c.path << c.kind;
    EXPECT_TRUE(LogHasInOrder(ReadLogWithoutStamps(), c.log, before)) << c.path << c.kind;
    EXPECT_EQ(HandleManagers[HANDLE_TYPE_SOUND].count, handles) << c.path << c.kind;
    EXPECT_EQ(GetAllocBlockCount(), blocks) << c.path << c.kind;
  }
}

// Every handle, playing or not, whole or streamed, goes with the library's end.
TEST(SoundShutDown, DuringPlaybackLeavesNoLiveBlock) {
  DeleteFileA("Log.txt");
  for (int processors : {0, 1}) {
    ASSERT_EQ(StartSoundTestLibrary(), 0);
    SOUND_TEST_SWITCHES s;
    s.processors = processors;
    ASSERT_EQ(RestartSound(s), 0);
    int whole = Load("tone_44k_stereo_2s.ogg", Settings(0), 4);
    int streamed = Load("tone_44k_stereo_2s.ogg", Settings(2));
    int open = Load("theora_first_22k.ogg", MovieSettings());
    ASSERT_TRUE(whole != -1 && streamed != -1 && open != -1);
    StartSoundHandle(whole, SOUND_PLAY_LOOP, 1);
    StartSoundHandle(whole, SOUND_PLAY_LOOP, 0);
    StartSoundHandle(streamed, SOUND_PLAY_LOOP, 1);
    StartSoundHandle(open, SOUND_PLAY_RETURN, 1);
    Sleep(100);
    PumpWindowMessages();
    ASSERT_EQ(EndLibrary(), 0);
    EXPECT_EQ(SoundSystem.started, 0);
    EXPECT_EQ(SoundSystem.soundThread, nullptr);
    std::string log = ReadLogWithoutStamps();
    size_t dump = log.rfind("Alloc memory dump\r\n");
    ASSERT_NE(dump, std::string::npos);
    EXPECT_NE(log.find("Alloc num:0\r\n", dump), std::string::npos) << log.substr(dump);
  }
}

// The library ends while the graph of an MP3 decoded through DirectShow is still being
// released (its stop does not return): nothing crashes, and once the stop returns the
// releasing thread gives back every block, after the library's end.
TEST(SoundShutDown, WhileAGraphIsStillBeingReleased) {
  ASSERT_EQ(StartSoundTestLibrary(), 0);
  ASSERT_EQ(RestartSound({}), 0);
  sound_fakes::ArmGatedGraph();
  const MP3_DECODE_LIMITS limits = {10000, 60000, 10000, 300};
  SetMp3DecodeLimits(&limits);
  SOUND_LOAD_SETTINGS s = Settings(0);
  s.disableBits = 0x0F;  // DirectShow only
  int h;
  {
    sound_fakes::SCRIPTED_CLASSES classes({{CLSID_FilterGraph, sound_fakes::AnswerGatedGraph}});
    h = Load("tone_22k_mono_1s.mp3", s);
  }
  SetMp3DecodeLimits(nullptr);
  ASSERT_NE(h, -1);
  EXPECT_EQ(GetSoundLengthSamples(h), Record(h)->pcmSize / 2);
  EXPECT_EQ(sound_fakes::GatedGraph().stopsWaiting, 1);
  ASSERT_EQ(EndLibrary(), 0);
  EXPECT_GT(GetAllocBlockCount(), 0) << "the releasing thread holds the file copy";
  sound_fakes::OpenGatedGraph();
  ASSERT_EQ(WaitForSingleObject(sound_fakes::GatedGraph().gone, 30000), (DWORD)WAIT_OBJECT_0);
  for (DWORD start = GetTickCount(); GetAllocBlockCount() != 0 && GetTickCount() - start < 30000;) Sleep(5);
  EXPECT_EQ(GetAllocBlockCount(), 0);
}
}  // namespace
