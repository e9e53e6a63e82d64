// The one layer through which the library reaches Direct3D 9 and DirectDraw 7: the run-time
// loading of d3d9.dll, the Direct3D, DirectDraw, device and swap-chain objects, and one thin
// function per COM method the graphics code uses. Every call goes through DeviceCalls, a table
// of function pointers that tests may replace (a recording layer, a scripted device).
#pragma once
#include <windows.h>
#include <d3d9.h>
#include <ddraw.h>

struct DIRECT3D_OBJECTS {
  HMODULE d3d9Module;
  IDirectDraw7* directDraw;
  IDirect3D9* direct3D;        // the object every adapter query goes through
  IDirect3D9Ex* direct3DEx;    // the same object as direct3D when made by Direct3DCreate9Ex
  IDirect3DDevice9* device;
  IDirect3DDevice9Ex* deviceEx;  // the same object as device when made by CreateDeviceEx
  IDirect3DSwapChain9* swapChain;
};

extern DIRECT3D_OBJECTS Direct3DObjects;

// Each slot passes its arguments through to the method of the object named in its prefix
// (the objects of Direct3DObjects, or the first argument) and returns the method's result.
struct DEVICE_CALL_TABLE {
  // Module and object creation.
  HMODULE (*LoadD3D9Module)(const char* name);
  FARPROC (*FindD3D9Export)(HMODULE module, const char* name);
  BOOL (*FreeD3D9Module)(HMODULE module);
  HRESULT (*CallDirect3DCreate9Ex)(FARPROC entry, UINT sdk, IDirect3D9Ex** out);
  IDirect3D9* (*CallDirect3DCreate9)(FARPROC entry, UINT sdk);
  HRESULT (*CreateDirectDraw7)(IDirectDraw7** out);
  HRESULT (*DirectDrawInitialize)(IDirectDraw7* dd);
  HRESULT (*DirectDrawSetCooperativeLevel)(IDirectDraw7* dd, HWND window, DWORD flags);
  HRESULT (*DirectDrawWaitForVerticalBlank)(IDirectDraw7* dd, DWORD flags);
  ULONG (*ReleaseComObject)(IUnknown* object);

  // IDirect3D9 (on Direct3DObjects.direct3D).
  HRESULT (*Direct3DGetAdapterIdentifier)(UINT adapter, DWORD flags, D3DADAPTER_IDENTIFIER9* id);
  HRESULT (*Direct3DCheckDeviceFormat)(UINT adapter, D3DDEVTYPE type, D3DFORMAT adapterFormat, DWORD usage,
                                       D3DRESOURCETYPE resourceType, D3DFORMAT checkFormat);
  HRESULT (*Direct3DCheckDepthStencilMatch)(UINT adapter, D3DDEVTYPE type, D3DFORMAT adapterFormat,
                                            D3DFORMAT targetFormat, D3DFORMAT depthFormat);
  HRESULT (*Direct3DGetDeviceCaps)(UINT adapter, D3DDEVTYPE type, D3DCAPS9* caps);
  HRESULT (*Direct3DGetAdapterDisplayMode)(UINT adapter, D3DDISPLAYMODE* mode);
  UINT (*Direct3DGetAdapterModeCount)(UINT adapter, D3DFORMAT format);
  HRESULT (*Direct3DCheckDeviceMultiSampleType)(UINT adapter, D3DDEVTYPE type, D3DFORMAT format, BOOL windowed,
                                                D3DMULTISAMPLE_TYPE multiSample, DWORD* quality);
  HRESULT (*Direct3DCreateDevice)(UINT adapter, D3DDEVTYPE type, HWND focus, DWORD flags,
                                  D3DPRESENT_PARAMETERS* params, IDirect3DDevice9** out);
  // On Direct3DObjects.direct3DEx.
  HRESULT (*Direct3DCreateDeviceEx)(UINT adapter, D3DDEVTYPE type, HWND focus, DWORD flags,
                                    D3DPRESENT_PARAMETERS* params, D3DDISPLAYMODEEX* mode, IDirect3DDevice9Ex** out);

  // IDirect3DDevice9 (on Direct3DObjects.device), in the interface's method order.
  HRESULT (*DeviceTestCooperativeLevel)();
  HRESULT (*DeviceGetDeviceCaps)(D3DCAPS9* caps);
  HRESULT (*DeviceGetSwapChain)(UINT index, IDirect3DSwapChain9** out);
  HRESULT (*DevicePresent)(const RECT* source, const RECT* dest, HWND window, const RGNDATA* dirty);
  HRESULT (*DeviceGetBackBuffer)(UINT swapChain, UINT index, D3DBACKBUFFER_TYPE type, IDirect3DSurface9** out);
  void (*DeviceSetDialogBoxMode)(BOOL enable);
  HRESULT (*DeviceCreateTexture)(UINT width, UINT height, UINT levels, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                                 IDirect3DTexture9** out, HANDLE* shared);
  HRESULT (*DeviceCreateVolumeTexture)(UINT width, UINT height, UINT depth, UINT levels, DWORD usage, D3DFORMAT format,
                                       D3DPOOL pool, IDirect3DVolumeTexture9** out, HANDLE* shared);
  HRESULT (*DeviceCreateVertexBuffer)(UINT length, DWORD usage, DWORD fvf, D3DPOOL pool, IDirect3DVertexBuffer9** out,
                                      HANDLE* shared);
  HRESULT (*DeviceCreateIndexBuffer)(UINT length, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                                     IDirect3DIndexBuffer9** out, HANDLE* shared);
  HRESULT (*DeviceCreateRenderTarget)(UINT width, UINT height, D3DFORMAT format, D3DMULTISAMPLE_TYPE multiSample,
                                      DWORD quality, BOOL lockable, IDirect3DSurface9** out, HANDLE* shared);
  HRESULT (*DeviceCreateDepthStencilSurface)(UINT width, UINT height, D3DFORMAT format,
                                             D3DMULTISAMPLE_TYPE multiSample, DWORD quality, BOOL discard,
                                             IDirect3DSurface9** out, HANDLE* shared);
  HRESULT (*DeviceUpdateSurface)(IDirect3DSurface9* source, const RECT* sourceRect, IDirect3DSurface9* dest,
                                 const POINT* destPoint);
  HRESULT (*DeviceUpdateTexture)(IDirect3DBaseTexture9* source, IDirect3DBaseTexture9* dest);
  HRESULT (*DeviceGetRenderTargetData)(IDirect3DSurface9* target, IDirect3DSurface9* dest);
  HRESULT (*DeviceStretchRect)(IDirect3DSurface9* source, const RECT* sourceRect, IDirect3DSurface9* dest,
                               const RECT* destRect, D3DTEXTUREFILTERTYPE filter);
  HRESULT (*DeviceColorFill)(IDirect3DSurface9* surface, const RECT* rect, D3DCOLOR color);
  HRESULT (*DeviceCreateOffscreenSurface)(UINT width, UINT height, D3DFORMAT format, D3DPOOL pool,
                                          IDirect3DSurface9** out, HANDLE* shared);
  HRESULT (*DeviceSetRenderTarget)(DWORD index, IDirect3DSurface9* surface);
  HRESULT (*DeviceSetDepthStencil)(IDirect3DSurface9* surface);
  HRESULT (*DeviceGetDepthStencil)(IDirect3DSurface9** out);
  HRESULT (*DeviceBeginScene)();
  HRESULT (*DeviceEndScene)();
  HRESULT (*DeviceClear)(DWORD count, const D3DRECT* rects, DWORD flags, D3DCOLOR color, float z, DWORD stencil);
  HRESULT (*DeviceSetTransform)(D3DTRANSFORMSTATETYPE state, const D3DMATRIX* matrix);
  HRESULT (*DeviceSetViewport)(const D3DVIEWPORT9* viewport);
  HRESULT (*DeviceSetMaterial)(const D3DMATERIAL9* material);
  HRESULT (*DeviceGetMaterial)(D3DMATERIAL9* material);
  HRESULT (*DeviceSetLight)(DWORD index, const D3DLIGHT9* light);
  HRESULT (*DeviceLightEnable)(DWORD index, BOOL enable);
  HRESULT (*DeviceSetRenderState)(D3DRENDERSTATETYPE state, DWORD value);
  HRESULT (*DeviceSetTexture)(DWORD stage, IDirect3DBaseTexture9* texture);
  HRESULT (*DeviceSetTextureStageState)(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD value);
  HRESULT (*DeviceSetSamplerState)(DWORD sampler, D3DSAMPLERSTATETYPE type, DWORD value);
  HRESULT (*DeviceSetScissorRect)(const RECT* rect);
  HRESULT (*DeviceDrawPrimitiveUP)(D3DPRIMITIVETYPE type, UINT count, const void* data, UINT stride);
  HRESULT (*DeviceDrawIndexedPrimitiveUP)(D3DPRIMITIVETYPE type, UINT minIndex, UINT vertexCount, UINT count,
                                          const void* indices, D3DFORMAT indexFormat, const void* data, UINT stride);
  HRESULT (*DeviceCreateVertexDeclaration)(const D3DVERTEXELEMENT9* elements, IDirect3DVertexDeclaration9** out);
  HRESULT (*DeviceSetVertexDeclaration)(IDirect3DVertexDeclaration9* declaration);
  HRESULT (*DeviceSetFVF)(DWORD fvf);
  HRESULT (*DeviceCreateVertexShader)(const DWORD* code, IDirect3DVertexShader9** out);
  HRESULT (*DeviceSetVertexShader)(IDirect3DVertexShader9* shader);
  HRESULT (*DeviceSetVertexShaderConstantF)(UINT first, const float* values, UINT count);
  HRESULT (*DeviceSetVertexShaderConstantI)(UINT first, const int* values, UINT count);
  HRESULT (*DeviceSetVertexShaderConstantB)(UINT first, const BOOL* values, UINT count);
  HRESULT (*DeviceCreatePixelShader)(const DWORD* code, IDirect3DPixelShader9** out);
  HRESULT (*DeviceSetPixelShader)(IDirect3DPixelShader9* shader);
  HRESULT (*DeviceSetPixelShaderConstantF)(UINT first, const float* values, UINT count);
  HRESULT (*DeviceSetPixelShaderConstantI)(UINT first, const int* values, UINT count);
  HRESULT (*DeviceSetPixelShaderConstantB)(UINT first, const BOOL* values, UINT count);
  // IDirect3DDevice9Ex (on Direct3DObjects.deviceEx).
  HRESULT (*DeviceSetMaximumFrameLatency)(UINT latency);

  // Per-object calls: the object is the first argument.
  HRESULT (*TextureGetSurfaceLevel)(IDirect3DTexture9* texture, UINT level, IDirect3DSurface9** out);
  HRESULT (*TextureLockRect)(IDirect3DTexture9* texture, UINT level, D3DLOCKED_RECT* locked, const RECT* rect,
                             DWORD flags);
  HRESULT (*TextureUnlockRect)(IDirect3DTexture9* texture, UINT level);
  HRESULT (*SurfaceGetDesc)(IDirect3DSurface9* surface, D3DSURFACE_DESC* desc);
  HRESULT (*SurfaceLockRect)(IDirect3DSurface9* surface, D3DLOCKED_RECT* locked, const RECT* rect, DWORD flags);
  HRESULT (*SurfaceUnlockRect)(IDirect3DSurface9* surface);
  // Vertex and index buffers share the method order of Lock and Unlock.
  HRESULT (*BufferLock)(IDirect3DResource9* buffer, UINT offset, UINT size, void** data, DWORD flags);
  HRESULT (*BufferUnlock)(IDirect3DResource9* buffer);
  HRESULT (*SwapChainPresent)(IDirect3DSwapChain9* chain, const RECT* source, const RECT* dest, HWND window,
                              const RGNDATA* dirty, DWORD flags);
  HRESULT (*VolumeTextureLockBox)(IDirect3DVolumeTexture9* texture, UINT level, D3DLOCKED_BOX* locked,
                                  const D3DBOX* box, DWORD flags);
  HRESULT (*VolumeTextureUnlockBox)(IDirect3DVolumeTexture9* texture, UINT level);
};

// The table in use, and the table that reaches the real objects (for layers that pass on).
extern DEVICE_CALL_TABLE DeviceCalls;
extern const DEVICE_CALL_TABLE RealDeviceCalls;

int LoadDirect3D9Library();
int FreeDirect3D9Library();
int CreateDirect3DObject();
int ReleaseDirect3D();
int HasDirect3D();
int HasDirect3D9Ex();
int HasDirect3DDevice();
int ReleaseDirect3DDevice();
int IsDeviceLost();
int CreateDirectDrawObject();
int ReleaseDirectDrawObject();
IDirectDraw7* GetDirectDrawObject();
int FindSupportedMultiSampleType(D3DFORMAT format, DWORD* type, DWORD* quality, int failFlag);
inline ULONG ReleaseComObject(IUnknown* object) { return DeviceCalls.ReleaseComObject(object); }
