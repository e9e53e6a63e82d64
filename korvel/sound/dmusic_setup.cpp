// The DirectMusic MIDI mode: a DirectMusic loader and performance whose InitAudio makes the
// DirectSound object that then serves as the sound device; the ports are listed in the log.
#include "sound/sound_platform.h"
#include <dmusici.h>

#include "core/log.h"
#include "sound/sound_system.h"

namespace {
const GUID kClassLoader = {0xd2ac2892, 0xb39b, 0x11d1, {0x87, 0x04, 0x00, 0x60, 0x08, 0x93, 0xb1, 0xbd}};
const GUID kInterfaceLoader8 = {0x19e7c08c, 0x0a44, 0x4e6a, {0xa1, 0x16, 0x59, 0x5a, 0x7c, 0xd5, 0xde, 0x8c}};
const GUID kClassPerformance = {0xd2ac2881, 0xb39b, 0x11d1, {0x87, 0x04, 0x00, 0x60, 0x08, 0x93, 0xb1, 0xbd}};
const GUID kInterfacePerformance8 = {0x679c4137, 0xc62e, 0x4147, {0xb2, 0xb4, 0x9d, 0x56, 0x9a, 0xcb, 0x25, 0x4c}};
const GUID kClassDirectMusic = {0x636b9f10, 0x0c7d, 0x11d1, {0x95, 0xb2, 0x00, 0x20, 0xaf, 0xdc, 0x74, 0x21}};
const GUID kInterfaceDirectMusic = {0x6536115a, 0x7b2d, 0x11d2, {0xba, 0x18, 0x00, 0x00, 0xf8, 0x75, 0xac, 0x12}};
const GUID kInterfaceDirectMusic8 = {0x2d3629f7, 0x813d, 0x4939, {0x85, 0x08, 0xf0, 0x5c, 0x6b, 0x75, 0xfd, 0x97}};
const DWORD kPerformanceChannels = 64;
const DWORD kSampleRate = 44100;
const int kPortNameChars = 128;
const int kPortNameBytes = 256;

void LogPorts(IDirectMusic8* music) {
  for (DWORD index = 0;; index++) {
    DMUS_PORTCAPS caps = {};
    caps.dwSize = sizeof(caps);
    if (music->EnumPort(index, &caps) != S_OK) break;
    WCHAR wide[kPortNameChars + 1];
    lstrcpynW(wide, caps.wszDescription, kPortNameChars + 1);
    char name[kPortNameBytes];
    if (WideCharToMultiByte(CP_ACP, 0, wide, -1, name, kPortNameBytes, nullptr, nullptr) == 0) name[0] = 0;
    name[kPortNameBytes - 1] = 0;
    AddLogLineFormat("%s  Device%d:%s ", caps.dwClass == DMUS_PC_OUTPUTCLASS ? "出力ポート" : "入力ポート", (int)index,
                     name);
  }
}

// Lists the ports of a DirectMusic object made for that purpose only; -1 when it cannot be made.
int ListPorts() {
  void* object = nullptr;
  if (FAILED(CreateSoundComObject(kClassDirectMusic, CLSCTX_INPROC_SERVER, kInterfaceDirectMusic, &object)) ||
      object == nullptr) {
    WriteLogText("DirectMusic オブジェクトの取得に失敗しました\n");
    return -1;
  }
  IDirectMusic* music = static_cast<IDirectMusic*>(object);
  IDirectMusic8* music8 = nullptr;
  if (FAILED(music->QueryInterface(kInterfaceDirectMusic8, reinterpret_cast<void**>(&music8))) || music8 == nullptr) {
    music->Release();
    WriteLogText("DirectMusic8 オブジェクトの取得に失敗しました\n");
    return -1;
  }
  LogPorts(music8);
  music8->Release();
  music->Release();
  return 0;
}
void ReleaseDirectMusicObjects() {
  if (SoundSystem.dmPerformance != nullptr) SoundSystem.dmPerformance->Release();
  SoundSystem.dmPerformance = nullptr;
  if (SoundSystem.dmLoader != nullptr) SoundSystem.dmLoader->Release();
  SoundSystem.dmLoader = nullptr;
}

// A failed set-up lets go of the objects it made (nothing would release them later).
int FailDirectMusic(const char* message) {
  if (message != nullptr) WriteLogText(message);
  ReleaseDirectMusicObjects();
  return SOUND_BACKEND_FAILED;
}
}  // namespace

int SetUpDirectMusic() {
  SOUND_SYSTEM_STATE& s = SoundSystem;
  s.useDirectSound = 1;
  WriteLogText("DirectSound8 の初期化を行います\n");
  void* object = nullptr;
  if (FAILED(CreateSoundComObject(kClassLoader, CLSCTX_INPROC, kInterfaceLoader8, &object)) || object == nullptr) {
    WriteLogText("DirectMusicLoader8 オブジェクトの作成に失敗しました\n");
    WriteLogText("前バージョンでの初期化処理に移ります\n");
    s.midiMode = 0;
    return SOUND_BACKEND_FALL_BACK;
  }
  s.dmLoader = static_cast<IDirectMusicLoader8*>(object);
  if (FAILED(CreateSoundComObject(kClassPerformance, CLSCTX_INPROC, kInterfacePerformance8, &object)) ||
      object == nullptr) {
    return FailDirectMusic("DirectMusicPerformance オブジェクトの作成に失敗しました\n");
  }
  s.dmPerformance = static_cast<IDirectMusicPerformance8*>(object);
  if (ListPorts() < 0) return FailDirectMusic(nullptr);
  DMUS_AUDIOPARAMS params = {};
  params.dwSize = sizeof(params);
  params.fInitNow = TRUE;
  params.dwValidData = DMUS_AUDIOPARAMS_FEATURES | DMUS_AUDIOPARAMS_SAMPLERATE;
  params.dwFeatures = DMUS_AUDIOF_ALL;
  params.dwSampleRate = kSampleRate;
  IDirectMusic* notKept = nullptr;
  IDirectSound* sound = nullptr;
  if (FAILED(s.dmPerformance->InitAudio(&notKept, &sound, nullptr, DMUS_APATH_SHARED_STEREOPLUSREVERB,
                                        kPerformanceChannels, DMUS_AUDIOF_ALL, &params)) ||
      sound == nullptr) {
    if (notKept != nullptr) notKept->Release();
    if (sound != nullptr) sound->Release();
    return FailDirectMusic("DirectMusicPerformanceオブジェクトの初期化に失敗しました\n");
  }
  // The performance holds the DirectMusic object it made; the library does not keep one.
  if (notKept != nullptr) notKept->Release();
  s.device = sound;
  return SOUND_BACKEND_READY;
}

void ShutDownDirectMusic() {
  if (SoundSystem.dmPerformance != nullptr) {
    SoundSystem.dmPerformance->Stop(nullptr, nullptr, 0, 0);
    SoundSystem.dmPerformance->CloseDown();
  }
  ReleaseDirectMusicObjects();
}
