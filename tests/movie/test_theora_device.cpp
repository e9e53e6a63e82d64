// The Theora overlay on the real Direct3D 9 device under Wine: which YUV surfaces the device
// makes, the frame's bytes read back by locking the overlay in each layout it makes, no overlay
// for a movie that is not 4:2:0, the overlay made again after a device re-creation, an
// opening on a loader worker whose device calls all run on the main thread, and movies larger
// than the device's textures refused.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "file/async_load.h"
#include "graphics/lifecycle/device_restore.h"
#include "movie/movie_handles.h"
#include "movie_fixture.h"
#include "real_device.h"

namespace {
using namespace movie_test;
const uint32_t kFourccs[] = {MAKEFOURCC('Y', 'V', '1', '2'), MAKEFOURCC('Y', 'U', 'Y', '2'),
                             MAKEFOURCC('U', 'Y', 'V', 'Y')};
std::string Name(uint32_t fourcc) { return std::string((const char*)&fourcc, 4); }

// The FOURCCs the device refuses before passing a creation on, and the threads of the overlay's
// device calls.
std::vector<uint32_t> refused;
std::vector<DWORD> deviceThreads;
DEVICE_CALL_TABLE realCalls;
void InstallWatchingCalls() {
  realCalls = DeviceCalls;
  DeviceCalls.DeviceCreateOffscreenSurface = [](UINT w, UINT h, D3DFORMAT format, D3DPOOL pool,
                                                IDirect3DSurface9** out, HANDLE* shared) -> HRESULT {
    deviceThreads.push_back(GetCurrentThreadId());
    for (uint32_t f : refused)
      if (f == (uint32_t)format) return D3DERR_NOTAVAILABLE;
    return realCalls.DeviceCreateOffscreenSurface(w, h, format, pool, out, shared);
  };
  DeviceCalls.SurfaceLockRect = [](IDirect3DSurface9* s, D3DLOCKED_RECT* locked, const RECT* rect,
                                   DWORD flags) -> HRESULT {
    deviceThreads.push_back(GetCurrentThreadId());
    return realCalls.SurfaceLockRect(s, locked, rect, flags);
  };
}

// The luma, Cb and Cr of the overlay at pixel (8, 8), read back through a lock.
struct SAMPLE {
  int y, cb, cr;
};
SAMPLE ReadOverlay(THEORA_DECODER* d) {
  SAMPLE s = {-1, -1, -1};
  IDirect3DSurface9* surface = GetTheoraOverlaySurface(d);
  D3DLOCKED_RECT locked = {};
  if (surface == nullptr || FAILED(realCalls.SurfaceLockRect(surface, &locked, nullptr, D3DLOCK_READONLY))) return s;
  const uint8_t* b = (const uint8_t*)locked.pBits;
  int p = locked.Pitch, height = (int)d->info.height;
  if (d->overlayFourcc == kFourccs[0]) {
    s = {b[8 * p + 8], b[p * height + (p / 2) * (height / 2) + 4 * (p / 2) + 4], b[p * height + 4 * (p / 2) + 4]};
  } else if (d->overlayFourcc == kFourccs[1]) {
    s = {b[8 * p + 16], b[8 * p + 17], b[8 * p + 19]};
  } else if (d->overlayFourcc == kFourccs[2]) {
    s = {b[8 * p + 17], b[8 * p + 16], b[8 * p + 18]};
  }
  realCalls.SurfaceUnlockRect(surface);
  return s;
}

void ExpectOverlayFrame(THEORA_DECODER* d, int k, const std::string& what) {
  SAMPLE s = ReadOverlay(d);
  EXPECT_NEAR(s.y, FrameLuma(k), 2) << what;
  EXPECT_NEAR(s.cb, kMovieCb, 2) << what;
  EXPECT_NEAR(s.cr, kMovieCr, 2) << what;
}

// Presents the current frame into the overlay once the thread has it.
int PresentOverlay(THEORA_DECODER* d) {
  if (WaitForCurrentFrame(d) == nullptr) return -1;
  return PresentTheoraFrame(d, 0, 1, 0);
}

class TheoraDevice : public ::testing::Test {
 protected:
  void SetUp() override {
    StartRealDevice();
    InstallWatchingCalls();
    refused.clear();
    deviceThreads.clear();
  }
  void TearDown() override {
    DeviceCalls = realCalls;
    EndRealDevice();
  }
};

TEST_F(TheoraDevice, OverlayHoldsTheFrameInEveryLayoutTheDeviceMakes) {
  std::string made;
  for (uint32_t fourcc : kFourccs) {
    IDirect3DSurface9* surface = nullptr;
    realCalls.DeviceCreateOffscreenSurface(112, 64, (D3DFORMAT)fourcc, D3DPOOL_DEFAULT, &surface, nullptr);
    if (surface != nullptr) {
      made += " " + Name(fourcc);
      ReleaseComObject(surface);
    }
  }
  printf("The device makes offscreen surfaces of:%s\n", made.c_str());
  RecordProperty("overlay_formats", made);

  std::string bytes = MovieBytes("basic.ogv");
  for (size_t i = 0; i < 3; i++) {
    refused.assign(kFourccs, kFourccs + i);
    int blocks = GetAllocBlockCount();
    THEORA_DECODER* d = OpenMemoryMovie(bytes);
    ASSERT_NE(d, nullptr);
    if (GetTheoraOverlaySurface(d) == nullptr) {
      EXPECT_EQ(made.find(Name(kFourccs[i])), std::string::npos) << Name(kFourccs[i]) << " is made yet unused";
      CloseTheoraDecoder(d);
      continue;
    }
    EXPECT_EQ(d->overlayFourcc, kFourccs[i]);
    ExpectOverlayFrame(d, 0, Name(kFourccs[i]) + ": the opening fills frame 0");
    StepTheoraFrames(d, 7);
    ASSERT_EQ(PresentOverlay(d), 1);
    ExpectOverlayFrame(d, 7, Name(kFourccs[i]) + " frame 7");
    SeekTheoraFrame(d, 33);
    ASSERT_EQ(PresentOverlay(d), 1);
    ExpectOverlayFrame(d, 33, Name(kFourccs[i]) + " frame 33");
    EXPECT_EQ(PresentTheoraFrame(d, 0, 1, 0), 0) << "the same frame is copied once";
    CloseTheoraDecoder(d);
    EXPECT_EQ(GetAllocBlockCount(), blocks);
  }
}

TEST_F(TheoraDevice, MovieThatIsNot420GetsNoOverlay) {
  for (const char* name : {"yuv422.ogv", "yuv444.ogv"}) {
    THEORA_DECODER* d = OpenMemoryMovie(MovieBytes(name));
    ASSERT_NE(d, nullptr) << name;
    EXPECT_EQ(GetTheoraOverlaySurface(d), nullptr) << name;
    EXPECT_EQ(d->overlayFourcc, 0u) << name;
    EXPECT_EQ(d->imageUpToDate, 1) << name << ": the image path serves it";
    CloseTheoraDecoder(d);
  }
}

TEST_F(TheoraDevice, OverlayIsMadeAgainAfterTheDeviceIsRecreated) {
  THEORA_DECODER* d = OpenMemoryMovie(MovieBytes("basic.ogv"));
  ASSERT_NE(d, nullptr);
  ASSERT_NE(GetTheoraOverlaySurface(d), nullptr);
  // The movie layer releases the overlay before the device objects go (a decoder of its own
  // here, which no graph shows); it is made again by the next overlay update.
  ReleaseTheoraOverlayOfLostDevice(d);
  EXPECT_EQ(GetTheoraOverlaySurface(d), nullptr);
  EXPECT_EQ(d->overlayLost, 1);
  RecreateGraphicsDevice();
  ASSERT_TRUE(HasDirect3DDevice());
  deviceThreads.clear();
  StepTheoraFrames(d, 5);
  ASSERT_EQ(PresentOverlay(d), 1);
  EXPECT_EQ(deviceThreads.size(), 2u) << "one creation, one lock";
  EXPECT_EQ(d->overlayLost, 0);
  ExpectOverlayFrame(d, 5, "after re-creation");
  CloseTheoraDecoder(d);
}

// An opening on a loader worker: the overlay is made, locked and filled by main-thread requests.
std::string workerBytes;
THEORA_DECODER* workerDecoder;
int workerPresent;
int OpenOnWorker(ASYNC_LOAD_TASK*) {
  uint32_t handle = AddMemoryFile(workerBytes);
  workerDecoder = OpenTheoraDecoder(MemoryFileTable(), handle, 10, 1);
  if (workerDecoder == nullptr) return 0;
  StepTheoraFrames(workerDecoder, 11);
  if (WaitForCurrentFrame(workerDecoder) != nullptr) workerPresent = PresentTheoraFrame(workerDecoder, 1, 1, 1);
  return 0;
}

TEST_F(TheoraDevice, OpeningOnAWorkerUsesTheDeviceOnTheMainThreadOnly) {
  workerBytes = MovieBytes("basic.ogv");
  workerDecoder = nullptr;
  workerPresent = -1;
  ASYNC_LOAD_TASK* task = AllocAsyncLoadTask(0);
  task->process = OpenOnWorker;
  QueueAsyncLoadTask(task);
  ASSERT_TRUE(WaitFor([] {
    ServeMainThreadRequests();
    return GetAsyncLoadTaskCount() == 0;
  }, 20000));
  ASSERT_NE(workerDecoder, nullptr);
  EXPECT_EQ(workerPresent, 1);
  ASSERT_NE(GetTheoraOverlaySurface(workerDecoder), nullptr);
  EXPECT_GE(deviceThreads.size(), 3u) << "a creation and two locks";
  for (DWORD thread : deviceThreads) EXPECT_EQ(thread, GetCurrentThreadId());
  ExpectOverlayFrame(workerDecoder, 11, "filled from the worker");
  CloseTheoraDecoder(workerDecoder);
}

// While Direct3D draws, a movie whose frame no texture of the device holds is refused with a
// line naming the device's limit, and the movie handle is not made (nor handed to DirectShow).
TEST_F(TheoraDevice, MovieLargerThanTheDeviceTexturesIsRefused) {
  int realWidth = DeviceCaps.maxTextureWidth, realHeight = DeviceCaps.maxTextureHeight;
  struct ROW {
    int width, height;
  } rows[] = {{64, 4096}, {4096, 48}};
  for (const ROW& r : rows) {
    DeviceCaps.maxTextureWidth = r.width;
    DeviceCaps.maxTextureHeight = r.height;
    int refusedOpen = -1;
    EXPECT_EQ(OpenTheoraDecoder(MemoryFileTable(), AddMemoryFile(MovieBytes("basic.ogv")), 10, 0, &refusedOpen), nullptr);
    EXPECT_EQ(refusedOpen, 1);
    std::string line = "Theora ムービーのフレームサイズ 112 x 64 はデバイスのテクスチャサイズの上限 " +
                       std::to_string(r.width) + " x " + std::to_string(r.height) + " を超えています";
    EXPECT_NE(ReadLog().find(line), std::string::npos) << line;
    int option = 0;
    EXPECT_EQ(CreateMovieFromFile(&option, MoviePath("basic.ogv").c_str(), nullptr, nullptr, 0, 0), -1);
    int cursor = -1;
    EXPECT_EQ(NextHandleRecord(HANDLE_TYPE_MOVIE, &cursor), nullptr);
  }
  DeviceCaps.maxTextureWidth = realWidth;
  DeviceCaps.maxTextureHeight = realHeight;
  THEORA_DECODER* d = OpenMemoryMovie(MovieBytes("basic.ogv"));
  ASSERT_NE(d, nullptr) << "the device's own limits hold the movie";
  CloseTheoraDecoder(d);
}
}  // namespace
