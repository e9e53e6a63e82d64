// What the pump (system/base/pump.cpp) runs for the subsystems: the per-frame services after
// its message loop and the services it keeps running while it waits for the window. The
// library start hands both to the pump through SetSystemHooks.
#pragma once

void RunPumpFrameServices();
void RunPumpWaitServices();
