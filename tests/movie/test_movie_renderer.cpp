// The movie renderer filter with made-up media types and samples: which types it takes and
// refuses, the frame layout of each, bottom-up rows turned over, YUV frames converted, samples
// that are no whole frame dropped without ending the stream, and the hand-over of frames to the
// movie record: a frame the record holds survives a change of media type on the streaming
// thread, also while the two threads run at once.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

#include <mutex>

#include "core/memory.h"
#include "core/winapi.h"
#include "image/yuv.h"
#include "movie/movie_handles.h"
#include "movie/movie_renderer.h"

using namespace Korvel;

namespace {
class ComEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    LoadWinApiTable();
    WinApi.ole32.CoInitializeEx(nullptr, COINIT_MULTITHREADED);
  }
  void TearDown() override {
    WinApi.ole32.CoUninitialize();
    FreeWinApiTable();
  }
};
::testing::Environment* const com = ::testing::AddGlobalTestEnvironment(new ComEnvironment);

GUID Fourcc(const char* f) {
  GUID g = {(DWORD)(uint8_t)f[0] | (DWORD)(uint8_t)f[1] << 8 | (DWORD)(uint8_t)f[2] << 16 | (DWORD)(uint8_t)f[3] << 24,
            0x0000,
            0x0010,
            {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};
  return g;
}

// A video type with a VIDEOINFOHEADER of the given frame.
struct VIDEO_TYPE {
  K_CMediaType type;
  VIDEO_TYPE(const GUID& subtype, LONG width, LONG height, const GUID& major = MEDIATYPE_Video,
             const GUID& format = FORMAT_VideoInfo) {
    type.majortype = major;
    type.subtype = subtype;
    type.formattype = format;
    VIDEOINFOHEADER info = {};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = height;
    type.SetFormat((const BYTE*)&info, sizeof info);
  }
};

// A sample over a byte string: only what the renderer asks of it.
class FakeSample : public IMediaSample {
 public:
  explicit FakeSample(std::string bytes, bool noPointer = false) : bytes(std::move(bytes)), noPointer(noPointer) {}
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void**) override { return E_NOINTERFACE; }
  ULONG STDMETHODCALLTYPE AddRef() override { return 1; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  HRESULT STDMETHODCALLTYPE GetPointer(BYTE** out) override {
    if (noPointer) return E_UNEXPECTED;
    *out = (BYTE*)&bytes[0];
    return S_OK;
  }
  LONG STDMETHODCALLTYPE GetSize() override { return (LONG)bytes.size(); }
  HRESULT STDMETHODCALLTYPE GetTime(REFERENCE_TIME*, REFERENCE_TIME*) override { return VFW_E_SAMPLE_TIME_NOT_SET; }
  HRESULT STDMETHODCALLTYPE SetTime(REFERENCE_TIME*, REFERENCE_TIME*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE IsSyncPoint() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE SetSyncPoint(BOOL) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE IsPreroll() override { return S_FALSE; }
  HRESULT STDMETHODCALLTYPE SetPreroll(BOOL) override { return E_NOTIMPL; }
  LONG STDMETHODCALLTYPE GetActualDataLength() override { return (LONG)bytes.size(); }
  HRESULT STDMETHODCALLTYPE SetActualDataLength(LONG) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetMediaType(AM_MEDIA_TYPE** type) override {
    *type = nullptr;
    return S_FALSE;
  }
  HRESULT STDMETHODCALLTYPE SetMediaType(AM_MEDIA_TYPE*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE IsDiscontinuity() override { return S_FALSE; }
  HRESULT STDMETHODCALLTYPE SetDiscontinuity(BOOL) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetMediaTime(LONGLONG*, LONGLONG*) override { return VFW_E_MEDIA_TIME_NOT_SET; }
  HRESULT STDMETHODCALLTYPE SetMediaTime(LONGLONG*, LONGLONG*) override { return E_NOTIMPL; }

 private:
  std::string bytes;
  bool noPointer;
};

// Rows numbered by their first byte: row r of the sample starts with the byte r + 1.
std::string NumberedRows(int pitch, int rows) {
  std::string bytes((size_t)pitch * rows, '\0');
  for (int r = 0; r < rows; r++) bytes[(size_t)r * pitch] = (char)(r + 1);
  return bytes;
}

class MovieRenderer : public ::testing::Test {
 protected:
  void SetUp() override {
    renderer = CreateMovieRenderer(nullptr, nullptr);
    ASSERT_NE(renderer, nullptr);
    filter = static_cast<IBaseFilter*>(renderer);
    filter->AddRef();
  }
  void TearDown() override { filter->Release(); }
  HRESULT Check(const VIDEO_TYPE& t) { return renderer->CheckMediaType(&t.type); }
  // Checks and sets a type as a connection would.
  HRESULT Connect(const VIDEO_TYPE& t) {
    HRESULT hr = renderer->CheckMediaType(&t.type);
    return hr == S_OK ? renderer->SetMediaType(&t.type) : hr;
  }
  static int FirstByteOfRow(const MOVIE_FRAME* f, int row) { return f->pixels[(size_t)row * f->pitch]; }

  K_CMovieFrameRenderer* renderer = nullptr;
  IBaseFilter* filter = nullptr;
};

TEST_F(MovieRenderer, TakesTheEightSubtypesAndRefusesTheRest) {
  struct Case {
    const char* name;
    GUID subtype;
    int index;
  };
  const Case accepted[] = {{"RGB24", MEDIASUBTYPE_RGB24, MOVIE_FORMAT_RGB24}, {"RGB32", MEDIASUBTYPE_RGB32, MOVIE_FORMAT_RGB32},
                           {"YV12", Fourcc("YV12"), MOVIE_FORMAT_YV12},        {"NV12", Fourcc("NV12"), MOVIE_FORMAT_NV12},
                           {"YUY2", Fourcc("YUY2"), MOVIE_FORMAT_YUY2},        {"UYVY", Fourcc("UYVY"), MOVIE_FORMAT_UYVY},
                           {"YVYU", Fourcc("YVYU"), MOVIE_FORMAT_YVYU},        {"NV11", Fourcc("NV11"), MOVIE_FORMAT_NV11}};
  for (const Case& c : accepted) {
    EXPECT_EQ(Check(VIDEO_TYPE(c.subtype, 64, 48)), S_OK) << c.name;
    EXPECT_EQ(renderer->formatIndex, c.index) << c.name;
  }
  EXPECT_EQ(renderer->CheckMediaType(nullptr), E_POINTER);
  EXPECT_EQ(Check(VIDEO_TYPE(MEDIASUBTYPE_RGB24, 64, 48, MEDIATYPE_Video, FORMAT_VideoInfo2)), E_INVALIDARG);
  EXPECT_EQ(Check(VIDEO_TYPE(MEDIASUBTYPE_RGB24, 64, 48, MEDIATYPE_Audio)), E_FAIL);
  EXPECT_EQ(Check(VIDEO_TYPE(MEDIASUBTYPE_RGB565, 64, 48)), E_FAIL);
  EXPECT_EQ(Check(VIDEO_TYPE(Fourcc("I420"), 64, 48)), E_FAIL);
}

// A format block the buffers cannot be sized from is refused before anything is allocated.
TEST_F(MovieRenderer, RefusesFormatBlocksThatDoNotDescribeAFrame) {
  VIDEO_TYPE none(MEDIASUBTYPE_RGB32, 64, 48);
  none.type.ResetFormatBuffer();
  VIDEO_TYPE zeroSized(MEDIASUBTYPE_RGB32, 64, 48);
  zeroSized.type.cbFormat = 0;
  VIDEO_TYPE shortBlock(MEDIASUBTYPE_RGB32, 64, 48);
  shortBlock.type.cbFormat = sizeof(VIDEOINFOHEADER) - 1;
  struct Case {
    const char* name;
    VIDEO_TYPE type;
  } cases[] = {
      {"no block", none},
      {"zero-sized block", zeroSized},
      {"short block", shortBlock},
      {"width 0", VIDEO_TYPE(MEDIASUBTYPE_RGB32, 0, 48)},
      {"negative width", VIDEO_TYPE(MEDIASUBTYPE_RGB32, -64, 48)},
      {"height 0", VIDEO_TYPE(MEDIASUBTYPE_RGB32, 64, 0)},
      {"frame past 2 GB", VIDEO_TYPE(MEDIASUBTYPE_RGB32, 65536, 65536)},
      {"YUY2 frame past 2 GB", VIDEO_TYPE(Fourcc("YUY2"), 0x40000000, 2)},
      {"height of the lowest int", VIDEO_TYPE(MEDIASUBTYPE_RGB24, 4, (LONG)0x80000000)},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(renderer->CheckMediaType(&c.type.type), E_INVALIDARG) << c.name;
    EXPECT_EQ(renderer->SetMediaType(&c.type.type), E_INVALIDARG) << c.name;
  }
  EXPECT_EQ(renderer->mediaTypeSet, 0);
  EXPECT_EQ(renderer->writing, nullptr);
}

TEST_F(MovieRenderer, RgbLayoutsKeepTheirDepthAndTurnBottomUpRowsOver) {
  struct Case {
    const char* name;
    GUID subtype;
    LONG width, height;
    int pitch;
    bool reversed;
    int colorBits;
  };
  const Case cases[] = {
      {"RGB24 bottom-up", MEDIASUBTYPE_RGB24, 320, 240, 960, true, 24},
      {"RGB24 top-down", MEDIASUBTYPE_RGB24, 320, -240, 960, false, 24},
      {"RGB24 321 wide", MEDIASUBTYPE_RGB24, 321, 5, 964, true, 24},
      {"RGB32 bottom-up", MEDIASUBTYPE_RGB32, 7, 3, 28, true, 32},
      {"RGB32 top-down", MEDIASUBTYPE_RGB32, 7, -3, 28, false, 32},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_EQ(Connect(VIDEO_TYPE(c.subtype, c.width, c.height)), S_OK);
    int rows = c.height < 0 ? -c.height : c.height;
    EXPECT_EQ(renderer->pitch, c.pitch);
    EXPECT_EQ(renderer->conversion, 0);
    FakeSample sample(NumberedRows(c.pitch, rows));
    ASSERT_EQ(renderer->DoRenderSample(&sample), S_OK);
    MOVIE_FRAME* f = MovieRendererTakeFrame(renderer);
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(MovieRendererTakeFrame(renderer), nullptr);
    EXPECT_EQ(FirstByteOfRow(f, 0), c.reversed ? rows : 1);
    EXPECT_EQ(FirstByteOfRow(f, rows - 1), c.reversed ? 1 : rows);
    RASTER_IMAGE frame = {};
    DescribeMovieFrame(f, &frame);
    EXPECT_EQ(frame.format.colorBits, c.colorBits);
    EXPECT_EQ(frame.pitch, c.pitch);
    EXPECT_EQ(frame.width, (int)c.width);
    EXPECT_EQ(frame.height, rows);
    EXPECT_EQ(frame.pixels, f->pixels);
    MovieRendererGiveBackFrame(renderer, f);
  }
}

// YUV frames are stored top-down as XRGB32 whatever the sign of the height; a later RGB type on
// the same filter is copied straight again.
TEST_F(MovieRenderer, YuvFramesAreConvertedTopDownAndAnRgbTypeAfterThemIsCopied) {
  const int w = 8, h = 4;
  ASSERT_EQ(Connect(VIDEO_TYPE(Fourcc("YV12"), w, h)), S_OK);
  EXPECT_EQ(renderer->conversion, 1);
  EXPECT_EQ(renderer->bottomUp, 0);
  EXPECT_EQ(renderer->pitch, 4 * w);
  std::string yv12((size_t)w * h + 2 * (w / 2) * (h / 2), (char)128);
  for (int y = 0; y < h; y++)
    for (int x = 0; x < w; x++) yv12[(size_t)y * w + x] = (char)(y * 60 + 10);  // luma grows downwards
  FakeSample sample(yv12);
  ASSERT_EQ(renderer->DoRenderSample(&sample), S_OK);
  MOVIE_FRAME* f = MovieRendererTakeFrame(renderer);
  ASSERT_NE(f, nullptr);
  RASTER_IMAGE expected = {};
  ASSERT_EQ(AllocXRGB8Image(w, h, &expected), 0);
  ASSERT_EQ(DecodeYV12Frame(yv12.data(), w, h, &expected), 0);
  for (int y = 0; y < h; y++)
    EXPECT_EQ(memcmp(f->pixels + (size_t)y * f->pitch, (uint8_t*)expected.pixels + y * expected.pitch, (size_t)w * 4), 0)
        << "row " << y;
  DisposeImage(&expected);
  RASTER_IMAGE frame = {};
  DescribeMovieFrame(f, &frame);
  EXPECT_EQ(frame.format.colorBits, 32);
  MovieRendererGiveBackFrame(renderer, f);

  ASSERT_EQ(Connect(VIDEO_TYPE(MEDIASUBTYPE_RGB32, 2, -2)), S_OK);
  EXPECT_EQ(renderer->conversion, 0);
  EXPECT_EQ(renderer->conversionImage, nullptr);
  FakeSample rgb(std::string("\x01\x02\x03\x04\x05\x06\x07\x08\x09\x0A\x0B\x0C\x0D\x0E\x0F\x10", 16));
  ASSERT_EQ(renderer->DoRenderSample(&rgb), S_OK);
  f = MovieRendererTakeFrame(renderer);
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(memcmp(f->pixels, "\x01\x02\x03\x04\x05\x06\x07\x08\x09\x0A\x0B\x0C\x0D\x0E\x0F\x10", 16), 0);
  FreeMovieFrame(f);
}

// The layout comes from the connection's own type, not from the last type that was checked.
TEST_F(MovieRenderer, TheConnectionsOwnTypeDecidesTheLayout) {
  VIDEO_TYPE rgb(MEDIASUBTYPE_RGB24, 4, 2), yuy2(Fourcc("YUY2"), 4, 2);
  ASSERT_EQ(renderer->CheckMediaType(&rgb.type), S_OK);
  ASSERT_EQ(renderer->CheckMediaType(&yuy2.type), S_OK);  // a proposal that is not taken
  ASSERT_EQ(renderer->SetMediaType(&rgb.type), S_OK);
  EXPECT_EQ(renderer->formatIndex, MOVIE_FORMAT_RGB24);
  EXPECT_EQ(renderer->pitch, 12);
  EXPECT_EQ(renderer->conversion, 0);
}

// A sample that is no whole frame of its type (too short, or no bytes to be had) is dropped
// with S_OK, so that the graph goes on streaming; the next whole one is a frame.
TEST_F(MovieRenderer, SamplesThatAreNoWholeFrameAreDroppedAndTheStreamGoesOn) {
  struct Case {
    const char* name;
    GUID subtype;
    int width, height;
    size_t frameBytes;
  };
  const Case cases[] = {
      {"RGB24", MEDIASUBTYPE_RGB24, 5, 3, 16 * 3},  {"RGB32", MEDIASUBTYPE_RGB32, 5, 3, 20 * 3},
      {"YV12", Fourcc("YV12"), 8, 4, 32 + 16},      {"NV12", Fourcc("NV12"), 8, 4, 32 + 16},
      {"NV11", Fourcc("NV11"), 8, 4, 32 + 16},      {"YUY2", Fourcc("YUY2"), 8, 4, 64},
      {"UYVY", Fourcc("UYVY"), 8, 4, 64},           {"YVYU", Fourcc("YVYU"), 8, 4, 64},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_EQ(Connect(VIDEO_TYPE(c.subtype, c.width, c.height)), S_OK);
    FakeSample shortSample(std::string(c.frameBytes - 1, '\x55'));
    EXPECT_EQ(renderer->DoRenderSample(&shortSample), S_OK);
    EXPECT_EQ(MovieRendererTakeFrame(renderer), nullptr);
    FakeSample noBytes(std::string(c.frameBytes, '\x55'), true);
    EXPECT_EQ(renderer->DoRenderSample(&noBytes), S_OK);
    EXPECT_EQ(MovieRendererTakeFrame(renderer), nullptr);
    FakeSample whole(std::string(c.frameBytes, '\x55'));
    EXPECT_EQ(renderer->DoRenderSample(&whole), S_OK);
    MOVIE_FRAME* f = MovieRendererTakeFrame(renderer);
    EXPECT_NE(f, nullptr);
    FreeMovieFrame(f);
  }
  EXPECT_EQ(renderer->DoRenderSample(nullptr), E_POINTER);
}

// Before any type a sample is taken and dropped.
TEST_F(MovieRenderer, SamplesBeforeAnyTypeAreDropped) {
  FakeSample sample(std::string(64, '\x11'));
  EXPECT_EQ(renderer->DoRenderSample(&sample), S_OK);
  EXPECT_EQ(renderer->writing, nullptr);
  EXPECT_EQ(MovieRendererTakeFrame(renderer), nullptr);
}

// A heap over the process heap that gives no freed block back while it is set: it fills each
// with 0xDD and keeps it, so that a read of freed memory sees the fill, never old pixels.
std::mutex keptLock;
std::vector<void*> kept;
const ALLOC_HEAP_FUNCTIONS* PoisoningHeap() {
  static const ALLOC_HEAP_FUNCTIONS heap = {
      [](size_t size) -> void* { return HeapAlloc(GetProcessHeap(), 0, size); },
      [](void* block, size_t size) -> void* {
        return block == nullptr ? HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, size)
                                : HeapReAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, block, size);
      },
      [](void* block) {
        memset(block, 0xDD, HeapSize(GetProcessHeap(), 0, block));
        std::lock_guard<std::mutex> hold(keptLock);
        kept.push_back(block);
      }};
  return &heap;
}

class MovieFrameHandOver : public MovieRenderer {
 protected:
  void SetUp() override {
    MovieRenderer::SetUp();
    SetAllocHeapFunctions(PoisoningHeap());
    ASSERT_EQ(SetUpMovieHandles(), 0);
  }
  void TearDown() override {
    ShutDownMovieHandles();
    MovieRenderer::TearDown();
    SetAllocHeapFunctions(nullptr);
    for (void* block : kept) HeapFree(GetProcessHeap(), 0, block);
    kept.clear();
  }
};

// What the frame callback below saw: the size of the frame and how many of its bytes were not
// the frame's value.
struct SEEN {
  K_CMovieFrameRenderer* renderer;
  bool changeType;
  int calls, width, height, wrongBytes;
  uint8_t value;
} seen;

// Copies the frame as the graph layer would, while the streaming thread changes the media type
// and renders a frame of the new type in the middle of the copy.
int CopyWhileTheTypeChanges(MOVIE_RECORD* movie, int) {
  seen.calls++;
  const RASTER_IMAGE* image = movie->image;
  if (seen.changeType) {
    seen.changeType = false;
    VIDEO_TYPE rgb24(MEDIASUBTYPE_RGB24, 5, -3);
    EXPECT_EQ(seen.renderer->CheckMediaType(&rgb24.type), S_OK);
    EXPECT_EQ(seen.renderer->SetMediaType(&rgb24.type), S_OK);
    FakeSample next(std::string(16 * 3, '\x42'));
    EXPECT_EQ(seen.renderer->DoRenderSample(&next), S_OK);
  }
  seen.width = image->width;
  seen.height = image->height;
  seen.wrongBytes = 0;
  for (int y = 0; y < image->height; y++)
    for (int x = 0; x < image->width * image->format.bytesPerPixel; x++)
      seen.wrongBytes += ((const uint8_t*)image->pixels)[(size_t)y * image->pitch + x] != seen.value;
  return 0;
}

TEST_F(MovieFrameHandOver, FrameTheRecordCopiesSurvivesATypeChangeOnTheStreamingThread) {
  ASSERT_EQ(Connect(VIDEO_TYPE(MEDIASUBTYPE_RGB32, 16, -8)), S_OK);
  FakeSample first(std::string(16 * 4 * 8, '\x21'));
  ASSERT_EQ(renderer->DoRenderSample(&first), S_OK);
  HANDLE_VALUE h = NewHandle(HANDLE_TYPE_MOVIE, -1);
  MOVIE_RECORD* m = GetMovieRecord(h);
  ASSERT_NE(m, nullptr);
  m->sound = -1;
  m->renderer = renderer;
  ASSERT_EQ(SetMovieFrameCallback(h, CopyWhileTheTypeChanges, 0), 0);
  seen = {renderer, true, 0, 0, 0, 0, 0x21};
  EXPECT_EQ(AdvanceMovieFrame(h, 0), 0);
  EXPECT_EQ(seen.calls, 1);
  EXPECT_EQ(seen.width, 16);
  EXPECT_EQ(seen.height, 8);
  EXPECT_EQ(seen.wrongBytes, 0) << "the frame being copied was freed under the copy";
  // The next draw hands over the frame of the new type.
  seen.value = 0x42;
  EXPECT_EQ(AdvanceMovieFrame(h, 0), 0);
  EXPECT_EQ(seen.calls, 2);
  EXPECT_EQ(seen.width, 5);
  EXPECT_EQ(seen.height, 3);
  EXPECT_EQ(seen.wrongBytes, 0);
  EXPECT_EQ(m->image->format.colorBits, 24);
  // A frame offered again (its copy in a graph was lost) reaches the callback once more.
  EXPECT_EQ(AdvanceMovieFrame(h, 0), 0);
  EXPECT_EQ(seen.calls, 2);
  EXPECT_EQ(OfferMovieFrameAgain(h), 0);
  EXPECT_EQ(AdvanceMovieFrame(h, 0), 0);
  EXPECT_EQ(seen.calls, 3);
  EXPECT_EQ(seen.wrongBytes, 0);
  EXPECT_EQ(DeleteHandle(h), 0);
}

// The streaming thread: frames of one byte value each, the media type changed every 7 frames.
struct STREAMING {
  K_CMovieFrameRenderer* renderer;
  int done;
};
DWORD WINAPI StreamFramesChangingTheType(LPVOID parameter) {
  STREAMING* s = (STREAMING*)parameter;
  VIDEO_TYPE large(MEDIASUBTYPE_RGB32, 32, -16), small(MEDIASUBTYPE_RGB32, 24, -12);
  for (int i = 0; i < 3000; i++) {
    if (i % 7 == 0) {
      const VIDEO_TYPE& t = (i / 7) % 2 ? small : large;
      s->renderer->CheckMediaType(&t.type);
      s->renderer->SetMediaType(&t.type);
    }
    FakeSample sample(std::string((size_t)s->renderer->pitch * s->renderer->height, (char)(1 + i % 200)));
    s->renderer->DoRenderSample(&sample);
    if (i % 16 == 0) Sleep(0);
  }
  __atomic_store_n(&s->done, 1, __ATOMIC_RELEASE);
  return 0;
}

// The streaming thread renders frames, changing the media type every few of them, while the
// reader takes, reads and gives back frames: every frame read is whole and of one sample.
TEST_F(MovieFrameHandOver, StreamingThreadAndReaderRunAtOnce) {
  ASSERT_EQ(Connect(VIDEO_TYPE(MEDIASUBTYPE_RGB32, 32, -16)), S_OK);
  STREAMING stream = {renderer, 0};
  HANDLE thread = CreateThread(nullptr, 0, StreamFramesChangingTheType, &stream, 0, nullptr);
  ASSERT_NE(thread, nullptr);
  MOVIE_FRAME* held = nullptr;
  int taken = 0, broken = 0;
  while (!__atomic_load_n(&stream.done, __ATOMIC_ACQUIRE)) {
    MOVIE_FRAME* f = MovieRendererTakeFrame(renderer);
    if (f == nullptr) continue;
    taken++;
    bool sizeFits = (f->width == 32 && f->height == 16) || (f->width == 24 && f->height == 12);
    uint8_t value = f->pixels[0];
    for (size_t i = 0; sizeFits && i < (size_t)f->pitch * f->height; i++) broken += f->pixels[i] != value;
    broken += !sizeFits || value == 0xDD || value == 0;
    MovieRendererGiveBackFrame(renderer, held);
    held = f;
  }
  EXPECT_EQ(WaitForSingleObject(thread, 10000), WAIT_OBJECT_0);
  CloseHandle(thread);
  FreeMovieFrame(held);
  EXPECT_GT(taken, 0);
  EXPECT_EQ(broken, 0);
}
}  // namespace
