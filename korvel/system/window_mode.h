// Window modes and styles: the windowed/fullscreen switch, the style table, the window scale
// and options, the fit of the window to the screen and the aspect-keeping border drag.
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
// The size the window shows: the main screen size.
void GetWindowBaseSize(int* width, int* height);
int SetWindowedFlag(int flag);
int ApplyWindowStyleForMode();
int FitWindowToScreen();
// Records the window's client area in screen coordinates.
void UpdateClientScreenRect(HWND window);
// WM_SIZING in windowed mode: corrects the proposed rectangle for the edge being dragged.
void CorrectSizingRect(int edge, RECT* proposed);
