#include "filter/filter_color.h"

#include <cstdint>
#include <cstring>

#include "core/strings.h"
#include "filter/filter_images.h"
#include "filter/filter_quad.h"
#include "filter/filter_resources.h"

namespace {
const float kLuminanceWeights[4] = {0.299f, 0.587f, 0.114f, 0.0f};

uint8_t ClampByte(int value) { return (uint8_t)(value < 0 ? 0 : value > 255 ? 255 : value); }

float ClampFloat(float value, float low, float high) { return value < low ? low : value > high ? high : value; }

// Four floats red, green, blue, alpha in 0-1 as the bytes of one ARGB8 pixel.
void ColorBytes(const float* color, uint8_t out[4]) {
  static const int kByteOfChannel[4] = {2, 1, 0, 3};
  for (int i = 0; i < 4; i++) out[kByteOfChannel[i]] = ClampByte(TruncDoubleToInt((double)color[i] * 255.0));
}

// Every pass of this file samples its source with point filtering and draws undivided.
int ShaderPass(FILTER_PASS_RECORD* record, int shader, const float* constants, int registers) {
  return RunFilterShaderPass(record, shader, constants, registers, 1, 1, -1);
}
}  // namespace

int RunMonoFilter(FILTER_PASS_RECORD* record, float cb, float cr) {
  float c = ClampFloat(cb / 200.0f, -0.5f, 0.5f), d = ClampFloat(cr / 200.0f, -0.5f, 0.5f);
  float red = 1.402f * d, green = -0.34414f * c - 0.71414f * d, blue = 1.772f * c;
  if (FilterShadersUsable()) {
    const float constants[8] = {kLuminanceWeights[0], kLuminanceWeights[1], kLuminanceWeights[2], 0.0f,
                                red, green, blue, 0.0f};
    return ShaderPass(record, FILTER_SHADER_MONO, constants, 2);
  }
  int r = TruncDoubleToInt((double)red * 255.0 * 4096.0), g = TruncDoubleToInt((double)green * 255.0 * 4096.0),
      b = TruncDoubleToInt((double)blue * 255.0 * 4096.0);
  return RunFilterCpuPass(record, 1, [=](const uint8_t* s, const uint8_t*, uint8_t* out) {
    int y = FilterLuminance(s);
    out[0] = ClampByte((y + b) >> 12);
    out[1] = ClampByte((y + g) >> 12);
    out[2] = ClampByte((y + r) >> 12);
    out[3] = s[3];
  });
}

int RunInvertFilter(FILTER_PASS_RECORD* record) {
  if (FilterShadersUsable()) return ShaderPass(record, FILTER_SHADER_INVERT, nullptr, 0);
  return RunFilterCpuPass(record, 1, [](const uint8_t* s, const uint8_t*, uint8_t* out) {
    for (int i = 0; i < 3; i++) out[i] = (uint8_t)(255 - s[i]);
    out[3] = s[3];
  });
}

int RunPremultipliedAlphaFilter(FILTER_PASS_RECORD* record) {
  if (FilterShadersUsable()) return ShaderPass(record, FILTER_SHADER_PREMULTIPLIED_ALPHA, nullptr, 0);
  return RunFilterCpuPass(record, 1, [](const uint8_t* s, const uint8_t*, uint8_t* out) {
    for (int i = 0; i < 3; i++) out[i] = (uint8_t)(s[i] * s[3] >> 8);
    out[3] = s[3];
  });
}

int RunTwoColorFilter(FILTER_PASS_RECORD* record, float threshold, const float* color1, const float* color2) {
  if (color1 == nullptr || color2 == nullptr) return -1;
  if (FilterShadersUsable()) {
    float constants[12] = {kLuminanceWeights[0], kLuminanceWeights[1], kLuminanceWeights[2], threshold / 255.0f};
    memcpy(constants + 4, color1, 4 * sizeof(float));
    memcpy(constants + 8, color2, 4 * sizeof(float));
    return ShaderPass(record, FILTER_SHADER_TWO_COLOR, constants, 3);
  }
  int limit = TruncDoubleToInt((double)threshold * 4096.0);
  uint8_t below[4], above[4];
  ColorBytes(color1, below);
  ColorBytes(color2, above);
  return RunFilterCpuPass(record, 1, [&](const uint8_t* s, const uint8_t*, uint8_t* out) {
    memcpy(out, FilterLuminance(s) < limit ? below : above, 4);
  });
}

int RunBrightClipFilter(FILTER_PASS_RECORD* record, int compareMode, float brightness, int fill,
                        const float* fillColor) {
  if (compareMode != BRIGHT_CLIP_LESS && compareMode != BRIGHT_CLIP_GREATER) return -1;
  if (fill && fillColor == nullptr) return -1;
  int less = compareMode == BRIGHT_CLIP_LESS;
  float level = ClampFloat(brightness / 255.0f, 0.0f, 1.0f);
  if (FilterShadersUsable()) {
    // Any non-zero fill flag fills, on this path as on the CPU path.
    static const int kShaders[2][2] = {{FILTER_SHADER_BRIGHT_CLIP_GREATER, FILTER_SHADER_BRIGHT_CLIP_FILL_GREATER},
                                       {FILTER_SHADER_BRIGHT_CLIP_LESS, FILTER_SHADER_BRIGHT_CLIP_FILL_LESS}};
    float constants[12] = {level, level, level, level, kLuminanceWeights[0], kLuminanceWeights[1],
                           kLuminanceWeights[2], 0.0f};
    if (fill) memcpy(constants + 8, fillColor, 4 * sizeof(float));
    return ShaderPass(record, kShaders[less][fill != 0], constants, 3);
  }
  int limit = TruncDoubleToInt(255.0 * level * 4096.0);
  uint8_t fillPixel[4] = {0, 0, 0, 0};
  if (fill) ColorBytes(fillColor, fillPixel);
  // The destination image holds the destination's pixels: a clipped pixel without fill keeps
  // its value there.
  return RunFilterCpuPass(record, 0, [&](const uint8_t* s, const uint8_t*, uint8_t* out) {
    int y = FilterLuminance(s);
    bool clipped = less ? y < limit : y > limit;
    if (!clipped)
      memcpy(out, s, 4);
    else if (fill)
      memcpy(out, fillPixel, 4);
  });
}
