// YUV video frames to 32-bit pixels (blue, green, red, 255) with one fixed-point formula.
#pragma once
#include <cstdint>

#include "image/raster_image.h"

int DecodeYV12Frame(const void* frame, int width, int height, RASTER_IMAGE* dest);
int DecodeNV11Frame(const void* frame, int width, int height, RASTER_IMAGE* dest);
int DecodeNV12Frame(const void* frame, int width, int height, RASTER_IMAGE* dest);
int DecodeYUY2Frame(const void* frame, int width, int height, RASTER_IMAGE* dest);
int DecodeUYVYFrame(const void* frame, int width, int height, RASTER_IMAGE* dest);
int DecodeYVYUFrame(const void* frame, int width, int height, RASTER_IMAGE* dest);

