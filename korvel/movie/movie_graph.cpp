// Graphs that show a movie: a graph made for a file that no image loader takes, and the frame
// callback that copies each new movie frame into the graph (through the device from a Theora
// movie's YUV overlay, else from the movie's frame image).
#include "movie/movie_graph.h"

#include <cstring>

#include "core/log.h"
#include "core/strings.h"
#include "file/file_access.h"
#include "graphics/device/d3d_calls.h"
#include "graphics/device/screen.h"
#include "graphics/device/vertex_batch.h"
#include "graphics/graphs/graph_handles.h"
#include "graphics/graphs/graph_textures.h"
#include "movie/movie_handles.h"

namespace {
// Writes a message that names the file, as it stands (the texts carry their own line ends).
int LogWithPath(const char* format, const char* path) {
  char text[FILE_PATH_CHARS + 128];
  FormatString(text, sizeof text, format, path);
  return WriteLogText(text);
}

// A movie whose right half holds the alpha of its left half.
bool HasAlphaTrack(const MOVIE_RECORD* movie) { return movie->loadOption != 0; }

// Whether this graph takes its frames through the Theora overlay (one released with a lost
// device included, which the next presentation makes again), and the overlay itself.
bool OverlayWanted(const MOVIE_RECORD* movie) {
  return movie->theora && !HasAlphaTrack(movie) && HasDirect3DDevice() && IsTheoraOverlayWanted(movie->decoder);
}
IDirect3DSurface9* UsableOverlay(const MOVIE_RECORD* movie) {
  return OverlayWanted(movie) ? GetTheoraOverlaySurface(movie->decoder) : nullptr;
}

// The colour half and the alpha half of an alpha-track frame, as views of the frame's pixels.
void SplitAlphaTrack(const RASTER_IMAGE* frame, RASTER_IMAGE* color, RASTER_IMAGE* alpha) {
  *color = *frame;
  color->width = frame->width / 2;
  *alpha = *color;
  alpha->pixels = (uint8_t*)frame->pixels + (size_t)(frame->width / 2) * frame->format.bytesPerPixel;
}

int CopyFrameToTextures(const MOVIE_RECORD* movie, HANDLE_VALUE graph, GRAPH_RECORD* g) {
  const RASTER_IMAGE* frame = movie->image;
  if (frame == nullptr || frame->pixels == nullptr) return -1;
  RASTER_IMAGE color, alpha;
  const RASTER_IMAGE* alphaImage = nullptr;
  if (HasAlphaTrack(movie)) {
    SplitAlphaTrack(frame, &color, &alpha);
    frame = &color;
    alphaImage = &alpha;
  }
  RECT rect = {g->x, g->y, g->x + g->width, g->y + g->height};
  return CopyImageIntoGraph(graph, nullptr, nullptr, nullptr, &rect, 0, 0, 0, frame, alphaImage,
                            g->imageSet->desc.blendImage, 1, 0, 0);
}

int CopyFrameToMemImg(const MOVIE_RECORD* movie, GRAPH_RECORD* g) {
  const RASTER_IMAGE* frame = movie->image;
  if (frame == nullptr || frame->pixels == nullptr || !IsMemImgValid(&g->memImg)) return -1;
  MEMIMG_STORE* store = g->memImg.store;
  int bytes = frame->format.bytesPerPixel;
  if (movie->copyMode != MOVIE_COPY_MODE_NO_ROWS && bytes == GetMemImgPixelBytes(store) && !HasAlphaTrack(movie)) {
    int rows = frame->height < g->memImg.height ? frame->height : g->memImg.height;
    int width = frame->width < g->memImg.width ? frame->width : g->memImg.width;
    for (int y = 0; y < rows; y++)
      memcpy(g->memImg.pixels + (size_t)y * store->pitch, (const uint8_t*)frame->pixels + (size_t)y * frame->pitch,
             (size_t)width * bytes);
    return 0;
  }
  if (HasAlphaTrack(movie)) {
    RASTER_IMAGE color, alpha;
    SplitAlphaTrack(frame, &color, &alpha);
    return ImportImageToMemImg(&color, &alpha, &g->memImg, 0, 0, g->width, g->height, 0, 0, 0);
  }
  return ImportImageToMemImg(frame, nullptr, &g->memImg, 0, 0, g->width, g->height, 0, 0, 0);
}
}  // namespace

int UpdateGraphFromMovieFrame(MOVIE_RECORD* movie, int graph) {
  GRAPH_RECORD* g = GetGraphRecord(graph, 0);
  if (g == nullptr || g->imageSet == nullptr) return -1;
  if (g->imageSet->desc.heldAsTextures) {
    if (movie->theora) {
      bool wanted = OverlayWanted(movie);
      if (PresentTheoraFrame(movie->decoder, !wanted, wanted, 0) == 0) return 0;
      // PresentTheoraFrame may have made the overlay again (after a device loss); when it could
      // not, the frame comes through the image.
      IDirect3DSurface9* overlay = UsableOverlay(movie);
      if (overlay == nullptr && wanted) PresentTheoraFrame(movie->decoder, 1, 0, 0);
      if (overlay != nullptr) {
        GRAPH_TEXTURE* t = &g->imageSet->textures[0];
        if (t->surface == nullptr) return -1;
        FlushVertexBatch(0);
        RECT rect = {0, 0, t->usedWidth, t->usedHeight};
        return SUCCEEDED(DeviceCalls.DeviceStretchRect(overlay, &rect, t->surface, &rect, D3DTEXF_NONE)) ? 0 : -1;
      }
    }
    return CopyFrameToTextures(movie, graph, g);
  }
  if (movie->theora && PresentTheoraFrame(movie->decoder, 1, 0, 0) == 0) return 0;
  return CopyFrameToMemImg(movie, g);
}

int LoadGraphAsMovie(GRAPH_LOAD_PARAM* lp, HANDLE_VALUE graph, const char* path, int extra, int mode, int onWorker) {
  (void)extra;
  int width = 0, height = 0;
  HANDLE_VALUE movie = CreateMovieFromFile(&lp->movieOption, path, &width, &height, mode, onWorker);
  if (movie < 0) {
    LogWithPath("右記のグラフィックファイルのロードに失敗しました：%s \n", path);
    return -1;
  }
  MOVIE_RECORD* m = GetMovieRecord(movie);
  bool alphaTrack = HasAlphaTrack(m);
  GRAPH_CREATE_PARAM* p = &lp->settings.create;
  p->colorBits = ScreenState.colorBits != 0 ? ScreenState.colorBits : 16;
  p->channelBits = 0;
  p->alphaTestFormat = 0;
  p->managedPool = 0;
  // Theora frames are copied into the texture by the device, which needs a render target.
  if (m->theora && !alphaTrack) p->drawable = 1;
  if (SetUpGraphImageSet(p, graph, alphaTrack ? width / 2 : width, height, alphaTrack ? 1 : 0, 0, 0, -1, onWorker) <
      0) {
    DeleteMovieHandle(movie);
    LogWithPath("右記のグラフィックファイルの格納用グラフィック領域の作成に失敗しました：%s", path);
    return -1;
  }
  GRAPH_RECORD* g = GetGraphRecord(graph, 1);
  g->movieHandle = movie;
  SetMovieFrameCallback(movie, UpdateGraphFromMovieFrame, graph);
  // The opening already presented frame 0 into the movie's own image and overlay; the first
  // draw copies it into the graph.
  OfferMovieFrameAgain(movie);
  return 0;
}
