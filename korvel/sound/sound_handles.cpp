// Sound handle records: the handle check, the type's callbacks, creation from a file now or
// on a loader thread, and the load defaults.
#include "sound/sound_handles.h"

#include <cstring>

#include "core/log.h"
#include "core/memory.h"
#include "file/async_load.h"
#include "sound/sound_system.h"

namespace {

// Packs (or, with a null area, sizes) the parameters of a queued load.
int PackLoadTask(void* area, const SOUND_LOAD_SETTINGS* settings, HANDLE_VALUE handle, const char* path, int count,
                 HANDLE_VALUE shared) {
  int offset = 0;
  if (PackAsyncParamBlock(area, &offset, settings, (int)sizeof(*settings)) < 0) return -1;
  PackAsyncParamInt(area, &offset, handle);
  if (PackAsyncParamString(area, &offset, path) < 0) return -1;
  PackAsyncParamInt(area, &offset, count);
  PackAsyncParamInt(area, &offset, shared);
  return offset;
}

int RunSoundLoadTask(ASYNC_LOAD_TASK* task) {
  int offset = 0;
  SOUND_LOAD_SETTINGS settings;
  memcpy(&settings, UnpackAsyncParamBlock(task->parameters, &offset), sizeof(settings));
  HANDLE_VALUE handle = UnpackAsyncParamInt(task->parameters, &offset);
  const char* path = UnpackAsyncParamString(task->parameters, &offset);
  int count = UnpackAsyncParamInt(task->parameters, &offset);
  HANDLE_VALUE shared = UnpackAsyncParamInt(task->parameters, &offset);
  int result = LoadSoundFile(&settings, handle, shared, 1, path, count);
  EndHandleAsyncLoad(handle);
  if (result < 0) DeleteHandle(handle);
  return 0;
}

int QueueSoundLoad(const SOUND_LOAD_SETTINGS* settings, HANDLE_VALUE handle, const char* path, int count,
                   HANDLE_VALUE shared) {
  int bytes = PackLoadTask(nullptr, settings, handle, path, count, shared);
  if (bytes < 0) return -1;
  ASYNC_LOAD_TASK* task = AllocAsyncLoadTask(bytes);
  if (task == nullptr) return -1;
  task->process = RunSoundLoadTask;
  PackLoadTask(task->parameters, settings, handle, path, count, shared);
  if (QueueHandleLoadTask(task, handle) < 0) {
    FreeTracked(task);
    return -1;
  }
  return 0;
}

void ReleaseMemorySound(SOUND_RECORD* r) {
  for (int i = 0; i < r->bufferCount && i < SOUND_MAX_BUFFERS; i++)
    if (r->buffers[i].valid) ReleaseSoundBuffer(&r->buffers[i]);
  if (r->pcmReferences != nullptr && --*r->pcmReferences == 0) {
    FreeTracked(r->pcmData);
    FreeTracked(r->pcmReferences);
  }
  r->pcmData = nullptr;
  r->pcmReferences = nullptr;
}
}  // namespace

SOUND_RECORD* LookupSoundRecord(HANDLE_VALUE handle, int loader) {
  if (!IsHandleTypeReady(HANDLE_TYPE_SOUND) || GetHandleType(handle) != HANDLE_TYPE_SOUND) return nullptr;
  HANDLE_HEAD* head = LookupHandleRecord(handle);
  if (head == nullptr || (!loader && head->pendingLoads != 0)) return nullptr;
  return reinterpret_cast<SOUND_RECORD*>(head);
}

void InitSoundRecord(HANDLE_HEAD* head) {
  SOUND_RECORD* r = reinterpret_cast<SOUND_RECORD*>(head);
  r->volume = 0;
  r->pan = 0;
  r->frequency = 0;
  r->changed3D = 1;
  r->partCount = 0;
  r->ownerHandle = -1;
  r->currentUser = -1;
}

int ReleaseSoundRecord(HANDLE_HEAD* head) {
  SOUND_RECORD* r = reinterpret_cast<SOUND_RECORD*>(head);
  HANDLE_VALUE handle = head->handle;
  if (r->kind == SOUND_KIND_STREAM) {
    StopStreamSound(handle);
  } else if (r->buffers[0].valid) {
    StopSoundHandle(handle);
  }
  if (r->is3D) {
    UnlinkListNode(&r->node3D);
    r->is3D = 0;
  }
  if (r->kind == SOUND_KIND_STREAM) return ReleaseStreamSound(r);
  ReleaseMemorySound(r);
  return 0;
}

SOUND_LOAD_SETTINGS* FillSoundLoadDefaults(SOUND_LOAD_SETTINGS* out) {
  out->is3D = SoundSystem.default3D;
  out->streamKind = SoundSystem.loadDefaults.streamKind;
  out->disableBits = SoundSystem.loadDefaults.disableBits;
  out->oggBytesPerSample = SoundSystem.loadDefaults.oggBytesPerSample != 0 ? SoundSystem.loadDefaults.oggBytesPerSample : 2;
  out->vorbisSelector = SoundSystem.loadDefaults.vorbisSelector;
  return out;
}

HANDLE_VALUE NewSoundHandle(int is3D) {
  HANDLE_VALUE handle = NewHandle(HANDLE_TYPE_SOUND, -1);
  SOUND_RECORD* r = LookupSoundRecord(handle, 0);
  if (r == nullptr) return -1;
  r->is3D = is3D ? 1 : 0;
  if (r->is3D) {
    Set3DSoundDefaults(r);
    LockHandleType(HANDLE_TYPE_SOUND);
    InsertListNode(&SoundSystem.sound3DHead, &r->node3D, handle, r);
    UnlockHandleType(HANDLE_TYPE_SOUND);
  }
  return handle;
}

int CreateSoundFromFile(const SOUND_LOAD_SETTINGS* settings, const char* path, int count, int shared, int async,
                        int loader) {
  if (SoundSystem.device == nullptr || settings == nullptr || path == nullptr) return -1;
  HANDLE_VALUE handle = NewSoundHandle(settings->is3D);
  if (handle == -1) return -1;
  char full[FILE_PATH_CHARS];
  if (ToFullPath(path, full, nullptr) < 0) {
    DeleteHandle(handle);
    return -1;
  }
  if (async && !loader) {
    if (QueueSoundLoad(settings, handle, full, count, shared) < 0) {
      DeleteHandle(handle);
      return -1;
    }
    return handle;
  }
  SOUND_LOAD_SETTINGS local = *settings;
  if (LoadSoundFile(&local, handle, shared, loader, full, count) < 0) {
    DeleteHandle(handle);
    return -1;
  }
  return handle;
}
