// The light table kept in the draw settings: the material and the lighting flags that the
// draw preparation reads. Light records and their device mapping complete this module.
#pragma once
#include <d3d9.h>

struct LIGHT_TABLE {
  int lightingOff;
  int materialChanged;
  D3DMATERIAL9 material;
  int lightsChanged;
  int resendAll;
  int defaultLight;
};

// Sends the lighting switch and the changed lights before a lit draw.
int UpdateDeviceLights();
