// The movie handle type: set-up and shut-down, the handle check, release of a movie record,
// and the small operations the graph layer calls.
#include "movie/movie_handles.h"

#include "core/memory.h"
#include "file/file_access.h"
#include "korvel.h"
#include "movie/movie_renderer.h"

MOVIE_SYSTEM_STATE MovieSystem;

namespace {
const char kMovieTypeName[] = "ムービー";

void DoNothing(HANDLE_HEAD*) {}
}  // namespace

int SetUpMovieHandles() {
  if (MovieSystem.setUp) return -1;
  if (InitHandleType(HANDLE_TYPE_MOVIE, sizeof(MOVIE_RECORD), MOVIE_MAX_HANDLES, DoNothing, ReleaseMovieRecord,
                     kMovieTypeName) < 0)
    return -1;
  MovieSystem.setUp = 1;
  return 0;
}

int ShutDownMovieHandles() {
  if (!MovieSystem.setUp) return -1;
  EndHandleType(HANDLE_TYPE_MOVIE);
  MovieSystem.setUp = 0;
  return 0;
}

int CheckMovieSystemReady() { return MovieSystem.setUp ? 0 : -1; }

int ReleaseMovieRecord(HANDLE_HEAD* head) {
  MOVIE_RECORD* m = (MOVIE_RECORD*)head;
  if (m->theora) {
    // The decode thread reads the stream: it ends before the stream closes. A thread that does
    // not end in time keeps the stream and closes it when it ends.
    if (m->decoder != nullptr && CloseTheoraDecoder(m->decoder) != 0) m->fileStream = 0;
    if (m->fileStream != 0) CloseFileStream(m->fileStream);
    if (m->sound != -1) DeleteHandle(m->sound);
    m->decoder = nullptr;
    m->fileStream = 0;
    m->sound = -1;
    m->theora = 0;
  }
  if (m->frameImage.pixels != nullptr && !m->pixelsBorrowed) FreeTracked(m->frameImage.pixels);
  m->frameImage.pixels = nullptr;
  FreeMovieFrame(m->heldFrame);
  m->heldFrame = nullptr;
  if (m->spareHandle != nullptr) CloseHandle(m->spareHandle);
  m->spareHandle = nullptr;
  // The graph releases the renderer with itself; only then has it let go of the file.
  ReleaseInterface(&m->basicAudio);
  ReleaseInterface(&m->mediaSeeking);
  ReleaseInterface(&m->mediaControl);
  ReleaseInterface(&m->graphBuilder);
  m->renderer = nullptr;
  if (m->temporaryFile) DeleteFileW(m->path);
  m->temporaryFile = 0;
  return 0;
}

MOVIE_RECORD* GetMovieRecord(HANDLE_VALUE handle) {
  if (!MovieSystem.setUp || handle < 0 || GetHandleType(handle) != HANDLE_TYPE_MOVIE) return nullptr;
  MOVIE_RECORD* m = (MOVIE_RECORD*)LookupHandleRecord(handle);
  if (m == nullptr || m->head.pendingLoads != 0) return nullptr;
  return m;
}

int DeleteMovieHandle(HANDLE_VALUE handle) { return DeleteHandle(handle); }

int* GetMovieLoadOption(int* out) {
  *out = MovieSystem.loadOption;
  return out;
}

int MarkMovieOverlayLost(HANDLE_VALUE handle) {
  MOVIE_RECORD* m = GetMovieRecord(handle);
  if (m == nullptr) return -1;
  if (m->theora && m->decoder != nullptr) ReleaseTheoraOverlayOfLostDevice(m->decoder);
  // The graph's textures go with the device: a movie that is not advancing must not leave its
  // graph empty on the new device.
  return OfferMovieFrameAgain(handle);
}

int OfferMovieFrameAgain(HANDLE_VALUE handle) {
  MOVIE_RECORD* m = GetMovieRecord(handle);
  if (m == nullptr) return -1;
  if (m->theora && m->decoder != nullptr) {
    m->decoder->imageUpToDate = 0;
    m->decoder->overlayUpToDate = 0;
  } else if (m->renderer != nullptr && MovieRendererOfferFrameAgain(m->renderer, m->heldFrame)) {
    // The renderer offers the held frame again: it is no longer the record's.
    m->heldFrame = nullptr;
    m->frameImage.pixels = nullptr;
  }
  return 0;
}

int SetMovieFrameCallback(HANDLE_VALUE handle, MOVIE_FRAME_CALLBACK callback, int userData) {
  MOVIE_RECORD* m = GetMovieRecord(handle);
  if (m == nullptr) return -1;
  m->frameCallback = callback;
  m->userData = userData;
  return 0;
}
