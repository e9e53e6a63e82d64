#include "graphics/draw/mask.h"

#include <cstring>

#include "core/maths.h"
#include "core/memory.h"
#include "graphics/device/d3d_calls.h"
#include "graphics/device/device.h"
#include "graphics/device/draw_prepare.h"
#include "graphics/device/device_resources.h"
#include "graphics/device/draw_settings.h"
#include "graphics/device/shader_handles.h"
#include "graphics/draw/draw_target.h"
#include "graphics/graphs/graph_handles.h"
#include "graphics/device/present.h"
#include "graphics/device/screen.h"
#include "graphics/software/software_draw.h"
#include "graphics/software/software_screen.h"
#include "graphics/device/state_cache.h"
#include "graphics/graphs/texture_transfer.h"
#include "graphics/device/vertex_batch.h"
#include "korvel.h"

MASK_STATE MaskState;

namespace {
int Hardware() { return ScreenState.hardwareRendering && HasDirect3DDevice(); }

int TerminateMask(HANDLE_HEAD* head) {
  MASK_RECORD* record = (MASK_RECORD*)head;
  FreeTracked(record->pixels);
  record->pixels = nullptr;
  return 0;
}

void ForceViewportToDrawArea() {
  const RECT& area = DrawSettings.drawArea;
  int saved = SetForceSend(1);
  SetDeviceViewportRect(area.left, area.top, area.right, area.bottom);
  SetForceSend(saved);
}

// The surface drawing goes to when no mask is in the way: the draw-target graph's first
// texture, else the back buffer.
IDirect3DSurface9* RealTargetSurface(int preferMultiSample) {
  GRAPH_RECORD* graph = GetGraphRecord(DrawSettings.drawTarget, 0);
  if (graph != nullptr && graph->imageSet != nullptr && graph->imageSet->textureCount > 0) {
    const GRAPH_TEXTURE& texture = graph->imageSet->textures[0];
    if (preferMultiSample && texture.multiSampleSurface != nullptr) return texture.multiSampleSurface;
    return texture.surface;
  }
  return ScreenTargetSurface();
}

// Mirrors the mask bytes of a rectangle into the mask image texture: alpha set where the
// byte is not 0.
void MirrorMaskRect(const RECT& rect) {
  if (MaskState.imageTexture == nullptr) return;
  const COLOR_FORMAT* format = GetD3DFormatColorFormat(DeviceCaps.textureFormats[26]);
  if (format == nullptr) return;
  D3DLOCKED_RECT locked;
  if (FAILED(DeviceCalls.TextureLockRect(MaskState.imageTexture, 0, &locked, &rect, 0))) return;
  int bytes = format->colorBits / 8;
  for (int y = rect.top; y < rect.bottom; y++) {
    unsigned char* out = (unsigned char*)locked.pBits + (y - rect.top) * locked.Pitch;
    const unsigned char* in = MaskState.pixels + y * MaskState.pitch;
    for (int x = rect.left; x < rect.right; x++, out += bytes) {
      uint32_t value = in[x] ? format->alphaMask : 0;
      memcpy(out, &value, (size_t)bytes);
    }
  }
  DeviceCalls.TextureUnlockRect(MaskState.imageTexture, 0);
}

void CreateHardwareSurfaces(int width, int height) {
  if (DeviceCaps.textureFormats[25] == D3DFMT_UNKNOWN)
    ExitWithFatalError("マスク描画用カラーバッファで使用できるテクスチャフォーマットがありませんでした");
  if (DeviceCaps.textureFormats[26] == D3DFMT_UNKNOWN)
    ExitWithFatalError("マスク描画用アルファチャンネルバッファで使用できるテクスチャフォーマットがありませんでした");
  MaskState.textureWidth = PowerOfTwoAtLeast(width);
  MaskState.textureHeight = PowerOfTwoAtLeast(height);
  if (MaskState.imageTexture == nullptr) {
    if (FAILED(DeviceCalls.DeviceCreateTexture(MaskState.textureWidth, MaskState.textureHeight, 1, D3DUSAGE_DYNAMIC,
                                               DeviceCaps.textureFormats[26], D3DPOOL_DEFAULT, &MaskState.imageTexture,
                                               nullptr)))
      ExitWithFatalError("マスク用イメージテクスチャの作成に失敗しました");
    RECT all = {0, 0, ScreenState.deviceWidth < MaskState.width ? ScreenState.deviceWidth : MaskState.width,
                ScreenState.deviceHeight < MaskState.height ? ScreenState.deviceHeight : MaskState.height};
    MirrorMaskRect(all);
  }
  if (MaskState.screenTexture == nullptr &&
      FAILED(DeviceCalls.DeviceCreateTexture(MaskState.textureWidth, MaskState.textureHeight, 1, D3DUSAGE_RENDERTARGET,
                                             DeviceCaps.backBufferFormat, D3DPOOL_DEFAULT, &MaskState.screenTexture,
                                             nullptr)))
    ExitWithFatalError("マスク用スクリーンテクスチャの作成に失敗しました");
  if (MaskState.screenSurface == nullptr)
    DeviceCalls.TextureGetSurfaceLevel(MaskState.screenTexture, 0, &MaskState.screenSurface);
}

// Ends a region still pending from a draw that began one (nothing when none is pending).
void EndPendingRegion() {
  if (!MaskState.pendingRegion) return;
  MaskState.pendingRegion = 0;
  if (MaskState.active) EndMaskedDrawing(&DrawSettings.drawArea);
}

void DrawMaskQuad(const RECT& r) {
  VERTEX_2D_TEX v[4];
  const int xs[4] = {r.left, r.right, r.left, r.right};
  const int ys[4] = {r.top, r.top, r.bottom, r.bottom};
  for (int i = 0; i < 4; i++) {
    v[i].x = (float)xs[i] - 0.5f;
    v[i].y = (float)ys[i] - 0.5f;
    v[i].z = 0.0f;
    v[i].rhw = 1.0f;
    v[i].diffuse = 0xFFFFFFFF;
    v[i].u = (float)xs[i] / (float)MaskState.textureWidth;
    v[i].v = (float)ys[i] / (float)MaskState.textureHeight;
  }
  const DWORD fvf = D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1;
  SendFVFIfChanged(fvf);
  DeviceCalls.DeviceDrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, v, sizeof(VERTEX_2D_TEX));
}

void EndHardwareRegion(const RECT& rect) {
  SetDeviceRenderTarget(MaskState.realSurface, 0);
  BeginDeviceScene();
  int zEnable = DeviceStateCache.zEnable;
  if (zEnable) SendRenderStateNow(D3DRS_ZENABLE, FALSE);
  if (DeviceStateCache.vertexShader != nullptr) SetDeviceVertexShader(nullptr);
  if (DeviceStateCache.pixelShader != nullptr) SetDevicePixelShader(nullptr);
  ForceViewportToDrawArea();

  // Stage 0 gives the colour of the mask screen, stage 1 the alpha of the mask image; the
  // alpha test lets through the pixels whose mask byte is 0 (reversed: not 0).
  CALLER_STAGE_SETUP setup = {};
  setup.alphaTestEnable = 1;
  setup.alphaRef = 0;
  setup.alphaFunc = MaskState.reverse ? D3DCMP_NOTEQUAL : D3DCMP_EQUAL;
  setup.alphaBlendEnable = 0;
  setup.sourceBlend = D3DBLEND_ONE;
  setup.destBlend = D3DBLEND_ZERO;
  setup.blendOp = D3DBLENDOP_ADD;
  setup.stageCount = 2;
  setup.stages[0].texture = (UINT_PTR)MaskState.screenTexture;
  setup.stages[0].stage = {0, 0, D3DTA_TEXTURE, D3DTA_DIFFUSE, D3DTOP_SELECTARG1, D3DTA_TEXTURE, D3DTA_DIFFUSE,
                           D3DTOP_SELECTARG1};
  setup.stages[1].texture = (UINT_PTR)MaskState.imageTexture;
  setup.stages[1].stage = {0, 0, D3DTA_TEXTURE, D3DTA_CURRENT, D3DTOP_SELECTARG1, D3DTA_CURRENT, D3DTA_TEXTURE,
                           D3DTOP_SELECTARG1};
  ApplyStageSetupRecord(&setup, 0, 0);
  // Where pixel shaders run and the program has none of its own selected, the mask blend
  // shader does the same as the two stages.
  int maskShader = StateFlags.programmableShaders && DeviceResources.maskShader != nullptr &&
                   ShaderSelection.pixelShader == 0;
  if (maskShader) SetDevicePixelShader(DeviceResources.maskShader);
  DrawMaskQuad(rect);
  EndDeviceScene();
  BeginDeviceScene();

  SetStageSetupOverride(nullptr, 0);
  if (maskShader) SetDevicePixelShader(nullptr);
  MarkTextureStatesChanged();
  if (zEnable) SendRenderStateNow(D3DRS_ZENABLE, TRUE);
  SetDeviceRenderTarget(MaskState.screenSurface, 0);
  ForceViewportToDrawArea();
}
}  // namespace

int InitMaskHandleType() {
  if (MaskState.initialised) return -1;
  if (InitHandleType(HANDLE_TYPE_MASK, sizeof(MASK_RECORD), MASK_HANDLE_MAX, nullptr, TerminateMask, "マスク") == -1)
    return -1;
  MaskState.initialised = 1;
  return 0;
}

int EndMaskSystem() {
  if (!MaskState.initialised) return -1;
  if (MaskState.wanted) EnableMaskDrawing(0);
  ReleaseMaskSurfaces();
  MaskState.created = MaskState.active = 0;
  DeleteHandlesOfType(HANDLE_TYPE_MASK, nullptr);
  MaskState.initialised = 0;
  EndHandleType(HANDLE_TYPE_MASK);
  return 0;
}

int CreateMaskScreen(int flag) {
  if (!flag) return 0;
  int width = 0, height = 0;
  QueryMainScreenSize(&width, &height);
  if (MaskState.pixels == nullptr) {
    MaskState.width = width;
    MaskState.height = height;
    MaskState.pitch = (width + 3) & ~3;
    MaskState.pixels = (unsigned char*)AllocTrackedZeroed((size_t)MaskState.pitch * (size_t)height, "", 0);
    if (MaskState.pixels == nullptr) return -1;
  }
  if (!Hardware()) {
    if (!MaskState.softwareImageValid) {
      if (CreateScreenMemImg(&MaskState.softwareImage, width, height, -1) != 0)
        ExitWithFatalError("マスク用 MEMIMG の作成に失敗しました");
      MaskState.softwareImageValid = 1;
    }
  } else {
    CreateHardwareSurfaces(width, height);
  }
  MaskState.created = 1;
  return 0;
}

int ReleaseMaskSurfaces() {
  FreeTracked(MaskState.pixels);
  MaskState.pixels = nullptr;
  if (SoftwareTarget == &MaskState.softwareImage) SoftwareTarget = GetSoftwareRealTarget();
  if (MaskState.softwareImageValid) ReleaseMemImg(&MaskState.softwareImage);
  MaskState.softwareImageValid = 0;
  if (MaskState.imageTexture != nullptr) ReleaseComObject(MaskState.imageTexture);
  if (MaskState.screenSurface != nullptr) ReleaseComObject(MaskState.screenSurface);
  if (MaskState.screenTexture != nullptr) ReleaseComObject(MaskState.screenTexture);
  MaskState.imageTexture = nullptr;
  MaskState.screenSurface = nullptr;
  MaskState.screenTexture = nullptr;
  return 0;
}

int RecreateMaskSurfaces() {
  if (!MaskState.initialised) return -1;
  CreateMaskScreen(MaskState.created);
  if (MaskState.wanted) EnableMaskDrawing(1);
  return 0;
}

int EnableMaskDrawing(int flag) {
  if (!MaskState.initialised || MaskState.pixels == nullptr) return -1;
  EndPendingRegion();
  MaskState.wanted = flag != 0;
  MaskState.active = MaskState.wanted && MaskState.created;
  // Software drawing follows the mask MEMIMG through the software draw target.
  if (!Hardware()) {
    if (!ScreenState.hardwareRendering) FollowMaskInSoftwareTarget();
    return 0;
  }
  FlushVertexBatch(0);
  IDirect3DSurface9* target =
      MaskState.active && MaskState.screenSurface != nullptr ? MaskState.screenSurface : RealTargetSurface(1);
  SetDeviceRenderTarget(target, 0);
  ForceViewportToDrawArea();
  return 0;
}

int IsMaskDrawingEnabled() { return MaskState.wanted; }

void ResetMaskDrawingFlags() {
  MaskState.pendingRegion = 0;
  MaskState.wanted = 0;
  MaskState.active = 0;
}

int BeginMaskedDrawing(const RECT* rect) {
  EndPendingRegion();
  if (MaskState.nesting++ != 0) return 0;
  RECT r = *rect;
  ClipRectToRect(&r, &DrawSettings.drawArea);
  if (MaskState.active && Hardware() && MaskState.screenSurface != nullptr) {
    MaskState.realSurface = RealTargetSurface(0);
    if (r.left < r.right && r.top < r.bottom) {
      FlushVertexBatch(0);
      EndDeviceScene();
      DeviceCalls.DeviceStretchRect(MaskState.realSurface, &r, MaskState.screenSurface, &r, D3DTEXF_NONE);
    }
  }
  if (MaskState.active && !Hardware() && GetSoftwareRealTarget() != nullptr)
    BeginSoftwareMaskRegion(GetSoftwareRealTarget(), &r);
  return 0;
}

int EndMaskedDrawing(const RECT* rect) {
  if (MaskState.nesting <= 0) return 0;  // no region is open
  if (--MaskState.nesting != 0) return 0;
  RECT r = *rect;
  ClipRectToRect(&r, &DrawSettings.drawArea);
  if (r.left >= r.right || r.top >= r.bottom) return 0;
  if (MaskState.active && Hardware() && MaskState.screenSurface != nullptr && MaskState.realSurface != nullptr) {
    FlushVertexBatch(0);
    EndHardwareRegion(r);
  }
  if (MaskState.active && !Hardware() && GetSoftwareRealTarget() != nullptr)
    EndSoftwareMaskRegion(GetSoftwareRealTarget(), &r);
  return 0;
}

int BeginSoftwareMaskRegion(MEMIMG* real, const RECT* rect) {
  if (!MaskState.softwareImageValid || !IsMemImgValid(real)) return -1;
  if (rect->left >= rect->right || rect->top >= rect->bottom) return 0;
  return CopyMemImgRect(&MaskState.softwareImage, real, rect, rect->left, rect->top);
}

int EndSoftwareMaskRegion(MEMIMG* real, const RECT* rect) {
  MEMIMG& mask = MaskState.softwareImage;
  if (!MaskState.softwareImageValid || !IsMemImgValid(real) || MaskState.pixels == nullptr) return -1;
  if (real->store->format->colorBits != mask.store->format->colorBits) return -1;
  // Only what lies in both images and in the mask bytes.
  RECT r = *rect;
  RECT bounds = {0, 0, real->width < mask.width ? real->width : mask.width,
                 real->height < mask.height ? real->height : mask.height};
  if (bounds.right > MaskState.width) bounds.right = MaskState.width;
  if (bounds.bottom > MaskState.height) bounds.bottom = MaskState.height;
  ClipRectToRect(&r, &bounds);
  int bytes = mask.store->format->colorBits / 8;
  for (int y = r.top; y < r.bottom; y++) {
    const unsigned char* bits = MaskState.pixels + y * MaskState.pitch;
    const uint8_t* from = mask.pixels + y * mask.store->pitch;
    uint8_t* to = real->pixels + y * real->store->pitch;
    for (int x = r.left; x < r.right; x++)
      if ((bits[x] == 0) != (MaskState.reverse != 0)) memcpy(to + x * bytes, from + x * bytes, (size_t)bytes);
  }
  return 0;
}

int FillMaskScreenRect(const RECT* rect, int value) {
  if (MaskState.pixels == nullptr) return -1;
  RECT r = *rect;
  RECT bounds = {0, 0, MaskState.width, MaskState.height};
  ClipRectToRect(&r, &bounds);
  if (r.left >= r.right || r.top >= r.bottom) return 0;
  for (int y = r.top; y < r.bottom; y++)
    memset(MaskState.pixels + y * MaskState.pitch + r.left, value, (size_t)(r.right - r.left));
  if (Hardware()) MirrorMaskRect(r);
  return 0;
}

int MakeMask(int width, int height) {
  if (width <= 0 || height <= 0) return -1;
  int handle = NewHandle(HANDLE_TYPE_MASK, -1);
  if (handle == -1) return -1;
  MASK_RECORD* record = (MASK_RECORD*)LookupHandleRecord(handle);
  record->pixels = (unsigned char*)AllocTrackedZeroed((size_t)width * (size_t)height, "", 0);
  if (record->pixels == nullptr) {
    DeleteHandle(handle);
    return -1;
  }
  record->width = width;
  record->height = height;
  return handle;
}

int DeleteMask(int handle) {
  if (handle < 0 || GetHandleType(handle) != HANDLE_TYPE_MASK) return -1;
  return DeleteHandle(handle);
}
