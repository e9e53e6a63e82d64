// Graph handles on Wine's real Direct3D 9 device: image sets split into textures, pieces,
// derived graphs, raster images transferred through the system texture pool, and mip levels.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstddef>
#include <cstring>
#include <vector>

#include "core/handles.h"
#include "core/memory.h"
#include "graphics/device/d3d_calls.h"
#include "graphics/device/device.h"
#include "graphics/device/draw_settings.h"
#include "graphics/graphs/graph_create.h"
#include "graphics/graphs/graph_formats.h"
#include "graphics/graphs/graph_handles.h"
#include "graphics/graphs/graph_textures.h"
#include "graphics/device/screen.h"
#include "graphics/graphs/texture_transfer.h"
#include "korvel.h"
#include "system/base/window_state.h"
#include "real_device.h"
#include "test_support.h"

namespace {
class Graphs : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { StartRealDevice(); }
  static void TearDownTestSuite() { EndRealDevice(); }
  void TearDown() override { DeviceCalls = RealDeviceCalls; }

  static GRAPH_CREATE_PARAM Param() {
    GRAPH_CREATE_PARAM p;
    CaptureGraphCreateParam(&p);
    return p;
  }
};

// An ARGB8 image whose pixel (x, y) is 0xFF000000 | y << 8 | x (x, y < 256).
void MakeNumberedImage(int width, int height, RASTER_IMAGE* img) {
  ASSERT_EQ(AllocARGB8Image(width, height, img), 0);
  for (int y = 0; y < height; y++) {
    uint32_t* row = (uint32_t*)((uint8_t*)img->pixels + y * img->pitch);
    for (int x = 0; x < width; x++) row[x] = 0xFF000000u | (uint32_t)(y & 0xFF) << 8 | (uint32_t)(x & 0xFF);
  }
}

// The pixels of one level of a pool texture (which keeps what the last transfer wrote).
std::vector<uint32_t> ReadPoolTexture(IDirect3DTexture9* texture, int level, int width, int height) {
  std::vector<uint32_t> pixels;
  D3DLOCKED_RECT locked;
  if (FAILED(DeviceCalls.TextureLockRect(texture, (UINT)level, &locked, nullptr, D3DLOCK_READONLY))) return pixels;
  for (int y = 0; y < height; y++) {
    const uint32_t* row = (const uint32_t*)((const uint8_t*)locked.pBits + y * locked.Pitch);
    pixels.insert(pixels.end(), row, row + width);
  }
  DeviceCalls.TextureUnlockRect(texture, (UINT)level);
  return pixels;
}

IDirect3DTexture9* FindPoolTexture(int width, int height, int levels) {
  for (const SYSTEM_TEXTURE_ENTRY& e : SystemTexturePool.entries)
    if (e.inUse && e.width == width && e.height == height && e.mipLevels == levels) return e.texture;
  return nullptr;
}

TEST_F(Graphs, A700x300GraphIsOneTextureWithOnePiece) {
  GRAPH_CREATE_PARAM p = Param();
  HANDLE_VALUE g = CreateBlankGraph(&p, 700, 300, 0, 0, 0);
  ASSERT_NE(g, -1);
  EXPECT_EQ(IsGraphHandleValid(g), 1);
  GRAPH_RECORD* r = GetGraphRecord(g, 0);
  ASSERT_EQ(r->imageSet->textureCount, 1);
  EXPECT_NE(r->imageSet->textures[0].texture, nullptr);
  int tw = 0, th = 0;
  ASSERT_EQ(QueryGraphTextureSize(g, &tw, &th), 0);
  EXPECT_EQ(tw, 1024);
  EXPECT_EQ(th, 512);
  ASSERT_EQ(r->pieceCount, 1);
  EXPECT_FLOAT_EQ(r->pieces[0].corners[GRAPH_CORNER_BOTTOM_RIGHT].u, 700.0f / 1024);
  EXPECT_FLOAT_EQ(r->pieces[0].corners[GRAPH_CORNER_BOTTOM_RIGHT].v, 300.0f / 512);
  int w = 0, h = 0;
  EXPECT_EQ(GetGraphOrScreenSize(g, &w, &h), 0);
  EXPECT_EQ(w, 700);
  EXPECT_EQ(GetGraphOrScreenSize(-4, &w, &h), 0);
  EXPECT_EQ(w, 640);
  EXPECT_EQ(DeleteGraphHandle(g, 0), 0);
  EXPECT_EQ(IsGraphHandleValid(g), 0);
}

TEST_F(Graphs, ImageTransferDuplicatesTheLastColumnAndRow) {
  RASTER_IMAGE img = {};
  MakeNumberedImage(100, 100, &img);
  HANDLE_VALUE g = BuildGraphFromBaseImage(&img, nullptr, 0);
  ASSERT_NE(g, -1);
  GRAPH_RECORD* r = GetGraphRecord(g, 0);
  ASSERT_EQ(r->imageSet->textures[0].width, 128);
  EXPECT_EQ(r->imageSet->desc.managedPool, 0) << "the 9Ex device has no managed pool";
  IDirect3DTexture9* written = FindPoolTexture(128, 128, 1);
  ASSERT_NE(written, nullptr) << "default-pool textures are written through the system texture pool";
  std::vector<uint32_t> px = ReadPoolTexture(written, 0, 128, 128);
  ASSERT_EQ(px.size(), 128u * 128u);
  auto at = [&](int x, int y) { return px[y * 128 + x]; };
  EXPECT_EQ(at(0, 0), 0xFF000000u);
  EXPECT_EQ(at(42, 17), 0xFF00112Au);
  EXPECT_EQ(at(99, 50), 0xFF003263u);
  for (int i = 0; i < 100; i += 33) {
    EXPECT_EQ(at(100, i), at(99, i)) << "row " << i;
    EXPECT_EQ(at(i, 100), at(i, 99)) << "column " << i;
  }
  EXPECT_EQ(at(100, 100), at(99, 99));
  for (const SYSTEM_TEXTURE_ENTRY& e : SystemTexturePool.entries) EXPECT_EQ(e.lent, 0) << "every texture given back";
  DeleteGraphHandle(g, 0);
  DisposeImage(&img);
}

TEST_F(Graphs, DerivedGraphKeepsTheImageSetAlive) {
  int blocksBefore = GetAllocBlockCount();
  GRAPH_CREATE_PARAM p = Param();
  HANDLE_VALUE parent = CreateBlankGraph(&p, 300, 200, 0, 0, 0);
  ASSERT_NE(parent, -1);
  GRAPH_IMAGE_SET* set = GetGraphRecord(parent, 0)->imageSet;
  HANDLE_VALUE child = CreateDerivedGraph(10, 20, 1000, 50, parent);
  ASSERT_NE(child, -1);
  GRAPH_RECORD* c = GetGraphRecord(child, 0);
  EXPECT_EQ(c->imageSet, set);
  EXPECT_EQ(set->refCount, 2);
  EXPECT_EQ(c->width, 290) << "a width beyond the parent is cut";
  EXPECT_EQ(c->pieces[0].textureX, 10);
  EXPECT_FLOAT_EQ(c->pieces[0].corners[GRAPH_CORNER_TOP_LEFT].v, 20.0f / 256);
  int lost = 5;
  EXPECT_EQ(AttachGraphLostFlag(parent, &lost), 0);
  EXPECT_EQ(lost, 0);
  ASSERT_EQ(DeleteGraphHandle(parent, 0), 0);
  EXPECT_EQ(lost, 1);
  ASSERT_EQ(IsGraphHandleValid(child), 1);
  EXPECT_EQ(set->refCount, 1);
  EXPECT_NE(set->textures[0].texture, nullptr);
  int tw = 0;
  EXPECT_EQ(QueryGraphTextureSize(child, &tw, nullptr), 0);
  EXPECT_EQ(tw, 512);
  // A grandchild of the surviving child still shares the set.
  HANDLE_VALUE grandchild = CreateDerivedGraph(5, 5, 10, 10, child);
  ASSERT_NE(grandchild, -1);
  EXPECT_EQ(GetGraphRecord(grandchild, 0)->x, 15);
  DeleteGraphHandle(child, 0);
  DeleteGraphHandle(grandchild, 0);
  EXPECT_EQ(GetAllocBlockCount(), blocksBefore) << "the set is freed with the last graph";
}

TEST_F(Graphs, DerivingRefusesOutsideOrEmptyRectangles) {
  GRAPH_CREATE_PARAM p = Param();
  HANDLE_VALUE parent = CreateBlankGraph(&p, 64, 32, 0, 0, 0);
  ASSERT_NE(parent, -1);
  struct Case {
    const char* name;
    int x, y, w, h;
  } refused[] = {
      {"x at the parent width", 64, 0, 1, 1}, {"negative y", 0, -1, 1, 1}, {"zero width", 0, 0, 0, 5},
      {"negative height", 0, 0, 5, -3},
  };
  int before = HandleManagers[HANDLE_TYPE_GRAPH].count;
  for (const Case& c : refused) EXPECT_EQ(CreateDerivedGraph(c.x, c.y, c.w, c.h, parent), -1) << c.name;
  EXPECT_EQ(HandleManagers[HANDLE_TYPE_GRAPH].count, before) << "refused graphs leave no handle";
  EXPECT_EQ(CreateDerivedGraph(0, 0, 1, 1, -1), -1);
  DeleteGraphHandle(parent, 0);
}

TEST_F(Graphs, ManyPiecesGrowTheRecord) {
  GRAPH_CREATE_PARAM p = Param();
  p.maxTextureSize = 64;
  HANDLE_VALUE g = CreateBlankGraph(&p, 320, 192, 0, 0, 0);
  ASSERT_NE(g, -1);
  GRAPH_RECORD* r = GetGraphRecord(g, 0);
  EXPECT_EQ(r->imageSet->textureCount, 15);
  ASSERT_EQ(r->pieceCount, 15);
  const GRAPH_PIECE* pieces = (const GRAPH_PIECE*)((const char*)r + offsetof(GRAPH_RECORD, pieces));
  EXPECT_EQ(pieces[14].graphX, 256);
  EXPECT_EQ(pieces[14].graphY, 128);
  HANDLE_VALUE child = CreateDerivedGraph(60, 60, 10, 10, g);
  ASSERT_NE(child, -1);
  EXPECT_EQ(GetGraphRecord(child, 0)->pieceCount, 4);
  DeleteGraphHandle(child, 0);
  DeleteGraphHandle(g, 0);
}

TEST_F(Graphs, PoolRefusesTheSeventeenthBusyTexture) {
  std::vector<int> lent;
  for (int i = 0; i < 16; i++) {
    int entry = AcquireSystemTexture(32, 16, 1, 3, 0);
    ASSERT_GE(entry, 0) << i;
    lent.push_back(entry);
  }
  EXPECT_EQ(AcquireSystemTexture(32, 16, 1, 3, 0), SYSTEM_TEXTURE_BUSY);
  EXPECT_GE(AcquireSystemTexture(16, 32, 1, 3, 0), 0) << "another kind is not limited";
  ReleaseTextureCacheEntry(lent[5], 0);
  EXPECT_EQ(AcquireSystemTexture(32, 16, 1, 3, 0), lent[5]);
  EXPECT_EQ(SystemTexturePool.entries[lent[5]].useCount, 2u);
  for (int entry : lent) ReleaseTextureCacheEntry(entry, 0);
  ReleaseTextureCache();
  EXPECT_EQ(SystemTexturePool.count, 0);
}

HRESULT FailingSystemTextures(UINT w, UINT h, UINT levels, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                              IDirect3DTexture9** out, HANDLE* shared) {
  if (pool == D3DPOOL_SYSTEMMEM) return E_OUTOFMEMORY;
  return RealDeviceCalls.DeviceCreateTexture(w, h, levels, usage, format, pool, out, shared);
}

TEST_F(Graphs, FailedSystemTextureEndsTheTransfer) {
  ReleaseTextureCache();
  GRAPH_CREATE_PARAM p = Param();
  HANDLE_VALUE g = CreateBlankGraph(&p, 16, 16, 0, 0, 0);
  ASSERT_NE(g, -1);
  RASTER_IMAGE img = {};
  MakeNumberedImage(16, 16, &img);
  DeviceCalls.DeviceCreateTexture = FailingSystemTextures;
  DWORD start = GetTickCount();
  EXPECT_EQ(TransferImageToGraph(nullptr, nullptr, nullptr, 0, &img, nullptr, 0, 0, g, 1, 0), -1);
  EXPECT_LT(GetTickCount() - start, 2000u);
  EXPECT_NE(ReadLogWithoutStamps().find("メモリテクスチャの作成に失敗しました"), std::string::npos);
  DeviceCalls = RealDeviceCalls;
  EXPECT_EQ(TransferImageToGraph(nullptr, nullptr, nullptr, 0, &img, nullptr, 0, 0, g, 1, 0), 0);
  DeleteGraphHandle(g, 0);
  DisposeImage(&img);
}

TEST_F(Graphs, MipLevelsAreGeneratedDownToOnePixel) {
  ReleaseTextureCache();
  GRAPH_CREATE_PARAM p = Param();
  p.mipLevels = -1;
  RASTER_IMAGE img = {};
  ASSERT_EQ(AllocARGB8Image(256, 64, &img), 0);
  for (int y = 0; y < 64; y++)
    for (int x = 0; x < 256; x++)
      ((uint32_t*)((uint8_t*)img.pixels + y * img.pitch))[x] = (x < 128) ? 0xFF0000FFu : 0xFF0000C1u;
  GRAPH_LOAD_SETTINGS s;
  CaptureGraphLoadSettings(&s);
  s.create = p;
  HANDLE_VALUE g = NewGraphHandle();
  ASSERT_EQ(BuildGraphFromImages(&s, 0, g, &img, nullptr, 0, 0), 0);
  GRAPH_IMAGE_SET* set = GetGraphRecord(g, 0)->imageSet;
  ASSERT_EQ(set->mipLevels, 9);
  IDirect3DTexture9* written = FindPoolTexture(256, 64, 9);
  ASSERT_NE(written, nullptr);
  std::vector<uint32_t> level7 = ReadPoolTexture(written, 7, 2, 1);
  ASSERT_EQ(level7.size(), 2u);
  EXPECT_EQ(level7[0], 0xFF0000FFu);
  EXPECT_EQ(level7[1], 0xFF0000C1u);
  std::vector<uint32_t> level8 = ReadPoolTexture(written, 8, 1, 1);
  ASSERT_EQ(level8.size(), 1u);
  EXPECT_EQ(level8[0], 0xFF0000E0u) << "(0xFF + 0xC1) / 2";
  DeleteGraphHandle(g, 0);
  DisposeImage(&img);
}
}  // namespace

namespace {
// An image that brings its own levels goes into a texture rectangle by rectangle: each level
// takes its share of the source rectangle into its share of the destination, and nothing
// outside the destination changes.
TEST_F(Graphs, ImageLevelsFollowTheSourceAndDestinationRectangles) {
  // An 8 x 8 ARGB8 image with four levels; level L's pixel (x, y) is 0xFF000000 | L << 16 | y << 8 | x.
  RASTER_IMAGE img = {};
  InitARGB8Format(&img.format);
  img.width = img.height = 8;
  img.pitch = 32;
  img.mipLevels = 4;
  std::vector<uint32_t> data;
  for (int level = 0; level < 4; level++)
    for (int y = 0; y < (8 >> level); y++)
      for (int x = 0; x < (8 >> level); x++) data.push_back(0xFF000000u | (uint32_t)level << 16 | (uint32_t)y << 8 | (uint32_t)x);
  img.pixels = data.data();
  auto texel = [](int level, int x, int y) { return 0xFF000000u | (uint32_t)level << 16 | (uint32_t)y << 8 | (uint32_t)x; };
  struct CASE {
    RECT src, dest;
  };
  const CASE cases[] = {{{2, 2, 6, 6}, {0, 0, 4, 4}}, {{0, 0, 2, 2}, {2, 2, 4, 4}}};
  for (const CASE& c : cases) {
    IDirect3DTexture9* texture = nullptr;
    ASSERT_EQ(DeviceCalls.DeviceCreateTexture(4, 4, 3, 0, D3DFMT_A8R8G8B8, D3DPOOL_SYSTEMMEM, &texture, nullptr), S_OK);
    for (int level = 0; level < 3; level++) {
      D3DLOCKED_RECT locked;
      ASSERT_EQ(DeviceCalls.TextureLockRect(texture, (UINT)level, &locked, nullptr, 0), S_OK);
      for (int y = 0; y < (4 >> level); y++) memset((uint8_t*)locked.pBits + y * locked.Pitch, 0x11, (size_t)(4 >> level) * 4);
      DeviceCalls.TextureUnlockRect(texture, (UINT)level);
    }
    TEXTURE_WRITE_FLAGS flags = {0, 0, 0, 3};
    ASSERT_EQ(WriteImageToMipmapTexture(texture, &c.dest, &c.src, &img, nullptr, GetD3DFormatColorFormat(D3DFMT_A8R8G8B8),
                                        -1, 4, 4, 4, 4, &flags, 0),
              0);
    for (int level = 0; level < 3; level++) {
      int size = 4 >> level;
      std::vector<uint32_t> got = ReadPoolTexture(texture, level, size, size);
      ASSERT_EQ(got.size(), (size_t)size * size);
      RECT to = {c.dest.left >> level, c.dest.top >> level, c.dest.right >> level, c.dest.bottom >> level};
      if (to.right == to.left) to.right++;
      if (to.bottom == to.top) to.bottom++;
      for (int y = 0; y < size; y++)
        for (int x = 0; x < size; x++) {
          bool inside = x >= to.left && x < to.right && y >= to.top && y < to.bottom;
          uint32_t want = inside ? texel(level, (c.src.left >> level) + x - to.left, (c.src.top >> level) + y - to.top)
                                 : 0x11111111u;
          EXPECT_EQ(got[(size_t)y * size + x], want) << "level " << level << " at " << x << "," << y;
        }
    }
    DeviceCalls.ReleaseComObject(texture);
  }
}

// The pixels of a drawable graph's first texture, read back from the device as 0xRRGGBB.
std::vector<uint32_t> ReadDrawableTexture(const GRAPH_TEXTURE* t) {
  std::vector<uint32_t> pixels;
  IDirect3DSurface9* system = nullptr;
  if (FAILED(DeviceCalls.DeviceCreateOffscreenSurface((UINT)t->width, (UINT)t->height, D3DFMT_X8R8G8B8,
                                                      D3DPOOL_SYSTEMMEM, &system, nullptr)))
    return pixels;
  D3DLOCKED_RECT locked;
  if (SUCCEEDED(DeviceCalls.DeviceGetRenderTargetData(t->surface, system)) &&
      SUCCEEDED(DeviceCalls.SurfaceLockRect(system, &locked, nullptr, D3DLOCK_READONLY))) {
    for (int y = 0; y < t->height; y++) {
      const uint32_t* row = (const uint32_t*)((const uint8_t*)locked.pBits + y * locked.Pitch);
      for (int x = 0; x < t->width; x++) pixels.push_back(row[x] & 0xFFFFFF);
    }
    DeviceCalls.SurfaceUnlockRect(system);
  }
  DeviceCalls.ReleaseComObject(system);
  return pixels;
}

TEST_F(Graphs, DrawableGraphReceivesTheImageOnTheDevice) {
  GRAPH_CREATE_PARAM p = Param();
  p.drawable = 1;
  HANDLE_VALUE g = CreateBlankGraph(&p, 40, 30, 0, 0, 0);
  ASSERT_NE(g, -1);
  GRAPH_IMAGE_SET* set = GetGraphRecord(g, 0)->imageSet;
  ASSERT_EQ(set->formatIndex, 12);
  RASTER_IMAGE img = {};
  MakeNumberedImage(40, 30, &img);
  RECT part = {5, 6, 15, 16};
  ASSERT_EQ(CopyImageRectIntoGraph(nullptr, nullptr, nullptr, 0, &img, nullptr, &part, 20, 10, g), 0);
  const GRAPH_TEXTURE* t = &set->textures[0];
  std::vector<uint32_t> pixels = ReadDrawableTexture(t);
  ASSERT_EQ(pixels.size(), (size_t)t->width * t->height);
  auto at = [&](int x, int y) { return pixels[(size_t)y * t->width + x]; };
  EXPECT_EQ(at(20, 10), 0x000605u);
  EXPECT_EQ(at(29, 19), 0x000F0Eu);
  EXPECT_EQ(at(19, 10), 0u) << "outside the copied rectangle the graph stays cleared";
  EXPECT_EQ(at(30, 19), 0u);
  DeleteGraphHandle(g, 0);
  DisposeImage(&img);
}

// The system-memory surface of a drawable transfer cannot be locked: it holds none of the
// image's pixels, so nothing reaches the graph, the transfer says so and fails, and the
// surface is still released.
LONG transferSurfaces, transferSurfacesReleased;
IDirect3DSurface9* transferSurface;
HRESULT CountingOffscreenSurfaces(UINT w, UINT h, D3DFORMAT format, D3DPOOL pool, IDirect3DSurface9** out,
                                  HANDLE* shared) {
  HRESULT hr = RealDeviceCalls.DeviceCreateOffscreenSurface(w, h, format, pool, out, shared);
  if (SUCCEEDED(hr)) transferSurface = *out, transferSurfaces++;
  return hr;
}

TEST_F(Graphs, DrawableTransferWhoseSurfaceCannotBeLockedTransfersNothing) {
  GRAPH_CREATE_PARAM p = Param();
  p.drawable = 1;
  HANDLE_VALUE g = CreateBlankGraph(&p, 16, 8, 0, 0, 0);
  ASSERT_NE(g, -1);
  const GRAPH_TEXTURE* t = &GetGraphRecord(g, 0)->imageSet->textures[0];
  RASTER_IMAGE numbered = {}, white = {};
  MakeNumberedImage(16, 8, &numbered);
  ASSERT_EQ(AllocARGB8Image(16, 8, &white), 0);
  memset(white.pixels, 0xFF, (size_t)white.pitch * 8);
  ASSERT_EQ(TransferImageToGraph(nullptr, nullptr, nullptr, 0, &numbered, nullptr, 0, 0, g, 1, 0), 0);
  std::vector<uint32_t> before = ReadDrawableTexture(t);
  ASSERT_FALSE(before.empty());
  ASSERT_EQ(before[(size_t)3 * t->width + 5], 0x000305u);

  transferSurfaces = transferSurfacesReleased = 0;
  transferSurface = nullptr;
  DeviceCalls.DeviceCreateOffscreenSurface = CountingOffscreenSurfaces;
  DeviceCalls.SurfaceLockRect = [](IDirect3DSurface9*, D3DLOCKED_RECT*, const RECT*, DWORD) -> HRESULT {
    return D3DERR_INVALIDCALL;
  };
  DeviceCalls.ReleaseComObject = [](IUnknown* object) {
    if (object == (IUnknown*)transferSurface) transferSurfacesReleased++;
    return RealDeviceCalls.ReleaseComObject(object);
  };
  size_t logged = ReadLogWithoutStamps().size();
  EXPECT_EQ(TransferImageToGraph(nullptr, nullptr, nullptr, 0, &white, nullptr, 0, 0, g, 1, 0), -1);
  DeviceCalls = RealDeviceCalls;
  EXPECT_EQ(transferSurfaces, 1);
  EXPECT_EQ(transferSurfacesReleased, 1);
  EXPECT_NE(ReadLogWithoutStamps().find("描画可能テクスチャへの画像の転送に失敗しました", logged), std::string::npos);
  EXPECT_EQ(ReadDrawableTexture(t), before) << "the graph keeps the pixels it had";
  DeleteGraphHandle(g, 0);
  DisposeImage(&numbered);
  DisposeImage(&white);
}

// The alpha image is read at the places of the colour pixels: one that does not cover the
// transferred rectangle (an alpha file of another size than its image) is refused before
// anything is read or written; one that covers it is used.
TEST_F(Graphs, AlphaImageThatDoesNotCoverTheRectangleIsRefused) {
  GRAPH_CREATE_PARAM p = Param();
  HANDLE_VALUE g = CreateBlankGraph(&p, 16, 16, 1, 0, 0);
  ASSERT_NE(g, -1);
  RASTER_IMAGE color = {}, small = {}, whole = {};
  MakeNumberedImage(16, 16, &color);
  ASSERT_EQ(AllocARGB8Image(2, 2, &small), 0);
  ASSERT_EQ(AllocARGB8Image(16, 16, &whole), 0);
  memset(small.pixels, 0xFF, (size_t)small.pitch * 2);
  memset(whole.pixels, 0xFF, (size_t)whole.pitch * 16);
  struct {
    const char* name;
    const RASTER_IMAGE* alpha;
    RECT rect;
    int result;
  } rows[] = {
      {"2 x 2 alpha, whole image", &small, {0, 0, 16, 16}, -1},
      {"2 x 2 alpha, 3 x 1 rectangle", &small, {0, 0, 3, 1}, -1},
      {"2 x 2 alpha, 2 x 2 rectangle", &small, {0, 0, 2, 2}, 0},
      {"16 x 16 alpha, whole image", &whole, {0, 0, 16, 16}, 0},
  };
  for (const auto& row : rows)
    EXPECT_EQ(CopyImageRectIntoGraph(nullptr, nullptr, nullptr, 0, &color, row.alpha, &row.rect, 0, 0, g), row.result)
        << row.name;
  DeleteGraphHandle(g, 0);
  DisposeImage(&color);
  DisposeImage(&small);
  DisposeImage(&whole);
}

TEST_F(Graphs, DxtImagesGoUnchangedIntoDxtTextures) {
  if (DeviceCaps.textureFormats[6] != D3DFMT_DXT1) GTEST_SKIP() << "no DXT1 textures on this device";
  ReleaseTextureCache();
  RASTER_IMAGE dxt = {};
  InitARGB8Format(&dxt.format);
  dxt.format.kind = COLOR_KIND_DXT1;
  dxt.format.colorBits = 4;
  dxt.width = dxt.height = 8;
  uint8_t blocks[4][8];
  for (int b = 0; b < 4; b++)
    for (int i = 0; i < 8; i++) blocks[b][i] = (uint8_t)(b * 16 + i);
  dxt.pixels = blocks;
  HANDLE_VALUE g = BuildGraphFromBaseImage(&dxt, nullptr, 0);
  ASSERT_NE(g, -1);
  EXPECT_EQ(GetGraphRecord(g, 0)->imageSet->formatIndex, 6);
  IDirect3DTexture9* written = FindPoolTexture(8, 8, 1);
  ASSERT_NE(written, nullptr);
  D3DLOCKED_RECT locked;
  ASSERT_TRUE(SUCCEEDED(DeviceCalls.TextureLockRect(written, 0, &locked, nullptr, D3DLOCK_READONLY)));
  // Two block rows of two blocks each, every row at the locked pitch.
  EXPECT_EQ(memcmp(locked.pBits, blocks[0], 16), 0);
  EXPECT_EQ(memcmp((uint8_t*)locked.pBits + locked.Pitch, blocks[2], 16), 0);
  DeviceCalls.TextureUnlockRect(written, 0);

  // A plain image is not written into a DXT texture.
  RASTER_IMAGE plain = {};
  MakeNumberedImage(8, 8, &plain);
  EXPECT_EQ(TransferImageToGraph(nullptr, nullptr, nullptr, 0, &plain, nullptr, 0, 0, g, 1, 0), 0);
  EXPECT_NE(ReadLogWithoutStamps().find("DXTフォーマットのテクスチャに標準形式のイメージを転送することはできません"),
            std::string::npos);
  DeleteGraphHandle(g, 0);
  DisposeImage(&plain);
}
}  // namespace

namespace {
TEST_F(Graphs, TextureDescriptorsAndFormats) {
  GRAPH_CREATE_PARAM p = Param();
  int savedBits = ScreenState.colorBits;
  struct Case {
    const char* name;
    int screenBits, alpha, index;
  } cases[] = {
      {"16-bit screen, alpha-test", 16, 0, 4},
      {"16-bit screen, alpha image is 32-bit", 16, 1, 3},
      {"32-bit screen, alpha-test", 32, 0, 5},
      {"32-bit screen, alpha", 32, 1, 3},
  };
  for (const Case& c : cases) {
    ScreenState.colorBits = c.screenBits;
    TEXTURE_DESC d;
    BuildTextureDesc(-1, &d, &p, 10, 10, c.alpha, 0, 0);
    EXPECT_EQ(ClassifyTextureDesc(&d), c.index) << c.name;
  }
  p.colorBits = 16;
  TEXTURE_DESC d;
  BuildTextureDesc(-1, &d, &p, 10, 10, 1, 0, 0);
  EXPECT_EQ(ClassifyTextureDesc(&d), 2) << "16-bit with alpha";
  p.mipLevels = -1;
  BuildTextureDesc(-1, &d, &p, 256, 64, 0, 0, 0);
  EXPECT_EQ(d.mipLevels, 9);
  ScreenState.colorBits = savedBits;
  EXPECT_EQ(GetD3DFormatColorFormat(D3DFMT_A4R4G4B4)->alphaMask, 0xF000u);
  EXPECT_EQ(GetD3DFormatColorFormat(D3DFMT_G16R16F)->channelCount, 2);
  EXPECT_EQ(GetD3DFormatColorFormat(D3DFMT_DXT1), nullptr);
}

TEST_F(Graphs, TransparentEdgeFixAndRecreation) {
  ReleaseTextureCache();
  RASTER_IMAGE img = {};
  ASSERT_EQ(AllocXRGB8Image(3, 1, &img), 0);
  uint32_t* px = (uint32_t*)img.pixels;
  px[0] = 0xFF000000u;  // the transparent colour, black
  px[1] = 0xFFFF0000u;
  px[2] = 0xFF000000u;
  GRAPH_LOAD_SETTINGS s;
  CaptureGraphLoadSettings(&s);
  s.transparentEdgeFix = 1;
  HANDLE_VALUE g = NewGraphHandle();
  ASSERT_EQ(BuildGraphFromImages(&s, 0, g, &img, nullptr, 0, 0), 0);
  EXPECT_EQ(GetGraphRecord(g, 0)->imageSet->formatIndex, 3);
  IDirect3DTexture9* written = FindPoolTexture(4, 1, 1);
  ASSERT_NE(written, nullptr);
  std::vector<uint32_t> row = ReadPoolTexture(written, 0, 4, 1);
  ASSERT_EQ(row.size(), 4u);
  EXPECT_EQ(row[0], 0x00FF0000u);
  EXPECT_EQ(row[1], 0xFFFF0000u);
  EXPECT_EQ(row[2], 0x00FF0000u);
  EXPECT_EQ(row[3], 0x00FF0000u) << "the column beyond the image repeats the last one";
  EXPECT_EQ(px[0], 0xFF000000u) << "the caller's image is left as it was";

  RASTER_IMAGE other = {};
  ASSERT_EQ(AllocXRGB8Image(4, 1, &other), 0);
  EXPECT_EQ(BuildGraphFromImages(&s, 1, g, &other, nullptr, 0, 0), -1);
  EXPECT_EQ(GetGraphRecord(g, 0)->width, 3);
  RECT empty = {1, 0, 1, 1};
  EXPECT_EQ(CopyImageRectIntoGraph(nullptr, nullptr, nullptr, 0, &img, nullptr, &empty, 0, 0, g), 0);
  DeleteGraphHandle(g, 0);
  DisposeImage(&img);
  DisposeImage(&other);
}
}  // namespace

namespace {
TEST_F(Graphs, AsynchronousBlankGraphIsMadeOnALoaderThread) {
  GRAPH_CREATE_PARAM p = Param();
  HANDLE_VALUE g = CreateBlankGraph(&p, 50, 40, 0, 1, 0);
  ASSERT_NE(g, -1);
  // The handle exists at once; it counts as loading until the worker has set it up, its
  // device calls served by the main thread's pump.
  int w = -1;
  EXPECT_EQ(GetGraphOrScreenSize(g, &w, nullptr), 0);
  DWORD start = GetTickCount();
  while (IsGraphHandleValid(g) == 0 && GetTickCount() - start < 10000) {
    PumpWindowMessages();
    Sleep(1);
  }
  ASSERT_EQ(IsGraphHandleValid(g), 1);
  GRAPH_RECORD* r = GetGraphRecord(g, 0);
  EXPECT_EQ(r->width, 50);
  ASSERT_EQ(r->imageSet->textureCount, 1);
  EXPECT_NE(r->imageSet->textures[0].texture, nullptr);
  EXPECT_EQ(r->pieceCount, 1);
  EXPECT_FLOAT_EQ(r->pieces[0].corners[GRAPH_CORNER_BOTTOM_RIGHT].u, 50.0f / 64);
  DeleteGraphHandle(g, 0);
}
}  // namespace
