// The CPU kernel of the Gaussian blur: one direction of the separable blur over a whole ARGB8
// image, every byte of a pixel alike and apart, in 16.16 fixed point. With c the byte at a
// pixel and K the weights (n of them: 4, 8 or 16, that is 13, 29 or 61 taps):
//   out = (c(x) K[0] + ((sum for j = 1 .. n-1 of K[j] (c(x-2j+1) + c(x-2j) + c(x+2j-1) + c(x+2j))) >> 1)) >> 16
// where a tap beyond the image reads the image's edge pixel of that row (rows) or column
// (columns). Every sum is a whole number that fits 32 bits, so the result does not depend on
// the order of the additions: the rows and the columns are both walked row by row, 16 bytes at
// a time with SSE2, and the weights of two taps are applied in one multiply-add.
#pragma once
#include "image/raster_image.h"

// Rows: `in` blurred along each row into `out`; columns: down each column. Both images hold
// width x height of `in`. The vector loops take the filter's weights (normalised: K[0] +
// 2 (K[1] + .. + K[n-1]) at most 65536, so each side weight is below 32768); other weights
// run through the plain loops, with the same bytes.
void BlurGaussRows(const RASTER_IMAGE* in, RASTER_IMAGE* out, int n, const int* k);
void BlurGaussColumns(const RASTER_IMAGE* in, RASTER_IMAGE* out, int n, const int* k);
// The image the rows write and the columns read, width x height: ARGB8 with its pitch moved
// off multiples of 512 bytes, so that the rows one output row's taps read at once do not all
// fall into the same few sets of the processor's caches (at a pitch of 4 KB the columns ran at
// a fifth of their speed). 0, or -1 when it cannot be allocated.
int AllocGaussIntermediate(int width, int height, RASTER_IMAGE* out);
