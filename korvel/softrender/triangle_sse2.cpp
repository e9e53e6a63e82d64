// The SSE2 span loops of the triangle: each span's texels lie inside the source. Texels that
// follow each other along a source row (one texel per pixel, the 1:1 case) are drawn like a
// blit row; others are gathered first: their byte offsets computed four at a time, the texels
// read one by one (SSE2 has no gather) and written a vector at a time into a row of their own,
// which is then drawn like a blit row (the raw copy gathers straight into the target).
#include <algorithm>
#include <cstring>

#include "softrender/blend_sse2.h"

namespace {

const int32_t kOne = 262144;  // one texel in 14.18
const int kPiece = 256;      // texels gathered at a time

// The byte offsets of count texels from texel (0, 0), the first at (u, v), each next one
// (ux, vx) further; out holds count rounded up to 4 entries. A texel's column and row (below
// 16384) go into the two halves of a 32-bit lane, and one multiply-add of halves gives
// column x bytes + row x pitch where the pitch fits 15 bits.
void FillTexelOffsets(int* out, int count, uint32_t u, uint32_t v, int32_t ux, int32_t vx, int pitch, int bytes) {
  if (pitch > 32767) {
    for (int i = 0; i < count; i++, u += ux, v += vx) out[i] = (int)(v >> 18) * pitch + (int)(u >> 18) * bytes;
    return;
  }
  const __m128i factors = _mm_set1_epi32(bytes | pitch << 16), rowMask = _mm_set1_epi32((int)0xFFFF0000);
  const __m128i ustep = _mm_set1_epi32((int)(4u * (uint32_t)ux)), vstep = _mm_set1_epi32((int)(4u * (uint32_t)vx));
  __m128i us = _mm_setr_epi32((int)u, (int)(u + ux), (int)(u + 2 * ux), (int)(u + 3 * ux));
  __m128i vs = _mm_setr_epi32((int)v, (int)(v + vx), (int)(v + 2 * vx), (int)(v + 3 * vx));
  for (int i = 0; i < count; i += 4) {
    const __m128i place = _mm_or_si128(_mm_srli_epi32(us, 18), _mm_and_si128(_mm_srli_epi32(vs, 2), rowMask));
    _mm_storeu_si128((__m128i*)(out + i), _mm_madd_epi16(place, factors));
    us = _mm_add_epi32(us, ustep);
    vs = _mm_add_epi32(vs, vstep);
  }
}

// One vector of texels from their byte offsets (four dwords or eight words; bytes one by one).
template <int BYTES>
inline void GatherBlock(uint8_t* out, const uint8_t* source, const int* offsets) {
  auto at = [&](int i) {
    uint32_t t = 0;
    memcpy(&t, source + offsets[i], BYTES);
    return (int)t;
  };
  if constexpr (BYTES == 4) {
    _mm_storeu_si128((__m128i*)out, _mm_setr_epi32(at(0), at(1), at(2), at(3)));
  } else if constexpr (BYTES == 2) {
    __m128i v = _mm_cvtsi32_si128(at(0));
#pragma GCC unroll 8
    for (int i = 1; i < 8; i++) v = _mm_insert_epi16(v, at(i), i);
    _mm_storeu_si128((__m128i*)out, v);
  } else {
    for (int i = 0; i < 16; i++) out[i] = (uint8_t)at(i);
  }
}

// Copies the span's texels (raw, BYTES each) one after another to out.
template <int BYTES>
void GatherTexels(uint8_t* out, const TRIANGLE_SPAN& span) {
  constexpr int kBlock = 16 / BYTES;
  int offsets[kPiece];
  uint32_t u = span.u, v = span.v;
  for (int done = 0; done < span.count; done += kPiece) {
    const int n = std::min(kPiece, span.count - done);
    FillTexelOffsets(offsets, n, u, v, span.ux, span.vx, span.sourcePitch, BYTES);
    uint8_t* o = out + done * BYTES;
    int i = 0;
    for (; i + kBlock <= n; i += kBlock) GatherBlock<BYTES>(o + i * BYTES, span.source, offsets + i);
    for (; i < n; i++) memcpy(o + i * BYTES, span.source + offsets[i], BYTES);
    u += (uint32_t)n * (uint32_t)span.ux;
    v += (uint32_t)n * (uint32_t)span.vx;
  }
}

// One span. (The raw copy of a 1:1 span is a block copy the caller makes.)
template <class C, bool RECIPROCAL>
void TriangleSpanSse2(const TRIANGLE_SPAN& span, const BLEND_CONTEXT& x) {
  using L = SSE2_LAYOUT<typename C::PX, RECIPROCAL>;
  constexpr int kBytes = C::PX::kBytes, kSourceBytes = C::SRC::kBytes;
  if constexpr (IsRawCopy<C>()) {
    GatherTexels<kSourceBytes>(span.target, span);
  } else {
    const BLEND_CONTEXT context = x;  // a copy the target's stores cannot alias
    const bool keyUsable = IsKeyUsable<C>(context);
    if (span.ux == kOne && span.vx == 0) {
      const uint8_t* s = span.source + (size_t)(span.v >> 18) * span.sourcePitch + (span.u >> 18) * kSourceBytes;
      DrawRow<C, L, true>(span.target, s, nullptr, span.count, context, keyUsable);
      return;
    }
    alignas(16) uint8_t texels[kPiece * kSourceBytes];
    TRIANGLE_SPAN piece = span;
    for (int done = 0; done < span.count; done += kPiece) {
      piece.count = std::min(kPiece, span.count - done);
      GatherTexels<kSourceBytes>(texels, piece);
      DrawRow<C, L, true>(span.target + done * kBytes, texels, nullptr, piece.count, context, keyUsable);
      piece.u += (uint32_t)piece.count * (uint32_t)span.ux;
      piece.v += (uint32_t)piece.count * (uint32_t)span.vx;
    }
  }
}

}  // namespace

TRIANGLE_SPAN_LOOP SelectSse2TriangleSpanLoop(int pixelType, int sourceKind, int mode, bool tint, bool trans,
                                              const BLEND_CONTEXT& context) {
  if (!IsServed(pixelType, sourceKind)) return nullptr;
  return WithSse2Config<PATH_TRIANGLE>(
      pixelType, sourceKind, mode, tint, trans, AreCoefficientsBelowFull(context, tint),
      [](auto c, auto r) -> TRIANGLE_SPAN_LOOP { return &TriangleSpanSse2<decltype(c), r.value>; });
}
