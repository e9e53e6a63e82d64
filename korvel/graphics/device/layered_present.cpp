#include "graphics/device/layered_present.h"

#include "graphics/device/draw_settings.h"
#include "image/color_format.h"
#include "image/pixel_convert.h"
#include "system/base/layered_window.h"

int PresentImageToLayeredWindow(const RASTER_IMAGE* image, HDC source, int perPixelAlpha, int alphaTest) {
  if (image == nullptr || image->width <= 0 || image->height <= 0) return -1;
  int width = image->width, height = image->height;
  uint32_t* bits = BeginLayeredWindowImage(width, height, source);
  if (bits == nullptr) return -1;
  if (source == nullptr) {
    COLOR_FORMAT argb;
    InitARGB8Format(&argb);
    RECT whole = {0, 0, width, height};
    ConvertPixelRect(bits, width * 4, &argb, image->pixels, image->pitch, &image->format, nullptr, 0, nullptr, 0, 0,
                     &whole, 0, 0, 0, DITHER_NONE, 0, 0, 0, 0);
  }
  return EndLayeredWindowImage(perPixelAlpha, alphaTest, DrawSettings.transparentColor);
}
