// What the font layer asks of the screen: whether the display system is up, whether glyphs
// can live in a texture, and the screen's colour depth.
#pragma once

int IsFontDisplayUp();
int IsFontTextureCacheAvailable();
int GetFontScreenBits();
// 1 while nothing may be drawn (an empty draw area).
int IsFontDrawingSuppressed();
