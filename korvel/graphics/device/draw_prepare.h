// Draw preparation: brings the device in line with the draw settings for one kind of draw,
// with the blending set-up programmed into the fixed-function texture stages. It is the state
// cache's deferred half (ApplyBlendStageStates sends the blend group and the stages), so it
// compares with and writes the cache's blend and stage fields itself.
#pragma once
#include <d3d9.h>

enum DRAW_FLAGS {
  DRAW_TRANSPARENT = 0x1,
  DRAW_PIXEL_EXACT = 0x2,
  DRAW_GOURAUD = 0x8,
  DRAW_MODULATE_COLOR = 0x20,
  DRAW_MODULATE_ALPHA = 0x40,
  DRAW_FOG = 0x80,
  DRAW_KEEP_BLENDING = 0x100,
  DRAW_LIGHTING = 0x200,
  DRAW_SPECULAR = 0x400,
  DRAW_3D = 0x800,
  DRAW_USER_ADDRESS = 0x1000,
  DRAW_KEEP_SHADERS = 0x2000,
  DRAW_CULLING = 0x4000,
  DRAW_TEXTURE_ALPHA = 0x8000,
  DRAW_TEXTURE_ALPHA_TEST = 0x10000,
  DRAW_EXTRA_SWITCH = 0x20000,
};

struct BLEND_ROW {
  int destination, source, colorKind, operation;  // -1: leave the factor alone
};
extern const BLEND_ROW BlendTable[17];

struct STAGE_ENTRY {
  int texCoordIndex;  // -1 leave
  int resultTemp;     // 1 D3DTA_TEMP, 0 D3DTA_CURRENT, -1 leave
  short alphaArg1, alphaArg2, alphaOp, colorArg1, colorArg2, colorOp;
};

struct STAGE_SETUP {
  int count;
  STAGE_ENTRY stages[7];
};

// A complete set-up supplied by a caller (the graph filters).
struct CALLER_STAGE_ENTRY {
  UINT_PTR texture;  // a texture pointer, or a graph handle with the lookup flag
  STAGE_ENTRY stage;
};
struct CALLER_STAGE_SETUP {
  int alphaTestEnable, alphaRef, alphaFunc, alphaBlendEnable;
  DWORD textureFactor;
  int sourceBlend, destBlend, blendOp;
  int stageCount;
  CALLER_STAGE_ENTRY stages[8];
};

int StageSetupIndex(int kind, int graphVariant, int colorModulation, int alphaModulation, int alphaSource);
const STAGE_SETUP* GetStageSetup(int index);

int PrepareDrawStates(IDirect3DBaseTexture9* texture, int flags);
int ApplyBlendStageStates(int lookup, const CALLER_STAGE_SETUP* record, int value);
int SetStageSetupOverride(const CALLER_STAGE_SETUP* record, int value);
int ApplyStageSetupRecord(const CALLER_STAGE_SETUP* record, int value, int lookup);
