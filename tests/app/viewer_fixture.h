// Shared fixture of the viewer tests: a fresh viewer state, a grid laid out and allocated as
// the program does it, and small helpers for data files and draw lists.
#pragma once
#include <gtest/gtest.h>

#include <math.h>
#include <string.h>

#include <string>
#include <vector>

#include "test_support.h"
#include "viewer_draw.h"
#include "viewer_files.h"
#include "viewer_state.h"

inline const double NaN = nan("");

class Viewer : public ::testing::Test {
 protected:
  void SetUp() override { SetViewerDefaults(); }
  void TearDown() override {
    FreeDrawList(&list);
    FreeGridArrays();
  }
  // A w x r grid laid out and allocated as WinMain does it.
  void MakeGrid(int w, int r) {
    VIEWER.grid.width = w;
    VIEWER.grid.rows = r;
    ComputeViewerLayout();
    ASSERT_EQ(AllocateGridArrays(), 0);
  }
  std::vector<DRAW_ITEM> ItemsOfKind(int kind) const {
    std::vector<DRAW_ITEM> out;
    for (int i = 0; i < list.count; ++i)
      if (list.items[i].kind == kind) out.push_back(list.items[i]);
    return out;
  }
  std::string TextOf(const DRAW_ITEM& item) const { return list.texts[item.text]; }
  DRAW_LIST list = {};
};

inline std::string Bytes(const std::vector<double>& values) {
  return std::string((const char*)values.data(), values.size() * sizeof(double));
}

inline void WriteGridFile(const std::string& text) { ASSERT_TRUE(WriteWholeFile("grid.txt", text)); }
