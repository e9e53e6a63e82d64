#include "image/raster_image.h"

#include <windows.h>

#include <cstring>

#include "core/maths.h"
#include "core/memory.h"
#include "image/dxt.h"
#include "image/pixel_convert.h"

namespace {
int Smaller(int a, int b) { return a < b ? a : b; }
int AtLeastOne(int v) { return v < 1 ? 1 : v; }

// Decodes the DXT blocks of an image into ARGB8 pixels in place.
int DecodeDxtInPlace(RASTER_IMAGE* image) { return DecompressDxtImage(image); }
}  // namespace

int GetDxtBlockBytes(int kind) {
  if (kind == COLOR_KIND_DXT1) return 8;
  if (kind >= COLOR_KIND_DXT2 && kind <= COLOR_KIND_DXT5) return 16;
  return 0;
}

int GetMipLevelLayout(const COLOR_FORMAT* format, int width, int height, int pitch, int level, MIP_LEVEL_LAYOUT* out) {
  memset(out, 0, sizeof(*out));
  if (format->kind > COLOR_KIND_DXT5 || level < 0 || level > 31) return -1;
  out->width = MipLevelLength(width, level);
  out->height = MipLevelLength(height, level);
  if (format->kind != COLOR_KIND_PLAIN) {
    // Whole 4 x 4 blocks: a level smaller than a block still takes one.
    int blockBytes = GetDxtBlockBytes(format->kind);
    out->rowBytes = AtLeastOne((out->width + 3) / 4) * blockBytes;
    out->rowCount = AtLeastOne((out->height + 3) / 4);
  } else if (level == 0) {
    out->width = width;
    out->height = height;
    out->rowBytes = pitch;
    out->rowCount = height;
  } else {
    out->rowBytes = out->width * format->bytesPerPixel;
    out->rowCount = out->height;
  }
  out->size = out->rowBytes * out->rowCount;
  return 0;
}

int GetMipLevelOffset(const COLOR_FORMAT* format, int width, int height, int pitch, int level) {
  int offset = 0;
  MIP_LEVEL_LAYOUT layout;
  for (int i = 0; i < level; i++) {
    if (GetMipLevelLayout(format, width, height, pitch, i, &layout) < 0) return -1;
    offset += layout.size;
  }
  return offset;
}

int AllocImageWithFormat(int width, int height, const COLOR_FORMAT* format, RASTER_IMAGE* out) {
  if (&out->format != format) out->format = *format;
  out->width = width;
  out->height = height;
  out->pitch = (width * format->bytesPerPixel + 3) / 4 * 4;
  out->mipLevels = 0;
  out->pixels = nullptr;
  if (width < 0 || height < 0) return -1;
  out->pixels = AllocTracked((size_t)out->pitch * (size_t)height, "", 0);
  return out->pixels != nullptr ? 0 : -1;
}

int AllocARGB8Image(int width, int height, RASTER_IMAGE* out) {
  InitARGB8Format(&out->format);
  return AllocImageWithFormat(width, height, &out->format, out);
}

int AllocXRGB8Image(int width, int height, RASTER_IMAGE* out) {
  InitXRGB8Format(&out->format);
  return AllocImageWithFormat(width, height, &out->format, out);
}

RASTER_IMAGE* DisposeImage(RASTER_IMAGE* image) {
  if (image->pixels != nullptr) FreeTracked(image->pixels);
  memset(image, 0, sizeof(*image));
  return nullptr;
}

int ComputeImageDataSize(const RASTER_IMAGE* image) {
  int levels = image->mipLevels >= 2 ? image->mipLevels : 1;
  int total = 0;
  MIP_LEVEL_LAYOUT layout;
  for (int i = 0; i < levels; i++) {
    if (GetMipLevelLayout(&image->format, image->width, image->height, image->pitch, i, &layout) < 0) return -1;
    total += layout.size;
  }
  return total;
}

const RASTER_IMAGE* GetPlainImage(const RASTER_IMAGE* image, RASTER_IMAGE* decoded) {
  memset(decoded, 0, sizeof(*decoded));
  if (image->format.kind == COLOR_KIND_PLAIN) return image;
  if (image->format.kind > COLOR_KIND_DXT5) return nullptr;
  // The caller's image stays compressed: the blocks are decoded from a copy of them.
  int size = ComputeImageDataSize(image);
  *decoded = *image;
  decoded->pixels = AllocTracked(size > 0 ? (size_t)size : 1, "", 0);
  if (decoded->pixels == nullptr) {
    memset(decoded, 0, sizeof(*decoded));
    return nullptr;
  }
  if (size > 0 && image->pixels != nullptr) memcpy(decoded->pixels, image->pixels, (size_t)size);
  if (DecodeDxtInPlace(decoded) < 0) {
    DisposeImage(decoded);
    return nullptr;
  }
  return decoded;
}

int MakeImagePlain(RASTER_IMAGE* image) {
  if (image->format.kind == COLOR_KIND_PLAIN) return 0;
  return DecodeDxtInPlace(image);
}

int CopyImageRect(int srcX, int srcY, int width, int height, int destX, int destY, const RASTER_IMAGE* src,
                  RASTER_IMAGE* dest) {
  RASTER_IMAGE decoded;
  const RASTER_IMAGE* plain = GetPlainImage(src, &decoded);
  if (plain == nullptr) return -1;
  if (MakeImagePlain(dest) < 0) {
    DisposeImage(&decoded);
    return -1;
  }
  if (srcX < 0) { width += srcX; destX -= srcX; srcX = 0; }
  if (srcY < 0) { height += srcY; destY -= srcY; srcY = 0; }
  if (destX < 0) { width += destX; srcX -= destX; destX = 0; }
  if (destY < 0) { height += destY; srcY -= destY; destY = 0; }
  width = Smaller(width, Smaller(dest->width - destX, plain->width - srcX));
  height = Smaller(height, Smaller(dest->height - destY, plain->height - srcY));
  if (width > 0 && height > 0) {
    RECT rect = {srcX, srcY, srcX + width, srcY + height};
    ConvertPixelRect(dest->pixels, dest->pitch, &dest->format, plain->pixels, plain->pitch, &plain->format, nullptr, 0,
                     nullptr, destX, destY, &rect, 0, 0, 0, 0, 0, 0, 0, 1);
  }
  if (plain == &decoded) DisposeImage(&decoded);
  return 0;
}

int CopyWholeImage(int destX, int destY, const RASTER_IMAGE* src, RASTER_IMAGE* dest) {
  return CopyImageRect(0, 0, src->width, src->height, destX, destY, src, dest);
}
