// Lights: handles of type 11 kept in a table of their own inside the draw settings (not in the
// handle manager), mapped onto consecutive device light indices (directional, spot, point)
// just before a lit draw. Only lights whose device index or data changed are sent again.
// The device side caches what was sent per device index and mirrors the first four device
// lights into shader constants of set 0.
#pragma once
#include <d3d9.h>

#include "core/maths.h"

enum {
  LIGHT_MAX = 4096,
  DEVICE_LIGHT_MAPPED = 256,  // device indices whose light slot is recorded
  LIGHT_SHADER_LIGHTS = 4,    // device lights mirrored into shader constants
};

struct LIGHT_RECORD {
  int id;      // 0-1022
  int handle;  // slot | (id | 0x2C00) << 16
  D3DLIGHT9 light;
  int deviceIndex;  // -1 while on no device index
  int enabled;
  int changed;
};

struct LIGHT_TABLE {
  int lightingOff;
  int materialChanged;
  D3DMATERIAL9 material;
  LIGHT_RECORD* records[LIGHT_MAX];
  int liveCount;
  int tableEnd;  // one past the highest slot in use
  int nextId;
  int nextDeviceIndex;
  int deviceIndexCount;  // device indices in use after the last mapping (highest + 1)
  int deviceSlots[DEVICE_LIGHT_MAPPED];
  int lightsChanged;
  int resendAll;
  int defaultLight;
  int shaderVariant[2];  // built-in shader choice numbers for the lighting set-up
};

// What was last sent per device light index.
struct DEVICE_LIGHT_CACHE {
  D3DLIGHT9 lights[DEVICE_LIGHT_MAPPED];
  int enabled[DEVICE_LIGHT_MAPPED];
  int highestEnabled;
};

extern DEVICE_LIGHT_CACHE DeviceLightCache;

int AllocLightRecord();
// Every light goes to the device again at the next lit draw (after the device was re-created).
void MarkLightsForResend();
int AddDirectionalLight(VEC3F direction);
int RemoveLight(int handle);
int RemoveAllLights();
// Removes the default light too (graphics shut-down); its handle becomes -1.
int RemoveEveryLight();
int SetLightingEnabled(int flag);
// Switches one light on or off; it leaves or rejoins the device mapping at the next lit draw.
int SetLightEnabled(int handle, int flag);
LIGHT_RECORD* FindLightRecord(int handle);
// Sends the lighting switch and the changed lights before a lit draw.
int UpdateDeviceLights();

int SetDeviceLight(const D3DLIGHT9* light, int index);
int SetDeviceLightEnable(int index, int flag);
int SetDeviceLightSlot(int index, int enable, const D3DLIGHT9* light);
int UpdateLightingConstants();
// Rewrites the view-space position and direction registers of device lights 0-3.
int UpdateViewSpaceLightConstants(const MAT44F* view);
// After a device reset: every cached device light that has a type, with its enabled flag.
int ResendDeviceLights();
// A new device knows no lights: the cache is cleared and every light is sent again.
int ForgetDeviceLights();
int ComputeLightShaderVariants();
