#include "kva_lz_encode.h"

#include <algorithm>

#include "file/kva_lz.h"

namespace {
const int kHashBits = 16;
const int kMaxChain = 64;
const uint32_t kWindow = 1u << 20;  // well inside the format's 16 MB reach

uint32_t Hash4(const uint8_t* p) {
  uint32_t v = p[0] | (p[1] << 8) | (p[2] << 16) | ((uint32_t)p[3] << 24);
  return (v * 2654435761u) >> (32 - kHashBits);
}

void PutU32(std::vector<uint8_t>& out, uint32_t v) {
  for (int i = 0; i < 4; i++) out.push_back((uint8_t)(v >> (8 * i)));
}

// The escape is the byte value seen least often, so that literal escapes cost least.
uint8_t ChooseEscape(const uint8_t* data, size_t size) {
  size_t counts[256] = {};
  for (size_t i = 0; i < size; i++) counts[data[i]]++;
  int best = 0;
  for (int v = 1; v < 256; v++)
    if (counts[v] < counts[best]) best = v;
  return (uint8_t)best;
}

void PutReference(std::vector<uint8_t>& out, uint8_t escape, uint32_t length, uint32_t distance) {
  uint32_t m = length - KVA_LZ_MIN_LENGTH;
  uint32_t d = distance - 1;
  uint32_t selector = d < 0x100 ? 0 : d < 0x10000 ? 1 : 2;
  bool extended = m >= 32;
  uint32_t code = ((m & 31) << 3) | (extended ? 4 : 0) | selector;
  out.push_back(escape);
  out.push_back((uint8_t)(code < escape ? code : code + 1));
  if (extended) out.push_back((uint8_t)(m >> 5));
  for (uint32_t i = 0; i <= selector; i++) out.push_back((uint8_t)(d >> (8 * i)));
}
}  // namespace

std::vector<uint8_t> EncodeKvaLz(const uint8_t* data, size_t size) {
  std::vector<uint8_t> out;
  uint8_t escape = ChooseEscape(data, size);
  PutU32(out, (uint32_t)size);
  PutU32(out, 0);  // encoded size, filled in at the end
  out.push_back(escape);

  std::vector<int32_t> head(1u << kHashBits, -1);
  std::vector<int32_t> chain(size, -1);
  auto insert = [&](size_t i) {
    if (i + 4 > size) return;
    uint32_t h = Hash4(data + i);
    chain[i] = head[h];
    head[h] = (int32_t)i;
  };
  size_t i = 0;
  while (i < size) {
    uint32_t bestLength = 0, bestDistance = 0;
    if (i + KVA_LZ_MIN_LENGTH <= size) {
      uint32_t limit = (uint32_t)std::min<size_t>(size - i, KVA_LZ_MAX_LENGTH);
      int32_t candidate = head[Hash4(data + i)];
      for (int steps = 0; candidate >= 0 && steps < kMaxChain; steps++, candidate = chain[candidate]) {
        uint32_t distance = (uint32_t)(i - candidate);
        if (distance > kWindow) break;
        uint32_t n = 0;
        while (n < limit && data[candidate + n] == data[i + n]) n++;
        if (n > bestLength) {
          bestLength = n;
          bestDistance = distance;
          if (n == limit) break;
        }
      }
    }
    if (bestLength >= KVA_LZ_MIN_LENGTH) {
      PutReference(out, escape, bestLength, bestDistance);
      for (uint32_t k = 0; k < bestLength; k++) insert(i + k);
      i += bestLength;
    } else {
      out.push_back(data[i]);
      if (data[i] == escape) out.push_back(escape);
      insert(i);
      i++;
    }
  }
  uint32_t encoded = (uint32_t)out.size();
  for (int k = 0; k < 4; k++) out[4 + k] = (uint8_t)(encoded >> (8 * k));
  return out;
}
