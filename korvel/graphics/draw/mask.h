// The mask screen: while mask drawing is on, drawing goes to a separate mask screen; each
// drawing function brackets its work with BeginMaskedDrawing / EndMaskedDrawing, and the end
// copies the mask screen back into the real target only where the mask byte of the pixel is
// 0 (or, reversed, not 0). The mask bytes are mirrored into a texture of the alpha-test format.
#pragma once
#include <windows.h>
#include <d3d9.h>

#include "core/handles.h"
#include "image/memimg.h"

enum { MASK_HANDLE_MAX = 512 };

struct MASK_STATE {
  int initialised;
  unsigned char* pixels;  // one byte per pixel of the main screen
  int width, height, pitch;
  int reverse;
  int pendingRegion;
  int created, wanted, active;
  int nesting;
  MEMIMG softwareImage;
  int softwareImageValid;
  int textureWidth, textureHeight;
  IDirect3DTexture9* imageTexture;   // the mask bytes as alpha
  IDirect3DTexture9* screenTexture;  // what is drawn while masking
  IDirect3DSurface9* screenSurface;  // its level 0
  IDirect3DSurface9* realSurface;    // the target saved by the outermost begin
};

struct MASK_RECORD {
  HANDLE_HEAD head;
  unsigned char* pixels;
  int width, height;
};

extern MASK_STATE MaskState;

int InitMaskHandleType();
int EndMaskSystem();
int CreateMaskScreen(int flag);
int ReleaseMaskSurfaces();
int RecreateMaskSurfaces();
int EnableMaskDrawing(int flag);
int IsMaskDrawingEnabled();
// Mask drawing off, no region pending: the start values the draw settings begin with. The
// target is not touched (the draw-target selection that follows sets it).
void ResetMaskDrawingFlags();
int BeginMaskedDrawing(const RECT* rect);
int EndMaskedDrawing(const RECT* rect);
// Software regions: the begin copies the rectangle of the real image into the mask image;
// the end copies the mask image's pixels back where the mask byte allows.
int BeginSoftwareMaskRegion(MEMIMG* real, const RECT* rect);
int EndSoftwareMaskRegion(MEMIMG* real, const RECT* rect);
// Sets the mask bytes of a rectangle of the mask screen and mirrors them into the texture.
int FillMaskScreenRect(const RECT* rect, int value);
// A mask handle of width x height bytes, zeroed; -1 on failure.
int MakeMask(int width, int height);
int DeleteMask(int handle);
