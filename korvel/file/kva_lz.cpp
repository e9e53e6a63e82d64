#include "kva_lz.h"

#include <cstring>

namespace {
uint32_t ReadU32(const uint8_t* p) { return p[0] | (p[1] << 8) | (p[2] << 16) | ((uint32_t)p[3] << 24); }
}  // namespace

int DecodeKvaLz(const void* block, uint32_t blockSize, void* output, uint32_t outputSize) {
  const uint8_t* in = (const uint8_t*)block;
  if (block == nullptr || blockSize < KVA_LZ_HEADER_SIZE) return -1;
  uint32_t decodedSize = ReadU32(in);
  uint32_t encodedSize = ReadU32(in + 4);
  if (encodedSize < KVA_LZ_HEADER_SIZE || encodedSize > blockSize || decodedSize > 0x7FFFFFFFu) return -1;
  if (output == nullptr) return (int)decodedSize;
  if (outputSize < decodedSize) return -1;

  const uint8_t escape = in[8];
  const uint8_t* p = in + KVA_LZ_HEADER_SIZE;
  const uint8_t* end = in + encodedSize;
  uint8_t* out = (uint8_t*)output;
  uint32_t written = 0;
  while (p < end) {
    if (*p != escape) {
      // A run of literals reaches up to the next escape byte: one copy for all of it.
      const uint8_t* stop = (const uint8_t*)memchr(p, escape, (size_t)(end - p));
      uint32_t run = (uint32_t)((stop ? stop : end) - p);
      if (run > decodedSize - written) return -1;
      memcpy(out + written, p, run);
      written += run;
      p += run;
      continue;
    }
    p++;
    if (p >= end) return -1;
    uint8_t c = *p++;
    if (c == escape) {
      if (written >= decodedSize) return -1;
      out[written++] = escape;
      continue;
    }
    uint32_t code = c > escape ? c - 1u : c;
    uint32_t length = code >> 3;
    if (code & 4) {
      if (p >= end) return -1;
      length |= (uint32_t)*p++ << 5;
    }
    length += KVA_LZ_MIN_LENGTH;
    uint32_t selector = code & 3;
    if (selector == 3) return -1;  // never written by our encoder; refused
    uint32_t fieldBytes = selector + 1;
    if ((uint32_t)(end - p) < fieldBytes) return -1;
    uint32_t d = p[0];
    if (fieldBytes >= 2) d |= p[1] << 8;
    if (fieldBytes == 3) d |= p[2] << 16;
    p += fieldBytes;
    uint32_t distance = d + 1;
    if (distance > written || length > decodedSize - written) return -1;
    uint8_t* dst = out + written;
    const uint8_t* src = dst - distance;
    if (distance >= length) {
      memcpy(dst, src, length);
    } else {
      for (uint32_t i = 0; i < length; i++) dst[i] = src[i];
    }
    written += length;
  }
  return written == decodedSize ? (int)decodedSize : -1;
}
