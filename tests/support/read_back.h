// Reading pictures back from the real device and the screen for the drawing tests: the
// presented back buffer, the window's client area, a graph's texture, and comparisons that
// name wrong pixels.
#pragma once
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdint>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "graphics/device/d3d_calls.h"
#include "graphics/device/device.h"
#include "graphics/device/draw_prepare.h"
#include "graphics/device/present.h"
#include "graphics/device/vertex_batch.h"
#include "graphics/graphs/graph_handles.h"
#include "korvel.h"
#include "system/base/window_state.h"

struct PICTURE {
  int width = 0, height = 0;
  std::vector<uint32_t> pixels;
  uint32_t At(int x, int y) const { return pixels[(size_t)y * width + x] & 0xFFFFFF; }
  void Set(int x, int y, uint32_t c) {
    if (x >= 0 && y >= 0 && x < width && y < height) pixels[(size_t)y * width + x] = c;
  }
  // The pixels of one colour inside a region, as "x,y" strings for readable failures.
  int Count(uint32_t color, int x1, int y1, int x2, int y2) const {
    int n = 0;
    for (int y = y1; y < y2; y++)
      for (int x = x1; x < x2; x++) n += At(x, y) == color;
    return n;
  }
};

// The back buffer as it was presented (the swap chain copies, so it keeps the frame).
inline PICTURE ReadBackBuffer() {
  PICTURE p;
  IDirect3DSurface9* back = GetScreenSurface();
  D3DSURFACE_DESC desc = {};
  DeviceCalls.SurfaceGetDesc(back, &desc);
  IDirect3DSurface9* copy = nullptr;
  if (FAILED(DeviceCalls.DeviceCreateOffscreenSurface(desc.Width, desc.Height, desc.Format, D3DPOOL_SYSTEMMEM, &copy,
                                                      nullptr)))
    return p;
  D3DLOCKED_RECT locked;
  if (SUCCEEDED(DeviceCalls.DeviceGetRenderTargetData(back, copy)) &&
      SUCCEEDED(DeviceCalls.SurfaceLockRect(copy, &locked, nullptr, D3DLOCK_READONLY))) {
    p.width = (int)desc.Width;
    p.height = (int)desc.Height;
    p.pixels.resize((size_t)p.width * p.height);
    for (int y = 0; y < p.height; y++)
      memcpy(&p.pixels[(size_t)y * p.width], (char*)locked.pBits + y * locked.Pitch, p.width * 4);
    DeviceCalls.SurfaceUnlockRect(copy);
  }
  DeviceCalls.ReleaseComObject(copy);
  return p;
}

// A graph's pixels as the device holds them, as 0xAARRGGBB: its rectangle of its first texture
// copied into a render target and read back. Empty when the graph has no texture.
inline std::vector<uint32_t> ReadGraphTexture(int handle) {
  std::vector<uint32_t> out;
  GRAPH_RECORD* g = GetGraphRecord(handle, 0);
  if (g == nullptr || g->imageSet == nullptr || g->imageSet->textureCount < 1 ||
      g->imageSet->textures[0].surface == nullptr)
    return out;
  IDirect3DSurface9 *target = nullptr, *system = nullptr;
  RECT rect = {g->x, g->y, g->x + g->width, g->y + g->height}, dest = {0, 0, g->width, g->height};
  D3DLOCKED_RECT locked;
  if (SUCCEEDED(DeviceCalls.DeviceCreateRenderTarget((UINT)g->width, (UINT)g->height, D3DFMT_A8R8G8B8,
                                                     D3DMULTISAMPLE_NONE, 0, FALSE, &target, nullptr)) &&
      SUCCEEDED(DeviceCalls.DeviceCreateOffscreenSurface((UINT)g->width, (UINT)g->height, D3DFMT_A8R8G8B8,
                                                         D3DPOOL_SYSTEMMEM, &system, nullptr)) &&
      SUCCEEDED(DeviceCalls.DeviceStretchRect(g->imageSet->textures[0].surface, &rect, target, &dest, D3DTEXF_NONE)) &&
      SUCCEEDED(DeviceCalls.DeviceGetRenderTargetData(target, system)) &&
      SUCCEEDED(DeviceCalls.SurfaceLockRect(system, &locked, nullptr, D3DLOCK_READONLY))) {
    for (int y = 0; y < g->height; y++) {
      const uint32_t* row = (const uint32_t*)((const uint8_t*)locked.pBits + y * locked.Pitch);
      out.insert(out.end(), row, row + g->width);
    }
    DeviceCalls.SurfaceUnlockRect(system);
  }
  if (system != nullptr) DeviceCalls.ReleaseComObject(system);
  if (target != nullptr) DeviceCalls.ReleaseComObject(target);
  return out;
}

// A window's client area (the library's own unless given) as the screen shows it, read
// through the screen's DC: the window's own DC does not see what Direct3D presented into it.
// What GDI drew into the window (the software present) is read through the window's DC.
enum READ_SOURCE { READ_FROM_SCREEN, READ_FROM_WINDOW_DC };
inline PICTURE ReadWindow(HWND window = WindowState.mainWindow, READ_SOURCE source = READ_FROM_SCREEN) {
  PICTURE p;
  RECT client;
  GetClientRect(window, &client);
  p.width = client.right;
  p.height = client.bottom;
  POINT origin = {0, 0};
  HWND owner = source == READ_FROM_SCREEN ? nullptr : window;
  if (owner == nullptr) ClientToScreen(window, &origin);
  HDC dc = GetDC(owner);
  HDC memory = CreateCompatibleDC(dc);
  BITMAPINFO info = {};
  info.bmiHeader.biSize = sizeof(info.bmiHeader);
  info.bmiHeader.biWidth = p.width;
  info.bmiHeader.biHeight = -p.height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  HGDIOBJ old = SelectObject(memory, bitmap);
  BitBlt(memory, 0, 0, p.width, p.height, dc, origin.x, origin.y, SRCCOPY);
  GdiFlush();
  p.pixels.assign((uint32_t*)bits, (uint32_t*)bits + (size_t)p.width * p.height);
  SelectObject(memory, old);
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(owner, dc);
  return p;
}

inline unsigned int Packed(uint32_t rgb) { return PackScreenColor(rgb >> 16 & 0xFF, rgb >> 8 & 0xFF, rgb & 0xFF); }

// Lists the lit pixels of a region that the rule does not expect, and the expected ones left
// dark, as "x,y" lists.
inline std::string Mismatches(const PICTURE& p, uint32_t color, int x1, int y1, int x2, int y2,
                              const std::function<bool(int, int)>& lit) {
  std::string extra, missing;
  for (int y = y1; y < y2; y++)
    for (int x = x1; x < x2; x++) {
      bool is = p.At(x, y) == color, want = lit(x, y);
      if (is && !want) extra += std::to_string(x) + "," + std::to_string(y) + " ";
      if (!is && want) missing += std::to_string(x) + "," + std::to_string(y) + " ";
    }
  if (extra.empty() && missing.empty()) return "";
  return "extra: " + extra + " missing: " + missing;
}

// A clean frame for a drawing test: the back screen, the whole 640 x 480 area, no blending,
// full brightness, cleared.
inline void ResetDrawing() {
  SelectDrawTarget(-2);
  SetDrawClipArea(0, 0, 640, 480);
  SelectBlendMode(0, 0);
  SelectDrawBrightness(255, 255, 255);
  ClearDrawTarget(nullptr);
}

// Flips and reads back the frame just presented.
inline PICTURE FlipAndRead() {
  EXPECT_EQ(FlipScreenBuffers(), 0);
  return ReadBackBuffer();
}

// Appends one filled box as two triangles of untextured 2D vertices with a device colour
// (0xAARRGGBB), flushing other vertex types first as the box drawing does. With prepare set
// the untextured draw states are brought in first.
inline void AppendRawBox(int x1, int y1, int x2, int y2, DWORD color, int prepare) {
  if (VertexBatch.vertexType != 0) {
    FlushVertexBatch(0);
    SelectBatchVertexType(0);
  }
  if (prepare) PrepareDrawStates(nullptr, 0);
  VERTEX_2D* v = (VERTEX_2D*)ReserveBatchVertices(0, D3DPT_TRIANGLELIST, 6);
  const float xs[6] = {(float)x1, (float)x2, (float)x1, (float)x2, (float)x2, (float)x1};
  const float ys[6] = {(float)y1, (float)y1, (float)y2, (float)y1, (float)y2, (float)y2};
  for (int i = 0; i < 6; i++) {
    v[i].x = xs[i], v[i].y = ys[i], v[i].z = 0.2f, v[i].rhw = 1.0f;
    v[i].diffuse = color;
  }
  CommitBatchVertices(6);
}
