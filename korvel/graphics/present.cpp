#include "graphics/present.h"

#include "graphics/d3d_calls.h"
#include "graphics/state_cache.h"
#include "graphics/vertex_batch.h"

int BeginDeviceScene() {
  if (!HasDirect3D() || !HasDirect3DDevice() || StateFlags.sceneOpen) return 0;
  DeviceCalls.DeviceBeginScene();
  StateFlags.sceneOpen = 1;
  // The first draw of a scene always prepares its states.
  DeviceStateCache.lastTexture = nullptr;
  DeviceStateCache.lastFlags = 0;
  DeviceStateCache.lastWord = 0;
  return 0;
}

int EndDeviceScene() {
  if (!HasDirect3DDevice() || !StateFlags.sceneOpen) return 0;
  FlushVertexBatch(0);
  DeviceCalls.DeviceEndScene();
  StateFlags.sceneOpen = 0;
  return 0;
}
