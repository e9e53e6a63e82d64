// The Theora decoder on the build's test movies (tools/theoramake): what it refuses (frame sizes
// beyond its limits before libtheora sets up), what it reports, the identity of every frame
// after steps, seeks and wraps of the current frame (also across the loop point, with the
// decoder ahead of a wrapped current frame, from a full stock, and in seeded random sequences
// over movies of 1 to 40 frames), lost pages, seeks the data cannot reach, tables and planes
// that cannot be allocated, and closing in every state without a live tracked block left, also
// when the thread is held in its stream past the close's limit.
// Every wait for the decode thread is bounded: a stall fails the test instead of hanging it.
#include <gtest/gtest.h>
#include <windows.h>

#include <functional>
#include <set>
#include <string>
#include <vector>

#include "core/log.h"
#include "file/file_access.h"
#include "movie/movie_handles.h"
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
TEST_F(TheoraDecoder, MovieWithoutFramesEndsItsThreadAndNeverWaits) {
  THEORA_DECODER* d = OpenMemoryMovie(MovieBytes("no_frames.ogv"));
  ASSERT_NE(d, nullptr);
  EXPECT_EQ(FrameCount(d), 0);
  ASSERT_TRUE(WaitFor([&] { return LoadSharedWord(&d->state) == THEORA_STATE_ENDED; }));
  // A seek after the thread has ended returns at once (bounded by a helper thread here).
  ASSERT_TRUE(RunWithin([=] { SeekTheoraFrame(d, 5); }, 10000)) << "the seek waited for an ended thread";
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

// A stream whose reads and seeks, made off the test's own thread while it is held, wait until it
// is let go (at most a minute, so a broken run cannot hang); its closes are counted, and frees of
// watched tracked blocks while it is held are counted by a heap over the process heap.
struct HELD_STREAM {
  FILE_ACCESS_TABLE table;
  FILE_ACCESS_TABLE library;  // the table installed before, for every other handle
  uint32_t handle;
  DWORD testThread;
  HANDLE entered, letGo;
  LONG held, closes, closesWhileHeld, watchedFreesWhileHeld;
  std::set<void*> watched;  // heap blocks (descriptor addresses) of the decoder's own memory
};
HELD_STREAM held;

void WaitIfHeld(uint32_t handle) {
  if (handle != held.handle || GetCurrentThreadId() == held.testThread || !InterlockedCompareExchange(&held.held, 0, 0))
    return;
  SetEvent(held.entered);
  WaitForSingleObject(held.letGo, 60000);
}

const FILE_ACCESS_TABLE* HeldStreamTable() {
  held.library = *GetFileAccessTable();
  held.table = held.library;
  held.table.read = [](void* buffer, int size, int count, uint32_t h) {
    WaitIfHeld(h);
    return h == held.handle ? MemoryFileTable()->read(buffer, size, count, h) : held.library.read(buffer, size, count, h);
  };
  held.table.seek = [](uint32_t h, int offset, int origin) {
    WaitIfHeld(h);
    return h == held.handle ? MemoryFileTable()->seek(h, offset, origin) : held.library.seek(h, offset, origin);
  };
  held.table.eof = [](uint32_t h) {
    WaitIfHeld(h);
    return h == held.handle ? MemoryFileTable()->eof(h) : held.library.eof(h);
  };
  held.table.close = [](uint32_t h) {
    if (h != held.handle) return held.library.close(h);
    InterlockedIncrement(&held.closes);
    if (InterlockedCompareExchange(&held.held, 0, 0)) InterlockedIncrement(&held.closesWhileHeld);
    return 0;
  };
  return &held.table;
}

const ALLOC_HEAP_FUNCTIONS kWatchingHeap = {
    [](size_t size) -> void* { return HeapAlloc(GetProcessHeap(), 0, size); },
    [](void* block, size_t size) -> void* { return HeapReAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, block, size); },
    [](void* block) {
      if (InterlockedCompareExchange(&held.held, 0, 0) && held.watched.count(block) != 0)
        InterlockedIncrement(&held.watchedFreesWhileHeld);
      HeapFree(GetProcessHeap(), 0, block);
    }};

void Watch(void* pointer) {
  if (pointer != nullptr) held.watched.insert((char*)pointer - ALLOC_HEADER_SIZE);
}

// A decode thread held inside a seek of its stream past the close's limit: the movie's release
// leaves the decoder and the stream to the thread; while it is held nothing it uses is freed and
// the stream stays open; once it is let go it ends, frees the decoder and closes the stream, and
// no tracked block is left.
TEST_F(TheoraDecoder, ReleaseLeavesWhatAHeldThreadUsesUntilItEnds) {
  held.testThread = GetCurrentThreadId();
  held.entered = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  held.letGo = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  held.held = held.closes = held.closesWhileHeld = held.watchedFreesWhileHeld = 0;
  held.watched.clear();
  held.handle = AddMemoryFile(MovieBytes("long.ogv"));
  const FILE_ACCESS_TABLE* table = HeldStreamTable();
  InstallFileAccessTable(table);  // the release closes the movie's stream through the library's table
  struct RESTORE {
    ~RESTORE() {
      InterlockedExchange(&held.held, 0);
      SetEvent(held.letGo);
      SetAllocHeapFunctions(nullptr);
      InstallFileAccessTable(&held.library);
    }
  } restore;

  THEORA_DECODER* d = OpenTheoraDecoder(table, held.handle, 10, 0);
  ASSERT_NE(d, nullptr);
  ASSERT_TRUE(WaitFor([&] { return LoadSharedWord(&d->state) == THEORA_STATE_IDLE; }));
  HANDLE thread = nullptr;
  ASSERT_TRUE(DuplicateHandle(GetCurrentProcess(), d->thread, GetCurrentProcess(), &thread, 0, FALSE,
                              DUPLICATE_SAME_ACCESS));
  InterlockedExchange(&held.held, 1);
  SeekTheoraFrame(d, 1000);
  ASSERT_EQ(WaitForSingleObject(held.entered, 10000), WAIT_OBJECT_0) << "the thread never reached its stream";

  Watch(d);
  Watch(d->stock);
  Watch(d->pages);
  Watch(d->keyFrames);
  for (int i = 0; i < d->stockCount; i++) Watch(d->stock[i].y), Watch(d->stock[i].cb), Watch(d->stock[i].cr);
  SetAllocHeapFunctions(&kWatchingHeap);
  MOVIE_RECORD movie = {};
  movie.theora = 1;
  movie.decoder = d;
  movie.fileStream = held.handle;
  movie.sound = -1;
  ReleaseMovieRecord(&movie.head);
  EXPECT_NE(ReadLog().find("Theora ムービーデコード用スレッドが終了しません"), std::string::npos);
  EXPECT_EQ(WaitForSingleObject(thread, 0), (DWORD)WAIT_TIMEOUT) << "the thread is still held";
  EXPECT_EQ(held.closesWhileHeld, 0) << "the stream was closed under the thread";
  EXPECT_EQ(held.watchedFreesWhileHeld, 0) << "the decoder's memory was freed under the thread";

  InterlockedExchange(&held.held, 0);
  SetEvent(held.letGo);
  EXPECT_EQ(WaitForSingleObject(thread, 10000), WAIT_OBJECT_0) << "the thread ends once let go";
  CloseHandle(thread);
  EXPECT_EQ(held.closes, 1) << "the thread closes the stream as it ends";
  EXPECT_EQ(GetAllocBlockCount(), blocks) << "the thread frees the decoder as it ends";
  CloseHandle(held.entered);
  CloseHandle(held.letGo);
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

// Presents the current frame on a thread of its own: false when it did not return within the
// time (a stall); *result is what PresentTheoraFrame returned.
bool PresentsWithin(THEORA_DECODER* d, int* result, int timeoutMs = 20000) {
  return RunWithin([=] { *result = PresentTheoraFrame(d, 1, 0, 0); }, timeoutMs);
}

bool StockFills(THEORA_DECODER* d) {
  return WaitFor([&] { return LoadSharedWord(&d->state) == THEORA_STATE_IDLE; });
}

// From a stock full of the current frame's window, steps that land on a frame the stock lacks
// (one behind the current frame: a whole round through the loop point; the last frame of a
// movie one frame longer than the stock; ...) are reached.
TEST_F(TheoraDecoder, CurrentFrameIsReachedFromAFullStock) {
  struct ROW {
    const char* movie;
    int seek, step, stock;
  } rows[] = {
      {"basic.ogv", 20, 39, 10},   {"basic.ogv", 39, 39, 10},  {"multi.ogv", 35, 39, 10},
      {"frames11.ogv", 10, 1, 10}, {"frames11.ogv", 0, 10, 10}, {"frames11.ogv", 9, 1, 10},
      {"frames11.ogv", 10, 10, 10}, {"frames12.ogv", 11, 11, 10}, {"frames12.ogv", 2, 11, 10},
      {"frames10.ogv", 9, 9, 10},  {"frames2.ogv", 1, 1, 10},   {"frames1.ogv", 0, 1, 10},
      {"basic.ogv", 20, 39, 1},    {"frames11.ogv", 5, 10, 3},
  };
  for (const ROW& r : rows) {
    std::string name = std::string(r.movie) + " at " + std::to_string(r.seek) + " stepped " + std::to_string(r.step) +
                       ", stock " + std::to_string(r.stock);
    THEORA_DECODER* d = OpenMemoryMovie(MovieBytes(r.movie), nullptr, r.stock);
    ASSERT_NE(d, nullptr) << name;
    int frames = FrameCount(d);
    SeekTheoraFrame(d, r.seek);
    ASSERT_EQ(PresentedIdentity(d), r.seek % 50) << name;
    ASSERT_TRUE(StockFills(d)) << name;
    StepTheoraFrames(d, r.step);
    int expected = (r.seek + r.step) % frames, result = -1;
    ASSERT_EQ(GetTheoraCurrentFrame(d), expected) << name;
    ASSERT_TRUE(PresentsWithin(d, &result)) << name << ": the presentation never returned";
    EXPECT_EQ(result, 1) << name;
    EXPECT_EQ(ImageIdentity(GetTheoraImage(d)), expected % 50) << name;
    CloseTheoraDecoder(d);
  }
}

// Seeded random sequences of steps (of every size around the movie's and the stock's length),
// seeks (also out of range), pauses that let the stock fill, and presentations; every frame
// presented is the current one, and a presentation is made exactly when the frame changed.
struct RANDOM_RUN {
  THEORA_DECODER* d;
  uint32_t seed;
  std::string failure;
};

void RunRandomMoves(RANDOM_RUN* run) {
  THEORA_DECODER* d = run->d;
  Random rnd{run->seed};
  THEORA_MOVIE_INFO info = {};
  GetTheoraInfo(d, &info);
  const int frames = info.frameCount, stock = d->stockCount;
  const int steps[] = {1, 1, 1, 2, 3, frames - 1, frames, frames + 1, stock - 1, stock, stock + 1, 2 * frames - 1};
  std::string trail;
  for (int op = 0; op < 160; op++) {
    int kind = rnd.Below(10);
    if (kind < 4) {
      int n = rnd.Below(4) == 0 ? rnd.Below(3 * frames + 2) : steps[rnd.Below(12)];
      StepTheoraFrames(d, n);
      trail += " step " + std::to_string(n);
    } else if (kind == 4) {
      int frame = rnd.Below(frames + 4) - 2;
      SeekTheoraFrame(d, frame);
      trail += " seek " + std::to_string(frame);
    } else if (kind == 5) {
      WaitFor([&] { return LoadSharedWord(&d->state) == THEORA_STATE_IDLE; }, 2000);
      trail += " fill";
    } else if (kind == 6) {
      Sleep(rnd.Below(3));
    } else {
      int current = GetTheoraCurrentFrame(d);
      bool due = !d->imageUpToDate;
      int result = PresentTheoraFrame(d, 1, 0, 0);
      int shown = ImageIdentity(GetTheoraImage(d));
      trail += " present " + std::to_string(current);
      if (result != (due ? 1 : 0) || shown != current % 50) {
        run->failure = "presented " + std::to_string(shown) + " (result " + std::to_string(result) + ") for frame " +
                       std::to_string(current) + " after" + trail;
        return;
      }
    }
    if (trail.size() > 400) trail = " ..." + trail.substr(trail.size() - 300);
  }
}

TEST_F(TheoraDecoder, RandomMovesAlwaysPresentTheCurrentFrame) {
  struct ROW {
    const char* movie;
    int stock;
  } rows[] = {
      {"frames1.ogv", 10},  {"frames2.ogv", 10},  {"frames10.ogv", 10}, {"frames11.ogv", 10},
      {"frames12.ogv", 10}, {"basic.ogv", 10},    {"multi.ogv", 10},    {"frames11.ogv", 1},
      {"frames12.ogv", 4},  {"basic.ogv", 3},     {"frames2.ogv", 1},   {"multi.ogv", 40},
  };
  uint32_t seed = 0x5EED0001u;
  for (const ROW& r : rows) {
    for (int round = 0; round < 3; round++, seed += 0x9E3779B9u) {
      THEORA_DECODER* d = OpenMemoryMovie(MovieBytes(r.movie), nullptr, r.stock);
      ASSERT_NE(d, nullptr) << r.movie;
      RANDOM_RUN run = {d, seed, ""};
      ASSERT_TRUE(RunWithin([&] { RunRandomMoves(&run); }, 60000))
          << r.movie << " stock " << r.stock << " seed " << std::hex << seed << ": a move or presentation never returned";
      EXPECT_EQ(run.failure, "") << r.movie << " stock " << r.stock << " seed " << std::hex << seed;
      CloseTheoraDecoder(d);
    }
  }
}

// A seek whose target the data no longer reaches (the file cut short under the movie) is a
// frame that cannot come: no other picture is presented as the target. A seek back to a frame
// before the cut shows that frame again.
TEST_F(TheoraDecoder, SeekTheDataCannotReachPresentsNoWrongPicture) {
  for (int target : {30, 21, 39}) {
    uint32_t handle = 0;
    THEORA_DECODER* d = OpenMemoryMovie(MovieBytes("basic.ogv"), &handle);
    ASSERT_NE(d, nullptr);
    ASSERT_TRUE(StockFills(d));
    ASSERT_EQ(d->pageCount, 40) << "one page per frame";
    FileOf(handle).bytes.resize(d->pages[16].offset);  // frames 16 and later are gone
    SeekTheoraFrame(d, target);
    int result = -1;
    ASSERT_TRUE(PresentsWithin(d, &result));
    EXPECT_EQ(result, 0) << "target " << target << ": presented frame " << ImageIdentity(GetTheoraImage(d));
    EXPECT_EQ(FindTheoraStockFrame(d, target), nullptr) << "target " << target;
    SeekTheoraFrame(d, 4);
    ASSERT_TRUE(PresentsWithin(d, &result));
    EXPECT_EQ(result, 1);
    EXPECT_EQ(ImageIdentity(GetTheoraImage(d)), 4);
    CloseTheoraDecoder(d);
  }
}

// Frame sizes the library cannot convert are refused from the identification header, before
// libtheora's decoder is set up (whose set-up for 77 888 x 180 272 takes more than 30 s), with
// a log line that names the limit; the caller is told not to try the file another way.
TEST_F(TheoraDecoder, FrameSizesBeyondTheLibraryLimitAreRefusedBeforeSetUp) {
  struct ROW {
    const char* name;
    int macroblocksWide, macroblocksHigh;
  } rows[] = {
      {"77 888 x 180 272", 4868, 11267},
      {"8208 x 64", 513, 4},
      {"112 x 8208", 7, 513},
  };
  std::string basic = MovieBytes("basic.ogv");
  for (const ROW& r : rows) {
    std::string file = WithIdentificationHeader(basic, [&](std::string& id) {
      PutBigEndian(id, 10, 2, r.macroblocksWide);
      PutBigEndian(id, 12, 2, r.macroblocksHigh);
      PutBigEndian(id, 14, 3, r.macroblocksWide * 16);
      PutBigEndian(id, 17, 3, r.macroblocksHigh * 16);
      id[20] = id[21] = 0;
    });
    THEORA_DECODER* d = nullptr;
    int refused = -1;
    uint32_t handle = AddMemoryFile(file);
    ASSERT_TRUE(RunWithin([&] { d = OpenTheoraDecoder(MemoryFileTable(), handle, 10, 0, &refused); }, 10000))
        << r.name << ": the opening never returned";
    EXPECT_EQ(d, nullptr) << r.name;
    EXPECT_EQ(refused, 1) << r.name;
    if (d != nullptr) CloseTheoraDecoder(d);
    std::string line = std::string("Theora ムービーのフレームサイズ ") + std::to_string(r.macroblocksWide * 16) + " x " +
                       std::to_string(r.macroblocksHigh * 16) + " はライブラリの上限 8192 x 8192 を超えています";
    EXPECT_NE(ReadLog().find(line), std::string::npos) << r.name;
    EXPECT_EQ(GetAllocBlockCount(), blocks) << r.name;
  }
  // A movie within the limits is not refused.
  int refused = -1;
  THEORA_DECODER* d = OpenTheoraDecoder(MemoryFileTable(), AddMemoryFile(basic), 10, 0, &refused);
  ASSERT_NE(d, nullptr);
  EXPECT_EQ(refused, 0);
  CloseTheoraDecoder(d);
}
}  // namespace
