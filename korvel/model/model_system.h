// The model part's start and end, its two handle types and the releases of models and bases.
// The model types exist only while Direct3D draws: with software rendering there are no
// models at all.
#pragma once
#include <cstddef>

#include "core/handles.h"
#include "model/model_records.h"

struct MODEL_SYSTEM_STATE {
  unsigned char initialised;
  void* workBuffer;  // shared work buffer, tracked; only freed here
  size_t workBufferSize;
  // The generated textures every model shares; -1 none.
  HANDLE_VALUE whiteTexture;
  HANDLE_VALUE toonTexture;
  HANDLE_VALUE greyRampTexture;
};

extern MODEL_SYSTEM_STATE ModelSystem;

// Library start-up (last) and shut-down (before the graphics end). -> 0.
int InitModelSystem();
int TerminateModelSystem();
// Graphics shut-down: every model, then every base. -> DeleteHandlesOfType's result.
int DeleteAllModels();
int DeleteAllModelBases();
// The init callback of handle types that need none. -> 0.
int DoNothingReturnZero();

// Terminate callbacks: a model -> 0; a base -> 1 while other holders keep it, else 0.
int ReleaseModelRecord(MODEL_RECORD* model);
int ReleaseModelBaseRecord(MODEL_BASE_RECORD* base);

// Parts of a model's release. -> 0, -1 for an invalid handle or index (nothing changed).
int ReleaseModelAttachment(HANDLE_VALUE model, int index);
int ReleaseModelNodeBlock(HANDLE_VALUE model, int frame);             // frame -1: the model-wide block
int ReleaseModelFrameBlock(HANDLE_VALUE model, int frame, int which);  // which != 0: the first block

// The records of live handles without a pending asynchronous load, else null. A model needs the
// model part up only where the caller asks for it.
MODEL_RECORD* FindModelRecord(HANDLE_VALUE handle, int checkLoading);
MODEL_BASE_RECORD* FindModelBaseRecord(HANDLE_VALUE handle, int checkLoading);
