// Bounded reading of a stream source for the image loaders: exact reads that fail when the
// data runs short, the bytes left from the current position, and a whole remainder read into
// one tracked block. Little-endian field access over a byte block with its size.
#pragma once
#include <cstddef>
#include <cstdint>

#include "file/file_access.h"

// Bytes from the current position to the end of the stream (the position is kept); -1 when
// the stream cannot be measured.
int MeasureStreamRemainder(STREAM_SOURCE* stream);
// Reads exactly size bytes; -1 when fewer arrive.
int ReadStreamExact(STREAM_SOURCE* stream, void* buffer, int size);
// Reads from the current position to the end into a new tracked block (one spare zero byte
// after the data); null when empty, unreadable or out of memory.
uint8_t* ReadStreamRemainder(STREAM_SOURCE* stream, int* size);

inline uint16_t GetLE16(const uint8_t* p) { return (uint16_t)(p[0] | p[1] << 8); }
inline uint32_t GetLE32(const uint8_t* p) {
  return (uint32_t)p[0] | (uint32_t)p[1] << 8 | (uint32_t)p[2] << 16 | (uint32_t)p[3] << 24;
}

// Bytes of width x height pixels of the given size each, or -1 when a side is not positive or
// the product does not fit in an int.
int64_t MeasurePixelBlock(int64_t width, int64_t height, int64_t bytesPerPixel);
