#include "kva_format.h"

#include <cstring>

namespace {
// The key without a key string is twelve copies of this byte before the per-position steps;
// the second built-in key is twelve copies of the other.
const uint8_t kDefaultFill = 0x5D;
const uint8_t kSecondKeyByte = 0xA3;

uint8_t RotateLeft(uint8_t v, int n) { return (uint8_t)((v << n) | (v >> (8 - n))); }
uint8_t SwapHalves(uint8_t v) { return (uint8_t)((v << 4) | (v >> 4)); }

// The fixed transformation of key byte i.
uint8_t TransformKeyByte(uint8_t v, int i) {
  switch (i) {
    case 0: return (uint8_t)~v;
    case 1: return SwapHalves(v);
    case 2: return RotateLeft(v, 3);
    case 3: return (uint8_t)(v ^ 0x6B);
    case 4: return (uint8_t)~SwapHalves(v);
    case 5: return (uint8_t)(RotateLeft(v, 5) ^ 0x27);
    case 6: return (uint8_t)(v ^ 0xC4);
    case 7: return RotateLeft((uint8_t)~v, 1);
    case 8: return (uint8_t)(SwapHalves(v) ^ 0x9E);
    case 9: return RotateLeft(v, 6);
    case 10: return (uint8_t)~(v ^ 0x35);
    default: return (uint8_t)(RotateLeft(SwapHalves(v), 2) ^ 0x71);
  }
}
}  // namespace

void MakeKvaKey(const char* keyString, uint8_t key[KVA_KEY_SIZE]) {
  size_t n = keyString != nullptr ? strlen(keyString) : 0;
  for (int i = 0; i < KVA_KEY_SIZE; i++) {
    uint8_t v = n == 0 ? kDefaultFill : (uint8_t)keyString[i % n];
    key[i] = TransformKeyByte(v, i);
  }
}

void MakeKvaSecondKey(uint8_t key[KVA_KEY_SIZE]) { memset(key, kSecondKeyByte, KVA_KEY_SIZE); }

uint32_t CipherKvaBytes(uint32_t count, void* buffer, uint32_t position, const uint8_t key[KVA_KEY_SIZE]) {
  uint8_t* p = (uint8_t*)buffer;
  uint32_t k = position % KVA_KEY_SIZE;
  for (uint32_t i = 0; i < count; i++) {
    p[i] ^= key[k];
    if (++k == KVA_KEY_SIZE) k = 0;
  }
  return k;
}

int GetKvaCodePageClass(uint32_t codePage) {
  switch (codePage) {
    case 932: return 1;
    case 949: return 2;
    case 950: return 3;
    case 936: return 4;
    default: return 0;
  }
}

uint32_t GetKvaEntrySize(int version) { return version < 2 ? 40u : 44u; }
uint32_t GetKvaHeaderSize(int version) { return version < 4 ? KVA_HEADER_SIZE_V1 : KVA_HEADER_SIZE_V4; }

int BuildKvaNameKey(const char* text, KVA_NAME_KEY* key, int codePageClass, KVA_LEAD_BYTE_TEST isLead) {
  memset(key, 0, sizeof(*key));
  int n = 0;
  uint32_t sum = 0;
  while (text[n] != 0 && text[n] != '\\' && text[n] != '/') {
    unsigned char c = (unsigned char)text[n];
    int width = isLead(c, codePageClass) && text[n + 1] != 0 ? 2 : 1;
    if (n + width > KVA_NAME_MAX) return -1;
    for (int i = 0; i < width; i++) {
      unsigned char b = (unsigned char)text[n + i];
      if (width == 1 && b >= 'a' && b <= 'z') b = (unsigned char)(b - 'a' + 'A');
      key->bytes[n + i] = b;
      sum += b;
    }
    n += width;
  }
  key->check = (uint16_t)sum;
  key->units = (uint16_t)(n / 4 + 1);
  return n;
}
