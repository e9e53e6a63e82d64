// Helpers of the sound test programs: fixture paths, a library started for sound tests,
// restarting the sound system under other switches, and log checks.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

#include "korvel.h"
#include "sound/sound_system.h"
#include "system/base/window_state.h"
#include "test_support.h"

extern WINDOW_STATE WindowState;

// A fixture written by the build's Ogg generator (the test runs in build/testrun/<name>).
inline std::string SoundFixture(const char* name) { return std::string("../../fixtures/sound/") + name; }

// The library in a window that plays on while inactive (no test waits for focus).
inline int StartSoundTestLibrary() {
  ChangeWindowMode(1);
  SetRunWhileInactive(1);
  return InitLibrary();
}

// Switches of one sound set-up; the processor count decides whether the sound thread runs.
struct SOUND_TEST_SWITCHES {
  int softwareMode = 0;
  int useDirectSound = 0;
  int midiMode = 0;
  int processors = 0;  // 0 keeps the machine's count
};

// Ends the running sound system and sets it up again with the switches; returns the set-up's
// result. The machine's processor count is put back by the next call with processors 0.
inline int RestartSound(const SOUND_TEST_SWITCHES& s) {
  static int machineProcessors = 0;
  if (machineProcessors == 0) machineProcessors = WindowState.logicalProcessorCount;
  ShutDownSoundSystem();
  SetSoundSoftwareMode(s.softwareMode);
  SetSoundUseDirectSound(s.useDirectSound);
  SetSoundMidiMode(s.midiMode);
  WindowState.logicalProcessorCount = s.processors != 0 ? s.processors : machineProcessors;
  return SetUpSoundSystem();
}

// The position of each text in the log, in order; npos (and a failure) for a missing one.
inline ::testing::AssertionResult LogHasInOrder(const std::string& log, const std::vector<std::string>& texts,
                                               size_t from = 0) {
  size_t at = from;
  for (const std::string& text : texts) {
    size_t found = log.find(text, at);
    if (found == std::string::npos)
      return ::testing::AssertionFailure() << "missing after offset " << at << ": " << text;
    at = found + text.size();
  }
  return ::testing::AssertionSuccess();
}
