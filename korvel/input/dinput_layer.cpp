#include <windows.h>
#include <initguid.h>  // the DirectInput identifiers used below get their definitions here

#include "input/dinput_layer.h"

namespace {
DIOBJECTDATAFORMAT keyboardObjects[256];
DIOBJECTDATAFORMAT mouseObjects[3 + MOUSE_BUTTON_COUNT];
DIDATAFORMAT keyboardFormat;
DIDATAFORMAT mouseFormat;

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
