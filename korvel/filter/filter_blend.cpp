#include "filter/filter_blend.h"

#include <cstdint>
#include <cstring>

#include "core/strings.h"
#include "filter/filter_images.h"
#include "filter/filter_quad.h"
#include "filter/filter_resources.h"

namespace {
int Min(int a, int b) { return a < b ? a : b; }
int Max(int a, int b) { return a > b ? a : b; }

// Target colours of types 0 and 2-13 for one channel; s and b are the source and blend bytes.
struct Normal { static int T(int, int b) { return b; } };
struct Multiple { static int T(int s, int b) { return b * s >> 8; } };
struct Difference { static int T(int s, int b) { return Max(s - b, 0); } };
struct Add { static int T(int s, int b) { return Min(s + b, 255); } };
struct Screen { static int T(int s, int b) { return 255 - ((255 - b) * (255 - s) >> 8); } };
int OverlayRule(int s, int b, int dark) {
  return dark ? 2 * s * b >> 8 : Min((2 * ((256 - s) * b + 256 * s) >> 8) - 255, 255);
}
struct Overlay { static int T(int s, int b) { return OverlayRule(s, b, s < 128); } };
struct Dodge { static int T(int s, int b) { return b == 255 ? 255 : Min(256 * s / (255 - b), 255); } };
struct Burn { static int T(int s, int b) { return Max(255 + 256 * (s - 255) / (b + 1), 0); } };
struct Darken { static int T(int s, int b) { return Min(s, b); } };
struct Lighten { static int T(int s, int b) { return Max(s, b); } };
struct SoftLight {
  static int T(int s, int b) {
    float x = b < 128 ? 2.0f * (1.0f - (float)b / 255.0f) : 0.5f / ((float)b / 255.0f);
    int t = TruncFloatToInt(PowFloat((float)s / 255.0f, x) * 255.0f);
    return Max(Min(t, 255), 0);
  }
};
struct HardLight { static int T(int s, int b) { return OverlayRule(s, b, b < 128); } };
struct Exclusion { static int T(int s, int b) { return Min(2 * ((128 - s) * b + 128 * s) >> 8, 255); } };

// Types 0 and 2-13: the target colour weighted by the blend alpha times the ratio; source alpha.
template <typename MODE>
struct Weighted {
  static void Pixel(const uint8_t* s, const uint8_t* b, int r, uint8_t* out) {
    int k = b[3] * r;
    for (int c = 0; c < 3; c++) out[c] = (uint8_t)((s[c] * 65536 + (MODE::T(s[c], b[c]) - s[c]) * k) >> 16);
    out[3] = s[3];
  }
};

// The blend pixel over the source, alpha included.
struct NormalAlpha {
  static void Pixel(const uint8_t* s, const uint8_t* b, int r, uint8_t* out) {
    uint32_t a = (uint32_t)(b[3] * r >> 8);
    uint32_t d = s[3] * (256 - a) + 256 * a;
    if (d == 0) {
      memset(out, 0, 4);
      return;
    }
    for (int c = 0; c < 3; c++) out[c] = (uint8_t)((s[c] * s[3] * (256 - a) + 256 * a * b[c]) / d);
    out[3] = (uint8_t)(d >> 8);
  }
};

struct AddAlpha {
  static void Pixel(const uint8_t* s, const uint8_t* b, int r, uint8_t* out) {
    int a = b[3] * r >> 8;
    uint32_t total = (uint32_t)(s[3] * (256 - a) + 256 * a) >> 8;
    if (total == 0) {
      memset(out, 0, 4);
      return;
    }
    for (int c = 0; c < 3; c++) out[c] = (uint8_t)Min((int)((uint32_t)(s[c] * s[3] + a * b[c]) / total), 255);
    out[3] = (uint8_t)total;
  }
};

struct MultipleAlphaOnly {
  static void Pixel(const uint8_t* s, const uint8_t* b, int r, uint8_t* out) {
    out[0] = s[0], out[1] = s[1], out[2] = s[2];
    out[3] = (uint8_t)((s[3] * 65536 + ((b[3] * s[3] >> 8) - s[3]) * r * 255) >> 16);
  }
};

typedef void (*PIXEL_RULE)(const uint8_t* s, const uint8_t* b, int r, uint8_t* out);

// One loop over the rectangle per type: the rule is a template argument, not a per-pixel choice.
template <PIXEL_RULE RULE>
int RunLoop(FILTER_PASS_RECORD* record, int r) {
  return RunFilterCpuPass(record, 1, [r](const uint8_t* s, const uint8_t* b, uint8_t* out) { RULE(s, b, r, out); });
}

typedef int (*LOOP)(FILTER_PASS_RECORD* record, int r);
const LOOP kLoops[17] = {
    RunLoop<Weighted<Normal>::Pixel>,     nullptr,
    RunLoop<Weighted<Multiple>::Pixel>,   RunLoop<Weighted<Difference>::Pixel>,
    RunLoop<Weighted<Add>::Pixel>,        RunLoop<Weighted<Screen>::Pixel>,
    RunLoop<Weighted<Overlay>::Pixel>,    RunLoop<Weighted<Dodge>::Pixel>,
    RunLoop<Weighted<Burn>::Pixel>,       RunLoop<Weighted<Darken>::Pixel>,
    RunLoop<Weighted<Lighten>::Pixel>,    RunLoop<Weighted<SoftLight>::Pixel>,
    RunLoop<Weighted<HardLight>::Pixel>, RunLoop<Weighted<Exclusion>::Pixel>,
    RunLoop<NormalAlpha::Pixel>,         RunLoop<AddAlpha::Pixel>,
    RunLoop<MultipleAlphaOnly::Pixel>,
};
}  // namespace

int RunBasicBlendFilter(FILTER_PASS_RECORD* record) {
  int type = record->type;
  if (type < 0 || type > BLEND_MULTIPLE_ALPHA_ONLY || type == BLEND_RGBA_MIX) return -1;
  if (FilterShadersUsable()) {
    float ratio = record->blendRatio;
    const float constants[8] = {ratio, ratio, ratio, ratio, 1.0f, 1.0f, 1.0f, 1.0f};
    int shader = FILTER_SHADER_BLEND_NORMAL + (type == 0 ? 0 : type - 1);
    return RunFilterShaderPass(record, shader, constants, 2, 0, 1, -1);
  }
  return kLoops[type](record, TruncFloatToInt(record->blendRatio * 256.0f));
}
