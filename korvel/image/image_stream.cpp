#include "image/image_stream.h"

#include <climits>
#include <cstring>

#include "core/memory.h"

int MeasureStreamRemainder(STREAM_SOURCE* stream) {
  int here = stream->ops.tell(stream->handle);
  if (here < 0 || stream->ops.seek(stream->handle, 0, 2) != 0) return -1;
  int end = stream->ops.tell(stream->handle);
  if (stream->ops.seek(stream->handle, here, 0) != 0 || end < here) return -1;
  return end - here;
}

int ReadStreamExact(STREAM_SOURCE* stream, void* buffer, int size) {
  if (size < 0) return -1;
  if (size == 0) return 0;
  return stream->ops.read(buffer, 1, size, stream->handle) == size ? 0 : -1;
}

uint8_t* ReadStreamRemainder(STREAM_SOURCE* stream, int* size) {
  *size = 0;
  int left = MeasureStreamRemainder(stream);
  if (left <= 0 || left == INT_MAX) return nullptr;
  uint8_t* data = (uint8_t*)AllocTracked((size_t)left + 1, "", 0);
  if (data == nullptr) return nullptr;
  if (ReadStreamExact(stream, data, left) < 0) {
    FreeTracked(data);
    return nullptr;
  }
  data[left] = 0;
  *size = left;
  return data;
}

int64_t MeasurePixelBlock(int64_t width, int64_t height, int64_t bytesPerPixel) {
  if (width <= 0 || height <= 0 || bytesPerPixel <= 0) return -1;
  if (width > INT_MAX || height > INT_MAX || bytesPerPixel > 64) return -1;
  int64_t pixels = width * height;
  if (pixels > INT_MAX) return -1;
  int64_t size = pixels * bytesPerPixel;
  return size > INT_MAX - 64 ? -1 : size;
}
