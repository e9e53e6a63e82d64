// MEMIMG views and their shared stores: set-up, derived views, release, raw fills and the
// transparent-run table.
#include "image/memimg.h"

#include <cstring>

#include "core/maths.h"
#include "core/memory.h"
#include "image/pixel_convert.h"

namespace {

struct MEMIMG_MODULE {
  int defaultPixelType;
};
MEMIMG_MODULE memImgModule = {MEMIMG_TYPE_32BIT};

// The shared formats: RGB565 and 32-bit, each plain, with alpha and with palette (with and
// without alpha masks), then the two one-channel types.
struct MEMIMG_FORMATS {
  int built;
  COLOR_FORMAT rgb565[4];  // index alpha + 2 * palette
  COLOR_FORMAT rgb32[4];
  COLOR_FORMAT channel8, channel16;
};
MEMIMG_FORMATS memImgFormats;

void BuildChannelFormat(COLOR_FORMAT* fmt, int bytes) {
  memset(fmt, 0, sizeof *fmt);
  const uint8_t bits = (uint8_t)(bytes * 8);
  const uint32_t mask = bytes == 1 ? 0xFF : 0xFFFF;
  fmt->bytesPerPixel = (uint8_t)bytes;
  fmt->colorBits = bits;
  fmt->redWidth = fmt->greenWidth = fmt->blueWidth = fmt->alphaWidth = bits;
  fmt->redMask = fmt->greenMask = fmt->blueMask = fmt->alphaMask = mask;
}

void BuildMemImgFormats() {
  MEMIMG_FORMATS& f = memImgFormats;
  InitColorFormat(&f.rgb565[0], 16, 0xF800, 0x7E0, 0x1F, 0, 0, 0, 0);
  InitColorFormat(&f.rgb565[1], 32, 0xF800, 0x7E0, 0x1F, 0xFF0000, 0, 0, 0);
  InitColorFormat(&f.rgb565[2], 8, 0xF800, 0x7E0, 0x1F, 0, 0, 0, 0);
  InitColorFormat(&f.rgb565[3], 8, 0xF800, 0x7E0, 0x1F, 0xFF0000, 0, 0, 0);
  InitXRGB8Format(&f.rgb32[0]);
  InitARGB8Format(&f.rgb32[1]);
  InitColorFormat(&f.rgb32[2], 8, 0xFF0000, 0xFF00, 0xFF, 0, 0, 0, 0);
  InitColorFormat(&f.rgb32[3], 8, 0xFF0000, 0xFF00, 0xFF, 0xFF000000, 0, 0, 0);
  BuildChannelFormat(&f.channel8, 1);
  BuildChannelFormat(&f.channel16, 2);
  f.built = 1;
}

int ComputePitchShift(int pitch, int rowSize) {
  int shift = 0;
  long long power = 1;
  while (power < rowSize) {
    power <<= 1;
    shift++;
  }
  return power == pitch ? shift : -1;
}

// Frees everything a store holds and the store itself.
void FreeMemImgStore(MEMIMG_STORE* store) {
  if (store->pixels && !store->externalPixels) FreeTracked(store->pixels);
  if (store->runTable) FreeTracked(store->runTable);
  if (store->paletteBlock) FreeTracked(store->paletteBlock);
  FreeTracked(store);
}

// Kind of one pixel for the run table.
int ClassifyRunPixel(const MEMIMG_STORE* store, const uint8_t* p) {
  // The whole key is compared: a key above 255 (no index chosen yet) hides no index.
  if (store->paletteFlag) return p[0] == store->transparentColor ? TRANS_RUN_TRANSPARENT : TRANS_RUN_OPAQUE;
  if (store->alphaFlag) {
    int a = store->pixelType == MEMIMG_TYPE_32BIT ? p[3] : p[2];
    return a == 0 ? TRANS_RUN_TRANSPARENT : a == 255 ? TRANS_RUN_OPAQUE : TRANS_RUN_PARTIAL;
  }
  uint32_t value;
  if (store->pixelType == MEMIMG_TYPE_32BIT) {
    memcpy(&value, p, 4);
  } else {
    uint16_t v16;
    memcpy(&v16, p, 2);
    value = v16;
  }
  return value == store->transparentColor ? TRANS_RUN_TRANSPARENT : TRANS_RUN_OPAQUE;
}

}  // namespace

int GetMemImgPixelBytes(const MEMIMG_STORE* store) {
  if (store->paletteFlag) return 1;
  switch (store->pixelType) {
    case MEMIMG_TYPE_RGB565: return store->alphaFlag ? 4 : 2;
    case MEMIMG_TYPE_32BIT: return 4;
    case MEMIMG_TYPE_CHANNEL8: return 1;
    case MEMIMG_TYPE_CHANNEL16: return 2;
  }
  return 0;
}

int SetupMemImg(MEMIMG* m, int width, int height, int pitch, uint32_t transparentColor, int pixelType,
                int paletteFlag, int alphaFlag, int extraBuffersFlag, void* externalPixels) {
  if (IsMemImgValid(m)) return -1;
  if (width < 0 || height < 0 || pixelType < 0 || pixelType > MEMIMG_TYPE_CHANNEL16) return -1;
  if (pixelType >= MEMIMG_TYPE_CHANNEL8) paletteFlag = alphaFlag = 0;
  if (paletteFlag) alphaFlag = 0;

  // A failed set-up leaves no store behind, so an invalid view never owns one here.
  MEMIMG_STORE* store = (MEMIMG_STORE*)AllocTrackedZeroed(sizeof(MEMIMG_STORE), "", 0);
  if (!store) return -1;
  store->width = width;
  store->height = height;
  store->referenceCount = 1;
  store->transparentColor = transparentColor;
  store->pixelType = pixelType;
  store->paletteFlag = paletteFlag ? 1 : 0;
  store->alphaFlag = alphaFlag ? 1 : 0;
  store->runTableValid = 0;

  int ok = 1;
  if (store->paletteFlag) {
    store->paletteBlock = (uint8_t*)AllocTrackedZeroed(MEMIMG_PALETTE_BLOCK_SIZE, "", 0);
    if (store->paletteBlock) store->secondPalette = store->paletteBlock + 1024;
    else ok = 0;
  }
  long long rowSize = (long long)width * GetMemImgPixelBytes(store);
  long long fullPitch = pitch == -1 ? (rowSize + 15) & ~15LL : pitch;
  if (ok && (fullPitch < rowSize || fullPitch * height > 0x7FFFFFFF)) ok = 0;
  if (ok) {
    store->pitch = (int)fullPitch;
    store->pitchShift = ComputePitchShift(store->pitch, pitch == -1 ? (int)rowSize : pitch);
    store->format = GetMemImgColorFormat(pixelType, store->alphaFlag, store->paletteFlag);
    if (externalPixels) {
      store->pixels = (uint8_t*)externalPixels;
      store->externalPixels = 1;
    } else {
      store->pixels = (uint8_t*)AllocTracked((size_t)store->pitch * height > 0 ? (size_t)store->pitch * height : 1, "", 0);
      store->externalPixels = 0;
      if (!store->pixels) ok = 0;
    }
  }
  if (ok && extraBuffersFlag && pixelType != MEMIMG_TYPE_CHANNEL8 && !store->runTable) {
    store->runTable = (uint8_t*)AllocTracked(((size_t)width + 5) * height + 1, "", 0);
    if (!store->runTable) ok = 0;
  }
  if (!ok) {
    // A failed set-up frees what it made and leaves the view invalid with no store.
    FreeMemImgStore(store);
    m->magic = 0;
    m->store = nullptr;
    return -1;
  }
  m->store = store;
  m->magic = MEMIMG_MAGIC;
  m->width = width;
  m->height = height;
  m->pixels = store->pixels;
  return 0;
}

int CreateScreenMemImg(MEMIMG* m, int width, int height, int pixelType) {
  memset(m, 0, sizeof *m);
  if (pixelType == -1) pixelType = memImgModule.defaultPixelType;
  return SetupMemImg(m, width, height, -1, 0, pixelType, 0, 0, 0, nullptr);
}

int SetDefaultMemImgType(int pixelType) {
  memImgModule.defaultPixelType = pixelType;
  return 0;
}

int IsMemImgValid(const MEMIMG* m) {
  return m && m->magic == MEMIMG_MAGIC && m->store ? 1 : 0;
}

int DeriveMemImg(MEMIMG* out, const MEMIMG* parent, int x, int y, int width, int height) {
  // Refused: an invalid parent, a negative position or size, a rectangle reaching past the
  // parent, or an output view that still holds a store (its reference would be lost).
  if (!out || !IsMemImgValid(parent) || IsMemImgValid(out)) return -1;
  if (x < 0 || y < 0 || width < 0 || height < 0) return -1;
  if (x > parent->width - width || y > parent->height - height) return -1;
  MEMIMG_STORE* store = parent->store;
  out->magic = MEMIMG_MAGIC;
  out->width = width;
  out->height = height;
  out->pixels = parent->pixels + x * GetMemImgPixelBytes(store) + y * store->pitch;
  out->store = store;
  store->referenceCount++;
  return 0;
}

void ReleaseMemImg(MEMIMG* m) {
  if (!IsMemImgValid(m)) return;
  MEMIMG_STORE* store = m->store;
  if (--store->referenceCount <= 0) FreeMemImgStore(store);
  m->store = nullptr;
  m->magic = 0;
}

void FillMemImgRectRaw(MEMIMG* m, const RECT* rect, uint32_t value) {
  if (!IsMemImgValid(m)) return;
  RECT r = rect ? *rect : RECT{0, 0, m->width, m->height};
  RECT view = {0, 0, m->width, m->height};
  ClipRectToRect(&r, &view);
  int bytes = GetMemImgPixelBytes(m->store);
  if (bytes != 1 && bytes != 2 && bytes != 4) return;
  for (int y = r.top; y < r.bottom; y++) {
    uint8_t* p = m->pixels + y * m->store->pitch + r.left * bytes;
    for (int x = r.left; x < r.right; x++, p += bytes) {
      if (bytes == 1) *p = (uint8_t)value;
      else if (bytes == 2) { uint16_t v = (uint16_t)value; memcpy(p, &v, 2); }
      else memcpy(p, &value, 4);
    }
  }
}

int BuildMemImgRunTable(MEMIMG* m) {
  if (!IsMemImgValid(m)) return -1;
  MEMIMG_STORE* store = m->store;
  store->runTableValid = 0;
  // The table describes the whole stored image, so only a view of all of it may rebuild it.
  if (!store->runTable || m->pixels != store->pixels || m->width != store->width || m->height != store->height)
    return -1;
  if (store->pixelType != MEMIMG_TYPE_RGB565 && store->pixelType != MEMIMG_TYPE_32BIT) return -1;
  int bytes = GetMemImgPixelBytes(store);
  uint8_t* out = store->runTable;
  for (int y = 0; y < store->height; y++) {
    const uint8_t* p = store->pixels + y * store->pitch;
    int x = 0;
    while (x < store->width) {
      int kind = ClassifyRunPixel(store, p + x * bytes);
      int length = 1;
      while (x + length < store->width && length < TRANS_RUN_MAX_LENGTH &&
             ClassifyRunPixel(store, p + (x + length) * bytes) == kind)
        length++;
      *out++ = (uint8_t)(kind << 6 | (length - 1));
      x += length;
    }
    *out++ = TRANS_RUN_ROW_END;
  }
  store->runTableValid = 1;
  return 0;
}

int SetMemImgTransparentColor(MEMIMG* m, uint32_t color) {
  if (!IsMemImgValid(m)) return -1;
  MEMIMG_STORE* store = m->store;
  if (store->transparentColor == color) return 0;
  store->transparentColor = color;
  // The table holds the old key's runs: it is rebuilt for the new one, or no longer used.
  if (store->runTableValid && BuildMemImgRunTable(m) < 0) store->runTableValid = 0;
  return 0;
}

const COLOR_FORMAT* GetMemImgColorFormat(int pixelType, int alphaFlag, int paletteFlag) {
  if (!memImgFormats.built) BuildMemImgFormats();
  const int index = (alphaFlag ? 1 : 0) + (paletteFlag ? 2 : 0);
  switch (pixelType) {
    case MEMIMG_TYPE_RGB565: return &memImgFormats.rgb565[index];
    case MEMIMG_TYPE_32BIT: return &memImgFormats.rgb32[index];
    case MEMIMG_TYPE_CHANNEL8: return &memImgFormats.channel8;
    case MEMIMG_TYPE_CHANNEL16: return &memImgFormats.channel16;
  }
  return nullptr;
}

int ImportImageToMemImg(const RASTER_IMAGE* source, const RASTER_IMAGE* alphaImage, MEMIMG* dest, int sourceX,
                        int sourceY, int width, int height, int destX, int destY, int transparentFlag) {
  if (!source || !IsMemImgValid(dest)) return -1;
  MEMIMG_STORE* store = dest->store;
  const RECT rect = {sourceX, sourceY, sourceX + width, sourceY + height};
  int result;
  if (store->pixelType >= MEMIMG_TYPE_CHANNEL8) {
    // One-channel stores take the source's red channel.
    result = ConvertPixelRect(dest->pixels, store->pitch, store->format, source->pixels, source->pitch,
                              &source->format, nullptr, 0, nullptr, destX, destY, &rect, 0, 0, 0, DITHER_NONE, 1, 1,
                              0, 0);
    if (result < 0) return result;
  } else if (alphaImage) {
    result = ConvertPixelRect(dest->pixels, store->pitch, store->format, source->pixels, source->pitch,
                              &source->format, alphaImage->pixels, alphaImage->pitch, &alphaImage->format, destX, destY,
                              &rect, 0, transparentFlag, store->transparentColor, DITHER_NONE, 0, 0, 0, 0);
    if (result < 0) return result;
  } else {
    result = ConvertPixelRect(dest->pixels, store->pitch, store->format, source->pixels, source->pitch,
                              &source->format, nullptr, 0, nullptr, destX, destY, &rect, 0, transparentFlag,
                              store->transparentColor, DITHER_NONE, 0, 0, 0, 0);
    if (result < 0) return result;
    if (store->paletteFlag) store->paletteEntriesUsed = result + 1;
  }
  if (store->paletteFlag) {
    for (int i = 0; i < 256; i++) {
      const uint8_t* e = source->format.palette[i];  // blue, green, red, fourth byte
      if (store->pixelType == MEMIMG_TYPE_RGB565) {
        uint16_t v = (uint16_t)((e[2] >> 3) << 11 | (e[1] >> 2) << 5 | e[0] >> 3);
        memcpy(store->paletteBlock + i * 2, &v, 2);
      } else {
        uint32_t v = (uint32_t)e[2] << 16 | (uint32_t)e[1] << 8 | e[0];
        memcpy(store->paletteBlock + i * 4, &v, 4);
      }
    }
    memcpy(store->secondPalette, store->paletteBlock, store->pixelType == MEMIMG_TYPE_RGB565 ? 512 : 1024);
  }
  store->runTableValid = 0;
  // A full-size import rebuilds the run table, which is kept only for a view of the whole store.
  if (width == dest->width && height == dest->height && store->runTable) BuildMemImgRunTable(dest);
  return result;
}

int CopyMemImgRect(MEMIMG* dest, const MEMIMG* source, const RECT* sourceRect, int destX, int destY) {
  if (!IsMemImgValid(dest) || !IsMemImgValid(source)) return -1;
  const RECT whole = {0, 0, source->width, source->height};
  return ConvertPixelRect(dest->pixels, dest->store->pitch, dest->store->format, source->pixels,
                          source->store->pitch, source->store->format, nullptr, 0, nullptr, destX, destY,
                          sourceRect ? sourceRect : &whole, 0, 0, 0, DITHER_NONE, 0, 0, 0, 0);
}
