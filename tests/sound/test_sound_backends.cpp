// The sound set-up: the back-end chosen on this machine and under DLL overrides (the build
// runs this program again with XAudio2 parts switched off), the fall-backs reached through
// scripted components, DirectSound's primary format, the sound thread by processor count,
// DirectMusic mode, software mode, and the ACM entry points.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "sound/sound_convert.h"
#include "sound/sound_handles.h"
#include "sound/sound_system.h"
#include "sound_fakes.h"
#include "sound_test_util.h"

using namespace sound_fakes;

namespace {
const char* const kXAudio2Start = "XAudio2 の初期化を行います\r\n";
const char* const kXAudio2Done = "XAudio2 の初期化は正常に終了しました\r\n";
const char* const kDirectSoundStart = "DirectSound の初期化を行います\r\n";
const char* const kDirectSoundDone = "DirectSound の初期化は正常に終了しました\r\n";
const char* const kMasteringFailed = "XAudio2MasteringVoiceの作成に失敗しました\r\n";
const char* const kVersion27 = "XAudio2 インターフェースの取得を行います....  成功 Ver2.7\r\n";

struct EXPECTED_CHOICE {
  const char* name;  // the value of KORVEL_SOUND_EXPECT
  std::vector<std::string> log;
  int xaudio28, xaudio27, directSound;  // which back-end runs afterwards
};

// What each DLL-override run of this program must show; "xaudio2.8" is the plain run.
const EXPECTED_CHOICE kChoices[] = {
    {"xaudio2.8",
     {kXAudio2Start, "XAudio2_8.dll を使用します\r\n",
      "XAudio2 インターフェースの取得と初期化を行います....  成功 Ver2.8\r\n", kXAudio2Done},
     1, 0, 0},
    {"xaudio2.7",
     {kXAudio2Start, kVersion27, "引き続きインターフェースの初期化処理...  成功\r\n",
      "X3DAudio.DLL の読み込み中... 成功\r\n", "デバイス名：", "チャンネル数:", "ビット精度:", "サンプリングレート:",
      kXAudio2Done},
     0, 1, 0},
    {"no-x3daudio",
     {kXAudio2Start, kVersion27, "X3DAudio.DLL の読み込み中... 失敗、X3DAudio、XAudio2は使用しません\r\n",
      kDirectSoundStart, kDirectSoundDone},
     0, 0, 1},
    {"no-xaudio2",
     {kXAudio2Start, "XAudio2 インターフェースの取得を行います....  XAudio2インターフェースの取得に失敗しました\r\n",
      kDirectSoundStart, "DirectSound インターフェースの取得を行います....  成功\r\n", kDirectSoundDone},
     0, 0, 1},
    // No output device at all (ALSA without a configuration): XAudio2 makes no mastering voice
    // and DirectSound cannot start; the library runs on without sound.
    {"no-endpoint",
     {kXAudio2Start, "成功 Ver2.8\r\n", kMasteringFailed, kDirectSoundStart,
      "引き続きインターフェースの初期化処理...  初期化に失敗しました\r\n"},
     0, 0, 0},
    {"none",
     {kXAudio2Start, "XAudio2インターフェースの取得に失敗しました\r\n", kDirectSoundStart,
      "DirectSoundインターフェースの取得に失敗しました\r\n"},
     0, 0, 0},
};

const EXPECTED_CHOICE* ExpectedChoice() {
  const char* name = getenv("KORVEL_SOUND_EXPECT");
  std::string wanted = name != nullptr ? name : "xaudio2.8";
  for (const EXPECTED_CHOICE& c : kChoices)
    if (wanted == c.name) return &c;
  return nullptr;
}

class SoundBackend : public ::testing::Test {
 protected:
  void SetUp() override {
    DeleteFileA("Log.txt");
    ASSERT_EQ(StartSoundTestLibrary(), 0);
  }
  void TearDown() override {
    RestartSound({});
    EndLibrary();
  }
};

TEST_F(SoundBackend, ChoiceFollowsTheDllOverrides) {
  const EXPECTED_CHOICE* expected = ExpectedChoice();
  ASSERT_NE(expected, nullptr) << getenv("KORVEL_SOUND_EXPECT");
  std::string log = ReadLogWithoutStamps();
  EXPECT_TRUE(LogHasInOrder(log, expected->log)) << log;
  EXPECT_EQ(IsXAudio28Running(), expected->xaudio28);
  EXPECT_EQ(IsXAudio27Running(), expected->xaudio27);
  EXPECT_EQ(IsDirectSoundMode(), expected->directSound);
  bool anyBackEnd = expected->xaudio28 || expected->xaudio27 || expected->directSound;
  EXPECT_EQ(SoundSystem.device != nullptr, anyBackEnd);
  EXPECT_EQ(SoundSystem.started, anyBackEnd ? 1 : 0);
  if (expected->xaudio28 || expected->xaudio27) {
    EXPECT_GT(SoundSystem.outputChannelCount, 0);
    EXPECT_NE(SoundSystem.outputChannelMask, 0u);
    EXPECT_NE(SoundSystem.x3dAudioInitialize, nullptr);
  }
  if (!anyBackEnd) {
    // The library runs on without sound.
    SOUND_LOAD_SETTINGS settings;
    EXPECT_EQ(CreateSoundFromFile(FillSoundLoadDefaults(&settings), SoundFixture("tone_22k_mono_1s.ogg").c_str(), 1,
                                  -1, 0, 0),
              -1);
    EXPECT_EQ(ShutDownSoundSystem(), -1);
  }
}

TEST_F(SoundBackend, SecondSetUpAndEarlyShutDownChangeNothing) {
  if (SoundSystem.device == nullptr) GTEST_SKIP() << "no sound back-end in this run";
  void* device = SoundSystem.device;
  EXPECT_EQ(SetUpSoundSystem(), -1);
  EXPECT_EQ(SoundSystem.device, device);
  EXPECT_EQ(ShutDownSoundSystem(), 0);
  EXPECT_EQ(ShutDownSoundSystem(), -1);
  EXPECT_EQ(SoundSystem.device, nullptr);
}

// Without an output device no mastering voice is tried: both XAudio2 versions fall back.
TEST_F(SoundBackend, NoEndpointFallsBackBeforeAMasteringVoice) {
  struct CASE {
    bool hideVersion28;
    const char* versionLine;
  } cases[] = {{false, "成功 Ver2.8\r\n"}, {true, "成功 Ver2.7\r\n"}};
  for (const CASE& c : cases) {
    ShutDownSoundSystem();
    SetSoundUseDirectSound(0);
    size_t before = ReadLogWithoutStamps().size();
    {
      HIDDEN_MODULES hidden(c.hideVersion28 ? std::vector<std::string>{"XAudio2_8.dll"} : std::vector<std::string>{});
      SCRIPTED_CLASSES scripted({{kClassDeviceEnumerator, AnswerNoEndpoint}});
      SetUpSoundSystem();
    }
    std::string log = ReadLogWithoutStamps();
    EXPECT_TRUE(LogHasInOrder(log, {c.versionLine, kMasteringFailed, kDirectSoundStart}, before)) << log.substr(before);
    EXPECT_EQ(IsXAudio28Running() + IsXAudio27Running(), 0) << c.versionLine;
    EXPECT_EQ(SoundSystem.x3dAudioModule, nullptr) << c.versionLine;
  }
}

// The version 2.7 path in this process: "XAudio2_8.dll" hidden from the loader.
TEST_F(SoundBackend, Version27WhenTheVersion28DllIsMissing) {
  ShutDownSoundSystem();
  HIDDEN_MODULES hidden({"XAudio2_8.dll"});
  ASSERT_EQ(SetUpSoundSystem(), 0);
  EXPECT_EQ(IsXAudio27Running(), 1);
  EXPECT_NE(SoundSystem.x3dAudioModule, nullptr);
  EXPECT_EQ(SoundSystem.reverb27[0].RearDelay, 5);
  EXPECT_TRUE(LogHasInOrder(ReadLogWithoutStamps(), {kVersion27, "X3DAudio.DLL の読み込み中... 成功\r\n", kXAudio2Done}));
  EXPECT_EQ(ShutDownSoundSystem(), 0);
  EXPECT_EQ(SoundSystem.x3dAudioModule, nullptr);
  EXPECT_EQ(SoundSystem.x3dAudioInitialize, nullptr);
}

TEST_F(SoundBackend, DirectSoundLogsItsDeviceAndKeepsASilentBuffer) {
  SOUND_TEST_SWITCHES s;
  s.useDirectSound = 1;
  ASSERT_EQ(RestartSound(s), 0);
  EXPECT_EQ(IsDirectSoundMode(), 1);
  EXPECT_NE(SoundSystem.primaryBuffer, nullptr);
  ASSERT_NE(SoundSystem.silentBuffer, nullptr);
  DWORD status = 0;
  SoundSystem.silentBuffer->GetStatus(&status);
  EXPECT_TRUE(status & DSBSTATUS_LOOPING);
  std::string log = ReadLogWithoutStamps();
  EXPECT_TRUE(LogHasInOrder(log, {kDirectSoundStart, "DirectSound デバイスを列挙します\r\n", "モジュール名:",
                                  "最大サンプリングレート:", "利用可能サンプリング精度\r\n", " プライマリ １６bit = ",
                                  "利用可能チャンネル\r\n", kDirectSoundDone}))
      << log;
  EXPECT_EQ(ShutDownSoundSystem(), 0);
  EXPECT_NE(ReadLogWithoutStamps().find("DirectSound の終了処理は正常に終了しました\r\n"), std::string::npos);
  EXPECT_EQ(SoundSystem.silentBuffer, nullptr);
}

// The primary buffer takes the device's highest secondary rate, at most 44100 Hz.
TEST_F(SoundBackend, PrimaryFormatFollowsTheDeviceCaps) {
  struct CASE {
    DWORD maxRate, flags;
    DWORD rate;
    WORD channels, bits;
  } cases[] = {
      {22050, DSCAPS_PRIMARYSTEREO | DSCAPS_PRIMARY16BIT, 22050, 2, 16},
      {96000, DSCAPS_PRIMARYSTEREO | DSCAPS_PRIMARY16BIT, 44100, 2, 16},
      {48000, DSCAPS_PRIMARYMONO | DSCAPS_PRIMARY8BIT, 44100, 1, 8},
  };
  for (const CASE& c : cases) {
    FAKE_DSOUND device;
    device.caps.dwMaxSecondarySampleRate = c.maxRate;
    device.caps.dwFlags = c.flags;
    CurrentFakeDirectSound() = &device;
    {
      SCRIPTED_CLASSES scripted({{kClassDirectSound, AnswerFakeDirectSound}});
      SOUND_TEST_SWITCHES s;
      s.useDirectSound = 1;
      ASSERT_EQ(RestartSound(s), 0);
      ShutDownSoundSystem();
    }
    ASSERT_NE(device.primary, nullptr);
    EXPECT_TRUE(device.primary->formatSet);
    const WAVEFORMATEX& f = device.primary->format;
    EXPECT_EQ(f.nSamplesPerSec, c.rate) << c.maxRate;
    EXPECT_EQ(f.nChannels, c.channels) << c.maxRate;
    EXPECT_EQ(f.wBitsPerSample, c.bits) << c.maxRate;
    EXPECT_EQ(f.nBlockAlign, c.channels * c.bits / 8) << c.maxRate;
    EXPECT_EQ(f.nAvgBytesPerSec, c.rate * f.nBlockAlign) << c.maxRate;
    // Primary buffer (flags 1) and silent buffer (global focus, static).
    ASSERT_GE(device.createdFlags.size(), 2u);
    EXPECT_EQ(device.createdFlags[0], (DWORD)DSBCAPS_PRIMARYBUFFER);
    EXPECT_EQ(device.createdFlags[1], (DWORD)0x8002);
    device.primary->Release();
    CurrentFakeDirectSound() = nullptr;
  }
}

TEST_F(SoundBackend, SoundThreadRunsOnlyWithSeveralProcessors) {
  for (int processors : {1, 2, 8}) {
    SOUND_TEST_SWITCHES s;
    s.processors = processors;
    ASSERT_EQ(RestartSound(s), 0) << processors;
    EXPECT_EQ(SoundSystem.soundThread != nullptr, processors > 1) << processors;
    HANDLE thread = SoundSystem.soundThread;
    DWORD code = 0;
    if (thread != nullptr) {
      EXPECT_TRUE(GetExitCodeThread(thread, &code) && code == STILL_ACTIVE) << processors;
    }
    ASSERT_EQ(ShutDownSoundSystem(), 0);
    // Shut-down waited for the thread and closed its handle.
    EXPECT_EQ(SoundSystem.soundThread, nullptr);
    if (thread != nullptr) {
      EXPECT_EQ(SoundSystem.soundThreadStop, 2);
    }
  }
}

TEST_F(SoundBackend, SoftwareModeRunsWithThePlaceholderDevice) {
  SOUND_TEST_SWITCHES s;
  s.softwareMode = 1;
  ASSERT_EQ(RestartSound(s), 0);
  EXPECT_EQ(SoundSystem.device, SOUND_SOFTWARE_DEVICE);
  EXPECT_EQ(SoundSystem.started, 1);
  EXPECT_EQ(IsXAudio2Mode(), 0);
  EXPECT_EQ(IsDirectSoundMode(), 0);
  EXPECT_EQ(ShutDownSoundSystem(), 0);
  EXPECT_EQ(SoundSystem.device, nullptr);
}

TEST_F(SoundBackend, DirectMusicModeWithoutALoaderSetsUpDirectSound) {
  size_t before = ReadLogWithoutStamps().size();
  {
    SCRIPTED_CLASSES scripted({{kClassDirectMusicLoader, nullptr}});
    SOUND_TEST_SWITCHES s;
    s.midiMode = 1;
    ASSERT_EQ(RestartSound(s), 0);
  }
  EXPECT_EQ(SoundSystem.midiMode, 0);
  EXPECT_EQ(IsDirectSoundMode(), 1);
  std::string log = ReadLogWithoutStamps();
  EXPECT_TRUE(LogHasInOrder(log,
                            {"DirectSound8 の初期化を行います\r\n", "DirectMusicLoader8 オブジェクトの作成に失敗しました\r\n",
                             "前バージョンでの初期化処理に移ります\r\n", kDirectSoundStart, kDirectSoundDone},
                            before))
      << log.substr(before);
}

// With DirectMusic present the performance makes the DirectSound device.
TEST_F(SoundBackend, DirectMusicModeUsesThePerformancesDirectSound) {
  size_t before = ReadLogWithoutStamps().size();
  SOUND_TEST_SWITCHES s;
  s.midiMode = 1;
  int result = RestartSound(s);
  std::string log = ReadLogWithoutStamps().substr(before);
  ASSERT_TRUE(LogHasInOrder(log, {"DirectSound8 の初期化を行います\r\n"})) << log;
  if (result < 0) GTEST_SKIP() << "DirectMusic cannot start here: " << log;
  EXPECT_EQ(IsDirectSoundMode(), 1);
  EXPECT_NE(SoundSystem.dmPerformance, nullptr);
  EXPECT_NE(SoundSystem.dmLoader, nullptr);
  EXPECT_TRUE(LogHasInOrder(log, {"ポート  Device0:", kDirectSoundDone})) << log;
  EXPECT_EQ(ShutDownSoundSystem(), 0);
  EXPECT_EQ(SoundSystem.dmPerformance, nullptr);
}

// A missing entry point never leaves the functions marked loaded, on the first call or later.
TEST(AcmFunctions, LoadedOnlyWithEveryEntryPoint) {
  StartTestLog();
  UnloadAcmFunctions();
  {
    HIDDEN_MODULES hidden({"acmStreamSize"});
    EXPECT_EQ(LoadAcmFunctions(), -1);
    EXPECT_EQ(AcmFunctions.loaded, 0);
    EXPECT_NE(AcmFunctions.acmStreamOpen, nullptr);
    EXPECT_EQ(LoadAcmFunctions(), -1);
    EXPECT_EQ(AcmFunctions.loaded, 0);
  }
  EXPECT_EQ(LoadAcmFunctions(), 0);
  EXPECT_EQ(AcmFunctions.loaded, 1);
  EXPECT_NE(AcmFunctions.acmStreamSize, nullptr);
  EXPECT_EQ(LoadAcmFunctions(), -1);
  EXPECT_EQ(UnloadAcmFunctions(), 0);
  EXPECT_EQ(AcmFunctions.module, nullptr);
  EXPECT_EQ(AcmFunctions.acmStreamOpen, nullptr);
  EXPECT_EQ(UnloadAcmFunctions(), -1);
  {
    HIDDEN_MODULES hidden({"msacm32.dll"});
    EXPECT_EQ(LoadAcmFunctions(), -1);
  }
}

TEST(ReverbPresets, ConvertToTheNativeLayouts) {
  // Forest, the preset of every reverb voice, and Cave (a decay ratio above 1).
  XAUDIO2FX_REVERB_PARAMETERS28 forest;
  ConvertI3DL2ToNativeReverb28(&SoundReverbPresets[0], &forest, 0);
  EXPECT_EQ(forest.common.ReflectionsDelay, 162u);
  EXPECT_EQ(forest.common.ReverbDelay, 84);  // 88 ms is beyond the 85 ms limit
  EXPECT_EQ(forest.common.EarlyDiffusion, 11);
  EXPECT_EQ(forest.common.HighEQGain, 7);
  EXPECT_EQ(forest.common.LowEQGain, 8);
  EXPECT_FLOAT_EQ(forest.common.RoomFilterMain, -10.0f);
  EXPECT_FLOAT_EQ(forest.common.RoomFilterHF, -33.0f);
  EXPECT_FLOAT_EQ(forest.common.ReflectionsGain, -25.6f);
  EXPECT_FLOAT_EQ(forest.common.DecayTime, 1.49f);
  EXPECT_EQ(forest.DisableLateField, FALSE);
  XAUDIO2FX_REVERB_PARAMETERS27 cave;
  ConvertI3DL2ToNativeReverb27(&SoundReverbPresets[10], &cave);
  EXPECT_EQ(cave.HighEQGain, 8);
  EXPECT_EQ(cave.LowEQGain, 8);
  EXPECT_FLOAT_EQ(cave.DecayTime, 2.91f * 1.3f);
  EXPECT_EQ(cave.ReflectionsDelay, 15u);
}
}  // namespace
