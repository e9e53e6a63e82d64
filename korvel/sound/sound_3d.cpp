// 3D sounds: the emitter defaults of a new 3D sound handle, and the settings its position
// relative to the listener gives its buffer at a start: through X3DAudio (output matrix,
// Doppler ratio, reverb send and low-pass filters) under XAudio2, or through the library's
// own distance, cone and pan model (volume and pan) under DirectSound.
#include "sound/sound_platform.h"

#include "core/strings.h"
#include "graphics/device/camera.h"
#include "sound/sound_handles.h"
#include "sound/sound_system.h"

using Korvel::K_IXAudio2SourceVoice;
using Korvel::K_IXAudio2Voice;

namespace {
const float kPi = 3.14159265f;
const float kSixthOfPi = 0.5235988f;
const float kInnerRadius = 2.0f;
const float kChannelRadius = 0.1f;
const float kCurveDistanceScaler = 14.0f;
const float kDopplerScaler = 1.0f;
const uint32_t kSpeakerLowFrequency = 0x8;
const int kVolumeMin = -10000;
// The pan model never lowers the far side by more than 1 - 0.8 allows (-1397).
const float kPanSideLimit = 0.8f;

X3DAUDIO_DISTANCE_CURVE_POINT kLinearPoints[] = {{0.0f, 1.0f}, {1.0f, 0.0f}};
X3DAUDIO_DISTANCE_CURVE_POINT kLfePoints[] = {{0.0f, 1.0f}, {0.25f, 0.0f}, {1.0f, 0.0f}};
X3DAUDIO_DISTANCE_CURVE_POINT kReverbPoints[] = {{0.0f, 0.5f}, {0.75f, 1.0f}, {1.0f, 0.0f}};
X3DAUDIO_DISTANCE_CURVE kLinearCurve = {kLinearPoints, 2};
X3DAUDIO_DISTANCE_CURVE kLfeCurve = {kLfePoints, 3};
X3DAUDIO_DISTANCE_CURVE kReverbCurve = {kReverbPoints, 3};

VEC3F ToVec3(const X3DAUDIO_VECTOR& v) { return {v.x, v.y, v.z}; }

// 20 log10(gain) in hundredths of a decibel, within -10000..0; a gain of 0 (or below) is
// -10000 without taking the logarithm of 0.
int GainToHundredthsDb(float gain) {
  if (gain <= 0.0f) return kVolumeMin;
  int value = TruncDoubleToInt(Log10Double(gain) * 20.0 * 100.0);
  return value < kVolumeMin ? kVolumeMin : (value > 0 ? 0 : value);
}

float AngleGain(const SOUND_3D_LISTENER& l, float angle) {
  if (l.innerAngle > angle) return l.innerGain;
  if (angle > l.outerAngle) return l.outerGain;
  return l.innerGain + (l.outerGain - l.innerGain) * (angle - l.innerAngle) / (l.outerAngle - l.innerAngle);
}

// The library's model: volume from the distance within the audible radius and the angle to
// the listener's front (the listener's cone), pan from the side the sound lies on. A sound at
// the listener's own position has no direction: it plays at full volume in the centre.
int ApplyDistanceModel(SOUND_RECORD* r) {
  const SOUND_3D_LISTENER& l = SoundSystem.dsListener;
  VEC3F v = GetVec3Difference(r->position3D, ToVec3(l.position));
  float distance = GetVec3Length(v.x, v.y, v.z);
  int volume = 0, pan = 0;
  if (distance > 0.0f) {
    float distanceGain = r->audibleRadius < distance ? 0.0f : 1.0f - distance / r->audibleRadius;
    VEC3F u = GetVec3Scaled(v, 1.0f / distance);
    float cosine = GetVec3Dot(ToVec3(l.front), u);
    cosine = cosine > 1.0f ? 1.0f : (cosine < -1.0f ? -1.0f : cosine);
    float angle = 2.0f * AcosFloat(cosine);
    volume = GainToHundredthsDb(AngleGain(l, angle) * distanceGain);
    // A sound on the positive side of the right vector gets a negative pan and one on the
    // negative side a positive pan, as the model has always placed them.
    float side = GetVec3Dot(u, ToVec3(l.right));
    float m = AbsFloat(side);
    if (m > kPanSideLimit) m = kPanSideLimit;
    int attenuation = GainToHundredthsDb(1.0f - m);
    pan = side >= 0.0f ? attenuation : -attenuation;
  }
  SetSoundBufferVolume(&r->buffers[0], volume);
  SetSoundBufferPan(&r->buffers[0], pan);
  return 0;
}

K_IXAudio2Voice* MasteringVoice() {
  return IsXAudio28Running() ? SoundSystem.masteringVoice28 : SoundSystem.masteringVoice27;
}

// X3DAudio's result applied to the source voice and the reverb submix voice of buffer 0.
int ApplyX3DAudio(SOUND_RECORD* r) {
  SOUND_SYSTEM_STATE& s = SoundSystem;
  SOUNDBUFFER* b = &r->buffers[0];
  if (s.x3dAudioCalculate == nullptr || b->deviceBuffer == nullptr) return -1;
  uint32_t flags = X3DAUDIO_CALCULATE_MATRIX | X3DAUDIO_CALCULATE_LPF_DIRECT | X3DAUDIO_CALCULATE_LPF_REVERB |
                   X3DAUDIO_CALCULATE_REVERB | X3DAUDIO_CALCULATE_DOPPLER;
  if (s.outputChannelMask & kSpeakerLowFrequency) flags |= X3DAUDIO_CALCULATE_REDIRECT_TO_LFE;
  uint32_t source = r->emitter.ChannelCount;
  uint32_t destination = (uint32_t)s.outputChannelCount;
  if (source == 0 || destination == 0) return -1;
  if (destination > X3DAUDIO_MATRIX_CAPACITY / source) destination = X3DAUDIO_MATRIX_CAPACITY / source;
  float matrix[X3DAUDIO_MATRIX_CAPACITY] = {};
  X3DAUDIO_DSP_SETTINGS dsp = {};
  dsp.pMatrixCoefficients = matrix;
  dsp.SrcChannelCount = source;
  dsp.DstChannelCount = destination;
  s.x3dAudioCalculate(s.x3dHandle, &s.x3dListener, &r->emitter, flags, &dsp);

  K_IXAudio2SourceVoice* voice = static_cast<K_IXAudio2SourceVoice*>(b->deviceBuffer);
  voice->SetFrequencyRatio(dsp.DopplerFactor, XAUDIO2_COMMIT_NOW);
  voice->SetOutputMatrix(MasteringVoice(), source, destination, matrix, XAUDIO2_COMMIT_NOW);
  float reverb[X3DAUDIO_MAX_EMITTER_CHANNELS * X3DAUDIO_MAX_EMITTER_CHANNELS];
  for (uint32_t i = 0; i < source * source; i++) reverb[i] = dsp.ReverbLevel;
  if (b->submixVoice != nullptr)
    voice->SetOutputMatrix(b->submixVoice, source, source, reverb, XAUDIO2_COMMIT_NOW);
  float sine = 0.0f, cosine = 0.0f;
  GetSinCos(kSixthOfPi * dsp.LPFDirectCoefficient, &sine, &cosine);
  XAUDIO2_FILTER_PARAMETERS direct = {XAUDIO2_LOW_PASS_FILTER, 2.0f * sine, 1.0f};
  voice->SetOutputFilterParameters(MasteringVoice(), &direct, XAUDIO2_COMMIT_NOW);
  GetSinCos(kSixthOfPi * dsp.LPFReverbCoefficient, &sine, &cosine);
  XAUDIO2_FILTER_PARAMETERS reverbFilter = {XAUDIO2_LOW_PASS_FILTER, 2.0f * sine, 1.0f};
  if (b->submixVoice != nullptr) voice->SetOutputFilterParameters(b->submixVoice, &reverbFilter, XAUDIO2_COMMIT_NOW);
  return 0;
}
}  // namespace

void Set3DSoundDefaults(SOUND_RECORD* r) {
  r->emitterCone = {0.0f, 0.0f, 0.0f, 1.0f, 0.0f, 1.0f, 0.0f, 1.0f};
  X3DAUDIO_EMITTER& e = r->emitter;
  e = X3DAUDIO_EMITTER();
  e.pCone = &r->emitterCone;
  e.OrientFront = {0.0f, 0.0f, 1.0f};
  e.OrientTop = {0.0f, 1.0f, 0.0f};
  e.InnerRadius = kInnerRadius;
  e.InnerRadiusAngle = kPi / 4.0f;
  e.ChannelRadius = kChannelRadius;
  e.pChannelAzimuths = r->channelAzimuths;
  e.pVolumeCurve = &kLinearCurve;
  e.pLFECurve = &kLfeCurve;
  e.pReverbCurve = &kReverbCurve;
  e.CurveDistanceScaler = kCurveDistanceScaler;
  e.DopplerScaler = kDopplerScaler;
  r->position3D = {0.0f, 0.0f, 0.0f};
  r->front3D = {0.0f, 0.0f, 1.0f};
  r->top3D = {0.0f, 1.0f, 0.0f};
  r->velocity3D = {0.0f, 0.0f, 0.0f};
  r->coneInnerAngle = r->emitterCone.InnerAngle;
  r->coneOuterAngle = r->emitterCone.OuterAngle;
  r->coneInnerVolume = r->emitterCone.InnerVolume;
  r->coneOuterVolume = r->emitterCone.OuterVolume;
  r->audibleRadius = e.CurveDistanceScaler;
}

void Set3DSoundChannels(SOUND_RECORD* r, int channels) {
  // The azimuth array holds eight channels; a format with more is described by its first eight.
  if (channels > (int)X3DAUDIO_MAX_EMITTER_CHANNELS) channels = (int)X3DAUDIO_MAX_EMITTER_CHANNELS;
  r->emitter.ChannelCount = (uint32_t)(channels > 0 ? channels : 0);
  for (int i = 0; i < channels; i++) r->channelAzimuths[i] = 0.0f;
}

int Apply3DSoundParams(HANDLE_VALUE handle, int force) {
  if (SoundSystem.device == nullptr) return -1;
  SOUND_RECORD* r = LookupSoundRecord(handle, 0);
  if (r == nullptr || !r->is3D) return -1;
  if (!force && !r->changed3D) return 0;
  if (!r->buffers[0].valid) return -1;
  int result = IsXAudio2Mode() ? ApplyX3DAudio(r) : ApplyDistanceModel(r);
  if (result == 0) r->changed3D = 0;
  return result;
}
