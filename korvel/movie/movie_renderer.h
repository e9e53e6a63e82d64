// The movie renderer filter: the sink at the end of a DirectShow movie's graph. It writes each
// frame as top-down RGB24 or XRGB32 rows into a frame of its own and hands the newest one over
// whole: the movie record takes it and holds it while it copies, the streaming thread writes
// into other frames meanwhile, and a change of media type frees only the frames the renderer
// holds, never the one the record reads.
#pragma once
#include "dshow/dshow.h"
#include "image/raster_image.h"

// One written frame: its layout and its pixels (pitch x height bytes, behind the record).
struct MOVIE_FRAME {
  int width, height, pitch;
  int formatIndex;  // MOVIE_FORMAT_* of the type it was written in
  size_t bytes;
  uint8_t* pixels;
};

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
  // Frees the frames the renderer holds (not one the reader has taken).
  void FreeHeldFrames();

  // Written on the connecting or streaming thread (one at a time); the main thread reads only
  // the size, before the graph runs, and the frames it is handed.
  int mediaTypeSet = 0;
  int conversion = 0;                      // 1: YUV frames go through the conversion image
  RASTER_IMAGE* conversionImage = nullptr;  // XRGB8, frame size
  int formatIndex = 0;                      // MOVIE_FORMAT_*
  MOVIE_FRAME* writing = nullptr;           // the frame the next sample is written into
  int bottomUp = 0;
  int width = 0;
  int height = 0;
  int pitch = 0;
  // Shared with the reader, exchanged whole: the newest frame not yet taken (the new-frame
  // flag), and a frame the reader gave back for reuse.
  MOVIE_FRAME* ready = nullptr;
  MOVIE_FRAME* returned = nullptr;

 private:
  void DisposeConversionImage();
};

}  // namespace Korvel

// Null when the object cannot be made. It has no reference: the graph's AddFilter takes one.
Korvel::K_CMovieFrameRenderer* CreateMovieRenderer(IUnknown* outer, HRESULT* result);
// The newest frame written since the last call, now the caller's, or null.
MOVIE_FRAME* MovieRendererTakeFrame(Korvel::K_CMovieFrameRenderer* renderer);
// A taken frame given back for reuse (the renderer frees it if it no longer fits).
void MovieRendererGiveBackFrame(Korvel::K_CMovieFrameRenderer* renderer, MOVIE_FRAME* frame);
// Offers a taken frame again as the newest one (its copy in a graph was lost): 1 when the
// renderer took it back, 0 when a newer frame is waiting (the caller keeps its frame).
int MovieRendererOfferFrameAgain(Korvel::K_CMovieFrameRenderer* renderer, MOVIE_FRAME* frame);
// Describes a frame as an image (RGB24 for RGB24 sources, else XRGB8); the pixels stay the frame's.
void DescribeMovieFrame(const MOVIE_FRAME* frame, RASTER_IMAGE* out);
void FreeMovieFrame(MOVIE_FRAME* frame);
// The format index of a media type the renderer accepts, or the refusal: E_POINTER,
// E_INVALIDARG (no usable VIDEOINFOHEADER), E_FAIL (not video, or a subtype not handled).
HRESULT MovieRendererClassifyType(const AM_MEDIA_TYPE* type, int* formatIndex);
// Bytes one frame of the type takes in a sample, or -1 when the size overflows.
int64_t MovieFrameSampleBytes(int formatIndex, int width, int height);
