#include "filter/filter_resources.h"

#include "core/log.h"
#include "graphics/device/screen.h"
#include "graphics/device/shader_handles.h"
#include "graphics/device/state_cache.h"
#include "graphics/graphs/graph_create.h"
#include "graphics/graphs/graph_handles.h"
#include "korvel.h"

FILTER_STATE FilterState = [] {
  FILTER_STATE s = {};
  for (auto& size : s.pool.graphs) size[0] = size[1] = -1;
  return s;
}();

namespace {

const char* const kShaderFiles[FILTER_SHADER_FILE_COUNT] = {
    "Mono.pso",          "Invert.pso",           "PremultipliedAlpha.pso", "TwoColor.pso",
    "BrightClipLess.pso", "BrightClipFillLess.pso", "BrightClipGreater.pso", "BrightClipFillGreater.pso",
    "Hsb_RGB_TO_HSB.pso", "Hsb_HSB_TO_RGB.pso",     "Hsb_HSB_HLOCK.pso",      "Level.pso",
    "GradientMap.pso",    "GradientMapRev.pso",     "DownScaleX2.pso",        "DownScaleX4.pso",
    "DownScaleX8.pso",    "Gauss_08Pixel_PS.pso",   "Gauss_16Pixel_PS.pso",   "Gauss_32Pixel_PS.pso",
    "BasBF_Normal.pso",   "BasBF_Multiple.pso",     "BasBF_Difference.pso",   "BasBF_Add.pso",
    "BasBF_Screen.pso",   "BasBF_Overlay.pso",      "BasBF_Dodge.pso",        "BasBF_Burn.pso",
    "BasBF_Darken.pso",   "BasBF_Lighten.pso",      "BasBF_SoftLight.pso",    "BasBF_HardLight.pso",
    "BasBF_Exclusion.pso", "BasBF_Normal_AlphaCh.pso", "BasBF_Add_AlphaCh.pso", "BasBF_Multiple_AOnly.pso",
    "RGBAMix_Base.pso",
};
}  // namespace

void ResetFilterResources() {
  for (HANDLE_VALUE& slot : FilterState.shaders.files) slot = -1;
  for (HANDLE_VALUE& slot : FilterState.shaders.rgbaMix) slot = -1;
  for (HANDLE_VALUE& slot : FilterState.shaders.rgbaMixNamed) slot = -1;
  FilterState.shaders.levelGammaGraph = -1;
  FilterState.inPlace = 0;
}

void SetFilterInPlace(int flag) { FilterState.inPlace = flag != 0; }

int IsFilterInPlace() { return FilterState.inPlace; }

int FilterShadersUsable() {
  return ScreenState.hardwareRendering && StateFlags.programmableShaders && !FilterState.cpuOnly ? 1 : 0;
}

int SetGraphFilterCpuOnly(int flag) {
  FilterState.cpuOnly = flag != 0;
  return 0;
}

const char* GetFilterShaderFileName(int shader) {
  return shader >= 0 && shader < FILTER_SHADER_FILE_COUNT ? kShaderFiles[shader] : "";
}

HANDLE_VALUE GetFilterShader(int shader) {
  if (shader < 0 || shader >= FILTER_SHADER_FILE_COUNT) return -1;
  HANDLE_VALUE& slot = FilterState.shaders.files[shader];
  if (slot >= 0) return slot;
  HANDLE_VALUE handle = LoadFilterShader(kShaderFiles[shader], 0);
  if (handle < 0) {
    AddLogLineFormat("フィルター用シェーダーの作成に失敗しました %s", kShaderFiles[shader]);
    return -1;
  }
  slot = handle;
  SetHandleDeleteFlag(handle, &slot);
  return handle;
}

int FilterWorkSizeIndex(int length) {
  for (int k = 0; k < FILTER_WORK_SIZE_COUNT; k++)
    if ((1 << k) >= length) return k;
  return -1;
}

HANDLE_VALUE GetFilterWorkTarget(int sizeIndex, int slot) {
  if (sizeIndex < 0 || sizeIndex >= FILTER_WORK_SIZE_COUNT || slot < 0 || slot > 1) return -1;
  HANDLE_VALUE& entry = FilterState.pool.graphs[sizeIndex][slot];
  if (IsGraphHandleValid(entry)) return entry;
  int size = 1 << sizeIndex;
  GRAPH_CREATE_PARAM param;
  CaptureGraphCreateParam(&param);
  param.drawable = 1;
  param.drawableAlpha = 1;
  HANDLE_VALUE graph = CreateBlankGraph(&param, size, size, 0, 0, 0);
  if (graph < 0) {
    entry = -1;
    AddLogLineFormat("作業用描画可能テクスチャの作成に失敗しました Size:%dx%d", size, size);
    return -1;
  }
  // A deleted pool graph (graphics shut-down, a screen-mode change) empties its entry, so that
  // its handle value can never name a later graph.
  entry = graph;
  SetHandleDeleteFlag(graph, &entry);
  return graph;
}

int IsFilterWorkTarget(HANDLE_VALUE graph) {
  if (graph < 0) return 0;
  for (const auto& size : FilterState.pool.graphs)
    if (size[0] == graph || size[1] == graph) return 1;
  return 0;
}
