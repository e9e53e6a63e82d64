// Movie handles on the real device under Wine: a Theora file loaded as a graph, its frames
// drawn and read back as the clock moves, looping, pausing, suspending and resuming; the sound
// track as the clock (a looping movie with sound starts over with its track); seeded random
// starts, stops, suspensions and draws over movies of 1 to 40 frames, each draw showing the
// current frame; a movie started after its whole duration; a resumed movie more than 2^31
// microseconds in; the movie going with its graph; the frame shown again after a device
// re-creation; and a file that cannot be opened at all. Sequences that could stall run on a
// thread of their own, so a stall fails the test instead of hanging it.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>
#include <string>

#include "graphics/graphs/graph_handles.h"
#include "graphics/graphs/graph_load.h"
#include "movie/movie_graph.h"
#include "graphics/graphs/graph_textures.h"
#include "graphics/lifecycle/device_restore.h"
#include "movie/movie_handles.h"
#include "movie_fixture.h"
#include "read_back.h"
#include "real_device.h"

namespace {
using namespace movie_test;

// Frames copied from the movie's image carry the tables' colours exactly (give or take the
// texture format's rounding); the device's own YUV conversion of the overlay is not the
// tables', so through the overlay a frame is only known to within a few frames' luma steps.
int IdentityOfColor(uint32_t c, bool overlay) {
  int distance = 0, k = NearestIdentity(c, &distance);
  if (c == 0) return -1;  // nothing drawn
  return overlay || distance <= 6 ? k : -1;
}
int Tolerance(bool overlay) { return overlay ? 3 : 0; }

// The device's creation of YUV offscreen surfaces, refused while set, so that the movies opened
// meanwhile have no overlay and their graphs take the image path.
DEVICE_CALL_TABLE realCalls;
bool refuseOverlays = false;
void WatchOverlayCreation() {
  realCalls = DeviceCalls;
  DeviceCalls.DeviceCreateOffscreenSurface = [](UINT w, UINT h, D3DFORMAT format, D3DPOOL pool,
                                                IDirect3DSurface9** out, HANDLE* shared) -> HRESULT {
    bool yuv = format == (D3DFORMAT)MAKEFOURCC('Y', 'V', '1', '2') || format == (D3DFORMAT)MAKEFOURCC('Y', 'U', 'Y', '2') ||
               format == (D3DFORMAT)MAKEFOURCC('U', 'Y', 'V', 'Y');
    if (yuv && refuseOverlays) return D3DERR_NOTAVAILABLE;
    return realCalls.DeviceCreateOffscreenSurface(w, h, format, pool, out, shared);
  };
}

class MoviePlayback : public ::testing::Test {
 protected:
  void SetUp() override {
    StartRealDevice();
    WatchOverlayCreation();
    refuseOverlays = true;
  }
  void TearDown() override {
    DeviceCalls = realCalls;
    EndRealDevice();
  }

  HANDLE_VALUE LoadMovieGraph(const std::string& name) {
    GRAPH_LOAD_PARAM settings;
    CaptureGraphLoadParam(&settings);
    return LoadGraphFromFile(&settings, 0, -1, MoviePath(name).c_str(), 0, 0, 0);
  }
  static HANDLE_VALUE MovieOf(HANDLE_VALUE graph) {
    GRAPH_RECORD* g = GetGraphRecord(graph, 0);
    return g != nullptr ? g->movieHandle : -1;
  }
  // Draws the graph (which advances its movie), presents, and names the frame on the screen.
  static int DrawnIdentity(HANDLE_VALUE graph, bool overlay = false) {
    ResetDrawing();
    EXPECT_EQ(DrawGraphAt(10, 10, graph, 0), 0);
    PICTURE p = FlipAndRead();
    if (p.width == 0) return -2;
    return IdentityOfColor(p.At(20, 20), overlay);
  }
  static int CurrentFrame(HANDLE_VALUE movie) { return GetTheoraCurrentFrame(GetMovieRecord(movie)->decoder); }
  // Draws until the screen shows the frame the movie stands on (the decode thread may still be
  // making it); false when it never does.
  static bool ShowsCurrentFrame(HANDLE_VALUE graph, bool overlay = false) {
    return WaitFor([&] {
      int shown = DrawnIdentity(graph, overlay);
      return shown >= 0 && abs(shown - CurrentFrame(MovieOf(graph)) % 50) <= Tolerance(overlay);
    });
  }
};

TEST_F(MoviePlayback, TheoraGraphShowsItsFramesOnTheClockLoopingAndEnding) {
  HANDLE_VALUE graph = LoadMovieGraph("multi.ogv");  // 40 frames at 30 per second, no sound
  ASSERT_GE(graph, 0);
  HANDLE_VALUE movie = MovieOf(graph);
  MOVIE_RECORD* m = GetMovieRecord(movie);
  ASSERT_NE(m, nullptr);
  EXPECT_EQ(m->theora, 1);
  EXPECT_EQ(m->sound, -1);
  EXPECT_EQ(m->stopped, 1);
  EXPECT_EQ(m->resume, 0);
  EXPECT_EQ(m->playType, MOVIE_PLAY_ONCE);
  int w = 0, h = 0;
  GetGraphOrScreenSize(graph, &w, &h);
  EXPECT_EQ(w, 64);
  EXPECT_EQ(h, 48);

  // A new movie is stopped: drawing shows frame 0 and does not step it.
  EXPECT_EQ(DrawnIdentity(graph), 0);
  m->startTime -= 5000000;
  EXPECT_EQ(DrawnIdentity(graph), 0);
  EXPECT_EQ(CurrentFrame(movie), 0);

  // Looping: 10.5 s in, frame 315 of a 40-frame movie is frame 35.
  ASSERT_EQ(StartMovieHandle(movie, MOVIE_PLAY_LOOP, 0), 0);
  EXPECT_EQ(m->stopped, 0);
  EXPECT_EQ(m->resume, 1);
  m->startTime = GetMicrosecondCount() - 10500000;
  AdvanceMovieFrame(movie, 0);
  EXPECT_EQ(CurrentFrame(movie), 35);
  EXPECT_TRUE(ShowsCurrentFrame(graph));
  // A start of a playing movie changes nothing, not even the play type.
  EXPECT_EQ(StartMovieHandle(movie, MOVIE_PLAY_ONCE, 0), 0);
  EXPECT_EQ(m->playType, MOVIE_PLAY_LOOP);

  // Paused by a caller: the clock no longer moves the frame, and resuming all leaves it.
  ASSERT_EQ(SuspendMovieHandle(movie, 0), 0);
  EXPECT_EQ(m->stopped, 1);
  EXPECT_EQ(m->resume, 0);
  int paused = CurrentFrame(movie);
  m->startTime -= 2000000;
  DrawnIdentity(graph);
  EXPECT_EQ(CurrentFrame(movie), paused);
  EXPECT_EQ(ResumeAllMovies(), 0);
  EXPECT_EQ(m->stopped, 1);

  // Suspending all keeps the resume flag, so resuming all plays it again. (From a frame before
  // the last: on a slow machine the clock may have carried the movie to its last frame, where a
  // movie played once ends on the suspension's own advance.)
  SeekTheoraFrame(m->decoder, 20);
  ASSERT_EQ(StartMovieHandle(movie, 0, 0), 0);
  EXPECT_EQ(m->playType, MOVIE_PLAY_ONCE) << "play type 0 is stored as 1";
  EXPECT_EQ(SuspendAllMovies(), 0);
  EXPECT_EQ(m->stopped, 1);
  EXPECT_EQ(m->resume, 1);
  EXPECT_EQ(ResumeAllMovies(), 0);
  EXPECT_EQ(m->stopped, 0);

  // Without the loop bit the movie stops on its last frame, on the call after it reached it.
  m->startTime = GetMicrosecondCount() - 10500000;
  AdvanceMovieFrame(movie, 0);
  EXPECT_EQ(CurrentFrame(movie), 39);
  EXPECT_EQ(m->stopped, 0);
  EXPECT_TRUE(ShowsCurrentFrame(graph));
  EXPECT_EQ(m->stopped, 1);
  EXPECT_EQ(m->resume, 0);
}

// The track is the clock; a looping movie's track plays once per loop and both start over.
TEST_F(MoviePlayback, LoopingMovieWithSoundStartsTrackAndFramesOverTogether) {
  HANDLE_VALUE graph = LoadMovieGraph("basic.ogv");  // 40 frames, with a Vorbis track as long
  ASSERT_GE(graph, 0);
  HANDLE_VALUE movie = MovieOf(graph);
  MOVIE_RECORD* m = GetMovieRecord(movie);
  ASSERT_NE(m->sound, -1) << "the Vorbis track is the movie's sound";
  ASSERT_EQ(StartMovieHandle(movie, MOVIE_PLAY_LOOP, 0), 0);
  EXPECT_EQ(IsSoundHandlePlaying(m->sound), 1);
  int highest = 0, wraps = 0, previous = 0;
  WaitFor(
      [&] {
        AdvanceMovieFrame(movie, 0);
        int frame = CurrentFrame(movie);
        if (frame > highest) highest = frame;
        if (frame < previous && previous >= 30) wraps++;
        previous = frame;
        return wraps >= 2;
      },
      30000);
  EXPECT_GE(highest, 35) << "the track's clock brought the frames near the end";
  EXPECT_GE(wraps, 2) << "the loop started frames and track over";
  EXPECT_EQ(IsSoundHandlePlaying(m->sound), 1);
  EXPECT_EQ(m->stopped, 0);
  EXPECT_TRUE(ShowsCurrentFrame(graph));
}

TEST_F(MoviePlayback, MovieWithSoundHoldsItsLastFrameWithoutStopping) {
  HANDLE_VALUE graph = LoadMovieGraph("basic.ogv");
  ASSERT_GE(graph, 0);
  HANDLE_VALUE movie = MovieOf(graph);
  MOVIE_RECORD* m = GetMovieRecord(movie);
  ASSERT_NE(m->sound, -1);
  ASSERT_EQ(StartMovieHandle(movie, MOVIE_PLAY_ONCE, 0), 0);
  // The track plays out and stops (its play time then reads 0 again); the frames stay on the
  // last one, however late after the end the movie is advanced.
  int highest = 0;
  EXPECT_TRUE(WaitFor([&] {
    AdvanceMovieFrame(movie, 0);
    if (CurrentFrame(movie) > highest) highest = CurrentFrame(movie);
    return IsSoundHandlePlaying(m->sound) == 0;
  }, 30000)) << "the track ends";
  EXPECT_EQ(highest, 39) << "the track's clock brought the frames to the last one";
  Sleep(50);
  for (int i = 0; i < 3; i++) AdvanceMovieFrame(movie, 0);
  EXPECT_EQ(CurrentFrame(movie), 39);
  EXPECT_EQ(IsSoundHandlePlaying(m->sound), 0);
  EXPECT_EQ(m->stopped, 0);
  EXPECT_EQ(m->resume, 1);
}

TEST_F(MoviePlayback, MovieGoesWithItsGraph) {
  HANDLE_VALUE graph = LoadMovieGraph("multi.ogv");
  ASSERT_GE(graph, 0);
  HANDLE_VALUE movie = MovieOf(graph);
  ASSERT_NE(GetMovieRecord(movie), nullptr);
  EXPECT_EQ(DeleteGraphHandle(graph, 0), 0);
  EXPECT_EQ(GetMovieRecord(movie), nullptr);
  EXPECT_EQ(AdvanceMovieFrame(movie, 0), -1);
  EXPECT_EQ(DeleteMovieHandle(-1), -1);
}

// The graph's textures go with the device; a stopped movie shows its frame again on the new one,
// through the image, and through the overlay (made again for the new device) where the device
// makes YUV surfaces.
TEST_F(MoviePlayback, FrameIsShownAgainAfterTheDeviceIsMadeAgain) {
  for (bool overlay : {false, true}) {
    SCOPED_TRACE(overlay ? "overlay" : "image");
    refuseOverlays = !overlay;
    HANDLE_VALUE graph = LoadMovieGraph("multi.ogv");
    ASSERT_GE(graph, 0);
    HANDLE_VALUE movie = MovieOf(graph);
    MOVIE_RECORD* m = GetMovieRecord(movie);
    bool hasOverlay = GetTheoraOverlaySurface(m->decoder) != nullptr;
    if (overlay && !hasOverlay) {
      RecordProperty("overlay", "none");
      continue;
    }
    EXPECT_EQ(hasOverlay, overlay);
    EXPECT_TRUE(ShowsCurrentFrame(graph, overlay)) << "frame 0 right after opening";
    ASSERT_EQ(StartMovieHandle(movie, MOVIE_PLAY_ONCE, 0), 0);
    m->startTime = GetMicrosecondCount() - 1000000;  // frame 30
    AdvanceMovieFrame(movie, 0);
    ASSERT_EQ(SuspendMovieHandle(movie, 0), 0);
    EXPECT_GE(CurrentFrame(movie), 30);
    EXPECT_TRUE(ShowsCurrentFrame(graph, overlay));
    ASSERT_EQ(RecreateGraphicsDevice(), 0);
    // The overlay went with the old device; only a movie that had one asks for a new one.
    EXPECT_EQ(GetTheoraOverlaySurface(m->decoder), nullptr);
    EXPECT_EQ(m->decoder->overlayLost, overlay ? 1 : 0);
    EXPECT_TRUE(ShowsCurrentFrame(graph, overlay));
    if (overlay) {
      EXPECT_EQ(m->decoder->overlayLost, 0) << "made again by the first draw";
    }
    EXPECT_EQ(GetTheoraOverlaySurface(m->decoder) != nullptr, overlay);
    EXPECT_EQ(DeleteGraphHandle(graph, 0), 0);
  }
}

TEST_F(MoviePlayback, FileThatCannotBeOpenedFailsBothWaysAndLeavesNoHandle) {
  int option = 0;
  EXPECT_EQ(CreateMovieFromFile(&option, "no such movie.ogv", nullptr, nullptr, 0, 0), -1);
  std::string log = ReadLog();
  EXPECT_NE(log.find("ファイル:no such movie.ogv が開けませんでした"), std::string::npos) << log;
  EXPECT_NE(log.find("ムービーファイルオープン処理時にエラーが発生しました"), std::string::npos);
  int cursor = -1;
  EXPECT_EQ(NextHandleRecord(HANDLE_TYPE_MOVIE, &cursor), nullptr);

  // A graph of a file that is neither image nor movie: the movie message, no graph.
  WriteWholeFile("not a movie.bin", std::string(4000, 'x'));
  GRAPH_LOAD_PARAM settings;
  CaptureGraphLoadParam(&settings);
  EXPECT_EQ(LoadGraphFromFile(&settings, 0, -1, "not a movie.bin", 0, 0, 0), -1);
  EXPECT_NE(ReadLog().find("右記のグラフィックファイルのロードに失敗しました"), std::string::npos);
  cursor = -1;
  EXPECT_EQ(NextHandleRecord(HANDLE_TYPE_MOVIE, &cursor), nullptr);
}

TEST_F(MoviePlayback, OperationsRefuseBadHandles) {
  for (HANDLE_VALUE h : {-1, 0, 0x18010000, 0x04010000}) {
    EXPECT_EQ(GetMovieRecord(h), nullptr) << h;
    EXPECT_EQ(StartMovieHandle(h, 1, 0), -1) << h;
    EXPECT_EQ(SuspendMovieHandle(h, 0), -1) << h;
    EXPECT_EQ(AdvanceMovieFrame(h, 0), -1) << h;
    EXPECT_EQ(MarkMovieOverlayLost(h), -1) << h;
  }
  EXPECT_EQ(CheckMovieSystemReady(), 0);
  EXPECT_EQ(SetUpMovieHandles(), -1) << "already set up";
}

// A frame callback of the test's own: the frame into the movie's image, and what it shows.
struct SHOWN {
  int calls, result, identity, current, upToDate;
} shown;
int PresentIntoImage(MOVIE_RECORD* movie, int) {
  shown.calls++;
  shown.result = PresentTheoraFrame(movie->decoder, 1, 0, 0);
  shown.identity = ImageIdentity(movie->image);
  shown.current = GetTheoraCurrentFrame(movie->decoder);
  shown.upToDate = movie->decoder->imageUpToDate;
  return 0;
}

HANDLE_VALUE OpenMovie(const std::string& name) {
  int option = 0;
  HANDLE_VALUE movie = CreateMovieFromFile(&option, MoviePath(name).c_str(), nullptr, nullptr, 0, 0);
  if (movie >= 0) SetMovieFrameCallback(movie, PresentIntoImage, 0);
  return movie;
}

// Seeded random starts (looping or not, resuming only or not), stops, suspensions and resumptions
// of all movies, time passing (up to twice the movie's length at once) and draws: after every
// draw the image shows the frame the movie stands on.
std::string RunRandomPlayback(HANDLE_VALUE movie, uint32_t seed) {
  MOVIE_RECORD* m = GetMovieRecord(movie);
  THEORA_MOVIE_INFO info = {};
  GetTheoraInfo(m->decoder, &info);
  const int64_t length = (int64_t)(1000000.0 * info.frameCount / info.framesPerSecond);
  Random rnd{seed};
  std::string trail;
  for (int op = 0; op < 150; op++) {
    switch (rnd.Below(9)) {
      case 0: {
        int type = (int)rnd.Below(4) - 1, resumeOnly = rnd.Below(3) == 0;
        StartMovieHandle(movie, type == 2 ? MOVIE_PLAY_LOOP : type, resumeOnly);
        trail += " start " + std::to_string(type) + (resumeOnly ? "r" : "");
        break;
      }
      case 1: {
        int keep = rnd.Below(2);
        SuspendMovieHandle(movie, keep);
        trail += keep ? " suspend-keep" : " suspend";
        break;
      }
      case 2:
        if (rnd.Below(2)) {
          SuspendAllMovies();
          trail += " suspend-all";
        } else {
          ResumeAllMovies();
          trail += " resume-all";
        }
        break;
      case 3:
      case 4: {
        int64_t passed = (int64_t)rnd.Below(1000) * 2 * length / 1000;
        m->startTime -= passed;
        trail += " +" + std::to_string(passed / 1000) + "ms";
        break;
      }
      case 5:
        Sleep(rnd.Below(3));
        break;
      default:
        shown = {};
        AdvanceMovieFrame(movie, 0);
        trail += " draw " + std::to_string(GetTheoraCurrentFrame(m->decoder));
        if (shown.calls != 1 || shown.upToDate != 1 || shown.identity != shown.current % 50)
          return "showed " + std::to_string(shown.identity) + " (result " + std::to_string(shown.result) +
                 ") for frame " + std::to_string(shown.current) + " after" + trail;
    }
    if (trail.size() > 400) trail = " ..." + trail.substr(trail.size() - 300);
  }
  return "";
}

TEST_F(MoviePlayback, RandomStartsStopsAndDrawsShowTheCurrentFrame) {
  uint32_t seed = 0xC10C0001u;
  for (const char* name : {"frames1.ogv", "frames2.ogv", "frames10.ogv", "frames11.ogv", "frames12.ogv", "multi.ogv"}) {
    for (int round = 0; round < 3; round++, seed += 0x9E3779B9u) {
      HANDLE_VALUE movie = OpenMovie(name);
      ASSERT_GE(movie, 0) << name;
      ASSERT_EQ(GetMovieRecord(movie)->sound, -1) << name;
      std::string failure = "not run";
      ASSERT_TRUE(RunWithin([&] { failure = RunRandomPlayback(movie, seed); }, 60000))
          << name << " seed " << std::hex << seed << ": a call never returned";
      EXPECT_EQ(failure, "") << name << " seed " << std::hex << seed;
      EXPECT_EQ(DeleteMovieHandle(movie), 0);
    }
  }
}

// A stopped movie that is started and first drawn after its whole duration shows its last
// frame (the step to it passes every frame the stock holds).
TEST_F(MoviePlayback, MovieStartedAndFirstDrawnAfterItsWholeDurationShowsItsLastFrame) {
  for (const char* name : {"multi.ogv", "frames11.ogv", "frames12.ogv"}) {
    SCOPED_TRACE(name);
    HANDLE_VALUE graph = LoadMovieGraph(name);
    ASSERT_GE(graph, 0);
    HANDLE_VALUE movie = MovieOf(graph);
    MOVIE_RECORD* m = GetMovieRecord(movie);
    THEORA_MOVIE_INFO info = {};
    GetTheoraInfo(m->decoder, &info);
    ASSERT_TRUE(WaitFor([&] { return LoadSharedWord(&m->decoder->state) == THEORA_STATE_IDLE; }));
    ASSERT_EQ(StartMovieHandle(movie, MOVIE_PLAY_ONCE, 0), 0);
    m->startTime -= (int64_t)(2000000.0 * info.frameCount / info.framesPerSecond);
    // The first draw's step and presentation, with the test's own callback on a thread that
    // may stall; then the graph's own draw on the screen.
    SetMovieFrameCallback(movie, PresentIntoImage, 0);
    shown = {};
    ASSERT_TRUE(RunWithin([&] { AdvanceMovieFrame(movie, 0); }, 30000)) << "the draw never returned";
    EXPECT_EQ(CurrentFrame(movie), info.frameCount - 1);
    EXPECT_EQ(shown.identity, (info.frameCount - 1) % 50);
    SetMovieFrameCallback(movie, UpdateGraphFromMovieFrame, graph);
    OfferMovieFrameAgain(movie);
    EXPECT_TRUE(ShowsCurrentFrame(graph));
    EXPECT_EQ(DeleteGraphHandle(graph, 0), 0);
  }
}

// A movie resumed more than 2^31 microseconds (about 35.8 minutes) into itself keeps its place:
// at 1/64 frame per second frame 35 is 2240 s in.
TEST_F(MoviePlayback, ResumedMovieKeepsItsPlaceBeyondHalfAnHour) {
  HANDLE_VALUE movie = OpenMovie("multi.ogv");
  ASSERT_GE(movie, 0);
  MOVIE_RECORD* m = GetMovieRecord(movie);
  m->decoder->info.fps_numerator = 1;
  m->decoder->info.fps_denominator = 64;
  SeekTheoraFrame(m->decoder, 35);
  shown = {};
  AdvanceMovieFrame(movie, 0);
  EXPECT_EQ(shown.identity, 35);
  ASSERT_EQ(StartMovieHandle(movie, MOVIE_PLAY_LOOP, 0), 0);
  EXPECT_GE(GetMicrosecondCount() - m->startTime, 2240000000LL);
  AdvanceMovieFrame(movie, 0);
  EXPECT_EQ(CurrentFrame(movie), 35) << "the resumed movie stays on its frame";
  EXPECT_EQ(shown.identity, 35);
  EXPECT_EQ(DeleteMovieHandle(movie), 0);
}
}  // namespace
