#include "font/text_draw.h"

#include <cstdarg>

#include "core/log.h"
#include "font/font_screen.h"
#include "font/glyph_cache.h"
#include "font/text_layout.h"
#include "system/pump.h"

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
  LayoutAndDrawText(1, x, y, 0, 1.0, 1.0, text, color, nullptr, nullptr, 1, handle, edgeColor, -1, vertical, nullptr);
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
  if (font->textureCache) DrawTextFromTextureCache(handle, x, y, text, color, edgeColor, vertical);
  else DrawTextFromMemoryCache(handle, x, y, text, color, edgeColor, vertical);
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
