// 3D sounds: the distance, cone and pan table of the DirectSound model (a sound at the
// listener included); the X3DAudio flags with and without an LFE speaker and what the result
// sets on the source voice (Doppler ratio, output and reverb matrices, low-pass filters), on
// XAudio2 2.8 and 2.7 with the real X3DAudio; the emitter defaults; the first start that
// applies the settings once; and the channel limit of the emitter.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "sound/sound_handles.h"
#include "sound_fakes.h"
#include "sound_test_util.h"

using namespace sound_fakes;

namespace {
SOUND_LOAD_SETTINGS Settings3D() {
  SOUND_LOAD_SETTINGS s;
  FillSoundLoadDefaults(&s);
  s.is3D = 1;
  return s;
}

int Load3D(const char* fixture) {
  SOUND_LOAD_SETTINGS s = Settings3D();
  return CreateSoundFromFile(&s, SoundFixture(fixture).c_str(), 3, -1, 0, 0);
}

// A source voice that also records its matrices, filters and frequency ratios.
struct MATRIX_VOICE : RECORDING_VOICE {
  struct MATRIX {
    Korvel::K_IXAudio2Voice* destination;
    uint32_t sources, destinations;
    std::vector<float> values;
  };
  struct FILTER {
    Korvel::K_IXAudio2Voice* destination;
    XAUDIO2_FILTER_PARAMETERS parameters;
  };
  std::vector<MATRIX> matrices;
  std::vector<FILTER> filters;
  std::vector<float> ratios;
  HRESULT STDMETHODCALLTYPE SetOutputMatrix(Korvel::K_IXAudio2Voice* destination, uint32_t sources,
                                            uint32_t destinations, const float* matrix, uint32_t) override {
    matrices.push_back({destination, sources, destinations, std::vector<float>(matrix, matrix + sources * destinations)});
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE SetOutputFilterParameters(Korvel::K_IXAudio2Voice* destination, const void* parameters,
                                                      uint32_t) override {
    filters.push_back({destination, *static_cast<const XAUDIO2_FILTER_PARAMETERS*>(parameters)});
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE SetFrequencyRatio(float ratio, uint32_t) override {
    ratios.push_back(ratio);
    return S_OK;
  }
  int calls() const { return (int)(matrices.size() + filters.size() + ratios.size()); }
};

// X3DAudioCalculate in the middle: records the flags and channel counts, then either calls
// the real one or writes a scripted result.
struct CALCULATION {
  uint32_t flags = 0, sources = 0, destinations = 0;
  int calls = 0;
  X3DAUDIO_DSP_SETTINGS result = {};
  std::vector<float> matrix;
};
X3DAUDIO_CALCULATE_FN realCalculate = nullptr;
bool scripted = false;
CALCULATION scriptedResult;
CALCULATION seen;

void __cdecl RecordingCalculate(const uint8_t* handle, const X3DAUDIO_LISTENER* listener,
                                const X3DAUDIO_EMITTER* emitter, uint32_t flags, void* settings) {
  X3DAUDIO_DSP_SETTINGS* dsp = static_cast<X3DAUDIO_DSP_SETTINGS*>(settings);
  seen.flags = flags;
  seen.sources = dsp->SrcChannelCount;
  seen.destinations = dsp->DstChannelCount;
  seen.calls++;
  if (scripted) {
    float* matrix = dsp->pMatrixCoefficients;
    *dsp = scriptedResult.result;
    dsp->pMatrixCoefficients = matrix;
    dsp->SrcChannelCount = seen.sources;
    dsp->DstChannelCount = seen.destinations;
    for (size_t i = 0; i < scriptedResult.matrix.size(); i++) matrix[i] = scriptedResult.matrix[i];
  } else {
    realCalculate(handle, listener, emitter, flags, settings);
  }
  seen.result = *dsp;
  seen.matrix.assign(dsp->pMatrixCoefficients, dsp->pMatrixCoefficients + seen.sources * seen.destinations);
}

class Sound3D : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { ASSERT_EQ(StartSoundTestLibrary(), 0); }
  static void TearDownTestSuite() {
    RestartSound({});
    EndLibrary();
  }
  void TearDown() override { DeleteHandlesOfType(HANDLE_TYPE_SOUND, nullptr); }
};

// The model of the DirectSound branch on a real DirectSound buffer; the listener stands at
// the origin facing +z with its right to +x; the audible radius is 14.
TEST_F(Sound3D, DirectSoundModelTable) {
  SOUND_TEST_SWITCHES s;
  s.useDirectSound = 1;
  ASSERT_EQ(RestartSound(s), 0);
  ASSERT_EQ(IsDirectSoundMode(), 1);
  int h = Load3D("tone_44k_stereo_half.ogg");
  ASSERT_NE(h, -1);
  SOUND_RECORD* r = LookupSoundRecord(h, 0);
  EXPECT_EQ(r->bufferCount, 1);
  EXPECT_FLOAT_EQ(r->audibleRadius, 14.0f);
  struct ROW {
    float x, y, z;
    int volume, pan;
  } rows[] = {
      {0, 0, 7, -602, 0},            // half the radius ahead: gain 0.5
      {0, 0, 14, -10000, 0},         // at the radius: gain 0
      {0, 0, 20, -10000, 0},         // beyond it
      {7, 0, 0, -639, -1397},        // to the right: cone gain 0.9583, pan capped at 0.8
      {-7, 0, 0, -639, 1397},        // to the left
      {0, 7, 0, -639, 0},            // above: the same cone gain, centred
      {0, 0, -7, -851, 0},           // behind: the outer gain 0.75
      {3.5f, 0, 3.5f, -378, -1066},  // ahead to the right inside the inner cone
      {-10, 0, -10, -10000, 1066},   // outside the radius, on the left
      {0, 0, 0, 0, 0},               // at the listener: full volume, centred
      {0, 0, 1e-4f, 0, 0},           // too close to have a direction
  };
  for (const ROW& row : rows) {
    r->position3D = {row.x, row.y, row.z};
    ASSERT_EQ(Apply3DSoundParams(h, 1), 0);
    EXPECT_EQ(r->buffers[0].volume, row.volume) << row.x << "," << row.y << "," << row.z;
    EXPECT_EQ(r->buffers[0].pan, row.pan) << row.x << "," << row.y << "," << row.z;
    EXPECT_EQ(r->changed3D, 0);
  }
}

// The first start applies the 3D settings over the sound's volume and pan; later starts do
// not apply them again unless forced.
TEST_F(Sound3D, FirstStartAppliesTheModelOnce) {
  SOUND_TEST_SWITCHES s;
  s.useDirectSound = 1;
  ASSERT_EQ(RestartSound(s), 0);
  int h = Load3D("tone_44k_stereo_half.ogg");
  ASSERT_NE(h, -1);
  SOUND_RECORD* r = LookupSoundRecord(h, 0);
  EXPECT_EQ(r->changed3D, 1);
  r->position3D = {0, 0, 7};
  ASSERT_EQ(StartSoundHandle(h, SOUND_PLAY_RETURN, 1), 0);
  EXPECT_EQ(r->buffers[0].volume, -602);
  EXPECT_EQ(r->changed3D, 0);
  r->position3D = {7, 0, 0};
  ASSERT_EQ(StartSoundHandle(h, SOUND_PLAY_RETURN, 1), 0);
  EXPECT_EQ(r->buffers[0].volume, 0);
  EXPECT_EQ(r->buffers[0].pan, 0);
  EXPECT_EQ(Apply3DSoundParams(h, 0), 0);
  EXPECT_EQ(r->buffers[0].pan, 0);
  EXPECT_EQ(Apply3DSoundParams(h, 1), 0);
  EXPECT_EQ(r->buffers[0].pan, -1397);
  StopSoundHandle(h);
  // A deleted handle and a plain sound are refused.
  DeleteHandle(h);
  EXPECT_EQ(Apply3DSoundParams(h, 1), -1);
  SOUND_LOAD_SETTINGS plain;
  FillSoundLoadDefaults(&plain);
  int flat = CreateSoundFromFile(&plain, SoundFixture("tone_44k_stereo_half.ogg").c_str(), 1, -1, 0, 0);
  ASSERT_NE(flat, -1);
  EXPECT_EQ(Apply3DSoundParams(flat, 1), -1);
}

TEST_F(Sound3D, EmitterDefaultsAndChannelLimit) {
  ASSERT_EQ(RestartSound({}), 0);
  int h = Load3D("tone_22k_mono_1s.ogg");
  ASSERT_NE(h, -1);
  SOUND_RECORD* r = LookupSoundRecord(h, 0);
  const X3DAUDIO_EMITTER& e = r->emitter;
  EXPECT_EQ(e.pCone, &r->emitterCone);
  EXPECT_FLOAT_EQ(r->emitterCone.OuterVolume, 1.0f);
  EXPECT_FLOAT_EQ(r->emitterCone.InnerVolume, 0.0f);
  EXPECT_FLOAT_EQ(e.OrientFront.z, 1.0f);
  EXPECT_FLOAT_EQ(e.OrientTop.y, 1.0f);
  EXPECT_FLOAT_EQ(e.InnerRadius, 2.0f);
  EXPECT_NEAR(e.InnerRadiusAngle, 0.785398f, 1e-6);
  EXPECT_EQ(e.ChannelCount, 1u);
  EXPECT_EQ(e.pChannelAzimuths, r->channelAzimuths);
  EXPECT_FLOAT_EQ(e.ChannelRadius, 0.1f);
  EXPECT_FLOAT_EQ(e.CurveDistanceScaler, 14.0f);
  EXPECT_FLOAT_EQ(e.DopplerScaler, 1.0f);
  ASSERT_NE(e.pVolumeCurve, nullptr);
  ASSERT_EQ(e.pVolumeCurve->PointCount, 2u);
  EXPECT_FLOAT_EQ(e.pVolumeCurve->pPoints[1].DSPSetting, 0.0f);
  ASSERT_EQ(e.pLFECurve->PointCount, 3u);
  EXPECT_FLOAT_EQ(e.pLFECurve->pPoints[1].Distance, 0.25f);
  ASSERT_EQ(e.pReverbCurve->PointCount, 3u);
  EXPECT_FLOAT_EQ(e.pReverbCurve->pPoints[0].DSPSetting, 0.5f);
  EXPECT_FLOAT_EQ(e.pReverbCurve->pPoints[1].Distance, 0.75f);
  EXPECT_EQ(e.pLPFDirectCurve, nullptr);
  EXPECT_EQ(e.pLPFReverbCurve, nullptr);
  // The azimuth array holds eight channels: a wider format is described by its first eight.
  for (int channels : {2, 8, 10}) {
    r->channelAzimuths[channels > 8 ? 7 : channels - 1] = 1.0f;
    Set3DSoundChannels(r, channels);
    EXPECT_EQ(e.ChannelCount, (uint32_t)(channels > 8 ? 8 : channels));
    EXPECT_FLOAT_EQ(r->channelAzimuths[channels > 8 ? 7 : channels - 1], 0.0f);
  }
}

// The flags, and what X3DAudio's result sets on the voice: the real calculation for the
// machine's output, a scripted one for a 5.1 output with its LFE speaker.
TEST_F(Sound3D, X3DAudioFlagsAndVoiceSettings) {
  for (bool version27 : {false, true}) {
    {
      ShutDownSoundSystem();
      SetSoundUseDirectSound(0);
      HIDDEN_MODULES hidden(version27 ? std::vector<std::string>{"XAudio2_8.dll"} : std::vector<std::string>{});
      ASSERT_EQ(SetUpSoundSystem(), 0);
    }
    ASSERT_EQ(version27 ? IsXAudio27Running() : IsXAudio28Running(), 1);
    int h = Load3D("tone_44k_stereo_half.ogg");
    ASSERT_NE(h, -1) << version27;
    SOUND_RECORD* r = LookupSoundRecord(h, 0);
    SOUNDBUFFER* b = &r->buffers[0];
    ASSERT_NE(b->submixVoice, nullptr);
    Korvel::K_IXAudio2Voice* mastering = version27 ? static_cast<Korvel::K_IXAudio2Voice*>(SoundSystem.masteringVoice27)
                                                   : SoundSystem.masteringVoice28;
    void* realVoice = b->deviceBuffer;
    realCalculate = SoundSystem.x3dAudioCalculate;
    ASSERT_NE(realCalculate, nullptr);
    SoundSystem.x3dAudioCalculate = RecordingCalculate;
    uint32_t machineMask = SoundSystem.outputChannelMask;
    int machineChannels = SoundSystem.outputChannelCount;
    struct CASE {
      const char* what;
      uint32_t mask;
      int channels;
      bool script;
      uint32_t flags;
    } cases[] = {
        {"machine output", machineMask & ~0x8u, machineChannels, false, 0x3D},
        {"5.1 output", 0x3F, 6, true, 0x2003D},
    };
    for (const CASE& c : cases) {
      MATRIX_VOICE voice;
      b->deviceBuffer = &voice;
      SoundSystem.outputChannelMask = c.mask;
      SoundSystem.outputChannelCount = c.channels;
      scripted = c.script;
      scriptedResult = CALCULATION();
      scriptedResult.result.DopplerFactor = 1.25f;
      scriptedResult.result.LPFDirectCoefficient = 0.5f;
      scriptedResult.result.LPFReverbCoefficient = 1.0f;
      scriptedResult.result.ReverbLevel = 0.3f;
      for (int i = 0; i < 2 * c.channels; i++) scriptedResult.matrix.push_back(0.1f * (float)(i + 1));
      seen = CALCULATION();
      r->position3D = {3, 0, 4};
      r->emitter.Position = {3, 0, 4};
      ASSERT_EQ(Apply3DSoundParams(h, 1), 0) << c.what;
      EXPECT_EQ(seen.calls, 1) << c.what;
      EXPECT_EQ(seen.flags, c.flags) << c.what << version27;
      EXPECT_EQ(seen.sources, 2u) << c.what;
      EXPECT_EQ(seen.destinations, (uint32_t)c.channels) << c.what;
      if (c.script) {
        EXPECT_EQ(seen.matrix, scriptedResult.matrix) << c.what;
      } else {
        // Still, no velocity: no Doppler shift; the reverb curve sends something.
        EXPECT_FLOAT_EQ(seen.result.DopplerFactor, 1.0f) << c.what << version27;
        EXPECT_GT(seen.result.ReverbLevel, 0.0f) << c.what << version27;
      }
      ASSERT_EQ(voice.ratios.size(), 1u) << c.what;
      EXPECT_FLOAT_EQ(voice.ratios[0], seen.result.DopplerFactor) << c.what;
      ASSERT_EQ(voice.matrices.size(), 2u) << c.what;
      EXPECT_EQ(voice.matrices[0].destination, mastering) << c.what;
      EXPECT_EQ(voice.matrices[0].sources, 2u) << c.what;
      EXPECT_EQ(voice.matrices[0].destinations, (uint32_t)c.channels) << c.what;
      EXPECT_EQ(voice.matrices[0].values, seen.matrix) << c.what;
      EXPECT_EQ(voice.matrices[1].destination, b->submixVoice) << c.what;
      EXPECT_EQ(voice.matrices[1].sources, 2u) << c.what;
      EXPECT_EQ(voice.matrices[1].destinations, 2u) << c.what;
      EXPECT_EQ(voice.matrices[1].values, std::vector<float>(4, seen.result.ReverbLevel)) << c.what;
      ASSERT_EQ(voice.filters.size(), 2u) << c.what;
      EXPECT_EQ(voice.filters[0].destination, mastering) << c.what;
      EXPECT_EQ(voice.filters[1].destination, b->submixVoice) << c.what;
      float coefficients[2] = {seen.result.LPFDirectCoefficient, seen.result.LPFReverbCoefficient};
      for (int i = 0; i < 2; i++) {
        EXPECT_EQ(voice.filters[i].parameters.Type, 0u) << c.what;
        EXPECT_NEAR(voice.filters[i].parameters.Frequency, 2.0 * std::sin(0.5235988 * coefficients[i]), 1e-5)
            << c.what << i;
        EXPECT_FLOAT_EQ(voice.filters[i].parameters.OneOverQ, 1.0f) << c.what;
      }
      if (c.script) {
        EXPECT_FLOAT_EQ(voice.filters[0].parameters.Frequency, 0.517638f) << c.what;  // 2 sin(pi / 12)
        EXPECT_FLOAT_EQ(voice.filters[1].parameters.Frequency, 1.0f) << c.what;       // 2 sin(pi / 6)
      }
      // Unchanged and not forced: nothing is applied again.
      EXPECT_EQ(Apply3DSoundParams(h, 0), 0);
      EXPECT_EQ(voice.calls(), 5) << c.what;
      EXPECT_EQ(seen.calls, 1) << c.what;
    }
    b->deviceBuffer = realVoice;
    SoundSystem.x3dAudioCalculate = realCalculate;
    SoundSystem.outputChannelMask = machineMask;
    SoundSystem.outputChannelCount = machineChannels;
    // A real start on the real voices applies the real calculation once.
    r->changed3D = 1;
    EXPECT_EQ(StartSoundHandle(h, SOUND_PLAY_RETURN, 1), 0);
    EXPECT_EQ(r->changed3D, 0);
    StopSoundHandle(h);
    DeleteHandle(h);
  }
}
}  // namespace
