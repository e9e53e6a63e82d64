// The conversion of a 4:2:0 frame into XRGB8 rows: per 2 x 2 block the chroma terms
// r = Cr-to-red[Cr], g = Cb-to-green[Cb] + Cr-to-green[Cr], b = Cb-to-blue[Cb], and per luma
// sample each channel clamp[(luma[Y] + term) / 16384] (division toward zero), by the tables one
// pixel at a time, or with SSE2 sixteen pixels of two rows per step.
//
// Why the SSE2 loop gives the tables' bytes: every table entry is its factor times (sample -
// offset), so the vector loop forms the same sums exactly in 32 bits by multiply-adds of 16-bit
// pairs (luma as factor x Y + factor x -16; Cb-to-blue as 16531 x Cb' + 16531 x Cb', since 33062
// passes a 16-bit factor). It then shifts right by 14,
// which rounds down where the tables' division rounds toward zero: the two differ only for
// negative sums, where both results are 0 or below and clamp to 0. The shifted sums lie within
// -277 .. 535, so the signed pack to 16 bits keeps them and the unsigned pack to bytes is the
// clamp table.
#include <emmintrin.h>

#include "movie/yuv_tables.h"

namespace {
inline void PutPixel(uint8_t* out, uint8_t r, uint8_t g, uint8_t b) {
  out[0] = b;
  out[1] = g;
  out[2] = r;
  out[3] = 255;
}

// Blocks [first, last) of chroma row j by the tables.
void ConvertBlocksByTables(const YUV420_PLANES* p, int j, int first, int last, uint8_t* out, int outPitch) {
  const YUV_TO_RGB_TABLES& t = YuvToRgbTables;
  const uint8_t* cb = p->cb + (ptrdiff_t)j * p->chromaStride;
  const uint8_t* cr = p->cr + (ptrdiff_t)j * p->chromaStride;
  for (int i = first; i < last; i++) {
    int u = cb[i], v = cr[i];
    int32_t r = t.crToRed[v], g = t.cbToGreen[u] + t.crToGreen[v], b = t.cbToBlue[u];
    for (int k = 0; k < 4; k++) {
      int x = 2 * i + (k & 1), y = 2 * j + (k >> 1);
      int32_t luma = t.luma[p->y[(ptrdiff_t)y * p->yStride + x]];
      PutPixel(out + (ptrdiff_t)y * outPitch + (ptrdiff_t)x * 4, ClampYuvChannel(luma, r), ClampYuvChannel(luma, g),
               ClampYuvChannel(luma, b));
    }
  }
}

// The chroma terms of one channel for sixteen pixels (each sample's term twice), 4 per vector.
struct CHROMA_TERMS {
  __m128i pixels[4];
};

CHROMA_TERMS SpreadTerms(__m128i samples0to3, __m128i samples4to7) {
  return {{_mm_unpacklo_epi32(samples0to3, samples0to3), _mm_unpackhi_epi32(samples0to3, samples0to3),
           _mm_unpacklo_epi32(samples4to7, samples4to7), _mm_unpackhi_epi32(samples4to7, samples4to7)}};
}

// One channel of sixteen pixels: (luma + term) >> 14, packed to 16 bits, pixels 0-7 and 8-15.
inline void ChannelOf(const __m128i luma[4], const CHROMA_TERMS& c, __m128i* low, __m128i* high) {
  *low = _mm_packs_epi32(_mm_srai_epi32(_mm_add_epi32(luma[0], c.pixels[0]), 14),
                         _mm_srai_epi32(_mm_add_epi32(luma[1], c.pixels[1]), 14));
  *high = _mm_packs_epi32(_mm_srai_epi32(_mm_add_epi32(luma[2], c.pixels[2]), 14),
                          _mm_srai_epi32(_mm_add_epi32(luma[3], c.pixels[3]), 14));
}

// Sixteen pixels from their 16-bit channels (pixels 0-7 and 8-15 of each): clamped to bytes,
// laid out B, G, R, 255.
inline void StorePixels(uint8_t* out, __m128i b0, __m128i b1, __m128i g0, __m128i g1, __m128i r0, __m128i r1) {
  const __m128i opaque = _mm_set1_epi8((char)255);
  __m128i b = _mm_packus_epi16(b0, b1), g = _mm_packus_epi16(g0, g1), r = _mm_packus_epi16(r0, r1);
  __m128i blueGreen0 = _mm_unpacklo_epi8(b, g), blueGreen1 = _mm_unpackhi_epi8(b, g);
  __m128i redAlpha0 = _mm_unpacklo_epi8(r, opaque), redAlpha1 = _mm_unpackhi_epi8(r, opaque);
  _mm_storeu_si128((__m128i*)out, _mm_unpacklo_epi16(blueGreen0, redAlpha0));
  _mm_storeu_si128((__m128i*)(out + 16), _mm_unpackhi_epi16(blueGreen0, redAlpha0));
  _mm_storeu_si128((__m128i*)(out + 32), _mm_unpacklo_epi16(blueGreen1, redAlpha1));
  _mm_storeu_si128((__m128i*)(out + 48), _mm_unpackhi_epi16(blueGreen1, redAlpha1));
}

// Sixteen pixels of one luma row with the chroma terms of their eight blocks. The luma terms
// are multiply-adds of the pairs (Y, -16) with (factor, factor): factor x (Y - 16).
inline void ConvertRowSpan(const uint8_t* y, uint8_t* out, const CHROMA_TERMS& r, const CHROMA_TERMS& g,
                           const CHROMA_TERMS& b) {
  const __m128i zero = _mm_setzero_si128(), offset = _mm_set1_epi16(-16), factor = _mm_set1_epi16(YUV_LUMA_FACTOR);
  __m128i samples = _mm_loadu_si128((const __m128i*)y);
  __m128i y0 = _mm_unpacklo_epi8(samples, zero), y1 = _mm_unpackhi_epi8(samples, zero);
  const __m128i luma[4] = {_mm_madd_epi16(_mm_unpacklo_epi16(y0, offset), factor),
                           _mm_madd_epi16(_mm_unpackhi_epi16(y0, offset), factor),
                           _mm_madd_epi16(_mm_unpacklo_epi16(y1, offset), factor),
                           _mm_madd_epi16(_mm_unpackhi_epi16(y1, offset), factor)};
  __m128i r0, r1, g0, g1, b0, b1;
  ChannelOf(luma, r, &r0, &r1);
  ChannelOf(luma, g, &g0, &g1);
  ChannelOf(luma, b, &b0, &b1);
  StorePixels(out, b0, b1, g0, g1, r0, r1);
}

// Chroma row j: eight blocks (sixteen pixels of both luma rows) per step, the rest by the tables.
void ConvertBlockRowSse2(const YUV420_PLANES* p, int j, int blocks, uint8_t* out, int outPitch) {
  const __m128i zero = _mm_setzero_si128(), centre = _mm_set1_epi16(128);
  // Multiply-add factors for (Cb', Cr') pairs (the Cb' factor in the low half) and (Cb', Cb').
  const __m128i red = _mm_set1_epi32((int)((uint32_t)(uint16_t)YUV_CR_TO_RED_FACTOR << 16));
  const __m128i green = _mm_set1_epi32(
      (int)((uint32_t)(uint16_t)YUV_CR_TO_GREEN_FACTOR << 16 | (uint32_t)(uint16_t)YUV_CB_TO_GREEN_FACTOR));
  const __m128i blue = _mm_set1_epi16(YUV_CB_TO_BLUE_FACTOR / 2);
  static_assert(YUV_CB_TO_BLUE_FACTOR % 2 == 0, "Cb-to-blue is taken as two equal halves");
  const uint8_t* cb = p->cb + (ptrdiff_t)j * p->chromaStride;
  const uint8_t* cr = p->cr + (ptrdiff_t)j * p->chromaStride;
  const uint8_t* y0 = p->y + (ptrdiff_t)(2 * j) * p->yStride;
  const uint8_t* y1 = y0 + p->yStride;
  uint8_t* out0 = out + (ptrdiff_t)(2 * j) * outPitch;
  uint8_t* out1 = out0 + outPitch;
  int i = 0;
  for (; i + 8 <= blocks; i += 8) {
    __m128i u = _mm_sub_epi16(_mm_unpacklo_epi8(_mm_loadl_epi64((const __m128i*)(cb + i)), zero), centre);
    __m128i v = _mm_sub_epi16(_mm_unpacklo_epi8(_mm_loadl_epi64((const __m128i*)(cr + i)), zero), centre);
    __m128i uv0 = _mm_unpacklo_epi16(u, v), uv1 = _mm_unpackhi_epi16(u, v);
    __m128i uu0 = _mm_unpacklo_epi16(u, u), uu1 = _mm_unpackhi_epi16(u, u);
    CHROMA_TERMS r = SpreadTerms(_mm_madd_epi16(uv0, red), _mm_madd_epi16(uv1, red));
    CHROMA_TERMS g = SpreadTerms(_mm_madd_epi16(uv0, green), _mm_madd_epi16(uv1, green));
    CHROMA_TERMS b = SpreadTerms(_mm_madd_epi16(uu0, blue), _mm_madd_epi16(uu1, blue));
    ConvertRowSpan(y0 + 2 * i, out0 + (ptrdiff_t)i * 8, r, g, b);
    ConvertRowSpan(y1 + 2 * i, out1 + (ptrdiff_t)i * 8, r, g, b);
  }
  ConvertBlocksByTables(p, j, i, blocks, out, outPitch);
}
}  // namespace

void ConvertYuv420ToXrgb8(const YUV420_PLANES* planes, int width, int height, uint8_t* out, int outPitch,
                          YUV_CONVERT_PATH path) {
  const int blocks = width / 2;
  for (int j = 0; j < height / 2; j++) {
    if (path == YUV_CONVERT_SSE2) ConvertBlockRowSse2(planes, j, blocks, out, outPitch);
    else ConvertBlocksByTables(planes, j, 0, blocks, out, outPitch);
  }
}
