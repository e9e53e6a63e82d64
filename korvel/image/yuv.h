// YUV video frames to 32-bit pixels (blue, green, red, 255) with one fixed-point formula,
// and the lookup tables of the movie decoder's own YUV conversion.
#pragma once
#include <cstdint>

#include "image/raster_image.h"

int DecodeYV12Frame(const void* frame, int width, int height, RASTER_IMAGE* dest);
int DecodeNV11Frame(const void* frame, int width, int height, RASTER_IMAGE* dest);
int DecodeNV12Frame(const void* frame, int width, int height, RASTER_IMAGE* dest);
int DecodeYUY2Frame(const void* frame, int width, int height, RASTER_IMAGE* dest);
int DecodeUYVYFrame(const void* frame, int width, int height, RASTER_IMAGE* dest);
int DecodeYVYUFrame(const void* frame, int width, int height, RASTER_IMAGE* dest);

// Limited-range BT.601 tables in 1/16384 units, for the movie decoder: a clamp table covering
// -512 to 767 and the five factor tables of Y, V for red, U and V for green, U for blue.
struct YUV_TO_RGB_TABLES {
  uint8_t clamp[1280];  // index value + 512
  int32_t y[256];
  int32_t redV[256];
  int32_t greenU[256];
  int32_t greenV[256];
  int32_t blueU[256];
};
extern YUV_TO_RGB_TABLES YuvToRgbTables;
void BuildYuvToRgbTables();
