// Helpers shared by the CPU kernels: clipping, blend-mode mapping, the per-call blend
// context and the processor's MMX support.
#pragma once
#include <windows.h>
#include <cstdint>

#include "image/memimg.h"
#include "softrender/kernel_jobs.h"

// The draw state's clip rectangle kept inside the target, so that no kernel writes past its
// pixels even when a caller's clip rectangle reaches beyond them.
RECT GetDrawBounds(const MEMIMG* target);

// Clips (left, top, right, bottom), given in 64 bits so that positions near the int limits
// cannot overflow, to the draw state's clip rectangle (itself kept inside the target).
// Returns 0 when nothing is left.
int ClipToDrawArea(const MEMIMG* target, long long left, long long top, long long right, long long bottom,
                   RECT* out);

// Maps the draw state's blend mode and parameter to the mode a loop draws with: mode 1 at
// p = 255 becomes 0; -1 when nothing is drawn (unknown modes, p = 0 in modes 1 and 2, and in
// mode 3 unless subtractAtZero).
int SelectDrawMode(int mode, int param, bool subtractAtZero);

// The draw state's blend parameter, kept inside 0-255 for the table lookups.
int GetDrawParam();
int IsTintOn();
BLEND_CONTEXT MakeBlendContext(const MEMIMG_STORE* source);

// The MMX flag the kernels read: the system information's IsMmxEnabled, unless
// ForceSoftRenderMmx (0 off, 1 on, -1 back to the system information) set it, which lets tests
// and the benchmark run both paths on one machine.
int IsSoftRenderMmxOn();
void ForceSoftRenderMmx(int flag);

// Whether the SSE2 loops are picked where they exist (on unless ForceSoftRenderSse2(0)); the
// build requires SSE2, the switch lets tests and the benchmark compare them with the plain
// loops.
int IsSoftRenderSse2On();
void ForceSoftRenderSse2(int flag);

// Whether textured triangles cut each span once to the pixels whose texels lie inside the
// source and draw those without a test per pixel (on unless ForceSoftRenderSpans(0)); the
// per-pixel loops, which test every texel coordinate, give the same pixels and stay as the
// reference the tests and the benchmark compare the span loops with.
int IsSoftRenderSpansOn();
void ForceSoftRenderSpans(int flag);
