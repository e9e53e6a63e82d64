// RING_BUFFER: a growable byte queue over one tracked heap block. Writers make room with
// ReserveRingBuffer and copy their bytes at the write position themselves (splitting at the
// end of the storage); readers take or peek bytes at the read position.
#pragma once

struct RING_BUFFER {
  unsigned char* data;  // tracked heap block, null until the first reserve
  int readPosition;     // oldest held byte; equal to size means 0
  int writePosition;    // where the next byte goes; equal to size means 0
  int held;             // bytes held
  int size;             // bytes of storage
};

int InitRingBuffer(RING_BUFFER* ring);
int FreeRingBuffer(RING_BUFFER* ring);
// Makes room for extra more bytes; -1 when the storage cannot be grown (an allocation
// failure empties the ring; a length that cannot be held at all leaves it as it was).
int ReserveRingBuffer(RING_BUFFER* ring, int extra);
// Positions equal to the size are wrapped to 0 lazily: callers that address the storage
// themselves call this first. Returns the ring.
RING_BUFFER* WrapRingBufferPositions(RING_BUFFER* ring);
// Copies count bytes (and consumes them unless peeking); -1 when fewer are held.
int ReadRingBuffer(RING_BUFFER* ring, void* destination, int count, int peek);
