// The frame around every 2D draw (empty area, inactive window, subtractive-blend emulation)
// and the caller-vertex draws the public functions share.
#pragma once
#include <windows.h>

#include "graphics/device/draw_settings.h"
#include "graphics/draw/mask.h"
#include "graphics/device/vertex_batch.h"

// Caller vertex of DrawUserVertices2D: x, y, u, v, then the colour as blue, green, red, alpha.
struct VERTEX_2D_UV {
  float x, y, u, v;
  unsigned char blue, green, red, alpha;
};

// Caller vertices drawn at once, textured with a graph or untextured (graph -5); fit maps the
// caller's 0-1 texture coordinates onto the graph's part of its texture.
int DrawUserVertices2D(const VERTEX_2D_UV* vertices, int n, int type, int graph, int transparent, int fit);
// Pre-transformed caller vertices, textured with a graph or untextured (graph -5).
int DrawGraphVertices2D(const VERTEX_2D_TEX* vertices, int n, int type, int graph, int transparent);
// Frees the work buffer DrawGraphVertices2D keeps between calls (graphics shut-down).
void ReleaseGraphVerticesWork();
int BeginSubtractBlendEmulation(const RECT* rect);
int EndSubtractBlendEmulation(const RECT* rect);

// Subtraction emulated as invert, add, invert: blend mode 3 on a device whose blender cannot
// subtract, for a draw that reaches the device (hardware shapes, graphs held as textures).
int NeedsSubtractEmulation(int reachesDevice);

// The last steps of every draw frame: the draw runs inside a masked-drawing region while mask
// drawing is on, and between the subtraction emulation's two inversions when `emulate` is set,
// both over the rectangle the draw affects. Returns what the draw returned.
template <class DRAW>
int RunMaskedAndEmulated(const RECT& affected, int emulate, DRAW draw) {
  if (!emulate && !IsMaskDrawingEnabled()) return draw();
  if (IsMaskDrawingEnabled()) BeginMaskedDrawing(&affected);
  int result;
  if (emulate) {
    BeginSubtractBlendEmulation(&affected);
    result = draw();
    EndSubtractBlendEmulation(&affected);
  } else {
    result = draw();
  }
  // The draw may have switched mask drawing off; a region left open ends with the next one.
  if (IsMaskDrawingEnabled()) EndMaskedDrawing(&affected);
  return result;
}
