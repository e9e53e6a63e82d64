// The format block of a WAVE file, checked before any reader or codec sees it: the fields
// every sound needs, the layout each known codec requires of its block (so that no codec is
// handed a block it would read past or divide by), and the extensible layout of PCM and
// IEEE-float files turned into the plain tags. Also the ADPCM block headers of the data,
// whose table indexes a codec would follow without a check. And the header written in front
// of a format block and its data.
#include "sound/wave_format.h"

#include <cstring>

namespace {
const uint16_t kTagExtensible = 0xFFFE;
const uint16_t kTagMsAdpcm = 0x0002;
const uint16_t kTagALaw = 0x0006;
const uint16_t kTagMuLaw = 0x0007;
const uint16_t kTagImaAdpcm = 0x0011;
const uint16_t kTagGsm610 = 0x0031;
const uint16_t kTagMpeg = 0x0050;
const uint16_t kTagMpegLayer3 = 0x0055;

const uint32_t kMaxChannels = 32;
const uint32_t kMinRate = 1000;
const uint32_t kMaxRate = 768000;
// The sub-format of an extensible block: the plain tag in the first two bytes, then this tail.
const uint8_t kSubFormatTail[14] = {0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80, 0x00,
                                    0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};
const uint32_t kExtensibleExtra = 22;
// The last entry of the IMA ADPCM step table.
const uint8_t kImaLastStepIndex = 88;

void PutU32(uint8_t* at, uint32_t value) { memcpy(at, &value, 4); }

uint16_t U16At(const WAVEFORMATEX* f, uint32_t offset) {
  const uint8_t* p = reinterpret_cast<const uint8_t*>(f) + offset;
  return (uint16_t)(p[0] | (p[1] << 8));
}

// The extra bytes after the 18-byte head that the block really has.
uint32_t ExtraBytes(const WAVEFORMATEX* f, uint32_t chunkSize) {
  return chunkSize >= sizeof(WAVEFORMATEX) ? f->cbSize : 0;
}

// Frames of whole bytes per sample: the block align is the channels times the container.
bool WholeSampleFrames(const WAVEFORMATEX* f) {
  if (f->wBitsPerSample == 0) return false;
  uint32_t container = (f->wBitsPerSample + 7u) / 8u;
  return f->nBlockAlign == f->nChannels * container;
}

// Samples per block of a 4-bit ADPCM block of `header` bytes per channel before its nibbles,
// plus the samples the header itself holds.
uint32_t AdpcmSamples(const WAVEFORMATEX* f, uint32_t header, uint32_t inHeader) {
  return (f->nBlockAlign - header * f->nChannels) * 2u / f->nChannels + inHeader;
}

bool MsAdpcmIsConsistent(const WAVEFORMATEX* f, uint32_t extra) {
  if (f->nChannels > 2 || f->wBitsPerSample != 4 || extra < 4) return false;
  if (f->nBlockAlign <= 7u * f->nChannels) return false;
  uint32_t coefficients = U16At(f, 20);
  if (coefficients < 7 || coefficients > 256 || extra < 4 + 4 * coefficients) return false;
  return U16At(f, 18) == AdpcmSamples(f, 7, 2);
}

bool ImaAdpcmIsConsistent(const WAVEFORMATEX* f, uint32_t extra) {
  if (f->nChannels > 2 || f->wBitsPerSample != 4 || extra < 2) return false;
  uint32_t header = 4u * f->nChannels;
  // After the headers the block holds words of 4 bytes per channel in turn.
  if (f->nBlockAlign <= header || (f->nBlockAlign - header) % header != 0) return false;
  return U16At(f, 18) == AdpcmSamples(f, 4, 1);
}

bool CodecBlockIsConsistent(const WAVEFORMATEX* f, uint32_t extra) {
  switch (f->wFormatTag) {
    case WAVE_FORMAT_PCM:
      return f->wBitsPerSample <= 32 && WholeSampleFrames(f);
    case WAVE_FORMAT_IEEE_FLOAT:
      return (f->wBitsPerSample == 32 || f->wBitsPerSample == 64) && WholeSampleFrames(f);
    case kTagALaw:
    case kTagMuLaw:
      return f->wBitsPerSample == 8 && f->nBlockAlign == f->nChannels;
    case kTagMsAdpcm:
      return MsAdpcmIsConsistent(f, extra);
    case kTagImaAdpcm:
      return ImaAdpcmIsConsistent(f, extra);
    case kTagGsm610:
      return f->nChannels == 1 && f->nBlockAlign == 65 && extra >= 2 && U16At(f, 18) == 320;
    case kTagMpegLayer3:
      return f->nChannels <= 2 && extra >= 12;
    case kTagMpeg:
      return f->nChannels <= 2 && extra >= 22;
    case kTagExtensible:
      return false;  // only the PCM and float sub-formats are read, as their plain tags
    default:
      return true;  // a codec of its own: the common fields are all that can be checked
  }
}

// The extensible block of a PCM or float file becomes the plain tag with the container's
// width; -1 for another sub-format or a block too short for the layout.
int FlattenExtensible(WAVEFORMATEX* f, uint32_t extra) {
  if (extra < kExtensibleExtra) return -1;
  uint16_t validBits = U16At(f, 18);
  const uint8_t* subFormat = reinterpret_cast<const uint8_t*>(f) + 24;
  if (memcmp(subFormat + 2, kSubFormatTail, sizeof(kSubFormatTail)) != 0) return -1;
  uint16_t tag = (uint16_t)(subFormat[0] | (subFormat[1] << 8));
  if (tag != WAVE_FORMAT_PCM && tag != WAVE_FORMAT_IEEE_FLOAT) return -1;
  if (validBits > f->wBitsPerSample) return -1;
  f->wFormatTag = tag;
  f->cbSize = 0;
  return 0;
}
}  // namespace

void FixShortPcmFormat(WAVEFORMATEX* format, uint32_t chunkSize) {
  if (chunkSize != 16 || format->wFormatTag != WAVE_FORMAT_PCM) return;
  format->wBitsPerSample = (WORD)(format->nBlockAlign / format->nChannels * 8);
  format->cbSize = 0;
}

int CheckWaveFormat(WAVEFORMATEX* format, uint32_t chunkSize) {
  if (chunkSize < 16) return -1;
  if (format->nChannels == 0 || format->nChannels > kMaxChannels || format->nBlockAlign == 0 ||
      format->nSamplesPerSec < kMinRate || format->nSamplesPerSec > kMaxRate || format->nAvgBytesPerSec == 0)
    return -1;
  if (chunkSize < sizeof(WAVEFORMATEX)) format->cbSize = 0;
  uint32_t extra = ExtraBytes(format, chunkSize);
  if (chunkSize >= sizeof(WAVEFORMATEX) && sizeof(WAVEFORMATEX) + extra > chunkSize) return -1;
  FixShortPcmFormat(format, chunkSize);
  if (format->wFormatTag == kTagExtensible && FlattenExtensible(format, extra) < 0) return -1;
  return CodecBlockIsConsistent(format, ExtraBytes(format, chunkSize)) ? 0 : -1;
}

int32_t DecodableWaveData(const WAVEFORMATEX* format, const uint8_t* data, int32_t size) {
  uint32_t align = format->nBlockAlign, channels = format->nChannels;
  if (format->wFormatTag != kTagMsAdpcm && format->wFormatTag != kTagImaAdpcm) return size;
  uint32_t coefficients = U16At(format, 20);
  for (int64_t block = 0; block + (int64_t)align <= (int64_t)size; block += align) {
    const uint8_t* header = data + block;
    for (uint32_t c = 0; c < channels; c++) {
      // MS ADPCM: a predictor byte per channel first; IMA ADPCM: a sample, a step index and a
      // reserved byte per channel.
      bool sound = format->wFormatTag == kTagMsAdpcm ? header[c] < coefficients : header[4 * c + 2] <= kImaLastStepIndex;
      if (!sound) return (int32_t)block;
    }
  }
  return size;
}

void WriteWaveFileHeader(uint8_t* out, const void* format, uint32_t formatBytes, uint32_t dataBytes) {
  memcpy(out, "RIFF", 4);
  // The RIFF size counts what follows its own field.
  PutU32(out + 4, WAVE_HEADER_BYTES - 8 + formatBytes + dataBytes);
  memcpy(out + 8, "WAVEfmt ", 8);
  PutU32(out + 16, formatBytes);
  if (formatBytes > 0) memcpy(out + 20, format, formatBytes);
  memcpy(out + 20 + formatBytes, "data", 4);
  PutU32(out + 24 + formatBytes, dataBytes);
}
