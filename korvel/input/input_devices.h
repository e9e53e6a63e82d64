// The input devices: start-up and shut-down of XInput and DirectInput, the scan-code key state
// and the mouse buttons, and the flags of the window's private key messages. The record is
// shared with the joypad reader, which keeps its pads beside it.
#pragma once
#include "input/dinput_layer.h"
#include "input/key_map.h"
#include "korvel.h"

// The value of INPUT_DEVICE_STATE::directInput once started without DirectInput.
#define INPUT_WITHOUT_DIRECTINPUT ((void*)(intptr_t)-1)

typedef DWORD(WINAPI* XINPUT_GET_STATE_FN)(DWORD, void*);
typedef DWORD(WINAPI* XINPUT_SET_STATE_FN)(DWORD, void*);

// Switches that survive a restart of the input module; nothing in this program sets them.
struct INPUT_SWITCHES {
  int noDirectInput;             // set by the start-up when DirectInput cannot be had
  int directInputOnNewSystems;   // DirectInput keyboard and mouse even on Windows Vista and later
  int noForceFeedback;
  int keyToPadMapReady;
  int keyboardWithoutDirectInput;
};

struct INPUT_DEVICE_STATE {
  HMODULE xinputModule;
  XINPUT_GET_STATE_FN xinputGetState;
  XINPUT_SET_STATE_FN xinputSetState;
  // null: not started; INPUT_WITHOUT_DIRECTINPUT: started without it; else the
  // IDirectInput7A or (directInput8 = 1) IDirectInput8A object.
  void* directInput;
  int directInput8;
  IDirectInputDeviceA* mouseDevice;     // both device versions begin with these methods
  IDirectInputDeviceA* keyboardDevice;
  HANDLE keyboardEvent;                 // manual reset, signalled by DirectInput on key changes
  int lastReadTick;                     // millisecond clock of the last keyboard read
  unsigned char keyState[KEY_STATE_SIZE];  // by scan code, bit 7 = down
  // Mouse buttons as GetKeyboardState gave them (0 or 1) and whether they were filled.
  unsigned char mouseLeft;
  unsigned char mouseRight;
  unsigned char mouseMiddle;
  int mouseBytesFilled;
  int readingKeyboard;                  // re-entry byte of ReadKeyboardState
  int starting;
  int f10Down;                          // private window message 0x46F
  int secondHookKeyDown;                // private window message 0x470 (read by nothing)
  INPUT_SWITCHES switches;              // kept when the state is reset
};

extern INPUT_DEVICE_STATE InputDevices;

int StartInputDevices();
int ShutDownInputDevices();
int ReacquireInputDevices();
int AreInputDevicesStarted();
// 1 when the devices were started with a DirectInput object.
int IsDirectInputInUse();
// 1 on Windows Vista and later unless the switch for DirectInput keyboard and mouse is on:
// keys and mouse buttons then come from GetKeyboardState even when the devices exist.
int PrefersSystemKeyState();
// 1 when keys are read from GetKeyboardState rather than the DirectInput keyboard.
int UsesSystemKeyState();

int ReadKeyboardState(int pump);
int SetF10DownFlag();
int ClearF10DownFlag();
int SetSecondHookKeyFlag();
int ClearSecondHookKeyFlag();
