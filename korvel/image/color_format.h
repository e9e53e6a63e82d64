// Pixel-layout descriptions: packed integer pixels given by channel masks, per-channel pixels,
// 8-bit palette indices with their palette, and DXT blocks left compressed.
#pragma once
#include <cstdint>

enum COLOR_FORMAT_KIND {
  COLOR_KIND_PLAIN = 0,
  COLOR_KIND_DXT1 = 1,
  COLOR_KIND_DXT2 = 2,
  COLOR_KIND_DXT3 = 3,
  COLOR_KIND_DXT4 = 4,
  COLOR_KIND_DXT5 = 5,
};

struct COLOR_FORMAT {
  uint8_t kind;          // COLOR_FORMAT_KIND; for DXT kinds the masks describe the decoded ARGB8
  uint8_t channelCount;  // per-channel layouts only
  uint8_t channelBits;   // bits of each channel, per-channel layouts only
  uint8_t floatFlag;     // per-channel layouts of floating-point channels
  uint8_t bytesPerPixel;
  uint8_t colorBits;  // bits per pixel; 8 for palettes; 4 or 8 compressed bits for DXT kinds
  uint8_t unusedShift;
  uint8_t unusedWidth;
  uint8_t redWidth, greenWidth, blueWidth, alphaWidth;
  uint8_t redShift, greenShift, blueShift, alphaShift;
  uint32_t redMask, greenMask, blueMask, alphaMask;
  uint32_t unusedMask;  // bits of the pixel in no channel; set in every packed colour code
  uint8_t palette[256][4];  // blue, green, red, fourth byte
};

int InitColorFormat(COLOR_FORMAT* fmt, int colorBits, uint32_t redMask, uint32_t greenMask, uint32_t blueMask,
                    uint32_t alphaMask, int channelCount, int channelBits, int floatFlag);
int InitPaletteFormat(COLOR_FORMAT* fmt);
int InitXRGB8Format(COLOR_FORMAT* fmt);
int InitARGB8Format(COLOR_FORMAT* fmt);
int InitRGB24Format(COLOR_FORMAT* fmt);
int InitGray8Format(COLOR_FORMAT* fmt);
COLOR_FORMAT* UpdateUnusedBitsMask(COLOR_FORMAT* fmt);
uint32_t PackColorCode(const COLOR_FORMAT* fmt, unsigned red, unsigned green, unsigned blue, unsigned alpha);
int UnpackColorCode(const COLOR_FORMAT* fmt, unsigned code, unsigned* red, unsigned* green, unsigned* blue,
                    unsigned* alpha);

// Shift and width of the lowest run of set bits of a mask (0 and 0 for an empty mask).
void MeasureMask(uint32_t mask, uint8_t* shift, uint8_t* width);
// The largest value of a field of the given width (0 for width 0).
inline uint32_t FieldMaximum(int width) { return width >= 32 ? 0xFFFFFFFFu : (width <= 0 ? 0u : (1u << width) - 1u); }
