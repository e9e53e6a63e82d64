// Frequency, volume, pan and position of a sound buffer, and the XAudio2 voice callback that
// submits the buffer's PCM in pieces of at most a sixtieth of a second.
#include "sound/sound_platform.h"
#include <dsound.h>

#include "core/strings.h"
#include "sound/sound_buffer.h"
#include "sound/sound_buffer_backend.h"
#include "sound/sound_system.h"

using Korvel::K_IXAudio2SourceVoice;

namespace {
const int kVolumeMin = -10000;
const int kPanLimit = 10000;
const int kSoftStepMax = 256;
const int kPiecesPerSecond = 60;

int Clamp(int value, int low, int high) { return value < low ? low : (value > high ? high : value); }

int SoftVolumeStep(int volume) {
  if (volume <= kVolumeMin) return 0;
  if (volume >= 0) return kSoftStepMax;
  return TruncDoubleToInt(kSoftStepMax * PowFloat(10.0f, volume / 1000.0f) / 0.9999999999);
}

int SoftPanStep(int pan) { return TruncDoubleToInt((double)pan * kSoftStepMax / kPanLimit); }

// Volume and pan end alike: pan only lowers the far side; a mono voice takes the left value.
int ApplyVolumeAndPan(SOUNDBUFFER* b) {
  if (SoftwareMode()) {
    b->softVolume = SoftVolumeStep(b->volume);
    b->softPan = SoftPanStep(b->pan);
    return 0;
  }
  float gain = DecibelsToGain(b->volume / 100.0f);
  float left = gain, right = gain;
  if (b->pan < 0) right = gain * DecibelsToGain(b->pan / 100.0f);
  if (b->pan > 0) left = gain * DecibelsToGain(-b->pan / 100.0f);
  float volumes[2] = {left, right};
  uint32_t channels = b->format.nChannels < 2 ? 1 : 2;
  return FAILED(Voice(b)->SetChannelVolumes(channels, volumes, XAUDIO2_COMMIT_NOW)) ? -1 : 0;
}
}  // namespace

float DecibelsToGain(float decibels) { return PowFloat(10.0f, decibels / 20.0f); }

int SetSoundBufferFrequency(SOUNDBUFFER* b, int hz) {
  if (!b->valid) return -1;
  b->frequency = hz == 0 ? -1 : hz;
  if (SoftwareMode()) return 0;
  if (XAudio2()) {
    float ratio = hz == 0 ? 1.0f : (float)((double)(uint32_t)hz / (double)(uint32_t)b->format.nSamplesPerSec);
    return FAILED(Voice(b)->SetFrequencyRatio(ratio, XAUDIO2_COMMIT_NOW)) ? -1 : 0;
  }
  return FAILED(DsBuffer(b)->SetFrequency((DWORD)hz)) ? -1 : 0;
}

int SetSoundBufferVolume(SOUNDBUFFER* b, int volume) {
  if (!b->valid) return -1;
  b->volume = Clamp(volume, kVolumeMin, 0);
  if (!SoftwareMode() && !XAudio2()) return FAILED(DsBuffer(b)->SetVolume(b->volume)) ? -1 : 0;
  return ApplyVolumeAndPan(b);
}

int SetSoundBufferPan(SOUNDBUFFER* b, int pan) {
  if (!b->valid) return -1;
  b->pan = Clamp(pan, -kPanLimit, kPanLimit);
  if (!SoftwareMode() && !XAudio2()) return FAILED(DsBuffer(b)->SetPan(b->pan)) ? -1 : 0;
  return ApplyVolumeAndPan(b);
}

int GetSoundBufferPosition(SOUNDBUFFER* b, uint32_t* play, uint32_t* write) {
  if (!b->valid) return -1;
  if (!SoftwareMode() && !XAudio2()) {
    DWORD p = 0, w = 0;
    if (FAILED(DsBuffer(b)->GetCurrentPosition(&p, &w))) return -1;
    if (play != nullptr) *play = p;
    if (write != nullptr) *write = w;
    return 0;
  }
  uint32_t bytes = (uint32_t)b->playedPos * b->format.nBlockAlign;
  if (play != nullptr) *play = bytes;
  if (write != nullptr) *write = bytes;
  return 0;
}

int SetSoundBufferPosition(SOUNDBUFFER* b, uint32_t bytes) {
  if (!b->valid) return -1;
  if (!SoftwareMode() && !XAudio2()) return FAILED(DsBuffer(b)->SetCurrentPosition(bytes)) ? -1 : 0;
  int frames = b->format.nBlockAlign != 0 ? (int)(bytes / b->format.nBlockAlign) : 0;
  b->playedPos = b->submittedPos = frames;
  if (XAudio2()) {
    Voice(b)->FlushSourceBuffers();
    b->ended = 0;
  }
  return 0;
}

namespace Korvel {
void STDMETHODCALLTYPE SOUNDBUFFER_CALLBACK::OnVoiceProcessingPassStart(uint32_t bytesRequired) {
  SOUNDBUFFER* b = buffer;
  uint32_t align = b->format.nBlockAlign;
  if (align == 0 || b->pcmBlock == nullptr) return;
  int pos = b->submittedPos;
  int limit = (int)(b->format.nSamplesPerSec / kPiecesPerSecond);
  uint32_t total = 0;
  while (total < bytesRequired) {
    if (pos >= b->length) {
      if (!b->loop) {
        // Like a DirectSound buffer, a voice that played to its end stands at its start.
        StopSoundBuffer(b);
        b->ended = 1;
        b->playedPos = 0;
        pos = 0;
        break;
      }
      pos = 0;
    }
    int frames = b->length - pos < limit ? b->length - pos : limit;
    uint32_t bytes = (uint32_t)frames * align;
    if (bytes > bytesRequired) {
      frames = (int)(bytesRequired / align);
      bytes = (uint32_t)frames * align;
    }
    // A request smaller than one frame (or a rate below sixty frames a second) submits nothing.
    if (frames <= 0) break;
    XAUDIO2_BUFFER piece = {};
    piece.AudioBytes = bytes;
    piece.pAudioData = b->pcmBlock->data + (size_t)pos * align;
    piece.pContext = b;
    static_cast<K_IXAudio2SourceVoice*>(b->deviceBuffer)->SubmitSourceBuffer(&piece, nullptr);
    total += bytes;
    pos += frames;
  }
  b->submittedPos = pos;
}

void STDMETHODCALLTYPE SOUNDBUFFER_CALLBACK::OnBufferEnd(void* context) {
  SOUNDBUFFER* b = static_cast<SOUNDBUFFER*>(context);
  b->playedPos = b->submittedPos;
}
}  // namespace Korvel
