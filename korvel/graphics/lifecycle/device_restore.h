// Device loss and restore: the device is never reset; it is thrown away and made again, and
// every device object is re-created from the copies kept in system memory. Handles survive.
#pragma once

// Step "re-create device objects" of a re-creation: the system texture pool's textures, every
// graph's textures (contents restored later) and every shader handle's device shader from its
// kept byte code. Failures are logged and skipped. -> 0.
int RecreateDeviceResources();
// Step "restore contents": with asynchronous loading switched off, the graphics restore
// handler runs (the program's, when it set one). -> 0.
int RestoreGraphicsContent();
// Releases every device object (their system copies and the handles stay) and ends Direct3D.
// Used when a fullscreen program is deactivated.
int ReleaseGraphicsDevice();
// Throws the device away and makes a new one (with a new screen mode when modeChange is set),
// then re-creates every device object and restores the graphs, fonts, states, draw area and
// camera. Handles survive. Without a new device the library goes on in software rendering.
int RecreateGraphicsDeviceInMode(int bits, int width, int height, int refresh, int modeChange);
int RecreateGraphicsDevice();
