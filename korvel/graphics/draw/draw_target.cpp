#include "graphics/draw/draw_target.h"

#include "graphics/device/camera.h"
#include "graphics/device/d3d_calls.h"
#include "graphics/device/device.h"
#include "graphics/device/device_resources.h"
#include "graphics/device/draw_settings.h"
#include "graphics/device/graphics_hooks.h"
#include "graphics/graphs/graph_handles.h"
#include "graphics/draw/mask.h"
#include "graphics/device/present.h"
#include "graphics/device/screen.h"
#include "graphics/software/software_screen.h"
#include "graphics/device/state_cache.h"
#include "graphics/graphs/texture_transfer.h"
#include "graphics/device/vertex_batch.h"
#include "image/memimg_draw_state.h"
#include "korvel.h"
#include "system/base/library_flags.h"
#include "system/base/pump.h"
#include "system/base/window_state.h"

namespace {
int flipInProgress;
int drawingScreenLog;

// The on-screen log goes over the finished frame: the whole screen, no blending, full
// brightness; the program's draw area, blend mode and brightness come back afterwards.
void DrawScreenLogOverFrame() {
  RECT area = DrawSettings.drawArea, requested = DrawSettings.requestedArea;
  int mode = DrawSettings.blendMode, param = DrawSettings.blendParam;
  DWORD brightness = DrawSettings.brightness;
  SetDrawClipArea(0, 0, ScreenState.mainWidth, ScreenState.mainHeight);
  SelectBlendMode(0, 0);
  SelectDrawBrightness(255, 255, 255);
  drawingScreenLog = 1;
  DrawScreenLogByHook();
  drawingScreenLog = 0;
  SetDrawClipArea(area.left, area.top, area.right, area.bottom);
  StoreRequestedDrawArea(requested);
  SelectBlendMode(mode, param);
  SelectDrawBrightness((brightness >> 16) & 0xFF, (brightness >> 8) & 0xFF, brightness & 0xFF);
}

// -2 back screen, -4 front screen; -3 and -5 are accepted as screen codes too.
int IsScreen(int handle) { return handle >= -5 && handle <= -2; }
}  // namespace

IDirect3DSurface9* ScreenTargetSurface() {
  return GetSubBackBuffer() != nullptr ? GetSubBackBuffer() : GetScreenSurface();
}

void UnbindStageTexture() {
  if (DeviceStateCache.texture == nullptr) return;
  SetDeviceTexture(nullptr);
  MarkBlendStatesChanged();
}

int IsFlipInProgress() { return flipInProgress; }

GRAPH_RECORD* GetDrawableGraph(int handle) {
  GRAPH_RECORD* graph = handle >= 0 ? GetGraphRecord(handle, 0) : nullptr;
  if (graph == nullptr || graph->imageSet == nullptr || !graph->imageSet->desc.drawable) return nullptr;
  if (graph->imageSet->desc.heldAsTextures && graph->imageSet->textureCount < 1) return nullptr;
  return graph;
}

IDirect3DSurface9* GetGraphTargetSurface(GRAPH_RECORD* graph) {
  const GRAPH_TEXTURE& texture = graph->imageSet->textures[0];
  return texture.multiSampleSurface != nullptr ? texture.multiSampleSurface : texture.surface;
}

int SelectDrawTarget(int target) { return SelectDrawTargetEx(target, 1); }

int SelectDrawTargetEx(int target, int waitWhileInactive) {
  if (!ScreenState.graphicsStarted) return -1;
  // The start-up's own selections do not wait for an activation that may never come.
  if (waitWhileInactive && !WindowState.active && !LibraryFlags.starting) WaitWhileInactive();
  // Only a screen code or a finished, drawable graph can be drawn into; anything else (an
  // invalid handle, a graph still loading) leaves the target and the area as they are.
  GRAPH_RECORD* graph = IsScreen(target) ? nullptr : GetDrawableGraph(target);
  if (!IsScreen(target) && graph == nullptr) return -1;
  GRAPH_RECORD* previous = GetDrawableGraph(DrawSettings.drawTarget);
  // The target changes with mask drawing off; the mask follows the new target when it is
  // turned on again.
  int maskDrawing = IsMaskDrawingEnabled();
  if (maskDrawing) EnableMaskDrawing(0);
  // A software target whose image cannot be drawn into (alpha channel) is refused before
  // anything changes.
  if (!ScreenState.hardwareRendering && SelectSoftwareTarget(target) != 0) {
    if (maskDrawing) EnableMaskDrawing(1);
    return -1;
  }
  int oldWidth = DrawSettings.targetWidth, oldHeight = DrawSettings.targetHeight;
  int width = oldWidth, height = oldHeight;  // kept where the size cannot be read
  GetGraphOrScreenSize(target, &width, &height);
  StoreDrawTarget(target, width, height);
  if (ScreenState.hardwareRendering && HasDirect3DDevice()) {
    FlushVertexBatch(0);
    EndDeviceScene();
    UnbindStageTexture();
    if (previous != nullptr) ResolveMultiSampleTexture(&previous->imageSet->textures[0]);
    IDirect3DSurface9* surface = graph != nullptr ? GetGraphTargetSurface(graph) : ScreenTargetSurface();
    if (surface != nullptr) SetDeviceRenderTarget(surface, 0);
    SetDepthStencilForTarget();
  }
  if (target == -4) StartFrontScreenTimer(1);
  if (DrawSettings.targetWidth == oldWidth && DrawSettings.targetHeight == oldHeight)
    SetDrawClipArea(DrawSettings.drawArea.left, DrawSettings.drawArea.top, DrawSettings.drawArea.right,
                    DrawSettings.drawArea.bottom);
  else
    SetDrawClipArea(0, 0, DrawSettings.targetWidth, DrawSettings.targetHeight);
  ResetCameraForTarget(DrawSettings.targetWidth, DrawSettings.targetHeight);
  if (maskDrawing) EnableMaskDrawing(1);
  return 0;
}

int SetDrawClipArea(int x1, int y1, int x2, int y2) {
  StoreRequestedDrawArea({x1, y1, x2, y2});
  int width = 0, height = 0;
  if (GetGraphOrScreenSize(DrawSettings.drawTarget, &width, &height) != 0) return -1;
  RECT area = {x1 < x2 ? x1 : x2, y1 < y2 ? y1 : y2, x1 < x2 ? x2 : x1, y1 < y2 ? y2 : y1};
  auto clamp = [](LONG& value, int limit) { value = value < 0 ? 0 : value > limit ? limit : value; };
  clamp(area.left, width);
  clamp(area.right, width);
  clamp(area.top, height);
  clamp(area.bottom, height);
  StoreDrawArea(area);
  SetMemImgClipRect(&area);
  if (area.left == area.right || area.top == area.bottom) {
    StoreEmptyDrawArea(1);
    return 0;
  }
  StoreEmptyDrawArea(0);
  if (!ScreenState.hardwareRendering) return 0;
  if (!HasDirect3DDevice()) return -1;
  SetDeviceViewport(area.left, area.top, area.right - area.left, area.bottom - area.top, 0.0f, 1.0f);
  SetDeviceScissorRect(&area);
  // 3D positions keep their screen pixels inside the narrowed device viewport.
  CAMERA_STATE& camera = DrawSettings.camera;
  float areaWidth = (float)(area.right - area.left), areaHeight = (float)(area.bottom - area.top);
  MakeViewportMat44(&camera.pixelViewport, area.left + areaWidth * 0.5f, area.top + areaHeight * 0.5f, areaWidth,
                    areaHeight);
  if (InvertMat44(&camera.screenToClip, &camera.pixelViewport) != 0) SetIdentityMat44(&camera.screenToClip);
  MAT44F toScreen, projection;
  MultiplyMat44(&toScreen, &camera.projection, &camera.viewport);
  MultiplyMat44(&projection, &toScreen, &camera.screenToClip);
  SetDeviceProjectionTransform(projection);
  camera.derivedValid = 0;
  camera.inverseValid = 0;
  return 0;
}

int ClearDrawTarget(const RECT* rect) {
  if (IsMaskDrawingEnabled()) EndMaskedDrawing(&DrawSettings.drawArea);
  if (rect != nullptr && (rect->left < 0 || rect->top < 0)) rect = nullptr;
  if (!ScreenState.hardwareRendering) return ClearSoftwareTarget(rect);
  if (!HasDirect3DDevice()) return 0;
  FlushVertexBatch(0);
  EndDeviceScene();
  // The surface that holds the target's pixels: for a multisampled graph that is its
  // multisample surface, which overwrites the level-0 surface when it is resolved.
  GRAPH_RECORD* graph = GetDrawableGraph(DrawSettings.drawTarget);
  IDirect3DSurface9* surface = graph != nullptr ? GetGraphTargetSurface(graph) : ScreenTargetSurface();
  int masked = IsMaskDrawingEnabled() && MaskState.active && MaskState.screenSurface != nullptr;
  if (masked && surface != nullptr) SetDeviceRenderTarget(surface, 0);
  SetDeviceViewport(0, 0, DrawSettings.targetWidth, DrawSettings.targetHeight, 0.0f, 1.0f);
  D3DCOLOR background = (DWORD)(ScreenState.backgroundRed & 0xFF) << 16 |
                        (DWORD)(ScreenState.backgroundGreen & 0xFF) << 8 | (DWORD)(ScreenState.backgroundBlue & 0xFF);
  D3DRECT part = {0, 0, 0, 0};
  if (rect != nullptr) part = {rect->left, rect->top, rect->right, rect->bottom};
  DWORD count = rect != nullptr ? 1 : 0;
  DeviceCalls.DeviceClear(count, rect != nullptr ? &part : nullptr, D3DCLEAR_TARGET, background, 1.0f, 0);
  if (DeviceResources.depthBuffer != nullptr)
    DeviceCalls.DeviceClear(count, rect != nullptr ? &part : nullptr, D3DCLEAR_ZBUFFER, 0, 1.0f, 0);
  if (masked) SetDeviceRenderTarget(MaskState.screenSurface, 0);
  const RECT& area = DrawSettings.drawArea;
  SetDeviceViewport(area.left, area.top, area.right - area.left, area.bottom - area.top, 0.0f, 1.0f);
  return 0;
}

int FlipScreenBuffersEx(const RECT* rect) {
  flipInProgress = 1;
  // A flip from inside the on-screen log's own drawing presents nothing.
  if (drawingScreenLog) {
    flipInProgress = 0;
    return 0;
  }
  if (!ScreenState.graphicsStarted || IsQuitRequested()) {
    flipInProgress = 0;
    return -1;
  }
  if (IsMaskDrawingEnabled()) EndMaskedDrawing(&DrawSettings.drawArea);
  if (IsScreenLogShownByHook()) DrawScreenLogOverFrame();
  PresentScreen(rect);
  flipInProgress = 0;
  return 0;
}

int FlipScreenBuffers() { return FlipScreenBuffersEx(nullptr); }

int CopyBackBufferToSubBackBuffer() {
  if (GetSubBackBuffer() != nullptr) return 0;
  FlushVertexBatch(0);
  EndDeviceScene();
  if (CreateSubBackBuffer() != 0) return -1;
  DeviceCalls.DeviceStretchRect(GetScreenSurface(), nullptr, GetSubBackBuffer(), nullptr, D3DTEXF_NONE);
  // Screen targets draw into the sub back buffer from now on.
  int saved = SetForceSend(1);
  SetDeviceRenderTarget(GetSubBackBuffer(), 0);
  SetForceSend(saved);
  return 0;
}

int RefreshWindowFromBackBuffer() {
  if (!WindowState.windowedMode && ScreenState.hardwareRendering) CopyBackBufferToSubBackBuffer();
  return FlipScreenBuffersEx(nullptr);
}
