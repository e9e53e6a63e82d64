// A Theora frame out of the stock: into the decoder's XRGB8 image (the tables' conversion with
// SSE2 for 4:2:0, floating point otherwise) and into the YUV overlay surface, which the device
// converts.
#include <cstring>

#include "graphics/device/main_thread_calls.h"
#include "movie/theora_decoder.h"
#include "movie/yuv_tables.h"

namespace {
const int kOverlayAttempts = 3;

bool Is420(const THEORA_STOCK_FRAME* f) {
  return f->yWidth == 2 * f->chromaWidth && f->yHeight == 2 * f->chromaHeight;
}

uint8_t* PixelAt(RASTER_IMAGE* image, int x, int y) {
  return (uint8_t*)image->pixels + (ptrdiff_t)y * image->pitch + (ptrdiff_t)x * 4;
}

void PutPixel(uint8_t* out, uint8_t r, uint8_t g, uint8_t b) {
  out[0] = b;
  out[1] = g;
  out[2] = r;
  out[3] = 255;
}

uint8_t TruncateAndClamp(float value) {
  int v = (int)value;
  return (uint8_t)(v < 0 ? 0 : (v > 255 ? 255 : v));
}

// Other layouts per pixel in single precision; each pixel takes the chroma sample that covers
// it (column x * chroma width / width, row y * chroma height / height, in 64 bits: the
// products pass 2^31 for wide frames).
void ConvertFloat(const THEORA_STOCK_FRAME* f, RASTER_IMAGE* image, int width, int height) {
  for (int y = 0; y < height; y++) {
    int64_t chromaRow = (int64_t)y * f->chromaHeight / f->yHeight;
    const uint8_t* cbRow = f->cb + (ptrdiff_t)chromaRow * f->chromaStride;
    const uint8_t* crRow = f->cr + (ptrdiff_t)chromaRow * f->chromaStride;
    const uint8_t* lumaRow = f->y + (ptrdiff_t)y * f->yStride;
    for (int x = 0; x < width; x++) {
      ptrdiff_t c = (ptrdiff_t)((int64_t)x * f->chromaWidth / f->yWidth);
      float u = (float)(cbRow[c] - 128), v = (float)(crRow[c] - 128);
      float luma = 1.164f * (float)(lumaRow[x] - 16);
      PutPixel(PixelAt(image, x, y), TruncateAndClamp(luma + 1.596f * v),
               TruncateAndClamp(luma - 0.391f * u - 0.813f * v), TruncateAndClamp(luma + 2.018f * u));
    }
  }
}

void ConvertToImage(const THEORA_STOCK_FRAME* f, RASTER_IMAGE* image) {
  if (image->pixels == nullptr) return;
  int width = f->yWidth < image->width ? f->yWidth : image->width;
  int height = f->yHeight < image->height ? f->yHeight : image->height;
  if (Is420(f)) {
    const YUV420_PLANES planes = {f->y, f->yStride, f->cb, f->cr, f->chromaStride};
    ConvertYuv420ToXrgb8(&planes, width, height, (uint8_t*)image->pixels, image->pitch, YUV_CONVERT_SSE2);
  } else {
    ConvertFloat(f, image, width, height);
  }
}

void CopyRows(uint8_t* dest, int destPitch, const uint8_t* source, int sourceStride, int width, int height) {
  for (int row = 0; row < height; row++)
    memcpy(dest + (ptrdiff_t)row * destPitch, source + (ptrdiff_t)row * sourceStride, width);
}

// Packed 4:2:2 rows: four bytes per two pixels, the offsets of Y0, Cb, Y1 and Cr given; each
// 2 x 2 block's chroma pair serves both of its rows.
void CopyPacked(const THEORA_STOCK_FRAME* f, uint8_t* bits, int pitch, int width, int height, int y0At, int cbAt,
                int y1At, int crAt) {
  for (int y = 0; y < height; y++) {
    uint8_t* out = bits + (ptrdiff_t)y * pitch;
    const uint8_t* luma = f->y + (ptrdiff_t)y * f->yStride;
    const uint8_t* cb = f->cb + (ptrdiff_t)(y / 2) * f->chromaStride;
    const uint8_t* cr = f->cr + (ptrdiff_t)(y / 2) * f->chromaStride;
    for (int i = 0; i < width / 2; i++) {
      out[i * 4 + y0At] = luma[2 * i];
      out[i * 4 + y1At] = luma[2 * i + 1];
      out[i * 4 + cbAt] = cb[i];
      out[i * 4 + crAt] = cr[i];
    }
  }
}

// A 4:2:0 frame into the locked overlay of the coded frame size, by its FOURCC.
void CopyToOverlay(const THEORA_DECODER* d, const THEORA_STOCK_FRAME* f, const D3DLOCKED_RECT& locked) {
  int surfaceHeight = (int)d->info.height;
  int width = f->yWidth < (int)d->info.width ? f->yWidth : (int)d->info.width;
  int height = f->yHeight < surfaceHeight ? f->yHeight : surfaceHeight;
  uint8_t* bits = (uint8_t*)locked.pBits;
  int pitch = locked.Pitch;
  if (d->overlayFourcc == MAKEFOURCC('Y', 'V', '1', '2')) {
    // Y, then the Cr plane and the Cb plane at half the pitch.
    uint8_t* crPlane = bits + (ptrdiff_t)pitch * surfaceHeight;
    uint8_t* cbPlane = crPlane + (ptrdiff_t)(pitch / 2) * (surfaceHeight / 2);
    CopyRows(bits, pitch, f->y, f->yStride, width, height);
    CopyRows(crPlane, pitch / 2, f->cr, f->chromaStride, width / 2, height / 2);
    CopyRows(cbPlane, pitch / 2, f->cb, f->chromaStride, width / 2, height / 2);
  } else if (d->overlayFourcc == MAKEFOURCC('Y', 'U', 'Y', '2')) {
    CopyPacked(f, bits, pitch, width, height, 0, 1, 2, 3);
  } else if (d->overlayFourcc == MAKEFOURCC('U', 'Y', 'V', 'Y')) {
    CopyPacked(f, bits, pitch, width, height, 1, 0, 3, 2);
  }
}

// Up to three attempts, each failed one (surface missing or lost, lock refused) followed by
// a new surface.
void UpdateOverlay(THEORA_DECODER* d, const THEORA_STOCK_FRAME* f, int fromAsyncThread) {
  for (int attempt = 0; attempt < kOverlayAttempts; attempt++) {
    IDirect3DSurface9* surface = d->overlaySurface;
    D3DLOCKED_RECT locked = {};
    if (surface != nullptr && !d->overlayLost &&
        SUCCEEDED(LockSurfaceOnMainThread(surface, &locked, nullptr, 0, fromAsyncThread))) {
      if (Is420(f)) CopyToOverlay(d, f, locked);
      UnlockSurfaceOnMainThread(surface, fromAsyncThread);
      d->overlayUpToDate = 1;
      return;
    }
    CreateTheoraOverlay(d, fromAsyncThread);
  }
}

// The current frame's entry, held for reading, once the thread has made it (a seek in progress
// first); null when the thread has ended, could not make the frame, or took longer than the
// wait limit.
THEORA_STOCK_FRAME* WaitForCurrentFrame(THEORA_DECODER* d) {
  DWORD start = GetTickCount();
  for (;;) {
    int state = LoadSharedWord(&d->state);
    if (state == THEORA_STATE_ENDED) return nullptr;
    bool seeking = state == THEORA_STATE_SEEKING || LoadSharedWord(&d->seekRequest);
    if (!seeking) {
      int current = LoadSharedWord(&d->currentFrame);
      THEORA_STOCK_FRAME* frame = HoldTheoraStockFrame(d, current);
      if (frame != nullptr) return frame;
      if (LoadSharedWord(&d->endOfData) && LoadSharedWord(&d->failedFrame) == current) return nullptr;
    }
    if (GetTickCount() - start > (DWORD)THEORA_WAIT_LIMIT_MS) return nullptr;
    Sleep(seeking ? 1 : 0);
  }
}
}  // namespace

int PresentTheoraFrame(THEORA_DECODER* d, int updateImage, int updateOverlay, int fromAsyncThread) {
  bool overlay = updateOverlay && !d->overlayUpToDate && IsTheoraOverlayWanted(d);
  bool image = updateImage && !d->imageUpToDate;
  if (!overlay && !image) return 0;
  THEORA_STOCK_FRAME* frame = WaitForCurrentFrame(d);
  if (frame == nullptr) return 0;
  if (overlay) UpdateOverlay(d, frame, fromAsyncThread);
  if (image) {
    ConvertToImage(frame, &d->image);
    d->imageUpToDate = 1;
  }
  ReleaseTheoraStockFrame(d);
  return 1;
}
