// The push-model output pin: allocator agreement with the downstream IMemInputPin, commit
// while active, and delivery of samples and stream events.
#include "dshow/dshow_filter.h"

namespace Korvel {

K_CBaseOutputPin::K_CBaseOutputPin(const char* objectName, K_CBaseFilter* filter, CRITICAL_SECTION* lock,
                                   HRESULT* result, LPCWSTR pinName)
    : K_CBasePin(objectName, filter, lock, result, pinName, PINDIR_OUTPUT) {}

K_CBaseOutputPin::~K_CBaseOutputPin() {
  if (allocator != nullptr) allocator->Release();
  if (inputPin != nullptr) inputPin->Release();
}

HRESULT K_CBaseOutputPin::CheckConnect(IPin* pin) {
  HRESULT hr = K_CBasePin::CheckConnect(pin);
  if (FAILED(hr)) return hr;
  if (inputPin != nullptr) {
    inputPin->Release();
    inputPin = nullptr;
  }
  if (FAILED(pin->QueryInterface(IID_IMemInputPin, (void**)&inputPin))) {
    inputPin = nullptr;
    return VFW_E_NO_TRANSPORT;
  }
  return S_OK;
}

HRESULT K_CBaseOutputPin::CompleteConnect(IPin* receivePin) {
  (void)receivePin;
  return DecideAllocator(inputPin, &allocator);
}

HRESULT K_CBaseOutputPin::BreakConnect() {
  if (allocator != nullptr) {
    allocator->Decommit();
    allocator->Release();
    allocator = nullptr;
  }
  if (inputPin != nullptr) {
    inputPin->Release();
    inputPin = nullptr;
  }
  return S_OK;
}

HRESULT K_CBaseOutputPin::DecideAllocator(IMemInputPin* pin, IMemAllocator** result) {
  *result = nullptr;
  ALLOCATOR_PROPERTIES request = {};
  pin->GetAllocatorRequirements(&request);  // a pin without requirements leaves them zero
  if (request.cbAlign == 0) request.cbAlign = 1;
  HRESULT hr = pin->GetAllocator(result);
  if (SUCCEEDED(hr)) {
    hr = DecideBufferSize(*result, &request);
    if (SUCCEEDED(hr)) {
      hr = pin->NotifyAllocator(*result, FALSE);
      if (SUCCEEDED(hr)) return S_OK;
    }
  }
  if (*result != nullptr) {
    (*result)->Release();
    *result = nullptr;
  }
  hr = InitAllocator(result);
  if (SUCCEEDED(hr)) {
    hr = DecideBufferSize(*result, &request);
    if (SUCCEEDED(hr)) {
      hr = pin->NotifyAllocator(*result, FALSE);
      if (SUCCEEDED(hr)) return S_OK;
    }
  }
  if (*result != nullptr) {
    (*result)->Release();
    *result = nullptr;
  }
  return hr;
}

HRESULT K_CBaseOutputPin::InitAllocator(IMemAllocator** result) { return CreateMemoryAllocator(result); }

void K_CBaseOutputPin::SetAllocator(IMemAllocator* newAllocator) {
  if (newAllocator != nullptr) newAllocator->AddRef();
  if (allocator != nullptr) allocator->Release();
  allocator = newAllocator;
}

HRESULT K_CBaseOutputPin::Active() {
  if (allocator == nullptr) return VFW_E_NO_ALLOCATOR;
  return allocator->Commit();
}

HRESULT K_CBaseOutputPin::Inactive() {
  if (allocator == nullptr) return VFW_E_NO_ALLOCATOR;
  return allocator->Decommit();
}

HRESULT STDMETHODCALLTYPE K_CBaseOutputPin::EndOfStream() { return E_UNEXPECTED; }
HRESULT STDMETHODCALLTYPE K_CBaseOutputPin::BeginFlush() { return E_UNEXPECTED; }
HRESULT STDMETHODCALLTYPE K_CBaseOutputPin::EndFlush() { return E_UNEXPECTED; }

HRESULT K_CBaseOutputPin::GetDeliveryBuffer(IMediaSample** sample, REFERENCE_TIME* start, REFERENCE_TIME* stop,
                                            DWORD flags) {
  if (allocator == nullptr) return E_NOINTERFACE;
  return allocator->GetBuffer(sample, start, stop, flags);
}

HRESULT K_CBaseOutputPin::Deliver(IMediaSample* sample) {
  if (inputPin == nullptr) return VFW_E_NOT_CONNECTED;
  return inputPin->Receive(sample);
}

HRESULT K_CBaseOutputPin::DeliverEndOfStream() {
  if (connected == nullptr) return VFW_E_NOT_CONNECTED;
  return connected->EndOfStream();
}

HRESULT K_CBaseOutputPin::DeliverBeginFlush() {
  if (connected == nullptr) return VFW_E_NOT_CONNECTED;
  return connected->BeginFlush();
}

HRESULT K_CBaseOutputPin::DeliverEndFlush() {
  if (connected == nullptr) return VFW_E_NOT_CONNECTED;
  return connected->EndFlush();
}

HRESULT K_CBaseOutputPin::DeliverNewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate) {
  if (connected == nullptr) return VFW_E_NOT_CONNECTED;
  return connected->NewSegment(start, stop, rate);
}

}  // namespace Korvel
