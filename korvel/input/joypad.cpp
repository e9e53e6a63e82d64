#include "input/joypad.h"

#include <cstring>

#include "core/log.h"
#include "core/winapi.h"
#include "input/input_devices.h"
#include "system/base/pump.h"
#include "system/base/timers.h"
#include "system/base/window_services.h"
#include "system/base/window_state.h"

JOYPAD_TABLE Joypads;
KEY_TO_PAD_MAP KeyToPadMap;

namespace {
const WORD kXInputButtons[10] = {0x1000, 0x2000, 0x4000, 0x8000, 0x100, 0x200, 0x20, 0x10, 0x40, 0x80};
const DWORD kAxisOffsets[6] = {DIJOFS_X, DIJOFS_Y, DIJOFS_Z, DIJOFS_RX, DIJOFS_RY, DIJOFS_RZ};

void ResetVibration(JOYPAD_STATE& pad) {
  pad.playing = 0;
  pad.power = 10000;
  pad.motorA = pad.motorB = 0;
}

void ResetPresentedState(JOYPAD_STATE& pad) {
  memset(&pad.state, 0, sizeof(pad.state));
  for (DWORD& pov : pad.state.rgdwPOV) pov = (DWORD)-1;
}

int DeviceRange(IDirectInputDevice2A* device, DWORD offset, const GUID& property, DIPROPHEADER* header) {
  header->dwHeaderSize = sizeof(DIPROPHEADER);
  header->dwObj = offset;
  header->dwHow = DIPH_BYOFFSET;
  return SUCCEEDED(device->SetProperty(property, header)) ? 0 : -1;
}

void SetAxisRanges(IDirectInputDevice2A* device) {
  for (int i = 0; i < 6; i++) {
    DIPROPRANGE range = {};
    range.diph.dwSize = sizeof(range);
    range.lMin = -1000;
    range.lMax = 1000;
    if (DeviceRange(device, kAxisOffsets[i], DIPROP_RANGE, &range.diph) == -1) {
      if (i == 0) WriteLogText("ジョイパッドデバイスのＸ軸関係の設定に失敗しました\n");
      if (i == 1) WriteLogText("ジョイパッドデバイスのＹ軸関係の設定に失敗しました\n");
    }
  }
  for (int i = 0; i < 6; i++) {
    DIPROPDWORD zone = {};
    zone.diph.dwSize = sizeof(zone);
    zone.dwData = 3499;
    if (DeviceRange(device, kAxisOffsets[i], DIPROP_DEADZONE, &zone.diph) == -1) {
      if (i == 0) WriteLogText("ジョイパッドデバイスのＸ軸の無効ゾーンの設定に失敗しました\n");
      if (i == 1) WriteLogText("ジョイパッドデバイスのＹ軸の無効ゾーンの設定に失敗しました\n");
    }
  }
}

void CreateEffects(JOYPAD_STATE& pad) {
  DWORD axes[2] = {DIJOFS_X, DIJOFS_Y};
  LONG directions[2] = {0, 0};
  // Devices of DirectInput 7 know the effect record without its start delay.
  DWORD effectSize = InputDevices.directInput8 ? sizeof(DIEFFECT) : sizeof(DIEFFECT_DX5);

  DIENVELOPE envelope = {sizeof(DIENVELOPE), 0, 500000, 0, 1000000};
  DIPERIODIC periodic = {10000, 0, 0, 1500000};
  DIEFFECT sine = {};
  sine.dwSize = effectSize;
  sine.dwFlags = DIEFF_POLAR | DIEFF_OBJECTOFFSETS;
  sine.dwDuration = INFINITE;
  sine.dwGain = 10000;
  sine.dwTriggerButton = DIEB_NOTRIGGER;
  sine.cAxes = 2;
  sine.rgdwAxes = axes;
  sine.rglDirection = directions;
  sine.lpEnvelope = &envelope;
  sine.cbTypeSpecificParams = sizeof(periodic);
  sine.lpvTypeSpecificParams = &periodic;
  if (FAILED(pad.device->CreateEffect(GUID_Sine, &sine, &pad.sine, nullptr))) pad.sine = nullptr;

  DICONSTANTFORCE force = {10000};
  DIEFFECT constant = sine;
  constant.dwFlags = DIEFF_CARTESIAN | DIEFF_OBJECTOFFSETS;
  constant.lpEnvelope = nullptr;
  constant.cbTypeSpecificParams = sizeof(force);
  constant.lpvTypeSpecificParams = &force;
  if (FAILED(pad.device->CreateEffect(GUID_ConstantForce, &constant, &pad.constantForce, nullptr))) {
    pad.constantForce = nullptr;
    WriteLogText("周期的エフェクトの作成に失敗しました。\n");
  }
}

BOOL CALLBACK EnumerateJoypad(LPCDIDEVICEINSTANCEA instance, LPVOID) { return AddDirectInputJoypad(instance); }

IDirectInputDevice2A* CreatePadDevice(REFGUID guid) {
  void* created = nullptr;
  HRESULT hr;
  if (InputDevices.directInput8)
    hr = ((IDirectInput8A*)InputDevices.directInput)->CreateDevice(guid, (IDirectInputDevice8A**)&created, nullptr);
  else
    hr = ((IDirectInput7A*)InputDevices.directInput)->CreateDeviceEx(guid, IID_IDirectInputDevice7A, &created, nullptr);
  return FAILED(hr) ? nullptr : (IDirectInputDevice2A*)created;
}

void ReadWinmmPad(int index, JOYPAD_STATE& pad) {
  JOYINFOEX info = {};
  info.dwSize = 52;
  info.dwFlags = JOY_RETURNALL;
  if (WinApi.winmm.joyGetPosEx == nullptr || WinApi.winmm.joyGetPosEx((UINT)index, &info) != JOYERR_NOERROR) {
    ResetPresentedState(pad);
    return;
  }
  DIJOYSTATE& s = pad.state;
  s.lX = ConvertWinmmAxis(info.dwXpos, pad.deadZone);
  s.lY = ConvertWinmmAxis(info.dwYpos, pad.deadZone);
  s.lZ = pad.hasZAndR ? ConvertWinmmAxis(info.dwZpos, pad.deadZone) : 0;
  s.lRz = pad.hasZAndR ? ConvertWinmmAxis(info.dwRpos, pad.deadZone) : 0;
  s.lRx = pad.hasZAndR ? ConvertWinmmAxis(info.dwUpos, pad.deadZone) : 0;
  for (int b = 0; b < 24; b++) s.rgbButtons[b] = (info.dwButtons >> b & 1) ? 0x80 : 0;
}

int ReadDirectInputPad(JOYPAD_STATE& pad, int now) {
  bool signalled = pad.event != nullptr && WaitForSingleObject(pad.event, 0) == WAIT_OBJECT_0;
  if (now == pad.lastReadTick && !signalled) return 0;
  pad.lastReadTick = now;
  DIJOYSTATE read;
  pad.device->Poll();
  HRESULT hr = pad.device->GetDeviceState(sizeof(read), &read);
  if (FAILED(hr)) {
    if (PumpWindowMessages() != 0 || !IsDirectInputInUse()) return -1;
    if (SUCCEEDED(pad.device->Acquire())) hr = pad.device->GetDeviceState(sizeof(read), &read);
  }
  if (SUCCEEDED(hr)) pad.state = read;
  if (signalled) ResetEvent(pad.event);
  return 0;
}

void ReadXInputPad(JOYPAD_STATE& pad) {
  XINPUT_PAD_STATE raw;
  if (InputDevices.xinputGetState == nullptr || InputDevices.xinputGetState((DWORD)pad.xinputIndex, &raw) != 0)
    return;  // the pad keeps what it showed last
  pad.raw = raw;
  DIJOYSTATE& s = pad.state;
  s.lX = ConvertThumbAxis(raw.thumbLX, pad.deadZone);
  s.lY = -ConvertThumbAxis(raw.thumbLY, pad.deadZone);
  s.lRx = ConvertThumbAxis(raw.thumbRX, pad.deadZone);
  s.lRy = -ConvertThumbAxis(raw.thumbRY, pad.deadZone);
  s.lZ = ConvertTriggers(raw.leftTrigger, raw.rightTrigger, pad.deadZone);
  for (int b = 0; b < 10; b++) s.rgbButtons[b] = (raw.buttons & kXInputButtons[b]) ? 0x80 : 0;
  s.rgdwPOV[0] = ConvertDirectionPad(raw.buttons);
  s.rgdwPOV[1] = s.rgdwPOV[2] = s.rgdwPOV[3] = (DWORD)-1;
}

// Pads that vibrate: XInput pads, and DirectInput pads with a device.
bool CanVibrate(const JOYPAD_STATE& pad) { return pad.xinputIndex >= 0 || pad.device != nullptr; }

void SendMotorSpeeds(const JOYPAD_STATE& pad, XINPUT_MOTOR_SPEEDS speeds) {
  if (InputDevices.xinputSetState != nullptr) InputDevices.xinputSetState((DWORD)pad.xinputIndex, &speeds);
}

void SilencePad(JOYPAD_STATE& pad) {
  if (pad.xinputIndex >= 0) {
    if (pad.motorA || pad.motorB) SendMotorSpeeds(pad, {0, 0});
  } else {
    if (pad.motorA && pad.constantForce != nullptr) pad.constantForce->Stop();
    if (pad.motorB && pad.sine != nullptr) pad.sine->Stop();
  }
  pad.motorA = pad.motorB = 0;
}

void DrivePad(JOYPAD_STATE& pad) {
  int wantA = pad.playing ? 1 : 0;
  int wantB = pad.playing && pad.power > 5000 ? 1 : 0;
  if (pad.xinputIndex >= 0) {
    if (wantA == pad.motorA && wantB == pad.motorB) return;
    pad.motorA = wantA;
    pad.motorB = wantB;
    // The set call is absolute: both motors get their present speed.
    SendMotorSpeeds(pad, ComputeMotorSpeeds(pad.playing, pad.power));
    return;
  }
  if (pad.constantForce != nullptr && wantA != pad.motorA) {
    if (wantA) pad.constantForce->Start(1, 0); else pad.constantForce->Stop();
    pad.motorA = wantA;
  }
  if (pad.sine != nullptr && wantB != pad.motorB) {
    if (wantB) pad.sine->Start(1, 0); else pad.sine->Stop();
    pad.motorB = wantB;
  }
}

JOYPAD_STATE* PadOfNumber(int pad) {
  int index = pad - 1;
  if (index < 0 || index >= Joypads.count) return nullptr;
  return &Joypads.pads[index];
}
}  // namespace

int ConvertWinmmAxis(DWORD position, int deadZone) {
  long long p = position;
  if (p == 0) return -1000;
  if (p == 0x7FFF) return 0;
  if (p == 0xFFFF) return 1000;
  long long h = (long long)deadZone * 32768 / 65536;
  long long e = 0x8000 - h;
  if (p < e) return (int)-((e - p) * 1000 / e);
  if (p > 0x8000 + h) return (int)(((p - h) * 1000 - 32768000) / e);
  return 0;
}

int ConvertThumbAxis(int v, int deadZone) {
  int d = (int)((long long)deadZone * 32767 / 65536);
  if (v == -32768) return -1000;
  if (v == 32767) return 1000;
  if (v < -d) return (v + d) * 1000 / (32767 - d);
  if (v > d) return (v - d) * 1000 / (32767 - d);
  return 0;
}

int ConvertTriggers(int left, int right, int deadZone) {
  int t = deadZone * 255 / 65536;
  int z = 0;
  if (left > t) z += (left - t) * 1000 / (255 - t);
  if (right > t) z -= (right - t) * 1000 / (255 - t);
  return z;
}

DWORD ConvertDirectionPad(WORD buttons) {
  static const DWORD kPov[16] = {
      (DWORD)-1, 0,         18000,     (DWORD)-1,  // none, up, down, up+down
      27000,     31500,     22500,     (DWORD)-1,  // left, up-left, down-left
      9000,      4500,      13500,     (DWORD)-1,  // right, up-right, down-right
      (DWORD)-1, (DWORD)-1, (DWORD)-1, (DWORD)-1,
  };
  return kPov[buttons & 0xF];
}

XINPUT_MOTOR_SPEEDS ComputeMotorSpeeds(int playing, int power) {
  if (!playing) return {0, 0};
  if (power < 0) power = 0;
  if (power > 10000) power = 10000;
  WORD left = power <= 5000 ? (WORD)(power * 65535 / 5000) : 65535;
  WORD right = power > 5000 ? (WORD)((power - 5000) * 65535 / 5000) : 0;
  return {left, right};
}

int InitKeyToPadMap() {
  if (KeyToPadMap.ready) return 0;
  for (auto& pad : KeyToPadMap.codes)
    for (auto& entry : pad) entry[0] = entry[1] = -1;
  static const int kPad1[14][2] = {{0x50, 0xD0}, {0x4B, 0xCB}, {0x4D, 0xCD}, {0x48, 0xC8}, {0x2C, -1},
                                   {0x2D, -1},   {0x2E, -1},   {0x1E, -1},   {0x1F, -1},   {0x20, -1},
                                   {0x10, -1},   {0x11, -1},   {0x01, -1},   {0x39, -1}};
  for (int bit = 0; bit < 14; bit++) {
    KeyToPadMap.codes[0][bit][0] = kPad1[bit][0];
    KeyToPadMap.codes[0][bit][1] = kPad1[bit][1];
  }
  KeyToPadMap.ready = 1;
  return 0;
}

int SetUpJoypads() {
  if (!IsDirectInputInUse()) return -1;
  ReleaseJoypads();
  WriteLogText("ジョイパッドの初期化... \n");
  Joypads.count = 0;
  Joypads.winmm = 0;
  if (InputDevices.xinputGetState != nullptr) {
    for (int index = 0; index < 4 && Joypads.count < JOYPAD_MAX; index++) {
      XINPUT_PAD_STATE raw;
      if (InputDevices.xinputGetState((DWORD)index, &raw) != 0) continue;
      AddLogLineFormat("ジョイパッドナンバー %d は Xbox360 Controller です", Joypads.count);
      JOYPAD_STATE& pad = Joypads.pads[Joypads.count++];
      memset(&pad, 0, sizeof(pad));
      pad.xinputIndex = index;
      pad.deadZone = JOYPAD_DEAD_ZONE;
      ResetVibration(pad);
      ResetPresentedState(pad);
    }
  }
  if (InputDevices.directInput8)
    ((IDirectInput8A*)InputDevices.directInput)->EnumDevices(DI8DEVCLASS_GAMECTRL, EnumerateJoypad, nullptr,
                                                             DIEDFL_ATTACHEDONLY);
  else
    ((IDirectInput7A*)InputDevices.directInput)->EnumDevices(DIDEVTYPE_JOYSTICK, EnumerateJoypad, nullptr,
                                                             DIEDFL_ATTACHEDONLY);
  WriteLogText("ジョイパッドの初期化は正常に終了しました\n");
  return 0;
}

BOOL AddDirectInputJoypad(const DIDEVICEINSTANCEA* instance) {
  if (Joypads.count >= JOYPAD_MAX) return DIENUM_STOP;
  JOYPAD_STATE& pad = Joypads.pads[Joypads.count];
  memset(&pad, 0, sizeof(pad));
  pad.xinputIndex = -1;
  IDirectInputDevice2A* device = CreatePadDevice(instance->guidInstance);
  if (device == nullptr) {
    WriteLogText("入力装置の取得に失敗しました\n");
    return DIENUM_CONTINUE;
  }
  DIDEVICEINSTANCEA info = {};
  info.dwSize = sizeof(info);
  device->GetDeviceInfo(&info);
  info.tszInstanceName[sizeof(info.tszInstanceName) - 1] = 0;
  info.tszProductName[sizeof(info.tszProductName) - 1] = 0;
  if (strstr(info.tszInstanceName, "XBOX 360 For Windows") != nullptr) {  // read through XInput
    device->Release();
    return DIENUM_CONTINUE;
  }
  WriteLogText("入力装置を見つけました\n");
  strcpy(pad.instanceName, info.tszInstanceName);
  strcpy(pad.productName, info.tszProductName);
  IndentLog();
  AddLogLineFormat("デバイスの登録名:%s", pad.instanceName);
  AddLogLineFormat("デバイスの製品登録名:%s", pad.productName);
  UnindentLog();
  if (FAILED(device->SetDataFormat(GetJoystickDataFormat()))) {
    device->Release();
    WriteLogText("ジョイパッドデバイスではありませんでした、又は設定に失敗しました\n");
    return DIENUM_CONTINUE;
  }
  if (FAILED(device->SetCooperativeLevel(WindowState.mainWindow, DISCL_EXCLUSIVE | DISCL_FOREGROUND)))
    WriteLogText("ジョイパッドデバイスの協調レベルの設定に失敗しました\n");
  SetAxisRanges(device);
  pad.deadZone = JOYPAD_DEAD_ZONE;
  pad.device = device;
  if (!InputDevices.switches.noForceFeedback) CreateEffects(pad);
  ResetVibration(pad);
  HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  HRESULT hr = device->SetEventNotification(event);
  if (hr != DI_OK && hr != DI_POLLEDDEVICE) {
    WriteLogText("ジョイパッドイベントのセットアップが失敗しました\n");
    if (pad.sine != nullptr) pad.sine->Release();
    if (pad.constantForce != nullptr) pad.constantForce->Release();
    device->Release();
    CloseHandle(event);
    memset(&pad, 0, sizeof(pad));
    return DIENUM_CONTINUE;
  }
  device->Acquire();
  pad.event = event;
  ResetPresentedState(pad);
  Joypads.count++;
  WriteLogText("ジョイパッドの追加は正常に終了しました\n");
  return Joypads.count < JOYPAD_MAX ? DIENUM_CONTINUE : DIENUM_STOP;
}

int SetUpWinmmJoypads() {
  Joypads.count = 0;
  Joypads.winmm = 1;
  if (WinApi.winmm.joyGetDevCapsA == nullptr) return 0;
  for (int id = 0; id < JOYPAD_MAX; id++) {
    JOYCAPSA caps = {};
    if (WinApi.winmm.joyGetDevCapsA((UINT_PTR)id, &caps, sizeof(caps)) != JOYERR_NOERROR) break;
    JOYPAD_STATE& pad = Joypads.pads[Joypads.count++];
    memset(&pad, 0, sizeof(pad));
    pad.xinputIndex = -1;
    pad.hasZAndR = (caps.wCaps & JOYCAPS_HASZ) && (caps.wCaps & JOYCAPS_HASR) ? 1 : 0;
    pad.deadZone = JOYPAD_DEAD_ZONE;
    ResetVibration(pad);
    ResetPresentedState(pad);
  }
  return Joypads.count;
}

int ReleaseJoypads() {
  for (int i = 0; i < Joypads.count; i++) {
    JOYPAD_STATE& pad = Joypads.pads[i];
    if (pad.device != nullptr) {
      pad.device->Unacquire();
      pad.device->SetEventNotification(nullptr);
      if (pad.sine != nullptr) {
        pad.sine->Stop();
        pad.sine->Release();
      }
      if (pad.constantForce != nullptr) {
        pad.constantForce->Stop();
        pad.constantForce->Release();
      }
      pad.device->Release();
    }
    if (pad.event != nullptr) CloseHandle(pad.event);
  }
  memset(Joypads.pads, 0, sizeof(Joypads.pads));
  Joypads.count = 0;
  Joypads.winmm = 0;
  return IsDirectInputInUse() ? 0 : -1;
}

int ReacquireJoypads() {
  for (int i = 0; i < Joypads.count; i++) {
    JOYPAD_STATE& pad = Joypads.pads[i];
    if (pad.device == nullptr) continue;
    pad.device->Unacquire();
    DWORD level = WindowState.active ? DISCL_EXCLUSIVE | DISCL_FOREGROUND : DISCL_NONEXCLUSIVE | DISCL_BACKGROUND;
    pad.device->SetCooperativeLevel(WindowState.mainWindow, level);
    pad.device->Acquire();
  }
  return 0;
}

int GetJoypadCount() { return Joypads.count; }

int ReadJoypadState(int index) {
  if (index < 0 || index >= JOYPAD_MAX || index >= Joypads.count) return -1;
  JOYPAD_STATE& pad = Joypads.pads[index];
  int now = GetMillisecondCount();
  if (pad.xinputIndex >= 0) {
    if (now == pad.lastReadTick) return 0;
    pad.lastReadTick = now;
    ReadXInputPad(pad);
    return 0;
  }
  if (pad.device != nullptr) return ReadDirectInputPad(pad, now);
  if (now == pad.lastReadTick) return 0;
  pad.lastReadTick = now;
  ReadWinmmPad(index, pad);
  return 0;
}

int ReadJoypadInputBits(int n) {
  WaitWhileInactive();
  if (!AreInputDevicesStarted() && !IsWindowClosing()) return StartInputDevices();
  int withKeys = n & JOYPAD_WITH_KEYBOARD;
  int i = (n & ~JOYPAD_WITH_KEYBOARD) - 1;
  // Pad numbers below 0, or beyond the pads and the key map, read nothing.
  if (i < -1 || i >= JOYPAD_MAX) return 0;
  if (Joypads.count > 0 && i != -1 && i >= Joypads.count && !withKeys) return 0;
  int bits = 0;
  if (i >= 0 && i < Joypads.count && ReadJoypadState(i) == 0) {
    const DIJOYSTATE& s = Joypads.pads[i].state;
    if (s.lX < 0) bits |= 2;
    if (s.lX > 0) bits |= 4;
    if (s.lY < 0) bits |= 8;
    if (s.lY > 0) bits |= 1;
    for (int b = 0; b < 24; b++)
      if (s.rgbButtons[b] & 0x80) bits |= 1 << (4 + b);
  }
  if (withKeys) {
    ReadKeyboardState(1);
    const int(*map)[4] = KeyToPadMap.codes[i == -1 ? 0 : i];
    for (int bit = 0; bit < JOYPAD_INPUT_BITS; bit++)
      for (int k = 0; k < 4; k++) {
        int code = map[bit][k];
        if (code > 0 && code < 256 && (InputDevices.keyState[code] & 0x80)) bits |= 1 << bit;
      }
  }
  return bits;
}

int StopJoypadMotor(int n) {
  JOYPAD_STATE* pad = PadOfNumber(n);
  if (pad == nullptr || !pad->playing) return 0;
  if (pad->xinputIndex < 0 && (pad->device == nullptr || pad->constantForce == nullptr)) return 0;
  pad->playing = 0;
  pad->power = 10000;
  ApplyJoypadVibration();
  return 0;
}

int StartJoypadVibration(int n, int power, int duration) {
  JOYPAD_STATE* pad = PadOfNumber(n);
  if (pad == nullptr || !CanVibrate(*pad)) return -1;
  pad->power = power < 0 ? 0 : power > 10000 ? 10000 : power;
  pad->duration = duration;
  pad->played = 0;
  pad->lastTick = GetMillisecondCount();
  pad->playing = 1;
  ApplyJoypadVibration();
  return 0;
}

int UpdateJoypadVibrationTimers() {
  if (!IsDirectInputInUse()) return 0;
  int now = GetMillisecondCount();
  for (int i = 0; i < Joypads.count; i++) {
    JOYPAD_STATE& pad = Joypads.pads[i];
    if (!pad.playing || !CanVibrate(pad) || pad.duration < 0 || pad.lastTick == now) continue;
    if (pad.lastTick > now) pad.lastTick = now;
    pad.played += now - pad.lastTick;
    pad.lastTick = now;
    if (pad.played >= pad.duration) StopJoypadMotor(i + 1);
  }
  ApplyJoypadVibration();
  return 0;
}

int ApplyJoypadVibration() {
  if (!IsDirectInputInUse()) return 0;
  for (int i = 0; i < Joypads.count; i++) {
    JOYPAD_STATE& pad = Joypads.pads[i];
    if (!CanVibrate(pad)) continue;
    if (!WindowState.active)
      SilencePad(pad);
    else
      DrivePad(pad);
  }
  return 0;
}
