#include "font/font_screen.h"

#include <windows.h>

#include "font/font_handles.h"

// Until the graphics layer owns the screen the font layer stands alone: it is up while it is
// started, keeps glyphs in memory and reads the desktop's depth.
int IsFontDisplayUp() { return IsFontSystemStarted(); }

int IsFontTextureCacheAvailable() { return 0; }

int GetFontScreenBits() {
  HDC dc = GetDC(nullptr);
  int bits = GetDeviceCaps(dc, PLANES) * GetDeviceCaps(dc, BITSPIXEL);
  ReleaseDC(nullptr, dc);
  return bits;
}

int IsFontDrawingSuppressed() { return 0; }
