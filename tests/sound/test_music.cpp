// Music and MIDI: the MCI end notification (restart when looping, close otherwise) through a
// recording mciSendCommandA and through the window procedure; stopping a music handle in
// both MIDI modes with its temporary file; the background music (nothing, a sound handle, a
// music handle) and its stop at library end; DirectMusic's play state polled each pump; and
// the 46-byte WAVE header that ends a sound capture, also at shut-down.
#include <gtest/gtest.h>

#include <dmusici.h>

#include <cstring>
#include <string>
#include <vector>

#include "core/memory.h"
#include "core/winapi.h"
#include "sound/music.h"
#include "sound/sound_handles.h"
#include "sound_fakes.h"
#include "sound_test_util.h"

namespace {
struct MCI_CALL {
  MCIDEVICEID device;
  UINT command;
  DWORD_PTR flags;
  DWORD_PTR callback;
  DWORD from;
};
std::vector<MCI_CALL>& MciCalls() {
  static std::vector<MCI_CALL> calls;
  return calls;
}
MCIERROR WINAPI RecordingMci(MCIDEVICEID device, UINT command, DWORD_PTR flags, DWORD_PTR parameters) {
  MCI_CALL call = {device, command, flags, 0, 0};
  if (command == MCI_PLAY && parameters != 0) {
    const MCI_PLAY_PARMS* play = reinterpret_cast<const MCI_PLAY_PARMS*>(parameters);
    call.callback = play->dwCallback;
    call.from = play->dwFrom;
  }
  MciCalls().push_back(call);
  return 0;
}

// Puts the recording MCI in place for the life of the object.
struct RECORDED_MCI {
  MCIERROR(WINAPI* original)(MCIDEVICEID, UINT, DWORD_PTR, DWORD_PTR);
  RECORDED_MCI() : original(WinApi.winmm.mciSendCommandA) {
    MciCalls().clear();
    WinApi.winmm.mciSendCommandA = RecordingMci;
  }
  ~RECORDED_MCI() { WinApi.winmm.mciSendCommandA = original; }
};

MUSIC_RECORD* MusicRecord(int handle) { return reinterpret_cast<MUSIC_RECORD*>(LookupHandleRecord(handle)); }

void ResetMidiState() {
  SoundSystem.mciDevice = 0;
  SoundSystem.mciPlaying = 0;
  SoundSystem.mciLoop = 0;
  SoundSystem.midiTempFileExists = 0;
  SoundSystem.midiTempPath[0] = 0;
  SoundSystem.backgroundMusic = 0;
  SoundSystem.backgroundMusicKind = 0;
}

std::string ReadFileBytes(const char* path) {
  std::string bytes;
  HANDLE file = CreateFileA(path, GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return bytes;
  char buffer[4096];
  DWORD read = 0;
  while (ReadFile(file, buffer, sizeof(buffer), &read, nullptr) && read > 0) bytes.append(buffer, read);
  CloseHandle(file);
  return bytes;
}

uint32_t Word(const std::string& bytes, size_t at) {
  uint32_t value = 0;
  memcpy(&value, bytes.data() + at, 4);
  return value;
}

// A capture file as a capture leaves it: room for the header, then the frames.
void StartCapture(const char* path, uint32_t frames, int extraBytes) {
  HANDLE file = CreateFileA(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  std::vector<char> bytes(46 + extraBytes, 0x55);
  DWORD written = 0;
  WriteFile(file, bytes.data(), (DWORD)bytes.size(), &written, nullptr);
  SoundSystem.captureOn = 1;
  SoundSystem.capturedFrames = frames;
  SoundSystem.captureFile = file;
}

class Music : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { ASSERT_EQ(StartSoundTestLibrary(), 0); }
  static void TearDownTestSuite() {
    ResetMidiState();
    RestartSound({});
    EndLibrary();
  }
  void SetUp() override {
    ASSERT_EQ(RestartSound({}), 0);
    ResetMidiState();
  }
  void TearDown() override {
    ResetMidiState();
    DeleteHandlesOfType(HANDLE_TYPE_MUSIC, nullptr);
    DeleteHandlesOfType(HANDLE_TYPE_SOUND, nullptr);
  }
};

TEST_F(Music, MidiPlayEndRestartsALoopOrClosesTheDevice) {
  RECORDED_MCI mci;
  SoundSystem.mciDevice = 7;
  struct ROW {
    const char* what;
    int loop, playing;
    UINT command;  // 0: no call
    int playingAfter;
  } rows[] = {
      {"looping: play again from 0 with notification", 1, 0, MCI_PLAY, 1},
      {"looping while playing", 1, 1, MCI_PLAY, 1},
      {"ended: close", 0, 1, MCI_CLOSE, 0},
      {"nothing plays: nothing to do", 0, 0, 0, 0},
  };
  for (const ROW& row : rows) {
    MciCalls().clear();
    SoundSystem.mciLoop = row.loop;
    SoundSystem.mciPlaying = row.playing;
    EXPECT_EQ(HandleMidiPlayEnd(), 0) << row.what;
    EXPECT_EQ(SoundSystem.mciPlaying, row.playingAfter) << row.what;
    if (row.command == 0) {
      EXPECT_TRUE(MciCalls().empty()) << row.what;
      continue;
    }
    ASSERT_EQ(MciCalls().size(), 1u) << row.what;
    const MCI_CALL& call = MciCalls()[0];
    EXPECT_EQ(call.device, 7u) << row.what;
    EXPECT_EQ(call.command, row.command) << row.what;
    if (row.command == MCI_PLAY) {
      EXPECT_EQ(call.flags, (DWORD_PTR)(MCI_NOTIFY | MCI_FROM)) << row.what;
      EXPECT_EQ(call.callback, (DWORD_PTR)WindowState.mainWindow) << row.what;
      EXPECT_EQ(call.from, 0u) << row.what;
    } else {
      EXPECT_EQ(call.flags, 0u) << row.what;
    }
  }
}

// MCI's notification reaches the window procedure as MM_MCINOTIFY.
TEST_F(Music, WindowProcedureHandsTheNotificationOn) {
  RECORDED_MCI mci;
  SoundSystem.mciPlaying = 1;
  SendMessageA(WindowState.mainWindow, MM_MCINOTIFY, MCI_NOTIFY_SUCCESSFUL, 0);
  ASSERT_EQ(MciCalls().size(), 1u);
  EXPECT_EQ(MciCalls()[0].command, (UINT)MCI_CLOSE);
  EXPECT_EQ(SoundSystem.mciPlaying, 0);
}

TEST_F(Music, StopMusicHandleClosesMciAndDeletesTheTemporaryFile) {
  RECORDED_MCI mci;
  int h = NewHandle(HANDLE_TYPE_MUSIC, -1);
  ASSERT_NE(h, -1);
  MUSIC_RECORD* r = MusicRecord(h);
  EXPECT_EQ(r->volume, 255);
  char path[MAX_PATH];
  GetFullPathNameA("music_temp.mid", MAX_PATH, path, nullptr);
  HANDLE file = CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  CloseHandle(file);
  lstrcpyA(SoundSystem.midiTempPath, path);
  SoundSystem.midiTempFileExists = 1;
  SoundSystem.mciLoop = 1;
  SoundSystem.mciPlaying = 1;
  r->playing = 1;
  EXPECT_EQ(IsMusicHandlePlaying(h), 1);
  EXPECT_EQ(StopMusicHandle(h), 0);
  ASSERT_EQ(MciCalls().size(), 1u);
  EXPECT_EQ(MciCalls()[0].command, (UINT)MCI_CLOSE);
  EXPECT_EQ(SoundSystem.mciLoop, 0);
  EXPECT_EQ(SoundSystem.mciPlaying, 0);
  EXPECT_EQ(IsMusicHandlePlaying(h), 0);
  EXPECT_EQ(r->playing, 0);
  EXPECT_EQ(SoundSystem.midiTempFileExists, 0);
  EXPECT_EQ(GetFileAttributesA(path), INVALID_FILE_ATTRIBUTES);
  // Bad handles: a deleted one and one of another type.
  EXPECT_EQ(DeleteHandle(h), 0);
  EXPECT_EQ(StopMusicHandle(h), -1);
  EXPECT_EQ(IsMusicHandlePlaying(h), -1);
  EXPECT_EQ(IsMusicHandlePlaying(NewHandle(HANDLE_TYPE_SOUND, -1)), -1);
}

// Deleting a playing music handle stops it first.
TEST_F(Music, DeletingAPlayingMusicHandleStopsIt) {
  RECORDED_MCI mci;
  int h = NewHandle(HANDLE_TYPE_MUSIC, -1);
  ASSERT_NE(h, -1);
  MUSIC_RECORD* r = MusicRecord(h);
  r->midiData = static_cast<uint8_t*>(AllocTracked(32, "", 0));
  r->midiDataSize = 32;
  SoundSystem.mciPlaying = 1;
  int blocks = GetAllocBlockCount();
  EXPECT_EQ(DeleteHandle(h), 0);
  ASSERT_EQ(MciCalls().size(), 1u);
  EXPECT_EQ(MciCalls()[0].command, (UINT)MCI_CLOSE);
  EXPECT_EQ(GetAllocBlockCount(), blocks - 2);  // the MIDI data and the record
}

TEST_F(Music, BackgroundMusicStops) {
  RECORDED_MCI mci;
  // Nothing recorded: nothing is called.
  EXPECT_EQ(StopBackgroundMusic(), 0);
  EXPECT_TRUE(MciCalls().empty());
  // A sound handle.
  SOUND_LOAD_SETTINGS settings;
  FillSoundLoadDefaults(&settings);
  int sound = CreateSoundFromFile(&settings, SoundFixture("tone_44k_stereo_2s.ogg").c_str(), 1, -1, 0, 0);
  ASSERT_NE(sound, -1);
  ASSERT_EQ(StartSoundHandle(sound, SOUND_PLAY_LOOP, 1), 0);
  SoundSystem.backgroundMusic = sound;
  SoundSystem.backgroundMusicKind = BACKGROUND_MUSIC_SOUND;
  int music = NewHandle(HANDLE_TYPE_MUSIC, -1);
  EXPECT_EQ(IsMusicHandlePlaying(music), 1);  // the background sound plays
  EXPECT_EQ(StopBackgroundMusic(), 0);
  EXPECT_EQ(LookupSoundRecord(sound, 0), nullptr);
  EXPECT_EQ(SoundSystem.backgroundMusic, 0);
  EXPECT_TRUE(MciCalls().empty());
  // A music handle playing through MCI.
  SoundSystem.backgroundMusic = music;
  SoundSystem.backgroundMusicKind = 0;
  SoundSystem.mciPlaying = 1;
  EXPECT_EQ(StopBackgroundMusic(), 0);
  EXPECT_EQ(LookupHandleRecord(music), nullptr);
  EXPECT_EQ(SoundSystem.backgroundMusic, 0);
  ASSERT_EQ(MciCalls().size(), 1u);
  EXPECT_EQ(MciCalls()[0].command, (UINT)MCI_CLOSE);
}

// In the DirectMusic mode each pump asks the performance whether a playing segment still
// plays; a segment counts as ended only after it was once reported playing.
TEST_F(Music, DirectMusicPlayStateIsPolledByThePump) {
  SOUND_TEST_SWITCHES s;
  s.midiMode = 1;
  if (RestartSound(s) < 0 || SoundSystem.dmPerformance == nullptr) GTEST_SKIP() << "DirectMusic cannot start here";
  const GUID classSegment = {0xd2ac2882, 0xb39b, 0x11d1, {0x87, 0x04, 0x00, 0x60, 0x08, 0x93, 0xb1, 0xbd}};
  const GUID interfaceSegment8 = {0xc6784488, 0x41a3, 0x418f, {0xaa, 0x15, 0xb3, 0x50, 0x93, 0xba, 0x42, 0xd4}};
  struct ROW {
    const char* what;
    int playing, started;
    int playingAfter, startedAfter;
  } rows[] = {
      {"reported stopped after it played: ended", 1, 1, 0, 1},
      {"not yet reported playing: still waiting", 1, 0, 1, 0},
      {"not playing: not asked", 0, 1, 0, 1},
  };
  std::vector<int> handles;
  for (const ROW& row : rows) {
    int h = NewHandle(HANDLE_TYPE_MUSIC, -1);
    MUSIC_RECORD* r = MusicRecord(h);
    void* segment = nullptr;
    ASSERT_EQ(CreateSoundComObject(classSegment, CLSCTX_INPROC_SERVER, interfaceSegment8, &segment), S_OK);
    r->segment = static_cast<IDirectMusicSegment8*>(segment);
    r->playing = row.playing;
    r->playStarted = row.started;
    handles.push_back(h);
  }
  // An empty segment that never started is not playing.
  ASSERT_EQ(SoundSystem.dmPerformance->IsPlaying(MusicRecord(handles[0])->segment, nullptr), S_FALSE);
  PumpWindowMessages();
  for (size_t i = 0; i < handles.size(); i++) {
    EXPECT_EQ(MusicRecord(handles[i])->playing, rows[i].playingAfter) << rows[i].what;
    EXPECT_EQ(MusicRecord(handles[i])->playStarted, rows[i].startedAfter) << rows[i].what;
    EXPECT_EQ(IsMusicHandlePlaying(handles[i]), rows[i].playingAfter) << rows[i].what;
  }
  // Stopping in the DirectMusic mode clears both flags; shut-down releases the segments.
  EXPECT_EQ(StopMusicHandle(handles[1]), 0);
  EXPECT_EQ(MusicRecord(handles[1])->playing, 0);
  EXPECT_EQ(MusicRecord(handles[1])->playStarted, 0);
  ASSERT_EQ(RestartSound({}), 0);
  EXPECT_EQ(LookupHandleRecord(handles[0]), nullptr);
}

// 44100 captured frames: RIFF size 176438, data size 176400, over the first 46 bytes only.
TEST_F(Music, CaptureEndsWithItsWaveHeader) {
  char path[MAX_PATH];
  GetFullPathNameA("capture.wav", MAX_PATH, path, nullptr);
  EXPECT_EQ(EndSoundCapture(), -1);
  StartCapture(path, 44100, 100);
  EXPECT_EQ(EndSoundCapture(), 0);
  EXPECT_EQ(SoundSystem.captureOn, 0);
  EXPECT_EQ(SoundSystem.captureFile, nullptr);
  EXPECT_EQ(EndSoundCapture(), -1);
  std::string bytes = ReadFileBytes(path);
  ASSERT_EQ(bytes.size(), 146u);
  EXPECT_EQ(bytes.substr(0, 4), "RIFF");
  EXPECT_EQ(Word(bytes, 4), 176438u);
  EXPECT_EQ(bytes.substr(8, 8), "WAVEfmt ");
  EXPECT_EQ(Word(bytes, 16), 18u);
  const unsigned char format[18] = {1, 0, 2, 0, 0x44, 0xAC, 0, 0, 0x10, 0xB1, 2, 0, 4, 0, 16, 0, 0, 0};
  EXPECT_EQ(memcmp(bytes.data() + 20, format, 18), 0);
  EXPECT_EQ(bytes.substr(38, 4), "data");
  EXPECT_EQ(Word(bytes, 42), 176400u);
  EXPECT_EQ(bytes.substr(46), std::string(100, 0x55));
  // Shut-down ends a running capture; an empty one says so.
  StartCapture(path, 0, 0);
  ASSERT_EQ(RestartSound({}), 0);
  EXPECT_EQ(SoundSystem.captureOn, 0);
  bytes = ReadFileBytes(path);
  ASSERT_EQ(bytes.size(), 46u);
  EXPECT_EQ(Word(bytes, 4), 38u);
  EXPECT_EQ(Word(bytes, 42), 0u);
  DeleteFileA(path);
}

// The library end stops the background music before the rest of the sound system ends.
TEST(MusicAtLibraryEnd, BackgroundMusicStopsAtLibraryEnd) {
  ASSERT_EQ(StartSoundTestLibrary(), 0);
  RECORDED_MCI mci;
  int music = NewHandle(HANDLE_TYPE_MUSIC, -1);
  ASSERT_NE(music, -1);
  SoundSystem.backgroundMusic = music;
  SoundSystem.backgroundMusicKind = 0;
  SoundSystem.mciPlaying = 1;
  EXPECT_EQ(EndLibrary(), 0);
  EXPECT_EQ(SoundSystem.backgroundMusic, 0);
  ASSERT_FALSE(MciCalls().empty());
  EXPECT_EQ(MciCalls()[0].command, (UINT)MCI_CLOSE);
  ResetMidiState();
}
}  // namespace
