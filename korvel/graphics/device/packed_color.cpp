// Packed screen colours: integers in the pixel layout of the screen (RGB565 on a 16-bit
// screen, 32-bit XRGB with the unused byte set otherwise).
#include "graphics/device/screen.h"
#include "korvel.h"

namespace {
// scale = ceil(255 * 65536 / (2^width - 1)): (value * scale) >> 16 is value * 255 / (2^width - 1)
// truncated for every value of a channel up to 8 bits wide, without a division per call (the
// rounding error stays below the gap between the quotient's fraction and the next integer).
struct CHANNELS {
  int width[3], shift[3];
  unsigned int scale[3];
  unsigned int unused;
};
constexpr unsigned int UnpackScale(int width) { return (255u * 65536u + (1u << width) - 2) / ((1u << width) - 1); }
const CHANNELS k565 = {{5, 6, 5}, {11, 5, 0}, {UnpackScale(5), UnpackScale(6), UnpackScale(5)}, 0};
const CHANNELS kXrgb = {{8, 8, 8}, {16, 8, 0}, {UnpackScale(8), UnpackScale(8), UnpackScale(8)}, 0xFF000000u};

// The colour bits are 0 until a screen mode is set: a colour packed then has the 32-bit layout.
const CHANNELS& ScreenChannels() { return ScreenState.colorBits == 16 ? k565 : kXrgb; }
}  // namespace

unsigned int PackScreenColor(int red, int green, int blue) {
  const CHANNELS& c = ScreenChannels();
  int values[3] = {red & 0xFF, green & 0xFF, blue & 0xFF};
  unsigned int result = c.unused;
  for (int i = 0; i < 3; i++) result += (unsigned int)(values[i] >> (8 - c.width[i])) << c.shift[i];
  return result;
}

int UnpackScreenColor(unsigned int color, int* red, int* green, int* blue) {
  const CHANNELS& c = ScreenChannels();
  int* out[3] = {red, green, blue};
  for (int i = 0; i < 3; i++) {
    unsigned int value = (color >> c.shift[i]) & ((1u << c.width[i]) - 1);
    if (out[i] != nullptr) *out[i] = (int)((value * c.scale[i]) >> 16);
  }
  return 0;
}

#include "graphics/device/float_color.h"

FLOAT_COLOR* MakeFloatColor(FLOAT_COLOR* out, float red, float green, float blue, float alpha) {
  out->red = red;
  out->green = green;
  out->blue = blue;
  out->alpha = alpha;
  return out;
}
