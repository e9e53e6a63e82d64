#include "model/model_textures.h"

#include <cmath>

#include "core/maths.h"
#include "core/strings.h"
#include "graphics/device/device.h"
#include "graphics/graphs/graph_handles.h"
#include "graphics/graphs/graph_load.h"
#include "image/image_load.h"
#include "image/raster_ops.h"
#include "model/model_system.h"

// TGA type 10 (run-length true colour), 8 x 8, 32 bits, 8 alpha bits, rows from the bottom:
// each row one run of eight opaque white pixels.
#define WHITE_ROW 0x87, 0xFF, 0xFF, 0xFF, 0xFF
// TGA type 10, 256 x 8, 24 bits: each row four runs of 64 greys, 0x00, 0x55, 0xAA, 0xFF.
#define TOON_ROW 0xBF, 0x00, 0x00, 0x00, 0xBF, 0x55, 0x55, 0x55, 0xBF, 0xAA, 0xAA, 0xAA, 0xBF, 0xFF, 0xFF, 0xFF
// The TGA 2.0 footer without extension or developer areas.
#define TGA_FOOTER \
  0, 0, 0, 0, 0, 0, 0, 0, 'T', 'R', 'U', 'E', 'V', 'I', 'S', 'I', 'O', 'N', '-', 'X', 'F', 'I', 'L', 'E', '.', 0

const uint8_t ModelWhiteTextureFile[MODEL_WHITE_TEXTURE_BYTES] = {
    0, 0, 10, 0, 0, 0, 0, 0, 0, 0, 0, 0, 8, 0, 8, 0, 32, 0x08,
    WHITE_ROW, WHITE_ROW, WHITE_ROW, WHITE_ROW, WHITE_ROW, WHITE_ROW, WHITE_ROW, WHITE_ROW,
    TGA_FOOTER};
const uint8_t ModelToonTextureFile[MODEL_TOON_TEXTURE_BYTES] = {
    0, 0, 10, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 8, 0, 24, 0x00,
    TOON_ROW, TOON_ROW, TOON_ROW, TOON_ROW, TOON_ROW, TOON_ROW, TOON_ROW, TOON_ROW,
    TGA_FOOTER};

namespace {
// The load settings of every texture here: the current ones, with the transparent colour
// kept off the images.
GRAPH_LOAD_PARAM TextureLoadSettings() {
  GRAPH_LOAD_PARAM settings;
  CaptureGraphLoadParam(&settings);
  settings.settings.noAlphaTransfer = 1;
  return settings;
}

// Re-creates a texture's graph from prepared images. The images keep the orientation they were
// prepared in (not mirrored).
void LoadTextureImages(const GRAPH_LOAD_PARAM* settings, HANDLE_VALUE graph, const RASTER_IMAGE* color,
                       const RASTER_IMAGE* alpha) {
  LoadGraphFromBaseImages(settings, 1, graph, color, alpha, 0, 0, 0);
}

// Replaces the image by a copy of width x height in its format, scaled bilinearly. -> 0 / -1
// (the image is then unchanged).
int ResizeImage(RASTER_IMAGE* image, int width, int height) {
  if (image->width == width && image->height == height) return 0;
  RASTER_IMAGE scaled = {};
  if (AllocImageWithFormat(width, height, &image->format, &scaled) != 0 ||
      ScaleImageRect(0, 0, image->width, image->height, image, 0, 0, width, height, &scaled, 1) != 0) {
    DisposeImage(&scaled);
    return -1;
  }
  DisposeImage(image);
  *image = scaled;
  return 0;
}

// The power-of-two side of a texture: the smallest power of two not below the side, at most
// half the device's largest side when the side has to grow.
int GrownSide(int side, int deviceMax) {
  int target = PowerOfTwoAtLeast(side);
  if (target != side && deviceMax > 0 && target > deviceMax / 2) target = deviceMax / 2;
  return target;
}

int GrowToPowersOfTwo(RASTER_IMAGE* image, int turn) {
  int width = GrownSide(image->width, DeviceCaps.maxTextureWidth);
  int height = GrownSide(image->height, DeviceCaps.maxTextureHeight);
  // Growth is needed when either side changes; then both take their targets.
  if ((width != image->width || height != image->height) && ResizeImage(image, width, height) != 0) return -1;
  if (turn) RotateImage180(image);
  return 0;
}

// The unit normal (-s a, -s b, s s) of a height-map slope; a vector without a direction (zero
// length, or beyond the float range) stands for the flat surface, (0, 0, 1).
VEC3F SlopeNormal(float s, float a, float b) {
  VEC3F n = NormalizeVec3ByValue(-s * a, -s * b, s * s);
  if (!std::isfinite(n.x) || !std::isfinite(n.y) || !std::isfinite(n.z)) n = {0.0f, 0.0f, 1.0f};
  return n;
}

unsigned NormalChannel(float component) { return (unsigned)TruncFloatToInt((component + 1.0f) * 127.5f); }

// The height map's red channel as a normal map; the map is replaced. -> 0 / -1.
int MakeNormalMap(RASTER_IMAGE* map, float scale) {
  float s = scale >= 0.000001f ? scale : 0.000001f;  // also for a scale that is not a number
  RASTER_IMAGE normals = {};
  if (AllocXRGB8Image(map->width, map->height, &normals) != 0) return -1;
  auto red = [map](int x, int y) {
    unsigned r = 0, g, b, a;
    ReadImagePixel(map, x, y, &r, &g, &b, &a);
    return (int)r;
  };
  for (int y = 0; y < map->height; y++)
    for (int x = 0; x < map->width; x++) {
      int h = red(x, y), right = red(x + 1 < map->width ? x + 1 : 0, y), down = red(x, y + 1 < map->height ? y + 1 : 0);
      VEC3F n = SlopeNormal(s, (float)(right - h) / 255.0f, (float)(down - h) / 255.0f);
      WriteImagePixel(&normals, x, y, NormalChannel(n.x), NormalChannel(n.y), NormalChannel(n.z), 0);
    }
  DisposeImage(map);
  *map = normals;
  return 0;
}

// A decoded image file, made plain so that its pixels can be read and scaled. -> 0 / -1.
int DecodeImageFile(const void* file, int size, RASTER_IMAGE* out) {
  if (LoadImageSimple(nullptr, file, size, 1, out, 0) < 0) return -1;
  if (MakeImagePlain(out) != 0) {
    DisposeImage(out);
    return -1;
  }
  return 0;
}

int Fail(RASTER_IMAGE* color, RASTER_IMAGE* alpha) {
  DisposeImage(color);
  DisposeImage(alpha);
  return -1;
}

// Prepares a texture's images and loads them into its graph; a texture that cannot be
// prepared keeps its graph as it is.
void RebuildTexture(const GRAPH_LOAD_PARAM* settings, HANDLE_VALUE graph, const void* colorFile, int colorSize,
                    const void* alphaFile, int alphaSize, int heightMap, float bumpScale) {
  if (!IsGraphHandleValid(graph)) return;  // nothing to fill: its files are not decoded for nothing
  if (colorFile == nullptr && alphaFile == nullptr) return;  // nothing to take a size from
  RASTER_IMAGE color = {}, alpha = {};
  if (PrepareModelTextureImages(&color, &alpha, colorFile, colorSize, alphaFile, alphaSize, heightMap, bumpScale, 0) !=
      0)
    return;
  LoadTextureImages(settings, graph, &color, alphaFile != nullptr ? &alpha : nullptr);
  DisposeImage(&color);
  DisposeImage(&alpha);
}
}  // namespace

int PrepareModelTextureImages(RASTER_IMAGE* color, RASTER_IMAGE* alpha, const void* colorFile, int colorSize,
                              const void* alphaFile, int alphaSize, int heightMap, float bumpScale, int turn) {
  *color = {};
  *alpha = {};
  if (colorFile == nullptr && alphaFile == nullptr) return -1;
  if (colorFile != nullptr && DecodeImageFile(colorFile, colorSize, color) != 0) return -1;
  if (alphaFile != nullptr && DecodeImageFile(alphaFile, alphaSize, alpha) != 0) return Fail(color, alpha);
  if (colorFile == nullptr) {
    if (AllocXRGB8Image(alpha->width, alpha->height, color) != 0) return Fail(color, alpha);
    FillBytes(color->pixels, 0xFF, (size_t)color->pitch * color->height);
  }
  if (heightMap && MakeNormalMap(color, bumpScale) != 0) return Fail(color, alpha);
  if (colorFile != nullptr && GrowToPowersOfTwo(color, turn) != 0) return Fail(color, alpha);
  if (alphaFile != nullptr && GrowToPowersOfTwo(alpha, turn) != 0) return Fail(color, alpha);
  // The two images take one size, the larger one's. Without a colour file the white image too,
  // which was made at the alpha image's size before that grew.
  if (alphaFile != nullptr) {
    int result = color->width > alpha->width || color->height > alpha->height
                     ? ResizeImage(alpha, color->width, color->height)
                     : ResizeImage(color, alpha->width, alpha->height);
    if (result != 0) return Fail(color, alpha);
  }
  return 0;
}

HANDLE_VALUE MakeGreyRampTexture(HANDLE_VALUE graph) {
  RASTER_IMAGE ramp = {};
  if (AllocXRGB8Image(256, 8, &ramp) != 0) return -1;
  for (int y = 0; y < 8; y++) {
    uint32_t* row = (uint32_t*)((uint8_t*)ramp.pixels + (size_t)y * ramp.pitch);
    for (uint32_t x = 0; x < 256; x++) row[x] = x | x << 8 | x << 16;
  }
  GRAPH_LOAD_PARAM settings = TextureLoadSettings();
  LoadTextureImages(&settings, graph, &ramp, nullptr);
  DisposeImage(&ramp);
  return graph;
}

int RebuildModelGeneratedTextures() {
  if (!IsHandleTypeReady(HANDLE_TYPE_MODEL_BASE)) return -1;
  GRAPH_LOAD_PARAM settings = TextureLoadSettings();
  // Only the shared textures that exist are refilled: until something makes them their handles
  // are -1, and decoding their embedded files would fill no graph.
  if (IsGraphHandleValid(ModelSystem.whiteTexture))
    LoadGraphFromImageBytes(&settings, 1, ModelSystem.whiteTexture, ModelWhiteTextureFile, MODEL_WHITE_TEXTURE_BYTES,
                            nullptr, 0, 0, 0, 0);
  if (IsGraphHandleValid(ModelSystem.toonTexture))
    LoadGraphFromImageBytes(&settings, 1, ModelSystem.toonTexture, ModelToonTextureFile, MODEL_TOON_TEXTURE_BYTES,
                            nullptr, 0, 0, 0, 0);
  if (IsGraphHandleValid(ModelSystem.greyRampTexture)) MakeGreyRampTexture(ModelSystem.greyRampTexture);
  int cursor = -1;
  while (MODEL_BASE_RECORD* base = (MODEL_BASE_RECORD*)NextHandleRecord(HANDLE_TYPE_MODEL_BASE, &cursor))
    for (int i = 0; i < base->textureCount && base->textures != nullptr; i++) {
      const MODEL_TEXTURE& t = base->textures[i];
      RebuildTexture(&settings, t.graph, t.colorFile, t.colorSize, t.alphaFile, t.alphaSize, t.heightMap, t.bumpScale);
    }
  cursor = -1;
  if (IsHandleTypeReady(HANDLE_TYPE_MODEL))
    while (MODEL_RECORD* model = (MODEL_RECORD*)NextHandleRecord(HANDLE_TYPE_MODEL, &cursor)) {
      if (model->base == nullptr || model->textureOverrides == nullptr) continue;
      for (int i = 0; i < model->base->textureCount; i++) {
        const MODEL_TEXTURE_OVERRIDE& o = model->textureOverrides[i];
        if (o.inUse)
          RebuildTexture(&settings, o.graph, o.colorFile, o.colorSize, o.alphaFile, o.alphaSize, o.heightMap,
                         o.bumpScale);
      }
    }
  return 0;
}
