// The HSB filter: brightness, then a hue shift (mode 1: a fixed hue) and a saturation scale,
// by two shader passes through an intermediate hue, saturation and lightness image (one pass
// in mode 1), or by one CPU pass in integer arithmetic (which defines the result).
#pragma once
#include "filter/filter_record.h"

// hue in degrees (mode 0 clamps it to -180..180, other modes to 0..360); saturation and
// brightness are the list values x 100 / 255, brightness limited to list values -255..255.
int RunHsbFilter(FILTER_PASS_RECORD* record, int mode, float hue, float saturation, float brightness);
