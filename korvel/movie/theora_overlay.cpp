// The YUV overlay surface of a Theora decoder: an offscreen plain surface of the coded frame
// size in the first of YV12, YUY2 and UYVY the device makes, only for 4:2:0 movies and only
// while Direct3D 9 draws. Every device call runs on the main thread: a loader worker hands the
// operation over as a main-thread request.
#include "file/async_load.h"
#include "graphics/device/d3d_calls.h"
#include "graphics/device/screen.h"
#include "movie/theora_decoder.h"

namespace {
int CreateTheoraOverlayRequest(MAIN_THREAD_REQUEST* request) {
  CreateTheoraOverlay((THEORA_DECODER*)request->arguments[0], 0);
  return 0;
}

int ReleaseTheoraOverlayRequest(MAIN_THREAD_REQUEST* request) {
  ReleaseTheoraOverlay((THEORA_DECODER*)request->arguments[0], 0);
  return 0;
}

void HandToMainThread(MAIN_THREAD_FUNCTION function, THEORA_DECODER* d) {
  MAIN_THREAD_REQUEST request = {};
  request.function = function;
  request.arguments[0] = (uintptr_t)d;
  RequestMainThreadCall(&request);
}
}  // namespace

int ReleaseTheoraOverlay(THEORA_DECODER* d, int fromAsyncThread) {
  if (fromAsyncThread) {
    HandToMainThread(ReleaseTheoraOverlayRequest, d);
    return 0;
  }
  d->overlayLost = 0;
  if (d->overlaySurface != nullptr) {
    ReleaseComObject(d->overlaySurface);
    d->overlaySurface = nullptr;
  }
  return 0;
}

int CreateTheoraOverlay(THEORA_DECODER* d, int fromAsyncThread) {
  if (fromAsyncThread) {
    HandToMainThread(CreateTheoraOverlayRequest, d);
    return d->overlaySurface != nullptr ? 0 : -1;
  }
  ReleaseTheoraOverlay(d, 0);
  d->overlayFourcc = 0;
  // A frame that is not 4:2:0 could not be copied into any of the three layouts.
  if (!ScreenState.hardwareRendering || !HasDirect3DDevice() || d->info.pixelformat != OC_PF_420) return -1;
  static const uint32_t kFourccs[] = {MAKEFOURCC('Y', 'V', '1', '2'), MAKEFOURCC('Y', 'U', 'Y', '2'),
                                      MAKEFOURCC('U', 'Y', 'V', 'Y')};
  for (uint32_t fourcc : kFourccs) {
    IDirect3DSurface9* surface = nullptr;
    DeviceCalls.DeviceCreateOffscreenSurface(d->info.width, d->info.height, (D3DFORMAT)fourcc, D3DPOOL_DEFAULT,
                                             &surface, nullptr);
    if (surface != nullptr) {
      d->overlaySurface = surface;
      d->overlayFourcc = fourcc;
      return 0;
    }
  }
  return -1;
}

IDirect3DSurface9* GetTheoraOverlaySurface(THEORA_DECODER* d) { return d->overlaySurface; }

int SetTheoraOverlayLost(THEORA_DECODER* d) {
  d->overlayLost = 1;
  return 0;
}

// The surface belongs to the device, which is about to go: it is released now, while its module
// is loaded, and the lost flag asks the next overlay update for a new one.
int ReleaseTheoraOverlayOfLostDevice(THEORA_DECODER* d) {
  if (d->overlaySurface == nullptr) return 0;
  ReleaseTheoraOverlay(d, 0);
  d->overlayLost = 1;
  return 0;
}

int IsTheoraOverlayWanted(const THEORA_DECODER* d) {
  return d->overlaySurface != nullptr || d->overlayLost ? 1 : 0;
}
