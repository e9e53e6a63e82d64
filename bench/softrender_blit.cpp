// Speed of the CPU renderer's blit, stretched blit and triangles, 32-bit and RGB565, in
// Mpixel/s, beside memcpy of the same bytes (one image's pixels) timed in rounds alternating
// with the draw, and the draw's share of that memcpy, each figure for images that stay in the
// second-level cache (256 x 256), for images that stay in the last-level cache (512 x 512) and
// for images larger than the last-level cache (4096 x 2048, 32 MB a 32-bit image). Blits and
// stretched blits are timed with the SSE2 loops and with the plain loops they stand in for;
// textured triangles (the whole image on four corners: at its own size, and turned a little)
// with the span loops and with the per-pixel loops, and their span loops' share also as a
// share of the blit's in the same mode; the same quad filled flat follows.
// Run by hand: cd build && ./wine-run bench_softrender_blit.exe
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

#include "bench_clock.h"
#include "image/memimg.h"
#include "image/memimg_draw_state.h"
#include "softrender/render_common.h"
#include "softrender/softrender.h"

namespace {

// Each round of the alternating measure times the draw, then the copy, for about this long.
const double kRoundSeconds = 0.04;

void FillPattern(MEMIMG* m) {
  int bytes = GetMemImgPixelBytes(m->store);
  uint32_t v = 12345;
  for (int y = 0; y < m->height; y++)
    for (int x = 0; x < m->width * bytes; x++) {
      v = v * 1664525u + 1013904223u;
      m->pixels[y * m->store->pitch + x] = (uint8_t)(v >> 24);
    }
}

struct IMAGES {
  MEMIMG target = {}, source = {}, small = {};
  int Setup(int type, int w, int h) {
    if (SetupMemImg(&target, w, h, -1, 0, type, 0, 0, 0, nullptr) ||
        SetupMemImg(&source, w, h, -1, 0, type, 0, 0, 0, nullptr) ||
        SetupMemImg(&small, w / 2, h / 2, -1, 0, type, 0, 0, 0, nullptr))
      return -1;
    FillPattern(&target);
    FillPattern(&source);
    FillPattern(&small);
    return 0;
  }
  ~IMAGES() {
    ReleaseMemImg(&small);
    ReleaseMemImg(&source);
    ReleaseMemImg(&target);
  }
};

void PrintRow(const char* type, const char* size, const char* draw, RATE sse2, RATE plain, double ofBlit = 0) {
  std::printf("%-7s %-6s %-24s %9.1f ", type, size, draw, sse2.work);
  if (plain.work > 0) std::printf("%9.1f ", plain.work);
  else std::printf("%9s ", "-");
  std::printf("%9.1f %7.3fx ", sse2.copy, sse2.share);
  if (plain.work > 0) std::printf("%7.3fx", plain.share);
  else std::printf("%8s", "");
  if (ofBlit > 0) std::printf(" %7.3fx", ofBlit);
  std::printf("\n");
}

// Two triangles (TL, TR, BL) and (TR, BL, BR) over the whole source, and the number of
// pixels they cover (the quad's area).
struct QUAD {
  MEMIMG_VERTEX first[3], second[3];
  double area;
  QUAD(MEMIMG_VERTEX tl, MEMIMG_VERTEX tr, MEMIMG_VERTEX bl, MEMIMG_VERTEX br)
      : first{tl, tr, bl}, second{tr, bl, br}, area(0) {
    const MEMIMG_VERTEX ring[4] = {tl, tr, br, bl};
    for (int i = 0; i < 4; i++)  // shoelace formula over the corners
      area += (double)ring[i].x * ring[(i + 1) % 4].y - (double)ring[(i + 1) % 4].x * ring[i].y;
    area = area < 0 ? -area / 2 : area / 2;
  }
  void Draw(MEMIMG* target, const MEMIMG* source) const {
    MEMIMGTriangle(target, source, first, 0, nullptr, 0x123456);
    MEMIMGTriangle(target, source, second, 0, nullptr, 0x123456);
  }
};

void RunType(int type, int w, int h, const char* sizeName) {
  IMAGES images;
  if (images.Setup(type, w, h)) {
    std::printf("image set-up failed for %d x %d\n", w, h);
    return;
  }
  RECT clip = {0, 0, w, h};
  SetMemImgClipRect(&clip);
  SetMemImgTint(0xFFFFFF);
  const size_t bytes = (size_t)images.target.store->pitch * h;
  std::vector<uint8_t> copy(bytes);
  const double pixels = (double)w * h;
  auto copyPixels = [&] { memcpy(copy.data(), images.source.pixels, bytes); };
  const char* typeName = type == MEMIMG_TYPE_32BIT ? "32-bit" : "RGB565";
  const struct {
    int mode, param;
    const char* name;
  } modes[] = {{0, 255, "mode 0"},      {1, 100, "mode 1 p=100"}, {2, 200, "mode 2 p=200"}, {3, 200, "mode 3 p=200"},
               {4, 255, "mode 4"},      {10, 100, "mode 10 p=100"}, {11, 100, "mode 11 p=100"}};
  // The image at its own size, and turned by one pixel in 16 (and so a little smaller).
  const int t = w / 16;
  const QUAD own({0, 0, 0, 0}, {w, 0, w, 0}, {0, h, 0, h}, {w, h, w, h});
  const QUAD turned({t, 0, 0, 0}, {w, t, w, 0}, {0, h - t, 0, h}, {w - t, h, w, h});
  const struct {
    const QUAD* quad;
    const char* name;
  } quads[] = {{&own, "quad 1:1"}, {&turned, "quad turned"}};
  char name[64];
  for (const auto& m : modes) {
    SetMemImgBlendMode(m.mode, m.param);
    RATE blit[2], rate[2];
    for (int sse2 : {1, 0}) {
      ForceSoftRenderSse2(sse2);
      blit[sse2] = MeasureBesideCopy([&] { MEMIMGBlit(&images.target, &images.source, 0, 0, 0, nullptr); },
                                     copyPixels, pixels, kRoundSeconds);
    }
    ForceSoftRenderSse2(1);
    std::snprintf(name, sizeof name, "blit %s", m.name);
    PrintRow(typeName, sizeName, name, blit[1], blit[0]);
    RECT whole = {0, 0, w, h};
    for (int sse2 : {1, 0}) {
      ForceSoftRenderSse2(sse2);
      rate[sse2] = MeasureBesideCopy(
          [&] { MEMIMGStretchBlit(&images.target, &images.small, &whole, 0, nullptr); }, copyPixels, pixels, kRoundSeconds);
    }
    ForceSoftRenderSse2(1);
    std::snprintf(name, sizeof name, "stretch x2 %s", m.name);
    PrintRow(typeName, sizeName, name, rate[1], rate[0]);
    if (m.mode > 2) continue;
    for (const auto& q : quads) {
      for (int spans : {1, 0}) {
        ForceSoftRenderSpans(spans);
        rate[spans] = MeasureBesideCopy([&] { q.quad->Draw(&images.target, &images.source); }, copyPixels,
                                        q.quad->area, kRoundSeconds);
      }
      ForceSoftRenderSpans(1);
      std::snprintf(name, sizeof name, "%s %s", q.name, m.name);
      PrintRow(typeName, sizeName, name, rate[1], rate[0], rate[1].share / blit[1].share);
    }
    std::snprintf(name, sizeof name, "flat quad %s", m.name);
    PrintRow(typeName, sizeName, name,
             MeasureBesideCopy([&] { turned.Draw(&images.target, nullptr); }, copyPixels, turned.area, kRoundSeconds), RATE{});
  }
}

}  // namespace

int main() {
  BuildMemImgTables();
  std::printf("CPU renderer speed in Mpixel/s: SSE2 loops, plain loops, memcpy of the same bytes (timed in\n"
              "rounds alternating with the SSE2 draw), and each draw's median share of the memcpy timed\n"
              "beside it. small: 256 x 256 (in the second-level cache); medium: 512 x 512 (in the\n"
              "last-level cache); large: 4096 x 2048 (beyond it). Stretched draws scale a half-size\n"
              "source to the whole target. Textured quads: span loops (with SSE2) in the first\n"
              "column, the per-pixel loops in the second, the span loops' share of memcpy over the\n"
              "SSE2 blit's share in the last.\n");
  std::printf("%-7s %-6s %-24s %9s %9s %9s %8s %8s %8s\n", "pixels", "size", "draw", "SSE2", "plain", "memcpy", "SSE2",
              "plain", "of blit");
  for (int type : {MEMIMG_TYPE_32BIT, MEMIMG_TYPE_RGB565}) {
    RunType(type, 256, 256, "small");
    RunType(type, 512, 512, "medium");
    RunType(type, 4096, 2048, "large");
  }
  return 0;
}
