// The shader path of a pass: the device state for a filter pixel shader, the one quad that
// draws the pass into its target, and the skeleton every pass function's shader path follows.
#pragma once
#include "filter/filter_record.h"

// Prepares the device for the selected pixel shader over the selected stage graphs: draw
// states without a texture of their own, the filter's blend and alpha test, no vertex shader
// and the pre-transformed format of the quad (flat2D 1) or its 3D form; constant sets 0 and 1
// (constantSets non-zero) or 0 and 3. The result of binding the pixel shader.
int SetFilterShaderState(int drawFlags, int flat2D, int constantSets);
// Draws the pass: the pass source's rectangle (the source rectangle in the first pass, the
// destination rectangle in later ones) into the pass destination at the destination point,
// shrunk by the divisor; 0, or -1 (nothing drawn) when a graph is not live or a graph it reads
// has no texture piece.
int DrawFilterQuad(FILTER_PASS_RECORD* record, int divisor);
// The shader-pass skeleton: sampling (point sampling when asked), the shader of the slot
// loaded on first use, `registers` constant registers written into set 1 from c0 for the
// draw and cleared after it, a table graph on stage 1 for filters that read one (-1 none; a
// blend's stage 1 is its blend graph); 0, or -1 when the shader is missing or the quad cannot
// be drawn.
int RunFilterShaderPass(FILTER_PASS_RECORD* record, int shader, const float* constants, int registers,
                        int pointSampling, int divisor, HANDLE_VALUE stage1Graph);
// The skeleton's second half, for a shader handle already loaded: the selection saved, the
// constants written, the shader (and the stage-1 graph) selected, the quad drawn, all put back.
int DrawFilterShaderQuad(FILTER_PASS_RECORD* record, HANDLE_VALUE shader, const float* constants, int registers,
                         int divisor, HANDLE_VALUE stage1Graph);
