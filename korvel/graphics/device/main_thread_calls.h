// Device calls for code that may run on an asynchronous-loading worker. Each variant takes a
// trailing from-worker flag: 0 calls the device layer at once on the calling thread; set, the
// call is handed to the main thread as a MAIN_THREAD_REQUEST and the worker waits (suspended)
// for its result. The caller sees the same result either way.
#pragma once
#include "graphics/device/d3d_calls.h"

ULONG ReleaseComObjectOnMainThread(IUnknown* object, int fromWorker);
HRESULT CreateRenderTargetOnMainThread(UINT width, UINT height, D3DFORMAT format, D3DMULTISAMPLE_TYPE multiSample,
                                       DWORD quality, BOOL lockable, IDirect3DSurface9** out, HANDLE* shared,
                                       int fromWorker);
HRESULT CreateDepthStencilSurfaceOnMainThread(UINT width, UINT height, D3DFORMAT format,
                                              D3DMULTISAMPLE_TYPE multiSample, DWORD quality, BOOL discard,
                                              IDirect3DSurface9** out, HANDLE* shared, int fromWorker);
HRESULT CreateTextureOnMainThread(UINT width, UINT height, UINT levels, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                                  IDirect3DTexture9** out, HANDLE* shared, int fromWorker);
HRESULT ColorFillOnMainThread(IDirect3DSurface9* surface, const RECT* rect, D3DCOLOR color, int fromWorker);
HRESULT CreateOffscreenSurfaceOnMainThread(UINT width, UINT height, D3DFORMAT format, D3DPOOL pool,
                                           IDirect3DSurface9** out, HANDLE* shared, int fromWorker);
HRESULT UpdateSurfaceOnMainThread(IDirect3DSurface9* source, const RECT* sourceRect, IDirect3DSurface9* dest,
                                  const POINT* destPoint, int fromWorker);
HRESULT UpdateTextureOnMainThread(IDirect3DBaseTexture9* source, IDirect3DBaseTexture9* dest, int fromWorker);
HRESULT CreateVertexShaderOnMainThread(const DWORD* code, IDirect3DVertexShader9** out, int fromWorker);
HRESULT CreatePixelShaderOnMainThread(const DWORD* code, IDirect3DPixelShader9** out, int fromWorker);
// Without a device -1 (no device call); else 0, or -1 when the creation failed.
int CreateVertexBufferOnMainThread(UINT length, DWORD usage, DWORD fvf, D3DPOOL pool, IDirect3DVertexBuffer9** out,
                                   int fromWorker);
int CreateIndexBufferOnMainThread(UINT length, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                                  IDirect3DIndexBuffer9** out, int fromWorker);
HRESULT TextureGetSurfaceLevelOnMainThread(IDirect3DTexture9* texture, UINT level, IDirect3DSurface9** out,
                                           int fromWorker);
HRESULT TextureLockRectOnMainThread(IDirect3DTexture9* texture, UINT level, D3DLOCKED_RECT* locked, const RECT* rect,
                                    DWORD flags, int fromWorker);
HRESULT TextureUnlockRectOnMainThread(IDirect3DTexture9* texture, UINT level, int fromWorker);
HRESULT LockSurfaceOnMainThread(IDirect3DSurface9* surface, D3DLOCKED_RECT* locked, const RECT* rect, DWORD flags,
                                int fromWorker);
HRESULT UnlockSurfaceOnMainThread(IDirect3DSurface9* surface, int fromWorker);
HRESULT LockBufferOnMainThread(IDirect3DResource9* buffer, UINT offset, UINT size, void** data, DWORD flags,
                               int fromWorker);
HRESULT UnlockBufferOnMainThread(IDirect3DResource9* buffer, int fromWorker);
// Hands over only when fromWorker is exactly 1.
int FindSupportedMultiSampleTypeOnMainThread(D3DFORMAT format, DWORD* type, DWORD* quality, int failFlag,
                                             int fromWorker);
