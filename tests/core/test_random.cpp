// Random numbers: the seeding and block generation for fixed seeds, on the MMX path and on
// the plain path, which must give the same numbers.
#include <gtest/gtest.h>

#include <cstring>

#include "core/random.h"

namespace {
struct Expected {
  uint32_t seed;
  uint32_t state0, state1;  // the first two seeded words
  // Outputs of the first block at positions 0, 1, 2, 226, 227, 396, 397, 622, 623 (around the
  // wrap points of the recurrence), then the second block at 0, 1, 623.
  uint32_t first[9];
  uint32_t second[3];
};
const int kFirstPositions[9] = {0, 1, 2, 226, 227, 396, 397, 622, 623};
const int kSecondPositions[3] = {0, 1, 623};

const Expected kCases[] = {
    {4357, 0x000011EF, 0x6D945A49,
     {0xAAE64AC3, 0x5E7C47DA, 0xB98E8121, 0x06D17803, 0xBE2EFDAF, 0x8811447A, 0x1C736072, 0xBC7782DD, 0x23219742},
     {0x3E44719D, 0x7523C1AC, 0x13B4082C}},
    {0xFFFFFFFF, 0xFFFFFFFE, 0xE3A87559,
     {0x4AD3D4D0, 0x4C02DC33, 0x7834AB35, 0x1378E1BC, 0x5BD64078, 0x25FE35FD, 0xEA86EA2D, 0xB7A5D484, 0xB0B13FD5},
     {0xF961E58D, 0x63B5A1F5, 0x2A9BF901}},
};

// Seeds and checks two blocks with the block generation forced to one path.
void CheckPath(const Expected& e, int mmx) {
  FillRandomState(e.seed);
  EXPECT_EQ(RandomState.state[0], e.state0);
  EXPECT_EQ(RandomState.state[1], e.state1);
  RandomState.mmx = mmx;
  memset(RandomState.output, 0, sizeof(RandomState.output));
  RandomState.readIndex = 77;
  GenerateRandomBlock();
  EXPECT_EQ(RandomState.readIndex, 0);
  for (int i = 0; i < 9; i++)
    EXPECT_EQ(RandomState.output[kFirstPositions[i]], e.first[i])
        << "seed " << e.seed << " mmx " << mmx << " first block @" << kFirstPositions[i];
  GenerateRandomBlock();
  for (int i = 0; i < 3; i++)
    EXPECT_EQ(RandomState.output[kSecondPositions[i]], e.second[i])
        << "seed " << e.seed << " mmx " << mmx << " second block @" << kSecondPositions[i];
}

TEST(Random, ThisProcessorHasMmx) { EXPECT_EQ(HasMmx(), 1); }

TEST(Random, FixedSeedsOnThePlainPath) {
  for (const Expected& e : kCases) CheckPath(e, 0);
}

TEST(Random, FixedSeedsOnTheMmxPath) {
  for (const Expected& e : kCases) CheckPath(e, 1);
}

TEST(Random, SeedingGeneratesTheFirstBlockWithTheMmxChoice) {
  SeedRandomNumbers(4357);
  EXPECT_EQ(RandomState.mmx, HasMmx());
  EXPECT_EQ(RandomState.seeded, 1);
  EXPECT_EQ(RandomState.readIndex, 0);
  EXPECT_EQ(RandomState.output[0], 0xAAE64AC3u);
  EXPECT_EQ(RandomState.output[623], 0x23219742u);
}

TEST(Random, BothPathsAgreeOverManyBlocks) {
  for (uint32_t seed : {0u, 1u, 19650218u, 0x80000000u}) {
    FillRandomState(seed);
    RANDOM_STATE plain = RandomState;
    RANDOM_STATE mmx = RandomState;
    for (int block = 0; block < 20; block++) {
      RandomState = plain;
      RandomState.mmx = 0;
      GenerateRandomBlock();
      plain = RandomState;
      RandomState = mmx;
      GenerateRandomBlockMmx();
      mmx = RandomState;
      ASSERT_EQ(memcmp(plain.state, mmx.state, sizeof(plain.state)), 0) << seed << " block " << block;
      ASSERT_EQ(memcmp(plain.output, mmx.output, sizeof(plain.output)), 0) << seed << " block " << block;
    }
  }
}
}  // namespace
