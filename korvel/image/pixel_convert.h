// The one conversion of a rectangle of pixels between two colour formats. The first of eight
// paths whose condition holds does the work: palette remap, into a palette, palette copy,
// same layout, skip-key, key-to-alpha on an equal layout, the direct conversions of the common
// pairs, and the general per-channel conversion with rescaling and dithering.
#pragma once
#include <windows.h>

#include "image/color_format.h"

enum DITHER_MODE { DITHER_NONE = 0, DITHER_ORDERED = 1, DITHER_REMAINDER = 2 };

// Returns 0, -1 for an empty rectangle, or the largest index copied by a palette copy.
// Nothing is clipped: the rectangle lies inside both images.
int ConvertPixelRect(void* destPixels, int destPitch, const COLOR_FORMAT* destFormat, const void* srcPixels,
                     int srcPitch, const COLOR_FORMAT* srcFormat, const void* alphaPixels, int alphaPitch,
                     const COLOR_FORMAT* alphaFormat, int destX, int destY, const RECT* srcRect, int mirror,
                     int keyToAlpha, unsigned keyColor, int ditherMode, int clearColor, int alphaFromRed,
                     int skipKey, int paletteRemap);
