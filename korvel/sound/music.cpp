// Music handles: MIDI through MCI or DirectMusic, the per-frame play-state poll, the MCI end
// notification, stopping, the background music and the release of music records.
#include "sound/music.h"

#include <dmusici.h>

#include "core/memory.h"
#include "core/strings.h"
#include "core/winapi.h"
#include "korvel.h"
#include "sound/sound_system.h"
#include "system/base/pump.h"
#include "system/base/window_state.h"

namespace {
// Pump passes after an MCI stop, so that its notification is taken while the device closes.
const int kStopPumpPasses = 5;

MUSIC_RECORD* Record(HANDLE_HEAD* head) { return reinterpret_cast<MUSIC_RECORD*>(head); }

MUSIC_RECORD* CheckedRecord(HANDLE_VALUE handle) {
  if (SoundSystem.device == nullptr || GetHandleType(handle) != HANDLE_TYPE_MUSIC) return nullptr;
  return Record(LookupHandleRecord(handle));
}

MCIERROR SendMci(UINT command, DWORD_PTR flags, DWORD_PTR parameters) {
  if (WinApi.winmm.mciSendCommandA == nullptr) return MCIERR_UNRECOGNIZED_COMMAND;
  return WinApi.winmm.mciSendCommandA(SoundSystem.mciDevice, command, flags, parameters);
}

void DeleteMidiTempFile() {
  if (!SoundSystem.midiTempFileExists) return;
  DeleteFileA(SoundSystem.midiTempPath);
  SoundSystem.midiTempFileExists = 0;
}

// The slot of the background music is cleared once it is stopped and deleted.
void ClearBackgroundMusic() {
  SoundSystem.backgroundMusic = 0;
  SoundSystem.backgroundMusicKind = 0;
}
}  // namespace

void InitMusicRecord(HANDLE_HEAD* head) { Record(head)->volume = MUSIC_INITIAL_VOLUME; }

int ReleaseMusicRecord(HANDLE_HEAD* head) {
  MUSIC_RECORD* r = Record(head);
  if (IsMusicHandlePlaying(head->handle) == 1) StopMusicHandle(head->handle);
  if (r->segment != nullptr) {
    if (SoundSystem.dmPerformance != nullptr) r->segment->Unload(SoundSystem.dmPerformance);
    if (SoundSystem.dmLoader != nullptr) SoundSystem.dmLoader->ReleaseObjectByUnknown(r->segment);
    r->segment->Release();
    r->segment = nullptr;
  }
  if (r->midiData != nullptr) {
    FillBytes(r->midiData, 0, r->midiDataSize > 0 ? (size_t)r->midiDataSize : 0);
    FreeTracked(r->midiData);
    r->midiData = nullptr;
  }
  return 0;
}

int PollMusicPlayState() {
  if (SoundSystem.device == nullptr || !IsHandleTypeReady(HANDLE_TYPE_MUSIC)) return -1;
  if (SoundSystem.midiMode != 1 || SoundSystem.dmPerformance == nullptr) return 0;
  int cursor = -1;
  for (HANDLE_HEAD* head = NextHandleRecord(HANDLE_TYPE_MUSIC, &cursor); head != nullptr;
       head = NextHandleRecord(HANDLE_TYPE_MUSIC, &cursor)) {
    MUSIC_RECORD* r = Record(head);
    if (!r->playing || r->segment == nullptr) continue;
    int playingNow = SoundSystem.dmPerformance->IsPlaying(r->segment, nullptr) != S_FALSE ? 1 : 0;
    if (!r->playStarted) {
      if (playingNow) r->playStarted = 1;
    } else {
      r->playing = playingNow;
    }
  }
  return 0;
}

int HandleMidiPlayEnd() {
  SOUND_SYSTEM_STATE& s = SoundSystem;
  if (s.mciLoop) {
    MCI_PLAY_PARMS play = {};
    play.dwCallback = (DWORD_PTR)WindowState.mainWindow;
    play.dwFrom = 0;
    SendMci(MCI_PLAY, MCI_NOTIFY | MCI_FROM, (DWORD_PTR)&play);
    s.mciPlaying = 1;
  } else if (s.mciPlaying) {
    SendMci(MCI_CLOSE, 0, 0);
    s.mciPlaying = 0;
  }
  return 0;
}

int StopMusicHandle(HANDLE_VALUE handle) {
  SOUND_SYSTEM_STATE& s = SoundSystem;
  MUSIC_RECORD* r = CheckedRecord(handle);
  if (r == nullptr) return -1;
  // Music plays one piece at a time: a background music that is a sound handle is what stops.
  if (s.backgroundMusic != 0 && s.backgroundMusicKind == BACKGROUND_MUSIC_SOUND) {
    StopSoundHandle(s.backgroundMusic);
    DeleteHandle(s.backgroundMusic);
    ClearBackgroundMusic();
    return 0;
  }
  s.mciLoop = 0;
  if (s.midiMode == 0) {
    HandleMidiPlayEnd();
    for (int i = 0; i < kStopPumpPasses; i++) PumpWindowMessages();
  } else if (s.midiMode == 1 && s.dmPerformance != nullptr && r->segment != nullptr) {
    s.dmPerformance->StopEx(r->segment, 0, 0);
  }
  DeleteMidiTempFile();
  r->playing = 0;
  r->playStarted = 0;
  return 0;
}

int IsMusicHandlePlaying(HANDLE_VALUE handle) {
  SOUND_SYSTEM_STATE& s = SoundSystem;
  MUSIC_RECORD* r = CheckedRecord(handle);
  if (r == nullptr) return -1;
  if (s.backgroundMusic != 0 && s.backgroundMusicKind == BACKGROUND_MUSIC_SOUND)
    return IsSoundHandlePlaying(s.backgroundMusic);
  if (s.midiMode == 0) return s.mciPlaying;
  if (s.midiMode == 1) return r->playing;
  return -1;
}

int StopBackgroundMusic() {
  SOUND_SYSTEM_STATE& s = SoundSystem;
  if (s.backgroundMusic == 0) return 0;
  HANDLE_VALUE handle = s.backgroundMusic;
  if (s.backgroundMusicKind == BACKGROUND_MUSIC_SOUND) {
    StopSoundHandle(handle);
  } else {
    StopMusicHandle(handle);
  }
  DeleteHandle(handle);
  ClearBackgroundMusic();
  return 0;
}
