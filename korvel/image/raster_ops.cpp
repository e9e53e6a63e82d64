#include "image/raster_ops.h"

#include <cstring>

#include "image/color_format.h"

namespace {
uint32_t LoadPixel(const uint8_t* p, int bytes) {
  uint32_t v = 0;
  for (int i = 0; i < bytes; i++) v |= (uint32_t)p[i] << (8 * i);
  return v;
}

void StorePixel(uint8_t* p, int bytes, uint32_t v) {
  for (int i = 0; i < bytes; i++) p[i] = (uint8_t)(v >> (8 * i));
}

uint8_t* PixelAddress(const RASTER_IMAGE* image, int x, int y) {
  return (uint8_t*)image->pixels + (ptrdiff_t)y * image->pitch + (ptrdiff_t)x * image->format.bytesPerPixel;
}

bool IsInside(const RASTER_IMAGE* image, int x, int y) {
  return (unsigned)x < (unsigned)image->width && (unsigned)y < (unsigned)image->height;
}

// A field moved so that its top bit sits at bit (top - 1).
uint32_t AlignField(uint32_t code, uint32_t mask, int shift, int width, int top) {
  if (width == 0) return 0;
  uint32_t field = (code & mask) >> shift;
  return width <= top ? field << (top - width) : field >> (width - top);
}

void ReversePixels(uint8_t* row, int count, int bytes) {
  uint8_t swap[4];
  for (int i = 0, j = count - 1; i < j; i++, j--) {
    memcpy(swap, row + i * bytes, bytes);
    memcpy(row + i * bytes, row + j * bytes, bytes);
    memcpy(row + j * bytes, swap, bytes);
  }
}

int Clamp(int v, int low, int high) { return v < low ? low : (v > high ? high : v); }
}  // namespace

int ZeroImageRect(RASTER_IMAGE* image, int x, int y, int width, int height) {
  // Cut to the image so that a rectangle reaching outside never writes past its pixels.
  if (x < 0) { width += x; x = 0; }
  if (y < 0) { height += y; y = 0; }
  if (x + width > image->width) width = image->width - x;
  if (y + height > image->height) height = image->height - y;
  if (image->pixels == nullptr || width <= 0 || height <= 0) return 0;
  for (int row = 0; row < height; row++) {
    memset(PixelAddress(image, x, y + row), 0, (size_t)width * image->format.bytesPerPixel);
  }
  return 0;
}

int MirrorImageHorizontally(RASTER_IMAGE* image) {
  if (image->width == 0 || image->height == 0) return -1;
  int bytes = image->format.bytesPerPixel;
  if (bytes < 1 || bytes > 4 || image->format.kind != COLOR_KIND_PLAIN) return 0;
  for (int y = 0; y < image->height; y++) ReversePixels(PixelAddress(image, 0, y), image->width, bytes);
  return 0;
}

int RotateImage180(RASTER_IMAGE* image) {
  if (image->format.kind != COLOR_KIND_PLAIN) return -1;
  int bytes = image->format.bytesPerPixel;
  if (image->pixels == nullptr || bytes < 1 || bytes > 4) return 0;
  size_t rowBytes = (size_t)image->width * bytes;
  uint8_t swap[4];
  for (int i = 0; i < image->height / 2; i++) {
    uint8_t* top = PixelAddress(image, 0, i);
    uint8_t* bottom = PixelAddress(image, 0, image->height - 1 - i);
    for (size_t k = 0; k < rowBytes; k += bytes) {
      uint8_t* a = top + k;
      uint8_t* b = bottom + (rowBytes - bytes - k);
      memcpy(swap, a, bytes);
      memcpy(a, b, bytes);
      memcpy(b, swap, bytes);
    }
  }
  if (image->height % 2 == 1) ReversePixels(PixelAddress(image, 0, image->height / 2), image->width, bytes);
  return 0;
}

int HalveImageRect(const COLOR_FORMAT* format, void* destPixels, int destPitch, const void* srcPixels, int srcPitch,
                   int destX, int destY, int srcX, int srcY, int srcWidth, int srcHeight) {
  bool supported = format->kind == COLOR_KIND_PLAIN && (format->colorBits == 16 || format->colorBits == 32);
  int bytes = format->colorBits / 8;
  const uint8_t* src = (const uint8_t*)srcPixels;
  uint8_t* dest = (uint8_t*)destPixels;
  if (srcWidth == 1 && srcHeight == 1) {
    if (supported) {
      memcpy(dest + (ptrdiff_t)destY * destPitch + destX * bytes, src + (ptrdiff_t)srcY * srcPitch + srcX * bytes, bytes);
    }
    return 0;
  }
  if ((srcWidth != 1 && srcWidth % 2 != 0) || (srcHeight != 1 && srcHeight % 2 != 0) || !supported) return -1;
  const uint32_t masks[4] = {format->redMask, format->greenMask, format->blueMask, format->alphaMask};
  const int shifts[4] = {format->redShift, format->greenShift, format->blueShift, format->alphaShift};
  int outWidth = srcWidth == 1 ? 1 : srcWidth / 2, outHeight = srcHeight == 1 ? 1 : srcHeight / 2;
  for (int j = 0; j < outHeight; j++) {
    int y0 = srcY + (srcHeight == 1 ? 0 : 2 * j);
    const uint8_t* row0 = src + (ptrdiff_t)y0 * srcPitch;
    const uint8_t* row1 = row0 + srcPitch;
    uint8_t* out = dest + (ptrdiff_t)(destY + j) * destPitch;
    for (int i = 0; i < outWidth; i++) {
      int x0 = srcX + (srcWidth == 1 ? 0 : 2 * i);
      // The 2 x 2 pixels covered, or the pair along the other side when one side is 1.
      uint32_t p[4];
      int n = 0;
      p[n++] = LoadPixel(row0 + x0 * bytes, bytes);
      if (srcWidth != 1) p[n++] = LoadPixel(row0 + (x0 + 1) * bytes, bytes);
      if (srcHeight != 1) {
        p[n++] = LoadPixel(row1 + x0 * bytes, bytes);
        if (srcWidth != 1) p[n++] = LoadPixel(row1 + (x0 + 1) * bytes, bytes);
      }
      int divisorShift = n == 4 ? 2 : 1;
      uint32_t value = 0;
      for (int c = 0; c < 4; c++) {
        uint32_t sum = 0;
        for (int k = 0; k < n; k++) sum += (p[k] & masks[c]) >> shifts[c];
        value |= ((sum >> divisorShift) << shifts[c]) & masks[c];
      }
      StorePixel(out + (destX + i) * bytes, bytes, value);
    }
  }
  return 0;
}

uint32_t ReadImagePixelCode(const RASTER_IMAGE* image, int x, int y) {
  const COLOR_FORMAT& f = image->format;
  if (image->pixels == nullptr || f.kind != COLOR_KIND_PLAIN || f.bytesPerPixel < 2 || f.bytesPerPixel > 4 ||
      !IsInside(image, x, y)) {
    return 0;
  }
  uint32_t code = LoadPixel(PixelAddress(image, x, y), f.bytesPerPixel);
  uint32_t out = AlignField(code, f.blueMask, f.blueShift, f.blueWidth, 8) |
                 AlignField(code, f.greenMask, f.greenShift, f.greenWidth, 8) << 8 |
                 AlignField(code, f.redMask, f.redShift, f.redWidth, 8) << 16;
  if (f.alphaWidth != 0) out |= AlignField(code, f.alphaMask, f.alphaShift, f.alphaWidth, 32);
  return out;
}

int WriteImagePixel(RASTER_IMAGE* image, int x, int y, unsigned red, unsigned green, unsigned blue, unsigned alpha) {
  if (!IsInside(image, x, y) || MakeImagePlain(image) < 0 || image->pixels == nullptr) return -1;
  int bytes = image->format.bytesPerPixel;
  if (bytes < 1 || bytes > 4) return -1;
  StorePixel(PixelAddress(image, x, y), bytes, PackColorCode(&image->format, red, green, blue, alpha));
  return 0;
}

int ReadImagePixel(const RASTER_IMAGE* image, int x, int y, unsigned* red, unsigned* green, unsigned* blue,
                   unsigned* alpha) {
  if (!IsInside(image, x, y)) return -1;
  RASTER_IMAGE decoded;
  const RASTER_IMAGE* plain = GetPlainImage(image, &decoded);
  if (plain == nullptr) return -1;
  int result = 0;
  int bytes = plain->format.bytesPerPixel;
  if (plain->pixels == nullptr || bytes < 1 || bytes > 4) {
    result = -1;
  } else if (bytes == 1) {
    const uint8_t* e = plain->format.palette[*PixelAddress(plain, x, y)];
    if (red) *red = e[2];
    if (green) *green = e[1];
    if (blue) *blue = e[0];
    if (alpha) *alpha = e[3];
  } else {
    UnpackColorCode(&plain->format, LoadPixel(PixelAddress(plain, x, y), bytes), red, green, blue, alpha);
  }
  if (plain == &decoded) DisposeImage(&decoded);
  return result;
}

int ScaleImageRect(int srcX1, int srcY1, int srcX2, int srcY2, const RASTER_IMAGE* src, int destX1, int destY1,
                   int destX2, int destY2, RASTER_IMAGE* dest, int bilinear) {
  auto valid = [](const RASTER_IMAGE* im, int x1, int y1, int x2, int y2) {
    return x1 < x2 && y1 < y2 && x1 >= 0 && x1 < im->width && y1 >= 0 && y1 < im->height && x2 > 0 &&
           x2 <= im->width && y2 > 0 && y2 <= im->height;
  };
  if (!valid(src, srcX1, srcY1, srcX2, srcY2) || !valid(dest, destX1, destY1, destX2, destY2)) return -1;
  int srcW = srcX2 - srcX1, srcH = srcY2 - srcY1, destW = destX2 - destX1, destH = destY2 - destY1;
  if (srcW == destW && srcH == destH) return CopyImageRect(srcX1, srcY1, srcW, srcH, destX1, destY1, src, dest);
  RASTER_IMAGE decoded;
  const RASTER_IMAGE* plain = GetPlainImage(src, &decoded);
  if (plain == nullptr) return -1;
  uint32_t stepX = ((uint32_t)srcW << 16) / (uint32_t)destW, stepY = ((uint32_t)srcH << 16) / (uint32_t)destH;
  for (int j = 0; j < destH; j++) {
    uint32_t sy = ((uint32_t)srcY1 << 16) + (uint32_t)j * stepY;
    int iy = (int)(sy >> 16);
    uint32_t fy = sy & 0xFFFF;
    for (int i = 0; i < destW; i++) {
      uint32_t sx = ((uint32_t)srcX1 << 16) + (uint32_t)i * stepX;
      int ix = (int)(sx >> 16);
      uint32_t fx = sx & 0xFFFF;
      unsigned c[4][4] = {};  // four pixels of red, green, blue, alpha
      for (auto& px : c) px[3] = 255;
      if (!bilinear) {
        ReadImagePixel(plain, ix, iy, &c[0][0], &c[0][1], &c[0][2], &c[0][3]);
        WriteImagePixel(dest, destX1 + i, destY1 + j, c[0][0], c[0][1], c[0][2], c[0][3]);
        continue;
      }
      // Neighbours beyond the last column or row repeat the edge pixel.
      int ix1 = Clamp(ix + 1, 0, plain->width - 1), iy1 = Clamp(iy + 1, 0, plain->height - 1);
      const int xs[4] = {ix, ix1, ix, ix1}, ys[4] = {iy, iy, iy1, iy1};
      for (int k = 0; k < 4; k++) ReadImagePixel(plain, xs[k], ys[k], &c[k][0], &c[k][1], &c[k][2], &c[k][3]);
      uint32_t w00 = ((0xFFFF - fx) * (0xFFFF - fy)) >> 16, w10 = (fx * (0xFFFF - fy)) >> 16;
      uint32_t w01 = ((0xFFFF - fx) * fy) >> 16, w11 = (fx * fy) >> 16;
      unsigned mixed[4];
      for (int ch = 0; ch < 4; ch++) {
        mixed[ch] = (unsigned)(((uint64_t)w00 * c[0][ch] + (uint64_t)w10 * c[1][ch] + (uint64_t)w01 * c[2][ch] +
                                (uint64_t)w11 * c[3][ch]) >> 16);
      }
      WriteImagePixel(dest, destX1 + i, destY1 + j, mixed[0], mixed[1], mixed[2], mixed[3]);
    }
  }
  if (plain == &decoded) DisposeImage(&decoded);
  return 0;
}
