#include "font/text_draw.h"

#include <cstdarg>

#include "core/log.h"
#include "core/maths.h"
#include "font/font_screen.h"
#include "font/glyph_cache.h"
#include "font/text_layout.h"
#include "graphics/draw/draw2d.h"
#include "graphics/device/draw_settings.h"
#include "graphics/draw/mask.h"
#include "graphics/software/software_draw.h"
#include "graphics/software/software_screen.h"
#include "image/memimg_draw_state.h"
#include "softrender/softrender.h"
#include "system/base/pump.h"

namespace {
enum { FORMATTED_TEXT_BYTES = 2048 };

struct TEXT_DRAW_STATE {
  char formatted[FORMATTED_TEXT_BYTES];
};
TEXT_DRAW_STATE TextDrawState;
}  // namespace

int DrawTextFromTextureCache(HANDLE_VALUE handle, int x, int y, const char* text, unsigned int color,
                             unsigned int edgeColor, int vertical) {
  RebuildFontCacheTexture(handle, 0);
  LayoutAndDrawText(1, x, y, 0, 1.0, 1.0, text, color, nullptr, nullptr, 1, handle, edgeColor, -1, vertical, nullptr);
  return 0;
}

int DrawTextFromMemoryCache(HANDLE_VALUE handle, int x, int y, const char* text, unsigned int color,
                            unsigned int edgeColor, int vertical) {
  FONT_RECORD* font = GetFontRecord(handle);
  MEMIMG* target = SoftwareTarget;
  if (font == nullptr || !IsMemImgValid(target)) return 0;
  int size[2] = {0, 0};
  if (LayoutAndDrawText(0, x, y, 0, 1.0, 1.0, text, color, nullptr, nullptr, 1, handle, edgeColor, -1, vertical,
                        size) < 0)
    return 0;
  const int antialiased = font->fontType >= 2;
  const int mode = DrawSettings.blendMode, param = DrawSettings.blendParam;
  if (!antialiased && (mode == 0 || (mode == 1 && param == 255))) {
    // Glyph pixels replace what is under them: written straight into the target.
    LayoutAndDrawText(1, x, y, 0, 1.0, 1.0, text, color, target, &DrawSettings.drawArea, 1, handle, edgeColor, -1,
                      vertical, nullptr);
    return 0;
  }
  // Blended text: drawn into a work image, which is then blitted under the blend mode, with
  // the brightness already in the glyph colours and the draw area narrowed to the text's
  // rectangle. The line's move by half the top offset is made by the blit, so that no row
  // (vertical: column) of the line falls off the work image's edge.
  MEMIMG* work = GetScreenWorkMemImg(antialiased);
  if (!IsMemImgValid(work) || size[0] <= 0 || size[1] <= 0) return 0;
  MEMIMG_STORE* store = work->store;
  if (antialiased) {
    store->transparentColor = 0;
  } else {
    TEXT_COLOR textColor, edge;
    ScaleTextColor(color, DrawSettings.brightness, &textColor);
    ScaleTextColor(edgeColor, DrawSettings.brightness, &edge);
    uint32_t mask = GetMemImgPixelBytes(store) == 2 ? 0xFFFFu : 0xFFFFFFFFu;
    while ((store->transparentColor & mask) == (textColor.packed & mask) ||
           (store->transparentColor & mask) == (edge.packed & mask))
      store->transparentColor = (store->transparentColor + 1) & mask;
  }
  const RECT box = {0, 0, size[0], size[1]};
  FillMemImgRectRaw(work, &box, store->transparentColor);
  const int half = font->topOffset / 2;
  LayoutAndDrawText(1, vertical ? half : 0, vertical ? 0 : half, 0, 1.0, 1.0, text, color, work, &box, 1, handle,
                    edgeColor, -1, vertical, nullptr);
  if (vertical) x -= half;
  else y -= half;

  const DWORD savedBrightness = DrawSettings.brightness;
  const RECT savedClip = MemImgDrawState.clipRect;
  RECT narrowed = {x, y, x + size[0], y + size[1]};
  ClipRectToRect(&narrowed, &DrawSettings.drawArea);
  SetDrawBrightPacked(0xFFFFFF);
  SetMemImgClipRect(&narrowed);
  if (narrowed.right > narrowed.left && narrowed.bottom > narrowed.top) MEMIMGBlit(target, work, x, y, 1, nullptr);
  SetMemImgClipRect(&savedClip);
  SetDrawBrightPacked(savedBrightness);
  return 0;
}

int DrawTextWithFont(int x, int y, const char* text, unsigned int color, int handle, unsigned int edgeColor,
                     int vertical) {
  if (text == nullptr || text[0] == 0 || IsFontDrawingSuppressed()) return 0;
  FONT_RECORD* font = GetFontRecord(handle);
  if (font == nullptr) {
    WriteLogText("フォントハンドル値が異常です\n");
    return -1;
  }
  WaitWhileInactive();
  auto draw = [&]() {
    if (font->textureCache) return DrawTextFromTextureCache(handle, x, y, text, color, edgeColor, vertical);
    return DrawTextFromMemoryCache(handle, x, y, text, color, edgeColor, vertical);
  };
  const int emulate = NeedsSubtractEmulation(font->textureCache);
  if (!emulate && !IsMaskDrawingEnabled()) return draw();
  // The rectangle the text can touch, up to the draw area's far edge: the line moved up (or
  // left) by half the top offset, as tall as the font's cell or line, whichever is more.
  const RECT& area = DrawSettings.drawArea;
  int half = font->topOffset / 2;
  int depth = font->size + 3 > font->charHeight ? font->size + 3 : font->charHeight;
  RECT affected = vertical ? RECT{x - half, y, x - half + depth, area.bottom} : RECT{x, y - half, area.right, y - half + depth};
  if (affected.left >= area.right) return 0;
  RunMaskedAndEmulated(affected, emulate, draw);
  return 0;
}

int DrawFormattedText(int x, int y, unsigned int color, const char* format, ...) {
  va_list args;
  va_start(args, format);
  FormatTextForDrawing(TextDrawState.formatted, FORMATTED_TEXT_BYTES, format != nullptr ? format : "", args);
  va_end(args);
  RefreshDefaultFont();
  return DrawTextWithFont(x, y, TextDrawState.formatted, color, GetDefaultFontHandle(), 0, 0);
}
