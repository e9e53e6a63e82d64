// MEMIMG: the in-memory images the CPU renderer draws into and from. A MEMIMG is a small view
// (a rectangle of pixels) onto a reference-counted MEMIMG_STORE that owns the pixels, an
// optional palette in the pixel layout and the transparent-run table of the whole image.
#pragma once
#include <windows.h>
#include <cstdint>

#include "image/color_format.h"
#include "image/raster_image.h"

enum {
  MEMIMG_MAGIC = 0x12345678,
  MEMIMG_TYPE_RGB565 = 0,
  MEMIMG_TYPE_32BIT = 1,
  MEMIMG_TYPE_CHANNEL8 = 2,
  MEMIMG_TYPE_CHANNEL16 = 3,
  MEMIMG_PALETTE_BLOCK_SIZE = 2048,
};

// Run kinds of TRANS_RUN_TABLE: one byte per run, kind in the top two bits, length - 1 in
// the low six; every row ends with TRANS_RUN_ROW_END.
enum {
  TRANS_RUN_TRANSPARENT = 0,
  TRANS_RUN_OPAQUE = 1,
  TRANS_RUN_PARTIAL = 2,
  TRANS_RUN_ROW_END = 0xC0,
  TRANS_RUN_MAX_LENGTH = 64,
};

struct MEMIMG_STORE {
  int referenceCount;
  int width, height;
  int pitch;
  int pitchShift;  // log2 of the pitch when it is a power of two fitting the row tightly, else -1
  const COLOR_FORMAT* format;
  uint32_t transparentColor;  // raw pixel value or palette index
  int pixelType;              // MEMIMG_TYPE_*
  int paletteFlag;
  int paletteEntriesUsed;
  int alphaFlag;
  int runTableValid;
  int externalPixels;
  uint8_t* paletteBlock;   // 2048 bytes: 256 entries in the pixel layout, a copy at +1024
  uint8_t* secondPalette;  // paletteBlock + 1024
  uint8_t* pixels;
  uint8_t* runTable;  // TRANS_RUN_TABLE, (width + 5) * height bytes
};

struct MEMIMG {
  uint32_t magic;  // MEMIMG_MAGIC while valid
  int width, height;
  uint8_t* pixels;  // top-left pixel of the view
  MEMIMG_STORE* store;
};

int SetupMemImg(MEMIMG* m, int width, int height, int pitch, uint32_t transparentColor, int pixelType,
                int paletteFlag, int alphaFlag, int extraBuffersFlag, void* externalPixels);
int CreateScreenMemImg(MEMIMG* m, int width, int height, int pixelType);
int SetDefaultMemImgType(int pixelType);
int IsMemImgValid(const MEMIMG* m);
int DeriveMemImg(MEMIMG* out, const MEMIMG* parent, int x, int y, int width, int height);
void ReleaseMemImg(MEMIMG* m);
void FillMemImgRectRaw(MEMIMG* m, const RECT* rect, uint32_t value);

const COLOR_FORMAT* GetMemImgColorFormat(int pixelType, int alphaFlag, int paletteFlag);
int ImportImageToMemImg(const RASTER_IMAGE* source, const RASTER_IMAGE* alphaImage, MEMIMG* dest, int sourceX,
                        int sourceY, int width, int height, int destX, int destY, int transparentFlag);
int CopyMemImgRect(MEMIMG* dest, const MEMIMG* source, const RECT* sourceRect, int destX, int destY);

// Bytes per pixel of a store's pixels (1 for palette indices).
int GetMemImgPixelBytes(const MEMIMG_STORE* store);
// Rebuilds the store's run table from the pixels of a view that covers the whole store and
// marks it valid; -1 (table left invalid) for any other view or a store without a table.
int BuildMemImgRunTable(MEMIMG* m);
// Changes the store's transparent colour (raw pixel value or palette index); a valid run
// table is rebuilt for it through a view of the whole store, else it stops being valid.
int SetMemImgTransparentColor(MEMIMG* m, uint32_t color);
