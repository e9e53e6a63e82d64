// Stream access of the sound readers and the RIFF/WAVE chunk walk.
#include "sound/sound_source.h"

#include <cstring>

#include "core/memory.h"
#include "sound/wave_format.h"

namespace {
// A format chunk larger than this is not a format.
const uint32_t kMaxFormatChunk = 0x10000;

uint32_t ReadU32(const uint8_t* p) { return p[0] | (p[1] << 8) | (p[2] << 16) | ((uint32_t)p[3] << 24); }

// One chunk header: its id and size; -1 when the file ends inside it.
int ReadChunkHeader(SOUND_CONVERT_STATE* state, char id[4], uint32_t* size) {
  uint8_t header[8];
  if (ReadSourceBytes(state, header, 8) != 8) return -1;
  memcpy(id, header, 4);
  *size = ReadU32(header + 4);
  return 0;
}

}  // namespace

int ReadSourceBytes(SOUND_CONVERT_STATE* state, void* buffer, int n) {
  if (n <= 0) return 0;
  int got = state->source.ops.read(buffer, 1, n, state->source.handle);
  if (got < 0) return 0;
  return got > n ? n : got;
}

int SeekSource(SOUND_CONVERT_STATE* state, int offset, int origin) {
  return state->source.ops.seek(state->source.handle, offset, origin);
}

int TellSource(SOUND_CONVERT_STATE* state) { return state->source.ops.tell(state->source.handle); }

int SourceFileSize(SOUND_CONVERT_STATE* state) {
  SeekSource(state, 0, 2);
  int size = TellSource(state);
  SeekSource(state, 0, 0);
  return size < 0 ? 0 : size;
}

int ReadWaveFormatChunk(SOUND_CONVERT_STATE* state, uint32_t minSize, uint8_t** chunk, uint32_t* chunkSize) {
  *chunk = nullptr;
  uint8_t riff[12];
  if (ReadSourceBytes(state, riff, 12) != 12) return -1;
  if (memcmp(riff, "RIFF", 4) != 0 || memcmp(riff + 8, "WAVE", 4) != 0) return -1;
  char id[4];
  uint32_t size = 0;
  if (ReadChunkHeader(state, id, &size) < 0) return -1;
  if (memcmp(id, "bext", 4) == 0) {
    if (size > 0x7FFFFFFF) return -1;
    SeekSource(state, (int)size, 1);
    if (ReadChunkHeader(state, id, &size) < 0) return -1;
  }
  if (memcmp(id, "fmt ", 4) != 0 || size < 16 || size > kMaxFormatChunk) return -1;
  uint32_t blockSize = size > minSize ? size : minSize;
  uint8_t* block = static_cast<uint8_t*>(AllocTrackedZeroed(blockSize, "", 0));
  if (block == nullptr) return -1;
  if ((uint32_t)ReadSourceBytes(state, block, (int)size) != size ||
      CheckWaveFormat(reinterpret_cast<WAVEFORMATEX*>(block), size) < 0) {
    FreeTracked(block);
    return -1;
  }
  *chunk = block;
  *chunkSize = size;
  return 0;
}

int FindWaveData(SOUND_CONVERT_STATE* state, int fileSize) {
  for (;;) {
    char id[4];
    uint32_t size = 0;
    if (ReadChunkHeader(state, id, &size) < 0) return -1;
    int here = TellSource(state);
    if (memcmp(id, "data", 4) == 0) {
      // A data chunk that declares more than the file holds is cut to what is there.
      uint32_t left = fileSize > here ? (uint32_t)(fileSize - here) : 0;
      state->dataStart = here;
      state->dataSize = (int32_t)(size < left ? size : left);
      return 0;
    }
    uint64_t skip = (uint64_t)size + (size & 1);
    if (skip >= (uint64_t)fileSize - (uint64_t)here || fileSize <= here) return -1;
    SeekSource(state, (int)skip, 1);
  }
}
