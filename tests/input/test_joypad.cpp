// Joypads: the presented axis values, dead zones, triggers and POV as tables; XInput pads,
// DirectInput pads and winmm joysticks reached through scripted functions and devices (no pad
// is attached here); the input bits with the key-to-pad map; the vibration powers and timers.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "core/winapi.h"
#include "fake_joypad_device.h"
#include "input/input_devices.h"
#include "input/joypad.h"
#include "korvel.h"
#include "system/base/timers.h"
#include "system/base/window_state.h"
#include "test_support.h"

namespace {
XINPUT_PAD_STATE PadStates[4];
bool PadPresent[4];
std::vector<std::string> MotorCalls;

DWORD WINAPI FakeXInputGetState(DWORD index, void* out) {
  if (index > 3 || !PadPresent[index]) return ERROR_DEVICE_NOT_CONNECTED;
  memcpy(out, &PadStates[index], sizeof(XINPUT_PAD_STATE));
  return 0;
}

DWORD WINAPI FakeXInputSetState(DWORD index, void* speeds) {
  const XINPUT_MOTOR_SPEEDS* s = (const XINPUT_MOTOR_SPEEDS*)speeds;
  MotorCalls.push_back(std::to_string(index) + ":" + std::to_string(s->left) + "," + std::to_string(s->right));
  return 0;
}

class Joypad : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    DeleteFileA("Log.txt");
    AllowMultipleInstances(1);
    SetRunWhileInactive(1);
    ChangeWindowMode(1);
    ASSERT_EQ(InitLibrary(), 0);
    ASSERT_EQ(IsDirectInputInUse(), 1);
  }
  static void TearDownTestSuite() {
    ReleaseJoypads();
    EndLibrary();
  }
  void SetUp() override {
    memset(PadStates, 0, sizeof(PadStates));
    PadPresent[0] = PadPresent[2] = true;
    PadPresent[1] = PadPresent[3] = false;
    MotorCalls.clear();
    InputDevices.xinputGetState = FakeXInputGetState;
    InputDevices.xinputSetState = FakeXInputSetState;
    ASSERT_EQ(SetUpJoypads(), 0);
    WindowState.active = 1;
  }
};

// Lets the millisecond clock move on so that the next read is not skipped.
void NextTick() {
  int start = GetMillisecondCount();
  while (GetMillisecondCount() == start) Sleep(1);
}

TEST(JoypadValues, ThumbAxesWithTheDeadZone) {
  struct {
    int raw, presented;
  } rows[] = {{0, 0},       {11468, 0},    {-11468, 0},  {11469, 0},     {22000, 494},  {-20000, -400},
              {32766, 999}, {32767, 1000}, {-32767, -1000}, {-32768, -1000}};
  for (const auto& row : rows) EXPECT_EQ(ConvertThumbAxis(row.raw, JOYPAD_DEAD_ZONE), row.presented) << row.raw;
}

TEST(JoypadValues, WinmmPositionsWithTheDeadZone) {
  struct {
    DWORD position;
    int presented;
  } rows[] = {{0, -1000},      {0x7FFF, 0},     {0xFFFF, 1000},  {0x8000, 0},    {10000, -530},
              {21299, 0},      {44236, 0},      {44237, 0},      {60000, 740},   {1, -999}};
  for (const auto& row : rows)
    EXPECT_EQ(ConvertWinmmAxis(row.position, JOYPAD_DEAD_ZONE), row.presented) << row.position;
}

TEST(JoypadValues, TriggersAndDirectionPad) {
  struct {
    int left, right, z;
  } triggers[] = {{255, 0, 1000}, {255, 255, 0}, {0, 255, -1000}, {89, 0, 0}, {90, 0, 6}, {172, 0, 500}};
  for (const auto& row : triggers)
    EXPECT_EQ(ConvertTriggers(row.left, row.right, JOYPAD_DEAD_ZONE), row.z) << row.left << "," << row.right;
  struct {
    WORD buttons;
    DWORD pov;
  } hats[] = {{0, (DWORD)-1}, {1, 0},      {1 | 8, 4500}, {8, 9000},  {2 | 8, 13500}, {2, 18000},
              {2 | 4, 22500}, {4, 27000},  {1 | 4, 31500}, {1 | 2, (DWORD)-1}, {4 | 8, (DWORD)-1},
              {0x1000 | 1, 0}};
  for (const auto& row : hats) EXPECT_EQ(ConvertDirectionPad(row.buttons), row.pov) << "buttons " << row.buttons;
}

TEST_F(Joypad, XInputPadsAreFoundAndPresentedAsJoystickStates) {
  EXPECT_EQ(GetJoypadCount(), 2);
  EXPECT_EQ(Joypads.pads[0].xinputIndex, 0);
  EXPECT_EQ(Joypads.pads[1].xinputIndex, 2);
  std::string log = ReadLogWithoutStamps();
  EXPECT_NE(log.find("ジョイパッドの初期化... \r\nジョイパッドナンバー 0 は Xbox360 Controller です\r\n"
                     "ジョイパッドナンバー 1 は Xbox360 Controller です\r\nジョイパッドの初期化は正常に終了しました\r\n"),
            std::string::npos)
      << log;

  PadStates[0] = {1, 0x1000 | 0x0080 | 0x9, 255, 0, 32767, 32767, -32768, 0};
  NextTick();
  ASSERT_EQ(ReadJoypadState(0), 0);
  const DIJOYSTATE& s = Joypads.pads[0].state;
  EXPECT_EQ(s.lX, 1000);
  EXPECT_EQ(s.lY, -1000) << "up is negative";
  EXPECT_EQ(s.lRx, -1000);
  EXPECT_EQ(s.lRy, 0);
  EXPECT_EQ(s.lZ, 1000);
  EXPECT_EQ(s.rgdwPOV[0], 4500u);
  EXPECT_EQ(s.rgdwPOV[1], (DWORD)-1);
  EXPECT_EQ(s.rgbButtons[0], 0x80) << "A";
  EXPECT_EQ(s.rgbButtons[9], 0x80) << "right thumb";
  EXPECT_EQ(s.rgbButtons[1], 0);

  // A failed read keeps what the pad showed.
  PadPresent[0] = false;
  NextTick();
  ReadJoypadState(0);
  EXPECT_EQ(Joypads.pads[0].state.lX, 1000);
  EXPECT_EQ(ReadJoypadState(16), -1);
  EXPECT_EQ(ReadJoypadState(-1), -1);
}

TEST_F(Joypad, InputBitsFromEachButtonAndDirection) {
  const WORD buttons[10] = {0x1000, 0x2000, 0x4000, 0x8000, 0x100, 0x200, 0x20, 0x10, 0x40, 0x80};
  for (int i = 0; i < 10; i++) {
    PadStates[2] = {};
    PadStates[2].buttons = buttons[i];
    NextTick();
    EXPECT_EQ(ReadJoypadInputBits(2), 1 << (4 + i)) << "button " << i;
  }
  struct {
    SHORT x, y;
    int bits;
  } sticks[] = {{0, 0, 0},          {-20000, 0, 2}, {20000, 0, 4},    {0, 20000, 8},
                {0, -20000, 1},     {11000, 11000, 0}, {-32768, 32767, 2 | 8}};
  for (const auto& row : sticks) {
    PadStates[2] = {};
    PadStates[2].thumbLX = row.x;
    PadStates[2].thumbLY = row.y;
    NextTick();
    EXPECT_EQ(ReadJoypadInputBits(2), row.bits) << row.x << "," << row.y;
  }
}

TEST_F(Joypad, PadNumbersOutOfRangeReadNothingAndTheKeyboardMapsThroughPadOne) {
  PadStates[0].buttons = 0x1000;
  NextTick();
  struct {
    int number, bits;
  } rows[] = {{1, 0x10}, {3, 0}, {0, 0}, {-5, 0}, {16, 0}, {17 | 0x1000, 0}, {0x7FFFFFFF, 0}};
  for (const auto& row : rows) EXPECT_EQ(ReadJoypadInputBits(row.number), row.bits) << "pad " << row.number;

  BYTE keys[256];
  GetKeyboardState(keys);
  keys[VK_DOWN] = 0x80;
  keys[VK_SPACE] = 0x80;
  SetKeyboardState(keys);
  NextTick();
  EXPECT_EQ(ReadJoypadInputBits(0x1000), 1 | (1 << 13)) << "cursor down and Space through pad 1's map";
  EXPECT_EQ(ReadJoypadInputBits(1 | 0x1000), 0x10 | 1 | (1 << 13));
  EXPECT_EQ(ReadJoypadInputBits(2 | 0x1000), 0) << "pad 2 has no keys mapped";
  keys[VK_DOWN] = keys[VK_SPACE] = 0;
  SetKeyboardState(keys);
}

TEST_F(Joypad, VibrationPowersDriveTheXInputMotors) {
  struct {
    int power;
    const char* sent;
  } rows[] = {{5000, "0:65535,0"}, {10000, "0:65535,65535"}, {7500, "0:65535,32767"}, {2500, "0:32767,0"},
              {0, "0:0,0"}};
  for (const auto& row : rows) {
    MotorCalls.clear();
    ASSERT_EQ(StartJoypadVibration(1, row.power, -1), 0);
    ASSERT_FALSE(MotorCalls.empty()) << row.power;
    EXPECT_EQ(MotorCalls.back(), row.sent) << "power " << row.power;
    StopJoypadMotor(1);
    EXPECT_EQ(Joypads.pads[0].playing, 0);
    EXPECT_EQ(Joypads.pads[0].power, 10000);
  }
  // Only the right motor changes: the left one keeps its speed in the absolute set call.
  StartJoypadVibration(1, 5000, -1);
  MotorCalls.clear();
  Joypads.pads[0].power = 7500;
  ApplyJoypadVibration();
  ASSERT_EQ(MotorCalls.size(), 1u);
  EXPECT_EQ(MotorCalls[0], "0:65535,32767");
  MotorCalls.clear();
  ApplyJoypadVibration();
  EXPECT_TRUE(MotorCalls.empty()) << "nothing changed, nothing sent";
  StopJoypadMotor(1);
  EXPECT_EQ(MotorCalls.back(), "0:0,0");
  EXPECT_EQ(StartJoypadVibration(3, 5000, 10), -1);
}

TEST_F(Joypad, VibrationTimersStopAfterTheDurationAndInactivityPauses) {
  StartJoypadVibration(2, 10000, 1000);
  JOYPAD_STATE& pad = Joypads.pads[1];
  pad.lastTick = GetMillisecondCount() - 600;
  UpdateJoypadVibrationTimers();
  EXPECT_EQ(pad.playing, 1);
  EXPECT_GE(pad.played, 600);
  pad.lastTick = GetMillisecondCount() - 500;
  UpdateJoypadVibrationTimers();
  EXPECT_EQ(pad.playing, 0);
  EXPECT_EQ(MotorCalls.back(), "2:0,0");

  StartJoypadVibration(2, 6000, -1);
  pad.lastTick = GetMillisecondCount() - 100000;
  UpdateJoypadVibrationTimers();
  EXPECT_EQ(pad.playing, 1) << "a negative duration never ends by itself";

  MotorCalls.clear();
  WindowState.active = 0;
  ApplyJoypadVibration();
  EXPECT_EQ(MotorCalls, std::vector<std::string>{"2:0,0"});
  EXPECT_EQ(pad.playing, 1);
  EXPECT_EQ(pad.motorA + pad.motorB, 0);
  WindowState.active = 1;
  ApplyJoypadVibration();
  EXPECT_EQ(MotorCalls.back(), "2:65535,13107");
  StopJoypadMotor(2);
}

TEST_F(Joypad, DirectInputPadsAreSetUpReadAndVibrate) {
  FakeJoystick stick;
  FakeDirectInput8 directInput;
  directInput.joystick = &stick;
  void* savedObject = InputDevices.directInput;
  int savedVersion = InputDevices.directInput8;
  InputDevices.directInput = &directInput;
  InputDevices.directInput8 = 1;

  DIDEVICEINSTANCEA instance = {};
  instance.dwSize = sizeof(instance);
  stick.instanceName = "Controller (XBOX 360 For Windows)";
  EXPECT_EQ(AddDirectInputJoypad(&instance), DIENUM_CONTINUE);
  EXPECT_EQ(GetJoypadCount(), 2) << "read through XInput instead";
  EXPECT_EQ(stick.releases, 1);

  stick.instanceName = "Gamepad";
  EXPECT_EQ(AddDirectInputJoypad(&instance), DIENUM_CONTINUE);
  ASSERT_EQ(GetJoypadCount(), 3);
  JOYPAD_STATE& pad = Joypads.pads[2];
  EXPECT_EQ(pad.xinputIndex, -1);
  EXPECT_STREQ(pad.instanceName, "Gamepad");
  EXPECT_EQ(stick.effectSizes[0], sizeof(DIEFFECT));
  std::string setup;
  for (const std::string& call : stick.calls) setup += call + ";";
  EXPECT_NE(setup.find("range 0 -1000..1000;range 4 -1000..1000;"), std::string::npos) << setup;
  EXPECT_NE(setup.find("deadzone 20 3499;"), std::string::npos) << setup;
  EXPECT_NE(ReadLogWithoutStamps().find("入力装置を見つけました\r\n"), std::string::npos);

  // Reading: the state comes only from a successful read; a lost device is acquired again.
  stick.data.lX = 1000;
  stick.data.rgbButtons[3] = 0x80;
  NextTick();
  EXPECT_EQ(ReadJoypadInputBits(3), 4 | (1 << 7));
  stick.calls.clear();
  stick.stateResults = {DIERR_INPUTLOST, DI_OK};
  stick.data.lX = -1000;
  NextTick();
  EXPECT_EQ(ReadJoypadState(2), 0);
  std::string read;
  for (const std::string& call : stick.calls) read += call + ";";
  EXPECT_EQ(read, "Poll;GetDeviceState;Acquire;GetDeviceState;");
  EXPECT_EQ(pad.state.lX, -1000);
  stick.stateResults = {DIERR_INPUTLOST, DIERR_INPUTLOST};
  stick.data.lX = 0;
  NextTick();
  ReadJoypadState(2);
  EXPECT_EQ(pad.state.lX, -1000) << "a failed read keeps the last state";

  // Vibration: the constant force runs while playing, the sine above power 5000.
  StartJoypadVibration(3, 5000, -1);
  EXPECT_TRUE(stick.constant.running);
  EXPECT_FALSE(stick.sine.running);
  pad.power = 9000;
  ApplyJoypadVibration();
  EXPECT_TRUE(stick.sine.running);
  StopJoypadMotor(3);
  EXPECT_FALSE(stick.constant.running);
  EXPECT_FALSE(stick.sine.running);

  // A failed event set-up leaves the pad out.
  stick.eventResult = E_FAIL;
  EXPECT_EQ(AddDirectInputJoypad(&instance), DIENUM_CONTINUE);
  EXPECT_EQ(GetJoypadCount(), 3);
  EXPECT_NE(ReadLogWithoutStamps().find("ジョイパッドイベントのセットアップが失敗しました\r\n"), std::string::npos);

  EXPECT_EQ(stick.constant.releases, 1) << "the refused pad's effect";
  ReleaseJoypads();
  EXPECT_EQ(stick.constant.releases, 2);
  EXPECT_EQ(stick.sine.releases, 2);
  InputDevices.directInput = savedObject;
  InputDevices.directInput8 = savedVersion;
}

JOYCAPSA FakeCaps[2];
JOYINFOEX FakePosition;
MMRESULT WINAPI FakeJoyGetDevCaps(UINT_PTR id, LPJOYCAPSA caps, UINT) {
  if (id >= 2) return JOYERR_UNPLUGGED;
  *caps = FakeCaps[id];
  return JOYERR_NOERROR;
}
MMRESULT WINAPI FakeJoyGetPosEx(UINT id, LPJOYINFOEX info) {
  if (id != 0 || info->dwSize != 52) return JOYERR_UNPLUGGED;
  *info = FakePosition;
  return JOYERR_NOERROR;
}

TEST_F(Joypad, WinmmJoysticksWithoutDirectInput) {
  WINAPI_TABLE saved = WinApi;
  WinApi.winmm.joyGetDevCapsA = FakeJoyGetDevCaps;
  WinApi.winmm.joyGetPosEx = FakeJoyGetPosEx;
  FakeCaps[0].wCaps = JOYCAPS_HASZ | JOYCAPS_HASR;
  FakeCaps[1].wCaps = JOYCAPS_HASZ;
  ReleaseJoypads();
  EXPECT_EQ(SetUpWinmmJoypads(), 2);
  EXPECT_EQ(Joypads.pads[0].hasZAndR, 1);
  EXPECT_EQ(Joypads.pads[1].hasZAndR, 0);
  FakePosition = {};
  FakePosition.dwXpos = 0xFFFF;
  FakePosition.dwYpos = 0;
  FakePosition.dwZpos = 60000;
  FakePosition.dwRpos = 0x7FFF;
  FakePosition.dwUpos = 10000;
  FakePosition.dwButtons = 0x800005;
  NextTick();
  ASSERT_EQ(ReadJoypadState(0), 0);
  const DIJOYSTATE& s = Joypads.pads[0].state;
  EXPECT_EQ(s.lX, 1000);
  EXPECT_EQ(s.lY, -1000);
  EXPECT_EQ(s.lZ, 740);
  EXPECT_EQ(s.lRz, 0);
  EXPECT_EQ(s.lRx, -530);
  EXPECT_EQ(s.rgbButtons[0], 0x80);
  EXPECT_EQ(s.rgbButtons[1], 0);
  EXPECT_EQ(s.rgbButtons[2], 0x80);
  EXPECT_EQ(s.rgbButtons[23], 0x80);
  NextTick();
  ReadJoypadState(1);  // the second joystick cannot be read: its state is cleared
  EXPECT_EQ(Joypads.pads[1].state.lX, 0);
  EXPECT_EQ(Joypads.pads[1].state.rgdwPOV[0], (DWORD)-1);
  ReleaseJoypads();
  WinApi = saved;
}
}  // namespace
