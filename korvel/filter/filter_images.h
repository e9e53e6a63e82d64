// The CPU path of the filters: graph rectangles read into ARGB8 images (bytes blue, green,
// red, alpha), the pass's three images, and the result written back into the graph.
#pragma once
#include <windows.h>

#include <cstdint>

#include "filter/filter_record.h"

// The rectangle of the graph (the whole graph without one) as a new ARGB8 image; the part of
// the rectangle outside the graph reads as zero. 0, or -1 with no image made.
int ReadGraphToBaseImage(HANDLE_VALUE graph, RASTER_IMAGE* image, const RECT* rect);
// The pass's images: the source rectangle of the pass source (and of the blend graph), and a
// destination of width x height (-1: the source rectangle's size) that is left unwritten
// (blankDest 1) or read from the pass destination at the destination point.
int LoadFilterBaseImages(FILTER_PASS_RECORD* record, int blankDest, int width, int height);
// Frees the source and blend images and writes the destination image into the pass
// destination at the destination point; -1 when that write fails.
int StoreFilterResultImage(FILTER_PASS_RECORD* record);

// The CPU-pass skeleton: the images loaded, kernel(source, blend or null, destination) called
// with the bytes of each pixel of the work rectangle, the result stored; 0 / -1.
template <typename KERNEL>
int RunFilterCpuPass(FILTER_PASS_RECORD* record, int blankDest, KERNEL kernel) {
  if (LoadFilterBaseImages(record, blankDest, -1, -1) != 0) return -1;
  const RASTER_IMAGE& s = record->sourceImage;
  const RASTER_IMAGE& b = record->blendImage;
  const RASTER_IMAGE& d = record->destImage;
  for (int y = 0; y < record->workHeight; y++) {
    const uint8_t* sp = (const uint8_t*)s.pixels + (size_t)y * s.pitch;
    const uint8_t* bp = b.pixels != nullptr ? (const uint8_t*)b.pixels + (size_t)y * b.pitch : nullptr;
    uint8_t* dp = (uint8_t*)d.pixels + (size_t)y * d.pitch;
    for (int x = 0; x < record->workWidth; x++, sp += 4, dp += 4) {
      kernel(sp, bp, dp);
      if (bp != nullptr) bp += 4;
    }
  }
  return StoreFilterResultImage(record);
}
