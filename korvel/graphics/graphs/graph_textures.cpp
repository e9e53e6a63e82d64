#include "graphics/graphs/graph_textures.h"

#include <cstring>

#include "core/log.h"
#include "core/maths.h"
#include "core/memory.h"
#include "graphics/device/d3d_calls.h"
#include "graphics/device/device.h"
#include "graphics/graphs/graph_formats.h"
#include "graphics/graphs/graph_handles.h"
#include "graphics/graphs/graph_layout.h"
#include "graphics/graphs/graph_software.h"
#include "graphics/device/main_thread_calls.h"
#include "graphics/device/screen.h"
#include "graphics/graphs/texture_transfer.h"
#include "graphics/device/vertex_batch.h"
#include "image/pixel_convert.h"
#include "korvel.h"

namespace {
const char* const kNoSetMemory = "グラフィックのオリジナル画像データ保存用メモリの確保に失敗しました\n";
const char* const kNoTextureFormat = "指定のフォーマットで作成できるテクスチャフォーマットがありませんでした\n";
const char* const kNoMultiSampleTarget = "書き込み専用サーフェスの作成に失敗しました\n";
const char* const kNoDepthSurface = "書き込み専用マルチサンプル深度サーフェスの作成に失敗しました\n";
const char* const kNoTexture = "テクスチャの作成に失敗しました\n";
const char* const kNoSurface = "テクスチャのサーフェスアドレスの取得に失敗しました\n";
const char* const kNoPlainImage = "標準イメージ用のメモリ確保に失敗しました\n";
const char* const kNoTransferSurface = "画像転送用のシステムメモリテクスチャの作成に失敗しました\n";
const char* const kDrawableTransferFailed = "描画可能テクスチャへの画像の転送に失敗しました\n";

void Release(IUnknown* object, int fromWorker = 0) {
  if (object != nullptr) ReleaseComObjectOnMainThread(object, fromWorker);
}

D3DFORMAT SetD3DFormat(const GRAPH_IMAGE_SET* set) { return DeviceCaps.textureFormats[set->formatIndex]; }

// A raster image record over the bits of a DIB section.
int ReadBitmapImage(HBITMAP bitmap, const COLOR_FORMAT* format, RASTER_IMAGE* out) {
  memset(out, 0, sizeof(*out));
  BITMAP bm;
  if (bitmap == nullptr || GetObjectA(bitmap, sizeof(bm), &bm) == 0 || bm.bmBits == nullptr) return -1;
  out->format = *format;
  out->width = bm.bmWidth;
  out->height = bm.bmHeight;
  out->pitch = (bm.bmWidthBytes + 3) / 4 * 4;
  out->pixels = bm.bmBits;
  return 0;
}

// Where the transfer rectangle meets one texture: the part of the image set (or graph)
// rectangle [x1, x2) x [y1, y2) that the texture shows, and the texture position of its start.
struct TRANSFER_TARGET {
  GRAPH_TEXTURE* texture;
  int x1, y1, x2, y2;    // the texture's area in the destination coordinates
  int textureX, textureY;  // texel of (x1, y1)
};

int CollectTargets(const GRAPH_RECORD* g, int setRelative, TRANSFER_TARGET* out) {
  int count = 0;
  if (setRelative) {
    for (int i = 0; i < g->imageSet->textureCount; i++) {
      GRAPH_TEXTURE* t = &g->imageSet->textures[i];
      if (out) out[count] = {t, t->x, t->y, t->x + t->usedWidth, t->y + t->usedHeight, 0, 0};
      count++;
    }
  } else {
    for (int i = 0; i < g->pieceCount; i++) {
      const GRAPH_PIECE& p = g->pieces[i];
      if (out) out[count] = {p.texture, p.graphX, p.graphY, p.graphX + p.width, p.graphY + p.height, p.textureX, p.textureY};
      count++;
    }
  }
  return count;
}

// Waits for a system texture of the kind until one is given back or the program quits: the
// main thread keeps pumping its window messages meanwhile (loader threads hand their
// requests to it), a loader thread only sleeps. A texture that cannot be created ends the
// wait at once.
int WaitForSystemTexture(const GRAPH_TEXTURE* t, const GRAPH_IMAGE_SET* set, int onWorker) {
  for (;;) {
    int entry = AcquireSystemTextureFor(t, onWorker, set);
    if (entry != SYSTEM_TEXTURE_BUSY) return entry;
    if (!onWorker && PumpWindowMessages() != 0) return SYSTEM_TEXTURE_FAILED;
    if (IsQuitRequested()) return SYSTEM_TEXTURE_FAILED;
    Sleep(1);
  }
}

int TransferToDrawableSet(GRAPH_RECORD* g, const TRANSFER_TARGET* targets, int count, const RASTER_IMAGE* img,
                          const RASTER_IMAGE* alpha, const RECT* src, int tx, int ty, int useAlpha, int onWorker) {
  GRAPH_IMAGE_SET* set = g->imageSet;
  int w = src->right - src->left, h = src->bottom - src->top;
  IDirect3DSurface9* surface = nullptr;
  const COLOR_FORMAT* format = GetTextureColorFormat(set->formatIndex);
  if (FAILED(CreateOffscreenSurfaceOnMainThread((UINT)w, (UINT)h, SetD3DFormat(set), D3DPOOL_SYSTEMMEM, &surface,
                                                nullptr, onWorker)) ||
      surface == nullptr) {
    WriteLogText(kNoTransferSurface);
    return -1;
  }
  // A surface that cannot be filled holds no pixels of the image: nothing is transferred.
  D3DLOCKED_RECT locked;
  if (FAILED(LockSurfaceOnMainThread(surface, &locked, nullptr, 0, onWorker)) || locked.pBits == nullptr) {
    WriteLogText(kDrawableTransferFailed);
    Release(surface, onWorker);
    return -1;
  }
  bool withAlpha = alpha != nullptr && alpha->pixels != nullptr;
  int keyToAlpha = useAlpha && format->alphaWidth != 0 && !withAlpha;
  ConvertPixelRect(locked.pBits, locked.Pitch, format, img->pixels, img->pitch, &img->format,
                   withAlpha ? alpha->pixels : nullptr, withAlpha ? alpha->pitch : 0,
                   withAlpha ? &alpha->format : nullptr, 0, 0, src, 0, keyToAlpha, set->transparentColor, 0, 0, 0, 0,
                   0);
  UnlockSurfaceOnMainThread(surface, onWorker);
  for (int i = 0; i < count; i++) {
    const TRANSFER_TARGET& t = targets[i];
    int x1 = tx > t.x1 ? tx : t.x1, y1 = ty > t.y1 ? ty : t.y1;
    int x2 = tx + w < t.x2 ? tx + w : t.x2, y2 = ty + h < t.y2 ? ty + h : t.y2;
    if (x1 >= x2 || y1 >= y2) continue;
    RECT part = {x1 - tx, y1 - ty, x2 - tx, y2 - ty};
    POINT at = {t.textureX + x1 - t.x1, t.textureY + y1 - t.y1};
    bool ok = SUCCEEDED(UpdateSurfaceOnMainThread(surface, &part, t.texture->surface, &at, onWorker));
    if (ok && t.texture->multiSampleSurface != nullptr)
      ok = SUCCEEDED(UpdateSurfaceOnMainThread(surface, &part, t.texture->multiSampleSurface, &at, onWorker));
    if (!ok) {
      WriteLogText(kDrawableTransferFailed);
      break;
    }
  }
  Release(surface, onWorker);
  return 0;
}

int TransferToTextureSet(GRAPH_RECORD* g, const TRANSFER_TARGET* targets, int count, const RASTER_IMAGE* img,
                         const RASTER_IMAGE* alpha, const RECT* src, int tx, int ty, int blendImage, int useAlpha,
                         int onWorker) {
  GRAPH_IMAGE_SET* set = g->imageSet;
  int w = src->right - src->left, h = src->bottom - src->top;
  const COLOR_FORMAT* format = GetTextureColorFormat(set->formatIndex);
  TEXTURE_WRITE_FLAGS flags = {useAlpha, blendImage, set->transparentColor, set->mipLevels};
  for (int i = 0; i < count; i++) {
    const TRANSFER_TARGET& t = targets[i];
    int x1 = tx > t.x1 ? tx : t.x1, y1 = ty > t.y1 ? ty : t.y1;
    int x2 = tx + w < t.x2 ? tx + w : t.x2, y2 = ty + h < t.y2 ? ty + h : t.y2;
    if (x1 >= x2 || y1 >= y2) continue;
    RECT source = {src->left + x1 - tx, src->top + y1 - ty, src->left + x2 - tx, src->top + y2 - ty};
    int destLeft = t.textureX + x1 - t.x1, destTop = t.textureY + y1 - t.y1;
    RECT dest = {destLeft, destTop, destLeft + x2 - x1, destTop + y2 - y1};
    GRAPH_TEXTURE* gt = t.texture;
    IDirect3DTexture9* target = gt->texture;
    int entry = -1;
    if (!set->desc.managedPool) {
      entry = WaitForSystemTexture(gt, set, onWorker);
      if (entry < 0) return -1;
      target = SystemTexturePool.entries[entry].texture;
    }
    int result = set->mipLevels < 2
                     ? WriteImageToTexture(target, &dest, &source, img, alpha, format, set->formatIndex, gt->width,
                                           gt->height, gt->usedWidth, gt->usedHeight, &flags, onWorker)
                     : WriteImageToMipmapTexture(target, &dest, &source, img, alpha, format, set->formatIndex,
                                                 gt->width, gt->height, gt->usedWidth, gt->usedHeight, &flags,
                                                 onWorker);
    if (entry >= 0) {
      if (result == 0) UpdateTextureOnMainThread(target, gt->texture, onWorker);
      ReleaseTextureCacheEntry(entry, onWorker);
    }
    if (result < 0) return -1;
  }
  return 0;
}
}  // namespace

int BuildTextureDesc(int mipLevels, TEXTURE_DESC* d, const GRAPH_CREATE_PARAM* p, int width, int height, int alpha,
                     int palette, int compressedKind) {
  memset(d, 0, sizeof(*d));
  d->heldAsTextures = (uint8_t)(ScreenState.hardwareRendering != 0);
  d->managedPool = (uint8_t)p->managedPool;
  d->compressedKind = (uint8_t)compressedKind;
  int levels = mipLevels;
  if (levels == -1) levels = p->mipLevels == -1 ? FullMipChainLevels(width, height) : (p->mipLevels == 0 ? 1 : p->mipLevels);
  d->mipLevels = (uint8_t)levels;
  if (p->drawable == 1) {
    d->drawable = 1;
    d->alpha = (uint8_t)p->drawableAlpha;
    d->managedPool = 0;
    d->mipLevels = 1;
    d->multiSampleCount = (uint8_t)p->multiSampleCount;
    d->multiSampleQuality = (uint8_t)p->multiSampleQuality;
  } else {
    d->alpha = (uint8_t)(alpha != 0);
    d->alphaTest = (uint8_t)p->alphaTestFormat;
    d->blendImage = (uint8_t)p->blendImage;
  }
  if (d->heldAsTextures) {
    d->colorBits = (uint8_t)(p->colorBits != 0 ? p->colorBits : (alpha ? 32 : GetScreenColorBits()));
    if (d->alpha) d->alphaTest = 0;
    if (d->blendImage) {
      d->colorBits = 32;
      d->alpha = 1;
      d->drawable = 0;
      d->alphaTest = 0;
    }
    if (d->drawable) {
      d->floatChannels = (uint8_t)p->floatChannels;
      d->channelCount = (uint8_t)p->channelCount;
      d->channelBits = (uint8_t)p->channelBits;
    }
  } else {
    d->compressedKind = 0;
    d->software = 1;
    d->colorBits = (uint8_t)(p->colorBits != 0 ? p->colorBits : GetScreenColorBits());
    d->palette = (uint8_t)palette;
    d->managedPool = 0;
    d->drawable = (uint8_t)!d->blendImage;
    d->mipLevels = 0;
    d->alphaTest = 0;
  }
  return 0;
}

TEXTURE_LIMITS GetDeviceTextureLimits() {
  TEXTURE_LIMITS limits;
  limits.maxSize = DeviceCaps.maxTextureSize;
  limits.powerOfTwoOnly = DeviceCaps.powerOfTwoOnly;
  limits.nonPowerOfTwoConditional = DeviceCaps.nonPowerOfTwoConditional;
  limits.squareOnly = (DeviceCaps.caps.TextureCaps & D3DPTEXTURECAPS_SQUAREONLY) != 0;
  return limits;
}

int SplitTextureLength(int maxSize, int n, int* sizes, int pow2) {
  TEXTURE_LIMITS limits = GetDeviceTextureLimits();
  return SplitTextureLengthWithLimits(&limits, maxSize, n, sizes, pow2);
}

int SetUpGraphImageSet(const GRAPH_CREATE_PARAM* param, HANDLE_VALUE handle, int width, int height, int alpha,
                       int palette, int compressedKind, int mipLevels, int onWorker) {
  GRAPH_RECORD* g = GetGraphRecord(handle, 1);
  if (g == nullptr) return -1;
  TEXTURE_DESC desc;
  BuildTextureDesc(mipLevels, &desc, param, width, height, alpha, palette, compressedKind);
  if (!desc.heldAsTextures) return SetUpSoftwareImageSet(param, handle, &desc, width, height);
  TEXTURE_LIMITS limits = GetDeviceTextureLimits();
  int count = LayoutImageSetTextures(&limits, param->maxTextureSize, width, height, !desc.drawable, nullptr);
  GRAPH_IMAGE_SET* set = count > 0 ? AllocGraphImageSet(count) : nullptr;
  if (set == nullptr) {
    WriteLogText(kNoSetMemory);
    DeleteGraphHandle(handle, 0);
    return -1;
  }
  LayoutImageSetTextures(&limits, param->maxTextureSize, width, height, !desc.drawable, set->textures);
  set->refCount = 1;
  set->desc = desc;
  set->transparentColor = (DWORD)param->transparentColor;
  set->width = width;
  set->height = height;
  ReleaseGraphImageSet(g->imageSet);
  g->imageSet = set;
  g->x = g->y = 0;
  g->width = width;
  g->height = height;
  set->formatIndex = ClassifyTextureDesc(&desc);
  set->mipLevels = set->formatIndex >= 6 && set->formatIndex <= 10 ? 1 : desc.mipLevels;
  set->depthFlag = desc.drawable && param->depthBuffer ? 1 : 0;
  if (CreateGraphTextures(onWorker, set) < 0 || BuildGraphPieces(handle, onWorker) < 0) {
    DeleteGraphHandle(handle, 0);
    return -1;
  }
  return 0;
}

int CreateGraphTextures(int onWorker, GRAPH_IMAGE_SET* set) {
  if (!HasDirect3DDevice()) return -1;
  if (!set->desc.heldAsTextures) return 0;
  D3DFORMAT format = SetD3DFormat(set);
  if (format == D3DFMT_UNKNOWN) {
    WriteLogText(kNoTextureFormat);
    return -1;
  }
  bool multiSampled = set->desc.multiSampleCount != 0;
  for (int i = 0; i < set->textureCount; i++) {
    GRAPH_TEXTURE* t = &set->textures[i];
    if (HasDirect3D9Ex()) set->desc.managedPool = 0;
    if (set->desc.drawable) {
      DWORD type = 0, quality = 0;
      if (multiSampled) {
        type = set->desc.multiSampleCount;
        quality = set->desc.multiSampleQuality;
        FindSupportedMultiSampleTypeOnMainThread(format, &type, &quality, 0, onWorker);
        if (t->multiSampleSurface == nullptr &&
            FAILED(CreateRenderTargetOnMainThread((UINT)t->width, (UINT)t->height, format, (D3DMULTISAMPLE_TYPE)type,
                                                  quality, FALSE, &t->multiSampleSurface, nullptr, onWorker))) {
          WriteLogText(kNoMultiSampleTarget);
          return -1;
        }
      }
      bool programmable = GetShaderModel() >= 200;
      bool wantDepth = set->depthFlag || (programmable ? multiSampled : !multiSampled);
      if (wantDepth && t->depthSurface == nullptr &&
          FAILED(CreateDepthStencilSurfaceOnMainThread((UINT)t->width, (UINT)t->height, D3DFMT_D16,
                                                       (D3DMULTISAMPLE_TYPE)type, quality, FALSE, &t->depthSurface,
                                                       nullptr, onWorker))) {
        WriteLogText(kNoDepthSurface);
        return -1;
      }
      if (!wantDepth && t->depthSurface != nullptr) {
        Release(t->depthSurface, onWorker);
        t->depthSurface = nullptr;
      }
    }
    if (t->texture == nullptr) {
      D3DPOOL pool = set->desc.managedPool && !set->desc.drawable ? D3DPOOL_MANAGED : D3DPOOL_DEFAULT;
      DWORD usage = set->desc.drawable ? D3DUSAGE_RENDERTARGET : 0;
      if (FAILED(CreateTextureOnMainThread((UINT)t->width, (UINT)t->height, (UINT)set->mipLevels, usage, format, pool,
                                           &t->texture, nullptr, onWorker)) ||
          t->texture == nullptr) {
        t->texture = nullptr;
        WriteLogText(kNoTexture);
        return -1;
      }
    }
    if (t->surface == nullptr && FAILED(TextureGetSurfaceLevelOnMainThread(t->texture, 0, &t->surface, onWorker))) {
      t->surface = nullptr;
      WriteLogText(kNoSurface);
      return -1;
    }
    if (set->desc.drawable) ColorFillOnMainThread(t->surface, nullptr, 0, onWorker);
  }
  return 0;
}

void ReleaseImageSetTextures(GRAPH_IMAGE_SET* set) {
  for (int i = 0; i < set->textureCount; i++) {
    GRAPH_TEXTURE* t = &set->textures[i];
    Release(t->surface);
    Release(t->multiSampleSurface);
    Release(t->depthSurface);
    Release(t->texture);
    t->surface = t->multiSampleSurface = t->depthSurface = nullptr;
    t->texture = nullptr;
  }
}

int CopyImageIntoGraph(HANDLE_VALUE handle, const COLOR_FORMAT* bitmapFormat, HBITMAP colorBitmap, HBITMAP alphaBitmap,
                       const RECT* srcRect, int destX, int destY, int bitmapFlag, const RASTER_IMAGE* image,
                       const RASTER_IMAGE* alphaImage, int blendImage, int useAlpha, int setRelative, int onWorker) {
  if (!ScreenState.graphicsStarted) return -1;
  GRAPH_RECORD* g = GetGraphRecord(handle, onWorker);
  if (g == nullptr || g->imageSet == nullptr) return -1;
  FlushVertexBatch(onWorker);
  int w = srcRect->right - srcRect->left, h = srcRect->bottom - srcRect->top;
  if (w < 1 || h < 1) return 0;

  RASTER_IMAGE bitmapImage, bitmapAlpha;
  if (bitmapFlag) {
    if (ReadBitmapImage(colorBitmap, bitmapFormat, &bitmapImage) < 0) return -1;
    image = &bitmapImage;
    alphaImage = ReadBitmapImage(alphaBitmap, bitmapFormat, &bitmapAlpha) == 0 ? &bitmapAlpha : nullptr;
  }
  GRAPH_IMAGE_SET* set = g->imageSet;
  // The rectangle is cut to the image so that no pixel outside it is read.
  RECT src = *srcRect;
  if (src.left < 0) { destX -= src.left; src.left = 0; }
  if (src.top < 0) { destY -= src.top; src.top = 0; }
  if (src.right > image->width) src.right = image->width;
  if (src.bottom > image->height) src.bottom = image->height;
  if (src.right <= src.left || src.bottom <= src.top) return 0;
  srcRect = &src;
  // The alpha image is read at the places of the colour pixels: one that does not cover the
  // rectangle (an alpha file of another size) is refused rather than read past its end.
  if (alphaImage != nullptr && alphaImage->pixels != nullptr &&
      (src.right > alphaImage->width || src.bottom > alphaImage->height))
    return -1;

  // Compressed data goes unchanged only into textures of its own DXT format; otherwise a
  // decoded copy is transferred and the caller's image is left as it is.
  D3DFORMAT format = set->desc.heldAsTextures ? SetD3DFormat(set) : D3DFMT_UNKNOWN;
  RASTER_IMAGE decoded, decodedAlpha;
  memset(&decoded, 0, sizeof(decoded));
  memset(&decodedAlpha, 0, sizeof(decodedAlpha));
  bool keepCompressed = IsDxtFormat(format);
  const RASTER_IMAGE* img = keepCompressed ? image : GetPlainImage(image, &decoded);
  const RASTER_IMAGE* alpha = alphaImage;
  if (img != nullptr && alpha != nullptr && !keepCompressed) alpha = GetPlainImage(alphaImage, &decodedAlpha);
  int result = -1;
  if (img == nullptr || (alphaImage != nullptr && alpha == nullptr)) {
    WriteLogText(kNoPlainImage);
  } else if (!set->desc.heldAsTextures) {
    result = TransferImageToSoftwareSet(g, img, alpha, *srcRect, destX, destY, useAlpha, setRelative);
  } else {
    int count = CollectTargets(g, setRelative, nullptr);
    TRANSFER_TARGET* targets = (TRANSFER_TARGET*)AllocTracked(sizeof(TRANSFER_TARGET) * (size_t)(count > 0 ? count : 1), "", 0);
    if (targets != nullptr) {
      CollectTargets(g, setRelative, targets);
      result = set->desc.drawable
                   ? TransferToDrawableSet(g, targets, count, img, alpha, srcRect, destX, destY, useAlpha, onWorker)
                   : TransferToTextureSet(g, targets, count, img, alpha, srcRect, destX, destY, blendImage, useAlpha,
                                          onWorker);
      FreeTracked(targets);
    }
  }
  if (img == &decoded) DisposeImage(&decoded);
  if (alpha == &decodedAlpha) DisposeImage(&decodedAlpha);
  return result;
}

int GetGraphOrScreenSize(HANDLE_VALUE handle, int* width, int* height) {
  // The screen codes -2 to -5 all have the main screen's size.
  if (handle >= -5 && handle <= -2) return QueryMainScreenSize(width, height);
  GRAPH_RECORD* g = GetGraphRecord(handle, 1);
  if (g == nullptr) return -1;
  if (width) *width = g->width;
  if (height) *height = g->height;
  return 0;
}
