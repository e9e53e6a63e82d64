// The millisecond clock of the multimedia timer. It lives in the core, below the system layer's
// other clocks, because the log stamps its lines with it.
#include "core/winapi.h"
#include "korvel.h"  // GetMillisecondCount

int GetMillisecondCount() {
  if (WinApi.winmm.module == nullptr || WinApi.winmm.timeGetTime == nullptr) return -1;
  return (int)(WinApi.winmm.timeGetTime() & 0x7FFFFFFFu);
}
