// Windows bitmap files and device-independent bitmaps: the BMP loader (palette, RLE, 24- and
// 32-bit layouts decoded here, every other layout drawn by GDI into 24 bits), and the moves
// between DIBs and raster images.
#pragma once
#include <windows.h>

#include "file/file_access.h"
#include "image/raster_image.h"

// A BITMAPINFO with room for 256 colours and 4 spare bytes.
enum { DIB_INFO_BLOCK_SIZE = 1068 };

int LoadBmpImage(STREAM_SOURCE* stream, RASTER_IMAGE* out);
// 0: the image uses the caller's bits; 1: it owns a copy; -1: failure.
int ConvertDibToImage(const BITMAPINFO* info, const void* bits, RASTER_IMAGE* out, int copy);
// 0: the bits are the image's own pixels; 1: a new block; -1: failure.
int ConvertImageToDib(const RASTER_IMAGE* image, BITMAPINFO* out, void** bits, int copy, int force24);
// Draws any DIB GDI can draw into a new RGB24 image; bitsSize bounds what GDI may read of the
// bits of a compressed DIB. -1 on failure.
int ConvertDibWithGdi(const BITMAPINFO* info, const void* bits, int bitsSize, RASTER_IMAGE* out);
