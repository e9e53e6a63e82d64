#include "image/color_format.h"

#include <cstring>

namespace {
// The 8-bit red, green and blue at shifts 16, 8 and 0 that every common layout shares, with
// the given size, alpha and unused bits. Unused shift and width and the palette stay as they are.
void SetCommonLayout(COLOR_FORMAT* fmt, int bytes, int bits, int alphaWidth, uint32_t unusedMask) {
  fmt->kind = COLOR_KIND_PLAIN;
  fmt->channelCount = 0;
  fmt->channelBits = 0;
  fmt->floatFlag = 0;
  fmt->bytesPerPixel = (uint8_t)bytes;
  fmt->colorBits = (uint8_t)bits;
  fmt->redWidth = fmt->greenWidth = fmt->blueWidth = 8;
  fmt->redShift = 16;
  fmt->greenShift = 8;
  fmt->blueShift = 0;
  fmt->redMask = 0xFF0000;
  fmt->greenMask = 0xFF00;
  fmt->blueMask = 0xFF;
  fmt->alphaWidth = (uint8_t)alphaWidth;
  fmt->alphaShift = alphaWidth != 0 ? 24 : 0;
  fmt->alphaMask = alphaWidth != 0 ? 0xFF000000u : 0;
  fmt->unusedMask = unusedMask;
}

uint32_t LowBits(int bits) { return bits >= 32 ? 0xFFFFFFFFu : (1u << bits) - 1u; }

// Truncates an 8-bit channel value to a field of the given width at the given shift.
uint32_t PackChannel(unsigned value, int width, int shift) {
  if (width <= 0 || width > 8) return 0;
  return ((value & 0xFFu) >> (8 - width)) << shift;
}

unsigned ScaleField(uint32_t code, uint32_t mask, int shift, int width) {
  if (width == 0) return 0;
  uint64_t field = (code & mask) >> shift;
  return (unsigned)(field * 255u / FieldMaximum(width));
}
}  // namespace

void MeasureMask(uint32_t mask, uint8_t* shift, uint8_t* width) {
  int s = 0, w = 0;
  if (mask != 0) {
    while (((mask >> s) & 1u) == 0) s++;
    while (s + w < 32 && ((mask >> (s + w)) & 1u) != 0) w++;
  }
  *shift = (uint8_t)s;
  *width = (uint8_t)w;
}

int InitColorFormat(COLOR_FORMAT* fmt, int colorBits, uint32_t redMask, uint32_t greenMask, uint32_t blueMask,
                    uint32_t alphaMask, int channelCount, int channelBits, int floatFlag) {
  memset(fmt, 0, sizeof(*fmt));
  if (channelCount != 0 && channelBits != 0) {
    fmt->channelCount = (uint8_t)channelCount;
    fmt->channelBits = (uint8_t)channelBits;
    fmt->floatFlag = (uint8_t)floatFlag;
    fmt->bytesPerPixel = (uint8_t)(channelCount * channelBits / 8);
    return 0;
  }
  fmt->bytesPerPixel = (uint8_t)(colorBits / 8);
  fmt->colorBits = (uint8_t)colorBits;
  fmt->redMask = redMask;
  fmt->greenMask = greenMask;
  fmt->blueMask = blueMask;
  fmt->alphaMask = alphaMask;
  fmt->unusedMask = LowBits(colorBits) & ~(redMask | greenMask | blueMask | alphaMask);
  MeasureMask(redMask, &fmt->redShift, &fmt->redWidth);
  MeasureMask(greenMask, &fmt->greenShift, &fmt->greenWidth);
  MeasureMask(blueMask, &fmt->blueShift, &fmt->blueWidth);
  MeasureMask(alphaMask, &fmt->alphaShift, &fmt->alphaWidth);
  MeasureMask(fmt->unusedMask, &fmt->unusedShift, &fmt->unusedWidth);
  return 0;
}

int InitPaletteFormat(COLOR_FORMAT* fmt) {
  SetCommonLayout(fmt, 1, 8, 0, 0xFF000000u);
  return 0;
}

int InitXRGB8Format(COLOR_FORMAT* fmt) {
  SetCommonLayout(fmt, 4, 32, 0, 0xFF000000u);
  fmt->unusedShift = 24;
  fmt->unusedWidth = 8;
  return 0;
}

int InitARGB8Format(COLOR_FORMAT* fmt) {
  SetCommonLayout(fmt, 4, 32, 8, 0);
  return 0;
}

int InitRGB24Format(COLOR_FORMAT* fmt) {
  SetCommonLayout(fmt, 3, 24, 0, 0);
  return 0;
}

int InitGray8Format(COLOR_FORMAT* fmt) {
  SetCommonLayout(fmt, 1, 8, 0, 0xFF000000u);
  for (int i = 0; i < 256; i++) {
    fmt->palette[i][0] = fmt->palette[i][1] = fmt->palette[i][2] = (uint8_t)i;
    fmt->palette[i][3] = 0;
  }
  return 0;
}

COLOR_FORMAT* UpdateUnusedBitsMask(COLOR_FORMAT* fmt) {
  if (fmt->redWidth + fmt->greenWidth + fmt->blueWidth + fmt->alphaWidth == fmt->colorBits) {
    fmt->unusedMask = 0;
  } else {
    fmt->unusedMask = LowBits(fmt->colorBits) & ~(fmt->redMask | fmt->greenMask | fmt->blueMask | fmt->alphaMask);
  }
  return fmt;
}

uint32_t PackColorCode(const COLOR_FORMAT* fmt, unsigned red, unsigned green, unsigned blue, unsigned alpha) {
  if (fmt->bytesPerPixel > 1) {
    uint32_t code = PackChannel(blue, fmt->blueWidth, fmt->blueShift) + PackChannel(green, fmt->greenWidth, fmt->greenShift) +
                    PackChannel(red, fmt->redWidth, fmt->redShift) + fmt->unusedMask;
    if (fmt->alphaWidth != 0) code += PackChannel(alpha, fmt->alphaWidth, fmt->alphaShift);
    return code;
  }
  // Palette: the first entry nearest in squared distance.
  uint32_t best = 0;
  int64_t bestDistance = -1;
  for (int i = 0; i < 256; i++) {
    int64_t db = (int64_t)fmt->palette[i][0] - (int64_t)blue;
    int64_t dg = (int64_t)fmt->palette[i][1] - (int64_t)green;
    int64_t dr = (int64_t)fmt->palette[i][2] - (int64_t)red;
    int64_t distance = db * db + dg * dg + dr * dr;
    if (bestDistance < 0 || distance < bestDistance) {
      bestDistance = distance;
      best = (uint32_t)i;
    }
  }
  return best;
}

int UnpackColorCode(const COLOR_FORMAT* fmt, unsigned code, unsigned* red, unsigned* green, unsigned* blue,
                    unsigned* alpha) {
  if (fmt->redWidth == 8 && fmt->greenWidth == 8 && fmt->blueWidth == 8) {
    if (red) *red = (code & fmt->redMask) >> fmt->redShift;
    if (green) *green = (code & fmt->greenMask) >> fmt->greenShift;
    if (blue) *blue = (code & fmt->blueMask) >> fmt->blueShift;
    if (alpha && fmt->alphaWidth == 8) *alpha = (code & fmt->alphaMask) >> fmt->alphaShift;
    else if (alpha && fmt->alphaWidth != 0) *alpha = ScaleField(code, fmt->alphaMask, fmt->alphaShift, fmt->alphaWidth);
    return 0;
  }
  if (red) *red = ScaleField(code, fmt->redMask, fmt->redShift, fmt->redWidth);
  if (green) *green = ScaleField(code, fmt->greenMask, fmt->greenShift, fmt->greenWidth);
  if (blue) *blue = ScaleField(code, fmt->blueMask, fmt->blueShift, fmt->blueWidth);
  if (alpha) *alpha = ScaleField(code, fmt->alphaMask, fmt->alphaShift, fmt->alphaWidth);
  return 0;
}
