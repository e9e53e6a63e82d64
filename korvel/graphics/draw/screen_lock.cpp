#include "graphics/draw/screen_lock.h"

#include <cstring>

#include "core/log.h"
#include "graphics/device/d3d_calls.h"
#include "graphics/device/device.h"
#include "graphics/device/draw_settings.h"
#include "graphics/graphs/graph_handles.h"
#include "graphics/graphs/graph_records.h"
#include "graphics/device/present.h"
#include "graphics/device/screen.h"
#include "graphics/software/software_screen.h"
#include "graphics/device/state_cache.h"
#include "graphics/draw/draw_target.h"
#include "graphics/graphs/texture_transfer.h"
#include "graphics/device/vertex_batch.h"

SCREEN_LOCK_STATE ScreenLock;

namespace {
struct LOCK_SOURCE {
  IDirect3DSurface9* surface;
  D3DFORMAT format;
  int width, height;  // of the surface
};

// The surface that a lock of the target reads: a graph's texture (its multisample surface
// when it has one), or the screen's: the sub back buffer when there is one, else the back buffer.
int FindLockSource(int target, int textureIndex, LOCK_SOURCE* out) {
  GRAPH_RECORD* graph = GetGraphRecord(target, 0);
  if (graph == nullptr) {
    out->surface = ScreenTargetSurface();
    out->format = DeviceCaps.backBufferFormat;
    out->width = ScreenState.deviceWidth;
    out->height = ScreenState.deviceHeight;
    return out->surface != nullptr ? 0 : -1;
  }
  GRAPH_IMAGE_SET* set = graph->imageSet;
  if (set == nullptr || textureIndex < 0 || textureIndex >= set->textureCount) return -1;
  const GRAPH_TEXTURE& texture = set->textures[textureIndex];
  out->surface = texture.multiSampleSurface != nullptr ? texture.multiSampleSurface : texture.surface;
  out->format = DeviceCaps.textureFormats[set->formatIndex];
  out->width = texture.width;
  out->height = texture.height;
  return out->surface != nullptr ? 0 : -1;
}

// Copies the rectangle into a system-memory surface and locks that.
int LockThroughCopy(const LOCK_SOURCE& source, const RECT& rect, DWORD flags, D3DLOCKED_RECT* locked) {
  int width = rect.right - rect.left, height = rect.bottom - rect.top;
  IDirect3DSurface9* target = nullptr;
  if (FAILED(DeviceCalls.DeviceCreateRenderTarget(width, height, source.format, D3DMULTISAMPLE_NONE, 0, FALSE, &target,
                                                  nullptr))) {
    WriteLogText("バックバッファロック用描画可能サーフェスの作成に失敗しました\n");
    return -1;
  }
  IDirect3DSurface9* system = nullptr;
  if (FAILED(DeviceCalls.DeviceCreateOffscreenSurface(width, height, source.format, D3DPOOL_SYSTEMMEM, &system,
                                                      nullptr))) {
    WriteLogText("バックバッファロック用システムメモリサーフェスの作成に失敗しました\n");
    ReleaseComObject(target);
    return -1;
  }
  bool copied = SUCCEEDED(DeviceCalls.DeviceStretchRect(source.surface, &rect, target, nullptr, D3DTEXF_NONE)) &&
                SUCCEEDED(DeviceCalls.DeviceGetRenderTargetData(target, system)) &&
                SUCCEEDED(DeviceCalls.SurfaceLockRect(system, locked, nullptr, flags));
  ReleaseComObject(target);
  if (!copied) {
    ReleaseComObject(system);
    return -1;
  }
  ScreenLock.temporarySurface = system;
  return 0;
}

int LockHardware(int target, const RECT& rect, int readOnly, int textureIndex, RASTER_IMAGE* out) {
  LOCK_SOURCE source;
  if (FindLockSource(target, textureIndex, &source) == -1) return -1;
  // The rectangle must also lie in the surface that is locked.
  if (rect.right > source.width || rect.bottom > source.height) return -1;
  const COLOR_FORMAT* format = GetD3DFormatColorFormat(source.format);
  if (format == nullptr) return -1;
  DWORD flags = readOnly ? D3DLOCK_READONLY : 0;
  D3DLOCKED_RECT locked = {};
  if (DeviceSettings.backBufferLock && SUCCEEDED(DeviceCalls.SurfaceLockRect(source.surface, &locked, &rect, flags)))
    ScreenLock.lockedSurface = source.surface;
  else if (LockThroughCopy(source, rect, flags, &locked) == -1)
    return -1;
  memset(out, 0, sizeof(*out));
  out->format = *format;
  out->width = rect.right - rect.left;
  out->height = rect.bottom - rect.top;
  out->pitch = locked.Pitch;
  out->pixels = locked.pBits;
  out->mipLevels = 0;
  return 0;
}
}  // namespace

int FillImageFromMemImg(const MEMIMG* image, const RECT* rect, RASTER_IMAGE* out) {
  if (!IsMemImgValid(image) || rect->left < 0 || rect->top < 0 || rect->right > image->width ||
      rect->bottom > image->height || rect->left >= rect->right || rect->top >= rect->bottom)
    return -1;
  const MEMIMG_STORE* store = image->store;
  int bytes = store->format->colorBits / 8;
  memset(out, 0, sizeof(*out));
  out->format = *store->format;
  out->width = rect->right - rect->left;
  out->height = rect->bottom - rect->top;
  out->pitch = store->pitch;
  out->pixels = image->pixels + rect->left * bytes + rect->top * store->pitch;
  return 0;
}

int LockDrawScreenImage(const RECT* rect, RASTER_IMAGE* out, int graph, int readOnly, int textureIndex) {
  if (ScreenLock.locked || rect == nullptr || out == nullptr) return -1;  // one lock at a time
  FlushVertexBatch(0);
  EndDeviceScene();
  int target = graph == -1 ? DrawSettings.drawTarget : graph;
  if (rect->left < 0 || rect->left >= rect->right || rect->top < 0 || rect->top >= rect->bottom ||
      rect->right > DrawSettings.targetWidth || rect->bottom > DrawSettings.targetHeight)
    return -1;
  // Software mode: the view points straight into the graph's or the screen's MEMIMG.
  if (!ScreenState.hardwareRendering) {
    const MEMIMG* image = GetScreenMemImg();
    if (target != -2 && target != -4 && target != -3 && target != -5) {
      GRAPH_RECORD* record = GetGraphRecord(target, 0);
      image = record != nullptr ? &record->memImg : nullptr;
    }
    if (image == nullptr || FillImageFromMemImg(image, rect, out) == -1) return -1;
    ScreenLock.locked = 1;
    return 0;
  }
  if (!HasDirect3DDevice()) return -1;
  if (LockHardware(target, *rect, readOnly, textureIndex, out) == -1) return -1;
  ScreenLock.locked = 1;
  return 0;
}

int UnlockDrawScreenImage() {
  if (!ScreenLock.locked) return 0;
  if (ScreenLock.temporarySurface != nullptr) {
    DeviceCalls.SurfaceUnlockRect(ScreenLock.temporarySurface);
    ReleaseComObject(ScreenLock.temporarySurface);
  } else if (ScreenLock.lockedSurface != nullptr) {
    DeviceCalls.SurfaceUnlockRect(ScreenLock.lockedSurface);
  }
  ScreenLock = SCREEN_LOCK_STATE();
  return 0;
}
