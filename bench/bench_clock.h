// The clock the benchmark programs time with (the performance counter, in seconds) and the
// measures they share.
#pragma once
#include <windows.h>

#include <algorithm>
#include <vector>

inline double Seconds() {
  LARGE_INTEGER now, frequency;
  QueryPerformanceCounter(&now);
  QueryPerformanceFrequency(&frequency);
  return (double)now.QuadPart / (double)frequency.QuadPart;
}

// Runs work repeatedly for about seconds (at least two calls): seconds per call.
template <class F>
double SecondsPerCall(F work, double seconds) {
  int calls = 0;
  double start = Seconds(), elapsed = 0;
  do {
    work();
    calls++;
    elapsed = Seconds() - start;
  } while (calls < 2 || elapsed < seconds);
  return elapsed / calls;
}

inline double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

// A piece of work's rate beside memcpy's, both in Mpixel/s, and the work's share of memcpy.
struct RATE {
  double work, copy, share;
};

// Times work and copy (memcpy of the same pixels) in seven alternating rounds of about
// roundSeconds each, so that the machine's changes of speed during the run reach both alike and
// neither runs while the other is timed; the medians of the rates and of the per-round shares.
template <class F, class G>
RATE MeasureBesideCopy(F work, G copy, double pixelsPerCall, double roundSeconds) {
  work();  // warm-up: tables, caches, the page mapping of the images
  copy();
  std::vector<double> works, copies, shares;
  for (int round = 0; round < 7; round++) {
    works.push_back(pixelsPerCall / SecondsPerCall(work, roundSeconds) / 1e6);
    copies.push_back(pixelsPerCall / SecondsPerCall(copy, roundSeconds) / 1e6);
    shares.push_back(works.back() / copies.back());
  }
  return {Median(works), Median(copies), Median(shares)};
}
