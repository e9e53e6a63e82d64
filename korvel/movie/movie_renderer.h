// The movie renderer filter: the sink at the end of a DirectShow movie's graph. It keeps the
// latest frame in a buffer of its own as top-down RGB24 or XRGB32 rows and raises a new-frame
// flag that the main thread clears before it uses the buffer.
#pragma once
#include "dshow/dshow.h"
#include "image/raster_image.h"

namespace Korvel {

enum {
  MOVIE_FORMAT_RGB24 = 0,
  MOVIE_FORMAT_RGB32 = 1,
  MOVIE_FORMAT_YV12 = 2,
  MOVIE_FORMAT_NV12 = 3,
  MOVIE_FORMAT_YUY2 = 4,
  MOVIE_FORMAT_UYVY = 5,
  MOVIE_FORMAT_YVYU = 6,
  MOVIE_FORMAT_NV11 = 7,
  MOVIE_FORMAT_COUNT = 8,
};

extern const CLSID CLSID_MovieFrameRenderer;

class K_CMovieFrameRenderer : public K_CBaseVideoRenderer {
 public:
  K_CMovieFrameRenderer(IUnknown* outer, HRESULT* result);
  ~K_CMovieFrameRenderer() override;

  HRESULT CheckMediaType(const K_CMediaType* type) override;
  HRESULT SetMediaType(const K_CMediaType* type) override;
  HRESULT DoRenderSample(IMediaSample* sample) override;
  // Makes the buffers the current type lacks.
  void EnsureBuffers();

  // Written on the connecting or streaming thread, read on the main thread.
  int mediaTypeSet = 0;
  int conversion = 0;                      // 1: YUV frames go through the conversion image
  RASTER_IMAGE* conversionImage = nullptr;  // XRGB8, frame size
  int formatIndex = 0;                      // MOVIE_FORMAT_*
  uint8_t* frameBuffer = nullptr;           // pitch x height bytes
  int newFrame = 0;
  int holdsFrame = 0;  // 1 once a sample of the current type was copied in
  int bottomUp = 0;
  int width = 0;
  int height = 0;
  int pitch = 0;

 private:
  void DisposeConversionImage();
};

}  // namespace Korvel

// Null when the object cannot be made. It has no reference: the graph's AddFilter takes one.
Korvel::K_CMovieFrameRenderer* CreateMovieRenderer(IUnknown* outer, HRESULT* result);
// 1 (and the flag cleared) when a frame arrived since the last call.
int MovieRendererTakeNewFrame(Korvel::K_CMovieFrameRenderer* renderer);
// Raises the new-frame flag again when the buffer holds a frame (its copy in a graph was lost).
void MovieRendererOfferFrameAgain(Korvel::K_CMovieFrameRenderer* renderer);
// Describes the frame buffer as an image (RGB24 for RGB24 sources, else XRGB8); the pixels stay
// the renderer's.
void MovieRendererDescribeFrame(Korvel::K_CMovieFrameRenderer* renderer, RASTER_IMAGE* out);
// The format index of a media type the renderer accepts, or the refusal: E_POINTER,
// E_INVALIDARG (no usable VIDEOINFOHEADER), E_FAIL (not video, or a subtype not handled).
HRESULT MovieRendererClassifyType(const AM_MEDIA_TYPE* type, int* formatIndex);
// Bytes one frame of the type takes in a sample, or -1 when the size overflows.
int64_t MovieFrameSampleBytes(int formatIndex, int width, int height);
