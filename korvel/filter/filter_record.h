// The record one filter or blend run carries from the dispatcher through its passes, and the
// converted parameters its pass function receives.
#pragma once
#include "core/handles.h"
#include "image/raster_image.h"

enum FILTER_TYPE {
  FILTER_MONO = 0,
  FILTER_GAUSS = 1,
  FILTER_DOWN_SCALE = 2,
  FILTER_BRIGHT_CLIP = 3,
  FILTER_HSB = 4,
  FILTER_INVERT = 5,
  FILTER_LEVEL = 6,
  FILTER_TWO_COLOR = 7,
  FILTER_GRADIENT_MAP = 8,
  FILTER_PREMULTIPLIED_ALPHA = 9,
  FILTER_TYPE_COUNT = 10,
  BLEND_TYPE_COUNT = 17,
};

// BrightClip compare modes.
enum { BRIGHT_CLIP_LESS = 2, BRIGHT_CLIP_GREATER = 5 };

struct FILTER_PASS_RECORD {
  int blend;  // 0 filter, 1 blend
  int type;
  HANDLE_VALUE passSource;
  HANDLE_VALUE blendGraph;  // -1 for filters
  HANDLE_VALUE passDestination;
  float blendRatio;  // 0-1
  int passIndex;
  int x1, y1, x2, y2;  // source rectangle after clipping, x2 and y2 exclusive
  int blendX, blendY;  // shader path: where the blend graph is read, moved with the source
  // Shader path: 1 samples the blend graph at the blend position with the rectangle's size,
  // 0 stretches the blend graph's first texture piece over the rectangle. The CPU path reads
  // the blend graph at the source rectangle whatever these say.
  int useBlendPosition;
  int blendOnStage0;  // shader path: the blend graph is sampled at stage 0 and the source at 1
  int destX, destY;
  int workWidth, workHeight;  // CPU path: size of the three images
  RASTER_IMAGE sourceImage;
  RASTER_IMAGE blendImage;
  RASTER_IMAGE destImage;
};

// The parameters of one type, converted by the dispatcher (which of them a type uses is its
// pass function's business).
struct FILTER_PARAMS {
  int ints[4];
  float floats[12];
};
