// Where each pass of a run reads and renders: the caller's graphs, or work render targets of
// the pool when the pass cannot render straight into its destination; and the copy of the
// last pass's result into the destination.
#pragma once
#include "filter/filter_record.h"

// For pass record->passIndex of passCount (the record holding the caller's source and
// destination): the target the pass renders into, and the running source replaced by a work
// copy of the source when the first pass cannot sample the source graph as it is. 0 / -1.
int PrepareFilterPassTargets(FILTER_PASS_RECORD* record, int passCount, int work, HANDLE_VALUE* running,
                             HANDLE_VALUE* target);
// The pool's work target of the slot whose size is the smallest power of two that holds the
// length, created when missing; -1 after logging.
HANDLE_VALUE GetFilterWorkTargetCovering(int length, int slot);
// Copies the result (width x height at the destination point) from the last target into the
// destination when the last pass rendered elsewhere; 0, or -1 when that copy fails.
int CopyFilterResultToGraph(FILTER_PASS_RECORD* record, HANDLE_VALUE lastTarget, int work, int lastResult,
                            int width, int height);
