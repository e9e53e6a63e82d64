// JPEG files through libjpeg's decompressor, read from a stream source.
#pragma once
#include <cstdio>

#include "file/file_access.h"
#include "image/raster_image.h"

struct jpeg_decompress_struct;

int LoadJpegImage(STREAM_SOURCE* stream, RASTER_IMAGE* out);
// Installs a source manager that reads the stream through a 4096-byte buffer.
void SetJpegStreamSource(jpeg_decompress_struct* cinfo, STREAM_SOURCE* stream);
