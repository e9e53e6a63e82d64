// Draw targets and the draw area. For now only the two screens (-2 back, -4 front) can be
// selected; drawable graphs and the camera reset join with their modules.
#pragma once

int SelectDrawTarget(int target);
int SetDrawClipArea(int x1, int y1, int x2, int y2);
int GetGraphOrScreenSize(int handle, int* width, int* height);
