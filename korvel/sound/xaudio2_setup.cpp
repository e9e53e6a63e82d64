// The XAudio2 back-end: version 2.8 from "XAudio2_8.dll", else 2.7 through COM with
// X3DAudio 1.7; the mastering voice is made only when the system has an output device.
#include "sound/sound_platform.h"

#include "core/log.h"
#include "sound/sound_system.h"

const GUID CLSID_K_XAudio2_27 = {0x5a508685, 0xa254, 0x4fba, {0x9b, 0x82, 0x9a, 0x24, 0xb0, 0x03, 0x06, 0xaf}};
const GUID CLSID_K_XAudio2_27_Debug = {0xdb05ea35, 0x0329, 0x4d4b, {0xa5, 0x3a, 0x6d, 0xea, 0xd0, 0x3d, 0x38, 0x52}};
const GUID IID_K_IXAudio2_27 = {0x8bcf1f58, 0x9fe7, 0x4583, {0x8a, 0xc6, 0xe2, 0xad, 0xc4, 0x65, 0xc8, 0xbb}};
const GUID CLSID_K_AudioReverb_27 = {0x6a93130e, 0x1d53, 0x41d1, {0xa9, 0xcf, 0xe7, 0x58, 0x80, 0x0b, 0xb1, 0x79}};

using Korvel::K_IXAudio2_27;
using Korvel::K_IXAudio2_28;

namespace {
const char* const kMasteringFailed = "XAudio2MasteringVoiceの作成に失敗しました\n";

// The XAudio2 classes tried in order; each names its debug class too, which is not used.
struct XAUDIO2_CLASS_ENTRY {
  const GUID* classId;
  const GUID* debugClassId;
};
const XAUDIO2_CLASS_ENTRY kXAudio2Classes[] = {{&CLSID_K_XAudio2_27, &CLSID_K_XAudio2_27_Debug}, {nullptr, nullptr}};
const char* const kX3DAudioNames[] = {"X3DAudio1_7.dll", nullptr};

FARPROC Find(HMODULE module, const char* name) { return SoundModuleCalls.getProcAddress(module, name); }

void ReleaseDevice() {
  if (SoundSystem.device != nullptr) static_cast<IUnknown*>(SoundSystem.device)->Release();
  SoundSystem.device = nullptr;
}

void LogFailure(HRESULT hr) {
  WriteLogText("初期化に失敗しました\n");
  AddLogLineFormat("エラーコード %x", (unsigned)hr);
}

void ClearX3DAudio() {
  if (SoundSystem.x3dAudioModule != nullptr) SoundModuleCalls.freeLibrary(SoundSystem.x3dAudioModule);
  SoundSystem.x3dAudioModule = nullptr;
  SoundSystem.x3dAudioInitialize = nullptr;
  SoundSystem.x3dAudioCalculate = nullptr;
}

int SetUpVersion28(HMODULE module) {
  SOUND_SYSTEM_STATE& s = SoundSystem;
  s.xaudio28Module = module;
  WriteLogText("XAudio2_8.dll を使用します\n");
  s.xaudio2Create = (XAUDIO2_CREATE_FN)(void*)Find(module, "XAudio2Create");
  s.createAudioVolumeMeter = (XAUDIO2_CREATE_EFFECT_FN)(void*)Find(module, "CreateAudioVolumeMeter");
  s.createAudioReverb = (XAUDIO2_CREATE_EFFECT_FN)(void*)Find(module, "CreateAudioReverb");
  s.x3dAudioInitialize = (X3DAUDIO_INITIALIZE_FN)(void*)Find(module, "X3DAudioInitialize");
  s.x3dAudioCalculate = (X3DAUDIO_CALCULATE_FN)(void*)Find(module, "X3DAudioCalculate");
  WriteLogText("XAudio2 インターフェースの取得と初期化を行います....  ");
  K_IXAudio2_28* engine = nullptr;
  HRESULT hr = s.xaudio2Create != nullptr ? s.xaudio2Create(&engine, 0, XAUDIO2_ANY_PROCESSOR) : E_FAIL;
  s.device = engine;
  if (FAILED(hr)) {
    LogFailure(hr);
    ReleaseDevice();
    return SOUND_BACKEND_FALL_BACK;
  }
  WriteLogText("成功 Ver2.8\n");
  hr = E_FAIL;
  if (HasAudioRenderEndpoint())
    hr = engine->CreateMasteringVoice(&s.masteringVoice28, 0, (uint32_t)s.outputSampleRate, 0, nullptr, nullptr,
                                      XAUDIO2_AUDIO_CATEGORY_GAME_EFFECTS);
  if (FAILED(hr)) {
    s.masteringVoice28 = nullptr;
    WriteLogText(kMasteringFailed);
    ReleaseDevice();
    return SOUND_BACKEND_FALL_BACK;
  }
  for (int i = 0; i < SOUND_REVERB_PRESET_COUNT; i++)
    ConvertI3DL2ToNativeReverb28(&SoundReverbPresets[i], &s.reverb28[i], 0);
  return SOUND_BACKEND_READY;
}

int SetUpVersion27() {
  SOUND_SYSTEM_STATE& s = SoundSystem;
  WriteLogText("XAudio2 インターフェースの取得を行います....  ");
  int index = 0;
  void* object = nullptr;
  for (; kXAudio2Classes[index].classId != nullptr; index++)
    if (SUCCEEDED(CreateSoundComObject(*kXAudio2Classes[index].classId, 7, IID_K_IXAudio2_27, &object)) &&
        object != nullptr)
      break;
  if (object == nullptr) {
    s.device = nullptr;
    WriteLogText("XAudio2インターフェースの取得に失敗しました\n");
    return SOUND_BACKEND_FALL_BACK;
  }
  s.device = object;
  K_IXAudio2_27* engine = static_cast<K_IXAudio2_27*>(object);
  AddLogLineFormat("成功 Ver2.%d", 7 - index);
  WriteLogText("引き続きインターフェースの初期化処理...  ");
  HRESULT hr = engine->Initialize(0, XAUDIO2_ANY_PROCESSOR);
  if (FAILED(hr)) {
    LogFailure(hr);
    ReleaseDevice();
    return SOUND_BACKEND_FALL_BACK;
  }
  WriteLogText("成功\n");
  WriteLogText("X3DAudio.DLL の読み込み中... ");
  for (int i = 0; kX3DAudioNames[i] != nullptr && s.x3dAudioModule == nullptr; i++)
    s.x3dAudioModule = SoundModuleCalls.loadLibrary(kX3DAudioNames[i]);
  if (s.x3dAudioModule == nullptr) {
    WriteLogText("失敗、X3DAudio、XAudio2は使用しません\n");
    ReleaseDevice();
    return SOUND_BACKEND_FALL_BACK;
  }
  WriteLogText("成功\n");
  s.x3dAudioInitialize = (X3DAUDIO_INITIALIZE_FN)(void*)Find(s.x3dAudioModule, "X3DAudioInitialize");
  s.x3dAudioCalculate = (X3DAUDIO_CALCULATE_FN)(void*)Find(s.x3dAudioModule, "X3DAudioCalculate");
  hr = E_FAIL;
  if (HasAudioRenderEndpoint())
    hr = engine->CreateMasteringVoice(&s.masteringVoice27, 0, (uint32_t)s.outputSampleRate, 0, 0, nullptr);
  if (FAILED(hr)) {
    s.masteringVoice27 = nullptr;
    WriteLogText(kMasteringFailed);
    ClearX3DAudio();
    ReleaseDevice();
    return SOUND_BACKEND_FALL_BACK;
  }
  for (int i = 0; i < SOUND_REVERB_PRESET_COUNT; i++)
    ConvertI3DL2ToNativeReverb27(&SoundReverbPresets[i], &s.reverb27[i]);
  return SOUND_BACKEND_READY;
}

int CountMaskBits(uint32_t mask) {
  int count = 0;
  for (int bit = 0; bit < 32; bit++) count += (mask >> bit) & 1;
  return count;
}
}  // namespace

int SetUpXAudio2() {
  WriteLogText("XAudio2 の初期化を行います\n");
  IndentLog();
  HMODULE module = SoundModuleCalls.loadLibrary("XAudio2_8.dll");
  return module != nullptr ? SetUpVersion28(module) : SetUpVersion27();
}

void FinishXAudio2SetUp() {
  SOUND_SYSTEM_STATE& s = SoundSystem;
  if (IsXAudio28Running()) {
    DWORD mask = 0;
    s.masteringVoice28->GetChannelMask(&mask);
    s.outputChannelMask = mask;
    s.outputChannelCount = CountMaskBits(mask);
  } else {
    XAUDIO2_DEVICE_DETAILS details = {};
    static_cast<K_IXAudio2_27*>(s.device)->GetDeviceDetails(0, &details);
    IndentLog();
    AddLogLineFormatW(L"デバイス名：%ls", details.DisplayName);
    AddLogLineFormat("チャンネル数:%d", details.OutputFormat.Format.nChannels);
    AddLogLineFormat("ビット精度:%dbit", details.OutputFormat.Format.wBitsPerSample);
    AddLogLineFormat("サンプリングレート:%dHz", (int)details.OutputFormat.Format.nSamplesPerSec);
    UnindentLog();
    s.outputChannelMask = details.OutputFormat.dwChannelMask;
    s.outputChannelCount = details.OutputFormat.Format.nChannels;
  }
  if (s.x3dAudioInitialize != nullptr) s.x3dAudioInitialize(s.outputChannelMask, X3DAUDIO_SPEED_OF_SOUND, s.x3dHandle);
}

void ShutDownXAudio2() {
  SOUND_SYSTEM_STATE& s = SoundSystem;
  if (s.masteringVoice27 != nullptr) s.masteringVoice27->DestroyVoice();
  s.masteringVoice27 = nullptr;
  if (s.masteringVoice28 != nullptr) s.masteringVoice28->DestroyVoice();
  s.masteringVoice28 = nullptr;
  ReleaseDevice();
  if (s.xaudio28Module != nullptr) {
    SoundModuleCalls.freeLibrary(s.xaudio28Module);
    s.xaudio28Module = nullptr;
    s.xaudio2Create = nullptr;
    s.createAudioVolumeMeter = nullptr;
    s.createAudioReverb = nullptr;
    s.x3dAudioInitialize = nullptr;
    s.x3dAudioCalculate = nullptr;
  }
  ClearX3DAudio();
}
