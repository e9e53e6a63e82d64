// Small graphs for the filter tests: made from pixel rules (0xAARRGGBB per pixel), read back
// whole through the draw-screen lock, and compared pixel by pixel with a named first miss.
#pragma once
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdint>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "graphics/draw/draw_target.h"
#include "graphics/draw/screen_lock.h"
#include "graphics/graphs/graph_create.h"
#include "graphics/graphs/graph_handles.h"
#include "image/raster_image.h"
#include "korvel.h"

typedef std::function<uint32_t(int x, int y)> PIXEL_RULE;

struct PIXELS {
  int width = 0, height = 0;
  std::vector<uint32_t> argb;
  uint32_t At(int x, int y) const { return argb[(size_t)y * width + x]; }
};

inline uint32_t Argb(int a, int r, int g, int b) {
  return (uint32_t)a << 24 | (uint32_t)r << 16 | (uint32_t)g << 8 | (uint32_t)b;
}
inline int Channel(uint32_t argb, int shift) { return (int)(argb >> shift & 0xFF); }

inline RASTER_IMAGE MakeImage(int width, int height, const PIXEL_RULE& rule) {
  RASTER_IMAGE image;
  EXPECT_EQ(AllocARGB8Image(width, height, &image), 0);
  for (int y = 0; y < height; y++)
    for (int x = 0; x < width; x++) {
      uint32_t c = rule(x, y);
      memcpy((char*)image.pixels + y * image.pitch + x * 4, &c, 4);
    }
  return image;
}

// A graph of the size filled by the rule: drawable (a render target) or a plain texture graph,
// with or without an alpha channel; maxTexture > 0 cuts it into textures of at most that side.
inline int MakeGraph(int width, int height, const PIXEL_RULE& rule, int drawable = 1, int alpha = 1,
                     int maxTexture = 0) {
  RASTER_IMAGE image = MakeImage(width, height, rule);
  int graph = -1;
  if (drawable) {
    GRAPH_CREATE_PARAM param;
    CaptureGraphCreateParam(&param);
    param.drawable = 1;
    param.drawableAlpha = alpha;
    param.colorBits = 32;
    param.maxTextureSize = maxTexture;
    graph = CreateBlankGraph(&param, width, height, 0, 0, 0);
    if (graph >= 0 && TransferBaseImageToGraph(nullptr, nullptr, nullptr, 0, &image, nullptr, 0, 0, graph) != 0) {
      DeleteGraphHandle(graph, 0);
      graph = -1;
    }
  } else {
    GRAPH_LOAD_SETTINGS settings;
    CaptureGraphLoadSettings(&settings);
    settings.create.maxTextureSize = maxTexture;
    graph = NewGraphHandle();
    if (graph != -1 && BuildGraphFromImages(&settings, 0, graph, &image, nullptr, 0, 0) < 0) {
      DeleteGraphHandle(graph, 0);
      graph = -1;
    }
  }
  DisposeImage(&image);
  return graph;
}

// The number of textures a graph is held in.
inline int TextureCount(int graph) {
  GRAPH_RECORD* g = GetGraphRecord(graph, 0);
  return g != nullptr && g->imageSet != nullptr ? g->imageSet->textureCount : 0;
}

// The whole graph through the draw-screen lock, texture by texture for a graph held in several.
inline PIXELS ReadGraph(int graph) {
  PIXELS p;
  int width = 0, height = 0;
  GRAPH_RECORD* g = GetGraphRecord(graph, 0);
  if (g == nullptr || GetGraphOrScreenSize(graph, &width, &height) != 0) return p;
  std::vector<uint32_t> argb((size_t)width * height);
  // Pieces in texture coordinates and where they lie in the graph; a software graph is one.
  struct PART {
    RECT texel;
    int textureIndex, x, y;
  };
  std::vector<PART> parts;
  if (g->imageSet != nullptr && g->imageSet->desc.heldAsTextures) {
    for (int i = 0; i < g->pieceCount; i++) {
      const GRAPH_PIECE& piece = g->pieces[i];
      RECT texel = {piece.textureX, piece.textureY, piece.textureX + piece.width, piece.textureY + piece.height};
      parts.push_back({texel, (int)(piece.texture - g->imageSet->textures), piece.graphX, piece.graphY});
    }
  } else {
    parts.push_back({{0, 0, width, height}, 0, 0, 0});
  }
  for (const PART& part : parts) {
    RASTER_IMAGE locked, copy;
    if (LockDrawScreenImage(&part.texel, &locked, graph, 1, part.textureIndex) != 0) return p;
    EXPECT_EQ(AllocARGB8Image(locked.width, locked.height, &copy), 0);
    CopyWholeImage(0, 0, &locked, &copy);
    UnlockDrawScreenImage();
    for (int y = 0; y < copy.height; y++)
      memcpy(&argb[(size_t)(part.y + y) * width + part.x], (char*)copy.pixels + y * copy.pitch, copy.width * 4);
    DisposeImage(&copy);
  }
  p.width = width, p.height = height;
  p.argb = argb;
  return p;
}

// "" when every pixel the filter is asked about matches within the tolerance per channel (the
// alpha too unless ignored); else the first pixel that does not, with both values.
inline std::string Compare(const PIXELS& got, const PIXEL_RULE& want, int tolerance, bool withAlpha = true,
                           const std::function<bool(int, int)>& asked = nullptr) {
  if (got.argb.empty()) return "nothing read back";
  for (int y = 0; y < got.height; y++)
    for (int x = 0; x < got.width; x++) {
      if (asked && !asked(x, y)) continue;
      uint32_t g = got.At(x, y), w = want(x, y);
      for (int shift = 0; shift < (withAlpha ? 32 : 24); shift += 8)
        if (abs(Channel(g, shift) - Channel(w, shift)) > tolerance) {
          char text[96];
          snprintf(text, sizeof text, "pixel %d,%d: got %08X, want %08X", x, y, (unsigned)g, (unsigned)w);
          return text;
        }
    }
  return "";
}

// Filter parameters as a list padded with zeros (the filter reads only its own).
inline int ApplyWithParams(int graph, int type, const std::vector<int>& p) {
  int a[6] = {0, 0, 0, 0, 0, 0};
  for (size_t i = 0; i < p.size() && i < 6; i++) a[i] = p[i];
  return ApplyGraphFilter(graph, type, a[0], a[1], a[2], a[3], a[4], a[5]);
}

inline int PackedColor(uint32_t rgb) { return (int)PackScreenColor(rgb >> 16 & 0xFF, rgb >> 8 & 0xFF, rgb & 0xFF); }
