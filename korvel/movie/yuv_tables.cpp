#include "movie/yuv_tables.h"

YUV_TO_RGB_TABLES YuvToRgbTables;

void BuildYuvToRgbTables() {
  for (int i = 0; i < 1280; i++) {
    int v = i - 512;
    YuvToRgbTables.clamp[i] = (uint8_t)(v < 0 ? 0 : (v > 255 ? 255 : v));
  }
  // Y from 16 to 235 and chroma centred on 128.
  for (int k = 0; k < 256; k++) {
    YuvToRgbTables.luma[k] = YUV_LUMA_FACTOR * (k - 16);
    YuvToRgbTables.crToRed[k] = YUV_CR_TO_RED_FACTOR * (k - 128);
    YuvToRgbTables.cbToGreen[k] = YUV_CB_TO_GREEN_FACTOR * (k - 128);
    YuvToRgbTables.crToGreen[k] = YUV_CR_TO_GREEN_FACTOR * (k - 128);
    YuvToRgbTables.cbToBlue[k] = YUV_CB_TO_BLUE_FACTOR * (k - 128);
  }
}
