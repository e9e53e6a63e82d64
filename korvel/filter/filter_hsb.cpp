#include "filter/filter_hsb.h"

#include <cstdint>

#include "core/strings.h"
#include "filter/filter_images.h"
#include "filter/filter_quad.h"
#include "filter/filter_resources.h"

namespace {
float Clamp(float value, float low, float high) { return value < low ? low : value > high ? high : value; }

int Max3(int a, int b, int c) { return a > b ? (a > c ? a : c) : (b > c ? b : c); }
int Min3(int a, int b, int c) { return a < b ? (a < c ? a : c) : (b < c ? b : c); }

// Hue in sextants of 256 steps (0-1535), saturation 0-256 and lightness 0-255 of the colour
// after brightness; writes the adjusted colour's red, green and blue.
struct HSB_RULE {
  int hueLock;  // mode 1: every pixel takes `hue`
  int hue, saturation, brightness;  // H, S and V in 1/256

  void Apply(const uint8_t* bgr, uint8_t* out) const {
    int c[3] = {bgr[2], bgr[1], bgr[0]};  // red, green, blue
    for (int& x : c) x = brightness > 0 ? x + ((255 - x) * brightness >> 8) : x * (brightness + 256) >> 8;
    int r = c[0], g = c[1], b = c[2];
    int max = Max3(r, g, b), min = Min3(r, g, b);
    int sum = max + min, lightness = sum >> 1, delta = max - min;
    int s = delta == 0 ? 0 : delta * 256 / (lightness <= 128 ? sum : 512 - sum);
    int h = hue;
    if (!hueLock) {
      h = 0;
      if (delta != 0) {
        int cr = (max - r) * 256 / delta, cg = (max - g) * 256 / delta, cb = (max - b) * 256 / delta;
        h = r == max ? cb - cg : g == max ? 512 + cr - cb : 1024 + cg - cr;
        if (h < 0) h += 1536;
      }
      h += hue;
      if (h >= 1536) h -= 1536;
      else if (h < 0) h += 1536;
    }
    int scaled = (saturation + 256) * s >> 8;
    if (scaled > 256) scaled = 256;
    int f = h & 255, pure[3];
    switch (h >> 8) {
      case 0: pure[0] = 255, pure[1] = f, pure[2] = 0; break;
      case 1: pure[0] = 255 - f, pure[1] = 255, pure[2] = 0; break;
      case 2: pure[0] = 0, pure[1] = 255, pure[2] = f; break;
      case 3: pure[0] = 0, pure[1] = 255 - f, pure[2] = 255; break;
      case 4: pure[0] = f, pure[1] = 0, pure[2] = 255; break;
      default: pure[0] = 255, pure[1] = 0, pure[2] = 255 - f; break;
    }
    for (int i = 0; i < 3; i++) {
      int x = pure[i];
      x += (128 - x) * (256 - scaled) >> 8;
      x = lightness <= 128 ? x * 2 * lightness >> 8 : x + ((255 - x) * (lightness - 128) * 2 >> 8);
      out[2 - i] = (uint8_t)x;
    }
  }
};
}  // namespace

int RunHsbFilter(FILTER_PASS_RECORD* record, int mode, float hue, float saturation, float brightness) {
  float e = mode == 0 ? Clamp(hue / 360.0f, -0.5f, 0.5f) : Clamp(hue / 360.0f, 0.0f, 1.0f);
  float h = e * 6.0f;
  float g = Clamp(saturation / 100.0f, -1.0f, 1.0f);
  float gs = g > 0.0f ? g * 5.0f : g;
  // Brightness beyond list values of -255..255 would push the channels out of 0-255.
  float v = Clamp(brightness / 100.0f, -1.0f, 1.0f);
  if (FilterShadersUsable()) {
    const float constants[12] = {h, gs, v, 0.0f, 0.5f, 0.5f, 0.5f, 0.5f, 1.0f, 1.0f, 1.0f, 1.0f};
    int shader = mode == 1                 ? FILTER_SHADER_HSB_HUE_LOCK
                 : record->passIndex == 0 ? FILTER_SHADER_HSB_RGB_TO_HSB
                                          : FILTER_SHADER_HSB_HSB_TO_RGB;
    return RunFilterShaderPass(record, shader, constants, 3, 1, 1, -1);
  }
  HSB_RULE rule;
  rule.hueLock = mode == 1;
  rule.hue = TruncFloatToInt(h * 256.0f);
  rule.saturation = TruncFloatToInt(gs * 256.0f);
  rule.brightness = TruncFloatToInt(v * 256.0f);
  if (rule.hueLock && rule.hue >= 1536) rule.hue -= 1536;
  return RunFilterCpuPass(record, 1, [&rule](const uint8_t* s, const uint8_t*, uint8_t* out) {
    rule.Apply(s, out);
    out[3] = s[3];
  });
}
