// The grid viewer as a program: its icon, its window title, the issue screen and its exits.
// These tests start Quillmere.exe and send it keys, so they run alone on the display.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdint>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "read_back.h"
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
    for (int i = 0; i <= milliseconds / 50; ++i) {
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

void SendKey(WORD key, DWORD flags) {
  INPUT input = {};
  input.type = INPUT_KEYBOARD;
  input.ki.wVk = key;
  input.ki.wScan = (WORD)MapVirtualKeyA(key, MAPVK_VK_TO_VSC);
  input.ki.dwFlags = flags;
  SendInput(1, &input, sizeof input);
}

// Taps a key on the window until the condition holds (at most 10 s), so that a tap is seen
// however long the program is busy. Without a window manager the display's focus can move
// away from the window while its device starts, and Wine releases an injected key when it
// re-reads the X server's key state: each round makes the window the foreground one again and
// presses and releases the key (the viewer waits for a release before it takes a new press).
bool TapKeyUntil(HWND window, WORD key, const std::function<bool()>& condition) {
  bool met = false;
  for (int i = 0; i < 20 && !met; i++) {
    SetForegroundWindow(window);
    Sleep(100);
    SendKey(key, 0);
    Sleep(150);
    SendKey(key, KEYEVENTF_KEYUP);
    for (int k = 0; k < 5 && !(met = condition()); k++) Sleep(50);
  }
  return met;
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

// Pixels of the colour in rows y1..y2 - 1 of a picture.
int CountInRows(const PICTURE& p, uint32_t color, int y1, int y2) { return p.Count(color, 0, y1, p.width, y2); }

TEST(ViewerProgram, EnterLeavesTheIssueScreenForTheDefaultGrid) {
  CreateDirectoryA("empty2", nullptr);
  ProgramRun run("empty2");
  ASSERT_TRUE(run.started);
  HWND window = run.WaitForWindow("Quillmere 1.0");
  ASSERT_NE(window, nullptr);
  // The issue screen at 516 x 288: the heading at y = 82 and "[Enter] to return" at y = 102
  // in grey, the missing-file line at y = 132 in red (the empty lines below it are a line
  // feed each, which the text drawing shows as a glyph), no grey elsewhere, no red above.
  const uint32_t kGrey = 0xC8C8C8, kRed = 0xFF0000;
  PICTURE screen;
  for (int i = 0; i < 100; i++) {
    screen = ReadWindow(window);
    if (CountInRows(screen, kRed, 0, screen.height) > 0) break;
    Sleep(50);
  }
  ASSERT_EQ(screen.height, 288);
  EXPECT_GT(CountInRows(screen, kGrey, 82, 100), 40) << "heading";
  EXPECT_GT(CountInRows(screen, kGrey, 102, 120), 20) << "[Enter] to return";
  EXPECT_GT(CountInRows(screen, kRed, 132, 150), 40) << "the missing grid file";
  EXPECT_EQ(CountInRows(screen, kGrey, 0, 78) + CountInRows(screen, kRed, 0, 128), 0);
  EXPECT_EQ(CountInRows(screen, kGrey, 124, 288), 0);
  // Past the issue screen the title names the (empty) first data path.
  TapKeyUntil(window, VK_RETURN, [&] { return run.WaitForWindow("Quillmere 1.0 - file: ", 0) != nullptr; });
  window = run.WaitForWindow("Quillmere 1.0 - file: ", 0);
  ASSERT_NE(window, nullptr);
  EXPECT_EQ(run.CloseAndWait(window), 0xFFFFFFFFu);
}

// A 100 x 50 grid: the window's client area becomes 516 x 132 and the map's 2 x 2 cells start
// at (158, 2). The field is 50 with an interior running from 0 to 100, so the colour scale
// runs from 5 to 95: 50 is (127, 255, 128), 0 below the scale is blue, 100 above it red.
TEST(ViewerProgram, HundredByFiftyGridIsDrawnInItsCells) {
  CreateDirectoryA("grid100", nullptr);
  DeleteFileA("grid100\\b.bin");  // left by an earlier run
  DeleteFileA("grid100\\c.bin");
  ASSERT_TRUE(WriteWholeFile("grid100\\grid.txt", "f a.bin\nf b.bin\nf c.bin\nW 100\nR 50\nO 0\nM 0\n"));
  std::vector<double> field(5000, 50.0);
  field[1 * 100 + 1] = 0.0;
  field[2 * 100 + 2] = 100.0;
  ASSERT_TRUE(WriteWholeFile("grid100\\a.bin", Bytes(field)));
  ProgramRun run("grid100");
  ASSERT_TRUE(run.started);
  HWND window = run.WaitForWindow("Quillmere 1.0 - file: a.bin");
  ASSERT_NE(window, nullptr);
  RECT client = {};
  for (int i = 0; i < 100 && !(client.right == 516 && client.bottom == 132); i++) {
    Sleep(50);
    GetClientRect(window, &client);
  }
  EXPECT_EQ(client.right, 516);
  EXPECT_EQ(client.bottom, 132);
  const uint32_t kMiddle = 0x7FFF80;
  PICTURE screen;
  for (int i = 0; i < 100; i++) {
    screen = ReadWindow(window);
    if (screen.width == 516 && screen.height == 132 && screen.At(158, 2) == kMiddle) break;
    Sleep(50);
  }
  ASSERT_EQ(screen.width, 516);
  ASSERT_EQ(screen.height, 132);
  struct {
    int x, y;
    uint32_t color;
  } const cells[] = {{158, 2, kMiddle}, {159, 3, kMiddle}, {160, 4, 0x0000FF}, {161, 5, 0x0000FF},
                     {162, 6, 0xFF0000}, {163, 7, 0xFF0000}, {164, 8, kMiddle}, {357, 101, kMiddle}};
  for (const auto& cell : cells)
    EXPECT_EQ(screen.At(cell.x, cell.y), cell.color) << cell.x << "," << cell.y;
  // Without the vector files no arrow is drawn: nothing black on the map.
  EXPECT_EQ(screen.Count(0, 158, 2, 358, 102), 0);

  // New data and a vector field (1, 0), then a key: the corner cell turns red (100 lies above
  // the scale) and black arrows cross the map.
  field[0] = 100.0;
  ASSERT_TRUE(WriteWholeFile("grid100\\a.bin", Bytes(field)));
  ASSERT_TRUE(WriteWholeFile("grid100\\b.bin", Bytes(std::vector<double>(5000, 1.0))));
  ASSERT_TRUE(WriteWholeFile("grid100\\c.bin", Bytes(std::vector<double>(5000, 0.0))));
  EXPECT_TRUE(TapKeyUntil(window, VK_SPACE, [&] {
    screen = ReadWindow(window);
    return screen.width == 516 && screen.At(158, 2) == 0xFF0000;
  }));
  EXPECT_GT(screen.Count(0, 158, 2, 358, 102), 100) << "arrows";
  EXPECT_EQ(screen.At(159, 3), 0xFF0000u);
  EXPECT_EQ(run.CloseAndWait(window), 0xFFFFFFFFu);
}
}  // namespace
