#include "graphics/device_restore.h"

#include "core/handles.h"
#include "core/log.h"
#include "graphics/d3d_calls.h"
#include "graphics/device.h"
#include "graphics/draw_settings.h"
#include "graphics/graph_records.h"
#include "graphics/graph_reload.h"
#include "graphics/graph_textures.h"
#include "graphics/shader_handles.h"
#include "graphics/texture_transfer.h"
#include "korvel.h"
#include "system/library.h"

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
  HANDLE_TYPE_MANAGER& graphs = HandleManagers[HANDLE_TYPE_GRAPH];
  if (graphs.initialised) {
    for (int slot = graphs.lowestSlot; graphs.count > 0 && slot <= graphs.highestSlot; slot++) {
      GRAPH_RECORD* record = (GRAPH_RECORD*)graphs.slots[slot];
      if (record != nullptr && record->imageSet != nullptr) CreateGraphTextures(0, record->imageSet);
    }
  }
  // Shaders from their kept byte code.
  HANDLE_TYPE_MANAGER& shaders = HandleManagers[HANDLE_TYPE_SHADER];
  if (!shaders.initialised) return 0;
  for (int slot = shaders.lowestSlot; shaders.count > 0 && slot <= shaders.highestSlot; slot++) {
    SHADER_HANDLE* record = (SHADER_HANDLE*)shaders.slots[slot];
    if (record == nullptr || record->code == nullptr || record->object != nullptr) continue;
    IUnknown* object = nullptr;
    HRESULT hr = record->kind == 1
                     ? DeviceCalls.DeviceCreateVertexShader((const DWORD*)record->code, (IDirect3DVertexShader9**)&object)
                     : DeviceCalls.DeviceCreatePixelShader((const DWORD*)record->code, (IDirect3DPixelShader9**)&object);
    record->object = SUCCEEDED(hr) ? object : nullptr;
  }
  return 0;
}

int SetGraphicsRestoreHandler(int (*handler)()) {
  DrawSettings.restoreCallback = handler;
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
  LibraryFlags.useAsyncLoading = async;
  return 0;
}
