// Loading graphs from image files, image bytes in memory, DIBs or decoded images: the load
// request, its capture from the current settings, and the load that records the graph's
// reload source.
#pragma once
#include <windows.h>

#include "graphics/graphs/graph_create.h"
#include "image/image_load.h"

struct GRAPH_LOAD_PARAM {
  IMAGE_LOAD_PARAMS imageParams;
  int movieOption;
  GRAPH_LOAD_SETTINGS settings;  // creation settings and the three load switches
  int noReloadData;
  int recreate;
  HANDLE_VALUE handle;
  // The source: exactly one of the file name, the image bytes, the colour DIB, the base image.
  const char* fileName;
  const void* bytes;
  int size;
  const void* alphaBytes;
  int alphaSize;
  const BITMAPINFO* colorInfo;
  const void* colorBits;
  const BITMAPINFO* alphaInfo;
  const void* alphaBits;
  const RASTER_IMAGE* baseImage;
  const RASTER_IMAGE* alphaBaseImage;
  int mirror;  // 1: the image is mirrored left to right before use
  int extra;
  int movieOpenMode;
};

// Fills the settings part of a request (everything before the re-create flag) and clears the rest.
GRAPH_LOAD_PARAM* CaptureGraphLoadParam(GRAPH_LOAD_PARAM* out);
HANDLE_VALUE LoadGraphCore(GRAPH_LOAD_PARAM* param, int async, int onWorker);
int LoadGraphFromParam(const GRAPH_LOAD_PARAM* param, int onWorker);
HANDLE_VALUE LoadGraphFromFile(const GRAPH_LOAD_PARAM* settings, int recreate, HANDLE_VALUE handle,
                               const char* fileName, int mirror, int extra, int async);
HANDLE_VALUE LoadGraphFromImageBytes(const GRAPH_LOAD_PARAM* settings, int recreate, HANDLE_VALUE handle,
                                     const void* bytes, int size, const void* alphaBytes, int alphaSize, int mirror,
                                     int extra, int async);
HANDLE_VALUE LoadGraphFromBaseImages(const GRAPH_LOAD_PARAM* settings, int recreate, HANDLE_VALUE handle,
                                     const RASTER_IMAGE* image, const RASTER_IMAGE* alphaImage, int mirror, int extra,
                                     int async);
