// The last reader of the converter (method 3): MPEG audio decoded whole through a DirectShow
// graph of the library's memory reader, the system's MPEG parser and decoder, the library's
// sample grabber and the Null Renderer, run without a clock as fast as it goes. The PCM is
// then held in memory and served from there.
#include <control.h>

#include <cstring>

#include "core/log.h"
#include "core/memory.h"
#include "korvel.h"
#include "sound/mem_reader.h"
#include "sound/mp3_dshow.h"
#include "sound/sample_grabber.h"
#include "sound/sound_source.h"
#include "sound/sound_system.h"

using namespace Korvel;

namespace {
const CLSID kNullRendererClassId = {0xC1F400A4, 0x3F08, 0x11D3, {0x9F, 0x0B, 0x00, 0x60, 0x08, 0x03, 0x9E, 0x37}};
// The PCM buffer starts at this many times the compressed size and grows in steps of a
// megabyte; it never passes the converter's 32-bit sizes.
const int64_t kPcmPerCompressedByte = 10;
const int64_t kPcmGrowStep = 0x100000;
const int64_t kPcmCapacityCap = 0x7FF00000;
const DWORD kWaitStepMs = 100;

// How long the graph may run: with no new PCM, and in all (a base and a share per megabyte of
// the file); and how long its stop and release may take before they are left to their thread.
const MP3_DECODE_LIMITS kDefaultLimits = {10000, 60000, 10000, 5000};
MP3_DECODE_LIMITS decodeLimits = kDefaultLimits;

template <typename T>
void ReleaseAndClear(T*& pointer) {
  if (pointer != nullptr) pointer->Release();
  pointer = nullptr;
}

// Everything the decoding holds; released in one place whatever step it reached.
struct MP3_GRAPH {
  uint8_t* fileCopy = nullptr;
  K_CMemStream* stream = nullptr;
  K_CMemReader* reader = nullptr;  // one reference of ours
  IBaseFilter* nullRenderer = nullptr;
  IGraphBuilder* graph = nullptr;
  K_CSampleGrabber* grabber = nullptr;  // one reference of ours
  ISampleGrabberSetup* setup = nullptr;
  IMediaFilter* mediaFilter = nullptr;
  IMediaControl* control = nullptr;
  IMediaEvent* events = nullptr;

  void ReleaseAll() {
    // The graph stops before the reader and its stream go, so that no streaming thread is
    // left reading freed memory.
    if (control != nullptr) control->Stop();
    ReleaseAndClear(events);
    ReleaseAndClear(mediaFilter);
    ReleaseAndClear(control);
    ReleaseAndClear(setup);
    ReleaseAndClear(graph);
    if (grabber != nullptr) grabber->Release();
    grabber = nullptr;
    ReleaseAndClear(nullRenderer);
    if (reader != nullptr) reader->Release();
    reader = nullptr;
    delete stream;
    stream = nullptr;
    FreeTracked(fileCopy);
    fileCopy = nullptr;
  }

  // The system's parser can wait for good in the graph's stop, so the stop and the release
  // run on a thread of their own that the caller waits for no longer than the limit; past it
  // the graph, the reader, its stream and the file copy stay with that thread, which frees
  // them whenever the stop returns. The grabber's callback is taken away first (under the
  // grabber's lock), so no streaming thread touches the converter state afterwards.
  void Release();
};

DWORD WINAPI ReleaseGraphOnThread(LPVOID parameter) {
  MP3_GRAPH* g = static_cast<MP3_GRAPH*>(parameter);
  g->ReleaseAll();
  FreeTracked(g);
  return 0;
}

void MP3_GRAPH::Release() {
  if (setup != nullptr) setup->SetGrabCallback(nullptr, nullptr);
  if (graph == nullptr) {
    ReleaseAll();
    return;
  }
  MP3_GRAPH* handed = static_cast<MP3_GRAPH*>(AllocTracked(sizeof(MP3_GRAPH), "", 0));
  HANDLE thread = nullptr;
  if (handed != nullptr) {
    *handed = *this;
    thread = CreateThread(nullptr, 0, ReleaseGraphOnThread, handed, 0, nullptr);
  }
  if (thread == nullptr) {
    // No thread to give it to: released here, as the last resort.
    FreeTracked(handed);
    ReleaseAll();
    return;
  }
  *this = MP3_GRAPH();
  if (WaitForSingleObject(thread, decodeLimits.releaseMs) != WAIT_OBJECT_0)
    AddLogLineFormat("%s", "MP3変換用グラフの停止が制限時間内に終わりません。解放はスレッドに任せます");
  CloseHandle(thread);
}

int Fail(MP3_GRAPH* g, SOUND_CONVERT_STATE* state, const char* message) {
  AddLogLineFormat("%s", message);
  g->Release();
  FreeTracked(state->memory.pcmData);
  state->memory.pcmData = nullptr;
  return -1;
}

// The first filter with a connected input pin and no output pin: the renderer Render chose.
IBaseFilter* FindRenderer(IFilterGraph* graph, IPin** input) {
  IEnumFilters* filters = nullptr;
  if (FAILED(graph->EnumFilters(&filters)) || filters == nullptr) return nullptr;
  IBaseFilter* found = nullptr;
  IBaseFilter* filter = nullptr;
  while (found == nullptr && filters->Next(1, &filter, nullptr) == S_OK) {
    IPin* in = FindPinByDirection(filter, PINDIR_INPUT);
    IPin* out = FindPinByDirection(filter, PINDIR_OUTPUT);
    IPin* upstream = nullptr;
    if (in != nullptr && out == nullptr && SUCCEEDED(in->ConnectedTo(&upstream)) && upstream != nullptr) {
      upstream->Release();
      found = filter;
      *input = in;
      in = nullptr;
    } else {
      filter->Release();
    }
    if (in != nullptr) in->Release();
    if (out != nullptr) out->Release();
  }
  filters->Release();
  return found;
}

// Moves the connection of the renderer's input over to the Null Renderer.
HRESULT SwapRendererForNull(MP3_GRAPH* g) {
  IPin* rendererInput = nullptr;
  IBaseFilter* renderer = FindRenderer(g->graph, &rendererInput);
  if (renderer == nullptr) return E_FAIL;
  IPin* upstream = nullptr;
  HRESULT hr = rendererInput->ConnectedTo(&upstream);
  if (SUCCEEDED(hr)) {
    g->graph->Disconnect(upstream);
    g->graph->Disconnect(rendererInput);
    IPin* nullInput = FindPinByDirection(g->nullRenderer, PINDIR_INPUT);
    hr = nullInput != nullptr ? g->graph->Connect(upstream, nullInput) : E_FAIL;
    if (nullInput != nullptr) nullInput->Release();
    upstream->Release();
  }
  rendererInput->Release();
  renderer->Release();
  return hr;
}
}  // namespace

void SetMp3DecodeLimits(const MP3_DECODE_LIMITS* limits) { decodeLimits = limits != nullptr ? *limits : kDefaultLimits; }

IPin* FindPinByDirection(IBaseFilter* filter, PIN_DIRECTION direction) {
  IEnumPins* pins = nullptr;
  if (filter == nullptr || FAILED(filter->EnumPins(&pins)) || pins == nullptr) return nullptr;
  IPin* pin = nullptr;
  IPin* found = nullptr;
  while (found == nullptr && pins->Next(1, &pin, nullptr) == S_OK) {
    PIN_DIRECTION its;
    if (SUCCEEDED(pin->QueryDirection(&its)) && its == direction) {
      found = pin;
    } else {
      pin->Release();
    }
  }
  pins->Release();
  return found;
}

HRESULT AppendGrabbedPcm(IMediaSample* sample, REFERENCE_TIME* start, REFERENCE_TIME* stop, BOOL typeChanged,
                         void* user) {
  (void)start;
  (void)stop;
  (void)typeChanged;
  SOUND_CONVERT_STATE* state = static_cast<SOUND_CONVERT_STATE*>(user);
  auto& m = state->memory;
  if (m.pcmData == nullptr) return 0;
  BYTE* bytes = nullptr;
  if (FAILED(sample->GetPointer(&bytes)) || bytes == nullptr) return 0;
  long length = sample->GetActualDataLength();
  if (length <= 0) return 0;
  int64_t needed = (int64_t)m.pcmSize + length;
  if (needed > m.pcmCapacity) {
    int64_t capacity = m.pcmCapacity;
    while (capacity < needed) capacity += kPcmGrowStep;
    uint8_t* grown = capacity <= kPcmCapacityCap ? static_cast<uint8_t*>(AllocTracked((size_t)capacity, "", 0)) : nullptr;
    if (grown == nullptr) {
      FreeTracked(m.pcmData);
      m.pcmData = nullptr;
      return 0;
    }
    memcpy(grown, m.pcmData, (size_t)m.pcmSize);
    FreeTracked(m.pcmData);
    m.pcmData = grown;
    m.pcmCapacity = (int32_t)capacity;
  }
  memcpy(m.pcmData + m.pcmSize, bytes, (size_t)length);
  m.pcmSize += (int32_t)length;
  return 0;
}

int DecodeMp3WithDirectShow(SOUND_CONVERT_STATE* state) {
  memset(&state->memory, 0, sizeof(state->memory));
  MP3_GRAPH g;
  int fileSize = SourceFileSize(state);
  g.fileCopy = static_cast<uint8_t*>(AllocTracked(fileSize > 0 ? (size_t)fileSize : 1, "", 0));
  if (g.fileCopy == nullptr) return -1;
  fileSize = ReadSourceBytes(state, g.fileCopy, fileSize);
  SeekSource(state, 0, 0);
  // Only MPEG audio goes to the system's parsers: anything else (a movie, another container)
  // could make them deliver sound of its own or never end.
  if (!HoldsMpegAudioFrames(g.fileCopy, fileSize)) return Fail(&g, state, "MPEGオーディオのフレームが見つかりません");

  g.stream = CreateMemStream(g.fileCopy, fileSize, MEM_STREAM_NO_LIMIT);
  if (g.stream == nullptr) return Fail(&g, state, "MP3変換用 K_CMemStream の作成に失敗しました");
  K_CMediaType streamType;
  streamType.majortype = MEDIATYPE_Stream;
  streamType.subtype = MEDIASUBTYPE_MPEG1Audio;
  HRESULT hr = S_OK;
  g.reader = CreateMemReader(g.stream, &streamType, &hr);
  if (g.reader == nullptr) return Fail(&g, state, "MP3変換用 K_CMemReader の作成に失敗しました");
  g.reader->AddRef();
  if (FAILED(CreateSoundComObject(kNullRendererClassId, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                                  (void**)&g.nullRenderer)))
    return Fail(&g, state, "MP3変換用 NullRender の作成に失敗しました");
  if (FAILED(CreateSoundComObject(CLSID_FilterGraph, CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER, IID_IGraphBuilder,
                                  (void**)&g.graph))) {
    g.graph = nullptr;
    return Fail(&g, state, "MP3変換用 IGraphBuilder の作成に失敗しました");
  }
  g.grabber = CreateSampleGrabber(nullptr, &hr);
  if (g.grabber == nullptr) return Fail(&g, state, "MP3変換用 K_CSampleGrabber の作成に失敗しました");
  g.grabber->AddRef();
  g.grabber->NonDelegatingQueryInterface(IID_ISampleGrabberSetup, (void**)&g.setup);
  K_CMediaType pcmType;
  pcmType.majortype = MEDIATYPE_Audio;
  pcmType.subtype = MEDIASUBTYPE_PCM;
  if (g.setup == nullptr || g.setup->SetAcceptType(&pcmType) != 0)
    return Fail(&g, state, "サンプルグラバフィルタのメディアタイプの設定に失敗しました");
  if (g.graph->AddFilter(g.grabber, L"SampleGrabber") != 0)
    return Fail(&g, state, "サンプルグラバフィルタのグラフへの追加に失敗しました");
  if (g.graph->AddFilter(g.reader, L"MemFile") != 0)
    return Fail(&g, state, "メモリファイルフィルタのグラフへの追加に失敗しました");
  if (g.graph->Render(g.reader->GetPin(0)) != S_OK) return Fail(&g, state, "グラフの構築に失敗しました");
  if (g.graph->AddFilter(g.nullRenderer, L"File Renderer") != 0)
    return Fail(&g, state, "ヌルレンダラーフィルタのグラフへの追加に失敗しました");
  if (FAILED(SwapRendererForNull(&g)))
    return Fail(&g, state, "既存レンダラーをNullレンダラーと交換する処理が失敗しました");

  AM_MEDIA_TYPE connected = {};
  if (g.setup->QueryConnectedType(&connected) != 0)
    return Fail(&g, state, "音声が含まれていないか、オーディオフォーマットの取得に失敗しました。");
  const WAVEFORMATEX* wave = reinterpret_cast<const WAVEFORMATEX*>(connected.pbFormat);
  const char* refusal = nullptr;
  if (connected.formattype != FORMAT_WaveFormatEx || wave == nullptr || connected.cbFormat < sizeof(PCMWAVEFORMAT)) {
    refusal = "サポート外のストリームフォーマットです。";
  } else if (wave->wFormatTag != WAVE_FORMAT_PCM || wave->nChannels == 0 || wave->nBlockAlign == 0) {
    refusal = "サポート外のオーディオフォーマットです。";
  } else {
    WAVEFORMATEX& f = state->format;
    memset(&f, 0, sizeof(f));
    f.wFormatTag = WAVE_FORMAT_PCM;
    f.nChannels = wave->nChannels;
    f.nSamplesPerSec = wave->nSamplesPerSec;
    f.nBlockAlign = wave->nBlockAlign;
    f.nAvgBytesPerSec = f.nBlockAlign * f.nSamplesPerSec;
    f.wBitsPerSample = (WORD)(f.nBlockAlign * 8 / f.nChannels);
  }
  // The connected type's format block is ours to free.
  FreeMediaTypeFields(&connected);
  if (refusal != nullptr) return Fail(&g, state, refusal);

  if (g.setup->SetGrabCallback(AppendGrabbedPcm, state) != 0) return Fail(&g, state, "コールバック関数を設定できません");
  int64_t capacity = (int64_t)fileSize * kPcmPerCompressedByte;
  if (capacity > kPcmCapacityCap) capacity = kPcmCapacityCap;
  if (capacity < 1) capacity = 1;
  state->memory.pcmCapacity = (int32_t)capacity;
  state->memory.pcmData = static_cast<uint8_t*>(AllocTracked((size_t)capacity, "", 0));
  if (state->memory.pcmData == nullptr)
    return Fail(&g, state, "PCMデータを格納するメモリ領域の確保に失敗しました");
  state->memory.pcmSize = 0;

  if (FAILED(g.graph->QueryInterface(IID_IMediaFilter, (void**)&g.mediaFilter)))
    return Fail(&g, state, "IMediaFilter の取得に失敗しました");
  g.mediaFilter->SetSyncSource(nullptr);
  if (FAILED(g.graph->QueryInterface(IID_IMediaControl, (void**)&g.control)))
    return Fail(&g, state, "IMediaControl の取得に失敗しました");
  if (FAILED(g.graph->QueryInterface(IID_IMediaEvent, (void**)&g.events)))
    return Fail(&g, state, "IMediaEvent の取得に失敗しました");
  g.control->Run();
  if (PumpWindowMessages() == -1) return Fail(&g, state, "MP3変換の途中でソフトが終了しました");
  DWORD started = GetTickCount(), lastGrowth = started;
  DWORD allowed = decodeLimits.totalMs + (DWORD)((int64_t)decodeLimits.msPerMegabyte * fileSize / 0x100000);
  int32_t seen = 0;
  for (;;) {
    long code = 0;
    hr = g.events->WaitForCompletion(kWaitStepMs, &code);
    // A completion other than the end (an error, a user abort) is a failure.
    if (hr == S_OK && code == EC_COMPLETE) break;
    if (hr == S_OK) return Fail(&g, state, "MP3変換の途中でエラーが発生しました");
    if (PumpWindowMessages() == -1) return Fail(&g, state, "MP3変換の途中でソフトが終了しました");
    DWORD now = GetTickCount();
    int32_t size = *static_cast<volatile int32_t*>(&state->memory.pcmSize);
    if (size != seen) {
      seen = size;
      lastGrowth = now;
    }
    if (now - lastGrowth > decodeLimits.stallMs || now - started > allowed)
      return Fail(&g, state, "MP3変換が制限時間内に終わりませんでした");
  }
  // The graph is stopped (in the release) before anything else is looked at, so the
  // streaming thread no longer touches the state.
  g.Release();
  if (state->memory.pcmData == nullptr) return Fail(&g, state, "PCMデータを格納するメモリ領域の再確保に失敗しました");
  // Samples may end inside a frame: only whole frames are handed out, as on every road.
  state->memory.pcmSize -= state->memory.pcmSize % state->format.nBlockAlign;
  state->method = SOUND_METHOD_PCM_MEMORY;
  state->blockSize = (int32_t)state->format.nAvgBytesPerSec;
  if (state->blockSize <= 0 || state->blockSize > (1 << 24)) state->blockSize = 1 << 24;
  state->dataStart = 0;
  state->dataSize = state->memory.pcmSize;
  return 0;
}

int ReadPcmMemoryBlock(SOUND_CONVERT_STATE* state) {
  auto& m = state->memory;
  if (m.pcmReadPos >= m.pcmSize) return -1;
  int n = m.pcmSize - m.pcmReadPos;
  if (n > state->blockSize) n = state->blockSize;
  memcpy(state->block, m.pcmData + m.pcmReadPos, (size_t)n);
  state->blockHeld = n;
  m.pcmReadPos += n;
  return 0;
}

int SeekPcmMemory(SOUND_CONVERT_STATE* state, int samplePosition) {
  int64_t target = (int64_t)samplePosition * state->format.nBlockAlign;
  if (target < 0) target = 0;
  if (target > state->memory.pcmSize) target = state->memory.pcmSize;
  state->blockHeld = 0;
  state->blockOffset = 0;
  state->position = (int32_t)target;
  state->memory.pcmReadPos = (int32_t)target;
  return 0;
}

int GetPcmMemorySize(SOUND_CONVERT_STATE* state) { return state->memory.pcmSize; }

int ClosePcmMemory(SOUND_CONVERT_STATE* state) {
  FreeTracked(state->memory.pcmData);
  state->memory.pcmData = nullptr;
  return 0;
}
