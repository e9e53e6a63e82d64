// The I3DL2 reverb environments (Forest first, the rest in their usual order) and their
// conversion to XAudio2's native reverb parameters.
#include <cmath>

#include "sound/sound_system.h"

// Wet/dry mix, room, room HF, room rolloff, decay time, decay HF ratio, reflections,
// reflections delay, reverb, reverb delay, diffusion, density, HF reference.
const XAUDIO2FX_REVERB_I3DL2_PARAMETERS SoundReverbPresets[SOUND_REVERB_PRESET_COUNT] = {
    {100, -1000, -3300, 0.0f, 1.49f, 0.54f, -2560, 0.162f, -613, 0.088f, 79.0f, 100.0f, 5000.0f},     // Forest
    {100, -10000, 0, 0.0f, 1.00f, 0.50f, -10000, 0.020f, -10000, 0.040f, 100.0f, 100.0f, 5000.0f},    // Default
    {100, -1000, -100, 0.0f, 1.49f, 0.83f, -2602, 0.007f, 200, 0.011f, 100.0f, 100.0f, 5000.0f},      // Generic
    {100, -1000, -6000, 0.0f, 0.17f, 0.10f, -1204, 0.001f, 207, 0.002f, 100.0f, 100.0f, 5000.0f},     // PaddedCell
    {100, -1000, -454, 0.0f, 0.40f, 0.83f, -1646, 0.002f, 53, 0.003f, 100.0f, 100.0f, 5000.0f},       // Room
    {100, -1000, -1200, 0.0f, 1.49f, 0.54f, -370, 0.007f, 1030, 0.011f, 100.0f, 60.0f, 5000.0f},      // Bathroom
    {100, -1000, -6000, 0.0f, 0.50f, 0.10f, -1376, 0.003f, -1104, 0.004f, 100.0f, 100.0f, 5000.0f},   // LivingRoom
    {100, -1000, -300, 0.0f, 2.31f, 0.64f, -711, 0.012f, 83, 0.017f, 100.0f, 100.0f, 5000.0f},        // StoneRoom
    {100, -1000, -476, 0.0f, 4.32f, 0.59f, -789, 0.020f, -289, 0.030f, 100.0f, 100.0f, 5000.0f},      // Auditorium
    {100, -1000, -500, 0.0f, 3.92f, 0.70f, -1230, 0.020f, -2, 0.029f, 100.0f, 100.0f, 5000.0f},       // ConcertHall
    {100, -1000, 0, 0.0f, 2.91f, 1.30f, -602, 0.015f, -302, 0.022f, 100.0f, 100.0f, 5000.0f},         // Cave
    {100, -1000, -698, 0.0f, 7.24f, 0.33f, -1166, 0.020f, 16, 0.030f, 100.0f, 100.0f, 5000.0f},       // Arena
    {100, -1000, -1000, 0.0f, 10.05f, 0.23f, -602, 0.020f, 198, 0.030f, 100.0f, 100.0f, 5000.0f},     // Hangar
    {100, -1000, -4000, 0.0f, 0.30f, 0.10f, -1831, 0.002f, -1630, 0.030f, 100.0f, 100.0f, 5000.0f},   // CarpetedHallway
    {100, -1000, -300, 0.0f, 1.49f, 0.59f, -1219, 0.007f, 441, 0.011f, 100.0f, 100.0f, 5000.0f},      // Hallway
    {100, -1000, -237, 0.0f, 2.70f, 0.79f, -1214, 0.013f, 395, 0.020f, 100.0f, 100.0f, 5000.0f},      // StoneCorridor
    {100, -1000, -270, 0.0f, 1.49f, 0.86f, -1204, 0.007f, -4, 0.011f, 100.0f, 100.0f, 5000.0f},       // Alley
    {100, -1000, -800, 0.0f, 1.49f, 0.67f, -2273, 0.007f, -2217, 0.011f, 50.0f, 100.0f, 5000.0f},     // City
    {100, -1000, -2500, 0.0f, 1.49f, 0.21f, -2780, 0.300f, -2014, 0.100f, 27.0f, 100.0f, 5000.0f},    // Mountains
    {100, -1000, -1000, 0.0f, 1.49f, 0.83f, -10000, 0.061f, 500, 0.025f, 100.0f, 100.0f, 5000.0f},    // Quarry
    {100, -1000, -2000, 0.0f, 1.49f, 0.50f, -2466, 0.179f, -2514, 0.100f, 21.0f, 100.0f, 5000.0f},    // Plain
    {100, -1000, 0, 0.0f, 1.65f, 1.50f, -1363, 0.008f, -1153, 0.012f, 100.0f, 100.0f, 5000.0f},       // ParkingLot
    {100, -1000, -1000, 0.0f, 2.81f, 0.14f, 429, 0.014f, 648, 0.021f, 80.0f, 60.0f, 5000.0f},         // SewerPipe
    {100, -1000, -4000, 0.0f, 1.49f, 0.10f, -449, 0.007f, 1700, 0.011f, 100.0f, 100.0f, 5000.0f},     // Underwater
    {100, -1000, -600, 0.0f, 1.10f, 0.83f, -400, 0.005f, 500, 0.010f, 100.0f, 100.0f, 5000.0f},       // SmallRoom
    {100, -1000, -600, 0.0f, 1.30f, 0.83f, -1000, 0.010f, -200, 0.020f, 100.0f, 100.0f, 5000.0f},     // MediumRoom
    {100, -1000, -600, 0.0f, 1.50f, 0.83f, -1600, 0.020f, -1000, 0.040f, 100.0f, 100.0f, 5000.0f},    // LargeRoom
    {100, -1000, -600, 0.0f, 1.80f, 0.70f, -1300, 0.015f, -800, 0.030f, 100.0f, 100.0f, 5000.0f},     // MediumHall
    {100, -1000, -600, 0.0f, 1.80f, 0.70f, -2000, 0.030f, -1400, 0.060f, 100.0f, 100.0f, 5000.0f},    // LargeHall
    {100, -1000, -200, 0.0f, 1.30f, 0.90f, 0, 0.002f, 0, 0.010f, 100.0f, 75.0f, 5000.0f},             // Plate
};

namespace {
// Native defaults the I3DL2 model has no counterpart for.
const int kRearDelay = 5;
const int kPosition = 6;
const int kPositionMatrix = 27;
const float kRoomSize = 100.0f;
const int kLowEqCutoff = 4;
const int kHighEqCutoff = 6;
const int kMaxReflectionsDelayMs = 300;
const int kMaxReverbDelayMs = 85;

// An EQ gain step from the decay HF ratio: 8 is flat, each step below is a quarter decade.
int EqGainStep(float ratio) {
  int index = (int)(4.0 * std::log10((double)ratio));
  if (index < -8) index = -8;
  return index < 0 ? index + 8 : 8;
}
}  // namespace

void ConvertI3DL2ToNativeReverb27(const XAUDIO2FX_REVERB_I3DL2_PARAMETERS* in, XAUDIO2FX_REVERB_PARAMETERS27* out) {
  out->RearDelay = kRearDelay;
  out->PositionLeft = out->PositionRight = kPosition;
  out->PositionMatrixLeft = out->PositionMatrixRight = kPositionMatrix;
  out->RoomSize = kRoomSize;
  out->LowEQCutoff = kLowEqCutoff;
  out->HighEQCutoff = kHighEqCutoff;
  out->RoomFilterMain = (float)in->Room / 100.0f;
  out->RoomFilterHF = (float)in->RoomHF / 100.0f;
  // A ratio above 1 (high frequencies decay slower) is made by cutting the lows and
  // lengthening the decay; below 1 by cutting the highs.
  if (in->DecayHFRatio >= 1.0f) {
    out->LowEQGain = (BYTE)EqGainStep(1.0f / in->DecayHFRatio);
    out->HighEQGain = 8;
    out->DecayTime = in->DecayTime * in->DecayHFRatio;
  } else {
    out->LowEQGain = 8;
    out->HighEQGain = (BYTE)EqGainStep(in->DecayHFRatio);
    out->DecayTime = in->DecayTime;
  }
  float reflectionsDelay = in->ReflectionsDelay * 1000.0f;
  if (reflectionsDelay >= kMaxReflectionsDelayMs) reflectionsDelay = (float)(kMaxReflectionsDelayMs - 1);
  if (reflectionsDelay <= 1) reflectionsDelay = 1;
  out->ReflectionsDelay = (uint32_t)reflectionsDelay;
  float reverbDelay = in->ReverbDelay * 1000.0f;
  if (reverbDelay >= kMaxReverbDelayMs) reverbDelay = (float)(kMaxReverbDelayMs - 1);
  out->ReverbDelay = (BYTE)reverbDelay;
  out->ReflectionsGain = (float)in->Reflections / 100.0f;
  out->ReverbGain = (float)in->Reverb / 100.0f;
  out->EarlyDiffusion = (BYTE)(15.0f * in->Diffusion / 100.0f);
  out->LateDiffusion = out->EarlyDiffusion;
  out->Density = in->Density;
  out->RoomFilterFreq = in->HFReference;
  out->WetDryMix = in->WetDryMix;
}

void ConvertI3DL2ToNativeReverb28(const XAUDIO2FX_REVERB_I3DL2_PARAMETERS* in, XAUDIO2FX_REVERB_PARAMETERS28* out,
                                  int disableLateField) {
  ConvertI3DL2ToNativeReverb27(in, &out->common);
  out->DisableLateField = disableLateField ? TRUE : FALSE;
}
