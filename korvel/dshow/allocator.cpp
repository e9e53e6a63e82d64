// The allocator: properties, commit and decommit, the free list with blocking GetBuffer,
// and the memory allocator's one block cut into samples.
#include <cstdint>
#include "dshow/dshow_allocator.h"
#include "dshow/dshow_filter.h"
#include "core/memory.h"

namespace Korvel {

void K_CBaseAllocator::SampleList::Add(K_CMediaSample* sample) {
  sample->next = head;
  head = sample;
  count++;
}

K_CMediaSample* K_CBaseAllocator::SampleList::RemoveHead() {
  K_CMediaSample* sample = head;
  if (sample == nullptr) return nullptr;
  head = sample->next;
  sample->next = nullptr;
  count--;
  return sample;
}

K_CBaseAllocator::K_CBaseAllocator(const char* objectName, IUnknown* outer, HRESULT* result)
    : K_CUnknown(objectName, outer) {
  InitializeCriticalSection(&allocatorLock);
  freeSemaphore = CreateSemaphoreA(nullptr, 0, 0x7FFFFFFF, nullptr);
  if (freeSemaphore == nullptr && result != nullptr) *result = E_OUTOFMEMORY;
}

K_CBaseAllocator::~K_CBaseAllocator() {
  if (freeSemaphore != nullptr) CloseHandle(freeSemaphore);
  DeleteCriticalSection(&allocatorLock);
}

HRESULT STDMETHODCALLTYPE K_CBaseAllocator::NonDelegatingQueryInterface(REFIID riid, void** object) {
  if (object == nullptr) return E_POINTER;
  if (riid == IID_IMemAllocator) return DShowGetInterface(static_cast<IMemAllocator*>(this), object);
  return K_CUnknown::NonDelegatingQueryInterface(riid, object);
}

HRESULT STDMETHODCALLTYPE K_CBaseAllocator::SetProperties(ALLOCATOR_PROPERTIES* request,
                                                           ALLOCATOR_PROPERTIES* actual) {
  if (request == nullptr || actual == nullptr) return E_POINTER;
  DShowAutoLock guard(&allocatorLock);
  if (committed) return VFW_E_ALREADY_COMMITTED;
  if (allocated != freeList.count) return VFW_E_BUFFERS_OUTSTANDING;
  *actual = *request;
  count = request->cBuffers;
  size = request->cbBuffer;
  alignment = request->cbAlign;
  prefix = request->cbPrefix;
  changed = true;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE K_CBaseAllocator::GetProperties(ALLOCATOR_PROPERTIES* properties) {
  if (properties == nullptr) return E_POINTER;
  DShowAutoLock guard(&allocatorLock);
  properties->cBuffers = count;
  properties->cbBuffer = size;
  properties->cbAlign = alignment;
  properties->cbPrefix = prefix;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE K_CBaseAllocator::Commit() {
  DShowAutoLock guard(&allocatorLock);
  if (committed) return S_OK;
  if (size == 0) return VFW_E_SIZENOTSET;
  // A decommit still waiting for its samples is called off: they come back to a live list.
  decommitInProgress = false;
  HRESULT hr = Alloc();
  if (FAILED(hr)) return hr;
  committed = true;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE K_CBaseAllocator::Decommit() {
  DShowAutoLock guard(&allocatorLock);
  if (!committed) return S_OK;
  committed = false;
  if (freeList.count < allocated) decommitInProgress = true;
  else Free();
  // Threads waiting in GetBuffer wake and find the allocator decommitted.
  if (waiting > 0) {
    ReleaseSemaphore(freeSemaphore, waiting, nullptr);
    waiting = 0;
  }
  return S_OK;
}

HRESULT STDMETHODCALLTYPE K_CBaseAllocator::GetBuffer(IMediaSample** sample, REFERENCE_TIME* start,
                                                       REFERENCE_TIME* stop, DWORD flags) {
  (void)start;
  (void)stop;
  if (sample == nullptr) return E_POINTER;
  *sample = nullptr;
  for (;;) {
    {
      DShowAutoLock guard(&allocatorLock);
      if (!committed) return VFW_E_NOT_COMMITTED;
      K_CMediaSample* free = freeList.RemoveHead();
      if (free != nullptr) {
        free->referenceCount = 1;
        free->actualLength = free->bufferSize;
        *sample = free;
        NonDelegatingAddRef();
        return S_OK;
      }
      if ((flags & AM_GBF_NOWAIT) != 0) return VFW_E_TIMEOUT;
      waiting++;
    }
    WaitForSingleObject(freeSemaphore, INFINITE);
  }
}

HRESULT STDMETHODCALLTYPE K_CBaseAllocator::ReleaseBuffer(IMediaSample* sample) {
  if (sample == nullptr) return E_POINTER;
  {
    DShowAutoLock guard(&allocatorLock);
    freeList.Add(static_cast<K_CMediaSample*>(sample));
    if (waiting > 0) {
      waiting--;
      ReleaseSemaphore(freeSemaphore, 1, nullptr);
    }
    if (decommitInProgress && freeList.count == allocated) {
      Free();
      decommitInProgress = false;
    }
  }
  // The reference the sample held while it was out; it may be the last one.
  NonDelegatingRelease();
  return S_OK;
}

HRESULT K_CBaseAllocator::Alloc() {
  if (count <= 0 || size <= 0 || alignment <= 0) return VFW_E_SIZENOTSET;
  return changed ? S_OK : S_FALSE;
}

// ---- memory allocator ----

K_CMemAllocator::K_CMemAllocator(const char* objectName, IUnknown* outer, HRESULT* result)
    : K_CBaseAllocator(objectName, outer, result) {}

K_CMemAllocator::~K_CMemAllocator() {
  Decommit();
  ReallyFree();
}

HRESULT STDMETHODCALLTYPE K_CMemAllocator::SetProperties(ALLOCATOR_PROPERTIES* request,
                                                          ALLOCATOR_PROPERTIES* actual) {
  if (request == nullptr || actual == nullptr) return E_POINTER;
  DShowAutoLock guard(&allocatorLock);
  if (committed) return VFW_E_ALREADY_COMMITTED;
  if (allocated != freeList.count) return VFW_E_BUFFERS_OUTSTANDING;
  LONG align = request->cbAlign;
  if (align <= 0 || (align & (align - 1)) != 0) return VFW_E_BADALIGN;
  if (request->cBuffers < 0 || request->cbBuffer < 0 || request->cbPrefix < 0) return E_INVALIDARG;
  int64_t total = (int64_t)request->cbBuffer + request->cbPrefix;
  total = (total + align - 1) / align * align;
  if (total > 0x7FFFFFFF) return E_OUTOFMEMORY;
  count = request->cBuffers;
  size = (LONG)total - request->cbPrefix;
  alignment = align;
  prefix = request->cbPrefix;
  changed = true;
  actual->cBuffers = count;
  actual->cbBuffer = size;
  actual->cbAlign = alignment;
  actual->cbPrefix = prefix;
  return S_OK;
}

HRESULT K_CMemAllocator::Alloc() {
  DShowAutoLock guard(&allocatorLock);
  HRESULT hr = K_CBaseAllocator::Alloc();
  if (FAILED(hr)) return hr;
  if (hr == S_FALSE && buffer != nullptr) return S_OK;
  ReallyFree();
  int64_t alignedSize = (int64_t)size + prefix;
  if (alignment > 1) alignedSize = (alignedSize + alignment - 1) / alignment * alignment;
  int64_t total = alignedSize * count + alignment;
  if (total > 0x7FFFFFFF) return E_OUTOFMEMORY;
  bufferBlock = AllocTracked((size_t)total, "dshow allocator", __LINE__);
  if (bufferBlock == nullptr) return E_OUTOFMEMORY;
  uintptr_t start = ((uintptr_t)bufferBlock + alignment - 1) / alignment * alignment;
  buffer = (BYTE*)start;
  for (LONG i = 0; i < count; i++) {
    K_CMediaSample* sample =
        new K_CMediaSample("Default memory media sample", this, &hr, buffer + i * alignedSize + prefix, size);
    if (sample == nullptr) return E_OUTOFMEMORY;
    freeList.Add(sample);
    allocated++;
  }
  changed = false;
  return S_OK;
}

// The block is kept for the next commit.
void K_CMemAllocator::Free() {}

void K_CMemAllocator::ReallyFree() {
  while (K_CMediaSample* sample = freeList.RemoveHead()) delete sample;
  allocated = 0;
  FreeTracked(bufferBlock);
  bufferBlock = nullptr;
  buffer = nullptr;
}

HRESULT CreateMemoryAllocator(IMemAllocator** result) {
  if (result == nullptr) return E_POINTER;
  *result = nullptr;
  HRESULT hr = S_OK;
  K_CMemAllocator* allocator = new K_CMemAllocator("Memory allocator", nullptr, &hr);
  if (allocator == nullptr) return E_OUTOFMEMORY;
  if (FAILED(hr)) {
    delete allocator;
    return hr;
  }
  return allocator->NonDelegatingQueryInterface(IID_IMemAllocator, (void**)result);
}

}  // namespace Korvel
