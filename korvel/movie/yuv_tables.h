// The lookup tables of the Theora decoder's YUV to RGB conversion: limited-range BT.601 in
// 1/16384 units (14 fractional bits), filled once at library start, and the conversion of a
// 4:2:0 frame they define.
#pragma once
#include <cstdint>

// The factors of the tables (1.164, 1.596, -0.391, -0.813 and 2.018 in 1/16384 units).
enum {
  YUV_LUMA_FACTOR = 19070,
  YUV_CR_TO_RED_FACTOR = 26148,
  YUV_CB_TO_GREEN_FACTOR = -6406,
  YUV_CR_TO_GREEN_FACTOR = -13320,
  YUV_CB_TO_BLUE_FACTOR = 33062,
};

struct YUV_TO_RGB_TABLES {
  uint8_t clamp[1280];  // index value + 512 (-512 .. 767) clamped to 0 .. 255
  int32_t luma[256];    // 19070 x (Y - 16)
  int32_t crToRed[256];     // 26148 x (Cr - 128)
  int32_t cbToGreen[256];   // -6406 x (Cb - 128)
  int32_t crToGreen[256];   // -13320 x (Cr - 128)
  int32_t cbToBlue[256];    // 33062 x (Cb - 128)
};
extern YUV_TO_RGB_TABLES YuvToRgbTables;

void BuildYuvToRgbTables();

// One channel: the luma entry plus the block's chroma term, divided toward zero and clamped.
inline uint8_t ClampYuvChannel(int32_t luma, int32_t chroma) {
  return YuvToRgbTables.clamp[(luma + chroma) / 16384 + 512];
}

// The planes of a 4:2:0 frame: chroma sample (i, j) covers the luma 2 x 2 block at (2i, 2j).
struct YUV420_PLANES {
  const uint8_t* y;
  int yStride;
  const uint8_t* cb;
  const uint8_t* cr;
  int chromaStride;
};

enum YUV_CONVERT_PATH {
  YUV_CONVERT_TABLES = 0,  // one table lookup per luma sample and three per block: the definition
  YUV_CONVERT_SSE2 = 1,    // eight pixels per vector step, the same bytes for every Y, Cb, Cr
};

// Writes the width / 2 x height / 2 whole 2 x 2 blocks of the frame as XRGB8 rows (bytes B, G,
// R, 255) at the given pitch; an odd last column or row is left as it is.
void ConvertYuv420ToXrgb8(const YUV420_PLANES* planes, int width, int height, uint8_t* out, int outPitch,
                          YUV_CONVERT_PATH path);
