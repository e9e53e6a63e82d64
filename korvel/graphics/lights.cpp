#include "graphics/lights.h"

#include "graphics/draw_settings.h"
#include "graphics/state_cache.h"

int UpdateDeviceLights() {
  LIGHT_TABLE& table = DrawSettings.lights;
  SetDeviceLighting(!table.lightingOff);
  if (!table.lightsChanged && !table.resendAll) return 0;
  table.lightsChanged = 0;
  table.resendAll = 0;
  StateFlags.stateChanged = 1;
  return 0;
}
