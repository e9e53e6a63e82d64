// Movie playback: starting, suspending and resuming, and advancing a movie to the frame due
// now each time a graph that shows it is drawn. A Theora movie runs on the microsecond clock,
// or on its sound track's play time when it has one; a DirectShow movie runs on its graph and
// hands over the renderer's newest frame.
#include <cmath>

#include "korvel.h"
#include "movie/movie_handles.h"
#include "movie/movie_renderer.h"

namespace {
bool Loops(const MOVIE_RECORD* m) { return (m->playType & MOVIE_LOOP_BIT) != 0; }

// A frame rate that can be divided by and multiplied with (not 0, negative or NaN).
bool UsableRate(double fps) { return fps > 0 && std::isfinite(fps); }

// The frame shown t microseconds after frame 0, never negative.
int FrameAtTime(int64_t t, double fps) {
  double frame = std::trunc((double)t * fps / 1000000.0);
  if (!(frame > 0)) return 0;
  return frame >= 2147483647.0 ? 2147483647 : (int)frame;
}

// The sound track of a playing movie has played to its end: its play time reached its length,
// or it no longer plays (the movie stops it only when the movie itself stops).
bool SoundTrackEnded(HANDLE_VALUE sound) {
  if (IsSoundHandlePlaying(sound) == 0) return true;
  int total = GetSoundHandleTotalTime(sound);
  return total >= 0 && GetSoundHandlePlayTime(sound) >= total;
}

// The frame a playing Theora movie should show now.
int TheoraTargetFrame(MOVIE_RECORD* m, double fps, int count) {
  if (m->sound != -1) {
    // A looping movie's track plays once per loop: its play time stops at its length, so at
    // its end sound and frames start again together.
    if (Loops(m) && SoundTrackEnded(m->sound)) {
      StartSoundHandle(m->sound, SOUND_PLAY_RETURN, 1);
      return 0;
    }
    // A track that has played out stops and its play time goes back to 0; the clock stays at
    // the track's end, so the movie holds the frame of that moment instead of starting over.
    int ms = GetSoundHandlePlayTime(m->sound);
    if (IsSoundHandlePlaying(m->sound) == 0) {
      ms = GetSoundHandleTotalTime(m->sound);
      if (ms < 0) return count - 1;
    }
    int target = FrameAtTime((int64_t)ms * 1000, fps);
    return target >= count ? count - 1 : target;
  }
  int target = FrameAtTime(GetMicrosecondCount() - m->startTime, fps);
  if (target < count) return target;
  return Loops(m) ? target % count : count - 1;
}

void AdvanceTheoraMovie(MOVIE_RECORD* m) {
  THEORA_MOVIE_INFO info = {};
  GetTheoraInfo(m->decoder, &info);
  int count = info.frameCount, current = GetTheoraCurrentFrame(m->decoder);
  if (!m->stopped && count > 0 && UsableRate(info.framesPerSecond)) {
    int target = TheoraTargetFrame(m, info.framesPerSecond, count);
    if (target != current) {
      StepTheoraFrames(m->decoder, target > current ? target - current : count - current + target);
    } else if (current == count - 1 && !Loops(m) && m->sound == -1) {
      m->resume = 0;
      m->stopped = 1;
    }
  }
  if (m->frameCallback != nullptr) m->frameCallback(m, m->userData);
}

void AdvanceGraphMovie(MOVIE_RECORD* m) {
  Korvel::K_CMovieFrameRenderer* r = m->renderer;
  MOVIE_FRAME* frame = r != nullptr ? MovieRendererTakeFrame(r) : nullptr;
  if (frame != nullptr && m->frameCallback == nullptr) {
    MovieRendererGiveBackFrame(r, frame);
  } else if (frame != nullptr) {
    // The record holds the frame while the callback copies it: the streaming thread writes
    // into other frames, and a change of media type does not free this one.
    MovieRendererGiveBackFrame(r, m->heldFrame);
    m->heldFrame = frame;
    DescribeMovieFrame(frame, &m->frameImage);
    m->pixelsBorrowed = 1;
    m->image = &m->frameImage;
    m->frameCallback(m, m->userData);
  }
  // A stop position of 0 means the graph gave none: the end is unknown, not reached.
  if (m->mediaSeeking == nullptr || m->mediaControl == nullptr || m->stopPosition <= 0) return;
  LONGLONG position = 0;
  if (FAILED(m->mediaSeeking->GetCurrentPosition(&position)) || position < m->stopPosition) return;
  if (Loops(m)) {
    LONGLONG start = 0;
    m->mediaSeeking->SetPositions(&start, AM_SEEKING_AbsolutePositioning, nullptr, AM_SEEKING_NoPositioning);
    m->mediaControl->Run();
  } else {
    m->mediaControl->Pause();
    m->resume = 0;
    m->stopped = 1;
  }
}
}  // namespace

int StartMovieHandle(HANDLE_VALUE handle, int playType, int resumeOnly) {
  MOVIE_RECORD* m = GetMovieRecord(handle);
  if (m == nullptr) return -1;
  if (playType == -1) playType = m->playType;
  if (playType == 0) playType = MOVIE_PLAY_ONCE;
  if (!m->stopped) return 0;
  if (resumeOnly == 1 && m->resume == 0) return 0;
  if (m->theora) {
    THEORA_MOVIE_INFO info = {};
    GetTheoraInfo(m->decoder, &info);
    // The time already shown, in 64 bits: past 2^31 microseconds (about 35.8 minutes) a
    // 32-bit time would send a resumed movie back to its start.
    int64_t shown = 0;
    if (UsableRate(info.framesPerSecond)) {
      double t = 1000000.0 / info.framesPerSecond * GetTheoraCurrentFrame(m->decoder);
      shown = t > 0 && t < 9.0e18 ? (int64_t)t : 0;
    }
    m->startTime = GetMicrosecondCount() - shown;
    // The track plays once even for a looping movie: the loop restarts it with the frames.
    if (m->sound != -1) StartSoundHandle(m->sound, SOUND_PLAY_RETURN, 0);
  } else if (m->mediaControl != nullptr) {
    m->mediaControl->Run();
  }
  m->stopped = 0;
  m->playType = playType;
  m->resume = 1;
  return 0;
}

int SuspendMovieHandle(HANDLE_VALUE handle, int keepResume) {
  MOVIE_RECORD* m = GetMovieRecord(handle);
  if (m == nullptr) return -1;
  if (m->stopped) return 0;
  if (m->theora) {
    // The shown frame catches up with the clock before the track stops (a stopped track is
    // not taken for one that ended).
    AdvanceMovieFrame(handle, 0);
    if (m->sound != -1) StopSoundHandle(m->sound);
  } else {
    if (m->mediaControl == nullptr) return 0;
    m->mediaControl->Pause();
  }
  m->stopped = 1;
  if (keepResume == 0) m->resume = 0;
  return 0;
}

int ResumeAllMovies() {
  if (!MovieSystem.setUp) return -1;
  int cursor = -1;
  while (HANDLE_HEAD* m = NextHandleRecord(HANDLE_TYPE_MOVIE, &cursor)) StartMovieHandle(m->handle, -1, 1);
  return 0;
}

int SuspendAllMovies() {
  if (!MovieSystem.setUp) return -1;
  int cursor = -1;
  while (HANDLE_HEAD* m = NextHandleRecord(HANDLE_TYPE_MOVIE, &cursor)) SuspendMovieHandle(m->handle, 1);
  return 0;
}

int AdvanceMovieFrame(HANDLE_VALUE handle, int ignored) {
  (void)ignored;
  MOVIE_RECORD* m = GetMovieRecord(handle);
  if (m == nullptr) return -1;
  if (m->theora) AdvanceTheoraMovie(m);
  else AdvanceGraphMovie(m);
  return 0;
}
