#include "font/font_screen.h"

#include "graphics/draw_settings.h"
#include "graphics/screen.h"
#include "korvel.h"

int IsFontDisplayUp() { return ScreenState.graphicsStarted; }

// Glyphs live in memory until the cache texture can be made from graph handles.
int IsFontTextureCacheAvailable() { return 0; }

int GetFontScreenBits() { return GetScreenColorBits(); }

int IsFontDrawingSuppressed() { return DrawSettings.emptyDrawArea; }
