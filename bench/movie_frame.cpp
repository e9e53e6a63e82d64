// Speed of a shown Theora movie frame at 1280 x 720: decoding alone (libtheora, the frames of
// the build's 720p movie in turn), the library's YUV to RGB conversion alone (SSE2 and the
// per-pixel tables it stands in for), both, and a plain copy of the converted frame's bytes
// (memcpy of 1280 x 720 x 4 bytes), each in milliseconds per frame, as a multiple of the copy
// and of the decoding. The items and the copy are timed in fifteen alternating rounds of about
// 30 ms, never at once, and the figures are the medians, so that the machine's changes of speed
// reach all of them alike.
// Run by hand: cd build && ./wine-run bench_movie_frame.exe
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "bench_clock.h"
#include "movie/theora_decoder.h"
#include "movie/yuv_tables.h"

namespace {
const char kMovie[] = "fixtures/movie/scene720.ogv";

// The movie's video packets in memory, and a decoder over them.
struct MOVIE {
  theora_info info;
  theora_comment comment;
  theora_state state;
  std::vector<std::string> packets;
  size_t next = 0;
  yuv_buffer frame;

  bool Load(const std::string& bytes) {
    ogg_sync_state sync;
    ogg_stream_state stream;
    ogg_page page;
    ogg_packet packet;
    ogg_sync_init(&sync);
    theora_info_init(&info);
    theora_comment_init(&comment);
    char* buffer = ogg_sync_buffer(&sync, (long)bytes.size());
    memcpy(buffer, bytes.data(), bytes.size());
    ogg_sync_wrote(&sync, (long)bytes.size());
    int headers = 0;
    bool streamMade = false;
    while (ogg_sync_pageout(&sync, &page) > 0) {
      if (!streamMade) {
        ogg_stream_init(&stream, ogg_page_serialno(&page));
        streamMade = true;
      }
      if (ogg_page_serialno(&page) != stream.serialno) continue;
      ogg_stream_pagein(&stream, &page);
      while (ogg_stream_packetout(&stream, &packet) > 0) {
        if (headers < 3) {
          if (theora_decode_header(&info, &comment, &packet) < 0) return false;
          headers++;
        } else {
          packets.emplace_back((const char*)packet.packet, (size_t)packet.bytes);
        }
      }
    }
    if (streamMade) ogg_stream_clear(&stream);
    ogg_sync_clear(&sync);
    return headers == 3 && !packets.empty() && theora_decode_init(&state, &info) == 0;
  }

  // The next frame of the movie (after the last, the first again: a key frame).
  void Decode() {
    std::string& bytes = packets[next];
    ogg_packet packet = {};
    packet.packet = (unsigned char*)&bytes[0];
    packet.bytes = (long)bytes.size();
    packet.granulepos = -1;
    packet.packetno = (ogg_int64_t)next + 3;
    theora_decode_packetin(&state, &packet);
    theora_decode_YUVout(&state, &frame);
    next = (next + 1) % packets.size();
  }

  YUV420_PLANES Planes() const { return {frame.y, frame.y_stride, frame.u, frame.v, frame.uv_stride}; }
};

}  // namespace

int main() {
  BuildYuvToRgbTables();
  FILE* file = fopen(kMovie, "rb");
  if (file == nullptr) {
    printf("%s not found: run from the build folder after building the test movies\n", kMovie);
    return 1;
  }
  std::string bytes;
  char piece[65536];
  for (size_t n; (n = fread(piece, 1, sizeof piece, file)) > 0;) bytes.append(piece, n);
  fclose(file);
  MOVIE movie;
  if (!movie.Load(bytes)) {
    printf("%s is no Theora movie\n", kMovie);
    return 1;
  }
  const int width = (int)movie.info.width, height = (int)movie.info.height, pitch = width * 4;
  std::vector<uint8_t> image((size_t)pitch * height), copy((size_t)pitch * height);
  movie.Decode();
  printf("%s: %d x %d, %d frames of %.0f KB on average\n", kMovie, width, height, (int)movie.packets.size(),
         bytes.size() / 1024.0 / movie.packets.size());

  struct ITEM {
    const char* name;
    void (*run)(MOVIE*, uint8_t*, int, int, int);
    std::vector<double> ms;
  } items[] = {
      {"decode", [](MOVIE* m, uint8_t*, int, int, int) { m->Decode(); }, {}},
      {"convert, SSE2",
       [](MOVIE* m, uint8_t* out, int w, int h, int p) {
         YUV420_PLANES planes = m->Planes();
         ConvertYuv420ToXrgb8(&planes, w, h, out, p, YUV_CONVERT_SSE2);
       },
       {}},
      {"convert, tables",
       [](MOVIE* m, uint8_t* out, int w, int h, int p) {
         YUV420_PLANES planes = m->Planes();
         ConvertYuv420ToXrgb8(&planes, w, h, out, p, YUV_CONVERT_TABLES);
       },
       {}},
      {"decode + convert, SSE2",
       [](MOVIE* m, uint8_t* out, int w, int h, int p) {
         m->Decode();
         YUV420_PLANES planes = m->Planes();
         ConvertYuv420ToXrgb8(&planes, w, h, out, p, YUV_CONVERT_SSE2);
       },
       {}},
      {"decode + convert, tables",
       [](MOVIE* m, uint8_t* out, int w, int h, int p) {
         m->Decode();
         YUV420_PLANES planes = m->Planes();
         ConvertYuv420ToXrgb8(&planes, w, h, out, p, YUV_CONVERT_TABLES);
       },
       {}},
  };
  std::vector<double> copies;
  for (ITEM& item : items) item.run(&movie, image.data(), width, height, pitch);  // warm-up
  for (int round = 0; round < 15; round++) {
    for (ITEM& item : items) {
      item.ms.push_back(1000.0 * SecondsPerCall([&] { item.run(&movie, image.data(), width, height, pitch); }, 0.03));
      copies.push_back(1000.0 * SecondsPerCall([&] { memcpy(copy.data(), image.data(), image.size()); }, 0.03));
    }
  }
  double copyMs = Median(copies), decodeMs = Median(items[0].ms);
  printf("plain copy of the converted frame (%.1f MB): %.3f ms\n\n", image.size() / 1048576.0, copyMs);
  printf("%-26s %9s %9s %10s %12s\n", "per frame", "ms", "frames/s", "x copy", "x decode");
  for (ITEM& item : items) {
    double ms = Median(item.ms);
    printf("%-26s %9.3f %9.0f %10.2f %12.2f\n", item.name, ms, 1000.0 / ms, ms / copyMs, ms / decodeMs);
  }
  theora_clear(&movie.state);
  theora_comment_clear(&movie.comment);
  theora_info_clear(&movie.info);
  return 0;
}
