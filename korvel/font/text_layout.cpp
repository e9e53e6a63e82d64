#include "font/text_layout.h"

#include "core/log.h"
#include "core/maths.h"
#include "core/memory.h"
#include "core/strings.h"
#include "font/font_screen.h"
#include "font/glyph_cache.h"
#include "font/glyph_draw.h"
#include "font/glyph_texture.h"
#include "graphics/device/draw_settings.h"
#include "graphics/draw/draw_target.h"
#include "korvel.h"

namespace {
enum { STATIC_TEXT_BYTES = 256 };

struct TEXT_LAYOUT_STATE {
  GLYPH_CHAR characters[STATIC_TEXT_BYTES];
};
TEXT_LAYOUT_STATE LayoutState;

int IsSpace(const GLYPH_CHAR* c) { return (c->lead == 0x20 && c->trail == 0) || (c->lead == 0x81 && c->trail == 0x40); }

void SelectTint(unsigned int tint) { SelectDrawBrightness(tint >> 16 & 0xFF, tint >> 8 & 0xFF, tint & 0xFF); }

// A cache graph's glyph cell (cellX, cellY, w x h) at dest. Horizontal: the cell as a region.
// Vertical: the whole cache graph as a quad turned a quarter clockwise and placed so that the
// cell lands on dest, under a draw area narrowed to dest (corners moved by -0.5 pixel).
void DrawGlyphCell(int graph, int cellX, int cellY, int w, int h, const RECT& dest, int vertical) {
  if (!vertical) {
    DrawGraphRegion(dest.left, dest.top, cellX, cellY, w, h, graph, 1, 0);
    return;
  }
  int graphWidth = 0, graphHeight = 0;
  if (GetGraphOrScreenSize(graph, &graphWidth, &graphHeight) != 0) return;
  RECT area = DrawSettings.drawArea, requested = DrawSettings.requestedArea, narrowed = dest;
  ClipRectToRect(&narrowed, &area);
  if (narrowed.left >= narrowed.right || narrowed.top >= narrowed.bottom) return;
  SetDrawClipArea(narrowed.left, narrowed.top, narrowed.right, narrowed.bottom);
  // Graph point (u, v) goes to (x0 + graphHeight - v, y0 + u).
  float x0 = (float)(dest.left - graphHeight + cellY + h) - 0.5f, y0 = (float)(dest.top - cellX) - 0.5f;
  float right = x0 + (float)graphHeight, bottom = y0 + (float)graphWidth;
  DrawGraphQuad(graph, right, y0, right, bottom, x0, bottom, x0, y0, 1, 0);
  SetDrawClipArea(area.left, area.top, area.right, area.bottom);
  StoreRequestedDrawArea(requested);
}

// One glyph from the texture cache at dest: the edge graph's cell first (edged types) tinted
// with the edge colour, then the glyph's cell tinted with the text colour, drawn transparent
// with the blend graph switched off. The draw brightness and the blend graph come back after
// the glyph.
void DrawTextureGlyph(const FONT_RECORD* font, const GLYPH_CACHE_SLOT* slot, const RECT& dest, const TEXT_COLOR& text,
                      const TEXT_COLOR& edge, int vertical) {
  int cellX = 0, cellY = 0;
  GetCellCorner(font, slot->cellIndex, &cellX, &cellY);
  cellX += 1;  // the cell's one-texel margin
  cellY += 1;
  DWORD brightness = DrawSettings.brightness;
  int blendGraph = SwapBlendGraph(-1);
  if ((font->fontType & FONT_TYPE_EDGE) && font->edgeGraph != -1) {
    SelectTint(edge.tint);
    DrawGlyphCell(font->edgeGraph, cellX, cellY, slot->width, slot->height, dest, vertical);
  }
  SelectTint(text.tint);
  DrawGlyphCell(font->cacheGraph, cellX, cellY, slot->width, slot->height, dest, vertical);
  SelectTint(brightness);
  SwapBlendGraph(blendGraph);
}
}  // namespace

void ScaleTextColor(unsigned int color, unsigned int brightness, TEXT_COLOR* out) {
  int rgb[3];
  UnpackScreenColor(color, &rgb[0], &rgb[1], &rgb[2]);
  int scale[3] = {(int)(brightness >> 16 & 0xFF), (int)(brightness >> 8 & 0xFF), (int)(brightness & 0xFF)};
  for (int i = 0; i < 3; i++) rgb[i] = rgb[i] * scale[i] / 255;
  out->packed = PackScreenColor(rgb[0], rgb[1], rgb[2]) & ~PackScreenColor(0, 0, 0);
  out->tint = 0xFF000000u | (unsigned)rgb[0] << 16 | (unsigned)rgb[1] << 8 | (unsigned)rgb[2];
}

void PlaceGlyph(int x, int y, double pen, const GLYPH_CACHE_SLOT* slot, int charHeight, int vertical, RECT* out) {
  int p = (int)pen;
  if (!vertical) {
    out->left = x + p + slot->offsetX;
    out->top = y + slot->offsetY;
    out->right = out->left + slot->width;
    out->bottom = out->top + slot->height;
    return;
  }
  out->left = x + charHeight - slot->offsetY - slot->height;
  out->right = x + charHeight - slot->offsetY;
  out->top = y + p + slot->offsetX;
  out->bottom = out->top + slot->width;
}

int LayoutAndDrawText(int draw, int x, int y, int scaled, double scaleX, double scaleY, const char* text,
                      unsigned int color, MEMIMG* target, const RECT* clip, int transparent, HANDLE_VALUE handle,
                      unsigned int edgeColor, int byteCount, int vertical, int sizeOut[2]) {
  FONT_RECORD* font = GetFontRecord(handle);
  if (font == nullptr || !IsFontDisplayUp() || (draw && IsFontDrawingSuppressed())) return -1;
  // Scaled placement is a measuring matter here: glyphs are always drawn at their size.
  if (draw || !font->textureCache) scaleX = scaleY = 1.0;
  int shift = -((int)(font->topOffset * scaleY) / 2);
  if (vertical) x += shift;
  else y += shift;
  TEXT_COLOR textColor, edge;
  ScaleTextColor(color, DrawSettings.brightness, &textColor);
  ScaleTextColor(edgeColor, DrawSettings.brightness, &edge);
  if (text == nullptr || text[0] == 0) return 0;

  int length = GetStringLength(text);
  if (byteCount < 0 || byteCount > length) byteCount = length;
  GLYPH_CHAR* characters = LayoutState.characters;
  GLYPH_CHAR* block = nullptr;
  if (byteCount > STATIC_TEXT_BYTES) {
    block = (GLYPH_CHAR*)AllocTracked((size_t)byteCount * sizeof(GLYPH_CHAR), "", 0);
    if (block == nullptr) return -1;
    characters = block;
  }
  int count = 0;
  if (CacheTextGlyphs(byteCount, text, handle, characters, &count) == -1) {
    FreeTracked(block);
    return -1;
  }

  double scale = vertical ? scaleY : scaleX;
  double pen = 0.0;
  for (int i = 0; i < count; i++) {
    GLYPH_CACHE_SLOT* slot = FindGlyphSlot(font, &characters[i]);
    if (slot == nullptr) {
      if (RasterizeGlyphsToCache(handle, 1, &characters[i]) == nullptr) {
        AddLogLineFormat("%s", "テキストキャッシュの作成に失敗しました");
        FreeTracked(block);
        return -1;
      }
      // A glyph GDI cannot give is left out.
      slot = FindGlyphSlot(font, &characters[i]);
      if (slot == nullptr) continue;
    }
    if (draw && !IsSpace(&characters[i]) && slot->width > 0 && slot->height > 0) {
      RECT dest;
      PlaceGlyph(x, y, pen, slot, font->charHeight, vertical, &dest);
      if (!font->textureCache && target != nullptr)
        WriteGlyphToMemImg(font, slot, &dest, clip, vertical, target, textColor.packed, edge.packed, transparent);
      else if (font->textureCache)
        DrawTextureGlyph(font, slot, dest, textColor, edge, vertical);
    }
    pen += (slot->advance + font->spacing) * scale;
  }
  FreeTracked(block);

  int advance = (int)pen;
  if (sizeOut != nullptr) {
    sizeOut[0] = vertical ? font->charHeight : advance;
    sizeOut[1] = vertical ? advance : font->charHeight;
  }
  return advance;
}

int FormatTextForDrawing(char* buffer, int size, const char* format, va_list args) {
  if (size <= 0) return 0;
  FormatStringV(buffer, (size_t)size, format, args);
  int length = GetStringLength(buffer);
  // A cut may have kept a lead byte without its trail: walk the characters and drop it.
  int code = GetCharSetCode();
  int i = 0;
  while (i < length) {
    if (IsDoubleByteLead((unsigned char)buffer[i], code)) {
      if (i + 1 >= length) {
        buffer[i] = 0;
        return i;
      }
      i += 2;
    } else {
      i += 1;
    }
  }
  return length;
}
