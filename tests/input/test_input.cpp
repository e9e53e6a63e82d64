// Keyboard and mouse: the key map and the input tests on a read key state, then, under the
// library's real window, keys and clicks injected through the system's input path, the
// DirectInput read paths with scripted devices, and the wait for input driven from a helper
// thread.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <functional>
#include <thread>

#include "fake_dinput_device.h"
#include "input/input_devices.h"
#include "input/key_map.h"
#include "korvel.h"
#include "system/base/timers.h"
#include "system/base/window_services.h"
#include "system/base/window_state.h"
#include "test_support.h"

namespace {
struct KeyRow {
  int virtualKey;
  int scanCode;
  const char* name;
};

TEST(KeyMap, VirtualKeysLandOnTheirScanCodes) {
  const KeyRow rows[] = {
      {'A', 0x1E, "A"},           {'Z', 0x2C, "Z"},           {'0', 0x0B, "0"},
      {VK_ESCAPE, 0x01, "Esc"},   {VK_SPACE, 0x39, "Space"},  {VK_LEFT, 0xCB, "Left"},
      {VK_DOWN, 0xD0, "Down"},    {VK_LSHIFT, 0x2A, "LShift"}, {VK_RSHIFT, 0x36, "RShift"},
      {VK_RCONTROL, 0x9D, "RCtrl"}, {VK_CAPITAL, 0x3A, "Caps"}, {VK_F10, 0x44, "F10"},
      {VK_F12, 0x58, "F12"},      {VK_DIVIDE, 0xB5, "Num/"},  {VK_OEM_1, 0x92, "colon"},
      {VK_OEM_3, 0x91, "at"},     {VK_OEM_7, 0x90, "circumflex"}, {VK_OEM_5, 0x7D, "yen"},
      {VK_OEM_102, 0x2B, "backslash"}, {VK_PAUSE, 0xC5, "Pause"}, {VK_SCROLL, 0x46, "Scroll"},
  };
  for (const KeyRow& row : rows) {
    unsigned char keys[256] = {}, state[256];
    keys[row.virtualKey] = 0x81;
    MapVirtualKeyState(keys, state);
    for (int code = 0; code < 256; code++) {
      EXPECT_EQ(state[code], code == row.scanCode ? 0x81 : 0) << row.name << " scan code " << code;
    }
  }
}

TEST(KeyMap, EnterFillsBothEnterCodesAndStaleStateIsCleared) {
  unsigned char keys[256] = {}, state[256];
  memset(state, 0x80, sizeof(state));
  keys[VK_RETURN] = 0x80;
  keys[VK_SHIFT] = 0x80;  // the generic Shift has no pair: only the left and right keys count
  MapVirtualKeyState(keys, state);
  int down = 0;
  for (int code = 0; code < 256; code++) down += state[code] != 0;
  EXPECT_EQ(down, 2);
  EXPECT_EQ(state[0x1C], 0x80);
  EXPECT_EQ(state[0x9C], 0x80);
}

TEST(KeyMap, NoTwoPairsShareAScanCode) {
  int uses[256] = {};
  for (const VK_TO_SCAN_PAIR& pair : VK_TO_SCAN_TABLE) uses[pair.scanCode]++;
  for (int code = 0; code < 256; code++) EXPECT_LE(uses[code], 1) << "scan code " << code;
}

TEST(KeyMap, FindDownScanCodeSkipsLockKeysAndFallsBackToF10) {
  struct Row {
    int down[3];  // scan codes held down, 0 ends the list
    int f10;
    int expected;
    const char* name;
  } rows[] = {
      {{0}, 0, 0, "nothing"},
      {{0x3A}, 0, 0, "Caps Lock alone"},
      {{0x70}, 0, 0, "Kana alone"},
      {{0x94}, 0, 0, "Kanji alone"},
      {{0x3A, 0x70, 0x94}, 0, 0, "all three lock keys"},
      {{0x3A, 0x1E}, 0, 0x1E, "Caps Lock and A"},
      {{0x9C, 0x1C}, 0, 0x1C, "lowest code first"},
      {{0}, 1, 0x44, "F10 flag alone"},
      {{0x3A}, 1, 0x44, "F10 flag with Caps Lock"},
      {{0x1C}, 1, 0x1C, "a key before the F10 flag"},
  };
  for (const Row& row : rows) {
    unsigned char state[256] = {};
    for (int code : row.down) {
      if (code != 0) state[code] = 0x80;
    }
    state[0x10] = 0x7F;  // only bit 7 means down
    EXPECT_EQ(FindDownScanCode(state, row.f10), row.expected) << row.name;
  }
}

TEST(KeyMap, ButtonBitsTakeBitSevenOfEachButton) {
  const unsigned char buttons[8] = {0x80, 0x7F, 0x80, 0, 0, 0, 0xFF, 0x80};
  EXPECT_EQ(ButtonBitsFromBytes(buttons, 8), 0x01 | 0x04 | 0x40 | 0x80);
  EXPECT_EQ(ButtonBitsFromBytes(buttons, 3), 0x05);
  EXPECT_EQ(ButtonBitsFromBytes(buttons, 0), 0);
}

TEST(KeyMap, ClientAreaIncludesItsRightAndBottomEdges) {
  struct Row {
    int x, y, inside;
  } rows[] = {{0, 0, 1},    {640, 0, 1},  {0, 480, 1},  {640, 480, 1}, {641, 10, 0},
              {10, 481, 0}, {-1, 10, 0},  {10, -1, 0},  {320, 240, 1}};
  for (const Row& row : rows) {
    EXPECT_EQ(IsPointInClientArea(row.x, row.y, 640, 480), row.inside) << row.x << "," << row.y;
  }
}

// Pumps (and so lets the key state follow the queue) until the condition holds or 2 s pass.
bool WaitFor(const std::function<bool()>& condition) {
  DWORD start = GetTickCount();
  while (GetTickCount() - start < 2000) {
    if (condition()) return true;
    PumpWindowMessages();
    Sleep(1);
  }
  return condition();
}

// Sends a press and waits up to 2 s for the condition. Wine brings its key state in line with
// the X server's on focus and pointer events, which releases an injected key the server never
// saw; the press is therefore repeated every 150 ms while the condition does not hold, as a
// held key's auto-repeat would be.
bool PressUntil(const std::function<void()>& press, const std::function<bool()>& condition) {
  press();
  DWORD start = GetTickCount(), last = start;
  while (GetTickCount() - start < 2000) {
    if (condition()) return true;
    if (GetTickCount() - last >= 150) {
      press();
      last = GetTickCount();
    }
    PumpWindowMessages();
    Sleep(1);
  }
  return condition();
}

void SendKey(WORD virtualKey, bool up) {
  INPUT input = {};
  input.type = INPUT_KEYBOARD;
  input.ki.wVk = virtualKey;
  input.ki.wScan = (WORD)MapVirtualKeyA(virtualKey, MAPVK_VK_TO_VSC);
  // Keys a keyboard sends with the E0 prefix; Wine also tells the right Shift by this flag.
  bool extended = virtualKey == VK_RSHIFT || (virtualKey >= VK_LEFT && virtualKey <= VK_DOWN);
  input.ki.dwFlags = (up ? KEYEVENTF_KEYUP : 0) | (extended ? KEYEVENTF_EXTENDEDKEY : 0);
  SendInput(1, &input, sizeof(input));
}

void SendMouseButton(DWORD flag) {
  INPUT input = {};
  input.type = INPUT_MOUSE;
  input.mi.dwFlags = flag;
  SendInput(1, &input, sizeof(input));
}

void PumpFor(DWORD ms) {
  DWORD start = GetTickCount();
  while (GetTickCount() - start < ms) {
    PumpWindowMessages();
    Sleep(1);
  }
}

// Holds or releases the left button in this thread's key state, without a click.
void SetLeftButtonState(bool down) {
  unsigned char keys[256];
  GetKeyboardState(keys);
  keys[VK_LBUTTON] = down ? 0x80 : 0;
  SetKeyboardState(keys);
}

class InputWindow : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    // The pointer waits outside the window, so that no pointer event under it makes Wine
    // release injected keys (the mouse tests place it themselves).
    SetCursorPos(0, 0);
    ChangeWindowMode(1);
    ASSERT_EQ(InitLibrary(), 0);
    // Keys sent in the first half second after the window appears are dropped.
    PumpFor(700);
    SetForegroundWindow(WindowState.mainWindow);
    PumpFor(100);
  }
  static void TearDownTestSuite() { EndLibrary(); }

  void SetUp() override {
    savedOsCode = WindowState.osCode;
    ASSERT_TRUE(WaitFor([] { return WindowState.active == 1; })) << "the window is not active";
    ASSERT_EQ(GetForegroundWindow(), WindowState.mainWindow);
  }
  void TearDown() override { WindowState.osCode = savedOsCode; }

  int savedOsCode = 0;
};

TEST_F(InputWindow, StartUpTookDirectInputAndTheKeyboardPathOfNewSystems) {
  std::string log = ReadLogWithoutStamps();
  size_t window = log.find("ウインドウの作成に成功しました");
  size_t start = log.find("DirectInput関係初期化処理\r\n");
  ASSERT_NE(window, std::string::npos) << log;
  ASSERT_NE(start, std::string::npos) << log;
  EXPECT_LT(window, start);
  EXPECT_NE(log.find("\tDirectInput7 の取得中... 成功\r\n", start), std::string::npos) << log;
  EXPECT_NE(log.find("\tキーボードデバイスの初期化... 初期化成功\r\n", start), std::string::npos) << log;
  EXPECT_NE(log.find("DirectInput 関連の初期化は正常に終了しました\r\n", start), std::string::npos) << log;
  EXPECT_EQ(AreInputDevicesStarted(), 1);
  EXPECT_NE(InputDevices.keyboardDevice, nullptr);
  // Wine reports Windows 7: keys come from the system key state although the devices exist.
  EXPECT_EQ(WindowState.osCode, OS_CODE_WIN7);
  EXPECT_EQ(UsesSystemKeyState(), 1);
  EXPECT_EQ(StartInputDevices(), 0);  // already up: nothing happens
}

// Both read paths run here: Wine's DirectInput keyboard sees injected keys as well.
struct ReadPath {
  int osCode;
  const char* name;
} const kReadPaths[] = {{OS_CODE_WIN7, "system key state"}, {OS_CODE_WINXP, "DirectInput devices"}};

TEST_F(InputWindow, InjectedKeysAreSeenByScanCode) {
  struct Row {
    WORD virtualKey;
    int scanCode;
    int alsoDown;  // a second scan code the system key state fills, or -1
    const char* name;
  } rows[] = {
      {VK_RETURN, 0x1C, 0x9C, "Enter"},
      {VK_RSHIFT, 0x36, -1, "right Shift"},
      {'A', 0x1E, -1, "A"},
      {VK_F12, 0x58, -1, "F12"},  // not F10: its release opens the window's menu loop
      {VK_LEFT, 0xCB, -1, "Left"},
  };
  for (const ReadPath& path : kReadPaths) {
    WindowState.osCode = path.osCode;
    for (const Row& row : rows) {
      EXPECT_TRUE(PressUntil([&] { SendKey(row.virtualKey, false); }, [&] { return IsKeyDown(row.scanCode) == 1; }))
          << path.name << ": " << row.name;
      if (row.alsoDown >= 0 && path.osCode == OS_CODE_WIN7) {
        EXPECT_EQ(IsKeyDown(row.alsoDown), 1) << path.name << ": " << row.name;
      }
      EXPECT_EQ(FindAnyInput(1), row.scanCode) << path.name << ": " << row.name;
      SendKey(row.virtualKey, true);
      EXPECT_TRUE(WaitFor([&] { return IsKeyDown(row.scanCode) == 0; })) << path.name << ": " << row.name;
      EXPECT_EQ(FindAnyInput(1), 0) << path.name << ": " << row.name;
    }
  }
}

TEST_F(InputWindow, ThePumpRefreshesTheKeyState) {
  EXPECT_TRUE(PressUntil([] { SendKey('S', false); }, [] { return (InputDevices.keyState[0x1F] & 0x80) != 0; }));
  SendKey('S', true);
  EXPECT_TRUE(WaitFor([] { return (InputDevices.keyState[0x1F] & 0x80) == 0; }));
}

TEST_F(InputWindow, CapsLockHeldAloneIsNoInput) {
  EXPECT_TRUE(PressUntil([] { SendKey(VK_CAPITAL, false); }, [] { return IsKeyDown(0x3A) == 1; }));
  EXPECT_EQ(FindAnyInput(7), 0);
  SendKey(VK_CAPITAL, true);
  EXPECT_TRUE(WaitFor([] { return IsKeyDown(0x3A) == 0; }));
  // Toggle it back off.
  SendKey(VK_CAPITAL, false);
  SendKey(VK_CAPITAL, true);
  PumpFor(50);
  EXPECT_EQ(FindAnyInput(7), 0);
}

TEST_F(InputWindow, F10MessageStandsForTheF10Key) {
  SendMessageA(WindowState.mainWindow, 0x46F, 1, 0);
  EXPECT_EQ(FindAnyInput(1), 0x44);
  SendMessageA(WindowState.mainWindow, 0x46F, 2, 0);
  EXPECT_EQ(FindAnyInput(1), 0);
  PostMessageA(WindowState.mainWindow, 0x46F, 1, 0);
  EXPECT_TRUE(WaitFor([] { return FindAnyInput(1) == 0x44; }));
  PostMessageA(WindowState.mainWindow, 0x46F, 0, 0);
  EXPECT_TRUE(WaitFor([] { return FindAnyInput(1) == 0; }));
}

TEST_F(InputWindow, ClickInsideTheClientAreaIsInput) {
  RECT client;
  GetClientScreenRect(&client);
  SetCursorPos(client.left + 30, client.top + 40);
  PumpFor(20);
  struct Row {
    DWORD down, up;
    int bits;
  } rows[] = {{MOUSEEVENTF_LEFTDOWN, MOUSEEVENTF_LEFTUP, 1}, {MOUSEEVENTF_RIGHTDOWN, MOUSEEVENTF_RIGHTUP, 2},
              {MOUSEEVENTF_MIDDLEDOWN, MOUSEEVENTF_MIDDLEUP, 4}};
  for (const ReadPath& path : kReadPaths) {
    WindowState.osCode = path.osCode;
    ReadMouseButtons();  // the first read acquires the DirectInput mouse
    for (const Row& row : rows) {
      EXPECT_TRUE(PressUntil([&] { SendMouseButton(row.down); }, [] { return FindAnyInput(4) == -1; }))
          << path.name << ": " << row.bits;
      EXPECT_EQ(ReadMouseButtons(), row.bits) << path.name;
      SendMouseButton(row.up);
      EXPECT_TRUE(WaitFor([] { return FindAnyInput(4) == 0; })) << path.name << ": " << row.bits;
      EXPECT_EQ(ReadMouseButtons(), 0) << path.name;
    }
  }
}

TEST_F(InputWindow, HeldButtonCountsOnlyInsideTheClientAreaAndItsEdges) {
  RECT client;
  GetClientScreenRect(&client);
  int width = client.right - client.left, height = client.bottom - client.top;
  WindowState.osCode = OS_CODE_WIN7;  // the button is held in the system key state
  struct Row {
    int x, y, expected;
  } rows[] = {{0, 0, -1},           {width, 10, -1},      {10, height, -1}, {width, height, -1},
              {width + 1, 10, 0},   {10, height + 1, 0},  {-1, 10, 0},      {10, -1, 0}};
  for (const Row& row : rows) {
    SetCursorPos(client.left + row.x, client.top + row.y);
    PumpFor(20);  // the move lets Wine take the key state from the X server first
    SetLeftButtonState(true);
    Sleep(2);  // a new millisecond, so that the key state is read again
    EXPECT_EQ(FindAnyInput(4), row.expected) << row.x << "," << row.y;
    EXPECT_EQ(FindAnyInput(1), 0) << "a mouse button is no key";
  }
  SetLeftButtonState(false);
  SetCursorPos(client.left + 30, client.top + 40);
  Sleep(2);
  EXPECT_EQ(FindAnyInput(4), 0);
}

TEST_F(InputWindow, KeyCodesOutsideTheTableAreUp) {
  memset(InputDevices.keyState, 0x80, sizeof(InputDevices.keyState));
  InputDevices.mouseLeft = 0xFF;  // the bytes after the table
  for (int code : {-1, 256, 257, 100000, -100000}) EXPECT_EQ(IsKeyDown(code), 0) << code;
  PumpFor(5);
}

TEST_F(InputWindow, DevicesRestartWithAndWithoutDirectInput) {
  EXPECT_EQ(ShutDownInputDevices(), 0);
  EXPECT_EQ(AreInputDevicesStarted(), 0);
  EXPECT_EQ(InputDevices.xinputModule, nullptr);
  EXPECT_EQ(IsKeyDown(0x1E), 0);  // starts the devices instead of reading
  EXPECT_EQ(AreInputDevicesStarted(), 1);
  EXPECT_EQ(ShutDownInputDevices(), 0);

  InputDevices.switches.noDirectInput = 1;
  EXPECT_EQ(StartInputDevices(), 0);
  EXPECT_EQ(InputDevices.directInput, INPUT_WITHOUT_DIRECTINPUT);
  WindowState.osCode = OS_CODE_WINXP;  // without DirectInput even older systems read the system state
  EXPECT_EQ(UsesSystemKeyState(), 1);
  EXPECT_TRUE(PressUntil([] { SendKey('D', false); }, [] { return FindAnyInput(1) == 0x20; }));
  SendKey('D', true);
  EXPECT_TRUE(WaitFor([] { return FindAnyInput(1) == 0; }));
  EXPECT_EQ(ShutDownInputDevices(), 0);
  EXPECT_EQ(AreInputDevicesStarted(), 0);

  InputDevices.switches.noDirectInput = 0;
  EXPECT_EQ(StartInputDevices(), 0);
  EXPECT_NE(InputDevices.keyboardDevice, nullptr);
  std::string log = ReadLogWithoutStamps();
  size_t without = log.find("パッドの数は 0 個です\r\n入力関連の初期化をしました\r\n");
  ASSERT_NE(without, std::string::npos) << log;
  EXPECT_LT(log.rfind("DirectInput 関連の終了処理... 完了\r\n", without), without);
  size_t end = log.find("入力関連の終了処理... 完了\r\n", without);
  ASSERT_NE(end, std::string::npos);
  EXPECT_NE(log.find("DirectInput関係初期化処理\r\n", end), std::string::npos);
}

struct WaitScript {
  WORD held;        // a key held when the wait starts
  WORD pressed;     // the key pressed after its release, or 0 for a click
  int expected;
  const char* name;
};

TEST_F(InputWindow, WaitForAnyInputReturnsOnlyAfterAReleaseAndANewPress) {
  RECT client;
  GetClientScreenRect(&client);
  // Moving the pointer lets Wine take the key state from the X server again, which would
  // release an injected key: the pointer is placed before any key goes down.
  SetCursorPos(client.left + 50, client.top + 50);
  PumpFor(100);
  const WaitScript rows[] = {
      {'A', 'B', 0x30, "A held, then B"},
      {'A', 'A', 0x1E, "A held, then A again"},
      {VK_RETURN, 0, -1, "Enter held, then a click"},
  };
  for (const WaitScript& row : rows) {
    ASSERT_TRUE(PressUntil([&] { SendKey(row.held, false); }, [] { return FindAnyInput(1) != 0; })) << row.name;
    DWORD releasedAt = 0, pressedAt = 0;
    volatile LONG returned = 0;
    std::thread helper([&] {
      Sleep(300);
      releasedAt = GetTickCount();
      SendKey(row.held, true);
      Sleep(300);
      pressedAt = GetTickCount();
      // The new press, repeated while the wait goes on (a released injected key is pressed
      // again); after 5 s a close ends the wait, and the row fails instead of hanging.
      for (int i = 0; i < 25 && !returned; i++) {
        if (row.pressed != 0) {
          SendKey(row.pressed, false);
        } else {
          SendMouseButton(MOUSEEVENTF_LEFTDOWN);
        }
        for (int k = 0; k < 20 && !returned; k++) Sleep(10);
      }
      if (!returned) PostMessageA(WindowState.mainWindow, WM_CLOSE, 0, 0);
    });
    int found = WaitForAnyInput();
    returned = 1;
    DWORD returnedAt = GetTickCount();
    helper.join();
    ASSERT_FALSE(IsQuitRequested()) << row.name << ": the wait did not end on the new press";
    EXPECT_EQ(found, row.expected) << row.name;
    EXPECT_GE(returnedAt, pressedAt) << row.name << " returned before the new press";
    EXPECT_GE(pressedAt, releasedAt + 250) << row.name;
    if (row.pressed != 0) {
      SendKey(row.pressed, true);
    } else {
      SendMouseButton(MOUSEEVENTF_LEFTUP);
    }
    ASSERT_TRUE(WaitFor([] { return FindAnyInput(7) == 0; })) << row.name;
  }
}

// The DirectInput read paths, which Wine takes only for systems before Vista: the real
// devices are swapped for scripted ones for the length of a test.
class DirectInputPath : public InputWindow {
 protected:
  void SetUp() override {
    InputWindow::SetUp();
    WindowState.osCode = OS_CODE_WINXP;
    realKeyboard = InputDevices.keyboardDevice;
    realMouse = InputDevices.mouseDevice;
    InputDevices.keyboardDevice = &keyboard;
    InputDevices.mouseDevice = &mouse;
    ASSERT_EQ(UsesSystemKeyState(), 0);
    InputDevices.lastReadTick = -5;  // no tick the clock gives: the next read goes to the device
  }
  void TearDown() override {
    InputDevices.keyboardDevice = realKeyboard;
    InputDevices.mouseDevice = realMouse;
    InputDevices.lastReadTick = -5;
    InputWindow::TearDown();
  }

  FakeInputDevice keyboard, mouse;
  IDirectInputDeviceA* realKeyboard = nullptr;
  IDirectInputDeviceA* realMouse = nullptr;
};

TEST_F(DirectInputPath, KeyStateIsReadAtMostOncePerMillisecond) {
  ReadKeyboardState(0);  // takes a pending keyboard event
  int before = keyboard.stateCalls;
  int first = GetMillisecondCount();
  for (int i = 0; i < 5000; i++) ReadKeyboardState(0);
  int last = GetMillisecondCount();
  EXPECT_LE(keyboard.stateCalls - before, last - first + 1);
  // Within one tick only a signalled keyboard event brings another read, and it is reset.
  for (int attempt = 0; attempt < 20; attempt++) {
    int tick = GetMillisecondCount();
    InputDevices.lastReadTick = tick;
    SetEvent(InputDevices.keyboardEvent);
    int withEvent = ReadKeyboardState(0);
    int withoutEvent = ReadKeyboardState(0);
    if (GetMillisecondCount() != tick) continue;
    EXPECT_EQ(withEvent, 1);
    EXPECT_EQ(withoutEvent, 0);
    EXPECT_EQ(WaitForSingleObject(InputDevices.keyboardEvent, 0), (DWORD)WAIT_TIMEOUT);
    return;
  }
  ADD_FAILURE() << "the clock never stood still for two reads";
}

TEST_F(DirectInputPath, LostKeyboardIsReacquiredOnceAndAFailureKeepsTheState) {
  keyboard.data[0x1E] = 0x80;
  keyboard.stateResults = {DIERR_INPUTLOST};
  EXPECT_EQ(ReadKeyboardState(0), 1);
  EXPECT_EQ(keyboard.acquireCalls, 1);
  EXPECT_EQ(keyboard.stateCalls, 2);
  EXPECT_EQ(InputDevices.keyState[0x1E], 0x80);

  keyboard.data[0x1E] = 0;
  struct Row {
    HRESULT acquire;
    HRESULT first, second;
    const char* name;
  } rows[] = {{DIERR_OTHERAPPHASPRIO, DIERR_INPUTLOST, DI_OK, "acquire refused"},
              {DI_OK, DIERR_INPUTLOST, DIERR_NOTACQUIRED, "second read failed"}};
  for (const Row& row : rows) {
    keyboard.acquireResult = row.acquire;
    keyboard.stateResults = {row.first, row.second};
    InputDevices.lastReadTick = -5;
    EXPECT_EQ(ReadKeyboardState(0), 0) << row.name;
    EXPECT_EQ(InputDevices.keyState[0x1E], 0x80) << row.name;
  }
}

TEST_F(DirectInputPath, RightShiftComesFromTheSystemKeyState) {
  unsigned char keys[256];
  GetKeyboardState(keys);
  struct Row {
    unsigned char device, system, expected;
  } rows[] = {{0x00, 0x80, 0x80}, {0x80, 0x00, 0x00}, {0x80, 0x81, 0x81}};
  for (const Row& row : rows) {
    keyboard.data[0x36] = row.device;
    keyboard.data[0x2A] = 0x80;  // left Shift stays the device's
    keys[VK_RSHIFT] = row.system;
    SetKeyboardState(keys);
    InputDevices.lastReadTick = -5;
    ASSERT_EQ(ReadKeyboardState(0), 1);
    EXPECT_EQ(InputDevices.keyState[0x36], row.expected) << (int)row.device << " " << (int)row.system;
    EXPECT_EQ(InputDevices.keyState[0x2A], 0x80);
  }
  keys[VK_RSHIFT] = 0;
  SetKeyboardState(keys);
}

TEST_F(DirectInputPath, MouseButtonsComeFromTheDeviceState) {
  const unsigned char buttons[8] = {0x80, 0, 0x80, 0, 0, 0, 0, 0x80};
  memcpy(mouse.data + 12, buttons, sizeof(buttons));
  EXPECT_EQ(ReadMouseButtons(), 0x85);
  mouse.stateResults = {DIERR_INPUTLOST};
  EXPECT_EQ(ReadMouseButtons(), 0x85);
  EXPECT_EQ(mouse.acquireCalls, 1);
  mouse.stateResults = {DIERR_INPUTLOST};
  mouse.acquireResult = DIERR_OTHERAPPHASPRIO;
  EXPECT_EQ(ReadMouseButtons(), 0);
  // On Windows 7 the same buttons are read from the system key state instead.
  WindowState.osCode = OS_CODE_WIN7;
  mouse.acquireResult = DI_OK;
  EXPECT_EQ(ReadMouseButtons(), 0);
}

TEST_F(DirectInputPath, ActivationReacquiresTheKeyboard) {
  SendMessageA(WindowState.mainWindow, WM_ACTIVATE, WA_INACTIVE, 0);
  EXPECT_EQ(WindowState.active, 0);
  EXPECT_EQ(keyboard.unacquireCalls, 1);
  EXPECT_EQ(keyboard.acquireCalls, 1);
  SendMessageA(WindowState.mainWindow, WM_ACTIVATE, WA_ACTIVE, 0);
  EXPECT_EQ(WindowState.active, 1);
  EXPECT_EQ(keyboard.unacquireCalls, 2);
  EXPECT_EQ(keyboard.acquireCalls, 2);
  SetForegroundWindow(WindowState.mainWindow);
  PumpFor(50);
}

TEST(InputPathChoice, SystemKeyStateUnlessDirectInputKeyboardOnOlderSystems) {
  INPUT_DEVICE_STATE saved = InputDevices;
  int savedOs = WindowState.osCode;
  FakeInputDevice keyboard;
  int object = 0;
  struct Row {
    void* directInput;
    IDirectInputDeviceA* keyboard;
    int osCode, directInputOnNewSystems, expected;
    const char* name;
  } rows[] = {
      {nullptr, nullptr, OS_CODE_WINXP, 0, 1, "not started"},
      {INPUT_WITHOUT_DIRECTINPUT, nullptr, OS_CODE_WINXP, 0, 1, "without DirectInput"},
      {&object, nullptr, OS_CODE_WINXP, 0, 1, "no keyboard device"},
      {&object, &keyboard, OS_CODE_WINXP, 0, 0, "Windows XP"},
      {&object, &keyboard, 0x108, 0, 1, "Windows Vista"},
      {&object, &keyboard, OS_CODE_WIN7, 0, 1, "Windows 7"},
      {&object, &keyboard, OS_CODE_WIN7, 1, 0, "Windows 7 with the DirectInput switch"},
  };
  for (const Row& row : rows) {
    InputDevices.directInput = row.directInput;
    InputDevices.keyboardDevice = row.keyboard;
    InputDevices.switches.directInputOnNewSystems = row.directInputOnNewSystems;
    WindowState.osCode = row.osCode;
    EXPECT_EQ(UsesSystemKeyState(), row.expected) << row.name;
  }
  InputDevices = saved;
  WindowState.osCode = savedOs;
}

TEST(InputWindowClosing, WaitForAnyInputGivesZeroWhenTheWindowGoesAway) {
  ChangeWindowMode(1);
  ASSERT_EQ(InitLibrary(), 0);
  PumpFor(100);
  HWND window = WindowState.mainWindow;
  std::thread closer([window] {
    Sleep(200);
    PostMessageA(window, WM_CLOSE, 0, 0);
  });
  EXPECT_EQ(WaitForAnyInput(), 0);
  closer.join();
  EXPECT_EQ(WindowState.windowDestroyed, 1);
  EXPECT_EQ(EndLibrary(), 0);
}
}  // namespace
