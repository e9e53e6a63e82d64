#include "graphics/graphs/texture_transfer.h"

#include <algorithm>
#include <cstring>

#include "core/log.h"
#include "core/maths.h"
#include "core/memory.h"
#include "file/async_load.h"
#include "graphics/device/d3d_calls.h"
#include "graphics/device/device.h"
#include "graphics/graphs/graph_handles.h"
#include "graphics/device/main_thread_calls.h"
#include "image/pixel_convert.h"
#include "image/raster_ops.h"

SYSTEM_TEXTURE_POOL SystemTexturePool;

namespace {
const char* const kLockFailed = "テクスチャのロックに失敗しました\n";
const char* const kMipLockFailed = "ミップマップテクスチャのロックに失敗しました\n";
const char* const kDxtTarget = "DXTフォーマットのテクスチャに標準形式のイメージを転送することはできません\n";
const char* const kNoBuffer = "テクスチャへ転送する画像を一時的に格納するメモリ領域の確保に失敗しました\n";
const char* const kNoSystemTexture = "メモリテクスチャの作成に失敗しました\n";

struct D3D_FORMAT_TABLE {
  int built;
  COLOR_FORMAT formats[25];
  D3DFORMAT keys[25];
  int count;
};
D3D_FORMAT_TABLE D3DFormatTable;

void AddPacked(D3DFORMAT key, int bits, uint32_t r, uint32_t g, uint32_t b, uint32_t a) {
  D3D_FORMAT_TABLE& t = D3DFormatTable;
  InitColorFormat(&t.formats[t.count], bits, r, g, b, a, 0, 0, 0);
  t.keys[t.count++] = key;
}

void AddChannels(D3DFORMAT key, int count, int bits, int isFloat) {
  D3D_FORMAT_TABLE& t = D3DFormatTable;
  InitColorFormat(&t.formats[t.count], 0, 0, 0, 0, 0, count, bits, isFloat);
  t.keys[t.count++] = key;
}

void BuildD3DFormatTable() {
  AddPacked(D3DFMT_R8G8B8, 24, 0xFF0000, 0xFF00, 0xFF, 0);
  AddPacked(D3DFMT_A8R8G8B8, 32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000u);
  AddPacked(D3DFMT_X8R8G8B8, 32, 0xFF0000, 0xFF00, 0xFF, 0);
  AddPacked(D3DFMT_R5G6B5, 16, 0xF800, 0x7E0, 0x1F, 0);
  AddPacked(D3DFMT_X1R5G5B5, 16, 0x7C00, 0x3E0, 0x1F, 0);
  AddPacked(D3DFMT_A1R5G5B5, 16, 0x7C00, 0x3E0, 0x1F, 0x8000);
  AddPacked(D3DFMT_A4R4G4B4, 16, 0xF00, 0xF0, 0xF, 0xF000);
  AddPacked(D3DFMT_R3G3B2, 8, 0xE0, 0x1C, 0x3, 0);
  AddPacked(D3DFMT_A8R3G3B2, 16, 0xE0, 0x1C, 0x3, 0xFF00);
  AddPacked(D3DFMT_X4R4G4B4, 16, 0xF00, 0xF0, 0xF, 0);
  AddPacked(D3DFMT_A2B10G10R10, 32, 0x3FF, 0xFFC00, 0x3FF00000, 0xC0000000u);
  AddPacked(D3DFMT_A8B8G8R8, 32, 0xFF, 0xFF00, 0xFF0000, 0xFF000000u);
  AddPacked(D3DFMT_X8B8G8R8, 32, 0xFF, 0xFF00, 0xFF0000, 0);
  AddPacked(D3DFMT_A2R10G10B10, 32, 0x3FF00000, 0xFFC00, 0x3FF, 0xC0000000u);
  AddChannels(D3DFMT_A16B16G16R16, 4, 16, 0);
  AddChannels(D3DFMT_G16R16, 2, 16, 0);
  AddChannels(D3DFMT_L8, 1, 8, 0);
  AddChannels(D3DFMT_V8U8, 2, 8, 0);
  AddChannels(D3DFMT_L16, 1, 16, 0);
  AddChannels(D3DFMT_R16F, 1, 16, 1);
  AddChannels(D3DFMT_G16R16F, 2, 16, 1);
  AddChannels(D3DFMT_A16B16G16R16F, 4, 16, 1);
  AddChannels(D3DFMT_R32F, 1, 32, 1);
  AddChannels(D3DFMT_G32R32F, 2, 32, 1);
  AddChannels(D3DFMT_A32B32G32R32F, 4, 32, 1);
  D3DFormatTable.built = 1;
}

D3DFORMAT DxtFormatOfKind(int kind) {
  static const D3DFORMAT kDxt[5] = {D3DFMT_DXT1, D3DFMT_DXT2, D3DFMT_DXT3, D3DFMT_DXT4, D3DFMT_DXT5};
  return kind >= 1 && kind <= 5 ? kDxt[kind - 1] : D3DFMT_UNKNOWN;
}

D3DFORMAT SetFormat(int formatIndex) {
  return formatIndex >= 0 && formatIndex < TEXTURE_FORMAT_CLASS_COUNT ? DeviceCaps.textureFormats[formatIndex]
                                                                     : D3DFMT_UNKNOWN;
}


// Texture locks; on a loader thread they run on the main thread.
HRESULT LockLevel(IDirect3DTexture9* texture, int level, D3DLOCKED_RECT* locked, const RECT* rect, int fromWorker) {
  return TextureLockRectOnMainThread(texture, (UINT)level, locked, rect, 0, fromWorker);
}
void UnlockLevel(IDirect3DTexture9* texture, int level, int fromWorker) {
  TextureUnlockRectOnMainThread(texture, (UINT)level, fromWorker);
}

// A rectangle of level 0 on level `level`: every coordinate shifted right, an empty span
// widened to one pixel.
RECT ShiftLevelRect(const RECT& r, int level) {
  RECT out = {r.left >> level, r.top >> level, r.right >> level, r.bottom >> level};
  if (out.right == out.left) out.right = out.left + 1;
  if (out.bottom == out.top) out.bottom = out.top + 1;
  return out;
}

// Copies rows of a mip level into a locked level, each row to its own pitch.
void CopyRows(const uint8_t* src, int srcPitch, const D3DLOCKED_RECT& locked, int rowBytes, int rows) {
  int bytes = rowBytes < srcPitch || srcPitch == 0 ? rowBytes : srcPitch;
  if (locked.Pitch > 0 && bytes > locked.Pitch) bytes = locked.Pitch;
  for (int r = 0; r < rows; r++) memcpy((uint8_t*)locked.pBits + (ptrdiff_t)r * locked.Pitch, src + (ptrdiff_t)r * srcPitch, (size_t)bytes);
}

// Writes level `level` of DXT data unchanged into the whole texture level.
int CopyDxtLevel(IDirect3DTexture9* texture, const RASTER_IMAGE* image, int level, int fromWorker,
                 const char* lockMessage) {
  MIP_LEVEL_LAYOUT layout;
  GetMipLevelLayout(&image->format, image->width, image->height, image->pitch, level, &layout);
  int offset = GetMipLevelOffset(&image->format, image->width, image->height, image->pitch, level);
  D3DLOCKED_RECT locked;
  if (FAILED(LockLevel(texture, level, &locked, nullptr, fromWorker))) {
    WriteLogText(lockMessage);
    return -1;
  }
  CopyRows((const uint8_t*)image->pixels + offset, layout.rowBytes, locked, layout.rowBytes, layout.rowCount);
  UnlockLevel(texture, level, fromWorker);
  return 0;
}

int KeyToAlphaFlag(const TEXTURE_WRITE_FLAGS* flags, const COLOR_FORMAT* textureFormat, const RASTER_IMAGE* alpha) {
  return flags->useAlpha && textureFormat->alphaWidth != 0 && (alpha == nullptr || alpha->pixels == nullptr);
}

// Converts the source rectangle of the image (with its alpha image) into memory of the
// texture's format.
void ConvertInto(void* bits, int pitch, const COLOR_FORMAT* textureFormat, const RASTER_IMAGE* image,
                 const RASTER_IMAGE* alpha, const RECT* srcRect, const TEXTURE_WRITE_FLAGS* flags) {
  bool withAlpha = alpha != nullptr && alpha->pixels != nullptr;
  ConvertPixelRect(bits, pitch, textureFormat, image->pixels, image->pitch, &image->format,
                   withAlpha ? alpha->pixels : nullptr, withAlpha ? alpha->pitch : 0,
                   withAlpha ? &alpha->format : nullptr, 0, 0, srcRect, 0,
                   KeyToAlphaFlag(flags, textureFormat, alpha), flags->keyColor, DITHER_NONE, 0, flags->alphaFromRed, 0,
                   0);
}
}  // namespace

bool IsDxtFormat(D3DFORMAT format) {
  for (int kind = 1; kind <= 5; kind++)
    if (format == DxtFormatOfKind(kind)) return true;
  return false;
}

const COLOR_FORMAT* GetD3DFormatColorFormat(D3DFORMAT format) {
  if (!D3DFormatTable.built) BuildD3DFormatTable();
  for (int i = 0; i < D3DFormatTable.count; i++)
    if (D3DFormatTable.keys[i] == format) return &D3DFormatTable.formats[i];
  return nullptr;
}

void DuplicateTextureEdges(void* bits, int pitch, int bytesPerPixel, int width, int height, int addColumn, int addRow) {
  uint8_t* base = (uint8_t*)bits;
  if (width <= 0 || height <= 0) return;
  if (addColumn) {
    for (int y = 0; y < height; y++) {
      uint8_t* row = base + (ptrdiff_t)y * pitch;
      memcpy(row + width * bytesPerPixel, row + (width - 1) * bytesPerPixel, (size_t)bytesPerPixel);
    }
  }
  if (addRow) {
    uint8_t* last = base + (ptrdiff_t)(height - 1) * pitch;
    memcpy(last + pitch, last, (size_t)width * bytesPerPixel);
    if (addColumn) memcpy(last + pitch + width * bytesPerPixel, last + (width - 1) * bytesPerPixel, (size_t)bytesPerPixel);
  }
}

int WriteImageToTexture(IDirect3DTexture9* texture, const RECT* destRect, const RECT* srcRect, const RASTER_IMAGE* image,
                        const RASTER_IMAGE* alphaImage, const COLOR_FORMAT* textureFormat, int formatIndex,
                        int textureWidth, int textureHeight, int usedRight, int usedBottom,
                        const TEXTURE_WRITE_FLAGS* flags, int fromWorker) {
  RECT lockRect = *destRect;
  int addColumn = destRect->right == usedRight && textureWidth > usedRight;
  int addRow = destRect->bottom == usedBottom && textureHeight > usedBottom;
  lockRect.right += addColumn;
  lockRect.bottom += addRow;
  bool whole = destRect->left == 0 && destRect->top == 0 && destRect->right == textureWidth &&
               destRect->bottom == textureHeight;
  D3DLOCKED_RECT locked;
  // DXT data goes into its whole texture; lock all of it.
  bool dxtCopy = whole && image->format.kind != COLOR_KIND_PLAIN && SetFormat(formatIndex) == DxtFormatOfKind(image->format.kind);
  if (dxtCopy) return CopyDxtLevel(texture, image, 0, fromWorker, kLockFailed);
  if (FAILED(LockLevel(texture, 0, &locked, &lockRect, fromWorker))) {
    WriteLogText(kLockFailed);
    return -1;
  }
  if (IsDxtFormat(SetFormat(formatIndex))) {
    WriteLogText(kDxtTarget);
    UnlockLevel(texture, 0, fromWorker);
    return 0;
  }
  if (image->format.kind != COLOR_KIND_PLAIN) {  // compressed images are decoded by the caller
    UnlockLevel(texture, 0, fromWorker);
    return -1;
  }
  ConvertInto(locked.pBits, locked.Pitch, textureFormat, image, alphaImage, srcRect, flags);
  DuplicateTextureEdges(locked.pBits, locked.Pitch, textureFormat->bytesPerPixel, destRect->right - destRect->left,
                        destRect->bottom - destRect->top, addColumn, addRow);
  UnlockLevel(texture, 0, fromWorker);
  return 0;
}

int WriteImageToMipmapTexture(IDirect3DTexture9* texture, const RECT* destRect, const RECT* srcRect,
                              const RASTER_IMAGE* image, const RASTER_IMAGE* alphaImage,
                              const COLOR_FORMAT* textureFormat, int formatIndex, int textureWidth, int textureHeight,
                              int, int, const TEXTURE_WRITE_FLAGS* flags, int fromWorker) {
  int levels = flags->mipLevels < 1 ? 1 : flags->mipLevels;
  int imageLevels = image->mipLevels < 1 ? 1 : image->mipLevels;
  bool wholeSource = srcRect->left == 0 && srcRect->top == 0 && srcRect->right - srcRect->left == textureWidth &&
                     srcRect->bottom - srcRect->top == textureHeight;
  if (wholeSource && imageLevels >= levels && image->format.kind != COLOR_KIND_PLAIN &&
      SetFormat(formatIndex) == DxtFormatOfKind(image->format.kind)) {
    for (int i = 0; i < levels; i++) {
      if (CopyDxtLevel(texture, image, i, fromWorker, kMipLockFailed) < 0) return -1;
    }
    return 0;
  }
  if (IsDxtFormat(SetFormat(formatIndex))) {
    WriteLogText(kDxtTarget);
    return 0;
  }
  if (image->format.kind != COLOR_KIND_PLAIN) return -1;
  int bytes = textureFormat->bytesPerPixel;
  int width = destRect->right - destRect->left, height = destRect->bottom - destRect->top;

  if (imageLevels >= levels) {
    // The image brings its levels: each level's share of the source rectangle goes into the
    // same share of the destination, cut to both levels.
    for (int i = 0; i < levels; i++) {
      MIP_LEVEL_LAYOUT layout;
      GetMipLevelLayout(&image->format, image->width, image->height, image->pitch, i, &layout);
      int offset = GetMipLevelOffset(&image->format, image->width, image->height, image->pitch, i);
      RECT from = ShiftLevelRect(*srcRect, i), to = ShiftLevelRect(*destRect, i);
      RECT sourceLevel = {0, 0, layout.width, layout.height};
      RECT textureLevel = {0, 0, MipLevelLength(textureWidth, i), MipLevelLength(textureHeight, i)};
      ClipRectToRect(&from, &sourceLevel);
      ClipRectToRect(&to, &textureLevel);
      int w = std::min(from.right - from.left, to.right - to.left);
      int h = std::min(from.bottom - from.top, to.bottom - to.top);
      if (w <= 0 || h <= 0) continue;
      from.right = from.left + w, from.bottom = from.top + h;
      to.right = to.left + w, to.bottom = to.top + h;
      D3DLOCKED_RECT locked;
      if (FAILED(LockLevel(texture, i, &locked, &to, fromWorker))) {
        WriteLogText(kMipLockFailed);
        return -1;
      }
      ConvertPixelRect(locked.pBits, locked.Pitch, textureFormat, (const uint8_t*)image->pixels + offset,
                       layout.rowBytes, &image->format, nullptr, 0, nullptr, 0, 0, &from, 0,
                       KeyToAlphaFlag(flags, textureFormat, nullptr), flags->keyColor, DITHER_NONE, 0,
                       flags->alphaFromRed, 0, 0);
      UnlockLevel(texture, i, fromWorker);
    }
    return 0;
  }

  // Levels generated by halving, in two halves of one buffer of power-of-two size.
  int bufferWidth = PowerOfTwoAtLeast(width), bufferHeight = PowerOfTwoAtLeast(height);
  int pitch = bufferWidth * bytes;
  size_t half = (size_t)pitch * bufferHeight;
  uint8_t* buffer = (uint8_t*)AllocTracked(half * 2, "", 0);
  if (buffer == nullptr) {
    WriteLogText(kNoBuffer);
    return -1;
  }
  uint8_t* current = buffer;
  uint8_t* other = buffer + half;
  ConvertInto(current, pitch, textureFormat, image, alphaImage, srcRect, flags);
  // The rest of the buffer repeats the edge pixels, so the smaller levels average image
  // pixels only rather than whatever the buffer held.
  for (int y = 0; y < height; y++) {
    uint8_t* row = current + (ptrdiff_t)y * pitch;
    for (int x = width; x < bufferWidth; x++) memcpy(row + x * bytes, row + (width - 1) * bytes, (size_t)bytes);
  }
  for (int y = height; y < bufferHeight; y++) memcpy(current + (ptrdiff_t)y * pitch, current + (ptrdiff_t)(height - 1) * pitch, (size_t)pitch);

  int result = 0;
  for (int i = 0; i < levels; i++) {
    if (i > 0) {
      int sourceWidth = MipLevelLength(bufferWidth, i - 1), sourceHeight = MipLevelLength(bufferHeight, i - 1);
      if (HalveImageRect(textureFormat, other, pitch, current, pitch, 0, 0, 0, 0, sourceWidth, sourceHeight) < 0)
        break;
      uint8_t* swap = current;
      current = other;
      other = swap;
    }
    RECT levelRect = ShiftLevelRect(*destRect, i);
    D3DLOCKED_RECT locked;
    if (FAILED(LockLevel(texture, i, &locked, &levelRect, fromWorker))) {
      WriteLogText(kMipLockFailed);
      result = -1;
      break;
    }
    int levelWidth = MipLevelLength(width, i), levelHeight = MipLevelLength(height, i);
    if (levelWidth > levelRect.right - levelRect.left) levelWidth = levelRect.right - levelRect.left;
    if (levelHeight > levelRect.bottom - levelRect.top) levelHeight = levelRect.bottom - levelRect.top;
    CopyRows(current, pitch, locked, levelWidth * bytes, levelHeight);
    UnlockLevel(texture, i, fromWorker);
  }
  FreeTracked(buffer);
  return result;
}

// Runs on the main thread, before a multisampled drawable graph is read or drawn.
int ResolveMultiSampleTexture(GRAPH_TEXTURE* texture) {
  if (texture->multiSampleSurface == nullptr || texture->surface == nullptr) return 0;
  DeviceCalls.DeviceStretchRect(texture->multiSampleSurface, nullptr, texture->surface, nullptr, D3DTEXF_NONE);
  return 0;
}

int IsGraphMultiSampled(HANDLE_VALUE handle) {
  GRAPH_RECORD* g = GetGraphRecord(handle, 0);
  if (g == nullptr || g->imageSet == nullptr || !g->imageSet->desc.heldAsTextures) return 0;
  return g->imageSet->desc.multiSampleCount != 0 ? 1 : 0;
}

namespace {
// The pool is touched only on the main thread: loader threads hand their calls to it.
int AcquireOnMainThread(MAIN_THREAD_REQUEST* r) {
  return AcquireSystemTexture((int)r->arguments[0], (int)r->arguments[1], (int)r->arguments[2], (int)r->arguments[3], 0);
}
int ReleaseEntryOnMainThread(MAIN_THREAD_REQUEST* r) { return ReleaseTextureCacheEntry((int)r->arguments[0], 0); }
}  // namespace

int AcquireSystemTexture(int width, int height, int mipLevels, int formatIndex, int onWorker) {
  if (onWorker) {
    MAIN_THREAD_REQUEST request = {};
    request.function = AcquireOnMainThread;
    request.arguments[0] = (uintptr_t)width;
    request.arguments[1] = (uintptr_t)height;
    request.arguments[2] = (uintptr_t)mipLevels;
    request.arguments[3] = (uintptr_t)formatIndex;
    return RequestMainThreadCall(&request);
  }
  SYSTEM_TEXTURE_POOL& pool = SystemTexturePool;
  int lentMatches = 0;
  for (int i = 0; i < SYSTEM_TEXTURE_POOL_SIZE; i++) {
    SYSTEM_TEXTURE_ENTRY& e = pool.entries[i];
    if (!e.inUse || e.width != width || e.height != height || e.mipLevels != mipLevels || e.formatIndex != formatIndex)
      continue;
    if (!e.lent) {
      e.lent = 1;
      e.useCount++;
      return i;
    }
    if (++lentMatches >= SYSTEM_TEXTURE_MAX_LENT_PER_KIND) return SYSTEM_TEXTURE_BUSY;
  }
  int slot = -1;
  if (pool.count >= SYSTEM_TEXTURE_POOL_SIZE) {
    for (int i = 0; i < SYSTEM_TEXTURE_POOL_SIZE; i++) {
      const SYSTEM_TEXTURE_ENTRY& e = pool.entries[i];
      if (!e.lent && (slot < 0 || e.useCount <= pool.entries[slot].useCount)) slot = i;
    }
    if (slot < 0) return SYSTEM_TEXTURE_BUSY;
    DeviceCalls.ReleaseComObject(pool.entries[slot].texture);
    memset(&pool.entries[slot], 0, sizeof(pool.entries[slot]));
    pool.count--;
  } else {
    for (int i = 0; i < SYSTEM_TEXTURE_POOL_SIZE && slot < 0; i++)
      if (!pool.entries[i].inUse) slot = i;
  }
  SYSTEM_TEXTURE_ENTRY& e = pool.entries[slot];
  e.inUse = 1;
  e.lent = 1;
  e.width = (uint16_t)width;
  e.height = (uint16_t)height;
  e.mipLevels = (uint8_t)mipLevels;
  e.formatIndex = (uint8_t)formatIndex;
  e.useCount = 1;
  e.texture = nullptr;
  if (FAILED(DeviceCalls.DeviceCreateTexture((UINT)width, (UINT)height, (UINT)mipLevels, D3DUSAGE_DYNAMIC,
                                             SetFormat(formatIndex), D3DPOOL_SYSTEMMEM, &e.texture, nullptr)) ||
      e.texture == nullptr) {
    WriteLogText(kNoSystemTexture);
    memset(&e, 0, sizeof(e));
    return SYSTEM_TEXTURE_FAILED;
  }
  pool.count++;
  return slot;
}

int AcquireSystemTextureFor(const GRAPH_TEXTURE* texture, int onWorker, const GRAPH_IMAGE_SET* set) {
  return AcquireSystemTexture(texture->width, texture->height, set->mipLevels, set->formatIndex, onWorker);
}

int ReleaseTextureCacheEntry(int index, int fromWorker) {
  if (fromWorker) {
    MAIN_THREAD_REQUEST request = {};
    request.function = ReleaseEntryOnMainThread;
    request.arguments[0] = (uintptr_t)index;
    return RequestMainThreadCall(&request);
  }
  if (index < 0 || index >= SYSTEM_TEXTURE_POOL_SIZE) return 0;
  SYSTEM_TEXTURE_ENTRY& e = SystemTexturePool.entries[index];
  if (e.inUse && e.lent) e.lent = 0;
  return 0;
}

int ReleaseTextureCache() {
  for (SYSTEM_TEXTURE_ENTRY& e : SystemTexturePool.entries) {
    if (!e.inUse) continue;
    if (e.texture != nullptr) DeviceCalls.ReleaseComObject(e.texture);
    memset(&e, 0, sizeof(e));
  }
  SystemTexturePool.count = 0;
  return 0;
}
