// The base filter: state changes passed to the connected pins, the graph's clock and event
// sink, filter information and the pin enumerator.
#include <cwchar>
#include "dshow/dshow_filter.h"
#include "core/memory.h"

namespace Korvel {

namespace {
// A copy of a wide name in the tracked heap, or null.
WCHAR* CopyName(LPCWSTR text) {
  if (text == nullptr) return nullptr;
  size_t length = wcslen(text) + 1;
  WCHAR* copy = (WCHAR*)AllocTracked(length * sizeof(WCHAR), "dshow", __LINE__);
  if (copy != nullptr) memcpy(copy, text, length * sizeof(WCHAR));
  return copy;
}
}  // namespace

K_CBaseFilter::K_CBaseFilter(const char* objectName, IUnknown* outer, CRITICAL_SECTION* lock, REFCLSID clsid)
    : K_CUnknown(objectName, outer), clsid(clsid), lock(lock) {}

K_CBaseFilter::K_CBaseFilter(const char* objectName, IUnknown* outer, CRITICAL_SECTION* lock, REFCLSID clsid,
                             HRESULT* result)
    : K_CBaseFilter(objectName, outer, lock, clsid) {
  (void)result;  // nothing here can fail
}

K_CBaseFilter::~K_CBaseFilter() {
  FreeTracked(name);
  if (clock != nullptr) clock->Release();
}

HRESULT STDMETHODCALLTYPE K_CBaseFilter::NonDelegatingQueryInterface(REFIID riid, void** object) {
  if (object == nullptr) return E_POINTER;
  if (riid == IID_IBaseFilter) return DShowGetInterface(static_cast<IBaseFilter*>(this), object);
  if (riid == IID_IMediaFilter) return DShowGetInterface(static_cast<IMediaFilter*>(this), object);
  if (riid == IID_IPersist) return DShowGetInterface(static_cast<IPersist*>(this), object);
  if (riid == IID_IAMovieSetup) return DShowGetInterface(static_cast<IAMovieSetup*>(this), object);
  return K_CUnknown::NonDelegatingQueryInterface(riid, object);
}

HRESULT STDMETHODCALLTYPE K_CBaseFilter::GetClassID(CLSID* id) {
  if (id == nullptr) return E_POINTER;
  *id = clsid;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE K_CBaseFilter::Stop() {
  DShowAutoLock guard(lock);
  HRESULT result = S_OK;
  // Connected pins decommit their allocators; the first failure is reported.
  if (state != State_Stopped) {
    for (int i = 0, count = GetPinCount(); i < count; i++) {
      K_CBasePin* pin = GetPin(i);
      if (pin == nullptr || !pin->IsConnected()) continue;
      HRESULT hr = pin->Inactive();
      if (FAILED(hr) && SUCCEEDED(result)) result = hr;
    }
  }
  state = State_Stopped;
  return result;
}

HRESULT STDMETHODCALLTYPE K_CBaseFilter::Pause() {
  DShowAutoLock guard(lock);
  if (state == State_Stopped) {
    for (int i = 0, count = GetPinCount(); i < count; i++) {
      K_CBasePin* pin = GetPin(i);
      if (pin == nullptr || !pin->IsConnected()) continue;
      HRESULT hr = pin->Active();
      if (FAILED(hr)) return hr;
    }
  }
  state = State_Paused;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE K_CBaseFilter::Run(REFERENCE_TIME start) {
  DShowAutoLock guard(lock);
  startTime = start;
  if (state == State_Stopped) {
    HRESULT hr = Pause();
    if (FAILED(hr)) return hr;
  }
  if (state != State_Running) {
    for (int i = 0, count = GetPinCount(); i < count; i++) {
      K_CBasePin* pin = GetPin(i);
      if (pin == nullptr || !pin->IsConnected()) continue;
      HRESULT hr = pin->Run(start);
      if (FAILED(hr)) return hr;
    }
  }
  state = State_Running;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE K_CBaseFilter::GetState(DWORD milliseconds, FILTER_STATE* current) {
  (void)milliseconds;
  if (current == nullptr) return E_POINTER;
  *current = state;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE K_CBaseFilter::SetSyncSource(IReferenceClock* newClock) {
  DShowAutoLock guard(lock);
  if (newClock != nullptr) newClock->AddRef();
  if (clock != nullptr) clock->Release();
  clock = newClock;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE K_CBaseFilter::GetSyncSource(IReferenceClock** current) {
  if (current == nullptr) return E_POINTER;
  DShowAutoLock guard(lock);
  *current = clock;
  if (clock != nullptr) clock->AddRef();
  return S_OK;
}

HRESULT STDMETHODCALLTYPE K_CBaseFilter::EnumPins(IEnumPins** pins) {
  if (pins == nullptr) return E_POINTER;
  K_CEnumPins* enumerator = new K_CEnumPins(this, nullptr);
  if (enumerator == nullptr) {
    *pins = nullptr;
    return E_OUTOFMEMORY;
  }
  return DShowGetInterface(static_cast<IEnumPins*>(enumerator), (void**)pins);
}

HRESULT STDMETHODCALLTYPE K_CBaseFilter::FindPin(LPCWSTR id, IPin** pin) {
  if (pin == nullptr) return E_POINTER;
  *pin = nullptr;
  if (id == nullptr) return E_POINTER;
  DShowAutoLock guard(lock);
  for (int i = 0, count = GetPinCount(); i < count; i++) {
    K_CBasePin* candidate = GetPin(i);
    if (candidate != nullptr && wcscmp(candidate->Name(), id) == 0)
      return DShowGetInterface(static_cast<IPin*>(candidate), (void**)pin);
  }
  return VFW_E_NOT_FOUND;
}

HRESULT STDMETHODCALLTYPE K_CBaseFilter::QueryFilterInfo(FILTER_INFO* info) {
  if (info == nullptr) return E_POINTER;
  info->achName[0] = 0;
  if (name != nullptr) {
    size_t capacity = sizeof(info->achName) / sizeof(info->achName[0]);
    wcsncpy(info->achName, name, capacity - 1);
    info->achName[capacity - 1] = 0;
  }
  info->pGraph = graph;
  if (graph != nullptr) graph->AddRef();
  return S_OK;
}

HRESULT STDMETHODCALLTYPE K_CBaseFilter::JoinFilterGraph(IFilterGraph* newGraph, LPCWSTR newName) {
  DShowAutoLock guard(lock);
  // The graph holds the filter, so the filter holds neither the graph nor its event sink.
  graph = newGraph;
  sink = nullptr;
  if (graph != nullptr) {
    if (SUCCEEDED(graph->QueryInterface(IID_IMediaEventSink, (void**)&sink))) sink->Release();
    else sink = nullptr;
  }
  FreeTracked(name);
  name = CopyName(newName);
  if (newName != nullptr && name == nullptr) return E_OUTOFMEMORY;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE K_CBaseFilter::QueryVendorInfo(LPWSTR* info) {
  (void)info;
  return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE K_CBaseFilter::Register() { return S_FALSE; }
HRESULT STDMETHODCALLTYPE K_CBaseFilter::Unregister() { return S_FALSE; }

HRESULT K_CBaseFilter::NotifyEvent(long code, LONG_PTR param1, LONG_PTR param2) {
  IMediaEventSink* eventSink = sink;
  if (eventSink == nullptr) return E_NOTIMPL;
  if (code == EC_COMPLETE) param2 = (LONG_PTR)static_cast<IBaseFilter*>(this);
  return eventSink->Notify(code, param1, param2);
}

HRESULT K_CBaseFilter::ReconnectPin(IPin* pin, const AM_MEDIA_TYPE* type) {
  if (graph == nullptr) return E_NOINTERFACE;
  IFilterGraph2* graph2 = nullptr;
  if (SUCCEEDED(graph->QueryInterface(IID_IFilterGraph2, (void**)&graph2))) {
    HRESULT hr = graph2->ReconnectEx(pin, type);
    graph2->Release();
    return hr;
  }
  return graph->Reconnect(pin);
}

HRESULT K_CBaseFilter::StreamTime(REFERENCE_TIME* time) {
  if (clock == nullptr) return VFW_E_NO_CLOCK;
  HRESULT hr = clock->GetTime(time);
  if (FAILED(hr)) return hr;
  *time -= startTime;
  return S_OK;
}

bool K_CBaseFilter::IsActive() {
  DShowAutoLock guard(lock);
  return state == State_Running || state == State_Paused;
}

bool K_CBaseFilter::IsStopped() { return state == State_Stopped; }

// ---- pin enumerator ----

K_CEnumPins::K_CEnumPins(K_CBaseFilter* filter, const K_CEnumPins* copyOf)
    : K_CUnknown("Pin enumerator", nullptr), filter(filter) {
  filter->AddRef();
  version = copyOf != nullptr ? copyOf->version : filter->GetPinVersion();
  if (copyOf != nullptr) position = copyOf->position;
}

K_CEnumPins::~K_CEnumPins() { filter->Release(); }

HRESULT STDMETHODCALLTYPE K_CEnumPins::NonDelegatingQueryInterface(REFIID riid, void** object) {
  if (object == nullptr) return E_POINTER;
  if (riid == IID_IEnumPins) return DShowGetInterface(static_cast<IEnumPins*>(this), object);
  return K_CUnknown::NonDelegatingQueryInterface(riid, object);
}

HRESULT STDMETHODCALLTYPE K_CEnumPins::Next(ULONG count, IPin** pins, ULONG* fetched) {
  if (pins == nullptr) return E_POINTER;
  if (fetched != nullptr) *fetched = 0;
  else if (count > 1) return E_INVALIDARG;
  if (version != filter->GetPinVersion()) return VFW_E_ENUM_OUT_OF_SYNC;
  ULONG given = 0;
  while (given < count && position < filter->GetPinCount()) {
    K_CBasePin* pin = filter->GetPin(position++);
    if (pin == nullptr) break;
    pins[given++] = static_cast<IPin*>(pin);
    pin->AddRef();
  }
  if (fetched != nullptr) *fetched = given;
  return given == count ? S_OK : S_FALSE;
}

HRESULT STDMETHODCALLTYPE K_CEnumPins::Skip(ULONG count) {
  if (version != filter->GetPinVersion()) return VFW_E_ENUM_OUT_OF_SYNC;
  int left = filter->GetPinCount() - position;
  if ((ULONG)(left < 0 ? 0 : left) < count) {
    position = filter->GetPinCount();
    return S_FALSE;
  }
  position += (int)count;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE K_CEnumPins::Reset() {
  version = filter->GetPinVersion();
  position = 0;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE K_CEnumPins::Clone(IEnumPins** copy) {
  if (copy == nullptr) return E_POINTER;
  *copy = nullptr;
  if (version != filter->GetPinVersion()) return VFW_E_ENUM_OUT_OF_SYNC;
  K_CEnumPins* clone = new K_CEnumPins(filter, this);
  if (clone == nullptr) return E_OUTOFMEMORY;
  return DShowGetInterface(static_cast<IEnumPins*>(clone), (void**)copy);
}

}  // namespace Korvel
