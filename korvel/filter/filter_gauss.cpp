#include "filter/filter_gauss.h"

#include <cstdint>
#include <cstring>

#include "core/strings.h"
#include "filter/filter_gauss_cpu.h"
#include "filter/filter_images.h"
#include "filter/filter_quad.h"
#include "filter/filter_resources.h"
#include "filter/filter_targets.h"
#include "graphics/device/d3d_calls.h"
#include "graphics/device/draw_prepare.h"
#include "graphics/device/present.h"
#include "graphics/device/state_cache.h"
#include "graphics/draw/draw2d_hw.h"
#include "graphics/graphs/graph_handles.h"
#include "graphics/graphs/texture_transfer.h"

GAUSS_WEIGHT_CACHE GaussWeightCache;

namespace {
const float kIdentityStrength = 1e-7f;

void UpdateWeights(float p, int width) {
  GAUSS_WEIGHT_CACHE& c = GaussWeightCache;
  float diff = c.strength - p;
  if (diff <= 0.0002f && diff >= -0.0002f && c.width == width) return;
  c.strength = p;
  c.width = width;
  c.computations++;
  int n = width / 2;
  float sum = 0.0f;
  for (int j = 0; j < n; j++) {
    float e = (float)(j * j) * -0.5f / p;
    c.weights[j] = ExpFloat(e);
    sum = j == 0 ? sum + c.weights[j] : sum + 2.0f * c.weights[j];
  }
  for (int j = 0; j < n; j++) c.weights[j] = c.weights[j] / sum;
}

// Binds the pass destination's first texture (its multisampled surface when it has one) as
// render target 0 over its whole texture; the texture, or null when the graph has none.
GRAPH_TEXTURE* BindDestination(HANDLE_VALUE graph) {
  GRAPH_RECORD* g = GetGraphRecord(graph, 0);
  if (g == nullptr || g->imageSet == nullptr || !g->imageSet->desc.heldAsTextures || g->imageSet->textureCount < 1)
    return nullptr;
  GRAPH_TEXTURE* t = &g->imageSet->textures[0];
  SetDeviceRenderTarget(IsGraphMultiSampled(graph) ? t->multiSampleSurface : t->surface, 0);
  SetDeviceViewport(0, 0, t->width, t->height, 0.0f, 1.0f);
  return t;
}

// Four corners (x1, y1)-(x2, y2) of a strip textured with (u1, v1)-(u2, v2), drawn from the
// graph's first texture into the bound target under the filter draw state (a plain copy).
void DrawCopyStrip(HANDLE_VALUE textured, float x1, float y1, float x2, float y2, float u1, float v1, float u2,
                   float v2) {
  VERTEX_2D_TEX v[4] = {
      {x1, y1, 0.0f, 1.0f, 0xFFFFFFFF, u1, v1},
      {x2, y1, 0.0f, 1.0f, 0xFFFFFFFF, u2, v1},
      {x1, y2, 0.0f, 1.0f, 0xFFFFFFFF, u1, v2},
      {x2, y2, 0.0f, 1.0f, 0xFFFFFFFF, u2, v2},
  };
  DrawVertices2DDirect(0, 0, GetGraphRecord(textured, 0), v, 4, D3DPT_TRIANGLESTRIP, DRAW_TRANSPARENT, 0, 0);
}

void EndMultiSampled(HANDLE_VALUE graph, GRAPH_TEXTURE* target) {
  if (!IsGraphMultiSampled(graph)) return;
  EndDeviceScene();
  ResolveMultiSampleTexture(target);
}

// The shader path's identity: the rectangle this pass reads drawn unchanged where the pass
// would write it.
int CopyPassRectangle(FILTER_PASS_RECORD* r) {
  if (!IsGraphHandleValid(r->passDestination)) return -1;
  GRAPH_TEXTURE* target = BindDestination(r->passDestination);
  if (target == nullptr) return -1;
  int w = r->x2 - r->x1, h = r->y2 - r->y1;
  int sx = r->passIndex == 0 ? r->x1 : r->destX, sy = r->passIndex == 0 ? r->y1 : r->destY;
  int tw = 1, th = 1;
  QueryGraphTextureSize(r->passSource, &tw, &th);
  DrawCopyStrip(r->passSource, r->destX - 0.5f, r->destY - 0.5f, r->destX + w - 0.5f, r->destY + h - 0.5f,
                (float)sx / tw, (float)sy / th, (float)(sx + w) / tw, (float)(sy + h) / th);
  EndMultiSampled(r->passDestination, target);
  return 0;
}

// The taps beyond the rectangle must read what the CPU path reads there: the rectangle's edge
// pixels. Before the horizontal pass, the rectangle's rows of the running source are widened
// to the texture's left and right edges with copies of its first and last columns (beyond the
// texture the sampler's clamping repeats those); the source graph itself is never drawn into,
// its rows are copied into a work target of the pool first. The graph to read from, or -1.
HANDLE_VALUE WidenSourceRows(FILTER_PASS_RECORD* r) {
  HANDLE_VALUE source = r->passSource, widened = source;
  int tw = 1, th = 1;
  QueryGraphTextureSize(source, &tw, &th);
  float top = r->y1 - 0.5f, bottom = r->y2 - 0.5f, v1 = (float)r->y1 / th, v2 = (float)r->y2 / th;
  if (!IsFilterWorkTarget(source)) {
    widened = GetFilterWorkTargetCovering(r->x2 > r->y2 ? r->x2 : r->y2, 1);
    if (widened < 0 || BindDestination(widened) == nullptr) return -1;
    DrawCopyStrip(source, r->x1 - 0.5f, top, r->x2 - 0.5f, bottom, (float)r->x1 / tw, v1, (float)r->x2 / tw, v2);
  }
  GRAPH_TEXTURE* target = BindDestination(widened);
  if (target == nullptr) return -1;
  float first = (r->x1 + 0.5f) / tw, last = (r->x2 - 0.5f) / tw;
  if (r->x1 > 0) DrawCopyStrip(source, -0.5f, top, r->x1 - 0.5f, bottom, first, v1, first, v2);
  if (r->x2 < target->width) DrawCopyStrip(source, r->x2 - 0.5f, top, target->width - 0.5f, bottom, last, v1, last, v2);
  return widened;
}

// After the horizontal pass: the result's columns above its first row and below its last row,
// up to the texture's edges, filled with copies of those rows, which the vertical pass's taps
// beyond the rectangle then read.
void ExtendResultColumns(FILTER_PASS_RECORD* r) {
  GRAPH_TEXTURE* target = BindDestination(r->passDestination);
  if (target == nullptr) return;
  int w = r->x2 - r->x1, h = r->y2 - r->y1, ox = r->destX, oy = r->destY;
  float tw = (float)target->width, th = (float)target->height;
  float left = ox - 0.5f, right = ox + w - 0.5f, u1 = ox / tw, u2 = (ox + w) / tw;
  float first = (oy + 0.5f) / th, last = (oy + h - 0.5f) / th;
  if (oy > 0) DrawCopyStrip(r->passDestination, left, -0.5f, right, oy - 0.5f, u1, first, u2, first);
  if (oy + h < target->height)
    DrawCopyStrip(r->passDestination, left, oy + h - 0.5f, right, target->height - 0.5f, u1, last, u2, last);
  EndMultiSampled(r->passDestination, target);
}

// The shader pass of one direction: constants from the texture size of the graph it reads.
int RunShaderPass(FILTER_PASS_RECORD* record, int width) {
  int tw = 1, th = 1;
  QueryGraphTextureSize(record->passSource, &tw, &th);
  float constants[21 * 4] = {(float)tw, (float)th};
  memcpy(constants + 4, GaussWeightCache.weights, sizeof(GaussWeightCache.weights));
  for (int j = 0; j < 16; j++) {
    float offset = j == 0 ? 0.0f : 2.0f * j - 0.5f;
    float* c = constants + (5 + j) * 4;
    if (record->passIndex == 0) c[0] = offset / (float)tw;
    else c[1] = offset / (float)th;
  }
  int shader = FILTER_SHADER_GAUSS_08 + (width == 8 ? 0 : width == 16 ? 1 : 2);
  return RunFilterShaderPass(record, shader, constants, 21, 0, 1, -1);
}
}  // namespace

int GaussKernelWidth(int pixelWidth) { return pixelWidth <= 8 ? 8 : pixelWidth <= 16 ? 16 : 32; }

int RunGaussFilter(FILTER_PASS_RECORD* record, int pixelWidth, float strength) {
  int width = GaussKernelWidth(pixelWidth), n = width / 2;
  bool identity = strength < kIdentityStrength;
  if (!identity) UpdateWeights(strength, width);
  if (FilterShadersUsable()) {
    if (!IsGraphHandleValid(record->passSource)) return -1;
    if (identity) return CopyPassRectangle(record);
    if (record->passIndex != 0) return RunShaderPass(record, width);
    HANDLE_VALUE source = record->passSource, widened = WidenSourceRows(record);
    if (widened < 0) return -1;
    record->passSource = widened;
    int result = RunShaderPass(record, width);
    record->passSource = source;
    if (result != 0) return -1;
    ExtendResultColumns(record);
    return 0;
  }
  int k[16] = {};
  for (int j = 0; j < n && !identity; j++) k[j] = TruncFloatToInt(GaussWeightCache.weights[j] * 65536.0f);
  if (LoadFilterBaseImages(record, 1, -1, -1) != 0) return -1;
  int w = record->workWidth, h = record->workHeight;
  if (identity) {
    for (int y = 0; y < h; y++)
      memcpy((uint8_t*)record->destImage.pixels + (size_t)y * record->destImage.pitch,
             (const uint8_t*)record->sourceImage.pixels + (size_t)y * record->sourceImage.pitch, (size_t)w * 4);
    return StoreFilterResultImage(record);
  }
  RASTER_IMAGE middle;
  if (AllocGaussIntermediate(w, h, &middle) != 0) {
    // No blur without the intermediate image: nothing is written.
    DisposeImage(&record->sourceImage);
    DisposeImage(&record->destImage);
    return -1;
  }
  BlurGaussRows(&record->sourceImage, &middle, n, k);
  BlurGaussColumns(&middle, &record->destImage, n, k);
  DisposeImage(&middle);
  return StoreFilterResultImage(record);
}
