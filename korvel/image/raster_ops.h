// Operations on one raster image: single-pixel access by 8-bit channels, zeroing, mirroring,
// turning by 180 degrees, 2 x 2 averaging into the next mip level, and scaling a rectangle.
#pragma once
#include <cstdint>

#include "image/raster_image.h"

int ZeroImageRect(RASTER_IMAGE* image, int x, int y, int width, int height);
int MirrorImageHorizontally(RASTER_IMAGE* image);
int RotateImage180(RASTER_IMAGE* image);
int HalveImageRect(const COLOR_FORMAT* format, void* destPixels, int destPitch, const void* srcPixels, int srcPitch,
                   int destX, int destY, int srcX, int srcY, int srcWidth, int srcHeight);
uint32_t ReadImagePixelCode(const RASTER_IMAGE* image, int x, int y);
int WriteImagePixel(RASTER_IMAGE* image, int x, int y, unsigned red, unsigned green, unsigned blue, unsigned alpha);
int ReadImagePixel(const RASTER_IMAGE* image, int x, int y, unsigned* red, unsigned* green, unsigned* blue,
                   unsigned* alpha);
int ScaleImageRect(int srcX1, int srcY1, int srcX2, int srcY2, const RASTER_IMAGE* src, int destX1, int destY1,
                   int destX2, int destY2, RASTER_IMAGE* dest, int bilinear);
