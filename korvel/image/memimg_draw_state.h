// The options the CPU renderer reads instead of arguments (clip rectangle, blend mode and
// parameter, tint, blend-graph weights) and the product tables its blend loops look up.
#pragma once
#include <windows.h>
#include <cstdint>

struct MEMIMG_DRAW_STATE {
  uint8_t BLEND_GRAPH_WEIGHT_TABLE[256];
  RECT clipRect;    // right and bottom exclusive
  int blendMode;    // the public blend-mode number
  int blendParam;   // 0-255
  uint32_t tint;    // 0x00RRGGBB, 0xFFFFFF = none
};
extern MEMIMG_DRAW_STATE MemImgDrawState;

struct BLEND_PRODUCT_TABLES {
  int32_t product[256 * 256];      // [k * 256 + j] = j * k / 255
  int32_t difference[256 * 512];   // row k: [k * 512 + 255 + x] = k * x / 255, x = -255..255
  uint8_t mix[64 * 64 * 64];       // [t * 4096 + m * 64 + n] = (m * t + n * (63 - t)) / 63
};
extern BLEND_PRODUCT_TABLES BlendProductTables;

// Entry of the difference table for row k and difference x (-255..255).
inline int32_t BlendDifference(int k, int x) { return BlendProductTables.difference[k * 512 + 255 + x]; }

int BuildMemImgTables();
int SetMemImgClipRect(const RECT* rect);
int SetMemImgBlendMode(int blendMode, int blendParam);
int SetMemImgTint(uint32_t tint);
void BuildBlendGraphWeights(int borderParam, int borderRange);
