// The library's own declarations of the XAudio2 interfaces it calls, for version 2.7 (a COM
// class) and 2.8 ("XAudio2_8.dll"). Both versions share the voice interfaces up to the
// methods used here and the buffer, send and effect-chain records; the engine interface
// differs (2.7 has the device list and Initialize, 2.8 names its device by id and takes a
// stream category). All XAudio2 records are tightly packed on both pointer sizes.
#pragma once
#include "sound/sound_platform.h"
#include <unknwn.h>

#include <cstdint>

enum : uint32_t {
  XAUDIO2_COMMIT_NOW = 0,
  XAUDIO2_ANY_PROCESSOR = 0xFFFFFFFFu,
  XAUDIO2_SEND_USEFILTER = 0x80,
  XAUDIO2_AUDIO_CATEGORY_GAME_EFFECTS = 6,  // AudioCategory_GameEffects
};

#pragma pack(push, 1)
struct XAUDIO2_BUFFER {
  uint32_t Flags;
  uint32_t AudioBytes;
  const BYTE* pAudioData;
  uint32_t PlayBegin;
  uint32_t PlayLength;
  uint32_t LoopBegin;
  uint32_t LoopLength;
  uint32_t LoopCount;
  void* pContext;
};

namespace Korvel {
struct K_IXAudio2Voice;
}
struct XAUDIO2_SEND_DESCRIPTOR {
  uint32_t Flags;
  Korvel::K_IXAudio2Voice* pOutputVoice;
};
struct XAUDIO2_VOICE_SENDS {
  uint32_t SendCount;
  XAUDIO2_SEND_DESCRIPTOR* pSends;
};
struct XAUDIO2_EFFECT_DESCRIPTOR {
  IUnknown* pEffect;
  BOOL InitialState;
  uint32_t OutputChannels;
};
struct XAUDIO2_EFFECT_CHAIN {
  uint32_t EffectCount;
  XAUDIO2_EFFECT_DESCRIPTOR* pEffectDescriptors;
};

// A voice's filter, or the filter of one of its sends (type 0: low pass).
struct XAUDIO2_FILTER_PARAMETERS {
  uint32_t Type;
  float Frequency;  // 2 x sin(pi x cut-off / sample rate)
  float OneOverQ;
};
enum : uint32_t { XAUDIO2_LOW_PASS_FILTER = 0 };

// Version 2.7's description of an output device (GetDeviceDetails).
struct XAUDIO2_DEVICE_DETAILS {
  WCHAR DeviceID[256];
  WCHAR DisplayName[256];
  uint32_t Role;
  WAVEFORMATEXTENSIBLE OutputFormat;
};

// The native reverb parameters: 52 bytes in 2.7; 2.8 adds the late-field switch (56 bytes).
struct XAUDIO2FX_REVERB_PARAMETERS27 {
  float WetDryMix;
  uint32_t ReflectionsDelay;
  BYTE ReverbDelay;
  BYTE RearDelay;
  BYTE PositionLeft;
  BYTE PositionRight;
  BYTE PositionMatrixLeft;
  BYTE PositionMatrixRight;
  BYTE EarlyDiffusion;
  BYTE LateDiffusion;
  BYTE LowEQGain;
  BYTE LowEQCutoff;
  BYTE HighEQGain;
  BYTE HighEQCutoff;
  float RoomFilterFreq;
  float RoomFilterMain;
  float RoomFilterHF;
  float ReflectionsGain;
  float ReverbGain;
  float DecayTime;
  float Density;
  float RoomSize;
};
struct XAUDIO2FX_REVERB_PARAMETERS28 {
  XAUDIO2FX_REVERB_PARAMETERS27 common;
  BOOL DisableLateField;
};

// One I3DL2 environment (levels in 1/100 dB, times in seconds, percentages, Hz).
struct XAUDIO2FX_REVERB_I3DL2_PARAMETERS {
  float WetDryMix;
  int32_t Room;
  int32_t RoomHF;
  float RoomRolloffFactor;
  float DecayTime;
  float DecayHFRatio;
  int32_t Reflections;
  float ReflectionsDelay;
  int32_t Reverb;
  float ReverbDelay;
  float Diffusion;
  float Density;
  float HFReference;
};
#pragma pack(pop)

static_assert(sizeof(XAUDIO2FX_REVERB_PARAMETERS27) == 52, "2.7 reverb layout");
static_assert(sizeof(XAUDIO2FX_REVERB_PARAMETERS28) == 56, "2.8 reverb layout");
static_assert(sizeof(XAUDIO2_BUFFER) == 28 + 2 * sizeof(void*), "packed buffer record");
static_assert(sizeof(XAUDIO2_DEVICE_DETAILS) == 1068, "2.7 device details");
static_assert(sizeof(XAUDIO2_FILTER_PARAMETERS) == 12, "filter parameters");

namespace Korvel {
// The voice interfaces (no IUnknown); the slots up to DestroyVoice are the same in 2.7 and 2.8.
struct K_IXAudio2Voice {
  virtual void STDMETHODCALLTYPE GetVoiceDetails(void* details) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetOutputVoices(const XAUDIO2_VOICE_SENDS* sends) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetEffectChain(const XAUDIO2_EFFECT_CHAIN* chain) = 0;
  virtual HRESULT STDMETHODCALLTYPE EnableEffect(uint32_t index, uint32_t operationSet) = 0;
  virtual HRESULT STDMETHODCALLTYPE DisableEffect(uint32_t index, uint32_t operationSet) = 0;
  virtual void STDMETHODCALLTYPE GetEffectState(uint32_t index, BOOL* enabled) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetEffectParameters(uint32_t index, const void* parameters, uint32_t bytes,
                                                         uint32_t operationSet) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetEffectParameters(uint32_t index, void* parameters, uint32_t bytes) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetFilterParameters(const void* parameters, uint32_t operationSet) = 0;
  virtual void STDMETHODCALLTYPE GetFilterParameters(void* parameters) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetOutputFilterParameters(K_IXAudio2Voice* destination, const void* parameters,
                                                               uint32_t operationSet) = 0;
  virtual void STDMETHODCALLTYPE GetOutputFilterParameters(K_IXAudio2Voice* destination, void* parameters) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetVolume(float volume, uint32_t operationSet) = 0;
  virtual void STDMETHODCALLTYPE GetVolume(float* volume) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetChannelVolumes(uint32_t channels, const float* volumes,
                                                       uint32_t operationSet) = 0;
  virtual void STDMETHODCALLTYPE GetChannelVolumes(uint32_t channels, float* volumes) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetOutputMatrix(K_IXAudio2Voice* destination, uint32_t sourceChannels,
                                                     uint32_t destinationChannels, const float* matrix,
                                                     uint32_t operationSet) = 0;
  virtual void STDMETHODCALLTYPE GetOutputMatrix(K_IXAudio2Voice* destination, uint32_t sourceChannels,
                                                 uint32_t destinationChannels, float* matrix) = 0;
  virtual void STDMETHODCALLTYPE DestroyVoice() = 0;
};

// The source voice up to SetFrequencyRatio; GetState is not called (2.8 gave it a second
// argument), and 2.8's SetSourceSampleRate follows the last slot declared here.
struct K_IXAudio2SourceVoice : K_IXAudio2Voice {
  virtual HRESULT STDMETHODCALLTYPE Start(uint32_t flags, uint32_t operationSet) = 0;
  virtual HRESULT STDMETHODCALLTYPE Stop(uint32_t flags, uint32_t operationSet) = 0;
  virtual HRESULT STDMETHODCALLTYPE SubmitSourceBuffer(const XAUDIO2_BUFFER* buffer, const void* wmaBuffer) = 0;
  virtual HRESULT STDMETHODCALLTYPE FlushSourceBuffers() = 0;
  virtual HRESULT STDMETHODCALLTYPE Discontinuity() = 0;
  virtual HRESULT STDMETHODCALLTYPE ExitLoop(uint32_t operationSet) = 0;
  virtual void STDMETHODCALLTYPE GetStateNotCalled() = 0;
  virtual HRESULT STDMETHODCALLTYPE SetFrequencyRatio(float ratio, uint32_t operationSet) = 0;
};

struct K_IXAudio2SubmixVoice : K_IXAudio2Voice {};

// 2.8's mastering voice adds the speaker mask of its device.
struct K_IXAudio2MasteringVoice : K_IXAudio2Voice {
  virtual void STDMETHODCALLTYPE GetChannelMask(DWORD* mask) = 0;
};

// XAudio2 calls these on its processing thread; the same seven slots in 2.7 and 2.8.
struct K_IXAudio2VoiceCallback {
  virtual void STDMETHODCALLTYPE OnVoiceProcessingPassStart(uint32_t bytesRequired) = 0;
  virtual void STDMETHODCALLTYPE OnVoiceProcessingPassEnd() = 0;
  virtual void STDMETHODCALLTYPE OnStreamEnd() = 0;
  virtual void STDMETHODCALLTYPE OnBufferStart(void* context) = 0;
  virtual void STDMETHODCALLTYPE OnBufferEnd(void* context) = 0;
  virtual void STDMETHODCALLTYPE OnLoopEnd(void* context) = 0;
  virtual void STDMETHODCALLTYPE OnVoiceError(void* context, HRESULT error) = 0;
};

// The slots the two engine versions open with: 2.7 lists and initialises its devices first.
struct K_IXAudio2_27Head : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE GetDeviceCount(uint32_t* count) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetDeviceDetails(uint32_t index, XAUDIO2_DEVICE_DETAILS* details) = 0;
  virtual HRESULT STDMETHODCALLTYPE Initialize(uint32_t flags, uint32_t processor) = 0;
  virtual HRESULT STDMETHODCALLTYPE RegisterForCallbacks(void* callback) = 0;
  virtual void STDMETHODCALLTYPE UnregisterForCallbacks(void* callback) = 0;
};
struct K_IXAudio2_28Head : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE RegisterForCallbacks(void* callback) = 0;
  virtual void STDMETHODCALLTYPE UnregisterForCallbacks(void* callback) = 0;
};

// The voice makers, the same in both versions, following their opening slots.
template <class Head>
struct K_IXAudio2Engine : Head {
  virtual HRESULT STDMETHODCALLTYPE CreateSourceVoice(K_IXAudio2SourceVoice** voice, const WAVEFORMATEX* format,
                                                       uint32_t flags, float maxFrequencyRatio,
                                                       K_IXAudio2VoiceCallback* callback,
                                                       const XAUDIO2_VOICE_SENDS* sends,
                                                       const XAUDIO2_EFFECT_CHAIN* effects) = 0;
  virtual HRESULT STDMETHODCALLTYPE CreateSubmixVoice(K_IXAudio2SubmixVoice** voice, uint32_t channels,
                                                       uint32_t sampleRate, uint32_t flags, uint32_t stage,
                                                       const XAUDIO2_VOICE_SENDS* sends,
                                                       const XAUDIO2_EFFECT_CHAIN* effects) = 0;
};

// The engine of version 2.7 (made by CoCreateInstance, then Initialize): its mastering voice
// takes a device index.
struct K_IXAudio2_27 : K_IXAudio2Engine<K_IXAudio2_27Head> {
  virtual HRESULT STDMETHODCALLTYPE CreateMasteringVoice(K_IXAudio2MasteringVoice** voice, uint32_t channels,
                                                          uint32_t sampleRate, uint32_t flags, uint32_t deviceIndex,
                                                          const XAUDIO2_EFFECT_CHAIN* effects) = 0;
};

// The engine of version 2.8 (made by the DLL's XAudio2Create): its mastering voice takes a
// device id and a stream category.
struct K_IXAudio2_28 : K_IXAudio2Engine<K_IXAudio2_28Head> {
  virtual HRESULT STDMETHODCALLTYPE CreateMasteringVoice(K_IXAudio2MasteringVoice** voice, uint32_t channels,
                                                          uint32_t sampleRate, uint32_t flags, const WCHAR* deviceId,
                                                          const XAUDIO2_EFFECT_CHAIN* effects,
                                                          uint32_t streamCategory) = 0;
};

}  // namespace Korvel

// Entry points of "XAudio2_8.dll" (XAudio2Create and the effect creators are WINAPI; the
// X3DAudio functions, there and in "X3DAudio1_7.dll", are cdecl).
typedef HRESULT(WINAPI* XAUDIO2_CREATE_FN)(Korvel::K_IXAudio2_28** engine, uint32_t flags, uint32_t processor);
typedef HRESULT(WINAPI* XAUDIO2_CREATE_EFFECT_FN)(IUnknown** effect);

// Class and interface ids of version 2.7.
extern const GUID CLSID_K_XAudio2_27;
extern const GUID CLSID_K_XAudio2_27_Debug;
extern const GUID IID_K_IXAudio2_27;
extern const GUID CLSID_K_AudioReverb_27;
