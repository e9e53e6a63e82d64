// The library's raw "BGRA" image format: a 16-byte header and rows of 8- or 16-bit channels.
#pragma once
#include "file/file_access.h"
#include "image/raster_image.h"

int LoadBgraImage(STREAM_SOURCE* stream, RASTER_IMAGE* out);
