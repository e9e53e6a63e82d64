#include "graphics/lifecycle/graphics_startup.h"

#include <windows.h>

#include "core/log.h"
#include "core/maths.h"
#include "graphics/device/d3d_calls.h"
#include "graphics/device/buffers.h"
#include "graphics/device/device.h"
#include "graphics/device/device_resources.h"
#include "graphics/device/draw_settings.h"
#include "graphics/graphs/graph_handles.h"
#include "graphics/graphs/graph_records.h"
#include "graphics/device/lights.h"
#include "graphics/draw/mask.h"
#include "graphics/device/present.h"
#include "graphics/device/screen.h"
#include "graphics/lifecycle/screen_mode.h"
#include "graphics/device/shader_constants.h"
#include "graphics/device/shader_handles.h"
#include "graphics/software/software_screen.h"
#include "graphics/device/state_cache.h"
#include "graphics/graphs/texture_transfer.h"
#include "graphics/device/vertex_batch.h"
#include "graphics/draw/draw2d.h"
#include "filter/filter_resources.h"
#include "filter/filter_selftest.h"
#include "font/font_handles.h"
#include "image/memimg_draw_state.h"
#include "korvel.h"
#include "model/model_buffers.h"
#include "model/model_system.h"
#include "system/base/sysinfo.h"
#include "system/base/window_state.h"

namespace {
// Windows Vista and later: the emulated small screen needs a GDI display-mode change of its own.
int IsVistaOrLater() { return WindowState.osCode >= OS_CODE_VISTA ? 1 : 0; }

// A Direct3D start that failed part-way: everything it made goes, and drawing falls back to
// the software renderer.
void DropDirect3D() {
  ReleaseDepthBuffer();
  ReleaseDirect3DDevice();
  SetSceneOpen(0);
  ReleaseDirect3D();
}

int TryHardwareRendering() {
  if (!WindowState.windowedMode && IsVistaOrLater() && IsSmallScreenEmulated() && ChangeDisplayMode() != 0) return -1;
  int result;
  do {
    if (CreateDirect3DObject() != 0) return -1;
    result = SetUpDirect3DDevice();
  } while (result == -2);
  if (result != 0 || CreateDepthBuffer() != 0) return -1;
  ScreenState.hardwareRendering = 1;
  LoadBuiltInShaders();
  if (StateFlags.programmableShaders) {
    CreateVertexDeclarations();
    CreateBrightestColorVolumeTexture();
  }
  return 0;
}

// The handle types that live with the graphics system: graphs, shaders, vertex and index buffers.
int RegisterGraphicsHandleTypes() {
  if (InitHandleType(HANDLE_TYPE_GRAPH, sizeof(GRAPH_RECORD), GRAPH_HANDLE_MAX, InitGraphRecord, ReleaseGraphRecord,
                     kGraphHandleTypeName) != 0)
    return -1;
  if (RegisterShaderHandleType() != 0 || InitBufferHandleTypes() != 0) return -1;
  return 0;
}

void EndGraphicsHandleTypes() {
  EndBufferHandleTypes();
  EndHandleType(HANDLE_TYPE_SHADER);
  EndHandleType(HANDLE_TYPE_GRAPH);
}
}  // namespace

void SetDefaultScreenImageType(int bits) {
  SetDefaultMemImgType(bits == 32 ? MEMIMG_TYPE_32BIT : MEMIMG_TYPE_RGB565);
}

int StartDirect3D() {
  if (LoadDirect3D9Library() != 0) return -1;
  if (CreateDirectDrawObject() != 0) {
    FreeDirect3D9Library();
    return -1;
  }
  ScreenState.hardwareRendering = 0;
  if (!ScreenState.softwareOnly) {
    if (TryHardwareRendering() == 0) {
      MeasureRefreshPeriod();
      return 0;
    }
    DropDirect3D();
  }
  if (!WindowState.windowedMode && ChangeDisplayMode() != 0) return -1;
  MeasureRefreshPeriod();
  return 0;
}

int EndDirect3D() {
  ReleaseAllModelVertexBuffers();
  ReleaseVertexDeclarations();
  ReleaseBuiltInShaders();
  // The display mode goes back where ChangeDisplayMode changed it. A windowed software
  // screen never changed it, and resetting the display then would disturb the desktop.
  if (!ScreenState.hardwareRendering || (IsVistaOrLater() && IsSmallScreenEmulated())) RestoreDisplayMode();
  ReleaseDepthBuffer();
  ReleaseSubBackBuffer();
  ReleaseBrightestColorVolumeTexture();
  ReleaseDirect3DDevice();
  SetSceneOpen(0);
  ReleaseDirect3D();
  ReleaseDirectDrawObject();
  FreeDirect3D9Library();
  FreeDisplayModeList();
  ScreenState.hardwareRendering = 0;
  return 0;
}

int StartUpGraphics() {
  if (ScreenState.graphicsStarted) return 0;
  if (ScreenState.deviceWidth == 0 || ScreenState.deviceHeight == 0) StoreMainScreenSize(640, 480);
  if (ScreenState.colorBits == 0) {
    ScreenState.colorBits = 16;
    SetDefaultScreenImageType(16);
  }
  if (!WindowState.windowedMode && ScreenState.deviceWidth == 320 && ScreenState.deviceHeight == 240) {
    DeviceSettings.autoSmallScreen = 1;
    StoreMainScreenSize(640, 480);
  }
  InitShaderConstantSets(&ShaderConstants);
  SelectShaderConstantSets(&ShaderConstants, 1);
  if (StartDirect3D() != 0) {
    ShutDownGraphics();
    return -1;
  }
  if (RegisterGraphicsHandleTypes() != 0) {
    ShutDownGraphics();
    return -1;
  }
  ScreenState.graphicsStarted = 1;
  if (ScreenState.hardwareRendering) InitDeviceStates();
  else CreateSoftwareScreenImages();
  InitDrawSettings();
  BuildMemImgTables();
  InitFontSystem();
  InitMaskHandleType();
  if (ScreenState.hardwareRendering) ResendDeviceStates();
  // The filters start without shaders and without the in-place verdict, which the self-test
  // gives where pixel shaders run.
  ResetFilterResources();
  if (FilterShadersUsable()) RunFilterSelfTest();
  return 0;
}

int ShutDownGraphics() {
  EndFontSystem();
  if (ScreenState.graphicsStarted) {
    FlushVertexBatch(0);
    EndMaskSystem();
    DeleteAllModels();
    DeleteAllModelBases();
    DeleteHandlesOfType(HANDLE_TYPE_GRAPH, nullptr);
    ReleaseTextureCache();
    DeleteHandlesOfType(HANDLE_TYPE_VERTEX_BUFFER, nullptr);
    DeleteHandlesOfType(HANDLE_TYPE_INDEX_BUFFER, nullptr);
    DeleteHandlesOfType(HANDLE_TYPE_SHADER, nullptr);
    RemoveEveryLight();
    EndDirect3D();
    ReleaseSoftwareScreenImages();
    ReleaseGraphVerticesWork();
    FreeBuiltInShaderCode();
    ScreenState.graphicsStarted = 0;
  }
  // A start that failed part-way may have registered some of the types.
  EndGraphicsHandleTypes();
  return 0;
}
