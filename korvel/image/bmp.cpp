#include "image/bmp.h"

#include <climits>
#include <cstring>

#include "core/log.h"
#include "core/memory.h"
#include "image/image_stream.h"
#include "image/pixel_convert.h"

namespace {
enum { BMP_FILE_HEADER_SIZE = 14, BMP_INFO_HEADER_SIZE = 40 };

struct BMP_LAYOUT {
  int width, height;  // height is |biHeight|
  bool bottomUp;
  int bitCount, compression;
  int rowSize;  // bytes of one stored row
};

void InitPaletteFromTable(COLOR_FORMAT* fmt, const RGBQUAD* colors, int count) {
  InitPaletteFormat(fmt);
  memset(fmt->palette, 0, sizeof fmt->palette);
  for (int i = 0; i < count; i++) {
    fmt->palette[i][0] = colors[i].rgbBlue;
    fmt->palette[i][1] = colors[i].rgbGreen;
    fmt->palette[i][2] = colors[i].rgbRed;
  }
}

// RLE8 and RLE4 into one index byte per pixel. Rows are counted in stored order and placed
// top-down. A run or absolute record that goes past the end of its row is cut there (some
// writers store a row's padding as pixels); a record below the last row, a delta that leaves
// the image, and data that ends before the bitmap does refuse the whole file.
int DecodeRle(const uint8_t* data, int size, const BMP_LAYOUT& b, uint8_t* out, int pitch) {
  bool four = b.compression == BI_RLE4;
  int at = 0, x = 0, row = 0;
  auto put = [&](int value) { out[(size_t)(b.bottomUp ? b.height - 1 - row : row) * pitch + x++] = (uint8_t)value; };
  while (at + 2 <= size) {
    int n = data[at], v = data[at + 1];
    at += 2;
    if (n > 0) {
      if (row >= b.height) return -1;
      for (int i = 0; i < n && x < b.width; i++) put(four ? ((i & 1) == 0 ? v >> 4 : v & 15) : v);
    } else if (v == 0) {
      x = 0;
      row++;
    } else if (v == 1) {
      return 0;
    } else if (v == 2) {
      if (at + 2 > size) return -1;
      x += data[at];
      row += data[at + 1];
      at += 2;
      if (x > b.width || row > b.height || (row == b.height && x > 0)) return -1;
    } else {
      int bytes = four ? (v + 1) / 2 : v;
      if (row >= b.height || bytes > size - at) return -1;
      for (int i = 0; i < v && x < b.width; i++)
        put(four ? ((i & 1) == 0 ? data[at + i / 2] >> 4 : data[at + i / 2] & 15) : data[at + i]);
      at += (bytes + 1) & ~1;
    }
  }
  // Data that stops after the last row is as good as an end-of-bitmap record.
  return row >= b.height ? 0 : -1;
}

// 4-bit rows unpacked to one index byte per pixel, high nibble first, placed top-down.
void Unpack4Bit(const uint8_t* data, const BMP_LAYOUT& b, uint8_t* out, int pitch) {
  for (int r = 0; r < b.height; r++) {
    const uint8_t* s = data + (size_t)r * b.rowSize;
    uint8_t* d = out + (size_t)(b.bottomUp ? b.height - 1 - r : r) * pitch;
    for (int x = 0; x < b.width; x++) d[x] = (x & 1) == 0 ? s[x / 2] >> 4 : s[x / 2] & 15;
  }
}

// Decodes a stored layout the loader handles itself. *pixels receives the result (possibly
// the data block itself, then *usedData is set). Returns 0, -1 on failure, 1 for GDI layouts.
int DecodeOwnLayout(uint8_t* data, int size, const BMP_LAYOUT& b, const BITMAPINFO* info, RASTER_IMAGE* out,
                    bool* usedData) {
  *usedData = false;
  const RGBQUAD* colors = info->bmiColors;
  bool rle = (b.compression == BI_RLE8 && b.bitCount == 8) || (b.compression == BI_RLE4 && b.bitCount == 4);
  bool plain = b.compression == BI_RGB && (b.bitCount == 4 || b.bitCount == 8 || b.bitCount == 24 || b.bitCount == 32);
  if (!rle && !plain) return 1;
  int64_t stored = (int64_t)b.rowSize * b.height;
  if (!rle && stored > size) return -1;
  if (rle || b.bitCount == 4) {
    int pitch = (b.width + 3) / 4 * 4;
    uint8_t* px = (uint8_t*)AllocTrackedZeroed((size_t)pitch * b.height, "", 0);
    if (px == nullptr) return -1;
    if (rle && DecodeRle(data, size, b, px, pitch) < 0) {
      FreeTracked(px);
      return -1;
    }
    if (!rle) Unpack4Bit(data, b, px, pitch);
    InitPaletteFromTable(&out->format, colors, b.bitCount == 8 ? 256 : 16);
    out->pitch = pitch;
    out->pixels = px;
    return 0;
  }
  uint8_t* px = data;
  if (b.bottomUp) {
    px = (uint8_t*)AllocTracked((size_t)stored, "", 0);
    if (px == nullptr) return -1;
    for (int r = 0; r < b.height; r++) {
      memcpy(px + (size_t)r * b.rowSize, data + (size_t)(b.height - 1 - r) * b.rowSize, b.rowSize);
    }
  } else {
    *usedData = true;
  }
  if (b.bitCount == 8) InitPaletteFromTable(&out->format, colors, 256);
  else if (b.bitCount == 24) InitRGB24Format(&out->format);
  else InitARGB8Format(&out->format);
  out->pitch = b.rowSize;
  out->pixels = px;
  return 0;
}

// Reads the info header and its colour table or masks into a zeroed block of 1068 bytes.
BITMAPINFO* ReadInfoBlock(STREAM_SOURCE* stream, BMP_LAYOUT* b) {
  BITMAPINFO* info = (BITMAPINFO*)AllocTrackedZeroed(DIB_INFO_BLOCK_SIZE, "", 0);
  if (info == nullptr) return nullptr;
  BITMAPINFOHEADER& h = info->bmiHeader;
  bool ok = ReadStreamExact(stream, &h, BMP_INFO_HEADER_SIZE) == 0 && h.biSize >= BMP_INFO_HEADER_SIZE &&
            h.biSize <= 1024 && h.biWidth > 0 && h.biHeight != 0 && h.biHeight != INT_MIN && h.biBitCount <= 32;
  if (ok) {
    b->width = h.biWidth;
    b->height = h.biHeight < 0 ? -h.biHeight : h.biHeight;
    b->bottomUp = h.biHeight > 0;
    b->bitCount = h.biBitCount;
    b->compression = (int)h.biCompression;
    int64_t rowSize = (((int64_t)b->width * b->bitCount + 7) / 8 + 3) / 4 * 4;
    ok = rowSize <= INT_MAX && MeasurePixelBlock(rowSize > 0 ? rowSize : 1, b->height, 1) >= 0 &&
         MeasurePixelBlock(b->width, b->height, 4) >= 0;
    b->rowSize = (int)rowSize;
  }
  if (ok && h.biCompression == BI_BITFIELDS) {
    // The three masks follow the 40 bytes of the header, inside the longer headers as well.
    ok = ReadStreamExact(stream, info->bmiColors, 12) == 0;
  } else if (ok && h.biBitCount <= 8) {
    int count = 1 << h.biBitCount;
    if (h.biClrUsed > 0 && h.biClrUsed < (DWORD)count) count = (int)h.biClrUsed;
    ok = stream->ops.seek(stream->handle, BMP_FILE_HEADER_SIZE + (int)h.biSize, 0) == 0 &&
         ReadStreamExact(stream, info->bmiColors, count * 4) == 0;
  }
  h.biSize = BMP_INFO_HEADER_SIZE;
  if (!ok) {
    FreeTracked(info);
    return nullptr;
  }
  return info;
}
// Copies a caller's DIB description into a zeroed block of 1068 bytes: the 40-byte header
// and only what the header declares after itself (three masks for bit fields, the colour
// table of a palette image, which follows the header's own size).
void CopyDibInfo(const BITMAPINFO* info, BITMAPINFO* out) {
  memset(out, 0, DIB_INFO_BLOCK_SIZE);
  const BITMAPINFOHEADER& h = info->bmiHeader;
  out->bmiHeader = h;
  out->bmiHeader.biSize = BMP_INFO_HEADER_SIZE;
  const uint8_t* after = (const uint8_t*)info + BMP_INFO_HEADER_SIZE;
  if (h.biCompression == BI_BITFIELDS) {
    // The masks follow the first 40 bytes, inside the longer headers as well.
    memcpy(out->bmiColors, after, 12);
    out->bmiHeader.biClrUsed = 0;
  } else if (h.biBitCount >= 1 && h.biBitCount <= 8) {
    DWORD count = 1u << h.biBitCount;
    if (h.biClrUsed > 0 && h.biClrUsed < count) count = h.biClrUsed;
    DWORD headerSize = h.biSize >= BMP_INFO_HEADER_SIZE && h.biSize <= 124 ? h.biSize : BMP_INFO_HEADER_SIZE;
    memcpy(out->bmiColors, (const uint8_t*)info + headerSize, count * 4);
    out->bmiHeader.biClrUsed = count;
  } else {
    out->bmiHeader.biClrUsed = 0;
  }
}
}  // namespace

int LoadBmpImage(STREAM_SOURCE* stream, RASTER_IMAGE* out) {
  uint8_t fileHeader[BMP_FILE_HEADER_SIZE];
  if (ReadStreamExact(stream, fileHeader, sizeof fileHeader) < 0 || fileHeader[0] != 'B' || fileHeader[1] != 'M') {
    return -1;
  }
  BMP_LAYOUT b;
  BITMAPINFO* info = ReadInfoBlock(stream, &b);
  if (info == nullptr) return -1;
  int size = 0;
  uint8_t* data = nullptr;
  uint32_t offset = GetLE32(fileHeader + 10);
  if (offset <= INT_MAX && stream->ops.seek(stream->handle, 0, 2) == 0 &&
      (uint32_t)stream->ops.tell(stream->handle) > offset && stream->ops.seek(stream->handle, (int)offset, 0) == 0) {
    data = ReadStreamRemainder(stream, &size);
  }
  int result = -1;
  bool usedData = false;
  if (data != nullptr) {
    out->width = b.width;
    out->height = b.height;
    result = DecodeOwnLayout(data, size, b, info, out, &usedData);
    if (result == 1) {
      // Uncompressed layouts must hold every row; compressed ones are bounded by the data.
      bool whole = b.compression != BI_RGB && b.compression != BI_BITFIELDS;
      if (!whole && (int64_t)b.rowSize * b.height > size) result = -1;
      else result = ConvertDibWithGdi(info, data, size, out);
    }
  }
  if (data != nullptr && !usedData) FreeTracked(data);
  FreeTracked(info);
  if (result < 0) memset(out, 0, sizeof *out);
  return result < 0 ? -1 : 0;
}

int ConvertDibWithGdi(const BITMAPINFO* info, const void* bits, int bitsSize, RASTER_IMAGE* out) {
  int width = info->bmiHeader.biWidth;
  int height = info->bmiHeader.biHeight < 0 ? -info->bmiHeader.biHeight : info->bmiHeader.biHeight;
  if (width <= 0 || height <= 0 || MeasurePixelBlock(width, height, 4) < 0) return -1;
  HDC dc = CreateCompatibleDC(nullptr);
  BITMAPINFOHEADER h;
  memset(&h, 0, sizeof h);
  h.biSize = sizeof h;
  h.biWidth = width;
  h.biHeight = -height;
  h.biPlanes = 1;
  h.biBitCount = 24;
  h.biCompression = BI_RGB;
  void* sectionBits = nullptr;
  HBITMAP section = CreateDIBSection(dc, (BITMAPINFO*)&h, DIB_RGB_COLORS, &sectionBits, nullptr, 0);
  if (section == nullptr || sectionBits == nullptr) {
    AddLogLineFormat("ＤＩＢの作成に失敗しました3\n");
    if (section != nullptr) DeleteObject(section);
    DeleteDC(dc);
    return -1;
  }
  BITMAP bm;
  GetObjectA(section, sizeof bm, &bm);
  int pitch = (bm.bmWidthBytes + 3) / 4 * 4;
  // GDI reads compressed bits up to the image size the header gives: it is bounded here by the
  // bytes the caller has.
  uint8_t copy[DIB_INFO_BLOCK_SIZE];
  CopyDibInfo(info, (BITMAPINFO*)copy);
  BITMAPINFOHEADER& ch = ((BITMAPINFO*)copy)->bmiHeader;
  if (ch.biCompression != BI_RGB && ch.biCompression != BI_BITFIELDS) ch.biSizeImage = (DWORD)bitsSize;
  HGDIOBJ old = SelectObject(dc, section);
  int lines = SetDIBitsToDevice(dc, 0, 0, width, height, 0, 0, 0, height, bits, (BITMAPINFO*)copy, DIB_RGB_COLORS);
  SelectObject(dc, old);
  DeleteDC(dc);
  int result = -1;
  if (lines > 0) {
    // A conversion that drew nothing is a failure, not a black image.
    void* px = AllocTracked((size_t)pitch * height, "", 0);
    if (px == nullptr) {
      AddLogLineFormat("２４ビットカラー化したグラフィックを格納するメモリ領域の確保に失敗しました\n");
    } else {
      memcpy(px, sectionBits, (size_t)pitch * height);
      InitRGB24Format(&out->format);
      out->width = width;
      out->height = height;
      out->pitch = pitch;
      out->pixels = px;
      out->mipLevels = 0;
      result = 0;
    }
  }
  DeleteObject(section);
  return result;
}

int ConvertDibToImage(const BITMAPINFO* info, const void* bits, RASTER_IMAGE* out, int copy) {
  memset(out, 0, sizeof *out);
  const BITMAPINFOHEADER& h = info->bmiHeader;
  int width = h.biWidth, height = h.biHeight < 0 ? -h.biHeight : h.biHeight;
  bool direct = h.biHeight < 0 && (h.biBitCount == 16 || h.biBitCount == 24 || h.biBitCount == 32) &&
                (h.biCompression == BI_RGB || h.biCompression == BI_BITFIELDS);
  if (!direct) {
    int64_t stored = MeasurePixelBlock(((int64_t)width * h.biBitCount + 31) / 32 * 4, height, 1);
    if (stored < 0) return -1;
    int bitsSize = h.biCompression == BI_RGB || h.biCompression == BI_BITFIELDS ? (int)stored : (int)h.biSizeImage;
    return ConvertDibWithGdi(info, bits, bitsSize, out) < 0 ? -1 : 1;
  }
  if (h.biCompression == BI_RGB && h.biBitCount == 32) return -1;
  int bytes = h.biBitCount / 8;
  int64_t pitch = ((int64_t)width * bytes + 3) / 4 * 4;
  if (MeasurePixelBlock(pitch, height, 1) < 0) return -1;
  if (h.biCompression == BI_BITFIELDS) {
    const DWORD* masks = (const DWORD*)info->bmiColors;
    InitColorFormat(&out->format, h.biBitCount, masks[0], masks[1], masks[2], 0, 0, 0, 0);
    UpdateUnusedBitsMask(&out->format);
  } else if (h.biBitCount == 16) {
    InitColorFormat(&out->format, 16, 0x7C00, 0x3E0, 0x1F, 0, 0, 0, 0);
  } else {
    InitRGB24Format(&out->format);
  }
  out->width = width;
  out->height = height;
  out->pitch = (int)pitch;
  if (copy != 1) {
    out->pixels = (void*)bits;
    return 0;
  }
  out->pixels = AllocTracked((size_t)pitch * height, "", 0);
  if (out->pixels == nullptr) return -1;
  memcpy(out->pixels, bits, (size_t)pitch * height);
  return 1;
}

int ConvertImageToDib(const RASTER_IMAGE* image, BITMAPINFO* out, void** bits, int copy, int force24) {
  BITMAPINFOHEADER& h = out->bmiHeader;
  memset(&h, 0, sizeof h);
  h.biSize = sizeof h;
  h.biWidth = image->width;
  h.biHeight = -image->height;
  h.biPlanes = 1;
  h.biCompression = BI_RGB;
  *bits = nullptr;
  const COLOR_FORMAT& f = image->format;
  if (f.kind != COLOR_KIND_PLAIN || image->width <= 0 || image->height <= 0) return -1;
  bool eightBit = f.colorBits == 8 && f.bytesPerPixel == 1 && force24 == 0;
  int rowSize = eightBit ? (image->width + 3) / 4 * 4 : (image->width * 3 + 3) / 4 * 4;
  const uint8_t* src = (const uint8_t*)image->pixels;
  if (eightBit) {
    h.biBitCount = 8;
    for (int i = 0; i < 256; i++) {
      out->bmiColors[i].rgbBlue = f.palette[i][0];
      out->bmiColors[i].rgbGreen = f.palette[i][1];
      out->bmiColors[i].rgbRed = f.palette[i][2];
      out->bmiColors[i].rgbReserved = f.palette[i][3];
    }
  } else {
    h.biBitCount = 24;
  }
  bool rgb24 = f.colorBits == 24 && f.redMask == 0xFF0000 && f.greenMask == 0xFF00 && f.blueMask == 0xFF;
  if (copy != 1 && image->pitch == rowSize && (eightBit || rgb24)) {
    *bits = image->pixels;
    return 0;
  }
  uint8_t* block = (uint8_t*)AllocTrackedZeroed((size_t)rowSize * image->height, "", 0);
  if (block == nullptr) return -1;
  if (eightBit || rgb24) {
    int rowBytes = image->width * (eightBit ? 1 : 3);
    for (int y = 0; y < image->height; y++) memcpy(block + (size_t)y * rowSize, src + (size_t)y * image->pitch, rowBytes);
  } else {
    COLOR_FORMAT dest;
    InitRGB24Format(&dest);
    RECT rect = {0, 0, image->width, image->height};
    if (ConvertPixelRect(block, rowSize, &dest, src, image->pitch, &f, nullptr, 0, nullptr, 0, 0, &rect, 0, 0, 0, 0,
                         0, 0, 0, 0) < 0) {
      FreeTracked(block);
      return -1;
    }
  }
  *bits = block;
  return 1;
}
