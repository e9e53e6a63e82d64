// The message pump: the per-frame heartbeat of the main thread, and the waits built on it.
// PumpWindowMessages runs the message loop here and the subsystems' per-frame services
// through the system hooks (system/base/system_hooks.h).
#pragma once

// 1 when drawing has to wait for the window: inactive or minimised, not running while
// inactive, and no WM_PAINT in progress.
int IsInactiveWaitNeeded();
// Pumps until the window is active again or the window has gone.
void WaitWhileInactive();
