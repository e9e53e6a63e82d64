// The library's clocks: milliseconds from the multimedia timer (kept in the core, see
// core/clock.cpp), microseconds from the performance counter when the start-up chose it (else
// the multimedia timer).
#pragma once
#include <cstdint>

#include "korvel.h"  // GetMillisecondCount, GetMicrosecondCount
