// The run-time DLL table: every function found, a second load loading nothing again, and the
// free clearing every entry.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "core/winapi.h"

namespace {
struct Group {
  const char* dll;
  HMODULE* module;
  std::vector<const char*> names;
};

// The table as a list of groups: its module handle followed by its pointers, in table order.
std::vector<Group> Groups() {
  return {
      {"ws2_32.dll", &WinApi.ws2.module,
       {"WSAGetLastError", "WSAStartup", "WSACleanup", "WSAAsyncSelect", "getaddrinfo", "gethostbyaddr",
        "gethostbyname", "gethostname", "ntohs", "htons", "connect", "socket", "send", "sendto", "recvfrom", "accept",
        "closesocket", "shutdown", "listen", "bind", "inet_addr", "recv"}},
      {"Imm32.dll", &WinApi.imm.module,
       {"ImmGetContext", "ImmReleaseContext", "ImmGetOpenStatus", "ImmGetConversionStatus", "ImmNotifyIME",
        "ImmSetOpenStatus", "ImmGetCandidateListA", "ImmGetCompositionStringA", "ImmSetCompositionStringA"}},
      {"winmm.dll", &WinApi.winmm.module,
       {"timeSetEvent", "timeKillEvent", "timeBeginPeriod", "timeEndPeriod", "timeGetTime", "timeGetDevCaps",
        "joyGetPosEx", "joyGetDevCapsA", "mciSendCommandA"}},
      {"ole32.dll", &WinApi.ole32.module,
       {"CoCreateInstance", "CoTaskMemAlloc", "CoTaskMemFree", "CoInitializeEx", "CoFreeUnusedLibraries",
        "CoUninitialize"}},
      {"OleAut32.dll", &WinApi.oleaut32.module, {"LoadRegTypeLib"}},
      {"comctl32.dll", &WinApi.comctl32.module, {"InitCommonControls"}},
      {"dwmapi.dll", &WinApi.dwmapi.module, {"DwmEnableComposition"}},
      {"User32.dll", &WinApi.user32.module, {"WINNLSEnableIME"}},
  };
}

FARPROC Entry(const Group& g, size_t i) { return ((FARPROC*)(g.module + 1))[i]; }

TEST(WinApiTable, FillsEveryFunctionInTableOrder) {
  ASSERT_EQ(LoadWinApiTable(), 0);
  for (const Group& g : Groups()) {
    ASSERT_NE(*g.module, nullptr) << g.dll;
    EXPECT_EQ(*g.module, GetModuleHandleA(g.dll)) << g.dll;
    for (size_t i = 0; i < g.names.size(); i++)
      EXPECT_EQ(Entry(g, i), GetProcAddress(*g.module, g.names[i])) << g.dll << " " << g.names[i];
  }
  FreeWinApiTable();
}

TEST(WinApiTable, ASecondLoadDoesNotLoadAgainAndFreeClearsAll) {
  // DLLs nobody else holds: one FreeLibrary must unload them again after two table loads.
  std::vector<std::string> notHeldBefore;
  for (const Group& g : Groups())
    if (GetModuleHandleA(g.dll) == nullptr) notHeldBefore.push_back(g.dll);
  ASSERT_FALSE(notHeldBefore.empty()) << "every table DLL is already loaded by someone else";

  LoadWinApiTable();
  std::vector<HMODULE> first;
  for (const Group& g : Groups()) first.push_back(*g.module);
  LoadWinApiTable();
  for (size_t i = 0; i < first.size(); i++) EXPECT_EQ(*Groups()[i].module, first[i]) << Groups()[i].dll;
  FreeWinApiTable();

  for (const std::string& dll : notHeldBefore)
    EXPECT_EQ(GetModuleHandleA(dll.c_str()), nullptr) << dll << " was loaded more than once";
  for (const Group& g : Groups()) {
    EXPECT_EQ(*g.module, nullptr) << g.dll;
    for (size_t i = 0; i < g.names.size(); i++) EXPECT_EQ(Entry(g, i), nullptr) << g.dll << " " << g.names[i];
  }
  // Freeing an empty table does nothing; a new load fills it again.
  FreeWinApiTable();
  LoadWinApiTable();
  EXPECT_NE(WinApi.winmm.timeGetTime, nullptr);
  FreeWinApiTable();
}
}  // namespace
