// Small filters built on the library's DirectShow layer for the tests: a push source with
// seeking on its pin, an in-place filter and a copying transform that mark each sample, and
// a video renderer that records what it renders and when.
#pragma once
#include <gtest/gtest.h>
#include <windows.h>

#include <vector>

#include "core/winapi.h"
#include "dshow/dshow.h"

using namespace Korvel;

// The test stream's own media type: nothing of the system's accepts it.
static const GUID TEST_MAJOR = {0x6b6f7276, 0x656c, 0x4453, {0x96, 0x01, 0x10, 0x20, 0x30, 0x40, 0x50, 0x60}};
static const GUID TEST_SUBTYPE = {0x6b6f7276, 0x656c, 0x4453, {0x96, 0x02, 0x10, 0x20, 0x30, 0x40, 0x50, 0x60}};
static const GUID TEST_OTHER_SUBTYPE = {0x6b6f7276, 0x656c, 0x4453, {0x96, 0x03, 0x10, 0x20, 0x30, 0x40, 0x50, 0x60}};
static const GUID TEST_CLSID = {0x6b6f7276, 0x656c, 0x4453, {0x96, 0x04, 0x10, 0x20, 0x30, 0x40, 0x50, 0x60}};

const REFERENCE_TIME SAMPLE_DURATION = 500000;  // 50 ms
const int SAMPLE_COUNT = 8;
const int SAMPLE_BYTES = 64;
const DWORD WAIT_MS = 5000;  // every wait of the tests is bounded by this

// Destructions of the test filters, to see the graph let them go.
inline volatile LONG& FiltersDestroyed() {
  static volatile LONG count = 0;
  return count;
}

inline void FillTestType(K_CMediaType* type, const GUID& subtype) {
  type->InitMediaType();
  type->majortype = TEST_MAJOR;
  type->subtype = subtype;
  type->formattype = FORMAT_None;
  type->lSampleSize = SAMPLE_BYTES;
}

class TestSource;

// The source's pin: delivers SAMPLE_COUNT samples of 50 ms from its own thread between
// Pause and Stop, sample i carrying i in its first byte, and seeks through IMediaSeeking by
// flushing and starting again from the new position.
class TestSourcePin : public K_CBaseOutputPin, public IMediaSeeking {
 public:
  TestSourcePin(K_CBaseFilter* filter, CRITICAL_SECTION* lock, HRESULT* hr)
      : K_CBaseOutputPin("Test source pin", filter, lock, hr, L"Out") {
    InitializeCriticalSection(&seekLock);
    gate = CreateEventA(nullptr, TRUE, TRUE, nullptr);
  }
  ~TestSourcePin() override {
    StopThread();
    CloseHandle(gate);
    DeleteCriticalSection(&seekLock);
  }
  K_DECLARE_IUNKNOWN
  HRESULT STDMETHODCALLTYPE NonDelegatingQueryInterface(REFIID riid, void** object) override {
    if (riid == IID_IMediaSeeking) return DShowGetInterface(static_cast<IMediaSeeking*>(this), object);
    return K_CBaseOutputPin::NonDelegatingQueryInterface(riid, object);
  }

  HRESULT CheckMediaType(const K_CMediaType* type) override {
    return type->majortype == TEST_MAJOR && type->subtype == TEST_SUBTYPE ? S_OK : S_FALSE;
  }
  HRESULT GetMediaType(int position, K_CMediaType* type) override {
    if (position < 0) return E_INVALIDARG;
    if (position > 0) return VFW_S_NO_MORE_ITEMS;
    FillTestType(type, TEST_SUBTYPE);
    return S_OK;
  }
  HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override {
    request->cBuffers = buffers;
    request->cbBuffer = SAMPLE_BYTES;
    ALLOCATOR_PROPERTIES actual;
    return allocator->SetProperties(request, &actual);
  }
  HRESULT Active() override {
    HRESULT hr = K_CBaseOutputPin::Active();
    if (SUCCEEDED(hr)) StartThread();
    return hr;
  }
  HRESULT Inactive() override {
    quit = true;
    HRESULT hr = K_CBaseOutputPin::Inactive();  // wakes a thread waiting for a buffer
    StopThread();
    return hr;
  }

  // IMediaSeeking: positions in 100 ns units.
  HRESULT STDMETHODCALLTYPE GetCapabilities(DWORD* caps) override {
    *caps = AM_SEEKING_CanSeekAbsolute | AM_SEEKING_CanSeekForwards | AM_SEEKING_CanSeekBackwards |
            AM_SEEKING_CanGetDuration | AM_SEEKING_CanGetStopPos;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE CheckCapabilities(DWORD* caps) override {
    DWORD mine;
    GetCapabilities(&mine);
    DWORD asked = *caps;
    *caps &= mine;
    return *caps == asked ? S_OK : (*caps != 0 ? S_FALSE : E_FAIL);
  }
  HRESULT STDMETHODCALLTYPE IsFormatSupported(const GUID* format) override {
    return *format == TIME_FORMAT_MEDIA_TIME ? S_OK : S_FALSE;
  }
  HRESULT STDMETHODCALLTYPE QueryPreferredFormat(GUID* format) override {
    *format = TIME_FORMAT_MEDIA_TIME;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTimeFormat(GUID* format) override { return QueryPreferredFormat(format); }
  HRESULT STDMETHODCALLTYPE IsUsingTimeFormat(const GUID* format) override { return IsFormatSupported(format); }
  HRESULT STDMETHODCALLTYPE SetTimeFormat(const GUID* format) override {
    return *format == TIME_FORMAT_MEDIA_TIME ? S_OK : E_INVALIDARG;
  }
  HRESULT STDMETHODCALLTYPE GetDuration(LONGLONG* duration) override {
    *duration = SAMPLE_COUNT * SAMPLE_DURATION;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetStopPosition(LONGLONG* stop) override {
    *stop = stopPosition;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetCurrentPosition(LONGLONG* current) override {
    *current = startPosition;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE ConvertTimeFormat(LONGLONG* target, const GUID* targetFormat, LONGLONG source,
                                              const GUID* sourceFormat) override {
    (void)targetFormat;
    (void)sourceFormat;
    *target = source;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE SetPositions(LONGLONG* current, DWORD currentFlags, LONGLONG* stop,
                                         DWORD stopFlags) override {
    DShowAutoLock guard(&seekLock);
    if (stop != nullptr && (stopFlags & AM_SEEKING_PositioningBitsMask) == AM_SEEKING_AbsolutePositioning) {
      stopPosition = *stop;
      stopsSeen.push_back(*stop);
    }
    if (current == nullptr || (currentFlags & AM_SEEKING_PositioningBitsMask) != AM_SEEKING_AbsolutePositioning)
      return S_OK;
    // A new current position: the stream is flushed and starts again there.
    bool streaming = thread != nullptr;
    if (streaming) {
      DeliverBeginFlush();
      quit = true;
      StopThread();
      DeliverEndFlush();
    }
    startPosition = *current;
    seeks++;
    if (streaming) StartThread();
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetPositions(LONGLONG* current, LONGLONG* stop) override {
    *current = startPosition;
    *stop = stopPosition;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetAvailable(LONGLONG* earliest, LONGLONG* latest) override {
    *earliest = 0;
    *latest = SAMPLE_COUNT * SAMPLE_DURATION;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE SetRate(double rate) override { return rate == 1.0 ? S_OK : E_INVALIDARG; }
  HRESULT STDMETHODCALLTYPE GetRate(double* rate) override {
    *rate = 1.0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetPreroll(LONGLONG* preroll) override {
    *preroll = 0;
    return S_OK;
  }

  // Closed: the thread waits before its first sample until it opens (or the wait ends).
  HANDLE gate;
  long buffers = 2;  // asked of the allocator
  volatile LONG delivered = 0;
  volatile LONG seeks = 0;
  std::vector<LONGLONG> stopsSeen;
  LONGLONG stopPosition = SAMPLE_COUNT * SAMPLE_DURATION;
  LONGLONG startPosition = 0;

 private:
  void StartThread() {
    quit = false;
    thread = CreateThread(nullptr, 0, ThreadEntry, this, 0, nullptr);
  }
  void StopThread() {
    if (thread == nullptr) return;
    EXPECT_EQ(WaitForSingleObject(thread, WAIT_MS), WAIT_OBJECT_0) << "source thread did not end";
    CloseHandle(thread);
    thread = nullptr;
  }
  static DWORD WINAPI ThreadEntry(LPVOID self) {
    static_cast<TestSourcePin*>(self)->Stream();
    return 0;
  }
  void Stream() {
    WaitForSingleObject(gate, WAIT_MS);
    LONGLONG segmentStart = startPosition;
    DeliverNewSegment(segmentStart, stopPosition, 1.0);
    for (int i = (int)(segmentStart / SAMPLE_DURATION); i < SAMPLE_COUNT && !quit; i++) {
      REFERENCE_TIME start = i * SAMPLE_DURATION - segmentStart, stop = start + SAMPLE_DURATION;
      if (i * SAMPLE_DURATION >= stopPosition) break;
      IMediaSample* sample = nullptr;
      if (FAILED(GetDeliveryBuffer(&sample, nullptr, nullptr, 0))) return;
      BYTE* bytes = nullptr;
      sample->GetPointer(&bytes);
      memset(bytes, 0, SAMPLE_BYTES);
      bytes[0] = (BYTE)i;
      sample->SetActualDataLength(SAMPLE_BYTES);
      sample->SetTime(&start, &stop);
      sample->SetSyncPoint(TRUE);
      HRESULT hr = Deliver(sample);
      sample->Release();
      InterlockedIncrement(&delivered);
      if (hr != S_OK) return;
    }
    if (!quit) DeliverEndOfStream();
  }

  CRITICAL_SECTION seekLock;
  HANDLE thread = nullptr;
  volatile bool quit = false;
};

// A filter of one pin of type PIN, made with the filter's lock (tests' sources and sinks).
template <class PIN>
class OnePinFilter : public K_CBaseFilter {
 public:
  explicit OnePinFilter(const char* name) : K_CBaseFilter(name, nullptr, &lock, TEST_CLSID) {
    InitializeCriticalSection(&lock);
    HRESULT hr = S_OK;
    pin = new PIN(this, &lock, &hr);
  }
  ~OnePinFilter() override {
    delete pin;
    DeleteCriticalSection(&lock);
  }
  int GetPinCount() override { return 1; }
  K_CBasePin* GetPin(int index) override { return index == 0 ? pin : nullptr; }
  PIN* pin;

 private:
  CRITICAL_SECTION lock;
};

class TestSource : public K_CBaseFilter {
 public:
  TestSource() : K_CBaseFilter("Test source", nullptr, &lock, TEST_CLSID) {
    InitializeCriticalSection(&lock);
    HRESULT hr = S_OK;
    pin = new TestSourcePin(this, &lock, &hr);
  }
  ~TestSource() override {
    delete pin;
    DeleteCriticalSection(&lock);
    InterlockedIncrement(&FiltersDestroyed());
  }
  int GetPinCount() override { return 1; }
  K_CBasePin* GetPin(int index) override { return index == 0 ? pin : nullptr; }
  TestSourcePin* pin;

 private:
  CRITICAL_SECTION lock;
};

// Marks each sample where it lies: the second byte counts the filters it went through.
class TestInPlace : public K_CTransInPlaceFilter {
 public:
  explicit TestInPlace(IUnknown* outer = nullptr, HRESULT* hr = nullptr)
      : K_CTransInPlaceFilter("Test in-place", outer, TEST_CLSID, hr, true) {}
  ~TestInPlace() override { InterlockedIncrement(&FiltersDestroyed()); }
  HRESULT CheckInputType(const K_CMediaType* type) override {
    if (type == nullptr) return E_POINTER;
    return type->majortype == TEST_MAJOR ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
  }
  HRESULT Transform(IMediaSample* sample) override {
    BYTE* bytes = nullptr;
    sample->GetPointer(&bytes);
    bytes[1]++;
    InterlockedIncrement(&transformed);
    return S_OK;
  }
  bool SharesOneAllocator() const { return !UsingDifferentAllocators(); }
  volatile LONG transformed = 0;
};

// Copies each sample into a new output sample, marking it the same way.
class TestCopy : public K_CTransformFilter {
 public:
  TestCopy() : K_CTransformFilter("Test copy", nullptr, TEST_CLSID) {}
  ~TestCopy() override { InterlockedIncrement(&FiltersDestroyed()); }
  HRESULT CheckInputType(const K_CMediaType* type) override {
    return type->majortype == TEST_MAJOR ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
  }
  HRESULT CheckTransform(const K_CMediaType* in, const K_CMediaType* out) override {
    return in->majortype == out->majortype ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
  }
  HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override {
    request->cBuffers = 1;
    request->cbBuffer = SAMPLE_BYTES;
    ALLOCATOR_PROPERTIES actual;
    return allocator->SetProperties(request, &actual);
  }
  HRESULT GetMediaType(int position, K_CMediaType* type) override {
    if (position > 0) return VFW_S_NO_MORE_ITEMS;
    FillTestType(type, TEST_SUBTYPE);
    return S_OK;
  }
  HRESULT Transform(IMediaSample* in, IMediaSample* out) override {
    BYTE *from = nullptr, *to = nullptr;
    in->GetPointer(&from);
    out->GetPointer(&to);
    memcpy(to, from, SAMPLE_BYTES);
    to[1]++;
    out->SetActualDataLength(SAMPLE_BYTES);
    return from != to ? S_OK : E_UNEXPECTED;
  }
  HRESULT StartStreaming() override {
    InterlockedIncrement(&starts);
    return S_OK;
  }
  HRESULT StopStreaming() override {
    InterlockedIncrement(&stops);
    return S_OK;
  }
  volatile LONG starts = 0, stops = 0;
};

struct RenderRecord {
  int index;                   // the sample's first byte
  int marks;                   // its second byte
  REFERENCE_TIME sampleStart;  // its time stamp
  REFERENCE_TIME streamTime;   // the stream time when rendered
  FILTER_STATE state;          // State_Running: rendered on its time; State_Paused: the poster frame
};

class TestRenderer : public K_CBaseVideoRenderer {
 public:
  TestRenderer() : K_CBaseVideoRenderer(TEST_CLSID, "Test renderer", nullptr, nullptr) {
    InitializeCriticalSection(&recordLock);
    rendered = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  }
  ~TestRenderer() override {
    CloseHandle(rendered);
    DeleteCriticalSection(&recordLock);
    InterlockedIncrement(&FiltersDestroyed());
  }
  HRESULT CheckMediaType(const K_CMediaType* type) override {
    if (type == nullptr) return E_POINTER;
    return type->majortype == TEST_MAJOR && type->subtype == TEST_SUBTYPE ? S_OK : E_FAIL;
  }
  HRESULT DoRenderSample(IMediaSample* sample) override {
    RenderRecord record = {};
    BYTE* bytes = nullptr;
    sample->GetPointer(&bytes);
    record.index = bytes[0];
    record.marks = bytes[1];
    REFERENCE_TIME stop;
    sample->GetTime(&record.sampleStart, &stop);
    record.streamTime = -1;
    StreamTime(&record.streamTime);
    record.state = inPoster ? State_Paused : State_Running;
    {
      DShowAutoLock guard(&recordLock);
      records.push_back(record);
    }
    SetEvent(rendered);
    return S_OK;
  }
  void OnReceiveFirstSample(IMediaSample* sample) override {
    inPoster = true;
    K_CBaseVideoRenderer::OnReceiveFirstSample(sample);
    inPoster = false;
  }
  HRESULT BeginFlush() override {
    InterlockedIncrement(&flushes);
    return K_CBaseVideoRenderer::BeginFlush();
  }
  std::vector<RenderRecord> Records() {
    DShowAutoLock guard(&recordLock);
    return records;
  }
  // Waits until at least count samples were rendered; false when the wait ran out.
  bool WaitForRecords(size_t count, bool runningOnly = false) {
    DWORD begin = GetTickCount();
    for (;;) {
      size_t have = 0;
      for (const RenderRecord& r : Records()) have += !runningOnly || r.state == State_Running;
      if (have >= count) break;
      if (GetTickCount() - begin > WAIT_MS) return false;
      WaitForSingleObject(rendered, 50);
    }
    return true;
  }
  volatile LONG flushes = 0;

 private:
  bool inPoster = false;  // only the streaming thread renders
  CRITICAL_SECTION recordLock;
  HANDLE rendered;
  std::vector<RenderRecord> records;
};

// COM through the run-time table, as the library reaches it.
class ComEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    LoadWinApiTable();
    ASSERT_NE(WinApi.ole32.CoInitializeEx, nullptr);
    WinApi.ole32.CoInitializeEx(nullptr, COINIT_MULTITHREADED);
  }
  void TearDown() override {
    WinApi.ole32.CoUninitialize();
    FreeWinApiTable();
  }
};
