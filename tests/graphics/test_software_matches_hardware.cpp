// One scene of boxes, outlines and axis-aligned lines drawn twice in one process: first on
// Wine's Direct3D device, then, after a screen-mode restart whose device creation is made to
// fail through the device call table, by the software renderer. The two pictures read back
// from the window must be the same pixel for pixel. A second scene of thick diagonal lines and
// a turned graph must agree inside its shapes, where the two rasterisers do. (A draw brightness other than white is
// left out: the device scales by /255 and the CPU kernels by >>8; so is an upward vertical
// line, whose first pixel Wine's rasteriser leaves out while the kernel draws its start.)
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "core/handles.h"
#include "graphics/device/d3d_calls.h"
#include "graphics/graphs/graph_create.h"
#include "graphics/graphs/graph_handles.h"
#include "graphics/software/software_draw.h"
#include "graphics/device/screen.h"
#include "graphics/lifecycle/screen_mode.h"
#include "korvel.h"
#include "system/base/window_state.h"
#include "test_support.h"

namespace {
// The window's client area through the screen's DC (which also sees what Direct3D presented).
std::vector<uint32_t> ReadWindow(int width, int height) {
  POINT origin = {0, 0};
  ClientToScreen(WindowState.mainWindow, &origin);
  HDC dc = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(dc);
  BITMAPINFO info = {};
  info.bmiHeader.biSize = sizeof(info.bmiHeader);
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  HGDIOBJ old = SelectObject(memory, bitmap);
  BitBlt(memory, 0, 0, width, height, dc, origin.x, origin.y, SRCCOPY);
  GdiFlush();
  std::vector<uint32_t> pixels((uint32_t*)bits, (uint32_t*)bits + (size_t)width * height);
  for (uint32_t& c : pixels) c &= 0xFFFFFF;
  SelectObject(memory, old);
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(nullptr, dc);
  return pixels;
}

// The picture once the scene's first box shows on the screen in its colour (the window system
// may show a present a little later), within two seconds.
std::vector<uint32_t> ReadShownScene(uint32_t mark = 0xFF0000) {
  std::vector<uint32_t> pixels;
  for (int i = 0; i < 40; i++) {
    pixels = ReadWindow(640, 480);
    if (pixels[10 * 640 + 10] == mark) break;
    PumpWindowMessages();
    Sleep(50);
  }
  return pixels;
}

unsigned int Packed(int r, int g, int b) { return PackScreenColor(r, g, b); }

void DrawScene() {
  SelectDrawTarget(-2);
  SetDrawClipArea(0, 0, 640, 480);
  ClearDrawTarget(nullptr);
  DrawRectangle(10, 10, 40, 30, Packed(255, 0, 0), 1);
  DrawRectangle(90, 30, 50, 10, Packed(0, 255, 0), 1);
  DrawRectangle(630, 470, 700, 520, Packed(0, 0, 255), 1);
  DrawRectangle(100, 10, 104, 14, Packed(255, 255, 255), 0);
  DrawRectangle(120, 10, 150, 30, Packed(0, 0, 255), 0);
  DrawRectangle(160, 10, 162, 12, Packed(255, 255, 0), 0);
  DrawRectangle(170, 10, 171, 15, Packed(255, 255, 0), 0);
  DrawLineSegment(10, 50, 60, 50, Packed(255, 0, 0), 1);
  DrawLineSegment(60, 55, 10, 55, Packed(0, 255, 0), 1);
  DrawLineSegment(80, 40, 80, 90, Packed(0, 0, 255), 1);
  DrawLineSegment(90, 40, 90, 90, Packed(255, 255, 255), 1);
  DrawLineSegment(200, 100, 300, 100, Packed(255, 255, 0), 3);
  DrawLineSegment(250, 120, 250, 200, Packed(0, 255, 255), 5);
  SetDrawClipArea(400, 200, 450, 240);
  DrawRectangle(380, 190, 420, 220, Packed(255, 0, 0), 1);
  DrawRectangle(430, 230, 470, 260, Packed(0, 255, 0), 0);
  DrawLineSegment(390, 235, 460, 235, Packed(0, 0, 255), 1);
  DrawLineSegment(440, 180, 440, 260, Packed(255, 255, 255), 1);
  SetDrawClipArea(0, 0, 640, 480);
  FlipScreenBuffers();
}

// A 32 x 32 graph of four solid 16 x 16 quadrants.
HANDLE_VALUE MakeQuadrantGraph() {
  RASTER_IMAGE image;
  if (AllocXRGB8Image(32, 32, &image) != 0) return -1;
  const uint32_t colours[4] = {0xFFFF0000, 0xFF00FF00, 0xFF0000FF, 0xFFFFFFFF};
  for (int y = 0; y < 32; y++)
    for (int x = 0; x < 32; x++)
      ((uint32_t*)((uint8_t*)image.pixels + y * image.pitch))[x] = colours[(y / 16) * 2 + x / 16];
  HANDLE_VALUE graph = BuildGraphFromBaseImage(&image, nullptr, 0);
  DisposeImage(&image);
  return graph;
}

// Shapes whose edges the two rasterisers place differently: thick lines off the axes and a
// graph turned on four corners (a parallelogram, which both paths map affinely).
void DrawQuadScene(HANDLE_VALUE graph) {
  SelectDrawTarget(-2);
  SetDrawClipArea(0, 0, 640, 480);
  ClearDrawTarget(nullptr);
  DrawRectangle(10, 10, 40, 30, Packed(0, 255, 0), 1);  // the mark ReadShownScene waits for
  DrawLineSegment(50, 60, 250, 160, Packed(255, 255, 0), 9);
  DrawLineSegment(400, 50, 300, 200, Packed(0, 255, 255), 12);
  DrawLineSegment(100, 300, 110, 420, Packed(255, 0, 255), 6);
  DrawLineSegment(150, 250, 330, 250, Packed(255, 255, 255), 8);
  // Top-left, top-right, bottom-right, bottom-left: the graph five times its size, turned.
  DrawGraphQuad(graph, 480, 240, 608, 336, 512, 464, 384, 368, 0, 0);
  FlipScreenBuffers();
}

// The pixels where the device's picture is the same for two pixels around (the insides of
// shapes and of the background) and the software picture differs, as "x,y:hw/sw"; counts the
// lit pixels compared.
std::string InteriorDifferences(const std::vector<uint32_t>& hw, const std::vector<uint32_t>& sw, int* litCompared) {
  std::string out;
  *litCompared = 0;
  for (int y = 2; y < 478; y++)
    for (int x = 2; x < 638; x++) {
      const uint32_t h = hw[(size_t)y * 640 + x];
      bool uniform = true;
      for (int dy = -2; dy <= 2 && uniform; dy++)
        for (int dx = -2; dx <= 2; dx++)
          if (hw[(size_t)(y + dy) * 640 + x + dx] != h) uniform = false;
      if (!uniform) continue;
      *litCompared += h != 0;
      const uint32_t s = sw[(size_t)y * 640 + x];
      if (s != h && out.size() < 600) {
        char text[64];
        snprintf(text, sizeof text, "%d,%d:%06X/%06X ", x, y, h, s);
        out += text;
      }
    }
  return out;
}

// The first pixel of a drawable graph's texture, read back from the device.
uint32_t ReadFirstTexel(HANDLE_VALUE graph) {
  IDirect3DSurface9* surface = GetGraphRecord(graph, 0)->pieces[0].texture->surface;
  D3DSURFACE_DESC desc = {};
  DeviceCalls.SurfaceGetDesc(surface, &desc);
  IDirect3DSurface9* copy = nullptr;
  uint32_t texel = 0xDEADBEEF;
  if (FAILED(DeviceCalls.DeviceCreateOffscreenSurface(desc.Width, desc.Height, desc.Format, D3DPOOL_SYSTEMMEM, &copy,
                                                      nullptr)))
    return texel;
  D3DLOCKED_RECT locked;
  if (SUCCEEDED(DeviceCalls.DeviceGetRenderTargetData(surface, copy)) &&
      SUCCEEDED(DeviceCalls.SurfaceLockRect(copy, &locked, nullptr, D3DLOCK_READONLY))) {
    texel = *(const uint32_t*)locked.pBits;
    DeviceCalls.SurfaceUnlockRect(copy);
  }
  DeviceCalls.ReleaseComObject(copy);
  return texel;
}

// On the device a drawable graph is colour-filled with the clamped channels as 0xAARRGGBB; a
// graph that is not drawable is left as it is.
TEST(SoftwareMatchesHardware, FillGraphWithColorOnTextureGraphs) {
  DeleteFileA("Log.txt");
  AllowMultipleInstances(1);
  SetRunWhileInactive(1);
  ChangeWindowMode(1);
  ASSERT_EQ(InitLibrary(), 0);
  ASSERT_EQ(ScreenState.hardwareRendering, 1);
  // Graph handles: registered here unless graphics start-up already did.
  bool ownsGraphType = InitHandleType(HANDLE_TYPE_GRAPH, sizeof(GRAPH_RECORD), GRAPH_HANDLE_MAX, InitGraphRecord,
                                      ReleaseGraphRecord, kGraphHandleTypeName) == 0;
  GRAPH_CREATE_PARAM param;
  CaptureGraphCreateParam(&param);
  param.drawable = 1;
  param.drawableAlpha = 1;
  HANDLE_VALUE drawable = CreateBlankGraph(&param, 16, 16, 0, 0, 0);
  ASSERT_NE(drawable, -1);
  EXPECT_EQ(FillGraphWithColor(drawable, 300, -5, 128, 64, 0), 0);
  EXPECT_EQ(ReadFirstTexel(drawable), 0x40FF0080u);
  param.drawable = 0;
  HANDLE_VALUE plain = CreateBlankGraph(&param, 16, 16, 0, 0, 0);
  ASSERT_NE(plain, -1);
  EXPECT_EQ(FillGraphWithColor(plain, 255, 255, 255, 255, 0), 0);
  EXPECT_EQ(FillGraphWithColor(-1, 255, 255, 255, 255, 0), -1);
  DeleteGraphHandle(drawable, 0);
  DeleteGraphHandle(plain, 0);
  if (ownsGraphType) EndHandleType(HANDLE_TYPE_GRAPH);
  EndLibrary();
}

HRESULT FailCreateDevice(UINT, D3DDEVTYPE, HWND, DWORD, D3DPRESENT_PARAMETERS*, IDirect3DDevice9**) { return E_FAIL; }
HRESULT FailCreateDeviceEx(UINT, D3DDEVTYPE, HWND, DWORD, D3DPRESENT_PARAMETERS*, D3DDISPLAYMODEEX*,
                           IDirect3DDevice9Ex**) {
  return E_FAIL;
}

TEST(SoftwareMatchesHardware, SameSceneSamePixels) {
  DeleteFileA("Log.txt");
  AllowMultipleInstances(1);
  SetRunWhileInactive(1);
  ChangeWindowMode(1);
  ASSERT_EQ(SetScreenMode(640, 480, 32, 0), 0);
  ASSERT_EQ(InitLibrary(), 0);
  ASSERT_EQ(ScreenState.hardwareRendering, 1);
  HANDLE_VALUE graph = MakeQuadrantGraph();
  ASSERT_NE(graph, -1);
  DrawQuadScene(graph);
  std::vector<uint32_t> hardwareQuads = ReadShownScene(0x00FF00);
  EXPECT_EQ(DeleteGraphHandle(graph, 0), 0);
  DrawScene();
  std::vector<uint32_t> hardware = ReadShownScene();

  DeviceCalls.Direct3DCreateDevice = FailCreateDevice;
  DeviceCalls.Direct3DCreateDeviceEx = FailCreateDeviceEx;
  ASSERT_EQ(ChangeScreenMode(640, 480, 32, 1, -1), 0);
  DeviceCalls = RealDeviceCalls;
  ASSERT_EQ(ScreenState.hardwareRendering, 0);
  DrawScene();
  std::vector<uint32_t> software = ReadShownScene();

  int lit = 0;
  std::string differences;
  for (int y = 0; y < 480; y++)
    for (int x = 0; x < 640; x++) {
      uint32_t h = hardware[(size_t)y * 640 + x], s = software[(size_t)y * 640 + x];
      lit += h != 0;
      if (h != s && differences.size() < 600) {
        char text[64];
        snprintf(text, sizeof text, "%d,%d:hw %06X sw %06X ", x, y, h, s);
        differences += text;
      }
    }
  EXPECT_GT(lit, 2000);
  EXPECT_EQ(differences, "");

  // The triangle kernel and the device agree inside the shapes.
  graph = MakeQuadrantGraph();
  ASSERT_NE(graph, -1);
  DrawQuadScene(graph);
  std::vector<uint32_t> softwareQuads = ReadShownScene(0x00FF00);
  EXPECT_EQ(DeleteGraphHandle(graph, 0), 0);
  int litCompared = 0;
  EXPECT_EQ(InteriorDifferences(hardwareQuads, softwareQuads, &litCompared), "");
  EXPECT_GT(litCompared, 15000);
  EndLibrary();
}
}  // namespace
