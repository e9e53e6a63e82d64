// What the sound buffer functions run on (for sound_buffer.cpp and sound_buffer_controls.cpp):
// software mode keeps only the buffer's state; else an XAudio2 source voice or a DirectSound
// buffer stands behind deviceBuffer.
#pragma once
#include "sound/sound_platform.h"
#include <dsound.h>

#include "sound/sound_buffer.h"
#include "sound/sound_system.h"

inline bool SoftwareMode() { return SoundSystem.softwareMode != 0; }
inline bool XAudio2() { return !SoftwareMode() && SoundSystem.useDirectSound == 0; }
inline IDirectSoundBuffer* DsBuffer(SOUNDBUFFER* b) { return static_cast<IDirectSoundBuffer*>(b->deviceBuffer); }
inline Korvel::K_IXAudio2SourceVoice* Voice(SOUNDBUFFER* b) {
  return static_cast<Korvel::K_IXAudio2SourceVoice*>(b->deviceBuffer);
}
