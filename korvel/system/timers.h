// The library's clocks.
#pragma once
#include <cstdint>

int GetMillisecondCount();  // timeGetTime masked to 31 bits; -1 without winmm
