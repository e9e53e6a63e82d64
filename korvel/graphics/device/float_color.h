// Four-float colours (the layout of D3DCOLORVALUE), used for materials.
#pragma once

struct FLOAT_COLOR {
  float red, green, blue, alpha;
};

FLOAT_COLOR* MakeFloatColor(FLOAT_COLOR* out, float red, float green, float blue, float alpha);
