// Soft-sound players: the refill of a player's looping buffer from its ring (silence when
// nothing is queued), with the tracking of where queued data ran out; the pause while the
// window is inactive; and the release of soft-sound records.
#include "sound/soft_sound.h"

#include "core/memory.h"
#include "core/strings.h"
#include "sound/sound_system.h"

namespace {
const uint8_t kSilence8Bit = 0x7F;

SOFT_SOUND_RECORD* Record(HANDLE_HEAD* head) { return reinterpret_cast<SOFT_SOUND_RECORD*>(head); }

// The walk of the player list; the visitor may not unlink the player it is given.
template <class Visit>
void ForEachPlayer(Visit visit) {
  for (HANDLE_LIST_NODE* node = SoundSystem.playerHead.next; node != nullptr && node->next != nullptr;
       node = node->next)
    visit(static_cast<SOFT_SOUND_RECORD*>(node->data));
}

// The end of queued data is passed once the cursor moves across it.
void TrackEnd(SOFT_SOUND_RECORD* p, int cursor) {
  if (p->endPosition == -1 || p->endPassed) return;
  if (OnRingSpan(p->endCursor, cursor, p->endPosition)) {
    p->endPassed = 1;
  } else {
    p->endCursor = cursor;
  }
}

// Fills a locked region from the ring first, then with silence.
void FillRegion(SOFT_SOUND_RECORD* p, uint8_t* region, uint32_t size, uint32_t* dataLeft, uint8_t silence) {
  uint32_t fromRing = *dataLeft < size ? *dataLeft : size;
  if (fromRing > 0) ReadRingBuffer(&p->ring, region, (int)fromRing, 0);
  *dataLeft -= fromRing;
  if (size > fromRing) FillBytes(region + fromRing, silence, size - fromRing);
}

int RefillLocked(SOFT_SOUND_RECORD* p) {
  int B = p->format.nBlockAlign, S = p->bufferBytes, W = p->writePosition, L = p->leadBytes;
  if (B <= 0 || S <= 0 || W < 0 || W >= S || L < 0 || L > S) return -1;
  uint32_t play = 0;
  if (GetSoundBufferPosition(&p->buffer, &play, nullptr) < 0) return -1;
  int cursor = (int)play;
  TrackEnd(p, cursor);
  int T = W - L;
  if (T < 0) T += S;
  if (!OnRingSpan(T, W, cursor)) return 0;
  int distance = cursor >= T ? cursor - T : cursor + S - T;
  int frames = (L + distance) / B;
  if (frames <= 0) return 0;
  // Never more than the ring really holds, whatever the producer counted.
  int queued = p->queuedFrames;
  if (queued > p->ring.held / B) queued = p->ring.held / B;
  if (queued < 0) queued = 0;
  int data = frames < queued ? frames : queued;
  int silence = queued == 0 ? frames : 0;
  uint32_t bytes = (uint32_t)(data + silence) * (uint32_t)B;
  void* region1 = nullptr;
  void* region2 = nullptr;
  uint32_t size1 = 0, size2 = 0;
  if (LockSoundBuffer(&p->buffer, (uint32_t)W, bytes, &region1, &size1, &region2, &size2) < 0) return -1;
  if (silence > 0 && p->endPosition == -1) {
    int end = W + data * B;
    p->endPosition = end >= S ? end - S : end;
    p->endCursor = cursor;
    p->endPassed = 0;
  } else if (data > 0 && p->endPassed) {
    p->endPassed = 0;
    p->endCursor = 0;
    p->endPosition = -1;
  }
  p->queuedFrames -= data;
  // Silence for every sample size: 8-bit samples centre near 0x80, all wider ones on 0.
  uint8_t silenceByte = p->format.wBitsPerSample == 8 ? kSilence8Bit : 0;
  uint32_t dataLeft = (uint32_t)data * (uint32_t)B;
  if (region1 != nullptr) FillRegion(p, static_cast<uint8_t*>(region1), size1, &dataLeft, silenceByte);
  if (region2 != nullptr) FillRegion(p, static_cast<uint8_t*>(region2), size2, &dataLeft, silenceByte);
  UnlockSoundBuffer(&p->buffer, region1, size1, region2, size2);
  W += (int)bytes;
  if (W >= S) W -= S;
  p->writePosition = W;
  return 0;
}
}  // namespace

int ReleaseSoftSoundRecord(HANDLE_HEAD* head) {
  SOFT_SOUND_RECORD* r = Record(head);
  if (r->kind == SOFT_SOUND_PLAYER) {
    FreeRingBuffer(&r->ring);
    if (r->buffer.valid) ReleaseSoundBuffer(&r->buffer);
    if (r->playerNode.next != nullptr) UnlinkListNode(&r->playerNode);
  } else {
    FreeTracked(r->pcmData);
    r->pcmData = nullptr;
  }
  return 0;
}

int KeepSoftSoundPlayers(HANDLE_HEAD* head) { return Record(head)->kind == SOFT_SOUND_PLAYER ? 1 : 0; }
int KeepSoftSoundData(HANDLE_HEAD* head) { return Record(head)->kind == SOFT_SOUND_PLAYER ? 0 : 1; }

int RefillSoftSoundPlayer(SOFT_SOUND_RECORD* p) {
  if (!SoundSystem.started) return -1;
  if (!p->started) return 0;
  LockHandleType(HANDLE_TYPE_SOFT_SOUND);
  int result = RefillLocked(p);
  UnlockHandleType(HANDLE_TYPE_SOFT_SOUND);
  return result;
}

int RefillSoftSoundPlayers() {
  if (SoundSystem.device == nullptr) return -1;
  ForEachPlayer([](SOFT_SOUND_RECORD* p) {
    if (p->started) RefillSoftSoundPlayer(p);
  });
  return 0;
}

int SetSoftSoundPlayersPaused(int pause) {
  if (!SoundSystem.started || SoundSystem.device == nullptr) return -1;
  LockHandleType(HANDLE_TYPE_SOFT_SOUND);
  ForEachPlayer([pause](SOFT_SOUND_RECORD* p) {
    SOUNDBUFFER* b = &p->buffer;
    if (pause) {
      if (!b->valid || b->deviceBuffer == nullptr || p->paused) return;
      uint32_t status = 0;
      if (GetSoundBufferStatus(b, &status) < 0) {
        p->paused = 0;
        return;
      }
      p->paused = 1;
      p->resume = (status & 1) ? 1 : 0;
      if (p->resume) StopSoundBuffer(b);
    } else if (!p->started) {
      p->paused = 0;
    } else if (b->valid && b->deviceBuffer != nullptr) {
      if (p->paused && p->resume) PlaySoundBuffer(b, b->loop);
      p->paused = 0;
    }
  });
  UnlockHandleType(HANDLE_TYPE_SOFT_SOUND);
  return 0;
}
