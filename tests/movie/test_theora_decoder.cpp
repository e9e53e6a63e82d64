// The Theora decoder on the build's test movies (tools/theoramake): what it refuses, what it
// reports, the identity of every frame after steps, seeks and wraps of the current frame (also
// across the loop point and with the decoder ahead of a wrapped current frame), lost pages,
// tables and planes that cannot be allocated, and closing in every state without a live
// tracked block left. Every wait for the decode thread is bounded.
#include <gtest/gtest.h>
#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "core/log.h"
#include "movie_fixture.h"

namespace {
using namespace movie_test;

class TheoraDecoder : public ::testing::Test {
 protected:
  void SetUp() override {
    StartTestLog();
    BuildYuvToRgbTables();
    blocks = GetAllocBlockCount();
  }
  void TearDown() override { EXPECT_EQ(GetAllocBlockCount(), blocks) << "no tracked block left alive"; }
  int blocks = 0;
};

int FrameCount(THEORA_DECODER* d) {
  THEORA_MOVIE_INFO info = {};
  GetTheoraInfo(d, &info);
  return info.frameCount;
}

TEST_F(TheoraDecoder, RefusesWhatIsNoTheoraMovie) {
  std::string basic = MovieBytes("basic.ogv");
  size_t firstPage = 27 + (uint8_t)basic[26];
  for (int i = 0; i < (uint8_t)basic[26]; i++) firstPage += (uint8_t)basic[27 + i];
  struct ROW {
    const char* name;
    std::string bytes;
  } rows[] = {
      {"empty", ""},
      {"shorter than the magic", "Og"},
      {"not OggS", "RIFF" + basic.substr(4)},
      {"only a Vorbis stream", MovieBytes("tone.ogg")},
      {"headers cut short", basic.substr(0, 300)},
      {"first page only", basic.substr(0, firstPage)},
  };
  std::string before = ReadLog();
  for (const ROW& r : rows) {
    uint32_t handle = 0;
    EXPECT_EQ(OpenMemoryMovie(r.bytes, &handle), nullptr) << r.name;
    EXPECT_EQ(GetAllocBlockCount(), blocks) << r.name;
  }
  EXPECT_EQ(ReadLog(), before) << "refusals leave the log alone (the caller tries another way)";
}

TEST_F(TheoraDecoder, ReportsTheCodedSizeRateAndFrames) {
  struct ROW {
    const char* name;
    double fps;
    int frames, width, height;
  } rows[] = {
      {"basic.ogv", 24000.0 / 1001.0, 40, 112, 64},  // 100 x 60 pictures in whole macroblocks
      {"multi.ogv", 30.0, 40, 64, 48},
      {"span.ogv", 25.0, 24, 96, 80},
      {"yuv422.ogv", 15.0, 12, 48, 32},
      {"yuv444.ogv", 15.0, 12, 48, 32},
      {"long.ogv", 30.0, 1100, 16, 16},  // more pages than the table's first room
  };
  for (const ROW& r : rows) {
    THEORA_DECODER* d = OpenMemoryMovie(MovieBytes(r.name));
    ASSERT_NE(d, nullptr) << r.name;
    THEORA_MOVIE_INFO info = {};
    EXPECT_EQ(GetTheoraInfo(d, &info), 0);
    EXPECT_DOUBLE_EQ(info.framesPerSecond, r.fps) << r.name;
    EXPECT_EQ(info.frameCount, r.frames) << r.name;
    EXPECT_EQ(info.width, r.width) << r.name;
    EXPECT_EQ(info.height, r.height) << r.name;
    EXPECT_EQ(GetTheoraImage(d)->width, r.width) << r.name;
    EXPECT_EQ(GetTheoraImage(d)->height, r.height) << r.name;
    EXPECT_EQ(GetTheoraCurrentFrame(d), 0) << r.name;
    EXPECT_EQ(d->imageUpToDate, 1) << r.name << ": the opening presents frame 0";
    EXPECT_EQ(PresentedIdentity(d), 0) << r.name;
    CloseTheoraDecoder(d);
  }
}

TEST_F(TheoraDecoder, OpensThroughTheLibraryFileTable) {
  const FILE_ACCESS_TABLE* files = GetFileAccessTable();
  uint32_t stream = files->open(MoviePath("basic.ogv").c_str(), 0, 0, 0);
  ASSERT_NE(stream, 0u);
  THEORA_DECODER* d = OpenTheoraDecoder(files, stream, 10, 0);
  ASSERT_NE(d, nullptr);
  StepTheoraFrames(d, 17);
  EXPECT_EQ(PresentedIdentity(d), 17);
  CloseTheoraDecoder(d);
  files->close(stream);
}

// The picture of the image: flat luma L with Cb 100 and Cr 160 through the tables.
TEST_F(TheoraDecoder, ImageHoldsTheConvertedPicture) {
  THEORA_DECODER* d = OpenMemoryMovie(MovieBytes("basic.ogv"));
  ASSERT_NE(d, nullptr);
  StepTheoraFrames(d, 9);
  ASSERT_EQ(PresentedIdentity(d), 9);
  const uint8_t* pixel = (const uint8_t*)GetTheoraImage(d)->pixels + 4 * GetTheoraImage(d)->pitch + 4 * 4;
  // Y 56, Cb 100, Cr 160: R = 1.164 x 40 + 1.596 x 32 = 97.6, G = 46.6 + 10.9 - 26.0 = 31.5,
  // B = 46.6 - 56.5 = -9.9 (within the encoder's rounding of a sample or two).
  EXPECT_NEAR(pixel[2], 97, 4);
  EXPECT_NEAR(pixel[1], 31, 4);
  EXPECT_NEAR(pixel[0], 0, 4);
  EXPECT_EQ(pixel[3], 255);
  EXPECT_EQ(PresentTheoraFrame(d, 1, 0, 0), 0) << "the same frame is converted once";
  CloseTheoraDecoder(d);
}

// Steps through every frame and over the loop point, then seeks, in every page layout.
TEST_F(TheoraDecoder, EveryFrameKeepsItsIdentity) {
  for (const char* name : {"basic.ogv", "multi.ogv", "span.ogv", "yuv422.ogv", "yuv444.ogv"}) {
    THEORA_DECODER* d = OpenMemoryMovie(MovieBytes(name));
    ASSERT_NE(d, nullptr) << name;
    int frames = FrameCount(d);
    for (int k = 1; k <= frames + 2; k++) {
      StepTheoraFrames(d, 1);
      ASSERT_EQ(GetTheoraCurrentFrame(d), k % frames) << name;
      ASSERT_EQ(PresentedIdentity(d), k % frames) << name << " after stepping to " << k;
    }
    struct MOVE {
      int seek;  // -1: no seek
      int step;
      int expected;
    } moves[] = {
        {frames / 2, 0, frames / 2}, {3, 0, 3},          {frames - 1, 0, frames - 1}, {frames + 7, 0, frames - 1},
        {-4, 0, 0},                  {frames - 2, 5, 3}, {-1, 2 * frames + 3, 6},    {frames - 3, 0, frames - 3},
        {-1, 3, 0},                  {1, 0, 1},          {frames - 1, 1, 0},
    };
    for (const MOVE& m : moves) {
      if (m.seek != -1) SeekTheoraFrame(d, m.seek);
      if (m.step != 0) StepTheoraFrames(d, m.step);
      ASSERT_EQ(GetTheoraCurrentFrame(d), m.expected) << name << " seek " << m.seek << " step " << m.step;
      ASSERT_EQ(PresentedIdentity(d), m.expected) << name << " seek " << m.seek << " step " << m.step;
    }
    CloseTheoraDecoder(d);
  }
}

// With the stock full of the movie's last frames, the current frame jumps over the loop point
// to a frame the decoder has not reached again: the stock must make room for it.
TEST_F(TheoraDecoder, CurrentFrameWrappedBehindTheDecoderIsReached) {
  THEORA_DECODER* d = OpenMemoryMovie(MovieBytes("basic.ogv"));
  ASSERT_NE(d, nullptr);
  int frames = FrameCount(d);
  SeekTheoraFrame(d, frames - 10);
  ASSERT_EQ(PresentedIdentity(d), (frames - 10) % 50);
  ASSERT_TRUE(WaitFor([&] { return LoadSharedWord(&d->state) == THEORA_STATE_IDLE; })) << "the stock fills";
  ASSERT_EQ(d->decoderPosition, frames - 1);
  StepTheoraFrames(d, 12);
  EXPECT_EQ(GetTheoraCurrentFrame(d), 2);
  EXPECT_EQ(PresentedIdentity(d), 2);
  // And once more from the last frame with a step that lands just past the loop point.
  SeekTheoraFrame(d, frames - 1);
  ASSERT_EQ(PresentedIdentity(d), (frames - 1) % 50);
  ASSERT_TRUE(WaitFor([&] { return LoadSharedWord(&d->state) == THEORA_STATE_IDLE; }));
  StepTheoraFrames(d, 1);
  EXPECT_EQ(PresentedIdentity(d), 0) << "after the last frame the first picture, not the last";
  CloseTheoraDecoder(d);
}

TEST_F(TheoraDecoder, StockOfOneAndStockLargerThanTheMovie) {
  for (int stock : {1, 60}) {
    THEORA_DECODER* d = OpenMemoryMovie(MovieBytes("multi.ogv"), nullptr, stock);
    ASSERT_NE(d, nullptr);
    for (int k = 1; k <= 45; k++) {
      StepTheoraFrames(d, k % 7 == 0 ? 9 : 1);
      int expected = GetTheoraCurrentFrame(d);
      ASSERT_EQ(PresentedIdentity(d), expected % 50) << "stock " << stock << " move " << k;
    }
    CloseTheoraDecoder(d);
  }
}

TEST_F(TheoraDecoder, LongMovieSeeksFarIntoItsPageTable) {
  THEORA_DECODER* d = OpenMemoryMovie(MovieBytes("long.ogv"));
  ASSERT_NE(d, nullptr);
  EXPECT_GT(d->pageCount, 1000);
  for (int target : {1050, 1099, 640, 999, 1000, 64, 65}) {
    SeekTheoraFrame(d, target);
    EXPECT_EQ(PresentedIdentity(d), target % 50) << target;
  }
  CloseTheoraDecoder(d);
}

// Lost pages are not frames: one page per frame with frame 10's page missing, and a movie of
// packets spanning pages with a page missing in the middle of one (the page after it begins
// with the rest of a packet that cannot be completed). Every frame decodes to the same picture
// whether reached by steps or by a seek.
TEST_F(TheoraDecoder, LostPagesAreNoFrames) {
  THEORA_DECODER* d = OpenMemoryMovie(MovieBytes("hole.ogv"));
  ASSERT_NE(d, nullptr);
  ASSERT_EQ(FrameCount(d), 29);
  for (int k = 0; k < 29; k++) {
    SeekTheoraFrame(d, k);
    EXPECT_EQ(PresentedIdentity(d), k < 10 ? k : k + 1) << "frame " << k;
  }
  CloseTheoraDecoder(d);

  d = OpenMemoryMovie(MovieBytes("hole_span.ogv"));
  ASSERT_NE(d, nullptr);
  int frames = FrameCount(d);
  EXPECT_LT(frames, 24);
  EXPECT_GE(frames, 21);
  std::vector<int> stepped = {PresentedIdentity(d)};
  for (int k = 1; k < frames; k++) {
    StepTheoraFrames(d, 1);
    stepped.push_back(PresentedIdentity(d));
    EXPECT_GT(stepped[k], stepped[k - 1]) << "frame " << k;
  }
  EXPECT_EQ(stepped.back(), 23);
  for (int k = frames - 1; k >= 0; k--) {
    SeekTheoraFrame(d, k);
    EXPECT_EQ(PresentedIdentity(d), stepped[k]) << "seek to frame " << k;
  }
  CloseTheoraDecoder(d);
}

// The data ending under a running movie (the file cut short after opening) ends the frames
// cleanly: presenting a frame that can no longer come returns 0 instead of waiting.
TEST_F(TheoraDecoder, DataEndingUnderTheMovieStopsTheWait) {
  uint32_t handle = 0;
  THEORA_DECODER* d = OpenMemoryMovie(MovieBytes("basic.ogv"), &handle);
  ASSERT_NE(d, nullptr);
  ASSERT_TRUE(WaitFor([&] { return LoadSharedWord(&d->state) == THEORA_STATE_IDLE; }));
  FileOf(handle).bytes.resize(FileOf(handle).bytes.size() / 2);
  StepTheoraFrames(d, 30);
  EXPECT_TRUE(WaitFor([&] { return LoadSharedWord(&d->endOfData) == 1; }));
  EXPECT_EQ(WaitForCurrentFrame(d), nullptr);
  EXPECT_EQ(PresentTheoraFrame(d, 1, 0, 0), 0);
  CloseTheoraDecoder(d);
}

// A thread body that seeks its decoder to frame 5 (a thread start routine is stdcall on i686).
DWORD WINAPI SeekToFrameFive(LPVOID decoder) { return SeekTheoraFrame((THEORA_DECODER*)decoder, 5); }

TEST_F(TheoraDecoder, MovieWithoutFramesEndsItsThreadAndNeverWaits) {
  THEORA_DECODER* d = OpenMemoryMovie(MovieBytes("no_frames.ogv"));
  ASSERT_NE(d, nullptr);
  EXPECT_EQ(FrameCount(d), 0);
  ASSERT_TRUE(WaitFor([&] { return LoadSharedWord(&d->state) == THEORA_STATE_ENDED; }));
  // A seek after the thread has ended returns at once (bounded by a helper thread here).
  HANDLE seeker = CreateThread(nullptr, 0, SeekToFrameFive, d, 0, nullptr);
  ASSERT_EQ(WaitForSingleObject(seeker, 10000), WAIT_OBJECT_0) << "the seek waited for an ended thread";
  CloseHandle(seeker);
  EXPECT_EQ(PresentTheoraFrame(d, 1, 0, 0), 0);
  CloseTheoraDecoder(d);
}

// Closing right after opening, while a seek is under way, with the stock full, while paused
// for a seek, after the end of the data and after the thread has ended.
TEST_F(TheoraDecoder, ClosesInEveryState) {
  struct ROW {
    const char* name;
    const char* movie;
    std::function<void(THEORA_DECODER*, uint32_t)> before;
  } rows[] = {
      {"just opened", "basic.ogv", [](THEORA_DECODER*, uint32_t) {}},
      {"seeking", "long.ogv", [](THEORA_DECODER* d, uint32_t) { SeekTheoraFrame(d, 1090); }},
      {"stock full", "basic.ogv",
       [](THEORA_DECODER* d, uint32_t) {
         EXPECT_TRUE(WaitFor([&] { return LoadSharedWord(&d->state) == THEORA_STATE_IDLE; }));
       }},
      {"paused", "basic.ogv",
       [](THEORA_DECODER* d, uint32_t) {
         StoreSharedWord(&d->pauseRequest, 1);
         EXPECT_TRUE(WaitFor([&] { return LoadSharedWord(&d->state) == THEORA_STATE_PAUSED; }));
       }},
      {"data ended", "basic.ogv",
       [](THEORA_DECODER* d, uint32_t h) {
         EXPECT_TRUE(WaitFor([&] { return LoadSharedWord(&d->state) == THEORA_STATE_IDLE; }));
         FileOf(h).bytes.resize(2000);
         StepTheoraFrames(d, 25);
         EXPECT_TRUE(WaitFor([&] { return LoadSharedWord(&d->endOfData) == 1; }));
       }},
      {"thread ended", "no_frames.ogv",
       [](THEORA_DECODER* d, uint32_t) {
         EXPECT_TRUE(WaitFor([&] { return LoadSharedWord(&d->state) == THEORA_STATE_ENDED; }));
       }},
  };
  for (const ROW& r : rows) {
    uint32_t handle = 0;
    THEORA_DECODER* d = OpenMemoryMovie(MovieBytes(r.movie), &handle);
    ASSERT_NE(d, nullptr) << r.name;
    HANDLE thread = nullptr;
    ASSERT_TRUE(DuplicateHandle(GetCurrentProcess(), d->thread, GetCurrentProcess(), &thread, 0, FALSE,
                                DUPLICATE_SAME_ACCESS));
    r.before(d, handle);
    EXPECT_EQ(CloseTheoraDecoder(d), 0) << r.name;
    EXPECT_EQ(WaitForSingleObject(thread, 0), WAIT_OBJECT_0) << r.name << ": the thread has finished";
    CloseHandle(thread);
    EXPECT_EQ(GetAllocBlockCount(), blocks) << r.name;
  }
}

// Allocation failures: growing the page table or the key-frame flags fails the opening with
// its message; a plane of the stock that cannot be had ends the frames instead of a wait.
TEST_F(TheoraDecoder, AllocationFailures) {
  std::string longMovie = MovieBytes("long.ogv");
  struct ROW {
    const char* name;
    size_t size;
    const char* message;
  } rows[] = {
      {"page table growth", sizeof(THEORA_PAGE_ENTRY) * 2000, "Theora ページ情報格納用メモリの確保に失敗しました"},
      {"key-frame flag growth", 2000, "Theora キーフレーム情報格納用メモリの確保に失敗しました"},
  };
  for (const ROW& r : rows) {
    SetAllocHeapFunctions(RefusingHeap(r.size));
    EXPECT_EQ(OpenMemoryMovie(longMovie), nullptr) << r.name;
    SetAllocHeapFunctions(nullptr);
    EXPECT_NE(ReadLog().find(r.message), std::string::npos) << r.name;
    EXPECT_EQ(GetAllocBlockCount(), blocks) << r.name;
  }

  SetAllocHeapFunctions(RefusingHeap(112 * 64));  // the luma plane of basic.ogv
  THEORA_DECODER* d = OpenMemoryMovie(MovieBytes("basic.ogv"));
  ASSERT_NE(d, nullptr);
  EXPECT_EQ(d->imageUpToDate, 0);
  EXPECT_EQ(PresentTheoraFrame(d, 1, 0, 0), 0);
  StepTheoraFrames(d, 3);
  EXPECT_EQ(PresentTheoraFrame(d, 1, 0, 0), 0);
  CloseTheoraDecoder(d);
  SetAllocHeapFunctions(nullptr);
  EXPECT_NE(ReadLog().find("Theora ムービーデコードフレーム用のメモリ確保に失敗しました"), std::string::npos);
}
}  // namespace
