#include "filter/filter_selftest.h"

#include <cstdint>
#include <cstring>

#include "filter/filter_record.h"
#include "filter/filter_resources.h"
#include "graphics/draw/screen_lock.h"
#include "graphics/graphs/graph_create.h"
#include "graphics/graphs/graph_handles.h"
#include "image/raster_image.h"
#include "korvel.h"

namespace {
const int kSize = 8;
// Red, green and blue of the pixels (i, i) for i = 0..3.
const uint8_t kColors[4][3] = {{0xCC, 0xA8, 0x50}, {0x80, 0x64, 0xF5}, {0x42, 0xDE, 0x8F}, {0x22, 0xFF, 0x4E}};

uint8_t* PixelAt(const RASTER_IMAGE& image, int x, int y) { return (uint8_t*)image.pixels + y * image.pitch + x * 4; }

// Every channel of the four pixels plus its value read back must come to 255, give or take one.
bool CameBackInverted(const RASTER_IMAGE& image) {
  for (int i = 0; i < 4; i++)
    for (int c = 0; c < 3; c++) {
      int sum = kColors[i][c] + PixelAt(image, i, i)[2 - c];
      if (sum < 254 || sum > 256) return false;
    }
  return true;
}
}  // namespace

int RunFilterSelfTest() {
  SetFilterInPlace(0);
  RASTER_IMAGE image, result;
  memset(&result, 0, sizeof(result));
  if (AllocXRGB8Image(kSize, kSize, &image) != 0) return -1;
  memset(image.pixels, 0, (size_t)image.pitch * kSize);
  for (int i = 0; i < 4; i++) {
    uint8_t* p = PixelAt(image, i, i);
    p[0] = kColors[i][2], p[1] = kColors[i][1], p[2] = kColors[i][0], p[3] = 255;
  }
  GRAPH_CREATE_PARAM param;
  CaptureGraphCreateParam(&param);
  param.drawable = 1;
  param.drawableAlpha = 0;
  HANDLE_VALUE graph = CreateBlankGraph(&param, kSize, kSize, 0, 0, 0);
  int verdict = -1;
  if (graph >= 0 && TransferBaseImageToGraph(nullptr, nullptr, nullptr, 0, &image, nullptr, 0, 0, graph) == 0) {
    verdict = 0;
    SetFilterInPlace(1);
    ApplyGraphFilter(graph, FILTER_INVERT);
    SetFilterInPlace(0);
    RECT rect = {0, 0, kSize, kSize};
    RASTER_IMAGE locked;
    if (LockDrawScreenImage(&rect, &locked, graph, 1, 0) == 0) {
      bool copied = AllocXRGB8Image(kSize, kSize, &result) == 0 && CopyWholeImage(0, 0, &locked, &result) == 0;
      UnlockDrawScreenImage();
      if (copied && CameBackInverted(result)) SetFilterInPlace(1);
    }
  }
  if (graph >= 0) DeleteGraphHandle(graph, 0);
  DisposeImage(&image);
  DisposeImage(&result);
  return verdict;
}
