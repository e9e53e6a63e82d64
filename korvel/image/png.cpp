#include "image/png.h"

#include <png.h>

#include <cstring>

#include "core/memory.h"
#include "image/image_stream.h"

namespace {
// The most libpng may allocate for one chunk's data (a text, a profile, a palette).
const png_alloc_size_t kPngChunkMallocMax = 1 << 20;

// libpng allocates through the tracked allocator, like every loader: what it holds is counted
// and checked, and a decode that ends leaves none of it behind.
png_voidp AllocForPng(png_structp, png_alloc_size_t size) {
  return size <= 0x7FFFFFFF ? AllocTracked((size_t)size, "", 0) : nullptr;
}
void FreeForPng(png_structp, png_voidp block) { FreeTracked(block); }

// What one decode holds while libpng may still jump back: freed on either path.
struct PNG_DECODE {
  png_bytep* rows;
  png_bytep libraryBlock;
  uint8_t* pixels;
};

void ReleasePngDecode(png_structp png, PNG_DECODE* d) {
  if (d->rows != nullptr) FreeTracked(d->rows);
  if (d->libraryBlock != nullptr) png_free(png, d->libraryBlock);
  if (d->pixels != nullptr) FreeTracked(d->pixels);
  memset(d, 0, sizeof *d);
}

void SetResultLayout(png_structp png, png_infop info, int colorType, int channels, COLOR_FORMAT* fmt) {
  if (colorType == PNG_COLOR_TYPE_PALETTE && channels == 1) {
    InitPaletteFormat(fmt);
    memset(fmt->palette, 0, sizeof fmt->palette);
    png_colorp palette = nullptr;
    int count = 0;
    if (png_get_PLTE(png, info, &palette, &count) != 0) {
      for (int i = 0; i < count && i < 256; i++) {
        fmt->palette[i][0] = palette[i].blue;
        fmt->palette[i][1] = palette[i].green;
        fmt->palette[i][2] = palette[i].red;
      }
    }
  } else if (channels == 1) {
    InitGray8Format(fmt);
  } else if (channels == 2) {
    // Gray with alpha: the gray byte serves as red, green and blue; the alpha byte is unused.
    InitColorFormat(fmt, 16, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0);
  } else if (channels == 4) {
    InitARGB8Format(fmt);
  } else {
    InitRGB24Format(fmt);
  }
}

// Every libpng call that may raise an error; the caller holds the jump point.
int DecodePng(png_structp png, png_infop info, PNG_READER_STATE* reader, STREAM_SOURCE* stream, PNG_DECODE* d,
              RASTER_IMAGE* out) {
  SetPngStreamReader(png, reader, stream);
  // A chunk's length is the file's word. libpng only warns about a chunk longer than its
  // limit, then allocates what the chunk claims for the texts, palettes and profiles it
  // reads: every ancillary chunk but tRNS (the only one the decode uses) is skipped unread,
  // through the reader, which refuses to read past the stream's end. So a file claiming a
  // huge chunk allocates nothing for it and is refused at once.
  png_set_keep_unknown_chunks(png, PNG_HANDLE_CHUNK_NEVER, nullptr, -1);
  png_set_chunk_malloc_max(png, kPngChunkMallocMax);
  png_set_chunk_cache_max(png, 128);
  png_set_sig_bytes(png, 0);
  png_read_info(png, info);
  png_uint_32 width = 0, height = 0;
  int bitDepth = 0, colorType = 0;
  png_get_IHDR(png, info, &width, &height, &bitDepth, &colorType, nullptr, nullptr, nullptr);
  png_set_strip_16(png);
  png_set_packing(png);
  png_set_packswap(png);
  if ((colorType == PNG_COLOR_TYPE_GRAY && bitDepth <= 8) || png_get_valid(png, info, PNG_INFO_tRNS) != 0) {
    png_set_expand(png);
  }
  png_set_bgr(png);
  png_read_update_info(png, info);
  png_size_t rowBytes = png_get_rowbytes(png, info);
  int channels = png_get_channels(png, info);
  int64_t size = MeasurePixelBlock((int64_t)rowBytes, height, 1);
  if (size < 0 || rowBytes < (png_size_t)width * channels) return -1;
  d->rows = (png_bytep*)AllocTracked(sizeof(png_bytep) * height, "", 0);
  if (d->rows == nullptr) return -1;
  d->libraryBlock = (png_bytep)png_malloc(png, (png_alloc_size_t)size);
  for (png_uint_32 y = 0; y < height; y++) d->rows[y] = d->libraryBlock + (size_t)y * rowBytes;
  png_read_image(png, d->rows);
  d->pixels = (uint8_t*)AllocTracked((size_t)size, "", 0);
  if (d->pixels == nullptr) return -1;
  memcpy(d->pixels, d->libraryBlock, (size_t)size);
  png_free(png, d->libraryBlock);
  d->libraryBlock = nullptr;
  FreeTracked(d->rows);
  d->rows = nullptr;
  png_read_end(png, nullptr);
  SetResultLayout(png, info, colorType, channels, &out->format);
  out->width = (int)width;
  out->height = (int)height;
  out->pitch = (int)rowBytes;
  out->pixels = d->pixels;
  d->pixels = nullptr;
  return 0;
}

void ReadPngFromStream(png_structp png, png_bytep buffer, png_size_t count) {
  PNG_READER_STATE* state = (PNG_READER_STATE*)png_get_io_ptr(png);
  int here = state->stream->ops.tell(state->stream->handle);
  if (here < 0 || (png_size_t)(state->end - here) < count ||
      ReadStreamExact(state->stream, buffer, (int)count) < 0) {
    png_error(png, "Read Error");
  }
}
}  // namespace

int SetPngStreamReader(png_structp png, PNG_READER_STATE* state, STREAM_SOURCE* stream) {
  state->stream = stream;
  int here = stream->ops.tell(stream->handle);
  int left = MeasureStreamRemainder(stream);
  state->end = here >= 0 && left >= 0 ? here + left : 0;
  png_set_read_fn(png, state, ReadPngFromStream);
  return 0;
}

int LoadPngImage(STREAM_SOURCE* stream, RASTER_IMAGE* out) {
  png_structp png = png_create_read_struct_2(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr, nullptr, AllocForPng,
                                             FreeForPng);
  if (png == nullptr) return -1;
  png_infop info = png_create_info_struct(png);
  if (info == nullptr) {
    png_destroy_read_struct(&png, nullptr, nullptr);
    return -1;
  }
  PNG_READER_STATE reader;
  PNG_DECODE decode;
  memset(&decode, 0, sizeof decode);
  volatile int result = -1;
  if (setjmp(png_jmpbuf(png)) == 0) {
    result = DecodePng(png, info, &reader, stream, &decode, out);
  }
  // Reached normally or by libpng's jump: whatever the decode still holds is released.
  ReleasePngDecode(png, &decode);
  png_destroy_read_struct(&png, &info, nullptr);
  if (result < 0) memset(out, 0, sizeof *out);
  return result;
}
