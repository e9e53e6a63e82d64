#include "image/image_load.h"

#include <cstring>

#include "core/memory.h"
#include "core/strings.h"
#include "image/bgra.h"
#include "image/bmp.h"
#include "image/dds.h"
#include "image/dxt.h"
#include "image/jpeg.h"
#include "image/png.h"
#include "image/raster_ops.h"
#include "image/tga.h"

namespace {
const IMAGE_LOADER kBuiltInLoaders[] = {LoadBmpImage, LoadJpegImage, LoadPngImage,
                                        LoadBgraImage, LoadTgaImage, LoadDdsImage, nullptr};

struct IMAGE_MODULE_STATE {
  int started;
  IMAGE_LOADER userLoaders[IMAGE_USER_LOADER_SLOTS];  // none are added in this library
  int userLoaderCount;
};
IMAGE_MODULE_STATE imageModule;

int TryLoader(IMAGE_LOADER loader, STREAM_SOURCE* stream, RASTER_IMAGE* out) {
  stream->ops.seek(stream->handle, 0, 0);
  memset(out, 0, sizeof *out);
  return loader(stream, out);
}

// Hands the decoded image out as a DIB; the image's pixels are freed or passed on.
int HandOutDib(RASTER_IMAGE* image, BITMAPINFO** dibOut, void** bitsOut) {
  if (DecompressDxtImage(image) < 0) {
    DisposeImage(image);
    return -1;
  }
  BITMAPINFO* info = (BITMAPINFO*)AllocTrackedZeroed(DIB_INFO_BLOCK_SIZE, "", 0);
  if (info == nullptr) {
    DisposeImage(image);
    return -1;
  }
  void* bits = nullptr;
  int result = ConvertImageToDib(image, info, &bits, 0, 0);
  if (result < 0) {
    DisposeImage(image);
    FreeTracked(info);
    return -1;
  }
  if (result == 1) DisposeImage(image);  // the DIB has bits of its own
  *dibOut = info;
  *bitsOut = bits;
  return 0;
}
}  // namespace

int StartImageModule() {
  if (imageModule.started != 0) return -1;
  imageModule.started = 1;
  return 0;
}

int EndImageModule() {
  if (imageModule.started == 0) return -1;
  imageModule.started = 0;
  return 0;
}

void CopyUserImageLoaders(IMAGE_LOAD_PARAMS* params) {
  memcpy(params->userLoaders, imageModule.userLoaders, sizeof params->userLoaders);
  params->userLoaderCount = imageModule.userLoaderCount;
}

void FillImageLoadParams(IMAGE_LOAD_PARAMS* params) {
  CopyUserImageLoaders(params);
  params->files = *GetFileAccessTable();
  params->fileStreamOps = *GetFileStreamOps();
  params->memoryStreamOps = *GetMemoryStreamOps();
}

int RunImageLoaders(const IMAGE_LOAD_PARAMS* params, STREAM_SOURCE* stream, RASTER_IMAGE* out) {
  memset(out, 0, sizeof *out);
  int userCount = params->userLoaderCount < 0 ? 0 : (int)params->userLoaderCount;
  if (userCount > IMAGE_USER_LOADER_SLOTS) userCount = IMAGE_USER_LOADER_SLOTS;
  for (int i = 0; i < userCount; i++) {
    if (params->userLoaders[i] != nullptr && TryLoader(params->userLoaders[i], stream, out) == 0) return 0;
  }
  for (int i = 0; kBuiltInLoaders[i] != nullptr; i++) {
    if (TryLoader(kBuiltInLoaders[i], stream, out) == 0) return 0;
  }
  memset(out, 0, sizeof *out);
  return -1;
}

int LoadImageFromSource(const IMAGE_LOAD_PARAMS* params, const char* fileName, const void* memory, int memorySize,
                        int fromMemory, int dib, int reverse, RASTER_IMAGE* out, BITMAPINFO** dibOut, void** bitsOut) {
  STREAM_SOURCE stream;
  uint32_t file = 0;
  if (dib == 0) memset(out, 0, sizeof *out);
  if (fromMemory != 0) {
    if (memory == nullptr || memorySize < 0) return -1;
    MEMORY_STREAM* m = OpenMemoryStream(memory, (uint32_t)memorySize);
    if (m == nullptr) return -1;
    stream.ops = params->memoryStreamOps;
    stream.handle = (uintptr_t)m;
  } else {
    if (fileName == nullptr) return -1;
    file = params->files.open(fileName, 0, 1, 0);
    if (file == 0 || file == 0xFFFFFFFFu) return -1;
    stream.ops = params->fileStreamOps;
    stream.handle = file;
  }
  RASTER_IMAGE image;
  int loaded = RunImageLoaders(params, &stream, &image);
  if (fromMemory != 0) stream.ops.close(stream.handle);
  int result = loaded;
  if (loaded == 0 && reverse == 1) {
    // A mirrored DXT image is decoded first: the blocks themselves cannot be mirrored.
    if (DecompressDxtImage(&image) < 0) {
      DisposeImage(&image);
      result = -1;
    } else {
      MirrorImageHorizontally(&image);
    }
  }
  if (result == 0 && dib == 0) *out = image;
  else if (result == 0) result = HandOutDib(&image, dibOut, bitsOut);
  if (fromMemory == 0) params->files.close(file);
  return result;
}

int LoadImageOrDib(const char* fileName, const void* memory, int memorySize, int fromMemory, int dib, int reverse,
                   RASTER_IMAGE* out, BITMAPINFO** dibOut, void** bitsOut) {
  IMAGE_LOAD_PARAMS params;
  FillImageLoadParams(&params);
  return LoadImageFromSource(&params, fileName, memory, memorySize, fromMemory, dib, reverse, out, dibOut, bitsOut);
}

int LoadImageSimple(const char* fileName, const void* memory, int memorySize, int fromMemory, RASTER_IMAGE* out,
                    int reverse) {
  return LoadImageOrDib(fileName, memory, memorySize, fromMemory, 0, reverse, out, nullptr, nullptr);
}

int LoadImageAndAlphaWithParams(const IMAGE_LOAD_PARAMS* params, const char* fileName, const void* memory,
                                int memorySize, int fromMemory, const void* alphaMemory, int alphaMemorySize,
                                int alphaMode, RASTER_IMAGE* out, RASTER_IMAGE* alphaOut, int reverse) {
  if (LoadImageFromSource(params, fileName, memory, memorySize, fromMemory, 0, reverse, out, nullptr, nullptr) < 0) {
    return -1;
  }
  int alpha = -1;
  if (alphaMode == 0 && fileName != nullptr) {
    char alphaName[FILE_PATH_CHARS];
    if (MakeAlphaFileName(alphaName, sizeof alphaName, fileName) == 0) {
      alpha = LoadImageFromSource(params, alphaName, nullptr, 0, 0, 0, reverse, alphaOut, nullptr, nullptr);
    }
  } else if (alphaMode == 1) {
    alpha = LoadImageFromSource(params, nullptr, alphaMemory, alphaMemorySize, 1, 0, reverse, alphaOut, nullptr,
                                nullptr);
  }
  return alpha == 0 ? 0 : 1;
}

int LoadImageAndAlpha(const char* fileName, const void* memory, int memorySize, int fromMemory,
                      const void* alphaMemory, int alphaMemorySize, int alphaMode, RASTER_IMAGE* out,
                      RASTER_IMAGE* alphaOut, int reverse) {
  IMAGE_LOAD_PARAMS params;
  FillImageLoadParams(&params);
  return LoadImageAndAlphaWithParams(&params, fileName, memory, memorySize, fromMemory, alphaMemory, alphaMemorySize,
                                     alphaMode, out, alphaOut, reverse);
}

int MakeAlphaFileName(char* out, int outSize, const char* fileName) {
  if (outSize <= 0) return -1;
  out[0] = 0;
  int length = (int)strlen(fileName);
  // The last '.' of the whole name, found by a plain byte scan.
  int dot = -1;
  for (int i = 0; i < length; i++) {
    if (fileName[i] == '.') dot = i;
  }
  int cut = dot < 0 ? length : dot;
  if (length + 3 > outSize) return -1;
  // The copy up to the cut steps over double-byte characters so that none is split.
  int code = GetCharSetCode();
  int at = 0;
  while (at < cut) {
    int step = IsDoubleByteLead((unsigned char)fileName[at], code) && at + 1 < length ? 2 : 1;
    memcpy(out + at, fileName + at, step);
    at += step;
  }
  memcpy(out + at, "_a", 2);
  memcpy(out + at + 2, fileName + at, (size_t)(length - at) + 1);
  return 0;
}
