// The inner loops of the CPU kernels, written once over a LOOP_CONFIG and instantiated per
// combination. Internal linkage for the same reason as blend_rule.h.
#pragma once
#include <type_traits>

#include "image/memimg.h"
#include "softrender/blend_rule.h"

namespace {

// Whether a loop draws the source's pixels as they are (an opaque untinted copy of a plain
// source), which a block copy does where they follow each other.
template <class C>
constexpr bool IsRawCopy() {
  return C::kMode == 0 && C::SRC::kKind == SOURCE_PLAIN && !C::kTrans && !C::kGraph && !C::kTint &&
         !C::Short::kActive;
}

// Per-pixel path: every pixel of the rectangle, pairs for the RGB565 pair short cuts.
template <class C>
void BlitRows(const BLIT_JOB& job) {
  using PX = typename C::PX;
  using Word = typename PX::Word;
  using SRC = typename C::SRC;
  for (int y = 0; y < job.height; y++) {
    Word* d = (Word*)(job.target + y * job.targetPitch);
    const uint8_t* s = job.source + y * job.sourcePitch;
    const uint8_t* g = C::kGraph ? job.graph + y * job.graphPitch : nullptr;
    if constexpr (IsRawCopy<C>()) {
      memcpy(d, s, (size_t)job.width * PX::kBytes);  // an opaque untinted copy is a block copy
    } else if constexpr (C::Short::kPairs && PX::kBytes == 2) {
      int x = 0;
      for (; x + 1 < job.width; x += 2) {
        uint32_t r0 = SRC::Raw(s + x * SRC::kBytes), r1 = SRC::Raw(s + (x + 1) * SRC::kBytes);
        bool draw0 = !C::kTrans || r0 != job.context.transparent;
        bool draw1 = !C::kTrans || r1 != job.context.transparent;
        uint32_t c0 = SRC::Colour(r0, job.context.palette), c1 = SRC::Colour(r1, job.context.palette);
        if (draw0 && draw1) {
          uint32_t pair = C::Short::Pair((uint32_t)d[x] | (uint32_t)d[x + 1] << 16, c0 | c1 << 16);
          d[x] = (Word)pair;
          d[x + 1] = (Word)(pair >> 16);
        } else if (draw0) {
          d[x] = (Word)C::Short::template One<PX>(d[x], c0);
        } else if (draw1) {
          d[x + 1] = (Word)C::Short::template One<PX>(d[x + 1], c1);
        }
      }
      if (x < job.width) DrawSourcePixel<C>(d + x, s + x * SRC::kBytes, nullptr, job.context);
    } else {
      for (int x = 0; x < job.width; x++)
        DrawSourcePixel<C>(d + x, s + x * SRC::kBytes, C::kGraph ? g + x : nullptr, job.context);
    }
  }
  C::Short::Finish();
}

// Run path: walks the transparent-run table; kind 0 skips, kinds 1 and 2 draw (for an alpha
// source kind 1 as fully opaque, kind 2 with the pixel's alpha as a weight).
template <class C>
void RunRows(const BLIT_JOB& job) {
  using PX = typename C::PX;
  using Word = typename PX::Word;
  using SRC = typename C::SRC;
  const uint8_t* run = job.runs;
  for (int y = 0; y < job.height; y++) {
    Word* d = (Word*)(job.target + y * job.targetPitch);
    const uint8_t* s = job.source + y * job.sourcePitch;
    const uint8_t* g = C::kGraph ? job.graph + y * job.graphPitch : nullptr;
    int x = 0;
    for (;;) {
      uint8_t byte = *run++;
      int kind = byte >> 6, length = (byte & 63) + 1;
      if (kind == 3) break;
      if (kind != TRANS_RUN_TRANSPARENT) {
        for (int i = x; i < x + length && i < job.width; i++) {
          uint32_t raw = SRC::Raw(s + i * SRC::kBytes);
          bool partial = C::kAlpha && kind == TRANS_RUN_PARTIAL;
          int w = C::kGraph ? job.context.weights[g[i]] : 0;
          d[i] = (Word)BlendPixel<C>(d[i], SRC::Colour(raw, job.context.palette), SRC::Alpha(raw), partial, w,
                                     job.context);
        }
      }
      x += length;
    }
  }
}

// One accumulator step of the stretched blit. NEGATIVE selects the loops that keep advancing
// only while the accumulator is negative (else while it is not positive).
template <bool NEGATIVE>
inline void StepAccumulator(int32_t& acc, int& position, int dir, int32_t step) {
  acc -= 65536;
  if (acc <= 0) {
    do {
      position += dir;
      acc += step;
    } while (NEGATIVE ? acc < 0 : acc <= 0);
  }
}

// Fills the job's column table: the source column of every target column of the rectangle.
template <bool NEGATIVE>
void FillStretchColumns(const STRETCH_JOB& job) {
  int column = job.firstColumn;
  int32_t acc = job.xstart;
  for (int x = 0; x < job.width; x++) {
    job.columns[x] = column;
    StepAccumulator<NEGATIVE>(acc, column, job.xdir, job.xstep);
  }
}

// The stretched blit's rows: the row accumulator steps once per target row, the columns come
// from the table.
template <class C, bool NEGATIVE>
void StretchRows(const STRETCH_JOB& job) {
  using PX = typename C::PX;
  using Word = typename PX::Word;
  using SRC = typename C::SRC;
  FillStretchColumns<NEGATIVE>(job);
  int row = job.firstRow;
  int32_t rowAcc = job.ystart;
  for (int y = 0; y < job.height; y++) {
    Word* d = (Word*)(job.target + y * job.targetPitch);
    const uint8_t* s = job.source + row * job.sourcePitch;
    const uint8_t* g = C::kGraph ? job.graph + row * job.graphPitch : nullptr;
    for (int x = 0; x < job.width; x++) {
      const int column = job.columns[x];
      DrawSourcePixel<C>(d + x, s + column * SRC::kBytes, C::kGraph ? g + column : nullptr, job.context);
    }
    if (y + 1 < job.height) StepAccumulator<NEGATIVE>(rowAcc, row, job.ydir, job.ystep);
  }
  C::Short::Finish();
}

// The copy loops and the subtract short cut advance while the accumulator is negative, every
// other loop while it is not positive.
template <class C>
constexpr bool StepsWhileNegative() {
  return C::Short::kActive || (C::kMode == 0 && !C::kAlpha && !C::kTint && !C::kGraph);
}

// ---- Selection helpers ----------------------------------------------------------------------

template <class F>
auto WithBool(bool value, F f) {
  return value ? f(std::true_type{}) : f(std::false_type{});
}

// Calls f with the mode as a compile-time constant; the caller has mapped the mode to one of
// the drawing modes 0, 1, 2, 3, 4, 10, 11.
template <class F>
auto WithMode(int mode, F f) {
  switch (mode) {
    case 0: return f(std::integral_constant<int, 0>{});
    case 1: return f(std::integral_constant<int, 1>{});
    case 2: return f(std::integral_constant<int, 2>{});
    case 3: return f(std::integral_constant<int, 3>{});
    case 4: return f(std::integral_constant<int, 4>{});
    case 10: return f(std::integral_constant<int, 10>{});
    default: return f(std::integral_constant<int, 11>{});
  }
}

template <class F>
auto WithSourceKind(int kind, F f) {
  switch (kind) {
    case SOURCE_PALETTE: return f(std::integral_constant<int, SOURCE_PALETTE>{});
    case SOURCE_ALPHA: return f(std::integral_constant<int, SOURCE_ALPHA>{});
    default: return f(std::integral_constant<int, SOURCE_PLAIN>{});
  }
}

}  // namespace
