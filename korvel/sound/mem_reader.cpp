// The memory stream, the queued reads and their worker thread, the IAsyncReader output pin and
// the memory reader filter.
#include "sound/mem_reader.h"

#include <cstdint>
#include <cstring>
#include <initializer_list>

#include "core/memory.h"
#include "core/winapi.h"

namespace Korvel {

const CLSID CLSID_KorvelAsyncSource = {0xC553F2C0, 0x1529, 0x11D0, {0xB4, 0xD1, 0x00, 0x80, 0x5F, 0x6C, 0xBB, 0xEA}};

namespace {
const LONGLONG kUnitsPerByte = 10000000;  // IAsyncReader: one second of stream time per byte

DWORD Milliseconds() {
  return WinApi.winmm.timeGetTime != nullptr ? WinApi.winmm.timeGetTime() : GetTickCount();
}
}  // namespace

void* K_CAsyncByteStream::operator new(size_t size) noexcept { return AllocTracked(size, "mem stream", __LINE__); }
void K_CAsyncByteStream::operator delete(void* pointer) noexcept { FreeTracked(pointer); }
void* K_CAsyncReadRequest::operator new(size_t size) noexcept { return AllocTracked(size, "read request", __LINE__); }
void K_CAsyncReadRequest::operator delete(void* pointer) noexcept { FreeTracked(pointer); }
void* K_CAsyncReadWorker::operator new(size_t size) noexcept { return AllocTracked(size, "read worker", __LINE__); }
void K_CAsyncReadWorker::operator delete(void* pointer) noexcept { FreeTracked(pointer); }

// ---- memory stream ----

K_CMemStream::K_CMemStream(const BYTE* data, LONGLONG length, DWORD limit)
    : data(data), length(length), limit(limit), startTime(Milliseconds()) {
  InitializeCriticalSection(&lock);
}

K_CMemStream::~K_CMemStream() { DeleteCriticalSection(&lock); }

HRESULT K_CMemStream::SetPointer(LONGLONG p) {
  if (p < 0 || p > length) return S_FALSE;
  position = p;
  return S_OK;
}

HRESULT K_CMemStream::Read(BYTE* buffer, DWORD bytes, BOOL aligned, LPDWORD read) {
  (void)aligned;
  DShowAutoLock guard(&lock);
  DWORD now = Milliseconds();
  LONGLONG n = bytes;
  if (position + n > length) n = length - position;
  if (n < 0) n = 0;
  if (limit != MEM_STREAM_NO_LIMIT && limit != 0) {
    // Byte b is not delivered before b / limit milliseconds after creation.
    DWORD arrival = (DWORD)(position + n) / limit;
    if (now - startTime < arrival) Sleep(startTime + arrival - now);
  }
  memcpy(buffer, data + position, (size_t)n);
  position += n;
  *read = (DWORD)n;
  return S_OK;
}

LONGLONG K_CMemStream::Size(LONGLONG* available) {
  if (limit == MEM_STREAM_NO_LIMIT || limit == 0) {
    *available = length;
  } else {
    LONGLONG arrived = (LONGLONG)(Milliseconds() - startTime) * limit;
    *available = arrived < length ? arrived : length;
  }
  return length;
}

K_CMemStream* CreateMemStream(const BYTE* data, LONGLONG length, DWORD limit) {
  return new K_CMemStream(data, length, limit);
}

// ---- read request ----

void K_CAsyncReadRequest::InitRead(K_CAsyncReadWorker* owner, K_CAsyncByteStream* byteStream, LONGLONG position,
                                   BOOL isAligned, LONG bytes, BYTE* target, IMediaSample* forSample,
                                   DWORD_PTR userValue) {
  worker = owner;
  stream = byteStream;
  start = position;
  aligned = isAligned;
  length = bytes;
  buffer = target;
  sample = forSample;
  user = userValue;
  result = VFW_E_TIMEOUT;
  next = nullptr;
}

HRESULT K_CAsyncReadRequest::CompleteRead() {
  stream->Lock();
  result = stream->SetPointer(start);
  if (result == S_OK) {
    DWORD actual = 0;
    result = stream->Read(buffer, (DWORD)length, aligned, &actual);
    if (result == OLE_S_FIRST && sample != nullptr) {
      sample->SetDiscontinuity(TRUE);
      result = S_OK;
    }
    if (SUCCEEDED(result)) {
      if ((LONG)actual != length) {
        length = (LONG)actual;
        result = S_FALSE;
      } else {
        result = S_OK;
      }
    }
  }
  stream->Unlock();
  return result;
}

// ---- worker ----

void K_CAsyncReadWorker::LIST::Append(K_CAsyncReadRequest* request) {
  request->next = nullptr;
  if (tail != nullptr) tail->next = request;
  else head = request;
  tail = request;
}

K_CAsyncReadRequest* K_CAsyncReadWorker::LIST::RemoveHead() {
  K_CAsyncReadRequest* request = head;
  if (request == nullptr) return nullptr;
  head = request->next;
  if (head == nullptr) tail = nullptr;
  request->next = nullptr;
  return request;
}

K_CAsyncReadWorker::K_CAsyncReadWorker(K_CAsyncByteStream* stream)
    : stream(stream),
      workEvent(CreateEventA(nullptr, TRUE, FALSE, nullptr)),
      doneEvent(CreateEventA(nullptr, TRUE, FALSE, nullptr)),
      allDoneEvent(CreateEventA(nullptr, FALSE, FALSE, nullptr)),
      stopEvent(CreateEventA(nullptr, TRUE, FALSE, nullptr)) {
  InitializeCriticalSection(&listLock);
}

K_CAsyncReadWorker::~K_CAsyncReadWorker() {
  BeginWorkerFlush();
  StopWorkerThread();
  while (K_CAsyncReadRequest* request = done.RemoveHead()) delete request;
  for (HANDLE event : {workEvent, doneEvent, allDoneEvent, stopEvent})
    if (event != nullptr) CloseHandle(event);
  DeleteCriticalSection(&listLock);
}

HRESULT K_CAsyncReadWorker::QueueRead(LONGLONG position, LONG length, BOOL aligned, BYTE* buffer,
                                      IMediaSample* sample, DWORD_PTR user) {
  if (aligned) {
    DWORD alignment = stream->Alignment();
    if (position % alignment != 0 || length % (LONG)alignment != 0 || (uintptr_t)buffer % alignment != 0)
      return VFW_E_BADALIGN;
  }
  K_CAsyncReadRequest* request = new K_CAsyncReadRequest;
  if (request == nullptr) return E_OUTOFMEMORY;
  request->InitRead(this, stream, position, aligned, length, buffer, sample, user);
  HRESULT hr = AddQueuedRead(request);
  if (FAILED(hr)) delete request;
  return hr;
}

HRESULT K_CAsyncReadWorker::AddQueuedRead(K_CAsyncReadRequest* request) {
  DShowAutoLock guard(&listLock);
  if (flushing) return VFW_E_WRONG_STATE;
  work.Append(request);
  SetEvent(workEvent);
  return StartWorkerThread();
}

K_CAsyncReadRequest* K_CAsyncReadWorker::TakeQueuedRead() {
  K_CAsyncReadRequest* request = work.RemoveHead();
  if (work.head == nullptr) ResetEvent(workEvent);
  return request;
}

HRESULT K_CAsyncReadWorker::AddDoneRead(K_CAsyncReadRequest* request) {
  done.Append(request);
  SetEvent(doneEvent);
  return S_OK;
}

K_CAsyncReadRequest* K_CAsyncReadWorker::TakeDoneRead() {
  K_CAsyncReadRequest* request = done.RemoveHead();
  if (done.head == nullptr && !(flushing && !waitingForFlush)) ResetEvent(doneEvent);
  return request;
}

HRESULT K_CAsyncReadWorker::WaitForRead(DWORD timeout, IMediaSample** sample, DWORD_PTR* user, LONG* actual) {
  *sample = nullptr;
  *user = 0;
  *actual = 0;
  for (;;) {
    if (WaitForSingleObject(doneEvent, timeout) != WAIT_OBJECT_0) return VFW_E_TIMEOUT;
    DShowAutoLock guard(&listLock);
    K_CAsyncReadRequest* request = TakeDoneRead();
    if (request != nullptr) {
      HRESULT hr = request->result;
      if (hr == S_FALSE) {
        // A short read is fine only where the stream ends.
        LONGLONG total = 0, available = 0;
        total = stream->Size(&available);
        hr = request->start + request->length == total ? S_OK : E_FAIL;
      }
      *sample = request->sample;
      *user = request->user;
      *actual = request->length;
      delete request;
      return hr;
    }
    if (flushing && !waitingForFlush) return VFW_E_WRONG_STATE;
  }
}

HRESULT K_CAsyncReadWorker::ReadAlignedNow(LONGLONG position, LONG length, BYTE* buffer, LONG* actual,
                                           IMediaSample* sample) {
  DWORD alignment = stream->Alignment();
  if (position % alignment != 0 || length % (LONG)alignment != 0 || (uintptr_t)buffer % alignment != 0)
    return VFW_E_BADALIGN;
  K_CAsyncReadRequest request;
  request.InitRead(this, stream, position, TRUE, length, buffer, sample, 0);
  HRESULT hr = request.CompleteRead();
  *actual = request.length;
  return hr;
}

HRESULT K_CAsyncReadWorker::ReadNow(LONGLONG position, LONG length, BYTE* buffer) {
  DWORD alignment = stream->Alignment();
  if (position % alignment == 0 && length % (LONG)alignment == 0 && (uintptr_t)buffer % alignment == 0) {
    LONG actual = 0;
    return ReadAlignedNow(position, length, buffer, &actual, nullptr);
  }
  K_CAsyncReadRequest request;
  request.InitRead(this, stream, position, FALSE, length, buffer, nullptr, 0);
  return request.CompleteRead();
}

HRESULT K_CAsyncReadWorker::StreamLength(LONGLONG* total, LONGLONG* available) {
  *total = stream->Size(available);
  return S_OK;
}

HRESULT K_CAsyncReadWorker::BeginWorkerFlush() {
  EnterCriticalSection(&listLock);
  flushing = true;
  while (K_CAsyncReadRequest* request = TakeQueuedRead()) AddDoneRead(request);
  if (inProgress > 0) {
    waitingForFlush = true;
    for (;;) {
      LeaveCriticalSection(&listLock);
      WaitForSingleObject(allDoneEvent, INFINITE);
      EnterCriticalSection(&listLock);
      if (inProgress == 0) break;
    }
    waitingForFlush = false;
  }
  SetEvent(doneEvent);
  LeaveCriticalSection(&listLock);
  return S_OK;
}

HRESULT K_CAsyncReadWorker::EndWorkerFlush() {
  DShowAutoLock guard(&listLock);
  flushing = false;
  if (done.head != nullptr) SetEvent(doneEvent);
  else ResetEvent(doneEvent);
  return S_OK;
}

HRESULT K_CAsyncReadWorker::StartWorkerThread() {
  if (thread != nullptr) return S_OK;
  ResetEvent(stopEvent);
  DWORD id = 0;
  thread = CreateThread(nullptr, 0, WorkerThreadEntry, this, 0, &id);
  return thread != nullptr ? S_OK : HRESULT_FROM_WIN32(GetLastError());
}

void K_CAsyncReadWorker::StopWorkerThread() {
  if (stopEvent != nullptr) SetEvent(stopEvent);
  if (thread == nullptr) return;
  WaitForSingleObject(thread, INFINITE);
  CloseHandle(thread);
  thread = nullptr;
}

DWORD WINAPI K_CAsyncReadWorker::WorkerThreadEntry(void* worker) {
  return static_cast<K_CAsyncReadWorker*>(worker)->WorkerThreadMain();
}

DWORD K_CAsyncReadWorker::WorkerThreadMain() {
  HANDLE events[2] = {stopEvent, workEvent};
  while (WaitForMultipleObjects(2, events, FALSE, INFINITE) == WAIT_OBJECT_0 + 1) ServeQueuedReads();
  return 0;
}

// The list lock is never held while reading.
void K_CAsyncReadWorker::ServeQueuedReads() {
  EnterCriticalSection(&listLock);
  while (K_CAsyncReadRequest* request = TakeQueuedRead()) {
    inProgress++;
    LeaveCriticalSection(&listLock);
    request->CompleteRead();
    EnterCriticalSection(&listLock);
    AddDoneRead(request);
    if (--inProgress == 0 && waitingForFlush) SetEvent(allDoneEvent);
  }
  LeaveCriticalSection(&listLock);
}

// ---- output pin ----

K_CAsyncSourcePin::K_CAsyncSourcePin(HRESULT* result, K_CAsyncSourceFilter* filter, K_CAsyncReadWorker* worker,
                                     CRITICAL_SECTION* lock)
    : K_CBasePin(nullptr, filter, lock, result, L"Output", PINDIR_OUTPUT), owner(filter), worker(worker) {}

HRESULT STDMETHODCALLTYPE K_CAsyncSourcePin::NonDelegatingQueryInterface(REFIID riid, void** object) {
  if (object == nullptr) return E_POINTER;
  if (riid == IID_IAsyncReader) {
    queried = true;
    return DShowGetInterface(static_cast<IAsyncReader*>(this), object);
  }
  return K_CBasePin::NonDelegatingQueryInterface(riid, object);
}

HRESULT STDMETHODCALLTYPE K_CAsyncSourcePin::Connect(IPin* receivePin, const AM_MEDIA_TYPE* type) {
  return owner->Connect(receivePin, type);
}

HRESULT STDMETHODCALLTYPE K_CAsyncSourcePin::BeginFlush() { return worker->BeginWorkerFlush(); }
HRESULT STDMETHODCALLTYPE K_CAsyncSourcePin::EndFlush() { return worker->EndWorkerFlush(); }

bool K_CAsyncSourcePin::AcceptableAlignment(LONG alignment) {
  LONG streamAlignment = (LONG)worker->StreamAlignment();
  return alignment > 0 && alignment % streamAlignment == 0;
}

HRESULT STDMETHODCALLTYPE K_CAsyncSourcePin::RequestAllocator(IMemAllocator* preferred,
                                                              ALLOCATOR_PROPERTIES* properties,
                                                              IMemAllocator** actual) {
  if (properties == nullptr || actual == nullptr) return E_POINTER;
  *actual = nullptr;
  if (!AcceptableAlignment(properties->cbAlign)) properties->cbAlign = (LONG)worker->StreamAlignment();
  ALLOCATOR_PROPERTIES granted;
  if (preferred != nullptr && SUCCEEDED(preferred->SetProperties(properties, &granted)) &&
      AcceptableAlignment(granted.cbAlign)) {
    preferred->AddRef();
    *actual = preferred;
    return S_OK;
  }
  IMemAllocator* allocator = nullptr;
  K_CMemAllocator* made = new K_CMemAllocator("Memory allocator", nullptr, nullptr);
  if (made == nullptr) return E_OUTOFMEMORY;
  if (FAILED(made->NonDelegatingQueryInterface(IID_IMemAllocator, (void**)&allocator))) {
    delete made;
    return E_NOINTERFACE;
  }
  HRESULT hr = allocator->SetProperties(properties, &granted);
  if (SUCCEEDED(hr) && AcceptableAlignment(granted.cbAlign)) {
    *actual = allocator;
    return S_OK;
  }
  allocator->Release();
  return FAILED(hr) ? hr : VFW_E_BADALIGN;
}

HRESULT K_CAsyncSourcePin::SampleRange(IMediaSample* sample, LONGLONG* start, LONG* length, BYTE** buffer) {
  REFERENCE_TIME startTime = 0, stopTime = 0;
  HRESULT hr = sample->GetTime(&startTime, &stopTime);
  if (FAILED(hr)) return hr;
  hr = sample->GetPointer(buffer);
  if (FAILED(hr)) return hr;
  LONGLONG position = startTime / kUnitsPerByte;
  LONGLONG bytes = (stopTime - startTime) / kUnitsPerByte;
  LONGLONG total = 0, available = 0;
  worker->StreamLength(&total, &available);
  if (position + bytes > total) {
    LONGLONG alignment = worker->StreamAlignment();
    LONGLONG rounded = (total + alignment - 1) / alignment * alignment;
    if (position + bytes > rounded) {
      bytes = rounded - position;
      REFERENCE_TIME end = rounded * kUnitsPerByte;
      sample->SetTime(&startTime, &end);
    }
  }
  // Never more than the sample holds, never a negative count.
  if (bytes < 0) bytes = 0;
  if (bytes > sample->GetSize()) bytes = sample->GetSize();
  *start = position;
  *length = (LONG)bytes;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE K_CAsyncSourcePin::Request(IMediaSample* sample, DWORD_PTR user) {
  if (sample == nullptr) return E_POINTER;
  LONGLONG start = 0;
  LONG length = 0;
  BYTE* buffer = nullptr;
  HRESULT hr = SampleRange(sample, &start, &length, &buffer);
  if (FAILED(hr)) return hr;
  return worker->QueueRead(start, length, TRUE, buffer, sample, user);
}

HRESULT STDMETHODCALLTYPE K_CAsyncSourcePin::WaitForNext(DWORD timeout, IMediaSample** sample, DWORD_PTR* user) {
  if (sample == nullptr) return E_POINTER;
  DWORD_PTR value = 0;
  LONG actual = 0;
  HRESULT hr = worker->WaitForRead(timeout, sample, &value, &actual);
  if (user != nullptr) *user = value;
  if (SUCCEEDED(hr) && *sample != nullptr) (*sample)->SetActualDataLength(actual);
  return hr;
}

HRESULT STDMETHODCALLTYPE K_CAsyncSourcePin::SyncReadAligned(IMediaSample* sample) {
  if (sample == nullptr) return E_POINTER;
  LONGLONG start = 0;
  LONG length = 0;
  BYTE* buffer = nullptr;
  HRESULT hr = SampleRange(sample, &start, &length, &buffer);
  if (FAILED(hr)) return hr;
  LONG actual = 0;
  hr = worker->ReadAlignedNow(start, length, buffer, &actual, sample);
  sample->SetActualDataLength(actual);
  return hr;
}

HRESULT STDMETHODCALLTYPE K_CAsyncSourcePin::SyncRead(LONGLONG position, LONG length, BYTE* buffer) {
  if (buffer == nullptr) return E_POINTER;
  return worker->ReadNow(position, length, buffer);
}

HRESULT STDMETHODCALLTYPE K_CAsyncSourcePin::Length(LONGLONG* total, LONGLONG* available) {
  if (total == nullptr || available == nullptr) return E_POINTER;
  return worker->StreamLength(total, available);
}

HRESULT K_CAsyncSourcePin::CheckMediaType(const K_CMediaType* type) {
  DShowAutoLock guard(lock);
  const K_CMediaType& offered = owner->OfferedType();
  if (type->majortype == offered.majortype && (offered.subtype == GUID_NULL || type->subtype == offered.subtype))
    return S_OK;
  return S_FALSE;
}

HRESULT K_CAsyncSourcePin::GetMediaType(int position, K_CMediaType* type) {
  if (position < 0) return E_INVALIDARG;
  if (position > 0) return VFW_S_NO_MORE_ITEMS;
  if (type == nullptr) return E_POINTER;
  if (owner == nullptr) return E_UNEXPECTED;
  return type->Set(owner->OfferedType());
}

HRESULT K_CAsyncSourcePin::CheckConnect(IPin* pin) {
  queried = false;
  return K_CBasePin::CheckConnect(pin);
}

HRESULT K_CAsyncSourcePin::BreakConnect() {
  queried = false;
  return S_OK;
}

HRESULT K_CAsyncSourcePin::CompleteConnect(IPin* receivePin) {
  if (!queried) return E_FAIL;
  return K_CBasePin::CompleteConnect(receivePin);
}

// ---- filters ----

K_CAsyncSourceFilter::K_CAsyncSourceFilter(const char* objectName, IUnknown* outer, K_CAsyncByteStream* stream,
                                           HRESULT* result)
    : K_CBaseFilter(objectName, outer, &filterLock, CLSID_KorvelAsyncSource) {
  InitializeCriticalSection(&filterLock);
  worker = new K_CAsyncReadWorker(stream);
  if (worker == nullptr || !worker->IsReady()) {
    if (result != nullptr) *result = E_OUTOFMEMORY;
    return;
  }
  pin = new K_CAsyncSourcePin(result, this, worker, &filterLock);
  if (pin == nullptr && result != nullptr) *result = E_OUTOFMEMORY;
}

K_CAsyncSourceFilter::~K_CAsyncSourceFilter() {
  delete pin;
  delete worker;
  DeleteCriticalSection(&filterLock);
}

K_CBasePin* K_CAsyncSourceFilter::GetPin(int index) { return index == 0 ? pin : nullptr; }

HRESULT K_CAsyncSourceFilter::Connect(IPin* receivePin, const AM_MEDIA_TYPE* type) {
  return pin->ConnectAsBasePin(receivePin, type);
}

K_CMemReader::K_CMemReader(K_CMemStream* stream, const AM_MEDIA_TYPE* type, HRESULT* result)
    : K_CAsyncSourceFilter("Mem Reader", nullptr, stream, result) {
  if (type != nullptr && FAILED(offeredType.Set(*type)) && result != nullptr) *result = E_OUTOFMEMORY;
}

K_CMemReader* CreateMemReader(K_CMemStream* stream, const AM_MEDIA_TYPE* type, HRESULT* result) {
  HRESULT hr = S_OK;
  K_CMemReader* reader = new K_CMemReader(stream, type, &hr);
  if (reader != nullptr && FAILED(hr)) {
    delete reader;
    reader = nullptr;
  }
  if (reader == nullptr) hr = E_OUTOFMEMORY;
  if (result != nullptr) *result = hr;
  return reader;
}

}  // namespace Korvel
