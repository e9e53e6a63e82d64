// The base filter, the base pin with its connection and media-type negotiation, the pin and
// media-type enumerators, and the push-model input and output pins (IMemInputPin).
#pragma once
#include "dshow/dshow_unknown.h"

namespace Korvel {

class K_CBasePin;

// IBaseFilter (with IMediaFilter and IPersist) and IAMovieSetup. The filter's state, clock
// and start time are guarded by the lock given at construction, which its pins share.
class K_CBaseFilter : public K_CUnknown, public IBaseFilter, public IAMovieSetup {
 public:
  K_CBaseFilter(const char* objectName, IUnknown* outer, CRITICAL_SECTION* lock, REFCLSID clsid);
  K_CBaseFilter(const char* objectName, IUnknown* outer, CRITICAL_SECTION* lock, REFCLSID clsid, HRESULT* result);
  ~K_CBaseFilter() override;

  K_DECLARE_IUNKNOWN
  HRESULT STDMETHODCALLTYPE NonDelegatingQueryInterface(REFIID riid, void** object) override;

  // IPersist
  HRESULT STDMETHODCALLTYPE GetClassID(CLSID* clsid) override;
  // IMediaFilter
  HRESULT STDMETHODCALLTYPE Stop() override;
  HRESULT STDMETHODCALLTYPE Pause() override;
  HRESULT STDMETHODCALLTYPE Run(REFERENCE_TIME start) override;
  HRESULT STDMETHODCALLTYPE GetState(DWORD milliseconds, FILTER_STATE* state) override;
  HRESULT STDMETHODCALLTYPE SetSyncSource(IReferenceClock* clock) override;
  HRESULT STDMETHODCALLTYPE GetSyncSource(IReferenceClock** clock) override;
  // IBaseFilter
  HRESULT STDMETHODCALLTYPE EnumPins(IEnumPins** pins) override;
  HRESULT STDMETHODCALLTYPE FindPin(LPCWSTR id, IPin** pin) override;
  HRESULT STDMETHODCALLTYPE QueryFilterInfo(FILTER_INFO* info) override;
  HRESULT STDMETHODCALLTYPE JoinFilterGraph(IFilterGraph* graph, LPCWSTR name) override;
  HRESULT STDMETHODCALLTYPE QueryVendorInfo(LPWSTR* info) override;
  // IAMovieSetup: these filters carry no registration data, so there is nothing to do (S_FALSE).
  HRESULT STDMETHODCALLTYPE Register() override;
  HRESULT STDMETHODCALLTYPE Unregister() override;

  virtual int GetPinCount() = 0;
  // The pin at an index, no reference added; null past the last.
  virtual K_CBasePin* GetPin(int index) = 0;
  // Bumped whenever the set of pins changes, so open enumerators report that they are stale.
  virtual LONG GetPinVersion() { return pinVersion; }
  void IncrementPinVersion() { InterlockedIncrement(&pinVersion); }

  // Sends an event to the graph (EC_COMPLETE carries this filter as its second parameter).
  HRESULT NotifyEvent(long code, LONG_PTR param1, LONG_PTR param2);
  // Asks the graph to connect a pin again, with a type when one is given.
  HRESULT ReconnectPin(IPin* pin, const AM_MEDIA_TYPE* type);
  // Stream time: the clock's time less the start time given to Run (VFW_E_NO_CLOCK without one).
  HRESULT StreamTime(REFERENCE_TIME* time);

  bool IsActive();
  bool IsStopped();
  FILTER_STATE State() const { return state; }
  REFERENCE_TIME StartTime() const { return startTime; }
  IReferenceClock* Clock() const { return clock; }
  IFilterGraph* Graph() const { return graph; }
  CRITICAL_SECTION* FilterLock() const { return lock; }

 protected:
  FILTER_STATE state = State_Stopped;
  IReferenceClock* clock = nullptr;  // referenced
  REFERENCE_TIME startTime = 0;
  CLSID clsid;
  CRITICAL_SECTION* lock;
  WCHAR* name = nullptr;            // the name given by the graph
  IFilterGraph* graph = nullptr;    // not referenced: the graph holds the filter
  IMediaEventSink* sink = nullptr;  // not referenced, as the graph
  volatile LONG pinVersion = 1;
};

// IPin and IQualityControl. A pin is part of its filter: its AddRef and Release are the
// filter's. Connection: Connect tries the given type, else the receiving pin's types and
// then its own, calling CheckConnect, CheckMediaType, SetMediaType, the receiver's
// ReceiveConnection and CompleteConnect; BreakConnect undoes a failed or ended connection.
class K_CBasePin : public K_CUnknown, public IPin, public IQualityControl {
 public:
  K_CBasePin(const char* objectName, K_CBaseFilter* filter, CRITICAL_SECTION* lock, HRESULT* result,
             LPCWSTR pinName, PIN_DIRECTION direction);
  ~K_CBasePin() override;

  K_DECLARE_IUNKNOWN
  HRESULT STDMETHODCALLTYPE NonDelegatingQueryInterface(REFIID riid, void** object) override;
  ULONG STDMETHODCALLTYPE NonDelegatingAddRef() override;
  ULONG STDMETHODCALLTYPE NonDelegatingRelease() override;

  // IPin
  HRESULT STDMETHODCALLTYPE Connect(IPin* receivePin, const AM_MEDIA_TYPE* type) override;
  HRESULT STDMETHODCALLTYPE ReceiveConnection(IPin* connector, const AM_MEDIA_TYPE* type) override;
  HRESULT STDMETHODCALLTYPE Disconnect() override;
  HRESULT STDMETHODCALLTYPE ConnectedTo(IPin** pin) override;
  HRESULT STDMETHODCALLTYPE ConnectionMediaType(AM_MEDIA_TYPE* type) override;
  HRESULT STDMETHODCALLTYPE QueryPinInfo(PIN_INFO* info) override;
  HRESULT STDMETHODCALLTYPE QueryDirection(PIN_DIRECTION* direction) override;
  HRESULT STDMETHODCALLTYPE QueryId(LPWSTR* id) override;
  HRESULT STDMETHODCALLTYPE QueryAccept(const AM_MEDIA_TYPE* type) override;
  HRESULT STDMETHODCALLTYPE EnumMediaTypes(IEnumMediaTypes** types) override;
  HRESULT STDMETHODCALLTYPE QueryInternalConnections(IPin** pins, ULONG* count) override;
  HRESULT STDMETHODCALLTYPE EndOfStream() override;
  HRESULT STDMETHODCALLTYPE BeginFlush() override = 0;
  HRESULT STDMETHODCALLTYPE EndFlush() override = 0;
  HRESULT STDMETHODCALLTYPE NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate) override;
  // IQualityControl
  HRESULT STDMETHODCALLTYPE Notify(IBaseFilter* sender, Quality quality) override;
  HRESULT STDMETHODCALLTYPE SetSink(IQualityControl* qualitySink) override;

  // S_OK accepts the type; anything else refuses it.
  virtual HRESULT CheckMediaType(const K_CMediaType* type) = 0;
  // Stores the connection's type.
  virtual HRESULT SetMediaType(const K_CMediaType* type);
  // The pin offered at an index: S_OK, VFW_S_NO_MORE_ITEMS past the last.
  virtual HRESULT GetMediaType(int position, K_CMediaType* type);
  virtual LONG GetMediaTypeVersion() { return typeVersion; }
  void IncrementTypeVersion() { InterlockedIncrement(&typeVersion); }
  // Refuses a pin of the same direction.
  virtual HRESULT CheckConnect(IPin* pin);
  virtual HRESULT BreakConnect();
  virtual HRESULT CompleteConnect(IPin* receivePin);
  // Called by the filter on a connected pin when it leaves or enters the stopped state.
  virtual HRESULT Active();
  virtual HRESULT Inactive();
  virtual HRESULT Run(REFERENCE_TIME start);

  bool IsConnected() const { return connected != nullptr; }
  IPin* GetConnected() const { return connected; }
  bool IsStopped() const { return filter->IsStopped(); }
  LPCWSTR Name() const { return pinName; }
  PIN_DIRECTION Direction() const { return direction; }
  K_CBaseFilter* Filter() const { return filter; }
  const K_CMediaType& CurrentMediaType() const { return mediaType; }
  REFERENCE_TIME CurrentStartTime() const { return segmentStart; }
  REFERENCE_TIME CurrentStopTime() const { return segmentStop; }
  double CurrentRate() const { return segmentRate; }

 protected:
  HRESULT AttemptConnection(IPin* receivePin, const K_CMediaType* type);
  HRESULT TryMediaTypes(IPin* receivePin, const K_CMediaType* partial, IEnumMediaTypes* types);
  HRESULT AgreeMediaType(IPin* receivePin, const K_CMediaType* type);
  HRESULT DisconnectInternal();

  WCHAR* pinName = nullptr;
  IPin* connected = nullptr;  // referenced
  PIN_DIRECTION direction;
  CRITICAL_SECTION* lock;
  K_CBaseFilter* filter;
  IQualityControl* qualitySink = nullptr;  // not referenced
  volatile LONG typeVersion = 1;
  K_CMediaType mediaType;
  REFERENCE_TIME segmentStart = 0;
  REFERENCE_TIME segmentStop = MAXLONGLONG;
  double segmentRate = 1.0;
  bool canReconnectWhenActive = false;
  bool tryMyTypesFirst = false;
};

// IEnumPins over a filter's GetPin; VFW_E_ENUM_OUT_OF_SYNC once the pin set changed.
class K_CEnumPins : public K_CUnknown, public IEnumPins {
 public:
  K_CEnumPins(K_CBaseFilter* filter, const K_CEnumPins* copyOf);
  ~K_CEnumPins() override;
  K_DECLARE_IUNKNOWN
  HRESULT STDMETHODCALLTYPE NonDelegatingQueryInterface(REFIID riid, void** object) override;
  HRESULT STDMETHODCALLTYPE Next(ULONG count, IPin** pins, ULONG* fetched) override;
  HRESULT STDMETHODCALLTYPE Skip(ULONG count) override;
  HRESULT STDMETHODCALLTYPE Reset() override;
  HRESULT STDMETHODCALLTYPE Clone(IEnumPins** copy) override;

 private:
  K_CBaseFilter* filter;  // referenced
  int position = 0;
  LONG version;
};

// IEnumMediaTypes over a pin's GetMediaType; each type handed out is the caller's to delete.
class K_CEnumMediaTypes : public K_CUnknown, public IEnumMediaTypes {
 public:
  K_CEnumMediaTypes(K_CBasePin* pin, const K_CEnumMediaTypes* copyOf);
  ~K_CEnumMediaTypes() override;
  K_DECLARE_IUNKNOWN
  HRESULT STDMETHODCALLTYPE NonDelegatingQueryInterface(REFIID riid, void** object) override;
  HRESULT STDMETHODCALLTYPE Next(ULONG count, AM_MEDIA_TYPE** types, ULONG* fetched) override;
  HRESULT STDMETHODCALLTYPE Skip(ULONG count) override;
  HRESULT STDMETHODCALLTYPE Reset() override;
  HRESULT STDMETHODCALLTYPE Clone(IEnumMediaTypes** copy) override;

 private:
  K_CBasePin* pin;  // referenced (through its filter)
  int position = 0;
  LONG version;
};

// A push-model input pin: IMemInputPin with the allocator the upstream pin settles on.
// Receive checks that the pin may take a sample and records its properties; a derived
// pin processes the sample after that.
class K_CBaseInputPin : public K_CBasePin, public IMemInputPin {
 public:
  K_CBaseInputPin(const char* objectName, K_CBaseFilter* filter, CRITICAL_SECTION* lock, HRESULT* result,
                  LPCWSTR pinName);
  ~K_CBaseInputPin() override;

  K_DECLARE_IUNKNOWN
  HRESULT STDMETHODCALLTYPE NonDelegatingQueryInterface(REFIID riid, void** object) override;

  // IMemInputPin
  HRESULT STDMETHODCALLTYPE GetAllocator(IMemAllocator** allocator) override;
  HRESULT STDMETHODCALLTYPE NotifyAllocator(IMemAllocator* allocator, BOOL readOnly) override;
  HRESULT STDMETHODCALLTYPE GetAllocatorRequirements(ALLOCATOR_PROPERTIES* properties) override;
  HRESULT STDMETHODCALLTYPE Receive(IMediaSample* sample) override;
  HRESULT STDMETHODCALLTYPE ReceiveMultiple(IMediaSample** samples, long count, long* processed) override;
  HRESULT STDMETHODCALLTYPE ReceiveCanBlock() override;
  // IPin
  HRESULT STDMETHODCALLTYPE BeginFlush() override;
  HRESULT STDMETHODCALLTYPE EndFlush() override;

  HRESULT BreakConnect() override;
  HRESULT Inactive() override;
  // S_OK when a sample may be received now; S_FALSE while flushing; an error otherwise.
  virtual HRESULT CheckStreaming();
  // Passes a quality message upstream: to the sink set on this pin, else to the connected pin.
  HRESULT PassNotify(const Quality& quality);

  IMemAllocator* PeekAllocator() const { return allocator; }
  const AM_SAMPLE2_PROPERTIES* SampleProps() const { return &sampleProps; }
  bool IsFlushing() const { return flushing; }
  bool IsReadOnly() const { return readOnly; }

 protected:
  IMemAllocator* allocator = nullptr;  // referenced
  bool readOnly = false;
  volatile bool flushing = false;
  bool runTimeError = false;
  AM_SAMPLE2_PROPERTIES sampleProps = {};
};

// A push-model output pin: settles the allocator with the connected IMemInputPin, commits it
// while active and delivers samples, end of stream, flushes and segments downstream.
class K_CBaseOutputPin : public K_CBasePin {
 public:
  K_CBaseOutputPin(const char* objectName, K_CBaseFilter* filter, CRITICAL_SECTION* lock, HRESULT* result,
                   LPCWSTR pinName);
  ~K_CBaseOutputPin() override;

  HRESULT CheckConnect(IPin* pin) override;
  HRESULT CompleteConnect(IPin* receivePin) override;
  HRESULT BreakConnect() override;
  HRESULT Active() override;
  HRESULT Inactive() override;
  // Input-side calls are wrong on an output pin.
  HRESULT STDMETHODCALLTYPE EndOfStream() override;
  HRESULT STDMETHODCALLTYPE BeginFlush() override;
  HRESULT STDMETHODCALLTYPE EndFlush() override;

  // The downstream pin's allocator when it takes the buffer sizes, else one of ours.
  virtual HRESULT DecideAllocator(IMemInputPin* pin, IMemAllocator** allocator);
  virtual HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) = 0;
  virtual HRESULT InitAllocator(IMemAllocator** allocator);
  HRESULT GetDeliveryBuffer(IMediaSample** sample, REFERENCE_TIME* start, REFERENCE_TIME* stop, DWORD flags);
  HRESULT Deliver(IMediaSample* sample);
  HRESULT DeliverEndOfStream();
  HRESULT DeliverBeginFlush();
  HRESULT DeliverEndFlush();
  HRESULT DeliverNewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate);

  IMemAllocator* PeekAllocator() const { return allocator; }
  IMemInputPin* ConnectedIMemInputPin() const { return inputPin; }
  // Uses the given allocator for delivery (a reference is taken).
  void SetAllocator(IMemAllocator* newAllocator);

 protected:
  IMemAllocator* allocator = nullptr;  // referenced
  IMemInputPin* inputPin = nullptr;    // referenced
};

// A memory allocator of this layer with a new reference, as IMemAllocator.
HRESULT CreateMemoryAllocator(IMemAllocator** allocator);

}  // namespace Korvel
