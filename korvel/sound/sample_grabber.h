// The sample grabber: an in-place transform filter that hands every media sample passing
// through, with its times, to a callback of its user; its input accepts only the media type
// the user asked for, and it can make the upstream filter write into one buffer of the user's.
#pragma once
#include "dshow/dshow.h"

namespace Korvel {

// Per-sample callback: times are the sample's plus the input's segment start; typeChanged is
// TRUE for the first sample after the input's media type was set.
typedef HRESULT (*GRAB_CALLBACK)(IMediaSample* sample, REFERENCE_TIME* start, REFERENCE_TIME* stop, BOOL typeChanged,
                                 void* user);

extern const CLSID CLSID_KorvelSampleGrabber;
extern const IID IID_ISampleGrabberSetup;

struct ISampleGrabberSetup : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE SetAcceptType(const AM_MEDIA_TYPE* type) = 0;
  virtual HRESULT STDMETHODCALLTYPE QueryConnectedType(AM_MEDIA_TYPE* type) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetGrabCallback(GRAB_CALLBACK callback, void* user) = 0;
  virtual HRESULT STDMETHODCALLTYPE UseDeliveryBuffer(ALLOCATOR_PROPERTIES properties, BYTE* buffer) = 0;
};

class K_CSampleGrabber;
class K_CGrabberInputPin;

// Carves its samples out of the user's buffer; never allocates or frees sample memory.
class K_CGrabberAllocator : public K_CMemAllocator {
 public:
  K_CGrabberAllocator(K_CGrabberInputPin* parent, HRESULT* result);
  ~K_CGrabberAllocator() override;
  HRESULT STDMETHODCALLTYPE SetProperties(ALLOCATOR_PROPERTIES* request, ALLOCATOR_PROPERTIES* actual) override;

 protected:
  HRESULT Alloc() override;
  K_CGrabberInputPin* parent;
};

class K_CGrabberInputPin : public K_CTransInPlaceInputPin {
 public:
  K_CGrabberInputPin(K_CSampleGrabber* filter, HRESULT* result);
  ~K_CGrabberInputPin() override;

  HRESULT SetMediaType(const K_CMediaType* type) override;
  HRESULT GetMediaType(int position, K_CMediaType* type) override;
  HRESULT STDMETHODCALLTYPE EnumMediaTypes(IEnumMediaTypes** types) override;
  HRESULT STDMETHODCALLTYPE GetAllocator(IMemAllocator** allocator) override;
  HRESULT STDMETHODCALLTYPE NotifyAllocator(IMemAllocator* allocator, BOOL readOnly) override;
  HRESULT STDMETHODCALLTYPE GetAllocatorRequirements(ALLOCATOR_PROPERTIES* properties) override;

  HRESULT SetDeliveryBuffer(const ALLOCATOR_PROPERTIES& properties, BYTE* buffer);
  // Reads and clears the type-changed flag.
  BOOL TakeTypeChanged();

 private:
  friend class K_CGrabberAllocator;
  K_CSampleGrabber* grabber;
  K_CGrabberAllocator* privateAllocator = nullptr;  // referenced
  ALLOCATOR_PROPERTIES deliveryProperties = {};
  BYTE* deliveryBuffer = nullptr;
  BOOL typeChanged = FALSE;
};

class K_CSampleGrabber : public K_CTransInPlaceFilter, public ISampleGrabberSetup {
 public:
  K_CSampleGrabber(IUnknown* outer, HRESULT* result);
  ~K_CSampleGrabber() override;

  K_DECLARE_IUNKNOWN
  HRESULT STDMETHODCALLTYPE NonDelegatingQueryInterface(REFIID riid, void** object) override;

  HRESULT STDMETHODCALLTYPE SetAcceptType(const AM_MEDIA_TYPE* type) override;
  HRESULT STDMETHODCALLTYPE QueryConnectedType(AM_MEDIA_TYPE* type) override;
  HRESULT STDMETHODCALLTYPE SetGrabCallback(GRAB_CALLBACK callback, void* user) override;
  HRESULT STDMETHODCALLTYPE UseDeliveryBuffer(ALLOCATOR_PROPERTIES properties, BYTE* buffer) override;

  HRESULT CheckInputType(const K_CMediaType* type) override;
  HRESULT Receive(IMediaSample* sample) override;
  HRESULT Transform(IMediaSample* sample) override;
  using K_CTransInPlaceFilter::Transform;

  const K_CMediaType& AcceptType() const { return acceptType; }

 private:
  K_CMediaType acceptType;
  GRAB_CALLBACK callback = nullptr;
  CRITICAL_SECTION grabLock;
  void* user = nullptr;
};

// A new grabber with no reference yet; null (and E_OUTOFMEMORY) when it cannot be made. When
// only its input pin cannot be made it is returned with E_OUTOFMEMORY.
K_CSampleGrabber* CreateSampleGrabber(IUnknown* outer, HRESULT* result);

}  // namespace Korvel
