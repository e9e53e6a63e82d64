// The movie renderer filter: which video types it takes, the frame buffer and conversion image
// of the connected type, and the copy of each sample into the buffer.
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

typedef int (*YUV_DECODER)(const void*, int, int, RASTER_IMAGE*);
const YUV_DECODER kDecoders[] = {DecodeYV12Frame, DecodeNV12Frame, DecodeYUY2Frame,
                                 DecodeUYVYFrame, DecodeYVYUFrame, DecodeNV11Frame};
}  // namespace

K_CMovieFrameRenderer::K_CMovieFrameRenderer(IUnknown* outer, HRESULT* result)
    : K_CBaseVideoRenderer(CLSID_MovieFrameRenderer, nullptr, outer, result) {}

K_CMovieFrameRenderer::~K_CMovieFrameRenderer() {
  FreeTracked(frameBuffer);
  frameBuffer = nullptr;
  DisposeConversionImage();
}

void K_CMovieFrameRenderer::DisposeConversionImage() {
  if (conversionImage == nullptr) return;
  DisposeImage(conversionImage);
  FreeTracked(conversionImage);
  conversionImage = nullptr;
}

HRESULT K_CMovieFrameRenderer::CheckMediaType(const K_CMediaType* type) {
  int index = -1;
  HRESULT hr = MovieRendererClassifyType(type, &index);
  if (hr == S_OK) formatIndex = index;
  return hr;
}

// The layout follows the connection's own type, whatever a later proposal was checked.
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
  FreeTracked(frameBuffer);
  frameBuffer = nullptr;
  mediaTypeSet = 1;
  EnsureBuffers();
  holdsFrame = 0;
  __atomic_store_n(&newFrame, 0, __ATOMIC_RELEASE);
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
  if (frameBuffer == nullptr) frameBuffer = (uint8_t*)AllocTracked((size_t)pitch * (size_t)height, __FILE__, __LINE__);
}

HRESULT K_CMovieFrameRenderer::DoRenderSample(IMediaSample* sample) {
  if (sample == nullptr) return E_POINTER;
  EnsureBuffers();
  if (frameBuffer == nullptr || (conversion && conversionImage == nullptr)) return S_OK;
  BYTE* bytes = nullptr;
  if (FAILED(sample->GetPointer(&bytes)) || bytes == nullptr) return E_POINTER;
  // A sample shorter than one frame of its type would be read past its end.
  if ((int64_t)sample->GetActualDataLength() < MovieFrameSampleBytes(formatIndex, width, height))
    return E_INVALIDARG;
  const uint8_t* source = bytes;
  if (conversion) {
    if (kDecoders[formatIndex - MOVIE_FORMAT_YV12](bytes, width, height, conversionImage) < 0) return E_FAIL;
    source = (const uint8_t*)conversionImage->pixels;
  }
  if (bottomUp) {
    for (int r = 0; r < height; r++)
      memcpy(frameBuffer + (size_t)(height - 1 - r) * pitch, source + (size_t)r * pitch, (size_t)pitch);
  } else {
    memcpy(frameBuffer, source, (size_t)pitch * (size_t)height);
  }
  holdsFrame = 1;
  __atomic_store_n(&newFrame, 1, __ATOMIC_RELEASE);
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

int MovieRendererTakeNewFrame(K_CMovieFrameRenderer* r) {
  if (__atomic_load_n(&r->newFrame, __ATOMIC_ACQUIRE) == 0) return 0;
  __atomic_store_n(&r->newFrame, 0, __ATOMIC_RELEASE);
  return 1;
}

void MovieRendererOfferFrameAgain(K_CMovieFrameRenderer* r) {
  if (r->holdsFrame) __atomic_store_n(&r->newFrame, 1, __ATOMIC_RELEASE);
}

void MovieRendererDescribeFrame(K_CMovieFrameRenderer* r, RASTER_IMAGE* out) {
  out->width = r->width;
  out->height = r->height;
  out->pitch = r->pitch;
  out->pixels = r->frameBuffer;
  out->mipLevels = 0;
  if (r->formatIndex == Korvel::MOVIE_FORMAT_RGB24) InitRGB24Format(&out->format);
  else InitXRGB8Format(&out->format);
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
