// Small image files built in memory for the loader tests: BMP, TGA, DDS and BGRA.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

inline void PutLE(std::string& s, size_t at, uint32_t v, int bytes) {
  for (int i = 0; i < bytes; i++) s[at + i] = (char)(v >> (8 * i));
}
inline std::string LE(uint32_t v, int bytes) {
  std::string s(bytes, '\0');
  PutLE(s, 0, v, bytes);
  return s;
}

// A BMP file: 40-byte info header, the colour table (or masks) and the pixel bytes as given.
inline std::string MakeBmp(int width, int height, int bits, int compression, const std::string& table,
                           const std::string& pixels) {
  std::string info = LE(40, 4) + LE((uint32_t)width, 4) + LE((uint32_t)height, 4) + LE(1, 2) + LE(bits, 2) +
                     LE(compression, 4) + LE((uint32_t)pixels.size(), 4) + LE(0, 4) + LE(0, 4) + LE(0, 4) + LE(0, 4);
  uint32_t offset = 14 + 40 + (uint32_t)table.size();
  return "BM" + LE(offset + (uint32_t)pixels.size(), 4) + LE(0, 4) + LE(offset, 4) + info + table + pixels;
}

// A colour table of n entries where entry i is (blue i, green 2i, red 3i).
inline std::string MakeColorTable(int n) {
  std::string t;
  for (int i = 0; i < n; i++) t += std::string{(char)i, (char)(2 * i), (char)(3 * i), 0};
  return t;
}

// A TGA file from its header fields, the colour map, the data and an optional footer.
inline std::string MakeTga(int type, int width, int height, int pixelBits, int descriptor, const std::string& data,
                           int mapFirst = 0, int mapLength = 0, int mapBits = 0, const std::string& map = "",
                           const std::string& id = "", bool footer = false) {
  std::string h = std::string(1, (char)id.size()) + std::string(1, (char)(mapLength > 0 ? 1 : 0)) +
                  std::string(1, (char)type) + LE(mapFirst, 2) + LE(mapLength, 2) + std::string(1, (char)mapBits) +
                  LE(0, 2) + LE(0, 2) + LE(width, 2) + LE(height, 2) + std::string(1, (char)pixelBits) +
                  std::string(1, (char)descriptor);
  std::string f = footer ? LE(0, 4) + LE(0, 4) + "TRUEVISION-XFILE" + std::string(".\0", 2) : "";
  return h + id + map + data + f;
}

enum { DDS_PITCH_FLAG = 0x8, DDS_MIP_FLAG = 0x20000 };

// A DDS file: header fields as given, then the data.
inline std::string MakeDds(int width, int height, uint32_t flags, uint32_t pitch, uint32_t mips, uint32_t pfFlags,
                           uint32_t code, uint32_t rgbBits, const uint32_t masks[4], uint32_t caps,
                           const std::string& data) {
  std::string h(124, '\0');
  PutLE(h, 0, 124, 4);
  PutLE(h, 4, flags, 4);
  PutLE(h, 8, (uint32_t)height, 4);
  PutLE(h, 12, (uint32_t)width, 4);
  PutLE(h, 16, pitch, 4);
  PutLE(h, 24, mips, 4);
  PutLE(h, 72, 32, 4);
  PutLE(h, 76, pfFlags, 4);
  PutLE(h, 80, code, 4);
  PutLE(h, 84, rgbBits, 4);
  for (int i = 0; i < 4; i++) PutLE(h, 88 + 4 * i, masks != nullptr ? masks[i] : 0, 4);
  PutLE(h, 104, caps, 4);
  return "DDS " + h + data;
}

inline uint32_t FourCCOf(const char* s) {
  return (uint32_t)(uint8_t)s[0] | (uint32_t)(uint8_t)s[1] << 8 | (uint32_t)(uint8_t)s[2] << 16 |
         (uint32_t)(uint8_t)s[3] << 24;
}

inline std::string MakeBgra(uint32_t channels, int width, int height, const std::string& pixels) {
  return "BGRA" + LE(channels, 4) + LE((uint32_t)width, 4) + LE((uint32_t)height, 4) + pixels;
}
