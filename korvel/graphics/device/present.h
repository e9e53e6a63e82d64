// Scene bracketing of all drawing, the present of a finished frame (swap chain, or GDI for
// the software screen) and frame pacing on the vertical blank.
#pragma once
#include <windows.h>
#include <d3d9.h>

int BeginDeviceScene();
int EndDeviceScene();
// Presents the whole screen, or refreshes only the given rectangle of the window.
int PresentScreen(const RECT* rect);
void WaitForVerticalBlankPaced();
void MeasureRefreshPeriod();
int CreateSubBackBuffer();
void ReleaseSubBackBuffer();
IDirect3DSurface9* GetSubBackBuffer();
// Starts the 32 ms timer that re-presents the front screen while it is the draw target.
int StartFrontScreenTimer(int flag);
