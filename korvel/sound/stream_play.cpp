// Stream sounds: claiming the (possibly shared) ring buffer, preparing and starting the
// sequence of parts, stopping, the played-bytes count behind the play time, and release.
#include "korvel.h"
#include "sound/sound_handles.h"
#include "sound/sound_system.h"
#include "system/base/pump.h"

namespace {
bool Running() { return SoundSystem.started && SoundSystem.device != nullptr; }

// Returns 1 when the stream plays and may not be restarted, 0 when it is prepared.
int RestartStreamSound(int playType, int restart, SOUNDBUFFER** buffer, HANDLE_VALUE handle, SOUND_RECORD* r) {
  if (ClaimStreamBuffer(handle, r, buffer, 1) < 0) return -1;
  if (!restart && IsStreamSoundPlaying(handle) == 1) return 1;
  StopStreamSound(handle);
  if (((playType ^ r->playType) & 2) && r->loopRestart) {
    r->loopRestart = 0;
    ResetStreamSequence(r);
  }
  if (restart) {
    r->loopRestart = 0;
    if (r->playedBytes != 0) ResetStreamSequence(r);
  }
  r->playType = playType;
  PrepareStreamSound(handle, 0);
  ApplyStartSettings(r, &r->buffers[0]);
  return 0;
}
}  // namespace

void ResetStreamSequence(SOUND_RECORD* r) {
  r->writtenFromPart = 0;
  r->playedBytes = 0;
  r->switchPending = 0;
  r->repeatsDone = 0;
  r->currentPart = 0;
  r->active = 0;
}

int ClaimStreamBuffer(HANDLE_VALUE handle, SOUND_RECORD* r, SOUNDBUFFER** buffer, int force) {
  *buffer = &r->buffers[0];
  if (r->kind != SOUND_KIND_STREAM) return 0;
  SOUND_RECORD* user = r;
  if (r->ownerHandle != -1) {
    user = LookupSoundRecord(r->ownerHandle, 0);
    if (user == nullptr) return -1;
    *buffer = &user->buffers[0];
  }
  if (user->currentUser != -1 && user->currentUser != handle) {
    if (!force) return -1;
    StopStreamSound(user->currentUser);
  }
  user->currentUser = handle;
  return 0;
}

int PrepareStreamSound(HANDLE_VALUE handle, int loader) {
  if (!Running()) return -1;
  SOUND_RECORD* r = LookupSoundRecord(handle, loader);
  if (r == nullptr || r->kind != SOUND_KIND_STREAM) return 0;
  if (!loader && IsStreamSoundPlaying(handle) == 1) return 0;
  SOUNDBUFFER* buffer = nullptr;
  if (ClaimStreamBuffer(handle, r, &buffer, 0) < 0 || r->active) return 0;
  SetSoundBufferPosition(buffer, 0);
  r->writePos = STREAM_FIRST_FILL;
  r->refillPos = -1;
  r->lastPlayCursor = 0;
  r->endReached = 0;
  int align = r->format.nBlockAlign != 0 ? r->format.nBlockAlign : 1;
  SeekSoundConverter(&r->parts[r->currentPart].converter, r->writtenFromPart / align);
  LockHandleType(HANDLE_TYPE_SOUND);
  r->active = 1;
  UnlockHandleType(HANDLE_TYPE_SOUND);
  RefillStreamSound(handle, loader);
  return 0;
}

int StartStreamSound(HANDLE_VALUE handle, int playType, int restart) {
  if (!Running()) return -1;
  LockHandleType(HANDLE_TYPE_SOUND);
  SOUND_RECORD* r = LookupSoundRecord(handle, 0);
  SOUNDBUFFER* buffer = nullptr;
  if (r == nullptr || RestartStreamSound(playType, restart, &buffer, handle, r) != 0) {
    UnlockHandleType(HANDLE_TYPE_SOUND);
    return -1;
  }
  // The ring always loops; the stream's own end stops it.
  PlaySoundBuffer(buffer, 1);
  UnlockHandleType(HANDLE_TYPE_SOUND);
  if (playType == SOUND_PLAY_WAIT) {
    int pumped = PumpWindowMessages();
    while (pumped == 0 && IsSoundHandlePlaying(handle) == 1) {
      Sleep(1);
      pumped = PumpWindowMessages();
    }
  }
  return 0;
}

int StopStreamSound(HANDLE_VALUE handle) {
  if (!Running()) return -1;
  LockHandleType(HANDLE_TYPE_SOUND);
  SOUND_RECORD* r = LookupSoundRecord(handle, 0);
  if (r == nullptr) {
    UnlockHandleType(HANDLE_TYPE_SOUND);
    return -1;
  }
  UpdateStreamPlayPosition(handle, -1, 0);
  SOUNDBUFFER* buffer = nullptr;
  if (ClaimStreamBuffer(handle, r, &buffer, 0) == 0) {
    SOUND_RECORD* owner = r->ownerHandle != -1 ? LookupSoundRecord(r->ownerHandle, 0) : nullptr;
    if (owner != nullptr) owner->currentUser = -1;
    uint32_t status = 0;
    if (GetSoundBufferStatus(buffer, &status) < 0) {
      UnlockHandleType(HANDLE_TYPE_SOUND);
      return -1;
    }
    if (status & 1) {
      StopSoundBuffer(buffer);
      r->paused[0] = 0;
      r->resume[0] = 0;
    }
  }
  UnlockHandleType(HANDLE_TYPE_SOUND);
  return 0;
}

int IsStreamSoundPlaying(HANDLE_VALUE handle) {
  SOUND_RECORD* r = LookupSoundRecord(handle, 0);
  if (r == nullptr) return -1;
  SOUNDBUFFER* buffer = nullptr;
  if (ClaimStreamBuffer(handle, r, &buffer, 0) < 0) return 0;
  uint32_t status = 0;
  if (GetSoundBufferStatus(buffer, &status) < 0) return 0;
  return (status & 1) ? 1 : 0;
}

int GetStreamSoundPlayTime(HANDLE_VALUE handle) {
  if (!Running()) return -1;
  LockHandleType(HANDLE_TYPE_SOUND);
  SOUND_RECORD* r = LookupSoundRecord(handle, 0);
  if (r == nullptr || r->format.nBlockAlign == 0) {
    UnlockHandleType(HANDLE_TYPE_SOUND);
    return -1;
  }
  UpdateStreamPlayPosition(handle, -1, 0);
  long long frames = r->playedBytes / r->format.nBlockAlign;
  int total = GetSoundHandleTotalTime(handle);
  int ms = SamplesToMilliseconds(frames > 0x7FFFFFFF ? 0x7FFFFFFF : (int)frames, (int)r->format.nSamplesPerSec);
  UnlockHandleType(HANDLE_TYPE_SOUND);
  return total >= 0 && ms > total ? total : ms;
}

int UpdateStreamPlayPosition(HANDLE_VALUE handle, int cursor, int loader) {
  if (SoundSystem.device == nullptr) return -1;
  SOUND_RECORD* r = LookupSoundRecord(handle, loader);
  if (r == nullptr) return -1;
  SOUNDBUFFER* buffer = nullptr;
  if (r->kind != SOUND_KIND_STREAM || ClaimStreamBuffer(handle, r, &buffer, 0) < 0 || !r->active) return 0;
  int c = cursor;
  if (c < 0) {
    uint32_t play = 0;
    if (GetSoundBufferPosition(buffer, &play, nullptr) < 0) return 0;
    c = (int)play;
  }
  int l = r->lastPlayCursor;
  if (c == l) return 0;
  long long size = r->bufferSize;
  // The switch is passed when the cursor went past it on its way from l to c.
  if (r->switchPending && OnRingSpan(l + 1, c, r->switchPosition)) {
    int w = r->switchPosition;
    r->playedBytes = r->playedAtSwitch + (c >= w ? c - w : size - w + c);
    r->switchPending = 0;
  } else {
    r->playedBytes += c >= l ? c - l : size - l + c;
  }
  r->lastPlayCursor = c;
  return 0;
}

int ReleaseStreamSound(SOUND_RECORD* r) {
  HANDLE_VALUE handle = r->head.handle;
  StopStreamSound(handle);
  if (r->ownerHandle != -1) {
    SOUND_RECORD* owner = LookupSoundRecord(r->ownerHandle, 0);
    if (owner != nullptr) {
      owner->sharerCount--;
      if (owner != r && owner->deletePending && owner->sharerCount == 0) DeleteHandle(r->ownerHandle);
    }
    r->ownerHandle = -1;
  }
  if (r->sharerCount != 0) {
    r->deletePending = 1;
    return 1;
  }
  UnlinkListNode(&r->streamNode);
  for (int i = 0; i < r->partCount; i++) ReleaseStreamPart(&r->parts[i], r->partOwnsStream[i]);
  r->partCount = 0;
  if (r->buffers[0].valid) ReleaseSoundBuffer(&r->buffers[0]);
  r->kind = SOUND_KIND_MEMORY;
  return 0;
}
