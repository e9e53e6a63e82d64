// The main window, its message pump, the API lock and the window services, under a real
// window. Other test programs run at the same time under the same Wine server and may own a
// window of the default class; the double-start test uses a class name of its own.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "korvel.h"
#include "system/base/api_lock.h"
#include "system/top/library.h"
#include "system/top/window_start.h"
#include "system/base/window_mode.h"
#include "system/base/window_services.h"
#include "system/top/window_proc.h"
#include "system/base/window_state.h"
#include "test_support.h"

namespace {
const UINT kCounted = WM_APP + 1;
const UINT kDeactivateDuringPump = WM_APP + 2;

// Counts the messages the pump takes off the queue, and runs one action in the middle of a
// pump when a marker message comes by.
struct PUMP_WATCH {
  int taken;
  int activeRightAfterSend;
};
PUMP_WATCH Watch;

LRESULT CALLBACK WatchMessages(int code, WPARAM wParam, LPARAM lParam) {
  const MSG* msg = (const MSG*)lParam;
  if (code == HC_ACTION && wParam == PM_REMOVE) {
    if (msg->message == kCounted) Watch.taken++;
    if (msg->message == kDeactivateDuringPump) {
      SendMessageA(GetMainWindow(), WM_ACTIVATE, WA_INACTIVE, 0);
      Watch.activeRightAfterSend = WindowState.active;
    }
  }
  return CallNextHookEx(nullptr, code, wParam, lParam);
}

// Pumps until the queue holds nothing of the window's own start-up.
void PumpUntilQuiet() {
  for (int i = 0; i < 20; i++) PumpWindowMessages();
}

class WindowedLibrary : public ::testing::Test {
 protected:
  void SetUp() override {
    AllowMultipleInstances(1);  // a test before may have switched it off
    SetRunWhileInactive(1);
    ChangeWindowMode(1);
    ASSERT_EQ(InitLibrary(), 0);
    PumpUntilQuiet();
  }
  void TearDown() override {
    EndLibrary();
    SetWindowScale(1, 1);
  }
};

TEST_F(WindowedLibrary, ClassNameAndTitleDefaults) {
  char text[256];
  ASSERT_GT(GetClassNameA(GetMainWindow(), text, sizeof(text)), 0);
  EXPECT_STREQ(text, "K123987V");
  GetWindowTextA(GetMainWindow(), text, sizeof(text));
  EXPECT_STREQ(text, "Korvel");
}

TEST_F(WindowedLibrary, TwelvePostedMessagesLeaveFiveFiveAndTwo) {
  HHOOK hook = SetWindowsHookExA(WH_GETMESSAGE, WatchMessages, nullptr, GetCurrentThreadId());
  ASSERT_NE(hook, nullptr);
  for (int i = 0; i < 12; i++) PostMessageA(GetMainWindow(), kCounted, i, 0);
  const int expected[] = {5, 5, 2, 0};
  for (int call = 0; call < 4; call++) {
    Watch.taken = 0;
    EXPECT_EQ(PumpWindowMessagesLocked(), 0);
    EXPECT_EQ(Watch.taken, expected[call]) << "call " << call;
  }
  UnhookWindowsHookEx(hook);
}

TEST_F(WindowedLibrary, QuitMakesThisAndEveryLaterPumpReturnMinusOne) {
  PostQuitMessage(0);
  EXPECT_EQ(PumpWindowMessagesLocked(), -1);
  EXPECT_EQ(IsQuitRequested(), 1);
  for (int i = 0; i < 3; i++) EXPECT_EQ(PumpWindowMessagesLocked(), -1) << i;
}

TEST_F(WindowedLibrary, ActivationSentDuringThePumpIsAppliedAfterIt) {
  HHOOK hook = SetWindowsHookExA(WH_GETMESSAGE, WatchMessages, nullptr, GetCurrentThreadId());
  ASSERT_NE(hook, nullptr);
  WindowState.active = 1;
  Watch.activeRightAfterSend = -1;
  PostMessageA(GetMainWindow(), kDeactivateDuringPump, 0, 0);
  EXPECT_EQ(PumpWindowMessages(), 0);
  UnhookWindowsHookEx(hook);
  EXPECT_EQ(Watch.activeRightAfterSend, 1);
  EXPECT_EQ(WindowState.active, 0);
  EXPECT_EQ(WindowState.deferred.count, 0);
  // Outside the pump the change is applied at once.
  SendMessageA(GetMainWindow(), WM_ACTIVATE, WA_ACTIVE, 0);
  EXPECT_EQ(WindowState.active, 1);
}

TEST_F(WindowedLibrary, WaitOutlastsTheWindowClosedDuringIt) {
  PostMessageA(GetMainWindow(), WM_CLOSE, 0, 0);
  LARGE_INTEGER frequency, start, end;
  QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&start);
  EXPECT_EQ(WaitMilliseconds(100), 0);
  QueryPerformanceCounter(&end);
  EXPECT_GE((end.QuadPart - start.QuadPart) * 1000 / frequency.QuadPart, 100);
  EXPECT_EQ(WindowState.windowDestroyed, 1);
  EXPECT_EQ(PumpWindowMessagesLocked(), -1);
}

TEST_F(WindowedLibrary, RefusesTheScreenSaverAndLogsAtMost32Clicks) {
  EXPECT_EQ(SendMessageA(GetMainWindow(), WM_SYSCOMMAND, SC_SCREENSAVE, 0), 1);
  EXPECT_EQ(SendMessageA(GetMainWindow(), WM_SYSCOMMAND, SC_MONITORPOWER, 2), 1);
  const UINT downs[] = {WM_LBUTTONDOWN, WM_RBUTTONDOWN, WM_MBUTTONDOWN};
  const int kinds[] = {1, 2, 4};
  for (int i = 0; i < 40; i++) SendMessageA(GetMainWindow(), downs[i % 3], 0, 0);
  ASSERT_EQ(WindowState.clickCount, 32);
  for (int i = 0; i < 32; i++) EXPECT_EQ(WindowState.clicks[i].button, kinds[i % 3]) << "click " << i;
}

TEST_F(WindowedLibrary, TitleIsCutAt255Characters) {
  std::string longTitle(300, 'x');
  SetWindowTitleText(longTitle.c_str());
  char text[512];
  GetWindowTextA(GetMainWindow(), text, sizeof(text));
  EXPECT_EQ(std::string(text), std::string(255, 'x'));
}

TEST_F(WindowedLibrary, ClipboardRoundTripIsBoundedByTheBuffer) {
  WriteClipboardText("abcdef");
  int size = ReadClipboardText(nullptr, 0);
  EXPECT_GE(size, 8);
  char buffer[16];
  ASSERT_EQ(ReadClipboardText(buffer, sizeof(buffer)), 0);
  EXPECT_STREQ(buffer, "abcdef");
  char small[4] = {'?', '?', '?', '?'};
  ASSERT_EQ(ReadClipboardText(small, sizeof(small)), 0);
  EXPECT_STREQ(small, "abc");
}

TEST(Window, ClientSizeFollowsScreenSizeAndScale) {
  struct Row {
    double x, y;
    int width, height;
  } rows[] = {{1.5, 0, 960, 720}, {1, 0.5, 640, 240}, {-1, -1, 640, 480}};
  AllowMultipleInstances(1);
  ChangeWindowMode(1);
  for (const Row& row : rows) {
    SetWindowScale(row.x, row.y);
    ASSERT_EQ(InitLibrary(), 0);
    RECT client;
    GetClientRect(GetMainWindow(), &client);
    EXPECT_EQ(client.right, row.width) << row.x << " x " << row.y;
    EXPECT_EQ(client.bottom, row.height) << row.x << " x " << row.y;
    EXPECT_EQ(WindowState.clientRect.right - WindowState.clientRect.left, row.width);
    EndLibrary();
  }
  SetWindowScale(1, 1);
}

TEST(Window, ScaleSettings) {
  ChangeWindowMode(1);
  double x, y;
  SetWindowScale(2, 0);
  EXPECT_EQ(GetWindowScale(&x, &y), 2.0);
  EXPECT_EQ(y, 2.0);
  SetWindowScale(-1, -1);
  GetWindowScale(&x, &y);
  EXPECT_EQ(x, 1.0);
  EXPECT_EQ(y, 1.0);
}

TEST(Window, BorderDragKeepsTheAspect) {
  // A 640 x 480 picture in a window with a 10-pixel frame on each side and a 30-pixel caption.
  struct Row {
    int edge, proposedWidth;
    int width, height;
    double scale;
  } rows[] = {
      {WMSZ_RIGHT, 800, 800, 600, 1.25},
      {WMSZ_RIGHT, 100, 170, 128, 170.0 / 640},
      {WMSZ_LEFT, 320, 320, 240, 0.5},
  };
  ChangeWindowMode(1);
  SetWindowResizeOptions(1, 1);
  for (const Row& row : rows) {
    WindowState.desktopWidth = 1024;
    WindowState.desktopHeight = 768;
    WindowState.windowRect = {100, 100, 100 + 660, 100 + 520};
    WindowState.clientRect = {110, 130, 110 + 640, 130 + 480};
    RECT p = {100, 100, 100 + row.proposedWidth + 20, 100 + 520};
    if (row.edge == WMSZ_LEFT) p = {760 - row.proposedWidth - 20, 100, 760, 620};
    CorrectSizingRect(row.edge, &p);
    EXPECT_EQ(p.right - p.left, row.width + 20) << "edge " << row.edge << " width " << row.proposedWidth;
    EXPECT_EQ(p.bottom - p.top, row.height + 40) << "edge " << row.edge << " width " << row.proposedWidth;
    EXPECT_DOUBLE_EQ(WindowState.scaleX, row.scale);
    EXPECT_DOUBLE_EQ(WindowState.scaleY, row.scale);
  }
  SetWindowResizeOptions(0, 0);
  SetWindowScale(1, 1);
}

TEST(Window, TypedCharacterFilter) {
  struct Row {
    int code, expected;
  } rows[] = {{10, 13}, {22, 22}, {2, -1}, {0x20, 0x20}, {'A', 'A'}, {27, 27}, {0, -1}, {13, 13}};
  for (const Row& row : rows) EXPECT_EQ(FilterTypedChar(row.code), row.expected) << "code " << row.code;
}

TEST(Window, EndRestoresTheStartupFolderAndTheScreenSaver) {
  char start[MAX_PATH], now[MAX_PATH];
  GetCurrentDirectoryA(MAX_PATH, start);
  AllowMultipleInstances(1);
  ChangeWindowMode(1);
  for (BOOL before : {TRUE, FALSE}) {
    SystemParametersInfoA(SPI_SETSCREENSAVEACTIVE, before, nullptr, 0);
    ASSERT_EQ(InitLibrary(), 0);
    BOOL during = -1;
    SystemParametersInfoA(SPI_GETSCREENSAVEACTIVE, 0, &during, 0);
    EXPECT_EQ(during, FALSE);
    CreateDirectoryA("elsewhere", nullptr);
    SetCurrentDirectoryA("elsewhere");
    EndLibrary();
    GetCurrentDirectoryA(MAX_PATH, now);
    EXPECT_STREQ(now, start);
    SetCurrentDirectoryA(start);
    BOOL after = -1;
    SystemParametersInfoA(SPI_GETSCREENSAVEACTIVE, 0, &after, 0);
    EXPECT_EQ(after, before) << "screen saver before " << before;
  }
}

TEST(Window, WaitMillisecondsWaitsAtLeastTheSpan) {
  LARGE_INTEGER frequency, start, end;
  QueryPerformanceFrequency(&frequency);
  for (int ms : {3, 30}) {
    QueryPerformanceCounter(&start);
    EXPECT_EQ(WaitMilliseconds(ms), 0);
    QueryPerformanceCounter(&end);
    EXPECT_GE((end.QuadPart - start.QuadPart) * 1000000 / frequency.QuadPart, ms * 1000) << ms;
  }
}

// The API lock: recursion, and strict arrival order of three queued threads.
std::vector<int> LockOrder;

DWORD WINAPI TakeApiLock(LPVOID index) {
  EnterApiLock();
  LockOrder.push_back((int)(INT_PTR)index);
  Sleep(5);
  LeaveApiLock();
  return 0;
}

TEST(ApiLock, RecursionAndArrivalOrder) {
  EnterApiLock();
  EnterApiLock();
  EnterApiLock();
  EXPECT_EQ(WindowState.apiLock.recursion, 3);
  HANDLE threads[3];
  for (int i = 0; i < 3; i++) {
    threads[i] = CreateThread(nullptr, 0, TakeApiLock, (LPVOID)(INT_PTR)i, 0, nullptr);
    // The next thread starts only once this one is queued.
    for (int wait = 0; wait < 2000 && WindowState.apiLock.waiterCount < i + 1; wait++) Sleep(1);
    ASSERT_EQ(WindowState.apiLock.waiterCount, i + 1);
  }
  LeaveApiLock();
  LeaveApiLock();
  Sleep(50);
  EXPECT_TRUE(LockOrder.empty()) << "the lock was free before the last leave";
  LeaveApiLock();
  WaitForMultipleObjects(3, threads, TRUE, 5000);
  for (HANDLE thread : threads) CloseHandle(thread);
  EXPECT_EQ(LockOrder, (std::vector<int>{0, 1, 2}));
  EXPECT_EQ(WindowState.apiLock.waiterCount, 0);
  EXPECT_EQ(WindowState.apiLock.locked, 0);
  ReleaseApiLockResources();
}

// The double-start check: a copy of this program started while the library runs here.
const char* const kDuplicateTitle = "KorvelWindowTestDuplicate";

TEST(SecondInstance, Child) {
  const char* allow = getenv("KORVEL_SECOND_INSTANCE");
  if (allow == nullptr) GTEST_SKIP() << "runs only as the second instance";
  CreateDirectoryA("second", nullptr);
  SetCurrentDirectoryA("second");
  DeleteFileA("Log.txt");
  AllowMultipleInstances(allow[0] == '1' ? 1 : 0);
  SetWindowTitleText(kDuplicateTitle);
  ChangeWindowMode(1);
  int result = InitLibrary();
  std::string log = ReadLog();
  if (allow[0] == '1') {
    EXPECT_EQ(result, 0);
    EXPECT_NE(log.find("二重起動されていますが続行します\r\n"), std::string::npos) << log;
  } else {
    EXPECT_EQ(result, -1);
    EXPECT_NE(log.find("二重起動されています、ソフトを終了します\r\n"), std::string::npos) << log;
  }
  EndLibrary();
}

int RunSecondInstance(const char* allow) {
  char exe[MAX_PATH];
  GetModuleFileNameA(nullptr, exe, MAX_PATH);
  std::string command = std::string("\"") + exe + "\" --gtest_filter=SecondInstance.Child";
  SetEnvironmentVariableA("KORVEL_SECOND_INSTANCE", allow);
  STARTUPINFOA startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process = {};
  BOOL made = CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process);
  SetEnvironmentVariableA("KORVEL_SECOND_INSTANCE", nullptr);
  if (!made) return -100;
  // Keep this window answering while the copy looks for it.
  while (MsgWaitForMultipleObjects(1, &process.hProcess, FALSE, 60000, QS_ALLINPUT) == WAIT_OBJECT_0 + 1)
    PumpWindowMessages();
  DWORD code = 1;
  GetExitCodeProcess(process.hProcess, &code);
  CloseHandle(process.hProcess);
  CloseHandle(process.hThread);
  return (int)code;
}

TEST(SecondInstance, IsRefusedUnlessAllowed) {
  if (getenv("KORVEL_SECOND_INSTANCE") != nullptr) GTEST_SKIP();
  // The class name found at an earlier start is kept; this start takes it from the title.
  WindowState.className[0] = 0;
  SetWindowTitleText(kDuplicateTitle);
  AllowMultipleInstances(0);
  ChangeWindowMode(1);
  ASSERT_EQ(InitLibrary(), 0);
  EXPECT_EQ(RunSecondInstance("0"), 0) << "a refused copy";
  EXPECT_EQ(FindWindowA(kDuplicateTitle, nullptr), GetMainWindow());
  EXPECT_EQ(RunSecondInstance("1"), 0) << "an allowed copy";
  EndLibrary();
}
}  // namespace
