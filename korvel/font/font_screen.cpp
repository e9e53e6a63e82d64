#include "font/font_screen.h"

#include "graphics/draw_settings.h"
#include "graphics/screen.h"
#include "korvel.h"

int IsFontDisplayUp() { return ScreenState.graphicsStarted; }

int IsFontTextureCacheAvailable() { return ScreenState.hardwareRendering; }

int GetFontScreenBits() { return GetScreenColorBits(); }

int IsFontDrawingSuppressed() { return DrawSettings.emptyDrawArea; }
