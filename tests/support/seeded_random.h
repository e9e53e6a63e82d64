// Seeded random numbers (xorshift) for the tests' mutated inputs and random sequences: the same
// seed gives the same sequence on every machine, so a failing case can be run again.
#pragma once
#include <cstdint>

struct Random {
  uint32_t state;
  uint32_t Next() {
    state ^= state << 13;
    state ^= state >> 17;
    state ^= state << 5;
    return state;
  }
  int Below(int n) { return n > 0 ? (int)(Next() % (uint32_t)n) : 0; }
  bool OneIn(int n) { return Below(n) == 0; }
};
