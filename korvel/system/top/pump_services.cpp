#include "system/top/pump_services.h"

#include <windows.h>

#include "file/async_load.h"
#include "input/input_devices.h"
#include "input/joypad.h"
#include "input/key_input.h"
#include "network/network.h"
#include "sound/music.h"
#include "sound/sound_system.h"
#include "system/base/library_flags.h"
#include "system/base/window_services.h"
#include "system/base/window_state.h"
#include "system/top/window_proc.h"

namespace {
void DrainDeferredEvents() {
  DEFERRED_EVENT_RING& ring = WindowState.deferred;
  while (ring.count > 0) {
    int wParam = ring.wParam[ring.readIndex];
    int isActivateApp = ring.isActivateApp[ring.readIndex];
    ring.readIndex = (ring.readIndex + 1) % DEFERRED_EVENT_SLOTS;
    ring.count--;
    ApplyActivationChange((WPARAM)(unsigned)wParam, isActivateApp);
  }
}
}  // namespace

void RunPumpFrameServices() {
  if (GetCurrentThreadId() == WindowState.mainThreadId) UpdateMenuAutoDisplay();
  if (!WindowState.closing) DrainDeferredEvents();
  RefillSoundsFromPump();  // only without a sound thread (one logical processor)
  if (!WindowState.windowQuit) ServeMainThreadRequests();  // at most 2 ms of loader-thread requests
  PollMusicPlayState();
  ReadKeyboardState(0);
  UpdateJoypadVibrationTimers();
  PumpNetworkMessages(1);
  // Key-input handlers may pump again: a nested call returns at once.
  LibraryFlags.pumpReentryGuard = 1;
  ProcessKeyInputFrame();
  LibraryFlags.pumpReentryGuard = 0;
}

void RunPumpWaitServices() {
  PumpNetworkMessages(1);
  RefillSoundsFromPump();
  ServeMainThreadRequests();
}
