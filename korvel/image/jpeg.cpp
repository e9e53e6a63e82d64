#include "image/jpeg.h"

#include <csetjmp>
#include <cstring>

// libjpeg's header expects these from the C headers included before it.
#include <jpeglib.h>
#include <jerror.h>

#include "core/memory.h"
#include "image/image_stream.h"

namespace {
enum { JPEG_SOURCE_BUFFER_SIZE = 4096 };

struct JPEG_STREAM_SOURCE {
  jpeg_source_mgr pub;
  JOCTET* buffer;
  int startOfFile;
  STREAM_SOURCE* stream;
  int end;  // stream position where the data ends
};

struct JPEG_ERROR_MANAGER {
  jpeg_error_mgr pub;
  jmp_buf jump;
};

void JpegErrorExit(j_common_ptr cinfo) {
  (*cinfo->err->output_message)(cinfo);
  longjmp(((JPEG_ERROR_MANAGER*)cinfo->err)->jump, 1);
}

void InitJpegStreamSource(j_decompress_ptr cinfo) { ((JPEG_STREAM_SOURCE*)cinfo->src)->startOfFile = 1; }

boolean FillJpegInputBuffer(j_decompress_ptr cinfo) {
  JPEG_STREAM_SOURCE* src = (JPEG_STREAM_SOURCE*)cinfo->src;
  int here = src->stream->ops.tell(src->stream->handle);
  int left = here >= 0 ? src->end - here : 0;
  int want = left < JPEG_SOURCE_BUFFER_SIZE ? left : JPEG_SOURCE_BUFFER_SIZE;
  int got = want > 0 ? src->stream->ops.read(src->buffer, 1, want, src->stream->handle) : 0;
  if (got <= 0) {
    if (src->startOfFile != 0) ERREXIT(cinfo, JERR_INPUT_EMPTY);
    WARNMS(cinfo, JWRN_JPEG_EOF);
    // A fake end of image lets the decoder finish with the data it has.
    src->buffer[0] = 0xFF;
    src->buffer[1] = JPEG_EOI;
    got = 2;
  }
  src->pub.next_input_byte = src->buffer;
  src->pub.bytes_in_buffer = (size_t)got;
  src->startOfFile = 0;
  return TRUE;
}

void SkipJpegInputData(j_decompress_ptr cinfo, long count) {
  if (count <= 0) return;
  jpeg_source_mgr* src = cinfo->src;
  while (count > (long)src->bytes_in_buffer) {
    count -= (long)src->bytes_in_buffer;
    FillJpegInputBuffer(cinfo);
  }
  src->next_input_byte += count;
  src->bytes_in_buffer -= (size_t)count;
}

void TermJpegStreamSource(j_decompress_ptr) {}

// Every libjpeg call that may raise an error; the caller holds the jump point. *pixels holds
// the output block while rows are decoded, so the caller frees it on either path.
int DecodeJpeg(jpeg_decompress_struct* cinfo, STREAM_SOURCE* stream, uint8_t** pixels, RASTER_IMAGE* out) {
  SetJpegStreamSource(cinfo, stream);
  jpeg_read_header(cinfo, TRUE);
  // Only gray and colour files are taken: CMYK and YCCK files are refused before decoding.
  if (cinfo->jpeg_color_space == JCS_CMYK || cinfo->jpeg_color_space == JCS_YCCK) return -1;
  jpeg_start_decompress(cinfo);
  int components = cinfo->output_components;
  if (components != 1 && components != 3) return -1;
  int64_t size = MeasurePixelBlock(cinfo->output_width, cinfo->output_height, components);
  if (size < 0) return -1;
  int rowSize = (int)cinfo->output_width * components;
  JSAMPARRAY line = (*cinfo->mem->alloc_sarray)((j_common_ptr)cinfo, JPOOL_IMAGE, (JDIMENSION)rowSize, 1);
  *pixels = (uint8_t*)AllocTracked((size_t)size, "", 0);
  if (*pixels == nullptr) return -1;
  while (cinfo->output_scanline < cinfo->output_height) {
    uint8_t* d = *pixels + (size_t)cinfo->output_scanline * rowSize;
    if (jpeg_read_scanlines(cinfo, line, 1) != 1) return -1;
    if (components == 1) {
      memcpy(d, line[0], rowSize);
    } else {
      for (int x = 0; x < rowSize; x += 3) {
        d[x] = line[0][x + 2];
        d[x + 1] = line[0][x + 1];
        d[x + 2] = line[0][x];
      }
    }
  }
  jpeg_finish_decompress(cinfo);
  if (components == 1) InitGray8Format(&out->format);
  else InitRGB24Format(&out->format);
  out->width = (int)cinfo->output_width;
  out->height = (int)cinfo->output_height;
  out->pitch = rowSize;
  out->pixels = *pixels;
  *pixels = nullptr;
  return 0;
}
}  // namespace

void SetJpegStreamSource(jpeg_decompress_struct* cinfo, STREAM_SOURCE* stream) {
  if (cinfo->src == nullptr) {
    JPEG_STREAM_SOURCE* src = (JPEG_STREAM_SOURCE*)(*cinfo->mem->alloc_small)((j_common_ptr)cinfo, JPOOL_PERMANENT,
                                                                                sizeof(JPEG_STREAM_SOURCE));
    src->buffer = (JOCTET*)(*cinfo->mem->alloc_small)((j_common_ptr)cinfo, JPOOL_PERMANENT, JPEG_SOURCE_BUFFER_SIZE);
    cinfo->src = &src->pub;
  }
  JPEG_STREAM_SOURCE* src = (JPEG_STREAM_SOURCE*)cinfo->src;
  src->pub.init_source = InitJpegStreamSource;
  src->pub.fill_input_buffer = FillJpegInputBuffer;
  src->pub.skip_input_data = SkipJpegInputData;
  src->pub.resync_to_restart = jpeg_resync_to_restart;
  src->pub.term_source = TermJpegStreamSource;
  src->stream = stream;
  int here = stream->ops.tell(stream->handle);
  int left = MeasureStreamRemainder(stream);
  src->end = here >= 0 && left >= 0 ? here + left : 0;
  src->pub.bytes_in_buffer = 0;
  src->pub.next_input_byte = nullptr;
}

int LoadJpegImage(STREAM_SOURCE* stream, RASTER_IMAGE* out) {
  jpeg_decompress_struct cinfo;
  JPEG_ERROR_MANAGER error;
  memset(&cinfo, 0, sizeof cinfo);
  cinfo.err = jpeg_std_error(&error.pub);
  error.pub.error_exit = JpegErrorExit;
  uint8_t* pixels = nullptr;
  volatile int result = -1;
  if (setjmp(error.jump) == 0) {
    jpeg_CreateDecompress(&cinfo, JPEG_LIB_VERSION, sizeof(jpeg_decompress_struct));
    result = DecodeJpeg(&cinfo, stream, &pixels, out);
  }
  // Reached normally or by the error exit's jump: the output block still held is freed.
  if (pixels != nullptr) FreeTracked(pixels);
  jpeg_destroy_decompress(&cinfo);
  if (result < 0) memset(out, 0, sizeof *out);
  return result;
}
