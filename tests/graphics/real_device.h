// Starts the library windowed and a real Direct3D 9 device of 640 x 480 under it, the way the
// graphics start-up will, for test programs that need a device without the whole start-up.
#pragma once
#include <gtest/gtest.h>
#include <windows.h>

#include "graphics/d3d_calls.h"
#include "graphics/device.h"
#include "graphics/draw_settings.h"
#include "graphics/screen.h"
#include "graphics/shader_constants.h"
#include "graphics/state_cache.h"
#include "graphics/vertex_batch.h"
#include "korvel.h"
#include "system/window_state.h"

inline void StartRealDevice() {
  DeleteFileA("Log.txt");
  AllowMultipleInstances(1);
  SetRunWhileInactive(1);
  ChangeWindowMode(1);
  ASSERT_EQ(InitLibrary(), 0);
  ASSERT_NE(WindowState.mainWindow, nullptr);
  ScreenState.deviceWidth = ScreenState.mainWidth = 640;
  ScreenState.deviceHeight = ScreenState.mainHeight = 480;
  ScreenState.colorBits = 32;
  ASSERT_EQ(LoadDirect3D9Library(), 0);
  ASSERT_EQ(CreateDirectDrawObject(), 0);
  ASSERT_EQ(CreateDirect3DObject(), 0);
  ASSERT_EQ(SetUpDirect3DDevice(), 0);
  ScreenState.hardwareRendering = 1;
  InitShaderConstantSets(&ShaderConstants);
  SelectShaderConstantSets(&ShaderConstants, 1);
  InitDrawSettings();
  ASSERT_EQ(InitDeviceStates(), 0);
}

inline void EndRealDevice() {
  ReleaseDirect3DDevice();
  ReleaseDirect3D();
  ReleaseDirectDrawObject();
  FreeDirect3D9Library();
  EndLibrary();
}
