#include "image/tga.h"

#include <cstring>

#include "core/memory.h"
#include "image/image_stream.h"

namespace {
enum { TGA_HEADER_SIZE = 18, TGA_FOOTER_SIZE = 26, TGA_MAX_SIDE = 8192 };

struct TGA_HEADER {
  int idLength, mapType, imageType, mapFirst, mapLength, mapEntryBits;
  int xOrigin, yOrigin, width, height, pixelBits, descriptor;
};

TGA_HEADER ParseHeader(const uint8_t* p) {
  TGA_HEADER h;
  h.idLength = p[0];
  h.mapType = p[1];
  h.imageType = p[2];
  h.mapFirst = GetLE16(p + 3);
  h.mapLength = GetLE16(p + 5);
  h.mapEntryBits = p[7];
  h.xOrigin = GetLE16(p + 8);
  h.yOrigin = GetLE16(p + 10);
  h.width = GetLE16(p + 12);
  h.height = GetLE16(p + 14);
  h.pixelBits = p[16];
  h.descriptor = p[17];
  return h;
}

bool IsColorMapped(const TGA_HEADER& h) { return h.imageType == 1 || h.imageType == 9; }
bool IsRunLength(const TGA_HEADER& h) { return h.imageType == 9 || h.imageType == 10; }

// The accepted set; colour-mapped files have one-byte indices and a map within 256 entries.
bool IsAccepted(const TGA_HEADER& h) {
  if (h.imageType != 1 && h.imageType != 2 && h.imageType != 9 && h.imageType != 10) return false;
  if (h.xOrigin != 0 || h.yOrigin != 0) return false;
  if (h.width < 1 || h.height < 1 || h.width > TGA_MAX_SIDE || h.height > TGA_MAX_SIDE) return false;
  int depth = IsColorMapped(h) ? h.mapEntryBits : h.pixelBits;
  if (depth != 16 && depth != 24 && depth != 32) return false;
  if (IsColorMapped(h) && (h.pixelBits != 8 || h.mapFirst + h.mapLength > 256)) return false;
  return true;
}

bool HasFooter(const uint8_t* file, int size) {
  if (size < TGA_FOOTER_SIZE) return false;
  const uint8_t* f = file + size - TGA_FOOTER_SIZE;
  return memcmp(f + 8, "TRUEVISION-XFILE", 16) == 0 && GetLE32(f) == 0;
}

// Packets of values of valueBytes each into count values; -1 when a packet reaches past the
// image or past the data.
int DecodePackets(const uint8_t* data, int size, int valueBytes, uint8_t* out, int count) {
  int at = 0, written = 0;
  while (written < count) {
    if (at >= size) return -1;
    int header = data[at++], run = (header & 0x7F) + 1;
    if (written + run > count) return -1;
    int bytes = (header & 0x80) != 0 ? valueBytes : run * valueBytes;
    if (bytes > size - at) return -1;
    if ((header & 0x80) != 0) {
      for (int i = 0; i < run; i++) memcpy(out + (written + i) * valueBytes, data + at, valueBytes);
    } else {
      memcpy(out + written * valueBytes, data + at, bytes);
    }
    at += bytes;
    written += run;
  }
  return 0;
}

// Indices into colours through a table of 256 entries.
void ExpandIndices(const uint8_t* indices, int count, const uint8_t* table, int bytes, uint8_t* out) {
  for (int i = 0; i < count; i++) memcpy(out + i * bytes, table + indices[i] * bytes, bytes);
}

// The decoded pixels in top-down, left-to-right order (a new block unless they already are).
uint8_t* Reorder(uint8_t* decoded, const TGA_HEADER& h, int bytes) {
  bool topDown = (h.descriptor & 0x20) != 0, rightToLeft = (h.descriptor & 0x10) != 0;
  if (topDown && !rightToLeft) return decoded;
  int pitch = h.width * bytes;
  uint8_t* out = (uint8_t*)AllocTracked((size_t)pitch * h.height, "", 0);
  if (out != nullptr) {
    for (int y = 0; y < h.height; y++) {
      const uint8_t* s = decoded + (size_t)(topDown ? y : h.height - 1 - y) * pitch;
      uint8_t* d = out + (size_t)y * pitch;
      if (!rightToLeft) memcpy(d, s, pitch);
      else for (int x = 0; x < h.width; x++) memcpy(d + x * bytes, s + (h.width - 1 - x) * bytes, bytes);
    }
  }
  FreeTracked(decoded);
  return out;
}

// Pixels (decoded, in file order) from the data after the header; null on any shortfall.
uint8_t* DecodePixels(const uint8_t* file, int size, const TGA_HEADER& h, int bytes) {
  int count = h.width * h.height;
  int at = TGA_HEADER_SIZE + h.idLength;
  int mapEntryBytes = (h.mapEntryBits + 7) / 8;
  int mapBytes = h.mapType == 1 ? h.mapLength * mapEntryBytes : 0;
  if (at + mapBytes > size) return nullptr;
  // Run-length data runs to the footer when there is one, else to the end.
  int end = HasFooter(file, size) ? size - TGA_FOOTER_SIZE : size;
  uint8_t* pixels = (uint8_t*)AllocTracked((size_t)count * bytes, "", 0);
  uint8_t* indices = nullptr;
  uint8_t table[256 * 4];
  bool ok = pixels != nullptr;
  if (ok && IsColorMapped(h)) {
    memset(table, 0, sizeof table);
    if (h.mapType == 1) memcpy(table + h.mapFirst * bytes, file + at, mapBytes);
    at += mapBytes;
    indices = (uint8_t*)AllocTracked((size_t)count, "", 0);
    ok = indices != nullptr;
    if (ok && IsRunLength(h)) ok = at <= end && DecodePackets(file + at, end - at, 1, indices, count) == 0;
    else if (ok) ok = count <= size - at && (memcpy(indices, file + at, count), true);
    if (ok) ExpandIndices(indices, count, table, bytes, pixels);
  } else if (ok) {
    at += mapBytes;
    if (IsRunLength(h)) ok = at <= end && DecodePackets(file + at, end - at, bytes, pixels, count) == 0;
    else ok = (int64_t)count * bytes <= size - at && (memcpy(pixels, file + at, (size_t)count * bytes), true);
  }
  if (indices != nullptr) FreeTracked(indices);
  if (!ok && pixels != nullptr) {
    FreeTracked(pixels);
    pixels = nullptr;
  }
  return pixels;
}
}  // namespace

int LoadTgaImage(STREAM_SOURCE* stream, RASTER_IMAGE* out) {
  int size = 0;
  uint8_t* file = ReadStreamRemainder(stream, &size);
  if (file == nullptr) return -1;
  TGA_HEADER h;
  if (size < TGA_HEADER_SIZE || !IsAccepted(h = ParseHeader(file))) {
    FreeTracked(file);
    return -1;
  }
  int depth = IsColorMapped(h) ? h.mapEntryBits : h.pixelBits;
  int bytes = depth / 8;
  uint8_t* pixels = DecodePixels(file, size, h, bytes);
  FreeTracked(file);
  if (pixels != nullptr) pixels = Reorder(pixels, h, bytes);
  if (pixels == nullptr) return -1;
  if (depth == 16) InitColorFormat(&out->format, 16, 0x7C00, 0x3E0, 0x1F, 0, 0, 0, 0);
  else if (depth == 24) InitRGB24Format(&out->format);
  else InitARGB8Format(&out->format);
  out->width = h.width;
  out->height = h.height;
  out->pitch = h.width * bytes;
  out->pixels = pixels;
  return 0;
}
