// Theora frame output on decoders built by the test (one stock entry, no thread): the YUV to
// RGB tables, both conversion paths, and the overlay surface through a scripted device layer:
// the three layouts, when a surface is made, lost and locked, and the worker road through
// main-thread requests.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "file/async_load.h"
#include "graphics/device/d3d_calls.h"
#include "graphics/device/screen.h"
#include "movie_fixture.h"

namespace {
const uint32_t kYV12 = MAKEFOURCC('Y', 'V', '1', '2'), kYUY2 = MAKEFOURCC('Y', 'U', 'Y', '2'),
               kUYVY = MAKEFOURCC('U', 'Y', 'V', 'Y');

// A decoder holding one frame of the given planes as its current frame 0.
struct FRAME_DECODER {
  THEORA_DECODER d = {};
  THEORA_STOCK_FRAME entry = {};
  std::vector<uint8_t> y, cb, cr;
  FRAME_DECODER(int width, int height, int chromaWidth, int chromaHeight, std::vector<uint8_t> luma,
                std::vector<uint8_t> blue, std::vector<uint8_t> red) {
    y = luma;
    cb = blue;
    cr = red;
    entry = {1, 0, y.data(), cb.data(), cr.data(), width, height, width, chromaWidth, chromaHeight, chromaWidth};
    d.stock = &entry;
    d.stockCount = 1;
    d.currentFrame = 0;
    d.state = THEORA_STATE_IDLE;
    d.info.width = width;
    d.info.height = height;
    d.info.pixelformat = chromaWidth * 2 == width && chromaHeight * 2 == height ? OC_PF_420 : OC_PF_444;
    EXPECT_EQ(AllocXRGB8Image(width, height, &d.image), 0);
  }
  ~FRAME_DECODER() { DisposeImage(&d.image); }
  uint32_t Pixel(int x, int y) const {
    return ((const uint32_t*)((const uint8_t*)d.image.pixels + y * d.image.pitch))[x];
  }
};

uint32_t Xrgb(int r, int g, int b) { return 0xFF000000u | (r << 16) | (g << 8) | b; }

TEST(TheoraOutput, TablesHoldTheLimitedRangeFactors) {
  BuildYuvToRgbTables();
  const YUV_TO_RGB_TABLES& t = YuvToRgbTables;
  struct ROW {
    const char* name;
    int32_t value, expected;
  } rows[] = {
      {"clamp -512", t.clamp[0], 0},           {"clamp 0", t.clamp[512], 0},
      {"clamp 100", t.clamp[612], 100},        {"clamp 255", t.clamp[767], 255},
      {"clamp 767", t.clamp[1279], 255},       {"luma 16", t.luma[16], 0},
      {"luma 235", t.luma[235], 19070 * 219},  {"luma 0", t.luma[0], -19070 * 16},
      {"Cr red 255", t.crToRed[255], 26148 * 127}, {"Cr red 0", t.crToRed[0], -26148 * 128},
      {"Cb green 0", t.cbToGreen[0], 6406 * 128},  {"Cb green 255", t.cbToGreen[255], -6406 * 127},
      {"Cr green 0", t.crToGreen[0], 13320 * 128}, {"Cr green 255", t.crToGreen[255], -13320 * 127},
      {"Cb blue 255", t.cbToBlue[255], 33062 * 127}, {"Cb blue 128", t.cbToBlue[128], 0},
  };
  for (const ROW& r : rows) EXPECT_EQ(r.value, r.expected) << r.name;
  // Every sum of a luma entry and a chroma term stays inside the clamp table.
  int32_t low = t.luma[0] + t.cbToBlue[0], high = t.luma[255] + t.cbToBlue[255];
  EXPECT_GE(low / 16384, -512);
  EXPECT_LE(high / 16384, 767);
}

// (Y, Cb, Cr) -> (R, G, B), worked out by hand from the table factors and from the float
// formula; both paths agree on these.
struct COLOR_CASE {
  int y, cb, cr, r, g, b;
};
const COLOR_CASE kColorCases[] = {
    {16, 128, 128, 0, 0, 0},        // black
    {235, 128, 128, 254, 254, 254},  // 254.9 truncated
    {236, 128, 128, 255, 255, 255},  // through the clamp
    {100, 50, 200, 212, 69, 0},      // blue below zero
    {200, 128, 240, 255, 123, 214},  // red above 255
    {60, 230, 40, 0, 82, 255},       // blue above 255, red below zero
};

TEST(TheoraOutput, IntegerPathPerTwoByTwoBlock) {
  BuildYuvToRgbTables();
  // Two blocks side by side: each case's luma in the block's four pixels, its chroma pair once.
  for (const COLOR_CASE& c : kColorCases) {
    FRAME_DECODER f(4, 2, 2, 1, {16, 16, (uint8_t)c.y, (uint8_t)c.y, 16, 16, (uint8_t)c.y, (uint8_t)c.y},
                    {128, (uint8_t)c.cb}, {128, (uint8_t)c.cr});
    ASSERT_EQ(PresentTheoraFrame(&f.d, 1, 0, 0), 1);
    for (int k = 0; k < 4; k++) {
      EXPECT_EQ(f.Pixel(k & 1, k >> 1), Xrgb(0, 0, 0)) << "first block, pixel " << k;
      EXPECT_EQ(f.Pixel(2 + (k & 1), k >> 1), Xrgb(c.r, c.g, c.b)) << "Y " << c.y << " Cb " << c.cb << " Cr " << c.cr;
    }
  }
}

TEST(TheoraOutput, FloatPathTakesTheCoveringChromaSample) {
  BuildYuvToRgbTables();
  for (const COLOR_CASE& c : kColorCases) {
    uint8_t y = (uint8_t)c.y, cb = (uint8_t)c.cb, cr = (uint8_t)c.cr;
    // 4:4:4, 2 x 2: only the bottom-right pixel has the case's chroma.
    FRAME_DECODER full(2, 2, 2, 2, {16, 16, 16, y}, {128, 128, 128, cb}, {128, 128, 128, cr});
    ASSERT_EQ(PresentTheoraFrame(&full.d, 1, 0, 0), 1);
    EXPECT_EQ(full.Pixel(1, 1), Xrgb(c.r, c.g, c.b)) << "4:4:4, Y " << c.y;
    EXPECT_EQ(full.Pixel(0, 1), Xrgb(0, 0, 0));
    EXPECT_EQ(full.Pixel(1, 0), Xrgb(0, 0, 0));
    // 4:2:2, 4 x 2: the right pair of the second row shares the case's chroma sample.
    FRAME_DECODER half(4, 2, 2, 2, {16, 16, 16, 16, 16, 16, y, y}, {128, 128, 128, cb}, {128, 128, 128, cr});
    ASSERT_EQ(PresentTheoraFrame(&half.d, 1, 0, 0), 1);
    EXPECT_EQ(half.Pixel(2, 1), Xrgb(c.r, c.g, c.b)) << "4:2:2, Y " << c.y;
    EXPECT_EQ(half.Pixel(3, 1), Xrgb(c.r, c.g, c.b)) << "4:2:2, Y " << c.y;
    EXPECT_EQ(half.Pixel(1, 1), Xrgb(0, 0, 0));
    EXPECT_EQ(half.Pixel(2, 0), Xrgb(0, 0, 0));
  }
}

TEST(TheoraOutput, FloatPathTruncatesInSinglePrecision) {
  BuildYuvToRgbTables();
  // Y 100, Cb 128, Cr 129: R = 97.776 + 1.596 = 99.37 -> 99, G = 97.776 - 0.813 = 96.96 -> 96.
  FRAME_DECODER f(2, 1, 2, 1, {100, 100}, {128, 128}, {129, 129});
  f.d.info.pixelformat = OC_PF_444;
  ASSERT_EQ(PresentTheoraFrame(&f.d, 1, 0, 0), 1);
  EXPECT_EQ(f.Pixel(0, 0), Xrgb(99, 96, 97));
}

// The SSE2 conversion gives the tables' bytes for every (Y, Cb, Cr): one 4096 x 4096 frame
// holds all 2^24 triples (each Cb, Cr pair in 64 blocks whose 256 luma samples are 0 .. 255).
TEST(TheoraOutput, Sse2ConversionGivesTheTablesBytesForEveryYCbCr) {
  BuildYuvToRgbTables();
  const int side = 4096, chroma = side / 2;
  std::vector<uint8_t> y((size_t)side * side), cb((size_t)chroma * chroma), cr((size_t)chroma * chroma);
  for (int j = 0; j < chroma; j++)
    for (int i = 0; i < chroma; i++) {
      int block = j * chroma + i, pair = block / 64;
      cb[(size_t)j * chroma + i] = (uint8_t)(pair & 255);
      cr[(size_t)j * chroma + i] = (uint8_t)(pair >> 8);
      for (int k = 0; k < 4; k++)
        y[(size_t)(2 * j + (k >> 1)) * side + 2 * i + (k & 1)] = (uint8_t)((block % 64) * 4 + k);
    }
  const YUV420_PLANES planes = {y.data(), side, cb.data(), cr.data(), chroma};
  std::vector<uint8_t> byTables((size_t)side * side * 4), bySse2((size_t)side * side * 4, 0xA5);
  ConvertYuv420ToXrgb8(&planes, side, side, byTables.data(), side * 4, YUV_CONVERT_TABLES);
  ConvertYuv420ToXrgb8(&planes, side, side, bySse2.data(), side * 4, YUV_CONVERT_SSE2);
  size_t differ = 0, first = 0;
  for (size_t k = 0; k < byTables.size(); k++)
    if (byTables[k] != bySse2[k] && differ++ == 0) first = k;
  EXPECT_EQ(differ, 0u) << "first at pixel " << first / 4 << ": Y " << (int)y[first / 4] << ", tables "
                        << (int)byTables[first] << ", SSE2 " << (int)bySse2[first];
  // The tables' own values on a few triples (so that both cannot be wrong alike).
  struct ROW {
    int luma, blue, red, r, g, b;
  } rows[] = {{16, 128, 128, 0, 0, 0}, {235, 128, 128, 254, 254, 254}, {100, 50, 200, 212, 69, 0}};
  for (const ROW& r : rows) {
    size_t block = (size_t)((r.red << 8 | r.blue) * 64 + r.luma / 4), j = block / chroma, i = block % chroma;
    size_t pixel = (2 * j + ((r.luma % 4) >> 1)) * side + 2 * i + (r.luma % 4 & 1);
    EXPECT_EQ(bySse2[4 * pixel + 2], r.r) << "Y " << r.luma;
    EXPECT_EQ(bySse2[4 * pixel + 1], r.g) << "Y " << r.luma;
    EXPECT_EQ(bySse2[4 * pixel + 0], r.b) << "Y " << r.luma;
    EXPECT_EQ(bySse2[4 * pixel + 3], 255);
  }
}

// Widths that leave blocks to the per-pixel tail (and an odd last column), odd heights, strides
// and pitches wider than the rows: both paths write the same bytes and leave the same bytes.
TEST(TheoraOutput, Sse2ConversionMatchesTheTablesAtEverySizeAndPitch) {
  BuildYuvToRgbTables();
  uint32_t seed = 99;
  auto next = [&] { return (seed = seed * 1664525u + 1013904223u) >> 24; };
  for (int width : {2, 3, 14, 16, 17, 18, 30, 31, 32, 33, 46, 64, 100}) {
    for (int height : {2, 3, 5, 8}) {
      int yStride = width + 5, chromaStride = (width + 1) / 2 + 3, pitch = width * 4 + 12;
      std::vector<uint8_t> y((size_t)yStride * height), cb((size_t)chromaStride * ((height + 1) / 2)),
          cr(cb.size());
      for (uint8_t& v : y) v = (uint8_t)next();
      for (size_t k = 0; k < cb.size(); k++) cb[k] = (uint8_t)next(), cr[k] = (uint8_t)next();
      const YUV420_PLANES planes = {y.data(), yStride, cb.data(), cr.data(), chromaStride};
      std::vector<uint8_t> byTables((size_t)pitch * height, 0x3C), bySse2((size_t)pitch * height, 0x3C);
      ConvertYuv420ToXrgb8(&planes, width, height, byTables.data(), pitch, YUV_CONVERT_TABLES);
      ConvertYuv420ToXrgb8(&planes, width, height, bySse2.data(), pitch, YUV_CONVERT_SSE2);
      EXPECT_TRUE(byTables == bySse2) << width << " x " << height;
      if (width % 2) {
        EXPECT_EQ(bySse2[(size_t)(width - 1) * 4], 0x3C) << "the odd last column is left";
      }
    }
  }
}

// Frames wider than 2^31 / width pixels: the chroma column of the last pixels is found without
// overflow (4:4:4 and 4:2:2, 50 000 pixels wide: x * chroma width passes 2^31).
TEST(TheoraOutput, FloatPathFindsTheChromaOfVeryWideFrames) {
  BuildYuvToRgbTables();
  const int width = 50000;
  for (int chromaWidth : {width, width / 2}) {
    SCOPED_TRACE(chromaWidth == width ? "4:4:4" : "4:2:2");
    std::vector<uint8_t> cb(chromaWidth, 128), cr(chromaWidth, 128);
    cb[chromaWidth - 1] = 50;  // only the last chroma column is blue-shifted (the case Y 100, Cb 50, Cr 200)
    cr[chromaWidth - 1] = 200;
    FRAME_DECODER f(width, 1, chromaWidth, 1, std::vector<uint8_t>(width, 100), cb, cr);
    ASSERT_EQ(PresentTheoraFrame(&f.d, 1, 0, 0), 1);
    EXPECT_EQ(f.Pixel(width - 1, 0), Xrgb(212, 69, 0));
    EXPECT_EQ(f.Pixel(width - 3, 0), Xrgb(97, 97, 97)) << "a grey pixel before the last chroma column";
  }
}

// A scripted device layer: surfaces are memory blocks, creation answers by FOURCC, and every
// call notes its thread.
struct FAKE_SURFACE {
  uint32_t fourcc;
  int width, height;
  std::vector<uint8_t> bytes;
};
struct FAKE_DEVICE {
  std::vector<uint32_t> makes;  // FOURCCs the device makes
  std::vector<FAKE_SURFACE*> surfaces;
  std::vector<std::string> calls;
  std::vector<DWORD> threads;
  int failLocks = 0;
  int released = 0;
  const int pitch = 32;
};
FAKE_DEVICE* fake;

void Note(const std::string& call) {
  fake->calls.push_back(call);
  fake->threads.push_back(GetCurrentThreadId());
}

class OverlayTest : public ::testing::Test {
 protected:
  void SetUp() override {
    StartTestLog();
    BuildYuvToRgbTables();
    saved = DeviceCalls;
    savedDevice = Direct3DObjects.device;
    savedHardware = ScreenState.hardwareRendering;
    fake = &device;
    Direct3DObjects.device = (IDirect3DDevice9*)0xD000;
    ScreenState.hardwareRendering = 1;
    DeviceCalls.DeviceCreateOffscreenSurface = [](UINT w, UINT h, D3DFORMAT format, D3DPOOL pool,
                                                  IDirect3DSurface9** out, HANDLE* shared) -> HRESULT {
      Note("create " + std::string((const char*)&format, 4));
      EXPECT_EQ(pool, D3DPOOL_DEFAULT);
      EXPECT_EQ(shared, nullptr);
      for (uint32_t made : fake->makes)
        if (made == (uint32_t)format) {
          FAKE_SURFACE* s = new FAKE_SURFACE{made, (int)w, (int)h, std::vector<uint8_t>(fake->pitch * h * 2, 0xEE)};
          fake->surfaces.push_back(s);
          *out = (IDirect3DSurface9*)s;
          return S_OK;
        }
      return D3DERR_NOTAVAILABLE;
    };
    DeviceCalls.SurfaceLockRect = [](IDirect3DSurface9* s, D3DLOCKED_RECT* locked, const RECT* rect,
                                     DWORD flags) -> HRESULT {
      Note("lock");
      EXPECT_EQ(rect, nullptr);
      EXPECT_EQ(flags, 0u);
      if (fake->failLocks > 0) {
        fake->failLocks--;
        return D3DERR_INVALIDCALL;
      }
      locked->pBits = ((FAKE_SURFACE*)s)->bytes.data();
      locked->Pitch = fake->pitch;
      return S_OK;
    };
    DeviceCalls.SurfaceUnlockRect = [](IDirect3DSurface9*) -> HRESULT {
      Note("unlock");
      return S_OK;
    };
    DeviceCalls.ReleaseComObject = [](IUnknown*) -> ULONG {
      Note("release");
      fake->released++;
      return 0;
    };
  }
  void TearDown() override {
    DeviceCalls = saved;
    Direct3DObjects.device = savedDevice;
    ScreenState.hardwareRendering = savedHardware;
    for (FAKE_SURFACE* s : device.surfaces) delete s;
  }
  FAKE_SURFACE* Surface(THEORA_DECODER* d) { return (FAKE_SURFACE*)GetTheoraOverlaySurface(d); }

  FAKE_DEVICE device;
  DEVICE_CALL_TABLE saved;
  IDirect3DDevice9* savedDevice;
  int savedHardware;
};

// An 8 x 4 4:2:0 frame: luma 10 + index, Cb 100 + index, Cr 200 + index.
FRAME_DECODER* MakeSmallFrame() {
  std::vector<uint8_t> y(32), cb(8), cr(8);
  for (int i = 0; i < 32; i++) y[i] = (uint8_t)(10 + i);
  for (int i = 0; i < 8; i++) {
    cb[i] = (uint8_t)(100 + i);
    cr[i] = (uint8_t)(200 + i);
  }
  return new FRAME_DECODER(8, 4, 4, 2, y, cb, cr);
}

TEST_F(OverlayTest, EachLayoutHoldsTheFrameAtTheLockedPitch) {
  struct ROW {
    uint32_t fourcc;
    std::vector<uint32_t> makes;  // the first that the device makes is chosen
    std::vector<std::string> tried;
  } rows[] = {
      {kYV12, {kYV12, kYUY2, kUYVY}, {"create YV12"}},
      {kYUY2, {kYUY2, kUYVY}, {"create YV12", "create YUY2"}},
      {kUYVY, {kUYVY}, {"create YV12", "create YUY2", "create UYVY"}},
  };
  for (const ROW& row : rows) {
    device.makes = row.makes;
    device.calls.clear();
    FRAME_DECODER* f = MakeSmallFrame();
    ASSERT_EQ(CreateTheoraOverlay(&f->d, 0), 0);
    EXPECT_EQ(device.calls, row.tried);
    EXPECT_EQ(f->d.overlayFourcc, row.fourcc);
    ASSERT_EQ(PresentTheoraFrame(&f->d, 0, 1, 0), 1);
    FAKE_SURFACE* s = Surface(&f->d);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(s->width, 8);
    EXPECT_EQ(s->height, 4);
    const uint8_t* b = s->bytes.data();
    const int p = device.pitch;
    if (row.fourcc == kYV12) {
      for (int yy = 0; yy < 4; yy++)
        for (int x = 0; x < 8; x++) EXPECT_EQ(b[yy * p + x], 10 + yy * 8 + x) << "Y " << x << "," << yy;
      EXPECT_EQ(b[8], 0xEE) << "nothing past the row";
      for (int yy = 0; yy < 2; yy++)
        for (int x = 0; x < 4; x++) {
          EXPECT_EQ(b[4 * p + yy * (p / 2) + x], 200 + yy * 4 + x) << "Cr first, at half the pitch";
          EXPECT_EQ(b[4 * p + 2 * (p / 2) + yy * (p / 2) + x], 100 + yy * 4 + x) << "then Cb";
        }
    } else {
      bool yuy2 = row.fourcc == kYUY2;
      for (int yy = 0; yy < 4; yy++)
        for (int i = 0; i < 4; i++) {
          const uint8_t* q = b + yy * p + i * 4;
          int y0 = 10 + yy * 8 + 2 * i, cbv = 100 + (yy / 2) * 4 + i, crv = 200 + (yy / 2) * 4 + i;
          std::vector<int> got = {q[0], q[1], q[2], q[3]};
          std::vector<int> want = yuy2 ? std::vector<int>{y0, cbv, y0 + 1, crv} : std::vector<int>{cbv, y0, crv, y0 + 1};
          EXPECT_EQ(got, want) << (yuy2 ? "YUY2" : "UYVY") << " row " << yy << " pair " << i;
        }
    }
    EXPECT_EQ(PresentTheoraFrame(&f->d, 0, 1, 0), 0) << "the same frame is not copied twice";
    ReleaseTheoraOverlay(&f->d, 0);
    EXPECT_EQ(GetTheoraOverlaySurface(&f->d), nullptr);
    delete f;
  }
}

TEST_F(OverlayTest, NoSurfaceWithoutDeviceDrawingOr420) {
  device.makes = {kYV12};
  struct ROW {
    const char* name;
    int hardware;
    bool device;
    int pixelFormat;
  } rows[] = {
      {"software rendering", 0, true, OC_PF_420},
      {"no device", 1, false, OC_PF_420},
      {"4:2:2 movie", 1, true, OC_PF_422},
      {"4:4:4 movie", 1, true, OC_PF_444},
  };
  for (const ROW& r : rows) {
    ScreenState.hardwareRendering = r.hardware;
    Direct3DObjects.device = r.device ? (IDirect3DDevice9*)0xD000 : nullptr;
    device.calls.clear();
    FRAME_DECODER* f = MakeSmallFrame();
    f->d.info.pixelformat = (theora_pixelformat)r.pixelFormat;
    EXPECT_EQ(CreateTheoraOverlay(&f->d, 0), -1) << r.name;
    EXPECT_EQ(GetTheoraOverlaySurface(&f->d), nullptr) << r.name;
    EXPECT_EQ(f->d.overlayFourcc, 0u) << r.name;
    EXPECT_TRUE(device.calls.empty()) << r.name;
    EXPECT_EQ(PresentTheoraFrame(&f->d, 0, 1, 0), 0) << r.name << ": overlay only, no surface";
    EXPECT_EQ(PresentTheoraFrame(&f->d, 1, 1, 0), 1) << r.name << ": the image still comes";
    delete f;
  }
  // None of the three layouts made.
  ScreenState.hardwareRendering = 1;
  Direct3DObjects.device = (IDirect3DDevice9*)0xD000;
  device.makes = {};
  FRAME_DECODER* f = MakeSmallFrame();
  EXPECT_EQ(CreateTheoraOverlay(&f->d, 0), -1);
  EXPECT_EQ(f->d.overlayFourcc, 0u);
  EXPECT_EQ(device.calls.size(), 3u);
  delete f;
}

TEST_F(OverlayTest, LostSurfaceIsMadeAgainAndFilled) {
  device.makes = {kYV12};
  FRAME_DECODER* f = MakeSmallFrame();
  ASSERT_EQ(CreateTheoraOverlay(&f->d, 0), 0);
  ASSERT_EQ(PresentTheoraFrame(&f->d, 0, 1, 0), 1);
  FAKE_SURFACE* first = Surface(&f->d);
  EXPECT_EQ(SetTheoraOverlayLost(&f->d), 0);
  f->d.overlayUpToDate = 0;  // the current frame moved on
  f->y[0] = 77;
  device.calls.clear();
  ASSERT_EQ(PresentTheoraFrame(&f->d, 0, 1, 0), 1);
  EXPECT_EQ(device.calls, (std::vector<std::string>{"release", "create YV12", "lock", "unlock"}));
  FAKE_SURFACE* second = Surface(&f->d);
  EXPECT_NE(second, first);
  EXPECT_EQ(second->bytes[0], 77);
  EXPECT_EQ(f->d.overlayLost, 0);
  delete f;
}

// At a device loss the surface is released at once (its device goes next); the next overlay
// update makes a new one. A decoder without an overlay keeps asking for none.
TEST_F(OverlayTest, SurfaceReleasedAtTheLossIsMadeAgainByTheNextUpdate) {
  device.makes = {kYV12};
  FRAME_DECODER* f = MakeSmallFrame();
  ASSERT_EQ(CreateTheoraOverlay(&f->d, 0), 0);
  ASSERT_EQ(PresentTheoraFrame(&f->d, 0, 1, 0), 1);
  device.calls.clear();
  EXPECT_EQ(ReleaseTheoraOverlayOfLostDevice(&f->d), 0);
  EXPECT_EQ(device.calls, (std::vector<std::string>{"release"}));
  EXPECT_EQ(GetTheoraOverlaySurface(&f->d), nullptr);
  EXPECT_EQ(IsTheoraOverlayWanted(&f->d), 1);
  f->d.overlayUpToDate = 0;
  f->y[0] = 91;
  device.calls.clear();
  ASSERT_EQ(PresentTheoraFrame(&f->d, 0, 1, 0), 1);
  EXPECT_EQ(device.calls, (std::vector<std::string>{"create YV12", "lock", "unlock"}));
  ASSERT_NE(Surface(&f->d), nullptr);
  EXPECT_EQ(Surface(&f->d)->bytes[0], 91);
  EXPECT_EQ(f->d.overlayLost, 0);
  delete f;

  FRAME_DECODER* none = MakeSmallFrame();
  device.calls.clear();
  EXPECT_EQ(ReleaseTheoraOverlayOfLostDevice(&none->d), 0);
  EXPECT_EQ(IsTheoraOverlayWanted(&none->d), 0);
  EXPECT_EQ(PresentTheoraFrame(&none->d, 0, 1, 0), 0);
  EXPECT_TRUE(device.calls.empty());
  delete none;
}

TEST_F(OverlayTest, ThreeFailedLocksLeaveTheOverlayAndGoOnWithTheImage) {
  device.makes = {kYV12};
  FRAME_DECODER* f = MakeSmallFrame();
  ASSERT_EQ(CreateTheoraOverlay(&f->d, 0), 0);
  device.failLocks = 3;
  device.calls.clear();
  EXPECT_EQ(PresentTheoraFrame(&f->d, 1, 1, 0), 1);
  EXPECT_EQ(device.calls, (std::vector<std::string>{"lock", "release", "create YV12", "lock", "release", "create YV12",
                                                     "lock", "release", "create YV12"}));
  EXPECT_EQ(f->d.overlayUpToDate, 0);
  EXPECT_EQ(f->d.imageUpToDate, 1);
  // A lock that works again fills the re-made surface.
  EXPECT_EQ(PresentTheoraFrame(&f->d, 0, 1, 0), 1);
  EXPECT_EQ(Surface(&f->d)->bytes[0], 10);
  delete f;
}

TEST_F(OverlayTest, AFrameThatIsNot420CountsAsCopiedWithoutBytes) {
  device.makes = {kYV12};
  FRAME_DECODER* f = MakeSmallFrame();
  ASSERT_EQ(CreateTheoraOverlay(&f->d, 0), 0);
  f->entry.chromaHeight = 4;  // 4:2:2 samples behind a surface made for 4:2:0
  EXPECT_EQ(PresentTheoraFrame(&f->d, 0, 1, 0), 1);
  EXPECT_EQ(f->d.overlayUpToDate, 1);
  EXPECT_EQ(Surface(&f->d)->bytes[0], 0xEE);
  delete f;
}

// The worker road: creation, lock, unlock and release reach the device on the main thread.
FRAME_DECODER* workerFrame;
int workerResult;
int RunOverlayOnWorker(ASYNC_LOAD_TASK*) {
  CreateTheoraOverlay(&workerFrame->d, 1);
  workerResult = PresentTheoraFrame(&workerFrame->d, 0, 1, 1);
  ReleaseTheoraOverlay(&workerFrame->d, 1);
  return 0;
}

TEST_F(OverlayTest, WorkerHandsEveryDeviceCallToTheMainThread) {
  device.makes = {kYUY2};
  ASSERT_EQ(InitAsyncLoad(GetCurrentThreadId()), 0);
  ASSERT_EQ(StartAsyncLoadWorkers(2), 0);
  workerFrame = MakeSmallFrame();
  workerResult = -5;
  ASYNC_LOAD_TASK* task = AllocAsyncLoadTask(0);
  task->process = RunOverlayOnWorker;
  QueueAsyncLoadTask(task);
  EXPECT_TRUE(movie_test::WaitFor([] {
    ServeMainThreadRequests();
    return GetAsyncLoadTaskCount() == 0;
  }));
  EXPECT_EQ(workerResult, 1);
  EXPECT_EQ(device.calls,
            (std::vector<std::string>{"create YV12", "create YUY2", "lock", "unlock", "release"}));
  for (DWORD thread : device.threads) EXPECT_EQ(thread, GetCurrentThreadId());
  EXPECT_EQ(device.surfaces[0]->bytes[0], 10);
  EXPECT_EQ(GetTheoraOverlaySurface(&workerFrame->d), nullptr);
  delete workerFrame;
  EXPECT_EQ(StopAsyncLoadWorkers(), 0);
  EXPECT_EQ(EndAsyncLoad(), 0);
}
}  // namespace
