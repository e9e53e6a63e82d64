// Graphics' calls up to the layer above it: the on-screen log (font). The library's start sets
// them; unset, the flip draws no log.
#pragma once
struct GRAPHICS_HOOKS {
  // 1 while the on-screen log is shown; draws it over the finished frame.
  int (*isScreenLogShown)();
  int (*drawScreenLog)();
};
// Null clears the table.
void SetGraphicsHooks(const GRAPHICS_HOOKS* hooks);

// The hooks as graphics calls them: 0 (not shown) or -1 (nothing done) while unset.
int IsScreenLogShownByHook();
int DrawScreenLogByHook();
