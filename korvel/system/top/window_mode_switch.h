// The switch between windowed and fullscreen mode (ChangeWindowMode), which restarts graphics
// in the new mode, and the size the window shows, which the window styling in
// system/base/window_mode.cpp reaches through the system hooks.
#pragma once

void GetShownScreenSize(int* width, int* height);
