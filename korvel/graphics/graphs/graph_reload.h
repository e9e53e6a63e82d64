// Where a graph's pixels came from (a file path, a copy of image bytes or a copy of decoded
// images), shared by the graphs cut from one source, and the restore of every graph's
// textures from it after the device is re-created.
#pragma once
#include <windows.h>

#include "graphics/graphs/graph_records.h"
#include "image/raster_image.h"

// One tracked block: this header, then the path, the image records with their pixels or the
// copied bytes it points at. Exactly one of path, image and bytes is set.
struct GRAPH_RELOAD_SOURCE {
  char* path;
  RASTER_IMAGE* image;
  RASTER_IMAGE* alphaImage;
  const void* bytes;
  int size;
  const void* alphaBytes;
  int alphaSize;
  int loadFlags;  // the mirror flag, passed back to the image loader
  int refCount;
};

int AttachReloadSource(const int* noReloadData, HANDLE_VALUE handle, const char* path, const COLOR_FORMAT* bitmapFormat,
                       HBITMAP colorBitmap, HBITMAP alphaBitmap, const void* bytes, int size, const void* alphaBytes,
                       int alphaSize, const RASTER_IMAGE* image, const RASTER_IMAGE* alphaImage, int loadFlags,
                       HANDLE_VALUE sameSource, int anyState);
int SetReloadSourceFile(HANDLE_VALUE handle, const char* path, int loadFlags, HANDLE_VALUE sameSource, int anyState);
// Drops one reference; the last frees the source. Null is allowed.
void ReleaseReloadSource(GRAPH_RELOAD_SOURCE* source);
int RestoreAllGraphs();
// The no-reload-data switch (0: graphs keep their sources).
extern int NoReloadData;
