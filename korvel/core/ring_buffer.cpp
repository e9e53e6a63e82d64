#include "ring_buffer.h"

#include <climits>

#include "log.h"
#include "memory.h"
#include "strings.h"

namespace {
void LogGrowthFailure(long long size) {
  AddLogLineFormat("リングバッファの再確保に失敗しました(確保しようとしたサイズ %lld byte)", size);
}
}  // namespace

RING_BUFFER* WrapRingBufferPositions(RING_BUFFER* ring) {
  if (ring->readPosition == ring->size) ring->readPosition = 0;
  if (ring->writePosition == ring->size) ring->writePosition = 0;
  return ring;
}

int InitRingBuffer(RING_BUFFER* ring) {
  *ring = RING_BUFFER{};
  return 0;
}

int FreeRingBuffer(RING_BUFFER* ring) {
  if (ring->data != nullptr) FreeTracked(ring->data);
  *ring = RING_BUFFER{};
  return 0;
}

int ReserveRingBuffer(RING_BUFFER* ring, int extra) {
  WrapRingBufferPositions(ring);
  if (extra < 0) return -1;
  if ((long long)ring->size >= (long long)ring->held + extra) return 0;

  // A peer may announce any length: the new size is summed in 64 bits and refused when it
  // does not fit a 32-bit size, leaving the held bytes as they are.
  long long wanted = (long long)ring->held * 3 / 2 + extra + 1000;
  if (wanted > INT_MAX) {
    LogGrowthFailure(wanted);
    return -1;
  }
  int newSize = (int)wanted;
  unsigned char* grown = (unsigned char*)AllocTracked((size_t)newSize, "", 0);
  if (grown == nullptr) {
    FreeRingBuffer(ring);
    LogGrowthFailure(newSize);
    return -1;
  }

  if (ring->held > 0) {
    int firstPart = ring->held;
    if (ring->readPosition + ring->held > ring->size) firstPart = ring->size - ring->readPosition;
    CopyMemoryBytes(grown, ring->data + ring->readPosition, (size_t)firstPart);
    CopyMemoryBytes(grown + firstPart, ring->data, (size_t)(ring->held - firstPart));
  }
  if (ring->data != nullptr) FreeTracked(ring->data);
  ring->data = grown;
  ring->readPosition = 0;
  ring->writePosition = ring->held;
  ring->size = newSize;
  return 0;
}

int ReadRingBuffer(RING_BUFFER* ring, void* destination, int count, int peek) {
  if (count < 0 || ring->held < count) return -1;
  if (count == 0) return 0;
  WrapRingBufferPositions(ring);
  unsigned char* out = (unsigned char*)destination;
  if (ring->readPosition + count > ring->size) {
    int firstPart = ring->size - ring->readPosition;
    CopyMemoryBytes(out, ring->data + ring->readPosition, (size_t)firstPart);
    CopyMemoryBytes(out + firstPart, ring->data, (size_t)(count - firstPart));
    if (!peek) ring->readPosition = count - firstPart;
  } else {
    CopyMemoryBytes(out, ring->data + ring->readPosition, (size_t)count);
    if (!peek) ring->readPosition += count;
  }
  if (!peek) ring->held -= count;
  return 0;
}
