// The main window's start and end, with the file handles, the loader threads and the key
// input that live as long as the window.
#pragma once
#include <windows.h>

int InitMainWindow();
int CloseMainWindow();
