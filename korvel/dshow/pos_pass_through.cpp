// Seeking passed through to the upstream pin: IMediaSeeking as is, IMediaPosition as the
// upstream pin's own or in seconds over its IMediaSeeking, IDispatch through the system's
// type library.
#include "dshow/dshow_seeking.h"
#include "core/winapi.h"

namespace Korvel {

namespace {
// Automation booleans of IMediaPosition.
const LONG AUTOMATION_TRUE = -1;
const LONG AUTOMATION_FALSE = 0;
const double UNITS_PER_SECOND = 10000000.0;
LONGLONG ToUnits(REFTIME seconds) { return (LONGLONG)(seconds * UNITS_PER_SECOND); }
REFTIME ToSeconds(LONGLONG units) { return (REFTIME)units / UNITS_PER_SECOND; }
}  // namespace

K_CPosPassThru::K_CPosPassThru(const char* objectName, IUnknown* outer, HRESULT* result, IPin* pin)
    : K_CUnknown(objectName, outer), pin(pin) {
  if (pin == nullptr && result != nullptr) *result = E_POINTER;
  InitializeCriticalSection(&positionLock);
}

K_CPosPassThru::~K_CPosPassThru() {
  if (typeInfo != nullptr) typeInfo->Release();
  DeleteCriticalSection(&positionLock);
}

HRESULT STDMETHODCALLTYPE K_CPosPassThru::NonDelegatingQueryInterface(REFIID riid, void** object) {
  if (object == nullptr) return E_POINTER;
  if (riid == IID_IMediaSeeking) return DShowGetInterface(static_cast<IMediaSeeking*>(this), object);
  if (riid == IID_IMediaPosition || riid == IID_IDispatch)
    return DShowGetInterface(static_cast<IMediaPosition*>(this), object);
  return K_CUnknown::NonDelegatingQueryInterface(riid, object);
}

HRESULT K_CPosPassThru::GetPeerSeeking(IMediaSeeking** seeking) {
  *seeking = nullptr;
  IPin* upstream = nullptr;
  if (pin == nullptr || FAILED(pin->ConnectedTo(&upstream))) return E_NOTIMPL;
  HRESULT hr = upstream->QueryInterface(IID_IMediaSeeking, (void**)seeking);
  upstream->Release();
  if (FAILED(hr)) {
    *seeking = nullptr;
    return E_NOTIMPL;
  }
  return S_OK;
}

HRESULT K_CPosPassThru::GetPeerPosition(IMediaPosition** position) {
  *position = nullptr;
  IPin* upstream = nullptr;
  if (pin == nullptr || FAILED(pin->ConnectedTo(&upstream))) return E_NOTIMPL;
  HRESULT hr = upstream->QueryInterface(IID_IMediaPosition, (void**)position);
  upstream->Release();
  if (FAILED(hr)) {
    *position = nullptr;
    return E_NOTIMPL;
  }
  return S_OK;
}

HRESULT K_CPosPassThru::GetMediaTime(LONGLONG* start, LONGLONG* end) {
  (void)start;
  (void)end;
  return E_FAIL;
}

// One IMediaSeeking call on the upstream pin.
#define K_PASS_SEEKING(call)                        \
  IMediaSeeking* seeking = nullptr;                 \
  HRESULT hr = GetPeerSeeking(&seeking);            \
  if (FAILED(hr)) return hr;                        \
  hr = seeking->call;                               \
  seeking->Release();                               \
  return hr

HRESULT STDMETHODCALLTYPE K_CPosPassThru::GetCapabilities(DWORD* capabilities) { K_PASS_SEEKING(GetCapabilities(capabilities)); }
HRESULT STDMETHODCALLTYPE K_CPosPassThru::CheckCapabilities(DWORD* capabilities) { K_PASS_SEEKING(CheckCapabilities(capabilities)); }
HRESULT STDMETHODCALLTYPE K_CPosPassThru::IsFormatSupported(const GUID* format) { K_PASS_SEEKING(IsFormatSupported(format)); }
HRESULT STDMETHODCALLTYPE K_CPosPassThru::QueryPreferredFormat(GUID* format) { K_PASS_SEEKING(QueryPreferredFormat(format)); }
HRESULT STDMETHODCALLTYPE K_CPosPassThru::GetTimeFormat(GUID* format) { K_PASS_SEEKING(GetTimeFormat(format)); }
HRESULT STDMETHODCALLTYPE K_CPosPassThru::IsUsingTimeFormat(const GUID* format) { K_PASS_SEEKING(IsUsingTimeFormat(format)); }
HRESULT STDMETHODCALLTYPE K_CPosPassThru::SetTimeFormat(const GUID* format) { K_PASS_SEEKING(SetTimeFormat(format)); }
HRESULT STDMETHODCALLTYPE K_CPosPassThru::GetDuration(LONGLONG* duration) { K_PASS_SEEKING(GetDuration(duration)); }
HRESULT STDMETHODCALLTYPE K_CPosPassThru::GetStopPosition(LONGLONG* stop) { K_PASS_SEEKING(GetStopPosition(stop)); }
HRESULT STDMETHODCALLTYPE K_CPosPassThru::ConvertTimeFormat(LONGLONG* target, const GUID* targetFormat,
                                                            LONGLONG source, const GUID* sourceFormat) {
  K_PASS_SEEKING(ConvertTimeFormat(target, targetFormat, source, sourceFormat));
}
HRESULT STDMETHODCALLTYPE K_CPosPassThru::SetPositions(LONGLONG* current, DWORD currentFlags, LONGLONG* stop,
                                                       DWORD stopFlags) {
  K_PASS_SEEKING(SetPositions(current, currentFlags, stop, stopFlags));
}
HRESULT STDMETHODCALLTYPE K_CPosPassThru::GetPositions(LONGLONG* current, LONGLONG* stop) {
  K_PASS_SEEKING(GetPositions(current, stop));
}
HRESULT STDMETHODCALLTYPE K_CPosPassThru::GetAvailable(LONGLONG* earliest, LONGLONG* latest) {
  K_PASS_SEEKING(GetAvailable(earliest, latest));
}
HRESULT STDMETHODCALLTYPE K_CPosPassThru::SetRate(double rate) { K_PASS_SEEKING(SetRate(rate)); }
HRESULT STDMETHODCALLTYPE K_CPosPassThru::GetRate(double* rate) { K_PASS_SEEKING(GetRate(rate)); }
HRESULT STDMETHODCALLTYPE K_CPosPassThru::GetPreroll(LONGLONG* preroll) { K_PASS_SEEKING(GetPreroll(preroll)); }

HRESULT STDMETHODCALLTYPE K_CPosPassThru::GetCurrentPosition(LONGLONG* current) {
  if (current == nullptr) return E_POINTER;
  // What is being shown, where known and positions are in media time; else upstream's.
  LONGLONG end;
  IMediaSeeking* seeking = nullptr;
  HRESULT hr = GetPeerSeeking(&seeking);
  bool mediaTime = FAILED(hr) || seeking->IsUsingTimeFormat(&TIME_FORMAT_MEDIA_TIME) == S_OK;
  if (mediaTime && GetMediaTime(current, &end) == S_OK) {
    if (seeking != nullptr) seeking->Release();
    return S_OK;
  }
  if (FAILED(hr)) return hr;
  hr = seeking->GetCurrentPosition(current);
  seeking->Release();
  return hr;
}

// ---- IDispatch ----

HRESULT K_CPosPassThru::LoadTypeInfo() {
  DShowAutoLock guard(&positionLock);
  if (typeInfo != nullptr) return S_OK;
  if (WinApi.oleaut32.LoadRegTypeLib == nullptr) return E_NOTIMPL;
  ITypeLib* library = nullptr;
  HRESULT hr = WinApi.oleaut32.LoadRegTypeLib(LIBID_QuartzTypeLib, 1, 0, LOCALE_SYSTEM_DEFAULT, &library);
  if (FAILED(hr)) return hr;
  hr = library->GetTypeInfoOfGuid(IID_IMediaPosition, &typeInfo);
  library->Release();
  if (FAILED(hr)) typeInfo = nullptr;
  return hr;
}

HRESULT STDMETHODCALLTYPE K_CPosPassThru::GetTypeInfoCount(UINT* count) {
  if (count == nullptr) return E_POINTER;
  *count = 1;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE K_CPosPassThru::GetTypeInfo(UINT index, LCID locale, ITypeInfo** info) {
  (void)locale;
  if (info == nullptr) return E_POINTER;
  *info = nullptr;
  if (index != 0) return DISP_E_BADINDEX;
  HRESULT hr = LoadTypeInfo();
  if (FAILED(hr)) return hr;
  *info = typeInfo;
  typeInfo->AddRef();
  return S_OK;
}

HRESULT STDMETHODCALLTYPE K_CPosPassThru::GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID locale,
                                                        DISPID* ids) {
  (void)locale;
  if (riid != IID_NULL) return DISP_E_UNKNOWNINTERFACE;
  HRESULT hr = LoadTypeInfo();
  if (FAILED(hr)) return hr;
  return typeInfo->GetIDsOfNames(names, count, ids);
}

HRESULT STDMETHODCALLTYPE K_CPosPassThru::Invoke(DISPID id, REFIID riid, LCID locale, WORD flags,
                                                 DISPPARAMS* parameters, VARIANT* result, EXCEPINFO* exception,
                                                 UINT* argumentError) {
  (void)locale;
  if (riid != IID_NULL) return DISP_E_UNKNOWNINTERFACE;
  HRESULT hr = LoadTypeInfo();
  if (FAILED(hr)) return hr;
  return typeInfo->Invoke(static_cast<IMediaPosition*>(this), id, flags, parameters, result, exception,
                          argumentError);
}

// ---- IMediaPosition ----

// The upstream IMediaPosition call when there is one; otherwise falls through to the
// IMediaSeeking form after the macro.
#define K_PASS_POSITION(call)                       \
  {                                                 \
    IMediaPosition* position = nullptr;             \
    if (SUCCEEDED(GetPeerPosition(&position))) {    \
      HRESULT result = position->call;              \
      position->Release();                          \
      return result;                                \
    }                                               \
  }                                                 \
  IMediaSeeking* seeking = nullptr;                 \
  HRESULT hr = GetPeerSeeking(&seeking);            \
  if (FAILED(hr)) return hr

HRESULT STDMETHODCALLTYPE K_CPosPassThru::get_Duration(REFTIME* length) {
  if (length == nullptr) return E_POINTER;
  K_PASS_POSITION(get_Duration(length));
  LONGLONG units = 0;
  hr = seeking->GetDuration(&units);
  seeking->Release();
  if (SUCCEEDED(hr)) *length = ToSeconds(units);
  return hr;
}

HRESULT STDMETHODCALLTYPE K_CPosPassThru::put_CurrentPosition(REFTIME time) {
  K_PASS_POSITION(put_CurrentPosition(time));
  LONGLONG units = ToUnits(time);
  hr = seeking->SetPositions(&units, AM_SEEKING_AbsolutePositioning, nullptr, AM_SEEKING_NoPositioning);
  seeking->Release();
  return hr;
}

HRESULT STDMETHODCALLTYPE K_CPosPassThru::get_CurrentPosition(REFTIME* time) {
  if (time == nullptr) return E_POINTER;
  LONGLONG start, end;
  if (GetMediaTime(&start, &end) == S_OK) {
    *time = ToSeconds(start);
    return S_OK;
  }
  K_PASS_POSITION(get_CurrentPosition(time));
  LONGLONG units = 0;
  hr = seeking->GetCurrentPosition(&units);
  seeking->Release();
  if (SUCCEEDED(hr)) *time = ToSeconds(units);
  return hr;
}

HRESULT STDMETHODCALLTYPE K_CPosPassThru::get_StopTime(REFTIME* time) {
  if (time == nullptr) return E_POINTER;
  K_PASS_POSITION(get_StopTime(time));
  LONGLONG units = 0;
  hr = seeking->GetStopPosition(&units);
  seeking->Release();
  if (SUCCEEDED(hr)) *time = ToSeconds(units);
  return hr;
}

HRESULT STDMETHODCALLTYPE K_CPosPassThru::put_StopTime(REFTIME time) {
  K_PASS_POSITION(put_StopTime(time));
  LONGLONG units = ToUnits(time);
  hr = seeking->SetPositions(nullptr, AM_SEEKING_NoPositioning, &units, AM_SEEKING_AbsolutePositioning);
  seeking->Release();
  return hr;
}

HRESULT STDMETHODCALLTYPE K_CPosPassThru::get_PrerollTime(REFTIME* time) {
  if (time == nullptr) return E_POINTER;
  K_PASS_POSITION(get_PrerollTime(time));
  LONGLONG units = 0;
  hr = seeking->GetPreroll(&units);
  seeking->Release();
  if (SUCCEEDED(hr)) *time = ToSeconds(units);
  return hr;
}

HRESULT STDMETHODCALLTYPE K_CPosPassThru::put_PrerollTime(REFTIME time) {
  // IMediaSeeking has no way to set the preroll.
  K_PASS_POSITION(put_PrerollTime(time));
  seeking->Release();
  return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE K_CPosPassThru::put_Rate(double rate) {
  K_PASS_POSITION(put_Rate(rate));
  hr = seeking->SetRate(rate);
  seeking->Release();
  return hr;
}

HRESULT STDMETHODCALLTYPE K_CPosPassThru::get_Rate(double* rate) {
  if (rate == nullptr) return E_POINTER;
  K_PASS_POSITION(get_Rate(rate));
  hr = seeking->GetRate(rate);
  seeking->Release();
  return hr;
}

HRESULT STDMETHODCALLTYPE K_CPosPassThru::CanSeekForward(LONG* can) {
  if (can == nullptr) return E_POINTER;
  K_PASS_POSITION(CanSeekForward(can));
  DWORD capabilities = 0;
  hr = seeking->GetCapabilities(&capabilities);
  seeking->Release();
  if (SUCCEEDED(hr)) *can = (capabilities & AM_SEEKING_CanSeekForwards) != 0 ? AUTOMATION_TRUE : AUTOMATION_FALSE;
  return hr;
}

HRESULT STDMETHODCALLTYPE K_CPosPassThru::CanSeekBackward(LONG* can) {
  if (can == nullptr) return E_POINTER;
  K_PASS_POSITION(CanSeekBackward(can));
  DWORD capabilities = 0;
  hr = seeking->GetCapabilities(&capabilities);
  seeking->Release();
  if (SUCCEEDED(hr)) *can = (capabilities & AM_SEEKING_CanSeekBackwards) != 0 ? AUTOMATION_TRUE : AUTOMATION_FALSE;
  return hr;
}

// ---- renderer's pass-through ----

K_CRendererPosPassThru::K_CRendererPosPassThru(const char* objectName, IUnknown* outer, HRESULT* result, IPin* pin)
    : K_CPosPassThru(objectName, outer, result, pin) {}

void K_CRendererPosPassThru::RegisterMediaTime(IMediaSample* sample, REFERENCE_TIME segmentStart) {
  REFERENCE_TIME start, stop;
  if (FAILED(sample->GetTime(&start, &stop))) return;
  DShowAutoLock guard(&positionLock);
  mediaStart = start + segmentStart;
  mediaEnd = stop + segmentStart;
  haveTime = true;
}

void K_CRendererPosPassThru::ResetMediaTime() {
  DShowAutoLock guard(&positionLock);
  haveTime = false;
}

HRESULT K_CRendererPosPassThru::GetMediaTime(LONGLONG* start, LONGLONG* end) {
  DShowAutoLock guard(&positionLock);
  if (!haveTime) return S_FALSE;
  *start = mediaStart;
  *end = mediaEnd;
  return S_OK;
}

HRESULT CreatePosPassThru(IUnknown* outer, bool renderer, IPin* pin, IUnknown** inner) {
  if (inner == nullptr) return E_POINTER;
  *inner = nullptr;
  HRESULT hr = S_OK;
  K_CPosPassThru* object = renderer ? new K_CRendererPosPassThru("Renderer seeking pass-through", outer, &hr, pin)
                                    : new K_CPosPassThru("Seeking pass-through", outer, &hr, pin);
  if (object == nullptr) return E_OUTOFMEMORY;
  if (FAILED(hr)) {
    delete object;
    return hr;
  }
  *inner = object->InnerUnknown();
  (*inner)->AddRef();
  return S_OK;
}

}  // namespace Korvel
