// The Ogg Vorbis reader of the converter: vorbisfile over the converter's own stream source.
// One vorbisfile build serves both values of the vorbis selector, which is kept in the state.
#include <climits>
#include <cstdint>

#include "sound/sound_convert.h"

namespace {
const int kBlockBytes = 4096;
// A hole in the data is skipped; this many in a row end the data.
const int kHolesInARow = 64;

size_t OggReadCallback(void* pointer, size_t size, size_t count, void* dataSource) {
  STREAM_SOURCE* source = static_cast<STREAM_SOURCE*>(dataSource);
  if (source == nullptr) return (size_t)-1;
  int read = source->ops.read(pointer, (int)size, (int)count, source->handle);
  return read > 0 ? (size_t)read : 0;
}

int OggSeekCallback(void* dataSource, ogg_int64_t offset, int origin) {
  STREAM_SOURCE* source = static_cast<STREAM_SOURCE*>(dataSource);
  if (source == nullptr) return -1;
  return source->ops.seek(source->handle, (int)(uint32_t)(uint64_t)offset, origin);
}

long OggTellCallback(void* dataSource) {
  STREAM_SOURCE* source = static_cast<STREAM_SOURCE*>(dataSource);
  if (source == nullptr) return -1;
  return source->ops.tell(source->handle);
}

// The stream belongs to the converter's caller.
int OggCloseCallback(void*) { return 0; }

const ov_callbacks kCallbacks = {OggReadCallback, OggSeekCallback, OggCloseCallback, OggTellCallback};
}  // namespace

int OpenOggVorbisConverter(SOUND_CONVERT_STATE* state) {
  state->ogg.oggOpen = 0;
  int word = state->oggBytesPerSample;
  if (word != 1 && word != 2) return -1;
  if (ov_open_callbacks(&state->source, &state->ogg.oggFile, nullptr, 0, kCallbacks) != 0) return -1;
  state->ogg.oggOpen = 1;
  vorbis_info* info = ov_info(&state->ogg.oggFile, -1);
  if (info == nullptr || info->channels <= 0 || info->rate <= 0) {
    CloseOggVorbisConverter(state);
    return -1;
  }
  state->format = MakePcmFormat(info->channels, (int)info->rate, 8 * word);
  state->ogg.oggWordSize = word;
  state->blockSize = kBlockBytes;
  state->dataSize = GetOggVorbisConverterSize(state);
  state->method = SOUND_METHOD_OGG_VORBIS;
  return 0;
}

int ReadOggVorbisBlock(SOUND_CONVERT_STATE* state) {
  int word = state->ogg.oggWordSize;
  for (int holes = 0; holes < kHolesInARow; holes++) {
    int bitStream = 0;
    long n = ov_read(&state->ogg.oggFile, reinterpret_cast<char*>(state->block), state->blockSize, 0, word,
                     word == 1 ? 0 : 1, &bitStream);
    if (n > 0) {
      state->blockHeld = (int32_t)n;
      return 0;
    }
    // The end, a broken link or a bad call end the data; only a hole is read past.
    if (n != OV_HOLE) return -1;
  }
  return -1;
}

int SeekOggVorbisConverter(SOUND_CONVERT_STATE* state, int samplePosition) {
  ov_pcm_seek(&state->ogg.oggFile, (ogg_int64_t)samplePosition);
  state->blockHeld = 0;
  state->blockOffset = 0;
  state->position = samplePosition * state->format.nBlockAlign;
  return 0;
}

// The total PCM bytes of all links; a size beyond the 32-bit range is cut to whole frames.
int GetOggVorbisConverterSize(SOUND_CONVERT_STATE* state) {
  ogg_int64_t frames = ov_pcm_total(&state->ogg.oggFile, -1);
  if (frames <= 0) return 0;
  long long frameBytes = (long long)state->format.nChannels * state->ogg.oggWordSize;
  if (frameBytes <= 0) return 0;
  long long bytes = (long long)frames * frameBytes;
  if (bytes > INT_MAX) bytes = INT_MAX / frameBytes * frameBytes;
  return (int)bytes;
}

int CloseOggVorbisConverter(SOUND_CONVERT_STATE* state) {
  if (state->ogg.oggOpen == 1) {
    ov_clear(&state->ogg.oggFile);
    state->ogg.oggOpen = 0;
  }
  return 0;
}
