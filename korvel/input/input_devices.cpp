#include "input/input_devices.h"
#include "input/joypad.h"

#include <cstring>

#include "core/log.h"
#include "core/winapi.h"
#include "system/base/pump.h"
#include "system/base/timers.h"
#include "system/base/window_state.h"

INPUT_DEVICE_STATE InputDevices;

namespace {
const DWORD kBackgroundNonExclusive = DISCL_NONEXCLUSIVE | DISCL_BACKGROUND;

void ResetInputState() {
  INPUT_SWITCHES kept = InputDevices.switches;
  memset(&InputDevices, 0, sizeof(InputDevices));
  InputDevices.switches = kept;
}

void LoadXInput() {
  WriteLogText("XInput DLL の読み込み中... ");
  static const char* const names[] = {"xinput1_4.dll", "xinput1_3.dll", "xinput9_1_0.dll"};
  for (const char* name : names) {
    InputDevices.xinputModule = LoadLibraryA(name);
    if (InputDevices.xinputModule == nullptr) continue;
    // XInput watches for pads on a thread of its own; a FreeLibrary soon after the first poll
    // could unmap the DLL before that thread has run (seen under Wine), so the DLL stays
    // mapped until the process ends. The library's own reference is still released at the end.
    HMODULE pinned = nullptr;
    GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_PIN, name, &pinned);
    break;
  }
  if (InputDevices.xinputModule == nullptr) {
    WriteLogText("失敗、XInputは使用しません\n");
    return;
  }
  WriteLogText("成功\n");
  InputDevices.xinputGetState =
      (XINPUT_GET_STATE_FN)(void*)GetProcAddress(InputDevices.xinputModule, "XInputGetState");
  InputDevices.xinputSetState =
      (XINPUT_SET_STATE_FN)(void*)GetProcAddress(InputDevices.xinputModule, "XInputSetState");
}

HRESULT CreateComObject(REFCLSID classId, REFIID interfaceId, void** object) {
  *object = nullptr;
  if (WinApi.ole32.CoCreateInstance == nullptr) return E_FAIL;
  return WinApi.ole32.CoCreateInstance(classId, nullptr, CLSCTX_INPROC_SERVER, interfaceId, object);
}

// Gets a DirectInput object of one version; 0 when it is created and initialised.
int GetDirectInput(int version8) {
  void* object = nullptr;
  HRESULT hr = version8 ? CreateComObject(CLSID_DirectInput8, IID_IDirectInput8A, &object)
                        : CreateComObject(CLSID_DirectInput, IID_IDirectInput7A, &object);
  if (FAILED(hr) || object == nullptr) {
    if (version8) {
      WriteLogText("取得に失敗。");
    } else {
      WriteLogText("取得に失敗。\n");
      AddLogLineFormat("エラーコード 0x%x", (unsigned)hr);
    }
    return -1;
  }
  WriteLogText("成功\n");
  IndentLog();
  WriteLogText("引き続き初期化処理... ");
  HINSTANCE instance = GetModuleHandleA(nullptr);
  hr = version8 ? ((IDirectInput8A*)object)->Initialize(instance, 0x800)
                : ((IDirectInput7A*)object)->Initialize(instance, 0x700);
  if (FAILED(hr)) {
    WriteLogText("初期化に失敗。");
    ((IUnknown*)object)->Release();
    return -1;
  }
  WriteLogText("初期化成功\n");
  InputDevices.directInput = object;
  InputDevices.directInput8 = version8;
  return 0;
}

IDirectInputDeviceA* CreateInputDevice(REFGUID device) {
  void* created = nullptr;
  HRESULT hr;
  if (InputDevices.directInput8) {
    hr = ((IDirectInput8A*)InputDevices.directInput)->CreateDevice(device, (IDirectInputDevice8A**)&created, nullptr);
  } else {
    hr = ((IDirectInput7A*)InputDevices.directInput)->CreateDeviceEx(device, IID_IDirectInputDevice7A, &created, nullptr);
  }
  return FAILED(hr) ? nullptr : (IDirectInputDeviceA*)created;
}

void SetUpMouseDevice() {
  WriteLogText("マウスデバイスの初期化... ");
  IDirectInputDeviceA* mouse = CreateInputDevice(GUID_SysMouse);
  if (mouse == nullptr) ExitWithFatalError("マウスデバイスの取得に失敗しました");
  InputDevices.mouseDevice = mouse;
  if (FAILED(mouse->SetDataFormat(GetMouseDataFormat()))) {
    ExitWithFatalError("マウスデバイスのデータ形式の設定に失敗しました");
  }
  if (FAILED(mouse->SetCooperativeLevel(WindowState.mainWindow, kBackgroundNonExclusive))) {
    ExitWithFatalError("マウスデバイスの協調レベルの設定に失敗しました");
  }
  WriteLogText("初期化成功\n");
}

// -1 when the keyboard event cannot be set up; the other failures end the process.
int SetUpKeyboardDevice() {
  WriteLogText("キーボードデバイスの初期化... ");
  IDirectInputDeviceA* keyboard = CreateInputDevice(GUID_SysKeyboard);
  if (keyboard == nullptr) {
    InputDevices.mouseDevice->Release();
    InputDevices.mouseDevice = nullptr;
    ExitWithFatalError("キーボードデバイスの取得に失敗しました");
  }
  InputDevices.keyboardDevice = keyboard;
  if (FAILED(keyboard->SetDataFormat(GetKeyboardDataFormat()))) {
    ExitWithFatalError("キーボードデバイスのデータ形式の設定に失敗しました");
  }
  if (FAILED(keyboard->SetCooperativeLevel(WindowState.mainWindow, kBackgroundNonExclusive))) {
    ExitWithFatalError("キーボードデバイスの協調レベルの設定に失敗しました");
  }
  DIPROPDWORD bufferSize = {};
  bufferSize.diph.dwSize = sizeof(DIPROPDWORD);
  bufferSize.diph.dwHeaderSize = sizeof(DIPROPHEADER);
  bufferSize.diph.dwHow = DIPH_DEVICE;
  bufferSize.dwData = 100;
  if (FAILED(keyboard->SetProperty(DIPROP_BUFFERSIZE, &bufferSize.diph))) {
    WriteLogText("キーボードのプロパティ設定に失敗しました\n");
  }
  InputDevices.keyboardEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  HRESULT hr = keyboard->SetEventNotification(InputDevices.keyboardEvent);
  if (hr != DI_OK && hr != DI_POLLEDDEVICE) {
    WriteLogText("キーボードイベントのセットアップが失敗しました\n");
    return -1;
  }
  if (FAILED(keyboard->Acquire()) && FAILED(keyboard->Acquire())) {
    ExitWithFatalError("キーボードデバイスの取得に失敗しました");
  }
  WriteLogText("初期化成功\n");
  InputDevices.lastReadTick = GetMillisecondCount();
  return 0;
}

// Devices of an obtained DirectInput object; -1 when the keyboard event cannot be set up.
int SetUpDirectInputDevices() {
  UnindentLog();
  PumpWindowMessages();
  SetUpJoypads();
  SetUpMouseDevice();
  if (!InputDevices.switches.keyboardWithoutDirectInput && SetUpKeyboardDevice() != 0) return -1;
  UnindentLog();
  WriteLogText("DirectInput 関連の初期化は正常に終了しました\n");
  return 0;
}

void StartWithoutDirectInput() {
  AddLogLineFormat("パッドの数は %d 個です", SetUpWinmmJoypads());
  InputDevices.directInput = INPUT_WITHOUT_DIRECTINPUT;
  WriteLogText("入力関連の初期化をしました\n");
}

void ReleaseDevice(IDirectInputDeviceA** device) {
  if (*device == nullptr) return;
  (*device)->Unacquire();
  (*device)->Release();
  *device = nullptr;
}
}  // namespace

int AreInputDevicesStarted() { return InputDevices.directInput != nullptr ? 1 : 0; }

int StartInputDevices() {
  if (InputDevices.directInput != nullptr || InputDevices.starting) return 0;
  ResetInputState();
  InputDevices.starting = 1;

  bool haveDirectInput = false;
  if (!InputDevices.switches.noDirectInput) {
    WriteLogText("DirectInput関係初期化処理\n");
    IndentLog();
    LoadXInput();
    WriteLogText("DirectInput7 の取得中... ");
    haveDirectInput = GetDirectInput(0) == 0;
    if (!haveDirectInput) {
      WriteLogText("DirectInput8 の取得を試みます...");
      haveDirectInput = GetDirectInput(1) == 0;
    }
    if (!haveDirectInput) {
      WriteLogText("DirectInput を使用しません。\n");
      UnindentLog();
      InputDevices.switches.noDirectInput = 1;
    }
  }

  if (haveDirectInput) {
    if (SetUpDirectInputDevices() != 0) {
      InputDevices.starting = 0;
      return -1;
    }
  } else {
    StartWithoutDirectInput();
  }
  InitKeyToPadMap();
  InputDevices.starting = 0;
  return 0;
}

int ShutDownInputDevices() {
  if (InputDevices.directInput == nullptr) return 0;
  if (InputDevices.directInput == INPUT_WITHOUT_DIRECTINPUT) {
    WriteLogText("入力関連の終了処理... 完了\n");
    InputDevices.directInput = nullptr;
    return 0;
  }
  WriteLogText("DirectInput 関連の終了処理... 完了\n");
  ReleaseJoypads();
  ReleaseDevice(&InputDevices.keyboardDevice);
  if (InputDevices.keyboardEvent != nullptr) {
    CloseHandle(InputDevices.keyboardEvent);
    InputDevices.keyboardEvent = nullptr;
  }
  ReleaseDevice(&InputDevices.mouseDevice);
  ((IUnknown*)InputDevices.directInput)->Release();
  InputDevices.directInput = nullptr;
  if (InputDevices.xinputModule != nullptr) FreeLibrary(InputDevices.xinputModule);
  InputDevices.xinputModule = nullptr;
  InputDevices.xinputGetState = nullptr;
  InputDevices.xinputSetState = nullptr;
  return 0;
}

int ReacquireInputDevices() {
  if (!IsDirectInputInUse()) return 0;
  ReacquireJoypads();
  if (InputDevices.keyboardDevice != nullptr) {
    InputDevices.keyboardDevice->Unacquire();
    InputDevices.keyboardDevice->Acquire();
  }
  return 0;
}

int IsDirectInputInUse() {
  return InputDevices.directInput != nullptr && InputDevices.directInput != INPUT_WITHOUT_DIRECTINPUT ? 1 : 0;
}

int PrefersSystemKeyState() {
  return WindowState.osCode >= OS_CODE_VISTA && !InputDevices.switches.directInputOnNewSystems ? 1 : 0;
}

int UsesSystemKeyState() {
  return !IsDirectInputInUse() || InputDevices.keyboardDevice == nullptr || PrefersSystemKeyState() ? 1 : 0;
}

int SetF10DownFlag() {
  InputDevices.f10Down = 1;
  return 0;
}

int ClearF10DownFlag() {
  InputDevices.f10Down = 0;
  return 0;
}

int SetSecondHookKeyFlag() {
  InputDevices.secondHookKeyDown = 1;
  return 0;
}

int ClearSecondHookKeyFlag() {
  InputDevices.secondHookKeyDown = 0;
  return 0;
}
