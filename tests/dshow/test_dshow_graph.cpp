// The DirectShow layer in a real filter graph of the system (quartz): a source pin feeding a
// test video renderer through a transform-in-place (or a copying transform) filter connects,
// pauses, runs and stops, delivers its samples in time order on the clock, completes,
// flushes on a seek, stops where the graph's stop position says, and lets go of everything.
#include "dshow_test_filters.h"

#include <control.h>

#include "core/memory.h"

namespace {

::testing::Environment* const com = ::testing::AddGlobalTestEnvironment(new ComEnvironment);

template <typename T>
void ReleaseAndClear(T*& pointer) {
  if (pointer != nullptr) pointer->Release();
  pointer = nullptr;
}

// A graph of the system with source -> middle -> renderer connected by it.
struct TestGraph {
  IGraphBuilder* graph = nullptr;
  IMediaControl* control = nullptr;
  IMediaEvent* events = nullptr;
  IMediaSeeking* seeking = nullptr;
  TestSource* source = nullptr;
  K_CTransformFilter* middle = nullptr;
  TestRenderer* renderer = nullptr;

  explicit TestGraph(bool inPlace) {
    HRESULT hr = WinApi.ole32.CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder,
                                               (void**)&graph);
    EXPECT_EQ(hr, S_OK);
    if (graph == nullptr) return;
    graph->QueryInterface(IID_IMediaControl, (void**)&control);
    graph->QueryInterface(IID_IMediaEvent, (void**)&events);
    graph->QueryInterface(IID_IMediaSeeking, (void**)&seeking);
    // The test keeps a reference of its own on each filter, as the graph does.
    source = new TestSource;
    middle = inPlace ? static_cast<K_CTransformFilter*>(new TestInPlace) : new TestCopy;
    renderer = new TestRenderer;
    source->AddRef();
    middle->AddRef();
    renderer->AddRef();
    EXPECT_EQ(graph->AddFilter(source, L"Source"), S_OK);
    EXPECT_EQ(graph->AddFilter(middle, L"Middle"), S_OK);
    EXPECT_EQ(graph->AddFilter(renderer, L"Renderer"), S_OK);
    EXPECT_EQ(graph->Connect(source->GetPin(0), middle->GetPin(0)), S_OK);
    EXPECT_EQ(graph->Connect(middle->GetPin(1), renderer->GetPin(0)), S_OK);
  }

  // Waits for the graph's completion event; the code, or -1 when none came in time.
  long WaitForCompletion() {
    long code = -1;
    HRESULT hr = events->WaitForCompletion(WAIT_MS, &code);
    return hr == S_OK ? code : -1;
  }

  // Releases the graph and then the test's own references: each filter must go to zero.
  void Release() {
    if (control != nullptr) control->Stop();
    ReleaseAndClear(seeking);
    ReleaseAndClear(events);
    ReleaseAndClear(control);
    ReleaseAndClear(graph);
    if (source != nullptr) { EXPECT_EQ(source->Release(), 0u); }
    if (middle != nullptr) { EXPECT_EQ(middle->Release(), 0u); }
    if (renderer != nullptr) { EXPECT_EQ(renderer->Release(), 0u); }
    source = nullptr;
    middle = nullptr;
    renderer = nullptr;
  }
  ~TestGraph() { Release(); }
};

size_t CountRunning(const std::vector<RenderRecord>& records) {
  size_t count = 0;
  for (const RenderRecord& r : records) count += r.state == State_Running;
  return count;
}

// The samples rendered while running, in order: each one after the last, at or after its time.
void ExpectRenderedInTimeOrder(const std::vector<RenderRecord>& records, int firstIndex, int count, int marks) {
  std::vector<RenderRecord> running;
  for (const RenderRecord& r : records)
    if (r.state == State_Running) running.push_back(r);
  ASSERT_EQ((int)running.size(), count);
  const REFERENCE_TIME slack = 20000;  // 2 ms of clock granularity
  for (int i = 0; i < count; i++) {
    const RenderRecord& r = running[i];
    EXPECT_EQ(r.index, firstIndex + i) << "sample " << i;
    EXPECT_EQ(r.marks, marks) << "sample " << i;
    EXPECT_GE(r.streamTime + slack, r.sampleStart) << "sample " << i << " rendered before its time";
    if (i > 0) { EXPECT_GT(r.sampleStart, running[i - 1].sampleStart) << "sample " << i; }
  }
}

TEST(DShowGraph, ConnectsRunsAndCompletesInTimeOrderThenReleasesEverything) {
  struct Case {
    const char* name;
    bool inPlace;
  };
  const Case cases[] = {{"in-place", true}, {"copying transform", false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    LONG destroyedBefore = FiltersDestroyed();
    int blocksBefore = GetAllocBlockCount();
    {
      TestGraph g(c.inPlace);
      ASSERT_NE(g.graph, nullptr);
      // Both connections carry the source's type.
      AM_MEDIA_TYPE type;
      ASSERT_EQ(g.renderer->GetPin(0)->ConnectionMediaType(&type), S_OK);
      EXPECT_EQ(type.majortype, TEST_MAJOR);
      EXPECT_EQ(type.subtype, TEST_SUBTYPE);
      FreeMediaTypeFields(&type);
      if (c.inPlace) { EXPECT_TRUE(static_cast<TestInPlace*>(g.middle)->SharesOneAllocator()); }

      ASSERT_TRUE(SUCCEEDED(g.control->Run()));
      EXPECT_EQ(g.WaitForCompletion(), EC_COMPLETE);
      ExpectRenderedInTimeOrder(g.renderer->Records(), 0, SAMPLE_COUNT, 1);
      // The end is reported once the last sample's time is over.
      REFERENCE_TIME now = 0;
      ASSERT_EQ(g.renderer->StreamTime(&now), S_OK);
      EXPECT_GE(now + 20000, SAMPLE_COUNT * SAMPLE_DURATION);

      IQualProp* quality = nullptr;
      ASSERT_EQ(g.renderer->QueryInterface(IID_IQualProp, (void**)&quality), S_OK);
      int drawn = 0, rate = 0;
      quality->get_FramesDrawn(&drawn);
      quality->get_AvgFrameRate(&rate);
      EXPECT_EQ(drawn, SAMPLE_COUNT);
      EXPECT_GT(rate, 0);
      quality->Release();

      EXPECT_EQ(g.control->Stop(), S_OK);
      if (!c.inPlace) {
        EXPECT_EQ(static_cast<TestCopy*>(g.middle)->starts, 1);
        EXPECT_EQ(static_cast<TestCopy*>(g.middle)->stops, 1);
      }
      // Run again from the start after a stop.
      LONGLONG zero = 0;
      g.seeking->SetPositions(&zero, AM_SEEKING_AbsolutePositioning, nullptr, AM_SEEKING_NoPositioning);
      ASSERT_TRUE(SUCCEEDED(g.control->Run()));
      EXPECT_TRUE(g.renderer->WaitForRecords(2 * SAMPLE_COUNT, true));
      EXPECT_EQ(g.WaitForCompletion(), EC_COMPLETE);
      EXPECT_EQ(CountRunning(g.renderer->Records()), 2u * SAMPLE_COUNT);
    }
    EXPECT_EQ(FiltersDestroyed() - destroyedBefore, 3);
    EXPECT_EQ(GetAllocBlockCount(), blocksBefore) << "objects of the layer left alive";
  }
}

TEST(DShowGraph, PauseWaitsForTheFirstSampleAndHoldsTheStreamUntilRun) {
  TestGraph g(true);
  ASSERT_NE(g.graph, nullptr);
  TestSourcePin* pin = g.source->pin;
  ResetEvent(pin->gate);  // the source holds its first sample back

  g.control->Pause();
  OAFilterState state;
  EXPECT_EQ(g.control->GetState(0, &state), VFW_S_STATE_INTERMEDIATE);
  FILTER_STATE filterState;
  EXPECT_EQ(g.renderer->GetState(0, &filterState), VFW_S_STATE_INTERMEDIATE);
  EXPECT_EQ(filterState, State_Paused);

  SetEvent(pin->gate);
  EXPECT_EQ(g.control->GetState(WAIT_MS, &state), S_OK);
  EXPECT_EQ(state, State_Paused);
  // The first sample is shown while paused (the poster frame) and the stream stops there:
  // the renderer holds the streaming thread.
  ASSERT_TRUE(g.renderer->WaitForRecords(1));
  Sleep(300);
  std::vector<RenderRecord> paused = g.renderer->Records();
  ASSERT_EQ(paused.size(), 1u);
  EXPECT_EQ(paused[0].index, 0);
  EXPECT_EQ(paused[0].state, State_Paused);
  EXPECT_LE(pin->delivered, 1);

  ASSERT_TRUE(SUCCEEDED(g.control->Run()));
  EXPECT_EQ(g.WaitForCompletion(), EC_COMPLETE);
  ExpectRenderedInTimeOrder(g.renderer->Records(), 0, SAMPLE_COUNT, 1);

  // Paused in the middle of a run: nothing more is rendered until Run.
  g.control->Stop();
  LONGLONG zero = 0;
  g.seeking->SetPositions(&zero, AM_SEEKING_AbsolutePositioning, nullptr, AM_SEEKING_NoPositioning);
  size_t before = CountRunning(g.renderer->Records());
  ASSERT_TRUE(SUCCEEDED(g.control->Run()));
  ASSERT_TRUE(g.renderer->WaitForRecords(g.renderer->Records().size() + 2));
  g.control->Pause();
  EXPECT_EQ(g.control->GetState(WAIT_MS, &state), S_OK);
  // A frame already due as the pause came may still be drawn; nothing after it.
  size_t atPause = g.renderer->Records().size();
  Sleep(100);
  size_t settled = g.renderer->Records().size();
  EXPECT_LE(settled, atPause + 1);
  Sleep(300);
  EXPECT_EQ(g.renderer->Records().size(), settled);
  ASSERT_TRUE(SUCCEEDED(g.control->Run()));
  EXPECT_TRUE(g.renderer->WaitForRecords(before + SAMPLE_COUNT, true));
  EXPECT_EQ(g.WaitForCompletion(), EC_COMPLETE);
  EXPECT_EQ(CountRunning(g.renderer->Records()), before + SAMPLE_COUNT);
}

TEST(DShowGraph, SeekFlushesAndRestartsFromTheNewPosition) {
  TestGraph g(true);
  ASSERT_NE(g.graph, nullptr);
  ASSERT_TRUE(SUCCEEDED(g.control->Run()));
  ASSERT_TRUE(g.renderer->WaitForRecords(2));
  LONG flushesBefore = g.renderer->flushes;
  LONGLONG target = 5 * SAMPLE_DURATION;
  EXPECT_EQ(g.seeking->SetPositions(&target, AM_SEEKING_AbsolutePositioning, nullptr, AM_SEEKING_NoPositioning),
            S_OK);
  EXPECT_EQ(g.source->pin->seeks, 1);
  EXPECT_GT(g.renderer->flushes, flushesBefore);
  EXPECT_EQ(g.WaitForCompletion(), EC_COMPLETE);
  // After the seek the samples continue at 5, in order, to the end.
  std::vector<RenderRecord> records;
  for (const RenderRecord& r : g.renderer->Records())
    if (r.state == State_Running) records.push_back(r);
  ASSERT_GE(records.size(), 3u);
  EXPECT_EQ(records.back().index, SAMPLE_COUNT - 1);
  size_t firstAfter = records.size() - (SAMPLE_COUNT - 5);
  for (size_t i = firstAfter; i < records.size(); i++) EXPECT_EQ(records[i].index, 5 + (int)(i - firstAfter));
  // The renderer's position is the last sample's, in the media time of the stream.
  LONGLONG current = 0;
  IMediaSeeking* rendererSeeking = nullptr;
  ASSERT_EQ(g.renderer->QueryInterface(IID_IMediaSeeking, (void**)&rendererSeeking), S_OK);
  EXPECT_EQ(rendererSeeking->GetCurrentPosition(&current), S_OK);
  EXPECT_EQ(current, (SAMPLE_COUNT - 1) * SAMPLE_DURATION);
  rendererSeeking->Release();
}

TEST(DShowGraph, StopPositionReachesTheSourceThroughThePassThrough) {
  TestGraph g(true);
  ASSERT_NE(g.graph, nullptr);
  LONGLONG duration = 0;
  EXPECT_EQ(g.seeking->GetDuration(&duration), S_OK);
  EXPECT_EQ(duration, SAMPLE_COUNT * SAMPLE_DURATION);

  LONGLONG start = 0, stop = 3 * SAMPLE_DURATION;
  EXPECT_EQ(g.seeking->SetPositions(&start, AM_SEEKING_AbsolutePositioning, &stop, AM_SEEKING_AbsolutePositioning),
            S_OK);
  ASSERT_FALSE(g.source->pin->stopsSeen.empty());
  EXPECT_EQ(g.source->pin->stopsSeen.back(), stop);
  LONGLONG graphStop = 0;
  EXPECT_EQ(g.seeking->GetStopPosition(&graphStop), S_OK);
  EXPECT_EQ(graphStop, stop);

  ASSERT_TRUE(SUCCEEDED(g.control->Run()));
  EXPECT_EQ(g.WaitForCompletion(), EC_COMPLETE);
  ExpectRenderedInTimeOrder(g.renderer->Records(), 0, 3, 1);

  // IMediaPosition on the renderer answers in seconds, directly and through IDispatch.
  IMediaPosition* position = nullptr;
  ASSERT_EQ(g.renderer->QueryInterface(IID_IMediaPosition, (void**)&position), S_OK);
  REFTIME seconds = 0;
  EXPECT_EQ(position->get_Duration(&seconds), S_OK);
  EXPECT_DOUBLE_EQ(seconds, SAMPLE_COUNT * 0.05);
  EXPECT_EQ(position->get_StopTime(&seconds), S_OK);
  EXPECT_DOUBLE_EQ(seconds, 0.15);
  LPOLESTR name = (LPOLESTR)L"Duration";
  DISPID id = 0;
  ASSERT_EQ(position->GetIDsOfNames(IID_NULL, &name, 1, LOCALE_SYSTEM_DEFAULT, &id), S_OK);
  DISPPARAMS none = {nullptr, nullptr, 0, 0};
  VARIANT result;
  result.vt = VT_EMPTY;
  EXPECT_EQ(position->Invoke(id, IID_NULL, LOCALE_SYSTEM_DEFAULT, DISPATCH_PROPERTYGET, &none, &result, nullptr,
                             nullptr),
            S_OK);
  EXPECT_EQ(result.vt, VT_R8);
  EXPECT_DOUBLE_EQ(result.dblVal, SAMPLE_COUNT * 0.05);
  position->Release();
}

}  // namespace
