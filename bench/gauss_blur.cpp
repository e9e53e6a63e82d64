// Speed of the CPU Gaussian blur (the filter's CPU pass: rows into the intermediate image the
// filter makes, then columns into the result) on a 1024 x 1024 ARGB8 image, for the three kernel widths (13, 29
// and 61 taps), in Mpixel/s, beside memcpy of the same bytes (one image's pixels) timed in
// rounds alternating with the blur, and the blur's share of that memcpy; also each direction
// alone. Run by hand: cd build && ./wine-run bench_gauss_blur.exe
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

#include "bench_clock.h"
#include "core/strings.h"
#include "filter/filter_gauss_cpu.h"
#include "image/raster_image.h"

namespace {

// Runs pass repeatedly for about seconds (at least two calls); megapixels per second.
template <class F>
double Measure(F pass, double pixelsPerCall, double seconds) {
  int calls = 0;
  double start = Seconds(), elapsed = 0;
  do {
    pass();
    calls++;
    elapsed = Seconds() - start;
  } while (calls < 2 || elapsed < seconds);
  return pixelsPerCall * calls / elapsed / 1e6;
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

struct RATE {
  double pass, copy, share;
};

// Times pass and copy (memcpy of the same pixels) in seven alternating rounds of about 0.3 s
// each, so that the machine's changes of speed during the run reach both alike and neither runs
// while the other is timed; the medians of the rates and of the per-round shares.
template <class F, class G>
RATE MeasureBesideCopy(F pass, G copy, double pixelsPerCall) {
  pass();  // warm-up: the page mapping of the images
  copy();
  std::vector<double> passes, copies, shares;
  for (int round = 0; round < 7; round++) {
    passes.push_back(Measure(pass, pixelsPerCall, 0.3));
    copies.push_back(Measure(copy, pixelsPerCall, 0.3));
    shares.push_back(passes.back() / copies.back());
  }
  return {Median(passes), Median(copies), Median(shares)};
}

// The filter's 16.16 weights for strength p (list value / 100).
std::vector<int> Weights(int n, float p) {
  std::vector<float> w(n);
  float sum = 0.0f;
  for (int j = 0; j < n; j++) {
    w[j] = ExpFloat((float)(j * j) * -0.5f / p);
    sum = j == 0 ? sum + w[j] : sum + 2.0f * w[j];
  }
  std::vector<int> k(n);
  for (int j = 0; j < n; j++) k[j] = TruncFloatToInt(w[j] / sum * 65536.0f);
  return k;
}
}  // namespace

int main() {
  const int size = 1024;
  RASTER_IMAGE in, middle, out, copy;
  if (AllocARGB8Image(size, size, &in) || AllocGaussIntermediate(size, size, &middle) || AllocARGB8Image(size, size, &out) ||
      AllocARGB8Image(size, size, &copy)) {
    printf("no memory for the images\n");
    return 1;
  }
  uint32_t v = 12345;
  for (int y = 0; y < size; y++)
    for (int x = 0; x < size * 4; x++) {
      v = v * 1664525u + 1013904223u;
      ((uint8_t*)in.pixels)[(size_t)y * in.pitch + x] = (uint8_t)(v >> 24);
    }
  const size_t bytes = (size_t)in.pitch * size;
  const double pixels = (double)size * size;
  auto plainCopy = [&]() { memcpy(copy.pixels, in.pixels, bytes); };
  printf("CPU Gaussian blur of a %d x %d ARGB8 image, Mpixel/s (share of memcpy of the same pixels)\n", size, size);
  printf("%-8s %-22s %-22s %-22s %s\n", "taps", "both directions", "rows", "columns", "memcpy");
  for (int n : {4, 8, 16}) {
    std::vector<int> k = Weights(n, 10.0f);  // strength parameter 1000
    RATE both = MeasureBesideCopy(
        [&]() {
          BlurGaussRows(&in, &middle, n, k.data());
          BlurGaussColumns(&middle, &out, n, k.data());
        },
        plainCopy, pixels);
    RATE rows = MeasureBesideCopy([&]() { BlurGaussRows(&in, &middle, n, k.data()); }, plainCopy, pixels);
    RATE columns = MeasureBesideCopy([&]() { BlurGaussColumns(&middle, &out, n, k.data()); }, plainCopy, pixels);
    printf("%-8d %8.2f (%.5f)      %8.2f (%.5f)      %8.2f (%.5f)      %.0f\n", 4 * n - 3, both.pass, both.share,
           rows.pass, rows.share, columns.pass, columns.share, both.copy);
  }
  for (RASTER_IMAGE* image : {&in, &middle, &out, &copy}) DisposeImage(image);
  return 0;
}
