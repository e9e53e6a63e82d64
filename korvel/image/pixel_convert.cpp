#include "image/pixel_convert.h"

#include <cstdint>
#include <cstring>

namespace {
struct CONVERT_JOB {
  COLOR_FORMAT dest, src, alpha;
  uint8_t* destBase;  // first destination pixel of the rectangle
  const uint8_t* srcBase;  // first source pixel of the rectangle
  const uint8_t* alphaBase;  // first alpha-image pixel, or null
  int destPitch, srcPitch, alphaPitch;
  int width, height;
  int mirror;
};

uint32_t ReadPixel(const uint8_t* p, int bytes) {
  switch (bytes) {
    case 1: return p[0];
    case 2: return (uint32_t)p[0] | (uint32_t)p[1] << 8;
    case 3: return (uint32_t)p[0] | (uint32_t)p[1] << 8 | (uint32_t)p[2] << 16;
    default: return (uint32_t)p[0] | (uint32_t)p[1] << 8 | (uint32_t)p[2] << 16 | (uint32_t)p[3] << 24;
  }
}

void WritePixel(uint8_t* p, int bytes, uint32_t v) {
  p[0] = (uint8_t)v;
  if (bytes >= 2) p[1] = (uint8_t)(v >> 8);
  if (bytes >= 3) p[2] = (uint8_t)(v >> 16);
  if (bytes >= 4) p[3] = (uint8_t)(v >> 24);
}

uint32_t PixelSizeMask(int bits) { return bits >= 32 ? 0xFFFFFFFFu : (1u << bits) - 1u; }

uint32_t PaletteEntry(const COLOR_FORMAT& f, uint32_t index) {
  const uint8_t* e = f.palette[index & 0xFF];
  return (uint32_t)e[0] | (uint32_t)e[1] << 8 | (uint32_t)e[2] << 16 | (uint32_t)e[3] << 24;
}

bool HasMasks(const COLOR_FORMAT& f, int bits, uint32_t r, uint32_t g, uint32_t b, uint32_t a) {
  return f.colorBits == bits && f.redMask == r && f.greenMask == g && f.blueMask == b && f.alphaMask == a;
}
bool IsPalette8(const COLOR_FORMAT& f) { return f.colorBits == 8 && f.bytesPerPixel == 1; }
bool IsRGB565(const COLOR_FORMAT& f) { return HasMasks(f, 16, 0xF800, 0x7E0, 0x1F, 0); }
bool IsX1R5G5B5(const COLOR_FORMAT& f) { return HasMasks(f, 16, 0x7C00, 0x3E0, 0x1F, 0); }
bool IsA1R5G5B5(const COLOR_FORMAT& f) { return HasMasks(f, 16, 0x7C00, 0x3E0, 0x1F, 0x8000); }
bool IsRGB24(const COLOR_FORMAT& f) { return HasMasks(f, 24, 0xFF0000, 0xFF00, 0xFF, 0); }
bool Is32BitRGB(const COLOR_FORMAT& f) {
  return f.colorBits == 32 && f.redMask == 0xFF0000 && f.greenMask == 0xFF00 && f.blueMask == 0xFF;
}
bool IsXRGB8(const COLOR_FORMAT& f) { return Is32BitRGB(f) && f.alphaMask == 0; }
bool IsARGB8(const COLOR_FORMAT& f) { return Is32BitRGB(f) && f.alphaMask == 0xFF000000u; }

// Walks the rectangle row by row; the function maps a raw source pixel to the destination
// value and returns false to leave the destination pixel unwritten. With mirror each row is
// written from its right end leftwards.
template <class F>
void MapPixels(const CONVERT_JOB& j, F map) {
  int sb = j.src.bytesPerPixel, db = j.dest.bytesPerPixel;
  for (int y = 0; y < j.height; y++) {
    const uint8_t* s = j.srcBase + (ptrdiff_t)y * j.srcPitch;
    uint8_t* d = j.destBase + (ptrdiff_t)y * j.destPitch;
    for (int x = 0; x < j.width; x++) {
      uint32_t out;
      if (map(ReadPixel(s + x * sb, sb), &out)) {
        int dx = j.mirror ? j.width - 1 - x : x;
        WritePixel(d + dx * db, db, out);
      }
    }
  }
}

// Widens a field of width s to width t by repeating its top bits, which equals
// v * (2^t - 1) / (2^s - 1) rounded down; narrowing drops low bits.
uint32_t RescaleField(uint32_t v, int s, int t) {
  if (s == t) return v;
  if (s > t) return v >> (s - t);
  if (s == 0) return 0;
  int d = t - s;
  return (uint32_t)(((uint64_t)v << d) + (uint64_t)v * ((1ull << d) - 1) / ((1ull << s) - 1));
}

// Raw 16-bit colour fields are widened to the 0-255 range that the palette match expects.
uint32_t WidenTo8(uint32_t v, int width) { return width > 0 && width < 8 ? RescaleField(v, width, 8) : v; }

int RemapPalette(const CONVERT_JOB& j) {
  uint8_t map[256];
  for (int i = 0; i < 256; i++) {
    const uint8_t* e = j.src.palette[i];
    map[i] = (uint8_t)PackColorCode(&j.dest, e[2], e[1], e[0], 0);
  }
  MapPixels(j, [&](uint32_t v, uint32_t* out) { *out = map[v & 0xFF]; return true; });
  return 0;
}

int ConvertIntoPalette(const CONVERT_JOB& j) {
  const COLOR_FORMAT& s = j.src;
  if (s.colorBits != 16 && s.colorBits != 24 && s.colorBits != 32) return 0;
  bool widen = s.colorBits == 16;
  MapPixels(j, [&](uint32_t v, uint32_t* out) {
    uint32_t r = (v & s.redMask) >> s.redShift, g = (v & s.greenMask) >> s.greenShift;
    uint32_t b = (v & s.blueMask) >> s.blueShift, a = (v & s.alphaMask) >> s.alphaShift;
    if (widen) {
      r = WidenTo8(r, s.redWidth);
      g = WidenTo8(g, s.greenWidth);
      b = WidenTo8(b, s.blueWidth);
      a = WidenTo8(a, s.alphaWidth);
    }
    *out = PackColorCode(&j.dest, r, g, b, a);
    return true;
  });
  return 0;
}

int CopyPaletteIndices(const CONVERT_JOB& j) {
  int largest = 0;
  for (int y = 0; y < j.height; y++) {
    const uint8_t* s = j.srcBase + (ptrdiff_t)y * j.srcPitch;
    uint8_t* d = j.destBase + (ptrdiff_t)y * j.destPitch;
    for (int x = 0; x < j.width; x++) {
      if (s[x] > largest) largest = s[x];
    }
    memmove(d, s, (size_t)j.width);
  }
  return largest;
}

int CopySameLayout(const CONVERT_JOB& j, int skipKey, uint32_t key) {
  int bytes = j.dest.bytesPerPixel;
  if (!skipKey && !j.mirror) {
    for (int y = 0; y < j.height; y++) {
      memmove(j.destBase + (ptrdiff_t)y * j.destPitch, j.srcBase + (ptrdiff_t)y * j.srcPitch, (size_t)j.width * bytes);
    }
    return 0;
  }
  uint32_t sizedKey = key & PixelSizeMask(bytes * 8);
  MapPixels(j, [&](uint32_t v, uint32_t* out) {
    *out = v;
    return !(skipKey && v == sizedKey);
  });
  return 0;
}

int SkipKeyXRGB8ToARGB8(const CONVERT_JOB& j, uint32_t key) {
  MapPixels(j, [&](uint32_t v, uint32_t* out) {
    *out = v | 0xFF000000u;
    return (v & 0xFFFFFFu) != (key & 0xFFFFFFu);
  });
  return 0;
}

int KeyToAlphaSameLayout(const CONVERT_JOB& j, uint32_t key) {
  const COLOR_FORMAT& d = j.dest;
  uint32_t keyCode = PackColorCode(&d, (key >> 16) & 0xFF, (key >> 8) & 0xFF, key & 0xFF, 255);
  uint32_t outside = j.src.colorBits == 32 ? ~(d.redMask | d.greenMask | d.blueMask) : 0;
  MapPixels(j, [&](uint32_t v, uint32_t* out) {
    *out = (v | outside) == keyCode ? v & ~d.alphaMask : v | d.alphaMask;
    return true;
  });
  return 0;
}

// 5-6-5 and 5-5-5 fields of the common pixels.
uint32_t To565(uint32_t r8, uint32_t g8, uint32_t b8) { return (r8 >> 3) << 11 | (g8 >> 2) << 5 | b8 >> 3; }
uint32_t To555(uint32_t r8, uint32_t g8, uint32_t b8) { return (r8 >> 3) << 10 | (g8 >> 3) << 5 | b8 >> 3; }
uint32_t R8(uint32_t v) { return (v >> 16) & 0xFF; }
uint32_t G8(uint32_t v) { return (v >> 8) & 0xFF; }
uint32_t B8(uint32_t v) { return v & 0xFF; }
uint32_t Widen565(uint32_t p) { return ((p >> 11) & 0x1F) << 19 | ((p >> 5) & 0x3F) << 10 | (p & 0x1F) << 3; }
uint32_t Narrow565To555(uint32_t p) { return (p >> 11 & 0x1F) << 10 | (p >> 6 & 0x1F) << 5 | (p & 0x1F); }

// The seventeen direct conversions of common pairs; false when the pair is not one of them.
bool ConvertDirect(const CONVERT_JOB& j, int keyToAlpha, bool alphaCarried, uint32_t key) {
  const COLOR_FORMAT &s = j.src, &d = j.dest;
  const COLOR_FORMAT* sp = &s;
  auto entry = [sp](uint32_t index) { return PaletteEntry(*sp, index); };
  if (!keyToAlpha) {
    if (IsPalette8(s) && IsRGB565(d)) {
      MapPixels(j, [&](uint32_t v, uint32_t* o) { uint32_t e = entry(v); *o = To565(R8(e), G8(e), B8(e)); return true; });
    } else if (IsPalette8(s) && IsX1R5G5B5(d)) {
      MapPixels(j, [&](uint32_t v, uint32_t* o) { uint32_t e = entry(v); *o = To555(R8(e), G8(e), B8(e)) | 0x8000; return true; });
    } else if (IsPalette8(s) && IsXRGB8(d)) {
      MapPixels(j, [&](uint32_t v, uint32_t* o) { *o = entry(v) | 0xFF000000u; return true; });
    } else if (IsRGB24(s) && IsRGB565(d)) {
      MapPixels(j, [&](uint32_t v, uint32_t* o) { *o = To565(R8(v), G8(v), B8(v)); return true; });
    } else if (IsRGB24(s) && IsX1R5G5B5(d)) {
      MapPixels(j, [&](uint32_t v, uint32_t* o) { *o = To555(R8(v), G8(v), B8(v)) | 0x8000; return true; });
    } else if (IsRGB24(s) && Is32BitRGB(d)) {
      MapPixels(j, [&](uint32_t v, uint32_t* o) { *o = v | 0xFF000000u; return true; });
    } else if (alphaCarried) {
      return false;
    } else if (IsXRGB8(s) && IsRGB565(d)) {
      MapPixels(j, [&](uint32_t v, uint32_t* o) { *o = To565(R8(v), G8(v), B8(v)); return true; });
    } else if (IsRGB565(s) && IsRGB24(d)) {
      MapPixels(j, [&](uint32_t v, uint32_t* o) { *o = Widen565(v); return true; });
    } else if (IsRGB565(s) && IsXRGB8(d)) {
      MapPixels(j, [&](uint32_t v, uint32_t* o) { *o = Widen565(v); return true; });
    } else if (IsRGB565(s) && IsX1R5G5B5(d)) {
      MapPixels(j, [&](uint32_t v, uint32_t* o) { *o = Narrow565To555(v); return true; });
    } else if (IsX1R5G5B5(s) && IsRGB565(d)) {
      MapPixels(j, [&](uint32_t v, uint32_t* o) {
        uint32_t g5 = (v >> 5) & 0x1F;
        *o = ((v >> 10) & 0x1F) << 11 | (g5 << 1 | (g5 & 1)) << 5 | (v & 0x1F);
        return true;
      });
    } else {
      return false;
    }
    return true;
  }
  if (IsPalette8(s) && IsA1R5G5B5(d)) {
    MapPixels(j, [&](uint32_t v, uint32_t* o) {
      uint32_t e = entry(v);
      *o = To555(R8(e), G8(e), B8(e)) | (e == key ? 0 : 0x8000);
      return true;
    });
  } else if (IsPalette8(s) && IsARGB8(d)) {
    MapPixels(j, [&](uint32_t v, uint32_t* o) { uint32_t e = entry(v); *o = e == key ? e : e | 0xFF000000u; return true; });
  } else if (IsRGB24(s) && IsA1R5G5B5(d)) {
    MapPixels(j, [&](uint32_t v, uint32_t* o) { *o = To555(R8(v), G8(v), B8(v)) | (v == key ? 0 : 0x8000); return true; });
  } else if (IsRGB24(s) && IsARGB8(d)) {
    MapPixels(j, [&](uint32_t v, uint32_t* o) { *o = v | (v == key ? 0 : 0xFF000000u); return true; });
  } else if (IsRGB565(s) && IsA1R5G5B5(d)) {
    uint32_t key555 = To555(R8(key), G8(key), B8(key));
    MapPixels(j, [&](uint32_t v, uint32_t* o) {
      uint32_t p = Narrow565To555(v);
      *o = p | (p == key555 ? 0 : 0x8000);
      return true;
    });
  } else if (IsRGB565(s) && IsARGB8(d)) {
    uint32_t key565 = To565(R8(key), G8(key), B8(key));
    MapPixels(j, [&](uint32_t v, uint32_t* o) { *o = Widen565(v) | (v == key565 ? 0 : 0xFF000000u); return true; });
  } else {
    return false;
  }
  return true;
}

// One channel of the general conversion: where its field sits on each side and how the
// dropped bits of a narrowed field are dithered.
struct CHANNEL {
  int srcWidth, destWidth, destShift;
  uint32_t destMask;
  int dropped;  // source bits lost by narrowing, 0 when widened or equal
  uint32_t threshold[16];
  uint32_t remainder;
};

const uint8_t kBayer4x4[16] = {0, 8, 2, 10, 12, 4, 14, 6, 3, 11, 1, 9, 15, 7, 13, 5};

void PrepareChannel(CHANNEL* c, int srcWidth, int destWidth, int destShift, uint32_t destMask) {
  c->srcWidth = srcWidth;
  c->destWidth = destWidth;
  c->destShift = destShift;
  c->destMask = destMask;
  c->dropped = srcWidth > destWidth ? srcWidth - destWidth : 0;
  c->remainder = 0;
  for (int i = 0; i < 16; i++) c->threshold[i] = (uint32_t)(((1ull << c->dropped) * kBayer4x4[i]) >> 4);
}

// Adds the dither step to a destination field and clamps it to the field's range.
uint32_t DitherField(CHANNEL* c, uint32_t field, uint32_t lostBits, int mode, int cell) {
  if (c->dropped > 0 && mode == DITHER_ORDERED) {
    if (lostBits > c->threshold[cell]) field++;
  } else if (c->dropped > 0 && mode == DITHER_REMAINDER) {
    c->remainder += lostBits;
    if (c->remainder >= (1u << c->dropped)) field++;
    c->remainder &= (1u << c->dropped) - 1;
  }
  uint32_t maximum = c->destMask >> c->destShift;
  return field > maximum ? maximum : field;
}

int ConvertGeneral(const CONVERT_JOB& j, bool alphaFromImage, int keyToAlpha, uint32_t key, int ditherMode,
                   int clearColor, int alphaFromRed, int skipKey) {
  const COLOR_FORMAT &s = j.src, &d = j.dest, &am = j.alpha;
  bool destHasAlpha = d.alphaWidth != 0;
  bool widthsDiffer = s.redWidth != d.redWidth || s.greenWidth != d.greenWidth ||
                      (alphaFromImage && am.redWidth != d.alphaWidth);
  uint32_t srcMasks = s.redMask | s.greenMask | s.blueMask | s.alphaMask;
  uint32_t keyR = 0, keyG = 0, keyB = 0;
  if (!keyToAlpha) {
    key &= PixelSizeMask(s.colorBits >= 32 ? 32 : s.colorBits);
    if (s.colorBits > 8) key &= srcMasks;
  } else {
    uint32_t packed = PackColorCode(&s, (key >> 16) & 0xFF, (key >> 8) & 0xFF, key & 0xFF, 255);
    uint32_t fields = IsPalette8(s) ? PaletteEntry(s, packed) : packed;
    keyR = (fields & s.redMask) >> s.redShift;
    keyG = (fields & s.greenMask) >> s.greenShift;
    keyB = (fields & s.blueMask) >> s.blueShift;
  }
  int alphaSrcWidth = alphaFromImage ? am.redWidth : s.alphaWidth;
  CHANNEL red, green, blue, alpha;
  PrepareChannel(&red, s.redWidth, d.redWidth, d.redShift, d.redMask);
  PrepareChannel(&green, s.greenWidth, d.greenWidth, d.greenShift, d.greenMask);
  PrepareChannel(&blue, s.blueWidth, d.blueWidth, d.blueShift, d.blueMask);
  PrepareChannel(&alpha, alphaSrcWidth, d.alphaWidth, d.alphaShift, d.alphaMask);
  uint32_t fullAlpha = d.alphaMask >> d.alphaShift;
  uint32_t destMasks = d.redMask | d.greenMask | d.blueMask | d.alphaMask;
  int sb = s.bytesPerPixel, db = d.bytesPerPixel, ab = am.bytesPerPixel;
  bool srcPalette = s.colorBits == 8;

  for (int y = 0; y < j.height; y++) {
    const uint8_t* sRow = j.srcBase + (ptrdiff_t)y * j.srcPitch;
    const uint8_t* aRow = alphaFromImage ? j.alphaBase + (ptrdiff_t)y * j.alphaPitch : nullptr;
    uint8_t* dRow = j.destBase + (ptrdiff_t)y * j.destPitch;
    for (int x = 0; x < j.width; x++) {
      uint32_t v = ReadPixel(sRow + x * sb, sb);
      // The skip key is a raw source pixel: for a palette source, its index.
      if (skipKey && (srcPalette ? v : v & srcMasks) == key) continue;
      if (srcPalette) v = PaletteEntry(s, v);
      uint32_t r = (v & s.redMask) >> s.redShift;
      uint32_t g = (v & s.greenMask) >> s.greenShift;
      uint32_t b = (v & s.blueMask) >> s.blueShift;
      uint32_t a, aSource = 0;  // aSource: the field the alpha was rescaled from, for dithering
      if (destHasAlpha && keyToAlpha) {
        a = (r == keyR && g == keyG && b == keyB) ? 0 : fullAlpha;
      } else if (alphaFromImage) {
        uint32_t av = ReadPixel(aRow + x * ab, ab);
        if (am.colorBits == 8) av = PaletteEntry(am, av);
        aSource = (av & am.redMask) >> am.redShift;
        a = widthsDiffer ? RescaleField(aSource, am.redWidth, d.alphaWidth) : aSource;
      } else if (s.alphaWidth == 0) {
        a = fullAlpha;
      } else if (!destHasAlpha) {
        a = 0;
      } else {
        aSource = (v & s.alphaMask) >> s.alphaShift;
        a = widthsDiffer ? RescaleField(aSource, s.alphaWidth, d.alphaWidth) : aSource;
      }
      if (alphaFromRed) {
        a = r;
        aSource = 0;
      }
      uint32_t rOut = r, gOut = g, bOut = b;
      if (widthsDiffer) {
        rOut = RescaleField(r, s.redWidth, d.redWidth);
        gOut = RescaleField(g, s.greenWidth, d.greenWidth);
        bOut = RescaleField(b, s.blueWidth, d.blueWidth);
      }
      if (clearColor) rOut = gOut = bOut = 0;
      // An alpha with no destination field must not spill into the colour bits.
      uint32_t value = rOut << d.redShift | gOut << d.greenShift | bOut << d.blueShift |
                       ((a << d.alphaShift) & d.alphaMask);
      if (widthsDiffer) {
        int cell = (x & 3) + 4 * (y & 3);
        auto lost = [](const CHANNEL& c, uint32_t field) { return c.dropped ? field & ((1u << c.dropped) - 1) : 0u; };
        uint32_t rf = DitherField(&red, (value & d.redMask) >> d.redShift, lost(red, r), ditherMode, cell);
        uint32_t gf = DitherField(&green, (value & d.greenMask) >> d.greenShift, lost(green, g), ditherMode, cell);
        uint32_t bf = DitherField(&blue, (value & d.blueMask) >> d.blueShift, lost(blue, b), ditherMode, cell);
        uint32_t af = (value & d.alphaMask) >> d.alphaShift;
        if (d.alphaWidth != 0) af = DitherField(&alpha, af, lost(alpha, aSource), ditherMode, cell);
        value = (value & ~destMasks) | rf << d.redShift | gf << d.greenShift | bf << d.blueShift |
                ((af << d.alphaShift) & d.alphaMask);
      }
      if (db == 2 || db == 4) value |= d.unusedMask;
      int dx = j.mirror ? j.width - 1 - x : x;
      WritePixel(dRow + dx * db, db, value);
    }
  }
  return 0;
}
}  // namespace

int ConvertPixelRect(void* destPixels, int destPitch, const COLOR_FORMAT* destFormat, const void* srcPixels,
                     int srcPitch, const COLOR_FORMAT* srcFormat, const void* alphaPixels, int alphaPitch,
                     const COLOR_FORMAT* alphaFormat, int destX, int destY, const RECT* srcRect, int mirror,
                     int keyToAlpha, unsigned keyColor, int ditherMode, int clearColor, int alphaFromRed,
                     int skipKey, int paletteRemap) {
  CONVERT_JOB j;
  j.dest = *destFormat;
  j.src = *srcFormat;
  if (alphaFormat != nullptr) j.alpha = *alphaFormat;
  else memset(&j.alpha, 0, sizeof(j.alpha));
  const COLOR_FORMAT &d = j.dest, &s = j.src;

  bool destHasAlpha = d.alphaWidth != 0;
  bool alphaGiven = alphaPixels != nullptr;
  bool alphaCarried = destHasAlpha && (alphaGiven || s.alphaWidth != 0);
  bool alphaFromImage = destHasAlpha && alphaGiven && s.alphaWidth == 0;
  if (alphaCarried || !destHasAlpha || alphaFromRed) keyToAlpha = 0;
  if (mirror) skipKey = 0;

  j.width = srcRect->right - srcRect->left;
  j.height = srcRect->bottom - srcRect->top;
  if (j.width <= 0 || j.height <= 0) return -1;
  j.mirror = mirror;
  j.destPitch = destPitch;
  j.srcPitch = srcPitch;
  j.alphaPitch = alphaPitch;
  j.destBase = (uint8_t*)destPixels + (ptrdiff_t)destY * destPitch + (ptrdiff_t)destX * d.bytesPerPixel;
  j.srcBase = (const uint8_t*)srcPixels + (ptrdiff_t)srcRect->top * srcPitch + (ptrdiff_t)srcRect->left * s.bytesPerPixel;
  j.alphaBase = alphaGiven ? (const uint8_t*)alphaPixels + (ptrdiff_t)srcRect->top * alphaPitch +
                                 (ptrdiff_t)srcRect->left * j.alpha.bytesPerPixel
                           : nullptr;

  // 1. Palette remap between two different palettes.
  if (paletteRemap && s.bytesPerPixel == 1 && d.bytesPerPixel == 1 && !mirror &&
      memcmp(s.palette, d.palette, sizeof(s.palette)) != 0) {
    return RemapPalette(j);
  }
  // 2. Into a palette from a deeper source.
  if (d.colorBits == 8 && s.colorBits != 8 && !alphaFromRed && !mirror) return ConvertIntoPalette(j);
  // 3. Palette indices copied as they are.
  if (d.colorBits == 8 && !clearColor && !alphaFromRed && !skipKey && !mirror) return CopyPaletteIndices(j);
  bool sameColorMasks = d.colorBits == s.colorBits && d.redMask == s.redMask && d.greenMask == s.greenMask &&
                        d.blueMask == s.blueMask;
  // 4. Same layout: rows copied.
  if (!keyToAlpha && !alphaFromImage && !clearColor && !alphaFromRed && sameColorMasks && d.alphaMask == s.alphaMask) {
    return CopySameLayout(j, skipKey, keyColor);
  }
  // 5. Skip-key: the one fast pair, else the general conversion.
  if (skipKey) {
    if (!keyToAlpha && !ditherMode && !clearColor && !alphaFromRed && !alphaCarried && IsXRGB8(s) && IsARGB8(d)) {
      return SkipKeyXRGB8ToARGB8(j, keyColor);
    }
    return ConvertGeneral(j, alphaFromImage, keyToAlpha, keyColor, ditherMode, clearColor, alphaFromRed, skipKey);
  }
  // 6. Key to alpha between equal colour layouts.
  if (destHasAlpha && keyToAlpha && !clearColor && !alphaFromRed && sameColorMasks) {
    return KeyToAlphaSameLayout(j, keyColor);
  }
  // 7. Direct conversions of common pairs.
  if (!ditherMode && !clearColor && !alphaFromRed && !mirror && !alphaGiven &&
      ConvertDirect(j, keyToAlpha, alphaCarried, keyColor)) {
    return 0;
  }
  // 8. General conversion.
  return ConvertGeneral(j, alphaFromImage, keyToAlpha, keyColor, ditherMode, clearColor, alphaFromRed, skipKey);
}
