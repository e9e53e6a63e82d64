// DirectDraw Surface files: DXT1-DXT5 data kept compressed, layouts given by masks or by a
// Direct3D format number, and mip chains.
#pragma once
#include "file/file_access.h"
#include "image/raster_image.h"

int LoadDdsImage(STREAM_SOURCE* stream, RASTER_IMAGE* out);
