// The CPU renderer's draw state and the product tables built once at graphics start-up.
#include "image/memimg_draw_state.h"

MEMIMG_DRAW_STATE MemImgDrawState;
BLEND_PRODUCT_TABLES BlendProductTables;

int BuildMemImgTables() {
  BLEND_PRODUCT_TABLES& t = BlendProductTables;
  for (int k = 0; k < 256; k++) {
    for (int j = 0; j < 256; j++) t.product[k * 256 + j] = j * k / 255;
    // The centre of row k sits at slot 255, so x = -255..255 fills slots 0..510; slot 511 is 0.
    for (int x = -255; x <= 255; x++) t.difference[k * 512 + 255 + x] = k * x / 255;
    t.difference[k * 512 + 511] = 0;
  }
  for (int w = 0; w < 64; w++)
    for (int m = 0; m < 64; m++)
      for (int n = 0; n < 64; n++) t.mix[w * 4096 + m * 64 + n] = (uint8_t)((m * w + n * (63 - w)) / 63);
  return 0;
}

int SetMemImgClipRect(const RECT* rect) {
  MemImgDrawState.clipRect = *rect;
  return 0;
}

int SetMemImgBlendMode(int blendMode, int blendParam) {
  MemImgDrawState.blendMode = blendMode;
  MemImgDrawState.blendParam = blendParam;
  return 0;
}

int SetMemImgTint(uint32_t tint) {
  MemImgDrawState.tint = tint;
  return 0;
}

void BuildBlendGraphWeights(int borderParam, int borderRange) {
  int range = borderRange + 1;
  int offset = borderParam * (65536 / range + 256) / 256;
  for (int i = 0; i < 256; i++) {
    int w = i * 256 / range - offset + 256;
    MemImgDrawState.BLEND_GRAPH_WEIGHT_TABLE[i] = (uint8_t)(w < 0 ? 0 : w > 255 ? 255 : w);
  }
}
