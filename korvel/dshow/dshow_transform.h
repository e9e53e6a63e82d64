// The transform filter (one input, one output, each input sample transformed into a new
// output sample) and the in-place transform filter (the input sample itself is changed and
// passed on, sharing one allocator upstream and downstream where both sides allow it).
#pragma once
#include "dshow/dshow_filter.h"

namespace Korvel {

class K_CTransformInputPin;
class K_CTransformOutputPin;

class K_CTransformFilter : public K_CBaseFilter {
 public:
  K_CTransformFilter(const char* objectName, IUnknown* outer, REFCLSID clsid);
  ~K_CTransformFilter() override;

  // The pins are made on first use unless a derived constructor made its own.
  int GetPinCount() override;
  K_CBasePin* GetPin(int index) override;
  // Streaming starts on the way out of Stopped and stops on the way back, with the
  // streaming thread kept out while it does.
  HRESULT STDMETHODCALLTYPE Stop() override;
  HRESULT STDMETHODCALLTYPE Pause() override;

  // What a filter provides.
  virtual HRESULT CheckInputType(const K_CMediaType* type) = 0;
  virtual HRESULT CheckTransform(const K_CMediaType* input, const K_CMediaType* output) = 0;
  virtual HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) = 0;
  virtual HRESULT GetMediaType(int position, K_CMediaType* type) = 0;
  // S_OK delivers the output sample, S_FALSE skips it, an error fails Receive.
  virtual HRESULT Transform(IMediaSample* input, IMediaSample* output);
  virtual HRESULT StartStreaming();
  virtual HRESULT StopStreaming();
  // S_FALSE passes the message upstream.
  virtual HRESULT AlterQuality(Quality quality);
  virtual HRESULT SetMediaType(PIN_DIRECTION direction, const K_CMediaType* type);
  virtual HRESULT CheckConnect(PIN_DIRECTION direction, IPin* pin);
  virtual HRESULT BreakConnect(PIN_DIRECTION direction);
  virtual HRESULT CompleteConnect(PIN_DIRECTION direction, IPin* receivePin);

  // On the streaming thread, under the receive lock: an output sample from the output
  // allocator with the input's times and flags, Transform, and delivery.
  virtual HRESULT Receive(IMediaSample* sample);
  virtual HRESULT EndOfStream();
  virtual HRESULT BeginFlush();
  virtual HRESULT EndFlush();
  virtual HRESULT NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate);

  K_CTransformInputPin* InputPin() const { return input; }
  K_CTransformOutputPin* OutputPin() const { return output; }
  CRITICAL_SECTION* ReceiveLock() { return &receiveLock; }

 protected:
  HRESULT InitializeOutputSample(IMediaSample* sample, IMediaSample** outputSample);
  // Makes the missing pins; the first failure is returned.
  virtual HRESULT CreatePins();

  CRITICAL_SECTION filterLock;
  CRITICAL_SECTION receiveLock;
  K_CTransformInputPin* input = nullptr;
  K_CTransformOutputPin* output = nullptr;
  bool endOfStreamDelivered = false;
  bool sampleSkipped = false;
  bool qualityChanged = false;
};

class K_CTransformInputPin : public K_CBaseInputPin {
 public:
  K_CTransformInputPin(const char* objectName, K_CTransformFilter* filter, HRESULT* result, LPCWSTR pinName);

  HRESULT CheckConnect(IPin* pin) override;
  HRESULT BreakConnect() override;
  HRESULT CompleteConnect(IPin* receivePin) override;
  HRESULT CheckMediaType(const K_CMediaType* type) override;
  HRESULT SetMediaType(const K_CMediaType* type) override;
  HRESULT CheckStreaming() override;
  HRESULT STDMETHODCALLTYPE Receive(IMediaSample* sample) override;
  HRESULT STDMETHODCALLTYPE EndOfStream() override;
  HRESULT STDMETHODCALLTYPE BeginFlush() override;
  HRESULT STDMETHODCALLTYPE EndFlush() override;
  HRESULT STDMETHODCALLTYPE NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate) override;

 protected:
  K_CTransformFilter* transform;
};

// Also gives IMediaSeeking and IMediaPosition, passed through to the pin upstream of the input.
class K_CTransformOutputPin : public K_CBaseOutputPin {
 public:
  K_CTransformOutputPin(const char* objectName, K_CTransformFilter* filter, HRESULT* result, LPCWSTR pinName);
  ~K_CTransformOutputPin() override;

  HRESULT STDMETHODCALLTYPE NonDelegatingQueryInterface(REFIID riid, void** object) override;
  HRESULT CheckConnect(IPin* pin) override;
  HRESULT BreakConnect() override;
  HRESULT CompleteConnect(IPin* receivePin) override;
  HRESULT CheckMediaType(const K_CMediaType* type) override;
  HRESULT SetMediaType(const K_CMediaType* type) override;
  HRESULT GetMediaType(int position, K_CMediaType* type) override;
  HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override;
  // The filter's AlterQuality first, then upstream through the input pin.
  HRESULT STDMETHODCALLTYPE Notify(IBaseFilter* sender, Quality quality) override;

 protected:
  K_CTransformFilter* transform;
  IUnknown* position = nullptr;  // the seeking pass-through (inner object), made on first use
};

class K_CTransInPlaceInputPin;
class K_CTransInPlaceOutputPin;

class K_CTransInPlaceFilter : public K_CTransformFilter {
 public:
  // modifiesData: the filter writes into the samples, so a read-only allocator cannot be
  // passed downstream.
  K_CTransInPlaceFilter(const char* objectName, IUnknown* outer, REFCLSID clsid, HRESULT* result,
                        bool modifiesData = true);

  using K_CTransformFilter::Transform;
  // Transform(sample) changes the sample where it lies: S_OK delivers it, S_FALSE skips it.
  virtual HRESULT Transform(IMediaSample* sample) = 0;
  HRESULT Receive(IMediaSample* sample) override;
  // The output type is the input type and the buffers are the input's.
  HRESULT CheckTransform(const K_CMediaType* input, const K_CMediaType* output) override;
  HRESULT GetMediaType(int position, K_CMediaType* type) override;
  HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override;
  // A pin that connects with a type other than the other pin's has that pin connected again.
  HRESULT CompleteConnect(PIN_DIRECTION direction, IPin* receivePin) override;

  bool ModifiesData() const { return modifiesData; }
  K_CTransInPlaceInputPin* InPlaceInput() const;
  K_CTransInPlaceOutputPin* InPlaceOutput() const;

 protected:
  HRESULT CreatePins() override;
  // A copy of the sample in an output buffer (times, flags, media type and data), or null.
  IMediaSample* Copy(IMediaSample* source);
  bool UsingDifferentAllocators() const;

  bool modifiesData;
};

class K_CTransInPlaceInputPin : public K_CTransformInputPin {
 public:
  K_CTransInPlaceInputPin(const char* objectName, K_CTransInPlaceFilter* filter, HRESULT* result, LPCWSTR pinName);

  // The downstream pin's types once the output is connected.
  HRESULT STDMETHODCALLTYPE EnumMediaTypes(IEnumMediaTypes** types) override;
  // The downstream allocator once the output is connected, so one allocator serves both.
  HRESULT STDMETHODCALLTYPE GetAllocator(IMemAllocator** allocator) override;
  // Hands the upstream allocator on downstream, or gives the output an allocator of its own
  // (samples then copied) when downstream refuses it or it is read-only and the filter writes.
  HRESULT STDMETHODCALLTYPE NotifyAllocator(IMemAllocator* allocator, BOOL readOnly) override;
  HRESULT STDMETHODCALLTYPE GetAllocatorRequirements(ALLOCATOR_PROPERTIES* properties) override;
  HRESULT CheckMediaType(const K_CMediaType* type) override;

 protected:
  K_CTransInPlaceFilter* inPlace;
};

class K_CTransInPlaceOutputPin : public K_CTransformOutputPin {
 public:
  K_CTransInPlaceOutputPin(const char* objectName, K_CTransInPlaceFilter* filter, HRESULT* result,
                           LPCWSTR pinName);

  // The upstream pin's types once the input is connected.
  HRESULT STDMETHODCALLTYPE EnumMediaTypes(IEnumMediaTypes** types) override;
  HRESULT CheckMediaType(const K_CMediaType* type) override;
  // Offers the input's allocator downstream first.
  HRESULT DecideAllocator(IMemInputPin* pin, IMemAllocator** allocator) override;

 protected:
  K_CTransInPlaceFilter* inPlace;
};

}  // namespace Korvel
