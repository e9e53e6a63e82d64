// The sound thread: on machines with more than one logical processor it refills the stream
// sounds and the soft-sound players every 10 ms at time-critical priority (otherwise the
// message pump does it).
#include "sound/sound_platform.h"

#include "korvel.h"
#include "sound/soft_sound.h"
#include "sound/sound_handles.h"
#include "sound/sound_system.h"
#include "system/base/pump.h"
#include "system/base/window_state.h"

namespace {
const DWORD kRefillIntervalMs = 10;
const DWORD kStopPollMs = 2;

DWORD WINAPI RunStreamSoundThread(LPVOID) {
  while (SoundSystem.soundThreadStop != 1 && SoundSystem.started) {
    RefillStreamSounds();
    // The stream lock is left before the players' lock is taken: never both at once.
    LockHandleType(HANDLE_TYPE_SOFT_SOUND);
    if (SoundSystem.device != nullptr) RefillSoftSoundPlayers();
    UnlockHandleType(HANDLE_TYPE_SOFT_SOUND);
    Sleep(kRefillIntervalMs);
  }
  InterlockedExchange(&SoundSystem.soundThreadStop, 2);
  return 0;
}
}  // namespace

int StartSoundThread() {
  SOUND_SYSTEM_STATE& s = SoundSystem;
  s.soundThreadStop = 0;
  if (WindowState.logicalProcessorCount <= 1) return 0;
  s.soundThread = CreateThread(nullptr, 0, RunStreamSoundThread, nullptr, CREATE_SUSPENDED, &s.soundThreadId);
  if (s.soundThread == nullptr) return -1;
  SetThreadPriority(s.soundThread, THREAD_PRIORITY_TIME_CRITICAL);
  ResumeThread(s.soundThread);
  return 0;
}

int StopSoundThread() {
  SOUND_SYSTEM_STATE& s = SoundSystem;
  if (s.soundThread == nullptr) return 0;
  InterlockedExchange(&s.soundThreadStop, 1);
  int pumped = PumpWindowMessages();
  while (pumped == 0 && s.soundThreadStop == 1) {
    Sleep(kStopPollMs);
    pumped = PumpWindowMessages();
  }
  // The answer comes just before the thread leaves, and a quit ends the pumping early: the
  // thread must have ended before the handle types and their locks go.
  WaitForSingleObject(s.soundThread, INFINITE);
  CloseHandle(s.soundThread);
  s.soundThread = nullptr;
  s.soundThreadId = 0;
  return 0;
}

// Without a sound thread (one logical processor) the pump refills the streams and players.
int RefillSoundsFromPump() {
  if (SoundSystem.soundThread != nullptr) return 0;
  int streams = RefillStreamSounds();
  int players = RefillSoftSoundPlayers();
  return streams < 0 || players < 0 ? -1 : 0;
}
