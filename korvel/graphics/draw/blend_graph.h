// The blend graph of graph draws (the selection itself is public: SelectBlendGraph).
#pragma once
#include "graphics/graphs/graph_records.h"

// 0 when a valid, finished blend graph is set and covers the graph's width and height; else -1.
int CheckBlendGraphCoverage(const GRAPH_RECORD* graph);
