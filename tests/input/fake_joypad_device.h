// A scripted DirectInput joystick and a DirectInput object that hands it out, for the
// DirectInput pad paths that Wine never takes here (no game controller is attached).
#pragma once
#include <cstring>
#include <deque>
#include <string>
#include <vector>

#include "input/dinput_layer.h"

class FakeEffect : public IDirectInputEffect {
 public:
  int starts = 0, stops = 0, releases = 0;
  bool running = false;
  STDMETHOD(QueryInterface)(REFIID, void** out) override { *out = nullptr; return E_NOINTERFACE; }
  STDMETHOD_(ULONG, AddRef)() override { return 1; }
  STDMETHOD_(ULONG, Release)() override { releases++; return 0; }
  STDMETHOD(Initialize)(HINSTANCE, DWORD, REFGUID) override { return DI_OK; }
  STDMETHOD(GetEffectGuid)(LPGUID) override { return E_NOTIMPL; }
  STDMETHOD(GetParameters)(LPDIEFFECT, DWORD) override { return E_NOTIMPL; }
  STDMETHOD(SetParameters)(LPCDIEFFECT, DWORD) override { return DI_OK; }
  STDMETHOD(Start)(DWORD, DWORD) override { starts++; running = true; return DI_OK; }
  STDMETHOD(Stop)() override { stops++; running = false; return DI_OK; }
  STDMETHOD(GetEffectStatus)(LPDWORD) override { return E_NOTIMPL; }
  STDMETHOD(Download)() override { return DI_OK; }
  STDMETHOD(Unload)() override { return DI_OK; }
  STDMETHOD(Escape)(LPDIEFFESCAPE) override { return E_NOTIMPL; }
};

class FakeJoystick : public IDirectInputDevice8A {
 public:
  std::string instanceName = "Gamepad";
  DIJOYSTATE data = {};
  std::deque<HRESULT> stateResults;  // results of the next GetDeviceState calls; DI_OK when empty
  HRESULT eventResult = DI_OK;
  std::vector<std::string> calls;
  FakeEffect sine, constant;
  int releases = 0;
  DWORD effectSizes[2] = {};

  STDMETHOD(QueryInterface)(REFIID, void** out) override { *out = nullptr; return E_NOINTERFACE; }
  STDMETHOD_(ULONG, AddRef)() override { return 1; }
  STDMETHOD_(ULONG, Release)() override { releases++; return 0; }
  STDMETHOD(GetCapabilities)(LPDIDEVCAPS) override { return E_NOTIMPL; }
  STDMETHOD(EnumObjects)(LPDIENUMDEVICEOBJECTSCALLBACKA, LPVOID, DWORD) override { return E_NOTIMPL; }
  STDMETHOD(GetProperty)(REFGUID, LPDIPROPHEADER) override { return E_NOTIMPL; }
  STDMETHOD(SetProperty)(REFGUID property, LPCDIPROPHEADER header) override {
    if (&property == &DIPROP_RANGE) {
      const DIPROPRANGE* r = (const DIPROPRANGE*)header;
      calls.push_back("range " + std::to_string(header->dwObj) + " " + std::to_string(r->lMin) + ".." +
                      std::to_string(r->lMax));
    } else if (&property == &DIPROP_DEADZONE) {
      calls.push_back("deadzone " + std::to_string(header->dwObj) + " " +
                      std::to_string(((const DIPROPDWORD*)header)->dwData));
    }
    return DI_OK;
  }
  STDMETHOD(Acquire)() override { calls.push_back("Acquire"); return DI_OK; }
  STDMETHOD(Unacquire)() override { calls.push_back("Unacquire"); return DI_OK; }
  STDMETHOD(GetDeviceState)(DWORD size, LPVOID out) override {
    HRESULT result = DI_OK;
    if (!stateResults.empty()) {
      result = stateResults.front();
      stateResults.pop_front();
    }
    calls.push_back("GetDeviceState");
    if (FAILED(result)) return result;
    memcpy(out, &data, size < sizeof(data) ? size : sizeof(data));
    return DI_OK;
  }
  STDMETHOD(GetDeviceData)(DWORD, LPDIDEVICEOBJECTDATA, LPDWORD, DWORD) override { return E_NOTIMPL; }
  STDMETHOD(SetDataFormat)(LPCDIDATAFORMAT format) override {
    return format->dwDataSize == sizeof(DIJOYSTATE) ? DI_OK : E_INVALIDARG;
  }
  STDMETHOD(SetEventNotification)(HANDLE) override { return eventResult; }
  STDMETHOD(SetCooperativeLevel)(HWND, DWORD level) override {
    calls.push_back("level " + std::to_string(level));
    return DI_OK;
  }
  STDMETHOD(GetObjectInfo)(LPDIDEVICEOBJECTINSTANCEA, DWORD, DWORD) override { return E_NOTIMPL; }
  STDMETHOD(GetDeviceInfo)(LPDIDEVICEINSTANCEA info) override {
    strcpy(info->tszInstanceName, instanceName.c_str());
    strcpy(info->tszProductName, "Fake product");
    return DI_OK;
  }
  STDMETHOD(RunControlPanel)(HWND, DWORD) override { return E_NOTIMPL; }
  STDMETHOD(Initialize)(HINSTANCE, DWORD, REFGUID) override { return E_NOTIMPL; }
  STDMETHOD(CreateEffect)(REFGUID kind, LPCDIEFFECT effect, LPDIRECTINPUTEFFECT* out, LPUNKNOWN) override {
    bool isSine = &kind == &GUID_Sine;
    effectSizes[isSine ? 0 : 1] = effect->dwSize;
    *out = isSine ? (IDirectInputEffect*)&sine : (IDirectInputEffect*)&constant;
    return DI_OK;
  }
  STDMETHOD(EnumEffects)(LPDIENUMEFFECTSCALLBACKA, LPVOID, DWORD) override { return E_NOTIMPL; }
  STDMETHOD(GetEffectInfo)(LPDIEFFECTINFOA, REFGUID) override { return E_NOTIMPL; }
  STDMETHOD(GetForceFeedbackState)(LPDWORD) override { return E_NOTIMPL; }
  STDMETHOD(SendForceFeedbackCommand)(DWORD) override { return E_NOTIMPL; }
  STDMETHOD(EnumCreatedEffectObjects)(LPDIENUMCREATEDEFFECTOBJECTSCALLBACK, LPVOID, DWORD) override {
    return E_NOTIMPL;
  }
  STDMETHOD(Escape)(LPDIEFFESCAPE) override { return E_NOTIMPL; }
  STDMETHOD(Poll)() override { calls.push_back("Poll"); return DI_OK; }
  STDMETHOD(SendDeviceData)(DWORD, LPCDIDEVICEOBJECTDATA, LPDWORD, DWORD) override { return E_NOTIMPL; }
  STDMETHOD(EnumEffectsInFile)(LPCSTR, LPDIENUMEFFECTSINFILECALLBACK, LPVOID, DWORD) override { return E_NOTIMPL; }
  STDMETHOD(WriteEffectToFile)(LPCSTR, DWORD, LPDIFILEEFFECT, DWORD) override { return E_NOTIMPL; }
  STDMETHOD(BuildActionMap)(LPDIACTIONFORMATA, LPCSTR, DWORD) override { return E_NOTIMPL; }
  STDMETHOD(SetActionMap)(LPDIACTIONFORMATA, LPCSTR, DWORD) override { return E_NOTIMPL; }
  STDMETHOD(GetImageInfo)(LPDIDEVICEIMAGEINFOHEADERA) override { return E_NOTIMPL; }
};

// A DirectInput 8 object whose CreateDevice hands out the joystick it holds.
class FakeDirectInput8 : public IDirectInput8A {
 public:
  FakeJoystick* joystick = nullptr;
  STDMETHOD(QueryInterface)(REFIID, void** out) override { *out = nullptr; return E_NOINTERFACE; }
  STDMETHOD_(ULONG, AddRef)() override { return 1; }
  STDMETHOD_(ULONG, Release)() override { return 0; }
  STDMETHOD(CreateDevice)(REFGUID, LPDIRECTINPUTDEVICE8A* out, LPUNKNOWN) override {
    *out = joystick;
    return joystick != nullptr ? DI_OK : DIERR_DEVICENOTREG;
  }
  STDMETHOD(EnumDevices)(DWORD, LPDIENUMDEVICESCALLBACKA, LPVOID, DWORD) override { return DI_OK; }
  STDMETHOD(GetDeviceStatus)(REFGUID) override { return DI_OK; }
  STDMETHOD(RunControlPanel)(HWND, DWORD) override { return E_NOTIMPL; }
  STDMETHOD(Initialize)(HINSTANCE, DWORD) override { return DI_OK; }
  STDMETHOD(FindDevice)(REFGUID, LPCSTR, LPGUID) override { return E_NOTIMPL; }
  STDMETHOD(EnumDevicesBySemantics)(LPCSTR, LPDIACTIONFORMATA, LPDIENUMDEVICESBYSEMANTICSCBA, LPVOID,
                                    DWORD) override {
    return E_NOTIMPL;
  }
  STDMETHOD(ConfigureDevices)(LPDICONFIGUREDEVICESCALLBACK, LPDICONFIGUREDEVICESPARAMSA, DWORD, LPVOID) override {
    return E_NOTIMPL;
  }
};
