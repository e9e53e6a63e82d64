#include "graphics/device/d3d_calls.h"

#include "core/log.h"
#include "core/winapi.h"
#include "graphics/device/device.h"
#include "graphics/device/state_cache.h"
#include "system/base/window_services.h"
#include "system/base/window_state.h"

DIRECT3D_OBJECTS Direct3DObjects;

namespace {
// {3C305196-50DB-11D3-9CFE-00C04FD930C5} and {15E65EC0-3B9C-11D2-B92F-00609797EA5B}.
const GUID kClassDirectDraw7 = {0x3c305196, 0x50db, 0x11d3, {0x9c, 0xfe, 0x00, 0xc0, 0x4f, 0xd9, 0x30, 0xc5}};
const GUID kInterfaceDirectDraw7 = {0x15e65ec0, 0x3b9c, 0x11d2, {0xb9, 0x2f, 0x00, 0x60, 0x97, 0x97, 0xea, 0x5b}};
const UINT kSdkVersion = 32;

typedef HRESULT(WINAPI* CREATE9EX)(UINT, IDirect3D9Ex**);
typedef IDirect3D9*(WINAPI* CREATE9)(UINT);

IDirect3D9* D3d() { return Direct3DObjects.direct3D; }
IDirect3DDevice9* Dev() { return Direct3DObjects.device; }

HMODULE LoadD3D9Module(const char* name) { return LoadLibraryA(name); }
FARPROC FindD3D9Export(HMODULE module, const char* name) { return GetProcAddress(module, name); }
BOOL FreeD3D9Module(HMODULE module) { return FreeLibrary(module); }
HRESULT CallDirect3DCreate9Ex(FARPROC entry, UINT sdk, IDirect3D9Ex** out) {
  return reinterpret_cast<CREATE9EX>(reinterpret_cast<void*>(entry))(sdk, out);
}
IDirect3D9* CallDirect3DCreate9(FARPROC entry, UINT sdk) {
  return reinterpret_cast<CREATE9>(reinterpret_cast<void*>(entry))(sdk);
}
HRESULT CreateDirectDraw7(IDirectDraw7** out) {
  if (WinApi.ole32.CoCreateInstance == nullptr) return E_FAIL;
  return WinApi.ole32.CoCreateInstance(kClassDirectDraw7, nullptr, 7, kInterfaceDirectDraw7,
                                       reinterpret_cast<void**>(out));
}
HRESULT DirectDrawInitialize(IDirectDraw7* dd) { return dd->Initialize(nullptr); }
HRESULT DirectDrawSetCooperativeLevel(IDirectDraw7* dd, HWND w, DWORD f) { return dd->SetCooperativeLevel(w, f); }
HRESULT DirectDrawWaitForVerticalBlank(IDirectDraw7* dd, DWORD f) { return dd->WaitForVerticalBlank(f, nullptr); }
ULONG ReleaseObject(IUnknown* object) { return object->Release(); }

HRESULT D3dGetAdapterIdentifier(UINT a, DWORD f, D3DADAPTER_IDENTIFIER9* id) {
  return D3d()->GetAdapterIdentifier(a, f, id);
}
HRESULT D3dCheckDeviceFormat(UINT a, D3DDEVTYPE t, D3DFORMAT af, DWORD u, D3DRESOURCETYPE r, D3DFORMAT c) {
  return D3d()->CheckDeviceFormat(a, t, af, u, r, c);
}
HRESULT D3dCheckDepthStencilMatch(UINT a, D3DDEVTYPE t, D3DFORMAT af, D3DFORMAT rt, D3DFORMAT ds) {
  return D3d()->CheckDepthStencilMatch(a, t, af, rt, ds);
}
HRESULT D3dGetDeviceCaps(UINT a, D3DDEVTYPE t, D3DCAPS9* c) { return D3d()->GetDeviceCaps(a, t, c); }
HRESULT D3dGetAdapterDisplayMode(UINT a, D3DDISPLAYMODE* m) { return D3d()->GetAdapterDisplayMode(a, m); }
UINT D3dGetAdapterModeCount(UINT a, D3DFORMAT f) { return D3d()->GetAdapterModeCount(a, f); }
HRESULT D3dCheckDeviceMultiSampleType(UINT a, D3DDEVTYPE t, D3DFORMAT f, BOOL w, D3DMULTISAMPLE_TYPE m, DWORD* q) {
  return D3d()->CheckDeviceMultiSampleType(a, t, f, w, m, q);
}
HRESULT D3dCreateDevice(UINT a, D3DDEVTYPE t, HWND w, DWORD f, D3DPRESENT_PARAMETERS* p, IDirect3DDevice9** o) {
  return D3d()->CreateDevice(a, t, w, f, p, o);
}
HRESULT D3dCreateDeviceEx(UINT a, D3DDEVTYPE t, HWND w, DWORD f, D3DPRESENT_PARAMETERS* p, D3DDISPLAYMODEEX* m,
                          IDirect3DDevice9Ex** o) {
  return Direct3DObjects.direct3DEx->CreateDeviceEx(a, t, w, f, p, m, o);
}

HRESULT DevTestCooperativeLevel() { return Dev()->TestCooperativeLevel(); }
HRESULT DevGetDeviceCaps(D3DCAPS9* c) { return Dev()->GetDeviceCaps(c); }
HRESULT DevGetSwapChain(UINT i, IDirect3DSwapChain9** o) { return Dev()->GetSwapChain(i, o); }
HRESULT DevPresent(const RECT* s, const RECT* d, HWND w, const RGNDATA* r) { return Dev()->Present(s, d, w, r); }
HRESULT DevGetBackBuffer(UINT c, UINT i, D3DBACKBUFFER_TYPE t, IDirect3DSurface9** o) {
  return Dev()->GetBackBuffer(c, i, t, o);
}
void DevSetDialogBoxMode(BOOL e) { Dev()->SetDialogBoxMode(e); }
HRESULT DevCreateTexture(UINT w, UINT h, UINT l, DWORD u, D3DFORMAT f, D3DPOOL p, IDirect3DTexture9** o, HANDLE* s) {
  return Dev()->CreateTexture(w, h, l, u, f, p, o, s);
}
HRESULT DevCreateVolumeTexture(UINT w, UINT h, UINT d, UINT l, DWORD u, D3DFORMAT f, D3DPOOL p,
                               IDirect3DVolumeTexture9** o, HANDLE* s) {
  return Dev()->CreateVolumeTexture(w, h, d, l, u, f, p, o, s);
}
HRESULT DevCreateVertexBuffer(UINT n, DWORD u, DWORD f, D3DPOOL p, IDirect3DVertexBuffer9** o, HANDLE* s) {
  return Dev()->CreateVertexBuffer(n, u, f, p, o, s);
}
HRESULT DevCreateIndexBuffer(UINT n, DWORD u, D3DFORMAT f, D3DPOOL p, IDirect3DIndexBuffer9** o, HANDLE* s) {
  return Dev()->CreateIndexBuffer(n, u, f, p, o, s);
}
HRESULT DevCreateRenderTarget(UINT w, UINT h, D3DFORMAT f, D3DMULTISAMPLE_TYPE m, DWORD q, BOOL l,
                              IDirect3DSurface9** o, HANDLE* s) {
  return Dev()->CreateRenderTarget(w, h, f, m, q, l, o, s);
}
HRESULT DevCreateDepthStencilSurface(UINT w, UINT h, D3DFORMAT f, D3DMULTISAMPLE_TYPE m, DWORD q, BOOL d,
                                     IDirect3DSurface9** o, HANDLE* s) {
  return Dev()->CreateDepthStencilSurface(w, h, f, m, q, d, o, s);
}
HRESULT DevUpdateSurface(IDirect3DSurface9* s, const RECT* r, IDirect3DSurface9* d, const POINT* p) {
  return Dev()->UpdateSurface(s, r, d, p);
}
HRESULT DevUpdateTexture(IDirect3DBaseTexture9* s, IDirect3DBaseTexture9* d) { return Dev()->UpdateTexture(s, d); }
HRESULT DevGetRenderTargetData(IDirect3DSurface9* t, IDirect3DSurface9* d) { return Dev()->GetRenderTargetData(t, d); }
HRESULT DevStretchRect(IDirect3DSurface9* s, const RECT* sr, IDirect3DSurface9* d, const RECT* dr,
                       D3DTEXTUREFILTERTYPE f) {
  return Dev()->StretchRect(s, sr, d, dr, f);
}
HRESULT DevColorFill(IDirect3DSurface9* s, const RECT* r, D3DCOLOR c) { return Dev()->ColorFill(s, r, c); }
HRESULT DevCreateOffscreenSurface(UINT w, UINT h, D3DFORMAT f, D3DPOOL p, IDirect3DSurface9** o, HANDLE* s) {
  return Dev()->CreateOffscreenPlainSurface(w, h, f, p, o, s);
}
HRESULT DevSetRenderTarget(DWORD i, IDirect3DSurface9* s) { return Dev()->SetRenderTarget(i, s); }
HRESULT DevSetDepthStencil(IDirect3DSurface9* s) { return Dev()->SetDepthStencilSurface(s); }
HRESULT DevGetDepthStencil(IDirect3DSurface9** o) { return Dev()->GetDepthStencilSurface(o); }
HRESULT DevBeginScene() { return Dev()->BeginScene(); }
HRESULT DevEndScene() { return Dev()->EndScene(); }
HRESULT DevClear(DWORD n, const D3DRECT* r, DWORD f, D3DCOLOR c, float z, DWORD s) {
  return Dev()->Clear(n, r, f, c, z, s);
}
HRESULT DevSetTransform(D3DTRANSFORMSTATETYPE t, const D3DMATRIX* m) { return Dev()->SetTransform(t, m); }
HRESULT DevSetViewport(const D3DVIEWPORT9* v) { return Dev()->SetViewport(v); }
HRESULT DevSetMaterial(const D3DMATERIAL9* m) { return Dev()->SetMaterial(m); }
HRESULT DevGetMaterial(D3DMATERIAL9* m) { return Dev()->GetMaterial(m); }
HRESULT DevSetLight(DWORD i, const D3DLIGHT9* l) { return Dev()->SetLight(i, l); }
HRESULT DevLightEnable(DWORD i, BOOL e) { return Dev()->LightEnable(i, e); }
HRESULT DevSetRenderState(D3DRENDERSTATETYPE s, DWORD v) { return Dev()->SetRenderState(s, v); }
HRESULT DevSetTexture(DWORD s, IDirect3DBaseTexture9* t) { return Dev()->SetTexture(s, t); }
HRESULT DevSetTextureStageState(DWORD s, D3DTEXTURESTAGESTATETYPE t, DWORD v) {
  return Dev()->SetTextureStageState(s, t, v);
}
HRESULT DevSetSamplerState(DWORD s, D3DSAMPLERSTATETYPE t, DWORD v) { return Dev()->SetSamplerState(s, t, v); }
HRESULT DevSetScissorRect(const RECT* r) { return Dev()->SetScissorRect(r); }
HRESULT DevDrawPrimitiveUP(D3DPRIMITIVETYPE t, UINT n, const void* d, UINT s) {
  return Dev()->DrawPrimitiveUP(t, n, d, s);
}
HRESULT DevDrawIndexedPrimitiveUP(D3DPRIMITIVETYPE t, UINT mi, UINT vc, UINT n, const void* i, D3DFORMAT f,
                                  const void* d, UINT s) {
  return Dev()->DrawIndexedPrimitiveUP(t, mi, vc, n, i, f, d, s);
}
HRESULT DevCreateVertexDeclaration(const D3DVERTEXELEMENT9* e, IDirect3DVertexDeclaration9** o) {
  return Dev()->CreateVertexDeclaration(e, o);
}
HRESULT DevSetVertexDeclaration(IDirect3DVertexDeclaration9* d) { return Dev()->SetVertexDeclaration(d); }
HRESULT DevSetFVF(DWORD f) { return Dev()->SetFVF(f); }
HRESULT DevCreateVertexShader(const DWORD* c, IDirect3DVertexShader9** o) { return Dev()->CreateVertexShader(c, o); }
HRESULT DevSetVertexShader(IDirect3DVertexShader9* s) { return Dev()->SetVertexShader(s); }
HRESULT DevSetVertexShaderConstantF(UINT f, const float* v, UINT n) { return Dev()->SetVertexShaderConstantF(f, v, n); }
HRESULT DevSetVertexShaderConstantI(UINT f, const int* v, UINT n) { return Dev()->SetVertexShaderConstantI(f, v, n); }
HRESULT DevSetVertexShaderConstantB(UINT f, const BOOL* v, UINT n) { return Dev()->SetVertexShaderConstantB(f, v, n); }
HRESULT DevCreatePixelShader(const DWORD* c, IDirect3DPixelShader9** o) { return Dev()->CreatePixelShader(c, o); }
HRESULT DevSetPixelShader(IDirect3DPixelShader9* s) { return Dev()->SetPixelShader(s); }
HRESULT DevSetPixelShaderConstantF(UINT f, const float* v, UINT n) { return Dev()->SetPixelShaderConstantF(f, v, n); }
HRESULT DevSetPixelShaderConstantI(UINT f, const int* v, UINT n) { return Dev()->SetPixelShaderConstantI(f, v, n); }
HRESULT DevSetPixelShaderConstantB(UINT f, const BOOL* v, UINT n) { return Dev()->SetPixelShaderConstantB(f, v, n); }
HRESULT DevSetMaximumFrameLatency(UINT n) { return Direct3DObjects.deviceEx->SetMaximumFrameLatency(n); }

HRESULT TexGetSurfaceLevel(IDirect3DTexture9* t, UINT l, IDirect3DSurface9** o) { return t->GetSurfaceLevel(l, o); }
HRESULT TexLockRect(IDirect3DTexture9* t, UINT l, D3DLOCKED_RECT* r, const RECT* a, DWORD f) {
  return t->LockRect(l, r, a, f);
}
HRESULT TexUnlockRect(IDirect3DTexture9* t, UINT l) { return t->UnlockRect(l); }
HRESULT VolLockBox(IDirect3DVolumeTexture9* t, UINT l, D3DLOCKED_BOX* b, const D3DBOX* box, DWORD f) {
  return t->LockBox(l, b, box, f);
}
HRESULT VolUnlockBox(IDirect3DVolumeTexture9* t, UINT l) { return t->UnlockBox(l); }
HRESULT SurfGetDesc(IDirect3DSurface9* s, D3DSURFACE_DESC* d) { return s->GetDesc(d); }
HRESULT SurfLockRect(IDirect3DSurface9* s, D3DLOCKED_RECT* r, const RECT* a, DWORD f) { return s->LockRect(r, a, f); }
HRESULT SurfUnlockRect(IDirect3DSurface9* s) { return s->UnlockRect(); }
// Vertex and index buffers have Lock and Unlock at the same places of their interfaces.
HRESULT BufLock(IDirect3DResource9* b, UINT o, UINT n, void** d, DWORD f) {
  return static_cast<IDirect3DVertexBuffer9*>(b)->Lock(o, n, d, f);
}
HRESULT BufUnlock(IDirect3DResource9* b) { return static_cast<IDirect3DVertexBuffer9*>(b)->Unlock(); }
HRESULT ChainPresent(IDirect3DSwapChain9* c, const RECT* s, const RECT* d, HWND w, const RGNDATA* r, DWORD f) {
  return c->Present(s, d, w, r, f);
}
}  // namespace

const DEVICE_CALL_TABLE RealDeviceCalls = {
    LoadD3D9Module, FindD3D9Export, FreeD3D9Module, CallDirect3DCreate9Ex, CallDirect3DCreate9, CreateDirectDraw7,
    DirectDrawInitialize, DirectDrawSetCooperativeLevel, DirectDrawWaitForVerticalBlank, ReleaseObject,
    D3dGetAdapterIdentifier, D3dCheckDeviceFormat, D3dCheckDepthStencilMatch, D3dGetDeviceCaps,
    D3dGetAdapterDisplayMode, D3dGetAdapterModeCount, D3dCheckDeviceMultiSampleType, D3dCreateDevice,
    D3dCreateDeviceEx, DevTestCooperativeLevel, DevGetDeviceCaps, DevGetSwapChain, DevPresent, DevGetBackBuffer,
    DevSetDialogBoxMode, DevCreateTexture, DevCreateVolumeTexture, DevCreateVertexBuffer, DevCreateIndexBuffer,
    DevCreateRenderTarget, DevCreateDepthStencilSurface, DevUpdateSurface, DevUpdateTexture, DevGetRenderTargetData,
    DevStretchRect, DevColorFill, DevCreateOffscreenSurface, DevSetRenderTarget, DevSetDepthStencil,
    DevGetDepthStencil, DevBeginScene, DevEndScene, DevClear, DevSetTransform, DevSetViewport, DevSetMaterial,
    DevGetMaterial, DevSetLight, DevLightEnable, DevSetRenderState, DevSetTexture, DevSetTextureStageState,
    DevSetSamplerState, DevSetScissorRect, DevDrawPrimitiveUP, DevDrawIndexedPrimitiveUP, DevCreateVertexDeclaration,
    DevSetVertexDeclaration, DevSetFVF, DevCreateVertexShader, DevSetVertexShader, DevSetVertexShaderConstantF,
    DevSetVertexShaderConstantI, DevSetVertexShaderConstantB, DevCreatePixelShader, DevSetPixelShader,
    DevSetPixelShaderConstantF, DevSetPixelShaderConstantI, DevSetPixelShaderConstantB, DevSetMaximumFrameLatency,
    TexGetSurfaceLevel, TexLockRect, TexUnlockRect, SurfGetDesc, SurfLockRect, SurfUnlockRect, BufLock, BufUnlock,
    ChainPresent, VolLockBox, VolUnlockBox,
};

DEVICE_CALL_TABLE DeviceCalls = RealDeviceCalls;

int LoadDirect3D9Library() {
  if (Direct3DObjects.d3d9Module != nullptr) return 0;
  Direct3DObjects.d3d9Module = DeviceCalls.LoadD3D9Module("d3d9.dll");
  if (Direct3DObjects.d3d9Module == nullptr) {
    WriteLogText("d3d9.dll の読み込みに失敗しました\n");
    return -1;
  }
  return 0;
}

int FreeDirect3D9Library() {
  if (Direct3DObjects.d3d9Module == nullptr) return 0;
  WriteLogText("Direct3D9 DLL の解放 1\n");
  DeviceCalls.FreeD3D9Module(Direct3DObjects.d3d9Module);
  Direct3DObjects.d3d9Module = nullptr;
  return 0;
}

int CreateDirect3DObject() {
  ReleaseDirect3D();
  if (!DeviceSettings.no9Ex) {
    WriteLogText("IDirect3D9Ex オブジェクトを取得します.... ");
    FARPROC entry = DeviceCalls.FindD3D9Export(Direct3DObjects.d3d9Module, "Direct3DCreate9Ex");
    IDirect3D9Ex* ex = nullptr;
    if (entry != nullptr && DeviceCalls.CallDirect3DCreate9Ex(entry, kSdkVersion, &ex) == S_OK && ex != nullptr) {
      Direct3DObjects.direct3DEx = ex;
      Direct3DObjects.direct3D = ex;
    }
  }
  if (Direct3DObjects.direct3D == nullptr) {
    WriteLogText("IDirect3D9 オブジェクトを取得します.... ");
    FARPROC entry = DeviceCalls.FindD3D9Export(Direct3DObjects.d3d9Module, "Direct3DCreate9");
    if (entry == nullptr) {
      WriteLogText("Direct3DCreate9 APIのアドレス取得に失敗しました\n");
      return -1;
    }
    Direct3DObjects.direct3D = DeviceCalls.CallDirect3DCreate9(entry, kSdkVersion);
    if (Direct3DObjects.direct3D == nullptr) {
      WriteLogText("IDirect3D9 オブジェクトの取得に失敗しました\n");
      return -1;
    }
  }
  WriteLogText("成功\n");
  return 0;
}

// The Ex pointer, when set, names the same object as the plain one: one reference, one release.
int ReleaseDirect3D() {
  if (Direct3DObjects.direct3D != nullptr) DeviceCalls.ReleaseComObject(Direct3DObjects.direct3D);
  Direct3DObjects.direct3D = nullptr;
  Direct3DObjects.direct3DEx = nullptr;
  return 0;
}

int HasDirect3D() { return Direct3DObjects.direct3D != nullptr ? 1 : 0; }
int HasDirect3D9Ex() { return Direct3DObjects.direct3DEx != nullptr ? 1 : 0; }
int HasDirect3DDevice() { return Direct3DObjects.device != nullptr ? 1 : 0; }

// Objects cached by the state cache and the screen surface belong to the device: they are
// dropped with it so that no later call (a forced re-send) binds a released object.
int ReleaseDirect3DDevice() {
  ForgetCachedDeviceObjects();
  ReleaseScreenSurface();
  if (Direct3DObjects.swapChain != nullptr) DeviceCalls.ReleaseComObject(Direct3DObjects.swapChain);
  Direct3DObjects.swapChain = nullptr;
  if (Direct3DObjects.device != nullptr) {
    WriteLogText("Direct3DDevice9 の解放 2\n");
    DeviceCalls.ReleaseComObject(Direct3DObjects.device);
  }
  Direct3DObjects.device = nullptr;
  Direct3DObjects.deviceEx = nullptr;
  return 0;
}

int IsDeviceLost() { return DeviceCalls.DeviceTestCooperativeLevel() != D3D_OK ? 1 : 0; }

int CreateDirectDrawObject() {
  ReleaseDirectDrawObject();
  WriteLogText("DirectDraw オブジェクトの取得を行います....  ");
  IDirectDraw7* dd = nullptr;
  if (FAILED(DeviceCalls.CreateDirectDraw7(&dd)) || dd == nullptr) {
    WriteLogText("オブジェクトの取得に失敗しました\n");
    return -1;
  }
  WriteLogText("成功\n");
  WriteLogText("引き続き初期化処理... ");
  if (FAILED(DeviceCalls.DirectDrawInitialize(dd))) {
    WriteLogText("DirectDrawオブジェクトの初期化に失敗しました\n");
    DeviceCalls.ReleaseComObject(dd);
    return -1;
  }
  WriteLogText("初期化に成功しました\n");
  Direct3DObjects.directDraw = dd;
  DeviceCalls.DirectDrawSetCooperativeLevel(dd, WindowState.mainWindow, DDSCL_NORMAL);
  if (DeviceSettings.desktopComposition == 2) SetDesktopComposition(0);
  return 0;
}

int ReleaseDirectDrawObject() {
  if (Direct3DObjects.directDraw != nullptr) DeviceCalls.ReleaseComObject(Direct3DObjects.directDraw);
  Direct3DObjects.directDraw = nullptr;
  return 0;
}

IDirectDraw7* GetDirectDrawObject() { return Direct3DObjects.directDraw; }

namespace {
// Lowers *type while the format refuses it; 1 when the search must stop with failure.
int LowerUntilAccepted(D3DFORMAT format, DWORD* type, DWORD* levels, int failFlag, DWORD* quality) {
  while (FAILED(DeviceCalls.Direct3DCheckDeviceMultiSampleType(0, D3DDEVTYPE_HAL, format, WindowState.windowedMode,
                                                              (D3DMULTISAMPLE_TYPE)*type, levels))) {
    if (failFlag) {
      *quality = 0;
      return 1;
    }
    if (--*type == 0) {
      *quality = 0;
      return 0;
    }
  }
  return 0;
}
}  // namespace

int FindSupportedMultiSampleType(D3DFORMAT format, DWORD* type, DWORD* quality, int failFlag) {
  DWORD colorLevels = 0, depthLevels = 0;
  if (LowerUntilAccepted(format, type, &colorLevels, failFlag, quality)) return -1;
  if (*type == 0) return 0;
  if (LowerUntilAccepted(D3DFMT_D16, type, &depthLevels, failFlag, quality)) return -1;
  if (*type == 0) return 0;
  DWORD levels = colorLevels < depthLevels ? colorLevels : depthLevels;
  DWORD limit = levels > 0 ? levels - 1 : 0;
  if (*quality > limit) *quality = limit;
  return 0;
}
