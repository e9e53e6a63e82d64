#include "system/base/system_hooks.h"

#include <windows.h>

namespace {
SYSTEM_HOOKS Hooks;
}  // namespace

void SetSystemHooks(const SYSTEM_HOOKS* hooks) { Hooks = *hooks; }

void RunFrameServicesHook() {
  if (Hooks.frameServices != nullptr) Hooks.frameServices();
}

void RunWaitServicesHook() {
  if (Hooks.waitServices != nullptr) Hooks.waitServices();
}

int RefreshWindowHook() { return Hooks.refreshWindow != nullptr ? Hooks.refreshWindow() : 0; }

int IsFlipInProgressHook() { return Hooks.isFlipInProgress != nullptr ? Hooks.isFlipInProgress() : 0; }

void GetWindowBaseSizeHook(int* width, int* height) {
  if (Hooks.windowBaseSize != nullptr) {
    Hooks.windowBaseSize(width, height);
    return;
  }
  *width = GetSystemMetrics(SM_CXSCREEN);
  *height = GetSystemMetrics(SM_CYSCREEN);
}
