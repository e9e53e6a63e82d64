#include "graphics/graphs/movie_graph_hooks.h"

namespace {
MOVIE_GRAPH_HOOKS movieHooks;
}  // namespace

void SetMovieGraphHooks(const MOVIE_GRAPH_HOOKS* hooks) {
  if (hooks != nullptr) movieHooks = *hooks;
  else movieHooks = MOVIE_GRAPH_HOOKS{};
}

int AdvanceGraphMovieFrame(HANDLE_VALUE movie) {
  return movieHooks.advanceFrame != nullptr ? movieHooks.advanceFrame(movie, 0) : -1;
}

int MarkGraphMovieOverlayLost(HANDLE_VALUE movie) {
  return movieHooks.markOverlayLost != nullptr ? movieHooks.markOverlayLost(movie) : -1;
}

int DeleteGraphMovie(HANDLE_VALUE movie) {
  return movieHooks.deleteMovie != nullptr ? movieHooks.deleteMovie(movie) : -1;
}

void ReadMovieLoadOption(int* out) {
  if (movieHooks.readLoadOption != nullptr) movieHooks.readLoadOption(out);
}

int LoadGraphAsMovieFile(GRAPH_LOAD_PARAM* lp, HANDLE_VALUE graph, const char* path, int extra, int mode,
                         int onWorker) {
  if (movieHooks.loadGraphAsMovie == nullptr) return -1;
  return movieHooks.loadGraphAsMovie(lp, graph, path, extra, mode, onWorker);
}
