// Shared fixtures of the CPU renderer tests: small images built by the test, pixel access and
// a draw state reset.
#pragma once
#include <gtest/gtest.h>

#include <cstring>

#include "image/memimg.h"
#include "image/memimg_draw_state.h"
#include "softrender/render_common.h"
#include "softrender/softrender.h"

// A MEMIMG owned by the test.
struct TestImage {
  MEMIMG m = {};
  TestImage(int type, int width, int height, int palette = 0, int alpha = 0, uint32_t transparent = 0, int runs = 0) {
    EXPECT_EQ(SetupMemImg(&m, width, height, -1, transparent, type, palette, alpha, runs, nullptr), 0);
    memset(m.store->pixels, 0, (size_t)m.store->pitch * height);
  }
  ~TestImage() { ReleaseMemImg(&m); }
  TestImage(const TestImage&) = delete;
  TestImage& operator=(const TestImage&) = delete;
  int Bytes() const { return GetMemImgPixelBytes(m.store); }
  uint32_t Get(int x, int y) const {
    uint32_t v = 0;
    memcpy(&v, m.pixels + y * m.store->pitch + x * Bytes(), Bytes());
    return v;
  }
  void Set(int x, int y, uint32_t v) { memcpy(m.pixels + y * m.store->pitch + x * Bytes(), &v, Bytes()); }
  void Fill(uint32_t v) {
    for (int y = 0; y < m.height; y++)
      for (int x = 0; x < m.width; x++) Set(x, y, v);
  }
  void SetPalette(int index, uint32_t v) {
    int size = m.store->pixelType == MEMIMG_TYPE_32BIT ? 4 : 2;
    memcpy(m.store->paletteBlock + index * size, &v, size);
  }
};

// Draw state for a target: clip = whole target, no tint, the given mode and parameter.
inline void ResetDrawState(const TestImage& target, int mode = 0, int param = 255) {
  BuildMemImgTables();
  RECT clip = {0, 0, target.m.width, target.m.height};
  SetMemImgClipRect(&clip);
  SetMemImgBlendMode(mode, param);
  SetMemImgTint(0xFFFFFF);
  ForceSoftRenderMmx(-1);
}

// A small deterministic generator for random images.
struct TestRandom {
  uint32_t state;
  explicit TestRandom(uint32_t seed) : state(seed) {}
  uint32_t Next() {
    state = state * 1664525u + 1013904223u;
    return state ^ (state >> 16);
  }
  int Below(int n) { return (int)(Next() % (uint32_t)n); }
};
