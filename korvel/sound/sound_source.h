// Reading a sound file through the converter's stream source: byte counts really read, the
// file's size, and the RIFF/WAVE chunk walk shared by the WAVE readers.
#pragma once
#include <cstdint>

#include "sound/sound_convert.h"

// Reads up to n bytes; the count really read (0 at the end or on a failed read).
int ReadSourceBytes(SOUND_CONVERT_STATE* state, void* buffer, int n);
int SeekSource(SOUND_CONVERT_STATE* state, int offset, int origin);
int TellSource(SOUND_CONVERT_STATE* state);
// The stream's size; the stream is left at position 0.
int SourceFileSize(SOUND_CONVERT_STATE* state);

// Reads "RIFF", "WAVE" and the format chunk ("fmt " first, or second after one "bext") into
// a tracked block of at least minSize bytes (zero past the chunk), checked and put in the
// readers' form by CheckWaveFormat. Refuses (-1) a chunk under 16 bytes or past the file and
// a format block that check refuses.
int ReadWaveFormatChunk(SOUND_CONVERT_STATE* state, uint32_t minSize, uint8_t** chunk, uint32_t* chunkSize);
// Walks on to the "data" chunk: sets dataStart and dataSize (cut to the bytes the file holds)
// and leaves the stream at dataStart; -1 when the file ends first.
int FindWaveData(SOUND_CONVERT_STATE* state, int fileSize);
