#include <windows.h>
#include <initguid.h>  // the DirectInput identifiers used below get their definitions here

#include "input/dinput_layer.h"

namespace {
DIOBJECTDATAFORMAT keyboardObjects[256];
DIOBJECTDATAFORMAT mouseObjects[3 + MOUSE_BUTTON_COUNT];
DIDATAFORMAT keyboardFormat;
DIDATAFORMAT mouseFormat;
DIOBJECTDATAFORMAT joystickObjects[6 + 2 + 4 + 32];
DIDATAFORMAT joystickFormat;

DIDATAFORMAT MakeFormat(DIOBJECTDATAFORMAT* objects, DWORD count, DWORD dataSize) {
  DIDATAFORMAT format = {};
  format.dwSize = sizeof(DIDATAFORMAT);
  format.dwObjSize = sizeof(DIOBJECTDATAFORMAT);
  format.dwFlags = DIDF_RELAXIS;
  format.dwDataSize = dataSize;
  format.dwNumObjs = count;
  format.rgodf = objects;
  return format;
}
}  // namespace

const DIDATAFORMAT* GetKeyboardDataFormat() {
  if (keyboardFormat.dwSize == 0) {
    for (DWORD i = 0; i < 256; i++) {
      keyboardObjects[i] = {&GUID_Key, i, DIDFT_BUTTON | DIDFT_MAKEINSTANCE(i) | DIDFT_OPTIONAL, 0};
    }
    keyboardFormat = MakeFormat(keyboardObjects, 256, 256);
  }
  return &keyboardFormat;
}

const DIDATAFORMAT* GetMouseDataFormat() {
  if (mouseFormat.dwSize == 0) {
    mouseObjects[0] = {&GUID_XAxis, 0, DIDFT_AXIS | DIDFT_ANYINSTANCE, 0};
    mouseObjects[1] = {&GUID_YAxis, 4, DIDFT_AXIS | DIDFT_ANYINSTANCE, 0};
    mouseObjects[2] = {&GUID_ZAxis, 8, DIDFT_AXIS | DIDFT_ANYINSTANCE | DIDFT_OPTIONAL, 0};
    for (DWORD i = 0; i < MOUSE_BUTTON_COUNT; i++) {
      DWORD optional = i >= 2 ? DIDFT_OPTIONAL : 0;
      mouseObjects[3 + i] = {nullptr, MOUSE_BUTTON_OFFSET + i, DIDFT_BUTTON | DIDFT_ANYINSTANCE | optional, 0};
    }
    mouseFormat = MakeFormat(mouseObjects, 3 + MOUSE_BUTTON_COUNT, MOUSE_STATE_SIZE);
  }
  return &mouseFormat;
}

const DIDATAFORMAT* GetJoystickDataFormat() {
  if (joystickFormat.dwSize == 0) {
    const GUID* axes[6] = {&GUID_XAxis, &GUID_YAxis, &GUID_ZAxis, &GUID_RxAxis, &GUID_RyAxis, &GUID_RzAxis};
    const DWORD optionalAxis = DIDFT_AXIS | DIDFT_ANYINSTANCE | DIDFT_OPTIONAL;
    DWORD n = 0;
    for (int i = 0; i < 6; i++) joystickObjects[n++] = {axes[i], (DWORD)(i * 4), optionalAxis, DIDOI_ASPECTPOSITION};
    for (int i = 0; i < 2; i++)
      joystickObjects[n++] = {&GUID_Slider, (DWORD)(24 + i * 4), optionalAxis, DIDOI_ASPECTPOSITION};
    for (int i = 0; i < 4; i++)
      joystickObjects[n++] = {&GUID_POV, (DWORD)(32 + i * 4), DIDFT_POV | DIDFT_ANYINSTANCE | DIDFT_OPTIONAL, 0};
    for (int i = 0; i < 32; i++)
      joystickObjects[n++] = {nullptr, (DWORD)(48 + i), DIDFT_BUTTON | DIDFT_ANYINSTANCE | DIDFT_OPTIONAL, 0};
    joystickFormat = MakeFormat(joystickObjects, n, sizeof(DIJOYSTATE));
    joystickFormat.dwFlags = DIDF_ABSAXIS;
  }
  return &joystickFormat;
}
