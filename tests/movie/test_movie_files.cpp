// Movies opened from where the file layer finds them, under Wine: a Theora movie read straight
// from inside an archive; a file DirectShow must play that lies inside an archive, rendered from
// a temporary copy that is byte for byte the archived file and is deleted with the movie; and
// a file rendered through Wine's own DirectShow graph into the library's renderer filter, its
// frames arriving, ending at its stop position.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "kva_writer.h"
#include "movie/movie_handles.h"
#include "movie/movie_renderer.h"
#include "movie_fixture.h"
#include "real_device.h"

namespace {
using namespace movie_test;

std::string WideToNarrow(const WCHAR* wide) {
  char narrow[MAX_PATH * 2] = "";
  WideCharToMultiByte(CP_ACP, 0, wide, -1, narrow, sizeof narrow, nullptr, nullptr);
  return narrow;
}

class MovieFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    // clips.KVA: the archive the file layer reads "clips\..." paths from.
    std::vector<KVA_WRITER_ENTRY> entries(2);
    entries[0].path = "MULTI.OGV";
    entries[0].data = MovieBytes("multi.ogv");
    entries[1].path = "TONE.OGG";
    entries[1].data = MovieBytes("tone.ogg");
    KVA_WRITER_OPTIONS options;
    std::vector<uint8_t> image = WriteKvaImage(entries, options);
    ASSERT_TRUE(WriteWholeFile("clips.KVA", std::string(image.begin(), image.end())));
    StartRealDevice();
  }
  void TearDown() override { EndRealDevice(); }
};

TEST_F(MovieFiles, TheoraMovieIsReadStraightFromInsideAnArchive) {
  int option = 0, w = 0, h = 0;
  HANDLE_VALUE movie = CreateMovieFromFile(&option, "clips\\multi.ogv", &w, &h, 0, 0);
  ASSERT_GE(movie, 0);
  MOVIE_RECORD* m = GetMovieRecord(movie);
  EXPECT_EQ(m->theora, 1);
  EXPECT_EQ(m->temporaryFile, 0);
  EXPECT_EQ(w, 64);
  EXPECT_EQ(h, 48);
  THEORA_MOVIE_INFO info = {};
  GetTheoraInfo(m->decoder, &info);
  EXPECT_EQ(info.frameCount, 40);
  StepTheoraFrames(m->decoder, 17);
  EXPECT_EQ(PresentedIdentity(m->decoder), 17);
  EXPECT_EQ(DeleteMovieHandle(movie), 0);
}

// Only when the graph cannot render the name does the library copy the file.
TEST_F(MovieFiles, ArchivedFileIsRenderedFromATemporaryCopyDeletedWithTheMovie) {
  int option = 0;
  HANDLE_VALUE byName = CreateMovieFromFile(&option, MoviePath("tone.ogg").c_str(), nullptr, nullptr, 0, 0);
  if (byName < 0) GTEST_SKIP() << "Wine's DirectShow graph renders no Ogg Vorbis file here (GStreamer plugins missing)";
  EXPECT_EQ(GetMovieRecord(byName)->temporaryFile, 0) << "a real file is rendered under its name";
  EXPECT_EQ(GetMovieRecord(byName)->theora, 0);
  DeleteMovieHandle(byName);

  HANDLE_VALUE movie = CreateMovieFromFile(&option, "clips\\tone.ogg", nullptr, nullptr, 0, 0);
  ASSERT_GE(movie, 0);
  MOVIE_RECORD* m = GetMovieRecord(movie);
  ASSERT_EQ(m->temporaryFile, 1);
  std::string copy = WideToNarrow(m->path);
  EXPECT_NE(copy.find("tmp"), std::string::npos) << copy;
  EXPECT_TRUE(ReadWholeFile(copy) == MovieBytes("tone.ogg")) << "the copy is the archived file";
  EXPECT_EQ(DeleteMovieHandle(movie), 0);
  EXPECT_EQ(GetFileAttributesA(copy.c_str()), INVALID_FILE_ATTRIBUTES) << "deleted after the graph let go of it";
}

// The frame callback of a test: counts the frames and keeps a few facts of the last one.
struct SEEN {
  int frames = 0;
  int width = 0, height = 0, bits = 0;
  bool pixels = false;
};
SEEN seen;
int CountFrame(MOVIE_RECORD* m, int) {
  seen.frames++;
  seen.width = m->image->width;
  seen.height = m->image->height;
  seen.bits = m->image->format.colorBits;
  seen.pixels = m->image->pixels != nullptr;
  return 0;
}

// A Theora file given to DirectShow itself (the library would decode it on its own): Wine's
// graph renders it through GStreamer into the renderer filter.
TEST_F(MovieFiles, DirectShowMovieDeliversFramesAndStopsAtItsStopPosition) {
  HANDLE_VALUE movie = NewHandle(HANDLE_TYPE_MOVIE, -1);
  ASSERT_GE(movie, 0);
  MOVIE_RECORD* m = (MOVIE_RECORD*)LookupHandleRecord(movie);
  m->sound = -1;
  int w = 0, h = 0;
  if (OpenMovieGraph(m, MoviePath("basic.ogv").c_str(), &w, &h, 0, 0) < 0) {
    DeleteMovieHandle(movie);
    GTEST_SKIP() << "Wine's DirectShow graph renders no Ogg Theora file here (GStreamer plugins missing)";
  }
  RecordProperty("directshow_frame", std::to_string(w) + "x" + std::to_string(h));
  EXPECT_EQ(m->temporaryFile, 0);
  EXPECT_GT(m->stopPosition, 0) << "the graph knows where the movie ends";
  ASSERT_GT(w, 0) << "the video stream reached the renderer";
  m->image = &m->frameImage;
  m->width = w;
  m->height = h;
  m->stopped = 1;
  m->playType = MOVIE_PLAY_ONCE;
  seen = SEEN();
  ASSERT_EQ(SetMovieFrameCallback(movie, CountFrame, 0), 0);
  ASSERT_EQ(StartMovieHandle(movie, MOVIE_PLAY_ONCE, 0), 0);
  EXPECT_TRUE(WaitFor([&] {
    AdvanceMovieFrame(movie, 0);
    return m->stopped == 1;
  }, 30000)) << "the end of the movie stops it";
  printf("DirectShow movie: %d frames of %d x %d at %d bits, stop position %lld\n", seen.frames, w, h, seen.bits,
         (long long)m->stopPosition);
  EXPECT_GE(seen.frames, 2) << "frames arrived while it played";
  EXPECT_EQ(seen.width, w);
  EXPECT_EQ(seen.height, h);
  EXPECT_TRUE(seen.bits == 24 || seen.bits == 32) << seen.bits;
  EXPECT_TRUE(seen.pixels);
  EXPECT_EQ(m->resume, 0);
  EXPECT_EQ(DeleteMovieHandle(movie), 0);
}
}  // namespace
