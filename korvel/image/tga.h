// Truevision TGA files: colour-mapped and true-colour, raw or run-length encoded, 16, 24 or
// 32 bits, in any row and column order.
#pragma once
#include "file/file_access.h"
#include "image/raster_image.h"

int LoadTgaImage(STREAM_SOURCE* stream, RASTER_IMAGE* out);
