// The Windows headers the sound code builds on: the multimedia types (WAVEFORMATEX and its
// extensible form) are not part of the lean Windows header set.
#pragma once
#include <windows.h>
#include <mmsystem.h>
#include <mmreg.h>

// A PCM format of the given channels, rate and sample width, its block align and average rate
// worked out from them.
inline WAVEFORMATEX MakePcmFormat(int channels, int rate, int bits) {
  WAVEFORMATEX f = {};
  f.wFormatTag = WAVE_FORMAT_PCM;
  f.nChannels = (WORD)channels;
  f.nSamplesPerSec = (DWORD)rate;
  f.wBitsPerSample = (WORD)bits;
  f.nBlockAlign = (WORD)(channels * bits / 8);
  f.nAvgBytesPerSec = f.nBlockAlign * f.nSamplesPerSec;
  return f;
}
