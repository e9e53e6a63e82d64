// The clock the benchmark programs time with: the performance counter, in seconds.
#pragma once
#include <windows.h>

inline double Seconds() {
  LARGE_INTEGER now, frequency;
  QueryPerformanceCounter(&now);
  QueryPerformanceFrequency(&frequency);
  return (double)now.QuadPart / (double)frequency.QuadPart;
}
