// Decoding through the Audio Compression Manager (method 1): the WAVE-through-ACM reader and
// the block reads, seeks and release it shares with the MP3 reader. The whole source data is
// in memory; a main stream decodes what reads deliver and a standby stream over the same data
// stands ready for backward seeks.
#include "sound/sound_platform.h"
#include <msacm.h>

#include <cstring>

#include "core/memory.h"
#include "sound/sound_source.h"
#include "sound/wave_format.h"

namespace {
typedef MMRESULT(WINAPI* AcmFormatSuggestCall)(HACMDRIVER, LPWAVEFORMATEX, LPWAVEFORMATEX, DWORD, DWORD);
typedef MMRESULT(WINAPI* AcmStreamOpenCall)(LPHACMSTREAM, HACMDRIVER, LPWAVEFORMATEX, LPWAVEFORMATEX, LPWAVEFILTER,
                                            DWORD_PTR, DWORD_PTR, DWORD);
typedef MMRESULT(WINAPI* AcmStreamCloseCall)(HACMSTREAM, DWORD);
typedef MMRESULT(WINAPI* AcmStreamHeaderCall)(HACMSTREAM, LPACMSTREAMHEADER, DWORD);
typedef MMRESULT(WINAPI* AcmStreamSizeCall)(HACMSTREAM, DWORD, LPDWORD, DWORD);

// Each conversion takes at most this many source bytes (at least one block of the codec).
const int kSourceStep = 2048;
// The standby stream decodes ahead only while its target is further away than this.
const int kStandbyLead = 10240;
// An output format of more bytes per second than this is not taken.
const uint32_t kMaxOutputPerSecond = 1u << 24;

HANDLE OpenStream(SOUND_CONVERT_STATE* state) {
  HACMSTREAM stream = nullptr;
  MMRESULT result = ((AcmStreamOpenCall)AcmFunctions.acmStreamOpen)(
      &stream, nullptr, state->acm.acmSourceFormat, &state->format, nullptr, 0, 0, ACM_STREAMOPENF_NONREALTIME);
  return result == 0 ? (HANDLE)stream : nullptr;
}

void CloseStream(HANDLE* stream) {
  if (*stream != nullptr) ((AcmStreamCloseCall)AcmFunctions.acmStreamClose)((HACMSTREAM)*stream, 0);
  *stream = nullptr;
}

// Closes a stream and opens it again at the start of the data; -1 when it cannot be opened.
int ReopenStream(SOUND_CONVERT_STATE* state, HANDLE* stream) {
  CloseStream(stream);
  *stream = OpenStream(state);
  return *stream != nullptr ? 0 : -1;
}

// One conversion of the source data from `used` into the destination: the destination bytes
// made and the source bytes taken; -1 when the header cannot be prepared.
int ConvertOnce(SOUND_CONVERT_STATE* state, HANDLE stream, int used, uint8_t* destination, int destinationSize,
                int* made, int* taken) {
  *made = 0;
  *taken = 0;
  if (stream == nullptr) return -1;
  int left = state->acm.acmSourceSize - used;
  int step = kSourceStep;
  if (step < state->acm.acmSourceFormat->nBlockAlign) step = state->acm.acmSourceFormat->nBlockAlign;
  ACMSTREAMHEADER header = {};
  header.cbStruct = sizeof(header);
  header.pbSrc = state->acm.acmSourceData + used;
  header.cbSrcLength = (DWORD)(left < step ? left : step);
  header.pbDst = destination;
  header.cbDstLength = (DWORD)destinationSize;
  HACMSTREAM handle = (HACMSTREAM)stream;
  if (((AcmStreamHeaderCall)AcmFunctions.acmStreamPrepareHeader)(handle, &header, 0) != 0) return -1;
  ((AcmStreamHeaderCall)AcmFunctions.acmStreamConvert)(handle, &header, ACM_STREAMCONVERTF_BLOCKALIGN);
  *made = (int)(header.cbDstLengthUsed < header.cbDstLength ? header.cbDstLengthUsed : header.cbDstLength);
  *taken = (int)(header.cbSrcLengthUsed < header.cbSrcLength ? header.cbSrcLengthUsed : header.cbSrcLength);
  ((AcmStreamHeaderCall)AcmFunctions.acmStreamUnprepareHeader)(handle, &header, 0);
  return 0;
}

// The output of a conversion in whole frames: the codec makes part of a frame from a source
// cut inside its last frame (a lone byte of stereo A-law), which is dropped, so that block
// reads, seeks and the whole conversion count the same frames.
int WholeFrames(const SOUND_CONVERT_STATE* state, int made) { return made - made % state->format.nBlockAlign; }

// Moves the standby stream toward standbyTarget, restarting it when it has passed it.
int StepStandby(SOUND_CONVERT_STATE* state) {
  auto& acm = state->acm;
  if (acm.standbyOutput == state->standbyTarget) return 0;
  if (acm.standbyOutput > state->standbyTarget) {
    acm.standbyOutput = 0;
    acm.standbySourceUsed = 0;
    return ReopenStream(state, &acm.acmStandbyStream);
  }
  if (acm.standbyOutput >= state->standbyTarget - kStandbyLead) return 0;
  int room = state->blockSize;
  if (room > state->standbyTarget - acm.standbyOutput) room = state->standbyTarget - acm.standbyOutput;
  int made = 0, taken = 0;
  if (ConvertOnce(state, acm.acmStandbyStream, acm.standbySourceUsed, acm.standbyBuffer, room, &made, &taken) < 0)
    return -1;
  acm.standbyOutput += WholeFrames(state, made);
  acm.standbySourceUsed += taken;
  return 0;
}
}  // namespace

int AcmFunctionsReady() { return AcmFunctions.loaded ? 1 : 0; }

int OpenAcmStreams(SOUND_CONVERT_STATE* state, int blockThirds) {
  auto& acm = state->acm;
  WAVEFORMATEX& out = state->format;
  memset(&out, 0, sizeof(out));
  out.wFormatTag = WAVE_FORMAT_PCM;
  if (((AcmFormatSuggestCall)AcmFunctions.acmFormatSuggest)(nullptr, acm.acmSourceFormat, &out, sizeof(WAVEFORMATEX),
                                                            ACM_FORMATSUGGESTF_WFORMATTAG) != 0)
    return -1;
  if (out.wFormatTag != WAVE_FORMAT_PCM || out.nBlockAlign == 0 || out.nAvgBytesPerSec == 0 ||
      out.nAvgBytesPerSec > kMaxOutputPerSecond)
    return -1;
  // The whole source data in memory (what the file really holds of it).
  acm.acmSourceData = static_cast<uint8_t*>(AllocTracked(acm.acmSourceSize > 0 ? acm.acmSourceSize : 1, "", 0));
  if (acm.acmSourceData == nullptr) return -1;
  acm.acmSourceUsed = 0;
  SeekSource(state, state->dataStart, 0);
  acm.acmSourceSize = ReadSourceBytes(state, acm.acmSourceData, acm.acmSourceSize);
  acm.acmSourceSize = DecodableWaveData(acm.acmSourceFormat, acm.acmSourceData, acm.acmSourceSize);
  state->dataSize = acm.acmSourceSize;
  SeekSource(state, state->dataStart, 0);
  acm.acmStream = OpenStream(state);
  if (acm.acmStream == nullptr) return -1;
  acm.acmStandbyStream = OpenStream(state);
  if (acm.acmStandbyStream == nullptr) return -1;
  // Blocks of whole frames, at least one.
  state->blockSize = (int32_t)((uint64_t)out.nAvgBytesPerSec * blockThirds / 3);
  state->blockSize -= state->blockSize % out.nBlockAlign;
  if (state->blockSize < out.nBlockAlign) state->blockSize = out.nBlockAlign;
  acm.standbyBuffer = static_cast<uint8_t*>(AllocTracked((size_t)state->blockSize, "", 0));
  if (acm.standbyBuffer == nullptr) return -1;
  state->method = SOUND_METHOD_ACM;
  return 0;
}

int OpenWaveAcmConverter(SOUND_CONVERT_STATE* state) {
  memset(&state->acm, 0, sizeof(state->acm));
  state->acm.totalSamples = -1;
  if (!AcmFunctionsReady()) return -1;
  int fileSize = SourceFileSize(state);
  uint8_t* chunk = nullptr;
  uint32_t chunkSize = 0;
  if (ReadWaveFormatChunk(state, sizeof(WAVEFORMATEX), &chunk, &chunkSize) < 0) return -1;
  // The block was checked against its codec's layout before any codec sees it.
  state->acm.acmSourceFormat = reinterpret_cast<WAVEFORMATEX*>(chunk);
  if (FindWaveData(state, fileSize) < 0) {
    CloseAcmConverter(state);
    return -1;
  }
  state->acm.acmSourceSize = state->dataSize;
  if (OpenAcmStreams(state, 3) < 0) {  // one second per block
    CloseAcmConverter(state);
    return -1;
  }
  return 0;
}

int ReadAcmBlock(SOUND_CONVERT_STATE* state) {
  auto& acm = state->acm;
  if (StepStandby(state) < 0) return -1;
  // A call that takes source bytes without giving output (a codec filling its delay) is
  // followed by the next; only a call that neither takes nor gives ends the data.
  while (acm.acmSourceUsed < acm.acmSourceSize) {
    int made = 0, taken = 0;
    if (ConvertOnce(state, acm.acmStream, acm.acmSourceUsed, state->block, state->blockSize, &made, &taken) < 0)
      return -1;
    acm.acmSourceUsed += taken;
    made = WholeFrames(state, made);
    if (made > 0) {
      state->blockHeld = made;
      return 0;
    }
    if (taken == 0) break;
  }
  state->blockHeld = 0;
  acm.acmSourceUsed = acm.acmSourceSize;
  return -1;
}

int SeekAcmConverter(SOUND_CONVERT_STATE* state, int samplePosition) {
  auto& acm = state->acm;
  int64_t target64 = (int64_t)samplePosition * state->format.nBlockAlign;
  int target = target64 < 0 ? 0 : target64 > 0x7FFFFFFF ? 0x7FFFFFFF : (int)target64;
  if (target >= state->position && target <= state->position + state->blockHeld) {
    int step = target - state->position;
    state->blockOffset += step;
    state->blockHeld -= step;
    state->position = target;
    return 0;
  }
  if (target < state->position) {
    if (target >= acm.standbyOutput && acm.acmStandbyStream != nullptr) {
      // The standby stream takes over; the former main stream becomes the new standby.
      HANDLE former = acm.acmStream;
      acm.acmStream = acm.acmStandbyStream;
      acm.acmStandbyStream = former;
      acm.acmSourceUsed = acm.standbySourceUsed;
      state->position = acm.standbyOutput;
      ReopenStream(state, &acm.acmStandbyStream);
      acm.standbySourceUsed = 0;
      acm.standbyOutput = 0;
    } else {
      ReopenStream(state, &acm.acmStream);
      SeekSource(state, state->dataStart, 0);
      acm.acmSourceUsed = 0;
      state->position = 0;
    }
    state->blockHeld = 0;
    state->blockOffset = 0;
  }
  while (state->position + state->blockHeld < target) {
    state->position += state->blockHeld;
    state->blockHeld = 0;
    state->blockOffset = 0;
    if (ReadAcmBlock(state) < 0) {
      state->blockHeld = 0;
      state->endReached = 1;
      return 0;
    }
  }
  int step = target - state->position;
  state->blockOffset += step;
  state->blockHeld -= step;
  state->position = target;
  return 0;
}

int GetAcmConverterSize(SOUND_CONVERT_STATE* state) {
  if (state->acm.totalSamples != -1) return state->acm.totalSamples * state->format.nBlockAlign;
  DWORD bytes = 0;
  if (((AcmStreamSizeCall)AcmFunctions.acmStreamSize)((HACMSTREAM)state->acm.acmStream, (DWORD)state->dataSize, &bytes,
                                                      ACM_STREAMSIZEF_SOURCE) != 0)
    return -1;
  return bytes > 0x7FFFFFFF ? 0x7FFFFFFF : (int)bytes;
}

int CloseAcmConverter(SOUND_CONVERT_STATE* state) {
  auto& acm = state->acm;
  FreeTracked(acm.acmSourceFormat);
  acm.acmSourceFormat = nullptr;
  FreeTracked(acm.standbyBuffer);
  acm.standbyBuffer = nullptr;
  CloseStream(&acm.acmStream);
  CloseStream(&acm.acmStandbyStream);
  FreeTracked(acm.acmSourceData);
  acm.acmSourceData = nullptr;
  return 0;
}
