// The per-pixel colour filters: each output pixel from the source pixel at the same place.
// Each is one pass of the dispatcher, by its pixel shader or by its CPU pass over ARGB8 images
// (which defines the result); 0 / -1.
#pragma once
#include "filter/filter_record.h"

// Luminance tinted with a fixed chroma; cb and cr are the list values x 100 / 255.
int RunMonoFilter(FILTER_PASS_RECORD* record, float cb, float cr);
int RunInvertFilter(FILTER_PASS_RECORD* record);
int RunPremultipliedAlphaFilter(FILTER_PASS_RECORD* record);
// Colour 1 below the threshold (0-255), colour 2 elsewhere; colours as red, green, blue,
// alpha in 0-1. -1 when a colour is missing.
int RunTwoColorFilter(FILTER_PASS_RECORD* record, float threshold, const float* color1, const float* color2);
// Pixels darker (compare mode 2) or brighter (mode 5) than the brightness (0-255) are clipped:
// filled with the fill colour when the fill flag is set, else left as the destination had them.
// -1 for another compare mode, or for a fill flag without a fill colour.
int RunBrightClipFilter(FILTER_PASS_RECORD* record, int compareMode, float brightness, int fill,
                        const float* fillColor);

// The CPU path's luminance of a B, G, R pixel in units of 1/4096.
inline int FilterLuminance(const unsigned char* bgr) { return 1224 * bgr[2] + 2404 * bgr[1] + 466 * bgr[0]; }
