#include "graphics/device/device.h"

#include <cstring>

#include "core/log.h"
#include "core/maths.h"
#include "core/winapi.h"
#include "graphics/device/d3d_calls.h"
#include "graphics/device/draw_settings.h"
#include "graphics/device/screen.h"
#include "graphics/device/state_cache.h"
#include "image/memimg.h"
#include "system/base/window_services.h"
#include "system/base/window_state.h"

DEVICE_SETTINGS DeviceSettings;
DEVICE_CAPS DeviceCaps;

namespace {
IDirect3DSurface9* screenSurface;

struct FORMAT_LABEL {
  D3DFORMAT format;
  const char* label;
};
const FORMAT_LABEL kLabels[] = {
    {D3DFMT_R5G6B5, "D3DFMT_R5G6B5"}, {D3DFMT_X1R5G5B5, "D3DFMT_X1R5G5B5"},
    {D3DFMT_X8R8G8B8, "D3DFMT_X8R8G8B8"}, {D3DFMT_A8R8G8B8, "D3DFMT_A8R8G8B8"},
    {D3DFMT_A4R4G4B4, "D3DFMT_A4R4G4B4"}, {D3DFMT_A1R5G5B5, "D3DFMT_A1R5G5B5"},
    {D3DFMT_DXT1, "D3DFMT_DXT1"}, {D3DFMT_DXT2, "D3DFMT_DXT2"}, {D3DFMT_DXT3, "D3DFMT_DXT3"},
    {D3DFMT_DXT4, "D3DFMT_DXT4"}, {D3DFMT_DXT5, "D3DFMT_DXT5"},
    {D3DFMT_A16B16G16R16, "D3DFMT_A16B16G16R16"}, {D3DFMT_A16B16G16R16F, "D3DFMT_A16B16G16R16F"},
    {D3DFMT_A32B32G32R32F, "D3DFMT_A32B32G32R32F"}, {D3DFMT_L8, "D3DFMT_L8"}, {D3DFMT_A8L8, "D3DFMT_A8L8"},
    {D3DFMT_L16, "D3DFMT_L16"}, {D3DFMT_G16R16, "D3DFMT_G16R16"}, {D3DFMT_R16F, "D3DFMT_R16F"},
    {D3DFMT_G16R16F, "D3DFMT_G16R16F"}, {D3DFMT_R32F, "D3DFMT_R32F"}, {D3DFMT_G32R32F, "D3DFMT_G32R32F"},
    {D3DFMT_D16, "D3DFMT_D16"}, {D3DFMT_D24X8, "D3DFMT_D24X8"}, {D3DFMT_D32, "D3DFMT_D32"},
};

// One texture format class: its log line, its candidates (with their own labels where they
// differ from the format's name) and what happens when none is accepted.
enum MISSING { MISSING_FAILS, MISSING_UNKNOWN, MISSING_COPIES };
struct FORMAT_CLASS {
  const char* found;
  D3DFORMAT candidates[4];
  const char* labels[4];
  MISSING missing;
  int copyOf;  // class whose format a missing one takes
  const char* missingText;
};

const FORMAT_CLASS kClasses[25] = {
    {"16bit カラーフォーマットは %s です", {D3DFMT_R5G6B5, D3DFMT_X1R5G5B5}, {}, MISSING_FAILS, 0,
     "使用できる 16bit カラーフォーマットが見つかりませんでした\n"},
    {"32bit カラーフォーマットは %s です", {D3DFMT_X8R8G8B8}, {}, MISSING_COPIES, 0, nullptr},
    {"アルファ付き 16bit カラーフォーマットは %s です", {D3DFMT_A4R4G4B4, D3DFMT_A8R8G8B8}, {}, MISSING_FAILS, 0,
     "使用できるアルファ付き 16bit カラーフォーマットが見つかりませんでした\n"},
    {"アルファ付き 32bit カラーフォーマットは %s です", {D3DFMT_A8R8G8B8, D3DFMT_A4R4G4B4}, {}, MISSING_FAILS, 0,
     "使用できるアルファ付き 32bit カラーフォーマットが見つかりませんでした\n"},
    {"アルファテスト用 16bit カラーフォーマットは %s です", {D3DFMT_A1R5G5B5, D3DFMT_A8R8G8B8, D3DFMT_A4R4G4B4}, {},
     MISSING_FAILS, 0, "使用できるアルファテスト用 16bit カラーフォーマットが見つかりませんでした\n"},
    {"アルファテスト用 32bit カラーフォーマットは %s です", {D3DFMT_A8R8G8B8, D3DFMT_A1R5G5B5, D3DFMT_A4R4G4B4}, {},
     MISSING_FAILS, 0, "使用できるアルファテスト用 32bit カラーフォーマットが見つかりませんでした\n"},
    {"ＤＸＴ１テクスチャフォーマットは%s", {D3DFMT_DXT1}, {"D3DFMT_DXT1 です"}, MISSING_COPIES, 4, "使えません"},
    {"ＤＸＴ２テクスチャフォーマットは%s", {D3DFMT_DXT2}, {"D3DFMT_DXT2 です"}, MISSING_COPIES, 3, "使えません"},
    {"ＤＸＴ３テクスチャフォーマットは%s", {D3DFMT_DXT3}, {"D3DFMT_DXT3 です"}, MISSING_COPIES, 3, "使えません"},
    {"ＤＸＴ４テクスチャフォーマットは%s", {D3DFMT_DXT4}, {"D3DFMT_DXT4 です"}, MISSING_COPIES, 3, "使えません"},
    {"ＤＸＴ５テクスチャフォーマットは%s", {D3DFMT_DXT5}, {"D3DFMT_DXT5 です"}, MISSING_COPIES, 3, "使えません"},
    // Class 11's candidates depend on the back buffer and are filled in at the set-up.
    {"描画用 16bit カラーフォーマットは %s です", {}, {}, MISSING_UNKNOWN, 0,
     "使用できる描画用 16bit カラーフォーマットがありませんでした\n"},
    {"描画用 32bit カラーフォーマットは %s です", {D3DFMT_X8R8G8B8, D3DFMT_R5G6B5, D3DFMT_X1R5G5B5},
     {nullptr, nullptr, "D3DFMT_R5G5B5"}, MISSING_UNKNOWN, 0,
     "使用できる描画用 32bit カラーフォーマットがありませんでした\n"},
    {"描画用アルファ付き 32bit カラーフォーマットは %s です", {D3DFMT_A8R8G8B8, D3DFMT_A4R4G4B4}, {}, MISSING_UNKNOWN,
     0, "使用できる描画用アルファ付き 32bit カラーフォーマットがありませんでした\n"},
    {"描画用ABGR整数16ビット型カラーフォーマットは %s です", {D3DFMT_A16B16G16R16}, {}, MISSING_UNKNOWN, 0,
     "使用できる描画用ABGR整数16ビット型カラーフォーマットがありませんでした\n"},
    {"描画用ABGR浮動小数点16ビット型カラーフォーマットは %s です", {D3DFMT_A16B16G16R16F}, {}, MISSING_UNKNOWN, 0,
     "使用できる描画用ABGR浮動小数点16ビット型カラーフォーマットがありませんでした\n"},
    {"描画用ABGR浮動小数点32ビット型カラーフォーマットは %s です", {D3DFMT_A32B32G32R32F, D3DFMT_A16B16G16R16F}, {},
     MISSING_UNKNOWN, 0, "使用できる描画用ABGR浮動小数点32ビット型カラーフォーマットがありませんでした\n"},
    {"描画用１チャンネル整数8ビット型カラーフォーマットは %s です", {D3DFMT_L8, D3DFMT_A8L8, D3DFMT_A8R8G8B8}, {},
     MISSING_UNKNOWN, 0, "使用できる描画用１チャンネル整数8ビット型カラーフォーマットがありませんでした\n"},
    {"描画用１チャンネル整数16ビット型カラーフォーマットは %s です", {D3DFMT_L16, D3DFMT_G16R16, D3DFMT_A16B16G16R16},
     {}, MISSING_UNKNOWN, 0, "使用できる描画用１チャンネル整数16ビット型カラーフォーマットがありませんでした\n"},
    {"描画用１チャンネル浮動小数点16ビット型カラーフォーマットは %s です",
     {D3DFMT_R16F, D3DFMT_G16R16F, D3DFMT_A16B16G16R16F, D3DFMT_A32B32G32R32F}, {}, MISSING_UNKNOWN, 0,
     "使用できる描画用１チャンネル浮動小数点16ビット型カラーフォーマットがありませんでした\n"},
    {"描画用１チャンネル浮動小数点32ビット型カラーフォーマットは %s です",
     {D3DFMT_R32F, D3DFMT_G32R32F, D3DFMT_A32B32G32R32F, D3DFMT_A16B16G16R16F}, {}, MISSING_UNKNOWN, 0,
     "使用できる描画用１チャンネル浮動小数点32ビット型カラーフォーマットがありませんでした\n"},
    {"描画用２チャンネル整数8ビット型カラーフォーマットは %s です", {D3DFMT_A8L8, D3DFMT_A8R8G8B8},
     {"D3DFMT_V8U8", "D3DFMT_A8B8G8R8"}, MISSING_UNKNOWN, 0,
     "使用できる描画用２チャンネル整数8ビット型カラーフォーマットがありませんでした\n"},
    {"描画用２チャンネル整数16ビット型カラーフォーマットは %s です", {D3DFMT_G16R16, D3DFMT_A16B16G16R16}, {},
     MISSING_UNKNOWN, 0, "使用できる描画用２チャンネル整数16ビット型カラーフォーマットがありませんでした\n"},
    {"描画用２チャンネル浮動小数点16ビット型カラーフォーマットは %s です",
     {D3DFMT_G16R16F, D3DFMT_A16B16G16R16F, D3DFMT_A32B32G32R32F}, {}, MISSING_UNKNOWN, 0,
     "使用できる描画用２チャンネル浮動小数点16ビット型カラーフォーマットがありませんでした\n"},
    {"描画用２チャンネル浮動小数点32ビット型カラーフォーマットは %s です",
     {D3DFMT_G32R32F, D3DFMT_A32B32G32R32F, D3DFMT_A16B16G16R16F}, {}, MISSING_UNKNOWN, 0,
     "使用できる描画用２チャンネル浮動小数点32ビット型カラーフォーマットがありませんでした\n"},
};

int BytesPerPixel(D3DFORMAT format) { return format == D3DFMT_X8R8G8B8 || format == D3DFMT_A8R8G8B8 ? 4 : 2; }

long long NowMicroseconds() {
  LARGE_INTEGER now, frequency;
  QueryPerformanceCounter(&now);
  QueryPerformanceFrequency(&frequency);
  return frequency.QuadPart == 0 ? 0 : now.QuadPart * 1000000 / frequency.QuadPart;
}

// Copies a side x side square row by row between two locked rectangles.
void CopySquare(const D3DLOCKED_RECT& from, const D3DLOCKED_RECT& to, int side, int bytes) {
  for (int y = 0; y < side; y++)
    memcpy((char*)to.pBits + y * to.Pitch, (const char*)from.pBits + y * from.Pitch, side * bytes);
}

void ReleaseIfSet(IDirect3DSurface9*& surface) {
  if (surface != nullptr) DeviceCalls.ReleaseComObject(surface);
  surface = nullptr;
}

// (a) Lock the back buffer and copy the square out. The destination is locked for writing:
// the copy goes into it.
long long TimeBackBufferLock(int side, int bytes) {
  IDirect3DSurface9* system = nullptr;
  long long elapsed = -1;
  D3DLOCKED_RECT to, from;
  RECT square = {0, 0, side, side};
  if (SUCCEEDED(DeviceCalls.DeviceCreateOffscreenSurface(side, side, DeviceCaps.backBufferFormat, D3DPOOL_SYSTEMMEM,
                                                         &system, nullptr)) &&
      SUCCEEDED(DeviceCalls.SurfaceLockRect(system, &to, nullptr, 0))) {
    long long start = NowMicroseconds();
    if (SUCCEEDED(DeviceCalls.SurfaceLockRect(screenSurface, &from, &square, D3DLOCK_READONLY))) {
      CopySquare(from, to, side, bytes);
      DeviceCalls.SurfaceUnlockRect(screenSurface);
      elapsed = NowMicroseconds() - start;
    }
    DeviceCalls.SurfaceUnlockRect(system);
  }
  ReleaseIfSet(system);
  return elapsed;
}

// (b) Copy the square through a temporary render target and GetRenderTargetData.
long long TimeRenderTargetCopy(int side, int bytes) {
  IDirect3DSurface9* target = nullptr;
  IDirect3DSurface9* system = nullptr;
  long long elapsed = -1;
  long long start = NowMicroseconds();
  RECT square = {0, 0, side, side};
  D3DLOCKED_RECT from;
  if (SUCCEEDED(DeviceCalls.DeviceCreateRenderTarget(side, side, DeviceCaps.backBufferFormat, D3DMULTISAMPLE_NONE, 0,
                                                     FALSE, &target, nullptr)) &&
      SUCCEEDED(DeviceCalls.DeviceCreateOffscreenSurface(side, side, DeviceCaps.backBufferFormat, D3DPOOL_SYSTEMMEM,
                                                         &system, nullptr)) &&
      SUCCEEDED(DeviceCalls.DeviceStretchRect(screenSurface, &square, target, nullptr, D3DTEXF_NONE)) &&
      SUCCEEDED(DeviceCalls.DeviceGetRenderTargetData(target, system)) &&
      SUCCEEDED(DeviceCalls.SurfaceLockRect(system, &from, nullptr, D3DLOCK_READONLY))) {
    static char rows[256 * 256 * 4];
    D3DLOCKED_RECT to = {side * bytes, rows};
    CopySquare(from, to, side, bytes);
    DeviceCalls.SurfaceUnlockRect(system);
    elapsed = NowMicroseconds() - start;
  }
  ReleaseIfSet(target);
  ReleaseIfSet(system);
  return elapsed;
}

void RunBackBufferLockTest() {
  int side = 256;
  while (side > ScreenState.deviceWidth || side > ScreenState.deviceHeight) side /= 2;
  int bytes = BytesPerPixel(DeviceCaps.backBufferFormat);
  long long lockTime = -1, copyTime = -1;
  for (int pass = 0; pass < 3; pass++) {
    lockTime = TimeBackBufferLock(side, bytes);
    copyTime = TimeRenderTargetCopy(side, bytes);
  }
  if (lockTime < 0 || copyTime < 0) {
    WriteLogText("バックバッファロックはロックできません\n");
    return;
  }
  AddLogLineFormat("バックバッファロック転送の時間:%dnsec  一時的な描画可能バッファを使用した転送の時間:%dnsec",
                   (int)lockTime, (int)copyTime);
  if (lockTime < copyTime) {
    DeviceSettings.backBufferLock = 1;
    WriteLogText("バックバッファロックを使用します\n");
  } else {
    WriteLogText("バックバッファロックを使用しません\n");
  }
}

int ChooseFormatClass(int index, const FORMAT_CLASS& entry, const D3DFORMAT* candidates, const char* const* labels) {
  for (int i = 0; i < 4 && candidates[i] != 0; i++) {
    DWORD usage = index <= 10 ? 0 : D3DUSAGE_RENDERTARGET;
    if (SUCCEEDED(DeviceCalls.Direct3DCheckDeviceFormat(ChosenAdapter(), D3DDEVTYPE_HAL, DeviceCaps.backBufferFormat,
                                                        usage, D3DRTYPE_TEXTURE, candidates[i]))) {
      DeviceCaps.textureFormats[index] = candidates[i];
      AddLogLineFormat(entry.found, labels[i] != nullptr ? labels[i] : GetFormatLabel(candidates[i]));
      return 0;
    }
  }
  switch (entry.missing) {
    case MISSING_FAILS:
      WriteLogText(entry.missingText);
      return -1;
    case MISSING_UNKNOWN:
      DeviceCaps.textureFormats[index] = D3DFMT_UNKNOWN;
      WriteLogText(entry.missingText);
      return 0;
    case MISSING_COPIES:
      DeviceCaps.textureFormats[index] = DeviceCaps.textureFormats[entry.copyOf];
      AddLogLineFormat(entry.found, entry.missingText != nullptr
                                        ? entry.missingText
                                        : GetFormatLabel(DeviceCaps.textureFormats[entry.copyOf]));
      return 0;
  }
  return 0;
}

int ChooseTextureFormats() {
  for (int index = 0; index < 25; index++) {
    const FORMAT_CLASS& entry = kClasses[index];
    D3DFORMAT candidates[4] = {entry.candidates[0], entry.candidates[1], entry.candidates[2], entry.candidates[3]};
    const char* labels[4] = {entry.labels[0], entry.labels[1], entry.labels[2], entry.labels[3]};
    if (index == 11) {
      int r565 = DeviceCaps.backBufferFormat == D3DFMT_R5G6B5;
      candidates[0] = r565 ? D3DFMT_R5G6B5 : D3DFMT_X1R5G5B5;
      candidates[1] = r565 ? D3DFMT_X1R5G5B5 : D3DFMT_R5G6B5;
      candidates[2] = D3DFMT_X8R8G8B8;
      for (int i = 0; i < 3; i++) labels[i] = candidates[i] == D3DFMT_X1R5G5B5 ? "D3DFMT_R5G5B5" : nullptr;
    }
    if (ChooseFormatClass(index, entry, candidates, labels) != 0) return -1;
  }
  int screen32 = GetScreenColorBits() == 32;
  DeviceCaps.textureFormats[25] = DeviceCaps.textureFormats[screen32 ? 12 : 11];
  DeviceCaps.textureFormats[26] = DeviceCaps.textureFormats[screen32 ? 5 : 4];
  return 0;
}

// The screen depth, and with it the pixel type of the screen-sized MEMIMG images.
void SetColorBits(int bits) {
  ScreenState.colorBits = bits;
  SetDefaultMemImgType(bits == 32 ? MEMIMG_TYPE_32BIT : MEMIMG_TYPE_RGB565);
}

// The back-buffer format of a fullscreen depth; UNKNOWN for a depth the device cannot show.
D3DFORMAT FullscreenBackBufferFormat() {
  switch (GetScreenColorBits()) {
    case 16:
      return DeviceCalls.Direct3DGetAdapterModeCount(ChosenAdapter(), D3DFMT_R5G6B5) != 0 ? D3DFMT_R5G6B5
                                                                                         : D3DFMT_X1R5G5B5;
    case 32: return D3DFMT_X8R8G8B8;
  }
  return D3DFMT_UNKNOWN;
}

// Creation attempts on the Ex or the plain object: the chosen flags first, then software
// vertex processing. 0 on success with `retried` saying which attempt worked.
HRESULT CreateDeviceAttempts(HWND focus, DWORD flags, D3DPRESENT_PARAMETERS* params, D3DDISPLAYMODEEX* mode,
                             int* retried) {
  HRESULT hr = E_FAIL;
  *retried = 0;
  for (int attempt = 0; attempt < 2; attempt++) {
    if (attempt == 0 && DeviceSettings.forceSoftwareVertexProcessing) continue;
    if (attempt == 1) {
      flags = (flags & ~D3DCREATE_MIXED_VERTEXPROCESSING) | D3DCREATE_SOFTWARE_VERTEXPROCESSING;
      DeviceSettings.shaderModel2 = 0;
      *retried = 1;
    }
    D3DPRESENT_PARAMETERS copy = *params;  // a failed call may have altered the parameters
    if (Direct3DObjects.direct3DEx != nullptr) {
      IDirect3DDevice9Ex* device = nullptr;
      hr = DeviceCalls.Direct3DCreateDeviceEx(ChosenAdapter(), D3DDEVTYPE_HAL, focus, flags, &copy, mode, &device);
      if (SUCCEEDED(hr) && device != nullptr) {
        Direct3DObjects.deviceEx = device;
        Direct3DObjects.device = device;
        return S_OK;
      }
    } else {
      IDirect3DDevice9* device = nullptr;
      hr = DeviceCalls.Direct3DCreateDevice(ChosenAdapter(), D3DDEVTYPE_HAL, focus, flags, &copy, &device);
      if (SUCCEEDED(hr) && device != nullptr) {
        Direct3DObjects.device = device;
        return S_OK;
      }
    }
    if (SUCCEEDED(hr)) hr = E_FAIL;
  }
  return hr;
}
}  // namespace

int ChosenAdapter() { return DeviceSettings.useAdapter ? DeviceSettings.adapter : 0; }

const char* GetFormatLabel(D3DFORMAT format) {
  for (const FORMAT_LABEL& entry : kLabels)
    if (entry.format == format) return entry.label;
  return "D3DFMT_UNKNOWN";
}

IDirect3DSurface9* GetScreenSurface() { return screenSurface; }

void ReleaseScreenSurface() { ReleaseIfSet(screenSurface); }

int GetShaderModel() {
  if (HasDirect3DDevice() && !(DeviceSettings.vertexShader2 && DeviceSettings.pixelShader2)) return 0;
  if (!HasDirect3D()) return 0;
  D3DCAPS9 caps;
  memset(&caps, 0, sizeof(caps));
  if (FAILED(DeviceCalls.Direct3DGetDeviceCaps(ChosenAdapter(), D3DDEVTYPE_HAL, &caps))) return 0;
  DWORD vs = caps.VertexShaderVersion & 0xFFFF, ps = caps.PixelShaderVersion & 0xFFFF;
  if (vs < 0x200 && ps < 0x200) return 0;
  if (vs >= 0x300 && ps >= 0x300) return 300;
  return 200;
}

int CreateDirect3DDevice() {
  D3DPRESENT_PARAMETERS params;
  memset(&params, 0, sizeof(params));
  params.BackBufferWidth = ScreenState.deviceWidth;
  params.BackBufferHeight = ScreenState.deviceHeight;
  D3DDISPLAYMODEEX fullscreenMode;
  memset(&fullscreenMode, 0, sizeof(fullscreenMode));
  D3DDISPLAYMODEEX* mode = nullptr;
  if (WindowState.windowedMode) {
    D3DDISPLAYMODE desktop;
    memset(&desktop, 0, sizeof(desktop));
    DeviceCalls.Direct3DGetAdapterDisplayMode(0, &desktop);
    params.BackBufferFormat = desktop.Format;
    if (desktop.Format == D3DFMT_X8R8G8B8) SetColorBits(32);
    if (desktop.Format == D3DFMT_R5G6B5 || desktop.Format == D3DFMT_X1R5G5B5 || desktop.Format == D3DFMT_A1R5G5B5)
      SetColorBits(16);
    params.BackBufferCount = 1;
    params.Windowed = TRUE;
    SetDesktopComposition(DeviceSettings.desktopComposition == 2 ? 0 : 1);
  } else if (WindowState.osCode >= OS_CODE_VISTA && IsSmallScreenEmulated()) {
    // The emulated 320 x 240 screen: the display mode is already set, and the device is made
    // windowed over it.
    D3DDISPLAYMODE display;
    memset(&display, 0, sizeof(display));
    DeviceCalls.Direct3DGetAdapterDisplayMode(0, &display);
    params.BackBufferFormat = FullscreenBackBufferFormat();
    if (params.BackBufferFormat == D3DFMT_UNKNOWN) {
      WriteLogText("非対応のバックバッファービット深度が指定されました\n");
      return -1;
    }
    params.BackBufferCount = 1;
    params.Windowed = TRUE;
  } else {
    params.BackBufferFormat = FullscreenBackBufferFormat();
    if (params.BackBufferFormat == D3DFMT_UNKNOWN) {
      WriteLogText("非対応のバックバッファービット深度が指定されました\n");
      return -1;
    }
    params.BackBufferCount = 1;
    params.Windowed = FALSE;
    params.FullScreen_RefreshRateInHz = ScreenState.refreshRate;
    fullscreenMode.Size = sizeof(fullscreenMode);
    fullscreenMode.Width = params.BackBufferWidth;
    fullscreenMode.Height = params.BackBufferHeight;
    fullscreenMode.RefreshRate = params.FullScreen_RefreshRateInHz;
    fullscreenMode.Format = params.BackBufferFormat;
    fullscreenMode.ScanLineOrdering = D3DSCANLINEORDERING_PROGRESSIVE;
    mode = &fullscreenMode;
    if (DeviceSettings.desktopComposition != 1) {
      SetDesktopComposition(0);
      if (WinApi.dwmapi.DwmEnableComposition != nullptr) WriteLogText("Desktop Window Manager を無効にしました\n");
    }
  }
  int multiSample = DeviceSettings.multiSampleType != 0;
  params.SwapEffect = multiSample ? D3DSWAPEFFECT_DISCARD : D3DSWAPEFFECT_COPY;
  params.hDeviceWindow = GetOutputWindow();
  params.Flags = multiSample ? 0 : D3DPRESENTFLAG_LOCKABLE_BACKBUFFER;
  params.PresentationInterval = DrawSettings.noVSyncWait ? D3DPRESENT_INTERVAL_IMMEDIATE : D3DPRESENT_INTERVAL_ONE;
  if (multiSample)
    FindSupportedMultiSampleType(params.BackBufferFormat, &DeviceSettings.multiSampleType,
                                 &DeviceSettings.multiSampleQuality, 0);
  else
    DeviceSettings.multiSampleQuality = 0;
  params.MultiSampleType = (D3DMULTISAMPLE_TYPE)DeviceSettings.multiSampleType;
  params.MultiSampleQuality = DeviceSettings.multiSampleQuality;

  if (!DeviceSettings.forceSoftwareVertexProcessing) {
    D3DCAPS9 caps;
    memset(&caps, 0, sizeof(caps));
    DeviceCalls.Direct3DGetDeviceCaps(ChosenAdapter(), D3DDEVTYPE_HAL, &caps);
    DeviceSettings.shaderModel2 =
        (caps.VertexShaderVersion & 0xFFFF) >= 0x200 && (caps.PixelShaderVersion & 0xFFFF) >= 0x200;
    DeviceSettings.adapterVertexShaderVersion = caps.VertexShaderVersion;
  }
  DWORD flags = DeviceSettings.shaderModel2 ? D3DCREATE_MIXED_VERTEXPROCESSING : D3DCREATE_SOFTWARE_VERTEXPROCESSING;
  if (DeviceSettings.multithreaded) flags |= D3DCREATE_MULTITHREADED;

  int ex = Direct3DObjects.direct3DEx != nullptr;
  WriteLogText(ex ? "IDirect3DDevice9Ex オブジェクトを取得します.... " : "IDirect3DDevice9 オブジェクトを取得します.... ");
  int retried = 0;
  if (FAILED(CreateDeviceAttempts(WindowState.mainWindow, flags, &params, mode, &retried))) {
    if (ex) {
      DeviceSettings.no9Ex = 1;
      WriteLogText("Direct3DDevice9Ex の作成に失敗しました\n");
      return -2;
    }
    WriteLogText("Direct3DDevice9 の作成に失敗しました\n");
    return -1;
  }
  if (ex) DeviceCalls.DeviceSetMaximumFrameLatency(1);
  WriteLogText(retried ? "ソフトウエア頂点演算を使用します\n" : "ハードウエア頂点演算を使用します\n");

  DeviceCalls.DeviceSetRenderState(D3DRS_ZENABLE, TRUE);
  D3DCOLOR background = (ScreenState.backgroundRed & 0xFF) << 16 | (ScreenState.backgroundGreen & 0xFF) << 8 |
                        (ScreenState.backgroundBlue & 0xFF);
  for (int i = 0; i < 3; i++) {
    DeviceCalls.DeviceClear(0, nullptr, D3DCLEAR_TARGET, background, 1.0f, 0);
    DeviceCalls.DevicePresent(nullptr, nullptr, GetOutputWindow(), nullptr);
  }
  DeviceCalls.DeviceClear(0, nullptr, D3DCLEAR_TARGET, background, 1.0f, 0);
  DeviceCalls.DeviceGetSwapChain(0, &Direct3DObjects.swapChain);
  return 0;
}

int SetUpDirect3DDevice() {
  if (!HasDirect3D()) return -1;
  ReleaseDirect3DDevice();
  SetSceneOpen(0);
  if (GetShaderModel() < 200) {
    DeviceSettings.multiSampleType = 0;
    DeviceSettings.multiSampleQuality = 0;
  }

  // Degrade: the requested mode, then 32 bits, then 800 x 600, then 1024 x 768.
  static const int kSizes[2][2] = {{800, 600}, {1024, 768}};
  int result = -1;
  for (int attempt = 0; attempt < 4 && result != 0; attempt++) {
    if (attempt == 1) SetColorBits(32);
    if (attempt >= 2) {
      ScreenState.deviceWidth = ScreenState.mainWidth = kSizes[attempt - 2][0];
      ScreenState.deviceHeight = ScreenState.mainHeight = kSizes[attempt - 2][1];
      SetAspectScreenSize(ScreenState.mainWidth, ScreenState.mainHeight);
    }
    result = CreateDirect3DDevice();
    if (result == -2) return -2;
  }
  if (result != 0) return -1;

  ForgetShaderBindings();
  DeviceCalls.DeviceGetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &screenSurface);
  WriteLogText("成功\n");

  D3DCAPS9& caps = DeviceCaps.caps;
  memset(&caps, 0, sizeof(caps));
  DeviceCalls.DeviceGetDeviceCaps(&caps);
  DeviceCaps.renderTargetCount = caps.NumSimultaneousRTs > 16 ? 16 : (int)caps.NumSimultaneousRTs;
  DeviceCaps.stageTempRegister = (caps.PrimitiveMiscCaps & D3DPMISCCAPS_TSSARGTEMP) != 0;
  DeviceCaps.blendOperation = (caps.PrimitiveMiscCaps & D3DPMISCCAPS_BLENDOP) != 0;
  DeviceCaps.powerOfTwoOnly = (caps.TextureCaps & D3DPTEXTURECAPS_POW2) != 0;
  DeviceCaps.nonPowerOfTwoConditional = (caps.TextureCaps & D3DPTEXTURECAPS_NONPOW2CONDITIONAL) != 0;
  DeviceCaps.maxTextureWidth = caps.MaxTextureWidth == 0 ? 256 : (int)caps.MaxTextureWidth;
  DeviceCaps.maxTextureHeight = caps.MaxTextureHeight == 0 ? 256 : (int)caps.MaxTextureHeight;
  DeviceCaps.maxTextureSize =
      DeviceCaps.maxTextureWidth < DeviceCaps.maxTextureHeight ? DeviceCaps.maxTextureWidth : DeviceCaps.maxTextureHeight;
  DeviceCaps.maxPrimitiveCount = (int)caps.MaxPrimitiveCount;
  DWORD deviceVs = caps.VertexShaderVersion & 0xFFFF, devicePs = caps.PixelShaderVersion & 0xFFFF;
  if (!DeviceSettings.forceSoftwareVertexProcessing) {
    DeviceSettings.vertexShader2 = deviceVs >= 0x200;
    DeviceSettings.pixelShader2 = devicePs >= 0x200;
  }

  D3DADAPTER_IDENTIFIER9 id;
  memset(&id, 0, sizeof(id));
  DeviceCalls.Direct3DGetAdapterIdentifier(ChosenAdapter(), 0, &id);
  AddLogLineFormat("Driver:%s  Description:%s", id.Driver, id.Description);

  D3DSURFACE_DESC desc;
  memset(&desc, 0, sizeof(desc));
  if (screenSurface != nullptr) DeviceCalls.SurfaceGetDesc(screenSurface, &desc);
  DeviceCaps.backBufferFormat = desc.Format;
  if (desc.Format != D3DFMT_X8R8G8B8 && desc.Format != D3DFMT_R5G6B5 && desc.Format != D3DFMT_X1R5G5B5)
    AddLogLineFormat("バックバッファが対応していないフォーマット %d です", (int)desc.Format);
  AddLogLineFormat("画面のフォーマットは %s です", GetFormatLabel(desc.Format));

  static const D3DFORMAT kDepths[] = {D3DFMT_D16, D3DFMT_D24X8, D3DFMT_D32};
  DeviceCaps.depthFormat = D3DFMT_UNKNOWN;
  for (D3DFORMAT depth : kDepths) {
    if (SUCCEEDED(DeviceCalls.Direct3DCheckDepthStencilMatch(ChosenAdapter(), D3DDEVTYPE_HAL, desc.Format,
                                                             desc.Format, depth))) {
      DeviceCaps.depthFormat = depth;
      break;
    }
  }
  if (DeviceCaps.depthFormat == D3DFMT_UNKNOWN) {
    WriteLogText("使用できる Zバッファフォーマットが見つかりませんでした\n");
    return -1;
  }
  AddLogLineFormat("Ｚバッファのフォーマットは %s です", GetFormatLabel(DeviceCaps.depthFormat));

  if (ChooseTextureFormats() != 0) return -1;

  AddLogLineFormat("一度に描画できるプリミティブの最大数:%d", DeviceCaps.maxPrimitiveCount);
  AddLogLineFormat("対応している最大頂点インデックス:%d", (int)caps.MaxVertexIndex);
  AddLogLineFormat("同時にレンダリングできるバッファの数:%d", DeviceCaps.renderTargetCount);
  AddLogLineFormat("最大テクスチャサイズ　幅:%d 高さ:%d", DeviceCaps.maxTextureWidth, DeviceCaps.maxTextureHeight);
  AddLogLineFormat("テクスチャステージテンポラリレジスタ：%s", DeviceCaps.stageTempRegister ? "使用可" : "使用不可");
  AddLogLineFormat("減算合成のハードウェア対応：%s", DeviceCaps.blendOperation ? "ネイティブ" : "エミュレート");
  if (DeviceSettings.shaderModel2) {
    AddLogLineFormat("ハードウェア頂点シェーダーバージョンコード：%x", (unsigned)deviceVs);
    WriteLogText("エミュレーション頂点シェーダーバージョンコード：エミュレーション無し\n");
  } else {
    AddLogLineFormat("ハードウェア頂点シェーダーバージョンコード：%x",
                     (unsigned)(DeviceSettings.adapterVertexShaderVersion & 0xFFFF));
    AddLogLineFormat("エミュレーション頂点シェーダーバージョンコード：%x", (unsigned)deviceVs);
  }
  AddLogLineFormat("ピクセルシェーダーバージョンコード：%x", (unsigned)devicePs);

  RunBackBufferLockTest();
  return 0;
}
