// Copies of a rectangle of a draw target (a drawable graph or the screen) into a graph.
#include "graphics/device/d3d_calls.h"
#include "graphics/device/device.h"
#include "graphics/device/draw_settings.h"
#include "graphics/graphs/graph_handles.h"
#include "graphics/graphs/graph_textures.h"
#include "graphics/device/present.h"
#include "graphics/device/screen.h"
#include "graphics/draw/screen_lock.h"
#include "graphics/software/software_screen.h"
#include "graphics/device/state_cache.h"
#include "graphics/device/vertex_batch.h"
#include "korvel.h"

namespace {
int IsScreenCode(int handle) { return handle >= -5 && handle <= -2; }

// The surface of the source target and the rectangle's place on it (a graph derived from a
// larger one lies at its offset in the shared texture); null when the rectangle is not on
// one surface.
IDirect3DSurface9* SourceSurface(GRAPH_RECORD* source, RECT* rect) {
  if (source == nullptr) return GetSubBackBuffer() != nullptr ? GetSubBackBuffer() : GetScreenSurface();
  GRAPH_IMAGE_SET* set = source->imageSet;
  if (set == nullptr || !set->desc.heldAsTextures || set->textureCount < 1) return nullptr;
  const GRAPH_TEXTURE& texture = set->textures[0];
  OffsetRect(rect, source->x - texture.x, source->y - texture.y);
  if (rect->left < 0 || rect->top < 0 || rect->right > texture.width || rect->bottom > texture.height) return nullptr;
  return texture.multiSampleSurface != nullptr ? texture.multiSampleSurface : texture.surface;
}

// Copies onto a drawable destination, same size, no filtering: each texture of the
// destination's image set receives its part of the rectangle.
int StretchOntoDrawable(GRAPH_RECORD* source, RECT rect, GRAPH_RECORD* dest, int x, int y) {
  IDirect3DSurface9* from = SourceSurface(source, &rect);
  if (from == nullptr) return -1;
  const GRAPH_IMAGE_SET* set = dest->imageSet;
  // The destination rectangle in the image set's coordinates.
  RECT whole = {x + dest->x, y + dest->y, 0, 0};
  whole.right = whole.left + rect.right - rect.left;
  whole.bottom = whole.top + rect.bottom - rect.top;
  long covered = 0;
  for (int i = 0; i < set->textureCount; i++) {
    const GRAPH_TEXTURE& texture = set->textures[i];
    RECT part = {whole.left > texture.x ? whole.left : texture.x, whole.top > texture.y ? whole.top : texture.y,
                 whole.right < texture.x + texture.usedWidth ? whole.right : texture.x + texture.usedWidth,
                 whole.bottom < texture.y + texture.usedHeight ? whole.bottom : texture.y + texture.usedHeight};
    if (part.left >= part.right || part.top >= part.bottom) continue;
    if (texture.surface == nullptr) return -1;
    RECT read = {rect.left + part.left - whole.left, rect.top + part.top - whole.top, 0, 0};
    read.right = read.left + part.right - part.left;
    read.bottom = read.top + part.bottom - part.top;
    RECT to = {part.left - texture.x, part.top - texture.y, part.right - texture.x, part.bottom - texture.y};
    if (FAILED(DeviceCalls.DeviceStretchRect(from, &read, texture.surface, &to, D3DTEXF_NONE))) return -1;
    covered += (long)(part.right - part.left) * (part.bottom - part.top);
  }
  return covered == (long)(whole.right - whole.left) * (whole.bottom - whole.top) ? 0 : -1;
}

// Reads the rectangle through the draw-screen lock and transfers the image into the graph.
int CopyThroughLock(int source, const RECT& rect, int dest, int x, int y) {
  RASTER_IMAGE image;
  if (LockDrawScreenImage(&rect, &image, source, 1, 0) != 0) return -1;
  RECT whole = {0, 0, image.width, image.height};
  int result = CopyImageIntoGraph(dest, nullptr, nullptr, nullptr, &whole, x, y, 0, &image, nullptr, 0, 0, 0, 0);
  UnlockDrawScreenImage();
  return result;
}
}  // namespace

int CopyScreenRectToGraph(int source, int x1, int y1, int x2, int y2, int destX, int destY, int dest) {
  GRAPH_RECORD* to = GetGraphRecord(dest, 0);
  if (to == nullptr || to->imageSet == nullptr) return -1;
  FlushVertexBatch(0);
  if (HasDirect3DDevice()) EndDeviceScene();
  // The source is the graph when the handle is one, else the screen; the rectangle must lie
  // inside the source and the copy inside the destination.
  GRAPH_RECORD* from = IsScreenCode(source) ? nullptr : GetGraphRecord(source, 0);
  int sourceWidth = 0, sourceHeight = 0;
  GetGraphOrScreenSize(from != nullptr ? source : -2, &sourceWidth, &sourceHeight);
  if (x1 < 0 || x1 >= x2 || x2 > sourceWidth || y1 < 0 || y1 >= y2 || y2 > sourceHeight) return -1;
  if (destX < 0 || destY < 0 || destX + (x2 - x1) > to->width || destY + (y2 - y1) > to->height) return -1;
  RECT rect = {x1, y1, x2, y2};
  if (!to->imageSet->desc.heldAsTextures) {
    const MEMIMG* image = from != nullptr ? &from->memImg : GetScreenMemImg();
    if (!IsMemImgValid(image) || !IsMemImgValid(&to->memImg)) return -1;
    return CopyMemImgRect(&to->memImg, image, &rect, destX, destY) < 0 ? -1 : 0;
  }
  if (!ScreenState.hardwareRendering || !HasDirect3DDevice()) return -1;
  if (to->imageSet->desc.drawable) return StretchOntoDrawable(from, rect, to, destX, destY);
  return CopyThroughLock(from != nullptr ? source : -2, rect, dest, destX, destY);
}

int CaptureDrawTargetToGraph(int x1, int y1, int x2, int y2, int graph) {
  GRAPH_RECORD* g = GetGraphRecord(graph, 0);
  if (g == nullptr || g->width != x2 - x1 || g->height != y2 - y1) return -1;
  return CopyScreenRectToGraph(DrawSettings.drawTarget, x1, y1, x2, y2, 0, 0, graph);
}
