// The movie renderer filter with made-up media types and samples: which types it takes and
// refuses, the frame-buffer layout of each, bottom-up rows turned over, YUV frames converted,
// and samples too short for their frame refused.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

#include "core/winapi.h"
#include "image/yuv.h"
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
  explicit FakeSample(std::string bytes) : bytes(std::move(bytes)) {}
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void**) override { return E_NOINTERFACE; }
  ULONG STDMETHODCALLTYPE AddRef() override { return 1; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  HRESULT STDMETHODCALLTYPE GetPointer(BYTE** out) override {
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
  int FirstByteOfRow(int row) { return (uint8_t)renderer->frameBuffer[(size_t)row * renderer->pitch]; }

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
  EXPECT_EQ(renderer->frameBuffer, nullptr);
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
    EXPECT_EQ(MovieRendererTakeNewFrame(renderer), 1);
    EXPECT_EQ(MovieRendererTakeNewFrame(renderer), 0);
    EXPECT_EQ(FirstByteOfRow(0), c.reversed ? rows : 1);
    EXPECT_EQ(FirstByteOfRow(rows - 1), c.reversed ? 1 : rows);
    RASTER_IMAGE frame = {};
    MovieRendererDescribeFrame(renderer, &frame);
    EXPECT_EQ(frame.format.colorBits, c.colorBits);
    EXPECT_EQ(frame.pitch, c.pitch);
    EXPECT_EQ(frame.pixels, renderer->frameBuffer);
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
  RASTER_IMAGE expected = {};
  ASSERT_EQ(AllocXRGB8Image(w, h, &expected), 0);
  ASSERT_EQ(DecodeYV12Frame(yv12.data(), w, h, &expected), 0);
  for (int y = 0; y < h; y++)
    EXPECT_EQ(memcmp(renderer->frameBuffer + (size_t)y * renderer->pitch, (uint8_t*)expected.pixels + y * expected.pitch,
                     (size_t)w * 4),
              0)
        << "row " << y;
  DisposeImage(&expected);
  RASTER_IMAGE frame = {};
  MovieRendererDescribeFrame(renderer, &frame);
  EXPECT_EQ(frame.format.colorBits, 32);

  ASSERT_EQ(Connect(VIDEO_TYPE(MEDIASUBTYPE_RGB32, 2, -2)), S_OK);
  EXPECT_EQ(renderer->conversion, 0);
  EXPECT_EQ(renderer->conversionImage, nullptr);
  FakeSample rgb(std::string("\x01\x02\x03\x04\x05\x06\x07\x08\x09\x0A\x0B\x0C\x0D\x0E\x0F\x10", 16));
  ASSERT_EQ(renderer->DoRenderSample(&rgb), S_OK);
  EXPECT_EQ(memcmp(renderer->frameBuffer, "\x01\x02\x03\x04\x05\x06\x07\x08\x09\x0A\x0B\x0C\x0D\x0E\x0F\x10", 16), 0);
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

TEST_F(MovieRenderer, SamplesShorterThanTheirFrameAreRefused) {
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
    EXPECT_EQ(renderer->DoRenderSample(&shortSample), E_INVALIDARG);
    EXPECT_EQ(MovieRendererTakeNewFrame(renderer), 0);
    FakeSample whole(std::string(c.frameBytes, '\x55'));
    EXPECT_EQ(renderer->DoRenderSample(&whole), S_OK);
    EXPECT_EQ(MovieRendererTakeNewFrame(renderer), 1);
  }
  EXPECT_EQ(renderer->DoRenderSample(nullptr), E_POINTER);
}

// Before any type a sample is taken and dropped.
TEST_F(MovieRenderer, SamplesBeforeAnyTypeAreDropped) {
  FakeSample sample(std::string(64, '\x11'));
  EXPECT_EQ(renderer->DoRenderSample(&sample), S_OK);
  EXPECT_EQ(renderer->frameBuffer, nullptr);
  EXPECT_EQ(MovieRendererTakeNewFrame(renderer), 0);
}
}  // namespace
