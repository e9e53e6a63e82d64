// The library's own declarations of the X3DAudio records and entry points it uses (the same
// layout in "X3DAudio1_7.dll" and in "XAudio2_8.dll"; tightly packed on both pointer sizes).
#pragma once
#include <cstdint>

#pragma pack(push, 1)
struct X3DAUDIO_VECTOR {
  float x;
  float y;
  float z;
};

struct X3DAUDIO_CONE {
  float InnerAngle;
  float OuterAngle;
  float InnerVolume;
  float OuterVolume;
  float InnerLPF;
  float OuterLPF;
  float InnerReverb;
  float OuterReverb;
};

struct X3DAUDIO_LISTENER {
  X3DAUDIO_VECTOR OrientFront;
  X3DAUDIO_VECTOR OrientTop;
  X3DAUDIO_VECTOR Position;
  X3DAUDIO_VECTOR Velocity;
  X3DAUDIO_CONE* pCone;
};

struct X3DAUDIO_DISTANCE_CURVE_POINT {
  float Distance;  // normalised: 0 at the emitter, 1 at the curve distance scaler
  float DSPSetting;
};

struct X3DAUDIO_DISTANCE_CURVE {
  X3DAUDIO_DISTANCE_CURVE_POINT* pPoints;
  uint32_t PointCount;
};

struct X3DAUDIO_EMITTER {
  X3DAUDIO_CONE* pCone;
  X3DAUDIO_VECTOR OrientFront;
  X3DAUDIO_VECTOR OrientTop;
  X3DAUDIO_VECTOR Position;
  X3DAUDIO_VECTOR Velocity;
  float InnerRadius;
  float InnerRadiusAngle;
  uint32_t ChannelCount;
  float ChannelRadius;
  float* pChannelAzimuths;
  X3DAUDIO_DISTANCE_CURVE* pVolumeCurve;
  X3DAUDIO_DISTANCE_CURVE* pLFECurve;
  X3DAUDIO_DISTANCE_CURVE* pLPFDirectCurve;
  X3DAUDIO_DISTANCE_CURVE* pLPFReverbCurve;
  X3DAUDIO_DISTANCE_CURVE* pReverbCurve;
  float CurveDistanceScaler;
  float DopplerScaler;
};

// What X3DAudioCalculate fills: the matrix (source x destination channels, the caller's
// storage), filter coefficients, the reverb send level and the Doppler ratio.
struct X3DAUDIO_DSP_SETTINGS {
  float* pMatrixCoefficients;
  float* pDelayTimes;
  uint32_t SrcChannelCount;
  uint32_t DstChannelCount;
  float LPFDirectCoefficient;
  float LPFReverbCoefficient;
  float ReverbLevel;
  float DopplerFactor;
  float EmitterToListenerAngle;
  float EmitterToListenerDistance;
  float EmitterVelocityComponent;
  float ListenerVelocityComponent;
};
#pragma pack(pop)

static_assert(sizeof(X3DAUDIO_CONE) == 32, "cone layout");
static_assert(sizeof(X3DAUDIO_LISTENER) == 48 + sizeof(void*), "listener layout");
static_assert(sizeof(X3DAUDIO_EMITTER) == 72 + 7 * sizeof(void*), "emitter layout");
static_assert(sizeof(X3DAUDIO_DSP_SETTINGS) == 40 + 2 * sizeof(void*), "DSP settings layout");

enum : uint32_t {
  X3DAUDIO_CALCULATE_MATRIX = 0x1,
  X3DAUDIO_CALCULATE_LPF_DIRECT = 0x4,
  X3DAUDIO_CALCULATE_LPF_REVERB = 0x8,
  X3DAUDIO_CALCULATE_REVERB = 0x10,
  X3DAUDIO_CALCULATE_DOPPLER = 0x20,
  X3DAUDIO_CALCULATE_REDIRECT_TO_LFE = 0x20000,
  // The matrix holds at most this many coefficients (8 source x 32 destination channels).
  X3DAUDIO_MATRIX_CAPACITY = 256,
  // Source channels an emitter describes (its azimuth array).
  X3DAUDIO_MAX_EMITTER_CHANNELS = 8,
};

enum { X3DAUDIO_HANDLE_BYTES = 20 };
const float X3DAUDIO_SPEED_OF_SOUND = 343.5f;

typedef void(__cdecl* X3DAUDIO_INITIALIZE_FN)(uint32_t speakerMask, float speedOfSound, uint8_t* handle);
typedef void(__cdecl* X3DAUDIO_CALCULATE_FN)(const uint8_t* handle, const X3DAUDIO_LISTENER* listener,
                                             const X3DAUDIO_EMITTER* emitter, uint32_t flags, void* settings);
