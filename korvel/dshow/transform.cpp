// The transform filter and its two pins: streaming start and stop, one output sample per
// input sample, and the stream events passed downstream.
#include <cstddef>
#include "dshow/dshow_transform.h"
#include "dshow/dshow_seeking.h"

namespace Korvel {

K_CTransformFilter::K_CTransformFilter(const char* objectName, IUnknown* outer, REFCLSID clsid)
    : K_CBaseFilter(objectName, outer, &filterLock, clsid) {
  InitializeCriticalSection(&filterLock);
  InitializeCriticalSection(&receiveLock);
}

K_CTransformFilter::~K_CTransformFilter() {
  delete input;
  delete output;
  DeleteCriticalSection(&receiveLock);
  DeleteCriticalSection(&filterLock);
}

HRESULT K_CTransformFilter::CreatePins() {
  HRESULT hr = S_OK;
  if (input == nullptr) {
    input = new K_CTransformInputPin("Transform input pin", this, &hr, L"XForm In");
    if (input == nullptr) return E_OUTOFMEMORY;
    if (FAILED(hr)) {
      delete input;
      input = nullptr;
      return hr;
    }
  }
  if (output == nullptr) {
    output = new K_CTransformOutputPin("Transform output pin", this, &hr, L"XForm Out");
    if (output == nullptr) return E_OUTOFMEMORY;
    if (FAILED(hr)) {
      delete output;
      output = nullptr;
      return hr;
    }
  }
  return S_OK;
}

int K_CTransformFilter::GetPinCount() { return 2; }

K_CBasePin* K_CTransformFilter::GetPin(int index) {
  if (FAILED(CreatePins())) return nullptr;
  if (index == 0) return input;
  if (index == 1) return output;
  return nullptr;
}

HRESULT STDMETHODCALLTYPE K_CTransformFilter::Stop() {
  DShowAutoLock guard(&filterLock);
  if (state == State_Stopped) return S_OK;
  if (input == nullptr || output == nullptr || !input->IsConnected() || !output->IsConnected()) {
    endOfStreamDelivered = false;
    return K_CBaseFilter::Stop();
  }
  // The input first, so that upstream stops delivering; then, with the streaming thread out
  // of Receive, the output and the filter's own streaming.
  input->Inactive();
  DShowAutoLock streaming(&receiveLock);
  output->Inactive();
  HRESULT hr = StopStreaming();
  if (SUCCEEDED(hr)) {
    state = State_Stopped;
    endOfStreamDelivered = false;
  }
  return hr;
}

HRESULT STDMETHODCALLTYPE K_CTransformFilter::Pause() {
  DShowAutoLock guard(&filterLock);
  if (state == State_Paused) return S_OK;
  HRESULT hr = S_OK;
  if (input == nullptr || !input->IsConnected()) {
    // Nothing will come in: what is downstream is told the stream has ended.
    hr = K_CBaseFilter::Pause();
    if (output != nullptr && output->IsConnected() && !endOfStreamDelivered) {
      output->DeliverEndOfStream();
      endOfStreamDelivered = true;
    }
  } else if (output == nullptr || !output->IsConnected()) {
    hr = K_CBaseFilter::Pause();
  } else {
    if (state == State_Stopped) {
      DShowAutoLock streaming(&receiveLock);
      hr = StartStreaming();
    }
    if (SUCCEEDED(hr)) hr = K_CBaseFilter::Pause();
  }
  sampleSkipped = false;
  qualityChanged = false;
  return hr;
}

HRESULT K_CTransformFilter::Transform(IMediaSample* inputSample, IMediaSample* outputSample) {
  (void)inputSample;
  (void)outputSample;
  return E_UNEXPECTED;
}

HRESULT K_CTransformFilter::StartStreaming() { return S_OK; }
HRESULT K_CTransformFilter::StopStreaming() { return S_OK; }
HRESULT K_CTransformFilter::AlterQuality(Quality quality) {
  (void)quality;
  return S_FALSE;
}
HRESULT K_CTransformFilter::SetMediaType(PIN_DIRECTION direction, const K_CMediaType* type) {
  (void)direction;
  (void)type;
  return S_OK;
}
HRESULT K_CTransformFilter::CheckConnect(PIN_DIRECTION direction, IPin* pin) {
  (void)direction;
  (void)pin;
  return S_OK;
}
HRESULT K_CTransformFilter::BreakConnect(PIN_DIRECTION direction) {
  (void)direction;
  return S_OK;
}
HRESULT K_CTransformFilter::CompleteConnect(PIN_DIRECTION direction, IPin* receivePin) {
  (void)direction;
  (void)receivePin;
  return S_OK;
}

HRESULT K_CTransformFilter::InitializeOutputSample(IMediaSample* sample, IMediaSample** outputSample) {
  *outputSample = nullptr;
  const AM_SAMPLE2_PROPERTIES* props = input->SampleProps();
  DWORD flags = sampleSkipped ? AM_GBF_PREVFRAMESKIPPED : 0;
  if ((props->dwSampleFlags & AM_SAMPLE_SPLICEPOINT) == 0) flags |= AM_GBF_NOTASYNCPOINT;
  REFERENCE_TIME start = props->tStart, stop = props->tStop;
  bool timeValid = (props->dwSampleFlags & AM_SAMPLE_TIMEVALID) != 0;
  bool stopValid = (props->dwSampleFlags & AM_SAMPLE_STOPVALID) != 0;
  IMediaSample* out = nullptr;
  HRESULT hr = output->GetDeliveryBuffer(&out, timeValid ? &start : nullptr, stopValid ? &stop : nullptr, flags);
  if (FAILED(hr)) return hr;
  // The input's flags and times go with the output (its own type-change flag stays).
  IMediaSample2* out2 = nullptr;
  if (SUCCEEDED(out->QueryInterface(IID_IMediaSample2, (void**)&out2))) {
    const DWORD size = offsetof(AM_SAMPLE2_PROPERTIES, dwStreamId);
    AM_SAMPLE2_PROPERTIES outProps = {};
    hr = out2->GetProperties(size, (BYTE*)&outProps);
    if (SUCCEEDED(hr)) {
      outProps.cbData = size;
      outProps.dwTypeSpecificFlags = props->dwTypeSpecificFlags;
      outProps.dwSampleFlags =
          (outProps.dwSampleFlags & AM_SAMPLE_TYPECHANGED) | (props->dwSampleFlags & ~AM_SAMPLE_TYPECHANGED);
      outProps.tStart = start;
      outProps.tStop = stop;
      hr = out2->SetProperties(size, (const BYTE*)&outProps);
    }
    out2->Release();
    if (FAILED(hr)) {
      out->Release();
      return hr;
    }
  } else {
    if (timeValid) out->SetTime(&start, stopValid ? &stop : nullptr);
    out->SetSyncPoint((props->dwSampleFlags & AM_SAMPLE_SPLICEPOINT) != 0);
    out->SetPreroll((props->dwSampleFlags & AM_SAMPLE_PREROLL) != 0);
    out->SetDiscontinuity((props->dwSampleFlags & AM_SAMPLE_DATADISCONTINUITY) != 0);
  }
  // A skipped sample before this one makes a break in the stream.
  if (sampleSkipped) out->SetDiscontinuity(TRUE);
  if ((props->dwSampleFlags & AM_SAMPLE_DATADISCONTINUITY) != 0) sampleSkipped = false;
  LONGLONG mediaStart, mediaEnd;
  if (sample->GetMediaTime(&mediaStart, &mediaEnd) == S_OK) out->SetMediaTime(&mediaStart, &mediaEnd);
  *outputSample = out;
  return S_OK;
}

HRESULT K_CTransformFilter::Receive(IMediaSample* sample) {
  if (input->SampleProps()->dwStreamId != AM_STREAM_MEDIA) return output->Deliver(sample);
  IMediaSample* out = nullptr;
  HRESULT hr = InitializeOutputSample(sample, &out);
  if (FAILED(hr)) return hr;
  hr = Transform(sample, out);
  if (hr == S_OK) {
    hr = output->Deliver(out);
    sampleSkipped = false;
  } else if (SUCCEEDED(hr)) {
    // Skipped: the graph hears once that quality changed.
    sampleSkipped = true;
    if (!qualityChanged) {
      NotifyEvent(EC_QUALITY_CHANGE, 0, 0);
      qualityChanged = true;
    }
    hr = S_OK;
  }
  out->Release();
  return hr;
}

HRESULT K_CTransformFilter::EndOfStream() { return output != nullptr ? output->DeliverEndOfStream() : S_OK; }
HRESULT K_CTransformFilter::BeginFlush() { return output != nullptr ? output->DeliverBeginFlush() : S_OK; }
HRESULT K_CTransformFilter::EndFlush() { return output != nullptr ? output->DeliverEndFlush() : S_OK; }
HRESULT K_CTransformFilter::NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate) {
  if (output == nullptr || !output->IsConnected()) return S_OK;
  return output->DeliverNewSegment(start, stop, rate);
}

// ---- input pin ----

K_CTransformInputPin::K_CTransformInputPin(const char* objectName, K_CTransformFilter* filter, HRESULT* result,
                                           LPCWSTR pinName)
    : K_CBaseInputPin(objectName, filter, filter->FilterLock(), result, pinName), transform(filter) {}

HRESULT K_CTransformInputPin::CheckConnect(IPin* pin) {
  HRESULT hr = transform->CheckConnect(PINDIR_INPUT, pin);
  if (FAILED(hr)) return hr;
  return K_CBaseInputPin::CheckConnect(pin);
}

HRESULT K_CTransformInputPin::BreakConnect() {
  transform->BreakConnect(PINDIR_INPUT);
  return K_CBaseInputPin::BreakConnect();
}

HRESULT K_CTransformInputPin::CompleteConnect(IPin* receivePin) {
  HRESULT hr = transform->CompleteConnect(PINDIR_INPUT, receivePin);
  if (FAILED(hr)) return hr;
  return K_CBaseInputPin::CompleteConnect(receivePin);
}

HRESULT K_CTransformInputPin::CheckMediaType(const K_CMediaType* type) {
  HRESULT hr = transform->CheckInputType(type);
  if (hr != S_OK) return hr;
  K_CTransformOutputPin* output = transform->OutputPin();
  if (output != nullptr && output->IsConnected()) return transform->CheckTransform(type, &output->CurrentMediaType());
  return S_OK;
}

HRESULT K_CTransformInputPin::SetMediaType(const K_CMediaType* type) {
  HRESULT hr = K_CBaseInputPin::SetMediaType(type);
  if (FAILED(hr)) return hr;
  return transform->SetMediaType(PINDIR_INPUT, type);
}

HRESULT K_CTransformInputPin::CheckStreaming() {
  K_CTransformOutputPin* output = transform->OutputPin();
  if (output == nullptr || !output->IsConnected()) return VFW_E_NOT_CONNECTED;
  return K_CBaseInputPin::CheckStreaming();
}

HRESULT STDMETHODCALLTYPE K_CTransformInputPin::Receive(IMediaSample* sample) {
  DShowAutoLock streaming(transform->ReceiveLock());
  HRESULT hr = K_CBaseInputPin::Receive(sample);
  if (hr == S_OK) hr = transform->Receive(sample);
  return hr;
}

HRESULT STDMETHODCALLTYPE K_CTransformInputPin::EndOfStream() {
  DShowAutoLock streaming(transform->ReceiveLock());
  HRESULT hr = CheckStreaming();
  if (hr == S_FALSE) return S_OK;  // flushing: the end is dropped with the data
  if (hr != S_OK) return hr;
  return transform->EndOfStream();
}

HRESULT STDMETHODCALLTYPE K_CTransformInputPin::BeginFlush() {
  DShowAutoLock guard(lock);
  K_CTransformOutputPin* output = transform->OutputPin();
  if (!IsConnected() || output == nullptr || !output->IsConnected()) return VFW_E_NOT_CONNECTED;
  HRESULT hr = K_CBaseInputPin::BeginFlush();
  if (FAILED(hr)) return hr;
  return transform->BeginFlush();
}

HRESULT STDMETHODCALLTYPE K_CTransformInputPin::EndFlush() {
  DShowAutoLock guard(lock);
  K_CTransformOutputPin* output = transform->OutputPin();
  if (!IsConnected() || output == nullptr || !output->IsConnected()) return VFW_E_NOT_CONNECTED;
  HRESULT hr = transform->EndFlush();
  if (FAILED(hr)) return hr;
  return K_CBaseInputPin::EndFlush();
}

HRESULT STDMETHODCALLTYPE K_CTransformInputPin::NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate) {
  K_CBaseInputPin::NewSegment(start, stop, rate);
  return transform->NewSegment(start, stop, rate);
}

// ---- output pin ----

K_CTransformOutputPin::K_CTransformOutputPin(const char* objectName, K_CTransformFilter* filter, HRESULT* result,
                                             LPCWSTR pinName)
    : K_CBaseOutputPin(objectName, filter, filter->FilterLock(), result, pinName), transform(filter) {}

K_CTransformOutputPin::~K_CTransformOutputPin() {
  if (position != nullptr) position->Release();
}

HRESULT STDMETHODCALLTYPE K_CTransformOutputPin::NonDelegatingQueryInterface(REFIID riid, void** object) {
  if (object == nullptr) return E_POINTER;
  if (riid == IID_IMediaPosition || riid == IID_IMediaSeeking) {
    *object = nullptr;
    if (position == nullptr) {
      HRESULT hr = CreatePosPassThru(GetOwner(), false, static_cast<IPin*>(transform->InputPin()), &position);
      if (FAILED(hr)) return hr;
    }
    return position->QueryInterface(riid, object);
  }
  return K_CBaseOutputPin::NonDelegatingQueryInterface(riid, object);
}

HRESULT K_CTransformOutputPin::CheckConnect(IPin* pin) {
  K_CTransformInputPin* input = transform->InputPin();
  if (input == nullptr || !input->IsConnected()) return E_UNEXPECTED;
  HRESULT hr = K_CBaseOutputPin::CheckConnect(pin);
  if (FAILED(hr)) return hr;
  return transform->CheckConnect(PINDIR_OUTPUT, pin);
}

HRESULT K_CTransformOutputPin::BreakConnect() {
  transform->BreakConnect(PINDIR_OUTPUT);
  return K_CBaseOutputPin::BreakConnect();
}

HRESULT K_CTransformOutputPin::CompleteConnect(IPin* receivePin) {
  HRESULT hr = transform->CompleteConnect(PINDIR_OUTPUT, receivePin);
  if (FAILED(hr)) return hr;
  return K_CBaseOutputPin::CompleteConnect(receivePin);
}

HRESULT K_CTransformOutputPin::CheckMediaType(const K_CMediaType* type) {
  K_CTransformInputPin* input = transform->InputPin();
  if (input == nullptr || !input->IsConnected()) return E_UNEXPECTED;
  return transform->CheckTransform(&input->CurrentMediaType(), type);
}

HRESULT K_CTransformOutputPin::SetMediaType(const K_CMediaType* type) {
  HRESULT hr = K_CBaseOutputPin::SetMediaType(type);
  if (FAILED(hr)) return hr;
  return transform->SetMediaType(PINDIR_OUTPUT, type);
}

HRESULT K_CTransformOutputPin::GetMediaType(int index, K_CMediaType* type) {
  K_CTransformInputPin* input = transform->InputPin();
  if (input == nullptr || !input->IsConnected()) return VFW_S_NO_MORE_ITEMS;
  return transform->GetMediaType(index, type);
}

HRESULT K_CTransformOutputPin::DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) {
  return transform->DecideBufferSize(allocator, request);
}

HRESULT STDMETHODCALLTYPE K_CTransformOutputPin::Notify(IBaseFilter* sender, Quality quality) {
  (void)sender;
  HRESULT hr = transform->AlterQuality(quality);
  if (hr != S_FALSE) return hr;
  K_CTransformInputPin* input = transform->InputPin();
  return input != nullptr ? input->PassNotify(quality) : VFW_E_NOT_FOUND;
}

}  // namespace Korvel
