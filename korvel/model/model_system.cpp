#include "model/model_system.h"

#include "core/memory.h"
#include "graphics/device/screen.h"

MODEL_SYSTEM_STATE ModelSystem = {0, nullptr, 0, -1, -1, -1};

namespace {
// Both types share one name in the handle manager's messages.
const char* const kModelTypeName = "３Ｄモデル";

int TerminateModelHandle(HANDLE_HEAD* record) { return ReleaseModelRecord((MODEL_RECORD*)record); }
int TerminateModelBaseHandle(HANDLE_HEAD* record) { return ReleaseModelBaseRecord((MODEL_BASE_RECORD*)record); }

HANDLE_HEAD* FindRecordOfType(HANDLE_VALUE handle, int type, int checkLoading) {
  if (handle < 0 || GetHandleType(handle) != type) return nullptr;
  HANDLE_HEAD* record = LookupHandleRecord(handle);
  if (record == nullptr || (checkLoading && record->pendingLoads != 0)) return nullptr;
  return record;
}
}  // namespace

int DoNothingReturnZero() { return 0; }

int InitModelSystem() {
  if (ModelSystem.initialised || !ScreenState.hardwareRendering) return 0;
  // Model records need no initialisation beyond the manager's zero fill.
  InitHandleType(HANDLE_TYPE_MODEL_BASE, sizeof(MODEL_BASE_RECORD), MODEL_HANDLE_MAX, nullptr, TerminateModelBaseHandle,
                 kModelTypeName);
  InitHandleType(HANDLE_TYPE_MODEL, sizeof(MODEL_RECORD), MODEL_HANDLE_MAX, nullptr, TerminateModelHandle,
                 kModelTypeName);
  ModelSystem.whiteTexture = ModelSystem.toonTexture = ModelSystem.greyRampTexture = -1;
  ModelSystem.initialised = 1;
  return 0;
}

int TerminateModelSystem() {
  if (!ModelSystem.initialised) return 0;
  DeleteHandlesOfType(HANDLE_TYPE_MODEL, nullptr);
  DeleteHandlesOfType(HANDLE_TYPE_MODEL_BASE, nullptr);
  if (ModelSystem.workBuffer != nullptr) {
    FreeTracked(ModelSystem.workBuffer);
    ModelSystem.workBuffer = nullptr;
    ModelSystem.workBufferSize = 0;
  }
  EndHandleType(HANDLE_TYPE_MODEL);
  EndHandleType(HANDLE_TYPE_MODEL_BASE);
  ModelSystem.initialised = 0;
  return 0;
}

int DeleteAllModels() { return DeleteHandlesOfType(HANDLE_TYPE_MODEL, nullptr); }
int DeleteAllModelBases() { return DeleteHandlesOfType(HANDLE_TYPE_MODEL_BASE, nullptr); }

MODEL_RECORD* FindModelRecord(HANDLE_VALUE handle, int checkLoading) {
  return (MODEL_RECORD*)FindRecordOfType(handle, HANDLE_TYPE_MODEL, checkLoading);
}

MODEL_BASE_RECORD* FindModelBaseRecord(HANDLE_VALUE handle, int checkLoading) {
  return (MODEL_BASE_RECORD*)FindRecordOfType(handle, HANDLE_TYPE_MODEL_BASE, checkLoading);
}
