// oggmake OUT_DIR: writes the Ogg fixtures of the sound tests (tones of exact lengths, a
// tiny file, silence, chained files of two links, and a Theora-first file with a Vorbis
// track). A native host program run by the build.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <ogg/ogg.h>
#include <theora/theoraenc.h>
#include <vorbis/vorbisenc.h>

namespace {
const double kPi = 3.14159265358979323846;

struct TONE {
  const char* name;
  int rate;
  int channels;
  long frames;
  double amplitude;  // 0 writes silence
};

// Tones of 440 Hz on the left (or only) channel and 660 Hz on the right.
const TONE kTones[] = {
    {"tone_44k_stereo_2s.ogg", 44100, 2, 88200, 0.5},
    {"tone_44k_stereo_half.ogg", 44100, 2, 22050, 0.5},
    {"tone_44k_stereo_tenth.ogg", 44100, 2, 4410, 0.5},
    {"empty_44k_stereo.ogg", 44100, 2, 0, 0.5},
    {"tone_22k_mono_1s.ogg", 22050, 1, 22050, 0.5},
    {"tone_8k_mono_180s.ogg", 8000, 1, 8000L * 180, 0.5},
    {"tone_8k_mono_200s.ogg", 8000, 1, 8000L * 200, 0.5},
    {"tiny_44k_stereo_3f.ogg", 44100, 2, 3, 0.5},
    {"silence_22k_stereo_half.ogg", 22050, 2, 11025, 0.0},
};

void WritePage(FILE* out, const ogg_page& page) {
  fwrite(page.header, 1, page.header_len, out);
  fwrite(page.body, 1, page.body_len, out);
}

// One Vorbis encoder writing into its own logical stream.
struct VORBIS_TRACK {
  vorbis_info info;
  vorbis_comment comment;
  vorbis_dsp_state dsp;
  vorbis_block block;
  ogg_stream_state stream;
  int rate;
  int channels;
  long written;
};

bool OpenVorbis(VORBIS_TRACK* t, int rate, int channels, int serial) {
  vorbis_info_init(&t->info);
  if (vorbis_encode_init_vbr(&t->info, channels, rate, 0.1f) != 0) return false;
  vorbis_comment_init(&t->comment);
  vorbis_comment_add_tag(&t->comment, "ENCODER", "oggmake");
  vorbis_analysis_init(&t->dsp, &t->info);
  vorbis_block_init(&t->dsp, &t->block);
  ogg_stream_init(&t->stream, serial);
  t->rate = rate;
  t->channels = channels;
  t->written = 0;
  return true;
}

// The identification header alone on the first page, the other two flushed after it.
void WriteVorbisHeaders(VORBIS_TRACK* t, FILE* out, bool restNow) {
  ogg_packet id, comment, code;
  vorbis_analysis_headerout(&t->dsp, &t->comment, &id, &comment, &code);
  ogg_page page;
  ogg_stream_packetin(&t->stream, &id);
  while (ogg_stream_flush(&t->stream, &page)) WritePage(out, page);
  ogg_stream_packetin(&t->stream, &comment);
  ogg_stream_packetin(&t->stream, &code);
  if (restNow)
    while (ogg_stream_flush(&t->stream, &page)) WritePage(out, page);
}

void FlushVorbisHeaders(VORBIS_TRACK* t, FILE* out) {
  ogg_page page;
  while (ogg_stream_flush(&t->stream, &page)) WritePage(out, page);
}

void DrainVorbis(VORBIS_TRACK* t, FILE* out) {
  ogg_packet packet;
  ogg_page page;
  while (vorbis_analysis_blockout(&t->dsp, &t->block) == 1) {
    vorbis_analysis(&t->block, nullptr);
    vorbis_bitrate_addblock(&t->block);
    while (vorbis_bitrate_flushpacket(&t->dsp, &packet)) {
      ogg_stream_packetin(&t->stream, &packet);
      while (ogg_stream_pageout(&t->stream, &page)) WritePage(out, page);
    }
  }
}

// Feeds frames [written, written + count) of the tone.
void FeedTone(VORBIS_TRACK* t, FILE* out, long count, double amplitude) {
  const long chunk = 1024;
  while (count > 0) {
    long n = count < chunk ? count : chunk;
    float** buffer = vorbis_analysis_buffer(&t->dsp, (int)n);
    for (long i = 0; i < n; i++) {
      double time = (double)(t->written + i) / t->rate;
      for (int c = 0; c < t->channels; c++)
        buffer[c][i] = (float)(amplitude * std::sin(2 * kPi * (c == 0 ? 440.0 : 660.0) * time));
    }
    vorbis_analysis_wrote(&t->dsp, (int)n);
    t->written += n;
    count -= n;
    DrainVorbis(t, out);
  }
}

void CloseVorbis(VORBIS_TRACK* t, FILE* out) {
  vorbis_analysis_wrote(&t->dsp, 0);
  DrainVorbis(t, out);
  ogg_page page;
  while (ogg_stream_flush(&t->stream, &page)) WritePage(out, page);
  ogg_stream_clear(&t->stream);
  vorbis_block_clear(&t->block);
  vorbis_dsp_clear(&t->dsp);
  vorbis_comment_clear(&t->comment);
  vorbis_info_clear(&t->info);
}

// One logical stream of the tone, appended to the file.
bool AppendTone(FILE* out, const TONE& tone, int serial) {
  VORBIS_TRACK t;
  if (!OpenVorbis(&t, tone.rate, tone.channels, serial)) return false;
  WriteVorbisHeaders(&t, out, true);
  FeedTone(&t, out, tone.frames, tone.amplitude);
  CloseVorbis(&t, out);
  return true;
}

bool WriteTone(const std::string& dir, const TONE& tone) {
  FILE* out = fopen((dir + "/" + tone.name).c_str(), "wb");
  if (out == nullptr) return false;
  bool ok = AppendTone(out, tone, 1);
  fclose(out);
  return ok;
}

// Chained files: two links one after the other, in the same format or in another.
struct CHAIN {
  const char* name;
  TONE links[2];
};
const CHAIN kChains[] = {
    {"chain_44k_stereo_twice.ogg", {{"", 44100, 2, 22050, 0.5}, {"", 44100, 2, 11025, 0.5}}},
    {"chain_44k_stereo_then_22k_mono.ogg", {{"", 44100, 2, 22050, 0.5}, {"", 22050, 1, 22050, 0.5}}},
};

bool WriteChain(const std::string& dir, const CHAIN& chain) {
  FILE* out = fopen((dir + "/" + chain.name).c_str(), "wb");
  if (out == nullptr) return false;
  bool ok = AppendTone(out, chain.links[0], 1) && AppendTone(out, chain.links[1], 2);
  fclose(out);
  return ok;
}

// A Theora stream of 10 frames of 64 x 48 at 10 frames a second whose first page comes
// before the Vorbis track's (one second of 22050 Hz stereo).
bool WriteTheoraFirst(const std::string& dir) {
  FILE* out = fopen((dir + "/theora_first_22k.ogg").c_str(), "wb");
  if (out == nullptr) return false;
  th_info info;
  th_info_init(&info);
  info.frame_width = 64;
  info.frame_height = 48;
  info.pic_width = 64;
  info.pic_height = 48;
  info.fps_numerator = 10;
  info.fps_denominator = 1;
  info.aspect_numerator = 1;
  info.aspect_denominator = 1;
  info.colorspace = TH_CS_UNSPECIFIED;
  info.pixel_fmt = TH_PF_420;
  info.quality = 16;
  info.keyframe_granule_shift = 6;
  th_enc_ctx* encoder = th_encode_alloc(&info);
  th_info_clear(&info);
  if (encoder == nullptr) {
    fprintf(stderr, "oggmake: no Theora encoder\n");
    fclose(out);
    return false;
  }
  ogg_stream_state video;
  ogg_stream_init(&video, 7);
  th_comment comment;
  th_comment_init(&comment);
  ogg_packet packet;
  ogg_page page;
  bool first = true;
  VORBIS_TRACK audio;
  if (!OpenVorbis(&audio, 22050, 2, 8)) {
    fprintf(stderr, "oggmake: no Vorbis encoder\n");
    return false;
  }
  while (th_encode_flushheader(encoder, &comment, &packet) > 0) {
    ogg_stream_packetin(&video, &packet);
    if (first) {
      while (ogg_stream_flush(&video, &page)) WritePage(out, page);
      WriteVorbisHeaders(&audio, out, false);
      first = false;
    }
  }
  while (ogg_stream_flush(&video, &page)) WritePage(out, page);
  FlushVorbisHeaders(&audio, out);
  std::vector<unsigned char> luma(64 * 48), chroma(32 * 24, 128);
  for (int frame = 0; frame < 10; frame++) {
    for (int i = 0; i < 64 * 48; i++) luma[i] = (unsigned char)((i % 64) * 4 + frame * 8);
    th_ycbcr_buffer planes;
    planes[0] = {64, 48, 64, luma.data()};
    planes[1] = {32, 24, 32, chroma.data()};
    planes[2] = {32, 24, 32, chroma.data()};
    th_encode_ycbcr_in(encoder, planes);
    // One page per frame, each followed by the audio of its tenth of a second.
    while (th_encode_packetout(encoder, frame == 9, &packet) > 0) ogg_stream_packetin(&video, &packet);
    while (ogg_stream_flush(&video, &page)) WritePage(out, page);
    FeedTone(&audio, out, 2205, 0.5);
    while (ogg_stream_flush(&audio.stream, &page)) WritePage(out, page);
  }
  CloseVorbis(&audio, out);
  ogg_stream_clear(&video);
  th_comment_clear(&comment);
  th_encode_free(encoder);
  fclose(out);
  return true;
}
}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    fprintf(stderr, "usage: oggmake OUT_DIR\n");
    return 2;
  }
  std::string dir = argv[1];
  for (const TONE& tone : kTones)
    if (!WriteTone(dir, tone)) {
      fprintf(stderr, "oggmake: cannot write %s\n", tone.name);
      return 1;
    }
  for (const CHAIN& chain : kChains)
    if (!WriteChain(dir, chain)) {
      fprintf(stderr, "oggmake: cannot write %s\n", chain.name);
      return 1;
    }
  if (!WriteTheoraFirst(dir)) {
    fprintf(stderr, "oggmake: cannot write the Theora file\n");
    return 1;
  }
  return 0;
}
