// What one drawn pixel becomes: the single definition of the CPU renderer's pixel arithmetic.
// Every inner loop of the blit, run path, stretched blit, fill and line is an instantiation of
// the templates below over small policy types (pixel layout, source kind, mode, blend graph,
// tint, transparency, path and short cut), chosen once per call.
//
// The rule is written over a layout (how whole pixels split into lanes of channel values and
// join again) so that the same definition serves the scalar kernels, one channel of one pixel
// per lane, and the SSE2 kernels (blend_sse2.cpp), many pixels per vector.
//
// Everything here has internal linkage: the MMX and SSE2 translation units instantiate the
// same loops with their own policies and must not share inline copies with the plain one.
#pragma once
#include <cstdint>
#include <cstring>

#include "image/memimg_draw_state.h"
#include "softrender/kernel_jobs.h"

// The rule's pieces are inlined into every loop: a call per pixel (or per vector) would cost
// more than the arithmetic.
#define KORVEL_RULE_INLINE inline __attribute__((always_inline))

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
  // Packed add and subtract of whole pixels, over any word type with wrapping 32-bit lanes.
  template <class W>
  static W PackedAdd(W d, W s) {
    W t = (d & W(0x00FEFEFF)) + (s & W(0x00FEFEFF));
    W c = t & W(0x01010100);
    return (c - (c >> 8)) | t | ((d | s) & W(0x00010100));
  }
  static uint32_t PackedAddNoLow(uint32_t d, uint32_t s) {
    uint32_t t = (d & 0x00FEFEFF) + (s & 0x00FEFEFF);
    uint32_t c = t & 0x01010100;
    return (c - (c >> 8)) | t;
  }
  template <class W>
  static W PackedSubtract(W d, W s) {
    W e = (d | W(0x01010100)) - (s & W(0xFEFEFEFF));
    W c = e & W(0x01010100);
    return (c - (c >> 8)) & e;
  }
  static uint32_t Halve(uint32_t d, uint32_t s) { return ((s >> 1) & 0x7F7F7F) + ((d >> 1) & 0x7F7F7F); }
};

// m where x is below y (or at least y), else 0, for unsigned words; a vector word type offers
// its own forms, lane by lane.
inline uint32_t MaskWhereBelow(uint32_t x, uint32_t y, uint32_t m) { return x < y ? m : 0; }
inline uint32_t MaskWhereAtLeast(uint32_t x, uint32_t y, uint32_t m) { return x >= y ? m : 0; }

// RGB565 target pixels: r bits 11-15, g bits 5-10, b bits 0-4.
struct PIXEL_565 {
  using Word = uint16_t;
  static constexpr int kBytes = 2;
  static constexpr int kShift[3] = {0, 5, 11};
  static constexpr int kBits[3] = {5, 6, 5};
  static constexpr uint32_t kColourMask = 0xFFFF;
  static int Channel(uint32_t w, int i) { return (int)(w >> kShift[i]) & ((1 << kBits[i]) - 1); }
  static uint32_t Pack(const int* c) { return (uint32_t)c[0] | (uint32_t)c[1] << 5 | (uint32_t)c[2] << 11; }
  // Packed add and subtract of whole pixels, over any word type whose lanes hold at least 16
  // bits: red's carry (or borrow) out of bit 15 is found by comparing the 16-bit result with an
  // operand instead of being kept in bit 16; it stands for 0x10000 - 0x800, which is 0xF800 in
  // 16 bits.
  template <class W>
  static W PackedAdd(W d, W s) {
    W dm = d & W(0xF7DF), sm = s & W(0xF7DF);
    W t = (dm + sm) & W(0xFFFF);
    W c = t & W(0x0820);
    return ((c - (c >> 5) + MaskWhereBelow(t, dm, W(0xF800))) | t | ((d | s) & W(0x0820))) & W(0xFFFF);
  }
  static uint32_t PackedAddNoLow(uint32_t d, uint32_t s) {
    uint32_t t = (d & 0xF7DF) + (s & 0xF7DF);
    uint32_t c = t & 0x08210820;
    return ((c - (c >> 5)) | t) & 0xFFFF;
  }
  template <class W>
  static W PackedSubtract(W d, W s) {
    W a = d | W(0x0820), b = s & W(0xF7DF);
    W e = (a - b) & W(0xFFFF);
    W c = e & W(0x0820);
    return ((c - (c >> 5) + MaskWhereAtLeast(a, e, W(0xF800))) & e) & W(0xFFFF);
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

// ---- Lanes -------------------------------------------------------------------------------
// The scalar lane is a uint32_t with wrapping arithmetic; a vector lane type offers the same
// operators and its own forms of the three table look-ups below.

inline uint32_t Product(uint32_t k, uint32_t v) { return (uint32_t)BlendProductTables.product[k * 256 + v]; }
inline uint32_t Mix(uint32_t t, uint32_t m, uint32_t n) { return BlendProductTables.mix[t * 4096 + m * 64 + n]; }
// k * x / 255 truncated toward zero, x a signed difference (-255..255) held in the lane.
inline uint32_t Difference(uint32_t k, uint32_t x) { return (uint32_t)BlendDifference((int)k, (int)x); }

// (d * (2^(8k) - f) + x * f) >> 8k, d and x channel values, f a weight below 256^k; exact
// for k = 1..3 in 32 bits and for k = 1 in 16 bits (the sum lies in 0..255 * 2^(8k), so the
// result needs no mask). Two products and no difference: the vector loops run it in fewer
// steps than d + (x - d) * f.
template <class V>
KORVEL_RULE_INLINE V Lerp(V d, V x, V f, int k) {
  return (d * (V(1u << (8 * k)) - f) + x * f) >> (8 * k);
}

// ---- Layouts --------------------------------------------------------------------------------

// One pixel, one channel per lane: the scalar kernels' layout.
template <class PX>
struct SCALAR_LAYOUT {
  using Word = uint32_t;
  using Lane = uint32_t;
  static constexpr int kGroups = 3;
  static Lane Split(Word w, int g) { return (w >> PX::kShift[g]) & ((1u << PX::kBits[g]) - 1); }
  static Word Join(const Lane* c) { return c[0] << PX::kShift[0] | c[1] << PX::kShift[1] | c[2] << PX::kShift[2]; }
  static int Bits(int g) { return PX::kBits[g]; }
  static bool IsGreen565(int g) { return PX::kBytes == 2 && g == 1; }
  static Lane Tint(const BLEND_CONTEXT& x, int g) { return (Lane)x.tint[g]; }
  static Lane Param(const BLEND_CONTEXT& x, int) { return (Lane)x.param; }
  static constexpr bool kSpareParamZero = false;
};

// The pixel rule over a layout L: d the target words, colour the untinted source colour (or a
// fill's ready colour), a the source alpha, w the blend-graph weight; FACTOR whether a is one
// of the weight factors. L::Param gives the blend parameter per group and L::Tint the tint;
// both are per-call coefficients, which a vector layout may hand over in a form of its own.
// Lanes that fall outside a layout's channels compute values nobody keeps, except where a
// layout gives its spare lanes (byte 3 of a 32-bit pixel) the parameter 0
// (kSpareParamZero): a mode that moves the target toward a value by the parameter then
// leaves those lanes as the target has them, and the rule needs no separate mask for them.
template <class C, class L, bool FACTOR>
KORVEL_RULE_INLINE typename L::Word BlendWords(typename L::Word d, typename L::Word colour, typename L::Lane a,
                                   typename L::Lane w, const BLEND_CONTEXT& x) {
  using PX = typename C::PX;
  using W = typename L::Word;
  using V = typename L::Lane;
  constexpr int M = C::kMode;
  constexpr int G = L::kGroups;
  constexpr int n = (C::kGraph ? 1 : 0) + (FACTOR ? 1 : 0);
  V f = V(1);
  if constexpr (C::kGraph) f = f * w;
  if constexpr (FACTOR) f = f * a;

  if constexpr (M == 0 && n == 0 && !C::kTint) return colour & W(PX::kBytes == 4 ? 0xFFFFFFFFu : 0xFFFFu);

  V s[G], su[G], dc[G], out[G];
#pragma GCC unroll 4
  for (int g = 0; g < G; g++) {
    su[g] = L::Split(colour, g);
    s[g] = C::kTint ? Product(L::Tint(x, g), su[g]) : su[g];
    dc[g] = L::Split(d, g);
  }
  const W keep = d & W(~PX::kColourMask);

  if constexpr (M == 2 || M == 3) {
    V scaled[G];
#pragma GCC unroll 4
    for (int g = 0; g < G; g++) {
      const auto p = L::Param(x, g);
      if constexpr (n == 0) {
        scaled[g] = Product(p, s[g]);
      } else if constexpr (PX::kBytes == 4) {
        scaled[g] = (s[g] * f * V(p)) >> (8 * (n + 1));
      } else if constexpr (C::kGraph) {
        scaled[g] = Product(p, (s[g] * f) >> (8 * n));
      } else {  // RGB565 with the alpha factor alone: tint after the alpha scaling
        V v = (su[g] * a) >> 8;
        scaled[g] = Product(p, C::kTint ? Product(L::Tint(x, g), v) : v);
      }
    }
    W sw = L::Join(scaled);
    return M == 2 ? PX::PackedAdd(d, sw) : PX::PackedSubtract(d, sw);
  } else {
#pragma GCC unroll 4
    for (int g = 0; g < G; g++) {
      const auto p = L::Param(x, g);
      const int bits = L::Bits(g);
      const V top = V((1u << bits) - 1);
      V r;
      if constexpr (M == 0) {
        if constexpr (n == 0) r = s[g];
        else r = Lerp(dc[g], s[g], f, n);
      } else if constexpr (M == 4) {
        r = (dc[g] * s[g] * f) >> (bits + 8 * n);
      } else {
        V target;  // the value the target moves toward
        if constexpr (M == 1) target = s[g];
        else if constexpr (M == 10) target = C::kTint ? Product(L::Tint(x, g), top - su[g]) : top - su[g];
        else target = (s[g] * dc[g]) >> bits;  // mode 11
        if constexpr (n > 0) {
          if (M == 11 && L::IsGreen565(g) && FACTOR && !C::kGraph && !C::kTint) {
            // RGB565 green keeps five fraction bits of its product here.
            V q = (su[g] * dc[g]) >> 1;
            r = (dc[g] * V(32 * 65536) + (q - dc[g] * V(32)) * a * V(p)) >> 21;
          } else {
            r = Lerp(dc[g], target, f * V(p), n + 1);
          }
        } else if constexpr (PX::kBytes == 4) {
          r = Lerp(dc[g], target, V(p), 1);
        } else if constexpr (M == 1 && C::kPath == PATH_BLIT && !C::kTint && !C::kAlpha) {
          r = Mix(V((uint32_t)(x.param >> 2)), target, dc[g]);  // untinted per-pixel blit: 6-bit mix weight
        } else {
          r = dc[g] + Difference(p, target - dc[g]);
        }
      }
      out[g] = r;
    }
    if constexpr (L::kSpareParamZero && M != 0 && M != 4) return L::Join(out);
    return keep | (L::Join(out) & W(PX::kColourMask));
  }
}

// The pixel rule for one pixel in the scalar layout. alphaFactor: whether a is a weight factor.
template <class C>
KORVEL_RULE_INLINE uint32_t BlendPixel(uint32_t d, uint32_t colour, int a, bool alphaFactor, int w, const BLEND_CONTEXT& x) {
  using L = SCALAR_LAYOUT<typename C::PX>;
  if constexpr (C::kAlpha) {
    if (alphaFactor) return BlendWords<C, L, true>(d, colour, (uint32_t)a, (uint32_t)w, x);
  }
  return BlendWords<C, L, false>(d, colour, (uint32_t)a, (uint32_t)w, x);
}

// Draws one source pixel at dst: fetch, transparency, weight factors, then the rule.
template <class C>
KORVEL_RULE_INLINE void DrawSourcePixel(typename C::PX::Word* dst, const uint8_t* src, const uint8_t* graph,
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
