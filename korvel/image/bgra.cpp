#include "image/bgra.h"

#include <cstring>

#include "core/memory.h"
#include "image/image_stream.h"

namespace {
enum : uint32_t { BGRA_8BIT_CHANNELS = 0x08080808u, BGRA_16BIT_CHANNELS = 0x10101010u };

// Rows of four 16-bit values per pixel keep the high byte of each value.
int ReadWideRows(STREAM_SOURCE* stream, uint8_t* pixels, int width, int height) {
  uint8_t* row = (uint8_t*)AllocTracked((size_t)width * 8, "", 0);
  if (row == nullptr) return -1;
  int result = 0;
  for (int y = 0; y < height && result == 0; y++) {
    result = ReadStreamExact(stream, row, width * 8);
    uint8_t* d = pixels + (size_t)y * width * 4;
    for (int x = 0; x < width && result == 0; x++) {
      for (int c = 0; c < 4; c++) d[x * 4 + c] = row[x * 8 + c * 2 + 1];
    }
  }
  FreeTracked(row);
  return result;
}
}  // namespace

int LoadBgraImage(STREAM_SOURCE* stream, RASTER_IMAGE* out) {
  uint8_t header[16];
  if (ReadStreamExact(stream, header, 16) < 0 || memcmp(header, "BGRA", 4) != 0) return -1;
  uint32_t channels = GetLE32(header + 4);
  if (channels != BGRA_8BIT_CHANNELS && channels != BGRA_16BIT_CHANNELS) return -1;
  uint32_t width = GetLE32(header + 8), height = GetLE32(header + 12);
  int bytesPerPixel = channels == BGRA_8BIT_CHANNELS ? 4 : 8;
  // The file must hold every pixel it announces before anything is allocated.
  int64_t fileBytes = MeasurePixelBlock(width, height, bytesPerPixel);
  int left = MeasureStreamRemainder(stream);
  if (fileBytes < 0 || left < 0 || fileBytes > left) return -1;
  size_t size = (size_t)width * height * 4;
  uint8_t* pixels = (uint8_t*)AllocTracked(size, "", 0);
  if (pixels == nullptr) return -1;
  int result = bytesPerPixel == 4 ? ReadStreamExact(stream, pixels, (int)size)
                                  : ReadWideRows(stream, pixels, (int)width, (int)height);
  if (result < 0) {
    FreeTracked(pixels);
    return -1;
  }
  InitARGB8Format(&out->format);
  out->width = (int)width;
  out->height = (int)height;
  out->pitch = (int)width * 4;
  out->pixels = pixels;
  return 0;
}
