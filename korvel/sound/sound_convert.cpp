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
      accepted = 1;
      break;
    }
    if (reader.rewindAfterRefusal) RewindSource(state);
  }
  if (!accepted) return -1;
  if (state->blockSize > 0) state->block = static_cast<uint8_t*>(AllocTracked((size_t)state->blockSize, "", 0));
  if (state->block == nullptr) {
    ReleaseMethod(state);
    return -1;
  }
  state->blockHeld = 0;
  state->blockOffset = 0;
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
  int n = GetSoundConverterSize(state);
  if (n < 0) return -1;
  uint8_t* block = static_cast<uint8_t*>(AllocTracked((size_t)n, "", 0));
  if (block == nullptr) return -1;
  SeekSoundConverter(state, 0);
  n = ReadSoundConverter(state, block, n);
  // An invalid state reads -1: that is no PCM at all.
  if (n < 0) {
    FreeTracked(block);
    return -1;
  }
  memcpy(format, &state->format, sizeof(WAVEFORMATEX));
  *data = block;
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
