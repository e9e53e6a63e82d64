// What the input module needs of DirectInput beyond the mingw-w64 headers: the identifiers
// (instantiated here, nothing is linked from a DirectInput library) and the two device data
// formats, built by this module.
#pragma once
#include <windows.h>

#define DIRECTINPUT_VERSION 0x0800
#include <dinput.h>

// The keyboard state: 256 bytes, one per scan code.
const DIDATAFORMAT* GetKeyboardDataFormat();
// The 8-button mouse state: x, y and wheel (LONG each) and 8 button bytes, 20 bytes in all.
const DIDATAFORMAT* GetMouseDataFormat();

enum { MOUSE_STATE_SIZE = 20, MOUSE_BUTTON_OFFSET = 12, MOUSE_BUTTON_COUNT = 8 };
// The joystick state (DIJOYSTATE): six axes, two sliders, four POV hats and 32 buttons, 80 bytes.
const DIDATAFORMAT* GetJoystickDataFormat();
