#include "filter/filter_level.h"

#include <cstdint>
#include <cstring>

#include "core/handles.h"
#include "core/strings.h"
#include "filter/filter_color.h"
#include "filter/filter_images.h"
#include "filter/filter_quad.h"
#include "filter/filter_resources.h"
#include "graphics/graphs/graph_create.h"
#include "graphics/graphs/graph_handles.h"
#include "graphics/graphs/graph_textures.h"

namespace {
const float kUnbuilt = -1.0e7f;
const float kLuminanceWeights[4] = {0.299f, 0.587f, 0.114f, 0.0f};

// The tables outlive the runs; the gamma graph's handle is a shader slot.
struct LEVEL_TABLES {
  float graphGamma;
  float cpuGamma = kUnbuilt;
  int cpu[256];
  int cpuBuilds, graphBuilds;
} Tables;

float Clamp01(float value) { return value < 0.0f ? 0.0f : value > 1.0f ? 1.0f : value; }

bool GammaDiffers(float a, float b) { return a - b > 0.0001f || b - a > 0.0001f; }

// The gamma graph holding the table of the gamma (every byte of pixel i is entry i); -1 when
// it cannot be made. An image that cannot be allocated leaves the old table in place.
HANDLE_VALUE GammaGraph(float gamma) {
  HANDLE_VALUE& slot = FilterState.shaders.levelGammaGraph;
  if (slot < 0) {
    GRAPH_CREATE_PARAM param;
    CaptureGraphCreateParam(&param);
    param.drawable = 0;
    param.colorBits = 32;
    param.alphaTestFormat = 0;
    HANDLE_VALUE graph = CreateBlankGraph(&param, 256, 1, 0, 0, 0);
    if (graph < 0) return -1;
    slot = graph;
    SetHandleDeleteFlag(graph, &slot);
    Tables.graphGamma = kUnbuilt;
  } else if (!GammaDiffers(Tables.graphGamma, gamma)) {
    return slot;
  }
  RASTER_IMAGE image;
  if (AllocXRGB8Image(256, 1, &image) != 0) return slot;
  for (int i = 0; i < 256; i++) memset((uint8_t*)image.pixels + i * 4, LevelGammaEntry(i, gamma), 4);
  if (TransferBaseImageToGraph(nullptr, nullptr, nullptr, 0, &image, nullptr, 0, 0, slot) == 0) {
    Tables.graphGamma = gamma;
    Tables.graphBuilds++;
  }
  DisposeImage(&image);
  return slot;
}

int Truncated255(float level) { return TruncFloatToInt(level * 255.0f); }

// Where the shader reads its table graph: the first piece's texture, its first row's texel
// centres. Out: u of texel column 0, 1 / texture width, v of the row.
bool TableTexels(HANDLE_VALUE graph, float* u0, float* texel, float* v) {
  GRAPH_RECORD* g = GetGraphRecord(graph, 0);
  if (g == nullptr || g->pieceCount < 1 || g->pieces[0].texture == nullptr) return false;
  const GRAPH_PIECE& p = g->pieces[0];
  *texel = 1.0f / (float)p.texture->width;
  *u0 = (float)p.textureX / (float)p.texture->width;
  *v = ((float)p.textureY + 0.5f) / (float)p.texture->height;
  return true;
}
}  // namespace

int LevelGammaEntry(int i, float gamma) {
  float x = (float)i / 255.0f;
  float v = PowFloat(x, 1.0f / gamma) * 255.0f;
  return v > 255.0f ? 255 : TruncFloatToInt(v);
}

const int* GetLevelCpuTable(float gamma) {
  if (GammaDiffers(Tables.cpuGamma, gamma)) {
    for (int i = 0; i < 256; i++) Tables.cpu[i] = LevelGammaEntry(i, gamma);
    Tables.cpuGamma = gamma;
    Tables.cpuBuilds++;
  }
  return Tables.cpu;
}

int CountLevelTableBuilds(int graph) { return graph ? Tables.graphBuilds : Tables.cpuBuilds; }

int RunLevelFilter(FILTER_PASS_RECORD* record, float minimum, float maximum, float gamma, float outMinimum,
                   float outMaximum) {
  float f = Clamp01(minimum / 255.0f), g = Clamp01(maximum / 255.0f);
  float m = Clamp01(outMinimum / 255.0f), o = Clamp01(outMaximum / 255.0f);
  if (gamma < 0.001f) gamma = 0.001f;
  if (g < f) f = g;
  if (o < m) m = o;
  int in = Truncated255(f), inRange = Truncated255(g) - in;
  int out = Truncated255(m), outRange = Truncated255(o) - out;
  if (FilterShadersUsable()) {
    HANDLE_VALUE table = GammaGraph(gamma);
    float u0 = 0, texel = 0, v = 0;
    if (table < 0 || !TableTexels(table, &u0, &texel, &v)) return -1;
    // An empty input range is the CPU path's step: the edge half a level above the minimum,
    // the scale large enough to turn one level into the whole range.
    float start = (float)in / 255.0f, scale = 65536.0f;
    if (inRange > 0) scale = 255.0f / (float)inRange;
    else start += 0.5f / 255.0f;
    const float constants[8] = {start, scale, (float)out / 255.0f, (float)outRange / 255.0f,
                                u0 + 0.5f * texel, texel, v, 0.0f};
    return RunFilterShaderPass(record, FILTER_SHADER_LEVEL, constants, 2, 0, 1, table);
  }
  const int* table = GetLevelCpuTable(gamma);
  return RunFilterCpuPass(record, 1, [=](const uint8_t* s, const uint8_t*, uint8_t* d) {
    for (int i = 0; i < 3; i++) {
      int c = s[i] - in;
      // The difference is multiplied (a negative one may not be shifted); an empty range is a
      // step at the minimum.
      int k = inRange > 0 ? c * 256 / inRange : c > 0 ? 255 : -1;
      int t = k < 0 ? table[0] : k > 255 ? table[255] : table[k];
      d[i] = (uint8_t)((t * outRange + out * 256) >> 8);
    }
    d[3] = s[3];
  });
}

int RunGradientMapFilter(FILTER_PASS_RECORD* record, HANDLE_VALUE gradient, int reverse) {
  int width = 0, height = 0;
  GRAPH_RECORD* g = GetGraphRecord(gradient, 0);
  if (g == nullptr || GetGraphOrScreenSize(gradient, &width, &height) != 0 || width < 1) return -1;
  if (FilterShadersUsable()) {
    float u0 = 0, texel = 0, v = 0;
    if (!TableTexels(gradient, &u0, &texel, &v)) return -1;
    const float constants[8] = {kLuminanceWeights[0], kLuminanceWeights[1], kLuminanceWeights[2], 0.0f,
                                u0 + 0.5f * texel, texel, v, (float)width / 256.0f};
    int shader = reverse ? FILTER_SHADER_GRADIENT_MAP_REVERSE : FILTER_SHADER_GRADIENT_MAP;
    return RunFilterShaderPass(record, shader, constants, 2, 1, 1, gradient);
  }
  RASTER_IMAGE image;
  if (ReadGraphToBaseImage(gradient, &image, nullptr) != 0) return -1;
  uint32_t table[256];
  for (int k = 0; k < 256; k++)
    memcpy(&table[reverse ? 255 - k : k], (const uint8_t*)image.pixels + (k * width >> 8) * 4, 4);
  DisposeImage(&image);
  return RunFilterCpuPass(record, 1, [&table](const uint8_t* s, const uint8_t*, uint8_t* d) {
    memcpy(d, &table[FilterLuminance(s) >> 12], 4);
  });
}
