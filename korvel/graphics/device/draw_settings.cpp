#include "graphics/device/draw_settings.h"

#include <cstring>

#include "graphics/device/d3d_calls.h"
#include "graphics/draw/draw_target.h"  // upward: the settings start on the front screen as draw target
#include "graphics/draw/mask.h"         // upward: and with mask drawing off
#include "graphics/device/screen.h"
#include "graphics/device/state_cache.h"
#include "graphics/device/vertex_batch.h"
#include "image/memimg_draw_state.h"
#include "korvel.h"
#include "system/base/library_flags.h"
#include "system/base/pump.h"

DRAW_SETTINGS DrawSettings;
DWORD PackedDiffuseColor;

namespace {
int Clamp255(int value) { return value < 0 ? 0 : value > 255 ? 255 : value; }

int Hardware() { return ScreenState.hardwareRendering; }

void RefreshDiffuse() {
  if (Hardware()) PackedDiffuseColor = MakeDiffuseColor();
}
}  // namespace

DWORD MakeDiffuseColor() {
  DWORD alpha = DrawSettings.blendMode != 0 ? (DWORD)DrawSettings.blendParam : 255;
  return alpha << 24 | (DrawSettings.brightness & 0xFFFFFF);
}

void DefaultAddressModesToClamp() {
  for (int i = 0; i < 8; i++) {
    if (DrawSettings.addressU[i] == 0) DrawSettings.addressU[i] = D3DTADDRESS_CLAMP;
    if (DrawSettings.addressV[i] == 0) DrawSettings.addressV[i] = D3DTADDRESS_CLAMP;
    if (DrawSettings.addressW[i] == 0) DrawSettings.addressW[i] = D3DTADDRESS_CLAMP;
  }
}

int StoreDrawBrightness(DWORD brightness) {
  if (DrawSettings.brightness == brightness) return 0;
  DrawSettings.brightness = brightness;
  MarkDrawStatesChanged();
  if (ScreenState.hardwareRendering) PackedDiffuseColor = MakeDiffuseColor();
  return 1;
}

int InitDrawSettings() {
  DRAW_SETTINGS saved = DrawSettings;
  memset(&DrawSettings, 0, sizeof(DrawSettings));
  DrawSettings.restoreCallback = saved.restoreCallback;
  DrawSettings.noVSyncWait = saved.noVSyncWait;
  DrawSettings.startupVSyncWait = saved.startupVSyncWait;
  DrawSettings.smallScreenEmulation = saved.smallScreenEmulation;
  DrawSettings.transparentColor = saved.transparentColor;
  DrawSettings.lights = saved.lights;
  DrawSettings.blendGraph = -1;
  // The draw-target selection below resets the camera, whose viewport is scaled by this.
  DrawSettings.centreScale = 1.0f;

  DefaultAddressModesToClamp();

  DrawSettings.z2DValue = 0.2f;
  DrawSettings.z2D = {0, 0, D3DCMP_LESSEQUAL, 0};
  DrawSettings.z3D = {0, 0, D3DCMP_LESSEQUAL, 0};
  DrawSettings.lights.lightsChanged = 1;
  MarkDrawStatesChanged();
  DrawSettings.fillMode = D3DFILL_SOLID;
  DrawSettings.filterMode = 0;
  DrawSettings.maxAnisotropy = 1;
  DrawSettings.blendMode = 0;
  SetMemImgBlendMode(0, 0);
  DrawSettings.alphaTestMode = -1;

  // The brightness and fog setters compare with the stored values: start them from values
  // that differ so that each stores and sends its default.
  DrawSettings.brightness = 0;
  SelectDrawBrightness(255, 255, 255);
  DrawSettings.fogMode = -1;
  SelectFogMode(D3DFOG_LINEAR);
  DrawSettings.fogColor = 0;
  SelectFogColor(255, 255, 255);
  DrawSettings.fogEnd = -1.0f;
  SelectFogRange(0.0f, 1500.0f);

  ResetMaskDrawingFlags();
  DrawSettings.drawTarget = -2;
  for (int& slot : DrawSettings.renderTargetSlots) slot = 0;
  DrawSettings.depthBufferGraph = -2;
  SelectDrawTarget(-4);
  int width = 0, height = 0;
  QueryMainScreenSize(&width, &height);
  SetDrawClipArea(0, 0, width, height);

  // The default directional light; it survives restarts with the rest of the light table.
  if (FindLightRecord(DrawSettings.lights.defaultLight) == nullptr)
    DrawSettings.lights.defaultLight = AddDirectionalLight({1.0f, -1.0f, 1.0f});
  SetIdentityMat44(&DrawSettings.camera.userProjection);
  DrawSettings.nearZ = 10.0f;
  DrawSettings.projectionKind = 0;
  DrawSettings.farZ = 10000.0f;
  DrawSettings.aspectScale = 1.0f;
  DrawSettings.fieldOfView = 1.0471976f;
  DrawSettings.orthoHeight = 1.0f;
  DrawSettings.lights.materialChanged = 1;

  D3DMATERIAL9& m = DrawSettings.lights.material;
  m.Diffuse = {0.8f, 0.8f, 0.8f, 1.0f};
  m.Ambient = {0.0f, 0.0f, 0.0f, 0.0f};
  m.Specular = {0.8f, 0.8f, 0.8f, 0.0f};
  m.Emissive = {0.0f, 0.0f, 0.0f, 0.0f};
  m.Power = 20.0f;
  MarkDrawStatesChanged();
  DrawSettings.centreScale = 1.0f;
  return 0;
}

int SelectBlendMode(int mode, int parameter) {
  if (mode == DrawSettings.blendMode && parameter == DrawSettings.blendParam) return 0;
  WaitWhileInactive();
  if (mode != DrawSettings.blendMode) {
    DrawSettings.blendMode = mode;
    MarkDrawStatesChanged();
  }
  DrawSettings.blendParam = Clamp255(parameter);
  SetMemImgBlendMode(DrawSettings.blendMode, DrawSettings.blendParam);
  RefreshDiffuse();
  return 0;
}

int SelectAlphaTest(int mode, int reference) {
  if (mode == DrawSettings.alphaTestMode && reference == DrawSettings.alphaTestRef) return 0;
  WaitWhileInactive();
  DrawSettings.alphaTestMode = mode;
  DrawSettings.alphaTestRef = Clamp255(reference);
  MarkDrawStatesChanged();
  RefreshDiffuse();
  return 0;
}

int SelectDrawBrightness(int red, int green, int blue) {
  DWORD old = DrawSettings.brightness;
  if ((DWORD)red == (old >> 16 & 0xFF) && (DWORD)green == (old >> 8 & 0xFF) && (DWORD)blue == (old & 0xFF)) return 0;
  DWORD packed = (DWORD)Clamp255(red) << 16 | (DWORD)Clamp255(green) << 8 | (DWORD)Clamp255(blue);
  DrawSettings.brightness = packed;
  SetMemImgTint(packed);
  // Only a change between white and non-white alters the texture stages.
  if ((old == 0xFFFFFF) != (packed == 0xFFFFFF)) MarkDrawStatesChanged();
  RefreshDiffuse();
  return 0;
}

int SetDrawFilterMode(int mode) {
  if (mode == DrawSettings.filterMode) return 0;
  DrawSettings.filterMode = mode;
  MarkDrawStatesChanged();
  if (Hardware()) ApplySamplerFilterMode(mode);
  return 0;
}

int GetDrawFilterMode() { return DrawSettings.filterMode; }

int SetDepthTest3D(int value) {
  if (value == DrawSettings.z3D.enable) return 0;
  FlushVertexBatch(0);
  DrawSettings.z3D.enable = value;
  MarkDrawStatesChanged();
  return 0;
}

int StoreTransparentColor(int red, int green, int blue) {
  if (GetScreenColorBits() == 8) return 0;
  DrawSettings.transparentColor = (DWORD)(red & 0xFF) << 16 | (DWORD)(green & 0xFF) << 8 | (DWORD)(blue & 0xFF);
  return 0;
}

int SetVSyncWait(int flag) {
  DrawSettings.noVSyncWait = !flag;
  if (!LibraryFlags.started) DrawSettings.startupVSyncWait = flag;
  return 0;
}

int GetVSyncWait() { return !DrawSettings.noVSyncWait; }

int SetSmallScreenEmulation(int flag) {
  DrawSettings.smallScreenEmulation = flag;
  return 0;
}

int GetDrawTargetHandle() { return DrawSettings.drawTarget; }

int HasGraphicsRestoreCallback() { return DrawSettings.restoreCallback != nullptr ? 1 : 0; }

int SelectFogMode(int mode) {
  if (mode == DrawSettings.fogMode && (!Hardware() || DeviceStateCache.fogMode == mode)) return 0;
  FlushVertexBatch(0);
  DrawSettings.fogMode = mode;
  if (Hardware()) SetDeviceFogMode(mode);
  return 0;
}

int SelectFogColor(int red, int green, int blue) {
  DWORD color = 0xFF000000 | (DWORD)(red & 0xFF) << 16 | (DWORD)(green & 0xFF) << 8 | (DWORD)(blue & 0xFF);
  if (color == DrawSettings.fogColor && (!Hardware() || DeviceStateCache.fogColor == color)) return 0;
  FlushVertexBatch(0);
  DrawSettings.fogColor = color;
  if (Hardware()) SetDeviceFogColor(color);
  return 0;
}

int SelectFogRange(float start, float end) {
  if (start == DrawSettings.fogStart && end == DrawSettings.fogEnd &&
      (!Hardware() || (DeviceStateCache.fogStart == start && DeviceStateCache.fogEnd == end)))
    return 0;
  FlushVertexBatch(0);
  DrawSettings.fogStart = start;
  DrawSettings.fogEnd = end;
  if (Hardware()) SetDeviceFogRange(start, end);
  return 0;
}
