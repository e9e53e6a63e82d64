// The base pin: connection with media-type negotiation, pin information and the media-type
// enumerator.
#include <cwchar>
#include "dshow/dshow_filter.h"
#include "core/memory.h"

namespace Korvel {

namespace {
// Refusals that only mean "not this type"; a connection attempt goes on to the next type.
bool IsPlainRefusal(HRESULT hr) {
  return SUCCEEDED(hr) || hr == E_FAIL || hr == E_INVALIDARG || hr == VFW_E_TYPE_NOT_ACCEPTED ||
         hr == VFW_E_NO_ACCEPTABLE_TYPES;
}
}  // namespace

K_CBasePin::K_CBasePin(const char* objectName, K_CBaseFilter* filter, CRITICAL_SECTION* lock, HRESULT* result,
                       LPCWSTR name, PIN_DIRECTION direction)
    : K_CUnknown(objectName, nullptr), direction(direction), lock(lock), filter(filter) {
  if (name != nullptr) {
    size_t length = wcslen(name) + 1;
    pinName = (WCHAR*)AllocTracked(length * sizeof(WCHAR), "dshow", __LINE__);
    if (pinName != nullptr) memcpy(pinName, name, length * sizeof(WCHAR));
    else if (result != nullptr) *result = E_OUTOFMEMORY;
  }
}

K_CBasePin::~K_CBasePin() {
  FreeTracked(pinName);
  if (connected != nullptr) connected->Release();
}

HRESULT STDMETHODCALLTYPE K_CBasePin::NonDelegatingQueryInterface(REFIID riid, void** object) {
  if (object == nullptr) return E_POINTER;
  if (riid == IID_IPin) return DShowGetInterface(static_cast<IPin*>(this), object);
  if (riid == IID_IQualityControl) return DShowGetInterface(static_cast<IQualityControl*>(this), object);
  return K_CUnknown::NonDelegatingQueryInterface(riid, object);
}

// A pin lives as long as its filter: its references are the filter's.
ULONG STDMETHODCALLTYPE K_CBasePin::NonDelegatingAddRef() { return filter->AddRef(); }
ULONG STDMETHODCALLTYPE K_CBasePin::NonDelegatingRelease() { return filter->Release(); }

HRESULT STDMETHODCALLTYPE K_CBasePin::Connect(IPin* receivePin, const AM_MEDIA_TYPE* type) {
  if (receivePin == nullptr) return E_POINTER;
  DShowAutoLock guard(lock);
  if (connected != nullptr) return VFW_E_ALREADY_CONNECTED;
  if (!IsStopped() && !canReconnectWhenActive) return VFW_E_NOT_STOPPED;
  return AgreeMediaType(receivePin, static_cast<const K_CMediaType*>(type));
}

HRESULT K_CBasePin::AgreeMediaType(IPin* receivePin, const K_CMediaType* type) {
  // A complete type is tried alone; otherwise the receiver's types and then ours (or ours
  // first), each matched against the partial type when one is given.
  if (type != nullptr && !type->IsPartiallySpecified()) return AttemptConnection(receivePin, type);
  HRESULT failure = VFW_E_NO_ACCEPTABLE_TYPES;
  for (int pass = 0; pass < 2; pass++) {
    bool receiverTypes = (pass == 0) != tryMyTypesFirst;
    IEnumMediaTypes* types = nullptr;
    HRESULT hr = receiverTypes ? receivePin->EnumMediaTypes(&types) : EnumMediaTypes(&types);
    if (FAILED(hr) || types == nullptr) continue;
    hr = TryMediaTypes(receivePin, type, types);
    types->Release();
    if (SUCCEEDED(hr)) return S_OK;
    if (!IsPlainRefusal(hr)) failure = hr;
  }
  return failure;
}

HRESULT K_CBasePin::TryMediaTypes(IPin* receivePin, const K_CMediaType* partial, IEnumMediaTypes* types) {
  HRESULT failure = VFW_E_NO_ACCEPTABLE_TYPES;
  if (FAILED(types->Reset())) return failure;
  for (;;) {
    AM_MEDIA_TYPE* offered = nullptr;
    ULONG fetched = 0;
    if (types->Next(1, &offered, &fetched) != S_OK || fetched != 1 || offered == nullptr) break;
    const K_CMediaType* candidate = static_cast<const K_CMediaType*>(offered);
    HRESULT hr = VFW_E_NO_ACCEPTABLE_TYPES;
    if (partial == nullptr || candidate->MatchesPartial(partial)) hr = AttemptConnection(receivePin, candidate);
    DeleteMediaType(offered);
    if (SUCCEEDED(hr)) return S_OK;
    if (!IsPlainRefusal(hr) && failure == VFW_E_NO_ACCEPTABLE_TYPES) failure = hr;
  }
  return failure;
}

HRESULT K_CBasePin::AttemptConnection(IPin* receivePin, const K_CMediaType* type) {
  HRESULT hr = CheckConnect(receivePin);
  if (FAILED(hr)) {
    BreakConnect();
    return hr;
  }
  hr = CheckMediaType(type);
  if (hr == S_OK) {
    connected = receivePin;
    connected->AddRef();
    hr = SetMediaType(type);
    if (SUCCEEDED(hr)) {
      hr = receivePin->ReceiveConnection(static_cast<IPin*>(this), type);
      if (SUCCEEDED(hr)) {
        hr = CompleteConnect(receivePin);
        if (SUCCEEDED(hr)) return S_OK;
        receivePin->Disconnect();
      }
    }
  } else if (IsPlainRefusal(hr)) {
    hr = VFW_E_TYPE_NOT_ACCEPTED;
  }
  BreakConnect();
  if (connected != nullptr) {
    connected->Release();
    connected = nullptr;
  }
  return hr;
}

HRESULT STDMETHODCALLTYPE K_CBasePin::ReceiveConnection(IPin* connector, const AM_MEDIA_TYPE* type) {
  if (connector == nullptr || type == nullptr) return E_POINTER;
  DShowAutoLock guard(lock);
  if (connected != nullptr) return VFW_E_ALREADY_CONNECTED;
  if (!IsStopped() && !canReconnectWhenActive) return VFW_E_NOT_STOPPED;
  HRESULT hr = CheckConnect(connector);
  if (FAILED(hr)) {
    BreakConnect();
    return hr;
  }
  const K_CMediaType* offered = static_cast<const K_CMediaType*>(type);
  hr = CheckMediaType(offered);
  if (hr != S_OK) {
    BreakConnect();
    return IsPlainRefusal(hr) ? VFW_E_TYPE_NOT_ACCEPTED : hr;
  }
  connected = connector;
  connected->AddRef();
  hr = SetMediaType(offered);
  if (SUCCEEDED(hr)) {
    hr = CompleteConnect(connector);
    if (SUCCEEDED(hr)) return S_OK;
  }
  connected->Release();
  connected = nullptr;
  BreakConnect();
  return hr;
}

HRESULT STDMETHODCALLTYPE K_CBasePin::Disconnect() {
  DShowAutoLock guard(lock);
  if (!IsStopped()) return VFW_E_NOT_STOPPED;
  return DisconnectInternal();
}

HRESULT K_CBasePin::DisconnectInternal() {
  if (connected == nullptr) return S_FALSE;
  HRESULT hr = BreakConnect();
  if (FAILED(hr)) return hr;
  connected->Release();
  connected = nullptr;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE K_CBasePin::ConnectedTo(IPin** pin) {
  if (pin == nullptr) return E_POINTER;
  IPin* current = connected;
  *pin = current;
  if (current == nullptr) return VFW_E_NOT_CONNECTED;
  current->AddRef();
  return S_OK;
}

HRESULT STDMETHODCALLTYPE K_CBasePin::ConnectionMediaType(AM_MEDIA_TYPE* type) {
  if (type == nullptr) return E_POINTER;
  DShowAutoLock guard(lock);
  if (connected != nullptr) return CopyMediaType(type, &mediaType);
  memset(type, 0, sizeof(*type));
  type->bFixedSizeSamples = TRUE;
  type->lSampleSize = 1;
  return VFW_E_NOT_CONNECTED;
}

HRESULT STDMETHODCALLTYPE K_CBasePin::QueryPinInfo(PIN_INFO* info) {
  if (info == nullptr) return E_POINTER;
  info->pFilter = static_cast<IBaseFilter*>(filter);
  if (filter != nullptr) filter->AddRef();
  info->dir = direction;
  info->achName[0] = 0;
  if (pinName != nullptr) {
    size_t capacity = sizeof(info->achName) / sizeof(info->achName[0]);
    wcsncpy(info->achName, pinName, capacity - 1);
    info->achName[capacity - 1] = 0;
  }
  return S_OK;
}

HRESULT STDMETHODCALLTYPE K_CBasePin::QueryDirection(PIN_DIRECTION* result) {
  if (result == nullptr) return E_POINTER;
  *result = direction;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE K_CBasePin::QueryId(LPWSTR* id) {
  if (id == nullptr) return E_POINTER;
  LPCWSTR source = pinName != nullptr ? pinName : L"";
  size_t bytes = (wcslen(source) + 1) * sizeof(WCHAR);
  *id = (LPWSTR)DShowTaskAlloc(bytes);
  if (*id == nullptr) return E_OUTOFMEMORY;
  memcpy(*id, source, bytes);
  return S_OK;
}

HRESULT STDMETHODCALLTYPE K_CBasePin::QueryAccept(const AM_MEDIA_TYPE* type) {
  if (type == nullptr) return E_POINTER;
  return CheckMediaType(static_cast<const K_CMediaType*>(type)) == S_OK ? S_OK : S_FALSE;
}

HRESULT STDMETHODCALLTYPE K_CBasePin::EnumMediaTypes(IEnumMediaTypes** types) {
  if (types == nullptr) return E_POINTER;
  K_CEnumMediaTypes* enumerator = new K_CEnumMediaTypes(this, nullptr);
  if (enumerator == nullptr) {
    *types = nullptr;
    return E_OUTOFMEMORY;
  }
  return DShowGetInterface(static_cast<IEnumMediaTypes*>(enumerator), (void**)types);
}

HRESULT STDMETHODCALLTYPE K_CBasePin::QueryInternalConnections(IPin** pins, ULONG* count) {
  (void)pins;
  (void)count;
  return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE K_CBasePin::EndOfStream() { return S_OK; }

HRESULT STDMETHODCALLTYPE K_CBasePin::NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate) {
  segmentStart = start;
  segmentStop = stop;
  segmentRate = rate;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE K_CBasePin::Notify(IBaseFilter* sender, Quality quality) {
  (void)sender;
  (void)quality;
  return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE K_CBasePin::SetSink(IQualityControl* newSink) {
  DShowAutoLock guard(lock);
  qualitySink = newSink;
  return S_OK;
}

HRESULT K_CBasePin::SetMediaType(const K_CMediaType* type) { return mediaType.Set(*type); }

HRESULT K_CBasePin::GetMediaType(int position, K_CMediaType* type) {
  (void)position;
  (void)type;
  return E_UNEXPECTED;
}

HRESULT K_CBasePin::CheckConnect(IPin* pin) {
  PIN_DIRECTION other;
  HRESULT hr = pin->QueryDirection(&other);
  if (FAILED(hr)) return hr;
  return other == direction ? VFW_E_INVALID_DIRECTION : S_OK;
}

HRESULT K_CBasePin::BreakConnect() { return S_OK; }
HRESULT K_CBasePin::CompleteConnect(IPin* receivePin) {
  (void)receivePin;
  return S_OK;
}
HRESULT K_CBasePin::Active() { return S_OK; }
HRESULT K_CBasePin::Inactive() { return S_OK; }
HRESULT K_CBasePin::Run(REFERENCE_TIME start) {
  (void)start;
  return S_OK;
}

// ---- media-type enumerator ----

K_CEnumMediaTypes::K_CEnumMediaTypes(K_CBasePin* pin, const K_CEnumMediaTypes* copyOf)
    : K_CUnknown("Media type enumerator", nullptr), pin(pin) {
  pin->AddRef();
  version = copyOf != nullptr ? copyOf->version : pin->GetMediaTypeVersion();
  if (copyOf != nullptr) position = copyOf->position;
}

K_CEnumMediaTypes::~K_CEnumMediaTypes() { pin->Release(); }

HRESULT STDMETHODCALLTYPE K_CEnumMediaTypes::NonDelegatingQueryInterface(REFIID riid, void** object) {
  if (object == nullptr) return E_POINTER;
  if (riid == IID_IEnumMediaTypes) return DShowGetInterface(static_cast<IEnumMediaTypes*>(this), object);
  return K_CUnknown::NonDelegatingQueryInterface(riid, object);
}

HRESULT STDMETHODCALLTYPE K_CEnumMediaTypes::Next(ULONG count, AM_MEDIA_TYPE** types, ULONG* fetched) {
  if (types == nullptr) return E_POINTER;
  if (fetched != nullptr) *fetched = 0;
  else if (count > 1) return E_INVALIDARG;
  if (version != pin->GetMediaTypeVersion()) return VFW_E_ENUM_OUT_OF_SYNC;
  ULONG given = 0;
  HRESULT result = S_OK;
  while (given < count) {
    K_CMediaType type;
    if (pin->GetMediaType(position, &type) != S_OK) break;
    AM_MEDIA_TYPE* copy = CreateMediaType(&type);
    if (copy == nullptr) {
      result = E_OUTOFMEMORY;
      break;
    }
    types[given++] = copy;
    position++;
  }
  if (fetched != nullptr) *fetched = given;
  if (FAILED(result) && given == 0) return result;
  return given == count ? S_OK : S_FALSE;
}

HRESULT STDMETHODCALLTYPE K_CEnumMediaTypes::Skip(ULONG count) {
  if (version != pin->GetMediaTypeVersion()) return VFW_E_ENUM_OUT_OF_SYNC;
  while (count > 0) {
    K_CMediaType type;
    if (pin->GetMediaType(position, &type) != S_OK) return S_FALSE;
    position++;
    count--;
  }
  return S_OK;
}

HRESULT STDMETHODCALLTYPE K_CEnumMediaTypes::Reset() {
  version = pin->GetMediaTypeVersion();
  position = 0;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE K_CEnumMediaTypes::Clone(IEnumMediaTypes** copy) {
  if (copy == nullptr) return E_POINTER;
  *copy = nullptr;
  if (version != pin->GetMediaTypeVersion()) return VFW_E_ENUM_OUT_OF_SYNC;
  K_CEnumMediaTypes* clone = new K_CEnumMediaTypes(pin, this);
  if (clone == nullptr) return E_OUTOFMEMORY;
  return DShowGetInterface(static_cast<IEnumMediaTypes*>(clone), (void**)copy);
}

}  // namespace Korvel
