#include "font/glyph_cache.h"

#include <cstring>

#include "core/log.h"
#include "core/memory.h"
#include "core/strings.h"
#include "font/font_metrics.h"
#include "font/font_screen.h"
#include "font/glyph_raster.h"
#include "font/glyph_texture.h"

namespace {
enum { STATIC_TEXT_BYTES = 256 };

// The character and queue arrays of strings up to 256 bytes.
struct GLYPH_CACHE_STATE {
  GLYPH_CHAR characters[STATIC_TEXT_BYTES];
  GLYPH_CHAR queue[STATIC_TEXT_BYTES];
};
GLYPH_CACHE_STATE CacheState;

int CodeOf(const GLYPH_CHAR* c) { return c->lead | (c->trail << 8); }

int MinInt(int a, int b) { return a < b ? a : b; }

// Writes a glyph (with its edge planes when e > 0) into its memory-cache cell, clipped to the
// cell; gives the written size.
void WriteGlyphToMemoryCell(FONT_RECORD* font, int cell, const GLYPH_IMAGE* glyph, int e, int* outWidth,
                            int* outHeight) {
  GLYPH_PLANES planes = MakeGlyphPlanes(glyph, e, 0, EDGE_GATHER_MAX);
  const int w = planes.width, h = planes.height;
  const unsigned char *glyphPlane = planes.glyph, *edgePlane = planes.edge;
  int cw = MinInt(w, font->cellSize), ch = MinInt(h, font->cellSize);
  unsigned char* top = font->memoryCache + (size_t)cell * font->cellSize * font->memoryPitch;
  for (int y = 0; y < ch; y++) {
    unsigned char* row = top + (size_t)y * font->memoryPitch;
    for (int x = 0; x < cw; x++) {
      int v = glyphPlane[y * w + x];
      int a = edgePlane != nullptr ? edgePlane[y * w + x] : 0;
      if (font->memoryBits == 1) {
        if (v) row[x >> 3] |= (unsigned char)(0x80 >> (x & 7));
      } else if (font->fontType == 1) {
        row[x] = v ? 1 : (a ? 2 : 0);
      } else {
        row[x] = (unsigned char)(((a > 0 ? a - 1 : 0) << 4) | (v > 0 ? v - 1 : 0));
      }
    }
  }
  FreeGlyphPlanes(&planes);
  *outWidth = cw;
  *outHeight = ch;
}

void ClearMemoryCell(FONT_RECORD* font, int cell) {
  size_t rowBytes = (size_t)font->cellSize * font->memoryPitch;
  memset(font->memoryCache + (size_t)cell * rowBytes, 0, rowBytes);
}

// The grey range of a font's glyphs: one bit for the plain types, 65 levels with a 32-bit
// cache texture, else 17.
int GlyphLevels(const FONT_RECORD* font) {
  if (font->fontType == 0 || font->fontType == 1) return 1;
  return (font->textureCache && font->cacheGraph != -1 && font->cacheBits == 32) ? 64 : 16;
}
}  // namespace

void ClearGlyphCacheOf(FONT_RECORD* font) {
  memset(font->codes, 0, sizeof(font->codes));
  memset(font->slots, 0, sizeof(font->slots));
  for (int i = 0; i < font->capacity; i++) font->slots[i].cellIndex = i;
  font->slots[font->capacity].cellIndex = -1;
  font->nextSlot = 0;
}

int ClearGlyphCache(HANDLE_VALUE handle, int acceptPending) {
  FONT_RECORD* font = GetFontRecordEx(handle, acceptPending);
  if (font == nullptr) return -1;
  ClearGlyphCacheOf(font);
  return 0;
}

GLYPH_CACHE_SLOT* FindGlyphSlot(FONT_RECORD* font, const GLYPH_CHAR* character) {
  GLYPH_CODE_ENTRY* entry = &font->codes[CodeOf(character)];
  return entry->cached ? entry->slot : nullptr;
}

int SplitTextCharacters(const char* text, int byteCount, int charSetIndex, GLYPH_CHAR* out) {
  int count = 0;
  for (int i = 0; i < byteCount;) {
    unsigned char lead = (unsigned char)text[i];
    unsigned char trail = 0;
    if (IsDoubleByteLead(lead, charSetIndex) && i + 1 < byteCount && text[i + 1] != 0) {
      trail = (unsigned char)text[i + 1];
      i += 2;
    } else {
      i += 1;
    }
    out[count].lead = lead;
    out[count].trail = trail;
    out[count].zero = 0;
    count++;
  }
  return count;
}

int CacheTextGlyphs(int byteCount, const char* text, HANDLE_VALUE handle, GLYPH_CHAR* characters, int* characterCount) {
  FONT_RECORD* font = GetFontRecord(handle);
  if (font == nullptr || text == nullptr) return -1;
  int length = GetStringLength(text);
  if (byteCount < 0 || byteCount > length) byteCount = length;

  GLYPH_CHAR* split = CacheState.characters;
  GLYPH_CHAR* queue = CacheState.queue;
  void* block = nullptr;
  if (byteCount > STATIC_TEXT_BYTES) {
    block = AllocTracked((size_t)byteCount * sizeof(GLYPH_CHAR) * 2, "", 0);
    if (block == nullptr) return -1;
    split = (GLYPH_CHAR*)block;
    queue = split + byteCount;
  }
  if (characters != nullptr) split = characters;
  int count = SplitTextCharacters(text, byteCount, font->charSetIndex, split);

  int queued = 0;
  for (int i = 0; i < count; i++) {
    GLYPH_CODE_ENTRY* entry = &font->codes[CodeOf(&split[i])];
    if (entry->cached || queued >= font->capacity) continue;
    entry->cached = 1;  // queued once, however often it repeats
    queue[queued++] = split[i];
  }
  for (int i = 0; i < queued; i++) font->codes[CodeOf(&queue[i])].cached = 0;
  if (queued > 0) RasterizeGlyphsToCache(handle, queued, queue);

  if (characterCount != nullptr) *characterCount = count;
  FreeTracked(block);
  return 0;
}

GLYPH_CACHE_SLOT* RasterizeGlyphsToCache(HANDLE_VALUE handle, int count, const GLYPH_CHAR* characters) {
  FONT_RECORD* font = GetFontRecord(handle);
  if (font == nullptr || !IsFontDisplayUp() || IsFontDrawingSuppressed() || font->capacity <= 0) return nullptr;
  HDC dc = CreateCompatibleDC(nullptr);
  HGDIOBJ old = dc != nullptr ? SelectObject(dc, font->font) : nullptr;
  if (dc == nullptr || old == nullptr || old == HGDI_ERROR)
    ExitWithFatalError("テキストキャッシュサーフェスのＤＣの取得に失敗しました");
  TEXTMETRICA metrics;
  GetTextMetricsA(dc, &metrics);
  int e = (font->fontType & FONT_TYPE_EDGE) ? font->edgeSize : 0;
  int levels = GlyphLevels(font);
  GLYPH_CACHE_SLOT* last = nullptr;

  for (int i = 0; i < count; i++) {
    GLYPH_CACHE_SLOT* slot = &font->slots[font->nextSlot];
    if (slot->inUse) {
      // Cells are reused in turn, the oldest first.
      slot->codeEntry->cached = 0;
      slot->codeEntry->slot = nullptr;
      slot->codeEntry = nullptr;
      slot->inUse = 0;
    }
    int cell = slot->cellIndex;
    if (font->textureCache) ClearTextureCell(font, cell);
    else ClearMemoryCell(font, cell);

    GLYPH_IMAGE glyph;
    if (FetchGlyphImage(dc, &metrics, font->fontType, levels, characters[i].lead, characters[i].trail, &glyph) == -1)
      continue;
    int width = 0, height = 0;
    if (glyph.width > 0 && glyph.height > 0) {
      if (font->textureCache) WriteGlyphToTextureCell(font, cell, &glyph, e, &width, &height);
      else WriteGlyphToMemoryCell(font, cell, &glyph, e, &width, &height);
    }
    FreeTracked(glyph.pixels);

    slot->offsetX = (short)glyph.offsetX;
    slot->offsetY = (short)glyph.offsetY;
    slot->advance = (short)(glyph.advance + 2 * e);
    slot->width = (short)width;
    slot->height = (short)height;
    GLYPH_CODE_ENTRY* entry = &font->codes[CodeOf(&characters[i])];
    entry->cached = 1;
    entry->slot = slot;
    slot->codeEntry = entry;
    slot->inUse = 1;
    last = slot;
    font->nextSlot++;
    if (font->nextSlot >= font->capacity) font->nextSlot = 0;
  }
  SelectObject(dc, old);
  DeleteDC(dc);
  return last != nullptr ? last : &font->slots[font->nextSlot];
}
