// Sound buffers: one playable piece of PCM on the active back-end (a DirectSound secondary
// buffer, an XAudio2 source voice fed piece by piece from a shared PCM block, or in software
// mode only its state). Volume in 1/100 dB (-10000..0), pan -10000..10000, frequency in Hz
// (0 = the format's own rate); positions in bytes at the interface, in frames inside.
#pragma once
#include "sound/sound_platform.h"

#include <cstdint>

#include "sound/xaudio2_layer.h"

// A reference-counted block of PCM shared by a buffer and its duplicates.
struct SOUND_PCM_BLOCK {
  uint8_t* data;  // 16-byte aligned, inside the same allocation
  int32_t size;
  int32_t references;
};

namespace Korvel {
struct SOUNDBUFFER_CALLBACK;
}

struct SOUNDBUFFER {
  int32_t valid;
  void* deviceBuffer;  // IDirectSoundBuffer or K_IXAudio2SourceVoice; null in software mode
  Korvel::K_IXAudio2SubmixVoice* submixVoice;
  IUnknown* reverbEffect;
  Korvel::SOUNDBUFFER_CALLBACK* callback;
  SOUND_PCM_BLOCK* pcmBlock;
  volatile int32_t playing;
  volatile int32_t playedPos;
  volatile int32_t submittedPos;
  int32_t loop;
  int32_t pan;
  int32_t volume;
  int32_t frequency;  // -1: the format's own rate
  int32_t length;     // frames
  WAVEFORMATEX format;
  int32_t softPan;     // -256..256
  int32_t softVolume;  // 0..256
  // XAudio2: the voice stopped by itself at the end of its data; the next play starts over.
  volatile int32_t ended;
};

namespace Korvel {
// The voice callback of one XAudio2 source voice.
struct SOUNDBUFFER_CALLBACK : K_IXAudio2VoiceCallback {
  SOUNDBUFFER* buffer;
  explicit SOUNDBUFFER_CALLBACK(SOUNDBUFFER* owner) : buffer(owner) {}
  virtual ~SOUNDBUFFER_CALLBACK() {}
  void STDMETHODCALLTYPE OnVoiceProcessingPassStart(uint32_t bytesRequired) override;
  void STDMETHODCALLTYPE OnVoiceProcessingPassEnd() override {}
  void STDMETHODCALLTYPE OnStreamEnd() override {}
  void STDMETHODCALLTYPE OnBufferStart(void*) override {}
  void STDMETHODCALLTYPE OnBufferEnd(void* context) override;
  void STDMETHODCALLTYPE OnLoopEnd(void*) override {}
  void STDMETHODCALLTYPE OnVoiceError(void*, HRESULT) override {}
};
}  // namespace Korvel

struct _DSBUFFERDESC;

int SetUpSoundBuffer(SOUNDBUFFER* buffer, const _DSBUFFERDESC* desc, SOUNDBUFFER* source, int is3D);
int ReleaseSoundBuffer(SOUNDBUFFER* buffer);
int PlaySoundBuffer(SOUNDBUFFER* buffer, int loop);
int StopSoundBuffer(SOUNDBUFFER* buffer);
int GetSoundBufferStatus(SOUNDBUFFER* buffer, uint32_t* status);
int LockSoundBuffer(SOUNDBUFFER* buffer, uint32_t offset, uint32_t count, void** region1, uint32_t* size1,
                    void** region2, uint32_t* size2);
int UnlockSoundBuffer(SOUNDBUFFER* buffer, void* region1, uint32_t size1, void* region2, uint32_t size2);
int SetSoundBufferFrequency(SOUNDBUFFER* buffer, int hz);
int SetSoundBufferPan(SOUNDBUFFER* buffer, int pan);
int SetSoundBufferVolume(SOUNDBUFFER* buffer, int volume);
int GetSoundBufferPosition(SOUNDBUFFER* buffer, uint32_t* play, uint32_t* write);
int SetSoundBufferPosition(SOUNDBUFFER* buffer, uint32_t bytes);
float DecibelsToGain(float decibels);
// 1 when position lies on the ring of buffer positions from first to last, both included; the
// span runs past the ring's end back to its start when last < first.
inline bool OnRingSpan(int first, int last, int position) {
  if (first <= last) return first <= position && position <= last;
  return position >= first || position <= last;
}
SOUND_PCM_BLOCK* NewSoundPcmBlock(int size);
// Drops one reference; the block is freed when none is left.
void ReleaseSoundPcmBlock(SOUND_PCM_BLOCK* block);
