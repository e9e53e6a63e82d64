// What one drawn pixel becomes: the single definition of the CPU renderer's pixel arithmetic.
// Every inner loop of the blit, run path, stretched blit, fill and line is an instantiation of
// the templates below over small policy types (pixel layout, source kind, mode, blend graph,
// tint, transparency, path and short cut), chosen once per call.
//
// Everything here has internal linkage: the MMX translation unit instantiates the same loops
// with its own short-cut policies and must not share inline copies with the plain one.
#pragma once
#include <cstdint>
#include <cstring>

#include "image/memimg_draw_state.h"
#include "softrender/kernel_jobs.h"

namespace {

// ---- Pixel layouts ------------------------------------------------------------------------

// 32-bit target pixels: blue, green, red bytes, byte 3 carries no colour.
struct PIXEL_32 {
  using Word = uint32_t;
  static constexpr int kBytes = 4;
  static constexpr int kShift[3] = {0, 8, 16};
  static constexpr int kBits[3] = {8, 8, 8};
  static constexpr uint32_t kColourMask = 0x00FFFFFF;
  static int Channel(uint32_t w, int i) { return (int)(w >> kShift[i]) & 0xFF; }
  static uint32_t Pack(const int* c) { return (uint32_t)c[0] | (uint32_t)c[1] << 8 | (uint32_t)c[2] << 16; }
  static uint32_t PackedAdd(uint32_t d, uint32_t s) {
    uint32_t t = (d & 0x00FEFEFF) + (s & 0x00FEFEFF);
    uint32_t c = t & 0x01010100;
    return (c - (c >> 8)) | t | ((d | s) & 0x00010100);
  }
  static uint32_t PackedAddNoLow(uint32_t d, uint32_t s) {
    uint32_t t = (d & 0x00FEFEFF) + (s & 0x00FEFEFF);
    uint32_t c = t & 0x01010100;
    return (c - (c >> 8)) | t;
  }
  static uint32_t PackedSubtract(uint32_t d, uint32_t s) {
    uint32_t e = (d | 0x01010100) - (s & 0xFEFEFEFF);
    uint32_t c = e & 0x01010100;
    return (c - (c >> 8)) & e;
  }
  static uint32_t Halve(uint32_t d, uint32_t s) { return ((s >> 1) & 0x7F7F7F) + ((d >> 1) & 0x7F7F7F); }
};

// RGB565 target pixels: r bits 11-15, g bits 5-10, b bits 0-4.
struct PIXEL_565 {
  using Word = uint16_t;
  static constexpr int kBytes = 2;
  static constexpr int kShift[3] = {0, 5, 11};
  static constexpr int kBits[3] = {5, 6, 5};
  static constexpr uint32_t kColourMask = 0xFFFF;
  static int Channel(uint32_t w, int i) { return (int)(w >> kShift[i]) & ((1 << kBits[i]) - 1); }
  static uint32_t Pack(const int* c) { return (uint32_t)c[0] | (uint32_t)c[1] << 5 | (uint32_t)c[2] << 11; }
  static uint32_t PackedAdd(uint32_t d, uint32_t s) {
    uint32_t t = (d & 0xF7DF) + (s & 0xF7DF);
    uint32_t c = t & 0x08210820;
    return ((c - (c >> 5)) | t | ((d | s) & 0x0820)) & 0xFFFF;
  }
  static uint32_t PackedAddNoLow(uint32_t d, uint32_t s) {
    uint32_t t = (d & 0xF7DF) + (s & 0xF7DF);
    uint32_t c = t & 0x08210820;
    return ((c - (c >> 5)) | t) & 0xFFFF;
  }
  static uint32_t PackedSubtract(uint32_t d, uint32_t s) {
    uint32_t e = (d | 0x00010820) - (s & 0xF7DF);
    uint32_t c = e & 0x08210820;
    return ((c - (c >> 5)) & e) & 0xFFFF;
  }
  static uint32_t Halve(uint32_t d, uint32_t s) { return ((s >> 1) & 0x7BEF) + ((d >> 1) & 0x7BEF); }
  // Two pixels in one dword (left in the low half): the pair short cuts of the blit.
  static uint32_t PairAdd(uint32_t d, uint32_t s) {
    uint64_t sum = (uint64_t)(d & 0xF7DEF7DF) + (s & 0xF7DEF7DF);
    uint32_t k = (uint32_t)(sum >> 32) & 1, t = (uint32_t)sum;
    uint32_t c = t & 0x08210820;
    return (c - ((c >> 5) | (k << 27))) | t;
  }
  static uint32_t PairSubtract(uint32_t d, uint32_t s) {
    uint32_t a = d | 0x08210820, b = s & 0xF7DEF7DF;
    uint32_t e = a - b;
    uint32_t c = e & 0x08210820;
    return e & ((c - (c >> 5)) | (a < b ? 0 : 0xF8000000));
  }
};

// ---- Source kinds ---------------------------------------------------------------------------

enum { SOURCE_PLAIN, SOURCE_PALETTE, SOURCE_ALPHA };

// Fetches one source pixel: its colour in the target layout (for alpha sources the whole
// value the raw copy writes: the dword for 32-bit, the low 16 bits for RGB565), its alpha,
// and the key compared with the transparent colour.
template <class PX, int KIND>
struct SOURCE {
  static constexpr int kKind = KIND;
  static constexpr int kBytes = KIND == SOURCE_PALETTE ? 1 : KIND == SOURCE_ALPHA ? 4 : PX::kBytes;
  static uint32_t Raw(const uint8_t* p) {
    if (kBytes == 1) return *p;
    if (kBytes == 2) { uint16_t v; memcpy(&v, p, 2); return v; }
    uint32_t v;
    memcpy(&v, p, 4);
    return v;
  }
  static uint32_t Colour(uint32_t raw, const void* palette) {
    if (KIND == SOURCE_PALETTE) return PX::kBytes == 4 ? ((const uint32_t*)palette)[raw] : ((const uint16_t*)palette)[raw];
    if (KIND == SOURCE_ALPHA && PX::kBytes == 2) return raw & 0xFFFF;
    return raw;
  }
  static int Alpha(uint32_t raw) { return PX::kBytes == 4 ? (int)(raw >> 24) : (int)(raw >> 16) & 0xFF; }
};

// ---- Paths and short cuts -------------------------------------------------------------------

// Which kernel a loop belongs to, for the rules that hold in one kernel only.
enum { PATH_GENERAL, PATH_BLIT, PATH_TRIANGLE };

// A short cut replaces the whole pixel rule with a whole-word operation on the untinted
// colour (no blend graph, no tint, no alpha source). Finish runs once after the loops.
struct SHORT_NONE {
  static constexpr bool kActive = false, kPairs = false;
  template <class PX> static uint32_t One(uint32_t d, uint32_t) { return d; }
  static void Finish() {}
};
struct SHORT_HALVE {  // mode 1 at p = 128
  static constexpr bool kActive = true, kPairs = false;
  template <class PX> static uint32_t One(uint32_t d, uint32_t s) { return PX::Halve(d, s); }
  static void Finish() {}
};
struct SHORT_ADD {  // mode 2 at p = 255; RGB565 in pairs
  static constexpr bool kActive = true, kPairs = true;
  template <class PX> static uint32_t One(uint32_t d, uint32_t s) { return PX::PackedAddNoLow(d, s); }
  static uint32_t Pair(uint32_t d, uint32_t s) { return PIXEL_565::PairAdd(d, s); }
  static void Finish() {}
};
struct SHORT_SUBTRACT {  // mode 3 at p = 255; RGB565 in pairs in the blit
  static constexpr bool kActive = true, kPairs = true;
  template <class PX> static uint32_t One(uint32_t d, uint32_t s) { return PX::PackedSubtract(d, s); }
  static uint32_t Pair(uint32_t d, uint32_t s) { return PIXEL_565::PairSubtract(d, s); }
  static void Finish() {}
};
struct SHORT_SUBTRACT_SINGLE : SHORT_SUBTRACT {  // the stretched blit's one-pixel subtract
  static constexpr bool kPairs = false;
};

// ---- One loop's configuration ---------------------------------------------------------------

template <class PX_, int SOURCE_KIND, int MODE, bool GRAPH, bool TINT, bool TRANS, int PATH, class SHORT = SHORT_NONE>
struct LOOP_CONFIG {
  using PX = PX_;
  using SRC = SOURCE<PX_, SOURCE_KIND>;
  using Short = SHORT;
  static constexpr int kMode = MODE;
  static constexpr bool kGraph = GRAPH, kTint = TINT, kTrans = TRANS;
  static constexpr int kPath = PATH;
  static constexpr bool kAlpha = SOURCE_KIND == SOURCE_ALPHA;
};

inline int Product(int k, int v) { return BlendProductTables.product[k * 256 + v]; }
inline int Mix(int t, int m, int n) { return BlendProductTables.mix[t * 4096 + m * 64 + n]; }

// (d * 2^(8k) + (x - d) * f) >> 8k in 32-bit wrapping arithmetic; exact for k = 1..3.
inline int Lerp(int d, int x, uint32_t f, int k) {
  return (int)((((uint32_t)d << (8 * k)) + (uint32_t)(x - d) * f) >> (8 * k)) & 0xFF;
}

// The pixel rule. colour is the untinted source colour (or a fill's ready colour), a the
// source alpha, alphaFactor whether a is one of the weight factors, w the blend-graph weight.
template <class C>
inline uint32_t BlendPixel(uint32_t d, uint32_t colour, int a, bool alphaFactor, int w, const BLEND_CONTEXT& x) {
  using PX = typename C::PX;
  constexpr int M = C::kMode;
  const int p = x.param;
  const int n = (C::kGraph ? 1 : 0) + (alphaFactor ? 1 : 0);
  uint32_t f = 1;
  if (C::kGraph) f *= (uint32_t)w;
  if (alphaFactor) f *= (uint32_t)a;

  if (M == 0 && n == 0 && !C::kTint) return colour & (PX::kBytes == 4 ? 0xFFFFFFFF : 0xFFFF);

  int s[3], su[3], dc[3], out[3];
  for (int i = 0; i < 3; i++) {
    su[i] = PX::Channel(colour, i);
    s[i] = C::kTint ? Product(x.tint[i], su[i]) : su[i];
    dc[i] = PX::Channel(d, i);
  }
  const uint32_t keep = d & ~PX::kColourMask;

  if (M == 2 || M == 3) {
    int scaled[3];
    for (int i = 0; i < 3; i++) {
      if (n == 0) {
        scaled[i] = Product(p, s[i]);
      } else if (PX::kBytes == 4) {
        scaled[i] = (int)(((uint32_t)s[i] * f * (uint32_t)p) >> (8 * (n + 1)));
      } else if (C::kGraph) {
        scaled[i] = Product(p, (int)(((uint32_t)s[i] * f) >> (8 * n)));
      } else {  // RGB565 with the alpha factor alone: tint after the alpha scaling
        int v = (su[i] * a) >> 8;
        scaled[i] = Product(p, C::kTint ? Product(x.tint[i], v) : v);
      }
    }
    uint32_t sw = PX::Pack(scaled);
    return M == 2 ? PX::PackedAdd(d, sw) : PX::PackedSubtract(d, sw);
  }

  for (int i = 0; i < 3; i++) {
    const int bits = PX::kBits[i];
    const int top = (1 << bits) - 1;
    int r;
    if (M == 0) {
      r = n == 0 ? s[i] : Lerp(dc[i], s[i], f, n);
    } else if (M == 4) {
      r = (int)(((uint32_t)dc[i] * (uint32_t)s[i] * f) >> (bits + 8 * n));
    } else {
      int target;  // the value the target moves toward
      if (M == 1) target = s[i];
      else if (M == 10) target = C::kTint ? Product(x.tint[i], top - su[i]) : top - su[i];
      else target = (s[i] * dc[i]) >> bits;  // mode 11
      if (n > 0) {
        if (M == 11 && PX::kBytes == 2 && i == 1 && alphaFactor && !C::kGraph && !C::kTint) {
          // RGB565 green keeps five fraction bits of its product here.
          int q = (su[i] * dc[i]) >> 1;
          r = (dc[i] * 32 * 65536 + (q - 32 * dc[i]) * a * p) >> 21;
        } else {
          r = Lerp(dc[i], target, f * (uint32_t)p, n + 1);
        }
      } else if (PX::kBytes == 4) {
        r = Lerp(dc[i], target, (uint32_t)p, 1);
      } else if (M == 1 && C::kPath == PATH_BLIT && !C::kTint && !C::kAlpha) {
        r = Mix(p >> 2, target, dc[i]);  // untinted per-pixel blit: 6-bit mix weight
      } else {
        r = dc[i] + BlendDifference(p, target - dc[i]);
      }
    }
    out[i] = r;
  }
  return keep | PX::Pack(out);
}

// Draws one source pixel at dst: fetch, transparency, weight factors, then the rule.
template <class C>
inline void DrawSourcePixel(typename C::PX::Word* dst, const uint8_t* src, const uint8_t* graph,
                            const BLEND_CONTEXT& x) {
  using SRC = typename C::SRC;
  uint32_t raw = SRC::Raw(src);
  int a = 255;
  bool alphaFactor = false;
  if (C::kAlpha) {
    a = SRC::Alpha(raw);
    if (C::kTrans) {
      // The triangle's multiply has no skip: a clear texel multiplies the target by 0.
      if (a == 0 && !(C::kPath == PATH_TRIANGLE && C::kMode == 4)) return;
      alphaFactor = a != 255;
    } else {
      // The per-pixel blit copies an alpha source raw in a plain untinted copy.
      alphaFactor = !(C::kPath == PATH_BLIT && C::kMode == 0 && !C::kGraph && !C::kTint);
    }
  } else if (C::kTrans && raw == x.transparent) {
    return;
  }
  uint32_t colour = SRC::Colour(raw, x.palette);
  if (C::Short::kActive) {
    *dst = (typename C::PX::Word)C::Short::template One<typename C::PX>(*dst, colour);
    return;
  }
  int w = C::kGraph ? x.weights[*graph] : 0;
  *dst = (typename C::PX::Word)BlendPixel<C>(*dst, colour, a, alphaFactor, w, x);
}

}  // namespace
