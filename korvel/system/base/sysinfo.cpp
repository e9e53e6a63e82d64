#include "system/base/sysinfo.h"

#include <cpuid.h>
#include <x86intrin.h>

#include <cstring>

#include "core/log.h"
#include "core/strings.h"
#include "core/winapi.h"
#include "system/base/library_flags.h"
#include "system/base/timers.h"
#include "system/base/window_state.h"

namespace {
const char* const kLibraryVersion = "3.10c";

// Feature levels found by CPUID: each one only after the one before.
enum { CPU_LEVEL_NONE = 0, CPU_LEVEL_CPUID = 1, CPU_LEVEL_MMX = 3, CPU_LEVEL_SSE = 4, CPU_LEVEL_SSE2 = 5 };

// Feature flags of CPUID leaf 1, register EDX.
enum : unsigned { CPUID_TSC = 1u << 4, CPUID_MMX = 1u << 23, CPUID_SSE = 1u << 25, CPUID_SSE2 = 1u << 26 };

struct CPU_FEATURES {
  int level;
  char vendor[13];
  char brand[49];
};

void ReadCpuid(unsigned leaf, unsigned regs[4]) { __cpuid(leaf, regs[0], regs[1], regs[2], regs[3]); }

// Vendor, brand and feature level; __get_cpuid_max first checks that the ID bit of EFLAGS
// can be toggled, so a processor without CPUID reports level 0.
void ReadCpuFeatures(CPU_FEATURES* cpu) {
  memset(cpu, 0, sizeof(*cpu));
  WindowState.timeStampCounter = 0;
  unsigned regs[4];
  if (__get_cpuid_max(0, nullptr) == 0) return;
  ReadCpuid(0, regs);
  unsigned maxLeaf = regs[0];
  memcpy(cpu->vendor + 0, &regs[1], 4);
  memcpy(cpu->vendor + 4, &regs[3], 4);
  memcpy(cpu->vendor + 8, &regs[2], 4);
  cpu->level = CPU_LEVEL_CPUID;
  if (maxLeaf >= 1) {
    ReadCpuid(1, regs);
    unsigned edx = regs[3];
    if (edx & CPUID_TSC) WindowState.timeStampCounter = 1;
    if (edx & CPUID_MMX) {
      cpu->level = CPU_LEVEL_MMX;
      if (edx & CPUID_SSE) {
        cpu->level = CPU_LEVEL_SSE;
        if (edx & CPUID_SSE2) cpu->level = CPU_LEVEL_SSE2;
      }
    }
  }
  ReadCpuid(0x80000000u, regs);
  if (regs[0] >= 0x80000004u) {
    for (unsigned i = 0; i < 3; i++) {
      ReadCpuid(0x80000002u + i, regs);
      memcpy(cpu->brand + i * 16, regs, 16);
    }
  }
}

void LogOsVersion() {
  WriteLogText("ＯＳ  ");
  OSVERSIONINFOA version;
  memset(&version, 0, sizeof(version));
  version.dwOSVersionInfoSize = sizeof(version);
  char name[64];
  CopyString(name, "Windows");
  if (GetVersionExA(&version)) DescribeOsVersion(&version, name, sizeof(name), &WindowState.osCode);
  int build = (int)version.dwBuildNumber;
  if (version.dwPlatformId == VER_PLATFORM_WIN32_WINDOWS) build &= 0xFFFF;  // 9x keeps the version above
  FormatString(WindowState.osDescription, sizeof(WindowState.osDescription), "%s ( Build %d %s )", name, build,
               version.szCSDVersion);
  AddLogLineFormat("%s", WindowState.osDescription);
}

void StartMultimediaTimerPeriod() {
  if (WinApi.winmm.timeGetDevCaps == nullptr || WinApi.winmm.timeBeginPeriod == nullptr) return;
  TIMECAPS caps;
  if (WinApi.winmm.timeGetDevCaps(&caps, sizeof(caps)) == TIMERR_NOERROR) WinApi.winmm.timeBeginPeriod(caps.wPeriodMin);
}

void LogCpuSpeed() {
  long long ticks = MeasureTimeStampTicks();
  if (ticks < 0) return;
  WindowState.processorMhz = (int)(ticks / 100000);
  WindowState.timeStampTicksPerSecond = ticks * 10;
  AddLogLineFormat("ＣＰＵ動作速度：大体%.2fGHz", WindowState.processorMhz / 1000.0);
}

void LogCpuFeatures(const CPU_FEATURES& cpu) {
  switch (cpu.level) {
    case CPU_LEVEL_NONE: WriteLogText("ＣＰＵＩＤ命令は使えません\n"); break;
    case CPU_LEVEL_CPUID: WriteLogText("ＭＭＸは使えません\n"); break;
    default: break;
  }
  if (cpu.level >= CPU_LEVEL_MMX) {
    WriteLogText("ＭＭＸ命令を使用します\n");
    WindowState.mmx = 1;
  }
  if (cpu.level >= CPU_LEVEL_SSE) {
    WriteLogText("ＳＳＥ命令が使用可能です\n");
    WindowState.sse = 1;
  }
  if (cpu.level >= CPU_LEVEL_SSE2) {
    WriteLogText("ＳＳＥ２命令が使用可能です\n");
    WindowState.sse2 = 1;
  }
  if (cpu.level == CPU_LEVEL_NONE) return;
  WriteLogText("ＣＰＵベンダ：");
  WriteLogText(cpu.vendor);
  WriteLogText("\n");
  if (cpu.brand[0] != 0) {
    AddLogLineFormat("ＣＰＵ名：%s", cpu.brand);
    CopyStringN(WindowState.processorName, cpu.brand, (int)sizeof(WindowState.processorName) - 1);
  }
}
}  // namespace

void DescribeOsVersion(const OSVERSIONINFOA* version, char* name, int nameSize, int* osCode) {
  const char* suffix = "";
  int code = *osCode;
  const DWORD major = version->dwMajorVersion, minor = version->dwMinorVersion;
  const char lead = version->szCSDVersion[0];
  switch (version->dwPlatformId) {
    case VER_PLATFORM_WIN32s:
      suffix = "3.1";
      code = OS_CODE_WIN32S;
      break;
    case VER_PLATFORM_WIN32_WINDOWS:
      if (minor == 0) {
        suffix = lead == 'C' ? "95OSR2" : "95";
        code = OS_CODE_WIN95;
      } else if (minor == 10) {
        suffix = lead == 'A' ? "98SE" : "98";
        code = OS_CODE_WIN98;
      } else if (minor == 90) {
        suffix = "Me";
        code = OS_CODE_WINME;
      }
      break;
    case VER_PLATFORM_WIN32_NT:
      if (major == 3) { suffix = "NT 3.51"; code = OS_CODE_NT351; }
      else if (major == 4) { suffix = "4.0"; code = OS_CODE_NT40; }
      else if (major == 5 && minor == 0) { suffix = "2000"; code = OS_CODE_WIN2000; }
      else if (major == 5 && minor == 1) { suffix = "XP"; code = OS_CODE_WINXP; }
      else if (major == 6 && minor == 0) { suffix = "Vista"; code = OS_CODE_VISTA; }
      else if (major == 6 && minor == 1) { suffix = "7"; code = OS_CODE_WIN7; }
      // 6.2 and anything newer: the newest version the library knows, so that later
      // systems take the paths of recent Windows rather than those of Win32s.
      else if (major > 6 || (major == 6 && minor >= 2)) { suffix = "8"; code = OS_CODE_WIN8; }
      break;
    default:
      break;
  }
  FormatString(name, (size_t)nameSize, "Windows%s", suffix);
  *osCode = code;
}

long long MeasureTimeStampTicks() {
  int start = GetMillisecondCount();
  if (start < 0) return -1;
  unsigned long long first = __rdtsc();
  for (;;) {
    int now = GetMillisecondCount();
    if (now < 0) return -1;  // the clock went away: stop rather than spin for ever
    // The clock wraps within 31 bits; the difference is taken in 64 bits.
    long long elapsed = (long long)now - start;
    if (elapsed < 0) elapsed += 0x80000000LL;
    if (elapsed >= 100) break;
  }
  return (long long)(__rdtsc() - first);
}

int LogSystemInfo() {
  WriteLogText("システムの情報を出力します\n");
  IndentLog();

  char line[64];
  FormatString(line, sizeof(line), "Korvel Ver%s\n", kLibraryVersion);
  WriteLogText(line);

  SYSTEM_INFO info;
  GetSystemInfo(&info);
  WindowState.logicalProcessorCount = (int)info.dwNumberOfProcessors;
  AddLogLineFormat("論理プロセッサの数 : %d", WindowState.logicalProcessorCount);

  LogOsVersion();
  WindowState.directXVersion = 0x70000;
  StartMultimediaTimerPeriod();

  WindowState.mmx = 0;
  CPU_FEATURES cpu;
  ReadCpuFeatures(&cpu);
  if (WindowState.timeStampCounter) LogCpuSpeed();
  LogCpuFeatures(cpu);

  UnindentLog();
  return 0;
}

int IsMmxEnabled() { return WindowState.mmx; }

int ReadDesktopColorBits() {
  HDC dc = GetDC(nullptr);
  int bits = GetDeviceCaps(dc, PLANES) * GetDeviceCaps(dc, BITSPIXEL);
  ReleaseDC(nullptr, dc);
  return bits;
}

int GetDesktopMode(int* width, int* height, int* colorBits) {
  int w, h, bits;
  if ((LibraryFlags.started || LibraryFlags.starting) && WindowState.desktopWidth != 0) {
    w = WindowState.desktopWidth;
    h = WindowState.desktopHeight;
    bits = WindowState.desktopColorBits;
  } else {
    w = GetSystemMetrics(SM_CXSCREEN);
    h = GetSystemMetrics(SM_CYSCREEN);
    bits = ReadDesktopColorBits();
  }
  if (width != nullptr) *width = w;
  if (height != nullptr) *height = h;
  if (colorBits != nullptr) *colorBits = bits;
  return 0;
}

int GetLocalDateTime(LOCAL_DATE_TIME* out) {
  SYSTEMTIME t;
  GetLocalTime(&t);
  *out = {t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond};
  return 0;
}

int FileTimeToLocalDateTime(const FILETIME* time, LOCAL_DATE_TIME* out) {
  FILETIME local;
  SYSTEMTIME t;
  if (!FileTimeToLocalFileTime(time, &local) || !FileTimeToSystemTime(&local, &t)) return -1;
  *out = {t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond};
  return 0;
}

int ConvertWideToMultiByte(int codePage, const wchar_t* text, char* buffer, int bufferSize) {
  return WideCharToMultiByte((UINT)codePage, 0, text, -1, buffer, bufferSize, nullptr, nullptr);
}

int ConvertMultiByteToWide(int codePage, const char* text, wchar_t* buffer, int count) {
  return MultiByteToWideChar((UINT)codePage, 0, text, -1, buffer, count);
}
