// Playback of sound handles: start (with the cyclic choice among a sound's buffers), stop,
// play time, state, lengths, and the pause of every sound while the window is inactive.
#include "sound/sound_platform.h"
#include <dsound.h>

#include "core/strings.h"
#include "korvel.h"
#include "sound/sound_handles.h"
#include "sound/sound_system.h"
#include "system/base/pump.h"
#include "system/base/window_state.h"

namespace {
// Pumps messages while the sound plays (play type 0).
void WaitUntilSoundEnds(HANDLE_VALUE handle) {
  int pumped = PumpWindowMessages();
  while (pumped == 0 && IsSoundHandlePlaying(handle) == 1) {
    Sleep(1);
    pumped = PumpWindowMessages();
  }
}

SOUND_RECORD* CheckedRecord(HANDLE_VALUE handle) {
  if (SoundSystem.device == nullptr) return nullptr;
  return LookupSoundRecord(handle, 0);
}

// Slot status for the pause: the device's own status or the buffer's playing flag.
int SlotStatus(SOUNDBUFFER* buffer, uint32_t* status) { return GetSoundBufferStatus(buffer, status); }
}  // namespace

int SamplesToMilliseconds(int frames, int rate) {
  UINT128 product;
  MultiplyU64To128((uint64_t)(int64_t)frames, 1000, &product);
  uint64_t quotient = 0;
  DivideU128ByU64(&product, (uint64_t)(int64_t)rate, &quotient);
  return (int)(uint32_t)quotient;
}

void ApplyStartSettings(SOUND_RECORD* r, SOUNDBUFFER* buffer) {
  int volume = r->volume, pan = r->pan, frequency = r->frequency;
  if (r->oneShotVolumeSet) {
    volume = r->oneShotVolume;
    r->oneShotVolumeSet = 0;
  }
  if (r->oneShotPanSet) {
    pan = r->oneShotPan;
    r->oneShotPanSet = 0;
  }
  if (r->oneShotFrequencySet) {
    frequency = r->oneShotFrequency;
    r->oneShotFrequencySet = 0;
  }
  SetSoundBufferVolume(buffer, volume);
  SetSoundBufferPan(buffer, pan);
  SetSoundBufferFrequency(buffer, frequency);
  if (r->is3D) Apply3DSoundParams(r->head.handle, 0);
}

int SelectNextSoundBuffer(SOUND_RECORD* r, int restart) {
  uint32_t position = 0;
  if (r->currentBuffer >= 0 && r->currentBuffer < SOUND_MAX_BUFFERS && r->buffers[r->currentBuffer].valid)
    GetSoundBufferPosition(&r->buffers[r->currentBuffer], &position, nullptr);
  r->currentBuffer++;
  if (r->currentBuffer >= r->bufferCount) r->currentBuffer = 0;
  SOUNDBUFFER* chosen = &r->buffers[r->currentBuffer];
  if (!chosen->valid) return -1;
  uint32_t status = 0;
  if (GetSoundBufferStatus(chosen, &status) < 0) return -1;
  if (status & 1) {
    if (!restart) return 1;
    StopSoundBuffer(chosen);
  }
  SetSoundBufferPosition(chosen, restart == 1 ? 0 : position);
  ApplyStartSettings(r, chosen);
  return 0;
}

int StartSoundHandle(int handle, int playType, int restart) {
  if (SoundSystem.device == nullptr) return -1;
  if (!WindowState.runWhileInactive) WaitWhileInactive();
  SOUND_RECORD* r = CheckedRecord(handle);
  if (r == nullptr) return -1;
  if (r->kind == SOUND_KIND_STREAM) return StartStreamSound(handle, playType, restart);
  int chosen = SelectNextSoundBuffer(r, restart);
  if (chosen == 1) return 0;
  if (chosen < 0) return -1;
  if (PlaySoundBuffer(&r->buffers[r->currentBuffer], playType == SOUND_PLAY_LOOP) != 0) return -1;
  if (playType == SOUND_PLAY_WAIT) WaitUntilSoundEnds(handle);
  return 0;
}

int StopSoundHandle(int handle) {
  SOUND_RECORD* r = CheckedRecord(handle);
  if (r == nullptr) return -1;
  if (r->kind == SOUND_KIND_STREAM) return StopStreamSound(handle);
  for (int i = 0; i < r->bufferCount; i++) {
    r->paused[i] = 0;
    r->resume[i] = 0;
    uint32_t status = 0;
    if (GetSoundBufferStatus(&r->buffers[i], &status) < 0) return -1;
    if (status & 1) StopSoundBuffer(&r->buffers[i]);
  }
  return 0;
}

int GetSoundHandlePlayTime(int handle) {
  SOUND_RECORD* r = CheckedRecord(handle);
  if (r == nullptr) return -1;
  if (r->kind == SOUND_KIND_STREAM) return GetStreamSoundPlayTime(handle);
  uint32_t position = 0;
  if (GetSoundBufferPosition(&r->buffers[r->currentBuffer], &position, nullptr) < 0) return -1;
  if (r->format.nBlockAlign == 0) return -1;
  return SamplesToMilliseconds((int)(position / r->format.nBlockAlign), (int)r->format.nSamplesPerSec);
}

int IsSoundHandlePlaying(int handle) {
  SOUND_RECORD* r = CheckedRecord(handle);
  if (r == nullptr) return -1;
  if (r->kind == SOUND_KIND_STREAM) return IsStreamSoundPlaying(handle);
  for (int i = 0; i < r->bufferCount; i++) {
    uint32_t status = 0;
    if (GetSoundBufferStatus(&r->buffers[i], &status) == 0 && (status & 1)) return 1;
  }
  return 0;
}

int GetSoundLengthSamples(int handle) {
  SOUND_RECORD* r = CheckedRecord(handle);
  if (r == nullptr) return -1;
  if (r->kind == SOUND_KIND_STREAM) return r->totalFrames;
  if (r->kind != SOUND_KIND_MEMORY || r->format.nBlockAlign == 0) return -1;
  return r->pcmSize / (int)r->format.nBlockAlign;
}

int GetSoundHandleTotalTime(int handle) {
  int frames = GetSoundLengthSamples(handle);
  if (frames < 0) return -1;
  return SamplesToMilliseconds(frames, (int)LookupSoundRecord(handle, 0)->format.nSamplesPerSec);
}

int SetSoundBuffersPaused(int pause) {
  if (!SoundSystem.started || SoundSystem.device == nullptr) return -1;
  LockHandleType(HANDLE_TYPE_SOUND);
  int cursor = -1;
  while (HANDLE_HEAD* head = NextHandleRecord(HANDLE_TYPE_SOUND, &cursor)) {
    SOUND_RECORD* r = reinterpret_cast<SOUND_RECORD*>(head);
    for (int i = 0; i < SOUND_MAX_BUFFERS; i++) {
      SOUNDBUFFER* buffer = &r->buffers[i];
      if (!buffer->valid || buffer->deviceBuffer == nullptr) continue;
      if (pause) {
        if (r->paused[i]) continue;
        uint32_t status = 0;
        if (SlotStatus(buffer, &status) < 0) continue;
        r->paused[i] = 1;
        r->resume[i] = (status & 1) ? 1 : 0;
        if (r->resume[i]) StopSoundBuffer(buffer);
      } else {
        if (r->paused[i] && r->resume[i]) PlaySoundBuffer(buffer, buffer->loop);
        r->paused[i] = 0;
      }
    }
  }
  UnlockHandleType(HANDLE_TYPE_SOUND);
  return 0;
}
