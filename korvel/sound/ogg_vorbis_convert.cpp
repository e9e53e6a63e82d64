// The Ogg Vorbis reader of the converter: vorbisfile over the converter's own stream source.
// One vorbisfile build serves both values of the vorbis selector, which is kept in the state.
// After the decoder reports an error, or a seek fails, the handle is not read again
// (vorbisfile's state is not to be trusted then: a seek back and another read can divide by
// zero inside it); the next seek opens the file anew. A chained file ends where a link of
// another channel count or rate begins.
#include <climits>
#include <cstdint>

#include "core/log.h"
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

// The links from the first on that share its channel count and rate.
int32_t LinksOfTheFirstFormat(OggVorbis_File* file) {
  long links = ov_streams(file);
  vorbis_info* first = ov_info(file, 0);
  int32_t same = 1;
  while (same < links) {
    vorbis_info* info = ov_info(file, same);
    if (info == nullptr || info->channels != first->channels || info->rate != first->rate) break;
    same++;
  }
  return same;
}

// Opens vorbisfile over the source: seekable, or as a plain stream of pages from the first
// byte (no seeking and no totals then).
int OpenOggFile(SOUND_CONVERT_STATE* state, int streamed) {
  ov_callbacks callbacks = kCallbacks;
  if (streamed) {
    callbacks.seek_func = nullptr;
    callbacks.tell_func = nullptr;
    if (state->source.ops.seek(state->source.handle, 0, 0) != 0) return -1;
  }
  if (ov_open_callbacks(&state->source, &state->ogg.oggFile, nullptr, 0, callbacks) != 0) return -1;
  state->ogg.oggOpen = 1;
  state->ogg.oggStreamed = streamed;
  return 0;
}

// Decoding from the first sample again. Where the first link's audio is a single page that is
// also the file's last audio page (a Vorbis track muxed behind Theora), vorbisfile finds no
// page to seek by, and reading on after a failed seek is not safe: the file is opened anew as
// a stream of pages, which decodes from its first page.
int RestartOgg(SOUND_CONVERT_STATE* state) {
  if (!state->ogg.oggStreamed && ov_pcm_seek(&state->ogg.oggFile, 0) == 0) return 0;
  CloseOggVorbisConverter(state);
  if (OpenOggFile(state, 1) != 0) return -1;
  vorbis_info* info = ov_info(&state->ogg.oggFile, 0);
  if (info != nullptr && info->channels == state->format.nChannels && info->rate == (long)state->format.nSamplesPerSec)
    return 0;
  CloseOggVorbisConverter(state);
  return -1;
}

// The frames of the leading links of the first format.
long long FramesOfTheFirstFormat(OggVorbis_File* file, int32_t links) {
  long long frames = 0;
  for (int link = 0; link < links; link++) {
    ogg_int64_t linkFrames = ov_pcm_total(file, link);
    if (linkFrames > 0) frames += linkFrames < INT_MAX ? linkFrames : INT_MAX;
  }
  return frames;
}

// A decoder error or a failed seek: the data ends here, until a seek opens the file anew.
int FailOgg(SOUND_CONVERT_STATE* state) {
  state->ogg.oggFailed = 1;
  return -1;
}

// The file opened anew exactly as the set-up opened it, decoding from the first sample.
int ReopenOgg(SOUND_CONVERT_STATE* state) {
  CloseOggVorbisConverter(state);
  state->ogg.oggFailed = 0;
  if (state->source.ops.seek(state->source.handle, 0, 0) != 0 || OpenOggFile(state, 0) != 0) return -1;
  vorbis_info* info = ov_info(&state->ogg.oggFile, 0);
  if (info == nullptr || info->channels != state->format.nChannels || info->rate != (long)state->format.nSamplesPerSec) {
    CloseOggVorbisConverter(state);
    return -1;
  }
  if (ov_pcm_tell(&state->ogg.oggFile) != 0 && RestartOgg(state) != 0) return -1;
  return 0;
}

uint32_t BlockHash(const uint8_t* bytes, int size) {
  uint32_t hash = 2166136261u;  // FNV-1a
  for (int i = 0; i < size; i++) hash = (hash ^ bytes[i]) * 16777619u;
  return hash;
}

// 1 when the block just decoded is the first one after the open, from the same place.
int IsFirstBlock(SOUND_CONVERT_STATE* state) {
  return state->blockHeld == state->ogg.oggFirstBytes &&
         BlockHash(state->block, state->blockHeld) == state->ogg.oggFirstHash &&
         ov_raw_tell(&state->ogg.oggFile) == state->ogg.oggFirstEnd;
}

// Back to the first sample with its block decoded. vorbisfile's seek is tried first (cheap for
// a short loop); in a damaged file it can land elsewhere, or nowhere, so unless it decodes
// the open's first block from the same place the file is opened anew.
int RewindOgg(SOUND_CONVERT_STATE* state) {
  if (!state->ogg.oggFailed && !state->ogg.oggStreamed && ov_pcm_seek(&state->ogg.oggFile, 0) == 0 &&
      ReadOggVorbisBlock(state) == 0 && IsFirstBlock(state))
    return 0;
  return ReopenOgg(state) == 0 && ReadOggVorbisBlock(state) == 0 ? 0 : -1;
}

// Decodes from the first sample and drops what comes before the output byte `target` (a
// whole frame): the block keeps what follows it in the block decoded last. -1 when the data
// ends first.
int DecodeUpTo(SOUND_CONVERT_STATE* state, long long target) {
  if (ReopenOgg(state) != 0) return -1;
  long long at = 0;
  while (ReadOggVorbisBlock(state) == 0) {
    if (at + state->blockHeld > target) {
      state->blockOffset = (int32_t)(target - at);
      state->blockHeld -= state->blockOffset;
      return 0;
    }
    at += state->blockHeld;
  }
  return -1;
}
}  // namespace

int OpenOggVorbisConverter(SOUND_CONVERT_STATE* state) {
  state->ogg.oggOpen = 0;
  state->ogg.oggFailed = 0;
  int word = state->oggBytesPerSample;
  if (word != 1 && word != 2) return -1;
  if (OpenOggFile(state, 0) != 0) return -1;
  OggVorbis_File* file = &state->ogg.oggFile;
  vorbis_info* info = ov_info(file, 0);
  if (info == nullptr || info->channels <= 0 || info->rate <= 0) {
    CloseOggVorbisConverter(state);
    return -1;
  }
  state->ogg.oggLinks = LinksOfTheFirstFormat(file);
  if (state->ogg.oggLinks < ov_streams(file))
    AddLogLineFormat("Ogg Vorbis のリンク %d からチャンネル数かサンプリングレートが変わるので、音声はその前で終わります",
                     (int)state->ogg.oggLinks);
  state->ogg.oggFrames = FramesOfTheFirstFormat(file, state->ogg.oggLinks);
  state->format = MakePcmFormat(info->channels, (int)info->rate, 8 * word);
  state->ogg.oggWordSize = word;
  // A file whose first link's audio sits in one page is left past that link by the open: its
  // decoding starts from the first sample again.
  if (ov_pcm_tell(file) != 0 && RestartOgg(state) != 0) {
    CloseOggVorbisConverter(state);
    return -1;
  }
  state->ogg.oggFirstPending = 1;
  state->blockSize = kBlockBytes;
  state->dataSize = GetOggVorbisConverterSize(state);
  state->method = SOUND_METHOD_OGG_VORBIS;
  return 0;
}

int ReadOggVorbisBlock(SOUND_CONVERT_STATE* state) {
  if (state->ogg.oggFailed || !state->ogg.oggOpen) return -1;
  int word = state->ogg.oggWordSize;
  for (int holes = 0; holes < kHolesInARow; holes++) {
    int link = 0;
    long n = ov_read(&state->ogg.oggFile, reinterpret_cast<char*>(state->block), state->blockSize, 0, word,
                     word == 1 ? 0 : 1, &link);
    if (n > 0) {
      // The samples of a link in another format are not this sound's.
      if (link < 0 || link >= state->ogg.oggLinks) return -1;
      state->blockHeld = (int32_t)n;
      if (state->ogg.oggFirstPending) {
        state->ogg.oggFirstPending = 0;
        state->ogg.oggFirstBytes = state->blockHeld;
        state->ogg.oggFirstHash = BlockHash(state->block, state->blockHeld);
        state->ogg.oggFirstEnd = ov_raw_tell(&state->ogg.oggFile);
      }
      return 0;
    }
    if (n == 0) return -1;
    // A hole is read past; a broken link or any other error ends the data for good.
    if (n != OV_HOLE) return FailOgg(state);
  }
  return -1;
}

// A seek lands where a block can be decoded, which the block then holds; otherwise it fails
// and reads give nothing until the next seek. Every pass from the first sample decodes what
// the set-up's did. Another sample is sought by vorbisfile; where that fails or finds nothing
// to decode, by decoding from the first sample up to it. A sample at or past the total the
// file claims is not sought.
int SeekOggVorbisConverter(SOUND_CONVERT_STATE* state, int samplePosition) {
  int align = state->format.nBlockAlign;
  int sample = samplePosition > 0 ? samplePosition : 0;
  long long target = (long long)sample * align;
  state->blockHeld = 0;
  state->blockOffset = 0;
  state->position = (int32_t)(target < INT_MAX ? target : INT_MAX);
  int landed = -1;
  if (sample == 0) {
    landed = RewindOgg(state);
  } else if (target < GetOggVorbisConverterSize(state)) {
    if (!state->ogg.oggFailed && !state->ogg.oggStreamed && ov_pcm_seek(&state->ogg.oggFile, sample) == 0)
      landed = ReadOggVorbisBlock(state);
    if (landed != 0) landed = DecodeUpTo(state, target);
  }
  if (landed != 0) {
    state->blockHeld = 0;
    FailOgg(state);
  }
  return landed;
}

// The total PCM bytes of the leading links of the first format (counted at the open); a size beyond the 32-bit
// range is cut to whole frames.
int GetOggVorbisConverterSize(SOUND_CONVERT_STATE* state) {
  long long frames = state->ogg.oggFrames;
  long long frameBytes = (long long)state->format.nChannels * state->ogg.oggWordSize;
  if (frames <= 0 || frameBytes <= 0) return 0;
  long long bytes = frames * frameBytes;
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
