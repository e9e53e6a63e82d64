// The in-place transform filter: one media type and, where both neighbours allow it, one
// allocator on both sides, so that each sample is changed where it lies and passed on.
#include <cstring>
#include "dshow/dshow_transform.h"

namespace Korvel {

K_CTransInPlaceFilter::K_CTransInPlaceFilter(const char* objectName, IUnknown* outer, REFCLSID clsid,
                                             HRESULT* result, bool modifiesData)
    : K_CTransformFilter(objectName, outer, clsid), modifiesData(modifiesData) {
  (void)result;  // the pins are made on first use
}

K_CTransInPlaceInputPin* K_CTransInPlaceFilter::InPlaceInput() const {
  return static_cast<K_CTransInPlaceInputPin*>(input);
}
K_CTransInPlaceOutputPin* K_CTransInPlaceFilter::InPlaceOutput() const {
  return static_cast<K_CTransInPlaceOutputPin*>(output);
}

HRESULT K_CTransInPlaceFilter::CreatePins() {
  HRESULT hr = S_OK;
  if (input == nullptr) {
    input = new K_CTransInPlaceInputPin("TransInPlace input pin", this, &hr, L"Input");
    if (input == nullptr) return E_OUTOFMEMORY;
    if (FAILED(hr)) {
      delete input;
      input = nullptr;
      return hr;
    }
  }
  if (output == nullptr) {
    output = new K_CTransInPlaceOutputPin("TransInPlace output pin", this, &hr, L"Output");
    if (output == nullptr) return E_OUTOFMEMORY;
    if (FAILED(hr)) {
      delete output;
      output = nullptr;
      return hr;
    }
  }
  return S_OK;
}

HRESULT K_CTransInPlaceFilter::CheckTransform(const K_CMediaType* inputType, const K_CMediaType* outputType) {
  (void)inputType;
  (void)outputType;
  return S_OK;
}

// The pins offer their neighbours' types, not the filter's.
HRESULT K_CTransInPlaceFilter::GetMediaType(int position, K_CMediaType* type) {
  (void)position;
  (void)type;
  return E_UNEXPECTED;
}

HRESULT K_CTransInPlaceFilter::DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) {
  // At least what the input's allocator has, so that copies fit.
  ALLOCATOR_PROPERTIES wanted = {};
  IMemAllocator* inputAllocator = input != nullptr ? InPlaceInput()->PeekAllocator() : nullptr;
  if (inputAllocator != nullptr) {
    HRESULT hr = inputAllocator->GetProperties(&wanted);
    if (FAILED(hr)) return hr;
  }
  if (request->cBuffers > wanted.cBuffers) wanted.cBuffers = request->cBuffers;
  if (request->cbBuffer > wanted.cbBuffer) wanted.cbBuffer = request->cbBuffer;
  if (request->cbAlign > wanted.cbAlign) wanted.cbAlign = request->cbAlign;
  if (request->cbPrefix > wanted.cbPrefix) wanted.cbPrefix = request->cbPrefix;
  if (wanted.cBuffers < 1) wanted.cBuffers = 1;
  if (wanted.cbBuffer < 1) wanted.cbBuffer = 1;
  if (wanted.cbAlign < 1) wanted.cbAlign = 1;
  ALLOCATOR_PROPERTIES actual;
  HRESULT hr = allocator->SetProperties(&wanted, &actual);
  if (FAILED(hr)) return hr;
  if (actual.cBuffers < wanted.cBuffers || actual.cbBuffer < wanted.cbBuffer) return E_FAIL;
  return S_OK;
}

HRESULT K_CTransInPlaceFilter::CompleteConnect(PIN_DIRECTION direction, IPin* receivePin) {
  (void)receivePin;
  if (direction == PINDIR_INPUT && output != nullptr && output->IsConnected() &&
      input->CurrentMediaType() != output->CurrentMediaType())
    return ReconnectPin(static_cast<IPin*>(output), &input->CurrentMediaType());
  if (direction == PINDIR_OUTPUT && input != nullptr && input->IsConnected() &&
      output->CurrentMediaType() != input->CurrentMediaType())
    return ReconnectPin(static_cast<IPin*>(input), &output->CurrentMediaType());
  return S_OK;
}

bool K_CTransInPlaceFilter::UsingDifferentAllocators() const {
  return InPlaceInput()->PeekAllocator() != InPlaceOutput()->PeekAllocator();
}

IMediaSample* K_CTransInPlaceFilter::Copy(IMediaSample* source) {
  REFERENCE_TIME start = 0, stop = 0;
  HRESULT timeResult = source->GetTime(&start, &stop);
  DWORD flags = sampleSkipped ? AM_GBF_PREVFRAMESKIPPED : 0;
  if (source->IsSyncPoint() != S_OK) flags |= AM_GBF_NOTASYNCPOINT;
  IMediaSample* copy = nullptr;
  bool timed = SUCCEEDED(timeResult), stopped = timeResult == S_OK;
  if (FAILED(output->GetDeliveryBuffer(&copy, timed ? &start : nullptr, stopped ? &stop : nullptr, flags)))
    return nullptr;
  long length = source->GetActualDataLength();
  BYTE* from = nullptr;
  BYTE* to = nullptr;
  if (length > copy->GetSize() || FAILED(source->GetPointer(&from)) || FAILED(copy->GetPointer(&to))) {
    copy->Release();
    return nullptr;
  }
  if (length > 0) memcpy(to, from, (size_t)length);
  copy->SetActualDataLength(length);
  copy->SetTime(timed ? &start : nullptr, stopped ? &stop : nullptr);
  copy->SetSyncPoint(source->IsSyncPoint() == S_OK);
  copy->SetPreroll(source->IsPreroll() == S_OK);
  copy->SetDiscontinuity(source->IsDiscontinuity() == S_OK || sampleSkipped);
  AM_MEDIA_TYPE* type = nullptr;
  if (source->GetMediaType(&type) == S_OK && type != nullptr) {
    copy->SetMediaType(type);
    DeleteMediaType(type);
  }
  LONGLONG mediaStart, mediaEnd;
  if (source->GetMediaTime(&mediaStart, &mediaEnd) == S_OK) copy->SetMediaTime(&mediaStart, &mediaEnd);
  return copy;
}

HRESULT K_CTransInPlaceFilter::Receive(IMediaSample* sample) {
  if (input->SampleProps()->dwStreamId != AM_STREAM_MEDIA) return output->Deliver(sample);
  // With an allocator of its own downstream the sample is copied there first.
  IMediaSample* working = sample;
  if (UsingDifferentAllocators()) {
    working = Copy(sample);
    if (working == nullptr) return E_UNEXPECTED;
  }
  HRESULT hr = Transform(working);
  if (hr == S_OK) {
    hr = output->Deliver(working);
    sampleSkipped = false;
  } else if (SUCCEEDED(hr)) {
    sampleSkipped = true;
    if (!qualityChanged) {
      NotifyEvent(EC_QUALITY_CHANGE, 0, 0);
      qualityChanged = true;
    }
    hr = S_OK;
  }
  if (working != sample) working->Release();
  return hr;
}

// ---- input pin ----

K_CTransInPlaceInputPin::K_CTransInPlaceInputPin(const char* objectName, K_CTransInPlaceFilter* filter,
                                                 HRESULT* result, LPCWSTR pinName)
    : K_CTransformInputPin(objectName, filter, result, pinName), inPlace(filter) {}

HRESULT STDMETHODCALLTYPE K_CTransInPlaceInputPin::EnumMediaTypes(IEnumMediaTypes** types) {
  if (types == nullptr) return E_POINTER;
  *types = nullptr;
  K_CTransInPlaceOutputPin* output = inPlace->InPlaceOutput();
  if (output == nullptr || !output->IsConnected()) return VFW_E_NOT_CONNECTED;
  return output->GetConnected()->EnumMediaTypes(types);
}

HRESULT STDMETHODCALLTYPE K_CTransInPlaceInputPin::GetAllocator(IMemAllocator** result) {
  if (result == nullptr) return E_POINTER;
  DShowAutoLock guard(lock);
  K_CTransInPlaceOutputPin* output = inPlace->InPlaceOutput();
  if (output == nullptr || !output->IsConnected()) return K_CTransformInputPin::GetAllocator(result);
  *result = nullptr;
  HRESULT hr = output->ConnectedIMemInputPin()->GetAllocator(result);
  if (SUCCEEDED(hr)) output->SetAllocator(*result);
  return hr;
}

HRESULT STDMETHODCALLTYPE K_CTransInPlaceInputPin::NotifyAllocator(IMemAllocator* given, BOOL isReadOnly) {
  if (given == nullptr) return E_POINTER;
  DShowAutoLock guard(lock);
  K_CTransInPlaceOutputPin* output = inPlace->InPlaceOutput();
  if (output == nullptr || !output->IsConnected()) return K_CTransformInputPin::NotifyAllocator(given, isReadOnly);
  IMemInputPin* downstream = output->ConnectedIMemInputPin();
  // The same allocator downstream unless the filter would write into read-only samples.
  HRESULT hr = E_FAIL;
  if (!(isReadOnly && inPlace->ModifiesData())) {
    hr = downstream->NotifyAllocator(given, isReadOnly);
    if (SUCCEEDED(hr)) output->SetAllocator(given);
  }
  if (FAILED(hr)) {
    // Otherwise another allocator of the same properties downstream, and copies.
    IMemAllocator* separate = nullptr;
    if (FAILED(downstream->GetAllocator(&separate)) || separate == given) {
      if (separate != nullptr) separate->Release();
      separate = nullptr;
      hr = CreateMemoryAllocator(&separate);
      if (FAILED(hr)) return hr;
    }
    ALLOCATOR_PROPERTIES wanted, actual;
    hr = given->GetProperties(&wanted);
    if (SUCCEEDED(hr)) hr = separate->SetProperties(&wanted, &actual);
    if (SUCCEEDED(hr) && (actual.cBuffers < wanted.cBuffers || actual.cbBuffer < wanted.cbBuffer)) hr = E_FAIL;
    if (SUCCEEDED(hr)) hr = downstream->NotifyAllocator(separate, FALSE);
    if (SUCCEEDED(hr)) output->SetAllocator(separate);
    separate->Release();
    if (FAILED(hr)) return hr;
  }
  return K_CTransformInputPin::NotifyAllocator(given, isReadOnly);
}

HRESULT STDMETHODCALLTYPE K_CTransInPlaceInputPin::GetAllocatorRequirements(ALLOCATOR_PROPERTIES* properties) {
  if (properties == nullptr) return E_POINTER;
  K_CTransInPlaceOutputPin* output = inPlace->InPlaceOutput();
  if (output == nullptr || !output->IsConnected()) return E_NOTIMPL;
  return output->ConnectedIMemInputPin()->GetAllocatorRequirements(properties);
}

HRESULT K_CTransInPlaceInputPin::CheckMediaType(const K_CMediaType* type) {
  HRESULT hr = inPlace->CheckInputType(type);
  if (hr != S_OK) return hr;
  K_CTransInPlaceOutputPin* output = inPlace->InPlaceOutput();
  if (output == nullptr || !output->IsConnected()) return S_OK;
  return output->GetConnected()->QueryAccept(type) == S_OK ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
}

// ---- output pin ----

K_CTransInPlaceOutputPin::K_CTransInPlaceOutputPin(const char* objectName, K_CTransInPlaceFilter* filter,
                                                   HRESULT* result, LPCWSTR pinName)
    : K_CTransformOutputPin(objectName, filter, result, pinName), inPlace(filter) {}

HRESULT STDMETHODCALLTYPE K_CTransInPlaceOutputPin::EnumMediaTypes(IEnumMediaTypes** types) {
  if (types == nullptr) return E_POINTER;
  *types = nullptr;
  K_CTransInPlaceInputPin* input = inPlace->InPlaceInput();
  if (input == nullptr || !input->IsConnected()) return VFW_E_NOT_CONNECTED;
  return input->GetConnected()->EnumMediaTypes(types);
}

HRESULT K_CTransInPlaceOutputPin::CheckMediaType(const K_CMediaType* type) {
  K_CTransInPlaceInputPin* input = inPlace->InPlaceInput();
  if (input == nullptr || !input->IsConnected()) return E_UNEXPECTED;
  HRESULT hr = inPlace->CheckInputType(type);
  if (hr != S_OK) return hr;
  if (type != nullptr && input->CurrentMediaType() == *type) return S_OK;
  // Another type only when upstream can deliver it (the input is then connected again).
  return input->GetConnected()->QueryAccept(type) == S_OK ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
}

HRESULT K_CTransInPlaceOutputPin::DecideAllocator(IMemInputPin* pin, IMemAllocator** result) {
  K_CTransInPlaceInputPin* input = inPlace->InPlaceInput();
  IMemAllocator* shared = input != nullptr ? input->PeekAllocator() : nullptr;
  if (shared != nullptr && !(input->IsReadOnly() && inPlace->ModifiesData()) &&
      SUCCEEDED(pin->NotifyAllocator(shared, input->IsReadOnly()))) {
    *result = shared;
    shared->AddRef();
    return S_OK;
  }
  return K_CTransformOutputPin::DecideAllocator(pin, result);
}

}  // namespace Korvel
