// The window functions the input module calls (message pump, inactive wait, window
// services); they are declared here until their own headers are on this branch.
#pragma once
#include <windows.h>

int PumpWindowMessages();
int PumpWindowMessagesLocked();
void WaitWhileInactive();
int GetMousePosition(int* x, int* y);
int GetClientScreenRect(RECT* out);
int IsWindowClosing();
