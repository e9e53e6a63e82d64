// The lookup tables of the Theora decoder's YUV to RGB conversion: limited-range BT.601 in
// 1/16384 units (14 fractional bits), filled once at library start.
#pragma once
#include <cstdint>

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
