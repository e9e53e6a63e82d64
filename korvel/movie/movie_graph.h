// Graphs that show a movie: made for a file no image loader takes, and refreshed with each new
// frame through the movie's frame callback. Graphics reaches this through its movie-graph hooks.
#pragma once
#include "graphics/graphs/graph_load.h"

struct MOVIE_RECORD;

// Opens the file as a movie and gives the graph an image set of the frame size. The creation
// settings in lp are changed for movies.
int LoadGraphAsMovie(GRAPH_LOAD_PARAM* lp, HANDLE_VALUE graph, const char* path, int extra, int mode, int onWorker);
// The frame callback of movie graphs: copies the movie's new frame into the graph.
int UpdateGraphFromMovieFrame(MOVIE_RECORD* movie, int graph);
