// In-memory images of any colour format: allocation, measurement (DXT data and mip chains
// included) and clipped rectangle copies.
#pragma once
#include "image/color_format.h"

struct RASTER_IMAGE {
  COLOR_FORMAT format;
  int width;
  int height;
  int pitch;  // bytes from one row to the next; 0 for DXT data
  void* pixels;  // tracked allocation owned by the image, null when empty
  int mipLevels;  // 0 or 1: one level; N >= 2: N levels stored one after the other
};

// The layout of one mip level of an image: its size in pixels, its rows (block rows for DXT
// data) and the bytes of each row. Level 0 keeps the image's own pitch; the smaller levels
// follow it tightly packed. DXT levels count whole 4 x 4 blocks, at least one each way.
struct MIP_LEVEL_LAYOUT {
  int width;
  int height;
  int rowBytes;
  int rowCount;
  int size;
};

int GetMipLevelLayout(const COLOR_FORMAT* format, int width, int height, int pitch, int level, MIP_LEVEL_LAYOUT* out);
// Byte offset of a mip level from the start of the image data.
int GetMipLevelOffset(const COLOR_FORMAT* format, int width, int height, int pitch, int level);
// Bytes of one DXT block of a format kind (0 for plain data).
int GetDxtBlockBytes(int kind);

int AllocImageWithFormat(int width, int height, const COLOR_FORMAT* format, RASTER_IMAGE* out);
int AllocARGB8Image(int width, int height, RASTER_IMAGE* out);
int AllocXRGB8Image(int width, int height, RASTER_IMAGE* out);
RASTER_IMAGE* DisposeImage(RASTER_IMAGE* image);
int ComputeImageDataSize(const RASTER_IMAGE* image);
int CopyImageRect(int srcX, int srcY, int width, int height, int destX, int destY, const RASTER_IMAGE* src,
                  RASTER_IMAGE* dest);
int CopyWholeImage(int destX, int destY, const RASTER_IMAGE* src, RASTER_IMAGE* dest);

// A plain (decoded) image to read pixels from: the image itself when it holds plain data,
// else a decoded copy in *decoded, which the caller disposes. Null when DXT data cannot be
// decoded. The image given is never changed.
const RASTER_IMAGE* GetPlainImage(const RASTER_IMAGE* image, RASTER_IMAGE* decoded);
// Makes the image itself plain, decoding DXT data in place; -1 when that cannot be done.
int MakeImagePlain(RASTER_IMAGE* image);
