// Wine's XAudio2 faults when a mastering voice is made on a system without an output
// device, so set-up asks the multimedia device API for a default render endpoint first.
#include "sound/sound_platform.h"
#include <mmdeviceapi.h>

#include "sound/sound_system.h"

namespace {
const GUID kClassDeviceEnumerator = {0xbcde0395, 0xe52f, 0x467c, {0x8e, 0x3d, 0xc4, 0x57, 0x92, 0x91, 0x69, 0x2e}};
const GUID kInterfaceDeviceEnumerator = {0xa95664d2, 0x9614, 0x4f35, {0xa7, 0x46, 0xde, 0x8d, 0xb6, 0x36, 0x17, 0xe6}};
}  // namespace

int HasAudioRenderEndpoint() {
  void* object = nullptr;
  // A system without the device API (before Vista) leaves the decision to XAudio2 itself.
  if (FAILED(CreateSoundComObject(kClassDeviceEnumerator, CLSCTX_INPROC_SERVER, kInterfaceDeviceEnumerator, &object)) ||
      object == nullptr)
    return 1;
  IMMDeviceEnumerator* enumerator = static_cast<IMMDeviceEnumerator*>(object);
  IMMDevice* device = nullptr;
  HRESULT hr = enumerator->GetDefaultAudioEndpoint(eRender, eConsole, &device);
  int found = SUCCEEDED(hr) && device != nullptr ? 1 : 0;
  if (device != nullptr) device->Release();
  enumerator->Release();
  return found;
}
