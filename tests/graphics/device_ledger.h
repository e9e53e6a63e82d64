// A ledger laid over the device call table: every object the creation calls hand out (the
// Direct3D object, the device, its swap chain and surfaces, textures, buffers, shaders,
// declarations) is written down with the device it belongs to, and every release is counted
// against it. When a device is released, every object made on it must have been released
// already; when d3d9.dll is freed, every object at all. An object used or released after its
// device (or its module) went is a fault too. Faults are kept as lines for the test to show.
#pragma once
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "graphics/device/d3d_calls.h"

namespace device_ledger {
struct ENTRY {
  int device;      // the device's number (0: the Direct3D object, which belongs to the module)
  int references;  // handed out and not yet released
  bool gone;       // its device or module has gone
  std::string what;
};

struct LEDGER {
  DEVICE_CALL_TABLE below;
  std::map<const void*, ENTRY> objects;
  std::map<const void*, int> devices;  // live device objects and their numbers
  int deviceCount = 0;
  std::vector<std::string> faults;
};

inline LEDGER& Ledger() {
  static LEDGER ledger;
  return ledger;
}

inline void Fault(const std::string& line) { Ledger().faults.push_back(line); }

inline int CurrentDevice() {
  auto found = Ledger().devices.find(Direct3DObjects.device);
  return found != Ledger().devices.end() ? found->second : -1;
}

// A reference handed out on the current device (or to the module for device 0).
inline void Made(const void* object, const std::string& what, int device) {
  if (object == nullptr) return;
  ENTRY& e = Ledger().objects[object];
  if (e.references > 0 && !e.gone && e.device == device) {
    e.references++;
    return;
  }
  e = {device, 1, false, what + " on device " + std::to_string(device)};
}
inline void MadeHere(const void* object, const std::string& what) { Made(object, what, CurrentDevice()); }

// A use of an object: faulted when its device or module has gone.
inline void Touched(const void* object, const char* call) {
  if (object == nullptr) return;
  auto found = Ledger().objects.find(object);
  if (found != Ledger().objects.end() && found->second.gone)
    Fault(std::string(call) + " touches " + found->second.what + " after its device was released");
}

// Every object still held whose device matches (any device when `device` is -1) is a fault; all
// of them are gone from now on.
inline void Close(int device, const std::string& when) {
  for (auto& [object, e] : Ledger().objects) {
    if (e.gone || (device != -1 && e.device != device)) continue;
    if (e.references > 0) Fault(e.what + " is still held " + when);
    e.gone = true;
  }
}

inline ULONG Release(IUnknown* object) {
  LEDGER& l = Ledger();
  auto device = l.devices.find(object);
  if (device != l.devices.end()) {
    Close(device->second, "when device " + std::to_string(device->second) + " is released");
    l.devices.erase(device);
  } else if (auto found = l.objects.find(object); found != l.objects.end()) {
    if (found->second.gone) Fault("Release touches " + found->second.what + " after its device was released");
    else if (found->second.references == 0) Fault(found->second.what + " is released once too often");
    else found->second.references--;
  }
  return l.below.ReleaseComObject(object);
}

inline std::string Size(UINT w, UINT h) { return std::to_string(w) + " x " + std::to_string(h); }

// Puts the ledger over the table in use (before the library starts, so that the module's load
// and the first device are seen).
inline void Install() {
  LEDGER& l = Ledger();
  l = LEDGER();
  l.below = DeviceCalls;
  DeviceCalls.FreeD3D9Module = [](HMODULE module) -> BOOL {
    if (!Ledger().devices.empty()) Fault("d3d9.dll is freed while a device lives");
    Close(-1, "when d3d9.dll is freed");
    return Ledger().below.FreeD3D9Module(module);
  };
  DeviceCalls.CallDirect3DCreate9Ex = [](FARPROC entry, UINT sdk, IDirect3D9Ex** out) -> HRESULT {
    HRESULT hr = Ledger().below.CallDirect3DCreate9Ex(entry, sdk, out);
    if (SUCCEEDED(hr) && out != nullptr) Made(*out, "the Direct3D object", 0);
    return hr;
  };
  DeviceCalls.CallDirect3DCreate9 = [](FARPROC entry, UINT sdk) -> IDirect3D9* {
    IDirect3D9* made = Ledger().below.CallDirect3DCreate9(entry, sdk);
    Made(made, "the Direct3D object", 0);
    return made;
  };
  // The DirectDraw object belongs to ddraw.dll: an old entry at its address is forgotten.
  DeviceCalls.CreateDirectDraw7 = [](IDirectDraw7** out) -> HRESULT {
    HRESULT hr = Ledger().below.CreateDirectDraw7(out);
    if (SUCCEEDED(hr) && *out != nullptr) Ledger().objects.erase(*out);
    return hr;
  };
  DeviceCalls.ReleaseComObject = Release;
  DeviceCalls.Direct3DCreateDevice = [](UINT a, D3DDEVTYPE t, HWND w, DWORD f, D3DPRESENT_PARAMETERS* p,
                                        IDirect3DDevice9** out) -> HRESULT {
    HRESULT hr = Ledger().below.Direct3DCreateDevice(a, t, w, f, p, out);
    if (SUCCEEDED(hr) && *out != nullptr) Ledger().devices[*out] = ++Ledger().deviceCount;
    return hr;
  };
  DeviceCalls.Direct3DCreateDeviceEx = [](UINT a, D3DDEVTYPE t, HWND w, DWORD f, D3DPRESENT_PARAMETERS* p,
                                          D3DDISPLAYMODEEX* m, IDirect3DDevice9Ex** out) -> HRESULT {
    HRESULT hr = Ledger().below.Direct3DCreateDeviceEx(a, t, w, f, p, m, out);
    if (SUCCEEDED(hr) && *out != nullptr) Ledger().devices[*out] = ++Ledger().deviceCount;
    return hr;
  };
  DeviceCalls.DeviceGetSwapChain = [](UINT i, IDirect3DSwapChain9** out) -> HRESULT {
    HRESULT hr = Ledger().below.DeviceGetSwapChain(i, out);
    if (SUCCEEDED(hr)) MadeHere(*out, "the swap chain");
    return hr;
  };
  DeviceCalls.DeviceGetBackBuffer = [](UINT c, UINT i, D3DBACKBUFFER_TYPE t, IDirect3DSurface9** out) -> HRESULT {
    HRESULT hr = Ledger().below.DeviceGetBackBuffer(c, i, t, out);
    if (SUCCEEDED(hr)) MadeHere(*out, "the back buffer");
    return hr;
  };
  DeviceCalls.DeviceGetDepthStencil = [](IDirect3DSurface9** out) -> HRESULT {
    HRESULT hr = Ledger().below.DeviceGetDepthStencil(out);
    if (SUCCEEDED(hr)) MadeHere(*out, "the depth surface in use");
    return hr;
  };
  DeviceCalls.DeviceCreateTexture = [](UINT w, UINT h, UINT levels, DWORD usage, D3DFORMAT f, D3DPOOL pool,
                                       IDirect3DTexture9** out, HANDLE* shared) -> HRESULT {
    HRESULT hr = Ledger().below.DeviceCreateTexture(w, h, levels, usage, f, pool, out, shared);
    if (SUCCEEDED(hr))
      MadeHere(*out, "a texture of " + Size(w, h) + (usage & D3DUSAGE_RENDERTARGET ? " (render target)" : "") +
                         " in pool " + std::to_string(pool));
    return hr;
  };
  DeviceCalls.DeviceCreateVolumeTexture = [](UINT w, UINT h, UINT d, UINT levels, DWORD usage, D3DFORMAT f,
                                             D3DPOOL pool, IDirect3DVolumeTexture9** out, HANDLE* shared) -> HRESULT {
    HRESULT hr = Ledger().below.DeviceCreateVolumeTexture(w, h, d, levels, usage, f, pool, out, shared);
    if (SUCCEEDED(hr)) MadeHere(*out, "a volume texture in pool " + std::to_string(pool));
    return hr;
  };
  DeviceCalls.DeviceCreateVertexBuffer = [](UINT n, DWORD usage, DWORD fvf, D3DPOOL pool, IDirect3DVertexBuffer9** out,
                                            HANDLE* shared) -> HRESULT {
    HRESULT hr = Ledger().below.DeviceCreateVertexBuffer(n, usage, fvf, pool, out, shared);
    if (SUCCEEDED(hr)) MadeHere(*out, "a vertex buffer of " + std::to_string(n) + " bytes");
    return hr;
  };
  DeviceCalls.DeviceCreateIndexBuffer = [](UINT n, DWORD usage, D3DFORMAT f, D3DPOOL pool, IDirect3DIndexBuffer9** out,
                                           HANDLE* shared) -> HRESULT {
    HRESULT hr = Ledger().below.DeviceCreateIndexBuffer(n, usage, f, pool, out, shared);
    if (SUCCEEDED(hr)) MadeHere(*out, "an index buffer of " + std::to_string(n) + " bytes");
    return hr;
  };
  DeviceCalls.DeviceCreateRenderTarget = [](UINT w, UINT h, D3DFORMAT f, D3DMULTISAMPLE_TYPE m, DWORD q, BOOL lockable,
                                            IDirect3DSurface9** out, HANDLE* shared) -> HRESULT {
    HRESULT hr = Ledger().below.DeviceCreateRenderTarget(w, h, f, m, q, lockable, out, shared);
    if (SUCCEEDED(hr)) MadeHere(*out, "a render target of " + Size(w, h));
    return hr;
  };
  DeviceCalls.DeviceCreateDepthStencilSurface = [](UINT w, UINT h, D3DFORMAT f, D3DMULTISAMPLE_TYPE m, DWORD q,
                                                   BOOL discard, IDirect3DSurface9** out, HANDLE* shared) -> HRESULT {
    HRESULT hr = Ledger().below.DeviceCreateDepthStencilSurface(w, h, f, m, q, discard, out, shared);
    if (SUCCEEDED(hr)) MadeHere(*out, "a depth surface of " + Size(w, h));
    return hr;
  };
  DeviceCalls.DeviceCreateOffscreenSurface = [](UINT w, UINT h, D3DFORMAT f, D3DPOOL pool, IDirect3DSurface9** out,
                                                HANDLE* shared) -> HRESULT {
    HRESULT hr = Ledger().below.DeviceCreateOffscreenSurface(w, h, f, pool, out, shared);
    if (SUCCEEDED(hr))
      MadeHere(*out, "an offscreen surface of " + Size(w, h) + " in format " + std::to_string((unsigned)f));
    return hr;
  };
  DeviceCalls.DeviceCreateVertexDeclaration = [](const D3DVERTEXELEMENT9* e,
                                                 IDirect3DVertexDeclaration9** out) -> HRESULT {
    HRESULT hr = Ledger().below.DeviceCreateVertexDeclaration(e, out);
    if (SUCCEEDED(hr)) MadeHere(*out, "a vertex declaration");
    return hr;
  };
  DeviceCalls.DeviceCreateVertexShader = [](const DWORD* code, IDirect3DVertexShader9** out) -> HRESULT {
    HRESULT hr = Ledger().below.DeviceCreateVertexShader(code, out);
    if (SUCCEEDED(hr)) MadeHere(*out, "a vertex shader");
    return hr;
  };
  DeviceCalls.DeviceCreatePixelShader = [](const DWORD* code, IDirect3DPixelShader9** out) -> HRESULT {
    HRESULT hr = Ledger().below.DeviceCreatePixelShader(code, out);
    if (SUCCEEDED(hr)) MadeHere(*out, "a pixel shader");
    return hr;
  };
  DeviceCalls.TextureGetSurfaceLevel = [](IDirect3DTexture9* t, UINT level, IDirect3DSurface9** out) -> HRESULT {
    Touched(t, "GetSurfaceLevel");
    HRESULT hr = Ledger().below.TextureGetSurfaceLevel(t, level, out);
    if (SUCCEEDED(hr)) MadeHere(*out, "a texture's surface");
    return hr;
  };

  // Uses of objects.
  DeviceCalls.TextureLockRect = [](IDirect3DTexture9* t, UINT level, D3DLOCKED_RECT* r, const RECT* a,
                                   DWORD f) -> HRESULT {
    Touched(t, "LockRect");
    return Ledger().below.TextureLockRect(t, level, r, a, f);
  };
  DeviceCalls.TextureUnlockRect = [](IDirect3DTexture9* t, UINT level) -> HRESULT {
    Touched(t, "UnlockRect");
    return Ledger().below.TextureUnlockRect(t, level);
  };
  DeviceCalls.SurfaceGetDesc = [](IDirect3DSurface9* s, D3DSURFACE_DESC* d) -> HRESULT {
    Touched(s, "GetDesc");
    return Ledger().below.SurfaceGetDesc(s, d);
  };
  DeviceCalls.SurfaceLockRect = [](IDirect3DSurface9* s, D3DLOCKED_RECT* r, const RECT* a, DWORD f) -> HRESULT {
    Touched(s, "LockRect");
    return Ledger().below.SurfaceLockRect(s, r, a, f);
  };
  DeviceCalls.SurfaceUnlockRect = [](IDirect3DSurface9* s) -> HRESULT {
    Touched(s, "UnlockRect");
    return Ledger().below.SurfaceUnlockRect(s);
  };
  DeviceCalls.BufferLock = [](IDirect3DResource9* b, UINT o, UINT n, void** d, DWORD f) -> HRESULT {
    Touched(b, "Lock");
    return Ledger().below.BufferLock(b, o, n, d, f);
  };
  DeviceCalls.BufferUnlock = [](IDirect3DResource9* b) -> HRESULT {
    Touched(b, "Unlock");
    return Ledger().below.BufferUnlock(b);
  };
  DeviceCalls.VolumeTextureLockBox = [](IDirect3DVolumeTexture9* t, UINT l, D3DLOCKED_BOX* b, const D3DBOX* box,
                                        DWORD f) -> HRESULT {
    Touched(t, "LockBox");
    return Ledger().below.VolumeTextureLockBox(t, l, b, box, f);
  };
  DeviceCalls.DeviceStretchRect = [](IDirect3DSurface9* s, const RECT* sr, IDirect3DSurface9* d, const RECT* dr,
                                     D3DTEXTUREFILTERTYPE f) -> HRESULT {
    Touched(s, "StretchRect");
    Touched(d, "StretchRect");
    return Ledger().below.DeviceStretchRect(s, sr, d, dr, f);
  };
  DeviceCalls.DeviceUpdateSurface = [](IDirect3DSurface9* s, const RECT* r, IDirect3DSurface9* d,
                                       const POINT* p) -> HRESULT {
    Touched(s, "UpdateSurface");
    Touched(d, "UpdateSurface");
    return Ledger().below.DeviceUpdateSurface(s, r, d, p);
  };
  DeviceCalls.DeviceUpdateTexture = [](IDirect3DBaseTexture9* s, IDirect3DBaseTexture9* d) -> HRESULT {
    Touched(s, "UpdateTexture");
    Touched(d, "UpdateTexture");
    return Ledger().below.DeviceUpdateTexture(s, d);
  };
  DeviceCalls.DeviceGetRenderTargetData = [](IDirect3DSurface9* t, IDirect3DSurface9* d) -> HRESULT {
    Touched(t, "GetRenderTargetData");
    Touched(d, "GetRenderTargetData");
    return Ledger().below.DeviceGetRenderTargetData(t, d);
  };
  DeviceCalls.DeviceColorFill = [](IDirect3DSurface9* s, const RECT* r, D3DCOLOR c) -> HRESULT {
    Touched(s, "ColorFill");
    return Ledger().below.DeviceColorFill(s, r, c);
  };
  DeviceCalls.DeviceSetRenderTarget = [](DWORD i, IDirect3DSurface9* s) -> HRESULT {
    Touched(s, "SetRenderTarget");
    return Ledger().below.DeviceSetRenderTarget(i, s);
  };
  DeviceCalls.DeviceSetDepthStencil = [](IDirect3DSurface9* s) -> HRESULT {
    Touched(s, "SetDepthStencilSurface");
    return Ledger().below.DeviceSetDepthStencil(s);
  };
  DeviceCalls.DeviceSetTexture = [](DWORD stage, IDirect3DBaseTexture9* t) -> HRESULT {
    Touched(t, "SetTexture");
    return Ledger().below.DeviceSetTexture(stage, t);
  };
  DeviceCalls.DeviceSetVertexDeclaration = [](IDirect3DVertexDeclaration9* d) -> HRESULT {
    Touched(d, "SetVertexDeclaration");
    return Ledger().below.DeviceSetVertexDeclaration(d);
  };
  DeviceCalls.DeviceSetVertexShader = [](IDirect3DVertexShader9* s) -> HRESULT {
    Touched(s, "SetVertexShader");
    return Ledger().below.DeviceSetVertexShader(s);
  };
  DeviceCalls.DeviceSetPixelShader = [](IDirect3DPixelShader9* s) -> HRESULT {
    Touched(s, "SetPixelShader");
    return Ledger().below.DeviceSetPixelShader(s);
  };
  DeviceCalls.SwapChainPresent = [](IDirect3DSwapChain9* c, const RECT* s, const RECT* d, HWND w, const RGNDATA* r,
                                    DWORD f) -> HRESULT {
    Touched(c, "Present");
    return Ledger().below.SwapChainPresent(c, s, d, w, r, f);
  };
}

inline void Remove() { DeviceCalls = Ledger().below; }

// The faults noted since the last call, one per line, and a fresh start for the next step.
inline std::string TakeFaults() {
  std::string lines;
  for (const std::string& f : Ledger().faults) lines += f + "\n";
  Ledger().faults.clear();
  return lines;
}

// How many references are held on objects of the live devices and the module.
inline int HeldReferences() {
  int held = 0;
  for (auto& [object, e] : Ledger().objects)
    if (!e.gone) held += e.references;
  return held;
}
}  // namespace device_ledger
