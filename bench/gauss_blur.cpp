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

// Each round of the alternating measure times the blur, then the copy, for about this long.
const double kRoundSeconds = 0.3;

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
        plainCopy, pixels, kRoundSeconds);
    RATE rows = MeasureBesideCopy([&]() { BlurGaussRows(&in, &middle, n, k.data()); }, plainCopy, pixels, kRoundSeconds);
    RATE columns = MeasureBesideCopy([&]() { BlurGaussColumns(&middle, &out, n, k.data()); }, plainCopy, pixels, kRoundSeconds);
    printf("%-8d %8.2f (%.5f)      %8.2f (%.5f)      %8.2f (%.5f)      %.0f\n", 4 * n - 3, both.work, both.share,
           rows.work, rows.share, columns.work, columns.share, both.copy);
  }
  for (RASTER_IMAGE* image : {&in, &middle, &out, &copy}) DisposeImage(image);
  return 0;
}
