// Window modes and styles: the windowed flag, the style table, the window scale and options,
// the fit of the window to the screen and the aspect-keeping border drag. The switch between
// the modes, which restarts graphics, is in system/top/window_mode_switch.cpp.
#pragma once
#include <windows.h>

struct WINDOW_STYLE_ROW {
  DWORD windowedStyle;
  DWORD windowedExStyle;
  DWORD fullscreenStyle;
  DWORD fullscreenExStyle;
};

const WINDOW_STYLE_ROW& GetWindowStyleRow(int mode);
// The windowed style of the current row with WS_VISIBLE (shown once) and WS_THICKFRAME (resizable).
DWORD GetWindowedStyle();
// The size the window shows, as graphics knows it (through the system hooks).
void GetWindowBaseSize(int* width, int* height);
int SetWindowedFlag(int flag);
int ApplyWindowStyleForMode();
int FitWindowToScreen();
// Records the window's client area in screen coordinates.
void UpdateClientScreenRect(HWND window);
// WM_SIZING in windowed mode: corrects the proposed rectangle for the edge being dragged.
void CorrectSizingRect(int edge, RECT* proposed);
