#include "graphics/graphs/graph_load.h"

#include <cstring>

#include "core/log.h"
#include "core/memory.h"
#include "file/async_load.h"
#include "graphics/graphs/graph_handles.h"
#include "graphics/graphs/graph_reload.h"
#include "graphics/graphs/movie_graph_hooks.h"
#include "image/bmp.h"
#include "image/raster_ops.h"
#include "system/base/pump.h"
#include "system/base/window_state.h"

namespace {
// The images of one load: decoded ones are disposed at the end, caller images never are.
struct LOADED_IMAGES {
  RASTER_IMAGE image, alpha;
  const RASTER_IMAGE* use;
  const RASTER_IMAGE* useAlpha;
  bool ownImage, ownAlpha;
};

void DisposeLoaded(LOADED_IMAGES* l) {
  if (l->ownImage) DisposeImage(&l->image);
  if (l->ownAlpha) DisposeImage(&l->alpha);
}

// A mirrored copy of a caller's image (DXT data decoded first), so that the caller's pixels
// are never touched and compressed images turn the same way as the loader turns them.
int MirroredCopy(const RASTER_IMAGE* src, RASTER_IMAGE* out) {
  memset(out, 0, sizeof *out);
  RASTER_IMAGE decoded;
  const RASTER_IMAGE* plain = GetPlainImage(src, &decoded);
  if (plain == nullptr) return -1;
  if (plain == &decoded) {
    *out = decoded;
  } else if (AllocImageWithFormat(src->width, src->height, &src->format, out) < 0 || CopyWholeImage(0, 0, src, out) < 0) {
    DisposeImage(out);
    return -1;
  }
  return MirrorImageHorizontally(out) < 0 && out->width > 0 ? -1 : 0;
}

// A caller's image, mirrored into a copy when asked.
int UseCallerImage(const RASTER_IMAGE* src, int mirror, RASTER_IMAGE* copy, const RASTER_IMAGE** use, bool* own) {
  *use = src;
  *own = false;
  if (src == nullptr || mirror == 0) return 0;
  if (MirroredCopy(src, copy) < 0) return -1;
  *use = copy;
  *own = true;
  return 0;
}

// A DIB as an image: its own bits when they serve directly, else a converted block; a
// mirrored copy when asked.
int ReadDib(const BITMAPINFO* info, const void* bits, int mirror, RASTER_IMAGE* out, const RASTER_IMAGE** use,
            bool* own) {
  RASTER_IMAGE direct;
  int r = ConvertDibToImage(info, bits, &direct, 0);
  if (r < 0) return -1;
  if (mirror == 0) {
    *out = direct;
  } else {
    RASTER_IMAGE copy;
    int m = MirroredCopy(&direct, &copy);
    if (r == 1) DisposeImage(&direct);
    if (m < 0) return -1;
    *out = copy;
  }
  *use = out;
  *own = mirror != 0 || r == 1;
  return 0;
}

// Reads the request's source into images; 0, or -1 when nothing could be read.
int ReadLoadSource(const GRAPH_LOAD_PARAM* lp, LOADED_IMAGES* l) {
  memset(l, 0, sizeof *l);
  if (lp->fileName != nullptr || lp->bytes != nullptr) {
    // The loader mirrors (decoding DXT data first), exactly as the restore does.
    int r = lp->fileName != nullptr
                ? LoadImageAndAlphaWithParams(&lp->imageParams, lp->fileName, nullptr, 0, 0, nullptr, 0, 0, &l->image,
                                              &l->alpha, lp->mirror)
                : LoadImageAndAlphaWithParams(&lp->imageParams, nullptr, lp->bytes, lp->size, 1, lp->alphaBytes,
                                              lp->alphaSize, lp->alphaBytes != nullptr ? 1 : 2, &l->image, &l->alpha,
                                              lp->mirror);
    if (r < 0) return -1;
    l->use = &l->image;
    l->ownImage = true;
    l->useAlpha = r == 0 ? &l->alpha : nullptr;
    l->ownAlpha = r == 0;
    return 0;
  }
  if (lp->colorInfo != nullptr) {
    if (ReadDib(lp->colorInfo, lp->colorBits, lp->mirror, &l->image, &l->use, &l->ownImage) < 0) return -1;
    if (lp->alphaInfo != nullptr &&
        ReadDib(lp->alphaInfo, lp->alphaBits, lp->mirror, &l->alpha, &l->useAlpha, &l->ownAlpha) < 0) {
      DisposeLoaded(l);
      return -1;
    }
    return 0;
  }
  if (lp->baseImage == nullptr) return -1;
  if (UseCallerImage(lp->baseImage, lp->mirror, &l->image, &l->use, &l->ownImage) < 0 ||
      UseCallerImage(lp->alphaBaseImage, lp->mirror, &l->alpha, &l->useAlpha, &l->ownAlpha) < 0) {
    DisposeLoaded(l);
    return -1;
  }
  return 0;
}
// The request packed whole for a loader thread: the record, the full path of the file and the
// records of the base images (their pixels and image bytes stay the caller's until the load ends).
int PackLoadTask(void* area, const GRAPH_LOAD_PARAM* lp, const char* fullPath) {
  int offset = 0;
  PackAsyncParamBlock(area, &offset, lp, sizeof(*lp));
  PackAsyncParamString(area, &offset, fullPath != nullptr ? fullPath : "");
  PackAsyncParamBlock(area, &offset, lp->baseImage, lp->baseImage != nullptr ? sizeof(RASTER_IMAGE) : 0);
  PackAsyncParamBlock(area, &offset, lp->alphaBaseImage, lp->alphaBaseImage != nullptr ? sizeof(RASTER_IMAGE) : 0);
  return offset;
}

int LoadGraphTask(ASYNC_LOAD_TASK* task) {
  int offset = 0;
  GRAPH_LOAD_PARAM lp;
  memcpy(&lp, UnpackAsyncParamBlock(task->parameters, &offset), sizeof(lp));
  const char* path = UnpackAsyncParamString(task->parameters, &offset);
  const RASTER_IMAGE* image = (const RASTER_IMAGE*)UnpackAsyncParamBlock(task->parameters, &offset);
  const RASTER_IMAGE* alpha = (const RASTER_IMAGE*)UnpackAsyncParamBlock(task->parameters, &offset);
  if (lp.fileName != nullptr) lp.fileName = path;
  if (lp.baseImage != nullptr) lp.baseImage = image;
  if (lp.alphaBaseImage != nullptr) lp.alphaBaseImage = alpha;
  int result = LoadGraphFromParam(&lp, 1);
  EndHandleAsyncLoad(lp.handle);
  if (result < 0 && !lp.recreate) DeleteGraphHandle(lp.handle, 0);
  return result;
}

// Queues the load on a loader thread; the handle counts as loading until it is done.
int QueueLoadTask(const GRAPH_LOAD_PARAM* lp) {
  char full[FILE_PATH_CHARS] = "";
  if (lp->fileName != nullptr && ToFullPath(lp->fileName, full, nullptr) < 0) return -1;
  ASYNC_LOAD_TASK* task = AllocAsyncLoadTask(PackLoadTask(nullptr, lp, full));
  if (task == nullptr) return -1;
  task->process = LoadGraphTask;
  PackLoadTask(task->parameters, lp, full);
  if (QueueHandleLoadTask(task, lp->handle) < 0) {
    FreeTracked(task);
    return -1;
  }
  return 0;
}
}  // namespace

GRAPH_LOAD_PARAM* CaptureGraphLoadParam(GRAPH_LOAD_PARAM* out) {
  memset(out, 0, sizeof *out);
  FillImageLoadParams(&out->imageParams);
  ReadMovieLoadOption(&out->movieOption);
  CaptureGraphLoadSettings(&out->settings);
  out->noReloadData = NoReloadData;
  out->handle = -1;
  return out;
}

int LoadGraphFromParam(const GRAPH_LOAD_PARAM* lp, int onWorker) {
  LOADED_IMAGES l;
  if (ReadLoadSource(lp, &l) < 0) {
    if (lp->recreate || lp->fileName == nullptr) return -1;
    char full[FILE_PATH_CHARS];
    if (ToFullPath(lp->fileName, full, nullptr) < 0) strcpy(full, lp->fileName);
    uint32_t file = lp->imageParams.files.open(full, 0, 1, 0);
    if (file != 0) {
      // An existing file that is no image is shown as a movie.
      lp->imageParams.files.close(file);
      GRAPH_LOAD_PARAM movie = *lp;
      return LoadGraphAsMovieFile(&movie, lp->handle, full, lp->extra, lp->movieOpenMode, onWorker);
    }
    AddLogLineFormat("画像ファイル %s がありません", full);
    return -1;
  }
  int result = BuildGraphFromImages(&lp->settings, lp->recreate, lp->handle, l.use, l.useAlpha, lp->extra, onWorker);
  if (result == 0) {
    // Files and bytes are kept as given; every other source as a copy of the images used.
    bool encoded = lp->fileName != nullptr || lp->bytes != nullptr;
    AttachReloadSource(&lp->noReloadData, lp->handle, lp->fileName, nullptr, nullptr, nullptr, lp->bytes, lp->size,
                       lp->alphaBytes, lp->alphaSize, encoded ? nullptr : l.use, encoded ? nullptr : l.useAlpha,
                       lp->mirror, -1, onWorker);
  }
  DisposeLoaded(&l);
  return result;
}

HANDLE_VALUE LoadGraphCore(GRAPH_LOAD_PARAM* lp, int async, int onWorker) {
  if (!onWorker) WaitWhileInactive();
  if (lp->recreate) {
    if (IsHandleLoading(lp->handle) >= 1) return -1;
  } else {
    lp->handle = NewGraphHandle();
    if (lp->handle == -1) return -1;
  }
  int result = async && !onWorker ? QueueLoadTask(lp) : LoadGraphFromParam(lp, onWorker);
  if (result == 0) return lp->recreate ? 0 : lp->handle;
  if (!lp->recreate) DeleteGraphHandle(lp->handle, 0);
  return -1;
}

HANDLE_VALUE LoadGraphFromFile(const GRAPH_LOAD_PARAM* settings, int recreate, HANDLE_VALUE handle,
                               const char* fileName, int mirror, int extra, int async) {
  GRAPH_LOAD_PARAM lp = *settings;
  lp.recreate = recreate;
  lp.handle = handle;
  lp.fileName = fileName;
  lp.mirror = mirror;
  lp.extra = extra;
  return LoadGraphCore(&lp, async, 0);
}

HANDLE_VALUE LoadGraphFromImageBytes(const GRAPH_LOAD_PARAM* settings, int recreate, HANDLE_VALUE handle,
                                     const void* bytes, int size, const void* alphaBytes, int alphaSize, int mirror,
                                     int extra, int async) {
  GRAPH_LOAD_PARAM lp = *settings;
  lp.recreate = recreate;
  lp.handle = handle;
  lp.bytes = bytes;
  lp.size = size;
  lp.alphaBytes = alphaBytes;
  lp.alphaSize = alphaSize;
  lp.mirror = mirror;
  lp.extra = extra;
  return LoadGraphCore(&lp, async, 0);
}

HANDLE_VALUE LoadGraphFromBaseImages(const GRAPH_LOAD_PARAM* settings, int recreate, HANDLE_VALUE handle,
                                     const RASTER_IMAGE* image, const RASTER_IMAGE* alphaImage, int mirror, int extra,
                                     int async) {
  GRAPH_LOAD_PARAM lp = *settings;
  lp.recreate = recreate;
  lp.handle = handle;
  lp.baseImage = image;
  lp.alphaBaseImage = alphaImage;
  lp.mirror = mirror;
  lp.extra = extra;
  return LoadGraphCore(&lp, async, 0);
}
