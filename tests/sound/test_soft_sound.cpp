// Soft-sound players: the refill from the ring buffer step by step in software mode (data,
// then only the queued rest, then silence with the end tracked, then data again), silence for
// every sample size, a cursor outside the refill span, the wrap at the end of the buffer; a
// player on a real DirectSound buffer that plays its data, then silence, refilled by the
// sound thread or the pump; the pause on deactivation; and release order at shut-down.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "core/memory.h"
#include "sound/music.h"
#include "sound/soft_sound.h"
#include "sound_fakes.h"
#include "sound_test_util.h"

namespace {
WAVEFORMATEX PcmFormat(int channels, int bits) {
  WAVEFORMATEX f = {};
  f.wFormatTag = WAVE_FORMAT_PCM;
  f.nChannels = (WORD)channels;
  f.nSamplesPerSec = 44100;
  f.wBitsPerSample = (WORD)bits;
  f.nBlockAlign = (WORD)(channels * bits / 8);
  f.nAvgBytesPerSec = 44100 * f.nBlockAlign;
  return f;
}

// Appends bytes to a player's ring as a producer would, and counts the frames.
void Queue(SOFT_SOUND_RECORD* p, const std::vector<uint8_t>& bytes) {
  RING_BUFFER* ring = &p->ring;
  ASSERT_EQ(ReserveRingBuffer(ring, (int)bytes.size()), 0);
  WrapRingBufferPositions(ring);
  for (uint8_t byte : bytes) {
    if (ring->writePosition == ring->size) ring->writePosition = 0;
    ring->data[ring->writePosition++] = byte;
  }
  ring->held += (int)bytes.size();
  p->queuedFrames += (int)bytes.size() / p->format.nBlockAlign;
}

std::vector<uint8_t> Ramp(int count, int first) {
  std::vector<uint8_t> bytes;
  for (int i = 0; i < count; i++) bytes.push_back((uint8_t)(first + i));
  return bytes;
}

// A started player of bufferBytes with the given lead, on the running back-end.
SOFT_SOUND_RECORD* NewPlayer(const WAVEFORMATEX& format, int bufferBytes, int leadBytes, int* handle) {
  *handle = NewHandle(HANDLE_TYPE_SOFT_SOUND, -1);
  SOFT_SOUND_RECORD* p = reinterpret_cast<SOFT_SOUND_RECORD*>(LookupHandleRecord(*handle));
  if (p == nullptr) return nullptr;
  p->kind = SOFT_SOUND_PLAYER;
  p->format = format;
  InitRingBuffer(&p->ring);
  WAVEFORMATEX copy = format;
  DSBUFFERDESC desc = {};
  desc.dwSize = sizeof(desc);
  desc.dwFlags = DSBCAPS_GETCURRENTPOSITION2 | DSBCAPS_GLOBALFOCUS | DSBCAPS_CTRLVOLUME | DSBCAPS_CTRLPAN;
  desc.dwBufferBytes = (DWORD)bufferBytes;
  desc.lpwfxFormat = &copy;
  if (SetUpSoundBuffer(&p->buffer, &desc, nullptr, 0) < 0) return nullptr;
  p->bufferBytes = bufferBytes;
  p->leadBytes = leadBytes;
  p->writePosition = leadBytes;
  p->endPosition = -1;
  LockHandleType(HANDLE_TYPE_SOFT_SOUND);
  InsertListNode(&SoundSystem.playerHead, &p->playerNode, *handle, p);
  UnlockHandleType(HANDLE_TYPE_SOFT_SOUND);
  p->started = 1;
  return p;
}

void MoveCursor(SOFT_SOUND_RECORD* p, int bytes) { ASSERT_EQ(SetSoundBufferPosition(&p->buffer, (uint32_t)bytes), 0); }

std::vector<uint8_t> Bytes(SOFT_SOUND_RECORD* p, int from, int to) {
  return std::vector<uint8_t>(p->buffer.pcmBlock->data + from, p->buffer.pcmBlock->data + to);
}

class SoftSound : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { ASSERT_EQ(StartSoundTestLibrary(), 0); }
  static void TearDownTestSuite() {
    RestartSound({});
    EndLibrary();
  }
  void TearDown() override { DeleteHandlesOfType(HANDLE_TYPE_SOFT_SOUND, nullptr); }
  static void Software() {
    SOUND_TEST_SWITCHES s;
    s.softwareMode = 1;
    ASSERT_EQ(RestartSound(s), 0);
  }
};

TEST_F(SoftSound, EmptyListsDoNothing) {
  Software();
  EXPECT_EQ(RefillSoftSoundPlayers(), 0);
  EXPECT_EQ(SetSoftSoundPlayersPaused(1), 0);
  EXPECT_EQ(SetSoftSoundPlayersPaused(0), 0);
  EXPECT_EQ(PollMusicPlayState(), 0);
}

// 16-bit stereo (4-byte frames), a 400-byte buffer and a lead of 40 bytes; the play cursor is
// moved by hand. Each row: where the cursor stands, what is queued before the refill, and
// what the refill leaves.
TEST_F(SoftSound, RefillPlaysDataThenSilenceAndTracksTheEnd) {
  Software();
  int h = 0;
  SOFT_SOUND_RECORD* p = NewPlayer(PcmFormat(2, 16), 400, 40, &h);
  ASSERT_NE(p, nullptr);
  memset(p->buffer.pcmBlock->data, 0xAA, 400);
  Queue(p, Ramp(60, 1));  // 15 frames
  struct ROW {
    const char* what;
    int cursor, queueBytes;
    int write, queued, endPosition, endPassed;
  } rows[] = {
      {"a full refill: ten frames of data", 0, 0, 80, 5, -1, 0},
      {"only the five queued frames, no silence", 40, 0, 100, 0, -1, 0},
      {"nothing queued: ten frames of silence, the end marked", 60, 0, 140, 0, 100, 0},
      {"the cursor crossed the end: more silence", 110, 0, 188, 0, 100, 1},
      {"data again after the end was passed", 150, 8, 196, 0, -1, 0},
      {"a cursor behind the refill span writes nothing", 20, 0, 196, 0, -1, 0},
  };
  for (const ROW& row : rows) {
    if (row.queueBytes) Queue(p, Ramp(row.queueBytes, 101));
    MoveCursor(p, row.cursor);
    ASSERT_EQ(RefillSoftSoundPlayer(p), 0) << row.what;
    EXPECT_EQ(p->writePosition, row.write) << row.what;
    EXPECT_EQ(p->queuedFrames, row.queued) << row.what;
    EXPECT_EQ(p->endPosition, row.endPosition) << row.what;
    EXPECT_EQ(p->endPassed, row.endPassed) << row.what;
  }
  EXPECT_EQ(Bytes(p, 0, 40), std::vector<uint8_t>(40, 0xAA));
  EXPECT_EQ(Bytes(p, 40, 100), Ramp(60, 1));
  EXPECT_EQ(Bytes(p, 100, 188), std::vector<uint8_t>(88, 0));
  EXPECT_EQ(Bytes(p, 188, 196), Ramp(8, 101));
  EXPECT_EQ(Bytes(p, 196, 400), std::vector<uint8_t>(204, 0xAA));
  EXPECT_EQ(p->ring.held, 0);
  // A player that is not started is left alone.
  p->started = 0;
  MoveCursor(p, 196);
  EXPECT_EQ(RefillSoftSoundPlayer(p), 0);
  EXPECT_EQ(p->writePosition, 196);
}

// The refill crosses the end of the buffer into its start, data first, then silence.
TEST_F(SoftSound, RefillWrapsAtTheEndOfTheBuffer) {
  Software();
  int h = 0;
  SOFT_SOUND_RECORD* p = NewPlayer(PcmFormat(1, 16), 100, 20, &h);
  ASSERT_NE(p, nullptr);
  memset(p->buffer.pcmBlock->data, 0xAA, 100);
  p->writePosition = 90;
  Queue(p, Ramp(20, 1));
  MoveCursor(p, 70);
  ASSERT_EQ(RefillSoftSoundPlayer(p), 0);
  EXPECT_EQ(p->writePosition, 10);
  EXPECT_EQ(Bytes(p, 90, 100), Ramp(10, 1));
  EXPECT_EQ(Bytes(p, 0, 10), Ramp(10, 11));
  MoveCursor(p, 95);
  ASSERT_EQ(RefillSoftSoundPlayer(p), 0);
  EXPECT_EQ(p->writePosition, 34);  // (20 + 5) / 2 = 12 frames of silence
  EXPECT_EQ(p->endPosition, 10);
  EXPECT_EQ(Bytes(p, 10, 34), std::vector<uint8_t>(24, 0));
  EXPECT_EQ(Bytes(p, 34, 36), std::vector<uint8_t>(2, 0xAA));
}

// Silence is written for every sample size: 0x7F bytes for 8-bit samples, zeros for all others.
TEST_F(SoftSound, SilenceForEverySampleSize) {
  Software();
  struct CASE {
    int channels, bits;
    uint8_t silence;
  } cases[] = {{1, 8, 0x7F}, {2, 8, 0x7F}, {2, 16, 0}, {2, 24, 0}, {2, 32, 0}, {1, 32, 0}};
  for (const CASE& c : cases) {
    int h = 0;
    WAVEFORMATEX format = PcmFormat(c.channels, c.bits);
    int B = format.nBlockAlign;
    SOFT_SOUND_RECORD* p = NewPlayer(format, 24 * B, 4 * B, &h);
    ASSERT_NE(p, nullptr) << c.bits;
    memset(p->buffer.pcmBlock->data, 0xAA, 24 * B);
    ASSERT_EQ(RefillSoftSoundPlayer(p), 0);
    EXPECT_EQ(Bytes(p, 4 * B, 8 * B), std::vector<uint8_t>(4 * B, c.silence)) << c.channels << "x" << c.bits;
    EXPECT_EQ(Bytes(p, 8 * B, 9 * B), std::vector<uint8_t>(B, 0xAA)) << c.channels << "x" << c.bits;
    DeleteHandle(h);
  }
}

// A producer that counted more frames than it queued gets only what the ring holds.
TEST_F(SoftSound, NeverReadsMoreThanTheRingHolds) {
  Software();
  int h = 0;
  SOFT_SOUND_RECORD* p = NewPlayer(PcmFormat(1, 16), 100, 20, &h);
  ASSERT_NE(p, nullptr);
  Queue(p, Ramp(6, 1));
  p->queuedFrames = 50;
  ASSERT_EQ(RefillSoftSoundPlayer(p), 0);
  EXPECT_EQ(p->writePosition, 26);
  EXPECT_EQ(Bytes(p, 20, 26), Ramp(6, 1));
  EXPECT_EQ(p->ring.held, 0);
}

// On a real DirectSound buffer the player plays its queued data, then silence: the refills of
// the sound thread (or of the pump on one processor) move the data out of the ring and the
// play cursor crosses the end of it.
TEST_F(SoftSound, RealPlayerPlaysDataThenSilence) {
  for (int processors : {1, 2}) {
    SOUND_TEST_SWITCHES s;
    s.useDirectSound = 1;
    s.processors = processors;
    ASSERT_EQ(RestartSound(s), 0);
    EXPECT_EQ(SoundSystem.soundThread != nullptr, processors > 1);
    int h = 0;
    WAVEFORMATEX format = PcmFormat(2, 16);
    SOFT_SOUND_RECORD* p = NewPlayer(format, 17640 * 4, 4410 * 4, &h);  // 0.4 s, 0.1 s ahead
    ASSERT_NE(p, nullptr);
    std::vector<uint8_t> tone(22050 * 4);  // half a second
    for (size_t i = 0; i < tone.size(); i++) tone[i] = (uint8_t)((i / 4) * 7);
    LockHandleType(HANDLE_TYPE_SOFT_SOUND);
    Queue(p, tone);
    UnlockHandleType(HANDLE_TYPE_SOFT_SOUND);
    ASSERT_EQ(PlaySoundBuffer(&p->buffer, 1), 0);
    bool drained = false, passed = false;
    for (DWORD start = GetTickCount(); GetTickCount() - start < 20000 && !passed; Sleep(2)) {
      PumpWindowMessages();
      LockHandleType(HANDLE_TYPE_SOFT_SOUND);
      drained = drained || p->queuedFrames == 0;
      passed = p->endPassed == 1;
      UnlockHandleType(HANDLE_TYPE_SOFT_SOUND);
    }
    EXPECT_TRUE(drained) << processors;
    EXPECT_TRUE(passed) << processors;
    EXPECT_EQ(p->ring.held, 0) << processors;
    StopSoundBuffer(&p->buffer);
    DeleteHandle(h);
  }
}

// Deactivation stops a playing player and activation plays it again; a player that was not
// playing stays stopped, and one that is not started only loses its pause.
TEST_F(SoftSound, PauseAndResumeFollowActivation) {
  SOUND_TEST_SWITCHES s;
  s.useDirectSound = 1;
  ASSERT_EQ(RestartSound(s), 0);
  int playingHandle = 0, quietHandle = 0, idleHandle = 0;
  SOFT_SOUND_RECORD* playing = NewPlayer(PcmFormat(2, 16), 17640, 4410, &playingHandle);
  SOFT_SOUND_RECORD* quiet = NewPlayer(PcmFormat(2, 16), 17640, 4410, &quietHandle);
  SOFT_SOUND_RECORD* idle = NewPlayer(PcmFormat(2, 16), 17640, 4410, &idleHandle);
  ASSERT_TRUE(playing && quiet && idle);
  idle->started = 0;
  idle->paused = 1;
  ASSERT_EQ(PlaySoundBuffer(&playing->buffer, 1), 0);
  uint32_t status = 0;
  EXPECT_EQ(SetSoftSoundPlayersPaused(1), 0);
  EXPECT_EQ(playing->paused, 1);
  EXPECT_EQ(playing->resume, 1);
  EXPECT_EQ(quiet->paused, 1);
  EXPECT_EQ(quiet->resume, 0);
  GetSoundBufferStatus(&playing->buffer, &status);
  EXPECT_EQ(status & 1, 0u);
  EXPECT_EQ(SetSoftSoundPlayersPaused(0), 0);
  EXPECT_EQ(playing->paused, 0);
  EXPECT_EQ(quiet->paused, 0);
  EXPECT_EQ(idle->paused, 0);
  GetSoundBufferStatus(&playing->buffer, &status);
  EXPECT_EQ(status & 1, 1u);
  GetSoundBufferStatus(&quiet->buffer, &status);
  EXPECT_EQ(status & 1, 0u);
  EXPECT_EQ(playing->buffer.loop, 1);
  StopSoundBuffer(&playing->buffer);
}

// Shut-down deletes the data soft sounds and the players, with their blocks and buffers.
TEST_F(SoftSound, ShutDownReleasesDataAndPlayers) {
  Software();
  int blocks = GetAllocBlockCount();
  int h = 0;
  SOFT_SOUND_RECORD* p = NewPlayer(PcmFormat(2, 16), 400, 40, &h);
  ASSERT_NE(p, nullptr);
  Queue(p, Ramp(40, 1));
  int data = NewHandle(HANDLE_TYPE_SOFT_SOUND, -1);
  SOFT_SOUND_RECORD* d = reinterpret_cast<SOFT_SOUND_RECORD*>(LookupHandleRecord(data));
  ASSERT_NE(d, nullptr);
  d->kind = SOFT_SOUND_DATA;
  d->pcmData = static_cast<uint8_t*>(AllocTracked(64, "", 0));
  EXPECT_EQ(KeepSoftSoundPlayers(&p->head), 1);
  EXPECT_EQ(KeepSoftSoundData(&p->head), 0);
  EXPECT_EQ(KeepSoftSoundPlayers(&d->head), 0);
  EXPECT_EQ(KeepSoftSoundData(&d->head), 1);
  Software();
  EXPECT_EQ(LookupHandleRecord(h), nullptr);
  EXPECT_EQ(LookupHandleRecord(data), nullptr);
  EXPECT_EQ(SoundSystem.playerHead.next, &SoundSystem.playerTail);
  EXPECT_EQ(GetAllocBlockCount(), blocks);
}
}  // namespace
