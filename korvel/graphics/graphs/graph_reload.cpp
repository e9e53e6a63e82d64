#include "graphics/graphs/graph_reload.h"

#include <cstring>

#include "core/log.h"
#include "core/memory.h"
#include "file/file_access.h"
#include "graphics/graphs/graph_create.h"
#include "graphics/graphs/graph_handles.h"
#include "image/image_load.h"

int NoReloadData = 0;

namespace {
const char* const kNoPathMemory = "転送する画像ファイルのファイル名を保存するメモリ領域の確保に失敗しました\n";
const char* const kNoBytesMemory = "転送する画像データを保存するメモリ領域の確保に失敗しました\n";
const char* const kNoImageMemory = "転送する基本イメージを保存するメモリ領域の確保に失敗しました\n";

size_t Align8(size_t n) { return (n + 7) & ~(size_t)7; }

GRAPH_RELOAD_SOURCE* NewSource(size_t extra) {
  GRAPH_RELOAD_SOURCE* s = (GRAPH_RELOAD_SOURCE*)AllocTrackedZeroed(Align8(sizeof(GRAPH_RELOAD_SOURCE)) + extra, "", 0);
  if (s != nullptr) s->refCount = 1;
  return s;
}

uint8_t* Payload(GRAPH_RELOAD_SOURCE* s) { return (uint8_t*)s + Align8(sizeof(GRAPH_RELOAD_SOURCE)); }

// Image records whose pixel data is larger than this are not copied: no image of this library
// comes near it, and every size below it adds up without overflow.
const long long kMaxImageCopyBytes = 0x40000000;
const int kMaxImageSide = 1 << 24;

// The bytes of an image's pixel data, every mip level, or -1 when the record describes no
// data that a copy can hold: no pixels, a side of 0 or less or beyond kMaxImageSide, plain
// rows shorter than their pixels, a layout that is not known, or more than kMaxImageCopyBytes.
long long ImageDataBytes(const RASTER_IMAGE* image) {
  if (image->pixels == nullptr || image->width <= 0 || image->height <= 0 || image->width > kMaxImageSide ||
      image->height > kMaxImageSide)
    return -1;
  if (image->format.kind == COLOR_KIND_PLAIN &&
      (long long)image->pitch < ((long long)image->width * image->format.colorBits + 7) / 8)
    return -1;
  int levels = image->mipLevels >= 2 ? image->mipLevels : 1;
  long long total = 0;
  MIP_LEVEL_LAYOUT layout;
  for (int i = 0; i < levels; i++) {
    if (GetMipLevelLayout(&image->format, image->width, image->height, image->pitch, i, &layout) < 0) return -1;
    total += (long long)layout.rowBytes * layout.rowCount;
    if (total > kMaxImageCopyBytes) return -1;
  }
  return total;
}

// The room a copy of the image record and its pixel data takes; -1 when it cannot be copied,
// 0 for no image.
long long ImageCopySize(const RASTER_IMAGE* image) {
  if (image == nullptr) return 0;
  long long bytes = ImageDataBytes(image);
  return bytes < 0 ? -1 : (long long)Align8(sizeof(RASTER_IMAGE)) + (long long)Align8((size_t)bytes);
}

// A copy of an image record followed by its pixel data (ImageCopySize bytes, checked by the
// caller), written at *at.
RASTER_IMAGE* CopyImageInto(const RASTER_IMAGE* image, uint8_t** at) {
  RASTER_IMAGE* copy = (RASTER_IMAGE*)*at;
  *copy = *image;
  size_t bytes = (size_t)ImageDataBytes(image);
  copy->pixels = *at + Align8(sizeof(RASTER_IMAGE));
  memcpy(copy->pixels, image->pixels, bytes);
  *at += Align8(sizeof(RASTER_IMAGE)) + Align8(bytes);
  return copy;
}

// A bitmap read into an image record that points at its bits (kept by the caller).
bool ReadBitmapImage(HBITMAP bitmap, const COLOR_FORMAT* format, RASTER_IMAGE* out) {
  BITMAP bm;
  if (bitmap == nullptr || GetObjectA(bitmap, sizeof bm, &bm) == 0 || bm.bmBits == nullptr) return false;
  memset(out, 0, sizeof *out);
  if (format != nullptr) out->format = *format;
  out->width = bm.bmWidth;
  out->height = bm.bmHeight;
  out->pitch = (bm.bmWidthBytes + 3) / 4 * 4;
  out->pixels = bm.bmBits;
  return true;
}

GRAPH_RECORD* ShareSource(GRAPH_RECORD* g, GRAPH_RECORD* same) {
  g->reloadSource = same != nullptr ? same->reloadSource : nullptr;
  if (g->reloadSource != nullptr) g->reloadSource->refCount++;
  return g;
}

// The images decoded for one run of graphs that share a file or bytes source.
struct HELD_IMAGES {
  const GRAPH_RELOAD_SOURCE* from;  // the source whose decode is held (null: none)
  int loaded;                       // 0: both, 1: main only, -1: failed
  RASTER_IMAGE image, alpha;
};

void DisposeHeld(HELD_IMAGES* held) {
  DisposeImage(&held->image);
  DisposeImage(&held->alpha);
  held->from = nullptr;
}

// Decodes a file or bytes source unless the held images already came from the same path (or
// the same byte blocks) with the same load flags.
int DecodeSource(const GRAPH_RELOAD_SOURCE* s, HELD_IMAGES* held) {
  const GRAPH_RELOAD_SOURCE* h = held->from;
  bool same = h != nullptr && h->loadFlags == s->loadFlags &&
              (s->path != nullptr ? h->path != nullptr && strcmp(h->path, s->path) == 0
                                  : h->bytes == s->bytes && h->alphaBytes == s->alphaBytes);
  if (same) return held->loaded;
  DisposeHeld(held);
  held->from = s;
  if (s->path != nullptr) {
    held->loaded = LoadImageAndAlpha(s->path, nullptr, 0, 0, nullptr, 0, 0, &held->image, &held->alpha, s->loadFlags);
  } else {
    held->loaded = LoadImageAndAlpha(nullptr, s->bytes, s->size, 1, s->alphaBytes, s->alphaSize,
                                     s->alphaBytes != nullptr ? 1 : 2, &held->image, &held->alpha, s->loadFlags);
  }
  return held->loaded;
}
}  // namespace

void ReleaseReloadSource(GRAPH_RELOAD_SOURCE* source) {
  if (source != nullptr && --source->refCount <= 0) FreeTracked(source);
}

int AttachReloadSource(const int* noReloadData, HANDLE_VALUE handle, const char* path, const COLOR_FORMAT* bitmapFormat,
                       HBITMAP colorBitmap, HBITMAP alphaBitmap, const void* bytes, int size, const void* alphaBytes,
                       int alphaSize, const RASTER_IMAGE* image, const RASTER_IMAGE* alphaImage, int loadFlags,
                       HANDLE_VALUE sameSource, int anyState) {
  GRAPH_RECORD* g = GetGraphRecord(handle, anyState);
  if (g == nullptr) return -1;
  GRAPH_RECORD* same = sameSource != -1 ? GetGraphRecord(sameSource, 1) : nullptr;
  ReleaseReloadSource(g->reloadSource);
  g->reloadSource = nullptr;
  RASTER_IMAGE bitmapImage, bitmapAlpha;
  if (colorBitmap != nullptr && ReadBitmapImage(colorBitmap, bitmapFormat, &bitmapImage)) {
    image = &bitmapImage;
    alphaImage = ReadBitmapImage(alphaBitmap, bitmapFormat, &bitmapAlpha) ? &bitmapAlpha : nullptr;
  }
  if (noReloadData != nullptr && *noReloadData != 0) return 0;
  bool given = path != nullptr || bytes != nullptr || image != nullptr;
  if (!given || same != nullptr) {
    ShareSource(g, same);
    return 0;
  }
  GRAPH_RELOAD_SOURCE* s = nullptr;
  if (path != nullptr) {
    char full[FILE_PATH_CHARS];
    if (ToFullPath(path, full, nullptr) < 0) strcpy(full, "");
    size_t length = strlen(full) + 1;
    s = NewSource(length);
    if (s == nullptr) {
      WriteLogText(kNoPathMemory);
      return -1;
    }
    s->path = (char*)Payload(s);
    memcpy(s->path, full, length);
  } else if (bytes != nullptr) {
    size_t a = Align8((size_t)(size > 0 ? size : 0)), b = (size_t)(alphaBytes != nullptr && alphaSize > 0 ? alphaSize : 0);
    s = NewSource(a + b);
    if (s == nullptr) {
      WriteLogText(kNoBytesMemory);
      return -1;
    }
    uint8_t* at = Payload(s);
    memcpy(at, bytes, (size_t)(size > 0 ? size : 0));
    s->bytes = at;
    s->size = size;
    if (alphaBytes != nullptr) {
      memcpy(at + a, alphaBytes, b);
      s->alphaBytes = at + a;
      s->alphaSize = alphaSize;
    }
  } else {
    // Each image's record must describe its data, so that the block holds what is copied.
    long long imageRoom = ImageCopySize(image), alphaRoom = ImageCopySize(alphaImage);
    s = imageRoom > 0 && alphaRoom >= 0 ? NewSource((size_t)(imageRoom + alphaRoom)) : nullptr;
    if (s == nullptr) {
      WriteLogText(kNoImageMemory);
      return -1;
    }
    uint8_t* at = Payload(s);
    s->image = CopyImageInto(image, &at);
    if (alphaImage != nullptr) s->alphaImage = CopyImageInto(alphaImage, &at);
  }
  s->loadFlags = loadFlags;
  g->reloadSource = s;
  return 0;
}

int SetReloadSourceFile(HANDLE_VALUE handle, const char* path, int loadFlags, HANDLE_VALUE sameSource, int anyState) {
  return AttachReloadSource(&NoReloadData, handle, path, nullptr, nullptr, nullptr, nullptr, 0, nullptr, 0, nullptr,
                            nullptr, loadFlags, sameSource, anyState);
}

int RestoreAllGraphs() {
  WriteLogText("グラフィックを復帰します\n");
  HELD_IMAGES held;
  memset(&held, 0, sizeof held);
  int cursor = -1;
  while (GRAPH_RECORD* g = (GRAPH_RECORD*)NextHandleRecord(HANDLE_TYPE_GRAPH, &cursor)) {
    if (g->reloadSource == nullptr) continue;
    const GRAPH_RELOAD_SOURCE* s = g->reloadSource;
    const RASTER_IMAGE *image = s->image, *alpha = s->alphaImage;
    if (image == nullptr) {
      if (DecodeSource(s, &held) < 0) {
        if (s->path != nullptr) AddLogLineFormat("ファイル:%s がロードできませんでした", s->path);
        else WriteLogText("メモリからの画像データのローができませんでした");
        continue;
      }
      image = &held.image;
      alpha = held.loaded == 0 ? &held.alpha : nullptr;
    }
    TransferImageToGraph(nullptr, nullptr, nullptr, 0, image, alpha, g->reloadX, g->reloadY, g->head.handle, 1, 0);
  }
  DisposeHeld(&held);
  return WriteLogText("グラフィックの復帰が完了しました\n");
}
