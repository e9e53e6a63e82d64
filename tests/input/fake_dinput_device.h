// A scripted DirectInput device for the DirectInput read paths, which Wine never takes on its
// own: GetDeviceState hands out the bytes set here and fails as the script says.
#pragma once
#include <cstring>
#include <deque>

#include "input/dinput_layer.h"

class FakeInputDevice : public IDirectInputDeviceA {
 public:
  unsigned char data[256] = {};
  std::deque<HRESULT> stateResults;  // results of the next GetDeviceState calls; DI_OK when empty
  HRESULT acquireResult = DI_OK;
  int stateCalls = 0;
  int acquireCalls = 0;
  int unacquireCalls = 0;

  STDMETHOD_(HRESULT, QueryInterface)(REFIID, void** object) override {
    *object = nullptr;
    return E_NOINTERFACE;
  }
  STDMETHOD_(ULONG, AddRef)() override { return 1; }
  STDMETHOD_(ULONG, Release)() override { return 1; }
  STDMETHOD(GetCapabilities)(LPDIDEVCAPS) override { return E_NOTIMPL; }
  STDMETHOD(EnumObjects)(LPDIENUMDEVICEOBJECTSCALLBACKA, LPVOID, DWORD) override { return E_NOTIMPL; }
  STDMETHOD(GetProperty)(REFGUID, LPDIPROPHEADER) override { return E_NOTIMPL; }
  STDMETHOD(SetProperty)(REFGUID, LPCDIPROPHEADER) override { return E_NOTIMPL; }
  STDMETHOD(Acquire)() override {
    acquireCalls++;
    return acquireResult;
  }
  STDMETHOD(Unacquire)() override {
    unacquireCalls++;
    return DI_OK;
  }
  STDMETHOD(GetDeviceState)(DWORD size, LPVOID out) override {
    stateCalls++;
    HRESULT result = DI_OK;
    if (!stateResults.empty()) {
      result = stateResults.front();
      stateResults.pop_front();
    }
    if (FAILED(result)) return result;
    memcpy(out, data, size < sizeof(data) ? size : sizeof(data));
    return DI_OK;
  }
  STDMETHOD(GetDeviceData)(DWORD, LPDIDEVICEOBJECTDATA, LPDWORD, DWORD) override { return E_NOTIMPL; }
  STDMETHOD(SetDataFormat)(LPCDIDATAFORMAT) override { return E_NOTIMPL; }
  STDMETHOD(SetEventNotification)(HANDLE) override { return E_NOTIMPL; }
  STDMETHOD(SetCooperativeLevel)(HWND, DWORD) override { return E_NOTIMPL; }
  STDMETHOD(GetObjectInfo)(LPDIDEVICEOBJECTINSTANCEA, DWORD, DWORD) override { return E_NOTIMPL; }
  STDMETHOD(GetDeviceInfo)(LPDIDEVICEINSTANCEA) override { return E_NOTIMPL; }
  STDMETHOD(RunControlPanel)(HWND, DWORD) override { return E_NOTIMPL; }
  STDMETHOD(Initialize)(HINSTANCE, DWORD, REFGUID) override { return E_NOTIMPL; }
};
