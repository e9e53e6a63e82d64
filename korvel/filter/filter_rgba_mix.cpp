#include "filter/filter_rgba_mix.h"

#include <cstdint>
#include <cstdio>

#include "core/handles.h"
#include "core/log.h"
#include "filter/filter_images.h"
#include "filter/filter_quad.h"
#include "filter/filter_resources.h"
#include "graphics/device/device_resources.h"
#include "graphics/device/shader_handles.h"

namespace {
const char kLetters[] = "RGBA";
// The byte of a channel (red, green, blue, alpha) in a blue, green, red, alpha pixel.
const int kByteOfChannel[4] = {2, 1, 0, 3};

bool AllIn(const int* s, int low, int high) {
  for (int i = 0; i < 4; i++)
    if (s[i] < low || s[i] > high) return false;
  return true;
}

void Swap(RGBA_MIX_CHOICE* c, int colourShift, int alphaShift) {
  c->swap = 1;
  for (int i = 0; i < 3; i++) c->selectors[i] += colourShift;
  c->selectors[3] += alphaShift;
}

// A named file: colour letters from the source, alpha letter from the blend graph.
void Named(RGBA_MIX_CHOICE* c, int group) {
  int* s = c->selectors;
  c->kind = RGBA_MIX_NAMED;
  c->index = group * 4 + s[3] - 4;
  snprintf(c->name, sizeof c->name, "RGBAMix_S%cS%cS%cB%c.pso", kLetters[s[0]], kLetters[s[1]], kLetters[s[2]],
           kLetters[s[3] - 4]);
}

// The pack entry or named file's handle, made on first use; -1 after logging.
HANDLE_VALUE Shader(const RGBA_MIX_CHOICE& c) {
  HANDLE_VALUE* slot = c.kind == RGBA_MIX_PACK ? &FilterState.shaders.rgbaMix[c.index]
                                               : &FilterState.shaders.rgbaMixNamed[c.index];
  if (*slot >= 0) return *slot;
  HANDLE_VALUE handle = -1;
  if (c.kind == RGBA_MIX_PACK) {
    const uint8_t* code = BuiltInShaderCode.rgbaMixCode[c.index / 4][c.index % 4];
    int size = BuiltInShaderCode.rgbaMixSizes[c.index / 4][c.index % 4];
    // An entry's size is passed on as a signed 16-bit value: a longer one is refused.
    if (code != nullptr && size > 0 && size <= 32767) handle = CreateShaderHandle(0, code, size, 0, 0, 0);
    if (handle < 0) AddLogLineFormat("RGBAMixS フィルター用シェーダーの作成に失敗しました");
  } else {
    handle = LoadFilterShader(c.name, 0);
    if (handle < 0) AddLogLineFormat("RGBAMixS フィルター用シェーダーの作成に失敗しました %s", c.name);
  }
  if (handle < 0) return -1;
  *slot = handle;
  SetHandleDeleteFlag(handle, slot);
  return handle;
}
}  // namespace

int ChooseRgbaMixShader(const int selectors[4], RGBA_MIX_CHOICE* c) {
  if (!AllIn(selectors, 0, 7)) return -1;
  int* s = c->selectors;
  for (int i = 0; i < 4; i++) s[i] = selectors[i];
  c->swap = 0;
  c->index = -1;
  c->name[0] = 0;
  if (AllIn(s, 4, 7)) Swap(c, -4, -4);
  if (AllIn(s, 0, 3)) {
    c->kind = RGBA_MIX_PACK;
    c->index = s[0] * 64 + s[1] * 16 + s[2] * 4 + s[3];
    return 0;
  }
  if (s[0] == s[1] && s[1] == s[2] && s[0] != 3 && s[0] != 7) {
    if (s[0] >= 4) Swap(c, -4, 4);
    Named(c, 1 + s[0]);
    return 0;
  }
  if (s[0] == 4 && s[1] == 5 && s[2] == 6) Swap(c, -4, 4);
  if (s[0] == 0 && s[1] == 1 && s[2] == 2) {
    Named(c, 0);
    return 0;
  }
  c->kind = RGBA_MIX_GENERAL;
  snprintf(c->name, sizeof c->name, "%s", GetFilterShaderFileName(FILTER_SHADER_RGBA_MIX_BASE));
  return 0;
}

int RunRgbaMixBlendFilter(FILTER_PASS_RECORD* record, int red, int green, int blue, int alpha) {
  const int selectors[4] = {red, green, blue, alpha};
  RGBA_MIX_CHOICE choice;
  if (ChooseRgbaMixShader(selectors, &choice) != 0) return -1;
  if (FilterShadersUsable()) {
    SetDrawFilterMode(0);
    HANDLE_VALUE shader =
        choice.kind == RGBA_MIX_GENERAL ? GetFilterShader(FILTER_SHADER_RGBA_MIX_BASE) : Shader(choice);
    if (shader < 0) return -1;
    float ratio = record->blendRatio, constants[8] = {ratio, ratio, ratio, ratio};
    for (int i = 0; i < 4; i++) constants[4 + i] = (float)choice.selectors[i] + 0.5f;
    // A remapped selection reads the blend graph's channels as the shader's first texture;
    // each graph keeps its own coordinates.
    record->blendOnStage0 = choice.swap;
    int result = DrawFilterShaderQuad(record, shader, constants, 2, 1, -1);
    record->blendOnStage0 = 0;
    return result;
  }
  int from[4], byte[4];  // per output channel: 0 source, 1 blend; the byte read there
  for (int i = 0; i < 4; i++) from[i] = selectors[i] >= 4, byte[i] = kByteOfChannel[selectors[i] & 3];
  return RunFilterCpuPass(record, 1, [&](const uint8_t* s, const uint8_t* b, uint8_t* out) {
    for (int i = 0; i < 4; i++) out[kByteOfChannel[i]] = (from[i] ? b : s)[byte[i]];
  });
}
