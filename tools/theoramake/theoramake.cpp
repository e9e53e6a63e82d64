// Writes the test movies of the movie tests into one folder: Ogg Theora files (with and
// without a Vorbis track) whose frame k is a flat picture of the luma FrameLuma(k), so that
// every decoded frame can be told apart, in the page layouts the decoder must handle (one page
// per frame, several frames per page, packets spanning pages, a page left out), the three
// chroma layouts, sizes that are not multiples of 16, and a file with only a Vorbis stream; and
// a 720p movie of a moving scene for the movie frame benchmark.
//
// Usage: theoramake OUTPUT_FOLDER
#include <ogg/ogg.h>
#include <theora/theoraenc.h>
#include <vorbis/vorbisenc.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {
// Must match the tests' reading of a frame's identity.
int FrameLuma(int k) { return 20 + 4 * (k % 50); }
const int kCb = 100, kCr = 160;

enum {
  CONTENT_FLAT = 0,   // frame k flat at FrameLuma(k)
  CONTENT_NOISE = 1,  // the same with fixed noise below the first 16 rows (large key frames)
  CONTENT_SCENE = 2,  // broad and fine waves moving in luma and chroma, like filmed video
};

struct MOVIE {
  const char* name;
  int width, height;  // picture size; the coded frame is rounded up to whole macroblocks
  th_pixel_fmt format;
  int frames;
  int keyInterval;
  int fpsNumerator, fpsDenominator;
  int packetsPerPage;  // a page ends once this many video packets complete in it
  int maxBody;         // and before its body would pass this many bytes (0: only 255 segments)
  int content;     // CONTENT_*
  bool vorbis;
  int dropPage;  // number of a video data page left out of the file, -1 for none
  bool video;    // false: the file holds only the Vorbis stream
};

const MOVIE kMovies[] = {
    // name           w    h   format     frames key  fps        per page body content  vorbis drop video
    {"basic.ogv", 100, 60, TH_PF_420, 40, 8, 24000, 1001, 1, 0, CONTENT_FLAT, true, -1, true},
    {"multi.ogv", 64, 48, TH_PF_420, 40, 10, 30, 1, 4, 0, CONTENT_FLAT, false, -1, true},
    {"span.ogv", 96, 80, TH_PF_420, 24, 6, 25, 1, 1, 1000, CONTENT_NOISE, false, -1, true},
    {"yuv422.ogv", 40, 30, TH_PF_422, 12, 4, 15, 1, 1, 0, CONTENT_FLAT, false, -1, true},
    {"yuv444.ogv", 40, 30, TH_PF_444, 12, 4, 15, 1, 1, 0, CONTENT_FLAT, false, -1, true},
    {"long.ogv", 16, 16, TH_PF_420, 1100, 64, 30, 1, 1, 0, CONTENT_FLAT, false, -1, true},
    {"hole.ogv", 32, 32, TH_PF_420, 30, 1, 30, 1, 1, 0, CONTENT_FLAT, false, 10, true},
    {"hole_span.ogv", 96, 80, TH_PF_420, 24, 2, 25, 1, 2, 1000, CONTENT_NOISE, false, 27, true},
    {"no_frames.ogv", 32, 32, TH_PF_420, 0, 1, 30, 1, 1, 0, CONTENT_FLAT, false, -1, true},
    // Short movies around the decode thread's stock of 10 frames.
    {"frames1.ogv", 16, 16, TH_PF_420, 1, 4, 30, 1, 1, 0, CONTENT_FLAT, false, -1, true},
    {"frames2.ogv", 16, 16, TH_PF_420, 2, 4, 30, 1, 1, 0, CONTENT_FLAT, false, -1, true},
    {"frames10.ogv", 16, 16, TH_PF_420, 10, 4, 30, 1, 2, 0, CONTENT_FLAT, false, -1, true},
    {"frames11.ogv", 32, 16, TH_PF_420, 11, 3, 30, 1, 1, 0, CONTENT_FLAT, false, -1, true},
    {"frames12.ogv", 16, 16, TH_PF_420, 12, 5, 30, 1, 3, 0, CONTENT_FLAT, false, -1, true},
    {"tone.ogg", 0, 0, TH_PF_420, 0, 1, 30, 1, 1, 0, CONTENT_FLAT, true, -1, false},
    // The movie frame benchmark's 720p movie (not used by the tests).
    {"scene720.ogv", 1280, 720, TH_PF_420, 48, 24, 30, 1, 1, 0, CONTENT_SCENE, false, -1, true},
};

struct PAGE {
  double time;
  std::string bytes;
};

std::string PageBytes(const ogg_page& page) {
  return std::string((const char*)page.header, page.header_len) + std::string((const char*)page.body, page.body_len);
}

void Fail(const char* what) {
  fprintf(stderr, "theoramake: %s\n", what);
  exit(1);
}

// One frame: flat luma and chroma, with the noise pattern below the first 16 rows when asked, or
// the moving scene.
void FillFrame(const MOVIE& m, const th_info& info, int k, std::vector<unsigned char> planes[3],
               th_ycbcr_buffer buffer) {
  int hShift = m.format == TH_PF_444 ? 0 : 1, vShift = m.format == TH_PF_420 ? 1 : 0;
  int widths[3] = {(int)info.frame_width, (int)info.frame_width >> hShift, (int)info.frame_width >> hShift};
  int heights[3] = {(int)info.frame_height, (int)info.frame_height >> vShift, (int)info.frame_height >> vShift};
  int values[3] = {FrameLuma(k), kCb, kCr};
  for (int p = 0; p < 3; p++) {
    planes[p].assign((size_t)widths[p] * heights[p], (unsigned char)values[p]);
    buffer[p].width = widths[p];
    buffer[p].height = heights[p];
    buffer[p].stride = widths[p];
    buffer[p].data = planes[p].data();
  }
  if (m.content == CONTENT_SCENE) {
    // Waves that move and turn over the frame, broad ones and fine ones.
    for (int p = 0; p < 3; p++)
      for (int y = 0; y < heights[p]; y++)
        for (int x = 0; x < widths[p]; x++) {
          double fx = (double)(x << (p ? hShift : 0)), fy = (double)(y << (p ? vShift : 0)), t = k;
          double wave = p == 0 ? 110 + 50 * sin(fx / 41 + t * 0.21) * cos(fy / 29 - t * 0.13) +
                                     25 * sin((fx + fy) / 9 + t * 0.4)
                               : 128 + 40 * sin(fx / (p == 1 ? 97 : 71) - t * 0.05 * p) * cos(fy / 53 + t * 0.07);
          int v = (int)wave;
          planes[p][(size_t)y * widths[p] + x] = (unsigned char)(v < 16 ? 16 : v > 235 ? 235 : v);
        }
  } else if (m.content == CONTENT_NOISE) {
    unsigned seed = 12345;
    for (int y = 16; y < heights[0]; y++)
      for (int x = 0; x < widths[0]; x++) {
        seed = seed * 1103515245u + 12345u;
        planes[0][(size_t)y * widths[0] + x] = (unsigned char)(16 + (seed >> 16) % 220);
      }
  }
}

// The Vorbis track: a tone as long as the movie (at least half a second), as pages with
// their end times; the header pages go into headerPages.
void EncodeVorbis(double seconds, std::string& firstPage, std::string& headerPages, std::vector<PAGE>& pages) {
  vorbis_info vi;
  vorbis_info_init(&vi);
  if (vorbis_encode_init_vbr(&vi, 1, 22050, 0.1f) != 0) Fail("vorbis_encode_init_vbr");
  vorbis_comment vc;
  vorbis_comment_init(&vc);
  vorbis_dsp_state vd;
  vorbis_analysis_init(&vd, &vi);
  vorbis_block vb;
  vorbis_block_init(&vd, &vb);
  ogg_stream_state os;
  ogg_stream_init(&os, 0x766f72);
  ogg_packet header, comment, codebooks;
  vorbis_analysis_headerout(&vd, &vc, &header, &comment, &codebooks);
  ogg_page page;
  ogg_stream_packetin(&os, &header);
  while (ogg_stream_flush(&os, &page) > 0) firstPage += PageBytes(page);
  ogg_stream_packetin(&os, &comment);
  ogg_stream_packetin(&os, &codebooks);
  while (ogg_stream_flush(&os, &page) > 0) headerPages += PageBytes(page);

  long total = (long)(std::max(seconds, 0.5) * 22050), done = 0;
  while (true) {
    if (done < total) {
      int n = (int)std::min(1024L, total - done);
      float** buffer = vorbis_analysis_buffer(&vd, n);
      for (int i = 0; i < n; i++) buffer[0][i] = 0.3f * (float)sin(2 * M_PI * 440.0 * (done + i) / 22050.0);
      vorbis_analysis_wrote(&vd, n);
      done += n;
    } else if (done == total) {
      vorbis_analysis_wrote(&vd, 0);
      done++;
    }
    bool any = false;
    while (vorbis_analysis_blockout(&vd, &vb) == 1) {
      any = true;
      vorbis_analysis(&vb, nullptr);
      vorbis_bitrate_addblock(&vb);
      ogg_packet packet;
      while (vorbis_bitrate_flushpacket(&vd, &packet)) {
        ogg_stream_packetin(&os, &packet);
        while (ogg_stream_pageout(&os, &page) > 0)
          pages.push_back({vorbis_granule_time(&vd, ogg_page_granulepos(&page)), PageBytes(page)});
      }
    }
    if (!any && done > total) break;
  }
  while (ogg_stream_flush(&os, &page) > 0)
    pages.push_back({vorbis_granule_time(&vd, ogg_page_granulepos(&page)), PageBytes(page)});
  ogg_stream_clear(&os);
  vorbis_block_clear(&vb);
  vorbis_dsp_clear(&vd);
  vorbis_comment_clear(&vc);
  vorbis_info_clear(&vi);
}

struct DATA_PACKET {
  std::string bytes;
  ogg_int64_t granule;
};

// One Ogg page of the given segments (lacing values) and body, with its checksum.
std::string BuildPage(int serial, int sequence, ogg_int64_t granule, int flags, const std::string& lacing,
                      const std::string& body) {
  std::string header(27, '\0');
  memcpy(&header[0], "OggS", 4);
  header[5] = (char)flags;
  for (int i = 0; i < 8; i++) header[6 + i] = (char)((unsigned long long)granule >> (8 * i));
  for (int i = 0; i < 4; i++) header[14 + i] = (char)((unsigned)serial >> (8 * i));
  for (int i = 0; i < 4; i++) header[18 + i] = (char)((unsigned)sequence >> (8 * i));
  header[26] = (char)lacing.size();
  header += lacing;
  ogg_page page;
  page.header = (unsigned char*)&header[0];
  page.header_len = (long)header.size();
  page.body = (unsigned char*)body.data();
  page.body_len = (long)body.size();
  ogg_page_checksum_set(&page);
  return header + body;
}

// The data packets of one stream as pages: a page ends once packetsPerPage packets complete
// in it, before its body would pass maxBody bytes (0: no limit) and at 255 segments, so a
// packet may be cut anywhere between two segments and continue on the next page. Each page
// carries the time of the last packet that completes in it (else that of the page before).
template <typename TIME>
std::vector<PAGE> Paginate(const std::vector<DATA_PACKET>& packets, int serial, int sequence, int packetsPerPage,
                           int maxBody, TIME timeOf) {
  std::vector<PAGE> pages;
  std::string lacing, body;
  bool continued = false, startsContinued = false;
  int done = 0;
  ogg_int64_t granule = -1;
  double time = 0;
  auto emit = [&](bool last) {
    int flags = (startsContinued ? 1 : 0) | (last ? 4 : 0);
    if (granule >= 0) time = timeOf(granule);
    pages.push_back({time, BuildPage(serial, sequence++, granule, flags, lacing, body)});
    lacing.clear();
    body.clear();
    done = 0;
    granule = -1;
    startsContinued = continued;
  };
  for (size_t p = 0; p < packets.size(); p++) {
    const std::string& bytes = packets[p].bytes;
    for (size_t at = 0;;) {
      size_t len = std::min<size_t>(255, bytes.size() - at);
      if (!lacing.empty() && (lacing.size() == 255 || (maxBody > 0 && (int)(body.size() + len) > maxBody))) {
        continued = at > 0;
        emit(false);
      }
      lacing += (char)len;
      body += bytes.substr(at, len);
      at += len;
      if (len < 255) break;
    }
    continued = false;
    granule = packets[p].granule;
    if (++done == packetsPerPage || p + 1 == packets.size()) emit(p + 1 == packets.size());
  }
  return pages;
}

void WriteMovie(const MOVIE& m, const std::string& folder) {
  std::string theoraFirst, theoraHeaders, vorbisFirst, vorbisHeaders;
  std::vector<PAGE> videoPages, audioPages;
  if (m.video) {
    th_info info;
    th_info_init(&info);
    info.frame_width = (m.width + 15) & ~15;
    info.frame_height = (m.height + 15) & ~15;
    info.pic_width = m.width;
    info.pic_height = m.height;
    info.pic_x = 0;
    info.pic_y = 0;
    info.colorspace = TH_CS_UNSPECIFIED;
    info.pixel_fmt = m.format;
    // The scene at the quality of a movie as shipped (a few MBit/s); the test movies at the best.
    info.quality = m.content == CONTENT_SCENE ? 32 : 63;
    info.target_bitrate = 0;
    info.fps_numerator = m.fpsNumerator;
    info.fps_denominator = m.fpsDenominator;
    info.aspect_numerator = 1;
    info.aspect_denominator = 1;
    info.keyframe_granule_shift = 6;
    th_enc_ctx* encoder = th_encode_alloc(&info);
    if (encoder == nullptr) Fail("th_encode_alloc");
    ogg_uint32_t interval = (ogg_uint32_t)m.keyInterval;
    th_encode_ctl(encoder, TH_ENCCTL_SET_KEYFRAME_FREQUENCY_FORCE, &interval, sizeof(interval));

    ogg_stream_state os;
    ogg_stream_init(&os, 0x746865);
    th_comment comment;
    th_comment_init(&comment);
    ogg_packet packet;
    ogg_page page;
    bool first = true;
    while (th_encode_flushheader(encoder, &comment, &packet) > 0) {
      ogg_stream_packetin(&os, &packet);
      while (ogg_stream_flush(&os, &page) > 0) (first ? theoraFirst : theoraHeaders) += PageBytes(page);
      first = false;
    }
    std::vector<DATA_PACKET> packets;
    std::vector<unsigned char> planes[3];
    for (int k = 0; k < m.frames; k++) {
      th_ycbcr_buffer buffer;
      FillFrame(m, info, k, planes, buffer);
      if (th_encode_ycbcr_in(encoder, buffer) != 0) Fail("th_encode_ycbcr_in");
      while (th_encode_packetout(encoder, k == m.frames - 1, &packet) > 0)
        packets.push_back({std::string((const char*)packet.packet, packet.bytes), packet.granulepos});
    }
    videoPages = Paginate(packets, 0x746865, (int)os.pageno, m.packetsPerPage, m.maxBody,
                          [&](ogg_int64_t granule) { return th_granule_time(encoder, granule); });
    if (m.dropPage >= 0 && m.dropPage < (int)videoPages.size()) videoPages.erase(videoPages.begin() + m.dropPage);
    ogg_stream_clear(&os);
    th_comment_clear(&comment);
    th_encode_free(encoder);
    th_info_clear(&info);
  }
  if (m.vorbis) EncodeVorbis((double)m.frames * m.fpsDenominator / m.fpsNumerator, vorbisFirst, vorbisHeaders,
                             audioPages);

  // Every first header page, then the other header pages, then the data pages in time order.
  std::string file = theoraFirst + vorbisFirst + theoraHeaders + vorbisHeaders;
  size_t a = 0;
  for (const PAGE& v : videoPages) {
    while (a < audioPages.size() && audioPages[a].time < v.time) file += audioPages[a++].bytes;
    file += v.bytes;
  }
  while (a < audioPages.size()) file += audioPages[a++].bytes;

  std::string path = folder + "/" + m.name;
  FILE* out = fopen(path.c_str(), "wb");
  if (out == nullptr || fwrite(file.data(), 1, file.size(), out) != file.size() || fclose(out) != 0)
    Fail(("cannot write " + path).c_str());
}
}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    fprintf(stderr, "usage: theoramake OUTPUT_FOLDER\n");
    return 2;
  }
  for (const MOVIE& m : kMovies) WriteMovie(m, argv[1]);
  return 0;
}
