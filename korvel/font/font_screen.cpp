#include "font/font_screen.h"

#include "graphics/device/draw_settings.h"
#include "graphics/device/screen.h"
#include "korvel.h"

int IsFontDisplayUp() { return ScreenState.graphicsStarted; }

int IsFontTextureCacheAvailable() { return ScreenState.hardwareRendering; }

int GetFontScreenBits() { return GetScreenColorBits(); }

int IsFontDrawingSuppressed() { return DrawSettings.emptyDrawArea; }
