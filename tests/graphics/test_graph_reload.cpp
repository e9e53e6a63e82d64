// Graphs loaded from files and memory on Wine's real Direct3D 9 device, read back from their
// textures, and restored from their reload sources pixel for pixel after their textures were
// overwritten (the state a device re-creation leaves them in).
#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

#include "core/handles.h"
#include "core/memory.h"
#include "font/font_handles.h"
#include "graphics/device/d3d_calls.h"
#include "graphics/device/device.h"
#include "graphics/lifecycle/device_restore.h"
#include "graphics/device/draw_settings.h"
#include "graphics/graphs/graph_create.h"
#include "graphics/graphs/graph_handles.h"
#include "graphics/graphs/graph_load.h"
#include "graphics/graphs/graph_reload.h"
#include "graphics/graphs/graph_textures.h"
#include "graphics/device/screen.h"
#include "graphics/device/vertex_batch.h"
#include "graphics/software/software_screen.h"
#include "graphics/graphs/texture_transfer.h"
#include "image/bmp.h"
#include "korvel.h"
#include "system/base/window_state.h"
#include "../image/image_builders.h"
#include "../image/image_test_util.h"
#include "read_back.h"
#include "real_device.h"
#include "test_support.h"

namespace {
class GraphReload : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { StartRealDevice(); }
  static void TearDownTestSuite() { EndRealDevice(); }
  static GRAPH_LOAD_PARAM Settings() {
    GRAPH_LOAD_PARAM p;
    CaptureGraphLoadParam(&p);
    return p;
  }
};

// Overwrites the graph's texture with black, as a lost device leaves it.
void Blacken(HANDLE_VALUE handle) {
  GRAPH_RECORD* g = GetGraphRecord(handle, 0);
  RASTER_IMAGE black = {};
  ASSERT_EQ(AllocARGB8Image(g->width, g->height, &black), 0);
  memset(black.pixels, 0, (size_t)black.pitch * black.height);
  int rx = g->reloadX, ry = g->reloadY;
  ASSERT_EQ(TransferImageToGraph(nullptr, nullptr, nullptr, 0, &black, nullptr, 0, 0, handle, 1, 0), 0);
  g->reloadX = rx;
  g->reloadY = ry;
  DisposeImage(&black);
}

// A 24-bit BMP whose pixel (x, y) has red 40x + 3, green 30y + 5, blue x * y.
std::string NumberedBmp(int w, int h) {
  std::string px;
  int row = (w * 3 + 3) / 4 * 4;
  for (int y = h - 1; y >= 0; y--) {
    std::string r;
    for (int x = 0; x < w; x++) r += std::string{(char)(x * y), (char)(30 * y + 5), (char)(40 * x + 3)};
    px += r + std::string(row - w * 3, '\0');
  }
  return MakeBmp(w, h, 24, 0, "", px);
}
uint32_t NumberedRgb(int x, int y) { return (uint32_t)(40 * x + 3) << 16 | (uint32_t)(30 * y + 5) << 8 | (uint32_t)(x * y); }

// The graph drawn at (20, 30) on the back screen and read back from the presented frame
// shows the numbered pixels (mirrored left-right for the memory copy of the file).
void ExpectDrawnNumbered(HANDLE_VALUE graph, int mirrored, const char* when) {
  ClearDrawTarget(nullptr);
  ASSERT_EQ(DrawGraphAt(20, 30, graph, 0), 0) << when;
  PICTURE p = FlipAndRead();
  ASSERT_GT(p.width, 0) << when;
  for (int y = 0; y < 5; y++)
    for (int x = 0; x < 6; x++)
      EXPECT_EQ(p.At(20 + x, 30 + y), NumberedRgb(mirrored ? 5 - x : x, y)) << when << " " << x << "," << y;
}

TEST_F(GraphReload, FileAndMemoryGraphsReadBackAndRestorePixelForPixel) {
  std::string bmp = NumberedBmp(6, 5);
  ASSERT_TRUE(WriteWholeFile("numbered.bmp", bmp));
  GRAPH_LOAD_PARAM settings = Settings();
  HANDLE_VALUE fromFile = LoadGraphFromFile(&settings, 0, -1, "numbered.bmp", 0, 0, 0);
  HANDLE_VALUE fromMemory = LoadGraphFromImageBytes(&settings, 0, -1, bmp.data(), (int)bmp.size(), nullptr, 0, 1, 0, 0);
  ASSERT_NE(fromFile, -1);
  ASSERT_NE(fromMemory, -1);
  std::vector<uint32_t> file = ReadGraphTexture(fromFile), memory = ReadGraphTexture(fromMemory);
  ASSERT_EQ(file.size(), 30u);
  ASSERT_EQ(memory.size(), 30u);
  for (int y = 0; y < 5; y++)
    for (int x = 0; x < 6; x++) {
      EXPECT_EQ(file[y * 6 + x] & 0xFFFFFF, NumberedRgb(x, y)) << x << "," << y;
      EXPECT_EQ(memory[y * 6 + x] & 0xFFFFFF, NumberedRgb(5 - x, y)) << "mirrored " << x << "," << y;
    }
  // The file source keeps the full path; the memory source a copy of the bytes.
  GRAPH_RELOAD_SOURCE* fs = GetGraphRecord(fromFile, 0)->reloadSource;
  ASSERT_NE(fs, nullptr);
  EXPECT_NE(strstr(fs->path, "numbered.bmp"), nullptr);
  EXPECT_EQ(fs->path[1], ':');
  GRAPH_RELOAD_SOURCE* ms = GetGraphRecord(fromMemory, 0)->reloadSource;
  ASSERT_NE(ms, nullptr);
  EXPECT_NE(ms->bytes, (const void*)bmp.data());
  EXPECT_EQ(ms->loadFlags, 1);
  ExpectDrawnNumbered(fromFile, 0, "file graph drawn");
  ExpectDrawnNumbered(fromMemory, 1, "memory graph drawn");
  Blacken(fromFile);
  Blacken(fromMemory);
  EXPECT_EQ(ReadGraphTexture(fromFile)[7] & 0xFFFFFF, 0u);
  RestoreAllGraphs();
  EXPECT_EQ(ReadGraphTexture(fromFile), file);
  EXPECT_EQ(ReadGraphTexture(fromMemory), memory);
  std::string log = ReadLogWithoutStamps();
  EXPECT_NE(log.find("グラフィックを復帰します\r\n"), std::string::npos);
  EXPECT_NE(log.find("グラフィックの復帰が完了しました\r\n"), std::string::npos);
  DeleteGraphHandle(fromFile, 0);
  DeleteGraphHandle(fromMemory, 0);
}

TEST_F(GraphReload, QueuedFileLoadOnALoaderThread) {
  std::string bmp = NumberedBmp(4, 3);
  ASSERT_TRUE(WriteWholeFile("queued.bmp", bmp));
  GRAPH_LOAD_PARAM settings = Settings();
  HANDLE_VALUE g = LoadGraphFromFile(&settings, 0, -1, "queued.bmp", 0, 0, 1);
  ASSERT_NE(g, -1);
  DWORD start = GetTickCount();
  while (IsHandleLoading(g) > 0 && GetTickCount() - start < 10000) PumpWindowMessages();
  ASSERT_EQ(IsHandleLoading(g), 0);
  std::vector<uint32_t> px = ReadGraphTexture(g);
  ASSERT_EQ(px.size(), 12u);
  EXPECT_EQ(px[4 + 3] & 0xFFFFFF, NumberedRgb(3, 1));
  ASSERT_NE(GetGraphRecord(g, 0)->reloadSource, nullptr);
  EXPECT_NE(strstr(GetGraphRecord(g, 0)->reloadSource->path, "queued.bmp"), nullptr);
  DeleteGraphHandle(g, 0);
}

// Loader threads that transfer images flush the vertex batch: the flush runs on the main
// thread, so boxes drawn meanwhile all reach the device, every draw call from the main thread.
DWORD mainThreadId;
LONG drawsOffMainThread, boxTriangles;
DEVICE_CALL_TABLE callsBelow;

TEST_F(GraphReload, LoaderFlushesRunOnTheMainThreadAndLoseNoVertex) {
  ASSERT_TRUE(WriteWholeFile("flushing.bmp", NumberedBmp(40, 30)));
  GRAPH_LOAD_PARAM settings = Settings();
  FlushVertexBatch(0);
  mainThreadId = GetCurrentThreadId();
  drawsOffMainThread = boxTriangles = 0;
  callsBelow = DeviceCalls;
  DeviceCalls.DeviceDrawPrimitiveUP = [](D3DPRIMITIVETYPE type, UINT count, const void* data, UINT stride) {
    if (GetCurrentThreadId() != mainThreadId) InterlockedIncrement(&drawsOffMainThread);
    else if (type == D3DPT_TRIANGLELIST) InterlockedExchangeAdd(&boxTriangles, (LONG)count);
    return callsBelow.DeviceDrawPrimitiveUP(type, count, data, stride);
  };
  std::vector<HANDLE_VALUE> graphs;
  for (int i = 0; i < 12; i++) graphs.push_back(LoadGraphFromFile(&settings, 0, -1, "flushing.bmp", 0, 0, 1));
  long boxes = 0;
  DWORD start = GetTickCount();
  auto loading = [&]() {
    for (HANDLE_VALUE g : graphs)
      if (g != -1 && IsHandleLoading(g) > 0) return true;
    return false;
  };
  while (loading() && GetTickCount() - start < 20000) {
    for (int i = 0; i < 20; i++, boxes++) {
      int x = (int)(boxes * 7 % 600), y = (int)(boxes * 13 % 440);
      DrawFilledBox(x, y, x + 3, y + 3, PackScreenColor(0, 255, 0));
    }
    PumpWindowMessages();
  }
  FlushVertexBatch(0);
  DeviceCalls = callsBelow;
  EXPECT_FALSE(loading());
  EXPECT_GT(boxes, 0);
  EXPECT_EQ(drawsOffMainThread, 0);
  EXPECT_EQ(boxTriangles, 2 * boxes);
  for (HANDLE_VALUE g : graphs) {
    EXPECT_NE(g, -1);
    if (g != -1) DeleteGraphHandle(g, 0);
  }
}

TEST_F(GraphReload, BaseImageTransferKeepsACopy) {
  RASTER_IMAGE base = {};
  ASSERT_EQ(AllocARGB8Image(3, 2, &base), 0);
  for (int i = 0; i < 6; i++) ((uint32_t*)base.pixels)[i] = 0xFF000000u | (uint32_t)(i * 40);
  GRAPH_CREATE_PARAM p;
  CaptureGraphCreateParam(&p);
  HANDLE_VALUE g = CreateBlankGraph(&p, 3, 2, 0, 0, 0);
  ASSERT_NE(g, -1);
  ASSERT_EQ(TransferBaseImageToGraph(nullptr, nullptr, nullptr, 0, &base, nullptr, 0, 0, g), 0);
  GRAPH_RELOAD_SOURCE* s = GetGraphRecord(g, 0)->reloadSource;
  ASSERT_NE(s, nullptr);
  ASSERT_NE(s->image, nullptr);
  EXPECT_NE(s->image->pixels, base.pixels);
  std::vector<uint32_t> before = ReadGraphTexture(g);
  EXPECT_EQ(before[5] & 0xFFFFFF, 200u);
  DisposeImage(&base);
  Blacken(g);
  RestoreAllGraphs();
  EXPECT_EQ(ReadGraphTexture(g), before);
  DeleteGraphHandle(g, 0);
}

// A kept copy is as large as the image records say: a record that describes no data a copy
// could hold (no pixels, sides of 0 or less, rows shorter than their pixels, more mip levels
// than any image has, a size no allocation can have) keeps no copy, says so and leaves no
// block behind; the alpha image is held to the same rule. A sound record beside them is kept.
TEST_F(GraphReload, ImageRecordsThatDescribeNoDataKeepNoCopy) {
  RASTER_IMAGE good = {};
  ASSERT_EQ(AllocARGB8Image(4, 3, &good), 0);
  GRAPH_CREATE_PARAM p;
  CaptureGraphCreateParam(&p);
  HANDLE_VALUE g = CreateBlankGraph(&p, 4, 3, 0, 0, 0);
  ASSERT_NE(g, -1);
  struct {
    const char* name;
    void (*spoil)(RASTER_IMAGE*);
    bool asAlpha;
  } rows[] = {
      {"no pixels", [](RASTER_IMAGE* i) { i->pixels = nullptr; }, false},
      {"zero width", [](RASTER_IMAGE* i) { i->width = 0; }, false},
      {"negative height", [](RASTER_IMAGE* i) { i->height = -3; }, false},
      {"negative pitch", [](RASTER_IMAGE* i) { i->pitch = -16; }, false},
      {"rows shorter than their pixels", [](RASTER_IMAGE* i) { i->pitch = 12; }, false},
      {"forty mip levels", [](RASTER_IMAGE* i) { i->mipLevels = 40; }, false},
      {"unknown layout", [](RASTER_IMAGE* i) { i->format.kind = 99; }, false},
      {"pitch times height beyond any block", [](RASTER_IMAGE* i) { i->height = 0x1000000, i->pitch = 0x7FFFFFF0; }, false},
      {"alpha with rows shorter than their pixels", [](RASTER_IMAGE* i) { i->pitch = 4; }, true},
  };
  for (const auto& row : rows) {
    RASTER_IMAGE bad = good;
    row.spoil(&bad);
    const RASTER_IMAGE* image = row.asAlpha ? &good : &bad;
    const RASTER_IMAGE* alpha = row.asAlpha ? &bad : nullptr;
    DeleteFileA("Log.txt");
    int blocks = GetAllocBlockCount();
    int zero = 0;
    EXPECT_EQ(AttachReloadSource(&zero, g, nullptr, nullptr, nullptr, nullptr, nullptr, 0, nullptr, 0, image, alpha, 0,
                                 -1, 0),
              -1)
        << row.name;
    EXPECT_EQ(GetGraphRecord(g, 0)->reloadSource, nullptr) << row.name;
    EXPECT_EQ(GetAllocBlockCount(), blocks) << row.name;
    EXPECT_NE(ReadLogWithoutStamps().find("転送する基本イメージを保存するメモリ領域の確保に失敗しました"), std::string::npos)
        << row.name;
  }
  int zero = 0;
  ASSERT_EQ(AttachReloadSource(&zero, g, nullptr, nullptr, nullptr, nullptr, nullptr, 0, nullptr, 0, &good, &good, 0,
                               -1, 0),
            0);
  const GRAPH_RELOAD_SOURCE* s = GetGraphRecord(g, 0)->reloadSource;
  ASSERT_NE(s, nullptr);
  ASSERT_NE(s->alphaImage, nullptr);
  EXPECT_EQ(s->alphaImage->width, 4);
  EXPECT_EQ(memcmp(s->alphaImage->pixels, good.pixels, (size_t)good.pitch * 3), 0);
  DeleteGraphHandle(g, 0);
  DisposeImage(&good);
}

TEST_F(GraphReload, MirroredDibGraphKeepsAMirroredCopy) {
  uint8_t block[DIB_INFO_BLOCK_SIZE] = {};
  BITMAPINFO* info = (BITMAPINFO*)block;
  info->bmiHeader.biSize = 40;
  info->bmiHeader.biWidth = 2;
  info->bmiHeader.biHeight = -1;
  info->bmiHeader.biPlanes = 1;
  info->bmiHeader.biBitCount = 24;
  uint8_t bits[8] = {0, 0, 255, 255, 0, 0, 0, 0};  // red, blue
  GRAPH_LOAD_PARAM lp = Settings();
  lp.colorInfo = info;
  lp.colorBits = bits;
  lp.mirror = 1;
  HANDLE_VALUE g = LoadGraphCore(&lp, 0, 0);
  ASSERT_NE(g, -1);
  EXPECT_EQ(bits[2], 255) << "the caller's bits are not mirrored";
  std::vector<uint32_t> px = ReadGraphTexture(g);
  ASSERT_EQ(px.size(), 2u);
  EXPECT_EQ(px[0] & 0xFFFFFF, 0x0000FFu);
  EXPECT_EQ(px[1] & 0xFFFFFF, 0xFF0000u);
  Blacken(g);
  RestoreAllGraphs();
  EXPECT_EQ(ReadGraphTexture(g), px);
  DeleteGraphHandle(g, 0);
}

TEST_F(GraphReload, DerivedGraphsShareTheSourceAndRestoreTheirRectangles) {
  int blocks = GetAllocBlockCount();
  std::string bmp = NumberedBmp(8, 4);
  ASSERT_TRUE(WriteWholeFile("shared.bmp", bmp));
  GRAPH_LOAD_PARAM settings = Settings();
  HANDLE_VALUE parent = LoadGraphFromFile(&settings, 0, -1, "shared.bmp", 0, 0, 0);
  ASSERT_NE(parent, -1);
  HANDLE_VALUE a = CreateDerivedGraph(2, 1, 3, 2, parent), b = CreateDerivedGraph(4, 0, 4, 4, parent);
  ASSERT_NE(a, -1);
  ASSERT_NE(b, -1);
  GRAPH_RELOAD_SOURCE* s = GetGraphRecord(parent, 0)->reloadSource;
  EXPECT_EQ(GetGraphRecord(a, 0)->reloadSource, s);
  EXPECT_EQ(s->refCount, 3);
  std::vector<uint32_t> before = ReadGraphTexture(parent);
  Blacken(parent);
  RestoreAllGraphs();
  EXPECT_EQ(ReadGraphTexture(parent), before);
  std::vector<uint32_t> pa = ReadGraphTexture(a);
  ASSERT_EQ(pa.size(), 6u);
  EXPECT_EQ(pa[0] & 0xFFFFFF, NumberedRgb(2, 1));
  DeleteGraphHandle(parent, 0);
  EXPECT_EQ(s->refCount, 2);
  DeleteGraphHandle(a, 0);
  DeleteGraphHandle(b, 0);
  EXPECT_EQ(GetAllocBlockCount(), blocks) << "the source went with its last graph";
}

TEST_F(GraphReload, MirroredDxtGraphIsTheSameOnLoadAndRestore) {
  // A 4 x 4 DXT1 block of two colours: the left half red, the right half blue.
  std::string block = Bytes({0x00, 0xF8, 0x1F, 0x00, 0x50, 0x50, 0x50, 0x50});
  std::string dds = MakeDds(4, 4, 0, 0, 0, 0x4, FourCCOf("DXT1"), 0, nullptr, 0, block);
  ASSERT_TRUE(WriteWholeFile("mirror.dds", dds));
  GRAPH_LOAD_PARAM settings = Settings();
  HANDLE_VALUE g = LoadGraphFromFile(&settings, 0, -1, "mirror.dds", 1, 0, 0);
  ASSERT_NE(g, -1);
  std::vector<uint32_t> first = ReadGraphTexture(g);
  ASSERT_EQ(first.size(), 16u);
  EXPECT_EQ(first[0] & 0xFFFFFF, 0x0000FFu) << "the blue right half comes first when mirrored";
  EXPECT_EQ(first[3] & 0xFFFFFF, 0xFF0000u);
  Blacken(g);
  RestoreAllGraphs();
  EXPECT_EQ(ReadGraphTexture(g), first);
  DeleteGraphHandle(g, 0);
}

TEST_F(GraphReload, LostFilesAreLoggedAndTheOthersRestored) {
  std::string bmp = NumberedBmp(3, 3);
  ASSERT_TRUE(WriteWholeFile("gone.bmp", bmp));
  ASSERT_TRUE(WriteWholeFile("kept.bmp", bmp));
  GRAPH_LOAD_PARAM settings = Settings();
  HANDLE_VALUE gone = LoadGraphFromFile(&settings, 0, -1, "gone.bmp", 0, 0, 0);
  HANDLE_VALUE kept = LoadGraphFromFile(&settings, 0, -1, "kept.bmp", 0, 0, 0);
  RASTER_IMAGE base = {};
  ASSERT_EQ(AllocARGB8Image(2, 2, &base), 0);
  memset(base.pixels, 0x7F, 16);
  HANDLE_VALUE copied = LoadGraphFromBaseImages(&settings, 0, -1, &base, nullptr, 0, 0, 0);
  DisposeImage(&base);  // the graph keeps a copy of its own
  ASSERT_NE(copied, -1);
  std::vector<uint32_t> keptPixels = ReadGraphTexture(kept), copiedPixels = ReadGraphTexture(copied);
  ASSERT_TRUE(DeleteFileA("gone.bmp"));
  Blacken(kept);
  Blacken(copied);
  RestoreAllGraphs();
  EXPECT_EQ(ReadGraphTexture(kept), keptPixels);
  EXPECT_EQ(ReadGraphTexture(copied), copiedPixels);
  EXPECT_EQ(copiedPixels[0], 0x7F7F7F7Fu);
  std::string log = ReadLogWithoutStamps();
  EXPECT_NE(log.find("がロードできませんでした"), std::string::npos);
  EXPECT_NE(log.find("gone.bmp"), std::string::npos);
  // A file that does not exist is reported at load time.
  EXPECT_EQ(LoadGraphFromFile(&settings, 0, -1, "never.bmp", 0, 0, 0), -1);
  EXPECT_NE(ReadLogWithoutStamps().find("never.bmp がありません"), std::string::npos);
  // A file that exists but that no image loader takes says so too.
  ASSERT_TRUE(WriteWholeFile("noimage.bmp", std::string(100, 'q')));
  EXPECT_EQ(LoadGraphFromFile(&settings, 0, -1, "noimage.bmp", 0, 0, 0), -1);
  log = ReadLogWithoutStamps();
  size_t failed = log.find("右記のグラフィックファイルのロードに失敗しました：");
  ASSERT_NE(failed, std::string::npos);
  EXPECT_NE(log.find("noimage.bmp \r\n", failed), std::string::npos);
  // With the no-reload-data switch the graph keeps no source.
  settings.noReloadData = 1;
  HANDLE_VALUE none = LoadGraphFromFile(&settings, 0, -1, "kept.bmp", 0, 0, 0);
  ASSERT_NE(none, -1);
  EXPECT_EQ(GetGraphRecord(none, 0)->reloadSource, nullptr);
  for (HANDLE_VALUE h : {gone, kept, copied, none}) DeleteGraphHandle(h, 0);
}

// A device thrown away and made again: the graph, the font and its texture cache keep their
// handles, the graph its pixels, and the draw area comes back as it was.
TEST_F(GraphReload, RecreatedDeviceKeepsHandlesPixelsAndDrawArea) {
  ASSERT_TRUE(WriteWholeFile("survivor.bmp", NumberedBmp(6, 5)));
  GRAPH_LOAD_PARAM settings = Settings();
  HANDLE_VALUE graph = LoadGraphFromFile(&settings, 0, -1, "survivor.bmp", 0, 0, 0);
  ASSERT_NE(graph, -1);
  std::vector<uint32_t> before = ReadGraphTexture(graph);
  FONT_CREATE_OPTIONS options = {0, 0, 0};
  HANDLE_VALUE font = MakeFontHandle(&options, nullptr, 12, -1, 0, -1, -1, 0, -1, 0);
  ASSERT_NE(font, -1);
  ASSERT_EQ(SetDrawClipArea(10, 20, 300, 200), 0);
  // A drawable graph in the second render-target slot, where the device has one.
  GRAPH_CREATE_PARAM param;
  CaptureGraphCreateParam(&param);
  param.drawable = 1;
  HANDLE_VALUE extra = CreateBlankGraph(&param, 64, 64, 0, 0, 0);
  ASSERT_NE(extra, -1);
  int slots = DeviceCaps.renderTargetCount > 1 && SetRenderTargetSlot(1, extra) == 0;
  IDirect3DDevice9* oldDevice = Direct3DObjects.device;
  // A projection of the program's own: it comes back as it stood, not as a caller's matrix.
  ASSERT_EQ(SetPerspectiveFov(0.7f), 0);
  MAT44F projection = DrawSettings.camera.projection;

  ASSERT_EQ(RecreateGraphicsDevice(), 0);
  ASSERT_TRUE(HasDirect3DDevice());
  EXPECT_NE(Direct3DObjects.device, oldDevice);
  EXPECT_EQ(ReadGraphTexture(graph), before);
  EXPECT_EQ(memcmp(&DrawSettings.camera.projection, &projection, sizeof projection), 0);
  ExpectDrawnNumbered(graph, 0, "drawn on the new device");
  if (slots) {
    EXPECT_EQ(DrawSettings.renderTargetSlots[1], extra);
    IDirect3DSurface9* second = nullptr;
    EXPECT_EQ(Direct3DObjects.device->GetRenderTarget(1, &second), S_OK);
    if (second != nullptr) second->Release();
    SetRenderTargetSlot(1, -1);
  }
  DeleteGraphHandle(extra, 0);
  FONT_RECORD* record = GetFontRecord(font);
  ASSERT_NE(record, nullptr);
  if (record->textureCache) { EXPECT_NE(GetGraphRecord(record->cacheGraph, 0), nullptr); }
  EXPECT_EQ(DrawSettings.drawArea.left, 10);
  EXPECT_EQ(DrawSettings.drawArea.top, 20);
  EXPECT_EQ(DrawSettings.drawArea.right, 300);
  EXPECT_EQ(DrawSettings.drawArea.bottom, 200);
  SetDrawClipArea(0, 0, 640, 480);
  DeleteGraphHandle(graph, 0);
  DeleteHandle(font);
}
// A re-creation that finds no device goes on in software: a screen image of the screen's
// size (as device creation left it) takes the draws and the flip shows them in the window. A later re-creation brings the
// device back.
TEST_F(GraphReload, ZzRecreationWithoutADeviceDrawsInSoftware) {
  DeviceCalls.Direct3DCreateDevice = [](UINT, D3DDEVTYPE, HWND, DWORD, D3DPRESENT_PARAMETERS*, IDirect3DDevice9**) {
    return (HRESULT)D3DERR_NOTAVAILABLE;
  };
  DeviceCalls.Direct3DCreateDeviceEx = [](UINT, D3DDEVTYPE, HWND, DWORD, D3DPRESENT_PARAMETERS*, D3DDISPLAYMODEEX*,
                                          IDirect3DDevice9Ex**) { return (HRESULT)D3DERR_NOTAVAILABLE; };
  ASSERT_EQ(RecreateGraphicsDevice(), 0);
  DeviceCalls = RealDeviceCalls;
  ASSERT_EQ(ScreenState.hardwareRendering, 0);
  const MEMIMG* screen = GetScreenMemImg();
  ASSERT_TRUE(IsMemImgValid(screen));
  // Device creation degrades the size before it gives up; the images take the size in force.
  EXPECT_EQ(screen->width, ScreenState.deviceWidth);
  EXPECT_EQ(screen->height, ScreenState.deviceHeight);
  SetDrawClipArea(0, 0, 640, 480);
  ClearDrawTarget(nullptr);
  ASSERT_EQ(DrawFilledBox(100, 50, 140, 70, PackScreenColor(0, 255, 0)), 0);
  ASSERT_EQ(FlipScreenBuffers(), 0);
  PICTURE p = ReadWindow(WindowState.mainWindow, READ_FROM_WINDOW_DC);
  ASSERT_EQ(p.width, 640);
  EXPECT_EQ(p.Count(0x00FF00, 100, 50, 140, 70), 40 * 20);
  EXPECT_EQ(p.Count(0x00FF00, 0, 0, 640, 480), 40 * 20);

  ASSERT_EQ(RecreateGraphicsDevice(), 0);
  EXPECT_TRUE(HasDirect3DDevice());
  EXPECT_EQ(ScreenState.hardwareRendering, 1);
}
}  // namespace
