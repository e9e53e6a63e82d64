// The base room's calls up into the rooms above it. The pump, the wait while inactive and the
// window styling live here so that every subsystem can use them, but what they run each frame
// belongs to the subsystems above: the library start sets these once, before the window
// exists (SetPumpAndWindowHooks in system/top/library.cpp). Until then, and for a field left
// null, the call does nothing (the services, the refresh) or answers 0 (the flip) or the
// desktop size (the window size).
#pragma once

struct SYSTEM_HOOKS {
  // The pump's per-frame services after its message loop: menu display, deferred activation
  // changes, sounds, loader requests, music, keyboard, joypads, network, key input.
  void (*frameServices)();
  // The services the pump keeps running on each pass while it waits for an inactive or
  // minimised window: network messages, sounds, loader requests.
  void (*waitServices)();
  // Shows the back buffer in the window again (a partial repaint the pump finishes).
  int (*refreshWindow)();
  // 1 while a flip is under way: the wait while inactive lets it finish first.
  int (*isFlipInProgress)();
  // The size the window shows: the main screen, or the screen an emulated small one is drawn on.
  void (*windowBaseSize)(int* width, int* height);
};
void SetSystemHooks(const SYSTEM_HOOKS* hooks);

void RunFrameServicesHook();
void RunWaitServicesHook();
int RefreshWindowHook();
int IsFlipInProgressHook();
void GetWindowBaseSizeHook(int* width, int* height);
