// A blend graph with a border, shared by the device and the software tests: a 64 x 16 blend
// graph whose column x holds 4x draws a white graph only where its value reaches the border.
#pragma once
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>

#include "graphics/device/draw_settings.h"
#include "graphics/graphs/graph_create.h"
#include "graphics/graphs/graph_handles.h"
#include "korvel.h"

// Border parameter and range; columns left of `edge` keep the background, columns right of
// it show the graph (the edge column itself is a soft step and is not compared).
struct BORDER_CASE {
  int param, range, edge;
};
const BORDER_CASE kBorderCases[] = {{128, 0, 32}, {64, 0, 16}, {255, 0, 64}, {0, 0, 0}};

// A 64 x 16 graph of one colour (blend: a blend graph whose column x holds 4x in every channel).
inline int MakeBorderTestGraph(int blend) {
  RASTER_IMAGE img = {};
  if (AllocXRGB8Image(64, 16, &img) != 0) return -1;
  for (int y = 0; y < 16; y++)
    for (int x = 0; x < 64; x++)
      ((uint32_t*)((uint8_t*)img.pixels + y * img.pitch))[x] = blend ? 0xFF000000u | 0x010101u * (uint32_t)(4 * x) : 0xFFFFFFFFu;
  GRAPH_LOAD_SETTINGS settings;
  CaptureGraphLoadSettings(&settings);
  settings.create.blendImage = blend;
  int graph = NewGraphHandle();
  if (graph != -1 && BuildGraphFromImages(&settings, 0, graph, &img, nullptr, 0, 0) != 0) {
    DeleteGraphHandle(graph, 0);
    graph = -1;
  }
  DisposeImage(&img);
  return graph;
}

// Draws the white graph at (100, 50) through the blend graph for every case on a black
// target; `clear` empties the target and `read` returns the pixel (x, y) after the draw.
inline void ExpectBorderBlends(const std::function<void()>& clear, const std::function<uint32_t(int, int)>& read) {
  int blend = MakeBorderTestGraph(1), graph = MakeBorderTestGraph(0);
  ASSERT_NE(blend, -1);
  ASSERT_NE(graph, -1);
  EXPECT_EQ(SelectBlendGraph(12345, 1, nullptr), -1) << "no such graph";
  for (const BORDER_CASE& c : kBorderCases) {
    clear();
    ASSERT_EQ(SetBlendGraphWithBorder(blend, c.param, c.range), 0);
    EXPECT_EQ(DrawGraphAt(100, 50, graph, 0), 0);
    ASSERT_EQ(SelectBlendGraph(-1, 0, nullptr), 0);
    int wrong = 0;
    for (int y = 48; y < 68; y++)
      for (int x = 98; x < 166; x++) {
        int column = x - 100;
        if (column == c.edge) continue;
        bool shown = y >= 50 && y < 66 && column >= 0 && column < 64 && column > c.edge;
        // A full weight gives 254 or 255 per channel (the CPU blend loses one step).
        uint32_t got = read(x, y) & 0xFFFFFF;
        bool right = shown ? (got & 0xFEFEFE) == 0xFEFEFE : got == 0;
        if (!right && wrong++ < 5)
          ADD_FAILURE() << "border " << c.param << "," << c.range << " pixel " << x << "," << y << " " << std::hex << got;
      }
  }
  // The arguments are clamped; the stored handle goes back to none.
  ASSERT_EQ(SelectBlendGraphArgs(blend, 1, 300, -5), 0);
  EXPECT_EQ(DrawSettings.borderParam, 255);
  EXPECT_EQ(DrawSettings.borderRange, 0);
  EXPECT_EQ(DrawSettings.blendGraph, blend);
  ASSERT_EQ(SelectBlendGraph(0, 0, nullptr), 0);
  EXPECT_EQ(DrawSettings.blendGraph, -1);
  DeleteGraphHandle(graph, 0);
  DeleteGraphHandle(blend, 0);
}
