#include "graphics/device_restore.h"

#include "core/handles.h"
#include "core/log.h"
#include "graphics/d3d_calls.h"
#include "graphics/draw_settings.h"
#include "graphics/shader_handles.h"
#include "korvel.h"
#include "system/library.h"

int RecreateDeviceResources() {
  if (!HasDirect3DDevice()) return 0;
  HANDLE_TYPE_MANAGER& m = HandleManagers[HANDLE_TYPE_SHADER];
  if (!m.initialised) return 0;
  for (int slot = m.lowestSlot; m.count > 0 && slot <= m.highestSlot; slot++) {
    SHADER_HANDLE* record = (SHADER_HANDLE*)m.slots[slot];
    if (record == nullptr || record->code == nullptr || record->object != nullptr) continue;
    IUnknown* object = nullptr;
    HRESULT hr = record->kind == 1
                     ? DeviceCalls.DeviceCreateVertexShader((const DWORD*)record->code, (IDirect3DVertexShader9**)&object)
                     : DeviceCalls.DeviceCreatePixelShader((const DWORD*)record->code, (IDirect3DPixelShader9**)&object);
    record->object = SUCCEEDED(hr) ? object : nullptr;
  }
  return 0;
}

int RestoreGraphicsContent() {
  int async = LibraryFlags.useAsyncLoading;
  LibraryFlags.useAsyncLoading = 0;
  if (DrawSettings.restoreCallback != nullptr) DrawSettings.restoreCallback();
  LibraryFlags.useAsyncLoading = async;
  return 0;
}
