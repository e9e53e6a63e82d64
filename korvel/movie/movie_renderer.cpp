// The movie renderer filter: which video types it takes, the frames and conversion image of the
// connected type, the copy of each sample into a frame, and the hand-over of frames.
#include "movie/movie_renderer.h"

#include <cstring>

#include "core/memory.h"
#include "image/yuv.h"

namespace Korvel {

// {71771540-2017-11CF-AE26-0020AFD79767}
const CLSID CLSID_MovieFrameRenderer = {0x71771540, 0x2017, 0x11CF, {0xAE, 0x26, 0x00, 0x20, 0xAF, 0xD7, 0x97, 0x67}};

namespace {
// The subtypes of the YUV formats: the FOURCC, then 0000-0010-8000-00AA00389B71.
GUID FourccSubtype(char a, char b, char c, char d) {
  GUID g = {(DWORD)(uint8_t)a | (DWORD)(uint8_t)b << 8 | (DWORD)(uint8_t)c << 16 | (DWORD)(uint8_t)d << 24,
            0x0000,
            0x0010,
            {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};
  return g;
}

int SubtypeIndex(const GUID& subtype) {
  if (subtype == MEDIASUBTYPE_RGB24) return MOVIE_FORMAT_RGB24;
  if (subtype == MEDIASUBTYPE_RGB32) return MOVIE_FORMAT_RGB32;
  const GUID yuv[] = {FourccSubtype('Y', 'V', '1', '2'), FourccSubtype('N', 'V', '1', '2'),
                      FourccSubtype('Y', 'U', 'Y', '2'), FourccSubtype('U', 'Y', 'V', 'Y'),
                      FourccSubtype('Y', 'V', 'Y', 'U'), FourccSubtype('N', 'V', '1', '1')};
  for (int i = 0; i < 6; i++)
    if (subtype == yuv[i]) return MOVIE_FORMAT_YV12 + i;
  return -1;
}

int64_t BufferPitch(int formatIndex, int width) {
  return formatIndex == MOVIE_FORMAT_RGB24 ? ((int64_t)3 * width + 3) & ~(int64_t)3 : (int64_t)4 * width;
}

// Frame size from a type already classified.
void FrameSize(const AM_MEDIA_TYPE* type, int* width, int* height, int* bottomUp) {
  const BITMAPINFOHEADER& b = ((const VIDEOINFOHEADER*)type->pbFormat)->bmiHeader;
  *width = (int)b.biWidth;
  *bottomUp = b.biHeight >= 0 ? 1 : 0;
  *height = b.biHeight >= 0 ? (int)b.biHeight : -(int)b.biHeight;
}

MOVIE_FRAME* ExchangeFrame(MOVIE_FRAME** slot, MOVIE_FRAME* frame) {
  return __atomic_exchange_n(slot, frame, __ATOMIC_ACQ_REL);
}

// The record and its pixels in one block, the pixels 16-byte aligned.
MOVIE_FRAME* AllocMovieFrame(size_t bytes) {
  const size_t head = (sizeof(MOVIE_FRAME) + 15) & ~(size_t)15;
  uint8_t* block = (uint8_t*)AllocTracked(head + bytes + 15, __FILE__, __LINE__);
  if (block == nullptr) return nullptr;
  MOVIE_FRAME* frame = (MOVIE_FRAME*)block;
  *frame = {};
  frame->bytes = bytes;
  frame->pixels = (uint8_t*)(((uintptr_t)block + head + 15) & ~(uintptr_t)15);
  return frame;
}

typedef int (*YUV_DECODER)(const void*, int, int, RASTER_IMAGE*);
const YUV_DECODER kDecoders[] = {DecodeYV12Frame, DecodeNV12Frame, DecodeYUY2Frame,
                                 DecodeUYVYFrame, DecodeYVYUFrame, DecodeNV11Frame};
}  // namespace

K_CMovieFrameRenderer::K_CMovieFrameRenderer(IUnknown* outer, HRESULT* result)
    : K_CBaseVideoRenderer(CLSID_MovieFrameRenderer, nullptr, outer, result) {}

K_CMovieFrameRenderer::~K_CMovieFrameRenderer() {
  FreeHeldFrames();
  DisposeConversionImage();
}

void K_CMovieFrameRenderer::DisposeConversionImage() {
  if (conversionImage == nullptr) return;
  DisposeImage(conversionImage);
  FreeTracked(conversionImage);
  conversionImage = nullptr;
}

void K_CMovieFrameRenderer::FreeHeldFrames() {
  FreeMovieFrame(writing);
  writing = nullptr;
  FreeMovieFrame(ExchangeFrame(&ready, nullptr));
  FreeMovieFrame(ExchangeFrame(&returned, nullptr));
}

HRESULT K_CMovieFrameRenderer::CheckMediaType(const K_CMediaType* type) {
  int index = -1;
  HRESULT hr = MovieRendererClassifyType(type, &index);
  if (hr == S_OK) formatIndex = index;
  return hr;
}

// The layout follows the connection's own type, whatever a later proposal was checked. The
// frames of the old type go, except one the reader holds: it frees that one itself.
HRESULT K_CMovieFrameRenderer::SetMediaType(const K_CMediaType* type) {
  int index = -1;
  HRESULT hr = MovieRendererClassifyType(type, &index);
  if (hr != S_OK) return hr;
  formatIndex = index;
  FrameSize(type, &width, &height, &bottomUp);
  DisposeConversionImage();
  conversion = index >= MOVIE_FORMAT_YV12 ? 1 : 0;
  if (conversion) bottomUp = 0;
  pitch = (int)BufferPitch(index, width);
  FreeHeldFrames();
  mediaTypeSet = 1;
  EnsureBuffers();
  return S_OK;
}

void K_CMovieFrameRenderer::EnsureBuffers() {
  if (!mediaTypeSet) return;
  if (conversion && conversionImage == nullptr) {
    conversionImage = (RASTER_IMAGE*)AllocTrackedZeroed(sizeof(RASTER_IMAGE), __FILE__, __LINE__);
    if (conversionImage != nullptr && AllocXRGB8Image(width, height, conversionImage) < 0) {
      FreeTracked(conversionImage);
      conversionImage = nullptr;
    }
  }
  size_t bytes = (size_t)pitch * (size_t)height;
  if (writing != nullptr && writing->bytes != bytes) {
    FreeMovieFrame(writing);
    writing = nullptr;
  }
  if (writing == nullptr) {
    // A frame the reader gave back is used again when it fits.
    writing = ExchangeFrame(&returned, nullptr);
    if (writing != nullptr && writing->bytes != bytes) {
      FreeMovieFrame(writing);
      writing = nullptr;
    }
  }
  if (writing == nullptr) writing = AllocMovieFrame(bytes);
}

// A sample that cannot be read as a whole frame of the type is dropped: the stream goes on.
HRESULT K_CMovieFrameRenderer::DoRenderSample(IMediaSample* sample) {
  if (sample == nullptr) return E_POINTER;
  EnsureBuffers();
  if (writing == nullptr || (conversion && conversionImage == nullptr)) return S_OK;
  BYTE* bytes = nullptr;
  if (FAILED(sample->GetPointer(&bytes)) || bytes == nullptr) return S_OK;
  // A sample shorter than one frame of its type would be read past its end.
  if ((int64_t)sample->GetActualDataLength() < MovieFrameSampleBytes(formatIndex, width, height)) return S_OK;
  const uint8_t* source = bytes;
  if (conversion) {
    if (kDecoders[formatIndex - MOVIE_FORMAT_YV12](bytes, width, height, conversionImage) < 0) return S_OK;
    source = (const uint8_t*)conversionImage->pixels;
  }
  uint8_t* out = writing->pixels;
  if (bottomUp) {
    for (int r = 0; r < height; r++)
      memcpy(out + (size_t)(height - 1 - r) * pitch, source + (size_t)r * pitch, (size_t)pitch);
  } else {
    memcpy(out, source, (size_t)pitch * (size_t)height);
  }
  writing->width = width;
  writing->height = height;
  writing->pitch = pitch;
  writing->formatIndex = formatIndex;
  // The frame becomes the newest; one the reader did not take is written over next.
  writing = ExchangeFrame(&ready, writing);
  return S_OK;
}

}  // namespace Korvel

using Korvel::K_CMovieFrameRenderer;

K_CMovieFrameRenderer* CreateMovieRenderer(IUnknown* outer, HRESULT* result) {
  HRESULT hr = S_OK;
  K_CMovieFrameRenderer* r = new K_CMovieFrameRenderer(outer, &hr);
  if (r == nullptr) return nullptr;
  if (result != nullptr) *result = S_OK;
  return r;
}

MOVIE_FRAME* MovieRendererTakeFrame(K_CMovieFrameRenderer* r) { return Korvel::ExchangeFrame(&r->ready, nullptr); }

void MovieRendererGiveBackFrame(K_CMovieFrameRenderer* r, MOVIE_FRAME* frame) {
  if (frame != nullptr) FreeMovieFrame(Korvel::ExchangeFrame(&r->returned, frame));
}

int MovieRendererOfferFrameAgain(K_CMovieFrameRenderer* r, MOVIE_FRAME* frame) {
  MOVIE_FRAME* none = nullptr;
  return frame != nullptr &&
                 __atomic_compare_exchange_n(&r->ready, &none, frame, false, __ATOMIC_ACQ_REL, __ATOMIC_ACQUIRE)
             ? 1
             : 0;
}

void DescribeMovieFrame(const MOVIE_FRAME* frame, RASTER_IMAGE* out) {
  out->width = frame->width;
  out->height = frame->height;
  out->pitch = frame->pitch;
  out->pixels = frame->pixels;
  out->mipLevels = 0;
  if (frame->formatIndex == Korvel::MOVIE_FORMAT_RGB24) InitRGB24Format(&out->format);
  else InitXRGB8Format(&out->format);
}

void FreeMovieFrame(MOVIE_FRAME* frame) {
  if (frame != nullptr) FreeTracked(frame);
}

HRESULT MovieRendererClassifyType(const AM_MEDIA_TYPE* type, int* formatIndex) {
  if (type == nullptr) return E_POINTER;
  if (type->formattype != FORMAT_VideoInfo) return E_INVALIDARG;
  if (type->majortype != MEDIATYPE_Video) return E_FAIL;
  int index = Korvel::SubtypeIndex(type->subtype);
  if (index < 0) return E_FAIL;
  // The format block must be a whole VIDEOINFOHEADER with a frame whose buffers can be sized.
  if (type->pbFormat == nullptr || type->cbFormat < sizeof(VIDEOINFOHEADER)) return E_INVALIDARG;
  const BITMAPINFOHEADER& b = ((const VIDEOINFOHEADER*)type->pbFormat)->bmiHeader;
  int64_t height = b.biHeight >= 0 ? (int64_t)b.biHeight : -(int64_t)b.biHeight;
  if (b.biWidth <= 0 || height == 0 || height > 0x7FFFFFFF || MovieFrameSampleBytes(index, (int)b.biWidth, (int)height) < 0 ||
      Korvel::BufferPitch(index, b.biWidth) * height > 0x7FFFFFFF)
    return E_INVALIDARG;
  *formatIndex = index;
  return S_OK;
}

int64_t MovieFrameSampleBytes(int formatIndex, int width, int height) {
  int64_t w = width, h = height, bytes;
  switch (formatIndex) {
    case Korvel::MOVIE_FORMAT_RGB24:
    case Korvel::MOVIE_FORMAT_RGB32: bytes = Korvel::BufferPitch(formatIndex, width) * h; break;
    case Korvel::MOVIE_FORMAT_YV12:
    case Korvel::MOVIE_FORMAT_NV12: bytes = w * h + 2 * (w / 2) * (h / 2); break;
    case Korvel::MOVIE_FORMAT_NV11: bytes = w * h + 2 * (w / 4) * h; break;
    default: bytes = 2 * w * h; break;
  }
  return bytes > 0x7FFFFFFF ? -1 : bytes;
}
