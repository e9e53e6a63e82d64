#include "winapi.h"

WINAPI_TABLE WinApi;

namespace {
// One DLL of the table: its group (module handle followed by the function pointers, all
// pointer-sized) and the names to load, in order.
struct DllEntry {
  const char* dll;
  HMODULE* group;
  int count;
  const char* const* names;
};

const char* const ws2Names[] = {"WSAGetLastError", "WSAStartup", "WSACleanup", "WSAAsyncSelect", "getaddrinfo",
                                "gethostbyaddr", "gethostbyname", "gethostname", "ntohs", "htons", "connect",
                                "socket", "send", "sendto", "recvfrom", "accept", "closesocket", "shutdown",
                                "listen", "bind", "inet_addr", "recv"};
const char* const immNames[] = {"ImmGetContext", "ImmReleaseContext", "ImmGetOpenStatus", "ImmGetConversionStatus",
                                "ImmNotifyIME", "ImmSetOpenStatus", "ImmGetCandidateListA",
                                "ImmGetCompositionStringA", "ImmSetCompositionStringA"};
const char* const winmmNames[] = {"timeSetEvent", "timeKillEvent", "timeBeginPeriod", "timeEndPeriod", "timeGetTime",
                                  "timeGetDevCaps", "joyGetPosEx", "joyGetDevCapsA", "mciSendCommandA"};
const char* const ole32Names[] = {"CoCreateInstance", "CoTaskMemAlloc", "CoTaskMemFree", "CoInitializeEx",
                                  "CoFreeUnusedLibraries", "CoUninitialize"};
const char* const oleaut32Names[] = {"LoadRegTypeLib"};
const char* const comctl32Names[] = {"InitCommonControls"};
const char* const dwmapiNames[] = {"DwmEnableComposition"};
const char* const user32Names[] = {"WINNLSEnableIME"};

#define DLL_ENTRY(name, field, names) {name, &WinApi.field.module, (int)(sizeof(names) / sizeof(names[0])), names}
// Load order.
const DllEntry loadOrder[] = {DLL_ENTRY("ws2_32.dll", ws2, ws2Names), DLL_ENTRY("Imm32.dll", imm, immNames),
                              DLL_ENTRY("winmm.dll", winmm, winmmNames), DLL_ENTRY("ole32.dll", ole32, ole32Names),
                              DLL_ENTRY("OleAut32.dll", oleaut32, oleaut32Names),
                              DLL_ENTRY("comctl32.dll", comctl32, comctl32Names),
                              DLL_ENTRY("dwmapi.dll", dwmapi, dwmapiNames),
                              DLL_ENTRY("User32.dll", user32, user32Names)};
// Release order.
const int freeOrder[] = {6, 7, 0, 1, 2, 4, 3, 5};

// Each group is its module handle followed by exactly its named function pointers.
#define CHECK_GROUP(field, names) \
  static_assert(sizeof(WinApi.field) == sizeof(void*) * (1 + sizeof(names) / sizeof(names[0])), #field " layout")
CHECK_GROUP(ws2, ws2Names);
CHECK_GROUP(imm, immNames);
CHECK_GROUP(winmm, winmmNames);
CHECK_GROUP(ole32, ole32Names);
CHECK_GROUP(oleaut32, oleaut32Names);
CHECK_GROUP(comctl32, comctl32Names);
CHECK_GROUP(dwmapi, dwmapiNames);
CHECK_GROUP(user32, user32Names);

FARPROC* Functions(const DllEntry& entry) { return (FARPROC*)(entry.group + 1); }
}  // namespace

int LoadWinApiTable() {
  for (const DllEntry& entry : loadOrder) {
    if (*entry.group != nullptr) continue;
    HMODULE module = LoadLibraryA(entry.dll);
    if (module == nullptr) continue;
    *entry.group = module;
    for (int i = 0; i < entry.count; i++) Functions(entry)[i] = GetProcAddress(module, entry.names[i]);
  }
  return 0;
}

void FreeWinApiTable() {
  for (int index : freeOrder) {
    const DllEntry& entry = loadOrder[index];
    if (*entry.group == nullptr) continue;
    FreeLibrary(*entry.group);
    *entry.group = nullptr;
    for (int i = 0; i < entry.count; i++) Functions(entry)[i] = nullptr;
  }
}
