// No device object outlives its device: with a ledger over the device call table, the library
// starts on Wine's real device, holds one object of every kind the library makes (graph
// textures and render targets, a Theora movie graph's YUV overlay, font glyph textures, filter
// work targets, shaders and declarations, vertex and index buffers, mask surfaces, a model
// base's buffers, the system texture pool, the depth buffer and the extra back buffer), and the
// device is made again, by a re-creation and by an in-place mode change. At every device's
// release and at the free of d3d9.dll every object made on it has been released, and none is
// touched afterwards. Every graph keeps its pixels across the change.
#include <gtest/gtest.h>
#include <windows.h>
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "../model/model_builders.h"
#include "core/handles.h"
#include "device_ledger.h"
#include "font/font_handles.h"
#include "font/glyph_cache.h"
#include "graphics/device/buffers.h"
#include "graphics/device/device_resources.h"
#include "graphics/device/present.h"
#include "graphics/device/shader_handles.h"
#include "graphics/draw/draw_target.h"
#include "graphics/draw/mask.h"
#include "graphics/graphs/graph_create.h"
#include "graphics/graphs/graph_handles.h"
#include "graphics/graphs/graph_load.h"
#include "graphics/graphs/texture_transfer.h"
#include "graphics/lifecycle/device_restore.h"
#include "korvel_font.h"
#include "model/model_buffers.h"
#include "model/model_textures.h"
#include "movie/movie_handles.h"
#include "read_back.h"
#include "system/base/library_flags.h"
#include "real_device.h"
#include "test_support.h"

// The filters' pool of work targets (its header's FILTER_STATE and DirectShow's, which the movie
// header brings, cannot meet in one file).
HANDLE_VALUE GetFilterWorkTarget(int sizeIndex, int slot);
int FilterWorkSizeIndex(int length);

namespace {
const char* const kMovie = "../../fixtures/movie/basic.ogv";

// A 24-bit BMP whose colours differ everywhere.
std::string PatternBmp(int width, int height) {
  std::string bmp(54, '\0');
  auto put = [&](size_t at, uint32_t v, int bytes) {
    for (int i = 0; i < bytes; i++) bmp[at + i] = (char)(v >> (8 * i));
  };
  const int rowBytes = (width * 3 + 3) & ~3;
  bmp[0] = 'B', bmp[1] = 'M';
  put(2, 54 + rowBytes * height, 4);
  put(10, 54, 4);
  put(14, 40, 4);
  put(18, width, 4);
  put(22, height, 4);
  put(26, 1, 2);
  put(28, 24, 2);
  for (int y = height - 1; y >= 0; y--) {
    for (int x = 0; x < width; x++) bmp += std::string{(char)(30 * x + 3), (char)(60 * y + 9), (char)(x * y * 13 + 1)};
    bmp += std::string(rowBytes - width * 3, '\0');
  }
  return bmp;
}

// The handles held across the change and what they must give back afterwards.
struct HELD {
  HANDLE_VALUE loaded = -1, target = -1, movie = -1, font = -1, work = -1, shader = -1, vertices = -1, indices = -1,
               base = -1;
  std::vector<uint32_t> loadedPixels, moviePixels, modelTexturePixels;
  std::vector<int> vertexWords;
  TEST_BASE_DATA baseData;
  std::string modelTextureFile = PatternBmp(8, 4);
  MODEL_TEXTURE modelTexture = {};
};

IDirect3DSurface9* MovieOverlay(HANDLE_VALUE graph) {
  GRAPH_RECORD* g = GetGraphRecord(graph, 0);
  MOVIE_RECORD* m = g != nullptr ? GetMovieRecord(g->movieHandle) : nullptr;
  return m != nullptr && m->decoder != nullptr ? GetTheoraOverlaySurface(m->decoder) : nullptr;
}

// Draws the graph (a movie graph takes its frame then), so that its texture holds its picture.
void Show(HANDLE_VALUE graph) {
  ASSERT_EQ(SelectDrawTarget(-2), 0);
  ASSERT_EQ(DrawGraphAt(0, 0, graph, 0), 0);
  FlipAndRead();
}

void MakeHandles(HELD* h) {
  std::string bmp = PatternBmp(5, 3);
  GRAPH_LOAD_PARAM load;
  CaptureGraphLoadParam(&load);
  h->loaded = LoadGraphFromImageBytes(&load, 0, -1, bmp.data(), (int)bmp.size(), nullptr, 0, 0, 0, 0);
  ASSERT_NE(h->loaded, -1);
  h->loadedPixels = ReadGraphTexture(h->loaded);
  ASSERT_EQ(h->loadedPixels.size(), 15u);

  GRAPH_CREATE_PARAM param;
  CaptureGraphCreateParam(&param);
  param.drawable = 1;
  param.colorBits = 32;
  h->target = CreateBlankGraph(&param, 32, 16, 0, 0, 0);
  ASSERT_NE(h->target, -1);
  ASSERT_EQ(SelectDrawTarget(h->target), 0);
  ASSERT_EQ(DrawRectangle(0, 0, 32, 16, Packed(0x2040C0), 1), 0);
  ASSERT_EQ(DrawRectangle(4, 4, 12, 10, Packed(0xE0A010), 1), 0);
  ASSERT_EQ(SelectDrawTarget(-2), 0);

  CaptureGraphLoadParam(&load);
  h->movie = LoadGraphFromFile(&load, 0, -1, kMovie, 0, 0, 0);
  ASSERT_NE(h->movie, -1);
  Show(h->movie);
  ASSERT_NE(MovieOverlay(h->movie), nullptr) << "the movie graph takes its frames through the overlay";
  h->moviePixels = ReadGraphTexture(h->movie);

  FONT_CREATE_OPTIONS options = {0, 0, 0};
  h->font = MakeFontHandle(&options, nullptr, 16, -1, 2, -1, -1, 0, -1, 0);
  ASSERT_NE(h->font, -1);
  ASSERT_EQ(CacheTextGlyphs(-1, "Ag@", h->font, nullptr, nullptr), 0);

  h->work = GetFilterWorkTarget(FilterWorkSizeIndex(64), 0);
  ASSERT_NE(h->work, -1);

  const int slot = MODEL_VERTEX_SHADER_SLOTS + TEST_MODEL_PIXEL_SHADER;
  ASSERT_NE(BuiltInShaderCode.modelCode[slot], nullptr);
  const uint8_t* size = BuiltInShaderCode.blockModel + slot * 2;
  h->shader = CreatePixelShaderFromBytes(BuiltInShaderCode.modelCode[slot], size[0] | size[1] << 8);
  ASSERT_NE(h->shader, -1);

  h->vertices = CreateVertexBuffer(8, 6);
  h->indices = CreateIndexBuffer(10);
  ASSERT_NE(h->vertices, -1);
  ASSERT_NE(h->indices, -1);
  for (int i = 0; i < 12; i++) h->vertexWords.push_back(i * 1000 + 7);
  ASSERT_EQ(SetVertexBufferData(0, h->vertexWords.data(), 6, h->vertices), 0);

  ASSERT_EQ(CreateMaskScreen(1), 0);

  h->base = NewTestBase();
  h->baseData.specs = {{0, 0, 1, 4, 3, 0}};
  FillTestBase(BaseRecord(h->base), &h->baseData);
  ASSERT_EQ(SetupModelBaseVertexBuffers(h->base, 1, 0), 0);
  // A base texture from its file, filled the way a restore fills it.
  GRAPH_CREATE_PARAM plain;
  CaptureGraphCreateParam(&plain);
  h->modelTexture.colorFile = (void*)h->modelTextureFile.data();
  h->modelTexture.colorSize = (int)h->modelTextureFile.size();
  h->modelTexture.graph = CreateBlankGraph(&plain, 8, 4, 0, 0, 0);
  ASSERT_NE(h->modelTexture.graph, -1);
  BaseRecord(h->base)->textureCount = 1;
  BaseRecord(h->base)->textures = &h->modelTexture;
  ASSERT_EQ(RebuildModelGeneratedTextures(), 0);
  h->modelTexturePixels = ReadGraphTexture(h->modelTexture.graph);
  ASSERT_EQ(h->modelTexturePixels.size(), 32u);

  ASSERT_GE(AcquireSystemTexture(64, 64, 1, 1, 0), 0);
  ASSERT_EQ(CopyBackBufferToSubBackBuffer(), 0);
  ASSERT_NE(GetSubBackBuffer(), nullptr);
  ASSERT_NE(DeviceResources.depthBuffer, nullptr);
}

// The base texture's file belongs to the test: the base's release must not free it.
void DisownModelTextureFile(const HELD& h) {
  if (MODEL_BASE_RECORD* base = BaseRecord(h.base)) base->textureCount = 0, base->textures = nullptr;
}

std::vector<int> ReadVertexWords(HANDLE_VALUE handle) {
  std::vector<int> out;
  BUFFER_HANDLE* record = (BUFFER_HANDLE*)LookupHandleRecord(handle);
  void* data = nullptr;
  if (record == nullptr || record->buffer == nullptr ||
      FAILED(DeviceCalls.BufferLock(record->buffer, 0, 0, &data, D3DLOCK_READONLY)))
    return out;
  out.assign((const int*)data, (const int*)data + 12);
  DeviceCalls.BufferUnlock(record->buffer);
  return out;
}

// What `run` writes to the C runtime's standard error (where the image libraries complain
// about data that is not theirs).
std::string StandardErrorOf(const std::function<void()>& run) {
  const char* name = "standard_error.txt";
  fflush(stderr);
  int saved = _dup(2), file = _open(name, _O_CREAT | _O_TRUNC | _O_WRONLY, _S_IREAD | _S_IWRITE);
  if (saved < 0 || file < 0 || _dup2(file, 2) != 0) return "standard error not redirected";
  run();
  fflush(stderr);
  _dup2(saved, 2);
  _close(saved);
  _close(file);
  return ReadWholeFile(name);
}

struct CHANGE {
  const char* name;
  std::function<void()> run;
};

// The held handles live as long as the fixture, so that the library's end (in TearDown after
// a failure) never meets records whose data has gone.
class DeviceLedgerTest : public ::testing::TestWithParam<CHANGE> {
 protected:
  void SetUp() override {
    device_ledger::Install();
    StartRealDevice();
  }
  void TearDown() override {
    ScreenState.modeChangeInPlace = 0;
    DisownModelTextureFile(h);
    if (LibraryFlags.started) EndRealDevice();
    device_ledger::Remove();
  }
  HELD h;
};

TEST_P(DeviceLedgerTest, EveryObjectOfADeviceIsReleasedBeforeItAndNoneIsTouchedAfter) {
  const CHANGE& change = GetParam();
  MakeHandles(&h);
  if (HasFatalFailure()) return;
  ASSERT_EQ(device_ledger::TakeFaults(), "");
  IDirect3DDevice9* before = Direct3DObjects.device;

  // The restore decodes only what fills a graph: no image library meets data it refuses.
  EXPECT_EQ(StandardErrorOf(change.run), "") << change.name;
  ASSERT_TRUE(HasDirect3DDevice());
  EXPECT_NE(Direct3DObjects.device, before);
  EXPECT_EQ(device_ledger::TakeFaults(), "") << change.name;

  // Every graph keeps its pixels; the movie shows its frame through a new overlay.
  EXPECT_EQ(ReadGraphTexture(h.loaded), h.loadedPixels) << change.name;
  EXPECT_EQ(ReadGraphTexture(h.modelTexture.graph), h.modelTexturePixels) << change.name;
  Show(h.movie);
  EXPECT_NE(MovieOverlay(h.movie), nullptr) << change.name;
  EXPECT_EQ(ReadGraphTexture(h.movie), h.moviePixels) << change.name;
  EXPECT_EQ(ReadVertexWords(h.vertices), h.vertexWords) << change.name;
  SHADER_HANDLE* shader = (SHADER_HANDLE*)LookupHandleRecord(h.shader);
  ASSERT_NE(shader, nullptr);
  EXPECT_NE(shader->object, nullptr);
  EXPECT_EQ(DrawTextWithFont(0, 0, "Ag@", Packed(0xFFFFFF), h.font, 0, 0), 0);
  FlipAndRead();
  EXPECT_EQ(device_ledger::TakeFaults(), "") << change.name << ": drawing on the new device";

  // The library ends with every handle still held, as a program does that simply ends.
  DisownModelTextureFile(h);
  EndRealDevice();
  EXPECT_EQ(device_ledger::TakeFaults(), "") << change.name << ": at the end of the library";
  EXPECT_EQ(device_ledger::HeldReferences(), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Changes, DeviceLedgerTest,
    ::testing::Values(CHANGE{"device re-creation", [] { ASSERT_EQ(RecreateGraphicsDevice(), 0); }},
                      CHANGE{"in-place mode change",
                             [] {
                               ScreenState.modeChangeInPlace = 1;
                               ASSERT_EQ(SetScreenMode(800, 600, 32, 0), 0);
                               EXPECT_EQ(ScreenState.deviceWidth, 800);
                             }}),
    [](const ::testing::TestParamInfo<CHANGE>& info) {
      return std::string(info.index == 0 ? "Recreation" : "ModeChangeInPlace");
    });
}  // namespace
