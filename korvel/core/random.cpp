#include "random.h"

#include <cpuid.h>
#include <mmintrin.h>

#include <cstring>

RANDOM_STATE RandomState;

namespace {
enum : uint32_t {
  MT_M = 397,
  MT_UPPER = 0x80000000u,
  MT_LOWER = 0x7FFFFFFFu,
  MT_MATRIX = 0x9908B0DFu,
  TEMPER_B = 0x9D2C5680u,
  TEMPER_C = 0xEFC60000u,
};
const int N = RANDOM_STATE_WORDS;

uint32_t Temper(uint32_t y) {
  y ^= y >> 11;
  y ^= (y << 7) & TEMPER_B;
  y ^= (y << 15) & TEMPER_C;
  y ^= y >> 18;
  return y;
}

// Two words of the state as one 64-bit value: word a in the low half, word b in the high.
__attribute__((target("mmx"))) __m64 LoadPair(const uint32_t* s, int a, int b) {
  if (b == a + 1) {
    __m64 v;
    memcpy(&v, s + a, sizeof(v));
    return v;
  }
  return _mm_set_pi32((int)s[b], (int)s[a]);
}

__attribute__((target("mmx"))) void StorePair(uint32_t* s, int a, __m64 v) { memcpy(s + a, &v, sizeof(v)); }
}  // namespace

// One block: the MT19937 recurrence over the state in order (each word uses the words after
// it as they were and, past the wrap, the words already renewed), then the tempering.
void GenerateRandomBlock() {
  if (RandomState.mmx) {
    GenerateRandomBlockMmx();
    return;
  }
  uint32_t* s = RandomState.state;
  for (int k = 0; k < N; k++) {
    uint32_t y = (s[k] & MT_UPPER) | (s[(k + 1) % N] & MT_LOWER);
    s[k] = s[(k + MT_M) % N] ^ (y >> 1) ^ ((y & 1) ? MT_MATRIX : 0u);
  }
  for (int k = 0; k < N; k++) RandomState.output[k] = Temper(s[k]);
  RandomState.readIndex = 0;
}

// The same computation two words at a time. Within a pair the second word needs nothing the
// first one writes (it reads k + 2 and k + 398, both not yet renewed or renewed before the
// pair), so both can be formed at once.
__attribute__((target("mmx"))) void GenerateRandomBlockMmx() {
  uint32_t* s = RandomState.state;
  const __m64 upper = _mm_set1_pi32((int)MT_UPPER), lower = _mm_set1_pi32((int)MT_LOWER);
  const __m64 matrix = _mm_set1_pi32((int)MT_MATRIX), one = _mm_set1_pi32(1);
  for (int k = 0; k < N; k += 2) {
    __m64 here = LoadPair(s, k, k + 1);
    __m64 next = LoadPair(s, k + 1, (k + 2) % N);
    __m64 far = LoadPair(s, (k + MT_M) % N, (k + 1 + MT_M) % N);
    __m64 y = _mm_or_si64(_mm_and_si64(here, upper), _mm_and_si64(next, lower));
    __m64 odd = _mm_cmpeq_pi32(_mm_and_si64(y, one), one);  // all ones where y is odd
    __m64 word = _mm_xor_si64(_mm_xor_si64(far, _mm_srli_pi32(y, 1)), _mm_and_si64(odd, matrix));
    StorePair(s, k, word);
  }
  const __m64 temperB = _mm_set1_pi32((int)TEMPER_B), temperC = _mm_set1_pi32((int)TEMPER_C);
  for (int k = 0; k < N; k += 2) {
    __m64 y = LoadPair(s, k, k + 1);
    y = _mm_xor_si64(y, _mm_srli_pi32(y, 11));
    y = _mm_xor_si64(y, _mm_and_si64(_mm_slli_pi32(y, 7), temperB));
    y = _mm_xor_si64(y, _mm_and_si64(_mm_slli_pi32(y, 15), temperC));
    y = _mm_xor_si64(y, _mm_srli_pi32(y, 18));
    StorePair(RandomState.output, k, y);
  }
  _mm_empty();
  RandomState.readIndex = 0;
}

// CPUID exists when the ID bit of EFLAGS can be toggled (__get_cpuid_max checks that first)
// and function 0 reports at least function 1, whose EDX bit 23 is MMX.
int HasMmx() {
  unsigned a, b, c, d;
  if (__get_cpuid_max(0, nullptr) < 1) return 0;
  __cpuid(1, a, b, c, d);
  return (d >> 23) & 1;
}

// Each word takes the high half of x and the high half of the next step of the linear
// congruential sequence (multiplier 69069); x then moves on two steps.
void FillRandomState(uint32_t seed) {
  uint32_t x = seed;
  for (int k = 0; k < N; k++) {
    uint32_t step = 69069u * x + 1u;
    RandomState.state[k] = (x & 0xFFFF0000u) | (step >> 16);
    x = 69069u * step + 1u;
  }
}

void SeedRandomNumbers(uint32_t seed) {
  FillRandomState(seed);
  RandomState.mmx = HasMmx();
  RandomState.seeded = 1;
  GenerateRandomBlock();
}
