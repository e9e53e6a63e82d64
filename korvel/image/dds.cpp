#include "image/dds.h"

#include <cstring>

#include "core/maths.h"
#include "core/memory.h"
#include "image/image_stream.h"

namespace {
enum {
  DDS_HEADER_SIZE = 124,
  DDSD_PITCH = 0x8,
  DDSD_MIPMAPCOUNT = 0x20000,
  DDPF_FOURCC = 0x4,
  DDPF_RGB = 0x40,
  DDSCAPS_COMPLEX = 0x8,
  DDSCAPS_MIPMAP = 0x400000,
};

struct DDS_NUMERIC_FORMAT {
  uint32_t code;
  int bits;
  uint32_t red, green, blue, alpha;
};

// The Direct3D 9 format numbers a file may give as its four-character code.
const DDS_NUMERIC_FORMAT kNumericFormats[] = {
    {20, 24, 0xFF0000, 0xFF00, 0xFF, 0},
    {21, 32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000u},
    {22, 32, 0xFF0000, 0xFF00, 0xFF, 0},
    {23, 16, 0xF800, 0x7E0, 0x1F, 0},
    {24, 16, 0x7C00, 0x3E0, 0x1F, 0},
    {25, 16, 0x7C00, 0x3E0, 0x1F, 0x8000},
    {26, 16, 0xF00, 0xF0, 0xF, 0xF000},
    {27, 8, 0xE0, 0x1C, 0x3, 0},
    {29, 16, 0xE0, 0x1C, 0x3, 0xFF00},
    {30, 16, 0xF00, 0xF0, 0xF, 0},
    {31, 32, 0x3FF, 0xFFC00, 0x3FF00000, 0xC0000000u},
    {32, 32, 0xFF, 0xFF00, 0xFF0000, 0xFF000000u},
    {33, 32, 0xFF, 0xFF00, 0xFF0000, 0},
    {35, 32, 0x3FF00000, 0xFFC00, 0x3FF, 0xC0000000u},
};

const DDS_NUMERIC_FORMAT* FindNumericFormat(uint32_t code) {
  for (const DDS_NUMERIC_FORMAT& f : kNumericFormats) {
    if (f.code == code) return &f;
  }
  return nullptr;
}

uint32_t FourCC(const char* s) { return GetLE32((const uint8_t*)s); }

// The DXT kind of a four-character code, 0 for any other code.
int DxtKindOfCode(uint32_t code) {
  const char* names[] = {"DXT1", "DXT2", "DXT3", "DXT4", "DXT5"};
  for (int i = 0; i < 5; i++) {
    if (code == FourCC(names[i])) return i + 1;
  }
  return 0;
}

// A mask layout of 8, 16, 24 or 32 bits; -1 for any other bit count.
int InitMaskLayout(COLOR_FORMAT* fmt, uint32_t bits, uint32_t red, uint32_t green, uint32_t blue, uint32_t alpha) {
  if (bits != 8 && bits != 16 && bits != 24 && bits != 32) return -1;
  return InitColorFormat(fmt, (int)bits, red, green, blue, alpha, 0, 0, 0);
}

// The DXT description: ARGB8 channels, 4 compressed bits per pixel for DXT1 and 8 otherwise.
void InitDxtLayout(COLOR_FORMAT* fmt, int kind) {
  InitARGB8Format(fmt);
  fmt->kind = (uint8_t)kind;
  fmt->colorBits = (uint8_t)(kind == COLOR_KIND_DXT1 ? 4 : 8);
}
// Eight-bit mask layouts (R3G3B2 and the like) would read as palette indices: every level's
// bytes become 16-bit pixels with the same masks. Replaces the pixels and the pitch.
int WidenEightBitLevels(COLOR_FORMAT* format, int width, int height, int64_t* pitch, int levels, void** pixels) {
  COLOR_FORMAT wide;
  InitColorFormat(&wide, 16, format->redMask, format->greenMask, format->blueMask, format->alphaMask, 0, 0, 0);
  int count = levels >= 2 ? levels : 1;
  int widePitch = width * 2;
  int64_t size = 0;
  for (int i = 0; i < count; i++) {
    MIP_LEVEL_LAYOUT layout;
    if (GetMipLevelLayout(&wide, width, height, widePitch, i, &layout) < 0) return -1;
    size += (int64_t)layout.rowBytes * layout.rowCount;
    if (size > 0x7FFFFFFF) return -1;
  }
  uint8_t* out = (uint8_t*)AllocTracked((size_t)size, "", 0);
  if (out == nullptr) return -1;
  const uint8_t* in = (const uint8_t*)*pixels;
  uint8_t* to = out;
  for (int i = 0; i < count; i++) {
    MIP_LEVEL_LAYOUT from, into;
    GetMipLevelLayout(format, width, height, (int)*pitch, i, &from);
    GetMipLevelLayout(&wide, width, height, widePitch, i, &into);
    for (int y = 0; y < into.rowCount; y++)
      for (int x = 0; x < into.width; x++) {
        uint16_t v = in[(size_t)y * from.rowBytes + x];
        memcpy(to + (size_t)y * into.rowBytes + x * 2, &v, 2);
      }
    in += (size_t)from.rowBytes * from.rowCount;
    to += (size_t)into.rowBytes * into.rowCount;
  }
  FreeTracked(*pixels);
  *pixels = out;
  *pitch = widePitch;
  *format = wide;
  return 0;
}
}  // namespace

int LoadDdsImage(STREAM_SOURCE* stream, RASTER_IMAGE* out) {
  uint8_t head[4 + DDS_HEADER_SIZE];
  if (ReadStreamExact(stream, head, sizeof head) < 0 || memcmp(head, "DDS", 3) != 0) return -1;
  const uint8_t* h = head + 4;
  uint32_t flags = GetLE32(h + 4), height = GetLE32(h + 8), width = GetLE32(h + 12), pitch = GetLE32(h + 16);
  uint32_t mipCount = GetLE32(h + 24), pfFlags = GetLE32(h + 76), code = GetLE32(h + 80);
  uint32_t rgbBits = GetLE32(h + 84), caps = GetLE32(h + 104);
  if (MeasurePixelBlock(width, height, 4) < 0) return -1;

  COLOR_FORMAT format;
  memset(&format, 0, sizeof format);
  bool numeric = false;
  int kind = 0;
  if (pfFlags == DDPF_FOURCC) {
    const DDS_NUMERIC_FORMAT* f = FindNumericFormat(code);
    if (f != nullptr) {
      InitMaskLayout(&format, (uint32_t)f->bits, f->red, f->green, f->blue, f->alpha);
      numeric = true;
    }
  }
  if ((pfFlags & DDPF_FOURCC) != 0) {
    kind = DxtKindOfCode(code);
    if (kind != 0) InitDxtLayout(&format, kind);
    else if (!numeric) return -1;
  } else if ((pfFlags & DDPF_RGB) != 0) {
    if (InitMaskLayout(&format, rgbBits, GetLE32(h + 88), GetLE32(h + 92), GetLE32(h + 96), GetLE32(h + 100)) < 0) {
      return -1;
    }
  } else {
    return -1;
  }

  int levels = 0;
  if ((flags & DDSD_MIPMAPCOUNT) != 0 && (caps & DDSCAPS_MIPMAP) != 0 && (caps & DDSCAPS_COMPLEX) != 0) {
    if (mipCount > (uint32_t)FullMipChainLevels((int)width, (int)height)) return -1;
    levels = (int)mipCount;
  }

  // The top level's row bytes: DXT rows are whole blocks; other data takes the header's
  // pitch or, without it, its bit count. A numeric format's bits decide the row size, so a
  // pitch taken from an unset RGB bit count is refused, and no pitch may be shorter than a row.
  int64_t rowBytes = (int64_t)width * format.bytesPerPixel;
  int64_t dataPitch = 0;
  if (kind == 0) {
    dataPitch = (flags & DDSD_PITCH) != 0 ? (int64_t)pitch : (int64_t)(rgbBits / 8) * width;
    if (dataPitch < rowBytes || dataPitch > 0x7FFFFFFF) return -1;
  }
  int64_t size = 0;
  for (int i = 0; i < (levels >= 2 ? levels : 1); i++) {
    MIP_LEVEL_LAYOUT layout;
    if (GetMipLevelLayout(&format, (int)width, (int)height, (int)dataPitch, i, &layout) < 0) return -1;
    size += (int64_t)layout.rowBytes * layout.rowCount;
    if (size > 0x7FFFFFFF - 64) return -1;
  }
  int left = MeasureStreamRemainder(stream);
  if (left < 0 || size > left) return -1;

  void* pixels = AllocTracked((size_t)size, "", 0);
  if (pixels == nullptr) return -1;
  if (ReadStreamExact(stream, pixels, (int)size) < 0) {
    FreeTracked(pixels);
    return -1;
  }
  if (kind == 0 && format.colorBits == 8 && WidenEightBitLevels(&format, (int)width, (int)height, &dataPitch,
                                                                  levels, &pixels) < 0) {
    FreeTracked(pixels);
    return -1;
  }
  out->format = format;
  out->width = (int)width;
  out->height = (int)height;
  out->pitch = (int)dataPitch;
  out->pixels = pixels;
  out->mipLevels = levels;
  return 0;
}
