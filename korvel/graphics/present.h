// Scene bracketing of all drawing (the presentation and frame pacing complete this module).
#pragma once

int BeginDeviceScene();
int EndDeviceScene();
