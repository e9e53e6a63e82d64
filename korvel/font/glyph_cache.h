// The glyph cache of a font: cells reused in turn, the character split of a string, and the
// writing of fetched glyphs into the cache texture or the memory cache.
#pragma once
#include "font/font_handles.h"

int ClearGlyphCache(HANDLE_VALUE font, int acceptPending);
void ClearGlyphCacheOf(FONT_RECORD* font);
int RebuildFontCacheTexture(HANDLE_VALUE font, int acceptPending);
// Makes the cache graph of a texture-cache font (onWorker: called on a loader thread): 0, -1
// when the graph cannot be made, -2 when the CPU copy cannot be allocated (logged).
int CreateFontCacheTexture(FONT_RECORD* font, int onWorker);
void ReleaseFontCacheTexture(FONT_RECORD* font);
int CacheTextGlyphs(int byteCount, const char* text, HANDLE_VALUE font, GLYPH_CHAR* characters, int* characterCount);
// The last slot written; the next slot when every character failed; null when nothing was
// done (invalid font, no display).
GLYPH_CACHE_SLOT* RasterizeGlyphsToCache(HANDLE_VALUE font, int count, const GLYPH_CHAR* characters);
// The slot holding a character, or null.
GLYPH_CACHE_SLOT* FindGlyphSlot(FONT_RECORD* font, const GLYPH_CHAR* character);
// Splits a string into characters by the font's character set: at most byteCount bytes; a
// lead byte without its trail inside the count stands alone. Returns the character count.
int SplitTextCharacters(const char* text, int byteCount, int charSetIndex, GLYPH_CHAR* out);
