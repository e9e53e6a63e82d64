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
