// Thousands of mutated sound files of every reader go through the converter. The mutations
// know the formats: WAVE chunk sizes and format fields, MPEG frame-header fields and ID3
// tags, Ogg page fields and header packets with the page CRC written again, besides bytes
// changed anywhere, files cut short and junk added. Each file is refused, or it gives sound:
// the whole conversion, block reads of another converter and block reads after a rewind
// deliver the same whole frames, a seek into the sound that succeeds has sound to read, and
// seeks and reads after them do not crash. Nothing hangs (the program's time limit), no
// tracked block is left and none is damaged.
#include "../dshow/dshow_test_filters.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "core/memory.h"
#include "sound/sound_convert.h"
#include "sound_source_util.h"
#include "seeded_random.h"

namespace {

::testing::Environment* const com = ::testing::AddGlobalTestEnvironment(new ComEnvironment);

uint32_t GetLe(const std::string& s, size_t at, int bytes) {
  uint32_t v = 0;
  for (int i = bytes - 1; i >= 0; i--) v = v << 8 | (at + i < s.size() ? (uint8_t)s[at + i] : 0);
  return v;
}
void PutLe(std::string& s, size_t at, int bytes, uint32_t v) {
  for (int i = 0; i < bytes && at + i < s.size(); i++) s[at + i] = (char)(v >> (8 * i));
}

// A value a reader has to survive in a field of `bytes` bytes that now holds v.
uint32_t Interesting(Random& rnd, uint32_t v, int bytes) {
  const uint32_t wide = bytes == 4 ? 0xFFFFFFFFu : bytes == 2 ? 0xFFFFu : 0xFFu;
  const uint32_t picks[] = {0, 1, 2, 3, 4, 7, 8, 16, 24, 32, 255, 256, 1000, 8000, 65535, 768000, 768001,
                            0x7FFFFFFF, 0x80000000u, wide, wide - 1, v + 1, v - 1, v * 2, v / 2, v + 2};
  uint32_t value = rnd.OneIn(5) ? rnd.Next() : picks[rnd.Below((int)(sizeof(picks) / sizeof(picks[0])))];
  return value & wide;
}

// Mutations every format shares: bytes changed (mostly near the start), the file cut short,
// junk added.
void MutateBytes(std::string& s, Random& rnd) {
  if (s.empty()) return;
  int changes = 1 + rnd.Below(4);
  for (int i = 0; i < changes; i++) {
    size_t at = rnd.Below(4) != 0 && s.size() > 80 ? (size_t)rnd.Below(80) : (size_t)rnd.Below((int)s.size());
    s[at] = (char)(rnd.OneIn(3) ? 0xFF : rnd.Next());
  }
}
void CutOrExtend(std::string& s, Random& rnd) {
  if (rnd.OneIn(2) && !s.empty()) {
    s.resize((size_t)rnd.Below((int)s.size()));
  } else {
    std::string junk((size_t)rnd.Below(200), '\0');
    for (char& c : junk) c = (char)(rnd.OneIn(4) ? 0xFF : rnd.Next());
    s.insert((size_t)rnd.Below((int)s.size() + 1), junk);
  }
}

// ---- WAVE ----

struct WAVE_CHUNK {
  size_t header;  // offset of the id; the size follows, the body after it
  uint32_t size;
};
std::vector<WAVE_CHUNK> WaveChunks(const std::string& s) {
  std::vector<WAVE_CHUNK> chunks;
  for (size_t at = 12; at + 8 <= s.size();) {
    uint32_t size = GetLe(s, at + 4, 4);
    chunks.push_back({at, size});
    at += 8 + (uint64_t)size + (size & 1);
    if (at > s.size() || chunks.size() > 16) break;
  }
  return chunks;
}

void MutateWave(std::string& s, Random& rnd) {
  std::vector<WAVE_CHUNK> chunks = WaveChunks(s);
  int kind = rnd.Below(10);
  if (chunks.empty() || kind >= 8) {
    rnd.OneIn(2) ? MutateBytes(s, rnd) : CutOrExtend(s, rnd);
    return;
  }
  const WAVE_CHUNK& chunk = chunks[(size_t)rnd.Below((int)chunks.size())];
  if (kind < 2) {  // a chunk's size, or the RIFF size
    size_t at = rnd.OneIn(4) ? 4 : chunk.header + 4;
    PutLe(s, at, 4, Interesting(rnd, GetLe(s, at, 4), 4));
  } else if (kind < 7) {  // a field of the format chunk: tag, channels, rates, align, bits, extra
    size_t fmt = 0;
    for (const WAVE_CHUNK& c : chunks)
      if (s.compare(c.header, 4, "fmt ") == 0) fmt = c.header + 8;
    if (fmt == 0) return;
    const int fields[][2] = {{0, 2}, {2, 2}, {4, 4}, {8, 4}, {12, 2}, {14, 2}, {16, 2}, {18, 2}, {20, 2}, {22, 2}, {24, 2}};
    int count = 1 + rnd.Below(2);
    for (int i = 0; i < count; i++) {
      const int* f = fields[rnd.Below((int)(sizeof(fields) / sizeof(fields[0])))];
      PutLe(s, fmt + f[0], f[1], Interesting(rnd, GetLe(s, fmt + f[0], f[1]), f[1]));
    }
  } else {  // a chunk's id
    const char* ids[] = {"fmt ", "data", "bext", "LIST", "fmt\0", "DATA"};
    s.replace(chunk.header, 4, std::string(ids[rnd.Below(6)], 4));
  }
}

std::vector<std::string> WaveSeeds() {
  std::string samples;
  for (int i = 0; i < 3000; i++) samples.push_back((char)(i * 7 + 1));
  // MS ADPCM blocks: a header per channel (predictor, delta, two samples), then nibbles.
  std::string msBlocks;
  for (int block = 0; block < 4; block++) {
    for (int c = 0; c < 2; c++) msBlocks += std::string(1, (char)((block + c) % 7));
    for (int c = 0; c < 2; c++) msBlocks += Le16(16 + block);
    for (int c = 0; c < 4; c++) msBlocks += Le16(100 * c);
    for (int i = 14; i < 512; i++) msBlocks.push_back((char)(i * 37 + block));
  }
  std::string floats;
  for (int i = 0; i < 600; i++) floats += Le32(0x3E800000u + (uint32_t)i);  // about 0.25
  return {
      Riff(Chunk("fmt ", FormatBody(1, 2, 8000, 32000, 4, 16)) + Chunk("LIST", "INFOab") + Chunk("data", samples)),
      SoundFixtureBytes("tone_22k_stereo_ima.wav").substr(0, 60 + 3 * 1024),
      Riff(Chunk("fmt ", FormatBody(3, 2, 8000, 64000, 8, 32, 0)) + Chunk("data", floats)),
      Riff(Chunk("fmt ", MsAdpcm(2, 512, 500)) + Chunk("data", msBlocks)),
      Riff(Chunk("fmt ", FormatBody(7, 1, 8000, 8000, 1, 8, 0)) + Chunk("data", samples.substr(0, 2000))),
      // Stereo A-law cut inside its last frame.
      Riff(Chunk("fmt ", FormatBody(6, 2, 8000, 16000, 2, 8, 0)) + Chunk("data", samples.substr(0, 2001))),
      Riff(Chunk("fmt ", Extensible(2, 96000, 24, 24, 3, SubFormat(1))) + Chunk("data", samples.substr(0, 2400))),
  };
}

// ---- MP3 ----

std::string Id3v2Tag(uint8_t major, uint8_t flags, uint32_t bodyBytes) {
  std::string tag = "ID3";
  tag += (char)major;
  tag += '\0';
  tag += (char)flags;
  for (int shift = 21; shift >= 0; shift -= 7) tag += (char)((bodyBytes >> shift) & 0x7F);
  return tag + std::string(bodyBytes, '\0');
}

// The frame starts, walked as the ACM reader walks them.
std::vector<size_t> Mp3Frames(const std::string& s) {
  std::vector<size_t> frames;
  size_t at = s.compare(0, 3, "ID3") == 0 && s.size() >= 10
                  ? ((((size_t)(s[6] & 0x7F) * 128 + (s[7] & 0x7F)) * 128 + (s[8] & 0x7F)) * 128 + (s[9] & 0x7F) + 10)
                  : 0;
  while (at + 4 <= s.size() && frames.size() < 200) {
    MP3_FRAME_INFO info;
    if (ParseMp3FrameHeader(reinterpret_cast<const uint8_t*>(s.data()) + at, &info) != 0 || info.frameLength == 0) break;
    frames.push_back(at);
    at += info.frameLength;
  }
  return frames;
}

void MutateMp3(std::string& s, Random& rnd) {
  std::vector<size_t> frames = Mp3Frames(s);
  int kind = rnd.Below(10);
  if (frames.empty() || kind >= 8) {
    rnd.OneIn(2) ? MutateBytes(s, rnd) : CutOrExtend(s, rnd);
    return;
  }
  if (kind < 4) {  // header fields of the first frame or another: version, layer, rates, padding, mode
    size_t at = rnd.OneIn(2) ? frames[0] : frames[(size_t)rnd.Below((int)frames.size())];
    uint8_t* h = reinterpret_cast<uint8_t*>(&s[at]);
    switch (rnd.Below(6)) {
      case 0: h[1] = (uint8_t)((h[1] & ~0x18) | (rnd.Below(4) << 3)); break;       // version
      case 1: h[1] = (uint8_t)((h[1] & ~0x06) | (rnd.Below(4) << 1)); break;       // layer
      case 2: h[2] = (uint8_t)((h[2] & 0x0F) | (rnd.Below(16) << 4)); break;       // bit rate
      case 3: h[2] = (uint8_t)((h[2] & ~0x0C) | (rnd.Below(4) << 2)); break;       // sample rate
      case 4: h[2] ^= 0x02; break;                                                 // padding
      default: h[3] = (uint8_t)((h[3] & 0x3F) | (rnd.Below(4) << 6)); break;       // channel mode
    }
  } else if (kind < 6) {  // the ID3v2 tag: its size (synchsafe or not), version, flags
    if (s.compare(0, 3, "ID3") != 0) {
      s.insert(0, Id3v2Tag((uint8_t)(2 + rnd.Below(4)), rnd.OneIn(2) ? 0x10 : 0, (uint32_t)rnd.Below(64)));
      return;
    }
    size_t at = 3 + (size_t)rnd.Below(7);
    s[at] = (char)(rnd.OneIn(2) ? rnd.Next() : (rnd.Next() & 0x7F));
  } else if (kind == 6) {  // the ID3v1 tag: taken away, added, or a false one
    if (s.size() > 128 && s.compare(s.size() - 128, 3, "TAG") == 0) {
      s.resize(s.size() - 128 + (size_t)rnd.Below(128));
    } else {
      s += "TAG" + std::string((size_t)(rnd.OneIn(2) ? 125 : rnd.Below(125)), 'y');
    }
  } else {  // junk with false syncs between frames
    std::string junk((size_t)(1 + rnd.Below(40)), '\x11');
    for (char& c : junk)
      if (rnd.OneIn(4)) c = (char)(rnd.OneIn(2) ? 0xFF : 0xF0 | rnd.Below(16));
    s.insert(frames[(size_t)rnd.Below((int)frames.size())], junk);
  }
}

std::vector<std::string> Mp3Seeds() {
  std::string frames = SoundFixtureBytes("tone_22k_mono_1s.mp3").substr(0, 1500);
  return {
      Id3v2Tag(3, 0, 20) + frames + "TAG" + std::string(125, 'y'),
      frames,
      SoundFixtureBytes("tone_44k_stereo_2s.mp3").substr(0, 4000),
  };
}

// ---- Ogg Vorbis ----

void MutateOgg(std::string& s, Random& rnd) {
  std::vector<OGG_PAGE> pages = OggPages(s);
  int kind = rnd.Below(10);
  if (pages.empty() || kind >= 9) {
    rnd.OneIn(2) ? MutateBytes(s, rnd) : CutOrExtend(s, rnd);  // the CRC stays wrong here
    return;
  }
  size_t index = (size_t)rnd.Below((int)pages.size());
  if (kind == 8) {  // a page dropped, doubled or moved
    std::string page = s.substr(pages[index].at, pages[index].length);
    if (rnd.OneIn(3)) {
      s.erase(pages[index].at, pages[index].length);
    } else if (rnd.OneIn(2)) {
      s.insert(pages[index].at, page);
    } else {
      s.erase(pages[index].at, pages[index].length);
      std::vector<OGG_PAGE> rest = OggPages(s);
      s.insert(rest.empty() ? s.size() : rest[(size_t)rnd.Below((int)rest.size())].at, page);
    }
    return;
  }
  if (kind < 4) {  // the page header: version, flags, granule position, serial number, sequence
    size_t at = pages[index].at;
    switch (rnd.Below(5)) {
      case 0: s[at + 4] = (char)rnd.Below(3); break;
      case 1: s[at + 5] = (char)rnd.Below(8); break;
      case 2:
        PutLe(s, at + 6 + 4 * (size_t)rnd.Below(2), 4, Interesting(rnd, GetLe(s, at + 6, 4), 4));
        break;
      case 3: PutLe(s, at + 14, 4, rnd.OneIn(2) ? GetLe(s, pages[(size_t)rnd.Below((int)pages.size())].at + 14, 4) : rnd.Next()); break;
      default: PutLe(s, at + 18, 4, Interesting(rnd, GetLe(s, at + 18, 4), 4)); break;
    }
  } else if (kind < 7) {  // the header packets: channels, rate, block sizes of the first page, the codebooks
    size_t page = pages.size() > 1 && rnd.OneIn(2) ? 1 : 0;
    size_t body = pages[page].at + 27 + (uint8_t)s[pages[page].at + 26];
    size_t end = pages[page].at + pages[page].length;
    if (body >= end) return;
    size_t at = page == 0 && rnd.OneIn(2) ? body + (size_t)(11 + rnd.Below(18)) : body + (size_t)rnd.Below((int)(end - body));
    if (at < end) s[at] = (char)(rnd.OneIn(2) ? Interesting(rnd, (uint8_t)s[at], 1) : rnd.Next());
    index = page;
  } else {  // a lacing value: the page's length changes with it
    int segments = (uint8_t)s[pages[index].at + 26];
    if (segments == 0) return;
    s[pages[index].at + 27 + (size_t)rnd.Below(segments)] = (char)rnd.Next();
  }
  std::vector<OGG_PAGE> now = OggPages(s);
  for (const OGG_PAGE& p : now)
    if (p.at == pages[index].at) RepairOggPage(s, p);
}

std::vector<std::string> OggSeeds() {
  return {SoundFixtureBytes("tone_22k_mono_1s.ogg"), SoundFixtureBytes("tone_44k_stereo_half.ogg"),
          SoundFixtureBytes("chain_44k_stereo_twice.ogg"), SoundFixtureBytes("chain_44k_stereo_then_22k_mono.ogg"),
          SoundFixtureBytes("theora_first_22k.ogg")};
}

// ---- the checks ----

struct TALLY {
  int files = 0, accepted = 0, throughDirectShow = 0;
};

std::string Compare(const char* what, const std::vector<uint8_t>& blocks, const std::vector<uint8_t>& whole) {
  if (blocks == whole) return std::string();
  return std::string(what) + " gave " + std::to_string(blocks.size()) + " bytes, the conversion " +
         std::to_string(whole.size()) + (blocks.size() == whole.size() ? " other ones" : "");
}

// The file is refused, or it gives some sound in whole frames; block reads from the start of
// another converter and of the same one rewound deliver what the whole conversion did, and a
// seek into the sound lands where there is sound to read or fails. -> what went wrong, empty
// when nothing did.
std::string CheckConversions(const std::string& file, int disableBits, Random& rnd, TALLY* tally) {
  MemorySoundFile source(file);
  SOUND_CONVERT_STATE state;
  if (SetUpSoundConverter(&state, source.source(), disableBits, 2, 0) != 0) return std::string();
  tally->accepted++;
  if (state.method == SOUND_METHOD_PCM_MEMORY) tally->throughDirectShow++;
  std::string fault;
  std::vector<uint8_t> whole;
  void* pcm = nullptr;
  int size = 0;
  WAVEFORMATEX format;
  if (ConvertSoundToPcm(&state, &format, &pcm, &size) == 0) {
    whole.assign((uint8_t*)pcm, (uint8_t*)pcm + size);
    FreeTracked(pcm);
  }
  int align = state.format.nBlockAlign;
  if (whole.empty()) {
    fault = "a taken file converted into nothing";
  } else if (align == 0 || whole.size() % (size_t)align != 0) {
    fault = "not whole frames";
  } else {
    // A graph or two codec streams cost more than the rest: those are read only from the same
    // state, back at the start (for the ACM through its standby stream).
    if (state.method != SOUND_METHOD_ACM && state.method != SOUND_METHOD_PCM_MEMORY) {
      MemorySoundFile again(file);
      SOUND_CONVERT_STATE second;
      if (SetUpSoundConverter(&second, again.source(), disableBits, 2, 0) != 0) return "taken once, refused the next time";
      fault = Compare("block reads", ReadToEnd(&second, 1 + rnd.Below(9000)), whole);
      EndSoundConverter(&second);
    }
    // Every pass of a looping stream sound plays what the first did.
    if (fault.empty()) {
      RewindSoundConverter(&state, 0);
      fault = Compare("block reads after a rewind", ReadToEnd(&state, 1 + rnd.Below(9000)), whole);
    }
  }
  // A seek to a third of the sound: where it succeeds there is sound to read.
  uint8_t piece[512];
  int frames = align != 0 ? (int)(whole.size() / (size_t)align) : 0;
  if (fault.empty() && RewindSoundConverter(&state, frames / 3) == 0 && ReadSoundConverter(&state, piece, (int)sizeof(piece)) <= 0)
    fault = "a seek to a third of the sound succeeded with nothing to read";
  // Seeks anywhere, back and forth, then reads: nothing more than not crashing is asked.
  for (int i = 0; i < 4; i++) {
    int target = rnd.OneIn(3) ? rnd.Below(frames + 100) : (rnd.OneIn(2) ? 0 : (int)rnd.Next());
    SeekSoundConverter(&state, target);
    ReadSoundConverter(&state, piece, 1 + rnd.Below((int)sizeof(piece)));
  }
  EndSoundConverter(&state);
  return fault;
}

::testing::AssertionResult ConvertsSoundlyOrIsRefused(const std::string& file, int disableBits, Random& rnd,
                                                      TALLY* tally) {
  int blocks = GetAllocBlockCount();
  tally->files++;
  std::string fault = CheckConversions(file, disableBits, rnd, tally);
  if (fault.empty() && CheckAllAllocBlocks() != 0) fault = "a tracked block was damaged";
  if (fault.empty() && GetAllocBlockCount() != blocks) fault = "a tracked block was left";
  if (fault.empty()) return ::testing::AssertionSuccess();
  // The file is kept beside the log for a look at it.
  WriteWholeFile("failed_mutation.bin", file);
  return ::testing::AssertionFailure() << fault << " (written to failed_mutation.bin)";
}

class SoundFuzz : public AcmSoundTest {
 protected:
  // The codecs' own complaints about broken files say nothing here.
  static void SetUpTestSuite() {
    AcmSoundTest::SetUpTestSuite();
    freopen("NUL", "w", stderr);
  }
  // Mutations shared among the seeds; each file goes through the given readers.
  void Run(const char* format, const std::vector<std::string>& seeds, void (*mutate)(std::string&, Random&),
           int rounds, uint32_t seed, int (*disableBits)(int round)) {
    Random rnd{seed};
    TALLY tally;
    DWORD started = GetTickCount();
    for (const std::string& s : seeds) ASSERT_TRUE(ConvertsSoundlyOrIsRefused(s, disableBits(1), rnd, &tally));
    ASSERT_EQ(tally.accepted, (int)seeds.size()) << format << ": every seed gives sound";
    for (int round = 0; round < rounds; round++) {
      std::string file = seeds[(size_t)round % seeds.size()];
      int changes = 1 + rnd.Below(3);
      for (int i = 0; i < changes; i++) mutate(file, rnd);
      ASSERT_TRUE(ConvertsSoundlyOrIsRefused(file, disableBits(round), rnd, &tally)) << format << " round " << round;
    }
    // Both outcomes happen: the mutations reach the decoders, not only the headers.
    EXPECT_GT(tally.accepted, tally.files / 10) << format;
    EXPECT_LT(tally.accepted, tally.files) << format;
    printf("%s: %d of %d files taken, %d through DirectShow (%lu ms)\n", format, tally.accepted, tally.files,
           tally.throughDirectShow, GetTickCount() - started);
  }
};

// Every reader but the DirectShow one (a graph costs a tenth of a second and more).
int AllButDirectShow(int) { return SOUND_CONVERT_DISABLE_MP3_DSHOW; }

TEST_F(SoundFuzz, WaveFiles) { Run("WAVE", WaveSeeds(), MutateWave, 2000, 0x5EED1u, AllButDirectShow); }

TEST_F(SoundFuzz, OggVorbisFiles) { Run("Ogg Vorbis", OggSeeds(), MutateOgg, 3000, 0x5EED2u, AllButDirectShow); }

// The MP3 readers: each file costs the ACM's MPEG codec more than any other reader; one in
// forty also goes to DirectShow when the ACM refuses it.
TEST_F(SoundFuzz, Mp3Files) {
  Run("MP3", Mp3Seeds(), MutateMp3, 800, 0x5EED3u,
      [](int round) { return round % 40 == 0 ? 0x07 : 0x17; });
}

// Free-format MP3 files (bit-rate index 0), which only DirectShow decodes: fewer rounds, since
// each one builds a graph.
TEST_F(SoundFuzz, FreeFormatMp3Files) {
  std::string free = SoundFixtureBytes("tone_44k_stereo_1s_free.mp3");
  Run("MP3 free format", {free.substr(0, 8000), free.substr(free.size() / 2)}, MutateMp3, 40, 0x5EED4u,
      [](int) { return 0x07; });
}
}  // namespace
