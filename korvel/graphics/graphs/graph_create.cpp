#include "graphics/graphs/graph_create.h"

#include <cstring>

#include "core/memory.h"
#include "file/async_load.h"
#include "graphics/device/draw_settings.h"
#include "graphics/graphs/graph_handles.h"
#include "graphics/graphs/graph_reload.h"
#include "graphics/graphs/graph_textures.h"
#include "graphics/device/screen.h"
#include "image/raster_ops.h"
#include "system/base/pump.h"

namespace {
bool SameColor(unsigned r, unsigned g, unsigned b, DWORD key) {
  return r == ((key >> 16) & 0xFF) && g == ((key >> 8) & 0xFF) && b == (key & 0xFF);
}

// An ARGB8 copy of the image in which pixels of the transparent colour have alpha 0 and take
// the colour of the last opaque neighbour that reaches them, so that filtering at the edges
// of opaque areas does not blend in the key colour.
int FixTransparentEdges(const RASTER_IMAGE* image, DWORD key, RASTER_IMAGE* out) {
  memset(out, 0, sizeof(*out));
  if (AllocARGB8Image(image->width, image->height, out) < 0) {
    DisposeImage(out);
    return -1;
  }
  bool hasAlpha = image->format.alphaWidth != 0;
  for (int y = 0; y < image->height; y++) {
    for (int x = 0; x < image->width; x++) {
      unsigned r = 0, g = 0, b = 0, a = 255;
      ReadImagePixel(image, x, y, &r, &g, &b, &a);
      unsigned alpha = SameColor(r, g, b, key) ? 0 : (hasAlpha ? a : 255);
      WriteImagePixel(out, x, y, r, g, b, alpha);
    }
  }
  const int dx[4] = {-1, 0, 1, 0}, dy[4] = {0, -1, 0, 1};
  for (int y = 0; y < image->height; y++) {
    for (int x = 0; x < image->width; x++) {
      unsigned r = 0, g = 0, b = 0;
      ReadImagePixel(image, x, y, &r, &g, &b, nullptr);
      if (SameColor(r, g, b, key)) continue;
      for (int k = 0; k < 4; k++) {
        int nx = x + dx[k], ny = y + dy[k];
        unsigned nr = 0, ng = 0, nb = 0;
        if (ReadImagePixel(image, nx, ny, &nr, &ng, &nb, nullptr) < 0 || !SameColor(nr, ng, nb, key)) continue;
        WriteImagePixel(out, nx, ny, r, g, b, 0);
      }
    }
  }
  return 0;
}

DWORD TopLeftColor(const RASTER_IMAGE* image) {
  unsigned r = 0, g = 0, b = 0;
  ReadImagePixel(image, 0, 0, &r, &g, &b, nullptr);
  return (DWORD)(r << 16 | g << 8 | b);
}
}  // namespace

GRAPH_CREATE_PARAM* CaptureGraphCreateParam(GRAPH_CREATE_PARAM* out) {
  memset(out, 0, sizeof(*out));
  out->transparentColor = (int)DrawSettings.transparentColor;
  out->alphaTestFormat = 1;
  out->managedPool = 1;
  out->depthBuffer = 1;
  return out;
}

GRAPH_LOAD_SETTINGS* CaptureGraphLoadSettings(GRAPH_LOAD_SETTINGS* out) {
  memset(out, 0, sizeof(*out));
  CaptureGraphCreateParam(&out->create);
  return out;
}

namespace {
// The queued half of CreateBlankGraph, run by a loader thread.
int CreateBlankGraphTask(ASYNC_LOAD_TASK* task) {
  int offset = 0;
  GRAPH_CREATE_PARAM param;
  memcpy(&param, UnpackAsyncParamBlock(task->parameters, &offset), sizeof(param));
  HANDLE_VALUE handle = UnpackAsyncParamInt(task->parameters, &offset);
  int width = UnpackAsyncParamInt(task->parameters, &offset);
  int height = UnpackAsyncParamInt(task->parameters, &offset);
  UnpackAsyncParamInt(task->parameters, &offset);  // the fourth argument, without effect
  int blankAlpha = UnpackAsyncParamInt(task->parameters, &offset);
  // A failed set-up deletes the handle itself.
  int result = SetUpGraphImageSet(&param, handle, width, height, blankAlpha, 0, 0, -1, 1);
  EndHandleAsyncLoad(handle);
  return result;
}

int PackBlankGraphTask(void* area, const GRAPH_CREATE_PARAM* param, HANDLE_VALUE handle, int width, int height,
                       int fourth) {
  int offset = 0;
  PackAsyncParamBlock(area, &offset, param, sizeof(*param));
  PackAsyncParamInt(area, &offset, handle);
  PackAsyncParamInt(area, &offset, width);
  PackAsyncParamInt(area, &offset, height);
  PackAsyncParamInt(area, &offset, fourth);
  PackAsyncParamInt(area, &offset, param->blankAlpha);
  return offset;
}
}  // namespace

HANDLE_VALUE CreateBlankGraph(const GRAPH_CREATE_PARAM* param, int width, int height, int fourth, int async,
                              int onWorker) {
  WaitWhileInactive();
  HANDLE_VALUE handle = NewGraphHandle();
  if (handle == -1) return -1;
  if (async && !onWorker) {
    ASYNC_LOAD_TASK* task = AllocAsyncLoadTask(PackBlankGraphTask(nullptr, param, handle, width, height, fourth));
    if (task == nullptr) {
      DeleteGraphHandle(handle, 0);
      return -1;
    }
    task->process = CreateBlankGraphTask;
    PackBlankGraphTask(task->parameters, param, handle, width, height, fourth);
    if (QueueHandleLoadTask(task, handle) < 0) {
      FreeTracked(task);
      DeleteGraphHandle(handle, 0);
      return -1;
    }
    return handle;
  }
  if (SetUpGraphImageSet(param, handle, width, height, param->blankAlpha, 0, 0, -1, onWorker) < 0) {
    DeleteGraphHandle(handle, 0);
    return -1;
  }
  return handle;
}

int CreateGraphForImage(const GRAPH_CREATE_PARAM* param, HANDLE_VALUE handle, const RASTER_IMAGE* image,
                        const RASTER_IMAGE* alphaImage, int, int onWorker) {
  if (!ScreenState.graphicsStarted) return -1;
  if (!onWorker) WaitWhileInactive();
  if (alphaImage != nullptr && (alphaImage->width != image->width || alphaImage->height != image->height)) return -1;
  int alpha = alphaImage != nullptr || image->format.alphaWidth != 0;
  int palette = image->format.colorBits == 8 && image->format.alphaWidth == 0 && alphaImage == nullptr;
  return SetUpGraphImageSet(param, handle, image->width, image->height, alpha, palette, image->format.kind,
                            image->mipLevels != 0 ? image->mipLevels : -1, onWorker);
}

int BuildGraphFromImages(const GRAPH_LOAD_SETTINGS* settings, int recreate, HANDLE_VALUE handle,
                         const RASTER_IMAGE* image, const RASTER_IMAGE* alphaImage, int extra, int onWorker) {
  GRAPH_LOAD_SETTINGS s = *settings;
  RASTER_IMAGE fixed;
  memset(&fixed, 0, sizeof(fixed));
  if (!recreate && s.transparentEdgeFix && !s.noAlphaTransfer) {
    if (FixTransparentEdges(image, (DWORD)s.create.transparentColor, &fixed) < 0) return -1;
    image = &fixed;
  }
  // The unused bits of the records are brought up to date on private copies; the caller's
  // records stay as they are.
  RASTER_IMAGE img = *image, alpha;
  UpdateUnusedBitsMask(&img.format);
  if (alphaImage != nullptr) {
    alpha = *alphaImage;
    UpdateUnusedBitsMask(&alpha.format);
  }
  const RASTER_IMAGE* alphaUsed = alphaImage != nullptr ? &alpha : nullptr;
  int result = 0;
  if (recreate) {
    int w = 0, h = 0;
    GetGraphOrScreenSize(handle, &w, &h);
    if (w != img.width || h != img.height ||
        (alphaUsed != nullptr && (alphaUsed->width != w || alphaUsed->height != h))) {
      result = -1;
    }
  } else {
    if (s.topLeftColorKey) s.create.transparentColor = (int)TopLeftColor(&img);
    result = CreateGraphForImage(&s.create, handle, &img, alphaUsed, extra, onWorker);
  }
  if (result == 0) {
    if (recreate && s.topLeftColorKey) {
      GRAPH_RECORD* g = GetGraphRecord(handle, onWorker);
      if (g != nullptr && g->imageSet != nullptr) g->imageSet->transparentColor = TopLeftColor(&img);
    }
    result = TransferImageToGraph(nullptr, nullptr, nullptr, 0, &img, alphaUsed, 0, 0, handle, !s.noAlphaTransfer,
                                  onWorker);
  }
  if (image == &fixed) DisposeImage(&fixed);
  return result < 0 ? -1 : 0;
}

HANDLE_VALUE BuildGraphFromBaseImage(const RASTER_IMAGE* image, const RASTER_IMAGE* alphaImage, int extra) {
  GRAPH_LOAD_SETTINGS settings;
  CaptureGraphLoadSettings(&settings);
  HANDLE_VALUE handle = NewGraphHandle();
  if (handle == -1) return -1;
  if (BuildGraphFromImages(&settings, 0, handle, image, alphaImage, extra, 0) < 0) {
    DeleteGraphHandle(handle, 0);
    return -1;
  }
  return handle;
}

int TransferImageToGraph(const COLOR_FORMAT* bitmapFormat, HBITMAP colorBitmap, HBITMAP alphaBitmap, int bitmapFlag,
                         const RASTER_IMAGE* image, const RASTER_IMAGE* alphaImage, int x, int y, HANDLE_VALUE handle,
                         int useAlpha, int onWorker) {
  if (!ScreenState.graphicsStarted) return -1;
  GRAPH_RECORD* g = GetGraphRecord(handle, onWorker);
  if (g == nullptr || g->imageSet == nullptr) return -1;
  g->reloadX = x;
  g->reloadY = y;
  RECT rect = {x, y, x + g->width, y + g->height};
  return CopyImageIntoGraph(handle, bitmapFormat, colorBitmap, alphaBitmap, &rect, 0, 0, bitmapFlag, image, alphaImage,
                            g->imageSet->desc.blendImage, useAlpha, 0, onWorker);
}

int TransferBaseImageToGraph(const COLOR_FORMAT* bitmapFormat, HBITMAP colorBitmap, HBITMAP alphaBitmap,
                             int bitmapFlag, const RASTER_IMAGE* image, const RASTER_IMAGE* alphaImage, int, int,
                             HANDLE_VALUE handle) {
  GRAPH_LOAD_SETTINGS settings;
  CaptureGraphLoadSettings(&settings);
  if (TransferImageToGraph(bitmapFormat, colorBitmap, alphaBitmap, bitmapFlag, image, alphaImage, 0, 0, handle,
                           !settings.noAlphaTransfer, 0) < 0) {
    return -1;
  }
  // The graph restores from the bitmaps, or from a private copy of the base images (none when
  // there is no image).
  bool bitmaps = bitmapFlag != 0 && colorBitmap != nullptr;
  AttachReloadSource(&NoReloadData, handle, nullptr, bitmapFormat, bitmaps ? colorBitmap : nullptr,
                     bitmaps ? alphaBitmap : nullptr, nullptr, 0, nullptr, 0, bitmaps ? nullptr : image,
                     bitmaps ? nullptr : alphaImage, 0, -1, 0);
  return 0;
}

int CopyImageRectIntoGraph(const COLOR_FORMAT* bitmapFormat, HBITMAP colorBitmap, HBITMAP alphaBitmap, int bitmapFlag,
                           const RASTER_IMAGE* image, const RASTER_IMAGE* alphaImage, const RECT* rect, int x, int y,
                           HANDLE_VALUE handle) {
  GRAPH_RECORD* g = GetGraphRecord(handle, 1);
  if (g == nullptr) return -1;
  g->reloadX = rect != nullptr ? rect->left - x : 0;
  g->reloadY = rect != nullptr ? rect->top - y : 0;
  RECT whole = {0, 0, image != nullptr ? image->width : 0, image != nullptr ? image->height : 0};
  GRAPH_LOAD_SETTINGS settings;
  CaptureGraphLoadSettings(&settings);
  return CopyImageIntoGraph(handle, bitmapFormat, colorBitmap, alphaBitmap, rect != nullptr ? rect : &whole, x, y,
                            bitmapFlag, image, alphaImage, g->imageSet != nullptr ? g->imageSet->desc.blendImage : 0,
                            !settings.noAlphaTransfer, 0, 0);
}
