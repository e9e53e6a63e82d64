// MEMIMGFillRect, MEMIMGLine and MEMIMGLineList: one colour drawn under the draw state's blend
// mode, parameter, tint and clip rectangle, by the colour form of the pixel rule (no source,
// no transparency, no blend graph, no alpha, no short cuts).
#include <cmath>
#include <climits>

#include "image/memimg_draw_state.h"
#include "softrender/kernel_loops.h"
#include "softrender/render_common.h"
#include "softrender/softrender.h"

namespace {

template <class PX, int MODE>
using COLOUR_CONFIG = LOOP_CONFIG<PX, SOURCE_PLAIN, MODE, false, false, false, PATH_GENERAL>;

template <class C>
void FillRows(uint8_t* target, int pitch, int width, int height, uint32_t colour, const BLEND_CONTEXT& x) {
  using Word = typename C::PX::Word;
  for (int y = 0; y < height; y++) {
    Word* d = (Word*)(target + y * pitch);
    for (int i = 0; i < width; i++) d[i] = (Word)BlendPixel<C>(d[i], colour, 0, false, 0, x);
  }
}

// count pixels from p; after each the major step, and the minor step when the error wraps.
template <class C>
void LinePixels(uint8_t* p, int count, int majorStep, int minorStep, int major, int minor, uint32_t colour,
                const BLEND_CONTEXT& x) {
  using Word = typename C::PX::Word;
  int e = 0;
  for (int i = 0; i < count; i++) {
    Word* d = (Word*)p;
    *d = (Word)BlendPixel<C>(*d, colour, 0, false, 0, x);
    e += minor;
    p += majorStep;
    if (e >= major) {
      p += minorStep;
      e -= major;
    }
  }
}

using FILL_LOOP = void (*)(uint8_t*, int, int, int, uint32_t, const BLEND_CONTEXT&);
using LINE_LOOP = void (*)(uint8_t*, int, int, int, int, int, uint32_t, const BLEND_CONTEXT&);

template <class PX>
FILL_LOOP SelectFillLoop(int mode) {
  return WithMode(mode, [](auto m) -> FILL_LOOP { return &FillRows<COLOUR_CONFIG<PX, m.value>>; });
}
template <class PX>
LINE_LOOP SelectLineLoop(int mode) {
  return WithMode(mode, [](auto m) -> LINE_LOOP { return &LinePixels<COLOUR_CONFIG<PX, m.value>>; });
}

// The colour tint of fills and lines: each channel x tint byte >> 8; the fourth byte kept.
uint32_t TintColour(uint32_t colour, int pixelType) {
  if (!IsTintOn()) return colour;
  const uint32_t t = MemImgDrawState.tint;
  const int tb = t & 0xFF, tg = t >> 8 & 0xFF, tr = t >> 16 & 0xFF;
  if (pixelType == MEMIMG_TYPE_32BIT) {
    uint32_t b = (colour & 0xFF) * tb >> 8, g = (colour >> 8 & 0xFF) * tg >> 8, r = (colour >> 16 & 0xFF) * tr >> 8;
    return (colour & 0xFF000000) | r << 16 | g << 8 | b;
  }
  uint32_t b = (colour & 0x1F) * tb >> 8, g = (colour >> 5 & 0x3F) * tg >> 8, r = (colour >> 11 & 0x1F) * tr >> 8;
  return r << 11 | g << 5 | b;
}

// Shared refusals and set-up: -1 when nothing can be drawn, else the mode to draw with.
int PrepareColourDraw(const MEMIMG* target) {
  if (!IsMemImgValid(target)) return -1;
  const MEMIMG_STORE* ts = target->store;
  if (ts->paletteFlag || ts->alphaFlag) return -1;
  if (ts->pixelType != MEMIMG_TYPE_RGB565 && ts->pixelType != MEMIMG_TYPE_32BIT) return -1;
  return SelectDrawMode(MemImgDrawState.blendMode, GetDrawParam(), false);
}

// Truncation toward zero, saturated to the int range (end points far outside stay far outside).
int SaturateToInt(double v) {
  if (!(v == v)) return 0;
  if (v >= (double)INT_MAX) return INT_MAX;
  if (v <= (double)INT_MIN) return INT_MIN;
  return (int)v;
}

}  // namespace

void MEMIMGFillRect(MEMIMG* target, const RECT* rect, uint32_t color) {
  const int mode = PrepareColourDraw(target);
  if (mode < 0) return;
  long long l = 0, t = 0, r = target->width, b = target->height;
  if (rect) {
    l = rect->left < rect->right ? rect->left : rect->right;
    r = rect->left < rect->right ? rect->right : rect->left;
    t = rect->top < rect->bottom ? rect->top : rect->bottom;
    b = rect->top < rect->bottom ? rect->bottom : rect->top;
  }
  RECT c;
  if (!ClipToDrawArea(target, l, t, r, b, &c)) return;
  const MEMIMG_STORE* ts = target->store;
  const BLEND_CONTEXT x = MakeBlendContext(nullptr);
  const uint32_t colour = TintColour(color, ts->pixelType);
  if (ts->pixelType == MEMIMG_TYPE_32BIT) {
    SelectFillLoop<PIXEL_32>(mode)(target->pixels + c.top * ts->pitch + c.left * 4, ts->pitch, c.right - c.left,
                                   c.bottom - c.top, colour, x);
  } else {
    SelectFillLoop<PIXEL_565>(mode)(target->pixels + c.top * ts->pitch + c.left * 2, ts->pitch, c.right - c.left,
                                    c.bottom - c.top, colour, x);
  }
}

void MEMIMGLine(MEMIMG* target, int x1, int y1, int x2, int y2, uint32_t color) {
  const int mode = PrepareColourDraw(target);
  if (mode < 0) return;
  const RECT bounds = GetDrawBounds(target);
  const int L = bounds.left, T = bounds.top, R = bounds.right, B = bounds.bottom;
  if (R <= L || B <= T) return;
  if ((y1 > y2 ? y1 : y2) < T || (y1 < y2 ? y1 : y2) >= B || (x1 < x2 ? x1 : x2) >= R || (x1 > x2 ? x1 : x2) < L)
    return;

  // End-point arithmetic in double, saturated back to int.
  const double dx = (double)x2 - x1, dy = (double)y2 - y1;
  const double mx = y1 == y2 ? 0.0 : dx / dy, my = x1 == x2 ? 0.0 : dy / dx;
  const double cx = x1 - mx * y1, cy = y1 - my * x1;
  auto X = [&](int y) { return SaturateToInt(cx + mx * y); };
  auto Y = [&](int x) { return SaturateToInt(cy + my * x); };

  int ax = x1, ay = y1, bx = x2, by = y2;
  if (x1 < L) { ax = L; ay = Y(L); }
  else if (x1 >= R) { ax = R - 1; ay = Y(R - 1); }
  if (x2 < L) { bx = L - 1; by = Y(L - 1); }
  else if (x2 >= R) { bx = R; by = Y(R); }
  if (ay < T) { ax = X(T); ay = T; }
  else if (ay >= B) { ax = X(B - 1); ay = B - 1; }
  if (by < T) { bx = X(T - 1); by = T - 1; }
  else if (by >= B) { bx = X(B); by = B; }
  ax = ax < L ? L : ax > R - 1 ? R - 1 : ax;
  bx = bx < L ? L - 1 : bx >= R ? R : bx;
  ay = ay < T ? T : ay > B - 1 ? B - 1 : ay;
  by = by < T ? T - 1 : by >= B ? B : by;

  const int ex = bx - ax, ey = by - ay;
  if (ex == 0 && ey == 0) return;
  const MEMIMG_STORE* ts = target->store;
  const int bytes = ts->pixelType == MEMIMG_TYPE_32BIT ? 4 : 2;
  const int sx = ex < 0 ? -bytes : bytes, sy = ey < 0 ? -ts->pitch : ts->pitch;
  const int nx = ex < 0 ? -ex : ex, ny = ey < 0 ? -ey : ey;
  uint8_t* p = target->pixels + ay * ts->pitch + ax * bytes;
  const BLEND_CONTEXT x = MakeBlendContext(nullptr);
  const uint32_t colour = TintColour(color, ts->pixelType);
  LINE_LOOP loop = bytes == 4 ? SelectLineLoop<PIXEL_32>(mode) : SelectLineLoop<PIXEL_565>(mode);
  if (nx >= ny) loop(p, nx, sx, sy, nx, ny, colour, x);
  else loop(p, ny, sy, sx, ny, nx, colour, x);
}

void MEMIMGLineList(MEMIMG* target, const MEMIMG_LINE* lines, int count) {
  if (!lines) return;
  for (int i = 0; i < count; i++) MEMIMGLine(target, lines[i].x1, lines[i].y1, lines[i].x2, lines[i].y2, lines[i].color);
}
