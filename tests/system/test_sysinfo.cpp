// System information and clocks: the start-up log lines as Wine produces them, the Windows
// version table, the CPU-speed measurement's ends, the two clocks, desktop mode, dates and
// text conversion.
#include <gtest/gtest.h>
#include <windows.h>

#include <cpuid.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "core/winapi.h"
#include "korvel.h"
#include "system/top/library.h"
#include "system/base/sysinfo.h"
#include "system/base/timers.h"
#include "system/base/window_state.h"
#include "test_support.h"

namespace {
std::vector<std::string> LogLines() {
  std::string log = ReadLogWithoutStamps();
  std::vector<std::string> lines;
  size_t start = 0, end;
  while ((end = log.find("\r\n", start)) != std::string::npos) {
    lines.push_back(log.substr(start, end - start));
    start = end + 2;
  }
  return lines;
}

std::string CpuVendor() {
  unsigned a, b, c, d;
  __cpuid(0, a, b, c, d);
  char vendor[13] = {};
  memcpy(vendor, &b, 4);
  memcpy(vendor + 4, &d, 4);
  memcpy(vendor + 8, &c, 4);
  return vendor;
}

// Runs first: nothing has started the library yet.
TEST(SysInfo, DesktopModeBeforeStartUpIsLive) {
  int w = 0, h = 0, bits = 0;
  EXPECT_EQ(GetDesktopMode(&w, &h, &bits), 0);
  EXPECT_EQ(w, 1024);
  EXPECT_EQ(h, 768);
  EXPECT_EQ(bits, 32);
  EXPECT_EQ(GetDesktopMode(nullptr, nullptr, nullptr), 0);
}

TEST(SysInfo, StartUpLogsTheSystemAsWineReportsIt) {
  ASSERT_EQ(InitLibrary(), 0);
  std::vector<std::string> lines = LogLines();
  size_t at = 0;
  while (at < lines.size() && lines[at] != "システムの情報を出力します") at++;
  ASSERT_LT(at, lines.size()) << ReadLogWithoutStamps();

  SYSTEM_INFO info;
  GetSystemInfo(&info);
  char speed[64];
  snprintf(speed, sizeof(speed), "\tＣＰＵ動作速度：大体%.2fGHz", WindowState.processorMhz / 1000.0);
  std::vector<std::string> expected = {
      "システムの情報を出力します",
      "\tKorvel Ver3.10c",
      "\t論理プロセッサの数 : " + std::to_string(info.dwNumberOfProcessors),
      "\tＯＳ  Windows7 ( Build 7601 Service Pack 1 )",
      speed,
      "\tＭＭＸ命令を使用します",
      "\tＳＳＥ命令が使用可能です",
      "\tＳＳＥ２命令が使用可能です",
      "\tＣＰＵベンダ：" + CpuVendor(),
      std::string("\tＣＰＵ名：") + WindowState.processorName,
      "ＣＯＭの初期化... 成功しました",
  };
  for (size_t i = 0; i < expected.size(); i++) {
    ASSERT_LT(at + i, lines.size());
    EXPECT_EQ(lines[at + i], expected[i]) << "line " << i;
  }

  EXPECT_EQ(WindowState.osCode, OS_CODE_WIN7);
  EXPECT_STREQ(WindowState.osDescription, "Windows7 ( Build 7601 Service Pack 1 )");
  EXPECT_EQ(WindowState.logicalProcessorCount, (int)info.dwNumberOfProcessors);
  EXPECT_EQ(WindowState.directXVersion, 0x70000);
  EXPECT_EQ(IsMmxEnabled(), 1);
  EXPECT_EQ(WindowState.sse, 1);
  EXPECT_EQ(WindowState.sse2, 1);
  EXPECT_EQ(WindowState.timeStampCounter, 1);
  EXPECT_GT(WindowState.processorMhz, 100);
  EXPECT_NE(WindowState.processorName[0], 0);
  EXPECT_LE(WindowState.timeStampTicksPerSecond / 1000000 - WindowState.processorMhz, 1);
  EXPECT_GE(WindowState.timeStampTicksPerSecond / 1000000 - WindowState.processorMhz, 0);
  EndLibrary();
}

TEST(SysInfo, WindowsVersionTable) {
  struct Row { DWORD platform, major, minor; const char* csd; const char* name; int code; } rows[] = {
      {VER_PLATFORM_WIN32s, 3, 10, "", "Windows3.1", OS_CODE_WIN32S},
      {VER_PLATFORM_WIN32_WINDOWS, 4, 0, "", "Windows95", OS_CODE_WIN95},
      {VER_PLATFORM_WIN32_WINDOWS, 4, 0, "C", "Windows95OSR2", OS_CODE_WIN95},
      {VER_PLATFORM_WIN32_WINDOWS, 4, 10, "", "Windows98", OS_CODE_WIN98},
      {VER_PLATFORM_WIN32_WINDOWS, 4, 10, "A", "Windows98SE", OS_CODE_WIN98},
      {VER_PLATFORM_WIN32_WINDOWS, 4, 90, "", "WindowsMe", OS_CODE_WINME},
      {VER_PLATFORM_WIN32_NT, 3, 51, "", "WindowsNT 3.51", OS_CODE_NT351},
      {VER_PLATFORM_WIN32_NT, 4, 0, "", "Windows4.0", OS_CODE_NT40},
      {VER_PLATFORM_WIN32_NT, 5, 0, "", "Windows2000", OS_CODE_WIN2000},
      {VER_PLATFORM_WIN32_NT, 5, 1, "Service Pack 3", "WindowsXP", OS_CODE_WINXP},
      {VER_PLATFORM_WIN32_NT, 6, 0, "", "WindowsVista", OS_CODE_VISTA},
      {VER_PLATFORM_WIN32_NT, 6, 1, "Service Pack 1", "Windows7", OS_CODE_WIN7},
      {VER_PLATFORM_WIN32_NT, 6, 2, "", "Windows8", OS_CODE_WIN8},
      // Newer than the table: the newest known version, never the oldest paths.
      {VER_PLATFORM_WIN32_NT, 6, 3, "", "Windows8", OS_CODE_WIN8},
      {VER_PLATFORM_WIN32_NT, 10, 0, "", "Windows8", OS_CODE_WIN8},
      // Unknown older versions: bare name, code unchanged.
      {VER_PLATFORM_WIN32_NT, 5, 2, "", "Windows", 0x55},
      {VER_PLATFORM_WIN32_WINDOWS, 4, 50, "", "Windows", 0x55},
      {7, 6, 1, "", "Windows", 0x55},
  };
  for (const Row& r : rows) {
    OSVERSIONINFOA v = {};
    v.dwOSVersionInfoSize = sizeof(v);
    v.dwPlatformId = r.platform;
    v.dwMajorVersion = r.major;
    v.dwMinorVersion = r.minor;
    strcpy(v.szCSDVersion, r.csd);
    char name[64];
    int code = 0x55;
    DescribeOsVersion(&v, name, sizeof(name), &code);
    EXPECT_STREQ(name, r.name) << r.platform << " " << r.major << "." << r.minor;
    EXPECT_EQ(code, r.code) << r.platform << " " << r.major << "." << r.minor;
  }
  EXPECT_EQ(sizeof(OSVERSIONINFOA), 148u);
}

// Scripted multimedia clocks for the measurement and the clocks.
int fakeCalls;
DWORD fakeNow;
DWORD WINAPI ClockAcrossTheWrap() {
  fakeCalls++;
  DWORD now = fakeNow;
  fakeNow += 7;
  return now;
}
DWORD WINAPI ClockThatGoesAway() {
  if (++fakeCalls == 5) WinApi.winmm.module = nullptr;  // winmm unloaded mid-measurement
  return 1000;
}
DWORD WINAPI ClockAtTheTop() { return 0xFFFFFFF0u; }

struct WinmmScope {
  WinmmScope() {
    LoadWinApiTable();
    saved = WinApi.winmm;
  }
  ~WinmmScope() { WinApi.winmm = saved; }
  decltype(WinApi.winmm) saved;
};

TEST(SysInfo, SpeedMeasurementEnds) {
  WinmmScope scope;
  // 31-bit wrap of the millisecond clock during the 100 ms window: 15 steps of 7 ms.
  WinApi.winmm.timeGetTime = ClockAcrossTheWrap;
  fakeCalls = 0;
  fakeNow = 0x7FFFFFC0u;
  EXPECT_GE(MeasureTimeStampTicks(), 0);
  EXPECT_EQ(fakeCalls, 16);
  fakeCalls = 0;
  fakeNow = 0xFFFFFFC0u;  // timeGetTime's own wrap, seen through the 31-bit mask
  EXPECT_GE(MeasureTimeStampTicks(), 0);
  EXPECT_EQ(fakeCalls, 16);

  // The clock stops answering: the measurement ends without a result.
  WinApi.winmm.timeGetTime = ClockThatGoesAway;
  fakeCalls = 0;
  EXPECT_EQ(MeasureTimeStampTicks(), -1);
  EXPECT_EQ(fakeCalls, 5);
  WinApi.winmm = scope.saved;

  // No winmm at all: nothing measured, the information run still ends.
  WinApi.winmm.module = nullptr;
  EXPECT_EQ(MeasureTimeStampTicks(), -1);
  int mhz = WindowState.processorMhz;
  WindowState.processorMhz = -5;
  EXPECT_EQ(LogSystemInfo(), 0);
  EXPECT_EQ(WindowState.processorMhz, -5);
  WindowState.processorMhz = mhz;
}

TEST(SysInfo, Clocks) {
  WinmmScope scope;
  int before = GetMillisecondCount();
  Sleep(30);
  int after = GetMillisecondCount();
  EXPECT_GE(after - before, 25);
  EXPECT_LT(after - before, 1000);

  // Microseconds through the performance counter, the product taken in 128 bits.
  LARGE_INTEGER frequency;
  QueryPerformanceFrequency(&frequency);
  WindowState.counterFrequency = frequency;
  WindowState.usePerformanceCounter = 1;
  long long first = GetMicrosecondCount();
  LARGE_INTEGER counter;
  QueryPerformanceCounter(&counter);
  double direct = (double)counter.QuadPart * 1e6 / (double)frequency.QuadPart;
  EXPECT_NEAR((double)first, direct, 5000.0);
  Sleep(50);
  long long span = GetMicrosecondCount() - first;
  EXPECT_GE(span, 45000);
  EXPECT_LT(span, 1000000);

  // Without the counter: timeGetTime x 1000 in 64 bits, not masked.
  WindowState.usePerformanceCounter = 0;
  WinApi.winmm.timeGetTime = ClockAtTheTop;
  EXPECT_EQ(GetMicrosecondCount(), 0xFFFFFFF0ll * 1000);
  EXPECT_EQ(GetMillisecondCount(), 0x7FFFFFF0);

  WinApi.winmm.module = nullptr;
  EXPECT_EQ(GetMillisecondCount(), -1);
  EXPECT_EQ(GetMicrosecondCount(), -1);
  WindowState.usePerformanceCounter = 1;
  EXPECT_EQ(GetMicrosecondCount(), -1);
}

TEST(SysInfo, DatesAndTextConversion) {
  SYSTEMTIME local, utc;
  GetLocalTime(&local);
  LOCAL_DATE_TIME now;
  EXPECT_EQ(GetLocalDateTime(&now), 0);
  EXPECT_EQ(now.year, local.wYear);
  EXPECT_EQ(now.month, local.wMonth);
  EXPECT_EQ(now.day, local.wDay);

  // A local time taken to a UTC file time comes back as the same local date and time.
  SYSTEMTIME known = {2014, 2, 0, 7, 13, 5, 9, 500};
  ASSERT_TRUE(TzSpecificLocalTimeToSystemTime(nullptr, &known, &utc));
  FILETIME file;
  ASSERT_TRUE(SystemTimeToFileTime(&utc, &file));
  LOCAL_DATE_TIME back;
  ASSERT_EQ(FileTimeToLocalDateTime(&file, &back), 0);
  EXPECT_EQ(back.year, 2014);
  EXPECT_EQ(back.month, 2);
  EXPECT_EQ(back.day, 7);
  EXPECT_EQ(back.hour, 13);
  EXPECT_EQ(back.minute, 5);
  EXPECT_EQ(back.second, 9);

  char narrow[16];
  EXPECT_EQ(ConvertWideToMultiByte(932, L"\u65E5\u672C\\", narrow, sizeof(narrow)), 6);
  EXPECT_STREQ(narrow, "日本\\");
  wchar_t wide[8];
  EXPECT_EQ(ConvertMultiByteToWide(932, "日本", wide, 8), 3);
  EXPECT_STREQ(wide, L"\u65E5\u672C");
  EXPECT_EQ(ConvertMultiByteToWide(932, "日本", wide, 2), 0);  // too small: the call's own 0
}

TEST(SysInfo, DesktopModeAfterStartUpIsTheNotedOne) {
  ASSERT_EQ(InitLibrary(), 0);
  WindowState.desktopWidth = 640;  // as the window start notes them
  WindowState.desktopHeight = 480;
  WindowState.desktopColorBits = 16;
  int w, h, bits;
  GetDesktopMode(&w, &h, &bits);
  EXPECT_EQ(w, 640);
  EXPECT_EQ(h, 480);
  EXPECT_EQ(bits, 16);
  EndLibrary();
  WindowState.desktopWidth = WindowState.desktopHeight = WindowState.desktopColorBits = 0;
}
}  // namespace
