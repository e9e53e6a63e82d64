// Graphs that show a movie: the movie layer sits above graphics, so graphics reaches a graph's
// movie through this table, which the library's start sets (movie_graph.cpp holds the movie's
// side). Unset, no graph gets a movie: a file no image loader takes fails to load, and a graph's
// movieHandle stays -1, so the other calls never have a movie to act on.
#pragma once
#include "core/handles.h"
#include "graphics/graphs/graph_load.h"

struct MOVIE_GRAPH_HOOKS {
  // Brings the movie's frame due now into its graph (the second argument is not used).
  int (*advanceFrame)(HANDLE_VALUE movie, int ignored);
  // The device is going (on the main thread, before its objects go): the movie releases the
  // device objects it holds at once and offers its frame to the graph again on the new device.
  int (*markOverlayLost)(HANDLE_VALUE movie);
  // The graph showing the movie is deleted and the movie goes with it.
  int (*deleteMovie)(HANDLE_VALUE movie);
  // Writes the movie load option a graph load captures to *out; returns out.
  int* (*readLoadOption)(int* out);
  // Opens the file as a movie and gives the graph an image set of the frame size.
  int (*loadGraphAsMovie)(GRAPH_LOAD_PARAM* lp, HANDLE_VALUE graph, const char* path, int extra, int mode,
                          int onWorker);
};
// Null clears the table.
void SetMovieGraphHooks(const MOVIE_GRAPH_HOOKS* hooks);

// The hooks as graphics calls them; each returns -1 (and leaves *out alone) while unset.
int AdvanceGraphMovieFrame(HANDLE_VALUE movie);
int MarkGraphMovieOverlayLost(HANDLE_VALUE movie);
int DeleteGraphMovie(HANDLE_VALUE movie);
void ReadMovieLoadOption(int* out);
int LoadGraphAsMovieFile(GRAPH_LOAD_PARAM* lp, HANDLE_VALUE graph, const char* path, int extra, int mode, int onWorker);
