#include "graphics/lifecycle/device_restore.h"

#include "core/handles.h"
#include "core/log.h"
#include "file/async_load.h"
#include "font/font_handles.h"
#include "graphics/device/buffers.h"
#include "graphics/device/camera.h"
#include "graphics/device/d3d_calls.h"
#include "graphics/device/device.h"
#include "graphics/device/device_resources.h"
#include "graphics/device/draw_settings.h"
#include "graphics/draw/draw_target.h"
#include "graphics/lifecycle/graphics_startup.h"
#include "graphics/graphs/graph_records.h"
#include "graphics/graphs/graph_reload.h"
#include "graphics/graphs/graph_textures.h"
#include "graphics/device/lights.h"
#include "graphics/draw/mask.h"
#include "graphics/device/screen.h"
#include "graphics/lifecycle/screen_mode.h"
#include "graphics/device/shader_handles.h"
#include "graphics/device/state_cache.h"
#include "graphics/graphs/texture_transfer.h"
#include "graphics/software/software_screen.h"
#include "korvel.h"
#include "model/model_buffers.h"
#include "model/model_textures.h"
#include "input/input_devices.h"
#include "movie/movie_handles.h"
#include "system/base/library_flags.h"
#include "system/base/window_state.h"

int RecreateDeviceResources() {
  if (!HasDirect3DDevice()) return 0;
  // The system texture pool: each entry in use gets a new texture of its kind.
  for (SYSTEM_TEXTURE_ENTRY& e : SystemTexturePool.entries) {
    if (!e.inUse || e.texture != nullptr) continue;
    D3DFORMAT format = e.formatIndex < TEXTURE_FORMAT_CLASS_COUNT ? DeviceCaps.textureFormats[e.formatIndex]
                                                                  : D3DFMT_UNKNOWN;
    if (FAILED(DeviceCalls.DeviceCreateTexture(e.width, e.height, e.mipLevels, D3DUSAGE_DYNAMIC, format,
                                               D3DPOOL_SYSTEMMEM, &e.texture, nullptr))) {
      e.texture = nullptr;
      WriteLogText("メモリテクスチャの作成に失敗しました\n");
    }
  }
  // Graph textures (their contents come back with the graphs' restore).
  int cursor = -1;
  while (GRAPH_RECORD* record = (GRAPH_RECORD*)NextHandleRecord(HANDLE_TYPE_GRAPH, &cursor))
    if (record->imageSet != nullptr) CreateGraphTextures(0, record->imageSet);
  // Buffers from their system copies, where the device keeps them across vertex processing.
  if (DeviceSettings.shaderModel2 || DeviceSettings.vertexShader2) RecreateAllBufferObjects();
  // Shaders from their kept byte code.
  cursor = -1;
  while (SHADER_HANDLE* record = (SHADER_HANDLE*)NextHandleRecord(HANDLE_TYPE_SHADER, &cursor)) {
    if (record->code == nullptr || record->object != nullptr) continue;
    IUnknown* object = nullptr;
    HRESULT hr = record->kind == 1
                     ? DeviceCalls.DeviceCreateVertexShader((const DWORD*)record->code, (IDirect3DVertexShader9**)&object)
                     : DeviceCalls.DeviceCreatePixelShader((const DWORD*)record->code, (IDirect3DPixelShader9**)&object);
    record->object = SUCCEEDED(hr) ? object : nullptr;
  }
  return 0;
}

int SetGraphicsRestoreHandler(int (*handler)()) {
  StoreRestoreCallback(handler);
  return 0;
}

// The reloads run to completion on this thread: asynchronous loading is off meanwhile.
// Without a program handler every graph is reloaded from its source.
int RestoreGraphicsContent() {
  int async = LibraryFlags.useAsyncLoading;
  LibraryFlags.useAsyncLoading = 0;
  if (DrawSettings.restoreCallback != nullptr)
    DrawSettings.restoreCallback();
  else
    RestoreAllGraphs();
  RebuildModelGeneratedTextures();
  RecreateAllFonts();
  LibraryFlags.useAsyncLoading = async;
  return 0;
}

int ReleaseGraphicsDevice() {
  if (LibraryFlags.graphicsOff) return 0;
  if (ScreenState.hardwareRendering) {
    ReleaseDeviceObjects();  // first: the movies give up their overlays before any object goes
    ReleaseMaskSurfaces();
    ReleaseAllBufferObjects();
  }
  EndDirect3D();
  return 0;
}

int RecreateGraphicsDeviceInMode(int bits, int width, int height, int refresh, int modeChange) {
  // No loader thread may hold a device object while the device goes: let them finish,
  // serving their device requests meanwhile.
  while (GetAsyncLoadTaskCount() > 0) {
    ServeMainThreadRequests();
    Sleep(WindowState.logicalProcessorCount > 1 ? 0 : 2);
  }
  ReleaseGraphicsDevice();
  if (modeChange) {
    StoreMainScreenSize(width, height);
    ScreenState.colorBits = bits;
    ScreenState.refreshRate = refresh;
    SetDefaultScreenImageType(bits);
  } else {
    ShutDownInputDevices();
    StartInputDevices();
  }
  if (LibraryFlags.graphicsOff || StartDirect3D() != 0) {
    CheckMovieSystemReady();
    return 0;
  }
  if (!ScreenState.hardwareRendering) {
    // No device: drawing goes on in software, into screen images of the (new) screen size.
    CreateSoftwareScreenImages();
    SelectDrawTarget(DrawSettings.drawTarget);
    CheckMovieSystemReady();
    return 0;
  }
  ReleaseSoftwareScreenImages();
  RecreateDeviceResources();
  RecreateMaskSurfaces();
  CAMERA_STATE& camera = DrawSettings.camera;
  MAT44F view = camera.view, projection = camera.projection, viewport = camera.viewport, world = camera.world;
  RECT area = DrawSettings.drawArea;
  SelectDrawTarget(DrawSettings.drawTarget);
  RestoreDeviceStates();
  // Both buffers of the new swap chain start cleared.
  for (int i = 0; i < 2; i++) {
    ClearDrawTarget(nullptr);
    FlipScreenBuffersEx(nullptr);
  }
  RestoreGraphicsContent();
  ResendDeviceStates();
  SetupAllModelBaseVertexBuffers(0);
  MarkLightsForResend();
  if (!modeChange) {
    SetDrawClipArea(area.left, area.top, area.right, area.bottom);
    SetWorldMatrix(world);
    SetViewMatrix(view);
    SetProjectionUserMatrix(projection);
    SetViewportMatrix(viewport);
  }
  // The extra render targets go back onto the new device.
  for (int slot = 1; slot < DeviceCaps.renderTargetCount && slot < 16; slot++) {
    int target = DrawSettings.renderTargetSlots[slot];
    if (target == 0) continue;
    StoreRenderTargetSlot(slot, 0);
    SetRenderTargetSlot(slot, target);
  }
  CheckMovieSystemReady();
  return 0;
}

int RecreateGraphicsDevice() { return RecreateGraphicsDeviceInMode(-1, -1, -1, -1, 0); }
