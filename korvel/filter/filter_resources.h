// What the graph filters keep between runs: the shader handle of each filter shader file
// (loaded on first use), the pooled work render targets, the in-place verdict of the graphics
// start-up's self-test and the library's switch that keeps every filter on its CPU path.
#pragma once
#include "core/handles.h"

// The filter shader files of the embedded filter-shader archive, one slot each.
enum FILTER_SHADER {
  FILTER_SHADER_MONO,
  FILTER_SHADER_INVERT,
  FILTER_SHADER_PREMULTIPLIED_ALPHA,
  FILTER_SHADER_TWO_COLOR,
  FILTER_SHADER_BRIGHT_CLIP_LESS,
  FILTER_SHADER_BRIGHT_CLIP_FILL_LESS,
  FILTER_SHADER_BRIGHT_CLIP_GREATER,
  FILTER_SHADER_BRIGHT_CLIP_FILL_GREATER,
  FILTER_SHADER_HSB_RGB_TO_HSB,
  FILTER_SHADER_HSB_HSB_TO_RGB,
  FILTER_SHADER_HSB_HUE_LOCK,
  FILTER_SHADER_LEVEL,
  FILTER_SHADER_GRADIENT_MAP,
  FILTER_SHADER_GRADIENT_MAP_REVERSE,
  FILTER_SHADER_DOWN_SCALE_X2,  // X4 and X8 follow
  FILTER_SHADER_DOWN_SCALE_X4,
  FILTER_SHADER_DOWN_SCALE_X8,
  FILTER_SHADER_GAUSS_08,  // 16 and 32 follow
  FILTER_SHADER_GAUSS_16,
  FILTER_SHADER_GAUSS_32,
  FILTER_SHADER_BLEND_NORMAL,  // the blends of types 2-16 follow in order
  FILTER_SHADER_BLEND_LAST = FILTER_SHADER_BLEND_NORMAL + 15,
  FILTER_SHADER_RGBA_MIX_BASE,
  FILTER_SHADER_FILE_COUNT,
};

enum {
  RGBA_MIX_SHADER_COUNT = 256,
  FILTER_WORK_SIZE_COUNT = 16,  // 1, 2, 4 ... 32768 pixels square
  FILTER_WORK_SIZE_MAX = 32768,
};

// Shader handles, -1 while not loaded; each loaded handle writes -1 back into its slot when
// it is deleted.
struct FILTER_SHADER_SLOTS {
  HANDLE_VALUE files[FILTER_SHADER_FILE_COUNT];
  HANDLE_VALUE rgbaMix[RGBA_MIX_SHADER_COUNT];  // the pack's entries
  HANDLE_VALUE rgbaMixNamed[16];                // the named RGBA-mix files
  HANDLE_VALUE levelGammaGraph;  // the Level filter's gamma table graph
};

// Square drawable graphs with alpha by power-of-two size and slot; -1 (or a deleted handle's
// -1) where none exists yet.
struct FILTER_WORK_TARGET_POOL {
  HANDLE_VALUE graphs[FILTER_WORK_SIZE_COUNT][2];
};

struct FILTER_STATE {
  FILTER_SHADER_SLOTS shaders;
  FILTER_WORK_TARGET_POOL pool;
  int inPlace;  // passes may render straight into the graph they read
  int cpuOnly;  // every filter runs its CPU pass, even on a device with shaders
};

extern FILTER_STATE FilterState;

// At every graphics start: every shader slot (the Level gamma graph too) back to -1, the
// in-place flag cleared.
void ResetFilterResources();
void SetFilterInPlace(int flag);
int IsFilterInPlace();
// 1 when passes take their shader path: Direct3D draws, its shaders are usable and the CPU
// path is not forced.
int FilterShadersUsable();
// The handle of a filter shader, loaded from the archive on first use; -1 after logging the
// failure with the file's name.
HANDLE_VALUE GetFilterShader(int shader);
const char* GetFilterShaderFileName(int shader);
// Index k of the smallest work size 2^k that holds the given length; -1 above 32768.
int FilterWorkSizeIndex(int length);
// The pool's graph of size 2^k and the slot, created when missing; -1 after logging.
HANDLE_VALUE GetFilterWorkTarget(int sizeIndex, int slot);
// 1 when the graph is one of the pool's work targets (a pass may draw into it freely).
int IsFilterWorkTarget(HANDLE_VALUE graph);
