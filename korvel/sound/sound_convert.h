// Sound conversion to PCM: one SOUND_CONVERT_STATE decodes one sound file, read through a
// STREAM_SOURCE, into PCM delivered in pieces (read, seek, total size) or all at once. The
// readers are tried in a fixed order; each may be switched off by its disable bit.
#pragma once
#include "sound/sound_platform.h"

#include <cstdint>

// vorbisfile.h defines callback sets of its own that the library does not use.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-variable"
#include <vorbis/vorbisfile.h>
#pragma GCC diagnostic pop

#include "file/file_access.h"

enum {
  SOUND_CONVERT_DISABLE_WAVE = 0x01,
  SOUND_CONVERT_DISABLE_WAVE_ACM = 0x02,
  SOUND_CONVERT_DISABLE_OGG = 0x04,
  SOUND_CONVERT_DISABLE_MP3_ACM = 0x08,
  SOUND_CONVERT_DISABLE_MP3_DSHOW = 0x10,
};

enum {
  SOUND_METHOD_WAVE = 0,
  SOUND_METHOD_ACM = 1,
  SOUND_METHOD_OGG_VORBIS = 2,
  SOUND_METHOD_PCM_MEMORY = 3,
  SOUND_CONVERT_METHOD_COUNT = 4,
};

struct SOUND_CONVERT_STATE {
  int32_t valid;
  int32_t endReached;
  int32_t method;
  STREAM_SOURCE source;
  int32_t dataStart;
  int32_t dataSize;
  WAVEFORMATEX format;  // the output format, always PCM
  union {
    struct {  // WAVE read directly
      uint8_t* floatBuffer;
      uint32_t floatBufferSize;
      struct {
        uint16_t tag;
        uint16_t channels;
        uint16_t blockAlign;
        uint16_t bitsPerSample;
      } sourceFormat;
    } wave;
    struct {  // the Audio Compression Manager
      WAVEFORMATEX* acmSourceFormat;
      HANDLE acmStream;
      HANDLE acmStandbyStream;
      uint8_t* acmSourceData;
      int32_t acmSourceSize;
      int32_t acmSourceUsed;
      int32_t totalSamples;
      int32_t standbySourceUsed;
      int32_t standbyOutput;
      uint8_t* standbyBuffer;
    } acm;
    struct {  // Ogg Vorbis through vorbisfile
      int32_t oggOpen;
      OggVorbis_File oggFile;
      int32_t oggWordSize;
      int32_t oggLinks;   // leading links in the first link's format: the data ends after them
      int32_t oggFailed;  // 1 after a decoder error or a failed seek: reads give nothing until a seek
      int32_t oggStreamed;  // opened as a plain stream of pages: sought by decoding from its start
      long long oggFrames;  // frames of the leading links, counted at the open
      // The first block decoded after the open: its bytes, a hash of them and the stream
      // offset after it (a rewind that decodes the same from the same place has landed).
      int32_t oggFirstPending;  // 1 until that block was decoded
      int32_t oggFirstBytes;
      uint32_t oggFirstHash;
      long long oggFirstEnd;
    } ogg;
    struct {  // PCM decoded whole and held in memory
      uint8_t* pcmData;
      int32_t pcmCapacity;
      int32_t pcmSize;
      int32_t pcmReadPos;
    } memory;
  };
  uint8_t* block;
  int32_t blockSize;
  int32_t blockHeld;
  int32_t blockOffset;
  int32_t position;
  int32_t standbyTarget;
  int32_t oggBytesPerSample;
  int32_t vorbisSelector;
};

// The four operations of one method: next block (0, or -1 at the end of the data), seek to a
// sample position, total output bytes and release.
struct SOUND_CONVERT_METHOD_OPS {
  int (*nextBlock)(SOUND_CONVERT_STATE* state);
  int (*seek)(SOUND_CONVERT_STATE* state, int samplePosition);
  int (*totalBytes)(SOUND_CONVERT_STATE* state);
  int (*release)(SOUND_CONVERT_STATE* state);
};

// Takes the file with the first enabled reader that accepts it and decodes sound from it: the
// first block is decoded here and held for the first read; a file of no whole frame of sound
// goes on to the next reader, and -1 when none gives sound.
int SetUpSoundConverter(SOUND_CONVERT_STATE* state, const STREAM_SOURCE* source, int disableBits,
                        int oggBytesPerSample, int vorbisSelector);
int GetSoundConverterFormat(SOUND_CONVERT_STATE* state, WAVEFORMATEX* format);
int ReadSoundConverter(SOUND_CONVERT_STATE* state, void* buffer, int bytes);
int SeekSoundConverter(SOUND_CONVERT_STATE* state, int samplePosition);
// The same seek without the small-distance shortcut: the state always moves and reads deliver
// data again (a stream restarting a part that is only a few bytes long).
int RewindSoundConverter(SOUND_CONVERT_STATE* state, int samplePosition);
// The total the reader reports (for some readers what the file claims).
int GetSoundConverterSize(SOUND_CONVERT_STATE* state);
// The whole sound from its start as one tracked block: what block reads deliver, in whole
// frames, grown as it is decoded; -1 when that is nothing.
int ConvertSoundToPcm(SOUND_CONVERT_STATE* state, WAVEFORMATEX* format, void** data, int* size);
int EndSoundConverter(SOUND_CONVERT_STATE* state);

// The Ogg Vorbis reader (method 2).
int OpenOggVorbisConverter(SOUND_CONVERT_STATE* state);
int ReadOggVorbisBlock(SOUND_CONVERT_STATE* state);
int SeekOggVorbisConverter(SOUND_CONVERT_STATE* state, int samplePosition);
int GetOggVorbisConverterSize(SOUND_CONVERT_STATE* state);
int CloseOggVorbisConverter(SOUND_CONVERT_STATE* state);

// The WAVE reader (method 0).
int OpenWaveConverter(SOUND_CONVERT_STATE* state);
int ReadWaveBlock(SOUND_CONVERT_STATE* state);
int SeekWaveConverter(SOUND_CONVERT_STATE* state, int samplePosition);
int GetWaveConverterSize(SOUND_CONVERT_STATE* state);
int CloseWaveConverter(SOUND_CONVERT_STATE* state);

// The readers through the Audio Compression Manager (method 1): WAVE of any codec and MP3.
int OpenWaveAcmConverter(SOUND_CONVERT_STATE* state);
int ReadAcmBlock(SOUND_CONVERT_STATE* state);
int SeekAcmConverter(SOUND_CONVERT_STATE* state, int samplePosition);
int GetAcmConverterSize(SOUND_CONVERT_STATE* state);
int CloseAcmConverter(SOUND_CONVERT_STATE* state);
// Shared by both ACM readers once acmSourceFormat, dataStart and acmSourceSize are set: the
// PCM output format, the source data in memory, both streams and the standby buffer; blocks
// of blockThirds thirds of a second. -1 leaves the release to CloseAcmConverter.
int OpenAcmStreams(SOUND_CONVERT_STATE* state, int blockThirds);
// One MPEG audio frame header.
struct MP3_FRAME_INFO {
  uint8_t layer;                 // 0 Layer I, 1 Layer II, 2 Layer III
  uint8_t lowSamplingFrequency;  // 1 for MPEG-2
  uint8_t bitRateIndex;
  uint8_t sampleRateIndex;
  uint8_t padding;
  uint8_t channels;
  uint32_t sampleRate;  // Hz
  uint32_t bitRate;     // kbit/s
  uint32_t frameLength;  // bytes, header included
  uint32_t samplesPerFrame;
};
// 0 for a valid header; -2 without frame sync; -1 for a reserved layer, sample rate or a bit
// rate of no table entry (free format or the forbidden index).
int ParseMp3FrameHeader(const uint8_t* header, MP3_FRAME_INFO* info);
// The MP3 reader through the ACM.
int OpenMp3AcmConverter(SOUND_CONVERT_STATE* state);
// 1 when the file holds MPEG audio (MPEG 2.5 included): somewhere after an ID3v2 tag and
// before an ID3v1 tag, a frame directly followed by another of the same version, layer and
// sample rate. A free-format frame's length is the distance to the next header of its stream.
int HoldsMpegAudioFrames(const uint8_t* bytes, int size);
// The MP3 reader through a DirectShow graph (method 3): the PCM decoded whole, held in memory.
int DecodeMp3WithDirectShow(SOUND_CONVERT_STATE* state);
int ReadPcmMemoryBlock(SOUND_CONVERT_STATE* state);
int SeekPcmMemory(SOUND_CONVERT_STATE* state, int samplePosition);
int GetPcmMemorySize(SOUND_CONVERT_STATE* state);
int ClosePcmMemory(SOUND_CONVERT_STATE* state);
// 1 when msacm32.dll and every entry point were loaded.
int AcmFunctionsReady();

// The Audio Compression Manager entry points, loaded at library start.
struct ACM_FUNCTIONS {
  int loaded;
  HMODULE module;
  FARPROC acmFormatSuggest;
  FARPROC acmStreamOpen;
  FARPROC acmStreamClose;
  FARPROC acmMetrics;
  FARPROC acmStreamPrepareHeader;
  FARPROC acmStreamConvert;
  FARPROC acmStreamUnprepareHeader;
  FARPROC acmStreamSize;
};
extern ACM_FUNCTIONS AcmFunctions;
int LoadAcmFunctions();
int UnloadAcmFunctions();
