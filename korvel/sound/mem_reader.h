// The memory reader: a source filter that offers a block of memory to a filter graph through
// the pull-model IAsyncReader, so that the system's parsers read an in-memory file as if it
// came from disk. Reads are queued and served by one worker thread per filter.
#pragma once
#include "dshow/dshow.h"

namespace Korvel {

// A byte stream with a position, read under its own lock.
class K_CAsyncByteStream {
 public:
  virtual ~K_CAsyncByteStream() {}
  // S_OK, or S_FALSE (no change) for a position outside the stream.
  virtual HRESULT SetPointer(LONGLONG position) = 0;
  virtual HRESULT Read(BYTE* buffer, DWORD bytes, BOOL aligned, LPDWORD read) = 0;
  // The total length; *available receives how much of it can be read now.
  virtual LONGLONG Size(LONGLONG* available) = 0;
  virtual DWORD Alignment() = 0;
  virtual void Lock() = 0;
  virtual void Unlock() = 0;
  static void* operator new(size_t size) noexcept;
  static void operator delete(void* pointer) noexcept;
};

// The stream over a memory block (not owned), throttled to `limit` KB/s unless the limit is
// 0xFFFFFFFF.
class K_CMemStream : public K_CAsyncByteStream {
 public:
  K_CMemStream(const BYTE* data, LONGLONG length, DWORD limit);
  ~K_CMemStream() override;
  HRESULT SetPointer(LONGLONG position) override;
  HRESULT Read(BYTE* buffer, DWORD bytes, BOOL aligned, LPDWORD read) override;
  LONGLONG Size(LONGLONG* available) override;
  DWORD Alignment() override { return 1; }
  void Lock() override { EnterCriticalSection(&lock); }
  void Unlock() override { LeaveCriticalSection(&lock); }
  LONGLONG Position() const { return position; }

 private:
  CRITICAL_SECTION lock;
  const BYTE* data;
  LONGLONG length;
  LONGLONG position = 0;
  DWORD limit;
  DWORD startTime;
};
const DWORD MEM_STREAM_NO_LIMIT = 0xFFFFFFFF;

class K_CAsyncReadWorker;

// One read: where, how much, into which buffer, for which sample.
class K_CAsyncReadRequest {
 public:
  void InitRead(K_CAsyncReadWorker* worker, K_CAsyncByteStream* stream, LONGLONG start, BOOL aligned, LONG length,
                BYTE* buffer, IMediaSample* sample, DWORD_PTR user);
  // Reads under the stream's lock: S_OK, S_FALSE for a short read (length becomes what was
  // read), or the stream's error.
  HRESULT CompleteRead();
  static void* operator new(size_t size) noexcept;
  static void operator delete(void* pointer) noexcept;

  K_CAsyncReadWorker* worker = nullptr;
  K_CAsyncByteStream* stream = nullptr;
  LONGLONG start = 0;
  BOOL aligned = FALSE;
  LONG length = 0;
  BYTE* buffer = nullptr;
  IMediaSample* sample = nullptr;
  DWORD_PTR user = 0;
  HRESULT result = VFW_E_TIMEOUT;
  K_CAsyncReadRequest* next = nullptr;  // list link
};

class K_CAsyncReadWorker {
 public:
  explicit K_CAsyncReadWorker(K_CAsyncByteStream* stream);
  ~K_CAsyncReadWorker();
  // True once the lock and events exist.
  bool IsReady() const { return workEvent && doneEvent && allDoneEvent && stopEvent; }

  HRESULT QueueRead(LONGLONG position, LONG length, BOOL aligned, BYTE* buffer, IMediaSample* sample, DWORD_PTR user);
  HRESULT WaitForRead(DWORD timeout, IMediaSample** sample, DWORD_PTR* user, LONG* actual);
  HRESULT ReadAlignedNow(LONGLONG position, LONG length, BYTE* buffer, LONG* actual, IMediaSample* sample);
  HRESULT ReadNow(LONGLONG position, LONG length, BYTE* buffer);
  HRESULT StreamLength(LONGLONG* total, LONGLONG* available);
  DWORD StreamAlignment() { return stream->Alignment(); }
  HRESULT BeginWorkerFlush();
  HRESULT EndWorkerFlush();
  static void* operator new(size_t size) noexcept;
  static void operator delete(void* pointer) noexcept;

 private:
  struct LIST {
    K_CAsyncReadRequest* head = nullptr;
    K_CAsyncReadRequest* tail = nullptr;
    void Append(K_CAsyncReadRequest* request);
    K_CAsyncReadRequest* RemoveHead();
  };
  HRESULT StartWorkerThread();
  void StopWorkerThread();
  static DWORD WINAPI WorkerThreadEntry(void* worker);
  DWORD WorkerThreadMain();
  void ServeQueuedReads();
  HRESULT AddQueuedRead(K_CAsyncReadRequest* request);
  K_CAsyncReadRequest* TakeQueuedRead();
  HRESULT AddDoneRead(K_CAsyncReadRequest* request);
  K_CAsyncReadRequest* TakeDoneRead();

  K_CAsyncByteStream* stream;
  CRITICAL_SECTION listLock;
  bool flushing = false;
  LIST work;
  LIST done;
  HANDLE workEvent;
  HANDLE doneEvent;
  LONG inProgress = 0;
  bool waitingForFlush = false;
  HANDLE allDoneEvent;
  HANDLE stopEvent;
  HANDLE thread = nullptr;
};

class K_CAsyncSourceFilter;

class K_CAsyncSourcePin : public IAsyncReader, public K_CBasePin {
 public:
  K_CAsyncSourcePin(HRESULT* result, K_CAsyncSourceFilter* filter, K_CAsyncReadWorker* worker,
                    CRITICAL_SECTION* lock);

  K_DECLARE_IUNKNOWN
  HRESULT STDMETHODCALLTYPE NonDelegatingQueryInterface(REFIID riid, void** object) override;

  // IPin
  HRESULT STDMETHODCALLTYPE Connect(IPin* receivePin, const AM_MEDIA_TYPE* type) override;
  HRESULT STDMETHODCALLTYPE BeginFlush() override;
  HRESULT STDMETHODCALLTYPE EndFlush() override;
  // IAsyncReader
  HRESULT STDMETHODCALLTYPE RequestAllocator(IMemAllocator* preferred, ALLOCATOR_PROPERTIES* properties,
                                             IMemAllocator** actual) override;
  HRESULT STDMETHODCALLTYPE Request(IMediaSample* sample, DWORD_PTR user) override;
  HRESULT STDMETHODCALLTYPE WaitForNext(DWORD timeout, IMediaSample** sample, DWORD_PTR* user) override;
  HRESULT STDMETHODCALLTYPE SyncReadAligned(IMediaSample* sample) override;
  HRESULT STDMETHODCALLTYPE SyncRead(LONGLONG position, LONG length, BYTE* buffer) override;
  HRESULT STDMETHODCALLTYPE Length(LONGLONG* total, LONGLONG* available) override;

  HRESULT CheckMediaType(const K_CMediaType* type) override;
  HRESULT GetMediaType(int position, K_CMediaType* type) override;
  HRESULT CheckConnect(IPin* pin) override;
  HRESULT BreakConnect() override;
  HRESULT CompleteConnect(IPin* receivePin) override;

  // The base pin's connection, for the filter's Connect.
  HRESULT ConnectAsBasePin(IPin* receivePin, const AM_MEDIA_TYPE* type) { return K_CBasePin::Connect(receivePin, type); }

 private:
  // Byte position and length of a sample from its times, and its buffer; the length is cut at
  // the end of the stream (the sample's stop time too).
  HRESULT SampleRange(IMediaSample* sample, LONGLONG* start, LONG* length, BYTE** buffer);
  bool AcceptableAlignment(LONG alignment);

  K_CAsyncSourceFilter* owner;
  K_CAsyncReadWorker* worker;
  bool queried = false;
};

class K_CAsyncSourceFilter : public K_CBaseFilter {
 public:
  K_CAsyncSourceFilter(const char* objectName, IUnknown* outer, K_CAsyncByteStream* stream, HRESULT* result);
  ~K_CAsyncSourceFilter() override;

  int GetPinCount() override { return 1; }
  K_CBasePin* GetPin(int index) override;
  virtual HRESULT Connect(IPin* receivePin, const AM_MEDIA_TYPE* type);
  const K_CMediaType& OfferedType() const { return offeredType; }

 protected:
  CRITICAL_SECTION filterLock;
  K_CAsyncReadWorker* worker = nullptr;
  K_CAsyncSourcePin* pin = nullptr;
  K_CMediaType offeredType;
};

class K_CMemReader : public K_CAsyncSourceFilter {
 public:
  K_CMemReader(K_CMemStream* stream, const AM_MEDIA_TYPE* type, HRESULT* result);
  HRESULT STDMETHODCALLTYPE Register() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE Unregister() override { return S_OK; }
};

extern const CLSID CLSID_KorvelAsyncSource;

// A stream over the data (not copied), or null when out of memory.
K_CMemStream* CreateMemStream(const BYTE* data, LONGLONG length, DWORD limit);
// A reader over the stream offering the type, with no reference yet; null (E_OUTOFMEMORY)
// when it cannot be made. The caller deletes the stream after the filter is gone.
K_CMemReader* CreateMemReader(K_CMemStream* stream, const AM_MEDIA_TYPE* type, HRESULT* result);

}  // namespace Korvel
