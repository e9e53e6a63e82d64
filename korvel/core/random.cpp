#include "random.h"

#include <cpuid.h>

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

// Both halves of a 64-bit MMX operand.
const uint64_t kUpper2 = 0x8000000080000000ull, kLower2 = 0x7FFFFFFF7FFFFFFFull;
const uint64_t kOne2 = 0x0000000100000001ull, kMatrix2 = 0x9908B0DF9908B0DFull;
const uint64_t kTemperB2 = 0x9D2C56809D2C5680ull, kTemperC2 = 0xEFC60000EFC60000ull;

// Two words of an array as one 64-bit value: word a in the low half, word b in the high.
uint64_t LoadPair(const uint32_t* s, int a, int b) { return (uint64_t)s[a] | ((uint64_t)s[b] << 32); }

void StorePair(uint32_t* s, int a, uint64_t v) {
  s[a] = (uint32_t)v;
  s[a + 1] = (uint32_t)(v >> 32);
}

// The recurrence for two words in MMX registers: y from the upper bit of here and the lower
// bits of next, then far ^ (y >> 1) ^ (matrix where y is odd). Each block ends with emms so
// that the x87 registers are free again.
uint64_t RecurPairMmx(uint64_t here, uint64_t next, uint64_t far) {
  uint64_t result;
  __asm__ volatile(
      "movq %1, %%mm0\n\t"
      "movq %2, %%mm1\n\t"
      "pand %4, %%mm0\n\t"
      "pand %5, %%mm1\n\t"
      "por %%mm1, %%mm0\n\t"
      "movq %%mm0, %%mm1\n\t"
      "pand %6, %%mm1\n\t"
      "pcmpeqd %6, %%mm1\n\t"
      "pand %7, %%mm1\n\t"
      "psrld $1, %%mm0\n\t"
      "pxor %3, %%mm0\n\t"
      "pxor %%mm1, %%mm0\n\t"
      "movq %%mm0, %0\n\t"
      "emms\n\t"
      : "=m"(result)
      : "m"(here), "m"(next), "m"(far), "m"(kUpper2), "m"(kLower2), "m"(kOne2), "m"(kMatrix2)
      : "mm0", "mm1");
  return result;
}

uint64_t TemperPairMmx(uint64_t y) {
  uint64_t result;
  __asm__ volatile(
      "movq %1, %%mm0\n\t"
      "movq %%mm0, %%mm1\n\t"
      "psrld $11, %%mm1\n\t"
      "pxor %%mm1, %%mm0\n\t"
      "movq %%mm0, %%mm1\n\t"
      "pslld $7, %%mm1\n\t"
      "pand %2, %%mm1\n\t"
      "pxor %%mm1, %%mm0\n\t"
      "movq %%mm0, %%mm1\n\t"
      "pslld $15, %%mm1\n\t"
      "pand %3, %%mm1\n\t"
      "pxor %%mm1, %%mm0\n\t"
      "movq %%mm0, %%mm1\n\t"
      "psrld $18, %%mm1\n\t"
      "pxor %%mm1, %%mm0\n\t"
      "movq %%mm0, %0\n\t"
      "emms\n\t"
      : "=m"(result)
      : "m"(y), "m"(kTemperB2), "m"(kTemperC2)
      : "mm0", "mm1");
  return result;
}
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
void GenerateRandomBlockMmx() {
  uint32_t* s = RandomState.state;
  for (int k = 0; k < N; k += 2) {
    uint64_t word = RecurPairMmx(LoadPair(s, k, k + 1), LoadPair(s, k + 1, (k + 2) % N),
                                 LoadPair(s, (k + MT_M) % N, (k + 1 + MT_M) % N));
    StorePair(s, k, word);
  }
  for (int k = 0; k < N; k += 2) StorePair(RandomState.output, k, TemperPairMmx(LoadPair(s, k, k + 1)));
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
