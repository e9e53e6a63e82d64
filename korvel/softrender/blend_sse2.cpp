// The SSE2 loops of the blit and the stretched blit: the pixel rule of blend_rule.h
// instantiated over vector layouts, 16 bytes of target pixels per step, with the scalar loop
// for the pixels left at the end of a row. They serve plain and palette sources without blend
// graph; their lanes are 16 bits wide, which holds every intermediate value of the rule when
// no weight factor enters it (the factors' products need 32 bits and stay in the plain loops).
#include <emmintrin.h>

#include "image/memimg.h"
#include "softrender/kernel_loops.h"

namespace {

// ---- Vector lanes ---------------------------------------------------------------------------

// Eight 16-bit lanes with wrapping arithmetic; >> is a logical shift.
struct LANES16 {
  __m128i v;
  LANES16() = default;
  explicit LANES16(__m128i x) : v(x) {}
  explicit LANES16(uint32_t c) : v(_mm_set1_epi16((short)c)) {}
};
inline LANES16 operator+(LANES16 a, LANES16 b) { return LANES16(_mm_add_epi16(a.v, b.v)); }
inline LANES16 operator-(LANES16 a, LANES16 b) { return LANES16(_mm_sub_epi16(a.v, b.v)); }
inline LANES16 operator*(LANES16 a, LANES16 b) { return LANES16(_mm_mullo_epi16(a.v, b.v)); }
inline LANES16 operator&(LANES16 a, LANES16 b) { return LANES16(_mm_and_si128(a.v, b.v)); }
inline LANES16 operator|(LANES16 a, LANES16 b) { return LANES16(_mm_or_si128(a.v, b.v)); }
inline LANES16 operator^(LANES16 a, LANES16 b) { return LANES16(_mm_xor_si128(a.v, b.v)); }
inline LANES16 operator~(LANES16 a) { return LANES16(_mm_xor_si128(a.v, _mm_set1_epi32(-1))); }
inline LANES16 operator<<(LANES16 a, int n) { return LANES16(_mm_slli_epi16(a.v, n)); }
inline LANES16 operator>>(LANES16 a, int n) { return LANES16(_mm_srli_epi16(a.v, n)); }

// Four 32-bit words with wrapping arithmetic (whole 32-bit pixels).
struct WORDS32 {
  __m128i v;
  WORDS32() = default;
  explicit WORDS32(__m128i x) : v(x) {}
  explicit WORDS32(uint32_t c) : v(_mm_set1_epi32((int)c)) {}
};
inline WORDS32 operator+(WORDS32 a, WORDS32 b) { return WORDS32(_mm_add_epi32(a.v, b.v)); }
inline WORDS32 operator-(WORDS32 a, WORDS32 b) { return WORDS32(_mm_sub_epi32(a.v, b.v)); }
inline WORDS32 operator&(WORDS32 a, WORDS32 b) { return WORDS32(_mm_and_si128(a.v, b.v)); }
inline WORDS32 operator|(WORDS32 a, WORDS32 b) { return WORDS32(_mm_or_si128(a.v, b.v)); }
inline WORDS32 operator>>(WORDS32 a, int n) { return WORDS32(_mm_srli_epi32(a.v, n)); }

// The table look-ups of the rule, computed: x / 255 for x <= 65025 is (x * 0x8081) >> 23, and
// x / 63 for x <= 3969 is (x * 4162) >> 18.
inline LANES16 DivideBy255(LANES16 x) {
  return LANES16(_mm_srli_epi16(_mm_mulhi_epu16(x.v, _mm_set1_epi16((short)0x8081)), 7));
}
inline LANES16 Product(LANES16 k, LANES16 v) { return DivideBy255(k * v); }
inline LANES16 Mix(LANES16 t, LANES16 m, LANES16 n) {
  LANES16 sum = m * t + n * (LANES16(63) - t);
  return LANES16(_mm_srli_epi16(_mm_mulhi_epu16(sum.v, _mm_set1_epi16(4162)), 2));
}
inline LANES16 Difference(LANES16 k, LANES16 x) {
  LANES16 sign(_mm_srai_epi16(x.v, 15));
  LANES16 magnitude = (x ^ sign) - sign;
  return (DivideBy255(magnitude * k) ^ sign) - sign;
}

// ---- Vector layouts -------------------------------------------------------------------------

// 32-bit pixels, four per vector; each group holds the four byte lanes of two pixels (blue,
// green, red and the byte that carries no colour).
struct SSE2_LAYOUT_32 {
  using Word = WORDS32;
  using Lane = LANES16;
  using Pixel = uint32_t;
  static constexpr int kGroups = 2;
  static Lane Split(Word w, int g) {
    return Lane(g == 0 ? _mm_unpacklo_epi8(w.v, _mm_setzero_si128()) : _mm_unpackhi_epi8(w.v, _mm_setzero_si128()));
  }
  static Word Join(const Lane* c) { return Word(_mm_packus_epi16(c[0].v, c[1].v)) & Word(0x00FFFFFF); }
  static int Bits(int) { return 8; }
  static bool IsGreen565(int) { return false; }
  static Lane Tint(const BLEND_CONTEXT& x, int) {
    return Lane(_mm_setr_epi16((short)x.tint[0], (short)x.tint[1], (short)x.tint[2], 0, (short)x.tint[0],
                               (short)x.tint[1], (short)x.tint[2], 0));
  }
  static Word Equal(Word a, uint32_t key) { return Word(_mm_cmpeq_epi32(a.v, _mm_set1_epi32((int)key))); }
};

// RGB565 pixels, eight per vector; group g holds channel g of all eight.
struct SSE2_LAYOUT_565 {
  using Word = LANES16;
  using Lane = LANES16;
  using Pixel = uint16_t;
  static constexpr int kGroups = 3;
  static Lane Split(Word w, int g) {
    return (w >> PIXEL_565::kShift[g]) & Lane((1u << PIXEL_565::kBits[g]) - 1);
  }
  static Word Join(const Lane* c) { return c[0] | c[1] << PIXEL_565::kShift[1] | c[2] << PIXEL_565::kShift[2]; }
  static int Bits(int g) { return PIXEL_565::kBits[g]; }
  static bool IsGreen565(int g) { return g == 1; }
  static Lane Tint(const BLEND_CONTEXT& x, int g) { return Lane((uint32_t)x.tint[g]); }
  static Word Equal(Word a, uint32_t key) { return Word(_mm_cmpeq_epi16(a.v, _mm_set1_epi16((short)key))); }
};

template <class PX>
using SSE2_LAYOUT = typename std::conditional<PX::kBytes == 4, SSE2_LAYOUT_32, SSE2_LAYOUT_565>::type;

// ---- Loops ----------------------------------------------------------------------------------

// Fetches one vector of source pixels: the raw values (compared with the transparent key)
// and their colours. CONTIGUOUS: the pixels follow each other from s; else s is the row and
// columns holds their source columns.
template <class C, bool CONTIGUOUS>
KORVEL_RULE_INLINE void FetchSourceBlock(const uint8_t* s, const int* columns, const BLEND_CONTEXT& x,
                             typename SSE2_LAYOUT<typename C::PX>::Word* raw,
                             typename SSE2_LAYOUT<typename C::PX>::Word* colour) {
  using L = SSE2_LAYOUT<typename C::PX>;
  using SRC = typename C::SRC;
  using Word = typename L::Word;
  constexpr int kCount = 16 / C::PX::kBytes;
  if constexpr (CONTIGUOUS && SRC::kKind == SOURCE_PLAIN) {
    *raw = Word(_mm_loadu_si128((const __m128i*)s));
    *colour = *raw;
  } else {
    alignas(16) typename L::Pixel raws[kCount], colours[kCount];
    for (int i = 0; i < kCount; i++) {
      uint32_t value = SRC::Raw(s + (CONTIGUOUS ? i : columns[i]) * SRC::kBytes);
      raws[i] = (typename L::Pixel)value;
      colours[i] = (typename L::Pixel)SRC::Colour(value, x.palette);
    }
    *raw = Word(_mm_load_si128((const __m128i*)raws));
    *colour = Word(_mm_load_si128((const __m128i*)colours));
  }
}

// Draws one vector of target pixels at d. keyUsable: whether the transparent key can equal a
// raw value at all (an RGB565 lane holds 16 bits of it).
template <class C, bool CONTIGUOUS>
KORVEL_RULE_INLINE void DrawBlock(uint8_t* d, const uint8_t* s, const int* columns, const BLEND_CONTEXT& x, bool keyUsable) {
  using L = SSE2_LAYOUT<typename C::PX>;
  using Word = typename L::Word;
  using Lane = typename L::Lane;
  Word target(_mm_loadu_si128((const __m128i*)d)), raw, colour;
  FetchSourceBlock<C, CONTIGUOUS>(s, columns, x, &raw, &colour);
  Word out = BlendWords<C, L, false>(target, colour, Lane(255), Lane(0), x);
  if (C::kTrans && keyUsable) {
    Word skip = L::Equal(raw, x.transparent);
    out = Word(_mm_or_si128(_mm_and_si128(skip.v, target.v), _mm_andnot_si128(skip.v, out.v)));
  }
  _mm_storeu_si128((__m128i*)d, out.v);
}

template <class C>
bool IsKeyUsable(const BLEND_CONTEXT& x) {
  return C::PX::kBytes == 4 || x.transparent <= 0xFFFF;
}

template <class C>
void BlitRowsSse2(const BLIT_JOB& job) {
  using SRC = typename C::SRC;
  using Word = typename C::PX::Word;
  constexpr int kCount = 16 / C::PX::kBytes;
  const BLEND_CONTEXT context = job.context;  // a copy the target's stores cannot alias
  const bool keyUsable = IsKeyUsable<C>(context);
  const int width = job.width;
  for (int y = 0; y < job.height; y++) {
    uint8_t* d = job.target + y * job.targetPitch;
    const uint8_t* s = job.source + y * job.sourcePitch;
    int x = 0;
    for (; x + kCount <= width; x += kCount)
      DrawBlock<C, true>(d + x * C::PX::kBytes, s + x * SRC::kBytes, nullptr, context, keyUsable);
    for (; x < width; x++) DrawSourcePixel<C>((Word*)d + x, s + x * SRC::kBytes, nullptr, context);
  }
}

template <class C>
void StretchRowsSse2(const STRETCH_JOB& job) {
  using SRC = typename C::SRC;
  using Word = typename C::PX::Word;
  constexpr int kCount = 16 / C::PX::kBytes;
  const BLEND_CONTEXT context = job.context;  // a copy the target's stores cannot alias
  const bool keyUsable = IsKeyUsable<C>(context);
  const int width = job.width;
  const int* columns = job.columns;
  FillStretchColumns<StepsWhileNegative<C>()>(job);
  int row = job.firstRow;
  int32_t rowAcc = job.ystart;
  for (int y = 0; y < job.height; y++) {
    uint8_t* d = job.target + y * job.targetPitch;
    const uint8_t* s = job.source + row * job.sourcePitch;
    int x = 0;
    for (; x + kCount <= width; x += kCount) DrawBlock<C, false>(d + x * C::PX::kBytes, s, columns + x, context, keyUsable);
    for (; x < width; x++) DrawSourcePixel<C>((Word*)d + x, s + columns[x] * SRC::kBytes, nullptr, context);
    if (y + 1 < job.height) StepAccumulator<StepsWhileNegative<C>()>(rowAcc, row, job.ydir, job.ystep);
  }
}

// Calls f with the loop configuration of a combination.
template <int PATH, class F>
auto WithSse2Config(int pixelType, int kind, int mode, bool tint, bool trans, F f) {
  return WithBool(pixelType == MEMIMG_TYPE_32BIT, [&](auto wide) {
    using PX = typename std::conditional<wide.value, PIXEL_32, PIXEL_565>::type;
    return WithBool(kind == SOURCE_PALETTE, [&](auto palette) {
      constexpr int k = palette.value ? SOURCE_PALETTE : SOURCE_PLAIN;
      return WithMode(mode, [&](auto m) {
        return WithBool(tint, [&](auto t) {
          return WithBool(trans, [&](auto tr) {
            return f(LOOP_CONFIG<PX, k, m.value, false, t.value, tr.value, PATH>{});
          });
        });
      });
    });
  });
}

// The untinted opaque copy of plain pixels is a block copy in the plain loops.
bool IsServed(int pixelType, int kind, int mode, bool tint, bool trans) {
  if (pixelType != MEMIMG_TYPE_32BIT && pixelType != MEMIMG_TYPE_RGB565) return false;
  if (kind != SOURCE_PLAIN && kind != SOURCE_PALETTE) return false;
  return !(mode == 0 && kind == SOURCE_PLAIN && !tint && !trans);
}

}  // namespace

BLIT_LOOP SelectSse2BlitLoop(int pixelType, int sourceKind, int mode, bool tint, bool trans) {
  if (!IsServed(pixelType, sourceKind, mode, tint, trans)) return nullptr;
  return WithSse2Config<PATH_BLIT>(pixelType, sourceKind, mode, tint, trans,
                                   [](auto c) -> BLIT_LOOP { return &BlitRowsSse2<decltype(c)>; });
}

STRETCH_LOOP SelectSse2StretchLoop(int pixelType, int sourceKind, int mode, bool tint, bool trans) {
  if (!IsServed(pixelType, sourceKind, mode, tint, trans)) return nullptr;
  return WithSse2Config<PATH_GENERAL>(pixelType, sourceKind, mode, tint, trans,
                                      [](auto c) -> STRETCH_LOOP { return &StretchRowsSse2<decltype(c)>; });
}
