// The sample grabber filter, its input pin and the allocator over the user's buffer.
#include "sound/sample_grabber.h"

#include <cstdint>

namespace Korvel {

const CLSID CLSID_KorvelSampleGrabber = {0x2FA4F053, 0x6D60, 0x4CB0, {0x95, 0x03, 0x8E, 0x89, 0x23, 0x4F, 0x3F, 0x73}};
const IID IID_ISampleGrabberSetup = {0x6B652FFF, 0x11FE, 0x4FCE, {0x92, 0xAD, 0x02, 0x66, 0xB5, 0xD7, 0xC7, 0x8F}};

// ---- allocator ----

K_CGrabberAllocator::K_CGrabberAllocator(K_CGrabberInputPin* parent, HRESULT* result)
    : K_CMemAllocator("SampleGrabberAllocator", nullptr, result), parent(parent) {}

// The user's memory is not the allocator's to free.
K_CGrabberAllocator::~K_CGrabberAllocator() { buffer = nullptr; }

HRESULT STDMETHODCALLTYPE K_CGrabberAllocator::SetProperties(ALLOCATOR_PROPERTIES* request,
                                                              ALLOCATOR_PROPERTIES* actual) {
  HRESULT hr = K_CMemAllocator::SetProperties(request, actual);
  if (FAILED(hr)) return hr;
  const ALLOCATOR_PROPERTIES& mine = parent->deliveryProperties;
  if (request->cbAlign != mine.cbAlign) return VFW_E_BADALIGN;
  if (request->cbPrefix != mine.cbPrefix || request->cbBuffer > mine.cbBuffer || request->cBuffers > mine.cBuffers)
    return E_FAIL;
  DShowAutoLock guard(&allocatorLock);
  *actual = mine;
  count = mine.cBuffers;
  size = mine.cbBuffer;
  alignment = mine.cbAlign;
  prefix = mine.cbPrefix;
  return S_OK;
}

HRESULT K_CGrabberAllocator::Alloc() {
  DShowAutoLock guard(&allocatorLock);
  HRESULT hr = K_CBaseAllocator::Alloc();
  if (FAILED(hr)) return hr;
  if (hr == S_FALSE) return S_OK;
  while (K_CMediaSample* sample = freeList.RemoveHead()) delete sample;
  allocated = 0;
  int64_t alignedSize = (int64_t)size + prefix;
  if (alignment > 1) alignedSize = (alignedSize + alignment - 1) / alignment * alignment;
  // The samples must lie within the user's buffer as the delivery properties describe it.
  if (alignedSize * count > 0x7FFFFFFF) return E_OUTOFMEMORY;
  buffer = parent->deliveryBuffer;
  if (buffer == nullptr) return E_OUTOFMEMORY;
  for (LONG i = 0; i < count; i++) {
    K_CMediaSample* sample = new K_CMediaSample("Sample grabber memory media sample", this, &hr,
                                                buffer + i * alignedSize + prefix, size);
    if (sample == nullptr) return E_OUTOFMEMORY;
    freeList.Add(sample);
    allocated++;
  }
  changed = false;
  return S_OK;
}

// ---- input pin ----

K_CGrabberInputPin::K_CGrabberInputPin(K_CSampleGrabber* filter, HRESULT* result)
    : K_CTransInPlaceInputPin("SampleGrabberInputPin", filter, result, L"Input"), grabber(filter) {}

K_CGrabberInputPin::~K_CGrabberInputPin() {
  if (privateAllocator != nullptr) privateAllocator->Release();
}

BOOL K_CGrabberInputPin::TakeTypeChanged() {
  BOOL was = typeChanged;
  typeChanged = FALSE;
  return was;
}

HRESULT K_CGrabberInputPin::SetMediaType(const K_CMediaType* type) {
  typeChanged = TRUE;
  return K_CTransInPlaceInputPin::SetMediaType(type);
}

HRESULT K_CGrabberInputPin::GetMediaType(int position, K_CMediaType* type) {
  if (type == nullptr) return E_POINTER;
  if (position < 0) return E_INVALIDARG;
  if (position > 0) return VFW_S_NO_MORE_ITEMS;
  type->InitMediaType();
  type->majortype = grabber->AcceptType().majortype;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE K_CGrabberInputPin::EnumMediaTypes(IEnumMediaTypes** types) {
  if (types == nullptr) return E_POINTER;
  *types = nullptr;
  K_CTransInPlaceOutputPin* output = inPlace->InPlaceOutput();
  if (output != nullptr && output->IsConnected()) return output->GetConnected()->EnumMediaTypes(types);
  K_CEnumMediaTypes* enumerator = new K_CEnumMediaTypes(this, nullptr);
  if (enumerator == nullptr) return E_OUTOFMEMORY;
  return enumerator->NonDelegatingQueryInterface(IID_IEnumMediaTypes, (void**)types);
}

HRESULT STDMETHODCALLTYPE K_CGrabberInputPin::GetAllocator(IMemAllocator** result) {
  if (privateAllocator == nullptr) return K_CTransInPlaceInputPin::GetAllocator(result);
  if (result == nullptr) return E_POINTER;
  return privateAllocator->NonDelegatingQueryInterface(IID_IMemAllocator, (void**)result);
}

HRESULT STDMETHODCALLTYPE K_CGrabberInputPin::NotifyAllocator(IMemAllocator* given, BOOL isReadOnly) {
  if (privateAllocator != nullptr) {
    IMemAllocator* mine = nullptr;
    privateAllocator->NonDelegatingQueryInterface(IID_IMemAllocator, (void**)&mine);
    bool same = given == mine;
    if (mine != nullptr) mine->Release();
    if (!same) return E_FAIL;
    if (isReadOnly && inPlace->ModifiesData()) return E_FAIL;
  }
  return K_CTransInPlaceInputPin::NotifyAllocator(given, isReadOnly);
}

HRESULT STDMETHODCALLTYPE K_CGrabberInputPin::GetAllocatorRequirements(ALLOCATOR_PROPERTIES* properties) {
  if (properties == nullptr) return E_POINTER;
  if (privateAllocator == nullptr) return K_CTransInPlaceInputPin::GetAllocatorRequirements(properties);
  *properties = deliveryProperties;
  return S_OK;
}

HRESULT K_CGrabberInputPin::SetDeliveryBuffer(const ALLOCATOR_PROPERTIES& properties, BYTE* buffer) {
  if (properties.cBuffers != 1) return E_INVALIDARG;
  if (buffer == nullptr) return E_POINTER;
  deliveryProperties = properties;
  deliveryBuffer = buffer;
  if (privateAllocator != nullptr) privateAllocator->Release();
  privateAllocator = nullptr;
  HRESULT hr = S_OK;
  K_CGrabberAllocator* allocator = new K_CGrabberAllocator(this, &hr);
  if (allocator == nullptr) return E_OUTOFMEMORY;
  allocator->NonDelegatingAddRef();
  privateAllocator = allocator;
  return hr;
}

// ---- filter ----

K_CSampleGrabber::K_CSampleGrabber(IUnknown* outer, HRESULT* result)
    : K_CTransInPlaceFilter("SampleGrabber", outer, CLSID_KorvelSampleGrabber, result, false) {
  InitializeCriticalSection(&grabLock);
  input = new K_CGrabberInputPin(this, result);
  if (input == nullptr && result != nullptr) *result = E_OUTOFMEMORY;
}

K_CSampleGrabber::~K_CSampleGrabber() { DeleteCriticalSection(&grabLock); }

HRESULT STDMETHODCALLTYPE K_CSampleGrabber::NonDelegatingQueryInterface(REFIID riid, void** object) {
  if (object == nullptr) return E_POINTER;
  if (riid == IID_ISampleGrabberSetup) return DShowGetInterface(static_cast<ISampleGrabberSetup*>(this), object);
  return K_CTransInPlaceFilter::NonDelegatingQueryInterface(riid, object);
}

HRESULT STDMETHODCALLTYPE K_CSampleGrabber::SetAcceptType(const AM_MEDIA_TYPE* type) {
  DShowAutoLock guard(&grabLock);
  if (type == nullptr) {
    acceptType.InitMediaType();
    return S_OK;
  }
  return acceptType.Set(*type);
}

HRESULT STDMETHODCALLTYPE K_CSampleGrabber::QueryConnectedType(AM_MEDIA_TYPE* type) {
  if (input == nullptr || !input->IsConnected()) return VFW_E_NOT_CONNECTED;
  return input->ConnectionMediaType(type);
}

HRESULT STDMETHODCALLTYPE K_CSampleGrabber::SetGrabCallback(GRAB_CALLBACK newCallback, void* newUser) {
  DShowAutoLock guard(&grabLock);
  callback = newCallback;
  user = newUser;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE K_CSampleGrabber::UseDeliveryBuffer(ALLOCATOR_PROPERTIES properties, BYTE* buffer) {
  if (input == nullptr || output == nullptr) {
    // The output pin is made on first use.
    if (input == nullptr || FAILED(CreatePins())) return E_POINTER;
  }
  if (input->IsConnected() || output->IsConnected()) return E_INVALIDARG;
  return static_cast<K_CGrabberInputPin*>(input)->SetDeliveryBuffer(properties, buffer);
}

HRESULT K_CSampleGrabber::CheckInputType(const K_CMediaType* type) {
  if (type == nullptr) return E_POINTER;
  DShowAutoLock guard(&grabLock);
  if (acceptType.majortype == GUID_NULL) return S_OK;
  if (acceptType.majortype != type->majortype) return VFW_E_INVALID_MEDIA_TYPE;
  if (acceptType.subtype == GUID_NULL) return S_OK;
  if (acceptType.subtype != type->subtype) return VFW_E_INVALID_MEDIA_TYPE;
  if (acceptType.formattype == GUID_NULL) return S_OK;
  if (acceptType.formattype != type->formattype) return VFW_E_INVALID_MEDIA_TYPE;
  return S_OK;
}

HRESULT K_CSampleGrabber::Receive(IMediaSample* sample) {
  if (sample == nullptr) return E_POINTER;
  if (input->SampleProps()->dwStreamId != AM_STREAM_MEDIA)
    return output->IsConnected() ? output->Deliver(sample) : S_OK;
  IMediaSample* working = sample;
  if (UsingDifferentAllocators()) {
    working = Copy(sample);
    if (working == nullptr) return E_UNEXPECTED;
  }
  HRESULT hr = Transform(working);
  // S_OK delivers; any other success code only skips this sample.
  if (hr == S_OK) hr = output->Deliver(working);
  if (working != sample) working->Release();
  return hr;
}

HRESULT K_CSampleGrabber::Transform(IMediaSample* sample) {
  if (sample == nullptr) return E_POINTER;
  DShowAutoLock guard(&grabLock);
  if (callback == nullptr) return S_OK;
  REFERENCE_TIME start = 0, stop = 0;
  sample->GetTime(&start, &stop);
  start += input->CurrentStartTime();
  stop += input->CurrentStartTime();
  return callback(sample, &start, &stop, static_cast<K_CGrabberInputPin*>(input)->TakeTypeChanged(), user);
}

K_CSampleGrabber* CreateSampleGrabber(IUnknown* outer, HRESULT* result) {
  HRESULT hr = S_OK;
  K_CSampleGrabber* grabber = new K_CSampleGrabber(outer, &hr);
  if (grabber == nullptr) hr = E_OUTOFMEMORY;
  if (result != nullptr) *result = hr;
  return grabber;
}

}  // namespace Korvel
