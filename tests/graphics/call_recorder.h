// A recording layer over the device call table: the calls the cache, batch and constant tests
// look at are noted in order and then passed on to the table below (the real device or a fake).
#pragma once
#include <string>
#include <vector>

#include "graphics/device/d3d_calls.h"

struct RECORDED_CALL {
  std::string name;
  unsigned a, b, c;
};

inline std::vector<RECORDED_CALL>& RecordedCalls() {
  static std::vector<RECORDED_CALL> calls;
  return calls;
}

inline DEVICE_CALL_TABLE& CallsBelow() {
  static DEVICE_CALL_TABLE below;
  return below;
}

inline bool& Recording() {
  static bool on;
  return on;
}

inline void Note(const char* name, unsigned a = 0, unsigned b = 0, unsigned c = 0) {
  RecordedCalls().push_back({name, a, b, c});
}

inline unsigned FloatWord(float value) {
  unsigned bits;
  memcpy(&bits, &value, 4);
  return bits;
}

inline void StopRecording() {
  if (Recording()) DeviceCalls = CallsBelow();
  Recording() = false;
}

// Puts the recorder over whatever table is in use; StopRecording puts that table back.
inline void StartRecording() {
  if (Recording()) StopRecording();
  CallsBelow() = DeviceCalls;
  Recording() = true;
  RecordedCalls().clear();
  DeviceCalls.DeviceSetRenderState = [](D3DRENDERSTATETYPE s, DWORD v) {
    Note("SetRenderState", s, v);
    return CallsBelow().DeviceSetRenderState(s, v);
  };
  DeviceCalls.DeviceSetSamplerState = [](DWORD s, D3DSAMPLERSTATETYPE t, DWORD v) {
    Note("SetSamplerState", s, t, v);
    return CallsBelow().DeviceSetSamplerState(s, t, v);
  };
  DeviceCalls.DeviceSetTextureStageState = [](DWORD s, D3DTEXTURESTAGESTATETYPE t, DWORD v) {
    Note("SetTextureStageState", s, t, v);
    return CallsBelow().DeviceSetTextureStageState(s, t, v);
  };
  DeviceCalls.DeviceSetTexture = [](DWORD s, IDirect3DBaseTexture9* t) {
    Note("SetTexture", s, (unsigned)(UINT_PTR)t);
    return CallsBelow().DeviceSetTexture(s, t);
  };
  DeviceCalls.DeviceSetFVF = [](DWORD f) {
    Note("SetFVF", f);
    return CallsBelow().DeviceSetFVF(f);
  };
  DeviceCalls.DeviceDrawPrimitiveUP = [](D3DPRIMITIVETYPE t, UINT n, const void* d, UINT s) {
    Note("DrawPrimitiveUP", t, n, s);
    return CallsBelow().DeviceDrawPrimitiveUP(t, n, d, s);
  };
  DeviceCalls.DeviceSetVertexShaderConstantF = [](UINT f, const float* v, UINT n) {
    for (UINT i = 0; i < n; i++) Note("VertexConstantF", f + i, FloatWord(v[i * 4]));
    return CallsBelow().DeviceSetVertexShaderConstantF(f, v, n);
  };
  DeviceCalls.DeviceSetPixelShaderConstantF = [](UINT f, const float* v, UINT n) {
    for (UINT i = 0; i < n; i++) Note("PixelConstantF", f + i, FloatWord(v[i * 4]));
    return CallsBelow().DeviceSetPixelShaderConstantF(f, v, n);
  };
}


inline int CountCalls(const std::string& name) {
  int n = 0;
  for (const RECORDED_CALL& call : RecordedCalls()) n += call.name == name;
  return n;
}

// The value last sent for a render state, or -1 when it was not sent.
inline long long LastRenderState(D3DRENDERSTATETYPE state) {
  long long value = -1;
  for (const RECORDED_CALL& call : RecordedCalls())
    if (call.name == "SetRenderState" && call.a == (unsigned)state) value = call.b;
  return value;
}
