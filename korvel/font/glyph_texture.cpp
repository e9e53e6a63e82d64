#include "font/glyph_texture.h"

#include "font/glyph_cache.h"

// The cache texture needs graph handles; until they exist every font keeps its glyphs in
// memory (the texture-cache flag is never set).
int CreateFontCacheTexture(FONT_RECORD*) { return -1; }
void ReleaseFontCacheTexture(FONT_RECORD* font) {
  font->cacheGraph = -1;
  font->edgeGraph = -1;
}
int RebuildFontCacheTexture(HANDLE_VALUE handle, int acceptPending) {
  return GetFontRecordEx(handle, acceptPending) != nullptr ? 0 : -1;
}
void ClearTextureCell(FONT_RECORD*, int) {}
void WriteGlyphToTextureCell(FONT_RECORD*, int, const GLYPH_IMAGE*, int, int* outWidth, int* outHeight) {
  *outWidth = *outHeight = 0;
}
