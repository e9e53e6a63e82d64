// wavemake OUT_DIR: writes the WAVE and MP3 fixtures of the sound tests: 16-bit PCM and
// 32-bit float tones, an IMA ADPCM tone (encoded here), and MP3 tones encoded by LAME. A
// native host program run by the build.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include <lame/lame.h>

namespace {
const double kPi = 3.14159265358979323846;

// A tone of 440 Hz on the left (or only) channel and 660 Hz on the right, amplitude 0.5,
// as 16-bit samples, interleaved.
std::vector<int16_t> Tone(int rate, int channels, long frames) {
  std::vector<int16_t> samples((size_t)frames * channels);
  for (long i = 0; i < frames; i++)
    for (int c = 0; c < channels; c++)
      samples[(size_t)i * channels + c] = (int16_t)lround(0.5 * 32767 * sin(2 * kPi * (c ? 660 : 440) * i / rate));
  return samples;
}

void Put16(std::string& out, unsigned v) {
  out.push_back((char)(v & 0xFF));
  out.push_back((char)(v >> 8));
}
void Put32(std::string& out, uint32_t v) {
  Put16(out, v & 0xFFFF);
  Put16(out, v >> 16);
}

// A RIFF/WAVE file of a format chunk, optional chunks before the data, and the data.
std::string Wave(const std::string& format, const std::string& extraChunks, const std::string& data) {
  std::string body = "WAVEfmt ";
  Put32(body, (uint32_t)format.size());
  body += format;
  body += extraChunks;
  body += "data";
  Put32(body, (uint32_t)data.size());
  body += data;
  std::string out = "RIFF";
  Put32(out, (uint32_t)body.size());
  return out + body;
}

std::string FormatChunk(unsigned tag, int channels, int rate, int blockAlign, int bits, int extraBytes) {
  std::string f;
  Put16(f, tag);
  Put16(f, channels);
  Put32(f, rate);
  Put32(f, (uint32_t)rate * blockAlign);
  Put16(f, blockAlign);
  Put16(f, bits);
  if (extraBytes >= 0) Put16(f, extraBytes);
  return f;
}

bool WriteFile(const std::string& dir, const char* name, const std::string& bytes) {
  std::string path = dir + "/" + name;
  FILE* out = fopen(path.c_str(), "wb");
  if (out == nullptr) return false;
  bool ok = fwrite(bytes.data(), 1, bytes.size(), out) == bytes.size();
  return fclose(out) == 0 && ok;
}

std::string Pcm16Wave(int rate, int channels, long frames) {
  std::vector<int16_t> s = Tone(rate, channels, frames);
  std::string data;
  for (int16_t v : s) Put16(data, (uint16_t)v);
  return Wave(FormatChunk(1, channels, rate, channels * 2, 16, -1), "", data);
}

std::string FloatWave(int rate, int channels, long frames) {
  std::vector<int16_t> s = Tone(rate, channels, frames);
  std::string data;
  for (int16_t v : s) {
    float f = v / 32768.0f;
    uint32_t bits;
    memcpy(&bits, &f, 4);
    Put32(data, bits);
  }
  return Wave(FormatChunk(3, channels, rate, channels * 4, 32, 0), "", data);
}

// IMA ADPCM: per block and channel a header (first sample, step index), then 4-bit codes,
// eight samples of one channel per four bytes, low nibble first.
const int kStepTable[89] = {7,     8,     9,     10,    11,    12,    13,    14,    16,    17,    19,    21,    23,
                            25,    28,    31,    34,    37,    41,    45,    50,    55,    60,    66,    73,    80,
                            88,    97,    107,   118,   130,   143,   157,   173,   190,   209,   230,   253,   279,
                            307,   337,   371,   408,   449,   494,   544,   598,   658,   724,   796,   876,   963,
                            1060,  1166,  1282,  1411,  1552,  1707,  1878,  2066,  2272,  2499,  2749,  3024,  3327,
                            3660,  4026,  4428,  4871,  5358,  5894,  6484,  7132,  7845,  8630,  9493,  10442, 11487,
                            12635, 13899, 15289, 16818, 18500, 20350, 22385, 24623, 27086, 29794, 32767};
const int kIndexTable[16] = {-1, -1, -1, -1, 2, 4, 6, 8, -1, -1, -1, -1, 2, 4, 6, 8};

struct ImaChannel {
  int predictor = 0;
  int index = 0;
  int Encode(int sample) {
    int step = kStepTable[index];
    int diff = sample - predictor;
    int code = 0;
    if (diff < 0) {
      code = 8;
      diff = -diff;
    }
    int delta = step >> 3;
    if (diff >= step) { code |= 4; diff -= step; delta += step; }
    step >>= 1;
    if (diff >= step) { code |= 2; diff -= step; delta += step; }
    step >>= 1;
    if (diff >= step) { code |= 1; delta += step; }
    predictor += (code & 8) ? -delta : delta;
    if (predictor > 32767) predictor = 32767;
    if (predictor < -32768) predictor = -32768;
    index += kIndexTable[code];
    if (index < 0) index = 0;
    if (index > 88) index = 88;
    return code;
  }
};

std::string ImaAdpcmWave(int rate, int channels, long frames, int blockAlign) {
  int perBlock = (blockAlign - 4 * channels) * 8 / (4 * channels) + 1;
  std::vector<int16_t> s = Tone(rate, channels, frames);
  std::string data;
  ImaChannel state[2];
  long blocks = (frames + perBlock - 1) / perBlock;
  for (long b = 0; b < blocks; b++) {
    auto sample = [&](long i, int c) -> int {
      long frame = b * perBlock + i;
      return frame < frames ? s[(size_t)frame * channels + c] : 0;
    };
    for (int c = 0; c < channels; c++) {
      state[c].predictor = sample(0, c);
      Put16(data, (uint16_t)(int16_t)state[c].predictor);
      data.push_back((char)state[c].index);
      data.push_back(0);
    }
    for (int i = 1; i < perBlock; i += 8)
      for (int c = 0; c < channels; c++)
        for (int k = 0; k < 8; k += 2) {
          int low = state[c].Encode(sample(i + k, c));
          int high = state[c].Encode(sample(i + k + 1, c));
          data.push_back((char)(low | (high << 4)));
        }
  }
  std::string format = FormatChunk(0x11, channels, rate, blockAlign, 4, 2);
  // The average rate of the coded data, not of the PCM.
  uint32_t average = (uint32_t)((uint64_t)rate * blockAlign / perBlock);
  format[8] = (char)(average & 0xFF);
  format[9] = (char)((average >> 8) & 0xFF);
  format[10] = (char)((average >> 16) & 0xFF);
  format[11] = (char)(average >> 24);
  Put16(format, perBlock);
  std::string fact = "fact";
  Put32(fact, 4);
  Put32(fact, (uint32_t)frames);
  return Wave(format, fact, data);
}

// An MP3 of the tone by LAME at a constant bit rate, without tags or an info frame; in free
// format (bit-rate index 0 in every header) when asked.
std::string Mp3(int rate, int channels, long frames, int kbps, int freeFormat = 0) {
  lame_global_flags* lame = lame_init();
  lame_set_in_samplerate(lame, rate);
  lame_set_out_samplerate(lame, rate);
  lame_set_num_channels(lame, channels);
  lame_set_mode(lame, channels == 1 ? MONO : JOINT_STEREO);
  lame_set_brate(lame, kbps);
  lame_set_free_format(lame, freeFormat);
  lame_set_bWriteVbrTag(lame, 0);
  lame_set_write_id3tag_automatic(lame, 0);
  lame_set_quality(lame, 5);
  if (lame_init_params(lame) < 0) return std::string();
  std::vector<int16_t> s = Tone(rate, channels, frames);
  std::vector<unsigned char> out((size_t)(frames * 1.25 + 7200) * 2 + 16384);
  int n = channels == 2 ? lame_encode_buffer_interleaved(lame, s.data(), (int)frames, out.data(), (int)out.size())
                        : lame_encode_buffer(lame, s.data(), s.data(), (int)frames, out.data(), (int)out.size());
  if (n < 0) return std::string();
  int tail = lame_encode_flush(lame, out.data() + n, (int)out.size() - n);
  lame_close(lame);
  if (tail < 0) return std::string();
  return std::string((const char*)out.data(), (size_t)(n + tail));
}
}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    fprintf(stderr, "usage: wavemake OUT_DIR\n");
    return 2;
  }
  std::string dir = argv[1];
  struct { const char* name; std::string bytes; } files[] = {
      {"tone_44k_stereo_1s.wav", Pcm16Wave(44100, 2, 44100)},
      {"tone_22k_mono_half.wav", Pcm16Wave(22050, 1, 11025)},
      {"tone_48k_stereo_float.wav", FloatWave(48000, 2, 24000)},
      {"tone_22k_stereo_ima.wav", ImaAdpcmWave(22050, 2, 44100, 1024)},
      {"tone_44k_stereo_2s.mp3", Mp3(44100, 2, 88200, 128)},
      {"tone_22k_mono_1s.mp3", Mp3(22050, 1, 22050, 32)},
      {"tone_44k_stereo_1s_free.mp3", Mp3(44100, 2, 44100, 200, 1)},
  };
  for (auto& f : files) {
    if (f.bytes.empty() || !WriteFile(dir, f.name, f.bytes)) {
      fprintf(stderr, "wavemake: cannot write %s\n", f.name);
      return 1;
    }
  }
  return 0;
}
