// Music handles (type 5): MIDI played through MCI (MIDI mode 0) or a DirectMusic segment
// (MIDI mode 1); the per-frame poll of DirectMusic's play state, the restart of a looping
// MCI playback on its end notification, the background music stopped at library end, and
// the end of a sound capture. Their creators fill the records and the system's MIDI state.
#pragma once
#include "sound/sound_platform.h"

#include <cstdint>

#include "core/handles.h"

struct IDirectMusicSegment8;

enum { MUSIC_INITIAL_VOLUME = 255, BACKGROUND_MUSIC_SOUND = 1 };

struct MUSIC_RECORD {
  HANDLE_HEAD head;
  int32_t playing;
  int32_t playStarted;  // 1 once DirectMusic has reported the segment playing
  int32_t volume;
  uint8_t* midiData;  // tracked block
  int32_t midiDataSize;
  IDirectMusicSegment8* segment;
};

void InitMusicRecord(HANDLE_HEAD* record);
int ReleaseMusicRecord(HANDLE_HEAD* record);
int PollMusicPlayState();
int HandleMidiPlayEnd();
int StopMusicHandle(HANDLE_VALUE handle);
int IsMusicHandlePlaying(HANDLE_VALUE handle);  // 1, 0, or -1
int StopBackgroundMusic();
