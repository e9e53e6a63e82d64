// The base renderer (one input pin; samples presented on the graph's clock, the streaming
// thread held while paused, a pause that completes with its first sample, EC_COMPLETE after
// the last sample, flushing) and the base video renderer on it (poster frame while paused,
// IQualProp statistics, quality messages upstream).
#pragma once
#include "dshow/dshow_filter.h"
#include <amvideo.h>
#include "dshow/dshow_seeking.h"

namespace Korvel {

class K_CRendererInputPin;

class K_CBaseRenderer : public K_CBaseFilter {
 public:
  K_CBaseRenderer(REFCLSID clsid, const char* objectName, IUnknown* outer, HRESULT* result);
  ~K_CBaseRenderer() override;

  // IMediaSeeking and IMediaPosition come from a pass-through to the upstream pin.
  HRESULT STDMETHODCALLTYPE NonDelegatingQueryInterface(REFIID riid, void** object) override;
  HRESULT STDMETHODCALLTYPE Stop() override;
  // S_FALSE while the pause waits for its first sample (GetState then answers
  // VFW_S_STATE_INTERMEDIATE until the sample, the end of the stream or the wait's end).
  HRESULT STDMETHODCALLTYPE Pause() override;
  HRESULT STDMETHODCALLTYPE Run(REFERENCE_TIME start) override;
  HRESULT STDMETHODCALLTYPE GetState(DWORD milliseconds, FILTER_STATE* state) override;
  int GetPinCount() override;
  K_CBasePin* GetPin(int index) override;

  // What a renderer provides.
  virtual HRESULT CheckMediaType(const K_CMediaType* type) = 0;
  virtual HRESULT DoRenderSample(IMediaSample* sample) = 0;
  virtual HRESULT SetMediaType(const K_CMediaType* type);
  virtual HRESULT BreakConnect();
  virtual HRESULT CompleteConnect(IPin* receivePin);
  // A sample that arrived while paused, before the streaming thread waits for Run.
  virtual void OnReceiveFirstSample(IMediaSample* sample);
  // Around each DoRenderSample, on the streaming thread.
  virtual void OnRenderStart(IMediaSample* sample);
  virtual void OnRenderEnd(IMediaSample* sample);

  // Streaming-thread calls from the input pin.
  virtual HRESULT Receive(IMediaSample* sample);
  virtual HRESULT EndOfStream();
  virtual HRESULT BeginFlush();
  virtual HRESULT EndFlush();

  K_CRendererInputPin* InputPin() const { return inputPin; }

 protected:
  HRESULT CreateInputPin();
  // Arms the render event for a stream time (at once without a clock or a time).
  void ScheduleAt(REFERENCE_TIME streamTime, bool timed);
  void CancelNotification();
  // Waits until the armed time while running: S_OK, or VFW_E_STATE_CHANGED when a stop or
  // flush ends the wait.
  HRESULT WaitForRenderTime();
  void ClearPendingSample();
  // Sends EC_COMPLETE once per stream.
  void SendEndOfStream();
  // The state change is complete (or not yet) for GetState.
  void Ready();
  void NotReady();

  CRITICAL_SECTION interfaceLock;  // the filter lock: state changes and connection
  CRITICAL_SECTION rendererLock;   // the pending sample and the end-of-stream state
  K_CRendererInputPin* inputPin = nullptr;
  IUnknown* position = nullptr;  // inner unknown of positionObject
  K_CRendererPosPassThru* positionObject = nullptr;
  HANDLE completeEvent;     // set while no state change waits
  HANDLE renderEvent;       // the armed time has come
  HANDLE abortEvent;        // set while the streaming thread must not wait (stopped, flushing)
  HANDLE receiveIdleEvent;  // set while the streaming thread is not in Receive or EndOfStream
  DWORD_PTR advise = 0;
  IMediaSample* pendingSample = nullptr;  // referenced, the sample waiting for its time
  bool endOfStream = false;
  bool endOfStreamDelivered = false;
  bool endOfStreamWaiting = false;  // the streaming thread waits for the last sample's end
  bool haveLastEnd = false;
  REFERENCE_TIME lastEnd = 0;
};

class K_CRendererInputPin : public K_CBaseInputPin {
 public:
  K_CRendererInputPin(K_CBaseRenderer* renderer, HRESULT* result, LPCWSTR pinName);

  HRESULT STDMETHODCALLTYPE Receive(IMediaSample* sample) override;
  HRESULT STDMETHODCALLTYPE EndOfStream() override;
  HRESULT STDMETHODCALLTYPE BeginFlush() override;
  HRESULT STDMETHODCALLTYPE EndFlush() override;
  HRESULT CheckMediaType(const K_CMediaType* type) override;
  HRESULT SetMediaType(const K_CMediaType* type) override;
  HRESULT BreakConnect() override;
  HRESULT CompleteConnect(IPin* receivePin) override;

 protected:
  K_CBaseRenderer* renderer;
};

// Also IQualProp (frames drawn, frame rate, jitter and sync offset of the frames drawn on
// the clock) and IQualityControl (a message per frame, to the sink or upstream).
class K_CBaseVideoRenderer : public K_CBaseRenderer, public IQualProp, public IQualityControl {
 public:
  K_CBaseVideoRenderer(REFCLSID clsid, const char* objectName, IUnknown* outer, HRESULT* result);
  ~K_CBaseVideoRenderer() override;

  K_DECLARE_IUNKNOWN
  HRESULT STDMETHODCALLTYPE NonDelegatingQueryInterface(REFIID riid, void** object) override;
  // IQualProp
  HRESULT STDMETHODCALLTYPE get_FramesDroppedInRenderer(int* frames) override;
  HRESULT STDMETHODCALLTYPE get_FramesDrawn(int* frames) override;
  HRESULT STDMETHODCALLTYPE get_AvgFrameRate(int* rate) override;
  HRESULT STDMETHODCALLTYPE get_Jitter(int* jitter) override;
  HRESULT STDMETHODCALLTYPE get_AvgSyncOffset(int* offset) override;
  HRESULT STDMETHODCALLTYPE get_DevSyncOffset(int* deviation) override;
  // IQualityControl
  HRESULT STDMETHODCALLTYPE Notify(IBaseFilter* sender, Quality quality) override;
  HRESULT STDMETHODCALLTYPE SetSink(IQualityControl* sink) override;

  // The poster frame: a sample arriving while paused is drawn at once.
  void OnReceiveFirstSample(IMediaSample* sample) override;
  void OnRenderStart(IMediaSample* sample) override;
  void OnRenderEnd(IMediaSample* sample) override;
  HRESULT STDMETHODCALLTYPE Pause() override;

 protected:
  void ResetStatistics();

  IQualityControl* qualitySink = nullptr;  // not referenced
  CRITICAL_SECTION statisticsLock;
  int framesDrawn = 0;
  REFERENCE_TIME lastDrawTime = 0;  // stream time of the last frame drawn
  double intervalSum = 0, intervalSquares = 0;  // ms between frames drawn
  double offsetSum = 0, offsetSquares = 0;      // ms late (negative: early) per frame drawn
  int offsetCount = 0;
  REFERENCE_TIME renderStart = 0;  // stream time at OnRenderStart
  bool renderTimed = false;
};

}  // namespace Korvel
