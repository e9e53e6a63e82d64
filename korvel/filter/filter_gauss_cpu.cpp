#include "filter/filter_gauss_cpu.h"

#include <emmintrin.h>

#include <cstddef>
#include <cstdint>

namespace {
// Taps of one output byte: the centre, then for each j the four taps of K[j] (before the
// centre at 2j-1 and 2j, after it at 2j-1 and 2j). TAPS = 1 + 4 (N - 1).
constexpr int Taps(int n) { return 1 + 4 * (n - 1); }

// The rule for one byte, given each tap's byte pointer and the byte's offset from them.
template <int N>
inline uint8_t BlurByte(const uint8_t* const* taps, size_t offset, const int* k) {
  int32_t sides = 0;
  for (int j = 1; j < N; j++) {
    const uint8_t* const* t = taps + 4 * j - 3;
    sides += k[j] * (t[0][offset] + t[1][offset] + t[2][offset] + t[3][offset]);
  }
  return (uint8_t)((taps[0][offset] * k[0] + (sides >> 1)) >> 16);
}

// The weights as the vector loop applies them: the side weights two by two, (K[j], K[j+1])
// in each pair of 16-bit lanes (K[n] taken as 0), and the centre's as (A, B) with
// A + 2B = K[0], both below 32768, applied to (c, 2c).
template <int N>
struct VECTOR_WEIGHTS {
  __m128i sides[N / 2] = {};
  __m128i centre = {};
  // False when a weight does not fit the lanes, or the weights add up (the centre once, the
  // others twice) to more than 65536, so that a result could leave the byte.
  bool Set(const int* k) {
    if (k[0] < 0 || k[0] > 65536) return false;
    int sum = k[0];
    for (int j = 1; j < N; j++) {
      if (k[j] < 0 || k[j] > 32767) return false;
      sum += 2 * k[j];
    }
    if (sum > 65536) return false;
    for (int j = 1; j < N; j += 2) {
      int next = j + 1 < N ? k[j + 1] : 0;
      sides[j / 2] = _mm_set1_epi32((int)((uint32_t)(uint16_t)next << 16 | (uint16_t)k[j]));
    }
    int b = k[0] / 3, a = k[0] - 2 * b;
    centre = _mm_set1_epi32((int)((uint32_t)(uint16_t)b << 16 | (uint16_t)a));
    return true;
  }
};

// The 16-bit sums of the four taps' 16 bytes at the offset: bytes 0-7 and 8-15.
inline void SumOfFour(const uint8_t* const* t, size_t offset, __m128i* low, __m128i* high) {
  const __m128i zero = _mm_setzero_si128();
  __m128i a = _mm_loadu_si128((const __m128i*)(t[0] + offset));
  __m128i b = _mm_loadu_si128((const __m128i*)(t[1] + offset));
  __m128i c = _mm_loadu_si128((const __m128i*)(t[2] + offset));
  __m128i d = _mm_loadu_si128((const __m128i*)(t[3] + offset));
  *low = _mm_add_epi16(_mm_add_epi16(_mm_unpacklo_epi8(a, zero), _mm_unpacklo_epi8(b, zero)),
                       _mm_add_epi16(_mm_unpacklo_epi8(c, zero), _mm_unpacklo_epi8(d, zero)));
  *high = _mm_add_epi16(_mm_add_epi16(_mm_unpackhi_epi8(a, zero), _mm_unpackhi_epi8(b, zero)),
                        _mm_add_epi16(_mm_unpackhi_epi8(c, zero), _mm_unpackhi_epi8(d, zero)));
}

// The rule for the 16 bytes at the offset: the side sums in four 32-bit vectors (bytes 0-3,
// 4-7, 8-11, 12-15), the centre's products likewise, then (centre + (sides >> 1)) >> 16.
template <int N>
inline __m128i Blur16(const uint8_t* const* taps, size_t offset, const VECTOR_WEIGHTS<N>& w) {
  const __m128i zero = _mm_setzero_si128();
  __m128i s0 = zero, s1 = zero, s2 = zero, s3 = zero;
  for (int j = 1; j < N; j += 2) {
    __m128i aLow, aHigh, bLow = zero, bHigh = zero;
    SumOfFour(taps + 4 * j - 3, offset, &aLow, &aHigh);
    if (j + 1 < N) SumOfFour(taps + 4 * j + 1, offset, &bLow, &bHigh);
    const __m128i pair = w.sides[j / 2];
    s0 = _mm_add_epi32(s0, _mm_madd_epi16(_mm_unpacklo_epi16(aLow, bLow), pair));
    s1 = _mm_add_epi32(s1, _mm_madd_epi16(_mm_unpackhi_epi16(aLow, bLow), pair));
    s2 = _mm_add_epi32(s2, _mm_madd_epi16(_mm_unpacklo_epi16(aHigh, bHigh), pair));
    s3 = _mm_add_epi32(s3, _mm_madd_epi16(_mm_unpackhi_epi16(aHigh, bHigh), pair));
  }
  __m128i c = _mm_loadu_si128((const __m128i*)(taps[0] + offset));
  __m128i cLow = _mm_unpacklo_epi8(c, zero), cHigh = _mm_unpackhi_epi8(c, zero);
  __m128i twiceLow = _mm_add_epi16(cLow, cLow), twiceHigh = _mm_add_epi16(cHigh, cHigh);
  __m128i r0 = _mm_madd_epi16(_mm_unpacklo_epi16(cLow, twiceLow), w.centre);
  __m128i r1 = _mm_madd_epi16(_mm_unpackhi_epi16(cLow, twiceLow), w.centre);
  __m128i r2 = _mm_madd_epi16(_mm_unpacklo_epi16(cHigh, twiceHigh), w.centre);
  __m128i r3 = _mm_madd_epi16(_mm_unpackhi_epi16(cHigh, twiceHigh), w.centre);
  r0 = _mm_srai_epi32(_mm_add_epi32(r0, _mm_srai_epi32(s0, 1)), 16);
  r1 = _mm_srai_epi32(_mm_add_epi32(r1, _mm_srai_epi32(s1, 1)), 16);
  r2 = _mm_srai_epi32(_mm_add_epi32(r2, _mm_srai_epi32(s2, 1)), 16);
  r3 = _mm_srai_epi32(_mm_add_epi32(r3, _mm_srai_epi32(s3, 1)), 16);
  return _mm_packus_epi16(_mm_packs_epi32(r0, r1), _mm_packs_epi32(r2, r3));
}

// Rows: each row's pixels near its ends by the plain rule with the taps held inside the row;
// between them, where every tap lies inside the row, four pixels at a time.
template <int N>
void Rows(const RASTER_IMAGE* in, RASTER_IMAGE* out, const int* k) {
  const int w = in->width, reach = 2 * (N - 1);
  VECTOR_WEIGHTS<N> weights;
  bool vector = weights.Set(k);
  for (int y = 0; y < in->height; y++) {
    const uint8_t* row = (const uint8_t*)in->pixels + (size_t)y * in->pitch;
    uint8_t* dest = (uint8_t*)out->pixels + (size_t)y * out->pitch;
    // Pixels [inside, end) are drawn by the vector loop.
    int inside = 0, end = 0;
    const uint8_t* taps[Taps(N)];
    if (vector && w >= 2 * reach + 4) {
      // Tap pointers for the pixel at `reach`; pixel x then reads them 4 (x - reach) bytes on.
      taps[0] = row + 4 * reach;
      for (int j = 1; j < N; j++) {
        taps[4 * j - 3] = row + 4 * (reach - 2 * j + 1);
        taps[4 * j - 2] = row + 4 * (reach - 2 * j);
        taps[4 * j - 1] = row + 4 * (reach + 2 * j - 1);
        taps[4 * j] = row + 4 * (reach + 2 * j);
      }
      inside = reach;
      end = inside + (w - 2 * reach) / 4 * 4;
      for (int x = inside; x < end; x += 4)
        _mm_storeu_si128((__m128i*)(dest + 4 * x), Blur16<N>(taps, (size_t)(x - reach) * 4, weights));
    }
    for (int x = 0; x < w; x++) {
      if (x == inside && end > inside) x = end;
      if (x >= w) break;
      auto at = [&](int i) { return row + 4 * (i < 0 ? 0 : i >= w ? w - 1 : i); };
      const uint8_t* pixel[Taps(N)];
      pixel[0] = at(x);
      for (int j = 1; j < N; j++) {
        pixel[4 * j - 3] = at(x - 2 * j + 1), pixel[4 * j - 2] = at(x - 2 * j);
        pixel[4 * j - 1] = at(x + 2 * j - 1), pixel[4 * j] = at(x + 2 * j);
      }
      for (int c = 0; c < 4; c++) dest[4 * x + c] = BlurByte<N>(pixel, c, k);
    }
  }
}

// Columns, walked row by row: for each output row the rows its taps read (held inside the
// image), then the whole row 16 bytes at a time and its last bytes by the plain rule.
template <int N>
void Columns(const RASTER_IMAGE* in, RASTER_IMAGE* out, const int* k) {
  const int h = in->height;
  const size_t bytes = (size_t)in->width * 4, whole = bytes / 16 * 16;
  VECTOR_WEIGHTS<N> weights;
  bool vector = weights.Set(k);
  auto row = [&](int y) { return (const uint8_t*)in->pixels + (size_t)(y < 0 ? 0 : y >= h ? h - 1 : y) * in->pitch; };
  for (int y = 0; y < h; y++) {
    const uint8_t* taps[Taps(N)];
    taps[0] = row(y);
    for (int j = 1; j < N; j++) {
      taps[4 * j - 3] = row(y - 2 * j + 1), taps[4 * j - 2] = row(y - 2 * j);
      taps[4 * j - 1] = row(y + 2 * j - 1), taps[4 * j] = row(y + 2 * j);
    }
    uint8_t* dest = (uint8_t*)out->pixels + (size_t)y * out->pitch;
    size_t offset = 0;
    if (vector)
      for (; offset < whole; offset += 16) _mm_storeu_si128((__m128i*)(dest + offset), Blur16<N>(taps, offset, weights));
    for (; offset < bytes; offset++) dest[offset] = BlurByte<N>(taps, offset, k);
  }
}
}  // namespace

void BlurGaussRows(const RASTER_IMAGE* in, RASTER_IMAGE* out, int n, const int* k) {
  if (n == 4) Rows<4>(in, out, k);
  else if (n == 8) Rows<8>(in, out, k);
  else Rows<16>(in, out, k);
}

void BlurGaussColumns(const RASTER_IMAGE* in, RASTER_IMAGE* out, int n, const int* k) {
  if (n == 4) Columns<4>(in, out, k);
  else if (n == 8) Columns<8>(in, out, k);
  else Columns<16>(in, out, k);
}

int AllocGaussIntermediate(int width, int height, RASTER_IMAGE* out) {
  int padded = width > 0 && width * 4 % 512 == 0 ? width + 16 : width;
  if (AllocARGB8Image(padded, height, out) != 0) return -1;
  out->width = width;
  return 0;
}
