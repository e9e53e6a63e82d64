// Draw targets, the draw area with its device viewport and scissor, clearing, and the flip
// that ends a frame.
#pragma once
#include <windows.h>

#include "korvel.h"

int GetGraphOrScreenSize(int handle, int* width, int* height);
int CopyBackBufferToSubBackBuffer();
int RefreshWindowFromBackBuffer();
int FlipScreenBuffersEx(const RECT* rect);
// 1 while a flip runs (the inactive-window wait lets it finish).
int IsFlipInProgress();
