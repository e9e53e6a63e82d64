// IMediaSeeking and IMediaPosition passed through to the pin upstream of an input pin: an
// output pin of a transform filter and a renderer expose them this way, so that the graph
// reaches the source's positions. The renderer's pass-through also knows the position of
// the sample it last rendered.
#pragma once
#include <control.h>
#include "dshow/dshow_unknown.h"

namespace Korvel {

class K_CPosPassThru : public K_CUnknown, public IMediaSeeking, public IMediaPosition {
 public:
  // pin: the input pin whose upstream pin is asked; it outlives this object (its owner
  // holds this object).
  K_CPosPassThru(const char* objectName, IUnknown* outer, HRESULT* result, IPin* pin);
  ~K_CPosPassThru() override;

  K_DECLARE_IUNKNOWN
  HRESULT STDMETHODCALLTYPE NonDelegatingQueryInterface(REFIID riid, void** object) override;

  // IMediaSeeking
  HRESULT STDMETHODCALLTYPE GetCapabilities(DWORD* capabilities) override;
  HRESULT STDMETHODCALLTYPE CheckCapabilities(DWORD* capabilities) override;
  HRESULT STDMETHODCALLTYPE IsFormatSupported(const GUID* format) override;
  HRESULT STDMETHODCALLTYPE QueryPreferredFormat(GUID* format) override;
  HRESULT STDMETHODCALLTYPE GetTimeFormat(GUID* format) override;
  HRESULT STDMETHODCALLTYPE IsUsingTimeFormat(const GUID* format) override;
  HRESULT STDMETHODCALLTYPE SetTimeFormat(const GUID* format) override;
  HRESULT STDMETHODCALLTYPE GetDuration(LONGLONG* duration) override;
  HRESULT STDMETHODCALLTYPE GetStopPosition(LONGLONG* stop) override;
  HRESULT STDMETHODCALLTYPE GetCurrentPosition(LONGLONG* current) override;
  HRESULT STDMETHODCALLTYPE ConvertTimeFormat(LONGLONG* target, const GUID* targetFormat, LONGLONG source,
                                              const GUID* sourceFormat) override;
  HRESULT STDMETHODCALLTYPE SetPositions(LONGLONG* current, DWORD currentFlags, LONGLONG* stop,
                                         DWORD stopFlags) override;
  HRESULT STDMETHODCALLTYPE GetPositions(LONGLONG* current, LONGLONG* stop) override;
  HRESULT STDMETHODCALLTYPE GetAvailable(LONGLONG* earliest, LONGLONG* latest) override;
  HRESULT STDMETHODCALLTYPE SetRate(double rate) override;
  HRESULT STDMETHODCALLTYPE GetRate(double* rate) override;
  HRESULT STDMETHODCALLTYPE GetPreroll(LONGLONG* preroll) override;
  // IDispatch, through the system's type library of IMediaPosition
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override;
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID locale, ITypeInfo** info) override;
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID locale,
                                          DISPID* ids) override;
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID riid, LCID locale, WORD flags, DISPPARAMS* parameters,
                                   VARIANT* result, EXCEPINFO* exception, UINT* argumentError) override;
  // IMediaPosition: the upstream pin's, or its IMediaSeeking in seconds where it has only that
  HRESULT STDMETHODCALLTYPE get_Duration(REFTIME* length) override;
  HRESULT STDMETHODCALLTYPE put_CurrentPosition(REFTIME time) override;
  HRESULT STDMETHODCALLTYPE get_CurrentPosition(REFTIME* time) override;
  HRESULT STDMETHODCALLTYPE get_StopTime(REFTIME* time) override;
  HRESULT STDMETHODCALLTYPE put_StopTime(REFTIME time) override;
  HRESULT STDMETHODCALLTYPE get_PrerollTime(REFTIME* time) override;
  HRESULT STDMETHODCALLTYPE put_PrerollTime(REFTIME time) override;
  HRESULT STDMETHODCALLTYPE put_Rate(double rate) override;
  HRESULT STDMETHODCALLTYPE get_Rate(double* rate) override;
  HRESULT STDMETHODCALLTYPE CanSeekForward(LONG* can) override;
  HRESULT STDMETHODCALLTYPE CanSeekBackward(LONG* can) override;

 protected:
  // The upstream pin's interface with a reference, or E_NOTIMPL when there is none.
  HRESULT GetPeerSeeking(IMediaSeeking** seeking);
  HRESULT GetPeerPosition(IMediaPosition** position);
  // The media time of what is being shown, where the object knows it (S_OK).
  virtual HRESULT GetMediaTime(LONGLONG* start, LONGLONG* end);
  HRESULT LoadTypeInfo();

  IPin* pin;
  CRITICAL_SECTION positionLock;
  ITypeInfo* typeInfo = nullptr;
};

class K_CRendererPosPassThru : public K_CPosPassThru {
 public:
  K_CRendererPosPassThru(const char* objectName, IUnknown* outer, HRESULT* result, IPin* pin);
  // The sample being rendered, in the segment's media time.
  void RegisterMediaTime(IMediaSample* sample, REFERENCE_TIME segmentStart);
  void ResetMediaTime();

 protected:
  HRESULT GetMediaTime(LONGLONG* start, LONGLONG* end) override;
  bool haveTime = false;
  LONGLONG mediaStart = 0;
  LONGLONG mediaEnd = 0;
};

// A pass-through aggregated in outer, as its inner unknown with one reference.
HRESULT CreatePosPassThru(IUnknown* outer, bool renderer, IPin* pin, IUnknown** inner);

}  // namespace Korvel
