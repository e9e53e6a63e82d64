// Lights on Wine's real device: the default light, the device index mapping in the order
// directional, spot, point, re-sending only what changed, switching off, removal, the ID
// cycle, the table's limits and the shader constants of the first device lights.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "graphics/device/lights.h"
#include "real_device.h"

namespace {
struct LIGHT_CALL {
  std::string name;
  int index, value;  // the light type for SetLight, the flag for LightEnable
};
std::vector<LIGHT_CALL> Calls;
DEVICE_CALL_TABLE SavedCalls;

class Lights : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { StartRealDevice(); }
  static void TearDownTestSuite() { EndRealDevice(); }
  void SetUp() override {
    SavedCalls = DeviceCalls;
    DeviceCalls.DeviceSetLight = [](DWORD i, const D3DLIGHT9* l) {
      Calls.push_back({"SetLight", (int)i, (int)l->Type});
      return SavedCalls.DeviceSetLight(i, l);
    };
    DeviceCalls.DeviceLightEnable = [](DWORD i, BOOL e) {
      Calls.push_back({"LightEnable", (int)i, (int)e});
      return SavedCalls.DeviceLightEnable(i, e);
    };
    RemoveAllLights();
    UpdateDeviceLights();
    Calls.clear();
  }
  void TearDown() override {
    DeviceCalls = SavedCalls;
    RemoveAllLights();
  }
};

int AddLight(D3DLIGHTTYPE type) {
  int handle = AllocLightRecord();
  FindLightRecord(handle)->light.Type = type;
  return handle;
}

std::string Describe(const std::vector<LIGHT_CALL>& calls) {
  std::string text;
  for (const LIGHT_CALL& c : calls) text += c.name + "(" + std::to_string(c.index) + "," + std::to_string(c.value) + ") ";
  return text;
}

float VertexRegister(int index, int component) {
  float value;
  memcpy(&value, &ShaderConstants.files[0][0].values[index][component], 4);
  return value;
}

TEST_F(Lights, TheDefaultLightPointsAlongOneMinusOneOneAndStaysThroughRemoveAll) {
  int handle = DrawSettings.lights.defaultLight;
  LIGHT_RECORD* record = FindLightRecord(handle);
  ASSERT_NE(record, nullptr);
  EXPECT_EQ(record->light.Type, D3DLIGHT_DIRECTIONAL);
  const float k = 1.0f / sqrtf(3.0f);
  EXPECT_NEAR(record->light.Direction.x, k, 1e-6);
  EXPECT_NEAR(record->light.Direction.y, -k, 1e-6);
  EXPECT_NEAR(record->light.Direction.z, k, 1e-6);
  EXPECT_FLOAT_EQ(record->light.Range, 2000.0f);
  EXPECT_FLOAT_EQ(record->light.Ambient.r, 0.33f);
  EXPECT_EQ(handle >> 26, 11);
  EXPECT_EQ(AddDirectionalLight({0.0f, 0.0f, 0.0f}), -1);
  EXPECT_EQ(DrawSettings.lights.liveCount, 1);
}

TEST_F(Lights, EnabledLightsMapToDeviceIndicesByTypeThenSlotAndOnlyChangesAreResent) {
  ForgetDeviceLights();  // as on a new device: the first lit draw sends every light
  int light1 = AddDirectionalLight({0, 0, 1});
  int point = AddLight(D3DLIGHT_POINT);
  int light2 = AddDirectionalLight({0, 1, 0});
  int spot = AddLight(D3DLIGHT_SPOT);
  UpdateDeviceLights();
  struct {
    int handle, index;
  } rows[] = {{DrawSettings.lights.defaultLight, 0}, {light1, 1}, {light2, 2}, {spot, 3}, {point, 4}};
  for (const auto& row : rows)
    EXPECT_EQ(FindLightRecord(row.handle)->deviceIndex, row.index) << "light for index " << row.index;
  std::vector<LIGHT_CALL> expected;
  for (int i = 0; i < 5; i++) {
    int type = i < 3 ? 3 : i == 3 ? 2 : 1;
    expected.push_back({"SetLight", i, type});
    expected.push_back({"LightEnable", i, 1});
  }
  ASSERT_EQ(Describe(Calls), Describe(expected));

  Calls.clear();
  UpdateDeviceLights();
  EXPECT_EQ(Describe(Calls), "") << "a second update sends nothing";

  // The spot light and the point light removed: indices 3 and 4 switch off, nothing is re-sent.
  RemoveLight(spot);
  RemoveLight(point);
  Calls.clear();
  UpdateDeviceLights();
  EXPECT_EQ(Describe(Calls), "LightEnable(3,0) LightEnable(4,0) ");

  // The light on index 2 of three switched off; then on again.
  Calls.clear();
  EXPECT_EQ(SetLightEnabled(light2, 0), 0);
  UpdateDeviceLights();
  EXPECT_EQ(Describe(Calls), "LightEnable(2,0) ");
  Calls.clear();
  SetLightEnabled(light2, 1);
  UpdateDeviceLights();
  EXPECT_EQ(Describe(Calls), "SetLight(2,3) LightEnable(2,1) ");

  // The first light switched off: the others move down one index and are re-sent.
  Calls.clear();
  SetLightEnabled(DrawSettings.lights.defaultLight, 0);
  UpdateDeviceLights();
  EXPECT_EQ(Describe(Calls), "SetLight(0,3) LightEnable(0,1) SetLight(1,3) LightEnable(1,1) LightEnable(2,0) ");
  SetLightEnabled(DrawSettings.lights.defaultLight, 1);
  EXPECT_EQ(SetLightEnabled(-1, 1), -1);
}

TEST_F(Lights, RemovalValidatesTheHandleAndLowersTheTableEnd) {
  int base = DrawSettings.lights.tableEnd;
  int a = AllocLightRecord(), b = AllocLightRecord(), c = AllocLightRecord();
  EXPECT_EQ(DrawSettings.lights.tableEnd, base + 3);
  EXPECT_EQ(RemoveLight(b), 0);
  EXPECT_EQ(DrawSettings.lights.tableEnd, base + 3);
  EXPECT_EQ(RemoveLight(b), -1);
  EXPECT_EQ(RemoveLight(c), 0);
  EXPECT_EQ(DrawSettings.lights.tableEnd, base + 1) << "the free slot below is passed over too";
  EXPECT_EQ(RemoveLight(a ^ 0x10000), -1) << "another check value";
  EXPECT_EQ(RemoveLight(a & 0xFFFF), -1) << "no type bits";
  EXPECT_EQ(RemoveLight(-1), -1);
  EXPECT_EQ(RemoveLight(a), 0);
}

TEST_F(Lights, IdsRunFromZeroTo1022AndTheDefaultLightCanBeRemoved) {
  int first = AllocLightRecord();
  int id = FindLightRecord(first)->id;
  for (int i = 0; i < 1022; i++) RemoveLight(AllocLightRecord());
  int again = AllocLightRecord();
  EXPECT_EQ(FindLightRecord(again)->id, id) << "1023 IDs later the same ID returns";
  EXPECT_NE(again, first);
  EXPECT_EQ(RemoveLight(again), 0);
  EXPECT_EQ(RemoveLight(first), 0);

  int saved = DrawSettings.lights.defaultLight;
  EXPECT_EQ(RemoveLight(saved), 0);
  EXPECT_EQ(FindLightRecord(saved), nullptr);
  DrawSettings.lights.defaultLight = AddDirectionalLight({1, -1, 1});
}

TEST_F(Lights, AFullTableRefusesANewLight) {
  int before = DrawSettings.lights.liveCount;
  std::vector<int> made;
  while (DrawSettings.lights.liveCount < LIGHT_MAX) made.push_back(AllocLightRecord());
  EXPECT_EQ(AllocLightRecord(), -1);
  EXPECT_EQ(AddDirectionalLight({1, 0, 0}), -1);
  RemoveLight(made[10]);
  int reused = AllocLightRecord();
  EXPECT_EQ(reused & 0xFFFF, made[10] & 0xFFFF) << "the first free slot";
  RemoveAllLights();
  EXPECT_EQ(DrawSettings.lights.liveCount, 1);
  (void)before;
}

TEST_F(Lights, TheFirstDeviceLightsReachShaderConstantsWithAFiniteSpotFactor) {
  D3DLIGHT9 spot = FindLightRecord(DrawSettings.lights.defaultLight)->light;
  spot.Type = D3DLIGHT_SPOT;
  spot.Diffuse = {0.25f, 0.5f, 0.75f, 1.0f};
  spot.Theta = spot.Phi = 1.0f;  // equal cones
  ASSERT_EQ(SetDeviceLightSlot(1, 1, &spot), 0);
  const int base = 14 + 7 * 1;
  EXPECT_FLOAT_EQ(VertexRegister(base + 2, 1), 0.5f) << "diffuse";
  EXPECT_FLOAT_EQ(VertexRegister(base + 5, 0), 2000.0f * 2000.0f) << "range squared";
  EXPECT_FLOAT_EQ(VertexRegister(base + 6, 1), cosf(0.5f));
  float factor = VertexRegister(base + 6, 2);
  EXPECT_TRUE(std::isfinite(factor)) << factor;
  EXPECT_GT(factor, 1000.0f);
  int typeBits[2];
  memcpy(typeBits, ShaderConstants.files[2][0].values[5 + 3], 4);
  memcpy(typeBits + 1, ShaderConstants.files[2][0].values[6 + 3], 4);
  EXPECT_EQ(typeBits[0], 1);
  EXPECT_EQ(typeBits[1], 1);
  // A new view rewrites the view-space position and direction registers.
  MAT44F view = {};
  view.m[0][0] = view.m[1][1] = view.m[2][2] = 2.0f;
  view.m[3][0] = 5.0f, view.m[3][1] = 6.0f, view.m[3][2] = 7.0f, view.m[3][3] = 1.0f;
  SetDeviceViewTransform(view);
  EXPECT_FLOAT_EQ(VertexRegister(base, 0), spot.Position.x * 2.0f + 5.0f);
  EXPECT_FLOAT_EQ(VertexRegister(base, 3), 1.0f);
  EXPECT_FLOAT_EQ(VertexRegister(base + 1, 2), spot.Direction.z * 2.0f);
  SetDeviceViewTransform(DrawSettings.camera.view);
  EXPECT_EQ(DeviceLightCache.enabled[1], 1);
  EXPECT_EQ(DeviceLightCache.highestEnabled, 1);
  SetDeviceLightSlot(1, 0, nullptr);
  EXPECT_EQ(DeviceLightCache.highestEnabled, 0);
  DrawSettings.lights.resendAll = 1;
}

TEST_F(Lights, ARestoreResendsEveryCachedLightAndANewDeviceResendsAll) {
  int extra = AddDirectionalLight({0, 0, 1});
  UpdateDeviceLights();
  Calls.clear();
  RestoreDeviceStates();
  EXPECT_EQ(Describe(Calls).find("SetLight(0,3) LightEnable(0,1) SetLight(1,3) LightEnable(1,1) "), 0u)
      << Describe(Calls);
  ForgetDeviceLights();
  Calls.clear();
  UpdateDeviceLights();
  EXPECT_EQ(Describe(Calls), "SetLight(0,3) LightEnable(0,1) SetLight(1,3) LightEnable(1,1) ");
  RemoveLight(extra);
}

TEST_F(Lights, LightingSwitchAndShaderVariantNumbers) {
  AddDirectionalLight({0, 0, 1});
  AddLight(D3DLIGHT_POINT);
  UpdateDeviceLights();
  int saved = StateFlags.programmableShaders;
  StateFlags.programmableShaders = 1;
  ComputeLightShaderVariants();
  // T0 = T1 = 3 (directional), T2 = 1 (point), lighting on, no fog.
  EXPECT_EQ(DrawSettings.lights.shaderVariant[0], 1 * 8 + 3 * 128 + 0x6000 + 4096 + 3 * 32);
  EXPECT_EQ(DrawSettings.lights.shaderVariant[1], 1728 + 432 + 2 * 72 + 2 * 24 + 1 * 8);
  SetLightingEnabled(0);
  EXPECT_EQ(DrawSettings.lights.lightingOff, 1);
  EXPECT_EQ(DrawSettings.lights.shaderVariant[1], 0);
  SetLightingEnabled(1);
  StateFlags.programmableShaders = saved;
}
// The fog and lighting states the device is given renumber the built-in shader variants at
// once: the fog mode enters the first number (times 512) while fog is on.
TEST_F(Lights, FogAndLightingRenumberTheShaderVariants) {
  int saved = StateFlags.programmableShaders;
  StateFlags.programmableShaders = 1;
  SetLightingEnabled(1);
  const int* variant = DrawSettings.lights.shaderVariant;
  DrawSettings.fogEnabled = 0;
  SetDeviceFogEnable(0);
  int base = variant[0];
  DrawSettings.fogEnabled = 1;
  SelectFogMode(D3DFOG_EXP);
  EXPECT_EQ(variant[0] - base, D3DFOG_EXP * 512);
  SelectFogMode(D3DFOG_LINEAR);
  EXPECT_EQ(variant[0] - base, D3DFOG_LINEAR * 512);
  DrawSettings.fogEnabled = 0;
  SetDeviceFogEnable(0);
  EXPECT_EQ(variant[0], base);
  DrawSettings.lights.lightingOff = 1;
  SetDeviceLighting(0);
  EXPECT_EQ(variant[1], 0);
  SetLightingEnabled(1);
  StateFlags.programmableShaders = saved;
}
}  // namespace
