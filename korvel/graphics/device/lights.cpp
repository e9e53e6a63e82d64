#include "graphics/device/lights.h"

#include <cmath>
#include <cstring>

#include "core/memory.h"
#include "graphics/device/camera.h"
#include "graphics/device/d3d_calls.h"
#include "graphics/device/device.h"
#include "graphics/device/draw_settings.h"
#include "graphics/device/shader_constants.h"
#include "graphics/device/state_cache.h"
#include "graphics/device/vertex_batch.h"
#include "korvel.h"

DEVICE_LIGHT_CACHE DeviceLightCache;

namespace {
LIGHT_TABLE& Table() { return DrawSettings.lights; }

void MarkLightsChanged() {
  Table().lightsChanged = 1;
  MarkDrawStatesChanged();
}

int SlotOf(int handle) { return handle & 0xFFFF; }

// The largest value the spot-cone factor may take: equal inner and outer cone angles would
// otherwise divide by zero.
const float kSpotFactorLimit = 1.0e6f;

float SpotFactor(const D3DLIGHT9& light) {
  float span = cosf(light.Theta * 0.5f) - cosf(light.Phi * 0.5f);
  if (fabsf(span) < 1.0f / kSpotFactorLimit) return span < 0.0f ? -kSpotFactorLimit : kSpotFactorLimit;
  return 1.0f / span;
}

void MultiplyColor(float out[4], const D3DCOLORVALUE& a, const D3DCOLORVALUE& b) {
  out[0] = a.r * b.r, out[1] = a.g * b.g, out[2] = a.b * b.b, out[3] = a.a * b.a;
}

// The view-space position and direction of one device light, vertex c(14 + 7i) and
// pixel c(32 + 7i), the first two of its seven registers.
void WriteViewSpaceRegisters(int i, const D3DLIGHT9& light, const MAT44F& view) {
  VEC3F position = TransformVec3Point({light.Position.x, light.Position.y, light.Position.z}, view);
  VEC3F direction = TransformVec3Direction({light.Direction.x, light.Direction.y, light.Direction.z}, view);
  float registers[8] = {position.x, position.y, position.z, 1.0f, direction.x, direction.y, direction.z, 0.0f};
  WriteVertexConstantF(14 + 7 * i, registers, 2);
  WritePixelConstantF(32 + 7 * i, registers, 2);
}

void WriteLightRegisters(int i, const D3DLIGHT9& light) {
  WriteViewSpaceRegisters(i, light, DrawSettings.camera.view);
  float block[5][4];
  memcpy(block[0], &light.Diffuse, 16);
  memcpy(block[1], &light.Specular, 16);
  MultiplyColor(block[2], light.Ambient, DeviceStateCache.material.Ambient);
  block[3][0] = light.Range * light.Range, block[3][1] = light.Falloff;
  block[3][2] = light.Attenuation0, block[3][3] = light.Attenuation1;
  block[4][0] = light.Attenuation2, block[4][1] = cosf(light.Phi * 0.5f);
  block[4][2] = SpotFactor(light), block[4][3] = 0.0f;
  WriteVertexConstantF(16 + 7 * i, block[0], 5);
  WritePixelConstantF(34 + 7 * i, block[0], 5);
  WritePixelConstantF(9 + 3 * i, block[0], 3);
  int types[2] = {light.Type == D3DLIGHT_POINT || light.Type == D3DLIGHT_SPOT, light.Type == D3DLIGHT_SPOT};
  WriteVertexConstantB(5 + 3 * i, types, 2);
}

void FreeLightSlot(int slot) {
  LIGHT_TABLE& t = Table();
  FreeTracked(t.records[slot]);
  t.records[slot] = nullptr;
  t.liveCount--;
  if (slot == t.tableEnd - 1) {
    while (t.tableEnd > 0 && t.records[t.tableEnd - 1] == nullptr) t.tableEnd--;
  }
  MarkLightsChanged();
}
}  // namespace

void MarkLightsForResend() { Table().lightsChanged = 1; }

LIGHT_RECORD* FindLightRecord(int handle) {
  if (handle < 0 || (handle >> 26 & 0x1F) != 11) return nullptr;
  int slot = SlotOf(handle);
  if (slot >= LIGHT_MAX) return nullptr;
  LIGHT_RECORD* record = Table().records[slot];
  if (record == nullptr || record->id != (handle >> 16 & 0x3FF)) return nullptr;
  return record;
}

int AllocLightRecord() {
  LIGHT_TABLE& t = Table();
  int slot = t.tableEnd < LIGHT_MAX ? t.tableEnd : -1;
  for (int i = 0; slot < 0 && i < LIGHT_MAX; i++)
    if (t.records[i] == nullptr) slot = i;
  if (slot < 0) return -1;  // every slot is in use
  LIGHT_RECORD* record = (LIGHT_RECORD*)AllocTrackedZeroed(sizeof(LIGHT_RECORD), "", 0);
  if (record == nullptr) ExitWithFatalError("ライト用のメモリの確保に失敗しました");
  D3DLIGHT9& light = record->light;
  light.Diffuse = {1.0f, 1.0f, 1.0f, 1.0f};
  light.Specular = {1.0f, 1.0f, 1.0f, 1.0f};
  light.Ambient = {0.33f, 0.33f, 0.33f, 0.33f};
  light.Range = 2000.0f;
  light.Falloff = 1.0f;
  light.Attenuation0 = 0.1f;
  light.Theta = 2.0f;
  light.Phi = 2.0f;
  record->deviceIndex = -1;
  record->id = t.nextId;
  t.nextId = t.nextId >= 1022 ? 0 : t.nextId + 1;
  record->handle = slot | (record->id | 0x2C00) << 16;
  t.records[slot] = record;
  t.liveCount++;
  if (slot == t.tableEnd) t.tableEnd++;
  record->enabled = 1;
  record->changed = 1;
  MarkLightsChanged();
  return record->handle;
}

int AddDirectionalLight(VEC3F direction) {
  float length = GetVec3Length(direction.x, direction.y, direction.z);
  if (!(length > 0.0f)) return -1;  // a zero direction lights nothing and cannot be normalised
  int handle = AllocLightRecord();
  if (handle == -1) return -1;
  LIGHT_RECORD* record = FindLightRecord(handle);
  record->light.Type = D3DLIGHT_DIRECTIONAL;
  record->light.Direction = {direction.x / length, direction.y / length, direction.z / length};
  return handle;
}

int RemoveLight(int handle) {
  if (FindLightRecord(handle) == nullptr) return -1;
  FreeLightSlot(SlotOf(handle));
  return 0;
}

int RemoveAllLights() {
  LIGHT_TABLE& t = Table();
  for (int slot = t.tableEnd - 1; slot >= 0; slot--) {
    LIGHT_RECORD* record = t.records[slot];
    if (record != nullptr && record->handle != t.defaultLight) FreeLightSlot(slot);
  }
  return 0;
}

int RemoveEveryLight() {
  RemoveAllLights();
  RemoveLight(Table().defaultLight);
  Table().defaultLight = -1;
  return 0;
}

int SetLightingEnabled(int flag) {
  Table().lightingOff = !flag;
  SetDeviceLighting(flag);
  MarkLightsChanged();
  ComputeLightShaderVariants();
  return 0;
}

int SetLightEnabled(int handle, int flag) {
  LIGHT_RECORD* record = FindLightRecord(handle);
  if (record == nullptr) return -1;
  flag = flag != 0;
  if (record->enabled == flag) return 0;
  record->enabled = flag;
  record->changed = 1;
  if (!flag) record->deviceIndex = -1;
  MarkLightsChanged();
  return 0;
}

int UpdateDeviceLights() {
  LIGHT_TABLE& t = Table();
  SetDeviceLighting(!t.lightingOff);
  if (!t.lightsChanged && !t.resendAll) return 0;
  int previousCount = t.deviceIndexCount;
  t.nextDeviceIndex = 0;
  static const int kTypeOrder[3] = {D3DLIGHT_DIRECTIONAL, D3DLIGHT_SPOT, D3DLIGHT_POINT};
  for (int type : kTypeOrder) {
    for (int slot = 0; slot < t.tableEnd; slot++) {
      LIGHT_RECORD* record = t.records[slot];
      if (record == nullptr || !record->enabled || (int)record->light.Type != type) continue;
      int d = t.nextDeviceIndex;
      if (d < DEVICE_LIGHT_MAPPED) t.deviceSlots[d] = slot;
      if (d != record->deviceIndex || record->changed || t.resendAll) {
        record->deviceIndex = d;
        record->changed = 0;
        SetDeviceLightSlot(d, 1, &record->light);
      }
      t.nextDeviceIndex++;
    }
  }
  for (int index = t.nextDeviceIndex; index < previousCount; index++) SetDeviceLightSlot(index, 0, nullptr);
  t.deviceIndexCount = t.nextDeviceIndex;
  t.lightsChanged = 0;
  t.resendAll = 0;
  MarkDrawStatesChanged();
  ComputeLightShaderVariants();
  return 0;
}

int SetDeviceLight(const D3DLIGHT9* light, int index) {
  if (!HasDirect3DDevice()) return 0;
  FlushVertexBatch(0);
  if (index < DEVICE_LIGHT_MAPPED) DeviceLightCache.lights[index] = *light;
  if (index < LIGHT_SHADER_LIGHTS) WriteLightRegisters(index, *light);
  UpdateLightingConstants();
  return FAILED(DeviceCalls.DeviceSetLight(index, light)) ? -1 : 0;
}

int SetDeviceLightEnable(int index, int flag) {
  if (!HasDirect3DDevice()) return 0;
  FlushVertexBatch(0);
  DEVICE_LIGHT_CACHE& c = DeviceLightCache;
  flag = flag != 0;
  if (index < DEVICE_LIGHT_MAPPED) {
    c.enabled[index] = flag;
    if (flag && index > c.highestEnabled) c.highestEnabled = index;
    if (!flag && index == c.highestEnabled) {
      int h = index - 1;
      while (h > 0 && !c.enabled[h]) h--;
      c.highestEnabled = h < 0 ? 0 : h;
    }
  }
  UpdateLightingConstants();
  if (StateFlags.programmableShaders && index < LIGHT_SHADER_LIGHTS) WriteVertexConstantB(4 + 3 * index, &flag, 1);
  HRESULT hr = DeviceCalls.DeviceLightEnable(index, flag);
  // Indices past the device's limit are refused by some devices; the mapping does not depend on them.
  DWORD limit = DeviceCaps.caps.MaxActiveLights;
  return FAILED(hr) && (limit == 0 || (DWORD)index < limit) ? -1 : 0;
}

int SetDeviceLightSlot(int index, int enable, const D3DLIGHT9* light) {
  int result = 0;
  if (enable && SetDeviceLight(light, index) == -1) result = -1;
  if (SetDeviceLightEnable(index, enable) == -1) result = -1;
  return result;
}

int UpdateLightingConstants() {
  const DEVICE_LIGHT_CACHE& c = DeviceLightCache;
  const D3DMATERIAL9& material = DeviceStateCache.material;
  for (int i = 0; i < LIGHT_SHADER_LIGHTS && i <= c.highestEnabled; i++) {
    if (!c.enabled[i]) continue;
    float ambient[4];
    MultiplyColor(ambient, c.lights[i].Ambient, material.Ambient);
    WriteVertexConstantF(18 + 7 * i, ambient, 1);
    WritePixelConstantF(11 + 3 * i, ambient, 1);
    WritePixelConstantF(36 + 7 * i, ambient, 1);
  }
  const float* global = DeviceStateCache.ambient;
  float term[4] = {global[0] * material.Ambient.r + material.Emissive.r,
                   global[1] * material.Ambient.g + material.Emissive.g,
                   global[2] * material.Ambient.b + material.Emissive.b,
                   global[3] * material.Ambient.a + material.Emissive.a};
  WriteVertexConstantF(1, term, 1);
  WritePixelConstantF(1, term, 1);
  return 0;
}

int UpdateViewSpaceLightConstants(const MAT44F* view) {
  for (int i = 0; i < LIGHT_SHADER_LIGHTS; i++)
    if (DeviceLightCache.lights[i].Type != 0) WriteViewSpaceRegisters(i, DeviceLightCache.lights[i], *view);
  return 0;
}

int ResendDeviceLights() {
  for (int index = 0; index < DEVICE_LIGHT_MAPPED; index++) {
    D3DLIGHT9 light = DeviceLightCache.lights[index];
    if (light.Type == 0) continue;
    SetDeviceLight(&light, index);
    SetDeviceLightEnable(index, DeviceLightCache.enabled[index]);
  }
  return 0;
}

int ForgetDeviceLights() {
  memset(&DeviceLightCache, 0, sizeof(DeviceLightCache));
  Table().resendAll = 1;
  Table().deviceIndexCount = 0;
  MarkLightsChanged();
  return 0;
}

int ComputeLightShaderVariants() {
  LIGHT_TABLE& t = Table();
  if (!StateFlags.programmableShaders) return 0;
  const DEVICE_LIGHT_CACHE& c = DeviceLightCache;
  int lit = !t.lightingOff;
  int types[3];
  int any = 0;
  for (int i = 0; i < 3; i++) {
    types[i] = lit && c.enabled[i] && i <= c.highestEnabled ? (int)c.lights[i].Type : 0;
    any |= types[i] != 0;
  }
  auto weight = [](int type) { return type == D3DLIGHT_DIRECTIONAL ? 2 : type != 0 ? 1 : 0; };
  int fog = DrawSettings.fogEnabled ? (DrawSettings.fogMode & 0x7FFFFF) : 0;
  t.shaderVariant[0] = types[2] * 8 + types[0] * 128 + lit * 0x6000 + any * 4096 + types[1] * 32 + fog * 512;
  t.shaderVariant[1] = lit * 1728 + any * 432 + weight(types[0]) * 72 + weight(types[1]) * 24 + weight(types[2]) * 8;
  return 0;
}
