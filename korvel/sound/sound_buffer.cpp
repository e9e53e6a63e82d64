// Sound buffer set-up, release, play, stop, status and locks on the three back-end modes.
#include "sound/sound_buffer.h"

#include "sound/sound_platform.h"
#include <dsound.h>

#include <cstring>

#include "core/memory.h"
#include "sound/sound_buffer_backend.h"
#include "sound/sound_system.h"

using Korvel::K_IXAudio2_27;
using Korvel::K_IXAudio2_28;
using Korvel::K_IXAudio2SourceVoice;
using Korvel::K_IXAudio2Voice;
using Korvel::SOUNDBUFFER_CALLBACK;

namespace {
const float kMaxFrequencyRatio = 2.0f;
const GUID kInterfaceUnknown = {0x00000000, 0x0000, 0x0000, {0xc0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
const int kPcmBlockAlign = 16;

// The voice makers of whichever engine version runs.
template <class Engine>
HRESULT CreateVoices(Engine* engine, K_IXAudio2SourceVoice** source, const WAVEFORMATEX* format,
                     SOUNDBUFFER_CALLBACK* callback, const XAUDIO2_VOICE_SENDS* sends,
                     Korvel::K_IXAudio2SubmixVoice** submix, int channels, const XAUDIO2_EFFECT_CHAIN* chain) {
  if (source != nullptr) return engine->CreateSourceVoice(source, format, 0, kMaxFrequencyRatio, callback, sends, nullptr);
  return engine->CreateSubmixVoice(submix, channels, (uint32_t)SoundSystem.outputSampleRate, 0, 0, nullptr, chain);
}

HRESULT CreateVoice(K_IXAudio2SourceVoice** source, const WAVEFORMATEX* format, SOUNDBUFFER_CALLBACK* callback,
                    const XAUDIO2_VOICE_SENDS* sends, Korvel::K_IXAudio2SubmixVoice** submix, int channels,
                    const XAUDIO2_EFFECT_CHAIN* chain) {
  if (IsXAudio28Running())
    return CreateVoices(static_cast<K_IXAudio2_28*>(SoundSystem.device), source, format, callback, sends, submix,
                        channels, chain);
  return CreateVoices(static_cast<K_IXAudio2_27*>(SoundSystem.device), source, format, callback, sends, submix,
                      channels, chain);
}

// The reverb of a 3D buffer: the effect object inside a submix voice set to the Forest preset.
int MakeReverbSubmix(SOUNDBUFFER* b, const WAVEFORMATEX* format) {
  HRESULT hr = E_FAIL;
  if (IsXAudio28Running()) {
    if (SoundSystem.createAudioReverb != nullptr) hr = SoundSystem.createAudioReverb(&b->reverbEffect);
  } else {
    hr = CreateSoundComObject(CLSID_K_AudioReverb_27, CLSCTX_INPROC_SERVER, kInterfaceUnknown,
                              reinterpret_cast<void**>(&b->reverbEffect));
  }
  if (FAILED(hr) || b->reverbEffect == nullptr) return -1;
  XAUDIO2_EFFECT_DESCRIPTOR effect = {b->reverbEffect, TRUE, format->nChannels};
  XAUDIO2_EFFECT_CHAIN chain = {1, &effect};
  if (FAILED(CreateVoice(nullptr, nullptr, nullptr, nullptr, &b->submixVoice, format->nChannels, &chain)) ||
      b->submixVoice == nullptr)
    return -1;
  hr = IsXAudio28Running()
           ? b->submixVoice->SetEffectParameters(0, &SoundSystem.reverb28[0], sizeof(XAUDIO2FX_REVERB_PARAMETERS28),
                                                 XAUDIO2_COMMIT_NOW)
           : b->submixVoice->SetEffectParameters(0, &SoundSystem.reverb27[0], sizeof(XAUDIO2FX_REVERB_PARAMETERS27),
                                                 XAUDIO2_COMMIT_NOW);
  return FAILED(hr) ? -1 : 0;
}

// Takes the source's block (one more reference) or makes a new one.
int AttachPcmBlock(SOUNDBUFFER* b, SOUNDBUFFER* source, const DSBUFFERDESC* desc) {
  if (source != nullptr) {
    b->pcmBlock = source->pcmBlock;
    if (b->pcmBlock == nullptr) return -1;
    b->pcmBlock->references++;
    return 0;
  }
  b->pcmBlock = NewSoundPcmBlock((int)desc->dwBufferBytes);
  return b->pcmBlock != nullptr ? 0 : -1;
}

int SetUpXAudio2Voice(SOUNDBUFFER* b, const WAVEFORMATEX* format, SOUNDBUFFER* source, const DSBUFFERDESC* desc,
                      int is3D) {
  if (is3D && MakeReverbSubmix(b, format) < 0) return -1;
  if (AttachPcmBlock(b, source, desc) < 0) return -1;
  b->callback = new SOUNDBUFFER_CALLBACK(b);
  XAUDIO2_SEND_DESCRIPTOR sends[2] = {
      {XAUDIO2_SEND_USEFILTER, IsXAudio28Running() ? SoundSystem.masteringVoice28 : SoundSystem.masteringVoice27},
      {XAUDIO2_SEND_USEFILTER, b->submixVoice}};
  XAUDIO2_VOICE_SENDS sendList = {2, sends};
  K_IXAudio2SourceVoice* voice = nullptr;
  if (FAILED(CreateVoice(&voice, format, b->callback, is3D ? &sendList : nullptr, nullptr, 0, nullptr)) ||
      voice == nullptr)
    return -1;
  b->deviceBuffer = voice;
  return 0;
}

// Releases whatever the buffer holds on its back-end and its PCM reference.
void ReleaseParts(SOUNDBUFFER* b) {
  if (XAudio2()) {
    if (b->deviceBuffer != nullptr) Voice(b)->DestroyVoice();
    if (b->submixVoice != nullptr) b->submixVoice->DestroyVoice();
    delete b->callback;
    // The submix voice held its own reference to the effect.
    if (b->reverbEffect != nullptr) b->reverbEffect->Release();
  } else if (!SoftwareMode() && b->deviceBuffer != nullptr) {
    DsBuffer(b)->Release();
  }
  ReleaseSoundPcmBlock(b->pcmBlock);
  b->deviceBuffer = nullptr;
  b->submixVoice = nullptr;
  b->reverbEffect = nullptr;
  b->callback = nullptr;
  b->pcmBlock = nullptr;
}
}  // namespace

SOUND_PCM_BLOCK* NewSoundPcmBlock(int size) {
  if (size < 0 || (size_t)size > 0x7FFFFFFF - sizeof(SOUND_PCM_BLOCK) - kPcmBlockAlign) return nullptr;
  uint8_t* raw = static_cast<uint8_t*>(AllocTracked(size + sizeof(SOUND_PCM_BLOCK) + kPcmBlockAlign, "", 0));
  if (raw == nullptr) return nullptr;
  SOUND_PCM_BLOCK* block = reinterpret_cast<SOUND_PCM_BLOCK*>(raw);
  uintptr_t data = ((uintptr_t)raw + sizeof(SOUND_PCM_BLOCK) + kPcmBlockAlign - 1) & ~(uintptr_t)(kPcmBlockAlign - 1);
  block->data = reinterpret_cast<uint8_t*>(data);
  block->size = size;
  block->references = 1;
  return block;
}

void ReleaseSoundPcmBlock(SOUND_PCM_BLOCK* block) {
  if (block == nullptr) return;
  if (--block->references == 0) FreeTracked(block);
}

int SetUpSoundBuffer(SOUNDBUFFER* b, const DSBUFFERDESC* desc, SOUNDBUFFER* source, int is3D) {
  if (b->valid) return -1;
  b->pcmBlock = nullptr;
  b->deviceBuffer = nullptr;
  b->submixVoice = nullptr;
  b->reverbEffect = nullptr;
  b->callback = nullptr;
  const WAVEFORMATEX* format = source != nullptr ? &source->format : (desc != nullptr ? desc->lpwfxFormat : nullptr);
  int result = -1;
  if (format != nullptr && (source != nullptr || desc != nullptr)) {
    if (SoftwareMode()) {
      result = AttachPcmBlock(b, source, desc);
    } else if (XAudio2()) {
      result = SetUpXAudio2Voice(b, format, source, desc, is3D);
    } else if (desc != nullptr) {
      IDirectSoundBuffer* buffer = nullptr;
      result = SUCCEEDED(DirectSoundDevice()->CreateSoundBuffer(desc, &buffer, nullptr)) && buffer ? 0 : -1;
      b->deviceBuffer = buffer;
    }
  }
  if (result < 0) {
    ReleaseParts(b);
    return -1;
  }
  b->playing = b->playedPos = b->submittedPos = b->loop = b->ended = 0;
  if (source != nullptr) {
    b->pan = source->pan;
    b->volume = source->volume;
    b->frequency = source->frequency;
    b->length = source->length;
  } else {
    b->pan = 0;
    b->volume = 0;
    b->frequency = -1;
    b->length = format->nBlockAlign != 0 ? (int32_t)(desc->dwBufferBytes / format->nBlockAlign) : 0;
  }
  memcpy(&b->format, format, sizeof(WAVEFORMATEX));
  b->valid = 1;
  return 0;
}

int ReleaseSoundBuffer(SOUNDBUFFER* b) {
  if (!b->valid) return -1;
  ReleaseParts(b);
  b->valid = 0;
  return 0;
}

int PlaySoundBuffer(SOUNDBUFFER* b, int loop) {
  if (!b->valid) return -1;
  b->loop = loop;
  if (SoftwareMode()) {
    b->playing = 1;
    return 0;
  }
  if (XAudio2()) {
    // A voice that ran to its end starts over from the first frame, with nothing of the old
    // pass left queued.
    if (b->ended) {
      Voice(b)->FlushSourceBuffers();
      b->playedPos = b->submittedPos = 0;
      b->ended = 0;
    }
    b->playing = 1;
    return FAILED(Voice(b)->Start(0, XAUDIO2_COMMIT_NOW)) ? -1 : 0;
  }
  return (int)DsBuffer(b)->Play(0, 0, loop ? DSBPLAY_LOOPING : 0);
}

int StopSoundBuffer(SOUNDBUFFER* b) {
  if (!b->valid) return -1;
  if (SoftwareMode()) {
    b->playing = 0;
  } else if (XAudio2()) {
    Voice(b)->Stop(0, XAUDIO2_COMMIT_NOW);
    b->playing = 0;
  } else {
    DsBuffer(b)->Stop();
  }
  return 0;
}

int GetSoundBufferStatus(SOUNDBUFFER* b, uint32_t* status) {
  if (!b->valid) return -1;
  if (!SoftwareMode() && !XAudio2()) {
    DWORD value = 0;
    if (FAILED(DsBuffer(b)->GetStatus(&value))) return -1;
    if (status != nullptr) *status = value;
    return 0;
  }
  if (status != nullptr) *status = b->playing ? 1 : 0;
  return 0;
}

int LockSoundBuffer(SOUNDBUFFER* b, uint32_t offset, uint32_t count, void** region1, uint32_t* size1, void** region2,
                    uint32_t* size2) {
  if (!b->valid) return -1;
  if (!SoftwareMode() && !XAudio2()) {
    DWORD s1 = 0, s2 = 0;
    if (FAILED(DsBuffer(b)->Lock(offset, count, region1, &s1, region2, &s2, 0))) return -1;
    *size1 = s1;
    *size2 = s2;
    return 0;
  }
  // The block's own memory is handed out (XAudio2 may read it meanwhile); a range past the
  // end wraps to the start.
  uint32_t total = (uint32_t)b->length * b->format.nBlockAlign;
  if (b->pcmBlock == nullptr || offset >= total || count > total) return -1;
  uint8_t* data = b->pcmBlock->data;
  *region1 = data + offset;
  if (offset + count <= total) {
    *size1 = count;
    *region2 = nullptr;
    *size2 = 0;
  } else {
    *size1 = total - offset;
    *region2 = data;
    *size2 = count - *size1;
  }
  return 0;
}

int UnlockSoundBuffer(SOUNDBUFFER* b, void* region1, uint32_t size1, void* region2, uint32_t size2) {
  if (!b->valid) return -1;
  if (!SoftwareMode() && !XAudio2() && FAILED(DsBuffer(b)->Unlock(region1, size1, region2, size2))) return -1;
  return 0;
}
