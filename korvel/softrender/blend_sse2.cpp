// The SSE2 loops of the blit and the stretched blit: the row loop of blend_sse2.h over the
// blit's rows, and over the stretched blit's rows through a row of byte offsets.
#include "softrender/blend_sse2.h"

namespace {

template <class C, bool RECIPROCAL>
void BlitRowsSse2(const BLIT_JOB& job) {
  using L = SSE2_LAYOUT<typename C::PX, RECIPROCAL>;
  const BLEND_CONTEXT context = job.context;  // a copy the target's stores cannot alias
  const bool keyUsable = IsKeyUsable<C>(context);
  for (int y = 0; y < job.height; y++)
    DrawRow<C, L, true>(job.target + y * job.targetPitch, job.source + y * job.sourcePitch, nullptr, job.width,
                        context, keyUsable);
}

// The stretched blit: the column table becomes byte offsets into a source row. Where the
// drawn pixels do not depend on the target (an opaque untinted copy), a target row that
// samples the same source row as the one above it is a copy of that row.
template <class C, bool RECIPROCAL>
void StretchRowsSse2(const STRETCH_JOB& job) {
  using L = SSE2_LAYOUT<typename C::PX, RECIPROCAL>;
  constexpr bool kRowsRepeat = C::kMode == 0 && !C::kTint && !C::kTrans;
  const BLEND_CONTEXT context = job.context;  // a copy the target's stores cannot alias
  const bool keyUsable = IsKeyUsable<C>(context);
  const int width = job.width;
  int* offsets = job.columns;
  FillStretchColumns<StepsWhileNegative<C>()>(job);
  for (int x = 0; x < width; x++) offsets[x] *= C::SRC::kBytes;
  int row = job.firstRow, drawnRow = -1;
  int32_t rowAcc = job.ystart;
  for (int y = 0; y < job.height; y++) {
    uint8_t* d = job.target + y * job.targetPitch;
    if (kRowsRepeat && row == drawnRow) {
      memcpy(d, d - job.targetPitch, (size_t)width * C::PX::kBytes);
    } else {
      DrawRow<C, L, false>(d, job.source + row * job.sourcePitch, offsets, width, context, keyUsable);
      drawnRow = row;
    }
    if (y + 1 < job.height) StepAccumulator<StepsWhileNegative<C>()>(rowAcc, row, job.ydir, job.ystep);
  }
}

}  // namespace

BLIT_LOOP SelectSse2BlitLoop(int pixelType, int sourceKind, int mode, bool tint, bool trans,
                             const BLEND_CONTEXT& context) {
  // The untinted opaque copy of plain pixels is a block copy in the plain loops.
  if (!IsServed(pixelType, sourceKind) || (mode == 0 && sourceKind == SOURCE_PLAIN && !tint && !trans)) return nullptr;
  return WithSse2Config<PATH_BLIT>(pixelType, sourceKind, mode, tint, trans, AreCoefficientsBelowFull(context, tint),
                                   [](auto c, auto r) -> BLIT_LOOP { return &BlitRowsSse2<decltype(c), r.value>; });
}

STRETCH_LOOP SelectSse2StretchLoop(int pixelType, int sourceKind, int mode, bool tint, bool trans,
                                   const BLEND_CONTEXT& context) {
  if (!IsServed(pixelType, sourceKind)) return nullptr;
  return WithSse2Config<PATH_GENERAL>(
      pixelType, sourceKind, mode, tint, trans, AreCoefficientsBelowFull(context, tint),
      [](auto c, auto r) -> STRETCH_LOOP { return &StretchRowsSse2<decltype(c), r.value>; });
}
