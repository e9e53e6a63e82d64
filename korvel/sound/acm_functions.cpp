// The Audio Compression Manager entry points of msacm32.dll, loaded by the library start-up
// and freed at its end.
#include "sound/sound_convert.h"
#include "sound/sound_system.h"

ACM_FUNCTIONS AcmFunctions;

namespace {
struct ACM_ENTRY {
  const char* name;
  FARPROC ACM_FUNCTIONS::*slot;
};
const ACM_ENTRY kEntries[] = {
    {"acmFormatSuggest", &ACM_FUNCTIONS::acmFormatSuggest},
    {"acmStreamOpen", &ACM_FUNCTIONS::acmStreamOpen},
    {"acmStreamClose", &ACM_FUNCTIONS::acmStreamClose},
    {"acmMetrics", &ACM_FUNCTIONS::acmMetrics},
    {"acmStreamPrepareHeader", &ACM_FUNCTIONS::acmStreamPrepareHeader},
    {"acmStreamConvert", &ACM_FUNCTIONS::acmStreamConvert},
    {"acmStreamUnprepareHeader", &ACM_FUNCTIONS::acmStreamUnprepareHeader},
    {"acmStreamSize", &ACM_FUNCTIONS::acmStreamSize},
};

// Looks up every entry point still missing; -1 at the first one the DLL does not have (those
// found stay stored).
int FindEntryPoints() {
  for (const ACM_ENTRY& entry : kEntries) {
    FARPROC& slot = AcmFunctions.*entry.slot;
    if (slot == nullptr) slot = SoundModuleCalls.getProcAddress(AcmFunctions.module, entry.name);
    if (slot == nullptr) return -1;
  }
  return 0;
}
}  // namespace

int LoadAcmFunctions() {
  if (AcmFunctions.loaded) return -1;
  // After an earlier call stopped at a missing entry point the DLL is still held; the flag is
  // set only once every entry point is there.
  if (AcmFunctions.module == nullptr) {
    AcmFunctions.module = SoundModuleCalls.loadLibrary("msacm32.dll");
    if (AcmFunctions.module == nullptr) return -1;
  }
  if (FindEntryPoints() < 0) return -1;
  AcmFunctions.loaded = 1;
  return 0;
}

int UnloadAcmFunctions() {
  int result = AcmFunctions.loaded ? 0 : -1;
  // A DLL held after a partial load goes too, though the functions never counted as loaded.
  if (AcmFunctions.module != nullptr) SoundModuleCalls.freeLibrary(AcmFunctions.module);
  AcmFunctions = ACM_FUNCTIONS();
  return result;
}
