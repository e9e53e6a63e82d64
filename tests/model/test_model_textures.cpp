// Model textures on Wine's real device: the two embedded images, the preparation of a texture's
// colour and alpha images (normal maps, power-of-two growth, turning, matching sizes, failures
// that leave nothing allocated), and the generated and stored textures refilled into their
// graphs by the restore and after a real device re-creation, read back from the textures.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include "core/memory.h"
#include "graphics/device/device.h"
#include "graphics/graphs/graph_create.h"
#include "graphics/graphs/graph_handles.h"
#include "graphics/graphs/graph_load.h"
#include "graphics/graphs/graph_records.h"
#include "graphics/lifecycle/device_restore.h"
#include "image/image_load.h"
#include "image/raster_ops.h"
#include "model/model_system.h"
#include "model/model_textures.h"
#include "../image/image_builders.h"
#include "model_builders.h"
#include "real_device.h"

namespace {
class ModelTextures : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { StartRealDevice(); }
  static void TearDownTestSuite() { EndRealDevice(); }
  void SetUp() override {
    blocks = GetAllocBlockCount();
    maxWidth = DeviceCaps.maxTextureWidth;
    maxHeight = DeviceCaps.maxTextureHeight;
  }
  void TearDown() override {
    DeviceCaps.maxTextureWidth = maxWidth;
    DeviceCaps.maxTextureHeight = maxHeight;
  }
  int blocks = 0, maxWidth = 0, maxHeight = 0;
};

// A 24-bit BMP whose pixel (x, y) has the colour 0xRRGGBB given.
std::string Bmp(int w, int h, const std::function<uint32_t(int, int)>& color) {
  std::string px;
  int row = (w * 3 + 3) / 4 * 4;
  for (int y = h - 1; y >= 0; y--) {
    std::string r;
    for (int x = 0; x < w; x++) {
      uint32_t c = color(x, y);
      r += std::string{(char)(c & 0xFF), (char)(c >> 8 & 0xFF), (char)(c >> 16 & 0xFF)};
    }
    px += r + std::string(row - w * 3, '\0');
  }
  return MakeBmp(w, h, 24, 0, "", px);
}

uint32_t Rgb(const RASTER_IMAGE* image, int x, int y) {
  unsigned r, g, b, a;
  ReadImagePixel(image, x, y, &r, &g, &b, &a);
  return r << 16 | g << 8 | b;
}

TEST_F(ModelTextures, TheEmbeddedImagesDecodeToWhiteAndTheFourStepRamp) {
  static_assert(sizeof(ModelWhiteTextureFile) == 84, "white texture file");
  static_assert(sizeof(ModelToonTextureFile) == 172, "toon ramp file");
  RASTER_IMAGE white = {}, toon = {};
  ASSERT_EQ(LoadImageSimple(nullptr, ModelWhiteTextureFile, 84, 1, &white, 0), 0);
  ASSERT_EQ(LoadImageSimple(nullptr, ModelToonTextureFile, 172, 1, &toon, 0), 0);
  EXPECT_EQ(white.width, 8);
  EXPECT_EQ(white.height, 8);
  for (int y = 0; y < 8; y++)
    for (int x = 0; x < 8; x++) {
      unsigned r, g, b, a;
      ReadImagePixel(&white, x, y, &r, &g, &b, &a);
      EXPECT_EQ(r & g & b & a, 255u) << x << "," << y;
    }
  EXPECT_EQ(toon.width, 256);
  EXPECT_EQ(toon.height, 8);
  for (int y = 0; y < 8; y++)
    for (int x = 0; x < 256; x++) {
      uint32_t grey = (uint32_t)(x / 64) * 0x55;
      ASSERT_EQ(Rgb(&toon, x, y), grey * 0x010101) << x << "," << y;
    }
  DisposeImage(&white);
  DisposeImage(&toon);
  EXPECT_EQ(memcmp(ModelToonTextureFile + 146, "\0\0\0\0\0\0\0\0TRUEVISION-XFILE.\0", 26), 0);
}

TEST_F(ModelTextures, ImagesGrowToPowersOfTwoWithinHalfTheLargestTexture) {
  DeviceCaps.maxTextureWidth = DeviceCaps.maxTextureHeight = 2048;
  struct Row {
    int width, height, grownWidth, grownHeight;
  } rows[] = {{100, 60, 128, 64}, {1500, 1500, 1024, 1024}, {2048, 2048, 2048, 2048}, {1, 3, 1, 4}, {64, 64, 64, 64}};
  for (const Row& row : rows) {
    std::string file = Bmp(row.width, row.height, [](int x, int y) { return (uint32_t)(x * 7 + y) & 0xFF; });
    RASTER_IMAGE color, alpha;
    ASSERT_EQ(PrepareModelTextureImages(&color, &alpha, file.data(), (int)file.size(), nullptr, 0, 0, 1.0f, 0), 0)
        << row.width;
    EXPECT_EQ(color.width, row.grownWidth) << row.width;
    EXPECT_EQ(color.height, row.grownHeight) << row.width;
    EXPECT_EQ(alpha.pixels, nullptr);
    DisposeImage(&color);
  }
  EXPECT_EQ(GetAllocBlockCount(), blocks);

  // Growth is bilinear: a left-to-right ramp stays a ramp, its ends kept (the scaler's weights
  // sum to just under one, so a scaled channel may come out one lower).
  std::string ramp = Bmp(3, 1, [](int x, int) { return (uint32_t)(x * 100) << 16; });
  RASTER_IMAGE color, alpha;
  ASSERT_EQ(PrepareModelTextureImages(&color, &alpha, ramp.data(), (int)ramp.size(), nullptr, 0, 0, 1.0f, 0), 0);
  ASSERT_EQ(color.width, 4);
  EXPECT_EQ(Rgb(&color, 0, 0), 0u);
  EXPECT_GT(Rgb(&color, 1, 0) >> 16, 0u);
  EXPECT_LT(Rgb(&color, 1, 0) >> 16, 100u);
  EXPECT_GE(Rgb(&color, 3, 0) >> 16, 199u);
  DisposeImage(&color);
}

TEST_F(ModelTextures, HeightMapsBecomeNormalMaps) {
  const float inf = std::numeric_limits<float>::infinity(), nan = std::numeric_limits<float>::quiet_NaN();
  struct Row {
    const char* name;
    std::vector<int> reds;  // one row of heights
    float scale;
    std::vector<uint32_t> normals;
  } rows[] = {
      {"flat", {90, 90, 90, 90}, 1.0f, {0x7F7FFF, 0x7F7FFF, 0x7F7FFF, 0x7F7FFF}},
      // A rise of 255 to the right: (-1, 0, 1) / sqrt 2; at the edge the neighbour wraps to x = 0.
      {"slope", {0, 255}, 1.0f, {0x257FD9, 0xD97FD9}},
      {"zero scale means the smallest", {0, 0}, 0.0f, {0x7F7FFF, 0x7F7FFF}},
      {"a scale that is not a number", {0, 0}, nan, {0x7F7FFF, 0x7F7FFF}},
      // s x s is beyond the float range: the normal has no direction and becomes (0, 0, 1).
      {"an infinite scale", {0, 0}, inf, {0x7F7FFF, 0x7F7FFF}},
      {"a scale whose square overflows", {0, 255}, 1e30f, {0x7F7FFF, 0x7F7FFF}},
  };
  for (const Row& row : rows) {
    int w = (int)row.reds.size();
    std::string file = Bmp(w, 1, [&](int x, int) { return (uint32_t)row.reds[x] << 16 | 0x3377; });
    RASTER_IMAGE color, alpha;
    ASSERT_EQ(PrepareModelTextureImages(&color, &alpha, file.data(), (int)file.size(), nullptr, 0, 1, row.scale, 0), 0)
        << row.name;
    ASSERT_EQ(color.width, w) << row.name;
    for (int x = 0; x < w; x++) EXPECT_EQ(Rgb(&color, x, 0), row.normals[x]) << row.name << " x " << x << std::hex;
    DisposeImage(&color);
  }
  EXPECT_EQ(GetAllocBlockCount(), blocks);
}

TEST_F(ModelTextures, ColourAndAlphaImagesEndAtOneSize) {
  struct Row {
    const char* name;
    int colorW, colorH;  // 0: no colour file
    int alphaW, alphaH;
    int width, height;
    uint32_t color, alpha;  // a scaled image's channels come out one lower
  } rows[] = {
      {"the taller colour image sets the size", 64, 64, 128, 32, 64, 64, 0x102030, 0x7F7F7F},
      {"the larger alpha image sets the size", 32, 16, 64, 32, 64, 32, 0x0F1F2F, 0x808080},
      {"equal sizes", 16, 16, 16, 16, 16, 16, 0x102030, 0x808080},
      // The white image takes the alpha image's size after that grew.
      {"alpha only", 0, 0, 100, 60, 128, 64, 0xFEFEFE, 0x7F7F7F},
  };
  for (const Row& row : rows) {
    std::string colorFile = row.colorW ? Bmp(row.colorW, row.colorH, [](int, int) { return 0x102030u; }) : "";
    std::string alphaFile = Bmp(row.alphaW, row.alphaH, [](int, int) { return 0x808080u; });
    RASTER_IMAGE color, alpha;
    ASSERT_EQ(PrepareModelTextureImages(&color, &alpha, row.colorW ? colorFile.data() : nullptr, (int)colorFile.size(),
                                        alphaFile.data(), (int)alphaFile.size(), 0, 1.0f, 0),
              0)
        << row.name;
    EXPECT_EQ(color.width, row.width) << row.name;
    EXPECT_EQ(color.height, row.height) << row.name;
    EXPECT_EQ(alpha.width, row.width) << row.name;
    EXPECT_EQ(alpha.height, row.height) << row.name;
    EXPECT_EQ(Rgb(&color, row.width - 1, row.height - 1), row.color) << row.name << std::hex;
    EXPECT_EQ(Rgb(&alpha, 0, 0), row.alpha) << row.name << std::hex;
    DisposeImage(&color);
    DisposeImage(&alpha);
  }
  EXPECT_EQ(GetAllocBlockCount(), blocks);
}

TEST_F(ModelTextures, TheTurnFlagTurnsBothImagesAndFailuresLeaveNothing) {
  std::string colorFile = Bmp(2, 2, [](int x, int y) { return (uint32_t)(x + 2 * y + 1) * 0x10; });
  std::string alphaFile = Bmp(2, 2, [](int x, int y) { return (uint32_t)(x + 2 * y + 1) << 16; });
  RASTER_IMAGE color, alpha;
  ASSERT_EQ(PrepareModelTextureImages(&color, &alpha, colorFile.data(), (int)colorFile.size(), alphaFile.data(),
                                      (int)alphaFile.size(), 0, 1.0f, 1),
            0);
  EXPECT_EQ(Rgb(&color, 0, 0), 0x40u);
  EXPECT_EQ(Rgb(&color, 1, 1), 0x10u);
  EXPECT_EQ(Rgb(&alpha, 0, 0), 0x040000u);
  EXPECT_EQ(Rgb(&alpha, 1, 0), 0x030000u);
  DisposeImage(&color);
  DisposeImage(&alpha);

  const std::string junk = "not an image file";
  struct Row {
    const char* name;
    const std::string* color;
    const std::string* alpha;
  } rows[] = {{"bad colour file", &junk, &alphaFile}, {"bad alpha file", &colorFile, &junk},
              {"bad alpha file alone", nullptr, &junk}, {"no file at all", nullptr, nullptr}};
  for (const Row& row : rows) {
    EXPECT_EQ(PrepareModelTextureImages(&color, &alpha, row.color ? row.color->data() : nullptr,
                                        row.color ? (int)row.color->size() : 0, row.alpha ? row.alpha->data() : nullptr,
                                        row.alpha ? (int)row.alpha->size() : 0, 1, 1.0f, 1),
              -1)
        << row.name;
    EXPECT_EQ(color.pixels, nullptr) << row.name;
    EXPECT_EQ(alpha.pixels, nullptr) << row.name;
    EXPECT_EQ(GetAllocBlockCount(), blocks) << row.name;
  }
}

// The graph's pixels as the device holds them: its texture copied into a render target and
// read back, as 0xRRGGBB.
std::vector<uint32_t> ReadGraph(HANDLE_VALUE handle) {
  std::vector<uint32_t> out;
  GRAPH_RECORD* g = GetGraphRecord(handle, 0);
  if (g == nullptr || g->imageSet == nullptr || g->imageSet->textureCount < 1) return out;
  IDirect3DSurface9 *target = nullptr, *system = nullptr;
  RECT rect = {g->x, g->y, g->x + g->width, g->y + g->height}, dest = {0, 0, g->width, g->height};
  if (SUCCEEDED(DeviceCalls.DeviceCreateRenderTarget((UINT)g->width, (UINT)g->height, D3DFMT_A8R8G8B8,
                                                     D3DMULTISAMPLE_NONE, 0, FALSE, &target, nullptr)) &&
      SUCCEEDED(DeviceCalls.DeviceCreateOffscreenSurface((UINT)g->width, (UINT)g->height, D3DFMT_A8R8G8B8,
                                                         D3DPOOL_SYSTEMMEM, &system, nullptr)) &&
      SUCCEEDED(DeviceCalls.DeviceStretchRect(g->imageSet->textures[0].surface, &rect, target, &dest, D3DTEXF_NONE)) &&
      SUCCEEDED(DeviceCalls.DeviceGetRenderTargetData(target, system))) {
    D3DLOCKED_RECT locked;
    if (SUCCEEDED(DeviceCalls.SurfaceLockRect(system, &locked, nullptr, D3DLOCK_READONLY))) {
      for (int y = 0; y < g->height; y++) {
        const uint32_t* row = (const uint32_t*)((const uint8_t*)locked.pBits + y * locked.Pitch);
        for (int x = 0; x < g->width; x++) out.push_back(row[x] & 0xFFFFFF);
      }
      DeviceCalls.SurfaceUnlockRect(system);
    }
  }
  if (system != nullptr) DeviceCalls.ReleaseComObject(system);
  if (target != nullptr) DeviceCalls.ReleaseComObject(target);
  return out;
}

HANDLE_VALUE BlankGraph(int w, int h) {
  GRAPH_CREATE_PARAM param;
  CaptureGraphCreateParam(&param);
  return CreateBlankGraph(&param, w, h, 0, 0, 0);
}

// Fills the graph with one colour (a lost device leaves textures in any state).
void Paint(HANDLE_VALUE graph, uint32_t rgb) {
  GRAPH_RECORD* g = GetGraphRecord(graph, 0);
  RASTER_IMAGE image = {};
  ASSERT_EQ(AllocXRGB8Image(g->width, g->height, &image), 0);
  for (int y = 0; y < image.height; y++)
    for (int x = 0; x < image.width; x++) ((uint32_t*)((uint8_t*)image.pixels + y * image.pitch))[x] = rgb;
  GRAPH_LOAD_PARAM settings;
  CaptureGraphLoadParam(&settings);
  ASSERT_EQ(LoadGraphFromBaseImages(&settings, 1, graph, &image, nullptr, 0, 0, 0), 0);
  DisposeImage(&image);
}

std::vector<uint32_t> Expected(int w, int h, const std::function<uint32_t(int, int)>& color) {
  std::vector<uint32_t> out;
  for (int y = 0; y < h; y++)
    for (int x = 0; x < w; x++) out.push_back(color(x, y));
  return out;
}

// The three shared textures and the stored textures of a base and a model, painted over and
// then refilled: by the restore called alone, and by a real re-creation of the device.
TEST_F(ModelTextures, GeneratedAndStoredTexturesAreRefilledAfterARestore) {
  ModelSystem.whiteTexture = BlankGraph(8, 8);
  ModelSystem.toonTexture = BlankGraph(256, 8);
  ModelSystem.greyRampTexture = BlankGraph(256, 8);
  ASSERT_NE(ModelSystem.greyRampTexture, -1);
  std::vector<uint32_t> white = Expected(8, 8, [](int, int) { return 0xFFFFFFu; });
  std::vector<uint32_t> toon = Expected(256, 8, [](int x, int) { return (uint32_t)(x / 64) * 0x555555; });
  std::vector<uint32_t> grey = Expected(256, 8, [](int x, int) { return (uint32_t)x * 0x010101; });

  // A base texture from a 100 x 60 file (grown to 128 x 64), one whose file is broken, and a
  // model's override in use and one not in use.
  std::string file = Bmp(100, 60, [](int, int) { return 0x2468ACu; });
  std::string overrideFile = Bmp(16, 16, [](int x, int) { return x < 8 ? 0x112233u : 0x445566u; });
  HANDLE_VALUE base = NewTestBase();
  MODEL_BASE_RECORD* b = BaseRecord(base);
  std::vector<MODEL_TEXTURE> textures(2, MODEL_TEXTURE{});
  textures[0].colorFile = (void*)file.data();
  textures[0].colorSize = (int)file.size();
  textures[0].graph = BlankGraph(128, 64);
  const std::string junk = "junk";
  textures[1].colorFile = (void*)junk.data();
  textures[1].colorSize = (int)junk.size();
  textures[1].graph = BlankGraph(4, 4);
  b->textureCount = 2;
  b->textures = textures.data();
  HANDLE_VALUE model = NewTestModel(base);
  std::vector<MODEL_TEXTURE_OVERRIDE> overrides(2, MODEL_TEXTURE_OVERRIDE{});
  overrides[0].inUse = 1;
  overrides[0].colorFile = (void*)overrideFile.data();
  overrides[0].colorSize = (int)overrideFile.size();
  overrides[0].graph = BlankGraph(16, 16);
  overrides[1].colorFile = (void*)overrideFile.data();
  overrides[1].colorSize = (int)overrideFile.size();
  overrides[1].graph = BlankGraph(16, 16);
  ModelRecord(model)->textureOverrides = overrides.data();
  // Grown bilinearly from 100 x 60, one step lower in each channel.
  std::vector<uint32_t> stored = Expected(128, 64, [](int, int) { return 0x2367ABu; });
  std::vector<uint32_t> overridden = Expected(16, 16, [](int x, int) { return x < 8 ? 0x112233u : 0x445566u; });
  std::vector<uint32_t> painted16 = Expected(16, 16, [](int, int) { return 0x010203u; });
  std::vector<uint32_t> painted4 = Expected(4, 4, [](int, int) { return 0x010203u; });

  for (int pass = 0; pass < 2; pass++) {
    const char* when = pass == 0 ? "restore alone" : "device re-created";
    for (HANDLE_VALUE g : {ModelSystem.whiteTexture, ModelSystem.toonTexture, ModelSystem.greyRampTexture,
                           textures[0].graph, textures[1].graph, overrides[0].graph, overrides[1].graph})
      Paint(g, 0x010203);
    if (pass == 0) {
      int before = GetAllocBlockCount();
      EXPECT_EQ(RebuildModelGeneratedTextures(), 0);
      EXPECT_EQ(GetAllocBlockCount(), before) << "every prepared image is disposed";
    } else {
      ASSERT_EQ(RecreateGraphicsDevice(), 0);
      ASSERT_TRUE(HasDirect3DDevice());
    }
    EXPECT_EQ(ReadGraph(ModelSystem.whiteTexture), white) << when;
    EXPECT_EQ(ReadGraph(ModelSystem.toonTexture), toon) << when;
    EXPECT_EQ(ReadGraph(ModelSystem.greyRampTexture), grey) << when;
    EXPECT_EQ(ReadGraph(textures[0].graph), stored) << when;
    EXPECT_EQ(ReadGraph(overrides[0].graph), overridden) << when;
    if (pass == 0) {
      // Not prepared or not in use: left as they were.
      EXPECT_EQ(ReadGraph(textures[1].graph), painted4) << when;
      EXPECT_EQ(ReadGraph(overrides[1].graph), painted16) << when;
    }
  }
  // The records' files belong to the test here: nothing for the releases to free.
  b->textures = nullptr;
  b->textureCount = 0;
  ModelRecord(model)->textureOverrides = nullptr;
  DeleteHandle(model);
  DeleteHandle(base);
  for (HANDLE_VALUE g : {ModelSystem.whiteTexture, ModelSystem.toonTexture, ModelSystem.greyRampTexture,
                         textures[0].graph, textures[1].graph, overrides[0].graph, overrides[1].graph})
    DeleteGraphHandle(g, 0);
  ModelSystem.whiteTexture = ModelSystem.toonTexture = ModelSystem.greyRampTexture = -1;
}

TEST_F(ModelTextures, WithoutTheModelTypesTheRestoreLoadsNothing) {
  HANDLE_VALUE grey = BlankGraph(256, 8);
  Paint(grey, 0x010203);
  ModelSystem.greyRampTexture = grey;
  TerminateModelSystem();
  EXPECT_EQ(RebuildModelGeneratedTextures(), -1);
  EXPECT_EQ(ReadGraph(grey), Expected(256, 8, [](int, int) { return 0x010203u; }));
  InitModelSystem();
  EXPECT_EQ(ModelSystem.greyRampTexture, -1);  // the start forgets the generated textures
  // Into no graph the restore fails quietly.
  EXPECT_EQ(RebuildModelGeneratedTextures(), 0);
  EXPECT_EQ(MakeGreyRampTexture(-1), -1);
  DeleteGraphHandle(grey, 0);
}
}  // namespace
