// The basic blend modes (blend types 0 and 2-16): the blend graph's pixels combined with the
// source rectangle, weighted by the blend pixel's alpha and the blend ratio, by one pixel
// shader per type or by one CPU loop per type (which defines the result). Both paths read the
// blend graph's own pixels of the source rectangle.
#pragma once
#include "filter/filter_record.h"

enum BLEND_TYPE {
  BLEND_NORMAL = 0,
  BLEND_RGBA_MIX = 1,
  BLEND_MULTIPLE = 2,
  BLEND_DIFFERENCE = 3,
  BLEND_ADD = 4,
  BLEND_SCREEN = 5,
  BLEND_OVERLAY = 6,
  BLEND_DODGE = 7,
  BLEND_BURN = 8,
  BLEND_DARKEN = 9,
  BLEND_LIGHTEN = 10,
  BLEND_SOFT_LIGHT = 11,
  BLEND_HARD_LIGHT = 12,
  BLEND_EXCLUSION = 13,
  BLEND_NORMAL_ALPHA = 14,
  BLEND_ADD_ALPHA = 15,
  BLEND_MULTIPLE_ALPHA_ONLY = 16,
};

int RunBasicBlendFilter(FILTER_PASS_RECORD* record);
