// The start and end of the whole graphics subsystem and of Direct3D within it.
#pragma once

int StartUpGraphics();
int ShutDownGraphics();
int StartDirect3D();
int EndDirect3D();
// Sets the pixel type of the screen images for a colour depth (32-bit pixels for 32 bits,
// RGB565 otherwise).
void SetDefaultScreenImageType(int bits);
