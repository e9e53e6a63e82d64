// The sound system: the one back-end that plays PCM (XAudio2 2.8, XAudio2 2.7 with X3DAudio,
// or DirectSound; DirectSound under DirectMusic in the DirectMusic MIDI mode), the sound
// handle types, the node lists of 3D sounds, streams and players, the 3D defaults and the
// sound thread. Set up by the library start-up, shut down by the library end.
#pragma once
#include "sound/sound_platform.h"

#include <cstdint>

#include "core/handles.h"
#include "sound/x3daudio_types.h"
#include "sound/xaudio2_layer.h"

struct IDirectSound;
struct IDirectSoundBuffer;
struct IDirectMusicLoader8;
struct IDirectMusicPerformance8;

enum {
  SOUND_REVERB_PRESET_COUNT = 30,
  SOUND_MAX_HANDLES = 0x8000,
  SOFT_SOUND_MAX_HANDLES = 0x2000,
  MUSIC_MAX_HANDLES = 256,
  SOUND_DEFAULT_SAMPLE_RATE = 44100,
};

// The DirectSound 3D listener model: position, orientation and cone.
struct SOUND_3D_LISTENER {
  X3DAUDIO_VECTOR position;
  X3DAUDIO_VECTOR front;
  float innerAngle;
  float outerAngle;
  float innerGain;
  float outerGain;
  X3DAUDIO_VECTOR right;
};

// Defaults read by FillSoundLoadDefaults.
struct SOUND_LOAD_DEFAULTS {
  int streamKind;
  int disableBits;
  int oggBytesPerSample;
  int vorbisSelector;
};

struct SOUND_SYSTEM_STATE {
  int started;
  IDirectMusicLoader8* dmLoader;
  IDirectMusicPerformance8* dmPerformance;
  HMODULE xaudio28Module;
  XAUDIO2_CREATE_FN xaudio2Create;
  XAUDIO2_CREATE_EFFECT_FN createAudioVolumeMeter;
  XAUDIO2_CREATE_EFFECT_FN createAudioReverb;
  HMODULE x3dAudioModule;
  X3DAUDIO_INITIALIZE_FN x3dAudioInitialize;
  X3DAUDIO_CALCULATE_FN x3dAudioCalculate;
  // K_IXAudio2_28, K_IXAudio2_27 or IDirectSound; SOUND_SOFTWARE_DEVICE in software mode;
  // null when no back-end runs.
  void* device;
  XAUDIO2FX_REVERB_PARAMETERS27 reverb27[SOUND_REVERB_PRESET_COUNT];
  XAUDIO2FX_REVERB_PARAMETERS28 reverb28[SOUND_REVERB_PRESET_COUNT];
  Korvel::K_IXAudio2MasteringVoice* masteringVoice27;  // its GetChannelMask slot is not there in 2.7
  Korvel::K_IXAudio2MasteringVoice* masteringVoice28;
  uint32_t outputChannelMask;
  int outputChannelCount;
  int outputSampleRate;
  uint8_t x3dHandle[X3DAUDIO_HANDLE_BYTES];
  X3DAUDIO_CONE listenerCone;
  X3DAUDIO_LISTENER x3dListener;
  SOUND_3D_LISTENER dsListener;
  IDirectSoundBuffer* primaryBuffer;
  HANDLE_LIST_NODE sound3DHead, sound3DTail;
  HANDLE_LIST_NODE streamHead, streamTail;
  HANDLE_LIST_NODE playerHead, playerTail;
  IDirectSoundBuffer* silentBuffer;
  int useDirectSound;    // 0 XAudio2 first, 1 DirectSound
  int default3D;         // load default of the 3D flag
  int midiMode;          // 0 MCI, 1 DirectMusic
  int softwareLocation;  // 1: DirectSound buffers in software memory
  int softwareMode;      // 1: no device, buffers only keep their state
  SOUND_LOAD_DEFAULTS loadDefaults;
  HANDLE soundThread;
  DWORD soundThreadId;
  volatile LONG soundThreadStop;  // 0 run, 1 stop requested, 2 stopped
  // MIDI through MCI (MIDI mode 0): one device at a time, restarted on its end when looping.
  MCIDEVICEID mciDevice;
  int mciPlaying;
  int mciLoop;
  char midiTempPath[MAX_PATH];  // a MIDI file written for MCI to open
  int midiTempFileExists;
  // The background music: a sound handle (kind 1) or a music handle; 0 when none (no handle
  // value is 0).
  HANDLE_VALUE backgroundMusic;
  int backgroundMusicKind;
  // Sound capture: 16-bit stereo 44100 Hz frames written to the file after room for its
  // WAVE header, which is written when the capture ends.
  int captureOn;
  uint32_t capturedFrames;
  HANDLE captureFile;
};

extern SOUND_SYSTEM_STATE SoundSystem;

// The device value of software mode: no object stands behind it and it is never released.
#define SOUND_SOFTWARE_DEVICE ((void*)(uintptr_t)1)

// The run-time DLL calls of the sound set-up and the converters, replaceable by tests.
struct SOUND_MODULE_CALLS {
  HMODULE(WINAPI* loadLibrary)(LPCSTR name);
  FARPROC(WINAPI* getProcAddress)(HMODULE module, LPCSTR name);
  BOOL(WINAPI* freeLibrary)(HMODULE module);
};
extern SOUND_MODULE_CALLS SoundModuleCalls;
// Null restores the system's own functions.
void SetSoundModuleCalls(const SOUND_MODULE_CALLS* calls);

int SetUpSoundSystem();
int ShutDownSoundSystem();
// Writes the WAVE header of a running capture and closes its file; -1 when none runs.
int EndSoundCapture();

// Back-end steps (one file each).
enum { SOUND_BACKEND_READY = 0, SOUND_BACKEND_FALL_BACK = 1, SOUND_BACKEND_FAILED = -1 };
int SetUpXAudio2();             // READY or FALL_BACK
void FinishXAudio2SetUp();
void ShutDownXAudio2();
int SetUpDirectSound();         // READY or FAILED
void FinishDirectSoundSetUp();
void ShutDownDirectSound();
int SetUpDirectMusic();         // READY, FAILED, or FALL_BACK to DirectSound (MIDI mode 0)
void ShutDownDirectMusic();
BOOL CALLBACK LogDirectSoundDevice(GUID* guid, LPCSTR description, LPCSTR module, LPVOID context);
// The DirectSound device object while that back-end runs.
inline IDirectSound* DirectSoundDevice() { return static_cast<IDirectSound*>(SoundSystem.device); }
// The location of new DirectSound buffers by the software-location switch: DSBCAPS_LOCSOFTWARE
// or DSBCAPS_STATIC.
DWORD DirectSoundLocationFlag();
// 1 when the system has a sound output device (checked before a mastering voice is made).
int HasAudioRenderEndpoint();

// Which XAudio2 is running; both 0 outside the XAudio2 back-end.
int IsXAudio28Running();
int IsXAudio27Running();
// The XAudio2 back-end (not software mode, not DirectSound).
int IsXAudio2Mode();
int IsDirectSoundMode();
// Writes a formatted text to the log as it is (the text carries its own line ends).
int WriteSoundLogFormat(const char* format, ...);
HRESULT CreateSoundComObject(REFCLSID classId, DWORD context, REFIID interfaceId, void** object);

// The 30 I3DL2 presets, Forest first, and their conversion to the native layouts.
extern const XAUDIO2FX_REVERB_I3DL2_PARAMETERS SoundReverbPresets[SOUND_REVERB_PRESET_COUNT];
void ConvertI3DL2ToNativeReverb27(const XAUDIO2FX_REVERB_I3DL2_PARAMETERS* in, XAUDIO2FX_REVERB_PARAMETERS27* out);
void ConvertI3DL2ToNativeReverb28(const XAUDIO2FX_REVERB_I3DL2_PARAMETERS* in, XAUDIO2FX_REVERB_PARAMETERS28* out,
                                  int disableLateField);

// The sound thread: started at the end of set-up on machines with more than one logical
// processor; stopped first at shut-down.
int StartSoundThread();
int StopSoundThread();
// The per-frame refill of streams and soft-sound players by the message pump: only while no
// sound thread runs.
int RefillSoundsFromPump();
