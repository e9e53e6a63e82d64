// Reading the keyboard and the mouse buttons, and the search for any input.
#include <windows.h>

#include <cstring>

#include "input/input_devices.h"
#include "input/joypad.h"
#include "system/base/pump.h"
#include "system/base/timers.h"
#include "system/base/window_services.h"
#include "system/base/window_state.h"

namespace {
int ReadSystemKeyState(int pump) {
  if (GetCurrentThreadId() != WindowState.mainThreadId) return 0;
  int now = GetMillisecondCount();
  if (now == InputDevices.lastReadTick) return 0;
  InputDevices.lastReadTick = now;
  if (pump && PumpWindowMessages() != 0) return 0;
  unsigned char local[256];
  GetKeyboardState(local);
  MapVirtualKeyState(local, InputDevices.keyState);
  InputDevices.mouseLeft = local[VK_LBUTTON] >> 7;
  InputDevices.mouseRight = local[VK_RBUTTON] >> 7;
  InputDevices.mouseMiddle = local[VK_MBUTTON] >> 7;
  InputDevices.mouseBytesFilled = 1;
  return 1;
}

int ReadDirectInputKeyState(int pump) {
  int now = GetMillisecondCount();
  bool signalled = InputDevices.keyboardEvent != nullptr &&
                   WaitForSingleObject(InputDevices.keyboardEvent, 0) == WAIT_OBJECT_0;
  if (now == InputDevices.lastReadTick && !signalled) return 0;
  if (pump && PumpWindowMessages() != 0) return 0;
  if (!IsDirectInputInUse() || InputDevices.keyboardDevice == nullptr) return 0;
  // Read into a local copy: a lost device that cannot be re-acquired keeps the previous state.
  unsigned char read[KEY_STATE_SIZE];
  IDirectInputDeviceA* keyboard = InputDevices.keyboardDevice;
  if (FAILED(keyboard->GetDeviceState(sizeof(read), read))) {
    if (FAILED(keyboard->Acquire())) return 0;
    if (FAILED(keyboard->GetDeviceState(sizeof(read), read))) return 0;
  }
  memcpy(InputDevices.keyState, read, sizeof(read));
  InputDevices.lastReadTick = now;
  if (signalled) ResetEvent(InputDevices.keyboardEvent);
  // The right Shift key is always taken from the system's key state.
  unsigned char local[256];
  GetKeyboardState(local);
  InputDevices.keyState[0x36] = local[VK_RSHIFT];
  return 1;
}

int ReadDirectInputMouse() {
  unsigned char state[MOUSE_STATE_SIZE];
  IDirectInputDeviceA* mouse = InputDevices.mouseDevice;
  if (FAILED(mouse->GetDeviceState(sizeof(state), state))) {
    if (FAILED(mouse->Acquire())) return 0;
    if (FAILED(mouse->GetDeviceState(sizeof(state), state))) return 0;
  }
  return ButtonBitsFromBytes(state + MOUSE_BUTTON_OFFSET, MOUSE_BUTTON_COUNT);
}

// The readers start the devices on first use; that call reads nothing. While the window is
// closing they read what there is instead of starting anything.
bool StartDevicesInsteadOfReading() {
  if (AreInputDevicesStarted() || IsWindowClosing()) return false;
  StartInputDevices();
  return true;
}
}  // namespace

int ReadKeyboardState(int pump) {
  if (InputDevices.readingKeyboard) return 0;
  InputDevices.readingKeyboard = 1;
  int refreshed = UsesSystemKeyState() ? ReadSystemKeyState(pump) : ReadDirectInputKeyState(pump);
  InputDevices.readingKeyboard = 0;
  return refreshed;
}

int IsKeyDown(int scanCode) {
  if (scanCode < 0 || scanCode >= KEY_STATE_SIZE) return 0;  // no such key: never read past the table
  WaitWhileInactive();
  if (!AreInputDevicesStarted()) {
    if (!IsWindowClosing()) StartInputDevices();
    return 0;
  }
  ReadKeyboardState(1);
  return (InputDevices.keyState[scanCode] & 0x80) != 0 ? 1 : 0;
}

int ReadMouseButtons() {
  if (IsDirectInputInUse() && InputDevices.mouseDevice != nullptr && !PrefersSystemKeyState()) {
    return ReadDirectInputMouse();
  }
  ReadKeyboardState(1);
  unsigned char buttons[3];
  if (InputDevices.mouseBytesFilled) {
    buttons[0] = InputDevices.mouseLeft << 7;
    buttons[1] = InputDevices.mouseRight << 7;
    buttons[2] = InputDevices.mouseMiddle << 7;
  } else {
    unsigned char local[256];
    GetKeyboardState(local);
    buttons[0] = local[VK_LBUTTON];
    buttons[1] = local[VK_RBUTTON];
    buttons[2] = local[VK_MBUTTON];
  }
  return ButtonBitsFromBytes(buttons, 3);
}

int FindAnyInput(int flags) {
  if (WindowState.mainWindow == nullptr) return -1;
  WaitWhileInactive();
  if (StartDevicesInsteadOfReading()) return 0;
  if (flags & 1) {
    ReadKeyboardState(1);
    int scanCode = FindDownScanCode(InputDevices.keyState, InputDevices.f10Down);
    if (scanCode != 0) return scanCode;
  }
  if (flags & 2)
    for (int pad = 1; pad <= GetJoypadCount(); pad++)
      if (ReadJoypadInputBits(pad) != 0) return -1;
  if (flags & 4) {
    int x = 0, y = 0;
    RECT client;
    GetMousePosition(&x, &y);
    GetClientScreenRect(&client);
    if (IsPointInClientArea(x, y, client.right - client.left, client.bottom - client.top) &&
        WindowState.active && ReadMouseButtons() != 0) {
      return -1;
    }
  }
  return 0;
}
