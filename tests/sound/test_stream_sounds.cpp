// Stream sounds: the span check of ring positions; the one-second ring driven by a play
// cursor set by hand in software mode (geometry, wrap, top-up, part order, loop switch, end),
// short and empty loops that must not spin, restarts, added parts, shared buffers, the WAVE
// image part, and the refill from the sound thread or, with one processor, from the message
// pump.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "core/memory.h"
#include "sound/sound_handles.h"
#include "sound_source_util.h"
#include "sound_test_util.h"

namespace {
std::vector<uint8_t> DecodedPcmOf(const std::string& bytes) {
  MEMORY_STREAM* memory = OpenMemoryStream(bytes.data(), (uint32_t)bytes.size());
  STREAM_SOURCE source = {*GetMemoryStreamOps(), (uintptr_t)memory};
  SOUND_CONVERT_STATE state;
  std::vector<uint8_t> pcm;
  if (SetUpSoundConverter(&state, &source, 0, 2, 0) == 0) {
    void* data = nullptr;
    int size = 0;
    WAVEFORMATEX format;
    if (ConvertSoundToPcm(&state, &format, &data, &size) == 0) {
      pcm.assign((uint8_t*)data, (uint8_t*)data + size);
      FreeTracked(data);
    }
    EndSoundConverter(&state);
  }
  CloseMemoryStream(memory);
  return pcm;
}
std::vector<uint8_t> DecodedPcm(const char* fixture) { return DecodedPcmOf(ReadWholeFile(SoundFixture(fixture))); }

struct PART {
  const char* fixture;
  int repeat;
};

// A stream of the given parts (each from a memory copy of its file), not yet started.
int MakeStream(std::vector<PART> parts, HANDLE_VALUE shared = -1) {
  HANDLE_VALUE h = NewSoundHandle(0);
  SOUND_LOAD_SETTINGS s;
  FillSoundLoadDefaults(&s);
  for (const PART& p : parts)
    if (AddStreamSoundFromFile(&s, SoundFixture(p.fixture).c_str(), p.repeat, h, STREAM_PART_FILE_COPY, shared, 0) < 0) {
      DeleteHandle(h);
      return -1;
    }
  return h;
}

SOUND_RECORD* Record(int h) { return LookupSoundRecord(h, 0); }
SOUNDBUFFER* Ring(int h) { return &Record(h)->buffers[0]; }

// Sets the play cursor by hand (software mode) and runs one refill.
int Drive(int h, int cursor) {
  SetSoundBufferPosition(Ring(h), (uint32_t)cursor);
  return RefillStreamSound(h, 0);
}

// What the ring should hold: the expected bytes in order, checked against each written span.
struct TAPE {
  std::vector<uint8_t> bytes;
  size_t read = 0;
  void Add(const std::vector<uint8_t>& more) { bytes.insert(bytes.end(), more.begin(), more.end()); }
  void AddSilence(size_t n) { bytes.insert(bytes.end(), n, 0); }
  // Compares the ring from one write position to the next (wrapping) with the next bytes.
  ::testing::AssertionResult Check(int h, int from, int to) {
    SOUND_RECORD* r = Record(h);
    const uint8_t* ring = r->buffers[0].pcmBlock->data;
    int size = r->bufferSize;
    int n = to >= from ? to - from : size - from + to;
    for (int i = 0; i < n; i++, read++) {
      if (read >= bytes.size()) return ::testing::AssertionFailure() << "ring holds more than expected";
      if (ring[(from + i) % size] != bytes[read])
        return ::testing::AssertionFailure() << "ring byte " << (from + i) % size << " differs at stream byte " << read;
    }
    return ::testing::AssertionSuccess();
  }
};

class StreamSounds : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { ASSERT_EQ(StartSoundTestLibrary(), 0); }
  static void TearDownTestSuite() {
    RestartSound({});
    EndLibrary();
  }
  // Software mode with one processor: no sound thread, and the tests pump no messages, so
  // only the refills they drive themselves run.
  void SetUp() override {
    SOUND_TEST_SWITCHES s;
    s.softwareMode = 1;
    s.processors = 1;
    ASSERT_EQ(RestartSound(s), 0);
  }
  void TearDown() override { DeleteHandlesOfType(HANDLE_TYPE_SOUND, nullptr); }
};

// The one span check of ring positions: both ends included, a span with last < first runs
// past the ring's end, and one of a single position holds only that position.
TEST(RingSpan, BothEndsCountAndWrappedSpansRunPastTheEnd) {
  struct CASE {
    int first, last, position;
    bool on;
  } cases[] = {
      {10, 20, 10, true},   {10, 20, 20, true},    {10, 20, 15, true},  {10, 20, 9, false},
      {10, 20, 21, false},  {90, 10, 95, true},    {90, 10, 0, true},   {90, 10, 10, true},
      {90, 10, 90, true},   {90, 10, 50, false},   {90, 10, 11, false}, {90, 10, 89, false},
      {30, 30, 30, true},   {30, 30, 31, false},   {0, 0, 0, true},     {1, 0, 57, true},
  };
  for (const CASE& c : cases)
    EXPECT_EQ(OnRingSpan(c.first, c.last, c.position), c.on)
        << "span " << c.first << ".." << c.last << ", position " << c.position;
}

// 44100 Hz stereo: a 176400-byte ring, a first fill of 132300 bytes, refills of an eighth of
// a second (22048 bytes) once the cursor passes a point 132300 bytes behind the write
// position, wrapping at the ring's end, and top-ups to 0.375 s when less is ahead.
TEST_F(StreamSounds, RingGeometryFollowsTheCursor) {
  int h = MakeStream({{"tone_44k_stereo_2s.ogg", 0}});
  ASSERT_NE(h, -1);
  TAPE tape;
  tape.Add(DecodedPcm("tone_44k_stereo_2s.ogg"));
  ASSERT_EQ(StartStreamSound(h, SOUND_PLAY_RETURN, 1), 0);
  SOUND_RECORD* r = Record(h);
  EXPECT_EQ(r->bufferSize, 176400);
  EXPECT_EQ(r->writePos, 132300);
  EXPECT_EQ(r->refillPos, 0);
  EXPECT_TRUE(tape.Check(h, 0, 132300));
  struct STEP {
    int cursor, result, write, refill;
  } steps[] = {
      {0, 0, 154348, 22048},       // 0.75 s ahead: an eighth
      {10000, -1, 154348, 22048},  // the refill point not passed: nothing due
      {30000, 0, 176396, 44096},
      {50000, 0, 22044, 66144},    // the lock wraps at the ring's end
      {150000, 0, 39956, 84056},   // 0.27 s ahead: topped up to 0.375 s
      {38000, 0, 104380, 148480},  // nearly caught up past the wrap: 0.37 s more
  };
  for (const STEP& s : steps) {
    int before = r->writePos;
    EXPECT_EQ(Drive(h, s.cursor), s.result) << s.cursor;
    EXPECT_EQ(r->writePos, s.write) << s.cursor;
    EXPECT_EQ(r->refillPos, s.refill) << s.cursor;
    EXPECT_TRUE(tape.Check(h, before, r->writePos)) << s.cursor;
  }
}

// Parts play in order; after the last one silence follows and the buffer stops when the
// cursor leaves the data.
TEST_F(StreamSounds, PartsPlayInOrderThenTheStreamEnds) {
  int h = MakeStream({{"tone_44k_stereo_half.ogg", 0}, {"tone_44k_stereo_tenth.ogg", 0}});
  ASSERT_NE(h, -1);
  SOUND_RECORD* r = Record(h);
  EXPECT_EQ(r->totalFrames, 22050 + 4410);
  EXPECT_EQ(GetSoundHandleTotalTime(h), 600);
  TAPE tape;
  tape.Add(DecodedPcm("tone_44k_stereo_half.ogg"));
  tape.Add(DecodedPcm("tone_44k_stereo_tenth.ogg"));
  ASSERT_EQ(StartStreamSound(h, SOUND_PLAY_RETURN, 1), 0);
  EXPECT_EQ(r->writePos, 105840);
  EXPECT_EQ(r->endReached, 1);
  EXPECT_EQ(r->endPosition, 105840);
  EXPECT_TRUE(tape.Check(h, 0, 105840));
  tape.AddSilence(22048 * 2);
  EXPECT_TRUE(tape.Check(h, 105840, 105840 + 22048));
  tape.read -= 22048;
  EXPECT_EQ(Drive(h, 50000), 0);
  EXPECT_EQ(r->writePos, 127888);
  EXPECT_TRUE(tape.Check(h, 105840, 127888));
  EXPECT_EQ(GetStreamSoundPlayTime(h), 283);
  EXPECT_EQ(IsStreamSoundPlaying(h), 1);
  EXPECT_EQ(Drive(h, 110000), 0);
  EXPECT_EQ(IsStreamSoundPlaying(h), 0);
  EXPECT_EQ(r->active, 0);
  EXPECT_EQ(r->endReached, 0);
  EXPECT_EQ(r->currentPart, 0);
  EXPECT_EQ(GetStreamSoundPlayTime(h), 0);
}

// A looping stream continues with its first part; the played time starts again from 0 when
// the cursor passes the point where the loop began.
TEST_F(StreamSounds, LoopSwitchRestartsThePlayedTime) {
  int h = MakeStream({{"tone_44k_stereo_half.ogg", 0}, {"tone_44k_stereo_tenth.ogg", 0}});
  ASSERT_NE(h, -1);
  SOUND_RECORD* r = Record(h);
  TAPE tape;
  std::vector<uint8_t> half = DecodedPcm("tone_44k_stereo_half.ogg"), tenth = DecodedPcm("tone_44k_stereo_tenth.ogg");
  for (int i = 0; i < 3; i++) {
    tape.Add(half);
    tape.Add(tenth);
  }
  ASSERT_EQ(StartStreamSound(h, SOUND_PLAY_LOOP, 1), 0);
  EXPECT_EQ(r->switchPending, 1);
  EXPECT_EQ(r->switchPosition, 105840);
  EXPECT_TRUE(tape.Check(h, 0, 132300));
  struct STEP {
    int cursor, playedMs;
  } steps[] = {{100000, 566}, {120000, 80}, {170000, 363}, {20000, 513}};
  for (const STEP& s : steps) {
    int before = r->writePos;
    Drive(h, s.cursor);
    EXPECT_EQ(GetStreamSoundPlayTime(h), s.playedMs) << s.cursor;
    EXPECT_LE(GetStreamSoundPlayTime(h), GetSoundHandleTotalTime(h));
    EXPECT_TRUE(tape.Check(h, before, r->writePos)) << s.cursor;
  }
}

// A loop, or a forever-repeating part, shorter than one fill wraps many times within it;
// a part of a few bytes, or one that gives nothing after its first block (its data no longer
// opens from its start), cannot keep the refill going round forever. A file of no sound at
// all makes no stream.
TEST_F(StreamSounds, ShortAndEmptyLoopsFillWithoutSpinning) {
  EXPECT_EQ(MakeStream({{"empty_44k_stereo.ogg", 0}}), -1);
  struct CASE {
    const char* fixture;
    int repeat, playType;
    bool givesUp;
  } cases[] = {
      {"tone_44k_stereo_tenth.ogg", 0, SOUND_PLAY_LOOP, false}, {"tiny_44k_stereo_3f.ogg", 0, SOUND_PLAY_LOOP, false},
      {"tiny_44k_stereo_3f.ogg", 0, SOUND_PLAY_LOOP, true},      {"tone_44k_stereo_tenth.ogg", -1, SOUND_PLAY_RETURN, false},
      {"tiny_44k_stereo_3f.ogg", -1, SOUND_PLAY_RETURN, false},  {"tiny_44k_stereo_3f.ogg", -1, SOUND_PLAY_RETURN, true},
  };
  for (const CASE& c : cases) {
    int h = MakeStream({{c.fixture, c.repeat}});
    ASSERT_NE(h, -1) << c.fixture;
    std::vector<uint8_t> pcm = DecodedPcm(c.fixture);
    ASSERT_FALSE(pcm.empty()) << c.fixture;
    TAPE tape;
    if (c.givesUp) {
      // The part's copy of its file wiped: the block held since the set-up is all there is.
      STREAM_SOUND_PART& part = Record(h)->parts[0];
      memset(part.data, 0, (size_t)part.dataSize);
      tape.Add(pcm);
      tape.AddSilence(400000);
    } else {
      while (tape.bytes.size() < 400000) tape.Add(pcm);
    }
    ASSERT_EQ(StartStreamSound(h, c.playType, 1), 0) << c.fixture;
    SOUND_RECORD* r = Record(h);
    EXPECT_EQ(r->writePos, 132300) << c.fixture;
    EXPECT_TRUE(tape.Check(h, 0, 132300)) << c.fixture << " " << c.repeat << " " << c.givesUp;
    for (int cursor : {20000, 60000, 100000, 140000}) {
      int before = r->writePos;
      Drive(h, cursor);
      EXPECT_TRUE(tape.Check(h, before, r->writePos)) << c.fixture << " " << cursor;
      EXPECT_LE(GetStreamSoundPlayTime(h), GetSoundHandleTotalTime(h)) << c.fixture;
    }
    EXPECT_EQ(IsStreamSoundPlaying(h), 1) << c.fixture;
    DeleteHandle(h);
  }
}

// A looping part whose stereo A-law data is cut inside its last frame: every pass starts on a
// left sample, so left stays left (loud and positive) and right stays right (loud and
// negative) in the first fill and in the refills after it.
TEST_F(StreamSounds, LoopedPartCutInsideAFrameKeepsItsChannels) {
  std::string data;
  for (int i = 0; i < 1000; i++) data += "\xAA\x2A";
  data += "\xAA";
  std::string file = Riff(Chunk("fmt ", FormatBody(6, 2, 8000, 16000, 2, 8, 0)) + Chunk("data", data));
  std::vector<uint8_t> pcm = DecodedPcmOf(file);
  ASSERT_EQ(pcm.size(), 4000u);
  HANDLE_VALUE h = NewSoundHandle(0);
  SOUND_LOAD_SETTINGS s;
  FillSoundLoadDefaults(&s);
  ASSERT_EQ(AddStreamSoundFromMemory(&s, file.data(), (int)file.size(), 0, h, STREAM_PART_FILE_COPY, -1, 0), 0);
  TAPE tape;
  while (tape.bytes.size() < 100000) tape.Add(pcm);
  ASSERT_EQ(StartStreamSound(h, SOUND_PLAY_LOOP, 1), 0);
  SOUND_RECORD* r = Record(h);
  ASSERT_EQ(r->bufferSize, 32000);
  EXPECT_EQ(r->writePos, 24000);
  EXPECT_TRUE(tape.Check(h, 0, 24000));
  for (int cursor : {5000, 10000, 20000, 30000}) {
    int before = r->writePos;
    Drive(h, cursor);
    EXPECT_EQ(r->writePos % 4, 0) << cursor;
    EXPECT_TRUE(tape.Check(h, before, r->writePos)) << cursor;
  }
  const int16_t* ring = reinterpret_cast<const int16_t*>(Ring(h)->pcmBlock->data);
  int wrong = 0;
  for (int frame = 0; frame < 8000; frame++) wrong += !(ring[2 * frame] > 16000 && ring[2 * frame + 1] < -16000);
  EXPECT_EQ(wrong, 0) << "frames of the ring with left and right swapped";
}

// A looping stream of a chained file whose second link is broken (its set-up header damaged,
// the page's CRC written again): the decoder fails after the first link, and every pass plays
// that link again instead of silence.
TEST_F(StreamSounds, LoopOfAFileThatFailsAfterItsFirstLinkPlaysEveryPass) {
  std::string file = ReadWholeFile(SoundFixture("chain_44k_stereo_twice.ogg"));
  std::vector<OGG_PAGE> pages = OggPages(file);
  ASSERT_GT(pages.size(), 4u);
  file[pages[4].at + 145] = 0;
  RepairOggPage(file, pages[4]);
  std::vector<uint8_t> pcm = DecodedPcmOf(file);
  ASSERT_EQ(pcm.size(), 88200u);
  HANDLE_VALUE h = NewSoundHandle(0);
  SOUND_LOAD_SETTINGS s;
  FillSoundLoadDefaults(&s);
  ASSERT_EQ(AddStreamSoundFromMemory(&s, file.data(), (int)file.size(), 0, h, STREAM_PART_FILE_COPY, -1, 0), 0);
  TAPE tape;
  for (int pass = 0; pass < 4; pass++) tape.Add(pcm);
  ASSERT_EQ(StartStreamSound(h, SOUND_PLAY_LOOP, 1), 0);
  SOUND_RECORD* r = Record(h);
  EXPECT_TRUE(tape.Check(h, 0, r->writePos));
  for (int cursor : {60000, 120000, 170000, 40000}) {
    int before = r->writePos;
    Drive(h, cursor);
    EXPECT_TRUE(tape.Check(h, before, r->writePos)) << cursor;
  }
  EXPECT_GT(tape.read, 2 * pcm.size());
}

TEST_F(StreamSounds, RestartRules) {
  int h = MakeStream({{"tone_44k_stereo_2s.ogg", 0}});
  ASSERT_NE(h, -1);
  SOUND_RECORD* r = Record(h);
  ASSERT_EQ(StartStreamSound(h, SOUND_PLAY_RETURN, 1), 0);
  Drive(h, 30000);
  Drive(h, 50000);
  int write = r->writePos;
  EXPECT_EQ(StartStreamSound(h, SOUND_PLAY_RETURN, 0), -1);  // playing, no restart
  EXPECT_EQ(StopStreamSound(h), 0);
  EXPECT_EQ(IsStreamSoundPlaying(h), 0);
  EXPECT_EQ(r->active, 1);
  // Restart 0 continues where the stream stopped.
  ASSERT_EQ(StartStreamSound(h, SOUND_PLAY_RETURN, 0), 0);
  EXPECT_EQ(r->writePos, write);
  uint32_t play = 0;
  GetSoundBufferPosition(Ring(h), &play, nullptr);
  EXPECT_EQ(play, 50000u);
  // Restart 1 starts the sequence again from its beginning.
  ASSERT_EQ(StartStreamSound(h, SOUND_PLAY_RETURN, 1), 0);
  EXPECT_EQ(r->writePos, 132300);
  GetSoundBufferPosition(Ring(h), &play, nullptr);
  EXPECT_EQ(play, 0u);
  EXPECT_EQ(GetStreamSoundPlayTime(h), 0);
  TAPE tape;
  tape.Add(DecodedPcm("tone_44k_stereo_2s.ogg"));
  EXPECT_TRUE(tape.Check(h, 0, 132300));
}

TEST_F(StreamSounds, AddedPartsMustFit) {
  int h = MakeStream({{"tone_44k_stereo_half.ogg", 0}});
  ASSERT_NE(h, -1);
  SOUND_LOAD_SETTINGS s;
  FillSoundLoadDefaults(&s);
  struct CASE {
    const char* fixture;
    int result;
    const char* log;
  } cases[] = {
      {"tone_22k_mono_1s.ogg", -1, "フォーマットの違う音声データは同時に使うことは出来ません\r\n"},
      {"tone_44k_stereo_tenth.ogg", 0, nullptr},
      {"tone_44k_stereo_2s.ogg", 0, nullptr},
      {"tone_44k_stereo_tenth.ogg", -1, "ストリーム風サウンドの制御データ領域がいっぱいです\r\n"},
  };
  for (const CASE& c : cases) {
    int blocks = GetAllocBlockCount();
    size_t before = ReadLogWithoutStamps().size();
    EXPECT_EQ(AddStreamSoundFromFile(&s, SoundFixture(c.fixture).c_str(), 0, h, STREAM_PART_FILE_COPY, -1, 0), c.result)
        << c.fixture;
    if (c.log != nullptr) {
      EXPECT_TRUE(LogHasInOrder(ReadLogWithoutStamps(), {c.log, "右記のＷＡＶファイルのセットアップに失敗しました："}, before));
      EXPECT_EQ(GetAllocBlockCount(), blocks) << c.fixture;
    }
  }
  EXPECT_EQ(Record(h)->partCount, 3);
  EXPECT_EQ(Record(h)->totalFrames, 22050 + 4410 + 88200);
  // Not while it plays.
  int playing = MakeStream({{"tone_44k_stereo_2s.ogg", 0}});
  ASSERT_EQ(StartStreamSound(playing, SOUND_PLAY_RETURN, 1), 0);
  size_t before = ReadLogWithoutStamps().size();
  EXPECT_EQ(AddStreamSoundFromFile(&s, SoundFixture("tone_44k_stereo_2s.ogg").c_str(), 0, playing, 2, -1, 0), -1);
  EXPECT_TRUE(LogHasInOrder(ReadLogWithoutStamps(), {"既に再生中のストリームサウンドデータにデータを追加しようとしました\r\n"}, before));
}

// Streams of one format may share one buffer; the last to start takes it.
TEST_F(StreamSounds, SharedBufferGoesToTheLastStarted) {
  int owner = MakeStream({{"tone_44k_stereo_2s.ogg", 0}});
  int sharer = MakeStream({{"tone_44k_stereo_half.ogg", 0}}, owner);
  int other = MakeStream({{"tone_22k_mono_1s.ogg", 0}}, owner);  // another format: a buffer of its own
  ASSERT_TRUE(owner != -1 && sharer != -1 && other != -1);
  EXPECT_EQ(Record(sharer)->ownerHandle, owner);
  EXPECT_EQ(Record(sharer)->buffers[0].valid, 0);
  EXPECT_EQ(Record(other)->ownerHandle, -1);
  EXPECT_EQ(Record(owner)->sharerCount, 1);
  ASSERT_EQ(StartStreamSound(owner, SOUND_PLAY_LOOP, 1), 0);
  EXPECT_EQ(IsStreamSoundPlaying(owner), 1);
  ASSERT_EQ(StartStreamSound(sharer, SOUND_PLAY_LOOP, 1), 0);
  EXPECT_EQ(IsStreamSoundPlaying(sharer), 1);
  EXPECT_EQ(IsStreamSoundPlaying(owner), 0);
  EXPECT_EQ(Record(owner)->currentUser, sharer);
  // The owner's record waits for its sharer.
  EXPECT_EQ(DeleteHandle(owner), 0);
  ASSERT_NE(Record(owner), nullptr);
  EXPECT_EQ(Record(owner)->deletePending, 1);
  int blocks = GetAllocBlockCount();
  EXPECT_EQ(DeleteHandle(sharer), 0);
  EXPECT_EQ(LookupHandleRecord(owner), nullptr);
  EXPECT_LT(GetAllocBlockCount(), blocks);
}

TEST_F(StreamSounds, WaveImageLayout) {
  WAVEFORMATEX format = {};
  std::vector<uint8_t> data(1000, 0x42);
  uint8_t* image = nullptr;
  int32_t size = 0;
  ASSERT_EQ(BuildWaveImage(&image, &size, &format, 18, data.data(), 1000), 0);
  EXPECT_EQ(size, 1046);
  uint32_t riff = 0, fmt = 0, dataSize = 0;
  memcpy(&riff, image + 4, 4);
  memcpy(&fmt, image + 16, 4);
  memcpy(&dataSize, image + 42, 4);
  EXPECT_EQ(riff, 1038u);
  EXPECT_EQ(memcmp(image, "RIFF", 4), 0);
  EXPECT_EQ(memcmp(image + 8, "WAVEfmt ", 8), 0);
  EXPECT_EQ(fmt, 18u);
  EXPECT_EQ(memcmp(image + 38, "data", 4), 0);
  EXPECT_EQ(dataSize, 1000u);
  EXPECT_EQ(image[1045], 0x42);
  FreeTracked(image);
}

// A part decoded whole is kept as a WAVE image with a converter of its own: with the default
// readers it holds exactly the decoded PCM; under a setting that leaves only the Ogg Vorbis
// reader (the movie's) the image cannot be opened, and the refusal gives every block back.
TEST_F(StreamSounds, WaveImagePartHoldsTheDecodedPcmOrFailsCleanly) {
  std::vector<uint8_t> pcm = DecodedPcm("tone_44k_stereo_tenth.ogg");
  ASSERT_EQ(pcm.size(), 4410u * 4);
  for (int oggOnly : {0, 1}) {
    HANDLE_VALUE h = NewSoundHandle(0);
    SOUND_LOAD_SETTINGS s;
    FillSoundLoadDefaults(&s);
    if (oggOnly) s.disableBits = (int)0xFFFFFFFB;
    int blocks = GetAllocBlockCount();
    size_t before = ReadLogWithoutStamps().size();
    int result = AddStreamSoundFromFile(&s, SoundFixture("tone_44k_stereo_tenth.ogg").c_str(), 0, h,
                                        STREAM_PART_WAVE_IMAGE, -1, 0);
    if (!oggOnly) {
      ASSERT_EQ(result, 0);
      STREAM_SOUND_PART& part = Record(h)->parts[0];
      ASSERT_EQ(part.dataSize, (int)pcm.size() + 46);
      EXPECT_EQ(memcmp(part.data + 46, pcm.data(), pcm.size()), 0);
      EXPECT_EQ(part.converter.method, SOUND_METHOD_WAVE);
      EXPECT_EQ(GetSoundConverterSize(&part.converter), (int)pcm.size());
    } else {
      EXPECT_EQ(result, -1);
      EXPECT_TRUE(LogHasInOrder(ReadLogWithoutStamps(), {"音声データのオープンに失敗しました\r\n"}, before));
      EXPECT_EQ(GetAllocBlockCount(), blocks);
    }
    DeleteHandle(h);
  }
}

// With several processors the sound thread refills a playing stream by itself; with one, the
// message pump does, and nothing happens between pumps.
TEST_F(StreamSounds, RefillComesFromTheThreadOrThePump) {
  for (int processors : {4, 1}) {
    SOUND_TEST_SWITCHES s;
    s.processors = processors;
    ASSERT_EQ(RestartSound(s), 0);
    EXPECT_EQ(SoundSystem.soundThread != nullptr, processors > 1);
    SOUND_LOAD_SETTINGS settings;
    FillSoundLoadDefaults(&settings);
    settings.streamKind = STREAM_PART_OPEN_STREAM;
    int h = CreateSoundFromFile(&settings, SoundFixture("tone_44k_stereo_2s.ogg").c_str(), 1, -1, 0, 0);
    ASSERT_NE(h, -1);
    ASSERT_EQ(StartSoundHandle(h, SOUND_PLAY_LOOP, 1), 0);
    int first = Record(h)->writePos;
    Sleep(400);
    if (processors > 1) {
      EXPECT_NE(Record(h)->writePos, first) << "the thread refills";
    } else {
      EXPECT_EQ(Record(h)->writePos, first) << "nothing refills between pumps";
      for (DWORD start = GetTickCount(); GetTickCount() - start < 400; Sleep(5)) PumpWindowMessages();
      EXPECT_NE(Record(h)->writePos, first) << "the pump refills";
    }
    EXPECT_LE(GetSoundHandlePlayTime(h), 2000);
    DeleteHandle(h);
  }
}
}  // namespace
