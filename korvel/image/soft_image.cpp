#include "image/soft_image.h"

#include "korvel.h"

namespace {
int started;

void InitSoftImageEntry(HANDLE_HEAD*) {}

SOFT_IMAGE_ENTRY* FindEntry(int handle) {
  if (!started || handle < 0 || GetHandleType(handle) != HANDLE_TYPE_SOFT_IMAGE) return nullptr;
  return (SOFT_IMAGE_ENTRY*)LookupHandleRecord(handle);
}
}  // namespace

int StartSoftImageHandleType() {
  if (started) return -1;
  if (InitHandleType(HANDLE_TYPE_SOFT_IMAGE, sizeof(SOFT_IMAGE_ENTRY), SOFT_IMAGE_MAX, InitSoftImageEntry,
                     FreeSoftImageEntry, "ソフトイメージ") == -1)
    return -1;
  started = 1;
  return 0;
}

int EndSoftImageHandleType() {
  if (!started) return -1;
  started = 0;
  EndHandleType(HANDLE_TYPE_SOFT_IMAGE);
  return 0;
}

int DeleteAllSoftImages() { return DeleteHandlesOfType(HANDLE_TYPE_SOFT_IMAGE, nullptr); }

int FreeSoftImageEntry(HANDLE_HEAD* record) {
  DisposeImage(&((SOFT_IMAGE_ENTRY*)record)->image);
  return 0;
}

RASTER_IMAGE* FindSoftImage(int handle) {
  SOFT_IMAGE_ENTRY* entry = FindEntry(handle);
  return entry != nullptr ? &entry->image : nullptr;
}

int MakeSoftImage(int width, int height) {
  if (!started || width <= 0 || height <= 0) return -1;
  int handle = NewHandle(HANDLE_TYPE_SOFT_IMAGE, -1);
  if (handle == -1) return -1;
  SOFT_IMAGE_ENTRY* entry = FindEntry(handle);
  if (AllocARGB8Image(width, height, &entry->image) != 0) {
    DeleteHandle(handle);
    return -1;
  }
  return handle;
}

int RemoveSoftImageHandle(int handle) {
  SOFT_IMAGE_ENTRY* entry = FindEntry(handle);
  if (entry == nullptr || entry->head.pendingLoads != 0) return -1;
  return DeleteHandle(handle);
}
