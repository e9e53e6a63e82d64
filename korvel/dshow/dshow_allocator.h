// Media samples and the memory allocator that hands them out: IMediaSample2 over a piece
// of a buffer, the allocator's free list with blocking GetBuffer, commit and decommit.
#pragma once
#include "dshow/dshow_unknown.h"

namespace Korvel {

class K_CBaseAllocator;

// A sample over bytes it does not own. Its last Release hands it back to its allocator
// (flags, times and media type cleared); a sample without an allocator deletes itself.
class K_CMediaSample : public IMediaSample2 {
 public:
  K_CMediaSample(const char* objectName, K_CBaseAllocator* allocator, HRESULT* result, BYTE* buffer = nullptr,
                 LONG length = 0);
  virtual ~K_CMediaSample();
  K_CMediaSample(const K_CMediaSample&) = delete;
  K_CMediaSample& operator=(const K_CMediaSample&) = delete;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;
  // IMediaSample
  HRESULT STDMETHODCALLTYPE GetPointer(BYTE** buffer) override;
  long STDMETHODCALLTYPE GetSize() override;
  HRESULT STDMETHODCALLTYPE GetTime(REFERENCE_TIME* start, REFERENCE_TIME* stop) override;
  HRESULT STDMETHODCALLTYPE SetTime(REFERENCE_TIME* start, REFERENCE_TIME* stop) override;
  HRESULT STDMETHODCALLTYPE IsSyncPoint() override;
  HRESULT STDMETHODCALLTYPE SetSyncPoint(BOOL value) override;
  HRESULT STDMETHODCALLTYPE IsPreroll() override;
  HRESULT STDMETHODCALLTYPE SetPreroll(BOOL value) override;
  long STDMETHODCALLTYPE GetActualDataLength() override;
  HRESULT STDMETHODCALLTYPE SetActualDataLength(long length) override;
  HRESULT STDMETHODCALLTYPE GetMediaType(AM_MEDIA_TYPE** type) override;
  HRESULT STDMETHODCALLTYPE SetMediaType(AM_MEDIA_TYPE* type) override;
  HRESULT STDMETHODCALLTYPE IsDiscontinuity() override;
  HRESULT STDMETHODCALLTYPE SetDiscontinuity(BOOL value) override;
  HRESULT STDMETHODCALLTYPE GetMediaTime(LONGLONG* start, LONGLONG* end) override;
  HRESULT STDMETHODCALLTYPE SetMediaTime(LONGLONG* start, LONGLONG* end) override;
  // IMediaSample2
  HRESULT STDMETHODCALLTYPE GetProperties(DWORD size, BYTE* properties) override;
  HRESULT STDMETHODCALLTYPE SetProperties(DWORD size, const BYTE* properties) override;

  // Points the sample at other bytes (the actual length becomes the new length).
  HRESULT SetPointer(BYTE* buffer, LONG length);

  static void* operator new(size_t size) noexcept;
  static void operator delete(void* pointer) noexcept;

  K_CMediaSample* next = nullptr;  // the allocator's free-list link

 protected:
  friend class K_CBaseAllocator;
  void SetFlag(DWORD flag, BOOL on);
  HRESULT TestFlag(DWORD flag) const { return (flags & flag) != 0 ? S_OK : S_FALSE; }

  volatile LONG referenceCount = 0;
  K_CBaseAllocator* allocator;
  BYTE* buffer;
  LONG bufferSize;
  LONG actualLength;
  DWORD flags = 0;  // AM_SAMPLE_* bits
  DWORD typeSpecificFlags = 0;
  DWORD streamId = AM_STREAM_MEDIA;
  REFERENCE_TIME start = 0;
  REFERENCE_TIME stop = 0;
  bool mediaTimeValid = false;
  LONGLONG mediaStart = 0;
  LONGLONG mediaEnd = 0;
  AM_MEDIA_TYPE* mediaType = nullptr;  // COM task memory, with AM_SAMPLE_TYPECHANGED
};

// IMemAllocator with the free list and the commit state. A derived allocator makes the
// samples in Alloc and lets go of their memory in Free; both run under allocatorLock.
class K_CBaseAllocator : public K_CUnknown, public IMemAllocator {
 public:
  K_CBaseAllocator(const char* objectName, IUnknown* outer, HRESULT* result);
  ~K_CBaseAllocator() override;

  K_DECLARE_IUNKNOWN
  HRESULT STDMETHODCALLTYPE NonDelegatingQueryInterface(REFIID riid, void** object) override;

  HRESULT STDMETHODCALLTYPE SetProperties(ALLOCATOR_PROPERTIES* request, ALLOCATOR_PROPERTIES* actual) override;
  HRESULT STDMETHODCALLTYPE GetProperties(ALLOCATOR_PROPERTIES* properties) override;
  HRESULT STDMETHODCALLTYPE Commit() override;
  HRESULT STDMETHODCALLTYPE Decommit() override;
  // Blocks until a sample is free (unless AM_GBF_NOWAIT); each sample out holds a reference
  // on the allocator until it comes back.
  HRESULT STDMETHODCALLTYPE GetBuffer(IMediaSample** sample, REFERENCE_TIME* start, REFERENCE_TIME* stop,
                                      DWORD flags) override;
  HRESULT STDMETHODCALLTYPE ReleaseBuffer(IMediaSample* sample) override;

 protected:
  // The checks before allocating: VFW_E_SIZENOTSET without properties, S_FALSE when they
  // have not changed since the last allocation (nothing to do), S_OK to allocate.
  virtual HRESULT Alloc();
  // Called once decommitted and every sample is back.
  virtual void Free() = 0;

  // The samples not handed out.
  struct SampleList {
    K_CMediaSample* head = nullptr;
    int count = 0;
    void Add(K_CMediaSample* sample);
    K_CMediaSample* RemoveHead();
  };

  CRITICAL_SECTION allocatorLock;
  SampleList freeList;
  HANDLE freeSemaphore;  // released once per waiter when a sample comes back
  LONG waiting = 0;
  LONG allocated = 0;  // samples made
  LONG count = 0;      // the agreed properties
  LONG size = 0;
  LONG alignment = 0;
  LONG prefix = 0;
  bool changed = false;
  bool committed = false;
  bool decommitInProgress = false;
};

// The memory allocator: one block cut into count samples of size bytes, each after prefix
// bytes and on the alignment. The block is kept across decommits and freed when the
// properties change or the allocator goes. An allocator over memory of its own sets buffer
// and leaves bufferBlock null, so that nothing frees it.
class K_CMemAllocator : public K_CBaseAllocator {
 public:
  K_CMemAllocator(const char* objectName, IUnknown* outer, HRESULT* result);
  ~K_CMemAllocator() override;
  // The alignment must be a power of two; the buffer size is rounded up so that every
  // sample starts on it.
  HRESULT STDMETHODCALLTYPE SetProperties(ALLOCATOR_PROPERTIES* request, ALLOCATOR_PROPERTIES* actual) override;

 protected:
  HRESULT Alloc() override;
  void Free() override;
  // Deletes the samples and frees the block.
  void ReallyFree();

  BYTE* buffer = nullptr;
  void* bufferBlock = nullptr;  // tracked block that buffer lies in, or null
};

}  // namespace Korvel
