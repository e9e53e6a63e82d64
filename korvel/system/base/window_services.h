// Small services around the main window: its handle, settings, clipboard, cursor, mouse
// position, click log, foreground switch, dropped files and the (dormant) menu and toolbar.
#pragma once
#include <windows.h>

HWND GetMainWindow();
HWND GetOutputWindow();

void RecordMouseClick(int button);
int ForceForegroundWindow(HWND window, int topmost);
void UpdateMenuAutoDisplay();
int ShouldShowMenu();
int SetMenuVisible(int flag);
int CollectMenuItems(HMENU menu);
int GetMenuItemText(int id, char* buffer, int bufferSize);
int FindToolbarButton(int id);
int MeasureToolbarHeight();
int RemoveAllToolbarButtons();
int SetDesktopComposition(int enable);
int ApplyDragAcceptFiles();
int ClearDroppedFiles();
int GetClientScreenRect(RECT* out);
int DrawInactiveImage(HDC dc);
