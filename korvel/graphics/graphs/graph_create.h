// Making graphs: blank ones of a given size, ones built from raster images in memory, and the
// transfer of raster images into existing graphs.
#pragma once
#include "graphics/graphs/graph_records.h"
#include "image/raster_image.h"

// The creation settings with the three load switches of a load request.
struct GRAPH_LOAD_SETTINGS {
  GRAPH_CREATE_PARAM create;
  int noAlphaTransfer;     // images are transferred without their alpha
  int transparentEdgeFix;  // transparent pixels take the colour of an opaque neighbour
  int topLeftColorKey;     // the transparent colour becomes the image's top-left pixel
};

GRAPH_CREATE_PARAM* CaptureGraphCreateParam(GRAPH_CREATE_PARAM* out);
GRAPH_LOAD_SETTINGS* CaptureGraphLoadSettings(GRAPH_LOAD_SETTINGS* out);
HANDLE_VALUE CreateBlankGraph(const GRAPH_CREATE_PARAM* param, int width, int height, int fourth, int async,
                              int onWorker);
int BuildGraphFromImages(const GRAPH_LOAD_SETTINGS* settings, int recreate, HANDLE_VALUE handle,
                         const RASTER_IMAGE* image, const RASTER_IMAGE* alphaImage, int extra, int onWorker);
int CreateGraphForImage(const GRAPH_CREATE_PARAM* param, HANDLE_VALUE handle, const RASTER_IMAGE* image,
                        const RASTER_IMAGE* alphaImage, int extra, int onWorker);
HANDLE_VALUE BuildGraphFromBaseImage(const RASTER_IMAGE* image, const RASTER_IMAGE* alphaImage, int extra);
int TransferImageToGraph(const COLOR_FORMAT* bitmapFormat, HBITMAP colorBitmap, HBITMAP alphaBitmap, int bitmapFlag,
                         const RASTER_IMAGE* image, const RASTER_IMAGE* alphaImage, int x, int y, HANDLE_VALUE handle,
                         int useAlpha, int onWorker);
int TransferBaseImageToGraph(const COLOR_FORMAT* bitmapFormat, HBITMAP colorBitmap, HBITMAP alphaBitmap,
                             int bitmapFlag, const RASTER_IMAGE* image, const RASTER_IMAGE* alphaImage, int x, int y,
                             HANDLE_VALUE handle);
int CopyImageRectIntoGraph(const COLOR_FORMAT* bitmapFormat, HBITMAP colorBitmap, HBITMAP alphaBitmap, int bitmapFlag,
                           const RASTER_IMAGE* image, const RASTER_IMAGE* alphaImage, const RECT* rect, int x, int y,
                           HANDLE_VALUE handle);
