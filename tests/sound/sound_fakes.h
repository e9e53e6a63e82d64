// Scripted stand-ins for the sound platform: a CoCreateInstance that answers chosen classes
// itself, a DirectSound device and buffer that record what they are asked, a device
// enumerator without an output device, an XAudio2 source voice that records its pieces, a
// filter graph whose stop waits for the test, and module calls that hide chosen DLLs or entry
// points.
#pragma once
#include "sound/sound_platform.h"
#include <control.h>
#include <dsound.h>
#include <mmdeviceapi.h>
#include <strmif.h>
#include <uuids.h>

#include <cstring>
#include <string>
#include <vector>

#include "core/winapi.h"
#include "sound/sound_system.h"

namespace sound_fakes {

// --- CoCreateInstance -------------------------------------------------------------------
typedef HRESULT (*CLASS_ANSWER)(REFIID interfaceId, void** object);
struct CLASS_SCRIPT {
  GUID classId;
  CLASS_ANSWER answer;  // null: the class is not registered
};
inline std::vector<CLASS_SCRIPT>& Scripts() {
  static std::vector<CLASS_SCRIPT> scripts;
  return scripts;
}
inline HRESULT(WINAPI*& SystemCoCreate())(REFCLSID, LPUNKNOWN, DWORD, REFIID, LPVOID*) {
  static HRESULT(WINAPI * original)(REFCLSID, LPUNKNOWN, DWORD, REFIID, LPVOID*) = nullptr;
  return original;
}
inline HRESULT WINAPI ScriptedCoCreate(REFCLSID classId, LPUNKNOWN outer, DWORD context, REFIID interfaceId,
                                       LPVOID* object) {
  for (const CLASS_SCRIPT& s : Scripts())
    if (IsEqualGUID(s.classId, classId)) {
      *object = nullptr;
      return s.answer != nullptr ? s.answer(interfaceId, object) : REGDB_E_CLASSNOTREG;
    }
  return SystemCoCreate()(classId, outer, context, interfaceId, object);
}
// Installs the scripts for the life of the object.
struct SCRIPTED_CLASSES {
  explicit SCRIPTED_CLASSES(std::vector<CLASS_SCRIPT> scripts) {
    Scripts() = std::move(scripts);
    if (SystemCoCreate() == nullptr) SystemCoCreate() = WinApi.ole32.CoCreateInstance;
    WinApi.ole32.CoCreateInstance = ScriptedCoCreate;
  }
  ~SCRIPTED_CLASSES() {
    WinApi.ole32.CoCreateInstance = SystemCoCreate();
    Scripts().clear();
  }
};

const GUID kClassDeviceEnumerator = {0xbcde0395, 0xe52f, 0x467c, {0x8e, 0x3d, 0xc4, 0x57, 0x92, 0x91, 0x69, 0x2e}};
const GUID kClassDirectSound = {0x47d4d946, 0x62e8, 0x11cf, {0x93, 0xbc, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};
const GUID kClassDirectMusicLoader = {0xd2ac2892, 0xb39b, 0x11d1, {0x87, 0x04, 0x00, 0x60, 0x08, 0x93, 0xb1, 0xbd}};

// --- A device enumerator that knows no output device ------------------------------------
struct NO_ENDPOINT_ENUMERATOR : IMMDeviceEnumerator {
  LONG references = 1;
  virtual ~NO_ENDPOINT_ENUMERATOR() {}
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** out) override {
    *out = this;
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return (ULONG)++references; }
  ULONG STDMETHODCALLTYPE Release() override {
    LONG left = --references;
    if (left == 0) delete this;
    return (ULONG)left;
  }
  HRESULT STDMETHODCALLTYPE EnumAudioEndpoints(EDataFlow, DWORD, IMMDeviceCollection**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetDefaultAudioEndpoint(EDataFlow, ERole, IMMDevice** device) override {
    *device = nullptr;
    return (HRESULT)0x80070490;  // E_NOTFOUND
  }
  HRESULT STDMETHODCALLTYPE GetDevice(LPCWSTR, IMMDevice**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE RegisterEndpointNotificationCallback(IMMNotificationClient*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE UnregisterEndpointNotificationCallback(IMMNotificationClient*) override { return E_NOTIMPL; }
};
inline HRESULT AnswerNoEndpoint(REFIID, void** object) {
  *object = static_cast<IMMDeviceEnumerator*>(new NO_ENDPOINT_ENUMERATOR());
  return S_OK;
}

// --- A scripted DirectSound -------------------------------------------------------------
struct FAKE_DS_BUFFER : IDirectSoundBuffer {
  LONG references = 1;
  virtual ~FAKE_DS_BUFFER() {}
  std::vector<uint8_t> data;
  WAVEFORMATEX format = {};
  bool formatSet = false;
  DWORD status = 0;
  DWORD play = 0;
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void**) override { return E_NOINTERFACE; }
  ULONG STDMETHODCALLTYPE AddRef() override { return (ULONG)++references; }
  ULONG STDMETHODCALLTYPE Release() override {
    LONG left = --references;
    if (left == 0) delete this;
    return (ULONG)left;
  }
  HRESULT STDMETHODCALLTYPE GetCaps(LPDSBCAPS) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetCurrentPosition(LPDWORD p, LPDWORD w) override {
    if (p) *p = play;
    if (w) *w = play;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetFormat(LPWAVEFORMATEX, DWORD, LPDWORD) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetVolume(LPLONG) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetPan(LPLONG) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetFrequency(LPDWORD) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetStatus(LPDWORD s) override {
    *s = status;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Initialize(LPDIRECTSOUND, LPCDSBUFFERDESC) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE Lock(DWORD offset, DWORD bytes, LPVOID* r1, LPDWORD s1, LPVOID* r2, LPDWORD s2,
                                 DWORD) override {
    if (offset + bytes > data.size()) return DSERR_INVALIDPARAM;
    *r1 = data.data() + offset;
    *s1 = bytes;
    if (r2) *r2 = nullptr;
    if (s2) *s2 = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Play(DWORD, DWORD, DWORD) override {
    status = DSBSTATUS_PLAYING;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE SetCurrentPosition(DWORD p) override {
    play = p;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE SetFormat(LPCWAVEFORMATEX f) override {
    format = *f;
    formatSet = true;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE SetVolume(LONG) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE SetPan(LONG) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE SetFrequency(DWORD) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE Stop() override {
    status = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Unlock(LPVOID, DWORD, LPVOID, DWORD) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE Restore() override { return S_OK; }
};

struct FAKE_DSOUND : IDirectSound {
  LONG references = 1;
  DSCAPS caps = {};
  FAKE_DS_BUFFER* primary = nullptr;
  std::vector<DWORD> createdFlags;
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void**) override { return E_NOINTERFACE; }
  ULONG STDMETHODCALLTYPE AddRef() override { return (ULONG)++references; }
  ULONG STDMETHODCALLTYPE Release() override { return (ULONG)--references; }  // owned by the test
  HRESULT STDMETHODCALLTYPE CreateSoundBuffer(LPCDSBUFFERDESC desc, LPLPDIRECTSOUNDBUFFER out, IUnknown*) override {
    createdFlags.push_back(desc->dwFlags);
    FAKE_DS_BUFFER* buffer = new FAKE_DS_BUFFER();
    buffer->data.resize(desc->dwBufferBytes);
    if (desc->dwFlags & DSBCAPS_PRIMARYBUFFER) {
      primary = buffer;
      buffer->AddRef();  // the test reads it after the library let go
    }
    *out = buffer;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetCaps(LPDSCAPS out) override {
    *out = caps;
    out->dwSize = sizeof(DSCAPS);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE DuplicateSoundBuffer(LPDIRECTSOUNDBUFFER, LPLPDIRECTSOUNDBUFFER) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE SetCooperativeLevel(HWND, DWORD) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE Compact() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE GetSpeakerConfig(LPDWORD) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE SetSpeakerConfig(DWORD) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Initialize(LPCGUID) override { return S_OK; }
};
inline FAKE_DSOUND*& CurrentFakeDirectSound() {
  static FAKE_DSOUND* device = nullptr;
  return device;
}
inline HRESULT AnswerFakeDirectSound(REFIID, void** object) {
  CurrentFakeDirectSound()->AddRef();
  *object = static_cast<IDirectSound*>(CurrentFakeDirectSound());
  return S_OK;
}

// --- An XAudio2 source voice that records its pieces ---------------------------------------
struct RECORDING_VOICE : Korvel::K_IXAudio2SourceVoice {
  std::vector<XAUDIO2_BUFFER> pieces;
  int starts = 0, stops = 0, flushes = 0;
  std::vector<float> channelVolumes;
  float ratio = 0.0f;
  void STDMETHODCALLTYPE GetVoiceDetails(void*) override {}
  HRESULT STDMETHODCALLTYPE SetOutputVoices(const XAUDIO2_VOICE_SENDS*) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE SetEffectChain(const XAUDIO2_EFFECT_CHAIN*) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE EnableEffect(uint32_t, uint32_t) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE DisableEffect(uint32_t, uint32_t) override { return S_OK; }
  void STDMETHODCALLTYPE GetEffectState(uint32_t, BOOL*) override {}
  HRESULT STDMETHODCALLTYPE SetEffectParameters(uint32_t, const void*, uint32_t, uint32_t) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE GetEffectParameters(uint32_t, void*, uint32_t) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE SetFilterParameters(const void*, uint32_t) override { return S_OK; }
  void STDMETHODCALLTYPE GetFilterParameters(void*) override {}
  HRESULT STDMETHODCALLTYPE SetOutputFilterParameters(Korvel::K_IXAudio2Voice*, const void*, uint32_t) override {
    return S_OK;
  }
  void STDMETHODCALLTYPE GetOutputFilterParameters(Korvel::K_IXAudio2Voice*, void*) override {}
  HRESULT STDMETHODCALLTYPE SetVolume(float, uint32_t) override { return S_OK; }
  void STDMETHODCALLTYPE GetVolume(float*) override {}
  HRESULT STDMETHODCALLTYPE SetChannelVolumes(uint32_t channels, const float* volumes, uint32_t) override {
    channelVolumes.assign(volumes, volumes + channels);
    return S_OK;
  }
  void STDMETHODCALLTYPE GetChannelVolumes(uint32_t, float*) override {}
  HRESULT STDMETHODCALLTYPE SetOutputMatrix(Korvel::K_IXAudio2Voice*, uint32_t, uint32_t, const float*,
                                            uint32_t) override {
    return S_OK;
  }
  void STDMETHODCALLTYPE GetOutputMatrix(Korvel::K_IXAudio2Voice*, uint32_t, uint32_t, float*) override {}
  void STDMETHODCALLTYPE DestroyVoice() override {}
  HRESULT STDMETHODCALLTYPE Start(uint32_t, uint32_t) override {
    starts++;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Stop(uint32_t, uint32_t) override {
    stops++;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE SubmitSourceBuffer(const XAUDIO2_BUFFER* buffer, const void*) override {
    pieces.push_back(*buffer);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE FlushSourceBuffers() override {
    flushes++;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Discontinuity() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE ExitLoop(uint32_t) override { return S_OK; }
  void STDMETHODCALLTYPE GetStateNotCalled() override {}
  HRESULT STDMETHODCALLTYPE SetFrequencyRatio(float r, uint32_t) override {
    ratio = r;
    return S_OK;
  }
};

// --- A filter graph whose stop waits for the test -----------------------------------------
// The system's filter graph behind a stand-in whose IMediaControl::Stop waits until the test
// opens the gate (or a minute has passed, so that a program that waits for it still ends).
// Everything else goes to the system's graph; the stand-in's last release sets `gone`.
struct GATED_GRAPH_EVENTS {
  HANDLE gate = nullptr;   // manual reset: open lets Stop go on
  HANDLE gone = nullptr;   // set when the stand-in is released for good
  volatile LONG stopsWaiting = 0;
  volatile LONG stopsCalled = 0;
};
inline GATED_GRAPH_EVENTS& GatedGraph() {
  static GATED_GRAPH_EVENTS events;
  return events;
}
// Closes the gate and forgets the last graph: call before the graph is made.
inline void ArmGatedGraph() {
  GATED_GRAPH_EVENTS& e = GatedGraph();
  if (e.gate == nullptr) e.gate = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  if (e.gone == nullptr) e.gone = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  ResetEvent(e.gate);
  ResetEvent(e.gone);
  e.stopsWaiting = 0;
  e.stopsCalled = 0;
}
inline void OpenGatedGraph() { SetEvent(GatedGraph().gate); }

struct GATED_GRAPH;
struct GATED_CONTROL : IMediaControl {
  GATED_GRAPH* graph = nullptr;
  IMediaControl* inner = nullptr;
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* n) override { return inner->GetTypeInfoCount(n); }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT i, LCID l, ITypeInfo** t) override { return inner->GetTypeInfo(i, l, t); }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID r, LPOLESTR* n, UINT c, LCID l, DISPID* d) override {
    return inner->GetIDsOfNames(r, n, c, l, d);
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID d, REFIID r, LCID l, WORD f, DISPPARAMS* p, VARIANT* v, EXCEPINFO* e,
                                   UINT* a) override {
    return inner->Invoke(d, r, l, f, p, v, e, a);
  }
  HRESULT STDMETHODCALLTYPE Run() override { return inner->Run(); }
  HRESULT STDMETHODCALLTYPE Pause() override { return inner->Pause(); }
  HRESULT STDMETHODCALLTYPE Stop() override {
    GATED_GRAPH_EVENTS& e = GatedGraph();
    InterlockedIncrement(&e.stopsCalled);
    InterlockedIncrement(&e.stopsWaiting);
    WaitForSingleObject(e.gate, 60000);
    InterlockedDecrement(&e.stopsWaiting);
    return inner->Stop();
  }
  HRESULT STDMETHODCALLTYPE GetState(LONG ms, OAFilterState* state) override { return inner->GetState(ms, state); }
  HRESULT STDMETHODCALLTYPE RenderFile(BSTR name) override { return inner->RenderFile(name); }
  HRESULT STDMETHODCALLTYPE AddSourceFilter(BSTR name, IDispatch** out) override {
    return inner->AddSourceFilter(name, out);
  }
  HRESULT STDMETHODCALLTYPE get_FilterCollection(IDispatch** out) override { return inner->get_FilterCollection(out); }
  HRESULT STDMETHODCALLTYPE get_RegFilterCollection(IDispatch** out) override {
    return inner->get_RegFilterCollection(out);
  }
  HRESULT STDMETHODCALLTYPE StopWhenReady() override { return inner->StopWhenReady(); }
};

struct GATED_GRAPH : IGraphBuilder {
  LONG references = 1;
  IGraphBuilder* inner = nullptr;
  GATED_CONTROL control;
  virtual ~GATED_GRAPH() {
    if (control.inner != nullptr) control.inner->Release();
    if (inner != nullptr) inner->Release();
    SetEvent(GatedGraph().gone);
  }
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
    if (IsEqualGUID(riid, IID_IUnknown) || IsEqualGUID(riid, IID_IFilterGraph) || IsEqualGUID(riid, IID_IGraphBuilder)) {
      *out = static_cast<IGraphBuilder*>(this);
    } else if (IsEqualGUID(riid, IID_IMediaControl)) {
      *out = static_cast<IMediaControl*>(&control);
    } else {
      return inner->QueryInterface(riid, out);
    }
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return (ULONG)InterlockedIncrement(&references); }
  ULONG STDMETHODCALLTYPE Release() override {
    LONG left = InterlockedDecrement(&references);
    if (left == 0) delete this;
    return (ULONG)left;
  }
  HRESULT STDMETHODCALLTYPE AddFilter(IBaseFilter* f, LPCWSTR name) override { return inner->AddFilter(f, name); }
  HRESULT STDMETHODCALLTYPE RemoveFilter(IBaseFilter* f) override { return inner->RemoveFilter(f); }
  HRESULT STDMETHODCALLTYPE EnumFilters(IEnumFilters** out) override { return inner->EnumFilters(out); }
  HRESULT STDMETHODCALLTYPE FindFilterByName(LPCWSTR name, IBaseFilter** out) override {
    return inner->FindFilterByName(name, out);
  }
  HRESULT STDMETHODCALLTYPE ConnectDirect(IPin* out, IPin* in, const AM_MEDIA_TYPE* type) override {
    return inner->ConnectDirect(out, in, type);
  }
  HRESULT STDMETHODCALLTYPE Reconnect(IPin* pin) override { return inner->Reconnect(pin); }
  HRESULT STDMETHODCALLTYPE Disconnect(IPin* pin) override { return inner->Disconnect(pin); }
  HRESULT STDMETHODCALLTYPE SetDefaultSyncSource() override { return inner->SetDefaultSyncSource(); }
  HRESULT STDMETHODCALLTYPE Connect(IPin* out, IPin* in) override { return inner->Connect(out, in); }
  HRESULT STDMETHODCALLTYPE Render(IPin* out) override { return inner->Render(out); }
  HRESULT STDMETHODCALLTYPE RenderFile(LPCWSTR file, LPCWSTR list) override { return inner->RenderFile(file, list); }
  HRESULT STDMETHODCALLTYPE AddSourceFilter(LPCWSTR file, LPCWSTR name, IBaseFilter** out) override {
    return inner->AddSourceFilter(file, name, out);
  }
  HRESULT STDMETHODCALLTYPE SetLogFile(DWORD_PTR file) override { return inner->SetLogFile(file); }
  HRESULT STDMETHODCALLTYPE Abort() override { return inner->Abort(); }
  HRESULT STDMETHODCALLTYPE ShouldOperationContinue() override { return inner->ShouldOperationContinue(); }
};
inline HRESULT STDMETHODCALLTYPE GATED_CONTROL::QueryInterface(REFIID riid, void** out) {
  return graph->QueryInterface(riid, out);
}
inline ULONG STDMETHODCALLTYPE GATED_CONTROL::AddRef() { return graph->AddRef(); }
inline ULONG STDMETHODCALLTYPE GATED_CONTROL::Release() { return graph->Release(); }

// Answers CLSID_FilterGraph with a stand-in around a graph of the system.
inline HRESULT AnswerGatedGraph(REFIID interfaceId, void** object) {
  GATED_GRAPH* graph = new GATED_GRAPH();
  graph->control.graph = graph;
  HRESULT hr = SystemCoCreate()(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder,
                                (void**)&graph->inner);
  if (SUCCEEDED(hr)) hr = graph->inner->QueryInterface(IID_IMediaControl, (void**)&graph->control.inner);
  if (SUCCEEDED(hr)) hr = graph->QueryInterface(interfaceId, object);
  graph->Release();
  return hr;
}

// --- Module calls that hide DLLs or entry points ------------------------------------------
inline std::vector<std::string>& HiddenNames() {
  static std::vector<std::string> names;
  return names;
}
inline bool IsHidden(const char* name) {
  for (const std::string& hidden : HiddenNames())
    if (lstrcmpiA(hidden.c_str(), name) == 0) return true;
  return false;
}
inline HMODULE WINAPI HidingLoadLibrary(LPCSTR name) { return IsHidden(name) ? nullptr : LoadLibraryA(name); }
inline FARPROC WINAPI HidingGetProcAddress(HMODULE module, LPCSTR name) {
  return IsHidden(name) ? nullptr : GetProcAddress(module, name);
}
// Hides the named DLLs and entry points for the life of the object.
struct HIDDEN_MODULES {
  explicit HIDDEN_MODULES(std::vector<std::string> names) {
    HiddenNames() = std::move(names);
    SOUND_MODULE_CALLS calls = {HidingLoadLibrary, HidingGetProcAddress, FreeLibrary};
    SetSoundModuleCalls(&calls);
  }
  ~HIDDEN_MODULES() {
    SetSoundModuleCalls(nullptr);
    HiddenNames().clear();
  }
};

}  // namespace sound_fakes
