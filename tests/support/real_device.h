// Starts the library windowed at 640 x 480 (32-bit colour unless asked), which brings up the real
// Direct3D 9 device and everything the graphics start-up registers (graph, shader, buffer,
// font and mask handle types), for test programs that draw or need device objects.
#pragma once
#include <gtest/gtest.h>
#include <windows.h>

#include "graphics/device/d3d_calls.h"
#include "graphics/device/device.h"
#include "graphics/device/draw_settings.h"
#include "graphics/device/screen.h"
#include "graphics/device/shader_constants.h"
#include "graphics/device/state_cache.h"
#include "graphics/device/vertex_batch.h"
#include "korvel.h"
#include "system/base/window_state.h"

inline void StartRealDevice(int bits = 32) {
  DeleteFileA("Log.txt");
  AllowMultipleInstances(1);
  SetRunWhileInactive(1);
  ChangeWindowMode(1);
  SetScreenMode(640, 480, bits, 0);
  ASSERT_EQ(InitLibrary(), 0);
  ASSERT_NE(WindowState.mainWindow, nullptr);
  ASSERT_TRUE(HasDirect3DDevice());
}

inline void EndRealDevice() { EndLibrary(); }
