#include "image/yuv.h"

namespace {
// Full-range BT.601 in 15-bit fixed point (1.0 = 32768).
const int32_t kBlueU = 58064, kGreenU = 11272, kGreenV = 23396, kRedV = 45940;

uint8_t ClampFixed(int32_t v) {
  if (v < 0) return 0;
  if (v > 255 * 32768) return 255;
  return (uint8_t)(v >> 15);
}

// Writes one pixel of luma Y with the chroma pair U, V as blue, green, red, 255.
void PutPixel(uint8_t* out, int luma, int u, int v) {
  int32_t y = luma * 32768;
  u -= 128;
  v -= 128;
  out[0] = ClampFixed(y + kBlueU * u);
  out[1] = ClampFixed(y - kGreenU * u - kGreenV * v);
  out[2] = ClampFixed(y + kRedV * v);
  out[3] = 255;
}

// A destination must hold 32-bit pixels for the whole frame: a smaller or other image would
// be written past its end.
bool DestinationFits(const RASTER_IMAGE* dest, int width, int height) {
  return dest != nullptr && dest->pixels != nullptr && dest->format.colorBits == 32 && width >= 0 && height >= 0 &&
         dest->width >= width && dest->height >= height && dest->pitch >= width * 4;
}

uint8_t* DestRow(RASTER_IMAGE* dest, int y) { return (uint8_t*)dest->pixels + (ptrdiff_t)y * dest->pitch; }

// Planar frames with one chroma pair per 2 x 2 pixels; the pair's U and V are read through
// the offsets of the chroma plane, its row step and its column step.
void DecodeQuarterChroma(const uint8_t* luma, const uint8_t* uPlane, const uint8_t* vPlane, int chromaPitch,
                         int chromaStep, int width, int height, RASTER_IMAGE* dest) {
  for (int j = 0; j < height / 2; j++) {
    for (int i = 0; i < width / 2; i++) {
      int u = uPlane[j * chromaPitch + i * chromaStep], v = vPlane[j * chromaPitch + i * chromaStep];
      for (int k = 0; k < 4; k++) {
        int x = 2 * i + (k & 1), y = 2 * j + (k >> 1);
        PutPixel(DestRow(dest, y) + x * 4, luma[y * width + x], u, v);
      }
    }
  }
}

// Packed frames, 4 bytes per 2 pixels; the offsets name the bytes of Y0, Y1, U and V.
void DecodePacked(const uint8_t* frame, int width, int height, int y0, int y1, int uAt, int vAt, RASTER_IMAGE* dest) {
  for (int y = 0; y < height; y++) {
    const uint8_t* row = frame + (ptrdiff_t)y * width * 2;
    uint8_t* out = DestRow(dest, y);
    for (int i = 0; i < width / 2; i++) {
      const uint8_t* q = row + i * 4;
      PutPixel(out + i * 8, q[y0], q[uAt], q[vAt]);
      PutPixel(out + i * 8 + 4, q[y1], q[uAt], q[vAt]);
    }
  }
}
}  // namespace

int DecodeYV12Frame(const void* frame, int width, int height, RASTER_IMAGE* dest) {
  if (frame == nullptr || !DestinationFits(dest, width, height)) return -1;
  const uint8_t* luma = (const uint8_t*)frame;
  const uint8_t* vPlane = luma + width * height;
  const uint8_t* uPlane = vPlane + (width / 2) * (height / 2);
  DecodeQuarterChroma(luma, uPlane, vPlane, width / 2, 1, width, height, dest);
  return 0;
}

int DecodeNV12Frame(const void* frame, int width, int height, RASTER_IMAGE* dest) {
  if (frame == nullptr || !DestinationFits(dest, width, height)) return -1;
  const uint8_t* luma = (const uint8_t*)frame;
  const uint8_t* pairs = luma + width * height;
  DecodeQuarterChroma(luma, pairs, pairs + 1, (width / 2) * 2, 2, width, height, dest);
  return 0;
}

int DecodeNV11Frame(const void* frame, int width, int height, RASTER_IMAGE* dest) {
  if (frame == nullptr || !DestinationFits(dest, width, height)) return -1;
  const uint8_t* luma = (const uint8_t*)frame;
  const uint8_t* pairs = luma + width * height;
  int pairsPerRow = width / 4;
  for (int y = 0; y < height; y++) {
    uint8_t* out = DestRow(dest, y);
    for (int i = 0; i < pairsPerRow; i++) {
      int u = pairs[(y * pairsPerRow + i) * 2], v = pairs[(y * pairsPerRow + i) * 2 + 1];
      for (int k = 0; k < 4; k++) PutPixel(out + (i * 4 + k) * 4, luma[y * width + i * 4 + k], u, v);
    }
  }
  return 0;
}

int DecodeYUY2Frame(const void* frame, int width, int height, RASTER_IMAGE* dest) {
  if (frame == nullptr || !DestinationFits(dest, width, height)) return -1;
  DecodePacked((const uint8_t*)frame, width, height, 0, 2, 1, 3, dest);
  return 0;
}

int DecodeUYVYFrame(const void* frame, int width, int height, RASTER_IMAGE* dest) {
  if (frame == nullptr || !DestinationFits(dest, width, height)) return -1;
  DecodePacked((const uint8_t*)frame, width, height, 1, 3, 0, 2, dest);
  return 0;
}

int DecodeYVYUFrame(const void* frame, int width, int height, RASTER_IMAGE* dest) {
  if (frame == nullptr || !DestinationFits(dest, width, height)) return -1;
  DecodePacked((const uint8_t*)frame, width, height, 0, 2, 3, 1, dest);
  return 0;
}

