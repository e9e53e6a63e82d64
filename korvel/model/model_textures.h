// Model textures whose pixels the model part can always make again: the default white texture,
// the four-step toon ramp and the grey ramp that every model shares, and the textures of bases
// and models, rebuilt from the image files they keep. The graphics restore refills them all
// after the device was re-created.
#pragma once
#include <cstdint>

#include "core/handles.h"
#include "image/raster_image.h"

enum {
  MODEL_WHITE_TEXTURE_BYTES = 84,
  MODEL_TOON_TEXTURE_BYTES = 172,
};

// The two embedded images, TGA files with run-length true-colour pixels.
extern const uint8_t ModelWhiteTextureFile[MODEL_WHITE_TEXTURE_BYTES];
extern const uint8_t ModelToonTextureFile[MODEL_TOON_TEXTURE_BYTES];

// Refills the three generated textures and every base's and model's texture in its handle.
// -> 0, -1 when the model-base type is not set up.
int RebuildModelGeneratedTextures();
// The 256 x 8 grey ramp (column x has grey level x) into the graph. -> the handle, -1 when the
// image cannot be made.
HANDLE_VALUE MakeGreyRampTexture(HANDLE_VALUE graph);
// A texture's colour and alpha images from its files: a height map becomes a normal map, each
// image grows to power-of-two sides (at most half the device's largest texture), the turn
// flag turns both by 180 degrees, and the two are brought to one size. Without a colour file
// the colour image is white. -> 0 with both images filled (the alpha image only with an alpha
// file), -1 with nothing left allocated.
int PrepareModelTextureImages(RASTER_IMAGE* color, RASTER_IMAGE* alpha, const void* colorFile, int colorSize,
                              const void* alphaFile, int alphaSize, int heightMap, float bumpScale, int turn);
