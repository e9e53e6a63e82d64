// The push-model input pin: the allocator handed over by the upstream pin and the checks
// and sample properties of Receive.
#include <cstddef>
#include "dshow/dshow_filter.h"

namespace Korvel {

K_CBaseInputPin::K_CBaseInputPin(const char* objectName, K_CBaseFilter* filter, CRITICAL_SECTION* lock,
                                 HRESULT* result, LPCWSTR pinName)
    : K_CBasePin(objectName, filter, lock, result, pinName, PINDIR_INPUT) {}

K_CBaseInputPin::~K_CBaseInputPin() {
  if (allocator != nullptr) allocator->Release();
}

HRESULT STDMETHODCALLTYPE K_CBaseInputPin::NonDelegatingQueryInterface(REFIID riid, void** object) {
  if (object == nullptr) return E_POINTER;
  if (riid == IID_IMemInputPin) return DShowGetInterface(static_cast<IMemInputPin*>(this), object);
  return K_CBasePin::NonDelegatingQueryInterface(riid, object);
}

HRESULT STDMETHODCALLTYPE K_CBaseInputPin::GetAllocator(IMemAllocator** result) {
  if (result == nullptr) return E_POINTER;
  DShowAutoLock guard(lock);
  *result = nullptr;
  if (allocator == nullptr) {
    HRESULT hr = CreateMemoryAllocator(&allocator);
    if (FAILED(hr)) return hr;
  }
  *result = allocator;
  allocator->AddRef();
  return S_OK;
}

HRESULT STDMETHODCALLTYPE K_CBaseInputPin::NotifyAllocator(IMemAllocator* newAllocator, BOOL isReadOnly) {
  if (newAllocator == nullptr) return E_POINTER;
  DShowAutoLock guard(lock);
  newAllocator->AddRef();
  if (allocator != nullptr) allocator->Release();
  allocator = newAllocator;
  readOnly = isReadOnly != FALSE;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE K_CBaseInputPin::GetAllocatorRequirements(ALLOCATOR_PROPERTIES* properties) {
  (void)properties;
  return E_NOTIMPL;
}

HRESULT K_CBaseInputPin::CheckStreaming() {
  if (!IsConnected()) return VFW_E_NOT_CONNECTED;
  if (IsStopped()) return VFW_E_WRONG_STATE;
  if (flushing) return S_FALSE;
  if (runTimeError) return VFW_E_RUNTIME_ERROR;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE K_CBaseInputPin::Receive(IMediaSample* sample) {
  if (sample == nullptr) return E_POINTER;
  HRESULT hr = CheckStreaming();
  if (hr != S_OK) return hr;
  // The sample's properties, whole from IMediaSample2 or gathered from IMediaSample.
  IMediaSample2* sample2 = nullptr;
  if (SUCCEEDED(sample->QueryInterface(IID_IMediaSample2, (void**)&sample2))) {
    hr = sample2->GetProperties(sizeof(sampleProps), (BYTE*)&sampleProps);
    sample2->Release();
    if (FAILED(hr)) return hr;
  } else {
    sampleProps.cbData = sizeof(sampleProps);
    sampleProps.dwTypeSpecificFlags = 0;
    sampleProps.dwStreamId = AM_STREAM_MEDIA;
    sampleProps.dwSampleFlags = 0;
    if (sample->IsDiscontinuity() == S_OK) sampleProps.dwSampleFlags |= AM_SAMPLE_DATADISCONTINUITY;
    if (sample->IsPreroll() == S_OK) sampleProps.dwSampleFlags |= AM_SAMPLE_PREROLL;
    if (sample->IsSyncPoint() == S_OK) sampleProps.dwSampleFlags |= AM_SAMPLE_SPLICEPOINT;
    hr = sample->GetTime(&sampleProps.tStart, &sampleProps.tStop);
    if (SUCCEEDED(hr)) {
      sampleProps.dwSampleFlags |= AM_SAMPLE_TIMEVALID;
      if (hr == S_OK) sampleProps.dwSampleFlags |= AM_SAMPLE_STOPVALID;
    }
    // The media type stays the sample's own until the sample goes.
    AM_MEDIA_TYPE* type = nullptr;
    sampleProps.pMediaType = nullptr;
    if (sample->GetMediaType(&type) == S_OK && type != nullptr) {
      sampleProps.dwSampleFlags |= AM_SAMPLE_TYPECHANGED;
      DeleteMediaType(type);
    }
    sample->GetPointer(&sampleProps.pbBuffer);
    sampleProps.lActual = sample->GetActualDataLength();
    sampleProps.cbBuffer = sample->GetSize();
  }
  if ((sampleProps.dwSampleFlags & AM_SAMPLE_TYPECHANGED) == 0) return S_OK;
  // A type change within the stream must be one this pin takes, else the stream ends.
  AM_MEDIA_TYPE* type = nullptr;
  hr = sample->GetMediaType(&type);
  HRESULT check = type != nullptr ? CheckMediaType(static_cast<K_CMediaType*>(type)) : S_OK;
  DeleteMediaType(type);
  if (FAILED(hr) || check == S_OK) return FAILED(hr) ? hr : S_OK;
  EndOfStream();
  filter->NotifyEvent(EC_ERRORABORT, VFW_E_TYPE_NOT_ACCEPTED, 0);
  runTimeError = true;
  return VFW_E_INVALIDMEDIATYPE;
}

HRESULT STDMETHODCALLTYPE K_CBaseInputPin::ReceiveMultiple(IMediaSample** samples, long count, long* processed) {
  if (samples == nullptr || processed == nullptr) return E_POINTER;
  HRESULT hr = S_OK;
  *processed = 0;
  while (count-- > 0) {
    hr = Receive(samples[*processed]);
    if (hr != S_OK) break;
    (*processed)++;
  }
  return hr;
}

HRESULT STDMETHODCALLTYPE K_CBaseInputPin::ReceiveCanBlock() {
  // A filter without output pins (a renderer) may block; otherwise it blocks only when a
  // downstream pin does.
  int outputs = 0;
  for (int i = 0, count = filter->GetPinCount(); i < count; i++) {
    K_CBasePin* pin = filter->GetPin(i);
    if (pin == nullptr || pin->Direction() != PINDIR_OUTPUT) continue;
    outputs++;
    IPin* downstream = pin->GetConnected();
    if (downstream == nullptr) continue;
    IMemInputPin* input = nullptr;
    if (FAILED(downstream->QueryInterface(IID_IMemInputPin, (void**)&input))) return S_OK;
    HRESULT hr = input->ReceiveCanBlock();
    input->Release();
    if (hr != S_FALSE) return S_OK;
  }
  return outputs == 0 ? S_OK : S_FALSE;
}

HRESULT STDMETHODCALLTYPE K_CBaseInputPin::BeginFlush() {
  DShowAutoLock guard(lock);
  flushing = true;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE K_CBaseInputPin::EndFlush() {
  DShowAutoLock guard(lock);
  flushing = false;
  runTimeError = false;
  return S_OK;
}

HRESULT K_CBaseInputPin::BreakConnect() {
  if (allocator != nullptr) {
    allocator->Decommit();
    allocator->Release();
    allocator = nullptr;
  }
  return S_OK;
}

HRESULT K_CBaseInputPin::Inactive() {
  runTimeError = false;
  flushing = false;
  if (allocator == nullptr) return VFW_E_NO_ALLOCATOR;
  return allocator->Decommit();
}

HRESULT K_CBaseInputPin::PassNotify(const Quality& quality) {
  if (qualitySink != nullptr) return qualitySink->Notify(static_cast<IBaseFilter*>(filter), quality);
  IPin* upstream = connected;
  if (upstream == nullptr) return VFW_E_NOT_FOUND;
  IQualityControl* control = nullptr;
  HRESULT hr = upstream->QueryInterface(IID_IQualityControl, (void**)&control);
  if (FAILED(hr)) return VFW_E_NOT_FOUND;
  hr = control->Notify(static_cast<IBaseFilter*>(filter), quality);
  control->Release();
  return hr;
}

}  // namespace Korvel
