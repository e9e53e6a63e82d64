// Time of one grid-viewer frame on the real Direct3D path (reload the three data files, draw
// map, legend and arrows, flip) for grids of 64 x 32, 256 x 128 and 1024 x 512 cells, beside
// the same number of rectangles drawn as one raw DrawPrimitiveUP of pre-built vertices and a
// present on the same device, in the same run.
// Run by hand: cd build && ./wine-run bench_viewer_frame.exe
#include <windows.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "bench_clock.h"
#include "graphics/device/d3d_calls.h"
#include "graphics/device/state_cache.h"
#include "graphics/device/vertex_batch.h"
#include "korvel.h"
#include "viewer_draw.h"
#include "viewer_files.h"
#include "viewer_render.h"
#include "viewer_state.h"

namespace {

// Runs frame at least three times and for at least a second; milliseconds per call.
template <class F>
double Measure(F frame) {
  frame();  // warm-up
  int calls = 0;
  double start = Seconds(), elapsed = 0;
  do {
    frame();
    calls++;
    elapsed = Seconds() - start;
  } while (calls < 3 || elapsed < 1.0);
  return elapsed * 1000.0 / calls;
}

void WriteFile(const std::string& path, const void* bytes, size_t size) {
  FILE* f = fopen(path.c_str(), "wb");
  if (f == nullptr) return;
  fwrite(bytes, 1, size, f);
  fclose(f);
}

// A folder with "grid.txt" and three data files: a smooth scalar field and a swirl.
std::string WriteGrid(int w, int r) {
  std::string folder = "bench_viewer_" + std::to_string(w) + "x" + std::to_string(r);
  CreateDirectoryA(folder.c_str(), nullptr);
  std::string settings = "f scalar.bin\nf u.bin\nf v.bin\nW " + std::to_string(w) + "\nR " + std::to_string(r) +
                         "\nO 0\nM 0\n";
  WriteFile(folder + "\\grid.txt", settings.data(), settings.size());
  std::vector<double> s((size_t)w * r), u(s.size()), v(s.size());
  for (int y = 0; y < r; y++)
    for (int x = 0; x < w; x++) {
      double fx = (double)x / w - 0.5, fy = (double)y / r - 0.5;
      s[(size_t)y * w + x] = std::sin(9 * fx) * std::cos(7 * fy);
      u[(size_t)y * w + x] = -fy;
      v[(size_t)y * w + x] = fx;
    }
  WriteFile(folder + "\\scalar.bin", s.data(), s.size() * sizeof(double));
  WriteFile(folder + "\\u.bin", u.data(), u.size() * sizeof(double));
  WriteFile(folder + "\\v.bin", v.data(), v.size() * sizeof(double));
  return folder;
}

int CountBoxes(const DRAW_LIST& list) {
  int n = 0;
  for (int i = 0; i < list.count; i++) n += list.items[i].kind == DRAW_BOX;
  return n;
}

// The map's rectangles as pre-built untextured vertices, six per rectangle.
std::vector<VERTEX_2D> BuildRawVertices(int boxes, int columns) {
  std::vector<VERTEX_2D> out((size_t)boxes * 6);
  for (int i = 0; i < boxes; i++) {
    float l = (float)(2 * (i % columns)), t = (float)(2 * (i / columns)), r = l + 2, b = t + 2;
    const float xs[6] = {l, r, l, r, l, r}, ys[6] = {t, t, b, b, b, t};
    for (int k = 0; k < 6; k++) out[(size_t)i * 6 + k] = {xs[k], ys[k], 0.2f, 1.0f, 0xFF000000u | (DWORD)(i * 2654435761u >> 8)};
  }
  return out;
}

void DrawRaw(const std::vector<VERTEX_2D>& vertices) {
  IDirect3DDevice9* device = Direct3DObjects.device;
  device->BeginScene();
  device->SetTexture(0, nullptr);
  device->SetPixelShader(nullptr);
  device->SetFVF(D3DFVF_XYZRHW | D3DFVF_DIFFUSE);
  // The device takes at most 65535 primitives per call on many drivers.
  const size_t chunk = 65535 / 2 * 6;
  for (size_t first = 0; first < vertices.size(); first += chunk) {
    size_t n = vertices.size() - first < chunk ? vertices.size() - first : chunk;
    device->DrawPrimitiveUP(D3DPT_TRIANGLELIST, (UINT)(n / 3), &vertices[first], sizeof(VERTEX_2D));
  }
  device->EndScene();
  device->Present(nullptr, nullptr, nullptr, nullptr);
}

}  // namespace

int main() {
  char home[MAX_PATH];
  GetCurrentDirectoryA(MAX_PATH, home);
  SetViewerDefaults();
  ChangeWindowMode(1);
  EnableLogFile(0);
  SetRunWhileInactive(1);
  AllowMultipleInstances(1);
  SetScreenMode(VIEWER.screenWidth, VIEWER.screenHeight, 32, 60);
  if (InitLibrary() == -1) {
    printf("the library did not start\n");
    return 1;
  }
  const int sizes[3][2] = {{64, 32}, {256, 128}, {1024, 512}};
  DRAW_LIST list = {};
  printf("grid        cells    viewer frame   raw DrawPrimitiveUP   ratio\n");
  for (const auto& size : sizes) {
    SetCurrentDirectoryA(home);
    std::string folder = WriteGrid(size[0], size[1]);
    SetCurrentDirectoryA(folder.c_str());
    SetViewerDefaults();
    ReadGridSettings("grid.txt");
    ComputeViewerLayout();
    SetScreenMode(VIEWER.screenWidth, VIEWER.screenHeight, 32, 60);
    SelectDrawTarget(-2);
    VIEWER.backgroundColor = PackScreenColor(12, 12, 24);
    if (AllocateGridArrays() != 0) {
      printf("%4d x %-4d  the data arrays could not be allocated\n", size[0], size[1]);
      continue;
    }
    double viewer = Measure([&] {
      BuildViewerFrame(&list);
      DrawDrawList(&list);
      FlipScreenBuffers();
    });
    int boxes = CountBoxes(list);
    std::vector<VERTEX_2D> raw = BuildRawVertices(boxes, size[0]);
    double direct = Measure([&] {
      DrawRaw(raw);
    });
    // The library's state cache no longer matches the device: everything is sent again.
    RestoreDeviceStates();
    PumpWindowMessages();
    printf("%4d x %-4d %7d   %9.2f ms   %9.2f ms (%d rects)   %5.1f\n", size[0], size[1], size[0] * size[1], viewer,
           direct, boxes, viewer / direct);
  }
  FreeDrawList(&list);
  FreeGridArrays();
  EndLibrary();
  return 0;
}
