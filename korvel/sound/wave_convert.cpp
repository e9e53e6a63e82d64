// The WAVE reader of the converter (method 0): PCM read straight from the file, 32-bit IEEE
// float turned into 16-bit PCM.
#include <cstring>

#include "core/memory.h"
#include "sound/sound_source.h"

namespace {
// One second of audio is the block; a format of more bytes per second than this gets blocks
// of this size instead.
const uint32_t kMaxBlockBytes = 1u << 24;

// The block: a second of output in whole frames, never more than the data needs (at least
// one frame), never more than kMaxBlockBytes.
int32_t OutputBlock(uint32_t bytesPerSecond, uint32_t frameBytes, uint32_t dataOutputBytes) {
  uint32_t bytes = bytesPerSecond < kMaxBlockBytes ? bytesPerSecond : kMaxBlockBytes;
  if (bytes > dataOutputBytes) bytes = dataOutputBytes;
  bytes -= bytes % frameBytes;
  return (int32_t)(bytes < frameBytes ? frameBytes : bytes);
}

int16_t FloatToSample(float value) {
  float scaled = value * 32768.0f;
  if (!(scaled >= -32768.0f)) return -32768;  // NaN goes here too
  if (scaled > 32767.0f) return 32767;
  return (int16_t)(int)scaled;  // toward zero
}

}  // namespace

int OpenWaveConverter(SOUND_CONVERT_STATE* state) {
  memset(&state->wave, 0, sizeof(state->wave));
  memset(&state->format, 0, sizeof(state->format));
  int fileSize = SourceFileSize(state);
  uint8_t* chunk = nullptr;
  uint32_t chunkSize = 0;
  if (ReadWaveFormatChunk(state, sizeof(WAVEFORMATEX), &chunk, &chunkSize) < 0) return -1;
  // The block is checked: PCM frames hold whole bytes per sample, the extensible layout is
  // already the plain tag.
  WAVEFORMATEX file = *reinterpret_cast<WAVEFORMATEX*>(chunk);
  FreeTracked(chunk);
  // Only 32-bit float samples are read.
  if (file.wFormatTag == WAVE_FORMAT_IEEE_FLOAT ? file.wBitsPerSample != 32 : file.wFormatTag != WAVE_FORMAT_PCM)
    return -1;
  WAVEFORMATEX& out = state->format;
  int outputWidth = file.wFormatTag == WAVE_FORMAT_PCM ? file.nBlockAlign / file.nChannels : 2;
  out.wFormatTag = WAVE_FORMAT_PCM;
  out.nChannels = file.nChannels;
  out.nSamplesPerSec = file.nSamplesPerSec;
  out.wBitsPerSample = (WORD)(outputWidth * 8);
  out.nBlockAlign = (WORD)(file.nChannels * outputWidth);
  out.nAvgBytesPerSec = out.nBlockAlign * out.nSamplesPerSec;
  out.cbSize = 0;
  state->wave.sourceFormat.tag = file.wFormatTag;
  state->wave.sourceFormat.channels = file.nChannels;
  state->wave.sourceFormat.blockAlign = file.nBlockAlign;
  state->wave.sourceFormat.bitsPerSample = file.wBitsPerSample;
  if (FindWaveData(state, fileSize) < 0) return -1;
  // Whole frames of data only: a partial frame at the end is dropped.
  state->dataSize -= state->dataSize % file.nBlockAlign;
  uint32_t frames = (uint32_t)state->dataSize / file.nBlockAlign;
  state->blockSize = OutputBlock(out.nAvgBytesPerSec, out.nBlockAlign, frames * out.nBlockAlign);
  if (file.wFormatTag == WAVE_FORMAT_IEEE_FLOAT) {
    // As many float frames as an output block holds.
    state->wave.floatBufferSize = (uint32_t)state->blockSize / out.nBlockAlign * file.nBlockAlign;
    state->wave.floatBuffer = static_cast<uint8_t*>(AllocTracked(state->wave.floatBufferSize, "", 0));
    if (state->wave.floatBuffer == nullptr) return -1;
  }
  state->method = SOUND_METHOD_WAVE;
  return 0;
}

int ReadWaveBlock(SOUND_CONVERT_STATE* state) {
  int64_t left = (int64_t)state->dataSize - (TellSource(state) - state->dataStart);
  if (left <= 0) return -1;
  if (state->wave.sourceFormat.tag == WAVE_FORMAT_PCM) {
    int n = left < state->blockSize ? (int)left : state->blockSize;
    int got = ReadSourceBytes(state, state->block, n);
    if (got <= 0) return -1;
    state->blockHeld = got;
    return 0;
  }
  int n = left < state->wave.floatBufferSize ? (int)left : (int)state->wave.floatBufferSize;
  int got = ReadSourceBytes(state, state->wave.floatBuffer, n);
  int sourceAlign = state->wave.sourceFormat.blockAlign;
  int frames = got / sourceAlign;
  if (frames <= 0) return -1;
  int channels = state->wave.sourceFormat.channels;
  int16_t* out = reinterpret_cast<int16_t*>(state->block);
  for (int frame = 0; frame < frames; frame++) {
    const uint8_t* in = state->wave.floatBuffer + (size_t)frame * sourceAlign;
    for (int c = 0; c < channels; c++) {
      float value;
      memcpy(&value, in + c * 4, 4);
      *out++ = FloatToSample(value);
    }
  }
  state->blockHeld = frames * state->format.nBlockAlign;
  return 0;
}

int SeekWaveConverter(SOUND_CONVERT_STATE* state, int samplePosition) {
  // A position past the data leaves the stream at the data's end.
  int64_t offset = (int64_t)samplePosition * state->wave.sourceFormat.blockAlign;
  if (offset < 0) offset = 0;
  if (offset > state->dataSize) offset = state->dataSize;
  SeekSource(state, state->dataStart + (int)offset, 0);
  state->position = samplePosition * state->format.nBlockAlign;
  state->blockHeld = 0;
  state->blockOffset = 0;
  return 0;
}

int GetWaveConverterSize(SOUND_CONVERT_STATE* state) {
  if (state->wave.sourceFormat.tag == WAVE_FORMAT_PCM) return state->dataSize;
  // Float: every whole frame of the data becomes one 16-bit frame.
  if (state->wave.sourceFormat.tag == WAVE_FORMAT_IEEE_FLOAT)
    return state->dataSize / state->wave.sourceFormat.blockAlign * state->format.nBlockAlign;
  return -1;
}

int CloseWaveConverter(SOUND_CONVERT_STATE* state) {
  FreeTracked(state->wave.floatBuffer);
  state->wave.floatBuffer = nullptr;
  return 0;
}
