// Movie handles (type 6): one movie decoded by the library's Theora decoder or played by a
// DirectShow filter graph that ends in the library's renderer filter, its playback clock, and
// the hand-over of each new frame to the graph that shows it through a frame callback. All of
// it runs on the main thread; the decode thread and the graph's streaming thread only fill
// the frames read here.
#pragma once
#include <windows.h>
#include <strmif.h>
#include <control.h>

#include <cstdint>

#include "core/handles.h"
#include "image/raster_image.h"
#include "movie/theora_decoder.h"

namespace Korvel {
class K_CMovieFrameRenderer;
}
struct MOVIE_FRAME;

enum {
  MOVIE_MAX_HANDLES = 100,
  MOVIE_PLAY_ONCE = 1,
  MOVIE_PLAY_LOOP = 3,
  MOVIE_LOOP_BIT = 2,
  MOVIE_PATH_CHARS = 260,
  MOVIE_THEORA_STOCK = 10,
  MOVIE_COPY_PIECE = 0x100000,
  MOVIE_DEFAULT_DURATION = 166666,  // 100-ns units, for a graph that reports no duration
  MOVIE_COPY_MODE_NO_ROWS = 2,      // the frame callback copies no rows itself (nothing sets it)
};

struct MOVIE_RECORD;
typedef int (*MOVIE_FRAME_CALLBACK)(MOVIE_RECORD* movie, int userData);

struct MOVIE_RECORD {
  HANDLE_HEAD head;
  int playType;  // MOVIE_PLAY_ONCE or MOVIE_PLAY_LOOP; only the loop bit is tested
  int theora;    // 1: decoded by the Theora decoder, 0: a DirectShow graph
  THEORA_DECODER* decoder;
  int64_t startTime;  // microseconds at which frame 0 would have been shown
  uint32_t fileStream;  // the Theora file, 0 when none
  HANDLE_VALUE sound;   // the Theora movie's Vorbis track, -1 when none
  IGraphBuilder* graphBuilder;
  IMediaControl* mediaControl;
  IMediaSeeking* mediaSeeking;
  IBasicAudio* basicAudio;  // held, not used for playback
  Korvel::K_CMovieFrameRenderer* renderer;  // inside the graph, which holds its reference
  int64_t duration;  // 100-ns units as reported at opening (never read)
  int temporaryFile;  // 1 while the graph plays a temporary copy to delete on release
  WCHAR path[MOVIE_PATH_CHARS];  // the name given to the graph
  int64_t stopPosition;  // 100-ns units; 0 when the graph gave none (unknown)
  int width, height;
  int loadOption;  // non-zero: the frame's right half holds the alpha of its left half
  int resume;      // 1 while the movie counts as playing for a resume after a suspension
  int stopped;
  int copyMode;
  HANDLE spareHandle;  // closed on release; nothing sets it
  RASTER_IMAGE frameImage;  // DirectShow movies: the renderer's latest frame
  int pixelsBorrowed;       // 1: frameImage.pixels belong to the held frame, not a block of their own
  MOVIE_FRAME* heldFrame;   // DirectShow movies: the frame taken from the renderer, the record's until given back
  RASTER_IMAGE* image;      // what the frame callback reads
  MOVIE_FRAME_CALLBACK frameCallback;
  int userData;
};

// Module state: set up between SetUpMovieHandles and ShutDownMovieHandles; the load option has
// no setter.
struct MOVIE_SYSTEM_STATE {
  int setUp;
  int loadOption;
};
extern MOVIE_SYSTEM_STATE MovieSystem;

// Releases a held interface of the graph, if any, and clears the pointer.
template <typename T>
void ReleaseInterface(T** object) {
  if (*object != nullptr) (*object)->Release();
  *object = nullptr;
}

int SetUpMovieHandles();
int ShutDownMovieHandles();
int CheckMovieSystemReady();
int ReleaseMovieRecord(HANDLE_HEAD* record);
// A live, loaded movie's record, or null.
MOVIE_RECORD* GetMovieRecord(HANDLE_VALUE handle);
int DeleteMovieHandle(HANDLE_VALUE handle);
int* GetMovieLoadOption(int* out);
int MarkMovieOverlayLost(HANDLE_VALUE handle);
// The next AdvanceMovieFrame hands the frame shown to the frame callback again (a new graph, or
// one whose textures were lost, has no copy of it yet).
int OfferMovieFrameAgain(HANDLE_VALUE handle);
int SetMovieFrameCallback(HANDLE_VALUE handle, MOVIE_FRAME_CALLBACK callback, int userData);

// Playback (movie_play.cpp).
int StartMovieHandle(HANDLE_VALUE handle, int playType, int resumeOnly);
int SuspendMovieHandle(HANDLE_VALUE handle, int keepResume);
int ResumeAllMovies();
int SuspendAllMovies();
int AdvanceMovieFrame(HANDLE_VALUE handle, int ignored);

// Opening (movie_open.cpp). loadOption points at the option captured by the graph layer;
// width and height may be null; mode is not used.
HANDLE_VALUE CreateMovieFromFile(int* loadOption, const char* path, int* width, int* height, int mode,
                                 int fromAsyncThread);
int OpenMovieGraph(MOVIE_RECORD* movie, const char* path, int* width, int* height, int mode, int fromAsyncThread);
