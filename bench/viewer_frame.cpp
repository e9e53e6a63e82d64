// Time of one grid-viewer frame on the real Direct3D path (reload the three data files, draw
// map, legend and arrows, flip) for grids of 64 x 32, 256 x 128 and 1024 x 512 cells, beside
// the same number of rectangles drawn as raw DrawPrimitiveUP calls of pre-built vertices and a
// present. The raw reference is measured first, in a process and on a device of its own (this
// program started again with the argument "raw"), so that neither measurement can slow the
// other. The viewer's frame is split into the library's share (building the draw list and the
// drawing calls, which append vertices and flush full batches) and the flip.
// Run by hand: cd build && ./wine-run bench_viewer_frame.exe
#include <windows.h>

#include <cmath>
#include <cstdio>
#include <cstring>
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

const char* const kRawResults = "bench_viewer_raw.txt";
const int kSizes[3][2] = {{64, 32}, {256, 128}, {1024, 512}};

// Runs frame at least three times and for at least a second; milliseconds per call. calls
// receives the number of timed calls.
template <class F>
double Measure(F frame, int* calls = nullptr) {
  frame();  // warm-up
  int n = 0;
  double start = Seconds(), elapsed = 0;
  do {
    frame();
    n++;
    elapsed = Seconds() - start;
  } while (n < 3 || elapsed < 1.0);
  if (calls) *calls = n;
  return elapsed * 1000.0 / n;
}

// CPU time of the calling thread, in milliseconds.
double ThreadMilliseconds() {
  FILETIME created, ended, kernel, user;
  GetThreadTimes(GetCurrentThread(), &created, &ended, &kernel, &user);
  auto ms = [](const FILETIME& t) { return (double)(((unsigned long long)t.dwHighDateTime << 32) | t.dwLowDateTime) / 1e4; };
  return ms(kernel) + ms(user);
}

// Starts this program again with the argument "raw" and waits for it; 0 when it ran.
int RunRawProcess() {
  char path[MAX_PATH];
  GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string command = std::string("\"") + path + "\" raw";
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};
  DeleteFileA(kRawResults);
  if (!CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
    return -1;
  WaitForSingleObject(process.hProcess, INFINITE);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return 0;
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

// Writes a grid of one size and reads it into the viewer's state; false when its arrays could
// not be allocated.
bool PrepareGrid(const char* home, int w, int r) {
  SetCurrentDirectoryA(home);
  std::string folder = WriteGrid(w, r);
  SetCurrentDirectoryA(folder.c_str());
  SetViewerDefaults();
  ReadGridSettings("grid.txt");
  ComputeViewerLayout();
  SetScreenMode(VIEWER.screenWidth, VIEWER.screenHeight, 32, 60);
  SelectDrawTarget(-2);
  VIEWER.backgroundColor = PackScreenColor(12, 12, 24);
  return AllocateGridArrays() == 0;
}

}  // namespace

int main(int argc, char** argv) {
  const bool rawOnly = argc > 1 && strcmp(argv[1], "raw") == 0;
  char home[MAX_PATH];
  GetCurrentDirectoryA(MAX_PATH, home);
  if (!rawOnly && RunRawProcess() != 0) printf("the raw reference process did not start\n");
  double rawMs[3] = {0, 0, 0};
  if (!rawOnly) {
    FILE* f = fopen(kRawResults, "r");
    for (int i = 0; f && i < 3; i++)
      if (fscanf(f, "%lf", &rawMs[i]) != 1) break;
    if (f) fclose(f);
  }

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
  DRAW_LIST list = {};
  if (!rawOnly)
    printf("grid        cells   rects   viewer frame   library share        main-thread CPU   raw (own process)  ratio\n");
  std::string rawLines;
  for (int i = 0; i < 3; i++) {
    const int w = kSizes[i][0], r = kSizes[i][1];
    if (!PrepareGrid(home, w, r)) {
      printf("%4d x %-4d  the data arrays could not be allocated\n", w, r);
      rawLines += "0\n";
      continue;
    }
    if (rawOnly) {
      BuildViewerFrame(&list);  // only to count the rectangles; nothing of the viewer is drawn
      std::vector<VERTEX_2D> raw = BuildRawVertices(CountBoxes(list), w);
      rawLines += std::to_string(Measure([&] { DrawRaw(raw); })) + "\n";
      continue;
    }
    double libraryMs = 0, cpuStart = 0;
    int calls = 0;
    const double frameMs = Measure([&] {
      if (cpuStart == 0) cpuStart = ThreadMilliseconds();
      double start = Seconds();
      BuildViewerFrame(&list);
      DrawDrawList(&list);
      libraryMs += (Seconds() - start) * 1000.0;
      FlipScreenBuffers();
    }, &calls);
    const double cpuMs = (ThreadMilliseconds() - cpuStart) / (calls + 1);
    libraryMs /= calls + 1;  // the warm-up call is counted in the sum too
    printf("%4d x %-4d %7d %7d   %9.2f ms   %7.2f ms (%4.1f%%)   %7.2f ms (%4.0f%%)   %9.2f ms   %5.1f\n", w, r,
           w * r, CountBoxes(list), frameMs, libraryMs, 100.0 * libraryMs / frameMs, cpuMs, 100.0 * cpuMs / frameMs,
           rawMs[i], rawMs[i] > 0 ? frameMs / rawMs[i] : 0.0);
  }
  if (rawOnly) {
    SetCurrentDirectoryA(home);
    FILE* f = fopen(kRawResults, "w");
    if (f) {
      fputs(rawLines.c_str(), f);
      fclose(f);
    }
  }
  FreeDrawList(&list);
  FreeGridArrays();
  EndLibrary();
  return 0;
}
