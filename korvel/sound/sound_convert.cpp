// The converter front: reader choice, block-wise reads, seeks, the total size, whole-sound
// conversion and release, dispatched on the reader's method.
#include "sound/sound_convert.h"

#include <cstring>

#include "core/memory.h"

namespace {
// A seek closer than this to the read position changes nothing.
const int kSeekSlack = 15;

// The readers in the order they are tried; only the first three need the stream rewound
// after a refusal (the MP3 readers rewind by themselves).
struct SOUND_CONVERT_READER {
  int disableBit;
  int (*open)(SOUND_CONVERT_STATE* state);
  int rewindAfterRefusal;
};
const SOUND_CONVERT_READER kReaders[] = {
    {SOUND_CONVERT_DISABLE_WAVE, OpenWaveConverter, 1},
    {SOUND_CONVERT_DISABLE_WAVE_ACM, OpenWaveAcmConverter, 1},
    {SOUND_CONVERT_DISABLE_OGG, OpenOggVorbisConverter, 1},
    {SOUND_CONVERT_DISABLE_MP3_ACM, OpenMp3AcmConverter, 0},
    {SOUND_CONVERT_DISABLE_MP3_DSHOW, DecodeMp3WithDirectShow, 0},
};

const SOUND_CONVERT_METHOD_OPS kWaveOps = {ReadWaveBlock, SeekWaveConverter, GetWaveConverterSize, CloseWaveConverter};
const SOUND_CONVERT_METHOD_OPS kAcmOps = {ReadAcmBlock, SeekAcmConverter, GetAcmConverterSize, CloseAcmConverter};
const SOUND_CONVERT_METHOD_OPS kPcmMemoryOps = {ReadPcmMemoryBlock, SeekPcmMemory, GetPcmMemorySize, ClosePcmMemory};
const SOUND_CONVERT_METHOD_OPS kOggVorbisOps = {ReadOggVorbisBlock, SeekOggVorbisConverter, GetOggVorbisConverterSize,
                                                CloseOggVorbisConverter};

// The operations of a method; null for a method whose reader is not part of the library.
const SOUND_CONVERT_METHOD_OPS* MethodOps(int method) {
  switch (method) {
    case SOUND_METHOD_WAVE: return &kWaveOps;
    case SOUND_METHOD_ACM: return &kAcmOps;
    case SOUND_METHOD_OGG_VORBIS: return &kOggVorbisOps;
    case SOUND_METHOD_PCM_MEMORY: return &kPcmMemoryOps;
    default: return nullptr;
  }
}

void ReleaseMethod(SOUND_CONVERT_STATE* state) {
  const SOUND_CONVERT_METHOD_OPS* ops = MethodOps(state->method);
  if (ops != nullptr) ops->release(state);
}

void RewindSource(SOUND_CONVERT_STATE* state) { state->source.ops.seek(state->source.handle, 0, 0); }

// The reader that accepted the file decodes its first block into a block of its size: a file
// that gives no sound at all (not even a whole frame) is not accepted. The block stays held,
// so the first read starts with it. -1 after everything of the reader is released.
int TakeFirstBlock(SOUND_CONVERT_STATE* state) {
  if (state->blockSize > 0) state->block = static_cast<uint8_t*>(AllocTracked((size_t)state->blockSize, "", 0));
  const SOUND_CONVERT_METHOD_OPS* ops = MethodOps(state->method);
  state->blockHeld = 0;
  state->blockOffset = 0;
  if (state->block != nullptr && ops != nullptr && ops->nextBlock(state) == 0 &&
      state->blockHeld >= state->format.nBlockAlign && state->blockHeld > 0 && state->blockHeld <= state->blockSize)
    return 0;
  FreeTracked(state->block);
  state->block = nullptr;
  ReleaseMethod(state);
  return -1;
}

// The PCM a whole conversion starts with: what the file claims, but never more than this
// before that much was really decoded (a header's word is no reason to allocate).
const int kFirstPcmBytes = 1 << 22;
// Whole conversions stop short of the 32-bit sizes.
const int kMaxPcmBytes = 0x7FF00000;
}  // namespace

int SetUpSoundConverter(SOUND_CONVERT_STATE* state, const STREAM_SOURCE* source, int disableBits,
                        int oggBytesPerSample, int vorbisSelector) {
  state->valid = 0;
  state->endReached = 0;
  state->vorbisSelector = vorbisSelector;
  state->oggBytesPerSample = oggBytesPerSample;
  state->source = *source;
  state->standbyTarget = 0;
  state->block = nullptr;
  RewindSource(state);
  int accepted = 0;
  for (const SOUND_CONVERT_READER& reader : kReaders) {
    if (disableBits & reader.disableBit) continue;
    if (reader.open(state) == 0) {
      if (TakeFirstBlock(state) == 0) {
        accepted = 1;
        break;
      }
      // Accepted but silent: the file is the next reader's to try.
      RewindSource(state);
      continue;
    }
    if (reader.rewindAfterRefusal) RewindSource(state);
  }
  if (!accepted) return -1;
  state->position = 0;
  state->valid = 1;
  return 0;
}

int GetSoundConverterFormat(SOUND_CONVERT_STATE* state, WAVEFORMATEX* format) {
  memcpy(format, &state->format, sizeof(WAVEFORMATEX));
  return 0;
}

int ReadSoundConverter(SOUND_CONVERT_STATE* state, void* buffer, int bytes) {
  if (!state->valid) return -1;
  if (state->endReached || bytes <= 0) return 0;
  const SOUND_CONVERT_METHOD_OPS* ops = MethodOps(state->method);
  uint8_t* out = static_cast<uint8_t*>(buffer);
  int copied = 0;
  for (;;) {
    if (state->blockHeld == 0) {
      state->blockOffset = 0;
      if (ops == nullptr || ops->nextBlock(state) < 0 || state->blockHeld <= 0) {
        state->blockHeld = 0;
        state->endReached = 1;
        return copied;
      }
    }
    int n = state->blockHeld < bytes - copied ? state->blockHeld : bytes - copied;
    memcpy(out + copied, state->block + state->blockOffset, (size_t)n);
    state->blockHeld -= n;
    state->blockOffset += n;
    state->position += n;
    copied += n;
    if (copied == bytes) return copied;
  }
}

int RewindSoundConverter(SOUND_CONVERT_STATE* state, int samplePosition) {
  const SOUND_CONVERT_METHOD_OPS* ops = MethodOps(state->method);
  int result = ops != nullptr ? ops->seek(state, samplePosition) : -1;
  state->endReached = 0;
  return result;
}

int SeekSoundConverter(SOUND_CONVERT_STATE* state, int samplePosition) {
  long long target = (long long)samplePosition * state->format.nBlockAlign;
  long long distance = target - state->position;
  if (distance >= -kSeekSlack && distance <= kSeekSlack) return 0;
  return RewindSoundConverter(state, samplePosition);
}

int GetSoundConverterSize(SOUND_CONVERT_STATE* state) {
  const SOUND_CONVERT_METHOD_OPS* ops = MethodOps(state->method);
  return ops != nullptr ? ops->totalBytes(state) : 0;
}

int ConvertSoundToPcm(SOUND_CONVERT_STATE* state, WAVEFORMATEX* format, void** data, int* size) {
  if (!state->valid) return -1;
  // The PCM grows as it is decoded, so the conversion delivers exactly what block reads from
  // the start deliver. The total a reader reports is the first guess; one that comes from the
  // file's word rather than from data held is bounded (a header's claim allocates nothing).
  int claimed = GetSoundConverterSize(state);
  int held = state->method == SOUND_METHOD_WAVE || state->method == SOUND_METHOD_PCM_MEMORY;
  int capacity = claimed > 0 && (held || claimed <= kFirstPcmBytes) ? claimed : kFirstPcmBytes;
  uint8_t* pcm = static_cast<uint8_t*>(AllocTracked((size_t)capacity, "", 0));
  if (pcm == nullptr) return -1;
  SeekSoundConverter(state, 0);
  int n = 0;
  for (;;) {
    if (n < capacity) {
      int got = ReadSoundConverter(state, pcm + n, capacity - n);
      if (got <= 0) break;
      n += got;
      if (n < capacity) break;  // a short read is the end
    }
    // Full: only more data makes it grow.
    uint8_t more[4096];
    int extra = capacity < kMaxPcmBytes ? ReadSoundConverter(state, more, (int)sizeof(more)) : 0;
    if (extra <= 0) break;
    int grown = capacity > kMaxPcmBytes / 2 ? kMaxPcmBytes : capacity * 2;
    if (grown < n + extra) grown = n + extra;
    uint8_t* larger = static_cast<uint8_t*>(ReallocTracked(pcm, (size_t)grown, "", 0));
    if (larger == nullptr) {
      FreeTracked(pcm);
      return -1;
    }
    pcm = larger;
    capacity = grown;
    memcpy(pcm + n, more, (size_t)extra);
    n += extra;
  }
  // Whole frames only, and some sound: a partial frame is dropped, nothing is no PCM.
  int align = state->format.nBlockAlign != 0 ? state->format.nBlockAlign : 1;
  n -= n % align;
  if (n <= 0) {
    FreeTracked(pcm);
    return -1;
  }
  if (n < capacity) {
    uint8_t* fitted = static_cast<uint8_t*>(ReallocTracked(pcm, (size_t)n, "", 0));
    if (fitted != nullptr) pcm = fitted;
  }
  memcpy(format, &state->format, sizeof(WAVEFORMATEX));
  *data = pcm;
  *size = n;
  return 0;
}

int EndSoundConverter(SOUND_CONVERT_STATE* state) {
  if (!state->valid) return -1;
  FreeTracked(state->block);
  state->block = nullptr;
  ReleaseMethod(state);
  state->valid = 0;
  return 0;
}
