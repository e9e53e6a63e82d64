#include "sound/sound_system.h"

#include <cstdarg>

#include "core/log.h"
#include "core/strings.h"
#include "core/winapi.h"
#include "korvel.h"
#include "sound/music.h"
#include "sound/soft_sound.h"
#include "sound/sound_handles.h"

SOUND_SYSTEM_STATE SoundSystem;

namespace {
const SOUND_MODULE_CALLS kSystemModuleCalls = {LoadLibraryA, GetProcAddress, FreeLibrary};

const float kConeInnerAngle = 2.617994f;  // 5 pi / 6
const float kConeOuterAngle = 5.759587f;  // 11 pi / 6

void SetUp3DDefaults() {
  SOUND_SYSTEM_STATE& s = SoundSystem;
  s.listenerCone = {kConeInnerAngle, kConeOuterAngle, 1.0f, 0.75f, 0.0f, 0.25f, 0.708f, 1.0f};
  s.x3dListener.OrientFront = {0.0f, 0.0f, 1.0f};
  s.x3dListener.OrientTop = {0.0f, 1.0f, 0.0f};
  s.x3dListener.Position = {0.0f, 0.0f, 0.0f};
  s.x3dListener.Velocity = {0.0f, 0.0f, 0.0f};
  s.x3dListener.pCone = &s.listenerCone;
  s.dsListener.position = {0.0f, 0.0f, 0.0f};
  s.dsListener.front = {0.0f, 0.0f, 1.0f};
  s.dsListener.innerAngle = kConeInnerAngle;
  s.dsListener.outerAngle = kConeOuterAngle;
  s.dsListener.innerGain = 1.0f;
  s.dsListener.outerGain = 0.75f;
  s.dsListener.right = {1.0f, 0.0f, 0.0f};
}

// Every sound handle goes, then the soft sounds: the data ones first, the players second.
void DeleteAllSoundHandles() {
  DeleteHandlesOfType(HANDLE_TYPE_SOUND, nullptr);
  if (!SoundSystem.started) return;
  DeleteHandlesOfType(HANDLE_TYPE_SOFT_SOUND, KeepSoftSoundPlayers);
  DeleteHandlesOfType(HANDLE_TYPE_SOFT_SOUND, KeepSoftSoundData);
}

// The part of set-up that every back-end shares.
int FinishSetUp() {
  SOUND_SYSTEM_STATE& s = SoundSystem;
  s.loadDefaults.streamKind = 0;
  s.loadDefaults.oggBytesPerSample = 2;
  InitHandleType(HANDLE_TYPE_SOUND, (int)sizeof(SOUND_RECORD), SOUND_MAX_HANDLES, InitSoundRecord, ReleaseSoundRecord,
                 "サウンド");
  InitHandleType(HANDLE_TYPE_SOFT_SOUND, (int)sizeof(SOFT_SOUND_RECORD), SOFT_SOUND_MAX_HANDLES, nullptr,
                 ReleaseSoftSoundRecord, "ソフトサウンド");
  InitHandleType(HANDLE_TYPE_MUSIC, (int)sizeof(MUSIC_RECORD), MUSIC_MAX_HANDLES, InitMusicRecord, ReleaseMusicRecord,
                 "ミュージック");
  InitNodeList(&s.sound3DHead, &s.sound3DTail);
  InitNodeList(&s.streamHead, &s.streamTail);
  InitNodeList(&s.playerHead, &s.playerTail);
  SetUp3DDefaults();
  s.started = 1;
  DeleteAllSoundHandles();
  StartSoundThread();
  if (IsXAudio2Mode()) {
    UnindentLog();
    WriteLogText("XAudio2 の初期化は正常に終了しました\n");
  } else if (IsDirectSoundMode()) {
    WriteLogText("DirectSound の初期化は正常に終了しました\n");
  }
  return 0;
}
}  // namespace

SOUND_MODULE_CALLS SoundModuleCalls = kSystemModuleCalls;

void SetSoundModuleCalls(const SOUND_MODULE_CALLS* calls) { SoundModuleCalls = calls ? *calls : kSystemModuleCalls; }

HRESULT CreateSoundComObject(REFCLSID classId, DWORD context, REFIID interfaceId, void** object) {
  *object = nullptr;
  if (WinApi.ole32.CoCreateInstance == nullptr) return E_FAIL;
  return WinApi.ole32.CoCreateInstance(classId, nullptr, context, interfaceId, object);
}

int WriteSoundLogFormat(const char* format, ...) {
  char buffer[1024];
  va_list args;
  va_start(args, format);
  FormatStringV(buffer, sizeof(buffer), format, args);
  va_end(args);
  return WriteLogText(buffer);
}

int IsXAudio28Running() { return SoundSystem.masteringVoice28 != nullptr ? 1 : 0; }
int IsXAudio27Running() { return SoundSystem.masteringVoice27 != nullptr ? 1 : 0; }

int IsXAudio2Mode() {
  return SoundSystem.useDirectSound == 0 && SoundSystem.softwareMode == 0 && SoundSystem.device != nullptr;
}

int IsDirectSoundMode() {
  return SoundSystem.useDirectSound == 1 && SoundSystem.softwareMode == 0 && SoundSystem.device != nullptr;
}

int SetUpSoundSystem() {
  SOUND_SYSTEM_STATE& s = SoundSystem;
  if (s.started || s.device != nullptr) return -1;
  if (s.outputSampleRate == 0) s.outputSampleRate = SOUND_DEFAULT_SAMPLE_RATE;
  if (s.softwareMode) {
    s.device = SOUND_SOFTWARE_DEVICE;
    return FinishSetUp();
  }
  for (;;) {
    if (s.midiMode == 1) {
      // Without a DirectMusic loader the MIDI mode drops to 0 and DirectSound is tried.
      int result = SetUpDirectMusic();
      if (result == SOUND_BACKEND_FAILED) return -1;
      if (result == SOUND_BACKEND_READY) break;
      continue;
    }
    if (s.useDirectSound == 0) {
      if (SetUpXAudio2() == SOUND_BACKEND_READY) break;
      s.device = nullptr;
      s.useDirectSound = 1;
      continue;
    }
    if (SetUpDirectSound() == SOUND_BACKEND_FAILED) return -1;
    break;
  }
  if (s.useDirectSound == 0) {
    FinishXAudio2SetUp();
  } else {
    FinishDirectSoundSetUp();
  }
  return FinishSetUp();
}

int ShutDownSoundSystem() {
  SOUND_SYSTEM_STATE& s = SoundSystem;
  if (!s.started || s.device == nullptr) return -1;
  StopSoundThread();
  EndSoundCapture();
  DeleteAllSoundHandles();
  DeleteHandlesOfType(HANDLE_TYPE_MUSIC, nullptr);
  if (s.midiTempPath[0] != 0) DeleteFileA(s.midiTempPath);
  s.midiTempFileExists = 0;
  EndHandleType(HANDLE_TYPE_SOUND);
  EndHandleType(HANDLE_TYPE_SOFT_SOUND);
  EndHandleType(HANDLE_TYPE_MUSIC);
  if (s.midiMode == 1) ShutDownDirectMusic();
  if (s.softwareMode) {
    s.device = nullptr;
  } else if (s.useDirectSound == 0) {
    ShutDownXAudio2();
  } else {
    ShutDownDirectSound();
  }
  s.started = 0;
  return 0;
}

namespace {
int SetSwitch(int* field, int value) {
  if (SoundSystem.started) return -1;
  *field = value;
  return 0;
}
}  // namespace

int SetSoundSoftwareMode(int flag) { return SetSwitch(&SoundSystem.softwareMode, flag ? 1 : 0); }
int SetSoundUseDirectSound(int flag) { return SetSwitch(&SoundSystem.useDirectSound, flag ? 1 : 0); }
int SetSoundMidiMode(int mode) { return SetSwitch(&SoundSystem.midiMode, mode == 1 ? 1 : 0); }
int SetSoundSoftwareLocation(int flag) { return SetSwitch(&SoundSystem.softwareLocation, flag ? 1 : 0); }
int SetSoundOutputSampleRate(int rate) { return SetSwitch(&SoundSystem.outputSampleRate, rate > 0 ? rate : 0); }
