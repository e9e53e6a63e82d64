// The message pump: the per-frame heartbeat of the main thread, and the waits built on it.
#pragma once

// 1 when drawing has to wait for the window: inactive or minimised, not running while
// inactive, and no WM_PAINT in progress.
int IsInactiveWaitNeeded();
// Pumps until the window is active again or the window has gone.
void WaitWhileInactive();
