// Pieces of the MP3 decoding through DirectShow that tests reach: the pin finder and the
// sample grabber's callback that collects the PCM.
#pragma once
#include <strmif.h>

// The first pin of the direction, with a reference held; null when there is none.
IPin* FindPinByDirection(IBaseFilter* filter, PIN_DIRECTION direction);
// Appends the sample's bytes to the PCM of the converter state given as user data.
HRESULT AppendGrabbedPcm(IMediaSample* sample, REFERENCE_TIME* start, REFERENCE_TIME* stop, BOOL typeChanged,
                         void* user);
