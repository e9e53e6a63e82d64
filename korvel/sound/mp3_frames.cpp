// The MP3 reader through the Audio Compression Manager (method 1): the frame-header parser,
// the walk over the frames between the ID3 tags, and the MPEG Layer-3 format handed to the
// ACM. Decoding then runs as for a WAVE file through the ACM.
#include "sound/sound_platform.h"
#include <msacm.h>

#include <cstring>

#include "core/memory.h"
#include "sound/sound_source.h"

namespace {
typedef MMRESULT(WINAPI* AcmMetricsCall)(HACMOBJ, UINT, LPVOID);

// Bit rates in kbit/s for indexes 1 to 14: MPEG-1 Layer I, II, III, then MPEG-2 (low
// sampling frequencies) Layer I, II, III.
const uint16_t kBitRates[6][14] = {
    {32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448},
    {32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384},
    {32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320},
    {32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256},
    {8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160},
    {8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160},
};
const uint32_t kSampleRates[2][3] = {{44100, 48000, 32000}, {22050, 24000, 16000}};
// The smallest format block handed to the ACM when it names no largest format size.
const uint32_t kLayer3FormatSize = 30;

struct FRAME_WALK {
  int first;    // position of the first frame, -1 before one is found
  int dataEnd;  // end of the frame data
};

// Walks the frames from `skip`, stopping at `limit`: -1 refuses the file.
int WalkFrames(SOUND_CONVERT_STATE* state, int skip, int limit, FRAME_WALK* walk) {
  walk->first = -1;
  walk->dataEnd = 0;
  SeekSource(state, skip, 0);
  uint8_t header[4];
  for (;;) {
    if (ReadSourceBytes(state, header, 1) != 1) break;
    if (header[0] != 0xFF) continue;
    if (ReadSourceBytes(state, header + 1, 1) != 1) break;
    if ((header[1] & 0xF0) != 0xF0) {
      // The byte after a lone 0xFF may itself start a frame.
      SeekSource(state, -1, 1);
      continue;
    }
    int start = TellSource(state) - 2;
    MP3_FRAME_INFO info;
    if (ReadSourceBytes(state, header + 2, 2) != 2) break;
    if (ParseMp3FrameHeader(header, &info) != 0 || info.frameLength == 0) return -1;
    if (walk->first < 0) walk->first = start;
    state->acm.totalSamples += (int32_t)info.samplesPerFrame;
    int64_t end = (int64_t)start + info.frameLength;
    if (end < limit) {
      walk->dataEnd = (int)end;
      SeekSource(state, (int)end, 0);
      continue;
    }
    walk->dataEnd = end < limit ? (int)end : limit;
    return 0;
  }
  // The stream ended: the data ends with the last frame found (never past the limit).
  if (walk->dataEnd > limit) walk->dataEnd = limit;
  return 0;
}

// The bytes of the ID3v2 tag at the start, 0 without one.
int Id3v2Size(SOUND_CONVERT_STATE* state) {
  uint8_t tag[10];
  SeekSource(state, 0, 0);
  if (ReadSourceBytes(state, tag, 3) != 3 || memcmp(tag, "ID3", 3) != 0) return 0;
  if (ReadSourceBytes(state, tag + 3, 7) != 7) return 0;
  int size = (((tag[6] & 0x7F) * 128 + (tag[7] & 0x7F)) * 128 + (tag[8] & 0x7F)) * 128 + (tag[9] & 0x7F) + 10;
  if (tag[3] == 4 && (tag[5] & 0x10) != 0) size += 10;
  return size;
}

// The frame length at b and a key of its stream (version, layer, sample rate), MPEG 2.5
// included; 0 when b starts no frame.
uint32_t AnyMpegFrameAt(const uint8_t* b, uint32_t* key) {
  if (b[0] != 0xFF || (b[1] & 0xE0) != 0xE0) return 0;
  int version = (b[1] >> 3) & 3;  // 0 MPEG 2.5, 1 reserved, 2 MPEG-2, 3 MPEG-1
  if (version == 1) return 0;
  // An MPEG 2.5 header reads as MPEG-2 at twice the sample rate.
  const uint8_t header[4] = {b[0], (uint8_t)(b[1] | 0x10), b[2], b[3]};
  MP3_FRAME_INFO info;
  if (ParseMp3FrameHeader(header, &info) != 0 || info.frameLength == 0) return 0;
  *key = (uint32_t)(version << 8 | info.layer << 4 | info.sampleRateIndex);
  if (version != 0) return info.frameLength;
  uint32_t rate = info.sampleRate / 2;
  if (info.layer == 0) return (12000 * info.bitRate / rate + info.padding) * 4;
  return (info.layer == 2 ? 72000 : 144000) * info.bitRate / rate + info.padding;
}

// A free-format frame (bit-rate index 0) names no length: it runs to the next header of its
// stream, the same header but for the padding, private and mode-extension bits. No such
// frame is longer than this.
const uint32_t kFreeFormatReach = 8192;

bool SameFreeFormatHeader(const uint8_t* a, const uint8_t* b) {
  return b[0] == 0xFF && b[1] == a[1] && (b[2] & 0xFC) == (a[2] & 0xFC) && (b[3] & 0xCF) == (a[3] & 0xCF);
}

// 1 when b starts a free-format frame followed by a second one of its stream: the second
// frame's length is the first's, but for the padding slot of each, and it ends at the next
// header of the stream or at the end of the data (`available` bytes from b).
int FreeFormatFramesAt(const uint8_t* b, uint32_t available) {
  if (available < 8 || b[0] != 0xFF || (b[1] & 0xE0) != 0xE0) return 0;
  int version = (b[1] >> 3) & 3, layerBits = (b[1] >> 1) & 3;
  if (version == 1 || layerBits == 0 || (b[2] >> 4) != 0 || ((b[2] >> 2) & 3) == 3) return 0;
  uint32_t slot = layerBits == 3 ? 4 : 1;  // Layer I pads by four bytes
  uint32_t reach = available - 4 < kFreeFormatReach ? available - 4 : kFreeFormatReach;
  const uint8_t* second = b + 4;
  for (;; second++) {
    second = static_cast<const uint8_t*>(memchr(second, 0xFF, (size_t)(b + reach + 1 - second)));
    if (second == nullptr) return 0;
    if (SameFreeFormatHeader(b, second)) break;
  }
  uint32_t length = (uint32_t)(second - b);
  uint32_t secondLength = length - ((b[2] >> 1) & 1) * slot + ((second[2] >> 1) & 1) * slot;
  if (secondLength <= 4 || secondLength > available - length) return 0;
  if (secondLength == available - length) return 1;
  return secondLength + 4 <= available - length && SameFreeFormatHeader(b, second + secondLength) ? 1 : 0;
}

// The MPEG Layer-3 format of the first frame, in a tracked block the ACM's largest format size.
MPEGLAYER3WAVEFORMAT* MakeLayer3Format(const MP3_FRAME_INFO& info) {
  DWORD largest = 0;
  if (((AcmMetricsCall)AcmFunctions.acmMetrics)(nullptr, ACM_METRIC_MAX_SIZE_FORMAT, &largest) != 0) largest = 0;
  if (largest < kLayer3FormatSize || largest > 0x10000) largest = kLayer3FormatSize;
  if (largest < sizeof(MPEGLAYER3WAVEFORMAT)) largest = sizeof(MPEGLAYER3WAVEFORMAT);
  auto* f = static_cast<MPEGLAYER3WAVEFORMAT*>(AllocTrackedZeroed(largest, "", 0));
  if (f == nullptr) return nullptr;
  f->wfx.wFormatTag = WAVE_FORMAT_MPEGLAYER3;
  f->wfx.nChannels = info.channels;
  f->wfx.nSamplesPerSec = info.sampleRate;
  f->wfx.nAvgBytesPerSec = info.bitRate * 1000 / 8;
  f->wfx.nBlockAlign = 1;
  f->wfx.wBitsPerSample = 0;
  f->wfx.cbSize = MPEGLAYER3_WFX_EXTRA_BYTES;
  f->wID = MPEGLAYER3_ID_MPEG;
  f->fdwFlags = info.padding;
  f->nBlockSize = (WORD)info.frameLength;
  f->nFramesPerBlock = 1;
  f->nCodecDelay = 700;
  return f;
}
}  // namespace

int ParseMp3FrameHeader(const uint8_t* b, MP3_FRAME_INFO* info) {
  if (b[0] != 0xFF || (b[1] & 0xF0) != 0xF0) return -2;
  info->lowSamplingFrequency = (b[1] & 0x08) == 0 ? 1 : 0;
  int layer = 3 - ((b[1] >> 1) & 3);
  if (layer == 3) return -1;
  info->layer = (uint8_t)layer;
  info->bitRateIndex = b[2] >> 4;
  // Index 15 is forbidden; 0 (free format) names no bit rate, so no frame length either.
  if (info->bitRateIndex == 15 || info->bitRateIndex == 0) return -1;
  info->bitRate = kBitRates[info->lowSamplingFrequency * 3 + layer][info->bitRateIndex - 1];
  info->sampleRateIndex = (b[2] >> 2) & 3;
  if (info->sampleRateIndex == 3) return -1;
  info->sampleRate = kSampleRates[info->lowSamplingFrequency][info->sampleRateIndex];
  info->padding = (b[2] >> 1) & 1;
  info->channels = (b[3] >> 6) == 3 ? 1 : 2;
  if (layer == 0) {
    info->frameLength = (12000 * info->bitRate / info->sampleRate + info->padding) * 4;
    info->samplesPerFrame = 384;
  } else if (layer == 2 && info->lowSamplingFrequency) {
    info->frameLength = 72000 * info->bitRate / info->sampleRate + info->padding;
    info->samplesPerFrame = 576;
  } else {
    info->frameLength = 144000 * info->bitRate / info->sampleRate + info->padding;
    info->samplesPerFrame = 1152;
  }
  return 0;
}

int OpenMp3AcmConverter(SOUND_CONVERT_STATE* state) {
  memset(&state->acm, 0, sizeof(state->acm));
  state->acm.totalSamples = 0;
  if (!AcmFunctionsReady()) return -1;
  int fileSize = SourceFileSize(state);
  // A file of 128 bytes or less holds no frame outside a tag.
  if (fileSize <= 128) return -1;
  int skip = Id3v2Size(state);
  uint8_t tag[3];
  SeekSource(state, fileSize - 128, 0);
  int tail = ReadSourceBytes(state, tag, 3) == 3 && memcmp(tag, "TAG", 3) == 0 ? 128 : 0;
  int limit = fileSize - tail;
  FRAME_WALK walk;
  if (skip >= limit || WalkFrames(state, skip, limit, &walk) < 0 || walk.first < 0 || walk.dataEnd <= walk.first) {
    SeekSource(state, 0, 0);
    return -1;
  }
  uint8_t header[4];
  MP3_FRAME_INFO info;
  SeekSource(state, walk.first, 0);
  if (ReadSourceBytes(state, header, 4) != 4 || ParseMp3FrameHeader(header, &info) != 0) return -1;
  state->acm.acmSourceFormat = reinterpret_cast<WAVEFORMATEX*>(MakeLayer3Format(info));
  state->dataStart = walk.first;
  state->dataSize = walk.dataEnd - walk.first;
  state->acm.acmSourceSize = state->dataSize;
  if (state->acm.acmSourceFormat == nullptr || OpenAcmStreams(state, 4) < 0) {  // four thirds of a second
    CloseAcmConverter(state);
    SeekSource(state, 0, 0);
    return -1;
  }
  return 0;
}

int HoldsMpegAudioFrames(const uint8_t* bytes, int size) {
  if (bytes == nullptr || size < 8) return 0;
  int start = 0;
  if (size >= 10 && memcmp(bytes, "ID3", 3) == 0) {
    start = (((bytes[6] & 0x7F) * 128 + (bytes[7] & 0x7F)) * 128 + (bytes[8] & 0x7F)) * 128 + (bytes[9] & 0x7F) + 10;
    if (bytes[3] == 4 && (bytes[5] & 0x10) != 0) start += 10;
  }
  int end = size > 128 && memcmp(bytes + size - 128, "TAG", 3) == 0 ? size - 128 : size;
  for (int at = start; at + 4 <= end; at++) {
    uint32_t key = 0, nextKey = 0;
    uint32_t length = AnyMpegFrameAt(bytes + at, &key);
    if (length == 0 && FreeFormatFramesAt(bytes + at, (uint32_t)(end - at))) return 1;
    if (length == 0 || (int64_t)at + length + 4 > end) continue;
    if (AnyMpegFrameAt(bytes + at + length, &nextKey) != 0 && nextKey == key) return 1;
  }
  return 0;
}
