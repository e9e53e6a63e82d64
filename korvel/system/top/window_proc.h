// The main window's procedure: window state upkeep, deferred activation changes, closing.
#pragma once
#include <windows.h>

LRESULT CALLBACK LibraryWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// 0, or -1 when a fullscreen program without a graphics restore function has to close.
int ApplyActivationChange(WPARAM wParam, int isActivateApp);
int StoreClientArea(LPARAM lParam);
// The typed character a WM_CHAR code becomes: line feed becomes 13, printable codes and the
// editing control codes pass, other control codes give -1.
int FilterTypedChar(int code);
