// The device textures of graph image sets: the texture descriptor, the set-up of a graph's
// image set with its textures, and the transfer of raster images into a graph.
#pragma once
#include "graphics/graphs/graph_records.h"
#include "image/raster_image.h"

// The size of a graph, or of the main screen for the screen codes -2 to -5.
int GetGraphOrScreenSize(int handle, int* width, int* height);
int BuildTextureDesc(int mipLevels, TEXTURE_DESC* out, const GRAPH_CREATE_PARAM* param, int width, int height,
                     int alpha, int palette, int compressedKind);
// The device's texture limits, from its capabilities.
TEXTURE_LIMITS GetDeviceTextureLimits();
int SplitTextureLength(int maxSize, int n, int* sizes, int pow2);
int SetUpGraphImageSet(const GRAPH_CREATE_PARAM* param, HANDLE_VALUE handle, int width, int height, int alpha,
                       int palette, int compressedKind, int mipLevels, int onWorker);
int CreateGraphTextures(int onWorker, GRAPH_IMAGE_SET* set);
// Releases the device objects of every texture of a set.
void ReleaseImageSetTextures(GRAPH_IMAGE_SET* set);
int CopyImageIntoGraph(HANDLE_VALUE handle, const COLOR_FORMAT* bitmapFormat, HBITMAP colorBitmap, HBITMAP alphaBitmap,
                       const RECT* srcRect, int destX, int destY, int bitmapFlag, const RASTER_IMAGE* image,
                       const RASTER_IMAGE* alphaImage, int blendImage, int useAlpha, int setRelative, int onWorker);
