// The grid viewer as a program: its icon, its window title, the issue screen and its exits.
// These tests start Quillmere.exe and send it keys, so they run alone on the display.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "test_support.h"

namespace {

// Tests run in build/testrun/<name>; the program lies in build.
const char* const PROGRAM_PATH = "..\\..\\Quillmere.exe";

// One run of the program in a folder of the test's working folder.
class ProgramRun {
 public:
  explicit ProgramRun(const char* folder) {
    char full[MAX_PATH];
    GetFullPathNameA(PROGRAM_PATH, MAX_PATH, full, nullptr);
    STARTUPINFOA start = {};
    start.cb = sizeof start;
    started = CreateProcessA(full, nullptr, nullptr, nullptr, FALSE, 0, nullptr, folder, &start, &process) != 0;
  }
  ~ProgramRun() {
    if (!started) return;
    if (WaitForSingleObject(process.hProcess, 0) != WAIT_OBJECT_0) TerminateProcess(process.hProcess, 99);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
  }
  // The program's window with this title, or null after the wait (10 s unless given).
  HWND WaitForWindow(const char* title, int milliseconds = 10000) const {
    for (int i = 0; i < milliseconds / 50; ++i) {
      HWND found = FindWindowA(nullptr, title);
      DWORD owner = 0;
      if (found) GetWindowThreadProcessId(found, &owner);
      if (found && owner == process.dwProcessId) return found;
      Sleep(50);
    }
    return nullptr;
  }
  // Closes the window and returns the exit code (99: the program did not end).
  DWORD CloseAndWait(HWND window) const {
    PostMessageA(window, WM_CLOSE, 0, 0);
    if (WaitForSingleObject(process.hProcess, 20000) != WAIT_OBJECT_0) return 99;
    DWORD code = 99;
    GetExitCodeProcess(process.hProcess, &code);
    return code;
  }
  bool started = false;
  PROCESS_INFORMATION process = {};
};

void SendEnter(DWORD flags) {
  INPUT input = {};
  input.type = INPUT_KEYBOARD;
  input.ki.wVk = VK_RETURN;
  input.ki.wScan = (WORD)MapVirtualKeyA(VK_RETURN, MAPVK_VK_TO_VSC);
  input.ki.dwFlags = flags;
  SendInput(1, &input, sizeof input);
}

// Holds Enter down on the window until the program shows the given title (at most 10 s), so
// that the press is seen however long the program is still busy starting. Without a window
// manager the display's focus can move away from the window while its device starts, so the
// window is made the foreground one again, and the press repeated, every half second.
HWND HoldEnterUntilTitle(const ProgramRun& run, HWND window, const char* title) {
  HWND next = nullptr;
  for (int i = 0; i < 20 && next == nullptr; i++) {
    SetForegroundWindow(window);
    Sleep(100);
    SendEnter(0);
    next = run.WaitForWindow(title, 400);
  }
  SendEnter(KEYEVENTF_KEYUP);
  return next;
}

std::string Bytes(const std::vector<double>& values) {
  return std::string((const char*)values.data(), values.size() * sizeof(double));
}

TEST(ViewerProgram, CarriesItsIconAsResource101) {
  HMODULE program = LoadLibraryExA(PROGRAM_PATH, nullptr, LOAD_LIBRARY_AS_DATAFILE);
  ASSERT_NE(program, nullptr);
  EXPECT_NE(FindResourceA(program, MAKEINTRESOURCEA(101), (LPCSTR)RT_GROUP_ICON), nullptr);
  HICON icon = (HICON)LoadImageA(program, MAKEINTRESOURCEA(101), IMAGE_ICON, 32, 32, 0);
  EXPECT_NE(icon, nullptr);
  if (icon) DestroyIcon(icon);
  FreeLibrary(program);
}

TEST(ViewerProgram, TitleNamesTheFirstPathAndClosingReturnsMinusOne) {
  CreateDirectoryA("grid", nullptr);
  ASSERT_TRUE(WriteWholeFile("grid\\grid.txt", "f a.bin\nf b.bin\nf c.bin\nW 100\nR 50\nO 0\nM 0\n"));
  ASSERT_TRUE(WriteWholeFile("grid\\a.bin", Bytes(std::vector<double>(5000, 1.0))));
  ProgramRun run("grid");
  ASSERT_TRUE(run.started);
  HWND window = run.WaitForWindow("Quillmere 1.0 - file: a.bin");
  ASSERT_NE(window, nullptr);
  EXPECT_EQ(run.CloseAndWait(window), 0xFFFFFFFFu);
}

TEST(ViewerProgram, ClosingTheIssueScreenEndsWithOne) {
  CreateDirectoryA("empty1", nullptr);
  ProgramRun run("empty1");
  ASSERT_TRUE(run.started);
  // The issue screen comes before the title names a data file.
  HWND window = run.WaitForWindow("Quillmere 1.0");
  ASSERT_NE(window, nullptr);
  // The window appears during the library start, which a close would make fail (-1).
  Sleep(700);
  EXPECT_EQ(run.CloseAndWait(window), 1u);
}

TEST(ViewerProgram, EnterLeavesTheIssueScreenForTheDefaultGrid) {
  CreateDirectoryA("empty2", nullptr);
  ProgramRun run("empty2");
  ASSERT_TRUE(run.started);
  HWND window = run.WaitForWindow("Quillmere 1.0");
  ASSERT_NE(window, nullptr);
  // Past the issue screen the title names the (empty) first data path.
  window = HoldEnterUntilTitle(run, window, "Quillmere 1.0 - file: ");
  ASSERT_NE(window, nullptr);
  EXPECT_EQ(run.CloseAndWait(window), 0xFFFFFFFFu);
}

}  // namespace
