// Soft sounds (handle type 4): a block of PCM data, or a player that plays the PCM a producer
// queues into its ring buffer through a looping device buffer, refilled ahead of the play
// cursor by the sound thread (or the message pump on one processor), with silence when
// nothing is queued. Their creators fill the record; this module refills, pauses and
// releases them.
#pragma once
#include "sound/sound_platform.h"

#include <cstdint>

#include "core/handles.h"
#include "core/ring_buffer.h"
#include "sound/sound_buffer.h"

enum { SOFT_SOUND_DATA = 0, SOFT_SOUND_PLAYER = 1 };

struct SOFT_SOUND_RECORD {
  HANDLE_HEAD head;
  int32_t kind;  // SOFT_SOUND_DATA or SOFT_SOUND_PLAYER
  WAVEFORMATEX format;
  HANDLE_LIST_NODE playerNode;  // a player: its node in the sound system's player list
  uint8_t* pcmData;             // data: its PCM block (tracked)
  int32_t queuedFrames;         // player: frames waiting in the ring
  RING_BUFFER ring;             // player: queued PCM
  int32_t paused;               // 1 while a window deactivation holds it
  int32_t resume;               // 1 when it was playing at the pause
  SOUNDBUFFER buffer;           // looping device buffer
  int32_t bufferBytes;
  int32_t writePosition;  // byte offset of the next write
  int32_t endPosition;    // byte offset where queued data ran out (silence follows), -1 none
  int32_t endCursor;      // play cursor last seen before the end position
  int32_t endPassed;      // 1 once the play cursor crossed the end position
  int32_t leadBytes;      // how far writing stays ahead of the play cursor
  int32_t started;        // 1 while the player runs
};

int ReleaseSoftSoundRecord(HANDLE_HEAD* record);
// Deletion filters (0 selects the record): data soft sounds go first, players second.
int KeepSoftSoundPlayers(HANDLE_HEAD* record);
int KeepSoftSoundData(HANDLE_HEAD* record);
int RefillSoftSoundPlayers();
int RefillSoftSoundPlayer(SOFT_SOUND_RECORD* player);
int SetSoftSoundPlayersPaused(int pause);
