#include "system/base/timers.h"

#include <windows.h>

#include "core/strings.h"
#include "core/winapi.h"
#include "system/base/window_state.h"

// counter x 1,000,000 / frequency, the product formed in 128 bits so that it cannot overflow
// however long the machine has run.
long long GetMicrosecondCount() {
  if (WinApi.winmm.module == nullptr || WinApi.winmm.timeGetTime == nullptr) return -1;
  if (WindowState.usePerformanceCounter && WindowState.counterFrequency.QuadPart > 0) {
    LARGE_INTEGER counter;
    QueryPerformanceCounter(&counter);
    UINT128 product;
    MultiplyU64To128((uint64_t)counter.QuadPart, 1000000u, &product);
    uint64_t quotient;
    if (DivideU128ByU64(&product, (uint64_t)WindowState.counterFrequency.QuadPart, &quotient) == 0)
      return (long long)quotient;
  }
  return (long long)WinApi.winmm.timeGetTime() * 1000;
}
