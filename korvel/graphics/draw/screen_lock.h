// A CPU view (RASTER_IMAGE) of a rectangle of the screen or of a drawable graph: the locked
// surface itself, or a copy made through a temporary render target and a system-memory
// surface; in software mode the view points into the MEMIMG. One lock at a time.
#pragma once
#include <windows.h>
#include <d3d9.h>

#include "image/memimg.h"
#include "image/raster_image.h"

struct SCREEN_LOCK_STATE {
  int locked;
  IDirect3DSurface9* lockedSurface;     // the surface locked in place, or null
  IDirect3DSurface9* temporarySurface;  // the system-memory copy, or null
};

extern SCREEN_LOCK_STATE ScreenLock;

int LockDrawScreenImage(const RECT* rect, RASTER_IMAGE* out, int graph, int readOnly, int textureIndex);
int UnlockDrawScreenImage();
// The software view of a rectangle of a MEMIMG (pixels stay in the MEMIMG); -1 when the
// rectangle does not lie inside it.
int FillImageFromMemImg(const MEMIMG* image, const RECT* rect, RASTER_IMAGE* out);
