// The pure parts of keyboard and mouse reading: the virtual-key to scan-code table, the
// mapping of a system key-state array onto the scan-code key state, and the tests that
// FindAnyInput and the mouse reader apply to a state once it is read.
#pragma once

enum { KEY_STATE_SIZE = 256, VK_TO_SCAN_PAIR_COUNT = 100, F10_SCAN_CODE = 0x44 };

struct VK_TO_SCAN_PAIR {
  unsigned char virtualKey;
  unsigned char scanCode;
};

extern const VK_TO_SCAN_PAIR VK_TO_SCAN_TABLE[VK_TO_SCAN_PAIR_COUNT];

// Fills keyState (256 bytes, by scan code) from a GetKeyboardState array: every entry is
// cleared, then each pair of the table copies its virtual key's byte in table order.
void MapVirtualKeyState(const unsigned char* virtualKeys, unsigned char* keyState);

// The first scan code whose bit 7 is set, skipping Caps Lock, Kana and Kanji (held locked
// keys are no input); with none, F10_SCAN_CODE when f10Down is set, else 0.
int FindDownScanCode(const unsigned char* keyState, int f10Down);

// Bit i of the result is bit 7 of buttons[i], for count buttons (at most 8).
int ButtonBitsFromBytes(const unsigned char* buttons, int count);

// Whether a point in client coordinates lies in a client area of the given size; the right
// and bottom edges themselves count as inside.
int IsPointInClientArea(int x, int y, int width, int height);
