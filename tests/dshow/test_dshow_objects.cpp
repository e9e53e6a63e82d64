// The DirectShow layer's objects on their own: the memory allocator and its samples, media
// types, enumerators, pins counting on their filter, and aggregation by an outer object.
#include "dshow_test_filters.h"

#include <cstring>

#include "core/memory.h"

namespace {

::testing::Environment* const com = ::testing::AddGlobalTestEnvironment(new ComEnvironment);

IMemAllocator* NewAllocator() {
  IMemAllocator* allocator = nullptr;
  EXPECT_EQ(CreateMemoryAllocator(&allocator), S_OK);
  return allocator;
}

TEST(DShowAllocator, SetPropertiesRoundsToTheAlignmentAndRefusesBadValues) {
  struct Case {
    ALLOCATOR_PROPERTIES request;
    HRESULT result;
    ALLOCATOR_PROPERTIES actual;
  };
  const Case cases[] = {
      {{2, 100, 1, 0}, S_OK, {2, 100, 1, 0}},
      {{3, 10, 8, 3}, S_OK, {3, 13, 8, 3}},  // 10 + 3 rounded up to 16, less the prefix
      {{1, 16, 16, 0}, S_OK, {1, 16, 16, 0}},
      {{1, 16, 3, 0}, VFW_E_BADALIGN, {}},
      {{1, 16, 0, 0}, VFW_E_BADALIGN, {}},
      {{-1, 16, 1, 0}, E_INVALIDARG, {}},
  };
  for (const Case& c : cases) {
    IMemAllocator* allocator = NewAllocator();
    ALLOCATOR_PROPERTIES request = c.request, actual = {};
    SCOPED_TRACE(testing::Message() << request.cBuffers << " x " << request.cbBuffer << " align " << request.cbAlign
                                    << " prefix " << request.cbPrefix);
    EXPECT_EQ(allocator->SetProperties(&request, &actual), c.result);
    if (c.result == S_OK) {
      EXPECT_EQ(actual.cBuffers, c.actual.cBuffers);
      EXPECT_EQ(actual.cbBuffer, c.actual.cbBuffer);
      EXPECT_EQ(actual.cbAlign, c.actual.cbAlign);
      EXPECT_EQ(actual.cbPrefix, c.actual.cbPrefix);
      // Every sample starts on the alignment with its prefix before it.
      ASSERT_EQ(allocator->Commit(), S_OK);
      std::vector<IMediaSample*> samples;
      for (int i = 0; i < actual.cBuffers; i++) {
        IMediaSample* sample = nullptr;
        ASSERT_EQ(allocator->GetBuffer(&sample, nullptr, nullptr, 0), S_OK);
        BYTE* bytes = nullptr;
        sample->GetPointer(&bytes);
        EXPECT_EQ(((uintptr_t)bytes - actual.cbPrefix) % actual.cbAlign, 0u);
        EXPECT_EQ(sample->GetSize(), actual.cbBuffer);
        memset(bytes - actual.cbPrefix, 0xA5, actual.cbBuffer + actual.cbPrefix);  // all of it is ours
        samples.push_back(sample);
      }
      for (IMediaSample* sample : samples) sample->Release();
    }
    EXPECT_EQ(allocator->Release(), 0u);
  }
}

TEST(DShowAllocator, CommitDecommitAndTheFreeList) {
  IMemAllocator* allocator = NewAllocator();
  IMediaSample* sample = nullptr;
  EXPECT_EQ(allocator->Commit(), VFW_E_SIZENOTSET);
  ALLOCATOR_PROPERTIES request = {1, 32, 1, 0}, actual;
  ASSERT_EQ(allocator->SetProperties(&request, &actual), S_OK);
  EXPECT_EQ(allocator->GetBuffer(&sample, nullptr, nullptr, 0), VFW_E_NOT_COMMITTED);
  ASSERT_EQ(allocator->Commit(), S_OK);
  ASSERT_EQ(allocator->GetBuffer(&sample, nullptr, nullptr, 0), S_OK);
  IMediaSample* second = nullptr;
  EXPECT_EQ(allocator->GetBuffer(&second, nullptr, nullptr, AM_GBF_NOWAIT), VFW_E_TIMEOUT);
  // Properties cannot change while committed or while a sample is out.
  EXPECT_EQ(allocator->SetProperties(&request, &actual), VFW_E_ALREADY_COMMITTED);
  EXPECT_EQ(allocator->Decommit(), S_OK);
  EXPECT_EQ(allocator->SetProperties(&request, &actual), VFW_E_BUFFERS_OUTSTANDING);
  // The sample holds the allocator: the last reference of the caller is not the last.
  EXPECT_EQ(allocator->Release(), 1u);
  EXPECT_EQ(sample->Release(), 0u);  // and the allocator goes with it
}

TEST(DShowAllocator, DecommitWakesAThreadWaitingForABuffer) {
  IMemAllocator* allocator = NewAllocator();
  ALLOCATOR_PROPERTIES request = {1, 32, 1, 0}, actual;
  allocator->SetProperties(&request, &actual);
  allocator->Commit();
  IMediaSample* held = nullptr;
  ASSERT_EQ(allocator->GetBuffer(&held, nullptr, nullptr, 0), S_OK);
  struct Waiter {
    IMemAllocator* allocator;
    HRESULT result;
    static DWORD WINAPI Run(LPVOID self) {
      Waiter* w = (Waiter*)self;
      IMediaSample* sample = nullptr;
      w->result = w->allocator->GetBuffer(&sample, nullptr, nullptr, 0);
      if (sample != nullptr) sample->Release();
      return 0;
    }
  } waiter = {allocator, E_PENDING};
  HANDLE thread = CreateThread(nullptr, 0, Waiter::Run, &waiter, 0, nullptr);
  EXPECT_EQ(WaitForSingleObject(thread, 200), (DWORD)WAIT_TIMEOUT) << "GetBuffer did not wait";
  allocator->Decommit();
  ASSERT_EQ(WaitForSingleObject(thread, WAIT_MS), WAIT_OBJECT_0);
  CloseHandle(thread);
  EXPECT_EQ(waiter.result, VFW_E_NOT_COMMITTED);
  held->Release();
  EXPECT_EQ(allocator->Release(), 0u);
}

TEST(DShowSample, TimesFlagsMediaTypeAndProperties) {
  BYTE bytes[16] = {};
  K_CMediaSample* sample = new K_CMediaSample("test", nullptr, nullptr, bytes, sizeof(bytes));
  sample->AddRef();
  REFERENCE_TIME start = 0, stop = 0;
  EXPECT_EQ(sample->GetTime(&start, &stop), VFW_E_SAMPLE_TIME_NOT_SET);
  REFERENCE_TIME t0 = 100, t1 = 200;
  sample->SetTime(&t0, nullptr);
  EXPECT_EQ(sample->GetTime(&start, &stop), VFW_S_NO_STOP_TIME);
  EXPECT_EQ(stop, 101);
  sample->SetTime(&t0, &t1);
  EXPECT_EQ(sample->GetTime(&start, &stop), S_OK);
  EXPECT_EQ(stop, 200);
  LONGLONG m0, m1;
  EXPECT_EQ(sample->GetMediaTime(&m0, &m1), VFW_E_MEDIA_TIME_NOT_SET);
  EXPECT_EQ(sample->SetActualDataLength(17), VFW_E_BUFFER_OVERFLOW);
  EXPECT_EQ(sample->SetActualDataLength(5), S_OK);
  EXPECT_EQ(sample->IsSyncPoint(), S_FALSE);
  sample->SetSyncPoint(TRUE);
  sample->SetDiscontinuity(TRUE);

  AM_MEDIA_TYPE* type = nullptr;
  EXPECT_EQ(sample->GetMediaType(&type), S_FALSE);
  K_CMediaType given;
  FillTestType(&given, TEST_SUBTYPE);
  const BYTE format[3] = {1, 2, 3};
  ASSERT_TRUE(given.SetFormat(format, sizeof(format)));
  EXPECT_EQ(sample->SetMediaType(&given), S_OK);
  ASSERT_EQ(sample->GetMediaType(&type), S_OK);
  EXPECT_TRUE(given == *type);
  EXPECT_NE(type->pbFormat, given.pbFormat);
  DeleteMediaType(type);

  AM_SAMPLE2_PROPERTIES props;
  ASSERT_EQ(sample->GetProperties(sizeof(props), (BYTE*)&props), S_OK);
  EXPECT_EQ(props.lActual, 5);
  EXPECT_EQ(props.tStart, 100);
  EXPECT_EQ(props.pbBuffer, bytes);
  EXPECT_EQ(props.dwSampleFlags & (AM_SAMPLE_SPLICEPOINT | AM_SAMPLE_DATADISCONTINUITY | AM_SAMPLE_TIMEVALID |
                                   AM_SAMPLE_STOPVALID | AM_SAMPLE_TYPECHANGED),
            (DWORD)(AM_SAMPLE_SPLICEPOINT | AM_SAMPLE_DATADISCONTINUITY | AM_SAMPLE_TIMEVALID | AM_SAMPLE_STOPVALID |
                    AM_SAMPLE_TYPECHANGED));
  props.lActual = 99;
  EXPECT_EQ(sample->SetProperties(sizeof(props), (BYTE*)&props), VFW_E_BUFFER_OVERFLOW);
  EXPECT_EQ(sample->Release(), 0u);  // without an allocator it deletes itself
}

TEST(DShowMediaType, CopiesOwnTheirFormatAndPartialTypesMatch) {
  K_CMediaType a;
  EXPECT_FALSE(a.IsValid());
  EXPECT_TRUE(a.IsPartiallySpecified());
  FillTestType(&a, TEST_SUBTYPE);
  const BYTE format[4] = {9, 8, 7, 6};
  ASSERT_TRUE(a.SetFormat(format, sizeof(format)));
  K_CMediaType b(a);
  EXPECT_TRUE(a == b);
  EXPECT_NE(a.pbFormat, b.pbFormat);
  b.pbFormat[0] = 0;
  EXPECT_TRUE(a != b);

  struct Case {
    GUID major, sub;
    bool matches;
  };
  const Case cases[] = {{GUID_NULL, GUID_NULL, true},
                        {TEST_MAJOR, GUID_NULL, true},
                        {TEST_MAJOR, TEST_SUBTYPE, true},
                        {TEST_MAJOR, TEST_OTHER_SUBTYPE, false},
                        {MEDIATYPE_Audio, GUID_NULL, false}};
  for (const Case& c : cases) {
    K_CMediaType partial;
    partial.majortype = c.major;
    partial.subtype = c.sub;
    EXPECT_EQ(a.MatchesPartial(&partial), c.matches);
  }
}

// An outer object that aggregates a filter of the layer.
struct Outer : IUnknown {
  volatile LONG count = 1;
  IUnknown* inner = nullptr;
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
    if (riid == IID_IUnknown) {
      *object = this;
      AddRef();
      return S_OK;
    }
    return inner->QueryInterface(riid, object);
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return InterlockedIncrement(&count); }
  ULONG STDMETHODCALLTYPE Release() override { return InterlockedDecrement(&count); }
};

TEST(DShowCom, AggregatedFilterCountsOnItsOuterObjectAndPinsOnTheirFilter) {
  Outer outer;
  TestInPlace* filter = new TestInPlace(&outer);
  ASSERT_EQ(filter->NonDelegatingQueryInterface(IID_IUnknown, (void**)&outer.inner), S_OK);
  EXPECT_NE(outer.inner, static_cast<IUnknown*>(&outer));

  IBaseFilter* base = nullptr;
  ASSERT_EQ(outer.QueryInterface(IID_IBaseFilter, (void**)&base), S_OK);
  EXPECT_EQ(outer.count, 2);  // the interface counts on the outer object
  IUnknown* unknown = nullptr;
  ASSERT_EQ(base->QueryInterface(IID_IUnknown, (void**)&unknown), S_OK);
  EXPECT_EQ(unknown, static_cast<IUnknown*>(&outer));
  unknown->Release();
  IMediaFilter* media = nullptr;
  EXPECT_EQ(base->QueryInterface(IID_IMediaFilter, (void**)&media), S_OK);
  IPersist* persist = nullptr;
  EXPECT_EQ(base->QueryInterface(IID_IPersist, (void**)&persist), S_OK);
  IAMovieSetup* setup = nullptr;
  EXPECT_EQ(base->QueryInterface(IID_IAMovieSetup, (void**)&setup), S_OK);
  EXPECT_EQ(setup->Register(), S_FALSE);
  IReferenceClock* none = (IReferenceClock*)1;
  EXPECT_EQ(base->QueryInterface(IID_IReferenceClock, (void**)&none), E_NOINTERFACE);
  EXPECT_EQ(none, nullptr);
  media->Release();
  persist->Release();
  setup->Release();

  // Pins: two, found by name, each counting on the filter's (here the outer's) count.
  IEnumPins* pins = nullptr;
  ASSERT_EQ(base->EnumPins(&pins), S_OK);
  IPin* got[3] = {};
  ULONG fetched = 0;
  EXPECT_EQ(pins->Next(3, got, &fetched), S_FALSE);
  EXPECT_EQ(fetched, 2u);
  IEnumPins* clone = nullptr;
  EXPECT_EQ(pins->Clone(&clone), S_OK);
  EXPECT_EQ(clone->Skip(1), S_FALSE);  // the clone keeps the position: at the end
  EXPECT_EQ(clone->Reset(), S_OK);
  EXPECT_EQ(clone->Skip(2), S_OK);
  clone->Release();
  pins->Release();
  PIN_DIRECTION direction;
  got[0]->QueryDirection(&direction);
  EXPECT_EQ(direction, PINDIR_INPUT);
  LONG held = outer.count;
  got[0]->AddRef();
  EXPECT_EQ(outer.count, held + 1);
  got[0]->Release();
  LPWSTR id = nullptr;
  ASSERT_EQ(got[1]->QueryId(&id), S_OK);
  EXPECT_STREQ(id, L"Output");
  WinApi.ole32.CoTaskMemFree(id);
  IPin* found = nullptr;
  EXPECT_EQ(base->FindPin(L"Input", &found), S_OK);
  EXPECT_EQ(found, got[0]);
  found->Release();
  EXPECT_EQ(base->FindPin(L"Nothing", &found), VFW_E_NOT_FOUND);
  // An unconnected in-place input has no types to offer, nor a connection type.
  IEnumMediaTypes* types = nullptr;
  EXPECT_EQ(got[0]->EnumMediaTypes(&types), VFW_E_NOT_CONNECTED);
  AM_MEDIA_TYPE type;
  EXPECT_EQ(got[0]->ConnectionMediaType(&type), VFW_E_NOT_CONNECTED);
  IPin* peer = (IPin*)1;
  EXPECT_EQ(got[0]->ConnectedTo(&peer), VFW_E_NOT_CONNECTED);
  EXPECT_EQ(peer, nullptr);
  got[0]->Release();
  got[1]->Release();
  base->Release();
  EXPECT_EQ(outer.count, 1);
  // The outer object lets go of the inner unknown: the filter goes.
  LONG destroyed = FiltersDestroyed();
  EXPECT_EQ(outer.inner->Release(), 0u);
  EXPECT_EQ(FiltersDestroyed(), destroyed + 1);
}

TEST(DShowPins, DirectConnectionNegotiatesAndRefuses) {
  // Without a graph: source -> in-place -> renderer by IPin::Connect.
  TestSource* source = new TestSource;
  TestInPlace* middle = new TestInPlace;
  TestRenderer* renderer = new TestRenderer;
  source->AddRef();
  middle->AddRef();
  renderer->AddRef();
  IPin* out = source->GetPin(0);
  IPin* in = middle->GetPin(0);
  IPin* middleOut = middle->GetPin(1);
  IPin* last = renderer->GetPin(0);

  // An output before its input is connected, two outputs, a type nobody takes.
  EXPECT_EQ(middleOut->Connect(last, nullptr), VFW_E_NO_ACCEPTABLE_TYPES);
  EXPECT_EQ(out->Connect(middleOut, nullptr), VFW_E_INVALID_DIRECTION);
  K_CMediaType other;
  FillTestType(&other, TEST_OTHER_SUBTYPE);
  EXPECT_EQ(out->Connect(in, &other), VFW_E_TYPE_NOT_ACCEPTED);
  EXPECT_FALSE(middle->GetPin(0)->IsConnected());

  ASSERT_EQ(out->Connect(in, nullptr), S_OK);
  EXPECT_EQ(out->Connect(in, nullptr), VFW_E_ALREADY_CONNECTED);
  // The in-place output offers what comes from upstream; the renderer takes it.
  IEnumMediaTypes* types = nullptr;
  ASSERT_EQ(middleOut->EnumMediaTypes(&types), S_OK);
  AM_MEDIA_TYPE* offered = nullptr;
  ULONG fetched = 0;
  ASSERT_EQ(types->Next(1, &offered, &fetched), S_OK);
  EXPECT_EQ(offered->subtype, TEST_SUBTYPE);
  DeleteMediaType(offered);
  EXPECT_EQ(types->Next(1, &offered, &fetched), S_FALSE);
  types->Release();
  EXPECT_EQ(last->QueryAccept(&other), S_FALSE);
  ASSERT_EQ(middleOut->Connect(last, nullptr), S_OK);
  EXPECT_TRUE(middle->SharesOneAllocator());
  // The input now offers the downstream pin's types.
  ASSERT_EQ(in->EnumMediaTypes(&types), S_OK);
  types->Release();

  // Disconnecting both ends of each connection; a second disconnect has nothing to do.
  EXPECT_EQ(middleOut->Disconnect(), S_OK);
  EXPECT_EQ(last->Disconnect(), S_OK);
  EXPECT_EQ(last->Disconnect(), S_FALSE);
  EXPECT_EQ(out->Disconnect(), S_OK);
  EXPECT_EQ(in->Disconnect(), S_OK);
  EXPECT_EQ(source->Release(), 0u);
  EXPECT_EQ(middle->Release(), 0u);
  EXPECT_EQ(renderer->Release(), 0u);
}

}  // namespace
namespace {
TEST(DShowCom, RendererSeekingPassThroughGoesWithTheRenderer) {
  int blocks = GetAllocBlockCount();
  TestRenderer* renderer = new TestRenderer;
  renderer->AddRef();
  IMediaSeeking* seeking = nullptr;
  ASSERT_EQ(renderer->QueryInterface(IID_IMediaSeeking, (void**)&seeking), S_OK);
  EXPECT_EQ(renderer->Release(), 1u);  // the interface holds the renderer
  // Unconnected: nothing upstream to ask.
  LONGLONG duration = 0;
  EXPECT_EQ(seeking->GetDuration(&duration), E_NOTIMPL);
  EXPECT_EQ(seeking->Release(), 0u);
  EXPECT_EQ(GetAllocBlockCount(), blocks);
}
}  // namespace
