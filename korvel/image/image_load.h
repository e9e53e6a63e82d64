// Image loading: the loader table (user loaders first, then BMP, JPEG, PNG, BGRA, TGA and DDS),
// loads from files or memory into raster images or DIBs, the companion alpha image, and the
// image module's started flag.
#pragma once
#include <windows.h>

#include <cstdint>

#include "file/file_access.h"
#include "image/raster_image.h"

// A format loader: 0 when it recognised the data and filled the image (which then owns its
// pixels), anything else when it did not; on refusal it frees what it allocated.
typedef int (*IMAGE_LOADER)(STREAM_SOURCE* stream, RASTER_IMAGE* out);

enum { IMAGE_USER_LOADER_SLOTS = 10 };

// 35 pointer-sized slots: user loaders and their count, the file access table and the stream
// functions over files and over memory blocks.
struct IMAGE_LOAD_PARAMS {
  IMAGE_LOADER userLoaders[IMAGE_USER_LOADER_SLOTS];
  intptr_t userLoaderCount;
  FILE_ACCESS_TABLE files;
  STREAM_OPS fileStreamOps;
  STREAM_OPS memoryStreamOps;
};
static_assert(sizeof(IMAGE_LOAD_PARAMS) == 35 * sizeof(void*), "the parameter block has 35 slots");

int StartImageModule();
int EndImageModule();
void CopyUserImageLoaders(IMAGE_LOAD_PARAMS* params);
void FillImageLoadParams(IMAGE_LOAD_PARAMS* params);
int RunImageLoaders(const IMAGE_LOAD_PARAMS* params, STREAM_SOURCE* stream, RASTER_IMAGE* out);
int LoadImageFromSource(const IMAGE_LOAD_PARAMS* params, const char* fileName, const void* memory, int memorySize,
                        int fromMemory, int dib, int reverse, RASTER_IMAGE* out, BITMAPINFO** dibOut, void** bitsOut);
int LoadImageOrDib(const char* fileName, const void* memory, int memorySize, int fromMemory, int dib, int reverse,
                   RASTER_IMAGE* out, BITMAPINFO** dibOut, void** bitsOut);
int LoadImageSimple(const char* fileName, const void* memory, int memorySize, int fromMemory, RASTER_IMAGE* out,
                    int reverse);
// -1: the main image failed; 0: both loaded; 1: the main image loaded and no alpha image did.
int LoadImageAndAlphaWithParams(const IMAGE_LOAD_PARAMS* params, const char* fileName, const void* memory,
                                int memorySize, int fromMemory, const void* alphaMemory, int alphaMemorySize,
                                int alphaMode, RASTER_IMAGE* out, RASTER_IMAGE* alphaOut, int reverse);
int LoadImageAndAlpha(const char* fileName, const void* memory, int memorySize, int fromMemory,
                      const void* alphaMemory, int alphaMemorySize, int alphaMode, RASTER_IMAGE* out,
                      RASTER_IMAGE* alphaOut, int reverse);
// The alpha image's name: "_a" before the last '.'. out holds outSize bytes; a name that would
// not fit gives -1 and an empty out.
int MakeAlphaFileName(char* out, int outSize, const char* fileName);
