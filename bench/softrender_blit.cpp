// Speed of the CPU renderer's blit, stretched blit and triangles (a whole image turned a
// little on four corners, and the same quad filled flat), 32-bit and RGB565, in blend modes
// 0, 1 and 2, in megapixels per second, beside a plain memcpy of the same bytes in the same run.
// Run by hand: build/wine-run build/bench_softrender_blit.exe
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <vector>

#include "bench_clock.h"
#include "image/memimg.h"
#include "image/memimg_draw_state.h"
#include "softrender/softrender.h"

namespace {

const int kSide = 512;  // target and blit source side; the stretched source is half as large

// Runs draw repeatedly for about a quarter of a second; megapixels per second of pixels drawn.
template <class F>
double Measure(F draw, double pixelsPerCall) {
  draw();  // warm-up
  int calls = 0;
  double start = Seconds(), elapsed = 0;
  do {
    draw();
    calls++;
    elapsed = Seconds() - start;
  } while (elapsed < 0.25);
  return pixelsPerCall * calls / elapsed / 1e6;
}

void FillPattern(MEMIMG* m) {
  int bytes = GetMemImgPixelBytes(m->store);
  uint32_t v = 12345;
  for (int y = 0; y < m->height; y++)
    for (int x = 0; x < m->width * bytes; x++) {
      v = v * 1664525u + 1013904223u;
      m->pixels[y * m->store->pitch + x] = (uint8_t)(v >> 24);
    }
}

}  // namespace

int main() {
  BuildMemImgTables();
  std::printf("CPU renderer blit speed, %d x %d pixels per draw\n", kSide, kSide);
  std::printf("%-8s %-22s %10s %10s\n", "pixels", "draw", "Mpixel/s", "memcpy");
  const struct {
    int mode, param;
    const char* name;
  } modes[] = {{0, 255, "mode 0"}, {1, 100, "mode 1 p=100"}, {2, 200, "mode 2 p=200"}};
  for (int type : {MEMIMG_TYPE_32BIT, MEMIMG_TYPE_RGB565}) {
    MEMIMG target = {}, source = {}, small = {};
    if (SetupMemImg(&target, kSide, kSide, -1, 0, type, 0, 0, 0, nullptr) ||
        SetupMemImg(&source, kSide, kSide, -1, 0, type, 0, 0, 0, nullptr) ||
        SetupMemImg(&small, kSide / 2, kSide / 2, -1, 0, type, 0, 0, 0, nullptr)) {
      std::printf("image set-up failed\n");
      return 1;
    }
    FillPattern(&target);
    FillPattern(&source);
    FillPattern(&small);
    RECT clip = {0, 0, kSide, kSide};
    SetMemImgClipRect(&clip);
    SetMemImgTint(0xFFFFFF);
    const size_t bytes = (size_t)target.store->pitch * kSide;
    std::vector<uint8_t> copy(bytes);
    const double pixels = (double)kSide * kSide;
    const double memcpyRate = Measure([&] { memcpy(copy.data(), source.pixels, bytes); }, pixels);
    const char* typeName = type == MEMIMG_TYPE_32BIT ? "32-bit" : "RGB565";
    for (const auto& m : modes) {
      SetMemImgBlendMode(m.mode, m.param);
      char name[64];
      std::snprintf(name, sizeof name, "blit %s", m.name);
      double blit = Measure([&] { MEMIMGBlit(&target, &source, 0, 0, 0, nullptr); }, pixels);
      std::printf("%-8s %-22s %10.1f %10.1f\n", typeName, name, blit, memcpyRate);
      std::snprintf(name, sizeof name, "stretch x2 %s", m.name);
      RECT whole = {0, 0, kSide, kSide};
      double stretch = Measure([&] { MEMIMGStretchBlit(&target, &small, &whole, 0, nullptr); }, pixels);
      std::printf("%-8s %-22s %10.1f %10.1f\n", typeName, name, stretch, memcpyRate);
      // Two triangles over the whole target, the source turned by one pixel in 16.
      const int w = kSide, t = kSide / 16;
      const MEMIMG_VERTEX tl = {t, 0, 0, 0}, tr = {w, t, w, 0}, bl = {0, w - t, 0, w}, br = {w - t, w, w, w};
      const MEMIMG_VERTEX first[3] = {tl, tr, bl}, second[3] = {tr, bl, br};
      const double area = (double)(w - t) * (w - t) + (double)t * t;
      for (const MEMIMG* quadSource : {(const MEMIMG*)&source, (const MEMIMG*)nullptr}) {
        std::snprintf(name, sizeof name, "%s %s", quadSource ? "quad" : "flat quad", m.name);
        double quad = Measure([&] {
          MEMIMGTriangle(&target, quadSource, first, 0, nullptr, 0x123456);
          MEMIMGTriangle(&target, quadSource, second, 0, nullptr, 0x123456);
        }, area);
        std::printf("%-8s %-22s %10.1f %10.1f\n", typeName, name, quad, memcpyRate);
      }
    }
    ReleaseMemImg(&small);
    ReleaseMemImg(&source);
    ReleaseMemImg(&target);
  }
  return 0;
}
