// The end of a sound capture: the 46-byte RIFF/WAVE header of 16-bit stereo PCM at 44100 Hz
// written over the room left for it at the start of the capture file, which is then closed.
#include "sound/sound_platform.h"

#include <cstdint>

#include "sound/sound_system.h"
#include "sound/wave_format.h"

namespace {
const uint32_t kBytesPerFrame = 4;
const uint32_t kFormatBytes = 18;
const uint32_t kHeaderBytes = WAVE_HEADER_BYTES + kFormatBytes;
}  // namespace

int EndSoundCapture() {
  SOUND_SYSTEM_STATE& s = SoundSystem;
  if (!s.captureOn) return -1;
  uint8_t header[kHeaderBytes];
  WAVEFORMATEX format = MakePcmFormat(2, 44100, 16);
  WriteWaveFileHeader(header, &format, kFormatBytes, s.capturedFrames * kBytesPerFrame);
  DWORD written = 0;
  SetFilePointer(s.captureFile, 0, nullptr, FILE_BEGIN);
  WriteFile(s.captureFile, header, sizeof(header), &written, nullptr);
  CloseHandle(s.captureFile);
  s.captureFile = nullptr;
  s.captureOn = 0;
  return 0;
}
