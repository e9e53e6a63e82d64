#include "image/dxt.h"

#include <cstring>

#include "core/memory.h"
#include "image/image_stream.h"

namespace {
struct BGRA {
  uint8_t b, g, r, a;
};

BGRA ExpandRgb565(uint16_t c) {
  BGRA p;
  p.r = (uint8_t)(((c >> 11) & 31) * 255 / 31);
  p.g = (uint8_t)(((c >> 5) & 63) * 255 / 63);
  p.b = (uint8_t)((c & 31) * 255 / 31);
  p.a = 255;
  return p;
}

BGRA Mix(BGRA p, BGRA q, int wp, int wq, int divisor) {
  BGRA m;
  m.r = (uint8_t)((wp * p.r + wq * q.r) / divisor);
  m.g = (uint8_t)((wp * p.g + wq * q.g) / divisor);
  m.b = (uint8_t)((wp * p.b + wq * q.b) / divisor);
  m.a = 255;
  return m;
}

// The colour half of a block: four colours, the second pair by the DXT1 rule or always
// the four-colour rule.
void BuildColors(const uint8_t* block, bool dxt1Rule, BGRA colors[4]) {
  uint16_t c0 = GetLE16(block), c1 = GetLE16(block + 2);
  colors[0] = ExpandRgb565(c0);
  colors[1] = ExpandRgb565(c1);
  if (!dxt1Rule || c0 > c1) {
    colors[2] = Mix(colors[0], colors[1], 2, 1, 3);
    colors[3] = Mix(colors[0], colors[1], 1, 2, 3);
  } else {
    colors[2] = Mix(colors[0], colors[1], 1, 1, 2);
    colors[3] = BGRA{0, 0, 0, 0};
  }
}

void BuildInterpolatedAlphas(uint8_t a0, uint8_t a1, uint8_t alphas[8]) {
  alphas[0] = a0;
  alphas[1] = a1;
  if (a0 > a1) {
    for (int i = 1; i <= 6; i++) alphas[i + 1] = (uint8_t)(((7 - i) * a0 + i * a1) / 7);
  } else {
    for (int i = 1; i <= 4; i++) alphas[i + 1] = (uint8_t)(((5 - i) * a0 + i * a1) / 5);
    alphas[6] = 0;
    alphas[7] = 255;
  }
}

// Premultiplied colour back to straight colour; alpha 0 leaves black rather than dividing.
uint8_t Unpremultiply(uint8_t channel, uint8_t alpha) {
  if (alpha == 0) return 0;
  unsigned v = channel * 255u / alpha;
  return (uint8_t)(v > 255 ? 255 : v);
}
}  // namespace

void DecodeDxtBlock(int kind, const uint8_t* block, uint8_t out[16][4]) {
  const uint8_t* colorBlock = kind == 1 ? block : block + 8;
  BGRA colors[4];
  BuildColors(colorBlock, kind == 1, colors);
  uint32_t indices = GetLE32(colorBlock + 4);
  uint64_t alphaBits = 0;
  uint8_t alphas[8];
  if (kind == 2 || kind == 3) {
    alphaBits = (uint64_t)GetLE32(block) | (uint64_t)GetLE32(block + 4) << 32;
  } else if (kind == 4 || kind == 5) {
    for (int i = 7; i >= 2; i--) alphaBits = alphaBits << 8 | block[i];
    BuildInterpolatedAlphas(block[0], block[1], alphas);
  }
  for (int i = 0; i < 16; i++) {
    BGRA p = colors[(indices >> (2 * i)) & 3];
    if (kind == 2 || kind == 3) p.a = (uint8_t)(((alphaBits >> (4 * i)) & 15) * 17);
    if (kind == 4 || kind == 5) p.a = alphas[(alphaBits >> (3 * i)) & 7];
    if (kind == 2 || kind == 4) {
      p.r = Unpremultiply(p.r, p.a);
      p.g = Unpremultiply(p.g, p.a);
      p.b = Unpremultiply(p.b, p.a);
    }
    out[i][0] = p.b;
    out[i][1] = p.g;
    out[i][2] = p.r;
    out[i][3] = p.a;
  }
}

int DecompressDxtImage(RASTER_IMAGE* image) {
  int kind = image->format.kind;
  if (kind < COLOR_KIND_DXT1 || kind > COLOR_KIND_DXT5) return 0;
  int64_t size = MeasurePixelBlock(image->width, image->height, 4);
  if (size < 0 || image->pixels == nullptr) return -1;
  MIP_LEVEL_LAYOUT level;
  if (GetMipLevelLayout(&image->format, image->width, image->height, image->pitch, 0, &level) < 0) return -1;
  uint8_t* out = (uint8_t*)AllocTracked((size_t)size, "", 0);
  if (out == nullptr) return -1;
  int pitch = image->width * 4;
  int blockBytes = GetDxtBlockBytes(kind);
  const uint8_t* data = (const uint8_t*)image->pixels;
  uint8_t pixels[16][4];
  // Blocks of the right column and bottom row that the image covers only in part are decoded
  // too (the data holds whole blocks); only their pixels inside the image are written.
  for (int by = 0; by < level.rowCount; by++) {
    for (int bx = 0; bx < level.rowBytes / blockBytes; bx++) {
      DecodeDxtBlock(kind, data + by * level.rowBytes + bx * blockBytes, pixels);
      for (int i = 0; i < 16; i++) {
        int x = bx * 4 + (i & 3), y = by * 4 + (i >> 2);
        if (x < image->width && y < image->height) memcpy(out + y * pitch + x * 4, pixels[i], 4);
      }
    }
  }
  FreeTracked(image->pixels);
  InitARGB8Format(&image->format);
  image->pixels = out;
  image->pitch = pitch;
  image->mipLevels = 0;
  return 0;
}
