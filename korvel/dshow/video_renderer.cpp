// The base video renderer: the poster frame while paused, IQualProp statistics of the
// frames drawn, and a quality message for each frame.
#include <cmath>
#include "dshow/dshow_renderer.h"

namespace Korvel {

namespace {
const double UNITS_PER_MS = 10000.0;
// Standard deviation from a count, a sum and a sum of squares.
int Deviation(int count, double sum, double squares) {
  if (count < 2) return 0;
  double mean = sum / count;
  double variance = squares / count - mean * mean;
  return variance > 0 ? (int)std::sqrt(variance) : 0;
}
}  // namespace

K_CBaseVideoRenderer::K_CBaseVideoRenderer(REFCLSID clsid, const char* objectName, IUnknown* outer,
                                           HRESULT* result)
    : K_CBaseRenderer(clsid, objectName, outer, result) {
  InitializeCriticalSection(&statisticsLock);
}

K_CBaseVideoRenderer::~K_CBaseVideoRenderer() { DeleteCriticalSection(&statisticsLock); }

HRESULT STDMETHODCALLTYPE K_CBaseVideoRenderer::NonDelegatingQueryInterface(REFIID riid, void** object) {
  if (object == nullptr) return E_POINTER;
  if (riid == IID_IQualProp) return DShowGetInterface(static_cast<IQualProp*>(this), object);
  if (riid == IID_IQualityControl) return DShowGetInterface(static_cast<IQualityControl*>(this), object);
  return K_CBaseRenderer::NonDelegatingQueryInterface(riid, object);
}

void K_CBaseVideoRenderer::ResetStatistics() {
  DShowAutoLock guard(&statisticsLock);
  framesDrawn = 0;
  lastDrawTime = 0;
  intervalSum = intervalSquares = 0;
  offsetSum = offsetSquares = 0;
  offsetCount = 0;
}

// Statistics start again with each run from Stopped.
HRESULT STDMETHODCALLTYPE K_CBaseVideoRenderer::Pause() {
  if (state == State_Stopped) ResetStatistics();
  return K_CBaseRenderer::Pause();
}

void K_CBaseVideoRenderer::OnReceiveFirstSample(IMediaSample* sample) { DoRenderSample(sample); }

void K_CBaseVideoRenderer::OnRenderStart(IMediaSample* sample) {
  (void)sample;
  renderTimed = SUCCEEDED(StreamTime(&renderStart));
}

void K_CBaseVideoRenderer::OnRenderEnd(IMediaSample* sample) {
  REFERENCE_TIME start, stop;
  bool stamped = SUCCEEDED(sample->GetTime(&start, &stop));
  REFERENCE_TIME late = 0;
  {
    DShowAutoLock guard(&statisticsLock);
    if (renderTimed && framesDrawn > 0) {
      double interval = (renderStart - lastDrawTime) / UNITS_PER_MS;
      intervalSum += interval;
      intervalSquares += interval * interval;
    }
    if (renderTimed) lastDrawTime = renderStart;
    if (renderTimed && stamped) {
      late = renderStart - start;
      double offset = late / UNITS_PER_MS;
      offsetSum += offset;
      offsetSquares += offset * offset;
      offsetCount++;
    }
    framesDrawn++;
  }
  if (!renderTimed || !stamped) return;
  // Upstream hears how late (or early) each frame was drawn.
  Quality quality;
  quality.Type = late > 0 ? Famine : Flood;
  quality.Proportion = 1000;
  quality.Late = late;
  quality.TimeStamp = start;
  if (qualitySink != nullptr) qualitySink->Notify(static_cast<IBaseFilter*>(this), quality);
  else if (inputPin != nullptr) inputPin->PassNotify(quality);
}

// This renderer draws every sample on time and drops none for quality.
HRESULT STDMETHODCALLTYPE K_CBaseVideoRenderer::get_FramesDroppedInRenderer(int* frames) {
  if (frames == nullptr) return E_POINTER;
  *frames = 0;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE K_CBaseVideoRenderer::get_FramesDrawn(int* frames) {
  if (frames == nullptr) return E_POINTER;
  DShowAutoLock guard(&statisticsLock);
  *frames = framesDrawn;
  return S_OK;
}

// Frames per 100 seconds over the intervals between the frames drawn.
HRESULT STDMETHODCALLTYPE K_CBaseVideoRenderer::get_AvgFrameRate(int* rate) {
  if (rate == nullptr) return E_POINTER;
  DShowAutoLock guard(&statisticsLock);
  *rate = intervalSum > 0 ? (int)((framesDrawn - 1) * 100000.0 / intervalSum) : 0;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE K_CBaseVideoRenderer::get_Jitter(int* jitter) {
  if (jitter == nullptr) return E_POINTER;
  DShowAutoLock guard(&statisticsLock);
  *jitter = Deviation(framesDrawn - 1, intervalSum, intervalSquares);
  return S_OK;
}

HRESULT STDMETHODCALLTYPE K_CBaseVideoRenderer::get_AvgSyncOffset(int* offset) {
  if (offset == nullptr) return E_POINTER;
  DShowAutoLock guard(&statisticsLock);
  *offset = offsetCount > 0 ? (int)(offsetSum / offsetCount) : 0;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE K_CBaseVideoRenderer::get_DevSyncOffset(int* deviation) {
  if (deviation == nullptr) return E_POINTER;
  DShowAutoLock guard(&statisticsLock);
  *deviation = Deviation(offsetCount, offsetSum, offsetSquares);
  return S_OK;
}

// Messages sent to the renderer go on upstream.
HRESULT STDMETHODCALLTYPE K_CBaseVideoRenderer::Notify(IBaseFilter* sender, Quality quality) {
  (void)sender;
  if (inputPin == nullptr) return VFW_E_NOT_FOUND;
  return inputPin->PassNotify(quality);
}

HRESULT STDMETHODCALLTYPE K_CBaseVideoRenderer::SetSink(IQualityControl* sink) {
  DShowAutoLock guard(&interfaceLock);
  qualitySink = sink;
  return S_OK;
}

}  // namespace Korvel
