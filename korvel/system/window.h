// The main window's start and end.
#pragma once
#include <windows.h>

int InitMainWindow();
int CloseMainWindow();
HWND GetMainWindow();
HWND GetOutputWindow();
