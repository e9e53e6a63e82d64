// Loading test files from memory and reading their pixels, for the image loader tests.
#pragma once
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "core/memory.h"
#include "image/image_load.h"
#include "test_support.h"

inline int LoadFromBytes(const std::string& bytes, RASTER_IMAGE* out, int reverse = 0) {
  return LoadImageSimple(nullptr, bytes.data(), (int)bytes.size(), 1, out, reverse);
}

// The bytes of pixel (x, y).
inline std::string PixelAt(const RASTER_IMAGE& img, int x, int y) {
  const char* p = (const char*)img.pixels + (size_t)y * img.pitch + (size_t)x * img.format.bytesPerPixel;
  return std::string(p, img.format.bytesPerPixel);
}

inline std::string Bytes(std::initializer_list<int> values) {
  std::string s;
  for (int v : values) s += (char)v;
  return s;
}

inline std::string Fixture(const char* name) { return ReadWholeFile(SourcePath(std::string("tests/image/fixtures/") + name)); }

// Releases the image and checks that the tracked allocator holds no block more than before.
struct ImageGuard {
  RASTER_IMAGE image, alpha;
  int blocks;
  ImageGuard() : blocks(GetAllocBlockCount()) {
    memset(&image, 0, sizeof image);
    memset(&alpha, 0, sizeof alpha);
  }
  ~ImageGuard() {
    DisposeImage(&image);
    DisposeImage(&alpha);
    EXPECT_EQ(GetAllocBlockCount(), blocks) << "a block was left allocated";
  }
};
