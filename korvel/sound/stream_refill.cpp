// The refill of a stream's one-second ring: three quarters of a second at the start, then an
// eighth (or a top-up to 0.375 s ahead) each time the play cursor passes the refill position,
// written from the current part and advancing through parts, repeats and loops. All ring
// arithmetic is done in 64 bits.
#include <cstring>

#include "sound/sound_handles.h"
#include "sound/sound_system.h"

namespace {
// Time units of the refill rule: 1/512 s for the data ahead, 192 of them = 0.375 s.
const int64_t kAheadUnits = 512;
const int64_t kTopUpUnits = 192;

// One lock of the ring: regions 1 and 2, filled in that order.
struct STREAM_LOCK {
  int offset;
  uint8_t* region[2];
  uint32_t size[2];
  uint32_t used[2];
  uint32_t left[2];
};

int64_t EighthSecond(int64_t a, int64_t b) { return b * (a / 8 / b); }
int64_t ThreeQuarterSecond(int64_t a, int64_t b) { return b * ((a * 192 / 256) / b); }
int64_t ThreeQuarterSecondUp(int64_t a, int64_t b) { return b * (((a * 192 / 256) + b - 1) / b); }

// The ring offset after the last byte written into the lock.
int LockWritePosition(const STREAM_LOCK& lock, int ringSize) {
  if (lock.left[0] > 0 || lock.size[1] == 0) {
    int64_t at = (int64_t)lock.offset + lock.size[0] - lock.left[0];
    return (int)(ringSize > 0 ? at % ringSize : at);
  }
  return (int)(lock.size[1] - lock.left[1]);
}

// The region still taking bytes, or -1 when the lock is full.
int OpenRegion(const STREAM_LOCK& lock) {
  if (lock.left[0] > 0) return 0;
  return lock.left[1] > 0 ? 1 : -1;
}

// Takes the last bytes written into the lock out again.
void TakeBackFromLock(STREAM_LOCK* lock, uint32_t bytes) {
  for (int region = 1; region >= 0 && bytes > 0; region--) {
    uint32_t n = bytes < lock->used[region] ? bytes : lock->used[region];
    lock->used[region] -= n;
    lock->left[region] += n;
    bytes -= n;
  }
}

// Copies up to `bytes` of the part's PCM into the lock, in whole frames: a part that ends
// inside a frame leaves that part of a frame out, so the next pass, part or silence starts on
// the frame's first channel.
int CopyStreamPartPcm(STREAM_LOCK* lock, SOUND_CONVERT_STATE* converter, uint32_t bytes, uint32_t frameBytes) {
  uint32_t copied = 0;
  while (copied < bytes) {
    int region = OpenRegion(*lock);
    if (region < 0) break;
    uint32_t want = bytes - copied < lock->left[region] ? bytes - copied : lock->left[region];
    int got = ReadSoundConverter(converter, lock->region[region] + lock->used[region], (int)want);
    // Nothing left, or a state that cannot be read (-1): never counted as bytes.
    if (got <= 0) break;
    lock->used[region] += (uint32_t)got;
    lock->left[region] -= (uint32_t)got;
    copied += (uint32_t)got;
  }
  uint32_t partial = copied % frameBytes;
  TakeBackFromLock(lock, partial);
  return (int)(copied - partial);
}

void FillStreamSilence(SOUND_RECORD* r, STREAM_LOCK* lock, uint32_t bytes) {
  // Unsigned 8-bit PCM is silent at its middle value.
  int value = r->format.wBitsPerSample == 8 ? 0x80 : 0;
  while (bytes > 0) {
    int region = OpenRegion(*lock);
    if (region < 0) break;
    uint32_t n = bytes < lock->left[region] ? bytes : lock->left[region];
    memset(lock->region[region] + lock->used[region], value, n);
    lock->used[region] += n;
    lock->left[region] -= n;
    bytes -= n;
  }
}

// Starts the current part over from a frame; always takes effect, however short the part.
void RestartPart(SOUND_RECORD* r, int frame) {
  RewindSoundConverter(&r->parts[r->currentPart].converter, frame);
}

// Called when the current part gave nothing: the next repeat, part or loop, or the end
// (-1). A loop or forever-repeat boundary met again before the cursor has passed the one
// still pending starts over without a second boundary of its own, so the fill goes on.
int AdvanceStreamPart(SOUND_RECORD* r, STREAM_LOCK* lock, int cursor) {
  int64_t a = r->format.nAvgBytesPerSec, b = r->format.nBlockAlign;
  STREAM_SOUND_PART* part = &r->parts[r->currentPart];
  r->repeatsDone++;
  int repeat = part->repeatCount;
  if (repeat == -1) {
    r->writtenFromPart = (int32_t)(part->loopStart * b);
    if (!r->switchPending) {
      r->playedAtSwitch = r->writtenFromPart;
      r->switchPending = 1;
      r->switchPosition = LockWritePosition(*lock, r->bufferSize);
    }
    RestartPart(r, part->loopStart);
    return 0;
  }
  if (r->repeatsDone <= repeat) {
    r->writtenFromPart = 0;
    RestartPart(r, 0);
    return 0;
  }
  bool lastPart = r->currentPart == r->partCount - 1;
  if (lastPart && r->playType == SOUND_PLAY_LOOP && r->switchPending) {
    r->repeatsDone = 0;
    r->currentPart = 0;
    r->writtenFromPart = 0;
    RestartPart(r, 0);
    return 0;
  }
  r->repeatsDone = 0;
  r->currentPart++;
  if (r->currentPart >= r->partCount) {
    r->loopRestart = 1;
    if (r->playType == SOUND_PLAY_LOOP) {
      r->currentPart = 0;
      r->playedAtSwitch = 0;
      r->switchPending = 1;
      r->switchPosition = LockWritePosition(*lock, r->bufferSize);
    } else {
      // The part index stays one past the last (the fourth slot is never used for data).
      r->endReached = 1;
      r->endPosition = LockWritePosition(*lock, r->bufferSize);
      r->endCursor = cursor;
      FillStreamSilence(r, lock, (uint32_t)EighthSecond(a, b));
      return -1;
    }
  }
  r->writtenFromPart = 0;
  RestartPart(r, 0);
  return 0;
}

// Advances through a whole cycle of parts and repeats that gave no data mean the parts are
// empty: the rest of the lock is silence instead of an endless loop.
int EmptyAdvanceLimit(const SOUND_RECORD* r) {
  int limit = 1;
  for (int i = 0; i < r->partCount; i++) limit += r->parts[i].repeatCount >= 0 ? r->parts[i].repeatCount + 1 : 1;
  return limit;
}

// Fills the lock from the parts; returns the bytes of sound data written.
int64_t FillFromParts(SOUND_RECORD* r, STREAM_LOCK* lock, int64_t n, int cursor) {
  int64_t b = r->format.nBlockAlign;
  int64_t remaining = n;
  int emptyAdvances = 0, emptyLimit = EmptyAdvanceLimit(r);
  while (remaining > 0 && !r->endReached) {
    int partIndex = r->currentPart;
    STREAM_SOUND_PART* part = &r->parts[partIndex];
    int64_t m = remaining;
    if (part->playLimit != -1) {
      int64_t allowed = part->playLimit * b - r->writtenFromPart;
      if (allowed < 0) allowed = 0;
      if (m > allowed) m = allowed;
    }
    int got = CopyStreamPartPcm(lock, &part->converter, (uint32_t)m, (uint32_t)b);
    if (got == 0) {
      if (++emptyAdvances > emptyLimit) {
        FillStreamSilence(r, lock, (uint32_t)remaining);
        remaining = 0;
        break;
      }
      if (AdvanceStreamPart(r, lock, cursor) < 0) break;
      continue;
    }
    emptyAdvances = 0;
    remaining -= got;
    r->writtenFromPart += got;
    if (r->currentPart == partIndex && part->playLimit != -1 && r->writtenFromPart >= part->playLimit * b) break;
  }
  return n - remaining;
}

int LockRing(SOUNDBUFFER* buffer, int offset, int64_t n, STREAM_LOCK* lock) {
  memset(lock, 0, sizeof(*lock));
  lock->offset = offset;
  void* r1 = nullptr;
  void* r2 = nullptr;
  if (LockSoundBuffer(buffer, (uint32_t)offset, (uint32_t)n, &r1, &lock->size[0], &r2, &lock->size[1]) < 0) return -1;
  lock->region[0] = static_cast<uint8_t*>(r1);
  lock->region[1] = static_cast<uint8_t*>(r2);
  lock->left[0] = r1 != nullptr ? lock->size[0] : 0;
  lock->left[1] = r2 != nullptr ? lock->size[1] : 0;
  return 0;
}

void UnlockRing(SOUNDBUFFER* buffer, STREAM_LOCK* lock) {
  UnlockSoundBuffer(buffer, lock->region[0], lock->size[0], lock->region[1], lock->size[1]);
}

// The refill positions after written bytes were added at W.
void AdvanceRing(SOUND_RECORD* r, int64_t written) {
  int64_t a = r->format.nAvgBytesPerSec, b = r->format.nBlockAlign, s = r->bufferSize;
  int64_t w = r->writePos + written;
  if (w >= s) w -= s;
  int64_t refill = w - ThreeQuarterSecondUp(a, b);
  if (refill < 0) refill += s;
  r->writePos = (int32_t)w;
  r->refillPos = (int32_t)refill;
}

int PlayCursor(SOUNDBUFFER* buffer) {
  uint32_t play = 0;
  GetSoundBufferPosition(buffer, &play, nullptr);
  return (int)play;
}

// The refill itself, under the type-3 lock.
int RefillLocked(HANDLE_VALUE handle, SOUND_RECORD* r, SOUNDBUFFER* buffer, int loader) {
  UpdateStreamPlayPosition(handle, -1, loader);
  int64_t a = r->format.nAvgBytesPerSec, b = r->format.nBlockAlign, s = r->bufferSize;
  if (a <= 0 || b <= 0 || s <= 0) return -1;
  int w = r->writePos, refill = r->refillPos;
  STREAM_LOCK lock;
  if (r->endReached) {
    int p = PlayCursor(buffer), e0 = r->endCursor, e1 = r->endPosition;
    // Played out once the cursor leaves the span from where it was when the end was written
    // to the end.
    if (e0 != e1 && !OnRingSpan(e0, e1, p)) {
      StopSoundBuffer(buffer);
      r->endReached = 0;
      ResetStreamSequence(r);
      return 0;
    }
    if (!OnRingSpan(refill, w, p)) return -1;
    int64_t n = EighthSecond(a, b);
    if (LockRing(buffer, w, n, &lock) < 0) return -1;
    FillStreamSilence(r, &lock, (uint32_t)n);
    UnlockRing(buffer, &lock);
    AdvanceRing(r, n);
    return 0;
  }
  uint32_t status = 0;
  if (GetSoundBufferStatus(buffer, &status) < 0) return -1;
  int64_t n = 0;
  int offset = w, p = 0;
  if (!(status & 1)) {
    if (w != STREAM_FIRST_FILL) return 0;
    n = ThreeQuarterSecond(a, b);
    offset = 0;
  } else {
    p = PlayCursor(buffer);
    if (w == STREAM_FIRST_FILL || !OnRingSpan(refill, w, p)) return -1;
    int64_t wu = w, pu = p;
    if (w < refill) {
      wu += s;
      if (p <= w) pu += s;
    }
    int64_t ahead = (wu - pu) * kAheadUnits / a;
    n = ahead < kTopUpUnits ? b * (((kTopUpUnits - ahead) * a / kAheadUnits) / b) : EighthSecond(a, b);
  }
  if (n <= 0) return 0;
  if (LockRing(buffer, offset, n, &lock) < 0) return -1;
  int64_t written = FillFromParts(r, &lock, n, p);
  UnlockRing(buffer, &lock);
  if (w == STREAM_FIRST_FILL) {
    r->writePos = (int32_t)written;
    r->refillPos = 0;
    return 0;
  }
  AdvanceRing(r, written);
  return 0;
}
}  // namespace

int RefillStreamSound(HANDLE_VALUE handle, int loader) {
  if (!SoundSystem.started || SoundSystem.device == nullptr) return -1;
  SOUND_RECORD* r = LookupSoundRecord(handle, loader);
  if (r == nullptr) return -1;
  SOUNDBUFFER* buffer = nullptr;
  if (r->kind != SOUND_KIND_STREAM || ClaimStreamBuffer(handle, r, &buffer, 0) < 0 || !r->active) return 0;
  LockHandleType(HANDLE_TYPE_SOUND);
  r = LookupSoundRecord(handle, loader);
  int result = r != nullptr ? RefillLocked(handle, r, buffer, loader) : -1;
  UnlockHandleType(HANDLE_TYPE_SOUND);
  return result;
}

int RefillStreamSounds() {
  if (!SoundSystem.started || SoundSystem.device == nullptr) return -1;
  LockHandleType(HANDLE_TYPE_SOUND);
  for (HANDLE_LIST_NODE* node = SoundSystem.streamHead.next; node != nullptr && node->next != nullptr;
       node = node->next) {
    SOUND_RECORD* r = static_cast<SOUND_RECORD*>(node->data);
    if (r->active) RefillStreamSound(node->handle, 0);
  }
  UnlockHandleType(HANDLE_TYPE_SOUND);
  return 0;
}
