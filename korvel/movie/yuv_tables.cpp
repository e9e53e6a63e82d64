#include "movie/yuv_tables.h"

YUV_TO_RGB_TABLES YuvToRgbTables;

void BuildYuvToRgbTables() {
  for (int i = 0; i < 1280; i++) {
    int v = i - 512;
    YuvToRgbTables.clamp[i] = (uint8_t)(v < 0 ? 0 : (v > 255 ? 255 : v));
  }
  // Y from 16 to 235 and chroma centred on 128: 1.164, 1.596, -0.391, -0.813 and 2.018.
  for (int k = 0; k < 256; k++) {
    YuvToRgbTables.luma[k] = 19070 * (k - 16);
    YuvToRgbTables.crToRed[k] = 26148 * (k - 128);
    YuvToRgbTables.cbToGreen[k] = -6406 * (k - 128);
    YuvToRgbTables.crToGreen[k] = -13320 * (k - 128);
    YuvToRgbTables.cbToBlue[k] = 33062 * (k - 128);
  }
}
