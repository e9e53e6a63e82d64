#include "main_thread_calls.h"

#include <cstdint>
#include <tuple>
#include <type_traits>
#include <utility>

#include "file/async_load.h"

namespace {
// Arguments travel as one pointer-sized word each (pointers, integers, enums, BOOL).
template <typename T>
uintptr_t ToWord(T value) {
  static_assert(sizeof(T) <= sizeof(uintptr_t) && !std::is_floating_point_v<T>, "one word per argument");
  return (uintptr_t)value;
}

template <typename T>
T FromWord(uintptr_t word) {
  if constexpr (std::is_pointer_v<T>) return (T)(uintptr_t)word;
  else return (T)word;
}

// What a variant runs: a slot of the device call table (read when the call is made, so a
// replaced table is honoured) or a plain function.
template <auto Target>
struct CALL_TARGET;

template <typename R, typename... A, R (*DEVICE_CALL_TABLE::*Slot)(A...)>
struct CALL_TARGET<Slot> {
  using Result = R;
  using Arguments = std::tuple<A...>;
  static R Invoke(A... args) { return (DeviceCalls.*Slot)(args...); }
};

template <typename R, typename... A, R (*Function)(A...)>
struct CALL_TARGET<Function> {
  using Result = R;
  using Arguments = std::tuple<A...>;
  static R Invoke(A... args) { return Function(args...); }
};

template <auto Target, size_t... I>
typename CALL_TARGET<Target>::Result InvokeFromWords(const uintptr_t* words, std::index_sequence<I...>) {
  using Arguments = typename CALL_TARGET<Target>::Arguments;
  return CALL_TARGET<Target>::Invoke(FromWord<std::tuple_element_t<I, Arguments>>(words[I])...);
}

// The request routine, run by the main thread: the argument words back into the call.
template <auto Target>
int RunRequest(MAIN_THREAD_REQUEST* request) {
  using Arguments = typename CALL_TARGET<Target>::Arguments;
  return (int)InvokeFromWords<Target>(request->arguments, std::make_index_sequence<std::tuple_size_v<Arguments>>());
}

template <auto Target, typename... A>
typename CALL_TARGET<Target>::Result CallOnMainThread(int fromWorker, A... args) {
  using Result = typename CALL_TARGET<Target>::Result;
  if (!fromWorker) return CALL_TARGET<Target>::Invoke(args...);
  static_assert(sizeof...(A) <= 13, "a request holds at most 13 argument words");
  MAIN_THREAD_REQUEST request = {};
  request.function = RunRequest<Target>;
  uintptr_t words[] = {ToWord(args)..., 0};
  for (size_t i = 0; i < sizeof...(A); i++) request.arguments[i] = words[i];
  return (Result)RequestMainThreadCall(&request);
}

// Buffer creation tests for the device on whichever thread runs it.
int CreateVertexBufferNow(UINT length, DWORD usage, DWORD fvf, D3DPOOL pool, IDirect3DVertexBuffer9** out) {
  if (!HasDirect3DDevice()) return -1;
  return FAILED(DeviceCalls.DeviceCreateVertexBuffer(length, usage, fvf, pool, out, nullptr)) ? -1 : 0;
}

int CreateIndexBufferNow(UINT length, DWORD usage, D3DFORMAT format, D3DPOOL pool, IDirect3DIndexBuffer9** out) {
  if (!HasDirect3DDevice()) return -1;
  return FAILED(DeviceCalls.DeviceCreateIndexBuffer(length, usage, format, pool, out, nullptr)) ? -1 : 0;
}
}  // namespace

ULONG ReleaseComObjectOnMainThread(IUnknown* object, int fromWorker) {
  return CallOnMainThread<&DEVICE_CALL_TABLE::ReleaseComObject>(fromWorker, object);
}

HRESULT CreateRenderTargetOnMainThread(UINT width, UINT height, D3DFORMAT format, D3DMULTISAMPLE_TYPE multiSample,
                                       DWORD quality, BOOL lockable, IDirect3DSurface9** out, HANDLE* shared,
                                       int fromWorker) {
  return CallOnMainThread<&DEVICE_CALL_TABLE::DeviceCreateRenderTarget>(fromWorker, width, height, format, multiSample,
                                                                         quality, lockable, out, shared);
}

HRESULT CreateDepthStencilSurfaceOnMainThread(UINT width, UINT height, D3DFORMAT format,
                                              D3DMULTISAMPLE_TYPE multiSample, DWORD quality, BOOL discard,
                                              IDirect3DSurface9** out, HANDLE* shared, int fromWorker) {
  return CallOnMainThread<&DEVICE_CALL_TABLE::DeviceCreateDepthStencilSurface>(fromWorker, width, height, format,
                                                                                multiSample, quality, discard, out,
                                                                                shared);
}

HRESULT CreateTextureOnMainThread(UINT width, UINT height, UINT levels, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                                  IDirect3DTexture9** out, HANDLE* shared, int fromWorker) {
  return CallOnMainThread<&DEVICE_CALL_TABLE::DeviceCreateTexture>(fromWorker, width, height, levels, usage, format,
                                                                    pool, out, shared);
}

HRESULT ColorFillOnMainThread(IDirect3DSurface9* surface, const RECT* rect, D3DCOLOR color, int fromWorker) {
  return CallOnMainThread<&DEVICE_CALL_TABLE::DeviceColorFill>(fromWorker, surface, rect, color);
}

HRESULT CreateOffscreenSurfaceOnMainThread(UINT width, UINT height, D3DFORMAT format, D3DPOOL pool,
                                           IDirect3DSurface9** out, HANDLE* shared, int fromWorker) {
  return CallOnMainThread<&DEVICE_CALL_TABLE::DeviceCreateOffscreenSurface>(fromWorker, width, height, format, pool,
                                                                             out, shared);
}

HRESULT UpdateSurfaceOnMainThread(IDirect3DSurface9* source, const RECT* sourceRect, IDirect3DSurface9* dest,
                                  const POINT* destPoint, int fromWorker) {
  return CallOnMainThread<&DEVICE_CALL_TABLE::DeviceUpdateSurface>(fromWorker, source, sourceRect, dest, destPoint);
}

HRESULT UpdateTextureOnMainThread(IDirect3DBaseTexture9* source, IDirect3DBaseTexture9* dest, int fromWorker) {
  return CallOnMainThread<&DEVICE_CALL_TABLE::DeviceUpdateTexture>(fromWorker, source, dest);
}

HRESULT CreateVertexShaderOnMainThread(const DWORD* code, IDirect3DVertexShader9** out, int fromWorker) {
  return CallOnMainThread<&DEVICE_CALL_TABLE::DeviceCreateVertexShader>(fromWorker, code, out);
}

HRESULT CreatePixelShaderOnMainThread(const DWORD* code, IDirect3DPixelShader9** out, int fromWorker) {
  return CallOnMainThread<&DEVICE_CALL_TABLE::DeviceCreatePixelShader>(fromWorker, code, out);
}

int CreateVertexBufferOnMainThread(UINT length, DWORD usage, DWORD fvf, D3DPOOL pool, IDirect3DVertexBuffer9** out,
                                   int fromWorker) {
  return CallOnMainThread<CreateVertexBufferNow>(fromWorker, length, usage, fvf, pool, out);
}

int CreateIndexBufferOnMainThread(UINT length, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                                  IDirect3DIndexBuffer9** out, int fromWorker) {
  return CallOnMainThread<CreateIndexBufferNow>(fromWorker, length, usage, format, pool, out);
}

HRESULT TextureGetSurfaceLevelOnMainThread(IDirect3DTexture9* texture, UINT level, IDirect3DSurface9** out,
                                           int fromWorker) {
  return CallOnMainThread<&DEVICE_CALL_TABLE::TextureGetSurfaceLevel>(fromWorker, texture, level, out);
}

HRESULT TextureLockRectOnMainThread(IDirect3DTexture9* texture, UINT level, D3DLOCKED_RECT* locked, const RECT* rect,
                                    DWORD flags, int fromWorker) {
  return CallOnMainThread<&DEVICE_CALL_TABLE::TextureLockRect>(fromWorker, texture, level, locked, rect, flags);
}

HRESULT TextureUnlockRectOnMainThread(IDirect3DTexture9* texture, UINT level, int fromWorker) {
  return CallOnMainThread<&DEVICE_CALL_TABLE::TextureUnlockRect>(fromWorker, texture, level);
}

HRESULT LockSurfaceOnMainThread(IDirect3DSurface9* surface, D3DLOCKED_RECT* locked, const RECT* rect, DWORD flags,
                                int fromWorker) {
  return CallOnMainThread<&DEVICE_CALL_TABLE::SurfaceLockRect>(fromWorker, surface, locked, rect, flags);
}

HRESULT UnlockSurfaceOnMainThread(IDirect3DSurface9* surface, int fromWorker) {
  return CallOnMainThread<&DEVICE_CALL_TABLE::SurfaceUnlockRect>(fromWorker, surface);
}

HRESULT LockBufferOnMainThread(IDirect3DResource9* buffer, UINT offset, UINT size, void** data, DWORD flags,
                               int fromWorker) {
  return CallOnMainThread<&DEVICE_CALL_TABLE::BufferLock>(fromWorker, buffer, offset, size, data, flags);
}

HRESULT UnlockBufferOnMainThread(IDirect3DResource9* buffer, int fromWorker) {
  return CallOnMainThread<&DEVICE_CALL_TABLE::BufferUnlock>(fromWorker, buffer);
}

int FindSupportedMultiSampleTypeOnMainThread(D3DFORMAT format, DWORD* type, DWORD* quality, int failFlag,
                                             int fromWorker) {
  return CallOnMainThread<FindSupportedMultiSampleType>(fromWorker == 1 ? 1 : 0, format, type, quality, failFlag);
}
