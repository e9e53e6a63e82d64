// The end of a sound capture: the 46-byte RIFF/WAVE header of 16-bit stereo PCM at 44100 Hz
// written over the room left for it at the start of the capture file, which is then closed.
#include "sound/sound_platform.h"

#include <cstdint>

#include "core/strings.h"
#include "sound/sound_system.h"

namespace {
const uint32_t kBytesPerFrame = 4;
const int kHeaderBytes = 46;
// RIFF size = the header after the RIFF size field (38 bytes) + the data.
const uint32_t kHeaderAfterRiffSize = kHeaderBytes - 8;
const uint32_t kFormatBytes = 18;
}  // namespace

int EndSoundCapture() {
  SOUND_SYSTEM_STATE& s = SoundSystem;
  if (!s.captureOn) return -1;
  uint8_t header[kHeaderBytes];
  uint32_t dataBytes = s.capturedFrames * kBytesPerFrame;
  WAVEFORMATEX format = MakePcmFormat(2, 44100, 16);
  uint32_t riffBytes = dataBytes + kHeaderAfterRiffSize;
  uint32_t formatBytes = kFormatBytes;
  CopyMemoryBytes(header, "RIFF", 4);
  CopyMemoryBytes(header + 4, &riffBytes, 4);
  CopyMemoryBytes(header + 8, "WAVEfmt ", 8);
  CopyMemoryBytes(header + 16, &formatBytes, 4);
  CopyMemoryBytes(header + 20, &format, kFormatBytes);
  CopyMemoryBytes(header + 38, "data", 4);
  CopyMemoryBytes(header + 42, &dataBytes, 4);
  DWORD written = 0;
  SetFilePointer(s.captureFile, 0, nullptr, FILE_BEGIN);
  WriteFile(s.captureFile, header, sizeof(header), &written, nullptr);
  CloseHandle(s.captureFile);
  s.captureFile = nullptr;
  s.captureOn = 0;
  return 0;
}
