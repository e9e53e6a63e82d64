// Keyboard and mouse. Key codes are DirectInput scan codes (0-255).
#pragma once

int IsKeyDown(int scanCode);  // 1 down, 0 up (and for codes outside 0-255)
// Button bits: 1 left, 2 right, 4 middle, 8 to 0x80 the fourth to eighth buttons.
int ReadMouseButtons();
// flags: 1 keyboard, 2 joypads, 4 mouse buttons inside the window. The scan code of the
// first key down, -1 for a pad button or a click, 0 for nothing (-1 also without a window).
int FindAnyInput(int flags);
// Waits until nothing is held, then until a key, pad button or click arrives; returns what
// FindAnyInput found, or 0 when the window went away.
int WaitForAnyInput();

// Key-input handles: one-line text editors fed by typed characters while active.
// flags: 1 cancel allowed, 2 single-byte only,
// 4 numbers only, 8 double-byte only.
int MakeKeyInput(int maxLength, int flags);
int SetActiveKeyInput(int handle);  // -1: none
// Copies the text (terminated, bounded by size); the text's length, or -1.
int GetKeyInputText(int handle, char* buffer, int size);
// 0 editing, 1 finished with Enter, 2 cancelled with Escape; -1 for an invalid handle.
int GetKeyInputStatus(int handle);
