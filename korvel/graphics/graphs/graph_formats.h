// The 25 standard texture formats of image sets: the classification of a texture descriptor
// and the colour format of each standard format.
#pragma once
#include "graphics/graphs/graph_records.h"
#include "image/color_format.h"

enum { STANDARD_TEXTURE_FORMAT_COUNT = 25 };

int ClassifyTextureDesc(const TEXTURE_DESC* desc);
const COLOR_FORMAT* GetTextureColorFormat(int index);
const COLOR_FORMAT* PickTextureColorFormat(int alpha, int alphaTest, int bits32, int drawable);
