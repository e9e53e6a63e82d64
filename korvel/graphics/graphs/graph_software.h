// Graph image sets of the software renderer: the pixels of a graph live in a MEMIMG (the set
// holds the whole image, every graph a view of its rectangle) instead of device textures.
#pragma once
#include "graphics/graphs/graph_records.h"
#include "image/raster_image.h"

// Makes the MEMIMG image set of a graph whose descriptor says software; the handle is deleted
// when it fails.
int SetUpSoftwareImageSet(const GRAPH_CREATE_PARAM* param, HANDLE_VALUE handle, const TEXTURE_DESC* desc, int width,
                          int height);
// Converts the rectangle src of img (with alpha when it has pixels) into a software graph at
// (destX, destY), graph-relative or set-relative; the rectangle is cut to the destination.
int TransferImageToSoftwareSet(GRAPH_RECORD* g, const RASTER_IMAGE* img, const RASTER_IMAGE* alpha, RECT src,
                               int destX, int destY, int useAlpha, int setRelative);
