// Sound handles (type 3): a sound loaded whole into up to ten device buffers that play in
// turn, or a stream sound that plays through one buffer used as a one-second ring refilled
// from up to three parts.
#pragma once
#include "sound/sound_platform.h"

#include <cstdint>

#include "core/handles.h"
#include "core/maths.h"
#include "core/threads.h"
#include "korvel.h"
#include "sound/sound_buffer.h"
#include "sound/sound_convert.h"
#include "sound/x3daudio_types.h"

enum {
  SOUND_MAX_BUFFERS = 10,
  STREAM_MAX_PARTS = 3,
  STREAM_PART_SLOTS = 4,
  SOUND_KIND_MEMORY = 0,
  SOUND_KIND_STREAM = 1,
  // Stream part kinds (and the stream kinds of the load settings).
  STREAM_PART_WAVE_IMAGE = 0,
  STREAM_PART_FILE_COPY = 2,
  STREAM_PART_OPEN_STREAM = 3,
  // The write position while the first fill is due.
  STREAM_FIRST_FILL = -800,
  // Sounds longer than this many seconds are streamed even when asked to load whole.
  SOUND_MEMORY_SECONDS_LIMIT = 180,
};

struct STREAM_SOUND_PART {
  int8_t repeatCount;  // extra plays after the first; -1 forever
  int32_t kind;
  uint8_t* data;
  int32_t dataSize;
  STREAM_SOURCE memorySource;  // over a MEMORY_STREAM on the data (kinds 0 and 2)
  int32_t loopStart;           // frame a forever-repeating part starts again from
  int32_t playLimit;           // frames to play, -1 all
  SOUND_CONVERT_STATE converter;
};

struct SOUND_RECORD {
  HANDLE_HEAD head;
  HANDLE_LIST_NODE node3D;
  int32_t is3D;
  X3DAUDIO_EMITTER emitter;
  X3DAUDIO_CONE emitterCone;
  float channelAzimuths[8];
  VEC3F position3D, front3D, top3D, velocity3D;
  float coneInnerAngle, coneOuterAngle, coneInnerVolume, coneOuterVolume;
  float audibleRadius;
  int32_t changed3D;
  int32_t paused[SOUND_MAX_BUFFERS];
  int32_t resume[SOUND_MAX_BUFFERS];
  SOUNDBUFFER buffers[SOUND_MAX_BUFFERS];
  WAVEFORMATEX format;
  int32_t kind;
  // Stream state.
  int32_t playType;
  HANDLE_VALUE ownerHandle;  // -1: the stream's own buffer
  int32_t sharerCount;
  HANDLE_VALUE currentUser;  // -1 none
  int32_t deletePending;
  int32_t bufferSize;
  int32_t writePos;
  int32_t refillPos;
  STREAM_SOUND_PART parts[STREAM_PART_SLOTS];
  uint8_t partOwnsStream[STREAM_PART_SLOTS];
  int32_t partCount;
  int32_t currentPart;
  int32_t repeatsDone;
  int32_t writtenFromPart;
  int32_t totalFrames;
  int64_t playedBytes;  // 64 bits: a long stream does not wrap the count
  int32_t lastPlayCursor;
  uint8_t active;
  uint8_t endReached;
  uint8_t switchPending;
  uint8_t loopRestart;
  int64_t playedAtSwitch;
  int32_t endPosition;
  int32_t endCursor;
  int32_t switchPosition;
  HANDLE_LIST_NODE streamNode;
  // In-memory sound.
  int32_t pcmSize;
  uint8_t* pcmData;
  int32_t* pcmReferences;
  int32_t bufferCount;
  int32_t currentBuffer;
  int32_t volume;
  int32_t pan;
  int32_t frequency;
  uint8_t oneShotVolumeSet, oneShotPanSet, oneShotFrequencySet;
  int32_t oneShotVolume, oneShotPan, oneShotFrequency;
};

// The handle check: a live type-3 record, not loading unless the caller is its loader.
SOUND_RECORD* LookupSoundRecord(HANDLE_VALUE handle, int loader);

void InitSoundRecord(HANDLE_HEAD* record);
int ReleaseSoundRecord(HANDLE_HEAD* record);
HANDLE_VALUE NewSoundHandle(int is3D);
int LoadSoundFile(SOUND_LOAD_SETTINGS* settings, HANDLE_VALUE handle, HANDLE_VALUE shared, int loader,
                  const char* path, int count);
int LoadFileToMemory(const char* path, void** data, int* size);
int LoadSoundFromMemory(HANDLE_VALUE handle, SOUND_LOAD_SETTINGS* settings, const void* image, int size, int count,
                        HANDLE_VALUE shared, int loader);
int SetUpSoundHandleBuffers(HANDLE_VALUE source, const WAVEFORMATEX* format, int dataBytes, int kind, int count,
                            HANDLE_VALUE handle, int loader);
int SelectNextSoundBuffer(SOUND_RECORD* record, int restart);
int SetSoundBuffersPaused(int pause);
int SamplesToMilliseconds(int frames, int rate);
// Volume, pan and frequency of the next start (a one-shot value replaces the setting once),
// then the 3D settings of a 3D sound.
void ApplyStartSettings(SOUND_RECORD* record, SOUNDBUFFER* buffer);

// 3D sounds: the emitter and model defaults of a new 3D sound; the emitter's channels once
// the format is known (at most eight); the settings of the sound's position relative to the
// listener, applied when they changed since the last start or when forced.
void Set3DSoundDefaults(SOUND_RECORD* record);
void Set3DSoundChannels(SOUND_RECORD* record, int channels);
int Apply3DSoundParams(HANDLE_VALUE handle, int force);

// Stream sounds.
int AddSreamSound(SOUND_LOAD_SETTINGS* settings, STREAM_SOURCE* source, int repeat, HANDLE_VALUE handle, int kind,
                  int* copied, HANDLE_VALUE shared, int loader);
int AddStreamSoundFromFile(SOUND_LOAD_SETTINGS* settings, const char* path, int repeat, HANDLE_VALUE handle, int kind,
                           HANDLE_VALUE shared, int loader);
int AddStreamSoundFromMemory(SOUND_LOAD_SETTINGS* settings, const void* image, int size, int repeat,
                             HANDLE_VALUE handle, int kind, HANDLE_VALUE shared, int loader);
// Everything a part holds, given back: its converter, memory source and data, and the
// caller's open stream when the stream owns it.
void ReleaseStreamPart(STREAM_SOUND_PART* part, int ownsStream);
int BuildWaveImage(uint8_t** image, int32_t* size, const void* fmt, int fmtSize, const void* data, int dataSize);
int ReadStreamToMemory(STREAM_SOURCE* source, uint8_t** data, int32_t* size);
int PrepareStreamSound(HANDLE_VALUE handle, int loader);
int StartStreamSound(HANDLE_VALUE handle, int playType, int restart);
int StopStreamSound(HANDLE_VALUE handle);
int IsStreamSoundPlaying(HANDLE_VALUE handle);
int GetStreamSoundPlayTime(HANDLE_VALUE handle);
int ClaimStreamBuffer(HANDLE_VALUE handle, SOUND_RECORD* record, SOUNDBUFFER** buffer, int force);
int UpdateStreamPlayPosition(HANDLE_VALUE handle, int cursor, int loader);
int RefillStreamSounds();
int RefillStreamSound(HANDLE_VALUE handle, int loader);
int ReleaseStreamSound(SOUND_RECORD* record);
// Back to the start of the first part, not active (the next start prepares it again).
void ResetStreamSequence(SOUND_RECORD* record);
