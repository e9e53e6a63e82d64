// Soft images: raster images held under handles of type 2, for programs that work on pixels
// in memory without the graphics device. The record owns its image's pixels.
#pragma once
#include "core/handles.h"
#include "image/raster_image.h"

enum { SOFT_IMAGE_MAX = 8192 };

struct SOFT_IMAGE_ENTRY {
  HANDLE_HEAD head;
  RASTER_IMAGE image;
};

int StartSoftImageHandleType();
int EndSoftImageHandleType();
int DeleteAllSoftImages();
int FreeSoftImageEntry(HANDLE_HEAD* record);
// The image of a live soft image, or null.
RASTER_IMAGE* FindSoftImage(int handle);
