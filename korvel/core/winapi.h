// The table of system DLL functions loaded by name at start-up: the program imports only
// user32, kernel32, gdi32 and shell32 at load time. A user tests the module handle or the
// function pointer before calling; nothing here reports a missing DLL or function.
#pragma once
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>
#include <mmsystem.h>
#include <imm.h>
#include <objbase.h>
#include <oleauto.h>

struct WINAPI_TABLE {
  struct {
    HMODULE module;
    int(WSAAPI* WSAGetLastError)();
    int(WSAAPI* WSAStartup)(WORD, LPWSADATA);
    int(WSAAPI* WSACleanup)();
    int(WSAAPI* WSAAsyncSelect)(SOCKET, HWND, u_int, long);
    int(WSAAPI* getaddrinfo)(PCSTR, PCSTR, const ADDRINFOA*, PADDRINFOA*);
    struct hostent*(WSAAPI* gethostbyaddr)(const char*, int, int);
    struct hostent*(WSAAPI* gethostbyname)(const char*);
    int(WSAAPI* gethostname)(char*, int);
    u_short(WSAAPI* ntohs)(u_short);
    u_short(WSAAPI* htons)(u_short);
    int(WSAAPI* connect)(SOCKET, const struct sockaddr*, int);
    SOCKET(WSAAPI* socket)(int, int, int);
    int(WSAAPI* send)(SOCKET, const char*, int, int);
    int(WSAAPI* sendto)(SOCKET, const char*, int, int, const struct sockaddr*, int);
    int(WSAAPI* recvfrom)(SOCKET, char*, int, int, struct sockaddr*, int*);
    SOCKET(WSAAPI* accept)(SOCKET, struct sockaddr*, int*);
    int(WSAAPI* closesocket)(SOCKET);
    int(WSAAPI* shutdown)(SOCKET, int);
    int(WSAAPI* listen)(SOCKET, int);
    int(WSAAPI* bind)(SOCKET, const struct sockaddr*, int);
    unsigned long(WSAAPI* inet_addr)(const char*);
    int(WSAAPI* recv)(SOCKET, char*, int, int);
  } ws2;
  struct {
    HMODULE module;
    HIMC(WINAPI* ImmGetContext)(HWND);
    BOOL(WINAPI* ImmReleaseContext)(HWND, HIMC);
    BOOL(WINAPI* ImmGetOpenStatus)(HIMC);
    BOOL(WINAPI* ImmGetConversionStatus)(HIMC, LPDWORD, LPDWORD);
    BOOL(WINAPI* ImmNotifyIME)(HIMC, DWORD, DWORD, DWORD);
    BOOL(WINAPI* ImmSetOpenStatus)(HIMC, BOOL);
    DWORD(WINAPI* ImmGetCandidateListA)(HIMC, DWORD, LPCANDIDATELIST, DWORD);
    LONG(WINAPI* ImmGetCompositionStringA)(HIMC, DWORD, LPVOID, DWORD);
    BOOL(WINAPI* ImmSetCompositionStringA)(HIMC, DWORD, LPVOID, DWORD, LPVOID, DWORD);
  } imm;
  struct {
    HMODULE module;
    MMRESULT(WINAPI* timeSetEvent)(UINT, UINT, LPTIMECALLBACK, DWORD_PTR, UINT);
    MMRESULT(WINAPI* timeKillEvent)(UINT);
    MMRESULT(WINAPI* timeBeginPeriod)(UINT);
    MMRESULT(WINAPI* timeEndPeriod)(UINT);
    DWORD(WINAPI* timeGetTime)();
    MMRESULT(WINAPI* timeGetDevCaps)(LPTIMECAPS, UINT);
    MMRESULT(WINAPI* joyGetPosEx)(UINT, LPJOYINFOEX);
    MMRESULT(WINAPI* joyGetDevCapsA)(UINT_PTR, LPJOYCAPSA, UINT);
    MCIERROR(WINAPI* mciSendCommandA)(MCIDEVICEID, UINT, DWORD_PTR, DWORD_PTR);
  } winmm;
  struct {
    HMODULE module;
    HRESULT(WINAPI* CoCreateInstance)(REFCLSID, LPUNKNOWN, DWORD, REFIID, LPVOID*);
    LPVOID(WINAPI* CoTaskMemAlloc)(SIZE_T);
    void(WINAPI* CoTaskMemFree)(LPVOID);
    HRESULT(WINAPI* CoInitializeEx)(LPVOID, DWORD);
    void(WINAPI* CoFreeUnusedLibraries)();
    void(WINAPI* CoUninitialize)();
  } ole32;
  struct {
    HMODULE module;
    HRESULT(WINAPI* LoadRegTypeLib)(REFGUID, WORD, WORD, LCID, ITypeLib**);
  } oleaut32;
  struct {
    HMODULE module;
    void(WINAPI* InitCommonControls)();
  } comctl32;
  struct {
    HMODULE module;
    HRESULT(WINAPI* DwmEnableComposition)(UINT);
  } dwmapi;
  struct {
    HMODULE module;
    BOOL(WINAPI* WINNLSEnableIME)(HWND, BOOL);
  } user32;
};

extern WINAPI_TABLE WinApi;

int LoadWinApiTable();
void FreeWinApiTable();
