// Decoding of DXT1-DXT5 block-compressed images into ARGB8 pixels.
#pragma once
#include <cstdint>

#include "image/raster_image.h"

// One block of the given kind (1-5) into 16 pixels of blue, green, red, alpha, row by row.
void DecodeDxtBlock(int kind, const uint8_t* block, uint8_t out[16][4]);
// Turns the top level of DXT data into ARGB8 in place; plain images are left alone (0);
// -1 when the new block cannot be allocated (the image is then unchanged).
int DecompressDxtImage(RASTER_IMAGE* image);
