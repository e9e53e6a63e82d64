// The RGBA mix blend (blend type 1): each output channel a plain copy of one channel of the
// source pixel or of the blend pixel. On the shader path the selection picks one of three
// kinds of shader: a pack entry for source channels only, a named file for the common mixed
// selections, or the general shader that reads the selectors from its constants.
#pragma once
#include "filter/filter_record.h"

enum RGBA_MIX_KIND { RGBA_MIX_PACK, RGBA_MIX_NAMED, RGBA_MIX_GENERAL };

enum { RGBA_MIX_NAMED_COUNT = 16 };

// The shader a selection draws with.
struct RGBA_MIX_CHOICE {
  int kind;
  int index;         // pack index 0-255, or named file 0-15; -1 for the general shader
  int swap;          // the source and the blend graph exchange places for the draw
  int selectors[4];  // after the remapping: what the shader's constants carry
  char name[32];     // file name of a named or the general shader
};

// The choice for selectors (red, green, blue, alpha; 0-3 source R, G, B, A, 4-7 blend R, G, B,
// A): 0, or -1 for a selector outside 0-7.
int ChooseRgbaMixShader(const int selectors[4], RGBA_MIX_CHOICE* choice);
// -1 for a selector outside 0-7 (nothing drawn), a shader that cannot be made, or CPU images
// that cannot be read.
int RunRgbaMixBlendFilter(FILTER_PASS_RECORD* record, int red, int green, int blue, int alpha);
