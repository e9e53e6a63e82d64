// Keyboard and mouse: the key map and input tests as pure functions.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>

#include "input/key_map.h"

namespace {
struct KeyRow {
  int virtualKey;
  int scanCode;
  const char* name;
};

TEST(KeyMap, VirtualKeysLandOnTheirScanCodes) {
  const KeyRow rows[] = {
      {'A', 0x1E, "A"},           {'Z', 0x2C, "Z"},           {'0', 0x0B, "0"},
      {VK_ESCAPE, 0x01, "Esc"},   {VK_SPACE, 0x39, "Space"},  {VK_LEFT, 0xCB, "Left"},
      {VK_DOWN, 0xD0, "Down"},    {VK_LSHIFT, 0x2A, "LShift"}, {VK_RSHIFT, 0x36, "RShift"},
      {VK_RCONTROL, 0x9D, "RCtrl"}, {VK_CAPITAL, 0x3A, "Caps"}, {VK_F10, 0x44, "F10"},
      {VK_F12, 0x58, "F12"},      {VK_DIVIDE, 0xB5, "Num/"},  {VK_OEM_1, 0x92, "colon"},
      {VK_OEM_3, 0x91, "at"},     {VK_OEM_7, 0x90, "circumflex"}, {VK_OEM_5, 0x7D, "yen"},
      {VK_OEM_102, 0x2B, "backslash"}, {VK_PAUSE, 0xC5, "Pause"}, {VK_SCROLL, 0x46, "Scroll"},
  };
  for (const KeyRow& row : rows) {
    unsigned char keys[256] = {}, state[256];
    keys[row.virtualKey] = 0x81;
    MapVirtualKeyState(keys, state);
    for (int code = 0; code < 256; code++) {
      EXPECT_EQ(state[code], code == row.scanCode ? 0x81 : 0) << row.name << " scan code " << code;
    }
  }
}

TEST(KeyMap, EnterFillsBothEnterCodesAndStaleStateIsCleared) {
  unsigned char keys[256] = {}, state[256];
  memset(state, 0x80, sizeof(state));
  keys[VK_RETURN] = 0x80;
  keys[VK_SHIFT] = 0x80;  // the generic Shift has no pair: only the left and right keys count
  MapVirtualKeyState(keys, state);
  int down = 0;
  for (int code = 0; code < 256; code++) down += state[code] != 0;
  EXPECT_EQ(down, 2);
  EXPECT_EQ(state[0x1C], 0x80);
  EXPECT_EQ(state[0x9C], 0x80);
}

TEST(KeyMap, NoTwoPairsShareAScanCode) {
  int uses[256] = {};
  for (const VK_TO_SCAN_PAIR& pair : VK_TO_SCAN_TABLE) uses[pair.scanCode]++;
  for (int code = 0; code < 256; code++) EXPECT_LE(uses[code], 1) << "scan code " << code;
}

TEST(KeyMap, FindDownScanCodeSkipsLockKeysAndFallsBackToF10) {
  struct Row {
    int down[3];  // scan codes held down, 0 ends the list
    int f10;
    int expected;
    const char* name;
  } rows[] = {
      {{0}, 0, 0, "nothing"},
      {{0x3A}, 0, 0, "Caps Lock alone"},
      {{0x70}, 0, 0, "Kana alone"},
      {{0x94}, 0, 0, "Kanji alone"},
      {{0x3A, 0x70, 0x94}, 0, 0, "all three lock keys"},
      {{0x3A, 0x1E}, 0, 0x1E, "Caps Lock and A"},
      {{0x9C, 0x1C}, 0, 0x1C, "lowest code first"},
      {{0}, 1, 0x44, "F10 flag alone"},
      {{0x3A}, 1, 0x44, "F10 flag with Caps Lock"},
      {{0x1C}, 1, 0x1C, "a key before the F10 flag"},
  };
  for (const Row& row : rows) {
    unsigned char state[256] = {};
    for (int code : row.down) {
      if (code != 0) state[code] = 0x80;
    }
    state[0x10] = 0x7F;  // only bit 7 means down
    EXPECT_EQ(FindDownScanCode(state, row.f10), row.expected) << row.name;
  }
}

TEST(KeyMap, ButtonBitsTakeBitSevenOfEachButton) {
  const unsigned char buttons[8] = {0x80, 0x7F, 0x80, 0, 0, 0, 0xFF, 0x80};
  EXPECT_EQ(ButtonBitsFromBytes(buttons, 8), 0x01 | 0x04 | 0x40 | 0x80);
  EXPECT_EQ(ButtonBitsFromBytes(buttons, 3), 0x05);
  EXPECT_EQ(ButtonBitsFromBytes(buttons, 0), 0);
}

TEST(KeyMap, ClientAreaIncludesItsRightAndBottomEdges) {
  struct Row {
    int x, y, inside;
  } rows[] = {{0, 0, 1},    {640, 0, 1},  {0, 480, 1},  {640, 480, 1}, {641, 10, 0},
              {10, 481, 0}, {-1, 10, 0},  {10, -1, 0},  {320, 240, 1}};
  for (const Row& row : rows) {
    EXPECT_EQ(IsPointInClientArea(row.x, row.y, 640, 480), row.inside) << row.x << "," << row.y;
  }
}
}  // namespace
