// The MMX forms of the 32-bit short cuts. They are instantiations of the same loops with
// short-cut policies whose whole-pixel operation runs in MMX registers: byte-wise saturating
// add and subtract (the fourth byte saturates too) and the halving blend. This file alone is
// compiled with MMX instructions enabled; its loops are picked only when the MMX flag is on.
#include <mmintrin.h>

#include "softrender/kernel_loops.h"

namespace {

struct SHORT_MMX_HALVE {
  static constexpr bool kActive = true, kPairs = false;
  template <class PX> static uint32_t One(uint32_t d, uint32_t s) {
    const __m64 mask = _mm_cvtsi32_si64(0x7F7F7F);
    __m64 hs = _mm_and_si64(_mm_srli_si64(_mm_cvtsi32_si64((int)s), 1), mask);
    __m64 hd = _mm_and_si64(_mm_srli_si64(_mm_cvtsi32_si64((int)d), 1), mask);
    return (uint32_t)_mm_cvtsi64_si32(_mm_add_pi8(hs, hd));
  }
  static void Finish() { _mm_empty(); }
};
struct SHORT_MMX_ADD {
  static constexpr bool kActive = true, kPairs = false;
  template <class PX> static uint32_t One(uint32_t d, uint32_t s) {
    return (uint32_t)_mm_cvtsi64_si32(_mm_adds_pu8(_mm_cvtsi32_si64((int)d), _mm_cvtsi32_si64((int)s)));
  }
  static void Finish() { _mm_empty(); }
};
struct SHORT_MMX_SUBTRACT {
  static constexpr bool kActive = true, kPairs = false;
  template <class PX> static uint32_t One(uint32_t d, uint32_t s) {
    return (uint32_t)_mm_cvtsi64_si32(_mm_subs_pu8(_mm_cvtsi32_si64((int)d), _mm_cvtsi32_si64((int)s)));
  }
  static void Finish() { _mm_empty(); }
};

template <class SHORT, int KIND>
BLIT_LOOP PickBlit(bool trans) {
  return trans ? &BlitRows<LOOP_CONFIG<PIXEL_32, KIND, 0, false, false, true, PATH_BLIT, SHORT>>
               : &BlitRows<LOOP_CONFIG<PIXEL_32, KIND, 0, false, false, false, PATH_BLIT, SHORT>>;
}

template <class SHORT>
BLIT_LOOP PickBlitKind(int kind, bool trans) {
  return kind == SOURCE_PALETTE ? PickBlit<SHORT, SOURCE_PALETTE>(trans) : PickBlit<SHORT, SOURCE_PLAIN>(trans);
}

}  // namespace

BLIT_LOOP SelectMmxBlitLoop(int sourceKind, int mode, bool trans) {
  if (mode == 1) return PickBlitKind<SHORT_MMX_HALVE>(sourceKind, trans);
  if (mode == 2) return PickBlitKind<SHORT_MMX_ADD>(sourceKind, trans);
  return PickBlitKind<SHORT_MMX_SUBTRACT>(sourceKind, trans);
}

STRETCH_LOOP SelectMmxStretchLoop(int sourceKind, bool trans) {
  using C = SHORT_MMX_SUBTRACT;
  if (sourceKind == SOURCE_PALETTE)
    return trans ? &StretchRows<LOOP_CONFIG<PIXEL_32, SOURCE_PALETTE, 0, false, false, true, PATH_GENERAL, C>, true>
                 : &StretchRows<LOOP_CONFIG<PIXEL_32, SOURCE_PALETTE, 0, false, false, false, PATH_GENERAL, C>, true>;
  return trans ? &StretchRows<LOOP_CONFIG<PIXEL_32, SOURCE_PLAIN, 0, false, false, true, PATH_GENERAL, C>, true>
               : &StretchRows<LOOP_CONFIG<PIXEL_32, SOURCE_PLAIN, 0, false, false, false, PATH_GENERAL, C>, true>;
}
