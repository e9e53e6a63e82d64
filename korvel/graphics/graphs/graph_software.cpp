#include "graphics/graphs/graph_software.h"

#include <cstring>

#include "core/log.h"
#include "graphics/graphs/graph_handles.h"

namespace {
const char* const kNoSetMemory = "グラフィックのオリジナル画像データ保存用メモリの確保に失敗しました\n";
const char* const kNoBlendImage = "ブレンド画像用メモリイメージの作成に失敗しました\n";
const char* const kNoMemImg = "メモリイメージの作成に失敗しました\n";

// Format index of a software set: 27 16-bit, 28 16-bit with alpha, 29 32-bit, 30 32-bit with alpha.
int SoftwareFormatIndex(int alpha, int sixteen) { return 30 - (alpha ? 0 : 1) - (sixteen ? 2 : 0); }

// The first palette entry equal to the packed colour (24 bits of 32-bit entries, 16 of RGB565
// ones), or 0 when none is.
uint32_t FindPaletteIndex(const MEMIMG_STORE* store, uint32_t packed) {
  int count = store->paletteEntriesUsed > 0 && store->paletteEntriesUsed <= 256 ? store->paletteEntriesUsed : 256;
  for (int i = 0; i < count; i++) {
    if (store->pixelType == MEMIMG_TYPE_RGB565) {
      uint16_t entry;
      memcpy(&entry, store->paletteBlock + i * 2, 2);
      if (entry == (uint16_t)packed) return (uint32_t)i;
    } else {
      uint32_t entry;
      memcpy(&entry, store->paletteBlock + i * 4, 4);
      if ((entry & 0xFFFFFF) == (packed & 0xFFFFFF)) return (uint32_t)i;
    }
  }
  return 0;
}
}  // namespace

int SetUpSoftwareImageSet(const GRAPH_CREATE_PARAM* param, HANDLE_VALUE handle, const TEXTURE_DESC* desc, int width,
                          int height) {
  GRAPH_RECORD* g = GetGraphRecord(handle, 1);
  if (g == nullptr) return -1;
  GRAPH_IMAGE_SET* set = AllocGraphImageSet(0);
  if (set == nullptr) {
    WriteLogText(kNoSetMemory);
    DeleteGraphHandle(handle, 0);
    return -1;
  }
  set->refCount = 1;
  set->desc = *desc;
  set->transparentColor = (DWORD)param->transparentColor;
  set->width = width;
  set->height = height;
  ReleaseMemImg(&g->memImg);
  ReleaseGraphImageSet(g->imageSet);
  g->imageSet = set;
  g->x = g->y = 0;
  g->width = width;
  g->height = height;
  if (desc->blendImage) {
    if (SetupMemImg(&set->memImg, width, height, -1, 0, MEMIMG_TYPE_CHANNEL8, 0, 0, 0, nullptr) < 0) {
      WriteLogText(kNoBlendImage);
      DeleteGraphHandle(handle, 0);
      return -1;
    }
  } else {
    int sixteen = desc->colorBits <= 16;
    int pixelType = sixteen ? MEMIMG_TYPE_RGB565 : MEMIMG_TYPE_32BIT;
    set->formatIndex = SoftwareFormatIndex(desc->alpha, sixteen);
    DWORD key = (DWORD)param->transparentColor;
    uint32_t transparent = desc->palette ? 0xFFFF
                                         : PackColorCode(GetMemImgColorFormat(pixelType, desc->alpha, 0),
                                                         key >> 16 & 0xFF, key >> 8 & 0xFF, key & 0xFF, 0);
    if (SetupMemImg(&set->memImg, width, height, -1, transparent, pixelType, desc->palette, desc->alpha, 1,
                    nullptr) < 0) {
      WriteLogText(kNoMemImg);
      DeleteGraphHandle(handle, 0);
      return -1;
    }
  }
  // A new graph starts black (zero), as a new texture does, never with stale memory.
  FillMemImgRectRaw(&set->memImg, nullptr, 0);
  if (BuildGraphPieces(handle, 1) < 0) {
    DeleteGraphHandle(handle, 0);
    return -1;
  }
  return 0;
}

int TransferImageToSoftwareSet(GRAPH_RECORD* g, const RASTER_IMAGE* img, const RASTER_IMAGE* alpha, RECT src,
                               int destX, int destY, int useAlpha, int setRelative) {
  GRAPH_IMAGE_SET* set = g->imageSet;
  int limitWidth = setRelative ? set->width : g->width;
  int limitHeight = setRelative ? set->height : g->height;
  if (destX < 0) {
    src.left -= destX;
    destX = 0;
  }
  if (destY < 0) {
    src.top -= destY;
    destY = 0;
  }
  int w = src.right - src.left, h = src.bottom - src.top;
  if (w > limitWidth - destX) w = limitWidth - destX;
  if (h > limitHeight - destY) h = limitHeight - destY;
  if (w <= 0 || h <= 0) return 0;
  if (!setRelative) {
    destX += g->x;
    destY += g->y;
  }
  const RASTER_IMAGE* withAlpha = alpha != nullptr && alpha->pixels != nullptr ? alpha : nullptr;
  if (ImportImageToMemImg(img, withAlpha, &set->memImg, src.left, src.top, w, h, destX, destY, useAlpha) < 0)
    return -1;
  MEMIMG_STORE* store = set->memImg.store;
  if (store->paletteFlag) {
    DWORD key = set->transparentColor;
    uint32_t packed = PackColorCode(GetMemImgColorFormat(store->pixelType, 0, 0), key >> 16 & 0xFF, key >> 8 & 0xFF,
                                    key & 0xFF, 0);
    SetMemImgTransparentColor(&set->memImg, FindPaletteIndex(store, packed));
  }
  return 0;
}
