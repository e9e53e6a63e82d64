// The SSE2 form of the pixel rule of blend_rule.h: vector lanes and layouts over which the
// rule is instantiated, 16 bytes of target pixels per step, and the row loop that draws a row
// with them and the scalar rule for the pixels left at its end. They serve plain and palette
// sources without blend graph; their lanes are 16 bits wide, which holds every intermediate
// value of the rule when no weight factor enters it (the factors' products need 32 bits and
// stay in the plain loops). Internal linkage for the same reason as blend_rule.h; the blit and
// stretched blit (blend_sse2.cpp) and the triangle's spans (triangle_sse2.cpp) instantiate it.
#pragma once
#include <emmintrin.h>

#include <type_traits>

#include "image/memimg.h"
#include "softrender/kernel_loops.h"

namespace {

// ---- Vector lanes ---------------------------------------------------------------------------
// Written over the compiler's vector types, so that it can fold the rule's masks and shifts
// where lanes are known to hold fewer bits.

typedef uint16_t U16X8 __attribute__((vector_size(16)));
typedef uint32_t U32X4 __attribute__((vector_size(16)));

// Eight 16-bit lanes with wrapping arithmetic; >> is a logical shift.
struct LANES16 {
  U16X8 v;
  LANES16() = default;
  explicit LANES16(U16X8 x) : v(x) {}
  explicit LANES16(__m128i x) : v((U16X8)x) {}
  explicit LANES16(uint32_t c) : v(U16X8{} + (uint16_t)c) {}
  __m128i m() const { return (__m128i)v; }
};
inline LANES16 operator+(LANES16 a, LANES16 b) { return LANES16(a.v + b.v); }
inline LANES16 operator-(LANES16 a, LANES16 b) { return LANES16(a.v - b.v); }
inline LANES16 operator*(LANES16 a, LANES16 b) { return LANES16(a.v * b.v); }
inline LANES16 operator&(LANES16 a, LANES16 b) { return LANES16(a.v & b.v); }
inline LANES16 operator|(LANES16 a, LANES16 b) { return LANES16(a.v | b.v); }
inline LANES16 operator^(LANES16 a, LANES16 b) { return LANES16(a.v ^ b.v); }
inline LANES16 operator<<(LANES16 a, int n) { return LANES16(a.v << n); }
inline LANES16 operator>>(LANES16 a, int n) { return LANES16(a.v >> n); }

// m in the lanes where x is below y (or at least y), unsigned: x >= y exactly where y - x
// saturates to 0.
inline LANES16 MaskWhereAtLeast(LANES16 x, LANES16 y, LANES16 m) {
  return LANES16(_mm_and_si128(_mm_cmpeq_epi16(_mm_subs_epu16(y.m(), x.m()), _mm_setzero_si128()), m.m()));
}
inline LANES16 MaskWhereBelow(LANES16 x, LANES16 y, LANES16 m) {
  return LANES16(_mm_andnot_si128(_mm_cmpeq_epi16(_mm_subs_epu16(y.m(), x.m()), _mm_setzero_si128()), m.m()));
}

// Four 32-bit words with wrapping arithmetic (whole 32-bit pixels).
struct WORDS32 {
  U32X4 v;
  WORDS32() = default;
  explicit WORDS32(U32X4 x) : v(x) {}
  explicit WORDS32(__m128i x) : v((U32X4)x) {}
  explicit WORDS32(uint32_t c) : v(U32X4{} + c) {}
  __m128i m() const { return (__m128i)v; }
};
inline WORDS32 operator+(WORDS32 a, WORDS32 b) { return WORDS32(a.v + b.v); }
inline WORDS32 operator-(WORDS32 a, WORDS32 b) { return WORDS32(a.v - b.v); }
inline WORDS32 operator&(WORDS32 a, WORDS32 b) { return WORDS32(a.v & b.v); }
inline WORDS32 operator|(WORDS32 a, WORDS32 b) { return WORDS32(a.v | b.v); }
inline WORDS32 operator>>(WORDS32 a, int n) { return WORDS32(a.v >> n); }

// A per-call coefficient (the blend parameter or a tint byte, per lane) with its reciprocal:
// k * v / 255 for v <= 255 is the high half of v * ceil(k * 65536 / 255) for every k below
// 255 (k = 255 would need 65536), one multiply where the division takes three steps. Layouts
// hand coefficients over in this form when the call has none of 255.
struct COEFF16 {
  LANES16 value, reciprocal;
  operator LANES16() const { return value; }
};

inline uint16_t Reciprocal(int k) { return (uint16_t)((k * 65536 + 254) / 255); }

// Lanes holding a for the even and b for the odd 16-bit lanes.
inline LANES16 Alternating(int a, int b) {
  return LANES16(_mm_setr_epi16((short)a, (short)b, (short)a, (short)b, (short)a, (short)b, (short)a, (short)b));
}

template <bool RECIPROCAL>
using COEFFICIENT = typename std::conditional<RECIPROCAL, COEFF16, LANES16>::type;

template <bool RECIPROCAL>
COEFFICIENT<RECIPROCAL> MakeCoefficient(int even, int odd) {
  if constexpr (RECIPROCAL) return COEFF16{Alternating(even, odd), Alternating(Reciprocal(even), Reciprocal(odd))};
  else return Alternating(even, odd);
}

// The table look-ups of the rule, computed: x / 255 for x <= 65025 is (x * 0x8081) >> 23, and
// x / 63 for x <= 3969 is (x * 4162) >> 18.
inline LANES16 MultiplyHigh(LANES16 a, LANES16 b) { return LANES16(_mm_mulhi_epu16(a.m(), b.m())); }
inline LANES16 DivideBy255(LANES16 x) { return MultiplyHigh(x, LANES16(0x8081)) >> 7; }
inline LANES16 Product(LANES16 k, LANES16 v) { return DivideBy255(k * v); }
inline LANES16 Product(COEFF16 k, LANES16 v) { return MultiplyHigh(v, k.reciprocal); }
inline LANES16 Mix(LANES16 t, LANES16 m, LANES16 n) {
  LANES16 sum = m * t + n * (LANES16(63) - t);
  return MultiplyHigh(sum, LANES16(4162)) >> 2;
}
template <class K>
inline LANES16 Difference(K k, LANES16 x) {
  LANES16 sign(_mm_srai_epi16(x.m(), 15));
  LANES16 magnitude = (x ^ sign) - sign;
  return (Product(k, magnitude) ^ sign) - sign;
}

// ---- Vector layouts -------------------------------------------------------------------------

// 32-bit pixels, four per vector, split into even and odd bytes: group 0 holds blue and red
// in 16-bit lanes, group 1 green and the byte that carries no colour (the spare lane, whose
// parameter is 0). The split and join are masks and shifts only.
template <bool RECIPROCAL>
struct SSE2_LAYOUT_32 {
  using Word = WORDS32;
  using Lane = LANES16;
  static constexpr int kGroups = 2;
  static constexpr bool kSpareParamZero = true;
  static Lane Split(Word w, int g) { return g == 0 ? Lane(w.m()) & Lane(0x00FF) : Lane(w.m()) >> 8; }
  static Word Join(const Lane* c) { return Word((c[0] | c[1] << 8).m()); }
  static int Bits(int) { return 8; }
  static bool IsGreen565(int) { return false; }
  static COEFFICIENT<RECIPROCAL> Tint(const BLEND_CONTEXT& x, int g) {
    return g == 0 ? MakeCoefficient<RECIPROCAL>(x.tint[0], x.tint[2]) : MakeCoefficient<RECIPROCAL>(x.tint[1], 0);
  }
  static COEFFICIENT<RECIPROCAL> Param(const BLEND_CONTEXT& x, int g) {
    return MakeCoefficient<RECIPROCAL>(x.param, g == 0 ? x.param : 0);
  }
  static Word Equal(Word a, uint32_t key) { return Word(_mm_cmpeq_epi32(a.m(), _mm_set1_epi32((int)key))); }
};

// RGB565 pixels, eight per vector; group g holds channel g of all eight.
template <bool RECIPROCAL>
struct SSE2_LAYOUT_565 {
  using Word = LANES16;
  using Lane = LANES16;
  static constexpr int kGroups = 3;
  static constexpr bool kSpareParamZero = false;
  static Lane Split(Word w, int g) {
    return (w >> PIXEL_565::kShift[g]) & Lane((1u << PIXEL_565::kBits[g]) - 1);
  }
  static Word Join(const Lane* c) { return c[0] | c[1] << PIXEL_565::kShift[1] | c[2] << PIXEL_565::kShift[2]; }
  static int Bits(int g) { return PIXEL_565::kBits[g]; }
  static bool IsGreen565(int g) { return g == 1; }
  static COEFFICIENT<RECIPROCAL> Tint(const BLEND_CONTEXT& x, int g) {
    return MakeCoefficient<RECIPROCAL>(x.tint[g], x.tint[g]);
  }
  static COEFFICIENT<RECIPROCAL> Param(const BLEND_CONTEXT& x, int) {
    return MakeCoefficient<RECIPROCAL>(x.param, x.param);
  }
  static Word Equal(Word a, uint32_t key) { return Word(_mm_cmpeq_epi16(a.m(), _mm_set1_epi16((short)key))); }
};

template <class PX, bool RECIPROCAL>
using SSE2_LAYOUT =
    typename std::conditional<PX::kBytes == 4, SSE2_LAYOUT_32<RECIPROCAL>, SSE2_LAYOUT_565<RECIPROCAL>>::type;

// ---- Loops ----------------------------------------------------------------------------------

// Four dwords in one vector, the first lowest.
inline __m128i Dwords(uint32_t a, uint32_t b, uint32_t c, uint32_t d) {
  return _mm_unpacklo_epi64(_mm_unpacklo_epi32(_mm_cvtsi32_si128((int)a), _mm_cvtsi32_si128((int)b)),
                            _mm_unpacklo_epi32(_mm_cvtsi32_si128((int)c), _mm_cvtsi32_si128((int)d)));
}

// One vector of pixels of BYTES bytes each (values[0] lowest), built in registers; RGB565
// pixels are inserted one by one, which lets the compiler fold each fetch into its insert.
template <int BYTES>
KORVEL_RULE_INLINE __m128i PixelVector(const uint32_t* values) {
  if constexpr (BYTES == 4) {
    return Dwords(values[0], values[1], values[2], values[3]);
  } else {
    __m128i v = _mm_cvtsi32_si128((int)values[0]);
#pragma GCC unroll 8
    for (int i = 1; i < 8; i++) v = _mm_insert_epi16(v, (int)values[i], i);
    return v;
  }
}

// Fetches one vector of source pixels: the raw values (compared with the transparent key)
// and their colours. CONTIGUOUS: the pixels follow each other from s; else s is the row and
// offsets holds their byte offsets in it.
template <class C, class L, bool CONTIGUOUS>
KORVEL_RULE_INLINE void FetchSourceBlock(const uint8_t* s, const int* offsets, const BLEND_CONTEXT& x,
                                         typename L::Word* raw, typename L::Word* colour) {
  using SRC = typename C::SRC;
  using Word = typename L::Word;
  constexpr int kCount = 16 / C::PX::kBytes;
  if constexpr (CONTIGUOUS && SRC::kKind == SOURCE_PLAIN) {
    *raw = Word(_mm_loadu_si128((const __m128i*)s));
    *colour = *raw;
  } else {
    uint32_t raws[kCount], colours[kCount];
#pragma GCC unroll 8
    for (int i = 0; i < kCount; i++) {
      raws[i] = SRC::Raw(s + (CONTIGUOUS ? i * SRC::kBytes : offsets[i]));
      colours[i] = SRC::Colour(raws[i], x.palette);
    }
    *raw = Word(PixelVector<C::PX::kBytes>(raws));
    *colour = SRC::kKind == SOURCE_PLAIN ? *raw : Word(PixelVector<C::PX::kBytes>(colours));
  }
}

// Draws one vector of target pixels at d. keyUsable: whether the transparent key can equal a
// raw value at all (an RGB565 lane holds 16 bits of it).
template <class C, class L, bool CONTIGUOUS>
KORVEL_RULE_INLINE void DrawBlock(uint8_t* d, const uint8_t* s, const int* offsets, const BLEND_CONTEXT& x,
                                  bool keyUsable) {
  using Word = typename L::Word;
  using Lane = typename L::Lane;
  Word target(_mm_loadu_si128((const __m128i*)d)), raw, colour;
  FetchSourceBlock<C, L, CONTIGUOUS>(s, offsets, x, &raw, &colour);
  Word out = BlendWords<C, L, false>(target, colour, Lane(255), Lane(0), x);
  if (C::kTrans && keyUsable) {
    Word skip = L::Equal(raw, x.transparent);
    out = Word(_mm_or_si128(_mm_and_si128(skip.m(), target.m()), _mm_andnot_si128(skip.m(), out.m())));
  }
  _mm_storeu_si128((__m128i*)d, out.m());
}

template <class C>
bool IsKeyUsable(const BLEND_CONTEXT& x) {
  return C::PX::kBytes == 4 || x.transparent <= 0xFFFF;
}

// Draws the vector of target pixels that starts at pixel i of the row d (source as in DrawRow).
template <class C, class L, bool CONTIGUOUS>
KORVEL_RULE_INLINE void DrawBlockAt(uint8_t* d, const uint8_t* s, const int* offsets, int i, const BLEND_CONTEXT& x,
                                    bool keyUsable) {
  DrawBlock<C, L, CONTIGUOUS>(d + i * C::PX::kBytes, CONTIGUOUS ? s + i * C::SRC::kBytes : s,
                              CONTIGUOUS ? nullptr : offsets + i, x, keyUsable);
}

// Draws one row of width pixels: two vectors per step while they fit, then one, then the
// scalar rule for the pixels left. CONTIGUOUS: source pixels follow each other from s; else
// s is the source row and offsets holds each pixel's byte offset in it.
template <class C, class L, bool CONTIGUOUS>
KORVEL_RULE_INLINE void DrawRow(uint8_t* d, const uint8_t* s, const int* offsets, int width, const BLEND_CONTEXT& x,
                                bool keyUsable) {
  using PX = typename C::PX;
  constexpr int kCount = 16 / PX::kBytes, kSourceBytes = C::SRC::kBytes;
  int i = 0;
  for (; i + 2 * kCount <= width; i += 2 * kCount) {
    DrawBlockAt<C, L, CONTIGUOUS>(d, s, offsets, i, x, keyUsable);
    DrawBlockAt<C, L, CONTIGUOUS>(d, s, offsets, i + kCount, x, keyUsable);
  }
  for (; i + kCount <= width; i += kCount) DrawBlockAt<C, L, CONTIGUOUS>(d, s, offsets, i, x, keyUsable);
  for (; i < width; i++)
    DrawSourcePixel<C>((typename PX::Word*)d + i, s + (CONTIGUOUS ? i * kSourceBytes : offsets[i]), nullptr, x);
}

// Calls f with the loop configuration of a combination and whether its coefficients take the
// reciprocal form.
template <int PATH, class F>
auto WithSse2Config(int pixelType, int kind, int mode, bool tint, bool trans, bool reciprocal, F f) {
  return WithBool(pixelType == MEMIMG_TYPE_32BIT, [&](auto wide) {
    using PX = typename std::conditional<wide.value, PIXEL_32, PIXEL_565>::type;
    return WithBool(kind == SOURCE_PALETTE, [&](auto palette) {
      constexpr int k = palette.value ? SOURCE_PALETTE : SOURCE_PLAIN;
      return WithMode(mode, [&](auto m) {
        return WithBool(tint, [&](auto t) {
          return WithBool(trans, [&](auto tr) {
            return WithBool(reciprocal, [&](auto r) {
              return f(LOOP_CONFIG<PX, k, m.value, false, t.value, tr.value, PATH>{}, r);
            });
          });
        });
      });
    });
  });
}

inline bool IsServed(int pixelType, int kind) {
  if (pixelType != MEMIMG_TYPE_32BIT && pixelType != MEMIMG_TYPE_RGB565) return false;
  return kind == SOURCE_PLAIN || kind == SOURCE_PALETTE;
}

// Whether every coefficient the rule multiplies by (the parameter, the tint bytes) is below
// 255, so that the reciprocal form serves.
inline bool AreCoefficientsBelowFull(const BLEND_CONTEXT& x, bool tint) {
  return x.param < 255 && (!tint || (x.tint[0] < 255 && x.tint[1] < 255 && x.tint[2] < 255));
}

}  // namespace
