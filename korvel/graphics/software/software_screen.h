// The screen of the software renderer: the primary screen MEMIMG (the draw target of screen
// draws) and the two work images of text drawing, their clearing, the choice of the software
// draw target, and the GDI copy of the primary image to the window.
#pragma once
#include <windows.h>

#include "image/memimg.h"

// Makes the three screen-sized images and makes the primary one, filled with the background
// colour, the software draw target; a primary image that cannot be made is fatal.
int CreateSoftwareScreenImages();
void ReleaseSoftwareScreenImages();
MEMIMG* GetScreenMemImg();
// The real target of software drawing: the image drawing reaches when no mask is in the way.
MEMIMG* GetSoftwareRealTarget();
void SetSoftwareRealTarget(MEMIMG* image);
// An image about to be released stops being drawn into (the primary image takes its place)
// or blended from.
void ForgetSoftwareImage(const MEMIMG* image);
// Work images of text drawing: without and with an alpha channel.
MEMIMG* GetScreenWorkMemImg(int withAlpha);
// Makes a drawable graph's image (-1 for a graph with an alpha channel or an invalid one) or,
// for a screen code, the primary image the real target of software drawing; the software
// target is that image, or the mask image while mask drawing is active.
int SelectSoftwareTarget(int target);
// Points the software target at the mask image while mask drawing is active, else back at
// the real target.
void FollowMaskInSoftwareTarget();
// Clears the rectangle (null: all) of the current target's image to the background colour,
// packed for that image; the rectangle is cut to the image.
int ClearSoftwareTarget(const RECT* rect);
// Copies the primary image to the window with GDI: a refresh of the window rectangle rect
// from the mapped image rectangle, the doubled top-left quarter of an emulated small screen,
// or the whole screen to the destination rectangle dest. The caller records the rectangles
// that later partial presents map through.
int BlitScreenMemImgToWindow(const RECT* rect, RECT mapped, RECT dest, int small);
