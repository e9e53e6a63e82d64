// The library's DirectShow filter layer, shared by the sound and movie subsystems: the base
// classes its filters are built on, working under any filter graph manager (the system's
// quartz). Classes live in the namespace Korvel; COM objects start with no reference and
// follow the COM rules for reference counts, QueryInterface and aggregation (an object
// made with an outer unknown forwards its IUnknown to it; pins count on their filter).
//
//   K_CUnknown                 non-delegating unknown            dshow_unknown.h
//   K_CMediaType               AM_MEDIA_TYPE owning its format   dshow_unknown.h
//   K_CBaseFilter              IBaseFilter, IMediaFilter, IAMovieSetup
//   K_CBasePin                 IPin, IQualityControl, connection and negotiation
//   K_CBaseInputPin            + IMemInputPin                    dshow_filter.h
//   K_CBaseOutputPin           allocator agreement and delivery  dshow_filter.h
//   K_CMediaSample, K_CBaseAllocator, K_CMemAllocator            dshow_allocator.h
//   K_CTransformFilter, K_CTransformInputPin, K_CTransformOutputPin
//   K_CTransInPlaceFilter, K_CTransInPlaceInputPin, K_CTransInPlaceOutputPin
//                                                                dshow_transform.h
//   K_CPosPassThru, K_CRendererPosPassThru  IMediaSeeking and IMediaPosition upstream
//                                                                dshow_seeking.h
//   K_CBaseRenderer, K_CRendererInputPin, K_CBaseVideoRenderer   dshow_renderer.h
//
// What each filter of the library overrides, and nothing more:
//
// Memory reader source (K_CAsyncSourceFilter, K_CMemReader on K_CBaseFilter; its pin
// K_CAsyncSourcePin on K_CBasePin and IAsyncReader):
//   filter: GetPinCount, GetPin, and a Connect of its own that runs K_CBasePin::Connect;
//     K_CMemReader adds IAMovieSetup::Register and Unregister (S_OK).
//   pin: NonDelegatingQueryInterface (IAsyncReader), CheckMediaType, CheckConnect,
//     BreakConnect, CompleteConnect, GetMediaType; BeginFlush and EndFlush (one method for
//     IPin and IAsyncReader); it makes its allocator with K_CMemAllocator.
// Sample grabber (K_CSampleGrabber on K_CTransInPlaceFilter, modifiesData false):
//   filter: NonDelegatingQueryInterface, CheckInputType, Receive, Transform(sample); it
//     makes its own input pin in its constructor (the filter's input field), the output
//     pin is made on first use.
//   input pin (K_CGrabberInputPin on K_CTransInPlaceInputPin): SetMediaType, GetMediaType,
//     EnumMediaTypes, GetAllocator, NotifyAllocator, GetAllocatorRequirements.
//   allocator (K_CGrabberAllocator on K_CMemAllocator): Alloc (K_CBaseAllocator::Alloc for
//     the checks; freeList, allocated, count, size, alignment, prefix, changed, buffer under
//     allocatorLock), SetProperties, the destructor (buffer cleared; bufferBlock stays null).
// WAV writer (K_CWaveWriterFilter on K_CTransformFilter):
//   filter: Transform(input, output), CheckInputType, CheckTransform, DecideBufferSize,
//     GetMediaType, StartStreaming, StopStreaming, Receive; it makes its pins in its
//     constructor: a K_CTransformInputPin "In" and its K_CWaveWriterOutputPin "Out".
//   output pin (on K_CTransformOutputPin): CheckMediaType, EnumMediaTypes (as
//     K_CBasePin::EnumMediaTypes). Its factory-template entry is a DSHOW_FACTORY_TEMPLATE.
// Movie renderer (K_CMovieFrameRenderer on K_CBaseVideoRenderer):
//   the destructor, SetMediaType, DoRenderSample, CheckMediaType, and Release (the IUnknown
//   Release of IBaseFilter, IAMovieSetup, IQualProp and IQualityControl).
//
// COM task memory, the filter graph manager and the type library of IMediaPosition are
// reached through the run-time function table (WinApi), loaded before any of this is used.
#pragma once
#include "dshow/dshow_unknown.h"
#include "dshow/dshow_filter.h"
#include "dshow/dshow_allocator.h"
#include "dshow/dshow_transform.h"
#include "dshow/dshow_seeking.h"
#include "dshow/dshow_renderer.h"
