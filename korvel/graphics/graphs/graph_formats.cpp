#include "graphics/graphs/graph_formats.h"

namespace {
struct FORMAT_TABLE {
  int built;
  COLOR_FORMAT formats[STANDARD_TEXTURE_FORMAT_COUNT];
};
FORMAT_TABLE FormatTable;

void BuildFormatTable() {
  COLOR_FORMAT* f = FormatTable.formats;
  InitColorFormat(&f[0], 16, 0xF800, 0x7E0, 0x1F, 0, 0, 0, 0);
  InitColorFormat(&f[1], 32, 0xFF0000, 0xFF00, 0xFF, 0, 0, 0, 0);
  InitColorFormat(&f[2], 16, 0x0F00, 0x00F0, 0x000F, 0xF000, 0, 0, 0);
  InitColorFormat(&f[3], 32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000u, 0, 0, 0);
  InitColorFormat(&f[4], 16, 0x7C00, 0x03E0, 0x001F, 0x8000, 0, 0, 0);
  f[5] = f[3];
  for (int kind = 1; kind <= 5; kind++) {
    f[5 + kind] = f[3];
    f[5 + kind].kind = (uint8_t)kind;
    f[5 + kind].colorBits = kind == 1 ? 4 : 8;
  }
  f[11] = f[0];
  f[12] = f[1];
  f[13] = f[3];
  struct { int index, count, bits, isFloat; } channels[] = {
      {14, 4, 16, 0}, {15, 4, 16, 1}, {16, 4, 32, 1}, {17, 1, 8, 0}, {18, 1, 16, 0}, {19, 1, 16, 1},
      {20, 1, 32, 1}, {21, 2, 8, 0},  {22, 2, 16, 0}, {23, 2, 16, 1}, {24, 2, 32, 1},
  };
  for (const auto& c : channels) InitColorFormat(&f[c.index], 0, 0, 0, 0, 0, c.count, c.bits, c.isFloat);
  FormatTable.built = 1;
}

// Channel bits decide, or the colour bits when the channel bits are 0.
bool Below(const TEXTURE_DESC* d, int channelLimit, int colorLimit) {
  return d->channelBits != 0 ? d->channelBits < channelLimit : d->colorBits < colorLimit;
}
}  // namespace

int ClassifyTextureDesc(const TEXTURE_DESC* d) {
  if (d->compressedKind >= 1 && d->compressedKind <= 5) return 5 + d->compressedKind;
  if (d->channelCount == 1) {
    if (d->floatChannels) return Below(d, 32, 32) ? 19 : 20;
    return Below(d, 16, 16) ? 17 : 18;
  }
  if (d->channelCount == 2) {
    if (d->floatChannels) return Below(d, 32, 64) ? 23 : 24;
    return Below(d, 16, 32) ? 21 : 22;
  }
  if (d->floatChannels) {
    if (d->channelBits == 0) return 15 + (d->colorBits >> 7);
    return d->channelBits < 32 ? 15 : 16;
  }
  if (d->channelBits > 8) return 14;
  bool bits16 = d->colorBits == 16;
  if (d->drawable) return !d->alpha && !d->alphaTest ? (bits16 ? 11 : 12) : 13;
  if (d->alpha) return bits16 ? 2 : 3;
  if (d->alphaTest) return bits16 ? 4 : 5;
  return bits16 ? 0 : 1;
}

const COLOR_FORMAT* GetTextureColorFormat(int index) {
  if (index < 0 || index >= STANDARD_TEXTURE_FORMAT_COUNT) return nullptr;
  if (!FormatTable.built) BuildFormatTable();
  return &FormatTable.formats[index];
}

const COLOR_FORMAT* PickTextureColorFormat(int alpha, int alphaTest, int bits32, int drawable) {
  TEXTURE_DESC desc = {};
  desc.alpha = (uint8_t)(alpha != 0);
  desc.alphaTest = (uint8_t)(alphaTest != 0 && !alpha);
  desc.colorBits = (uint8_t)(bits32 ? 32 : 16);
  desc.drawable = (uint8_t)(drawable != 0);
  return GetTextureColorFormat(ClassifyTextureDesc(&desc));
}
