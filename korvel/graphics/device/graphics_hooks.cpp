#include "graphics/device/graphics_hooks.h"

namespace {
GRAPHICS_HOOKS graphicsHooks;
}  // namespace

void SetGraphicsHooks(const GRAPHICS_HOOKS* hooks) {
  if (hooks != nullptr) graphicsHooks = *hooks;
  else graphicsHooks = GRAPHICS_HOOKS{};
}

int IsScreenLogShownByHook() {
  return graphicsHooks.isScreenLogShown != nullptr ? graphicsHooks.isScreenLogShown() : 0;
}

int DrawScreenLogByHook() { return graphicsHooks.drawScreenLog != nullptr ? graphicsHooks.drawScreenLog() : -1; }
