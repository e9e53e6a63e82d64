// Sound: sound handles loaded from files (decoded whole, or streamed through a one-second
// ring), their playback, and the switches read by the sound set-up at library start.
#pragma once

// Load settings; FillSoundLoadDefaults gives the defaults, the caller changes what it needs.
struct SOUND_LOAD_SETTINGS {
  int is3D;
  int streamKind;        // 0 whole in memory, 2 streamed from a memory copy, 3 decoded from the open file
  int disableBits;       // converters not to try: 0x01 WAVE, 0x02 WAVE ACM, 0x04 Ogg Vorbis, 0x08 MP3 ACM, 0x10 MP3 DirectShow
  int oggBytesPerSample;  // 1 or 2
  int vorbisSelector;
};
static_assert(sizeof(SOUND_LOAD_SETTINGS) == 20, "load settings are five words");

// Play types of StartSoundHandle.
enum { SOUND_PLAY_WAIT = 0, SOUND_PLAY_RETURN = 1, SOUND_PLAY_LOOP = 3 };

SOUND_LOAD_SETTINGS* FillSoundLoadDefaults(SOUND_LOAD_SETTINGS* out);
// A new sound handle, or -1. bufferCount 1 to 10 (more is cut to 10); sharedStream a stream
// sound whose buffer a new stream may use, or -1; async queues the load on a loader thread.
int CreateSoundFromFile(const SOUND_LOAD_SETTINGS* settings, const char* path, int bufferCount, int sharedStream,
                        int async, int loader);
int StartSoundHandle(int handle, int playType, int restart);
int StopSoundHandle(int handle);
int GetSoundHandlePlayTime(int handle);  // milliseconds
int IsSoundHandlePlaying(int handle);
int GetSoundLengthSamples(int handle);
int GetSoundHandleTotalTime(int handle);  // milliseconds

// Switches read by the next sound set-up; each returns -1 while the sound system runs.
int SetSoundSoftwareMode(int flag);       // 1: no device, buffers only keep their state
int SetSoundUseDirectSound(int flag);     // 1: DirectSound without trying XAudio2
int SetSoundMidiMode(int mode);           // 0 MCI, 1 DirectMusic
int SetSoundSoftwareLocation(int flag);   // 1: DirectSound buffers in software memory
int SetSoundOutputSampleRate(int rate);   // 0: 44100 Hz
