// The base renderer: each sample waits on the streaming thread until its time on the
// graph's clock and is rendered while running; a pause holds it and completes with it; the
// end of the stream is reported once the last sample's time has passed.
#include "dshow/dshow_renderer.h"
#include <initializer_list>

namespace Korvel {

K_CBaseRenderer::K_CBaseRenderer(REFCLSID clsid, const char* objectName, IUnknown* outer, HRESULT* result)
    : K_CBaseFilter(objectName, outer, &interfaceLock, clsid) {
  InitializeCriticalSection(&interfaceLock);
  InitializeCriticalSection(&rendererLock);
  completeEvent = CreateEventA(nullptr, TRUE, TRUE, nullptr);
  renderEvent = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  abortEvent = CreateEventA(nullptr, TRUE, TRUE, nullptr);
  receiveIdleEvent = CreateEventA(nullptr, TRUE, TRUE, nullptr);
  if ((completeEvent == nullptr || renderEvent == nullptr || abortEvent == nullptr || receiveIdleEvent == nullptr) &&
      result != nullptr)
    *result = E_OUTOFMEMORY;
  HRESULT pinResult = CreateInputPin();
  if (FAILED(pinResult) && result != nullptr) *result = pinResult;
}

K_CBaseRenderer::~K_CBaseRenderer() {
  ClearPendingSample();
  if (position != nullptr) position->Release();
  delete inputPin;
  for (HANDLE event : {completeEvent, renderEvent, abortEvent, receiveIdleEvent})
    if (event != nullptr) CloseHandle(event);
  DeleteCriticalSection(&rendererLock);
  DeleteCriticalSection(&interfaceLock);
}

HRESULT K_CBaseRenderer::CreateInputPin() {
  if (inputPin != nullptr) return S_OK;
  HRESULT hr = S_OK;
  inputPin = new K_CRendererInputPin(this, &hr, L"In");
  if (inputPin == nullptr) return E_OUTOFMEMORY;
  if (FAILED(hr)) {
    delete inputPin;
    inputPin = nullptr;
  }
  return hr;
}

int K_CBaseRenderer::GetPinCount() { return 1; }

K_CBasePin* K_CBaseRenderer::GetPin(int index) { return index == 0 ? inputPin : nullptr; }

HRESULT STDMETHODCALLTYPE K_CBaseRenderer::NonDelegatingQueryInterface(REFIID riid, void** object) {
  if (object == nullptr) return E_POINTER;
  if (riid == IID_IMediaSeeking || riid == IID_IMediaPosition) {
    *object = nullptr;
    DShowAutoLock guard(&rendererLock);
    if (position == nullptr) {
      if (inputPin == nullptr) return E_UNEXPECTED;
      HRESULT hr = S_OK;
      positionObject =
          new K_CRendererPosPassThru("Renderer seeking pass-through", GetOwner(), &hr, static_cast<IPin*>(inputPin));
      if (positionObject == nullptr) return E_OUTOFMEMORY;
      position = positionObject->InnerUnknown();
      position->AddRef();
    }
    return position->QueryInterface(riid, object);
  }
  return K_CBaseFilter::NonDelegatingQueryInterface(riid, object);
}

void K_CBaseRenderer::Ready() { SetEvent(completeEvent); }
void K_CBaseRenderer::NotReady() { ResetEvent(completeEvent); }

void K_CBaseRenderer::ClearPendingSample() {
  DShowAutoLock guard(&rendererLock);
  if (pendingSample != nullptr) {
    pendingSample->Release();
    pendingSample = nullptr;
  }
}

void K_CBaseRenderer::CancelNotification() {
  DShowAutoLock guard(&rendererLock);
  if (advise != 0 && clock != nullptr) clock->Unadvise(advise);
  advise = 0;
  ResetEvent(renderEvent);
}

void K_CBaseRenderer::ScheduleAt(REFERENCE_TIME streamTime, bool timed) {
  DShowAutoLock guard(&rendererLock);
  if (advise != 0 && clock != nullptr) clock->Unadvise(advise);
  advise = 0;
  ResetEvent(renderEvent);
  // Without a clock or a time stamp a sample is due at once; a time already past signals
  // at once too.
  if (clock == nullptr || !timed ||
      FAILED(clock->AdviseTime(startTime, streamTime, (HEVENT)renderEvent, &advise))) {
    advise = 0;
    SetEvent(renderEvent);
  }
}

HRESULT K_CBaseRenderer::WaitForRenderTime() {
  HANDLE events[2] = {abortEvent, renderEvent};
  for (;;) {
    DWORD signalled = WaitForMultipleObjects(2, events, FALSE, INFINITE);
    if (signalled != WAIT_OBJECT_0 + 1) return VFW_E_STATE_CHANGED;
    // A time that came while paused waits for Run to arm it again.
    DShowAutoLock guard(&rendererLock);
    if (state == State_Running) {
      advise = 0;
      return S_OK;
    }
  }
}

HRESULT STDMETHODCALLTYPE K_CBaseRenderer::Stop() {
  DShowAutoLock guard(&interfaceLock);
  if (state == State_Stopped) return S_OK;
  HRESULT hr = K_CBaseFilter::Stop();
  // The streaming thread stops waiting and lets go of its sample.
  SetEvent(abortEvent);
  CancelNotification();
  ClearPendingSample();
  {
    DShowAutoLock sampleGuard(&rendererLock);
    endOfStream = false;
    endOfStreamDelivered = false;
    haveLastEnd = false;
  }
  if (positionObject != nullptr) positionObject->ResetMediaTime();
  Ready();
  return hr;
}

HRESULT STDMETHODCALLTYPE K_CBaseRenderer::Pause() {
  DShowAutoLock guard(&interfaceLock);
  FILTER_STATE old = state;
  if (old == State_Paused) return WaitForSingleObject(completeEvent, 0) == WAIT_OBJECT_0 ? S_OK : S_FALSE;
  HRESULT hr = K_CBaseFilter::Pause();
  if (FAILED(hr)) return hr;
  if (old == State_Stopped) {
    DShowAutoLock sampleGuard(&rendererLock);
    endOfStream = false;
    endOfStreamDelivered = false;
    haveLastEnd = false;
    ResetEvent(abortEvent);
  } else {
    // From running: the sample waiting keeps waiting, now for Run.
    CancelNotification();
  }
  // Complete at once when nothing can come or a sample is already held from running;
  // otherwise when the first sample (or the end of the stream) arrives.
  DShowAutoLock sampleGuard(&rendererLock);
  if (inputPin == nullptr || !inputPin->IsConnected() || endOfStream ||
      (pendingSample != nullptr && old != State_Stopped)) {
    Ready();
    return S_OK;
  }
  NotReady();
  return S_FALSE;
}

HRESULT STDMETHODCALLTYPE K_CBaseRenderer::Run(REFERENCE_TIME start) {
  DShowAutoLock guard(&interfaceLock);
  if (state == State_Running) return S_OK;
  HRESULT hr = K_CBaseFilter::Run(start);
  if (FAILED(hr)) return hr;
  Ready();
  if (inputPin == nullptr || !inputPin->IsConnected()) {
    // Nothing will ever come: the stream is complete at once.
    NotifyEvent(EC_COMPLETE, S_OK, 0);
    return S_OK;
  }
  bool sendEnd = false;
  {
    DShowAutoLock sampleGuard(&rendererLock);
    if (pendingSample != nullptr) {
      REFERENCE_TIME sampleStart, sampleStop;
      HRESULT times = pendingSample->GetTime(&sampleStart, &sampleStop);
      ScheduleAt(sampleStart, SUCCEEDED(times));
    } else if (endOfStream) {
      if (endOfStreamWaiting) ScheduleAt(lastEnd, haveLastEnd);
      else sendEnd = true;
    }
  }
  if (sendEnd) SendEndOfStream();
  return S_OK;
}

HRESULT STDMETHODCALLTYPE K_CBaseRenderer::GetState(DWORD milliseconds, FILTER_STATE* current) {
  if (current == nullptr) return E_POINTER;
  if (state == State_Paused && WaitForSingleObject(completeEvent, milliseconds) != WAIT_OBJECT_0) {
    *current = State_Paused;
    return VFW_S_STATE_INTERMEDIATE;
  }
  *current = state;
  return S_OK;
}

HRESULT K_CBaseRenderer::SetMediaType(const K_CMediaType* type) {
  (void)type;
  return S_OK;
}
HRESULT K_CBaseRenderer::BreakConnect() { return S_OK; }
HRESULT K_CBaseRenderer::CompleteConnect(IPin* receivePin) {
  (void)receivePin;
  return S_OK;
}
void K_CBaseRenderer::OnReceiveFirstSample(IMediaSample* sample) { (void)sample; }
void K_CBaseRenderer::OnRenderStart(IMediaSample* sample) { (void)sample; }
void K_CBaseRenderer::OnRenderEnd(IMediaSample* sample) { (void)sample; }

HRESULT K_CBaseRenderer::Receive(IMediaSample* sample) {
  // Preroll samples come before the start position: not shown.
  if (sample->IsPreroll() == S_OK) return S_OK;
  // A sample announcing a new type changes the connection's type here.
  AM_MEDIA_TYPE* newType = nullptr;
  if (sample->GetMediaType(&newType) == S_OK && newType != nullptr) {
    HRESULT hr = inputPin->SetMediaType(static_cast<K_CMediaType*>(newType));
    DeleteMediaType(newType);
    if (FAILED(hr)) return hr;
  }
  REFERENCE_TIME sampleStart = 0, sampleStop = 0;
  HRESULT times = sample->GetTime(&sampleStart, &sampleStop);
  {
    DShowAutoLock guard(&rendererLock);
    if (WaitForSingleObject(abortEvent, 0) == WAIT_OBJECT_0) return S_FALSE;  // stopped or flushing
    if (pendingSample != nullptr) return E_UNEXPECTED;
    if (endOfStream) return VFW_E_SAMPLE_REJECTED_EOS;
    pendingSample = sample;
    sample->AddRef();
    ResetEvent(receiveIdleEvent);
    if (state == State_Running) ScheduleAt(sampleStart, SUCCEEDED(times));
    if (SUCCEEDED(times)) {
      lastEnd = sampleStop;
      haveLastEnd = true;
    }
  }
  // The first sample completes a pause.
  Ready();
  if (state == State_Paused) OnReceiveFirstSample(sample);
  HRESULT hr = WaitForRenderTime();
  if (hr == S_OK) {
    OnRenderStart(sample);
    hr = DoRenderSample(sample);
    OnRenderEnd(sample);
    if (positionObject != nullptr) positionObject->RegisterMediaTime(sample, inputPin->CurrentStartTime());
  } else {
    hr = S_OK;  // a stop or a flush took the sample away: not an error upstream
  }
  ClearPendingSample();
  SetEvent(receiveIdleEvent);
  return hr;
}

HRESULT K_CBaseRenderer::EndOfStream() {
  bool wait = false;
  {
    DShowAutoLock guard(&rendererLock);
    if (state == State_Stopped || WaitForSingleObject(abortEvent, 0) == WAIT_OBJECT_0) return S_OK;
    endOfStream = true;
    if (pendingSample != nullptr) return S_OK;
    // A pause waiting for data is complete: none will come.
    Ready();
    if (state == State_Running) {
      ResetEvent(receiveIdleEvent);
      endOfStreamWaiting = true;
      ScheduleAt(lastEnd, haveLastEnd);
      wait = true;
    }
  }
  if (!wait) return S_OK;
  // The stream ends when its last sample's time is over.
  HRESULT hr = WaitForRenderTime();
  {
    DShowAutoLock guard(&rendererLock);
    endOfStreamWaiting = false;
  }
  if (hr == S_OK) SendEndOfStream();
  SetEvent(receiveIdleEvent);
  return S_OK;
}

void K_CBaseRenderer::SendEndOfStream() {
  {
    DShowAutoLock guard(&rendererLock);
    if (!endOfStream || endOfStreamDelivered) return;
    endOfStreamDelivered = true;
  }
  NotifyEvent(EC_COMPLETE, S_OK, 0);
}

HRESULT K_CBaseRenderer::BeginFlush() {
  {
    DShowAutoLock guard(&rendererLock);
    // A paused renderer waits again for a sample after the flush.
    if (state == State_Paused) NotReady();
    SetEvent(abortEvent);
  }
  CancelNotification();
  ClearPendingSample();
  // Receive or EndOfStream leaves before the flush goes on.
  WaitForSingleObject(receiveIdleEvent, INFINITE);
  DShowAutoLock guard(&rendererLock);
  endOfStream = false;
  endOfStreamDelivered = false;
  haveLastEnd = false;
  return S_OK;
}

HRESULT K_CBaseRenderer::EndFlush() {
  if (positionObject != nullptr) positionObject->ResetMediaTime();
  DShowAutoLock guard(&rendererLock);
  if (state != State_Stopped) ResetEvent(abortEvent);
  return S_OK;
}

// ---- input pin ----

K_CRendererInputPin::K_CRendererInputPin(K_CBaseRenderer* renderer, HRESULT* result, LPCWSTR pinName)
    : K_CBaseInputPin("Renderer input pin", renderer, renderer->FilterLock(), result, pinName), renderer(renderer) {}

HRESULT STDMETHODCALLTYPE K_CRendererInputPin::Receive(IMediaSample* sample) {
  HRESULT hr = K_CBaseInputPin::Receive(sample);
  if (hr != S_OK) return hr;
  return renderer->Receive(sample);
}

HRESULT STDMETHODCALLTYPE K_CRendererInputPin::EndOfStream() {
  HRESULT hr = CheckStreaming();
  if (hr == S_FALSE) return S_OK;  // flushing: the end goes with the data
  if (hr != S_OK) return hr;
  return renderer->EndOfStream();
}

HRESULT STDMETHODCALLTYPE K_CRendererInputPin::BeginFlush() {
  K_CBaseInputPin::BeginFlush();
  return renderer->BeginFlush();
}

HRESULT STDMETHODCALLTYPE K_CRendererInputPin::EndFlush() {
  renderer->EndFlush();
  return K_CBaseInputPin::EndFlush();
}

HRESULT K_CRendererInputPin::CheckMediaType(const K_CMediaType* type) { return renderer->CheckMediaType(type); }

HRESULT K_CRendererInputPin::SetMediaType(const K_CMediaType* type) {
  HRESULT hr = K_CBaseInputPin::SetMediaType(type);
  if (FAILED(hr)) return hr;
  return renderer->SetMediaType(type);
}

HRESULT K_CRendererInputPin::BreakConnect() {
  renderer->BreakConnect();
  return K_CBaseInputPin::BreakConnect();
}

HRESULT K_CRendererInputPin::CompleteConnect(IPin* receivePin) {
  HRESULT hr = renderer->CompleteConnect(receivePin);
  if (FAILED(hr)) return hr;
  return K_CBaseInputPin::CompleteConnect(receivePin);
}

}  // namespace Korvel
