#include "timers.h"

#include "core/winapi.h"

int GetMillisecondCount() {
  if (WinApi.winmm.module == nullptr || WinApi.winmm.timeGetTime == nullptr) return -1;
  return (int)(WinApi.winmm.timeGetTime() & 0x7FFFFFFFu);
}
