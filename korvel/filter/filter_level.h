// The two filters that map values through a 256-entry table: Level (each colour channel
// through an input range, a gamma curve and an output range) and GradientMap (each pixel's
// luminance onto the first row of a gradient graph). On the shader path the table is a
// second texture: Level's own 256 x 1 gamma graph, or the gradient graph.
#pragma once
#include "filter/filter_record.h"

// Levels 0-255 and gamma (list value / 100) as floats. An empty input range is a step: channel
// values up to the minimum give the output minimum, higher ones the output maximum.
int RunLevelFilter(FILTER_PASS_RECORD* record, float minimum, float maximum, float gamma, float outMinimum,
                   float outMaximum);
// -1 with nothing drawn when the gradient graph is not a live graph or cannot be read.
int RunGradientMapFilter(FILTER_PASS_RECORD* record, HANDLE_VALUE gradient, int reverse);

// Entry i (0-255) of the gamma table of both paths.
int LevelGammaEntry(int i, float gamma);
// The CPU path's table: rebuilt only when the gamma moves by more than 0.0001.
const int* GetLevelCpuTable(float gamma);
// The number of times the CPU table and the gamma graph have been built.
int CountLevelTableBuilds(int graph);
