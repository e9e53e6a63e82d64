// The Gaussian blur filter: a separable blur of 13, 29 or 61 taps, by two shader passes
// (horizontal into a work target, vertical into the destination) or by one CPU pass that does
// both directions in 16.16 fixed point (which defines the result).
#pragma once
#include "filter/filter_record.h"

// The normalised weights of the last strength and width, kept for the life of the process
// and shared by both paths: w[0] the centre, w[k] each of the pixels at 2k-1 and 2k on both
// sides at half weight.
struct GAUSS_WEIGHT_CACHE {
  float strength;
  int width;
  float weights[16];
  int computations;  // how many times the weights were computed
};

extern GAUSS_WEIGHT_CACHE GaussWeightCache;

// The kernel width of a pixel width: 8 up to 8, 16 up to 16, else 32.
int GaussKernelWidth(int pixelWidth);
// strength: the list value / 100; below 1e-7 the filter copies its rectangle unchanged.
int RunGaussFilter(FILTER_PASS_RECORD* record, int pixelWidth, float strength);
