// The format block of a WAVE file, checked before any reader or codec sees it, and the header
// that frames a format block and its data in a WAVE file the library writes.
#pragma once
#include <cstdint>

#include "sound/sound_platform.h"

// A 16-byte PCM format chunk names its sample width by its block align.
void FixShortPcmFormat(WAVEFORMATEX* format, uint32_t chunkSize);
// Checks the format block read from a chunk of chunkSize bytes (the block holds at least 18)
// and puts it in the form the readers take: the 16-byte PCM width fixed, the extensible
// layout of a PCM or IEEE-float file turned into tag 1 or 3 of the container's width. -1 for
// a block that cannot describe sound or that does not fit its codec's layout: channels, rates,
// block align, sample width, samples per block, extra size and coefficient counts.
int CheckWaveFormat(WAVEFORMATEX* format, uint32_t chunkSize);
// The bytes at the start of the data up to the first block whose header the codec could not
// decode (an MS ADPCM predictor past the coefficients, an IMA ADPCM step index past its table):
// the sound ends there. Other formats keep all their data.
int32_t DecodableWaveData(const WAVEFORMATEX* format, const uint8_t* data, int32_t size);

// The header bytes of a WAVE file besides its format block: "RIFF", size, "WAVE", "fmt ",
// size, then "data", size.
enum { WAVE_HEADER_BYTES = 28 };
// Writes the header of a WAVE file of one format chunk (formatBytes of format) and one data
// chunk of dataBytes into out, which has room for WAVE_HEADER_BYTES + formatBytes.
void WriteWaveFileHeader(uint8_t* out, const void* format, uint32_t formatBytes, uint32_t dataBytes);
