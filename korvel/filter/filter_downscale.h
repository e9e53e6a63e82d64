// The DownScale filter: the rectangle shrunk by 2, 4 or 8, each divisor x divisor block of
// source pixels averaged into one destination pixel, alpha included.
#pragma once
#include "filter/filter_record.h"

// The divisor as the filter uses it: 2 or less -> 2, 3 and 4 -> 4, 5 and more -> 8.
int DownScaleDivisor(int divisor);
int RunDownScaleFilter(FILTER_PASS_RECORD* record, int divisor);
