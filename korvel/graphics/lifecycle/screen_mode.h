// Screen modes: the main and device screen sizes, the display-mode list, the GDI display-mode
// change, and the screen-mode change that restarts graphics in a new mode (or, with the
// mode-change-in-place setting of ScreenState, makes the device again in it, keeping every
// handle).
#pragma once

struct DISPLAY_MODE {
  int width, height, bits, refreshRate;
};

int CountDisplayModes();
DISPLAY_MODE GetDisplayModeRecord(int index);
int HasDisplayMode(int width, int height, int bits);
int BuildDisplayModeList();
void FreeDisplayModeList();
int ChangeDisplayMode();
// Gives the desktop its own mode back after ChangeDisplayMode changed it (else nothing).
void RestoreDisplayMode();
int ChangeScreenMode(int width, int height, int bits, int force, int refresh);
int ResetDialogBoxMode(int flag);
int GetDialogBoxModeFlag();
int SetDeviceDialogBoxMode(int flag);
