#include "filter/filter_downscale.h"

#include <cstdint>

#include "filter/filter_images.h"
#include "filter/filter_quad.h"
#include "filter/filter_resources.h"
#include "graphics/graphs/graph_handles.h"

int DownScaleDivisor(int divisor) { return divisor <= 2 ? 2 : divisor <= 4 ? 4 : 8; }

int RunDownScaleFilter(FILTER_PASS_RECORD* record, int divisor) {
  int d = DownScaleDivisor(divisor);
  int shift = d == 2 ? 2 : d == 4 ? 4 : 6;  // log2 of d x d
  if (FilterShadersUsable()) {
    if (!IsGraphHandleValid(record->passSource)) return -1;
    // Bilinear samples on the corners between four texels, (d / 2)^2 of them over the block
    // around the output pixel's centre: one for d = 2, four for 4, sixteen for 8.
    int tw = 1, th = 1;
    QueryGraphTextureSize(record->passSource, &tw, &th);
    int side = d / 2, registers = side * side;
    float constants[16 * 4] = {};
    for (int j = 0; j < side; j++)
      for (int i = 0; i < side; i++) {
        float* c = constants + (j * side + i) * 4;
        c[0] = (float)(2 * i - side + 1) / (float)tw;
        c[1] = (float)(2 * j - side + 1) / (float)th;
      }
    int shader = FILTER_SHADER_DOWN_SCALE_X2 + (d == 2 ? 0 : d == 4 ? 1 : 2);
    return RunFilterShaderPass(record, shader, constants, registers, 0, d, -1);
  }
  int w = (record->x2 - record->x1) / d, h = (record->y2 - record->y1) / d;
  if (w <= 0 || h <= 0) return 0;
  if (LoadFilterBaseImages(record, 1, w, h) != 0) return -1;
  const RASTER_IMAGE& s = record->sourceImage;
  const RASTER_IMAGE& out = record->destImage;
  for (int j = 0; j < h; j++) {
    uint8_t* dp = (uint8_t*)out.pixels + (size_t)j * out.pitch;
    for (int i = 0; i < w; i++, dp += 4) {
      int sum[4] = {0, 0, 0, 0};
      for (int y = 0; y < d; y++) {
        const uint8_t* sp = (const uint8_t*)s.pixels + (size_t)(j * d + y) * s.pitch + (size_t)i * d * 4;
        for (int x = 0; x < d; x++, sp += 4)
          for (int c = 0; c < 4; c++) sum[c] += sp[c];
      }
      for (int c = 0; c < 4; c++) dp[c] = (uint8_t)(sum[c] >> shift);
    }
  }
  return StoreFilterResultImage(record);
}
