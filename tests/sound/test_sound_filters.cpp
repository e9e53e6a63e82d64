// The DirectShow filters of the sound conversion: the memory stream and the memory reader's
// reads, positions and connection rules; the sample grabber's type matching, callbacks and
// delivery buffer in a real filter graph of the system; the WAV writer's header after a known
// number of bytes and its refusals.
#include "../dshow/dshow_test_filters.h"

#include <control.h>

#include <cstring>
#include <string>
#include <vector>

#include "core/memory.h"
#include "sound/mem_reader.h"
#include "sound/sample_grabber.h"
#include "sound/wave_writer.h"

namespace {

::testing::Environment* const com = ::testing::AddGlobalTestEnvironment(new ComEnvironment);

std::vector<BYTE> Pattern(size_t n) {
  std::vector<BYTE> bytes(n);
  for (size_t i = 0; i < n; i++) bytes[i] = (BYTE)(i * 13 + 5);
  return bytes;
}

TEST(MemStream, PositionsAndWhatIsAvailable) {
  std::vector<BYTE> data = Pattern(6000);
  K_CMemStream* stream = CreateMemStream(data.data(), 6000, MEM_STREAM_NO_LIMIT);
  ASSERT_NE(stream, nullptr);
  EXPECT_EQ(stream->SetPointer(6000), S_OK);
  EXPECT_EQ(stream->SetPointer(6001), S_FALSE);
  EXPECT_EQ(stream->SetPointer(-1), S_FALSE);
  EXPECT_EQ(stream->Position(), 6000);
  // Without a limit the whole length is there at once.
  LONGLONG available = -1;
  EXPECT_EQ(stream->Size(&available), 6000);
  EXPECT_EQ(available, 6000);
  // A read past the end gives what is left.
  BYTE buffer[100];
  DWORD read = 0;
  ASSERT_EQ(stream->SetPointer(5950), S_OK);
  EXPECT_EQ(stream->Read(buffer, 100, FALSE, &read), S_OK);
  EXPECT_EQ(read, 50u);
  EXPECT_EQ(memcmp(buffer, &data[5950], 50), 0);
  EXPECT_EQ(stream->Position(), 6000);
  delete stream;
}

// With a limit of L KB/s byte b comes no earlier than b / L ms after creation.
TEST(MemStream, LimitDelaysTheBytes) {
  std::vector<BYTE> data(300000);
  std::vector<BYTE> target(data.size());
  DWORD start = GetTickCount();
  K_CMemStream* stream = CreateMemStream(data.data(), (LONGLONG)data.size(), 1000);
  ASSERT_NE(stream, nullptr);
  LONGLONG available = -1;
  EXPECT_EQ(stream->Size(&available), 300000);
  EXPECT_LT(available, 300000);
  DWORD read = 0;
  ASSERT_EQ(stream->Read(target.data(), 300000, FALSE, &read), S_OK);
  EXPECT_EQ(read, 300000u);
  EXPECT_GE(GetTickCount() - start + 16, 300u);  // the tick count's granularity
  delete stream;
}

// A stream whose reads come up short by a few bytes, to see how a short read is reported.
class ShortStream : public K_CAsyncByteStream {
 public:
  HRESULT SetPointer(LONGLONG p) override {
    position = p;
    return p >= 0 && p <= 10000 ? S_OK : S_FALSE;
  }
  HRESULT Read(BYTE* buffer, DWORD bytes, BOOL, LPDWORD read) override {
    *read = bytes > 10 ? bytes - 10 : 0;
    memset(buffer, 0x5A, *read);
    return S_OK;
  }
  LONGLONG Size(LONGLONG* available) override {
    *available = 10000;
    return 10000;
  }
  DWORD Alignment() override { return 1; }
  void Lock() override {}
  void Unlock() override {}
  LONGLONG position = 0;
};

// A sample from the reader pin's own allocator, with byte positions as its times.
IMediaSample* ReadSample(IAsyncReader* reader, IMemAllocator** allocator, LONGLONG from, LONGLONG to, LONG size) {
  ALLOCATOR_PROPERTIES props = {1, size, 1, 0};
  if (*allocator == nullptr) {
    EXPECT_EQ(reader->RequestAllocator(nullptr, &props, allocator), S_OK);
    EXPECT_EQ((*allocator)->Commit(), S_OK);
  }
  IMediaSample* sample = nullptr;
  EXPECT_EQ((*allocator)->GetBuffer(&sample, nullptr, nullptr, 0), S_OK);
  REFERENCE_TIME start = from * 10000000, stop = to * 10000000;
  sample->SetTime(&start, &stop);
  return sample;
}

TEST(MemReader, RequestsAreCutAtTheEndAndShortReadsElsewhereFail) {
  int blocks = GetAllocBlockCount();
  std::vector<BYTE> data = Pattern(6000);
  K_CMemStream* stream = CreateMemStream(data.data(), 6000, MEM_STREAM_NO_LIMIT);
  K_CMediaType type;
  type.majortype = MEDIATYPE_Stream;
  HRESULT hr = E_FAIL;
  K_CMemReader* reader = CreateMemReader(stream, &type, &hr);
  ASSERT_NE(reader, nullptr);
  EXPECT_EQ(hr, S_OK);
  reader->AddRef();
  IAsyncReader* async = nullptr;
  ASSERT_EQ(reader->GetPin(0)->QueryInterface(IID_IAsyncReader, (void**)&async), S_OK);
  LONGLONG total = 0, available = 0;
  EXPECT_EQ(async->Length(&total, &available), S_OK);
  EXPECT_EQ(total, 6000);
  EXPECT_EQ(available, 6000);

  IMemAllocator* allocator = nullptr;
  IMediaSample* sample = ReadSample(async, &allocator, 4096, 8192, 4096);
  ASSERT_EQ(async->Request(sample, 77), S_OK);
  REFERENCE_TIME start = 0, stop = 0;
  sample->GetTime(&start, &stop);
  EXPECT_EQ(stop, 6000LL * 10000000);
  IMediaSample* done = nullptr;
  DWORD_PTR user = 0;
  EXPECT_EQ(async->WaitForNext(WAIT_MS, &done, &user), S_OK);
  EXPECT_EQ(done, sample);
  EXPECT_EQ(user, 77u);
  EXPECT_EQ(sample->GetActualDataLength(), 1904);
  BYTE* bytes = nullptr;
  sample->GetPointer(&bytes);
  EXPECT_EQ(memcmp(bytes, &data[4096], 1904), 0);

  // Reads on the caller's thread.
  BYTE piece[10];
  EXPECT_EQ(async->SyncRead(100, 10, piece), S_OK);
  EXPECT_EQ(memcmp(piece, &data[100], 10), 0);
  REFERENCE_TIME s0 = 0, s1 = 512LL * 10000000;
  sample->SetTime(&s0, &s1);
  EXPECT_EQ(async->SyncReadAligned(sample), S_OK);
  EXPECT_EQ(sample->GetActualDataLength(), 512);

  // Flushing: queued work comes back, new requests are refused until the flush ends.
  EXPECT_EQ(async->BeginFlush(), S_OK);
  EXPECT_EQ(async->Request(sample, 1), VFW_E_WRONG_STATE);
  EXPECT_EQ(async->WaitForNext(0, &done, &user), VFW_E_WRONG_STATE);
  EXPECT_EQ(async->EndFlush(), S_OK);
  EXPECT_EQ(async->WaitForNext(0, &done, &user), VFW_E_TIMEOUT);
  sample->Release();
  allocator->Decommit();
  allocator->Release();
  async->Release();
  EXPECT_EQ(reader->Release(), 0u);
  delete stream;

  // A short read in the middle of a stream is a failure.
  ShortStream* shortStream = new ShortStream;
  K_CAsyncSourceFilter* filter = new K_CAsyncSourceFilter("short", nullptr, shortStream, &hr);
  filter->AddRef();
  ASSERT_EQ(filter->GetPin(0)->QueryInterface(IID_IAsyncReader, (void**)&async), S_OK);
  allocator = nullptr;
  sample = ReadSample(async, &allocator, 0, 1000, 1000);
  ASSERT_EQ(async->Request(sample, 0), S_OK);
  EXPECT_EQ(async->WaitForNext(WAIT_MS, &done, &user), E_FAIL);
  EXPECT_EQ(done, sample);
  sample->Release();
  allocator->Decommit();
  allocator->Release();
  async->Release();
  EXPECT_EQ(filter->Release(), 0u);
  delete shortStream;
  EXPECT_EQ(GetAllocBlockCount(), blocks);
}

TEST(MemReader, OfferedTypeAndConnectionRules) {
  std::vector<BYTE> data = Pattern(100);
  K_CMemStream* stream = CreateMemStream(data.data(), 100, MEM_STREAM_NO_LIMIT);
  K_CMediaType offered;
  FillTestType(&offered, TEST_SUBTYPE);
  HRESULT hr = S_OK;
  K_CMemReader* reader = CreateMemReader(stream, &offered, &hr);
  ASSERT_NE(reader, nullptr);
  reader->AddRef();
  K_CBasePin* pin = reader->GetPin(0);
  EXPECT_EQ(reader->GetPinCount(), 1);
  EXPECT_EQ(reader->GetPin(1), nullptr);
  K_CMediaType type;
  EXPECT_EQ(pin->GetMediaType(0, &type), S_OK);
  EXPECT_EQ(type.subtype, TEST_SUBTYPE);
  EXPECT_EQ(pin->GetMediaType(1, &type), VFW_S_NO_MORE_ITEMS);
  EXPECT_EQ(pin->GetMediaType(-1, &type), E_INVALIDARG);
  FillTestType(&type, TEST_OTHER_SUBTYPE);
  EXPECT_EQ(pin->CheckMediaType(&type), S_FALSE);
  FillTestType(&type, TEST_SUBTYPE);
  EXPECT_EQ(pin->CheckMediaType(&type), S_OK);
  PIN_INFO info;
  ASSERT_EQ(pin->QueryPinInfo(&info), S_OK);
  EXPECT_EQ(std::wstring(info.achName), L"Output");
  EXPECT_EQ(info.dir, PINDIR_OUTPUT);
  info.pFilter->Release();

  // A push-model pin never asks for IAsyncReader: the connection is refused.
  TestRenderer* renderer = new TestRenderer;
  renderer->AddRef();
  EXPECT_EQ(pin->Connect(renderer->GetPin(0), &type), E_FAIL);
  EXPECT_FALSE(pin->IsConnected());
  EXPECT_EQ(renderer->Release(), 0u);
  EXPECT_EQ(reader->Release(), 0u);
  delete stream;

  // An offered subtype GUID_NULL takes any subtype of the major type.
  stream = CreateMemStream(data.data(), 100, MEM_STREAM_NO_LIMIT);
  offered.subtype = GUID_NULL;
  reader = CreateMemReader(stream, &offered, &hr);
  reader->AddRef();
  FillTestType(&type, TEST_OTHER_SUBTYPE);
  EXPECT_EQ(reader->GetPin(0)->CheckMediaType(&type), S_OK);
  EXPECT_EQ(reader->Release(), 0u);
  delete stream;
}

// ---- sample grabber ----

struct Grabbed {
  std::vector<BOOL> typeChanged;
  std::vector<REFERENCE_TIME> starts;
  std::vector<int> indexes;
  HRESULT answer = S_OK;
};

HRESULT Collect(IMediaSample* sample, REFERENCE_TIME* start, REFERENCE_TIME* stop, BOOL typeChanged, void* user) {
  (void)stop;
  Grabbed* g = static_cast<Grabbed*>(user);
  BYTE* bytes = nullptr;
  sample->GetPointer(&bytes);
  g->typeChanged.push_back(typeChanged);
  g->starts.push_back(*start);
  g->indexes.push_back(bytes[0]);
  return g->answer;
}

// source -> grabber -> renderer in a graph of the system.
struct GrabberGraph {
  IGraphBuilder* graph = nullptr;
  IMediaControl* control = nullptr;
  IMediaEvent* events = nullptr;
  TestSource* source = new TestSource;
  K_CSampleGrabber* grabber = nullptr;
  TestRenderer* renderer = new TestRenderer;
  ISampleGrabberSetup* setup = nullptr;

  GrabberGraph() {
    HRESULT hr = S_OK;
    grabber = CreateSampleGrabber(nullptr, &hr);
    EXPECT_EQ(hr, S_OK);
    source->AddRef();
    grabber->AddRef();
    renderer->AddRef();
    grabber->QueryInterface(IID_ISampleGrabberSetup, (void**)&setup);
    EXPECT_EQ(WinApi.ole32.CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder,
                                            (void**)&graph),
              S_OK);
    graph->QueryInterface(IID_IMediaControl, (void**)&control);
    graph->QueryInterface(IID_IMediaEvent, (void**)&events);
    graph->AddFilter(source, L"Source");
    graph->AddFilter(grabber, L"SampleGrabber");
    graph->AddFilter(renderer, L"Renderer");
  }
  HRESULT ConnectAll() {
    HRESULT hr = graph->ConnectDirect(source->GetPin(0), grabber->GetPin(0), nullptr);
    if (FAILED(hr)) return hr;
    return graph->ConnectDirect(grabber->GetPin(1), renderer->GetPin(0), nullptr);
  }
  long Run() {
    control->Run();
    long code = -1;
    return events->WaitForCompletion(WAIT_MS, &code) == S_OK ? code : -1;
  }
  ~GrabberGraph() {
    control->Stop();
    setup->Release();
    events->Release();
    control->Release();
    graph->Release();
    EXPECT_EQ(source->Release(), 0u);
    EXPECT_EQ(grabber->Release(), 0u);
    EXPECT_EQ(renderer->Release(), 0u);
  }
};

TEST(SampleGrabber, AcceptedTypeDecidesWhatConnects) {
  HRESULT hr = S_OK;
  K_CSampleGrabber* grabber = CreateSampleGrabber(nullptr, &hr);
  grabber->AddRef();
  K_CMediaType type;
  // No accepted type: everything goes.
  FillTestType(&type, TEST_SUBTYPE);
  EXPECT_EQ(grabber->CheckInputType(&type), S_OK);
  EXPECT_EQ(grabber->CheckInputType(nullptr), E_POINTER);
  // Audio PCM with any format block.
  K_CMediaType accept;
  accept.majortype = MEDIATYPE_Audio;
  accept.subtype = MEDIASUBTYPE_PCM;
  EXPECT_EQ(grabber->SetAcceptType(&accept), S_OK);
  K_CMediaType pcm;
  pcm.majortype = MEDIATYPE_Audio;
  pcm.subtype = MEDIASUBTYPE_PCM;
  pcm.formattype = FORMAT_WaveFormatEx;
  WAVEFORMATEX wave = {WAVE_FORMAT_PCM, 2, 44100, 176400, 4, 16, 0};
  pcm.SetFormat((const BYTE*)&wave, sizeof(wave));
  EXPECT_EQ(grabber->CheckInputType(&pcm), S_OK);
  pcm.subtype = MEDIASUBTYPE_MPEG1AudioPayload;
  EXPECT_EQ(grabber->CheckInputType(&pcm), VFW_E_INVALID_MEDIA_TYPE);
  EXPECT_EQ(grabber->CheckInputType(&type), VFW_E_INVALID_MEDIA_TYPE);
  // A format type named must match too.
  accept.formattype = FORMAT_WaveFormatEx;
  grabber->SetAcceptType(&accept);
  pcm.subtype = MEDIASUBTYPE_PCM;
  EXPECT_EQ(grabber->CheckInputType(&pcm), S_OK);
  pcm.formattype = FORMAT_None;
  EXPECT_EQ(grabber->CheckInputType(&pcm), VFW_E_INVALID_MEDIA_TYPE);
  EXPECT_EQ(grabber->SetAcceptType(nullptr), S_OK);
  EXPECT_EQ(grabber->CheckInputType(&pcm), S_OK);
  // The input offers only the accepted major type.
  grabber->SetAcceptType(&accept);
  K_CMediaType offered;
  EXPECT_EQ(grabber->GetPin(0)->GetMediaType(0, &offered), S_OK);
  EXPECT_EQ(offered.majortype, MEDIATYPE_Audio);
  EXPECT_EQ(offered.subtype, GUID_NULL);
  EXPECT_EQ(grabber->GetPin(0)->GetMediaType(1, &offered), VFW_S_NO_MORE_ITEMS);
  EXPECT_EQ(grabber->GetPin(0)->GetMediaType(-1, &offered), E_INVALIDARG);
  AM_MEDIA_TYPE connected = {};
  EXPECT_EQ(grabber->QueryConnectedType(&connected), VFW_E_NOT_CONNECTED);
  ALLOCATOR_PROPERTIES two = {2, 64, 1, 0};
  BYTE buffer[256];
  EXPECT_EQ(grabber->UseDeliveryBuffer(two, buffer), E_INVALIDARG);
  ALLOCATOR_PROPERTIES one = {1, 64, 1, 0};
  EXPECT_EQ(grabber->UseDeliveryBuffer(one, nullptr), E_POINTER);
  EXPECT_EQ(grabber->Release(), 0u);
}

TEST(SampleGrabber, CallbackSeesEverySampleAndTheFirstTypeChange) {
  int blocks = GetAllocBlockCount();
  {
    GrabberGraph g;
    K_CMediaType accept;
    accept.majortype = TEST_MAJOR;
    g.setup->SetAcceptType(&accept);
    ASSERT_EQ(g.ConnectAll(), S_OK);
    AM_MEDIA_TYPE connected = {};
    ASSERT_EQ(g.setup->QueryConnectedType(&connected), S_OK);
    EXPECT_EQ(connected.subtype, TEST_SUBTYPE);
    FreeMediaTypeFields(&connected);
    ALLOCATOR_PROPERTIES one = {1, 64, 1, 0};
    BYTE buffer[64];
    EXPECT_EQ(g.setup->UseDeliveryBuffer(one, buffer), E_INVALIDARG);

    Grabbed grabbed;
    EXPECT_EQ(g.setup->SetGrabCallback(Collect, &grabbed), S_OK);
    EXPECT_EQ(g.Run(), EC_COMPLETE);
    ASSERT_EQ(grabbed.indexes.size(), (size_t)SAMPLE_COUNT);
    for (int i = 0; i < SAMPLE_COUNT; i++) {
      EXPECT_EQ(grabbed.indexes[i], i);
      EXPECT_EQ(grabbed.typeChanged[i], i == 0 ? TRUE : FALSE) << i;
      EXPECT_EQ(grabbed.starts[i], i * SAMPLE_DURATION) << i;
    }
    // The grabber passes samples on unchanged; the renderer gets them all.
    std::vector<RenderRecord> records = g.renderer->Records();
    size_t running = 0;
    for (const RenderRecord& r : records) {
      EXPECT_EQ(r.marks, 0);
      running += r.state == State_Running;
    }
    EXPECT_EQ(running, (size_t)SAMPLE_COUNT);
  }
  EXPECT_EQ(GetAllocBlockCount(), blocks);
}

// With a delivery buffer the source writes every sample into the user's memory: the grabber's
// allocator hands out that buffer alone, and nothing is written past the size given.
TEST(SampleGrabber, DeliveryBufferIsWhereTheSourceWrites) {
  std::vector<BYTE> memory(SAMPLE_BYTES + 32, 0xEE);
  struct Seen {
    std::vector<BYTE*> pointers;
    std::vector<int> indexes;
  } seen;
  {
    GrabberGraph g;
    g.source->pin->buffers = 1;
    ALLOCATOR_PROPERTIES one = {1, SAMPLE_BYTES, 1, 0};
    ASSERT_EQ(g.setup->UseDeliveryBuffer(one, memory.data()), S_OK);
    ASSERT_EQ(g.ConnectAll(), S_OK);
    g.setup->SetGrabCallback(
        [](IMediaSample* sample, REFERENCE_TIME*, REFERENCE_TIME*, BOOL, void* user) -> HRESULT {
          Seen* s = static_cast<Seen*>(user);
          BYTE* bytes = nullptr;
          sample->GetPointer(&bytes);
          s->pointers.push_back(bytes);
          s->indexes.push_back(bytes != nullptr ? bytes[0] : -1);
          return S_OK;
        },
        &seen);
    EXPECT_EQ(g.Run(), EC_COMPLETE);
    EXPECT_TRUE(g.renderer->WaitForRecords(SAMPLE_COUNT, true));
  }
  ASSERT_EQ(seen.indexes.size(), (size_t)SAMPLE_COUNT);
  for (int i = 0; i < SAMPLE_COUNT; i++) {
    EXPECT_EQ(seen.pointers[i], memory.data()) << i;
    EXPECT_EQ(seen.indexes[i], i);
  }
  EXPECT_EQ(memory[0], SAMPLE_COUNT - 1) << "the last sample lies in the user's buffer";
  for (size_t i = SAMPLE_BYTES; i < memory.size(); i++) ASSERT_EQ(memory[i], 0xEE) << i;
}

TEST(SampleGrabber, WithoutACallbackSamplesPassAndSFalseHoldsThemBack) {
  for (HRESULT answer : {S_OK, S_FALSE}) {
    GrabberGraph g;
    ASSERT_EQ(g.ConnectAll(), S_OK);
    Grabbed grabbed;
    grabbed.answer = answer;
    if (answer != S_OK) g.setup->SetGrabCallback(Collect, &grabbed);
    g.control->Run();
    if (answer == S_OK) {
      long code = -1;
      EXPECT_EQ(g.events->WaitForCompletion(WAIT_MS, &code), S_OK);
      EXPECT_EQ(code, EC_COMPLETE);
      EXPECT_TRUE(g.renderer->WaitForRecords(SAMPLE_COUNT, true));
    } else {
      // The held-back sample is not delivered, and S_FALSE tells the source to stop sending.
      for (DWORD begin = GetTickCount(); grabbed.indexes.empty() && GetTickCount() - begin < WAIT_MS;) Sleep(10);
      Sleep(200);
      EXPECT_EQ(grabbed.indexes.size(), 1u);
      EXPECT_TRUE(g.renderer->Records().empty());
    }
  }
}

// ---- WAV writer ----

// The writer's downstream: takes the stamped samples and the header rewrite through IStream.
class StreamSinkPin : public K_CBaseInputPin, public IStream {
 public:
  StreamSinkPin(K_CBaseFilter* filter, CRITICAL_SECTION* lock, HRESULT* hr)
      : K_CBaseInputPin("sink pin", filter, lock, hr, L"In") {}
  K_DECLARE_IUNKNOWN
  HRESULT STDMETHODCALLTYPE NonDelegatingQueryInterface(REFIID riid, void** object) override {
    if (riid == IID_IStream) return DShowGetInterface(static_cast<IStream*>(this), object);
    return K_CBaseInputPin::NonDelegatingQueryInterface(riid, object);
  }
  HRESULT CheckMediaType(const K_CMediaType* type) override {
    return type->majortype == MEDIATYPE_Stream ? S_OK : S_FALSE;
  }
  HRESULT STDMETHODCALLTYPE Receive(IMediaSample* sample) override {
    HRESULT hr = K_CBaseInputPin::Receive(sample);
    if (hr != S_OK) return hr;
    if (failNext) {
      failNext = false;
      return E_FAIL;
    }
    REFERENCE_TIME start, stop;
    sample->GetTime(&start, &stop);
    BYTE* bytes = nullptr;
    sample->GetPointer(&bytes);
    Put((size_t)start, bytes, (size_t)sample->GetActualDataLength());
    return S_OK;
  }
  void Put(size_t at, const BYTE* bytes, size_t n) {
    if (file.size() < at + n) file.resize(at + n);
    memcpy(&file[at], bytes, n);
  }
  // IStream: a seek and a write are all the writer uses.
  HRESULT STDMETHODCALLTYPE Read(void*, ULONG, ULONG*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Write(const void* bytes, ULONG n, ULONG* written) override {
    Put((size_t)cursor, (const BYTE*)bytes, n);
    cursor += n;
    if (written) *written = n;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Seek(LARGE_INTEGER move, DWORD origin, ULARGE_INTEGER* position) override {
    if (origin != STREAM_SEEK_SET) return E_NOTIMPL;
    cursor = move.QuadPart;
    if (position) position->QuadPart = cursor;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE SetSize(ULARGE_INTEGER) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE CopyTo(IStream*, ULARGE_INTEGER, ULARGE_INTEGER*, ULARGE_INTEGER*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE Commit(DWORD) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE Revert() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Stat(STATSTG*, DWORD) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Clone(IStream**) override { return E_NOTIMPL; }

  std::vector<BYTE> file;
  LONGLONG cursor = 0;
  bool failNext = false;
};
struct StreamSink : OnePinFilter<StreamSinkPin> {
  StreamSink() : OnePinFilter("sink") {}
};

// A source of 16-bit stereo 44100 Hz PCM samples of a chosen size, one thread-less delivery.
class PcmSourcePin : public K_CBaseOutputPin {
 public:
  PcmSourcePin(K_CBaseFilter* filter, CRITICAL_SECTION* lock, HRESULT* hr)
      : K_CBaseOutputPin("pcm pin", filter, lock, hr, L"Out") {}
  HRESULT CheckMediaType(const K_CMediaType* type) override {
    return type->majortype == MEDIATYPE_Audio ? S_OK : S_FALSE;
  }
  HRESULT GetMediaType(int position, K_CMediaType* type) override {
    if (position > 0) return VFW_S_NO_MORE_ITEMS;
    type->InitMediaType();
    type->majortype = MEDIATYPE_Audio;
    type->subtype = MEDIASUBTYPE_PCM;
    type->formattype = videoFormat ? FORMAT_VideoInfo : FORMAT_WaveFormatEx;
    WAVEFORMATEX wave = {WAVE_FORMAT_PCM, 2, 44100, 176400, 4, 16, 0};
    type->SetFormat((const BYTE*)&wave, sizeof(wave));
    return S_OK;
  }
  HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override {
    request->cBuffers = 1;
    request->cbBuffer = 44100;
    ALLOCATOR_PROPERTIES actual;
    return allocator->SetProperties(request, &actual);
  }
  // Sends one sample of n bytes of value v; the downstream result.
  HRESULT Send(LONG n, BYTE v) {
    IMediaSample* sample = nullptr;
    HRESULT hr = GetDeliveryBuffer(&sample, nullptr, nullptr, 0);
    if (FAILED(hr)) return hr;
    BYTE* bytes = nullptr;
    sample->GetPointer(&bytes);
    memset(bytes, v, (size_t)n);
    sample->SetActualDataLength(n);
    hr = Deliver(sample);
    sample->Release();
    return hr;
  }
  bool videoFormat = false;
};
struct PcmSource : OnePinFilter<PcmSourcePin> {
  PcmSource() : OnePinFilter("pcm") {}
};

uint32_t U32(const std::vector<BYTE>& file, size_t at) {
  uint32_t v;
  memcpy(&v, &file[at], 4);
  return v;
}

TEST(WaveWriter, HeaderDescribesTheBytesDelivered) {
  int blocks = GetAllocBlockCount();
  {
    PcmSource* source = new PcmSource;
    HRESULT hr = E_FAIL;
    K_CWaveWriterFilter* writer = static_cast<K_CWaveWriterFilter*>(CreateWaveWriterFilter(nullptr, &hr));
    ASSERT_EQ(hr, S_OK);
    StreamSink* sink = new StreamSink;
    source->AddRef();
    writer->AddRef();
    sink->AddRef();
    IGraphBuilder* graph = nullptr;
    ASSERT_EQ(WinApi.ole32.CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder,
                                            (void**)&graph),
              S_OK);
    graph->AddFilter(source, L"Source");
    graph->AddFilter(writer, L"WAV Dest");
    graph->AddFilter(sink, L"Sink");
    ASSERT_EQ(graph->ConnectDirect(source->GetPin(0), writer->GetPin(0), nullptr), S_OK);
    ASSERT_EQ(graph->ConnectDirect(writer->GetPin(1), sink->GetPin(0), nullptr), S_OK);
    PIN_INFO info;
    writer->GetPin(0)->QueryPinInfo(&info);
    EXPECT_EQ(std::wstring(info.achName), L"In");
    info.pFilter->Release();
    writer->GetPin(1)->QueryPinInfo(&info);
    EXPECT_EQ(std::wstring(info.achName), L"Out");
    info.pFilter->Release();

    IMediaControl* control = nullptr;
    graph->QueryInterface(IID_IMediaControl, (void**)&control);
    ASSERT_TRUE(SUCCEEDED(control->Pause()));
    EXPECT_EQ(writer->HeaderSize(), 46u);
    // 176400 bytes in samples of 44100; one delivery that fails downstream does not count.
    for (int i = 0; i < 4; i++) ASSERT_EQ(source->pin->Send(44100, (BYTE)(i + 1)), S_OK);
    sink->pin->failNext = true;
    EXPECT_EQ(source->pin->Send(1000, 9), E_FAIL);
    EXPECT_EQ(writer->DataBytes(), 176400u);
    control->Stop();
    const std::vector<BYTE>& file = sink->pin->file;
    ASSERT_EQ(file.size(), 46u + 176400u);
    EXPECT_EQ(memcmp(&file[0], "RIFF", 4), 0);
    EXPECT_EQ(memcmp(&file[8], "WAVEfmt ", 8), 0);
    EXPECT_EQ(U32(file, 16), 18u);
    EXPECT_EQ(memcmp(&file[38], "data", 4), 0);
    EXPECT_EQ(U32(file, 42), 176400u);
    EXPECT_EQ(U32(file, 4), 176400u + 38);
    WAVEFORMATEX wave;
    memcpy(&wave, &file[20], 18);
    EXPECT_EQ(wave.nSamplesPerSec, 44100u);
    EXPECT_EQ(wave.nChannels, 2);
    EXPECT_EQ(file[46], 1);
    EXPECT_EQ(file[46 + 176399], 4);

    control->Release();
    graph->Release();
    EXPECT_EQ(source->Release(), 0u);
    EXPECT_EQ(writer->Release(), 0u);
    EXPECT_EQ(sink->Release(), 0u);
  }
  EXPECT_EQ(GetAllocBlockCount(), blocks);
}

TEST(WaveWriter, RefusesOtherFormatsAndOutputTypes) {
  HRESULT hr = E_FAIL;
  K_CWaveWriterFilter* writer = static_cast<K_CWaveWriterFilter*>(CreateWaveWriterFilter(nullptr, &hr));
  writer->AddRef();
  K_CMediaType type;
  type.majortype = MEDIATYPE_Video;
  type.formattype = FORMAT_VideoInfo;
  EXPECT_EQ(writer->CheckInputType(&type), S_FALSE);
  type.formattype = FORMAT_WaveFormatEx;
  EXPECT_EQ(writer->CheckInputType(&type), S_OK);
  K_CMediaType out;
  EXPECT_EQ(writer->GetMediaType(0, &out), S_OK);
  EXPECT_EQ(out.majortype, MEDIATYPE_Stream);
  EXPECT_EQ(out.subtype, MEDIASUBTYPE_WAVE);
  EXPECT_EQ(writer->GetMediaType(1, &out), VFW_S_NO_MORE_ITEMS);
  EXPECT_EQ(writer->GetPin(1)->CheckMediaType(&out), S_OK);
  out.subtype = MEDIASUBTYPE_Avi;
  EXPECT_EQ(writer->GetPin(1)->CheckMediaType(&out), S_FALSE);
  EXPECT_EQ(writer->StopStreaming(), E_FAIL);  // nothing downstream
  ALLOCATOR_PROPERTIES props = {};
  EXPECT_EQ(writer->DecideBufferSize(nullptr, &props), E_UNEXPECTED);
  EXPECT_EQ(WaveWriterTemplate.setup->merit, (DWORD)MERIT_DO_NOT_USE);
  EXPECT_EQ(std::wstring(WaveWriterTemplate.name), L"WAV Dest");
  EXPECT_EQ(writer->Release(), 0u);

  // A source whose type carries a video format never connects.
  PcmSource* source = new PcmSource;
  source->pin->videoFormat = true;
  source->AddRef();
  writer = static_cast<K_CWaveWriterFilter*>(CreateWaveWriterFilter(nullptr, &hr));
  writer->AddRef();
  EXPECT_NE(source->GetPin(0)->Connect(writer->GetPin(0), nullptr), S_OK);
  EXPECT_EQ(writer->Release(), 0u);
  EXPECT_EQ(source->Release(), 0u);
}
}  // namespace
