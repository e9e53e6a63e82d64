// Pieces of the MP3 decoding through DirectShow that tests reach: the pin finder, the
// sample grabber's callback that collects the PCM, and the time the graph may take.
#pragma once
#include <strmif.h>

// The first pin of the direction, with a reference held; null when there is none.
IPin* FindPinByDirection(IBaseFilter* filter, PIN_DIRECTION direction);
// Appends the sample's bytes to the PCM of the converter state given as user data.
HRESULT AppendGrabbedPcm(IMediaSample* sample, REFERENCE_TIME* start, REFERENCE_TIME* stop, BOOL typeChanged,
                         void* user);

// The graph is given up when no PCM arrived for stallMs, or when it ran longer than totalMs
// plus msPerMegabyte for each megabyte of the file. Its stop and release are waited for
// releaseMs at most; past that they finish on their own thread.
struct MP3_DECODE_LIMITS {
  DWORD stallMs;
  DWORD totalMs;
  DWORD msPerMegabyte;
  DWORD releaseMs;
};
// Null puts the defaults back.
void SetMp3DecodeLimits(const MP3_DECODE_LIMITS* limits);
