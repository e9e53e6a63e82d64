// Device calls made for loader workers: with the from-worker flag they run on the main thread
// (inside ServeMainThreadRequests) with the same arguments and give the same result as the
// direct call.
#include <gtest/gtest.h>
#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "file/async_load.h"
#include "graphics/device/main_thread_calls.h"
#include "test_support.h"

namespace {
struct SEEN_CALL {
  DWORD thread;
  std::vector<uint32_t> words;
};
std::vector<SEEN_CALL> seen;
uint8_t lockedBytes[256];

template <typename... T>
void Saw(T... args) {
  seen.push_back({GetCurrentThreadId(), {(uint32_t)(uintptr_t)args...}});
}

// A fake device layer: every slot notes its thread and arguments and gives a fixed answer.
void InstallFakeDevice() {
  DeviceCalls.ReleaseComObject = [](IUnknown* o) -> ULONG { Saw(o); return 7; };
  DeviceCalls.DeviceCreateTexture = [](UINT w, UINT h, UINT l, DWORD u, D3DFORMAT f, D3DPOOL p,
                                       IDirect3DTexture9** out, HANDLE* s) -> HRESULT {
    Saw(w, h, l, u, f, p, out, s);
    *out = (IDirect3DTexture9*)0x7000;
    return 0x11;
  };
  DeviceCalls.DeviceCreateRenderTarget = [](UINT w, UINT h, D3DFORMAT f, D3DMULTISAMPLE_TYPE m, DWORD q, BOOL l,
                                            IDirect3DSurface9** out, HANDLE* s) -> HRESULT {
    Saw(w, h, f, m, q, l, out, s);
    return 0x12;
  };
  DeviceCalls.DeviceColorFill = [](IDirect3DSurface9* s, const RECT* r, D3DCOLOR c) -> HRESULT {
    Saw(s, r, c);
    return 0x13;
  };
  DeviceCalls.DeviceUpdateSurface = [](IDirect3DSurface9* a, const RECT* r, IDirect3DSurface9* b,
                                       const POINT* p) -> HRESULT {
    Saw(a, r, b, p);
    return 0x14;
  };
  DeviceCalls.TextureLockRect = [](IDirect3DTexture9* t, UINT l, D3DLOCKED_RECT* locked, const RECT* r,
                                   DWORD f) -> HRESULT {
    Saw(t, l, locked, r, f);
    locked->pBits = lockedBytes;
    locked->Pitch = 64;
    return 0x15;
  };
  DeviceCalls.TextureUnlockRect = [](IDirect3DTexture9* t, UINT l) -> HRESULT { Saw(t, l); return 0x16; };
  DeviceCalls.BufferLock = [](IDirect3DResource9* b, UINT o, UINT s, void** data, DWORD f) -> HRESULT {
    Saw(b, o, s, data, f);
    *data = lockedBytes + o;
    return 0x17;
  };
  DeviceCalls.DeviceCreateVertexBuffer = [](UINT l, DWORD u, DWORD f, D3DPOOL p, IDirect3DVertexBuffer9** out,
                                            HANDLE* s) -> HRESULT {
    Saw(l, u, f, p, out, s);
    return l == 13 ? E_FAIL : S_OK;
  };
}

struct CASE {
  const char* name;
  std::function<int(int fromWorker)> call;
  int expected;
  int deviceCalls;
};

std::vector<CASE> Cases() {
  static IDirect3DTexture9* texture;
  static D3DLOCKED_RECT locked;
  static void* data;
  static RECT rect = {1, 2, 3, 4};
  static POINT point = {5, 6};
  return {
      {"release", [](int w) { return (int)ReleaseComObjectOnMainThread((IUnknown*)0x1000, w); }, 7, 1},
      {"create texture",
       [](int w) {
         return (int)CreateTextureOnMainThread(64, 32, 1, D3DUSAGE_DYNAMIC, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT, &texture,
                                               nullptr, w);
       },
       0x11, 1},
      {"render target",
       [](int w) {
         return (int)CreateRenderTargetOnMainThread(8, 9, D3DFMT_X8R8G8B8, D3DMULTISAMPLE_4_SAMPLES, 2, TRUE,
                                                    (IDirect3DSurface9**)0x2000, (HANDLE*)0x3000, w);
       },
       0x12, 1},
      {"colour fill", [](int w) { return (int)ColorFillOnMainThread((IDirect3DSurface9*)0x4000, &rect, 0xFF102030, w); },
       0x13, 1},
      {"update surface",
       [](int w) {
         return (int)UpdateSurfaceOnMainThread((IDirect3DSurface9*)0x5000, &rect, (IDirect3DSurface9*)0x6000, &point, w);
       },
       0x14, 1},
      {"lock texture",
       [](int w) { return (int)TextureLockRectOnMainThread((IDirect3DTexture9*)0x7000, 3, &locked, nullptr, D3DLOCK_DISCARD, w); },
       0x15, 1},
      {"unlock texture", [](int w) { return (int)TextureUnlockRectOnMainThread((IDirect3DTexture9*)0x7000, 3, w); }, 0x16, 1},
      {"lock buffer",
       [](int w) { return (int)LockBufferOnMainThread((IDirect3DResource9*)0x8000, 16, 32, &data, 0, w); }, 0x17, 1},
      {"vertex buffer without a device",
       [](int w) {
         return CreateVertexBufferOnMainThread(100, 0, D3DFVF_XYZ, D3DPOOL_MANAGED, (IDirect3DVertexBuffer9**)0x9000, w);
       },
       -1, 0},
  };
}

int currentCase = 0;
int workerResult = 0;
int RunCaseOnWorker(ASYNC_LOAD_TASK*) {
  workerResult = Cases()[currentCase].call(1);
  return 0;
}

TEST(MainThreadCalls, WorkerCallsRunOnTheMainThreadWithTheDirectResult) {
  StartTestLog();
  DEVICE_CALL_TABLE saved = DeviceCalls;
  InstallFakeDevice();
  ASSERT_EQ(InitAsyncLoad(GetCurrentThreadId()), 0);
  ASSERT_EQ(StartAsyncLoadWorkers(2), 0);
  const std::vector<CASE> cases = Cases();
  for (size_t i = 0; i < cases.size(); i++) {
    const CASE& c = cases[i];
    seen.clear();
    EXPECT_EQ(c.call(0), c.expected) << c.name;
    ASSERT_EQ((int)seen.size(), c.deviceCalls) << c.name;
    std::vector<SEEN_CALL> direct = seen;

    seen.clear();
    currentCase = (int)i;
    workerResult = 12345;
    ASYNC_LOAD_TASK* task = AllocAsyncLoadTask(0);
    task->process = RunCaseOnWorker;
    QueueAsyncLoadTask(task);
    DWORD start = GetTickCount();
    while (GetAsyncLoadTaskCount() > 0 && GetTickCount() - start < 10000) {
      ServeMainThreadRequests();
      Sleep(1);
    }
    EXPECT_EQ(workerResult, c.expected) << c.name;
    ASSERT_EQ((int)seen.size(), c.deviceCalls) << c.name;
    for (size_t k = 0; k < seen.size(); k++) {
      EXPECT_EQ(seen[k].thread, GetCurrentThreadId()) << c.name << ": the device is touched on the main thread only";
      EXPECT_EQ(seen[k].words, direct[k].words) << c.name << ": the same arguments";
    }
  }
  // What a worker's lock gives back is usable by the worker.
  D3DLOCKED_RECT locked = {};
  EXPECT_EQ(TextureLockRectOnMainThread((IDirect3DTexture9*)1, 0, &locked, nullptr, 0, 0), 0x15);
  EXPECT_EQ(locked.pBits, lockedBytes);

  // With a device the buffer creation reaches the layer without a shared handle.
  Direct3DObjects.device = (IDirect3DDevice9*)0xD000;
  seen.clear();
  EXPECT_EQ(CreateVertexBufferOnMainThread(100, 0, D3DFVF_XYZ, D3DPOOL_MANAGED, nullptr, 0), 0);
  EXPECT_EQ(CreateVertexBufferOnMainThread(13, 0, D3DFVF_XYZ, D3DPOOL_MANAGED, nullptr, 0), -1);
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(seen[0].words[5], 0u);
  Direct3DObjects.device = nullptr;

  EXPECT_EQ(StopAsyncLoadWorkers(), 0);
  EXPECT_EQ(EndAsyncLoad(), 0);
  DeviceCalls = saved;
}
}  // namespace
